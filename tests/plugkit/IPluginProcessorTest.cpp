#include "plugkit/IPluginProcessor.h"

#include "tests/support/AllocationGuard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plugkit;

namespace
{

PluginConfig Config(const char* channelIO, int latency = 0)
{
    PluginConfig c;
    c.mChannelIO = channelIO;
    c.mLatency = latency;
    return c;
}

/// A processor whose block processing records the pieces it is handed and, when asked,
/// writes input x gain to every output.
class TestProcessor : public IPluginProcessor
{
public:
    explicit TestProcessor(const PluginConfig& config)
        : IPluginProcessor(config)
    {
    }

    bool SendMidiMsg(const MidiMessage& msg) override
    {
        mSent.push_back(msg.mData1);
        return msg.mData1 != 0xFF;
    }

    void ProcessBlock(float** inputs, float** outputs, int nFrames) override
    {
        mPieces.push_back(nFrames);
        if (!mGain)
        {
            IPluginProcessor::ProcessBlock(inputs, outputs, nFrames);
            return;
        }
        for (int c = 0; c < NChannels(kOutput); ++c)
            for (int s = 0; s < nFrames; ++s)
                outputs[c][s] = inputs[c % NChannels(kInput)][s] * mGain;
    }

    /// Set up as an adapter does it: every channel connected, a block size (none for 0) and,
    /// when asked, the latency delay.
    void ConnectAll(int blockSize, bool latencyDelay = false)
    {
        SetChannelConnections(kInput, 0, NChannels(kInput), true);
        SetChannelConnections(kOutput, 0, NChannels(kOutput), true);
        if (blockSize > 0)
            SetBlockSize(blockSize);
        if (latencyDelay)
            InitLatencyDelay();
    }

