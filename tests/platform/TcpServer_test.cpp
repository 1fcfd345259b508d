// The server's bounds: the number of peers served at once, the length of a line, and a
// stop that ends every peer promptly even while they keep sending.

#include "platform/TcpServer.h"
#include "tests/support/TcpPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
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
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

struct CountingServer {
    explicit CountingServer(std::size_t maxPeers = 64)
    {
        server.DefaultPort = 0;
        server.MaxPeers = maxPeers;
        server.OnExecute = [this](const TcpPeerPtr&, const std::string&, bool truncated) {
            ++lines;
            if (truncated) ++cut;
        };
        server.setActive(true);
    }
    TcpServer server;
    std::atomic<int> lines{0};
    std::atomic<int> cut{0};
};

} // namespace

TEST(TcpServerBounds, PeersBeyondTheLimitAreClosedAtOnce)
{
    CountingServer s(4);
    const int port = s.server.boundPort();
    std::vector<TcpPeer> served;
    for (int i = 0; i < 4; ++i) served.push_back(TcpPeer::connectTo(port));
    ASSERT_TRUE(waitFor([&] { return s.server.peerCount() == 4; }));

    TcpPeer extra = TcpPeer::connectTo(port);
    EXPECT_TRUE(extra.waitClosed(2000ms));
    EXPECT_EQ(s.server.peerCount(), 4u);
    for (auto& p : served) ASSERT_TRUE(p.send("line of a served peer\r"));
    EXPECT_TRUE(waitFor([&] { return s.lines == 4; }));

    // A place that comes free takes the next peer.
    served.front().close();
    ASSERT_TRUE(waitFor([&] { return s.server.peerCount() == 3; }));
    TcpPeer next = TcpPeer::connectTo(port);
    ASSERT_TRUE(next.send("next\r"));
    EXPECT_TRUE(waitFor([&] { return s.lines == 5; }));
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
    for (auto& p : peers) EXPECT_TRUE(waitFor([&] { return p->endedByServer(); }, 5000ms));
}
