#include "tests/canvas/TestClock.h"
#include "tests/support/CanvasTestHelpers.h"

#include "canvas/ITextEntryControl.h"
#include "plugkit/IParam.h"

#include <clocale>
#include <cstring>
#include <locale>
#include <string>

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::FakeEditorDelegate;
using lumenfall::test::TestControl;

/// A key press: the virtual key, the text it types, and the modifiers.
IKeyEvent
Key(int vk, const char* utf8 = "", bool shift = false, bool control = false, bool alt = false)
{
    IKeyEvent key;
    key.VK = vk;
    std::strncpy(key.utf8, utf8, sizeof(key.utf8) - 1);
    key.S = shift;
    key.C = control;
    key.A = alt;
    return key;
}

/// The key of an ASCII character on a US keyboard.
IKeyEvent Char(char c)
{
    const char text[2] = {c, 0};
    int vk = c;
    if (c >= 'a' && c <= 'z')
        vk = c - 'a' + 'A';
    else if (c == '.')
        vk = 190;
    else if (c == ',')
        vk = 188;
    else if (c == '-')
        vk = 189;
    else if (c == '+')
        vk = 187;
    return Key(vk, text, c >= 'A' && c <= 'Z');
}

IKeyEvent Ctrl(char letter, bool shift = false)
{
    return Key(letter, "", shift, true);
}

class TextEntryTest : public lumenfall::test::CanvasFixture
{
protected:
    TextEntryTest()
    {
        g.AttachTextEntryControl();
        field = g.GetTextEntryControl();
        AttachGestureControls();
        // A value without a parameter, as the editor's value entries are.
        free = Attach(new TestControl({300, 0, 350, 50}, -1, "free"));
    }

    void Open(TestControl* control, const char* text, int valIdx = 0)
    {
        ITextStyle style;
        style.size = 16.f; // eight units per character on the recording canvas
        g.CreateTextEntry(*control, style, kBox, text, valIdx);
    }
    bool Type(const IKeyEvent& key) { return g.OnKeyDown(0.f, 0.f, key); }
    void TypeText(const char* text)
    {
        for (const char* c = text; *c; ++c)
            Type(Char(*c));
    }
    std::string Text() const { return field->GetEditText(); }

    static constexpr IBounds kBox{0.f, 100.f, 100.f, 120.f};
    lumenfall::test::TestClock clock;
    ITextEntryControl* field = nullptr;
    TestControl* free = nullptr;
};

TEST_F(TextEntryTest, OpensWithEverythingSelectedAndTypingReplacesIt)
{
    Open(time, "12.5");
    EXPECT_TRUE(field->IsEditing());
    EXPECT_EQ(field->GetRECT(), kBox);
    EXPECT_EQ(field->GetSelectionStart(), 0);
    EXPECT_EQ(field->GetSelectionEnd(), 4);
    EXPECT_EQ(field->GetCursor(), 0);
    EXPECT_TRUE(Type(Char('7')));
    EXPECT_EQ(Text(), "7");
    EXPECT_EQ(field->GetCursor(), 1);
    EXPECT_EQ(field->GetSelectionStart(), field->GetSelectionEnd());
}

TEST_F(TextEntryTest, TypedCharactersAreFilteredByTheEditedParameter)
{
    struct Case
    {
        const char* what;
        TestControl* control;
        IKeyEvent key;
        bool typed;
    };
    const Case cases[] = {
        {"double: a letter", time, Char('a'), false},
        {"double: a comma", time, Char(','), false},
        {"double: a full stop", time, Char('.'), true},
        {"double: minus", time, Char('-'), true},
        {"double: plus", time, Char('+'), true},
        {"double: a digit", time, Char('5'), true},
        {"double: a keypad digit without text", time, Key(kVK_NUMPAD0 + 4), true},
        {"double: a digit that needs Shift (AZERTY)", time, Key('1', "1", true), true},
        {"double: the unshifted digit key typing '&' (AZERTY)", time, Key('1', "&"), false},
        {"enumeration: a full stop", mode, Char('.'), false},
        {"enumeration: a digit", mode, Char('3'), true},
        {"enumeration: minus", mode, Char('-'), true},
        {"no parameter: a letter", free, Char('q'), true},
        {"no parameter: a shifted letter", free, Char('Q'), true},
        {"no parameter: AltGr", free, Key('Q', "@", false, true, true), true},
        {"no parameter: a space", free, Key(kVK_SPACE, " "), true},
        {"no parameter: Control with a letter", free, Key('B', "b", false, true), false},
    };
    for (const Case& c : cases)
    {
        Open(c.control, "");
        Type(c.key);
        EXPECT_EQ(!Text().empty(), c.typed) << c.what << ": " << Text();
        field->CancelEntry();
    }
    // No edited control: keys are not taken at all.
    Open(free, "x");
    g.ClearTextEntryOwner();
    EXPECT_FALSE(Type(Char('y')));
    EXPECT_EQ(Text(), "x");
}

