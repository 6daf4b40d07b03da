#pragma once

#include "canvas/APIBitmap.h"
#include "canvas/CanvasTypes.h"
#include "canvas/DirtyRectList.h"
#include "canvas/IOffscreenLayer.h"
#include "canvas/IPopupMenu.h"
#include "canvas/PlatformFont.h"
#include "canvas/ResourceCache.h"
#include "canvas/ResourceHandles.h"
#include "canvas/platform/helpers/PlatformResources.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace plugkit
{
class HeapBuffer;
class HeapString;
class IEditorDelegate;
struct MidiMessage;
} // namespace plugkit

namespace plugkit::canvas
{

class ICanvasEditorDelegate;
class IControl;
class ICornerResizerControl;
class ITextEntryControl;

/// A platform font object; the toolkit hands it from the platform to the back end and deletes it.
using PlatformFontPtr = std::unique_ptr<PlatformFont>;

/// Called with the chosen file's full path (empty when cancelled) and its folder.
using IFileDialogCompletionHandlerFunc =
    std::function<void(const HeapString& fileName, const HeapString& path)>;
/// Called with the chosen colour.
using IColorPickerHandlerFunc = std::function<void(const IArgbColor& color)>;
/// Called with the button the user pressed (a message-box result).
using IMsgBoxCompletionHandlerFunc = std::function<void(int result)>;

/// Message-box types and results: the Windows values.
inline constexpr int kMsgBoxOk = 0;
inline constexpr int kMsgBoxOkCancel = 1;
inline constexpr int kMsgBoxYesNoCancel = 3;
inline constexpr int kMsgBoxYesNo = 4;
inline constexpr int kMsgBoxResultOk = 1;
inline constexpr int kMsgBoxResultCancel = 2;
inline constexpr int kMsgBoxResultYes = 6;
inline constexpr int kMsgBoxResultNo = 7;

/// What a file dialog is for.
enum class EFileAction : int
{
    Open = 0,
    Save = 1,
    kNumFileActions
};

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
///
/// Ownership: this object owns its controls, the layers on its layer stack and its bitmap
/// cache, which holds every bitmap made for this back end (see `APIBitmap`): handles and
/// layers' users only look at them, and nothing a back end returns is kept anywhere else. The
/// parsed SVG documents are shared by every editor of the process through a cache guarded by its
/// own lock; a handle shares its document. When the bitmap and the SVG cache's locks are both
/// taken, the bitmap cache's comes first.
class ICanvas
{
public:
    using IControlFunc = std::function<void(IControl&)>;

    /// `width` x `height` editor units at draw scale `scale` (1 when not positive and
    /// finite); `dlg` owns this object and outlives it.
    ICanvas(ICanvasEditorDelegate& dlg, int width, int height, int fps = 60, float scale = 1.f);
    ICanvas(const ICanvas&) = delete;
    ICanvas& operator=(const ICanvas&) = delete;

    // ======== Virtual operations, in slot order. Those without a body here are the drawing
    // back end's and the window layer's; the others have the default given.

    // ---- Frame and view hooks.

    /// Start of a frame (the back end begins drawing).
    virtual void BeginFrame() {}
    /// After the native view exists (the back end creates its drawing context).
    virtual void OnViewCreated() {}
    /// Before the native view goes (the back end deletes its drawing context, and with it the
    /// bitmaps of `GetBitmapCache`, while the context is still current).
    virtual void OnViewDestroyed() {}
    /// End of a frame (the back end presents it).
    virtual void EndFrame() {}

    // ---- Drawing. Every shape member starts a new path, builds it with the path helpers and
    // paints it with a solid pattern of the colour: "Draw" strokes `thickness` wide with the
    // default stroke style, "Fill" fills with the default fill style. Angles are degrees, 0 at
    // 12 o'clock, growing clockwise. Degenerate input (an ellipse radius that is not positive, no
    // points, a grid step of 1 or less, an empty text or image, a document without a size) draws
    // nothing.

