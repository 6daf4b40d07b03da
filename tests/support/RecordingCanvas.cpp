#include "tests/support/RecordingCanvas.h"

#include "canvas/IPopupMenu.h"
#include "plugkit/HeapBuffer.h"
#include "plugkit/HeapString.h"
#include "plugkit/ICanvasEditorDelegate.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

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

std::string Blend(const IBlendSpec* blend)
{
    return blend ? Fmt(" blend %d %g", blend->kind, blend->weight) : std::string();
}

std::string Pattern(const IFillPattern& p)
{
    std::string text;
    if (p.type == EPatternType::Solid)
        text = "solid";
    else
        text = Fmt("%s extend %d stops",
                   p.type == EPatternType::Linear ? "linear" : "radial",
                   static_cast<int>(p.extend));
    for (int i = 0; i < p.nStops; ++i)
    {
        const IArgbColor& c = p.stops[i].color;
        text += Fmt(" %d %d %d %d", c.A, c.R, c.G, c.B);
        if (p.type != EPatternType::Solid)
            text += Fmt(" @%g", p.stops[i].offset);
    }
    if (p.type != EPatternType::Solid)
    {
        const IAffineTransform& m = p.transform;
        text += Fmt(" matrix %g %g %g %g %g %g", m.xx, m.yx, m.xy, m.yy, m.tx, m.ty);
    }
    return text;
}

/// Code points of UTF-8 text (continuation bytes not counted).
int CountCharacters(const char* text)
{
    int n = 0;
    for (const char* p = text; *p; ++p)
        n += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
    return n;
}

std::atomic<int> gLiveBitmaps{0};

/// The "<width> <height>" an image of the recording back end holds; false for anything else.
bool DecodeSize(const void* data, int size, int& width, int& height)
{
    if (!data || size <= 0 || size > 64)
        return false;
    const std::string text(static_cast<const char*>(data), size_t(size));
    char rest = 0;
    return std::sscanf(text.c_str(), "%d %d%c", &width, &height, &rest) == 2 && width > 0 &&
           height > 0;
}
} // namespace

RecordingBitmap::RecordingBitmap(
    int width, int height, int scale, float drawScale, std::string origin)
    : APIBitmap(1, width, height, scale, drawScale)
    , mPixels(size_t(width) * size_t(height) * 4, 0)
    , mOrigin(std::move(origin))
{
    ++gLiveBitmaps;
}

RecordingBitmap::~RecordingBitmap()
{
    --gLiveBitmaps;
}

int RecordingBitmap::LiveCount()
{
    return gLiveBitmaps.load();
}

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

void RecordingCanvas::DrawBitmap(
    const IBitmapHandle& bitmap, const IBounds& dest, int srcX, int srcY, const IBlendSpec*)
{
    const auto* recorded = dynamic_cast<const RecordingBitmap*>(bitmap.GetAPIBitmap());
    Record(
        Fmt("DrawBitmap %s %d %d ", recorded ? recorded->Origin().c_str() : "(none)", srcX, srcY) +
        Rect(dest));
}

bool RecordingCanvas::IsBitmapFormatSupported(const char* extension) const
{
    return extension && (std::strcmp(extension, "png") == 0 || std::strcmp(extension, "jpg") == 0);
}

void RecordingCanvas::GetLayerBitmapData(ILayerPtr& layer, plugkit::HeapBuffer& data)
{
    data.Resize(0);
    auto* bitmap = layer ? dynamic_cast<RecordingBitmap*>(layer->GetAPIBitmap()) : nullptr;
    if (!bitmap)
        return;
    const auto bytes = static_cast<int32_t>(bitmap->Pixels().size());
    data.Resize(bytes);
    if (data.Size() == bytes && bytes > 0)
        std::memcpy(data.Get(), bitmap->Pixels().data(), size_t(bytes));
}

void RecordingCanvas::ApplyShadowMask(ILayerPtr& layer,
                                      plugkit::HeapBuffer& mask,
                                      const ILayerShadow& shadow)
{
    Record(Fmt("ApplyShadowMask %d %g %g %g %g",
               mask.Size(),
               shadow.blurSize,
               shadow.xOffset,
               shadow.yOffset,
               shadow.opacity));
    // The mask becomes the layer's pixels, so a test can read the blur.
    auto* bitmap = layer ? dynamic_cast<RecordingBitmap*>(layer->GetAPIBitmap()) : nullptr;
    if (bitmap && size_t(mask.Size()) == bitmap->Pixels().size() && mask.Size() > 0)
        std::memcpy(bitmap->Pixels().data(), mask.Get(), bitmap->Pixels().size());
}

