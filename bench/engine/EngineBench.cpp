// Real-time factor of the reverb engine: seconds of stereo audio processed per second of one
// core, 512-frame blocks, default parameters. One line per case, then a summary line.

#include "plugin/engine/Parameters.h"
#include "plugin/engine/ReverbEngine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace
{

using lumenfall::engine::EngineParameters;
using lumenfall::engine::ParamId;
using lumenfall::engine::ReverbEngine;

constexpr int kBlock = 512;

enum class Input
{
    Noise,
    Tail, // one impulse, then the decaying tail on silence
};

struct Case
{
    std::string name;
    int model;
    double sampleRate;
    Input input;
    bool crossfade; // switch models so that a crossfade always runs
};

double Measure(const Case& c, double audioSeconds)
{
    EngineParameters p;
    p[ParamId::ReverbType] = static_cast<float>(c.model);
    ReverbEngine engine;
    engine.SetParameters(p);
    engine.Prepare(c.sampleRate, 2);

    // The input is made before timing: 64 blocks of noise played in a loop, or one impulse
    // followed by silence.
    constexpr int kNoiseBlocks = 64;
    std::vector<float> noiseL(kNoiseBlocks * kBlock), noiseR(kNoiseBlocks * kBlock);
    std::mt19937 random(1);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    for (std::size_t i = 0; i < noiseL.size(); ++i)
    {
        noiseL[i] = u(random);
        noiseR[i] = u(random);
    }
    std::vector<float> silence(kBlock), impulse(kBlock), outL(kBlock), outR(kBlock);
    impulse[0] = 0.5f;
    float* out[2] = {outL.data(), outR.data()};
    const auto input = [&](long block, const float** in)
    {
        if (c.input == Input::Tail)
        {
            in[0] = in[1] = block == 0 ? impulse.data() : silence.data();
            return;
        }
        const std::size_t offset = static_cast<std::size_t>(block % kNoiseBlocks) * kBlock;
        in[0] = noiseL.data() + offset;
        in[1] = noiseR.data() + offset;
    };
    // Warm up (and, for the tail, let the impulse's first reflections pass).
    const float* in[2] = {nullptr, nullptr};
    input(0, in);
    engine.Process(in, out, kBlock, false);
    const long blocks = static_cast<long>(audioSeconds * c.sampleRate / kBlock);
    // A crossfade lasts 60 ms; switching every 4 blocks of 512 keeps one running at 48 kHz.
    const long switchEvery = std::max(1L, static_cast<long>(c.sampleRate * 0.05 / kBlock));
    // Processor time of this (single-threaded) program: one core's seconds, whatever else
    // the machine is doing.
    const std::clock_t start = std::clock();
    float sink = 0.0f;
    for (long b = 0; b < blocks; ++b)
    {
        if (c.crossfade && b % switchEvery == 0)
        {
            p[ParamId::ReverbType] =
                static_cast<float>((b / switchEvery) % 2 == 0 ? c.model : c.model + 1);
            engine.SetParameters(p);
        }
        input(b + 1, in);
        engine.Process(in, out, kBlock, false);
        sink += outL[0] + outR[kBlock - 1];
    }
    const double elapsed = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    if (sink == 12345.678f)
    {
        std::puts(""); // keeps the output alive
    }
    return static_cast<double>(blocks * kBlock) / c.sampleRate / elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    // engine_bench [--seconds s] [--exact] [--no-warm-up] [text]: s seconds of audio per case
    // (20), only the cases whose name contains the text (or, with --exact, equals it). Under an
    // instruction counter (callgrind) --no-warm-up keeps the count to the cases themselves.
    double seconds = 20.0;
    const char* only = "";
    bool exact = false;
    bool warmUp = true;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
        {
            seconds = std::max(0.1, std::atof(argv[++i]));
        }
        else if (std::strcmp(argv[i], "--exact") == 0)
        {
            exact = true;
        }
        else if (std::strcmp(argv[i], "--no-warm-up") == 0)
        {
            warmUp = false;
        }
        else
        {
            only = argv[i];
        }
    }
    std::vector<Case> cases;
    for (int m = 0; m < lumenfall::engine::kReverbModelCount; ++m)
    {
        cases.push_back({lumenfall::engine::ReverbModelName(m), m, 48000.0, Input::Noise, false});
    }
    for (int m = 0; m < lumenfall::engine::kReverbModelCount; ++m)
    {
        cases.push_back({std::string(lumenfall::engine::ReverbModelName(m)) + " tail",
                         m,
                         48000.0,
                         Input::Tail,
                         false});
    }
    const int hall = static_cast<int>(lumenfall::engine::ReverbModel::Hall);
    cases.push_back({"Hall crossfade", hall, 48000.0, Input::Noise, true});
    cases.push_back({"Hall 192 kHz", hall, 192000.0, Input::Noise, false});

    std::printf("engine_bench: real-time factor, 48 kHz stereo unless noted, %d-frame blocks, "
                "default parameters\n",
                kBlock);
    // Let the core reach its steady clock before the first case is timed.
    if (warmUp)
    {
        Measure({"warm-up", hall, 48000.0, Input::Noise, false}, 2.0);
    }
    int measured = 0;
    double hallFactor = 0.0;
    double slowest = 1e300;
    std::string slowestName;
    for (const Case& c : cases)
    {
        if (exact ? c.name != only : c.name.find(only) == std::string::npos)
        {
            continue;
        }
        const double factor = Measure(c, seconds);
        ++measured;
        std::printf("%-22s %8.1f x real time\n", c.name.c_str(), factor);
        std::fflush(stdout);
        if (c.model == hall && c.input == Input::Noise && !c.crossfade && c.sampleRate == 48000.0)
        {
            hallFactor = factor;
        }
        if (c.sampleRate == 48000.0 && !c.crossfade && factor < slowest)
        {
            slowest = factor;
            slowestName = c.name;
        }
    }
    if (measured == 0)
    {
        std::printf("summary: no case matches \"%s\"\n", only);
        return 1;
    }
    char hallText[32] = "-";
    if (hallFactor > 0.0)
    {
        std::snprintf(hallText, sizeof(hallText), "%.1f", hallFactor);
    }
    if (slowestName.empty())
    {
        std::printf("summary: Hall %s x (goal 250)\n", hallText);
        return 0;
    }
    std::printf("summary: Hall %s x (goal 250), slowest model case %s %.1f x (goal 120)\n",
                hallText,
                slowestName.c_str(),
                slowest);
    return 0;
}
