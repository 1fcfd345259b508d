// The viewer's chart window as its user meets it: the start from the command line and
// the start files, the axis fit, zoom, value marks, the printed title, the value of a
// clicked point, the shown page of points, the timed reload and the commands that go
// to the shell, the clipboard and the disk.

#include "tests/viewer/ViewerForms.h"

#include "platform/vcl/Clipboard.h"
#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclShell.h"
#include "tests/support/FileBytes.h"
#include "tests/support/PolishLocale.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/WaitBreaker.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QTime>
#include <QTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace {

using testsupport::DataFile;

const QString noDialog;

class Viewer : public ::testing::Test {
protected:
    void TearDown() override { testsupport::DestroyViewerForms(); }
    void start(const QStringList& args = {}) { testsupport::CreateViewerForms(args); }
    QString write(const QString& name, const QByteArray& bytes) { return cwd.file(name, bytes); }
    // A file of one channel "k1" with one reading per value, an hour apart from 10:00.
    QString writeSeries(const QString& name, const QList<double>& values)
    {
        QList<QStringList> readings;
        for (int i = 0; i < values.size(); ++i)
            readings << QStringList{QStringLiteral("2021-05-01"),
                                    QStringLiteral("%1:00:00").arg(10 + i, 2, 10, QLatin1Char('0')),
                                    QString::number(values[i])};
        return write(name, DataFile({QStringLiteral("k1")}, readings));
    }
    std::string dataFileName() const { return DalvinterForm1->dataFileName; }
    platform::TChart& chart() const { return *DalvinterForm1->Chart1; }
    QString panel(int i) const { return DalvinterForm1->StatusBar1->Panels(i)->Text(); }

    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    vcl::DialogScript dialogs;
    platform::ShellScript shell;
    platform::ClipboardScript clipboard;
};

// ---- Command line.

struct CommandLineCase {
    const char* name;
    QStringList args;
    QString existing;     // data file present in the start folder
    std::string dataFile; // the name charted
    bool reload;          // timed reload on, with its button down
    int period;
    bool dialog; // the open dialog was shown
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

class ViewerCommandLine : public Viewer, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(ViewerCommandLine, ChoosesFileAndReloadPeriod)
{
    const CommandLineCase& c = GetParam();
    if (!c.existing.isEmpty())
        writeSeries(c.existing, {21.5, 22.5});
    start(c.args);

