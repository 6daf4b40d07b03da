#include "canvas/ITextEntryControl.h"

#include "canvas/ICanvas.h"
#include "canvas/IPopupMenu.h"
#include "plugkit/HeapString.h"
#include "plugkit/IEditorDelegate.h"
#include "plugkit/IParam.h"
#include "plugkit/Rounding.h"

#include <algorithm>
#include <cstring>

// stb_textedit in single-line mode over the control's UTF-16 text. Key codes: a character is its
// code point; keys without a character are the virtual key with kSpecialKey set; Shift, Control
// and Alt add their bits.
namespace plugkit::canvas
{
namespace
{
constexpr unsigned int kSpecialKey = 0x80000000u;
constexpr unsigned int kShiftBit = 0x40000000u;
constexpr unsigned int kControlBit = 0x20000000u;
constexpr unsigned int kAltBit = 0x10000000u;
/// Codes no key produces: page up and page down have no meaning in one line.
constexpr unsigned int kUnusedPageUp = kSpecialKey | 0x0F000000u | kVK_PRIOR;
constexpr unsigned int kUnusedPageDown = kSpecialKey | 0x0F000000u | kVK_NEXT;

/// The character a key code inserts, -1 for none: special keys, Control shortcuts (but not
/// AltGr, which is Control with Alt) and control characters insert nothing.
int KeyToText(unsigned int key)
{
    if ((key & kSpecialKey) || ((key & kControlBit) && !(key & kAltBit)))
        return -1;
    const unsigned int c = key & 0x001FFFFFu;
    return (c >= 0x20 && c < 0x10000) ? static_cast<int>(c) : -1;
}
} // namespace

} // namespace plugkit::canvas

// The library's types first (its header part), then what it asks of the field, then its code.
#define STB_TEXTEDIT_CHARTYPE plugkit::canvas::platform::WideChar
#define STB_TEXTEDIT_POSITIONTYPE int
#include <stb_textedit.h>

namespace plugkit::canvas
{
struct ITextEntryControl::EditState
{
    STB_TexteditState stb;
};

/// What stb_textedit asks of the field.
struct TextEditAccess
{
    static int Length(const ITextEntryControl* field) { return int(field->mUtf16.size()); }

    static platform::WideChar Char(const ITextEntryControl* field, int i)
    {
        return (i >= 0 && i < Length(field)) ? field->mUtf16[size_t(i)] : platform::WideChar(0);
    }

    static float Width(const ITextEntryControl* field, int start, int i)
    {
        const size_t k = size_t(start + i);
        return k < field->mCharWidths.size() ? field->mCharWidths[k] : 0.f;
    }

    /// One row holds the whole text.
    static void Layout(StbTexteditRow* row, const ITextEntryControl* field, int start)
    {
        row->x0 = field->GetTextLeft();
        row->x1 = row->x0 + field->WidthBefore(Length(field));
        row->baseline_y_delta = 1.25f * field->GetText().size;
        row->ymin = field->RowTop();
        row->ymax = row->ymin + field->GetText().size;
        row->num_chars = Length(field) - start;
    }

    static void Delete(ITextEntryControl* field, int i, int n)
    {
        field->mUtf16.erase(size_t(i), size_t(n));
        ++field->mChanges;
        field->MeasureCharacters();
    }

    static int Insert(ITextEntryControl* field, int i, const platform::WideChar* chars, int n)
    {
        if (Length(field) + n > ITextEntryControl::kMaxLength)
            return 0;
        field->mUtf16.insert(size_t(i), chars, size_t(n));
        ++field->mChanges;
        field->MeasureCharacters();
        return 1;
    }
};

} // namespace plugkit::canvas

