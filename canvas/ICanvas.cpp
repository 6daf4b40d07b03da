#include "canvas/ICanvas.h"

#include "canvas/IControl.h"
#include "canvas/ICornerResizerControl.h"
#include "canvas/ITextEntryControl.h"
#include "plugkit/HeapString.h"
#include "plugkit/ICanvasEditorDelegate.h"
#include "plugkit/IParam.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace plugkit::canvas
{

namespace
{
/// Padding around a control's bounds for its dirty area and its drawing clip.
constexpr float kDirtyPadding = 0.75f;

bool IsUsableScale(float scale)
{
    return std::isfinite(scale) && scale > 0.f;
}
} // namespace

ICanvas::ICanvas(ICanvasEditorDelegate& dlg, int width, int height, int fps, float scale)
    : mWidth(width)
    , mHeight(height)
    , mFPS(fps)
    , mDrawScale(IsUsableScale(scale) ? scale : 1.f)
    , mDelegate(dlg)
{
    AddResourceCacheUsers();
}

ICanvas::~ICanvas()
{
    RemoveAllControls();
    mLayers.clear();
    RemoveResourceCacheUsers();
    // A gesture opened by hand and never closed still gets its end.
    for (int paramIdx = 0; paramIdx < static_cast<int>(mGestureCounts.size()); ++paramIdx)
    {
        if (mGestureCounts[static_cast<std::size_t>(paramIdx)] > 0)
        {
            mGestureCounts[static_cast<std::size_t>(paramIdx)] = 0;
            Editor().EndInformHostOfParamChangeFromUI(paramIdx);
        }
    }
}

IEditorDelegate& ICanvas::Editor() const
{
    return mDelegate;
}

// ---- Platform

void ICanvas::HideMouseCursor(bool hide, bool lock)
{
    // Platforms count hides and shows; only changes of state reach them.
    if (hide == mCursorHidden)
        return;
    mCursorHidden = hide;
    PlatformHideMouseCursor(hide, lock);
}

ECursorShape ICanvas::SetMouseCursor(ECursorShape shape)
{
    const ECursorShape previous = mCursorShape;
    mCursorShape = shape;
    return previous;
}

void ICanvas::CreatePlatformTextEntry(int, const ITextStyle&, const IBounds&, int, const char*) {}

IPopupMenu* ICanvas::CreatePlatformPopupMenu(IPopupMenu&, const IBounds&, bool& isAsync)
{
    isAsync = false;
    return nullptr;
}

// ---- Controls

IControl* ICanvas::AttachControl(IControl* control, int tag, const char* group)
{
    if (!control)
        return nullptr;
    if (tag >= 0 && !mTagMap.emplace(tag, control).second)
        return nullptr;
    control->SetOwners(&Editor(), this);
    control->OnInit();
    control->OnResize();
    control->OnRescale();
    control->SetGroup(group);
    mControls.push_back(control);
    control->OnAttached();
    return control;
}

void ICanvas::AttachTextEntryControl()
{
    if (mTextEntryControl)
        return;
    mTextEntryControl = new ITextEntryControl();
    mTextEntryControl->SetOwners(&Editor(), this);
    mTextEntryControl->OnInit();
    mTextEntryControl->OnResize();
    mTextEntryControl->OnRescale();
}

void ICanvas::AttachCornerResizer(EUIResizerMode mode,
                                  bool layoutOnResize,
                                  const IArgbColor& idleColor,
                                  const IArgbColor& mouseOverColor,
                                  const IArgbColor& dragColor,
                                  float size)
{
    if (mCornerResizer)
        return;
    mCornerResizer = new ICornerResizerControl(IBounds(0.f, 0.f, float(mWidth), float(mHeight)),
                                               size,
                                               idleColor,
                                               mouseOverColor,
                                               dragColor);
    mResizerMode = mode;
    mLayoutOnResize = layoutOnResize;
    mCornerResizer->SetOwners(&Editor(), this);
    mCornerResizer->OnInit();
    mCornerResizer->OnResize();
    mCornerResizer->OnRescale();
}

IControl* ICanvas::GetControlWithTag(int tag) const
{
    const auto it = mTagMap.find(tag);
    return it == mTagMap.end() ? nullptr : it->second;
}

IControl* ICanvas::GetControl(int idx) const
{
    if (idx < 0 || idx >= NControls())
        return nullptr;
    return mControls[static_cast<std::size_t>(idx)];
}

int ICanvas::GetControlIdx(const IControl* control) const
{
    const auto it = std::find(mControls.begin(), mControls.end(), control);
    return it == mControls.end() ? -1 : static_cast<int>(it - mControls.begin());
}

bool ICanvas::IsBackground(const IControl* control) const
{
    return !mControls.empty() && mControls.front() == control;
}

void ICanvas::ForStandardControls(const IControlFunc& func)
{
    for (int i = 0; i < NControls(); ++i)
        func(*mControls[static_cast<std::size_t>(i)]);
}

void ICanvas::ForEachControl(const IControlFunc& func)
{
    ForStandardControls(func);
    if (mCornerResizer)
        func(*mCornerResizer);
    if (mTextEntryControl)
        func(*mTextEntryControl);
}

void ICanvas::SetAllControlsDirty()
{
    ForEachControl([](IControl& c) { c.SetDirty(false, kNoValIdx); });
}

void ICanvas::SetAllControlsClean()
{
    ForEachControl([](IControl& c) { c.SetClean(); });
}

void ICanvas::UpdatePeerControls(IControl* source, int valIdx)
{
    if (!source || valIdx < 0 || valIdx >= source->NVals())
        return;
    const int paramIdx = source->GetParamIdx(valIdx);
    if (paramIdx < 0)
        return;
    const double value = source->GetValue(valIdx);
    ForStandardControls(
        [&](IControl& c)
        {
            if (&c == source)
                return;
            const int peerIdx = c.GetValIdxForParam(paramIdx);
            if (peerIdx >= 0)
                c.SetValueFromDelegate(value, peerIdx);
        });
}

void ICanvas::RemoveAllControls()
{
    if (mTextEntryOwner && !mTextEntryControl)
        CancelPlatformTextEntry();
    ReleaseCaptures();
    mMouseOver = nullptr;
    mMouseOverIdx = -1;
    // No later menu or text callback may reach a deleted control.
    mTextEntryOwner = nullptr;
    mPopupOwner = nullptr;
    mResizingInProgress = false;

    DestroyControl(mTextEntryControl);
    mTextEntryControl = nullptr;
    DestroyControl(mCornerResizer);
    mCornerResizer = nullptr;
    mTagMap.clear();
    while (!mControls.empty())
    {
        IControl* control = mControls.back();
        mControls.pop_back();
        DestroyControl(control);
    }
}

// ---- Values and messages from the plug-in

void ICanvas::SendControlValueFromDelegate(int ctrlTag, double normalizedValue)
{
    if (IControl* control = GetControlWithTag(ctrlTag))
        control->SetValueFromDelegate(normalizedValue, 0);
}

void ICanvas::SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* pData)
{
    if (IControl* control = GetControlWithTag(ctrlTag))
        control->OnMsgFromDelegate(msgTag, dataSize, pData);
}

