// The main window: start with and without "settings.suap", nonsense settings, the
// strip and full view, the two ways to close, the chart fit and the click reports.

#include "acquisition/PortCom.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtPrint.h"
#include "tests/support/QtTestApp.h"
#include "windows/Unit6.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QThread>
#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <random>

using acquisition::SettingsBlock;
using testsupport::TempCwd;

namespace {

using testsupport::BlockBytes;
QByteArray readFile(const QString& path) { return testsupport::ReadFileBytes(path); }

// The program's four forms, created in the entry routine's order and destroyed after.
class MainProgram : public ::testing::Test {
protected:
    void start() { testsupport::CreateProgramForms(); }
    void TearDown() override
    {
        testsupport::DestroyProgramForms();
        TForm1::createMeasurementWindow = nullptr;
    }
    void writeSettings(const SettingsBlock& b) { cwd.file("settings.suap", BlockBytes(b)); }

    TempCwd cwd;
    platform::MessageScript boxes;
};

SettingsBlock storedBlock() { return testsupport::StoredSettings(); }

} // namespace

TEST_F(MainProgram, FirstStartKeepsDesignedSizeShowsStripAndWritesNothing)
{
    start();
    EXPECT_TRUE(Form1->autoPlaceWindows);
    EXPECT_EQ(Form1->Height(), TForm1::stripHeight);
    EXPECT_EQ(Form1->mainViewMode, 0);
    EXPECT_TRUE(Form1->autoFit);
    EXPECT_TRUE(Form1->ToolButton29->Down());
    EXPECT_FALSE(Form1->ToolButton31->Enabled());
    EXPECT_EQ(Form1->UpDown1->Position(), 1000);
    EXPECT_EQ(QFileInfo(Form1->DirectoryListBox1->Directory()).canonicalFilePath(),
              QFileInfo(cwd.path()).canonicalFilePath());
    EXPECT_EQ(Form1->workDir, Form1->startDir);
    EXPECT_EQ(Form1->windowShowCounter, 2);
    EXPECT_EQ(Form1->settings.connectionMode, 1);
    EXPECT_TRUE(Form2->RadioButton2->Checked());
    EXPECT_EQ(Form1->BitBtn3->Caption(), QStringLiteral("[_][_]"));
    EXPECT_FALSE(Form1->BitBtn2->Enabled());
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("START"));
    EXPECT_EQ(Form1->BitBtn1->Caption(), QStringLiteral("&Zamknij"));
    EXPECT_FALSE(QFile::exists(cwd.path() + "/settings.suap"));
}

TEST_F(MainProgram, StoredSettingsApplyGeometryLayoutAndPageSize)
{
    struct Case {
        int pageSize, leftPanel, expectedPage, expectedPanel;
    } cases[] = {
        {300, 150, 1000, 150},
        {500, 0, 500, 5},
        {5000, 120, 5000, 120},
    };
    for (const Case& c : cases) {
        SettingsBlock b = storedBlock();
        b.pageSize = c.pageSize;
        b.leftPanelWidth = c.leftPanel;
        b.bottomLayout = 0;
        writeSettings(b);
        start();
        EXPECT_FALSE(Form1->autoPlaceWindows);
        EXPECT_EQ(Form1->UpDown1->Position(), c.expectedPage) << c.pageSize;
        EXPECT_EQ(Form1->Panel1->Width(), c.expectedPanel) << c.leftPanel;
        EXPECT_EQ(Form1->layoutRight, 1);
        EXPECT_EQ(Form1->Panel4->Align(), vcl::alRight);
        EXPECT_EQ(Form1->Panel4->Width(), 200);
        EXPECT_EQ(Form1->BitBtn2->Caption(), QStringLiteral("|"));
        EXPECT_EQ(Form1->Width(), 700);
        EXPECT_EQ(Form1->Height(), TForm1::stripHeight);
        TearDown();
    }
}

