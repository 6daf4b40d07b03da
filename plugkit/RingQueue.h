#pragma once

#include "plugkit/HeapBuffer.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace plugkit
{

/// A single-producer single-consumer ring of trivially copyable elements with one slot kept
/// free. All slots are allocated at construction; pushing and popping never allocate or lock.
/// The producer writes only the slot it fills and then the write index (release); the consumer
/// only the read index, after reading its slot.
template <typename T>
class RingQueue
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    /// Holds up to `capacity` elements (`capacity` + 1 slots).
    explicit RingQueue(int capacity)
        : mSlots(HeapBuffer::kDefaultGranularity)
    {
        if (capacity < 0)
            capacity = 0;
        const int64_t bytes = (int64_t(capacity) + 1) * int64_t(sizeof(T));
        if (bytes <= INT32_MAX)
            mSlots.Resize(static_cast<int32_t>(bytes), false);
    }
    RingQueue(const RingQueue&) = delete;
    RingQueue& operator=(const RingQueue&) = delete;

    /// Copies `item` in; false (dropped) when the queue is full.
    bool Push(const T& item)
    {
        const uint64_t slots = NumSlots();
        if (slots < 2)
            return false;
        const uint64_t w = mWrite.load(std::memory_order_relaxed);
        const uint64_t next = (w + 1) % slots;
        if (next == mRead.load(std::memory_order_acquire))
            return false;
        std::memcpy(Slot(w), &item, sizeof(T));
        mWrite.store(next, std::memory_order_release);
        return true;
    }

    /// Takes the oldest element into `item`; false when empty.
    bool Pop(T& item)
    {
        const uint64_t slots = NumSlots();
        const uint64_t r = mRead.load(std::memory_order_relaxed);
        if (r == mWrite.load(std::memory_order_acquire))
            return false;
        std::memcpy(&item, Slot(r), sizeof(T));
        mRead.store((r + 1) % slots, std::memory_order_release);
        return true;
    }

    /// Elements waiting. For the consumer a lower bound (the producer may add more meanwhile), for
    /// the producer an upper bound (the consumer may take some meanwhile).
    int ElementsAvailable() const
    {
        const uint64_t w = mWrite.load(std::memory_order_acquire);
        const uint64_t r = mRead.load(std::memory_order_acquire);
        return static_cast<int>(w >= r ? w - r : w + NumSlots() - r);
    }

    int Capacity() const
    {
        const uint64_t slots = NumSlots();
        return slots > 0 ? static_cast<int>(slots - 1) : 0;
    }

    /// Drops every element; only while neither side runs.
    void Clear()
    {
        mWrite.store(0, std::memory_order_relaxed);
        mRead.store(0, std::memory_order_relaxed);
    }

private:
    uint64_t NumSlots() const { return static_cast<uint64_t>(mSlots.Size()) / sizeof(T); }
    uint8_t* Slot(uint64_t idx) const
    {
        return static_cast<uint8_t*>(mSlots.Get()) + idx * sizeof(T);
    }

    HeapBuffer mSlots;
    // Each index on its own cache line so the two threads do not share one.
    alignas(64) std::atomic<uint64_t> mWrite{0};
    alignas(64) std::atomic<uint64_t> mRead{0};
};

} // namespace plugkit
