// Frame times of the reverb editor drawn by the NanoVG back end on this machine's headless Mesa
// renderer at scale 1: opening the editor to its first frame, a full redraw, a frame in which
// only the meters changed (the areas it draws are checked to lie within the meters), and an idle
// frame (checked to draw nothing). Each frame's GL work is finished inside it (glFinish), as
// presenting it would be. Prints the median of each and, for the full redraw and the meters,
// the processor time per frame of the whole process (the renderer's threads included).

#include "canvas/DirtyRectList.h"
#include "canvas/platform/nanovg/NanoVgGl.h"
#include "plugin/Lumenfall.h"
#include "plugin/editor/EditorLayout.h"
#include "tests/support/headless/HeadlessCanvas.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>
#include <vector>

namespace
{
using lumenfall::Lumenfall;
using lumenfall::test::HeadlessCanvas;
using plugkit::canvas::DirtyRectList;
using plugkit::canvas::IBounds;
namespace editor = lumenfall::editor;

/// The headless back end as the window layer uses it: opening runs the delegate's layout.
class EditorWindow : public HeadlessCanvas
{
public:
    using HeadlessCanvas::HeadlessCanvas;

    void* OpenWindow(void*) override
    {
        GetDelegate().LayoutUI(this);
        return this;
    }
};

/// The editor finds its font and logo as files in the working folder (natively there are no
/// embedded resources): a folder of links to them.
bool EnterResourceFolder()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path dir = fs::temp_directory_path(ec) / "lumenfall-editor-bench";
    fs::create_directories(dir, ec);
    const std::pair<const char*, const char*> links[] = {
        {LUMENFALL_ROBOTO_TTF, "Roboto-Regular.ttf"}, {LUMENFALL_LOGO_SVG, "tessaline_logo.svg"}};
    for (const auto& [target, name] : links)
    {
        fs::remove(dir / name, ec);
        fs::create_symlink(target, dir / name, ec);
        if (ec)
            return false;
    }
    fs::current_path(dir, ec);
    return !ec;
}

double Milliseconds(const std::function<void()>& run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    glFinish();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

/// The processor time of the whole process (the renderer's threads included) so far, which a
/// shared machine's load distorts less than the wall time.
double ProcessCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

/// The plug-in with its editor open: the stand-alone program's build of the class, without
/// an application host (every channel connected).
struct OpenEditor
{
    std::unique_ptr<Lumenfall> plugin = std::make_unique<Lumenfall>(nullptr);
    EditorWindow* canvas = nullptr;

    bool Open()
    {
        plugin->SetMakeGraphicsFunc(
            [this]
            {
                canvas = new EditorWindow(*plugin, editor::kEditorWidth, editor::kEditorHeight);
                return canvas;
            });
        if (plugin->OpenWindow(nullptr) == nullptr || !canvas->IsValid())
            return false;
        plugin->OnUIOpen();
        canvas->DrawDirtyFrame();
        return true;
    }
};

/// One block of a constant level, so the meters have something new to show.
void Process(Lumenfall& plugin, float level)
{
    static std::vector<float> inL(512), inR(512), outL(512), outR(512);
    std::fill(inL.begin(), inL.end(), level);
    std::fill(inR.begin(), inR.end(), level);
    float* inputs[] = {inL.data(), inR.data()};
    float* outputs[] = {outL.data(), outR.data()};
    plugin.ProcessBlock(inputs, outputs, 512);
}

} // namespace

int main()
{
    if (!EnterResourceFolder())
    {
        std::printf("cannot link the font and logo into a working folder\n");
        return 1;
    }

    std::vector<double> open;
    for (int i = 0; i < 12; ++i)
    {
        OpenEditor e;
        bool ok = true;
        open.push_back(Milliseconds([&] { ok = e.Open(); }));
        if (!ok)
        {
            std::printf("no headless GL context\n");
            return 1;
        }
        e.plugin->CloseWindow();
    }

    OpenEditor e;
    e.Open();
    EditorWindow& g = *e.canvas;
    std::printf("renderer: %s\n", g.GetContext().Renderer());
    for (int i = 0; i < 5; ++i)
        g.DrawFullFrame();

    std::vector<double> full;
    const double fullCpuStart = ProcessCpuMs();
    for (int i = 0; i < 60; ++i)
        full.push_back(Milliseconds([&] { g.DrawFullFrame(); }));
    const double fullCpu = (ProcessCpuMs() - fullCpuStart) / 60.0;

    // Meters: new levels from the audio side before each frame (not timed); the frame draws
    // what is dirty, and every area it draws must lie within the meters.
    e.plugin->SetSampleRate(48000.0);
    e.plugin->OnActivate(true);
    const IBounds meters = editor::kMetersBounds.GetPadded(1.f);
    IBounds touched;
    bool outside = false;
    std::vector<double> meterFrames;
    double metersCpu = 0.0;
    for (int i = 0; i < 200; ++i)
    {
        Process(*e.plugin, 0.05f + 0.004f * static_cast<float>(i % 200));
        const double cpuStart = ProcessCpuMs();
        meterFrames.push_back(Milliseconds(
            [&]
            {
                DirtyRectList rects;
                if (!g.IsDirty(rects))
                    return;
                for (int r = 0; r < rects.Size(); ++r)
                {
                    outside |= !meters.Contains(rects.Get(r));
                    touched = touched.Empty() ? rects.Get(r) : touched.Union(rects.Get(r));
                }
                g.DrawDirtyRects(rects);
            }));
        metersCpu += (ProcessCpuMs() - cpuStart) / 200.0;
    }

    int idleDrew = 0;
    std::vector<double> idle;
    for (int i = 0; i < 1000; ++i)
        idle.push_back(Milliseconds([&] { idleDrew += g.DrawDirtyFrame() ? 1 : 0; }));
    e.plugin->CloseWindow();

    std::printf("editor 1100 x 760 at scale 1, default values\n");
    std::printf("%-24s %10s %13s  %s\n", "frame", "median", "cpu / frame", "goal");
    std::printf("%-24s %7.2f ms %13s  %s\n", "open to first frame", Median(open), "", "");
    std::printf(
        "%-24s %7.2f ms %10.2f ms  %s\n", "full redraw", Median(full), fullCpu, "at most 10 ms");
    std::printf("%-24s %7.3f ms %10.3f ms  %s\n",
                "meters only",
                Median(meterFrames),
                metersCpu,
                "at most 1 ms");
    std::printf("%-24s %7.4f ms %13s  %s\n", "idle", Median(idle), "", "draws nothing");
    std::printf("meters-only frames drew %g..%g x %g..%g (the meters: %g..%g x %g..%g)%s\n",
                touched.L,
                touched.R,
                touched.T,
                touched.B,
                editor::kMetersBounds.L,
                editor::kMetersBounds.R,
                editor::kMetersBounds.T,
                editor::kMetersBounds.B,
                outside ? ": OUTSIDE THE METERS" : "");
    std::printf("idle frames that drew: %d of %zu\n", idleDrew, idle.size());
    return outside || idleDrew != 0 ? 1 : 0;
}
