#pragma once

#include <chrono>
#include <functional>

namespace plugkit::app
{

/// Runs `call` on a thread of its own and waits for it at most `limit`. True when it returned in
/// time. Otherwise the thread is left to finish whenever it can (or never): whatever `call`
/// uses must then stay alive for good. Runs `call` here, unbounded, when no thread can be
/// started. For calls into a library that may block forever (a device layer waiting for a
/// device that stopped), which the program must not wait for.
bool CallWithin(std::chrono::milliseconds limit, std::function<void()> call);

} // namespace plugkit::app
