#include "viewer/FileLoader.h"

#include "platform/chart/Chart.h"
#include "tests/support/FileBytes.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

using platform::TChart;
using platform::TLineSeries;
using testsupport::appendBytes;
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

// A chart window's chart, line and loader, after a first load of a file.
struct Loaded {
    TChart chart{kSeries};
    Linia1MG line;
    FileLoader loader;
    std::string path;
    bool ok = false;
    explicit Loaded(const std::string& file, FileLoader::Kind kind = FileLoader::Kind::Current) : path(file)
    {
        ok = reload(kind);
    }
    bool reload(FileLoader::Kind kind = FileLoader::Kind::Current) { return loader.load(path, chart, line, kind); }
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

// Table rows print as their names in test reports and name their tests.
template <typename Case>
auto operator<<(std::ostream& os, const Case& c) -> decltype(c.name, os)
{
    return os << c.name;
}

template <typename Case>
std::string caseName(const testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

class FileLoaderTest : public ::testing::Test {
protected:
    std::string path(const char* name) const { return (cwd.path() + "/" + name).toStdString(); }
    // Writes a file in the test's folder; returns its path.
    std::string fileWith(const char* name, const std::string& bytes) const
    {
        const std::string file = path(name);
        writeBytes(file, bytes);
        return file;
    }
    testsupport::TempCwd cwd;
};

TEST_F(FileLoaderTest, HeaderFileNamesColoursAndLabels)
{
    const std::string file = fileWith(
        "dane.dan", "DataTime Temp Wilg Cisn\n2024-03-01 12:00:00 21.5 -3.0 19.8\n2024-03-01 12:00:05 22 -2 20\n");
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    const char* titles[] = {"Temp", "Wilg", "Cisn"};
    const vcl::TColor colours[] = {vcl::clRed, vcl::clNavy, vcl::clLime};
    for (int q = 0; q < 3; ++q) {
        EXPECT_TRUE(l.s(q).Active());
        EXPECT_EQ(l.s(q).Title(), titles[q]);
        EXPECT_EQ(l.s(q).Color(), colours[q]);
        EXPECT_EQ(labels(l.s(q)), (std::vector<std::string>{"2024-03-01 12:00:00", "2024-03-01 12:00:05"}));
    }
    EXPECT_EQ(values(l.s(1)), (std::vector<double>{-3.0, -2.0}));
    EXPECT_EQ(l.s(3).Color(), vcl::clGreen);
    for (int q = 3; q < kSeries; ++q) {
        EXPECT_FALSE(l.s(q).Active()) << q;
        EXPECT_EQ(l.s(q).Count(), 0) << q;
    }
    EXPECT_EQ(l.s(0).ValueColor(0), vcl::clDefault);
}

TEST_F(FileLoaderTest, ManyColumnsFromTheFirstLineTakeTheRamp)
{
    const std::string file = fileWith("ramp.dan", dataLines(0, 3, 12));
    TChart chart(kSeries);
    const vcl::TColor untouched = chart.Series(13).Color();
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

template <typename Case>
class FileLoaderTable : public FileLoaderTest, public testing::WithParamInterface<Case> {};

using FileLoaderShapes = FileLoaderTable<ShapeCase>;

TEST_P(FileLoaderShapes, PointsLabelsAndValues)
{
    const ShapeCase& c = GetParam();
    const std::string file = fileWith("shape.dan", c.bytes);
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
    {"EmptyLineRepeatsThePoint",
     "2024-03-01 12:00:00 1\n\n2024-03-01 12:00:01 2\n",
     3,
     {"2024-03-01 12:00:00", "2024-03-01 12:00:00", "2024-03-01 12:00:01"},
     {1, 1, 2}},
    {"TrailerLinePlotsTheLastValuesAgain",
     "2024-03-01 12:00:00 1\nCounter 2\n",
     2,
     {"2024-03-01 12:00:00", "Counter 2"},
     {1, 1}},
    {"OnlyDateAndTimeGiveOnePointOfZero", "2024-03-01 12:00:00\n", 1, {"2024-03-01 12:00:00"}, {0}},
    {"CrLfReadAsLf",
     "DataTime a\r\n2024-03-01 12:00:00 1\r\n2024-03-01 12:00:01 2\r\n",
     2,
     {"2024-03-01 12:00:00", "2024-03-01 12:00:01"},
     {1, 2}},
    {"EmptyFile", "", 0, {}, {}},
    // Only LF and CR LF end a line; a CR of its own is a character, which the line's
    // scan takes as a blank.
    {"CrCrLfEndsOneLine",
     "DataTime a\r\r\n2024-03-01 12:00:00 1\r\r\n2024-03-01 12:00:01 2\r\r\n",
     2,
     {"2024-03-01 12:00:00", "2024-03-01 12:00:01"},
     {1, 2}},
    {"LoneCrSeparatesWords",
     "2024-03-01 12:00:00 1\r7\r\n2024-03-01 12:00:01\r2\r8\n",
     2,
     {"2024-03-01 12:00:00", "2024-03-01 12:00:01"},
     {1, 2}},
    {"LoneCrAtTheEnd", "2024-03-01 12:00:00 1\n2024-03-01 12:00:01 2\r", 2, {}, {1, 2}},
};

INSTANTIATE_TEST_SUITE_P(Files, FileLoaderShapes, testing::ValuesIn(kShapes), caseName<ShapeCase>);

TEST_F(FileLoaderTest, OnlyDateAndTimeLineUsesTheFixedColours)
{
    const std::string file = fileWith("dt.dan", "2024-03-01 12:00:00\n");
    Loaded l(file);
    EXPECT_EQ(l.s(0).Color(), vcl::clRed);
    EXPECT_EQ(l.s(7).Color(), vcl::clAqua);
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
    // Nine values of 100 characters, then a tenth whose exponent "e5" and the values 3
    // and 4 after it lie past the 999th character of the line.
    std::string longLine = "2024-03-01 12:00:00";
    for (int i = 0; i < 9; ++i)
        longLine += " 2." + std::string(97, '0');
    longLine += " 1.";
    longLine.append(999 - longLine.size(), '0');
    longLine += "e5 3 4";
    const std::string file =
        fileWith("long.dan", dataLine(0, 1) + longLine + "\n" + dataLine(2, 1) + dataLine(3, 1, ""));
    Loaded l(file);
    // The lines after the long one are still charted, and its rest is no line of its own.
    EXPECT_EQ(l.s(0).Count(), 4);
    EXPECT_EQ(l.line.lineCount, 4);
    EXPECT_EQ(l.s(0).Label(2), dataLine(2, 0, ""));
    EXPECT_EQ(l.s(8).YValue(0), 2.0f);
    EXPECT_EQ(l.s(9).YValue(0), 1.0f);
    // Its ten words stay in place for the shorter lines after it; "3" and "4" were never read.
    EXPECT_EQ(l.s(9).Count(), 3);
    EXPECT_EQ(l.s(10).Count(), 0);
}

TEST_F(FileLoaderTest, MissingFileEmptiesTheChart)
{
    const std::string file = fileWith("data.dan", dataLines(0, 5, 3));
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    std::remove(file.c_str());
    EXPECT_FALSE(l.reload());
    for (int q = 0; q < kSeries; ++q) {
        EXPECT_EQ(l.chart.Series(q).Count(), 0);
        EXPECT_FALSE(l.chart.Series(q).Active());
    }
    EXPECT_FALSE(l.line.dataFlag);
    // The same name written anew is read from its start.
    writeBytes(file, dataLines(100, 2, 1));
    ASSERT_TRUE(l.reload());
    EXPECT_FALSE(l.loader.lastLoadResumed());
    EXPECT_EQ(l.chart.Series(0).Count(), 2);
}

TEST_F(FileLoaderTest, OlderLoaderColoursAllSeriesAndKeepsZeroColumns)
{
    const std::string file = fileWith("old.dan", "2024-03-01 12:00:00\n" + dataLines(0, 2, 3));
    Loaded l(file, FileLoader::Kind::Older);
    for (int q = 0; q < kSeries; ++q)
        EXPECT_EQ(l.s(q).Color(), 255 + 8 * q) << q;
    // The line without values adds no point: its column count stays 0.
    EXPECT_EQ(l.s(0).Count(), 2);
    EXPECT_EQ(l.s(2).Count(), 2);
}

// A file changed between two loads of one loader: the second load must chart exactly
// what a fresh load of the changed file charts, resumed or not; when the change ends
// in a line without its line break, what a fresh load of the file without that line
// charts. One more load of the file, now unchanged, charts what a fresh load does.
struct ChangeCase {
    const char* name;
    std::string before;
    std::function<void(const std::string& path)> change;
    bool resumes;
    bool lastLineWaits = false;
};

using FileLoaderReload = FileLoaderTable<ChangeCase>;

TEST_P(FileLoaderReload, SameResultAsAFullLoad)
{
    const ChangeCase& c = GetParam();
    const std::string file = fileWith("live.dan", c.before);
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    c.change(file);
    ASSERT_TRUE(l.reload());
    EXPECT_EQ(l.loader.lastLoadResumed(), c.resumes);

    const std::string after = readBytes(file);
    const std::string shown = c.lastLineWaits ? after.substr(0, after.rfind('\n') + 1) : after;
    Loaded fresh(fileWith("fresh.dan", shown));
    EXPECT_TRUE(l.line == fresh.line);
    EXPECT_EQ(l.line.lineCount, fresh.line.lineCount);
    expectSameCharts(l.chart, fresh.chart);

    ASSERT_TRUE(l.reload());
    EXPECT_TRUE(l.loader.lastLoadResumed());
    Loaded whole(file);
    EXPECT_TRUE(l.line == whole.line);
    EXPECT_EQ(l.line.lineCount, whole.line.lineCount);
    expectSameCharts(l.chart, whole.chart);
}

const std::string kHeader = "DataTime a b c d\n";

const ChangeCase kChanges[] = {
    {"LinesAppended", kHeader + dataLines(0, 50, 4), [](const std::string& p) { appendBytes(p, dataLines(50, 30, 4)); },
     true},
    {"NothingChanged", kHeader + dataLines(0, 50, 4), [](const std::string&) {}, true},
    {"UnfinishedLineCompleted", kHeader + dataLines(0, 50, 4) + "2024-03-01 11:00:00 1.5",
     [](const std::string& p) { appendBytes(p, "0 2 3 4\n" + dataLines(51, 3, 4)); }, true},
    {"CrLfSplitBetweenLoads", kHeader + dataLines(0, 50, 4, "\r\n") + "2024-03-01 11:00:00 7 8\r",
     [](const std::string& p) { appendBytes(p, "\n" + dataLines(51, 3, 4, "\r\n")); }, true},
    {"WiderLinesAppended", kHeader + dataLines(0, 20, 4),
     [](const std::string& p) { appendBytes(p, "\n" + dataLines(20, 5, 9) + "Counter 25"); }, true, true},
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

INSTANTIATE_TEST_SUITE_P(Changes, FileLoaderReload, testing::ValuesIn(kChanges), caseName<ChangeCase>);

// One reading rewritten in place with a value of the same length, somewhere in the part
// already read, with and without lines appended after it.
std::string withValueChanged(const std::string& bytes, int lineIndex)
{
    std::string out = bytes;
    std::size_t at = 0;
    for (int i = 0; i < lineIndex; ++i)
        at = out.find('\n', at) + 1;
    const std::size_t value = out.find(' ', out.find(' ', at) + 1) + 1; // the first value
    out[value] = out[value] == '9' ? '1' : '9';
    return out;
}

struct InPlaceCase {
    const char* name;
    int lines;
    int changedLine;
    int appended;
};

using FileLoaderInPlace = FileLoaderTable<InPlaceCase>;

TEST_P(FileLoaderInPlace, ChangedValueIsShown)
{
    const InPlaceCase& c = GetParam();
    const std::string file = fileWith("live.dan", kHeader + dataLines(0, c.lines, 4, "\r\n"));
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    const double before = l.s(0).YValue(c.changedLine - 1);
    writeBytes(file, withValueChanged(readBytes(file), c.changedLine));
    appendBytes(file, dataLines(c.lines, c.appended, 4, "\r\n"));
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(l.reload());
        EXPECT_EQ(l.loader.lastLoadResumed(), round == 1) << "the part read before is checked whole";
        EXPECT_NE(l.s(0).YValue(c.changedLine - 1), before);
        Loaded fresh(file);
        EXPECT_TRUE(l.line == fresh.line);
        expectSameCharts(l.chart, fresh.chart);
        appendBytes(file, dataLines(c.lines + c.appended, 2, 4, "\r\n"));
    }
}

const InPlaceCase kInPlace[] = {
    {"FirstLine", 2000, 1, 0},
    {"EarlyLine", 2000, 100, 0},
    {"MiddleLine", 2000, 1111, 0},
    {"LastLine", 2000, 2000, 0},
    {"EarlyLineThenAppended", 2000, 100, 30},
    {"MiddleLineThenAppended", 20000, 7777, 30},
};

INSTANTIATE_TEST_SUITE_P(Changes, FileLoaderInPlace, testing::ValuesIn(kInPlace), caseName<InPlaceCase>);

// Runs a writer while the loader reloads, as the reload timer does while a program
// writes the file, then one more reload once the writer is done. The writer is given
// the count of reloads so far; returns the count of reloads that ran beside it.
int reloadWhileWriting(Loaded& l, const std::function<void(const std::atomic<int>& reloads)>& write)
{
    std::atomic<bool> done{false};
    std::atomic<int> reloads{0};
    std::thread writer([&] {
        write(reloads);
        done = true;
    });
    while (!done) {
        l.reload();
        ++reloads;
    }
    writer.join();
    EXPECT_TRUE(l.reload());
    return reloads;
}

// A program appends readings while the viewer reloads; its writes end anywhere in a
// line, also between the CR and the LF. When the writer is done, one more reload shows
// exactly what a fresh load shows: no piece of a line read half-written stays a point.
TEST_F(FileLoaderTest, LinesWrittenWhileReloadingEndAsAFullLoad)
{
    const std::string file = fileWith("live.dan", kHeader + dataLines(0, 100, 4, "\r\n"));
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    const int overlapping = reloadWhileWriting(l, [&](const std::atomic<int>& reloads) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        std::mt19937 rng(7);
        std::uniform_int_distribution<std::size_t> piece(1, 9);
        for (int i = 100; fd >= 0 && i < 1600; ++i) {
            // Every 100 lines the writer lets a reload come, so that the reloads fall
            // among the writes even when the machine holds the reader back.
            if (i % 100 == 0) {
                const int seen = reloads;
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                while (reloads == seen && std::chrono::steady_clock::now() < until)
                    std::this_thread::yield();
            }
            const std::string line = dataLine(i, 4, "\r\n");
            for (std::size_t at = 0; at < line.size();) {
                const std::size_t n = std::min(piece(rng), line.size() - at);
                if (::write(fd, line.data() + at, n) != ssize_t(n))
                    break;
                at += n;
            }
        }
        if (fd >= 0)
            ::close(fd);
    });
    EXPECT_GT(overlapping, 2) << "the reloads did not overlap the writes";
    Loaded fresh(file);
    EXPECT_EQ(fresh.s(0).Count(), 1600);
    EXPECT_TRUE(l.line == fresh.line);
    expectSameCharts(l.chart, fresh.chart);
}

// Waits until the file system's clock has moved well past the file's last change, so
// that a load that begins now began after it.
void waitPastLastChange(const std::string& file)
{
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    const auto ns = [](const timespec& t) { return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    timespec now{};
    while (::clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0 && ns(now) < ns(st.st_ctim) + 20'000'000 &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(ns(now), ns(st.st_ctim) + 20'000'000) << "the file's change time lies ahead of the clock";
}

// A reload tick that finds the file as the last load found it reads nothing and keeps
// what is charted; any write since that load began is read, also one in place that keeps
// the size, or a file of the same size put in its place.
struct IdleCase {
    const char* name;
    std::string before;
    std::function<void(const std::string& path)> change; // none: the file stays as it is
    bool read;
};

using FileLoaderIdle = FileLoaderTable<IdleCase>;

TEST_P(FileLoaderIdle, ReadsOnlyAFileWrittenSinceTheLastLoad)
{
    const IdleCase& c = GetParam();
    const std::string file = fileWith("live.dan", c.before);
    waitPastLastChange(file);
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    ASSERT_GT(l.loader.lastLoadBytesRead(), 0);
    if (c.change)
        c.change(file);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(l.reload());
        if (round == 0) {
            EXPECT_EQ(l.loader.lastLoadBytesRead() > 0, c.read) << l.loader.lastLoadBytesRead() << " bytes read";
        }
        EXPECT_TRUE(l.loader.lastLoadResumed() || c.read);
        Loaded fresh(fileWith("fresh.dan", readBytes(file)));
        EXPECT_TRUE(l.line == fresh.line);
        EXPECT_EQ(l.line.lineCount, fresh.line.lineCount);
        expectSameCharts(l.chart, fresh.chart);
    }
}

// Rewrites the file with one reading changed, keeping its size: truncated and written
// anew, or one byte overwritten where it stands.
void rewriteValue(const std::string& path, int lineIndex)
{
    writeBytes(path, withValueChanged(readBytes(path), lineIndex));
}

void overwriteValue(const std::string& path, int lineIndex)
{
    const std::string before = readBytes(path);
    const std::string after = withValueChanged(before, lineIndex);
    const std::size_t at =
        std::size_t(std::mismatch(before.begin(), before.end(), after.begin()).first - before.begin());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, &after[at], 1, off_t(at)), 1);
    ::close(fd);
}

const std::string kUnfinished = "2024-03-01 11:00:00 1.5 2 3";

const IdleCase kIdle[] = {
    {"Unchanged", kHeader + dataLines(0, 300, 4, "\r\n"), nullptr, false},
    {"UnchangedWithoutFinalLineBreak", kHeader + dataLines(0, 300, 4) + kUnfinished, nullptr, false},
    {"RewrittenAtTheSameSize", kHeader + dataLines(0, 300, 4, "\r\n"),
     [](const std::string& p) { rewriteValue(p, 200); }, true},
    {"OneByteOverwrittenInPlace", kHeader + dataLines(0, 300, 4, "\r\n"),
     [](const std::string& p) { overwriteValue(p, 200); }, true},
    {"ReplacedBySameSize", kHeader + dataLines(0, 300, 4),
     [](const std::string& p) {
         writeBytes(p + ".new", kHeader + dataLines(1000, 300, 4));
         ASSERT_EQ(std::rename((p + ".new").c_str(), p.c_str()), 0);
     },
     true},
    {"Appended", kHeader + dataLines(0, 300, 4), [](const std::string& p) { appendBytes(p, dataLines(300, 2, 4)); },
     true},
    {"UnfinishedLineCompleted", kHeader + dataLines(0, 300, 4) + kUnfinished,
     [](const std::string& p) { appendBytes(p, "0 4\n"); }, true},
};

INSTANTIATE_TEST_SUITE_P(Reloads, FileLoaderIdle, testing::ValuesIn(kIdle), caseName<IdleCase>);

// A reading caught half-written is held back by the reload that finds it. When the
// writer stops there, the next reload charts it as it stands, although nothing was
// written since the reload that held it back began.
TEST_F(FileLoaderTest, LineHeldBackIsChartedByTheNextReload)
{
    const std::string file = fileWith("live.dan", kHeader + dataLines(0, 10, 4));
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    appendBytes(file, "2024-03-01 11:00:00 1.5 7");
    waitPastLastChange(file);
    ASSERT_TRUE(l.reload());
    ASSERT_EQ(l.s(0).Count(), 10) << "the half-written line was charted at once";
    ASSERT_TRUE(l.reload());
    ASSERT_EQ(l.s(1).Count(), 11);
    EXPECT_EQ(l.s(1).YValue(10), 7.0);
    Loaded fresh(file);
    EXPECT_TRUE(l.line == fresh.line);
    expectSameCharts(l.chart, fresh.chart);
}

// A program corrects readings in place (the file keeps its size) while the viewer
// reloads: one correction, which the next reload reads, and another a moment later,
// which may fall anywhere in that reload. One more reload after them shows exactly
// what a fresh load shows.
TEST_F(FileLoaderTest, ValuesCorrectedWhileReloadingEndAsAFullLoad)
{
    const std::string file = fileWith("live.dan", kHeader + dataLines(0, 3000, 4, "\r\n"));
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> line(1, 3000);
    std::uniform_int_distribution<int> lag(0, 3000);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const int first = line(rng);
        const int second = line(rng);
        const auto pause = std::chrono::microseconds(lag(rng));
        reloadWhileWriting(l, [&](const std::atomic<int>& reloads) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (reloads == 0 && std::chrono::steady_clock::now() < until)
                std::this_thread::yield();
            overwriteValue(file, first);
            const auto next = std::chrono::steady_clock::now() + pause;
            while (std::chrono::steady_clock::now() < next)
                std::this_thread::yield();
            overwriteValue(file, second);
        });
        Loaded fresh(file);
        ASSERT_TRUE(l.line == fresh.line);
        expectSameCharts(l.chart, fresh.chart);
    }
}

