#include "acquisition/Linia1MG.h"

#include "platform/text/Convert.h"
#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <bit>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

// What a line must leave alone shows as these marks.
constexpr const char* kMarkText = "x";
constexpr float kMarkValue = -77.0f;
constexpr int kMarkCount = 9;
constexpr const char* kMarkDate = "1999-01-01";
constexpr const char* kMarkTime = "00:00:00";

class Linia1MGTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        line.Zeruj();
    }
    void TearDown() override
    {
        rtl::FormatSettings.DecimalSeparator = '.';
        TempDirTest::TearDown();
    }

    // A reset line whose texts, values, count, date and time carry marks.
    void mark()
    {
        line.Zeruj();
        line.valueTexts.fill(kMarkText);
        line.values.fill(kMarkValue);
        line.channelCount = kMarkCount;
        line.dateText = kMarkDate;
        line.timeText = kMarkTime;
    }

    Linia1MG line;
};

struct Channel {
    int index;
    std::string name;
    std::string text;
    float value;
};

void expectChannels(const Linia1MG& l, const std::vector<Channel>& channels)
{
    for (const Channel& c : channels) {
        SCOPED_TRACE("channel " + std::to_string(c.index));
        EXPECT_EQ(l.names[c.index], c.name);
        EXPECT_EQ(l.valueTexts[c.index], c.text);
        EXPECT_FLOAT_EQ(l.values[c.index], c.value);
    }
}

std::string repeat(const std::string& unit, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += unit;
    return s;
}

TEST_F(Linia1MGTest, ConstructionAndReset)
{
    Linia1MG l;
    EXPECT_TRUE(l.resetPending);
    EXPECT_FALSE(l.headerLine);
    EXPECT_EQ(l.lineCount, 0);
    EXPECT_EQ(l.channelCount, 0);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(l.names[i], "");
        EXPECT_EQ(l.valueTexts[i], "");
        EXPECT_EQ(l.values[i], 0.0f);
        EXPECT_EQ(l.previousValues[i], 0.0f);
        EXPECT_FALSE(l.statusFlags[i]);
    }

    l.Zeruj();
    l.CzytajLinie("2024-03-05 14:07:09 21.4 Bat 3.6 Count 7");
    l.resetPending = true;
    l.Zeruj();
    EXPECT_FALSE(l.resetPending);
    EXPECT_EQ(l.lineCount, 0);
    EXPECT_EQ(l.channelCount, 0);
    EXPECT_EQ(l.valuesPart, "");
    EXPECT_EQ(l.names[0], "--");
    EXPECT_EQ(l.names[63], "--");
    EXPECT_EQ(l.values[0], 0.0f);
    // The reset keeps what the next line overwrites anyway, or compares against.
    EXPECT_EQ(l.valueTexts[0], "21.4");
    EXPECT_EQ(l.dateText, "2024-03-05");
    EXPECT_EQ(l.timeText, "14:07:09");
    EXPECT_TRUE(l.statusFlags[1]);
    EXPECT_FLOAT_EQ(l.previousValues[2], 7.0f);
    EXPECT_FALSE(l.headerLine);
}

