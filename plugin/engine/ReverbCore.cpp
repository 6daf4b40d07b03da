#include "plugin/engine/ReverbCore.h"

#include "plugin/engine/BlockWindow.h"
#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumenfall::engine
{

namespace
{

constexpr double kTwoPi = 6.283185307179586;
constexpr float kMaxLoopGain = 0.99998f;

float Get(const EngineParameters& p, ParamId id)
{
    return p[id];
}

/// Nearest whole number, halves away from zero.
float Nearest(float x)
{
    return RoundHalfAway(x);
}

/// exp(-2 pi f / fs) with f held to [10 Hz, 0.45 fs].
float OnePoleCoefficient(float hz, double fs)
{
    const double f = std::clamp(static_cast<double>(hz), 10.0, 0.45 * fs);
    return static_cast<float>(std::exp(-kTwoPi * f / fs));
}

float EarlyTimeScale(int model)
{
    switch (model)
    {
    case static_cast<int>(ReverbModel::Ambience):
        return 0.45f;
    case static_cast<int>(ReverbModel::SmallRoom):
        return 0.65f;
    case static_cast<int>(ReverbModel::Cathedral):
        return 1.7f;
    default:
        return 1.0f;
    }
}

#if defined(__SSE2__)

/// One butterfly stage on the lane pairs (a, b): (a cos + b sin, a sin - b cos).
inline void Rotate(__m128& a, __m128& b, __m128 cs, __m128 sn)
{
    const __m128 na = _mm_add_ps(_mm_mul_ps(a, cs), _mm_mul_ps(b, sn));
    b = _mm_sub_ps(_mm_mul_ps(a, sn), _mm_mul_ps(b, cs));
    a = na;
}

#endif

} // namespace

namespace
{

/// The envelope's constants for one setting: the gate and release in seconds, P and the level
/// the gate reaches at its end.
struct GateShape
{
    bool gated = false;
    bool reverse = false;
    double g = 0.0;
    double r = 0.0;
    double p = 1.0;
    double atGate = 1.0;
};

double DuringGate(const GateShape& s, double time)
{
    if (s.reverse)
    {
        return std::pow(std::clamp(time / s.g, 0.0, 1.0), 2.5 * s.p);
    }
    return std::pow(std::max(1.0 - 0.85 * time / s.g, 0.0), std::max(s.p - 1.0, 0.0));
}

GateShape MakeGateShape(int model, float gateLengthMs, float gateReleaseMs, float shape)
{
    GateShape s;
    s.gated = model == static_cast<int>(ReverbModel::Gated);
    s.reverse = model == static_cast<int>(ReverbModel::Reverse);
    if (!s.gated && !s.reverse)
    {
        return s; // the envelope is 1
    }
    s.g = gateLengthMs * 0.001f;
    s.r = gateReleaseMs * 0.001f;
    s.p = std::pow(2.0, shape * 0.02f);
    s.atGate = DuringGate(s, s.g);
    return s;
}

float EnvelopeAt(const GateShape& s, double t)
{
    if (!s.gated && !s.reverse)
    {
        return 1.0f;
    }
    const double release = t < s.g ? 1.0 : std::max(1.0 - (t - s.g) / s.r, 0.0);
    if (release == 0.0)
    {
        return 0.0f; // after the release, and before the first onset
    }
    if (s.gated && s.p <= 1.0)
    {
        return static_cast<float>(release); // flat gate: x^0 is 1
    }
    return static_cast<float>(t < s.g ? DuringGate(s, t) : s.atGate * release);
}

} // namespace

float GateEnvelope(int model, double t, float gateLengthMs, float gateReleaseMs, float shape)
{
    return EnvelopeAt(MakeGateShape(model, gateLengthMs, gateReleaseMs, shape), t);
}

ReverbCore::ReverbCore()
{
    for (int i = 0; i < kLines; ++i)
    {
        mNetworkSin[i] = static_cast<float>(std::sin(i * 1.618));
        mNetworkCos[i] = static_cast<float>(std::cos(i * 1.618));
    }
    for (int i = 0; i < 4; ++i)
    {
        mPlateSin[i] = static_cast<float>(std::sin(i * 1.47));
        mPlateCos[i] = static_cast<float>(std::cos(i * 1.47));
    }
}

ReverbCore::~ReverbCore() = default;

bool ReverbCore::Prepare(double sampleRate)
{
    mSampleRate = sampleRate;
    mLengthSmoothing = static_cast<float>(std::exp(-1.0 / (sampleRate * 0.008)));
    bool ok = true;
    ok = mLines.Resize(DelayLine::CapacityFor(sampleRate, 0.55)) && ok;
    for (DelayLine& line : mDiffusers)
    {
        ok = line.Resize(DelayLine::CapacityFor(sampleRate, 0.12)) && ok;
    }
    for (DelayLine& line : mEarly)
    {
        ok = line.Resize(DelayLine::CapacityFor(sampleRate, 0.52)) && ok;
    }
    mShimmer.Prepare();
    mShimmer.Reset();
    Reset(static_cast<int>(ReverbModel::Hall));
    return ok;
}

void ReverbCore::Reset(int model)
{
    mLines.Clear();
    for (DelayLine& line : mDiffusers)
    {
        line.Clear();
    }
    for (DelayLine& line : mEarly)
    {
        line.Clear();
    }
    mShimmer.Reset();
    std::fill(std::begin(mDampLow), std::end(mDampLow), 0.0f);
    std::fill(std::begin(mDampHigh), std::end(mDampHigh), 0.0f);
    std::fill(std::begin(mLowCutState), std::end(mLowCutState), 0.0f);
    std::fill(std::begin(mHighCutState), std::end(mHighCutState), 0.0f);
    std::fill(std::begin(mTiltState), std::end(mTiltState), 0.0f);
    std::fill(std::begin(mCurrentLength), std::end(mCurrentLength), 0.0f);
    std::fill(std::begin(mTargetLength), std::end(mTargetLength), 0.0f);
    std::fill(std::begin(mLengthState), std::end(mLengthState), 0.0);
    mLfoPhase = 0.0;
    mShimmerReturn[0] = mShimmerReturn[1] = 0.0f;
    mSamplesSinceOnset = kNoOnset;
    mModel = std::clamp(model, 0, 12);
    mEarlyTapsSize = -1.0f; // the taps depend on the model and the rate
    // The model number rotates which lines the input enters with which sign.
    for (int j = 0; j < kLines; ++j)
    {
        mInjectLeft[j] = NetworkSignsLeft[(j + mModel) % kLines];
        mInjectRight[j] = NetworkSignsRight[(j + mModel) % kLines];
    }
}

void ReverbCore::UpdateCoefficients(const EngineParameters& current)
{
    const double fs = mSampleRate;
    const float fsf = static_cast<float>(fs);
    const float theta = Get(current, ParamId::Density) * 0.01f * 0.6653982f + 0.12f;
    mRotationCos = std::cos(theta);
    mRotationSin = std::sin(theta);
    const float c = Get(current, ParamId::Size) * 0.01f * 0.75f + 0.25f;

    mBassCrossoverCoef = OnePoleCoefficient(Get(current, ParamId::BassCrossover), fs);
    mHFDampingCoef = OnePoleCoefficient(Get(current, ParamId::HFDamping), fs);
    mLowCutCoef = OnePoleCoefficient(Get(current, ParamId::LowCut), fs);
    mHighCutCoef = OnePoleCoefficient(Get(current, ParamId::HighCut), fs);
    mTiltCoef = OnePoleCoefficient(static_cast<float>(std::min(1800.0, 0.45 * fs)), fs);

    const float* times = ModelLineTimes[mModel];
    const bool plate = mModel == static_cast<int>(ReverbModel::Plate);
    const bool spring = mModel == static_cast<int>(ReverbModel::Spring);
    const float decay = Get(current, ParamId::Decay) *
                        (mModel == static_cast<int>(ReverbModel::Ambience) ? 0.65f : 1.0f);
    const float bassDecay = decay * Get(current, ParamId::BassDecay);
    const float trebleDecay = decay * Get(current, ParamId::TrebleDecay);
    for (int i = 0; i < kLines; ++i)
    {
        const float target = std::max(2.0f, Nearest(fsf * times[i] * c));
        if (mLengthState[i] == 0.0)
        {
            mCurrentLength[i] = target;
            mLengthState[i] = target;
        }
        double loop = target / fs;
        if (plate)
        {
            loop = (i < 2 ? times[0] + times[1] + 0.022f : times[2] + times[3] + 0.022f) * c;
        }
        else if (spring)
        {
            loop = target / fs + 0.009f * c;
        }
        const double k = std::pow(10.0, -3.0 * loop / std::max(decay, 0.03f));
        const double b = std::pow(10.0, -3.0 * loop / std::max(bassDecay, 0.02f)) / k;
        const double t = std::pow(10.0, -3.0 * loop / std::max(trebleDecay, 0.02f)) / k;
        const double peak = std::max(b, 1.0) * k * std::max(t, 1.0);
        mTargetLength[i] = target;
        mGain[i] = static_cast<float>(peak > kMaxLoopGain ? k * kMaxLoopGain / peak : k);
        mBassRatio[i] = static_cast<float>(b);
        mTrebleRatio[i] = static_cast<float>(t);
    }
}

float ReverbCore::DampFeedback(float x, int line, float freeze)
{
    const float low = SanitizeSample((mDampLow[line] - x) * mBassCrossoverCoef + x);
    mDampLow[line] = low;
    const float d = x + (mBassRatio[line] - 1.0f) * low;
    const float high = SanitizeSample((mDampHigh[line] - d) * mHFDampingCoef + d);
    mDampHigh[line] = high;
    const float y = (high + mTrebleRatio[line] * (d - high)) * mGain[line];
    return SanitizeSample(y + freeze * (x - y));
}

void ReverbCore::GlideLineLengths()
{
    const double k = mLengthSmoothing;
    for (int i = 0; i < kLines; ++i)
    {
        const double target = mTargetLength[i];
        double s = target + (mLengthState[i] - target) * k;
        if (std::abs(s - target) < 1e-6)
        {
            s = target;
        }
        mLengthState[i] = s;
        mCurrentLength[i] = static_cast<float>(s);
    }
}

StereoSample ReverbCore::EarlyReflections(float c)
{
    const float fs = static_cast<float>(mSampleRate);
    const float u = EarlyTimeScale(mModel);
    float left = 0.0f;
    float right = 0.0f;
    for (int k = 0; k < 16; ++k)
    {
        const float d = fs * EarlyTapTimes[k] * c * u + 1.0f;
        const float g = EarlyTapGains[k] * 0.19f * (k % 3 == 0 ? -1.0f : 1.0f);
        left += g * (0.78f * mEarly[0].Read(d) + 0.22f * mEarly[1].Read(1.071f * d));
        right += g * (0.78f * mEarly[1].Read(1.113f * d) + 0.22f * mEarly[0].Read(0.943f * d));
    }
    return {SanitizeSample(left), SanitizeSample(right)};
}

float ReverbCore::Diffuse(int firstLine, float x, float a, float e, float c, float offsetSeconds)
{
    const float fs = static_cast<float>(mSampleRate);
    for (int j = 0; j < 4; ++j)
    {
        DelayLine& line = mDiffusers[firstLine + j];
        const float delay = Nearest((j * 0.00217f + 0.0023f + offsetSeconds) * fs * c);
        const float v = line.Read(delay) - a * x;
        line.Write(a * v + x);
        const float y = SanitizeSample(v);
        x = e * y + (1.0f - e) * x;
    }
    return x;
}

void ReverbCore::PlateTank(float c, const EngineParameters& current, float* tank) const
{
    const float fs = static_cast<float>(mSampleRate);
    const float e = Get(current, ParamId::Diffusion) * 0.01f;
    const float scale = Get(current, ParamId::Density) * 0.01f * 0.5f + 0.75f;
    // nearest(fs x seconds x c x scale), multiplied in that order.
    tank[0] = Nearest(fs * 0.0097f * c * scale);
    tank[1] = Nearest(fs * 0.0121f * c * scale);
    tank[2] = Nearest(fs * 0.0173f * c * scale);
    tank[3] = Nearest(fs * 0.0191f * c * scale);
    tank[4] = e * 0.45f + 0.22f;
    tank[5] = e * 0.43f + 0.18f;
}

StereoSample ReverbCore::LatePlate(float dL,
                                   float dR,
                                   const float* sines,
                                   float depth,
                                   float c,
                                   float freeze,
                                   const EngineParameters& current,
                                   const float* tank)
{
    float own[6];
    if (tank == nullptr)
    {
        PlateTank(c, current, own);
        tank = own;
    }
    float o[4];
    for (int i = 0; i < 4; ++i)
    {
        o[i] = mLines.Read(i, sines[i] * depth + mCurrentLength[i]);
    }
    const float p = tank[4];
    const float q = tank[5];
    float frame[kLines] = {};
    frame[0] = AllpassStep(mDiffusers[8], DampFeedback(o[3], 0, freeze) + 0.45f * dL, tank[0], p);
    frame[2] = AllpassStep(mDiffusers[9], DampFeedback(o[1], 2, freeze) + 0.45f * dR, tank[1], p);
    frame[1] = AllpassStep(mDiffusers[10], o[0], tank[2], q);
    frame[3] = AllpassStep(mDiffusers[11], o[2], tank[3], q);
    mLines.Write(frame);
    return {(o[0] + o[1] - 0.35f * o[2]) * 0.42f, (o[2] + o[3] - 0.35f * o[0]) * 0.42f};
}

void ReverbCore::SpringChain(float c,
                             const EngineParameters& current,
                             float* delays,
                             float* coefficients) const
{
    const float fs = static_cast<float>(mSampleRate);
    const float e = Get(current, ParamId::Diffusion) * 0.01f;
    const float scale = Get(current, ParamId::Density) * 0.01f * 0.5f + 0.75f;
    for (int ch = 0; ch < 2; ++ch)
    {
        for (int n = 0; n < 6; ++n)
        {
            const float d = Nearest((n * 0.00029f + 0.00019f + ch * 0.000047f) * fs * c * scale);
            delays[ch * 6 + n] = std::max(std::min(d, mDiffusers[ch * 6 + n].MaxDelay()), 1.0f);
            coefficients[ch * 6 + n] = (e * 0.36f + 0.42f) - n * 0.018f;
        }
    }
}

StereoSample ReverbCore::LateSpring(float xL,
                                    float xR,
                                    float s0,
                                    float depth,
                                    float c,
                                    float freeze,
                                    const EngineParameters& current,
                                    const float* chain)
{
    float delays[12];
    float coefficients[12];
    if (chain == nullptr)
    {
        SpringChain(c, current, delays, coefficients);
    }
    const float* delay = chain != nullptr ? chain : delays;
    const float* coefficient = chain != nullptr ? chain + 12 : coefficients;
    float r[2];
    float frame[kLines] = {};
    for (int ch = 0; ch < 2; ++ch)
    {
        const float swing = ch == 0 ? 0.61f : -0.47f;
        const float o = mLines.Read(ch, mCurrentLength[ch] + s0 * depth * swing);
        const float f = DampFeedback(o, ch, freeze);
        float x = (ch == 0 ? xL : xR) * 0.48f * (1.0f - freeze) - f;
        for (int n = 0; n < 6; ++n)
        {
            DelayLine& line = mDiffusers[ch * 6 + n];
            const float a = coefficient[ch * 6 + n];
            // The chain's delays are whole numbers held in range by SpringChain.
            const float v = line.ReadInRange(delay[ch * 6 + n]) - a * x;
            line.Write(v * a + x);
            x = SanitizeSample(v);
        }
        frame[ch] = x;
        r[ch] = 0.7f * o;
    }
    mLines.Write(frame);
    return {r[0] + 0.18f * r[1], r[1] + 0.18f * r[0]};
}

#if defined(__SSE2__)

void ReverbCore::LatePlateBlock(const float* dL,
                                const float* dR,
                                const float* sines,
                                const float* cosines,
                                float depth,
                                float freeze,
                                const float* tank,
                                float* lateL,
                                float* lateR,
                                int n)
{
    // Lanes of the tank's allpasses: 0 and 1 the two loops' input allpasses (lines 8 and 9,
    // fed by the damped outputs of lines 3 and 1), 2 and 3 the allpasses of lines 0 and 2
    // (lines 10 and 11). The bank lanes they write: 0, 2, 1 and 3.
    DelayLine* allpass[4] = {&mDiffusers[8], &mDiffusers[9], &mDiffusers[10], &mDiffusers[11]};
    int whole[4];
    for (int k = 0; k < 4; ++k)
    {
        // AllpassStep's clamp; a whole delay reads one slot (weight 0 on the second).
        whole[k] = static_cast<int>(std::max(std::min(tank[k], allpass[k]->MaxDelay()), 1.0f));
    }
    const __m128 g = _mm_setr_ps(tank[4], tank[4], tank[5], tank[5]);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 vdepth = _mm_set1_ps(depth);
    const __m128 maxDelay = _mm_set1_ps(mLines.MaxDelay());
    const __m128 plateCos = _mm_loadu_ps(mPlateCos);
    const __m128 plateSin = _mm_loadu_ps(mPlateSin);
    const __m128 length = _mm_loadu_ps(mCurrentLength);
    const __m128 finiteLimit = _mm_set1_ps(3.40282347e38f);
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128i mask = _mm_set1_epi32(mLines.Mask());
    const __m128i oneInt = _mm_set1_epi32(1);
    const float* data = mLines.Data();
    // DampFeedback of lines 0 and 2 in lanes 0 and 1.
    const __m128 bass = _mm_set1_ps(mBassCrossoverCoef);
    const __m128 hf = _mm_set1_ps(mHFDampingCoef);
    const __m128 vfreeze = _mm_set1_ps(freeze);
    const __m128 bassRatio = _mm_sub_ps(_mm_setr_ps(mBassRatio[0], mBassRatio[2], 0.0f, 0.0f), one);
    const __m128 trebleRatio = _mm_setr_ps(mTrebleRatio[0], mTrebleRatio[2], 0.0f, 0.0f);
    const __m128 gain = _mm_setr_ps(mGain[0], mGain[2], 0.0f, 0.0f);
    __m128 dampLow = _mm_setr_ps(mDampLow[0], mDampLow[2], 0.0f, 0.0f);
    __m128 dampHigh = _mm_setr_ps(mDampHigh[0], mDampHigh[2], 0.0f, 0.0f);
    const __m128 feed = _mm_setr_ps(0.45f, 0.45f, 0.0f, 0.0f);
    for (int t = 0; t < n; ++t)
    {
        // DelayBank::Read on lanes 0-3 at sin(i 1.47 + phase) x depth + length.
        const __m128 s = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(sines[t]), plateCos),
                                    _mm_mul_ps(_mm_set1_ps(cosines[t]), plateSin));
        const __m128 delay = _mm_add_ps(_mm_mul_ps(s, vdepth), length);
        const __m128 finite = _mm_cmple_ps(_mm_and_ps(delay, absMask), finiteLimit);
        const __m128 held = _mm_max_ps(_mm_min_ps(delay, maxDelay), one);
        const __m128 d = _mm_or_ps(_mm_and_ps(finite, held), _mm_andnot_ps(finite, one));
        const __m128i lineWhole = _mm_cvttps_epi32(d);
        const __m128 wholeFloat = _mm_cvtepi32_ps(lineWhole);
        const __m128 f = _mm_sub_ps(d, wholeFloat);
        const __m128i position = _mm_set1_epi32(mLines.WritePosition());
        const __m128i first = _mm_and_si128(_mm_sub_epi32(position, lineWhole), mask);
        const __m128i second = _mm_and_si128(_mm_sub_epi32(first, oneInt), mask);
        alignas(16) int firstIndex[4];
        alignas(16) int secondIndex[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(firstIndex), _mm_slli_epi32(first, 3));
        _mm_store_si128(reinterpret_cast<__m128i*>(secondIndex), _mm_slli_epi32(second, 3));
        const __m128 near = _mm_setr_ps(data[firstIndex[0]],
                                        data[firstIndex[1] + 1],
                                        data[firstIndex[2] + 2],
                                        data[firstIndex[3] + 3]);
        const __m128 far = _mm_setr_ps(data[secondIndex[0]],
                                       data[secondIndex[1] + 1],
                                       data[secondIndex[2] + 2],
                                       data[secondIndex[3] + 3]);
        const __m128 written = _mm_set1_ps(static_cast<float>(mLines.Written()));
        const __m128 o = _mm_add_ps(
            _mm_mul_ps(_mm_sub_ps(one, f), _mm_and_ps(_mm_cmple_ps(wholeFloat, written), near)),
            _mm_mul_ps(f, _mm_and_ps(_mm_cmplt_ps(wholeFloat, written), far)));

        // The damped outputs of lines 3 and 1 (lanes 0 and 1), with the line states of 0 and 2.
        const __m128 x = _mm_shuffle_ps(o, o, _MM_SHUFFLE(3, 3, 1, 3));
        dampLow = Sanitize4(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(dampLow, x), bass), x));
        const __m128 band = _mm_add_ps(x, _mm_mul_ps(bassRatio, dampLow));
        dampHigh = Sanitize4(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(dampHigh, band), hf), band));
        const __m128 y = _mm_mul_ps(
            _mm_add_ps(dampHigh, _mm_mul_ps(trebleRatio, _mm_sub_ps(band, dampHigh))), gain);
        const __m128 damped = Sanitize4(_mm_add_ps(y, _mm_mul_ps(vfreeze, _mm_sub_ps(x, y))));

        // Allpass inputs: damped + 0.45 dL, damped + 0.45 dR, o0, o2.
        const __m128 dry = _mm_unpacklo_ps(_mm_set_ss(dL[t]), _mm_set_ss(dR[t]));
        const __m128 loops = _mm_add_ps(damped, _mm_mul_ps(feed, dry));
        const __m128 in = _mm_movelh_ps(loops, _mm_shuffle_ps(o, o, _MM_SHUFFLE(2, 0, 2, 0)));
        alignas(16) float slot[4];
        for (int k = 0; k < 4; ++k)
        {
            const DelayLine& line = *allpass[k];
            slot[k] = whole[k] <= line.Written()
                          ? line.Data()[(line.WritePosition() - whole[k]) & line.Mask()]
                          : 0.0f;
        }
        const __m128 v = _mm_sub_ps(_mm_load_ps(slot), _mm_mul_ps(g, in));
        alignas(16) float back[4];
        _mm_store_ps(back, Sanitize4(_mm_add_ps(in, _mm_mul_ps(g, v))));
        for (int k = 0; k < 4; ++k)
        {
            allpass[k]->WriteSanitized(back[k]);
        }
        const __m128 out = Sanitize4(v);
        float* frame = mLines.NextFrame();
        _mm_storeu_ps(frame, _mm_shuffle_ps(out, out, _MM_SHUFFLE(3, 1, 2, 0)));
        _mm_storeu_ps(frame + 4, _mm_setzero_ps());
        mLines.Advance();

        alignas(16) float lines[4];
        _mm_store_ps(lines, o);
        lateL[t] = (lines[0] + lines[1] - 0.35f * lines[2]) * 0.42f;
        lateR[t] = (lines[2] + lines[3] - 0.35f * lines[0]) * 0.42f;
    }
    alignas(16) float states[8];
    _mm_store_ps(states, dampLow);
    _mm_store_ps(states + 4, dampHigh);
    mDampLow[0] = states[0];
    mDampLow[2] = states[1];
    mDampHigh[0] = states[4];
    mDampHigh[2] = states[5];
}