void RecordingCanvas::UpdateLayer()
{
    IOffscreenLayer* top = GetTopLayer();
    Record(top ? "UpdateLayer " + Rect(top->GetBounds()) : std::string("UpdateLayer window"));
}

bool RecordingCanvas::GetTextFromClipboard(plugkit::HeapString& text)
{
    text.Set(clipboard.c_str());
    return !clipboard.empty();
}

bool RecordingCanvas::SetTextInClipboard(const char* text)
{
    clipboard = text ? text : "";
    Record("SetTextInClipboard " + clipboard);
    return true;
}

int RecordingCanvas::ShowMessageBox(const char* text,
                                    const char* caption,
                                    int type,
                                    IMsgBoxCompletionHandlerFunc completion)
{
    Record(Fmt("ShowMessageBox %s %s %d", text, caption, type));
    if (completion)
        completion(kMsgBoxResultOk);
    return kMsgBoxResultOk;
}

void RecordingCanvas::PromptForFile(plugkit::HeapString& fileName,
                                    plugkit::HeapString& path,
                                    EFileAction action,
                                    const char* extensions,
                                    IFileDialogCompletionHandlerFunc completion)
{
    Record(Fmt("PromptForFile %d %s", static_cast<int>(action), extensions));
    fileName.Set("");
    if (completion)
        completion(fileName, path);
}

void RecordingCanvas::PromptForDirectory(plugkit::HeapString& dir,
                                         IFileDialogCompletionHandlerFunc completion)
{
    Record("PromptForDirectory");
    dir.Set("");
    if (completion)
        completion(plugkit::HeapString(), dir);
}

bool RecordingCanvas::PromptForColor(IArgbColor&, const char* prompt, IColorPickerHandlerFunc)
{
    Record(Fmt("PromptForColor %s", prompt));
    return false;
}

bool RecordingCanvas::OpenURL(const char* url, const char*, const char*, const char*)
{
    Record(Fmt("OpenURL %s", url));
    return false;
}

PlatformFontPtr
RecordingCanvas::LoadPlatformFontByName(const char* fontID, const char* fontName, ETextStyle style)
{
    Record(Fmt("LoadPlatformFontByName %s %s %d", fontID, fontName, static_cast<int>(style)));
    return nullptr;
}

PlatformFontPtr
RecordingCanvas::LoadPlatformFontFromMemory(const char* fontID, const void* data, int size)
{
    Record(Fmt("LoadPlatformFontFromMemory %s %d", fontID, size));
    if (!data || size <= 0)
        return nullptr;
    return std::make_unique<RecordingFont>(
        std::string(static_cast<const char*>(data), size_t(size)));
}

PlatformFontPtr RecordingCanvas::LoadPlatformFontFile(const char* fontID,
                                                      const char* fileNameOrResID)
{
    Record(Fmt("LoadPlatformFontFile %s %s", fontID, fileNameOrResID));
    plugkit::HeapBuffer bytes;
    if (!LoadResource(fileNameOrResID, "ttf", bytes))
        return nullptr;
    return std::make_unique<RecordingFont>(
        std::string(static_cast<const char*>(bytes.Get()), size_t(bytes.Size())));
}

void RecordingCanvas::CachePlatformFont(const char* fontID, const PlatformFontPtr&)
{
    Record(Fmt("CachePlatformFont %s", fontID));
}

std::unique_ptr<APIBitmap>
RecordingCanvas::LoadApiBitmapFromData(const char* name, const void* data, int size, int scale)
{
    Record(Fmt("LoadApiBitmapFromData %s %d", name, scale));
    int width = 0, height = 0;
    if (!DecodeSize(data, size, width, height))
        return nullptr;
    return std::make_unique<RecordingBitmap>(width, height, scale, 1.f, name);
}

std::unique_ptr<APIBitmap> RecordingCanvas::LoadApiBitmap(const char* location,
                                                          int scale,
                                                          platform::ResourceLocation kind,
                                                          const char* extension)
{
    Record(Fmt("LoadApiBitmap %s %d %d", location, scale, static_cast<int>(kind)));
    plugkit::HeapBuffer bytes;
    int width = 0, height = 0;
    if (!LoadResource(location, extension, bytes) ||
        !DecodeSize(bytes.Get(), bytes.Size(), width, height))
        return nullptr;
    return std::make_unique<RecordingBitmap>(width, height, scale, 1.f, location);
}

std::unique_ptr<APIBitmap>
RecordingCanvas::CreateApiBitmap(int width, int height, float scale, float drawScale, bool)
{
    Record(Fmt("CreateApiBitmap %d %d %g %g", width, height, scale, drawScale));
    return std::make_unique<RecordingBitmap>(
        width, height, static_cast<int>(scale), drawScale, Fmt("layer %dx%d", width, height));
}

