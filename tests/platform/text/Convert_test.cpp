#include "platform/text/Convert.h"

#include "tests/support/PolishLocale.h"
#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

// Every conversion test starts with the separator the parsers set, in its own folder.
class ConvertTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        rtl::FormatSettings.DecimalSeparator = '.';
    }
    void TearDown() override
    {
        rtl::FormatSettings.DecimalSeparator = '.';
        TempDirTest::TearDown();
    }
};

struct FloatCase {
    std::string text;
    char separator;
    bool valid;
    double expected;
};

// Long texts are shortened so the test listing stays readable.
std::string shown(std::string_view text)
{
    return text.size() <= 24 ? std::string(text)
                             : std::string(text.substr(0, 12)) + "..." + std::string(text.substr(text.size() - 8));
}
void PrintTo(const FloatCase& c, std::ostream* os) { *os << "'" << shown(c.text) << "' sep '" << c.separator << "'"; }

class StrToFloatCases : public ConvertTest, public ::testing::WithParamInterface<FloatCase> {};

TEST_P(StrToFloatCases, ConvertsOnlyCompleteNumbers)
{
    const FloatCase& c = GetParam();
    rtl::FormatSettings.DecimalSeparator = c.separator;
    double tried = -12345.0;
    EXPECT_EQ(rtl::TryStrToFloat(c.text, tried), c.valid);
    if (c.valid) {
        EXPECT_DOUBLE_EQ(rtl::StrToFloat(c.text), c.expected);
        EXPECT_DOUBLE_EQ(tried, c.expected);
    } else {
        EXPECT_THROW(rtl::StrToFloat(c.text), rtl::EConvertError);
        EXPECT_EQ(tried, -12345.0) << "a failed conversion must leave the target alone";
    }
}

const std::string zeros400(400, '0');

INSTANTIATE_TEST_SUITE_P(
    Table, StrToFloatCases,
    ::testing::Values(FloatCase{"12.5", '.', true, 12.5}, FloatCase{"-2.5E-3", '.', true, -0.0025},
                      FloatCase{"1e3", '.', true, 1000}, FloatCase{"1.e3", '.', true, 1000},
                      FloatCase{".5", '.', true, 0.5}, FloatCase{"-.5", '.', true, -0.5}, FloatCase{"5.", '.', true, 5},
                      FloatCase{"+1", '.', true, 1}, FloatCase{"0001", '.', true, 1}, FloatCase{" 1 ", '.', true, 1},
                      FloatCase{"1e308", '.', true, 1e308}, FloatCase{"1e-400", '.', true, 0},
                      FloatCase{"-1e-400", '.', true, 0}, FloatCase{"0." + zeros400 + "1", '.', true, 0},
                      FloatCase{"1" + zeros400 + "e-395", '.', true, 1e5}, FloatCase{"1e400", '.', false, 0},
                      FloatCase{"-1e400", '.', false, 0}, FloatCase{"0.5e309", '.', false, 0},
                      FloatCase{"1" + zeros400, '.', false, 0}, FloatCase{"1e99999999999999999999", '.', false, 0},
                      FloatCase{"12.3.4", '.', false, 0}, FloatCase{"12,5", '.', false, 0},
                      FloatCase{"inf", '.', false, 0}, FloatCase{"INF", '.', false, 0}, FloatCase{"nan", '.', false, 0},
                      FloatCase{"0x10", '.', false, 0}, FloatCase{"1e", '.', false, 0}, FloatCase{"1e+", '.', false, 0},
                      FloatCase{"e5", '.', false, 0}, FloatCase{".", '.', false, 0}, FloatCase{"-", '.', false, 0},
                      FloatCase{"+", '.', false, 0}, FloatCase{"+-1", '.', false, 0}, FloatCase{"--1", '.', false, 0},
                      FloatCase{"--", '.', false, 0}, FloatCase{"-.-", '.', false, 0}, FloatCase{"", '.', false, 0},
                      FloatCase{" ", '.', false, 0}, FloatCase{"1 2", '.', false, 0}, FloatCase{"\t1", '.', false, 0},
                      FloatCase{"1e5.5", '.', false, 0}, FloatCase{"1_000", '.', false, 0},
                      FloatCase{std::string("1\0", 2), '.', false, 0}, FloatCase{"12,5", ',', true, 12.5},
                      FloatCase{",5", ',', true, 0.5}, FloatCase{"-1,5e2", ',', true, -150},
                      FloatCase{"7", ',', true, 7}, FloatCase{"0," + std::string(200, '0') + "1", ',', true, 1e-201},
                      FloatCase{"12.5", ',', false, 0}, FloatCase{"1,2,3", ',', false, 0}));

