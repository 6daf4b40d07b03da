// The editor window as each deliverable's factory makes it, under Wine: the stand-alone program's
// graphics object, and the real LUMENFALL.vst3 opened in the test host, whose display timer is
// read off the module's own call to SetTimer. Wine reports Windows 7 here, so no vertical-blank
// thread paces the window and the timer runs at the period that follows from the frame rate.
#include "canvas/ICanvas.h"
#include "canvas/platform/window/WinGlSurface.h"
#include "canvas/platform/window/WindowLogic.h"
#include "plugin/editor/EditorLayout.h"
#include "plugkit/app/IPluginApp.h"
#include "plugkit/app/StandaloneHost.h"
#include "tests/support/WinTestSupport.h"
#include "tests/support/app/AppFakes.h"
#include "tests/vst3host/Vst3Host.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall::test
{
namespace
{

constexpr int kDisplayTimerPeriodMs = 33; // floor(1000 / 30)
constexpr UINT_PTR kDisplayTimerId = 2;

TEST(EditorWindow, TheStandaloneProgramMakesItAtThirtyFramesPerSecond)
{
    FakePlatform platform;
    plugkit::app::StandaloneHost* host = plugkit::app::StandaloneHost::Create(platform);
    ASSERT_NE(host, nullptr);
    plugkit::ICanvasEditorDelegate* plugin = host->GetPlugin();
    ASSERT_NE(plugin, nullptr);
    std::unique_ptr<plugkit::canvas::ICanvas> graphics(plugin->CreateGraphics());
    ASSERT_NE(graphics, nullptr);
    EXPECT_EQ(graphics->FPS(), 30);
    EXPECT_EQ(graphics->Width(), editor::kEditorWidth);
    EXPECT_EQ(graphics->Height(), editor::kEditorHeight);
    EXPECT_EQ(graphics->GetDrawScale(), 1.f);
    EXPECT_EQ(plugkit::canvas::platform::DisplayTimerPeriodMs(graphics->FPS()),
              kDisplayTimerPeriodMs);
    graphics.reset();
    delete host;
}

struct TimerCall
{
    HWND window;
    UINT_PTR id;
    UINT period;
};
std::vector<TimerCall> gTimerCalls;
using SetTimerFunc = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC);
SetTimerFunc gSetTimer = nullptr;

UINT_PTR WINAPI RecordingSetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC proc)
{
    gTimerCalls.push_back({window, id, period});
    return gSetTimer(window, id, period, proc);
}

/// Points `module`'s import of `function` from `dll` at `replacement`; returns what the import
/// pointed at before, or null when the module imports no such function by name.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return nullptr;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0;
         ++entry)
    {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0)
            continue;
        const DWORD namesAt =
            entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots)
        {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protection))
                return nullptr;
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void*), protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

TEST(EditorWindow, ThePlugInModuleMakesItAtThirtyFramesPerSecond)
{
    if (plugkit::canvas::platform::WindowsEightOrLater())
        GTEST_SKIP() << "a vertical-blank thread paces the window here";
    std::string error;
    std::unique_ptr<LoadedModule> module = LoadedModule::Load(LUMENFALL_BUNDLE, &error);
    ASSERT_NE(module, nullptr) << error;
    HMODULE binary = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   static_cast<LPCWSTR>(module->Symbol("GetPluginFactory")),
                                   &binary));
    gSetTimer = reinterpret_cast<SetTimerFunc>(
        PatchImport(binary, "user32.dll", "SetTimer", reinterpret_cast<void*>(&RecordingSetTimer)));
    ASSERT_NE(gSetTimer, nullptr) << "the module imports no SetTimer";

    HostApplication hostApp{u"Test Host"};
    ComponentHandler handler;
    PlugFrame frame;
    plugkit::canvas::platform::test::HostWindow window(
        800, 260, editor::kEditorWidth, editor::kEditorHeight);
    frame.mWindow = window.Get();
    {
        HostedPlugin plugin(*module, hostApp, handler);
        ASSERT_TRUE(plugin.CreateAndInitialize());
        IPlugView* view = plugin.mController->createView("editor");
        ASSERT_NE(view, nullptr);
        view->setFrame(&frame);
        gTimerCalls.clear();
        ASSERT_EQ(view->attached(window.Get(), kPlatformTypeHWND), kResultOk);
        const HWND editorWindow = GetWindow(window.Get(), GW_CHILD);
        ASSERT_NE(editorWindow, nullptr);
        std::vector<UINT> periods;
        for (const TimerCall& call : gTimerCalls)
            if (call.window == editorWindow && call.id == kDisplayTimerId)
                periods.push_back(call.period);
        EXPECT_EQ(periods, std::vector<UINT>{kDisplayTimerPeriodMs});
        EXPECT_EQ(view->removed(), kResultOk);
        EXPECT_EQ(view->release(), 0u);
    }
    PatchImport(binary, "user32.dll", "SetTimer", reinterpret_cast<void*>(gSetTimer));
}

