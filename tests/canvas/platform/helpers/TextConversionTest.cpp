#include "canvas/platform/helpers/TextConversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using namespace plugkit::canvas::platform;
using Units = std::vector<uint16_t>;

Units ToUtf16(const std::string& text, EMalformedUtf8 policy, int32_t* result = nullptr)
{
    const int32_t n = Utf8ToUtf16(text.data(), int32_t(text.size()), nullptr, 0, policy);
    if (result)
        *result = n;
    if (n < 0)
        return {};
    std::vector<WideChar> wide(size_t(n) + 1);
    EXPECT_EQ(Utf8ToUtf16(text.data(), int32_t(text.size()), wide.data(), n, policy), n);
    return Units(wide.begin(), wide.begin() + n);
}

std::string ToUtf8(const Units& units)
{
    const std::vector<WideChar> wide(units.begin(), units.end());
    const int32_t n = Utf16ToUtf8(wide.data(), int32_t(wide.size()), nullptr, 0);
    std::string out(size_t(n), '\0');
    EXPECT_EQ(Utf16ToUtf8(wide.data(), int32_t(wide.size()), out.data(), n), n);
    return out;
}

TEST(TextConversion, Utf8ToUtf16UnderEachPolicy)
{
    constexpr uint16_t R = 0xFFFD;
    struct Case
    {
        const char* what;
        std::string utf8;
        Units replaced; ///< EMalformedUtf8::Replace
        Units latin1;   ///< EMalformedUtf8::Latin1
        bool refused;   ///< EMalformedUtf8::Refuse fails
    };
    const Case cases[] = {
        {"ASCII", "A1.", {'A', '1', '.'}, {'A', '1', '.'}, false},
        {"two bytes", "\xC3\xA9", {0xE9}, {0xE9}, false},
        {"three bytes", "\xE2\x82\xAC", {0x20AC}, {0x20AC}, false},
        {"four bytes: a surrogate pair",
         "\xF0\x9F\x98\x80",
         {0xD83D, 0xDE00},
         {0xD83D, 0xDE00},
         false},
        {"highest code point", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}, {0xDBFF, 0xDFFF}, false},
        {"lone lead", "\xC0", {R}, {0xC0}, true},
        {"lone continuation", "a\x80", {'a', R}, {'a', 0x80}, true},
        {"overlong slash", "\xC0\xAF", {R, R}, {0xC0, 0xAF}, true},
        {"overlong three bytes", "\xE0\x80\x80", {R, R, R}, {0xE0, 0x80, 0x80}, true},
        {"overlong four bytes", "\xF0\x80\x80\x80", {R, R, R, R}, {0xF0, 0x80, 0x80, 0x80}, true},
        {"encoded surrogate", "\xED\xA0\x80", {R, R, R}, {0xED, 0xA0, 0x80}, true},
        {"above U+10FFFF", "\xF4\x90\x80\x80", {R, R, R, R}, {0xF4, 0x90, 0x80, 0x80}, true},
        {"truncated before ASCII",
         "\xE2\x82"
         "A",
         {R, R, 'A'},
         {0xE2, 0x82, 'A'},
         true},
        {"truncated at the end", "x\xF0\x9F\x98", {'x', R, R, R}, {'x', 0xF0, 0x9F, 0x98}, true},
        {"five-byte form", "\xF8\x88\x80\x80\x80", Units(5, R), {'_'}, true},
        {"six-byte form",
         "\xFC\x84\x80\x80\x80\x80"
         "b",
         {R, R, R, R, R, R, 'b'},
         {'_', 'b'},
         true},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(ToUtf16(c.utf8, EMalformedUtf8::Replace), c.replaced) << c.what;
        EXPECT_EQ(ToUtf16(c.utf8, EMalformedUtf8::Latin1), c.latin1) << c.what;
        int32_t refused = 0;
        ToUtf16(c.utf8, EMalformedUtf8::Refuse, &refused);
        EXPECT_EQ(refused < 0, c.refused) << c.what;
        // Whatever came in, what goes back out is valid UTF-8.
        for (EMalformedUtf8 policy : {EMalformedUtf8::Replace, EMalformedUtf8::Latin1})
            EXPECT_GE(ClassifyUtf8(ToUtf8(ToUtf16(c.utf8, policy)).c_str()), 0) << c.what;
    }
}

