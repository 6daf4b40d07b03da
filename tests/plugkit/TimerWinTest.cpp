#include "plugkit/Timer.h"
#include "tests/support/PumpMessages.h"

#include <gtest/gtest.h>

#include <memory>
#include <windows.h>

using namespace plugkit;
using lumenfall::test::PumpMessages;

namespace
{

TEST(WindowsTimer, FiresThroughTheCreatingThreadsMessageLoopAndStopsCleanly)
{
    const DWORD thread = GetCurrentThreadId();
    int fired = 0;
    bool onCreatingThread = true;
    std::unique_ptr<Timer> t(Timer::Create(
        [&](Timer&)
        {
            ++fired;
            onCreatingThread = onCreatingThread && GetCurrentThreadId() == thread;
        },
        10));
    ASSERT_TRUE(t);
    ASSERT_NE(t->GetId(), 0u);
    EXPECT_EQ(Timer::NumRunning(), 1);

    EXPECT_EQ(fired, 0); // nothing fires without the message loop
    PumpMessages(5000, [&] { return fired >= 3; });
    EXPECT_GE(fired, 3);
    EXPECT_TRUE(onCreatingThread);

    t->Stop();
    EXPECT_EQ(t->GetId(), 0u);
    EXPECT_EQ(Timer::NumRunning(), 0);
    const int afterStop = fired;
    PumpMessages(200, [] { return false; });
    EXPECT_EQ(fired, afterStop);
}

TEST(WindowsTimer, CallbackMayStopItsOwnTimer)
{
    int fired = 0;
    std::unique_ptr<Timer> t(Timer::Create(
        [&](Timer& self)
        {
            ++fired;
            self.Stop();
        },
        10));
    PumpMessages(3000, [&] { return fired > 0; });
    PumpMessages(100, [] { return false; });
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(Timer::NumRunning(), 0);
}

TEST(WindowsTimer, TwoTimersEachCallTheirOwnCallback)
{
    int a = 0, b = 0;
    std::unique_ptr<Timer> ta(Timer::Create([&](Timer&) { ++a; }, 10));
    std::unique_ptr<Timer> tb(Timer::Create([&](Timer&) { ++b; }, 15));
    PumpMessages(5000, [&] { return a >= 2 && b >= 2; });
    EXPECT_GE(a, 2);
    EXPECT_GE(b, 2);
    ta.reset(); // destroying stops it
    const int aStopped = a;
    PumpMessages(100, [] { return false; });
    EXPECT_EQ(a, aStopped);
}

} // namespace