    /// The document scaled to fit `bounds` with its aspect ratio kept, at their top-left;
    /// `strokeColor` and `fillColor`, when given, replace every shape's paints.
    virtual void DrawSvg(const ISvgHandle& svg,
                         const IBounds& bounds,
                         const IBlendSpec* blend = nullptr,
                         const IArgbColor* strokeColor = nullptr,
                         const IArgbColor* fillColor = nullptr);
    /// The document in a `width` x `height` box centred on (cx, cy), rotated by `angle`.
    virtual void DrawRotatedSvg(const ISvgHandle& svg,
                                float cx,
                                float cy,
                                float width,
                                float height,
                                double angle,
                                const IBlendSpec* blend = nullptr);
    /// Draws the bitmap's pixels from (srcX, srcY) (in editor units at the bitmap's scale) into
    /// `dest`, through the current transform and clip.
    virtual void DrawBitmap(const IBitmapHandle& bitmap,
                            const IBounds& dest,
                            int srcX,
                            int srcY,
                            const IBlendSpec* blend = nullptr) = 0;
    /// The whole bitmap stretched over `bounds`.
    virtual void DrawFittedBitmap(const IBitmapHandle& bitmap,
                                  const IBounds& bounds,
                                  const IBlendSpec* blend = nullptr);
    /// The whole bitmap centred on (cx, cy), rotated by `angle`.
    virtual void DrawRotatedBitmap(const IBitmapHandle& bitmap,
                                   float cx,
                                   float cy,
                                   double angle,
                                   const IBlendSpec* blend = nullptr);
    /// Fills the unit square at (x, y).
    virtual void
    DrawPoint(const IArgbColor& color, float x, float y, const IBlendSpec* blend = nullptr);
    virtual void DrawLine(const IArgbColor& color,
                          float x1,
                          float y1,
                          float x2,
                          float y2,
                          const IBlendSpec* blend = nullptr,
                          float thickness = 1.f);
    /// Dashes and gaps of `dashLength` (the back end draws its own).
    virtual void DrawDottedLine(const IArgbColor& color,
                                float x1,
                                float y1,
                                float x2,
                                float y2,
                                const IBlendSpec* blend = nullptr,
                                float thickness = 1.f,
                                float dashLength = 2.f);
    virtual void DrawTriangle(const IArgbColor& color,
                              float x1,
                              float y1,
                              float x2,
                              float y2,
                              float x3,
                              float y3,
                              const IBlendSpec* blend = nullptr,
                              float thickness = 1.f);
    virtual void DrawRect(const IArgbColor& color,
                          const IBounds& bounds,
                          const IBlendSpec* blend = nullptr,
                          float thickness = 1.f);
    /// Radii top-left, top-right, bottom-right, bottom-left.
    virtual void DrawRoundRectCorners(const IArgbColor& color,
                                      const IBounds& bounds,
                                      float tl,
                                      float tr,
                                      float br,
                                      float bl,
                                      const IBlendSpec* blend = nullptr,
                                      float thickness = 1.f);
    virtual void DrawRoundRect(const IArgbColor& color,
                               const IBounds& bounds,
                               float cornerRadius = 5.f,
                               const IBlendSpec* blend = nullptr,
                               float thickness = 1.f);
    /// The arc of radius `r` about (cx, cy) from `angle1` clockwise to `angle2`.
    virtual void DrawArc(const IArgbColor& color,
                         float cx,
                         float cy,
                         float r,
                         float angle1,
                         float angle2,
                         const IBlendSpec* blend = nullptr,
                         float thickness = 1.f);
    virtual void DrawCircle(const IArgbColor& color,
                            float cx,
                            float cy,
                            float r,
                            const IBlendSpec* blend = nullptr,
                            float thickness = 1.f);
    /// Radii `rx`, `ry` about (cx, cy), turned by `angle`.
    virtual void DrawEllipse(const IArgbColor& color,
                             float cx,
                             float cy,
                             float rx,
                             float ry,
                             float angle = 0.f,
                             const IBlendSpec* blend = nullptr,
                             float thickness = 1.f);
    virtual void DrawEllipseInBounds(const IArgbColor& color,
                                     const IBounds& bounds,
                                     const IBlendSpec* blend = nullptr,
                                     float thickness = 1.f);
    virtual void DrawConvexPolygon(const IArgbColor& color,
                                   const float* x,
                                   const float* y,
                                   int nPoints,
                                   const IBlendSpec* blend = nullptr,
                                   float thickness = 1.f);
    /// Dashes and gaps of `dashLength` (the back end draws its own).
    virtual void DrawDottedRect(const IArgbColor& color,
                                const IBounds& bounds,
                                const IBlendSpec* blend = nullptr,
                                float thickness = 1.f,
                                float dashLength = 2.f);
    virtual void FillTriangle(const IArgbColor& color,
                              float x1,
                              float y1,
                              float x2,
                              float y2,
                              float x3,
                              float y3,
                              const IBlendSpec* blend = nullptr);
    virtual void
    FillRect(const IArgbColor& color, const IBounds& bounds, const IBlendSpec* blend = nullptr);
    virtual void FillRoundRectCorners(const IArgbColor& color,
                                      const IBounds& bounds,
                                      float tl,
                                      float tr,
                                      float br,
                                      float bl,
                                      const IBlendSpec* blend = nullptr);
    virtual void FillRoundRect(const IArgbColor& color,
                               const IBounds& bounds,
                               float cornerRadius = 5.f,
                               const IBlendSpec* blend = nullptr);
    virtual void FillCircle(
        const IArgbColor& color, float cx, float cy, float r, const IBlendSpec* blend = nullptr);
    virtual void FillEllipse(const IArgbColor& color,
                             float cx,
                             float cy,
                             float rx,
                             float ry,
                             float angle = 0.f,
                             const IBlendSpec* blend = nullptr);
    virtual void FillEllipseInBounds(const IArgbColor& color,
                                     const IBounds& bounds,
                                     const IBlendSpec* blend = nullptr);
    /// A pie slice: the centre, the arc from `angle1` clockwise to `angle2`, back to the centre.
    virtual void FillArc(const IArgbColor& color,
                         float cx,
                         float cy,
                         float r,
                         float angle1,
                         float angle2,
                         const IBlendSpec* blend = nullptr);
    virtual void FillConvexPolygon(const IArgbColor& color,
                                   const float* x,
                                   const float* y,
                                   int nPoints,
                                   const IBlendSpec* blend = nullptr);
    /// The width of one line of `text` in `style`; `bounds` becomes the text's box placed in
    /// `bounds` as the style aligns it. 0 (and `bounds` unchanged) for an empty text.
    virtual float MeasureText(const ITextStyle& style, const char* text, IBounds& bounds);
    /// Text broken into lines that fit `bounds` (the back end's; the default draws
    /// "Unsupported").
    virtual void DrawMultiLineText(const ITextStyle& style,
                                   const char* text,
                                   const IBounds& bounds,
                                   const IBlendSpec* blend = nullptr);

