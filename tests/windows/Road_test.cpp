// The main road end to end: a data logger on a pseudo-terminal, the main window's live
// loop, and measurement windows recording named runs into their folders, while the
// other roads that parse into the main window's measurement line run beside it.

#include "acquisition/PortCom.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/TcpPeer.h"
#include "tests/windows/WindowFixture.h"

#include <QFileInfo>

#include <functional>

using namespace windowtest;
using namespace std::chrono_literals;

namespace {

class Road : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Form2->NumerCom->SetText(QString::fromStdString(device.path()));
        Form2->czestoscPomiaru->SetText(QStringLiteral("00:00:01"));
    }
    // The device sends one line; the live loop completes it.
    void deviceSends(const std::string& line)
    {
        const int before = Form1->lineCounter;
        device.send(line + "\r\n");
        ASSERT_TRUE(testsupport::WaitUntil([&] { return Form1->lineCounter == before + 1; }));
    }
    QString logOf(int k, const char* name) const { return windowDir(k) + "/" + name + ".dan"; }

    testsupport::PtyDevice device;
};

} // namespace

TEST_F(Road, FullViewShowsTheLinesAndAWindowRecordsTwoChannels)
{
    device.answer("?DAT &", "");
    Form1->BitBtn3Click(Form1->BitBtn3); // full view
    TForm6* w = open(0);
    toggle(w, 0);
    toggle(w, 2);
    start(w, QStringLiteral("rig1.dan")); // starts the live acquisition too
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));

    const char* lines[] = {
        "2024-03-01 10:00:01 21.4 22.0 19.8",
        "2024-03-01 10:00:02 21.6 22.1 -3.5",
        "2024-03-01 10:00:03 21.5 22.3 19.9",
    };
    int ms[] = {1000, 1000, 1500};
    for (int i = 0; i < 3; ++i) {
        deviceSends(lines[i]);
        advance(ms[i]);
        w->Timer1Timer(w->Timer1);
    }
    // The full view listed every line and plotted every channel.
    EXPECT_EQ(vcl::Lines(Form1->Memo1).ToList(), (QStringList{lines[0], lines[1], lines[2]}));
    EXPECT_EQ(Form1->Chart1->Series(2).Count(), 3);
    EXPECT_EQ(vcl::Cell(Form1->StringGrid1, 2, 1), QStringLiteral("19.9"));

    advance(500);
    w->BitBtn1->Click(); // STOP
    EXPECT_EQ(readFile(logOf(0, "rig1")),
              crlfLines({"00:00:01  21.4 19.8", "00:00:02  21.6 -3.5", "00:00:03  21.5 19.9"}));
    EXPECT_EQ(readFile(windowDir(0) + "/rig1.txt"), crlfLines({"rig1", "2024-03-01 10:00", "2024-03-01 10:00", "-3.5",
                                                               "21.6", "", "", "", "rig1.dan", workDir, "."}));
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("STOP")) << "the acquisition goes on";
}

TEST_F(Road, StripViewThreeWindowsOnlyTheRecordingOnesWrite)
{
    device.answer("?DAT &", "");
    Form1->settings.windowCount = 3;
    TForm6* windows[3] = {open(0), open(1), open(2)};
    for (TForm6* w : windows)
        toggle(w, 1);
    start(windows[0], QStringLiteral("a.dan"));
    start(windows[2], QStringLiteral("c.dan"));
    // Window 2 is armed but not recording: its button still shows "START".
    windows[1]->Timer1Timer(windows[1]->Timer1);
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));

    deviceSends("2024-03-01 10:00:01 1.0 2.0 3.0");
    advance(1000);
    for (TForm6* w : windows)
        w->Timer1Timer(w->Timer1);
    deviceSends("2024-03-01 10:00:02 1.5 2.5 3.5");
    advance(1000);
    for (TForm6* w : windows)
        w->Timer1Timer(w->Timer1);

    EXPECT_EQ(vcl::Lines(Form1->Memo1).Count(), 0) << "the strip shows no live data";
    EXPECT_EQ(readFile(logOf(0, "a")), crlfLines({"00:00:01  2.0", "00:00:02  2.5"}));
    EXPECT_EQ(readFile(logOf(2, "c")), crlfLines({"00:00:01  2.0", "00:00:02  2.5"}));
    const QStringList inWindow2 = QDir(windowDir(1)).entryList({QStringLiteral("*.dan")}, QDir::Files);
    EXPECT_TRUE(inWindow2.isEmpty()) << inWindow2.join(' ').toStdString();
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(Form1->settings.windows[k].newSample, 0) << "every window consumed its flag";
}

