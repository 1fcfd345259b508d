#include "platform/links/TcpClient.h"
#include "platform/links/TcpServer.h"
#include "platform/text/Cp1250.h"
#include "tests/support/Elapsed.h"
#include "tests/support/TcpPeer.h"
#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using platform::ConnectionClosed;
using platform::LineTooLong;
using platform::SocketError;
using platform::TcpClient;
using platform::TcpPeerPtr;
using platform::TcpServer;
using testsupport::Clock;
using testsupport::msSince;
using testsupport::TcpPeer;
using testsupport::TcpPeerListener;

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "platform_Tcp_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* instance = new QCoreApplication(argc, argv);
    return *instance;
}

class TcpTest : public testsupport::TempDirTest {};

// What the server's handler saw, on which thread, for which peer.
struct Seen {
    TcpPeerPtr peer;
    std::string line;
    bool truncated;
    std::thread::id thread;
};

class Recorder {
public:
    void add(const TcpPeerPtr& peer, const std::string& line, bool truncated)
    {
        std::lock_guard lock(mutex_);
        seen_.push_back({peer, line, truncated, std::this_thread::get_id()});
        changed_.notify_all();
    }
    void status(const std::string& text)
    {
        std::lock_guard lock(mutex_);
        statuses_.push_back(text);
        changed_.notify_all();
    }
    bool waitLines(std::size_t n, std::chrono::milliseconds timeout = 3000ms)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return seen_.size() >= n; });
    }
    bool waitStatus(const std::string& text, std::size_t count, std::chrono::milliseconds timeout = 3000ms)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(
            lock, timeout, [&] { return std::size_t(std::count(statuses_.begin(), statuses_.end(), text)) >= count; });
    }
    std::vector<Seen> seen()
    {
        std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Seen> seen_;
    std::vector<std::string> statuses_;
};

void startRecording(TcpServer& server, Recorder& rec)
{
    server.DefaultPort = 0;
    server.OnExecute = [&rec](const TcpPeerPtr& peer, const std::string& line, bool truncated) {
        rec.add(peer, line, truncated);
    };
    server.OnStatus = [&rec](const TcpPeerPtr&, const std::string& text) { rec.status(text); };
    server.setActive(true);
}

bool waitPeers(TcpServer& server, std::size_t n)
{
    const auto deadline = Clock::now() + 3s;
    while (server.peerCount() != n && Clock::now() < deadline)
        std::this_thread::yield();
    return server.peerCount() == n;
}

// A client connected to a device that listens on loopback.
struct ClientLink {
    explicit ClientLink(int readTimeout = 2000, std::size_t maxLine = 16384)
    {
        client.ReadTimeout = readTimeout;
        client.MaxLineLength = maxLine;
        client.OnStatus = [this](const std::string& s) { states.push_back(s); };
        client.Connect("127.0.0.1", device.port());
        far = device.accept(2000ms);
    }
    TcpPeerListener device;
    TcpClient client;
    TcpPeer far;
    std::vector<std::string> states;
};

// ---- client ----

TEST_F(TcpTest, ClientSendsLinesWithCrLfAndReportsItsState)
{
    ClientLink link;
    TcpClient& client = link.client;
    ASSERT_TRUE(link.far.isOpen());
    EXPECT_TRUE(client.Connected());

    client.WriteLn("?DAT &");
    client.WriteLn(std::string("\0\xff", 2));
    EXPECT_EQ(link.far.receive(12, 2000ms), std::string("?DAT &\r\n\0\xff\r\n", 12));
    EXPECT_THROW(client.Connect("127.0.0.1", link.device.port()), SocketError);

    client.Disconnect();
    EXPECT_FALSE(client.Connected());
    EXPECT_TRUE(link.far.waitClosed(2000ms));
    EXPECT_EQ(link.states, (std::vector<std::string>{"Resolving hostname 127.0.0.1.", "Connecting to 127.0.0.1.",
                                                     "Connected.", "Disconnecting.", "Disconnected."}));

    TcpClient never;
    EXPECT_FALSE(never.Connected());
}