TEST(TextConversion, Utf16ToUtf8JoinsPairsAndReplacesLoneSurrogates)
{
    struct Case
    {
        Units utf16;
        std::string utf8;
    };
    const Case cases[] = {
        {{'a', 0xE9, 0x20AC}, "a\xC3\xA9\xE2\x82\xAC"},
        {{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
        {{0xD800}, "\xEF\xBF\xBD"},
        {{0xDC00, 'x'},
         "\xEF\xBF\xBD"
         "x"},
        {{0xD83D, 'A'},
         "\xEF\xBF\xBD"
         "A"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToUtf8(c.utf16), c.utf8);
}

TEST(TextConversion, PartialOutputNeverSplitsACharacter)
{
    WideChar wide[4] = {9, 9, 9, 9};
    // "a" then a pair: one unit of room takes only the "a", and the count is still the whole.
    EXPECT_EQ(Utf8ToUtf16("a\xF0\x9F\x98\x80", -1, wide, 2, EMalformedUtf8::Replace), 3);
    EXPECT_EQ(wide[0], 'a');
    EXPECT_EQ(wide[1], 9);

    const WideChar euro[] = {'a', 0x20AC, 0};
    char bytes[4] = {9, 9, 9, 9};
    EXPECT_EQ(Utf16ToUtf8(euro, -1, bytes, 3), 4);
    EXPECT_EQ(bytes[0], 'a');
    EXPECT_EQ(bytes[1], 9);
}

TEST(TextConversion, WideBuffersAndStrings)
{
    plugkit::HeapBuffer buffer;
    const WideChar* wide = Utf8ToWideBuffer("Gr\xC3\xBC\xC3\x9F"
                                            "e",
                                            buffer);
    EXPECT_EQ(Units(wide, wide + 6), (Units{'G', 'r', 0xFC, 0xDF, 'e', 0}));
    EXPECT_EQ(Utf8ToWideBuffer(nullptr, buffer)[0], 0);

    const WideChar* upper = Utf8ToUpperWideBuffer("svg", buffer);
    EXPECT_EQ(Units(upper, upper + 4), (Units{'S', 'V', 'G', 0}));

    plugkit::HeapString text("old");
    const WideChar pair[] = {'x', 0xD83D, 0xDE00, 0};
    WideToUtf8(pair, text);
    EXPECT_STREQ(text.Get(), "x\xF0\x9F\x98\x80");
    WideToUtf8(nullptr, text);
    EXPECT_STREQ(text.Get(), "");
}

TEST(TextConversion, ClassifyUtf8)
{
    struct Case
    {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {nullptr, 0},
        {"", 0},
        {"abc", 0},
        {"caf\xC3\xA9", 1},
        {"\xE2\x82\xAC and \xF0\x9F\x98\x80", 1},
        {"\xC0", -1},
        {"\xC1\xBF", -1},
        {"\xE0\x80\x80", -1},
        {"\xE0\xA0\x80", 1},
        {"\xF0\x80\x80\x80", -1},
        {"\xF0\x90\x80\x80", 1},
        {"\xC3", -1},
        {"\xE2\x82", -1},
        {"\x80", -1},
        {"\xF8\x88\x80\x80\x80", -1},
        {"\xFF", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyUtf8(c.text), c.expected) << (c.text ? c.text : "(null)");
}

TEST(TextConversion, MakeExtendedLengthPath)
{
    const auto widen = [](const std::string& s)
    {
        std::vector<WideChar> w(s.begin(), s.end());
        w.resize(s.size() + 8, 0); // the terminator and the room the call may use
        return w;
    };
    const auto narrow = [](const std::vector<WideChar>& w)
    {
        std::string s;
        for (size_t i = 0; i < w.size() && w[i]; ++i)
            s += char(w[i]);
        return s;
    };
    const std::string body(290, 'd');
    struct Case
    {
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {"C:/music/" + body, "\\\\?\\C:\\music\\" + body},
        {"\\\\server/share/" + body, "\\\\?\\UNC\\server\\share\\" + body},
        {"relative/" + body, "relative/" + body},
        {"C:/" + std::string(252, 'e'), "C:/" + std::string(252, 'e')}, // 255 characters
        {"", ""},
        // Paths already in the extended or the device namespace stay as they are.
        {"\\\\?\\C:\\" + body, "\\\\?\\C:\\" + body},
        {"\\\\?\\UNC\\server\\" + body, "\\\\?\\UNC\\server\\" + body},
        {"\\\\.\\pipe\\" + body, "\\\\.\\pipe\\" + body},
    };
    for (const Case& c : cases)
    {
        std::vector<WideChar> path = widen(c.path);
        MakeExtendedLengthPath(path.data());
        EXPECT_EQ(narrow(path), c.expected) << c.path.substr(0, 20);
    }
    MakeExtendedLengthPath(nullptr);
}

} // namespace