void ICanvas::SendMidiMsgFromDelegate(const MidiMessage& msg)
{
    ForEachControl(
        [&](IControl& c)
        {
            if (c.GetWantsMidi())
                c.OnMidi(msg);
        });
}

void ICanvas::SendParameterValueFromDelegate(int paramIdx, double normalizedValue)
{
    ForEachControl(
        [&](IControl& c)
        {
            for (int i = 0; i < c.NVals(); ++i)
                if (c.GetParamIdx(i) == paramIdx)
                    c.SetValueFromDelegate(normalizedValue, i);
        });
}

// ---- Host gestures

void ICanvas::BeginParamGesture(int paramIdx)
{
    if (paramIdx < 0 || paramIdx >= Editor().NParams())
        return;
    if (paramIdx >= static_cast<int>(mGestureCounts.size()))
        mGestureCounts.resize(static_cast<std::size_t>(paramIdx) + 1, 0);
    if (mGestureCounts[static_cast<std::size_t>(paramIdx)]++ == 0)
        Editor().BeginInformHostOfParamChangeFromUI(paramIdx);
}

void ICanvas::EndParamGesture(int paramIdx)
{
    if (GetOpenGestureCount(paramIdx) == 0)
        return;
    if (--mGestureCounts[static_cast<std::size_t>(paramIdx)] == 0)
        Editor().EndInformHostOfParamChangeFromUI(paramIdx);
}

int ICanvas::GetOpenGestureCount(int paramIdx) const
{
    if (paramIdx < 0 || paramIdx >= static_cast<int>(mGestureCounts.size()))
        return 0;
    return mGestureCounts[static_cast<std::size_t>(paramIdx)];
}

void ICanvas::SendParameterValueFromControl(int paramIdx, double normalizedValue)
{
    if (paramIdx < 0 || paramIdx >= Editor().NParams() || !std::isfinite(normalizedValue))
        return;
    const bool ownGesture = GetOpenGestureCount(paramIdx) == 0;
    if (ownGesture)
        BeginParamGesture(paramIdx);
    Editor().SendParameterValueFromUI(paramIdx, normalizedValue);
    if (ownGesture)
        EndParamGesture(paramIdx);
}

