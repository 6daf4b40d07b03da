// What the module tells a host before any instance exists: entry points, factory and
// the one class.
#include "tests/support/AllocationGuard.h"
#include "tests/support/ModuleFixture.h"

#include <optional>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall::test
{
namespace
{

using FactoryTest = ModuleTest;

TEST_F(FactoryTest, ReportsTheFactoryAndItsOneClass)
{
    IPluginFactory* factory = sModule->Factory();
    PFactoryInfo info;
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "TESSALINE");
    EXPECT_STREQ(info.url, "https://tessaline.example");
    EXPECT_STREQ(info.email, "support@tessaline.example");
    EXPECT_EQ(info.flags, 16);
    ASSERT_EQ(factory->countClasses(), 1);

    void* obj = nullptr;
    ASSERT_EQ(factory->queryInterface(IPluginFactory2::iid, &obj), kResultOk);
    auto* factory2 = static_cast<IPluginFactory2*>(obj);
    PClassInfo2 c;
    ASSERT_EQ(factory2->getClassInfo2(0, &c), kResultOk);
    factory2->release();
    EXPECT_EQ(c.cardinality, 0x7FFFFFFF);
    EXPECT_STREQ(c.category, "Audio Module Class");
    EXPECT_STREQ(c.name, "LUMENFALL");
    EXPECT_EQ(c.classFlags, 2u);
    EXPECT_STREQ(c.subCategories, "Fx|Reverb");
    EXPECT_STREQ(c.vendor, "");
    EXPECT_STREQ(c.version, "0.1.1");
    EXPECT_STREQ(c.sdkVersion, "VST 3.8.1");

    // The same class in UTF-16, as hosts that ask IPluginFactory3 read it.
    ASSERT_EQ(factory->queryInterface(IPluginFactory3::iid, &obj), kResultOk);
    auto* factory3 = static_cast<IPluginFactory3*>(obj);
    PClassInfoW w;
    ASSERT_EQ(factory3->getClassInfoUnicode(0, &w), kResultOk);
    EXPECT_EQ(factory3->getClassInfoUnicode(1, &w), kInvalidArgument);
    factory3->release();
    EXPECT_EQ(std::memcmp(w.cid, c.cid, sizeof(TUID)), 0);
    EXPECT_EQ(NarrowAscii(w.name), "LUMENFALL");
    EXPECT_STREQ(w.subCategories, "Fx|Reverb");
    EXPECT_EQ(w.classFlags, 2u);
    EXPECT_EQ(NarrowAscii(w.vendor), "");
    EXPECT_EQ(NarrowAscii(w.version), "0.1.1");
    EXPECT_EQ(NarrowAscii(w.sdkVersion), "VST 3.8.1");

    // TESS ALIN Tsln Lmfl, laid out COM-compatibly on Windows.
    const FUID expected(0x54455353, 0x414C494E, 0x54736C6E, 0x4C6D666C);
    EXPECT_TRUE(FUID::fromTUID(c.cid) == expected);
#if SMTG_OS_WINDOWS
    const std::uint8_t com[16] = {0x53,
                                  0x53,
                                  0x45,
                                  0x54,
                                  0x4C,
                                  0x41,
                                  0x4E,
                                  0x49,
                                  0x54,
                                  0x73,
                                  0x6C,
                                  0x6E,
                                  0x4C,
                                  0x6D,
                                  0x66,
                                  0x6C};
    EXPECT_EQ(std::memcmp(c.cid, com, 16), 0);
#endif
}

TEST_F(FactoryTest, FactoryIsSharedAndTheLoadCounterBalances)
{
    IPluginFactory* again = sModule->CallGetPluginFactory();
    ASSERT_EQ(again, sModule->Factory());
    EXPECT_EQ(again->release(), 1u); // only the loader's reference is left

    // The loader holds one load: a second entry and its exit keep the module alive, an
    // unbalanced exit is refused, and a new entry works again.
    EXPECT_TRUE(sModule->CallEntry());
    EXPECT_TRUE(sModule->CallExit());
    EXPECT_TRUE(sModule->CallExit());
    EXPECT_FALSE(sModule->CallExit());
    EXPECT_TRUE(sModule->CallEntry());
    auto plugin = NewPlugin();
    EXPECT_NE(plugin->mComponent, nullptr);
}

TEST_F(FactoryTest, CreatesInstancesThatAnswerEveryInterface)
{
    auto plugin = NewPlugin(0.0);
    void* obj = nullptr;
    for (const FUID* iid : {&IMidiMapping::iid,
                            &ChannelContext::IInfoListener::iid,
                            &IUnitInfo::iid,
                            &IEditController2::iid,
                            &IConnectionPoint::iid,
                            &IProcessContextRequirements::iid})
    {
        ASSERT_EQ(plugin->mComponent->queryInterface(*iid, &obj), kResultOk);
        static_cast<FUnknown*>(obj)->release();
    }
    ASSERT_EQ(plugin->mComponent->queryInterface(IProcessContextRequirements::iid, &obj),
              kResultOk);
    auto* requirements = static_cast<IProcessContextRequirements*>(obj);
    // The transport that tempo-synced pre-delay and the transport info need.
    const uint32 needed = IProcessContextRequirements::kNeedTempo |
                          IProcessContextRequirements::kNeedTimeSignature |
                          IProcessContextRequirements::kNeedTransportState;
    EXPECT_EQ(requirements->getProcessContextRequirements() & needed, needed);
    requirements->release();

    TUID controllerClass;
    EXPECT_EQ(plugin->mComponent->getControllerClassId(controllerClass), kNotImplemented);
    EXPECT_EQ(plugin->mComponent->setIoMode(0), kNotImplemented);
    EXPECT_EQ(mHost.mNameQueries, 1);
}

/// Exhausted memory on the real module. The Windows module allocates through its own static
/// C++ run-time, which the test's allocation failure cannot reach; the native run covers it.
class ExhaustedMemoryTest : public ModuleTest
{
protected:
    void SetUp() override
    {
#if SMTG_OS_WINDOWS
        GTEST_SKIP() << "the module's own C++ run-time is out of the test's reach";
#endif
        ModuleTest::SetUp();
        ASSERT_EQ(sModule->Factory()->getClassInfo(0, &mInfo), kResultOk);
    }

    /// A new component, created with only `allowed` allocations granted when `failing`.
    IComponent* Create(std::size_t allowed, bool failing)
    {
        void* obj = nullptr;
        tresult result = kResultFalse;
        {
            std::optional<AllocationFailure> failure;
            if (failing)
                failure.emplace(allowed);
            result = sModule->Factory()->createInstance(mInfo.cid, IComponent::iid, &obj);
        }
        EXPECT_EQ(result == kResultOk, obj != nullptr) << allowed;
        return static_cast<IComponent*>(obj);
    }

    PClassInfo mInfo;
};

TEST_F(ExhaustedMemoryTest, CreationGivesNoInstanceUntilAWholeOneFits)
{
    // Each allocation in turn is the first to fail.
    bool created = false;
    for (std::size_t allowed = 0; allowed < 100000 && !created; ++allowed)
        if (IComponent* component = Create(allowed, true))
        {
            created = true;
            component->release();
        }
    EXPECT_TRUE(created);
}

TEST_F(ExhaustedMemoryTest, InitialisationFailsOrSucceedsAndNothingLeaksOrThrows)
{
    // Each allocation in turn is the first to fail; leaks would show under LeakSanitizer.
    bool initialized = false;
    for (std::size_t allowed = 0; allowed < 100000 && !initialized; ++allowed)
    {
        IComponent* component = Create(0, false);
        ASSERT_NE(component, nullptr);
        tresult result = kResultFalse;
        {
            AllocationFailure failure(allowed);
            result = component->initialize(static_cast<IHostApplication*>(&mHost));
        }
        EXPECT_TRUE(result == kResultOk || result == kResultFalse) << allowed;
        initialized = result == kResultOk;
        component->terminate();
        component->release();
    }
    EXPECT_TRUE(initialized);
}

} // namespace
} // namespace lumenfall::test