    EXPECT_EQ(dataFileName(), c.dataFile);
    EXPECT_EQ(DalvinterForm1->Timer1->Enabled(), c.reload);
    EXPECT_EQ(DalvinterForm1->ToolButton14->Down(), c.reload);
    EXPECT_EQ(DalvinterForm1->Timer1->Interval(), c.period);
    ASSERT_EQ(dialogs.records().size(), c.dialog ? 1u : 0u);
    if (c.dialog) {
        const vcl::DialogRecord& r = dialogs.records().front();
        EXPECT_EQ(r.kind, QStringLiteral("open"));
        EXPECT_EQ(r.title, QStringLiteral("Nowy wykres"));
        EXPECT_EQ(r.filter, QStringLiteral("Pliki danych|*.dan;*.txt|Plik tekstowy|*.txt|Wszystkie pliki|*.*"));
        EXPECT_EQ(r.defaultExt, QStringLiteral("*.txt"));
        EXPECT_FALSE(chart().Series(0).Active());
    } else {
        EXPECT_EQ(chart().Series(0).Count(), 2);
        EXPECT_EQ(panel(3), QFileInfo(c.existing).fileName());
    }
    EXPECT_EQ(panel(0), QStringLiteral("Wprowadź dane Plik|Nowy"));
    EXPECT_TRUE(DalvinterForm1->ToolButton10->Enabled());
    EXPECT_TRUE(boxes.records().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Starts, ViewerCommandLine,
    ::testing::Values(
        CommandLineCase{"NoArgument", {}, "dalvnow.dan", "dalvnow.dan", false, 5000, false},
        CommandLineCase{"FileOnly", {"data.dan"}, "data.dan", "data.dan", false, 5000, false},
        CommandLineCase{"FileInFolder", {"sub/data.dan"}, "sub/data.dan", "sub/data.dan", false, 5000, false},
        CommandLineCase{"Reload5", {"data.dan", "5"}, "data.dan", "data.dan", true, 5000, false},
        CommandLineCase{"Reload1", {"data.dan", "1"}, "data.dan", "data.dan", true, 1000, false},
        CommandLineCase{"Reload9", {"data.dan", "9"}, "data.dan", "data.dan", true, 9000, false},
        CommandLineCase{"ZeroIsOneSecond", {"data.dan", "0"}, "data.dan", "data.dan", true, 1000, false},
        CommandLineCase{"LetterIsNine", {"data.dan", "x"}, "data.dan", "data.dan", true, 9000, false},
        CommandLineCase{"MinusIsNine", {"data.dan", "-3"}, "data.dan", "data.dan", true, 9000, false},
        CommandLineCase{"ColonIsNine", {"data.dan", ":"}, "data.dan", "data.dan", true, 9000, false},
        CommandLineCase{"EmptyIsNine", {"data.dan", ""}, "data.dan", "data.dan", true, 9000, false},
        CommandLineCase{"FirstCharacterOnly", {"data.dan", "75"}, "data.dan", "data.dan", true, 7000, false},
        CommandLineCase{"MissingFile", {"missing.dan"}, "", "missing.dan", false, 5000, true},
        CommandLineCase{"MissingDefault", {}, "", "dalvnow.dan", false, 5000, true},
        CommandLineCase{"NameCaseCounts", {"DATA.DAN"}, "data.dan", "DATA.DAN", false, 5000, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Viewer, MissingFileChosenInTheDialogIsCharted)
{
    const QString chosen = writeSeries(QStringLiteral("elsewhere/picked.dan"), {1, 2, 3});
    dialogs.answerFile(chosen);
    start({QStringLiteral("missing.dan"), QStringLiteral("4")});

    EXPECT_EQ(dataFileName(), chosen.toStdString());
    EXPECT_EQ(chart().Series(0).Count(), 3);
    EXPECT_EQ(panel(3), QStringLiteral("picked.dan"));
    EXPECT_TRUE(DalvinterForm1->Timer1->Enabled());
    EXPECT_EQ(chart().LeftAxis().Maximum(), 3 + 0.02 * 2);
}

// A name the 260-byte field cannot hold is refused with the name shown; cutting it
// short would chart another file. The dialog then lets the user choose.
TEST_F(Viewer, NamesTheFieldCannotHoldAreRefused)
{
    const struct {
        QString name;
        bool taken;
    } cases[] = {
        {QString(259, QLatin1Char('a')), true},
        {QString(260, QLatin1Char('a')), false},
        {QString(4000, QLatin1Char('b')), false},
        {QStringLiteral("dane-") + QString(254, QChar(0x0105)), true}, // "ą" is one byte in the file's code page
        {QStringLiteral("данные.dan"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.left(12).toStdString());
        boxes.clear();
        start({c.name});
        EXPECT_EQ(dataFileName().empty(), !c.taken);
        ASSERT_EQ(boxes.records().size(), c.taken ? 0u : 1u);
        if (!c.taken) {
            EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd"));
            EXPECT_TRUE(boxes.records()[0].text.contains(c.name));
        }
        testsupport::DestroyViewerForms();
    }

    // From the open dialog: the charted file stays.
    const QString data = writeSeries(QStringLiteral("data.dan"), {5, 6});
    start({data});
    boxes.clear();
    dialogs.answerFile(cwd.path() + QLatin1Char('/') + QString(300, QLatin1Char('c')));
    DalvinterForm1->ToolButton1->click();
    EXPECT_EQ(dataFileName(), data.toStdString());
    EXPECT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(chart().Series(0).Count(), 2);
}

// ---- Start files.

QByteArray picture(const QColor& colour, const char* format)
{
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Share of samples around the middle of the plot, where the background picture lies,
// that show the colour (grid lines cross some of them).
double plotShare(platform::TChart& chart, const QColor& colour)
{
    const QImage image = chart.RenderToImage(600, 400);
    int hits = 0, samples = 0;
    for (int x = 250; x < 350; x += 9)
        for (int y = 150; y < 250; y += 9) {
            const QColor c = image.pixelColor(x, y);
            ++samples;
            hits += std::abs(c.red() - colour.red()) < 40 && std::abs(c.green() - colour.green()) < 40 &&
                    std::abs(c.blue() - colour.blue()) < 40;
        }
    return double(hits) / samples;
}

TEST_F(Viewer, FirstBackgroundPictureFoundIsUsed)
{
    const struct {
        const char* name;
        QStringList files;
        QColor expected;
    } cases[] = {
        {"all three", {"ChartPc1.jpeg", "ChartPc1.jpg", "ChartPc1.bmp"}, Qt::green},
        {"jpg beats bmp", {"ChartPc1.jpg", "ChartPc1.bmp"}, Qt::red},
        {"bmp alone", {"ChartPc1.bmp"}, Qt::blue},
        {"none", {}, Qt::white},
        {"name case counts", {"chartpc1.jpg"}, Qt::white},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempCwd folder;
        for (const QString& f : c.files) {
            if (f.endsWith(QLatin1String(".jpeg")))
                folder.file(f, picture(Qt::green, "JPG"));
            else if (f.endsWith(QLatin1String(".jpg")))
                folder.file(f, picture(Qt::red, "JPG"));
            else
                folder.file(f, picture(Qt::blue, "BMP"));
        }
        folder.file(QStringLiteral("dalvnow.dan"), DataFile({QStringLiteral("k1")}, {}));
        start();
        EXPECT_GT(plotShare(chart(), c.expected), 0.8);
        testsupport::DestroyViewerForms();
    }
}

// A picture that cannot be decoded leaves the plain back wall and the start goes on:
// the data file is charted and the timed reload runs.
TEST_F(Viewer, UndecodablePictureIsSkipped)
{
    for (const char* name : {"ChartPc1.jpeg", "ChartPc1.jpg", "ChartPc1.bmp"}) {
        SCOPED_TRACE(name);
        testsupport::TempCwd folder;
        folder.file(QString::fromLatin1(name), QByteArray("\xFF\xD8\xFF not a picture", 17));
        folder.file(QStringLiteral("ChartPc1.bmp"), picture(Qt::blue, "BMP"));
        folder.file(QStringLiteral("data.dan"), DataFile({QStringLiteral("k1")}, {{"2024-03-01", "12:00:00", "10"},
                                                                                  {"2024-03-01", "12:00:01", "20"}}));
        if (std::string(name) == "ChartPc1.bmp")
            folder.file(QStringLiteral("ChartPc1.bmp"), QByteArray("BM broken"));
        start({QStringLiteral("data.dan"), QStringLiteral("3")});
        EXPECT_FALSE(chart().HasBackImage());
        EXPECT_EQ(dataFileName(), "data.dan");
        EXPECT_EQ(chart().Series(0).Count(), 2);
        EXPECT_TRUE(DalvinterForm1->Timer1->Enabled());
        EXPECT_EQ(DalvinterForm1->Timer1->Interval(), 3000);
        EXPECT_DOUBLE_EQ(chart().LeftAxis().Minimum(), 10 - 0.2);
        EXPECT_TRUE(boxes.records().empty());
        testsupport::DestroyViewerForms();
    }
}

TEST_F(Viewer, DescriptionButtonNeedsTheDescriptionFile)
{
    const struct {
        const char* name;
        bool file;
        bool folder;
        bool enabled;
    } cases[] = {
        {"present", true, false, true},
        {"absent", false, false, false},
        {"a folder of that name", false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempCwd folder;
        folder.file(QStringLiteral("dalvnow.dan"), DataFile({QStringLiteral("k1")}, {}));
        if (c.file)
            folder.file(QStringLiteral("mhelp.pdf"), "%PDF-1.4");
        if (c.folder)
            folder.mkdir(QStringLiteral("mhelp.pdf"));
        start();
        EXPECT_EQ(DalvinterForm1->ToolButton8->Enabled(), c.enabled);
        testsupport::DestroyViewerForms();
    }
}

TEST_F(Viewer, WindowAsCreated)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1});
    start();
    TDalvinterForm1& w = *DalvinterForm1;
    EXPECT_EQ(w.Caption(), QStringLiteral("VESK  Dalvinter"));
    EXPECT_EQ(w.ClientWidth(), 1028);
    EXPECT_EQ(w.ClientHeight(), 759);
    EXPECT_EQ(w.Position(), vcl::poScreenCenter);
    ASSERT_EQ(w.StatusBar1->PanelCount(), 4);
    const int widths[] = {150, 70, 70, 50};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(w.StatusBar1->Panels(i)->Width(), widths[i]);
    EXPECT_EQ(chart().SeriesCount(), 81);
    EXPECT_EQ(chart().MaxPointsPerPage(), 32000);
    EXPECT_EQ(chart().LegendAlignment(), platform::laLeft);
    EXPECT_TRUE(chart().LegendVisible());
    EXPECT_FALSE(chart().View3D());
    EXPECT_FALSE(chart().LeftAxis().LabelsVisible());
    EXPECT_TRUE(chart().RightAxis().LabelsVisible());
    EXPECT_FALSE(chart().TitleVisible());
    EXPECT_FALSE(w.fitMode);
    EXPECT_FALSE(w.marksMode);
    EXPECT_TRUE(w.reportPrefix.empty());
    EXPECT_EQ(QString::fromLocal8Bit(w.startDir), cwd.path());

    QStringList menus;
    for (QAction* top : w.MainMenu1->actions()) {
        QStringList items;
        for (QAction* a : top->menu()->actions())
            items << (a->isSeparator() ? QStringLiteral("-") : vcl::MenuCaption(a));
        menus << top->text() + QStringLiteral(": ") + items.join(QStringLiteral(", "));
    }
    EXPECT_EQ(menus,
              (QStringList{
                  QStringLiteral("&Plik: &Nowy wykres, Zapisz jako, -, &Drukuj, -, &Zamkinij"),
                  QStringLiteral("&Edycja: &Kopiuj, -, Widok 3D, Kolor tła, -, Dodaj legende, -, Zwiększ, Zmniejsz"),
                  QStringLiteral("&Pomoc: &Opis, &Index, -, Internetowa Pomoc Techniczna, -, O &programie"),
              }));
    EXPECT_EQ(DalvinterForm3->Caption(), QStringLiteral("Parametry pomiaru."));
    EXPECT_FALSE(DalvinterForm3->isVisible());
}

// ---- Axis fit.

TEST_F(Viewer, FitSetsBothAxesFromTheLoadedValues)
{
    const struct {
        const char* name;
        QByteArray file;
        double min, max;
    } cases[] = {
        {"10 to 20",
         DataFile({"a", "b"}, {{"2024-03-01", "12:00:00", "10", "15"}, {"2024-03-01", "12:00:01", "20", "12"}}), 9.8,
         20.2},
        {"all 25", DataFile({"a"}, {{"2024-03-01", "12:00:00", "25"}, {"2024-03-01", "12:00:01", "25"}}), 25, 25},
        {"no value", DataFile({"a", "b"}, {}), 15, 30},
        {"negative", DataFile({"a"}, {{"12:00:00", "-4.5"}, {"12:00:01", "-0.5"}}), -4.58, -0.42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write(QStringLiteral("dalvnow.dan"), c.file);
        start();
        for (int round = 0; round < 2; ++round) {
            for (platform::TChartAxis* axis : {&chart().LeftAxis(), &chart().RightAxis()}) {
                EXPECT_NEAR(axis->Minimum(), c.min, 1e-6);
                EXPECT_NEAR(axis->Maximum(), c.max, 1e-6);
            }
            // Again from a range wholly above the new one.
            chart().LeftAxis().SetMinMax(50, 60);
            chart().RightAxis().SetMinMax(50, 60);
            DalvinterForm1->Dopasuj1Execute(nullptr);
        }
        testsupport::DestroyViewerForms();
    }
}

// A value beyond the float range ("9e99") is held as an infinity. The fit keeps both
// axes on finite limits that still take in the file's other values, and the info form
// names the infinite extreme.
TEST_F(Viewer, FitStaysFiniteForValuesBeyondTheFloatRange)
{
    const struct {
        const char* name;
        QList<QStringList> readings;
        const char* min; // as the info form shows them
        const char* max;
    } cases[] = {
        {"above", {{"2024-03-01", "12:00:00", "10"}, {"2024-03-01", "12:00:01", "9e99"}}, "10", "INF"},
        {"below", {{"2024-03-01", "12:00:00", "-9e99"}, {"2024-03-01", "12:00:01", "10"}}, "-INF", "10"},
        {"both", {{"2024-03-01", "12:00:00", "-9e99", "10"}, {"2024-03-01", "12:00:01", "9E99", "10"}}, "-INF", "INF"},
        // An infinity is never below the smallest value's start, which stays.
        {"only", {{"2024-03-01", "12:00:00", "9e99"}}, "100000000", "INF"},
        {"words", {{"12:00:00", "inf", "10"}, {"12:00:01", "-Infinity", "nan"}}, "-INF", "INF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write(QStringLiteral("dalvnow.dan"), DataFile({"a", "b"}, c.readings));
        start();
        DalvinterForm1->ToolButton21->click(); // the fit runs again with the toggle down
        for (platform::TChartAxis* axis : {&chart().LeftAxis(), &chart().RightAxis()}) {
            EXPECT_TRUE(std::isfinite(axis->Minimum())) << axis->Minimum();
            EXPECT_TRUE(std::isfinite(axis->Maximum())) << axis->Maximum();
            EXPECT_LT(axis->Minimum(), axis->Maximum());
            EXPECT_TRUE(std::isfinite(axis->ShownMinimum()) && std::isfinite(axis->ShownMaximum()));
            if (std::string(c.name) != "only") {
                EXPECT_LE(axis->Minimum(), 10);
                EXPECT_GE(axis->Maximum(), 10);
            }
        }
        EXPECT_EQ(DalvinterForm3->Label1min->Caption(), QString::fromLatin1(c.min));
        EXPECT_EQ(DalvinterForm3->Label4max->Caption(), QString::fromLatin1(c.max));
        EXPECT_FALSE(chart().RenderToImage(400, 300).isNull());
        testsupport::DestroyViewerForms();
    }
}

// The fit toggle fills the info form's value and time labels in the general format,
// also when nothing was read.
TEST_F(Viewer, FitToggleFillsTheInfoForm)
{
    write(QStringLiteral("dalvnow.dan"),
          DataFile({"a"}, {{"2024-03-01", "12:00:00", "21.3"}, {"2024-03-01", "12:00:05", "-2"}}));
    start();
    DalvinterForm1->ToolButton21->click();
    EXPECT_TRUE(DalvinterForm1->ToolButton21->Down());
    EXPECT_TRUE(DalvinterForm1->fitMode);
    EXPECT_EQ(DalvinterForm3->Label1min->Caption(), QStringLiteral("-2"));
    EXPECT_EQ(DalvinterForm3->Label3tmin->Caption(), QStringLiteral("12:00:05"));
    EXPECT_EQ(DalvinterForm3->Label4max->Caption(), QStringLiteral("21.2999992370605"));
    EXPECT_EQ(DalvinterForm3->Label5tmax->Caption(), QStringLiteral("12:00:00"));
    EXPECT_FALSE(DalvinterForm3->isVisible());

    write(QStringLiteral("dalvnow.dan"), DataFile({"a"}, {}));
    DalvinterForm1->New2chart1Execute(nullptr);
    DalvinterForm1->ToolButton21->click();
    EXPECT_FALSE(DalvinterForm1->ToolButton21->Down());
    EXPECT_EQ(DalvinterForm3->Label1min->Caption(), QStringLiteral("100000000"));
    EXPECT_EQ(DalvinterForm3->Label4max->Caption(), QStringLiteral("-100000000"));
}

// ---- Zoom.

TEST_F(Viewer, ZoomOutReturnsToTheRangeBeforeTheFirstZoom)
{
    const struct {
        const char* name;
        bool fitDown;
        double min, max; // the range zoom out returns to
    } cases[] = {
        {"fit up", false, 0, 100},
        {"fit down", true, 9.8, 20.2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeSeries(QStringLiteral("dalvnow.dan"), {10, 12, 14, 16, 20});
        start();
        if (c.fitDown)
            DalvinterForm1->ToolButton21->click();
        chart().LeftAxis().SetMinMax(0, 100);
        chart().RightAxis().SetMinMax(0, 100);
        const double bottomMin = chart().BottomAxis().ShownMinimum();
        const double bottomMax = chart().BottomAxis().ShownMaximum();

        DalvinterForm1->ToolButton16->click();
        EXPECT_DOUBLE_EQ(chart().LeftAxis().ShownMinimum(), 25);
        EXPECT_DOUBLE_EQ(chart().LeftAxis().ShownMaximum(), 75);
        DalvinterForm1->ToolButton16->click();
        EXPECT_DOUBLE_EQ(chart().RightAxis().ShownMinimum(), 37.5);
        EXPECT_DOUBLE_EQ(chart().RightAxis().ShownMaximum(), 62.5);
        EXPECT_TRUE(chart().AnimatedZoom());

        DalvinterForm1->ToolButton17->click();
        for (platform::TChartAxis* axis : {&chart().LeftAxis(), &chart().RightAxis()}) {
            EXPECT_NEAR(axis->ShownMinimum(), c.min, 1e-6);
            EXPECT_NEAR(axis->ShownMaximum(), c.max, 1e-6);
        }
        EXPECT_DOUBLE_EQ(chart().BottomAxis().ShownMinimum(), bottomMin);
        EXPECT_DOUBLE_EQ(chart().BottomAxis().ShownMaximum(), bottomMax);
        testsupport::DestroyViewerForms();
    }
}

// ---- Clicking points and value marks.

class ViewerShown : public Viewer {
protected:
    void showWith(const QList<double>& values)
    {
        writeSeries(QStringLiteral("dalvnow.dan"), values);
        start();
        DalvinterForm1->Show();
        ASSERT_TRUE(testsupport::WaitUntil([] { return DalvinterForm1->isVisible(); }));
        chart().Repaint();
        testsupport::ProcessPending();
    }
    // A user's click on point i of series 1.
    void clickPoint(int i)
    {
        const platform::TLineSeries& s = chart().Series(0);
        testsupport::MouseClick(&chart(), QPoint(s.CalcXPos(i), s.CalcYPos(i)));
    }
};

TEST_F(ViewerShown, ClickedPointShowsSeriesAndValueAsHeld)
{
    const struct {
        double value;
        const char* shown;
    } cases[] = {
        {21.3, "Y= 21.2999992370605"},
        {-3, "Y= -3"},
        {0.1, "Y= 0.100000001490116"},
        {12.5, "Y= 12.5"},
        {31.5, "Y= 31.5"},
    };
    QList<double> values;
    for (const auto& c : cases)
        values << c.value;
    // A Polish desktop's C library writes a decimal comma; the viewer writes its own texts.
    testsupport::UnderCAndPolishLocale([&] {
        ASSERT_NO_FATAL_FAILURE(showWith(values + QList<double>{5})); // none clicked on the plot's edge
        for (int i = 0; i < int(std::size(cases)); ++i) {
            SCOPED_TRACE(i);
            clickPoint(i);
            EXPECT_EQ(panel(1), QStringLiteral("k1"));
            EXPECT_EQ(panel(2), QString::fromLatin1(cases[i].shown));
        }
        DalvinterForm1->ToolButton21->click();
        EXPECT_EQ(DalvinterForm3->Label4max->Caption(), QStringLiteral("31.5"));
        EXPECT_EQ(DalvinterForm3->Label1min->Caption(), QStringLiteral("-3"));
        testsupport::DestroyViewerForms();
    });
}

// A zoom is drawn in six steps from the range shown before to the new one, each step on
// the screen before the next, so the eye follows where the chart goes.
TEST_F(ViewerShown, ZoomIsAnimatedInSixSteps)
{
    const struct {
        const char* name;
        std::function<void()> zoom;
    } cases[] = {
        {"Zwiększ", [] { DalvinterForm1->ToolButton16->click(); }},
        {"dragged rectangle",
         [this] {
             const QRect plot = chart().axisRect()->rect();
             testsupport::MouseDrag(&chart(), plot.topLeft() + QPoint(plot.width() / 4, plot.height() / 4),
                                    plot.center());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(showWith({10, 12, 14, 16, 20}));
        chart().LeftAxis().SetMinMax(0, 100);
        chart().RightAxis().SetMinMax(0, 100);
        chart().Repaint();
        testsupport::ProcessPending();
        const QCPRange fromBottom(chart().BottomAxis().ShownMinimum(), chart().BottomAxis().ShownMaximum());
        std::vector<QCPRange> frames, bottomFrames;
        const QMetaObject::Connection drawn = QObject::connect(&chart(), &QCustomPlot::afterReplot, [&] {
            frames.push_back(chart().yAxis2->range());
            bottomFrames.push_back(chart().xAxis->range());
        });
        c.zoom();
        QObject::disconnect(drawn);
        const QCPRange to(chart().RightAxis().ShownMinimum(), chart().RightAxis().ShownMaximum());
        const QCPRange toBottom(chart().BottomAxis().ShownMinimum(), chart().BottomAxis().ShownMaximum());
        ASSERT_LT(to.size(), 100);
        ASSERT_EQ(frames.size(), 6u);
        for (int k = 1; k <= 6; ++k) {
            SCOPED_TRACE(k);
            EXPECT_NEAR(frames[k - 1].lower, to.lower * k / 6, 1e-9);
            EXPECT_NEAR(frames[k - 1].upper, 100 + (to.upper - 100) * k / 6, 1e-9);
            EXPECT_NEAR(bottomFrames[k - 1].lower, fromBottom.lower + (toBottom.lower - fromBottom.lower) * k / 6,
                        1e-9);
        }
        testsupport::DestroyViewerForms();
    }
}

TEST_F(ViewerShown, MarksFollowTheLabToggle)
{
    ASSERT_NO_FATAL_FAILURE(showWith({10, 20, 15}));
    platform::TLineSeries& s = chart().Series(0);

    clickPoint(1);
    EXPECT_FALSE(s.MarksVisible()) << "with \"Lab\" up a click only writes the status texts";

    DalvinterForm1->ToolButton26->click();
    ASSERT_TRUE(DalvinterForm1->ToolButton26->Down());
    EXPECT_TRUE(DalvinterForm1->marksMode);
    clickPoint(1);
    EXPECT_TRUE(s.MarksVisible());
    clickPoint(1);
    EXPECT_FALSE(s.MarksVisible());
    clickPoint(1);
    EXPECT_TRUE(s.MarksVisible());

    // Either way the toggle goes, every mark is hidden.
    for (bool down : {false, true}) {
        chart().Series(5).SetMarksVisible(true);
        s.SetMarksVisible(true);
        DalvinterForm1->ToolButton26->click();
        EXPECT_EQ(DalvinterForm1->ToolButton26->Down(), down);
        for (int i = 0; i < chart().SeriesCount(); ++i)
            EXPECT_FALSE(chart().Series(i).MarksVisible()) << i;
    }
}

TEST_F(ViewerShown, StatusBarDoubleClickShowsTheWholePath)
{
    ASSERT_NO_FATAL_FAILURE(showWith({1}));
    EXPECT_TRUE(DalvinterForm1->StatusBar1->Hint().isEmpty());
    testsupport::MouseDoubleClick(DalvinterForm1->StatusBar1);
    EXPECT_EQ(DalvinterForm1->StatusBar1->Hint(), QStringLiteral("dalvnow.dan"));
}

// ---- The shown page of points.

TEST_F(Viewer, ChartShowsTheFirst32000Lines)
{
    QByteArray bytes = "DataTime k1\r\n";
    for (int i = 0; i < 40000; ++i)
        bytes += QStringLiteral("2024-03-01 %1:%2:%3 %4\r\n")
                     .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
                     .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                     .arg(i % 60, 2, 10, QLatin1Char('0'))
                     .arg(i)
                     .toLatin1();
    write(QStringLiteral("dalvnow.dan"), bytes);
    start();
    const platform::TLineSeries& s = chart().Series(0);
    EXPECT_EQ(s.FirstValueIndex(), 0);
    EXPECT_EQ(s.LastValueIndex(), 31999);
    EXPECT_DOUBLE_EQ(chart().BottomAxis().ShownMaximum(), 31999);
    EXPECT_EQ(s.Label(s.LastValueIndex()), "2024-03-01 08:53:19");
}

// ---- Printing.

TEST_F(Viewer, PrintTitleNamesTheFirstAndLastVisiblePoint)
{
    const struct {
        const char* name;
        QList<double> values;
        int zooms;
        std::string title;
    } cases[] = {
        {"whole", {1, 2, 3}, 0, ", Raport od 2021-05-01 10:00:00 do 2021-05-01 12:00:00"},
        {"zoomed", {1, 2, 3, 4, 5}, 1, ", Raport od 2021-05-01 11:00:00 do 2021-05-01 13:00:00"},
        {"no point", {}, 0, ", Raport od  do "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeSeries(QStringLiteral("dalvnow.dan"), c.values);
        start();
        for (int i = 0; i < c.zooms; ++i)
            DalvinterForm1->ZoomInExecute(nullptr);
        const QString pdf = cwd.path() + QStringLiteral("/%1.pdf").arg(QString::fromLatin1(c.name).remove(' '));
        dialogs.answerPrintToPdf(pdf);
        DalvinterForm1->ToolButton4->click();
        EXPECT_EQ(chart().TitleText(), c.title);
        EXPECT_FALSE(chart().TitleVisible());
        EXPECT_EQ(panel(0), QStringLiteral("Koniec wydruku"));
        EXPECT_FALSE(chart().PrintProportional());
        const platform::TPrintMargins m = chart().PrintMargins();
        EXPECT_EQ(m.Left + m.Top + m.Right + m.Bottom, 0);
        QFile f(pdf);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.read(5) == "%PDF-");
        testsupport::DestroyViewerForms();
    }
}

TEST_F(Viewer, FailedPrintIsReportedAndHidesTheTitle)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1, 2});
    start();
    dialogs.answerPrintToPdf(cwd.path() + QStringLiteral("/no/such/folder/wykres.pdf"));
    DalvinterForm1->ToolButton4->click();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_TRUE(boxes.records()[0].text.startsWith(QStringLiteral("Nie można wydrukować wykresu do pliku")));
    EXPECT_FALSE(chart().TitleVisible());
    EXPECT_NE(panel(0), QStringLiteral("Koniec wydruku"));
}

TEST_F(Viewer, CancelledPrintChangesNothing)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1, 2});
    start();
    dialogs.cancel();
    DalvinterForm1->ToolButton4->click();
    EXPECT_EQ(chart().TitleText(), "Pomiar");
    EXPECT_EQ(panel(0), QStringLiteral("Wprowadź dane Plik|Nowy"));
}

// ---- Timed reload.

TEST_F(Viewer, ReloadToggleLoadsAtOnceAndStops)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1, 2});
    start();
    ASSERT_FALSE(DalvinterForm1->Timer1->Enabled());
    writeSeries(QStringLiteral("dalvnow.dan"), {1, 2, 3});
    DalvinterForm1->ToolButton14->click();
    EXPECT_TRUE(DalvinterForm1->Timer1->Enabled());
    EXPECT_TRUE(DalvinterForm1->ToolButton14->Down());
    EXPECT_EQ(chart().Series(0).Count(), 3);

