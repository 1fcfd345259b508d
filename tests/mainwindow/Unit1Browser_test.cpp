// The main window's data-file browser: files opened whole and page by page (the text
// list, the grid and every series afterwards), pages beyond 4 GB, lines that do not
// parse, files that are no data files at all, the remembered folder, the masks, the
// clear command, and saving and opening text files through the file dialogs.

#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtPrint.h"
#include "tests/support/QtTestApp.h"

#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <utility>

using testsupport::TempCwd;
using vcl::Cell;
using vcl::Lines;

namespace {

const QString readError = QStringLiteral("Błąd czytania pomiarów..");

using Points = std::vector<std::pair<std::string, double>>;

// Lines as the text list splits a file: CR LF, LF and a lone CR each end one.
QStringList textListLines(const std::string& bytes)
{
    QStringList lines;
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        lines << platform::cp1250ToUnicode(line);
        line.clear();
    }
    if (!line.empty())
        lines << platform::cp1250ToUnicode(line);
    return lines;
}

std::string crlf(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& l : lines)
        s += l + "\r\n";
    return s;
}

// A device file: header, column line, data lines of one length (53 bytes with CR LF)
// whose first channel holds the line's index and whose third its last three digits.
const std::string deviceHead =
    crlf({"VeskSystem measurement file", "Channels 3", "***End_of_Header***", "yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3"});
constexpr std::int64_t deviceDataStart = 96;
constexpr std::int64_t deviceLineLen = 53;
constexpr std::int64_t deviceHeaderEnd = 59;

std::string deviceLabel(long long i)
{
    const long long t = i % 86400;
    char b[32];
    std::snprintf(b, sizeof b, "2024-03-01 %02lld:%02lld:%02lld", t / 3600, t / 60 % 60, t % 60);
    return b;
}

std::string deviceLine(long long i)
{
    char b[64];
    std::snprintf(b, sizeof b, " %09lld %09lld.5 %09lld", i, i, i % 1000);
    return deviceLabel(i) + b;
}

std::string deviceFile(int lines, bool trailer)
{
    std::string s = deviceHead;
    for (int i = 0; i < lines; ++i)
        s += deviceLine(i) + "\r\n";
    if (trailer)
        s += "Counter " + std::to_string(lines) + "\r\n";
    return s;
}

class Browser : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::CreateProgramForms();
        // The full view enables the tool bar (it stays hidden; its buttons still click).
        Form1->BitBtn3->Click();
    }
    void TearDown() override { testsupport::DestroyProgramForms(); }

    QString write(const QString& name, const std::string& bytes)
    {
        return cwd.file(name, QByteArray(bytes.data(), qsizetype(bytes.size())));
    }
    // Selects the file in the list and opens it as a double click does.
    void open(const QString& name, int family)
    {
        Form1->deviceFamily = family;
        Form1->FileListBox1->Update();
        Form1->FileListBox1->SetFileName(name);
        ASSERT_EQ(QFileInfo(Form1->FileListBox1->FileName()).fileName(), name);
        Form1->FileListBox1DblClick(Form1->FileListBox1);
    }
    static QStringList memo() { return Lines(Form1->Memo1).ToList(); }
    static QStringList gridRow(int row)
    {
        QStringList cells;
        for (int col = 0; col < Form1->StringGrid1->columnCount(); ++col)
            cells << Cell(Form1->StringGrid1, col, row);
        return cells;
    }
    static Points points(int series)
    {
        const auto& s = Form1->Chart1->Series(series);
        Points p;
        for (int i = 0; i < s.Count(); ++i)
            p.emplace_back(s.Label(i), s.YValue(i));
        return p;
    }
    static int activeSeries()
    {
        int n = 0;
        for (int i = 0; i < Form1->Chart1->SeriesCount(); ++i)
            n += Form1->Chart1->Series(i).Active() ? 1 : 0;
        return n;
    }
    static void setPageSize(int lines) { Form1->UpDown1->SetPosition(lines); }

    TempCwd cwd;
    platform::MessageScript boxes;
};

// ---- Whole loads.

struct WholeCase {
    const char* name;
    std::string bytes;
    QStringList names;
    QStringList values;
    std::vector<std::string> titles; // of the channel series
    std::vector<Points> series;      // points of the channel series, in order
    QString panel2;
};

