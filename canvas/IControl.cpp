#include "canvas/IControl.h"

#include "canvas/CanvasClock.h"
#include "canvas/ICanvas.h"
#include "canvas/IPopupMenu.h"
#include "plugkit/IEditorDelegate.h"
#include "plugkit/IParam.h"
#include "plugkit/Rounding.h"

#include <algorithm>
#include <cmath>

namespace plugkit::canvas
{

namespace
{
double Clamp01(double v)
{
    return std::clamp(v, 0.0, 1.0);
}
} // namespace

IControl::IControl(const IBounds& bounds, int paramIdx, IControlActionFunc action)
    : mRECT(bounds)
    , mTargetRECT(bounds)
    , mActionFunc(std::move(action))
{
    mVals.push_back({paramIdx, 0.0});
}

IControl::IControl(const IBounds& bounds,
                   std::initializer_list<int> params,
                   IControlActionFunc action)
    : mRECT(bounds)
    , mTargetRECT(bounds)
    , mActionFunc(std::move(action))
{
    for (int paramIdx : params)
        mVals.push_back({paramIdx, 0.0});
    if (mVals.empty())
        mVals.push_back({kNoParameter, 0.0});
}

#if defined(PLUGKIT_VST3)
/// The context-menu target a control hands to the host: reference counted on its own, so a host
/// may hold it as long as it likes; it forwards a choice to its control until the control
/// detaches it on destruction, and refuses it afterwards.
class ContextMenuTarget : public Steinberg::FObject, public Steinberg::Vst::IContextMenuTarget
{
public:
    explicit ContextMenuTarget(IControl* control)
        : mControl(control)
    {
    }

    void Detach() { mControl = nullptr; }

    // [ui-thread]
    Steinberg::tresult PLUGIN_API executeMenuItem(Steinberg::int32 tag) SMTG_OVERRIDE
    {
        if (!mControl)
            return Steinberg::kResultFalse;
        mControl->OnContextMenuSelection(tag);
        return Steinberg::kResultOk;
    }