// ---- Drawing cycle

void ICanvas::InvalidateArea(const IBounds& r)
{
    if (!r.Empty())
        mInvalidAreas.push_back(r);
}

bool ICanvas::IsDirty(DirtyRectList& rects)
{
    ForEachControl([](IControl& c) { c.Animate(); });
    bool dirty = !mInvalidAreas.empty();
    for (const IBounds& r : mInvalidAreas)
        rects.Add(r.GetPadded(kDirtyPadding));
    mInvalidAreas.clear();
    ForEachControl(
        [&](IControl& c)
        {
            if (!c.IsDirty())
                return;
            dirty = true;
            // The area is queued now and painted by the window layer, so the flag is spent.
            if (!c.GetRECT().Empty())
                rects.Add(c.GetRECT().GetPadded(kDirtyPadding));
            c.SetClean();
        });
    return dirty;
}

void ICanvas::DrawDirtyRects(DirtyRectList& rects)
{
    if (rects.Empty())
        return;
    const float scale = GetTotalScale();
    BeginFrame();
    rects.PixelAlign(scale);
    rects.Optimize();
    for (int i = 0; i < rects.Size(); ++i)
    {
        const IBounds area = rects.Get(i);
        ForEachControl([&](IControl& c) { DrawControl(&c, area, scale); });
    }
    EndFrame();
}

void ICanvas::DrawControl(IControl* control, const IBounds& area, float scale)
{
    if (!control || control->GetRECT().Empty() || area.Empty())
        return;
    if (control->IsHidden() && !IsBackground(control))
        return;
    const IBounds clip =
        control->GetRECT().GetPadded(kDirtyPadding).GetPixelSnapped(scale).Intersect(area);
    if (clip.W() <= 0.f || clip.H() <= 0.f)
        return;
    PathTransformReset(true);
    PathClear();
    SetClipRegion(clip);
    mDrawArea = clip;
    control->Draw(*this);
    OnControlDrawn(clip);
}

// ---- Input dispatch

IControl*
ICanvas::GetControlAtPoint(float x, float y, bool capture, bool mouseOver, int64_t touchId)
{
    const auto captured = mCaptures.find(touchId);
    if (captured != mCaptures.end() && captured->second.control)
        return captured->second.control;

    IControl* result = nullptr;
    int resultIdx = -1;
    if (mTextEntryControl && mTextEntryControl->IsEditing())
        result = mTextEntryControl;
    else if (mCornerResizer && mCornerResizer->GetRECT().Contains(x, y))
        result = mCornerResizer;
    else if (!mouseOver || mEnableMouseOver)
    {
        // The background (index 0) takes presses but never mouse-over.
        const int lowest = mouseOver ? 1 : 0;
        for (int i = NControls() - 1; i >= lowest; --i)
        {
            IControl* c = mControls[static_cast<std::size_t>(i)];
            if (c->IsHidden() || c->GetIgnoreMouse())
                continue;
            if (c->IsDisabled() &&
                !(mouseOver ? c->GetMouseOverWhenDisabled() : c->GetMouseEventsWhenDisabled()))
                continue;
            if (capture && !c->GetWantsMultiTouch() && IsControlCaptured(c))
                continue;
            if (!c->IsHit(x, y))
                continue;
            result = c;
            resultIdx = i;
            break;
        }
    }

    if (capture && result)
        mCaptures.emplace(touchId, Capture{result, {}});
    if (mouseOver)
        mMouseOverIdx = resultIdx;
    return result;
}

void ICanvas::BeginControlGestures(IControl& control, Capture& capture)
{
    for (int i = 0; i < control.NVals(); ++i)
    {
        const int paramIdx = control.GetParamIdx(i);
        if (paramIdx < 0 || paramIdx >= Editor().NParams())
            continue;
        BeginParamGesture(paramIdx);
        capture.gestures.push_back(paramIdx);
    }
}

void ICanvas::EndCaptureGestures(Capture& capture)
{
    for (int paramIdx : capture.gestures)
        EndParamGesture(paramIdx);
    capture.gestures.clear();
}