    DalvinterForm1->ToolButton14->click();
    EXPECT_FALSE(DalvinterForm1->Timer1->Enabled());
    EXPECT_FALSE(DalvinterForm1->ToolButton14->Down());
    writeSeries(QStringLiteral("dalvnow.dan"), {1, 2, 3, 4});
    EXPECT_EQ(chart().Series(0).Count(), 3);
}

TEST_F(Viewer, ReloadTickFollowsTheFile)
{
    writeSeries(QStringLiteral("data.dan"), {10, 20});
    start({QStringLiteral("data.dan"), QStringLiteral("1")});
    ASSERT_EQ(chart().Series(0).Count(), 2);
    writeSeries(QStringLiteral("data.dan"), {10, 20, 30});
    EXPECT_TRUE(testsupport::WaitUntil([&] { return chart().Series(0).Count() == 3; }, 3000))
        << "the 1 s reload did not pick up the new line";

    // A missing file loads nothing and keeps the chart; the fit still runs when Down.
    DalvinterForm1->ToolButton21->click();
    QFile::remove(QStringLiteral("data.dan"));
    chart().LeftAxis().SetMinMax(0, 1000);
    DalvinterForm1->Timer1Timer(nullptr);
    EXPECT_EQ(chart().Series(0).Count(), 3);
    EXPECT_NEAR(chart().LeftAxis().Maximum(), 30 + 0.4, 1e-6);
}

