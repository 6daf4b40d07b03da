// IPluginVst3 in-process, under a small plug-in of its own: what the product module cannot
// show through its bundle (groups as units, MIDI controller parameters, latency changes
// outside the host's set-up calls, controller objects following presets, channel context).
#include "plugkit/vst3/IPluginVst3.h"

#include "plugkit/IStateChunk.h"
#include "plugkit/vst3/Vst3Module.h"
#include "tests/support/AllocationGuard.h"
#include "tests/vst3host/Vst3Host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall::test
{
namespace
{

class FakePlugin final : public plugkit::IPluginVst3
{
public:
    static plugkit::PluginConfig Config(bool midiIn)
    {
        plugkit::PluginConfig c;
        c.mNParams = 3;
        c.mNPresets = 2;
        c.mChannelIO = "1-1 2-2";
        c.mPluginName = "Fake";
        c.mMidiIn = midiIn;
        return c;
    }

    explicit FakePlugin(bool midiIn = false)
        : IPluginVst3(Config(midiIn))
    {
        GetParam(0)->InitDouble("Gain", 0.0, -60.0, 12.0, 0.1, "dB", 0, "Levels");
        GetParam(1)->InitDouble("Trim", 0.0, -12.0, 12.0, 0.1, "dB", 0, "Levels");
        GetParam(2)->InitEnum("Mode", 0, {"A", "B", "\xC3\x87"}); // "Ç" in UTF-8
        for (double gain : {-6.0, 6.0})
        {
            plugkit::IStateChunk chunk;
            chunk.PutDouble(gain);
            chunk.PutDouble(0.0);
            chunk.PutDouble(2.0);
            MakePresetFromChunk(gain < 0 ? "Quiet" : "Loud", chunk);
        }
    }

    void OnActivate(bool active) override
    {
        if (active)
            SetLatency(mLatencyOnActivate);
    }
    void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) override
    {
        mEditorValue = normalized ? value : -1.0;
        IPluginVst3::SendParameterValueFromDelegate(paramIdx, value, normalized);
    }

    int mLatencyOnActivate = 0;
    double mEditorValue = -1.0; ///< the last normalized value sent to the editor
};

struct Instance
{
    explicit Instance(bool midiIn = false, std::u16string hostName = u"REAPER")
        : host(std::move(hostName))
        , plugin(new FakePlugin(midiIn))
    {
        EXPECT_EQ(plugin->initialize(static_cast<IHostApplication*>(&host)), kResultOk);
        EXPECT_EQ(plugin->setComponentHandler(&handler), kResultOk);
    }
    ~Instance()
    {
        plugin->setComponentHandler(nullptr);
        plugin->terminate();
        plugin->release();
    }
    HostApplication host;
    ComponentHandler handler;
    FakePlugin* plugin;
};

TEST(Vst3Adapter, GroupsBecomeUnitsRebuiltOnEveryInitialize)
{
    Instance i;
    for (int round = 0; round < 2; ++round)
    {
        EXPECT_EQ(i.plugin->getUnitCount(), 2);
        UnitInfo unit;
        ASSERT_EQ(i.plugin->getUnitInfo(1, unit), kResultTrue);
        EXPECT_EQ(NarrowAscii(unit.name), "Levels");
        EXPECT_EQ(unit.id, 1);
        EXPECT_EQ(unit.parentUnitId, kRootUnitId);
        ASSERT_EQ(i.plugin->getParameterCount(), 4);
        ParameterInfo info;
        for (const auto& [index, unitId] : {std::pair{1, 1}, {2, 1}, {3, kRootUnitId}})
        {
            ASSERT_EQ(i.plugin->getParameterInfo(index, info), kResultTrue);
            EXPECT_EQ(info.unitId, unitId) << index;
        }
        EXPECT_EQ(info.stepCount, 2);
        EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList);
        ASSERT_EQ(i.plugin->terminate(), kResultOk);
        ASSERT_EQ(i.plugin->initialize(static_cast<IHostApplication*>(&i.host)), kResultOk);
        ASSERT_EQ(i.plugin->setComponentHandler(&i.handler), kResultOk);
    }
    EXPECT_EQ(i.plugin->GetHost(), plugkit::kHostReaper);
    EXPECT_EQ(i.host.mNameQueries, 1); // identified once, not again on re-initialize
}

