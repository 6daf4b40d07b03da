#pragma once

#include "canvas/CanvasTypes.h"

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

// The plug-in module build compiles the toolkit with PLUGKIT_VST3 defined: every control is
// then also a VST3 context-menu target, so a host's parameter context menu can call back
// into the control that contributed items to it. The stand-alone build has neither base.
#if defined(PLUGKIT_VST3)
#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#endif

namespace plugkit
{
class IEditorDelegate;
class IParam;
struct MidiMessage;
} // namespace plugkit

namespace plugkit::canvas
{

class ICanvas;
class IControl;
class IPopupMenu;
#if defined(PLUGKIT_VST3)
class ContextMenuTarget;
#endif

/// A function object run with a control: actions, animations, animation ends.
using IControlActionFunc = std::function<void(IControl*)>;

/// An event for the typed-event handlers: a kind chosen by the sender and its data.
struct ITypedEvent
{
    int kind = 0;
    const void* data = nullptr;
};

using ITypedEventHandler = std::function<bool(IControl*, const ITypedEvent&)>;

inline constexpr int kNoParameter = -1;
inline constexpr int kNoValIdx = -1;

/// The base of everything drawn in the editor. A control owns a drawing rectangle, a hit
/// rectangle, a text style, a list of normalised values (each optionally bound to a plug-in
/// parameter), behaviour flags and three function objects. Its `ICanvas` owns it, draws it
/// and routes events to it; it reaches the plug-in only through the editor delegate.
class IControl
#if defined(PLUGKIT_VST3)
    : public Steinberg::Vst::IContextMenuTarget,
      public Steinberg::FObject
#endif
{
public:
    /// One value binds to `paramIdx` (kNoParameter for none); `action` may be empty.
    explicit IControl(const IBounds& bounds,
                      int paramIdx = kNoParameter,
                      IControlActionFunc action = nullptr);
    /// One value per entry of `params`, in order (an empty list still gives one value).
    IControl(const IBounds& bounds,
             std::initializer_list<int> params,
             IControlActionFunc action = nullptr);
    virtual ~IControl();
    IControl(const IControl&) = delete;
    IControl& operator=(const IControl&) = delete;

#if defined(PLUGKIT_VST3)
    // [ui-thread] The host reports the choice of an item this control added to its menu.
    Steinberg::tresult PLUGIN_API executeMenuItem(Steinberg::int32 tag) SMTG_OVERRIDE;

    /// The target the host's context menu reports this control's items to: a small object of
    /// its own that a host may keep after the menu closes, and that forwards only while this
    /// control lives. Never null; owned by the control (and by whoever else references it).
    Steinberg::Vst::IContextMenuTarget* GetContextMenuTarget();

    OBJ_METHODS(IControl, Steinberg::FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::Vst::IContextMenuTarget)
    END_DEFINE_INTERFACES(Steinberg::FObject)
    REFCOUNT_METHODS(Steinberg::FObject)
#endif

    // Pointer, wheel and key events, in editor units. [ui-thread]

    /// Default: a right click opens the value prompt of the value under the pointer.
    virtual void OnMouseDown(float x, float y, const IMouseModifiers& mod);
    virtual void OnMouseUp(float x, float y, const IMouseModifiers& mod);
    /// Called only when dX or dY is non-zero.
    virtual void OnMouseDrag(float x, float y, float dX, float dY, const IMouseModifiers& mod);
    /// Default: the value under the pointer returns to its parameter's default.
    virtual void OnMouseDblClick(float x, float y, const IMouseModifiers& mod);
    virtual void OnMouseWheel(float x, float y, const IMouseModifiers& mod, float delta);
    virtual bool OnKeyDown(float x, float y, const IKeyEvent& key);
    virtual bool OnKeyUp(float x, float y, const IKeyEvent& key);
    virtual void OnMouseOver(float x, float y, const IMouseModifiers& mod);
    virtual void OnMouseOut();
    /// The pointer capture ended before the release of this control's press could reach it
    /// (a resize, the controls being removed, the window losing the capture, a menu
    /// opening). Only a control that received the press is told. The host gesture has
    /// already been closed; a control undoes what its press began.
    virtual void OnCaptureLost();
    virtual void OnDrop(const char* path);
    /// Default: the first path goes to `OnDrop`; an empty list does nothing.
    virtual void OnDropMultiple(const std::vector<const char*>& paths);

    // Life cycle. [ui-thread]

    /// On attach and after every editor resize or rescale.
    virtual void OnRescale();
    /// On attach and whenever the bounds are set.
    virtual void OnResize();
    /// First call of attaching, after delegate and graphics are set.
    virtual void OnInit();
    /// Last call of attaching.
    virtual void OnAttached();

    // Messages. [ui-thread]

    virtual void OnMsgFromDelegate(int msgTag, int dataSize, const void* pData);
    virtual void OnMidi(const MidiMessage& msg);
    /// Runs the handler registered for the event's kind; false when there is none.
    virtual bool OnTypedEvent(const ITypedEvent& event);

    // Menus and text entry. [ui-thread]

    /// Lets the control add items before its parameter's context menu is shown.
    virtual void CreateContextMenu(IPopupMenu& menu);
    /// A value menu completed; `menu` is null when nothing was chosen. Default: the chosen
    /// index, as a value of the parameter bound to `valIdx`, becomes that value (prompts
    /// enabled only).
    virtual void OnPopupMenuSelection(IPopupMenu* menu, int valIdx);
    /// Text typed for a value that has no parameter.
    virtual void OnTextEntryCompletion(const char* text, int valIdx);
    /// An item this control added to a context menu was chosen.
    virtual void OnContextMenuSelection(int itemIdx);

    // Drawing. [ui-thread]

    virtual void Draw(ICanvas& g) = 0;
    /// When the marker flag is set: a dot of radius 2 near the top-right corner.
    virtual void DrawMarker(ICanvas& g);

    // Values. [ui-thread]

    /// Binds value `valIdx` to `paramIdx`; an index outside the value list changes nothing.
    virtual void SetParamIdx(int paramIdx, int valIdx = 0);
    /// The value index under the point: 0 for a one-value control, else kNoValIdx.
    virtual int GetValIdxForPos(float x, float y) const;
    /// A value from the plug-in or host; ignored while a pointer holds this control.
    virtual void SetValueFromDelegate(double value, int valIdx = 0);
    /// A value the user chose; reaches the plug-in and host when it differs.
    virtual void SetValueFromUserInput(double value, int valIdx = 0);
    /// Bound values return to their parameters' defaults (kNoValIdx: every value).
    virtual void SetValueToDefault(int valIdx = kNoValIdx);
    /// Stores a normalised value, nothing else; a non-finite value is ignored.
    virtual void SetValue(double value, int valIdx = 0);
    virtual void SetText(const ITextStyle& style);
    /// Moves the top-left to (x, y), negative coordinates taken as 0; sizes kept.
    virtual void SetPosition(float x, float y);
    /// Negative sizes taken as 0; bounds and target bounds both get the size.
    virtual void SetSize(float width, float height);
    virtual void Hide(bool hide);
    /// Disabled controls draw at blend weight 0.25.
    virtual void SetDisabled(bool disable);
    virtual void SetIgnoreMouse(bool ignore);
    /// The target bounds contain the point.
    virtual bool IsHit(float x, float y) const;
    /// Holds values within [0, 1], marks the control dirty and, with `triggerAction`,
    /// sends bound values to the plug-in, updates peers and runs the action function.
    virtual void SetDirty(bool triggerAction = true, int valIdx = kNoValIdx);
    virtual void SetClean();
    /// True while an animation function is set, else the dirty flag.
    virtual bool IsDirty();
    /// The handler table is non-empty and no animation runs.
    virtual bool WantsTypedEvents() const;
    /// Sets the value from a pointer position inside `r` (horizontal when `direction` is
    /// non-zero), rounded to 0.001 and held within [lo, hi]. Nothing happens when `r` has no
    /// extent along the direction or the position is not finite.
    virtual void SnapToMouse(float x,
                             float y,
                             int direction,
                             const IBounds& r,
                             int valIdx = kNoValIdx,
                             double lo = 0.0,
                             double hi = 1.0);
    /// Drops the animation function, redraws, then runs the animation-end function.
    virtual void OnEndAnimation();

    // Non-virtual operations.

    int NVals() const
    {
        return static_cast<int>(mVals.size());
    }
    /// Precondition for the next two: 0 <= valIdx < NVals().
    double GetValue(int valIdx = 0) const
    {
        return mVals[static_cast<std::size_t>(valIdx)].value;
    }
    int GetParamIdx(int valIdx = 0) const
    {
        return mVals[static_cast<std::size_t>(valIdx)].paramIdx;
    }
    /// The delegate's parameter bound to `valIdx`; null when unbound, unattached or out of range.
    IParam* GetParam(int valIdx = 0) const;
    /// The first value index bound to `paramIdx`, kNoValIdx when none.
    int GetValIdxForParam(int paramIdx) const;
    /// The value prompt of the default right click, for a given index.
    void PromptUserInput(int valIdx = 0);

    void SetAnimation(IControlActionFunc func)
    {
        mAnimationFunc = std::move(func);
    }
    const IControlActionFunc& GetAnimationFunction() const
    {
        return mAnimationFunc;
    }
    void SetAnimationEndActionFunction(IControlActionFunc func)
    {
        mAnimationEndFunc = std::move(func);
    }
    void SetActionFunction(IControlActionFunc func)
    {
        mActionFunc = std::move(func);
    }
    const IControlActionFunc& GetActionFunction() const
    {
        return mActionFunc;
    }
    /// Records the clock's time and the duration.
    void StartAnimation(int durationMs);
    /// (now - start) / duration; 0 when no animation function is set.
    double GetAnimationProgress() const;
    /// Runs the animation function when one is set; the canvas calls it once per frame.
    void Animate();

    void SetTypedEventHandler(int kind, ITypedEventHandler handler);
    int GetLastTypedEventKind() const
    {
        return mLastTypedEventKind;
    }

    const IBounds& GetRECT() const
    {
        return mRECT;
    }
    const IBounds& GetTargetRECT() const
    {
        return mTargetRECT;
    }
    /// Bounds = r, mouse-over cleared, `OnResize`. A control that moves or changes size is
    /// drawn anew, and so is the area it left.
    void SetRECT(const IBounds& r);
    /// Hit bounds = r, mouse-over cleared.
    void SetTargetRECT(const IBounds& r);
    /// Both = r, mouse-over cleared, `OnResize`.
    void SetTargetAndDrawRECTs(const IBounds& r);

    const ITextStyle& GetText() const
    {
        return mText;
    }
    const IBlendSpec& GetBlend() const
    {
        return mBlend;
    }
    int GetTextEntryLength() const
    {
        return mTextEntryLength;
    }
    void SetTextEntryLength(int length)
    {
        mTextEntryLength = length;
    }
    const char* GetGroup() const
    {
        return mGroup.c_str();
    }
    void SetGroup(const char* group)
    {
        mGroup = group ? group : "";
    }
    const char* GetTooltip() const
    {
        return mTooltip.c_str();
    }
    void SetTooltip(const char* text)
    {
        mTooltip = text ? text : "";
    }

    bool IsHidden() const
    {
        return mHide;
    }
    bool IsDisabled() const
    {
        return mDisabled;
    }
    bool GetIgnoreMouse() const
    {
        return mIgnoreMouse;
    }
    bool GetPromptDisabled() const
    {
        return mPromptDisabled;
    }
    void DisablePrompt(bool disable)
    {
        mPromptDisabled = disable;
    }
    bool GetDblAsSingleClick() const
    {
        return mDblAsSingleClick;
    }
    void SetDblAsSingleClick(bool single)
    {
        mDblAsSingleClick = single;
    }
    bool GetMouseOverWhenDisabled() const
    {
        return mMouseOverWhenDisabled;
    }
    void SetMouseOverWhenDisabled(bool allow)
    {
        mMouseOverWhenDisabled = allow;
    }
    bool GetMouseEventsWhenDisabled() const
    {
        return mMouseEventsWhenDisabled;
    }
    void SetMouseEventsWhenDisabled(bool allow)
    {
        mMouseEventsWhenDisabled = allow;
    }
    bool GetWantsMidi() const
    {
        return mWantsMidi;
    }
    void SetWantsMidi(bool wants)
    {
        mWantsMidi = wants;
    }
    bool GetWantsMultiTouch() const
    {
        return mWantsMultiTouch;
    }
    void SetWantsMultiTouch(bool wants)
    {
        mWantsMultiTouch = wants;
    }
    bool GetPromptShowsParamLabel() const
    {
        return mPromptShowsParamLabel;
    }
    void SetPromptShowsParamLabel(bool shows)
    {
        mPromptShowsParamLabel = shows;
    }
    bool GetMouseIsOver() const
    {
        return mMouseIsOver;
    }
    void SetMarker(bool show, const IArgbColor& color = kColorRed);

    IEditorDelegate* GetDelegate() const
    {
        return mDelegate;
    }
    ICanvas* GetUI() const
    {
        return mGraphics;
    }
    /// Called by the canvas when it takes the control over.
    void SetOwners(IEditorDelegate* delegate, ICanvas* graphics);

protected:
    struct Value
    {
        int paramIdx = kNoParameter;
        double value = 0.0;
    };

    IBounds mRECT;
    IBounds mTargetRECT;
    std::string mGroup;
    ITextStyle mText = kDefaultTextStyle;
    IBlendSpec mBlend;
    int mTextEntryLength = 7;

    bool mDirty = true;
    bool mHide = false;
    bool mDisabled = false;
    bool mPromptDisabled = true;
    bool mDblAsSingleClick = false;
    bool mMouseOverWhenDisabled = false;
    bool mMouseEventsWhenDisabled = false;
    bool mIgnoreMouse = false;
    bool mWantsMidi = false;
    bool mWantsMultiTouch = false;
    bool mPromptShowsParamLabel = false;
    bool mMouseIsOver = false;

    std::string mTooltip;
    IArgbColor mMarkerColor = kColorRed;
    bool mMarker = false;

    IEditorDelegate* mDelegate = nullptr;
    ICanvas* mGraphics = nullptr;

    IControlActionFunc mActionFunc;
    IControlActionFunc mAnimationEndFunc;
    IControlActionFunc mAnimationFunc;
    double mAnimationStartMs = 0.0;
    int mAnimationDurationMs = 0;

    std::vector<Value> mVals;
    std::map<int, ITypedEventHandler> mTypedEventHandlers;
    int mLastTypedEventKind = -1;

private:
    /// Sets the drawing bounds; a change redraws the control and the area it left.
    void MoveDrawRect(const IBounds& r);

#if defined(PLUGKIT_VST3)
    ContextMenuTarget* mContextMenuTarget = nullptr;
#endif

    bool IsValidValIdx(int valIdx) const
    {
        return valIdx >= 0 && valIdx < NVals();
    }
};

/// Deletes a control the canvas owns (through its reference count in the plug-in module,
/// where the host may still hold one).
void DestroyControl(IControl* control);

} // namespace plugkit::canvas