// A logger writes its reading "2024-03-01 12:00:10 95.5 60.0" in two pieces, and a
// reload tick comes between them. The half line is not charted: k1 does not dip to 9,
// k2 does not repeat its value, and the fit keeps to the readings. The next tick charts
// the line once complete, or as it stands once the file has stopped changing.
TEST_F(Viewer, HalfWrittenLastLineWaitsForTheNextReload)
{
    const QByteArray readings =
        DataFile({QStringLiteral("k1"), QStringLiteral("k2")},
                 {{"2024-03-01", "12:00:08", "95.0", "60.5"}, {"2024-03-01", "12:00:09", "95.2", "60.3"}});
    const auto values = [this](int q) {
        std::vector<float> out;
        for (int i = 0; i < chart().Series(q).Count(); ++i)
            out.push_back(float(chart().Series(q).YValue(i)));
        return out;
    };
    const struct {
        const char* name;
        QByteArray rest; // what the logger writes after the tick
        std::vector<float> k1, k2;
        const char* lastLabel;
    } cases[] = {
        {"line completed", "5.5 60.0\r\n", {95.0f, 95.2f, 95.5f}, {60.5f, 60.3f, 60.0f}, "2024-03-01 12:00:10"},
        {"line completed, the next begun",
         "5.5 60.0\r\n2024-03-01 12:00:11 9",
         {95.0f, 95.2f, 95.5f},
         {60.5f, 60.3f, 60.0f},
         "2024-03-01 12:00:10"},
        {"writer stopped", "", {95.0f, 95.2f, 9.0f}, {60.5f, 60.3f, 60.3f}, "2024-03-01 12:00:10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = QFile::encodeName(write(QStringLiteral("data.dan"), readings)).toStdString();
        start({QStringLiteral("data.dan")});
        DalvinterForm1->ToolButton21->click();
        ASSERT_TRUE(DalvinterForm1->ToolButton21->Down());
        const double bottom = chart().LeftAxis().Minimum();
        const double top = chart().LeftAxis().Maximum();

        testsupport::appendBytes(file, "2024-03-01 12:00:10 9");
        DalvinterForm1->Timer1Timer(nullptr);
        EXPECT_EQ(values(0), (std::vector<float>{95.0f, 95.2f}));
        EXPECT_EQ(values(1), (std::vector<float>{60.5f, 60.3f}));
        EXPECT_EQ(chart().LeftAxis().Minimum(), bottom) << "the fit took in the half line";
        EXPECT_EQ(chart().LeftAxis().Maximum(), top);
        EXPECT_EQ(DalvinterForm3->Label1min->Caption(), QString::number(double(60.3f), 'g', 15));

        if (!c.rest.isEmpty())
            testsupport::appendBytes(file, c.rest.toStdString());
        DalvinterForm1->Timer1Timer(nullptr);
        EXPECT_EQ(values(0), c.k1);
        EXPECT_EQ(values(1), c.k2);
        EXPECT_EQ(chart().Series(0).Label(2), c.lastLabel);
        // The fit takes in what is charted, with its small margin.
        const float lowest =
            std::min(*std::min_element(c.k1.begin(), c.k1.end()), *std::min_element(c.k2.begin(), c.k2.end()));
        EXPECT_LE(chart().LeftAxis().Minimum(), lowest);
        EXPECT_GT(chart().LeftAxis().Minimum(), lowest - 3);
        testsupport::DestroyViewerForms();
    }
}

// A file that ends without a line break is shown whole when the viewer starts, and its
// last line once, also at reload ticks that find the file unchanged.
TEST_F(Viewer, FileWithoutFinalLineBreakShowsItsLastLine)
{
    QByteArray bytes = DataFile({QStringLiteral("k1")}, {{"2024-03-01", "12:00:08", "21.5"}});
    bytes += "2024-03-01 12:00:09 7.25";
    write(QStringLiteral("data.dan"), bytes);
    start({QStringLiteral("data.dan")});
    for (int tick = 0; tick < 3; ++tick) {
        SCOPED_TRACE(tick);
        ASSERT_EQ(chart().Series(0).Count(), 2);
        EXPECT_EQ(chart().Series(0).YValue(1), 7.25);
        EXPECT_EQ(chart().Series(0).Label(1), "2024-03-01 12:00:09");
        DalvinterForm1->Timer1Timer(nullptr);
    }
}

// A reading corrected in place (same length) is shown by the next reload, and the
// open command charts the chosen file anew, also when it is the one already charted.
// The reading lies well past the file's first block, so that a reload that compared only
// the beginning of the file would miss it.
TEST_F(Viewer, ValueChangedInPlaceIsShown)
{
    constexpr int corrected = 1500;
    QList<QStringList> readings;
    for (int i = 0; i < 2000; ++i)
        readings << QStringList{QStringLiteral("2021-05-01"),
                                QTime(10, 0).addSecs(i).toString(QStringLiteral("hh:mm:ss")),
                                QString::number(10 + i % 7)};
    const struct {
        const char* name;
        std::function<void()> act;
    } cases[] = {
        {"reload button", [] { DalvinterForm1->ToolButton14->click(); }},
        {"reload tick", [] { DalvinterForm1->Timer1Timer(nullptr); }},
        {"open command",
         [this] {
             dialogs.answerFile(cwd.path() + QStringLiteral("/data.dan"));
             DalvinterForm1->ToolButton1->click();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = write(QStringLiteral("data.dan"), DataFile({QStringLiteral("k1")}, readings));
        start({QStringLiteral("data.dan")});
        ASSERT_EQ(chart().Series(0).YValue(corrected), 10 + corrected % 7);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        int at = 0;
        for (int line = 0; line <= corrected; ++line) // past the header and the readings before
            at = bytes.indexOf('\n', at) + 1;
        at = bytes.indexOf(' ', bytes.indexOf(' ', at) + 1) + 1;
        ASSERT_GT(at, 8 * 4096);
        ASSERT_EQ(bytes.mid(at, 2), "12");
        bytes[at] = '9';
        ASSERT_TRUE(f.seek(0));
        ASSERT_EQ(f.write(bytes), bytes.size());
        f.close();
        c.act();
        EXPECT_EQ(chart().Series(0).YValue(corrected), 92);
        EXPECT_EQ(chart().Series(0).Count(), 2000);
        testsupport::DestroyViewerForms();
    }
}

// A FIFO or a device chosen in the open dialog is no data file: the viewer neither
// waits for a writer nor reads a device for good. The chart is left empty, with the
// name in the status bar, as for a file that cannot be opened. Should the viewer wait,
// a watchdog lets it go after a few seconds, and the test fails on the time taken.
TEST_F(Viewer, OpenCommandTakesOnlyPlainFiles)
{
    writeSeries(QStringLiteral("data.dan"), {1, 2, 3});
    const QString fifo = cwd.path() + QStringLiteral("/kolejka.dan");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A terminal device under a data file's name, through a link.
    testsupport::PtyDevice device;
    const QString terminal = cwd.path() + QStringLiteral("/urzadzenie.dan");
    ASSERT_EQ(::symlink(device.path().c_str(), QFile::encodeName(terminal).constData()), 0);
    const struct {
        const char* name;
        QString path;
        std::function<void()> release; // ends a wait that has begun
    } cases[] = {
        {"fifo", fifo,
         [&] {
             const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
             if (fd >= 0)
                 ::close(fd);
         }},
        {"terminal device", terminal, [&] { device.hangUp(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start({QStringLiteral("data.dan"), QStringLiteral("1")});
        ASSERT_EQ(chart().Series(0).Count(), 3);
        dialogs.answerFile(c.path);
        qint64 ms;
        {
            testsupport::WaitBreaker breaker(c.release, std::chrono::seconds(5));
            QElapsedTimer took;
            took.start();
            DalvinterForm1->ToolButton1->click();
            DalvinterForm1->Timer1Timer(nullptr);
            ms = took.elapsed();
        }
        EXPECT_LT(ms, 4000) << "the viewer waited on the " << c.name;
        EXPECT_EQ(dataFileName(), c.path.toStdString());
        EXPECT_EQ(chart().Series(0).Count(), 0);
        EXPECT_FALSE(chart().Series(0).Active());
        EXPECT_EQ(panel(3), QFileInfo(c.path).fileName());
        testsupport::DestroyViewerForms();
    }
}

// ---- Other commands.

TEST_F(Viewer, ViewTogglesShowTheirStateOnTheirButtons)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1});
    start();
    TDalvinterForm1& w = *DalvinterForm1;
    for (bool on : {true, false}) {
        w.ToolButton12->click();
        EXPECT_EQ(chart().View3D(), on);
        EXPECT_EQ(w.ToolButton12->Down(), on);
        w.ToolButton13->click();
        EXPECT_EQ(chart().LegendVisible(), !on) << "the first use hides the legend";
        EXPECT_EQ(w.ToolButton13->Down(), !on);
    }
}

TEST_F(Viewer, BackWallColour)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1});
    start();
    dialogs.answerColor(vcl::clYellow);
    DalvinterForm1->KolorTla1->trigger();
    EXPECT_EQ(chart().BackWallColor(), vcl::clYellow);
    dialogs.cancel();
    DalvinterForm1->KolorTla1->trigger();
    EXPECT_EQ(chart().BackWallColor(), vcl::clYellow);
    ASSERT_EQ(dialogs.records().size(), 2u);
}

