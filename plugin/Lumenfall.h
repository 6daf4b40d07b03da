#pragma once

#include "plugin/FactoryPresets.h"
#include "plugin/LumenfallBase.h"
#include "plugin/PluginStateRecord.h"
#include "plugin/editor/EditorPlugin.h"
#include "plugin/engine/Parameters.h"
#include "plugin/engine/ReverbEngine.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace lumenfall
{

/// The reverb plug-in: 32 parameters, 26 factory presets, an A/B comparison slot, the saved
/// state record and the glue that feeds host blocks to the engine. The class body is the same
/// in every deliverable; only its base, the host adapter, differs (plugin/LumenfallBase.h). Its
/// editor reaches it through `editor::EditorPlugin` and the editor delegate only.
///
/// Threads: parameter values, the other A/B slot, the preset index, the slot flag, the
/// host-bypass flag, the sample rate, the tail and the meters are each atomic on their own; no
/// operation here takes a lock.
class Lumenfall final : public LumenfallBase, public editor::EditorPlugin
{
public:
    /// Frames per engine call; host blocks of any length are cut into chunks of this size.
    static constexpr int kChunkFrames = 512;
    /// The component state the host saves: the record, then the host-bypass flag as int32.
    static constexpr int kComponentStateSize = lumenfall::kComponentStateSize;
    static constexpr double kDefaultSampleRate = 48000.0;
    static constexpr double kDefaultTempo = 120.0;

    /// The configuration every adapter is constructed from.
    static plugkit::PluginConfig MakeConfig();

#if defined(LUMENFALL_BASE_APP)
    /// The stand-alone program's instance, owned by its application host.
    explicit Lumenfall(plugkit::app::StandaloneHost* host);
#else
    Lumenfall();
#endif
    ~Lumenfall() override;

    /// True when construction got all its parameters and factory presets; false only when
    /// memory ran out, and such an instance must not be handed to a host.
    bool IsComplete() const;

    using LumenfallBase::OnParamChange;

    // ---- Framework overrides.

    /// [ui-thread] The host resized the editor's parent window to `width` x `height` pixels:
    /// the editor keeps its 1100 x 760 layout and takes the draw scale that fits, held in
    /// [0.85, 1.5]; the window itself follows only when the scale was held.
    void OnParentWindowResize(int width, int height) override;
    /// [any-thread] "Freeze" changes the reported tail.
    void OnParamChange(int paramIdx) override;
    /// [ui-thread] Appends one state record: the current values, the other slot, the preset
    /// index and the active slot.
    bool SerializeState(plugkit::IStateChunk& chunk) const override;
    /// [ui-thread] Reads and applies a record at `startPos`; returns startPos + 276, or -1 with
    /// nothing changed and nobody notified when the record is short or invalid.
    int UnserializeState(const plugkit::IStateChunk& chunk, int startPos) override;

    // ---- Processing.

    /// [audio-thread] `nFrames` frames: pass-through while host-bypassed, silence while
    /// inactive, otherwise the engine in chunks of at most 512 frames. A mono input feeds both
    /// engine inputs, a mono output receives their average and outputs from the third on are
    /// silent.
    void ProcessBlock(float** inputs, float** outputs, int nFrames) override;
    /// [audio-thread & !active] Prepares the engine at the processor's sample rate (48000 Hz
    /// when it has none), with the current values; latency 0; meters 0; marks the plug-in
    /// active. Allocates nothing when the rate is that of the last preparation.
    void OnReset() override;
    /// [ui-thread & !active] As OnReset when `active`; otherwise marks the plug-in inactive
    /// and clears the meters.
    void OnActivate(bool active) override;

    // ---- Presets and A/B slots, for the editor (editor::EditorPlugin).

    /// [ui-thread] Applies preset `index` (0..25) with the host informed of every value and
    /// makes it the preset index; any other index is ignored.
    void SelectFactoryPreset(int index) override;
    /// [ui-thread] Sets all parameters from `values`; when `inform`, each value is its own
    /// begin, perform and end edit for the host. The editor receives every value, then the
    /// plug-in hears of all 32 changes with source "Preset".
    void ApplyValues(const std::array<float, kParamCount>& values, bool inform);
    /// [any-thread] The first factory preset the current values match, or -1 ("Custom").
    int FindMatchingPreset() const override;
    /// [ui-thread] The current values become the other slot's.
    void CopyToOtherSlot() override;
    /// [ui-thread] Exchanges the current values with the other slot (host informed) and
    /// toggles the active slot. The preset index stays.
    void SwitchABSlot() override;

    /// [any-thread] The last factory preset selected or restored, 0..25.
    int GetPresetIndex() const
    {
        return mPresetIndex.load(std::memory_order_relaxed);
    }
    /// [any-thread] 0 while slot A is active, 1 for slot B.
    int GetActiveSlot() const override
    {
        return mSlotFlag.load(std::memory_order_relaxed);
    }
    /// [any-thread] The values of the slot that is not active.
    std::array<float, kParamCount> GetOtherSlot() const;
    /// [any-thread] The 32 current values as floats, in `ParamId` order.
    void SnapshotValues(std::array<float, kParamCount>& out) const;

    /// [any-thread] The meter levels of the last host block: the largest levels over all its
    /// engine chunks; all 0 after a host-bypassed or inactive block, a deactivation or a
    /// preparation.
    engine::MeterLevels GetMeterLevels() const override
    {
        return mMeters.Load();
    }

    // ---- Host glue for the adapters.

    /// [any-thread] Samples of tail to report: 160 s at the current rate, or -1 (infinite,
    /// 4294967295 when read as unsigned) while "Freeze" is on.
    std::int32_t GetTailLength() const
    {
        return mTailLength.load(std::memory_order_relaxed);
    }
    /// [any-thread] Recomputes the tail from "Freeze" and the sample rate.
    void UpdateTail();
    /// [any-thread] Set while the host's own bypass is on; blocks then pass through.
    bool GetHostBypass() const
    {
        return mHostBypass.load(std::memory_order_relaxed);
    }
    void SetHostBypass(bool bypass)
    {
        mHostBypass.store(bypass, std::memory_order_relaxed);
    }
    /// [audio-thread] A host automation value for parameter `paramIdx`: held in [0, 1],
    /// mapped through the parameter's shape, constrained and stored, then the plug-in is told
    /// with source "Host". A non-finite value or an unknown index changes nothing.
    void ApplyHostParamChange(int paramIdx, double normalized);
    /// [ui-thread] Writes the component state: the record and the host-bypass flag.
    void WriteComponentState(std::span<std::uint8_t, kComponentStateSize> out) const;
    /// [ui-thread] Applies a component state of exactly 280 bytes with a host-bypass word of 0
    /// or 1 and a valid record; false, with nothing changed, otherwise. The caller sends the
    /// values on to its host-side parameter objects.
    bool ReadComponentState(std::span<const std::uint8_t> bytes);

#if defined(LUMENFALL_BASE_VST3)
    // ---- VST3 component and processor (bodies in plugin/vst3/LumenfallVst3.cpp).
    /// [ui-thread] The 280-byte component state; a stream of any other length, a host-bypass
    /// word other than 0 or 1 or an invalid record is refused with nothing changed.
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    /// [ui-thread] Writes the 280-byte component state.
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) override;
    /// [audio-thread & active] Transport, the last point of each parameter queue, the block.
    Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    void ApplyParameterChanges(Steinberg::Vst::ProcessData& data) override;
    /// [any-thread] The tail as unsigned: -1 reads as 4294967295, the infinite tail.
    Steinberg::uint32 PLUGIN_API getTailSamples() override;
#endif

private:
    PluginStateRecord CurrentRecord() const;
    void ApplyRecord(const PluginStateRecord& record);
    void Prepare();
    void DeclareParameters();
    void MakeFactoryPresets();

    engine::ReverbEngine mEngine;
    std::array<std::atomic<float>, kParamCount> mOtherSlot;
    std::atomic<std::int32_t> mPresetIndex{0};
    std::atomic<std::uint8_t> mSlotFlag{0};
    std::atomic<bool> mHostBypass{false};
    std::atomic<double> mSampleRate{kDefaultSampleRate};
    std::atomic<std::int32_t> mTailLength{0};
    std::atomic<bool> mActive{false};
    bool mResizing = false;
    engine::AtomicMeterLevels mMeters;
    alignas(64) float mInputL[kChunkFrames] = {};
    float mInputR[kChunkFrames] = {};
    float mOutputL[kChunkFrames] = {};
    float mOutputR[kChunkFrames] = {};
};

} // namespace lumenfall
