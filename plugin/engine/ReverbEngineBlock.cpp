// The block form: each stage over a whole segment in turn, four lanes at a time. It gives the
// output of the per-sample reference form (ReverbEngineReference.cpp) to float rounding.

#include "plugin/engine/ReverbEngineState.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace lumenfall::engine
{

// The block form over samples done..done + n - 1.
void ReverbEngineState::BlockSegment(
    const float* inL, const float* inR, float* const* outputs, int done, int n, BlockPeaks& peaks)
{
    // What the input stage and the cores read holds still over the segment, so they can
    // each run over the whole segment in turn; the output stage takes its parameters
    // sample by sample, and so do the cores' output levels while they glide.
    recorded = kOutputRowsMask;
    for (const ParamMask group : kCoreGlideGroups)
    {
        recorded |= (gliding & group) != 0 ? group : 0;
    }
    // Glides only start between segments: what holds still at the first sample holds throughout.
    const ParamMask moving = gliding;
    GlideSegment(n);
    RecordOutputParameters(n, moving);
    refreshCounter += static_cast<std::uint32_t>(n);
    InputBlock(
        inL != nullptr ? inL + done : nullptr, inR != nullptr ? inR + done : nullptr, n, peaks);
    // Without an onset in the segment the cores need not look for one.
    const std::uint8_t* onsets = anyOnset ? onset : nullptr;
    // The rows of the groups that glide, null for the others.
    const auto rowIf = [this](ParamMask group, float* row)
    { return (recorded & group) != 0 ? row : nullptr; };
    const OutputLevels levelsAt{lateTailAt, earlyAt, toneAt};
    const OutputLevels* levels = (recorded & kCoreOutputLevelMask) != 0 ? &levelsAt : nullptr;
    CoreGlides glidesAt{rowIf(kModulationMask, modulationRateAt),
                        rowIf(kModulationMask, modulationDepthAt),
                        rowIf(kDiffusionMask, diffusionAt),
                        rowIf(kDensityMask, densityAt),
                        rowIf(kSizeMask, sizeAt),
                        rowIf(kReadByGateMask, gateLengthAt),
                        rowIf(kReadByGateMask, gateReleaseAt),
                        rowIf(kReadByGateMask, envelopeShapeAt),
                        rowIf(kReadByShimmerMask, shimmerAt)};
    // A segment longer than a refresh period while "Size" glides starts at a refresh (see
    // BeginSegment); the core takes the ones inside it.
    const bool refreshesInside = (recorded & kSizeMask) != 0 && n > kRefreshPeriod;
    glidesAt.refreshPeriod = refreshesInside ? kRefreshPeriod : 0;
    const CoreGlides* glides =
        (recorded & ~(kOutputRowsMask | kCoreOutputLevelMask)) != 0 ? &glidesAt : nullptr;
    cores[activeCore].ProcessBlock(feedL, feedR, onsets, wetL, wetR, n, current, levels, glides);
    if (refreshesInside)
    {
        // What the last of them read, for the next refresh's comparison.
        coreRefreshKey[kCoreRefreshSizeKey] = sizeAt[(n - 1) / kRefreshPeriod * kRefreshPeriod];
    }
    const int fading = fadingCore >= 0 ? std::min(n, crossfadeRemaining) : 0;
    if (fading > 0)
    {
        cores[fadingCore].ProcessBlock(
            feedL, feedR, onsets, fadeL, fadeR, fading, current, levels, glides);
    }
    OutputBlock(fading, outputs, done, n, peaks);
}

// Every gliding parameter over samples 1..n - 1 of the segment (sample 0 took its step before),
// Smooth's steps but for the rounding of the powers of the coefficient (from a table, so that
// the samples need not wait for each other): the values into the parameter's row where the
// segment records it, and the last one as the current value.
void ReverbEngineState::GlideSegment(int n)
{
    for (ParamMask bits = gliding; bits != 0; bits &= bits - 1)
    {
        const int i = __builtin_ctzll(bits);
        const double offset = glideOffset[i];
        const double to = target[i];
        const double snap = snapDistance[i];
        if ((recorded & Bit(i)) != 0)
        {
            float* row = RecordedRow(i);
            row[0] = current[i];
            // Whole groups of four: the samples past the segment are never read.
            GlideAlongPowers<Lanes4>(
                to, offset, smoothingPowers + 1, snap, row + 1, (n - 1 + 3) / 4 * 4);
        }
        double last = offset * smoothingPowers[n - 1];
        if (std::abs(last) < snap)
        {
            last = 0.0;
            gliding &= ~Bit(i);
        }
        glideOffset[i] = last;
        current[i] = static_cast<float>(to + last);
    }
}

// Where the segment records parameter `index` (one in `recorded`): "Mix" and "Wet Solo" go to
// the wet and dry gains' rows, "Width" and "Ducking" to theirs, which RecordOutputParameters
// turns into the gains and factors; the values the cores follow while they glide to their own.
float* ReverbEngineState::RecordedRow(int index)
{
    switch (static_cast<ParamId>(index))
    {
    case ParamId::Mix:
        return wetGainAt;
    case ParamId::WetSolo:
        return dryGainAt;
    case ParamId::Width:
        return widthAt;
    case ParamId::Ducking:
        return duckingAt;
    case ParamId::LateTail:
        return lateTailAt;
    case ParamId::EarlyReflections:
        return earlyAt;
    case ParamId::Tone:
        return toneAt;
    case ParamId::ModulationRate:
        return modulationRateAt;
    case ParamId::ModulationDepth:
        return modulationDepthAt;
    case ParamId::Diffusion:
        return diffusionAt;
    case ParamId::Density:
        return densityAt;
    case ParamId::Size:
        return sizeAt;
    case ParamId::GateLength:
        return gateLengthAt;
    case ParamId::GateRelease:
        return gateReleaseAt;
    case ParamId::EnvelopeShape:
        return envelopeShapeAt;
    default:
        return shimmerAt;
    }
}

// The rows of the recorded parameters that held still over the segment (`moving` glided at its
// start), then the output stage's gains and factors from the rows of "Mix", "Wet Solo", "Width"
// and "Ducking" (or, where these held still, from their values).
void ReverbEngineState::RecordOutputParameters(int n, ParamMask moving)
{
    const ParamMask still = recorded & ~moving;
    for (ParamMask bits = still & ~kOutputRowsMask; bits != 0; bits &= bits - 1)
    {
        const int i = __builtin_ctzll(bits);
        std::fill_n(RecordedRow(i), n, current[i]);
    }
    if ((moving & kWetGainMask) != 0)
    {
        for (const ParamId id : {ParamId::Mix, ParamId::WetSolo})
        {
            if ((still & Bit(static_cast<int>(id))) != 0)
            {
                std::fill_n(RecordedRow(static_cast<int>(id)), n, current[id]);
            }
        }
        for (int t = 0; t < n; ++t)
        {
            const float m = wetGainAt[t] * 0.01f;
            const float wet = m + (1.0f - m) * dryGainAt[t];
            wetGainAt[t] = wet;
            dryGainAt[t] = 1.0f - wet;
        }
    }
    else
    {
        const float m = current[ParamId::Mix] * 0.01f;
        const float wet = m + (1.0f - m) * current[ParamId::WetSolo];
        std::fill_n(wetGainAt, n, wet);
        std::fill_n(dryGainAt, n, 1.0f - wet);
    }
    for (const ParamId id : {ParamId::Width, ParamId::Ducking})
    {
        float* row = RecordedRow(static_cast<int>(id));
        if ((moving & Bit(static_cast<int>(id))) != 0)
        {
            for (int t = 0; t < n; ++t)
            {
                row[t] *= 0.01f;
            }
        }
        else
        {
            std::fill_n(row, n, current[id] * 0.01f);
        }
    }
    duckingAtAll = (moving & Bit(static_cast<int>(ParamId::Ducking))) != 0
                       ? std::any_of(duckingAt, duckingAt + n, [](float d) { return d != 0.0f; })
                       : current[ParamId::Ducking] != 0.0f;
}

void ReverbEngineState::InputBlock(const float* inL, const float* inR, int n, BlockPeaks& peaks)
{
    // Settled: the bypass fade, the trims and the pre-delay hold still over the block, so
    // InputStep reduces to these passes (its fade and pre-delay glides are identities).
    float fL[kCoreBlock]; // sanitised, for the pre-delay
    float fR[kCoreBlock];
    float level[kCoreBlock]; // min(max(|L|, |R|), 64), the input follower's input
    ReadInput(inL, inR, n, fL, fR, level, peaks);
    FeedPreDelay(fL, fR, n);
    float q[kCoreBlock]; // max(|feedL|, |feedR|), the onset follower's input
    RunFollowers(level, q, n);
    // Bit t % 64 of word t / 64: sample t is loud enough and rises above the follower.
    std::uint64_t candidates[kCoreBlock / 64] = {};
    FindOnsetCandidates(q, n, candidates);
    MarkOnsets(candidates, n);
}

// dryL/dryR = the input with samples that are not finite as 0; fL/fR = the pre-delay's input
// (the gain applied to the input clamped to +-64, sanitised); level = the input follower's
// input. Raises peaks.input.
void ReverbEngineState::ReadInput(const float* inL,
                                  const float* inR,
                                  int n,
                                  float* fL,
                                  float* fR,
                                  float* level,
                                  BlockPeaks& peaks)
{
    const float g = static_cast<float>(1.0 - bypassFade) * inputGain;
    float peak = peaks.input;
    int t = 0;
    {
        const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        const __m128 largest = _mm_set1_ps(3.40282347e38f);
        const __m128 low = _mm_set1_ps(-kInputLimit);
        const __m128 high = _mm_set1_ps(kInputLimit);
        const __m128 gain = _mm_set1_ps(g);
        __m128 peak4 = _mm_setzero_ps();
        for (; t + 4 <= n; t += 4)
        {
            __m128 l = inL != nullptr ? _mm_loadu_ps(inL + t) : _mm_setzero_ps();
            __m128 r = inR != nullptr ? _mm_loadu_ps(inR + t) : _mm_setzero_ps();
            l = _mm_and_ps(l, _mm_cmple_ps(_mm_and_ps(l, absMask), largest)); // not finite: 0
            r = _mm_and_ps(r, _mm_cmple_ps(_mm_and_ps(r, absMask), largest));
            _mm_storeu_ps(dryL + t, l);
            _mm_storeu_ps(dryR + t, r);
            const __m128 m = _mm_max_ps(_mm_and_ps(l, absMask), _mm_and_ps(r, absMask));
            peak4 = _mm_max_ps(m, peak4);
            _mm_storeu_ps(level + t, _mm_min_ps(m, high));
            _mm_storeu_ps(fL + t,
                          Sanitize4(_mm_mul_ps(gain, _mm_min_ps(_mm_max_ps(l, low), high))));
            _mm_storeu_ps(fR + t,
                          Sanitize4(_mm_mul_ps(gain, _mm_min_ps(_mm_max_ps(r, low), high))));
        }
        peak = std::max(peak, MaxLane4(peak4));
    }
    for (; t < n; ++t)
    {
        dryL[t] = ReadFinite(inL, t);
        dryR[t] = ReadFinite(inR, t);
        const float m = std::max(std::fabs(dryL[t]), std::fabs(dryR[t]));
        peak = std::max(peak, m);
        level[t] = std::min(m, kInputLimit);
        fL[t] = SanitizeSample(g * Clamp64(dryL[t]));
        fR[t] = SanitizeSample(g * Clamp64(dryR[t]));
    }
    peaks.input = peak;
}

// feedL/feedR = the pre-delay's output, then fL/fR written into it.
void ReverbEngineState::FeedPreDelay(const float* fL, const float* fR, int n)
{
    if (currentPreDelay == targetPreDelay)
    {
        FeedSettledPreDelay(fL, fR, feedL, feedR, n);
        return;
    }
    // The glide's delays, sample by sample as InputStep takes them; once it arrives, the settled
    // passes take the rest.
    float delays[kCoreBlock];
    int k = 0;
    for (; k < n && currentPreDelay != targetPreDelay; ++k)
    {
        currentPreDelay = GlidePreDelay(currentPreDelay, targetPreDelay, smoothingCoef);
        delays[k] = currentPreDelay;
    }
    // The glide moves one way: its shortest and longest delays are at the ends.
    const float shortest = std::min(delays[0], delays[k - 1]);
    const float longest = std::max(delays[0], delays[k - 1]);
    const int reach = static_cast<int>(longest) + 1; // the farthest slot back a read takes
    const bool readsWritten = shortest >= 1.0f && longest <= preDelay[0].MaxDelay() &&
                              std::min(preDelay[0].Written(), preDelay[1].Written()) > reach &&
                              reach + k + 1 < preDelay[0].Mask() + 1;
    if (readsWritten)
    {
        // Every read takes written slots within range and before its own sample's write, none
        // that a later write of the glide overwrites: the writes can come first.
        const int start = preDelay[0].WritePosition();
        for (int side = 0; side < 2; ++side)
        {
            DelayLine& line = preDelay[side];
            line.WriteBlockSanitized(side == 0 ? fL : fR, k);
            const float* data = line.Data();
            const int mask = line.Mask();
            float* feed = side == 0 ? feedL : feedR;
            for (int j = 0; j < k; ++j)
            {
                const int whole = static_cast<int>(delays[j]);
                const float f = delays[j] - static_cast<float>(whole);
                const int first = (start + j - whole) & mask;
                feed[j] = (1.0f - f) * data[first] + f * data[(first - 1) & mask];
            }
        }
    }
    else
    {
        for (int j = 0; j < k; ++j)
        {
            const bool direct = delays[j] < 1.0f;
            feedL[j] = direct ? fL[j] : preDelay[0].Read(delays[j]);
            feedR[j] = direct ? fR[j] : preDelay[1].Read(delays[j]);
            preDelay[0].WriteSanitized(fL[j]);
            preDelay[1].WriteSanitized(fR[j]);
        }
    }
    if (k < n)
    {
        FeedSettledPreDelay(fL + k, fR + k, feedL + k, feedR + k, n - k);
    }
}

// outL/outR = the pre-delay's output at the settled delay, then fL/fR written into it.
void ReverbEngineState::FeedSettledPreDelay(
    const float* fL, const float* fR, float* outL, float* outR, int n)
{
    const float d = std::max(std::min(currentPreDelay, preDelay[0].MaxDelay()), 1.0f);
    const int whole = static_cast<int>(d);
    if (currentPreDelay < 1.0f)
    {
        std::copy_n(fL, n, outL);
        std::copy_n(fR, n, outR);
        preDelay[0].WriteBlockSanitized(fL, n);
        preDelay[1].WriteBlockSanitized(fR, n);
    }
    else if (whole >= n && preDelay[0].Written() > whole)
    {
        // Every read of the block lies before its first write.
        const float f = d - static_cast<float>(whole);
        for (int side = 0; side < 2; ++side)
        {
            DelayLine& line = preDelay[side];
            const float* w = line.Window(line.WritePosition() - whole - 1);
            float* feed = side == 0 ? outL : outR;
            int k = 0;
            for (; k + 4 <= n; k += 4)
            {
                StoreLanes(feed + k,
                           (1.0f - f) * LoadLanes<Lanes4>(w + k + 1) +
                               f * LoadLanes<Lanes4>(w + k));
            }
            for (; k < n; ++k)
            {
                feed[k] = (1.0f - f) * w[k + 1] + f * w[k];
            }
            line.WriteBlockSanitized(side == 0 ? fL : fR, n);
        }
    }
    else
    {
        for (int k = 0; k < n; ++k)
        {
            outL[k] = preDelay[0].Read(currentPreDelay);
            outR[k] = preDelay[1].Read(currentPreDelay);
            preDelay[0].WriteSanitized(fL[k]);
            preDelay[1].WriteSanitized(fR[k]);
        }
    }
}

// Runs both envelope followers over the block into `followers` (and on to inputEnvelope and
// onsetEnvelope), with q = max(|feedL|, |feedR|).
void ReverbEngineState::RunFollowers(const float* level, float* q, int n)
{
    // The two followers side by side, the input follower in even places and the onset follower
    // in odd ones: followers[2t + 2] is the input follower after sample t, followers[2t + 1] the
    // onset follower before it (the detector compares with the level before the update).
    float pq[2 * kCoreBlock]; // the followers' inputs, in the same places
    followers[0] = inputEnvelope;
    followers[1] = onsetEnvelope;
    int t = 0;
    {
        const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        for (; t + 4 <= n; t += 4)
        {
            const __m128 q4 = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(feedL + t), absMask),
                                         _mm_and_ps(_mm_loadu_ps(feedR + t), absMask));
            const __m128 p4 = _mm_loadu_ps(level + t);
            _mm_storeu_ps(q + t, q4);
            _mm_storeu_ps(pq + 2 * t, _mm_unpacklo_ps(p4, q4));
            _mm_storeu_ps(pq + 2 * t + 4, _mm_unpackhi_ps(p4, q4));
        }
        const __m128 attack = _mm_set1_ps(attackCoef);
        const __m128 release = _mm_set1_ps(duckReleaseCoef);
        const __m128 floor = _mm_set1_ps(kEnvelopeFloor);
        // __m64 may alias the floats; the upper two lanes stay 0 throughout.
        __m128 f = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(followers));
        for (int k = 0; k < t; ++k)
        {
            const __m128 x =
                _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(pq + 2 * k));
            const __m128 up = _mm_cmpgt_ps(x, f);
            const __m128 c = _mm_or_ps(_mm_and_ps(up, attack), _mm_andnot_ps(up, release));
            f = _mm_add_ps(x, _mm_mul_ps(_mm_sub_ps(f, x), c));
            f = _mm_and_ps(f, _mm_cmpge_ps(f, floor));
            _mm_storel_pi(reinterpret_cast<__m64*>(followers + 2 * k + 2), f);
        }
    }
    for (int k = t; k < n; ++k)
    {
        q[k] = std::max(std::fabs(feedL[k]), std::fabs(feedR[k]));
        pq[2 * k] = level[k];
        pq[2 * k + 1] = q[k];
    }
    for (int k = t; k < n; ++k)
    {
        for (int j = 0; j < 2; ++j)
        {
            const float x = pq[2 * k + j];
            const float before = followers[2 * k + j];
            const float after = x + (before - x) * (x > before ? attackCoef : duckReleaseCoef);
            followers[2 * k + 2 + j] = after < kEnvelopeFloor ? 0.0f : after;
        }
    }
    inputEnvelope = followers[2 * n];
    onsetEnvelope = followers[2 * n + 1];
}

