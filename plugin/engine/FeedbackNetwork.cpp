#include "plugin/engine/FeedbackNetwork.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>

namespace lumenfall::engine
{

namespace
{

constexpr int kLines = FeedbackLines::kLines;
constexpr double kLinePhaseOffset = 1.618;   // rad, line i reads the LFO at phase + i x this
constexpr float kMinMixAngle = 0.12f;        // rad, the rotation at "Density" 0 %
constexpr float kMixAngleRange = 0.6653982f; // rad, added at 100 % (reaching pi/4)
constexpr float kInputGain = 0.16f;
constexpr float kShimmerReturnGain = 0.025f; // x shimmer amount
constexpr float kShimmerTrim = 0.12f;        // the loop gives up this much x shimmer amount
constexpr float kShimmerWetGain = 1.2f;      // the shifted pair in the output, x shimmer amount
constexpr float kInnerTapWeight = 0.5f;      // output weight of lines 0-3
constexpr float kOuterTapSlope = 0.5f;       // lines 4-7 weigh this much more at "Density" 100 %
constexpr float kOutputGain = 0.23f;
constexpr float kVintageSteps = 8192.0f; // Vintage Digital's late steps per unit

// The shimmer amount Y: "Shimmer Amount" / 100 for the Shimmer model, else 0.
float ShimmerAmount(ReverbModel model, const EngineParameters& current)
{
    return model == ReverbModel::Shimmer ? current[ParamId::ShimmerAmount] * 0.01f : 0.0f;
}

// The output weight of line j, w_j (see the top of the header).
float TapWeight(int j, float density)
{
    return j < 4 ? kInnerTapWeight : kInnerTapWeight + density * kOuterTapSlope;
}

// One butterfly stage on the lane pairs (a, b): (a cos + b sin, a sin - b cos).
inline void Rotate(__m128& a, __m128& b, __m128 cs, __m128 sn)
{
    const __m128 na = _mm_add_ps(_mm_mul_ps(a, cs), _mm_mul_ps(b, sn));
    b = _mm_sub_ps(_mm_mul_ps(a, sn), _mm_mul_ps(b, cs));
    a = na;
}

} // namespace

FeedbackNetwork::FeedbackNetwork()
{
    for (int i = 0; i < kLines; ++i)
    {
        mOffsetSin[i] = static_cast<float>(std::sin(i * kLinePhaseOffset));
        mOffsetCos[i] = static_cast<float>(std::cos(i * kLinePhaseOffset));
    }
}

void FeedbackNetwork::Reset(ReverbModel model)
{
    mModel = model;
    mShifter.Reset();
    mShimmerReturn[0] = mShimmerReturn[1] = 0.0f;
    const int m = static_cast<int>(model);
    for (int j = 0; j < kLines; ++j)
    {
        mInjectLeft[j] = NetworkSignsLeft[(j + m) % kLines];
        mInjectRight[j] = NetworkSignsRight[(j + m) % kLines];
    }
}

void FeedbackNetwork::Update(const CoreSettings& settings)
{
    const float theta = settings.density * kMixAngleRange + kMinMixAngle;
    mRotationCos = std::cos(theta);
    mRotationSin = std::sin(theta);
}

StereoSample FeedbackNetwork::Step(FeedbackLines& lines,
                                   float dL,
                                   float dR,
                                   double phase,
                                   const CoreSettings& settings,
                                   const EngineParameters& current)
{
    const DelayBank& bank = lines.Bank();
    const float freeze = settings.freeze;
    const float shimmer = ShimmerAmount(mModel, current);
    const float trim = 1.0f - shimmer * kShimmerTrim * (1.0f - freeze);
    float o[kLines];
    float u[kLines];
    for (int i = 0; i < kLines; ++i)
    {
        const float sine = static_cast<float>(std::sin(i * kLinePhaseOffset + phase));
        const float d = std::max(
            std::min(sine * settings.depth + lines.CurrentLength(i), bank.MaxDelay()), 1.0f);
        o[i] = bank.ReadInRange(i, d);
    }
    for (int i = 0; i < kLines; ++i)
    {
        u[i] = lines.Damp(i, o[i], freeze) * trim;
    }
    const float cs = mRotationCos;
    const float sn = mRotationSin;
    for (int stride = 1; stride < kLines; stride *= 2)
    {
        for (int i = 0; i < kLines; ++i)
        {
            if ((i & stride) == 0)
            {
                const float a = u[i];
                const float b = u[i + stride];
                u[i] = a * cs + b * sn;
                u[i + stride] = a * sn - b * cs;
            }
        }
    }
    const float returnGain = kShimmerReturnGain * shimmer * (1.0f - freeze);
    float frame[kLines];
    for (int j = 0; j < kLines; ++j)
    {
        const float input = kInputGain * (dL * mInjectLeft[j] + dR * mInjectRight[j]);
        const float back = returnGain * (NetworkSignsLeft[j] * mShimmerReturn[0] +
                                         NetworkSignsRight[j] * mShimmerReturn[1]);
        frame[j] = input + back + u[j];
    }
    lines.Bank().Write(frame);
    float left = 0.0f;
    float right = 0.0f;
    for (int j = 0; j < kLines; ++j)
    {
        const float w = TapWeight(j, settings.density);
        left += NetworkSignsLeft[j] * w * o[j];
        right += NetworkSignsRight[j] * w * o[j];
    }
    return Finish({kOutputGain * left, kOutputGain * right}, shimmer);
}

StereoSample FeedbackNetwork::Finish(StereoSample late, float shimmer)
{
    if (mModel == ReverbModel::VintageDigital)
    {
        late.left = RoundHalfAway(late.left * kVintageSteps) / kVintageSteps;
        late.right = RoundHalfAway(late.right * kVintageSteps) / kVintageSteps;
    }
    else if (mModel == ReverbModel::Shimmer)
    {
        float shiftedL = 0.0f;
        float shiftedR = 0.0f;
        mShifter.Exchange(late.left, late.right, shiftedL, shiftedR);
        mShimmerReturn[0] = shiftedL;
        mShimmerReturn[1] = shiftedR;
        late.left = shiftedL * kShimmerWetGain * shimmer + (1.0f - shimmer) * late.left;
        late.right = shiftedR * kShimmerWetGain * shimmer + (1.0f - shimmer) * late.right;
    }
    return late;
}

void FeedbackNetwork::Run(FeedbackLines& lines,
                          const float* dL,
                          const float* dR,
                          const float* sines,
                          const float* cosines,
                          const CoreSettings& settings,
                          const EngineParameters& current,
                          float* lateL,
                          float* lateR,
                          int n)
{
    const float shimmer = ShimmerAmount(mModel, current);
    if (mModel == ReverbModel::Shimmer)
    {
        RunLoop<true>(lines, dL, dR, sines, cosines, settings, shimmer, lateL, lateR, n);
        return;
    }
    RunLoop<false>(lines, dL, dR, sines, cosines, settings, shimmer, lateL, lateR, n);
    if (mModel == ReverbModel::VintageDigital)
    {
        const __m128 steps = _mm_set1_ps(kVintageSteps);
        const __m128 step = _mm_set1_ps(1.0f / kVintageSteps);
        for (float* late : {lateL, lateR})
        {
            int t = 0;
            for (; t + 4 <= n; t += 4)
            {
                const __m128 x = _mm_mul_ps(_mm_loadu_ps(late + t), steps);
                _mm_storeu_ps(late + t, _mm_mul_ps(RoundHalfAway4(x), step));
            }
            for (; t < n; ++t)
            {
                late[t] = RoundHalfAway(late[t] * kVintageSteps) / kVintageSteps;
            }
        }
    }
}

void FeedbackNetwork::PlanReads(const FeedbackLines& lines,
                                const float* sines,
                                const float* cosines,
                                float depth,
                                BankRead4 (*reads)[2],
                                int n) const
{
    // Sample t reads every line at sin(p + offset) x depth + length, the sine by angle addition;
    // the write position advances by one per sample, and the written count with it up to the
    // capacity.
    const __m128 vdepth = _mm_set1_ps(depth);
    const __m128 offsetCos[2] = {_mm_loadu_ps(mOffsetCos), _mm_loadu_ps(mOffsetCos + 4)};
    const __m128 offsetSin[2] = {_mm_loadu_ps(mOffsetSin), _mm_loadu_ps(mOffsetSin + 4)};
    const __m128 length[2] = {_mm_loadu_ps(lines.CurrentLengths()),
                              _mm_loadu_ps(lines.CurrentLengths() + 4)};
    const __m128i laneOffsets[2] = {_mm_setr_epi32(0, 1, 2, 3), _mm_setr_epi32(4, 5, 6, 7)};
    for (int t = 0; t < n; ++t)
    {
        const __m128 vsp = _mm_set1_ps(sines[t]);
        const __m128 vcp = _mm_set1_ps(cosines[t]);
        for (int h = 0; h < 2; ++h)
        {
            const __m128 sine =
                _mm_add_ps(_mm_mul_ps(vsp, offsetCos[h]), _mm_mul_ps(vcp, offsetSin[h]));
            const __m128 delay = _mm_add_ps(_mm_mul_ps(sine, vdepth), length[h]);
            reads[t][h] = PlanBankRead4(lines.Bank(), delay, laneOffsets[h], _mm_set1_epi32(t));
        }
    }
}

template <bool kShimmer>
void FeedbackNetwork::RunLoop(FeedbackLines& lines,
                              const float* dL,
                              const float* dR,
                              const float* sines,
                              const float* cosines,
                              const CoreSettings& settings,
                              float shimmer,
                              float* lateL,
                              float* lateR,
                              int n)
{
    DelayBank& bank = lines.Bank();
    const float freeze = settings.freeze;
    const __m128 vfreeze = _mm_set1_ps(freeze);
    const __m128 trim = _mm_set1_ps(1.0f - shimmer * kShimmerTrim * (1.0f - freeze));
    const __m128 cs = _mm_set1_ps(mRotationCos);
    const __m128 sn = _mm_set1_ps(mRotationSin);
    const __m128 injectLeft[2] = {_mm_loadu_ps(mInjectLeft), _mm_loadu_ps(mInjectLeft + 4)};
    const __m128 injectRight[2] = {_mm_loadu_ps(mInjectRight), _mm_loadu_ps(mInjectRight + 4)};
    const __m128 inputGain = _mm_set1_ps(kInputGain);
    const __m128 signsLeft[2] = {_mm_loadu_ps(NetworkSignsLeft),
                                 _mm_loadu_ps(NetworkSignsLeft + 4)};
    const __m128 signsRight[2] = {_mm_loadu_ps(NetworkSignsRight),
                                  _mm_loadu_ps(NetworkSignsRight + 4)};
    float tapLeft[kLines];
    float tapRight[kLines];
    for (int j = 0; j < kLines; ++j)
    {
        tapLeft[j] = NetworkSignsLeft[j] * TapWeight(j, settings.density);
        tapRight[j] = NetworkSignsRight[j] * TapWeight(j, settings.density);
    }
    const __m128 tapsLeft[2] = {_mm_loadu_ps(tapLeft), _mm_loadu_ps(tapLeft + 4)};
    const __m128 tapsRight[2] = {_mm_loadu_ps(tapRight), _mm_loadu_ps(tapRight + 4)};
    const __m128 returnGain = _mm_set1_ps(kShimmerReturnGain * shimmer * (1.0f - freeze));
    const __m128 outputGain = _mm_set1_ps(kOutputGain);
    constexpr int kHalves[2][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}};
    DampLanes damp[2] = {lines.LoadDamp(kHalves[0]), lines.LoadDamp(kHalves[1])};
    float backL = mShimmerReturn[0];
    float backR = mShimmerReturn[1];

