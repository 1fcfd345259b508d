// The class library's timer rules, observed on the event loop (no sleeping).

#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclCore.h"
#include "platform/vcl/VclTimer.h"
#include "tests/support/QtTestApp.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace vcl;
using testsupport::WaitUntil;

namespace {

// Waits until `ms` have passed on the event loop.
void RunLoopFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    WaitUntil([&] { return clock.elapsed() >= ms; }, ms + 5000);
}

} // namespace

TEST(VclTimer, FiresAtItsIntervalUntilDisabled)
{
    TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&](TObject* sender) {
        EXPECT_EQ(sender, &timer);
        ++ticks;
    };
    timer.SetInterval(20);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 3; }, 3000));
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Running());
    const int stopped = ticks;
    RunLoopFor(120);
    EXPECT_EQ(ticks, stopped);
    // A new interval on a stopped timer does not start it.
    timer.SetInterval(10);
    RunLoopFor(60);
    EXPECT_EQ(ticks, stopped);
    timer.SetEnabled(true);
    EXPECT_TRUE(WaitUntil([&] { return ticks > stopped; }, 3000));
}

TEST(VclTimer, IntervalZeroNeverFires)
{
    TTimer zero;
    zero.SetInterval(0);
    int ticks = 0;
    zero.OnTimer = [&](TObject*) { ++ticks; };
    zero.SetEnabled(false);
    zero.SetEnabled(true);
    EXPECT_FALSE(zero.Running());
    RunLoopFor(100);
    EXPECT_EQ(ticks, 0);
    zero.SetInterval(15);
    EXPECT_TRUE(WaitUntil([&] { return ticks > 0; }, 3000));
    zero.SetInterval(0);
    const int now = ticks;
    RunLoopFor(80);
    EXPECT_EQ(ticks, now);
}

TEST(VclTimer, ADifferentIntervalRestartsTheCountTheSameDoesNot)
{
    struct Case {
        int newInterval;
        bool restarts;
    };
    for (const Case c : {Case{401, true}, Case{400, false}}) {
        TTimer timer;
        QElapsedTimer clock;
        qint64 firstTick = -1;
        timer.OnTimer = [&](TObject*) {
            if (firstTick < 0)
                firstTick = clock.elapsed();
        };
        timer.SetInterval(400);
        clock.start();
        RunLoopFor(300);
        timer.SetInterval(c.newInterval);
        ASSERT_TRUE(WaitUntil([&] { return firstTick >= 0; }, 5000));
        if (c.restarts) {
            EXPECT_GE(firstTick, 300 + 350) << "restarted count";
        } else {
            EXPECT_LT(firstTick, 600) << "kept count";
        }
    }
}

TEST(VclTimer, AnErrorInTheHandlerIsShownAndTheTimerGoesOn)
{
    platform::MessageScript boxes;
    TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&](TObject*) {
        if (++ticks == 1)
            throw Exception(QStringLiteral("Port zajęty"));
    };
    timer.SetInterval(10);
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 3; }, 3000));
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Port zajęty"));
}
