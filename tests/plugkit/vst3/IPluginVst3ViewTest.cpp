// IPluginVst3View in-process: the host's view calls in every order a host may make them, over
// a plug-in whose graphics are a recording canvas with no window.
#include "plugkit/vst3/IPluginVst3View.h"

#include "plugkit/vst3/IPluginVst3.h"
#include "plugkit/vst3/Vst3KeyEvent.h"
#include "tests/support/FakeCanvas.h"
#include "tests/vst3host/Vst3Host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall::test
{
namespace
{

using plugkit::test::FakeCanvas;

class UiPlugin final : public plugkit::IPluginVst3
{
public:
    static plugkit::PluginConfig Config(bool hasUI)
    {
        plugkit::PluginConfig c;
        c.mNParams = 1;
        c.mChannelIO = "2-2";
        c.mPluginName = "Fake";
        c.mHasUI = hasUI;
        c.mHostResize = true;
        c.mEditorWidth = 400;
        c.mEditorHeight = 300;
        c.mMinWidth = 200;
        c.mMaxWidth = 800;
        c.mMinHeight = 150;
        c.mMaxHeight = 600;
        return c;
    }

    explicit UiPlugin(bool hasUI = true)
        : IPluginVst3(Config(hasUI))
    {
        GetParam(0)->InitDouble("Gain", 0.0, -60.0, 12.0, 0.1, "dB");
        SetMakeGraphicsFunc(
            [this]() -> plugkit::canvas::ICanvas*
            {
                auto* canvas = new FakeCanvas(*this, mLog, 400, 300, 1.f);
                canvas->mNativeWindow = mOpenFails ? -1 : 0;
                return canvas;
            });
    }

    void* OpenWindow(void* parent) override
    {
        void* window = IPluginVst3::OpenWindow(parent);
        return mOpenFails ? nullptr : window;
    }

    int Count(const std::string& call) const
    {
        return static_cast<int>(std::count(mLog.mCalls.begin(), mLog.mCalls.end(), call));
    }
    int References()
    {
        addRef();
        return static_cast<int>(release());
    }

    FakeCanvas::Log mLog;
    bool mOpenFails = false;
};

/// The plug-in and a host frame; checks on exit that every graphics object made was deleted.
struct ViewFixture : ::testing::Test
{
    UiPlugin* plugin = new UiPlugin();
    PlugFrame frame;
    int parentWindow = 0;

    ~ViewFixture() override
    {
        EXPECT_EQ(plugin->References(), 1) << "a view still holds the plug-in";
        EXPECT_EQ(plugin->mLog.mCreated, plugin->mLog.mDeleted) << "graphics leaked";
        plugin->release();
    }

    IPlugView* CreateView()
    {
        IPlugView* view = plugin->createView("editor");
        EXPECT_NE(view, nullptr);
        if (view != nullptr)
            view->setFrame(&frame);
        return view;
    }
};

TEST_F(ViewFixture, CreatedOnlyForTheEditorOfAPluginWithOne)
{
    for (const char* name : {"Editor", "", "editorx"})
        EXPECT_EQ(plugin->createView(name), nullptr) << name;
    EXPECT_EQ(plugin->createView(nullptr), nullptr);

    UiPlugin* noEditor = new UiPlugin(false);
    EXPECT_EQ(noEditor->createView("editor"), nullptr);
    noEditor->release();

    IPlugView* view = CreateView();
    EXPECT_EQ(plugin->References(), 2);
    EXPECT_EQ(view->isPlatformTypeSupported("HWND"), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported("NSView"), kResultFalse);
    EXPECT_EQ(view->isPlatformTypeSupported(nullptr), kResultFalse);
    IPlugViewContentScaleSupport* scale = nullptr;
    EXPECT_EQ(view->queryInterface(IPlugViewContentScaleSupport::iid, (void**)&scale), kResultOk);
    ASSERT_NE(scale, nullptr);
    scale->release();
    EXPECT_EQ(view->release(), 0u);
}

TEST_F(ViewFixture, AttachFailsForAnotherPlatformOrAWindowThatDidNotOpen)
{
    IPlugView* view = CreateView();
    EXPECT_EQ(view->attached(&parentWindow, "NSView"), kResultFalse);
    EXPECT_EQ(view->attached(nullptr, "HWND"), kResultFalse);
    EXPECT_EQ(plugin->mLog.mCreated, 0);

    plugin->mOpenFails = true;
    EXPECT_EQ(view->attached(&parentWindow, "HWND"), kResultFalse);
    EXPECT_EQ(plugin->GetUI(), nullptr) << "the half-opened editor is closed";
    EXPECT_EQ(plugin->mLog.mDeleted, 1);

    plugin->mOpenFails = false;
    EXPECT_EQ(view->attached(&parentWindow, "HWND"), kResultOk);
    EXPECT_NE(plugin->GetUI(), nullptr);
    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(plugin->GetUI(), nullptr);
    view->release();
}

TEST_F(ViewFixture, TheHostsParameterMenuUsesItsHandlerAndTheViewHoldingTheEditor)
{
    ComponentHandler handler;
    ASSERT_EQ(plugin->setComponentHandler(&handler), kResultOk);
    plugkit::canvas::IVst3ContextMenuHost& menuHost = *plugin;
    EXPECT_EQ(menuHost.GetHostComponentHandler(), &handler);

    IPlugView* view = CreateView();
    EXPECT_EQ(menuHost.GetEditorView(), nullptr) << "no editor is open yet";
    ASSERT_EQ(view->attached(&parentWindow, "HWND"), kResultOk);
    EXPECT_EQ(menuHost.GetEditorView(), view);
    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(menuHost.GetEditorView(), nullptr) << "a removed view is never handed out";
    view->release();
    plugin->setComponentHandler(nullptr);
    EXPECT_EQ(menuHost.GetHostComponentHandler(), nullptr);
}

TEST_F(ViewFixture, AnyOrderOfHostCallsNeitherCrashesNorLeaks)
{
    // Each sequence runs on a fresh view; 'a' attached, 'r' removed, 's' resized, 'x' released.
    const char* sequences[] = {"ar", "rar", "aar", "aasr", "sars", "ax", "arax", "raarrx", "sx"};
    for (const char* sequence : sequences)
    {
        IPlugView* view = CreateView();
        bool released = false;
        for (const char* c = sequence; *c != '\0'; ++c)
        {
            ViewRect r(0, 0, 500, 400);
            switch (*c)
            {
            case 'a':
                EXPECT_EQ(view->attached(&parentWindow, "HWND"), kResultOk) << sequence;
                EXPECT_NE(plugin->GetUI(), nullptr) << sequence;
                break;
            case 'r':
                EXPECT_EQ(view->removed(), kResultOk) << sequence;
                EXPECT_EQ(plugin->GetUI(), nullptr) << sequence;
                break;
            case 's':
                EXPECT_EQ(view->onSize(&r), kResultOk) << sequence;
                break;
            case 'x':
                EXPECT_EQ(view->release(), 0u) << sequence;
                released = true;
                EXPECT_EQ(plugin->GetUI(), nullptr) << sequence << ": released while attached";
                break;
            }
        }
        if (!released)
        {
            view->removed();
            view->release();
        }
        EXPECT_EQ(plugin->GetCurrentView(), nullptr) << sequence;
        EXPECT_EQ(plugin->mLog.mCreated, plugin->mLog.mDeleted) << sequence;
    }
}

TEST_F(ViewFixture, AReleasedViewIsNeverAskedAgain)
{
    IPlugView* first = CreateView();
    IPlugView* second = CreateView();
    ASSERT_EQ(first->attached(&parentWindow, "HWND"), kResultOk);
    EXPECT_EQ(plugin->EditorResize(500, 400), true);
    EXPECT_EQ(frame.mRequests.size(), 1u) << "the newest view's frame is asked";

    // The older view is released while attached: the editor closes and the current view stays.
    first->release();
    EXPECT_EQ(plugin->GetUI(), nullptr);
    EXPECT_EQ(plugin->GetCurrentView(), static_cast<plugkit::IPluginVst3::View*>(second));

    second->release();
    EXPECT_EQ(plugin->GetCurrentView(), nullptr);
    frame.mRequests.clear();
    EXPECT_TRUE(plugin->EditorResize(640, 480)); // no view: only the size is kept
    EXPECT_TRUE(frame.mRequests.empty());
    EXPECT_EQ(plugin->GetEditorWidth(), 640);
}

TEST_F(ViewFixture, TheOlderOfTwoAttachedViewsDoesNotCloseTheNewerOnesEditor)
{
    IPlugView* first = CreateView();
    IPlugView* second = CreateView();
    int otherParent = 0;
    ASSERT_EQ(first->attached(&parentWindow, "HWND"), kResultOk);
    ASSERT_EQ(second->attached(&otherParent, "HWND"), kResultOk);
    EXPECT_EQ(first->removed(), kResultOk);
    EXPECT_NE(plugin->GetUI(), nullptr);
    EXPECT_EQ(second->removed(), kResultOk);
    EXPECT_EQ(plugin->GetUI(), nullptr);
    first->release();
    second->release();
}

TEST_F(ViewFixture, SizesNegotiateWithinTheEditorLimits)
{
    IPlugView* view = CreateView();
    ViewRect size;
    EXPECT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 400);
    EXPECT_EQ(size.getHeight(), 300);
    EXPECT_EQ(view->canResize(), kResultTrue);

    const struct
    {
        ViewRect in;
        ViewRect out;
    } cases[] = {
        {ViewRect(10, 20, 110, 70), ViewRect(10, 20, 210, 170)}, // widened to the minimum
        {ViewRect(0, 0, 5000, 5000), ViewRect(0, 0, 800, 600)},  // held at the maximum
        {ViewRect(5, 5, 505, 405), ViewRect(5, 5, 505, 405)},    // already inside
    };
    for (const auto& c : cases)
    {
        ViewRect r = c.in;
        EXPECT_EQ(view->checkSizeConstraint(&r), kResultOk);
        EXPECT_EQ(r.left, c.out.left);
        EXPECT_EQ(r.top, c.out.top);
        EXPECT_EQ(r.right, c.out.right);
        EXPECT_EQ(r.bottom, c.out.bottom);
    }
    EXPECT_EQ(view->checkSizeConstraint(nullptr), kInvalidArgument);

    ASSERT_EQ(view->attached(&parentWindow, "HWND"), kResultOk);
    ViewRect host(0, 0, 600, 450);
    EXPECT_EQ(view->onSize(&host), kResultOk);
    EXPECT_EQ(plugin->Count("Resize 600x450 @1.000000"), 1);
    EXPECT_EQ(view->onSize(nullptr), kResultFalse);

    // The editor asks the host through the frame; the host answers with onSize.
    frame.mRequests.clear();
    EXPECT_TRUE(plugin->EditorResize(700, 500));
    ASSERT_EQ(frame.mRequests.size(), 1u);
    EXPECT_EQ(frame.mRequests[0].getWidth(), 700);
    EXPECT_EQ(plugin->Count("Resize 700x500 @1.000000"), 1);
    EXPECT_TRUE(plugin->EditorResize(700, 500)); // the same size asks nothing
    EXPECT_EQ(frame.mRequests.size(), 1u);

    IPlugViewContentScaleSupport* scale = nullptr;
    view->queryInterface(IPlugViewContentScaleSupport::iid, (void**)&scale);
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultOk);
    EXPECT_EQ(scale->setContentScaleFactor(0.f), kResultOk);
    EXPECT_EQ(plugin->Count("SetScreenScale 1.500000"), 1);
    EXPECT_EQ(plugin->Count("SetScreenScale 0.000000"), 0);
    scale->release();

    view->removed();
    view->release();
}

