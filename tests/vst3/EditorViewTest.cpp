// The real LUMENFALL.vst3's editor in the test host under Wine: a top-level window of the test
// as the host's frame, the editor attached, resized, removed and released again and again.
#include "tests/canvas/platform/WinTestSupport.h"
#include "tests/vst3host/Vst3Host.h"

#include <gtest/gtest.h>

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
