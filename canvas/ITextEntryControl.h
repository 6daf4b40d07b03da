#pragma once

#include "canvas/IControl.h"
#include "canvas/platform/helpers/TextConversion.h"

#include <memory>
#include <string>
#include <vector>

namespace plugkit::canvas
{

/// The in-editor single-line text field that the canvas opens over a control when a value is
/// typed. The editing itself (caret moves by character and word, selection, insertion, deletion,
/// undo and redo) is stb_textedit's; this class keeps the text (UTF-16), measures its characters,
/// translates keys, handles the mouse, the clipboard commands and their menu, blinks the caret and
/// draws. While closed (bounds all zero) it is neither hit nor drawn and ignores every event.
///
/// Keys: Return commits, Escape cancels, Tab is left to others; Control with A, C, V, X, Z selects
/// all, copies, pastes, cuts, undoes (with Shift: redoes). Typed characters are filtered by the
/// parameter of the edited value: digits, '+' and '-' for switches and enumerations, and '.' as
/// well for other numbers; everything for a value without a parameter. Shifted and AltGr
/// characters pass like any other.
class ITextEntryControl : public IControl
{
public:
    /// UTF-16 units the field holds at most: an entry longer than this is cut, a paste that would
    /// exceed it is shortened, so no paste can make editing slow.
    static constexpr int kMaxLength = 256;
    /// Caret blink period; the caret shows for the first half of it.
    static constexpr int kBlinkPeriodMs = 1000;

    ITextEntryControl();
    ~ITextEntryControl() override;

    /// Opens the field over `bounds` with `style` (edited text in the style's entry text colour)
    /// and `text`, all of it selected; `paramIdx` filters the keys. `length` is not applied (the
    /// field's own limit is `kMaxLength`).
    virtual void CreateTextEntry(
        int paramIdx, const ITextStyle& style, const IBounds& bounds, int length, const char* text);
    /// Closes the field, then hands the text to the canvas (which may delete this field).
    virtual void CommitEntry();
    /// Closes the field; the canvas forgets the edited control and sets no value.
    virtual void CancelEntry();

    void SelectAll();
    /// The selection to the clipboard; nothing when it is empty.
    void CopySelection();
    /// `CopySelection`, then the selection is deleted.
    void CutSelection();
    /// The clipboard's text (without control characters, shortened to fit) replaces the
    /// selection.
    void Paste();

    bool IsEditing() const { return mEditing; }
    bool IsCaretVisible() const { return mCaretVisible; }
    /// The text as UTF-8.
    std::string GetEditText() const;
    /// Replaces the text (cut to `kMaxLength`), all of it selected, with no undo record.
    void SetEditText(const char* text);
    int GetCursor() const;
    int GetSelectionStart() const;
    int GetSelectionEnd() const;
    /// Where the first character is drawn, after the horizontal alignment.
    float GetTextLeft() const;

    void OnMouseDown(float x, float y, const IMouseModifiers& mod) override;
    void OnMouseUp(float x, float y, const IMouseModifiers& mod) override;
    void OnMouseDrag(float x, float y, float dX, float dY, const IMouseModifiers& mod) override;
    void OnMouseDblClick(float x, float y, const IMouseModifiers& mod) override;
    bool OnKeyDown(float x, float y, const IKeyEvent& key) override;
    /// The Cut/Copy/Paste menu's choice; nothing for no choice.
    void OnPopupMenuSelection(IPopupMenu* menu, int valIdx) override;
    void Draw(ICanvas& g) override;
    /// Each blink period ends here and, while editing, starts the next one.
    void OnEndAnimation() override;

private:
    friend struct TextEditAccess;
    struct EditState;

    /// Shows the caret and restarts the blink: the action function, so every `SetDirty(true)`
    /// (opening, a mouse release) does it.
    void StartCaretBlink();
    /// Zero bounds: the closed field is neither hit nor drawn.
    void Close();
    /// Character widths as the canvas measures them in the field's style.
    void MeasureCharacters();
    /// Whether the edited value takes the character `c`.
    bool AcceptsCharacter(uint32_t c) const;
    /// Runs `edit` on the editing state; redraws and returns true when it changed anything.
    template <class Edit>
    bool Change(Edit&& edit);
    /// Widths of the characters before index `end`.
    float WidthBefore(int end) const;
    /// The top of the text row within the bounds, and its height.
    float RowTop() const;

    bool mCaretVisible = false;
    bool mEditing = false;
    int mEditParamIdx = kNoParameter;
    std::unique_ptr<EditState> mEdit;
    std::vector<float> mCharWidths;
    std::basic_string<platform::WideChar> mUtf16;
    int mChanges = 0; ///< counts edits of the text, so a key that edits is seen as handled
};

} // namespace plugkit::canvas
