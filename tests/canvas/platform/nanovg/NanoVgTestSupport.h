#pragma once

// Helpers of the NanoVG back end's pixel tests: drawing one frame through a control, as the
// editor does, and reading what it left in the main framebuffer.

#include "canvas/IControl.h"
#include "tests/support/headless/HeadlessCanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace lumenfall::test
{

/// A control that draws with a function.
class DrawFunctionControl : public plugkit::canvas::IControl
{
public:
    DrawFunctionControl(const plugkit::canvas::IBounds& bounds,
                        std::function<void(plugkit::canvas::ICanvas&)> draw)
        : IControl(bounds)
        , mDraw(std::move(draw))
    {
    }

    void Draw(plugkit::canvas::ICanvas& g) override { mDraw(g); }

private:
    std::function<void(plugkit::canvas::ICanvas&)> mDraw;
};

/// One frame in which `draw` runs as the only control, covering the whole editor.
inline void DrawFrame(HeadlessCanvas& g, std::function<void(plugkit::canvas::ICanvas&)> draw)
{
    g.GetContext().MakeCurrent();
    g.RemoveAllControls();
    g.AttachControl(new DrawFunctionControl(
        plugkit::canvas::IBounds(
            0.f, 0.f, static_cast<float>(g.Width()), static_cast<float>(g.Height())),
        std::move(draw)));
    g.DrawFullFrame();
}

/// Clears the whole editor to transparent (blend kind 6 with an opaque source keeps nothing).
inline void ClearAll(plugkit::canvas::ICanvas& g)
{
    const plugkit::canvas::IBlendSpec clear{6, 1.f};
    g.FillRect(plugkit::canvas::kColorBlack,
               plugkit::canvas::IBounds(
                   0.f, 0.f, static_cast<float>(g.Width()), static_cast<float>(g.Height())),
               &clear);
}

inline ::testing::AssertionResult Near(const plugkit::canvas::IArgbColor& actual,
                                       const plugkit::canvas::IArgbColor& expected,
                                       int tol = 2)
{
    const int d = std::max({std::abs(actual.A - expected.A),
                            std::abs(actual.R - expected.R),
                            std::abs(actual.G - expected.G),
                            std::abs(actual.B - expected.B)});
    if (d <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "ARGB (" << actual.A << ", " << actual.R << ", " << actual.G << ", " << actual.B
           << "), expected (" << expected.A << ", " << expected.R << ", " << expected.G << ", "
           << expected.B << ")";
}

/// Rows of `pixels` (top row first) holding a pixel with alpha above `threshold` in the columns
/// [x0, x1).
inline std::vector<int> InkRows(
    const std::vector<uint8_t>& pixels, int width, int height, int x0, int x1, int threshold = 64)
{
    std::vector<int> rows;
    for (int y = 0; y < height; ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, width); ++x)
            if (pixels[(static_cast<size_t>(y) * width + x) * 4 + 3] > threshold)
            {
                rows.push_back(y);
                break;
            }
    return rows;
}

/// Pixels with alpha above 128 in [x0, x1) x [y0, y1).
inline int CountInk(HeadlessCanvas& g, int x0, int y0, int x1, int y1)
{
    int w = 0;
    int h = 0;
    const std::vector<uint8_t> p = g.ReadPixels(w, h);
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, h); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, w); ++x)
            n += p[(static_cast<size_t>(y) * w + x) * 4 + 3] > 128;
    return n;
}

} // namespace lumenfall::test