std::vector<WholeCase> wholeCases()
{
    const std::string d5 = "2024-03-05";
    return {
        {"device file: from its column line, the header's channel count",
         testsupport::readBytes(std::string(TEST_FIXTURES_DIR) + "/vesk_example.dan"),
         // The trailer names one channel with its count; the header's count keeps three.
         {"5", "k2", "k3"},
         {"21.4", "22.1", "20.0"},
         {"k1", "k2", "k3"},
         {{{"2024-03-01 12:00:00", 21.5},
           {"2024-03-01 12:00:10", 21.6},
           {"2024-03-01 12:00:20", 21.7},
           {"2024-03-01 12:00:30", 21.5},
           {"2024-03-01 12:00:40", 21.4}},
          {{"2024-03-01 12:00:00", 22.0},
           {"2024-03-01 12:00:10", 22.1},
           {"2024-03-01 12:00:20", 22.0},
           {"2024-03-01 12:00:30", 22.2},
           {"2024-03-01 12:00:40", 22.1}},
          {{"2024-03-01 12:00:00", 19.8},
           {"2024-03-01 12:00:10", 19.7},
           {"2024-03-01 12:00:20", 19.9},
           {"2024-03-01 12:00:30", 19.8},
           {"2024-03-01 12:00:40", 20.0}}},
         {}},
        {"cyclic file with its header line",
         crlf({"DataTime  k1 k2 k3 k4", d5 + "  14:07:11  21.4 22.0 -.- 3.61", d5 + "  14:07:21  21.5 22.1 22.3 3.60"}),
         {"k1", "k2", "k3", "k4"},
         {"21.5", "22.1", "22.3", "3.60"},
         {"k1", "k2", "k3", "k4"},
         {{{d5 + " 14:07:11", 21.4}, {d5 + " 14:07:21", 21.5}},
          {{d5 + " 14:07:11", 22.0}, {d5 + " 14:07:21", 22.1}},
          {{d5 + " 14:07:11", 0.0}, {d5 + " 14:07:21", 22.3}},
          {{d5 + " 14:07:11", 3.61}, {d5 + " 14:07:21", 3.60}}},
         {}},
        {"Start:, NewDay: and Zero: lines",
         crlf({"Start: 2024-03-05 10:00:00 NewDay:", "DataTime  A B", d5 + " 10:00:00 1 2", "Zero: " + d5 + " 10:00:05",
               "k1 0.5", " k2 0.25", d5 + " 10:00:10 3 4", "NewDay: 2024-03-06", "2024-03-06 00:00:00 5 6", "x",
               "2024-03-06 00:00:10 7 8"}),
         {"k1", "k2"},
         {"7", "8"},
         {"k1", "k2"},
         {{{d5 + " 10:00:00", 1}, {d5 + " 10:00:10", 3}, {"2024-03-06 00:00:00", 5}, {"2024-03-06 00:00:10", 7}},
          {{d5 + " 10:00:00", 2}, {d5 + " 10:00:10", 4}, {"2024-03-06 00:00:00", 6}, {"2024-03-06 00:00:10", 8}}},
         {}},
        {"lines that do not convert are passed over and reported",
         crlf({d5 + " 10:00:00 1 2", d5 + " 10:00:10 1 -- 2", d5 + " 10:00:20 3 4", d5 + " 10:00:30 12.3.4 5",
               d5 + " 10:00:40 5 6"}),
         {"k1", "k2"},
         {"5", "6"},
         {"k1", "k2"},
         {{{d5 + " 10:00:00", 1}, {d5 + " 10:00:20", 3}, {d5 + " 10:00:40", 5}},
          {{d5 + " 10:00:00", 2}, {d5 + " 10:00:20", 4}, {d5 + " 10:00:40", 6}}},
         readError},
        {"a status channel's series is active again at the end",
         crlf({d5 + " 10:00:00 21.4 T 18.5 3.6", d5 + " 10:00:10 21.5 T 18.7 3.5"}),
         {"k1", "T", "k3"},
         {"21.5", "18.7", "3.5"},
         {"k1", "T", "k3"},
         {{{d5 + " 10:00:00", 21.4}, {d5 + " 10:00:10", 21.5}},
          {{d5 + " 10:00:00", 18.5}, {d5 + " 10:00:10", 18.7}},
          {{d5 + " 10:00:00", 3.6}, {d5 + " 10:00:10", 3.5}}},
         {}},
    };
}

TEST_F(Browser, WholeLoadsFillTextListGridAndSeries)
{
    for (const WholeCase& c : wholeCases()) {
        SCOPED_TRACE(c.name);
        // Leftovers of an earlier load that the new one must clear.
        for (int i = 0; i < 35; ++i)
            Form1->Chart1->Series(i).Add(99, "old");
        Form1->StatusBar1->Panels(2)->SetText(QString());
        boxes.clear();
        write(QStringLiteral("data.dan"), c.bytes);
        open(QStringLiteral("data.dan"), 0);

        EXPECT_TRUE(boxes.records().empty());
        EXPECT_EQ(memo(), textListLines(c.bytes));
        EXPECT_EQ(gridRow(0), c.names);
        EXPECT_EQ(gridRow(1), c.values);
        EXPECT_EQ(activeSeries(), int(c.series.size()));
        double low = 1e9, high = -1e9;
        for (std::size_t i = 0; i < c.series.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(Form1->Chart1->Series(int(i)).Active());
            EXPECT_EQ(Form1->Chart1->Series(int(i)).Title(), c.titles[i]);
            const Points got = points(int(i));
            ASSERT_EQ(got.size(), c.series[i].size());
            for (std::size_t k = 0; k < got.size(); ++k) {
                EXPECT_EQ(got[k].first, c.series[i][k].first);
                EXPECT_FLOAT_EQ(float(got[k].second), float(c.series[i][k].second));
                low = std::min(low, got[k].second);
                high = std::max(high, got[k].second);
            }
        }
        EXPECT_EQ(Form1->Chart1->Series(int(c.series.size())).Count(), 0);
        EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), c.panel2);
        // Fitted to the points with 2 % to spare.
        const double margin = (high - low) * 0.02;
        EXPECT_NEAR(Form1->Chart1->LeftAxis().Minimum(), low - margin, 1e-6);
        EXPECT_NEAR(Form1->Chart1->LeftAxis().Maximum(), high + margin, 1e-6);

        EXPECT_FALSE(Form1->Panel8->Visible());
        EXPECT_EQ(Form1->StatusBar1->Panels(0)->Text(), QStringLiteral("Odczyt z pliku data.dan"));
        EXPECT_EQ(Form1->SaveDialog1->FileName(), QStringLiteral("data.dan"));
        EXPECT_TRUE(Form1->ToolButton15->Enabled());
        EXPECT_TRUE(Form1->SaveToTable->isEnabled());
        EXPECT_TRUE(Form1->SaveToFile->isEnabled());
    }
}

TEST_F(Browser, EveryFileIsLoadedWholeForTheFirstTwoFamilies)
{
    write(QStringLiteral("big.dan"), deviceFile(3000, true));
    setPageSize(1000);
    for (const int family : {0, 1}) {
        open(QStringLiteral("big.dan"), family);
        EXPECT_FALSE(Form1->Panel8->Visible());
        EXPECT_EQ(Lines(Form1->Memo1).Count(), 3000 + 5);
        EXPECT_EQ(Form1->Chart1->Series(0).Count(), 3000);
    }
}

// ---- Paged view.

