#include "plugkit/MidiMessage.h"
#include "plugkit/RingQueue.h"
#include "plugkit/Timer.h"

#include "tests/support/AllocationGuard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace plugkit;

namespace
{

TEST(RingQueue, HoldsItsCapacityAndDropsTheNext)
{
    RingQueue<int> q(32);
    EXPECT_EQ(q.Capacity(), 32);
    lumenfall::test::AllocationGuard guard; // both ends run on real-time threads
    for (int i = 0; i < 32; ++i)
        EXPECT_TRUE(q.Push(i));
    EXPECT_FALSE(q.Push(32)); // dropped
    EXPECT_EQ(guard.Count(), 0u);
    EXPECT_EQ(q.ElementsAvailable(), 32);
    int v = -1;
    ASSERT_TRUE(q.Pop(v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(q.Push(33)); // room for one more
    EXPECT_FALSE(q.Push(34));
    for (int expected = 1; expected < 32; ++expected)
    {
        ASSERT_TRUE(q.Pop(v));
        EXPECT_EQ(v, expected);
    }
    ASSERT_TRUE(q.Pop(v));
    EXPECT_EQ(v, 33);
    EXPECT_FALSE(q.Pop(v));
    EXPECT_EQ(q.ElementsAvailable(), 0);
}

TEST(RingQueue, CountStaysRightAcrossWrapAround)
{
    RingQueue<ParamChange> q(5); // 6 slots
    int next = 0, expected = 0;
    for (int round = 0; round < 20; ++round)
    {
        const int pushes = 1 + round % 5;
        for (int i = 0; i < pushes; ++i)
            ASSERT_TRUE(q.Push(ParamChange{next++, 0.5}));
        EXPECT_EQ(q.ElementsAvailable(), pushes);
        ParamChange c;
        while (q.Pop(c))
            EXPECT_EQ(c.mIdx, expected++);
    }
    EXPECT_EQ(expected, next);
}

TEST(RingQueue, ZeroCapacityAcceptsNothing)
{
    RingQueue<int> q(0);
    EXPECT_EQ(q.Capacity(), 0);
    EXPECT_FALSE(q.Push(1));
    int v;
    EXPECT_FALSE(q.Pop(v));
}

TEST(SysExQueueEntry, CopiesFittingMessagesAndRefusesLargerOnes)
{
    uint8_t bytes[513];
    for (int i = 0; i < 513; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7);

    auto entry = std::make_unique<SysExQueueEntry>();
    ASSERT_TRUE(entry->Assign(SysExMessage{3, 512, bytes}));
    EXPECT_EQ(entry->mOffset, 3);
    EXPECT_EQ(entry->mSize, 512);
    EXPECT_EQ(std::memcmp(entry->mData, bytes, 512), 0);

    EXPECT_FALSE(entry->Assign(SysExMessage{4, 513, bytes}));
    EXPECT_FALSE(entry->Assign(SysExMessage{4, -1, bytes}));
    EXPECT_EQ(entry->mOffset, 3); // untouched

    // No bytes: 512 zero bytes with the size copied from the message.
    ASSERT_TRUE(entry->Assign(SysExMessage{0, 10, nullptr}));
    EXPECT_EQ(entry->mSize, 10);
    for (uint8_t b : entry->mData)
        ASSERT_EQ(b, 0);

    const SysExMessage view = entry->AsMessage();
    EXPECT_EQ(view.mData, entry->mData);
    EXPECT_EQ(view.mSize, 10);
}

#if !defined(_WIN32)
TEST(Timer, StandInFiresWhenTickedAndNeverAfterStop)
{
    int fired = 0;
    std::unique_ptr<Timer> t(Timer::Create([&](Timer&) { ++fired; }, 20));
    ASSERT_TRUE(t);
    EXPECT_NE(t->GetId(), 0u);
    EXPECT_EQ(t->GetIntervalMs(), 20u);
    const int running = Timer::NumRunning();
    Timer::TickAll();
    Timer::TickAll();
    EXPECT_EQ(fired, 2);
    t->Stop();
    EXPECT_EQ(t->GetId(), 0u);
    EXPECT_EQ(Timer::NumRunning(), running - 1);
    Timer::TickAll();
    EXPECT_EQ(fired, 2);
    t->Stop(); // twice is harmless
}

TEST(Timer, CallbackMayStopTimersAndCreateNewOnes)
{
    int aFired = 0, bFired = 0, cFired = 0;
    std::unique_ptr<Timer> b(Timer::Create([&](Timer&) { ++bFired; }, 20));
    std::unique_ptr<Timer> c;
    std::unique_ptr<Timer> a(Timer::Create(
        [&](Timer& self)
        {
            ++aFired;
            self.Stop();
            b->Stop();
            c.reset(Timer::Create([&](Timer&) { ++cFired; }, 20));
        },
        20));
    Timer::TickAll(); // b fires first (created first), then a stops both and creates c
    EXPECT_EQ(aFired, 1);
    EXPECT_EQ(bFired, 1);
    Timer::TickAll();
    EXPECT_EQ(aFired, 1);
    EXPECT_EQ(bFired, 1);
    EXPECT_EQ(cFired, 1);
}

TEST(Timer, DestroyingARunningTimerStopsIt)
{
    int fired = 0;
    const int before = Timer::NumRunning();
    delete Timer::Create([&](Timer&) { ++fired; }, 20);
    EXPECT_EQ(Timer::NumRunning(), before);
    Timer::TickAll();
    EXPECT_EQ(fired, 0);
}
#endif

} // namespace