#endif

void ReverbCore::LateSpringBlock(const float* xL,
                                 const float* xR,
                                 const float* s0,
                                 float depth,
                                 float freeze,
                                 const float* chain,
                                 float* lateL,
                                 float* lateR,
                                 int n)
{
    // The chain's delays are whole numbers in range (SpringChain), so each allpass reads one
    // slot: the interpolation of LateSpring has weight 0 on the second.
    int whole[12];
    for (int k = 0; k < 12; ++k)
    {
        whole[k] = static_cast<int>(chain[k]);
    }
    const float* coefficient = chain + 12;
    const float open = 1.0f - freeze;
#if defined(__SSE2__)
    // Lane 0 is the left channel (line 0 and allpasses 0-5), lane 1 the right (line 1, 6-11).
    // In pairs of samples, lanes 2 and 3 carry the next sample's channels.
    __m128 a[6];
    for (int k = 0; k < 6; ++k)
    {
        a[k] = _mm_setr_ps(coefficient[k], coefficient[6 + k], coefficient[k], coefficient[6 + k]);
    }
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 length = _mm_setr_ps(mCurrentLength[0], mCurrentLength[1], 0.0f, 0.0f);
    const __m128 swing = _mm_setr_ps(0.61f, -0.47f, 0.0f, 0.0f);
    const __m128 vdepth = _mm_set1_ps(depth);
    const __m128 maxDelay = _mm_set1_ps(mLines.MaxDelay());
    const __m128 bass = _mm_set1_ps(mBassCrossoverCoef);
    const __m128 hf = _mm_set1_ps(mHFDampingCoef);
    const __m128 vfreeze = _mm_set1_ps(freeze);
    const __m128 bassRatio = _mm_sub_ps(_mm_setr_ps(mBassRatio[0], mBassRatio[1], 0.0f, 0.0f), one);
    const __m128 trebleRatio = _mm_setr_ps(mTrebleRatio[0], mTrebleRatio[1], 0.0f, 0.0f);
    const __m128 gain = _mm_setr_ps(mGain[0], mGain[1], 0.0f, 0.0f);
    const __m128 drive = _mm_set1_ps(0.48f);
    const __m128 vopen = _mm_set1_ps(open);
    const __m128 finiteLimit = _mm_set1_ps(3.40282347e38f);
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 dampLow = _mm_setr_ps(mDampLow[0], mDampLow[1], 0.0f, 0.0f);
    __m128 dampHigh = _mm_setr_ps(mDampHigh[0], mDampHigh[1], 0.0f, 0.0f);
    const float* data = mLines.Data();
    const int mask = mLines.Mask();
    // DelayBank::Read on lanes 0 and 1 for sample t, `ahead` samples after the last write.
    const auto readLines = [&](int t, int ahead)
    {
        const __m128 delay =
            _mm_add_ps(length, _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(s0[t]), vdepth), swing));
        const __m128 finite = _mm_cmple_ps(_mm_and_ps(delay, absMask), finiteLimit);
        const __m128 held = _mm_max_ps(_mm_min_ps(delay, maxDelay), one);
        const __m128 d = _mm_or_ps(_mm_and_ps(finite, held), _mm_andnot_ps(finite, one));
        const __m128i wholeLine = _mm_cvttps_epi32(d);
        const __m128 wholeFloat = _mm_cvtepi32_ps(wholeLine);
        const __m128 f = _mm_sub_ps(d, wholeFloat);
        alignas(16) int lineWhole[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lineWhole), wholeLine);
        const int position = mLines.WritePosition() + ahead;
        const int first[2] = {(position - lineWhole[0]) & mask, (position - lineWhole[1]) & mask};
        const __m128 near = _mm_unpacklo_ps(_mm_set_ss(data[first[0] * kLines]),
                                            _mm_set_ss(data[first[1] * kLines + 1]));
        const __m128 far = _mm_unpacklo_ps(_mm_set_ss(data[((first[0] - 1) & mask) * kLines]),
                                           _mm_set_ss(data[((first[1] - 1) & mask) * kLines + 1]));
        const __m128 written =
            _mm_set1_ps(static_cast<float>(std::min(mLines.Written() + ahead, mLines.Capacity())));
        return _mm_add_ps(
            _mm_mul_ps(_mm_sub_ps(one, f), _mm_and_ps(_mm_cmple_ps(wholeFloat, written), near)),
            _mm_mul_ps(f, _mm_and_ps(_mm_cmplt_ps(wholeFloat, written), far)));
    };
    // DampFeedback on lines 0 and 1.
    const auto damp = [&](__m128 o)
    {
        dampLow = Sanitize4(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(dampLow, o), bass), o));
        const __m128 band = _mm_add_ps(o, _mm_mul_ps(bassRatio, dampLow));
        dampHigh = Sanitize4(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(dampHigh, band), hf), band));
        const __m128 y = _mm_mul_ps(
            _mm_add_ps(dampHigh, _mm_mul_ps(trebleRatio, _mm_sub_ps(band, dampHigh))), gain);
        return Sanitize4(_mm_add_ps(y, _mm_mul_ps(vfreeze, _mm_sub_ps(o, y))));
    };
    // The chain slot `whole` back, `ahead` samples after the line's last write.
    const auto slot = [](const DelayLine& line, int whole, int ahead)
    {
        const int written = std::min(line.Written() + ahead, line.Capacity());
        return whole <= written ? line.Data()[(line.WritePosition() + ahead - whole) & line.Mask()]
                                : 0.0f;
    };
    // The bank write of the chain outputs (lanes 0 and 1) and the late pair of sample t.
    const auto finish = [&](int t, __m128 o, __m128 x)
    {
        // The other six lanes carry silence; the chain outputs are sanitised already.
        float* frame = mLines.NextFrame();
        _mm_storeu_ps(frame, _mm_movelh_ps(x, _mm_setzero_ps()));
        _mm_storeu_ps(frame + 4, _mm_setzero_ps());
        mLines.Advance();
        const __m128 r = _mm_mul_ps(_mm_set1_ps(0.7f), o);
        const __m128 cross = _mm_shuffle_ps(r, r, _MM_SHUFFLE(0, 0, 0, 1));
        const __m128 late = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(0.18f), cross));
        _mm_store_ss(lateL + t, late);
        _mm_store_ss(lateR + t, _mm_shuffle_ps(late, late, _MM_SHUFFLE(1, 1, 1, 1)));
    };

    // Two samples at once when neither read of the second can see a write of the first: every
    // chain delay and both line delays at least 2.
    const int shortestChain = *std::min_element(whole, whole + 12);
    const bool pairs = shortestChain >= 2 && mCurrentLength[0] - std::fabs(depth) * 0.61f >= 3.0f &&
                       mCurrentLength[1] - std::fabs(depth) * 0.47f >= 3.0f;
    int t = 0;
    for (; pairs && t + 2 <= n; t += 2)
    {
        const __m128 o0 = readLines(t, 0);
        const __m128 f0 = damp(o0);
        const __m128 o1 = readLines(t + 1, 1);
        const __m128 f1 = damp(o1);
        const __m128 input = _mm_setr_ps(xL[t], xR[t], xL[t + 1], xR[t + 1]);
        __m128 x = _mm_sub_ps(_mm_mul_ps(_mm_mul_ps(input, drive), vopen), _mm_movelh_ps(f0, f1));
        for (int k = 0; k < 6; ++k)
        {
            DelayLine& left = mDiffusers[k];
            DelayLine& right = mDiffusers[6 + k];
            const __m128 stored = _mm_setr_ps(slot(left, whole[k], 0),
                                              slot(right, whole[6 + k], 0),
                                              slot(left, whole[k], 1),
                                              slot(right, whole[6 + k], 1));
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
        const __m128 o = readLines(t, 0);
        const __m128 feedback = damp(o);
        const __m128 input = _mm_unpacklo_ps(_mm_set_ss(xL[t]), _mm_set_ss(xR[t]));
        __m128 x = _mm_sub_ps(_mm_mul_ps(_mm_mul_ps(input, drive), vopen), feedback);
        for (int k = 0; k < 6; ++k)
        {
            DelayLine& left = mDiffusers[k];
            DelayLine& right = mDiffusers[6 + k];
            const __m128 v = _mm_sub_ps(_mm_unpacklo_ps(_mm_set_ss(slot(left, whole[k], 0)),
                                                        _mm_set_ss(slot(right, whole[6 + k], 0))),
                                        _mm_mul_ps(a[k], x));
            const __m128 back = Sanitize4(_mm_add_ps(_mm_mul_ps(v, a[k]), x));
            left.WriteSanitized(_mm_cvtss_f32(back));
            right.WriteSanitized(
                _mm_cvtss_f32(_mm_shuffle_ps(back, back, _MM_SHUFFLE(1, 1, 1, 1))));
            x = Sanitize4(v);
        }
        finish(t, o, x);
    }
    alignas(16) float states[8];
    _mm_store_ps(states, dampLow);
    _mm_store_ps(states + 4, dampHigh);
    mDampLow[0] = states[0];
    mDampLow[1] = states[1];
    mDampHigh[0] = states[4];
    mDampHigh[1] = states[5];
#else
    for (int t = 0; t < n; ++t)
    {
        float r[2];
        float out[2];
        for (int ch = 0; ch < 2; ++ch)
        {
            const float swing = ch == 0 ? 0.61f : -0.47f;
            const float o = mLines.Read(ch, mCurrentLength[ch] + s0[t] * depth * swing);
            const float f = DampFeedback(o, ch, freeze);
            float x = (ch == 0 ? xL[t] : xR[t]) * 0.48f * open - f;
            for (int k = ch * 6; k < ch * 6 + 6; ++k)
            {
                DelayLine& line = mDiffusers[k];
                const float a = coefficient[k];
                const float stored =
                    whole[k] <= line.Written()
                        ? line.Data()[(line.WritePosition() - whole[k]) & line.Mask()]
                        : 0.0f;
                const float v = stored - a * x;
                line.Write(v * a + x);
                x = SanitizeSample(v);
            }
            out[ch] = x;
            r[ch] = 0.7f * o;
        }
        float* frame = mLines.NextFrame();
        frame[0] = out[0];
        frame[1] = out[1];
        std::fill_n(frame + 2, kLines - 2, 0.0f);
        mLines.Advance();
        lateL[t] = r[0] + 0.18f * r[1];
        lateR[t] = r[1] + 0.18f * r[0];
    }
#endif
}