    /// The back end's drawing context (a NanoVG context).
    virtual void* GetDrawContext() = 0;
    virtual const char* GetDrawingApiName() = 0;

    // ---- Bitmaps. Every bitmap of this object lives in its own bitmap cache (one per back
    // end, since a bitmap's image belongs to one GL context), which owns it.

    /// A copy of `bitmap` made at `targetScale`, drawn through an offscreen layer and kept in
    /// the bitmap cache under `name`; the source stays as it is.
    virtual IBitmapHandle
    ScaleBitmap(const IBitmapHandle& bitmap, const char* name, int targetScale);
    /// Hands `bitmap` to the bitmap cache under `name` at its own scale; returns it (null for
    /// null).
    virtual APIBitmap* RetainBitmap(std::unique_ptr<APIBitmap> bitmap, const char* name);
    /// Deletes the handle's bitmap from the bitmap cache; every handle of it is then empty in
    /// effect. A bitmap the cache does not hold is left alone.
    virtual void ReleaseBitmap(const IBitmapHandle& bitmap);
    /// Whether bitmaps with this file extension (without the dot) can be decoded.
    virtual bool IsBitmapFormatSupported(const char* extension) const = 0;

    /// A soft shadow of the rectangle `inner` moved by `offset`, drawn within `outer` (the back
    /// end's; nothing by default).
    virtual void DrawBoxShadow(const IBounds& inner,
                               const IBounds& outer,
                               float offset = 5.f,
                               float roundness = 0.f,
                               float blur = 10.f,
                               const IBlendSpec* blend = nullptr)
    {
        (void)inner;
        (void)outer;
        (void)offset;
        (void)roundness;
        (void)blur;
        (void)blend;
    }
    /// Vertical lines every `xStep` and horizontal lines every `yStep` inside `bounds` (not on
    /// its edges), in one stroke; a step of 1 or less draws no lines of its direction.
    virtual void DrawGrid(const IArgbColor& color,
                          const IBounds& bounds,
                          float xStep,
                          float yStep,
                          const IBlendSpec* blend = nullptr,
                          float thickness = 1.f);
    /// A polyline through `n` points in `bounds`: y values 0 (bottom) to 1 (top); x values 0 to
    /// 1 when given, else evenly spaced from the left edge to the right. With `fillColor` the
    /// area under the line is filled with it first.
    virtual void DrawDataPlot(const IArgbColor& color,
                              const IBounds& bounds,
                              const float* y,
                              int n,
                              const float* x = nullptr,
                              const IBlendSpec* blend = nullptr,
                              float thickness = 1.f,
                              const IArgbColor* fillColor = nullptr);

