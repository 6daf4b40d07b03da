#pragma once

#include "plugkit/HeapBuffer.h"
#include "plugkit/HeapString.h"
#include "plugkit/MidiMessage.h"
#include "plugkit/PluginConfig.h"
#include "plugkit/PointerList.h"
#include "plugkit/TransportInfo.h"

#include <cstdint>
#include <memory>

namespace plugkit
{

enum ChannelDirection : int
{
    kInput = 0,
    kOutput = 1,
    kNumChannelDirections = 2,
};

/// One bus of a channel configuration; a negative channel count accepts any number.
struct BusInfo
{
    ChannelDirection mDirection = kInput;
    int mNChans = 0;
};

/// One channel configuration: its input buses and its output buses.
class ChannelIOConfig
{
public:
    /// Channels counted for a bus that accepts any number.
    static constexpr int kWildcardChannels = -64;

    bool AddBus(ChannelDirection direction, int nChans);
    int NBuses(ChannelDirection direction) const { return mBuses[direction].Size(); }
    /// Null when absent.
    const BusInfo* GetBus(ChannelDirection direction, int busIdx) const
    {
        return mBuses[direction].Get(busIdx);
    }
    /// 0 for a bus this configuration does not have.
    int NChansOnBus(ChannelDirection direction, int busIdx) const;
    /// Sum over the buses, a wildcard bus counting kWildcardChannels.
    int GetTotalNChannels(ChannelDirection direction) const;
    bool ContainsWildcard(ChannelDirection direction) const;

private:
    PointerList<BusInfo> mBuses[kNumChannelDirections];
};

/// The audio side of a plug-in. Parses the channel configurations, keeps one record per input
/// and output channel (connection state and a float scratch buffer of block size, at most
/// kMaxScratchFrames), converts
/// 64-bit host buffers to the internal float samples and back, and runs the plug-in's block
/// processing or a latency-compensated pass-through.
///
/// Blocks are handed to ProcessBlock in pieces of at most the block size set up (and at most
/// kMaxScratchFrames), so a host that sends a longer block than it announced is still
/// processed, and no scratch buffer is ever overrun. Nothing here allocates on the audio
/// thread.
class IPluginProcessor
{
public:
    /// Channels one bus may declare; larger counts in a configuration text are skipped.
    static constexpr int kMaxBusChannels = 1024;
    /// Frames a scratch buffer holds at most, whatever block size is set up.
    static constexpr int kMaxScratchFrames = 8192;

    explicit IPluginProcessor(const PluginConfig& config);
    virtual ~IPluginProcessor();
    IPluginProcessor(const IPluginProcessor&) = delete;
    IPluginProcessor& operator=(const IPluginProcessor&) = delete;

    /// [audio-thread & active] Default: input i to output i, remaining outputs zeroed.
    virtual void ProcessBlock(float** inputs, float** outputs, int nFrames);
    /// [audio-thread & active] Default: MIDI through (SendMidiMsg).
    virtual void ProcessMidiMsg(const MidiMessage& msg);
    /// [audio-thread & active] A SysEx message for the plug-in; its bytes live only during the
    /// call.
    virtual void ProcessSysEx(const SysExMessage&) {}
    /// [audio-thread & !active] Processing stopped or the sample rate changed.
    virtual void OnReset() {}
    /// [ui-thread & !active] Processing is about to start (true) or has stopped (false).
    virtual void OnActivate(bool) {}
    /// [audio-thread] Sends a MIDI message to the host; the adapters implement it.
    virtual bool SendMidiMsg(const MidiMessage& msg) = 0;
    /// [audio-thread] SendMidiMsg for each in order; true when every send succeeded.
    virtual bool SendMidiMsgs(const MidiMessage* msgs, int count);
    /// [audio-thread] Sends SysEx to the host; false (not supported) here.
    virtual bool SendSysEx(const SysExMessage&) { return false; }
    /// [ui-thread & !active] "Input", "Main"/"Aux" (two input buses), "Input %i"; "Output",
    /// "Output %i".
    virtual void
    GetBusName(ChannelDirection direction, int busIdx, int nBuses, HeapString& out) const;
    /// [ui-thread & !active] Stores the latency; resets a latency delay that exists.
    virtual void SetLatency(int samples);
    /// [ui-thread] Stores the tail length in samples.
    virtual void SetTailSize(int samples) { mTailSize = samples; }

    /// Parses configurations such as "1-1 2-2": configurations separated by spaces, inputs and
    /// outputs by the first "-", buses by "."; a bus is a channel count or "*" (any number).
    /// Buses of 0 channels (or text that is no number) are skipped. Returns the number of
    /// configurations; the maxima are taken over all of them.
    static int ParseChannelIO(const char* text,
                              PointerList<ChannelIOConfig>& configs,
                              int& maxNInputs,
                              int& maxNOutputs,
                              int& maxNInputBuses,
                              int& maxNOutputBuses);

