#include "canvas/ICanvas.h"
#include "canvas/IControl.h"
#include "canvas/IPopupMenu.h"
#include "plugin/FactoryPresets.h"
#include "plugin/editor/EditorControls.h"
#include "plugin/editor/EditorDrawing.h"
#include "plugin/editor/LayoutEditor.h"
#include "plugkit/IParam.h"

#include <string>

namespace lumenfall::editor
{
namespace
{

using plugkit::canvas::IKeyEvent;
using plugkit::canvas::IMouseModifiers;
using plugkit::canvas::IPopupMenu;
using plugkit::canvas::ISvgHandle;

constexpr IArgbColor kGroupNoteFace{255, 23, 33, 37};

bool IsEnterOrSpace(const IKeyEvent& key)
{
    return key.VK == plugkit::canvas::kVK_RETURN || key.VK == plugkit::canvas::kVK_SPACE;
}

/// A control that acts alike on a click and on Enter or Space while it has the keys.
class PressableControl : public IControl
{
public:
    using IControl::IControl;

    void OnMouseDown(float, float, const IMouseModifiers&) final { Press(); }

    bool OnKeyDown(float, float, const IKeyEvent& key) final
    {
        if (!IsEnterOrSpace(key))
            return false;
        Press();
        return true;
    }

protected:
    virtual void Press() = 0;
};

void SetHelp(ViewState& state, const char* title, const char* body)
{
    state.helpTitle = title;
    state.helpBody = body;
}

/// The factory preset menu; its name follows the values from any source.
class PresetMenu final : public PressableControl
{
public:
    PresetMenu(EditorPlugin& plug, ViewStatePtr state)
        : PressableControl(kPresetMenuBounds)
        , mPlug(plug)
        , mState(std::move(state))
    {
        SetTooltip(kPresetTooltip);
        for (const FactoryPreset& preset : GetFactoryPresets())
            mMenu.AddItem(new IPopupMenu::Item(preset.name));
    }

    void OnMouseOver(float x, float y, const IMouseModifiers& mod) override
    {
        SetHelp(*mState, kPresetHelpTitle, kPresetHelpBody);
        IControl::OnMouseOver(x, y, mod);
    }

    void OnPopupMenuSelection(IPopupMenu* menu, int) override
    {
        if (menu == nullptr || menu->GetChosenItemIdx() < 0)
            return;
        mPlug.SelectFactoryPreset(menu->GetChosenItemIdx());
        if (ICanvas* g = GetUI())
            g->SetAllControlsDirty();
    }

    bool IsDirty() override
    {
        const int match = mPlug.FindMatchingPreset();
        if (match != mLastMatch)
        {
            mLastMatch = match;
            SetDirty(false);
        }
        return IControl::IsDirty();
    }

    void Draw(ICanvas& g) override
    {
        DrawMenuFace(g, mRECT, GetMouseIsOver() ? kColorAmber : kColorLine, &mBlend);
        const int match = mPlug.FindMatchingPreset();
        const char* name = match >= 0 && match < kFactoryPresetCount
                               ? GetFactoryPresets()[static_cast<std::size_t>(match)].name
                               : kCustomPresetName;
        DrawLabel(g,
                  name,
                  {mRECT.L + 14.f, mRECT.T, mRECT.R - 26.f, mRECT.B},
                  16.f,
                  kColorText,
                  EAlign::Near);
        DrawChevron(g, 905.f, 58.f, kColorAmber, &mBlend);
    }

private:
    void Press() override
    {
        if (ICanvas* g = GetUI())
            g->CreatePopupMenu(*this, mMenu, mRECT, 0);
    }

    EditorPlugin& mPlug;
    ViewStatePtr mState;
    IPopupMenu mMenu;
    int mLastMatch = -2; // no name shown yet
};

/// Toggles, A/B, COPY, the page buttons and the support link: one class, told apart by mode.
class Button final : public PressableControl
{
public:
    Button(const IBounds& bounds,
           const char* label,
           EditorPlugin& plug,
           ViewStatePtr state,
           ButtonMode mode,
           int param,
           int section)
        : PressableControl(bounds, param)
        , mLabel(label)
        , mPlug(plug)
        , mState(std::move(state))
        , mMode(mode)
        , mSection(section)
    {
        if (param >= 0 && param < engine::kParamCount)
            SetTooltip(ParamHelpTexts[static_cast<std::size_t>(param)]);
    }

