#include "plugin/Lumenfall.h"

#include "canvas/ICanvas.h"
#include "plugin/Maker.h"
#include "plugin/TailLength.h"
#include "plugin/editor/EditorLayout.h"
#include "plugin/editor/LayoutEditor.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <span>

namespace lumenfall
{
namespace
{

using engine::ParamId;

constexpr int Index(ParamId id)
{
    return static_cast<int>(id);
}

constexpr std::int32_t FourCharCode(const char (&code)[5])
{
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(code[0]) << 24 | static_cast<std::uint32_t>(code[1]) << 16 |
        static_cast<std::uint32_t>(code[2]) << 8 | static_cast<std::uint32_t>(code[3]));
}

// The editor's design size and scale range are the editor layout's.
using editor::kEditorHeight;
using editor::kEditorWidth;
using editor::kMaxEditorScale;
using editor::kMinEditorScale;

/// An enumeration whose value k shows names[k].
void InitEnumFromNames(plugkit::IParam& param,
                       const char* name,
                       double defaultValue,
                       std::span<const char* const> names)
{
    const int count = static_cast<int>(names.size());
    param.InitEnumArgs(name, static_cast<int>(defaultValue), count);
    for (int k = 0; k < count; ++k)
        param.SetDisplayText(static_cast<double>(k), names[k]);
}

} // namespace

plugkit::PluginConfig Lumenfall::MakeConfig()
{
    plugkit::PluginConfig config;
    config.mNParams = kParamCount;
    config.mNPresets = kFactoryPresetCount;
    config.mChannelIO = "1-1 2-2";
    config.mPluginName = "LUMENFALL";
    config.mProductName = "LUMENFALL";
    config.mMakerName = kMakerName;
    config.mVersion = 0x000101; // 0.1.1
    config.mUniqueId = FourCharCode("Lmfl");
    config.mMakerId = FourCharCode("Tsln");
    config.mLatency = 0;
    config.mMidiIn = false;
    config.mMidiOut = false;
    config.mMpe = false;
    config.mStateChunks = true;
    config.mType = plugkit::kPluginTypeEffect;
    config.mHasUI = true;
    config.mEditorWidth = kEditorWidth;
    config.mEditorHeight = kEditorHeight;
    // A third (whole part) and three times the design size.
    config.mMinWidth = kEditorWidth / 3;
    config.mMaxWidth = kEditorWidth * 3;
    config.mMinHeight = kEditorHeight / 3;
    config.mMaxHeight = kEditorHeight * 3;
    config.mHostResize = true;
    config.mBundleId = "";
    config.mAppGroupId = "";
    return config;
}

#if defined(LUMENFALL_BASE_APP)
Lumenfall::Lumenfall(plugkit::app::StandaloneHost* host)
    : LumenfallBase(MakeConfig(), host)
#else
Lumenfall::Lumenfall()
    : LumenfallBase(MakeConfig())
#endif
{
    for (auto& value : mOtherSlot)
        value.store(0.0f, std::memory_order_relaxed);
    // Everything below reads all the parameters; without them the instance stays incomplete.
    if (NParams() != kParamCount)
        return;
    DeclareParameters();
    MakeFactoryPresets();
    std::array<float, kParamCount> current;
    SnapshotValues(current);
    for (int i = 0; i < kParamCount; ++i)
        mOtherSlot[i].store(current[i], std::memory_order_relaxed);
    UpdateTail();
    // Every opening of the editor fills its new graphics with the product's controls.
    SetLayoutFunc(
        [this](plugkit::canvas::ICanvas* graphics)
        {
            if (graphics != nullptr)
                editor::LayoutEditor(*graphics, *this);
        });
}

Lumenfall::~Lumenfall() = default;

bool Lumenfall::IsComplete() const
{
    if (NParams() != kParamCount || NPresets() != kFactoryPresetCount)
        return false;
    for (int k = 0; k < kFactoryPresetCount; ++k)
        if (!GetPreset(k)->mInitialized.load())
            return false;
    return true;
}

