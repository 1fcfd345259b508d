#include "viewer/Linia1MG.h"

#include "tests/support/PolishLocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

Linia1MG parsed(const std::vector<std::string>& lines)
{
    Linia1MG line;
    line.Zeruj();
    for (const std::string& text : lines)
        line.CzytajLinie(text.c_str());
    return line;
}

std::vector<float> firstValues(const Linia1MG& line, int n) { return std::vector<float>(line.values, line.values + n); }

TEST(Linia1MGTest, ConstructorAndResetStartValues)
{
    Linia1MG line;
    EXPECT_EQ(line.minChannels, 128);
    EXPECT_EQ(line.maxChannels, 0);
    EXPECT_EQ(line.maxValue, -100000000.0f);
    EXPECT_EQ(line.minValue, 100000000.0f);
    EXPECT_STREQ(line.names[0], "k1");
    EXPECT_STREQ(line.names[63], "k64");
    EXPECT_FALSE(line.dataFlag);

    line.CzytajLinie("2024-03-01 12:00:00 30 -4");
    ASSERT_EQ(line.maxIndex, 0);
    ASSERT_EQ(line.minIndex, 1);
    line.Zeruj();
    EXPECT_EQ(line.minChannels, 64);
    EXPECT_EQ(line.lineCount, 0);
    EXPECT_EQ(line.channelCount, 0);
    EXPECT_FALSE(line.dataFlag || line.dateFlag || line.timeFlag);
    EXPECT_EQ(line.maxValue, -100000000.0f);
    EXPECT_STREQ(line.dateText, "");
    EXPECT_STREQ(line.words[0], "");
    // The texts and channels of the last extremes stay until new ones are found.
    EXPECT_STREQ(line.maxTime, "12:00:00");
    EXPECT_STREQ(line.minDate, "2024-03-01");
    EXPECT_EQ(line.minIndex, 1);
}