    bool IsLit() const
    {
        switch (mMode)
        {
        case ButtonMode::ParamToggle:
            return GetParam() != nullptr && GetParam()->Value() > 0.5;
        case ButtonMode::ABSwitch:
            return mPlug.GetActiveSlot() != 0;
        case ButtonMode::Section:
            return mState->section == mSection;
        case ButtonMode::Advanced:
            return mState->section > kSectionBasic;
        default:
            return false;
        }
    }

    void OnMouseOver(float x, float y, const IMouseModifiers& mod) override
    {
        switch (mMode)
        {
        case ButtonMode::ParamToggle:
            if (GetParamIdx() >= 0)
                SetHelp(*mState,
                        engine::ParamName(GetParamIdx()),
                        ParamHelpTexts[static_cast<std::size_t>(GetParamIdx())]);
            break;
        case ButtonMode::ABSwitch:
            SetHelp(*mState, kABHelpTitle, kABHelpBody);
            break;
        case ButtonMode::CopySettings:
            SetHelp(*mState, kCopyHelpTitle, kCopyHelpBody);
            break;
        case ButtonMode::Section:
        case ButtonMode::Advanced:
            break;
        default:
            SetHelp(*mState, kSupportHelpTitle, kSupportHelpBody);
            break;
        }
        IControl::OnMouseOver(x, y, mod);
    }

    bool IsDirty() override
    {
        const bool lit = IsLit();
        if (lit != mLastLit)
        {
            mLastLit = lit;
            SetDirty(false);
        }
        return IControl::IsDirty();
    }

    void Draw(ICanvas& g) override
    {
        const bool lit = IsLit();
        const bool teal =
            mMode == ButtonMode::ParamToggle && GetParamIdx() == static_cast<int>(ParamId::Freeze);
        DrawButtonFace(g, mRECT, lit, GetMouseIsOver(), teal, &mBlend);
        if (mMode == ButtonMode::ParamToggle)
        {
            g.FillCircle(
                lit ? kColorTeal : kColorTextMuted, mRECT.L + 15.f, mRECT.MH(), 3.5f, &mBlend);
            DrawLabel(g,
                      mLabel,
                      {mRECT.L + 28.f, mRECT.T, mRECT.R - 5.f, mRECT.B},
                      15.f,
                      lit ? kColorText : kColorTextMuted,
                      EAlign::Near);
            return;
        }
        const char* text = mMode == ButtonMode::ABSwitch ? (lit ? "B" : "A") : mLabel;
        const float size = mMode >= ButtonMode::SupportLink ? 13.f : 15.f;
        DrawLabel(g, text, mRECT, size, kColorText, EAlign::Centre);
    }

private:
    void Press() override
    {
        ICanvas* g = GetUI();
        if (g == nullptr)
            return;
        switch (mMode)
        {
        case ButtonMode::ParamToggle:
            if (GetParam() != nullptr)
                SetValueFromUserInput(GetParam()->Value() > 0.5 ? 0.0 : 1.0, 0);
            break;
        case ButtonMode::ABSwitch:
            mPlug.SwitchABSlot();
            break;
        case ButtonMode::CopySettings:
            mPlug.CopyToOtherSlot();
            break;
        case ButtonMode::Section:
            SelectSection(*mState, mSection, *g);
            break;
        case ButtonMode::Advanced:
            SelectSection(*mState, mState->lastAdvancedSection, *g);
            break;
        default:
            g->OpenURL(kSupportLink);
            break;
        }
        g->SetAllControlsDirty();
    }

