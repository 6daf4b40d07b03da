#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <limits>
#include <vector>

namespace lumenfall::test
{

/// Energy decay curve of a stereo impulse response in dB (Schroeder backward integration of
/// the summed channel energy), 0 dB at the first sample.
inline std::vector<double> EnergyDecayCurve(const std::vector<float>& left,
                                            const std::vector<float>& right)
{
    const std::size_t n = left.size();
    std::vector<double> curve(n);
    double remaining = 0.0;
    for (std::size_t i = n; i-- > 0;)
    {
        remaining +=
            static_cast<double>(left[i]) * left[i] + static_cast<double>(right[i]) * right[i];
        curve[i] = remaining;
    }
    const double total = n > 0 ? curve[0] : 0.0;
    for (double& value : curve)
    {
        value = total > 0.0 && value > 0.0 ? 10.0 * std::log10(value / total) : -400.0;
    }
    return curve;
}

/// Reverberation time from the least-squares line through the decay curve between -5 and
/// -35 dB, extrapolated to -60 dB. NaN when the curve does not reach -35 dB.
inline double DecayTimeT30(const std::vector<double>& curveDb, double sampleRate)
{
    double n = 0.0, st = 0.0, sy = 0.0, stt = 0.0, sty = 0.0;
    bool reached = false;
    for (std::size_t i = 0; i < curveDb.size(); ++i)
    {
        const double y = curveDb[i];
        if (y > -5.0)
        {
            continue;
        }
        if (y < -35.0)
        {
            reached = true;
            break;
        }
        const double t = static_cast<double>(i) / sampleRate;
        n += 1.0;
        st += t;
        sy += y;
        stt += t * t;
        sty += t * y;
    }
    if (!reached || n < 2.0)
    {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const double slope = (n * sty - st * sy) / (n * stt - st * st);
    return -60.0 / slope;
}

/// x through a second-order band-pass of about one octave (Q 1.41) centred on `hz`, unity gain
/// at the centre: for decay times of one frequency band.
inline std::vector<float> OctaveBand(const std::vector<float>& x, double hz, double rate)
{
    const double w = 6.283185307179586 * hz / rate;
    const double alpha = std::sin(w) / (2.0 * 1.41);
    const double a0 = 1.0 + alpha;
    const double b0 = alpha / a0, a1 = -2.0 * std::cos(w) / a0, a2 = (1.0 - alpha) / a0;
    std::vector<float> y(x.size());
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i)
    {
        const double v = b0 * (x[i] - x2) - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x[i];
        y2 = y1;
        y1 = v;
        y[i] = static_cast<float>(v);
    }
    return y;
}

/// Root mean square of x[begin, end).
inline double Rms(const std::vector<float>& x, std::size_t begin, std::size_t end)
{
    double sum = 0.0;
    for (std::size_t i = begin; i < end; ++i)
    {
        sum += static_cast<double>(x[i]) * x[i];
    }
    return end > begin ? std::sqrt(sum / static_cast<double>(end - begin)) : 0.0;
}

/// Amplitude of the component at `hz` in x[start, start + length), Hann-windowed and normalised
/// so that a sine of amplitude A reads A.
inline double ToneAmplitude(
    const std::vector<float>& x, std::size_t start, std::size_t length, double hz, double rate)
{
    constexpr double kTwoPi = 6.283185307179586;
    std::complex<double> sum = 0.0;
    double windowSum = 0.0;
    for (std::size_t n = 0; n < length; ++n)
    {
        const double w = 0.5 - 0.5 * std::cos(kTwoPi * static_cast<double>(n) / length);
        sum += w * x[start + n] * std::polar(1.0, -kTwoPi * hz * static_cast<double>(n) / rate);
        windowSum += w;
    }
    return 2.0 * std::abs(sum) / windowSum;
}

inline double ToDb(double ratio)
{
    return 20.0 * std::log10(ratio);
}

} // namespace lumenfall::test