TEST(Vst3Adapter, TextsCrossTheBoundaryBetweenUtf8AndUtf16)
{
    // Whole characters only, within 127 units; malformed input becomes U+FFFD.
    const struct
    {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"Hall", u"Hall"},
        {"\xC3\x87"
         "a \xE2\x82\xAC \xF0\x9F\x8E\xB5",
         u"\u00C7a \u20AC \U0001F3B5"},
        {std::string(126, 'x') + "\xF0\x9F\x8E\xB5", std::u16string(126, u'x')},
        {std::string(200, 'y'), std::u16string(127, u'y')},
        {"a\xFF"
         "b\xC3",
         u"a\uFFFDb\uFFFD"},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // an encoded surrogate is no character
    };
    for (const auto& c : cases)
    {
        String128 wide;
        plugkit::WidenToString128(c.utf8.c_str(), wide);
        EXPECT_EQ(FromString128(wide), c.utf16) << c.utf8;
    }
    // Back to UTF-8, bounded by units and by bytes; a lone surrogate becomes U+FFFD.
    const TChar music[] = {u'A', 0xD83C, 0xDFB5, 0xD800, u'B', 0};
    char out[16];
    plugkit::NarrowFromUtf16(music, 16, out, sizeof(out));
    EXPECT_STREQ(out,
                 "A\xF0\x9F\x8E\xB5\xEF\xBF\xBD"
                 "B");
    plugkit::NarrowFromUtf16(music, 16, out, 5);
    EXPECT_STREQ(out, "A"); // the 4-byte character does not fit in 4 bytes after "A"
    plugkit::NarrowFromUtf16(music, 2, out, sizeof(out));
    EXPECT_STREQ(out, "A\xEF\xBF\xBD"); // the pair is cut by the unit bound

    // Display texts reach the host and come back.
    Instance i;
    String128 text;
    ASSERT_EQ(i.plugin->getParamStringByValue(2, 1.0, text), kResultOk);
    EXPECT_EQ(FromString128(text), u"\u00C7");
    ParamValue normalized = 0.0;
    ASSERT_EQ(i.plugin->getParamValueByString(2, text, normalized), kResultOk);
    EXPECT_EQ(normalized, 1.0);
}

TEST(Vst3Adapter, SdkTypeQueriesKnowTheClassesAndTheirBases)
{
    Instance i;
    Steinberg::FObject* bypass = i.plugin->getParameterObject(65536);
    Steinberg::FObject* gain = i.plugin->getParameterObject(0);
    ASSERT_NE(bypass, nullptr);
    ASSERT_NE(gain, nullptr);
    const std::pair<Steinberg::FObject*, std::vector<const char*>> cases[] = {
        {i.plugin,
         {"IPluginVst3",
          "SingleComponentEffect",
          "EditControllerEx1",
          "EditController",
          "ComponentBase",
          "FObject"}},
        {bypass, {"IPluginVst3BypassParameter", "StringListParameter", "Parameter", "FObject"}},
        {gain, {"IPluginVst3Parameter", "Parameter", "FObject"}},
    };
    for (const auto& [object, names] : cases)
    {
        EXPECT_STREQ(object->isA(), names.front());
        for (const char* name : names)
            EXPECT_TRUE(object->isTypeOf(name)) << names.front() << " is a " << name;
    }
    EXPECT_FALSE(gain->isTypeOf("StringListParameter"));
}

TEST(Vst3Adapter, LatencyRestartsOnlyForChangesOutsideTheHostsSetUpCalls)
{
    Instance i;
    i.plugin->mLatencyOnActivate = 64;
    ProcessSetup setup{kRealtime, kSample32, 256, 48000.0};
    ASSERT_EQ(i.plugin->setupProcessing(setup), kResultOk);
    ASSERT_EQ(i.plugin->setActive(true), kResultOk);
    EXPECT_EQ(i.plugin->getLatencySamples(), 64u); // the host reads it after setActive
    i.plugin->SetLatency(64);
    EXPECT_EQ(i.handler.RestartCount(kLatencyChanged), 0);
    i.plugin->SetLatency(128);
    EXPECT_EQ(i.handler.RestartCount(kLatencyChanged), 1);
    ASSERT_EQ(i.plugin->setActive(false), kResultOk);
}

