#pragma once

#include "canvas/ICanvas.h"
#include "canvas/IControl.h"
#include "plugkit/MidiMessage.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lumenfall::test
{

/// A back-end bitmap of the recording canvas: RGBA pixels in memory (alpha at byte 3, rows
/// top-down unless the canvas is scripted flipped). Counts live instances, so tests see every
/// bitmap deleted once.
class RecordingBitmap : public plugkit::canvas::APIBitmap
{
public:
    RecordingBitmap(int width, int height, int scale, float drawScale, std::string origin);
    ~RecordingBitmap() override;

    std::vector<uint8_t>& Pixels() { return mPixels; }
    const std::string& Origin() const { return mOrigin; }
    static int LiveCount();

private:
    std::vector<uint8_t> mPixels;
    std::string mOrigin;
};

/// The platform font of the recording canvas: the bytes it was loaded from.
class RecordingFont : public plugkit::canvas::PlatformFont
{
public:
    explicit RecordingFont(std::string bytes)
        : PlatformFont(false)
        , bytes(std::move(bytes))
    {
    }
    std::string bytes;
};

/// An `ICanvas` back end with no window and no GL: every drawing and platform operation
/// appends one line to `Log()` (numbers printed with "%g"), and platform queries answer
/// what the test scripted. `OpenWindow` runs the delegate's layout, as the window layer does.
///
/// Text: every character (UTF-8 code point) is half the style's size wide and the style's size
/// high; measuring places that box in the bounds as the style aligns it.
///
/// Patterns are logged as "solid A R G B" or "linear|radial extend E stops A R G B @offset ...
/// matrix xx yx xy yy tx ty"; a blend as " blend kind weight".
///
/// Bitmaps: an image "decodes" from text of the form "<width> <height>" (pixels), from a file,
/// an embedded resource or memory; anything else fails. Fonts: a resource or file of type "ttf"
/// loads as its bytes; the back end refuses fonts whose bytes start with "bad".
class RecordingCanvas : public plugkit::canvas::ICanvas
{
public:
    using IBounds = plugkit::canvas::IBounds;
    using IPopupMenu = plugkit::canvas::IPopupMenu;
    using APIBitmap = plugkit::canvas::APIBitmap;
    using PlatformFontPtr = plugkit::canvas::PlatformFontPtr;

    RecordingCanvas(plugkit::canvas::ICanvasEditorDelegate& dlg,
                    int width = 400,
                    int height = 300,
                    float scale = 1.f);
    ~RecordingCanvas() override;

    const std::vector<std::string>& Log() const { return mLog; }
    void ClearLog() { mLog.clear(); }
    void Record(const std::string& line) { mLog.push_back(line); }
    /// Log lines that start with `prefix`.
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const;
    int Count(const std::string& prefix) const
    {
        return static_cast<int>(LinesStartingWith(prefix).size());
    }

    // Scripted answers.
    void SetMouseLocation(float x, float y);
    void SetPlatformWindowScale(float scale) { mWindowScale = scale; }
    /// The item the platform menu "chooses" (-1: none); `async` defers the result.
    void SetMenuChoice(int itemIdx, bool async = false);
    /// The last menu shown, null before any.
    IPopupMenu* LastMenu() const { return mLastMenu; }
    /// The text the platform clipboard holds.
    std::string clipboard;
    /// Whether layer rows come bottom-up.
    bool layerFlipped = false;
    /// The bitmaps of this back end (the cache owns them).
    int NCachedBitmaps() { return GetBitmapCache().NEntries(); }

    // ICanvas
    void DrawBitmap(const plugkit::canvas::IBitmapHandle& bitmap,
                    const IBounds& dest,
                    int srcX,
                    int srcY,
                    const plugkit::canvas::IBlendSpec* blend = nullptr) override;
    void* GetDrawContext() override { return nullptr; }
    const char* GetDrawingApiName() override { return "Recording"; }
    bool IsBitmapFormatSupported(const char* extension) const override;
    void GetLayerBitmapData(plugkit::canvas::ILayerPtr& layer, plugkit::HeapBuffer& data) override;
    void ApplyShadowMask(plugkit::canvas::ILayerPtr& layer,
                         plugkit::HeapBuffer& mask,
                         const plugkit::canvas::ILayerShadow& shadow) override;
    void UpdateLayer() override;
    bool GetTextFromClipboard(plugkit::HeapString& text) override;
    bool SetTextInClipboard(const char* text) override;
    int ShowMessageBox(const char* text,
                       const char* caption,
                       int type,
                       plugkit::canvas::IMsgBoxCompletionHandlerFunc completion) override;
    void PromptForFile(plugkit::HeapString& fileName,
                       plugkit::HeapString& path,
                       plugkit::canvas::EFileAction action,
                       const char* extensions,
                       plugkit::canvas::IFileDialogCompletionHandlerFunc completion) override;
    void PromptForDirectory(plugkit::HeapString& dir,
                            plugkit::canvas::IFileDialogCompletionHandlerFunc completion) override;
    bool PromptForColor(plugkit::canvas::IArgbColor& color,
                        const char* prompt,
                        plugkit::canvas::IColorPickerHandlerFunc completion) override;
    bool OpenURL(const char* url,
                 const char* windowTitle,
                 const char* confirmMessage,
                 const char* errorMessage) override;
    PlatformFontPtr LoadPlatformFontByName(const char* fontID,
                                           const char* fontName,
                                           plugkit::canvas::ETextStyle style) override;
    PlatformFontPtr
    LoadPlatformFontFromMemory(const char* fontID, const void* data, int size) override;
    PlatformFontPtr LoadPlatformFontFile(const char* fontID, const char* fileNameOrResID) override;
    void CachePlatformFont(const char* fontID, const PlatformFontPtr& font) override;
    std::unique_ptr<APIBitmap>
    LoadApiBitmapFromData(const char* name, const void* data, int size, int scale) override;
    std::unique_ptr<APIBitmap> LoadApiBitmap(const char* location,
                                             int scale,
                                             plugkit::canvas::platform::ResourceLocation kind,
                                             const char* extension) override;
    std::unique_ptr<APIBitmap>
    CreateApiBitmap(int width, int height, float scale, float drawScale, bool cacheable) override;
    bool LoadApiFont(const char* fontID, const PlatformFontPtr& font) override;
    int AlphaChannelIndex() const override { return 3; }
    bool IsLayerFlipped() const override { return layerFlipped; }
    float DoMeasureText(const plugkit::canvas::ITextStyle& style,
                        const char* text,
                        IBounds& bounds) override;
    void DoDrawText(const plugkit::canvas::ITextStyle& style,
                    const char* text,
                    const IBounds& bounds,
                    const plugkit::canvas::IBlendSpec* blend = nullptr) override;
    void PathClear() override;
    void PathClose() override;
    void PathArc(float cx,
                 float cy,
                 float r,
                 float angle1,
                 float angle2,
                 plugkit::canvas::EWinding winding = plugkit::canvas::EWinding::CW) override;
    void PathMoveTo(float x, float y) override;
    void PathLineTo(float x, float y) override;
    void PathSetWinding(bool clockwise) override;
    void PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) override;
    void PathQuadraticBezierTo(float cx, float cy, float x2, float y2) override;
    void PathStroke(const plugkit::canvas::IFillPattern& pattern,
                    float thickness,
                    const plugkit::canvas::IStrokeStyle& style = plugkit::canvas::IStrokeStyle(),
                    const plugkit::canvas::IBlendSpec* blend = nullptr) override;
    void PathFill(const plugkit::canvas::IFillPattern& pattern,
                  const plugkit::canvas::IFillStyle& style = plugkit::canvas::IFillStyle(),
                  const plugkit::canvas::IBlendSpec* blend = nullptr) override;
    void PathTransformSetMatrix(const plugkit::canvas::IAffineTransform& t) override;
    void SetClipRegion(const IBounds& r) override;
    void FillTriangle(const plugkit::canvas::IArgbColor& color,
                      float x1,
                      float y1,
                      float x2,
                      float y2,
                      float x3,
                      float y3,
                      const plugkit::canvas::IBlendSpec* blend = nullptr) override;
    void FillCircle(const plugkit::canvas::IArgbColor& color,
                    float cx,
                    float cy,
                    float r,
                    const plugkit::canvas::IBlendSpec* blend = nullptr) override;
    void BeginFrame() override;
    void EndFrame() override;
    void OnControlDrawn(const IBounds& area) override;
    void* OpenWindow(void* pParent) override;
    void CloseWindow() override;
    void* GetWindow() override { return mWindow; }
    bool GetMouseLocation(float& x, float& y) const override;
    void MoveMouseCursor(float x, float y) override;
    plugkit::canvas::ECursorShape SetMouseCursor(plugkit::canvas::ECursorShape shape) override;
    float GetPlatformWindowScale() const override { return mWindowScale; }
    void PlatformResize(bool parentHasResized) override;
    void DrawResize() override;
    void OnResizeComplete() override;
    void CancelPlatformTextEntry() override { Record("CancelPlatformTextEntry"); }
    void CreatePlatformTextEntry(int paramIdx,
                                 const plugkit::canvas::ITextStyle& style,
                                 const IBounds& bounds,
                                 int length,
                                 const char* text) override;
    IPopupMenu*
    CreatePlatformPopupMenu(IPopupMenu& menu, const IBounds& bounds, bool& isAsync) override;
    void ShowParamContextMenu(plugkit::canvas::IControl* control,
                              int paramIdx,
                              float x,
                              float y) override;

protected:
    void PlatformHideMouseCursor(bool hide, bool lock) override;

private:
    std::vector<std::string> mLog;
    float mMouseX = 0.f;
    float mMouseY = 0.f;
    float mWindowScale = 1.f;
    int mMenuChoice = -1;
    bool mMenuAsync = false;
    IPopupMenu* mLastMenu = nullptr;
    void* mWindow = nullptr;
};

