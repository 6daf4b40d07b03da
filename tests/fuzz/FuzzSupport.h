// Deterministic randomness for the fuzz tests: a small generator whose sequence is the same
// on every compiler and platform (the standard distributions are not), and the mutations a
// corrupted or hostile byte stream goes through.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace lumenfall::test
{

/// SplitMix64: fixed seed in, the same numbers out everywhere. The environment variable
/// LUMENFALL_FUZZ_SEED, when set, is mixed into every seed, so that a longer hunt can run
/// other sequences by hand; unset (as in CI) every run is the same run.
class FuzzRng
{
public:
    explicit FuzzRng(std::uint64_t seed)
        : mState(seed ^ ExtraSeed())
    {
    }

    static std::uint64_t ExtraSeed()
    {
        static const std::uint64_t extra = []
        {
            const char* text = std::getenv("LUMENFALL_FUZZ_SEED");
            return text ? std::strtoull(text, nullptr, 0) * 0x9E3779B97F4A7C15ull : 0;
        }();
        return extra;
    }

    std::uint64_t Next()
    {
        std::uint64_t z = (mState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t Next32() { return static_cast<std::uint32_t>(Next() >> 32); }
    /// Uniform in [0, n); 0 for n <= 0.
    int Below(int n)
    {
        return n > 0 ? static_cast<int>(Next() % static_cast<std::uint64_t>(n)) : 0;
    }
    /// Uniform in [lo, hi].
    int Range(int lo, int hi) { return lo + Below(hi - lo + 1); }
    bool OneIn(int n) { return Below(n) == 0; }
    /// Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }

    /// A value a hostile caller might pass where a number is expected: NaN, infinities,
    /// zeros of both signs, the limits, a denormal, something just outside [0, 1], or an
    /// ordinary value.
    double NastyDouble()
    {
        static constexpr double kEdgeValues[] = {
            std::numeric_limits<double>::quiet_NaN(),
            -std::numeric_limits<double>::quiet_NaN(),
            std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(),
            0.0,
            -0.0,
            1.0,
            -1.0,
            1e300,
            -1e300,
            std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::max(),
            std::numeric_limits<double>::lowest(),
            1.0 + 1e-12,
            -1e-12,
            0.5,
        };
        if (OneIn(3))
            return kEdgeValues[Below(static_cast<int>(std::size(kEdgeValues)))];
        return Uniform(-0.25, 1.25);
    }

    /// An int that is small, at a limit or random.
    std::int32_t NastyInt()
    {
        static constexpr std::int32_t kEdgeValues[] = {
            0,
            1,
            -1,
            2,
            std::numeric_limits<std::int32_t>::max(),
            std::numeric_limits<std::int32_t>::min(),
            std::numeric_limits<std::int32_t>::max() - 1,
            std::numeric_limits<std::int32_t>::min() + 1,
            65536,
            65537,
            1 << 20,
        };
        switch (Below(3))
        {
        case 0:
            return kEdgeValues[Below(static_cast<int>(std::size(kEdgeValues)))];
        case 1:
            return Range(-4, 64);
        default:
            return static_cast<std::int32_t>(Next32());
        }
    }

private:
    std::uint64_t mState;
};

/// Words a mutation writes over four aligned bytes: NaN, infinities, negative zero, the
/// extremes of int32 and small integers around the valid flags and indices.
inline std::uint32_t InterestingWord(FuzzRng& rng)
{
    static constexpr std::uint32_t kWords[] = {
        0x7FC00000u, // NaN
        0xFFC00000u, // -NaN
        0x7F800000u, // +inf
        0xFF800000u, // -inf
        0x80000000u, // -0.0f, INT32_MIN
        0x00000001u, // the smallest denormal, 1
        0x7F7FFFFFu, // FLT_MAX
        0x7FFFFFFFu, // INT32_MAX
        0xFFFFFFFFu, // -1
        0x00000000u,
        0x00000002u,
        0x00000019u, // 25, the last preset
        0x0000001Au, // 26
        0x3F800000u, // 1.0f
        0xBF800000u, // -1.0f
    };
    return kWords[rng.Below(static_cast<int>(std::size(kWords)))];
}

/// One to four random mutations of `bytes`: bit flips, byte writes, interesting words at
/// aligned positions, truncations, extensions, and splices from `donor` (another valid
/// stream), so that both framing and content get broken.
inline void
Mutate(std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& donor, FuzzRng& rng)
{
    const int count = rng.Range(1, 4);
    for (int m = 0; m < count; ++m)
    {
        const int size = static_cast<int>(bytes.size());
        switch (rng.Below(8))
        {
        case 0: // bit flip
        case 1:
            if (size > 0)
                bytes[static_cast<std::size_t>(rng.Below(size))] ^=
                    static_cast<std::uint8_t>(1u << rng.Below(8));
            break;
        case 2: // random byte
            if (size > 0)
                bytes[static_cast<std::size_t>(rng.Below(size))] =
                    static_cast<std::uint8_t>(rng.Next32());
            break;
        case 3: // interesting word at an aligned position
        case 4:
            if (size >= 4)
            {
                const std::uint32_t word = InterestingWord(rng);
                const int at = 4 * rng.Below(size / 4);
                std::memcpy(bytes.data() + at, &word, 4);
            }
            break;
        case 5: // truncation
            if (size > 0)
                bytes.resize(static_cast<std::size_t>(rng.Below(size)));
            break;
        case 6: // extension by a few bytes, or by a repeat of the stream
            if (rng.OneIn(4))
            {
                const std::vector<std::uint8_t> copy = bytes;
                bytes.insert(bytes.end(), copy.begin(), copy.end());
            }
            else
                for (int i = rng.Range(1, 8); i > 0; --i)
                    bytes.push_back(static_cast<std::uint8_t>(rng.Next32()));
            break;
        default: // splice: a run of the donor over the same place
            if (size > 0 && !donor.empty())
            {
                const int at = rng.Below(std::min(size, static_cast<int>(donor.size())));
                const int n = rng.Range(1, static_cast<int>(donor.size()) - at);
                for (int i = 0; i < n && at + i < size; ++i)
                    bytes[static_cast<std::size_t>(at + i)] =
                        donor[static_cast<std::size_t>(at + i)];
            }
            break;
        }
    }
}

/// Success when `a` equals `b`; otherwise the first differing offset and both bytes there.
inline ::testing::AssertionResult SameBytes(const std::vector<std::uint8_t>& a,
                                            const std::vector<std::uint8_t>& b)
{
    if (a == b)
        return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    auto byte = [](const std::vector<std::uint8_t>& v, std::size_t i)
    { return i < v.size() ? std::to_string(v[i]) : std::string("end"); };
    return ::testing::AssertionFailure()
           << "sizes " << a.size() << " and " << b.size() << ", first difference at byte " << at
           << ": " << byte(a, at) << " vs " << byte(b, at);
}

/// Random text for parsers: mostly the characters numbers and channel strings are made of,
/// sometimes any byte but NUL (including UTF-8 lead and continuation bytes).
inline std::string RandomText(FuzzRng& rng, const char* alphabet, int maxLength)
{
    const int alphabetSize = static_cast<int>(std::strlen(alphabet));
    std::string text;
    const int n = rng.Below(maxLength + 1);
    for (int i = 0; i < n; ++i)
    {
        if (rng.OneIn(8))
            text.push_back(static_cast<char>(rng.Range(1, 255)));
        else
            text.push_back(alphabet[rng.Below(alphabetSize)]);
    }
    return text;
}

} // namespace lumenfall::test
