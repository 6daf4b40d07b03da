// Frame times of the NanoVG back end on this machine's headless Mesa renderer: a full redraw of
// an 1100 x 760 editor of 60 knob-like controls (arcs, gradients, text), a frame in which
// nothing is dirty, one knob turned (its area alone drawn again), and the same at screen scale
// 1.5. Each frame's GL work is finished inside it (glFinish), as presenting it would be.

#include "canvas/IControl.h"
#include "canvas/platform/nanovg/NanoVgGl.h"
#include "plugkit/ICanvasEditorDelegate.h"
#include "tests/support/headless/HeadlessCanvas.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace
{
using namespace plugkit;
using namespace plugkit::canvas;
using lumenfall::test::HeadlessCanvas;

constexpr int kWidth = 1100;
constexpr int kHeight = 760;
constexpr int kColumns = 10;
constexpr int kRows = 6;

/// A panel background with a vertical gradient.
class Backdrop : public IControl
{
public:
    Backdrop()
        : IControl(IBounds(0.f, 0.f, kWidth, kHeight))
    {
    }

    void Draw(ICanvas& g) override
    {
        const IBounds r = GetRECT();
        g.PathClear();
        g.PathRect(r);
        g.PathFill(IFillPattern::Linear(
                       0.f,
                       0.f,
                       0.f,
                       r.B,
                       {{IArgbColor{255, 34, 38, 46}, 0.f}, {IArgbColor{255, 18, 20, 26}, 1.f}}),
                   IFillStyle());
    }
};

/// A knob as an editor draws one: shadow, gradient body, track and value arcs, pointer, label
/// and value text.
class BenchKnob : public IControl
{
public:
    BenchKnob(const IBounds& r, int index)
        : IControl(r)
        , mIndex(index)
    {
        SetValue((index % 11) / 10.0);
        std::snprintf(mLabel, sizeof(mLabel), "Knob %d", index + 1);
    }

    void Draw(ICanvas& g) override
    {
        const IBounds r = GetRECT();
        const float cx = r.MW();
        const float cy = r.T + 44.f;
        const float radius = 28.f;
        const float angle = -135.f + 270.f * static_cast<float>(GetValue());
        g.FillRoundRect(IArgbColor{255, 44, 48, 58}, r.GetPadded(-2.f), 6.f);
        g.FillCircle(IArgbColor{110, 0, 0, 0}, cx, cy + 3.f, radius + 2.f);
        IFillPattern body = IFillPattern::Linear(
            cx,
            cy - radius,
            cx,
            cy + radius,
            {{IArgbColor{255, 96, 102, 116}, 0.f}, {IArgbColor{255, 40, 44, 52}, 1.f}});
        g.PathClear();
        g.PathCircle(cx, cy, radius);
        g.PathFill(body, IFillStyle());
        g.DrawArc(IArgbColor{255, 70, 74, 84}, cx, cy, radius + 6.f, -135.f, 135.f, nullptr, 3.f);
        g.DrawArc(IArgbColor{255, 90, 200, 255}, cx, cy, radius + 6.f, -135.f, angle, nullptr, 3.f);
        g.PathTransformSave();
        g.PathTransformTranslate(cx, cy);
        g.PathTransformRotate(angle);
        g.DrawLine(kColorWhite, 0.f, -6.f, 0.f, -radius + 4.f, nullptr, 2.f);
        g.PathTransformRestore();
        ITextStyle label(13.f, EVAlign::Middle);
        label.color = IArgbColor{255, 210, 214, 222};
        g.DrawText(label, mLabel, IBounds(r.L, r.B - 36.f, r.R, r.B - 20.f));
        char value[16];
        std::snprintf(value, sizeof(value), "%.1f %%", 100.0 * GetValue());
        label.color = IArgbColor{255, 90, 200, 255};
        g.DrawText(label, value, IBounds(r.L, r.B - 20.f, r.R, r.B - 4.f));
    }

private:
    int mIndex;
    char mLabel[16];
};

/// A frame's cost: the median wall time, and the processor time of the whole process (the
/// renderer's threads included) per frame, which a shared machine's load distorts less.
struct Timing
{
    double wallMs = 0.0;
    double cpuMs = 0.0;
};

double ProcessCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/// `frame` run `n` times, each finished on the GL side as presenting it would.
Timing TimeFrames(int n, const std::function<void()>& frame)
{
    std::vector<double> wall;
    const double cpuStart = ProcessCpuMs();
    for (int i = 0; i < n; ++i)
    {
        const auto start = std::chrono::steady_clock::now();
        frame();
        glFinish();
        const auto end = std::chrono::steady_clock::now();
        wall.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(wall.begin(), wall.end());
    return {wall[wall.size() / 2], (ProcessCpuMs() - cpuStart) / n};
}

struct Figures
{
    Timing full;
    Timing oneKnob;
    Timing idle;
};

bool Measure(float screenScale, Figures& figures, const char** renderer)
{
    ICanvasEditorDelegate delegate(0);
    HeadlessCanvas g(delegate, kWidth, kHeight, 1.f, screenScale);
    if (!g.IsValid() || !g.LoadFont("Roboto-Regular", LUMENFALL_ROBOTO_TTF))
        return false;
    *renderer = g.GetContext().Renderer();
    g.AttachControl(new Backdrop());
    const float w = static_cast<float>(kWidth) / kColumns;
    const float h = static_cast<float>(kHeight - 40) / kRows;
    for (int i = 0; i < kColumns * kRows; ++i)
    {
        const float x = (i % kColumns) * w;
        const float y = 40.f + (i / kColumns) * h;
        g.AttachControl(new BenchKnob(IBounds(x, y, x + w, y + h), i));
    }
    for (int i = 0; i < 5; ++i)
        g.DrawFullFrame();
    figures.full = TimeFrames(40, [&] { g.DrawFullFrame(); });
    // One knob turned: only its area is drawn again, the backdrop under it included.
    IControl* knob = g.GetControl(1 + kColumns * 2 + 4);
    int turn = 0;
    figures.oneKnob = TimeFrames(100,
                                 [&]
                                 {
                                     knob->SetValue((++turn % 10) / 10.0);
                                     knob->SetDirty(false);
                                     g.DrawDirtyFrame();
                                 });
    figures.idle = TimeFrames(1000,
                              [&]
                              {
                                  if (g.DrawDirtyFrame())
                                      std::printf("unexpected: an idle frame drew\n");
                              });
    return true;
}

void Print(const char* what, float scale, const Timing& t, const char* goal)
{
    std::printf("%-12s scale %-4g %10.4f ms %10.4f ms  %s\n", what, scale, t.wallMs, t.cpuMs, goal);
}

} // namespace

int main()
{
    Figures one;
    Figures oneAndHalf;
    const char* renderer = "none";
    if (!Measure(1.f, one, &renderer) || !Measure(1.5f, oneAndHalf, &renderer))
    {
        std::printf("no headless GL context or font\n");
        return 1;
    }
    std::printf("renderer: %s\n", renderer);
    std::printf("editor 1100 x 760, 60 knobs (arcs, gradients, text)\n");
    std::printf("%-12s %-10s %13s %13s\n", "frame", "", "wall median", "cpu / frame");
    Print("full redraw", 1.f, one.full, "(goal: at most 8 ms)");
    Print("one knob", 1.f, one.oneKnob, "");
    Print("idle", 1.f, one.idle, "(goal: under 0.1 ms)");
    Print("full redraw", 1.5f, oneAndHalf.full, "");
    Print("one knob", 1.5f, oneAndHalf.oneKnob, "");
    Print("idle", 1.5f, oneAndHalf.idle, "");
    return 0;
}
