// IPluginVst3 with the host's two threads at once: the audio thread in process calls with
// automation and the host bypass, the UI thread setting, reading and saving parameters as a
// host's generic editor and its project saving do. Built for ThreadSanitizer too.
#include "plugkit/vst3/IPluginVst3.h"
#include "tests/vst3host/Vst3Host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall::test
{
namespace
{

class TwoParamPlugin final : public plugkit::IPluginVst3
{
public:
    static plugkit::PluginConfig Config()
    {
        plugkit::PluginConfig c;
        c.mNParams = 2;
        c.mChannelIO = "2-2";
        c.mPluginName = "Threads";
        return c;
    }
    TwoParamPlugin()
        : IPluginVst3(Config())
    {
        GetParam(0)->InitDouble("Gain", 0.0, -60.0, 12.0, 0.1, "dB");
        GetParam(1)->InitBool("Freeze", false);
    }
    void ProcessBlock(float** inputs, float** outputs, int nFrames) override
    {
        const float gain = static_cast<float>(GetParam(0)->Value() > -60.0 ? 1.0 : 0.0);
        for (int c = 0; c < 2; ++c)
            for (int s = 0; s < nFrames; ++s)
                outputs[c][s] = inputs[c][s] * gain;
    }
};

TEST(Vst3AdapterThreads, AudioAndUiThreadsShareOneInstance)
{
    HostApplication host(u"Threads Host");
    ComponentHandler handler;
    auto* plugin = new TwoParamPlugin();
    ASSERT_EQ(plugin->initialize(static_cast<IHostApplication*>(&host)), kResultOk);
    ASSERT_EQ(plugin->setComponentHandler(&handler), kResultOk);
    ASSERT_EQ(plugin->activateBus(kAudio, kInput, 0, true), kResultTrue);
    ASSERT_EQ(plugin->activateBus(kAudio, kOutput, 0, true), kResultTrue);
    ProcessSetup setup{kRealtime, kSample32, 64, 48000.0};
    ASSERT_EQ(plugin->setupProcessing(setup), kResultOk);
    ASSERT_EQ(plugin->setActive(true), kResultOk);
    ASSERT_EQ(plugin->setProcessing(true), kResultOk);

    std::atomic<bool> uiDone{false};
    std::thread audio(
        [&]
        {
            float in[2][64] = {};
            float out[2][64] = {};
            float* ins[] = {in[0], in[1]};
            float* outs[] = {out[0], out[1]};
            ParameterChanges changes;
            ProcessContext context{};
            context.state = ProcessContext::kTempoValid;
            for (int block = 0; !uiDone; ++block)
            {
                changes.Clear();
                changes.Add(0, 0, (block % 10) / 10.0);
                changes.Add(65536, 0, block % 100 < 50 ? 0.0 : 1.0);
                context.tempo = 60.0 + block % 120;
                ProcessOneBus32(plugin, ins, 2, outs, 2, 64, &changes, &context);
            }
        });

    for (int rounds = 0; rounds < 500; ++rounds)
    {
        EXPECT_EQ(plugin->setParamNormalized(0, (rounds % 7) / 7.0), kResultOk);
        EXPECT_EQ(plugin->setParamNormalized(1, rounds % 2), kResultOk);
        const ParamValue v = plugin->getParamNormalized(0);
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
        MemoryStream state;
        EXPECT_EQ(plugin->getState(&state), kResultOk);
        String128 text;
        EXPECT_EQ(plugin->getParamStringByValue(0, v, text), kResultOk);
    }
    uiDone = true;
    audio.join();

    plugin->setProcessing(false);
    plugin->setActive(false);
    plugin->setComponentHandler(nullptr);
    plugin->terminate();
    plugin->release();
}

} // namespace
} // namespace lumenfall::test
