// What the plug-in module adds to the engine: 48 kHz stereo noise in 512-frame blocks,
// through the test host's process call on LUMENFALL.vst3 against the engine alone with
// the same model. Each case alternates the two several times and keeps the fastest run of
// each. One line per model, then the largest overhead.

#include "plugin/engine/Parameters.h"
#include "plugin/engine/ReverbEngine.h"
#include "tests/vst3host/Vst3Host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using lumenfall::engine::EngineParameters;
using lumenfall::engine::ParamId;
using lumenfall::engine::ReverbEngine;

namespace
{
constexpr double kRate = 48000.0;
constexpr int kBlock = 512;
constexpr double kSeconds = 8.0;
constexpr int kRounds = 11;

std::vector<float> Noise(int frames, unsigned seed)
{
    std::vector<float> x(static_cast<std::size_t>(frames));
    for (float& v : x)
    {
        seed = seed * 1664525u + 1013904223u;
        v = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 0.5f;
    }
    return x;
}

struct Signal
{
    std::vector<float> left = Noise(static_cast<int>(kSeconds * kRate), 1);
    std::vector<float> right = Noise(static_cast<int>(kSeconds * kRate), 2);
    std::vector<float> outL = std::vector<float>(left.size());
    std::vector<float> outR = std::vector<float>(left.size());
    long Blocks() const { return static_cast<long>(left.size()) / kBlock; }
};

template <typename F>
double Seconds(F&& run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double RunEngine(int model, Signal& s)
{
    EngineParameters p;
    p[ParamId::ReverbType] = static_cast<float>(model);
    ReverbEngine engine;
    engine.SetParameters(p);
    engine.Prepare(kRate, 2);
    return Seconds(
        [&]
        {
            for (long b = 0; b < s.Blocks(); ++b)
            {
                const std::size_t at = static_cast<std::size_t>(b) * kBlock;
                const float* in[2] = {s.left.data() + at, s.right.data() + at};
                float* out[2] = {s.outL.data() + at, s.outR.data() + at};
                engine.SetParameters(p); // as the plug-in does once per host block
                engine.Process(in, out, kBlock, false);
            }
        });
}

double RunModule(lumenfall::test::LoadedModule& module, int model, Signal& s)
{
    lumenfall::test::HostApplication host(u"Lumenfall Bench");
    lumenfall::test::ComponentHandler handler;
    lumenfall::test::HostedPlugin plugin(module, host, handler);
    if (!plugin.CreateAndInitialize() || !plugin.Start(kRate, kBlock))
        return -1.0;
    lumenfall::test::ParameterChanges changes;
    changes.Add(0, 0, model / 12.0);
    float* in[2] = {s.left.data(), s.right.data()};
    float* out[2] = {s.outL.data(), s.outR.data()};
    plugin.Process32(in, 2, out, 2, kBlock, &changes);
    return Seconds(
        [&]
        {
            for (long b = 0; b < s.Blocks(); ++b)
            {
                const std::size_t at = static_cast<std::size_t>(b) * kBlock;
                float* i[2] = {s.left.data() + at, s.right.data() + at};
                float* o[2] = {s.outL.data() + at, s.outR.data() + at};
                plugin.Process32(i, 2, o, 2, kBlock);
            }
        });
}
} // namespace

int main(int argc, char** argv)
{
    // vst3_bench [bundle] [--model name]: every model, or only the one named.
    std::string bundle = LUMENFALL_BUNDLE;
    std::string only;
    for (int i = 1; i < argc; ++i)
    {
        if (std::string(argv[i]) == "--model" && i + 1 < argc)
        {
            only = argv[++i];
        }
        else
        {
            bundle = argv[i];
        }
    }
    std::string error;
    auto module = lumenfall::test::LoadedModule::Load(bundle, &error);
    if (module == nullptr)
    {
        std::fprintf(stderr, "cannot load %s: %s\n", bundle.c_str(), error.c_str());
        return 1;
    }
    Signal signal;
    std::printf("%-16s %12s %12s %10s\n", "model", "engine RTF", "module RTF", "overhead");
    double worst = -1e9;
    for (int model = 0; model < lumenfall::engine::kReverbModelCount; ++model)
    {
        if (!only.empty() &&
            only != lumenfall::engine::kReverbModelNames[static_cast<std::size_t>(model)])
        {
            continue;
        }
        double engine = 1e9;
        double plugin = 1e9;
        for (int round = 0; round < kRounds; ++round)
        {
            engine = std::min(engine, RunEngine(model, signal));
            plugin = std::min(plugin, RunModule(*module, model, signal));
        }
        const double overhead = 100.0 * (plugin / engine - 1.0);
        worst = std::max(worst, overhead);
        std::printf("%-16s %12.1f %12.1f %9.2f%%\n",
                    lumenfall::engine::kReverbModelNames[static_cast<std::size_t>(model)],
                    kSeconds / engine,
                    kSeconds / plugin,
                    overhead);
    }
    std::printf("largest module overhead over the engine: %.2f%% (limit 5%%)\n", worst);
    return 0;
}
