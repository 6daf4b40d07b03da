#include "canvas/platform/nanovg/GlLoader.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
namespace gl = plugkit::canvas::platform::gl;

void Dummy() {}

gl::Proc FindAll(const char*)
{
    return &Dummy;
}

gl::Proc MissingStencilOpSeparate(const char* name)
{
    return std::strcmp(name, "glStencilOpSeparate") == 0 ? nullptr : &Dummy;
}

gl::Proc MissingBlit(const char* name)
{
    return std::strcmp(name, "glBlitFramebuffer") == 0 ? nullptr : &Dummy;
}

gl::Proc FindNothing(const char*)
{
    return nullptr;
}

/// Puts every entry point back as it was: the drawing tests of this process use the real ones.
struct SavedEntryPoints
{
#define PLUGKIT_GL_SAVE(type, name) type name = gl::name;
    PLUGKIT_GL_ENTRY_POINTS(PLUGKIT_GL_SAVE)
    PLUGKIT_GL_OPTIONAL_ENTRY_POINTS(PLUGKIT_GL_SAVE)
#undef PLUGKIT_GL_SAVE
    ~SavedEntryPoints()
    {
#define PLUGKIT_GL_RESTORE(type, name) gl::name = name;
        PLUGKIT_GL_ENTRY_POINTS(PLUGKIT_GL_RESTORE)
        PLUGKIT_GL_OPTIONAL_ENTRY_POINTS(PLUGKIT_GL_RESTORE)
#undef PLUGKIT_GL_RESTORE
    }
};

TEST(GlLoader, LoadsEveryEntryPointOrNone)
{
    const SavedEntryPoints saved;
    ASSERT_TRUE(gl::LoadEntryPoints(&FindAll));
    EXPECT_NE(gl::CreateShader, nullptr);
    EXPECT_NE(gl::BindFramebuffer, nullptr);

    // One absent entry point: the load fails, names it, and leaves no pointer half loaded.
    const char* missing = nullptr;
    EXPECT_FALSE(gl::LoadEntryPoints(&MissingStencilOpSeparate, &missing));
    ASSERT_NE(missing, nullptr);
    EXPECT_STREQ(missing, "glStencilOpSeparate");
    EXPECT_EQ(gl::CreateShader, nullptr);
    EXPECT_EQ(gl::VertexAttribPointer, nullptr);
    EXPECT_EQ(gl::BlitFramebuffer, nullptr);

    // The framebuffer copy is optional: without it the rest still loads.
    ASSERT_TRUE(gl::LoadEntryPoints(&MissingBlit));
    EXPECT_EQ(gl::BlitFramebuffer, nullptr);
    EXPECT_NE(gl::CreateShader, nullptr);
}

TEST(GlLoader, TheProcessKeepsItsFirstCompleteLoadWhateverALaterOneFinds)
{
    const SavedEntryPoints saved;
    // Complete now, or already by an earlier view of this process.
    ASSERT_TRUE(gl::EnsureEntryPoints(&FindAll));
    const auto createShader = gl::CreateShader;
    ASSERT_NE(createShader, nullptr);

    // Another editor opening where nothing can be looked up must not clear them under the
    // first, which is still drawing.
    EXPECT_TRUE(gl::EnsureEntryPoints(&FindNothing));
    EXPECT_TRUE(gl::EnsureEntryPoints(&MissingStencilOpSeparate));
    EXPECT_EQ(gl::CreateShader, createShader);
    EXPECT_NE(gl::StencilOpSeparate, nullptr);
}

} // namespace
