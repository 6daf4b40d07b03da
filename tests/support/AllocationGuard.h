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

} // namespace lumenfall::test