TEST_F(MainProgram, StoredFoldersAreAppliedAtStart)
{
    cwd.file("Pomiary łódź/a.dan", "a");
    cwd.file("pomiary/b.dan", "b");
    cwd.file("Pomiary/c.dan", "c");
    cwd.mkdir("Okna");
    const QString canonicalCwd = QFileInfo(cwd.path()).canonicalFilePath();
    struct Case {
        const char* startIn;     // the start folder, under the temporary folder
        const char* measurement; // the stored measurement folder
        const char* work;        // the stored working folder
        const char* listed;      // the folder the list shows and makes current
        const char* workDir;
        QStringList files;
    } cases[] = {
        {"", "Pomiary łódź", "Okna", "Pomiary łódź", "Okna", {"a.dan"}},
        // Linux folders differ by case: the stored one is shown, not the start folder.
        {"pomiary", "Pomiary", "pomiary", "Pomiary", "pomiary", {"c.dan"}},
        {"pomiary", "brak", "brak", "pomiary", "pomiary", {"b.dan"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.measurement);
        const QString startFolder = canonicalCwd + (*c.startIn ? QStringLiteral("/") + c.startIn : QString());
        ASSERT_TRUE(QDir::setCurrent(startFolder));
        SettingsBlock b = storedBlock();
        const auto stored = [&](const char* name) {
            return platform::unicodeToCp1250(canonicalCwd + "/" + QString::fromUtf8(name));
        };
        ASSERT_TRUE(b.setMeasurementDir(stored(c.measurement)));
        ASSERT_TRUE(b.setWorkFolder(stored(c.work)));
        cwd.file(QDir(QString::fromUtf8(c.startIn)).filePath(QStringLiteral("settings.suap")), BlockBytes(b));
        start();
        const QString listed = canonicalCwd + "/" + QString::fromUtf8(c.listed);
        EXPECT_EQ(Form1->DirectoryListBox1->Directory(), listed);
        EXPECT_EQ(QDir::currentPath(), listed);
        EXPECT_EQ(Form1->FileListBox1->Items(), c.files);
        EXPECT_EQ(platform::cp1250ToUnicode(Form1->workDir), canonicalCwd + "/" + QString::fromUtf8(c.workDir));
        EXPECT_EQ(platform::cp1250ToUnicode(Form1->startDir), startFolder);
        TearDown();
    }
}

// The stored size of the lower panel, smaller or larger than designed, comes back in the
// full view with the splitter beside the panel and the status bar still at the bottom.
TEST_F(MainProgram, StoredPanelSizeIsAppliedInEitherLayout)
{
    const struct {
        int bottomLayout, stored;
    } cases[] = {{1, 150}, {1, 340}, {0, 150}, {0, 400}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "layout " << c.bottomLayout << ", size " << c.stored);
        SettingsBlock b = storedBlock();
        b.bottomLayout = std::uint8_t(c.bottomLayout);
        b.listPanelSize = c.stored;
        writeSettings(b);
        start();
        EXPECT_EQ(Form1->settings.listPanelSize, c.stored);
        Form1->BitBtn3Click(Form1->BitBtn3);
        const int statusTop = Form1->StatusBar1->Top();
        EXPECT_EQ(statusTop + Form1->StatusBar1->Height(), Form1->ClientHeight()) << "the status bar is bottom-most";
        if (c.bottomLayout) {
            EXPECT_EQ(Form1->layoutRight, 0);
            EXPECT_EQ(Form1->Panel4->Align(), vcl::alBottom);
            EXPECT_EQ(Form1->BitBtn2->Caption(), QStringLiteral("_"));
            EXPECT_EQ(Form1->Panel4->Height(), c.stored);
            EXPECT_EQ(Form1->Panel4->Top() + c.stored, statusTop);
            EXPECT_EQ(Form1->Splitter2->Top() + Form1->Splitter2->Height(), Form1->Panel4->Top());
        } else {
            EXPECT_EQ(Form1->layoutRight, 1);
            EXPECT_EQ(Form1->Panel4->Align(), vcl::alRight);
            EXPECT_EQ(Form1->Panel4->Width(), c.stored);
            EXPECT_EQ(Form1->Panel4->Left() + c.stored, Form1->ClientWidth());
            EXPECT_EQ(Form1->Splitter2->Left() + Form1->Splitter2->Width(), Form1->Panel4->Left());
        }
        TearDown();
    }
}

