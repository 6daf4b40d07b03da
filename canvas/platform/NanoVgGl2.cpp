// The one translation unit that compiles NanoVG's GL2 back end and its framebuffer helpers.
// Without NANOVG_FBO_VALID the helpers' framebuffer creation returns null on GL2.
#define NANOVG_GL2_IMPLEMENTATION 1
#define NANOVG_FBO_VALID 1

#include "canvas/platform/GlLoader.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace plugkit::canvas::platform::gl
{

struct PaintPrograms;

namespace
{
// Per thread, as GL contexts are current per thread.
thread_local bool gKeepScissorTest = false;
// The programs of the NanoVG context whose draws are being flushed on this thread; null
// outside a flush.
thread_local PaintPrograms* gFlushing = nullptr;

/// NanoVG's shader texts, seen when its first context compiles them. They are string literals
/// of NanoVG's, alive as long as the process.
struct ShaderTexts
{
    const char* header = nullptr;
    const char* options = nullptr;
    const char* vertex = nullptr;
    const char* fragment = nullptr;
};
ShaderTexts gTexts;
std::mutex gTextsLock;
thread_local bool gCompilingOwn = false;
} // namespace

void KeepScissorTest(bool keep)
{
    gKeepScissorTest = keep;
}

/// NanoVG's glDisable: its flush turns the scissor test off before drawing, which would undo the
/// back end's clip rectangle.
void NanoVgDisable(GLenum capability)
{
    if (capability == GL_SCISSOR_TEST && gKeepScissorTest)
        return;
    glDisable(capability);
}

/// NanoVG's glShaderSource: its texts are kept for the specialised programs.
void NanoVgShaderSource(GLuint shader, GLsizei count, const GLchar* const* texts, const GLint*)
{
    if (count == 3 && !gCompilingOwn)
    {
        GLint stage = 0;
        GetShaderiv(shader, GL_SHADER_TYPE, &stage);
        std::lock_guard<std::mutex> lock(gTextsLock);
        gTexts.header = texts[0];
        gTexts.options = texts[1];
        (stage == GL_VERTEX_SHADER ? gTexts.vertex : gTexts.fragment) = texts[2];
    }
    ShaderSource(shader, count, texts, nullptr);
}

void NanoVgUseProgram(GLuint program);
void NanoVgUniform4fv(GLint location, GLsizei count, const GLfloat* value);

} // namespace plugkit::canvas::platform::gl

#define glDisable ::plugkit::canvas::platform::gl::NanoVgDisable
#undef glShaderSource
#define glShaderSource ::plugkit::canvas::platform::gl::NanoVgShaderSource
#undef glUseProgram
#define glUseProgram ::plugkit::canvas::platform::gl::NanoVgUseProgram
#undef glUniform4fv
#define glUniform4fv ::plugkit::canvas::platform::gl::NanoVgUniform4fv
#include "canvas/platform/NanoVgGl.h"
#undef glUniform4fv
#define glUniform4fv ::plugkit::canvas::platform::gl::Uniform4fv
#undef glUseProgram
#define glUseProgram ::plugkit::canvas::platform::gl::UseProgram
#undef glShaderSource
#define glShaderSource ::plugkit::canvas::platform::gl::ShaderSource