// The change time a reload compares is kept at the file system's own granularity (a
// nanosecond, 10 ms, two seconds, ...), which it may share with the start of a load. A
// change in the same grain as the start can be followed by a write with the same stamp.
TEST(FileLoaderChangeTime, OnlyAChangeAWholeGrainBeforeTheLoadStands)
{
    const struct {
        const char* name;
        timespec changed;
        timespec start;
        bool stands;
    } cases[] = {
        {"same instant", {100, 123456789}, {100, 123456789}, false},
        {"a nanosecond before", {100, 123456789}, {100, 123456790}, true},
        {"after the start", {100, 123456790}, {100, 123456789}, false},
        {"10 ms stamp, same 10 ms", {100, 120000000}, {100, 129999999}, false},
        {"10 ms stamp, next 10 ms", {100, 120000000}, {100, 130000000}, true},
        {"whole seconds, same two", {100, 0}, {101, 999999999}, false},
        {"whole seconds, two later", {100, 0}, {102, 0}, true},
        {"across a second", {99, 999999999}, {100, 0}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileLoader::changedBeforeLoad(c.changed, c.start), c.stands) << c.name;
}

TEST_F(FileLoaderTest, AppendPastTheShownPointsMatchesAFullLoad)
{
    const std::string file = fileWith("grow.dan", dataLines(0, 31990, 3));
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    for (int round = 0; round < 3; ++round) {
        appendBytes(file, dataLines(31990 + round * 7, 7, 3) + (round == 1 ? "2024-03-01 23:59:59 -1e9 5" : ""));
        ASSERT_TRUE(l.reload());
        EXPECT_TRUE(l.loader.lastLoadResumed());
    }
    Loaded fresh(file);
    EXPECT_EQ(l.chart.Series(0).Count(), FileLoader::kShownPoints);
    EXPECT_TRUE(l.line == fresh.line);
    expectSameCharts(l.chart, fresh.chart);
}

TEST_F(FileLoaderTest, AnotherKindOrChartLoadsFromTheStart)
{
    const std::string file = fileWith("k.dan", dataLines(0, 10, 2));
    Loaded l(file);
    ASSERT_TRUE(l.ok);
    ASSERT_TRUE(l.reload(FileLoader::Kind::Older));
    EXPECT_FALSE(l.loader.lastLoadResumed());
    EXPECT_EQ(l.chart.Series(5).Color(), 255 + 40);
    l.chart.Series(0).Clear();
    ASSERT_TRUE(l.reload(FileLoader::Kind::Older));
    EXPECT_FALSE(l.loader.lastLoadResumed());
    EXPECT_EQ(l.chart.Series(0).Count(), 10);
    l.loader.forget();
    ASSERT_TRUE(l.reload(FileLoader::Kind::Older));
    EXPECT_FALSE(l.loader.lastLoadResumed());
}

} // namespace