    // ---- Fonts.

    /// Loads the font in `size` bytes at `data` under `fontID`; false when the platform cannot
    /// read it or the back end refuses it.
    virtual bool LoadFontFromMemory(const char* fontID, const void* data, int size);
    /// Loads the font of an embedded resource or file under `fontID`; false as above.
    virtual bool LoadFont(const char* fontID, const char* fileNameOrResID);

    // ---- Layers.

    /// Blurs the alpha of the layer's content by the shadow's blur size and lets the back end
    /// paint the shadow from it (`ApplyShadowMask`).
    virtual void ApplyLayerDropShadow(ILayerPtr& layer, const ILayerShadow& shadow);
    /// The layer's pixels, bitmap width x height x 4 bytes, rows as `IsLayerFlipped` says and
    /// alpha at `AlphaChannelIndex`; `data` is empty when they cannot be read.
    virtual void GetLayerBitmapData(ILayerPtr& layer, HeapBuffer& data) = 0;
    /// Paints the shadow `mask` (the blurred alpha of the layer, in `data`'s layout) into the
    /// layer, under or instead of its content.
    virtual void
    ApplyShadowMask(ILayerPtr& layer, HeapBuffer& mask, const ILayerShadow& shadow) = 0;
    /// Makes the top layer (or the window, when there is none) the render target.
    virtual void UpdateLayer() {}

    // ---- Path operations of the back end. Coordinates are editor units through the current
    // transform.

    /// Starts a new, empty path.
    virtual void PathClear() = 0;
    /// Closes the current sub-path.
    virtual void PathClose() = 0;
    /// Adds the arc of radius `r` about (cx, cy) from `angle1` to `angle2` (degrees, 0 at
    /// 12 o'clock, clockwise), joined to the current point when there is one.
    virtual void PathArc(float cx,
                         float cy,
                         float r,
                         float angle1,
                         float angle2,
                         EWinding winding = EWinding::CW) = 0;
    virtual void PathMoveTo(float x, float y) = 0;
    virtual void PathLineTo(float x, float y) = 0;
    /// The winding of the current sub-path: with `clockwise` it is a hole in what the
    /// `EFillRule::Preserve` fill paints. Default: nothing.
    virtual void PathSetWinding(bool clockwise) { (void)clockwise; }
    virtual void
    PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) = 0;
    virtual void PathQuadraticBezierTo(float cx, float cy, float x2, float y2) = 0;
    /// Strokes the path with `pattern`; the path is cleared unless the style preserves it.
    virtual void PathStroke(const IFillPattern& pattern,
                            float thickness,
                            const IStrokeStyle& style = IStrokeStyle(),
                            const IBlendSpec* blend = nullptr) = 0;
    /// Fills the path with `pattern`; the path is cleared unless the style preserves it.
    virtual void PathFill(const IFillPattern& pattern,
                          const IFillStyle& style = IFillStyle(),
                          const IBlendSpec* blend = nullptr) = 0;
    /// The transform for everything drawn next, from editor units.
    virtual void PathTransformSetMatrix(const IAffineTransform& transform) = 0;

    /// After each control has drawn, with the area it was clipped to.
    virtual void OnControlDrawn(const IBounds& area) { (void)area; }
    /// Restricts drawing to `r` (untransformed editor units).
    virtual void SetClipRegion(const IBounds& r) = 0;

    // ---- Platform.