namespace plugkit::canvas::platform::gl
{

namespace
{

/// The paint kinds of NanoVG's fragment shader: its `type` (0 gradient or solid colour, 1 image,
/// 2 stencil, 3 text and other textured triangles) and, for textures, its `texType` (0
/// premultiplied RGBA, 1 straight RGBA, 2 alpha), with a solid colour apart from gradients.
enum class PaintKind
{
    Solid,
    Gradient,
    ImagePremultiplied,
    ImageStraight,
    ImageAlpha,
    Stencil,
    TrianglesPremultiplied,
    TrianglesStraight,
    TrianglesAlpha,
    Count
};
constexpr int kPaintKinds = static_cast<int>(PaintKind::Count);

// Positions in NanoVG's fragment uniforms (11 vec4s).
constexpr int kInnerColor = 24;
constexpr int kOuterColor = 28;
constexpr int kTexType = 42;
constexpr int kType = 43;

/// The kind of one draw's uniforms; Count for a combination the shader does not know.
PaintKind KindOf(const GLfloat* frag)
{
    const int type = static_cast<int>(frag[kType]);
    const int texType = static_cast<int>(frag[kTexType]);
    if (texType < 0 || texType > 2)
        return PaintKind::Count;
    switch (type)
    {
    case 0:
        for (int i = 0; i < 4; ++i)
            if (frag[kInnerColor + i] != frag[kOuterColor + i])
                return PaintKind::Gradient;
        return PaintKind::Solid;
    case 1:
        return static_cast<PaintKind>(static_cast<int>(PaintKind::ImagePremultiplied) + texType);
    case 2:
        return PaintKind::Stencil;
    case 3:
        return static_cast<PaintKind>(static_cast<int>(PaintKind::TrianglesPremultiplied) +
                                      texType);
    default:
        return PaintKind::Count;
    }
}

/// Replaces the one occurrence of `from` in `text`; false when it is not there once.
bool ReplaceOnce(std::string& text, const char* from, const std::string& to)
{
    const size_t at = text.find(from);
    if (at == std::string::npos || text.find(from, at + 1) != std::string::npos)
        return false;
    text.replace(at, std::strlen(from), to);
    return true;
}

/// NanoVG's fragment shader for one paint kind: the type and texture type that it reads from
/// its uniforms become constants, so the compiler drops every other kind's branch. A software
/// renderer runs every branch of a shader for every pixel, uniform condition or not; NanoVG's
/// single shader would otherwise sample a texture for every solid fill. A solid colour also
/// skips the gradient, whose two colours are the same: mix(c, c, d) is c. Empty when the text
/// is not the one expected.
std::string SpecialisedFragmentText(const char* fragment, PaintKind kind)
{
    const int k = static_cast<int>(kind);
    int type = 0;
    int texType = 0;
    if (kind == PaintKind::Stencil)
    {
        type = 2;
    }
    else if (kind >= PaintKind::TrianglesPremultiplied)
    {
        type = 3;
        texType = k - static_cast<int>(PaintKind::TrianglesPremultiplied);
    }
    else if (kind >= PaintKind::ImagePremultiplied)
    {
        type = 1;
        texType = k - static_cast<int>(PaintKind::ImagePremultiplied);
    }
    std::string text = fragment;
    if (!ReplaceOnce(text,
                     "#define texType int(frag[10].z)",
                     "#define texType " + std::to_string(texType)) ||
        !ReplaceOnce(text, "#define type int(frag[10].w)", "#define type " + std::to_string(type)))
        return {};
    if (kind == PaintKind::Solid &&
        !ReplaceOnce(text, "vec4 color = mix(innerCol,outerCol,d);", "vec4 color = innerCol;"))
        return {};
    return text;
}

} // namespace

/// A NanoVG context's fragment programs, one per paint kind, made when a kind is first drawn.
/// Each draw runs the program of its kind instead of NanoVG's program of every kind; a kind
/// whose program cannot be made keeps NanoVG's.
struct PaintPrograms
{
    GLNVGcontext* gl = nullptr;
    void (*nanoVgFlush)(void*) = nullptr;
    void (*nanoVgDelete)(void*) = nullptr;
    GLNVGshader programs[kPaintKinds] = {};
    bool failed[kPaintKinds] = {};
    // The view size each program was last given.
    float views[kPaintKinds][2] = {};
    GLuint bound = 0;

    /// The program of `kind`, made now if needed; null when it cannot be.
    GLNVGshader* Get(PaintKind kind)
    {
        const int k = static_cast<int>(kind);
        if (kind == PaintKind::Count || failed[k])
            return nullptr;
        if (programs[k].prog != 0)
            return &programs[k];
        failed[k] = true;
        ShaderTexts texts;
        {
            std::lock_guard<std::mutex> lock(gTextsLock);
            texts = gTexts;
        }
        if (!texts.fragment)
            return nullptr;
        const std::string fragment = SpecialisedFragmentText(texts.fragment, kind);
        if (fragment.empty())
            return nullptr;
        gCompilingOwn = true;
        const int made = glnvg__createShader(
            &programs[k], "shader", texts.header, texts.options, texts.vertex, fragment.c_str());
        gCompilingOwn = false;
        if (!made)
        {
            glnvg__deleteShader(&programs[k]);
            programs[k] = {};
            return nullptr;
        }
        glnvg__getUniforms(&programs[k]);
        UseProgram(programs[k].prog);
        bound = programs[k].prog;
        Uniform1i(programs[k].loc[GLNVG_LOC_TEX], 0);
        views[k][0] = views[k][1] = -1.f;
        failed[k] = false;
        return &programs[k];
    }