/// A plain control for tests: counts what it receives and logs "draw <name>" to a
/// `RecordingCanvas` when drawn.
class TestControl : public plugkit::canvas::IControl
{
public:
    TestControl(const plugkit::canvas::IBounds& bounds,
                int paramIdx = plugkit::canvas::kNoParameter,
                const char* name = "control");
    TestControl(const plugkit::canvas::IBounds& bounds,
                std::initializer_list<int> params,
                const char* name = "control");

    void Draw(plugkit::canvas::ICanvas& g) override;
    void OnMouseDown(float x, float y, const plugkit::canvas::IMouseModifiers& mod) override;
    void OnMouseUp(float x, float y, const plugkit::canvas::IMouseModifiers& mod) override;
    void OnMouseDrag(
        float x, float y, float dX, float dY, const plugkit::canvas::IMouseModifiers& mod) override;
    void OnMouseDblClick(float x, float y, const plugkit::canvas::IMouseModifiers& mod) override;
    void OnMouseWheel(float x,
                      float y,
                      const plugkit::canvas::IMouseModifiers& mod,
                      float delta) override;
    bool OnKeyDown(float x, float y, const plugkit::canvas::IKeyEvent& key) override;
    void OnMouseOver(float x, float y, const plugkit::canvas::IMouseModifiers& mod) override;
    void OnMouseOut() override;
    void OnCaptureLost() override;
    void OnPopupMenuSelection(plugkit::canvas::IPopupMenu* menu, int valIdx) override;
    void OnTextEntryCompletion(const char* text, int valIdx) override;
    void OnContextMenuSelection(int itemIdx) override;
    void CreateContextMenu(plugkit::canvas::IPopupMenu& menu) override;
    void OnDrop(const char* path) override;
    void OnMidi(const plugkit::MidiMessage& msg) override;
    void OnMsgFromDelegate(int msgTag, int dataSize, const void* pData) override;

    /// Runs after the default reaction to a press (e.g. to open a menu).
    std::function<void(TestControl&)> onMouseDown;
    /// Adds the control's items to its parameter's context menu (none when unset).
    std::function<void(plugkit::canvas::IPopupMenu&)> onContextMenu;
    /// Answers key presses (false when unset).
    std::function<bool(TestControl&, const plugkit::canvas::IKeyEvent&)> onKeyDown;

    std::string name;
    int downs = 0, ups = 0, drags = 0, dblClicks = 0, wheels = 0, keys = 0, overs = 0, outs = 0,
        captureLosses = 0, draws = 0, drops = 0, midis = 0, msgs = 0;
    int lastMidiStatus = 0, lastMsgTag = 0, lastMsgSize = 0;
    int lastMenuChoice = -2; ///< -2: never called; -1: called with no choice
    int lastContextChoice = -2;
    std::string lastTypedText;
};

} // namespace lumenfall::test
