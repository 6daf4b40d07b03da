#include "plugin/engine/ShimmerShifter.h"

#include "tests/support/AllocationGuard.h"
#include "tests/support/SignalAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace lumenfall::engine
{
namespace
{

constexpr double kPi = 3.14159265358979323846;
constexpr double kFs = 48000.0;
constexpr int kN = ShimmerShifter::kFftSize;

struct StereoOut
{
    std::vector<float> left, right;
};

// The shifter is large (about 100 kB); keep it off the stack.
std::unique_ptr<ShimmerShifter> MakeShifter()
{
    return std::make_unique<ShimmerShifter>();
}

template <typename Source>
StereoOut RunShifter(ShimmerShifter& shifter, int frames, Source source)
{
    StereoOut out;
    out.left.resize(frames);
    out.right.resize(frames);
    for (int n = 0; n < frames; ++n)
    {
        float l = 0.0f, r = 0.0f;
        source(n, l, r);
        shifter.Exchange(l, r, out.left[n], out.right[n]);
    }
    return out;
}

auto Sines(double leftHz, double rightHz, double amplitude = 0.5)
{
    return [=](int n, float& l, float& r)
    {
        l = static_cast<float>(amplitude * std::sin(2.0 * kPi * leftHz * n / kFs));
        r = static_cast<float>(amplitude * std::sin(2.0 * kPi * rightHz * n / kFs));
    };
}

double Amplitude(const std::vector<float>& x, int start, int length, double hz)
{
    return test::ToneAmplitude(x, start, length, hz, kFs);
}

double Rms(const std::vector<float>& x, int start, int length)
{
    double sum = 0.0;
    for (int n = start; n < start + length; ++n)
    {
        sum += double(x[n]) * x[n];
    }
    return std::sqrt(sum / length);
}

double Db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

// The shifter in its plainest form, per channel and angle-based, in double precision: analysis,
// phase deviation from the expected advance, wrap, doubled advance accumulated, bin k to 2k,
// conjugate mirror, 2048-point inverse, windowed overlap-add at 2/3.
class ReferenceShifter
{
public:
    void Exchange(float inLeft, float inRight, float& outLeft, float& outRight)
    {
        outLeft = static_cast<float>(mOverlap[0][mPosition]);
        outRight = static_cast<float>(mOverlap[1][mPosition]);
        mOverlap[0][mPosition] = mOverlap[1][mPosition] = 0.0;
        mRing[0][mPosition] = inLeft;
        mRing[1][mPosition] = inRight;
        mPosition = (mPosition + 1) % kN;
        if (++mHop == ShimmerShifter::kHop)
        {
            mHop = 0;
            Frame(0);
            Frame(1);
        }
    }

private:
    using Complex = std::complex<double>;

    static double Window(int n) { return 0.5 - 0.5 * std::cos(2.0 * kPi * n / kN); }

    static void Transform(std::vector<Complex>& x, bool inverse)
    {
        for (int i = 1, j = 0; i < kN; ++i)
        {
            int bit = kN >> 1;
            for (; j & bit; bit >>= 1)
            {
                j ^= bit;
            }
            j ^= bit;
            if (i < j)
            {
                std::swap(x[i], x[j]);
            }
        }
        for (int b = 2; b <= kN; b <<= 1)
        {
            for (int s = 0; s < kN; s += b)
            {
                for (int j = 0; j < b / 2; ++j)
                {
                    const Complex t = std::polar(1.0, (inverse ? 2.0 : -2.0) * kPi * j / b);
                    const Complex u = x[s + j], v = t * x[s + j + b / 2];
                    x[s + j] = u + v;
                    x[s + j + b / 2] = u - v;
                }
            }
        }
        if (inverse)
        {
            for (Complex& c : x)
            {
                c /= kN;
            }
        }
    }

    void Frame(int ch)
    {
        std::vector<Complex> analysis(kN), synthesis(kN);
        for (int n = 0; n < kN; ++n)
        {
            analysis[n] = mRing[ch][(mPosition + n) % kN] * Window(n);
        }
        Transform(analysis, false);
        for (int k = 1; k <= ShimmerShifter::kShiftedBins; ++k)
        {
            const double phase = std::arg(analysis[k]);
            const double expected = k * 2.0 * kPi * ShimmerShifter::kHop / kN;
            double deviation = phase - mPrevious[ch][k] - expected;
            mPrevious[ch][k] = phase;
            deviation -= std::round(deviation / (2.0 * kPi)) * 2.0 * kPi;
            mAccumulated[ch][k] =
                std::fmod(mAccumulated[ch][k] + 2.0 * (deviation + expected), 2.0 * kPi);
            synthesis[2 * k] = std::polar(std::abs(analysis[k]), mAccumulated[ch][k]);
        }
        for (int n = 1; n < kN / 2; ++n)
        {
            synthesis[kN - n] = std::conj(synthesis[n]);
        }
        Transform(synthesis, true);
        for (int n = 0; n < kN; ++n)
        {
            mOverlap[ch][(mPosition + n) % kN] += Window(n) * synthesis[n].real() * (2.0 / 3.0);
        }
    }

    double mRing[2][kN] = {};
    double mOverlap[2][kN] = {};
    double mPrevious[2][kN / 2 + 1] = {};
    double mAccumulated[2][kN / 2 + 1] = {};
    int mPosition = 0;
    int mHop = 0;
};

TEST(ShimmerShifterFft, ForwardOfKnownSignals)
{
    const auto shifter = MakeShifter();
    std::vector<float> re(kN), im(kN);
    // A complex exponential at bin 37 lands entirely in bin 37 with magnitude N.
    for (int n = 0; n < kN; ++n)
    {
        re[n] = static_cast<float>(std::cos(2.0 * kPi * 37 * n / kN));
        im[n] = static_cast<float>(std::sin(2.0 * kPi * 37 * n / kN));
    }
    shifter->Fft(re.data(), im.data(), kN, false);
    for (int k = 0; k < kN; ++k)
    {
        const double magnitude = std::hypot(re[k], im[k]);
        ASSERT_NEAR(magnitude, k == 37 ? kN : 0.0, 0.02) << k;
    }
    // An impulse at n = 1 gives e^(-2 pi i k / N).
    std::fill(re.begin(), re.end(), 0.0f);
    std::fill(im.begin(), im.end(), 0.0f);
    re[1] = 1.0f;
    shifter->Fft(re.data(), im.data(), kN, false);
    for (int k : {0, 1, 300, 1024, 2047})
    {
        EXPECT_NEAR(re[k], std::cos(-2.0 * kPi * k / kN), 1e-6) << k;
        EXPECT_NEAR(im[k], std::sin(-2.0 * kPi * k / kN), 1e-6) << k;
    }
}

// Every size against the direct sum: the sizes take the transform's pass structure (pairs of
// spans, then a single span or none) through each of its endings.
TEST(ShimmerShifterFft, ForwardEqualsTheDirectSumAtEverySize)
{
    const auto shifter = MakeShifter();
    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int size = 2; size <= kN; size *= 2)
    {
        std::vector<float> re(size), im(size);
        for (int i = 0; i < size; ++i)
        {
            re[i] = value(random);
            im[i] = value(random);
        }
        std::vector<std::complex<double>> expected(size);
        for (int k = 0; k < size; ++k)
        {
            for (int n = 0; n < size; ++n)
            {
                // The angle reduced exactly (k n mod size) keeps the sum's own error small.
                expected[k] += std::complex<double>(re[n], im[n]) *
                               std::polar(1.0, -2.0 * kPi * ((k * n) % size) / size);
            }
        }
        shifter->Fft(re.data(), im.data(), size, false);
        for (int k = 0; k < size; ++k)
        {
            ASSERT_NEAR(re[k], expected[k].real(), 2e-6 * size + 1e-5) << size << " " << k;
            ASSERT_NEAR(im[k], expected[k].imag(), 2e-6 * size + 1e-5) << size << " " << k;
        }
    }
}

// A quiet signal transforms into no denormal (each one stalls the processor, and a decaying tail
// passes through levels where a twiddle factor that should be 0 but is 6e-17 makes them): an
// impulse at the level SanitizeSample keeps at every size and place, forward and inverse.
TEST(ShimmerShifterFft, QuietSignalsGiveNoDenormals)
{
    const auto shifter = MakeShifter();
    for (int size = 4; size <= kN; size *= 2)
    {
        for (int at : {1, 3, size / 2 - 1, size - 1})
        {
            for (const bool inverse : {false, true})
            {
                std::vector<float> re(size), im(size);
                re[at] = 2e-25f;
                im[(at + 1) % size] = -3e-25f;
                shifter->Fft(re.data(), im.data(), size, inverse);
                for (int k = 0; k < size; ++k)
                {
                    ASSERT_NE(std::fpclassify(re[k]), FP_SUBNORMAL)
                        << size << " " << at << " " << k;
                    ASSERT_NE(std::fpclassify(im[k]), FP_SUBNORMAL)
                        << size << " " << at << " " << k;
                }
            }
        }
    }
}

TEST(ShimmerShifterFft, InverseUndoesForward)
{
    const auto shifter = MakeShifter();
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int size : {2, 8, 1024, 2048})
    {
        std::vector<float> re(size), im(size);
        for (int i = 0; i < size; ++i)
        {
            re[i] = value(random);
            im[i] = value(random);
        }
        const std::vector<float> re0 = re, im0 = im;
        shifter->Fft(re.data(), im.data(), size, false);
        shifter->Fft(re.data(), im.data(), size, true);
        for (int i = 0; i < size; ++i)
        {
            ASSERT_NEAR(re[i], re0[i], 1e-5) << size << " " << i;
            ASSERT_NEAR(im[i], im0[i], 1e-5) << size << " " << i;
        }
    }
}