TEST(Vst3Adapter, ControllerObjectsFollowEditsPresetsAndSendsFromTheEditor)
{
    Instance i;
    i.plugin->BeginInformHostOfParamChange(0);
    i.plugin->InformHostOfParamChange(0, 0.75);
    i.plugin->EndInformHostOfParamChange(0);
    ASSERT_EQ(i.handler.mEvents.size(), 3u);
    EXPECT_EQ(i.handler.mEvents[1].kind, HostEvent::kPerform);
    EXPECT_EQ(i.handler.mEvents[1].value, 0.75);
    EXPECT_EQ(i.plugin->getParamNormalized(0), 0.75);

    ASSERT_TRUE(i.plugin->RestorePreset(1)); // "Loud": gain 6 dB, mode C
    EXPECT_NEAR(i.plugin->getParamNormalized(0), 66.0 / 72.0, 1e-9);
    EXPECT_EQ(i.plugin->getParamNormalized(2), 1.0);

    i.handler.mEvents.clear();
    i.plugin->InformHostOfAllParams();
    ASSERT_EQ(i.handler.mEvents.size(), 5u);
    EXPECT_EQ(i.handler.mEvents.front().kind, HostEvent::kGroupStart);
    EXPECT_EQ(i.handler.mEvents.back().kind, HostEvent::kGroupFinish);

    i.plugin->InformHostOfParamDetailsChange();
    EXPECT_EQ(i.handler.RestartCount(kParamTitlesChanged), 1);

    // The host's own values: held in [0, 1] for the parameter, its controller object and the
    // editor alike.
    ASSERT_EQ(i.plugin->setParamNormalized(1, 1.5), kResultOk);
    EXPECT_EQ(i.plugin->getParamNormalized(1), 1.0);
    EXPECT_EQ(i.plugin->GetParam(1)->Value(), 12.0);
    EXPECT_EQ(i.plugin->mEditorValue, 1.0);

    String128 name;
    EXPECT_EQ(i.plugin->getProgramName(65537, 1, name), kResultOk);
    EXPECT_EQ(NarrowAscii(name), "Loud");
    EXPECT_EQ(i.plugin->getProgramName(65537, 2, name), kResultFalse);
}

TEST(Vst3Adapter, FrameworkStateMovesIntoAFreshInstanceAndItsController)
{
    Instance a;
    ASSERT_EQ(a.plugin->setParamNormalized(0, 0.75), kResultOk);
    ASSERT_EQ(a.plugin->setParamNormalized(2, 0.5), kResultOk);
    MemoryStream saved;
    saved.mChunk = 5; // the writer must loop
    ASSERT_EQ(a.plugin->getState(&saved), kResultOk);
    EXPECT_EQ(saved.mBytes.size(), 3 * sizeof(double));

    Instance b;
    MemoryStream chunked(saved.mBytes);
    chunked.mChunk = 7;
    ASSERT_EQ(b.plugin->setState(&chunked), kResultOk);
    EXPECT_DOUBLE_EQ(b.plugin->GetParam(0)->GetNormalized(), 0.75);
    EXPECT_DOUBLE_EQ(b.plugin->getParamNormalized(0), 0.75); // the controller follows
    EXPECT_DOUBLE_EQ(b.plugin->getParamNormalized(2), 0.5);

    MemoryStream failing(saved.mBytes);
    failing.mFailAfter = 1;
    failing.mChunk = 7;
    EXPECT_EQ(b.plugin->setState(&failing), kResultFalse);
    MemoryStream empty;
    EXPECT_EQ(b.plugin->setState(&empty), kResultFalse);
    EXPECT_EQ(b.plugin->setState(nullptr), kResultFalse);
    EXPECT_EQ(b.plugin->getState(nullptr), kResultFalse);
}