TEST_F(Linia1MGTest, WorkedExample)
{
    line.CzytajLinie("2024-03-05 14:07:09 21.4 22.0 -.- T 18.5 Count 1200 3.61");
    EXPECT_EQ(line.dateText, "2024-03-05");
    EXPECT_EQ(line.timeText, "14:07:09");
    EXPECT_EQ(line.valuesPart, "21.4 22.0 -.- T 18.5 Count 1200 3.61");
    EXPECT_EQ(line.lineCount, 1);
    EXPECT_EQ(line.channelCount, 6);
    EXPECT_FALSE(line.headerLine);
    expectChannels(line, {{0, "k1", "21.4", 21.4f},
                          {1, "k2", "22.0", 22.0f},
                          {2, "k3", "00", 0.0f},
                          {3, "T", "18.5", 18.5f},
                          {4, "Count", "1200", 0.0f},
                          {5, "k6", "3.61", 3.61f}});
    const bool flags[6] = {false, false, false, true, false, false};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(line.statusFlags[i], flags[i]) << i;
    EXPECT_EQ(line.Naglowek(), "DataTime  k1 k2 k3 T Count k6");

    line.CzytajLinie("2024-03-05 14:07:19 21.5 22.1 22.3 T 18.6 Count 1260 3.60");
    EXPECT_EQ(line.lineCount, 2);
    EXPECT_EQ(line.timeText, "14:07:19");
    EXPECT_EQ(line.channelCount, 6);
    expectChannels(line, {{0, "k1", "21.5", 21.5f},
                          {1, "k2", "22.1", 22.1f},
                          {2, "k3", "22.3", 22.3f},
                          {3, "T", "18.6", 18.6f},
                          {4, "Count", "1260", 60.0f},
                          {5, "k6", "3.60", 3.6f}});
    EXPECT_FLOAT_EQ(line.previousValues[4], 1260.0f);
}

struct HeaderCase {
    std::string text;
    std::vector<std::string> names;
    int channelCount;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << "'" << c.text.substr(0, 60) << "'"; }

class HeaderLines : public Linia1MGTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(HeaderLines, GiveNamesOnly)
{
    const HeaderCase& c = GetParam();
    mark();
    line.CzytajLinie(c.text);
    EXPECT_TRUE(line.headerLine);
    EXPECT_EQ(line.channelCount, c.channelCount);
    for (std::size_t i = 0; i < c.names.size(); ++i)
        EXPECT_EQ(line.names[i], c.names[i]) << "name " << i;
    EXPECT_EQ(line.names[c.names.size()], "--") << "no name past the header's";
    EXPECT_EQ(line.valueTexts[0], kMarkText);
    EXPECT_EQ(line.values[0], kMarkValue);
    EXPECT_EQ(line.timeText, kMarkTime);
    EXPECT_EQ(line.valuesPart, "");
    EXPECT_EQ(line.lineCount, 0);
}

const std::string long60(60, 'N');

INSTANTIATE_TEST_SUITE_P(Table, HeaderLines,
                         ::testing::Values(HeaderCase{"", {""}, 1}, HeaderCase{"     ", {""}, 1},
                                           HeaderCase{"< 2024-03-05 14:07:09 1 2", {""}, 1},
                                           HeaderCase{"ABC", {"ABC"}, 1}, HeaderCase{"123", {"123"}, 1},
                                           HeaderCase{"14:07:09", {"14:07:09"}, 1},
                                           HeaderCase{"\t DataTime  k1 k2 k3 \r\n", {"k1", "k2", "k3"}, 3},
                                           HeaderCase{"yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3", {"k1", "k2", "k3"}, 3},
                                           HeaderCase{"yyyy-mm-dd k1 k2 k3", {"k2", "k3"}, 2},
                                           HeaderCase{"hh:mm:ss.nnn k1 k2", {"k1", "k2"}, 2},
                                           HeaderCase{"Time s k1 k2", {"k1", "k2"}, 2},
                                           HeaderCase{"Kanaly  Temp   Wilg", {"Temp", "Wilg"}, 2},
                                           HeaderCase{"DataTime  k1 " + long60, {"k1", long60.substr(0, 50)}, 2},
                                           HeaderCase{"DataTime  " + long60 + " k2", {long60, "k2"}, 2},
                                           HeaderCase{"DataTime  k1 k2 < k3 k4", {"k1", "k2"}, 2}));

