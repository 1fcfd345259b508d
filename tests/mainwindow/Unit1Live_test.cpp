// The live road against a data logger on a pseudo-terminal: START, lines in the full
// view and the strip, a busy port, a silent device, a hang-up and lines that do not parse.

#include "acquisition/LivePort.h"
#include "acquisition/PortCom.h"
#include "platform/text/Convert.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtPrint.h"
#include "tests/support/QtTestApp.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using testsupport::PtyDevice;
using testsupport::WaitUntil;

namespace {

const QString wrongPort = QStringLiteral("Niewłaściwa nazwa portu lub port jest aktywny.");

class LiveRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::CreateProgramForms();
        Form2->czestoscPomiaru->SetText(QStringLiteral("00:00:01"));
        Form2->NumerCom->SetText(QString::fromStdString(device.path()));
        Form2->SzybkoscTransmisji->SetText(QStringLiteral("115600"));
    }
    void TearDown() override
    {
        if (Form1->acquisitionRunning)
            Form1->BitBtn4Click(Form1->BitBtn4);
        if (acquisition::comHandle > 0)
            acquisition::zamknijCom(acquisition::comHandle);
        acquisition::comHandle = 0;
        TForm1::emptyReadPauseMs = 100;
        testsupport::DestroyProgramForms();
        acquisition::portCom = acquisition::PortCom{};
        acquisition::PortCom::timeScale = 1.0;
    }
    int memoLines() const { return vcl::Lines(Form1->Memo1).Count(); }
    bool boxShown(const QString& text) const
    {
        for (const auto& r : boxes.records())
            if (r.text == text)
                return true;
        return false;
    }

    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    PtyDevice device;
};

} // namespace

TEST_F(LiveRoad, FullViewShowsEveryLineAndRaisesTheFlags)
{
    device.answerPeriodically(
        "?DAT &", {"2024-03-05 14:07:09 21.4 22.0 T 18.5\r\n", "2024-03-05 14:07:19 21.5 22.1 T 18.6\r\n"}, 20ms, true);
    Form1->BitBtn3Click(Form1->BitBtn3); // full view
    Form1->BitBtn4Click(Form1->BitBtn4);
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("STOP"));
    EXPECT_EQ(Form1->BitBtn4->FontColor(), vcl::clRed);
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    ASSERT_TRUE(WaitUntil([&] { return memoLines() >= 4; }));

    const auto lines = vcl::Lines(Form1->Memo1).ToList();
    EXPECT_EQ(lines[0], QStringLiteral("2024-03-05 14:07:09 21.4 22.0 T 18.5"));
    EXPECT_EQ(lines[1], QStringLiteral("2024-03-05 14:07:19 21.5 22.1 T 18.6"));
    EXPECT_EQ(Form1->parsedLine.channelCount, 3);
    EXPECT_EQ(Form1->StringGrid1->columnCount(), 3);
    EXPECT_EQ(vcl::Cell(Form1->StringGrid1, 2, 0), QStringLiteral("T"));
    EXPECT_TRUE(Form1->Chart1->Series(0).Active());
    EXPECT_FALSE(Form1->Chart1->Series(2).Active()) << "a status channel plots its point, then hides";
    EXPECT_GE(Form1->Chart1->Series(2).Count(), 4);
    for (int i = 0; i <= 8; ++i)
        EXPECT_EQ(Form1->settings.windows[i].newSample, 1) << i;
    EXPECT_EQ(Form1->settings.windows[9].newSample, 0);

    Form1->BitBtn4Click(Form1->BitBtn4);
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("START"));
    EXPECT_EQ(acquisition::comHandle, 0);
}

