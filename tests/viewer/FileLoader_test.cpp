#include "viewer/FileLoader.h"

#include "platform/Chart.h"
#include "tests/support/FileBytes.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using platform::TChart;
using platform::TLineSeries;
using testsupport::readBytes;
using testsupport::writeBytes;

namespace {

constexpr int kSeries = 81;

// Data line i of a file: a date, a time i seconds after 10:00:00 and `channels`
// values that differ per line and channel.
std::string dataLine(int i, int channels, const char* end = "\n")
{
    char time[32];
    std::snprintf(time, sizeof time, "2024-03-01 %02d:%02d:%02d", 10 + i / 3600 % 14, i / 60 % 60, i % 60);
    std::string line = time;
    for (int c = 0; c < channels; ++c) {
        char value[32];
        std::snprintf(value, sizeof value, " %.2f", (i % 997) * 0.25 + c - 7.5);
        line += value;
    }
    return line + end;
}

std::string dataLines(int from, int count, int channels, const char* end = "\n")
{
    std::string out;
    for (int i = from; i < from + count; ++i)
        out += dataLine(i, channels, end);
    return out;
}

void appendBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

struct Loaded {
    TChart chart{kSeries};
    Linia1MG line;
    FileLoader loader;
    bool ok = false;
    explicit Loaded(const std::string& path, FileLoader::Kind kind = FileLoader::Kind::Current)
    {
        ok = loader.load(path, chart, line, kind);
    }
    TLineSeries& s(int i) const { return chart.Series(i); }
};

std::vector<std::string> labels(const TLineSeries& s)
{
    std::vector<std::string> out;
    for (int i = 0; i < s.Count(); ++i)
        out.push_back(s.Label(i));
    return out;
}

std::vector<double> values(const TLineSeries& s)
{
    std::vector<double> out;
    for (int i = 0; i < s.Count(); ++i)
        out.push_back(s.YValue(i));
    return out;
}

// Every series alike: points (value, label, colour), activity, colour and, for the
// series a load sets, the title (a series it leaves keeps the title of an earlier load).
void expectSameCharts(const TChart& a, const TChart& b)
{
    for (int q = 0; q < kSeries; ++q) {
        const TLineSeries& x = a.Series(q);
        const TLineSeries& y = b.Series(q);
        ASSERT_EQ(x.Count(), y.Count()) << "series " << q;
        EXPECT_EQ(x.Active(), y.Active()) << "series " << q;
        if (x.Active()) {
            EXPECT_EQ(x.Title(), y.Title()) << "series " << q;
        }
        EXPECT_EQ(x.Color(), y.Color()) << "series " << q;
        EXPECT_EQ(values(x), values(y)) << "series " << q;
        EXPECT_EQ(labels(x), labels(y)) << "series " << q;
        for (int i = 0; i < x.Count(); ++i)
            ASSERT_EQ(x.ValueColor(i), y.ValueColor(i)) << "series " << q << " point " << i;
    }
}

class FileLoaderTest : public ::testing::Test {
protected:
    std::string path(const char* name) const { return (cwd.path() + "/" + name).toStdString(); }
    testsupport::TempCwd cwd;
};

TEST_F(FileLoaderTest, HeaderFileNamesColoursAndLabels)
{
    const std::string file = path("dane.dan");
    writeBytes(file, "DataTime Temp Wilg Cisn\n2024-03-01 12:00:00 21.5 -3.0 19.8\n2024-03-01 12:00:05 22 -2 20\n");
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    const char* titles[] = {"Temp", "Wilg", "Cisn"};
    const platform::TColor colours[] = {platform::clRed, platform::clNavy, platform::clLime};
    for (int q = 0; q < 3; ++q) {
        EXPECT_TRUE(l.s(q).Active());
        EXPECT_EQ(l.s(q).Title(), titles[q]);
        EXPECT_EQ(l.s(q).Color(), colours[q]);
        EXPECT_EQ(labels(l.s(q)), (std::vector<std::string>{"2024-03-01 12:00:00", "2024-03-01 12:00:05"}));
    }
    EXPECT_EQ(values(l.s(1)), (std::vector<double>{-3.0, -2.0}));
    EXPECT_EQ(l.s(3).Color(), platform::clGreen);
    for (int q = 3; q < kSeries; ++q) {
        EXPECT_FALSE(l.s(q).Active()) << q;
        EXPECT_EQ(l.s(q).Count(), 0) << q;
    }
    EXPECT_EQ(l.s(0).ValueColor(0), platform::clDefault);
}

TEST_F(FileLoaderTest, ManyColumnsFromTheFirstLineTakeTheRamp)
{
    const std::string file = path("ramp.dan");
    writeBytes(file, dataLines(0, 3, 12));
    TChart chart(kSeries);
    const platform::TColor untouched = chart.Series(13).Color();
    Linia1MG line;
    FileLoader loader;
    ASSERT_TRUE(loader.load(file, chart, line));
    const int expected[] = {32, 1485514, 2970996};
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(chart.Series(j).Color(), expected[j]);
    for (int j = 0; j <= 12; ++j)
        EXPECT_EQ(chart.Series(j).Color(), 32 + j * 1485482) << j;
    EXPECT_EQ(chart.Series(13).Color(), untouched);
    for (int q = 0; q < 12; ++q)
        EXPECT_EQ(chart.Series(q).Count(), 3) << q;
    EXPECT_FALSE(chart.Series(12).Active());
}

struct ShapeCase {
    const char* name;
    std::string bytes;
    int series0Points;
    std::vector<std::string> series0Labels; // empty: not checked
    std::vector<double> series0Values;      // empty: not checked
};

class FileLoaderShapes : public FileLoaderTest, public testing::WithParamInterface<ShapeCase> {};

TEST_P(FileLoaderShapes, PointsLabelsAndValues)
{
    const ShapeCase& c = GetParam();
    const std::string file = path("shape.dan");
    writeBytes(file, c.bytes);
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.s(0).Count(), c.series0Points);
    if (!c.series0Labels.empty()) {
        EXPECT_EQ(labels(l.s(0)), c.series0Labels);
    }
    if (!c.series0Values.empty()) {
        EXPECT_EQ(values(l.s(0)), c.series0Values);
    }
}