    float mGain = 0.f;
    std::vector<int> mPieces;
    std::vector<int> mSent;
};

struct ParseCase
{
    const char* text;
    int configs, maxIn, maxOut, maxInBuses, maxOutBuses;
};

TEST(ChannelIO, ParsesConfigurationsAndTheirMaxima)
{
    const ParseCase cases[] = {
        {"1-1 2-2", 2, 2, 2, 1, 1},
        {"2-2.2", 1, 2, 4, 1, 2},
        {"*-2", 1, -64, 2, 1, 1},
        {"2", 1, 2, 0, 1, 0},   // no "-": no output buses
        {"x-2", 1, 0, 2, 0, 1}, // not a number: skipped
        {"0-1", 1, 0, 1, 0, 1}, // a bus of 0 channels is not added
        {"  1-1   2-2 ", 2, 2, 2, 1, 1},
        {"99999-2", 1, 0, 2, 0, 1}, // far beyond any bus: skipped
        {"", 0, 0, 0, 0, 0},
    };
    for (const ParseCase& c : cases)
    {
        PointerList<ChannelIOConfig> configs;
        int maxIn, maxOut, maxInBuses, maxOutBuses;
        EXPECT_EQ(IPluginProcessor::ParseChannelIO(
                      c.text, configs, maxIn, maxOut, maxInBuses, maxOutBuses),
                  c.configs)
            << c.text;
        EXPECT_EQ(maxIn, c.maxIn) << c.text;
        EXPECT_EQ(maxOut, c.maxOut) << c.text;
        EXPECT_EQ(maxInBuses, c.maxInBuses) << c.text;
        EXPECT_EQ(maxOutBuses, c.maxOutBuses) << c.text;
    }
}

TEST(ChannelIO, BusDetailsOfParsedConfigurations)
{
    PointerList<ChannelIOConfig> configs;
    int a, b, c, d;
    IPluginProcessor::ParseChannelIO("*-2 2.1-2.2", configs, a, b, c, d);
    EXPECT_TRUE(configs.Get(0)->ContainsWildcard(kInput));
    EXPECT_LT(configs.Get(0)->GetBus(kInput, 0)->mNChans, 0);
    EXPECT_EQ(configs.Get(0)->GetTotalNChannels(kInput), -64);
    EXPECT_EQ(configs.Get(1)->NChansOnBus(kInput, 1), 1);
    EXPECT_EQ(configs.Get(1)->NChansOnBus(kInput, 5), 0);
    EXPECT_EQ(configs.Get(1)->GetBus(kOutput, 1)->mDirection, kOutput);
}

TEST(Processor, BuildsChannelRecordsAndAnswersBusQueries)
{
    TestProcessor p(Config("1-1 2-2"));
    EXPECT_EQ(p.NIOConfigs(), 2);
    EXPECT_EQ(p.NChannels(kInput), 2);
    EXPECT_EQ(p.NChannels(kOutput), 2);
    EXPECT_EQ(p.NChannelsConnected(kInput), 0);
    EXPECT_EQ(p.GetSampleRate(), 48000.0);
    EXPECT_EQ(p.GetBlockSize(), 0);
    EXPECT_EQ(p.GetTransportInfo().mTempo, 120.0);
    EXPECT_EQ(p.GetTransportInfo().mSamplePos, -1.0);
    EXPECT_EQ(p.GetTransportInfo().mNumerator, 4);

    int idx = -2;
    EXPECT_EQ(p.MaxBusCount(kInput, &idx), 1);
    EXPECT_EQ(idx, 0);
    EXPECT_EQ(p.MaxChannelsForBus(kOutput, 0), 2);
    EXPECT_EQ(p.MaxChannelsForBus(kOutput, 1), 0);
    const int mono[] = {1}, stereo[] = {2};
    EXPECT_EQ(p.FindIOConfig(stereo, 1, stereo, 1), 1);
    EXPECT_EQ(p.FindIOConfig(mono, 1, mono, 1), 0);
    EXPECT_EQ(p.FindIOConfig(mono, 1, stereo, 1), -1);
    EXPECT_EQ(p.FindIOConfig(stereo, 1, stereo, 0), -1);

    TestProcessor wild(Config("*-2"));
    EXPECT_EQ(wild.MaxChannelsForBus(kInput, 0), -1);
    EXPECT_EQ(wild.NChannels(kInput), 0);

    p.SetChannelConnections(kInput, 1, 5, true); // channels past the list are ignored
    EXPECT_EQ(p.NChannelsConnected(kInput), 1);
    EXPECT_TRUE(p.IsChannelConnected(kInput, 1));
    EXPECT_FALSE(p.IsChannelConnected(kInput, 7));
}

TEST(Processor, BusNames)
{
    TestProcessor p(Config("1-1"));
    struct Case
    {
        ChannelDirection dir;
        int bus, nBuses;
        const char* name;
    };
    const Case cases[] = {
        {kInput, 0, 1, "Input"},
        {kInput, 0, 2, "Main"},
        {kInput, 1, 2, "Aux"},
        {kInput, 2, 3, "Input 2"},
        {kOutput, 0, 1, "Output"},
        {kOutput, 1, 2, "Output 1"},
    };
    for (const Case& c : cases)
    {
        HeapString name;
        p.GetBusName(c.dir, c.bus, c.nBuses, name);
        EXPECT_STREQ(name.Get(), c.name);
    }
}

/// A processor set up like an adapter does it: everything connected, a block size.
class ProcessorBuffers : public ::testing::Test
{
protected:
    ProcessorBuffers()
        : mProc(Config("2-2"))
    {
        mProc.ConnectAll(16);
    }

    TestProcessor mProc;
};

TEST_F(ProcessorBuffers, PassThroughCopiesFloatAndDoubleBuffers)
{
    std::vector<float> inL(16), inR(16), outL(16, 9.f), outR(16, 9.f);
    for (int s = 0; s < 16; ++s)
    {
        inL[s] = s * 0.1f;
        inR[s] = -s * 0.1f;
    }
    float* ins[] = {inL.data(), inR.data()};
    float* outs[] = {outL.data(), outR.data()};
    mProc.AttachBuffers(kInput, 0, 2, ins);
    mProc.AttachBuffers(kOutput, 0, 2, outs);
    mProc.PassThroughBuffers(16);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, inR);

    std::vector<double> dInL(16), dInR(16), dOutL(16, 9.0), dOutR(16, 9.0);
    for (int s = 0; s < 16; ++s)
    {
        dInL[s] = s * 0.25;
        dInR[s] = 1.0 - s * 0.25;
    }
    double* dIns[] = {dInL.data(), dInR.data()};
    double* dOuts[] = {dOutL.data(), dOutR.data()};
    mProc.AttachDoubleBuffers(kInput, 0, 2, dIns, 16);
    mProc.AttachDoubleBuffers(kOutput, 0, 2, dOuts, 16);
    mProc.PassThroughDoubleBuffers(16);
    EXPECT_EQ(dOutL, dInL); // exact: these values are exact in float
    EXPECT_EQ(dOutR, dInR);
}

