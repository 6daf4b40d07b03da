#include "plugin/engine/PlateTank.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>

namespace lumenfall::engine
{

namespace
{

constexpr int kTankLines = 4;
constexpr double kLinePhaseOffset = 1.47; // rad, line i reads the LFO at phase + i x this
// The allpass delays A0..A3 at size and density scale 1, seconds.
constexpr float kAllpassSeconds[4] = {0.0097f, 0.0121f, 0.0173f, 0.0191f};
constexpr float kLoopCoefficientBase = 0.22f; // A0, A1: + E x the slope
constexpr float kLoopCoefficientSlope = 0.45f;
constexpr float kLineCoefficientBase = 0.18f; // A2, A3
constexpr float kLineCoefficientSlope = 0.43f;
constexpr float kInputGain = 0.45f;
constexpr float kCrossTap = 0.35f; // the opposite side's first line, subtracted
constexpr float kOutputGain = 0.42f;

// sin and cos of each line's LFO phase offset, for angle addition in the block form.
struct PhaseOffsets
{
    float sine[kTankLines];
    float cosine[kTankLines];
};

const PhaseOffsets& Offsets()
{
    static const PhaseOffsets offsets = []
    {
        PhaseOffsets o{};
        for (int i = 0; i < kTankLines; ++i)
        {
            o.sine[i] = static_cast<float>(std::sin(i * kLinePhaseOffset));
            o.cosine[i] = static_cast<float>(std::cos(i * kLinePhaseOffset));
        }
        return o;
    }();
    return offsets;
}

StereoSample Outputs(const float* o)
{
    return {(o[0] + o[1] - kCrossTap * o[2]) * kOutputGain,
            (o[2] + o[3] - kCrossTap * o[0]) * kOutputGain};
}

} // namespace

PlateTank::PlateTank(const CoreSettings& settings)
{
    const float fs = static_cast<float>(settings.sampleRate);
    const float scale = settings.AllpassScale();
    for (int k = 0; k < 4; ++k)
    {
        mDelay[k] = RoundHalfAway(fs * kAllpassSeconds[k] * settings.size * scale);
    }
    mLoopCoefficient = settings.diffusion * kLoopCoefficientSlope + kLoopCoefficientBase;
    mLineCoefficient = settings.diffusion * kLineCoefficientSlope + kLineCoefficientBase;
}

StereoSample PlateTank::Step(FeedbackLines& lines,
                             DelayLine* diffusers,
                             float dL,
                             float dR,
                             double phase,
                             const CoreSettings& settings) const
{
    DelayLine* allpass = diffusers + kFirstAllpass;
    const float freeze = settings.freeze;
    float o[kTankLines];
    for (int i = 0; i < kTankLines; ++i)
    {
        const float sine = static_cast<float>(std::sin(i * kLinePhaseOffset + phase));
        o[i] = lines.Bank().Read(i, sine * settings.depth + lines.CurrentLength(i));
    }
    const float p = mLoopCoefficient;
    const float q = mLineCoefficient;
    float frame[FeedbackLines::kLines] = {};
    frame[0] = AllpassStep(allpass[0], lines.Damp(0, o[3], freeze) + kInputGain * dL, mDelay[0], p);
    frame[2] = AllpassStep(allpass[1], lines.Damp(2, o[1], freeze) + kInputGain * dR, mDelay[1], p);
    frame[1] = AllpassStep(allpass[2], o[0], mDelay[2], q);
    frame[3] = AllpassStep(allpass[3], o[2], mDelay[3], q);
    lines.Bank().Write(frame);
    return Outputs(o);
}

void PlateTank::Run(FeedbackLines& lines,
                    DelayLine* diffusers,
                    const float* dL,
                    const float* dR,
                    const float* sines,
                    const float* cosines,
                    const CoreSettings& settings,
                    float* lateL,
                    float* lateR,
                    int n) const
{
    // Lanes of the allpasses: A0..A3, which write bank lanes 0, 2, 1 and 3.
    DelayLine* allpass = diffusers + kFirstAllpass;
    int whole[4];
    for (int k = 0; k < 4; ++k)
    {
        // AllpassStep's clamp; a whole delay reads one slot (weight 0 on the second).
        whole[k] = static_cast<int>(std::max(std::min(mDelay[k], allpass[k].MaxDelay()), 1.0f));
    }
    DelayBank& bank = lines.Bank();
    const PhaseOffsets& offsets = Offsets();
    const __m128 g =
        _mm_setr_ps(mLoopCoefficient, mLoopCoefficient, mLineCoefficient, mLineCoefficient);
    const __m128 vdepth = _mm_set1_ps(settings.depth);
    const __m128 offsetCos = _mm_loadu_ps(offsets.cosine);
    const __m128 offsetSin = _mm_loadu_ps(offsets.sine);
    const __m128 length = _mm_loadu_ps(lines.CurrentLengths());
    const __m128i laneOffsets = _mm_setr_epi32(0, 1, 2, 3);
    // Damp of lines 0 and 2 in lanes 0 and 1.
    constexpr int kDamped[4] = {0, 2, -1, -1};
    DampLanes damp = lines.LoadDamp<Lanes4>(kDamped);
    const __m128 vfreeze = _mm_set1_ps(settings.freeze);
    const __m128 feed = _mm_setr_ps(kInputGain, kInputGain, 0.0f, 0.0f);
    for (int t = 0; t < n; ++t)
    {
        // sin(p + offset) by angle addition.
        const __m128 s = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(sines[t]), offsetCos),
                                    _mm_mul_ps(_mm_set1_ps(cosines[t]), offsetSin));
        const __m128 delay = _mm_add_ps(_mm_mul_ps(s, vdepth), length);
        const __m128 o = GatherBankRead4(
            bank.Data(), PlanBankRead4(bank, delay, laneOffsets, _mm_setzero_si128()));

