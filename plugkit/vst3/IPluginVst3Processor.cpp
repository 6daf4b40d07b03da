#include "plugkit/vst3/IPluginVst3.h"

#include "plugkit/IStateChunk.h"
#include "plugkit/vst3/IPluginVst3View.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace plugkit
{
namespace
{
constexpr int kMidiOutGranularity = 512;
constexpr int kMaxMidiOut = 64 * kMidiOutGranularity;

/// Zeroes channels `from` .. `to` - 1 of a host bus (those with a buffer).
void ZeroHostChannels(const AudioBusBuffers& bus, int from, int to, int frames, bool is64)
{
    for (int c = std::max(from, 0); c < to; ++c)
    {
        if (is64 && bus.channelBuffers64 != nullptr && bus.channelBuffers64[c] != nullptr)
            std::memset(bus.channelBuffers64[c], 0, sizeof(double) * static_cast<size_t>(frames));
        else if (!is64 && bus.channelBuffers32 != nullptr && bus.channelBuffers32[c] != nullptr)
            std::memset(bus.channelBuffers32[c], 0, sizeof(float) * static_cast<size_t>(frames));
    }
}

/// True when the bus has `channels` buffers, none of them null.
bool HasAllChannels(const AudioBusBuffers& bus, int channels, bool is64)
{
    if (is64 ? bus.channelBuffers64 == nullptr : bus.channelBuffers32 == nullptr)
        return false;
    for (int c = 0; c < channels; ++c)
        if (is64 ? bus.channelBuffers64[c] == nullptr : bus.channelBuffers32[c] == nullptr)
            return false;
    return true;
}

int CountChannels(SpeakerArrangement arrangement)
{
    int n = 0;
    for (; arrangement != 0; arrangement &= arrangement - 1)
        ++n;
    return n;
}

/// Reads a text key into `out`; false (and `out` unchanged) when the host has none.
bool ReadContextText(IAttributeList* list, const char* key, HeapString& out)
{
    String128 text = {};
    if (list->getString(key, text, sizeof(text)) != kResultTrue)
        return false;
    char utf8[kMaxUtf8Bytes];
    NarrowFromUtf16(text, 128, utf8, sizeof(utf8));
    out.Set(utf8);
    return true;
}
} // namespace

SpeakerArrangement SpeakerArrangementForChannels(int channels)
{
    switch (channels)
    {
    case 1:
        return SpeakerArr::kMono;
    case 2:
        return SpeakerArr::kStereo;
    case 3:
        return 0x7;
    case 4:
        return 0xF00000;
    case 5:
        return 0x37;
    case 6:
        return 0x3F;
    case 7:
        return 0xF7;
    case 8:
        return 0x63F;
    case 9:
        return 0x7C000F00000;
    case 10:
        return 0x300063F;
    case 16:
        return 0x3FFC000F00000;
    default:
        return 0;
    }
}

bool WriteWholeStream(IBStream* stream, const void* bytes, int32 size)
{
    auto* p = static_cast<std::uint8_t*>(const_cast<void*>(bytes)); // IBStream::write is not const
    int32 done = 0;
    while (done < size)
    {
        int32 written = 0;
        if (stream->write(p + done, size - done, &written) != kResultOk || written < 1 ||
            written > size - done)
            return false;
        done += written;
    }
    return true;
}

bool ReadWholeStream(IBStream* stream, void* bytes, int32 size)
{
    auto* p = static_cast<std::uint8_t*>(bytes);
    int32 done = 0;
    while (done < size)
    {
        int32 read = 0;
        if (stream->read(p + done, size - done, &read) != kResultOk || read < 1 ||
            read > size - done)
            return false;
        done += read;
    }
    return true;
}

bool StreamEnded(IBStream* stream)
{
    std::uint8_t extra = 0;
    int32 read = 0;
    const tresult result = stream->read(&extra, 1, &read);
    return read == 0 && (result == kResultOk || result == kResultFalse);
}

// --- IPluginVst3ProcessorBase ---------------------------------------------------

IPluginVst3ProcessorBase::IPluginVst3ProcessorBase(const PluginConfig& config, IPluginVst3* plugin)
    : IPluginProcessor(config)
    , mPlugin(plugin)
    , mReportedLatency(config.mLatency)
{
    GrowMidiOutput(kMidiOutGranularity);
    SetChannelConnections(kInput, 0, NChannels(kInput), true);
    SetChannelConnections(kOutput, 0, NChannels(kOutput), true);
    mSideChainFirstChannel = MaxChannelsForBus(kInput, 0);
    InitLatencyDelay();
    SetBlockSize(512);
}

IPluginVst3ProcessorBase::~IPluginVst3ProcessorBase()
{
    delete[] mMidiOut;
}

bool IPluginVst3ProcessorBase::GrowMidiOutput(int capacity)
{
    if (capacity <= mMidiOutCapacity)
        return true;
    auto* storage = new (std::nothrow) MidiMessage[static_cast<size_t>(capacity)];
    if (storage == nullptr)
        return false;
    for (int i = 0; i < mMidiOutCount; ++i)
        storage[i] = mMidiOut[i];
    delete[] mMidiOut;
    mMidiOut = storage;
    mMidiOutCapacity = capacity;
    return true;
}

bool IPluginVst3ProcessorBase::SendMidiMsg(const MidiMessage& msg)
{
    if (mMidiOutCount >= mMidiOutCapacity && mMidiOutConsumed > 0)
    {
        const int left = mMidiOutCount - mMidiOutConsumed;
        for (int i = 0; i < left; ++i)
            mMidiOut[i] = mMidiOut[mMidiOutConsumed + i];
        mMidiOutCount = left;
        mMidiOutConsumed = 0;
    }
    // Growing here would allocate on the audio thread: a full list drops the message.
    if (mMidiOutCount >= mMidiOutCapacity)
        return true;
    int at = mMidiOutCount;
    while (at > mMidiOutConsumed && mMidiOut[at - 1].mOffset > msg.mOffset)
    {
        mMidiOut[at] = mMidiOut[at - 1];
        --at;
    }
    mMidiOut[at] = msg;
    ++mMidiOutCount;
    return true;
}

void IPluginVst3ProcessorBase::SetLatency(int samples)
{
    IPluginProcessor::SetLatency(samples);
    if (samples == mReportedLatency)
        return;
    if (mInHostSetupCall)
    {
        mReportedLatency = samples; // the host reads getLatencySamples after its set-up call
        return;
    }
    IComponentHandler* handler = mPlugin->getComponentHandler();
    if (handler == nullptr)
        return;
    IComponentHandler* restart = nullptr;
    if (handler->queryInterface(IComponentHandler::iid, reinterpret_cast<void**>(&restart)) ==
            kResultOk &&
        restart != nullptr)
    {
        mReportedLatency = samples;
        restart->restartComponent(kLatencyChanged);
        restart->release();
    }
}

bool IPluginVst3ProcessorBase::ApplyBusArrangements(const SpeakerArrangement* inputs,
                                                    int numIns,
                                                    const SpeakerArrangement* outputs,
                                                    int numOuts)
{
    // Ardour and Mixbus route to the buses as declared whatever they request: every request is
    // taken as it is, buses and channels untouched; rendering holds the host's channel counts
    // to the plug-in's.
    const int host = mPlugin->GetHost();
    if (host == kHostMixbus || host == kHostArdour)
        return true;

    if (numIns < 0 || numOuts < 0 || (numIns > 0 && inputs == nullptr) ||
        (numOuts > 0 && outputs == nullptr))
        return false;
    // Only mono and stereo buses: a 2-channel arrangement that is not stereo (L + LFE,
    // say) is refused, so the host asks again with one we render correctly.
    for (int i = 0; i < numIns; ++i)
        if (inputs[i] != SpeakerArr::kMono && inputs[i] != SpeakerArr::kStereo)
            return false;
    for (int i = 0; i < numOuts; ++i)
        if (outputs[i] != SpeakerArr::kMono && outputs[i] != SpeakerArr::kStereo)
            return false;

    SetChannelConnections(kInput, 0, NChannels(kInput), false);
    SetChannelConnections(kOutput, 0, NChannels(kOutput), false);
    if (numIns > MaxBusCount(kInput) || numOuts > MaxBusCount(kOutput))
        return false;

    constexpr int kMaxBuses = 16;
    if (numIns > kMaxBuses || numOuts > kMaxBuses)
        return false;
    int inChannels[kMaxBuses] = {};
    int outChannels[kMaxBuses] = {};
    for (int i = 0; i < numIns; ++i)
        inChannels[i] = CountChannels(inputs[i]);
    for (int i = 0; i < numOuts; ++i)
        outChannels[i] = CountChannels(outputs[i]);
    const int config = FindIOConfig(inChannels, numIns, outChannels, numOuts);
    if (config < 0)
        return false;

    // Hosts may activate buses before they settle the arrangement: a rebuilt bus keeps the
    // activation of the bus it replaces, or it would render silence until activated again.
    bool wasActive[2][kMaxBuses] = {};
    for (int dir = kInput; dir <= kOutput; ++dir)
        for (int bus = 0; bus < kMaxBuses; ++bus)
            if (const AudioBus* old = mPlugin->GetAudioBus(static_cast<BusDirection>(dir), bus))
                wasActive[dir][bus] = old->isActive();

    mPlugin->RemoveAudioBuses();
    const ChannelIOConfig* io = GetIOConfig(config);
    for (int dir = kInput; dir <= kOutput; ++dir)
    {
        const auto direction = static_cast<ChannelDirection>(dir);
        const int nBuses = std::min(io->NBuses(direction), kMaxBuses);
        for (int bus = 0; bus < nBuses; ++bus)
        {
            HeapString name;
            GetBusName(direction, bus, nBuses, name);
            String128 wide;
            WidenToString128(name.Get(), wide);
            const SpeakerArrangement arr =
                SpeakerArrangementForChannels(io->NChansOnBus(direction, bus));
            const BusType type = bus == 0 ? kMain : kAux;
            const int32 flags = bus == 0 ? Vst::BusInfo::kDefaultActive : 0;
            AudioBus* added = direction == kInput ? mPlugin->AddAudioInput(wide, arr, type, flags)
                                                  : mPlugin->AddAudioOutput(wide, arr, type, flags);
            if (added == nullptr)
                return false;
            added->setActive(wasActive[dir][bus]);
        }
    }
    return true;
}

bool IPluginVst3ProcessorBase::ApplyProcessSetup(const ProcessSetup& setup)
{
    if (setup.symbolicSampleSize != kSample32 && setup.symbolicSampleSize != kSample64)
        return false;
    SetSampleRate(setup.sampleRate);
    SetBlockSize(setup.maxSamplesPerBlock > 0 ? setup.maxSamplesPerBlock : 512);

    const int left = mMidiOutCount - mMidiOutConsumed;
    for (int i = 0; i < left; ++i)
        mMidiOut[i] = mMidiOut[mMidiOutConsumed + i];
    mMidiOutCount = left;
    mMidiOutConsumed = 0;
    // Room for one message per frame of the largest block, up to kMaxMidiOut (beyond that a
    // full list drops messages), so neither the rounding nor the allocation follows a host's
    // absurd block size.
    const int wanted = std::min(std::max(setup.maxSamplesPerBlock, mMidiOutCount), kMaxMidiOut);
    GrowMidiOutput((wanted + kMidiOutGranularity - 1) / kMidiOutGranularity * kMidiOutGranularity);

    OnReset();
    return true;
}

void IPluginVst3ProcessorBase::ReadProcessContext(const ProcessData& data,
                                                  const ProcessSetup& setup)
{
    if (data.processContext != nullptr)
    {
        mProcessContext = *data.processContext;
        mHasProcessContext = true;
    }
    TransportInfo transport; // the defaults: 120 bpm, 4/4, positions unknown
    if (mHasProcessContext)
    {
        const ProcessContext& c = mProcessContext;
        transport.mSamplePos = static_cast<double>(c.projectTimeSamples);
        if ((c.state & ProcessContext::kTempoValid) && std::isfinite(c.tempo) && c.tempo > 0.0)
            transport.mTempo = c.tempo;
        if (c.state & ProcessContext::kProjectTimeMusicValid)
            transport.mPPQPos = c.projectTimeMusic;
        if (c.state & ProcessContext::kBarPositionValid)
            transport.mLastBar = c.barPositionMusic;
        if (c.state & ProcessContext::kCycleValid)
        {
            transport.mCycleStart = c.cycleStartMusic;
            transport.mCycleEnd = c.cycleEndMusic;
        }
        if ((c.state & ProcessContext::kTimeSigValid) && c.timeSigNumerator > 0 &&
            c.timeSigDenominator > 0)
        {
            transport.mNumerator = c.timeSigNumerator;
            transport.mDenominator = c.timeSigDenominator;
        }
        transport.mPlaying = (c.state & ProcessContext::kPlaying) != 0;
        transport.mLooping = (c.state & ProcessContext::kCycleActive) != 0;
    }
    SetTransportInfo(transport);
    SetRenderingOffline(setup.processMode == kOffline);
}

void IPluginVst3ProcessorBase::RenderAudio(ProcessData& data, const ProcessSetup& setup)
{
    const bool is64 = setup.symbolicSampleSize == kSample64;
    if (setup.symbolicSampleSize != kSample32 && !is64)
        return;
    if (data.symbolicSampleSize != setup.symbolicSampleSize)
        return; // the buffers are not of the kind the host set up
    const int frames = data.numSamples;
    if (frames <= 0 || data.numOutputs < 1 || data.outputs == nullptr)
        return;

    // Inputs: the host's main bus from channel 0 and, while the effect's input bus 1 is active,
    // its side-chain bus from the first side-chain channel on. Every other input channel is
    // disconnected and reads silence, never the previous call's host pointers.
    SetChannelConnections(kInput, 0, NChannels(kInput), false);
    const AudioBus* sideChain = mPlugin->GetAudioBus(kInput, 1);
    const bool sideChainActive = sideChain != nullptr && sideChain->isActive();
    const int nInputBuses =
        data.inputs != nullptr ? std::min(data.numInputs, sideChainActive ? 2 : 1) : 0;
    for (int bus = 0; bus < nInputBuses; ++bus)
    {
        const AudioBusBuffers& host = data.inputs[bus];
        const int first = bus == 0 ? 0 : mSideChainFirstChannel;
        const int room = bus == 0 ? mSideChainFirstChannel : NChannels(kInput) - first;
        const int n = std::min(host.numChannels, room);
        if (n < 1 || !HasAllChannels(host, n, is64))
            continue;
        SetChannelConnections(kInput, first, n, true);
        if (is64)
            AttachDoubleBuffers(kInput, first, n, host.channelBuffers64, frames);
        else
            AttachBuffers(kInput, first, n, host.channelBuffers32);
    }

    // Outputs: each host bus from its running first channel. What the plug-in does not render
    // (an inactive bus, channels beyond its own) goes back to the host as silence.
    const int nOuts = NChannels(kOutput);
    int first = 0;
    for (int bus = 0; bus < data.numOutputs; ++bus)
    {
        const AudioBusBuffers& out = data.outputs[bus];
        const int n = std::max(out.numChannels, 0);
        const int rendered = std::clamp(nOuts - first, 0, n);
        AudioBus* ours = mPlugin->GetAudioBus(kOutput, bus);
        const bool usable = ours != nullptr && ours->isActive() && rendered > 0 &&
                            HasAllChannels(out, rendered, is64);
        SetChannelConnections(kOutput, first, rendered, usable);
        SetChannelConnections(kOutput, first + rendered, nOuts - (first + rendered), false);
        if (usable)
        {
            if (is64)
                AttachDoubleBuffers(kOutput, first, rendered, out.channelBuffers64, frames);
            else
                AttachBuffers(kOutput, first, rendered, out.channelBuffers32);
        }
        ZeroHostChannels(out, usable ? rendered : 0, n, frames, is64);
        first += n;
    }

    if (GetBypassed() && GetLatency() == 0)
        PassThroughHostBuffers(data, setup);
    else if (GetBypassed())
    {
        if (is64)
            PassThroughDoubleBuffers(frames);
        else
            PassThroughBuffers(frames);
    }
    else if (is64)
        ProcessDoubleBuffers(frames);
    else
        ProcessBuffers(frames);
}

void IPluginVst3ProcessorBase::PassThroughHostBuffers(ProcessData& data, const ProcessSetup& setup)
{
    const bool is64 = setup.symbolicSampleSize == kSample64;
    const int frames = data.numSamples;
    if (data.symbolicSampleSize != setup.symbolicSampleSize || frames <= 0 || data.numOutputs < 1 ||
        data.outputs == nullptr)
        return;
    const AudioBusBuffers* in =
        data.numInputs > 0 && data.inputs != nullptr ? data.inputs : nullptr;
    const int nIn =
        in != nullptr && in->numChannels > 0 && HasAllChannels(*in, in->numChannels, is64)
            ? std::min(in->numChannels, NChannels(kInput))
            : 0;
    const std::size_t bytes =
        static_cast<std::size_t>(frames) * (is64 ? sizeof(double) : sizeof(float));
    for (int bus = 0; bus < data.numOutputs; ++bus)
    {
        const AudioBusBuffers& out = data.outputs[bus];
        const int n = std::max(out.numChannels, 0);
        const AudioBus* ours = mPlugin->GetAudioBus(kOutput, bus);
        const int copied =
            bus == 0 && ours != nullptr && ours->isActive() && HasAllChannels(out, n, is64)
                ? std::min({nIn, n, NChannels(kOutput)})
                : 0;
        for (int c = 0; c < copied; ++c)
        {
            void* dst = is64 ? static_cast<void*>(out.channelBuffers64[c])
                             : static_cast<void*>(out.channelBuffers32[c]);
            const void* src = is64 ? static_cast<const void*>(in->channelBuffers64[c])
                                   : static_cast<const void*>(in->channelBuffers32[c]);
            if (src != dst)
                std::memmove(dst, src, bytes);
        }
        ZeroHostChannels(out, copied, n, frames, is64); // as rendering would hand them back
    }
}

// --- IPluginVst3 ----------------------------------------------------------------

IPluginVst3::IPluginVst3(const PluginConfig& config)
    : IPluginApiBase(config, kPluginApiVst3)
    , IPluginVst3ProcessorBase(config, this)
{
    // Hosts that honour these requirements send only what is asked for: the transport
    // fields ReadProcessContext reads.
    using R = IProcessContextRequirements;
    mProcessContextRequirements = R::kNeedTempo | R::kNeedTimeSignature | R::kNeedProjectTimeMusic |
                                  R::kNeedBarPositionMusic | R::kNeedCycleMusic |
                                  R::kNeedTransportState;
    CreateTimer();
}

IPluginVst3::~IPluginVst3() = default;

tresult PLUGIN_API IPluginVst3::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, IMidiMapping::iid, IMidiMapping)
    QUERY_INTERFACE(iid, obj, ChannelContext::IInfoListener::iid, ChannelContext::IInfoListener)
    return SingleComponentEffect::queryInterface(iid, obj);
}

