#pragma once

#include "canvas/CanvasTypes.h"
#include "canvas/DirtyRectList.h"
#include "canvas/IPopupMenu.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace plugkit
{
class IEditorDelegate;
struct MidiMessage;
} // namespace plugkit

namespace plugkit::canvas
{

class ICanvasEditorDelegate;
class IControl;
class ICornerResizerControl;
class ITextEntryControl;

/// How the corner resizer changes the editor.
enum class EUIResizerMode : int
{
    Scale = 0, ///< the layout size stays, the draw scale follows the pointer
    Size = 1,  ///< the draw scale stays, the layout size follows the pointer
    kNumResizerModes
};

/// The toolkit's editor object, one per open editor window. It owns the controls, keeps the
/// editor's size and scales, collects dirty areas once per display tick and draws them,
/// and dispatches pointer and key events to the controls.
///
/// Host gestures: every value a user changes reaches the host between a begin and an end
/// edit. A press opens a gesture on every parameter bound to the pressed control and its
/// release (or the loss of the capture) closes it; a value sent while no gesture is open
/// on its parameter gets a gesture of its own. Gestures are counted per parameter, so the
/// host sees one begin when the first opens and one end when the last closes, and never an
/// end without a begin.
///
/// Editor units: layout size x draw scale = logical pixels; x screen scale = device pixels.
/// Everything here runs on the UI thread.
class ICanvas
{
public:
    using IControlFunc = std::function<void(IControl&)>;

    /// `width` x `height` editor units at draw scale `scale` (1 when not positive and
    /// finite); `dlg` owns this object and outlives it.
    ICanvas(ICanvasEditorDelegate& dlg, int width, int height, int fps = 60, float scale = 1.f);
    virtual ~ICanvas();
    ICanvas(const ICanvas&) = delete;
    ICanvas& operator=(const ICanvas&) = delete;

    // ---- Frame hooks of the back end.

    virtual void BeginFrame() {}
    virtual void EndFrame() {}
    virtual void OnViewCreated() {}
    virtual void OnViewDestroyed() {}
    /// After each control has drawn, with the area it was clipped to.
    virtual void OnControlDrawn(const IBounds& area) { (void)area; }

    // ---- Drawing: the operations the toolkit's own controls and drawing cycle use. The
    // shape family draws nothing here; the drawing back end paints them.

    virtual void PathClear() = 0;
    virtual void PathTransformSetMatrix(const IAffineTransform& transform) = 0;
    /// Restricts drawing to `r` (untransformed editor units).
    virtual void SetClipRegion(const IBounds& r) = 0;
    virtual void FillTriangle(const IArgbColor& color,
                              float x1,
                              float y1,
                              float x2,
                              float y2,
                              float x3,
                              float y3,
                              const IBlendSpec* blend = nullptr);
    virtual void FillCircle(
        const IArgbColor& color, float cx, float cy, float r, const IBlendSpec* blend = nullptr);

    /// Identity transform, applied; `clearStack` also empties the saved transforms.
    void PathTransformReset(bool clearStack = false);
    const IAffineTransform& GetTransform() const { return mTransform; }
    /// The area being drawn (the clip of the control being drawn).
    const IBounds& GetDrawArea() const { return mDrawArea; }

    // ---- Platform operations of the window layer.

    /// Opens the native window inside `pParent`; returns the native window, null on failure.
    virtual void* OpenWindow(void* pParent) = 0;
    /// Closes the native window; the object stays until it is deleted.
    virtual void CloseWindow() = 0;
    virtual void* GetWindow() = 0;
    virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
    /// Pointer position in editor units; false when the platform could not tell.
    virtual bool GetMouseLocation(float& x, float& y) const = 0;
    /// Hides (and with `lock` holds in place) or shows the pointer.
    void HideMouseCursor(bool hide = true, bool lock = true);
    virtual void MoveMouseCursor(float x, float y) = 0;
    /// Stores the shape and returns the one in force before.
    virtual ECursorShape SetMouseCursor(ECursorShape shape = ECursorShape::Arrow);
    virtual bool SupportsMultiTouch() const { return false; }
    /// Factor from editor pixels to the native window's size.
    virtual float GetPlatformWindowScale() const { return 1.f; }
    /// Makes the native window follow the editor's size when `parentHasResized` is set.
    virtual void PlatformResize(bool parentHasResized) { (void)parentHasResized; }
    /// Re-creates the back buffer after a change of size or scale.
    virtual void DrawResize() {}
    virtual void OnResizeComplete() {}
    /// Opens the platform's own text field (when no in-editor field is attached).
    virtual void CreatePlatformTextEntry(
        int paramIdx, const ITextStyle& style, const IBounds& bounds, int length, const char* text);
    virtual void CancelPlatformTextEntry() {}
    /// Shows `menu` and returns the menu (or submenu) holding the chosen item, null for none;
    /// sets `isAsync` when the result comes later through `DeliverPopupMenuResult`.
    virtual IPopupMenu*
    CreatePlatformPopupMenu(IPopupMenu& menu, const IBounds& bounds, bool& isAsync);