    /// Pointer position in editor units; false when the platform could not tell.
    virtual bool GetMouseLocation(float& x, float& y) const = 0;
    virtual void MoveMouseCursor(float x, float y) = 0;
    /// Stores the shape and returns the one in force before.
    virtual ECursorShape SetMouseCursor(ECursorShape shape = ECursorShape::Arrow);
    virtual void CancelPlatformTextEntry() {}
    /// Opens the native window inside `pParent`; returns the native window, null on failure.
    virtual void* OpenWindow(void* pParent) = 0;
    /// Closes the native window; the object stays until it is deleted.
    virtual void CloseWindow() = 0;
    virtual void* GetWindow() = 0;
    virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
    /// The clipboard's text as UTF-8; false (and `text` empty) when it holds none.
    virtual bool GetTextFromClipboard(HeapString& text) = 0;
    virtual bool SetTextInClipboard(const char* text) = 0;
    /// Puts one file on the clipboard as a file list; default: not supported.
    virtual bool SetFilePathInClipboard(const char* path)
    {
        (void)path;
        return false;
    }
    /// Drags one file out of the editor (returns after the drop); default: not supported.
    virtual bool StartFileDrag(const char* path)
    {
        (void)path;
        return false;
    }
    /// A modal message box of `type` (kMsgBox...); returns the button pressed (kMsgBoxResult...),
    /// which `completion` (when given) also receives.
    virtual int ShowMessageBox(const char* text,
                               const char* caption,
                               int type,
                               IMsgBoxCompletionHandlerFunc completion = nullptr) = 0;
    /// A file dialog starting at `fileName` in `path`; `extensions` is a space-separated list
    /// (for instance "wav aif"). On return `fileName` is the chosen full path (empty when
    /// cancelled) and `path` its folder; `completion` receives both.
    virtual void PromptForFile(HeapString& fileName,
                               HeapString& path,
                               EFileAction action = EFileAction::Open,
                               const char* extensions = "",
                               IFileDialogCompletionHandlerFunc completion = nullptr) = 0;
    /// A folder dialog; `dir` becomes the chosen folder (empty when cancelled).
    virtual void PromptForDirectory(HeapString& dir,
                                    IFileDialogCompletionHandlerFunc completion = nullptr) = 0;
    /// A colour dialog starting at `color`; true (and `color` set) when one was chosen.
    virtual bool PromptForColor(IArgbColor& color,
                                const char* prompt = "",
                                IColorPickerHandlerFunc completion = nullptr) = 0;
    /// Opens a web link; the texts, when given, confirm first or report a failure.
    virtual bool OpenURL(const char* url,
                         const char* windowTitle = nullptr,
                         const char* confirmMessage = nullptr,
                         const char* errorMessage = nullptr) = 0;
    /// The name of the platform layer; empty by default.
    virtual const char* GetPlatformApiName() { return ""; }
    /// Shows `path` in the system's file browser (selected, with `select`); default: not
    /// supported.
    virtual bool RevealPath(const char* path, bool select)
    {
        (void)path;
        (void)select;
        return false;
    }
    /// The module whose embedded resources this editor loads (the window layer keeps it).
    virtual void SetPlatformInstance(void* instance) { (void)instance; }
    /// Null by default: resources are then searched in the module the platform layer was given
    /// at load (`platform::GetModuleInstance`).
    virtual void* GetPlatformInstance() { return nullptr; }
    virtual PlatformFontPtr
    LoadPlatformFontByName(const char* fontID, const char* fontName, ETextStyle style) = 0;
    virtual PlatformFontPtr
    LoadPlatformFontFromMemory(const char* fontID, const void* data, int size) = 0;
    /// The font of an embedded resource (type "ttf") or a file; null when neither loads.
    virtual PlatformFontPtr LoadPlatformFontFile(const char* fontID,
                                                 const char* fileNameOrResID) = 0;
    /// Keeps the font's native handle under `fontID` for the native text field.
    virtual void CachePlatformFont(const char* fontID, const PlatformFontPtr& font) = 0;
    /// A sub-folder for resource lookups; empty in every class of this program.
    virtual const char* GetResourceSubPath() const { return ""; }
    /// Make the window's GL context current, and restore the previous one.
    virtual void ActivateGLContext() {}
    virtual void DeactivateGLContext() {}
    /// Opens the platform's own text field (when no in-editor field is attached).
    virtual void CreatePlatformTextEntry(
        int paramIdx, const ITextStyle& style, const IBounds& bounds, int length, const char* text);
    /// Shows `menu` and returns the menu (or submenu) holding the chosen item, null for none;
    /// sets `isAsync` when the result comes later through `DeliverPopupMenuResult`.
    virtual IPopupMenu*
    CreatePlatformPopupMenu(IPopupMenu& menu, const IBounds& bounds, bool& isAsync);