    OBJ_METHODS(ContextMenuTarget, Steinberg::FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::Vst::IContextMenuTarget)
    END_DEFINE_INTERFACES(Steinberg::FObject)
    REFCOUNT_METHODS(Steinberg::FObject)

private:
    IControl* mControl;
};
#endif

IControl::~IControl()
{
#if defined(PLUGKIT_VST3)
    if (mContextMenuTarget)
    {
        mContextMenuTarget->Detach();
        mContextMenuTarget->release();
    }
#endif
}

#if defined(PLUGKIT_VST3)
Steinberg::tresult PLUGIN_API IControl::executeMenuItem(Steinberg::int32 tag)
{
    OnContextMenuSelection(tag);
    return Steinberg::kResultOk;
}

Steinberg::Vst::IContextMenuTarget* IControl::GetContextMenuTarget()
{
    if (!mContextMenuTarget)
        mContextMenuTarget = new ContextMenuTarget(this);
    return mContextMenuTarget;
}
#endif

void DestroyControl(IControl* control)
{
#if defined(PLUGKIT_VST3)
    if (control)
        control->release();
#else
    delete control;
#endif
}

void IControl::OnMouseDown(float x, float y, const IMouseModifiers& mod)
{
    if (!mod.R)
        return;
    const int valIdx = GetValIdxForPos(x, y);
    if (valIdx < 0)
        return;
    PromptUserInput(valIdx);
}

void IControl::OnMouseUp(float, float, const IMouseModifiers&) {}

void IControl::OnMouseDrag(float, float, float, float, const IMouseModifiers&) {}

void IControl::OnMouseDblClick(float x, float y, const IMouseModifiers&)
{
    SetValueToDefault(GetValIdxForPos(x, y));
}

void IControl::OnMouseWheel(float, float, const IMouseModifiers&, float) {}

bool IControl::OnKeyDown(float, float, const IKeyEvent&)
{
    return false;
}

bool IControl::OnKeyUp(float, float, const IKeyEvent&)
{
    return false;
}

void IControl::OnMouseOver(float, float, const IMouseModifiers&)
{
    const bool was = mMouseIsOver;
    mMouseIsOver = true;
    if (!was)
        SetDirty(false);
}

void IControl::OnMouseOut()
{
    const bool was = mMouseIsOver;
    mMouseIsOver = false;
    if (was)
        SetDirty(false);
}

void IControl::OnCaptureLost() {}

void IControl::OnDrop(const char*) {}

void IControl::OnDropMultiple(const std::vector<const char*>& paths)
{
    if (!paths.empty())
        OnDrop(paths.front());
}

void IControl::OnRescale() {}
void IControl::OnResize() {}
void IControl::OnInit() {}
void IControl::OnAttached() {}
void IControl::OnMsgFromDelegate(int, int, const void*) {}
void IControl::OnMidi(const MidiMessage&) {}

bool IControl::OnTypedEvent(const ITypedEvent& event)
{
    const auto it = mTypedEventHandlers.find(event.kind);
    if (it == mTypedEventHandlers.end() || !it->second)
        return false;
    mLastTypedEventKind = event.kind;
    return it->second(this, event);
}

void IControl::CreateContextMenu(IPopupMenu&) {}

void IControl::OnPopupMenuSelection(IPopupMenu* menu, int valIdx)
{
    if (!menu || mPromptDisabled)
        return;
    // The chosen index is a value of the parameter the menu was opened for.
    const IParam* param = GetParam(valIdx);
    if (!param)
        return;
    SetValueFromUserInput(param->ToNormalized(menu->GetChosenItemIdx()), valIdx);
}

void IControl::OnTextEntryCompletion(const char*, int) {}
void IControl::OnContextMenuSelection(int) {}

void IControl::DrawMarker(ICanvas& g)
{
    if (mMarker)
        g.FillCircle(mMarkerColor, mTargetRECT.R - 5.f, mTargetRECT.T + 5.f, 2.f);
}

void IControl::SetParamIdx(int paramIdx, int valIdx)
{
    if (!IsValidValIdx(valIdx))
        return;
    mVals[static_cast<std::size_t>(valIdx)].paramIdx = paramIdx;
    SetDirty(false);
}

int IControl::GetValIdxForPos(float, float) const
{
    return NVals() == 1 ? 0 : kNoValIdx;
}

void IControl::SetValueFromDelegate(double value, int valIdx)
{
    if (!IsValidValIdx(valIdx) || !std::isfinite(value))
        return;
    if (mGraphics && mGraphics->IsControlCaptured(this))
        return;
    if (value != GetValue(valIdx))
    {
        SetValue(value, valIdx);
        SetDirty(false);
    }
}

void IControl::SetValueFromUserInput(double value, int valIdx)
{
    if (!IsValidValIdx(valIdx) || !std::isfinite(value) || value == GetValue(valIdx))
        return;
    SetValue(value, valIdx);
    SetDirty(true, valIdx);
}

void IControl::SetValueToDefault(int valIdx)
{
    if (NVals() == 1)
        valIdx = 0;
    for (int i = 0; i < NVals(); ++i)
    {
        if (valIdx != kNoValIdx && i != valIdx)
            continue;
        if (const IParam* param = GetParam(i))
            SetValue(param->GetDefault(true), i);
    }
    SetDirty(true, valIdx);
}

void IControl::SetValue(double value, int valIdx)
{
    if (IsValidValIdx(valIdx) && std::isfinite(value))
        mVals[static_cast<std::size_t>(valIdx)].value = value;
}

void IControl::SetText(const ITextStyle& style)
{
    mText = style;
}

void IControl::SetPosition(float x, float y)
{
    x = std::max(x, 0.f);
    y = std::max(y, 0.f);
    const float dx = x - mRECT.L;
    const float dy = y - mRECT.T;
    SetRECT({x, y, x + mRECT.W(), y + mRECT.H()});
    SetTargetRECT({mTargetRECT.L + dx, mTargetRECT.T + dy, mTargetRECT.R + dx, mTargetRECT.B + dy});
}

void IControl::SetSize(float width, float height)
{
    width = std::max(width, 0.f);
    height = std::max(height, 0.f);
    SetTargetAndDrawRECTs({mRECT.L, mRECT.T, mRECT.L + width, mRECT.T + height});
}

void IControl::Hide(bool hide)
{
    mHide = hide;
    SetDirty(false);
}

void IControl::SetDisabled(bool disable)
{
    mDisabled = disable;
    mBlend.weight = disable ? 0.25f : 1.f;
    SetDirty(false);
}

void IControl::SetIgnoreMouse(bool ignore)
{
    mIgnoreMouse = ignore;
}

bool IControl::IsHit(float x, float y) const
{
    return mTargetRECT.Contains(x, y);
}

void IControl::SetDirty(bool triggerAction, int valIdx)
{
    if (NVals() == 1)
        valIdx = 0;
    for (int i = 0; i < NVals(); ++i)
        if (valIdx == kNoValIdx || i == valIdx)
            SetValue(Clamp01(GetValue(i)), i);
    mDirty = true;
    if (!triggerAction)
        return;
    for (int i = 0; i < NVals(); ++i)
    {
        if ((valIdx != kNoValIdx && i != valIdx) || GetParamIdx(i) < 0)
            continue;
        if (mGraphics)
        {
            mGraphics->SendParameterValueFromControl(GetParamIdx(i), GetValue(i));
            mGraphics->UpdatePeerControls(this, i);
        }
    }
    if (mActionFunc)
        mActionFunc(this);
}

void IControl::SetClean()
{
    mDirty = false;
}

bool IControl::IsDirty()
{
    return mAnimationFunc ? true : mDirty;
}

bool IControl::WantsTypedEvents() const
{
    return !mTypedEventHandlers.empty() && !mAnimationFunc;
}

void IControl::SnapToMouse(
    float x, float y, int direction, const IBounds& r, int valIdx, double lo, double hi)
{
    // Only the span along the direction divides; without one there is no position.
    if (!((direction ? r.W() : r.H()) > 0.f) || !std::isfinite(x) || !std::isfinite(y))
        return;
    x = std::clamp(x, r.L, r.R);
    y = std::clamp(y, r.T, r.B);
    double v = direction ? (x - r.L) / r.W() : 1.0 - (y - r.T) / r.H();
    v = std::clamp(plugkit::RoundHalfAway(v / 0.001) * 0.001, lo, hi);
    for (int i = 0; i < NVals(); ++i)
        if (valIdx == kNoValIdx || i == valIdx)
            SetValue(v, i);
    SetDirty(true, valIdx);
}

void IControl::OnEndAnimation()
{
    mAnimationFunc = nullptr;
    SetDirty(false);
    if (mAnimationEndFunc)
        mAnimationEndFunc(this);
}

IParam* IControl::GetParam(int valIdx) const
{
    if (!mDelegate || !IsValidValIdx(valIdx))
        return nullptr;
    const int paramIdx = GetParamIdx(valIdx);
    if (paramIdx < 0 || paramIdx >= mDelegate->NParams())
        return nullptr;
    return mDelegate->GetParam(paramIdx);
}

int IControl::GetValIdxForParam(int paramIdx) const
{
    for (int i = 0; i < NVals(); ++i)
        if (GetParamIdx(i) == paramIdx)
            return i;
    return kNoValIdx;
}

void IControl::PromptUserInput(int valIdx)
{
    if (!IsValidValIdx(valIdx) || GetParamIdx(valIdx) < 0 || mPromptDisabled || !mGraphics)
        return;
    const IParam* param = GetParam(valIdx);
    // A menu of display texts covers the control; a typed value gets a small box.
    const IBounds area =
        (param && param->NDisplayTexts() > 0) ? mRECT : mRECT.GetCentredInside(20.f, 8.f);
    // Marked first: a menu that answers at once may apply a value whose action deletes this
    // control before the prompt returns.
    SetDirty(false);
    mGraphics->PromptForControlValue(this, area, valIdx);
}

void IControl::StartAnimation(int durationMs)
{
    mAnimationStartMs = CanvasClock::NowMs();
    mAnimationDurationMs = durationMs;
}

double IControl::GetAnimationProgress() const
{
    if (!mAnimationFunc)
        return 0.0;
    if (mAnimationDurationMs <= 0)
        return 1.0;
    return (CanvasClock::NowMs() - mAnimationStartMs) / mAnimationDurationMs;
}

void IControl::Animate()
{
    if (mAnimationFunc)
        mAnimationFunc(this);
}

void IControl::SetTypedEventHandler(int kind, ITypedEventHandler handler)
{
    if (handler)
        mTypedEventHandlers[kind] = std::move(handler);
    else
        mTypedEventHandlers.erase(kind);
}

void IControl::MoveDrawRect(const IBounds& r)
{
    if (r == mRECT)
        return;
    if (mGraphics)
        mGraphics->InvalidateArea(mRECT);
    mRECT = r;
    mDirty = true;
}

void IControl::SetRECT(const IBounds& r)
{
    MoveDrawRect(r);
    mMouseIsOver = false;
    OnResize();
}

void IControl::SetTargetRECT(const IBounds& r)
{
    mTargetRECT = r;
    mMouseIsOver = false;
}

void IControl::SetTargetAndDrawRECTs(const IBounds& r)
{
    MoveDrawRect(r);
    mTargetRECT = r;
    mMouseIsOver = false;
    OnResize();
}

void IControl::SetMarker(bool show, const IArgbColor& color)
{
    mMarker = show;
    mMarkerColor = color;
    SetDirty(false);
}

void IControl::SetOwners(IEditorDelegate* delegate, ICanvas* graphics)
{
    mDelegate = delegate;
    mGraphics = graphics;
}

} // namespace plugkit::canvas