TEST_F(ProcessorBuffers, ProcessingDoesNotAllocate)
{
    constexpr int kFrames = 40; // longer than the block size: in pieces
    std::vector<double> in(kFrames, 0.5), out(kFrames);
    std::vector<float> fIn(kFrames, 0.5f), fOut(kFrames);
    double* ins[] = {in.data(), in.data()};
    double* outs[] = {out.data(), out.data()};
    float* fIns[] = {fIn.data(), fIn.data()};
    float* fOuts[] = {fOut.data(), fOut.data()};
    mProc.mGain = 2.f;
    mProc.mPieces.reserve(64);
    mProc.SetLatency(5);
    mProc.InitLatencyDelay(); // set-up allocates; processing must not
    lumenfall::test::AllocationGuard guard;
    mProc.AttachDoubleBuffers(kInput, 0, 2, ins, kFrames);
    mProc.AttachDoubleBuffers(kOutput, 0, 2, outs, kFrames);
    mProc.ProcessDoubleBuffers(kFrames);
    mProc.PassThroughDoubleBuffers(kFrames);
    mProc.AttachBuffers(kInput, 0, 2, fIns);
    mProc.AttachBuffers(kOutput, 0, 2, fOuts);
    mProc.ProcessBuffers(kFrames);
    mProc.PassThroughBuffers(kFrames);
    mProc.SetChannelConnections(kOutput, 1, 1, false);
    mProc.ProcessBuffers(kFrames);
    mProc.ZeroScratchBuffers();
    EXPECT_EQ(guard.Count(), 0u);
    EXPECT_EQ(fOut[0], 1.f);
}

TEST_F(ProcessorBuffers, LongerHostBlocksAreProcessedInPiecesWithinTheScratchBuffers)
{
    constexpr int kFrames = 50; // more than the block size of 16
    std::vector<double> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
    for (int s = 0; s < kFrames; ++s)
    {
        inL[s] = s;
        inR[s] = -s;
    }
    double* ins[] = {inL.data(), inR.data()};
    double* outs[] = {outL.data(), outR.data()};
    mProc.mGain = 0.5f;
    mProc.AttachDoubleBuffers(kInput, 0, 2, ins, kFrames);
    mProc.AttachDoubleBuffers(kOutput, 0, 2, outs, kFrames);
    mProc.ProcessDoubleBuffers(kFrames);
    EXPECT_EQ(mProc.mPieces, (std::vector<int>{16, 16, 16, 2}));
    for (int s = 0; s < kFrames; ++s)
    {
        ASSERT_EQ(outL[s], s * 0.5) << s;
        ASSERT_EQ(outR[s], -s * 0.5) << s;
    }

    // 32-bit buffers, with one output disconnected: it is written to scratch, never past it.
    std::vector<float> fIn(kFrames, 1.f), fOut(kFrames);
    float* fIns[] = {fIn.data(), fIn.data()};
    float* fOuts[] = {fOut.data()};
    mProc.SetChannelConnections(kOutput, 1, 1, false);
    mProc.AttachBuffers(kInput, 0, 2, fIns);
    mProc.AttachBuffers(kOutput, 0, 1, fOuts);
    mProc.mPieces.clear();
    mProc.ProcessBuffers(kFrames);
    EXPECT_EQ(mProc.mPieces, (std::vector<int>{16, 16, 16, 2}));
    EXPECT_EQ(fOut, std::vector<float>(kFrames, 0.5f));
}

