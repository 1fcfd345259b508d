// Single, periodic, stop, label and memory readings against a data logger on a
// pseudo-terminal and a device behind a loopback TCP socket: the bytes the device
// receives, what the main window shows, and readings that must not run into each other.

#include "acquisition/PortCom.h"
#include "platform/text/Convert.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TcpPeer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <gtest/gtest.h>

#include <string>

using namespace std::chrono_literals;
using testsupport::PtyDevice;
using testsupport::TcpPeer;
using testsupport::TcpPeerListener;
using testsupport::WaitUntil;

namespace {

const QString readingFailed = QStringLiteral("Błąd czytania pomiarów..");

enum class Link { Serial, TcpClient };

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

class Readings : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::CreateProgramForms(false);
        acquisition::portCom = acquisition::PortCom{};
        // A silent device ends a reading after 1000 ms, a console query 100 ms after its
        // last byte: a device thread that a loaded machine holds back still answers in time.
        acquisition::PortCom::timeScale = 0.2;
        acquisition::setText(acquisition::portCom.portSettings, device.path());
        acquisition::portCom.baudRate = 115200;
        Form2->RadioButton10->SetChecked(true); // the device's time: the text list shows the line as received
        useLink(Link::Serial);
    }
    void TearDown() override
    {
        WaitUntil([] { return !Form1->serialExchangeRunning() && !Form1->tcpTransactionRunning(); });
        Form1->IdTCPServer1->setActive(false);
        testsupport::DestroyProgramForms();
        acquisition::portCom = acquisition::PortCom{};
        acquisition::PortCom::timeScale = 1.0;
    }
    static void useLink(Link link)
    {
        if (link == Link::Serial) {
            Form2->RadioButton1->SetChecked(true);
            return;
        }
        Form2->RadioButton2->SetChecked(true);
        Form2->Edit1->SetText(QStringLiteral("127.0.0.1"));
    }
    void listenForClient() { Form2->Edit2->SetText(QString::number(listener.port())); }
    static bool idle() { return !Form1->serialExchangeRunning() && !Form1->tcpTransactionRunning(); }
    static bool readingDone() { return idle() && Form1->ToolButton15->Enabled(); }
    static QStringList memo() { return vcl::Lines(Form1->Memo1).ToList(); }
    static QString status2() { return Form1->StatusBar1->Panels(2)->Text(); }
    // Readings are appended to "P.dan" in a folder of the test's own; returns its path.
    std::string appendReadingsToDataFile()
    {
        const QString dataDir = cwd.mkdir(QStringLiteral("dane"));
        Form1->DirectoryListBox1->SetDirectory(dataDir);
        Form2->zapiszDoPliku->SetChecked(true);
        Form2->CyklStaly->SetChecked(true);
        return QDir(dataDir).filePath(QStringLiteral("P.dan")).toStdString();
    }

    // The exchange sends from the event loop, so the wait runs it.
    bool deviceGot(const std::string& bytes)
    {
        return WaitUntil([&] { return device.received().find(bytes) != std::string::npos; }, 2000);
    }

    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    PtyDevice device;
    TcpPeerListener listener;
};

// ---- Commands

