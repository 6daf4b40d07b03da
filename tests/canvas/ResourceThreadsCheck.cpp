// Two editors on two threads share the process-wide SVG cache (run under ThreadSanitizer).
#include "tests/support/FakeEditorDelegate.h"
#include "tests/support/RecordingCanvas.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace
{
using plugkit::canvas::ISvgHandle;

TEST(ResourceThreads, EditorsLoadAndReleaseTheSameNames)
{
    const std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='30' height='20'>"
                            "<rect width='30' height='20' fill='teal'/></svg>";
    const char* names[] = {"logo.svg", "knob.svg", "meter.svg"};
    std::atomic<int> loaded{0};
    const auto editorLife = [&](int thread)
    {
        for (int round = 0; round < 40; ++round)
        {
            // Each round is one editor opened and closed: the cache gains and loses a user.
            lumenfall::test::FakeEditorDelegate dlg;
            lumenfall::test::RecordingCanvas g(dlg);
            std::vector<ISvgHandle> handles;
            for (int i = 0; i < 3; ++i)
            {
                const char* name = names[(i + thread + round) % 3];
                handles.push_back(g.LoadSvgFromData(name, svg.data(), int(svg.size())));
                // A bitmap of this editor's own cache, made and released.
                g.ReleaseBitmap(g.LoadBitmapFromData("dot.png", "4 4", 3, 1, false, 1 + i % 2));
            }
            for (const ISvgHandle& handle : handles)
                if (handle.IsValid() && handle.W() == 30.f)
                    ++loaded;
        }
    };
    std::thread other(editorLife, 1);
    editorLife(0);
    other.join();
    EXPECT_EQ(loaded.load(), 2 * 40 * 3);
}

} // namespace