// A host may announce any block size: the scratch stays capped and a long block goes through
// in pieces of the cap, with the same output as in one piece.
TEST(Processor, HugeAnnouncedBlockIsProcessedInPiecesOfTheCap)
{
    TestProcessor p(Config("2-2"));
    p.ConnectAll(1 << 28); // 4 GiB of scratch, were it sized as announced
    EXPECT_EQ(p.GetBlockSize(), 1 << 28);
    constexpr int kCap = IPluginProcessor::kMaxScratchFrames;
    constexpr int kFrames = 2 * kCap + 100;
    std::vector<double> inL(kFrames), inR(kFrames), outL(kFrames, 9.0), outR(kFrames, 9.0);
    for (int s = 0; s < kFrames; ++s)
    {
        inL[s] = s;
        inR[s] = -s;
    }
    double* ins[] = {inL.data(), inR.data()};
    double* outs[] = {outL.data(), outR.data()};
    p.mGain = 0.5f;
    p.AttachDoubleBuffers(kInput, 0, 2, ins, kFrames);
    p.AttachDoubleBuffers(kOutput, 0, 2, outs, kFrames);
    p.ProcessDoubleBuffers(kFrames);
    EXPECT_EQ(p.mPieces, (std::vector<int>{kCap, kCap, 100}));
    for (int s = 0; s < kFrames; ++s)
    {
        ASSERT_EQ(outL[s], s * 0.5) << s;
        ASSERT_EQ(outR[s], -s * 0.5) << s;
    }

    // 32-bit buffers go straight through, in the same pieces.
    std::vector<float> fIn(kFrames, 1.f), fOut(kFrames);
    float* fIns[] = {fIn.data(), fIn.data()};
    float* fOuts[] = {fOut.data(), fOut.data()};
    p.AttachBuffers(kInput, 0, 2, fIns);
    p.AttachBuffers(kOutput, 0, 2, fOuts);
    p.mPieces.clear();
    p.ProcessBuffers(kFrames);
    EXPECT_EQ(p.mPieces, (std::vector<int>{kCap, kCap, 100}));
    EXPECT_EQ(fOut, std::vector<float>(kFrames, 0.5f));
}

TEST(Processor, DisconnectedInputsReadSilenceAndExtraOutputsAreZeroed)
{
    TestProcessor p(Config("1-2"));
    p.SetBlockSize(8);
    p.SetChannelConnections(kOutput, 0, 2, true); // input left disconnected
    std::vector<float> outL(8, 3.f), outR(8, 3.f);
    float* outs[] = {outL.data(), outR.data()};
    p.AttachBuffers(kOutput, 0, 2, outs);
    p.ProcessBuffers(8); // default block: input 0 to output 0, output 1 zeroed
    EXPECT_EQ(outL, std::vector<float>(8, 0.f));
    EXPECT_EQ(outR, std::vector<float>(8, 0.f));
}

// An adapter that connects channels one by one may leave gaps: the host's buffers go to the
// connected channels in order, past the disconnected ones, however far that reaches.
TEST(Processor, AttachedBuffersPassOverDisconnectedChannels)
{
    TestProcessor p(Config("2-2"));
    p.SetBlockSize(8);
    p.SetChannelConnections(kInput, 1, 1, true);
    p.SetChannelConnections(kOutput, 1, 1, true);
    std::vector<float> in{1.f, 2.f, 3.f, 4.f}, out(4, 7.f);
    float* ins[] = {in.data()};
    float* outs[] = {out.data()};
    p.AttachBuffers(kInput, 0, 1, ins);   // to input 1
    p.AttachBuffers(kOutput, 0, 1, outs); // to output 1
    p.ProcessBuffers(4);                  // default block: input 1 to output 1
    EXPECT_EQ(out, in);

    TestProcessor q(Config("1-3"));
    q.SetBlockSize(8);
    q.SetChannelConnections(kInput, 0, 1, true);
    q.SetChannelConnections(kOutput, 0, 1, true);
    q.SetChannelConnections(kOutput, 2, 1, true);
    std::vector<double> dIn(4, 0.5), first(4, 7.0), third(4, 7.0);
    double* dIns[] = {dIn.data()};
    double* dOuts[] = {first.data(), third.data()};
    q.AttachDoubleBuffers(kInput, 0, 1, dIns, 4);
    q.AttachDoubleBuffers(kOutput, 0, 2, dOuts, 4); // to outputs 0 and 2
    q.ProcessDoubleBuffers(4);
    EXPECT_EQ(first, dIn);
    EXPECT_EQ(third, std::vector<double>(4, 0.0)); // zeroed by the default block
}

TEST(Processor, WithoutABlockSizeTheHostHearsSilence)
{
    TestProcessor p(Config("1-1"));
    p.ConnectAll(0);
    std::vector<double> in(8, 1.0), out(8, 5.0);
    double* ins[] = {in.data()};
    double* outs[] = {out.data()};
    p.AttachDoubleBuffers(kInput, 0, 1, ins, 8);
    p.AttachDoubleBuffers(kOutput, 0, 1, outs, 8);
    p.ProcessDoubleBuffers(8);
    EXPECT_TRUE(p.mPieces.empty());
    EXPECT_EQ(out, std::vector<double>(8, 0.0));
}