TEST_F(MainProgram, NonsenseSettingsStillGiveAUsableWindow)
{
    std::mt19937 random(7);
    SettingsBlock b;
    auto* bytes = reinterpret_cast<unsigned char*>(&b);
    for (std::size_t i = 0; i < sizeof b; ++i)
        bytes[i] = static_cast<unsigned char>(random());
    b.mainWidth = -5000;
    b.mainHeight = 1 << 30;
    b.mainLeft = -100000;
    b.mainTop = 1 << 29;
    b.leftPanelWidth = -40;
    b.listPanelSize = 1 << 30;
    b.windowCount = 1000;
    b.connectionMode = 7;
    writeSettings(b);

    int created = 0;
    TForm1::createMeasurementWindow = [&](TForm1&) { ++created; };
    start();
    Form1->FormShow(nullptr);
    EXPECT_EQ(created, SettingsBlock::maxWindows);
    EXPECT_EQ(Form1->settings.windowCount, 1000) << "the stored bytes stay as they were";

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(QRect(Form1->Left(), Form1->Top(), Form1->Width(), Form1->Height())));
    EXPECT_GE(Form1->Width(), 200);
    EXPECT_LE(Form1->Width(), screen.width());
    // Folders that do not exist fall back to the start folder.
    EXPECT_EQ(Form1->workDir, Form1->startDir);
}

TEST_F(MainProgram, StoredGeometryOfAnyValueLeavesEveryWindowOnTheScreen)
{
    struct Case {
        int left, top, width, height;
    } cases[] = {
        {INT_MIN, INT_MIN, INT_MIN, INT_MIN},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
        {0, 0, 0, 0},
        {-1, -250, -1, -20000},
        {100, 50, 20000, 20000},
        {INT_MAX, INT_MIN, 300, 300},
        {-100000, INT_MAX - 50, 400, INT_MAX},
    };
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const auto expectOnScreen = [&](const vcl::TForm& f, int minimumWidth, int minimumHeight) {
        EXPECT_GE(f.Left(), area.left());
        EXPECT_GE(f.Top(), area.top());
        EXPECT_LE(f.Left() + f.Width(), area.left() + area.width());
        EXPECT_LE(f.Top() + f.Height(), area.top() + area.height());
        EXPECT_GE(f.Width(), minimumWidth);
        EXPECT_GE(f.Height(), minimumHeight);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left << ", " << c.top << ", " << c.width << " x " << c.height);
        SettingsBlock b = storedBlock();
        b.mainLeft = c.left;
        b.mainTop = c.top;
        b.mainWidth = c.width;
        b.mainHeight = c.height;
        b.leftPanelWidth = c.width;
        b.listPanelSize = c.height;
        b.windowCount = 1;
        auto& r = b.windows[0];
        r.left = c.left;
        r.top = c.top;
        r.width = c.width;
        r.height = c.height;
        r.splitterPos = c.width;
        writeSettings(b);
        RegisterMeasurementWindows();
        QDir::setCurrent(cwd.path()); // the last window made its own folder current
        start();
        Form1->Show(); // shows the measurement windows

        expectOnScreen(*Form1, 200, TForm1::stripHeight);
        EXPECT_EQ(Form1->Height(), TForm1::stripHeight);
        TForm6* w = TForm6::ForSlot(0);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->isVisible());
        expectOnScreen(*w, 200, 120);
        EXPECT_GE(w->Panel3->Width(), 40);
        EXPECT_LE(w->Panel3->Width(), w->Width()) << "the left panel stays within the window";
        Form1->BitBtn3Click(Form1->BitBtn3); // the full view at the stored height
        expectOnScreen(*Form1, 200, TForm1::stripHeight);
        TearDown();
    }
}

TEST_F(MainProgram, ZamknijCancelLeavesSettingsAndLabelsWritten)
{
    start();
    Form2->LabeledEdit1->SetText(QStringLiteral("1234567"));
    for (int col = 0; col < 3; ++col)
        vcl::SetCell(Form1->StringGrid1, col, 0, QStringLiteral("Łódź%1").arg(col));
    boxes.answer(platform::IDCANCEL);
    Form1->BitBtn1Click(Form1->BitBtn1);

    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Uwaga!"));
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Zamykanie programu.\n"
                                                      "  Wszystkie aktywne pomiary zostaną przerwane.\n"
                                                      "   Nie zapamięta parametrów pomiaru aktywnych okien.\n"
                                                      "  Zapamięta zmienione ustawienia.\n"
                                                      "  Czy zamknąć program !!"));
    EXPECT_FALSE(Form1->stopRequest);

    const QByteArray saved = readFile(cwd.path() + "/settings.suap");
    ASSERT_EQ(saved.size(), 17992);
    EXPECT_EQ(saved.mid(17984, 8), QByteArray("1234567\0", 8));
    // Saved in the strip view: the full-view height stays unset, the strip's width goes in.
    SettingsBlock back;
    std::memcpy(&back, saved.constData(), sizeof back);
    EXPECT_EQ(back.mainHeight, 0);
    EXPECT_EQ(back.mainWidth, Form1->Width());
    EXPECT_EQ(back.pageSize, 1000);
    EXPECT_EQ(back.listPanelSize, 263);

    QByteArray labels;
    labels += "\xA3\xF3"
              "d\x9F"
              "0\r\n\xA3\xF3"
              "d\x9F"
              "1\r\n\xA3\xF3"
              "d\x9F"
              "2\r\n";
    for (int col = 3; col < TForm1::seriesCount; ++col)
        labels += "\r\n";
    EXPECT_EQ(readFile(cwd.path() + "/LabelSetings.txt"), labels);
}

