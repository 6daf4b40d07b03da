// Real-time factor of the reverb engine: seconds of stereo audio processed per second of this
// thread's processor time, 512-frame blocks, default parameters; beside it the instructions per
// stereo sample, counted by running the same case under valgrind's callgrind (when valgrind is
// on the PATH; the count does not depend on how busy the machine is). One line per case, then a
// summary against the goals.
//
// Then what musicians do, 8 s of noise each, against the same model at its defaults in paired
// runs (the median of the rounds; the spread shows the machine's noise): each factory preset
// loaded, "Pre-delay Sync" on (with a steady tempo, and with one that changes every two bars),
// a control moved once and left, one parameter automated (one point per block, a slow sweep),
// and every continuous parameter automated at once.
//
// Under Wine the thread's processor time advances in 10 ms steps and each reading is a round
// trip to the wine server, so every case is timed with one reading before and one after its
// whole run: the default run of 60 s of audio takes a few hundred milliseconds.

#include "bench/ContinuousParameters.h"
#include "plugin/FactoryPresets.h"
#include "plugin/engine/Parameters.h"
#include "plugin/engine/ReverbEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#if defined(_WIN32)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <ctime>
#include <unistd.h>
#endif

namespace
{

using lumenfall::engine::EngineParameters;
using lumenfall::engine::InstructionSet;
using lumenfall::engine::ParamId;
using lumenfall::engine::ReverbEngine;

// The block forms' instruction set: the widest this CPU runs unless --sse2 asks for the baseline.
InstructionSet gInstructionSet = lumenfall::engine::DetectInstructionSet();

constexpr int kBlock = 512;
// An automated parameter sweeps between 30 % and 70 % of its range in this many blocks each way
// (4.3 s), a tenth of a percent of its range per block; the fast rows take a quarter of that
// (1.1 s), where every parameter glides from one block to the next.
constexpr long kSweepBlocks = 400;
constexpr long kFastSweepBlocks = 100;
constexpr double kHallGoal = 400.0;  // x real time
constexpr double kModelGoal = 250.0; // every model, on noise and in its tail
constexpr double kCrossfadeGoal = 250.0;

enum class Input
{
    Noise,
    Tail, // one impulse, then the decaying tail on silence
};

/// What a musician does to the engine, from the first timed block on.
enum class Scenario
{
    None,
    Preset,    // loads factory preset `preset`
    Sync,      // "Pre-delay Sync" on, 1/8 dotted, at 120 BPM
    SyncTempo, // the same with the tempo changing every two bars
    MovedOnce, // `parameters` move once, to 70 % of their range, and stay
    Automated, // `parameters` sweep slowly, one point per block
};

struct Case
{
    std::string name;
    int model;
    double sampleRate;
    Input input;
    bool crossfade;         // switch models so that a crossfade always runs
    bool automated = false; // "Mix" moves every block, as under host automation
    Scenario scenario = Scenario::None;
    std::vector<ParamId> parameters = {};
    int preset = -1;
    long sweepBlocks = kSweepBlocks; // an automated sweep's blocks each way
};

/// `id` at fraction x of its range.
float Across(ParamId id, double x)
{
    const double low = lumenfall::engine::ParamMinimum(id);
    const double high = lumenfall::engine::ParamMaximum(id);
    return static_cast<float>(low + (high - low) * x);
}

double ThreadSeconds()
{
#if defined(_WIN32)
    FILETIME created;
    FILETIME exited;
    FILETIME kernel;
    FILETIME user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t)
    { return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;
#else
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#endif
}

/// The prepared engine and the input of one case, made before timing: 64 blocks of noise
/// played in a loop, or one impulse followed by silence.
class Run
{
public:
    Run(const Case& c)
        : mCase(c)
    {
        mParameters[ParamId::ReverbType] = static_cast<float>(c.model);
        if (c.scenario == Scenario::Automated)
        {
            for (const ParamId id : c.parameters)
            {
                mParameters[id] = Sweep(id, 0);
            }
        }
        mEngine.SetParameters(mParameters);
        mEngine.SetInstructionSet(gInstructionSet);
        mEngine.Prepare(c.sampleRate, 2);
        std::mt19937 random(1);
        std::uniform_real_distribution<float> u(-0.5f, 0.5f);
        for (std::size_t i = 0; i < mNoiseL.size(); ++i)
        {
            mNoiseL[i] = u(random);
            mNoiseR[i] = u(random);
        }
        mImpulse[0] = 0.5f;
        // Warm up (and, for the tail, let the impulse's first reflections pass).
        Blocks(0, 1);
    }

