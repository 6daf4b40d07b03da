#include "plugkit/app/BoundedCall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace plugkit::app;
using namespace std::chrono_literals;

namespace
{

TEST(CallWithin, ACallThatReturnsInTimeIsWaitedFor)
{
    int value = 0;
    EXPECT_TRUE(CallWithin(5000ms, [&] { value = 42; }));
    EXPECT_EQ(value, 42);
}

TEST(CallWithin, ACallThatBlocksIsLeftBehindAfterTheLimit)
{
    // What the call uses outlives the wait, as a library object that is given up would.
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto returned = std::make_shared<std::atomic<bool>>(false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(CallWithin(100ms,
                            [release, returned]
                            {
                                while (!release->load())
                                    std::this_thread::sleep_for(1ms);
                                returned->store(true);
                            }));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 100ms);
    EXPECT_LT(waited, 5000ms);
    EXPECT_FALSE(returned->load());

    // The call finishes on its own once it can.
    release->store(true);
    while (!returned->load())
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms); // and its thread ends
}

} // namespace