StereoSample ReverbCore::LateNetwork(float dL,
                                     float dR,
                                     const float* sines,
                                     float depth,
                                     float freeze,
                                     const EngineParameters& current)
{
    const float shimmer = mModel == static_cast<int>(ReverbModel::Shimmer)
                              ? Get(current, ParamId::ShimmerAmount) * 0.01f
                              : 0.0f;
    const float trim = 1.0f - shimmer * 0.12f * (1.0f - freeze);
    float o[kLines];
    float u[kLines];
    for (int i = 0; i < kLines; ++i)
    {
        const float d =
            std::max(std::min(sines[i] * depth + mCurrentLength[i], mLines.MaxDelay()), 1.0f);
        o[i] = mLines.ReadInRange(i, d);
    }
    // The damped feedback of every line (the steps of DampFeedback, side by side).
    const float bass = mBassCrossoverCoef;
    const float hf = mHFDampingCoef;
    for (int i = 0; i < kLines; ++i)
    {
        const float x = o[i];
        const float low = SanitizeSample((mDampLow[i] - x) * bass + x);
        mDampLow[i] = low;
        const float d = x + (mBassRatio[i] - 1.0f) * low;
        const float high = SanitizeSample((mDampHigh[i] - d) * hf + d);
        mDampHigh[i] = high;
        const float y = (high + mTrebleRatio[i] * (d - high)) * mGain[i];
        u[i] = SanitizeSample(y + freeze * (x - y)) * trim;
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
    const float returnGain = 0.025f * shimmer * (1.0f - freeze);
    float frame[kLines];
    for (int j = 0; j < kLines; ++j)
    {
        const float input = 0.16f * (dL * mInjectLeft[j] + dR * mInjectRight[j]);
        const float back = returnGain * (NetworkSignsLeft[j] * mShimmerReturn[0] +
                                         NetworkSignsRight[j] * mShimmerReturn[1]);
        frame[j] = input + back + u[j];
    }
    mLines.Write(frame);
    const float outer = 0.5f + Get(current, ParamId::Density) * 0.01f * 0.5f;
    float left = 0.0f;
    float right = 0.0f;
    for (int j = 0; j < kLines; ++j)
    {
        const float w = j < 4 ? 0.5f : outer;
        left += NetworkSignsLeft[j] * w * o[j];
        right += NetworkSignsRight[j] * w * o[j];
    }
    return FinishNetwork({0.23f * left, 0.23f * right}, shimmer);
}

StereoSample ReverbCore::FinishNetwork(StereoSample late, float shimmer)
{
    if (mModel == static_cast<int>(ReverbModel::VintageDigital))
    {
        late.left = RoundHalfAway(late.left * 8192.0f) / 8192.0f;
        late.right = RoundHalfAway(late.right * 8192.0f) / 8192.0f;
    }
    else if (mModel == static_cast<int>(ReverbModel::Shimmer))
    {
        float shiftedL = 0.0f;
        float shiftedR = 0.0f;
        mShimmer.Exchange(late.left, late.right, shiftedL, shiftedR);
        mShimmerReturn[0] = shiftedL;
        mShimmerReturn[1] = shiftedR;
        late.left = shiftedL * 1.2f * shimmer + (1.0f - shimmer) * late.left;
        late.right = shiftedR * 1.2f * shimmer + (1.0f - shimmer) * late.right;
    }
    return late;
}

#if defined(__SSE2__)

void ReverbCore::LateNetworkBlock(const float* dL,
                                  const float* dR,
                                  const float* sines,
                                  const float* cosines,
                                  float depth,
                                  float freeze,
                                  float shimmer,
                                  float* lateL,
                                  float* lateR,
                                  int n)
{
    // Once the lines are full every slot a read can reach is valid (reads stop at capacity - 2).
    // Without freeze the freeze blend y + 0 (x - y) is y, and without shimmer the trim is 1.
    using Run = void (ReverbCore::*)(const float*,
                                     const float*,
                                     const float*,
                                     const float*,
                                     float,
                                     float,
                                     float,
                                     float*,
                                     float*,
                                     int);
    static constexpr Run kRuns[2][2][2] = {
        {{&ReverbCore::LateNetworkRun<false, false, false>,
          &ReverbCore::LateNetworkRun<false, false, true>},
         {&ReverbCore::LateNetworkRun<false, true, false>,
          &ReverbCore::LateNetworkRun<false, true, true>}},
        {{&ReverbCore::LateNetworkRun<true, false, false>,
          &ReverbCore::LateNetworkRun<true, false, true>},
         {&ReverbCore::LateNetworkRun<true, true, false>,
          &ReverbCore::LateNetworkRun<true, true, true>}},
    };
    const bool shimmerModel = mModel == static_cast<int>(ReverbModel::Shimmer);
    const bool full = mLines.Written() >= mLines.Capacity();
    const Run run = kRuns[shimmerModel ? 1 : 0][full ? 1 : 0][freeze == 0.0f ? 1 : 0];
    (this->*run)(dL, dR, sines, cosines, depth, freeze, shimmer, lateL, lateR, n);
}

template <bool kShimmer, bool kFull, bool kOpen>
void ReverbCore::LateNetworkRun(const float* dL,
                                const float* dR,
                                const float* sines,
                                const float* cosines,
                                float depth,
                                float freeze,
                                float shimmer,
                                float* lateL,
                                float* lateR,
                                int n)
{
    const __m128 vdepth = _mm_set1_ps(depth);
    const __m128 maxDelay = _mm_set1_ps(mLines.MaxDelay());
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128i mask = _mm_set1_epi32(mLines.Mask());
    const __m128i oneInt = _mm_set1_epi32(1);
    const float* data = mLines.Data();
    const __m128 networkCos[2] = {_mm_loadu_ps(mNetworkCos), _mm_loadu_ps(mNetworkCos + 4)};
    const __m128 networkSin[2] = {_mm_loadu_ps(mNetworkSin), _mm_loadu_ps(mNetworkSin + 4)};
    const __m128 length[2] = {_mm_loadu_ps(mCurrentLength), _mm_loadu_ps(mCurrentLength + 4)};
    const __m128 bass = _mm_set1_ps(mBassCrossoverCoef);
    const __m128 hf = _mm_set1_ps(mHFDampingCoef);
    const __m128 vfreeze = _mm_set1_ps(freeze);
    const __m128 trim = _mm_set1_ps(1.0f - shimmer * 0.12f * (1.0f - freeze));
    const __m128 bassRatio[2] = {_mm_sub_ps(_mm_loadu_ps(mBassRatio), one),
                                 _mm_sub_ps(_mm_loadu_ps(mBassRatio + 4), one)};
    const __m128 trebleRatio[2] = {_mm_loadu_ps(mTrebleRatio), _mm_loadu_ps(mTrebleRatio + 4)};
    const __m128 gain[2] = {_mm_loadu_ps(mGain), _mm_loadu_ps(mGain + 4)};
    const __m128 cs = _mm_set1_ps(mRotationCos);
    const __m128 sn = _mm_set1_ps(mRotationSin);
    const __m128 injectLeft[2] = {_mm_loadu_ps(mInjectLeft), _mm_loadu_ps(mInjectLeft + 4)};
    const __m128 inputGain = _mm_set1_ps(0.16f);
    const __m128 injectRight[2] = {_mm_loadu_ps(mInjectRight), _mm_loadu_ps(mInjectRight + 4)};
    const __m128 signsLeft[2] = {_mm_loadu_ps(NetworkSignsLeft),
                                 _mm_loadu_ps(NetworkSignsLeft + 4)};
    const __m128 signsRight[2] = {_mm_loadu_ps(NetworkSignsRight),
                                  _mm_loadu_ps(NetworkSignsRight + 4)};
    const __m128 tapLeft[2] = {_mm_loadu_ps(mTapLeft), _mm_loadu_ps(mTapLeft + 4)};
    const __m128 tapRight[2] = {_mm_loadu_ps(mTapRight), _mm_loadu_ps(mTapRight + 4)};
    const __m128 returnGain = _mm_set1_ps(0.025f * shimmer * (1.0f - freeze));
    const __m128 lateGain = _mm_set1_ps(0.23f);
    __m128 dampLow[2] = {_mm_loadu_ps(mDampLow), _mm_loadu_ps(mDampLow + 4)};
    __m128 dampHigh[2] = {_mm_loadu_ps(mDampHigh), _mm_loadu_ps(mDampHigh + 4)};
    float backL = mShimmerReturn[0];
    float backR = mShimmerReturn[1];

    // The read positions of the whole block first (DelayBank::ReadInRange on every lane at
    // sin(i k + phase) x depth + length): the write position advances by one per sample, and
    // the written count with it up to the capacity.
    alignas(16) int firstIndex[kBlock][kLines];  // slot x 8 + lane
    alignas(16) int secondIndex[kBlock][kLines]; // the slot before it
    alignas(16) float fraction[kBlock][kLines];
    alignas(16) float nearValid[kBlock][kLines]; // all-ones masks of the valid slots
    alignas(16) float farValid[kBlock][kLines];
    {
        const __m128i laneOffset[2] = {_mm_setr_epi32(0, 1, 2, 3), _mm_setr_epi32(4, 5, 6, 7)};
        const int position = mLines.WritePosition();
        const int written = mLines.Written();
        for (int t = 0; t < n; ++t)
        {
            const __m128 vsp = _mm_set1_ps(sines[t]);
            const __m128 vcp = _mm_set1_ps(cosines[t]);
            const __m128i vposition = _mm_set1_epi32(position + t);
            const __m128 vwritten =
                _mm_set1_ps(static_cast<float>(std::min(written + t, mLines.Capacity())));
            for (int h = 0; h < 2; ++h)
            {
                const __m128 sine =
                    _mm_add_ps(_mm_mul_ps(vsp, networkCos[h]), _mm_mul_ps(vcp, networkSin[h]));
                const __m128 d = _mm_max_ps(
                    _mm_min_ps(_mm_add_ps(_mm_mul_ps(sine, vdepth), length[h]), maxDelay), one);
                const __m128i whole = _mm_cvttps_epi32(d);
                const __m128 wholeFloat = _mm_cvtepi32_ps(whole);
                const __m128i first = _mm_and_si128(_mm_sub_epi32(vposition, whole), mask);
                const __m128i second = _mm_and_si128(_mm_sub_epi32(first, oneInt), mask);
                _mm_store_si128(reinterpret_cast<__m128i*>(firstIndex[t] + 4 * h),
                                _mm_add_epi32(_mm_slli_epi32(first, 3), laneOffset[h]));
                _mm_store_si128(reinterpret_cast<__m128i*>(secondIndex[t] + 4 * h),
                                _mm_add_epi32(_mm_slli_epi32(second, 3), laneOffset[h]));
                _mm_store_ps(fraction[t] + 4 * h, _mm_sub_ps(d, wholeFloat));
                if constexpr (!kFull)
                {
                    _mm_store_ps(nearValid[t] + 4 * h, _mm_cmple_ps(wholeFloat, vwritten));
                    _mm_store_ps(farValid[t] + 4 * h, _mm_cmplt_ps(wholeFloat, vwritten));
                }
            }
        }
    }

    for (int t = 0; t < n; ++t)
    {
        __m128 o[2];
        for (int h = 0; h < 2; ++h)
        {
            const int* near = firstIndex[t] + 4 * h;
            const int* far = secondIndex[t] + 4 * h;
            const __m128 a =
                _mm_setr_ps(data[near[0]], data[near[1]], data[near[2]], data[near[3]]);
            const __m128 b = _mm_setr_ps(data[far[0]], data[far[1]], data[far[2]], data[far[3]]);
            const __m128 f = _mm_load_ps(fraction[t] + 4 * h);
            if constexpr (kFull)
            {
                o[h] = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(one, f), a), _mm_mul_ps(f, b));
            }
            else
            {
                const __m128 va = _mm_and_ps(_mm_load_ps(nearValid[t] + 4 * h), a);
                const __m128 vb = _mm_and_ps(_mm_load_ps(farValid[t] + 4 * h), b);
                o[h] = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(one, f), va), _mm_mul_ps(f, vb));
            }
        }

        // Damped feedback: the steps of DampFeedback on all lines at once.
        __m128 u[2];
        for (int h = 0; h < 2; ++h)
        {
            const __m128 x = o[h];
            dampLow[h] = Sanitize4(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(dampLow[h], x), bass), x));
            const __m128 d = _mm_add_ps(x, _mm_mul_ps(bassRatio[h], dampLow[h]));
            dampHigh[h] = Sanitize4(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(dampHigh[h], d), hf), d));
            const __m128 y = _mm_mul_ps(
                _mm_add_ps(dampHigh[h], _mm_mul_ps(trebleRatio[h], _mm_sub_ps(d, dampHigh[h]))),
                gain[h]);
            const __m128 held = kOpen ? y : _mm_add_ps(y, _mm_mul_ps(vfreeze, _mm_sub_ps(x, y)));
            u[h] = kShimmer ? _mm_mul_ps(Sanitize4(held), trim) : Sanitize4(held);
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
        float* frame = mLines.NextFrame();
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
        mLines.Advance();

        // Output taps: the modulated line outputs before damping.
        const __m128 left = _mm_add_ps(_mm_mul_ps(o[0], tapLeft[0]), _mm_mul_ps(o[1], tapLeft[1]));
        const __m128 right =
            _mm_add_ps(_mm_mul_ps(o[0], tapRight[0]), _mm_mul_ps(o[1], tapRight[1]));
        const __m128 pairs = _mm_add_ps(_mm_unpacklo_ps(left, right), _mm_unpackhi_ps(left, right));
        const __m128 sums = _mm_mul_ps(lateGain, _mm_add_ps(pairs, _mm_movehl_ps(pairs, pairs)));
        float late[2] = {_mm_cvtss_f32(sums),
                         _mm_cvtss_f32(_mm_shuffle_ps(sums, sums, _MM_SHUFFLE(1, 1, 1, 1)))};
        if constexpr (kShimmer)
        {
            mShimmer.Exchange(late[0], late[1], backL, backR);
            late[0] = backL * 1.2f * shimmer + (1.0f - shimmer) * late[0];
            late[1] = backR * 1.2f * shimmer + (1.0f - shimmer) * late[1];
        }
        lateL[t] = late[0];
        lateR[t] = late[1];
    }

    _mm_storeu_ps(mDampLow, dampLow[0]);
    _mm_storeu_ps(mDampLow + 4, dampLow[1]);
    _mm_storeu_ps(mDampHigh, dampHigh[0]);
    _mm_storeu_ps(mDampHigh + 4, dampHigh[1]);
    mShimmerReturn[0] = backL;
    mShimmerReturn[1] = backR;
}

