#include "platform/Convert.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace rtl {

TFormatSettings FormatSettings;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Where the parts of a number stand in its text, as found by scanNumber.
struct NumberShape {
    std::size_t begin = 0;      // first character handed to from_chars ('-' kept, '+' dropped)
    std::size_t end = 0;        // one past the last character of the number
    std::size_t intBegin = 0, intEnd = 0;
    std::size_t fracBegin = 0, fracEnd = 0;
    std::size_t sepAt = std::string_view::npos;
    bool negativeExponent = false;
    std::size_t expBegin = 0, expEnd = 0;
};

// The grammar [blanks] [sign] digits [sep digits] [(e|E) [sign] digits] [blanks], with
// digits on at least one side of the separator; false for anything else.
bool scanNumber(std::string_view s, char sep, NumberShape& n)
{
    std::size_t i = 0, e = s.size();
    while (i < e && s[i] == ' ') ++i;
    while (e > i && s[e - 1] == ' ') --e;
    // One sign at most; from_chars takes a '-' but no '+'.
    if (i < e && s[i] == '+') {
        n.begin = ++i;
    } else {
        n.begin = i;
        if (i < e && s[i] == '-') ++i;
    }
    n.intBegin = i;
    while (i < e && isDigit(s[i])) ++i;
    n.intEnd = n.fracBegin = n.fracEnd = i;
    if (i < e && s[i] == sep) {
        n.sepAt = i++;
        n.fracBegin = i;
        while (i < e && isDigit(s[i])) ++i;
        n.fracEnd = i;
    }
    if (n.intEnd == n.intBegin && n.fracEnd == n.fracBegin) return false;
    if (i < e && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < e && (s[i] == '+' || s[i] == '-')) n.negativeExponent = s[i++] == '-';
        n.expBegin = i;
        while (i < e && isDigit(s[i])) ++i;
        n.expEnd = i;
        if (n.expEnd == n.expBegin) return false;
    }
    n.end = e;
    return i == e;
}

// For a number that from_chars found out of range: true when it is too large (an
// error), false when it is too small (it becomes zero). Decided from the decimal order
// of its first significant digit, which is far from 0 for any out-of-range number.
bool tooLarge(std::string_view s, const NumberShape& n)
{
    long long order = 0;
    bool found = false;
    for (std::size_t k = n.intBegin; k < n.intEnd && !found; ++k)
        if (s[k] != '0') { order = static_cast<long long>(n.intEnd - k) - 1; found = true; }
    for (std::size_t k = n.fracBegin; k < n.fracEnd && !found; ++k)
        if (s[k] != '0') { order = -static_cast<long long>(k - n.fracBegin) - 1; found = true; }
    if (!found) return false;
    long long exponent = 0;
    for (std::size_t k = n.expBegin; k < n.expEnd; ++k) {
        exponent = exponent * 10 + (s[k] - '0');
        if (exponent > 1'000'000'000) break;  // far beyond any double; stop before overflow
    }
    if (n.negativeExponent) exponent = -exponent;
    return order + exponent >= 0;
}

[[noreturn]] void intError(std::string_view text)
{
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace

void ThrowInvalidFloat(std::string_view text)
{
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

bool TryStrToFloat(std::string_view text, double& value)
{
    const char sep = FormatSettings.DecimalSeparator;
    NumberShape n;
    if (!scanNumber(text, sep, n)) return false;

    // from_chars knows only '.', so another separator is replaced in a copy.
    std::string_view number = text.substr(n.begin, n.end - n.begin);
    char small[128];
    thread_local std::string large;
    if (n.sepAt != std::string_view::npos && sep != '.') {
        char* buf = small;
        if (number.size() > sizeof small) {
            large.assign(number);
            buf = large.data();
        } else {
            number.copy(small, number.size());
        }
        buf[n.sepAt - n.begin] = '.';
        number = std::string_view(buf, number.size());
    }

    double v = 0;
    const char* last = number.data() + number.size();
    auto [ptr, ec] = std::from_chars(number.data(), last, v, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        if (tooLarge(text, n)) return false;
        v = number[0] == '-' ? -0.0 : 0.0;
    } else if (ec != std::errc() || ptr != last || !std::isfinite(v)) {
        return false;
    }
    value = v;
    return true;
}

double StrToFloat(std::string_view text)
{
    double v;
    if (!TryStrToFloat(text, v)) ThrowInvalidFloat(text);
    return v;
}

bool TryStrToInt(std::string_view text, int& value)
{
    if (text.empty()) return false;
    std::size_t i = 0;
    bool neg = false;
    if (text[0] == '+' || text[0] == '-') { neg = text[0] == '-'; i = 1; }
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i])) return false;
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (neg) v = -v;
    if (v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

int StrToInt(std::string_view text)
{
    int v;
    if (!TryStrToInt(text, v)) intError(text);
    return v;
}

int StrToIntC(std::string_view text)
{
    std::string copy(text);
    long long v = std::strtoll(copy.c_str(), nullptr, 0);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

std::string IntToStr(long long value) { return std::to_string(value); }

std::string_view TrimView(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
    return text.substr(b, e - b);
}

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

std::size_t Pos(std::string_view needle, std::string_view text)
{
    if (needle.empty()) return 0;  // the runtime finds an empty text nowhere
    std::size_t p = text.find(needle);
    return p == std::string_view::npos ? 0 : p + 1;
}

} // namespace rtl