TEST(Vst3Adapter, InitializeWithExhaustedMemoryFailsOrSucceedsAndNothingLeaksOrThrows)
{
    // Each allocation of initialize in turn is the first to fail; the MIDI variant adds the
    // controller units and parameters. Leaks would show under LeakSanitizer.
    for (const bool midiIn : {false, true})
    {
        bool initialized = false;
        for (std::size_t allowed = 0; allowed < 100000 && !initialized; ++allowed)
        {
            HostApplication host(u"REAPER");
            auto* plugin = new FakePlugin(midiIn);
            tresult result = kResultFalse;
            {
                AllocationFailure failure(allowed);
                result = plugin->initialize(static_cast<IHostApplication*>(&host));
            }
            ASSERT_TRUE(result == kResultOk || result == kResultFalse) << allowed;
            initialized = result == kResultOk;
            if (initialized)
            {
                EXPECT_EQ(plugin->getParameterCount(), midiIn ? 4 + 130 : 4);
            }
            plugin->terminate();
            plugin->release();
        }
        EXPECT_TRUE(initialized) << midiIn;
    }

    // Arrangement and set-up short of memory: each may fail, and the next block still runs.
    for (std::size_t allowed = 0; allowed < 64; ++allowed)
    {
        Instance i;
        SpeakerArrangement mono = SpeakerArr::kMono;
        ProcessSetup setup{kRealtime, kSample32, 4096, 48000.0};
        {
            AllocationFailure failure(allowed);
            i.plugin->setBusArrangements(&mono, 1, &mono, 1);
            i.plugin->activateBus(kAudio, kOutput, 0, true);
            i.plugin->setupProcessing(setup);
        }
        ASSERT_EQ(i.plugin->setActive(true), kResultOk);
        float x[64] = {};
        float y[64] = {};
        float* in[] = {x};
        float* out[] = {y};
        EXPECT_EQ(ProcessOneBus32(i.plugin, in, 1, out, 1, 64), kResultOk) << allowed;
        i.plugin->setActive(false);
    }
}

TEST(Vst3Adapter, MidiControllersMapOnlyWhenDeclared)
{
    Instance i(true);
    EXPECT_EQ(i.plugin->getParameterCount(), 4 + 130);
    ParamID id = 0;
    ASSERT_EQ(i.plugin->getMidiControllerAssignment(0, 0, 7, id), kResultOk);
    EXPECT_EQ(id, 65545u);
    ParameterInfo info;
    ASSERT_EQ(i.plugin->getParameterInfoByTag(65545, info), kResultTrue);
    EXPECT_EQ(NarrowAscii(info.title), "MainVolume");
    ASSERT_EQ(i.plugin->getParameterInfoByTag(65538 + 3, info), kResultTrue);
    EXPECT_EQ(NarrowAscii(info.title), "Contr. 3");
    EXPECT_NEAR(i.plugin->getParamNormalized(65538 + 129), 0.5, 0); // pitch bend centred
    // The SDK's plain parameters take any number: the answer is held in [0, 1], and the host's
    // text is read only up to 127 units.
    std::vector<TChar> text(200, static_cast<TChar>('5'));
    ParamValue normalized = 0.0;
    ASSERT_EQ(i.plugin->getParamValueByString(65545, text.data(), normalized), kResultTrue);
    EXPECT_EQ(normalized, 1.0);
    for (const auto& [bus, channel, cc] : {std::tuple{1, 0, 7}, {0, 1, 7}, {0, 0, 130}, {0, 0, -1}})
        EXPECT_EQ(i.plugin->getMidiControllerAssignment(
                      bus, static_cast<int16>(channel), static_cast<CtrlNumber>(cc), id),
                  kResultFalse);
    EXPECT_EQ(i.plugin->getBusCount(kEvent, kInput), 1);
}

