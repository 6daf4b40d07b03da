#pragma once

#include "tests/plugin/engine/EngineRender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

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

} // namespace lumenfall::test
