#include "plugin/Lumenfall.h"
#include "plugkit/app/StandaloneHost.h"
#include "tests/support/AllocationGuard.h"
#include "tests/support/app/AppFakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace plugkit;
using namespace plugkit::app;
using namespace lumenfall::test;

namespace
{

TEST(LumenfallApp, PlaysTheReverbBetweenTheDevices)
{
    FakePlatform platform;
    AddTypicalDevices(platform);
    StandaloneHost* host = StandaloneHost::Create(platform);
    ASSERT_NE(host, nullptr);
    auto* plugin = dynamic_cast<lumenfall::Lumenfall*>(host->GetPlugin());
    ASSERT_NE(plugin, nullptr);
    EXPECT_TRUE(plugin->IsComplete());
    ASSERT_TRUE(host->Initialize());
    EXPECT_EQ(plugin->GetHost(), kHostStandalone);
    ASSERT_TRUE(host->ApplyAudioSettings());
    FakeAudioDevices& audio = *platform.mAudio;

    // A burst after the fade-in buffer, then silence: the tail goes on ringing.
    audio.Deliver(1000, 0.0);
    audio.Deliver(256, 0.5);
    double tail = 0.0;
    for (int i = 0; i < 20; ++i)
        for (double v : audio.Deliver(1000, 0.0))
        {
            ASSERT_TRUE(std::isfinite(v));
            tail = std::max(tail, std::fabs(v));
        }
    EXPECT_GT(tail, 1e-4);
    EXPECT_GT(plugin->GetMeterLevels().wetPeak, 0.0f);
    delete host;
}

TEST(LumenfallApp, DeviceCallbacksAllocateNothing)
{
    // The stream and MIDI callbacks as the device threads make them, with the product's engine
    // behind them: buffers longer than a chunk, a model change, MIDI and SysEx.
    FakePlatform platform;
    AddTypicalDevices(platform);
    StandaloneHost* host = StandaloneHost::Create(platform);
    ASSERT_NE(host, nullptr);
    ASSERT_TRUE(host->Initialize());
    ASSERT_TRUE(host->ApplyAudioSettings());
    std::vector<double> in(2 * 2048, 0.25);
    std::vector<double> out(2 * 2048);
    const uint8_t note[3] = {0x90, 60, 100};
    std::vector<uint8_t> sysEx(300, 0x11);
    sysEx.front() = 0xF0;
    sysEx.back() = 0xF7;
    host->GetPlugin()->SetParameterValue(0, 1.0); // the model crossfade runs too
    {
        lumenfall::test::AllocationGuard guard;
        StandaloneHost::MidiInputCallback(0.0, note, sizeof(note), host);
        StandaloneHost::MidiInputCallback(0.0, sysEx.data(), sysEx.size(), host);
        for (uint32_t frames : {2048u, 1000u, 64u, 2048u})
            StandaloneHost::AudioStreamCallback(out.data(), in.data(), frames, 0.0, 0, host);
        EXPECT_EQ(guard.Count(), 0u);
    }
    delete host;
}

} // namespace
