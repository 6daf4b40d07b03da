// The real LUMENFALL.vst3 in the test host under hostile calls: mutated states through
// setState, random UTF-16 text and values into the controller, random ids and indices into
// every indexed query, and random arrangements, set-ups, block sizes, parameter queues and
// process contexts. Nothing may crash, throw, allocate while processing or put a
// non-finite sample out; state is taken whole or not at all.
#include "tests/fuzz/StateStreams.h"
#include "tests/support/AllocationGuard.h"
#include "tests/support/ModuleFixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall::test
{
namespace
{

constexpr ParamID kBypassId = 65536;

class ModuleFuzz : public ModuleTest
{
protected:
    /// An id a host might send: a parameter, one just past them, the bypass and program
    /// ids, or anything.
    static ParamID RandomId(FuzzRng& rng)
    {
        switch (rng.Below(4))
        {
        case 0:
        case 1:
            return static_cast<ParamID>(rng.Below(kParamCount));
        case 2:
        {
            static constexpr ParamID kEdges[] = {
                32, 33, kBypassId, kBypassId + 1, kBypassId + 2, kBypassId - 1, 0xFFFFFFFFu};
            return kEdges[rng.Below(static_cast<int>(std::size(kEdges)))];
        }
        default:
            return rng.Next32();
        }
    }

    static bool Known(ParamID id)
    {
        return id < static_cast<ParamID>(kParamCount) || id == kBypassId;
    }
};

// ---- State.

TEST_F(ModuleFuzz, MutatedStatesAreTakenWholeOrNotAtAll)
{
    auto plugin = NewPlugin(48000.0, 64);
    IEditController* controller = plugin->mController;
    FuzzRng rng(0x30D0001);
    int accepted = 0;
    Stereo silence(64);
    for (int iteration = 0; iteration < 1500; ++iteration)
    {
        Bytes before;
        ASSERT_EQ(plugin->SaveState(before), kResultOk);
        ASSERT_EQ(before.size(), static_cast<std::size_t>(kComponentStateSize));

        const Bytes bytes = RandomStream(rng, kComponentStateSize);
        MemoryStream stream(bytes);
        stream.mChunk = rng.OneIn(3) ? rng.Range(1, 300) : 0; // short reads
        const bool failing = rng.OneIn(10);
        if (failing)
            stream.mFailAfter = rng.Below(4); // a stream that breaks off
        const tresult result = plugin->mComponent->setState(&stream);
        ASSERT_TRUE(result == kResultOk || result == kResultFalse) << result;

        Bytes after;
        ASSERT_EQ(plugin->SaveState(after), kResultOk) << "iteration " << iteration;
        if (result != kResultOk)
        {
            ASSERT_TRUE(SameBytes(after, before)) << "iteration " << iteration;
            continue;
        }
        ++accepted;
        ASSERT_TRUE(SameBytes(after, AsWritten(bytes))) << "iteration " << iteration;
        // The controller's objects show the restored values at once.
        for (int i = 0; i < kParamCount; ++i)
        {
            const double want =
                controller->plainParamToNormalized(static_cast<ParamID>(i), StateValue(after, i));
            ASSERT_NEAR(controller->getParamNormalized(static_cast<ParamID>(i)), want, 1e-12)
                << "iteration " << iteration << " param " << i;
        }
        ASSERT_EQ(controller->getParamNormalized(kBypassId), after[kBypassOffset] != 0 ? 1.0 : 0.0);
        if (iteration % 16 == 0)
        {
            const Stereo out = Render(*plugin, silence, 64);
            for (int s = 0; s < out.Frames(); ++s)
                ASSERT_TRUE(std::isfinite(out.left[s]) && std::isfinite(out.right[s]));
        }
    }
    EXPECT_GT(accepted, 100);
}

// ---- Host text and values into the controller.

/// A UTF-16 text a host might pass: random units (surrogates, unpaired or not, included),
/// terminated within 128 units, or a full 128 units with no terminator in a buffer of
/// exactly that size.
std::vector<TChar> RandomUtf16(FuzzRng& rng, const std::u16string& seed)
{
    std::vector<TChar> text;
    if (!seed.empty() && rng.OneIn(2))
    {
        text.assign(seed.begin(), seed.end());
        if (rng.OneIn(2) && !text.empty())
            text[static_cast<std::size_t>(rng.Below(static_cast<int>(text.size())))] =
                static_cast<TChar>(rng.Next32());
    }
    else
    {
        const int n = rng.Below(40);
        for (int i = 0; i < n; ++i)
        {
            switch (rng.Below(4))
            {
            case 0:
                text.push_back(static_cast<TChar>(rng.Range(0xD800, 0xDFFF)));
                break;
            case 1:
                text.push_back(static_cast<TChar>(rng.Range(1, 0xFFFF)));
                break;
            default:
                text.push_back(static_cast<TChar>("0123456789.-+eE onfxin"[rng.Below(22)]));
                break;
            }
        }
    }
    if (rng.OneIn(6))
    {
        text.resize(128, u'7'); // no terminator anywhere
        return text;
    }
    text.push_back(0);
    return text;
}

bool Terminated(const String128 text)
{
    for (int i = 0; i < 128; ++i)
        if (text[i] == 0)
            return true;
    return false;
}

TEST_F(ModuleFuzz, HostTextAndValuesNeverLeaveTheParameterRanges)
{
    auto plugin = NewPlugin(0.0);
    IEditController* c = plugin->mController;
    FuzzRng rng(0x30D0002);
    ComponentHandler second;
    for (int iteration = 0; iteration < 20000; ++iteration)
    {
        const ParamID id = RandomId(rng);
        switch (rng.Below(6))
        {
        case 0:
        {
            const double value = rng.NastyDouble();
            const tresult result = c->setParamNormalized(id, value);
            ASSERT_EQ(result == kResultOk, Known(id) && std::isfinite(value))
                << "id " << id << " value " << value;
            break;
        }
        case 1:
        {
            String128 text;
            std::fill(std::begin(text), std::end(text), static_cast<TChar>(0xFFFF));
            if (c->getParamStringByValue(id, rng.NastyDouble(), text) == kResultOk)
            {
                ASSERT_TRUE(Known(id));
                ASSERT_TRUE(Terminated(text)) << "id " << id;
            }
            break;
        }
        case 2:
        {
            String128 shown;
            std::u16string seed;
            if (Known(id) && c->getParamStringByValue(id, rng.Unit(), shown) == kResultOk)
                seed = FromString128(shown);
            std::vector<TChar> text = RandomUtf16(rng, seed);
            ParamValue normalized = -5.0;
            if (c->getParamValueByString(id, text.data(), normalized) == kResultOk)
            {
                ASSERT_TRUE(Known(id));
                ASSERT_TRUE(normalized >= 0.0 && normalized <= 1.0) << "id " << id;
            }
            break;
        }
        case 3:
        {
            const double value = rng.NastyDouble();
            const double plain = c->normalizedParamToPlain(id, value);
            const double normalized = c->plainParamToNormalized(id, plain);
            if (Known(id))
            {
                ASSERT_TRUE(std::isfinite(plain)) << "id " << id << " value " << value;
                ASSERT_TRUE(normalized >= 0.0 && normalized <= 1.0) << "id " << id;
            }
            break;
        }
        case 4:
        {
            IComponentHandler* handlers[] = {nullptr, &mHandler, &second};
            ASSERT_EQ(c->setComponentHandler(handlers[rng.Below(3)]), kResultTrue);
            break;
        }
        default:
            break;
        }
        const double now = c->getParamNormalized(id);
        ASSERT_TRUE(now >= 0.0 && now <= 1.0) << "id " << id;
        if (mHandler.mEvents.size() > 10000)
            mHandler.mEvents.clear();
    }
    c->setComponentHandler(&mHandler);
}

// The host bypass is the SDK's string-list parameter, whose toPlain converts
// normalized x (steps + 1) to int32: undefined for -inf, NaN or 1e300 unless held first.
TEST_F(ModuleFuzz, BypassPlainValueOfAnyNormalizedValueIsOffOrOn)
{
    auto plugin = NewPlugin(0.0);
    for (double value : {-std::numeric_limits<double>::infinity(),
                         -1e300,
                         1e300,
                         std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()})
    {
        const double plain = plugin->mController->normalizedParamToPlain(kBypassId, value);
        EXPECT_TRUE(plain == 0.0 || plain == 1.0) << value << " gives " << plain;
    }
}

/// What the host shows for a value must read back as a value that shows the same text.
TEST_F(ModuleFuzz, DisplayedTextReadsBackAsTheSameDisplay)
{
    auto plugin = NewPlugin(0.0);
    IEditController* c = plugin->mController;
    FuzzRng rng(0x30D0003);
    for (int iteration = 0; iteration < 20000; ++iteration)
    {
        const ParamID id = rng.OneIn(33) ? kBypassId : static_cast<ParamID>(rng.Below(kParamCount));
        String128 shown;
        ASSERT_EQ(c->getParamStringByValue(id, rng.Unit(), shown), kResultOk);
        ParamValue back = -1.0;
        ASSERT_EQ(c->getParamValueByString(id, shown, back), kResultOk)
            << "id " << id << " \"" << NarrowAscii(shown) << "\"";
        String128 again;
        ASSERT_EQ(c->getParamStringByValue(id, back, again), kResultOk);
        ASSERT_EQ(NarrowAscii(again), NarrowAscii(shown)) << "id " << id;
    }
}

// ---- Indexed queries.

// The factory under random indices, class ids (the real one with a byte changed) and interface
// ids: answers or refusals, a null object with every refusal, and no instance leaked (the
// leak checker runs at exit).
TEST_F(ModuleFuzz, FactoryAnswersOrRefusesAnyIndexAndId)
{
    IPluginFactory* factory = sModule->Factory();
    void* obj = nullptr;
    ASSERT_EQ(factory->queryInterface(IPluginFactory3::iid, &obj), kResultOk);
    auto* factory3 = static_cast<IPluginFactory3*>(obj);
    PClassInfo real;
    ASSERT_EQ(factory->getClassInfo(0, &real), kResultOk);
    const FUID* kIids[] = {&IComponent::iid,
                           &IAudioProcessor::iid,
                           &IEditController::iid,
                           &IUnitInfo::iid,
                           &IMidiMapping::iid,
                           &FUnknown::iid,
                           &IPluginFactory::iid,
                           &IHostApplication::iid};
    FuzzRng rng(0x30D0007);
    for (int iteration = 0; iteration < 3000; ++iteration)
    {
        const int32 index = rng.OneIn(2) ? rng.Range(-2, 3) : rng.NastyInt();
        PClassInfo info{};
        PClassInfo2 info2{};
        PClassInfoW infoW{};
        const bool known = index == 0;
        ASSERT_EQ(factory->getClassInfo(index, &info) == kResultOk, known) << index;
        ASSERT_EQ(factory3->getClassInfo2(index, &info2) == kResultOk, known) << index;
        ASSERT_EQ(factory3->getClassInfoUnicode(index, &infoW) == kResultOk, known) << index;

        TUID cid;
        std::memcpy(cid, real.cid, sizeof cid);
        if (!rng.OneIn(3))
            cid[rng.Below(16)] ^= static_cast<char>(1 + rng.Below(255));
        TUID iid;
        if (rng.OneIn(4))
            for (auto& b : iid)
                b = static_cast<char>(rng.Next32());
        else
            kIids[rng.Below(static_cast<int>(std::size(kIids)))]->toTUID(iid);
        obj = reinterpret_cast<void*>(0x1);
        const tresult result = factory->createInstance(cid, iid, &obj);
        if (result == kResultOk)
        {
            ASSERT_NE(obj, nullptr);
            ASSERT_EQ(std::memcmp(cid, real.cid, sizeof cid), 0);
            static_cast<FUnknown*>(obj)->release();
        }
        else
        {
            ASSERT_EQ(obj, nullptr) << "iteration " << iteration;
        }
    }
    factory3->release();
}

TEST_F(ModuleFuzz, IndexedQueriesAnswerOrRefuseForAnyIndex)
{
    auto plugin = NewPlugin(0.0);
    IComponent* component = plugin->mComponent;
    IEditController* c = plugin->mController;
    void* obj = nullptr;
    ASSERT_EQ(component->queryInterface(IUnitInfo::iid, &obj), kResultOk);
    auto* units = static_cast<IUnitInfo*>(obj);
    ASSERT_EQ(component->queryInterface(IMidiMapping::iid, &obj), kResultOk);
    auto* midi = static_cast<IMidiMapping*>(obj);
    FuzzRng rng(0x30D0004);
    auto anyIndex = [&rng] { return rng.OneIn(2) ? rng.Range(-2, 40) : rng.NastyInt(); };
    for (int iteration = 0; iteration < 20000; ++iteration)
    {
        const int32 index = anyIndex();
        switch (rng.Below(9))
        {
        case 0:
        {
            ParameterInfo info{};
            if (c->getParameterInfo(index, info) == kResultOk)
            {
                ASSERT_TRUE(index >= 0 && index < c->getParameterCount());
                ASSERT_GE(info.stepCount, 0);
                ASSERT_TRUE(info.defaultNormalizedValue >= 0.0 &&
                            info.defaultNormalizedValue <= 1.0);
                ASSERT_TRUE(Terminated(info.title) && Terminated(info.units));
            }
            break;
        }
        case 1:
        {
            BusInfo info{};
            const auto type = static_cast<MediaType>(rng.Range(-1, 2));
            const auto dir = static_cast<BusDirection>(rng.Range(-1, 2));
            if (component->getBusInfo(type, dir, index, info) == kResultOk)
            {
                ASSERT_TRUE(index >= 0 && index < component->getBusCount(type, dir));
            }
            break;
        }
        case 2:
        {
            SpeakerArrangement arrangement = 0;
            const auto dir = static_cast<BusDirection>(rng.Range(-1, 2));
            if (plugin->mProcessor->getBusArrangement(dir, index, arrangement) == kResultOk)
            {
                ASSERT_TRUE(arrangement == SpeakerArr::kMono || arrangement == SpeakerArr::kStereo);
            }
            break;
        }
        case 3:
        {
            const auto type = static_cast<MediaType>(rng.Range(-1, 2));
            const auto dir = static_cast<BusDirection>(rng.Range(-1, 2));
            // Hosts switch buses on and off while inactive; the main buses come back on.
            component->activateBus(type, dir, index, rng.OneIn(2));
            component->activateBus(kAudio, kInput, 0, true);
            component->activateBus(kAudio, kOutput, 0, true);
            break;
        }
        case 4:
        {
            UnitInfo info{};
            if (units->getUnitInfo(index, info) == kResultOk)
            {
                ASSERT_TRUE(index >= 0 && index < units->getUnitCount());
            }
            ProgramListInfo list{};
            units->getProgramListInfo(index, list);
            UnitID unit = 12345;
            units->getUnitByBus(static_cast<MediaType>(rng.Range(-1, 2)),
                                static_cast<BusDirection>(rng.Range(-1, 2)),
                                index,
                                anyIndex(),
                                unit);
            break;
        }
        case 5:
        {
            const ProgramListID list = rng.OneIn(2) ? 65537 : anyIndex();
            String128 name;
            std::fill(std::begin(name), std::end(name), static_cast<TChar>(0xFFFF));
            if (units->getProgramName(list, index, name) == kResultOk)
            {
                ASSERT_TRUE(index >= 0 && index < kFactoryPresetCount);
                ASSERT_TRUE(Terminated(name));
                ASSERT_NE(name[0], 0);
            }
            String128 attribute;
            units->getProgramInfo(list, index, "name", attribute);
            units->hasProgramPitchNames(list, index);
            units->getProgramPitchName(
                list, index, static_cast<int16>(rng.Range(-200, 200)), attribute);
            break;
        }
        case 6:
        {
            ParamID id = 777;
            const tresult result =
                midi->getMidiControllerAssignment(anyIndex(),
                                                  static_cast<int16>(rng.Range(-3, 20)),
                                                  static_cast<CtrlNumber>(rng.Range(-5, 200)),
                                                  id);
            ASSERT_EQ(result, kResultFalse); // no MIDI input is declared
            ASSERT_EQ(id, 777u);
            break;
        }
        case 7:
            units->selectUnit(index);
            units->getSelectedUnit();
            break;
        default:
        {
            IBStream* data = nullptr;
            MemoryStream stream(Bytes(static_cast<std::size_t>(rng.Below(16)), 0xAB));
            if (rng.OneIn(2))
                data = &stream;
            units->setUnitProgramData(anyIndex(), index, data);
            break;
        }
        }
    }
    midi->release();
    units->release();
}

// Only mono to mono and stereo to stereo, one bus each way, are taken ("1-1 2-2"); a taken
// arrangement is what the buses then report, a refused one changes nothing.
TEST_F(ModuleFuzz, ArrangementsAreTakenExactlyAsConfiguredOrNotAtAll)
{
    auto plugin = NewPlugin(0.0);
    IAudioProcessor* processor = plugin->mProcessor;
    IComponent* component = plugin->mComponent;
    FuzzRng rng(0x30D0006);
    static constexpr SpeakerArrangement kArrangements[] = {
        SpeakerArr::kMono, SpeakerArr::kStereo, 0, 0x3F, 0x7, 0x9, 0x80000 | 0x8, ~0ull};
    auto current = [&](BusDirection dir)
    {
        std::vector<SpeakerArrangement> result;
        for (int32 i = 0; i < component->getBusCount(kAudio, dir); ++i)
        {
            SpeakerArrangement a = 0;
            EXPECT_EQ(processor->getBusArrangement(dir, i, a), kResultOk);
            result.push_back(a);
        }
        return result;
    };
    int taken = 0;
    for (int iteration = 0; iteration < 3000; ++iteration)
    {
        const int32 numIns = rng.OneIn(3) ? rng.Range(0, 3) : 1;
        const int32 numOuts = rng.OneIn(3) ? rng.Range(0, 3) : 1;
        std::vector<SpeakerArrangement> ins(4), outs(4);
        for (auto& a : ins)
            a = kArrangements[rng.Below(rng.OneIn(3) ? 8 : 2)];
        for (auto& a : outs)
            a = kArrangements[rng.Below(rng.OneIn(3) ? 8 : 2)];
        const auto beforeIn = current(kInput);
        const auto beforeOut = current(kOutput);
        const tresult result =
            processor->setBusArrangements(ins.data(), numIns, outs.data(), numOuts);
        const bool configured = numIns == 1 && numOuts == 1 && ins[0] == outs[0] &&
                                (ins[0] == SpeakerArr::kMono || ins[0] == SpeakerArr::kStereo);
        ASSERT_EQ(result == kResultTrue, configured) << "iteration " << iteration;
        if (configured)
        {
            ++taken;
            ASSERT_EQ(current(kInput), std::vector<SpeakerArrangement>{ins[0]});
            ASSERT_EQ(current(kOutput), std::vector<SpeakerArrangement>{outs[0]});
        }
        else
        {
            ASSERT_EQ(current(kInput), beforeIn) << "iteration " << iteration;
            ASSERT_EQ(current(kOutput), beforeOut) << "iteration " << iteration;
        }
    }
    EXPECT_GT(taken, 300);
}

// ---- Processing.

/// One processing session: a random arrangement and set-up, then random blocks.
class Session
{
public:
    Session(HostedPlugin& plugin, FuzzRng& rng)
        : mPlugin(plugin)
        , mRng(rng)
    {
    }

    void SetUp()
    {
        // A reused instance keeps its host bypass.
        Bytes state;
        ASSERT_EQ(mPlugin.SaveState(state), kResultOk);
        mBypassed = state[kBypassOffset] != 0;

        // An arrangement: mostly one the plug-in takes, sometimes anything.
        SpeakerArrangement ins[4] = {};
        SpeakerArrangement outs[4] = {};
        const int numIns = mRng.Range(0, 3);
        const int numOuts = mRng.Range(0, 3);
        static constexpr SpeakerArrangement kArrangements[] = {
            SpeakerArr::kMono, SpeakerArr::kStereo, 0, 0x3F, 0x7, 0x9};
        for (auto& a : ins)
            a = kArrangements[mRng.Below(mRng.OneIn(3) ? 6 : 2)];
        for (auto& a : outs)
            a = kArrangements[mRng.Below(mRng.OneIn(3) ? 6 : 2)];
        const int32 nIns = mRng.OneIn(4) ? numIns : 1;
        const int32 nOuts = mRng.OneIn(4) ? numOuts : 1;
        mPlugin.mProcessor->setBusArrangements(ins, nIns, outs, nOuts);
        mOutputActive = mBypassed || !mRng.OneIn(8);
        mPlugin.mComponent->activateBus(kAudio, kInput, 0, !mRng.OneIn(8));
        mPlugin.mComponent->activateBus(kAudio, kOutput, 0, mOutputActive);

        mMaxBlock = mRng.OneIn(8) ? mRng.Range(-4, 0) : mRng.Range(1, 1500);
        mDoubles = mRng.OneIn(3);
        static constexpr double kRates[] = {
            44100.0, 48000.0, 96000.0, 192000.0, 22050.0, 8000.0, 0.0, -48000.0, 1e6, NAN};
        const double rate = kRates[mRng.Below(static_cast<int>(std::size(kRates)))];
        ProcessSetup setup{mRng.OneIn(4) ? kOffline : kRealtime,
                           mDoubles ? kSample64 : kSample32,
                           mMaxBlock,
                           rate};
        ASSERT_EQ(mPlugin.mProcessor->setupProcessing(setup), kResultOk);
        mActive = !mRng.OneIn(10);
        if (mActive)
            mPlugin.mComponent->setActive(true);
        mPlugin.mProcessor->setProcessing(true);
    }

    /// Blocks rendered by an active plug-in into at least one output channel.
    int Rendered() const { return mRendered; }
    /// Blocks checked against the host bypass.
    int BypassedBlocks() const { return mBypassedBlocks; }

    void TearDown()
    {
        mPlugin.mProcessor->setProcessing(false);
        mPlugin.mComponent->setActive(false);
    }

    /// One block: random length up to twice the announced maximum, random channel counts
    /// and host buffers, parameter queues and process context.
    void Block(int number)
    {
        const int limit = std::max(mMaxBlock, 512);
        const int frames = mRng.OneIn(10) ? 0 : mRng.Range(1, 2 * limit);
        const int inChannels = mRng.OneIn(8) ? -1 : mRng.Range(0, 3);
        const int outChannels = mRng.OneIn(10) ? -1 : mRng.Range(0, 3);
        ParameterChanges changes;
        for (int q = mRng.Below(6); q > 0; --q)
        {
            const ParamID id = RandomParamId();
            for (int p = mRng.Range(1, 4); p > 0; --p)
            {
                const int32 offset = mRng.OneIn(4) ? mRng.NastyInt() : mRng.Range(0, frames);
                changes.Add(id, offset, mRng.NastyDouble());
            }
        }
        // The host bypass follows the last point of its queue when that point is finite.
        const bool sendChanges = !mRng.OneIn(3);
        for (int q = 0; q < changes.mCount && sendChanges; ++q)
        {
            const ParamValueQueue& queue = changes.mQueues[q];
            if (queue.mId == kBypassId && std::isfinite(queue.mValues[queue.mCount - 1]))
                mBypassed = queue.mValues[queue.mCount - 1] > 0.5;
        }

        // Bad input only where it is processed: a bypassed block passes it on as it is.
        const bool loud = !mBypassed && mRng.OneIn(6);
        Buffers in(inChannels, frames);
        Buffers out(outChannels, frames);
        out.mUseDouble = mDoubles;
        for (int c = 0; c < in.Channels(); ++c)
            for (int s = 0; s < frames; ++s)
            {
                double x = mRng.Uniform(-1.0, 1.0);
                if (loud && mRng.OneIn(50))
                    x = mRng.OneIn(2) ? mRng.NastyDouble() * 1e6 : NAN;
                in.Set(c, s, x);
            }
        Buffers inputCopy = in;
        inputCopy.mUseDouble = mDoubles;
        // In place now and then: the host's input buffers are its output buffers too.
        const bool inPlace = inChannels > 0 && inChannels == outChannels && mRng.OneIn(5);
        Buffers& written = inPlace ? in : out;
        written.mUseDouble = mDoubles;

        ProcessContext context{};
        context.state = mRng.Next32();
        context.sampleRate = mRng.NastyDouble() * 96000.0;
        context.tempo = mRng.OneIn(2) ? mRng.Uniform(20.0, 300.0) : mRng.NastyDouble() * 1000.0;
        context.timeSigNumerator = mRng.NastyInt();
        context.timeSigDenominator = mRng.NastyInt();
        context.projectTimeMusic = mRng.NastyDouble() * 1e6;
        context.projectTimeSamples = static_cast<int64>(mRng.Next());

        tresult result = kResultOk;
        std::size_t allocations = 0;
        {
            AllocationGuard guard;
            result = mDoubles ? mPlugin.Process64(in.Doubles(),
                                                  inChannels,
                                                  written.Doubles(),
                                                  outChannels,
                                                  frames,
                                                  sendChanges ? &changes : nullptr,
                                                  mRng.OneIn(3) ? nullptr : &context)
                              : mPlugin.Process32(in.Floats(),
                                                  inChannels,
                                                  written.Floats(),
                                                  outChannels,
                                                  frames,
                                                  sendChanges ? &changes : nullptr,
                                                  mRng.OneIn(3) ? nullptr : &context);
            allocations = guard.Count();
        }
        ASSERT_EQ(result, kResultOk);
        ASSERT_EQ(allocations, 0u) << "block " << number;
        if (mActive && frames > 0 && outChannels > 0)
            ++mRendered;
        if (!inPlace)
        {
            ASSERT_TRUE(in.SameAs(inputCopy)) << "the input was written, block " << number;
        }
        // The host bypass hands back the host's own samples, bit for bit, on the stereo bus
        // while it is active, and silence on every other channel.
        if (mBypassed && frames > 0)
        {
            mBypassedBlocks += written.Channels() > 0 ? 1 : 0;
            const int passed = mOutputActive ? std::min({inChannels, outChannels, 2}) : 0;
            for (int c = 0; c < written.Channels(); ++c)
                for (int s = 0; s < frames; ++s)
                {
                    const double want = c < passed ? inputCopy.Get(c, s) : 0.0;
                    ASSERT_EQ(written.Get(c, s), want)
                        << "bypassed block " << number << " channel " << c << " sample " << s;
                }
        }
        // Finite, no denormals, and within 64 x the input's peak (at most +24 dB of input
        // trim and +12 dB of output trim on a dry path: Mix 0, bypass).
        double peak = 1.0;
        for (int c = 0; c < inputCopy.Channels(); ++c)
            for (int s = 0; s < frames; ++s)
                if (std::isfinite(inputCopy.Get(c, s)))
                    peak = std::max(peak, std::fabs(inputCopy.Get(c, s)));
        for (int c = 0; c < written.Channels(); ++c)
            for (int s = 0; s < frames; ++s)
            {
                const double y = written.Get(c, s);
                ASSERT_TRUE(std::isfinite(y) && std::fabs(y) <= 64.0 * peak &&
                            (y == 0.0 || std::fabs(y) >= std::numeric_limits<float>::min()))
                    << "block " << number << " frames " << frames << " channel " << c << " sample "
                    << s << " = " << y;
            }
    }

private:
    /// Host buffers of the exact block length, in both sample sizes (only one is used).
    class Buffers
    {
    public:
        Buffers(int channels, int frames)
            : mChannels(std::max(channels, 0))
            , mFrames(frames)
        {
            for (int c = 0; c < mChannels; ++c)
            {
                // NaN until written: a sample the plug-in leaves alone fails the checks.
                mFloat.emplace_back(static_cast<std::size_t>(std::max(frames, 1)),
                                    std::numeric_limits<float>::quiet_NaN());
                mDouble.emplace_back(static_cast<std::size_t>(std::max(frames, 1)),
                                     std::numeric_limits<double>::quiet_NaN());
            }
            Repoint();
        }
        Buffers(const Buffers& other)
            : mChannels(other.mChannels)
            , mFrames(other.mFrames)
            , mFloat(other.mFloat)
            , mDouble(other.mDouble)
        {
            Repoint();
        }
        Buffers& operator=(const Buffers&) = delete;

        int Channels() const { return mChannels; }
        float** Floats() { return mChannels > 0 ? mFloatPointers.data() : nullptr; }
        double** Doubles() { return mChannels > 0 ? mDoublePointers.data() : nullptr; }
        void Set(int c, int s, double x)
        {
            mFloat[static_cast<std::size_t>(c)][static_cast<std::size_t>(s)] =
                static_cast<float>(x);
            mDouble[static_cast<std::size_t>(c)][static_cast<std::size_t>(s)] = x;
        }
        double Get(int c, int s) const
        {
            return mUseDouble ? mDouble[static_cast<std::size_t>(c)][static_cast<std::size_t>(s)]
                              : mFloat[static_cast<std::size_t>(c)][static_cast<std::size_t>(s)];
        }
        bool SameAs(const Buffers& other) const
        {
            for (int c = 0; c < mChannels; ++c)
                for (int s = 0; s < mFrames; ++s)
                {
                    const auto i = static_cast<std::size_t>(c);
                    const auto j = static_cast<std::size_t>(s);
                    // Compared as bits: NaN inputs must stay the same NaN.
                    if (std::memcmp(&mFloat[i][j], &other.mFloat[i][j], sizeof(float)) != 0 ||
                        std::memcmp(&mDouble[i][j], &other.mDouble[i][j], sizeof(double)) != 0)
                        return false;
                }
            return true;
        }
        bool mUseDouble = false;

    private:
        void Repoint()
        {
            mFloatPointers.clear();
            mDoublePointers.clear();
            for (auto& v : mFloat)
                mFloatPointers.push_back(v.data());
            for (auto& v : mDouble)
                mDoublePointers.push_back(v.data());
        }

        int mChannels;
        int mFrames;
        std::vector<std::vector<float>> mFloat;
        std::vector<std::vector<double>> mDouble;
        std::vector<float*> mFloatPointers;
        std::vector<double*> mDoublePointers;
    };

    ParamID RandomParamId()
    {
        if (mRng.OneIn(6))
            return kBypassId;
        if (mRng.OneIn(8))
            return mRng.OneIn(2) ? static_cast<ParamID>(kParamCount + mRng.Below(4))
                                 : mRng.Next32();
        return static_cast<ParamID>(mRng.Below(kParamCount));
    }

    HostedPlugin& mPlugin;
    FuzzRng& mRng;
    int mMaxBlock = 512;
    bool mDoubles = false;
    bool mBypassed = false;
    bool mActive = false;
    bool mOutputActive = true;
    int mRendered = 0;
    int mBypassedBlocks = 0;
};

// A host that announces the largest block an int32 holds: the MIDI-output capacity is rounded
// up from it, which must not overflow (UBSan stops the process if it does).
TEST_F(ModuleFuzz, LargestAnnouncedBlockSetsUpWithoutOverflow)
{
    auto plugin = NewPlugin(0.0);
    ProcessSetup setup{kRealtime, kSample32, std::numeric_limits<int32>::max(), 48000.0};
    EXPECT_EQ(plugin->mProcessor->setupProcessing(setup), kResultOk);
}

// A host that hands over a third channel on the stereo output bus: the plug-in renders two
// and must hand the third back silent, not as whatever the host's buffer held (here NaN).
TEST_F(ModuleFuzz, SurplusHostChannelsAreSilenced)
{
    auto plugin = NewPlugin();
    std::vector<float> in(64, 0.25f);
    std::vector<std::vector<float>> out(3, std::vector<float>(64, NAN));
    float* ins[] = {in.data(), in.data()};
    float* outs[] = {out[0].data(), out[1].data(), out[2].data()};
    ASSERT_EQ(plugin->Process32(ins, 2, outs, 3, 64), kResultOk);
    for (float y : out[2])
        EXPECT_EQ(y, 0.0f);
}

// The host switches the output bus off and the host bypass on: an inactive bus hands back
// silence in the bypass too, never whatever the host's buffer held (here NaN).
TEST_F(ModuleFuzz, HostBypassWithTheOutputBusOffIsSilent)
{
    auto plugin = NewPlugin(0.0);
    plugin->mComponent->activateBus(kAudio, kOutput, 0, false);
    ASSERT_TRUE(plugin->Start(48000.0, 512));
    ParameterChanges changes;
    changes.Add(kBypassId, 0, 1.0);
    std::vector<float> in(64, 0.1f);
    std::vector<float> out(64, NAN);
    float* ins[] = {in.data(), in.data()};
    float* outs[] = {out.data()};
    ASSERT_EQ(plugin->Process32(ins, 2, outs, 1, 64, &changes), kResultOk);
    for (float y : out)
        EXPECT_EQ(y, 0.0f);
}

// Hosts call in surprising orders: process before any set-up or after terminate, set-up while
// active, activation twice, state in between. Every order must leave the plug-in whole: no
// crash, and every process call fills its outputs with finite samples (no host bypass here:
// see HostBypassWithTheOutputBusOffIsSilent).
TEST_F(ModuleFuzz, CallsInAnyOrderKeepThePluginWhole)
{
    FuzzRng rng(0x30D0008);
    for (int sequence = 0; sequence < 60; ++sequence)
    {
        HostedPlugin plugin(*sModule, mHost, mHandler);
        ASSERT_TRUE(plugin.Create());
        IComponent* component = plugin.mComponent;
        IAudioProcessor* processor = plugin.mProcessor;
        bool initialized = false;
        for (int call = 0; call < 40; ++call)
        {
            switch (rng.Below(10))
            {
            case 0:
                initialized =
                    component->initialize(static_cast<IHostApplication*>(&mHost)) == kResultOk ||
                    initialized;
                component->activateBus(kAudio, kInput, 0, true);
                component->activateBus(kAudio, kOutput, 0, true);
                break;
            case 1:
                if (rng.OneIn(3))
                {
                    component->terminate();
                    initialized = false;
                }
                break;
            case 2:
            {
                ProcessSetup setup{kRealtime, kSample32, rng.Range(-1, 1024), 48000.0};
                processor->setupProcessing(setup);
                break;
            }
            case 3:
                component->setActive(rng.OneIn(2));
                break;
            case 4:
                processor->setProcessing(rng.OneIn(2));
                break;
            case 5:
            {
                Bytes state;
                plugin.SaveState(state);
                if (rng.OneIn(2))
                    Mutate(state, state, rng);
                plugin.LoadState(state);
                break;
            }
            case 6:
            {
                SpeakerArrangement arrangement =
                    rng.OneIn(2) ? SpeakerArr::kStereo : SpeakerArr::kMono;
                processor->setBusArrangements(&arrangement, 1, &arrangement, 1);
                break;
            }
            case 7:
                plugin.mController->setParamNormalized(static_cast<ParamID>(rng.Below(kParamCount)),
                                                       rng.Unit());
                break;
            default:
            {
                const int frames = rng.Range(1, 1200);
                std::vector<float> inL(static_cast<std::size_t>(frames), 0.25f);
                std::vector<float> inR(static_cast<std::size_t>(frames), -0.25f);
                std::vector<float> outL(static_cast<std::size_t>(frames), NAN);
                std::vector<float> outR(static_cast<std::size_t>(frames), NAN);
                float* ins[] = {inL.data(), inR.data()};
                float* outs[] = {outL.data(), outR.data()};
                ParameterChanges changes;
                changes.Add(static_cast<ParamID>(rng.Below(kParamCount)), 0, rng.Unit());
                ASSERT_EQ(plugin.Process32(ins, 2, outs, 2, frames, &changes), kResultOk);
                for (int s = 0; s < frames; ++s)
                {
                    ASSERT_TRUE(std::isfinite(outL[static_cast<std::size_t>(s)]) &&
                                std::isfinite(outR[static_cast<std::size_t>(s)]))
                        << "sequence " << sequence << " call " << call << " sample " << s;
                }
                break;
            }
            }
        }
        processor->setProcessing(false);
        component->setActive(false);
        if (initialized)
            component->terminate();
        plugin.mController->setComponentHandler(nullptr);
    }
}

TEST_F(ModuleFuzz, RandomSetUpsBlocksAndQueuesGiveFiniteOutputWithoutAllocating)
{
    FuzzRng rng(0x30D0005);
    int rendered = 0;
    int bypassed = 0;
    std::unique_ptr<HostedPlugin> plugin;
    for (int session = 0; session < 24; ++session)
    {
        // A fresh instance, the last one set up anew, or the last one terminated and
        // initialized again.
        if (!plugin || rng.OneIn(3))
            plugin = NewPlugin(0.0);
        else if (rng.OneIn(2))
        {
            ASSERT_EQ(plugin->mComponent->terminate(), kResultOk);
            ASSERT_EQ(plugin->mComponent->initialize(static_cast<IHostApplication*>(&mHost)),
                      kResultOk);
            plugin->mComponent->activateBus(kAudio, kInput, 0, true);
            plugin->mComponent->activateBus(kAudio, kOutput, 0, true);
            ASSERT_EQ(plugin->mController->setComponentHandler(&mHandler), kResultTrue);
        }
        Session s(*plugin, rng);
        s.SetUp();
        if (HasFatalFailure())
            return;
        for (int block = 0; block < 40; ++block)
        {
            s.Block(block);
            if (HasFatalFailure())
            {
                ADD_FAILURE() << "session " << session;
                return;
            }
        }
        s.TearDown();
        rendered += s.Rendered();
        bypassed += s.BypassedBlocks();
    }
    EXPECT_GT(rendered, 250);
    EXPECT_GT(bypassed, 50);
}

} // namespace
} // namespace lumenfall::test
