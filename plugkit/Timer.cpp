#include "plugkit/Timer.h"

#include "plugkit/Mutex.h"
#include "plugkit/PointerList.h"

#include <new>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <vector>
#endif

namespace plugkit
{

namespace
{

class Timer_impl;

/// The process-wide list of running timers. It does not own them: each belongs to whoever
/// created it.
struct TimerList
{
    Mutex mMutex;
    PointerList<Timer_impl> mTimers;
    ~TimerList() { mTimers.Empty(false); }
};

TimerList& Timers()
{
    static TimerList sList;
    return sList;
}

/// Runs the callback of the first timer with identifier `id`; an unknown one is ignored.
void Dispatch(uintptr_t id);

class Timer_impl final : public Timer
{
public:
    Timer_impl(ITimerFunction func, uint32_t intervalMs)
        : mFunc(std::move(func))
        , mIntervalMs(intervalMs)
    {
    }

    ~Timer_impl() override { Stop(); }

    bool Start()
    {
#if defined(_WIN32)
        mId = SetTimer(nullptr, 0, mIntervalMs, &Timer_impl::TimerProc);
#else
        static uintptr_t sNextId = 0;
        {
            MutexLock lock(Timers().mMutex);
            mId = ++sNextId;
        }
#endif
        if (mId == 0)
            return false;
        MutexLock lock(Timers().mMutex);
        if (!Timers().mTimers.Add(this))
        {
            Release();
            return false;
        }
        return true;
    }

    void Stop() override
    {
        if (mId == 0)
            return;
        Release();
        MutexLock lock(Timers().mMutex);
        Timers().mTimers.Take(Timers().mTimers.Find(this));
    }

    uintptr_t GetId() const override
    {
        return mId;
    }
    uint32_t GetIntervalMs() const override
    {
        return mIntervalMs;
    }

    void Fire()
    {
        mFunc(*this);
    }

private:
    void Release()
    {
#if defined(_WIN32)
        KillTimer(nullptr, mId);
#endif
        mId = 0;
    }

#if defined(_WIN32)
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR idEvent, DWORD)
    {
        Dispatch(idEvent);
    }
#endif

    ITimerFunction mFunc;
    uint32_t mIntervalMs;
    uintptr_t mId = 0;
};

void Dispatch(uintptr_t id)
{
    MutexLock lock(Timers().mMutex);
    PointerList<Timer_impl>& timers = Timers().mTimers;
    for (int i = 0; i < timers.Size(); ++i)
    {
        Timer_impl* timer = timers.Get(i);
        if (timer->GetId() == id)
        {
            timer->Fire();
            break; // the callback may have changed the list
        }
    }
}

} // namespace

Timer* Timer::Create(ITimerFunction func, uint32_t intervalMs)
{
    auto* timer = new (std::nothrow) Timer_impl(std::move(func), intervalMs);
    if (timer)
        timer->Start();
    return timer;
}

int Timer::NumRunning()
{
    MutexLock lock(Timers().mMutex);
    return Timers().mTimers.Size();
}

#if !defined(_WIN32)
int Timer::TickAll()
{
    // Identifiers first: a callback may stop or create timers while this runs.
    std::vector<uintptr_t> ids;
    {
        MutexLock lock(Timers().mMutex);
        for (int i = 0; i < Timers().mTimers.Size(); ++i)
            ids.push_back(Timers().mTimers.Get(i)->GetId());
    }
    int fired = 0;
    for (uintptr_t id : ids)
    {
        MutexLock lock(Timers().mMutex);
        bool running = false;
        for (int i = 0; i < Timers().mTimers.Size() && !running; ++i)
            running = Timers().mTimers.Get(i)->GetId() == id;
        if (running)
        {
            Dispatch(id);
            ++fired;
        }
    }
    return fired;
}
#endif

} // namespace plugkit