    virtual ~ICanvas();

    virtual bool SupportsMultiTouch() const { return false; }
    /// Factor from editor pixels to the native window's size.
    virtual float GetPlatformWindowScale() const { return 1.f; }
    /// Makes the native window follow the editor's size when `parentHasResized` is set.
    virtual void PlatformResize(bool parentHasResized) { (void)parentHasResized; }
    /// Re-creates the back buffer after a change of size or scale.
    virtual void DrawResize() {}
    virtual void OnResizeComplete() {}

    // ---- Resources. Names are embedded resources of the module (letter case and quotes
    // ignored) or file paths; the module comes first.

    /// As `LoadBitmap`, decoding `size` bytes at `data` (taken as scale 1) instead of searching
    /// for a resource; cached under `name` like any bitmap.
    virtual IBitmapHandle LoadBitmapFromData(const char* name,
                                             const void* data,
                                             int size,
                                             int nStates = 1,
                                             bool framesAreHorizontal = false,
                                             int targetScale = 0);
    /// The bitmap `name` at `targetScale` (0: the screen scale rounded up): from the bitmap
    /// cache, else from the resource or file of that scale's variant ("knob@2x.png" for scale 2)
    /// or the nearest other one, rescaled. Empty when the extension is not supported or nothing
    /// is found.
    virtual IBitmapHandle LoadBitmap(const char* name,
                                     int nStates = 1,
                                     bool framesAreHorizontal = false,
                                     int targetScale = 0);
    /// The document parsed from `size` bytes at `data`, or the one cached under `name` (parsed
    /// once per process); `units` and `dpi` set the parser's length units. Empty on failure.
    virtual ISvgHandle LoadSvgFromData(
        const char* name, const void* data, int size, const char* units = "px", float dpi = 96.f);
    /// The SVG resource or file `name`, parsed once per process (see `LoadSvgFromData`).
    virtual ISvgHandle LoadSvg(const char* name, const char* units = "px", float dpi = 96.f);
    /// The bytes of the embedded resource or file `name` of `type` into `data`; false (and
    /// `data` empty) when it is not found, cannot be read whole, or is larger than
    /// `kMaxResourceBytes`.
    virtual bool LoadResource(const char* name, const char* type, HeapBuffer& data);
    /// Decodes an image from memory into a new bitmap of resolution `scale`; the caller owns it.
    virtual std::unique_ptr<APIBitmap>
    LoadApiBitmapFromData(const char* name, const void* data, int size, int scale) = 0;
    /// Decodes the image at `location` (a file path or an embedded resource name, as `kind`
    /// says) into a new bitmap of resolution `scale`; the caller owns it. Null when it cannot.
    virtual std::unique_ptr<APIBitmap> LoadApiBitmap(const char* location,
                                                     int scale,
                                                     platform::ResourceLocation kind,
                                                     const char* extension) = 0;
    /// A new, transparent render target of `width` x `height` pixels; the caller owns it.
    virtual std::unique_ptr<APIBitmap> CreateApiBitmap(
        int width, int height, float scale, float drawScale, bool cacheable = false) = 0;
    /// Hands the font's bytes to the back end under `fontID`; false when it refuses them.
    virtual bool LoadApiFont(const char* fontID, const PlatformFontPtr& font) = 0;

    /// Byte index of alpha within a layer pixel.
    virtual int AlphaChannelIndex() const = 0;
    /// Whether layer rows come bottom-up.
    virtual bool IsLayerFlipped() const = 0;
    /// Measures one line of `text` (not empty) as `MeasureText` describes.
    virtual float DoMeasureText(const ITextStyle& style, const char* text, IBounds& bounds) = 0;
    /// Draws one line of `text` (not empty) in `bounds` as the style aligns and turns it.
    virtual void DoDrawText(const ITextStyle& style,
                            const char* text,
                            const IBounds& bounds,
                            const IBlendSpec* blend = nullptr) = 0;

    // ======== Non-virtual operations.

    // ---- Text.

