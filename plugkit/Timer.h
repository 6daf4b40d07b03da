#pragma once

#include <cstdint>
#include <functional>

namespace plugkit
{

/// A repeating UI timer. On Windows it is a thread timer (`SetTimer` without a window), so
/// its callback runs through the message loop of the thread that created it. Elsewhere the
/// portable stand-in fires only when `TickAll` is called, on the calling thread.
///
/// Callbacks run with the process-wide timer list locked; a callback may create timers and
/// stop any timer (the lock is re-entrant), but must not delete the timer it runs on.
class Timer
{
public:
    using ITimerFunction = std::function<void(Timer&)>;

    /// Starts a timer with period `intervalMs`. A timer whose system timer failed to start is
    /// returned all the same, with identifier 0, and never fires. Null only when the object
    /// itself could not be allocated.
    static Timer* Create(ITimerFunction func, uint32_t intervalMs);

    /// [creating thread] Stops the timer; its callback never runs again. Stopping twice is
    /// harmless.
    virtual void Stop() = 0;
    virtual ~Timer() = default;

    /// The system timer identifier, 0 while stopped.
    virtual uintptr_t GetId() const = 0;
    virtual uint32_t GetIntervalMs() const = 0;

    /// Number of running timers in the process.
    static int NumRunning();

#if !defined(_WIN32)
    /// Portable stand-in: fires every running timer once, in creation order; returns how many
    /// fired.
    static int TickAll();
#endif
};

} // namespace plugkit
