#include "canvas/platform/GlLoader.h"

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

TEST(GlLoader, LoadsEveryEntryPointOrNone)
{
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

} // namespace
