#include "plugin/engine/ReverbEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace lumenfall::test
{
namespace
{

using engine::EngineParameters;
using engine::MeterLevels;
using engine::ParamId;
using engine::ReverbEngine;

// The editor reads the meters on its own thread while the audio thread processes. Every value
// it sees is whole and one the engine wrote: a steady dry input of 0.5 gives input and output
// peaks of exactly 0.5 (0 before the first block), never a torn or stale mixture.
TEST(EngineThreadsTest, MetersReadWhileProcessing)
{
    EngineParameters p;
    p[ParamId::Mix] = 0.0f;
    ReverbEngine engine;
    engine.SetParameters(p);
    ASSERT_TRUE(engine.Prepare(48000.0, 2));
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> unexpected{0};
    std::thread reader(
        [&]
        {
            while (!done.load(std::memory_order_acquire))
            {
                const MeterLevels m = engine.GetMeterLevels();
                const bool known = (m.inputPeak == 0.0f || m.inputPeak == 0.5f) &&
                                   (m.outputPeak == 0.0f || m.outputPeak == 0.5f) &&
                                   m.duckReduction == 0.0f;
                unexpected.fetch_add(known ? 0 : 1, std::memory_order_relaxed);
                reads.fetch_add(1, std::memory_order_relaxed);
            }
        });
    std::vector<float> input(64, 0.5f);
    std::vector<float> left(64);
    std::vector<float> right(64);
    const float* in[2] = {input.data(), input.data()};
    float* out[2] = {left.data(), right.data()};
    for (int block = 0; block < 3000 || reads.load(std::memory_order_relaxed) < 100; ++block)
    {
        engine.Process(in, out, 64, false);
    }
    done.store(true, std::memory_order_release);
    reader.join();
    EXPECT_EQ(unexpected.load(), 0);
    const MeterLevels last = engine.GetMeterLevels();
    EXPECT_EQ(last.inputPeak, 0.5f);
    EXPECT_EQ(last.outputPeak, 0.5f);
}

} // namespace
} // namespace lumenfall::test
