#pragma once

#include "canvas/ICanvas.h"
#include "canvas/IControl.h"
#include "plugkit/MidiMessage.h"

#include <functional>
#include <string>
#include <vector>

namespace lumenfall::test
{

/// An `ICanvas` back end with no window and no GL: every drawing and platform operation
/// appends one line to `Log()` (numbers printed with "%g"), and platform queries answer
/// what the test scripted. `OpenWindow` runs the delegate's layout, as the window layer does.
class RecordingCanvas : public plugkit::canvas::ICanvas
{
public:
    using IBounds = plugkit::canvas::IBounds;
    using IPopupMenu = plugkit::canvas::IPopupMenu;

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

    // ICanvas
    void PathClear() override;
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
    void OnDrop(const char* path) override;
    void OnMidi(const plugkit::MidiMessage& msg) override;
    void OnMsgFromDelegate(int msgTag, int dataSize, const void* pData) override;

    /// Runs after the default reaction to a press (e.g. to open a menu).
    std::function<void(TestControl&)> onMouseDown;
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
