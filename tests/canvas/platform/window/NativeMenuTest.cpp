#include "canvas/platform/window/NativeMenu.h"

#include "tests/support/WinTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace plugkit::canvas::platform
{
namespace
{

using test::HostWindow;

std::wstring MenuText(HMENU menu, int position)
{
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 128, MF_BYPOSITION);
    return text;
}

TEST(NativeMenu, ItemsCarryTextsFlagsAndColumns)
{
    IPopupMenu menu;
    menu.SetPrefix(IPopupMenu::EPrefix::TwoDigits);
    menu.SetItemsPerColumn(2);
    menu.AddItem("Rock & Roll");
    menu.AddItem("Grey", IPopupMenu::kGreyed);
    menu.AddSeparator();
    menu.AddItem("Ticked", IPopupMenu::kChecked);
    menu.AddItem("Caf\xc3\xa9", IPopupMenu::kNotSelectable);

    int nextId = 0;
    HMENU handle = BuildNativeMenu(menu, nextId);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(nextId, 5);
    ASSERT_EQ(GetMenuItemCount(handle), 5);
    EXPECT_EQ(MenuText(handle, 0), L"01: Rock && Roll");
    EXPECT_EQ(MenuText(handle, 4), L"05: Caf\u00e9");

    const struct
    {
        int position;
        UINT set;
        UINT clear;
    } flags[] = {
        {0, 0, MF_GRAYED | MF_CHECKED | MF_MENUBARBREAK},
        {1, MF_GRAYED, MF_MENUBARBREAK},
        {2, MF_SEPARATOR, MF_MENUBARBREAK}, // a separator takes no flags
        {3, MF_CHECKED, MF_MENUBARBREAK},
        {4, MF_DISABLED | MF_MENUBARBREAK, MF_GRAYED},
    };
    for (const auto& f : flags)
    {
        const UINT state = GetMenuState(handle, static_cast<UINT>(f.position), MF_BYPOSITION);
        EXPECT_EQ(state & f.set, f.set) << f.position;
        EXPECT_EQ(state & f.clear, 0u) << f.position;
    }
    DestroyMenu(handle);
}

/// Presses `keys` in the first popup menu that appears, from another thread, as a user would.
std::thread DriveMenu(std::vector<WPARAM> keys)
{
    return std::thread(
        [keys]
        {
            HWND menu = nullptr;
            for (int i = 0; i < 300 && menu == nullptr; ++i)
            {
                menu = FindWindowW(L"#32768", nullptr);
                if (menu == nullptr || !IsWindowVisible(menu))
                {
                    menu = nullptr;
                    Sleep(10);
                }
            }
            Sleep(50);
            for (WPARAM key : keys)
            {
                HWND target = FindWindowW(L"#32768", nullptr);
                if (target == nullptr)
                    target = menu;
                PostMessageW(target, WM_KEYDOWN, key, 0);
                PostMessageW(target, WM_KEYUP, key, 0xC0000000);
                Sleep(60);
            }
        });
}

TEST(NativeMenu, ChoosingAnItemOfASubmenuReportsThatSubmenu)
{
    // Three items; the second opens a two-item submenu whose items take the ids 3 and 4.
    IPopupMenu root("", {"a", "b", "c"});
    int rootCalls = 0;
    int subCalls = 0;
    root.SetFunction([&](IPopupMenu*) { ++rootCalls; });
    auto* sub = new IPopupMenu("", {"b1", "b2"}, [&](IPopupMenu* m) { subCalls += m != nullptr; });
    root.GetItem(1)->SetSubmenu(sub);

    HostWindow& owner = test::SharedHost();
    std::thread driver = DriveMenu({VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN});
    IPopupMenu* chosen = TrackNativePopupMenu(root, owner.Get(), POINT{150, 150});
    driver.join();
    EXPECT_EQ(chosen, sub);
    EXPECT_EQ(sub->GetChosenItemIdx(), 1);
    EXPECT_EQ(subCalls, 1);
    EXPECT_EQ(rootCalls, 0);
}

TEST(NativeMenu, TheFirstItemCanBeChosenAndADismissedMenuCallsNothing)
{
    HostWindow& owner = test::SharedHost();
    int calls = 0;
    IPopupMenu menu("", {"first", "second"}, [&](IPopupMenu*) { ++calls; });

    std::thread driver = DriveMenu({VK_DOWN, VK_RETURN});
    EXPECT_EQ(TrackNativePopupMenu(menu, owner.Get(), POINT{150, 150}), &menu);
    driver.join();
    EXPECT_EQ(menu.GetChosenItemIdx(), 0);
    EXPECT_EQ(calls, 1);

    menu.SetChosenItemIdx(-1);
    driver = DriveMenu({VK_ESCAPE});
    EXPECT_EQ(TrackNativePopupMenu(menu, owner.Get(), POINT{150, 150}), nullptr);
    driver.join();
    EXPECT_EQ(menu.GetChosenItemIdx(), -1);
    EXPECT_EQ(calls, 1);
}

} // namespace
} // namespace plugkit::canvas::platform