tresult PLUGIN_API IPluginVst3::initialize(FUnknown* context)
{
    if (SingleComponentEffect::initialize(context) != kResultOk)
        return kResultFalse;
    // The SDK's containers are std::vector and std::map: nothing may throw to the host.
    try
    {
        if (!CreateBuses() || !CreateParameters())
            return kResultFalse;
    }
    catch (...)
    {
        return kResultFalse;
    }

    if (context != nullptr && GetHost() == kHostUninit)
    {
        IHostApplication* app = nullptr;
        if (context->queryInterface(IHostApplication::iid, reinterpret_cast<void**>(&app)) ==
                kResultOk &&
            app != nullptr)
        {
            String128 name = {};
            if (app->getName(name) == kResultOk)
            {
                char utf8[kMaxUtf8Bytes];
                NarrowFromUtf16(name, 127, utf8, sizeof(utf8));
                SetHost(utf8, 0);
            }
            app->release();
        }
    }
    OnHostIdentified();
    OnParamReset(ParamSource::Reset);
    return kResultOk;
}

tresult PLUGIN_API IPluginVst3::terminate()
{
    mNGroups = 0;
    return SingleComponentEffect::terminate();
}

bool IPluginVst3::CreateBuses()
{
    RemoveAudioBuses();
    RemoveEventBuses();
    int inConfig = 0;
    int outConfig = 0;
    const int nInBuses = MaxBusCount(kInput, &inConfig);
    const int nOutBuses = MaxBusCount(kOutput, &outConfig);
    for (int dir = kInput; dir <= kOutput; ++dir)
    {
        const auto direction = static_cast<ChannelDirection>(dir);
        const ChannelIOConfig* io = GetIOConfig(direction == kInput ? inConfig : outConfig);
        const int nBuses = direction == kInput ? nInBuses : nOutBuses;
        for (int bus = 0; io != nullptr && bus < nBuses; ++bus)
        {
            HeapString name;
            GetBusName(direction, bus, nBuses, name);
            String128 wide;
            WidenToString128(name.Get(), wide);
            // The widest this bus gets in any configuration ("1-1 2-2": stereo).
            const int widest = MaxChannelsForBus(direction, bus);
            const SpeakerArrangement arr = SpeakerArrangementForChannels(
                widest > 0 ? widest : io->NChansOnBus(direction, bus));
            const BusType type = bus == 0 ? kMain : kAux;
            const int32 flags = bus == 0 ? Vst::BusInfo::kDefaultActive : 0;
            AudioBus* added = direction == kInput ? AddAudioInput(wide, arr, type, flags)
                                                  : AddAudioOutput(wide, arr, type, flags);
            if (added == nullptr)
                return false;
        }
    }
    if (GetPluginType() == kPluginTypeMidiEffect && nOutBuses == 0 &&
        AddAudioOutput(STR16("Dummy Output"), 0, kMain, 0) == nullptr)
        return false;
    if (DoesMidiIn() &&
        AddEventInput(STR16("MIDI Input"), 1, kMain, Vst::BusInfo::kDefaultActive) == nullptr)
        return false;
    if (DoesMidiOut() &&
        AddEventOutput(STR16("MIDI Output"), 1, kMain, Vst::BusInfo::kDefaultActive) == nullptr)
        return false;
    return true;
}