TEST_F(Linia1MGTest, HeaderMarkerLaterInTheLine)
{
    mark();
    line.CzytajLinie("2024-03-05 hh:mm:ss.nnn k1 k2");
    EXPECT_TRUE(line.headerLine);
    EXPECT_EQ(line.dateText, "2024-03-05");
    EXPECT_EQ(line.names[0], "k1");
    EXPECT_EQ(line.names[1], "k2");
    EXPECT_EQ(line.channelCount, 2);

    // A later "Time" caption: four characters dropped, the next token skipped, and the
    // names start one channel past the one reached.
    mark();
    line.CzytajLinie("14:07:09 5 hh:mm:ss.nnnTime s k2 k3");
    EXPECT_TRUE(line.headerLine);
    EXPECT_EQ(line.names[0], "k1");
    EXPECT_EQ(line.names[1], "--");
    EXPECT_EQ(line.names[2], "s");
    EXPECT_EQ(line.names[3], "k2");
    EXPECT_EQ(line.names[4], "k3");
    EXPECT_EQ(line.channelCount, 5);
}

struct DataCase {
    std::string text;
    std::vector<Channel> channels;
    int channelCount;
    std::string dateText;
    std::string timeText;
    int lineCount;
};

void PrintTo(const DataCase& c, std::ostream* os) { *os << "'" << c.text.substr(0, 60) << "'"; }

class DataLines : public Linia1MGTest, public ::testing::WithParamInterface<DataCase> {};

TEST_P(DataLines, StoreWhatTheyCarry)
{
    const DataCase& c = GetParam();
    mark();
    line.CzytajLinie(c.text);
    EXPECT_FALSE(line.headerLine);
    EXPECT_EQ(line.channelCount, c.channelCount);
    EXPECT_EQ(line.dateText, c.dateText);
    EXPECT_EQ(line.timeText, c.timeText);
    EXPECT_EQ(line.lineCount, c.lineCount);
    expectChannels(line, c.channels);
}

const Channel untouched0{0, "--", kMarkText, kMarkValue};
const Channel untouched1{1, "--", kMarkText, kMarkValue};
const Channel untouched2{2, "--", kMarkText, kMarkValue};
const Channel untouched3{3, "--", kMarkText, kMarkValue};
const std::string zeros60(60, '0');

