// The main window's TCP links end to end on loopback: the client transaction against a
// device double (the bytes it receives, replies, silence, late and slow replies, a closed
// connection, an over-long line, a refused and an unanswered connect) with the interface
// kept alive meanwhile; and the server receiver fed by peers, up to the bytes of the
// cyclic data file.

#include "platform/links/TcpClient.h"
#include "platform/text/Convert.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TcpPeer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using testsupport::TcpDevice;
using testsupport::TcpPeer;
using testsupport::WaitUntil;

namespace {

// The 4000 ms of the program pass in 200 ms.
constexpr double timeScale = 0.05;
constexpr int scaledReplyWaitMs = 200;

const QString connectionError = QStringLiteral("Błąd połączenia..");

class TcpLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::TcpClient::TimeScale = timeScale;
        testsupport::CreateProgramForms(false);
        Form2->Edit1->SetText(QStringLiteral("127.0.0.1"));
        Form2->Edit2->SetText(QString::number(device.port()));
        Form1->commandText = "?DAT &";
    }
    void TearDown() override
    {
        testsupport::DestroyProgramForms();
        platform::TcpClient::TimeScale = 1.0;
    }

    // Runs one transaction to its end, as a reading does.
    bool transact()
    {
        bool ended = false;
        if (!Form1->czytajTCPIPExecute(Form1, [&ended] { ended = true; }))
            return false;
        EXPECT_FALSE(ended) << "done ran from inside the call";
        return WaitUntil([&] { return ended; }, 5000);
    }
    QStringList errorTexts() const
    {
        QStringList texts;
        for (const auto& r : boxes.records())
            texts << r.text;
        return texts;
    }
    QString panel(int i) const { return Form1->StatusBar1->Panels(i)->Text(); }

    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    TcpDevice device;
};

// The gaps between the ticks of a fast timer while something runs: the interface's
// responsiveness.
class TickGaps {
public:
    TickGaps()
    {
        clock_.start();
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
            ++ticks_;
        });
        timer_.start();
    }
    qint64 longest() const { return longest_; }
    int ticks() const { return ticks_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    int ticks_ = 0;
};

} // namespace

// ---- client transaction ----

TEST_F(TcpLinkTest, TransactionSendsTheCommandAndTakesOneReplyLine)
{
    const std::string previous = "2024-03-05 14:00:00 1";
    struct Case {
        const char* what;
        std::vector<TcpDevice::Reply> replies;
        int replyOk;
        std::string line;
    } cases[] = {
        {"reply ended by CR", {TcpDevice::line("2024-03-05 14:07:09 21.4 22.0")}, 1, "2024-03-05 14:07:09 21.4 22.0"},
        {"bytes above 127 arrive as ?", {TcpDevice::line("Temp \xb1\xb3\xe6 5\x80\xff")}, 1, "Temp ??? 5??"},
        // Each wait for more data has the whole time-out; the line as a whole takes longer.
        {"a slow device still answers",
         {TcpDevice::trickle("21.4 22.0 23.1\r", scaledReplyWaitMs / 5)},
         1,
         "21.4 22.0 23.1"},
        {"a silent device: an empty line after the time-out", {}, 0, ""},
        {"an empty reply line", {TcpDevice::line("")}, 0, ""},
        {"the device closes: the line stays", {TcpDevice::closing()}, 0, previous},
        {"16385 bytes without CR: the line stays", {{std::string(16385, '7')}}, 0, previous},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& r : c.replies)
            device.reply(r);
        Form1->currentLine = previous;
        Form1->replyOk = 1 - c.replyOk;
        const std::size_t before = device.received().size();
        ASSERT_TRUE(transact());
        EXPECT_EQ(Form1->replyOk, c.replyOk);
        EXPECT_EQ(Form1->currentLine, c.line);
        EXPECT_EQ(device.received().substr(before), "?DAT &\r\n");
        EXPECT_EQ(Form1->IdTCPClient1->ReadTimeout, 4000);
    }
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(TcpLinkTest, SilentDeviceGivesNoReplyAfterTheWait)
{
    QElapsedTimer clock;
    clock.start();
    Form1->replyOk = 1;
    ASSERT_TRUE(transact());
    EXPECT_EQ(Form1->replyOk, 0);
    EXPECT_GE(clock.elapsed(), scaledReplyWaitMs - 10);
    EXPECT_LT(clock.elapsed(), 10 * scaledReplyWaitMs);
    EXPECT_EQ(device.connections(), 1);
    EXPECT_TRUE(Form1->IdTCPClient1->Connected()) << "the connection stays open for the next reading";
}

