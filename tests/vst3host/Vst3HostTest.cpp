// The test host against a small gain module: loading, the module entry and the
// factory's reference counting, parameter queues, process calls and state streams.
#include "tests/vst3host/Vst3Host.h"
#include "tests/support/AllocationGuard.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;
using lumenfall::test::AllocationGuard;
using lumenfall::test::ComponentHandler;
using lumenfall::test::HostApplication;
using lumenfall::test::HostedPlugin;
using lumenfall::test::LoadedModule;
using lumenfall::test::MemoryStream;
using lumenfall::test::ParameterChanges;

namespace
{
/// A fresh load of the gain module per test, with a host application and component handler.
class Vst3Host : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        mModule = LoadedModule::Load(LUMENFALL_TEST_BUNDLE, &error);
        ASSERT_NE(mModule, nullptr) << error;
    }

    std::unique_ptr<LoadedModule> mModule;
    ComponentHandler mHandler;
    HostApplication mHost{u"gain host"};
};
} // namespace

TEST_F(Vst3Host, LoadsTheBundleAndReadsTheFactory)
{
    IPluginFactory* factory = mModule->Factory();

    PFactoryInfo info;
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "TEST VENDOR");
    EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
    EXPECT_EQ(factory->countClasses(), 1);

    void* obj = nullptr;
    ASSERT_EQ(factory->queryInterface(IPluginFactory3::iid, &obj), kResultOk);
    auto* factory3 = static_cast<IPluginFactory3*>(obj);
    PClassInfoW wide;
    ASSERT_EQ(factory3->getClassInfoUnicode(0, &wide), kResultOk);
    EXPECT_EQ(lumenfall::test::NarrowAscii(wide.name), "TESTGAIN");
    EXPECT_EQ(lumenfall::test::NarrowAscii(wide.sdkVersion), "VST 3.8.1");
    EXPECT_STREQ(wide.category, "Audio Module Class");
    factory3->release();

    PClassInfo2 info2;
    EXPECT_EQ(factory->getClassInfo(1, nullptr), kInvalidArgument);
    ASSERT_EQ(static_cast<IPluginFactory2*>(factory)->getClassInfo2(0, &info2), kResultOk);
    EXPECT_EQ(info2.cardinality, PClassInfo::kManyInstances);
    const FUID expected(0x54455354, 0x4741494E, 0x54736C6E, 0x4761696E); // TEST GAIN Tsln Gain
    EXPECT_TRUE(FUID::fromTUID(info2.cid) == expected);

    // An unknown class identifier creates nothing.
    TUID unknown = {};
    EXPECT_NE(factory->createInstance(unknown, IComponent::iid, &obj), kResultOk);
    EXPECT_EQ(obj, nullptr);
}

TEST_F(Vst3Host, FactoryIsSharedUntilItsLastReferenceGoes)
{
    IPluginFactory* again = mModule->CallGetPluginFactory();
    EXPECT_EQ(again, mModule->Factory());
    // Three references now: the module's, this one, and the one addRef returns.
    EXPECT_EQ(again->addRef(), 3u);
    EXPECT_EQ(again->release(), 2u);
    EXPECT_EQ(again->release(), 1u);

    // Entry and exit count loads: a second entry and its exit leave the module usable.
    EXPECT_TRUE(mModule->CallEntry());
    EXPECT_TRUE(mModule->CallExit());
    HostedPlugin plugin(*mModule, mHost, mHandler);
    EXPECT_TRUE(plugin.CreateAndInitialize());
}

TEST_F(Vst3Host, ProcessAppliesTheLastPointOfEachQueue)
{
    HostedPlugin plugin(*mModule, mHost, mHandler);
    ASSERT_TRUE(plugin.CreateAndInitialize());
    ASSERT_TRUE(plugin.Start(48000.0, 64));

    float inL[16], inR[16], outL[16], outR[16];
    for (int i = 0; i < 16; ++i)
        inL[i] = inR[i] = 0.25f;
    float* in[] = {inL, inR};
    float* out[] = {outL, outR};
    ParameterChanges changes;
    changes.Add(0, 0, 0.1);
    changes.Add(0, 8, 1.0); // gain 2
    {
        AllocationGuard guard;
        EXPECT_EQ(plugin.Process32(in, 2, out, 2, 16, &changes), kResultOk);
        EXPECT_EQ(guard.Count(), 0u);
    }
    EXPECT_FLOAT_EQ(outL[15], 0.5f);
    EXPECT_FLOAT_EQ(outR[0], 0.5f);
}

TEST_F(Vst3Host, StateMovesThroughChunkedStreams)
{
    HostedPlugin a(*mModule, mHost, mHandler);
    ASSERT_TRUE(a.CreateAndInitialize());
    ASSERT_TRUE(a.Start(48000.0, 64));
    float one = 1.0f, outv = 0.0f;
    float* in[] = {&one};
    float* out[] = {&outv};
    ParameterChanges changes;
    changes.Add(0, 0, 0.75);
    a.Process32(in, 1, out, 1, 1, &changes);

    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(a.SaveState(bytes), kResultOk);
    ASSERT_EQ(bytes.size(), sizeof(double));
    double gain = 0;
    std::memcpy(&gain, bytes.data(), sizeof(gain));
    EXPECT_DOUBLE_EQ(gain, 1.5);

    MemoryStream chunked(bytes);
    chunked.mChunk = 3; // a single read cannot take the whole value
    EXPECT_EQ(a.mComponent->setState(&chunked), kResultFalse);

    MemoryStream failing(bytes);
    failing.mFailAfter = 0;
    EXPECT_EQ(a.mComponent->setState(&failing), kResultFalse);

    HostedPlugin b(*mModule, mHost, mHandler);
    ASSERT_TRUE(b.CreateAndInitialize());
    ASSERT_EQ(b.LoadState(bytes), kResultOk);
    ASSERT_TRUE(b.Start(48000.0, 64));
    b.Process32(in, 1, out, 1, 1);
    EXPECT_FLOAT_EQ(outv, 1.5f);
}
