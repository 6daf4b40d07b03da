// What the plug-in module adds to the engine: 48 kHz stereo noise in 512-frame blocks,
// through the test host's process call on LUMENFALL.vst3 against the engine alone with
// the same model. Each case alternates the two several times and keeps the fastest run of
// each. One line per model, then the largest overhead.
//
// Then the module as musicians drive it, against the module with the same model at its
// defaults in paired runs (fastest of each): each factory preset loaded (every parameter sent
// in the first block, as a host relays a preset the controller loads) and run for 8 s; one
// continuous parameter automated (one point per block, a slow sweep of its normalized value);
// every continuous parameter at once.

#include "bench/ContinuousParameters.h"
#include "plugin/FactoryPresets.h"
#include "plugin/engine/Parameters.h"
#include "plugin/engine/ReverbEngine.h"
#include "tests/vst3host/Vst3Host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
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

/// What a scenario sends before block b (b = 0 is the first timed block); the controller gives
/// the normalized values of plain ones.
using Scenario = std::function<void(
    long b, Steinberg::Vst::IEditController& controller, lumenfall::test::ParameterChanges&)>;

double RunModule(lumenfall::test::LoadedModule& module,
                 int model,
                 Signal& s,
                 const Scenario& scenario = nullptr)
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
                if (scenario)
                {
                    changes.Clear();
                    scenario(b, *plugin.mController, changes);
                    plugin.Process32(i, 2, o, 2, kBlock, &changes);
                }
                else
                {
                    plugin.Process32(i, 2, o, 2, kBlock);
                }
            }
        });
}

/// A slow triangle between 0.3 and 0.7 of the normalized range, 400 blocks (4.3 s) each way.
double Sweep(long block)
{
    const double phase = static_cast<double>(block % 800) / 400.0;
    return 0.3 + 0.4 * (phase < 1.0 ? phase : 2.0 - phase);
}

struct ScenarioRow
{
    std::string name;
    int model;
    Scenario scenario;
    bool preset;
    bool all;
};

void RunScenarios(lumenfall::test::LoadedModule& module, Signal& signal, int rounds)
{
    using lumenfall::test::ParameterChanges;
    using Steinberg::Vst::IEditController;
    using Steinberg::Vst::ParamID;
    std::vector<ScenarioRow> rows;
    const auto& presets = lumenfall::GetFactoryPresets();
    for (int i = 0; i < lumenfall::kFactoryPresetCount; ++i)
    {
        const auto& values = presets[static_cast<std::size_t>(i)].values;
        rows.push_back({std::string("preset ") + presets[static_cast<std::size_t>(i)].name,
                        static_cast<int>(values[0]),
                        [&values](long b, IEditController& controller, ParameterChanges& changes)
                        {
                            if (b != 0)
                            {
                                return;
                            }
                            for (int id = 0; id < lumenfall::engine::kParamCount; ++id)
                            {
                                const auto pid = static_cast<ParamID>(id);
                                changes.Add(pid,
                                            0,
                                            controller.plainParamToNormalized(
                                                pid, values[static_cast<std::size_t>(id)]));
                            }
                        },
                        true,
                        false});
    }
    const int hall = static_cast<int>(lumenfall::engine::ReverbModel::Hall);
    const std::vector<ParamId> continuous = lumenfall::bench::ContinuousParameters();
    for (const ParamId id : continuous)
    {
        rows.push_back({std::string("Hall automated ") + lumenfall::engine::ParamName(id),
                        hall,
                        [id](long b, IEditController&, ParameterChanges& changes)
                        { changes.Add(static_cast<ParamID>(id), 0, Sweep(b)); },
                        false,
                        false});
    }
    // "Shimmer Amount" is read sample by sample only by the model it is named after.
    rows.push_back({"Shimmer automated Shimmer Amount",
                    static_cast<int>(lumenfall::engine::ReverbModel::Shimmer),
                    [](long b, IEditController&, ParameterChanges& changes)
                    { changes.Add(static_cast<ParamID>(ParamId::ShimmerAmount), 0, Sweep(b)); },
                    false,
                    false});
    rows.push_back({"Hall automated all",
                    hall,
                    [&continuous](long b, IEditController&, ParameterChanges& changes)
                    {
                        for (const ParamId id : continuous)
                        {
                            changes.Add(static_cast<ParamID>(id), 0, Sweep(b));
                        }
                    },
                    false,
                    true});

    std::printf("\nscenarios through the module, %.0f s of noise each, against the module with the "
                "same model at its defaults (fastest of %d paired runs)\n",
                kSeconds,
                rounds);
    std::printf("%-34s %10s %10s %8s\n", "case", "module RTF", "defaults", "ratio");
    double worstPreset = 1e9;
    double worstOne = 1e9;
    double all = -1.0;
    for (const ScenarioRow& row : rows)
    {
        double plain = 1e9;
        double driven = 1e9;
        for (int round = 0; round < rounds; ++round)
        {
            plain = std::min(plain, RunModule(module, row.model, signal));
            driven = std::min(driven, RunModule(module, row.model, signal, row.scenario));
        }
        const double ratio = plain / driven;
        std::printf("%-34s %10.1f %10.1f %8.2f\n",
                    row.name.c_str(),
                    kSeconds / driven,
                    kSeconds / plain,
                    ratio);
        std::fflush(stdout);
        if (row.preset)
        {
            worstPreset = std::min(worstPreset, ratio);
        }
        else if (row.all)
        {
            all = ratio;
        }
        else
        {
            worstOne = std::min(worstOne, ratio);
        }
    }
    std::printf("slowest preset %.2f (goal 0.9); slowest single automation %.2f (goal 0.75); all "
                "automated %.2f (goal 0.5)\n",
                worstPreset,
                worstOne,
                all);
}
} // namespace

int main(int argc, char** argv)
{
    // vst3_bench [bundle] [--model name] [--no-scenarios] [--only-scenarios] [--rounds r]:
    // every model, or only the one named; then the scenarios (r paired runs each, 3).
    std::string bundle = LUMENFALL_BUNDLE;
    std::string only;
    bool models = true;
    bool scenarios = true;
    int rounds = 3;
    for (int i = 1; i < argc; ++i)
    {
        if (std::string(argv[i]) == "--model" && i + 1 < argc)
        {
            only = argv[++i];
        }
        else if (std::string(argv[i]) == "--no-scenarios")
        {
            scenarios = false;
        }
        else if (std::string(argv[i]) == "--only-scenarios")
        {
            models = false;
        }
        else if (std::string(argv[i]) == "--rounds" && i + 1 < argc)
        {
            rounds = std::max(1, std::atoi(argv[++i]));
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
    double worst = -1e9;
    if (models)
    {
        std::printf("%-16s %12s %12s %10s\n", "model", "engine RTF", "module RTF", "overhead");
    }
    for (int model = 0; models && model < lumenfall::engine::kReverbModelCount; ++model)
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
    if (models)
    {
        std::printf("largest module overhead over the engine: %.2f%% (limit 5%%)\n", worst);
    }
    if (scenarios)
    {
        RunScenarios(*module, signal, rounds);
    }
    return 0;
}