void Lumenfall::DeclareParameters()
{
    // The framework's curve for each of the engine's shapes, in ParamShape order.
    const plugkit::IParam::ShapeLinear linear;
    const plugkit::IParam::ShapePowCurve squared(2.0);
    const plugkit::IParam::Shape* const curves[] = {&linear, &squared};
    static_assert(std::size(curves) == static_cast<std::size_t>(engine::ParamShape::Count));
    for (int i = 0; i < kParamCount; ++i)
    {
        const auto id = static_cast<ParamId>(i);
        plugkit::IParam& param = *GetParam(i);
        const char* name = engine::ParamName(id);
        const double def = engine::ParamDefault(id);
        switch (engine::ParamKindOf(id))
        {
        case engine::ParamKind::Choice:
            InitEnumFromNames(param, name, def, engine::ParamChoices(id));
            break;
        case engine::ParamKind::Switch:
            param.InitBool(name, def != 0.0, "", 0, "", "off", "on");
            break;
        default:
            param.InitDouble(name,
                             def,
                             engine::ParamMinimum(id),
                             engine::ParamMaximum(id),
                             engine::ParamStep(id),
                             engine::ParamUnit(id),
                             0,
                             "",
                             *curves[static_cast<int>(engine::ParamShapeOf(id))]);
            break;
        }
    }
}

void Lumenfall::MakeFactoryPresets()
{
    const auto& presets = GetFactoryPresets();
    for (int k = 0; k < kFactoryPresetCount; ++k)
    {
        PluginStateRecord record;
        record.values = presets[k].values;
        record.otherSlot = presets[k].values;
        record.presetIndex = k;
        record.slotFlag = 0;
        plugkit::IStateChunk chunk;
        if (AppendStateChunk(chunk, record))
            MakePresetFromChunk(presets[k].name, chunk);
    }
}

// ---- Editor resize.

void Lumenfall::OnParentWindowResize(int width, int height)
{
    if (mResizing)
        return;
    plugkit::canvas::ICanvas* graphics = GetUI();
    if (!graphics || graphics->NControls() == 0 || width <= 0 || height <= 0)
        return;
    const float screenScale = graphics->GetPlatformWindowScale();
    if (!std::isfinite(screenScale) || screenScale <= 0.0f)
        return;

    mResizing = true;
    const float fit = std::min(static_cast<float>(height) / (kEditorHeight * screenScale),
                               static_cast<float>(width) / (kEditorWidth * screenScale));
    float scale = std::clamp(fit, kMinEditorScale, kMaxEditorScale);
    const bool held = scale != fit;
    // The editor's pixel size is truncated, and a float scale such as 646 / 760 lands a hair
    // below its quotient: one step up keeps the editor filling the window instead of leaving a
    // strip of the host's one pixel wide, whenever that step still fits.
    const auto fits = [&](float s)
    {
        const auto pixels = [&](int units)
        { return static_cast<int>(screenScale * static_cast<int>(units * s)); };
        return pixels(kEditorWidth) <= width && pixels(kEditorHeight) <= height;
    };
    const float up = std::nextafter(scale, kMaxEditorScale);
    if (!held && up <= kMaxEditorScale && fits(up))
        scale = up;
    // A held scale no longer fills the host's window, so the window must follow the editor.
    graphics->Resize(kEditorWidth, kEditorHeight, scale, held);
    mResizing = false;
}

// ---- Parameters, presets and A/B slots.

void Lumenfall::OnParamChange(int paramIdx)
{
    if (paramIdx == Index(ParamId::Freeze))
        UpdateTail();
}

void Lumenfall::SnapshotValues(std::array<float, kParamCount>& out) const
{
    for (int i = 0; i < kParamCount; ++i)
        out[i] = static_cast<float>(GetParam(i)->Value());
}

std::array<float, kParamCount> Lumenfall::GetOtherSlot() const
{
    std::array<float, kParamCount> values;
    for (int i = 0; i < kParamCount; ++i)
        values[i] = mOtherSlot[i].load(std::memory_order_relaxed);
    return values;
}