TEST_F(TextEntryTest, EditingKeys)
{
    struct Case
    {
        const char* what;
        std::vector<IKeyEvent> keys;
        std::string text;
        int cursor;
        int selectedFrom, selectedTo; ///< -1 for no selection
    };
    const IKeyEvent left = Key(kVK_LEFT), right = Key(kVK_RIGHT), home = Key(kVK_HOME),
                    end = Key(kVK_END);
    const IKeyEvent shiftLeft = Key(kVK_LEFT, "", true), wordLeft = Key(kVK_LEFT, "", false, true);
    const Case cases[] = {
        {"left from the end", {end, left, left}, "12 ms", 3, -1, -1},
        {"home, then right", {home, right}, "12 ms", 1, -1, -1},
        {"shift extends the selection", {end, shiftLeft, shiftLeft}, "12 ms", 3, 3, 5},
        {"control moves by word", {end, wordLeft}, "12 ms", 3, -1, -1},
        {"control moves by word, twice", {end, wordLeft, wordLeft}, "12 ms", 0, -1, -1},
        {"control with end: end of the text",
         {home, Key(kVK_END, "", false, true)},
         "12 ms",
         5,
         -1,
         -1},
        {"backspace", {end, Key(kVK_BACK)}, "12 m", 4, -1, -1},
        {"delete", {home, Key(kVK_DELETE)}, "2 ms", 0, -1, -1},
        {"delete of the selection", {Key(kVK_DELETE)}, "", 0, -1, -1},
        {"insert overwrites", {home, Key(kVK_INSERT), Char('3')}, "32 ms", 1, -1, -1},
        {"up and down move as left and right",
         {home, Key(kVK_DOWN), Key(kVK_DOWN), Key(kVK_UP)},
         "12 ms",
         1,
         -1,
         -1},
        {"page up and down do nothing",
         {home, right, Key(kVK_PRIOR), Key(kVK_NEXT)},
         "12 ms",
         1,
         -1,
         -1},
    };
    for (const Case& c : cases)
    {
        Open(free, "12 ms");
        for (const IKeyEvent& key : c.keys)
            Type(key);
        EXPECT_EQ(Text(), c.text) << c.what;
        EXPECT_EQ(field->GetCursor(), c.cursor) << c.what;
        const int from = std::min(field->GetSelectionStart(), field->GetSelectionEnd());
        const int to = std::max(field->GetSelectionStart(), field->GetSelectionEnd());
        if (c.selectedFrom < 0)
        {
            EXPECT_EQ(from, to) << c.what;
        }
        else
        {
            EXPECT_EQ(from, c.selectedFrom) << c.what;
            EXPECT_EQ(to, c.selectedTo) << c.what;
        }
        field->CancelEntry();
    }
    // A key that changes nothing is not handled; Tab is left to others.
    Open(free, "12");
    Type(home);
    EXPECT_FALSE(Type(Key(kVK_PRIOR)));
    EXPECT_FALSE(Type(Key(kVK_TAB)));
    EXPECT_FALSE(Type(left));
    EXPECT_TRUE(Type(right));
}

TEST_F(TextEntryTest, UndoAndRedo)
{
    Open(free, "12.5");
    Type(Key(kVK_END));
    TypeText("7");
    EXPECT_EQ(Text(), "12.57");
    EXPECT_TRUE(Type(Ctrl('Z')));
    EXPECT_EQ(Text(), "12.5");
    EXPECT_TRUE(Type(Ctrl('Z', true)));
    EXPECT_EQ(Text(), "12.57");
    // Typing over a selection is a deletion and an insertion: two steps back.
    Type(Ctrl('A'));
    TypeText("9");
    Type(Ctrl('Z'));
    EXPECT_EQ(Text(), "");
    Type(Ctrl('Z'));
    EXPECT_EQ(Text(), "12.57");
}