TEST(ShimmerShifter, SilentUntilTheFirstFrame)
{
    const auto shifter = MakeShifter();
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const StereoOut out = RunShifter(*shifter,
                                     ShimmerShifter::kHop + 256,
                                     [&](int, float& l, float& r)
                                     {
                                         l = noise(random);
                                         r = noise(random);
                                     });
    for (int n = 0; n < ShimmerShifter::kHop; ++n)
    {
        ASSERT_EQ(out.left[n], 0.0f) << n;
        ASSERT_EQ(out.right[n], 0.0f) << n;
    }
    EXPECT_GT(Rms(out.left, ShimmerShifter::kHop, 256), 0.0);
}

// Each channel comes out an octave up, without the other channel's tone and with the original
// frequency at least 30 dB down. A steady sine of amplitude A comes out at about 2A/3: each frame
// resynthesises it at A/2 (the Hann-windowed bin magnitude), the synthesis windows sum to 2 at
// four-fold overlap, and the overlap gain is 2/3.
TEST(ShimmerShifter, ShiftsSteadySinesUpAnOctave)
{
    struct Case
    {
        double left, right;
    };
    const Case cases[] = {
        {64 * kFs / kN, 100 * kFs / kN}, // bin centres: 1500 Hz and 2343.75 Hz
        {1000.0, 440.0},                 // between bins
        {5 * kFs / kN, 300 * kFs / kN},  // near both ends of the shifted range
    };
    constexpr int kFrames = 48000;
    constexpr int kWindow = 16384;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.left << " Hz / " << c.right << " Hz");
        const auto shifter = MakeShifter();
        const StereoOut out = RunShifter(*shifter, kFrames, Sines(c.left, c.right));
        const int start = kFrames - kWindow;
        const std::vector<float>* channels[2] = {&out.left, &out.right};
        const double hz[2] = {c.left, c.right};
        for (int ch = 0; ch < 2; ++ch)
        {
            const double octave = Amplitude(*channels[ch], start, kWindow, 2.0 * hz[ch]);
            const double original = Amplitude(*channels[ch], start, kWindow, hz[ch]);
            const double other = Amplitude(*channels[ch], start, kWindow, 2.0 * hz[1 - ch]);
            EXPECT_GT(Db(octave / original), 30.0) << "channel " << ch;
            EXPECT_GT(Db(octave / other), 30.0) << "channel " << ch;
            EXPECT_NEAR(Db(octave / (0.5 * 2.0 / 3.0)), 0.0, 1.5) << "channel " << ch;
        }
    }
}

