#include "plugkit/HeapBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace plugkit
{

namespace
{
constexpr int64_t kPage = 4096;
constexpr int64_t kPageSlack = 96; // leaves room for the allocator's own header
constexpr int64_t kMaxStep = 4194304;
} // namespace

HeapBuffer::HeapBuffer(int32_t granularity)
    : mGranularity(std::max<int32_t>(granularity, 1))
{
}

HeapBuffer::~HeapBuffer()
{
    std::free(mData);
}

int64_t HeapBuffer::AllocationFor(int32_t newSize, int32_t granularity)
{
    const int64_t n = newSize;
    const int64_t g = granularity;
    int64_t f;
    if (g <= kPage - 1)
    {
        f = n + std::max(n / 2, g);
    }
    else
    {
        int64_t step = std::max(n / 2, g) / kPage * kPage;
        step = std::clamp(step, kPage, kMaxStep);
        f = (n + kPageSlack + step) / kPage * kPage - kPageSlack;
    }
    // The policy's arithmetic runs in 64 bits so that a request near the 32-bit limit is
    // refused instead of wrapping to a small block.
    if (f < n || f > std::numeric_limits<int32_t>::max())
        return -1;
    return f;
}

void* HeapBuffer::Resize(int32_t newSize, bool allowShrink)
{
    const int32_t n = std::max<int32_t>(newSize, 0);
    if (n == mUsed)
        return Get();

    int64_t threshold = 0;
    if (allowShrink && n < mUsed)
    {
        const int64_t a = mAllocated;
        threshold = std::max<int64_t>(std::min(a / 2, a - 4 * int64_t(mGranularity)), 1);
    }

    if (n > mAllocated || n < threshold)
    {
        if (n == 0)
        {
            std::free(mData);
            mData = nullptr;
            mAllocated = 0;
            mUsed = 0;
            return nullptr;
        }
        const int64_t f = AllocationFor(n, mGranularity);
        if (f < 0)
            return Get();
        if (f != mAllocated)
        {
            // realloc grows or shrinks in place when it can and otherwise moves the bytes;
            // on failure the old block is left untouched.
            void* p = std::realloc(mData, static_cast<size_t>(f));
            if (!p)
                return Get();
            mData = static_cast<uint8_t*>(p);
            mAllocated = static_cast<int32_t>(f);
        }
    }
    mUsed = n;
    return Get();
}

int64_t HeapBuffer::OffsetOf(const void* p) const
{
    if (!p || mUsed <= 0)
        return -1;
    const auto ip = reinterpret_cast<uintptr_t>(p);
    const auto ib = reinterpret_cast<uintptr_t>(mData);
    if (ip < ib || ip >= ib + static_cast<uintptr_t>(mUsed))
        return -1;
    return static_cast<int64_t>(ip - ib);
}

void HeapBuffer::CopyFrom(const HeapBuffer& other)
{
    if (&other == this)
        return;
    const int32_t n = other.Size();
    Resize(n, true);
    if (mUsed != n)
    {
        Resize(0);
        return;
    }
    if (n > 0)
        std::memcpy(mData, other.mData, static_cast<size_t>(n));
}

} // namespace plugkit