void Lumenfall::ApplyValues(const std::array<float, kParamCount>& values, bool inform)
{
    for (int i = 0; i < kParamCount; ++i)
    {
        plugkit::IParam& param = *GetParam(i);
        if (inform)
            BeginInformHostOfParamChange(i);
        param.Set(static_cast<double>(values[i]));
        const double normalized = param.GetNormalized();
        if (inform)
        {
            InformHostOfParamChange(i, normalized);
            EndInformHostOfParamChange(i);
        }
        SendParameterValueFromDelegate(i, normalized, true);
    }
    // The plug-in hears of the changes only once all values are in place.
    for (int i = 0; i < kParamCount; ++i)
    {
        OnParamChange(i, plugkit::ParamSource::Preset, -1);
        OnParamChangeUI(i, plugkit::ParamSource::Preset);
    }
}

void Lumenfall::SelectFactoryPreset(int index)
{
    if (index < 0 || index >= kFactoryPresetCount)
        return;
    ApplyValues(GetFactoryPresets()[index].values, true);
    mPresetIndex.store(index, std::memory_order_relaxed);
}

int Lumenfall::FindMatchingPreset() const
{
    std::array<float, kParamCount> current;
    SnapshotValues(current);
    return FindMatchingFactoryPreset(current);
}

void Lumenfall::CopyToOtherSlot()
{
    std::array<float, kParamCount> current;
    SnapshotValues(current);
    for (int i = 0; i < kParamCount; ++i)
        mOtherSlot[i].store(current[i], std::memory_order_relaxed);
}

void Lumenfall::SwitchABSlot()
{
    std::array<float, kParamCount> current;
    SnapshotValues(current);
    std::array<float, kParamCount> other;
    for (int i = 0; i < kParamCount; ++i)
        other[i] = mOtherSlot[i].exchange(current[i], std::memory_order_relaxed);
    ApplyValues(other, true);
    mSlotFlag.store(mSlotFlag.load(std::memory_order_relaxed) == 0 ? 1 : 0,
                    std::memory_order_relaxed);
}

// ---- State.

PluginStateRecord Lumenfall::CurrentRecord() const
{
    PluginStateRecord record;
    SnapshotValues(record.values);
    record.otherSlot = GetOtherSlot();
    record.presetIndex = GetPresetIndex();
    record.slotFlag = GetActiveSlot();
    return record;
}

bool Lumenfall::SerializeState(plugkit::IStateChunk& chunk) const
{
    return AppendStateChunk(chunk, CurrentRecord());
}

int Lumenfall::UnserializeState(const plugkit::IStateChunk& chunk, int startPos)
{
    PluginStateRecord record;
    const int end = ReadStateChunk(chunk, startPos, record);
    if (end < 0)
        return -1;
    ApplyRecord(record);
    return end;
}

void Lumenfall::ApplyRecord(const PluginStateRecord& record)
{
    // The host is not told of the single values: the adapter pushes the restored state to its
    // own parameter objects.
    for (int i = 0; i < kParamCount; ++i)
    {
        plugkit::IParam& param = *GetParam(i);
        param.Set(static_cast<double>(record.values[i]));
        SendParameterValueFromDelegate(i, param.GetNormalized(), true);
    }
    for (int i = 0; i < kParamCount; ++i)
    {
        OnParamChange(i, plugkit::ParamSource::Preset, -1);
        OnParamChangeUI(i, plugkit::ParamSource::Preset);
    }
    for (int i = 0; i < kParamCount; ++i)
        mOtherSlot[i].store(record.otherSlot[i], std::memory_order_relaxed);
    mPresetIndex.store(record.presetIndex, std::memory_order_relaxed);
    mSlotFlag.store(record.slotFlag != 0 ? 1 : 0, std::memory_order_relaxed);
}

void Lumenfall::WriteComponentState(std::span<std::uint8_t, kComponentStateSize> out) const
{
    EncodeComponentState(CurrentRecord(), GetHostBypass(), out);
}

bool Lumenfall::ReadComponentState(std::span<const std::uint8_t> bytes)
{
    PluginStateRecord record;
    bool hostBypass = false;
    if (!DecodeComponentState(bytes, record, hostBypass))
        return false;
    ApplyRecord(record);
    SetHostBypass(hostBypass);
    return true;
}

// ---- Processing.

void Lumenfall::UpdateTail()
{
    const bool freeze = GetParam(Index(ParamId::Freeze))->Value() >= 0.5;
    mTailLength.store(TailLengthSamples(mSampleRate.load(std::memory_order_relaxed), freeze),
                      std::memory_order_relaxed);
}

