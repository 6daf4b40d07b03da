#include "tests/support/headless/HeadlessCanvas.h"

#include "canvas/DirtyRectList.h"
#include "canvas/platform/helpers/PlatformResources.h"
#include "canvas/platform/nanovg/PlatformFontData.h"
#include "plugkit/HeapBuffer.h"

#if defined(_WIN32)
#include "canvas/platform/nanovg/WinFont.h"
#endif

#include <cstring>
#include <new>

namespace lumenfall::test
{

using namespace plugkit;
using namespace plugkit::canvas;

namespace
{

#if !defined(_WIN32)
/// A font whose file bytes we hold: the native stand-in for the platform's font layer.
class MemoryFont : public PlatformFont
{
public:
    MemoryFont()
        : PlatformFont(false)
    {
    }

    bool SetBytes(const void* data, int size)
    {
        if (!data || size <= 0 || !mBytes.Resize(size))
            return false;
        std::memcpy(mBytes.Get(), data, static_cast<size_t>(size));
        return true;
    }

    PlatformFontData* ReadFontBytes() const override
    {
        auto* result = new (std::nothrow) PlatformFontData();
        if (!result || !result->bytes.Resize(mBytes.Size()))
            return result;
        std::memcpy(result->bytes.Get(), mBytes.Get(), static_cast<size_t>(mBytes.Size()));
        result->descriptor = platform::FontDescriptor(
            static_cast<const uint8_t*>(result->bytes.Get()), result->bytes.Size(), 0);
        if (result->descriptor.IsValid())
            result->faceIndex = 0;
        return result;
    }

private:
    HeapBuffer mBytes;
};

PlatformFontPtr MakeMemoryFont(const void* data, int size)
{
    std::unique_ptr<MemoryFont> font(new (std::nothrow) MemoryFont());
    if (!font || !font->SetBytes(data, size))
        return nullptr;
    return font;
}
#endif

} // namespace

HeadlessCanvas::HeadlessCanvas(
    ICanvasEditorDelegate& dlg, int width, int height, float drawScale, float screenScale)
    : ICanvasNanoVG(dlg, width, height, 60, drawScale)
    , mContext(new HeadlessGlContext(
          static_cast<int>(static_cast<int>(width * drawScale) * screenScale),
          static_cast<int>(static_cast<int>(height * drawScale) * screenScale)))
{
#if defined(_WIN32)
    platform::AddPlatformFontCacheUser();
#endif
    if (!mContext->IsValid())
        return;
    OnViewCreated();
    SetScreenScale(screenScale);
    DrawResize(); // a screen scale of 1 changes nothing, so the main framebuffer is made here
    HeapBuffer pixels;
    int w = 0;
    int h = 0;
    mValid = GetDrawContext() && ReadMainFramebuffer(pixels, w, h);
}

HeadlessCanvas::~HeadlessCanvas()
{
    if (mContext->IsValid())
    {
        mContext->MakeCurrent();
        OnViewDestroyed();
    }
#if defined(_WIN32)
    platform::RemovePlatformFontCacheUser();
#endif
}

void HeadlessCanvas::ActivateGLContext()
{
    mContext->MakeCurrent();
}

void HeadlessCanvas::DrawResize()
{
    if (mContext->IsValid())
    {
        mContext->MakeCurrent();
        mContext->ResizeWindow(
            static_cast<int>(static_cast<int>(Width() * GetDrawScale()) * GetScreenScale()),
            static_cast<int>(static_cast<int>(Height() * GetDrawScale()) * GetScreenScale()));
    }
    ICanvasNanoVG::DrawResize();
}

bool HeadlessCanvas::DrawDirtyFrame()
{
    DirtyRectList rects;
    if (!IsDirty(rects))
        return false;
    DrawDirtyRects(rects);
    return true;
}

void HeadlessCanvas::DrawFullFrame()
{
    SetAllControlsDirty();
    DrawDirtyFrame();
}

std::vector<uint8_t> HeadlessCanvas::ReadPixels(int& width, int& height)
{
    HeapBuffer pixels;
    width = height = 0;
    if (!ReadMainFramebuffer(pixels, width, height))
        return {};
    const auto* p = static_cast<const uint8_t*>(pixels.Get());
    return std::vector<uint8_t>(p, p + pixels.Size());
}

IArgbColor HeadlessCanvas::PixelAt(int x, int y)
{
    int w = 0;
    int h = 0;
    const std::vector<uint8_t> p = ReadPixels(w, h);
    if (x < 0 || y < 0 || x >= w || y >= h)
        return {-1, -1, -1, -1};
    const uint8_t* px = p.data() + (static_cast<size_t>(y) * w + x) * 4;
    return {px[3], px[0], px[1], px[2]};
}

bool HeadlessCanvas::WritePng(const char* path)
{
    int w = 0;
    int h = 0;
    const std::vector<uint8_t> p = ReadPixels(w, h);
    return !p.empty() && lumenfall::test::WritePng(path, p.data(), w, h);
}

bool HeadlessCanvas::GetMouseLocation(float& x, float& y) const
{
    x = y = 0.f;
    return false;
}

bool HeadlessCanvas::GetTextFromClipboard(HeapString& text)
{
    text.Set("");
    return false;
}

int HeadlessCanvas::ShowMessageBox(const char*, const char*, int, IMsgBoxCompletionHandlerFunc)
{
    return kMsgBoxResultCancel;
}

PlatformFontPtr
HeadlessCanvas::LoadPlatformFontByName(const char* fontID, const char* fontName, ETextStyle style)
{
    (void)fontID;
#if defined(_WIN32)
    return PlatformFontPtr(platform::LoadPlatformFontByName(fontName, style));
#else
    (void)fontName;
    (void)style;
    return nullptr;
#endif
}

PlatformFontPtr
HeadlessCanvas::LoadPlatformFontFromMemory(const char* fontID, const void* data, int size)
{
#if defined(_WIN32)
    return PlatformFontPtr(platform::LoadPlatformFontFromMemory(fontID, data, size));
#else
    (void)fontID;
    return MakeMemoryFont(data, size);
#endif
}

PlatformFontPtr HeadlessCanvas::LoadPlatformFontFile(const char* fontID,
                                                     const char* fileNameOrResID)
{
#if defined(_WIN32)
    return PlatformFontPtr(platform::LoadPlatformFontFile(
        fontID,
        fileNameOrResID,
        GetPlatformInstance() ? GetPlatformInstance() : platform::GetModuleInstance()));
#else
    (void)fontID;
    HeapBuffer bytes;
    if (!LoadResource(fileNameOrResID, "ttf", bytes))
        return nullptr;
    return MakeMemoryFont(bytes.Get(), bytes.Size());
#endif
}

void HeadlessCanvas::CachePlatformFont(const char* fontID, const PlatformFontPtr& font)
{
#if defined(_WIN32)
    if (font)
        platform::CachePlatformFont(fontID, *font);
#else
    (void)fontID;
    (void)font;
#endif
}

} // namespace lumenfall::test