TEST(Vst3Adapter, ChannelContextKeepsWhatTheHostLeavesOut)
{
    Instance i;
    AttributeList first;
    first.mInts["channel color"] = 0xFF336699;
    first.mInts["channel index"] = 4;
    first.SetText("channel name", u"Gr\u00FC\u00DFe \U0001F3B5");
    ASSERT_EQ(i.plugin->setChannelContextInfos(&first), kResultOk);
    AttributeList second;
    second.mInts["channel index"] = 5;
    ASSERT_EQ(i.plugin->setChannelContextInfos(&second), kResultOk);

    int r = 0, g = 0, b = 0;
    i.plugin->GetTrackColor(r, g, b);
    EXPECT_EQ(r, 0x33);
    EXPECT_EQ(g, 0x66);
    EXPECT_EQ(b, 0x99);
    EXPECT_EQ(i.plugin->GetTrackIndex(), 5);
    plugkit::HeapString name;
    i.plugin->GetTrackName(name);
    EXPECT_STREQ(name.Get(),
                 "Gr\xC3\xBC\xC3\x9F"
                 "e \xF0\x9F\x8E\xB5");
}

TEST(Vst3Adapter, ArrangementsUnderArdourAndMixbusAcceptedAsGivenAndRenderedClamped)
{
    SpeakerArrangement mono = SpeakerArr::kMono;
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    SpeakerArrangement surround = SpeakerArr::k51;
    SpeakerArrangement leftLfe = kSpeakerL | kSpeakerLfe;
    for (const auto& [name, anyAccepted] :
         {std::pair{u"Mixbus 9", true}, {u"Ardour 8.1", true}, {u"Bitwig Studio", false}})
    {
        Instance i(false, name);
        SpeakerArrangement before = 0;
        ASSERT_EQ(i.plugin->getBusArrangement(kOutput, 0, before), kResultTrue);
        EXPECT_EQ(i.plugin->setBusArrangements(&mono, 1, &stereo, 1) == kResultOk, anyAccepted);
        EXPECT_EQ(i.plugin->setBusArrangements(&leftLfe, 1, &stereo, 1) == kResultOk, anyAccepted);
        EXPECT_EQ(i.plugin->setBusArrangements(&surround, 1, &surround, 1) == kResultOk,
                  anyAccepted);
        EXPECT_EQ(i.plugin->setBusArrangements(nullptr, 3, nullptr, 0) == kResultOk, anyAccepted);
        SpeakerArrangement after = 0;
        ASSERT_EQ(i.plugin->getBusArrangement(kOutput, 0, after), kResultTrue);
        EXPECT_EQ(after, before) << "the buses stay as declared";
        if (!anyAccepted)
            continue;

        // A block of the host's six channels: the plug-in's two pass through, the rest are
        // silence, and nothing is read or written past the host's buffers.
        ProcessSetup setup{kRealtime, kSample32, 64, 48000.0};
        ASSERT_EQ(i.plugin->setupProcessing(setup), kResultOk);
        ASSERT_EQ(i.plugin->activateBus(kAudio, kOutput, 0, true), kResultTrue);
        ASSERT_EQ(i.plugin->setActive(true), kResultOk);
        std::vector<std::vector<float>> x(6, std::vector<float>(64, 0.5f));
        std::vector<std::vector<float>> y(6, std::vector<float>(64, 9.f));
        float* in[6];
        float* out[6];
        for (int c = 0; c < 6; ++c)
        {
            x[c][0] = static_cast<float>(c + 1);
            in[c] = x[c].data();
            out[c] = y[c].data();
        }
        ASSERT_EQ(ProcessOneBus32(i.plugin, in, 6, out, 6, 64), kResultOk);
        EXPECT_EQ(y[0][0], 1.f);
        EXPECT_EQ(y[1][0], 2.f);
        for (int c = 2; c < 6; ++c)
            EXPECT_EQ(y[c][0], 0.f) << c;
        i.plugin->setActive(false);
    }
}

