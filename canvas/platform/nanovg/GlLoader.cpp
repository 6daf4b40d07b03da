#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <EGL/egl.h>
#endif

#include "canvas/platform/nanovg/GlLoader.h"

#include <cstdint>
#include <mutex>

namespace plugkit::canvas::platform::gl
{

#define PLUGKIT_GL_DEFINE(type, name) type name = nullptr;
PLUGKIT_GL_ENTRY_POINTS(PLUGKIT_GL_DEFINE)
PLUGKIT_GL_OPTIONAL_ENTRY_POINTS(PLUGKIT_GL_DEFINE)
#undef PLUGKIT_GL_DEFINE

Proc PlatformProcLookup(const char* name)
{
#if defined(_WIN32)
    PROC p = wglGetProcAddress(name);
    // Some drivers answer an unknown name with a small integer instead of null.
    const intptr_t value = reinterpret_cast<intptr_t>(p);
    if (value >= -1 && value <= 3)
        return nullptr;
    return reinterpret_cast<Proc>(p);
#else
    return reinterpret_cast<Proc>(eglGetProcAddress(name));
#endif
}

bool LoadEntryPoints(ProcLookup lookup, const char** missing)
{
    const char* firstMissing = nullptr;
#define PLUGKIT_GL_LOAD(type, name)                                                                \
    name = reinterpret_cast<type>(lookup("gl" #name));                                             \
    if (!name && !firstMissing)                                                                    \
        firstMissing = "gl" #name;
    PLUGKIT_GL_ENTRY_POINTS(PLUGKIT_GL_LOAD)
#undef PLUGKIT_GL_LOAD
#define PLUGKIT_GL_LOAD_OPTIONAL(type, name) name = reinterpret_cast<type>(lookup("gl" #name));
    PLUGKIT_GL_OPTIONAL_ENTRY_POINTS(PLUGKIT_GL_LOAD_OPTIONAL)
#undef PLUGKIT_GL_LOAD_OPTIONAL

    if (!firstMissing)
        return true;
#define PLUGKIT_GL_CLEAR(type, name) name = nullptr;
    PLUGKIT_GL_ENTRY_POINTS(PLUGKIT_GL_CLEAR)
    PLUGKIT_GL_OPTIONAL_ENTRY_POINTS(PLUGKIT_GL_CLEAR)
#undef PLUGKIT_GL_CLEAR
    if (missing)
        *missing = firstMissing;
    return false;
}

bool EnsureEntryPoints(ProcLookup lookup)
{
    static std::mutex mutex;
    static bool loaded = false;
    std::lock_guard<std::mutex> lock(mutex);
    if (!loaded)
        loaded = LoadEntryPoints(lookup);
    return loaded;
}

} // namespace plugkit::canvas::platform::gl
