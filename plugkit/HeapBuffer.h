#pragma once

#include <cstdint>

namespace plugkit
{

/// A growable byte block. Growth is geometric (half the new size, at least the granularity);
/// blocks of granularity 4096 or more are sized in whole 4 KiB pages less 96 bytes. Never throws:
/// a failed growth keeps the old block and the old size, so callers compare `Size()` with what
/// they asked for before writing.
class HeapBuffer
{
public:
    static constexpr int32_t kDefaultGranularity = 4096;

    explicit HeapBuffer(int32_t granularity = kDefaultGranularity);
    ~HeapBuffer();
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;

    /// Sets the used size to `newSize` (negative means 0). Returns the data pointer, null when
    /// the new size is 0 or the block could not be (re)allocated; on failure nothing changes.
    void* Resize(int32_t newSize, bool allowShrink = true);

    /// Makes this a copy of `other`; empties this buffer when it cannot hold the copy.
    void CopyFrom(const HeapBuffer& other);

    /// Null whenever the used size is 0.
    void* Get() const { return mUsed > 0 ? mData : nullptr; }
    int32_t Size() const { return mUsed; }
    int32_t Allocated() const { return mAllocated; }
    int32_t Granularity() const { return mGranularity; }

    /// Where `p` points inside the used bytes, as an offset; -1 when it points elsewhere. Lets a
    /// caller copy from its own block across a `Resize` that may move it.
    int64_t OffsetOf(const void* p) const;

    /// Allocation size chosen for a block that must hold `newSize` bytes, or -1 when that size
    /// cannot be expressed in 32 bits.
    static int64_t AllocationFor(int32_t newSize, int32_t granularity);

private:
    uint8_t* mData = nullptr;
    int32_t mAllocated = 0;
    int32_t mUsed = 0;
    int32_t mGranularity;
};

} // namespace plugkit
