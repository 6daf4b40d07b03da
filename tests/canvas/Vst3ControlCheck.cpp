// Built only against the plug-in module's variant of the toolkit (PLUGKIT_VST3).
#include "tests/support/FakeEditorDelegate.h"
#include "tests/support/RecordingCanvas.h"

#include "canvas/IVst3ContextMenuHost.h"
#include "canvas/platform/helpers/TextConversion.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/common/pluginview.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using namespace plugkit::canvas;
using namespace Steinberg;
using lumenfall::test::TestControl;
using Item = Vst::IContextMenuItem;

static_assert(std::is_base_of_v<Steinberg::Vst::IContextMenuTarget, IControl>);
static_assert(std::is_base_of_v<Steinberg::FObject, IControl>);

TEST(Vst3Control, IsAReferenceCountedContextMenuTarget)
{
    auto* control = new TestControl({0, 0, 10, 10});
    EXPECT_STREQ(control->isA(), "IControl");
    EXPECT_TRUE(control->isTypeOf("FObject", true));
    EXPECT_FALSE(control->isTypeOf("FObject", false));

    void* target = nullptr;
    ASSERT_EQ(control->queryInterface(Steinberg::Vst::IContextMenuTarget::iid, &target),
              Steinberg::kResultOk);
    ASSERT_NE(target, nullptr);
    auto* menuTarget = static_cast<Steinberg::Vst::IContextMenuTarget*>(target);
    // The host picks item 3 of those the control added to its menu.
    EXPECT_EQ(menuTarget->executeMenuItem(3), Steinberg::kResultOk);
    EXPECT_EQ(control->lastContextChoice, 3);
    EXPECT_EQ(menuTarget->release(), 1u); // back to the reference the canvas will own

    lumenfall::test::FakeEditorDelegate dlg;
    lumenfall::test::RecordingCanvas g(dlg);
    g.AttachControl(control);
    control->addRef(); // a host still holding the target when the editor closes
    g.RemoveAllControls();
    EXPECT_EQ(control->lastContextChoice, 3); // still alive for the host
    EXPECT_EQ(control->release(), 0u);
}

/// The host's menu: records what the plug-in adds and where it pops up.
class FakeContextMenu : public FObject, public Vst::IContextMenu
{
public:
    struct Entry
    {
        std::string name;
        int32 tag;
        int32 flags;
        IPtr<Vst::IContextMenuTarget> target;
    };

    int32 PLUGIN_API getItemCount() override { return int32(entries.size()); }
    tresult PLUGIN_API getItem(int32, Item&, Vst::IContextMenuTarget**) override
    {
        return kNotImplemented;
    }
    tresult PLUGIN_API addItem(const Item& item, Vst::IContextMenuTarget* target) override
    {
        std::vector<platform::WideChar> wide(item.name, item.name + 128);
        plugkit::HeapString name;
        platform::WideToUtf8(wide.data(), name);
        entries.push_back({name.Get(), item.tag, item.flags, target});
        return kResultOk;
    }
    tresult PLUGIN_API removeItem(const Item&, Vst::IContextMenuTarget*) override
    {
        return kNotImplemented;
    }
    tresult PLUGIN_API popup(UCoord x, UCoord y) override
    {
        popups.push_back({x, y});
        return kResultOk;
    }

    OBJ_METHODS(FakeContextMenu, FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(Vst::IContextMenu)
    END_DEFINE_INTERFACES(FObject)
    REFCOUNT_METHODS(FObject)

    std::vector<Entry> entries;
    std::vector<std::pair<UCoord, UCoord>> popups;
};

/// A component handler with or without IComponentHandler3; keeps the menu it made.
class FakeHandler : public FObject, public Vst::IComponentHandler, public Vst::IComponentHandler3
{
public:
    explicit FakeHandler(bool offersMenus)
        : mOffersMenus(offersMenus)
    {
    }