    /// Processes blocks [first, last); kept out of line so that an instruction counter can
    /// count exactly this.
    [[gnu::noinline]] void Blocks(long first, long last)
    {
        float* out[2] = {mOutL.data(), mOutR.data()};
        // A crossfade lasts 60 ms; switching every 4 blocks of 512 keeps one running at 48 kHz.
        const long switchEvery = std::max(1L, static_cast<long>(mCase.sampleRate * 0.05 / kBlock));
        for (long b = first; b < last; ++b)
        {
            if (mCase.crossfade && b % switchEvery == 0)
            {
                mParameters[ParamId::ReverbType] =
                    static_cast<float>((b / switchEvery) % 2 == 0 ? mCase.model : mCase.model + 1);
                mEngine.SetParameters(mParameters);
            }
            Act(b);
            if (mCase.automated)
            {
                // A slow ramp between 20 % and 40 %: the smoothing never settles.
                mParameters[ParamId::Mix] = 20.0f + 20.0f * static_cast<float>(b % 200) / 200.0f;
                mEngine.SetParameters(mParameters);
            }
            const float* in[2] = {mSilence.data(), mSilence.data()};
            if (mCase.input == Input::Tail)
            {
                in[0] = in[1] = b == 0 ? mImpulse.data() : mSilence.data();
            }
            else
            {
                const std::size_t offset = static_cast<std::size_t>(b % kNoiseBlocks) * kBlock;
                in[0] = mNoiseL.data() + offset;
                in[1] = mNoiseR.data() + offset;
            }
            mEngine.Process(in, out, kBlock, false);
            mSink += mOutL[0] + mOutR[kBlock - 1];
        }
    }

    float Sink() const { return mSink; }

private:
    // A triangle between 30 % and 70 % of the range, the case's number of blocks each way.
    float Sweep(ParamId id, long block) const
    {
        const long each = mCase.sweepBlocks;
        const double phase = static_cast<double>(block % (2 * each)) / static_cast<double>(each);
        return Across(id, 0.3 + 0.4 * (phase < 1.0 ? phase : 2.0 - phase));
    }

    /// The scenario's changes before block b (b = 1 is the first timed block).
    void Act(long b)
    {
        switch (mCase.scenario)
        {
        case Scenario::None:
            return;
        case Scenario::Preset:
            if (b == 1)
            {
                const auto& values = lumenfall::GetFactoryPresets()[mCase.preset].values;
                mEngine.SetParameters(values.data());
            }
            return;
        case Scenario::Sync:
        case Scenario::SyncTempo:
            if (b == 1)
            {
                mParameters[ParamId::PreDelaySync] = 1.0f;
                mParameters[ParamId::NoteDivision] = 7.0f; // 1/8 dotted
                mEngine.SetParameters(mParameters);
            }
            if (mCase.scenario == Scenario::SyncTempo)
            {
                // Two bars of 4/4 at about 120 BPM are 4 s: 375 blocks.
                const long bars = b / 375;
                mEngine.SetTempo(bars % 3 == 0 ? 120.0 : (bars % 3 == 1 ? 127.0 : 113.5));
            }
            return;
        case Scenario::MovedOnce:
            if (b == 1)
            {
                for (const ParamId id : mCase.parameters)
                {
                    mParameters[id] = Across(id, 0.7);
                }
                mEngine.SetParameters(mParameters);
            }
            return;
        case Scenario::Automated:
            for (const ParamId id : mCase.parameters)
            {
                mParameters[id] = Sweep(id, b);
            }
            mEngine.SetParameters(mParameters);
            return;
        }
    }

