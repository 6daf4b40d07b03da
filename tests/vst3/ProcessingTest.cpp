// Audio through the host's process call: sample sizes, host automation, host bypass,
// inactivity, the tail, the transport, and what a validator checks.
#include "tests/plugin/engine/SignalAnalysis.h"
#include "tests/support/AllocationGuard.h"
#include "tests/vst3/ModuleFixture.h"

#include <cmath>
#include <limits>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall::test
{
namespace
{

using ProcessingTest = ModuleTest;

Stereo Burst(int frames, int burst = 2000)
{
    Stereo s;
    s.left = NoiseBurst(frames, burst, 1);
    s.right = NoiseBurst(frames, burst, 2);
    return s;
}

bool AllZero(const std::vector<float>& x, std::size_t from = 0)
{
    for (std::size_t i = from; i < x.size(); ++i)
        if (x[i] != 0.0f)
            return false;
    return true;
}

TEST_F(ProcessingTest, SixtyFourBitBlocksMatchThirtyTwoBitBlocks)
{
    const int frames = 4500;
    const Stereo in = Burst(frames);
    // 512 is the maximum announced; 1500-frame blocks exceed it and run in pieces.
    for (int block : {512, 1500})
    {
        auto p32 = NewPlugin(48000.0, 512, kSample32);
        const Stereo out32 = Render(*p32, in, block);
        ASSERT_FALSE(AllZero(out32.left));

        auto p64 = NewPlugin(48000.0, 512, kSample64);
        std::vector<double> inL(in.left.begin(), in.left.end());
        std::vector<double> inR(in.right.begin(), in.right.end());
        std::vector<double> outL(frames, 7.0), outR(frames, 7.0);
        for (int start = 0; start < frames; start += block)
        {
            const int n = std::min(block, frames - start);
            double* i[] = {inL.data() + start, inR.data() + start};
            double* o[] = {outL.data() + start, outR.data() + start};
            ASSERT_EQ(p64->Process64(i, 2, o, 2, n), kResultOk);
        }
        for (int k = 0; k < frames; ++k)
        {
            ASSERT_EQ(static_cast<float>(outL[k]), out32.left[k]) << block << " " << k;
            ASSERT_EQ(static_cast<float>(outR[k]), out32.right[k]) << block << " " << k;
        }
        EXPECT_EQ(inL[100], static_cast<double>(in.left[100])); // inputs untouched
    }
}

// The guard counts the module's allocations natively, where the module shares the process's
// operator new; the Windows module links its own static C++ run-time, which the guard cannot
// see, so there this shows only that the host side allocates nothing.
TEST_F(ProcessingTest, ProcessingAllocatesNothing)
{
    auto plugin = NewPlugin();
    const Stereo in = Burst(512);
    Stereo out(512);
    float* i[] = {const_cast<float*>(in.left.data()), const_cast<float*>(in.right.data())};
    float* o[] = {out.left.data(), out.right.data()};
    ParameterChanges changes;
    changes.Add(1, 0, 0.5);
    changes.Add(65536, 0, 0.0);
    ProcessContext context{};
    context.state = ProcessContext::kTempoValid | ProcessContext::kPlaying;
    context.tempo = 90.0;
    plugin->Process32(i, 2, o, 2, 512); // the first block may prepare nothing more
    {
        AllocationGuard guard;
        EXPECT_EQ(plugin->Process32(i, 2, o, 2, 512, &changes, &context), kResultOk);
        EXPECT_EQ(plugin->Process32(i, 2, o, 2, 512), kResultOk);
        // Some hosts stop and restart processing from their audio thread: the reset is free.
        EXPECT_EQ(plugin->mProcessor->setProcessing(false), kResultOk);
        EXPECT_EQ(plugin->mProcessor->setProcessing(true), kResultOk);
        EXPECT_EQ(guard.Count(), 0u);
    }

    // 64-bit, in a block longer than the announced maximum (converted in pieces).
    auto p64 = NewPlugin(48000.0, 256, kSample64);
    std::vector<double> x(512, 0.25), y0(512), y1(512);
    double* i64[] = {x.data(), x.data()};
    double* o64[] = {y0.data(), y1.data()};
    p64->Process64(i64, 2, o64, 2, 512);
    AllocationGuard guard;
    EXPECT_EQ(p64->Process64(i64, 2, o64, 2, 512, &changes, &context), kResultOk);
    EXPECT_EQ(guard.Count(), 0u);
}

TEST_F(ProcessingTest, TheLastPointOfAQueueWinsAndValuesClamp)
{
    auto plugin = NewPlugin();
    float z[8] = {};
    float* i[] = {z, z};
    float* o[] = {z, z};
    ParameterChanges changes;
    changes.Add(1, 0, Normalized(*plugin, 1, 20.0));
    changes.Add(1, 4, Normalized(*plugin, 1, 5.0)); // Decay: the last point counts
    changes.Add(4, 0, 1.7);                         // Mix: clamped to 100 %
    changes.Add(5, 0, -3.0);                        // Width: clamped to 0 %
    changes.Add(6, 0, std::nan(""));                // Tone: ignored
    changes.Add(7, 0, 1.0);                         // Input Trim: its last point cannot be read
    changes.mQueues[changes.mCount - 1].mFailReads = true;
    changes.Add(65537, 0, 1.0); // not a parameter of this plug-in
    changes.Add(65540, 0, 1.0);
    std::vector<std::uint8_t> before;
    ASSERT_EQ(plugin->SaveState(before), kResultOk);
    ASSERT_EQ(plugin->Process32(i, 2, o, 2, 8, &changes), kResultOk);
    std::vector<std::uint8_t> state;
    ASSERT_EQ(plugin->SaveState(state), kResultOk);
    EXPECT_NEAR(StateValue(state, 1), 5.0f, 1e-3f);
    EXPECT_EQ(StateValue(state, 4), 100.0f);
    EXPECT_EQ(StateValue(state, 5), 0.0f);
    EXPECT_EQ(StateValue(state, 6), StateValue(before, 6));
    EXPECT_EQ(StateValue(state, 7), StateValue(before, 7));
}

TEST_F(ProcessingTest, HostBypassPassesTheInputBitExact)
{
    const Stereo in = Burst(1500);
    struct Case
    {
        double value;
        bool bypassed;
    };
    for (const Case c : {Case{1.0, true}, Case{0.51, true}, Case{0.5, false}})
    {
        auto plugin = NewPlugin();
        ParameterChanges changes;
        changes.Add(65536, 0, c.value);
        const Stereo out = Render(*plugin, in, 512, &changes);
        EXPECT_EQ(out.left == in.left && out.right == in.right, c.bypassed) << c.value;
    }
    // Bypassed even while inactive.
    auto inactive = NewPlugin(0.0);
    ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
    ASSERT_EQ(inactive->mProcessor->setupProcessing(setup), kResultOk);
    ParameterChanges changes;
    changes.Add(65536, 0, 1.0);
    const Stereo out = Render(*inactive, in, 512, &changes);
    EXPECT_EQ(out.left, in.left);
}

TEST_F(ProcessingTest, HostBypassPassesSixtyFourBitInputBitExact)
{
    // Doubles a float cannot hold: a bypass through 32-bit buffers would round them.
    const int frames = 700;
    std::vector<double> inL(frames), inR(frames);
    for (int k = 0; k < frames; ++k)
    {
        inL[k] = std::sin(0.01 * k) / 3.0;
        inR[k] = std::cos(0.013 * k) / 7.0;
    }
    for (double rate : {48000.0, 0.0}) // active, and never activated
    {
        auto plugin = NewPlugin(0.0);
        ProcessSetup setup{kRealtime, kSample64, 512, 48000.0};
        ASSERT_EQ(plugin->mProcessor->setupProcessing(setup), kResultOk);
        if (rate > 0.0)
        {
            ASSERT_EQ(plugin->mComponent->setActive(true), kResultOk);
        }
        ParameterChanges changes;
        changes.Add(65536, 0, 1.0);
        std::vector<double> outL(frames, 9.0), outR(frames, 9.0);
        double* i[] = {inL.data(), inR.data()};
        double* o[] = {outL.data(), outR.data()};
        ASSERT_EQ(plugin->Process64(i, 2, o, 2, frames, &changes), kResultOk); // > the maximum
        EXPECT_EQ(outL, inL) << rate;
        EXPECT_EQ(outR, inR) << rate;
        // In place, as hosts may pass the same buffers.
        std::vector<double> sameL = inL, sameR = inR;
        double* same[] = {sameL.data(), sameR.data()};
        ASSERT_EQ(plugin->Process64(same, 2, same, 2, frames), kResultOk);
        EXPECT_EQ(sameL, inL) << rate;
        EXPECT_EQ(sameR, inR) << rate;
    }
}

TEST_F(ProcessingTest, HostOutputsThePlugInDoesNotRenderComeBackSilent)
{
    // A third channel on the stereo bus, and the whole bus switched off by the host: whatever
    // the host's buffers held (NaN here) must not go out, host-bypassed or not.
    for (const bool bypass : {false, true})
        for (const bool busActive : {true, false})
        {
            auto plugin = NewPlugin(0.0);
            ASSERT_EQ(plugin->mComponent->activateBus(kAudio, kOutput, 0, busActive), kResultOk);
            ASSERT_TRUE(plugin->Start(48000.0, 512));
            ParameterChanges changes;
            changes.Add(65536, 0, bypass ? 1.0 : 0.0);
            std::vector<float> in(64, 0.25f);
            std::vector<std::vector<float>> out(3, std::vector<float>(64, NAN));
            float* ins[] = {in.data(), in.data()};
            float* outs[] = {out[0].data(), out[1].data(), out[2].data()};
            ASSERT_EQ(plugin->Process32(ins, 2, outs, 3, 64, &changes), kResultOk);
            for (int c = 0; c < 3; ++c)
                for (float y : out[static_cast<std::size_t>(c)])
                {
                    const bool silent = c == 2 || !busActive;
                    ASSERT_TRUE(silent ? y == 0.0f : std::isfinite(y))
                        << "bypass " << bypass << " bus " << busActive << " channel " << c;
                }
            if (bypass && busActive)
            {
                EXPECT_EQ(out[0], in);
            }
        }
}

TEST_F(ProcessingTest, InactiveProcessorIsSilent)
{
    auto plugin = NewPlugin(0.0);
    ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
    ASSERT_EQ(plugin->mProcessor->setupProcessing(setup), kResultOk);
    ASSERT_EQ(plugin->mComponent->setActive(true), kResultOk);
    ASSERT_EQ(plugin->mComponent->setActive(false), kResultOk);
    const Stereo in = Burst(1024, 1024);
    Stereo out(1024);
    std::fill(out.left.begin(), out.left.end(), 9.0f);
    std::fill(out.right.begin(), out.right.end(), 9.0f);
    float* i[] = {const_cast<float*>(in.left.data()), const_cast<float*>(in.right.data())};
    float* o[] = {out.left.data(), out.right.data()};
    ASSERT_EQ(plugin->Process32(i, 2, o, 2, 1024), kResultOk);
    EXPECT_TRUE(AllZero(out.left));
    EXPECT_TRUE(AllZero(out.right));
}

TEST_F(ProcessingTest, ReportsTheTail)
{
    for (double rate : {44100.0, 48000.0})
    {
        auto plugin = NewPlugin(rate);
        EXPECT_EQ(plugin->mProcessor->getTailSamples(), static_cast<uint32>(160 * rate));
        EXPECT_EQ(plugin->mProcessor->getLatencySamples(), 0u);
        float z[4] = {};
        float* b[] = {z, z};
        ParameterChanges freeze;
        freeze.Add(26, 0, 1.0);
        plugin->Process32(b, 2, b, 2, 4, &freeze);
        EXPECT_EQ(plugin->mProcessor->getTailSamples(), kInfiniteTail);
    }
}

TEST_F(ProcessingTest, HallDecaysIn2Point4Seconds)
{
    const double fs = 48000.0;
    auto plugin = NewPlugin(fs);
    ParameterChanges p;
    const std::pair<ParamID, double> plain[] = {{0, 4.0},
                                                {1, 2.4},
                                                {4, 100.0},
                                                {9, 0.0},
                                                {10, 100.0},
                                                {2, 0.0},
                                                {15, 1.0},
                                                {16, 1.0},
                                                {19, 0.0},
                                                {13, 20.0},
                                                {14, 22000.0}};
    for (const auto& [id, value] : plain)
        p.Add(id, 0, Normalized(*plugin, id, value));
    const int frames = static_cast<int>(fs * (2.4 * 1.05 + 0.3));
    Stereo impulse(frames);
    impulse.left[0] = impulse.right[0] = 1.0f;
    // Let the parameters settle on silence first, then send the impulse.
    Render(*plugin, Stereo(48000), 512, &p);
    const Stereo ir = Render(*plugin, impulse);
    const double t30 = DecayTimeT30(EnergyDecayCurve(ir.left, ir.right), fs);
    ASSERT_TRUE(std::isfinite(t30));
    EXPECT_GE(t30 / 2.4, 0.95);
    EXPECT_LE(t30 / 2.4, 1.05);
}

TEST_F(ProcessingTest, TransportFieldsCountOnlyWithTheirValidityFlags)
{
    // Pre-delay synced to 1/4: the tempo moves the wet onset.
    auto render = [&](ProcessContext* context)
    {
        auto plugin = NewPlugin();
        ParameterChanges p;
        p.Add(28, 0, 1.0);                               // Pre-delay Sync on
        p.Add(29, 0, Normalized(*plugin, 29, 4.0));      // 1/4
        p.Add(4, 0, 1.0);                                // Mix 100 %
        Render(*plugin, Stereo(4096), 512, &p, context); // settle
        Stereo in(24000);
        in.left[0] = in.right[0] = 1.0f;
        return Render(*plugin, in, 512, nullptr, context);
    };
    const Stereo none = render(nullptr);
    ProcessContext stale{};
    stale.tempo = 240.0; // no kTempoValid: the transport keeps 120 bpm
    stale.timeSigNumerator = 0;
    const Stereo unflagged = render(&stale);
    ProcessContext valid = stale;
    valid.state = ProcessContext::kTempoValid;
    const Stereo flagged = render(&valid);
    EXPECT_EQ(none.left, unflagged.left);
    EXPECT_NE(none.left, flagged.left);
}

TEST_F(ProcessingTest, ValidatorBlockSizesSilenceAndUntouchedInputs)
{
    auto plugin = NewPlugin(48000.0, 512);
    std::vector<float> inL(512), inR(512), outL(512), outR(512);
    float* i[] = {inL.data(), inR.data()};
    float* o[] = {outL.data(), outR.data()};
    // Silence in, silence out, at every block size.
    for (int frames : {0, 1, 37, 511, 512})
    {
        std::fill(outL.begin(), outL.end(), 3.0f);
        ASSERT_EQ(plugin->Process32(i, 2, o, 2, frames), kResultOk);
        for (int k = 0; k < frames; ++k)
            ASSERT_EQ(outL[k], 0.0f) << frames;
    }
    // Signal in: the input buffers come back unchanged.
    const Stereo burst = Burst(512, 512);
    std::copy(burst.left.begin(), burst.left.end(), inL.begin());
    std::copy(burst.right.begin(), burst.right.end(), inR.begin());
    for (int frames : {1, 37, 512})
    {
        ASSERT_EQ(plugin->Process32(i, 2, o, 2, frames), kResultOk);
        EXPECT_EQ(inL, burst.left);
        EXPECT_EQ(inR, burst.right);
        for (int k = 0; k < frames; ++k)
            ASSERT_TRUE(std::isfinite(outL[k]) && std::isfinite(outR[k]));
    }
    // A block longer than the maximum announced is still processed within bounds.
    const Stereo longIn = Burst(3000, 3000);
    const Stereo longOut = Render(*plugin, longIn, 3000);
    for (float v : longOut.left)
        ASSERT_TRUE(std::isfinite(v));
}

TEST_F(ProcessingTest, AnyAnnouncedBlockSizeSetsUpAndProcesses)
{
    // The largest block an int32 holds is announced, a block of ordinary size arrives.
    for (int32 maxBlock : {std::numeric_limits<int32>::max(), 0, -5})
    {
        auto plugin = NewPlugin(48000.0, maxBlock);
        const Stereo out = Render(*plugin, Burst(1024), 1024);
        ASSERT_FALSE(AllZero(out.left)) << maxBlock;
        for (float v : out.left)
            ASSERT_TRUE(std::isfinite(v)) << maxBlock;
    }
}

TEST_F(ProcessingTest, SilenceAfterTheTail)
{
    auto plugin = NewPlugin();
    ParameterChanges p;
    p.Add(0, 0, 0.0);                         // Ambience
    p.Add(1, 0, Normalized(*plugin, 1, 0.3)); // short decay
    Render(*plugin, Burst(4800), 512, &p);
    const Stereo after = Render(*plugin, Stereo(48000 * 20));
    EXPECT_TRUE(AllZero(after.left, after.left.size() - 4800));
    EXPECT_TRUE(AllZero(after.right, after.right.size() - 4800));
}

TEST_F(ProcessingTest, ActivationCyclesAndReinitialisationNeverAskForARestart)
{
    auto plugin = NewPlugin();
    for (int cycle = 0; cycle < 10; ++cycle)
    {
        plugin->Stop();
        ASSERT_TRUE(plugin->Start(cycle % 2 ? 44100.0 : 48000.0, 256 + cycle));
        Render(*plugin, Burst(600), 256);
    }
    EXPECT_EQ(mHandler.RestartCount(kLatencyChanged), 0);

    // terminate and initialize again: a fresh set of parameters, the bypass among them.
    plugin->Stop();
    ASSERT_EQ(plugin->mComponent->terminate(), kResultOk);
    ASSERT_EQ(plugin->mComponent->initialize(static_cast<IHostApplication*>(&mHost)), kResultOk);
    ASSERT_EQ(plugin->mController->setComponentHandler(&mHandler), kResultOk);
    EXPECT_EQ(plugin->mController->getParameterCount(), 33);
    EXPECT_EQ(plugin->mController->setParamNormalized(65536, 1.0), kResultOk);
    EXPECT_EQ(plugin->mController->getParamNormalized(65536), 1.0);
    ASSERT_TRUE(plugin->Start(48000.0, 512));
    const Stereo out = Render(*plugin, Burst(1024));
    for (float v : out.left)
        ASSERT_TRUE(std::isfinite(v));
    EXPECT_EQ(mHandler.RestartCount(kLatencyChanged), 0);
}

TEST_F(ProcessingTest, MissingBusesNeverReuseThePreviousHostPointers)
{
    // One instance gets its input bus dropped after a block; its twin gets silence on the
    // same bus. Both must produce the same tail.
    auto dropped = NewPlugin();
    auto silent = NewPlugin();
    const Stereo burst = Burst(512, 512);
    Render(*dropped, burst);
    Render(*silent, burst);

    // The burst's buffers are still alive: reading them again would differ from silence.
    std::vector<float> zero(512, 0.0f);
    Stereo a(512), b(512);
    float* oa[] = {a.left.data(), a.right.data()};
    float* ob[] = {b.left.data(), b.right.data()};
    float* z[] = {zero.data(), zero.data()};
    ASSERT_EQ(dropped->Process32(nullptr, -1, oa, 2, 512), kResultOk);
    ASSERT_EQ(silent->Process32(z, 2, ob, 2, 512), kResultOk);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);

    // No output bus: nothing is rendered and nothing breaks; nor with a null channel.
    float* in[] = {zero.data(), zero.data()};
    EXPECT_EQ(dropped->Process32(in, 2, nullptr, -1, 512), kResultOk);
    float* holey[] = {a.left.data(), nullptr};
    EXPECT_EQ(dropped->Process32(holey, 2, holey, 2, 512), kResultOk);
    EXPECT_TRUE(AllZero(a.left));
}

} // namespace
} // namespace lumenfall::test
