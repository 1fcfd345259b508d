#pragma once
// The runtime's text conversions as the programs use them: text-to-float and
// float-to-text with the process-wide decimal separator, text-to-int, trimming. Texts
// are 8-bit (code page 1250).
//
// The conversions never consult the C locale: strtod/atof accept "12.3.4" as 12.3,
// "inf", "nan" and "0x10", and follow LC_NUMERIC. A text is a number here only when
// it is, in full: optional sign, digits, optional fraction, optional exponent.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rtl {

// The conversion error the runtime raises for a text that is not a number.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Process-wide number format. The measurement line parsers set the separator to '.'
// and it stays so; everything that converts numbers reads it.
struct TFormatSettings {
    char DecimalSeparator = '.';
};
extern TFormatSettings FormatSettings;

namespace detail {
// Readings are short: a mantissa below 2^53 and a power of ten up to 1e22 are both
// exact doubles, so one multiplication or division rounds correctly.
inline constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                     1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
} // namespace detail

// Checks the grammar [blanks] [sign] digits [sep digits] [(e|E) [sign] digits] [blanks]
// (digits on at least one side of the separator; blanks are spaces only) and converts.
// A value too large for a double raises too; one too small for it is 0.
// Throws EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view text);
// Same grammar; returns false instead of throwing. A number too small for a double is 0.
bool TryStrToFloat(std::string_view text, double& value);
// The plain number at the front of text, [-]digits[sep digits] in 1 to 15 digits, read
// as StrToFloat reads it: length becomes the characters it takes. False for a text that
// does not begin so (a longer number included); value and length are then left alone.
// Inline: the line parser calls it for nearly every token.
inline bool ReadPlainNumber(std::string_view text, std::size_t& length, double& value)
{
    const char sep = FormatSettings.DecimalSeparator;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin;
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    const char* const intBegin = p;
    std::uint64_t mantissa = 0;
    for (unsigned d; p != end && (d = static_cast<unsigned char>(*p) - '0') < 10; ++p)
        mantissa = mantissa * 10 + d;
    const std::size_t intDigits = static_cast<std::size_t>(p - intBegin);
    std::size_t fracDigits = 0;
    if (p != end && *p == sep) {
        const char* const fracBegin = ++p;
        for (unsigned d; p != end && (d = static_cast<unsigned char>(*p) - '0') < 10; ++p)
            mantissa = mantissa * 10 + d;
        fracDigits = static_cast<std::size_t>(p - fracBegin);
    }
    if (intDigits + fracDigits < 1 || intDigits + fracDigits > 15)
        return false;
    const double v = static_cast<double>(mantissa) / detail::kPowers[fracDigits];
    value = negative ? -v : v;
    length = static_cast<std::size_t>(p - begin);
    return true;
}

// Raises the error StrToFloat raises for text (for callers with narrower ranges).
[[noreturn]] void ThrowInvalidFloat(std::string_view text);

// [sign] decimal digits, within 32 bits; nothing else (no blanks, no hex).
// Throws EConvertError "'<text>' is not a valid integer value".
int StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, int& value);

// C's atoi/strtol(…, 0) as the settings code uses it for the baud rate: leading
// white space skipped, "0x" hexadecimal, leading "0" octal, else decimal; 0 without
// digits; the value saturates at the 32-bit limits instead of wrapping.
int StrToIntC(std::string_view text);

// The runtime's number picture, as used for value texts ("#0.0", "0.00"). Up to three
// sections "positive;negative;zero" (the negative one is written without a minus, the
// zero one serves a value that rounds to zero; an empty section falls back to the first).
// In a section: '0' a digit always written, '#' a digit written when significant, the
// first '.' the decimal point (written as FormatSettings.DecimalSeparator, and only when
// a decimal digit follows), ',' among the integer placeholders groups thousands with the
// Polish system's separator, the no-break space 0xA0; "E+00", "E-00" (either letter
// case) scientific notation with at least as many exponent digits as zeros; text in
// '...' or "..." and every other character copied. The value is taken to 15 significant
// digits (all that a double holds) and rounded half away from zero, so 0.15 gives "0.2"
// with "#0.0". A value that rounds to zero carries no minus. An empty picture gives the
// general format (FloatToStr); so does a value of 1e18 or more, and so do infinities
// and NaN.
std::string FormatFloat(std::string_view picture, double value);

// The runtime's general float format: up to 15 significant digits without trailing
// zeros, the decimal point written as FormatSettings.DecimalSeparator; scientific
// ("1.5E-7", "1E20") below 0.00001 and from 1E15 on. "INF", "-INF" and "NAN" for the
// values that are not finite. The C library's locale plays no part.
std::string FloatToStr(double value);

// Removes characters with codes 0..32 at both ends (and only those).
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);

// 1-based position of needle in text, 0 when absent or when needle is empty.
std::size_t Pos(std::string_view needle, std::string_view text);

} // namespace rtl