    static constexpr int kNoiseBlocks = 64;
    Case mCase;
    EngineParameters mParameters;
    ReverbEngine mEngine;
    std::vector<float> mNoiseL = std::vector<float>(kNoiseBlocks * kBlock);
    std::vector<float> mNoiseR = std::vector<float>(kNoiseBlocks * kBlock);
    std::vector<float> mSilence = std::vector<float>(kBlock);
    std::vector<float> mImpulse = std::vector<float>(kBlock);
    std::vector<float> mOutL = std::vector<float>(kBlock);
    std::vector<float> mOutR = std::vector<float>(kBlock);
    float mSink = 0.0f;
};

long BlocksFor(const Case& c, double audioSeconds)
{
    return std::max(1L, static_cast<long>(audioSeconds * c.sampleRate / kBlock));
}

/// Real-time factor of one case over `audioSeconds` of audio.
double Measure(const Case& c, double audioSeconds)
{
    Run run(c);
    const long blocks = BlocksFor(c, audioSeconds);
    const double start = ThreadSeconds();
    run.Blocks(1, blocks + 1);
    const double elapsed = std::max(ThreadSeconds() - start, 1e-9);
    if (run.Sink() == 12345.678f)
    {
        std::puts(""); // keeps the output alive
    }
    return static_cast<double>(blocks * kBlock) / c.sampleRate / elapsed;
}

#if !defined(_WIN32)

/// Starts `command` (a shell command line) with its output collected by Finish.
struct Counter
{
    FILE* pipe = nullptr;
    std::string file;
};

bool ValgrindAvailable()
{
    return std::system("valgrind --version >/dev/null 2>&1") == 0;
}

/// Starts callgrind on this program for case `name`, counting only Run::Blocks.
Counter StartCount(const std::string& self, const std::string& name, double seconds, int index)
{
    Counter c;
    c.file = "/tmp/engine_bench." + std::to_string(getpid()) + "." + std::to_string(index);
    const std::string command =
        "valgrind --tool=callgrind --callgrind-out-file=" + c.file +
        " '--toggle-collect=*Run::Blocks*' '" + self + "' --no-count --no-warm-up --exact '" +
        name + "' --seconds " + std::to_string(seconds) +
        (gInstructionSet == InstructionSet::Sse2 ? " --sse2" : "") + " >/dev/null 2>&1";
    c.pipe = popen(command.c_str(), "r");
    return c;
}

/// Instructions the counted run executed, or -1.
double FinishCount(Counter& c)
{
    if (c.pipe == nullptr)
    {
        return -1.0;
    }
    pclose(c.pipe);
    double total = -1.0;
    if (FILE* f = std::fopen(c.file.c_str(), "r"))
    {
        char line[256];
        while (std::fgets(line, sizeof(line), f) != nullptr)
        {
            if (std::strncmp(line, "totals:", 7) == 0 || std::strncmp(line, "summary:", 8) == 0)
            {
                total = std::atof(line + (line[0] == 't' ? 7 : 8));
            }
        }
        std::fclose(f);
    }
    std::remove(c.file.c_str());
    return total;
}

std::string SelfPath()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

#endif

/// The scenario rows: each against its model at the defaults, in `rounds` paired runs of
/// kScenarioSeconds; returns the summary's part for them.
std::string MeasureScenarios(const std::vector<Case>& scenarios, int rounds)
{
    constexpr double kScenarioSeconds = 8.0;
    std::printf("scenarios: %.0f s of noise each after the change, against the same model at its "
                "defaults; median of %d paired runs (lowest-highest ratio)\n",
                kScenarioSeconds,
                rounds);
    std::printf("%-34s %8s %10s %8s %14s\n", "case", "x real", "defaults", "ratio", "spread");
    double worstPreset = 1e300;
    std::string worstPresetName;
    double worstOne = 1e300;
    std::string worstOneName;
    double all = -1.0;
    double sync = -1.0;
    double fastSize = -1.0;
    double fastAll = -1.0;
    for (const Case& c : scenarios)
    {
        Case base{"defaults", c.model, c.sampleRate, c.input, false};
        std::vector<double> speeds;
        std::vector<double> bases;
        std::vector<double> ratios;
        for (int r = 0; r < rounds; ++r)
        {
            // Alternate the order, so that a drift of the machine's speed favours neither.
            double b = 0.0;
            double x = 0.0;
            if (r % 2 == 0)
            {
                b = Measure(base, kScenarioSeconds);
                x = Measure(c, kScenarioSeconds);
            }
            else
            {
                x = Measure(c, kScenarioSeconds);
                b = Measure(base, kScenarioSeconds);
            }
            speeds.push_back(x);
            bases.push_back(b);
            ratios.push_back(x / b);
        }
        const auto median = [](std::vector<double> v)
        {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const double ratio = median(ratios);
        std::printf("%-34s %8.1f %10.1f %8.2f %6.2f-%-6.2f\n",
                    c.name.c_str(),
                    median(speeds),
                    median(bases),
                    ratio,
                    *std::min_element(ratios.begin(), ratios.end()),
                    *std::max_element(ratios.begin(), ratios.end()));
        std::fflush(stdout);
        if (c.scenario == Scenario::Preset && ratio < worstPreset)
        {
            worstPreset = ratio;
            worstPresetName = c.name;
        }
        // The goals are those of the slow sweeps; the fast ones print beside them.
        const bool slow = c.sweepBlocks == kSweepBlocks;
        if (c.scenario == Scenario::Automated && slow && c.parameters.size() == 1 &&
            ratio < worstOne)
        {
            worstOne = ratio;
            worstOneName = c.name;
        }
        if (c.scenario == Scenario::Automated && slow && c.parameters.size() > 1)
        {
            all = ratio;
        }
        if (c.scenario == Scenario::Automated && !slow)
        {
            (c.parameters.size() > 1 ? fastAll : fastSize) = ratio;
        }
        if (c.scenario == Scenario::SyncTempo)
        {
            sync = ratio;
        }
    }
    std::string summary;
    char text[200];
    if (!worstPresetName.empty())
    {
        std::snprintf(text,
                      sizeof(text),
                      " slowest preset %s %.2f of its model (goal 0.9);",
                      worstPresetName.c_str(),
                      worstPreset);
        summary += text;
    }
    if (sync >= 0.0)
    {
        std::snprintf(text, sizeof(text), " sync with tempo changes %.2f (goal 0.9);", sync);
        summary += text;
    }
    if (!worstOneName.empty())
    {
        std::snprintf(text,
                      sizeof(text),
                      " slowest automation %s %.2f (goal 0.75);",
                      worstOneName.c_str(),
                      worstOne);
        summary += text;
    }
    if (all >= 0.0)
    {
        std::snprintf(text, sizeof(text), " all automated %.2f (goal 0.5);", all);
        summary += text;
    }
    if (fastSize >= 0.0)
    {
        std::snprintf(text, sizeof(text), " Size in fast sweeps %.2f;", fastSize);
        summary += text;
    }
    if (fastAll >= 0.0)
    {
        std::snprintf(text, sizeof(text), " all in fast sweeps %.2f;", fastAll);
        summary += text;
    }
    return summary;
}

} // namespace

int main(int argc, char** argv)
{
    // engine_bench [--seconds s] [--rounds r] [--exact] [--no-warm-up] [--no-count] [--sse2]
    // [text]: s seconds of audio per case (60), r paired runs per scenario (5), only the cases
    // whose name contains the text (or, with --exact, equals it). --no-count skips the
    // instruction counts; --no-warm-up keeps a count to the cases themselves; --sse2 runs the
    // baseline block forms on a CPU that has wider ones.
    double seconds = 60.0;
    int rounds = 5;
    const char* only = "";
    bool exact = false;
    bool warmUp = true;
    bool count = true;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
        {
            seconds = std::max(0.1, std::atof(argv[++i]));
        }
        else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
        {
            rounds = std::max(1, std::atoi(argv[++i]));
        }
        else if (std::strcmp(argv[i], "--exact") == 0)
        {
            exact = true;
        }
        else if (std::strcmp(argv[i], "--no-warm-up") == 0)
        {
            warmUp = false;
        }
        else if (std::strcmp(argv[i], "--no-count") == 0)
        {
            count = false;
        }
        else if (std::strcmp(argv[i], "--sse2") == 0)
        {
            gInstructionSet = InstructionSet::Sse2;
        }
        else
        {
            only = argv[i];
        }
    }
    const int hall = static_cast<int>(lumenfall::engine::ReverbModel::Hall);
    std::vector<Case> all;
    for (int m = 0; m < lumenfall::engine::kReverbModelCount; ++m)
    {
        all.push_back({lumenfall::engine::ReverbModelName(m), m, 48000.0, Input::Noise, false});
    }
    for (int m = 0; m < lumenfall::engine::kReverbModelCount; ++m)
    {
        all.push_back({std::string(lumenfall::engine::ReverbModelName(m)) + " tail",
                       m,
                       48000.0,
                       Input::Tail,
                       false});
    }
    all.push_back({"Hall crossfade", hall, 48000.0, Input::Noise, true});
    all.push_back({"Hall automated", hall, 48000.0, Input::Noise, false, true});
    all.push_back({"Hall 192 kHz", hall, 192000.0, Input::Noise, false});
    const std::size_t firstScenario = all.size();
    const auto scenario = [&](std::string name, int model, Scenario kind)
    {
        Case c{std::move(name), model, 48000.0, Input::Noise, false};
        c.scenario = kind;
        all.push_back(c);
        return &all.back();
    };
    const auto& presets = lumenfall::GetFactoryPresets();
    for (int i = 0; i < lumenfall::kFactoryPresetCount; ++i)
    {
        const int model = static_cast<int>(presets[i].values[0]);
        scenario(std::string("preset ") + presets[i].name, model, Scenario::Preset)->preset = i;
    }
    scenario("Hall sync", hall, Scenario::Sync);
    scenario("Hall sync tempo changes", hall, Scenario::SyncTempo);
    for (const ParamId id : {ParamId::Size,
                             ParamId::Tone,
                             ParamId::EarlyReflections,
                             ParamId::LateTail,
                             ParamId::GateLength})
    {
        scenario(std::string("Hall moved ") + lumenfall::engine::ParamName(id),
                 hall,
                 Scenario::MovedOnce)
            ->parameters = {id};
    }
    const std::vector<ParamId> continuous = lumenfall::bench::ContinuousParameters();
    for (const ParamId id : continuous)
    {
        scenario(std::string("Hall automated ") + lumenfall::engine::ParamName(id),
                 hall,
                 Scenario::Automated)
            ->parameters = {id};
    }
    scenario("Hall automated all", hall, Scenario::Automated)->parameters = continuous;
    for (const bool everything : {false, true})
    {
        Case* fast = scenario(everything ? "Hall automated all, fast" : "Hall automated Size, fast",
                              hall,
                              Scenario::Automated);
        fast->parameters = everything ? continuous : std::vector<ParamId>{ParamId::Size};
        fast->sweepBlocks = kFastSweepBlocks;
    }
    // "Shimmer Amount" is read sample by sample only by the model it is named after.
    const int shimmer = static_cast<int>(lumenfall::engine::ReverbModel::Shimmer);
    scenario("Shimmer automated Shimmer Amount", shimmer, Scenario::Automated)->parameters = {
        ParamId::ShimmerAmount};
    std::vector<Case> cases;
    std::vector<Case> scenarios;
    for (std::size_t i = 0; i < all.size(); ++i)
    {
        const Case& c = all[i];
        if (exact ? c.name == only : c.name.find(only) != std::string::npos)
        {
            (i < firstScenario ? cases : scenarios).push_back(c);
        }
    }
    if (cases.empty() && scenarios.empty())
    {
        std::printf("summary: no case matches \"%s\"\n", only);
        return 1;
    }