bool IPluginVst3::CreateParameters()
{
    parameters.removeAll();
    units.clear();
    mNGroups = 0; // groups are rebuilt with the parameters

    if (GetPluginType() != kPluginTypeInstrument)
    {
        if (!AddParameterObject(new (std::nothrow) IPluginVst3BypassParameter()))
            return false;
    }
    if (!AddUnitObject(new (std::nothrow)
                           Unit(STR16("Root"), kRootUnitId, kNoParentUnitId, kNoProgramListId)))
        return false;

    for (int i = 0; i < NParams(); ++i)
    {
        IParam* param = GetParam(i);
        if (param == nullptr)
            continue;
        UnitID unit = kRootUnitId;
        const char* group = param->GetGroup();
        if (group != nullptr && group[0] != 0)
        {
            int found = -1;
            for (int g = 0; g < mNGroups; ++g)
                if (std::strcmp(mGroupNames[g].Get(), group) == 0)
                    found = g;
            if (found < 0 &&
                mNGroups < static_cast<int>(sizeof(mGroupNames) / sizeof(mGroupNames[0])))
            {
                mGroupNames[mNGroups].Set(group);
                found = mNGroups++;
                String128 name;
                WidenToString128(group, name);
                if (!AddUnitObject(new (std::nothrow)
                                       Unit(name, found + 1, kRootUnitId, kNoProgramListId)))
                    return false;
            }
            unit = found >= 0 ? found + 1 : kRootUnitId;
        }
        if (!AddParameterObject(new (std::nothrow)
                                    IPluginVst3Parameter(param, static_cast<ParamID>(i), unit)))
            return false;
    }

    if (DoesMidiIn())
    {
        // MIDI controllers of channel 1 as parameters, titled as the MIDI names go.
        static const char* const kNames[128] = {
            "BankSel.MSB", "Modulation",  "BreathCtrl",  nullptr,       "Foot Ctrl",
            "Porta.Time",  "DataEntMSB",  "MainVolume",  "Balance",     nullptr,
            "Pan",         "Expression",  "FXControl1",  "FXControl2",  nullptr,
            nullptr,       "Gen.Purp.1",  "Gen.Purp.2",  "Gen.Purp.3",  "Gen.Purp.4",
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       "BankSel.LSB", "Modul. LSB",  "BrthCt LSB",
            nullptr,       "FootCt LSB",  "Port.T LSB",  "DataEntLSB",  "MainVolLSB",
            "BalanceLSB",  nullptr,       "Pan LSB",     "Expr. LSB",   nullptr,
            nullptr,       nullptr,       nullptr,       "Gen.P.1LSB",  "Gen.P.2LSB",
            "Gen.P.3LSB",  "Gen.P.4LSB",  nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       "Damper Ped",
            "Porta. Ped",  "Sostenuto ",  "Soft Pedal",  "Legato Sw",   "Hold 2",
            "SoundCont 1", "SoundCont 2", "SoundCont 3", "SoundCont 4", "SoundCont 5",
            "SoundCont 6", "SoundCont 7", "SoundCont 8", "SoundCont 9", "SoundCont 10",
            "Gen.Purp.5",  "Gen.Purp.6",  "Gen.Purp.7",  "Gen.Purp.8",  "Portamento",
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       "FX 1 Depth",  "FX 2 Depth",  "FX 3 Depth",  "FX 4 Depth",
            "FX 5 Depth",  "Data Incr",   "Data Decr",   "Non-RegLSB",  "Non-RegMSB",
            "Reg LSB",     "Reg MSB",     nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       "Reset Ctrl",  "Local Ctrl",  "AllNoteOff",  "OmniModOff",
            "OmniModeOn",  "MonoModeOn",  "PolyModeOn"};
        const UnitID ccUnit = getUnitCount() + 1;
        if (!AddUnitObject(new (std::nothrow)
                               Unit(STR16("MIDI CCs"), ccUnit, kRootUnitId, kNoProgramListId)))
            return false;
        const UnitID channelUnit = getUnitCount() + 1;
        if (!AddUnitObject(new (std::nothrow)
                               Unit(STR16("CH1"), channelUnit, ccUnit, kNoProgramListId)))
            return false;
        for (int c = 0; c < kControllersPerChannel; ++c)
        {
            HeapString title;
            if (c == 128)
                title.Set("Channel Aftertouch");
            else if (c == 129)
                title.Set("Pitch Bend");
            else if (kNames[c] != nullptr)
                title.Set(kNames[c]);
            else
                title.SetFormatted(32, "Contr. %d", c);
            ParameterInfo info = {};
            WidenToString128(title.Get(), info.title);
            info.id = kMidiControllerParamBase + static_cast<ParamID>(c);
            info.defaultNormalizedValue = c == 129 ? 0.5 : 0.0;
            info.unitId = channelUnit;
            if (!AddParameterObject(new (std::nothrow) Parameter(info)))
                return false;
        }
    }
    return true;
}

