#include "canvas/platform/window/VBlankThread.h"
#include "canvas/platform/window/WindowLogic.h"

#include "tests/support/WinTestSupport.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace plugkit::canvas::platform
{
namespace
{

using test::HostWindow;
using test::PumpUntil;

/// The thread's services over a fake clock that only its sleeps and waits move; the tick
/// count starts just before it wraps. Records every call.
struct FakeDisplay
{
    std::atomic<DWORD> ticks{0xFFFFFF00u};
    std::atomic<double> preciseMs{0.0};
    std::mutex lock;
    std::vector<DWORD> opens;  ///< tick count at each open attempt
    std::vector<UINT> closes;  ///< adapters closed
    std::vector<DWORD> sleeps; ///< each sleep's length
    std::atomic<int> waits{0};
    bool openFails = false;
    bool waitFails = false;
    double waitMs = 16.7; ///< how long a wait takes on the fine clock

    VBlankServices Services()
    {
        VBlankServices s;
        s.openAdapterFromHdc = [this](D3dkmtOpenAdapterFromHdc& r) -> LONG
        {
            std::lock_guard<std::mutex> guard(lock);
            opens.push_back(ticks.load());
            if (openFails)
                return static_cast<LONG>(0xC0000001);
            r.hAdapter = 42;
            r.vidPnSourceId = 3;
            return 0;
        };
        s.closeAdapter = [this](const D3dkmtCloseAdapter& r) -> LONG
        {
            std::lock_guard<std::mutex> guard(lock);
            closes.push_back(r.hAdapter);
            return 0;
        };
        s.waitForVerticalBlank = [this](const D3dkmtWaitForVerticalBlankEvent& r) -> LONG
        {
            EXPECT_EQ(r.hAdapter, 42u);
            EXPECT_EQ(r.vidPnSourceId, 3u);
            ++waits;
            preciseMs = preciseMs.load() + waitMs;
            ticks += static_cast<DWORD>(waitMs);
            Sleep(1);
            return waitFails ? static_cast<LONG>(0xC0000001) : 0;
        };
        s.tickCount = [this] { return ticks.load(); };
        s.sleep = [this](DWORD ms)
        {
            {
                std::lock_guard<std::mutex> guard(lock);
                sleeps.push_back(ms);
            }
            ticks += ms;
            Sleep(1);
        };
        s.preciseNowMs = [this] { return preciseMs.load(); };
        return s;
    }
};

/// Runs the thread posting to a host window until `count` blanks were received there.
std::vector<WPARAM> RunUntilPosted(VBlankThread& thread, const VBlankServices& services, int count)
{
    std::vector<WPARAM> received;
    HostWindow& host = test::SharedHost();
    test::PumpFor(30); // blanks an earlier thread left queued
    host.SetHandler(
        [&](UINT msg, WPARAM wParam, LPARAM, LRESULT&)
        {
            if (msg != kWmVBlank)
                return false;
            received.push_back(wParam);
            return true;
        });
    EXPECT_TRUE(thread.Start(host.Get(), &services));
    EXPECT_TRUE(PumpUntil([&] { return static_cast<int>(received.size()) >= count; }, 10000));
    EXPECT_TRUE(thread.Stop());
    host.SetHandler(nullptr);
    return received;
}

TEST(VBlankThread, WithoutBlankWaitsItSleepsAndPostsRunningCounts)
{
    FakeDisplay display;
    VBlankServices services = display.Services();
    services.openAdapterFromHdc = nullptr; // gdi32 lacks the functions, as under Wine
    VBlankThread thread;
    const std::vector<WPARAM> received = RunUntilPosted(thread, services, 5);
    EXPECT_FALSE(thread.IsRunning());
    ASSERT_GE(received.size(), 5u);
    for (size_t i = 0; i < received.size(); ++i)
        EXPECT_EQ(received[i], i + 1);
    for (DWORD ms : display.sleeps)
        EXPECT_EQ(ms, kVBlankFallbackSleepMs);
    EXPECT_EQ(display.waits, 0);
}

TEST(VBlankThread, FailuresRetryTheAdapterOncePerSecondWhileTicksGoOn)
{
    // An adapter that cannot be opened, and one whose wait fails (as after a display change):
    // either way it is opened again no sooner than a second later, across the tick count's wrap.
    for (const bool openFails : {true, false})
    {
        FakeDisplay display;
        display.openFails = openFails;
        display.waitFails = !openFails;
        VBlankThread thread;
        const VBlankServices services = display.Services();
        const std::vector<WPARAM> received = RunUntilPosted(thread, services, 260);
        std::lock_guard<std::mutex> guard(display.lock);
        ASSERT_GE(display.opens.size(), 3u) << openFails;
        for (size_t i = 1; i < display.opens.size(); ++i)
        {
            const DWORD gap = display.opens[i] - display.opens[i - 1];
            EXPECT_GE(gap, kAdapterRetryMs) << openFails;
            EXPECT_LT(gap, kAdapterRetryMs + 40) << openFails;
        }
        if (!openFails)
        {
            // Every failed wait closed the adapter it waited on.
            EXPECT_GE(display.closes.size(), display.opens.size() - 1);
            for (UINT adapter : display.closes)
                EXPECT_EQ(adapter, 42u);
        }
    }
}

TEST(VBlankThread, AWaitThatReturnsAtOnceSleepsInsteadOfSpinning)
{
    const struct
    {
        double waitMs;
        bool sleepsAfterEachWait;
    } cases[] = {{0.0, true}, {0.4, true}, {16.7, false}};
    for (const auto& c : cases)
    {
        FakeDisplay display;
        display.waitMs = c.waitMs;
        VBlankThread thread;
        const VBlankServices services = display.Services();
        RunUntilPosted(thread, services, 20);
        std::lock_guard<std::mutex> guard(display.lock);
        EXPECT_EQ(display.opens.size(), 1u);
        EXPECT_EQ(display.closes.size(), 1u) << "the adapter is closed when the thread ends";
        if (c.sleepsAfterEachWait)
        {
            EXPECT_GE(display.sleeps.size() + 1, static_cast<size_t>(display.waits.load()));
            for (DWORD ms : display.sleeps)
                EXPECT_EQ(ms, kVBlankFallbackSleepMs);
        }
        else
        {
            EXPECT_TRUE(display.sleeps.empty());
        }
    }
}

TEST(VBlankThread, AThreadThatOutlivesItsJoinPostsNothingMore)
{
    FakeDisplay display;
    VBlankServices services = display.Services();
    services.openAdapterFromHdc = nullptr;
    std::atomic<bool> release{false};
    services.sleep = [&](DWORD)
    {
        while (!release.load())
            Sleep(1);
    };
    int received = 0;
    HostWindow& host = test::SharedHost();
    test::PumpFor(30); // blanks an earlier thread left queued
    host.SetHandler(
        [&](UINT msg, WPARAM, LPARAM, LRESULT&)
        {
            received += msg == kWmVBlank ? 1 : 0;
            return false;
        });
    {
        VBlankThread thread;
        ASSERT_TRUE(thread.Start(host.Get(), &services));
        Sleep(20);
        EXPECT_FALSE(thread.Stop(50)); // stuck in its sleep
        EXPECT_FALSE(thread.IsRunning());
    } // destroyed while the thread still runs
    release = true;
    test::PumpFor(100);
    host.SetHandler(nullptr);
    EXPECT_EQ(received, 0);
}

} // namespace
} // namespace plugkit::canvas::platform
