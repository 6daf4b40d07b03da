#include "plugin/engine/ShimmerShifter.h"

#include "plugin/engine/EngineMath.h"
#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace lumenfall::engine
{

namespace
{

constexpr double kPi = 3.14159265358979323846;
// Compensates the sum of the squared Hann windows at four-fold overlap (1.5).
constexpr float kOverlapGain = 2.0f / 3.0f;
// Bins quieter than this contribute nothing audible (far below SanitizeSample's floor after the
// inverse transform); dropping them keeps denormals out of the synthesis.
constexpr float kSilentBin = 1e-30f;

constexpr int Log2(int size)
{
    int bits = 0;
    while ((1 << bits) < size)
    {
        ++bits;
    }
    return bits;
}

// One butterfly span: a' = a + w b, b' = a - w b over h pairs (disjoint ranges).
[[gnu::always_inline]] inline void Butterflies(float* __restrict ar,
                                               float* __restrict ai,
                                               float* __restrict br,
                                               float* __restrict bi,
                                               const float* __restrict wr,
                                               const float* __restrict wi,
                                               int h)
{
    for (int j = 0; j < h; ++j)
    {
        const float vr = wr[j] * br[j] - wi[j] * bi[j];
        const float vi = wr[j] * bi[j] + wi[j] * br[j];
        const float ur = ar[j], ui = ai[j];
        ar[j] = ur + vr;
        ai[j] = ui + vi;
        br[j] = ur - vr;
        bi[j] = ui - vi;
    }
}

// Butterflies, L at a time while L fit.
template <class V>
[[gnu::always_inline]] inline void ButterfliesAlong(float* __restrict ar,
                                                    float* __restrict ai,
                                                    float* __restrict br,
                                                    float* __restrict bi,
                                                    const float* __restrict wr,
                                                    const float* __restrict wi,
                                                    int h)
{
    constexpr int L = kLaneCount<V>;
    int j = 0;
    for (; j + L <= h; j += L)
    {
        const V xr = LoadLanes<V>(br + j), xi = LoadLanes<V>(bi + j);
        const V w1 = LoadLanes<V>(wr + j), w2 = LoadLanes<V>(wi + j);
        const V vr = w1 * xr - w2 * xi;
        const V vi = w1 * xi + w2 * xr;
        const V ur = LoadLanes<V>(ar + j), ui = LoadLanes<V>(ai + j);
        StoreLanes(ar + j, ur + vr);
        StoreLanes(ai + j, ui + vi);
        StoreLanes(br + j, ur - vr);
        StoreLanes(bi + j, ui - vi);
    }
    Butterflies(ar + j, ai + j, br + j, bi + j, wr + j, wi + j, h - j);
}

// Two spans in one pass over 4h values (spans h and 2h; h a multiple of four): each value is
// loaded and stored once, and gets the same butterflies in the same order as from two calls of
// Butterflies, so the results are the same to the bit. Spans narrower than the lanes run four
// wide.
template <class V>
[[gnu::always_inline]] inline void ButterflyPairs(float* __restrict re,
                                                  float* __restrict im,
                                                  const float* __restrict w1r,
                                                  const float* __restrict w1i,
                                                  const float* __restrict w2r,
                                                  const float* __restrict w2i,
                                                  int h)
{
    constexpr int L = kLaneCount<V>;
    if constexpr (L > 4)
    {
        if (h < L)
        {
            ButterflyPairs<Lanes4>(re, im, w1r, w1i, w2r, w2i, h);
            return;
        }
    }
    int j = 0;
    const auto multiply = [](V wr, V wi, V xr, V xi, V& vr, V& vi)
    {
        vr = wr * xr - wi * xi;
        vi = wr * xi + wi * xr;
    };
    for (; j + L <= h; j += L)
    {
        const V ar = LoadLanes<V>(re + j), ai = LoadLanes<V>(im + j);
        const V br = LoadLanes<V>(re + h + j), bi = LoadLanes<V>(im + h + j);
        const V cr = LoadLanes<V>(re + 2 * h + j), ci = LoadLanes<V>(im + 2 * h + j);
        const V dr = LoadLanes<V>(re + 3 * h + j), di = LoadLanes<V>(im + 3 * h + j);
        const V wr = LoadLanes<V>(w1r + j), wi = LoadLanes<V>(w1i + j);
        V vr, vi;
        multiply(wr, wi, br, bi, vr, vi);
        const V a1r = ar + vr, a1i = ai + vi;
        const V b1r = ar - vr, b1i = ai - vi;
        multiply(wr, wi, dr, di, vr, vi);
        const V c1r = cr + vr, c1i = ci + vi;
        const V d1r = cr - vr, d1i = ci - vi;
        multiply(LoadLanes<V>(w2r + j), LoadLanes<V>(w2i + j), c1r, c1i, vr, vi);
        StoreLanes(re + j, a1r + vr);
        StoreLanes(im + j, a1i + vi);
        StoreLanes(re + 2 * h + j, a1r - vr);
        StoreLanes(im + 2 * h + j, a1i - vi);
        multiply(LoadLanes<V>(w2r + h + j), LoadLanes<V>(w2i + h + j), d1r, d1i, vr, vi);
        StoreLanes(re + h + j, b1r + vr);
        StoreLanes(im + h + j, b1i + vi);
        StoreLanes(re + 3 * h + j, b1r - vr);
        StoreLanes(im + 3 * h + j, b1i - vi);
    }
    if (j < h)
    {
        Butterflies(re + j, im + j, re + h + j, im + h + j, w1r + j, w1i + j, h - j);
        Butterflies(re + 2 * h + j,
                    im + 2 * h + j,
                    re + 3 * h + j,
                    im + 3 * h + j,
                    w1r + j,
                    w1i + j,
                    h - j);
        Butterflies(re + j, im + j, re + 2 * h + j, im + 2 * h + j, w2r + j, w2i + j, h - j);
        Butterflies(re + h + j,
                    im + h + j,
                    re + 3 * h + j,
                    im + 3 * h + j,
                    w2r + h + j,
                    w2i + h + j,
                    h - j);
    }
}

// ola[n] = SanitizeSample(gain w[n] y[n] + ola[n]) over a contiguous run.
template <class V>
[[gnu::always_inline]] inline void OverlapAdd(
    float* __restrict ola, const float* __restrict y, const float* __restrict w, float gain, int n)
{
    constexpr int L = kLaneCount<V>;
    int i = 0;
    for (; i + L <= n; i += L)
    {
        const V sum = gain * LoadLanes<V>(w + i) * LoadLanes<V>(y + i) + LoadLanes<V>(ola + i);
        StoreLanes(ola + i, SanitizeLanes(sum));
    }
    for (; i < n; ++i)
    {
        ola[i] = SanitizeSample(gain * w[i] * y[i] + ola[i]);
    }
}

// Spans 1 and 2 of the transform on four values in bit-reversed order (twiddles 1 and -i).
template <class T>
[[gnu::always_inline]] inline void Radix4(T* re, T* im)
{
    const T a0r = re[0] + re[1], a0i = im[0] + im[1];
    const T a1r = re[0] - re[1], a1i = im[0] - im[1];
    const T a2r = re[2] + re[3], a2i = im[2] + im[3];
    const T a3r = re[2] - re[3], a3i = im[2] - im[3];
    re[0] = a0r + a2r;
    im[0] = a0i + a2i;
    re[2] = a0r - a2r;
    im[2] = a0i - a2i;
    re[1] = a1r + a3i; // a1 + (-i) a3
    im[1] = a1i - a3r;
    re[3] = a1r - a3i;
    im[3] = a1i + a3r;
}

template <class V>
[[gnu::always_inline]] inline V ReverseLanes(V x)
{
    using M = LaneMask<V>;
    if constexpr (kLaneCount<V> == 4)
    {
        return __builtin_shuffle(x, M{3, 2, 1, 0});
    }
    else
    {
        return __builtin_shuffle(x, M{7, 6, 5, 4, 3, 2, 1, 0});
    }
}

// Four vectors of L lanes transposed into L groups of four: group j (lanes j of the four) to
// to[index[j]..index[j] + 3].
template <class V>
[[gnu::always_inline]] inline void StoreTransposed(const V* x, float* to, const int* index)
{
    using M = LaneMask<V>;
    if constexpr (kLaneCount<V> == 4)
    {
        const V t0 = __builtin_shuffle(x[0], x[1], M{0, 4, 1, 5});
        const V t1 = __builtin_shuffle(x[0], x[1], M{2, 6, 3, 7});
        const V t2 = __builtin_shuffle(x[2], x[3], M{0, 4, 1, 5});
        const V t3 = __builtin_shuffle(x[2], x[3], M{2, 6, 3, 7});
        StoreLanes(to + index[0], __builtin_shuffle(t0, t2, M{0, 1, 4, 5}));
        StoreLanes(to + index[1], __builtin_shuffle(t0, t2, M{2, 3, 6, 7}));
        StoreLanes(to + index[2], __builtin_shuffle(t1, t3, M{0, 1, 4, 5}));
        StoreLanes(to + index[3], __builtin_shuffle(t1, t3, M{2, 3, 6, 7}));
    }
    else
    {
        // Each 128-bit half as above: groups j and j + 4 in the halves of one vector.
        const V t0 = __builtin_shuffle(x[0], x[1], M{0, 8, 1, 9, 4, 12, 5, 13});
        const V t1 = __builtin_shuffle(x[0], x[1], M{2, 10, 3, 11, 6, 14, 7, 15});
        const V t2 = __builtin_shuffle(x[2], x[3], M{0, 8, 1, 9, 4, 12, 5, 13});
        const V t3 = __builtin_shuffle(x[2], x[3], M{2, 10, 3, 11, 6, 14, 7, 15});
        const V g[4] = {__builtin_shuffle(t0, t2, M{0, 1, 8, 9, 4, 5, 12, 13}),
                        __builtin_shuffle(t0, t2, M{2, 3, 10, 11, 6, 7, 14, 15}),
                        __builtin_shuffle(t1, t3, M{0, 1, 8, 9, 4, 5, 12, 13}),
                        __builtin_shuffle(t1, t3, M{2, 3, 10, 11, 6, 7, 14, 15})};
        for (int j = 0; j < 4; ++j)
        {
            std::memcpy(to + index[j], &g[j], 4 * sizeof(float));
            std::memcpy(
                to + index[j + 4], reinterpret_cast<const float*>(&g[j]) + 4, 4 * sizeof(float));
        }
    }
}

} // namespace

ShimmerShifter::ShimmerShifter()
{
    Prepare();
}

void ShimmerShifter::Prepare()
{
    for (int n = 0; n < kFftSize; ++n)
    {
        double sine = 0.0;
        double cosine = 0.0;
        SinCos(2.0 * kPi * n / kFftSize, sine, cosine);
        mWindow[n] = static_cast<float>(0.5 - 0.5 * cosine);
    }
    mTwiddleRe[kFftSize - 1] = 0.0f;
    mTwiddleIm[kFftSize - 1] = 0.0f;
    for (int h = 1; h < kFftSize; h <<= 1)
    {
        for (int j = 0; j < h; ++j)
        {
            const double angle = -kPi * j / h;
            double sine = 0.0;
            double cosine = 0.0;
            SinCos(angle, sine, cosine);
            // cos(-pi / 2) comes out as 6e-17, not 0, and times the values of a tail that decays
            // towards SanitizeSample's floor it makes denormals, which stall the processor.
            mTwiddleRe[h - 1 + j] = 2 * j == h ? 0.0f : static_cast<float>(cosine);
            mTwiddleIm[h - 1 + j] = static_cast<float>(sine);
        }
    }
    for (int i = 0; i < kFftSize; ++i)
    {
        int reversed = 0;
        for (int bit = 0; bit < Log2(kFftSize); ++bit)
        {
            reversed |= ((i >> bit) & 1) << (Log2(kFftSize) - 1 - bit);
        }
        mBitReverse[i] = static_cast<std::uint16_t>(reversed);
    }
    Reset();
}

void ShimmerShifter::Reset()
{
    std::fill_n(&mRing[0][0], 2 * kFftSize, 0.0f);
    std::fill_n(&mOverlap[0][0], 2 * kFftSize, 0.0f);
    // Phase 0 everywhere: both phasors start at e^0.
    std::fill_n(&mPrevRe[0][0], 2 * kBins, 1.0f);
    std::fill_n(&mPrevIm[0][0], 2 * kBins, 0.0f);
    std::fill_n(&mAccRe[0][0], 2 * kBins, 1.0f);
    std::fill_n(&mAccIm[0][0], 2 * kBins, 0.0f);
    std::fill_n(&mBinRe[0][0], 2 * (kBins + 1), 0.0f);
    std::fill_n(&mBinIm[0][0], 2 * (kBins + 1), 0.0f);
    std::fill_n(mAnalysisRe, kFftSize, 0.0f);
    std::fill_n(mAnalysisIm, kFftSize, 0.0f);
    std::fill_n(mSynthesisRe, kFftSize / 2, 0.0f);
    std::fill_n(mSynthesisIm, kFftSize / 2, 0.0f);
    mPosition = 0;
    mHopCounter = 0;
}

void ShimmerShifter::ExchangeBlock(
    const float* inLeft, const float* inRight, float* outLeft, float* outRight, int n)
{
    // In runs that end at the end of the rings or at the next frame.
    for (int t = 0; t < n;)
    {
        const int run = std::min({n - t, kFftSize - mPosition, kHop - mHopCounter});
        const int p = mPosition;
        std::copy_n(&mOverlap[0][p], run, outLeft + t);
        std::copy_n(&mOverlap[1][p], run, outRight + t);
        std::fill_n(&mOverlap[0][p], run, 0.0f);
        std::fill_n(&mOverlap[1][p], run, 0.0f);
        for (int k = 0; k < run; ++k)
        {
            mRing[0][p + k] = SanitizeSample(inLeft[t + k]);
            mRing[1][p + k] = SanitizeSample(inRight[t + k]);
        }
        mPosition = (p + run) & (kFftSize - 1);
        mHopCounter += run;
        t += run;
        if (mHopCounter == kHop)
        {
            mHopCounter = 0;
            if (mInstructionSet == InstructionSet::Avx2)
            {
                ProcessFrame8();
            }
            else
            {
                ProcessFrame4();
            }
        }
    }
}

void ShimmerShifter::Fft(float* real, float* imag, int size, bool inverse) const
{
    if (size < 2 || size > kFftSize || (size & (size - 1)) != 0)
    {
        return;
    }
    // The inverse is the forward transform of the conjugate, conjugated: exchanging the real and
    // imaginary arrays conjugates on the way in and on the way out.
    float* re = inverse ? imag : real;
    float* im = inverse ? real : imag;
    const int shift = Log2(kFftSize) - Log2(size);
    for (int i = 0; i < size; ++i)
    {
        const int j = mBitReverse[i] >> shift;
        if (i < j)
        {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    TransformReordered<Lanes4>(re, im, size);
    if (inverse)
    {
        const float scale = 1.0f / static_cast<float>(size);
        for (int i = 0; i < size; ++i)
        {
            real[i] *= scale;
            imag[i] *= scale;
        }
    }
}

template <class V>
[[gnu::always_inline]] inline void
ShimmerShifter::TransformReordered(float* re, float* im, int size) const
{
    // Spans 1 and 2 together (twiddles 1 and -i), then the general spans.
    if (size == 2)
    {
        Butterflies(re, im, re + 1, im + 1, mTwiddleRe, mTwiddleIm, 1);
        return;
    }
    for (int s = 0; s < size; s += 4)
    {
        float r[4] = {re[s], re[s + 1], re[s + 2], re[s + 3]};
        float i[4] = {im[s], im[s + 1], im[s + 2], im[s + 3]};
        Radix4(r, i);
        std::copy_n(r, 4, re + s);
        std::copy_n(i, 4, im + s);
    }
    LaterSpans<V>(re, im, size);
}

template <class V>
[[gnu::always_inline]] inline void ShimmerShifter::LaterSpans(float* re, float* im, int size) const
{
    int h = 4;
    for (; 4 * h <= size; h <<= 2)
    {
        for (int s = 0; s < size; s += 4 * h)
        {
            ButterflyPairs<V>(re + s,
                              im + s,
                              mTwiddleRe + h - 1,
                              mTwiddleIm + h - 1,
                              mTwiddleRe + 2 * h - 1,
                              mTwiddleIm + 2 * h - 1,
                              h);
        }
    }
    for (; h < size; h <<= 1)
    {
        for (int s = 0; s < size; s += 2 * h)
        {
            ButterfliesAlong<V>(
                re + s, im + s, re + s + h, im + s + h, mTwiddleRe + h - 1, mTwiddleIm + h - 1, h);
        }
    }
}

void ShimmerShifter::ProcessFrame4()
{
    Frame<Lanes4>();
}

[[gnu::target("avx2")]] void ShimmerShifter::ProcessFrame8()
{
    Frame<Lanes8>();
}

template <class V>
[[gnu::always_inline]] inline void ShimmerShifter::Frame()
{
    AnalyseFrame<V>();
    SeparateChannels();
    for (int ch = 0; ch < 2; ++ch)
    {
        ShiftBins<V>(ch);
    }
    SynthesiseFrame<V>();
    OverlapAddFrame<V>();
}

// mAnalysisRe/Im = the transform of the windowed frame of both rings, left in the real part and
// right in the imaginary.
template <class V>
[[gnu::always_inline]] inline void ShimmerShifter::AnalyseFrame()
{
    constexpr int kMask = kFftSize - 1;
    const int p = mPosition; // the oldest sample of the ring

    // Analysis with the transform's first two spans: bit-reversed places s..s + 3 (s = rev(n),
    // n < 512) hold samples n, n + 1024, n + 512 and n + 1536 of the frame. p is a multiple of
    // the hop, so each quarter of the frame is one run of the ring. L values of n at a time, left
    // in the real part and right in the imaginary.
    constexpr int L = kLaneCount<V>;
    constexpr int kQuarter = kFftSize / 4;
    constexpr int kOrder[4] = {0, 2, 1, 3}; // quarter of the frame in places s..s + 3
    const float* quarter[2][4];
    for (int q = 0; q < 4; ++q)
    {
        quarter[0][q] = &mRing[0][(p + kOrder[q] * kQuarter) & kMask];
        quarter[1][q] = &mRing[1][(p + kOrder[q] * kQuarter) & kMask];
    }
    for (int n = 0; n < kQuarter; n += L)
    {
        V re[4];
        V im[4];
        for (int q = 0; q < 4; ++q)
        {
            const V w = LoadLanes<V>(mWindow + kOrder[q] * kQuarter + n);
            re[q] = LoadLanes<V>(quarter[0][q] + n) * w;
            im[q] = LoadLanes<V>(quarter[1][q] + n) * w;
        }
        Radix4(re, im);
        int places[L];
        for (int j = 0; j < L; ++j)
        {
            places[j] = mBitReverse[n + j];
        }
        StoreTransposed(re, mAnalysisRe, places);
        StoreTransposed(im, mAnalysisIm, places);
    }
    LaterSpans<V>(mAnalysisRe, mAnalysisIm, kFftSize);
}

// mBinRe/Im = each channel's bins 1..511, separated from the joint transform.
[[gnu::always_inline]] inline void ShimmerShifter::SeparateChannels()
{
    // Separate the two real channels for bins 1..511:
    // X_left = (Z[k] + conj Z[N-k]) / 2, X_right = (Z[k] - conj Z[N-k]) / (2i).
    for (int k = 1; k < kBins; ++k)
    {
        const float a = mAnalysisRe[k], b = mAnalysisIm[k];
        const float c = mAnalysisRe[kFftSize - k], d = mAnalysisIm[kFftSize - k];
        mBinRe[0][k] = 0.5f * (a + c);
        mBinIm[0][k] = 0.5f * (b - d);
        mBinRe[1][k] = 0.5f * (b + d);
        mBinIm[1][k] = 0.5f * (c - a);
    }
}

// mSynthesisIm/Re = the inverse transform of the shifted bins, the left channel in mSynthesisRe.
template <class V>
[[gnu::always_inline]] inline void ShimmerShifter::SynthesiseFrame()
{
    constexpr int kHalf = kFftSize / 2;
    constexpr int kHalfShift = 1; // bit reversal over 10 bits from the 11-bit table
    constexpr int L = kLaneCount<V>;
    // Synthesis spectrum Y[m] = S_left[2m] + i S_right[2m] over 1024 points: bins m = 1..511 and
    // their conjugate mirrors 1024 - m; Y[0] and Y[512] are 0 (bin slots 0 and kBins stay 0).
    // The inverse is by conjugation (see Fft): the transform runs on (Im Y, Re Y), its first two
    // spans here as for the analysis, places s..s + 3 (s = rev(m), m < 256) holding Y[m],
    // Y[m + 512], Y[m + 256] and Y[m + 768], the mirrors of bins 512 - m and 256 - m.
    constexpr int kEighth = kHalf / 4;
    for (int m = 0; m < kEighth; m += L)
    {
        const auto direct = [&](int k, V& re, V& im)
        {
            re = LoadLanes<V>(mBinIm[0] + k) + LoadLanes<V>(mBinRe[1] + k);
            im = LoadLanes<V>(mBinRe[0] + k) - LoadLanes<V>(mBinIm[1] + k);
        };
        const auto mirrored = [&](int k, V& re, V& im)
        {
            const int from = k - (L - 1); // bins k, k - 1, ... in the lanes
            re = ReverseLanes(LoadLanes<V>(mBinRe[1] + from)) -
                 ReverseLanes(LoadLanes<V>(mBinIm[0] + from));
            im = ReverseLanes(LoadLanes<V>(mBinRe[0] + from)) +
                 ReverseLanes(LoadLanes<V>(mBinIm[1] + from));
        };
        V re[4];
        V im[4];
        direct(m, re[0], im[0]);
        mirrored(kHalf / 2 - m, re[1], im[1]);
        direct(m + kEighth, re[2], im[2]);
        mirrored(kEighth - m, re[3], im[3]);
        Radix4(re, im);
        int places[L];
        for (int j = 0; j < L; ++j)
        {
            places[j] = mBitReverse[m + j] >> kHalfShift;
        }
        StoreTransposed(re, mSynthesisIm, places);
        StoreTransposed(im, mSynthesisRe, places);
    }
    // The 2048-point inverse of a spectrum with even bins only is half the 1024-point one,
    // repeated; both scales go into the overlap-add gain.
    LaterSpans<V>(mSynthesisIm, mSynthesisRe, kHalf);
}

// The synthesised frame, windowed, added into the overlap rings from the oldest slot on.
template <class V>
[[gnu::always_inline]] inline void ShimmerShifter::OverlapAddFrame()
{
    constexpr int kMask = kFftSize - 1;
    constexpr int kHalf = kFftSize / 2;
    const int p = mPosition; // the oldest sample of the ring
    constexpr float kGain = kOverlapGain * 0.5f / static_cast<float>(kHalf);
    for (int n = 0; n < kFftSize;)
    {
        const int slot = (p + n) & kMask;
        const int from = n & (kHalf - 1);
        const int run = std::min(kFftSize - slot, kHalf - from);
        OverlapAdd<V>(&mOverlap[0][slot], mSynthesisRe + from, mWindow + n, kGain, run);
        OverlapAdd<V>(&mOverlap[1][slot], mSynthesisIm + from, mWindow + n, kGain, run);
        n += run;
    }
}

template <class V>
[[gnu::always_inline]] inline void ShimmerShifter::ShiftBins(int ch)
{
    float* __restrict binRe = mBinRe[ch];
    float* __restrict binIm = mBinIm[ch];
    float* __restrict prevRe = mPrevRe[ch];
    float* __restrict prevIm = mPrevIm[ch];
    float* __restrict accRe = mAccRe[ch];
    float* __restrict accIm = mAccIm[ch];
    // Straight-line arithmetic only (no sqrt call, no branch), so the loop vectorises.
    for (int k = 1; k < kBins; ++k)
    {
        const float xr = binRe[k], xi = binIm[k];
        // Direction and magnitude without underflow: scale by the larger component first, so
        // q = |X / s|^2 lies in [1, 2] and 1 / sqrt(q) converges from a linear guess.
        const float s = std::max(std::fabs(xr), std::fabs(xi));
        const float silent = s > 0.0f ? 0.0f : 1.0f; // a silent bin has phase 0, as atan2(0, 0)
        const float inv = 1.0f / (s + silent);
        const float ur = xr * inv, ui = xi * inv;
        const float q = ur * ur + ui * ui + silent;
        float r = 1.2071068f - 0.2071068f * q;
        r *= 1.5f - 0.5f * q * r * r;
        r *= 1.5f - 0.5f * q * r * r;
        r *= 1.5f - 0.5f * q * r * r;
        const float magnitude = s * q * r;
        // e^(i 2 phase) = X^2 / |X|^2.
        const float invQ = r * r;
        const float dr = (ur * ur - ui * ui) * invQ + silent;
        const float di = 2.0f * ur * ui * invQ;
        // Advance by twice the measured phase step: acc *= e^(i 2 phase) e^(-i 2 previous).
        const float pr = prevRe[k], pi = prevIm[k];
        const float rr = dr * pr + di * pi;
        const float ri = di * pr - dr * pi;
        prevRe[k] = dr;
        prevIm[k] = di;
        float ar = accRe[k] * rr - accIm[k] * ri;
        float ai = accRe[k] * ri + accIm[k] * rr;
        // One Newton step back onto the unit circle (the drift per frame is rounding only).
        const float renorm = 1.5f - 0.5f * (ar * ar + ai * ai);
        ar *= renorm;
        ai *= renorm;
        accRe[k] = ar;
        accIm[k] = ai;
        const float gain = magnitude >= kSilentBin ? magnitude : 0.0f;
        binRe[k] = gain * ar;
        binIm[k] = gain * ai;
    }
}

} // namespace lumenfall::engine