// Sets the candidate bit of every sample loud enough and rising above the onset follower.
void ReverbEngineState::FindOnsetCandidates(const float* q, int n, std::uint64_t* candidates)
{
    int t = 0;
    {
        const __m128 loud = _mm_set1_ps(kOnsetLevel);
        const __m128 quiet = _mm_set1_ps(kOnsetQuiet);
        const __m128 jump = _mm_set1_ps(kOnsetJump);
        for (; t + 4 <= n; t += 4)
        {
            const __m128 q4 = _mm_loadu_ps(q + t);
            const __m128 before = _mm_shuffle_ps(_mm_loadu_ps(followers + 2 * t),
                                                 _mm_loadu_ps(followers + 2 * t + 4),
                                                 _MM_SHUFFLE(3, 1, 3, 1));
            const __m128 hit = _mm_and_ps(
                _mm_cmpgt_ps(q4, loud),
                _mm_or_ps(_mm_cmplt_ps(before, quiet), _mm_cmpgt_ps(q4, _mm_mul_ps(jump, before))));
            candidates[t / 64] |= static_cast<std::uint64_t>(_mm_movemask_ps(hit)) << t % 64;
        }
    }
    for (; t < n; ++t)
    {
        const float before = followers[2 * t + 1];
        if (q[t] > kOnsetLevel && (before < kOnsetQuiet || q[t] > kOnsetJump * before))
        {
            candidates[t / 64] |= std::uint64_t{1} << t % 64;
        }
    }
}

