// The server's bounds: the number of peers served at once and who makes room at the limit
// (only a peer silent for a while, and without losing a line of it), keep-alive on every peer, the length of a line, the lines waiting for a receiver that
// lags behind, and a stop that ends every peer promptly even while they keep sending.

#include "platform/links/TcpServer.h"
#include "tests/support/ProcessMemory.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TcpPeer.h"

#include <QObject>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using platform::TcpPeerPtr;
using platform::TcpServer;
using testsupport::TcpPeer;
using testsupport::TcpPushingPeer;
using Clock = std::chrono::steady_clock;

namespace {

bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 3000ms)
{
    const auto deadline = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

struct CountingServer {
    explicit CountingServer(std::size_t maxPeers = 64, std::chrono::milliseconds silence = 60000ms)
    {
        server.DefaultPort = 0;
        server.MaxPeers = maxPeers;
        server.SilenceBeforeReplaced = silence;
        server.OnExecute = [this](const TcpPeerPtr&, const std::string&, bool truncated) {
            ++lines;
            if (truncated)
                ++cut;
        };
        server.setActive(true);
    }
    TcpServer server;
    std::atomic<int> lines{0};
    std::atomic<int> cut{0};
};

// The kernel's view of the server's end of each of our peers' connections (the server
// on `port`, the peers on `peerPorts`): the timer it runs (/proc/net/tcp: 0 none,
// 1 retransmit, 2 keep-alive, ...) and the seconds until it fires, by the peer's port.
// The kernel writes the table a page at a time, and a socket that another program opens
// or closes meanwhile shifts the rest, so a row may come twice or not at all: each row is
// taken once, and the table is read again until every peer's row was in it.
struct SocketTimer {
    int kind;
    double seconds;
};
std::map<int, SocketTimer> serverSideTimers(int port, const std::set<int>& peerPorts)
{
    const auto portOf = [](const std::string& address) {
        return std::stoi(address.substr(address.find(':') + 1), nullptr, 16);
    };
    std::map<int, SocketTimer> timers;
    for (int reading = 0; reading < 20 && timers.size() < peerPorts.size(); ++reading) {
        std::ifstream table("/proc/net/tcp");
        std::string row;
        std::getline(table, row); // the column names
        while (std::getline(table, row)) {
            std::istringstream in(row);
            std::string slot, local, remote, state, queues, timer;
            in >> slot >> local >> remote >> state >> queues >> timer;
            if (state != "01" || portOf(local) != port || !peerPorts.count(portOf(remote)))
                continue;
            const std::size_t colon = timer.find(':');
            timers.emplace(portOf(remote), SocketTimer{std::stoi(timer.substr(0, colon), nullptr, 16),
                                                       std::stol(timer.substr(colon + 1), nullptr, 16) / 100.0});
        }
    }
    return timers;
}

// Waits until `count` stays the same for a while (a reader that stopped), at most 3 s.
bool settles(const std::atomic<int>& count)
{
    int last = -1;
    return waitFor(
        [&] {
            const int now = count;
            const bool still = now == last && now > 0;
            last = now;
            if (!still)
                std::this_thread::sleep_for(300ms);
            return still;
        },
        3000ms);
}

// A line of exactly 40 bytes with its CR.
std::string floodLine(int i)
{
    char text[41];
    std::snprintf(text, sizeof text, "2024-03-05 14:07:09 %010d 1234567.\r", i);
    return text;
}

// A server whose lines go to a receiver on this thread, which only takes them while the
// test runs the event loop: until then it lags behind without limit.
struct HandOverServer {
    explicit HandOverServer(std::size_t maxPeers = 64, std::chrono::milliseconds silence = 60000ms)
    {
        server.DefaultPort = 0;
        server.MaxPeers = maxPeers;
        server.SilenceBeforeReplaced = silence;
        const auto toUi = TcpServer::handToThreadOf(
            &ui, [this](const TcpPeerPtr&, const std::string& line, bool) { handled.push_back(line); });
        server.OnExecute = [this, toUi](const TcpPeerPtr& peer, const std::string& line, bool truncated) {
            ++read;
            if (line == quietLine)
                ++quietRead;
            toUi(peer, line, truncated);
        };
        server.setActive(true);
    }
    // The one line of a device that is not ahead.
    static constexpr const char* quietLine = "a device with one line";
    QObject ui;
    TcpServer server;
    std::atomic<int> read{0};
    std::atomic<int> quietRead{0};
    std::vector<std::string> handled;
};

// Line i of device `device`, ended by CR; 31 bytes for the devices and lines of a test.
std::string deviceLine(int device, int i)
{
    char text[64];
    std::snprintf(text, sizeof text, "device %02d line %010d ....\r", device, i);
    return text;
}

// Checks that `handled` holds lines 0 to count - 1 of each device, each once and in its
// device's order, and nothing else but the lines in `others`.
void expectEveryLineInOrder(const std::vector<std::string>& handled, const std::vector<int>& count,
                            const std::vector<std::string>& others = {})
{
    std::vector<int> next(count.size(), 0);
    std::vector<std::string> rest;
    for (const auto& line : handled) {
        int device = -1, i = -1;
        if (std::sscanf(line.c_str(), "device %d line %d", &device, &i) != 2 || device < 0 ||
            device >= int(count.size())) {
            rest.push_back(line);
            continue;
        }
        if (i != next[std::size_t(device)] || line + "\r" != deviceLine(device, i)) {
            ADD_FAILURE() << "device " << device << ": line " << i << " where " << next[std::size_t(device)]
                          << " was due";
            return;
        }
        ++next[std::size_t(device)];
    }
    EXPECT_EQ(next, count) << "lines of each device";
    EXPECT_EQ(rest, others);
}

} // namespace

