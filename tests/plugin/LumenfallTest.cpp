#include "plugin/Lumenfall.h"
#include "plugin/TailLength.h"
#include "tests/support/AllocationGuard.h"
#include "tests/support/DefaultStateRecord.h"
#include "tests/support/StateCorruptions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace lumenfall
{
namespace
{

using engine::ParamId;
using plugkit::ParamSource;
using test::PluginHostEvent;

constexpr int Index(ParamId id)
{
    return static_cast<int>(id);
}

std::array<float, kParamCount> Defaults()
{
    return engine::ParamTables::kDefaults;
}

class LumenfallTest : public testing::Test
{
protected:
    std::array<float, kParamCount> Values() const
    {
        std::array<float, kParamCount> values;
        plugin->SnapshotValues(values);
        return values;
    }

    std::vector<std::uint8_t> SerializedState() const
    {
        plugkit::IStateChunk chunk;
        EXPECT_TRUE(plugin->SerializeState(chunk));
        return {chunk.GetData(), chunk.GetData() + chunk.Size()};
    }

    /// Every recorded event of `kind`, in order.
    std::vector<PluginHostEvent> EventsOf(PluginHostEvent::Kind kind) const
    {
        std::vector<PluginHostEvent> events;
        for (const PluginHostEvent& event : plugin->Events())
            if (event.kind == kind)
                events.push_back(event);
        return events;
    }

    /// The plug-in heard of all 32 parameters, in index order, with `source`.
    void ExpectNotifiedOfAll(ParamSource source) const
    {
        const std::vector<PluginHostEvent> notes = EventsOf(PluginHostEvent::Notify);
        ASSERT_EQ(notes.size(), static_cast<std::size_t>(kParamCount));
        for (int i = 0; i < kParamCount; ++i)
        {
            EXPECT_EQ(notes[i].index, i);
            EXPECT_EQ(notes[i].source, source);
        }
    }

    std::unique_ptr<Lumenfall> plugin = std::make_unique<Lumenfall>();
};

// ---- Construction.

TEST_F(LumenfallTest, ConstructsAtTheTableDefaults)
{
    EXPECT_EQ(Values(), Defaults());
    EXPECT_EQ(plugin->GetOtherSlot(), Defaults());
    EXPECT_EQ(plugin->GetPresetIndex(), 0);
    EXPECT_EQ(plugin->GetActiveSlot(), 0);
    EXPECT_FALSE(plugin->GetHostBypass());
    EXPECT_EQ(plugin->GetTailLength(), 7680000);
    EXPECT_TRUE(plugin->Events().empty());

    ASSERT_EQ(plugin->NPresets(), kFactoryPresetCount);
    for (int k = 0; k < kFactoryPresetCount; ++k)
    {
        const plugkit::PresetSlot& slot = *plugin->GetPreset(k);
        EXPECT_TRUE(slot.mInitialized.load());
        EXPECT_STREQ(slot.mName, GetFactoryPresets()[k].name);
        PluginStateRecord record;
        ASSERT_EQ(ReadStateChunk(slot.mState, 0, record), kStateRecordSize) << k;
        EXPECT_EQ(record.values, GetFactoryPresets()[k].values);
        EXPECT_EQ(record.otherSlot, GetFactoryPresets()[k].values);
        EXPECT_EQ(record.presetIndex, k);
        EXPECT_EQ(record.slotFlag, 0);
    }
}

TEST_F(LumenfallTest, ConfiguresTheFramework)
{
    EXPECT_EQ(plugin->NParams(), kParamCount);
    EXPECT_STREQ(plugin->GetPluginName(), "LUMENFALL");
    EXPECT_STREQ(plugin->GetProductName(), "LUMENFALL");
    EXPECT_STREQ(plugin->GetMakerName(), "TESSALINE");
    EXPECT_EQ(plugin->GetUniqueId(), 0x4C6D666C); // 'Lmfl'
    EXPECT_EQ(plugin->GetMakerId(), 0x54736C6E);  // 'Tsln'
    EXPECT_EQ(plugin->GetVersionNumber(), 257);
    EXPECT_TRUE(plugin->HasUI());
    EXPECT_TRUE(plugin->GetHostResizeEnabled());
    EXPECT_EQ(plugin->GetEditorWidth(), 1100);
    EXPECT_EQ(plugin->GetEditorHeight(), 760);
    EXPECT_EQ(plugin->GetMinWidth(), 366);
    EXPECT_EQ(plugin->GetMaxWidth(), 3300);
    EXPECT_EQ(plugin->GetMinHeight(), 253);
    EXPECT_EQ(plugin->GetMaxHeight(), 2280);
    EXPECT_EQ(plugin->GetLatency(), 0);
    EXPECT_FALSE(plugin->DoesMidiIn());
    EXPECT_FALSE(plugin->DoesMidiOut());

    // What the test adapter does not pass on as given: the channel layouts (it adds one with
    // a third output) and the flags the bases store without reading them.
    const plugkit::PluginConfig config = Lumenfall::MakeConfig();
    EXPECT_STREQ(config.mChannelIO, "1-1 2-2");
    EXPECT_EQ(config.mNPresets, kFactoryPresetCount);
    EXPECT_EQ(config.mType, plugkit::kPluginTypeEffect);
    EXPECT_FALSE(config.mMpe);
    EXPECT_TRUE(config.mStateChunks);
    EXPECT_STREQ(config.mBundleId, "");
    EXPECT_STREQ(config.mAppGroupId, "");
}

struct Declaration
{
    ParamId id;
    plugkit::IParam::EParamType type;
    double step;
    bool squared;        ///< power curve of exponent 2 rather than linear
    const char* display; ///< display text of the default value
};

class ParameterDeclaration : public testing::TestWithParam<Declaration>
{
};

TEST_P(ParameterDeclaration, FollowsTheTable)
{
    const Declaration d = GetParam();
    Lumenfall plugin;
    const plugkit::IParam& param = *plugin.GetParam(Index(d.id));
    EXPECT_STREQ(param.GetName(), engine::ParamName(d.id));
    EXPECT_EQ(param.Type(), d.type);
    EXPECT_DOUBLE_EQ(param.GetStep(), d.step);
    EXPECT_EQ(param.GetMin(), engine::ParamMinimum(d.id));
    EXPECT_EQ(param.GetMax(), engine::ParamMaximum(d.id));
    EXPECT_EQ(param.GetDefault(), engine::ParamDefault(d.id));
    EXPECT_EQ(param.Value(), engine::ParamDefault(d.id));
    EXPECT_STREQ(param.GetGroup(), "");
    EXPECT_EQ(param.GetUnit(), plugkit::IParam::kUnitCustom);
    // Declared without flags: only enumerations and switches are stepped, by their kind.
    const bool texts = d.type != plugkit::IParam::kTypeDouble;
    EXPECT_EQ(param.GetFlags(), texts ? plugkit::IParam::kFlagStepped : 0);
    EXPECT_STREQ(param.GetUnitLabel(), texts ? "" : engine::ParamUnit(d.id));
    if (!texts)
    {
        EXPECT_EQ(param.NDisplayTexts(), 0);
    }

    // The shape by what it does: half way up the control is a quarter of the range on the
    // squared curve and half of it on the linear one.
    if (d.type == plugkit::IParam::kTypeDouble)
    {
        const double fraction = d.squared ? 0.25 : 0.5;
        EXPECT_DOUBLE_EQ(param.FromNormalized(0.5), param.GetMin() + fraction * param.GetRange());
        EXPECT_EQ(param.GetDisplayType(), d.squared ? 4 : 0);
    }

    plugkit::HeapString shown;
    param.GetDisplay(shown);
    EXPECT_STREQ(shown.Get(), d.display);
}

using T = plugkit::IParam::EParamType;
// Every parameter, in ParamId order.
INSTANTIATE_TEST_SUITE_P(
    Lumenfall,
    ParameterDeclaration,
    testing::Values(Declaration{ParamId::ReverbType, T::kTypeEnum, 1, false, "Hall"},
                    Declaration{ParamId::Decay, T::kTypeDouble, 0.001, true, "2.400"},
                    Declaration{ParamId::PreDelay, T::kTypeDouble, 0.01, false, "22.00"},
                    Declaration{ParamId::Size, T::kTypeDouble, 0.01, false, "100.00"},
                    Declaration{ParamId::Mix, T::kTypeDouble, 0.01, false, "25.00"},
                    Declaration{ParamId::Width, T::kTypeDouble, 0.01, false, "100.00"},
                    Declaration{ParamId::Tone, T::kTypeDouble, 0.01, false, "0.00"},
                    Declaration{ParamId::InputTrim, T::kTypeDouble, 0.01, false, "0.00"},
                    Declaration{ParamId::OutputTrim, T::kTypeDouble, 0.01, false, "0.00"},
                    Declaration{ParamId::EarlyReflections, T::kTypeDouble, 0.01, false, "65.00"},
                    Declaration{ParamId::LateTail, T::kTypeDouble, 0.01, false, "85.00"},
                    Declaration{ParamId::Diffusion, T::kTypeDouble, 0.01, false, "80.00"},
                    Declaration{ParamId::Density, T::kTypeDouble, 0.01, false, "85.00"},
                    Declaration{ParamId::LowCut, T::kTypeDouble, 1, true, "80"},
                    Declaration{ParamId::HighCut, T::kTypeDouble, 1, true, "16000"},
                    Declaration{ParamId::BassDecay, T::kTypeDouble, 0.001, false, "1.000"},
                    Declaration{ParamId::TrebleDecay, T::kTypeDouble, 0.001, false, "0.650"},
                    Declaration{ParamId::BassCrossover, T::kTypeDouble, 1, true, "350"},
                    Declaration{ParamId::HFDamping, T::kTypeDouble, 1, true, "6500"},
                    Declaration{ParamId::ModulationDepth, T::kTypeDouble, 0.01, false, "15.00"},
                    Declaration{ParamId::ModulationRate, T::kTypeDouble, 0.001, false, "0.350"},
                    Declaration{ParamId::Ducking, T::kTypeDouble, 0.01, false, "0.00"},
                    Declaration{ParamId::DuckRelease, T::kTypeDouble, 0.01, false, "250.00"},
                    Declaration{ParamId::GateLength, T::kTypeDouble, 0.01, false, "450.00"},
                    Declaration{ParamId::EnvelopeShape, T::kTypeDouble, 0.01, false, "0.00"},
                    Declaration{ParamId::ShimmerAmount, T::kTypeDouble, 0.01, false, "35.00"},
                    Declaration{ParamId::Freeze, T::kTypeBool, 1, false, "off"},
                    Declaration{ParamId::Bypass, T::kTypeBool, 1, false, "off"},
                    Declaration{ParamId::PreDelaySync, T::kTypeBool, 1, false, "off"},
                    Declaration{ParamId::NoteDivision, T::kTypeEnum, 1, false, "1/4"},
                    Declaration{ParamId::GateRelease, T::kTypeDouble, 0.01, false, "80.00"},
                    Declaration{ParamId::WetSolo, T::kTypeBool, 1, false, "off"}));

TEST_F(LumenfallTest, EnumerationsCarryEveryName)
{
    const plugkit::IParam& model = *plugin->GetParam(Index(ParamId::ReverbType));
    ASSERT_EQ(model.NDisplayTexts(), engine::kReverbModelCount);
    for (int m = 0; m < engine::kReverbModelCount; ++m)
        EXPECT_STREQ(model.GetDisplayText(m), engine::ReverbModelName(m));
    const plugkit::IParam& division = *plugin->GetParam(Index(ParamId::NoteDivision));
    ASSERT_EQ(division.NDisplayTexts(), engine::kNoteDivisionCount);
    for (int d = 0; d < engine::kNoteDivisionCount; ++d)
        EXPECT_STREQ(division.GetDisplayText(d), engine::NoteDivisionName(d));
    EXPECT_STREQ(plugin->GetParam(Index(ParamId::Freeze))->GetDisplayText(1), "on");
}

// ---- Presets and A/B slots.

TEST_F(LumenfallTest, SelectingAPresetInformsHostEditorThenPlugin)
{
    constexpr int kPreset = 8; // "Open Vocal Hall"
    plugin->SelectFactoryPreset(kPreset);

    EXPECT_EQ(Values(), GetFactoryPresets()[kPreset].values);
    EXPECT_EQ(plugin->GetPresetIndex(), kPreset);
    EXPECT_EQ(plugin->FindMatchingPreset(), kPreset);

    // Per parameter, even unchanged ones: begin, perform, end, editor value; then the 32
    // notifications once every value is in place.
    const std::vector<PluginHostEvent>& events = plugin->Events();
    ASSERT_EQ(events.size(), static_cast<std::size_t>(5 * kParamCount));
    for (int i = 0; i < kParamCount; ++i)
    {
        const double normalized = plugin->GetParam(i)->GetNormalized();
        const PluginHostEvent* e = &events[4 * i];
        EXPECT_EQ(e[0].kind, PluginHostEvent::Begin);
        EXPECT_EQ(e[1].kind, PluginHostEvent::Perform);
        EXPECT_EQ(e[2].kind, PluginHostEvent::End);
        EXPECT_EQ(e[3].kind, PluginHostEvent::EditorValue);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(e[k].index, i);
        EXPECT_DOUBLE_EQ(e[1].value, normalized);
        EXPECT_DOUBLE_EQ(e[3].value, normalized);
    }
    for (int i = 0; i < 4 * kParamCount; ++i)
        EXPECT_NE(events[i].kind, PluginHostEvent::Notify);
    ExpectNotifiedOfAll(ParamSource::Preset);
}

TEST_F(LumenfallTest, PresetIndexOutsideTheTableIsIgnored)
{
    plugin->SelectFactoryPreset(3);
    plugin->ClearEvents();
    for (const int index : {-1, 26, 1000})
        plugin->SelectFactoryPreset(index);
    EXPECT_TRUE(plugin->Events().empty());
    EXPECT_EQ(plugin->GetPresetIndex(), 3);
    EXPECT_EQ(Values(), GetFactoryPresets()[3].values);
}

TEST_F(LumenfallTest, MatchingFollowsEditsWithinTolerance)
{
    plugin->SelectFactoryPreset(14);
    plugkit::IParam& mix = *plugin->GetParam(Index(ParamId::Mix));
    mix.Set(mix.Value() + 0.01);
    EXPECT_EQ(plugin->FindMatchingPreset(), -1);
    EXPECT_EQ(plugin->GetPresetIndex(), 14); // editing keeps the last selected preset

    plugin->SelectFactoryPreset(14);
    plugkit::IParam& highCut = *plugin->GetParam(Index(ParamId::HighCut));
    // "High Cut" is continuous: its tolerance of 0.042 Hz still takes a value that comes
    // back from the host a little off.
    highCut.Set(highCut.Value() + 0.02);
    EXPECT_EQ(plugin->FindMatchingPreset(), 14);
}

TEST_F(LumenfallTest, SwitchingTwiceRestoresSlotA)
{
    plugin->SelectFactoryPreset(5);
    plugin->CopyToOtherSlot();
    plugin->SelectFactoryPreset(20);
    const auto a = Values();

    plugin->ClearEvents();
    plugin->SwitchABSlot();
    EXPECT_EQ(Values(), GetFactoryPresets()[5].values);
    EXPECT_EQ(plugin->GetOtherSlot(), a);
    EXPECT_EQ(plugin->GetActiveSlot(), 1);
    EXPECT_EQ(plugin->GetPresetIndex(), 20);
    EXPECT_EQ(EventsOf(PluginHostEvent::Begin).size(), static_cast<std::size_t>(kParamCount));
    EXPECT_EQ(EventsOf(PluginHostEvent::Perform).size(), static_cast<std::size_t>(kParamCount));
    EXPECT_EQ(EventsOf(PluginHostEvent::End).size(), static_cast<std::size_t>(kParamCount));
    ExpectNotifiedOfAll(ParamSource::Preset);

    plugin->SwitchABSlot();
    EXPECT_EQ(Values(), a);
    EXPECT_EQ(plugin->GetOtherSlot(), GetFactoryPresets()[5].values);
    EXPECT_EQ(plugin->GetActiveSlot(), 0);
}

TEST_F(LumenfallTest, CopyThenSwitchKeepsTheValuesAndShowsSlotB)
{
    plugin->SelectFactoryPreset(11);
    plugin->GetParam(Index(ParamId::Mix))->Set(61.5);
    const auto before = Values();
    plugin->CopyToOtherSlot();
    EXPECT_EQ(plugin->GetOtherSlot(), before);
    plugin->SwitchABSlot();
    EXPECT_EQ(Values(), before);
    EXPECT_EQ(plugin->GetActiveSlot(), 1);
    EXPECT_EQ(plugin->GetPresetIndex(), 11);
}

// ---- State.

TEST_F(LumenfallTest, DefaultStateIsTheFixtureByteForByte)
{
    const std::vector<std::uint8_t> bytes = SerializedState();
    ASSERT_EQ(bytes.size(), sizeof(test::kDefaultStateRecord));
    EXPECT_EQ(std::memcmp(bytes.data(), test::kDefaultStateRecord, bytes.size()), 0);

    std::array<std::uint8_t, Lumenfall::kComponentStateSize> component;
    plugin->SetHostBypass(true);
    plugin->WriteComponentState(component);
    EXPECT_EQ(std::memcmp(component.data(), test::kDefaultStateRecord, kStateRecordSize), 0);
    const std::uint8_t bypassOn[4] = {1, 0, 0, 0};
    EXPECT_EQ(std::memcmp(component.data() + kStateRecordSize, bypassOn, 4), 0);
}

TEST_F(LumenfallTest, StateRoundTripsIntoAFreshInstance)
{
    plugin->SelectFactoryPreset(24);
    plugin->CopyToOtherSlot();
    plugin->SelectFactoryPreset(17);
    plugin->GetParam(Index(ParamId::Decay))->Set(3.141);
    plugin->SwitchABSlot(); // slot B holds preset 24; slot A (with Decay 3.141) is the other
    plugin->SetHostBypass(true);
    std::array<std::uint8_t, Lumenfall::kComponentStateSize> component;
    plugin->WriteComponentState(component);

    Lumenfall restored;
    ASSERT_TRUE(restored.ReadComponentState(component));
    std::array<float, kParamCount> values;
    restored.SnapshotValues(values);
    EXPECT_EQ(values, Values());
    EXPECT_EQ(restored.GetOtherSlot(), plugin->GetOtherSlot());
    EXPECT_EQ(restored.GetOtherSlot()[Index(ParamId::Decay)], 3.141f);
    EXPECT_EQ(restored.GetPresetIndex(), 17);
    EXPECT_EQ(restored.GetActiveSlot(), 1);
    EXPECT_TRUE(restored.GetHostBypass());

    // The record alone carries no host bypass; restoring it tells the editor each value,
    // then the plug-in, and leaves the host alone.
    plugkit::IStateChunk record;
    ASSERT_TRUE(plugin->SerializeState(record));
    Lumenfall fresh;
    EXPECT_EQ(fresh.UnserializeState(record, 0), kStateRecordSize);
    EXPECT_FALSE(fresh.GetHostBypass());
    const std::vector<PluginHostEvent>& events = fresh.Events();
    ASSERT_EQ(events.size(), static_cast<std::size_t>(2 * kParamCount));
    for (int i = 0; i < kParamCount; ++i)
    {
        EXPECT_EQ(events[i].kind, PluginHostEvent::EditorValue);
        EXPECT_EQ(events[i].index, i);
        EXPECT_EQ(events[kParamCount + i].kind, PluginHostEvent::Notify);
        EXPECT_EQ(events[kParamCount + i].index, i);
        EXPECT_EQ(events[kParamCount + i].source, ParamSource::Preset);
    }
}

TEST_F(LumenfallTest, RestoringAFrameworkPresetFillsBothSlots)
{
    plugin->SwitchABSlot();
    ASSERT_TRUE(plugin->RestorePreset(10));
    EXPECT_EQ(Values(), GetFactoryPresets()[10].values);
    EXPECT_EQ(plugin->GetOtherSlot(), GetFactoryPresets()[10].values);
    EXPECT_EQ(plugin->GetPresetIndex(), 10);
    EXPECT_EQ(plugin->GetActiveSlot(), 0);
    EXPECT_FALSE(plugin->RestorePreset(26));
}

/// Which reader a corruption is aimed at: the 280-byte component stream, the record read
/// through the framework at a start position, or both.
enum class Reader
{
    Stream,
    Record,
    Both,
    Count
};

struct RejectedStateCase
{
    const char* what;
    Reader reader;
    std::function<void(std::vector<std::uint8_t>&)> apply;
    int startPos = 0;
};

void PrintTo(const RejectedStateCase& c, std::ostream* os)
{
    *os << c.what;
}

std::vector<std::uint8_t> StateOf(const Lumenfall& plugin)
{
    plugkit::IStateChunk chunk;
    plugin.SerializeState(chunk);
    return {chunk.GetData(), chunk.GetData() + chunk.Size()};
}

class RejectedState : public testing::TestWithParam<RejectedStateCase>
{
};

// Every test runs before the first value is written, so a rejected state changes nothing
// and notifies nobody.
TEST_P(RejectedState, ChangesNothingAndNotifiesNobody)
{
    const RejectedStateCase& c = GetParam();
    std::vector<std::uint8_t> bytes(Lumenfall::kComponentStateSize);
    {
        Lumenfall source; // a valid component state of other values
        source.SelectFactoryPreset(19);
        source.SwitchABSlot();
        source.WriteComponentState(std::span<std::uint8_t, Lumenfall::kComponentStateSize>(
            bytes.data(), Lumenfall::kComponentStateSize));
    }
    c.apply(bytes);

    Lumenfall plugin;
    plugin.SelectFactoryPreset(4);
    plugin.SetHostBypass(true);
    const std::vector<std::uint8_t> before = StateOf(plugin);
    plugin.ClearEvents();

    if (c.reader != Reader::Record)
    {
        EXPECT_FALSE(plugin.ReadComponentState(bytes)) << c.what;
    }
    if (c.reader != Reader::Stream)
    {
        plugkit::IStateChunk chunk;
        chunk.PutBytes(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        EXPECT_EQ(plugin.UnserializeState(chunk, c.startPos), -1) << c.what;
    }
    EXPECT_EQ(StateOf(plugin), before);
    EXPECT_TRUE(plugin.GetHostBypass());
    EXPECT_TRUE(plugin.Events().empty());
}

/// The format's corruptions, each for the readers it reaches (the component stream, and the
/// record too when the corruption lies in it), then start positions the record reader refuses.
std::vector<RejectedStateCase> RejectedStateCases()
{
    std::vector<RejectedStateCase> cases;
    for (const test::StateCorruption& c : test::StateCorruptions())
        cases.push_back({c.what, c.inRecord ? Reader::Both : Reader::Stream, c.apply});
    cases.push_back({"start past the data", Reader::Record, [](auto&) {}, 300});
    cases.push_back({"start leaves too few bytes", Reader::Record, [](auto&) {}, 8});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Lumenfall, RejectedState, testing::ValuesIn(RejectedStateCases()));

// ---- Block processing.

/// Host buffers for one block, one per channel record as an adapter keeps them (2 inputs,
/// 3 outputs): the first `nIn` inputs carry a test signal, the rest are silent; every output
/// is prefilled with a marker value, so untouched samples show.
struct HostBlock
{
    HostBlock(int nIn, int frames, float marker = 7.0f)
        : inputs(2, std::vector<float>(frames, 0.0f))
        , outputs(3, std::vector<float>(frames, marker))
    {
        for (int j = 0; j < frames; ++j)
            for (int c = 0; c < nIn; ++c)
                inputs[c][j] = 0.25f * std::sin(0.05f * j * (c + 1)) * (c == 0 ? 1.0f : -0.8f);
        for (auto& channel : inputs)
            inPointers.push_back(channel.data());
        for (auto& channel : outputs)
            outPointers.push_back(channel.data());
    }

    float** In() { return inPointers.data(); }
    float** Out() { return outPointers.data(); }

    std::vector<std::vector<float>> inputs;
    std::vector<std::vector<float>> outputs;
    std::vector<float*> inPointers;
    std::vector<float*> outPointers;
};

/// The engine driven directly as the plug-in should drive it: prepared at `rate` with the
/// given values (the transport is not known then, so at 120 BPM), then given the values and
/// `tempo` and run in chunks of 512 frames. `meters` receives the largest levels over the
/// chunks. Run continues the same engine with a further block.
struct ReferenceRun
{
    ReferenceRun(const std::array<float, kParamCount>& values,
                 double tempo,
                 const std::vector<float>& left,
                 const std::vector<float>& right,
                 double rate = 48000.0)
    {
        engine.SetParameters(values.data());
        engine.Prepare(rate, 2);
        Run(values, tempo, left, right);
    }

    void Run(const std::array<float, kParamCount>& values,
             double tempo,
             const std::vector<float>& left,
             const std::vector<float>& right)
    {
        outL.assign(left.size(), 0.0f);
        outR.assign(left.size(), 0.0f);
        meters = {};
        const int frames = static_cast<int>(left.size());
        for (int start = 0; start < frames; start += Lumenfall::kChunkFrames)
        {
            const int m = std::min(frames - start, Lumenfall::kChunkFrames);
            const float* in[2] = {left.data() + start, right.data() + start};
            float* out[2] = {outL.data() + start, outR.data() + start};
            engine.SetParameters(values.data());
            engine.SetTempo(tempo);
            engine.Process(in, out, m, false);
            const engine::MeterLevels chunk = engine.GetMeterLevels();
            meters.inputPeak = std::max(meters.inputPeak, chunk.inputPeak);
            meters.wetPeak = std::max(meters.wetPeak, chunk.wetPeak);
            meters.outputPeak = std::max(meters.outputPeak, chunk.outputPeak);
            meters.duckReduction = std::max(meters.duckReduction, chunk.duckReduction);
            last = chunk;
        }
    }

    engine::ReverbEngine engine;
    std::vector<float> outL;
    std::vector<float> outR;
    engine::MeterLevels meters;
    engine::MeterLevels last;
};

class LumenfallBlockTest : public LumenfallTest
{
protected:
    void Activate(int nIn, int nOut, double rate = 48000.0)
    {
        plugin->ConnectChannels(nIn, nOut);
        plugin->SetSampleRate(rate);
        plugin->OnActivate(true);
    }

    void ExpectMetersAtZero(const char* what) const
    {
        const engine::MeterLevels meters = plugin->GetMeterLevels();
        EXPECT_EQ(meters.inputPeak, 0.0f) << what;
        EXPECT_EQ(meters.wetPeak, 0.0f) << what;
        EXPECT_EQ(meters.outputPeak, 0.0f) << what;
        EXPECT_EQ(meters.duckReduction, 0.0f) << what;
    }
};

TEST_F(LumenfallBlockTest, LongBlockRunsInChunksAndKeepsTheBlockMaxima)
{
    Activate(2, 2);
    HostBlock block(2, 1300);
    block.inputs[0][100] = 0.9f; // the block's peak, in the first chunk of 512
    block.inputs[1][300] = -0.8f;
    plugin->ProcessBlock(block.In(), block.Out(), 1300);

    const ReferenceRun ref(Defaults(), 120.0, block.inputs[0], block.inputs[1]);
    EXPECT_EQ(block.outputs[0], ref.outL);
    EXPECT_EQ(block.outputs[1], ref.outR);

    const engine::MeterLevels meters = plugin->GetMeterLevels();
    EXPECT_EQ(meters.inputPeak, 0.9f);
    EXPECT_LT(ref.last.inputPeak, 0.9f); // the last chunk alone would hide the peak
    EXPECT_EQ(meters.wetPeak, ref.meters.wetPeak);
    EXPECT_EQ(meters.outputPeak, ref.meters.outputPeak);
    EXPECT_EQ(meters.duckReduction, ref.meters.duckReduction);
}

struct Layout
{
    int nIn;
    int nOut;
    int frames;
};

class ChannelLayout : public LumenfallBlockTest, public testing::WithParamInterface<Layout>
{
};

// A mono input feeds both engine inputs and no input is silence; a mono output is the average
// of the engine's two, a stereo one takes them as they are, a third output is silent.
TEST_P(ChannelLayout, FeedsAndSpreadsTheEngineChannels)
{
    const Layout c = GetParam();
    Activate(c.nIn, c.nOut);
    HostBlock block(c.nIn, c.frames);
    plugin->ProcessBlock(block.In(), block.Out(), c.frames);

    const std::vector<float> silence(c.frames, 0.0f);
    const std::vector<float>& left = c.nIn >= 1 ? block.inputs[0] : silence;
    const std::vector<float>& right = c.nIn >= 2 ? block.inputs[1] : left;
    const ReferenceRun ref(Defaults(), 120.0, left, right);
    if (c.nOut == 1)
    {
        for (int j = 0; j < c.frames; ++j)
            ASSERT_EQ(block.outputs[0][j], (ref.outL[j] + ref.outR[j]) * 0.5f) << j;
    }
    else
    {
        EXPECT_EQ(block.outputs[0], ref.outL);
        EXPECT_EQ(block.outputs[1], ref.outR);
    }
    if (c.nOut == 3)
    {
        EXPECT_EQ(block.outputs[2], silence);
    }
    if (c.nIn == 0)
    {
        EXPECT_EQ(block.outputs[0], silence);
    }
}

INSTANTIATE_TEST_SUITE_P(Lumenfall,
                         ChannelLayout,
                         testing::Values(Layout{1, 1, 700}, // the mono layout
                                         Layout{1, 2, 700},
                                         Layout{2, 1, 600},
                                         Layout{2, 3, 1030},
                                         Layout{0, 2, 300}));

TEST_F(LumenfallBlockTest, InactiveGivesSilence)
{
    plugin->ConnectChannels(2, 2);
    HostBlock block(2, 800);
    plugin->ProcessBlock(block.In(), block.Out(), 800);
    EXPECT_EQ(block.outputs[0], std::vector<float>(800, 0.0f));
    EXPECT_EQ(block.outputs[1], std::vector<float>(800, 0.0f));

    Activate(2, 2);
    plugin->OnActivate(false);
    HostBlock after(2, 64);
    plugin->ProcessBlock(after.In(), after.Out(), 64);
    EXPECT_EQ(after.outputs[0], std::vector<float>(64, 0.0f));
}

TEST_F(LumenfallBlockTest, HostBypassPassesTheInputThroughEvenWhenInactive)
{
    plugin->ConnectChannels(2, 2);
    plugin->SetHostBypass(true);
    HostBlock inactive(2, 900);
    plugin->ProcessBlock(inactive.In(), inactive.Out(), 900);
    EXPECT_EQ(inactive.outputs[0], inactive.inputs[0]);
    EXPECT_EQ(inactive.outputs[1], inactive.inputs[1]);

    Activate(2, 2);
    plugin->GetParam(Index(ParamId::Mix))->Set(100.0);
    HostBlock active(2, 900);
    plugin->ProcessBlock(active.In(), active.Out(), 900);
    EXPECT_EQ(active.outputs[0], active.inputs[0]);
    EXPECT_EQ(active.outputs[1], active.inputs[1]);
}

// A block the engine does not process, or a switched-off plug-in, shows no level rather than
// the last one, which would otherwise stay on the meters for as long as that lasts.
TEST_F(LumenfallBlockTest, MetersFallToZeroWhenTheEngineStops)
{
    const struct
    {
        const char* what;
        std::function<void(Lumenfall&, HostBlock&)> stop;
    } cases[] = {
        {"host-bypassed block",
         [](Lumenfall& p, HostBlock& b)
         {
             p.SetHostBypass(true);
             p.ProcessBlock(b.In(), b.Out(), 256);
         }},
        {"deactivation", [](Lumenfall& p, HostBlock&) { p.OnActivate(false); }},
        {"inactive block",
         [](Lumenfall& p, HostBlock& b)
         {
             p.OnActivate(false);
             p.ProcessBlock(b.In(), b.Out(), 256);
         }},
    };
    for (const auto& c : cases)
    {
        plugin = std::make_unique<Lumenfall>();
        Activate(2, 2);
        HostBlock block(2, 1300);
        plugin->ProcessBlock(block.In(), block.Out(), 1300);
        ASSERT_GT(plugin->GetMeterLevels().inputPeak, 0.0f) << c.what;
        ASSERT_GT(plugin->GetMeterLevels().outputPeak, 0.0f) << c.what;
        c.stop(*plugin, block);
        ExpectMetersAtZero(c.what);
    }
}

TEST_F(LumenfallBlockTest, ZeroFramesTouchNothing)
{
    Activate(2, 2);
    HostBlock block(2, 16);
    plugin->ProcessBlock(block.In(), block.Out(), 0);
    plugin->ProcessBlock(block.In(), block.Out(), -5);
    EXPECT_EQ(block.outputs[0], std::vector<float>(16, 7.0f));
}

TEST_F(LumenfallBlockTest, ActivationPreparesTheEngineAtTheHostRate)
{
    const double kNoRate = std::numeric_limits<double>::quiet_NaN();
    const struct
    {
        double hostRate;
        double engineRate;
    } cases[] = {{44100.0, 44100.0}, {96000.0, 96000.0}, {0.0, 48000.0}, {kNoRate, 48000.0}};
    for (const auto& c : cases)
    {
        plugin = std::make_unique<Lumenfall>();
        Activate(2, 2, c.hostRate);
        HostBlock block(2, 2048);
        plugin->ProcessBlock(block.In(), block.Out(), 2048);
        const ReferenceRun ref(Defaults(), 120.0, block.inputs[0], block.inputs[1], c.engineRate);
        EXPECT_EQ(block.outputs[0], ref.outL) << c.hostRate;
        EXPECT_EQ(block.outputs[1], ref.outR) << c.hostRate;
        const ReferenceRun at48(Defaults(), 120.0, block.inputs[0], block.inputs[1]);
        EXPECT_EQ(block.outputs[0] == at48.outL, c.engineRate == 48000.0) << c.hostRate;
    }
}

// Reset and activation both start the engine afresh (no tail of what came before), clear
// the meters and report no latency.
TEST_F(LumenfallBlockTest, ResetAndActivationStartAfresh)
{
    for (const bool viaReset : {true, false})
    {
        plugin = std::make_unique<Lumenfall>();
        Activate(2, 2);
        HostBlock first(2, 1300);
        plugin->ProcessBlock(first.In(), first.Out(), 1300);
        ASSERT_GT(plugin->GetMeterLevels().outputPeak, 0.0f);

        plugin->SetLatency(64);
        if (viaReset)
        {
            plugin->OnReset();
        }
        else
        {
            plugin->OnActivate(false);
            plugin->OnActivate(true);
        }
        EXPECT_EQ(plugin->GetLatency(), 0) << viaReset;
        ExpectMetersAtZero(viaReset ? "reset" : "activation");

        HostBlock second(2, 1300);
        plugin->ProcessBlock(second.In(), second.Out(), 1300);
        const ReferenceRun fresh(Defaults(), 120.0, second.inputs[0], second.inputs[1]);
        EXPECT_EQ(second.outputs[0], fresh.outL) << viaReset;
        EXPECT_EQ(second.outputs[1], fresh.outR) << viaReset;

        ReferenceRun continued(Defaults(), 120.0, first.inputs[0], first.inputs[1]);
        continued.Run(Defaults(), 120.0, second.inputs[0], second.inputs[1]);
        EXPECT_NE(continued.outL, fresh.outL); // the first block's tail would still sound
    }
}

TEST_F(LumenfallBlockTest, ValuesChangedWhileActiveReachTheNextBlock)
{
    Activate(2, 2);
    HostBlock first(2, 1300);
    plugin->ProcessBlock(first.In(), first.Out(), 1300);

    plugin->ApplyHostParamChange(Index(ParamId::Mix), 1.0);            // host
    plugin->SendParameterValueFromUI(Index(ParamId::ReverbType), 0.0); // editor
    plugin->GetParam(Index(ParamId::Decay))->Set(9.5);                 // any other thread
    const auto changed = Values();
    HostBlock second(2, 1300);
    plugin->ProcessBlock(second.In(), second.Out(), 1300);

    ReferenceRun ref(Defaults(), 120.0, first.inputs[0], first.inputs[1]);
    ref.Run(changed, 120.0, second.inputs[0], second.inputs[1]);
    EXPECT_EQ(second.outputs[0], ref.outL);
    EXPECT_EQ(second.outputs[1], ref.outR);
}

TEST_F(LumenfallBlockTest, TransportTempoDrivesTheSyncedPreDelay)
{
    const struct
    {
        double hostTempo;
        double engineTempo;
    } cases[] = {{90.0, 90.0},
                 {0.0, 120.0}, // none from the host
                 {-30.0, 120.0},
                 {std::numeric_limits<double>::quiet_NaN(), 120.0}};
    auto values = Defaults();
    values[Index(ParamId::PreDelaySync)] = 1.0f;
    values[Index(ParamId::NoteDivision)] = 0.0f; // 1/64: 1500 samples at 120 BPM
    values[Index(ParamId::Mix)] = 100.0f;
    for (const auto& c : cases)
    {
        Lumenfall plugin;
        plugin.ApplyValues(values, false);
        plugin.ConnectChannels(2, 2);
        plugin.SetSampleRate(48000.0);
        plugin.OnActivate(true);
        plugkit::TransportInfo transport;
        transport.mTempo = c.hostTempo;
        plugin.SetTransportInfo(transport);

        HostBlock block(2, 4096);
        plugin.ProcessBlock(block.In(), block.Out(), 4096);
        const ReferenceRun ref(values, c.engineTempo, block.inputs[0], block.inputs[1]);
        EXPECT_EQ(block.outputs[0], ref.outL) << c.hostTempo;
        const ReferenceRun at120(values, 120.0, block.inputs[0], block.inputs[1]);
        EXPECT_EQ(block.outputs[0] == at120.outL, c.engineTempo == 120.0) << c.hostTempo;
    }
}

TEST_F(LumenfallBlockTest, BlockProcessingAllocatesNothing)
{
    Activate(2, 2);
    plugin->SetRecording(false);
    HostBlock stereo(2, 1300);
    HostBlock mono(1, 1300);
    test::AllocationGuard guard;
    plugin->ProcessBlock(stereo.In(), stereo.Out(), 1300);
    // Also on the audio thread: host automation, and a reset at the prepared rate (a host may
    // stop processing from there).
    plugin->ApplyHostParamChange(Index(ParamId::Freeze), 1.0);
    plugin->ApplyHostParamChange(Index(ParamId::LowCut), 0.3);
    plugin->OnReset();
    plugin->ProcessBlock(stereo.In(), stereo.Out(), 1300);
    plugin->ConnectChannels(1, 1);
    plugin->ProcessBlock(mono.In(), mono.Out(), 1300);
    plugin->SetHostBypass(true);
    plugin->ProcessBlock(mono.In(), mono.Out(), 1300);
    plugin->SetHostBypass(false);
    plugin->OnActivate(false);
    plugin->ProcessBlock(mono.In(), mono.Out(), 1300);
    EXPECT_EQ(guard.Count(), 0u);
}

// ---- Tail.

TEST_F(LumenfallTest, TailIsOneHundredSixtySecondsAtTheActivatedRate)
{
    const struct
    {
        double hostRate;
        std::int32_t tail;
    } cases[] = {{48000.0, 7680000},
                 {44100.0, 7056000},
                 {0.0, 7680000}, // no rate from the host: 48 kHz
                 {-44100.0, 7680000},
                 {std::numeric_limits<double>::quiet_NaN(), 7680000},
                 {1e12, std::numeric_limits<std::int32_t>::max()}};
    for (const auto& c : cases)
    {
        plugin->SetSampleRate(c.hostRate);
        plugin->OnActivate(true);
        EXPECT_EQ(plugin->GetTailLength(), c.tail) << c.hostRate;
        plugin->OnActivate(false);
        plugin->SetSampleRate(c.hostRate);
        plugin->OnReset();
        EXPECT_EQ(plugin->GetTailLength(), c.tail) << c.hostRate;
    }
}

struct FreezeSource
{
    const char* what;
    std::function<void(Lumenfall&, bool on)> set;
};

class TailUnderFreeze : public testing::TestWithParam<FreezeSource>
{
};

TEST_P(TailUnderFreeze, FollowsAChangeFromAnySource)
{
    Lumenfall plugin;
    plugin.SetSampleRate(44100.0);
    plugin.OnActivate(true);
    GetParam().set(plugin, true);
    EXPECT_EQ(plugin.GetTailLength(), kInfiniteTail) << GetParam().what;
    EXPECT_EQ(static_cast<std::uint32_t>(plugin.GetTailLength()), 4294967295u);
    GetParam().set(plugin, false);
    EXPECT_EQ(plugin.GetTailLength(), 7056000) << GetParam().what;
}

std::array<float, kParamCount> WithFreeze(bool on)
{
    auto values = Defaults();
    values[Index(ParamId::Freeze)] = on ? 1.0f : 0.0f;
    return values;
}

INSTANTIATE_TEST_SUITE_P(
    Lumenfall,
    TailUnderFreeze,
    testing::Values(
        FreezeSource{"host",
                     [](Lumenfall& p, bool on)
                     { p.ApplyHostParamChange(Index(ParamId::Freeze), on ? 1.0 : 0.0); }},
        FreezeSource{"editor",
                     [](Lumenfall& p, bool on)
                     { p.SendParameterValueFromUI(Index(ParamId::Freeze), on ? 1.0 : 0.0); }},
        FreezeSource{"preset values",
                     [](Lumenfall& p, bool on) { p.ApplyValues(WithFreeze(on), true); }},
        FreezeSource{"A/B switch",
                     [](Lumenfall& p, bool on)
                     {
                         p.GetParam(Index(ParamId::Freeze))->Set(on ? 0.0 : 1.0);
                         p.CopyToOtherSlot();
                         p.GetParam(Index(ParamId::Freeze))->Set(on ? 1.0 : 0.0);
                         p.CopyToOtherSlot();
                         p.GetParam(Index(ParamId::Freeze))->Set(on ? 0.0 : 1.0);
                         p.SwitchABSlot();
                     }},
        FreezeSource{"restored state",
                     [](Lumenfall& p, bool on)
                     {
                         PluginStateRecord record;
                         record.values = WithFreeze(on);
                         record.otherSlot = Defaults();
                         plugkit::IStateChunk chunk;
                         AppendStateChunk(chunk, record);
                         ASSERT_EQ(p.UnserializeState(chunk, 0), kStateRecordSize);
                     }}));

// ---- Host parameter changes.

TEST_F(LumenfallTest, HostValuesAreClampedMappedAndConstrained)
{
    const struct
    {
        ParamId id;
        double normalized;
        double value;
    } cases[] = {
        {ParamId::Mix, 1.7, 100.0}, // held to 1 before mapping
        {ParamId::Mix, -3.0, 0.0},
        {ParamId::LowCut, 0.5, 515.0},      // squared curve: 20 + 0.25 x 1980
        {ParamId::ReverbType, 0.5, 6.0},    // 0.5 x 12, a whole model
        {ParamId::NoteDivision, 0.44, 4.0}, // 4.4 snaps to the step
    };
    for (const auto& c : cases)
    {
        plugin->ClearEvents();
        plugin->ApplyHostParamChange(Index(c.id), c.normalized);
        EXPECT_DOUBLE_EQ(plugin->GetParam(Index(c.id))->Value(), c.value) << c.normalized;
        ASSERT_EQ(plugin->Events().size(), 1u);
        EXPECT_EQ(plugin->Events()[0].kind, PluginHostEvent::Notify);
        EXPECT_EQ(plugin->Events()[0].source, ParamSource::Host);
    }

    plugin->ClearEvents();
    const auto before = Values();
    plugin->ApplyHostParamChange(Index(ParamId::Mix), std::numeric_limits<double>::quiet_NaN());
    plugin->ApplyHostParamChange(Index(ParamId::Mix), std::numeric_limits<double>::infinity());
    plugin->ApplyHostParamChange(-1, 0.5);
    plugin->ApplyHostParamChange(kParamCount, 0.5);
    EXPECT_EQ(Values(), before);
    EXPECT_TRUE(plugin->Events().empty());
}

// Construction that runs out of memory at any allocation either completes or says it is
// incomplete; it never crashes, and the first complete instance is a whole plug-in.
TEST(LumenfallConstruction, RunningOutOfMemoryGivesAnIncompleteInstanceOrAWholeOne)
{
    bool complete = false;
    for (std::size_t allowed = 0; allowed < 100000 && !complete; ++allowed)
    {
        std::unique_ptr<Lumenfall> plugin;
        {
            test::AllocationFailure failure(allowed);
            try
            {
                plugin.reset(new (std::nothrow) Lumenfall());
            }
            catch (const std::bad_alloc&)
            {
            }
        }
        complete = plugin != nullptr && plugin->IsComplete();
        if (complete)
        {
            EXPECT_EQ(plugin->NParams(), engine::kParamCount);
            EXPECT_STREQ(plugin->GetPresetName(25), Lumenfall().GetPresetName(25));
        }
    }
    EXPECT_TRUE(complete);
}

} // namespace
} // namespace lumenfall