        // The damped outputs of lines 3 and 1 (lanes 0 and 1), with the states of lines 0 and 2.
        const __m128 x = _mm_shuffle_ps(o, o, _MM_SHUFFLE(3, 3, 1, 3));
        const __m128 damped = DampLanes::Hold(x, damp.Damp(x), vfreeze);

        // Allpass inputs: damped + 0.45 dL, damped + 0.45 dR, o0, o2.
        const __m128 dry = _mm_unpacklo_ps(_mm_set_ss(dL[t]), _mm_set_ss(dR[t]));
        const __m128 loops = _mm_add_ps(damped, _mm_mul_ps(feed, dry));
        const __m128 in = _mm_movelh_ps(loops, _mm_shuffle_ps(o, o, _MM_SHUFFLE(2, 0, 2, 0)));
        alignas(16) float slot[4];
        for (int k = 0; k < 4; ++k)
        {
            const DelayLine& line = allpass[k];
            slot[k] = whole[k] <= line.Written()
                          ? line.Data()[(line.WritePosition() - whole[k]) & line.Mask()]
                          : 0.0f;
        }
        const __m128 v = _mm_sub_ps(_mm_load_ps(slot), _mm_mul_ps(g, in));
        alignas(16) float back[4];
        _mm_store_ps(back, Sanitize4(_mm_add_ps(in, _mm_mul_ps(g, v))));
        for (int k = 0; k < 4; ++k)
        {
            allpass[k].WriteSanitized(back[k]);
        }
        const __m128 out = Sanitize4(v);
        float* frame = bank.NextFrame();
        _mm_storeu_ps(frame, _mm_shuffle_ps(out, out, _MM_SHUFFLE(3, 1, 2, 0)));
        _mm_storeu_ps(frame + 4, _mm_setzero_ps());
        bank.Advance();

        alignas(16) float outputs[4];
        _mm_store_ps(outputs, o);
        const StereoSample late = Outputs(outputs);
        lateL[t] = late.left;
        lateR[t] = late.right;
    }
    lines.StoreDamp(damp, kDamped);
}

} // namespace lumenfall::engine