TEST(ShimmerShifter, DropsEverythingAboveAQuarterOfTheRate)
{
    const auto shifter = MakeShifter();
    const StereoOut out = RunShifter(*shifter, 24000, Sines(700 * kFs / kN, 0.3 * kFs));
    EXPECT_LT(Db(Rms(out.left, 8192, 8192) / 0.35), -90.0);
    EXPECT_LT(Db(Rms(out.right, 8192, 8192) / 0.35), -90.0);
}

// The shared transform and the phasor arithmetic give the plain form's output to rounding.
TEST(ShimmerShifter, MatchesThePlainAngleBasedForm)
{
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    const auto shifter = MakeShifter();
    const auto reference = std::make_unique<ReferenceShifter>();
    constexpr int kFrames = 12000;
    double errorSquares = 0.0, signalSquares = 0.0;
    for (int n = 0; n < kFrames; ++n)
    {
        const float l = 0.4f * std::sin(0.07f * n) + noise(random);
        const float r = n > 5000 ? 0.0f : 0.3f * std::sin(0.31f * n) + 0.5f * noise(random);
        float outL = 0.0f, outR = 0.0f, refL = 0.0f, refR = 0.0f;
        shifter->Exchange(l, r, outL, outR);
        reference->Exchange(l, r, refL, refR);
        errorSquares += double(outL - refL) * (outL - refL) + double(outR - refR) * (outR - refR);
        signalSquares += double(refL) * refL + double(refR) * refR;
    }
    ASSERT_GT(signalSquares, 100.0);
    EXPECT_LT(Db(std::sqrt(errorSquares / signalSquares)), -80.0);
}

