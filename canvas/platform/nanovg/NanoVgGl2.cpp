// The one translation unit that compiles NanoVG's GL2 back end and its framebuffer helpers.
// Without NANOVG_FBO_VALID the helpers' framebuffer creation returns null on GL2.
//
// NanoVG's own GL calls are routed through the hooks below (by macro, for this unit alone), so
// that its draws run faster on a software renderer with the same pixels:
// - each paint kind has its own fragment program (see CreateNanoVg);
// - a clip that falls on whole pixels, which is every clip of the toolkit's, is cut by the GL
//   scissor instead of the shader's clip mask, whose value is exactly 1 inside such a clip;
// - the draws of a long flush go to the renderer in batches (glFlush), so that it shades one
//   batch while the next is being set up and keeps its working memory small.
#define NANOVG_GL2_IMPLEMENTATION 1
#define NANOVG_FBO_VALID 1

#include "canvas/platform/nanovg/GlLoader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace plugkit::canvas::platform::gl
{

void NanoVgEnable(GLenum capability);
void NanoVgDisable(GLenum capability);
void NanoVgBlendFuncSeparate(GLenum srcRgb, GLenum dstRgb, GLenum srcAlpha, GLenum dstAlpha);
void NanoVgShaderSource(GLuint shader, GLsizei count, const GLchar* const* texts, const GLint*);
void NanoVgUseProgram(GLuint program);
void NanoVgUniform4fv(GLint location, GLsizei count, const GLfloat* value);

} // namespace plugkit::canvas::platform::gl

#define glEnable ::plugkit::canvas::platform::gl::NanoVgEnable
#define glDisable ::plugkit::canvas::platform::gl::NanoVgDisable
#undef glBlendFuncSeparate
#define glBlendFuncSeparate ::plugkit::canvas::platform::gl::NanoVgBlendFuncSeparate
#undef glShaderSource
#define glShaderSource ::plugkit::canvas::platform::gl::NanoVgShaderSource
#undef glUseProgram
#define glUseProgram ::plugkit::canvas::platform::gl::NanoVgUseProgram
#undef glUniform4fv
#define glUniform4fv ::plugkit::canvas::platform::gl::NanoVgUniform4fv
#include "canvas/platform/nanovg/NanoVgGl.h"
#undef glEnable
#undef glDisable
#undef glBlendFuncSeparate
#define glBlendFuncSeparate ::plugkit::canvas::platform::gl::BlendFuncSeparate
#undef glShaderSource
#define glShaderSource ::plugkit::canvas::platform::gl::ShaderSource
#undef glUseProgram
#define glUseProgram ::plugkit::canvas::platform::gl::UseProgram
#undef glUniform4fv
#define glUniform4fv ::plugkit::canvas::platform::gl::Uniform4fv

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

/// Each kind with the shader's clip mask, and without it (for no clip, or a clip left to the GL
/// scissor).
constexpr int kPrograms = 2 * kPaintKinds;

// Positions in NanoVG's fragment uniforms (11 vec4s). The clip's matrix is the inverse of the
// clip's transform, as the columns (a, b, 0, 0), (c, d, 0, 0), (e, f, 1, 0) of x' = a x + c y +
// e, y' = b x + d y + f; all zero when there is no clip.
constexpr int kClipA = 0;
constexpr int kClipB = 1;
constexpr int kClipC = 4;
constexpr int kClipD = 5;
constexpr int kClipE = 8;
constexpr int kClipF = 9;
constexpr int kClipOn = 10;
constexpr int kInnerColor = 24;
constexpr int kOuterColor = 28;
constexpr int kClipExtent = 32;
constexpr int kClipScale = 34;
constexpr int kTexType = 42;
constexpr int kType = 43;

/// How many of a flush's draws (uniform uploads: a draw call each, two for a stencil fill) go to
/// the renderer together.
constexpr int kDrawsPerBatch = 100;

/// A GL scissor box, in pixels from the bottom left.
struct ScissorBox
{
    GLint x = 0;
    GLint y = 0;
    GLint w = 0;
    GLint h = 0;

    bool operator==(const ScissorBox&) const = default;

    ScissorBox Intersect(const ScissorBox& o) const
    {
        const GLint x0 = std::max(x, o.x);
        const GLint y0 = std::max(y, o.y);
        const GLint x1 = std::max(x0, std::min(x + w, o.x + o.w));
        const GLint y1 = std::max(y0, std::min(y + h, o.y + o.h));
        return {x0, y0, x1 - x0, y1 - y0};
    }
};

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
/// skips the gradient, whose two colours are the same: mix(c, c, d) is c. Without the mask, the
/// clip factor is 1, the mask's value wherever it is off or the GL scissor cuts instead. Empty
/// when the text is not the one expected.
std::string SpecialisedFragmentText(const char* fragment, PaintKind kind, bool mask)
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
    if (!mask && !ReplaceOnce(text, "float scissor = scissorMask(fpos);", "float scissor = 1.0;"))
        return {};
    return text;
}

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

