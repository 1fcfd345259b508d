#include "platform/text/Convert.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace rtl {

TFormatSettings FormatSettings;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Where the parts of a number stand in its text, as found by scanNumber, which sets
// every field of a number it accepts. No initialisers: clearing the structure for each
// reading cost more than scanning the reading.
struct NumberShape {
    std::size_t begin; // first character handed to from_chars ('-' kept, '+' dropped)
    std::size_t end;   // one past the last character of the number
    std::size_t intBegin, intEnd;
    std::size_t fracBegin, fracEnd;
    std::size_t sepAt; // npos without a separator
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
    while (i < e && s[i] == ' ')
        ++i;
    while (e > i && s[e - 1] == ' ')
        --e;
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
    for (unsigned d; i < e && (d = static_cast<unsigned char>(s[i]) - '0') < 10; ++i)
        mantissa = mantissa * 10 + d;
    const std::size_t intEnd = i;
    std::size_t fracBegin = i, fracEnd = i;
    n.sepAt = std::string_view::npos;
    if (i < e && s[i] == sep) {
        n.sepAt = i++;
        fracBegin = i;
        for (unsigned d; i < e && (d = static_cast<unsigned char>(s[i]) - '0') < 10; ++i)
            mantissa = mantissa * 10 + d;
        fracEnd = i;
    }
    if (intEnd == intBegin && fracEnd == fracBegin)
        return false;
    long long exponent = 0;
    if (i < e && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < e && (s[i] == '+' || s[i] == '-'))
            negativeExponent = s[i++] == '-';
        const std::size_t expBegin = i;
        for (; i < e && isDigit(s[i]); ++i)
            if (exponent < 1'000'000'000)
                exponent = exponent * 10 + (s[i] - '0');
        if (i == expBegin)
            return false;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != e)
        return false;
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
        if (s[k] != '0') {
            order = static_cast<long long>(n.intEnd - k) - 1;
            found = true;
        }
    for (std::size_t k = n.fracBegin; k < n.fracEnd && !found; ++k)
        if (s[k] != '0') {
            order = -static_cast<long long>(k - n.fracBegin) - 1;
            found = true;
        }
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
        if (tooLarge(text, n))
            return false;
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
    // Nearly every reading is a plain number, read in one pass; anything else (blanks,
    // '+', an exponent, more digits) is scanned in full. Both look at sign, digits and
    // separator in the same order.
    double plain;
    if (std::size_t length; ReadPlainNumber(text, length, plain) && length == text.size()) {
        value = plain;
        return true;
    }

    const char sep = FormatSettings.DecimalSeparator;
    NumberShape n;
    if (!scanNumber(text, sep, n))
        return false;
    const long long scale = n.exponent - static_cast<long long>(n.fracEnd - n.fracBegin);
    if (n.digits <= 19 && n.mantissa <= (std::uint64_t{1} << 53) && scale >= -22 && scale <= 22) {
        double v = static_cast<double>(n.mantissa);
        v = scale < 0 ? v / detail::kPowers[-scale] : v * detail::kPowers[scale];
        value = n.negative ? -v : v;
        return true;
    }
    return convertFully(text, n, sep, value);
}

double StrToFloat(std::string_view text)
{
    double v;
    if (!TryStrToFloat(text, v))
        ThrowInvalidFloat(text);
    return v;
}

