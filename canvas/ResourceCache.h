#pragma once

#include "plugkit/Mutex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace plugkit::canvas
{

/// 64-bit FNV-1a over the bytes of `text` (null reads as empty): start 0xcbf29ce484222325, then
/// for each byte key = (key ^ byte) * 0x100000001b3 modulo 2^64.
uint64_t HashKey(const char* text);

/// The key of a cache entry: `HashKey` over the name followed by the scale as "-%.1fx" (scale 2
/// of knob.png hashes "knob.png-2.0x"), formatted without regard to the locale.
uint64_t HashKey(const char* name, double scale);

/// A cache of named objects at a scale, each owned by the cache. Every operation takes the
/// cache's lock, which is re-entrant: a loader may hold it across a whole load (finding,
/// making, adding) while the operations it calls take it again. Users are counted (each editor
/// that shares the cache is one); when the last one leaves, the cache is cleared.
template <class T>
class ResourceCache
{
public:
    ResourceCache() = default;
    ~ResourceCache() { Clear(); }
    ResourceCache(const ResourceCache&) = delete;
    ResourceCache& operator=(const ResourceCache&) = delete;

    /// The lock, for a caller that keeps it across several operations.
    Mutex& GetMutex() const { return mMutex; }

    /// The first entry with this name and exactly this scale, in the order added; null for none.
    /// The 64-bit keys are compared first, the names only on a key match.
    T* Find(const char* name, double scale) const
    {
        MutexLock lock(mMutex);
        const uint64_t key = HashKey(name, scale);
        for (const Entry& e : mEntries)
            if (e.key == key && e.scale == scale && e.name == (name ? name : ""))
                return e.object.get();
        return nullptr;
    }

    /// Appends `object` under (name, scale) without looking for a duplicate; the cache owns it
    /// from now on. Returns it; null for a null object.
    T* Add(std::unique_ptr<T> object, const char* name, double scale)
    {
        if (!object)
            return nullptr;
        MutexLock lock(mMutex);
        mEntries.push_back({HashKey(name, scale), name ? name : "", scale, std::move(object)});
        return mEntries.back().object.get();
    }

    /// Deletes the entry that holds exactly `object`, with the object; the others keep their
    /// order. False when no entry holds it.
    bool Remove(const T* object)
    {
        MutexLock lock(mMutex);
        for (auto it = mEntries.begin(); it != mEntries.end(); ++it)
        {
            if (it->object.get() == object)
            {
                // Moved out first: the object's destructor may use the cache again.
                std::unique_ptr<T> doomed = std::move(it->object);
                mEntries.erase(it);
                doomed.reset();
                return true;
            }
        }
        return false;
    }

    /// Deletes every entry, from the last to the first.
    void Clear()
    {
        MutexLock lock(mMutex);
        while (!mEntries.empty())
        {
            std::unique_ptr<T> doomed = std::move(mEntries.back().object);
            mEntries.pop_back();
            doomed.reset();
        }
    }

    int NEntries() const
    {
        MutexLock lock(mMutex);
        return static_cast<int>(mEntries.size());
    }

    void AddUser()
    {
        MutexLock lock(mMutex);
        ++mUsers;
    }

    /// The last user's departure clears the cache.
    void RemoveUser()
    {
        MutexLock lock(mMutex);
        if (mUsers > 0 && --mUsers == 0)
            Clear();
    }

    int NUsers() const
    {
        MutexLock lock(mMutex);
        return mUsers;
    }

private:
    struct Entry
    {
        uint64_t key;
        std::string name;
        double scale;
        std::unique_ptr<T> object;
    };

    mutable Mutex mMutex;
    std::vector<Entry> mEntries;
    int mUsers = 0;
};

} // namespace plugkit::canvas