    const char* mLabel;
    EditorPlugin& mPlug;
    ViewStatePtr mState;
    ButtonMode mMode;
    int mSection;
    bool mLastLit = false;
};

/// The maker's logo, or its name when the logo is missing; opens the maker's web page.
class Brand final : public PressableControl
{
public:
    Brand(const ISvgHandle& logo, ViewStatePtr state)
        : PressableControl(kBrandBounds)
        , mLogo(logo)
        , mState(std::move(state))
    {
        SetTooltip(kBrandTooltip);
    }

    void OnMouseOver(float x, float y, const IMouseModifiers& mod) override
    {
        SetHelp(*mState, kBrandHelpTitle, kBrandHelpBody);
        IControl::OnMouseOver(x, y, mod);
    }

    void Draw(ICanvas& g) override
    {
        if (mLogo.IsValid())
            g.DrawSvg(mLogo, mRECT, &mBlend);
        else
            DrawLabel(g, kMakerName, {36.f, 0.f, 238.f, 42.f}, 23.f, kColorText, EAlign::Near);
        if (GetMouseIsOver())
            g.DrawLine(kColorAmber, 37.f, 39.f, 230.f, 39.f, &mBlend, 1.f);
    }

private:
    void Press() override
    {
        if (ICanvas* g = GetUI())
            g->OpenURL(kMakerUrl);
    }

    ISvgHandle mLogo;
    ViewStatePtr mState;
};

/// The help panel; redraws when the help body changes.
class ContextHelp final : public IControl
{
public:
    explicit ContextHelp(ViewStatePtr state)
        : IControl(kHelpPanelBounds)
        , mState(std::move(state))
    {
        SetIgnoreMouse(true);
    }

    bool IsDirty() override
    {
        if (mState->helpBody != mShownBody)
        {
            mShownBody = mState->helpBody;
            SetDirty(false);
        }
        return IControl::IsDirty();
    }

    void Draw(ICanvas& g) override
    {
        DrawLabel(g, mState->helpTitle.c_str(), {36.f, 663.f, 259.f, 700.f}, 13.f, kColorAmber);
        g.DrawMultiLineText(EditorTextStyle(14.f, kColorTextMuted),
                            mState->helpBody.c_str(),
                            {279.f, 663.f, 1064.f, 700.f});
    }

private:
    ViewStatePtr mState;
    std::string mShownBody;
};

/// The note beside the knobs of TAIL / MOTION, LEVEL / DUCK and SPECIAL.
class GroupNote final : public IControl
{
public:
    explicit GroupNote(ViewStatePtr state)
        : IControl(kGroupNoteBounds)
        , mState(std::move(state))
    {
        SetIgnoreMouse(true);
    }

    void Draw(ICanvas& g) override
    {
        const char* title = GroupNoteTitle(mState->section);
        const char* body = GroupNoteBody(mState->section);
        if (title == nullptr || body == nullptr)
            return; // BASIC and SPACE use this place for knobs
        g.FillRoundRect(kGroupNoteFace, mRECT, 7.f);
        g.DrawRoundRect(kColorLine, mRECT, 7.f);
        DrawLabel(g, title, {775.f, 401.f, 1025.f, 431.f}, 16.f, kColorTeal);
        g.DrawMultiLineText(
            EditorTextStyle(16.f, kColorTextMuted), body, {775.f, 440.f, 1023.f, 619.f});
    }

private:
    ViewStatePtr mState;
};

} // namespace

IControl* MakePresetMenu(EditorPlugin& plug, ViewStatePtr state)
{
    return new PresetMenu(plug, std::move(state));
}

IControl* MakeButton(const IBounds& bounds,
                     const char* label,
                     EditorPlugin& plug,
                     ViewStatePtr state,
                     ButtonMode mode,
                     int param,
                     int section)
{
    return new Button(bounds, label, plug, std::move(state), mode, param, section);
}

IControl* MakeBrand(const ISvgHandle& logo, ViewStatePtr state)
{
    return new Brand(logo, std::move(state));
}

IControl* MakeContextHelp(ViewStatePtr state)
{
    return new ContextHelp(std::move(state));
}

IControl* MakeGroupNote(ViewStatePtr state)
{
    return new GroupNote(std::move(state));
}

} // namespace lumenfall::editor