    /// One line of `text` in `bounds`; nothing for a null or empty text.
    void DrawText(const ITextStyle& style,
                  const char* text,
                  const IBounds& bounds,
                  const IBlendSpec* blend = nullptr);
    /// For a turned style: `textRect` becomes the box of itself turned by the style's angle about
    /// the origin, and (dx, dy) the offset that puts it back into `bounds` as the style aligns
    /// it. Nothing for an upright style.
    static void CalculateTextRotation(
        const ITextStyle& style, const IBounds& bounds, IBounds& textRect, double& dx, double& dy);
    /// `bounds` becomes its turned box moved by that offset.
    static void OffsetBoundsForTextRotation(const ITextStyle& style, IBounds& bounds);

    // ---- Path helpers: they add to the current path.

    void PathRect(const IBounds& bounds);
    /// Corner radii top-left, top-right, bottom-right, bottom-left; all 0 or less: a rectangle.
    void PathRoundRect(const IBounds& bounds, float tl, float tr, float br, float bl);
    void PathRoundRect(const IBounds& bounds, float cornerRadius);
    void PathCircle(float cx, float cy, float r);
    /// Nothing when a radius is 0 or less.
    void PathEllipse(float cx, float cy, float rx, float ry, float angle = 0.f);
    void PathEllipse(const IBounds& bounds);
    void PathConvexPolygon(const float* x, const float* y, int nPoints);

    // ---- Transforms: each changes the current transform (the new one applied to points
    // first) and applies it at once.

    void PathTransformSave();
    /// Back to the last saved transform; nothing when none is saved.
    void PathTransformRestore();
    void PathTransformTranslate(float x, float y);
    void PathTransformScale(float sx, float sy);
    void PathTransformScale(float s) { PathTransformScale(s, s); }
    /// Clockwise by `degrees`.
    void PathTransformRotate(float degrees);

    // ---- SVG.

    /// The document's shapes through the current transform, in document order; hidden shapes
    /// are skipped. `strokeColor` and `fillColor`, when given, replace the shapes' paints. A
    /// sub-path inside an odd number of its shape's other sub-paths is a hole; that test's work
    /// per call is bounded (about 16 million edges), past which sub-paths are filled.
    void DrawSvgShapes(const svg::Document& document,
                       const IBlendSpec* blend = nullptr,
                       const IArgbColor* strokeColor = nullptr,
                       const IArgbColor* fillColor = nullptr);
    /// The pattern of an SVG paint at `opacity` (0 to 1): alpha = round(opacity x the paint's
    /// alpha) for a colour and for each gradient stop (at most 16 stops). A gradient whose space
    /// cannot be inverted paints its last stop's colour; a gradient without stops and a paint
    /// without colour paint black.
    static IFillPattern SvgPaintToFillPattern(const svg::Paint& paint, float opacity);

    /// Hides (and with `lock` holds in place) or shows the pointer; the platform hears only
    /// changes (`PlatformHideMouseCursor`).
    void HideMouseCursor(bool hide = true, bool lock = true);

    /// Identity transform, applied; `clearStack` also empties the saved transforms.
    void PathTransformReset(bool clearStack = false);
    const IAffineTransform& GetTransform() const { return mTransform; }
    /// The area being drawn (the clip of the control being drawn).
    const IBounds& GetDrawArea() const { return mDrawArea; }
    /// Clips to `r` within the current area (the top layer's bounds while a layer is open, else
    /// the area of the control being drawn); empty `r`: the whole area; `r` outside the area:
    /// nothing is drawn. The clip ignores the current transform, which stays.
    void PathClipRegion(const IBounds& r = IBounds());

    // ---- Layers. A layer begun here is on the stack until `FinishLayer` hands it to the
    // caller; the back end pushes a caller's layer to draw into it and pops it back.

    /// Starts drawing into a new layer over `r` (pixel aligned) for `control` (may be null).
    void BeginLayer(IControl* control, const IBounds& r, bool cacheable = false);
    /// Ends the top layer and hands it over; null when none is open.
    ILayerPtr FinishLayer();
    /// Makes `layer` the render target (the stack owns it until `PopLayer`).
    void PushLayer(ILayerPtr layer);
    /// Takes the top layer off the stack (null when none) and hands it back; drawing goes to the
    /// layer below, or the window.
    ILayerPtr PopLayer();
    /// The current render target; null when drawing goes to the window.
    IOffscreenLayer* GetTopLayer() const;

    // ---- Resources.

    /// Files larger than this are refused: no resource of an editor comes near it, and a
    /// mistaken path must not fill the memory.
    static constexpr int32_t kMaxResourceBytes = 16 * 1024 * 1024;