// onset/anyOnset from the candidates and the hold-off since the last onset.
void ReverbEngineState::MarkOnsets(const std::uint64_t* candidates, int n)
{
    // The hold-off is the one sequential part of the detector; without a candidate in the
    // block it is a count.
    anyOnset = false;
    if (std::all_of(candidates, candidates + kCoreBlock / 64, [](auto c) { return c == 0; }))
    {
        samplesSinceOnset = std::min(samplesSinceOnset + n, std::max(samplesSinceOnset, kNoOnset));
        return;
    }
    const std::int64_t holdOff = static_cast<std::int64_t>(sampleRate * kOnsetHoldOffSeconds);
    for (int k = 0; k < n; ++k)
    {
        const bool hit = (candidates[k / 64] >> k % 64 & 1u) != 0 && samplesSinceOnset > holdOff;
        onset[k] = hit ? 1 : 0;
        anyOnset = anyOnset || hit;
        if (hit)
        {
            samplesSinceOnset = 0;
        }
        else if (samplesSinceOnset < kNoOnset)
        {
            ++samplesSinceOnset;
        }
    }
}

void ReverbEngineState::OutputBlock(
    int fading, float* const* outputs, int offset, int n, BlockPeaks& peaks)
{
    if (fading > 0)
    {
        CrossfadeBlock(fading);
    }
    float duck[kCoreBlock];
    DuckBlock(duck, n, peaks);
    MixBlock(duck, outputs, offset, n, peaks);
}

