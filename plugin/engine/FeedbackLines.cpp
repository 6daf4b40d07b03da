#include "plugin/engine/FeedbackLines.h"

#include "plugin/engine/DelayLine.h"
#include "plugin/engine/EngineMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace lumenfall::engine
{

namespace
{

constexpr double kLengthGlideSeconds = 0.008; // time constant of the length glide
constexpr double kArrived = 1e-6;             // samples from the target: the glide has ended
constexpr float kShortestLine = 2.0f;         // samples
constexpr double kDecadesPerDecay = 3.0;      // 60 dB of amplitude in "Decay" seconds
constexpr float kShortestDecay = 0.03f;       // s, the broadband decay time used at least
constexpr float kShortestBandDecay = 0.02f;   // s, the same for the bass and treble bands
constexpr float kMaxLoopGain = 0.99998f;      // the loop gain no band of a line exceeds
constexpr float kAmbienceDecayScale = 0.65f;  // Ambience decays in 0.65 x "Decay"
// The plate tank is two loops of two lines each; a loop lasts its two lines' base times plus
// its two allpasses (this much), times the size factor. s.
constexpr float kPlateAllpassSeconds = 0.022f;
// The spring's dispersion chain lengthens its loop by this much times the size factor. s.
constexpr float kSpringChainSeconds = 0.009f;

// powers[k] = 10^exponents[k] for k < count, four at a time (Pow10Lanes, Pow10's bits on either
// instruction set); the last group's spare lanes are computed and not used.
[[gnu::always_inline]] inline void Powers(const double* exponents, double* powers, int count)
{
    for (int h = 0; h < count; h += 4)
    {
        Doubles4 x;
        std::memcpy(&x, exponents + h, sizeof(x));
        const Doubles4 power = Pow10Lanes(x);
        std::memcpy(powers + h, &power, sizeof(power));
    }
}

void Powers4(const double* exponents, double* powers, int count)
{
    Powers(exponents, powers, count);
}

[[gnu::target("avx2")]] void Powers8(const double* exponents, double* powers, int count)
{
    Powers(exponents, powers, count);
}

} // namespace

bool FeedbackLines::Prepare(double sampleRate)
{
    mLengthSmoothing = static_cast<float>(Exp(-1.0 / (sampleRate * kLengthGlideSeconds)));
    FillPowers(mLengthSmoothing, mGlidePowers, kCoreBlock);
    return mBank.Resize(DelayLine::CapacityFor(sampleRate, kCapacitySeconds));
}

void FeedbackLines::Reset()
{
    mBank.Clear();
    std::fill(std::begin(mLow), std::end(mLow), 0.0f);
    std::fill(std::begin(mHigh), std::end(mHigh), 0.0f);
    std::fill(std::begin(mCurrentLength), std::end(mCurrentLength), 0.0f);
    std::fill(std::begin(mTargetLength), std::end(mTargetLength), 0.0f);
    std::fill(std::begin(mLengthOffset), std::end(mLengthOffset), 0.0);
}

void FeedbackLines::Update(const CoreSettings& settings, const EngineParameters& current)
{
    const double fs = settings.sampleRate;
    const double dampingKey[3] = {current[ParamId::BassCrossover], current[ParamId::HFDamping], fs};
    if (!mKeysValid || !std::equal(dampingKey, dampingKey + 3, mDampingKey))
    {
        std::copy(dampingKey, dampingKey + 3, mDampingKey);
        mBassCoefficient = OnePoleCoefficient(current[ParamId::BassCrossover], fs);
        mHFCoefficient = OnePoleCoefficient(current[ParamId::HFDamping], fs);
    }

    const float decay = current[ParamId::Decay] *
                        (settings.model == ReverbModel::Ambience ? kAmbienceDecayScale : 1.0f);
    const float bassDecay = decay * current[ParamId::BassDecay];
    const float trebleDecay = decay * current[ParamId::TrebleDecay];
    const double decayKey[4] = {fs, decay, bassDecay, trebleDecay};
    const bool decaysChanged = !mKeysValid || !std::equal(decayKey, decayKey + 4, mDecayKey);
    if (decaysChanged)
    {
        std::copy(decayKey, decayKey + 4, mDecayKey);
        // The decades a loop of one second loses: broadband, and the bass and treble bands'
        // more (or less) than that.
        const double broadband = -kDecadesPerDecay / std::max(decay, kShortestDecay);
        mDecadesPerSecond[0] = broadband;
        mDecadesPerSecond[1] =
            -kDecadesPerDecay / std::max(bassDecay, kShortestBandDecay) - broadband;
        mDecadesPerSecond[2] =
            -kDecadesPerDecay / std::max(trebleDecay, kShortestBandDecay) - broadband;
    }
    mKeysValid = true;
    FollowSize(settings, decaysChanged);
}

void FeedbackLines::UpdateSize(const CoreSettings& settings)
{
    FollowSize(settings, false);
}

void FeedbackLines::FollowSize(const CoreSettings& settings, bool decaysChanged)
{
    const double fs = settings.sampleRate;
    const float c = settings.size;
    const float* times = ModelLineTimes[static_cast<int>(settings.model)];
    const LateStructure structure = LateStructureOf(settings.model);
    // Every line's target from the size, four lines at a time, and the lines whose target moved.
    alignas(16) float targets[kLines];
    const Lanes4 rate = SplatLanes<Lanes4>(static_cast<float>(fs));
    unsigned moved = 0;
    for (int h = 0; h < kLines; h += 4)
    {
        const Lanes4 length = MaxLanes(RoundHalfAwayLanes(rate * LoadLanes<Lanes4>(times + h) * c),
                                       SplatLanes<Lanes4>(kShortestLine));
        StoreLanes(targets + h, length);
        const LaneMask<Lanes4> differs = length != LoadLanes<Lanes4>(mTargetLength + h);
        moved |= static_cast<unsigned>(_mm_movemask_ps(reinterpret_cast<__m128>(differs))) << h;
    }
    // A line's gains follow its loop time and the decays alone: only the lines whose loop time
    // changed are worked out again. The network's loops are its lines, so while "Size" glides
    // most refreshes find none or one of them moved; the plate's and the spring's loops follow
    // the size itself.
    const bool loopsFollowTheSize = structure != LateStructure::Network;
    const unsigned pending = decaysChanged || loopsFollowTheSize ? (1u << kLines) - 1 : moved;
    alignas(32) double loops[kLines];
    int changed[kLines];
    int count = 0;
    for (unsigned bits = pending; bits != 0; bits &= bits - 1)
    {
        const int i = __builtin_ctz(bits);
        const float target = targets[i];
        if ((moved >> i & 1u) != 0)
        {
            if (mTargetLength[i] == 0.0f)
            {
                // The first refresh after a reset: the line starts at its size.
                mCurrentLength[i] = target;
            }
            else
            {
                // The glide goes on from where it stands, towards the new target.
                mLengthOffset[i] = (mTargetLength[i] + mLengthOffset[i]) - target;
            }
            mTargetLength[i] = target;
        }
        // The time one pass around the line's loop takes, seconds.
        double loop = target / fs;
        if (structure == LateStructure::Plate)
        {
            loop = (i < 2 ? times[0] + times[1] + kPlateAllpassSeconds
                          : times[2] + times[3] + kPlateAllpassSeconds) *
                   c;
        }
        else if (structure == LateStructure::Spring)
        {
            loop = target / fs + kSpringChainSeconds * c;
        }
        if (decaysChanged || loop != mLoop[i])
        {
            loops[count] = loop;
            changed[count++] = i;
        }
        mLoop[i] = loop;
    }
    if (count == 0)
    {
        return;
    }
    // Each changed line's three powers side by side, so that one line takes one group of four:
    // k = 10^(-3 L / decay), and the band ratios b and t, the bands' powers over k, as powers of
    // their own (no division waits for k).
    alignas(32) double exponents[3 * kLines + 3];
    alignas(32) double powers[3 * kLines + 3];
    for (int m = 0; m < count; ++m)
    {
        for (int band = 0; band < 3; ++band)
        {
            exponents[3 * m + band] = loops[m] * mDecadesPerSecond[band];
        }
    }
    for (int k = 3 * count; k % 4 != 0; ++k)
    {
        exponents[k] = 0.0; // a spare lane of the last group
    }
    (settings.instructionSet == InstructionSet::Avx2 ? Powers8
                                                     : Powers4)(exponents, powers, 3 * count);
    for (int m = 0; m < count; ++m)
    {
        const int i = changed[m];
        const double k = powers[3 * m];
        const double b = powers[3 * m + 1];
        const double t = powers[3 * m + 2];
        const double peak = std::max(b, 1.0) * k * std::max(t, 1.0);
        mGains.gain[i] = static_cast<float>(peak > kMaxLoopGain ? k * kMaxLoopGain / peak : k);
        mGains.bassRatio[i] = static_cast<float>(b);
        mGains.trebleRatio[i] = static_cast<float>(t);
    }
}

void FeedbackLines::Glide()
{
    const double k = mLengthSmoothing;
    for (int i = 0; i < kLines; ++i)
    {
        double offset = mLengthOffset[i] * k;
        if (std::abs(offset) < kArrived)
        {
            offset = 0.0;
        }
        mLengthOffset[i] = offset;
        mCurrentLength[i] = static_cast<float>(mTargetLength[i] + offset);
    }
}

namespace
{

// Each line's lengths along a block (see GlideAlong), a group of lanes at a time.
template <class V>
[[gnu::always_inline]] inline void GlideLines(const double* offsets,
                                              const float* targets,
                                              const double* powers,
                                              double arrived,
                                              float* lengths,
                                              int n)
{
    for (int i = 0; i < FeedbackLines::kLines; ++i)
    {
        GlideAlongPowers<V>(targets[i], offsets[i], powers, arrived, lengths + i * kCoreBlock, n);
    }
}

void GlideLines4(const double* offsets,
                 const float* targets,
                 const double* powers,
                 double arrived,
                 float* lengths,
                 int n)
{
    GlideLines<Lanes4>(offsets, targets, powers, arrived, lengths, n);
}

[[gnu::target("avx2")]] void GlideLines8(const double* offsets,
                                         const float* targets,
                                         const double* powers,
                                         double arrived,
                                         float* lengths,
                                         int n)
{
    GlideLines<Lanes8>(offsets, targets, powers, arrived, lengths, n);
}

} // namespace

void FeedbackLines::GlideAlong(float* lengths, int n, int whole, InstructionSet instructionSet)
{
    // After t steps the offset is k^t times what it was (Glide's arithmetic but for the rounding
    // of k^t).
    (instructionSet == InstructionSet::Avx2 ? GlideLines8 : GlideLines4)(
        mLengthOffset, mTargetLength, mGlidePowers + 1, kArrived, lengths, n);
    for (int i = 0; i < kLines; ++i)
    {
        const double last = mLengthOffset[i] * mGlidePowers[n];
        mLengthOffset[i] = std::abs(last) < kArrived ? 0.0 : last;
        float* along = lengths + i * kCoreBlock;
        mCurrentLength[i] = along[n - 1];
        std::fill(along + n, along + whole, along[n - 1]);
    }
}

bool FeedbackLines::Settled() const
{
    for (int i = 0; i < kLines; ++i)
    {
        if (mLengthOffset[i] != 0.0)
        {
            return false;
        }
    }
    return true;
}

float FeedbackLines::Damp(int line, float x, float freeze)
{
    const float low = OnePoleStep(mLow[line], x, mBassCoefficient);
    const float d = x + (mGains.bassRatio[line] - 1.0f) * low;
    const float high = OnePoleStep(mHigh[line], d, mHFCoefficient);
    const float y = (high + mGains.trebleRatio[line] * (d - high)) * mGains.gain[line];
    return SanitizeSample(y + freeze * (x - y));
}

void FeedbackLines::DampAlong(
    int a, int b, const float* xa, const float* xb, float freeze, float* ya, float* yb, int n)
{
    const int lanes[4] = {a, b, -1, -1};
    Damping<Lanes4> damp = LoadDamp<Lanes4>(lanes);
    const Lanes4 hold = SplatLanes<Lanes4>(freeze);
    for (int t = 0; t < n; ++t)
    {
        const Lanes4 x = {xa[t], xb[t], 0.0f, 0.0f};
        const Lanes4 y = Damping<Lanes4>::Hold(x, damp.Damp(x), hold);
        ya[t] = y[0];
        yb[t] = y[1];
    }
    StoreDamp(damp, lanes);
}

void FeedbackLines::WriteFrames(const float* const* lanes, int count, int n)
{
    mBank.WriteLanes(lanes, count, n);
}

bool FeedbackLines::LongerThan(int lines, float reach, int n) const
{
    for (int i = 0; i < lines; ++i)
    {
        // A gliding length lies between where it stands and its target throughout the block.
        if (std::min(mCurrentLength[i], mTargetLength[i]) - reach < static_cast<float>(n + 2))
        {
            return false;
        }
    }
    return true;
}

} // namespace lumenfall::engine
