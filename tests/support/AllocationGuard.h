#pragma once

#include <cstddef>

namespace lumenfall::test
{

/// Counts the heap allocations that the current thread makes while the guard is
/// alive. The test binaries replace the global operator new and delete, so every
/// allocation (std::vector, std::function, new) is seen. Guards nest; other
/// threads are not counted.
class AllocationGuard
{
public:
    AllocationGuard();
    ~AllocationGuard();
    AllocationGuard(const AllocationGuard&) = delete;
    AllocationGuard& operator=(const AllocationGuard&) = delete;

    /// Allocations made by this thread since the guard was created.
    std::size_t Count() const;

private:
    std::size_t mStart;
};

/// Allocations made by this thread since the program started.
std::size_t ThreadAllocationCount();

/// Makes the current thread's heap allocations fail while alive, after the first
/// `allowed` of them succeed: the nothrow forms return null and the throwing forms
/// throw std::bad_alloc, as they would with memory exhausted. Lets tests prove that
/// preparation survives a failed allocation. Other threads are unaffected.
class AllocationFailure
{
public:
    explicit AllocationFailure(std::size_t allowed = 0);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;

    /// Allocations refused so far.
    std::size_t Refused() const;

private:
    std::size_t mPreviousBudget;
    bool mPreviousActive;
};

} // namespace lumenfall::test
