// The main road end to end: a data logger on a pseudo-terminal, the main window's live
// loop, and measurement windows recording named runs into their folders.

#include "tests/support/PtyDevice.h"
#include "tests/windows/WindowFixture.h"

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
    Form1->BitBtn3Click(Form1->BitBtn3);   // full view
    TForm6* w = open(0);
    toggle(w, 0);
    toggle(w, 2);
    start(w, QStringLiteral("rig1.dan"));  // starts the live acquisition too
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
    EXPECT_EQ(vcl::Lines(Form1->Memo1).ToList(),
              (QStringList{lines[0], lines[1], lines[2]}));
    EXPECT_EQ(Form1->Chart1->Series(2).Count(), 3);
    EXPECT_EQ(vcl::Cell(Form1->StringGrid1, 2, 1), QStringLiteral("19.9"));

    advance(500);
    w->BitBtn1->Click();   // STOP
    EXPECT_EQ(readFile(logOf(0, "rig1")), crlfLines({"00:00:01  21.4 19.8", "00:00:02  21.6 -3.5",
                                                     "00:00:03  21.5 19.9"}));
    EXPECT_EQ(readFile(windowDir(0) + "/rig1.txt"),
              crlfLines({"rig1", "2024-03-01 10:00", "2024-03-01 10:00", "-3.5", "21.6", "", "", "", "rig1.dan",
                         workDir, "."}));
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
    const QStringList inWindow2 =
        QDir(windowDir(1)).entryList({QStringLiteral("*.dan")}, QDir::Files);
    EXPECT_TRUE(inWindow2.isEmpty()) << inWindow2.join(' ').toStdString();
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(Form1->settings.windows[k].newSample, 0) << "every window consumed its flag";
}

TEST_F(Road, ARecordedSampleDrawsWithTheSlotsPenWidthAndFitsTheAxes)
{
    device.answer("?DAT &", "");
    Form1->settings.windows[0].penWidths[0] = 3;
    TForm6* w = open(0);   // shown: the width control takes the width of style slot 1
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
    expectAxes(17.5, 30.0);   // one value: span 0, widened

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