bool TryStrToInt(std::string_view text, int& value)
{
    if (text.empty())
        return false;
    std::size_t i = 0;
    bool neg = false;
    if (text[0] == '+' || text[0] == '-') {
        neg = text[0] == '-';
        i = 1;
    }
    if (i == text.size())
        return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            return false;
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (neg)
        v = -v;
    if (v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

int StrToInt(std::string_view text)
{
    int v;
    if (!TryStrToInt(text, v))
        intError(text);
    return v;
}

int StrToIntC(std::string_view text)
{
    std::string copy(text);
    long long v = std::strtoll(copy.c_str(), nullptr, 0);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

std::string_view TrimView(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.substr(b, e - b);
}

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

std::size_t Pos(std::string_view needle, std::string_view text)
{
    if (needle.empty())
        return 0; // the runtime finds an empty text nowhere
    std::size_t p = text.find(needle);
    return p == std::string_view::npos ? 0 : p + 1;
}

// ---- number pictures -----------------------------------------------------------

namespace {

// value = 0.d1d2d3... x 10^exponent; no trailing zeros in digits; no digits means zero.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

void stripTrailingZeros(std::string& s, std::size_t keep = 0)
{
    while (s.size() > keep && s.back() == '0')
        s.pop_back();
}

Decimal toDecimal(double magnitude)
{
    Decimal d;
    if (magnitude == 0)
        return d;
    // d.ddddddddddddddde[+-]XX whatever the C library's locale; a double holds 15 digits.
    char buf[40];
    const std::to_chars_result done =
        std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 14);
    const char* e = std::find(buf, done.ptr, 'e');
    d.digits.push_back(buf[0]);
    d.digits.append(buf + 2, std::size_t(e - (buf + 2)));
    std::from_chars(e + 1 + (e[1] == '+'), done.ptr, d.exponent);
    ++d.exponent;
    stripTrailingZeros(d.digits);
    return d;
}

// Keeps the first `keep` digits, rounding half away from zero.
void roundDigits(Decimal& d, int keep)
{
    if (d.digits.empty() || keep >= int(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[std::size_t(keep)] >= '5';
    d.digits.resize(std::size_t(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[std::size_t(i)] == '9')
            d.digits[std::size_t(i--)] = '0';
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        } else {
            ++d.digits[std::size_t(i)];
        }
    }
    stripTrailingZeros(d.digits);
}

// Digit `index` of d counted from its first one (weight 10^(exponent - 1 - index)).
char digitAt(const Decimal& d, int index)
{
    return index >= 0 && index < int(d.digits.size()) ? d.digits[std::size_t(index)] : '0';
}

struct NumberSection {
    std::string_view text;
    int intPlaceholders = 0;
    int minInt = 0;
    int maxDec = 0;
    int minDec = 0;
    bool thousands = false;
    bool scientific = false;
    int expDigits = 0;
};

// Calls visit(kind, begin, end) for each element of a section: 'q' quoted text, 'i' an
// integer placeholder, '.' the point, 'f' a fraction placeholder, ',' a thousands mark,
// 'e' the exponent with its zeros, 'l' a literal character.
template <typename Visit>
void walkSection(std::string_view s, Visit visit)
{
    bool point = false, exponent = false;
    std::size_t p = 0;
    while (p < s.size()) {
        const char c = s[p];
        const std::size_t at = p;
        if (c == '\'' || c == '"') {
            const std::size_t close = s.find(c, p + 1);
            p = close == std::string_view::npos ? s.size() : close + 1;
            visit('q', at, p);
        } else if (!exponent && (c == '0' || c == '#')) {
            ++p;
            visit(point ? 'f' : 'i', at, p);
        } else if (!exponent && !point && c == '.') {
            point = true;
            ++p;
            visit('.', at, p);
        } else if (!exponent && !point && c == ',') {
            ++p;
            visit(',', at, p);
        } else if (!exponent && (c == 'E' || c == 'e') && p + 1 < s.size() && (s[p + 1] == '+' || s[p + 1] == '-')) {
            exponent = true;
            p += 2;
            while (p < s.size() && s[p] == '0')
                ++p;
            visit('e', at, p);
        } else {
            ++p;
            visit('l', at, p);
        }
    }
}

NumberSection parseSection(std::string_view text)
{
    NumberSection n;
    n.text = text;
    int firstZero = -1;
    walkSection(text, [&](char kind, std::size_t at, std::size_t end) {
        switch (kind) {
        case 'i':
            if (text[at] == '0' && firstZero < 0)
                firstZero = n.intPlaceholders;
            ++n.intPlaceholders;
            break;
        case 'f':
            ++n.maxDec;
            if (text[at] == '0')
                n.minDec = n.maxDec;
            break;
        case ',':
            n.thousands = true;
            break;
        case 'e':
            n.scientific = true;
            n.expDigits = std::min(int(end - at - 2), 4);
            break;
        default:
            break;
        }
    });
    n.minInt = firstZero < 0 ? 0 : n.intPlaceholders - firstZero;
    return n;
}

// The number rounded to the digits the section shows.
Decimal roundForSection(Decimal d, const NumberSection& n)
{
    if (n.scientific)
        roundDigits(d, std::max(1, n.intPlaceholders) + n.maxDec);
    else
        roundDigits(d, d.exponent + n.maxDec);
    return d;
}

constexpr char thousandSeparator = '\xA0';

std::string formatSection(const NumberSection& n, const Decimal& d, bool minus)
{
    std::string integer, fraction;
    int exponent = 0;
    if (n.scientific) {
        const int intDigits = std::max(1, n.intPlaceholders);
        if (!d.digits.empty())
            exponent = d.exponent - intDigits;
        for (int i = 0; i < intDigits; ++i)
            integer += digitAt(d, i);
        for (int j = 0; j < n.maxDec; ++j)
            fraction += digitAt(d, intDigits + j);
    } else {
        for (int i = 0; i < d.exponent; ++i)
            integer += digitAt(d, i);
        if (int(integer.size()) < n.minInt)
            integer.insert(0, std::size_t(n.minInt) - integer.size(), '0');
        for (int j = 0; j < n.maxDec; ++j)
            fraction += digitAt(d, d.exponent + j);
    }
    stripTrailingZeros(fraction, std::size_t(n.minDec));

    std::string out;
    if (minus)
        out += '-';
    const int L = int(integer.size());
    const auto emitInteger = [&](int from, int to) {
        for (int idx = std::max(from, 0); idx < to; ++idx) {
            out += integer[std::size_t(idx)];
            const int remaining = L - 1 - idx;
            if (n.thousands && !n.scientific && remaining > 0 && remaining % 3 == 0)
                out += thousandSeparator;
        }
    };
    int intIndex = 0, fracIndex = 0;
    const bool noIntPlaceholders = n.intPlaceholders == 0;
    walkSection(n.text, [&](char kind, std::size_t at, std::size_t end) {
        const std::string_view piece = n.text.substr(at, end - at);
        switch (kind) {
        case 'q':
            out.append(piece.substr(1, piece.size() >= 2 && piece.back() == piece.front() ? piece.size() - 2
                                                                                          : piece.size() - 1));
            break;
        case 'i': {
            // Digits fill the placeholders from the right; the first takes any excess.
            const int first = L - n.intPlaceholders + intIndex;
            emitInteger(intIndex == 0 ? 0 : first, first + 1);
            ++intIndex;
            break;
        }
        case '.':
            if (noIntPlaceholders)
                emitInteger(0, L);
            if (!fraction.empty())
                out += FormatSettings.DecimalSeparator;
            break;
        case 'f':
            if (fracIndex < int(fraction.size()))
                out += fraction[std::size_t(fracIndex)];
            ++fracIndex;
            break;
        case ',':
            break;
        case 'e': {
            out += piece[0];
            if (exponent < 0)
                out += '-';
            else if (piece[1] == '+')
                out += '+';
            char buf[16];
            std::snprintf(buf, sizeof buf, "%0*d", n.expDigits, exponent < 0 ? -exponent : exponent);
            out += buf;
            break;
        }
        default:
            out.append(piece);
            break;
        }
    });
    return out;
}

} // namespace

std::string FloatToStr(double value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    const Decimal d = toDecimal(std::fabs(value));
    if (d.digits.empty())
        return "0";
    std::string out = value < 0 ? "-" : "";
    const int exponent = d.exponent - 1; // of the first digit
    if (exponent >= 15 || exponent < -5) {
        out += d.digits.front();
        if (d.digits.size() > 1) {
            out += FormatSettings.DecimalSeparator;
            out.append(d.digits, 1);
        }
        return out + 'E' + std::to_string(exponent);
    }
    if (exponent < 0)
        return out + '0' + FormatSettings.DecimalSeparator + std::string(std::size_t(-exponent - 1), '0') + d.digits;
    const std::size_t whole = std::size_t(exponent) + 1;
    if (d.digits.size() <= whole)
        return out + d.digits + std::string(whole - d.digits.size(), '0');
    return out + d.digits.substr(0, whole) + FormatSettings.DecimalSeparator + d.digits.substr(whole);
}

std::string FormatFloat(std::string_view picture, double value)
{
    if (std::isnan(value) || std::isinf(value) || picture.empty() || std::fabs(value) >= 1e18)
        return FloatToStr(value);

    std::vector<std::string_view> sections;
    {
        std::size_t start = 0;
        char quote = 0;
        for (std::size_t p = 0; p < picture.size() && sections.size() < 2; ++p) {
            const char c = picture[p];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == ';') {
                sections.push_back(picture.substr(start, p - start));
                start = p + 1;
            }
        }
        std::string_view last = picture.substr(start);
        if (sections.size() == 2) {
            // A fourth section and beyond are ignored.
            char q = 0;
            for (std::size_t p = 0; p < last.size(); ++p) {
                if (q) {
                    if (last[p] == q)
                        q = 0;
                } else if (last[p] == '\'' || last[p] == '"') {
                    q = last[p];
                } else if (last[p] == ';') {
                    last = last.substr(0, p);
                    break;
                }
            }
        }
        sections.push_back(last);
    }

    const Decimal magnitude = toDecimal(std::fabs(value));
    const NumberSection first = parseSection(sections[0]);
    NumberSection chosen = first;
    bool ownSign = true;
    if (value < 0 && sections.size() >= 2 && !sections[1].empty()) {
        chosen = parseSection(sections[1]);
        ownSign = false;
    }
    if (sections.size() >= 3 && !sections[2].empty() && roundForSection(magnitude, first).digits.empty()) {
        chosen = parseSection(sections[2]);
        ownSign = false;
    }
    const Decimal shown = roundForSection(magnitude, chosen);
    return formatSection(chosen, shown, ownSign && value < 0 && !shown.digits.empty());
}

} // namespace rtl
