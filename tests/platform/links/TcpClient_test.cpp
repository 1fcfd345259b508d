// What the client drops before a command, and a wait that another thread cuts short.

#include "platform/links/TcpClient.h"
#include "tests/support/TcpPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace std::chrono_literals;
using platform::TcpClient;
using testsupport::TcpPeer;
using testsupport::TcpPeerListener;
using Clock = std::chrono::steady_clock;

namespace {

// Waits until the thread tid of this process sleeps in poll, as a call does that waits
// for its socket; false after five seconds.
bool sleepsInPoll(const std::atomic<pid_t>& tid)
{
    const auto deadline = Clock::now() + 5s;
    for (; Clock::now() < deadline; std::this_thread::sleep_for(1ms)) {
        if (tid == 0)
            continue;
        std::string wchan;
        std::ifstream("/proc/self/task/" + std::to_string(tid) + "/wchan") >> wchan;
        if (wchan.find("poll") != std::string::npos)
            return true;
    }
    return false;
}

struct Link {
    Link()
    {
        client.ReadTimeout = 2000;
        client.Connect("127.0.0.1", device.port());
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
        std::string firstReply; // the first read takes it up to its first CR
        std::string late;       // arrives before the discard
        std::string nextLine;   // what the next read gives after the discard
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
        while (link.client.InputBufferSize() < waiting && Clock::now() < deadline)
            std::this_thread::yield();
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
        if (!c.connected && !full)
            continue;
        TcpPeerListener device;
        TcpClient client;
        const int target = c.connected ? device.port() : port;
        client.ConnectTimeout = 10000;
        client.ReadTimeout = 10000;
        if (c.connected)
            client.Connect("127.0.0.1", target);
        std::atomic<pid_t> waiter{0};
        auto call = std::async(std::launch::async, [&] {
            waiter = ::gettid();
            if (c.connected)
                client.ReadLn('\r');
            else
                client.Connect("127.0.0.1", target);
        });
        // Cut short only once the call waits: a Disconnect before it began is another case.
        ASSERT_TRUE(sleepsInPoll(waiter));
        EXPECT_EQ(call.wait_for(0ms), std::future_status::timeout);
        const auto start = Clock::now();
        client.Disconnect();
        EXPECT_FALSE(client.Connected());
        ASSERT_EQ(call.wait_for(2s), std::future_status::ready);
        EXPECT_THROW(call.get(), platform::Interrupted);
        EXPECT_LT(Clock::now() - start, 1s);
        EXPECT_FALSE(client.Connected());
        // The client connects anew afterwards.
        client.Connect("127.0.0.1", device.port());
        EXPECT_TRUE(client.Connected());
    }
}