#define STB_TEXTEDIT_KEYTYPE unsigned int
#define STB_TEXTEDIT_STRING plugkit::canvas::ITextEntryControl
#define STB_TEXTEDIT_STRINGLEN(obj) plugkit::canvas::TextEditAccess::Length(obj)
#define STB_TEXTEDIT_LAYOUTROW(r, obj, n) plugkit::canvas::TextEditAccess::Layout(r, obj, n)
#define STB_TEXTEDIT_GETWIDTH(obj, n, i) plugkit::canvas::TextEditAccess::Width(obj, n, i)
#define STB_TEXTEDIT_KEYTOTEXT(k) plugkit::canvas::KeyToText(k)
#define STB_TEXTEDIT_GETCHAR(obj, i) plugkit::canvas::TextEditAccess::Char(obj, i)
#define STB_TEXTEDIT_NEWLINE '\n'
#define STB_TEXTEDIT_IS_SPACE(ch) ((ch) == ' ' || (ch) == '\t')
#define STB_TEXTEDIT_DELETECHARS(obj, i, n) plugkit::canvas::TextEditAccess::Delete(obj, i, n)
#define STB_TEXTEDIT_INSERTCHARS(obj, i, c, n) plugkit::canvas::TextEditAccess::Insert(obj, i, c, n)
#define STB_TEXTEDIT_K_SHIFT plugkit::canvas::kShiftBit
#define STB_TEXTEDIT_K_LEFT (plugkit::canvas::kSpecialKey | plugkit::canvas::kVK_LEFT)
#define STB_TEXTEDIT_K_RIGHT (plugkit::canvas::kSpecialKey | plugkit::canvas::kVK_RIGHT)
#define STB_TEXTEDIT_K_UP (plugkit::canvas::kSpecialKey | plugkit::canvas::kVK_UP)
#define STB_TEXTEDIT_K_DOWN (plugkit::canvas::kSpecialKey | plugkit::canvas::kVK_DOWN)
#define STB_TEXTEDIT_K_PGUP plugkit::canvas::kUnusedPageUp
#define STB_TEXTEDIT_K_PGDOWN plugkit::canvas::kUnusedPageDown
#define STB_TEXTEDIT_K_LINESTART (plugkit::canvas::kSpecialKey | plugkit::canvas::kVK_HOME)
#define STB_TEXTEDIT_K_LINEEND (plugkit::canvas::kSpecialKey | plugkit::canvas::kVK_END)
#define STB_TEXTEDIT_K_TEXTSTART (STB_TEXTEDIT_K_LINESTART | plugkit::canvas::kControlBit)
#define STB_TEXTEDIT_K_TEXTEND (STB_TEXTEDIT_K_LINEEND | plugkit::canvas::kControlBit)
#define STB_TEXTEDIT_K_DELETE (plugkit::canvas::kSpecialKey | plugkit::canvas::kVK_DELETE)
#define STB_TEXTEDIT_K_BACKSPACE (plugkit::canvas::kSpecialKey | plugkit::canvas::kVK_BACK)
#define STB_TEXTEDIT_K_UNDO (plugkit::canvas::kControlBit | 'z')
#define STB_TEXTEDIT_K_REDO (plugkit::canvas::kControlBit | plugkit::canvas::kShiftBit | 'z')
#define STB_TEXTEDIT_K_INSERT (plugkit::canvas::kSpecialKey | plugkit::canvas::kVK_INSERT)
#define STB_TEXTEDIT_K_WORDLEFT (STB_TEXTEDIT_K_LEFT | plugkit::canvas::kControlBit)
#define STB_TEXTEDIT_K_WORDRIGHT (STB_TEXTEDIT_K_RIGHT | plugkit::canvas::kControlBit)
#define STB_TEXTEDIT_IMPLEMENTATION
#include <stb_textedit.h>