TEST_F(TextEntryTest, ClipboardCommands)
{
    Open(free, "2.5 kHz");
    g.clipboard = "untouched";
    Type(Key(kVK_END));
    EXPECT_TRUE(Type(Ctrl('C'))); // nothing selected: the clipboard stays
    EXPECT_EQ(g.clipboard, "untouched");

    Type(Key(kVK_HOME, "", true)); // select all, backwards
    Type(Ctrl('X'));
    EXPECT_EQ(g.clipboard, "2.5 kHz");
    EXPECT_EQ(Text(), "");

    g.clipboard = "1\n0\t0";
    Type(Ctrl('V'));
    EXPECT_EQ(Text(), "100"); // one line: control characters dropped
    Type(Ctrl('A'));
    Type(Ctrl('C'));
    EXPECT_EQ(g.clipboard, "100");

    // A huge paste is shortened to the field's limit, and typing stops there.
    g.clipboard = std::string(100000, '9');
    Type(Ctrl('V'));
    EXPECT_EQ(Text(), std::string(ITextEntryControl::kMaxLength, '9'));
    EXPECT_FALSE(Type(Char('8')));
}

TEST_F(TextEntryTest, TextConvertsBetweenUtf8AndUtf16)
{
    struct Case
    {
        const char* what;
        const char* typed; ///< one key's text
        const char* text;  ///< the field's text afterwards, in UTF-8
        int units;         ///< UTF-16 units: the cursor after typing
    };
    const Case cases[] = {
        {"two bytes", "\xC3\xA9", "\xC3\xA9", 1},
        {"three bytes", "\xE2\x82\xAC", "\xE2\x82\xAC", 1},
        {"four bytes: a surrogate pair", "\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5", 2},
        {"malformed: the byte is a character", "\xC0", "\xC3\x80", 1},
        {"overlong: its first byte", "\xC0\xAF", "\xC3\x80", 1},
    };
    for (const Case& c : cases)
    {
        Open(free, "");
        Type(Key('K', c.typed));
        EXPECT_EQ(Text(), c.text) << c.what;
        EXPECT_EQ(field->GetCursor(), c.units) << c.what;
        field->CancelEntry();
    }
    // Opening text in either form reads back as UTF-8; a five-byte form is one '_'.
    Open(free,
         "a\xF0\x9F\x8E\xB5"
         "b\xF8\x88\x80\x80\x80"
         "c");
    EXPECT_EQ(Text(),
              "a\xF0\x9F\x8E\xB5"
              "b_c");
    EXPECT_EQ(field->GetSelectionEnd(), 6);
    // Backspace after a pair leaves half of it; the text out is still valid UTF-8.
    Open(free, "\xF0\x9F\x8E\xB5");
    Type(Key(kVK_END));
    Type(Key(kVK_BACK));
    EXPECT_EQ(Text(), "\xEF\xBF\xBD");
}

TEST_F(TextEntryTest, CaretBlinksOnTheInjectedClock)
{
    Open(free, "12");
    Type(Key(kVK_END));
    struct Step
    {
        double atMs; ///< since opening
        bool visible;
    };
    const Step steps[] = {{0, true},
                          {400, true},
                          {600, false},
                          {990, false},
                          {1010, true},
                          {1400, true},
                          {1600, false}};
    const double start = clock.NowMs();
    for (const Step& step : steps)
    {
        clock.Set(start + step.atMs);
        Frame();
        EXPECT_EQ(field->IsCaretVisible(), step.visible) << step.atMs;
    }
    // A mouse release restarts the blink with the caret shown.
    Press(10, 110);
    Release(10, 110);
    EXPECT_TRUE(field->IsCaretVisible());
    clock.Advance(600);
    Frame();
    EXPECT_FALSE(field->IsCaretVisible());
}

TEST_F(TextEntryTest, DrawsBackgroundSelectionTextAndCaret)
{
    Open(free, "ab"); // 16 units wide, centred in 0..100: the text starts at 42
    EXPECT_EQ(field->GetTextLeft(), 42.f);
    Frame();
    const auto fills = [&] { return g.LinesStartingWith("PathFill"); };
    const auto rects = [&] { return g.LinesStartingWith("PathMoveTo"); };
    // Background (white), then the selection in the entry text colour at weight 0.2.
    ASSERT_EQ(fills().size(), 2u);
    EXPECT_EQ(fills()[0], "PathFill solid 255 255 255 255 rule 0");
    EXPECT_EQ(fills()[1], "PathFill solid 255 0 0 0 rule 0 blend 0 0.2");
    EXPECT_EQ(rects()[1], "PathMoveTo 42 103.6"); // row 102..118, inset by a tenth of its height
    EXPECT_EQ(g.Count("DrawText ab 255 0 0 0 0 100 100 120"), 1);

    // The caret instead of a selection: one unit wide, left of the cursor's position.
    Type(Key(kVK_END));
    Frame();
    ASSERT_EQ(fills().size(), 2u);
    EXPECT_EQ(fills()[1], "PathFill solid 255 0 0 0 rule 0");
    EXPECT_EQ(rects()[1], "PathMoveTo 57 103.6");

    // Closed: nothing is drawn, nothing is hit.
    field->CancelEntry();
    g.ClearLog();
    field->Draw(g);
    EXPECT_TRUE(g.Log().empty());
    EXPECT_EQ(field->GetRECT(), IBounds());
    EXPECT_FALSE(field->IsHit(10, 110));
}