// The first `fading` samples of wetL/wetR crossfaded with fadeL/fadeR, four at a time:
// a = remaining / length, wet = (1 - a) active + a fading.
void ReverbEngineState::CrossfadeBlock(int fading)
{
    const float length = static_cast<float>(crossfadeLength);
    const Lanes4 step = {0.0f, 1.0f, 2.0f, 3.0f};
    int t = 0;
    for (; t + 4 <= fading; t += 4)
    {
        const Lanes4 a = (static_cast<float>(crossfadeRemaining - t) - step) / length;
        StoreLanes(wetL + t,
                   (1.0f - a) * LoadLanes<Lanes4>(wetL + t) + a * LoadLanes<Lanes4>(fadeL + t));
        StoreLanes(wetR + t,
                   (1.0f - a) * LoadLanes<Lanes4>(wetR + t) + a * LoadLanes<Lanes4>(fadeR + t));
    }
    crossfadeRemaining -= t;
    for (; t < fading; ++t)
    {
        const StereoSample wet = Crossfade({wetL[t], wetR[t]}, {fadeL[t], fadeR[t]});
        wetL[t] = wet.left;
        wetR[t] = wet.right;
    }
    if (crossfadeRemaining == 0)
    {
        fadingCore = -1;
    }
}

// duck = the ducker's gain at each sample; raises peaks.duck.
void ReverbEngineState::DuckBlock(float* duck, int n, BlockPeaks& peaks)
{
    // The ducker's gain is the one recurrence; everything else is per sample. Without ducking
    // and with the gain home at 1 it stays 1 (and multiplies exactly).
    if (duckingAtAll || duckGain != 1.0f)
    {
        float gain = duckGain;
        float duckPeak = peaks.duck;
        for (int t = 0; t < n; ++t)
        {
            const float ducking = duckingAt[t];
            const float target = ducking == 0.0f
                                     ? 1.0f
                                     : 1.0f / (ducking * followers[2 * t + 2] * kDuckDepth + 1.0f);
            gain = target + (gain - target) * (gain > target ? attackCoef : duckReleaseCoef);
            duck[t] = gain;
            duckPeak = std::max(duckPeak, 1.0f - gain);
        }
        duckGain = gain;
        peaks.duck = duckPeak;
    }
    else
    {
        std::fill_n(duck, n, 1.0f);
    }
}