    /// Looks for the bitmap resource `name` at `targetScale`, then at 3, 2, 1 (skipping the
    /// target): the plain name at scale 1, "name@<n>x.ext" otherwise. Returns the kind of the
    /// first hit, its location in `result` and its scale in `sourceScale`.
    platform::ResourceLocation SearchImageResource(const char* name,
                                                   const char* extension,
                                                   HeapString& result,
                                                   int targetScale,
                                                   int& sourceScale);
    /// The cached bitmap `name` at the first scale in the same order; null when none.
    APIBitmap* SearchBitmapInCache(const char* name, int targetScale, int& sourceScale);

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
    /// Ends every gesture and capture, cancels an open platform text entry, forgets the
    /// text-entry and popup owners (so no late result reaches a deleted control) and deletes
    /// every control.
    void RemoveAllControls();
    /// An area to draw again at the next frame (the area a control left when it moved or
    /// changed size).
    void InvalidateArea(const IBounds& r);

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
    /// A right click on a parameter-bound control: the control may fill the prompt menu; in the
    /// plug-in module the host's menu for the parameter is then shown with those items added,
    /// when the delegate is an `IVst3ContextMenuHost` whose handler has `IComponentHandler3` and
    /// whose view is open (otherwise nothing is shown). In the stand-alone program there is no
    /// host menu: the control's items, when it adds any, open as the toolkit's own context menu
    /// at (x, y), and the choice goes to the control's OnContextMenuSelection.
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
    /// The bitmaps of this back end (see `APIBitmap`). The back end clears it while its drawing
    /// context is current (`OnViewDestroyed`); what is left goes with this object.
    ResourceCache<APIBitmap>& GetBitmapCache() { return mBitmapCache; }

    /// The back end's half of `HideMouseCursor`. Not pure: the destructor may show the
    /// pointer after the back end is gone (a back end calls `RemoveAllControls` in its own
    /// destructor so the platform hears it).
    virtual void PlatformHideMouseCursor(bool hide, bool lock)
    {
        (void)hide;
        (void)lock;
    }

private:
    /// One user more (or less) of the shared SVG cache, under the cache locks in their order.
    void AddResourceCacheUsers();
    void RemoveResourceCacheUsers();
    /// The module embedded resources are searched in.
    void* ResourceModule();
    /// 0 means the screen scale rounded up.
    int BitmapTargetScale(int targetScale) const;
    /// `LoadBitmap` (resources and files) or, `fromData`, `LoadBitmapFromData`.
    IBitmapHandle LoadBitmapFrom(const char* name,
                                 const void* data,
                                 int size,
                                 bool fromData,
                                 int nStates,
                                 bool framesAreHorizontal,
                                 int targetScale);
    /// The handle of `source` at `targetScale`: a cached scaled copy when the scales differ,
    /// else `source` itself, cached first when it was just `loaded`.
    IBitmapHandle KeepBitmap(APIBitmap* source,
                             std::unique_ptr<APIBitmap> loaded,
                             const char* name,
                             int nStates,
                             bool framesAreHorizontal,
                             int targetScale);
#if defined(PLUGKIT_VST3)
    /// The host's context menu of `paramIdx` with the prompt menu's items.
    void ShowHostContextMenu(IControl& control, int paramIdx, float x, float y);
#endif
    /// The back end takes the font's bytes, then the platform keeps its handle.
    bool HandFontToBackEnd(const char* fontID, PlatformFontPtr font);
    /// Paints the path with a solid pattern and the default stroke or fill style.
    void StrokePath(const IArgbColor& color, float thickness, const IBlendSpec* blend);
    void FillPath(const IArgbColor& color, const IBlendSpec* blend);
    void PathTriangle(float x1, float y1, float x2, float y2, float x3, float y3);
    /// The current transform followed by `m` (applied to points first), applied.
    void ConcatTransform(const IAffineTransform& m);

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
    std::vector<ILayerPtr> mLayers;
    std::vector<IBounds> mInvalidAreas;
    IBounds mDrawArea;
    IAffineTransform mTransform;
    std::vector<IAffineTransform> mTransformStack;
    std::vector<int> mGestureCounts; ///< open gestures per parameter index
    ResourceCache<APIBitmap> mBitmapCache;
};

} // namespace plugkit::canvas