    // ---- Controls.

    /// Attaches and takes over `control`; returns it. A tag already in use: null, and the
    /// caller keeps the control.
    IControl* AttachControl(IControl* control, int tag = -1, const char* group = "");
    /// Creates the in-editor text field once.
    void AttachTextEntryControl();
    /// Creates the corner resizer once (a second call changes nothing).
    void AttachCornerResizer(EUIResizerMode mode = EUIResizerMode::Scale,
                             bool layoutOnResize = false,
                             const IArgbColor& idleColor = kColorTranslucentBlack,
                             const IArgbColor& mouseOverColor = kColorBlack,
                             const IArgbColor& dragColor = kColorBlack,
                             float size = 20.f);
    IControl* GetControlWithTag(int tag) const;
    int NControls() const { return static_cast<int>(mControls.size()); }
    /// Null outside 0 .. NControls() - 1.
    IControl* GetControl(int idx) const;
    /// List index of an attached control; -1 for others and for the special controls.
    int GetControlIdx(const IControl* control) const;
    ICornerResizerControl* GetCornerResizer() const { return mCornerResizer; }
    ITextEntryControl* GetTextEntryControl() const { return mTextEntryControl; }
    /// Every attached control in list order, then the corner resizer, then the text field.
    void ForEachControl(const IControlFunc& func);
    /// Every attached control in list order.
    void ForStandardControls(const IControlFunc& func);
    void SetAllControlsDirty();
    void SetAllControlsClean();
    /// Other controls bound to the parameter of `source`'s value `valIdx` take its value.
    void UpdatePeerControls(IControl* source, int valIdx);
    /// Ends every gesture and capture, forgets the text-entry and popup owners and deletes
    /// every control.
    void RemoveAllControls();

    // ---- Values and messages from the plug-in (the delegate's forwarding). [ui-thread]

    /// The control with `ctrlTag`, when attached, takes `normalizedValue` as its value 0.
    virtual void SendControlValueFromDelegate(int ctrlTag, double normalizedValue);
    virtual void
    SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* pData);
    /// Every control that wants MIDI receives the message.
    virtual void SendMidiMsgFromDelegate(const MidiMessage& msg);
    /// Every control value bound to `paramIdx` takes `normalizedValue`.
    virtual void SendParameterValueFromDelegate(int paramIdx, double normalizedValue);

    // ---- Host gestures.

    /// Opens a gesture on `paramIdx`; the host hears only the first.
    void BeginParamGesture(int paramIdx);
    /// Closes one; the host hears only the last. Ignored when none is open.
    void EndParamGesture(int paramIdx);
    int GetOpenGestureCount(int paramIdx) const;
    /// A value a control changed: sent to the plug-in and host inside a gesture.
    void SendParameterValueFromControl(int paramIdx, double normalizedValue);

    // ---- Drawing cycle.

    /// Runs the animations, then appends the padded bounds of every dirty control (which
    /// is then clean). True when at least one was dirty.
    bool IsDirty(DirtyRectList& rects);
    /// Snaps the areas to device pixels, optimises them and draws every control in each.
    void DrawDirtyRects(DirtyRectList& rects);
    /// Draws `control` clipped to its padded, pixel-snapped bounds within `area`.
    void DrawControl(IControl* control, const IBounds& area, float scale);

    // ---- Input dispatch. Positions in editor units.