void Lumenfall::ApplyHostParamChange(int paramIdx, double normalized)
{
    plugkit::IParam* param = GetParam(paramIdx);
    if (!param || !std::isfinite(normalized))
        return;
    param->Set(param->FromNormalized(std::clamp(normalized, 0.0, 1.0)));
    OnParamChange(paramIdx, plugkit::ParamSource::Host, -1);
}

void Lumenfall::Prepare()
{
    double rate = plugkit::IPluginProcessor::GetSampleRate();
    if (!std::isfinite(rate) || rate <= 0.0)
        rate = kDefaultSampleRate;
    mSampleRate.store(rate, std::memory_order_relaxed);
    UpdateTail();
    std::array<float, kParamCount> values;
    SnapshotValues(values);
    mEngine.SetParameters(values.data());
    mEngine.Prepare(rate, 2);
    mMeters.Clear();
    SetLatency(0);
    mActive.store(true, std::memory_order_relaxed);
}

void Lumenfall::OnReset()
{
    Prepare();
}

void Lumenfall::OnActivate(bool active)
{
    if (active)
    {
        Prepare();
        return;
    }
    mActive.store(false, std::memory_order_relaxed);
    mMeters.Clear(); // a switched-off plug-in shows no level
}

void Lumenfall::ProcessBlock(float** inputs, float** outputs, int nFrames)
{
    if (nFrames < 1)
        return;
    // Blocks the engine does not process show no level, rather than the last one it had.
    if (GetHostBypass())
    {
        plugkit::IPluginProcessor::ProcessBlock(inputs, outputs, nFrames);
        mMeters.Store({});
        return;
    }

    const int nIn = NChannelsConnected(plugkit::kInput);
    const int nOut = NChannelsConnected(plugkit::kOutput);
    const auto frames = static_cast<std::size_t>(nFrames);
    if (!mActive.load(std::memory_order_relaxed))
    {
        for (int c = 0; c < nOut; ++c)
            if (outputs[c])
                std::fill_n(outputs[c], frames, 0.0f);
        mMeters.Store({});
        return;
    }

    std::array<float, kParamCount> values;
    SnapshotValues(values);
    mEngine.SetParameters(values.data());
    double tempo = GetTransportInfo().mTempo;
    if (!std::isfinite(tempo) || tempo <= 0.0)
        tempo = kDefaultTempo;
    mEngine.SetTempo(tempo);

    const float* left = nIn >= 1 ? inputs[0] : nullptr;
    const float* right = nIn >= 2 ? inputs[1] : left;
    const float* const engineIn[2] = {mInputL, mInputR};
    float* const engineOut[2] = {mOutputL, mOutputR};
    engine::MeterLevels block;
    for (int start = 0; start < nFrames; start += kChunkFrames)
    {
        const int m = std::min(nFrames - start, kChunkFrames);
        const auto count = static_cast<std::size_t>(m);
        if (left)
            std::copy_n(left + start, count, mInputL);
        else
            std::fill_n(mInputL, count, 0.0f);
        if (right)
            std::copy_n(right + start, count, mInputR);
        else
            std::fill_n(mInputR, count, 0.0f);

        mEngine.Process(engineIn, engineOut, m, false);

        // The engine reports each chunk; the meters show the whole host block.
        const engine::MeterLevels chunk = mEngine.GetMeterLevels();
        block.inputPeak = std::max(block.inputPeak, chunk.inputPeak);
        block.wetPeak = std::max(block.wetPeak, chunk.wetPeak);
        block.outputPeak = std::max(block.outputPeak, chunk.outputPeak);
        block.duckReduction = std::max(block.duckReduction, chunk.duckReduction);

        for (int c = 0; c < nOut; ++c)
        {
            float* out = outputs[c] ? outputs[c] + start : nullptr;
            if (!out)
                continue;
            if (nOut == 1)
                for (int j = 0; j < m; ++j)
                    out[j] = (mOutputL[j] + mOutputR[j]) * 0.5f;
            else if (c < 2)
                std::copy_n(c == 0 ? mOutputL : mOutputR, count, out);
            else
                std::fill_n(out, count, 0.0f);
        }
    }
    mMeters.Store(block);
}

} // namespace lumenfall