TEST_F(MainProgram, ZamknijOkRaisesTheStopRequest)
{
    start();
    boxes.answer(platform::IDOK);
    Form1->BitBtn1Click(Form1->BitBtn1);
    EXPECT_TRUE(Form1->stopRequest);
}

TEST_F(MainProgram, CloseBoxAsksAndSavesNothing)
{
    start();
    struct Case {
        int answer;
        vcl::TCloseAction expected;
    } cases[] = {
        {platform::IDCANCEL, vcl::caNone},
        {platform::IDOK, vcl::caHide},
    };
    for (const Case& c : cases) {
        boxes.answer(c.answer);
        vcl::TCloseAction action = vcl::caHide;
        Form1->FormClose(Form1, action);
        EXPECT_EQ(action, c.expected);
    }
    EXPECT_EQ(boxes.records().back().text, QStringLiteral("Zamykanie programu.\n"
                                                          "  Wszystkie pomiary zostaną przerwane.\n"
                                                          "  Nie zapisze zmienionych ustawień.\n"
                                                          "  Czy zamknąć program !!"));
    EXPECT_FALSE(QFile::exists(cwd.path() + "/settings.suap"));
}

TEST_F(MainProgram, GridShowsValuesOfTheUsualWidthWholeInItsDesignedCells)
{
    start();
    Form1->BitBtn3Click(Form1->BitBtn3); // full view
    Form1->Show();
    Form1->currentLine = "2024-03-05 14:07:09 21.46 -12.50 1013.2 100.25";
    Form1->parsedLine.CzytajLinie(Form1->currentLine);
    Form1->showLiveLine();
    QApplication::processEvents();

    QTableWidget* grid = Form1->StringGrid1;
    // The cell's text gets the cell less the style's margin at both sides.
    const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
    const QString values[] = {"21.46", "-12.50", "1013.2", "100.25"};
    ASSERT_EQ(grid->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(grid->columnWidth(c), 38) << "the designed width";
        for (int row : {0, 1}) {
            EXPECT_EQ(grid->rowHeight(row), 18) << "the designed height";
            const QModelIndex cell = grid->model()->index(row, c);
            const QString text = cell.data().toString();
            if (row == 1) {
                EXPECT_EQ(text, values[c]);
            }
            const QVariant own = cell.data(Qt::FontRole);
            const QFontMetrics metrics(own.isValid() ? own.value<QFont>() : grid->font());
            const QRect box = grid->visualRect(cell);
            EXPECT_EQ(metrics.elidedText(text, Qt::ElideRight, box.width() - 2 * margin), text)
                << text.toStdString() << " is cut in its cell";
            EXPECT_LE(metrics.height(), box.height()) << text.toStdString();
        }
    }
}