bool IPluginVst3::AddParameterObject(Parameter* p)
{
    if (p == nullptr)
        return false;
    // The container takes over `p`'s reference, but its growth may fail before or after its
    // list holds `p`: a reference of our own across the call tells the two apart.
    p->addRef();
    try
    {
        parameters.addParameter(p);
    }
    catch (...)
    {
        parameters.removeAll(); // no half-added entry stays behind
        if (p->getRefCount() > 1)
            p->release(); // the list never held it: its first reference is still ours
        p->release();
        return false;
    }
    p->release();
    return true;
}

bool IPluginVst3::AddUnitObject(Unit* unit)
{
    if (unit == nullptr)
        return false;
    try
    {
        addUnit(unit); // the list holds `unit`'s reference once it has grown
    }
    catch (...)
    {
        unit->release();
        return false;
    }
    return true;
}

Parameter* IPluginVst3::GetVst3Parameter(ParamID id) const
{
    return parameters.getParameter(id);
}

void IPluginVst3::SyncControllerParameters()
{
    for (int i = 0; i < NParams(); ++i)
        if (Parameter* p = GetVst3Parameter(static_cast<ParamID>(i)))
            if (IParam* param = GetParam(i))
                p->setNormalized(param->GetNormalized());
}

void IPluginVst3::SetBypassParameter(bool on)
{
    if (Parameter* bypass = GetVst3Parameter(kBypassParamId))
        bypass->setNormalized(on ? 1.0 : 0.0);
}

