#include "canvas/platform/window/WindowLogic.h"

#include "plugkit/IParam.h"

#include <gtest/gtest.h>

#include <string>

namespace plugkit::canvas::platform
{
namespace
{

TEST(FramePacing, TimerPeriodFollowsTheFrameRate)
{
    const struct
    {
        int fps;
        int period;
    } cases[] = {
        {30, 33}, {60, 15}, {45, 22}, {50, 20}, {51, 15}, {1, 1000}, {0, 15}, {-5, 15}, {1001, 15}};
    for (const auto& c : cases)
        EXPECT_EQ(DisplayTimerPeriodMs(c.fps), c.period) << c.fps << " fps";
}

TEST(FramePacing, StaleAndSkippedTicksLeaveOnePaint)
{
    // Counts 7 and 8 both queued while the thread has counted 8: only the second paints.
    int skip = 0;
    EXPECT_EQ(DecideVBlankTick(skip, 8, 7), TickAction::Stale);
    EXPECT_EQ(DecideVBlankTick(skip, 8, 8), TickAction::Run);

    // A paint that began at blank 8 and ended after blank 9 waits for blank 10.
    skip = SkipUntilAfterPaint(8, 9);
    EXPECT_EQ(skip, 10);
    EXPECT_EQ(DecideVBlankTick(skip, 9, 9), TickAction::Skip);
    EXPECT_EQ(skip, 10);
    EXPECT_EQ(DecideVBlankTick(skip, 10, 10), TickAction::Run);
    EXPECT_EQ(skip, 0);

    // A paint within one blank asks for no skip.
    EXPECT_EQ(SkipUntilAfterPaint(12, 12), 0);
}

TEST(WindowInput, WheelDeltaCountsWholeNotches)
{
    const struct
    {
        int16_t raw;
        float notches;
    } cases[] = {{120, 1.f}, {-240, -2.f}, {60, 0.f}, {-119, 0.f}, {239, 1.f}, {-32768, -273.f}};
    for (const auto& c : cases)
        EXPECT_EQ(WheelNotches(c.raw), c.notches) << c.raw;
}

TEST(WindowInput, MouseModifiersAndPenSignature)
{
    const IMouseModifiers mod = MouseModifiersFromWParam(0x0001 | 0x0004 | 0x0008, true);
    EXPECT_TRUE(mod.L);
    EXPECT_FALSE(mod.R);
    EXPECT_TRUE(mod.S);
    EXPECT_TRUE(mod.C);
    EXPECT_TRUE(mod.A);
    EXPECT_TRUE(MouseModifiersFromWParam(0x0002, false).R);

    EXPECT_TRUE(IsPenOrTouchExtraInfo(0xFF515700));
    EXPECT_TRUE(IsPenOrTouchExtraInfo(0xFF515780)); // touch
    EXPECT_FALSE(IsPenOrTouchExtraInfo(0));
    EXPECT_FALSE(IsPenOrTouchExtraInfo(0xFF515600));
}

TEST(WindowInput, KeyTextIsUtf8OfOneCharacter)
{
    char text[5];
    const WideChar a[] = {u'a'};
    ASSERT_TRUE(KeyTextFromUnicode(1, a, text));
    EXPECT_STREQ(text, "a");

    const WideChar eAcute[] = {u'\u00e9'};
    ASSERT_TRUE(KeyTextFromUnicode(1, eAcute, text));
    EXPECT_STREQ(text, "\xc3\xa9");

    const WideChar euro[] = {u'\u20ac'};
    ASSERT_TRUE(KeyTextFromUnicode(1, euro, text));
    EXPECT_STREQ(text, "\xe2\x82\xac");

    const WideChar emoji[] = {0xD83D, 0xDE00}; // U+1F600, one character in two units
    ASSERT_TRUE(KeyTextFromUnicode(2, emoji, text));
    EXPECT_STREQ(text, "\xf0\x9f\x98\x80");

    ASSERT_TRUE(KeyTextFromUnicode(0, nullptr, text));
    EXPECT_STREQ(text, "");

    const WideChar two[] = {u'`', u'a'}; // a dead key followed by a letter it cannot take
    EXPECT_FALSE(KeyTextFromUnicode(2, two, text));
    EXPECT_FALSE(KeyTextFromUnicode(-1, a, text)); // a dead key
}

TEST(PaintRegions, PixelsWidenOutwardToEditorUnits)
{
    // Editor units from device pixels: left and top down, right and bottom up.
    const IBounds b = PixelRectToBounds({3, 4, 10, 11}, 1.5f);
    EXPECT_EQ(b.L, 2.f);
    EXPECT_EQ(b.T, 2.f);
    EXPECT_EQ(b.R, 7.f);
    EXPECT_EQ(b.B, 8.f);

    const PixelRect p = BoundsToPixelRect(IBounds(1.1f, 2.f, 3.1f, 4.5f), 2.f);
    EXPECT_EQ(p.left, 2);
    EXPECT_EQ(p.top, 4);
    EXPECT_EQ(p.right, 7);
    EXPECT_EQ(p.bottom, 9);
}

TEST(PaintRegions, EveryRegionRectangleOrTheBoundingBox)
{
    const PixelRect rects[] = {{0, 0, 10, 10}, {20, 20, 30, 40}};
    const PixelRect box{0, 0, 30, 40};

    DirtyRectList each;
    CollectPaintBounds(rects, 2, box, 2.f, each);
    ASSERT_EQ(each.Size(), 2);
    EXPECT_EQ(each.Get(1).L, 10.f);
    EXPECT_EQ(each.Get(1).B, 20.f);

    DirtyRectList boxed; // the region's data did not fit
    CollectPaintBounds(nullptr, 0, box, 2.f, boxed);
    ASSERT_EQ(boxed.Size(), 1);
    EXPECT_EQ(boxed.Get(0).R, 15.f);
    EXPECT_EQ(boxed.Get(0).B, 20.f);
}

TEST(Touch, DownMoveAndUpInOneMessage)
{
    TouchMap map;
    TouchBatch batch;
    // Screen hundredths; the client origin is at screen (100, 50); total scale 2.
    const TouchEntry first[] = {
        {7, 30000, 15000, TouchEntry::kDown, TouchEntry::kMaskContactArea, 900},
        {8, 20000, 9000, TouchEntry::kDown, 0, 900},
    };
    ProcessTouchEntries(first, 2, 100, 50, 2.f, map, batch);
    ASSERT_EQ(batch.down.size(), 2u);
    EXPECT_EQ(batch.down[0].x, 100.f);
    EXPECT_EQ(batch.down[0].y, 50.f);
    EXPECT_EQ(batch.down[0].ms.touchID, 7);
    EXPECT_EQ(batch.down[0].ms.touchRadius, 900.f);
    EXPECT_EQ(batch.down[1].ms.touchRadius, 0.f);
    EXPECT_FALSE(batch.down[0].ms.L);
    EXPECT_EQ(map.size(), 2u);

    batch.Clear();
    const TouchEntry second[] = {
        {7, 30400, 15200, TouchEntry::kMove, 0, 0}, // moved 4, 2 pixels: 2, 1 units
        {8, 20000, 9000, TouchEntry::kUp, 0, 0},
        {9, 10000, 10000, TouchEntry::kMove, 0, 0}, // never went down
    };
    ProcessTouchEntries(second, 3, 100, 50, 2.f, map, batch);
    ASSERT_EQ(batch.moves.size(), 2u);
    EXPECT_EQ(batch.moves[0].dX, 2.f);
    EXPECT_EQ(batch.moves[0].dY, 1.f);
    EXPECT_EQ(batch.moves[1].dX, 0.f);
    EXPECT_EQ(batch.moves[1].dY, 0.f);
    ASSERT_EQ(batch.up.size(), 1u);
    EXPECT_EQ(batch.up[0].ms.touchID, 8);
    EXPECT_EQ(map.count(8), 0u);
    EXPECT_EQ(map.count(7), 1u);
}

TEST(Touch, MultiTouchNeedsTheMultiInputBitNotTheReadyBit)
{
    struct Case
    {
        int flags;
        bool multi;
    };
    // Bits of SM_DIGITIZER: 0x01 integrated touch, 0x40 multi-input, 0x80 ready.
    const Case cases[] = {{0x00, false}, {0x80, false}, {0x81, false}, {0x40, true}, {0xC1, true}};
    for (const Case& c : cases)
        EXPECT_EQ(DigitizerTakesMultiTouch(c.flags), c.multi) << std::hex << c.flags;
}

TEST(Touch, IdHashIsFnv1aOfTheIdBytes)
{
    // FNV-1a of the bytes 01 00 00 00 00 00 00 00 (the id 1, little-endian).
    EXPECT_EQ(static_cast<uint64_t>(TouchIdHash{}(1)), 0x89cd31291d2aefa4ull);
}

TEST(NativeMenus, ItemTextsAreNumberedCutAndEscaped)
{
    using P = IPopupMenu::EPrefix;
    const std::string fifty(50, 'x');
    const std::string sixty(60, 'a');
    const struct
    {
        const char* text;
        int index;
        P prefix;
        std::string shown;
    } cases[] = {
        {"Hall", 0, P::None, "Hall"},
        {"Hall", 0, P::OneDigit, "1: Hall"},
        {"Hall", 1, P::TwoDigits, "02: Hall"},
        {"Hall", 2, P::ThreeDigits, "003: Hall"},
        {"Rock & Roll", 0, P::None, "Rock && Roll"},
        {"A&B", 3, P::TwoDigits, "04: A&&B"},
        {fifty.c_str(), 0, P::TwoDigits, "01: " + std::string(46, 'x')},
        {nullptr, 0, P::OneDigit, "1: "},
        {sixty.c_str(), 9, P::OneDigit, "10: " + std::string(46, 'a')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NativeMenuItemText(c.text, c.index, c.prefix), c.shown) << c.shown;

    // Cut after 50 characters, never inside one: 46 two-byte letters fit after "01: ".
    std::string accented;
    for (int i = 0; i < 60; ++i)
        accented += "\xc3\xa9";
    const std::string shown = NativeMenuItemText(accented.c_str(), 0, P::TwoDigits);
    EXPECT_EQ(shown.size(), 4u + 46u * 2u);
    EXPECT_EQ(shown.substr(shown.size() - 2), "\xc3\xa9");
}

TEST(NativeMenus, ColumnBreaks)
{
    std::string breaks;
    for (int i = 0; i < 25; ++i)
        if (NativeMenuColumnBreak(25, 10, i))
            breaks += std::to_string(i) + " ";
    EXPECT_EQ(breaks, "10 20 ");
    EXPECT_FALSE(NativeMenuColumnBreak(1280, 10, 10));
    EXPECT_TRUE(NativeMenuColumnBreak(1279, 10, 10));
    EXPECT_FALSE(NativeMenuColumnBreak(25, 0, 10));
}

TEST(NativeMenus, IdsRunOverTheTree)
{
    // Three items, the second opening a two-item submenu that has a submenu of its own.
    IPopupMenu root("", {"a", "b", "c"});
    auto* sub = new IPopupMenu("", {"b1", "b2"});
    auto* subsub = new IPopupMenu("", {"x"});
    sub->GetItem(0)->SetSubmenu(subsub);
    root.GetItem(1)->SetSubmenu(sub);

    const struct
    {
        int id;
        IPopupMenu* menu;
        int index;
    } cases[] = {{0, &root, 0},
                 {2, &root, 2},
                 {3, sub, 0},
                 {4, sub, 1},
                 {5, subsub, 0},
                 {6, nullptr, -1},
                 {-1, nullptr, -1}};
    for (const auto& c : cases)
    {
        int index = -1;
        int offset = 0;
        EXPECT_EQ(FindMenuItemById(c.id, index, offset, root), c.menu) << c.id;
        if (c.menu != nullptr)
        {
            EXPECT_EQ(index, c.index) << c.id;
        }
    }
}

TEST(NativeTextEntryFilter, CharactersByParameterType)
{
    const std::u16string typed = u"-1.5e3+ ";
    const struct
    {
        int type;
        std::u16string kept;
    } cases[] = {
        {IParam::kTypeDouble, u"-1.53+"},
        {IParam::kTypeEnum, u"-153+"},
        {IParam::kTypeBool, u"-153+"},
        {2, u"-153+"},
        {IParam::kTypeNone, typed},
        {-1, typed},
    };
    for (const auto& c : cases)
    {
        std::u16string kept;
        for (char16_t ch : typed)
        {
            if (TextEntryAcceptsChar(c.type, ch))
                kept += ch;
        }
        EXPECT_EQ(kept, c.kept) << c.type;
        EXPECT_TRUE(TextEntryAcceptsChar(c.type, u'\b'));
    }
}

} // namespace
} // namespace plugkit::canvas::platform