TEST_F(TcpTest, ClientReadsUpToCrWithBytesUnchanged)
{
    struct Case {
        const char* what;
        std::vector<std::string> sent;
        std::vector<std::string> lines;
    } cases[] = {
        {"CR LF leaves the LF in front of the next line", {"line1\r\nline2\r"}, {"line1", "\nline2"}},
        {"a line split over sends", {"2024-03-05 14:", "07:09 21.4", " 22.0\r"}, {"2024-03-05 14:07:09 21.4 22.0"}},
        {"NUL and bytes above 0x7F", {std::string("\0\xe9\xff\x80z\r", 6)}, {std::string("\0\xe9\xff\x80z", 5)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClientLink link;
        for (const auto& s : c.sent)
            ASSERT_TRUE(link.far.send(s));
        for (const auto& line : c.lines) {
            EXPECT_EQ(link.client.ReadLn('\r'), line);
            EXPECT_FALSE(link.client.ReadLnTimedOut());
        }
    }
}

TEST_F(TcpTest, ClientReadTimesOutAndKeepsWhatCame)
{
    ClientLink link(300);
    TcpClient& client = link.client;
    TcpPeer& far = link.far;
    ASSERT_TRUE(far.send("par"));
    auto start = Clock::now();
    EXPECT_EQ(client.ReadLn('\r'), "");
    EXPECT_TRUE(client.ReadLnTimedOut());
    EXPECT_GE(msSince(start), 290);
    EXPECT_LT(msSince(start), 1500);

    ASSERT_TRUE(far.send("tial\r"));
    EXPECT_EQ(client.ReadLn('\r'), "partial");
    EXPECT_FALSE(client.ReadLnTimedOut());

    start = Clock::now();
    EXPECT_EQ(client.ReadLn('\r', 100), "");
    EXPECT_TRUE(client.ReadLnTimedOut());
    EXPECT_LT(msSince(start), 1000);
    EXPECT_TRUE(client.Connected());
}

TEST_F(TcpTest, ClientReportsAClosedConnectionAndConnectsAgain)
{
    ClientLink link;
    TcpClient& client = link.client;
    ASSERT_TRUE(link.far.send("whole\rcut"));
    link.far.close();
    EXPECT_EQ(client.ReadLn('\r'), "whole");
    EXPECT_THROW(client.ReadLn('\r'), ConnectionClosed);
    EXPECT_FALSE(client.Connected());

    client.Connect("127.0.0.1", link.device.port());
    TcpPeer again = link.device.accept(2000ms);
    ASSERT_TRUE(again.send("next\r"));
    EXPECT_EQ(client.ReadLn('\r'), "next");
}

TEST_F(TcpTest, ClientRefusesAnOverlongLineAndReadsTheNextOne)
{
    ClientLink link(2000, 16);
    ASSERT_TRUE(link.far.send(std::string(40, 'x') + "\rnext\r"));
    EXPECT_THROW(link.client.ReadLn('\r'), LineTooLong);
    EXPECT_EQ(link.client.ReadLn('\r'), "next");
}

TEST_F(TcpTest, ClientConnectFailuresRaise)
{
    const testsupport::TcpHeldPort closed;
    struct Case {
        const char* what;
        std::string host;
        int port;
    } cases[] = {
        {"refused", "127.0.0.1", closed.port()},
        {"unknown host", "no-such-host.invalid", 3999},
        {"port out of range", "127.0.0.1", 70000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TcpClient client;
        client.ConnectTimeout = 2000;
        try {
            client.Connect(c.host, c.port);
            ADD_FAILURE() << "connected";
        } catch (const SocketError& e) {
            EXPECT_FALSE(std::string(e.what()).empty());
        }
        EXPECT_FALSE(client.Connected());
        EXPECT_THROW(client.WriteLn("?DAT &"), SocketError);
        EXPECT_THROW(client.ReadLn('\r'), SocketError);
    }
}

// ---- server ----

TEST_F(TcpTest, ServerServesTwoPeersAtOnceOnTheirOwnThreads)
{
    std::mutex gateMutex;
    std::condition_variable gate;
    bool open = false;
    Recorder rec;
    TcpServer server;
    server.DefaultPort = 0;
    // Peer A's first line blocks its handler until peer B's line was handled: only a
    // thread per peer gets through this.
    server.OnExecute = [&](const TcpPeerPtr& peer, const std::string& line, bool truncated) {
        if (line == "a1") {
            std::unique_lock lock(gateMutex);
            gate.wait_for(lock, 3s, [&] { return open; });
        }
        rec.add(peer, line, truncated);
        if (line == "b1") {
            std::lock_guard lock(gateMutex);
            open = true;
            gate.notify_all();
        }
    };
    server.setActive(true);
    ASSERT_TRUE(server.isActive());
    ASSERT_NE(server.boundPort(), 0);

    TcpPeer a = TcpPeer::connectTo(server.boundPort());
    TcpPeer b = TcpPeer::connectTo(server.boundPort());
    ASSERT_TRUE(waitPeers(server, 2));
    ASSERT_TRUE(a.send("a1\ra2\r"));
    ASSERT_TRUE(b.send("b1\r"));
    ASSERT_TRUE(rec.waitLines(3));

    const auto seen = rec.seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].line, "b1");
    EXPECT_EQ(seen[1].line, "a1");
    EXPECT_EQ(seen[2].line, "a2");
    EXPECT_EQ(seen[1].peer, seen[2].peer);
    EXPECT_NE(seen[0].peer, seen[1].peer);
    EXPECT_EQ(seen[1].thread, seen[2].thread);
    EXPECT_NE(seen[0].thread, seen[1].thread);
    for (const auto& s : seen)
        EXPECT_NE(s.thread, std::this_thread::get_id());
}

TEST_F(TcpTest, ServerHandsLinesToTheUiThreadInArrivalOrder)
{
    QCoreApplication& application = app();
    QObject ui;
    QEventLoop loop;
    std::vector<std::string> arrived;
    bool allOnUiThread = true;

    Recorder network;
    TcpServer server;
    server.DefaultPort = 0;
    const auto toUi = TcpServer::handToThreadOf(&ui, [&](const TcpPeerPtr&, const std::string& line, bool) {
        allOnUiThread = allOnUiThread && QThread::currentThread() == application.thread();
        arrived.push_back(line);
        if (arrived.size() == 5)
            loop.quit();
    });
    server.OnExecute = [&](const TcpPeerPtr& peer, const std::string& line, bool truncated) {
        toUi(peer, line, truncated);
        network.add(peer, line, truncated);
    };
    server.setActive(true);

    TcpPeer a = TcpPeer::connectTo(server.boundPort());
    TcpPeer b = TcpPeer::connectTo(server.boundPort());
    const std::pair<TcpPeer*, const char*> order[] = {{&a, "A1"}, {&b, "B1"}, {&a, "A2"}, {&b, "B2"}, {&a, "A3"}};
    std::size_t n = 0;
    for (const auto& [peer, text] : order) {
        ASSERT_TRUE(peer->send(std::string(text) + "\r"));
        ASSERT_TRUE(network.waitLines(++n));
    }
    EXPECT_TRUE(arrived.empty()) << "lines must wait for the UI thread's event loop";

    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(arrived, (std::vector<std::string>{"A1", "B1", "A2", "B2", "A3"}));
    EXPECT_TRUE(allOnUiThread);
    server.setActive(false);
}

TEST_F(TcpTest, UiThreadDropsAPeerWhoseLineItRefuses)
{
    QCoreApplication& application = app();
    (void)application;
    QObject ui;
    QEventLoop loop;
    TcpServer server;
    server.DefaultPort = 0;
    server.OnExecute = TcpServer::handToThreadOf(&ui, [&](const TcpPeerPtr& peer, const std::string& line, bool) {
        if (line == "bad")
            peer->disconnect();
        loop.quit();
    });
    server.setActive(true);
    TcpPeer a = TcpPeer::connectTo(server.boundPort());
    TcpPeer b = TcpPeer::connectTo(server.boundPort());
    ASSERT_TRUE(waitPeers(server, 2));
    ASSERT_TRUE(a.send("bad\r"));
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(a.waitClosed(3000ms));
    EXPECT_TRUE(waitPeers(server, 1));
    EXPECT_TRUE(b.send("still here\r"));
}

TEST_F(TcpTest, ServerPassesLinesAsReceived)
{
    struct Case {
        const char* what;
        std::vector<std::string> sent;
        std::vector<std::string> lines;
    } cases[] = {
        {"nothing sent", {}, {}},
        {"unfinished line at disconnect is no line", {"no end"}, {}},
        {"CR LF peer", {"12345\r\n12345\r"}, {"12345", "\n12345"}},
        {"split and joined",
         {"Tazo132 2024-03-05 ", "14:07:09 21.4 22.0\rOK", "\r"},
         {"Tazo132 2024-03-05 14:07:09 21.4 22.0", "OK"}},
        {"any bytes", {std::string("\0\xff\x80z\r", 5)}, {std::string("\0\xff\x80z", 4)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Recorder rec;
        TcpServer server;
        startRecording(server, rec);
        {
            TcpPeer peer = TcpPeer::connectTo(server.boundPort());
            for (const auto& s : c.sent)
                ASSERT_TRUE(peer.send(s));
        }
        ASSERT_TRUE(rec.waitStatus("Disconnected.", 1));
        const auto seen = rec.seen();
        ASSERT_EQ(seen.size(), c.lines.size());
        for (std::size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].line, c.lines[i]);
            EXPECT_FALSE(seen[i].truncated);
        }
        EXPECT_TRUE(waitPeers(server, 0));
    }
}

TEST_F(TcpTest, ServerCutsOverlongLinesOrEndsThePeer)
{
    for (bool ends : {false, true}) {
        SCOPED_TRACE(ends ? "ends the connection" : "cuts and goes on");
        Recorder rec;
        TcpServer server;
        server.MaxLineLength = 8;
        server.OverlongEndsConnection = ends;
        startRecording(server, rec);
        TcpPeer peer = TcpPeer::connectTo(server.boundPort());
        ASSERT_TRUE(peer.send("0123456789ABC\rok\r"));
        ASSERT_TRUE(rec.waitLines(ends ? 1 : 2));
        if (ends)
            EXPECT_TRUE(peer.waitClosed(3000ms));
        else
            peer.close();
        ASSERT_TRUE(rec.waitStatus("Disconnected.", 1));
        const auto seen = rec.seen();
        ASSERT_EQ(seen.size(), ends ? 1u : 2u);
        EXPECT_EQ(seen[0].line, "01234567");
        EXPECT_TRUE(seen[0].truncated);
        if (!ends) {
            EXPECT_EQ(seen[1].line, "ok");
            EXPECT_FALSE(seen[1].truncated);
        }
    }
}

TEST_F(TcpTest, HandlerExceptionEndsOnlyThatPeer)
{
    Recorder rec;
    TcpServer server;
    server.DefaultPort = 0;
    server.OnExecute = [&](const TcpPeerPtr& peer, const std::string& line, bool truncated) {
        rec.add(peer, line, truncated);
        if (line == "bad")
            throw std::runtime_error("'x' is not a valid floating point value");
    };
    server.setActive(true);
    TcpPeer a = TcpPeer::connectTo(server.boundPort());
    TcpPeer b = TcpPeer::connectTo(server.boundPort());
    ASSERT_TRUE(waitPeers(server, 2));
    ASSERT_TRUE(a.send("bad\rlost\r"));
    EXPECT_TRUE(a.waitClosed(3000ms));
    ASSERT_TRUE(b.send("good\r"));
    ASSERT_TRUE(rec.waitLines(2));
    const auto seen = rec.seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].line, "bad");
    EXPECT_EQ(seen[1].line, "good");
}