TEST_F(Road, ARecordedSampleDrawsWithTheSlotsPenWidthAndFitsTheAxes)
{
    device.answer("?DAT &", "");
    Form1->settings.windows[0].penWidths[0] = 3;
    TForm6* w = open(0); // shown: the width control takes the width of style slot 1
    toggle(w, 1);
    start(w, QStringLiteral("fit.dan"));
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    const auto& series = w->Chart1->Series(0);
    const auto expectAxes = [&](double bottom, double top) {
        EXPECT_NEAR(w->Chart1->LeftAxis().Minimum(), bottom, 1e-6);
        EXPECT_NEAR(w->Chart1->LeftAxis().Maximum(), top, 1e-6);
        EXPECT_NEAR(w->Chart1->RightAxis().Minimum(), bottom, 1e-6);
        EXPECT_NEAR(w->Chart1->RightAxis().Maximum(), top, 1e-6);
    };

    deviceSends("2024-03-01 10:00:01 1.0 20.0");
    advance(1000);
    w->Timer1Timer(w->Timer1);
    ASSERT_EQ(series.Count(), 1);
    EXPECT_EQ(series.PenWidth(), 3);
    expectAxes(17.5, 30.0); // one value: span 0, widened

    deviceSends("2024-03-01 10:00:02 1.0 22.0");
    advance(1000);
    w->Timer1Timer(w->Timer1);
    EXPECT_EQ(series.PenWidth(), 3);
    expectAxes(17.46, 32.04);

    // The user's width goes to the slot and to the next point; without the fit tick
    // the axes stay where they are.
    w->UpDown2->ClickArrow(vcl::btNext);
    EXPECT_EQ(Form1->settings.windows[0].penWidths[0], 4);
    w->CheckBox1->SetChecked(false);
    deviceSends("2024-03-01 10:00:03 1.0 100.0");
    advance(1000);
    w->Timer1Timer(w->Timer1);
    ASSERT_EQ(series.Count(), 3);
    EXPECT_EQ(series.PenWidth(), 4);
    expectAxes(17.46, 32.04);
}

namespace {

// A run recorded while the browser, the TCP server and the device console parse their
// own lines into the main window's measurement line.
class RoadBesideOtherRoads : public Road {
protected:
    void SetUp() override
    {
        Road::SetUp();
        Form2->zapiszDoPliku->SetChecked(false);
        Form1->IdTCPServer1->DefaultPort = 0;
        Form1->IdTCPServer1->setActive(true);
        tcpDevice = testsupport::TcpPeer::connectTo(Form1->IdTCPServer1->boundPort());
        // The console talks to a second logger; the live road holds the first.
        acquisition::portCom = acquisition::PortCom{};
        acquisition::PortCom::timeScale = 0.2;
        acquisition::setText(acquisition::portCom.portSettings, consoleDevice.path());
        acquisition::portCom.baudRate = 115200;
    }
    void TearDown() override
    {
        Road::TearDown();
        acquisition::portCom = acquisition::PortCom{};
        acquisition::PortCom::timeScale = 1.0;
    }
    // Runs one step of another road and waits until it has parsed its line.
    static void otherRoadParses(const std::function<void()>& step)
    {
        const int before = Form1->newDataSteps;
        step();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return Form1->newDataSteps > before; }));
    }
    void browserLoads(const QString& name)
    {
        Form1->DirectoryListBox1->SetDirectory(storedDir);
        Form1->FileListBox1->Update();
        Form1->FileListBox1->SetFileName(name);
        ASSERT_EQ(QFileInfo(Form1->FileListBox1->FileName()).fileName(), name);
        Form1->FileListBox1DblClick(Form1->FileListBox1);
        ASSERT_FLOAT_EQ(Form1->parsedLine.values[0], 37.5f) << "the load parsed into the measurement line";
    }
    void tcpPeerSends(const std::string& line)
    {
        otherRoadParses([&] { ASSERT_TRUE(tcpDevice.send(line + "\r")); });
    }
    void consoleReads()
    {
        bool ended = false;
        Form1->commandText = "?DAT &";
        otherRoadParses([&] { ASSERT_TRUE(Form1->czytajrsExecute(Form1, [&] { ended = true; })); });
        ASSERT_TRUE(testsupport::WaitUntil([&] { return ended; }));
        ASSERT_FLOAT_EQ(Form1->parsedLine.values[0], 40.5f) << "the reading reached the measurement line";
    }

    testsupport::PtyDevice consoleDevice;
    QString storedDir = cwd.mkdir(QStringLiteral("zapisane"));
    testsupport::TcpPeer tcpDevice;
};

} // namespace