void ReverbCore::OutputBlock(const float* lateL,
                             const float* lateR,
                             const float* earlyL,
                             const float* earlyR,
                             const float* envelope,
                             float* wetL,
                             float* wetR,
                             int n,
                             const EngineParameters& current)
{
    // Lane 0 is the left side, lane 1 the right: the steps of OutputStage side by side.
    const __m128 lateLevel = _mm_set1_ps(Get(current, ParamId::LateTail) * 0.01f);
    const __m128 earlyLevel = _mm_set1_ps(Get(current, ParamId::EarlyReflections) * 0.01f);
    const float tone = Get(current, ParamId::Tone) * 0.01f;
    // (h - k) tone 0.65 for tone >= 0; for tone < 0, (k - h) (-tone) 0.8, which is the same
    // product (h - k) tone times 0.8.
    const __m128 vtone = _mm_set1_ps(tone);
    const __m128 toneScale = _mm_set1_ps(tone >= 0.0f ? 0.65f : 0.8f);
    const __m128 lowCutCoef = _mm_set1_ps(mLowCutCoef);
    const __m128 highCutCoef = _mm_set1_ps(mHighCutCoef);
    const __m128 tiltCoef = _mm_set1_ps(mTiltCoef);
    __m128 lowState = _mm_setr_ps(mLowCutState[0], mLowCutState[1], 0.0f, 0.0f);
    __m128 highState = _mm_setr_ps(mHighCutState[0], mHighCutState[1], 0.0f, 0.0f);
    __m128 tiltState = _mm_setr_ps(mTiltState[0], mTiltState[1], 0.0f, 0.0f);
    for (int t = 0; t < n; ++t)
    {
        const __m128 late = _mm_unpacklo_ps(_mm_load_ss(lateL + t), _mm_load_ss(lateR + t));
        const __m128 early = _mm_unpacklo_ps(_mm_load_ss(earlyL + t), _mm_load_ss(earlyR + t));
        __m128 x = _mm_add_ps(_mm_mul_ps(late, lateLevel), _mm_mul_ps(early, earlyLevel));
        if (envelope != nullptr)
        {
            x = _mm_mul_ps(x, _mm_set1_ps(envelope[t]));
        }
        lowState = Sanitize4(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(lowState, x), lowCutCoef), x));
        x = _mm_sub_ps(x, lowState);
        highState = Sanitize4(_mm_add_ps(x, _mm_mul_ps(_mm_sub_ps(highState, x), highCutCoef)));
        const __m128 h = highState;
        tiltState = Sanitize4(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(tiltState, h), tiltCoef), h));
        const __m128 y = Sanitize4(
            _mm_add_ps(h, _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(h, tiltState), vtone), toneScale)));
        _mm_store_ss(wetL + t, y);
        _mm_store_ss(wetR + t, _mm_shuffle_ps(y, y, _MM_SHUFFLE(1, 1, 1, 1)));
    }
    alignas(16) float states[12];
    _mm_store_ps(states, lowState);
    _mm_store_ps(states + 4, highState);
    _mm_store_ps(states + 8, tiltState);
    mLowCutState[0] = states[0];
    mLowCutState[1] = states[1];
    mHighCutState[0] = states[4];
    mHighCutState[1] = states[5];
    mTiltState[0] = states[8];
    mTiltState[1] = states[9];
}