    /// Binds `kind`'s program with the current view size and hands it the draw's uniforms;
    /// false when the kind keeps NanoVG's program.
    bool Use(PaintKind kind, const GLfloat* frag)
    {
        GLNVGshader* program = Get(kind);
        if (!program)
            return false;
        const int k = static_cast<int>(kind);
        if (bound != program->prog)
        {
            UseProgram(program->prog);
            bound = program->prog;
        }
        if (views[k][0] != gl->view[0] || views[k][1] != gl->view[1])
        {
            Uniform2fv(program->loc[GLNVG_LOC_VIEWSIZE], 1, gl->view);
            views[k][0] = gl->view[0];
            views[k][1] = gl->view[1];
        }
        Uniform4fv(program->loc[GLNVG_LOC_FRAG], NANOVG_GL_UNIFORMARRAY_SIZE, frag);
        return true;
    }

    void DeletePrograms()
    {
        for (GLNVGshader& program : programs)
            glnvg__deleteShader(&program);
    }
};

namespace
{

std::mutex gRegistryLock;
std::vector<PaintPrograms*> gRegistry;

PaintPrograms* Find(void* gl)
{
    std::lock_guard<std::mutex> lock(gRegistryLock);
    for (PaintPrograms* p : gRegistry)
        if (p->gl == gl)
            return p;
    return nullptr;
}

void FlushWithPaintPrograms(void* gl)
{
    PaintPrograms* programs = Find(gl);
    if (!programs)
        return;
    gFlushing = programs;
    programs->nanoVgFlush(gl);
    gFlushing = nullptr;
}

void DeleteWithPaintPrograms(void* gl)
{
    PaintPrograms* programs = Find(gl);
    if (!programs)
        return;
    {
        std::lock_guard<std::mutex> lock(gRegistryLock);
        gRegistry.erase(std::find(gRegistry.begin(), gRegistry.end(), programs));
    }
    programs->DeletePrograms();
    programs->nanoVgDelete(gl);
    delete programs;
}

} // namespace

/// NanoVG's glUseProgram: during a flush it binds NanoVG's program, which the next draw may
/// replace by its kind's.
void NanoVgUseProgram(GLuint program)
{
    if (gFlushing)
        gFlushing->bound = program;
    UseProgram(program);
}

/// NanoVG's glUniform4fv, called with each draw's uniforms just before the draw.
void NanoVgUniform4fv(GLint location, GLsizei count, const GLfloat* value)
{
    PaintPrograms* programs = gFlushing;
    if (programs && count == NANOVG_GL_UNIFORMARRAY_SIZE)
    {
        if (programs->Use(KindOf(value), value))
            return;
        if (programs->bound != programs->gl->shader.prog)
        {
            // NanoVG's program keeps the view size and texture unit NanoVG gave it.
            UseProgram(programs->gl->shader.prog);
            programs->bound = programs->gl->shader.prog;
        }
    }
    Uniform4fv(location, count, value);
}

NVGcontext* CreateNanoVg(int flags)
{
    NVGcontext* vg = nvgCreateGL2(flags);
    if (!vg)
        return nullptr;
    NVGparams* params = nvgInternalParams(vg);
    auto* programs = new (std::nothrow) PaintPrograms;
    if (!programs)
        return vg;
    programs->gl = static_cast<GLNVGcontext*>(params->userPtr);
    programs->nanoVgFlush = params->renderFlush;
    programs->nanoVgDelete = params->renderDelete;
    {
        std::lock_guard<std::mutex> lock(gRegistryLock);
        gRegistry.push_back(programs);
    }
    params->renderFlush = FlushWithPaintPrograms;
    params->renderDelete = DeleteWithPaintPrograms;
    return vg;
}

void DeleteNanoVg(NVGcontext* vg)
{
    nvgDeleteGL2(vg);
}

int NPaintPrograms(NVGcontext* vg)
{
    const PaintPrograms* programs = vg ? Find(nvgInternalParams(vg)->userPtr) : nullptr;
    if (!programs)
        return 0;
    return static_cast<int>(std::count_if(std::begin(programs->programs),
                                          std::end(programs->programs),
                                          [](const GLNVGshader& p) { return p.prog != 0; }));
}

} // namespace plugkit::canvas::platform::gl