INSTANTIATE_TEST_SUITE_P(
    Table, DataLines,
    ::testing::Values(
        DataCase{"2024-03-05 14:07:09 1 2 3",
                 {{0, "k1", "1", 1}, {1, "k2", "2", 2}, {2, "k3", "3", 3}, untouched3},
                 3,
                 "2024-03-05",
                 "14:07:09",
                 1},
        // A missing last value keeps its name; a missing middle value is named.
        DataCase{"2024-03-05 14:07:09 1 2 -.-",
                 {{0, "k1", "1", 1}, {1, "k2", "2", 2}, {2, "--", "00", 0}},
                 3,
                 "2024-03-05",
                 "14:07:09",
                 1},
        DataCase{"2024-03-05 14:07:09 -.- 2 3",
                 {{0, "k1", "00", 0}, {1, "k2", "2", 2}, {2, "k3", "3", 3}},
                 3,
                 "2024-03-05",
                 "14:07:09",
                 1},
        // Without a time token the last value is no reading, not even a malformed one.
        DataCase{"2024-03-05 1 2 3",
                 {{0, "k1", "1", 1}, {1, "k2", "2", 2}, untouched2},
                 kMarkCount,
                 "2024-03-05",
                 kMarkTime,
                 0},
        DataCase{"2024-03-05 1 2 1.2.3",
                 {{0, "k1", "1", 1}, {1, "k2", "2", 2}, untouched2},
                 kMarkCount,
                 "2024-03-05",
                 kMarkTime,
                 0},
        DataCase{"2024-03-05 14:07:19", {untouched0}, kMarkCount, "2024-03-05", kMarkTime, 0},
        DataCase{"14:07:09 5 6", {{0, "k1", "5", 5}, {1, "k2", "6", 6}}, 2, kMarkDate, "14:07:09", 1},
        // Date-shaped but with a point: no date; its colon makes it the time.
        DataCase{"05-03-24.14:07:09 5 6", {{0, "k1", "5", 5}, {1, "k2", "6", 6}}, 2, kMarkDate, "05-03-24.14:07:09", 1},
        DataCase{"  14:07:09 5 6", {{0, "k1", "5", 5}, {1, "k2", "6", 6}}, 2, kMarkDate, "14:07:09", 1},
        DataCase{"05-03-2024   14:07:09    -5.5e1\t\r\n", {{0, "k1", "-5.5e1", -55}}, 1, "05-03-2024", "14:07:09", 1},
        DataCase{"14:07:09 Err 1 Bat 3.6", {{0, "Err", "1", 1}, {1, "Bat", "3.6", 3.6f}}, 2, kMarkDate, "14:07:09", 1},
        DataCase{"14:07:09 a 1 2", {untouched0, {1, "k2", "1", 1}, {2, "k3", "2", 2}}, 3, kMarkDate, "14:07:09", 1},
        // A name without a value only takes its channel.
        DataCase{"14:07:09 Temp abc 5",
                 {{0, "Temp", kMarkText, kMarkValue}, untouched1, {2, "k3", "5", 5}},
                 3,
                 kMarkDate,
                 "14:07:09",
                 1},
        // The last token is always a value: a name there is a missing value, not a name.
        DataCase{"14:07:09 Temp", {{0, "--", "00", 0}}, 1, kMarkDate, "14:07:09", 1},
        DataCase{
            "14:07:09 1 2 x", {{0, "k1", "1", 1}, {1, "k2", "2", 2}, {2, "--", "00", 0}}, 3, kMarkDate, "14:07:09", 1},
        DataCase{"14:07:09 +1 .5 7", {untouched0, untouched1, {2, "k3", "7", 7}}, 3, kMarkDate, "14:07:09", 1},
        DataCase{"14:07:09 P --", {{0, "P", "--", 0}}, 1, kMarkDate, "14:07:09", 1},
        DataCase{"2024-03-05 14:07:09 1 2 < 3 4",
                 {{0, "k1", "1", 1}, {1, "k2", "2", 2}, untouched2},
                 2,
                 "2024-03-05",
                 "14:07:09",
                 1},
        // Every time token counts.
        DataCase{"14:07:09 14:07:10 5", {{0, "k1", "5", 5}}, 1, kMarkDate, "14:07:10", 2},
        // A value that ends the line after a name keeps 50 characters; a positional one all.
        DataCase{"14:07:09 T 1." + zeros60, {{0, "T", "1." + zeros60.substr(0, 48), 1}}, 1, kMarkDate, "14:07:09", 1},
        DataCase{"14:07:09 1." + zeros60, {{0, "k1", "1." + zeros60, 1}}, 1, kMarkDate, "14:07:09", 1},
        // Readings of every shape in the middle of a line, where most of them stand.
        DataCase{"14:07:09 1. -0 0015 -.5 123456789012345 1234567890123456 -0.0 5.5e1 7",
                 {{0, "k1", "1.", 1},
                  {1, "k2", "-0", 0},
                  {2, "k3", "0015", 15},
                  {3, "k4", "-.5", -0.5f},
                  {4, "k5", "123456789012345", 123456789012345.0f},
                  {5, "k6", "1234567890123456", 1234567890123456.0f},
                  {6, "k7", "-0.0", 0},
                  {7, "k8", "5.5e1", 55},
                  {8, "k9", "7", 7}},
                 9,
                 kMarkDate,
                 "14:07:09",
                 1},
        DataCase{"14:07:09 12:00:10 2024-03-05 -.- .5 5 6",
                 {{0, "k1", "00", 0}, untouched1, {2, "k3", "5", 5}, {3, "k4", "6", 6}},
                 4,
                 "2024-03-05",
                 "12:00:10",
                 2},
        DataCase{"14:07:09 3.4e38 -3.4e38 1e-50",
                 {{0, "k1", "3.4e38", 3.4e38f}, {1, "k2", "-3.4e38", -3.4e38f}, {2, "k3", "1e-50", 0}},
                 3,
                 kMarkDate,
                 "14:07:09",
                 1}));

