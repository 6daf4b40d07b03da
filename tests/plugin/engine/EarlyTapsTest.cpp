#include "plugin/engine/EarlyTaps.h"

#include "tests/plugin/engine/EngineRender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace lumenfall::engine
{
namespace
{

struct GlideCase
{
    const char* name;
    double sampleRate;
    ReverbModel model;
    float from; // c at the start
    float to;   // c approached or reached
    double seconds;
    bool jump; // approach `to` with a 20 ms one-pole, as the smoothing does after a jump
};

// c at sample i of the case.
float SizeAt(const GlideCase& c, int i, int frames)
{
    if (c.jump)
    {
        const double k = std::exp(-static_cast<double>(i) / (c.sampleRate * 0.02));
        return static_cast<float>(c.to + (c.from - c.to) * k);
    }
    const double x = 0.5 - 0.5 * std::cos(3.14159265358979 * i / frames);
    return static_cast<float>(c.from + (c.to - c.from) * x);
}

// While "Size" glides the block form reads every tap where the reference form does, sample by
// sample, over blocks of every length: from a reset that leaves old samples in the lines (they
// must read as silence until overwritten), through the lines' first fill and their wrap, on slow
// sweeps (a read's whole delay changing within a block), fast ones (changing by many slots) and
// delays beyond the lines' end (held there). The instruction sets give the same bits.
TEST(EarlyTapsTest, GlidingBlockFormReadsAsTheReferenceDoes)
{
    const GlideCase cases[] = {
        {"slow sweep, Hall", 48000.0, ReverbModel::Hall, 0.4f, 1.3f, 1.5, false},
        {"slow sweep down, Ambience", 22050.0, ReverbModel::Ambience, 1.75f, 0.25f, 1.5, false},
        {"jump, Cathedral", 96000.0, ReverbModel::Cathedral, 0.325f, 1.75f, 0.8, true},
        {"jump down, Small Room", 48000.0, ReverbModel::SmallRoom, 1.75f, 0.325f, 0.8, true},
        {"past the lines' end", 48000.0, ReverbModel::Cathedral, 1.6f, 1.95f, 1.0, false},
    };
    const int lengths[] = {128, 37, 1, 96, 64, 5, 128, 31, 127, 32, 33};
    for (const GlideCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const int frames = static_cast<int>(c.sampleRate * c.seconds);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> u(-0.5f, 0.5f);
        std::vector<float> xL(frames);
        std::vector<float> xR(frames);
        for (int i = 0; i < frames; ++i)
        {
            xL[i] = u(random);
            xR[i] = u(random);
        }
        CoreSettings s;
        s.sampleRate = c.sampleRate;
        // Old samples in every line: a second of loud input, then the reset.
        const auto reference = std::make_unique<EarlyTaps>();
        std::vector<std::unique_ptr<EarlyTaps>> blocks;
        const std::vector<InstructionSet> sets = test::InstructionSetsHere();
        for (std::size_t k = 0; k < sets.size(); ++k)
        {
            blocks.push_back(std::make_unique<EarlyTaps>());
        }
        std::vector<EarlyTaps*> all = {reference.get()};
        for (const auto& taps : blocks)
        {
            all.push_back(taps.get());
        }
        for (EarlyTaps* taps : all)
        {
            ASSERT_TRUE(taps->Prepare(c.sampleRate));
            taps->Reset(c.model);
            for (int i = 0; i < static_cast<int>(c.sampleRate); ++i)
            {
                taps->Step(40.0f, -40.0f, s);
            }
            taps->Reset(c.model);
        }
        std::vector<float> expected[2] = {std::vector<float>(frames), std::vector<float>(frames)};
        float peak = 0.0f;
        for (int i = 0; i < frames; ++i)
        {
            s.size = SizeAt(c, i, frames);
            const StereoSample y = reference->Step(xL[i], xR[i], s);
            expected[0][i] = y.left;
            expected[1][i] = y.right;
            peak = std::max({peak, std::fabs(y.left), std::fabs(y.right)});
        }
        std::vector<float> got[2][2];
        for (std::size_t k = 0; k < sets.size(); ++k)
        {
            s.instructionSet = sets[k];
            got[k][0].resize(frames);
            got[k][1].resize(frames);
            float sizes[kCoreBlock];
            for (int start = 0, b = 0, n = 0; start < frames; start += n, ++b)
            {
                n = std::min(lengths[b % std::size(lengths)], frames - start);
                for (int t = 0; t < n; ++t)
                {
                    sizes[t] = SizeAt(c, start + t, frames);
                }
                blocks[k]->RunGliding(xL.data() + start,
                                      xR.data() + start,
                                      s,
                                      sizes,
                                      got[k][0].data() + start,
                                      got[k][1].data() + start,
                                      n);
            }
            float largest = 0.0f;
            int at = 0;
            for (int side = 0; side < 2; ++side)
            {
                for (int i = 0; i < frames; ++i)
                {
                    const float d = std::fabs(got[k][side][i] - expected[side][i]);
                    if (d > largest)
                    {
                        largest = d;
                        at = i;
                    }
                }
            }
            // The forms differ only in how they round the sums of the reads.
            EXPECT_LE(largest, 3e-6f * peak)
                << test::InstructionSetName(sets[k]) << " at sample " << at << " of " << frames;
        }
        if (sets.size() == 2)
        {
            EXPECT_EQ(got[0][0], got[1][0]);
            EXPECT_EQ(got[0][1], got[1][1]);
        }
    }
}

} // namespace
} // namespace lumenfall::engine