TEST_F(ViewFixture, KeysReachTheEditorExceptUnderReaperWhereOnlySpaceDoes)
{
    IPlugView* view = CreateView();
    EXPECT_EQ(view->onKeyDown('a', 0, 0), kResultFalse) << "not attached";
    ASSERT_EQ(view->attached(&parentWindow, "HWND"), kResultOk);

    EXPECT_EQ(view->onKeyDown(0, 11, 0), kResultTrue); // left
    EXPECT_EQ(plugin->Count("OnKeyDown 12,34"), 1);
    EXPECT_EQ(view->onKeyUp(0, 11, 0), kResultFalse); // the canvas does not take releases
    EXPECT_EQ(view->onWheel(1.f), kResultFalse);
    EXPECT_EQ(view->onFocus(true), kResultFalse);

    plugin->SetHost("REAPER", 0);
    ASSERT_EQ(plugin->GetHost(), plugkit::kHostReaper);
    EXPECT_EQ(view->onKeyDown('a', 0, 0), kResultFalse);
    EXPECT_EQ(plugin->Count("OnKeyDown 12,34"), 1);
    EXPECT_EQ(view->onKeyDown(' ', 7, 0), kResultTrue);
    EXPECT_EQ(plugin->Count("OnKeyDown 12,34"), 2);

    view->removed();
    view->release();
}