    /// Captured control, open text field, corner resizer, then the topmost hit control.
    IControl* GetControlAtPoint(
        float x, float y, bool capture = false, bool mouseOver = false, int64_t touchId = 0);
    /// One event per pointer. Each pointer captures the control it presses, which then gets
    /// that pointer's drags and release wherever they go; the press opens a gesture on every
    /// parameter bound to it. A right press on a bound control opens its context menu
    /// instead (no gesture, no press delivered).
    void OnMouseDown(const std::vector<IMouseEvent>& events);
    /// The captured controls' releases, then their gestures close; ends a corner drag.
    void OnMouseUp(const std::vector<IMouseEvent>& events);
    /// Moves with dX = dY = 0 are not delivered; while a text field is open only it drags.
    void OnMouseDrag(const std::vector<IMouseEvent>& events);
    /// A press for controls that take double clicks as single clicks, else the control's
    /// double click and the end of the capture. False when no control is there.
    bool OnMouseDblClick(float x, float y, const IMouseModifiers& mod);
    /// Tracks the control under the pointer (never the background); false when none.
    bool OnMouseOver(float x, float y, const IMouseModifiers& mod);
    /// The pointer left the window.
    void OnMouseOut();
    /// `delta` in whole notches.
    bool OnMouseWheel(float x, float y, const IMouseModifiers& mod, float delta);
    /// Also reached from the host through the delegate. [ui-thread]
    virtual bool OnKeyDown(float x, float y, const IKeyEvent& key);
    virtual bool OnKeyUp(float x, float y, const IKeyEvent& key);
    void OnDrop(const char* path, float x, float y);
    void OnDropMultiple(const std::vector<const char*>& paths, float x, float y);
    /// Ends every capture: the captured controls' gestures are closed and each control whose
    /// press was delivered is told (`IControl::OnCaptureLost`); a hidden pointer is shown
    /// again; a corner-resize drag ends as its release would end it. The window layer calls it
    /// when the window loses the capture, so no drag is left half open.
    void ReleaseMouseCapture();
    /// True while any pointer holds `control` captured.
    bool IsControlCaptured(const IControl* control) const;
    IControl* GetMouseOverControl() const { return mMouseOver; }
    /// List index of the control under the pointer; -1 for none and the special controls.
    int GetMouseOverIdx() const { return mMouseOverIdx; }
    void EnableMouseOver(bool enable) { mEnableMouseOver = enable; }
    /// Tooltips need mouse-over tracking, so enabling them enables it.
    void EnableTooltips(bool enable);
    bool MouseOverEnabled() const { return mEnableMouseOver; }
    bool TooltipsEnabled() const { return mEnableTooltips; }
    bool IsCursorHidden() const { return mCursorHidden; }
    ECursorShape GetCursorShape() const { return mCursorShape; }

    // ---- Value prompts, menus and text entry.

    /// A menu of the parameter's display texts, or a text field holding its display.
    void PromptForControlValue(IControl* control, const IBounds& bounds, int valIdx);
    /// Shows `menu` for `control`; returns the menu holding the choice (null for none, and
    /// while an asynchronous menu is open).
    IPopupMenu* CreatePopupMenu(IControl& control,
                                IPopupMenu& menu,
                                const IBounds& bounds,
                                int valIdx = 0,
                                bool isContextMenu = false);
    /// Hands a menu's result to its owner; the platform calls it for asynchronous menus.
    void DeliverPopupMenuResult(IPopupMenu* chosen);
    void CreateTextEntry(IControl& control,
                         const ITextStyle& style,
                         const IBounds& bounds,
                         const char* text,
                         int valIdx = 0);
    /// A committed entry: parsed by the owner's parameter, or handed to the owner.
    void SetControlValueAfterTextEdit(const char* text);
    /// A cancelled entry: the owner is forgotten and no value is set.
    void ClearTextEntryOwner();
    /// A right click on a parameter-bound control. Default: the control may fill the prompt
    /// menu; the host's menu is shown by the deliverable's override.
    virtual void ShowParamContextMenu(IControl* control, int paramIdx, float x, float y);
    IPopupMenu& GetPromptMenu() { return mPromptMenu; }
    IControl* GetTextEntryOwner() const { return mTextEntryOwner; }
    IControl* GetPopupOwner() const { return mPopupOwner; }

    // ---- Size and scale.