struct LineCase {
    const char* name;
    std::vector<std::string> lines;
    const char* date;
    const char* time;
    int channels;
    int lineCount;
    std::vector<float> values;
    bool dateFlag;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class Linia1MGLines : public testing::TestWithParam<LineCase> {};

TEST_P(Linia1MGLines, DateTimeColumnsAndValues)
{
    const LineCase& c = GetParam();
    const Linia1MG line = parsed(c.lines);
    EXPECT_STREQ(line.dateText, c.date);
    EXPECT_STREQ(line.timeText, c.time);
    EXPECT_EQ(line.channelCount, c.channels);
    EXPECT_EQ(line.lineCount, c.lineCount);
    EXPECT_EQ(line.dateFlag, c.dateFlag);
    EXPECT_EQ(firstValues(line, int(c.values.size())), c.values);
}

const LineCase kLineCases[] = {
    {"YearFirstDate",
     {"2024-03-01 12:00:00 21.5 -3.0 19.8"},
     "2024-03-01",
     "12:00:00",
     3,
     1,
     {21.5f, -3.0f, 19.8f},
     true},
    {"DayFirstDate", {"01-03-2024\t12:00:00\t7.25"}, "01-03-2024", "12:00:00", 1, 1, {7.25f}, true},
    {"TimeLine", {"12:00:00 1.5 2.5"}, "", "12:00:00", 2, 1, {1.5f, 2.5f}, false},
    {"TimeWithColonFourth", {"100:00 4 5 6"}, "", "100:00", 3, 1, {4, 5, 6}, false},
    {"FiveCharacterFirstWord", {"21.50 3.0 4.0"}, "", "21.50", 2, 1, {3.0f, 4.0f}, false},
    {"DashDotDashKeepsTheRest",
     {"2024-03-01 12:00:00 5 6 7", "2024-03-01 12:00:01 1 -.- 3"},
     "2024-03-01",
     "12:00:01",
     3,
     2,
     {1, 6, 7},
     true},
    {"FewerValuesKeepEarlierWords",
     {"2024-03-01 12:00:00 1 2 3 4 5", "2024-03-01 12:00:01 9 8 7"},
     "2024-03-01",
     "12:00:01",
     5,
     2,
     {9, 8, 7, 4, 5},
     true},
    {"EmptyLineRepeats", {"2024-03-01 12:00:00 1 2", ""}, "2024-03-01", "12:00:00", 2, 2, {1, 2}, true},
    {"TrailerLineKeepsValues", {"2024-03-01 12:00:00 1 2", "Counter 1234"}, "Counter", "1234", 2, 1, {1, 2}, true},
    {"ValueStopsInsideAWord", {"2024-03-01 12:00:00 12abc 5"}, "2024-03-01", "12:00:00", 2, 1, {12, 0}, true},
    {"MinusSplitsAWord", {"2024-03-01 12:00:00 12-5"}, "2024-03-01", "12:00:00", 1, 1, {12, -5}, true},
    {"DateWithoutTimeIsNoDataLine", {"2024-03-01 noon 5"}, "2024-03-01", "noon", 0, 0, {0}, true},
    {"OnlyDateAndTime", {"2024-03-01 12:00:00"}, "2024-03-01", "12:00:00", 0, 1, {0}, true},
    {"ShortWordIsNoDateByAnOldTail", {"12-34-56 12:00:00 1", "ab- 12:00:01 2"}, "ab-", "12:00:01", 1, 1, {1}, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, Linia1MGLines, testing::ValuesIn(kLineCases),
                         [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(Linia1MGTest, HeaderNamesTheChannelsUntilTheFirstDataLine)
{
    const Linia1MG line = parsed({"DataTime k1 k2 k3", "2024-03-01 12:00:00 1 2 3"});
    EXPECT_STREQ(line.names[0], "k1");
    EXPECT_STREQ(line.names[1], "k2");
    EXPECT_STREQ(line.names[2], "k3");
    for (int i = 3; i < 64; ++i)
        ASSERT_STREQ(line.names[i], "") << i;

    // Once the column count is set, a second header changes no name.
    Linia1MG twice;
    twice.Zeruj();
    twice.CzytajLinie("DataTime A B");
    twice.channelCount = 1;
    twice.CzytajLinie("DataTime X Y");
    EXPECT_STREQ(twice.names[0], "A");
    EXPECT_STREQ(twice.names[1], "B");
}

TEST(Linia1MGTest, ExtremesOverAllLinesWithTheirTimes)
{
    const Linia1MG line = parsed({
        "2024-03-01 12:00:00 5 7",
        "2024-03-01 12:00:01 9 -2",
        "2024-03-01 12:00:02 9 -2", // equal values do not replace an extreme
        "2024-03-01 12:00:03 8 3",
    });
    EXPECT_EQ(line.maxValue, 9.0f);
    EXPECT_EQ(line.maxIndex, 0);
    EXPECT_STREQ(line.maxTime, "12:00:01");
    EXPECT_EQ(line.minValue, -2.0f);
    EXPECT_EQ(line.minIndex, 1);
    EXPECT_STREQ(line.minDate, "2024-03-01");
    EXPECT_STREQ(line.minTime, "12:00:01");
    EXPECT_EQ(line.maxChannels, 2);
    EXPECT_EQ(line.minChannels, 2);
}

TEST(Linia1MGTest, ColumnCountsFollowTheLines)
{
    const Linia1MG line = parsed({"12:00:00 1 2 3 4", "Counter", "2024-03-01 12:00:01 1"});
    // The date line's single value leaves words 2 and 3 of the time line in place.
    EXPECT_EQ(line.channelCount, 3);
    EXPECT_EQ(line.maxChannels, 4);
    EXPECT_EQ(line.minChannels, 3);
}

TEST(Linia1MGTest, WordsOfAnyLengthAreCutToTheirArrays)
{
    const std::string longWord(5000, '7');
    std::string line = "DataTime " + std::string(60, 'N') + " " + std::string(150, 'M');
    Linia1MG header = parsed({line});
    EXPECT_EQ(std::strlen(header.names[0]), 39u);
    EXPECT_EQ(std::strlen(header.words[0]), 99u);
    EXPECT_EQ(std::strlen(header.names[1]), 39u);

    std::string data = "2024-03-01-and-more-than-sixteen 12:00:00:and-more-than-sixteen";
    for (int i = 0; i < 80; ++i)
        data += " " + longWord;
    const Linia1MG big = parsed({data});
    EXPECT_STREQ(big.dateText, "2024-03-01-and-");
    EXPECT_STREQ(big.timeText, "12:00:00:and-mo");
    EXPECT_EQ(big.channelCount, 64);
    EXPECT_EQ(std::strlen(big.words[63]), 99u);
    EXPECT_TRUE(std::isinf(big.values[0]));
    EXPECT_TRUE(std::isinf(big.values[63]));
}

TEST(Linia1MGTest, DecimalPointWhateverTheLocale)
{
    const Linia1MG line = [] {
        testsupport::PolishLocale polish;
        EXPECT_TRUE(polish.active()) << "pl_PL.UTF-8 is not generated here (make locale)";
        return parsed({"2024-03-01 12:00:00 21.5 1,5 7"});
    }();
    EXPECT_EQ(line.values[0], 21.5f);
    EXPECT_EQ(line.values[1], 1.0f); // the comma ends the value and the scan
    EXPECT_EQ(line.values[2], 0.0f);
}

// The runtime's own formatted scan is the reference for how values are taken: a corpus
// of awkward words, then random words of number-like characters.
TEST(Linia1MGTest, ValuesAsTheFormattedScanTakesThem)
{
    ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    std::vector<std::string> tails = {
        "1E+5 2",
        "1e+5",
        "1E-2x 3",
        "12-5",
        "1.5.3",
        "-.- 4",
        "infin 1",
        "infinity 2",
        "infx",
        "INF -inf",
        "nan(12) 1",
        "-nan 2",
        "0x 1",
        "0x. 2",
        "0x1p3 1",
        "0x1P-1 2",
        "0xg",
        "1e 2",
        "1ex 2",
        "+ 1",
        "+5",
        "- 5",
        ".5 .",
        "0x1e2",
        "1e5.3",
        "00x5",
        "1.e3",
        "9e99 -9e99",
        "1e-50 1e-40",
        "0e",
        "3.40282357e38",
        "1.00000005960464477539062 1.0000000596046448",
        std::string(400, '1') + " 2",
        "0." + std::string(300, '0') + "1",
        "nAn INFINITY InFiNiTyX",
        "-0 +0 -0.0e0",
        "1e+ 1e- 1e+x",
        "0x1.fffffep127 0x1.ffffffp127 0x.8",
        "--1",
        "+-1",
        "5:00 6",
        "12,5 3",
        "\v7\f8\r9",
        "0.00000000001 0.0000000001",
        "-0.000 -0",
        "1234567.8 9999999 16777217",
        "0.1 0.2 0.3 21.5 -3.0 19.8 3.14159 2.7182818",
        "000000000000000000000012.5",
    };
    std::mt19937 random(20240301);
    const std::string alphabet = "0123456789.-+eExXpPinfaINFA ";
    for (int i = 0; i < 4000; ++i) {
        std::string tail;
        const int length = 1 + int(random() % 24);
        for (int k = 0; k < length; ++k)
            tail += alphabet[random() % alphabet.size()];
        tails.push_back(tail);
    }
    std::string format = "%*s %*s";
    for (int i = 0; i < 64; ++i)
        format += " %f";
    for (const std::string& tail : tails) {
        const std::string text = "2024-03-01 12:00:00 " + tail;
        Linia1MG line;
        line.Zeruj();
        line.CzytajLinie(text.c_str());
        float expected[64] = {};
        float* v = expected;
        std::sscanf(text.c_str(), format.c_str(), v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7, v + 8, v + 9,
                    v + 10, v + 11, v + 12, v + 13, v + 14, v + 15, v + 16, v + 17, v + 18, v + 19, v + 20, v + 21,
                    v + 22, v + 23, v + 24, v + 25, v + 26, v + 27, v + 28, v + 29, v + 30, v + 31, v + 32, v + 33,
                    v + 34, v + 35, v + 36, v + 37, v + 38, v + 39, v + 40, v + 41, v + 42, v + 43, v + 44, v + 45,
                    v + 46, v + 47, v + 48, v + 49, v + 50, v + 51, v + 52, v + 53, v + 54, v + 55, v + 56, v + 57,
                    v + 58, v + 59, v + 60, v + 61, v + 62, v + 63);
        ASSERT_EQ(std::memcmp(line.values, expected, sizeof expected), 0)
            << "line: " << text << "\n got " << line.values[0] << " " << line.values[1] << " " << line.values[2]
            << "\n want " << expected[0] << " " << expected[1] << " " << expected[2];
    }
}

TEST(Linia1MGTest, CopiesCompareEqualAndDifferences)
{
    const Linia1MG a = parsed({"DataTime x y", "2024-03-01 12:00:00 1 2"});
    Linia1MG b = a;
    EXPECT_TRUE(a == b);
    b.CzytajLinie("");
    EXPECT_FALSE(a == b); // one more line counted
}

} // namespace
