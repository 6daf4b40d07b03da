#include "tests/canvas/RecordingCanvas.h"

#include "canvas/IPopupMenu.h"
#include "plugkit/ICanvasEditorDelegate.h"

#include <cstdarg>
#include <cstdio>

namespace lumenfall::test
{

using namespace plugkit::canvas;

namespace
{
std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Fmt(const char* format, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return buffer;
}

std::string Rect(const IBounds& r)
{
    return Fmt("%g %g %g %g", r.L, r.T, r.R, r.B);
}
} // namespace

RecordingCanvas::RecordingCanvas(ICanvasEditorDelegate& dlg, int width, int height, float scale)
    : ICanvas(dlg, width, height, 60, scale)
{
}

RecordingCanvas::~RecordingCanvas()
{
    // Controls are deleted while this object is still a RecordingCanvas, so anything they
    // call during their removal reaches the recording operations.
    RemoveAllControls();
}

std::vector<std::string> RecordingCanvas::LinesStartingWith(const std::string& prefix) const
{
    std::vector<std::string> lines;
    for (const std::string& line : mLog)
        if (line.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(line);
    return lines;
}

void RecordingCanvas::SetMouseLocation(float x, float y)
{
    mMouseX = x;
    mMouseY = y;
}

void RecordingCanvas::SetMenuChoice(int itemIdx, bool async)
{
    mMenuChoice = itemIdx;
    mMenuAsync = async;
}

void RecordingCanvas::PathClear()
{
    Record("PathClear");
}

void RecordingCanvas::PathTransformSetMatrix(const IAffineTransform& t)
{
    Record(Fmt("Transform %g %g %g %g %g %g", t.xx, t.yx, t.xy, t.yy, t.tx, t.ty));
}

void RecordingCanvas::SetClipRegion(const IBounds& r)
{
    Record("Clip " + Rect(r));
}

void RecordingCanvas::FillTriangle(const IArgbColor& c,
                                   float x1,
                                   float y1,
                                   float x2,
                                   float y2,
                                   float x3,
                                   float y3,
                                   const IBlendSpec*)
{
    Record(Fmt(
        "FillTriangle %d %d %d %d %g %g %g %g %g %g", c.A, c.R, c.G, c.B, x1, y1, x2, y2, x3, y3));
}

void RecordingCanvas::FillCircle(
    const IArgbColor& c, float cx, float cy, float r, const IBlendSpec*)
{
    Record(Fmt("FillCircle %d %d %d %d %g %g %g", c.A, c.R, c.G, c.B, cx, cy, r));
}

void RecordingCanvas::BeginFrame()
{
    Record("BeginFrame");
}

void RecordingCanvas::EndFrame()
{
    Record("EndFrame");
}

void RecordingCanvas::OnControlDrawn(const IBounds& area)
{
    Record("Drawn " + Rect(area));
}

void* RecordingCanvas::OpenWindow(void* pParent)
{
    Record("OpenWindow");
    mWindow = pParent ? pParent : this;
    // As the window layer does once its window exists: the layout attaches the controls.
    GetDelegate().LayoutUI(this);
    return mWindow;
}

void RecordingCanvas::CloseWindow()
{
    Record("CloseWindow");
    mWindow = nullptr;
}

bool RecordingCanvas::GetMouseLocation(float& x, float& y) const
{
    x = mMouseX;
    y = mMouseY;
    return true;
}

void RecordingCanvas::MoveMouseCursor(float x, float y)
{
    Record(Fmt("MoveMouseCursor %g %g", x, y));
}

ECursorShape RecordingCanvas::SetMouseCursor(ECursorShape shape)
{
    Record(Fmt("SetMouseCursor %d", static_cast<int>(shape)));
    return ICanvas::SetMouseCursor(shape);
}

void RecordingCanvas::PlatformResize(bool parentHasResized)
{
    Record(Fmt("PlatformResize %d", parentHasResized ? 1 : 0));
}

void RecordingCanvas::DrawResize()
{
    Record("DrawResize");
}

void RecordingCanvas::OnResizeComplete()
{
    Record("OnResizeComplete");
}

void RecordingCanvas::CreatePlatformTextEntry(
    int paramIdx, const ITextStyle&, const IBounds& bounds, int length, const char* text)
{
    Record(Fmt("PlatformTextEntry %d %d %s ", paramIdx, length, text) + Rect(bounds));
}

IPopupMenu*
RecordingCanvas::CreatePlatformPopupMenu(IPopupMenu& menu, const IBounds& bounds, bool& isAsync)
{
    Record(Fmt("PopupMenu %d %s ", menu.NItems(), menu.GetRootTitle()) + Rect(bounds));
    mLastMenu = &menu;
    isAsync = mMenuAsync;
    if (mMenuAsync || mMenuChoice < 0 || mMenuChoice >= menu.NItems())
        return nullptr;
    menu.SetChosenItemIdx(mMenuChoice);
    return &menu;
}

void RecordingCanvas::ShowParamContextMenu(IControl* control, int paramIdx, float x, float y)
{
    Record(Fmt("ParamContextMenu %d %g %g", paramIdx, x, y));
    ICanvas::ShowParamContextMenu(control, paramIdx, x, y);
}

void RecordingCanvas::PlatformHideMouseCursor(bool hide, bool lock)
{
    Record(Fmt("HideMouseCursor %d %d", hide ? 1 : 0, lock ? 1 : 0));
}

TestControl::TestControl(const IBounds& bounds, int paramIdx, const char* controlName)
    : IControl(bounds, paramIdx)
    , name(controlName)
{
}

TestControl::TestControl(const IBounds& bounds,
                         std::initializer_list<int> params,
                         const char* controlName)
    : IControl(bounds, params)
    , name(controlName)
{
}

void TestControl::Draw(ICanvas& g)
{
    ++draws;
    if (auto* recorder = dynamic_cast<RecordingCanvas*>(&g))
        recorder->Record("draw " + name);
}

void TestControl::OnMouseDown(float x, float y, const IMouseModifiers& mod)
{
    ++downs;
    IControl::OnMouseDown(x, y, mod);
    if (onMouseDown)
        onMouseDown(*this);
}

void TestControl::OnMouseUp(float, float, const IMouseModifiers&)
{
    ++ups;
}

void TestControl::OnMouseDrag(float, float, float, float dY, const IMouseModifiers&)
{
    ++drags;
    // A plain slider: 100 units of upward movement span the range.
    SetValue(GetValue(0) - dY / 100.0, 0);
    SetDirty(true, 0);
}

void TestControl::OnMouseDblClick(float x, float y, const IMouseModifiers& mod)
{
    ++dblClicks;
    IControl::OnMouseDblClick(x, y, mod);
}

void TestControl::OnMouseWheel(float, float, const IMouseModifiers&, float delta)
{
    ++wheels;
    SetValue(GetValue(0) + delta * 0.1, 0);
    SetDirty(true, 0);
}

bool TestControl::OnKeyDown(float, float, const IKeyEvent& key)
{
    ++keys;
    return onKeyDown ? onKeyDown(*this, key) : false;
}

void TestControl::OnMouseOver(float x, float y, const IMouseModifiers& mod)
{
    ++overs;
    IControl::OnMouseOver(x, y, mod);
}

void TestControl::OnMouseOut()
{
    ++outs;
    IControl::OnMouseOut();
}

void TestControl::OnCaptureLost()
{
    ++captureLosses;
}

void TestControl::OnPopupMenuSelection(IPopupMenu* menu, int valIdx)
{
    lastMenuChoice = menu ? menu->GetChosenItemIdx() : -1;
    IControl::OnPopupMenuSelection(menu, valIdx);
}

void TestControl::OnTextEntryCompletion(const char* text, int)
{
    lastTypedText = text;
}

void TestControl::OnContextMenuSelection(int itemIdx)
{
    lastContextChoice = itemIdx;
}

void TestControl::OnDrop(const char*)
{
    ++drops;
}

void TestControl::OnMidi(const plugkit::MidiMessage& msg)
{
    ++midis;
    lastMidiStatus = msg.mStatus;
}

void TestControl::OnMsgFromDelegate(int msgTag, int dataSize, const void*)
{
    ++msgs;
    lastMsgTag = msgTag;
    lastMsgSize = dataSize;
}

} // namespace lumenfall::test