// A token of digits, points and a leading minus in the middle of a line: a number
// is stored as its text and its value, any other number-led token raises the error,
// and one led by a point only takes its channel.
TEST_F(Linia1MGTest, MiddleTokensNearTheReadingShape)
{
    const std::regex number(R"(-?([0-9]+(\.[0-9]*)?|\.[0-9]+))");
    std::mt19937_64 rng(12032024);
    static const std::string alphabet = "01234567890123456789.";
    for (int n = 0; n < 50000; ++n) {
        std::string token(1 + rng() % 17, '\0');
        for (char& c : token)
            c = alphabet[rng() % alphabet.size()];
        if (rng() % 3 == 0)
            token[0] = '-';
        const std::string text = "2024-03-05 14:07:09 4 " + token + " 7";
        SCOPED_TRACE(text);
        mark();
        if (token[0] == '.') {
            ASSERT_NO_THROW(line.CzytajLinie(text));
            ASSERT_EQ(line.valueTexts[1], kMarkText);
            ASSERT_EQ(line.valueTexts[2], "7");
        } else if (std::regex_match(token, number)) {
            ASSERT_NO_THROW(line.CzytajLinie(text));
            double expected = 0;
            ASSERT_EQ(std::from_chars(token.data(), token.data() + token.size(), expected).ec, std::errc());
            ASSERT_EQ(line.valueTexts[1], token);
            ASSERT_EQ(std::bit_cast<std::uint32_t>(line.values[1]),
                      std::bit_cast<std::uint32_t>(static_cast<float>(expected)));
            ASSERT_EQ(line.valueTexts[2], "7");
            ASSERT_EQ(line.channelCount, 3);
        } else {
            ASSERT_THROW(line.CzytajLinie(text), rtl::EConvertError);
            ASSERT_EQ(line.valueTexts[1], token);
            ASSERT_EQ(line.valueTexts[2], kMarkText);
        }
        ASSERT_EQ(line.valueTexts[0], "4");
    }
}

TEST_F(Linia1MGTest, ValuesPartIsTheTextAfterTheTime)
{
    line.CzytajLinie("2024-03-05 14:07:09   1  2   ");
    EXPECT_EQ(line.valuesPart, "1  2");
    line.CzytajLinie("2024-03-05 1 2");
    EXPECT_EQ(line.valuesPart, "") << "a line without time leaves no values part";
    line.CzytajLinie("2024-03-05 14:07:09 1 2");
    line.CzytajLinie("DataTime  k1 k2");
    EXPECT_EQ(line.valuesPart, "");
}

TEST_F(Linia1MGTest, StatusChannelsAreMarkedByTheirPairs)
{
    line.CzytajLinie("14:07:09 Err 1 Bat 3.6 T 20 Tx 4");
    EXPECT_EQ(line.channelCount, 4);
    const bool marked[4] = {true, true, true, false};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(line.statusFlags[i], marked[i]) << line.names[i];

    // A pair sets or clears its channel's mark; positional values leave it.
    line.CzytajLinie("14:07:19 Bat2 1 5 Temp");
    EXPECT_FALSE(line.statusFlags[0]);
    EXPECT_TRUE(line.statusFlags[1]);
    EXPECT_TRUE(line.statusFlags[2]);
    line.Zeruj();
    EXPECT_TRUE(line.statusFlags[1]) << "the reset keeps the marks";
}

TEST_F(Linia1MGTest, CountChannelShowsTheStepSinceTheLastLine)
{
    const struct {
        const char* text;
        float value;
    } steps[] = {
        {"14:07:09 Count 100", 0},                                  // first data line since the reset
        {"14:07:19 Count 130", 30},    {"14:07:29 Count --", -130}, // "--" reads as 0
        {"14:07:39 Count 50 -.-", 50}, {"14:07:49 Count 40 1", -10},
    };
    for (const auto& s : steps) {
        line.CzytajLinie(s.text);
        EXPECT_FLOAT_EQ(line.values[0], s.value) << s.text;
    }
    EXPECT_FLOAT_EQ(line.previousValues[0], 40);
    EXPECT_FALSE(line.statusFlags[0]);

    // Other names show the reading itself.
    line.Zeruj();
    line.CzytajLinie("14:07:09 Counter 100");
    line.CzytajLinie("14:07:19 Counter 130");
    EXPECT_FLOAT_EQ(line.values[0], 130);
}

