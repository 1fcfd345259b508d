#include "platform/Convert.h"

#include <charconv>
#include <cstdint>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace rtl {

TFormatSettings FormatSettings;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Where the parts of a number stand in its text, as found by scanNumber, which sets
// every field of a number it accepts. No initialisers: clearing the structure for each
// reading cost more than scanning the reading.
struct NumberShape {
    std::size_t begin;      // first character handed to from_chars ('-' kept, '+' dropped)
    std::size_t end;        // one past the last character of the number
    std::size_t intBegin, intEnd;
    std::size_t fracBegin, fracEnd;
    std::size_t sepAt;      // npos without a separator
    bool negative;
    std::uint64_t mantissa; // the digits without separator; exact up to 19 of them
    std::size_t digits;     // digits before and after the separator
    long long exponent;     // written exponent, held at +-1e9 beyond that
};

// The grammar [blanks] [sign] digits [sep digits] [(e|E) [sign] digits] [blanks], with
// digits on at least one side of the separator; false for anything else. Kept to locals
// in the loops: it runs for every reading of every line.
bool scanNumber(std::string_view s, char sep, NumberShape& n)
{
    std::size_t i = 0, e = s.size();
    while (i < e && s[i] == ' ') ++i;
    while (e > i && s[e - 1] == ' ') --e;
    // One sign at most; from_chars takes a '-' but no '+'.
    bool negative = false;
    if (i < e && s[i] == '+') {
        ++i;
        n.begin = i;
    } else {
        n.begin = i;
        if (i < e && s[i] == '-') {
            negative = true;
            ++i;
        }
    }
    // Wraps past 19 digits; such numbers take the full conversion.
    std::uint64_t mantissa = 0;
    const std::size_t intBegin = i;
    for (unsigned d; i < e && (d = static_cast<unsigned char>(s[i]) - '0') < 10; ++i) mantissa = mantissa * 10 + d;
    const std::size_t intEnd = i;
    std::size_t fracBegin = i, fracEnd = i;
    n.sepAt = std::string_view::npos;
    if (i < e && s[i] == sep) {
        n.sepAt = i++;
        fracBegin = i;
        for (unsigned d; i < e && (d = static_cast<unsigned char>(s[i]) - '0') < 10; ++i) mantissa = mantissa * 10 + d;
        fracEnd = i;
    }
    if (intEnd == intBegin && fracEnd == fracBegin) return false;
    long long exponent = 0;
    if (i < e && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < e && (s[i] == '+' || s[i] == '-')) negativeExponent = s[i++] == '-';
        const std::size_t expBegin = i;
        for (; i < e && isDigit(s[i]); ++i)
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (s[i] - '0');
        if (i == expBegin) return false;
        if (negativeExponent) exponent = -exponent;
    }
    if (i != e) return false;
    n.end = e;
    n.intBegin = intBegin;
    n.intEnd = intEnd;
    n.fracBegin = fracBegin;
    n.fracEnd = fracEnd;
    n.negative = negative;
    n.mantissa = mantissa;
    n.digits = (intEnd - intBegin) + (fracEnd - fracBegin);
    n.exponent = exponent;
    return true;
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
    return found && order + n.exponent >= 0;
}

// The full conversion, for numbers the quick path leaves alone.
[[gnu::noinline]] bool convertFully(std::string_view text, const NumberShape& n, char sep, double& value)
{
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
        v = n.negative ? -0.0 : 0.0;
    } else if (ec != std::errc() || ptr != last || !std::isfinite(v)) {
        return false;
    }
    value = v;
    return true;
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

    // Readings are short: a mantissa below 2^53 and a power of ten up to 1e22 are both
    // exact doubles, so one multiplication or division rounds correctly.
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const long long scale = n.exponent - static_cast<long long>(n.fracEnd - n.fracBegin);
    if (n.digits <= 19 && n.mantissa <= (std::uint64_t{1} << 53) && scale >= -22 && scale <= 22) {
        double v = static_cast<double>(n.mantissa);
        v = scale < 0 ? v / kPowers[-scale] : v * kPowers[scale];
        value = n.negative ? -v : v;
        return true;
    }
    return convertFully(text, n, sep, value);
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
