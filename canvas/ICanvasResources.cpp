// ICanvas: resources and caches (bitmaps, SVG documents, fonts, resource bytes).
#include "canvas/ICanvas.h"

#include "canvas/platform/helpers/FileUtf8.h"
#include "canvas/svg/SvgDocument.h"
#include "canvas/svg/SvgParser.h"
#include "plugkit/HeapBuffer.h"
#include "plugkit/HeapString.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace plugkit::canvas
{

namespace
{
constexpr uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;

uint64_t HashBytes(uint64_t key, const char* bytes, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        key = (key ^ static_cast<unsigned char>(bytes[i])) * kFnvPrime;
    return key;
}

/// A parsed document as the process-wide SVG cache holds it.
struct SvgEntry
{
    std::shared_ptr<const svg::Document> document;
};

/// Every editor of the process shares the parsed documents: a logo is parsed once however many
/// editors show it.
ResourceCache<SvgEntry>& SvgCache()
{
    static ResourceCache<SvgEntry> cache;
    return cache;
}

/// The highest resolution variant searched ("name@3x.ext").
constexpr int kMaxBitmapScale = 3;

/// The text after the last '.', or the whole name without one.
const char* ExtensionOf(const char* name)
{
    const char* dot = std::strrchr(name, '.');
    return dot ? dot + 1 : name;
}

/// The scales to try for `targetScale`: the target first, then 3, 2, 1 without it.
int ScaleSearchOrder(int targetScale, int (&order)[kMaxBitmapScale + 1])
{
    int n = 0;
    order[n++] = targetScale;
    for (int scale = kMaxBitmapScale; scale >= 1; --scale)
        if (scale != targetScale)
            order[n++] = scale;
    return n;
}

/// The name of a resolution variant: the name itself at scale 1, else "%s@%dx%s" of the name
/// without its extension, the scale and the extension with its dot.
std::string VariantName(const char* name, int scale)
{
    if (scale == 1)
        return name;
    const char* dot = std::strrchr(name, '.');
    const std::string stem(name, dot ? size_t(dot - name) : std::strlen(name));
    return stem + "@" + std::to_string(scale) + "x" + (dot ? dot : "");
}

/// The whole file into `data`; false (and `data` empty) when any step fails, the file is
/// empty, or it is larger than `maxBytes`.
bool ReadWholeFile(const char* path, HeapBuffer& data, int32_t maxBytes)
{
    data.Resize(0);
    std::FILE* file = platform::OpenFileUtf8(path, "rb");
    if (!file)
        return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    ok = ok && size > 0 && size <= maxBytes && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok)
    {
        const auto bytes = static_cast<int32_t>(size);
        data.Resize(bytes);
        ok = data.Size() == bytes &&
             std::fread(data.Get(), 1, static_cast<size_t>(bytes), file) == size_t(bytes);
    }
    std::fclose(file);
    if (!ok)
        data.Resize(0);
    return ok;
}
} // namespace

uint64_t HashKey(const char* text)
{
    return text ? HashBytes(kFnvOffsetBasis, text, std::strlen(text)) : kFnvOffsetBasis;
}

uint64_t HashKey(const char* name, double scale)
{
    char suffix[64] = "-";
    const auto formatted =
        std::to_chars(suffix + 1, suffix + sizeof(suffix) - 1, scale, std::chars_format::fixed, 1);
    size_t n = formatted.ec == std::errc() ? size_t(formatted.ptr - suffix) : 1;
    suffix[n++] = 'x';
    return HashBytes(HashKey(name), suffix, n);
}

float ISvgHandle::W() const
{
    return mDocument ? mDocument->width : 0.f;
}

float ISvgHandle::H() const
{
    return mDocument ? mDocument->height : 0.f;
}

void ICanvas::AddResourceCacheUsers()
{
    // The bitmap cache is this object's own; the lock order is kept all the same.
    MutexLock bitmapLock(mBitmapCache.GetMutex());
    SvgCache().AddUser();
}

void ICanvas::RemoveResourceCacheUsers()
{
    MutexLock bitmapLock(mBitmapCache.GetMutex());
    SvgCache().RemoveUser();
}

void* ICanvas::ResourceModule()
{
    void* instance = GetPlatformInstance();
    return instance ? instance : platform::GetModuleInstance();
}

// ---- Resource bytes