TEST_F(Viewer, CopyPutsTheChartOnTheClipboardAndRestoresTheBars)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1, 2});
    start();
    DalvinterForm1->Show();
    TDalvinterForm1& w = *DalvinterForm1;
    w.ToolButton10->click();
    EXPECT_EQ(clipboard.copies(), 1);

    clipboard.failNext(QStringLiteral("Schowek jest zajęty"));
    EXPECT_THROW(w.EditCopy1Execute(nullptr), vcl::Exception);
    for (QWidget* bar : std::initializer_list<QWidget*>{w.MainMenu1, w.ToolBar1, w.StatusBar1})
        EXPECT_TRUE(vcl::Visible(bar));
    EXPECT_EQ(w.StatusBar1->geometry().bottom(), w.ClientHeight() - 1);
}

TEST_F(Viewer, SaveAsWritesABitmapOfTheChart)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1, 2});
    start();
    dialogs.answerFile(cwd.path() + QStringLiteral("/wykres"));
    DalvinterForm1->ZapiszJako1->trigger();
    ASSERT_EQ(dialogs.records().size(), 1u);
    EXPECT_EQ(dialogs.records()[0].filter, QStringLiteral("Bitmaps (*.bmp)|*.bmp"));
    const QImage saved(cwd.path() + QStringLiteral("/wykres.bmp"), "BMP");
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), chart().size());

    // A folder that cannot be written: the error box says so, nothing else changes.
    dialogs.answerFile(cwd.path() + QStringLiteral("/no/such/folder/wykres.bmp"));
    DalvinterForm1->ZapiszJako1->trigger();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_TRUE(boxes.records()[0].text.startsWith(QStringLiteral("Nie można zapisać wykresu")));

    // The charted data file itself is refused, and stays as it was.
    boxes.clear();
    const std::string data = testsupport::readBytes((cwd.path() + QStringLiteral("/dalvnow.dan")).toStdString());
    dialogs.answerFile(cwd.path() + QStringLiteral("/dalvnow.dan"));
    DalvinterForm1->ZapiszJako1->trigger();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_TRUE(boxes.records()[0].text.contains(QStringLiteral("jest otwarty w programie")))
        << boxes.records()[0].text.toStdString();
    EXPECT_EQ(testsupport::readBytes((cwd.path() + QStringLiteral("/dalvnow.dan")).toStdString()), data);
}