TEST_F(TcpLinkTest, LineFeedOfACrLfReplyBeginsTheNextLineAndALateReplyIsDropped)
{
    device.reply(TcpDevice::line("2024-03-05 14:07:09 1 2", "\r\n"));
    device.reply(TcpDevice::line("2024-03-05 14:07:19 3 4", "\r\n"));
    ASSERT_TRUE(transact());
    EXPECT_EQ(Form1->currentLine, "2024-03-05 14:07:09 1 2");
    ASSERT_TRUE(transact());
    EXPECT_EQ(Form1->currentLine, "\n2024-03-05 14:07:19 3 4");

    // Its reply comes after the transaction gave up; the next command gets its own. Late
    // by four waits more, so that it stays late when the program begins its wait late.
    device.reply(TcpDevice::late("2024-03-05 14:07:29 LATE 5\r\n", scaledReplyWaitMs * 5));
    ASSERT_TRUE(transact());
    EXPECT_EQ(Form1->replyOk, 0);
    ASSERT_TRUE(WaitUntil([&] { return device.answered() == 3; }));
    device.reply(TcpDevice::line("2024-03-05 14:07:39 6 7", "\r\n"));
    ASSERT_TRUE(transact());
    EXPECT_EQ(Form1->replyOk, 1);
    EXPECT_EQ(Form1->currentLine, "\n2024-03-05 14:07:39 6 7");
    EXPECT_EQ(device.received(), "?DAT &\r\n?DAT &\r\n?DAT &\r\n?DAT &\r\n");
    EXPECT_EQ(device.connections(), 1);
}

TEST_F(TcpLinkTest, HostAndPortFromTheSettingsDialog)
{
    ASSERT_TRUE(transact());
    EXPECT_EQ(Form1->IdTCPClient1->Host, "127.0.0.1");
    Form1->IdTCPClient1->Disconnect();

    // Five characters are no address: the client keeps the host it had.
    Form2->Edit1->SetText(QStringLiteral("10.0."));
    ASSERT_TRUE(transact());
    EXPECT_EQ(Form1->IdTCPClient1->Host, "127.0.0.1");
    EXPECT_EQ(device.connections(), 2);
    Form1->IdTCPClient1->Disconnect();

    // A name is a host too, where the machine resolves it: a minimal system without
    // /etc/hosts resolves no name, not even this one, and the address stands in.
    const auto resolvesToLoopback = [](const char* name) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        addrinfo* found = nullptr;
        if (::getaddrinfo(name, nullptr, &hints, &found) != 0)
            return false;
        const bool loopback = ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr) == INADDR_LOOPBACK;
        ::freeaddrinfo(found);
        return loopback;
    };
    const std::string host = resolvesToLoopback("localhost") ? "localhost" : "127.0.0.1";
    Form2->Edit1->SetText(QString::fromStdString(host));
    ASSERT_TRUE(transact());
    EXPECT_EQ(Form1->IdTCPClient1->Host, host);
    EXPECT_EQ(device.connections(), 3);
    Form1->IdTCPClient1->Disconnect();

    // An empty port field keeps the client's port.
    EXPECT_THROW(Form2->Edit2->SetText(QString()), rtl::EConvertError);
    ASSERT_TRUE(transact());
    EXPECT_EQ(Form1->IdTCPClient1->Port, device.port());
    EXPECT_EQ(device.connections(), 4);
    EXPECT_EQ(device.received(), "?DAT &\r\n?DAT &\r\n?DAT &\r\n?DAT &\r\n");
}

