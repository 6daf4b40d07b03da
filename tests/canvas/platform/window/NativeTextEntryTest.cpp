#include "canvas/platform/window/NativeTextEntry.h"

#include "plugkit/IParam.h"
#include "tests/support/WinTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace plugkit::canvas::platform
{
namespace
{

using test::HostWindow;
using test::PumpFor;

/// Types `keys` into the focused window as posted key presses, translated by the loop.
void Type(HWND window, const std::wstring& keys)
{
    for (wchar_t ch : keys)
    {
        const SHORT scan = VkKeyScanW(ch);
        const WPARAM vk = static_cast<WPARAM>(scan & 0xFF);
        if (scan & 0x100)
            PostMessageW(window, WM_CHAR, ch, 0); // shifted: its character as a keyboard gives it
        else
            PostMessageW(window, WM_KEYDOWN, vk, 0);
        PumpFor(5);
    }
}

struct EntryFixture : ::testing::Test
{
    HostWindow& host = test::SharedHost();
    NativeTextEntry entry;
    int hookCalls = 0;

    void Open(int paramType, const char* text, int maxLength = 64)
    {
        entry.SetMessageHook([this] { ++hookCalls; });
        ASSERT_TRUE(entry.Open(host.Get(),
                               GetModuleHandleW(nullptr),
                               IBounds(10.f, 20.f, 110.f, 40.f),
                               1.5f,
                               ITextStyle(),
                               nullptr,
                               paramType,
                               maxLength,
                               text));
    }
};

TEST_F(EntryFixture, TakesTheFocusAsItsOwnFirstMessage)
{
    Open(-1, "0.50");
    // Subclassed before the focus moved, so the focus reached the state.
    EXPECT_EQ(entry.GetState(), TextEntryState::FocusGained);
    EXPECT_EQ(GetFocus(), entry.GetWindow());
    EXPECT_GT(hookCalls, 0);
    EXPECT_EQ(entry.ReadText(), "0.50");

    RECT r;
    GetWindowRect(entry.GetWindow(), &r);
    EXPECT_EQ(r.right - r.left, 151); // 1.5 x 100 + 1
    EXPECT_EQ(r.bottom - r.top, 31);

    // Everything selected: typing replaces the text.
    Type(entry.GetWindow(), L"7");
    EXPECT_EQ(entry.ReadText(), "7");
}

TEST_F(EntryFixture, FiltersCharactersByTheParameterType)
{
    const struct
    {
        int type;
        std::wstring typed;
        std::string kept;
    } cases[] = {
        {IParam::kTypeDouble, L"-1.5e3", "-1.53"},
        {IParam::kTypeEnum, L"1.5", "15"},
        {-1, L"Hall 2", "Hall 2"},
    };
    for (const auto& c : cases)
    {
        Open(c.type, "");
        Type(entry.GetWindow(), c.typed);
        EXPECT_EQ(entry.ReadText(), c.kept) << c.type;
        // Backspace always works.
        PostMessageW(entry.GetWindow(), WM_KEYDOWN, VK_BACK, 0);
        PumpFor(10);
        EXPECT_EQ(entry.ReadText(), c.kept.substr(0, c.kept.size() - 1)) << c.type;
        entry.Destroy();
    }
}

TEST_F(EntryFixture, ReturnCommitsEscapeCancelsLosingFocusCommits)
{
    const struct
    {
        const char* what;
        WPARAM key;
        TextEntryState state;
    } cases[] = {{"Return", VK_RETURN, TextEntryState::Commit},
                 {"Escape", VK_ESCAPE, TextEntryState::Cancel},
                 {"focus to the host", 0, TextEntryState::Commit}};
    for (const auto& c : cases)
    {
        Open(IParam::kTypeDouble, "1");
        entry.SetState(TextEntryState::Idle);
        if (c.key != 0)
            PostMessageW(entry.GetWindow(), WM_KEYDOWN, c.key, 0);
        else
            SetFocus(host.Get());
        PumpFor(20);
        EXPECT_EQ(entry.GetState(), c.state) << c.what;
        EXPECT_EQ(entry.ReadText(), "1") << c.what << ": Return adds no line";
        entry.Destroy();
        EXPECT_FALSE(entry.IsOpen());
        EXPECT_EQ(entry.GetState(), TextEntryState::Idle);
    }
}

TEST_F(EntryFixture, OneEntryAtATimeAndTextLimits)
{
    Open(-1, "", 4);
    EXPECT_FALSE(entry.Open(
        host.Get(), nullptr, IBounds(0, 0, 10, 10), 1.f, ITextStyle(), nullptr, -1, 4, "x"));
    Type(entry.GetWindow(), L"abcdef");
    EXPECT_EQ(entry.ReadText(), "abcd");
    entry.Destroy();

    // Non-ASCII text in and out; at most 256 units read back.
    Open(-1, "Caf\xc3\xa9 \xe2\x82\xac", 0);
    EXPECT_EQ(entry.ReadText(), "Caf\xc3\xa9 \xe2\x82\xac");
    entry.Destroy();
    const std::string longText(300, 'x');
    Open(-1, longText.c_str(), 0);
    EXPECT_EQ(entry.ReadText(), std::string(256, 'x'));
}

} // namespace
} // namespace plugkit::canvas::platform
