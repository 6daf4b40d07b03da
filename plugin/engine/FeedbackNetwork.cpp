#include "plugin/engine/FeedbackNetwork.h"

#include "plugin/engine/EngineMath.h"
#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>
#include <new>

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

// What the shimmer amount Y takes from the loop and feeds back into it, with the freeze amount F:
// the trim 1 - 0.12 Y (1 - F) on the damped line outputs and the gain 0.025 Y (1 - F) on the
// shimmer return.
struct ShimmerGains
{
    float trim;
    float returnGain;
};

[[gnu::always_inline]] inline ShimmerGains ShimmerGainsOf(float shimmer, float freeze)
{
    return {1.0f - shimmer * kShimmerTrim * (1.0f - freeze),
            kShimmerReturnGain * shimmer * (1.0f - freeze)};
}

// The shimmer's wet output: 1.2 Y shifted + (1 - Y) late, Y the shimmer amount.
[[gnu::always_inline]] inline float ShimmerBlend(float shifted, float late, float shimmer)
{
    return shifted * kShimmerWetGain * shimmer + (1.0f - shimmer) * late;
}

} // namespace

// The line outputs of a block.
struct BlockReads
{
    alignas(32) float outputs[kCoreBlock][kLines]; // read ahead: line i at sample t
    BankRead4 planned[kCoreBlock][2];              // else: lines 4h..4h + 3 of sample t
};

FeedbackNetwork::FeedbackNetwork()
{
    for (int i = 0; i < kLines; ++i)
    {
        double sine = 0.0;
        double cosine = 0.0;
        SinCos(i * kLinePhaseOffset, sine, cosine);
        mOffsetSin[i] = static_cast<float>(sine);
        mOffsetCos[i] = static_cast<float>(cosine);
    }
}

FeedbackNetwork::~FeedbackNetwork() = default;

bool FeedbackNetwork::Prepare()
{
    if (mReads == nullptr)
    {
        mReads.reset(new (std::nothrow) BlockReads);
    }
    return mReads != nullptr;
}