void ICanvas::OnMouseDown(const std::vector<IMouseEvent>& events)
{
    if (events.size() == 1)
    {
        mMouseDownX = events.front().x;
        mMouseDownY = events.front().y;
    }
    for (const IMouseEvent& e : events)
    {
        IControl* control = GetControlAtPoint(e.x, e.y, true, false, e.ms.touchID);
        if (!control)
            continue;
        int valIdx = control->GetValIdxForPos(e.x, e.y);
        if (valIdx < 0 || valIdx >= control->NVals())
            valIdx = 0;
        const int paramIdx = control->GetParamIdx(valIdx);
        if (e.ms.R && paramIdx >= 0)
        {
            ReleaseMouseCapture();
            ShowParamContextMenu(control, paramIdx, e.x, e.y);
            return;
        }
        const auto captured = mCaptures.find(e.ms.touchID);
        if (captured != mCaptures.end() && captured->second.control == control)
        {
            BeginControlGestures(*control, captured->second);
            captured->second.pressed = true;
        }
        // The press may release captures or even replace the controls: touch nothing after.
        control->OnMouseDown(e.x, e.y, e.ms);
    }
}

void ICanvas::OnMouseUp(const std::vector<IMouseEvent>& events)
{
    if (!mCaptures.empty())
    {
        for (const IMouseEvent& e : events)
        {
            auto captured = mCaptures.find(e.ms.touchID);
            if (captured == mCaptures.end())
                continue;
            captured->second.control->OnMouseUp(e.x, e.y, e.ms);
            // The release may have ended the capture itself (and with it the gestures).
            captured = mCaptures.find(e.ms.touchID);
            if (captured == mCaptures.end())
                continue;
            Capture ended = std::move(captured->second);
            mCaptures.erase(captured);
            EndCaptureGestures(ended);
        }
    }

    if (mResizingInProgress)
        EndCornerResize();

    if (events.size() == 1 && events.front().ms.touchID == 0)
        OnMouseOver(events.front().x, events.front().y, events.front().ms);
}

void ICanvas::OnMouseDrag(const std::vector<IMouseEvent>& events)
{
    if (mResizingInProgress && events.size() == 1)
    {
        ResizeByCornerDrag(events.front().x, events.front().y);
        return;
    }
    if (mCaptures.empty())
        return;
    const bool textEntryOpen = mTextEntryOwner != nullptr;
    if (textEntryOpen && !mTextEntryControl)
        return;
    for (const IMouseEvent& e : events)
    {
        const auto captured = mCaptures.find(e.ms.touchID);
        if (captured == mCaptures.end())
            continue;
        IControl* control = captured->second.control;
        if (textEntryOpen && control != mTextEntryControl)
            continue;
        if (e.dX == 0.f && e.dY == 0.f)
            continue;
        control->OnMouseDrag(e.x, e.y, e.dX, e.dY, e.ms);
    }
}

void ICanvas::EndCornerResize()
{
    mResizingInProgress = false;
    if (mResizerMode == EUIResizerMode::Size)
    {
        if (mCornerResizer)
            mCornerResizer->SetDirty(false, kNoValIdx);
    }
    else
    {
        ForEachControl([](IControl& c) { c.OnRescale(); });
        SetAllControlsDirty();
    }
}

void ICanvas::ResizeByCornerDrag(float x, float y)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    if (mResizerMode == EUIResizerMode::Size)
    {
        // Held first so the conversion to int is defined; the delegate's limits apply after.
        constexpr float kMaxExtent = 1.0e6f;
        Resize(static_cast<int>(std::clamp(x, 0.f, kMaxExtent)),
               static_cast<int>(std::clamp(y, 0.f, kMaxExtent)),
               mDrawScale,
               true);
        return;
    }
    // The scale follows the pointer's distance from the editor's top-left corner relative
    // to that at the press, the smaller axis deciding.
    if (!(mMouseDownX > 0.f && mMouseDownY > 0.f))
        return;
    const float scale = std::min(mDrawScale * y / mMouseDownY, mDrawScale * x / mMouseDownX);
    Resize(mWidth, mHeight, scale, true);
}

bool ICanvas::OnMouseDblClick(float x, float y, const IMouseModifiers& mod)
{
    IControl* control = GetControlAtPoint(x, y, true, false, 0);
    if (!control)
        return false;
    if (control->GetDblAsSingleClick())
    {
        IMouseEvent e;
        e.x = x;
        e.y = y;
        e.ms = mod;
        e.ms.touchID = 0;
        OnMouseDown({e});
    }
    else
    {
        control->OnMouseDblClick(x, y, mod);
        ReleaseMouseCapture();
    }
    return true;
}

bool ICanvas::OnMouseOver(float x, float y, const IMouseModifiers& mod)
{
    IControl* control = GetControlAtPoint(x, y, false, true, 0);
    if (control != mMouseOver)
    {
        if (mMouseOver)
            mMouseOver->OnMouseOut();
        mMouseOver = control;
    }
    if (control)
        control->OnMouseOver(x, y, mod);
    return control != nullptr;
}