int16_t FakeScan(char c)
{
    if (c == '=')
        return 0x1BB; // shift + VK_OEM_PLUS: the shift state is not a key
    if (c == 'q')
        return -1; // the layout has no key for it
    return static_cast<int16_t>(c == 'a' ? 0x41 : 0);
}

TEST(Vst3Keys, KeyCodesCharactersAndModifiers)
{
    const struct
    {
        char16_t character;
        int16_t code;
        int16_t modifiers;
        int vk;
        const char* text;
        bool shift, alt, control;
    } cases[] = {
        {u'a', 0, 0, 0x41, "a", false, false, false},
        {u'=', 57, 1, 0xBB, "=", true, false, false},
        {u'q', 0, 0, 0, "q", false, false, false},
        {0, 7, 0, 32, " ", false, false, false},  // space without a character
        {0, 4, 2, 13, "", false, true, false},    // return
        {0, 19, 4, 13, "", false, false, true},   // enter
        {0, 11, 0, 37, "", false, false, false},  // left
        {0, 24, 0, 96, "", false, false, false},  // numeric pad 0
        {0, 51, 0, 123, "", false, false, false}, // F12
        {0, 56, 0, 18, "", false, false, false},  // alt
        {0, 58, 0, 0, "", false, false, false},   // a code without a key
        // ASCII codes from 128 ('0') on: character and virtual key are code - 80.
        {0, 128, 0, '0', "0", false, false, false},
        {0, 129, 0, '1', "1", false, false, false},
        {0, 133, 0, '5', "5", false, false, false},
        {0, 136, 0, '8', "8", false, false, false}, // not Backspace
        {0, 137, 0, '9', "9", false, false, false},
        {0, 145, 0, 'A', "A", false, false, false},
        {0, 155, 0, 'K', "K", false, false, false}, // not Escape
        {0, 163, 0, 'S', "S", false, false, false}, // not End
        {0, 170, 0, 'Z', "Z", false, false, false},
        {0, 145, 4, 'A', "A", false, false, true}, // Ctrl+A
        {0, 167, 5, 'W', "W", true, false, true},
        // With the character given, it is the text; the key still comes from the code.
        {u'0', 128, 0, '0', "0", false, false, false},
        {u'8', 136, 0, '8', "8", false, false, false},
        {u'a', 145, 0, 'A', "a", false, false, false},
        {u'k', 155, 0, 'K', "k", false, false, false},
        {u's', 163, 0, 'S', "s", false, false, false},
        {u'Z', 170, 1, 'Z', "Z", true, false, false},
        {u'x', 168, 4, 'X', "x", false, false, true},
        {u'\u00e9', 0, 0, 0, "", false, false, false}, // not one byte of UTF-8: no text
    };
    for (const auto& c : cases)
    {
        const plugkit::canvas::IKeyEvent e =
            plugkit::Vst3KeyToKeyEvent(c.character, c.code, c.modifiers, &FakeScan);
        EXPECT_EQ(e.VK, c.vk) << c.code << " " << c.text;
        EXPECT_STREQ(e.utf8, c.text) << c.code;
        EXPECT_EQ(e.S, c.shift) << c.code;
        EXPECT_EQ(e.A, c.alt) << c.code;
        EXPECT_EQ(e.C, c.control) << c.code;
    }
}

} // namespace
} // namespace lumenfall::test