TEST_F(MainProgram, ViewSwitchUsesStoredHeightOrTheDesignedOne)
{
    start(); // first run: no height stored
    Form1->Timer1->SetInterval(1000);
    Form1->Timer1->SetEnabled(true);
    Form1->BitBtn3Click(Form1->BitBtn3);
    EXPECT_EQ(Form1->mainViewMode, 1);
    EXPECT_EQ(Form1->windowShowCounter, 0);
    EXPECT_EQ(Form1->BitBtn3->Caption(), QStringLiteral("[_]"));
    EXPECT_TRUE(Form1->BitBtn2->Enabled());
    EXPECT_GT(Form1->Height(), 600) << "the designed height, not the smallest one";

    Form1->BitBtn3Click(Form1->BitBtn3);
    EXPECT_EQ(Form1->Height(), TForm1::stripHeight);
    EXPECT_EQ(Form1->windowShowCounter, 1);
    EXPECT_FALSE(Form1->Timer1->Enabled()) << "the strip stops the periodic reading";

    Form1->settings.mainHeight = 400;
    Form1->BitBtn3Click(Form1->BitBtn3);
    EXPECT_EQ(Form1->Height(), 400);
    // Saving in the full view stores the current height.
    Form1->ZapamietajParametryExecute(nullptr);
    SettingsBlock back;
    std::memcpy(&back, readFile(cwd.path() + "/settings.suap").constData(), sizeof back);
    EXPECT_EQ(back.mainHeight, 400);
}

TEST_F(MainProgram, LayoutSwitchMovesThePanelAndStoresIt)
{
    start();
    Form1->BitBtn3Click(nullptr);
    Form1->BitBtn2Click(nullptr);
    EXPECT_EQ(Form1->Panel4->Align(), vcl::alRight);
    EXPECT_EQ(Form1->Splitter2->Align(), vcl::alRight);
    EXPECT_LT(Form1->Splitter2->Left(), Form1->Panel4->Left()) << "the splitter sits left of the panel";
    EXPECT_EQ(Form1->settings.bottomLayout, 0);
    EXPECT_EQ(Form1->Chart1->LegendAlignment(), platform::laLeft);
    Form1->BitBtn2Click(nullptr);
    EXPECT_EQ(Form1->Panel4->Align(), vcl::alBottom);
    EXPECT_LT(Form1->Splitter2->Top(), Form1->Panel4->Top()) << "the splitter sits above the panel";
    EXPECT_GT(Form1->StatusBar1->Top(), Form1->Panel4->Top()) << "the status bar stays the bottom-most";
    EXPECT_EQ(Form1->settings.bottomLayout, 1);
}

TEST_F(MainProgram, WindowListNamesClosedSlots)
{
    start();
    Form1->settings.windowCount = 3;
    Form1->settings.windows[1].state = 4;
    Form1->ComboBox1DropDown(nullptr);
    EXPECT_EQ(Form1->ComboBox1->Items(), (QStringList{"----", "Okno 2", "----"}));
    EXPECT_EQ(Form1->ComboBox1->Text(), QStringLiteral("Dodaj okno"));

    std::vector<int> reopened;
    TForm1::createMeasurementWindow = [&](TForm1& f) { reopened.push_back(f.nextWindowIndex); };
    Form1->ComboBox1->SetItemIndex(0);
    Form1->ComboBox1Change(nullptr);
    Form1->ComboBox1->SetItemIndex(1);
    Form1->ComboBox1Change(nullptr);
    EXPECT_EQ(reopened, std::vector<int>{1});
    EXPECT_EQ(Form1->ComboBox1->Text(), QStringLiteral("Dodaj okno"));
}

// ---- Chart commands.

namespace {
struct FitCase {
    const char* name;
    std::vector<std::vector<double>> series; // values per series; empty = inactive
    int channelCount;
    double min, max;
};
} // namespace

TEST_F(MainProgram, FitCoversTheFirstChannelCountActiveSeries)
{
    const FitCase cases[] = {
        {"no active series", {}, 3, 0, 0},
        {"one value", {{10}}, 1, 10, 10},
        {"0 and 100", {{0, 100}}, 1, -2, 102},
        {"series 1 and 3, count 2", {{0, 10}, {}, {50, 60}}, 2, -1.2, 61.2},
        {"series 1 and 3, count 1", {{0, 10}, {}, {50, 60}}, 1, -0.2, 10.2},
        {"series 1 inactive: one fewer", {{}, {5, 6}, {1, 2}, {100}}, 2, 4.98, 6.02},
        {"channel count 0: the first active series alone", {{0, 10}, {50, 60}, {-40}}, 0, -0.2, 10.2},
        {"channel count 0, series 1 inactive", {{}, {5, 6}, {1, 2}}, 0, 4.98, 6.02},
    };
    start();
    for (const FitCase& c : cases) {
        for (int i = 0; i < TForm1::seriesCount; ++i) {
            Form1->Chart1->Series(i).Clear();
            Form1->Chart1->Series(i).SetActive(false);
        }
        for (std::size_t i = 0; i < c.series.size(); ++i) {
            auto& s = Form1->Chart1->Series(int(i));
            s.SetActive(!c.series[i].empty());
            for (double v : c.series[i])
                s.Add(v, "12:00:00");
        }
        Form1->parsedLine.channelCount = c.channelCount;
        Form1->dopasujWykresExecute(nullptr);
        EXPECT_NEAR(Form1->Chart1->LeftAxis().Minimum(), c.min, 1e-9) << c.name;
        EXPECT_NEAR(Form1->Chart1->LeftAxis().Maximum(), c.max, 1e-9) << c.name;
        EXPECT_NEAR(Form1->Chart1->RightAxis().Minimum(), c.min, 1e-9) << c.name;
        EXPECT_NEAR(Form1->Chart1->RightAxis().Maximum(), c.max, 1e-9) << c.name;
    }
}