// Per thread, as GL contexts are current per thread.
thread_local bool gKeepScissorTest = false;
thread_local bool gCompilingOwn = false;

} // namespace

/// A NanoVG context's fragment programs, one per paint kind with and without the clip mask,
/// made when first drawn. A kind whose program cannot be made keeps NanoVG's program.
struct PaintPrograms
{
    GLNVGcontext* gl = nullptr;
    void (*nanoVgFlush)(void*) = nullptr;
    void (*nanoVgDelete)(void*) = nullptr;
    GLNVGshader programs[kPrograms] = {};
    bool failed[kPrograms] = {};
    // The view size each program was last given.
    float views[kPrograms][2] = {};

    /// The program of `kind`, made now if needed (and then bound, as `bound` records); null
    /// when it cannot be.
    GLNVGshader* Get(PaintKind kind, bool mask, GLuint& bound)
    {
        const int p = static_cast<int>(kind) + (mask ? kPaintKinds : 0);
        if (kind == PaintKind::Count || failed[p])
            return nullptr;
        if (programs[p].prog != 0)
            return &programs[p];
        failed[p] = true;
        ShaderTexts texts;
        {
            std::lock_guard<std::mutex> lock(gTextsLock);
            texts = gTexts;
        }
        if (!texts.fragment)
            return nullptr;
        const std::string fragment = SpecialisedFragmentText(texts.fragment, kind, mask);
        if (fragment.empty())
            return nullptr;
        gCompilingOwn = true;
        const int made = glnvg__createShader(
            &programs[p], "shader", texts.header, texts.options, texts.vertex, fragment.c_str());
        gCompilingOwn = false;
        if (!made)
        {
            glnvg__deleteShader(&programs[p]);
            programs[p] = {};
            return nullptr;
        }
        glnvg__getUniforms(&programs[p]);
        UseProgram(programs[p].prog);
        bound = programs[p].prog;
        Uniform1i(programs[p].loc[GLNVG_LOC_TEX], 0);
        views[p][0] = views[p][1] = -1.f;
        failed[p] = false;
        return &programs[p];
    }

    /// Gives `program` the current view size, once per change; it must be bound.
    void UpdateView(const GLNVGshader& program)
    {
        float* view = views[&program - programs];
        if (view[0] == gl->view[0] && view[1] == gl->view[1])
            return;
        Uniform2fv(program.loc[GLNVG_LOC_VIEWSIZE], 1, gl->view);
        view[0] = gl->view[0];
        view[1] = gl->view[1];
    }

    void DeletePrograms()
    {
        for (GLNVGshader& program : programs)
            glnvg__deleteShader(&program);
    }
};

namespace
{

/// The GL state of one NanoVG flush, as its draws go by.
struct FlushState
{
    PaintPrograms* programs = nullptr;
    GLuint bound = 0;
    // The scissor the back end set for the whole flush (its clip rectangle), if on.
    bool outerOn = false;
    ScissorBox outer;
    // The scissor in force now.
    bool scissorOn = false;
    ScissorBox scissor;
    // The viewport: NanoVG's units map to its pixels.
    GLint viewport[4] = {};
    bool stencil = false;
    bool premultipliedOver = false;
    int draws = 0;

    void Bind(GLuint program)
    {
        if (bound == program)
            return;
        UseProgram(program);
        bound = program;
    }

    void SetScissor(bool on, const ScissorBox& box)
    {
        if (on && (!scissorOn || !(box == scissor)))
            glScissor(box.x, box.y, box.w, box.h);
        if (on != scissorOn)
            on ? glEnable(GL_SCISSOR_TEST) : glDisable(GL_SCISSOR_TEST);
        scissorOn = on;
        scissor = box;
    }

