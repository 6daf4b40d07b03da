// The audio side of the VST3 adapter: IPluginVst3ProcessorBase (bus arrangements, processing
// set-up, the process context, rendering through the framework's channel buffers, MIDI output)
// and IPluginVst3's IAudioProcessor calls, which forward to it.
#include "plugkit/vst3/IPluginVst3.h"

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

// --- IPluginVst3: IAudioProcessor -----------------------------------------------

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

} // namespace plugkit