TEST(ShimmerShifter, ResetEqualsAFreshInstance)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> input(2 * 6000);
    for (float& x : input)
    {
        x = noise(random);
    }
    const auto source = [&](int n, float& l, float& r)
    {
        l = input[2 * n];
        r = input[2 * n + 1] + 0.5f * std::sin(0.05f * n);
    };

    const auto used = MakeShifter();
    RunShifter(*used, 3333, Sines(700.0, 900.0));
    used->Reset();
    const StereoOut afterReset = RunShifter(*used, 6000, source);
    const auto fresh = MakeShifter();
    const StereoOut fromFresh = RunShifter(*fresh, 6000, source);
    EXPECT_EQ(afterReset.left, fromFresh.left);
    EXPECT_EQ(afterReset.right, fromFresh.right);
}

TEST(ShimmerShifter, BadInputStaysOut)
{
    const float bursts[] = {std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            1e6f,
                            -1e6f};
    constexpr int kFrames = 20000;
    const auto tone = [](int n) { return 0.3f * std::sin(0.1f * n); };
    const auto dirty = MakeShifter();
    const StereoOut out = RunShifter(*dirty,
                                     kFrames,
                                     [&](int n, float& l, float& r)
                                     {
                                         l = r = tone(n);
                                         if (n >= 3000 && n < 3100)
                                         {
                                             l = bursts[n % 5];
                                             r = bursts[(n + 2) % 5];
                                         }
                                     });
    for (int n = 0; n < kFrames; ++n)
    {
        ASSERT_TRUE(std::isfinite(out.left[n]) && std::fabs(out.left[n]) <= 64.0f) << n;
        ASSERT_TRUE(std::isfinite(out.right[n]) && std::fabs(out.right[n]) <= 64.0f) << n;
    }
    // Once the burst has left the analysis window the shifted tone is back at its clean level.
    const auto clean = MakeShifter();
    const StereoOut reference =
        RunShifter(*clean, kFrames, [&](int n, float& l, float& r) { l = r = tone(n); });
    const double octaveHz = 2.0 * 0.1 * kFs / (2.0 * kPi);
    const int start = kFrames - 8192;
    EXPECT_NEAR(Db(Amplitude(out.left, start, 8192, octaveHz) /
                   Amplitude(reference.left, start, 8192, octaveHz)),
                0.0,
                1.0);
}

TEST(ShimmerShifter, ProcessingAllocatesNothing)
{
    const auto shifter = MakeShifter();
    test::AllocationGuard guard;
    float sum = 0.0f;
    for (int n = 0; n < 10 * ShimmerShifter::kHop; ++n)
    {
        float l = 0.0f, r = 0.0f;
        shifter->Exchange(std::sin(0.01f * n), std::cos(0.02f * n), l, r);
        sum += l + r;
    }
    shifter->Reset();
    EXPECT_EQ(guard.Count(), 0u);
    EXPECT_TRUE(std::isfinite(sum));
}

} // namespace
} // namespace lumenfall::engine