struct ErrorCase {
    std::string text;
    std::vector<Channel> channels; // as they stand when the error is raised
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << "'" << c.text << "'"; }

class BadNumbers : public Linia1MGTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(BadNumbers, RaiseAndKeepWhatWasStored)
{
    const ErrorCase& c = GetParam();
    mark();
    EXPECT_THROW(line.CzytajLinie(c.text), rtl::EConvertError);
    EXPECT_EQ(line.channelCount, kMarkCount);
    EXPECT_EQ(rtl::FormatSettings.DecimalSeparator, '.');
    expectChannels(line, c.channels);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadNumbers,
    ::testing::Values(ErrorCase{"14:07:09 1 -- 2", {{0, "k1", "1", 1}, {1, "--", "--", kMarkValue}, untouched2}},
                      ErrorCase{"14:07:09 12.3.4", {{0, "--", "12.3.4", kMarkValue}}},
                      ErrorCase{"14:07:09 - 1", {{0, "--", "-", kMarkValue}}},
                      ErrorCase{"14:07:09 0x10 1", {{0, "--", "0x10", kMarkValue}}},
                      ErrorCase{"14:07:09 T 1x 5", {{0, "T", kMarkText, kMarkValue}}},
                      ErrorCase{"14:07:09 Bat 5,5", {{0, "Bat", kMarkText, kMarkValue}}},
                      // Beyond a 32-bit float, and beyond a double.
                      ErrorCase{"14:07:09 1e39", {{0, "--", "1e39", kMarkValue}}},
                      ErrorCase{"14:07:09 -3.5e38 1", {{0, "--", "-3.5e38", kMarkValue}}},
                      ErrorCase{"14:07:09 T 1e400", {{0, "T", kMarkText, kMarkValue}}},
                      ErrorCase{"14:07:09 12.03.2024 7", {{0, "--", "12.03.2024", kMarkValue}}},
                      ErrorCase{"14:07:09 1 1.5\t2 7", {{0, "k1", "1", 1}, {1, "--", "1.5\t2", kMarkValue}}},
                      ErrorCase{"14:07:09 1 -5- 7", {{0, "k1", "1", 1}, {1, "--", "-5-", kMarkValue}}},
                      ErrorCase{"14:07:09 1 5,5 7", {{0, "k1", "1", 1}, {1, "--", "5,5", kMarkValue}}},
                      ErrorCase{"2024-03-05 14:07:09 1 2 3.4.5",
                                {{0, "k1", "1", 1}, {1, "k2", "2", 2}, {2, "--", "3.4.5", kMarkValue}}}));

TEST_F(Linia1MGTest, CountStepBeyondAFloatRaises)
{
    line.CzytajLinie("14:07:09 Count -3e38");
    EXPECT_THROW(line.CzytajLinie("14:07:19 Count 3e38"), rtl::EConvertError);
    EXPECT_FLOAT_EQ(line.previousValues[0], -3e38f) << "the failed reading is not taken as the previous one";
    EXPECT_EQ(line.valueTexts[0], "-3e38");
}

