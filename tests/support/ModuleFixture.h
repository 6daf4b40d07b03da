// The real LUMENFALL.vst3 in the test host: one module load per test executable, a
// fresh instance per test, and the signals and state offsets the tests share.
#pragma once

#include "tests/vst3host/Vst3Host.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace lumenfall::test
{

/// Offsets in the 280-byte component state.
inline constexpr int kStateSize = 280;
inline constexpr int kValuesOffset = 12;
inline constexpr int kOtherSlotOffset = 140;
inline constexpr int kPresetOffset = 268;
inline constexpr int kSlotOffset = 272;
inline constexpr int kBypassOffset = 276;

inline float StateValue(const std::vector<std::uint8_t>& state, int index, int base = kValuesOffset)
{
    float v = 0.0f;
    std::memcpy(&v, state.data() + base + 4 * index, 4);
    return v;
}

inline void
SetStateValue(std::vector<std::uint8_t>& state, int index, float v, int base = kValuesOffset)
{
    std::memcpy(state.data() + base + 4 * index, &v, 4);
}

inline void SetStateInt(std::vector<std::uint8_t>& state, int offset, std::int32_t v)
{
    std::memcpy(state.data() + offset, &v, 4);
}

/// A deterministic noise burst of `burst` frames followed by silence.
inline std::vector<float> NoiseBurst(int frames, int burst, std::uint32_t seed)
{
    std::vector<float> x(static_cast<std::size_t>(frames), 0.0f);
    for (int i = 0; i < burst && i < frames; ++i)
    {
        seed = seed * 1664525u + 1013904223u;
        x[static_cast<std::size_t>(i)] =
            (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 0.5f;
    }
    return x;
}

struct Stereo
{
    std::vector<float> left;
    std::vector<float> right;
    explicit Stereo(int frames = 0)
        : left(static_cast<std::size_t>(frames), 0.0f)
        , right(static_cast<std::size_t>(frames), 0.0f)
    {
    }
    int Frames() const { return static_cast<int>(left.size()); }
};

class ModuleTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        sModule = LoadedModule::Load(LUMENFALL_BUNDLE, &error);
        ASSERT_NE(sModule, nullptr) << error;
    }
    static void TearDownTestSuite() { sModule.reset(); }

    void SetUp() override { ASSERT_NE(sModule, nullptr); }

    /// A created and initialized instance; started when `rate` > 0.
    std::unique_ptr<HostedPlugin> NewPlugin(double rate = 48000.0,
                                            int maxBlock = 512,
                                            Steinberg::int32 sampleSize = Steinberg::Vst::kSample32)
    {
        auto plugin = std::make_unique<HostedPlugin>(*sModule, mHost, mHandler);
        EXPECT_TRUE(plugin->CreateAndInitialize());
        if (rate > 0.0)
        {
            EXPECT_TRUE(plugin->Start(rate, maxBlock, sampleSize));
        }
        return plugin;
    }

    /// The normalized value of a plain value of parameter `id`, through the controller.
    double Normalized(HostedPlugin& plugin, Steinberg::Vst::ParamID id, double plain)
    {
        return plugin.mController->plainParamToNormalized(id, plain);
    }

    /// Runs `input` through the plug-in in blocks of `block` frames (32-bit); `first` goes
    /// with the first block.
    Stereo Render(HostedPlugin& plugin,
                  const Stereo& input,
                  int block = 512,
                  Steinberg::Vst::IParameterChanges* first = nullptr,
                  Steinberg::Vst::ProcessContext* context = nullptr)
    {
        Stereo out(input.Frames());
        for (int start = 0; start < input.Frames(); start += block)
        {
            const int n = std::min(block, input.Frames() - start);
            float* in[] = {const_cast<float*>(input.left.data()) + start,
                           const_cast<float*>(input.right.data()) + start};
            float* o[] = {out.left.data() + start, out.right.data() + start};
            EXPECT_EQ(plugin.Process32(in, 2, o, 2, n, start == 0 ? first : nullptr, context),
                      Steinberg::kResultOk);
        }
        return out;
    }

    static std::unique_ptr<LoadedModule> sModule;
    ComponentHandler mHandler;
    HostApplication mHost{u"Lumenfall Test Host"};
};

inline std::unique_ptr<LoadedModule> ModuleTest::sModule;

} // namespace lumenfall::test