TEST_F(MainProgram, AutoFitToggleFitsWhenSwitchedOn)
{
    start();
    auto& s = Form1->Chart1->Series(0);
    s.SetActive(true);
    s.Add(0, "a");
    s.Add(50, "b");
    Form1->parsedLine.channelCount = 1;
    Form1->ToolButton29Click(nullptr);
    EXPECT_FALSE(Form1->autoFit);
    EXPECT_FALSE(Form1->ToolButton29->Down());
    Form1->ToolButton29Click(nullptr);
    EXPECT_TRUE(Form1->autoFit);
    EXPECT_TRUE(Form1->ToolButton29->Down());
    EXPECT_DOUBLE_EQ(Form1->Chart1->LeftAxis().Maximum(), 51);
}

TEST_F(MainProgram, SeriesClickReportsTheValueAndTogglesMarks)
{
    start();
    auto& s = Form1->Chart1->Series(1);
    s.SetActive(true);
    s.Add(21.46, "12:00:05");
    Form1->Chart1ClickSeries(*Form1->Chart1, s, 0, vcl::mbLeft, {vcl::ssLeft}, {});
    EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), QStringLiteral("k2  12:00:05  Y= 21.5"));
    EXPECT_FALSE(s.MarksVisible()) << "marks stay hidden while the value-marks tool is up";
    Form1->ToolButton33Click(nullptr);
    Form1->Chart1ClickSeries(*Form1->Chart1, s, 0, vcl::mbLeft, {vcl::ssLeft}, {});
    EXPECT_TRUE(s.MarksVisible());
    Form1->Chart1ClickSeries(*Form1->Chart1, s, 0, vcl::mbLeft, {vcl::ssLeft}, {});
    EXPECT_FALSE(s.MarksVisible());
}

TEST_F(MainProgram, ValueMarksOffHidesTheMarksOfTheChannelSeries)
{
    start();
    auto& chart = *Form1->Chart1;
    chart.SetLegendVisible(false);
    chart.LeftAxis().SetMinMax(0, 40);
    chart.RightAxis().SetMinMax(0, 40);
    Form1->parsedLine.channelCount = 2;
    for (int i : {0, 1, 2}) {
        chart.Series(i).SetActive(true);
        for (int p = 0; p < 5; ++p)
            chart.Series(i).Add(10.0 * (i + 1), "12:00:05");
    }
    const QColor markFill(255, 255, 225);
    auto marksDrawn = [&] {
        const QImage image = chart.RenderToImage(600, 300);
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixelColor(x, y).rgb() == markFill.rgb();
        return n;
    };
    EXPECT_EQ(marksDrawn(), 0);

    Form1->ToolButton33Click(nullptr); // on
    EXPECT_TRUE(Form1->ToolButton33->Down());
    EXPECT_TRUE(Form1->showValues);
    EXPECT_EQ(marksDrawn(), 0) << "switching on shows no marks by itself";
    Form1->Chart1ClickSeries(chart, chart.Series(0), 2, vcl::mbLeft, {vcl::ssLeft}, {});
    Form1->Chart1ClickSeries(chart, chart.Series(1), 2, vcl::mbLeft, {vcl::ssLeft}, {});
    EXPECT_GT(marksDrawn(), 100);

    Form1->ToolButton33Click(nullptr); // off again
    EXPECT_FALSE(Form1->ToolButton33->Down());
    EXPECT_FALSE(Form1->showValues);
    EXPECT_FALSE(chart.Series(0).MarksVisible());
    EXPECT_FALSE(chart.Series(1).MarksVisible());
    EXPECT_EQ(marksDrawn(), 0);

    // Marks of a series beyond the channel count are not the tool's to hide.
    Form1->ToolButton33Click(nullptr);
    Form1->Chart1ClickSeries(chart, chart.Series(2), 2, vcl::mbLeft, {vcl::ssLeft}, {});
    Form1->ToolButton33Click(nullptr);
    EXPECT_TRUE(chart.Series(2).MarksVisible());
    Form1->Chart1ClickSeries(chart, chart.Series(0), 2, vcl::mbLeft, {vcl::ssLeft}, {});
    EXPECT_FALSE(chart.Series(0).MarksVisible()) << "with the tool up a click shows no marks";
}