    // The reads of the whole block are planned first; lines may be shorter than the block, so
    // each sample gathers after the writes before it.
    BankRead4 reads[kCoreBlock][2];
    PlanReads(lines, sines, cosines, settings.depth, reads, n);

    const float* data = bank.Data();
    for (int t = 0; t < n; ++t)
    {
        const __m128 o[2] = {GatherBankRead4(data, reads[t][0]),
                             GatherBankRead4(data, reads[t][1])};
        __m128 u[2];
        for (int h = 0; h < 2; ++h)
        {
            const __m128 held = DampLanes::Hold(o[h], damp[h].Damp(o[h]), vfreeze);
            u[h] = kShimmer ? _mm_mul_ps(held, trim) : held;
        }

        // Three butterfly stages: strides 1, 2 and 4.
        __m128 a = _mm_shuffle_ps(u[0], u[1], _MM_SHUFFLE(2, 0, 2, 0)); // 0 2 4 6
        __m128 b = _mm_shuffle_ps(u[0], u[1], _MM_SHUFFLE(3, 1, 3, 1)); // 1 3 5 7
        Rotate(a, b, cs, sn);
        u[0] = _mm_unpacklo_ps(a, b);
        u[1] = _mm_unpackhi_ps(a, b);
        a = _mm_movelh_ps(u[0], u[1]); // 0 1 4 5
        b = _mm_movehl_ps(u[1], u[0]); // 2 3 6 7
        Rotate(a, b, cs, sn);
        u[0] = _mm_movelh_ps(a, b);
        u[1] = _mm_movehl_ps(b, a);
        Rotate(u[0], u[1], cs, sn);

        // Injection, shimmer return and the (sanitised) write of every line.
        const __m128 vdL = _mm_set1_ps(dL[t]);
        const __m128 vdR = _mm_set1_ps(dR[t]);
        float* frame = bank.NextFrame();
        for (int h = 0; h < 2; ++h)
        {
            __m128 input = _mm_mul_ps(
                inputGain,
                _mm_add_ps(_mm_mul_ps(vdL, injectLeft[h]), _mm_mul_ps(vdR, injectRight[h])));
            if constexpr (kShimmer)
            {
                const __m128 back =
                    _mm_mul_ps(returnGain,
                               _mm_add_ps(_mm_mul_ps(signsLeft[h], _mm_set1_ps(backL)),
                                          _mm_mul_ps(signsRight[h], _mm_set1_ps(backR))));
                input = _mm_add_ps(input, back);
            }
            _mm_storeu_ps(frame + 4 * h, Sanitize4(_mm_add_ps(input, u[h])));
        }
        bank.Advance();

        // Output taps: the modulated line outputs before damping.
        const __m128 left =
            _mm_add_ps(_mm_mul_ps(o[0], tapsLeft[0]), _mm_mul_ps(o[1], tapsLeft[1]));
        const __m128 right =
            _mm_add_ps(_mm_mul_ps(o[0], tapsRight[0]), _mm_mul_ps(o[1], tapsRight[1]));
        const __m128 pairs = _mm_add_ps(_mm_unpacklo_ps(left, right), _mm_unpackhi_ps(left, right));
        const __m128 sums = _mm_mul_ps(outputGain, _mm_add_ps(pairs, _mm_movehl_ps(pairs, pairs)));
        float late[2] = {_mm_cvtss_f32(sums),
                         _mm_cvtss_f32(_mm_shuffle_ps(sums, sums, _MM_SHUFFLE(1, 1, 1, 1)))};
        if constexpr (kShimmer)
        {
            mShifter.Exchange(late[0], late[1], backL, backR);
            late[0] = backL * kShimmerWetGain * shimmer + (1.0f - shimmer) * late[0];
            late[1] = backR * kShimmerWetGain * shimmer + (1.0f - shimmer) * late[1];
        }
        lateL[t] = late[0];
        lateR[t] = late[1];
    }
    lines.StoreDamp(damp[0], kHalves[0]);
    lines.StoreDamp(damp[1], kHalves[1]);
    mShimmerReturn[0] = backL;
    mShimmerReturn[1] = backR;
}

} // namespace lumenfall::engine