TEST_F(TcpLinkTest, PortThatIsNoNumberOrOutOfRangeSendsNothing)
{
    // The field's own handler refuses the text first; the transaction reads the field again.
    EXPECT_THROW(Form2->Edit2->SetText(QStringLiteral("39x9")), rtl::EConvertError);
    bool ended = false;
    EXPECT_THROW(Form1->czytajTCPIPExecute(Form1, [&] { ended = true; }), rtl::EConvertError);

    Form2->Edit2->SetText(QStringLiteral("70000"));
    Form1->replyOk = 1;
    ASSERT_TRUE(Form1->czytajTCPIPExecute(Form1, [&] { ended = true; }));
    ASSERT_TRUE(WaitUntil([&] { return ended; }));
    EXPECT_EQ(Form1->replyOk, 0);
    const QString outOfRange = QStringLiteral("Numer portu TCP poza zakresem 0-65535.");
    EXPECT_EQ(errorTexts(), (QStringList{outOfRange, outOfRange}));
    testsupport::ProcessPending();
    EXPECT_EQ(device.connections(), 0);
    EXPECT_EQ(Form1->IdTCPClient1->Port, device.port());
}

TEST_F(TcpLinkTest, RefusedConnectIsShownInTheErrorBoxAndLeavesNoGoodReply)
{
    const testsupport::TcpHeldPort closed;
    Form2->Edit2->SetText(QString::number(closed.port()));
    Form1->replyOk = 1;
    Form1->currentLine = "2024-03-05 14:00:00 1";
    bool boxAfterDone = false;
    bool ended = false;
    boxes.onMessage = [&](const platform::MessageRecord&) { boxAfterDone = ended; };
    ASSERT_TRUE(Form1->czytajTCPIPExecute(Form1, [&] { ended = true; }));
    ASSERT_TRUE(WaitUntil([&] { return ended && !boxes.records().empty(); }));
    EXPECT_EQ(Form1->replyOk, 0) << "the caller must not store the previous reply again";
    EXPECT_EQ(Form1->currentLine, "2024-03-05 14:00:00 1");
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(boxes.records()[0].text,
              QStringLiteral("Nie można połączyć z 127.0.0.1:%1: połączenie odrzucone.").arg(closed.port()));
    EXPECT_TRUE(boxAfterDone);
    EXPECT_FALSE(Form1->tcpTransactionRunning());
}

TEST_F(TcpLinkTest, AHostNameWithPolishLettersReachesTheErrorBoxWhole)
{
    // Not a name a resolver can look up: the system says so at once.
    Form2->Edit1->SetText(QStringLiteral("łódź-żółć.invalid"));
    bool ended = false;
    ASSERT_TRUE(Form1->czytajTCPIPExecute(Form1, [&] { ended = true; }));
    ASSERT_TRUE(WaitUntil([&] { return ended && !boxes.records().empty(); }));
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text,
              QStringLiteral("Nie można połączyć z łódź-żółć.invalid:%1: nie znaleziono adresu łódź-żółć.invalid.")
                  .arg(device.port()));
    EXPECT_EQ(panel(1), QStringLiteral("Resolving hostname łódź-żółć.invalid."));
}