TEST(TcpServerBounds, AtTheLimitANewPeerTakesThePlaceOfThePeerSilentLongest)
{
    CountingServer s(4, 0ms);
    const int port = s.server.boundPort();
    std::vector<TcpPeer> peers;
    for (int i = 0; i < 4; ++i)
        peers.push_back(TcpPeer::connectTo(port));
    ASSERT_TRUE(waitFor([&] { return s.server.peerCount() == 4; }));
    // The second one to connect has been silent longest; the first spoke after it came.
    int sent = 0;
    for (int i : {0, 2, 3}) {
        std::this_thread::sleep_for(5ms);
        ASSERT_TRUE(peers[std::size_t(i)].send("line of a served peer\r"));
        ++sent;
        ASSERT_TRUE(waitFor([&] { return s.lines == sent; }));
    }

    TcpPeer device = TcpPeer::connectTo(port);
    ASSERT_TRUE(device.send("line of the device\r"));
    EXPECT_TRUE(waitFor([&] { return s.lines == sent + 1; }));
    EXPECT_TRUE(peers[1].waitClosed(2000ms));
    for (int i : {0, 2, 3}) {
        EXPECT_FALSE(peers[std::size_t(i)].waitClosed(0ms)) << i;
        ASSERT_TRUE(peers[std::size_t(i)].send("still served\r"));
    }
    EXPECT_TRUE(waitFor([&] { return s.lines == sent + 4; }));
    EXPECT_EQ(s.server.peerCount(), 4u);
}

TEST(TcpServerBounds, EveryPeerIsProbedByKeepAlive)
{
    if (!std::ifstream("/proc/net/tcp"))
        GTEST_SKIP() << "no /proc/net/tcp to look at";
    CountingServer s;
    std::vector<TcpPeer> peers;
    for (int i = 0; i < 3; ++i)
        peers.push_back(TcpPeer::connectTo(s.server.boundPort()));
    ASSERT_TRUE(waitFor([&] { return s.server.peerCount() == 3; }));
    ASSERT_TRUE(peers[0].send("a line resets the idle time\r"));
    ASSERT_TRUE(waitFor([&] { return s.lines == 1; }));
    std::set<int> peerPorts;
    for (const auto& p : peers)
        peerPorts.insert(p.localPort());
    ASSERT_EQ(peerPorts.size(), 3u);
    const auto timers = serverSideTimers(s.server.boundPort(), peerPorts);
    ASSERT_EQ(timers.size(), 3u) << "server sides found in /proc/net/tcp";
    for (const auto& [peerPort, t] : timers) {
        SCOPED_TRACE(peerPort);
        EXPECT_EQ(t.kind, 2) << "no keep-alive timer";
        EXPECT_GT(t.seconds, 30);
        EXPECT_LE(t.seconds, 60);
    }
}