TEST_F(MainProgram, LegendClickWidensActiveSeriesAndRightClickResets)
{
    start();
    Form1->parsedLine.channelCount = 3;
    Form1->parsedLine.valueTexts[2] = "7.5";
    Form1->timeLabel = "10:11:12";
    auto& chart = *Form1->Chart1;
    chart.Series(2).SetActive(true);

    Form1->Chart1ClickLegend(chart, vcl::mbLeft, {vcl::ssLeft}, 2, {});
    EXPECT_EQ(chart.Series(2).PenWidth(), 2);
    EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), QStringLiteral("k3  10:11:12  Y= 7.5"));

    chart.Series(1).SetActive(false);
    Form1->Chart1ClickLegend(chart, vcl::mbLeft, {vcl::ssLeft}, 1, {});
    EXPECT_EQ(chart.Series(1).PenWidth(), 1) << "an inactive series keeps its width";
    EXPECT_TRUE(Form1->StatusBar1->Panels(2)->Text().startsWith("k2  "));

    Form1->Chart1ClickLegend(chart, vcl::mbRight, {vcl::ssRight, vcl::ssShift}, 2, {});
    EXPECT_FALSE(chart.Series(0).Active()) << "shift held: no reset";
    Form1->Chart1ClickLegend(chart, vcl::mbRight, {vcl::ssRight}, 2, {});
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(chart.Series(i).Active());
        EXPECT_EQ(chart.Series(i).PenWidth(), 1);
    }

    // A click on no entry changes nothing.
    Form1->StatusBar1->Panels(2)->SetText(QStringLiteral("before"));
    Form1->Chart1ClickLegend(chart, vcl::mbRight, {vcl::ssRight}, -1, {});
    EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), QStringLiteral("before"));
}

TEST_F(MainProgram, RightButtonLegendResetStopsAtTheChannelCount)
{
    start();
    auto& chart = *Form1->Chart1;
    const int clicked = 7;
    for (const int count : {0, 2, clicked + 1, TForm1::seriesCount}) {
        // Every series off and drawn 3 wide, but the clicked one, which is on.
        for (int i = 0; i < TForm1::seriesCount; ++i) {
            chart.Series(i).SetActive(i == clicked);
            chart.Series(i).SetPenWidth(3);
        }
        Form1->parsedLine.channelCount = count;
        Form1->Chart1ClickLegend(chart, vcl::mbRight, {vcl::ssRight}, clicked, {});
        for (int i = 0; i < TForm1::seriesCount; ++i) {
            if (i < count) {
                EXPECT_TRUE(chart.Series(i).Active()) << "count " << count << ", series " << i;
                EXPECT_EQ(chart.Series(i).PenWidth(), 1) << "count " << count << ", series " << i;
            } else {
                // Beyond the count only the legend click's own widening applies.
                EXPECT_EQ(chart.Series(i).Active(), i == clicked) << "count " << count << ", series " << i;
                EXPECT_EQ(chart.Series(i).PenWidth(), i == clicked ? 4 : 3) << "count " << count << ", series " << i;
            }
        }
    }
}