// The save dialog as the user meets it, with no script answering it. The folder set for
// it is a Windows one that this machine does not have: the dialog opens in the start
// folder instead, and its name field stays empty (Return there would have written a
// file of the folder's name into the filesystem's root).
TEST(ViewerSaveAsDialog, OpensInTheStartFolderWithAnEmptyName)
{
    testsupport::TempCwd cwd;
    cwd.file(QStringLiteral("dalvnow.dan"), DataFile({QStringLiteral("k1")}, {{"2024-03-01", "12:00:00", "1"}}));
    testsupport::CreateViewerForms();
    ASSERT_EQ(DalvinterForm1->SavePictureDialog1->InitialDir(), QStringLiteral("c:\\vesk\\dane"));
    QString folder, name;
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog || !dialog->isVisible())
                continue;
            seen = true;
            folder = dialog->directory().absolutePath();
            if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name = edit->text();
            dialog->reject();
            poll.stop();
        }
    });
    poll.start(20);
    DalvinterForm1->ZapiszJako1->trigger();
    ASSERT_TRUE(seen) << "no save dialog was shown";
    EXPECT_EQ(folder, cwd.path());
    EXPECT_EQ(name, QString());
    testsupport::DestroyViewerForms();
}

// Help, description and support page go through the shell from the start folder; a
// failure gives the system's error box.
TEST_F(Viewer, ShellCommands)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1});
    start();
    cwd.mkdir(QStringLiteral("other"));
    const QString startFolder = cwd.path();
    const struct {
        const char* name;
        QAction* item;
        const char* presentFile; // created in the start folder, or null
        bool shellAnswer;
        QString target; // what the shell is asked to open; empty: nothing
    } cases[] = {
        {"description", DalvinterForm1->Opis1, "mhelp.pdf", true, startFolder + QStringLiteral("/mhelp.pdf")},
        {"description missing", DalvinterForm1->Opis1, nullptr, true, QString()},
        {"help missing", DalvinterForm1->Index1, nullptr, true, QString()},
        {"help", DalvinterForm1->Index1, "WYK_TAZO.HLP", true, startFolder + QStringLiteral("/WYK_TAZO.HLP")},
        {"support", DalvinterForm1->PTechniczna, nullptr, true, QStringLiteral("/Support/PTDalvinter.html")},
        {"support fails", DalvinterForm1->PTechniczna, nullptr, false, QStringLiteral("/Support/PTDalvinter.html")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(startFolder + QStringLiteral("/mhelp.pdf"));
        QFile::remove(startFolder + QStringLiteral("/WYK_TAZO.HLP"));
        if (c.presentFile)
            cwd.file(QString::fromLatin1(c.presentFile), "x");
        boxes.clear();
        platform::ShellScript script;
        script.answer(c.shellAnswer);
        QDir::setCurrent(startFolder + QStringLiteral("/other"));
        c.item->trigger();
        const bool asked = !c.target.isEmpty();
        ASSERT_EQ(script.records().size(), asked ? 1u : 0u);
        if (asked) {
            const QUrl url = script.records()[0].url;
            EXPECT_TRUE(url.isLocalFile() ? url.toLocalFile() == c.target : url.path() == c.target)
                << url.toString().toStdString();
        }
        const bool fails = !asked || !c.shellAnswer;
        ASSERT_EQ(boxes.records().size(), fails ? 1u : 0u);
        if (fails) {
            EXPECT_EQ(boxes.records()[0].text, QStringLiteral("System WINDOWS zgłosił bląd...."));
            EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd..."));
            EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_OK | platform::MB_ICONERROR));
        }
    }
}