TEST(TcpServerBounds, OverlongLineEndsItsPeerAtTheLimit)
{
    struct Case {
        std::size_t length;
        bool whole;
    } cases[] = {{16384, true}, {16385, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        CountingServer s;
        TcpPeer peer = TcpPeer::connectTo(s.server.boundPort());
        ASSERT_TRUE(peer.send(std::string(c.length, 'x') + "\rafter\r"));
        if (c.whole) {
            EXPECT_TRUE(waitFor([&] { return s.lines == 2; }));
            EXPECT_FALSE(peer.waitClosed(50ms));
        } else {
            EXPECT_TRUE(peer.waitClosed(3000ms));
            EXPECT_EQ(s.lines, 1);
        }
        EXPECT_EQ(s.cut, c.whole ? 0 : 1);
    }
}

TEST(TcpServerBounds, AReceiverThatLagsStopsTheReadingOfThePeerAheadAndLosesNoLine)
{
    // 20 MB, far more than the sockets on the way hold.
    constexpr int flood = 500000;
    HandOverServer s;
    const int port = s.server.boundPort();
    const double before = testsupport::heldMb();
    TcpPushingPeer flooder(port, floodLine, flood);
    ASSERT_TRUE(settles(s.read));
    EXPECT_LE(std::size_t(s.read), TcpServer::HandOverBacklog / 40 + 2);
    EXPECT_LT(flooder.sent(), flood) << "the peer was not slowed down";
    EXPECT_LT(testsupport::heldMb() - before, 16.0) << "MB taken while the receiver lagged";

    // A peer that is not ahead is still read from.
    TcpPeer quiet = TcpPeer::connectTo(port);
    ASSERT_TRUE(quiet.send(std::string(HandOverServer::quietLine) + "\r"));
    EXPECT_TRUE(waitFor([&] { return s.quietRead == 1; }));

    // The receiver catches up: every line read arrives, in order, once.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return s.handled.size() == std::size_t(flood) + 1; }, 20000));
    EXPECT_EQ(s.read, flood + 1);
    EXPECT_TRUE(flooder.waitSent(1000ms));
    int next = 0, quietLines = 0;
    for (const auto& line : s.handled) {
        if (line == HandOverServer::quietLine) {
            ++quietLines;
            continue;
        }
        std::string expected = floodLine(next++);
        expected.pop_back();
        if (line != expected) {
            ADD_FAILURE() << "line " << next - 1 << " arrived as " << line;
            break;
        }
    }
    EXPECT_EQ(next, flood);
    EXPECT_EQ(quietLines, 1);
}

TEST(TcpServerBounds, StopDropsTheLinesStillWaitingForTheReceiver)
{
    constexpr int flood = 500000;
    HandOverServer s;
    TcpPushingPeer flooder(s.server.boundPort(), floodLine, flood);
    ASSERT_TRUE(settles(s.read));

    // The peer's thread waits for room in the hand-over; the stop must not wait for the
    // receiver.
    const auto start = Clock::now();
    s.server.setActive(false);
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_TRUE(waitFor([&] { return flooder.endedByServer(); }, 6000ms));
    testsupport::ProcessPending();
    EXPECT_FALSE(testsupport::WaitUntil([&] { return !s.handled.empty(); }, 300));
    EXPECT_TRUE(s.handled.empty()) << s.handled.size() << " lines handled after the stop";
}

TEST(TcpServerBounds, StopEndsPeersThatKeepSendingWithinFiveSeconds)
{
    CountingServer s;
    std::vector<std::unique_ptr<TcpPushingPeer>> peers;
    for (int i = 0; i < 8; ++i)
        peers.push_back(std::make_unique<TcpPushingPeer>(
            s.server.boundPort(), [](int n) { return "2024-03-05 14:07:09 " + std::to_string(n) + "\r"; }, 0));
    ASSERT_TRUE(waitFor([&] { return s.server.peerCount() == 8 && s.lines > 1000; }));

    const auto start = Clock::now();
    s.server.setActive(false);
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(s.server.peerCount(), 0u);
    for (auto& p : peers)
        EXPECT_TRUE(waitFor([&] { return p->endedByServer(); }, 5000ms));
}

TEST(TcpServerBounds, AtTheLimitPeersThatKeepSendingKeepTheirPlaceAndEveryLine)
{
    constexpr int devices = 4;
    struct Case {
        const char* what;
        bool heldBack;      // the receiver takes no line until the newcomer's fate is known
        int linesPerSecond; // of each device; 0 as fast as it is read
        int perDevice;
    } cases[] = {
        // Far more than the sockets and the hand-over hold: the devices wait for the receiver.
        {"devices faster than a receiver held back", true, 0, 40000},
        {"devices at a steady pace that the receiver keeps up with", false, 1000, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HandOverServer s(devices);
        const int port = s.server.boundPort();
        std::vector<std::unique_ptr<TcpPushingPeer>> pushing;
        for (int d = 0; d < devices; ++d)
            pushing.push_back(std::make_unique<TcpPushingPeer>(
                port, [d](int i) { return deviceLine(d, i); }, c.perDevice, 16 * 1024, c.linesPerSecond));
        const auto everyOneSends = [&] {
            for (const auto& p : pushing)
                if (p->sent() == 0)
                    return false;
            return s.server.peerCount() == std::size_t(devices);
        };
        if (c.heldBack) {
            ASSERT_TRUE(waitFor(everyOneSends));
            ASSERT_TRUE(settles(s.read));
        } else {
            ASSERT_TRUE(testsupport::WaitUntil(everyOneSends));
        }

        TcpPeer newcomer = TcpPeer::connectTo(port);
        ASSERT_TRUE(newcomer.send("a newcomer's line\r"));
        bool refused = false;
        if (c.heldBack)
            refused = newcomer.waitClosed(3000ms);
        else
            refused = testsupport::WaitUntil([&] { return refused = refused || newcomer.waitClosed(0ms); });
        EXPECT_TRUE(refused) << "the newcomer was taken in";
        for (int d = 0; d < devices; ++d) {
            EXPECT_FALSE(pushing[std::size_t(d)]->endedByServer()) << "device " << d << " was closed";
            EXPECT_LT(pushing[std::size_t(d)]->sent(), c.perDevice) << "device " << d << " had stopped sending";
        }

        // Every line each device took as delivered arrives, in its order; the newcomer's none.
        std::vector<int> sent(devices);
        const auto allArrived = [&] {
            std::size_t total = 0;
            for (int d = 0; d < devices; ++d) {
                sent[std::size_t(d)] = pushing[std::size_t(d)]->sent();
                if (sent[std::size_t(d)] < c.perDevice && !pushing[std::size_t(d)]->endedByServer())
                    return false;
                total += std::size_t(sent[std::size_t(d)]);
            }
            return s.handled.size() >= total;
        };
        EXPECT_TRUE(testsupport::WaitUntil(allArrived, 20000));
        testsupport::ProcessPending();
        expectEveryLineInOrder(s.handled, sent);
        EXPECT_EQ(sent, std::vector<int>(devices, c.perDevice));
    }
}

TEST(TcpServerBounds, AtTheLimitOnlyAPeerSilentLongEnoughMakesRoomAndKeepsItsLines)
{
    // The receiver is held back throughout: the peers' lines wait in the hand-over.
    constexpr auto silence = 500ms;
    HandOverServer s(2, silence);
    const int port = s.server.boundPort();
    TcpPushingPeer steady(
        port, [](int i) { return deviceLine(0, i); }, 0, 0, 50);
    TcpPeer quiet = TcpPeer::connectTo(port);
    ASSERT_TRUE(quiet.send(std::string(HandOverServer::quietLine) + "\r"));
    ASSERT_TRUE(waitFor([&] { return s.quietRead == 1 && steady.sent() > 0; }));
    const auto quietSince = Clock::now();

    // Neither has been silent long enough: the newcomer is refused.
    TcpPeer early = TcpPeer::connectTo(port);
    ASSERT_TRUE(early.send("an early device's line\r"));
    EXPECT_TRUE(early.waitClosed(2000ms)) << "the early device was taken in";
    ASSERT_LT(Clock::now() - quietSince, silence) << "too slow to come early";
    EXPECT_FALSE(quiet.waitClosed(0ms));

    // Once the quiet one has been silent long enough, it makes room.
    std::this_thread::sleep_until(quietSince + silence);
    TcpPeer late = TcpPeer::connectTo(port);
    ASSERT_TRUE(late.send("a late device's line\r"));
    EXPECT_TRUE(quiet.waitClosed(2000ms)) << "the quiet device kept its place";
    EXPECT_FALSE(late.waitClosed(0ms));
    EXPECT_FALSE(steady.endedByServer());

    // Released, the receiver gets the quiet device's line and every other one in order.
    steady.stop();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return s.handled.size() == std::size_t(steady.sent()) + 2; }));
    testsupport::ProcessPending();
    expectEveryLineInOrder(s.handled, {steady.sent()}, {HandOverServer::quietLine, "a late device's line"});
    EXPECT_FALSE(steady.endedByServer());
}