TEST_F(LiveRoad, SplitJoinedAndOddBytesLoseNoLine)
{
    Form1->BitBtn3Click(Form1->BitBtn3);
    Form1->BitBtn4Click(Form1->BitBtn4);
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    device.sendPieces({"2024-03-05 14:0", "7:09 1", " 2\n"}, 30ms);
    ASSERT_TRUE(device.waitUntilSent(2000ms));
    device.send("2024-03-05 14:07:10 3 4\n2024-03-05 14:07:11 5 6\n2024-03-05 14:07:1");
    device.send(std::string("2 7\0 8\n", 7));
    device.send("2024-03-05 14:07:13 \xB9 9\n");
    ASSERT_TRUE(WaitUntil([&] { return memoLines() >= 5; }));
    const auto lines = vcl::Lines(Form1->Memo1).ToList();
    EXPECT_EQ(lines[0], QStringLiteral("2024-03-05 14:07:09 1 2"));
    EXPECT_EQ(lines[1], QStringLiteral("2024-03-05 14:07:10 3 4"));
    EXPECT_EQ(lines[2], QStringLiteral("2024-03-05 14:07:11 5 6"));
    EXPECT_EQ(lines[3], QStringLiteral("2024-03-05 14:07:12 7 8"));
    EXPECT_EQ(lines[4], QStringLiteral("2024-03-05 14:07:13 ą 9"));
    EXPECT_EQ(Form1->lineCounter, 5);
}

TEST_F(LiveRoad, StripViewParsesButShowsNothing)
{
    device.answer("?DAT &", "2024-03-05 14:07:09 21.4 22.0\n");
    Form1->BitBtn4Click(Form1->BitBtn4);
    ASSERT_TRUE(WaitUntil([&] { return Form1->settings.windows[0].newSample == 1; }));
    EXPECT_FLOAT_EQ(Form1->parsedLine.values[1], 22.0f);
    EXPECT_EQ(memoLines(), 0);
    EXPECT_EQ(Form1->Chart1->Series(0).Count(), 0);
}

TEST_F(LiveRoad, ALineThatDoesNotParseIsReportedAndTheLoopGoesOn)
{
    Form1->BitBtn3Click(Form1->BitBtn3);
    Form1->BitBtn4Click(Form1->BitBtn4);
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    device.send("2024-03-05 14:07:09 1 -- 2\n");
    ASSERT_TRUE(
        WaitUntil([&] { return Form1->StatusBar1->Panels(2)->Text() == QStringLiteral("Błąd czytania pomiarów.."); }));
    device.send("2024-03-05 14:07:10 5 6\n");
    ASSERT_TRUE(WaitUntil([&] { return memoLines() >= 1; }));
    EXPECT_EQ(vcl::Lines(Form1->Memo1).Get(0), QStringLiteral("2024-03-05 14:07:10 5 6"));
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("STOP"));
}

TEST_F(LiveRoad, BusyPortIsReportedAndRetriedAtTheNextStart)
{
    ASSERT_TRUE(device.holdPort()) << device.holdError();
    Form1->BitBtn4Click(Form1->BitBtn4);
    EXPECT_TRUE(boxShown(wrongPort));
    EXPECT_EQ(acquisition::comHandle, -1);
    ASSERT_TRUE(WaitUntil([&] { return boxes.records().size() >= 2; }));
    EXPECT_EQ(boxes.records()[1].text, wrongPort) << "the first tick says it again";
    EXPECT_EQ(boxes.records()[1].title, QStringLiteral("Błąd"));
    EXPECT_FALSE(Form1->Timer2->Enabled());

    device.releasePort();
    device.answer("?DAT &", "2024-03-05 14:07:09 1\n");
    Form1->BitBtn4Click(Form1->BitBtn4); // STOP
    Form1->BitBtn4Click(Form1->BitBtn4); // START opens it now
    EXPECT_GT(acquisition::comHandle, 0);
    EXPECT_TRUE(device.waitForReceived("?DAT &", 2000ms));
}

TEST_F(LiveRoad, SilentDeviceEndsTheLoopWithAMessage)
{
    TForm1::emptyReadPauseMs = 1;
    Form1->BitBtn4Click(Form1->BitBtn4);
    const QString silent = QStringLiteral("Problem z komunikacją lub nie włączony miernik\r\n"
                                          ", Zamknij program i sprawdź miernik i połączenia!");
    ASSERT_TRUE(WaitUntil([&] { return boxShown(silent); }));
    EXPECT_EQ(acquisition::comHandle, 0);
    EXPECT_EQ(Form1->emptyReads, 0);
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("STOP"));
    EXPECT_FALSE(Form1->Timer2->Enabled());
}

