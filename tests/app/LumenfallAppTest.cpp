#include "plugin/Lumenfall.h"
#include "plugkit/app/StandaloneHost.h"
#include "tests/app/AppFakes.h"

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

} // namespace