bool ICanvas::LoadResource(const char* name, const char* type, HeapBuffer& data)
{
    data.Resize(0);
    void* module = ResourceModule();
    HeapString location;
    switch (platform::FindResourceLocation(name, type, location, module))
    {
    case platform::ResourceLocation::FilePath:
        return ReadWholeFile(location.Get(), data, kMaxResourceBytes);
    case platform::ResourceLocation::ModuleResource:
    {
        int32_t size = 0;
        const void* bytes = platform::LoadModuleResource(location.Get(), type, size, module);
        if (!bytes || size <= 0)
            return false;
        data.Resize(size);
        if (data.Size() != size)
        {
            data.Resize(0);
            return false;
        }
        std::memcpy(data.Get(), bytes, static_cast<size_t>(size));
        return true;
    }
    default:
        return false;
    }
}

// ---- Bitmaps

platform::ResourceLocation ICanvas::SearchImageResource(
    const char* name, const char* extension, HeapString& result, int targetScale, int& sourceScale)
{
    if (!name || !*name)
        return platform::ResourceLocation::NotFound;
    int order[kMaxBitmapScale + 1];
    const int n = ScaleSearchOrder(targetScale, order);
    for (int i = 0; i < n; ++i)
    {
        const std::string candidate = VariantName(name, order[i]);
        const platform::ResourceLocation kind =
            platform::FindResourceLocation(candidate.c_str(), extension, result, ResourceModule());
        if (kind != platform::ResourceLocation::NotFound)
        {
            sourceScale = order[i];
            return kind;
        }
    }
    return platform::ResourceLocation::NotFound;
}

APIBitmap* ICanvas::SearchBitmapInCache(const char* name, int targetScale, int& sourceScale)
{
    MutexLock lock(mBitmapCache.GetMutex());
    int order[kMaxBitmapScale + 1];
    const int n = ScaleSearchOrder(targetScale, order);
    for (int i = 0; i < n; ++i)
    {
        if (APIBitmap* bitmap = mBitmapCache.Find(name, order[i]))
        {
            sourceScale = order[i];
            return bitmap;
        }
    }
    return nullptr;
}

int ICanvas::BitmapTargetScale(int targetScale) const
{
    return targetScale > 0 ? targetScale : std::max(1, static_cast<int>(std::ceil(mScreenScale)));
}

IBitmapHandle ICanvas::KeepBitmap(APIBitmap* source,
                                  std::unique_ptr<APIBitmap> loaded,
                                  const char* name,
                                  int nStates,
                                  bool framesAreHorizontal,
                                  int targetScale)
{
    if (source->GetScale() != targetScale)
    {
        // The copy at the target scale is cached; a freshly loaded source of another scale is
        // not (`loaded` deletes it on return).
        return ScaleBitmap(
            IBitmapHandle(source, nStates, framesAreHorizontal, name), name, targetScale);
    }
    if (loaded)
        source = RetainBitmap(std::move(loaded), name);
    return IBitmapHandle(source, nStates, framesAreHorizontal, name);
}

IBitmapHandle
ICanvas::LoadBitmap(const char* name, int nStates, bool framesAreHorizontal, int targetScale)
{
    return LoadBitmapFrom(name, nullptr, 0, false, nStates, framesAreHorizontal, targetScale);
}

IBitmapHandle ICanvas::LoadBitmapFromData(const char* name,
                                          const void* data,
                                          int size,
                                          int nStates,
                                          bool framesAreHorizontal,
                                          int targetScale)
{
    return LoadBitmapFrom(name, data, size, true, nStates, framesAreHorizontal, targetScale);
}

IBitmapHandle ICanvas::LoadBitmapFrom(const char* name,
                                      const void* data,
                                      int size,
                                      bool fromData,
                                      int nStates,
                                      bool framesAreHorizontal,
                                      int targetScale)
{
    if (!name || !*name)
        return {};
    targetScale = BitmapTargetScale(targetScale);
    MutexLock lock(mBitmapCache.GetMutex());
    if (APIBitmap* cached = mBitmapCache.Find(name, targetScale))
        return IBitmapHandle(cached, nStates, framesAreHorizontal, name);
    const char* extension = ExtensionOf(name);
    if (!IsBitmapFormatSupported(extension))
        return {};

    int sourceScale = 0;
    APIBitmap* source = nullptr;
    std::unique_ptr<APIBitmap> loaded;
    if (fromData)
    {
        source = SearchBitmapInCache(name, targetScale, sourceScale);
        // Bitmaps from data are taken as scale 1 and rescaled to the target.
        if (!source && data && size > 0)
            loaded = LoadApiBitmapFromData(name, data, size, 1);
    }
    else
    {
        HeapString location;
        const platform::ResourceLocation kind =
            SearchImageResource(name, extension, location, targetScale, sourceScale);
        if (kind == platform::ResourceLocation::NotFound)
            source = SearchBitmapInCache(name, targetScale, sourceScale);
        else
        {
            if (sourceScale != targetScale)
                source = mBitmapCache.Find(name, sourceScale);
            if (!source)
                loaded = LoadApiBitmap(location.Get(), sourceScale, kind, extension);
        }
    }
    if (!source)
        source = loaded.get();
    if (!source)
        return {};
    return KeepBitmap(source, std::move(loaded), name, nStates, framesAreHorizontal, targetScale);
}