TEST_F(LiveRoad, HangUpKeepsWhatArrivedAndSaysSo)
{
    Form1->BitBtn3Click(Form1->BitBtn3);
    Form1->BitBtn4Click(Form1->BitBtn4);
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    device.send("2024-03-05 14:07:09 1 2\n");
    ASSERT_TRUE(WaitUntil([&] { return memoLines() == 1; }));
    ASSERT_TRUE(device.waitUntilSent(2000ms));
    device.hangUp();
    ASSERT_TRUE(WaitUntil([&] { return boxShown(QStringLiteral("Problem z komunikacją, sprawdź połączenia..")); }));
    EXPECT_EQ(acquisition::comHandle, 0);
    EXPECT_EQ(memoLines(), 1);
    EXPECT_FLOAT_EQ(Form1->parsedLine.values[1], 2.0f);
}

TEST_F(LiveRoad, ALineOfAnotherShapeIsListedButIsNoSample)
{
    Form1->BitBtn3Click(Form1->BitBtn3);
    Form1->BitBtn4Click(Form1->BitBtn4);
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    device.send("2024-03-05 14:07:09 1 2\n");
    ASSERT_TRUE(WaitUntil([&] { return memoLines() == 1; }));
    for (auto& w : Form1->settings.windows)
        w.newSample = 0;
    device.send("device restarted: 12:00\n");
    ASSERT_TRUE(WaitUntil([&] { return memoLines() == 2; }));
    EXPECT_EQ(vcl::Lines(Form1->Memo1).Get(1), QStringLiteral("device restarted: 12:00"));
    EXPECT_EQ(Form1->Chart1->Series(0).Count(), 1) << "the previous values are not plotted again";
    EXPECT_EQ(Form1->settings.windows[0].newSample, 0) << "no sample for the measurement windows";
}

TEST_F(LiveRoad, BadPeriodOrSpeedStopsStartWithTheConversionError)
{
    Form2->czestoscPomiaru->SetText(QStringLiteral("abc"));
    EXPECT_THROW(Form1->BitBtn4Click(Form1->BitBtn4), rtl::EConvertError);
    EXPECT_EQ(acquisition::comHandle, 0) << "nothing was opened";
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("START"));

    Form2->czestoscPomiaru->SetText(QStringLiteral("00:00:01"));
    Form2->SzybkoscTransmisji->SetText(QStringLiteral("fast"));
    EXPECT_THROW(Form1->BitBtn4Click(Form1->BitBtn4), rtl::EConvertError);
    EXPECT_GT(acquisition::comHandle, 0) << "the port stays open with its previous settings";
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("START"));

    // The next START sends its request on that port.
    Form1->BitBtn4Click(Form1->BitBtn4);
    EXPECT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("STOP"));
}

TEST_F(LiveRoad, ThePeriodsWholeSecondsAreTheLoopIntervalInMilliseconds)
{
    struct Case {
        const char* period;
        int wholeSeconds;
    } cases[] = {
        {"00:00:10", 10},
        {"00:01:05", 65},
        {"01:00:00", 3600},
        {"23:59:59", 86399},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.period);
        Form2->czestoscPomiaru->SetText(QString::fromLatin1(c.period));
        Form1->BitBtn4Click(Form1->BitBtn4);
        EXPECT_EQ(Form1->acqIntervalMs, c.wholeSeconds);
        EXPECT_EQ(Form1->Timer2->Interval(), c.wholeSeconds) << "taken as milliseconds";
        EXPECT_TRUE(Form1->Timer2->Enabled());
        Form1->BitBtn4Click(Form1->BitBtn4);
    }
}