// The outputs from the wet pair (widened, ducked) and the dry pair; raises peaks.wet and
// peaks.output.
void ReverbEngineState::MixBlock(
    const float* duck, float* const* outputs, int offset, int n, BlockPeaks& peaks)
{
    // The output is the dry sample itself while bypassed (the fade is settled at 0 or 1), or
    // where the wet gain is 0 and the output trim unity; else (wet duck w + dry g) x trim,
    // sanitised (at fade 0 the 64-bit blend with the dry sample is that value itself).
    float* outL = outputs[0] != nullptr ? outputs[0] + offset : nullptr;
    float* outR = outputs[1] != nullptr ? outputs[1] + offset : nullptr;
    const bool bypassed = bypassFade == 1.0;
    const bool unityTrim = outputGain == 1.0f;
    const bool mono = channels == 1;
    float wetPeak = peaks.wet;
    float outputPeak = peaks.output;
    int t = 0;
    {
        const Lanes4 trim = SplatLanes<Lanes4>(outputGain);
        Lanes4 wetPeak4 = {};
        Lanes4 outPeak4 = {};
        for (; t + 4 <= n; t += 4)
        {
            const Lanes4 l = LoadLanes<Lanes4>(wetL + t);
            const Lanes4 r = LoadLanes<Lanes4>(wetR + t);
            const Lanes4 mid = (l + r) * 0.5f;
            const Lanes4 side = (l - r) * 0.5f * LoadLanes<Lanes4>(widthAt + t);
            Lanes4 wideL = mid + side;
            Lanes4 wideR = mid - side;
            if (mono)
            {
                wideL = wideR = (wideL + wideR) * 0.5f;
            }
            wetPeak4 = MaxLanes(MaxLanes(AbsLanes(wideL), AbsLanes(wideR)), wetPeak4);
            Lanes4 yL = LoadLanes<Lanes4>(dryL + t);
            Lanes4 yR = mono ? yL : LoadLanes<Lanes4>(dryR + t);
            if (!bypassed)
            {
                const Lanes4 w = LoadLanes<Lanes4>(wetGainAt + t);
                const Lanes4 dry = LoadLanes<Lanes4>(dryGainAt + t);
                const Lanes4 g = LoadLanes<Lanes4>(duck + t);
                const LaneMask<Lanes4> mixed = unityTrim ? w != 0.0f : LaneMask<Lanes4>{} == 0;
                const Lanes4 mixL = SanitizeLanes((wideL * g * w + dry * yL) * trim);
                yL = KeepLanes(mixL, mixed) + KeepLanes(yL, ~mixed);
                if (mono)
                {
                    yR = yL;
                }
                else
                {
                    const Lanes4 mixR = SanitizeLanes((wideR * g * w + dry * yR) * trim);
                    yR = KeepLanes(mixR, mixed) + KeepLanes(yR, ~mixed);
                }
            }
            outPeak4 = MaxLanes(MaxLanes(AbsLanes(yL), AbsLanes(yR)), outPeak4);
            if (outL != nullptr)
            {
                StoreLanes(outL + t, yL);
            }
            if (outR != nullptr)
            {
                StoreLanes(outR + t, yR);
            }
        }
        wetPeak = std::max(wetPeak, MaxLane4(wetPeak4));
        outputPeak = std::max(outputPeak, MaxLane4(outPeak4));
    }
    for (; t < n; ++t)
    {
        const float mid = (wetL[t] + wetR[t]) * 0.5f;
        const float side = (wetL[t] - wetR[t]) * 0.5f * widthAt[t];
        float wideL = mid + side;
        float wideR = mid - side;
        if (mono)
        {
            wideL = wideR = (wideL + wideR) * 0.5f;
        }
        wetPeak = std::max(wetPeak, std::max(std::fabs(wideL), std::fabs(wideR)));
        float yL = dryL[t];
        float yR = mono ? yL : dryR[t];
        const float w = wetGainAt[t];
        if (!bypassed && !(w == 0.0f && unityTrim))
        {
            yL = SanitizeSample((wideL * duck[t] * w + dryGainAt[t] * yL) * outputGain);
            yR = mono ? yL : SanitizeSample((wideR * duck[t] * w + dryGainAt[t] * yR) * outputGain);
        }
        outputPeak = std::max(outputPeak, std::max(std::fabs(yL), std::fabs(yR)));
        if (outL != nullptr)
        {
            outL[t] = yL;
        }
        if (outR != nullptr)
        {
            outR[t] = yR;
        }
    }
    peaks.wet = wetPeak;
    peaks.output = outputPeak;
}

} // namespace lumenfall::engine
