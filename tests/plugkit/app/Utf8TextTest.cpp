#include "plugkit/app/Utf8Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace plugkit;
using namespace plugkit::app;

namespace
{

std::vector<uint16_t> ToWide(const char* text)
{
    const int32_t units = Utf8ToWide(text, nullptr, 0);
    if (units < 0)
        return {0xDEAD};
    std::vector<Utf16Unit> out(static_cast<size_t>(units));
    EXPECT_EQ(Utf8ToWide(text, out.data(), units), units);
    return std::vector<uint16_t>(out.begin(), out.end());
}

TEST(Utf8Text, DecodesStrictlyToTerminatedUtf16)
{
    struct Case
    {
        const char* utf8;
        std::vector<uint16_t> wide; ///< {0xDEAD} for a refused text
    };
    const std::vector<Case> cases = {
        {"", {0}},
        {"a\xC3\xA9", {'a', 0xE9, 0}},
        {"\xF0\x9F\x8E\xB5", {0xD83C, 0xDFB5, 0}},
        {"\xE0\x80\x80", {0xDEAD}}, // overlong: refused, not replaced
        {"\xE9\x9F", {0xDEAD}},     // cut short
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToWide(c.utf8), c.wide) << c.utf8;

    // A buffer too small receives nothing.
    Utf16Unit small[2] = {'x', 'x'};
    EXPECT_EQ(Utf8ToWide("abc", small, 2), 4);
    EXPECT_EQ(small[0], Utf16Unit('x'));
}

TEST(Utf8Text, EncodesUtf16CutAtACharacterBoundary)
{
    // "a", "é", "音", one surrogate pair: 1 + 2 + 3 + 4 bytes.
    const Utf16Unit wide[] = {'a', 0xE9, 0x97F3, 0xD83C, 0xDFB5, 0};
    const std::string whole = "a\xC3\xA9\xE9\x9F\xB3\xF0\x9F\x8E\xB5";
    for (int32_t size = 1; size <= 12; ++size)
    {
        char out[16];
        std::memset(out, 'z', sizeof(out));
        const int32_t written = WideToUtf8Truncated(wide, out, size);
        // The longest whole-character prefix that leaves room for the NUL.
        const int32_t expected = size > 10 ? 10 : size > 6 ? 6 : size > 3 ? 3 : size > 1 ? 1 : 0;
        EXPECT_EQ(written, expected) << size;
        EXPECT_EQ(std::string(out), whole.substr(0, size_t(expected))) << size;
    }
    const Utf16Unit lone[] = {0xDC00, 'b', 0};
    char out[8];
    WideToUtf8Truncated(lone, out, sizeof(out));
    EXPECT_STREQ(out,
                 "\xEF\xBF\xBD"
                 "b");
}

TEST(Utf8Text, PrefixesNeverEndInsideACharacterAndAreNeverEmpty)
{
    struct Case
    {
        std::string text;
        int32_t maxBytes;
        int32_t length;
    };
    const std::vector<Case> cases = {
        {"abc", 2, 2},
        {"abc", 5, 3},
        {"a\xE9\x9F\xB3", 3, 1},
        {"a\xE9\x9F\xB3", 4, 4},
        {"\xE9\x9F\xB3\xE9\x9F\xB3", 5, 3},
        {"\xE9\x9F\xB3", 2, 2},             // the first character does not fit: cut inside
        {"\x80\x80\x80\x80\x80\x80", 3, 3}, // no character at all: cut where asked
        {"abc", 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8PrefixLength(c.text.c_str(), int32_t(c.text.size()), c.maxBytes), c.length)
            << c.text << " " << c.maxBytes;

    HeapString text("\xC3\xA9\xC3\xA9\xC3\xA9");
    TruncateUtf8(text, 5);
    EXPECT_STREQ(text.Get(), "\xC3\xA9\xC3\xA9");
}

TEST(Utf8Text, WideTextGoesToTheHeapForLongTexts)
{
    WideText text;
    EXPECT_TRUE(text.Assign("\xC3\xA9t\xC3\xA9"));
    EXPECT_EQ(text.Capacity(), WideText::kInlineUnits);
    EXPECT_EQ(text.Get()[0], Utf16Unit(0xE9));
    EXPECT_EQ(text.Get()[3], Utf16Unit(0));

    const std::string longText(3000, 'x');
    EXPECT_TRUE(text.Assign(longText.c_str()));
    EXPECT_GE(text.Capacity(), 3001);
    EXPECT_EQ(text.Get()[2999], Utf16Unit('x'));
    EXPECT_EQ(text.Get()[3000], Utf16Unit(0));

    EXPECT_FALSE(text.Assign("\xC0"));
    EXPECT_EQ(text.Get()[0], Utf16Unit(0));
}

TEST(Utf8Text, MatchesAnsiRendering)
{
    struct Case
    {
        const char* utf8;
        const char* ansi;
        int result;
    };
    const std::vector<Case> cases = {
        {"Line In", "Line In", 0},
        {"Mikro \xE9\x9F\xB3", "Mikro ?", 0}, // a character the code page lacks
        {"Caf\xC3\xA9", "Caf\xE9", 0},        // one the code page has
        {"Caf\xC3\xA9", "Cafe", 1},
        {"Caf\xC3\xA9", "Caf??", 1}, // one character, two bytes
        {"Line In", "Line", 1},
        {"Line", "Line In", 1},
        {"?", "\xE9\x9F\xB3", 1},
        {"Note \xF0\x9F\x8E\xB5!",
         "Note ?"
         "?!",
         0}, // beyond U+FFFF: two UTF-16 units
        {"Note \xF0\x9F\x8E\xB5!", "Note ?!", 0},
        {"Note \xF0\x9F\x8E\xB5", "Note ???", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8MatchesAnsi(c.utf8, c.ansi), c.result) << c.utf8 << " / " << c.ansi;
}

} // namespace
