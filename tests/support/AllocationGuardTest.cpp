#include "tests/support/AllocationGuard.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <thread>
#include <vector>

using lumenfall::test::AllocationGuard;

TEST(AllocationGuard, CountsThisThreadsAllocationsOnly)
{
    AllocationGuard guard;
    EXPECT_EQ(guard.Count(), 0u);

    auto p = std::make_unique<int>(3);
    std::vector<float> v(16);
    EXPECT_EQ(guard.Count(), 2u);

    std::thread other([] { std::vector<int> w(100); });
    const auto afterSpawn = guard.Count(); // the thread object itself may allocate here
    other.join();
    EXPECT_EQ(guard.Count(), afterSpawn);
}

TEST(AllocationGuard, NestedGuardsSeeTheirOwnScope)
{
    AllocationGuard outer;
    auto a = std::make_unique<int>(1);
    {
        AllocationGuard inner;
        EXPECT_EQ(inner.Count(), 0u);
        auto b = std::make_unique<int>(2);
        EXPECT_EQ(inner.Count(), 1u);
    }
    EXPECT_EQ(outer.Count(), 2u);
}

TEST(AllocationFailure, RefusesAllocationsAfterTheAllowedOnes)
{
    using lumenfall::test::AllocationFailure;
    int* first = nullptr;
    int* second = nullptr;
    bool threw = false;
    std::size_t refused = 0;
    {
        // Assertions allocate their messages: look only after the scope.
        AllocationFailure failure(1);
        first = new (std::nothrow) int(1);
        second = new (std::nothrow) int(2);
        try
        {
            // A direct call: the optimiser may drop an unused new-expression.
            ::operator delete(::operator new(sizeof(int)));
        }
        catch (const std::bad_alloc&)
        {
            threw = true;
        }
        refused = failure.Refused();
    }
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_TRUE(threw);
    EXPECT_EQ(refused, 2u);
    delete first;
    delete second;
}

TEST(AllocationFailure, EndsWithItsScope)
{
    {
        lumenfall::test::AllocationFailure failure;
    }
    auto p = std::make_unique<int>(4);
    EXPECT_EQ(*p, 4);
}
