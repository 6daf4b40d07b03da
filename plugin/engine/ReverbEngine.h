#pragma once

#include "plugin/engine/InstructionSet.h"
#include "plugin/engine/Parameters.h"

#include <cstdint>
#include <memory>

namespace lumenfall::engine
{

struct ReverbEngineState;
struct ReverbEngineTestAccess; // the tests' view into the private state, defined by the tests

/// The one object through which the rest of the system reaches the signal processing.
/// Around its two reverb cores it does per-sample parameter smoothing, a coefficient refresh
/// every 32 samples, crossfaded model changes, the free or tempo-synced pre-delay, the onset
/// detector of the gate and reverse envelopes, ducking, width, mix and wet solo, the
/// crossfaded bypass, the trims and the meters.
///
/// Threads: Prepare, SetParameters, SetTempo and Process are called from one thread at a
/// time; GetMeterLevels from any thread at any time. Process never allocates, locks or
/// throws; the working state is allocated once, by the first successful Prepare.
class ReverbEngine
{
public:
    ReverbEngine();
    ~ReverbEngine();
    ReverbEngine(const ReverbEngine&) = delete;
    ReverbEngine& operator=(const ReverbEngine&) = delete;

    /// [!audio-thread] Prepares for a sample rate (48000 when not finite, else held to
    /// [22050, 192000]) and a channel count (held to [1, 2]); sizes every delay line and resets
    /// all audio state to the current parameter block, so the engine starts fully settled.
    /// May allocate; never throws. Returns false when memory cannot be had: the engine is then
    /// unprepared and passes its input through.
    bool Prepare(double sampleRate, int channels);

    /// [audio-thread] Clamps the 32 values (ParamId order) into the parameter table and makes
    /// them the smoothing target. A null pointer sets the defaults.
    void SetParameters(const float* values);
    void SetParameters(const EngineParameters& parameters);

    /// [audio-thread] Tempo in beats per minute for the synced pre-delay: 120 when not finite,
    /// else held to [20, 400].
    void SetTempo(double bpm);

    /// [audio-thread] Processes `frames` samples. inputs and outputs are arrays of two channel
    /// pointers; a null input array or channel reads as silence, a null output array does
    /// nothing, a null output channel is not written. Input and output may share memory.
    /// With one channel prepared the right input is the left one and both outputs carry the
    /// mono result. forceBypass acts like "Bypass" on. Unprepared, each output receives its
    /// own input, sanitised.
    void Process(const float* const* inputs, float* const* outputs, int frames, bool forceBypass);

    /// [any-thread] The levels of the last processed block: each value is read whole (relaxed
    /// atomics) but two values may come from different blocks.
    MeterLevels GetMeterLevels() const { return mMeters.Load(); }

    /// False until a Prepare succeeds, and again after one that could not get its memory.
    bool IsPrepared() const { return mPrepared; }
    /// The prepared sample rate and channel count (48000 and 2 before preparation).
    double SampleRate() const;
    int Channels() const;
    /// The clamped parameter block last set.
    const EngineParameters& Parameters() const { return mParameters; }
    /// The tempo last set, held in range.
    double Tempo() const { return mTempo; }

    /// Test hook: runs the straightforward per-sample form instead of the block form. Both
    /// give the same output to float rounding; the first is the oracle of the second.
    void SetReferenceProcessing(bool reference) { mReference = reference; }

    /// Test hook: runs the block form on `set` when this CPU has it, else on the widest set it
    /// has (the default); returns the set in use. Both give the same output to float rounding.
    InstructionSet SetInstructionSet(InstructionSet set);

private:
    friend struct ReverbEngineTestAccess;

    void ProcessUnprepared(const float* const* inputs, float* const* outputs, int frames);

    std::unique_ptr<ReverbEngineState> mState;
    EngineParameters mParameters;
    double mTempo = 120.0;
    AtomicMeterLevels mMeters;
    bool mPrepared = false;
    bool mReference = false;
    InstructionSet mInstructionSet = DetectInstructionSet();
};

} // namespace lumenfall::engine