TEST_F(TcpTest, StopClosesPeersJoinsThreadsAndFreesThePort)
{
    Recorder rec;
    TcpServer server;
    startRecording(server, rec);
    const int port = server.boundPort();
    TcpPeer a = TcpPeer::connectTo(port);
    TcpPeer b = TcpPeer::connectTo(port);
    ASSERT_TRUE(waitPeers(server, 2));

    const auto start = Clock::now();
    server.setActive(false);
    EXPECT_LT(msSince(start), 2000);
    EXPECT_FALSE(server.isActive());
    EXPECT_EQ(server.peerCount(), 0u);
    EXPECT_EQ(server.boundPort(), 0);
    EXPECT_TRUE(a.waitClosed(2000ms));
    EXPECT_TRUE(b.waitClosed(2000ms));
    EXPECT_TRUE(rec.waitStatus("Disconnected.", 2, 0ms)) << "stop returned before its peers ended";
    EXPECT_THROW(TcpPeer::connectTo(port, 500ms), std::runtime_error);

    server.DefaultPort = port;
    server.setActive(true);
    EXPECT_EQ(server.boundPort(), port);
    TcpPeer c = TcpPeer::connectTo(port);
    ASSERT_TRUE(c.send("again\r"));
    ASSERT_TRUE(rec.waitLines(1));
    EXPECT_EQ(rec.seen()[0].line, "again");
}

TEST_F(TcpTest, PortInUseRaisesAClearError)
{
    TcpServer first;
    first.DefaultPort = 0;
    first.setActive(true);
    TcpPeerListener otherProgram;
    for (int port : {first.boundPort(), otherProgram.port()}) {
        SCOPED_TRACE(port);
        TcpServer second;
        second.DefaultPort = port;
        try {
            second.setActive(true);
            ADD_FAILURE() << "listened on a port in use";
        } catch (const SocketError& e) {
            // In code page 1250, as every error text that reaches the error box.
            EXPECT_EQ(platform::cp1250ToUnicode(e.what()).toStdString(),
                      QStringLiteral("Port TCP %1 jest zajęty przez inny program; serwer nie może na nim nasłuchiwać.")
                          .arg(port)
                          .toStdString());
        }
        EXPECT_FALSE(second.isActive());
    }
    TcpServer outOfRange;
    outOfRange.DefaultPort = 65536;
    EXPECT_THROW(outOfRange.setActive(true), SocketError);
    EXPECT_FALSE(outOfRange.isActive());
}

} // namespace
