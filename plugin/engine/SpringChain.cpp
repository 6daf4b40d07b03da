#include "plugin/engine/SpringChain.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>

namespace lumenfall::engine
{

namespace
{

// Allpass n of channel ch delays (n x step + first + ch x right offset) seconds at size and
// density scale 1.
constexpr float kAllpassStepSeconds = 0.00029f;
constexpr float kFirstAllpassSeconds = 0.00019f;
constexpr float kRightOffsetSeconds = 0.000047f;
constexpr float kCoefficientBase = 0.42f; // + E x the slope, - n x the step
constexpr float kCoefficientSlope = 0.36f;
constexpr float kCoefficientStep = 0.018f;
constexpr float kSwing[2] = {0.61f, -0.47f}; // each side's share of the modulation
constexpr float kDrive = 0.48f;              // input gain
constexpr float kReturnGain = 0.7f;          // of the line output
constexpr float kCrossfeed = 0.18f;          // of the other side

StereoSample Outputs(float returnL, float returnR)
{
    return {returnL + kCrossfeed * returnR, returnR + kCrossfeed * returnL};
}

// The chain slot `whole` back, `ahead` samples after the line's last write.
float ChainSlot(const DelayLine& line, int whole, int ahead)
{
    const int written = std::min(line.Written() + ahead, line.Capacity());
    return whole <= written ? line.Data()[(line.WritePosition() + ahead - whole) & line.Mask()]
                            : 0.0f;
}

} // namespace

SpringChain::SpringChain(const CoreSettings& settings, const DelayLine* diffusers)
{
    const float fs = static_cast<float>(settings.sampleRate);
    const float scale = settings.AllpassScale();
    for (int ch = 0; ch < 2; ++ch)
    {
        for (int n = 0; n < kAllpasses; ++n)
        {
            const int k = ch * kAllpasses + n;
            const float seconds =
                n * kAllpassStepSeconds + kFirstAllpassSeconds + ch * kRightOffsetSeconds;
            const float d = RoundHalfAway(seconds * fs * settings.size * scale);
            mDelay[k] = std::max(std::min(d, diffusers[k].MaxDelay()), 1.0f);
            mCoefficient[k] =
                (settings.diffusion * kCoefficientSlope + kCoefficientBase) - n * kCoefficientStep;
        }
    }
}

StereoSample SpringChain::Step(FeedbackLines& lines,
                               DelayLine* diffusers,
                               float xL,
                               float xR,
                               float s0,
                               const CoreSettings& settings) const
{
    float r[2];
    float frame[FeedbackLines::kLines] = {};
    for (int ch = 0; ch < 2; ++ch)
    {
        const float o =
            lines.Bank().Read(ch, lines.CurrentLength(ch) + s0 * settings.depth * kSwing[ch]);
        const float f = lines.Damp(ch, o, settings.freeze);
        float x = (ch == 0 ? xL : xR) * kDrive * settings.open - f;
        for (int n = 0; n < kAllpasses; ++n)
        {
            const int k = ch * kAllpasses + n;
            DelayLine& line = diffusers[k];
            const float a = mCoefficient[k];
            // The delays are whole numbers held in range by the constructor.
            const float v = line.ReadInRange(mDelay[k]) - a * x;
            line.Write(v * a + x);
            x = SanitizeSample(v);
        }
        frame[ch] = x;
        r[ch] = kReturnGain * o;
    }
    lines.Bank().Write(frame);
    return Outputs(r[0], r[1]);
}

void SpringChain::Run(FeedbackLines& lines,
                      DelayLine* diffusers,
                      const float* xL,
                      const float* xR,
                      const float* s0,
                      const CoreSettings& settings,
                      float* lateL,
                      float* lateR,
                      int n) const
{
    // Each allpass reads one slot (its delay is whole: weight 0 on the second).
    int whole[2 * kAllpasses];
    for (int k = 0; k < 2 * kAllpasses; ++k)
    {
        whole[k] = static_cast<int>(mDelay[k]);
    }
    // Lane 0 is the left channel (line 0 and its chain), lane 1 the right; in pairs of samples,
    // lanes 2 and 3 carry the next sample's channels.
    __m128 a[kAllpasses];
    for (int k = 0; k < kAllpasses; ++k)
    {
        a[k] = _mm_setr_ps(mCoefficient[k],
                           mCoefficient[kAllpasses + k],
                           mCoefficient[k],
                           mCoefficient[kAllpasses + k]);
    }
    DelayBank& bank = lines.Bank();
    const float depth = settings.depth;
    const __m128 length = _mm_setr_ps(lines.CurrentLength(0),
                                      lines.CurrentLength(1),
                                      lines.CurrentLength(0),
                                      lines.CurrentLength(1));
    const __m128 swing = _mm_setr_ps(kSwing[0], kSwing[1], kSwing[0], kSwing[1]);
    const __m128 vdepth = _mm_set1_ps(depth);
    const __m128i laneOffsets = _mm_setr_epi32(0, 1, 0, 1);
    const __m128 vfreeze = _mm_set1_ps(settings.freeze);
    const __m128 drive = _mm_set1_ps(kDrive);
    const __m128 vopen = _mm_set1_ps(settings.open);
    constexpr int kDamped[4] = {0, 1, -1, -1};
    DampLanes damp = lines.LoadDamp<Lanes4>(kDamped);
    // FeedbackLines reads of sample t (lanes 0, 1) and, when pairing, t + 1 (lanes 2, 3).
    const auto read = [&](float sineNow, float sineNext, int aheadNext)
    {
        const __m128 s = _mm_setr_ps(sineNow, sineNow, sineNext, sineNext);
        const __m128 delay = _mm_add_ps(length, _mm_mul_ps(_mm_mul_ps(s, vdepth), swing));
        const __m128i ahead = _mm_setr_epi32(0, 0, aheadNext, aheadNext);
        return GatherBankRead4(bank.Data(), PlanBankRead4(bank, delay, laneOffsets, ahead));
    };
    const auto damped = [&](__m128 o) { return DampLanes::Hold(o, damp.Damp(o), vfreeze); };
    // The bank write of the chain outputs (lanes 0 and 1) and the late pair of sample t.
    const auto finish = [&](int t, __m128 o, __m128 x)
    {
        // The other six lanes carry silence; the chain outputs are sanitised already.
        float* frame = bank.NextFrame();
        _mm_storeu_ps(frame, _mm_movelh_ps(x, _mm_setzero_ps()));
        _mm_storeu_ps(frame + 4, _mm_setzero_ps());
        bank.Advance();
        alignas(16) float r[4];
        _mm_store_ps(r, _mm_mul_ps(_mm_set1_ps(kReturnGain), o));
        const StereoSample late = Outputs(r[0], r[1]);
        lateL[t] = late.left;
        lateR[t] = late.right;
    };

    // Two samples at once when neither read of the second can see a write of the first: every
    // chain delay and both line delays at least 2.
    const int shortestChain = *std::min_element(whole, whole + 2 * kAllpasses);
    const bool pairs = shortestChain >= 2 &&
                       lines.CurrentLength(0) - std::fabs(depth) * kSwing[0] >= 3.0f &&
                       lines.CurrentLength(1) - std::fabs(depth) * -kSwing[1] >= 3.0f;
    int t = 0;
    for (; pairs && t + 2 <= n; t += 2)
    {
        const __m128 o = read(s0[t], s0[t + 1], 1);
        const __m128 o0 = o;
        const __m128 o1 = _mm_movehl_ps(o, o);
        const __m128 f0 = damped(o0);
        const __m128 f1 = damped(o1);
        const __m128 input = _mm_setr_ps(xL[t], xR[t], xL[t + 1], xR[t + 1]);
        __m128 x = _mm_sub_ps(_mm_mul_ps(_mm_mul_ps(input, drive), vopen), _mm_movelh_ps(f0, f1));
        for (int k = 0; k < kAllpasses; ++k)
        {
            DelayLine& left = diffusers[k];
            DelayLine& right = diffusers[kAllpasses + k];
            const __m128 stored = _mm_setr_ps(ChainSlot(left, whole[k], 0),
                                              ChainSlot(right, whole[kAllpasses + k], 0),
                                              ChainSlot(left, whole[k], 1),
                                              ChainSlot(right, whole[kAllpasses + k], 1));
            const __m128 v = _mm_sub_ps(stored, _mm_mul_ps(a[k], x));
            alignas(16) float back[4];
            _mm_store_ps(back, Sanitize4(_mm_add_ps(_mm_mul_ps(v, a[k]), x)));
            left.WriteSanitized(back[0]);
            left.WriteSanitized(back[2]);
            right.WriteSanitized(back[1]);
            right.WriteSanitized(back[3]);
            x = Sanitize4(v);
        }
        finish(t, o0, x);
        finish(t + 1, o1, _mm_movehl_ps(x, x));
    }
    for (; t < n; ++t)
    {
        const __m128 o = read(s0[t], s0[t], 0);
        const __m128 input = _mm_setr_ps(xL[t], xR[t], 0.0f, 0.0f);
        __m128 x = _mm_sub_ps(_mm_mul_ps(_mm_mul_ps(input, drive), vopen), damped(o));
        for (int k = 0; k < kAllpasses; ++k)
        {
            DelayLine& left = diffusers[k];
            DelayLine& right = diffusers[kAllpasses + k];
            const __m128 stored = _mm_setr_ps(ChainSlot(left, whole[k], 0),
                                              ChainSlot(right, whole[kAllpasses + k], 0),
                                              0.0f,
                                              0.0f);
            const __m128 v = _mm_sub_ps(stored, _mm_mul_ps(a[k], x));
            alignas(16) float back[4];
            _mm_store_ps(back, Sanitize4(_mm_add_ps(_mm_mul_ps(v, a[k]), x)));
            left.WriteSanitized(back[0]);
            right.WriteSanitized(back[1]);
            x = Sanitize4(v);
        }
        finish(t, o, x);
    }
    lines.StoreDamp(damp, kDamped);
}

} // namespace lumenfall::engine