TEST_F(RoadBesideOtherRoads, OnlyTheLiveLinesReachTheRunLog)
{
    cwd.file(QStringLiteral("zapisane/stary.dan"), crlfLines({"00:00:01  37.5", "00:00:59  37.5"}));
    consoleDevice.answer("?DAT &", " 10:00:05 40.5 41.5\r\n\x1A");
    device.answer("?DAT &", "");
    Form1->BitBtn3Click(Form1->BitBtn3); // full view: the browser is at hand
    TForm6* w = open(0);
    toggle(w, 0);
    toggle(w, 1);
    start(w, QStringLiteral("bieg.dan"));
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));

    struct Case {
        const char* what;
        std::function<void()> before; // another road, before the device's line
        std::string line;             // the device's line
        std::function<void()> after;  // another road, between that line and the tick
        std::string row;
    } cases[] = {
        {"a stored run log opened in the browser",
         {},
         "2024-03-01 10:00:01 35.5 36.5",
         [&] { browserLoads(QStringLiteral("stary.dan")); },
         "00:00:01  35.5 36.5"},
        {"a TCP device's line",
         {},
         "2024-03-01 10:00:02 35.6 36.6",
         [&] { tcpPeerSends("2024-03-01 10:00:02 14.5 13.5"); },
         "00:00:02  35.6 36.6"},
        // The second value is the one this device's line before left.
        {"a TCP device with more channels, before a shorter line",
         [&] { tcpPeerSends("2024-03-01 10:00:03 14.5 14.5"); },
         "2024-03-01 10:00:03 27.0",
         {},
         "00:00:03  27.0 36.6"},
        {"a console reading from another logger",
         {},
         "2024-03-01 10:00:04 35.7 36.7",
         [&] { consoleReads(); },
         "00:00:04  35.7 36.7"},
        // A token that is no reading sets no value: its channel keeps this device's last one.
        {"a TCP device's line before a line with a token that is no reading",
         [&] { tcpPeerSends("2024-03-01 10:00:05 14.5 14.5"); },
         "2024-03-01 10:00:05 35.9 err 36.9",
         {},
         "00:00:05  35.9 36.7"},
    };
    QByteArray expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.before)
            c.before();
        deviceSends(c.line);
        if (c.after)
            c.after();
        advance(1000);
        w->Timer1Timer(w->Timer1);
        expected += crlfLines({c.row});
        EXPECT_EQ(readFile(logOf(0, "bieg")).toStdString(), expected.toStdString());
    }

    w->BitBtn1->Click(); // STOP
    const QList<QByteArray> properties = readFile(windowDir(0) + "/bieg.txt").split('\n');
    ASSERT_GT(properties.size(), 4);
    EXPECT_EQ(properties[3], "27.0\r") << "the smallest value the device sent";
    EXPECT_EQ(properties[4], "36.7\r");
}

TEST_F(Road, ALineOfAnotherShapeRecordsNoSample)
{
    device.answer("?DAT &", "");
    Form1->BitBtn3Click(Form1->BitBtn3); // full view
    TForm6* w = open(0);
    toggle(w, 0);
    start(w, QStringLiteral("ksztalt.dan"));
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    const char* lines[] = {"2024-03-01 10:00:01 21.4", "device restarted: 12:00", "2024-03-01 10:00:03 21.6"};
    for (const char* line : lines) {
        deviceSends(line);
        advance(1000);
        w->Timer1Timer(w->Timer1);
    }
    EXPECT_EQ(vcl::Lines(Form1->Memo1).Get(1), QStringLiteral("device restarted: 12:00")) << "it is still listed";
    EXPECT_EQ(readFile(logOf(0, "ksztalt")).toStdString(),
              crlfLines({"00:00:01  21.4", "00:00:03  21.6"}).toStdString());
}

TEST_F(Road, AFlagLeftInTheSettingsFileByTheLastSessionRecordsNothing)
{
    // The last session ended while the device's lines still raised the flags; this one
    // starts from the settings file it left.
    acquisition::SettingsBlock stored = testsupport::StoredSettings();
    for (int k = 0; k <= 8; ++k)
        stored.windows[k].newSample = 1;
    testsupport::DestroyProgramForms();
    cwd.file(QStringLiteral("settings.suap"), testsupport::BlockBytes(stored));
    SetUp();
    ASSERT_EQ(Form1->settings.windows[0].newSample, 1);

    device.answer("?DAT &", "");
    TForm6* w = open(0);
    toggle(w, 0);
    start(w, QStringLiteral("nowy.dan"));
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    advance(1000);
    w->Timer1Timer(w->Timer1);
    EXPECT_EQ(Form1->settings.windows[0].newSample, 0) << "the stale flag is consumed";
    deviceSends("2024-03-01 10:00:02 21.4");
    advance(1000);
    w->Timer1Timer(w->Timer1);
    EXPECT_EQ(readFile(logOf(0, "nowy")).toStdString(), crlfLines({"00:00:02  21.4"}).toStdString());
}
