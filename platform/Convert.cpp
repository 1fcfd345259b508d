#include "platform/Convert.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <algorithm>

namespace rtl {

TFormatSettings FormatSettings;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' '; }

// Validates the float grammar and writes a canonical copy (separator turned into '.')
// into out. Returns false for anything that is not a complete number.
bool canonicalFloat(std::string_view s, char sep, std::string& out)
{
    std::size_t i = 0, n = s.size();
    while (i < n && isBlank(s[i])) ++i;
    while (n > i && isBlank(s[n - 1])) --n;
    out.clear();
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') out.push_back('-');
        ++i;
    }
    std::size_t digits = 0;
    while (i < n && isDigit(s[i])) { out.push_back(s[i++]); ++digits; }
    if (i < n && s[i] == sep) {
        out.push_back('.');
        ++i;
        while (i < n && isDigit(s[i])) { out.push_back(s[i++]); ++digits; }
    }
    if (digits == 0) return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        out.push_back('e');
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) out.push_back(s[i++]);
        std::size_t expDigits = 0;
        while (i < n && isDigit(s[i])) { out.push_back(s[i++]); ++expDigits; }
        if (expDigits == 0) return false;
    }
    return i == n;
}

[[noreturn]] void floatError(std::string_view text)
{
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

[[noreturn]] void intError(std::string_view text)
{
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace

bool TryStrToFloat(std::string_view text, double& value)
{
    thread_local std::string canon;
    if (!canonicalFloat(text, FormatSettings.DecimalSeparator, canon)) return false;
    double v = 0;
    const char* first = canon.data();
    const char* last = first + canon.size();
    auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too small is zero; too large is not a number of ours.
        std::size_t e = canon.find('e');
        bool negativeExponent = e != std::string::npos && canon[e + 1] == '-';
        std::string_view intPart(canon.data(), std::min(canon.find('.'), e == std::string::npos ? canon.size() : e));
        bool zeroIntPart = intPart.find_first_of("123456789") == std::string_view::npos;
        if (!negativeExponent && !zeroIntPart) return false;
        v = 0;
    } else if (ec != std::errc() || ptr != last || !std::isfinite(v)) {
        return false;
    }
    value = v;
    return true;
}

double StrToFloat(std::string_view text)
{
    double v;
    if (!TryStrToFloat(text, v)) floatError(text);
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
    errno = 0;
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
    std::size_t p = text.find(needle);
    return p == std::string_view::npos ? 0 : p + 1;
}

} // namespace rtl
