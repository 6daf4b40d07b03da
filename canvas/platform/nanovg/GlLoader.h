#pragma once

// Our own small OpenGL loader. opengl32.dll exports only OpenGL 1.1; the OpenGL 2.0 and
// framebuffer entry points that NanoVG's GL2 back end and our back end call are looked up at
// run time with a current context (wglGetProcAddress on Windows, eglGetProcAddress natively).
//
// Include this header instead of <GL/gl.h> wherever those entry points are called: after it,
// each such gl name refers to the loaded pointer. OpenGL 1.1 calls go to the system library.

// On Windows <GL/gl.h> wants two macros of <windows.h>; they are given here for it alone, so
// that this header brings in none of windows.h's names (LoadBitmap and DrawText among them).
#if defined(_WIN32) && !(defined(WINGDIAPI) && defined(APIENTRY))
#define PLUGKIT_GL_OWN_WINDOWS_MACROS
#define WINGDIAPI __declspec(dllimport)
#define APIENTRY __stdcall
#endif

#include <GL/gl.h>
#include <GL/glext.h>

#if defined(PLUGKIT_GL_OWN_WINDOWS_MACROS)
#undef PLUGKIT_GL_OWN_WINDOWS_MACROS
#undef WINGDIAPI
#undef APIENTRY
#endif

namespace plugkit::canvas::platform::gl
{

// Every loaded entry point: its pointer type and its name without the "gl" prefix.
#define PLUGKIT_GL_ENTRY_POINTS(X)                                                                 \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                                       \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                                         \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)                                             \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                                             \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                                                   \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                                                 \
    X(PFNGLBLENDFUNCSEPARATEPROC, BlendFuncSeparate)                                               \
    X(PFNGLBUFFERDATAPROC, BufferData)                                                             \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                                     \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                                                       \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                                       \
    X(PFNGLCREATESHADERPROC, CreateShader)                                                         \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                                       \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                                             \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                                       \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                                           \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                                         \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)                                 \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)                                   \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)                                   \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                                         \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                                             \
    X(PFNGLGENERATEMIPMAPPROC, GenerateMipmap)                                                     \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                                                   \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                                                 \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                                               \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                                         \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                                                 \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                                           \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                                             \
    X(PFNGLISFRAMEBUFFERPROC, IsFramebuffer)                                                       \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                                           \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                                           \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                                         \
    X(PFNGLSTENCILOPSEPARATEPROC, StencilOpSeparate)                                               \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                                               \
    X(PFNGLUNIFORM2FVPROC, Uniform2fv)                                                             \
    X(PFNGLUNIFORM4FVPROC, Uniform4fv)                                                             \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                                             \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)

// Entry points used when the driver has them (null otherwise): a framebuffer copy without a
// shader (OpenGL 3.0, or ARB/EXT_framebuffer_blit).
#define PLUGKIT_GL_OPTIONAL_ENTRY_POINTS(X) X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)

#define PLUGKIT_GL_DECLARE(type, name) extern type name;
PLUGKIT_GL_ENTRY_POINTS(PLUGKIT_GL_DECLARE)
PLUGKIT_GL_OPTIONAL_ENTRY_POINTS(PLUGKIT_GL_DECLARE)
#undef PLUGKIT_GL_DECLARE

using Proc = void (*)();
/// Looks one entry point up by its full name ("glCreateShader"); null when absent.
using ProcLookup = Proc (*)(const char* name);

/// The platform's lookup for the current context: wglGetProcAddress (with its failure values
/// 1, 2, 3 and -1 taken as absent) on Windows, eglGetProcAddress natively.
Proc PlatformProcLookup(const char* name);

/// Looks every entry point up with `lookup` (the current context's by default). True when all
/// the required ones were found; otherwise every pointer is null and `missing`, when given,
/// receives the name of the first absent one. Call it with the context current, before NanoVG
/// is created.
bool LoadEntryPoints(ProcLookup lookup = PlatformProcLookup, const char** missing = nullptr);

