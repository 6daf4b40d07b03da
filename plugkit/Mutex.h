#pragma once

#if !defined(_WIN32)
#include <mutex>
#endif

namespace plugkit
{

/// A re-entrant lock for the process-wide lists (timers, resource caches, instance creation):
/// a critical section on Windows, a recursive mutex elsewhere. The owning thread may enter it
/// again; it must leave it as often as it entered.
class Mutex
{
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void Enter();
    void Leave();

private:
#if defined(_WIN32)
    // Storage for a CRITICAL_SECTION, kept opaque so that this header needs no windows.h.
    alignas(void*) unsigned char mStorage[64];
#else
    std::recursive_mutex mMutex;
#endif
};

/// Enters the mutex on construction and leaves it on destruction; holds nothing for null.
class MutexLock
{
public:
    explicit MutexLock(Mutex* pMutex)
        : mMutex(pMutex)
    {
        if (mMutex)
            mMutex->Enter();
    }
    explicit MutexLock(Mutex& mutex)
        : MutexLock(&mutex)
    {
    }
    ~MutexLock()
    {
        if (mMutex)
            mMutex->Leave();
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex* mMutex;
};

} // namespace plugkit
