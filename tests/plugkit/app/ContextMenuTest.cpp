// The parameter context menu as the stand-alone program builds it (the toolkit without
// PLUGKIT_VST3): no host menu, the control's own items as the toolkit's menu.

#include "tests/support/CanvasTestHelpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using lumenfall::test::FakeEditorDelegate;
using lumenfall::test::TestControl;
using plugkit::canvas::IPopupMenu;

namespace
{

class ContextMenuTest : public lumenfall::test::CanvasFixture
{
protected:
    void RightClick(float x, float y)
    {
        Press(x, y, Right());
        Release(x, y, Right());
    }
};

TEST_F(ContextMenuTest, AControlWithoutItemsOpensNoMenu)
{
    auto* knob = Attach(new TestControl({0, 0, 50, 50}, FakeEditorDelegate::kGain, "knob"));
    RightClick(10, 10);
    EXPECT_EQ(g.LinesStartingWith("ParamContextMenu").size(), 1u);
    EXPECT_TRUE(g.LinesStartingWith("PopupMenu").empty());
    EXPECT_EQ(knob->lastContextChoice, -2);
}

TEST_F(ContextMenuTest, TheControlsItemsOpenAtTheClickAndTheChoiceReturnsToIt)
{
    auto* knob = Attach(new TestControl({0, 0, 50, 50}, FakeEditorDelegate::kGain, "knob"));
    knob->onContextMenu = [](IPopupMenu& menu)
    {
        menu.AddItem("Reset");
        menu.AddItem("Learn");
    };
    g.SetMenuChoice(1);
    RightClick(10, 12);
    const auto menus = g.LinesStartingWith("PopupMenu");
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0].rfind("PopupMenu 2 ", 0), 0u) << menus[0];
    EXPECT_NE(menus[0].find("10 12 10 12"), std::string::npos) << menus[0];
    EXPECT_EQ(knob->lastContextChoice, 1);
    EXPECT_EQ(knob->lastMenuChoice, -2) << "a context menu is not a value menu";

    // Each click builds the menu afresh; a dismissed menu reports no choice.
    g.SetMenuChoice(-1);
    RightClick(10, 12);
    const auto again = g.LinesStartingWith("PopupMenu");
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1].rfind("PopupMenu 2 ", 0), 0u) << again[1];
    EXPECT_EQ(knob->lastContextChoice, -1);
}

} // namespace