TEST_F(LiveRoad, The101stEmptyReadGoesOnAndThe102ndEndsTheLoop)
{
    const QString silent = QStringLiteral("Problem z komunikacją lub nie włączony miernik\r\n"
                                          ", Zamknij program i sprawdź miernik i połączenia!");
    struct Case {
        int emptyReads;
        bool ended;
    } cases[] = {{101, false}, {102, true}};
    Form1->BitBtn3Click(Form1->BitBtn3); // full view
    // 300 whole seconds: the next tick after a line comes 300 ms later.
    Form2->czestoscPomiaru->SetText(QStringLiteral("00:05:00"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.emptyReads);
        boxes.clear();
        vcl::Lines(Form1->Memo1).Clear();
        // Quick empty reads up to near the limit, then slow ones, so each count can be seen.
        TForm1::emptyReadPauseMs = 1;
        Form1->BitBtn4Click(Form1->BitBtn4);
        ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
        ASSERT_TRUE(WaitUntil(
            [&] {
                if (Form1->emptyReads >= c.emptyReads - 9)
                    TForm1::emptyReadPauseMs = 100;
                return Form1->emptyReads >= c.emptyReads - 1;
            },
            10000));
        ASSERT_EQ(Form1->emptyReads, c.emptyReads - 1);
        // The read after the next one waits a second: time enough for the device's line
        // even on a loaded machine, whose device thread may take more than 100 ms to send.
        TForm1::emptyReadPauseMs = 1000;
        ASSERT_TRUE(WaitUntil([&] { return Form1->emptyReads == c.emptyReads || boxShown(silent); }, 2000));
        if (!c.ended) {
            EXPECT_FALSE(boxShown(silent));
            EXPECT_GT(acquisition::comHandle, 0) << "the port stays open";
            // The device speaks now: the loop still reads and counts anew.
            device.send("2024-03-05 14:07:20 5 6\n");
            ASSERT_TRUE(WaitUntil([&] { return memoLines() == 1; }));
            EXPECT_EQ(Form1->emptyReads, 0);
            EXPECT_FALSE(boxShown(silent));
        } else {
            EXPECT_TRUE(boxShown(silent));
            EXPECT_EQ(boxes.records().back().title, QStringLiteral("Błąd"));
            EXPECT_EQ(acquisition::comHandle, 0) << "the port is closed";
            EXPECT_EQ(Form1->emptyReads, 0);
            EXPECT_FALSE(Form1->Timer2->Enabled());
            EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("STOP"));
            device.send("2024-03-05 14:07:20 5 6\n");
            testsupport::ProcessPending();
            EXPECT_FALSE(WaitUntil([&] { return memoLines() > 0; }, 300)) << "nothing is read any more";
        }
        Form1->BitBtn4Click(Form1->BitBtn4);
    }
}

TEST_F(LiveRoad, AnUnfinishedLineDoesNotOutliveItsSession)
{
    const QString silent = QStringLiteral("Problem z komunikacją lub nie włączony miernik\r\n"
                                          ", Zamknij program i sprawdź miernik i połączenia!");
    const QString hungUp = QStringLiteral("Problem z komunikacją, sprawdź połączenia..");
    enum class End { Stop, SilentDevice, HangUp };
    struct Case {
        const char* name;
        End end;
    } cases[] = {
        {"STOP", End::Stop},
        {"silent device", End::SilentDevice},
        {"hang-up", End::HangUp},
    };
    Form1->BitBtn3Click(Form1->BitBtn3); // full view
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        vcl::Lines(Form1->Memo1).Clear();
        for (auto& w : Form1->settings.windows)
            w.newSample = 0;
        PtyDevice first, next; // a device that hung up is gone; the next session uses another
        Form2->NumerCom->SetText(QString::fromStdString(first.path()));
        Form1->BitBtn4Click(Form1->BitBtn4);
        ASSERT_TRUE(first.waitForReceived("?DAT &", 2000ms));
        first.send("2024-03-05 14:0");
        ASSERT_TRUE(WaitUntil([&] { return Form1->rxPending == "2024-03-05 14:0"; }));

        PtyDevice* device = &first;
        switch (c.end) {
        case End::Stop:
            break;
        case End::SilentDevice:
            TForm1::emptyReadPauseMs = 1;
            ASSERT_TRUE(WaitUntil([&] { return boxShown(silent); }));
            TForm1::emptyReadPauseMs = 100;
            break;
        case End::HangUp:
            first.hangUp();
            ASSERT_TRUE(WaitUntil([&] { return boxShown(hungUp); }));
            Form2->NumerCom->SetText(QString::fromStdString(next.path()));
            device = &next;
            break;
        }
        Form1->BitBtn4Click(Form1->BitBtn4); // STOP
        Form1->BitBtn4Click(Form1->BitBtn4); // START
        ASSERT_GT(acquisition::comHandle, 0);
        device->send("2024-03-05 14:07:20 5 6\n");
        ASSERT_TRUE(WaitUntil([&] { return memoLines() == 1; }));
        EXPECT_EQ(vcl::Lines(Form1->Memo1).Get(0), QStringLiteral("2024-03-05 14:07:20 5 6"));
        EXPECT_FLOAT_EQ(Form1->parsedLine.values[0], 5.0f) << "the reading is taken";
        EXPECT_FLOAT_EQ(Form1->parsedLine.values[1], 6.0f);
        EXPECT_EQ(Form1->settings.windows[0].newSample, 1);
        Form1->BitBtn4Click(Form1->BitBtn4);
        acquisition::comHandle = 0;
    }
}