bool RecordingCanvas::LoadApiFont(const char* fontID, const PlatformFontPtr& font)
{
    const auto* recorded = dynamic_cast<const RecordingFont*>(font.get());
    const bool accepted = recorded && recorded->bytes.compare(0, 3, "bad") != 0;
    Record(Fmt("LoadApiFont %s %d", fontID, accepted ? 1 : 0));
    return accepted;
}

float RecordingCanvas::DoMeasureText(const ITextStyle& style, const char* text, IBounds& bounds)
{
    const float width = float(CountCharacters(text)) * style.size * 0.5f;
    const float height = style.size;
    const float x = style.align == EAlign::Near  ? bounds.L
                    : style.align == EAlign::Far ? bounds.R - width
                                                 : bounds.MW() - width / 2.f;
    const float y = style.valign == EVAlign::Top      ? bounds.T
                    : style.valign == EVAlign::Bottom ? bounds.B - height
                                                      : bounds.MH() - height / 2.f;
    bounds = IBounds(x, y, x + width, y + height);
    return width;
}

void RecordingCanvas::DoDrawText(const ITextStyle& style,
                                 const char* text,
                                 const IBounds& bounds,
                                 const IBlendSpec* blend)
{
    const IArgbColor& c = style.color;
    Record(Fmt("DrawText %s %d %d %d %d ", text, c.A, c.R, c.G, c.B) + Rect(bounds) + Blend(blend));
}

void RecordingCanvas::PathClose()
{
    Record("PathClose");
}

void RecordingCanvas::PathArc(float cx, float cy, float r, float a1, float a2, EWinding winding)
{
    Record(Fmt("PathArc %g %g %g %g %g %d", cx, cy, r, a1, a2, static_cast<int>(winding)));
}

void RecordingCanvas::PathMoveTo(float x, float y)
{
    Record(Fmt("PathMoveTo %g %g", x, y));
}

void RecordingCanvas::PathLineTo(float x, float y)
{
    Record(Fmt("PathLineTo %g %g", x, y));
}

void RecordingCanvas::PathSetWinding(bool clockwise)
{
    Record(Fmt("PathSetWinding %d", clockwise ? 1 : 0));
}

void RecordingCanvas::PathCubicBezierTo(
    float c1x, float c1y, float c2x, float c2y, float x2, float y2)
{
    Record(Fmt("PathCubicBezierTo %g %g %g %g %g %g", c1x, c1y, c2x, c2y, x2, y2));
}

void RecordingCanvas::PathQuadraticBezierTo(float cx, float cy, float x2, float y2)
{
    Record(Fmt("PathQuadraticBezierTo %g %g %g %g", cx, cy, x2, y2));
}

void RecordingCanvas::PathStroke(const IFillPattern& pattern,
                                 float thickness,
                                 const IStrokeStyle& style,
                                 const IBlendSpec* blend)
{
    std::string dashes;
    for (int i = 0; i < style.nDashes; ++i)
        dashes += Fmt(" %g", style.dashes[i]);
    Record("PathStroke " + Pattern(pattern) +
           Fmt(" width %g cap %d join %d miter %g",
               thickness,
               static_cast<int>(style.cap),
               static_cast<int>(style.join),
               style.miterLimit) +
           (style.nDashes ? " dashes" + dashes + Fmt(" offset %g", style.dashOffset) : "") +
           (style.preserve ? " preserve" : "") + Blend(blend));
}

void RecordingCanvas::PathFill(const IFillPattern& pattern,
                               const IFillStyle& style,
                               const IBlendSpec* blend)
{
    Record("PathFill " + Pattern(pattern) + Fmt(" rule %d", static_cast<int>(style.rule)) +
           (style.preserve ? " preserve" : "") + Blend(blend));
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
                                   const IBlendSpec* blend)
{
    Record(Fmt(
        "FillTriangle %d %d %d %d %g %g %g %g %g %g", c.A, c.R, c.G, c.B, x1, y1, x2, y2, x3, y3));
    ICanvas::FillTriangle(c, x1, y1, x2, y2, x3, y3, blend);
}

void RecordingCanvas::FillCircle(
    const IArgbColor& c, float cx, float cy, float r, const IBlendSpec* blend)
{
    Record(Fmt("FillCircle %d %d %d %d %g %g %g", c.A, c.R, c.G, c.B, cx, cy, r));
    ICanvas::FillCircle(c, cx, cy, r, blend);
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

void TestControl::CreateContextMenu(IPopupMenu& menu)
{
    if (onContextMenu)
        onContextMenu(menu);
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