// Short readings take a quick path; it must round exactly as the full conversion does.
TEST_F(ConvertTest, QuickPathRoundsLikeTheFullConversion)
{
    std::mt19937_64 rng(115600);
    for (int n = 0; n < 200000; ++n) {
        std::string digits;
        const int count = 1 + static_cast<int>(rng() % 19);
        for (int k = 0; k < count; ++k)
            digits += static_cast<char>('0' + rng() % 10);
        std::string text = rng() % 4 == 0 ? "-" : "";
        const std::size_t point = rng() % (digits.size() + 1);
        text += digits.substr(0, point) + "." + digits.substr(point);
        if (rng() % 3 == 0)
            text += "e" + std::to_string(static_cast<int>(rng() % 61) - 30);
        if (text.find_first_of("0123456789") == std::string::npos)
            continue;

        double expected = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), expected);
        ASSERT_EQ(ec, std::errc()) << text;
        ASSERT_EQ(ptr, text.data() + text.size()) << text;
        const double got = rtl::StrToFloat(text);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected)) << text;
    }
}

// Readings of every shape near the common one, [-]digits[sep digits] in up to 15
// digits, with either separator: each is accepted exactly when it has the grammar and
// is read to the same bits, the sign of zero included, as the standard library reads it.
TEST_F(ConvertTest, ShortReadingsFollowTheGrammarWithEitherSeparator)
{
    const std::vector<std::string> edges = {"1.",
                                            ".5",
                                            "-",
                                            "-0",
                                            "-0.0",
                                            "-.-",
                                            "-.5",
                                            "-5.",
                                            ".",
                                            "-.",
                                            "0",
                                            "00",
                                            "0015",
                                            "+1",
                                            "+-1",
                                            "-+1",
                                            " 1",
                                            "1 ",
                                            " -1.5 ",
                                            "1e3",
                                            "1.5e-3",
                                            "-1E2",
                                            "1e",
                                            "12.03.2024",
                                            "2024-03-05",
                                            "12:00:10",
                                            "k1",
                                            "Bat",
                                            "yyyy-mm-dd",
                                            "hh:mm:ss.nnn",
                                            "1-2",
                                            "1..2",
                                            "1.2.",
                                            "--1",
                                            "123456789012345",
                                            "999999999999999",
                                            "1234567890123456",
                                            "9999999999999999",
                                            "12345678901234567",
                                            "0.00000000000001",
                                            "1.23456789012345",
                                            "12345678.9012345",
                                            "1234567.89012345",
                                            "-99999999999999.9",
                                            "0000000000000001",
                                            "000000000000000.1"};
    std::vector<std::string> texts;
    for (const std::string& e : edges) {
        texts.push_back(e);
        std::string comma = e;
        std::replace(comma.begin(), comma.end(), '.', ',');
        texts.push_back(comma);
    }
    std::mt19937_64 rng(5032024);
    static const std::string alphabet = "0123456789012345678901234567890123456789.,-";
    for (int n = 0; n < 100000; ++n) {
        std::string t(rng() % 19, '\0');
        for (char& c : t)
            c = alphabet[rng() % alphabet.size()];
        if (rng() % 16 == 0)
            t.insert(0, 1, rng() % 2 ? '+' : ' ');
        texts.push_back(t);
    }

    for (const char sep : {'.', ','}) {
        const std::regex grammar(sep == '.' ? R"( *[-+]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][-+]?[0-9]+)? *)"
                                            : R"( *[-+]?([0-9]+(,[0-9]*)?|,[0-9]+)([eE][-+]?[0-9]+)? *)");
        rtl::FormatSettings.DecimalSeparator = sep;
        for (const std::string& text : texts) {
            double got = 777;
            const bool valid = rtl::TryStrToFloat(text, got);
            ASSERT_EQ(valid, std::regex_match(text, grammar)) << "'" << text << "' sep '" << sep << "'";
            if (!valid) {
                ASSERT_EQ(got, 777) << "'" << text << "' sep '" << sep << "'";
                continue;
            }
            std::string plain;
            for (const char c : text)
                if (c != ' ' && c != '+')
                    plain += c == sep ? '.' : c;
            double expected = 0;
            const auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), expected);
            ASSERT_EQ(ec, std::errc()) << text;
            ASSERT_EQ(ptr, plain.data() + plain.size()) << text;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected))
                << "'" << text << "' sep '" << sep << "'";
        }
    }
}

TEST_F(ConvertTest, ErrorNamesTheText)
{
    try {
        rtl::StrToFloat("12.3.4");
        FAIL() << "no error raised";
    } catch (const rtl::EConvertError& e) {
        EXPECT_STREQ(e.what(), "'12.3.4' is not a valid floating point value");
    }
    try {
        rtl::StrToInt("0x10");
        FAIL() << "no error raised";
    } catch (const rtl::EConvertError& e) {
        EXPECT_STREQ(e.what(), "'0x10' is not a valid integer value");
    }
}

