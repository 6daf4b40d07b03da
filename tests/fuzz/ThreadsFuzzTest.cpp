// One plug-in instance over the VST3 adapter, in-process: an audio thread runs process calls
// of random lengths with random host automation (the host bypass included) while the UI
// thread selects presets, switches and copies A/B slots, sets parameters through the
// controller, reads meters, texts and the tail, and saves and restores state. Built in the
// ThreadSanitizer tree too: a race between the two threads is a report there.
#include "plugin/Lumenfall.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/AllocationGuard.h"
#include "tests/vst3host/Vst3Host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall
{
namespace
{

using test::FuzzRng;

constexpr ParamID kBypassId = 65536;
constexpr int kMaxBlock = 512;

/// The instance as a host sets it up: initialized, handler connected, main buses on,
/// processing at 48 kHz; torn down in the host's order.
struct ActiveInstance
{
    ActiveInstance()
        : plugin(new Lumenfall())
    {
        EXPECT_EQ(plugin->initialize(static_cast<IHostApplication*>(&host)), kResultOk);
        EXPECT_EQ(plugin->setComponentHandler(&handler), kResultTrue);
        plugin->activateBus(kAudio, kInput, 0, true);
        plugin->activateBus(kAudio, kOutput, 0, true);
        ProcessSetup setup{kRealtime, kSample32, kMaxBlock, 48000.0};
        EXPECT_EQ(plugin->setupProcessing(setup), kResultOk);
        EXPECT_EQ(plugin->setActive(true), kResultOk);
        EXPECT_EQ(plugin->setProcessing(true), kResultOk);
    }
    ~ActiveInstance()
    {
        plugin->setProcessing(false);
        plugin->setActive(false);
        plugin->setComponentHandler(nullptr);
        plugin->terminate();
        plugin->release();
    }

    test::HostApplication host{u"Lumenfall Fuzz Host"};
    test::ComponentHandler handler;
    Lumenfall* plugin;
};

/// The audio thread's side: random blocks (sometimes longer than announced) with random
/// queues, every output sample checked, no allocation in any call.
void RunAudio(Lumenfall& plugin,
              int blocks,
              std::atomic<bool>& finite,
              std::atomic<int>& allocations,
              std::atomic<bool>& done)
{
    FuzzRng rng(0x7EAD0001);
    std::vector<float> inL(2 * kMaxBlock), inR(2 * kMaxBlock), outL(2 * kMaxBlock),
        outR(2 * kMaxBlock);
    float* ins[] = {inL.data(), inR.data()};
    float* outs[] = {outL.data(), outR.data()};
    test::ParameterChanges changes;
    double phase = 0.0;
    for (int b = 0; b < blocks; ++b)
    {
        const int frames = rng.OneIn(10) ? rng.Range(kMaxBlock, 2 * kMaxBlock) : rng.Range(1, 400);
        for (int s = 0; s < frames; ++s, phase += 0.031)
            inL[static_cast<std::size_t>(s)] = inR[static_cast<std::size_t>(s)] =
                static_cast<float>(0.4 * std::sin(phase));
        changes.Clear();
        for (int q = rng.Below(4); q > 0; --q)
        {
            const ParamID id =
                rng.OneIn(8) ? kBypassId : static_cast<ParamID>(rng.Below(kParamCount));
            // Switch the host bypass off again more often than on, so the engine runs.
            const double value = id == kBypassId ? (rng.OneIn(3) ? 1.0 : 0.0) : rng.NastyDouble();
            changes.Add(id, rng.Range(0, frames - 1), value);
        }
        {
            test::AllocationGuard guard;
            test::ProcessOneBus32(&plugin, ins, 2, outs, 2, frames, &changes);
            allocations += static_cast<int>(guard.Count());
        }
        for (int s = 0; s < frames; ++s)
            if (!std::isfinite(outL[static_cast<std::size_t>(s)]) ||
                !std::isfinite(outR[static_cast<std::size_t>(s)]))
                finite = false;
        (void)plugin.getTailSamples();
        (void)plugin.GetMeterLevels();
    }
    done = true;
}

TEST(Vst3Threads, AudioThreadRunsWhileTheUiPresetsSwitchesEditsAndRestores)
{
    ActiveInstance instance;
    Lumenfall& plugin = *instance.plugin;
    std::atomic<bool> finite{true};
    std::atomic<int> allocations{0};
    std::atomic<bool> done{false};
    std::thread audio([&] { RunAudio(plugin, 700, finite, allocations, done); });

    FuzzRng rng(0x7EAD0002);
    std::vector<std::uint8_t> saved;
    int restored = 0;
    // At least a few hundred UI steps, however the two threads happen to be scheduled.
    for (int step = 0; !done || step < 300; ++step)
    {
        switch (rng.Below(10))
        {
        case 0:
            plugin.SelectFactoryPreset(rng.Range(-1, kFactoryPresetCount));
            break;
        case 1:
            plugin.SwitchABSlot();
            break;
        case 2:
            plugin.CopyToOtherSlot();
            break;
        case 3:
        {
            const auto id = static_cast<ParamID>(rng.Below(kParamCount));
            plugin.beginEdit(id);
            plugin.setParamNormalized(id, rng.NastyDouble());
            plugin.endEdit(id);
            break;
        }
        case 4:
        {
            const engine::MeterLevels meters = plugin.GetMeterLevels();
            EXPECT_TRUE(std::isfinite(meters.outputPeak) && std::isfinite(meters.inputPeak));
            (void)plugin.FindMatchingPreset();
            break;
        }
        case 5:
        {
            test::MemoryStream stream;
            EXPECT_EQ(plugin.getState(&stream), kResultOk);
            saved = stream.mBytes;
            break;
        }
        case 6:
            if (!saved.empty())
            {
                test::MemoryStream stream(saved);
                EXPECT_EQ(plugin.setState(&stream), kResultOk);
                ++restored;
            }
            break;
        case 7:
        {
            String128 text;
            const auto id = static_cast<ParamID>(rng.Below(kParamCount));
            plugin.getParamStringByValue(id, plugin.getParamNormalized(id), text);
            break;
        }
        case 8:
            (void)plugin.getTailSamples();
            (void)plugin.GetPresetIndex();
            (void)plugin.GetActiveSlot();
            // The framework's own preset slots, as an editor's preset menu restores them.
            plugin.RestorePreset(rng.Range(-1, kFactoryPresetCount));
            break;
        default:
            std::this_thread::yield();
            break;
        }
        if (instance.handler.mEvents.size() > 4096)
            instance.handler.mEvents.clear();
    }
    audio.join();
    EXPECT_TRUE(finite);
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(restored, 0);
}

} // namespace
} // namespace lumenfall