/// Whether `editorWindow` draws into a hidden sink child window, as it does when it presents
/// through GDI (swapping buffers draws into the window itself).
bool PresentsThroughGdi(HWND editorWindow)
{
    for (HWND child = GetWindow(editorWindow, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
    {
        wchar_t name[64] = {};
        if (GetClassNameW(child, name, 64) > 0 && std::wcscmp(name, L"PluginGlSinkClass") == 0)
            return true;
    }
    return false;
}

TEST(EditorWindow, LumenfallPresentForcesHowBothDeliverablesPresent)
{
    // Under Wine frames go through GDI unless the variable says "swap".
    std::string error;
    std::unique_ptr<LoadedModule> module = LoadedModule::Load(LUMENFALL_BUNDLE, &error);
    ASSERT_NE(module, nullptr) << error;
    plugkit::canvas::platform::test::HostWindow window(
        800, 260, editor::kEditorWidth, editor::kEditorHeight);
    for (const char* value : {"swap", "gdi"})
    {
        SCOPED_TRACE(value);
        const bool gdi = std::strcmp(value, "gdi") == 0;
        SetEnvironmentVariableA("LUMENFALL_PRESENT", value);

        FakePlatform platform;
        plugkit::app::StandaloneHost* host = plugkit::app::StandaloneHost::Create(platform);
        ASSERT_NE(host, nullptr);
        plugkit::ICanvasEditorDelegate* program = host->GetPlugin();
        ASSERT_NE(program, nullptr);
        const HWND programEditor = static_cast<HWND>(program->OpenWindow(window.Get()));
        ASSERT_NE(programEditor, nullptr);
        EXPECT_EQ(PresentsThroughGdi(programEditor), gdi) << "the stand-alone program";
        program->CloseWindow();
        delete host;

        HostApplication hostApp{u"Test Host"};
        ComponentHandler handler;
        PlugFrame frame;
        frame.mWindow = window.Get();
        HostedPlugin plugin(*module, hostApp, handler);
        ASSERT_TRUE(plugin.CreateAndInitialize());
        IPlugView* view = plugin.mController->createView("editor");
        ASSERT_NE(view, nullptr);
        view->setFrame(&frame);
        ASSERT_EQ(view->attached(window.Get(), kPlatformTypeHWND), kResultOk);
        const HWND moduleEditor = GetWindow(window.Get(), GW_CHILD);
        ASSERT_NE(moduleEditor, nullptr);
        EXPECT_EQ(PresentsThroughGdi(moduleEditor), gdi) << "the plug-in module";
        EXPECT_EQ(view->removed(), kResultOk);
        EXPECT_EQ(view->release(), 0u);
    }
    SetEnvironmentVariableA("LUMENFALL_PRESENT", nullptr);
}

} // namespace
} // namespace lumenfall::test