TEST_F(Browser, PagesOfADeviceFileStartAtTheirFirstLine)
{
    constexpr int records = 2500;
    write(QStringLiteral("dev.dan"), deviceFile(records, true));
    setPageSize(1000);
    vcl::SetCell(Form1->StringGrid1, 0, 1, QStringLiteral("kept"));
    open(QStringLiteral("dev.dan"), 2);

    EXPECT_TRUE(Form1->Panel8->Visible());
    EXPECT_EQ(Form1->TrackBar1->Max(), 2);
    EXPECT_EQ(Form1->TrackBar1->Position(), 0);
    EXPECT_EQ(Form1->dataFile.pageLines, 1001);
    EXPECT_EQ(memo(), textListLines(Form1->dataFile.propertiesText));
    EXPECT_EQ(Form1->StatusBar1->Panels(0)->Text(), QStringLiteral("Odczyt z pliku dev.dan"));

    // Page p > 0 is read 59 + p x 53,000 bytes in, inside data line p x 1000 - 1: that
    // piece is dropped and data line p x 1000 is the first shown.
    const struct {
        int page;
        long long first, last; // data lines shown
        QStringList names;
        int active;
        std::int64_t pageEnd;
    } pages[] = {
        // Page 0 begins with the column line, which names the channels.
        {0, 0, 999, {"k1", "k2", "k3"}, 3, deviceDataStart + 1000 * deviceLineLen},
        {1, 1000, 2000, {"k1", "k2", "k3"}, 3, deviceDataStart + 2001 * deviceLineLen},
        // The last page ends with the trailer, a header line of one name.
        {2, 2000, records - 1, {"2500"}, 1, -1},
        {0, 0, 999, {"k1", "k2", "k3"}, 3, deviceDataStart + 1000 * deviceLineLen},
    };
    for (const auto& p : pages) {
        SCOPED_TRACE(p.page);
        if (p.page != Form1->TrackBar1->Position())
            Form1->TrackBar1->SetPosition(p.page);
        EXPECT_EQ(Form1->Edit3->Text(), QString::number(p.page * 1000));
        EXPECT_EQ(Form1->dataFile.pageStart, deviceHeaderEnd + p.page * 1000 * deviceLineLen);
        EXPECT_EQ(Form1->dataFile.pageEnd, p.pageEnd);
        const Points got = points(0);
        ASSERT_EQ(got.size(), std::size_t(p.last - p.first + 1));
        EXPECT_EQ(got.front(), (std::pair(deviceLabel(p.first), double(p.first))));
        EXPECT_EQ(got.back(), (std::pair(deviceLabel(p.last), double(p.last))));
        EXPECT_EQ(points(2).back().second, double(p.last % 1000));
        EXPECT_EQ(gridRow(0), p.names);
        EXPECT_EQ(activeSeries(), p.active);
    }
    // A page writes no values into the grid.
    EXPECT_EQ(Cell(Form1->StringGrid1, 0, 1), QStringLiteral("kept"));
    EXPECT_TRUE(boxes.records().empty());

    // A click on another file (for the exports) leaves the pages on the opened file.
    write(QStringLiteral("other.dan"), crlf({"2024-03-05 10:00:00 1 2"}));
    Form1->FileListBox1->Update();
    Form1->FileListBox1->SetFileName(QStringLiteral("other.dan"));
    Form1->FileListBox1Click(Form1->FileListBox1);
    EXPECT_EQ(QFileInfo(QString::fromStdString(Form1->dataFile.fileName)).fileName(), QStringLiteral("other.dan"));

    // A new page size moves the next page's offset; lines a page and the range stay
    // those of the open.
    setPageSize(2000);
    Form1->TrackBar1->SetPosition(1);
    EXPECT_EQ(Form1->Edit3->Text(), QStringLiteral("2000"));
    EXPECT_EQ(Form1->dataFile.pageStart, deviceHeaderEnd + 2000 * deviceLineLen);
    EXPECT_EQ(Form1->dataFile.pageLines, 1001);
    EXPECT_EQ(Form1->TrackBar1->Max(), 2);
    EXPECT_EQ(points(0).front().second, 2000.0);
    EXPECT_EQ(points(0).size(), 500u);
}

TEST_F(Browser, PagesBeyondFourGigabytesAreReadWhereTheyLie)
{
    // A sparse 5 GB device file: the header and the first two data lines, then only
    // the lines of one page 5.3 GB in.
    constexpr long long pageSize = 1000, page = 100000;
    const QString path =
        write(QStringLiteral("huge.dan"), deviceHead + deviceLine(0) + "\r\n" + deviceLine(1) + "\r\n");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(5LL << 30));
    const long long firstShown = page * pageSize;
    ASSERT_TRUE(file.seek(deviceDataStart + (firstShown - 1) * deviceLineLen));
    std::string lines;
    for (long long i = firstShown - 1; i <= firstShown + pageSize; ++i)
        lines += deviceLine(i) + "\r\n";
    ASSERT_EQ(file.write(lines.data(), qint64(lines.size())), qint64(lines.size()));
    file.close();

    setPageSize(int(pageSize));
    open(QStringLiteral("huge.dan"), 2);
    const long long records = ((5LL << 30) - deviceDataStart) / deviceLineLen;
    EXPECT_EQ(Form1->TrackBar1->Max(), records / pageSize);

    Form1->TrackBar1->SetPosition(int(page));
    EXPECT_EQ(Form1->Edit3->Text(), QStringLiteral("100000000"));
    EXPECT_EQ(Form1->dataFile.pageStart, deviceHeaderEnd + page * pageSize * deviceLineLen);
    const Points got = points(0);
    ASSERT_EQ(got.size(), std::size_t(pageSize + 1));
    EXPECT_EQ(got.front().first, deviceLabel(firstShown));
    EXPECT_EQ(got.front().second, double(float(firstShown)));
    EXPECT_EQ(points(2).front().second, double(firstShown % 1000));
    EXPECT_EQ(points(2).back().second, double((firstShown + pageSize) % 1000));
}

