// ICanvas loading through the platform lookup: on Windows from the resources this executable
// embeds, natively from the same fixture files.
#include "tests/support/FakeEditorDelegate.h"
#include "tests/support/RecordingCanvas.h"

#include "plugkit/HeapBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
using namespace plugkit::canvas;

#if defined(_WIN32)
const std::string kFolder; // embedded: names alone
#else
const std::string kFolder = std::string(LUMENFALL_PLATFORM_FIXTURES) + "/";
#endif

TEST(CanvasResources, SvgAndBytesLoadThroughThePlatformLookup)
{
    lumenfall::test::FakeEditorDelegate dlg;
    lumenfall::test::RecordingCanvas g(dlg);

    const ISvgHandle svg = g.LoadSvg((kFolder + "shape.svg").c_str());
    ASSERT_TRUE(svg.IsValid());
    EXPECT_EQ(svg.W(), 20.f);
    EXPECT_EQ(svg.H(), 10.f);

    plugkit::HeapBuffer bytes;
    ASSERT_TRUE(g.LoadResource((kFolder + "eight.bin").c_str(), "bin", bytes));
    EXPECT_EQ(std::string(static_cast<const char*>(bytes.Get()), size_t(bytes.Size())), "12345678");
#if defined(_WIN32)
    // A resource of 7 bytes is refused; the same name is no file here either.
    EXPECT_FALSE(g.LoadResource("seven.bin", "bin", bytes));
    EXPECT_EQ(bytes.Size(), 0);
#endif
}

} // namespace
