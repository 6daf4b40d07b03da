#include "tests/support/AllocationGuard.h"

#include <cstdlib>
#include <new>

namespace
{
thread_local std::size_t tAllocations = 0;
thread_local bool tFailing = false;
thread_local std::size_t tBudget = 0; // allocations still allowed while failing
thread_local std::size_t tRefused = 0;

void* Allocate(std::size_t size, std::size_t alignment)
{
    ++tAllocations;
    if (tFailing)
    {
        if (tBudget == 0)
        {
            ++tRefused;
            return nullptr;
        }
        --tBudget;
    }
    if (size == 0)
        size = 1;
    if (alignment <= alignof(std::max_align_t))
        return std::malloc(size);
#if defined(_WIN32)
    return _aligned_malloc(size, alignment);
#else
    void* p = nullptr;
    return posix_memalign(&p, alignment, size) == 0 ? p : nullptr;
#endif
}

void Release(void* p, std::size_t alignment) noexcept
{
#if defined(_WIN32)
    if (alignment > alignof(std::max_align_t))
    {
        _aligned_free(p);
        return;
    }
#endif
    (void)alignment;
    std::free(p);
}
} // namespace

namespace lumenfall::test
{
AllocationGuard::AllocationGuard()
    : mStart(tAllocations)
{
}

AllocationGuard::~AllocationGuard() = default;

std::size_t AllocationGuard::Count() const
{
    return tAllocations - mStart;
}

std::size_t ThreadAllocationCount()
{
    return tAllocations;
}

AllocationFailure::AllocationFailure(std::size_t allowed)
    : mPreviousBudget(tBudget)
    , mPreviousActive(tFailing)
{
    tFailing = true;
    tBudget = allowed;
    tRefused = 0;
}

AllocationFailure::~AllocationFailure()
{
    tFailing = mPreviousActive;
    tBudget = mPreviousBudget;
}

std::size_t AllocationFailure::Refused() const
{
    return tRefused;
}
} // namespace lumenfall::test

void* operator new(std::size_t size)
{
    if (void* p = Allocate(size, 0))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t al)
{
    if (void* p = Allocate(size, static_cast<std::size_t>(al)))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t al)
{
    return operator new(size, al);
}
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept
{
    return Allocate(size, static_cast<std::size_t>(al));
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept
{
    return Allocate(size, static_cast<std::size_t>(al));
}

void operator delete(void* p) noexcept
{
    Release(p, 0);
}
void operator delete[](void* p) noexcept
{
    Release(p, 0);
}
void operator delete(void* p, std::size_t) noexcept
{
    Release(p, 0);
}
void operator delete[](void* p, std::size_t) noexcept
{
    Release(p, 0);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    Release(p, 0);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    Release(p, 0);
}
void operator delete(void* p, std::align_val_t al) noexcept
{
    Release(p, static_cast<std::size_t>(al));
}
void operator delete[](void* p, std::align_val_t al) noexcept
{
    Release(p, static_cast<std::size_t>(al));
}
void operator delete(void* p, std::size_t, std::align_val_t al) noexcept
{
    Release(p, static_cast<std::size_t>(al));
}
void operator delete[](void* p, std::size_t, std::align_val_t al) noexcept
{
    Release(p, static_cast<std::size_t>(al));
}
void operator delete(void* p, std::align_val_t al, const std::nothrow_t&) noexcept
{
    Release(p, static_cast<std::size_t>(al));
}
void operator delete[](void* p, std::align_val_t al, const std::nothrow_t&) noexcept
{
    Release(p, static_cast<std::size_t>(al));
}