tresult PLUGIN_API IPluginVst3::getParameterInfo(int32 index, ParameterInfo& info)
{
    // The SDK's container indexes with at(), which throws for a bad index.
    if (index < 0 || index >= parameters.getParameterCount())
        return kInvalidArgument;
    return SingleComponentEffect::getParameterInfo(index, info);
}

tresult PLUGIN_API IPluginVst3::getParamStringByValue(ParamID id,
                                                      ParamValue normalized,
                                                      String128 string)
{
    // The SDK's list parameter indexes its texts with the value: keep it finite and in range.
    if (string == nullptr || !std::isfinite(normalized))
        return kResultFalse;
    normalized = normalized < 0.0 ? 0.0 : (normalized > 1.0 ? 1.0 : normalized);
    return SingleComponentEffect::getParamStringByValue(id, normalized, string);
}

tresult PLUGIN_API IPluginVst3::getParamValueByString(ParamID id,
                                                      TChar* string,
                                                      ParamValue& normalized)
{
    if (string == nullptr)
        return kInvalidArgument;
    Parameter* p = GetVst3Parameter(id);
    if (p == nullptr)
        return kResultFalse;
    // The SDK's parameters read the host's text up to its terminator: hand them a copy that
    // ends within 128 units. Their results are held to finite values in [0, 1].
    String128 bounded;
    int n = 0;
    for (; n < 127 && string[n] != 0; ++n)
        bounded[n] = string[n];
    bounded[n] = 0;
    ParamValue value = 0.0;
    if (!p->fromString(bounded, value) || !std::isfinite(value))
        return kResultFalse;
    normalized = std::clamp(value, 0.0, 1.0);
    return kResultTrue;
}