TEST_F(MainProgram, LabelsAndCheckBoxTools)
{
    start();
    Form1->parsedLine.channelCount = 2;
    Form1->Chart1->Series(5).SetActive(true);
    Form1->ToolButton27Click(nullptr);
    EXPECT_TRUE(Form1->Chart1->LegendVisible());
    EXPECT_TRUE(Form1->ToolButton27->Down());
    EXPECT_TRUE(Form1->ToolButton31->Enabled());
    Form1->ToolButton31Click(nullptr);
    EXPECT_TRUE(Form1->Chart1->LegendCheckBoxes());
    EXPECT_TRUE(Form1->ToolButton31->Down());
    EXPECT_FALSE(Form1->Chart1->Series(5).Active()) << "series beyond the channel count go off";
    Form1->ToolButton27Click(nullptr);
    EXPECT_FALSE(Form1->Chart1->LegendVisible());
    EXPECT_FALSE(Form1->ToolButton31->Enabled());

    Form1->ToolButton20Click(nullptr);
    EXPECT_TRUE(Form1->Chart1->View3D());
    EXPECT_TRUE(Form1->ToolButton20->Down());

    Form1->UsuWszystkie1Click(nullptr);
    EXPECT_FALSE(Form1->Chart1->Series(0).Active());
    Form1->ZaznaczWszystkie1Click(nullptr);
    EXPECT_TRUE(Form1->Chart1->Series(0).Active());
    EXPECT_TRUE(Form1->Chart1->Series(1).Active());
    EXPECT_FALSE(Form1->Chart1->Series(2).Active());
}

#ifdef TAZO_EXECUTABLE
// The real program comes up, reaches its message loop and writes nothing.
TEST(Program, StartsAndWritesNothingBeforeAsked)
{
    TempCwd cwd;
    QProcess program;
    program.setWorkingDirectory(cwd.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(TAZO_EXECUTABLE), {});
    ASSERT_TRUE(program.waitForStarted(5000));
    // Idle in the message loop: the main thread sleeps in poll.
    const QString wchan = QStringLiteral("/proc/%1/wchan").arg(program.processId());
    const bool idle = testsupport::WaitUntil(
        [&] { return program.state() == QProcess::Running && readFile(wchan).contains("poll"); }, 10000);
    EXPECT_TRUE(idle);
    EXPECT_EQ(program.state(), QProcess::Running);
    EXPECT_TRUE(QDir(cwd.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    program.kill();
    program.waitForFinished(5000);
}
#endif

TEST_F(MainProgram, SettingsDialogCarriesSerialSettingsAndLineLimitOnlyOnOk)
{
    SettingsBlock b = storedBlock();
    acquisition::setText(b.baudText, "9600");
    acquisition::setText(b.comPort, "com2");
    writeSettings(b);
    start();
    EXPECT_EQ(acquisition::portCom.baudRate, 9600) << "taken from the settings at start";
    EXPECT_STREQ(acquisition::portCom.portSettings, "com2");

    Form1->deviceFamily = 1;
    acquisition::setText(Form1->settings.baudText, "0x10"); // read as C reads it
    acquisition::setText(Form1->settings.comPort, "com7");
    struct Case {
        int result;
        int baud;
        const char* port;
        int page;
    } cases[] = {
        {vcl::mrCancel, 9600, "com2", 5000},
        {vcl::mrOk, 16, "com7", 2000},
    };
    for (const Case& c : cases) {
        vcl::ModalScript modal;
        modal.act([&](vcl::TForm& f) {
            EXPECT_EQ(Form2->ComboBox1->ItemIndex(), 1);
            EXPECT_FALSE(Form2->Button10->Enabled()) << "no WIFI reset for the second family";
            EXPECT_EQ(Form2->MaxLini->Position(), Form1->UpDown1->Position());
            Form2->MaxLini->SetPosition(2000);
            f.SetModalResult(c.result);
        });
        Form1->BitBtn5Click(Form1->BitBtn5);
        EXPECT_EQ(acquisition::portCom.baudRate, c.baud);
        EXPECT_STREQ(acquisition::portCom.portSettings, c.port);
        EXPECT_EQ(Form1->UpDown1->Position(), c.page);
    }
    acquisition::portCom = acquisition::PortCom{};
}

TEST_F(MainProgram, AboutButtonShowsTheAboutBox)
{
    start();
    vcl::ModalScript modal;
    modal.act([](vcl::TForm& f) { f.SetModalResult(vcl::mrOk); });
    Form1->BitBtn6Click(Form1->BitBtn6);
    ASSERT_EQ(modal.shown().size(), 1u);
    EXPECT_EQ(modal.shown()[0], QStringLiteral("O programie"));
}