void FeedbackNetwork::Reset(ReverbModel model)
{
    mModel = model;
    if (model == ReverbModel::Shimmer)
    {
        mShifter.Reset(); // only Shimmer runs it (and clearing its frames takes a while)
    }
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
    if (theta == mRotationAngle)
    {
        return; // the refreshes while anything but "Density" moves
    }
    mRotationAngle = theta;
    double sine = 0.0;
    double cosine = 0.0;
    SinCos(theta, sine, cosine);
    mRotationCos = static_cast<float>(cosine);
    mRotationSin = static_cast<float>(sine);
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
    const ShimmerGains gains = ShimmerGainsOf(shimmer, freeze);
    float o[kLines];
    float u[kLines];
    for (int i = 0; i < kLines; ++i)
    {
        const float sine = static_cast<float>(Sin(i * kLinePhaseOffset + phase));
        const float d = std::max(
            std::min(sine * settings.depth + lines.CurrentLength(i), bank.MaxDelay()), 1.0f);
        o[i] = bank.ReadInRange(i, d);
    }
    for (int i = 0; i < kLines; ++i)
    {
        u[i] = lines.Damp(i, o[i], freeze) * gains.trim;
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
    float frame[kLines];
    for (int j = 0; j < kLines; ++j)
    {
        const float input = kInputGain * (dL * mInjectLeft[j] + dR * mInjectRight[j]);
        const float back = gains.returnGain * (NetworkSignsLeft[j] * mShimmerReturn[0] +
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
        late.left = ShimmerBlend(shiftedL, late.left, shimmer);
        late.right = ShimmerBlend(shiftedR, late.right, shimmer);
    }
    return late;
}

// The block form. Per block it reads every line along the block when all its reads come before
// the block's writes (the lines are longer than the block and filled that far); else it plans
// the reads and gathers them sample by sample after the writes before them. Then, sample by
// sample: damping, mixing, injection and the writes. Both steps are written once over the lane
// type and run in four lanes (SSE2) or eight (AVX2).

namespace
{

// Every read of an n-sample block at modulation depth `depth` (samples) reaches back past the
// block's first write, with a sample's margin for the rounding of the sines; `lengths` as in
// Run.
bool ReachesPastTheBlock(const FeedbackLines& lines, float depth, int n, const float* lengths)
{
    const float* length = lines.CurrentLengths();
    float shortest = *std::min_element(length, length + kLines);
    if (lengths != nullptr)
    {
        // Each length glides one way over the block: its shortest is at one end.
        for (int i = 0; i < kLines; ++i)
        {
            const float* along = lengths + i * kCoreBlock;
            shortest = std::min({shortest, along[0], along[n - 1]});
        }
    }
    return shortest - std::fabs(depth) >= static_cast<float>(n + 2);
}

// What the per-sample loop works on.
struct LoopArgs
{
    FeedbackLines* lines;
    ShimmerShifter* shifter;
    float* shimmerReturn; // the pair fed back, in and out
    const float* injectLeft;
    const float* injectRight;
    float rotationCos;
    float rotationSin;
    float freeze;
    float shimmer;
    const float* shimmers; // "Shimmer Amount" (percent) at each sample while it glides, else null
    float density;
    const float* densities; // "Density" (percent) at each sample while it glides, else null
    const float* dL;
    const float* dR;
    const BlockReads* reads;
    float* lateL;
    float* lateR;
    int n;
    // With refreshes inside the block: the lines' gains from sample g x gainsPeriod on in
    // gains[g]; else null.
    const FeedbackLines::LineGains* gains;
    int gainsPeriod;
};

// What the read-ahead works on.
struct ReadArgs
{
    const FeedbackLines* lines;
    const float* offsetSin;
    const float* offsetCos;
    const float* sines;
    const float* cosines;
    float depth;
    float density;
    const float* densities; // as in LoopArgs
    const float* lengths;   // the lines' lengths at each sample while they glide, else null
    BlockReads* reads;
    float* lateL;
    float* lateR;
    int n;
};

// The output taps: one late sample, or one per lane, summed as ((A0 + A2) + (A1 + A3)) x 0.23
// with A_k = w_k o_k + w_(k+4) o_(k+4).
template <class V>
[[gnu::always_inline]] inline V Taps(const V* o, const float* weights)
{
    V a[4];
    for (int k = 0; k < 4; ++k)
    {
        a[k] = o[k] * weights[k] + o[k + 4] * weights[k + 4];
    }
    return kOutputGain * ((a[0] + a[2]) + (a[1] + a[3]));
}

void TapWeights(float density, float* left, float* right)
{
    for (int j = 0; j < kLines; ++j)
    {
        left[j] = NetworkSignsLeft[j] * TapWeight(j, density);
        right[j] = NetworkSignsRight[j] * TapWeight(j, density);
    }
}

// Taps with each lane's own density (a sample's "Density" / 100 per lane), weighed as TapWeights.
template <class V>
[[gnu::always_inline]] inline V GlidingTaps(const V* o, V density, const float* signs)
{
    V a[4];
    for (int k = 0; k < 4; ++k)
    {
        const V outer = kInnerTapWeight + density * kOuterTapSlope;
        a[k] = o[k] * (signs[k] * kInnerTapWeight) + o[k + 4] * (signs[k + 4] * outer);
    }
    return kOutputGain * ((a[0] + a[2]) + (a[1] + a[3]));
}

// Line k's partner `kStride` lines apart, within one vector of lines.
template <class V, int kStride>
[[gnu::always_inline]] inline V Partner(V x)
{
    using M = LaneMask<V>;
    if constexpr (kLaneCount<V> == 4)
    {
        return kStride == 1 ? __builtin_shuffle(x, M{1, 0, 3, 2})
                            : __builtin_shuffle(x, M{2, 3, 0, 1});
    }
    else if constexpr (kStride == 1)
    {
        return __builtin_shuffle(x, M{1, 0, 3, 2, 5, 4, 7, 6});
    }
    else if constexpr (kStride == 2)
    {
        return __builtin_shuffle(x, M{2, 3, 0, 1, 6, 7, 4, 5});
    }
    else
    {
        return __builtin_shuffle(x, M{4, 5, 6, 7, 0, 1, 2, 3});
    }
}

// The three butterfly stages of the mix on the eight lines held in K vectors. A pair (a, b) of a
// stage becomes (a cos + b sin, a sin - b cos): line k gets u_k c_k + u_partner sin, with c_k the
// cosine, negated on the pair's second line.
template <class V>
struct Mixer
{
    static constexpr int K = kLines / kLaneCount<V>;
    V cosines[3][K];
    V sine;

    [[gnu::always_inline]] Mixer(float cs, float sn)
    {
        for (int stage = 0; stage < 3; ++stage)
        {
            for (int k = 0; k < K; ++k)
            {
                alignas(32) float c[kLaneCount<V>];
                for (int j = 0; j < kLaneCount<V>; ++j)
                {
                    c[j] = ((k * kLaneCount<V> + j) & (1 << stage)) != 0 ? -cs : cs;
                }
                cosines[stage][k] = LoadLanes<V>(c);
            }
        }
        sine = SplatLanes<V>(sn);
    }

    template <int kStage>
    [[gnu::always_inline]] void Stage(V* u) const
    {
        constexpr int kStride = 1 << kStage;
        V mixed[K];
        for (int k = 0; k < K; ++k)
        {
            V partner;
            if constexpr (kStride < kLaneCount<V>)
            {
                partner = Partner<V, kStride>(u[k]);
            }
            else
            {
                partner = u[k ^ (kStride / kLaneCount<V>)];
            }
            mixed[k] = u[k] * cosines[kStage][k] + partner * sine;
        }
        for (int k = 0; k < K; ++k)
        {
            u[k] = mixed[k];
        }
    }

    [[gnu::always_inline]] void Mix(V* u) const
    {
        Stage<0>(u);
        Stage<1>(u);
        Stage<2>(u);
    }
};

// Lines lines[0..7] of the bank at the samples of one group (one lane each) into sample order:
// outputs[t][line].
template <class V>
[[gnu::always_inline]] inline void ToSampleOrder(const V* line, float (*outputs)[kLines])
{
    using M = LaneMask<V>;
    if constexpr (kLaneCount<V> == 4)
    {
        for (int h = 0; h < 2; ++h)
        {
            const V* r = line + 4 * h;
            const V t0 = __builtin_shuffle(r[0], r[1], M{0, 4, 1, 5});
            const V t1 = __builtin_shuffle(r[0], r[1], M{2, 6, 3, 7});
            const V t2 = __builtin_shuffle(r[2], r[3], M{0, 4, 1, 5});
            const V t3 = __builtin_shuffle(r[2], r[3], M{2, 6, 3, 7});
            StoreLanes(outputs[0] + 4 * h, __builtin_shuffle(t0, t2, M{0, 1, 4, 5}));
            StoreLanes(outputs[1] + 4 * h, __builtin_shuffle(t0, t2, M{2, 3, 6, 7}));
            StoreLanes(outputs[2] + 4 * h, __builtin_shuffle(t1, t3, M{0, 1, 4, 5}));
            StoreLanes(outputs[3] + 4 * h, __builtin_shuffle(t1, t3, M{2, 3, 6, 7}));
        }
    }
    else
    {
        V t[8];
        V s[8];
        for (int k = 0; k < 4; ++k)
        {
            t[2 * k] = __builtin_shuffle(line[2 * k], line[2 * k + 1], M{0, 8, 1, 9, 4, 12, 5, 13});
            t[2 * k + 1] =
                __builtin_shuffle(line[2 * k], line[2 * k + 1], M{2, 10, 3, 11, 6, 14, 7, 15});
        }
        for (int k = 0; k < 2; ++k)
        {
            const V* a = t + 4 * k; // lines 4k..4k + 3
            s[4 * k] = __builtin_shuffle(a[0], a[2], M{0, 1, 8, 9, 4, 5, 12, 13});
            s[4 * k + 1] = __builtin_shuffle(a[0], a[2], M{2, 3, 10, 11, 6, 7, 14, 15});
            s[4 * k + 2] = __builtin_shuffle(a[1], a[3], M{0, 1, 8, 9, 4, 5, 12, 13});
            s[4 * k + 3] = __builtin_shuffle(a[1], a[3], M{2, 3, 10, 11, 6, 7, 14, 15});
        }
        for (int k = 0; k < 4; ++k)
        {
            StoreLanes(outputs[k], __builtin_shuffle(s[k], s[4 + k], M{0, 1, 2, 3, 8, 9, 10, 11}));
            StoreLanes(outputs[4 + k],
                       __builtin_shuffle(s[k], s[4 + k], M{4, 5, 6, 7, 12, 13, 14, 15}));
        }
    }
}

// Line i along the block into out[0..groups x L): its reads at sin(p + offset_i) x depth + L_i.
template <class V>
[[gnu::always_inline]] inline void ReadLine(const ReadArgs& a, int i, float* out, int groups)
{
    constexpr int L = kLaneCount<V>;
    const auto delayOf = [&](int g)
    {
        const V sine = LoadLanes<V>(a.sines + L * g) * a.offsetCos[i] +
                       LoadLanes<V>(a.cosines + L * g) * a.offsetSin[i];
        const V length = a.lengths != nullptr ? LoadLanes<V>(a.lengths + i * kCoreBlock + L * g)
                                              : SplatLanes<V>(a.lines->CurrentLength(i));
        return sine * a.depth + length;
    };
    ReadLineAlong<V>(a.lines->Bank(), i, delayOf, out, groups);
}

// Every line along the block, then the late pair and the outputs in sample order. False (and
// nothing read) unless every read of the block reaches back past its first write (with a
// sample's margin for the rounding of the sines).
template <class V>
[[gnu::always_inline]] inline bool ReadAhead(const ReadArgs& a)
{
    constexpr int L = kLaneCount<V>;
    if (!ReachesPastTheBlock(*a.lines, a.depth, a.n, a.lengths))
    {
        return false;
    }
    // Whole groups of L samples: those past n are read but never used.
    const int groups = (a.n + L - 1) / L;
    alignas(32) float along[kLines][kCoreBlock];
    for (int i = 0; i < kLines; ++i)
    {
        ReadLine<V>(a, i, along[i], groups);
    }
    float tapLeft[kLines];
    float tapRight[kLines];
    TapWeights(a.density, tapLeft, tapRight);
    alignas(32) float left[kCoreBlock];
    alignas(32) float right[kCoreBlock];
    for (int g = 0; g < groups; ++g)
    {
        V o[kLines];
        for (int i = 0; i < kLines; ++i)
        {
            o[i] = LoadLanes<V>(along[i] + L * g);
        }
        if (a.densities != nullptr)
        {
            const V density = LoadLanes<V>(a.densities + L * g) * 0.01f;
            StoreLanes(left + L * g, GlidingTaps(o, density, NetworkSignsLeft));
            StoreLanes(right + L * g, GlidingTaps(o, density, NetworkSignsRight));
        }
        else
        {
            StoreLanes(left + L * g, Taps(o, tapLeft));
            StoreLanes(right + L * g, Taps(o, tapRight));
        }
        ToSampleOrder(o, a.reads->outputs + L * g);
    }
    std::copy_n(left, a.n, a.lateL);
    std::copy_n(right, a.n, a.lateR);
    return true;
}

// Sample by sample: damping, mixing, injection, the shimmer return and the writes; the late pair
// from the read-ahead, or tapped here from the gathered outputs.
// What the per-sample loop reads in each group of L lanes (lines L k..L k + L - 1): the input
// and shimmer-return signs, the lines, and the output taps.
template <class V>
struct LaneConstants
{
    static constexpr int L = kLaneCount<V>;
    static constexpr int K = kLines / L;

    [[gnu::always_inline]] explicit LaneConstants(const LoopArgs& a)
    {
        for (int k = 0; k < K; ++k)
        {
            injectLeft[k] = LoadLanes<V>(a.injectLeft + L * k);
            injectRight[k] = LoadLanes<V>(a.injectRight + L * k);
            signsLeft[k] = LoadLanes<V>(NetworkSignsLeft + L * k);
            signsRight[k] = LoadLanes<V>(NetworkSignsRight + L * k);
            for (int j = 0; j < L; ++j)
            {
                laneLines[k][j] = L * k + j;
            }
        }
        TapWeights(a.density, tapLeft, tapRight);
        densities = a.densities;
    }

    // The late pair of sample t from its line outputs o.
    [[gnu::always_inline]] void Late(const V* o, int t, float* late) const
    {
        alignas(32) float outputs[kLines];
        for (int k = 0; k < K; ++k)
        {
            StoreLanes(outputs + L * k, o[k]);
        }
        if (densities != nullptr)
        {
            float left[kLines];
            float right[kLines];
            TapWeights(densities[t] * 0.01f, left, right);
            late[0] = Taps(outputs, left);
            late[1] = Taps(outputs, right);
            return;
        }
        late[0] = Taps(outputs, tapLeft);
        late[1] = Taps(outputs, tapRight);
    }

    V injectLeft[K];
    V injectRight[K];
    V signsLeft[K];
    V signsRight[K];
    int laneLines[K][L];
    float tapLeft[kLines];
    float tapRight[kLines];
    const float* densities;
};

// o = the line outputs of sample t: read ahead, or gathered where planned.
template <class V, bool kAhead>
[[gnu::always_inline]] inline void
LineOutputs(const BlockReads& reads, const DelayBank& bank, int t, V* o)
{
    constexpr int L = kLaneCount<V>;
    for (int k = 0; k < kLines / L; ++k)
    {
        if constexpr (kAhead)
        {
            o[k] = LoadLanes<V>(reads.outputs[t] + L * k);
        }
        else
        {
            o[k] = GatherBankRead4(bank.Data(), reads.planned[t][k]);
        }
    }
}

// u = the line outputs o damped (held where frozen), trimmed by the shimmer's share.
template <class V, bool kShimmer>
[[gnu::always_inline]] inline void Damp(const V* o, Damping<V>* damp, V freeze, float trim, V* u)
{
    for (int k = 0; k < kLines / kLaneCount<V>; ++k)
    {
        u[k] = Damping<V>::Hold(o[k], damp[k].Damp(o[k]), freeze);
        if constexpr (kShimmer)
        {
            u[k] = u[k] * trim;
        }
    }
}

// Whether the loop runs the shimmer, and with one amount for the block or each sample's own.
enum class ShimmerMode
{
    Off,
    Steady,
    Gliding,
};

template <class V, ShimmerMode kMode, bool kAhead>
[[gnu::always_inline]] inline void Loop(const LoopArgs& a)
{
    constexpr bool kShimmer = kMode != ShimmerMode::Off;
    constexpr int L = kLaneCount<V>;
    constexpr int K = kLines / L;
    static_assert(kAhead || L == 4, "the planned reads gather four lanes");
    FeedbackLines& lines = *a.lines;
    DelayBank& bank = lines.Bank();
    const V freeze = SplatLanes<V>(a.freeze);
    // The shimmer amount of sample t: the block's, or that sample's own while it glides (the
    // reference form reads it three times a sample: the trim, the return and the wet blend).
    const auto shimmerAt = [&a](int t)
    {
        if constexpr (kMode == ShimmerMode::Gliding)
        {
            return a.shimmers[t] * 0.01f;
        }
        return a.shimmer;
    };
    const ShimmerGains steady = ShimmerGainsOf(a.shimmer, a.freeze);
    const Mixer<V> mixer(a.rotationCos, a.rotationSin);
    const LaneConstants<V> c(a);
    Damping<V> damp[K];
    for (int k = 0; k < K; ++k)
    {
        damp[k] = lines.LoadDamp<V>(c.laneLines[k]);
    }
    float backL = a.shimmerReturn[0];
    float backR = a.shimmerReturn[1];
    const float* dL = a.dL;
    const float* dR = a.dR;
    float* lateL = a.lateL;
    float* lateR = a.lateR;
    const int n = a.n;
    // With every read done ahead the block's frames go into the lines together at its end; else
    // each frame is written before the next sample reads.
    alignas(32) float frames[kCoreBlock][kLines];
    // With every late pair known ahead, the shifter takes the block's pairs at once: sample t
    // injects the shifted pair of sample t - 1 (shifted[t]; shifted[0] is the last block's).
    alignas(32) float shiftedL[kCoreBlock + 1];
    alignas(32) float shiftedR[kCoreBlock + 1];
    if constexpr (kShimmer && kAhead)
    {
        shiftedL[0] = backL;
        shiftedR[0] = backR;
        a.shifter->ExchangeBlock(lateL, lateR, shiftedL + 1, shiftedR + 1, n);
    }

    // The sample at which the next refresh's gains take over (none: past the block).
    int nextGains = a.gains != nullptr ? 0 : n;
    const FeedbackLines::LineGains* gainsFrom = a.gains;
    for (int t = 0; t < n; ++t)
    {
        if (t == nextGains)
        {
            for (int k = 0; k < K; ++k)
            {
                FeedbackLines::SetGains(damp[k], *gainsFrom, c.laneLines[k]);
            }
            ++gainsFrom;
            nextGains += a.gainsPeriod;
        }
        V o[K];
        LineOutputs<V, kAhead>(*a.reads, bank, t, o);
        ShimmerGains gains = steady;
        if constexpr (kMode == ShimmerMode::Gliding)
        {
            gains = ShimmerGainsOf(shimmerAt(t), a.freeze);
        }
        V u[K];
        Damp<V, kShimmer>(o, damp, freeze, gains.trim, u);
        mixer.Mix(u);

        // Injection, shimmer return and the (sanitised) write of every line.
        float* frame = kAhead ? frames[t] : bank.NextFrame();
        for (int k = 0; k < K; ++k)
        {
            V input = kInputGain * (dL[t] * c.injectLeft[k] + dR[t] * c.injectRight[k]);
            if constexpr (kShimmer && kAhead)
            {
                input = input + gains.returnGain *
                                    (c.signsLeft[k] * shiftedL[t] + c.signsRight[k] * shiftedR[t]);
            }
            else if constexpr (kShimmer)
            {
                input =
                    input + gains.returnGain * (c.signsLeft[k] * backL + c.signsRight[k] * backR);
            }
            StoreLanes(frame + L * k, SanitizeLanes(input + u[k]));
        }
        if constexpr (!kAhead)
        {
            bank.Advance();
        }

        if constexpr (kAhead)
        {
            continue; // the late pair is known already (and the shifter has it)
        }
        float late[2];
        c.Late(o, t, late);
        if constexpr (kShimmer)
        {
            a.shifter->Exchange(late[0], late[1], backL, backR);
            const float shimmer = shimmerAt(t);
            late[0] = ShimmerBlend(backL, late[0], shimmer);
            late[1] = ShimmerBlend(backR, late[1], shimmer);
        }
        lateL[t] = late[0];
        lateR[t] = late[1];
    }
    if constexpr (kAhead)
    {
        bank.WriteFrames(frames, n);
    }
    if constexpr (kShimmer && kAhead)
    {
        for (int t = 0; t < n; ++t)
        {
            const float shimmer = shimmerAt(t);
            lateL[t] = ShimmerBlend(shiftedL[t + 1], lateL[t], shimmer);
            lateR[t] = ShimmerBlend(shiftedR[t + 1], lateR[t], shimmer);
        }
        backL = shiftedL[n];
        backR = shiftedR[n];
    }
    for (int k = 0; k < K; ++k)
    {
        lines.StoreDamp(damp[k], c.laneLines[k]);
    }
    a.shimmerReturn[0] = backL;
    a.shimmerReturn[1] = backR;
}

// The instruction-set entry points.
bool ReadAhead4(const ReadArgs& a)
{
    return ReadAhead<Lanes4>(a);
}

[[gnu::target("avx2")]] bool ReadAhead8(const ReadArgs& a)
{
    return ReadAhead<Lanes8>(a);
}

template <ShimmerMode kMode, bool kAhead>
void Loop4(const LoopArgs& a)
{
    Loop<Lanes4, kMode, kAhead>(a);
}

template <ShimmerMode kMode>
[[gnu::target("avx2")]] void Loop8(const LoopArgs& a)
{
    Loop<Lanes8, kMode, true>(a);
}

// The reads of every sample, planned: line i of sample t at sin(p + offset_i) x depth + L_i, the
// write position and the written count one further per sample.
void PlanReads(const ReadArgs& a)
{
    Lanes4 length[2] = {LoadLanes<Lanes4>(a.lines->CurrentLengths()),
                        LoadLanes<Lanes4>(a.lines->CurrentLengths() + 4)};
    const __m128i laneOffsets[2] = {_mm_setr_epi32(0, 1, 2, 3), _mm_setr_epi32(4, 5, 6, 7)};
    for (int t = 0; t < a.n; ++t)
    {
        if (a.lengths != nullptr)
        {
            for (int i = 0; i < kLines; ++i)
            {
                length[i / 4][i % 4] = a.lengths[i * kCoreBlock + t];
            }
        }
        for (int h = 0; h < 2; ++h)
        {
            const Lanes4 sine = a.sines[t] * LoadLanes<Lanes4>(a.offsetCos + 4 * h) +
                                a.cosines[t] * LoadLanes<Lanes4>(a.offsetSin + 4 * h);
            a.reads->planned[t][h] = PlanBankRead4(
                a.lines->Bank(), sine * a.depth + length[h], laneOffsets[h], _mm_set1_epi32(t));
        }
    }
}

} // namespace

bool FeedbackNetwork::ReadsAhead(const FeedbackLines& lines, const CoreSettings& settings, int n)
{
    return ReachesPastTheBlock(lines, settings.depth, n, nullptr);
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
                          int n,
                          const float* densities,
                          const float* lengths,
                          const float* shimmers,
                          const FeedbackLines::LineGains* gains,
                          int gainsPeriod)
{
    const bool wide = settings.instructionSet == InstructionSet::Avx2;
    mShifter.SetInstructionSet(settings.instructionSet);
    BlockReads& reads = *mReads;
    const ReadArgs read{&lines,
                        mOffsetSin,
                        mOffsetCos,
                        sines,
                        cosines,
                        settings.depth,
                        settings.density,
                        densities,
                        lengths,
                        &reads,
                        lateL,
                        lateR,
                        n};
    const bool ahead = wide ? ReadAhead8(read) : ReadAhead4(read);
    if (!ahead)
    {
        PlanReads(read);
    }
    const LoopArgs loop{&lines,
                        &mShifter,
                        mShimmerReturn,
                        mInjectLeft,
                        mInjectRight,
                        mRotationCos,
                        mRotationSin,
                        settings.freeze,
                        ShimmerAmount(mModel, current),
                        mModel == ReverbModel::Shimmer ? shimmers : nullptr,
                        settings.density,
                        densities,
                        dL,
                        dR,
                        &reads,
                        lateL,
                        lateR,
                        n,
                        gains,
                        gainsPeriod};
    const ShimmerMode mode = mModel != ReverbModel::Shimmer ? ShimmerMode::Off
                             : loop.shimmers != nullptr     ? ShimmerMode::Gliding
                                                            : ShimmerMode::Steady;
    using LoopForm = void (*)(const LoopArgs&);
    const auto pick = [mode](LoopForm off, LoopForm steady, LoopForm gliding) {
        return mode == ShimmerMode::Off ? off : mode == ShimmerMode::Steady ? steady : gliding;
    };
    if (!ahead)
    {
        pick(Loop4<ShimmerMode::Off, false>,
             Loop4<ShimmerMode::Steady, false>,
             Loop4<ShimmerMode::Gliding, false>)(loop);
    }
    else if (wide)
    {
        pick(Loop8<ShimmerMode::Off>, Loop8<ShimmerMode::Steady>, Loop8<ShimmerMode::Gliding>)(
            loop);
    }
    else
    {
        pick(Loop4<ShimmerMode::Off, true>,
             Loop4<ShimmerMode::Steady, true>,
             Loop4<ShimmerMode::Gliding, true>)(loop);
    }
    if (mModel == ReverbModel::VintageDigital)
    {
        for (float* late : {lateL, lateR})
        {
            int t = 0;
            for (; t + 4 <= n; t += 4)
            {
                const Lanes4 x = LoadLanes<Lanes4>(late + t) * kVintageSteps;
                StoreLanes(late + t, RoundHalfAwayLanes(x) * (1.0f / kVintageSteps));
            }
            for (; t < n; ++t)
            {
                late[t] = RoundHalfAway(late[t] * kVintageSteps) / kVintageSteps;
            }
        }
    }
}

} // namespace lumenfall::engine
