#include "plugkit/MidiMessage.h"
#include "plugkit/Mutex.h"
#include "plugkit/RingQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace plugkit;

namespace
{

// One producer and one consumer, as between the audio thread and the UI timer.
TEST(RingQueueStress, LosesNothingBelowCapacityAcrossThreads)
{
    constexpr int kItems = 1000000;
    RingQueue<ParamChange> q(512);
    std::thread producer(
        [&]
        {
            for (int i = 0; i < kItems;)
            {
                if (q.Push(ParamChange{i, i * 0.5}))
                    ++i;
                else
                    std::this_thread::yield(); // full: wait, so nothing is dropped
            }
        });
    int expected = 0;
    bool inOrder = true;
    while (expected < kItems)
    {
        ParamChange c;
        if (q.Pop(c))
        {
            inOrder = inOrder && c.mIdx == expected && c.mValue == expected * 0.5;
            ++expected;
        }
        else
        {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(expected, kItems);
    ParamChange rest;
    EXPECT_FALSE(q.Pop(rest));
}

// A producer that never waits: every push either lands or is counted as dropped, and the
// consumer receives exactly the ones that landed, in order.
TEST(RingQueueStress, DropsExactlyWhatOverflows)
{
    constexpr int kItems = 1000000;
    RingQueue<MidiMessage> q(32);
    std::atomic<bool> done{false};
    std::atomic<int> pushed{0};
    std::thread producer(
        [&]
        {
            int ok = 0;
            for (int i = 0; i < kItems; ++i)
            {
                MidiMessage m;
                m.mOffset = i;
                m.mStatus = 0x90;
                if (q.Push(m))
                    ++ok;
            }
            pushed.store(ok);
            done.store(true, std::memory_order_release);
        });
    int received = 0;
    int last = -1;
    bool increasing = true;
    for (;;)
    {
        MidiMessage m;
        if (q.Pop(m))
        {
            increasing = increasing && m.mOffset > last && m.mStatus == 0x90;
            last = m.mOffset;
            ++received;
        }
        else if (done.load(std::memory_order_acquire) && q.ElementsAvailable() == 0)
        {
            break;
        }
    }
    producer.join();
    EXPECT_TRUE(increasing);
    EXPECT_EQ(received, pushed.load());
    EXPECT_GT(received, 0);
}

TEST(Mutex, IsReentrantAndExcludesOtherThreads)
{
    Mutex m;
    int counter = 0;
    {
        MutexLock outer(m);
        MutexLock inner(m); // same thread enters again
        ++counter;
    }
    std::thread t(
        [&]
        {
            for (int i = 0; i < 10000; ++i)
            {
                MutexLock lock(m);
                ++counter;
            }
        });
    for (int i = 0; i < 10000; ++i)
    {
        MutexLock lock(m);
        ++counter;
    }
    t.join();
    EXPECT_EQ(counter, 20001);
    MutexLock none(nullptr); // holds nothing
}

} // namespace
