// The real LUMENFALL.vst3's editor in the test host under Wine: a top-level window of the test
// as the host's frame, the editor attached, resized, removed and released again and again.
#include "tests/support/WinTestSupport.h"
#include "tests/vst3host/Vst3Host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall::test
{
namespace
{

using plugkit::canvas::platform::test::CaptureScreen;
using plugkit::canvas::platform::test::ClientOnScreen;
using plugkit::canvas::platform::test::HostWindow;
using plugkit::canvas::platform::test::PumpFor;

constexpr int kEditorWidth = 1100;
constexpr int kEditorHeight = 760;

struct EditorHost : ::testing::Test
{
    static void SetUpTestSuite()
    {
        std::string error;
        module = LoadedModule::Load(LUMENFALL_BUNDLE, &error).release();
        ASSERT_NE(module, nullptr) << error;
        // One window for the whole suite: Wine without a window manager takes two seconds to
        // destroy a top-level window.
        window = new HostWindow(800, 260, kEditorWidth, kEditorHeight);
    }
    static void TearDownTestSuite()
    {
        delete window;
        delete module;
    }

    void SetUp() override
    {
        plugin = std::make_unique<HostedPlugin>(*module, host, handler);
        ASSERT_TRUE(plugin->CreateAndInitialize());
        frame.mWindow = window->Get();
    }
    void TearDown() override { plugin.reset(); }

    /// Child windows of the host window.
    static int Children()
    {
        int n = 0;
        for (HWND c = GetWindow(window->Get(), GW_CHILD); c != nullptr;
             c = GetWindow(c, GW_HWNDNEXT))
            ++n;
        return n;
    }

    static LoadedModule* module;
    static HostWindow* window;
    HostApplication host{u"Test Host"};
    ComponentHandler handler;
    PlugFrame frame;
    std::unique_ptr<HostedPlugin> plugin;
};

LoadedModule* EditorHost::module = nullptr;
HostWindow* EditorHost::window = nullptr;

TEST_F(EditorHost, TheAttachedEditorIsOnTheScreen)
{
    IPlugView* view = plugin->mController->createView("editor");
    ASSERT_NE(view, nullptr);
    view->setFrame(&frame);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), kEditorWidth);
    EXPECT_EQ(size.getHeight(), kEditorHeight);

    ASSERT_EQ(view->attached(window->Get(), kPlatformTypeHWND), kResultOk);
    EXPECT_EQ(Children(), 1);
    PumpFor(400);

    // What a user sees there: the editor's pixels, not the host window's blue.
    const RECT r = ClientOnScreen(window->Get());
    const std::vector<unsigned char> shown = CaptureScreen(
        r.left, r.top, kEditorWidth, kEditorHeight, LUMENFALL_TEST_OUTPUT "/lumenfall-editor.png");
    ASSERT_EQ(shown.size(), static_cast<size_t>(kEditorWidth * kEditorHeight * 3));
    std::set<unsigned> colours;
    int hostBlue = 0;
    for (size_t i = 0; i < shown.size(); i += 3)
    {
        const unsigned rgb = shown[i] << 16 | shown[i + 1] << 8 | shown[i + 2];
        colours.insert(rgb);
        hostBlue += rgb == 0x0000FF;
    }
    EXPECT_GT(colours.size(), 2u) << "a blank editor";
    EXPECT_LT(hostBlue, kEditorWidth * kEditorHeight / 100) << "the host's background shows";

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(Children(), 0);
    EXPECT_EQ(view->release(), 0u);
}

/// The RGB pixel at editor point (x, y) of a capture of the whole editor at scale 1.
struct Rgb
{
    int r, g, b;
};
Rgb At(const std::vector<unsigned char>& shown, int x, int y)
{
    const size_t i = (static_cast<size_t>(y) * kEditorWidth + static_cast<size_t>(x)) * 3;
    return {shown[i], shown[i + 1], shown[i + 2]};
}

void ExpectNear(const Rgb& actual, const Rgb& expected, int tolerance, const char* what)
{
    EXPECT_NEAR(actual.r, expected.r, tolerance) << what;
    EXPECT_NEAR(actual.g, expected.g, tolerance) << what;
    EXPECT_NEAR(actual.b, expected.b, tolerance) << what;
}