TEST_F(Viewer, AboutBoxIsShownModallyFromTheStartFolder)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1});
    start();
    const QString other = cwd.mkdir(QStringLiteral("other"));
    QDir::setCurrent(other);
    QString folderWhileShown;
    vcl::ModalScript modal;
    modal.act([&](vcl::TForm&) { folderWhileShown = QDir::currentPath(); });
    DalvinterForm1->Oprogramie1->trigger();
    EXPECT_EQ(modal.shown(), std::vector<QString>{QStringLiteral("O programie")});
    EXPECT_EQ(folderWhileShown, cwd.path()) << "the update files belong in the start folder";
}

TEST_F(Viewer, HiddenButtonFillsTheInfoFormsFreeLabels)
{
    writeSeries(QStringLiteral("my data.dan"), {1});
    start({QStringLiteral("my data.dan"), QStringLiteral("2")});
    DalvinterForm1->ToolButton25Click(nullptr);
    EXPECT_EQ(DalvinterForm3->Label5->Caption(), QStringLiteral("my data.dan"));
    EXPECT_EQ(DalvinterForm3->Label6->Caption(), QStringLiteral("11"));
    EXPECT_EQ(DalvinterForm3->Label7->Caption(), QStringLiteral("my data.dan"));
    EXPECT_EQ(DalvinterForm3->Label8->Caption(), QStringLiteral("Dalvinter \"my data.dan\" 2"));
    EXPECT_TRUE(DalvinterForm3->isVisible());
    DalvinterForm3->BitBtn1->click();
    EXPECT_FALSE(DalvinterForm3->isVisible()) << "OK closes the info form";
}

TEST_F(Viewer, ExitEndsTheViewer)
{
    writeSeries(QStringLiteral("dalvnow.dan"), {1});
    start();
    DalvinterForm1->Show();
    DalvinterForm1->Zamkinij1->trigger();
    EXPECT_TRUE(vcl::Application->Terminated());
}

} // namespace