IBitmapHandle ICanvas::ScaleBitmap(const IBitmapHandle& bitmap, const char* name, int targetScale)
{
    if (!bitmap.IsValid() || targetScale <= 0)
        return {};
    // Drawn at the target scale through a layer: the screen scale becomes the target and the
    // draw scale the source's own, just while the layer is made.
    const float screenScale = mScreenScale;
    const float drawScale = mDrawScale;
    mScreenScale = static_cast<float>(targetScale);
    mDrawScale = bitmap.GetDrawScale();
    const IBounds bounds(0.f, 0.f, bitmap.W() / mDrawScale, bitmap.H() / mDrawScale);
    BeginLayer(nullptr, bounds, true);
    DrawBitmap(bitmap, bounds, 0, 0, nullptr);
    ILayerPtr layer = FinishLayer();
    mScreenScale = screenScale;
    mDrawScale = drawScale;

    std::unique_ptr<APIBitmap> scaled = layer ? layer->TakeBitmap() : nullptr;
    if (!scaled)
        return {};
    APIBitmap* kept = RetainBitmap(std::move(scaled), name);
    return IBitmapHandle(kept, bitmap.N(), bitmap.GetFramesAreHorizontal(), name);
}

APIBitmap* ICanvas::RetainBitmap(std::unique_ptr<APIBitmap> bitmap, const char* name)
{
    if (!bitmap)
        return nullptr;
    const double scale = bitmap->GetScale();
    return mBitmapCache.Add(std::move(bitmap), name, scale);
}

void ICanvas::ReleaseBitmap(const IBitmapHandle& bitmap)
{
    if (bitmap.IsValid())
        mBitmapCache.Remove(bitmap.GetAPIBitmap());
}

// ---- SVG documents

ISvgHandle ICanvas::LoadSvg(const char* name, const char* units, float dpi)
{
    if (!name || !*name)
        return {};
    ResourceCache<SvgEntry>& cache = SvgCache();
    MutexLock lock(cache.GetMutex());
    if (const SvgEntry* cached = cache.Find(name, 1.0))
        return ISvgHandle(cached->document);
    HeapBuffer data;
    if (!LoadResource(name, "svg", data))
        return {};
    return LoadSvgFromData(name, data.Get(), data.Size(), units, dpi);
}

ISvgHandle
ICanvas::LoadSvgFromData(const char* name, const void* data, int size, const char* units, float dpi)
{
    if (!name || !*name)
        return {};
    ResourceCache<SvgEntry>& cache = SvgCache();
    MutexLock lock(cache.GetMutex());
    if (const SvgEntry* cached = cache.Find(name, 1.0))
        return ISvgHandle(cached->document);
    if (!data || size <= 0)
        return {};
    std::shared_ptr<const svg::Document> document =
        svg::ParseSvg(static_cast<const char*>(data), static_cast<size_t>(size), units, dpi);
    if (!document)
        return {};
    cache.Add(std::make_unique<SvgEntry>(SvgEntry{document}), name, 1.0);
    return ISvgHandle(document);
}

// ---- Fonts

bool ICanvas::LoadFont(const char* fontID, const char* fileNameOrResID)
{
    return HandFontToBackEnd(fontID, LoadPlatformFontFile(fontID, fileNameOrResID));
}

bool ICanvas::LoadFontFromMemory(const char* fontID, const void* data, int size)
{
    return HandFontToBackEnd(fontID, LoadPlatformFontFromMemory(fontID, data, size));
}

bool ICanvas::HandFontToBackEnd(const char* fontID, PlatformFontPtr font)
{
    if (!font || !LoadApiFont(fontID, font))
        return false;
    CachePlatformFont(fontID, font);
    return true;
}

} // namespace plugkit::canvas
