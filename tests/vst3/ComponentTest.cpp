// The component as a host sees it after initialize: parameters, buses and arrangements,
// units, and the controller's services.
#include "plugin/engine/Parameters.h"
#include "tests/support/ModuleFixture.h"

#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;
using lumenfall::engine::ParamTables;

namespace lumenfall::test
{
namespace
{

using ComponentTest = ModuleTest;

struct ParamFacts
{
    int stepCount;
    bool isList;
    bool powerCurve; ///< normalized = sqrt((value - min) / (max - min))
};

ParamFacts Facts(int id)
{
    switch (id)
    {
    case 0:
        return {12, true, false}; // Reverb Type
    case 29:
        return {10, true, false}; // Note Division
    case 26:
    case 27:
    case 28:
    case 31:
        return {1, false, false}; // switches
    case 1:
    case 13:
    case 14:
    case 17:
    case 18:
        return {0, false, true};
    default:
        return {0, false, false};
    }
}

TEST_F(ComponentTest, DeclaresTheHostBypassThenThe32Parameters)
{
    auto plugin = NewPlugin(0.0);
    IEditController* c = plugin->mController;
    ASSERT_EQ(c->getParameterCount(), 33);

    ParameterInfo info;
    ASSERT_EQ(c->getParameterInfo(0, info), kResultOk);
    EXPECT_EQ(info.id, 65536u);
    EXPECT_EQ(NarrowAscii(info.title), "Bypass");
    EXPECT_EQ(NarrowAscii(info.shortTitle), "");
    EXPECT_EQ(NarrowAscii(info.units), "");
    EXPECT_EQ(info.unitId, kRootUnitId);
    EXPECT_EQ(info.flags, 0x10009);
    EXPECT_EQ(info.stepCount, 1);
    EXPECT_EQ(info.defaultNormalizedValue, 0.0);

    for (int id = 0; id < 32; ++id)
    {
        SCOPED_TRACE(ParamTables::kNames[id]);
        ASSERT_EQ(c->getParameterInfo(id + 1, info), kResultOk);
        const ParamFacts facts = Facts(id);
        EXPECT_EQ(info.id, static_cast<ParamID>(id));
        EXPECT_EQ(NarrowAscii(info.title), ParamTables::kNames[id]);
        EXPECT_EQ(NarrowAscii(info.shortTitle), "");
        const bool discrete = facts.stepCount > 0;
        EXPECT_EQ(NarrowAscii(info.units), discrete ? "" : ParamTables::kUnits[id]);
        EXPECT_EQ(info.stepCount, facts.stepCount);
        EXPECT_EQ(info.flags,
                  ParameterInfo::kCanAutomate | (facts.isList ? ParameterInfo::kIsList : 0));
        EXPECT_EQ(info.unitId, kRootUnitId);
        const double min = ParamTables::kMinimums[id];
        const double range = ParamTables::kMaximums[id] - min;
        const double linear = (ParamTables::kDefaults[id] - min) / range;
        EXPECT_NEAR(
            info.defaultNormalizedValue, facts.powerCurve ? std::sqrt(linear) : linear, 1e-6);
        EXPECT_NEAR(c->getParamNormalized(id), info.defaultNormalizedValue, 1e-12);
    }
    // No program-change parameter; an index past the end is refused, not thrown.
    EXPECT_EQ(c->getParamNormalized(65537), 0.0);
    EXPECT_NE(c->getParameterInfo(33, info), kResultOk);
    EXPECT_NE(c->getParameterInfo(-1, info), kResultOk);

    void* obj = nullptr;
    ASSERT_EQ(plugin->mComponent->queryInterface(IUnitInfo::iid, &obj), kResultOk);
    auto* units = static_cast<IUnitInfo*>(obj);
    UnitInfo unit;
    EXPECT_EQ(units->getUnitCount(), 1);
    ASSERT_EQ(units->getUnitInfo(0, unit), kResultOk);
    EXPECT_EQ(NarrowAscii(unit.name), "Root");
    EXPECT_EQ(unit.parentUnitId, kNoParentUnitId);
    EXPECT_EQ(units->getProgramListCount(), 0);
    units->release();
}

TEST_F(ComponentTest, HasOneStereoBusEachWayAndNoEventBuses)
{
    auto plugin = NewPlugin(0.0);
    IComponent* c = plugin->mComponent;
    EXPECT_EQ(c->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(c->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(c->getBusCount(kEvent, kInput), 0);
    EXPECT_EQ(c->getBusCount(kEvent, kOutput), 0);
    BusInfo bus;
    ASSERT_EQ(c->getBusInfo(kAudio, kInput, 0, bus), kResultOk);
    EXPECT_EQ(bus.channelCount, 2);
    EXPECT_EQ(bus.busType, kMain);
    EXPECT_EQ(bus.flags, BusInfo::kDefaultActive);
    EXPECT_EQ(NarrowAscii(bus.name), "Input");
    ASSERT_EQ(c->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
    EXPECT_EQ(NarrowAscii(bus.name), "Output");
}

struct ArrangementCase
{
    std::vector<SpeakerArrangement> inputs;
    std::vector<SpeakerArrangement> outputs;
    bool accepted;
};

TEST_F(ComponentTest, AcceptsOnlyTheConfiguredMonoAndStereoArrangements)
{
    const SpeakerArrangement mono = SpeakerArr::kMono;
    const SpeakerArrangement stereo = SpeakerArr::kStereo;
    const SpeakerArrangement leftLfe = kSpeakerL | kSpeakerLfe;
    const ArrangementCase cases[] = {
        {{stereo}, {stereo}, true},
        {{mono}, {mono}, true},
        {{mono}, {stereo}, false},
        {{stereo}, {mono}, false},
        {{leftLfe}, {stereo}, false}, // two channels, but not stereo
        {{SpeakerArr::k51}, {SpeakerArr::k51}, false},
        {{stereo, stereo}, {stereo}, false},
        {{}, {stereo}, false},
    };
    auto plugin = NewPlugin(0.0);
    for (const ArrangementCase& c : cases)
    {
        auto ins = c.inputs;
        auto outs = c.outputs;
        const tresult result =
            plugin->mProcessor->setBusArrangements(ins.data(),
                                                   static_cast<int32>(ins.size()),
                                                   outs.data(),
                                                   static_cast<int32>(outs.size()));
        EXPECT_EQ(result == kResultOk, c.accepted)
            << ins.size() << " " << (ins.empty() ? 0 : ins[0]);
        if (c.accepted)
        {
            SpeakerArrangement arr = 0;
            ASSERT_EQ(plugin->mProcessor->getBusArrangement(kInput, 0, arr), kResultTrue);
            EXPECT_EQ(arr, ins[0]);
            ASSERT_EQ(plugin->mProcessor->getBusArrangement(kOutput, 0, arr), kResultTrue);
            EXPECT_EQ(arr, outs[0]);
        }
    }
    EXPECT_EQ(plugin->mProcessor->canProcessSampleSize(kSample32), kResultOk);
    EXPECT_EQ(plugin->mProcessor->canProcessSampleSize(kSample64), kResultOk);
    EXPECT_EQ(plugin->mProcessor->canProcessSampleSize(2), kResultFalse);
}

TEST_F(ComponentTest, BusesTheHostActivatedStayActiveThroughANewArrangement)
{
    // The host activates the default-active buses first (CreateAndInitialize), then settles
    // the arrangement: the rebuilt buses must still render.
    for (SpeakerArrangement arr : {SpeakerArr::kStereo, SpeakerArr::kMono})
    {
        auto plugin = NewPlugin(0.0);
        SpeakerArrangement in = arr;
        SpeakerArrangement out = arr;
        ASSERT_EQ(plugin->mProcessor->setBusArrangements(&in, 1, &out, 1), kResultOk);
        BusInfo bus;
        ASSERT_EQ(plugin->mComponent->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
        EXPECT_EQ(bus.channelCount, arr == SpeakerArr::kMono ? 1 : 2);
        ASSERT_TRUE(plugin->Start(48000.0, 512));
        const int channels = bus.channelCount;
        std::vector<float> x = NoiseBurst(512, 512, 5);
        std::vector<float> y0(512, 0.0f), y1(512, 0.0f);
        float* i[] = {x.data(), x.data()};
        float* o[] = {y0.data(), y1.data()};
        ASSERT_EQ(plugin->Process32(i, channels, o, channels, 512), kResultOk);
        bool any = false;
        for (float v : y0)
            any = any || v != 0.0f;
        EXPECT_TRUE(any) << "channels " << channels;
    }
}

TEST_F(ComponentTest, SetParamNormalizedTakesFiniteValuesOfKnownIds)
{
    auto plugin = NewPlugin(0.0);
    IEditController* c = plugin->mController;
    EXPECT_EQ(c->setParamNormalized(5, 0.25), kResultOk);
    EXPECT_DOUBLE_EQ(c->getParamNormalized(5), 0.25);
    EXPECT_EQ(c->setParamNormalized(65537, 0.5), kResultFalse);
    EXPECT_EQ(c->setParamNormalized(65536, 1.0), kResultOk);
    EXPECT_EQ(c->getParamNormalized(65536), 1.0);
    for (double bad : {std::nan(""), double(INFINITY), -double(INFINITY)})
        EXPECT_EQ(c->setParamNormalized(5, bad), kResultFalse);
    EXPECT_DOUBLE_EQ(c->getParamNormalized(5), 0.25);

    // The value reached the plug-in: the saved state carries it.
    std::vector<std::uint8_t> state;
    ASSERT_EQ(plugin->SaveState(state), kResultOk);
    EXPECT_FLOAT_EQ(StateValue(state, 5), 50.0f); // Width: 0 .. 200 %
}

TEST_F(ComponentTest, ConvertsValuesToAndFromText)
{
    auto plugin = NewPlugin(0.0);
    IEditController* c = plugin->mController;
    String128 text;
    ASSERT_EQ(c->getParamStringByValue(0, 4.0 / 12.0, text), kResultOk);
    EXPECT_EQ(NarrowAscii(text), "Hall");
    ASSERT_EQ(c->getParamStringByValue(65536, 1.0, text), kResultOk);
    EXPECT_EQ(NarrowAscii(text), "on");
    EXPECT_EQ(c->getParamStringByValue(65536, std::nan(""), text), kResultFalse);
    ASSERT_EQ(c->getParamStringByValue(65536, 7.0, text), kResultOk);
    EXPECT_EQ(NarrowAscii(text), "on");

    struct Case
    {
        ParamID id;
        const char16_t* text;
        bool ok;
        double plain;
    };
    const Case cases[] = {
        {0, u"Cathedral", true, 5.0},
        {1, u"2.5", true, 2.5},
        {4, u"40", true, 40.0},
        {26, u"on", true, 1.0},
        {1, u"abc", false, 0},
        {4, u"", false, 0},
        {29, u"7", true, 7.0},
        {65536, u"on", true, 1.0},
        {65536, u"maybe", false, 0},
    };
    for (const Case& k : cases)
    {
        String128 in = {};
        for (int i = 0; k.text[i] != 0; ++i)
            in[i] = static_cast<TChar>(k.text[i]);
        ParamValue normalized = -1.0;
        const tresult result = c->getParamValueByString(k.id, in, normalized);
        EXPECT_EQ(result == kResultOk, k.ok) << k.id;
        if (k.ok)
        {
            EXPECT_NEAR(c->normalizedParamToPlain(k.id, normalized), k.plain, 1e-9) << k.id;
        }
    }

    // A host string without a terminator is read no further than 128 units.
    std::vector<TChar> unterminated(128, static_cast<TChar>('9'));
    ParamValue normalized = 0.0;
    EXPECT_EQ(c->getParamValueByString(4, unterminated.data(), normalized), kResultOk);
    EXPECT_EQ(c->normalizedParamToPlain(4, normalized), 100.0);
    std::vector<TChar> onAndOn(128, static_cast<TChar>('n'));
    onAndOn[0] = static_cast<TChar>('o');
    EXPECT_EQ(c->getParamValueByString(65536, onAndOn.data(), normalized), kResultFalse);
}

TEST_F(ComponentTest, ControllerQueriesRefuseWhatDoesNotExist)
{
    auto plugin = NewPlugin(0.0);
    void* obj = nullptr;
    ASSERT_EQ(plugin->mComponent->queryInterface(IMidiMapping::iid, &obj), kResultOk);
    auto* midi = static_cast<IMidiMapping*>(obj);
    ParamID id = 12345;
    // No MIDI input is declared: no controller maps to anything, bypass least of all.
    for (int16 channel : {0, 1})
        for (CtrlNumber cc : {0, 7, 128, 129})
            EXPECT_EQ(midi->getMidiControllerAssignment(0, channel, cc, id), kResultFalse);
    EXPECT_EQ(id, 12345u);
    midi->release();

    ASSERT_EQ(plugin->mComponent->queryInterface(IUnitInfo::iid, &obj), kResultOk);
    auto* units = static_cast<IUnitInfo*>(obj);
    String128 name;
    EXPECT_EQ(units->getProgramName(65537, 0, name), kResultOk);
    EXPECT_FALSE(NarrowAscii(name).empty());
    EXPECT_EQ(units->getProgramName(65537, 26, name), kResultFalse);
    EXPECT_EQ(units->getProgramName(65537, -1, name), kResultFalse);
    EXPECT_EQ(units->getProgramName(0, 0, name), kResultFalse);
    UnitInfo unit;
    EXPECT_NE(units->getUnitInfo(1, unit), kResultOk); // refused, not thrown
    EXPECT_NE(units->getUnitInfo(-1, unit), kResultOk);
    units->release();

    IEditController* c = plugin->mController;
    EXPECT_EQ(c->createView("settings"), nullptr);
    EXPECT_EQ(c->createView(nullptr), nullptr);
    EXPECT_EQ(c->setComponentState(nullptr), kResultOk);
    MemoryStream controllerState;
    EXPECT_EQ(c->getControllerState(&controllerState), kResultOk);
    EXPECT_TRUE(controllerState.mBytes.empty());
    EXPECT_EQ(c->setControllerState(&controllerState), kResultOk);
}

TEST_F(ComponentTest, ChannelContextIsReadWithinBounds)
{
    auto plugin = NewPlugin(0.0);
    void* obj = nullptr;
    ASSERT_EQ(plugin->mComponent->queryInterface(ChannelContext::IInfoListener::iid, &obj),
              kResultOk);
    auto* listener = static_cast<ChannelContext::IInfoListener*>(obj);
    EXPECT_EQ(listener->setChannelContextInfos(nullptr), kResultFalse);
    AttributeList list;
    list.SetText("channel name", std::u16string(300, u'x')); // longer than any String128
    list.mInts["channel name length"] = 100000;
    list.SetText("channel uid", u"uid-1");
    list.mInts["channel color"] = 0xFF336699;
    list.mInts["channel index"] = 3;
    EXPECT_EQ(listener->setChannelContextInfos(&list), kResultOk);
    listener->release();
}

} // namespace
} // namespace lumenfall::test
