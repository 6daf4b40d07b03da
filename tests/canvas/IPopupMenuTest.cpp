#include "canvas/IPopupMenu.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
using plugkit::canvas::IPopupMenu;

TEST(PopupMenu, BuiltFromTextsHasPlainItemsAndNoChoice)
{
    IPopupMenu menu("", {"Cut", "Copy", "Paste"});
    ASSERT_EQ(menu.NItems(), 3);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(menu.GetItem(i)->GetFlags(), IPopupMenu::kNoFlags);
        EXPECT_EQ(menu.GetItem(i)->GetTag(), -1);
    }
    EXPECT_STREQ(menu.GetItemText(1), "Copy");
    EXPECT_STREQ(menu.GetItemText(3), "");
    EXPECT_EQ(menu.GetItem(-1), nullptr);
    EXPECT_EQ(menu.GetChosenItemIdx(), -1);
    EXPECT_EQ(menu.GetChosenItem(), nullptr);

    const IPopupMenu::Item nullText(nullptr);
    EXPECT_STREQ(nullText.GetText(), "");
}

TEST(PopupMenu, ClearKeepsOrResetsChoiceAndNumbering)
{
    for (const bool reset : {false, true})
    {
        IPopupMenu menu("Title", {"a", "b"});
        menu.SetChosenItemIdx(1);
        menu.SetPrefix(IPopupMenu::EPrefix::TwoDigits);
        menu.Clear(reset);
        EXPECT_EQ(menu.NItems(), 0);
        EXPECT_STREQ(menu.GetRootTitle(), "Title");
        EXPECT_EQ(menu.GetChosenItemIdx(), reset ? -1 : 1);
        EXPECT_EQ(menu.GetPrefix(),
                  reset ? IPopupMenu::EPrefix::None : IPopupMenu::EPrefix::TwoDigits);
    }
}

TEST(PopupMenu, DestroyingANestedTreeReleasesEveryLevel)
{
    // Each level's completion function holds a share of the token: when every menu of the
    // tree is gone, only the test's own share is left.
    auto token = std::make_shared<int>(0);
    auto makeMenu = [&](const char* title)
    {
        auto* menu = new IPopupMenu(title, {"x", "y"});
        menu->SetFunction([token](IPopupMenu*) { ++*token; });
        return menu;
    };
    {
        IPopupMenu root("root", {"plain"});
        root.SetFunction([token](IPopupMenu*) {});
        IPopupMenu* middle = makeMenu("middle");
        middle->AddItem("deepest", makeMenu("leaf"));
        root.AddItem("middle", middle);
        root.AddSeparator();
        ASSERT_EQ(root.NItems(), 3);
        ASSERT_NE(root.GetItem(1)->GetSubmenu(), nullptr);
        EXPECT_TRUE(root.GetItem(2)->GetIsSeparator());
        root.GetItem(1)->GetSubmenu()->GetItem(2)->GetSubmenu()->ExecFunction();
        EXPECT_EQ(*token, 1);
        EXPECT_EQ(token.use_count(), 4);
    }
    EXPECT_EQ(token.use_count(), 1);
}

TEST(PopupMenu, ItemFlags)
{
    IPopupMenu::Item item("x", IPopupMenu::kGreyed);
    EXPECT_FALSE(item.GetEnabled());
    EXPECT_TRUE(item.GetSelectable());
    item.SetChecked(true);
    EXPECT_EQ(item.GetFlags(), IPopupMenu::kGreyed | IPopupMenu::kChecked);
    item.SetChecked(false);
    EXPECT_EQ(item.GetFlags(), IPopupMenu::kGreyed);
    EXPECT_FALSE(IPopupMenu::Item("t", IPopupMenu::kNotSelectable).GetSelectable());
}

} // namespace