    /// Sets the layout size and draw scale (held within the scale limits; a non-finite
    /// scale keeps the current one), telling the delegate the new window size. [ui-thread]
    virtual void Resize(int width, int height, float scale, bool needsPlatformResize = true);
    /// Device pixels per logical pixel; zero, negative or non-finite scales are ignored.
    /// [ui-thread]
    virtual void SetScreenScale(float scale);
    /// Minimum the smaller, maximum the larger; non-positive or non-finite limits ignored.
    void SetScaleConstraints(float a, float b);
    virtual int Width() const { return mWidth; }
    virtual int Height() const { return mHeight; }
    virtual float GetDrawScale() const { return mDrawScale; }
    float GetScreenScale() const { return mScreenScale; }
    float GetTotalScale() const { return mDrawScale * mScreenScale; }
    float GetMinScale() const { return mMinScale; }
    float GetMaxScale() const { return mMaxScale; }
    int FPS() const { return mFPS; }
    bool IsResizing() const { return mResizingInProgress; }
    /// The corner resizer's press starts a resize drag.
    void StartResizeGesture() { mResizingInProgress = true; }
    EUIResizerMode GetResizerMode() const { return mResizerMode; }
    float GetMouseDownX() const { return mMouseDownX; }
    float GetMouseDownY() const { return mMouseDownY; }

    ICanvasEditorDelegate& GetDelegate() const { return mDelegate; }

protected:
    /// The back end's half of `HideMouseCursor`. Not pure: the destructor may show the
    /// pointer after the back end is gone (a back end calls `RemoveAllControls` in its own
    /// destructor so the platform hears it).
    virtual void PlatformHideMouseCursor(bool hide, bool lock)
    {
        (void)hide;
        (void)lock;
    }

private:
    struct Capture
    {
        IControl* control = nullptr;
        std::vector<int> gestures; ///< parameters the press opened a gesture on
        bool pressed = false;      ///< the control received the press
    };

    IEditorDelegate& Editor() const;
    /// Opens a gesture on every bound parameter of `control`, recorded in `capture`.
    void BeginControlGestures(IControl& control, Capture& capture);
    void EndCaptureGestures(Capture& capture);
    /// `ReleaseMouseCapture` without ending a corner-resize drag.
    void ReleaseCaptures();
    /// What the release of a corner drag does: by size the handle redraws, by scale every
    /// control rescales and redraws.
    void EndCornerResize();
    void ResizeByCornerDrag(float x, float y);
    /// Tells the delegate the native window's size for the current size and scales; the
    /// platform window follows when the delegate answers so.
    void ResizeWindowToEditor(bool needsPlatformResize);
    /// The first control of the list: drawn while hidden, never offered keys or mouse-over.
    bool IsBackground(const IControl* control) const;
    void RefreshMouseOver(float x, float y, const IMouseModifiers& mod);

    std::vector<IControl*> mControls;
    std::unordered_map<int, IControl*> mTagMap;
    ICornerResizerControl* mCornerResizer = nullptr;
    ITextEntryControl* mTextEntryControl = nullptr;
    IPopupMenu mPromptMenu;
    ECursorShape mCursorShape = ECursorShape::Arrow;
    int mWidth;
    int mHeight;
    int mFPS;
    float mScreenScale = 1.f;
    float mDrawScale;
    std::unordered_map<int64_t, Capture> mCaptures;
    IControl* mMouseOver = nullptr;
    int mMouseOverIdx = -1;
    IControl* mTextEntryOwner = nullptr;
    int mTextEntryValIdx = -1;
    IControl* mPopupOwner = nullptr;
    int mPopupValIdx = -1;
    bool mPopupIsContextMenu = false;
    float mMouseDownX = -1.f;
    float mMouseDownY = -1.f;
    float mMinScale = 0.5f;
    float mMaxScale = 4.f;
    bool mEnableMouseOver = false;
    bool mEnableTooltips = false;
    bool mResizingInProgress = false;
    bool mLayoutOnResize = false;
    EUIResizerMode mResizerMode = EUIResizerMode::Scale;
    ICanvasEditorDelegate& mDelegate;
    bool mCursorHidden = false;
    IBounds mDrawArea;
    IAffineTransform mTransform;
    std::vector<IAffineTransform> mTransformStack;
    std::vector<int> mGestureCounts; ///< open gestures per parameter index
};

} // namespace plugkit::canvas