TEST(Vst3Adapter, DefaultProcessAppliesQueuesAndPassesThroughWhileBypassed)
{
    Instance i;
    ProcessSetup setup{kRealtime, kSample32, 64, 48000.0};
    ASSERT_EQ(i.plugin->setupProcessing(setup), kResultOk);
    ASSERT_EQ(i.plugin->activateBus(kAudio, kOutput, 0, true), kResultTrue);
    ASSERT_EQ(i.plugin->setActive(true), kResultOk);
    float inL[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    float inR[8] = {-1, -2, -3, -4, -5, -6, -7, -8};
    float outL[8] = {};
    float outR[8] = {};
    float* in[] = {inL, inR};
    float* out[] = {outL, outR};
    AudioBusBuffers inBus;
    inBus.numChannels = 2;
    inBus.channelBuffers32 = in;
    AudioBusBuffers outBus;
    outBus.numChannels = 2;
    outBus.channelBuffers32 = out;
    ParameterChanges changes;
    changes.Add(0, 0, 0.25);
    changes.Add(0, 5, 0.5); // the last point wins
    changes.Add(65536, 0, 1.0);
    ProcessData data;
    data.symbolicSampleSize = kSample32;
    data.numSamples = 8;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    data.inputParameterChanges = &changes;
    ASSERT_EQ(i.plugin->process(data), kResultOk);
    EXPECT_TRUE(i.plugin->GetBypassed());
    EXPECT_DOUBLE_EQ(i.plugin->GetParam(0)->GetNormalized(), 0.5);
    EXPECT_EQ(std::memcmp(inL, outL, sizeof(inL)), 0);
    EXPECT_EQ(std::memcmp(inR, outR, sizeof(inR)), 0);
    i.plugin->setActive(false);
}

TEST(Vst3Adapter, TransportFieldsFollowTheirValidityFlags)
{
    Instance i;
    ProcessSetup setup{kOffline, kSample32, 64, 48000.0};
    ASSERT_EQ(i.plugin->setupProcessing(setup), kResultOk);
    ProcessContext context{};
    context.projectTimeSamples = 96000;
    context.tempo = 90.0;
    context.timeSigNumerator = 3;
    context.timeSigDenominator = 8;
    context.projectTimeMusic = 7.5;
    context.barPositionMusic = 6.0;
    context.cycleStartMusic = 2.0;
    context.cycleEndMusic = 10.0;
    ProcessData data;
    data.symbolicSampleSize = kSample32;
    auto read = [&](uint32 state, bool withContext = true)
    {
        context.state = state;
        data.processContext = withContext ? &context : nullptr;
        i.plugin->ReadProcessContext(data, setup);
        return i.plugin->GetTransportInfo();
    };

    // No flag: only the sample position, which VST3 always gives, is taken.
    plugkit::TransportInfo t = read(0);
    const plugkit::TransportInfo defaults;
    EXPECT_EQ(t.mSamplePos, 96000.0);
    EXPECT_EQ(t.mTempo, defaults.mTempo);
    EXPECT_EQ(t.mNumerator, defaults.mNumerator);
    EXPECT_EQ(t.mDenominator, defaults.mDenominator);
    EXPECT_EQ(t.mPPQPos, defaults.mPPQPos);
    EXPECT_EQ(t.mLastBar, defaults.mLastBar);
    EXPECT_EQ(t.mCycleStart, defaults.mCycleStart);
    EXPECT_FALSE(t.mPlaying);
    EXPECT_TRUE(i.plugin->GetRenderingOffline());

    t = read(ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
             ProcessContext::kProjectTimeMusicValid | ProcessContext::kBarPositionValid |
             ProcessContext::kCycleValid | ProcessContext::kPlaying | ProcessContext::kCycleActive);
    EXPECT_EQ(t.mTempo, 90.0);
    EXPECT_EQ(t.mNumerator, 3);
    EXPECT_EQ(t.mDenominator, 8);
    EXPECT_EQ(t.mPPQPos, 7.5);
    EXPECT_EQ(t.mLastBar, 6.0);
    EXPECT_EQ(t.mCycleStart, 2.0);
    EXPECT_EQ(t.mCycleEnd, 10.0);
    EXPECT_TRUE(t.mPlaying);
    EXPECT_TRUE(t.mLooping);

    // A block without a context keeps the last one; a flagged but unusable tempo or time
    // signature keeps the defaults.
    const uint32 all = context.state;
    context.tempo = -1.0;
    t = read(all, false);
    EXPECT_EQ(t.mTempo, 90.0);
    context.timeSigDenominator = 0;
    t = read(all);
    EXPECT_EQ(t.mTempo, defaults.mTempo);
    EXPECT_EQ(t.mDenominator, defaults.mDenominator);
}

/// "2.2-2": a stereo main input, a stereo side chain; output 0 carries side-chain channel 0,
/// output 1 main channel 0.
class SideChainPlugin final : public plugkit::IPluginVst3
{
public:
    static plugkit::PluginConfig Config()
    {
        plugkit::PluginConfig c;
        c.mChannelIO = "2.2-2";
        c.mPluginName = "Keyed";
        return c;
    }
    SideChainPlugin()
        : IPluginVst3(Config())
    {
    }
    void ProcessBlock(float** inputs, float** outputs, int nFrames) override
    {
        for (int s = 0; s < nFrames; ++s)
        {
            outputs[0][s] = inputs[2][s];
            outputs[1][s] = inputs[0][s];
        }
    }
};

TEST(Vst3Adapter, SideChainFeedsItsChannelsOnlyWhileItsBusIsActive)
{
    HostApplication host(u"Test");
    auto* plugin = new SideChainPlugin();
    ASSERT_EQ(plugin->initialize(static_cast<IHostApplication*>(&host)), kResultOk);
    ASSERT_EQ(plugin->getBusCount(kAudio, kInput), 2);
    BusInfo bus;
    ASSERT_EQ(plugin->getBusInfo(kAudio, kInput, 1, bus), kResultTrue);
    EXPECT_EQ(bus.busType, kAux);
    EXPECT_EQ(bus.flags, 0);
    ASSERT_EQ(plugin->activateBus(kAudio, kInput, 0, true), kResultTrue);
    ASSERT_EQ(plugin->activateBus(kAudio, kOutput, 0, true), kResultTrue);
    // 64-bit: the side chain goes through the framework's scratch buffers.
    ProcessSetup setup{kRealtime, kSample64, 4, 48000.0};
    ASSERT_EQ(plugin->setupProcessing(setup), kResultOk);
    ASSERT_EQ(plugin->setActive(true), kResultOk);

    double main[4] = {0.25, 0.25, 0.25, 0.25};
    double key[4] = {0.5, 0.5, 0.5, 0.5};
    double outL[4] = {}, outR[4] = {};
    double* mainCh[] = {main, main};
    double* keyCh[] = {key, key};
    double* outCh[] = {outL, outR};
    AudioBusBuffers ins[2];
    ins[0].numChannels = 2;
    ins[0].channelBuffers64 = mainCh;
    ins[1].numChannels = 2;
    ins[1].channelBuffers64 = keyCh;
    AudioBusBuffers out;
    out.numChannels = 2;
    out.channelBuffers64 = outCh;
    ProcessData data;
    data.symbolicSampleSize = kSample64;
    data.numSamples = 4;
    data.numInputs = 2;
    data.numOutputs = 1;
    data.inputs = ins;
    data.outputs = &out;

    for (const auto& [active, expected] : {std::pair{false, 0.0}, {true, 0.5}, {false, 0.0}})
    {
        ASSERT_EQ(plugin->activateBus(kAudio, kInput, 1, active), kResultTrue);
        ASSERT_EQ(plugin->process(data), kResultOk);
        EXPECT_EQ(outL[3], expected) << active;
        EXPECT_EQ(outR[3], 0.25) << active;
    }
    plugin->setActive(false);
    plugin->terminate();
    plugin->release();
}

int gInits = 0;
int gExits = 0;

TEST(Vst3Module, LoadCounterRunsItsHooksOnTheFirstLoadAndTheLastUnload)
{
    plugkit::ModuleLoadCounter counter;
    const auto init = [] { return ++gInits > 0; };
    const auto exit = [] { return ++gExits > 0; };
    EXPECT_TRUE(counter.Enter(init));
    EXPECT_TRUE(counter.Enter(init));
    EXPECT_TRUE(counter.Leave(exit));
    EXPECT_EQ(gExits, 0);
    EXPECT_TRUE(counter.Leave(exit));
    EXPECT_EQ(gInits, 1);
    EXPECT_EQ(gExits, 1);
    EXPECT_FALSE(counter.Leave(exit)); // unbalanced: refused, the count stays at 0
    EXPECT_EQ(counter.Count(), 0);
    EXPECT_TRUE(counter.Enter(init));
    EXPECT_EQ(gInits, 2);
}

} // namespace
} // namespace lumenfall::test
