#pragma once

#include "plugkit/HeapBuffer.h"

#include <cstdint>
#include <cstring>

namespace plugkit
{

/// An owning list of object pointers on a `HeapBuffer`. Clearing it deletes every element,
/// from the last to the first. Never throws: `Add` returns null when the list could not grow
/// (the caller keeps the object).
template <class T>
class PointerList
{
public:
    PointerList()
        : mBuffer(HeapBuffer::kDefaultGranularity)
    {
    }
    ~PointerList() { Empty(true); }
    PointerList(const PointerList&) = delete;
    PointerList& operator=(const PointerList&) = delete;

    int Size() const { return mBuffer.Size() / static_cast<int>(sizeof(T*)); }

    /// Null when `idx` lies outside the list.
    T* Get(int idx) const
    {
        if (idx < 0 || idx >= Size())
            return nullptr;
        T* p;
        std::memcpy(&p, static_cast<const uint8_t*>(mBuffer.Get()) + idx * sizeof(T*), sizeof(p));
        return p;
    }

    /// Appends `p`; returns it, or null when the list could not grow.
    T* Add(T* p)
    {
        const int n = Size();
        const int32_t wanted = static_cast<int32_t>((n + 1) * sizeof(T*));
        mBuffer.Resize(wanted, false);
        if (mBuffer.Size() != wanted)
            return nullptr;
        Set(n, p);
        return p;
    }

    /// Removes the element at `idx` without deleting it; later elements move down one place.
    T* Take(int idx)
    {
        T* p = Get(idx);
        if (idx < 0 || idx >= Size())
            return nullptr;
        auto* base = static_cast<uint8_t*>(mBuffer.Get());
        const int n = Size();
        std::memmove(base + idx * sizeof(T*),
                     base + (idx + 1) * sizeof(T*),
                     static_cast<size_t>(n - idx - 1) * sizeof(T*));
        mBuffer.Resize(static_cast<int32_t>((n - 1) * sizeof(T*)), false);
        return p;
    }

    /// Index of `p`, -1 when absent.
    int Find(const T* p) const
    {
        for (int i = 0; i < Size(); ++i)
            if (Get(i) == p)
                return i;
        return -1;
    }

    /// Removes every element, deleting them (last first) when `deleteElements` is set.
    void Empty(bool deleteElements = true)
    {
        for (int i = Size() - 1; i >= 0; --i)
        {
            T* p = Get(i);
            mBuffer.Resize(static_cast<int32_t>(i * sizeof(T*)), true);
            if (deleteElements)
                delete p;
        }
    }

private:
    void Set(int idx, T* p)
    {
        std::memcpy(static_cast<uint8_t*>(mBuffer.Get()) + idx * sizeof(T*), &p, sizeof(p));
    }

    HeapBuffer mBuffer;
};

} // namespace plugkit