namespace plugkit::canvas
{

namespace
{
/// The UTF-8 form of `length` units from `text`.
std::string ToUtf8(const platform::WideChar* text, size_t length)
{
    const auto n = static_cast<int32_t>(length);
    std::string utf8(size_t(platform::Utf16ToUtf8(text, n, nullptr, 0)), '\0');
    platform::Utf16ToUtf8(text, n, utf8.data(), int32_t(utf8.size()));
    return utf8;
}

/// UTF-8 in the field's typing rules (a malformed byte is a character of its own value), at most
/// `maxUnits` units and never half a pair.
std::basic_string<platform::WideChar> ToUtf16(const char* text, int maxUnits)
{
    std::basic_string<platform::WideChar> wide(size_t(std::max(maxUnits, 0)), 0);
    const int32_t needed =
        platform::Utf8ToUtf16(text, -1, wide.data(), maxUnits, platform::EMalformedUtf8::Latin1);
    // Units past a pair that did not fit stay 0: cut where the written text ends.
    int32_t written = std::min(needed, maxUnits);
    if (written > 0 && written < needed)
    {
        const auto last = static_cast<uint16_t>(wide[size_t(written - 1)]);
        if (last == 0 || (last >= 0xD800 && last < 0xDC00))
            --written;
    }
    wide.resize(size_t(std::max(written, 0)));
    return wide;
}

/// The menu of the field's right click, built once and shared by every field.
IPopupMenu& ClipboardMenu()
{
    static IPopupMenu menu("", {"Cut", "Copy", "Paste"});
    return menu;
}

bool IsDigit(uint32_t c)
{
    return c >= '0' && c <= '9';
}
} // namespace

ITextEntryControl::ITextEntryControl()
    : IControl(IBounds{},
               kNoParameter,
               [](IControl* c) { static_cast<ITextEntryControl*>(c)->StartCaretBlink(); })
    , mEdit(std::make_unique<EditState>())
{
    stb_textedit_initialize_state(&mEdit->stb, 1);
}

ITextEntryControl::~ITextEntryControl() = default;

void ITextEntryControl::CreateTextEntry(
    int paramIdx, const ITextStyle& style, const IBounds& bounds, int, const char* text)
{
    mMouseIsOver = false;
    SetTargetAndDrawRECTs(bounds);
    SetText(style);
    mText.color = style.entryTextColor;
    mEditParamIdx = paramIdx;
    SetEditText(text);
    mEditing = true;
    SetDirty(true);
}

void ITextEntryControl::SetEditText(const char* text)
{
    mUtf16 = ToUtf16(text ? text : "", kMaxLength);
    stb_textedit_initialize_state(&mEdit->stb, 1);
    ++mChanges;
    MeasureCharacters();
    SelectAll();
    mEdit->stb.cursor = 0;
}

std::string ITextEntryControl::GetEditText() const
{
    return ToUtf8(mUtf16.data(), mUtf16.size());
}

int ITextEntryControl::GetCursor() const
{
    return mEdit->stb.cursor;
}

int ITextEntryControl::GetSelectionStart() const
{
    return mEdit->stb.select_start;
}

int ITextEntryControl::GetSelectionEnd() const
{
    return mEdit->stb.select_end;
}

void ITextEntryControl::Close()
{
    mEditing = false;
    mCaretVisible = false;
    mMouseIsOver = false;
    SetTargetAndDrawRECTs(IBounds{});
    if (mGraphics)
        mGraphics->SetAllControlsDirty();
}

void ITextEntryControl::CommitEntry()
{
    if (!mEditing)
        return;
    // Closed before the value is handed on: the owner's reaction may remove every control,
    // this field included, so nothing here may be touched afterwards.
    const std::string text = GetEditText();
    ICanvas* graphics = mGraphics;
    Close();
    if (graphics)
        graphics->SetControlValueAfterTextEdit(text.c_str());
}

void ITextEntryControl::CancelEntry()
{
    if (!mEditing)
        return;
    if (mGraphics)
        mGraphics->ClearTextEntryOwner();
    Close();
}

// ---- Editing

template <class Edit>
bool ITextEntryControl::Change(Edit&& edit)
{
    const STB_TexteditState& s = mEdit->stb;
    const int before[4] = {s.cursor, s.select_start, s.select_end, s.insert_mode};
    const int changes = mChanges;
    edit(&mEdit->stb);
    const bool changed = changes != mChanges || before[0] != s.cursor ||
                         before[1] != s.select_start || before[2] != s.select_end ||
                         before[3] != s.insert_mode;
    if (changed)
        SetDirty(false);
    return changed;
}

void ITextEntryControl::SelectAll()
{
    Change(
        [this](STB_TexteditState* s)
        {
            s->select_start = 0;
            s->select_end = int(mUtf16.size());
        });
}

void ITextEntryControl::CopySelection()
{
    const STB_TexteditState& s = mEdit->stb;
    if (s.select_start == s.select_end || !mGraphics)
        return;
    const int from = std::clamp(std::min(s.select_start, s.select_end), 0, int(mUtf16.size()));
    const int to = std::clamp(std::max(s.select_start, s.select_end), 0, int(mUtf16.size()));
    mGraphics->SetTextInClipboard(ToUtf8(mUtf16.data() + from, size_t(to - from)).c_str());
}

void ITextEntryControl::CutSelection()
{
    CopySelection();
    Change([this](STB_TexteditState* s) { stb_textedit_cut(this, s); });
}

void ITextEntryControl::Paste()
{
    HeapString clipboard;
    if (!mGraphics || !mGraphics->GetTextFromClipboard(clipboard))
        return;
    // One line only: control characters (line breaks, tabs) are dropped.
    std::basic_string<platform::WideChar> text = ToUtf16(clipboard.Get(), kMaxLength);
    std::erase_if(text, [](platform::WideChar c) { return c < 0x20; });
    const STB_TexteditState& s = mEdit->stb;
    const int selected = std::abs(s.select_end - s.select_start);
    const int room = std::max(0, kMaxLength - (int(mUtf16.size()) - selected));
    if (int(text.size()) > room)
    {
        text.resize(size_t(room));
        if (!text.empty() && text.back() >= 0xD800 && text.back() < 0xDC00)
            text.pop_back(); // never half a pair
    }
    if (text.empty())
        return;
    Change([&](STB_TexteditState* state)
           { stb_textedit_paste(this, state, text.data(), int(text.size())); });
}

bool ITextEntryControl::AcceptsCharacter(uint32_t c) const
{
    const IParam* param = (mDelegate && mEditParamIdx >= 0 && mEditParamIdx < mDelegate->NParams())
                              ? mDelegate->GetParam(mEditParamIdx)
                              : nullptr;
    if (!param)
        return true;
    // By the character typed, not the key: digits need Shift on some keyboards.
    if (IsDigit(c) || c == '+' || c == '-')
        return true;
    return c == '.' && param->Type() != IParam::kTypeBool && param->Type() != IParam::kTypeEnum;
}

bool ITextEntryControl::OnKeyDown(float, float, const IKeyEvent& key)
{
    if (!mEditing)
        return false;
    // Control shortcuts; Control with Alt is AltGr, which types characters.
    if (key.C && !key.A)
    {
        switch (key.VK)
        {
        case 'A':
            SelectAll();
            return true;
        case 'C':
            CopySelection();
            return true;
        case 'V':
            Paste();
            return true;
        case 'X':
            CutSelection();
            return true;
        case 'Z':
            Change(
                [&](STB_TexteditState* s)
                { stb_textedit_key(this, s, key.S ? STB_TEXTEDIT_K_REDO : STB_TEXTEDIT_K_UNDO); });
            return true;
        default:
            break;
        }
    }

    uint32_t c = 0;
    const auto* utf8 = reinterpret_cast<const unsigned char*>(key.utf8);
    const size_t utf8Length = strnlen(key.utf8, sizeof(key.utf8));
    if (utf8Length > 0)
        platform::DecodeUtf8(utf8, utf8 + utf8Length, platform::EMalformedUtf8::Latin1, c);

    unsigned int code = 0;
    switch (key.VK)
    {
    case kVK_RETURN:
        CommitEntry();
        return true;
    case kVK_ESCAPE:
        CancelEntry();
        return true;
    case kVK_TAB:
        return false;
    case kVK_BACK:
    case kVK_DELETE:
        code = kSpecialKey | unsigned(key.VK);
        break;
    default:
        if (key.VK >= kVK_PRIOR && key.VK <= kVK_DOWN)
        {
            code = kSpecialKey | unsigned(key.VK);
            break;
        }
        if (key.VK == kVK_SPACE)
            c = ' ';
        else if (c == 0 && key.VK >= kVK_NUMPAD0 && key.VK <= kVK_NUMPAD9)
            c = '0' + uint32_t(key.VK - kVK_NUMPAD0);
        if (!mGraphics || !mGraphics->GetTextEntryOwner())
            return false;
        code = (c != 0 && AcceptsCharacter(c)) ? c : (kSpecialKey | unsigned(key.VK));
        break;
    }
    if (key.S)
        code |= kShiftBit;
    if (key.C)
        code |= kControlBit;
    if (key.A)
        code |= kAltBit;

    // A character beyond the 16-bit range goes in as its surrogate pair.
    const bool typesText = !(code & kSpecialKey) && (!(code & kControlBit) || (code & kAltBit));
    if (typesText && c >= 0x10000)
    {
        const platform::WideChar pair[2] = {
            static_cast<platform::WideChar>(0xD800 + ((c - 0x10000) >> 10)),
            static_cast<platform::WideChar>(0xDC00 + ((c - 0x10000) & 0x3FF))};
        return Change([&](STB_TexteditState* s)
                      { stb_textedit_paste(this, s, const_cast<platform::WideChar*>(pair), 2); });
    }
    return Change([&](STB_TexteditState* s) { stb_textedit_key(this, s, code); });
}

// ---- Mouse

void ITextEntryControl::OnMouseDown(float x, float y, const IMouseModifiers& mod)
{
    if (!mEditing)
        return;
    if (!mRECT.Contains(x, y))
    {
        CommitEntry();
        return;
    }
    if (mod.L)
        Change([&](STB_TexteditState* s) { stb_textedit_click(this, s, x, y); });
    else if (mod.R && mGraphics)
    {
        IPopupMenu& menu = ClipboardMenu();
        menu.SetChosenItemIdx(-1);
        mGraphics->CreatePopupMenu(*this, menu, IBounds(x, y, x, y), 0);
    }
}

void ITextEntryControl::OnPopupMenuSelection(IPopupMenu* menu, int)
{
    if (!menu)
        return;
    const int choice = menu->GetChosenItemIdx();
    // The menu is shared and outlives this choice: it must not remember it.
    menu->SetChosenItemIdx(-1);
    if (!mEditing)
        return;
    switch (choice)
    {
    case 0:
        CutSelection();
        break;
    case 1:
        CopySelection();
        break;
    case 2:
        Paste();
        break;
    default:
        break;
    }
}

void ITextEntryControl::OnMouseDrag(float x, float y, float, float, const IMouseModifiers& mod)
{
    if (mEditing && mod.L)
        Change([&](STB_TexteditState* s) { stb_textedit_drag(this, s, x, y); });
}

void ITextEntryControl::OnMouseUp(float x, float y, const IMouseModifiers& mod)
{
    if (!mEditing || !mod.L)
        return;
    Change([&](STB_TexteditState* s) { stb_textedit_drag(this, s, x, y); });
    SetDirty(true); // the caret shows again at once
}

void ITextEntryControl::OnMouseDblClick(float, float, const IMouseModifiers&)
{
    if (mEditing)
        SelectAll();
}

// ---- Caret and drawing

void ITextEntryControl::StartCaretBlink()
{
    mCaretVisible = true;
    SetAnimation(
        [](IControl* c)
        {
            auto* field = static_cast<ITextEntryControl*>(c);
            const double progress = field->GetAnimationProgress();
            if (progress > 0.5 && field->mCaretVisible)
            {
                field->mCaretVisible = false;
                field->SetDirty(false);
            }
            if (progress > 1.0)
                field->OnEndAnimation();
        });
    StartAnimation(kBlinkPeriodMs);
}

void ITextEntryControl::OnEndAnimation()
{
    IControl::OnEndAnimation();
    if (mEditing)
        SetDirty(true);
}

void ITextEntryControl::MeasureCharacters()
{
    mCharWidths.assign(mUtf16.size(), 0.f);
    if (!mGraphics)
        return;
    // A character's width is the advance it adds after the one before it (kerning included).
    float previous = 0.f;
    for (size_t i = 0; i < mUtf16.size(); ++i)
    {
        IBounds bounds = mRECT;
        const float pair = mGraphics->MeasureText(
            mText, ToUtf8(mUtf16.data() + (i ? i - 1 : 0), i ? 2 : 1).c_str(), bounds);
        mCharWidths[i] = i ? pair - previous : pair;
        bounds = mRECT;
        previous = mGraphics->MeasureText(mText, ToUtf8(mUtf16.data() + i, 1).c_str(), bounds);
    }
}

float ITextEntryControl::WidthBefore(int end) const
{
    end = std::clamp(end, 0, int(mCharWidths.size()));
    float width = 0.f;
    for (int i = 0; i < end; ++i)
        width += mCharWidths[size_t(i)];
    return width;
}

float ITextEntryControl::GetTextLeft() const
{
    const float width = WidthBefore(int(mCharWidths.size()));
    switch (mText.align)
    {
    case EAlign::Near:
        return mRECT.L;
    case EAlign::Far:
        return mRECT.R - width;
    default:
        return mRECT.MW() - width / 2.f;
    }
}

float ITextEntryControl::RowTop() const
{
    switch (mText.valign)
    {
    case EVAlign::Top:
        return 0.f;
    case EVAlign::Bottom:
        return mRECT.H() - mText.size;
    default:
        return (mRECT.H() - mText.size) / 2.f;
    }
}

void ITextEntryControl::Draw(ICanvas& g)
{
    if (!mEditing)
        return;
    const STB_TexteditState& s = mEdit->stb;
    const float x0 = GetTextLeft();
    const float top = mRECT.T + RowTop() + 0.1f * mText.size;
    const float bottom = mRECT.T + RowTop() + 0.9f * mText.size;

    g.FillRect(mText.entryBackgroundColor, mRECT);
    if (s.select_start != s.select_end)
    {
        static constexpr IBlendSpec kSelection{0, 0.2f};
        g.FillRect(mText.entryTextColor,
                   IBounds(x0 + WidthBefore(std::min(s.select_start, s.select_end)),
                           top,
                           x0 + WidthBefore(std::max(s.select_start, s.select_end)),
                           bottom),
                   &kSelection);
    }
    g.DrawText(mText, GetEditText().c_str(), mRECT);
    if (mCaretVisible && s.select_start == s.select_end)
    {
        const float x = x0 + WidthBefore(s.cursor);
        g.FillRect(mText.entryTextColor,
                   IBounds(float(RoundHalfAway(x - 1.f)), top, float(RoundHalfAway(x)), bottom));
    }
}

} // namespace plugkit::canvas
