#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>

namespace lumenfall::engine
{

/// The effect's parameters, in the fixed order of every float[32] block of the system (engine
/// parameter blocks, A/B slots, the saved state, factory presets).
enum class ParamId : int
{
    ReverbType,
    Decay,
    PreDelay,
    Size,
    Mix,
    Width,
    Tone,
    InputTrim,
    OutputTrim,
    EarlyReflections,
    LateTail,
    Diffusion,
    Density,
    LowCut,
    HighCut,
    BassDecay,
    TrebleDecay,
    BassCrossover,
    HFDamping,
    ModulationDepth,
    ModulationRate,
    Ducking,
    DuckRelease,
    GateLength,
    EnvelopeShape,
    ShimmerAmount,
    Freeze,
    Bypass,
    PreDelaySync,
    NoteDivision,
    GateRelease,
    WetSolo,
    Count
};

/// Number of parameters: the length of every parameter block.
inline constexpr int kParamCount = static_cast<int>(ParamId::Count);

/// The value of "Reverb Type".
enum class ReverbModel : int
{
    Ambience,
    SmallRoom,
    Studio,
    Chamber,
    Hall,
    Cathedral,
    Plate,
    Spring,
    VintageDigital,
    ModernDigital,
    Gated,
    Reverse,
    Shimmer,
    Count
};

/// Number of reverb models.
inline constexpr int kReverbModelCount = static_cast<int>(ReverbModel::Count);

/// The value of "Note Division": the tempo-synced pre-delay lengths.
enum class NoteDivision : int
{
    Div1_64,
    Div1_32,
    Div1_16,
    Div1_8,
    Div1_4,
    Div1_2,
    Div1_1,
    Div1_8Dotted,
    Div1_4Dotted,
    Div1_8Triplet,
    Div1_4Triplet,
    Count
};

/// Number of note divisions.
inline constexpr int kNoteDivisionCount = static_cast<int>(NoteDivision::Count);

/// Display names of the models ("Ambience" ... "Shimmer") and of the note divisions
/// ("1/64" ... "1/4 triplet"). Every table here is sized by its list (std::to_array): a list of
/// the wrong length fails to compile, where a std::array with too few initialisers would leave
/// its last entries null or 0.
inline constexpr std::array<const char*, kReverbModelCount> kReverbModelNames =
    std::to_array<const char*>({
        "Ambience",
        "Small Room",
        "Studio",
        "Chamber",
        "Hall",
        "Cathedral",
        "Plate",
        "Spring",
        "Vintage Digital",
        "Modern Digital",
        "Gated",
        "Reverse",
        "Shimmer",
    });

inline constexpr std::array<const char*, kNoteDivisionCount> kNoteDivisionNames =
    std::to_array<const char*>({
        "1/64",
        "1/32",
        "1/16",
        "1/8",
        "1/4",
        "1/2",
        "1/1",
        "1/8 dotted",
        "1/4 dotted",
        "1/8 triplet",
        "1/4 triplet",
    });

/// Length of each note division in quarter notes: a synced time is 60000 / BPM x factor ms.
inline constexpr std::array<float, kNoteDivisionCount> NoteDivisionFactors = std::to_array<float>(
    {0.0625f, 0.125f, 0.25f, 0.5f, 1.0f, 2.0f, 4.0f, 0.75f, 1.5f, 1.0f / 3.0f, 2.0f / 3.0f});

/// How a parameter takes its values.
enum class ParamKind : int
{
    Continuous, ///< any value in [minimum, maximum]; a control moves it in steps of `step`
    Switch,     ///< 0 (off) or 1 (on)
    Choice,     ///< a whole index 0 .. maximum into the row's `choices`
    Count
};

/// How a control's travel t in [0, 1] maps onto a continuous parameter's range.
enum class ParamShape : int
{
    Linear,  ///< minimum + t x range
    Squared, ///< minimum + t^2 x range: finer control at the low end of wide ranges
    Count
};

/// Row flags, a bit set.
enum ParamFlag : unsigned
{
    kParamNoFlags = 0,
    /// The engine takes a new value at once instead of gliding to it: a glide between two
    /// models, two divisions or sync on and off would mean nothing.
    kParamUnsmoothed = 1u << 0,
};

/// One parameter's facts: everything the engine, the plug-in's declaration and the state
/// validator read. `step` is the declared step (1 for switches and choices); double, so that
/// 0.01 reaches the host as the double 0.01. `choices` names a Choice's values, in order.
struct ParamRow
{
    ParamId id;
    const char* name;
    const char* unit;
    float defaultValue;
    float minimum;
    float maximum;
    ParamKind kind;
    double step;
    ParamShape shape;
    unsigned flags;
    std::span<const char* const> choices;
};

/// True when `rows` holds one row per parameter, the row of ParamId i at index i. Tables kept
/// in ParamId order (the editor's texts too) assert it.
template <typename Row, std::size_t N>
constexpr bool RowsFollowParamIds(const Row (&rows)[N])
{
    if (N != static_cast<std::size_t>(kParamCount))
    {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i)
    {
        if (static_cast<std::size_t>(rows[i].id) != i)
        {
            return false;
        }
    }
    return true;
}

namespace detail
{

using P = ParamId;
using ParamKind::Choice;
using ParamKind::Continuous;
using ParamKind::Switch;
using ParamShape::Linear;
using ParamShape::Squared;
inline constexpr std::span<const char* const> kNoChoices{};
inline constexpr std::span<const char* const> kModels{kReverbModelNames};
inline constexpr std::span<const char* const> kDivisions{kNoteDivisionNames};

// clang-format off
inline constexpr ParamRow kParamRows[] = {
    // id                 name                 unit  default   min      max       kind        step   shape    flags             choices
    {P::ReverbType,       "Reverb Type",       "",   4.0f,     0.0f,    12.0f,    Choice,     1.0,   Linear,  kParamUnsmoothed, kModels},
    {P::Decay,            "Decay",             "s",  2.4f,     0.08f,   30.0f,    Continuous, 0.001, Squared, kParamNoFlags,    kNoChoices},
    {P::PreDelay,         "Pre-delay",         "ms", 22.0f,    0.0f,    500.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::Size,             "Size",              "%",  100.0f,   10.0f,   200.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::Mix,              "Mix",               "%",  25.0f,    0.0f,    100.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::Width,            "Width",             "%",  100.0f,   0.0f,    200.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::Tone,             "Tone",              "%",  0.0f,     -100.0f, 100.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::InputTrim,        "Input Trim",        "dB", 0.0f,     -24.0f,  24.0f,    Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::OutputTrim,       "Output Trim",       "dB", 0.0f,     -24.0f,  12.0f,    Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::EarlyReflections, "Early Reflections", "%",  65.0f,    0.0f,    100.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::LateTail,         "Late Tail",         "%",  85.0f,    0.0f,    100.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::Diffusion,        "Diffusion",         "%",  80.0f,    0.0f,    100.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::Density,          "Density",           "%",  85.0f,    0.0f,    100.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::LowCut,           "Low Cut",           "Hz", 80.0f,    20.0f,   2000.0f,  Continuous, 1.0,   Squared, kParamNoFlags,    kNoChoices},
    {P::HighCut,          "High Cut",          "Hz", 16000.0f, 1000.0f, 22000.0f, Continuous, 1.0,   Squared, kParamNoFlags,    kNoChoices},
    {P::BassDecay,        "Bass Decay",        "x",  1.0f,     0.25f,   2.5f,     Continuous, 0.001, Linear,  kParamNoFlags,    kNoChoices},
    {P::TrebleDecay,      "Treble Decay",      "x",  0.65f,    0.1f,    2.0f,     Continuous, 0.001, Linear,  kParamNoFlags,    kNoChoices},
    {P::BassCrossover,    "Bass Crossover",    "Hz", 350.0f,   80.0f,   2000.0f,  Continuous, 1.0,   Squared, kParamNoFlags,    kNoChoices},
    {P::HFDamping,        "HF Damping",        "Hz", 6500.0f,  1000.0f, 20000.0f, Continuous, 1.0,   Squared, kParamNoFlags,    kNoChoices},
    {P::ModulationDepth,  "Modulation Depth",  "%",  15.0f,    0.0f,    100.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::ModulationRate,   "Modulation Rate",   "Hz", 0.35f,    0.05f,   5.0f,     Continuous, 0.001, Linear,  kParamNoFlags,    kNoChoices},
    {P::Ducking,          "Ducking",           "%",  0.0f,     0.0f,    100.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::DuckRelease,      "Duck Release",      "ms", 250.0f,   20.0f,   2000.0f,  Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::GateLength,       "Gate Length",       "ms", 450.0f,   50.0f,   2000.0f,  Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::EnvelopeShape,    "Envelope Shape",    "%",  0.0f,     -100.0f, 100.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::ShimmerAmount,    "Shimmer Amount",    "%",  35.0f,    0.0f,    100.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::Freeze,           "Freeze",            "",   0.0f,     0.0f,    1.0f,     Switch,     1.0,   Linear,  kParamNoFlags,    kNoChoices},
    {P::Bypass,           "Bypass",            "",   0.0f,     0.0f,    1.0f,     Switch,     1.0,   Linear,  kParamNoFlags,    kNoChoices},
    {P::PreDelaySync,     "Pre-delay Sync",    "",   0.0f,     0.0f,    1.0f,     Switch,     1.0,   Linear,  kParamUnsmoothed, kNoChoices},
    {P::NoteDivision,     "Note Division",     "",   4.0f,     0.0f,    10.0f,    Choice,     1.0,   Linear,  kParamUnsmoothed, kDivisions},
    {P::GateRelease,      "Gate Release",      "ms", 80.0f,    5.0f,    500.0f,   Continuous, 0.01,  Linear,  kParamNoFlags,    kNoChoices},
    {P::WetSolo,          "Wet Solo",          "",   0.0f,     0.0f,    1.0f,     Switch,     1.0,   Linear,  kParamNoFlags,    kNoChoices},
};
// clang-format on

static_assert(RowsFollowParamIds(kParamRows), "one row per ParamId, in ParamId order");

// What the readers rely on: a switch is 0 or 1 and unitless; a choice is unitless, whole and
// names each of its values 0 .. maximum; only continuous rows are shaped or name no choices.
constexpr bool RowIsWellFormed(const ParamRow& r)
{
    const bool unitless = r.unit[0] == '\0';
    switch (r.kind)
    {
    case ParamKind::Switch:
        return unitless && r.minimum == 0.0f && r.maximum == 1.0f && r.step == 1.0 &&
               r.shape == ParamShape::Linear && r.choices.empty();
    case ParamKind::Choice:
        return unitless && r.minimum == 0.0f && r.step == 1.0 && r.shape == ParamShape::Linear &&
               r.maximum + 1.0f == static_cast<float>(r.choices.size()) &&
               r.defaultValue == static_cast<float>(static_cast<int>(r.defaultValue));
    case ParamKind::Continuous:
        return r.step > 0.0 && r.choices.empty();
    default:
        return false;
    }
}

constexpr bool RowsAreWellFormed()
{
    for (const ParamRow& row : kParamRows)
    {
        if (!RowIsWellFormed(row) || !(row.minimum < row.maximum) ||
            row.defaultValue < row.minimum || row.defaultValue > row.maximum)
        {
            return false;
        }
    }
    return true;
}

static_assert(RowsAreWellFormed(), "a row breaks its kind's rules or holds its default outside");

template <typename T, typename Field>
constexpr std::array<T, kParamCount> ParamColumn(Field field)
{
    std::array<T, kParamCount> column{};
    for (int i = 0; i < kParamCount; ++i)
    {
        column[i] = field(kParamRows[i]);
    }
    return column;
}

} // namespace detail

/// The constant parameter table, split into parallel arrays indexed by ParamId: display name,
/// unit, default, minimum, maximum, kind, step, shape and flags. Units are exactly one of "s",
/// "ms", "%", "dB", "Hz", "x" or "" (value formatting keys on them).
struct ParamTables
{
    static constexpr std::array<const char*, kParamCount> kNames =
        detail::ParamColumn<const char*>([](const ParamRow& r) { return r.name; });
    static constexpr std::array<const char*, kParamCount> kUnits =
        detail::ParamColumn<const char*>([](const ParamRow& r) { return r.unit; });
    static constexpr std::array<float, kParamCount> kDefaults =
        detail::ParamColumn<float>([](const ParamRow& r) { return r.defaultValue; });
    static constexpr std::array<float, kParamCount> kMinimums =
        detail::ParamColumn<float>([](const ParamRow& r) { return r.minimum; });
    static constexpr std::array<float, kParamCount> kMaximums =
        detail::ParamColumn<float>([](const ParamRow& r) { return r.maximum; });
    static constexpr std::array<ParamKind, kParamCount> kKinds =
        detail::ParamColumn<ParamKind>([](const ParamRow& r) { return r.kind; });
    static constexpr std::array<double, kParamCount> kSteps =
        detail::ParamColumn<double>([](const ParamRow& r) { return r.step; });
    static constexpr std::array<ParamShape, kParamCount> kShapes =
        detail::ParamColumn<ParamShape>([](const ParamRow& r) { return r.shape; });
    static constexpr std::array<unsigned, kParamCount> kFlags =
        detail::ParamColumn<unsigned>([](const ParamRow& r) { return r.flags; });
};

/// Table accessors. Index checking is the caller's: `index` must lie in [0, kParamCount).
constexpr const char* ParamName(int index)
{
    return ParamTables::kNames[index];
}
constexpr const char* ParamUnit(int index)
{
    return ParamTables::kUnits[index];
}
constexpr float ParamDefault(int index)
{
    return ParamTables::kDefaults[index];
}
constexpr float ParamMinimum(int index)
{
    return ParamTables::kMinimums[index];
}
constexpr float ParamMaximum(int index)
{
    return ParamTables::kMaximums[index];
}
constexpr const char* ParamName(ParamId id)
{
    return ParamName(static_cast<int>(id));
}
constexpr const char* ParamUnit(ParamId id)
{
    return ParamUnit(static_cast<int>(id));
}
constexpr float ParamDefault(ParamId id)
{
    return ParamDefault(static_cast<int>(id));
}
constexpr float ParamMinimum(ParamId id)
{
    return ParamMinimum(static_cast<int>(id));
}
constexpr float ParamMaximum(ParamId id)
{
    return ParamMaximum(static_cast<int>(id));
}
constexpr ParamKind ParamKindOf(ParamId id)
{
    return ParamTables::kKinds[static_cast<int>(id)];
}
constexpr double ParamStep(ParamId id)
{
    return ParamTables::kSteps[static_cast<int>(id)];
}
constexpr ParamShape ParamShapeOf(ParamId id)
{
    return ParamTables::kShapes[static_cast<int>(id)];
}
/// The display names of a Choice's values 0 .. maximum; empty for the other kinds.
constexpr std::span<const char* const> ParamChoices(ParamId id)
{
    return detail::kParamRows[static_cast<int>(id)].choices;
}

/// True for the on/off parameters ("Freeze", "Bypass", "Pre-delay Sync", "Wet Solo").
constexpr bool ParamIsSwitch(ParamId id)
{
    return ParamKindOf(id) == ParamKind::Switch;
}

/// True for the parameters that take only whole values: the switches, "Reverb Type" and
/// "Note Division".
constexpr bool ParamIsWholeNumber(ParamId id)
{
    return ParamKindOf(id) != ParamKind::Continuous;
}

/// True for the parameters the engine glides to a new value; false for "Reverb Type",
/// "Pre-delay Sync" and "Note Division", which it takes at once.
constexpr bool ParamIsSmoothed(ParamId id)
{
    return (ParamTables::kFlags[static_cast<int>(id)] & kParamUnsmoothed) == 0;
}

/// Display name of a model or division; "" when the index is out of range.
constexpr const char* ReverbModelName(int model)
{
    return model >= 0 && model < kReverbModelCount ? kReverbModelNames[model] : "";
}
constexpr const char* NoteDivisionName(int division)
{
    return division >= 0 && division < kNoteDivisionCount ? kNoteDivisionNames[division] : "";
}

/// The 32 parameter values in ParamId order, each in its own unit (never normalised).
/// Default-constructed it holds the defaults column. Travels by value.
struct EngineParameters
{
    std::array<float, kParamCount> values = ParamTables::kDefaults;

