// What the client drops before a command, and a wait that another thread cuts short.

#include "platform/TcpClient.h"
#include "tests/support/TcpPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using platform::TcpClient;
using testsupport::TcpPeer;
using testsupport::TcpPeerListener;
using Clock = std::chrono::steady_clock;

namespace {

struct Link {
    Link()
    {
        client.Host = "127.0.0.1";
        client.Port = device.port();
        client.ReadTimeout = 2000;
        client.Connect();
        far = device.accept(2000ms);
    }
    TcpPeerListener device;
    TcpClient client;
    TcpPeer far;
};

} // namespace

TEST(TcpClientInput, DiscardKeepsOnlyTheLineFeedOfTheLineReadLast)
{
    struct Case {
        const char* what;
        std::string firstReply;   // the first read takes it up to its first CR
        std::string late;         // arrives before the discard
        std::string nextLine;     // what the next read gives after the discard
    } cases[] = {
        {"CR LF reply: its LF stays", "one\r\n", "", "\nnext"},
        {"CR reply: nothing left", "one\r", "", "next"},
        {"late CR LF reply: dropped, its LF stays", "one\r\n", "late\r\n", "\nnext"},
        {"late CR reply: dropped", "one\r", "late\r", "next"},
        {"late start of a line: dropped", "one\r\n", "lat", "next"},
        {"two late lines: dropped", "one\r", "a\rb\r\n", "\nnext"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Link link;
        ASSERT_TRUE(link.far.send(c.firstReply));
        EXPECT_EQ(link.client.ReadLn('\r'), "one");
        ASSERT_TRUE(link.far.send(c.late));
        const std::size_t waiting = c.firstReply.size() - 4 + c.late.size();
        const auto deadline = Clock::now() + 2s;
        while (link.client.InputBufferSize() < waiting && Clock::now() < deadline) std::this_thread::yield();
        ASSERT_EQ(link.client.InputBufferSize(), waiting);
        link.client.DiscardInput();
        ASSERT_TRUE(link.far.send("next\r"));
        EXPECT_EQ(link.client.ReadLn('\r'), c.nextLine);
    }
}

TEST(TcpClientInput, DisconnectFromAnotherThreadEndsAWaitAtOnce)
{
    testsupport::TcpUnansweringPort unanswering;
    const int port = unanswering.port();
    const bool full = unanswering.full();
    struct Case {
        const char* what;
        bool connected;
    } cases[] = {{"waiting for a reply", true}, {"connecting", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.connected && !full) continue;
        TcpPeerListener device;
        TcpClient client;
        client.Host = "127.0.0.1";
        client.Port = c.connected ? device.port() : port;
        client.ConnectTimeout = 10000;
        client.ReadTimeout = 10000;
        if (c.connected) client.Connect();
        auto call = std::async(std::launch::async, [&] {
            if (c.connected) client.ReadLn('\r');
            else client.Connect();
        });
        EXPECT_EQ(call.wait_for(100ms), std::future_status::timeout);
        const auto start = Clock::now();
        client.Disconnect();
        EXPECT_FALSE(client.Connected());
        ASSERT_EQ(call.wait_for(2s), std::future_status::ready);
        EXPECT_THROW(call.get(), platform::Interrupted);
        EXPECT_LT(Clock::now() - start, 1s);
        EXPECT_FALSE(client.Connected());
        // The client connects anew afterwards.
        client.Port = device.port();
        client.Connect();
        EXPECT_TRUE(client.Connected());
    }
}
