#include "plugkit/app/BoundedCall.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace plugkit::app
{

namespace
{
/// Shared by the worker and the caller, so that either may be gone first.
struct BoundedCall
{
    std::function<void()> call;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};
} // namespace

bool CallWithin(std::chrono::milliseconds limit, std::function<void()> call)
{
    std::shared_ptr<BoundedCall> state;
    try
    {
        state = std::make_shared<BoundedCall>();
    }
    catch (...)
    {
        call();
        return true;
    }
    state->call = std::move(call);
    std::thread worker;
    try
    {
        worker = std::thread(
            [state]
            {
                state->call();
                std::lock_guard<std::mutex> lock(state->mutex);
                state->finished = true;
                state->done.notify_all();
            });
    }
    catch (...)
    {
        state->call();
        return true;
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    const bool finished = state->done.wait_for(lock, limit, [&] { return state->finished; });
    lock.unlock();
    if (finished)
        worker.join();
    else
        worker.detach();
    return finished;
}

} // namespace plugkit::app
