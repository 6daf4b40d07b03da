#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "canvas/platform/nanovg/WinFont.h"

#include "canvas/ResourceCache.h"
#include "canvas/platform/helpers/PlatformResources.h"
#include "canvas/platform/helpers/TextConversion.h"
#include "canvas/platform/nanovg/PlatformFontData.h"

#include <cstring>
#include <memory>
#include <new>

namespace plugkit::canvas::platform
{

namespace
{

static_assert(kFaceNameUnits == LF_FACESIZE - 1);
/// GetTextFace reads back at most this many characters.
constexpr int kReadBackUnits = 64;

/// FNV-1a of the font's bytes: an id given again with other bytes installs those.
uint64_t HashBytes(const void* data, int32_t size)
{
    uint64_t h = 0xcbf29ce484222325ull;
    const auto* p = static_cast<const uint8_t*>(data);
    for (int32_t i = 0; i < size; ++i)
        h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

/// An installed memory font, kept for the life of the process (uninstalled when the module
/// unloads): Wine's RemoveFontMemResourceEx removes nothing, so each re-install would grow the
/// process, and on Windows a second install while another editor uses the first keeps two.
struct InstalledMemoryFont
{
    InstalledMemoryFont(HANDLE h, int32_t n, uint64_t hash)
        : handle(h)
        , size(n)
        , bytesHash(hash)
    {
    }
    ~InstalledMemoryFont() { RemoveFontMemResourceEx(handle); }
    InstalledMemoryFont(const InstalledMemoryFont&) = delete;
    InstalledMemoryFont& operator=(const InstalledMemoryFont&) = delete;

    HANDLE handle;
    int32_t size;
    uint64_t bytesHash;
};

/// A font handle kept for the native text field; deleted when its cache entry goes.
struct CachedFontHandle
{
    explicit CachedFontHandle(HFONT f)
        : font(f)
    {
    }
    ~CachedFontHandle() { DeleteObject(font); }
    CachedFontHandle(const CachedFontHandle&) = delete;
    CachedFontHandle& operator=(const CachedFontHandle&) = delete;

    HFONT font;
};

ResourceCache<InstalledMemoryFont>& MemoryFonts()
{
    static ResourceCache<InstalledMemoryFont> cache;
    return cache;
}

ResourceCache<CachedFontHandle>& FontHandles()
{
    static ResourceCache<CachedFontHandle> cache;
    return cache;
}

int CALLBACK StopAtFirstFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

} // namespace

int CopyFaceName(const char* name, wchar_t (&face)[kFaceNameUnits + 1])
{
    HeapBuffer buffer;
    const WideChar* wide = Utf8ToWideBuffer(name, buffer);
    int n = 0;
    while (n < kFaceNameUnits && wide[n])
        ++n;
    if (n == kFaceNameUnits && n > 0 && wide[n - 1] >= 0xD800 && wide[n - 1] < 0xDC00)
        --n;
    std::memcpy(face, wide, sizeof(wchar_t) * n);
    face[n] = 0;
    return n;
}

WinFont::WinFont(HFONT font, bool isSystem, const char* style)
    : PlatformFont(isSystem)
    , mFont(font)
    , mStyle(style)
{
}

WinFont::~WinFont()
{
    if (mFont)
        DeleteObject(mFont);
}

PlatformFontData* WinFont::ReadFontBytes() const
{
    auto* result = new (std::nothrow) PlatformFontData();
    if (!result)
        return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return result;
    HGDIOBJ previous = SelectObject(dc, mFont);
    HeapBuffer& bytes = result->bytes;
    const FontDataReader read = [dc](uint32_t table, void* buffer, uint32_t size)
    { return static_cast<uint32_t>(GetFontData(dc, table, 0, buffer, size)); };
    if (ReadFontFile(read, bytes))
    {
        const auto* data = static_cast<const uint8_t*>(bytes.Get());
        result->faceIndex = FindFaceByStyle(data, bytes.Size(), mStyle.Get());
        if (result->faceIndex >= 0)
            result->descriptor = FontDescriptor(data, bytes.Size(), result->faceIndex);
        else
            bytes.Resize(0);
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    return result;
}

HFONT FindSystemFont(
    const char* name, int weight, bool italic, bool underline, int quality, bool mustExist)
{
    if (!name || !*name)
        return nullptr;
    LOGFONTW logical = {};
    logical.lfWeight = weight;
    logical.lfItalic = italic ? TRUE : FALSE;
    logical.lfUnderline = underline ? TRUE : FALSE;
    logical.lfCharSet = DEFAULT_CHARSET;
    logical.lfOutPrecision = OUT_TT_PRECIS;
    logical.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    logical.lfQuality = static_cast<BYTE>(quality);
    CopyFaceName(name, logical.lfFaceName);

    HDC screen = GetDC(nullptr);
    if (!screen)
        return nullptr;
    HFONT font = nullptr;
    bool found = !mustExist;
    if (mustExist)
        EnumFontFamiliesExW(
            screen, &logical, StopAtFirstFamily, reinterpret_cast<LPARAM>(&found), 0);
    if (found)
        font = CreateFontIndirectW(&logical);
    if (font)
    {
        HGDIOBJ previous = SelectObject(screen, font);
        WCHAR face[kReadBackUnits + 1] = {};
        const int n = GetTextFaceW(screen, kReadBackUnits, face);
        SelectObject(screen, previous);
        HeapString readBack;
        if (n > 0)
            WideToUtf8(face, readBack);
        if (std::strcmp(readBack.Get(), name) != 0)
        {
            DeleteObject(font);
            font = nullptr;
        }
    }
    ReleaseDC(nullptr, screen);
    return font;
}

PlatformFont* LoadPlatformFontByName(const char* family, ETextStyle style)
{
    int weight = FW_NORMAL;
    bool italic = false;
    const char* styleName = "Regular";
    if (style == ETextStyle::Bold)
    {
        weight = FW_BOLD;
        styleName = "Bold";
    }
    else if (style == ETextStyle::Italic)
    {
        italic = true;
        styleName = "Italic";
    }
    HFONT font = FindSystemFont(family, weight, italic, false, DEFAULT_QUALITY, true);
    if (!font)
        return nullptr;
    auto* result = new (std::nothrow) WinFont(font, true, styleName);
    if (!result)
        DeleteObject(font);
    return result;
}

PlatformFont* LoadPlatformFontFromMemory(const char* fontId, const void* data, int32_t size)
{
    if (!data || size <= 0)
        return nullptr;
    MutexLock lock(MemoryFonts().GetMutex());
    const uint64_t hash = HashBytes(data, size);
    InstalledMemoryFont* kept = MemoryFonts().Find(fontId, 1.0);
    const bool reuse = kept != nullptr && kept->size == size && kept->bytesHash == hash;
    HANDLE handle = nullptr;
    if (!reuse)
    {
        DWORD installed = 0;
        handle = AddFontMemResourceEx(
            const_cast<void*>(data), static_cast<DWORD>(size), nullptr, &installed);
        if (!handle)
            return nullptr;
    }

    const FontDescriptor descriptor(static_cast<const uint8_t*>(data), size, 0);
    const uint16_t macStyle = descriptor.GetMacStyle();
    HFONT font = nullptr;
    if (descriptor.IsValid())
        font = FindSystemFont(descriptor.GetFamily().Get(),
                              (macStyle & 1) ? FW_BOLD : FW_NORMAL,
                              (macStyle & 2) != 0,
                              (macStyle & 4) != 0,
                              DEFAULT_QUALITY,
                              false);
    WinFont* result = font ? new (std::nothrow) WinFont(font, false, "") : nullptr;
    if (!result)
    {
        if (font)
            DeleteObject(font);
        if (handle)
            RemoveFontMemResourceEx(handle);
        return nullptr;
    }
    if (reuse)
        return result;
    std::unique_ptr<InstalledMemoryFont> entry(new (std::nothrow)
                                                   InstalledMemoryFont(handle, size, hash));
    if (!entry)
    {
        delete result;
        RemoveFontMemResourceEx(handle);
        return nullptr;
    }
    // Other bytes under the same id replace the earlier install.
    if (kept)
        MemoryFonts().Remove(kept);
    MemoryFonts().Add(std::move(entry), fontId, 1.0);
    return result;
}

PlatformFont* LoadPlatformFontFile(const char* fontId, const char* name, void* module)
{
    MutexLock lock(MemoryFonts().GetMutex());
    HeapString found;
    switch (FindResourceLocation(name, "ttf", found, module))
    {
    case ResourceLocation::FilePath:
    {
        HeapBuffer path;
        HANDLE file = CreateFileW(Utf8ToWideBuffer(found.Get(), path),
                                  GENERIC_READ,
                                  0,
                                  nullptr,
                                  OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return nullptr;
        PlatformFont* font = nullptr;
        LARGE_INTEGER size = {};
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping && GetFileSizeEx(file, &size) && size.QuadPart <= INT32_MAX)
        {
            if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))
            {
                font =
                    LoadPlatformFontFromMemory(fontId, view, static_cast<int32_t>(size.QuadPart));
                UnmapViewOfFile(view);
            }
        }
        if (mapping)
            CloseHandle(mapping);
        CloseHandle(file);
        return font;
    }
    case ResourceLocation::ModuleResource:
    {
        int32_t size = 0;
        const void* bytes = LoadModuleResource(found.Get(), "ttf", size, module);
        return bytes ? LoadPlatformFontFromMemory(fontId, bytes, size) : nullptr;
    }
    default:
        return nullptr;
    }
}

void CachePlatformFont(const char* fontId, const PlatformFont& font)
{
    MutexLock lock(FontHandles().GetMutex());
    if (FontHandles().Find(fontId, 1.0))
        return;
    LOGFONTW logical = {};
    auto handle = static_cast<HFONT>(font.GetNativeHandle());
    if (!handle || !GetObjectW(handle, sizeof(logical), &logical))
        return;
    HFONT copy = CreateFontIndirectW(&logical);
    if (!copy)
        return;
    std::unique_ptr<CachedFontHandle> entry(new (std::nothrow) CachedFontHandle(copy));
    if (!entry)
    {
        DeleteObject(copy);
        return;
    }
    FontHandles().Add(std::move(entry), fontId, 1.0);
}

HFONT GetCachedFontHandle(const char* fontId)
{
    MutexLock lock(FontHandles().GetMutex());
    const CachedFontHandle* entry = FontHandles().Find(fontId, 1.0);
    return entry ? entry->font : nullptr;
}

int InstalledMemoryFontCount()
{
    return MemoryFonts().NEntries();
}

void AddPlatformFontCacheUser()
{
    FontHandles().AddUser();
}

void RemovePlatformFontCacheUser()
{
    FontHandles().RemoveUser();
}

} // namespace plugkit::canvas::platform