TEST_F(ConvertTest, IgnoresTheCLocale)
{
    testsupport::PolishLocale polish;
    ASSERT_TRUE(polish.active()) << "pl_PL.UTF-8 is not generated here (make locale)";
    // The C library now reads a comma; ours must not.
    ASSERT_DOUBLE_EQ(std::strtod("12,5", nullptr), 12.5);

    EXPECT_DOUBLE_EQ(rtl::StrToFloat("12.5"), 12.5);
    EXPECT_THROW(rtl::StrToFloat("12,5"), rtl::EConvertError);
    EXPECT_EQ(rtl::StrToInt("-42"), -42);
}

struct IntCase {
    std::string text;
    bool valid;
    int expected;
};

void PrintTo(const IntCase& c, std::ostream* os) { *os << "'" << shown(c.text) << "'"; }

class StrToIntCases : public ConvertTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(StrToIntCases, DecimalWithin32Bits)
{
    const IntCase& c = GetParam();
    int tried = 777;
    EXPECT_EQ(rtl::TryStrToInt(c.text, tried), c.valid);
    if (c.valid) {
        EXPECT_EQ(rtl::StrToInt(c.text), c.expected);
        EXPECT_EQ(tried, c.expected);
    } else {
        EXPECT_THROW(rtl::StrToInt(c.text), rtl::EConvertError);
        EXPECT_EQ(tried, 777);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StrToIntCases,
                         ::testing::Values(IntCase{"0", true, 0}, IntCase{"123", true, 123},
                                           IntCase{"-123", true, -123}, IntCase{"+7", true, 7}, IntCase{"007", true, 7},
                                           IntCase{"2147483647", true, INT_MAX}, IntCase{"-2147483648", true, INT_MIN},
                                           IntCase{"2147483648", false, 0}, IntCase{"-2147483649", false, 0},
                                           IntCase{"99999999999999999999", false, 0}, IntCase{"", false, 0},
                                           IntCase{"-", false, 0}, IntCase{"+", false, 0}, IntCase{" 1", false, 0},
                                           IntCase{"1 ", false, 0}, IntCase{"0x10", false, 0}, IntCase{"$10", false, 0},
                                           IntCase{"1.0", false, 0}, IntCase{"1e3", false, 0},
                                           IntCase{"--1", false, 0}));

TEST_F(ConvertTest, StrToIntCReadsLikeC)
{
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"115200", 115200},
        {"0x10", 16},
        {"010", 8},
        {"  42", 42},
        {"12abc", 12},
        {"", 0},
        {"abc", 0},
        {"-7", -7},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"999999999999999999999999", INT_MAX},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rtl::StrToIntC(c.text), c.expected) << "'" << c.text << "'";
}

TEST_F(ConvertTest, TrimRemovesControlCodesAndBlanksOnly)
{
    EXPECT_EQ(rtl::Trim(std::string("\0\t x y \r\n", 9)), "x y");
    EXPECT_EQ(rtl::Trim("   "), "");
    EXPECT_EQ(rtl::Trim("\xA0x\xA0"), "\xA0x\xA0") << "a cp1250 no-break space is a character";
    EXPECT_EQ(rtl::TrimView(" a ").size(), 1u);
}

TEST_F(ConvertTest, PosIsOneBased)
{
    EXPECT_EQ(rtl::Pos("< ", "ab< c"), 3u);
    EXPECT_EQ(rtl::Pos("a", "abc"), 1u);
    EXPECT_EQ(rtl::Pos("x", "abc"), 0u);
    EXPECT_EQ(rtl::Pos("", "abc"), 0u);
    EXPECT_EQ(rtl::Pos("a", ""), 0u);
}

// ---- number texts ----

using FormatFloatTest = ConvertTest;
using rtl::FloatToStr;
using rtl::FormatFloat;
using rtl::FormatSettings;

