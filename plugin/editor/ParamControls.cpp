#include "canvas/ICanvas.h"
#include "canvas/IControl.h"
#include "canvas/IKnobControlBase.h"
#include "plugin/editor/EditorControls.h"
#include "plugin/editor/EditorDrawing.h"
#include "plugin/editor/ValueFormat.h"
#include "plugkit/IEditorDelegate.h"
#include "plugkit/IParam.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace lumenfall::editor
{
namespace
{

using engine::ReverbModel;
using plugkit::canvas::EDirection;
using plugkit::canvas::IFillPattern;
using plugkit::canvas::IFillStyle;
using plugkit::canvas::IKeyEvent;
using plugkit::canvas::IKnobControlBase;
using plugkit::canvas::IMouseModifiers;
using plugkit::canvas::IStrokeStyle;

constexpr IArgbColor kDisabledText{255, 106, 116, 121};
constexpr IArgbColor kDisabledAccent{255, 78, 101, 105};
constexpr IArgbColor kKnobShadow{110, 0, 0, 0};
constexpr IArgbColor kKnobBodyTop{255, 73, 87, 94};
constexpr IArgbColor kKnobBodyBottom{255, 23, 32, 37};
constexpr IArgbColor kKnobOuterRing{255, 92, 110, 116};
constexpr IArgbColor kKnobInnerRing{255, 26, 35, 40};
constexpr IArgbColor kKnobTick{40, 143, 172, 181};
constexpr IArgbColor kValueBoxFace{255, 20, 28, 32};

/// The dial sweeps 276 degrees, from -138 (7 o'clock) to +138 (5 o'clock).
constexpr float kArcStart = -138.f;
constexpr float kArcSweep = 276.f;
constexpr float kArcRadius = 44.f;
constexpr float kBodyRadius = 36.f;
constexpr float kInnerRadius = 31.f;

/// The caption's line above the dial. Centred in the knob's top 25 units, a 17-unit caption
/// would sit on the top of the value arc (its top is 17 units below the knob's top); 5 units
/// higher it clears the arc and stays inside the knob panel.
IBounds CaptionBounds(const IBounds& knob)
{
    return {knob.L, knob.T - 5.f, knob.R, knob.T + 20.f};
}

/// Typed entries open with the shortest text that reads back as the value's float (see
/// FormatEntryText): Return on an untouched entry leaves a dragged value where it is.
constexpr int kEntryTextSize = 64;

int Index(ParamId id)
{
    return static_cast<int>(id);
}

int CurrentModel(const IControl& control)
{
    return static_cast<int>(CurrentValue(control, ParamId::ReverbType));
}

/// The point at `angle` degrees (clockwise from 12 o'clock) on a circle.
void PointOnCircle(float cx, float cy, float r, float angle, float& x, float& y)
{
    const float radians = angle * 3.14159265f / 180.f;
    x = cx + r * std::sin(radians);
    y = cy - r * std::cos(radians);
}

/// Receives the text typed for its knob and hands it to the knob's completion function. It
/// draws nothing and takes no input of its own.
class ValueEntry final : public IControl
{
public:
    explicit ValueEntry(std::function<void(const char*)> onCompletion)
        : IControl(IBounds{})
        , mOnCompletion(std::move(onCompletion))
    {
        SetIgnoreMouse(true);
    }

    void Draw(ICanvas&) override {}

    void OnTextEntryCompletion(const char* text, int) override
    {
        if (mOnCompletion)
            mOnCompletion(text);
    }

private:
    std::function<void(const char*)> mOnCompletion;
};

/// A rotary knob with caption, value box and typed entry for one continuous parameter.
class Knob final : public IKnobControlBase
{
public:
    Knob(const IBounds& bounds, ParamId param, ViewStatePtr state)
        : IKnobControlBase(bounds, Index(param), EDirection::Vertical, 4.0)
        , mParam(param)
        , mCaption(KnobCaptions[static_cast<std::size_t>(param)])
        , mState(std::move(state))
    {
        SetHideCursorOnDrag(true);
        SetText(EditorTextStyle(16.f, kColorText, EAlign::Centre));
        SetTooltip(ParamHelpTexts[static_cast<std::size_t>(param)]);
    }

    void SetValueEntry(IControl* entry) { mValueEntry = entry; }

    void OnMouseDown(float x, float y, const IMouseModifiers& mod) override
    {
        if (IsDisabled())
            return;
        ShowHelp();
        if (ValueZone(mRECT).Contains(x, y) && !mod.R)
            BeginValueEntry();
        else
            IKnobControlBase::OnMouseDown(x, y, mod);
    }

    void OnMouseDblClick(float, float, const IMouseModifiers&) override
    {
        if (!IsDisabled())
            SetValueToDefault(plugkit::canvas::kNoValIdx);
    }

    bool OnKeyDown(float, float, const IKeyEvent& key) override
    {
        if (IsDisabled())
            return false;
        switch (key.VK)
        {
        case plugkit::canvas::kVK_RETURN:
            BeginValueEntry();
            return true;
        case plugkit::canvas::kVK_HOME:
            SetValueToDefault(plugkit::canvas::kNoValIdx);
            return true;
        case plugkit::canvas::kVK_LEFT:
        case plugkit::canvas::kVK_UP:
        case plugkit::canvas::kVK_RIGHT:
        case plugkit::canvas::kVK_DOWN:
        {
            const double step = key.S ? 0.001 : 0.01;
            const bool up =
                key.VK == plugkit::canvas::kVK_UP || key.VK == plugkit::canvas::kVK_RIGHT;
            SetValueFromUserInput(std::clamp(GetValue() + (up ? step : -step), 0.0, 1.0), 0);
            return true;
        }
        default:
            return false;
        }
    }

    void OnMouseOver(float x, float y, const IMouseModifiers& mod) override
    {
        ShowHelp();
        IControl::OnMouseOver(x, y, mod);
    }

    bool IsDirty() override
    {
        const bool disabled = ComputeDisabled();
        if (disabled != IsDisabled())
        {
            SetDisabled(disabled);
            SetDirty(false);
        }
        return IControl::IsDirty();
    }

    IBounds GetKnobDragBounds() const override { return mTargetRECT; }

    void Draw(ICanvas& g) override
    {
        const bool enabled = !IsDisabled();
        const IArgbColor& textColor = enabled ? kColorText : kDisabledText;
        const bool amber = mParam == ParamId::Decay || mParam == ParamId::Mix;
        const IArgbColor& accent = !enabled ? kDisabledAccent : amber ? kColorAmber : kColorTeal;
        const float cx = KnobCentreX(mRECT);
        const float cy = KnobCentreY(mRECT);
        const double v = GetValue();
        const float pointerAngle = kArcStart + kArcSweep * static_cast<float>(v);

        DrawLabel(g, mCaption, CaptionBounds(mRECT), 17.f, textColor, EAlign::Centre);
        g.DrawArc(kColorLine, cx, cy, kArcRadius, kArcStart, -kArcStart, &mBlend, 3.f);
        if (v > 0.00001)
            g.DrawArc(accent, cx, cy, kArcRadius, kArcStart, pointerAngle, &mBlend, 3.f);

        g.FillCircle(kKnobShadow, cx, cy + 4.f, kBodyRadius, &mBlend);
        g.PathClear();
        g.PathCircle(cx, cy, kBodyRadius);
        g.PathFill(IFillPattern::Linear(cx,
                                        cy - kBodyRadius,
                                        cx,
                                        cy + kBodyRadius,
                                        {{kKnobBodyTop, 0.f}, {kKnobBodyBottom, 1.f}}),
                   IFillStyle{},
                   &mBlend);
        g.DrawCircle(kKnobOuterRing, cx, cy, kBodyRadius, &mBlend, 1.f);
        g.DrawCircle(kKnobInnerRing, cx, cy, kInnerRadius, &mBlend, 1.f);
        DrawTicks(g, cx, cy);
        float x1 = 0.f, y1 = 0.f, x2 = 0.f, y2 = 0.f;
        PointOnCircle(cx, cy, 17.f, pointerAngle, x1, y1);
        PointOnCircle(cx, cy, kInnerRadius, pointerAngle, x2, y2);
        g.DrawLine(accent, x1, y1, x2, y2, &mBlend, 3.f);

        const IBounds zone = ValueZone(mRECT);
        g.FillRoundRect(kValueBoxFace, zone, 4.f, &mBlend);
        g.DrawRoundRect(
            GetMouseIsOver() && enabled ? kColorAmber : kColorLine, zone, 4.f, &mBlend, 1.f);

        if (mValueEntry != nullptr && g.GetTextEntryOwner() == mValueEntry)
            return; // the entry field covers the box
        char text[64];
        if (mParam == ParamId::PreDelay && !enabled)
            TextWriter(text, sizeof(text)).Append("SYNC");
        else
            FormatParamValue(Index(mParam), RealValue(), text, sizeof(text));
        // A label like the caption: dimmed by its colour, not by the blend as well.
        ITextStyle style = GetText();
        style.color = textColor;
        g.DrawText(style, text, zone, nullptr);
    }

    /// A rejected entry: the value stays and the help panel says what is accepted.
    void ApplyTypedValue(const char* text)
    {
        double value = 0.0;
        const plugkit::IParam* param = GetParam();
        if (param != nullptr && ParseParamValue(Index(mParam), text, &value))
        {
            SetValueFromUserInput(param->ToNormalized(value), 0);
            return;
        }
        mState->helpTitle = mCaption;
        mState->helpBody = kTypedEntryRejected;
        if (ICanvas* g = GetUI())
            g->SetAllControlsDirty();
    }

private:
    bool ComputeDisabled() const
    {
        switch (mParam)
        {
        case ParamId::PreDelay:
            return CurrentValue(*this, ParamId::PreDelaySync) >= 0.5;
        case ParamId::GateLength:
        case ParamId::EnvelopeShape:
        case ParamId::GateRelease:
            return CurrentModel(*this) != static_cast<int>(ReverbModel::Gated) &&
                   CurrentModel(*this) != static_cast<int>(ReverbModel::Reverse);
        case ParamId::ShimmerAmount:
            return CurrentModel(*this) != static_cast<int>(ReverbModel::Shimmer);
        default:
            return false;
        }
    }

    double RealValue() const
    {
        const plugkit::IParam* param = GetParam();
        return param != nullptr ? param->FromNormalized(GetValue()) : 0.0;
    }

    void ShowHelp()
    {
        mState->helpTitle = mCaption;
        mState->helpBody = ParamHelpTexts[static_cast<std::size_t>(mParam)];
    }

    void BeginValueEntry()
    {
        ICanvas* g = GetUI();
        const plugkit::IParam* param = GetParam();
        if (g == nullptr || mValueEntry == nullptr || param == nullptr)
            return;
        char text[kEntryTextSize];
        FormatEntryText(RealValue(), text, sizeof(text));
        g->CreateTextEntry(
            *mValueEntry, GetText(), ValueZone(mRECT), text, plugkit::canvas::kNoValIdx);
    }

    /// The 24 ticks never touch one another: one path, one stroke.
    void DrawTicks(ICanvas& g, float cx, float cy)
    {
        g.PathClear();
        for (int i = 0; i < 24; ++i)
        {
            float x1 = 0.f, y1 = 0.f, x2 = 0.f, y2 = 0.f;
            const float angle = static_cast<float>(i) * 360.f / 24.f;
            PointOnCircle(cx, cy, 34.f, angle, x1, y1);
            PointOnCircle(cx, cy, kInnerRadius, angle, x2, y2);
            g.PathMoveTo(x1, y1);
            g.PathLineTo(x2, y2);
        }
        g.PathStroke(IFillPattern::Solid(kKnobTick), 1.f, IStrokeStyle{}, &mBlend);
    }

    ParamId mParam;
    const char* mCaption;
    ViewStatePtr mState;
    IControl* mValueEntry = nullptr;
};

/// A drop-down of an enumerated parameter; a click opens the toolkit's menu of its values.
class EnumMenu final : public IControl
{
public:
    EnumMenu(const IBounds& bounds, ParamId param, ViewStatePtr state)
        : IControl(bounds, Index(param))
        , mParam(param)
        , mState(std::move(state))
    {
        DisablePrompt(false);
        SetText(EditorTextStyle(17.f, kColorText));
        SetTooltip(ParamHelpTexts[static_cast<std::size_t>(param)]);
    }

    void OnMouseDown(float, float, const IMouseModifiers&) override
    {
        if (IsDisabled())
            return;
        ShowHelp();
        PromptUserInput(0);
    }

    bool OnKeyDown(float x, float y, const IKeyEvent& key) override
    {
        if (IsDisabled())
            return false;
        if (key.VK == plugkit::canvas::kVK_RETURN || key.VK == plugkit::canvas::kVK_SPACE)
        {
            OnMouseDown(x, y, {});
            return true;
        }
        if (key.VK != plugkit::canvas::kVK_UP && key.VK != plugkit::canvas::kVK_DOWN)
            return false;
        const double step = 1.0 / (engine::ParamMaximum(mParam) - engine::ParamMinimum(mParam));
        const double delta = key.VK == plugkit::canvas::kVK_UP ? -step : step;
        SetValueFromUserInput(std::clamp(GetValue() + delta, 0.0, 1.0), 0);
        return true;
    }

    void OnMouseOver(float x, float y, const IMouseModifiers& mod) override
    {
        ShowHelp();
        IControl::OnMouseOver(x, y, mod);
    }

    bool IsDirty() override
    {
        const bool disabled =
            mParam == ParamId::NoteDivision && CurrentValue(*this, ParamId::PreDelaySync) < 0.5;
        if (disabled != IsDisabled())
        {
            SetDisabled(disabled);
            SetDirty(false);
        }
        return IControl::IsDirty();
    }

    void Draw(ICanvas& g) override
    {
        const bool hovered = GetMouseIsOver() && !IsDisabled();
        const IArgbColor& hover = mParam == ParamId::ReverbType ? kColorTeal : kColorAmber;
        DrawMenuFace(g, mRECT, hovered ? hover : kColorLine, &mBlend);
        if (const plugkit::IParam* param = GetParam())
        {
            plugkit::HeapString text;
            param->GetDisplay(GetValue(), true, text);
            DrawLabel(g,
                      text.Get(),
                      {mRECT.L + 14.f, mRECT.T, mRECT.R - 29.f, mRECT.B},
                      17.f,
                      IsDisabled() ? kColorTextMuted : kColorText,
                      EAlign::Near);
        }
        DrawChevron(g, mRECT.R - 15.f, mRECT.MH() - 3.f, kColorTeal, &mBlend);
    }

private:
    void ShowHelp()
    {
        mState->helpTitle = engine::ParamName(mParam);
        mState->helpBody = ParamHelpTexts[static_cast<std::size_t>(mParam)];
    }

    ParamId mParam;
    ViewStatePtr mState;
};

} // namespace

double CurrentValue(const IControl& control, ParamId param)
{
    const plugkit::IEditorDelegate* delegate = control.GetDelegate();
    const plugkit::IParam* value = delegate != nullptr ? delegate->GetParam(Index(param)) : nullptr;
    return value != nullptr ? value->Value() : engine::ParamDefault(param);
}

IControl* AttachKnob(ICanvas& g, const IBounds& bounds, ParamId param, ViewStatePtr state)
{
    auto* knob = new Knob(bounds, param, std::move(state));
    if (g.AttachControl(knob) == nullptr)
    {
        plugkit::canvas::DestroyControl(knob);
        return nullptr;
    }
    auto* entry = new ValueEntry([knob](const char* text) { knob->ApplyTypedValue(text); });
    if (g.AttachControl(entry) == nullptr)
    {
        plugkit::canvas::DestroyControl(entry);
        return knob;
    }
    knob->SetValueEntry(entry);
    return knob;
}

IControl* MakeEnumMenu(const IBounds& bounds, ParamId param, ViewStatePtr state)
{
    return new EnumMenu(bounds, param, std::move(state));
}

} // namespace lumenfall::editor