// The editor's palette where a user sees it, and a click on ADVANCED showing the SPACE page.
TEST_F(EditorHost, TheEditorShowsItsPaletteAndAClickChangesThePage)
{
    IPlugView* view = plugin->mController->createView("editor");
    ASSERT_NE(view, nullptr);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(window->Get(), kPlatformTypeHWND), kResultOk);
    PumpFor(400);
    const RECT r = ClientOnScreen(window->Get());
    std::vector<unsigned char> shown = CaptureScreen(r.left, r.top, kEditorWidth, kEditorHeight);
    ASSERT_EQ(shown.size(), static_cast<size_t>(kEditorWidth * kEditorHeight * 3));
    ExpectNear(At(shown, 700, 22), {37, 45, 50}, 2, "backdrop, 22 units down its gradient");
    ExpectNear(At(shown, 325, 200), {24, 32, 36}, 1, "display panel");
    ExpectNear(At(shown, 45, 450), {32, 40, 44}, 1, "knob panel");
    ExpectNear(At(shown, 250, 118), {29, 37, 41}, 1, "model menu");
    ExpectNear(At(shown, 140, 430), {48, 59, 65}, 2, "the Decay knob's body, halfway down");
    ExpectNear(At(shown, 400, 350), {38, 45, 50}, 20, "no group buttons on BASIC");

    HWND editor = GetWindow(window->Get(), GW_CHILD);
    ASSERT_NE(editor, nullptr);
    const LPARAM advanced = MAKELPARAM(253, 341);
    PostMessageW(editor, WM_MOUSEMOVE, 0, advanced);
    PostMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, advanced);
    PostMessageW(editor, WM_LBUTTONUP, 0, advanced);
    // The new page reaches the screen with the next frames; a loaded machine may take a while.
    const auto matches = [](const Rgb& a, const Rgb& b)
    { return std::abs(a.r - b.r) <= 1 && std::abs(a.g - b.g) <= 1 && std::abs(a.b - b.b) <= 1; };
    for (int attempt = 0; attempt < 20; ++attempt)
    {
        PumpFor(200);
        shown = CaptureScreen(r.left, r.top, kEditorWidth, kEditorHeight);
        if (shown.size() == static_cast<size_t>(kEditorWidth * kEditorHeight * 3) &&
            matches(At(shown, 400, 350), {70, 54, 38}) &&
            matches(At(shown, 140, 430), {32, 40, 44}))
            break;
    }
    CaptureScreen(r.left,
                  r.top,
                  kEditorWidth,
                  kEditorHeight,
                  LUMENFALL_TEST_OUTPUT "/lumenfall-editor-space.png");
    ASSERT_EQ(shown.size(), static_cast<size_t>(kEditorWidth * kEditorHeight * 3));
    ExpectNear(At(shown, 400, 350), {70, 54, 38}, 1, "SPACE, lit");
    ExpectNear(At(shown, 140, 430), {32, 40, 44}, 1, "knob panel where Decay was");

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(view->release(), 0u);
}

/// The clipboard's text, as another program would paste it.
std::wstring ClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT))
    {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data)))
            text = chars;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

