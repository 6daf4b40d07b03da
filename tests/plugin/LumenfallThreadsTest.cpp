#include "plugin/Lumenfall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace lumenfall
{
namespace
{

using engine::ParamId;

// The audio thread processes and applies host automation while the UI thread selects
// presets, switches and copies A/B slots, edits "Freeze", saves and restores state and reads
// the meters and the tail: everything they share is atomic, so ThreadSanitizer sees no race
// and the output stays finite.
TEST(LumenfallThreads, AudioAndUiThreadsShareOnlyAtomics)
{
    Lumenfall plugin;
    plugin.SetRecording(false);
    plugin.ConnectChannels(2, 2);
    plugin.SetSampleRate(48000.0);
    plugin.OnActivate(true);

    constexpr int kFrames = 256;
    constexpr int kBlocks = 1000;
    std::atomic<bool> finite{true};
    std::atomic<bool> done{false};
    std::thread audio(
        [&]
        {
            std::vector<float> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames),
                spare(kFrames);
            float* in[2] = {inL.data(), inR.data()};
            float* out[3] = {outL.data(), outR.data(), spare.data()}; // one per channel record
            for (int b = 0; b < kBlocks; ++b)
            {
                for (int j = 0; j < kFrames; ++j)
                    inL[j] = inR[j] = 0.3f * std::sin(0.01f * static_cast<float>(b * kFrames + j));
                plugin.ApplyHostParamChange(static_cast<int>(ParamId::Mix), (b % 10) / 10.0);
                plugin.ApplyHostParamChange(static_cast<int>(ParamId::Freeze),
                                            b % 7 == 0 ? 1.0 : 0.0);
                plugin.ProcessBlock(in, out, kFrames);
                for (int j = 0; j < kFrames; ++j)
                    if (!std::isfinite(outL[j]) || !std::isfinite(outR[j]))
                        finite = false;
                (void)plugin.GetTailLength();
            }
            done = true;
        });

    for (int k = 0; !done; ++k)
    {
        plugin.SelectFactoryPreset(k % kFactoryPresetCount);
        plugin.CopyToOtherSlot();
        plugin.SwitchABSlot();
        plugin.SendParameterValueFromUI(static_cast<int>(ParamId::Freeze), k % 2);
        plugin.SetHostBypass(k % 5 == 0);
        (void)plugin.FindMatchingPreset();
        (void)plugin.GetMeterLevels();
        (void)plugin.GetTailLength();
        plugkit::IStateChunk chunk;
        ASSERT_TRUE(plugin.SerializeState(chunk));
        ASSERT_EQ(plugin.UnserializeState(chunk, 0), kStateRecordSize);
    }
    audio.join();
    EXPECT_TRUE(finite);
}

} // namespace
} // namespace lumenfall
