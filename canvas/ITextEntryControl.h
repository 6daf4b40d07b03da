#pragma once

#include "canvas/IControl.h"

#include <string>

namespace plugkit::canvas
{

/// The in-editor single-line text field that the canvas opens over a control when a value
/// is typed. This is the part the canvas relies on: opening, committing and cancelling an
/// entry. Caret, selection, key editing and drawing of the text come with the full field.
class ITextEntryControl : public IControl
{
public:
    ITextEntryControl();

    /// Opens the field over `bounds` with `style` and `text`; `length` is not applied.
    virtual void CreateTextEntry(
        int paramIdx, const ITextStyle& style, const IBounds& bounds, int length, const char* text);
    /// Closes the field, then hands the text to the canvas (which may delete this field).
    virtual void CommitEntry();
    /// Closes the field; the canvas forgets the edited control and sets no value.
    virtual void CancelEntry();

    bool IsEditing() const { return mEditing; }
    const char* GetEditText() const { return mEditText.c_str(); }
    void SetEditText(const char* text) { mEditText = text ? text : ""; }

    bool OnKeyDown(float x, float y, const IKeyEvent& key) override;
    void OnMouseDown(float x, float y, const IMouseModifiers& mod) override;
    void Draw(ICanvas& g) override;

protected:
    /// Zero bounds: the closed field is neither hit nor drawn.
    void Close();

    bool mEditing = false;
    int mEditParamIdx = kNoParameter;
    std::string mEditText;
};

} // namespace plugkit::canvas