tresult PLUGIN_API IPluginVst3::setParamNormalized(ParamID id, ParamValue value)
{
    if (!std::isfinite(value))
        return kResultFalse;
    Parameter* p = GetVst3Parameter(id);
    if (p == nullptr)
        return kResultFalse;
    value = std::clamp(value, 0.0, 1.0); // what the parameter takes is what the editor shows
    p->setNormalized(value);
    const int idx = static_cast<int>(id);
    if (id < static_cast<ParamID>(NParams()))
        if (IParam* param = GetParam(idx))
        {
            param->SetNormalized(value);
            OnParamChangeUI(idx, ParamSource::Host);
            SendParameterValueFromDelegate(idx, value, true);
        }
    return kResultOk;
}

ParamValue PLUGIN_API IPluginVst3::getParamNormalized(ParamID id)
{
    Parameter* p = GetVst3Parameter(id);
    return p != nullptr ? p->getNormalized() : 0.0;
}

IPlugView* PLUGIN_API IPluginVst3::createView(FIDString name)
{
    if (!HasUI() || name == nullptr || std::strcmp(name, "editor") != 0)
        return nullptr;
    auto* view = new (std::nothrow) View(*this);
    if (view == nullptr)
        return nullptr;
    mCurrentView = view;
    return view;
}