TEST(Processor, LatencyDelayedPassThroughDelaysByExactlyTheLatency)
{
    TestProcessor p(Config("2-2", 3));
    p.ConnectAll(4, true);

    // 10 frames in blocks of 4, 4, 2: output[n] = input[n - 3], with 0 before the start.
    std::vector<float> inL(10), inR(10), outL(10), outR(10);
    for (int s = 0; s < 10; ++s)
    {
        inL[s] = 1.f + s;
        inR[s] = -1.f - s;
    }
    for (int start : {0, 4, 8})
    {
        const int n = std::min(4, 10 - start);
        float* ins[] = {inL.data() + start, inR.data() + start};
        float* outs[] = {outL.data() + start, outR.data() + start};
        p.AttachBuffers(kInput, 0, 2, ins);
        p.AttachBuffers(kOutput, 0, 2, outs);
        p.PassThroughBuffers(n);
    }
    for (int s = 0; s < 10; ++s)
    {
        EXPECT_EQ(outL[s], s < 3 ? 0.f : inL[s - 3]) << s;
        EXPECT_EQ(outR[s], s < 3 ? 0.f : inR[s - 3]) << s;
    }

    // A new latency restarts the delay from silence.
    p.SetLatency(1);
    std::vector<float> in2 = {5.f, 6.f}, out2(2);
    float* ins2[] = {in2.data(), in2.data()};
    float* outs2[] = {out2.data(), outR.data()};
    p.AttachBuffers(kInput, 0, 2, ins2);
    p.AttachBuffers(kOutput, 0, 2, outs2);
    p.PassThroughBuffers(2);
    EXPECT_EQ(out2, (std::vector<float>{0.f, 5.f}));
}

TEST(Processor, InPlaceLatencyPassThrough)
{
    TestProcessor p(Config("1-1", 2));
    p.ConnectAll(8, true);
    std::vector<float> buf = {1, 2, 3, 4, 5};
    float* io[] = {buf.data()};
    p.AttachBuffers(kInput, 0, 1, io);
    p.AttachBuffers(kOutput, 0, 1, io);
    p.PassThroughBuffers(5);
    EXPECT_EQ(buf, (std::vector<float>{0, 0, 1, 2, 3}));
}

TEST(Processor, InPlaceDoubleBuffersInPiecesAreDelayedByTheLatency)
{
    TestProcessor p(Config("1-1", 2));
    p.ConnectAll(4, true); // the host block of 10 runs as 4, 4, 2
    std::vector<double> buf = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    double* io[] = {buf.data()};
    p.AttachDoubleBuffers(kInput, 0, 1, io, 10);
    p.AttachDoubleBuffers(kOutput, 0, 1, io, 10);
    p.PassThroughDoubleBuffers(10);
    EXPECT_EQ(buf, (std::vector<double>{0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(Processor, BusQueriesOverSeveralConfigurations)
{
    TestProcessor p(Config("1-1 2.1-2 2-2.2.2"));
    int idx = -2;
    EXPECT_EQ(p.MaxBusCount(kInput, &idx), 2);
    EXPECT_EQ(idx, 1);
    EXPECT_EQ(p.MaxBusCount(kOutput, &idx), 3);
    EXPECT_EQ(idx, 2);
    EXPECT_EQ(p.MaxChannelsForBus(kInput, 0), 2);
    EXPECT_EQ(p.MaxChannelsForBus(kInput, 1), 1);
    EXPECT_EQ(p.MaxChannelsForBus(kOutput, 2), 2);
    const int in[] = {2, 1}, out[] = {2};
    EXPECT_EQ(p.FindIOConfig(in, 2, out, 1), 1);
    EXPECT_EQ(p.NChannels(kInput), 3);
    EXPECT_EQ(p.NChannels(kOutput), 6);

    TestProcessor none(Config(""));
    EXPECT_EQ(none.MaxBusCount(kInput, &idx), 0);
    EXPECT_EQ(idx, -1);
}

TEST(Processor, MidiThroughAndSendingLists)
{
    TestProcessor p(Config("1-1"));
    p.ProcessMidiMsg(MidiMessage{0, 0x90, 60, 100}); // default: MIDI through
    EXPECT_EQ(p.mSent, std::vector<int>{60});
    const MidiMessage list[] = {{0, 0x90, 1, 1}, {0, 0x90, 0xFF, 1}, {0, 0x90, 2, 1}};
    EXPECT_FALSE(p.SendMidiMsgs(list, 3)); // one failed; all were still sent
    EXPECT_EQ(p.mSent, (std::vector<int>{60, 1, 0xFF, 2}));
    EXPECT_TRUE(p.SendMidiMsgs(list, 1));
}

} // namespace