    // Instruction counts first, several at a time (they take a while and do not disturb each
    // other's figures); the timings after them, one at a time.
    std::vector<double> instructions(cases.size(), -1.0);
#if !defined(_WIN32)
    if (count && ValgrindAvailable())
    {
        constexpr double kCountSeconds = 3.0; // mostly past the lines' filling
        constexpr std::size_t kParallel = 4;
        const std::string self = SelfPath();
        for (std::size_t first = 0; first < cases.size(); first += kParallel)
        {
            std::vector<Counter> running;
            const std::size_t last = std::min(cases.size(), first + kParallel);
            for (std::size_t i = first; i < last; ++i)
            {
                running.push_back(
                    StartCount(self, cases[i].name, kCountSeconds, static_cast<int>(i)));
            }
            for (std::size_t i = first; i < last; ++i)
            {
                const double total = FinishCount(running[i - first]);
                const double samples = static_cast<double>(BlocksFor(cases[i], kCountSeconds)) *
                                       static_cast<double>(kBlock);
                instructions[i] = total > 0.0 ? total / samples : -1.0;
            }
        }
    }
#else
    (void)count;
#endif

    std::printf("engine_bench: real-time factor (thread processor time) and instructions per "
                "stereo sample; 48 kHz stereo unless noted, %d-frame blocks, default parameters, "
                "%.0f s of audio per case, %s block forms\n",
                kBlock,
                seconds,
                gInstructionSet == InstructionSet::Avx2 ? "AVX2" : "SSE2");
    // Let the core reach its steady clock before the first case is timed.
    if (warmUp)
    {
        Measure({"warm-up", hall, 48000.0, Input::Noise, false}, 2.0);
    }
    std::vector<double> factors(cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
    {
        factors[i] = Measure(cases[i], seconds);
        char counted[32] = "-";
        if (instructions[i] > 0.0)
        {
            std::snprintf(counted, sizeof(counted), "%.0f", instructions[i]);
        }
        std::printf("%-22s %8.1f x real time %8s instructions/sample\n",
                    cases[i].name.c_str(),
                    factors[i],
                    counted);
        std::fflush(stdout);
    }

    // The goals: Hall, the slowest model case at 48 kHz, the crossfade, and each model's tail
    // against its noise case (a ratio below 1 means the tail is slower).
    std::string summary = "summary:";
    double slowest = 1e300;
    std::string slowestName;
    double worstTail = 1e300;
    std::string worstTailName;
    char text[160];
    for (std::size_t i = 0; i < cases.size(); ++i)
    {
        const Case& c = cases[i];
        if (c.model == hall && c.input == Input::Noise && !c.crossfade && !c.automated &&
            c.sampleRate == 48000.0)
        {
            std::snprintf(text, sizeof(text), " Hall %.1f x (goal %.0f);", factors[i], kHallGoal);
            summary += text;
        }
        if (c.crossfade)
        {
            std::snprintf(
                text, sizeof(text), " crossfade %.1f x (goal %.0f);", factors[i], kCrossfadeGoal);
            summary += text;
        }
        if (c.sampleRate == 48000.0 && !c.crossfade && !c.automated && factors[i] < slowest)
        {
            slowest = factors[i];
            slowestName = c.name;
        }
        for (std::size_t j = 0; c.input == Input::Tail && j < cases.size(); ++j)
        {
            const Case& noise = cases[j];
            if (noise.model == c.model && noise.input == Input::Noise && !noise.crossfade &&
                !noise.automated && noise.sampleRate == c.sampleRate &&
                factors[i] / factors[j] < worstTail)
            {
                worstTail = factors[i] / factors[j];
                worstTailName = c.name;
            }
        }
    }
    if (!slowestName.empty())
    {
        std::snprintf(text,
                      sizeof(text),
                      " slowest model case %s %.1f x (goal %.0f);",
                      slowestName.c_str(),
                      slowest,
                      kModelGoal);
        summary += text;
    }
    if (!worstTailName.empty())
    {
        std::snprintf(text,
                      sizeof(text),
                      " slowest tail against its noise %s %.2f (goal 1, within the timing noise);",
                      worstTailName.c_str(),
                      worstTail);
        summary += text;
    }
    if (!scenarios.empty())
    {
        summary += MeasureScenarios(scenarios, rounds);
    }
    summary.pop_back();
    std::printf("%s\n", summary.c_str());
    return 0;
}