struct CommandCase {
    const char* name;
    void (*read)();
    Link link;
    const char* address;
    std::string sent;
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

void singleReading() { Form1->ToolButton15Click(Form1->ToolButton15); }
void labelReading() { Form1->test->trigger(); }
void memoryReading() { Form1->Czytajpami1->trigger(); }

class ReadingCommands : public Readings, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(ReadingCommands, DeviceReceivesExactlyTheCommandOfItsLink)
{
    const CommandCase& c = GetParam();
    useLink(c.link);
    Form2->LabeledEdit1->SetText(QString::fromLatin1(c.address));
    if (c.link == Link::Serial) {
        device.answer(c.sent, "2024-03-05 14:07:09 21.4 22.0\r\n\x1A");
        c.read();
        ASSERT_TRUE(deviceGot(c.sent));
        ASSERT_TRUE(WaitUntil(readingDone));
        EXPECT_EQ(device.received(), c.sent);
        return;
    }
    listenForClient();
    c.read();
    TcpPeer peer = listener.accept(2000ms);
    ASSERT_TRUE(peer.isOpen());
    EXPECT_EQ(peer.receiveUntil("\r\n", 2000ms), c.sent);
    peer.send("2024-03-05 14:07:09 21.4 22.0\r");
    ASSERT_TRUE(WaitUntil(readingDone));
    EXPECT_EQ(peer.receive(1, 50ms), "") << "one command per reading";
}

INSTANTIATE_TEST_SUITE_P(
    LinksAndAddresses, ReadingCommands,
    ::testing::Values(CommandCase{"SerialNoAddress", singleReading, Link::Serial, "", "?DAT &"},
                      CommandCase{"SerialAddress5", singleReading, Link::Serial, "5", "#5 ?DAT &"},
                      CommandCase{"SerialAddressAB12", singleReading, Link::Serial, "AB12", "#AB12 ?DAT &"},
                      CommandCase{"TcpNoAddress", singleReading, Link::TcpClient, "", "?DAT &\r\n"},
                      CommandCase{"TcpAddress5", singleReading, Link::TcpClient, "5", "#5 ?DAT &\r\n"},
                      CommandCase{"SerialLabels", labelReading, Link::Serial, "5", "?HEAD  &"},
                      CommandCase{"TcpLabels", labelReading, Link::TcpClient, "5", "?HEAD &\r\n"},
                      CommandCase{"SerialMemory", memoryReading, Link::Serial, "5", "?MEM  &"},
                      CommandCase{"TcpMemory", memoryReading, Link::TcpClient, "5", "?MEM &\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Single reading

TEST_F(Readings, SerialReadingSizesTheGridByItsChannelCount)
{
    const struct {
        const char* line;
        int rowHeight, columnWidth, panelHeight;
    } cases[] = {
        {"2024-03-05 14:07:09 1 2 3 4 5 6 7 8 9 10\r\n", 18, 38, 64},
        {"2024-03-05 14:07:19 1 2 3 4 5 6 7 8 9\r\n", 27, 57, 75},
        {"2024-03-05 14:07:29 1 2 3 4 5 6 7 8 9 10\r\n", 18, 38, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        device.goSilent();
        device.answer("?DAT &", c.line);
        Form1->ToolButton15Click(Form1->ToolButton15);
        EXPECT_FALSE(Form1->ToolButton15->Enabled()) << "held back while the reading runs";
        ASSERT_TRUE(WaitUntil(readingDone));
        EXPECT_EQ(Form1->StringGrid1->rowHeight(1), c.rowHeight);
        EXPECT_EQ(Form1->StringGrid1->columnWidth(0), c.columnWidth);
        EXPECT_EQ(Form1->Panel7->Height(), c.panelHeight);
        EXPECT_FALSE(Form1->ToolButton15->Down());
        EXPECT_TRUE(Form1->acquireEnabled);
    }
    EXPECT_EQ(memo().size(), 3);
}

TEST_F(Readings, TickOrClickDuringAReadingIsSkippedWithoutSideEffects)
{
    Form1->ToolButton15Click(Form1->ToolButton15);
    ASSERT_TRUE(deviceGot("?DAT &"));
    Form1->StatusBar1->Panels(2)->SetText(QStringLiteral("w toku"));

    Form1->Timer1Timer(Form1->Timer1);
    Form1->ToolButton15Click(Form1->ToolButton15);
    Form1->test->trigger();
    Form1->Czytajpami1->trigger();
    EXPECT_EQ(status2(), QStringLiteral("w toku"));
    EXPECT_FALSE(Form1->ToolButton15->Enabled());

    device.send("2024-03-05 14:07:09 21.4 22.0\r\n");
    ASSERT_TRUE(WaitUntil(readingDone));
    EXPECT_EQ(device.received(), "?DAT &");
    EXPECT_EQ(memo(), QStringList{QStringLiteral("2024-03-05 14:07:09 21.4 22.0")});
    EXPECT_TRUE(Form1->ToolButton15->Enabled()) << "the skipped tick left the button alone";
}

TEST_F(Readings, TcpReplyThatNeverCameIsAnErrorNotTheLastReadingAgain)
{
    // A refused connect is told in its error box alone; the reading emptied the panel.
    const struct {
        const char* name;
        bool listening;
        QString panel2;
        std::size_t boxes;
    } cases[] = {{"device closes without a reply", true, readingFailed, 0}, {"connection refused", false, "", 1}};
    useLink(Link::TcpClient);
    const testsupport::TcpHeldPort refusing;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        Form2->Edit2->SetText(QString::number(c.listening ? listener.port() : refusing.port()));
        Form1->currentLine = "2024-03-05 14:00:00 1 2";
        Form1->replyOk = 1;
        Form1->ToolButton15Click(Form1->ToolButton15);
        if (c.listening) {
            TcpPeer peer = listener.accept(2000ms);
            ASSERT_EQ(peer.receiveUntil("\r\n", 2000ms), "?DAT &\r\n");
            peer.close();
        }
        ASSERT_TRUE(WaitUntil(readingDone));
        EXPECT_EQ(status2(), c.panel2);
        EXPECT_EQ(boxes.records().size(), c.boxes);
        EXPECT_TRUE(memo().isEmpty());
        EXPECT_EQ(Form1->replyOk, 0);
    }
}

TEST_F(Readings, SerialReadingWithoutAPortSaysSoAndGivesTheButtonBack)
{
    acquisition::setText(acquisition::portCom.portSettings, cwd.path().toStdString() + "/brak-portu");
    for (void (*read)() : {singleReading, labelReading}) {
        Form1->StatusBar1->Panels(2)->SetText(QString());
        read();
        ASSERT_TRUE(WaitUntil(readingDone));
        EXPECT_EQ(status2(), readingFailed);
        EXPECT_TRUE(memo().isEmpty());
    }
}

TEST_F(Readings, ASerialReadingCutOffBeforeItsLineEndIsNotStored)
{
    const std::string dataFile = appendReadingsToDataFile();
    const std::string good = "2024-03-05 14:07:00 20.0 1";
    const std::string cut = "2024-03-05 14:07:09 21.4 2";
    const QString saved = QStringLiteral("Zapisano do pliku: P.dan");

    device.answer("?DAT &", good + "\r\n");
    singleReading();
    ASSERT_TRUE(WaitUntil(readingDone));
    ASSERT_EQ(status2(), saved);
    const std::string stored = testsupport::readBytes(dataFile);
    ASSERT_NE(stored.find(good + "\r\n"), std::string::npos);

    for (const std::string end : {"", "\x1A"}) {
        SCOPED_TRACE(end.empty() ? "then silence" : "then the reply end");
        device.goSilent();
        device.answer("?DAT &", cut + end);
        singleReading();
        ASSERT_TRUE(WaitUntil(readingDone));
        EXPECT_EQ(testsupport::readBytes(dataFile), stored) << "the data file is as it was";
        EXPECT_NE(status2(), saved);
        EXPECT_EQ(memo(), QStringList{QString::fromStdString(good)});
        EXPECT_EQ(Form1->Chart1->Series(0).Count(), 1) << "no point for it";
    }
}

TEST_F(Readings, AReplyLineLongerThanTheLineBufferIsNotStored)
{
    const std::string dataFile = appendReadingsToDataFile();
    device.answer("?DAT &", "2024-03-05 14:07:00 20.0 1\r\n");
    singleReading();
    ASSERT_TRUE(WaitUntil(readingDone));
    const std::string stored = testsupport::readBytes(dataFile);
    ASSERT_FALSE(stored.empty());

    // A reading padded with blanks, whose first 2000 bytes look like a one-channel reading.
    std::string padded = "2024-03-05 14:07:09 21.4";
    padded.resize(2100, ' ');
    // Values all the way: the first 2000 bytes look like a reading of 35 channels.
    std::string values = "2024-03-05 14:07:09";
    while (values.size() < 2100)
        values += " 21.4";
    const struct {
        const char* what;
        std::vector<std::string> writes;
    } cases[] = {
        {"padded, whole in one read", {padded + "\r\n"}},
        {"values, whole in one read", {values + "\r\n"}},
        {"padded, outgrows the buffer before its CR", {padded.substr(0, 2050), padded.substr(2050) + "\r\n"}},
        {"values, outgrows the buffer before its LF", {values.substr(0, 2050), values.substr(2050) + "\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        device.goSilent();
        device.answerAfter("?DAT &", 0ms, c.writes, 60ms);
        const int steps = Form1->newDataSteps;
        singleReading();
        ASSERT_TRUE(WaitUntil(readingDone));
        // What the device still sends goes into the port before the next reading opens it.
        ASSERT_TRUE(device.waitUntilSent(2000ms));
        EXPECT_EQ(testsupport::readBytes(dataFile), stored) << "the data file is as it was";
        EXPECT_FALSE(status2().startsWith(QStringLiteral("Zapisano do pliku: "))) << status2().toStdString();
        EXPECT_EQ(Form1->newDataSteps, steps);
        EXPECT_EQ(memo(), QStringList{QStringLiteral("2024-03-05 14:07:00 20.0 1")});
        EXPECT_EQ(Form1->Chart1->Series(0).Count(), 1) << "no point for it";
        EXPECT_EQ(Form1->Chart1->Series(2).Count(), 0);
    }
}

// ---- Label reading

TEST_F(Readings, SerialLabelReadingWithoutAWholeReplyStoresNothing)
{
    const std::string dataFile = appendReadingsToDataFile();
    const struct {
        const char* name;
        const char* reply; // nullptr: the device stays silent
        bool acquireEnabled;
        int deviceFamily;
    } cases[] = {
        {"silent, the exchange would hand a line over", nullptr, true, 0},
        {"silent, only the label reading would", nullptr, false, 1},
        {"cut off, the exchange would hand it over", "2024-03-05 14:07:19 9 9", true, 0},
        {"cut off, only the label reading would", "2024-03-05 14:07:19 9 9", false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The previous reading, still in the current line.
        device.goSilent();
        device.answer("?DAT &", "2024-03-05 14:07:09 21.4 22.0\r\n");
        singleReading();
        ASSERT_TRUE(WaitUntil(readingDone));
        vcl::Lines(Form1->Memo1).Clear();
        const std::string stored = testsupport::readBytes(dataFile);
        Form1->StatusBar1->Panels(2)->SetText(QStringLiteral("przed"));

        device.goSilent();
        if (c.reply)
            device.answer("?HEAD  &", c.reply);
        Form1->acquireEnabled = c.acquireEnabled;
        Form1->deviceFamily = c.deviceFamily;
        const int steps = Form1->newDataSteps;
        labelReading();
        ASSERT_TRUE(WaitUntil(readingDone));
        EXPECT_EQ(Form1->newDataSteps, steps) << "no reply, no new data";
        EXPECT_TRUE(memo().isEmpty());
        EXPECT_EQ(testsupport::readBytes(dataFile), stored);
        EXPECT_EQ(status2(), QStringLiteral("przed"));
    }
}

TEST_F(Readings, LabelReplyIsStoredOnceWhoeverHandsItOver)
{
    const struct {
        const char* name;
        bool acquireEnabled;
        int deviceFamily;
    } cases[] = {
        {"the exchange hands it over", true, 0},
        {"only the label reading does", false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vcl::Lines(Form1->Memo1).Clear();
        device.goSilent();
        device.answer("?HEAD  &", "2024-03-05 14:07:09 21.4 22.0\r\n");
        Form1->acquireEnabled = c.acquireEnabled;
        Form1->deviceFamily = c.deviceFamily;
        Form1->test->trigger();
        EXPECT_FALSE(Form1->ToolButton15->Enabled());
        ASSERT_TRUE(WaitUntil(readingDone));
        EXPECT_EQ(memo(), QStringList{QStringLiteral("2024-03-05 14:07:09 21.4 22.0")});
    }
}

// ---- Memory reading

TEST_F(Readings, MemoryOverTcpReadsOneLineAndShowsNothing)
{
    useLink(Link::TcpClient);
    listenForClient();
    Form1->Czytajpami1->trigger();
    EXPECT_EQ(status2(), QStringLiteral("Dane z pamięci..."));
    TcpPeer peer = listener.accept(2000ms);
    ASSERT_EQ(peer.receiveUntil("\r\n", 2000ms), "?MEM &\r\n");
    peer.send("2024-03-05 14:07:09 1 2\r2024-03-05 14:07:19 3 4\r");
    ASSERT_TRUE(WaitUntil([] { return idle() && Form1->currentLine == "2024-03-05 14:07:09 1 2"; }));
    EXPECT_TRUE(memo().isEmpty());
    EXPECT_EQ(status2(), QStringLiteral("Dane z pamięci..."));
}

// ---- Periodic readings

TEST_F(Readings, PeriodicReadingsTakeTheirIntervalFromThePeriodAndStopAtTheSecondClick)
{
    const struct {
        const char* period;
        int interval;
    } cases[] = {{"00:00:10", 10000}, {"01:00:00", 3600000}, {"co minutę", 10000}, {"00:01:30", 90000}};
    device.answer("?DAT &", "2024-03-05 14:07:09 21.4 22.0\r\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.period);
        Form2->czestoscPomiaru->SetText(QString::fromUtf8(c.period));
        Form1->Timer1->SetInterval(1234567);
        vcl::Lines(Form1->Memo1).Add(QStringLiteral("stary"));
        const int sentBefore = count(device.received(), "?DAT &");

        boxes.answer(platform::IDOK);
        Form1->ToolButton13Click(Form1->ToolButton13);
        ASSERT_EQ(boxes.records().size(), 1u);
        EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Czy nowe pomiary? "));
        boxes.clear();
        EXPECT_TRUE(Form1->Timer1->Enabled());
        EXPECT_EQ(Form1->Timer1->Interval(), c.interval);
        EXPECT_TRUE(Form1->ToolButton13->Down());
        ASSERT_TRUE(WaitUntil(readingDone));
        EXPECT_EQ(count(device.received(), "?DAT &"), sentBefore + 1) << "one reading at once";
        EXPECT_EQ(memo(), QStringList{QStringLiteral("2024-03-05 14:07:09 21.4 22.0")}) << "cleared first";

        Form1->ToolButton13Click(Form1->ToolButton13);
        EXPECT_FALSE(Form1->Timer1->Enabled());
        EXPECT_FALSE(Form1->ToolButton13->Down());
        EXPECT_TRUE(idle()) << "the second click reads nothing";
        EXPECT_TRUE(boxes.records().empty());
        EXPECT_EQ(count(device.received(), "?DAT &"), sentBefore + 1);
    }
}

TEST_F(Readings, EveryTickReadsOnceAndStopEndsThem)
{
    device.answer("?DAT &", "2024-03-05 14:07:09 21.4 22.0\r\n");
    Form2->czestoscPomiaru->SetText(QStringLiteral("00:00:01"));
    Form1->ToolButton13Click(Form1->ToolButton13);
    Form1->Timer1->SetInterval(30); // the tick itself is what is tested, not its period
    ASSERT_TRUE(WaitUntil([] { return vcl::Lines(Form1->Memo1).Count() >= 4; }));
    Form1->ToolButton18Click(Form1->ToolButton18);
    EXPECT_FALSE(Form1->Timer1->Enabled());
    EXPECT_FALSE(Form1->ToolButton13->Down());
    ASSERT_TRUE(WaitUntil(readingDone));
    const std::string sent = device.received();
    EXPECT_EQ(sent.size() % 6, 0u);
    EXPECT_EQ(count(sent, "?DAT &") * 6, int(sent.size())) << "whole commands only, never interleaved";
    EXPECT_EQ(count(sent, "?DAT &"), memo().size());
}

TEST_F(Readings, StopEndsATcpReadingThatStillWaitsForItsReply)
{
    useLink(Link::TcpClient);
    listenForClient();
    Form1->ToolButton15Click(Form1->ToolButton15);
    TcpPeer peer = listener.accept(2000ms);
    ASSERT_EQ(peer.receiveUntil("\r\n", 2000ms), "?DAT &\r\n");
    ASSERT_TRUE(Form1->tcpTransactionRunning());
    QElapsedTimer clock;
    clock.start();
    Form1->ToolButton18Click(Form1->ToolButton18);
    ASSERT_TRUE(WaitUntil(readingDone, 2000));
    EXPECT_LT(clock.elapsed(), 1000) << "the reply wait of 4000 ms was not cut short";
    EXPECT_EQ(status2(), readingFailed);
    EXPECT_FALSE(Form1->IdTCPClient1->Connected());
}

// ---- TCP-server mode

TEST_F(Readings, ServerModeReadingsOnlyStartAndStopTheServer)
{
    const testsupport::TcpHeldPort held; // the program's server listens on it
    const int port = held.port();
    Form1->settings.connectionMode = 2;
    acquisition::setText(Form1->settings.tcpPort, std::to_string(port));

    Form1->ToolButton15Click(Form1->ToolButton15);
    EXPECT_TRUE(Form1->IdTCPServer1->isActive());
    EXPECT_EQ(Form1->IdTCPServer1->boundPort(), port);
    EXPECT_TRUE(Form1->ToolButton15->Enabled());
    Form1->ToolButton15Click(Form1->ToolButton15); // already listening: left as it is
    EXPECT_TRUE(Form1->IdTCPServer1->isActive());

    Form1->ToolButton18Click(Form1->ToolButton18);
    EXPECT_FALSE(Form1->IdTCPServer1->isActive());
    EXPECT_FALSE(Form1->ToolButton15->Enabled());
    EXPECT_FALSE(Form1->ToolButton18->Enabled());
    EXPECT_TRUE(Form1->ToolButton13->Enabled());

    Form1->ToolButton13Click(Form1->ToolButton13);
    EXPECT_TRUE(Form1->IdTCPServer1->isActive());
    EXPECT_FALSE(Form1->ToolButton15->Enabled());
    EXPECT_TRUE(Form1->ToolButton18->Enabled());
    EXPECT_FALSE(Form1->ToolButton13->Enabled());
    EXPECT_FALSE(Form1->Timer1->Enabled());

    TcpPeer peer = TcpPeer::connectTo(port);
    EXPECT_TRUE(peer.isOpen());
    EXPECT_EQ(device.received(), "") << "no request on any link";
    EXPECT_FALSE(Form1->IdTCPClient1->Connected());
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(Readings, ServerPortThatIsNoPortLeavesTheServerAlone)
{
    const struct {
        const char* text;
        bool conversionError;
    } cases[] = {{"abc", true}, {"70000", false}, {"-1", false}};
    Form1->settings.connectionMode = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        acquisition::setText(Form1->settings.tcpPort, c.text);
        for (auto handler : {&TForm1::ToolButton15Click, &TForm1::ToolButton13Click, &TForm1::ToolButton18Click}) {
            boxes.clear();
            if (c.conversionError) {
                EXPECT_THROW((Form1->*handler)(nullptr), rtl::EConvertError);
                EXPECT_TRUE(boxes.records().empty());
            } else {
                (Form1->*handler)(nullptr);
                ASSERT_EQ(boxes.records().size(), 1u);
                EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Numer portu TCP poza zakresem 0-65535."));
            }
            EXPECT_FALSE(Form1->IdTCPServer1->isActive());
        }
    }
    EXPECT_TRUE(Form1->ToolButton15->Enabled()) << "a refused port leaves no button held back";
}

} // namespace