TEST_F(Linia1MGTest, NoMoreThan64Channels)
{
    line.CzytajLinie("2024-03-05 14:07:09" + repeat(" 1", 70));
    EXPECT_EQ(line.channelCount, 64);
    EXPECT_EQ(line.names[63], "k64");
    EXPECT_EQ(line.valueTexts[63], "1");

    line.Zeruj();
    line.CzytajLinie("14:07:09" + repeat(" A 2", 70));
    EXPECT_EQ(line.channelCount, 64);
    EXPECT_FLOAT_EQ(line.values[63], 2);

    line.Zeruj();
    line.CzytajLinie("14:07:09" + repeat(" a", 63) + " 5 6 7");
    EXPECT_EQ(line.channelCount, 64);
    EXPECT_EQ(line.valueTexts[63], "5");

    std::string header = "DataTime ";
    for (int i = 1; i <= 70; ++i)
        header += " n" + std::to_string(i);
    line.CzytajLinie(header);
    EXPECT_EQ(line.channelCount, 64);
    EXPECT_EQ(line.names[63], "n64");
}

TEST_F(Linia1MGTest, TextFurtherThan2000CharactersBehindTheFirstTokenIsIgnored)
{
    // The first token ends at the blank; the 2000 characters after it are read.
    const std::string fill1995(1995, 'a');
    line.CzytajLinie("14:07:09 " + fill1995 + " 5 6");
    EXPECT_EQ(line.channelCount, 3);
    EXPECT_EQ(line.valueTexts[2], "6");

    line.Zeruj();
    line.CzytajLinie("14:07:09 " + fill1995 + "aa 5 6");
    EXPECT_EQ(line.channelCount, 2) << "the 6 lies at character 2001";
    EXPECT_EQ(line.valueTexts[1], "5");
    EXPECT_EQ(line.valuesPart, fill1995 + "aa 5");

    line.Zeruj();
    line.CzytajLinie("14:07:09 " + repeat("1 ", 3000));
    EXPECT_EQ(line.channelCount, 64);
    EXPECT_LE(line.valuesPart.size(), 2000u);

    // A long first token is kept whole.
    const std::string longDate = "2024-03-05" + std::string(3000, 'x');
    line.CzytajLinie(longDate + " 14:07:09 7");
    EXPECT_EQ(line.dateText, longDate);
    EXPECT_EQ(line.valueTexts[0], "7");
}

TEST_F(Linia1MGTest, SeparatorIsAPointAfterEveryParse)
{
    for (const char* text : {"", "DataTime  k1", "14:07:09 12.5", "14:07:09 1,5"}) {
        rtl::FormatSettings.DecimalSeparator = ',';
        try {
            line.CzytajLinie(text);
        } catch (const rtl::EConvertError&) {
            EXPECT_STREQ(text, "14:07:09 1,5");
        }
        EXPECT_EQ(rtl::FormatSettings.DecimalSeparator, '.') << text;
    }
    EXPECT_FLOAT_EQ(line.values[0], 12.5f);
}

TEST_F(Linia1MGTest, ParsesItsOwnTexts)
{
    // The parse empties valuesPart first; the line handed in must not change with it.
    line.CzytajLinie("14:07:09 2024-03-06 5 6");
    ASSERT_EQ(line.valuesPart, "2024-03-06 5 6");
    line.CzytajLinie(line.valuesPart);
    EXPECT_EQ(line.dateText, "2024-03-06");
    EXPECT_EQ(line.valueTexts[0], "5");
    EXPECT_EQ(line.valuesPart, "");
}

TEST_F(Linia1MGTest, HeaderOfANewDataFile)
{
    EXPECT_EQ(line.Naglowek(), "DataTime ");
    line.CzytajLinie("DataTime  k1 k2 k3");
    EXPECT_EQ(line.Naglowek(), "DataTime  k1 k2 k3");
    line.Zeruj();
    line.CzytajLinie("2024-03-05 14:07:09 21.4 22.0 -.- 3.61");
    EXPECT_EQ(line.Naglowek(), "DataTime  k1 k2 k3 k4");

    line.channelCount = 100; // readers write the count back; it must not run past the names
    EXPECT_EQ(line.Naglowek(), "DataTime  k1 k2 k3 k4" + repeat(" --", 60));
    line.channelCount = -3;
    EXPECT_EQ(line.Naglowek(), "DataTime ");
}

} // namespace