#endif

float ReverbCore::Envelope(float freeze, const EngineParameters& current) const
{
    if (mModel != static_cast<int>(ReverbModel::Gated) &&
        mModel != static_cast<int>(ReverbModel::Reverse))
    {
        return 1.0f;
    }
    const float m = GateEnvelope(mModel,
                                 static_cast<double>(mSamplesSinceOnset) / mSampleRate,
                                 Get(current, ParamId::GateLength),
                                 Get(current, ParamId::GateRelease),
                                 Get(current, ParamId::EnvelopeShape));
    return m + (1.0f - m) * freeze;
}

StereoSample ReverbCore::OutputStage(StereoSample late,
                                     StereoSample early,
                                     float envelope,
                                     const EngineParameters& current)
{
    const float lateLevel = Get(current, ParamId::LateTail) * 0.01f;
    const float earlyLevel = Get(current, ParamId::EarlyReflections) * 0.01f;
    const float tone = Get(current, ParamId::Tone) * 0.01f;
    const float in[2] = {late.left * lateLevel + early.left * earlyLevel,
                         late.right * lateLevel + early.right * earlyLevel};
    float out[2];
    for (int side = 0; side < 2; ++side)
    {
        float x = in[side] * envelope;
        const float l = SanitizeSample((mLowCutState[side] - x) * mLowCutCoef + x);
        mLowCutState[side] = l;
        x = x - l;
        const float h = SanitizeSample(x + (mHighCutState[side] - x) * mHighCutCoef);
        mHighCutState[side] = h;
        const float k = SanitizeSample((mTiltState[side] - h) * mTiltCoef + h);
        mTiltState[side] = k;
        const float y = tone >= 0.0f ? h + (h - k) * tone * 0.65f : h + (k - h) * (-tone) * 0.8f;
        out[side] = SanitizeSample(y);
    }
    return {out[0], out[1]};
}