void IPluginVst3::ForgetView(const View* view)
{
    if (mCurrentView == view)
        mCurrentView = nullptr;
    if (mEditorOwner == view)
        mEditorOwner = nullptr;
}

Steinberg::Vst::IComponentHandler* IPluginVst3::GetHostComponentHandler()
{
    return getComponentHandler();
}

Steinberg::IPlugView* IPluginVst3::GetEditorView()
{
    return OwnsEditor(mCurrentView) ? mCurrentView : nullptr;
}

bool IPluginVst3::ReleaseEditor(const View* view)
{
    if (!OwnsEditor(view))
        return false;
    mEditorOwner = nullptr;
    return true;
}

tresult PLUGIN_API IPluginVst3::setKnobMode(KnobMode mode)
{
    mKnobMode = mode;
    return kResultOk;
}

tresult PLUGIN_API IPluginVst3::getProgramName(ProgramListID listId, int32 index, String128 name)
{
    if (NPresets() < 1 || listId != static_cast<ProgramListID>(kProgramChangeParamId) ||
        index < 0 || index >= NPresets() || name == nullptr)
        return kResultFalse;
    const PresetSlot* slot = GetPreset(index);
    if (slot == nullptr)
        return kResultFalse;
    WidenToString128(slot->mName, name);
    return kResultOk;
}

tresult PLUGIN_API IPluginVst3::setActive(TBool state)
{
    mInHostSetupCall = true;
    OnActivate(state != 0);
    mInHostSetupCall = false;
    return kResultOk;
}

tresult PLUGIN_API IPluginVst3::setState(IBStream* state)
{
    if (state == nullptr)
        return kResultFalse;
    IStateChunk chunk;
    char buffer[1024];
    for (;;)
    {
        int32 read = 0;
        if (state->read(buffer, sizeof(buffer), &read) != kResultOk || read < 0 ||
            read > static_cast<int32>(sizeof(buffer)))
            return kResultFalse;
        if (read == 0)
            break;
        if (!chunk.PutBytes(buffer, read))
            return kResultFalse;
    }
    const int end = UnserializeState(chunk, 0);
    // The framework's list applies what was complete even when it fails: the controller's
    // parameter objects and the editor follow whatever the parameters now hold.
    OnRestoreState();
    return end >= 0 ? kResultOk : kResultFalse;
}