TEST_F(FormatFloatTest, Pictures)
{
    struct Case {
        const char* picture;
        double value;
        const char* expected;
    };
    const Case cases[] = {
        {"#0.0", 23.45, "23.5"},
        {"#0.0", 0.05, "0.1"},
        {"#0.0", 0.15, "0.2"}, // 0.1499999... in binary; the decimal value rounds up
        {"#0.0", 2.25, "2.3"}, // half away from zero, not to even
        {"#0.0", -2.25, "-2.3"},
        {"#0.0", 0.0, "0.0"},
        {"#0.0", -0.04, "0.0"}, // rounds to zero: no minus
        {"#0.0", -999.0, "-999.0"},
        {"#0.0", 9999.96, "10000.0"},
        {"#0.0", 1234567.891, "1234567.9"},
        {"0.00", 3.14159, "3.14"},
        {"0.00", 0.005, "0.01"},
        {"0.00", 0.0049, "0.00"},
        {"0.00", -0.5, "-0.50"},
        {"0.00", 99.995, "100.00"},
        {"#.##", 0.0, ""},
        {"#.##", 1.0, "1"},
        {"#.##", 1.5, "1.5"},
        {"0.#", 2.0, "2"},
        {"0.", 1.5, "2"},
        {"000", 7.0, "007"},
        {"#", 7.49, "7"},
        {"0", 0.5, "1"},
        {"0", -0.5, "-1"},
        {"#,##0", 1234567.0,
         "1\xA0"
         "234\xA0"
         "567"},
        {"#,##0.00", 999.999,
         "1\xA0"
         "000.00"},
        {"0.00E+00", 12345.0, "1.23E+04"},
        {"0.00E+00", 0.00012345, "1.23E-04"},
        {"0.00E-00", 12345.0, "1.23E04"},
        {"00.0e+0", 12345.0, "12.3e+3"},
        {"0.0E+00", 0.0, "0.0E+00"},
        {"#0.0' V'", 12.34, "12.3 V"},
        {"\"T=\"0.0", -1.26, "-T=1.3"},
        {"0.0;(0.0)", -1.26, "(1.3)"},
        {"0.0;(0.0)", 1.26, "1.3"},
        {"0.0;;zero", 0.04, "zero"},
        {"0.0;;zero", -0.04, "zero"},
        {"0.0;;zero", -1.0, "-1.0"},
        {"0.0;(0.0);zero;ignored", 0.0, "zero"},
        {"", 1.5, "1.5"},
        {"", 1e18, "1E18"},
        {"", 1.5e-7, "1.5E-7"},
        {"#0.0", 2e18, "2E18"},
        {"", 0.1 + 0.2, "0.3"},
        {"", 31.5, "31.5"},
        {"", -0.00001, "-0.00001"},
        {"", 123456789012345.0, "123456789012345"},
        {"", 1234567890123456.0, "1.23456789012346E15"},
        {"#0.0", 1.5e19, "1.5E19"},
    };
    // The texts are the program's own, also on a desktop whose C library writes a comma.
    testsupport::UnderCAndPolishLocale([&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.picture << " " << c.value);
            EXPECT_EQ(FormatFloat(c.picture, c.value), c.expected);
        }
        EXPECT_EQ(FormatFloat("#0.0", std::numeric_limits<double>::infinity()), "INF");
        EXPECT_EQ(FormatFloat("#0.0", -std::numeric_limits<double>::infinity()), "-INF");
        EXPECT_EQ(FormatFloat("#0.0", std::nan("")), "NAN");
        EXPECT_EQ(FormatFloat("", -std::numeric_limits<double>::infinity()), "-INF");
    });
}

// The value texts of the viewer's status bar and info form: a float as the viewer holds
// it, shown with all the digits a double gives.
TEST_F(FormatFloatTest, GeneralFormat)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {double(21.3f), "21.2999992370605"},
        {-3, "-3"},
        {100000000, "100000000"},
        {-100000000, "-100000000"},
        {0, "0"},
        {-0.0, "0"},
        {0.5, "0.5"},
        {double(0.1f), "0.100000001490116"},
        {31.5, "31.5"},
        {1e20, "1E20"},
        {-1.5e-7, "-1.5E-7"},
        {0.00001, "0.00001"},
        {0.0000099, "9.9E-6"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E15"},
        {999999999999999.9, "1E15"},
        {double(std::numeric_limits<float>::max()), "3.40282346638529E38"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
        {inf, "INF"},
        {-inf, "-INF"},
        {std::nan(""), "NAN"},
        {-std::nan(""), "NAN"},
    };
    testsupport::UnderCAndPolishLocale([&] {
        for (const auto& c : cases)
            EXPECT_EQ(FloatToStr(c.value), c.text) << c.value;
    });
}

TEST_F(FormatFloatTest, DecimalSeparatorFromTheSettings)
{
    const char saved = FormatSettings.DecimalSeparator;
    FormatSettings.DecimalSeparator = ',';
    EXPECT_EQ(FormatFloat("#0.0", 23.45), "23,5");
    EXPECT_EQ(FormatFloat("#,##0.00", 1234.5), "1\xA0"
                                               "234,50");
    EXPECT_EQ(FormatFloat("", 0.25), "0,25");
    EXPECT_EQ(FloatToStr(1.5e-7), "1,5E-7");
    FormatSettings.DecimalSeparator = saved;
    EXPECT_EQ(FormatFloat("#0.0", 23.45), "23.5");
}

} // namespace