// A host that forwards its keys through the view, each with character 0 and the key code only
// (digits and letters from code 128 = '0' on): a value typed into the Pre-delay box and the
// entry's Ctrl shortcuts.
TEST_F(EditorHost, AValueTypedThroughTheViewsKeysReachesTheParameter)
{
    ParamID preDelay = kNoParamId;
    for (int32 i = 0; i < plugin->mController->getParameterCount(); ++i)
    {
        ParameterInfo info;
        if (plugin->mController->getParameterInfo(i, info) == kResultOk &&
            std::u16string(reinterpret_cast<const char16_t*>(info.title)) == u"Pre-delay")
            preDelay = info.id;
    }
    ASSERT_NE(preDelay, kNoParamId);
    IPlugView* view = plugin->mController->createView("editor");
    ASSERT_NE(view, nullptr);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(window->Get(), kPlatformTypeHWND), kResultOk);
    PumpFor(100);
    HWND editor = GetWindow(window->Get(), GW_CHILD);
    ASSERT_NE(editor, nullptr);

    // A click on the value box under the Pre-delay knob opens its entry.
    const LPARAM box = MAKELPARAM(421, 488);
    PostMessageW(editor, WM_MOUSEMOVE, 0, box);
    PostMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, box);
    PostMessageW(editor, WM_LBUTTONUP, 0, box);
    PumpFor(100);

    constexpr int16 kCtrl = 1 << 2;
    const auto key = [&](int16 code, int16 modifiers = 0)
    { return view->onKeyDown(0, code, modifiers); };
    const auto letter = [](char c) { return static_cast<int16>(c - 'A' + 145); };
    const auto digit = [](char c) { return static_cast<int16>(c - '0' + 128); };
    // "150 ms", as such a host sends it: its letters come as capitals.
    for (int16 code : {digit('1'), digit('5'), digit('0'), int16(7), letter('M'), letter('S')})
        EXPECT_EQ(key(code), kResultTrue) << code;

    EXPECT_EQ(key(letter('A'), kCtrl), kResultTrue);
    EXPECT_EQ(key(letter('C'), kCtrl), kResultTrue);
    PumpFor(20);
    EXPECT_EQ(ClipboardText(), L"150 MS");
    EXPECT_EQ(key(letter('X'), kCtrl), kResultTrue); // the box is empty
    EXPECT_EQ(key(letter('V'), kCtrl), kResultTrue);
    EXPECT_EQ(key(letter('V'), kCtrl), kResultTrue); // twice over
    EXPECT_EQ(key(letter('Z'), kCtrl), kResultTrue); // once
    handler.mEvents.clear();
    EXPECT_EQ(key(4), kResultTrue); // Return
    PumpFor(50);

    const ParamValue normalized = plugin->mController->getParamNormalized(preDelay);
    EXPECT_NEAR(plugin->mController->normalizedParamToPlain(preDelay, normalized), 150.0, 1e-3);
    bool performed = false;
    for (const HostEvent& e : handler.mEvents)
        performed = performed || (e.kind == HostEvent::kPerform && e.id == preDelay &&
                                  std::abs(e.value - normalized) < 1e-9);
    EXPECT_TRUE(performed) << "the host was not told";

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(view->release(), 0u);
}

TEST_F(EditorHost, AttachResizeRemoveAndReleaseManyTimesLeaveNothingBehind)
{
    const DWORD userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    const DWORD gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int round = 0; round < 12; ++round)
    {
        IPlugView* view = plugin->mController->createView("editor");
        ASSERT_NE(view, nullptr);
        view->setFrame(&frame);
        ASSERT_EQ(view->attached(window->Get(), kPlatformTypeHWND), kResultOk) << round;
        PumpFor(30);

        // The host's wishes are held within the editor's limits before it resizes.
        ViewRect big(0, 0, 5000, 5000);
        EXPECT_EQ(view->checkSizeConstraint(&big), kResultOk);
        EXPECT_EQ(big.getWidth(), 3300);
        EXPECT_EQ(big.getHeight(), 2280);
        ViewRect small(0, 0, 100, 100);
        EXPECT_EQ(view->checkSizeConstraint(&small), kResultOk);
        EXPECT_EQ(small.getWidth(), 366);
        EXPECT_EQ(small.getHeight(), 253);
        ViewRect wish(0, 0, 880, 608); // 0.8 of the design size: the scale is held at 0.85
        view->checkSizeConstraint(&wish);
        EXPECT_EQ(view->onSize(&wish), kResultOk);
        PumpFor(30);
        HWND editor = GetWindow(window->Get(), GW_CHILD);
        ASSERT_NE(editor, nullptr);
        RECT r;
        GetClientRect(editor, &r);
        EXPECT_EQ(r.right, 935) << "1100 x 0.85";
        EXPECT_EQ(r.bottom, 646) << "760 x 0.85";

        // Hosts call these in any order.
        if (round % 3 == 1)
        {
            EXPECT_EQ(view->attached(window->Get(), kPlatformTypeHWND), kResultOk);
        }
        if (round % 3 != 2)
        {
            EXPECT_EQ(view->removed(), kResultOk);
        }
        EXPECT_EQ(view->release(), 0u) << round;
        EXPECT_EQ(Children(), 0) << round;
    }
    PumpFor(50);
    WNDCLASSW wc;
    EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(L"LUMENFALL.vst3"), L"PluginWndClass", &wc))
        << "the window class outlived the last editor";
    // Wine may count no objects at all; where it does, none may be left over.
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), userObjects + 2);
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiObjects + 8);
}

TEST_F(EditorHost, AnotherPlatformTypeOpensNothing)
{
    IPlugView* view = plugin->mController->createView("editor");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->attached(window->Get(), kPlatformTypeNSView), kResultFalse);
    EXPECT_EQ(Children(), 0);
    EXPECT_EQ(view->release(), 0u);
    EXPECT_EQ(plugin->mController->createView("other"), nullptr);
}

} // namespace
} // namespace lumenfall::test
