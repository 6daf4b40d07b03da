#pragma once

#include "plugkit/HeapString.h"

#include <cstdint>

namespace plugkit::canvas::platform
{

/// Where a named resource was found.
enum class ResourceLocation : int32_t
{
    NotFound = 0,
    FilePath = 1,       ///< a file at the name taken as a (UTF-8) path
    ModuleResource = 2, ///< embedded in the module
    PreloadedImage = 3, ///< an image handed over ready-made (the bitmap loader's own kind)
    kNumResourceLocations
};

/// The module whose embedded resources are searched: the plug-in module's handle, published
/// once by its first module entry, or the program's own. Null until then (on Windows null
/// names the process's executable). [any-thread]
void SetModuleInstance(void* instance);
void* GetModuleInstance();

/// True when `stored`, the name of an embedded resource as the resource compiler kept it, names
/// the resource `sought`: letter case is ignored, and so is one pair of double quotes around
/// either name (a quoted name in a resource script may be stored with or without them). A sought
/// name that is not well-formed UTF-8 names nothing.
bool ResourceNamesMatch(const char* stored, const char* sought);

/// Looks for `name` among `module`'s embedded resources of `type` (its letter case ignored),
/// then as a regular file (a folder does not count). Module resource: `result` is the name as
/// stored. File: `result` is `name`. Not found: `result` is left unchanged. Natively there are
/// no embedded resources, so only files answer. A name that is not well-formed UTF-8 is not
/// looked up at all.
ResourceLocation
FindResourceLocation(const char* name, const char* type, HeapString& result, void* module);

/// The bytes of the embedded resource `name` of `type` in `module`: read-only, owned by the
/// module and valid while it is loaded. Null (and `size` untouched) when it is missing or holds
/// 7 bytes or fewer, which no resource this program embeds does, or when `name` is not
/// well-formed UTF-8; natively always null.
const void* LoadModuleResource(const char* name, const char* type, int32_t& size, void* module);

/// The window scale of a DPI value: exactly 1 at 96, else dpi / 96 (1 for 0).
float DpiToScale(unsigned int dpi);

/// The DPI scale of `window` (an HWND) from GetDpiForWindow, looked up at run time in user32;
/// 1 where the system has no such call, and natively.
float GetWindowDpiScale(void* window);

} // namespace plugkit::canvas::platform
