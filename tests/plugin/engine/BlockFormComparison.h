#pragma once

#include "tests/plugin/engine/EngineRender.h"
#include "tests/plugin/engine/ReverbEngineTestAccess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace lumenfall::test
{

/// The block form's output against the per-sample reference form's, over the same input.
struct FormDifference
{
    float largest = 0.0f; ///< the largest difference on either channel
    std::size_t at = 0;   ///< the frame where it lies
    float peak = 0.0f;    ///< the reference output's peak
};

inline FormDifference CompareForms(const StereoBuffer& block, const StereoBuffer& reference)
{
    FormDifference d;
    for (std::size_t i = 0; i < reference.Frames(); ++i)
    {
        const float difference = std::max(std::fabs(block.left[i] - reference.left[i]),
                                          std::fabs(block.right[i] - reference.right[i]));
        if (difference > d.largest)
        {
            d.largest = difference;
            d.at = i;
        }
        d.peak = std::max({d.peak, std::fabs(reference.left[i]), std::fabs(reference.right[i])});
    }
    return d;
}

/// The reference form is the oracle of the block form: expects the two outputs to differ (they
/// round differently, so equal output would mean that the block form never ran) by no more
/// than `relative` x max(1, the reference's peak) + `absolute`.
inline FormDifference ExpectBlockFormMatchesReference(const StereoBuffer& block,
                                                      const StereoBuffer& reference,
                                                      float relative = 2e-5f,
                                                      float absolute = 0.0f)
{
    const FormDifference d = CompareForms(block, reference);
    EXPECT_GT(d.largest, 0.0f) << "the block form must run";
    EXPECT_LE(d.largest, relative * std::max(1.0f, d.peak) + absolute) << "at frame " << d.at;
    return d;
}

/// The two forms over the same input and the same automation: the block form (on `set`) and
/// the per-sample reference form each process `input` in blocks of `lengthOf(block)` frames
/// (cut at the end), with `automate(block, start, p)` setting the parameters before each block.
struct BothForms
{
    StereoBuffer block;
    StereoBuffer reference;
    std::uint64_t sampleFormSamples = 0; ///< the block-form engine's samples in the per-sample form
};

template <typename LengthOf, typename Automate>
BothForms RunBothForms(const StereoBuffer& input,
                       engine::EngineParameters p,
                       engine::InstructionSet set,
                       LengthOf lengthOf,
                       Automate automate)
{
    engine::ReverbEngine engines[2];
    engines[0].SetInstructionSet(set);
    engines[1].SetReferenceProcessing(true);
    StereoBuffer outs[2] = {StereoBuffer(input.Frames()), StereoBuffer(input.Frames())};
    for (engine::ReverbEngine& e : engines)
    {
        e.SetParameters(p);
        e.Prepare(48000.0, 2);
    }
    std::size_t start = 0;
    for (int block = 0; start < input.Frames(); ++block)
    {
        const int n = std::min<int>(lengthOf(block), static_cast<int>(input.Frames() - start));
        automate(block, start, p);
        for (int k = 0; k < 2; ++k)
        {
            engines[k].SetParameters(p);
            ProcessAt(engines[k], input, outs[k], start, n);
        }
        start += static_cast<std::size_t>(n);
    }
    return {std::move(outs[0]),
            std::move(outs[1]),
            engine::ReverbEngineTestAccess::SampleFormSamples(engines[0])};
}

} // namespace lumenfall::test