const ShapeCase kShapes[] = {
    {"TimeLinesLabelStartWithABlank", "12:00:00 1 2\n12:00:01 3 4\n", 2, {" 12:00:00", " 12:00:01"}, {1, 3}},
    {"NoNewlineAtTheEnd", "2024-03-01 12:00:00 1\n2024-03-01 12:00:01 2", 2, {}, {1, 2}},
    {"EmptyLineRepeatsThePoint", "2024-03-01 12:00:00 1\n\n2024-03-01 12:00:01 2\n", 3,
     {"2024-03-01 12:00:00", "2024-03-01 12:00:00", "2024-03-01 12:00:01"}, {1, 1, 2}},
    {"TrailerLinePlotsTheLastValuesAgain", "2024-03-01 12:00:00 1\nCounter 2\n", 2,
     {"2024-03-01 12:00:00", "Counter 2"}, {1, 1}},
    {"OnlyDateAndTimeGiveOnePointOfZero", "2024-03-01 12:00:00\n", 1, {"2024-03-01 12:00:00"}, {0}},
    {"CrLfReadAsLf", "DataTime a\r\n2024-03-01 12:00:00 1\r\n2024-03-01 12:00:01 2\r\n", 2,
     {"2024-03-01 12:00:00", "2024-03-01 12:00:01"}, {1, 2}},
    {"EmptyFile", "", 0, {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Files, FileLoaderShapes, testing::ValuesIn(kShapes),
                         [](const testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

TEST_F(FileLoaderTest, OnlyDateAndTimeLineUsesTheFixedColours)
{
    const std::string file = path("dt.dan");
    writeBytes(file, "2024-03-01 12:00:00\n");
    Loaded l(file);
    EXPECT_EQ(l.s(0).Color(), platform::clRed);
    EXPECT_EQ(l.s(7).Color(), platform::clAqua);
    EXPECT_EQ(l.line.channelCount, 1);
}

TEST_F(FileLoaderTest, FirstPointsShownExtremesFromEveryLine)
{
    const std::string file = path("big.dan");
    std::string bytes = dataLines(0, 40000, 2);
    // The extremes lie past the points the chart shows.
    bytes += "2024-03-02 11:00:00 -500 900\n";
    bytes += dataLines(40000, 10, 2);
    writeBytes(file, bytes);
    Loaded l(file);
    EXPECT_EQ(l.s(0).Count(), FileLoader::kShownPoints);
    EXPECT_EQ(l.s(1).Count(), FileLoader::kShownPoints);
    EXPECT_EQ(l.s(0).Label(31999), dataLine(31999, 0, ""));
    EXPECT_EQ(l.line.lineCount, 40011);
    EXPECT_EQ(l.line.maxValue, 900.0f);
    EXPECT_STREQ(l.line.maxTime, "11:00:00");
    EXPECT_EQ(l.line.minValue, -500.0f);
    EXPECT_EQ(l.line.minIndex, 0);
}

TEST_F(FileLoaderTest, LongLineDoesNotEndTheLoad)
{
    const std::string file = path("long.dan");
    // 300 values of 4 characters: the first 999 characters hold the date, the time and
    // 245 values (20 + 245 * 4 = 1000, the last value cut to "9.2", a whole number).
    std::string longLine = "2024-03-01 12:00:00";
    for (int i = 0; i < 300; ++i)
        longLine += " 9.25";
    writeBytes(file, dataLine(0, 1) + longLine + "\n" + dataLine(2, 1) + dataLine(3, 1));
    Loaded l(file);
    EXPECT_EQ(l.s(0).Count(), 4);
    EXPECT_EQ(l.s(0).YValue(1), 9.25f);
    EXPECT_EQ(l.s(0).Label(2), dataLine(2, 0, ""));
    // The long line's later words stay in place for the shorter lines after it.
    EXPECT_EQ(l.s(63).Count(), 3);
    EXPECT_EQ(l.line.lineCount, 4);
}

TEST_F(FileLoaderTest, MissingFileEmptiesTheChart)
{
    const std::string file = path("data.dan");
    writeBytes(file, dataLines(0, 5, 3));
    TChart chart(kSeries);
    Linia1MG line;
    FileLoader loader;
    ASSERT_TRUE(loader.load(file, chart, line));
    std::remove(file.c_str());
    EXPECT_FALSE(loader.load(file, chart, line));
    for (int q = 0; q < kSeries; ++q) {
        EXPECT_EQ(chart.Series(q).Count(), 0);
        EXPECT_FALSE(chart.Series(q).Active());
    }
    EXPECT_FALSE(line.dataFlag);
    // The same name written anew is read from its start.
    writeBytes(file, dataLines(100, 2, 1));
    ASSERT_TRUE(loader.load(file, chart, line));
    EXPECT_FALSE(loader.lastLoadResumed());
    EXPECT_EQ(chart.Series(0).Count(), 2);
}

TEST_F(FileLoaderTest, OlderLoaderColoursAllSeriesAndKeepsZeroColumns)
{
    const std::string file = path("old.dan");
    writeBytes(file, "2024-03-01 12:00:00\n" + dataLines(0, 2, 3));
    Loaded l(file, FileLoader::Kind::Older);
    for (int q = 0; q < kSeries; ++q)
        EXPECT_EQ(l.s(q).Color(), 255 + 8 * q) << q;
    // The line without values adds no point: its column count stays 0.
    EXPECT_EQ(l.s(0).Count(), 2);
    EXPECT_EQ(l.s(2).Count(), 2);
}

// A file changed between two loads of one loader: the second load must chart exactly
// what a fresh load of the changed file charts, resumed or not.
struct ChangeCase {
    const char* name;
    std::string before;
    std::function<void(const std::string& path)> change;
    bool resumes;
};

class FileLoaderReload : public FileLoaderTest, public testing::WithParamInterface<ChangeCase> {};

TEST_P(FileLoaderReload, SameResultAsAFullLoad)
{
    const ChangeCase& c = GetParam();
    const std::string file = path("live.dan");
    writeBytes(file, c.before);
    TChart chart(kSeries);
    Linia1MG line;
    FileLoader loader;
    ASSERT_TRUE(loader.load(file, chart, line));
    c.change(file);
    ASSERT_TRUE(loader.load(file, chart, line));
    EXPECT_EQ(loader.lastLoadResumed(), c.resumes);

    Loaded fresh(file);
    EXPECT_TRUE(line == fresh.line);
    EXPECT_EQ(line.lineCount, fresh.line.lineCount);
    expectSameCharts(chart, fresh.chart);
}

const std::string kHeader = "DataTime a b c d\n";

const ChangeCase kChanges[] = {
    {"LinesAppended", kHeader + dataLines(0, 50, 4),
     [](const std::string& p) { appendBytes(p, dataLines(50, 30, 4)); }, true},
    {"NothingChanged", kHeader + dataLines(0, 50, 4), [](const std::string&) {}, true},
    {"UnfinishedLineCompleted", kHeader + dataLines(0, 50, 4) + "2024-03-01 11:00:00 1.5",
     [](const std::string& p) { appendBytes(p, "0 2 3 4\n" + dataLines(51, 3, 4)); }, true},
    {"CrLfSplitBetweenLoads", kHeader + dataLines(0, 50, 4, "\r\n") + "2024-03-01 11:00:00 7 8\r",
     [](const std::string& p) { appendBytes(p, "\n" + dataLines(51, 3, 4, "\r\n")); }, true},
    {"WiderLinesAppended", kHeader + dataLines(0, 20, 4),
     [](const std::string& p) { appendBytes(p, "\n" + dataLines(20, 5, 9) + "Counter 25"); }, true},
    {"Shrunk", kHeader + dataLines(0, 50, 4),
     [](const std::string& p) { writeBytes(p, kHeader + dataLines(0, 20, 4)); }, false},
    {"ReplacedBySameSize", kHeader + dataLines(0, 50, 4),
     [](const std::string& p) {
         writeBytes(p + ".new", kHeader + dataLines(1000, 50, 4));
         std::rename((p + ".new").c_str(), p.c_str());
     },
     false},
    {"RewrittenInPlaceAndLonger", kHeader + dataLines(0, 50, 4),
     [](const std::string& p) { writeBytes(p, "DataTime x y\n" + dataLines(0, 60, 2)); }, false},
    {"ChangedNearTheEndInPlace", kHeader + dataLines(0, 50, 4),
     [](const std::string& p) {
         std::string bytes = readBytes(p);
         bytes[bytes.size() - 5] = '9';
         writeBytes(p, bytes + dataLines(50, 2, 4));
     },
     false},
    {"ChangedInTheMiddleInPlace", kHeader + dataLines(0, 2000, 4),
     [](const std::string& p) {
         std::string bytes = readBytes(p);
         for (std::size_t i = 4096; i + 4096 < bytes.size(); i += 64)
             if (bytes[i] >= '0' && bytes[i] <= '8')
                 bytes[i] = char(bytes[i] + 1);
         writeBytes(p, bytes);
     },
     false},
};

INSTANTIATE_TEST_SUITE_P(Changes, FileLoaderReload, testing::ValuesIn(kChanges),
                         [](const testing::TestParamInfo<ChangeCase>& info) { return std::string(info.param.name); });

TEST_F(FileLoaderTest, AppendPastTheShownPointsMatchesAFullLoad)
{
    const std::string file = path("grow.dan");
    writeBytes(file, dataLines(0, 31990, 3));
    TChart chart(kSeries);
    Linia1MG line;
    FileLoader loader;
    ASSERT_TRUE(loader.load(file, chart, line));
    for (int round = 0; round < 3; ++round) {
        appendBytes(file, dataLines(31990 + round * 7, 7, 3) + (round == 1 ? "2024-03-01 23:59:59 -1e9 5" : ""));
        ASSERT_TRUE(loader.load(file, chart, line));
        EXPECT_TRUE(loader.lastLoadResumed());
    }
    Loaded fresh(file);
    EXPECT_EQ(chart.Series(0).Count(), FileLoader::kShownPoints);
    EXPECT_TRUE(line == fresh.line);
    expectSameCharts(chart, fresh.chart);
}

TEST_F(FileLoaderTest, AnotherKindOrChartLoadsFromTheStart)
{
    const std::string file = path("k.dan");
    writeBytes(file, dataLines(0, 10, 2));
    TChart chart(kSeries);
    Linia1MG line;
    FileLoader loader;
    ASSERT_TRUE(loader.load(file, chart, line));
    ASSERT_TRUE(loader.load(file, chart, line, FileLoader::Kind::Older));
    EXPECT_FALSE(loader.lastLoadResumed());
    EXPECT_EQ(chart.Series(5).Color(), 255 + 40);
    chart.Series(0).Clear();
    ASSERT_TRUE(loader.load(file, chart, line, FileLoader::Kind::Older));
    EXPECT_FALSE(loader.lastLoadResumed());
    EXPECT_EQ(chart.Series(0).Count(), 10);
    loader.forget();
    ASSERT_TRUE(loader.load(file, chart, line, FileLoader::Kind::Older));
    EXPECT_FALSE(loader.lastLoadResumed());
}

} // namespace