TEST_F(Browser, PlainFilePagesTakeLinesOfAnyLengthAndPassOverBadOnes)
{
    // Without a header the paged view drops the file's first line and shows the
    // next page size + 1 lines.
    std::string longLine = "2024-03-05 10:00:01";
    for (int i = 0; i < 1500; ++i)
        longLine += " " + std::to_string(i % 10) + ".5";
    const std::string text = crlf({"Start: 2024-03-05", "2024-03-05 10:00:00 1 2", longLine,
                                   "2024-03-05 10:00:02 3 -- 4", "2024-03-05 10:00:03 5 6", "2024-03-05 10:00:04 7 8"});
    write(QStringLiteral("plain.txt"), text);
    setPageSize(5);
    open(QStringLiteral("plain.txt"), 2);

    EXPECT_TRUE(Form1->Panel8->Visible());
    EXPECT_EQ(Form1->TrackBar1->Max(), 0);
    EXPECT_EQ(Form1->dataFile.pageEnd, -1);
    // The long line reached the chart with all 35 channels; the bad line is passed over.
    const Points first = points(0);
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0], (std::pair(std::string("2024-03-05 10:00:00"), 1.0)));
    EXPECT_EQ(first[1], (std::pair(std::string("2024-03-05 10:00:01"), 0.5)));
    EXPECT_EQ(first[2], (std::pair(std::string("2024-03-05 10:00:03"), 5.0)));
    EXPECT_EQ(first[3], (std::pair(std::string("2024-03-05 10:00:04"), 7.0)));
    EXPECT_EQ(Form1->Chart1->Series(34).Count(), 1);
    EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), readError);
    EXPECT_EQ(activeSeries(), 2);
    EXPECT_TRUE(boxes.records().empty());
    // The load finished: fitted to the points shown.
    EXPECT_NEAR(Form1->Chart1->LeftAxis().Minimum(), 0.5 - 7.5 * 0.02, 1e-6);
    EXPECT_NEAR(Form1->Chart1->LeftAxis().Maximum(), 8.0 + 7.5 * 0.02, 1e-6);
}

// ---- Files that are no data files.