tresult PLUGIN_API IPluginVst3::getState(IBStream* state)
{
    if (state == nullptr)
        return kResultFalse;
    IStateChunk chunk;
    if (!SerializeState(chunk))
        return kResultFalse;
    return WriteWholeStream(state, chunk.GetData(), chunk.Size()) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API IPluginVst3::setBusArrangements(SpeakerArrangement* inputs,
                                                   int32 numIns,
                                                   SpeakerArrangement* outputs,
                                                   int32 numOuts)
{
    try
    {
        return ApplyBusArrangements(inputs, numIns, outputs, numOuts) ? kResultOk : kResultFalse;
    }
    catch (...)
    {
        return kResultFalse;
    }
}

tresult PLUGIN_API IPluginVst3::canProcessSampleSize(int32 symbolicSampleSize)
{
    return symbolicSampleSize == kSample32 || symbolicSampleSize == kSample64 ? kResultOk
                                                                              : kResultFalse;
}

uint32 PLUGIN_API IPluginVst3::getLatencySamples()
{
    const int latency = GetLatency();
    return latency > 0 ? static_cast<uint32>(latency) : 0;
}

tresult PLUGIN_API IPluginVst3::setupProcessing(ProcessSetup& setup)
{
    if (setup.symbolicSampleSize != kSample32 && setup.symbolicSampleSize != kSample64)
        return kResultFalse;
    mProcessSetup = setup;
    mInHostSetupCall = true;
    const bool ok = ApplyProcessSetup(setup);
    mInHostSetupCall = false;
    return ok ? kResultOk : kResultFalse;
}

tresult PLUGIN_API IPluginVst3::setProcessing(TBool state)
{
    if (!state)
    {
        mInHostSetupCall = true;
        OnReset();
        mInHostSetupCall = false;
    }
    return kResultOk;
}

void IPluginVst3::ApplyParameterChanges(ProcessData& data)
{
    ForEachLastParamValue(data,
                          [this](ParamID id, ParamValue value, int32 offset)
                          {
                              if (id == kBypassParamId)
                                  SetBypassed(value > 0.5);
                              else if (id < static_cast<ParamID>(NParams()))
                                  if (IParam* param = GetParam(static_cast<int>(id)))
                                  {
                                      param->SetNormalized(value);
                                      OnParamChange(
                                          static_cast<int>(id), ParamSource::Host, offset);
                                  }
                          });
}

tresult PLUGIN_API IPluginVst3::process(ProcessData& data)
{
    ReadProcessContext(data, mProcessSetup);
    ApplyParameterChanges(data);
    RenderAudio(data, mProcessSetup);
    return kResultOk;
}

uint32 PLUGIN_API IPluginVst3::getTailSamples()
{
    const int tail = GetTailSize();
    return tail < 0 ? kInfiniteTail : static_cast<uint32>(tail);
}

tresult PLUGIN_API IPluginVst3::getMidiControllerAssignment(int32 busIndex,
                                                            int16 channel,
                                                            CtrlNumber controller,
                                                            ParamID& id)
{
    // Only channel 1 of the event input has controller parameters, and only when the
    // plug-in declares MIDI input.
    if (!DoesMidiIn() || busIndex != 0 || channel != 0 || controller < 0 ||
        controller >= kControllersPerChannel)
        return kResultFalse;
    const ParamID candidate = kMidiControllerParamBase +
                              static_cast<ParamID>(channel) * kControllersPerChannel +
                              static_cast<ParamID>(controller);
    if (GetVst3Parameter(candidate) == nullptr)
        return kResultFalse;
    id = candidate;
    return kResultOk;
}

tresult PLUGIN_API IPluginVst3::setChannelContextInfos(IAttributeList* list)
{
    return StoreChannelContext(list) ? kResultOk : kResultFalse;
}

bool IPluginVst3::StoreChannelContext(IAttributeList* list)
{
    if (list == nullptr)
        return false;
    int64 value = 0;
    if (list->getInt(ChannelContext::kChannelNameLengthKey, value) == kResultTrue)
        ReadContextText(list, ChannelContext::kChannelNameKey, mTrackName);
    if (list->getInt(ChannelContext::kChannelUIDLengthKey, value) == kResultTrue)
        ReadContextText(list, ChannelContext::kChannelUIDKey, mTrackId);
    if (list->getInt(ChannelContext::kChannelIndexKey, value) == kResultTrue)
        mTrackIndex = static_cast<int>(value);
    if (list->getInt(ChannelContext::kChannelColorKey, value) == kResultTrue)
        mTrackColor = static_cast<std::uint32_t>(value);
    if (list->getInt(ChannelContext::kChannelIndexNamespaceOrderKey, value) == kResultTrue)
        mTrackNamespaceOrder = static_cast<int>(value);
    if (list->getInt(ChannelContext::kChannelIndexNamespaceLengthKey, value) == kResultTrue)
        ReadContextText(list, ChannelContext::kChannelIndexNamespaceKey, mTrackNamespace);
    return true;
}

void IPluginVst3::InformHostOfAllParams()
{
    for (int i = 0; i < NParams(); ++i)
        if (Parameter* p = GetVst3Parameter(static_cast<ParamID>(i)))
            p->setNormalized(GetParam(i)->GetNormalized());
    startGroupEdit();
    IPluginApiBase::InformHostOfAllParams();
    finishGroupEdit();
}

void IPluginVst3::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
    if (Parameter* p = GetVst3Parameter(static_cast<ParamID>(paramIdx)))
        p->setNormalized(normalizedValue);
    IPluginApiBase::SendParameterValueFromUI(paramIdx, normalizedValue);
}

void IPluginVst3::InformHostOfParamDetailsChange()
{
    if (IComponentHandler* handler = getComponentHandler())
        handler->restartComponent(kParamTitlesChanged);
}

void IPluginVst3::GetTrackColor(int& r, int& g, int& b)
{
    r = static_cast<int>((mTrackColor >> 16) & 0xFF);
    g = static_cast<int>((mTrackColor >> 8) & 0xFF);
    b = static_cast<int>(mTrackColor & 0xFF);
}

void IPluginVst3::GetTrackName(HeapString& out)
{
    out.Set(mTrackName.Get());
}

void IPluginVst3::GetTrackNamespace(HeapString& out)
{
    out.Set(mTrackNamespace.Get());
}

bool IPluginVst3::EditorResize(int width, int height)
{
    if (!HasUI())
        return true;
    if ((width != GetEditorWidth() || height != GetEditorHeight()) && mCurrentView != nullptr)
    {
        if (IPlugFrame* frame = mCurrentView->GetFrame())
        {
            ViewRect rect(0, 0, width, height);
            frame->resizeView(mCurrentView, &rect); // the host's answer changes nothing here
        }
    }
    SetEditorSize(width, height);
    return true;
}

void IPluginVst3::BeginInformHostOfParamChange(int paramIdx)
{
    beginEdit(static_cast<ParamID>(paramIdx));
}

void IPluginVst3::EndInformHostOfParamChange(int paramIdx)
{
    endEdit(static_cast<ParamID>(paramIdx));
}

void IPluginVst3::InformHostOfParamChange(int paramIdx, double normalizedValue)
{
    if (Parameter* p = GetVst3Parameter(static_cast<ParamID>(paramIdx)))
        p->setNormalized(normalizedValue);
    performEdit(static_cast<ParamID>(paramIdx), normalizedValue);
}

void IPluginVst3::OnRestoreState()
{
    SyncControllerParameters();
    IPluginApiBase::OnRestoreState();
}

} // namespace plugkit