TEST_F(LiveRoad, TheLoopsErrorTextGoesWhenItReadsALineAgain)
{
    const QString hungUp = QStringLiteral("Problem z komunikacją, sprawdź połączenia..");
    const QString unreadable = QStringLiteral("Błąd czytania pomiarów..");
    const QString otherRoad = QStringLiteral("Zapisano do pliku: P.dan");
    enum class Fault { HangUp, Unreadable };
    struct Case {
        const char* name;
        Fault fault;
        QString shown;
        bool otherRoadSince; // another road wrote panel 2 after the fault
        QString after;
    } cases[] = {
        {"hang-up, then STOP and START", Fault::HangUp, hungUp, false, QString()},
        {"a line that does not parse", Fault::Unreadable, unreadable, false, QString()},
        {"another road's text since then stays", Fault::Unreadable, unreadable, true, otherRoad},
    };
    const auto panel2 = [] { return Form1->StatusBar1->Panels(2)->Text(); };
    Form1->BitBtn3Click(Form1->BitBtn3); // full view
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vcl::Lines(Form1->Memo1).Clear();
        Form1->StatusBar1->Panels(2)->SetText(QString());
        PtyDevice first, next; // a device that hung up is gone; the next session uses another
        Form2->NumerCom->SetText(QString::fromStdString(first.path()));
        Form1->BitBtn4Click(Form1->BitBtn4);
        ASSERT_TRUE(first.waitForReceived("?DAT &", 2000ms));
        PtyDevice* device = &first;
        if (c.fault == Fault::HangUp) {
            first.hangUp();
            ASSERT_TRUE(WaitUntil([&] { return panel2() == c.shown; }));
            Form2->NumerCom->SetText(QString::fromStdString(next.path()));
            Form1->BitBtn4Click(Form1->BitBtn4); // STOP
            Form1->BitBtn4Click(Form1->BitBtn4); // START
            ASSERT_TRUE(next.waitForReceived("?DAT &", 2000ms));
            device = &next;
        } else {
            first.send("2024-03-05 14:07:09 1 -- 2\n");
            ASSERT_TRUE(WaitUntil([&] { return panel2() == c.shown; }));
        }
        if (c.otherRoadSince)
            Form1->StatusBar1->Panels(2)->SetText(otherRoad);
        EXPECT_EQ(panel2(), c.otherRoadSince ? otherRoad : c.shown) << "the restart alone proves nothing";
        device->send("2024-03-05 14:07:20 5 6\n");
        ASSERT_TRUE(WaitUntil([&] { return memoLines() == 1; }));
        EXPECT_EQ(panel2(), c.after);
        Form1->BitBtn4Click(Form1->BitBtn4); // STOP
        acquisition::comHandle = 0;
    }
}