    int NIOConfigs() const { return mIOConfigs.Size(); }
    const ChannelIOConfig* GetIOConfig(int idx) const { return mIOConfigs.Get(idx); }
    /// The largest bus count of `direction` over all configurations; `pConfigIdx` receives a
    /// configuration that has it (-1 when there are none).
    int MaxBusCount(ChannelDirection direction, int* pConfigIdx = nullptr) const;
    /// -1 when a bus of `direction` in configuration 0 accepts any number of channels;
    /// otherwise the largest channel count of that bus over all configurations.
    int MaxChannelsForBus(ChannelDirection direction, int busIdx) const;
    /// The first configuration whose buses have exactly these channel counts; -1 when none.
    int FindIOConfig(const int* inputChans,
                     int nInputBuses,
                     const int* outputChans,
                     int nOutputBuses) const;

    /// Channel records of `direction`.
    int NChannels(ChannelDirection direction) const { return mChannels[direction].Size(); }
    int NChannelsConnected(ChannelDirection direction) const;
    bool IsChannelConnected(ChannelDirection direction, int chIdx) const;

    /// [audio-thread] Sets the connected flag of the channels that exist in first .. first +
    /// count - 1. A disconnected channel reads silence and writes into its scratch buffer.
    void SetChannelConnections(ChannelDirection direction, int first, int count, bool connected);
    /// [audio-thread] The connected channels from `first` on take `buffers` in order, until
    /// all `count` are taken or the channels end; disconnected channels are passed over
    /// without taking one.
    void AttachBuffers(ChannelDirection direction, int first, int count, float** buffers);
    /// [audio-thread] As AttachBuffers for 64-bit host buffers, converted through the scratch
    /// buffers when the block is processed.
    void AttachDoubleBuffers(
        ChannelDirection direction, int first, int count, double** buffers, int nFrames);

    /// [ui-thread & !active] The host's largest block: sizes every scratch buffer to `nFrames`
    /// samples (kMaxScratchFrames at most), zeroed. GetBlockSize gives `nFrames` back.
    void SetBlockSize(int nFrames);
    /// [ui-thread & !active] A zeroed delay line of the current latency for all inputs.
    void InitLatencyDelay();
    /// [audio-thread]
    void ZeroScratchBuffers();

    /// [audio-thread & active] ProcessBlock over the attached float buffers.
    void ProcessBuffers(int nFrames);
    /// [audio-thread & active] ProcessBlock over the attached 64-bit buffers.
    void ProcessDoubleBuffers(int nFrames);
    /// [audio-thread] Bypass: inputs to outputs, delayed by the latency when a delay exists.
    void PassThroughBuffers(int nFrames);
    void PassThroughDoubleBuffers(int nFrames);

    double GetSampleRate() const { return mSampleRate; }
    void SetSampleRate(double sampleRate) { mSampleRate = sampleRate; }
    int GetBlockSize() const { return mBlockSize; }
    int GetLatency() const { return mLatency; }
    int GetTailSize() const { return mTailSize; }
    PluginType GetPluginType() const { return mType; }
    bool IsInstrument() const { return mType == kPluginTypeInstrument; }
    bool DoesMidiIn() const { return mMidiIn; }
    bool DoesMidiOut() const { return mMidiOut; }
    bool DoesMpe() const { return mMpe; }
    /// The host's bypass: blocks pass through unprocessed while set.
    bool GetBypassed() const { return mBypassed; }
    void SetBypassed(bool bypassed) { mBypassed = bypassed; }
    bool GetRenderingOffline() const { return mRenderingOffline; }
    void SetRenderingOffline(bool offline) { mRenderingOffline = offline; }
    const TransportInfo& GetTransportInfo() const { return mTransport; }
    void SetTransportInfo(const TransportInfo& transport) { mTransport = transport; }

private:
    struct ChannelData;
    struct LatencyDelay;
    enum class Samples
    {
        Float,
        Double
    };

    ChannelData* Channel(ChannelDirection direction, int idx) const
    {
        return mChannels[direction].Get(idx);
    }
    using PieceFunc = void (IPluginProcessor::*)(float** inputs, float** outputs, int nFrames);

    /// Runs `piece` over consecutive pieces of at most mScratchFrames frames.
    void RunInPieces(int nFrames, Samples samples, PieceFunc piece);
    void PassThroughPiece(float** inputs, float** outputs, int nFrames);
    /// Input i to output i for every index both have; the remaining outputs zeroed.
    void CopyInputsToOutputs(float** inputs, float** outputs, int nFrames) const;
    /// Zeroes outputs `first` .. NChannels(kOutput) - 1.
    void ZeroOutputsFrom(int first, float** outputs, int nFrames) const;
    /// The first `count` connected channels from `first` on take the host buffers in order:
    /// `floats` or `doubles`, whichever is given.
    void Attach(ChannelDirection direction, int first, int count, float** floats, double** doubles);
    void ZeroHostOutputs(int nFrames, Samples samples);

    PluginType mType;
    bool mMidiIn;
    bool mMidiOut;
    bool mMpe;
    int mLatency;
    double mSampleRate = 48000.0;
    int mBlockSize = 0;
    int mTailSize = 0;
    bool mBypassed = false;
    bool mRenderingOffline = false;
    /// Frames every scratch buffer holds: the largest piece handed to ProcessBlock.
    int mScratchFrames = 0;
    HeapBuffer mPiecePointers[kNumChannelDirections];
    PointerList<ChannelIOConfig> mIOConfigs;
    PointerList<ChannelData> mChannels[kNumChannelDirections];
    std::unique_ptr<LatencyDelay> mLatencyDelay;
    TransportInfo mTransport;
};

} // namespace plugkit
