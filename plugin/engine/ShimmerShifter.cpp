#include "plugin/engine/ShimmerShifter.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace lumenfall::engine
{

namespace
{

constexpr double kPi = 3.14159265358979323846;
constexpr int kLog2Size = 11;
// Compensates the sum of the squared Hann windows at four-fold overlap (1.5).
constexpr float kOverlapGain = 2.0f / 3.0f;
// Bins quieter than this contribute nothing audible (far below SanitizeSample's floor after the
// inverse transform); dropping them keeps denormals out of the synthesis.
constexpr float kSilentBin = 1e-30f;

} // namespace

ShimmerShifter::ShimmerShifter()
{
    Prepare();
}

void ShimmerShifter::Prepare()
{
    for (int n = 0; n < kFftSize; ++n)
    {
        mWindow[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * n / kFftSize));
    }
    mTwiddleRe[kFftSize - 1] = 0.0f;
    mTwiddleIm[kFftSize - 1] = 0.0f;
    for (int h = 1; h < kFftSize; h <<= 1)
    {
        for (int j = 0; j < h; ++j)
        {
            const double angle = -kPi * j / h;
            mTwiddleRe[h - 1 + j] = static_cast<float>(std::cos(angle));
            mTwiddleIm[h - 1 + j] = static_cast<float>(std::sin(angle));
        }
    }
    for (int i = 0; i < kFftSize; ++i)
    {
        int reversed = 0;
        for (int bit = 0; bit < kLog2Size; ++bit)
        {
            reversed |= ((i >> bit) & 1) << (kLog2Size - 1 - bit);
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
    std::fill_n(mAnalysisRe, kFftSize, 0.0f);
    std::fill_n(mAnalysisIm, kFftSize, 0.0f);
    std::fill_n(mSynthesisRe, kFftSize / 2, 0.0f);
    std::fill_n(mSynthesisIm, kFftSize / 2, 0.0f);
    mPosition = 0;
    mHopCounter = 0;
}

void ShimmerShifter::Fft(float* real, float* imag, int size, bool inverse) const
{
    if (size < 2 || size > kFftSize || (size & (size - 1)) != 0)
    {
        return;
    }
    if (!inverse)
    {
        Transform(real, imag, size);
        return;
    }
    // The inverse is the forward transform of the conjugate, conjugated: exchanging the real and
    // imaginary arrays conjugates on the way in and on the way out.
    Transform(imag, real, size);
    const float scale = 1.0f / static_cast<float>(size);
    for (int i = 0; i < size; ++i)
    {
        real[i] *= scale;
        imag[i] *= scale;
    }
}

void ShimmerShifter::Transform(float* re, float* im, int size) const
{
    int shift = 0;
    while ((kFftSize >> shift) != size)
    {
        ++shift;
    }
    for (int i = 0; i < size; ++i)
    {
        const int j = mBitReverse[i] >> shift;
        if (i < j)
        {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    // Span 1: twiddle 1.
    for (int s = 0; s < size; s += 2)
    {
        const float ur = re[s], ui = im[s];
        const float vr = re[s + 1], vi = im[s + 1];
        re[s] = ur + vr;
        im[s] = ui + vi;
        re[s + 1] = ur - vr;
        im[s + 1] = ui - vi;
    }
    for (int h = 2; h < size; h <<= 1)
    {
        const float* wr = mTwiddleRe + h - 1;
        const float* wi = mTwiddleIm + h - 1;
        for (int s = 0; s < size; s += 2 * h)
        {
            float* ar = re + s;
            float* ai = im + s;
            float* br = re + s + h;
            float* bi = im + s + h;
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
    }
}

void ShimmerShifter::ProcessFrame()
{
    constexpr int kMask = kFftSize - 1;
    constexpr int kHalf = kFftSize / 2;
    const int p = mPosition; // the oldest sample of the ring

    // Analysis: left in the real part, right in the imaginary part.
    for (int n = 0; n < kFftSize; ++n)
    {
        const int slot = (p + n) & kMask;
        mAnalysisRe[n] = mRing[0][slot] * mWindow[n];
        mAnalysisIm[n] = mRing[1][slot] * mWindow[n];
    }
    Transform(mAnalysisRe, mAnalysisIm, kFftSize);

    // Synthesis spectrum Y[m] = S_left[2m] + i S_right[2m] over 1024 points: bins m = 1..511 and
    // their conjugate mirrors 1024 - m; Y[0] and Y[512] stay 0.
    mSynthesisRe[0] = mSynthesisIm[0] = 0.0f;
    mSynthesisRe[kHalf / 2] = mSynthesisIm[kHalf / 2] = 0.0f;
    for (int k = 1; k <= kShiftedBins; ++k)
    {
        // Separate the two real channels: X_left = (Z[k] + conj Z[N-k]) / 2,
        // X_right = (Z[k] - conj Z[N-k]) / (2i).
        const float a = mAnalysisRe[k], b = mAnalysisIm[k];
        const float c = mAnalysisRe[kFftSize - k], d = mAnalysisIm[kFftSize - k];
        const float xr[2] = {0.5f * (a + c), 0.5f * (b + d)};
        const float xi[2] = {0.5f * (b - d), 0.5f * (c - a)};
        float sr[2], si[2];
        for (int ch = 0; ch < 2; ++ch)
        {
            // Direction and magnitude without underflow: scale by the larger component first.
            const float s = std::max(std::fabs(xr[ch]), std::fabs(xi[ch]));
            const bool silent = !(s > 0.0f);
            const float inv = silent ? 0.0f : 1.0f / s;
            const float ur = xr[ch] * inv, ui = xi[ch] * inv;
            const float q = silent ? 1.0f : ur * ur + ui * ui;
            const float magnitude = s * std::sqrt(q);
            // e^(i 2 phase) = X^2 / |X|^2 (phase 0 for a silent bin, as atan2(0, 0)).
            const float invQ = 1.0f / q;
            const float dr = silent ? 1.0f : (ur * ur - ui * ui) * invQ;
            const float di = silent ? 0.0f : 2.0f * ur * ui * invQ;
            // Advance by twice the measured phase step: acc *= e^(i 2 phase) e^(-i 2 previous).
            const float pr = mPrevRe[ch][k], pi = mPrevIm[ch][k];
            const float rr = dr * pr + di * pi;
            const float ri = di * pr - dr * pi;
            mPrevRe[ch][k] = dr;
            mPrevIm[ch][k] = di;
            float accR = mAccRe[ch][k] * rr - mAccIm[ch][k] * ri;
            float accI = mAccRe[ch][k] * ri + mAccIm[ch][k] * rr;
            // One Newton step back onto the unit circle (the drift per frame is rounding only).
            const float renorm = 1.5f - 0.5f * (accR * accR + accI * accI);
            accR *= renorm;
            accI *= renorm;
            mAccRe[ch][k] = accR;
            mAccIm[ch][k] = accI;
            const float gain = magnitude >= kSilentBin ? magnitude : 0.0f;
            sr[ch] = gain * accR;
            si[ch] = gain * accI;
        }
        mSynthesisRe[k] = sr[0] - si[1];
        mSynthesisIm[k] = si[0] + sr[1];
        mSynthesisRe[kHalf - k] = sr[0] + si[1];
        mSynthesisIm[kHalf - k] = sr[1] - si[0];
    }

    // The 2048-point inverse of a spectrum with even bins only is half the 1024-point inverse,
    // repeated.
    Fft(mSynthesisRe, mSynthesisIm, kHalf, true);
    constexpr float kGain = 0.5f * kOverlapGain;
    for (int n = 0; n < kFftSize; ++n)
    {
        const int slot = (p + n) & kMask;
        const float w = mWindow[n] * kGain;
        mOverlap[0][slot] = SanitizeSample(w * mSynthesisRe[n & (kHalf - 1)] + mOverlap[0][slot]);
        mOverlap[1][slot] = SanitizeSample(w * mSynthesisIm[n & (kHalf - 1)] + mOverlap[1][slot]);
    }
}

} // namespace lumenfall::engine