TEST_F(LiveRoad, TheExchangesErrorGoesWhenTheLiveRoadReadsItsPortAgain)
{
    const QString consoleFailed = QStringLiteral("Błąd połączenia..");
    const QString readingFailed = QStringLiteral("Błąd czytania pomiarów..");
    enum class Exchange { ConsoleSend, SingleReading };
    enum class Port { Live, LinkToLive, Other };
    struct Case {
        const char* name;
        Exchange exchange;
        Port port;               // of the exchange that failed
        bool browserFailedSince; // the browser's failure in the same words
        QString shown;
        QString after; // once the live road has read a line
    } cases[] = {
        {"a console send to the live port", Exchange::ConsoleSend, Port::Live, false, consoleFailed, QString()},
        {"a single reading from the live port", Exchange::SingleReading, Port::Live, false, readingFailed, QString()},
        {"a console send to a link to the live port", Exchange::ConsoleSend, Port::LinkToLive, false, consoleFailed,
         QString()},
        {"a console send to another port", Exchange::ConsoleSend, Port::Other, false, consoleFailed, consoleFailed},
        {"a failed single reading, and the browser's own since", Exchange::SingleReading, Port::Live, true,
         readingFailed, readingFailed},
    };
    const auto panel2 = [] { return Form1->StatusBar1->Panels(2)->Text(); };
    Form2->RadioButton1->SetChecked(true); // readings over the serial link
    const QString unreadable = cwd.file(QStringLiteral("zly.dan"), "2024-03-05 14:07:09 1 2 3.4.5\r\n");
    const QString link = cwd.path() + QStringLiteral("/port-link");
    acquisition::PortCom::timeScale = 0.2;
    Form1->BitBtn3Click(Form1->BitBtn3); // full view
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vcl::Lines(Form1->Memo1).Clear();
        Form1->StatusBar1->Panels(2)->SetText(QString());
        PtyDevice live, other;
        Form2->NumerCom->SetText(QString::fromStdString(live.path()));
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(QString::fromStdString(live.path()), link));
        const std::string exchangePort = c.port == Port::Live         ? live.path()
                                         : c.port == Port::LinkToLive ? QFile::encodeName(link).toStdString()
                                                                      : other.path();
        acquisition::portCom = acquisition::PortCom{};
        acquisition::setText(acquisition::portCom.portSettings, exchangePort);
        acquisition::portCom.baudRate = 115200;

        // Another program holds the port, so the exchange cannot open it.
        PtyDevice& held = c.port == Port::Other ? other : live;
        ASSERT_TRUE(held.holdPort()) << held.holdError();
        if (c.exchange == Exchange::ConsoleSend) {
            bool ended = false;
            Form1->commandText = "?B_U &";
            ASSERT_TRUE(Form1->czytajrsExecute(Form1, [&] { ended = true; }));
            ASSERT_TRUE(WaitUntil([&] { return ended; }));
        } else {
            Form1->ToolButton15Click(Form1->ToolButton15);
            ASSERT_TRUE(WaitUntil([&] { return Form1->ToolButton15->Enabled(); }));
        }
        ASSERT_EQ(panel2(), c.shown);
        held.releasePort();
        if (c.browserFailedSince) {
            Form1->StatusBar1->Panels(2)->SetText(QString());
            Form1->openDataFile(unreadable);
            ASSERT_EQ(panel2(), readingFailed);
            vcl::Lines(Form1->Memo1).Clear();
        }

        Form1->BitBtn4Click(Form1->BitBtn4); // START
        ASSERT_TRUE(live.waitForReceived("?DAT &", 2000ms));
        EXPECT_EQ(panel2(), c.shown) << "opening the port alone proves nothing";
        live.send("2024-03-05 14:07:20 5 6\n");
        ASSERT_TRUE(WaitUntil([&] { return memoLines() == 1; }));
        EXPECT_EQ(panel2(), c.after);
        Form1->BitBtn4Click(Form1->BitBtn4); // STOP
    }
}