    float& operator[](ParamId id) { return values[static_cast<int>(id)]; }
    float operator[](ParamId id) const { return values[static_cast<int>(id)]; }
    float& operator[](int index) { return values[index]; }
    float operator[](int index) const { return values[index]; }
};

/// The four meter values of one processed block (linear; 1 = full scale).
struct MeterLevels
{
    float inputPeak = 0.0f;     ///< largest |input| over both channels, before the input trim
    float wetPeak = 0.0f;       ///< largest |wet| after width, before ducking, mix and trim
    float outputPeak = 0.0f;    ///< largest |output|
    float duckReduction = 0.0f; ///< largest 1 - duck gain (0 = no reduction)
};

/// MeterLevels shared between the audio thread (one relaxed store per value and block) and any
/// reader (relaxed loads). A reader sees each value whole but may mix two blocks; that is accepted.
class AtomicMeterLevels
{
public:
    static_assert(std::atomic<float>::is_always_lock_free);

    /// [audio-thread] Publishes one block's levels.
    void Store(const MeterLevels& levels)
    {
        mInputPeak.store(levels.inputPeak, std::memory_order_relaxed);
        mWetPeak.store(levels.wetPeak, std::memory_order_relaxed);
        mOutputPeak.store(levels.outputPeak, std::memory_order_relaxed);
        mDuckReduction.store(levels.duckReduction, std::memory_order_relaxed);
    }