TEST_F(TextEntryTest, MouseMovesTheCaretAndSelects)
{
    Open(free, "abcd"); // characters at 34, 42, 50, 58 .. 66
    Press(43, 110);     // nearest boundary: after the first character
    EXPECT_EQ(field->GetCursor(), 1);
    EXPECT_EQ(field->GetSelectionStart(), field->GetSelectionEnd());
    Drag(59, 110, 16, 0);
    EXPECT_EQ(field->GetSelectionStart(), 1);
    EXPECT_EQ(field->GetSelectionEnd(), 3);
    Release(63, 110);
    EXPECT_EQ(field->GetSelectionEnd(), 4);
    g.OnMouseDblClick(50, 110, Left());
    EXPECT_EQ(field->GetSelectionStart(), 0);
    EXPECT_EQ(field->GetSelectionEnd(), 4);

    // The right button's menu acts on a real choice only, and forgets it.
    g.clipboard = "Z";
    g.SetMenuChoice(1); // "Copy"
    Press(50, 110, Right());
    ASSERT_NE(g.LastMenu(), nullptr);
    EXPECT_EQ(g.LastMenu()->NItems(), 3);
    EXPECT_STREQ(g.LastMenu()->GetItemText(2), "Paste");
    EXPECT_EQ(g.clipboard, "abcd");
    EXPECT_EQ(g.LastMenu()->GetChosenItemIdx(), -1);
    g.clipboard = "Z";
    g.SetMenuChoice(-1); // dismissed
    Press(50, 110, Right());
    EXPECT_EQ(g.clipboard, "Z");
    EXPECT_EQ(Text(), "abcd");
    g.SetMenuChoice(2); // "Paste" over the selection
    Press(50, 110, Right());
    EXPECT_EQ(Text(), "Z");
}

TEST_F(TextEntryTest, AClosedFieldIgnoresEverything)
{
    Open(free, "5");
    field->CancelEntry();
    field->OnMouseDown(10, 110, Left());
    field->OnMouseDblClick(10, 110, Left());
    field->OnMouseUp(10, 110, Left());
    EXPECT_FALSE(field->OnKeyDown(0, 0, Char('1')));
    EXPECT_FALSE(field->IsEditing());
    EXPECT_EQ(free->lastTypedText, "");
    // The blink ends with it: no caret comes back and the field is not kept dirty.
    clock.Advance(2000);
    Frame();
    EXPECT_FALSE(field->IsCaretVisible());
    EXPECT_FALSE(field->IsDirty());
}

// ---- Value entry end to end, through the canvas

TEST_F(TextEntryTest, ReturnDeliversTheTypedValueEscapeNothing)
{
    time->onMouseDown = [](TestControl& c) { c.PromptUserInput(0); };
    Press(220, 20); // opens the entry with the value's text
    Release(220, 20);
    EXPECT_EQ(g.GetTextEntryOwner(), time);
    EXPECT_EQ(Text(), "25.0");
    EXPECT_EQ(field->GetSelectionEnd(), 4);
    TypeText("40");
    dlg.ClearHostEvents();
    EXPECT_TRUE(Type(Key(kVK_RETURN)));
    EXPECT_FALSE(field->IsEditing());
    EXPECT_DOUBLE_EQ(dlg.GetParam(FakeEditorDelegate::kTime)->Value(), 40.0);
    EXPECT_EQ(dlg.CountOf(FakeEditorDelegate::HostEvent::Perform, FakeEditorDelegate::kTime), 1);
    EXPECT_TRUE(dlg.GesturesBalanced());

    Press(220, 20);
    Release(220, 20);
    TypeText("90");
    dlg.ClearHostEvents();
    Type(Key(kVK_ESCAPE));
    EXPECT_EQ(g.GetTextEntryOwner(), nullptr);
    EXPECT_DOUBLE_EQ(dlg.GetParam(FakeEditorDelegate::kTime)->Value(), 40.0);
    EXPECT_TRUE(dlg.HostEvents().empty());

    // A press outside the field commits it.
    Press(220, 20);
    Release(220, 20);
    TypeText("60");
    Press(380, 280);
    EXPECT_FALSE(field->IsEditing());
    EXPECT_DOUBLE_EQ(dlg.GetParam(FakeEditorDelegate::kTime)->Value(), 60.0);
}