TEST_F(TcpLinkTest, UnansweredConnectWaitsUntilTheStopButtonEndsIt)
{
    testsupport::TcpUnansweringPort host;
    if (!host.full())
        GTEST_SKIP() << "the system answers every connect";
    Form2->Edit2->SetText(QString::number(host.port()));
    TickGaps gaps;
    bool ended = false;
    ASSERT_TRUE(Form1->czytajTCPIPExecute(Form1, [&ended] { ended = true; }));
    // Five times the reply wait: the connect still waits, as long as the system lets it.
    EXPECT_FALSE(WaitUntil([&] { return ended; }, 5 * scaledReplyWaitMs));
    EXPECT_TRUE(Form1->tcpTransactionRunning());

    QElapsedTimer clock;
    clock.start();
    Form1->ToolButton18Click(Form1->ToolButton18);
    ASSERT_TRUE(WaitUntil([&] { return ended; }, 3000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(Form1->replyOk, 0);
    testsupport::ProcessPending();
    EXPECT_TRUE(boxes.records().empty()) << "a stopped connect is no failure to report";
    EXPECT_GT(gaps.ticks(), 10);
    EXPECT_LT(gaps.longest(), 100);

    // The next reading connects anew.
    Form2->Edit2->SetText(QString::number(device.port()));
    device.reply(TcpDevice::line("2024-03-05 14:07:09 1 2"));
    ASSERT_TRUE(transact());
    EXPECT_EQ(Form1->replyOk, 1);
    EXPECT_EQ(device.received(), "?DAT &\r\n");
}

TEST_F(TcpLinkTest, InterfaceRunsWhileAReplyIsAwaitedAndASecondTransactionIsRefused)
{
    device.reply(TcpDevice::late("2024-03-05 14:07:09 1 2\r", scaledReplyWaitMs * 3 / 4));
    TickGaps gaps;
    bool ended = false;
    ASSERT_TRUE(Form1->czytajTCPIPExecute(Form1, [&] { ended = true; }));
    EXPECT_TRUE(Form1->tcpTransactionRunning());
    bool secondRan = false;
    EXPECT_FALSE(Form1->czytajTCPIPExecute(Form1, [&] { secondRan = true; }));
    EXPECT_FALSE(Form1->tcpConsoleSend("?B_U &", true, {}, [&] { secondRan = true; }));
    ASSERT_TRUE(WaitUntil([&] { return ended; }));
    testsupport::ProcessPending();
    EXPECT_FALSE(secondRan);
    EXPECT_EQ(Form1->replyOk, 1);
    EXPECT_EQ(Form1->currentLine, "2024-03-05 14:07:09 1 2");
    EXPECT_GT(gaps.ticks(), 10);
    EXPECT_LT(gaps.longest(), 100);
    EXPECT_EQ(device.received(), "?DAT &\r\n");
    EXPECT_EQ(panel(1), QStringLiteral("Connected."));
}

TEST_F(TcpLinkTest, DisconnectWhileAReplyIsAwaitedEndsTheTransactionAtOnce)
{
    bool ended = false;
    platform::TcpClient::TimeScale = 1.0; // the full 4000 ms, which the stop must cut short
    ASSERT_TRUE(Form1->czytajTCPIPExecute(Form1, [&] { ended = true; }));
    ASSERT_TRUE(device.waitCommands(1));
    QElapsedTimer clock;
    clock.start();
    Form1->IdTCPClient1->Disconnect();
    EXPECT_FALSE(Form1->IdTCPClient1->Connected());
    ASSERT_TRUE(WaitUntil([&] { return ended; }, 3000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(Form1->replyOk, 0);
    EXPECT_FALSE(Form1->IdTCPClient1->Connected());
    EXPECT_TRUE(WaitUntil([&] { return panel(1) == QStringLiteral("Disconnected."); }));
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(TcpLinkTest, ConsoleConversationHandsEveryReplyLine)
{
    struct Case {
        const char* what;
        std::string command;
        bool readReplies;
        std::vector<TcpDevice::Reply> replies;
        std::vector<std::string> lines;
    } cases[] = {
        {"query: lines until a read times out, its empty line too",
         "?B_U &",
         true,
         {{"A=1\r\nB=\xb9\r\n"}},
         {"A=1", "\nB=?", ""}},
        {"command without reading", "MEM_ON &", false, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& r : c.replies)
            device.reply(r);
        std::vector<std::string> lines;
        bool ended = false;
        const std::size_t before = device.received().size();
        ASSERT_TRUE(Form1->tcpConsoleSend(
            c.command, c.readReplies, [&](const std::string& l) { lines.push_back(l); }, [&] { ended = true; }));
        ASSERT_TRUE(WaitUntil([&] { return ended; }));
        EXPECT_EQ(lines, c.lines);
        // The conversation may end before the device has taken the last bytes in.
        const std::string sent = c.command + "\r\n";
        WaitUntil([&] { return device.received().size() >= before + sent.size(); });
        EXPECT_EQ(device.received().substr(before), sent);
    }
}

TEST_F(TcpLinkTest, OneLineReadTakesTheWaitingLineIntoTheTextList)
{
    // Everything here must come within the waits: a second for the reply, not 200 ms,
    // lets a device thread that a loaded machine holds back still answer in time.
    platform::TcpClient::TimeScale = 0.25;
    device.reply(TcpDevice::line("2024-03-05 14:07:09 1\r2024-03-05 14:07:19 2"));
    ASSERT_TRUE(transact());
    Form1->Czytaj1Click(Form1);
    ASSERT_TRUE(WaitUntil([] { return !Form1->tcpTransactionRunning(); }));
    Form1->Czytaj1Click(Form1);
    ASSERT_TRUE(WaitUntil([] { return !Form1->tcpTransactionRunning(); }));
    // The second read found nothing and timed out.
    EXPECT_EQ(vcl::Lines(Form1->Memo1).ToList(), (QStringList{QStringLiteral("2024-03-05 14:07:19 2"), QString()}));
    EXPECT_EQ(device.received(), "?DAT &\r\n") << "the one-line read sends nothing";
    EXPECT_EQ(Form1->IdTCPClient1->ReadTimeout, 2000);
}

// ---- server receiver ----

namespace {

class TcpReceiverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::CreateProgramForms(false);
        dataDir = cwd.mkdir("dane");
        Form1->DirectoryListBox1->SetDirectory(dataDir);
        Form2->zapiszDoPliku->SetChecked(true);
        Form2->CyklStaly->SetChecked(true);
        Form2->RadioButton10->SetChecked(true); // the device's time: lines stored as received
        Form1->StatusBar1->Panels(2)->SetText(QStringLiteral("panel 2"));
        Form1->IdTCPServer1->DefaultPort = 0;
        Form1->IdTCPServer1->setActive(true);
        port = Form1->IdTCPServer1->boundPort();
    }
    void TearDown() override { testsupport::DestroyProgramForms(); }

    std::string dataFile() const { return testsupport::readBytes(QDir(dataDir).filePath("P.dan").toStdString()); }
    QStringList memo() const { return vcl::Lines(Form1->Memo1).ToList(); }
    QString panel(int i) const { return Form1->StatusBar1->Panels(i)->Text(); }

    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    QString dataDir;
    int port = 0;
};

} // namespace

TEST_F(TcpReceiverTest, LinesFilteredPrefixedAndStored)
{
    const std::string end = "2024-03-05 23:59:59 8 9";
    struct Case {
        const char* what;
        std::string sent;
        std::vector<std::string> listed; // text-list lines before the closing line
        std::string stored;              // data-file lines before it
        QString panel2;
    } cases[] = {
        {"lines ended by CR",
         "2024-03-05 14:07:09 21.4 22.0\r2024-03-05 14:07:19 21.5 22.1\r",
         {"2024-03-05 14:07:09 21.4 22.0", "2024-03-05 14:07:19 21.5 22.1"},
         "2024-03-05 14:07:09 21.4 22.0\r\n2024-03-05 14:07:19 21.5 22.1\r\n",
         "panel 2"},
        {"lines ended by CR LF",
         "2024-03-05 14:07:09 1 2\r\n2024-03-05 14:07:19 3 4\r\n",
         {"2024-03-05 14:07:09 1 2", "2024-03-05 14:07:19 3 4"},
         "2024-03-05 14:07:09 1 2\r\n2024-03-05 14:07:19 3 4\r\n",
         "panel 2"},
        {"modem chatter and short lines", "AT+CSQ\rOK\r+CSQ: 31,99 AT+X\r12345\r", {}, "", "panel 2"},
        // The second 12345 comes with the LF of the first one's end, six characters: it
        // passes and, being no data line, is taken as a header (an empty file line).
        {"a CR LF peer's five characters", "12345\r\n12345\r\n", {}, "\r\n", "panel 2"},
        {"system prefix",
         "Tazo132 2024-03-05 14:07:09 21.4 22.0\r",
         {"2024-03-05 14:07:09 21.4 22.0"},
         "2024-03-05 14:07:09 21.4 22.0\r\n",
         "System: Tazo132"},
        {"prefix with a tail",
         "  Tazo32 2024-03-05 14:07:09 5 6<crc=12>\r",
         {"2024-03-05 14:07:09 5 6"},
         "2024-03-05 14:07:09 5 6\r\n",
         "System: Tazo32"},
        {"a date as the first word is lost",
         "2024-03-05 14:07:09 Tazo32 5\r",
         {"14:07:09 Tazo32 5"},
         "14:07:09 Tazo32 5\r\n",
         "System: 2024-03-05"},
        {"bytes above 127 arrive as ?",
         "2024-03-05 14:07:09 T\xb1\xe6 5\r",
         {"2024-03-05 14:07:09 T?? 5"},
         "2024-03-05 14:07:09 T?? 5\r\n",
         "panel 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        vcl::Lines(Form1->Memo1).Clear();
        QFile::remove(QDir(dataDir).filePath("P.dan"));
        Form1->StatusBar1->Panels(2)->SetText(QStringLiteral("panel 2"));
        TcpPeer peer = TcpPeer::connectTo(port);
        ASSERT_TRUE(peer.send(c.sent + end + "\r"));
        ASSERT_TRUE(WaitUntil([&] { return !memo().isEmpty() && memo().last() == QString::fromStdString(end); }));
        QStringList expected;
        for (const auto& l : c.listed)
            expected << QString::fromStdString(l);
        expected << QString::fromStdString(end);
        EXPECT_EQ(memo(), expected);
        const std::string file = dataFile();
        EXPECT_EQ(file.substr(file.find("\r\n") + 2), c.stored + end + "\r\n");
        EXPECT_EQ(panel(2), c.panel2);
    }
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(TcpReceiverTest, UnreadableOrOverlongLineClosesThatPeerOnly)
{
    struct Case {
        const char* what;
        std::string sent;
    } cases[] = {
        {"a number that does not parse", "2024-03-05 14:07:09 1 2 3.4.5\r2024-03-05 14:07:19 1 2\r"},
        {"16385 bytes without CR", std::string(16385, '1') + "\r2024-03-05 14:07:19 1 2\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        vcl::Lines(Form1->Memo1).Clear();
        TcpPeer bad = TcpPeer::connectTo(port);
        TcpPeer good = TcpPeer::connectTo(port);
        ASSERT_TRUE(bad.send(c.sent));
        bool closed = false;
        ASSERT_TRUE(WaitUntil([&] { return closed = closed || bad.waitClosed(0ms); }));
        testsupport::ProcessPending();
        EXPECT_TRUE(memo().isEmpty()) << "nothing of the peer is shown after its bad line";
        EXPECT_FALSE(QFile::exists(QDir(dataDir).filePath("P.dan")));
        ASSERT_TRUE(good.send("2024-03-05 14:07:29 3 4\r"));
        ASSERT_TRUE(WaitUntil([&] { return memo().size() == 1; }));
        EXPECT_EQ(memo()[0], QStringLiteral("2024-03-05 14:07:29 3 4"));
        QFile::remove(QDir(dataDir).filePath("P.dan"));
    }
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(TcpReceiverTest, TwoPeersAtOnceGiveEveryLineWholeWithoutFittingTheAxes)
{
    Form1->Chart1->LeftAxis().SetMinMax(-5, 5);
    constexpr int perPeer = 100;
    const auto lineOf = [](char peer) {
        return [peer](int i) {
            return "2024-03-05 14:" + std::to_string(10 + i / 60) + ":" + std::to_string(10 + i % 50) + " " +
                   std::string(1, peer) + " " + std::to_string(i) + ".5 " + std::to_string(1000 + i) + "\r";
        };
    };
    {
        testsupport::TcpPushingPeer a(port, lineOf('A'), perPeer);
        testsupport::TcpPushingPeer b(port, lineOf('B'), perPeer);
        ASSERT_TRUE(a.waitSent(5000ms));
        ASSERT_TRUE(b.waitSent(5000ms));
    }
    const auto fileLines = [&] {
        const std::string bytes = dataFile();
        return std::count(bytes.begin(), bytes.end(), '\n');
    };
    ASSERT_TRUE(WaitUntil([&] { return fileLines() == 2 * perPeer + 1; }));
    testsupport::ProcessPending();
    const std::string file = dataFile();
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = file.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(file.substr(at, end - at));
    ASSERT_EQ(lines.size(), std::size_t(2 * perPeer + 1));
    EXPECT_EQ(lines[0].rfind("DataTime ", 0), 0u);
    std::vector<std::string> expected;
    for (char p : {'A', 'B'})
        for (int i = 0; i < perPeer; ++i) {
            std::string l = lineOf(p)(i);
            l.pop_back();
            expected.push_back(l);
        }
    std::vector<std::string> got(lines.begin() + 1, lines.end());
    // Each peer's lines keep their order.
    for (char p : {'A', 'B'}) {
        std::vector<std::string> mine;
        for (const auto& l : got)
            if (l.find(std::string(" ") + p + " ") != std::string::npos)
                mine.push_back(l);
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end(), [](const std::string& x, const std::string& y) {
            return std::stoi(x.substr(x.rfind(' ') + 1)) < std::stoi(y.substr(y.rfind(' ') + 1));
        }));
    }
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(Form1->Chart1->LeftAxis().Minimum(), -5);
    EXPECT_EQ(Form1->Chart1->LeftAxis().Maximum(), 5);
    EXPECT_FALSE(panel(2).startsWith(QStringLiteral("Zapisano do pliku: ")));
    EXPECT_TRUE(WaitUntil([&] { return panel(1) == QStringLiteral("Disconnected."); }));
}

TEST_F(TcpReceiverTest, SilentConnectionsAtTheLimitDoNotKeepADeviceOut)
{
    // Any silence is long enough here.
    Form1->IdTCPServer1->setActive(false);
    Form1->IdTCPServer1->SilenceBeforeReplaced = 0ms;
    Form1->IdTCPServer1->setActive(true);
    port = Form1->IdTCPServer1->boundPort();
    std::vector<TcpPeer> silent;
    for (int i = 0; i < 64; ++i)
        silent.push_back(TcpPeer::connectTo(port));
    ASSERT_TRUE(WaitUntil([&] { return Form1->IdTCPServer1->peerCount() == 64; }));
    TcpPeer device = TcpPeer::connectTo(port);
    ASSERT_TRUE(device.send("2024-03-05 14:07:09 21.4 22.0\r"));
    ASSERT_TRUE(WaitUntil([&] { return memo().size() == 1; }));
    EXPECT_EQ(dataFile(), "DataTime  k1 k2\r\n2024-03-05 14:07:09 21.4 22.0\r\n");
    EXPECT_TRUE(silent[0].waitClosed(2000ms)) << "the first to connect has been silent longest";
    EXPECT_FALSE(silent[1].waitClosed(0ms));
    EXPECT_EQ(Form1->IdTCPServer1->peerCount(), 64u);
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(TcpReceiverTest, AtTheLimitDevicesThatKeepSendingKeepTheirPlaceAndEveryLineReachesTheFile)
{
    constexpr int devices = 64, perDevice = 150, linesPerSecond = 100;
    const auto lineOf = [](int device, int i) {
        return "2024-03-05 14:07:09 " + std::to_string(device) + " " + std::to_string(i) + "\r";
    };
    std::vector<std::unique_ptr<testsupport::TcpPushingPeer>> pushing;
    for (int d = 0; d < devices; ++d)
        pushing.push_back(std::make_unique<testsupport::TcpPushingPeer>(
            port, [d, lineOf](int i) { return lineOf(d, i); }, perDevice, 0, linesPerSecond));
    ASSERT_TRUE(WaitUntil([&] {
        return Form1->IdTCPServer1->peerCount() == devices &&
               std::all_of(pushing.begin(), pushing.end(), [](const auto& p) { return p->sent() > 0; });
    }));

    TcpPeer newcomer = TcpPeer::connectTo(port);
    ASSERT_TRUE(newcomer.send(lineOf(devices, 0)));
    bool refused = false;
    EXPECT_TRUE(WaitUntil([&] { return refused = refused || newcomer.waitClosed(0ms); }))
        << "the newcomer was taken in";
    for (int d = 0; d < devices; ++d) {
        EXPECT_FALSE(pushing[std::size_t(d)]->endedByServer()) << "device " << d << " was closed";
        EXPECT_LT(pushing[std::size_t(d)]->sent(), perDevice) << "device " << d << " had stopped sending";
    }

    // Each device's lines in the data file: all it took as delivered, in its order.
    const auto dataLines = [&] {
        const std::string bytes = dataFile();
        return int(std::count(bytes.begin(), bytes.end(), '\n')) - 1;
    };
    const auto sendingEnded = [&] {
        return std::all_of(pushing.begin(), pushing.end(),
                           [](const auto& p) { return p->sent() == perDevice || p->endedByServer(); });
    };
    int sentInAll = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            sentInAll = 0;
            for (const auto& p : pushing)
                sentInAll += p->sent();
            return sendingEnded() && dataLines() >= sentInAll;
        },
        20000));
    testsupport::ProcessPending();
    std::vector<int> next(devices + 1, 0);
    int unknown = 0, outOfOrder = 0;
    const std::string file = dataFile();
    for (std::size_t at = file.find("\r\n") + 2, end; (end = file.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
        const std::string line = file.substr(at, end - at);
        int d = -1, i = -1;
        if (std::sscanf(line.c_str(), "2024-03-05 14:07:09 %d %d", &d, &i) != 2 || d < 0 || d > devices ||
            line + "\r" != lineOf(d, i)) {
            ++unknown;
            continue;
        }
        if (i != next[std::size_t(d)])
            ++outOfOrder;
        next[std::size_t(d)] = i + 1;
    }
    std::vector<int> sent;
    for (const auto& p : pushing)
        sent.push_back(p->sent());
    sent.push_back(0); // the newcomer
    EXPECT_EQ(next, sent) << "lines of each device in the file";
    EXPECT_EQ(sentInAll, devices * perDevice);
    EXPECT_EQ(unknown, 0);
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(Form1->IdTCPServer1->peerCount(), std::size_t(devices));
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(TcpReceiverTest, AWriteErrorTextGoesWhenTheFileTakesLinesAgain)
{
    // A folder stands where the file should be.
    ASSERT_TRUE(QDir(dataDir).mkdir("P.dan"));
    TcpPeer peer = TcpPeer::connectTo(port);
    ASSERT_TRUE(peer.send("2024-03-05 14:07:09 1 2\r"));
    ASSERT_TRUE(WaitUntil([&] { return memo().size() == 1; }));
    EXPECT_EQ(panel(2), QStringLiteral("Błąd zapisu do pliku: P.dan"));

    ASSERT_TRUE(QDir(dataDir).rmdir("P.dan"));
    ASSERT_TRUE(peer.send("2024-03-05 14:07:19 3 4\r"));
    ASSERT_TRUE(WaitUntil([&] { return memo().size() == 2; }));
    EXPECT_EQ(dataFile(), "DataTime  k1 k2\r\n2024-03-05 14:07:19 3 4\r\n");
    EXPECT_EQ(panel(2), QString());
    EXPECT_TRUE(boxes.records().empty());
}

TEST(TcpReceiverAtStart, StoredServerModeStoresWhatDevicesPushFromTheStart)
{
    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    // The program's server listens on this port.
    const testsupport::TcpHeldPort held;
    const int port = held.port();
    acquisition::SettingsBlock b = testsupport::StoredSettings();
    b.connectionMode = 2;
    acquisition::setText(b.tcpPort, std::to_string(port));
    b.setFilePrefix("S");
    b.cycleMonthly = b.cycleWeekly = b.cycleDaily = 0;
    b.cycleConstant = 1;
    b.autoAppend = 1;
    b.timeFromComputer = 0;
    cwd.file("settings.suap", testsupport::BlockBytes(b));
    testsupport::CreateProgramForms(false);
    struct Forms {
        ~Forms() { testsupport::DestroyProgramForms(); }
    } forms;

    {
        TcpPeer device = TcpPeer::connectTo(port);
        ASSERT_TRUE(device.send("Tazo132 2024-03-05 14:07:09 21.4 22.0\r\n"));
        ASSERT_TRUE(WaitUntil([] { return vcl::Lines(Form1->Memo1).Count() == 1; }));
    }
    const QString file = QDir(Form1->DirectoryListBox1->Directory()).filePath("S.dan");
    EXPECT_EQ(testsupport::readBytes(file.toStdString()), "DataTime  k1 k2\r\n2024-03-05 14:07:09 21.4 22.0\r\n");
    EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), QStringLiteral("System: Tazo132"));
    EXPECT_TRUE(boxes.records().empty());
}

TEST(TcpReceiverAtStart, APortThatAnotherProgramListensOnIsReportedInWholeLetters)
{
    testsupport::TcpPeerListener otherProgram;
    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    acquisition::SettingsBlock b = testsupport::StoredSettings();
    b.connectionMode = 2;
    acquisition::setText(b.tcpPort, std::to_string(otherProgram.port()));
    cwd.file("settings.suap", testsupport::BlockBytes(b));
    testsupport::CreateProgramForms(false);
    struct Forms {
        ~Forms() { testsupport::DestroyProgramForms(); }
    } forms;

    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(boxes.records()[0].text,
              QStringLiteral("Port TCP %1 jest zajęty przez inny program; serwer nie może na nim nasłuchiwać.")
                  .arg(otherProgram.port()));
    EXPECT_FALSE(Form1->IdTCPServer1->isActive());
}