TEST_F(Browser, RandomBytesOneLongLineAndEmptyFilesOpenQuickly)
{
    std::mt19937 random(1250);
    std::string noise(1 << 20, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    std::string oneLine(10 << 20, '7');
    for (std::size_t i = 5; i < oneLine.size(); i += 9)
        oneLine[i] = ' ';
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {{"noise.dan", noise}, {"line.dan", oneLine}, {"empty.dan", ""}};
    for (const auto& f : files) {
        write(QString::fromLatin1(f.name), f.bytes);
        for (const int family : {0, 2}) {
            SCOPED_TRACE(testing::Message() << f.name << " family " << family);
            Form1->StatusBar1->Panels(0)->SetText(QString());
            QElapsedTimer clock;
            clock.start();
            open(QString::fromLatin1(f.name), family);
            EXPECT_LT(clock.elapsed(), 5000);
            EXPECT_EQ(Form1->StatusBar1->Panels(0)->Text(), QStringLiteral("Odczyt z pliku ") + f.name);
            if (!Form1->Panel8->Visible()) {
                EXPECT_EQ(memo(), textListLines(f.bytes));
            }
        }
    }
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(Browser, AFileThatCannotBeReadIsReportedAndLoadsNothing)
{
    const QString path = write(QStringLiteral("gone.dan"), crlf({"2024-03-05 10:00:00 1 2"}));
    open(QStringLiteral("gone.dan"), 0);
    ASSERT_EQ(Form1->Chart1->Series(0).Count(), 1);
    Form1->StatusBar1->Panels(0)->SetText(QStringLiteral("before"));
    QFile::remove(path);

    // Opened by the user's double click, as in the program.
    Form1->Show();
    QListWidget* list = Form1->FileListBox1;
    const QRect item = list->visualItemRect(list->currentItem());
    testsupport::MouseDoubleClick(list->viewport(), item.center());

    ASSERT_EQ(boxes.records().size(), 2u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Fie no exist: ") + path);
    EXPECT_EQ(boxes.records()[1].title, QStringLiteral("Error"));
    EXPECT_TRUE(boxes.records()[1].text.contains(path));
    EXPECT_EQ(Form1->StatusBar1->Panels(0)->Text(), QStringLiteral("before"));
    EXPECT_EQ(Form1->Chart1->Series(0).Count(), 1);

    // A file too large for the memory the machine has free is refused the same way.
    boxes.clear();
    write(QStringLiteral("large.dan"), crlf({"2024-03-05 10:00:00 1 2", "2024-03-05 10:00:10 3 4"}));
    const auto freeMemory = TForm1::freeMemory;
    TForm1::freeMemory = [] { return qint64(100); };
    Form1->FileListBox1->Update();
    Form1->FileListBox1->SetFileName(QStringLiteral("large.dan"));
    testsupport::MouseDoubleClick(list->viewport(), list->visualItemRect(list->currentItem()).center());
    TForm1::freeMemory = freeMemory;
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_TRUE(boxes.records()[0].text.startsWith(
        QStringLiteral("Plik \"%1\" jest za duży, aby wczytać go w całości").arg(cwd.path() + "/large.dan")));
    EXPECT_EQ(Form1->Chart1->Series(0).Count(), 1);

    // A page whose file has gone leaves the view as it was.
    boxes.clear();
    Form1->pagedFile = platform::unicodeToCp1250(path);
    Form1->TrackBar1Change(Form1->TrackBar1);
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Fie no exist: ") + path);
    EXPECT_EQ(Form1->Chart1->Series(0).Count(), 1);
}

// ---- Large files.

TEST_F(Browser, ALoadThatTakesAWhileShowsItAndLetsNoCommandIn)
{
    write(QStringLiteral("big.dan"), deviceFile(3000, true));
    write(QStringLiteral("other.dan"), crlf({"2024-03-05 10:00:00 1 2"}));
    Form1->Show();
    const int savedAfter = TForm1::loadBusyAfterMs;
    const auto restore = qScopeGuard([&] { TForm1::loadBusyAfterMs = savedAfter; });
    const struct {
        const char* name;
        int busyAfterMs;
        bool shown; // busy cursor and status text, the window let paint meanwhile
    } cases[] = {
        {"a load that takes longer than the limit", 0, true},
        {"a quick load", 60000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TForm1::loadBusyAfterMs = c.busyAfterMs;
        boxes.clear();
        if (!c.shown) {
            boxes.answer(platform::IDOK);     // clear the measurements
            boxes.answer(platform::IDCANCEL); // do not close the program
        }
        Form1->StatusBar1->Panels(0)->SetText(QString());
        // What comes in while the file loads: a double click on another file, the
        // clear command and the window's close box.
        struct {
            bool duringLoad = false;
            Qt::CursorShape cursor = Qt::ArrowCursor;
            QString panel0;
        } seen;
        QTimer::singleShot(0, Form1, [&] {
            seen.duringLoad = Form1->Chart1->Series(0).Count() < 3000;
            if (const QCursor* cursor = QGuiApplication::overrideCursor())
                seen.cursor = cursor->shape();
            seen.panel0 = Form1->StatusBar1->Panels(0)->Text();
            QListWidget* list = Form1->FileListBox1;
            const auto other = list->findItems(QStringLiteral("other.dan"), Qt::MatchExactly);
            testsupport::MouseDoubleClick(list->viewport(), list->visualItemRect(other.at(0)).center());
            Form1->ToolButton7->click();
            QCloseEvent close;
            QApplication::sendEvent(Form1, &close);
        });
        open(QStringLiteral("big.dan"), 0);
        vcl::Application->processEvents();

        EXPECT_EQ(seen.duringLoad, c.shown);
        EXPECT_EQ(seen.cursor, c.shown ? Qt::WaitCursor : Qt::ArrowCursor);
        EXPECT_EQ(seen.panel0,
                  c.shown ? QStringLiteral("Wczytywanie pliku big.dan..") : QStringLiteral("Odczyt z pliku big.dan"));
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the cursor is back";
        if (!c.shown) {
            // After a load the same commands run as usual: the other file is opened and
            // cleared, and closing the window is asked about.
            ASSERT_EQ(boxes.records().size(), 2u);
            EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Czy nowe pomiary? "));
            EXPECT_TRUE(boxes.records()[1].text.startsWith(QStringLiteral("Zamykanie programu.")));
            EXPECT_EQ(QFileInfo(QString::fromStdString(Form1->dataFile.fileName)).fileName(),
                      QStringLiteral("other.dan"));
            EXPECT_EQ(Lines(Form1->Memo1).Count(), 0);
            continue;
        }
        // Refused while the load ran: the big file is shown whole and the window is open.
        EXPECT_TRUE(boxes.records().empty());
        EXPECT_TRUE(Form1->isVisible());
        EXPECT_EQ(Form1->StatusBar1->Panels(0)->Text(), QStringLiteral("Odczyt z pliku big.dan"));
        EXPECT_EQ(QFileInfo(QString::fromStdString(Form1->dataFile.fileName)).fileName(), QStringLiteral("big.dan"));
        EXPECT_EQ(memo(), textListLines(deviceFile(3000, true)));
        EXPECT_EQ(Form1->Chart1->Series(0).Count(), 3000);
        EXPECT_EQ(points(0).back(), (std::pair(deviceLabel(2999), 2999.0)));
    }
}

// Each of the browser's commands, sent while a file loads (the window lets events
// through to paint), is refused: no box, no dialog, and the loaded file shown whole.
TEST_F(Browser, EveryBrowserCommandWaitsForTheLoad)
{
    write(QStringLiteral("big.dan"), deviceFile(3000, true));
    write(QStringLiteral("other.dan"), crlf({"2024-03-05 10:00:00 1 2"}));
    Form1->Show();
    const int savedAfter = std::exchange(TForm1::loadBusyAfterMs, 0);
    const auto restore = qScopeGuard([&] { TForm1::loadBusyAfterMs = savedAfter; });
    const auto otherFile = [] {
        QListWidget* list = Form1->FileListBox1;
        const auto other = list->findItems(QStringLiteral("other.dan"), Qt::MatchExactly);
        return std::pair(list->viewport(), list->visualItemRect(other.at(0)).center());
    };
    const struct {
        const char* name;
        std::function<void()> send;
    } cases[] = {
        {"a click on another file", [&] { testsupport::MouseClick(otherFile().first, otherFile().second); }},
        {"a double click on another file",
         [&] { testsupport::MouseDoubleClick(otherFile().first, otherFile().second); }},
        {"the page slider moved", [] { Form1->TrackBar1->SetPosition(Form1->TrackBar1->Position() + 1); }},
        {"the open button", [] { Form1->ToolButton3->click(); }},
        {"the save button", [] { Form1->ToolButton5->click(); }},
        {"the clear button", [] { Form1->ToolButton7->click(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        vcl::DialogScript dialogs;
        const QString pageOffset = Form1->Edit3->Text();
        const bool exportsOn = Form1->MSExel1->isEnabled();
        bool sentDuringLoad = false;
        QTimer::singleShot(0, Form1, [&] {
            sentDuringLoad = Form1->StatusBar1->Panels(0)->Text() == QStringLiteral("Wczytywanie pliku big.dan..");
            c.send();
        });
        open(QStringLiteral("big.dan"), 0);
        vcl::Application->processEvents();

        ASSERT_TRUE(sentDuringLoad);
        EXPECT_TRUE(boxes.records().empty());
        EXPECT_TRUE(dialogs.records().empty());
        EXPECT_EQ(QFileInfo(QString::fromStdString(Form1->dataFile.fileName)).fileName(), QStringLiteral("big.dan"));
        EXPECT_EQ(Form1->MSExel1->isEnabled(), exportsOn);
        EXPECT_EQ(Form1->Edit3->Text(), pageOffset);
        EXPECT_EQ(memo(), textListLines(deviceFile(3000, true)));
        EXPECT_EQ(Form1->Chart1->Series(0).Count(), 3000);
    }
}

TEST_F(Browser, WhileReadingsMayComeInALoadOnlyPaintsItsStatus)
{
    // A reading let in during the load would land among the file's points: with the
    // periodic reading on, nothing runs until the load is over, yet the status bar
    // shows the load.
    write(QStringLiteral("big.dan"), deviceFile(3000, true));
    Form1->Show();
    vcl::Application->processEvents(); // on the screen
    Form1->Timer1->SetInterval(3600 * 1000);
    Form1->Timer1->SetEnabled(true);
    const int savedAfter = std::exchange(TForm1::loadBusyAfterMs, 0);
    const auto restore = qScopeGuard([&] {
        TForm1::loadBusyAfterMs = savedAfter;
        Form1->Timer1->SetEnabled(false);
    });
    struct PaintedTexts : QObject {
        QStringList texts;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                texts << Form1->StatusBar1->Panels(0)->Text();
            return false;
        }
    } painted;
    Form1->StatusBar1->installEventFilter(&painted);
    int countWhenLetIn = -1;
    QTimer::singleShot(0, Form1, [&] { countWhenLetIn = Form1->Chart1->Series(0).Count(); });
    open(QStringLiteral("big.dan"), 0);
    vcl::Application->processEvents();
    Form1->StatusBar1->removeEventFilter(&painted);

    EXPECT_EQ(countWhenLetIn, 3000) << "nothing ran before the load was over";
    EXPECT_TRUE(painted.texts.contains(QStringLiteral("Wczytywanie pliku big.dan..")))
        << painted.texts.join('|').toStdString();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Browser, ALongLoadDrawsTheChartOnceItIsComplete)
{
    // The window is let paint during the load, but the chart is drawn only with all of
    // the file's points: a chart drawn on the way would be thrown away at once.
    write(QStringLiteral("big.dan"), deviceFile(3000, true));
    Form1->Show();
    vcl::Application->processEvents();
    // Busy at once, and the window let paint at every step of the load.
    const int savedAfter = std::exchange(TForm1::loadBusyAfterMs, 0);
    const int savedEvery = std::exchange(TForm1::loadPaintEveryMs, 0);
    const auto restore = qScopeGuard([&] {
        TForm1::loadBusyAfterMs = savedAfter;
        TForm1::loadPaintEveryMs = savedEvery;
    });
    QList<int> drawnWith; // points of the first series at each drawing of the chart
    const auto connection = QObject::connect(Form1->Chart1, &QCustomPlot::afterReplot,
                                             [&] { drawnWith << Form1->Chart1->Series(0).Count(); });
    open(QStringLiteral("big.dan"), 0);
    vcl::Application->processEvents();
    QObject::disconnect(connection);

    ASSERT_FALSE(drawnWith.isEmpty());
    EXPECT_EQ(drawnWith, QList<int>(drawnWith.size(), 3000));
    EXPECT_EQ(drawnWith.size(), 1) << "drawn once";
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The refusal names the paged view only for a device file, whose fixed-length lines the
// view pages through; a file without a header block would show there as one page.
TEST_F(Browser, AFileThatDoesNotFitIsRefusedWithTheWayToSeeIt)
{
    // A year of readings in one sparse file of 1 GiB, on a machine with 2 GiB free: as
    // plain lines, and as a device file.
    const QString year = write(QStringLiteral("year.dan"), crlf({"2024-03-05 10:00:00 1 2"}));
    const QString device = write(QStringLiteral("device.dan"), deviceFile(2000, false));
    for (const QString& path : {year, device}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.resize(qint64(1) << 30));
    }
    const std::string small = crlf({"2024-03-05 10:00:00 1 2", "2024-03-05 10:00:10 3 4"});
    write(QStringLiteral("small.dan"), small);
    const qint64 size = qint64(small.size());
    const auto savedFree = TForm1::freeMemory;
    const auto restore = qScopeGuard([&] { TForm1::freeMemory = savedFree; });
    const struct {
        const char* name;
        QString file;
        qint64 free;     // -1: unknown
        QString refusal; // the message, %1 the path; empty: loaded
    } cases[] = {
        {"1 GiB with 2 GiB free", QStringLiteral("year.dan"), qint64(2) << 30,
         QStringLiteral("Plik \"%1\" jest za duży, aby wczytać go w całości: potrzeba 3072 MB pamięci, a wolnej jest "
                        "2048 MB.")},
        {"a device file of 1 GiB with 2 GiB free", QStringLiteral("device.dan"), qint64(2) << 30,
         QStringLiteral("Plik \"%1\" jest za duży, aby wczytać go w całości: potrzeba 3072 MB pamięci, a wolnej jest "
                        "2048 MB. Można go oglądać stronami: w ustawieniach wybierz typ systemu \"Kovra51\".")},
        {"three times the file free", QStringLiteral("small.dan"), 3 * size, QString()},
        {"a byte less", QStringLiteral("small.dan"), 3 * size - 1,
         QStringLiteral("Plik \"%1\" jest za duży, aby wczytać go w całości: potrzeba 1 MB pamięci, a wolnej jest "
                        "0 MB.")},
        {"free memory unknown", QStringLiteral("small.dan"), -1, QString()},
    };
    Form1->Show();
    QListWidget* list = Form1->FileListBox1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 35; ++i)
            Form1->Chart1->Series(i).Clear();
        boxes.clear();
        Form1->StatusBar1->Panels(0)->SetText(QStringLiteral("before"));
        const qint64 free = c.free;
        TForm1::freeMemory = [free] { return free; };
        Form1->deviceFamily = 0;
        Form1->FileListBox1->Update();
        Form1->FileListBox1->SetFileName(c.file);
        testsupport::MouseDoubleClick(list->viewport(), list->visualItemRect(list->currentItem()).center());
        if (c.refusal.isEmpty()) {
            EXPECT_TRUE(boxes.records().empty());
            EXPECT_EQ(memo(), textListLines(small));
            EXPECT_EQ(Form1->Chart1->Series(0).Count(), 2);
            continue;
        }
        ASSERT_EQ(boxes.records().size(), 1u);
        EXPECT_EQ(boxes.records()[0].text, c.refusal.arg(cwd.path() + "/" + c.file));
        EXPECT_EQ(Form1->Chart1->Series(0).Count(), 0);
        EXPECT_EQ(Form1->StatusBar1->Panels(0)->Text(), QStringLiteral("before"));
    }
}

// ---- Folder, file list and its popup menu.

TEST_F(Browser, TheBrowsedFolderIsStoredAndRestoredAtStart)
{
    const QString first = cwd.mkdir(QStringLiteral("pomiary/2024"));
    const QString second = cwd.mkdir(QStringLiteral("Łódź"));
    testsupport::DestroyProgramForms();
    acquisition::SettingsBlock b = testsupport::StoredSettings();
    acquisition::setText(b.measurementDir, QFile::encodeName(first).toStdString());
    cwd.file(QStringLiteral("settings.suap"), testsupport::BlockBytes(b));
    testsupport::CreateProgramForms();
    EXPECT_EQ(Form1->DirectoryListBox1->Directory(), first);
    EXPECT_EQ(Form1->FileListBox1->Directory(), first);

    Form1->DirectoryListBox1->SetDirectory(second);
    EXPECT_EQ(QDir::currentPath(), second);
    EXPECT_EQ(Form1->browsedDir, platform::unicodeToCp1250(second));
    QDir::setCurrent(cwd.path());
    Form1->ZapamietajParametryExecute(nullptr);
    const QByteArray saved = testsupport::ReadFileBytes(cwd.path() + "/settings.suap");
    const QByteArray expected = QByteArray::fromStdString(platform::unicodeToCp1250(second));
    EXPECT_EQ(saved.mid(864, expected.size() + 1), expected + '\0');

    // A folder whose name the 8-bit field cannot hold leaves the stored one.
    const QString foreign = cwd.mkdir(QStringLiteral("数据"));
    Form1->DirectoryListBox1->SetDirectory(foreign);
    EXPECT_EQ(acquisition::getText(Form1->settings.measurementDir), platform::unicodeToCp1250(second));
}

TEST_F(Browser, PopupMasksAndTheFileClick)
{
    for (const char* name : {"a.dan", "b.txt", "c.csv", "D.DAN"})
        write(QString::fromLatin1(name), "x\r\n");
    Form1->FileListBox1->Update();
    const struct {
        QAction* item;
        QStringList shown;
    } steps[] = {
        {Form1->Showfilesdan1, {"a.dan", "D.DAN"}},
        // "Wszystkie pliki (*.*)" has no handler: the mask stays.
        {Form1->Wszystkiepliki1, {"a.dan", "D.DAN"}},
        {Form1->Plikitekstowetxtdan1, {"a.dan", "b.txt", "D.DAN"}},
        {Form1->Wszystkiepliki1, {"a.dan", "b.txt", "D.DAN"}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.item->text().toStdString());
        s.item->trigger();
        EXPECT_EQ(Form1->FileListBox1->Items(), s.shown);
    }

    EXPECT_FALSE(Form1->MSExel1->isEnabled());
    Form1->Show();
    QListWidget* list = Form1->FileListBox1;
    testsupport::MouseClick(list->viewport(), list->visualItemRect(list->item(1)).center());
    EXPECT_TRUE(Form1->MSExel1->isEnabled());
    EXPECT_TRUE(Form1->OpenOffice1->isEnabled());
    EXPECT_EQ(Form1->dataFile.fileName, platform::unicodeToCp1250(cwd.path() + "/b.txt"));
}

TEST_F(Browser, NewMeasurementsClearOnlyOnOk)
{
    write(QStringLiteral("data.dan"), crlf({"2024-03-05 10:00:00 1 2", "2024-03-05 10:00:10 3 4"}));
    open(QStringLiteral("data.dan"), 0);
    for (const int answer : {platform::IDCANCEL, platform::IDOK}) {
        boxes.clear();
        boxes.answer(answer);
        Form1->ToolButton7->click();
        ASSERT_EQ(boxes.records().size(), 1u);
        EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Uwaga"));
        EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Czy nowe pomiary? "));
        EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_OKCANCEL));
        const bool cleared = answer == platform::IDOK;
        EXPECT_EQ(Form1->Chart1->Series(1).Count(), cleared ? 0 : 2);
        EXPECT_EQ(gridRow(0), cleared ? QStringList({"", ""}) : QStringList({"k1", "k2"}));
        EXPECT_EQ(gridRow(1), cleared ? QStringList({"", ""}) : QStringList({"3", "4"}));
        EXPECT_EQ(Lines(Form1->Memo1).Count(), cleared ? 0 : 2);
    }
}

// ---- Saving and opening text files.

TEST_F(Browser, SaveWritesTheTextListAsAskedAndMovesTheBrowser)
{
    const QString other = cwd.mkdir(QStringLiteral("zapis"));
    const std::string existing = "stare\r\n";
    const QString taken = write(QStringLiteral("zapis/taken.dan"), existing);
    Lines(Form1->Memo1)
        .Assign({QStringLiteral("DataTime  k1"), QStringLiteral("2024-03-05  14:07:11  21.4 Łódź"), QString()});
    const std::string memoBytes = "DataTime  k1\r\n2024-03-05  14:07:11  21.4 \xa3\xf3\x64\x9f\r\n\r\n";

    const struct {
        const char* name;
        QString answerFile; // empty: the dialog is cancelled
        int question;       // 0: no question expected
        std::string bytes;  // what the file holds afterwards
        bool listRefreshed;
    } cases[] = {
        {"cancelled dialog", QString(), 0, "", false},
        {"existing file kept on Cancel", taken, platform::IDCANCEL, existing, true},
        {"existing file replaced on OK", taken, platform::IDOK, memoBytes, true},
        {"new name without extension", other + "/nowy", 0, memoBytes, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir::setCurrent(cwd.path());
        Form1->DirectoryListBox1->SetDirectory(cwd.path());
        // Refreshed lists show these.
        write(QStringLiteral("later.dan"), "");
        write(QStringLiteral("zapis/later.dan"), "");
        boxes.clear();
        if (c.question)
            boxes.answer(c.question);
        vcl::DialogScript dialogs;
        if (c.answerFile.isEmpty())
            dialogs.cancel();
        else
            dialogs.answerFile(c.answerFile);
        Form1->ToolButton5->click();

        ASSERT_EQ(dialogs.records().size(), 1u);
        EXPECT_EQ(dialogs.records()[0].kind, QStringLiteral("save"));
        EXPECT_EQ(dialogs.records()[0].initialDir, cwd.path());
        EXPECT_EQ(dialogs.records()[0].filter, QStringLiteral("Plik danych|*.dan|Wszystkie pliki|*.*"));
        ASSERT_EQ(boxes.records().size(), c.question ? 1u : 0u);
        if (c.question) {
            EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Uwaga"));
            EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Plik istnieje, czy zamienić? "));
        }
        EXPECT_EQ(Form1->FileListBox1->Items().contains(QStringLiteral("later.dan")), c.listRefreshed);
        QFile::remove(cwd.path() + "/later.dan");
        QFile::remove(other + "/later.dan");
        if (c.answerFile.isEmpty())
            continue;
        const QString written = QFileInfo(c.answerFile).suffix().isEmpty() ? c.answerFile + ".dan" : c.answerFile;
        EXPECT_EQ(testsupport::readBytes(QFile::encodeName(written).toStdString()), c.bytes);
        // Only a save that went on moves the browser to the file's folder.
        const bool saved = c.question != platform::IDCANCEL;
        EXPECT_EQ(Form1->DirectoryListBox1->Directory(), saved ? other : cwd.path());
        EXPECT_EQ(acquisition::getText(Form1->settings.measurementDir),
                  platform::unicodeToCp1250(saved ? other : cwd.path()));
    }

    // A file that cannot be written: the error box, the browser stays where it was.
    boxes.clear();
    Form1->DirectoryListBox1->SetDirectory(cwd.path());
    vcl::DialogScript dialogs;
    dialogs.answerFile(cwd.path() + "/no-such-folder/x.dan");
    Form1->ToolButton5->click();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Error"));
    EXPECT_TRUE(boxes.records()[0].text.contains(QStringLiteral("no-such-folder/x.dan")));
    EXPECT_EQ(Form1->DirectoryListBox1->Directory(), cwd.path());
}

TEST_F(Browser, OpenTakesAFileFromAnyFolderAsTheBrowserWould)
{
    const QString other = cwd.mkdir(QStringLiteral("inne"));
    const std::string text = crlf({"DataTime  k1 k2", "2024-03-05  14:07:11  21.4 22.0"});
    const struct {
        const char* name;
        QString file;
        bool listed;
    } cases[] = {
        {"a listed data file", write(QStringLiteral("inne/dane.dan"), text), true},
        // The list's mask hides it; chosen in the dialog it opens all the same.
        {"a file the mask hides", write(QStringLiteral("inne/dane.csv"), text), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form1->DirectoryListBox1->SetDirectory(cwd.path());
        Lines(Form1->Memo1).Clear();
        vcl::DialogScript dialogs;
        dialogs.answerFile(c.file);
        Form1->ToolButton3->click();

        ASSERT_EQ(dialogs.records().size(), 1u);
        EXPECT_EQ(dialogs.records()[0].kind, QStringLiteral("open"));
        EXPECT_EQ(dialogs.records()[0].initialDir, cwd.path());
        EXPECT_EQ(dialogs.records()[0].filter,
                  QStringLiteral("Plik danych|*.dan|Plik tekstowy|*.txt|Wszystkie pliki|*.*"));
        EXPECT_EQ(Form1->OpenDialog1->FilterIndex(), 3);
        EXPECT_EQ(Form1->DirectoryListBox1->Directory(), other);
        EXPECT_EQ(Form1->FileListBox1->FileName(), c.listed ? c.file : QString());
        EXPECT_EQ(acquisition::getText(Form1->settings.measurementDir), platform::unicodeToCp1250(other));
        EXPECT_TRUE(Form1->ToolButton15->Enabled());
        EXPECT_EQ(memo(), textListLines(text));
        EXPECT_EQ(Form1->dataFile.fileName, platform::unicodeToCp1250(c.file));
        EXPECT_EQ(points(1), (Points{{"2024-03-05 14:07:11", 22.0}}));
        EXPECT_EQ(Form1->StatusBar1->Panels(0)->Text(),
                  QStringLiteral("Odczyt z pliku ") + QFileInfo(c.file).fileName());
    }

    // Cancelled: nothing changes.
    Form1->DirectoryListBox1->SetDirectory(cwd.path());
    vcl::DialogScript dialogs;
    dialogs.cancel();
    Form1->ToolButton3->click();
    EXPECT_EQ(Form1->DirectoryListBox1->Directory(), cwd.path());
    EXPECT_EQ(Lines(Form1->Memo1).Count(), 2);
    EXPECT_TRUE(boxes.records().empty());
}

} // namespace
