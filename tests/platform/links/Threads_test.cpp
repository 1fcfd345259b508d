// The hand-over of calls from worker threads to the thread that owns an object.

#include "platform/links/Threads.h"

#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QObject>

#include <memory>
#include <thread>
#include <vector>

namespace {

TEST(QueueCall, RunsOnTheReceiversThreadInTheOrderPosted)
{
    QObject receiver;
    const std::thread::id uiThread = std::this_thread::get_id();
    std::vector<int> order;
    bool ranOnOtherThread = false;
    const auto record = [&](int n) {
        return [&, n] {
            ranOnOtherThread |= std::this_thread::get_id() != uiThread;
            order.push_back(n);
        };
    };

    // Posted from the receiver's own thread, the call waits for the event loop.
    platform::queueCall(&receiver, record(0));
    EXPECT_TRUE(order.empty());
    std::thread worker([&] {
        for (int n = 1; n <= 200; ++n)
            platform::queueCall(&receiver, record(n));
    });
    worker.join();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return order.size() == 201; }));
    EXPECT_FALSE(ranOnOtherThread);
    for (int n = 0; n < 201; ++n)
        ASSERT_EQ(order[std::size_t(n)], n);
}

TEST(QueueCall, CallsStillPendingWhenTheReceiverGoesAreDropped)
{
    auto receiver = std::make_unique<QObject>();
    bool ran = false;
    std::thread worker([&] { platform::queueCall(receiver.get(), [&] { ran = true; }); });
    worker.join();
    receiver.reset();
    testsupport::ProcessPending();
    EXPECT_FALSE(ran);
}

} // namespace