    /// The pixels of a draw's clip when the GL scissor can stand in for the clip mask: the clip
    /// is an axis-aligned rectangle on whole pixels, measured in the viewport's own pixels. The
    /// mask is then 1 at every pixel centre inside and 0 outside, and with premultiplied source
    /// over (the blend of every draw but a blend kind's) a source of 0 leaves a pixel as it
    /// was. A stencil fill's cover keeps the mask: it also clears the stencil the fill set.
    bool ScissorFor(const GLfloat* frag, ScissorBox& box) const
    {
        if (stencil || !premultipliedOver)
            return false;
        const float a = frag[kClipA];
        const float d = frag[kClipD];
        if (frag[kClipB] != 0.f || frag[kClipC] != 0.f || a == 0.f || d == 0.f)
            return false;
        const GLNVGcontext* gl = programs->gl;
        const float kx = static_cast<float>(viewport[2]) / gl->view[0];
        const float ky = static_cast<float>(viewport[3]) / gl->view[1];
        // The mask measures in pixels of its own; they must be the viewport's.
        auto same = [](float p, float q) { return std::fabs(p - q) <= 1e-5f * std::fabs(q); };
        if (!same(std::fabs(a) * frag[kClipScale], kx) ||
            !same(std::fabs(d) * frag[kClipScale + 1], ky))
            return false;
        // |a x + e| <= extent, |d y + f| <= extent, in pixels; y from the top.
        const float ex = frag[kClipExtent];
        const float ey = frag[kClipExtent + 1];
        const float xa = (-ex - frag[kClipE]) / a * kx;
        const float xb = (ex - frag[kClipE]) / a * kx;
        const float ya = (-ey - frag[kClipF]) / d * ky;
        const float yb = (ey - frag[kClipF]) / d * ky;
        const float edges[4] = {
            std::min(xa, xb), std::max(xa, xb), std::min(ya, yb), std::max(ya, yb)};
        GLint pixels[4];
        for (int i = 0; i < 4; ++i)
        {
            const float rounded = std::round(edges[i]);
            if (!(std::fabs(edges[i] - rounded) <= 1e-3f) || std::fabs(rounded) > 1e7f)
                return false;
            pixels[i] = static_cast<GLint>(rounded);
        }
        box = {viewport[0] + pixels[0],
               viewport[1] + viewport[3] - pixels[3],
               pixels[1] - pixels[0],
               pixels[3] - pixels[2]};
        return true;
    }
};

thread_local FlushState* gFlush = nullptr;

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
    FlushState state;
    state.programs = programs;
    state.outerOn = gKeepScissorTest;
    glGetIntegerv(GL_SCISSOR_BOX, &state.outer.x);
    glGetIntegerv(GL_VIEWPORT, state.viewport);
    // NanoVG turns the scissor test off when it is not kept.
    state.scissorOn = state.outerOn;
    state.scissor = state.outer;
    gFlush = &state;
    programs->nanoVgFlush(gl);
    gFlush = nullptr;
    state.SetScissor(state.outerOn, state.outer);
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

void KeepScissorTest(bool keep)
{
    gKeepScissorTest = keep;
}

void NanoVgEnable(GLenum capability)
{
    if (gFlush && capability == GL_STENCIL_TEST)
        gFlush->stencil = true;
    glEnable(capability);
}

/// NanoVG's glDisable: its flush turns the scissor test off before drawing, which would undo the
/// back end's clip rectangle.
void NanoVgDisable(GLenum capability)
{
    if (capability == GL_SCISSOR_TEST && gKeepScissorTest)
        return;
    if (gFlush && capability == GL_STENCIL_TEST)
        gFlush->stencil = false;
    glDisable(capability);
}

void NanoVgBlendFuncSeparate(GLenum srcRgb, GLenum dstRgb, GLenum srcAlpha, GLenum dstAlpha)
{
    if (gFlush)
        gFlush->premultipliedOver = srcRgb == GL_ONE && srcAlpha == GL_ONE &&
                                    dstRgb == GL_ONE_MINUS_SRC_ALPHA &&
                                    dstAlpha == GL_ONE_MINUS_SRC_ALPHA;
    BlendFuncSeparate(srcRgb, dstRgb, srcAlpha, dstAlpha);
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

/// NanoVG's glUseProgram: during a flush it binds NanoVG's program, which the next draw may
/// replace by its kind's.
void NanoVgUseProgram(GLuint program)
{
    if (gFlush)
        gFlush->bound = program;
    UseProgram(program);
}

/// NanoVG's glUniform4fv, called with each draw's uniforms just before the draw: picks the
/// draw's program and scissor.
void NanoVgUniform4fv(GLint location, GLsizei count, const GLfloat* value)
{
    FlushState* flush = gFlush;
    if (!flush || count != NANOVG_GL_UNIFORMARRAY_SIZE)
    {
        Uniform4fv(location, count, value);
        return;
    }
    if (++flush->draws % kDrawsPerBatch == 0)
        glFlush();
    PaintPrograms& programs = *flush->programs;
    ScissorBox clip;
    const bool noClip = value[kClipOn] == 0.f;
    const bool scissored = !noClip && flush->ScissorFor(value, clip);
    const GLNVGshader* program = programs.Get(KindOf(value), !noClip && !scissored, flush->bound);
    if (!program)
    {
        // NanoVG's program, with the view size and texture unit NanoVG gave it this flush.
        flush->Bind(programs.gl->shader.prog);
        flush->SetScissor(flush->outerOn, flush->outer);
        Uniform4fv(location, count, value);
        return;
    }
    flush->Bind(program->prog);
    programs.UpdateView(*program);
    if (scissored)
        flush->SetScissor(true, flush->outerOn ? flush->outer.Intersect(clip) : clip);
    else
        flush->SetScissor(flush->outerOn, flush->outer);
    Uniform4fv(program->loc[GLNVG_LOC_FRAG], count, value);
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