StereoSample
ReverbCore::ProcessSample(float xL, float xR, const EngineParameters& current, bool onset)
{
    GlideLineLengths();
    if (onset)
    {
        mSamplesSinceOnset = 0;
    }
    else if (mSamplesSinceOnset < kNoOnset)
    {
        ++mSamplesSinceOnset;
    }
    const float freeze = Get(current, ParamId::Freeze);
    const float open = 1.0f - freeze;
    const float c = Get(current, ParamId::Size) * 0.01f * 0.75f + 0.25f;
    mEarly[0].Write(open * xL);
    mEarly[1].Write(open * xR);
    const StereoSample early = EarlyReflections(c);

    const bool spring = mModel == static_cast<int>(ReverbModel::Spring);
    const float e = Get(current, ParamId::Diffusion) * 0.01f;
    float dL = open * xL;
    float dR = open * xR;
    if (!spring)
    {
        const float a = e * 0.62f + 0.12f;
        dL = Diffuse(0, dL, a, e, c, 0.0f);
        dR = Diffuse(4, dR, a, e, c, 0.00043f);
    }

    const double fs = mSampleRate;
    const float depth =
        Get(current, ParamId::ModulationDepth) * 0.01f * static_cast<float>(fs) * 0.0014f * open;
    const float s0 = static_cast<float>(std::sin(mLfoPhase));
    mLfoPhase += Get(current, ParamId::ModulationRate) * kTwoPi / fs;
    if (mLfoPhase > kTwoPi)
    {
        mLfoPhase -= kTwoPi;
    }

    StereoSample late;
    float sines[kLines];
    if (mModel == static_cast<int>(ReverbModel::Plate))
    {
        for (int i = 0; i < 4; ++i)
        {
            sines[i] = static_cast<float>(std::sin(i * 1.47 + mLfoPhase));
        }
        late = LatePlate(dL, dR, sines, depth, c, freeze, current);
    }
    else if (spring)
    {
        late = LateSpring(xL, xR, s0, depth, c, freeze, current);
    }
    else
    {
        for (int i = 0; i < kLines; ++i)
        {
            sines[i] = static_cast<float>(std::sin(i * 1.618 + mLfoPhase));
        }
        late = LateNetwork(dL, dR, sines, depth, freeze, current);
    }
    return OutputStage(late, early, Envelope(freeze, current), current);
}