TEST_F(TextEntryTest, TypedTextThatIsNoValueLeavesTheParameter)
{
    struct Case
    {
        const char* text;
        double time; ///< the value afterwards (it starts at 40)
    };
    const Case cases[] = {
        {"75", 75.0},
        {" +12.5 ", 12.5},
        {"30 ms", 30.0},
        {"31MS", 31.0},
        {"1e1", 10.0},
        {".5", 0.5},
        {"1000", 100.0}, // beyond the range: held to it
        {"", 40.0},
        {"abc", 40.0},
        {"12x", 40.0},
        {"12 s", 40.0},
        {"1,5", 40.0},
        {"inf", 40.0},
        {"nan", 40.0},
        {"1e999", 40.0},
        {"0x10", 40.0},
    };
    for (const Case& c : cases)
    {
        dlg.GetParam(FakeEditorDelegate::kTime)->Set(40.0);
        time->SetValueFromDelegate(0.4);
        Open(time, "");
        field->SetEditText(c.text);
        Type(Key(kVK_RETURN));
        EXPECT_DOUBLE_EQ(dlg.GetParam(FakeEditorDelegate::kTime)->Value(), c.time) << c.text;
    }
    // A switch's display text, or its number.
    Open(mode, "");
    field->SetEditText("D");
    Type(Key(kVK_RETURN));
    EXPECT_DOUBLE_EQ(dlg.GetParam(FakeEditorDelegate::kMode)->Value(), 3.0);
    Open(mode, "");
    field->SetEditText("1");
    Type(Key(kVK_RETURN));
    EXPECT_DOUBLE_EQ(dlg.GetParam(FakeEditorDelegate::kMode)->Value(), 1.0);
    // Without a parameter the control gets the text as it is.
    Open(free, "");
    field->SetEditText("2.5 kHz");
    Type(Key(kVK_RETURN));
    EXPECT_EQ(free->lastTypedText, "2.5 kHz");
}

/// Puts the C++ locale, and the C locale where the machine has one, to a decimal comma for its
/// lifetime.
class DecimalCommaLocale
{
public:
    DecimalCommaLocale()
        : mSavedC(std::setlocale(LC_ALL, nullptr))
        , mSavedCpp(std::locale::global(std::locale(std::locale::classic(), new Comma)))
    {
        // Wine has every Windows locale; Debian has only those generated.
        for (const char* name :
             {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252", "German", "de-DE"})
            if (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',')
            {
                mC = name;
                return;
            }
        std::setlocale(LC_ALL, mSavedC.c_str());
    }
    ~DecimalCommaLocale()
    {
        std::setlocale(LC_ALL, mSavedC.c_str());
        std::locale::global(mSavedCpp);
    }
    /// The C locale chosen; null when none with a comma could be set.
    const char* CLocale() const { return mC; }

private:
    struct Comma : std::numpunct<char>
    {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    std::string mSavedC;
    std::locale mSavedCpp;
    const char* mC = nullptr;
};

TEST_F(TextEntryTest, ValuesShowAndReadAlikeUnderADecimalCommaLocale)
{
    const DecimalCommaLocale comma;
    // The field opens with the value's text, and that text and typed values read as in any other
    // locale.
    time->onMouseDown = [](TestControl& c) { c.PromptUserInput(0); };
    Press(220, 20);
    Release(220, 20);
    EXPECT_EQ(Text(), "25.0");
    Type(Key(kVK_RETURN));
    EXPECT_DOUBLE_EQ(dlg.GetParam(FakeEditorDelegate::kTime)->Value(), 25.0);
    const struct
    {
        const char* text;
        double time;
    } cases[] = {
        {"60.5", 60.5}, {"12.25 ms", 12.25}, {"1e1", 10.0}, {"1,5", 10.0}}; // the last refused
    for (const auto& c : cases)
    {
        Open(time, "");
        field->SetEditText(c.text);
        Type(Key(kVK_RETURN));
        EXPECT_DOUBLE_EQ(dlg.GetParam(FakeEditorDelegate::kTime)->Value(), c.time) << c.text;
    }
    // The parameter's own reading, which the host's typed values take, agrees.
    EXPECT_DOUBLE_EQ(dlg.GetParam(FakeEditorDelegate::kTime)->StringToValue("60.5 ms"), 60.5);
    if (!comma.CLocale())
        GTEST_SKIP() << "no C locale with a decimal comma here (none is generated): checked "
                        "under a C++ locale with a comma only";
}

} // namespace