    tresult PLUGIN_API beginEdit(Vst::ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit(Vst::ParamID, Vst::ParamValue) override { return kResultOk; }
    tresult PLUGIN_API endEdit(Vst::ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
    Vst::IContextMenu* PLUGIN_API createContextMenu(IPlugView* view,
                                                    const Vst::ParamID* paramId) override
    {
        menuView = view;
        menuParam = paramId ? int(*paramId) : -1;
        menu = owned(new FakeContextMenu());
        menu->addRef(); // the caller's reference
        return menu;
    }

    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
    {
        QUERY_INTERFACE(iid, obj, Vst::IComponentHandler::iid, Vst::IComponentHandler)
        if (mOffersMenus)
            QUERY_INTERFACE(iid, obj, Vst::IComponentHandler3::iid, Vst::IComponentHandler3)
        return FObject::queryInterface(iid, obj);
    }
    REFCOUNT_METHODS(FObject)

    IPtr<FakeContextMenu> menu;
    IPlugView* menuView = nullptr;
    int menuParam = -2;

private:
    bool mOffersMenus;
};

/// The plug-in's side: a delegate that hands out the host's handler and the open view.
class HostDelegate : public lumenfall::test::FakeEditorDelegate, public IVst3ContextMenuHost
{
public:
    Vst::IComponentHandler* GetHostComponentHandler() override { return handler; }
    IPlugView* GetEditorView() override { return view; }

    Vst::IComponentHandler* handler = nullptr;
    IPlugView* view = nullptr;
};

class Vst3ContextMenuTest : public ::testing::Test
{
protected:
    Vst3ContextMenuTest()
    {
        dlg.view = view;
        knob = static_cast<TestControl*>(g.AttachControl(
            new TestControl({0, 0, 50, 50}, lumenfall::test::FakeEditorDelegate::kMode)));
    }
    ~Vst3ContextMenuTest() override { view->release(); }

    void RightClick(float x, float y)
    {
        IMouseEvent e;
        e.x = x;
        e.y = y;
        e.ms.R = true;
        g.OnMouseDown({e});
    }

    IPlugView* view = new CPluginView();
    HostDelegate dlg;
    lumenfall::test::RecordingCanvas g{dlg};
    TestControl* knob = nullptr;
};

TEST_F(Vst3ContextMenuTest, HostMenuCarriesTheControlsItemsInOrder)
{
    IPtr<FakeHandler> handler = owned(new FakeHandler(true));
    dlg.handler = handler;
    g.SetScreenScale(2.f);
    knob->onContextMenu = [](IPopupMenu& menu)
    {
        menu.AddItem("Reset");
        menu.AddItem("Learn", IPopupMenu::kChecked | IPopupMenu::kGreyed);
        menu.AddSeparator();
        auto* sub = new IPopupMenu();
        sub->AddItem("Fine");
        sub->AddItem("Coarse", IPopupMenu::kChecked);
        menu.AddItem("Step", sub);
    };
    RightClick(10, 20);
    ASSERT_NE(handler->menu, nullptr);
    EXPECT_EQ(handler->menuView, view);
    EXPECT_EQ(handler->menuParam, lumenfall::test::FakeEditorDelegate::kMode);
    struct Expected
    {
        const char* name;
        int32 tag;
        int32 flags;
    };
    const Expected expected[] = {
        {"Reset", 0, 0},
        {"Learn", 1, Item::kIsDisabled | Item::kIsChecked},
        {"", 2, Item::kIsSeparator},
        {"Step", 3, Item::kIsGroupStart},
        {"Fine", 4, 0},
        {"Coarse", 5, Item::kIsChecked},
        {"Step", 6, Item::kIsGroupEnd},
    };
    const auto& entries = handler->menu->entries;
    ASSERT_EQ(entries.size(), std::size(expected));
    for (size_t i = 0; i < entries.size(); ++i)
    {
        EXPECT_EQ(entries[i].name, expected[i].name) << i;
        EXPECT_EQ(entries[i].tag, expected[i].tag) << i;
        EXPECT_EQ(entries[i].flags, expected[i].flags) << i;
    }
    // In host pixels; no gesture and no press for the knob.
    EXPECT_EQ(handler->menu->popups, (std::vector<std::pair<UCoord, UCoord>>{{20, 40}}));
    EXPECT_EQ(knob->downs, 0);
    EXPECT_TRUE(dlg.HostEvents().empty());

    // The host reports a choice by tag through the control's own target, never the control.
    Vst::IContextMenuTarget* target = entries[0].target;
    EXPECT_EQ(target, knob->GetContextMenuTarget());
    EXPECT_NE(static_cast<void*>(target), static_cast<void*>(knob));
    EXPECT_EQ(target->executeMenuItem(5), kResultOk);
    EXPECT_EQ(knob->lastContextChoice, 5);

    // The host may keep the target after the editor is gone: it then does nothing.
    IPtr<Vst::IContextMenuTarget> kept = target;
    g.RemoveAllControls();
    handler->menu = nullptr;
    EXPECT_EQ(kept->executeMenuItem(1), kResultFalse);
}

TEST_F(Vst3ContextMenuTest, NoMenuWithoutEveryHostPiece)
{
    IPtr<FakeHandler> plain = owned(new FakeHandler(false));
    IPtr<FakeHandler> capable = owned(new FakeHandler(true));
    struct Case
    {
        const char* what;
        Vst::IComponentHandler* handler;
        bool viewOpen;
    };
    const Case cases[] = {
        {"no IComponentHandler3", plain, true},
        {"no component handler", nullptr, true},
        {"no editor view", capable, false},
    };
    for (const Case& c : cases)
    {
        dlg.handler = c.handler;
        dlg.view = c.viewOpen ? view : nullptr;
        RightClick(10, 20);
        // Neither handler was asked for a menu: the plain one has none to give, and the
        // capable one no view to give it for.
        EXPECT_EQ(plain->menu, nullptr) << c.what;
        EXPECT_EQ(plain->menuParam, -2) << c.what;
        EXPECT_EQ(capable->menu, nullptr) << c.what;
        EXPECT_EQ(capable->menuParam, -2) << c.what;
        EXPECT_EQ(knob->downs, 0) << c.what;
        EXPECT_TRUE(dlg.HostEvents().empty()) << c.what;
    }
}

} // namespace