void ReverbCore::ProcessBlock(const float* xL,
                              const float* xR,
                              const std::uint8_t* onsets,
                              float* wetL,
                              float* wetR,
                              int n,
                              const EngineParameters& current)
{
    for (int done = 0; done < n;)
    {
        const int m = std::min(n - done, kBlock);
        if (BlockReady())
        {
            ProcessFast(xL + done,
                        xR + done,
                        onsets != nullptr ? onsets + done : nullptr,
                        wetL + done,
                        wetR + done,
                        m,
                        current);
        }
        else
        {
            for (int i = done; i < done + m; ++i)
            {
                const StereoSample w =
                    ProcessSample(xL[i], xR[i], current, onsets != nullptr && onsets[i] != 0);
                wetL[i] = w.left;
                wetR[i] = w.right;
            }
        }
        done += m;
    }
}

bool ReverbCore::BlockReady() const
{
    // The block form skips the length glide, so the lengths must have arrived.
    for (int i = 0; i < kLines; ++i)
    {
        if (mLengthState[i] != static_cast<double>(mTargetLength[i]))
        {
            return false;
        }
    }
    return true;
}

void ReverbCore::UpdateEarlyTaps(float c)
{
    const float fs = static_cast<float>(mSampleRate);
    const float u = EarlyTimeScale(mModel);
    // Both lines have one capacity, so one clamp serves every tap.
    const float maxDelay = mEarly[0].MaxDelay();
    const auto set = [&](int index, float delay, float gain)
    {
        const float d = std::max(std::min(delay, maxDelay), 1.0f);
        const int whole = static_cast<int>(d);
        const float f = d - static_cast<float>(whole);
        mEarlyWhole[index] = whole;
        mEarlyNear[index] = gain * (1.0f - f);
        mEarlyFar[index] = gain * f;
    };
    for (int k = 0; k < 16; ++k)
    {
        const float d = fs * EarlyTapTimes[k] * c * u + 1.0f;
        const float g = EarlyTapGains[k] * 0.19f * (k % 3 == 0 ? -1.0f : 1.0f);
        set(2 * k, d, g * 0.78f);
        set(2 * k + 1, 1.071f * d, g * 0.22f);
        set(32 + 2 * k, 0.943f * d, g * 0.22f);
        set(32 + 2 * k + 1, 1.113f * d, g * 0.78f);
    }
    mEarlyMaxWhole = *std::max_element(std::begin(mEarlyWhole), std::end(mEarlyWhole));
    mEarlyTapsSize = c;
}

void ReverbCore::EarlyBlock(
    const float* xL, const float* xR, float open, float c, float* earlyL, float* earlyR, int n)
{
    // Samples written before the block: a read of whole delay n at block sample t is valid
    // when n <= min(before + t + 1, capacity), its second slot when n + 1 is.
    const int before[2] = {mEarly[0].Written(), mEarly[1].Written()};
    {
        float fed[2][kBlock];
        int t = 0;
#if defined(__SSE2__)
        const __m128 vopen = _mm_set1_ps(open);
        for (; t + 4 <= n; t += 4)
        {
            _mm_storeu_ps(fed[0] + t, Sanitize4(_mm_mul_ps(vopen, _mm_loadu_ps(xL + t))));
            _mm_storeu_ps(fed[1] + t, Sanitize4(_mm_mul_ps(vopen, _mm_loadu_ps(xR + t))));
        }
#endif
        for (; t < n; ++t)
        {
            fed[0][t] = SanitizeSample(open * xL[t]);
            fed[1][t] = SanitizeSample(open * xR[t]);
        }
        std::fill_n(earlyL, n, 0.0f);
        std::fill_n(earlyR, n, 0.0f);
        mEarly[0].WriteBlockSanitized(fed[0], n);
        mEarly[1].WriteBlockSanitized(fed[1], n);
    }
    if (c != mEarlyTapsSize)
    {
        UpdateEarlyTaps(c);
    }
    // After the writes, sample t's read of whole delay w sees slot (P - n + 1 + t - w) and the
    // one before it, P being the position after the block: window[t + 1] and window[t] of the
    // n + 1 slots from P - n - w.
    // The taps that read only written slots, per output: window and gains.
    const float* windows[2][kEarlyTaps / 2];
    float nearGain[2][kEarlyTaps / 2];
    float farGain[2][kEarlyTaps / 2];
    int count[2] = {0, 0};
    float scratch[kEarlyTaps][kBlock + 1];
    const bool settled = std::min(before[0], before[1]) >= mEarlyMaxWhole;
    if (settled)
    {
        // Every tap reads written slots only (the common case): no checks, gains in place. The
        // lines' fields are read once (stores of the window pointers could alias them).
        const float* data[2] = {mEarly[0].Data(), mEarly[1].Data()};
        const int mask[2] = {mEarly[0].Mask(), mEarly[1].Mask()};
        const int first[2] = {mEarly[0].WritePosition() - n, mEarly[1].WritePosition() - n};
        for (int out = 0; out < 2; ++out)
        {
            for (int j = 0; j < kEarlyTaps / 2; ++j)
            {
                const int i = kEarlyTaps / 2 * out + j;
                const int side = i & 1;
                const int start = (first[side] - mEarlyWhole[i]) & mask[side];
                windows[out][j] = start + n + 1 <= mask[side] + 1
                                      ? data[side] + start
                                      : BlockWindow(mEarly[side], start, n + 1, scratch[i]);
            }
        }
    }
    count[0] = count[1] = settled ? kEarlyTaps / 2 : 0;
    for (int i = 0; i < kEarlyTaps && !settled; ++i)
    {
        const int side = i & 1;
        const int out = i / 32;
        const DelayLine& line = mEarly[side];
        const int whole = mEarlyWhole[i];
        const int written = before[side];
        if (whole > written + n)
        {
            continue; // nothing this far back has been written since the last clear
        }
        const float* w = BlockWindow(line, line.WritePosition() - n - whole, n + 1, scratch[i]);
        if (whole <= written)
        {
            windows[out][count[out]] = w;
            nearGain[out][count[out]] = mEarlyNear[i];
            farGain[out][count[out]] = mEarlyFar[i];
            ++count[out];
            continue;
        }
        // Reaches back to the start of what was written: per sample, with the valid rule.
        float* acc = out == 0 ? earlyL : earlyR;
        for (int t = 0; t < n; ++t)
        {
            const int valid = std::min(written + t + 1, line.Capacity());
            const float a = whole <= valid ? w[t + 1] : 0.0f;
            const float b = whole < valid ? w[t] : 0.0f;
            acc[t] += mEarlyNear[i] * a + mEarlyFar[i] * b;
        }
    }
    for (int out = 0; out < 2; ++out)
    {
        float* acc = out == 0 ? earlyL : earlyR;
        const float* const* w = windows[out];
        const float* near = settled ? mEarlyNear + 32 * out : nearGain[out];
        const float* far = settled ? mEarlyFar + 32 * out : farGain[out];
        int t = 0;
#if defined(__SSE2__)
        // Every whole tap at once, the sums held in registers: a full block in one pass over
        // the taps, else eight samples per pass.
        if (n == kBlock)
        {
            __m128 sum[kBlock / 4];
            for (int q = 0; q < kBlock / 4; ++q)
            {
                sum[q] = _mm_loadu_ps(acc + 4 * q);
            }
            for (int j = 0; j < count[out]; ++j)
            {
                const __m128 a = _mm_set1_ps(near[j]);
                const __m128 b = _mm_set1_ps(far[j]);
                const float* x = w[j];
                for (int q = 0; q < kBlock / 4; ++q)
                {
                    sum[q] = _mm_add_ps(sum[q],
                                        _mm_add_ps(_mm_mul_ps(a, _mm_loadu_ps(x + 4 * q + 1)),
                                                   _mm_mul_ps(b, _mm_loadu_ps(x + 4 * q))));
                }
            }
            for (int q = 0; q < kBlock / 4; ++q)
            {
                _mm_storeu_ps(acc + 4 * q, Sanitize4(sum[q]));
            }
            t = kBlock;
        }
        for (; t + 8 <= n; t += 8)
        {
            __m128 first = _mm_loadu_ps(acc + t);
            __m128 second = _mm_loadu_ps(acc + t + 4);
            for (int j = 0; j < count[out]; ++j)
            {
                const __m128 a = _mm_set1_ps(near[j]);
                const __m128 b = _mm_set1_ps(far[j]);
                const float* x = w[j] + t;
                first = _mm_add_ps(
                    first,
                    _mm_add_ps(_mm_mul_ps(a, _mm_loadu_ps(x + 1)), _mm_mul_ps(b, _mm_loadu_ps(x))));
                second = _mm_add_ps(second,
                                    _mm_add_ps(_mm_mul_ps(a, _mm_loadu_ps(x + 5)),
                                               _mm_mul_ps(b, _mm_loadu_ps(x + 4))));
            }
            _mm_storeu_ps(acc + t, Sanitize4(first));
            _mm_storeu_ps(acc + t + 4, Sanitize4(second));
        }
#endif
        for (; t < n; ++t)
        {
            float sum = acc[t];
            for (int j = 0; j < count[out]; ++j)
            {
                sum += near[j] * w[j][t + 1] + far[j] * w[j][t];
            }
            acc[t] = SanitizeSample(sum);
        }
    }
}

