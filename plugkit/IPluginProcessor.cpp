#include "plugkit/IPluginProcessor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace plugkit
{

struct IPluginProcessor::ChannelData
{
    bool mConnected = false;
    float* mHostFloat = nullptr;   ///< attached 32-bit host buffer
    double* mHostDouble = nullptr; ///< attached 64-bit host buffer
    HeapBuffer mScratch;

    float* Scratch() const { return static_cast<float*>(mScratch.Get()); }
    void Detach()
    {
        mHostFloat = nullptr;
        mHostDouble = nullptr;
    }
};

struct IPluginProcessor::LatencyDelay
{
    HeapBuffer mBuffer;
    int mNInputs = 0;
    int mNOutputs = 0;
    int mWritePos = 0;
    int mLatency = 0;

    /// Sizes and zeroes the line; false (and latency 0) when it cannot hold it.
    bool Reset(int latency)
    {
        const int64_t n = int64_t(mNInputs) * std::max(latency, 0);
        const int64_t bytes = n * int64_t(sizeof(float));
        mWritePos = 0;
        mLatency = 0;
        if (bytes > INT32_MAX)
            return false;
        mBuffer.Resize(static_cast<int32_t>(bytes), true);
        if (mBuffer.Size() != bytes)
            return false;
        if (bytes > 0)
            std::memset(mBuffer.Get(), 0, static_cast<size_t>(bytes));
        mLatency = std::max(latency, 0);
        return true;
    }
    float* Line(int ch) const { return static_cast<float*>(mBuffer.Get()) + ch * mLatency; }
};

// ChannelIOConfig

bool ChannelIOConfig::AddBus(ChannelDirection direction, int nChans)
{
    auto* bus = new (std::nothrow) BusInfo{direction, nChans};
    if (!bus || !mBuses[direction].Add(bus))
    {
        delete bus;
        return false;
    }
    return true;
}

int ChannelIOConfig::NChansOnBus(ChannelDirection direction, int busIdx) const
{
    const BusInfo* bus = GetBus(direction, busIdx);
    return bus ? bus->mNChans : 0;
}

int ChannelIOConfig::GetTotalNChannels(ChannelDirection direction) const
{
    int total = 0;
    for (int i = 0; i < NBuses(direction); ++i)
    {
        const int n = GetBus(direction, i)->mNChans;
        total += n < 0 ? kWildcardChannels : n;
    }
    return total;
}

bool ChannelIOConfig::ContainsWildcard(ChannelDirection direction) const
{
    for (int i = 0; i < NBuses(direction); ++i)
        if (GetBus(direction, i)->mNChans < 0)
            return true;
    return false;
}

// Parsing

namespace
{

/// Parses the buses of one side, [begin, end), into `config`.
void ParseBuses(const char* begin, const char* end, ChannelDirection dir, ChannelIOConfig& config)
{
    const char* p = begin;
    while (p < end)
    {
        const char* stop = std::find(p, end, '.');
        int nChans = 0;
        if (stop - p == 1 && *p == '*')
        {
            nChans = -1;
        }
        else
        {
            // A decimal count; anything that is not one reads as 0 and is skipped.
            int64_t n = 0;
            const char* q = p;
            while (q < stop && *q >= '0' && *q <= '9' && n <= IPluginProcessor::kMaxBusChannels)
                n = n * 10 + (*q++ - '0');
            nChans = n <= IPluginProcessor::kMaxBusChannels ? static_cast<int>(n) : 0;
        }
        if (nChans != 0)
            config.AddBus(dir, nChans);
        p = stop < end ? stop + 1 : end;
    }
}

} // namespace

int IPluginProcessor::ParseChannelIO(const char* text,
                                     PointerList<ChannelIOConfig>& configs,
                                     int& maxNInputs,
                                     int& maxNOutputs,
                                     int& maxNInputBuses,
                                     int& maxNOutputBuses)
{
    maxNInputs = maxNOutputs = maxNInputBuses = maxNOutputBuses = 0;
    if (!text)
        return 0;
    bool first = true;
    const char* p = text;
    const char* const end = text + std::strlen(text);
    while (p < end)
    {
        while (p < end && *p == ' ')
            ++p;
        if (p == end)
            break;
        const char* stop = std::find(p, end, ' ');
        const char* dash = std::find(p, stop, '-');

        auto* config = new (std::nothrow) ChannelIOConfig;
        if (!config)
            break;
        ParseBuses(p, dash, kInput, *config);
        if (dash < stop)
            ParseBuses(dash + 1, stop, kOutput, *config);
        if (!configs.Add(config))
        {
            delete config;
            break;
        }

        const int nIn = config->GetTotalNChannels(kInput);
        const int nOut = config->GetTotalNChannels(kOutput);
        const int nInBuses = config->NBuses(kInput);
        const int nOutBuses = config->NBuses(kOutput);
        maxNInputs = first ? nIn : std::max(maxNInputs, nIn);
        maxNOutputs = first ? nOut : std::max(maxNOutputs, nOut);
        maxNInputBuses = std::max(maxNInputBuses, nInBuses);
        maxNOutputBuses = std::max(maxNOutputBuses, nOutBuses);
        first = false;
        p = stop;
    }
    return configs.Size();
}

// Construction

IPluginProcessor::IPluginProcessor(const PluginConfig& config)
    : mType(static_cast<PluginType>(config.mType))
    , mMidiIn(config.mMidiIn)
    , mMidiOut(config.mMidiOut)
    , mMpe(config.mMpe)
    , mLatency(config.mLatency)
{
    int maxIn = 0, maxOut = 0, maxInBuses = 0, maxOutBuses = 0;
    ParseChannelIO(config.mChannelIO, mIOConfigs, maxIn, maxOut, maxInBuses, maxOutBuses);

    const int counts[kNumChannelDirections] = {std::max(maxIn, 0), std::max(maxOut, 0)};
    for (int d = 0; d < kNumChannelDirections; ++d)
    {
        for (int i = 0; i < counts[d]; ++i)
        {
            auto* ch = new (std::nothrow) ChannelData;
            if (!ch || !mChannels[d].Add(ch))
            {
                delete ch;
                break;
            }
        }
        const int n = mChannels[d].Size();
        mPiecePointers[d].Resize(static_cast<int32_t>(n * sizeof(float*)), false);
        if (mPiecePointers[d].Size() != static_cast<int32_t>(n * sizeof(float*)))
            mChannels[d].Empty(); // without pointer storage no channel can be processed
    }
}

IPluginProcessor::~IPluginProcessor() = default;

// Buses

void IPluginProcessor::GetBusName(ChannelDirection direction,
                                  int busIdx,
                                  int nBuses,
                                  HeapString& out) const
{
    if (direction == kInput)
    {
        if (nBuses == 1)
            out.Set("Input");
        else if (nBuses == 2)
            out.Set(busIdx == 0 ? "Main" : "Aux");
        else
            out.SetFormatted(32, "Input %i", busIdx);
    }
    else
    {
        if (nBuses == 1)
            out.Set("Output");
        else
            out.SetFormatted(32, "Output %i", busIdx);
    }
}

int IPluginProcessor::MaxBusCount(ChannelDirection direction, int* pConfigIdx) const
{
    int best = 0;
    int bestIdx = -1;
    for (int i = 0; i < NIOConfigs(); ++i)
    {
        const int n = GetIOConfig(i)->NBuses(direction);
        if (bestIdx < 0 || n > best)
        {
            best = n;
            bestIdx = i;
        }
    }
    if (pConfigIdx)
        *pConfigIdx = bestIdx;
    return best;
}

int IPluginProcessor::MaxChannelsForBus(ChannelDirection direction, int busIdx) const
{
    if (const ChannelIOConfig* first = GetIOConfig(0))
        if (first->ContainsWildcard(direction))
            return -1;
    int best = 0;
    for (int i = 0; i < NIOConfigs(); ++i)
        best = std::max(best, GetIOConfig(i)->NChansOnBus(direction, busIdx));
    return best;
}

int IPluginProcessor::FindIOConfig(const int* inputChans,
                                   int nInputBuses,
                                   const int* outputChans,
                                   int nOutputBuses) const
{
    for (int i = 0; i < NIOConfigs(); ++i)
    {
        const ChannelIOConfig* c = GetIOConfig(i);
        if (c->NBuses(kInput) != nInputBuses || c->NBuses(kOutput) != nOutputBuses)
            continue;
        bool match = true;
        for (int b = 0; b < nInputBuses && match; ++b)
            match = c->NChansOnBus(kInput, b) == inputChans[b];
        for (int b = 0; b < nOutputBuses && match; ++b)
            match = c->NChansOnBus(kOutput, b) == outputChans[b];
        if (match)
            return i;
    }
    return -1;
}

// Channels

int IPluginProcessor::NChannelsConnected(ChannelDirection direction) const
{
    int n = 0;
    for (int i = 0; i < NChannels(direction); ++i)
        n += Channel(direction, i)->mConnected ? 1 : 0;
    return n;
}

bool IPluginProcessor::IsChannelConnected(ChannelDirection direction, int chIdx) const
{
    const ChannelData* ch = Channel(direction, chIdx);
    return ch && ch->mConnected;
}

void IPluginProcessor::SetChannelConnections(ChannelDirection direction,
                                             int first,
                                             int count,
                                             bool connected)
{
    const int end = std::min<int64_t>(int64_t(first) + count, NChannels(direction));
    for (int i = std::max(first, 0); i < end; ++i)
    {
        ChannelData* ch = Channel(direction, i);
        ch->mConnected = connected;
        if (!connected)
            ch->Detach();
    }
}

void IPluginProcessor::AttachBuffers(ChannelDirection direction,
                                     int first,
                                     int count,
                                     float** buffers)
{
    if (buffers)
        Attach(direction, first, count, buffers, nullptr);
}

void IPluginProcessor::AttachDoubleBuffers(
    ChannelDirection direction, int first, int count, double** buffers, int)
{
    if (buffers)
        Attach(direction, first, count, nullptr, buffers);
}

void IPluginProcessor::Attach(
    ChannelDirection direction, int first, int count, float** floats, double** doubles)
{
    // Disconnected channels take no buffer and so do not count: the run of channels that takes
    // the `count` buffers may be longer than `count`.
    int j = 0;
    for (int i = std::max(first, 0); i < NChannels(direction) && j < count; ++i)
    {
        ChannelData* ch = Channel(direction, i);
        if (!ch->mConnected)
            continue;
        ch->mHostFloat = floats ? floats[j] : nullptr;
        ch->mHostDouble = doubles ? doubles[j] : nullptr;
        ++j;
    }
}

void IPluginProcessor::SetBlockSize(int nFrames)
{
    nFrames = std::max(nFrames, 0);
    // Past the cap a block is processed in pieces, as any block longer than the scratch is:
    // the output is the same, without memory sized (and touched) for whatever a host announces.
    const int scratchFrames = std::min(nFrames, kMaxScratchFrames);
    if (nFrames != mBlockSize || mScratchFrames != scratchFrames)
    {
        const int64_t bytes = int64_t(scratchFrames) * int64_t(sizeof(float));
        int frames = scratchFrames;
        for (int d = 0; d < kNumChannelDirections; ++d)
        {
            for (int i = 0; i < NChannels(static_cast<ChannelDirection>(d)); ++i)
            {
                ChannelData* ch = Channel(static_cast<ChannelDirection>(d), i);
                if (bytes <= INT32_MAX)
                    ch->mScratch.Resize(static_cast<int32_t>(bytes), true);
                // A buffer that could not grow limits the pieces instead of being overrun.
                frames = std::min(frames, ch->mScratch.Size() / static_cast<int>(sizeof(float)));
            }
        }
        mScratchFrames = frames;
        ZeroScratchBuffers();
    }
    mBlockSize = nFrames;
}

void IPluginProcessor::ZeroScratchBuffers()
{
    for (int d = 0; d < kNumChannelDirections; ++d)
        for (int i = 0; i < NChannels(static_cast<ChannelDirection>(d)); ++i)
        {
            HeapBuffer& b = Channel(static_cast<ChannelDirection>(d), i)->mScratch;
            if (b.Size() > 0)
                std::memset(b.Get(), 0, static_cast<size_t>(b.Size()));
        }
}

// Latency

void IPluginProcessor::InitLatencyDelay()
{
    if (NChannels(kInput) == 0)
        return;
    auto delay = std::unique_ptr<LatencyDelay>(new (std::nothrow) LatencyDelay);
    if (!delay)
        return;
    delay->mNInputs = NChannels(kInput);
    delay->mNOutputs = NChannels(kOutput);
    delay->Reset(mLatency);
    mLatencyDelay = std::move(delay);
}

void IPluginProcessor::SetLatency(int samples)
{
    mLatency = samples;
    if (mLatencyDelay)
        mLatencyDelay->Reset(samples);
}

// Processing

void IPluginProcessor::RunInPieces(int nFrames, Samples samples, PieceFunc piece)
{
    if (nFrames <= 0)
        return;
    if (mScratchFrames <= 0)
    {
        // No block size set up: nothing can be processed safely, so the host hears silence.
        ZeroHostOutputs(nFrames, samples);
        return;
    }
    auto** ins = static_cast<float**>(mPiecePointers[kInput].Get());
    auto** outs = static_cast<float**>(mPiecePointers[kOutput].Get());
    const int nIn = NChannels(kInput);
    const int nOut = NChannels(kOutput);

    for (int offset = 0; offset < nFrames;)
    {
        const int n = std::min(mScratchFrames, nFrames - offset);
        for (int i = 0; i < nIn; ++i)
        {
            ChannelData* ch = Channel(kInput, i);
            float* scratch = ch->Scratch();
            if (samples == Samples::Float && ch->mConnected && ch->mHostFloat)
            {
                ins[i] = ch->mHostFloat + offset;
                continue;
            }
            ins[i] = scratch;
            if (samples == Samples::Double && ch->mConnected && ch->mHostDouble)
            {
                const double* src = ch->mHostDouble + offset;
                for (int s = 0; s < n; ++s)
                    scratch[s] = static_cast<float>(src[s]);
            }
            else
            {
                std::memset(scratch, 0, static_cast<size_t>(n) * sizeof(float));
            }
        }
        for (int i = 0; i < nOut; ++i)
        {
            ChannelData* ch = Channel(kOutput, i);
            const bool host = samples == Samples::Float && ch->mConnected && ch->mHostFloat;
            outs[i] = host ? ch->mHostFloat + offset : ch->Scratch();
        }

        (this->*piece)(ins, outs, n);

        if (samples == Samples::Double)
        {
            for (int i = 0; i < nOut; ++i)
            {
                ChannelData* ch = Channel(kOutput, i);
                if (!ch->mConnected || !ch->mHostDouble)
                    continue;
                double* dst = ch->mHostDouble + offset;
                const float* src = ch->Scratch();
                for (int s = 0; s < n; ++s)
                    dst[s] = src[s];
            }
        }
        offset += n;
    }
}

void IPluginProcessor::ZeroHostOutputs(int nFrames, Samples samples)
{
    for (int i = 0; i < NChannels(kOutput); ++i)
    {
        ChannelData* ch = Channel(kOutput, i);
        if (!ch->mConnected)
            continue;
        if (samples == Samples::Float && ch->mHostFloat)
            std::memset(ch->mHostFloat, 0, static_cast<size_t>(nFrames) * sizeof(float));
        if (samples == Samples::Double && ch->mHostDouble)
            std::memset(ch->mHostDouble, 0, static_cast<size_t>(nFrames) * sizeof(double));
    }
}

void IPluginProcessor::ProcessBuffers(int nFrames)
{
    RunInPieces(nFrames, Samples::Float, &IPluginProcessor::ProcessBlock);
}

void IPluginProcessor::ProcessDoubleBuffers(int nFrames)
{
    RunInPieces(nFrames, Samples::Double, &IPluginProcessor::ProcessBlock);
}

void IPluginProcessor::PassThroughBuffers(int nFrames)
{
    RunInPieces(nFrames, Samples::Float, &IPluginProcessor::PassThroughPiece);
}

void IPluginProcessor::PassThroughDoubleBuffers(int nFrames)
{
    RunInPieces(nFrames, Samples::Double, &IPluginProcessor::PassThroughPiece);
}

void IPluginProcessor::PassThroughPiece(float** inputs, float** outputs, int nFrames)
{
    const int nIn = NChannels(kInput);
    const int nBoth = std::min(nIn, NChannels(kOutput));
    LatencyDelay* delay = mLatencyDelay.get();
    if (mLatency <= 0 || !delay || delay->mLatency != mLatency || delay->mNInputs != nIn)
    {
        CopyInputsToOutputs(inputs, outputs, nFrames);
        return;
    }
    // Exactly the reported latency: output j is input j, `mLatency` frames later.
    int pos = delay->mWritePos;
    for (int s = 0; s < nFrames; ++s)
    {
        for (int j = 0; j < nBoth; ++j)
        {
            float* line = delay->Line(j);
            const float x = inputs[j][s];
            outputs[j][s] = line[pos];
            line[pos] = x;
        }
        if (++pos == mLatency)
            pos = 0;
    }
    delay->mWritePos = pos;
    ZeroOutputsFrom(nBoth, outputs, nFrames);
}

void IPluginProcessor::ProcessBlock(float** inputs, float** outputs, int nFrames)
{
    CopyInputsToOutputs(inputs, outputs, nFrames);
}

void IPluginProcessor::CopyInputsToOutputs(float** inputs, float** outputs, int nFrames) const
{
    const int nBoth = std::min(NChannels(kInput), NChannels(kOutput));
    for (int j = 0; j < nBoth; ++j)
        if (outputs[j] != inputs[j])
            std::memmove(outputs[j], inputs[j], static_cast<size_t>(nFrames) * sizeof(float));
    ZeroOutputsFrom(nBoth, outputs, nFrames);
}

void IPluginProcessor::ZeroOutputsFrom(int first, float** outputs, int nFrames) const
{
    for (int j = first; j < NChannels(kOutput); ++j)
        std::memset(outputs[j], 0, static_cast<size_t>(nFrames) * sizeof(float));
}

void IPluginProcessor::ProcessMidiMsg(const MidiMessage& msg)
{
    SendMidiMsg(msg);
}

bool IPluginProcessor::SendMidiMsgs(const MidiMessage* msgs, int count)
{
    bool ok = true;
    for (int i = 0; i < count && msgs; ++i)
        ok = SendMidiMsg(msgs[i]) && ok;
    return ok;
}

} // namespace plugkit