void ICanvas::OnMouseOut()
{
    mCursorShape = SetMouseCursor(ECursorShape::Arrow);
    ForEachControl([](IControl& c) { c.OnMouseOut(); });
    mMouseOver = nullptr;
    mMouseOverIdx = -1;
}

bool ICanvas::OnMouseWheel(float x, float y, const IMouseModifiers& mod, float delta)
{
    IControl* control = GetControlAtPoint(x, y, false, false, 0);
    if (!control)
        return false;
    control->OnMouseWheel(x, y, mod, delta);
    return true;
}

bool ICanvas::OnKeyDown(float x, float y, const IKeyEvent& key)
{
    IControl* control = GetControlAtPoint(x, y, false, false, 0);
    return control && !IsBackground(control) && control->OnKeyDown(x, y, key);
}

bool ICanvas::OnKeyUp(float x, float y, const IKeyEvent& key)
{
    IControl* control = GetControlAtPoint(x, y, false, false, 0);
    return control && !IsBackground(control) && control->OnKeyUp(x, y, key);
}

void ICanvas::OnDrop(const char* path, float x, float y)
{
    if (IControl* control = GetControlAtPoint(x, y, false, false, 0))
        control->OnDrop(path);
}

void ICanvas::OnDropMultiple(const std::vector<const char*>& paths, float x, float y)
{
    if (IControl* control = GetControlAtPoint(x, y, false, false, 0))
        control->OnDropMultiple(paths);
}

void ICanvas::ReleaseMouseCapture()
{
    ReleaseCaptures();
    // The release of a corner drag will not come now: without this the next drag, wherever
    // it starts, would go on resizing the editor.
    if (mResizingInProgress)
        EndCornerResize();
}

void ICanvas::ReleaseCaptures()
{
    if (!mCaptures.empty())
    {
        std::unordered_map<int64_t, Capture> released;
        released.swap(mCaptures);
        std::vector<IControl*> told;
        for (auto& [touchId, capture] : released)
        {
            EndCaptureGestures(capture);
            if (capture.pressed &&
                std::find(told.begin(), told.end(), capture.control) == told.end())
                told.push_back(capture.control);
        }
        for (IControl* control : told)
            control->OnCaptureLost();
    }
    if (mCursorHidden)
        HideMouseCursor(false, true);
}

bool ICanvas::IsControlCaptured(const IControl* control) const
{
    for (const auto& [touchId, capture] : mCaptures)
        if (capture.control == control)
            return true;
    return false;
}

void ICanvas::EnableTooltips(bool enable)
{
    mEnableTooltips = enable;
    if (enable)
        mEnableMouseOver = true;
}

// ---- Size and scale

void ICanvas::Resize(int width, int height, float scale, bool needsPlatformResize)
{
    if (!std::isfinite(scale))
        scale = mDrawScale;
    Editor().ConstrainEditorResize(width, height);
    const float newScale = std::min(mMaxScale, std::max(mMinScale, scale));
    if (width == mWidth && height == mHeight && newScale == mDrawScale)
        return;

    // Captures end, but a corner drag that may be driving this resize goes on.
    ReleaseCaptures();
    mWidth = width;
    mHeight = height;
    mDrawScale = newScale;
    if (mCornerResizer)
        mCornerResizer->OnRescale();
    ResizeWindowToEditor(needsPlatformResize);

    ForEachControl([](IControl& c) { c.OnResize(); });
    SetAllControlsDirty();
    DrawResize();
    if (mLayoutOnResize)
        mDelegate.LayoutUI(this);
    OnResizeComplete();
}

void ICanvas::SetScreenScale(float scale)
{
    if (!IsUsableScale(scale))
        return;
    mScreenScale = scale;
    ResizeWindowToEditor(true);
    ForEachControl([](IControl& c) { c.OnRescale(); });
    SetAllControlsDirty();
    DrawResize();
}

void ICanvas::ResizeWindowToEditor(bool needsPlatformResize)
{
    const float windowScale = GetPlatformWindowScale();
    const int viewWidth = static_cast<int>(windowScale * static_cast<int>(mWidth * mDrawScale));
    const int viewHeight = static_cast<int>(windowScale * static_cast<int>(mHeight * mDrawScale));
    PlatformResize(Editor().EditorResizeFromUI(viewWidth, viewHeight, needsPlatformResize));
}

void ICanvas::SetScaleConstraints(float a, float b)
{
    if (!IsUsableScale(a) || !IsUsableScale(b))
        return;
    mMinScale = std::min(a, b);
    mMaxScale = std::max(a, b);
}

} // namespace plugkit::canvas