void ReverbCore::DiffuseBlock(
    int firstLine, float* x, float a, float e, float c, float offsetSeconds, int n)
{
    const float fs = static_cast<float>(mSampleRate);
    float v[kBlock];
    float stored[kBlock];
    float scratch[kBlock];
    for (int j = 0; j < 4; ++j)
    {
        DelayLine& line = mDiffusers[firstLine + j];
        const float delay = Nearest((j * 0.00217f + 0.0023f + offsetSeconds) * fs * c);
        const int whole = static_cast<int>(std::max(std::min(delay, line.MaxDelay()), 1.0f));
        // Each allpass is its own system: run it over the block, in pieces no longer than its
        // delay so that every read precedes the writes it could see.
        for (int t0 = 0; t0 < n; t0 += whole)
        {
            const int m = std::min(n - t0, whole);
            float* xs = x + t0;
            const float* w = BlockWindow(line, line.WritePosition() - whole, m, scratch);
            const int written = line.Written(); // a slot written since the last clear is valid
            if (whole <= written)
            {
                int k = 0;
#if defined(__SSE2__)
                const __m128 va = _mm_set1_ps(a);
                const __m128 ve = _mm_set1_ps(e);
                const __m128 vkeep = _mm_set1_ps(1.0f - e);
                for (; k + 4 <= m; k += 4)
                {
                    const __m128 in = _mm_loadu_ps(xs + k);
                    const __m128 y = _mm_sub_ps(_mm_loadu_ps(w + k), _mm_mul_ps(va, in));
                    _mm_storeu_ps(stored + k, Sanitize4(_mm_add_ps(_mm_mul_ps(va, y), in)));
                    _mm_storeu_ps(xs + k,
                                  _mm_add_ps(_mm_mul_ps(ve, Sanitize4(y)), _mm_mul_ps(vkeep, in)));
                }
#endif
                for (; k < m; ++k)
                {
                    const float y = w[k] - a * xs[k];
                    stored[k] = SanitizeSample(a * y + xs[k]);
                    xs[k] = e * SanitizeSample(y) + (1.0f - e) * xs[k];
                }
                line.WriteBlockSanitized(stored, m);
                continue;
            }
            else
            {
                for (int k = 0; k < m; ++k)
                {
                    v[k] = (whole <= written + k ? w[k] : 0.0f) - a * xs[k];
                }
            }
            for (int k = 0; k < m; ++k)
            {
                stored[k] = a * v[k] + xs[k];
            }
            line.WriteBlock(stored, m);
            for (int k = 0; k < m; ++k)
            {
                xs[k] = e * SanitizeSample(v[k]) + (1.0f - e) * xs[k];
            }
        }
    }
}

void ReverbCore::ProcessFast(const float* xL,
                             const float* xR,
                             const std::uint8_t* onsets,
                             float* wetL,
                             float* wetR,
                             int n,
                             const EngineParameters& current)
{
    const float freeze = Get(current, ParamId::Freeze);
    const float open = 1.0f - freeze;
    const float c = Get(current, ParamId::Size) * 0.01f * 0.75f + 0.25f;
    const float e = Get(current, ParamId::Diffusion) * 0.01f;
    const bool spring = mModel == static_cast<int>(ReverbModel::Spring);
    const bool plate = mModel == static_cast<int>(ReverbModel::Plate);

    float earlyL[kBlock];
    float earlyR[kBlock];
    EarlyBlock(xL, xR, open, c, earlyL, earlyR, n);

    float dL[kBlock];
    float dR[kBlock];
    for (int t = 0; t < n; ++t)
    {
        dL[t] = open * xL[t];
        dR[t] = open * xR[t];
    }
    if (!spring)
    {
        const float a = e * 0.62f + 0.12f;
        DiffuseBlock(0, dL, a, e, c, 0.0f, n);
        DiffuseBlock(4, dR, a, e, c, 0.00043f, n);
    }

    // LFO: the phase runs on exactly as per sample; the sines come from a rotating phasor
    // seeded once per block (angle addition gives the line phases).
    const double fs = mSampleRate;
    const float depth =
        Get(current, ParamId::ModulationDepth) * 0.01f * static_cast<float>(fs) * 0.0014f * open;
    const double step = Get(current, ParamId::ModulationRate) * kTwoPi / fs;
    float sinBefore[kBlock + 1];
    float cosBefore[kBlock + 1];
    {
        double sn = std::sin(mLfoPhase);
        double cs = std::cos(mLfoPhase);
        const double ss = std::sin(step);
        const double cc = std::cos(step);
        for (int t = 0; t <= n; ++t)
        {
            sinBefore[t] = static_cast<float>(sn);
            cosBefore[t] = static_cast<float>(cs);
            const double next = sn * cc + cs * ss;
            cs = cs * cc - sn * ss;
            sn = next;
        }
    }
    // The phase itself, as ProcessSample advances it.
    for (int t = 0; t < n; ++t)
    {
        mLfoPhase += step;
        if (mLfoPhase > kTwoPi)
        {
            mLfoPhase -= kTwoPi;
        }
    }

    const float shimmer = mModel == static_cast<int>(ReverbModel::Shimmer)
                              ? Get(current, ParamId::ShimmerAmount) * 0.01f
                              : 0.0f;
    const float outer = 0.5f + Get(current, ParamId::Density) * 0.01f * 0.5f;
    for (int j = 0; j < kLines; ++j)
    {
        const float w = j < 4 ? 0.5f : outer;
        mTapLeft[j] = NetworkSignsLeft[j] * w;
        mTapRight[j] = NetworkSignsRight[j] * w;
    }

    float lateL[kBlock];
    float lateR[kBlock];
    if (plate)
    {
        float plateTank[6];
        PlateTank(c, current, plateTank);
#if defined(__SSE2__)
        LatePlateBlock(
            dL, dR, sinBefore + 1, cosBefore + 1, depth, freeze, plateTank, lateL, lateR, n);
#else
        for (int t = 0; t < n; ++t)
        {
            float sines[4];
            for (int i = 0; i < 4; ++i)
            {
                sines[i] = sinBefore[t + 1] * mPlateCos[i] + cosBefore[t + 1] * mPlateSin[i];
            }
            const StereoSample late =
                LatePlate(dL[t], dR[t], sines, depth, c, freeze, current, plateTank);
            lateL[t] = late.left;
            lateR[t] = late.right;
        }
#endif
    }
    else if (spring)
    {
        float springChain[24];
        SpringChain(c, current, springChain, springChain + 12);
        LateSpringBlock(xL, xR, sinBefore, depth, freeze, springChain, lateL, lateR, n);
    }
    else
    {
#if defined(__SSE2__)
        LateNetworkBlock(
            dL, dR, sinBefore + 1, cosBefore + 1, depth, freeze, shimmer, lateL, lateR, n);
        if (mModel == static_cast<int>(ReverbModel::VintageDigital))
        {
            for (float* late : {lateL, lateR})
            {
                int t = 0;
                for (; t + 4 <= n; t += 4)
                {
                    _mm_storeu_ps(late + t,
                                  _mm_mul_ps(RoundHalfAway4(_mm_mul_ps(_mm_loadu_ps(late + t),
                                                                       _mm_set1_ps(8192.0f))),
                                             _mm_set1_ps(1.0f / 8192.0f)));
                }
                for (; t < n; ++t)
                {
                    late[t] = RoundHalfAway(late[t] * 8192.0f) / 8192.0f;
                }
            }
        }
#else
        for (int t = 0; t < n; ++t)
        {
            float sines[kLines];
            for (int i = 0; i < kLines; ++i)
            {
                sines[i] = sinBefore[t + 1] * mNetworkCos[i] + cosBefore[t + 1] * mNetworkSin[i];
            }
            const StereoSample late = LateNetwork(dL[t], dR[t], sines, depth, freeze, current);
            lateL[t] = late.left;
            lateR[t] = late.right;
        }
#endif
    }

    const bool enveloped = mModel == static_cast<int>(ReverbModel::Gated) ||
                           mModel == static_cast<int>(ReverbModel::Reverse);
    float envelope[kBlock];
    if (enveloped)
    {
        // Envelope() with the shape's constants worked out once for the block.
        const GateShape gate = MakeGateShape(mModel,
                                             Get(current, ParamId::GateLength),
                                             Get(current, ParamId::GateRelease),
                                             Get(current, ParamId::EnvelopeShape));
        for (int t = 0; t < n; ++t)
        {
            if (onsets != nullptr && onsets[t] != 0)
            {
                mSamplesSinceOnset = 0;
            }
            else if (mSamplesSinceOnset < kNoOnset)
            {
                ++mSamplesSinceOnset;
            }
            const float m = EnvelopeAt(gate, static_cast<double>(mSamplesSinceOnset) / mSampleRate);
            envelope[t] = m + (1.0f - m) * freeze;
        }
    }
    else
    {
        // Only the count: from the block's last onset, or on from where it stood.
        int last = n - 1;
        while (onsets != nullptr && last >= 0 && onsets[last] == 0)
        {
            --last;
        }
        if (onsets != nullptr && last >= 0)
        {
            mSamplesSinceOnset = n - 1 - last;
        }
        else
        {
            mSamplesSinceOnset =
                std::min(mSamplesSinceOnset + n, std::max(mSamplesSinceOnset, kNoOnset));
        }
    }
#if defined(__SSE2__)
    OutputBlock(
        lateL, lateR, earlyL, earlyR, enveloped ? envelope : nullptr, wetL, wetR, n, current);
#else
    for (int t = 0; t < n; ++t)
    {
        const StereoSample w = OutputStage(
            {lateL[t], lateR[t]}, {earlyL[t], earlyR[t]}, enveloped ? envelope[t] : 1.0f, current);
        wetL[t] = w.left;
        wetR[t] = w.right;
    }
#endif
}

} // namespace lumenfall::engine