/// The entry points for the whole process: the first call that finds them all (through
/// `lookup`) keeps them until the process ends, and every later call returns true without
/// looking anything up, so that no editor's opening can clear them under another that is
/// drawing. Until one call succeeds, each call tries again. Call it with a context current.
bool EnsureEntryPoints(ProcLookup lookup = PlatformProcLookup);

} // namespace plugkit::canvas::platform::gl

#define glActiveTexture ::plugkit::canvas::platform::gl::ActiveTexture
#define glAttachShader ::plugkit::canvas::platform::gl::AttachShader
#define glBindAttribLocation ::plugkit::canvas::platform::gl::BindAttribLocation
#define glBindBuffer ::plugkit::canvas::platform::gl::BindBuffer
#define glBindFramebuffer ::plugkit::canvas::platform::gl::BindFramebuffer
#define glBlitFramebuffer ::plugkit::canvas::platform::gl::BlitFramebuffer
#define glBindRenderbuffer ::plugkit::canvas::platform::gl::BindRenderbuffer
#define glBlendFuncSeparate ::plugkit::canvas::platform::gl::BlendFuncSeparate
#define glBufferData ::plugkit::canvas::platform::gl::BufferData
#define glCheckFramebufferStatus ::plugkit::canvas::platform::gl::CheckFramebufferStatus
#define glCompileShader ::plugkit::canvas::platform::gl::CompileShader
#define glCreateProgram ::plugkit::canvas::platform::gl::CreateProgram
#define glCreateShader ::plugkit::canvas::platform::gl::CreateShader
#define glDeleteBuffers ::plugkit::canvas::platform::gl::DeleteBuffers
#define glDeleteFramebuffers ::plugkit::canvas::platform::gl::DeleteFramebuffers
#define glDeleteProgram ::plugkit::canvas::platform::gl::DeleteProgram
#define glDeleteRenderbuffers ::plugkit::canvas::platform::gl::DeleteRenderbuffers
#define glDeleteShader ::plugkit::canvas::platform::gl::DeleteShader
#define glDisableVertexAttribArray ::plugkit::canvas::platform::gl::DisableVertexAttribArray
#define glEnableVertexAttribArray ::plugkit::canvas::platform::gl::EnableVertexAttribArray
#define glFramebufferRenderbuffer ::plugkit::canvas::platform::gl::FramebufferRenderbuffer
#define glFramebufferTexture2D ::plugkit::canvas::platform::gl::FramebufferTexture2D
#define glGenBuffers ::plugkit::canvas::platform::gl::GenBuffers
#define glGenerateMipmap ::plugkit::canvas::platform::gl::GenerateMipmap
#define glGenFramebuffers ::plugkit::canvas::platform::gl::GenFramebuffers
#define glGenRenderbuffers ::plugkit::canvas::platform::gl::GenRenderbuffers
#define glGetProgramInfoLog ::plugkit::canvas::platform::gl::GetProgramInfoLog
#define glGetProgramiv ::plugkit::canvas::platform::gl::GetProgramiv
#define glGetShaderInfoLog ::plugkit::canvas::platform::gl::GetShaderInfoLog
#define glGetShaderiv ::plugkit::canvas::platform::gl::GetShaderiv
#define glGetUniformLocation ::plugkit::canvas::platform::gl::GetUniformLocation
#define glIsFramebuffer ::plugkit::canvas::platform::gl::IsFramebuffer
#define glLinkProgram ::plugkit::canvas::platform::gl::LinkProgram
#define glRenderbufferStorage ::plugkit::canvas::platform::gl::RenderbufferStorage
#define glShaderSource ::plugkit::canvas::platform::gl::ShaderSource
#define glStencilOpSeparate ::plugkit::canvas::platform::gl::StencilOpSeparate
#define glUniform1i ::plugkit::canvas::platform::gl::Uniform1i
#define glUniform2fv ::plugkit::canvas::platform::gl::Uniform2fv
#define glUniform4fv ::plugkit::canvas::platform::gl::Uniform4fv
#define glUseProgram ::plugkit::canvas::platform::gl::UseProgram
#define glVertexAttribPointer ::plugkit::canvas::platform::gl::VertexAttribPointer
