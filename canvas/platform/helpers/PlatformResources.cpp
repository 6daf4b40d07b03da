#include "canvas/platform/helpers/PlatformResources.h"

#include "canvas/platform/helpers/TextConversion.h"

#include <atomic>
#include <cstring>
#include <cwctype>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace plugkit::canvas::platform
{

namespace
{
std::atomic<void*> gModuleInstance{nullptr};

/// The name without one pair of surrounding double quotes, as a UTF-16 range.
void Unquote(const WideChar*& begin, const WideChar*& end)
{
    if (end - begin >= 2 && begin[0] == '"' && end[-1] == '"')
    {
        ++begin;
        --end;
    }
}

const WideChar* EndOf(const WideChar* text)
{
    while (*text)
        ++text;
    return text;
}

WideChar LowerUnit(WideChar unit)
{
    const auto u = static_cast<uint16_t>(unit);
    if (u >= 0xD800 && u < 0xE000)
        return unit;
    return static_cast<WideChar>(std::towlower(static_cast<wint_t>(u)));
}

/// Whether `text` is well-formed UTF-8. A name that is not is never looked up: converted, its
/// malformed bytes would become U+FFFD and could name another resource or file.
bool IsWellFormedUtf8(const char* text)
{
    return Utf8ToUtf16(text, -1, nullptr, 0, EMalformedUtf8::Refuse) >= 0;
}

bool IsRegularFile(const char* path)
{
#if defined(_WIN32)
    HeapBuffer buffer;
    // Room for the long-path prefix behind the terminator; a path that could not be converted
    // or given that room is not looked at.
    const bool converted = *Utf8ToWideBuffer(path, buffer) != 0;
    const int32_t size = buffer.Size() + 8 * static_cast<int32_t>(sizeof(WideChar));
    if (!converted || !buffer.Resize(size, false) || buffer.Size() != size)
        return false;
    auto* wide = static_cast<WideChar*>(buffer.Get());
    MakeExtendedLengthPath(wide);
    const DWORD attributes = GetFileAttributesW(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
#endif
}

#if defined(_WIN32)
struct MatchRecord
{
    const char* sought;
    HeapString* result;
    bool found;
};

BOOL CALLBACK MatchResourceNameProc(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
    auto* record = reinterpret_cast<MatchRecord*>(param);
    if (IS_INTRESOURCE(name) || !record)
        return TRUE;
    HeapString stored;
    WideToUtf8(name, stored);
    if (!ResourceNamesMatch(stored.Get(), record->sought))
        return TRUE;
    record->result->Set(stored.Get());
    record->found = true;
    return FALSE;
}
#endif
} // namespace

void SetModuleInstance(void* instance)
{
    gModuleInstance.store(instance);
}

void* GetModuleInstance()
{
    return gModuleInstance.load();
}

bool ResourceNamesMatch(const char* stored, const char* sought)
{
    if (!stored || !sought || !IsWellFormedUtf8(sought))
        return false;
    HeapBuffer storedBuffer, soughtBuffer;
    const WideChar* a = Utf8ToWideBuffer(stored, storedBuffer);
    const WideChar* b = Utf8ToWideBuffer(sought, soughtBuffer);
    const WideChar* aEnd = EndOf(a);
    const WideChar* bEnd = EndOf(b);
    Unquote(a, aEnd);
    Unquote(b, bEnd);
    if (aEnd - a != bEnd - b || a == aEnd)
        return false;
    for (; a < aEnd; ++a, ++b)
        if (LowerUnit(*a) != LowerUnit(*b))
            return false;
    return true;
}

ResourceLocation
FindResourceLocation(const char* name, const char* type, HeapString& result, void* module)
{
    if (!name || !*name || !IsWellFormedUtf8(name))
        return ResourceLocation::NotFound;
#if defined(_WIN32)
    if (type && *type)
    {
        HeapBuffer typeBuffer;
        const WideChar* wideType = Utf8ToUpperWideBuffer(type, typeBuffer);
        MatchRecord record{name, &result, false};
        EnumResourceNamesW(static_cast<HMODULE>(module),
                           wideType,
                           MatchResourceNameProc,
                           reinterpret_cast<LONG_PTR>(&record));
        if (record.found)
            return ResourceLocation::ModuleResource;
    }
#else
    (void)type;
    (void)module;
#endif
    if (IsRegularFile(name))
    {
        result.Set(name);
        return ResourceLocation::FilePath;
    }
    return ResourceLocation::NotFound;
}

const void* LoadModuleResource(const char* name, const char* type, int32_t& size, void* module)
{
#if defined(_WIN32)
    if (!name || !*name || !type || !*type || !IsWellFormedUtf8(name))
        return nullptr;
    HeapBuffer nameBuffer, typeBuffer;
    const auto hModule = static_cast<HMODULE>(module);
    HRSRC resource = FindResourceW(
        hModule, Utf8ToWideBuffer(name, nameBuffer), Utf8ToUpperWideBuffer(type, typeBuffer));
    if (!resource)
        return nullptr;
    const DWORD bytes = SizeofResource(hModule, resource);
    if (bytes <= 7 || bytes > 0x7FFFFFFF)
        return nullptr;
    HGLOBAL loaded = LoadResource(hModule, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    size = data ? static_cast<int32_t>(bytes) : 0;
    return data;
#else
    (void)name;
    (void)type;
    (void)size;
    (void)module;
    return nullptr;
#endif
}

float DpiToScale(unsigned int dpi)
{
    if (dpi == 96 || dpi == 0)
        return 1.f;
    return static_cast<float>(dpi) / 96.f;
}

float GetWindowDpiScale(void* window)
{
#if defined(_WIN32)
    using GetDpiForWindowFunc = UINT(WINAPI*)(HWND);
    static std::atomic<GetDpiForWindowFunc> getDpiForWindow{nullptr};
    GetDpiForWindowFunc func = getDpiForWindow.load();
    if (!func)
    {
        if (HMODULE user32 = LoadLibraryW(L"user32.dll"))
        {
            func = reinterpret_cast<GetDpiForWindowFunc>(
                reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
            getDpiForWindow.store(func);
        }
    }
    return func ? DpiToScale(func(static_cast<HWND>(window))) : 1.f;
#else
    (void)window;
    return 1.f;
#endif
}

} // namespace plugkit::canvas::platform
