#include "canvas/platform/window/VBlankThread.h"

#include "canvas/platform/window/WindowLogic.h"

namespace plugkit::canvas::platform
{

struct VBlankThread::State
{
    VBlankServices services;
    HMODULE gdi32 = nullptr;
    std::atomic<HWND> target{nullptr};
    std::atomic<bool> stop{false};
    std::atomic<int> latest{0};

    ~State()
    {
        if (gdi32 != nullptr)
            FreeLibrary(gdi32);
    }

    void Post()
    {
        const int count = latest.fetch_add(1, std::memory_order_relaxed) + 1;
        if (HWND window = target.load(std::memory_order_relaxed))
            PostMessageW(window, kWmVBlank, static_cast<WPARAM>(count), 0);
    }

    bool HasBlankWait() const
    {
        return services.openAdapterFromHdc && services.closeAdapter &&
               services.waitForVerticalBlank;
    }

    void Run();
};

VBlankServices VBlankServices::System(HMODULE& module)
{
    VBlankServices s;
    module = LoadLibraryW(L"gdi32.dll");
    if (module != nullptr)
    {
        using OpenFn = LONG(APIENTRY*)(D3dkmtOpenAdapterFromHdc*);
        using CloseFn = LONG(APIENTRY*)(const D3dkmtCloseAdapter*);
        using WaitFn = LONG(APIENTRY*)(const D3dkmtWaitForVerticalBlankEvent*);
        auto open = reinterpret_cast<OpenFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "D3DKMTOpenAdapterFromHdc")));
        auto close = reinterpret_cast<CloseFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "D3DKMTCloseAdapter")));
        auto wait = reinterpret_cast<WaitFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "D3DKMTWaitForVerticalBlankEvent")));
        if (open && close && wait)
        {
            s.openAdapterFromHdc = [open](D3dkmtOpenAdapterFromHdc& r) { return open(&r); };
            s.closeAdapter = [close](const D3dkmtCloseAdapter& r) { return close(&r); };
            s.waitForVerticalBlank = [wait](const D3dkmtWaitForVerticalBlankEvent& r)
            { return wait(&r); };
        }
    }
    s.tickCount = [] { return GetTickCount(); };
    s.sleep = [](DWORD ms) { Sleep(ms); };
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double msPerCount = 1000.0 / static_cast<double>(frequency.QuadPart);
    s.preciseNowMs = [msPerCount]
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart) * msPerCount;
    };
    return s;
}

void VBlankThread::State::Run()
{
    if (!HasBlankWait())
    {
        while (!stop.load(std::memory_order_relaxed))
        {
            services.sleep(kVBlankFallbackSleepMs);
            Post();
        }
        return;
    }

    bool open = false;
    DWORD lastFailure = 0; // 0 = no failure to wait out
    D3dkmtWaitForVerticalBlankEvent wait;
    while (!stop.load(std::memory_order_relaxed))
    {
        if (!open)
        {
            // Unsigned arithmetic keeps the one-second rule across the tick count's wrap.
            if (lastFailure != 0 && services.tickCount() - lastFailure < kAdapterRetryMs)
            {
                services.sleep(kVBlankFallbackSleepMs);
                Post();
                continue;
            }
            HWND window = target.load(std::memory_order_relaxed);
            D3dkmtOpenAdapterFromHdc request;
            request.hDc = window != nullptr ? GetDC(window) : nullptr;
            const LONG status = services.openAdapterFromHdc(request);
            if (request.hDc != nullptr)
                ReleaseDC(window, request.hDc);
            if (status < 0)
            {
                lastFailure = services.tickCount() | 1u; // never the "no failure" value
                services.sleep(kVBlankFallbackSleepMs);
                Post();
                continue;
            }
            wait.hAdapter = request.hAdapter;
            wait.hDevice = 0;
            wait.vidPnSourceId = request.vidPnSourceId;
            lastFailure = 0;
            open = true;
        }

        const double before = services.preciseNowMs();
        const LONG status = services.waitForVerticalBlank(wait);
        const double waited = services.preciseNowMs() - before;
        if (status < 0)
        {
            // A display change invalidates the adapter: reopen it under the retry rule.
            D3dkmtCloseAdapter close;
            close.hAdapter = wait.hAdapter;
            services.closeAdapter(close);
            open = false;
            lastFailure = services.tickCount() | 1u;
            services.sleep(kVBlankFallbackSleepMs);
        }
        else if (waited < kShortestBlankWaitMs)
        {
            services.sleep(kVBlankFallbackSleepMs); // a wait that did not wait
        }
        Post();
    }
    if (open)
    {
        D3dkmtCloseAdapter close;
        close.hAdapter = wait.hAdapter;
        services.closeAdapter(close);
    }
}

VBlankThread::~VBlankThread()
{
    Stop();
}

DWORD WINAPI VBlankThread::ThreadStart(void* param)
{
    // The thread holds its own reference, so its state outlives a join that timed out.
    std::shared_ptr<State> state(std::move(*static_cast<std::shared_ptr<State>*>(param)));
    delete static_cast<std::shared_ptr<State>*>(param);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    state->Run();
    return 0;
}

bool VBlankThread::Start(HWND target, const VBlankServices* services)
{
    if (mThread != nullptr)
        return false;
    auto state = std::make_shared<State>();
    if (services != nullptr)
        state->services = *services;
    else
        state->services = VBlankServices::System(state->gdi32);
    state->target.store(target);
    auto* param = new std::shared_ptr<State>(state);
    HANDLE thread = CreateThread(nullptr, 0, &VBlankThread::ThreadStart, param, 0, nullptr);
    if (thread == nullptr)
    {
        delete param;
        return false;
    }
    mState = std::move(state);
    mThread = thread;
    return true;
}

bool VBlankThread::Stop(DWORD timeoutMs)
{
    if (mThread == nullptr)
        return true;
    mState->stop.store(true);
    mState->target.store(nullptr);
    const bool ended = WaitForSingleObject(mThread, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(mThread);
    mThread = nullptr;
    mState.reset();
    return ended;
}

int VBlankThread::LatestCount() const
{
    return mState ? mState->latest.load(std::memory_order_relaxed) : 0;
}

} // namespace plugkit::canvas::platform