    /// [any-thread] A snapshot of the four values.
    MeterLevels Load() const
    {
        MeterLevels levels;
        levels.inputPeak = mInputPeak.load(std::memory_order_relaxed);
        levels.wetPeak = mWetPeak.load(std::memory_order_relaxed);
        levels.outputPeak = mOutputPeak.load(std::memory_order_relaxed);
        levels.duckReduction = mDuckReduction.load(std::memory_order_relaxed);
        return levels;
    }

    /// [any-thread] Sets all four to 0 (atomic exchanges).
    void Clear()
    {
        mInputPeak.exchange(0.0f, std::memory_order_relaxed);
        mWetPeak.exchange(0.0f, std::memory_order_relaxed);
        mOutputPeak.exchange(0.0f, std::memory_order_relaxed);
        mDuckReduction.exchange(0.0f, std::memory_order_relaxed);
    }

private:
    std::atomic<float> mInputPeak{0.0f};
    std::atomic<float> mWetPeak{0.0f};
    std::atomic<float> mOutputPeak{0.0f};
    std::atomic<float> mDuckReduction{0.0f};
};

/// Clamps `values` (kParamCount floats in ParamId order) into the table: a non-finite value
/// becomes the default, others are held in [minimum, maximum]; then "Reverb Type" and
/// "Note Division" are rounded (halves away from zero) and the switches become 1 when >= 0.5,
/// else 0. A null pointer gives the defaults. Pure.
EngineParameters ClampEngineParameters(const float* values);

inline EngineParameters ClampEngineParameters(const EngineParameters& parameters)
{
    return ClampEngineParameters(parameters.values.data());
}

/// The guard on every value the engine stores or outputs: 0 for NaN, infinity and |x| <= 1e-25
/// (flushing denormals and near-denormals), otherwise x held in [-64, 64].
inline float SanitizeSample(float x)
{
    // Branch-free (min, max, compares and a select) so that loops over it vectorise.
    const float magnitude = std::fabs(x);
    const float held = std::min(std::max(x, -64.0f), 64.0f);
    const bool keep = (magnitude > 1e-25f) & (magnitude <= std::numeric_limits<float>::max());
    return keep ? held : 0.0f;
}

} // namespace lumenfall::engine
