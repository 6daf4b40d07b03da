// The plug-in over the VST3 adapter in-process, where the framework's side can be seen: the
// host's channel context from random attribute lists (texts that never end, broken UTF-16,
// lengths that lie) must come out as bounded, valid UTF-8; and after every whole-state
// change from the UI (preset, A/B switch, restored state) the controller's parameter objects
// agree with the parameters, with every host edit inside its begin and end.
#include "plugin/Lumenfall.h"
#include "tests/fuzz/StateStreams.h"
#include "tests/vst3host/Vst3Host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall
{
namespace
{

using test::FuzzRng;

/// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or half characters).
bool IsValidUtf8(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size())
    {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80   ? 0
                          : lead < 0xC2 ? -1
                          : lead < 0xE0 ? 1
                          : lead < 0xF0 ? 2
                          : lead < 0xF5 ? 3
                                        : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size() + (extra == 0 ? 1 : 0))
            return false;
        std::uint32_t c = lead & (0x7Fu >> extra);
        for (int k = 1; k <= extra; ++k)
        {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
        if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
            return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

/// Random bytes that are sometimes UTF-8 and sometimes not: ASCII, well-formed sequences of
/// every length, stray continuation bytes, overlong forms, encoded surrogates, cut sequences.
std::string RandomUtf8(FuzzRng& rng, int maxPieces)
{
    auto encode = [](std::uint32_t c, std::string& out)
    {
        if (c < 0x80)
            out.push_back(static_cast<char>(c));
        else if (c < 0x800)
        {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
        else if (c < 0x10000)
        {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
        else
        {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    };
    std::string text;
    const int n = rng.Below(maxPieces + 1);
    for (int i = 0; i < n; ++i)
    {
        switch (rng.Below(8))
        {
        case 0:
            encode(static_cast<std::uint32_t>(rng.Range(0x80, 0x7FF)), text);
            break;
        case 1:
            encode(static_cast<std::uint32_t>(rng.Range(0x800, 0xFFFF)), text); // surrogates too
            break;
        case 2:
            encode(static_cast<std::uint32_t>(rng.Range(0x10000, 0x10FFFF)), text);
            break;
        case 3:
            text.push_back(static_cast<char>(rng.Range(0x80, 0xFF))); // any high byte
            break;
        case 4:
            text += "\xC0\xAF"; // overlong "/"
            break;
        default:
            text.push_back(static_cast<char>(rng.Range(0x20, 0x7E)));
            break;
        }
    }
    return text;
}

/// Valid UTF-16 (surrogates only in pairs) of at most `maxUnits` units up to the terminator.
bool IsValidUtf16(const TChar* text, int maxUnits, int& units)
{
    units = 0;
    while (units < maxUnits + 1 && text[units] != 0)
    {
        const auto c = static_cast<std::uint16_t>(text[units]);
        if (c >= 0xDC00 && c < 0xE000)
            return false;
        if (c >= 0xD800 && c < 0xDC00)
        {
            const auto low = static_cast<std::uint16_t>(text[units + 1]);
            if (!(low >= 0xDC00 && low < 0xE000))
                return false;
            ++units;
        }
        ++units;
    }
    return units <= maxUnits;
}

// Texts cross the boundary in both directions: whatever goes in, what comes out is valid,
// bounded and never half a character, and valid text that fits comes back unchanged.
TEST(InProcessFuzz, TextsCrossBetweenUtf8AndUtf16ValidAndWhole)
{
    FuzzRng rng(0x1290004);
    for (int iteration = 0; iteration < 20000; ++iteration)
    {
        const std::string utf8 = RandomUtf8(rng, rng.OneIn(4) ? 200 : 40);
        String128 wide;
        std::fill(std::begin(wide), std::end(wide), static_cast<TChar>(0xABCD));
        plugkit::WidenToString128(utf8.c_str(), wide);
        int units = 0;
        ASSERT_TRUE(IsValidUtf16(wide, 127, units)) << "iteration " << iteration;

        char narrow[plugkit::kMaxUtf8Bytes];
        std::memset(narrow, 0x5A, sizeof narrow);
        plugkit::NarrowFromUtf16(wide, 128, narrow, sizeof narrow);
        const std::string back(narrow);
        ASSERT_LT(back.size(), sizeof narrow);
        ASSERT_TRUE(IsValidUtf8(back)) << "iteration " << iteration;
        // Valid input that fits in 127 units survives the round trip exactly.
        if (IsValidUtf8(utf8) && units < 127)
        {
            ASSERT_EQ(back, utf8) << "iteration " << iteration;
        }

        // Any UTF-16 in, into an output of any size: valid, terminated within it.
        std::vector<TChar> raw(128);
        for (auto& u : raw)
            u = static_cast<TChar>(rng.OneIn(3) ? rng.Range(0xD800, 0xDFFF) : rng.Range(1, 0xFFFF));
        const int outSize = rng.Range(1, plugkit::kMaxUtf8Bytes);
        std::vector<char> out(static_cast<std::size_t>(outSize), 'Z');
        plugkit::NarrowFromUtf16(raw.data(), 128, out.data(), outSize);
        const auto end = std::find(out.begin(), out.end(), '\0');
        ASSERT_NE(end, out.end()) << "not terminated within " << outSize << " bytes";
        ASSERT_TRUE(IsValidUtf8(std::string(out.begin(), end))) << "iteration " << iteration;
    }
}

/// An attribute list as a careless host might fill it: texts copied into the whole buffer
/// without a terminator, integers anywhere in range, keys present or not at random.
class CarelessAttributes : public IAttributeList
{
public:
    tresult PLUGIN_API setInt(AttrID, int64) override { return kResultFalse; }
    tresult PLUGIN_API getInt(AttrID id, int64& value) override
    {
        auto it = mInts.find(id);
        if (it == mInts.end())
            return kResultFalse;
        value = it->second;
        return kResultTrue;
    }
    tresult PLUGIN_API setFloat(AttrID, double) override { return kResultFalse; }
    tresult PLUGIN_API getFloat(AttrID, double&) override { return kResultFalse; }
    tresult PLUGIN_API setString(AttrID, const TChar*) override { return kResultFalse; }
    tresult PLUGIN_API getString(AttrID id, TChar* text, uint32 sizeInBytes) override
    {
        auto it = mTexts.find(id);
        if (it == mTexts.end() || text == nullptr)
            return kResultFalse;
        // Fills every unit it was given, terminated only when the text is shorter.
        const std::size_t units = sizeInBytes / sizeof(TChar);
        for (std::size_t i = 0; i < units; ++i)
            text[i] = i < it->second.size() ? it->second[i] : 0;
        return kResultTrue;
    }
    tresult PLUGIN_API setBinary(AttrID, const void*, uint32) override { return kResultFalse; }
    tresult PLUGIN_API getBinary(AttrID, const void*&, uint32&) override { return kResultFalse; }
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override
    {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    std::map<std::string, int64> mInts;
    std::map<std::string, std::u16string> mTexts;
};

std::u16string RandomUtf16Text(FuzzRng& rng)
{
    std::u16string text;
    const int n = rng.OneIn(4) ? rng.Range(120, 400) : rng.Below(30);
    for (int i = 0; i < n; ++i)
    {
        switch (rng.Below(5))
        {
        case 0:
            text.push_back(static_cast<char16_t>(rng.Range(0xD800, 0xDFFF))); // surrogates
            break;
        case 1:
            text.push_back(static_cast<char16_t>(rng.Range(0x80, 0xFFFF)));
            break;
        case 2: // a valid pair
            text.push_back(static_cast<char16_t>(rng.Range(0xD800, 0xDBFF)));
            text.push_back(static_cast<char16_t>(rng.Range(0xDC00, 0xDFFF)));
            break;
        default:
            text.push_back(static_cast<char16_t>(rng.Range(0x20, 0x7E)));
            break;
        }
    }
    return text;
}

struct Instance
{
    Instance()
        : plugin(new Lumenfall())
    {
        EXPECT_EQ(plugin->initialize(static_cast<IHostApplication*>(&host)), kResultOk);
        EXPECT_EQ(plugin->setComponentHandler(&handler), kResultTrue);
    }
    ~Instance()
    {
        plugin->setComponentHandler(nullptr);
        plugin->terminate();
        plugin->release();
    }
    test::HostApplication host{u"Lumenfall Fuzz Host"};
    test::ComponentHandler handler;
    Lumenfall* plugin;
};

TEST(InProcessFuzz, ChannelContextTextsComeOutBoundedAndValid)
{
    Instance instance;
    Lumenfall& plugin = *instance.plugin;
    FuzzRng rng(0x1290001);
    static const char* const kTextKeys[][2] = {
        {ChannelContext::kChannelNameKey, ChannelContext::kChannelNameLengthKey},
        {ChannelContext::kChannelUIDKey, ChannelContext::kChannelUIDLengthKey},
        {ChannelContext::kChannelIndexNamespaceKey,
         ChannelContext::kChannelIndexNamespaceLengthKey},
    };
    static const char* const kIntKeys[] = {ChannelContext::kChannelIndexKey,
                                           ChannelContext::kChannelColorKey,
                                           ChannelContext::kChannelIndexNamespaceOrderKey};
    for (int iteration = 0; iteration < 5000; ++iteration)
    {
        CarelessAttributes list;
        for (const auto& key : kTextKeys)
        {
            if (rng.OneIn(3))
                continue;
            const std::u16string text = RandomUtf16Text(rng);
            list.mTexts[key[0]] = text;
            // The length the host claims, true or not.
            list.mInts[key[1]] = rng.OneIn(2) ? static_cast<int64>(text.size()) : rng.NastyInt();
        }
        for (const char* key : kIntKeys)
            if (!rng.OneIn(3))
                list.mInts[key] = rng.OneIn(2) ? static_cast<int64>(rng.Next()) : rng.NastyInt();
        ASSERT_EQ(plugin.setChannelContextInfos(&list), kResultOk);

        plugkit::HeapString name;
        plugkit::HeapString space;
        plugin.GetTrackName(name);
        plugin.GetTrackNamespace(space);
        for (const plugkit::HeapString* text : {&name, &space})
        {
            const std::string s = text->Get() ? text->Get() : "";
            ASSERT_LE(s.size(), static_cast<std::size_t>(plugkit::kMaxUtf8Bytes - 1));
            ASSERT_TRUE(IsValidUtf8(s)) << "iteration " << iteration;
        }
        int r = -1, g = -1, b = -1;
        plugin.GetTrackColor(r, g, b);
        for (int component : {r, g, b})
            ASSERT_TRUE(component >= 0 && component <= 255);
    }
    EXPECT_EQ(plugin.setChannelContextInfos(nullptr), kResultFalse);
}

/// A host whose name fills the whole String128, with no terminator when it is that long.
class CarelessHost : public IHostApplication
{
public:
    tresult PLUGIN_API getName(String128 name) override
    {
        for (std::size_t i = 0; i < 128; ++i)
            name[i] = i < mName.size() ? mName[i] : 0;
        return kResultOk;
    }
    tresult PLUGIN_API createInstance(TUID, TUID, void** obj) override
    {
        *obj = nullptr;
        return kResultFalse;
    }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
    {
        QUERY_INTERFACE(iid, obj, FUnknown::iid, IHostApplication)
        QUERY_INTERFACE(iid, obj, IHostApplication::iid, IHostApplication)
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    std::u16string mName;
};

TEST(InProcessFuzz, HostNamesComeOutBoundedAndValid)
{
    FuzzRng rng(0x1290003);
    for (int iteration = 0; iteration < 200; ++iteration)
    {
        CarelessHost host;
        host.mName = RandomUtf16Text(rng);
        if (rng.OneIn(4))
            host.mName.insert(0, u"Cubase ");
        auto* plugin = new Lumenfall();
        ASSERT_EQ(plugin->initialize(static_cast<IHostApplication*>(&host)), kResultOk);
        const std::string name = plugin->GetHostName() ? plugin->GetHostName() : "";
        ASSERT_LE(name.size(), static_cast<std::size_t>(plugkit::kMaxUtf8Bytes - 1));
        ASSERT_TRUE(IsValidUtf8(name)) << "iteration " << iteration;
        ASSERT_NE(plugin->GetHost(), plugkit::kHostUninit);
        plugin->terminate();
        plugin->release();
    }
}

/// Every perform edit lies inside a begin and end of its own id, and every begin ends.
::testing::AssertionResult EditsBalance(const std::vector<test::HostEvent>& events)
{
    std::map<ParamID, int> open;
    for (const test::HostEvent& e : events)
    {
        if (e.kind == test::HostEvent::kBegin)
            ++open[e.id];
        else if (e.kind == test::HostEvent::kEnd && --open[e.id] < 0)
            return ::testing::AssertionFailure() << "end without begin for " << e.id;
        else if (e.kind == test::HostEvent::kPerform && open[e.id] <= 0)
            return ::testing::AssertionFailure() << "perform outside a gesture for " << e.id;
    }
    for (const auto& [id, count] : open)
        if (count != 0)
            return ::testing::AssertionFailure() << "gesture left open for " << id;
    return ::testing::AssertionSuccess();
}

TEST(InProcessFuzz, ControllerFollowsEveryWholeStateChangeInsideBalancedEdits)
{
    Instance instance;
    Lumenfall& plugin = *instance.plugin;
    FuzzRng rng(0x1290002);
    const test::Bytes valid = test::EncodeState(test::RandomValidRecord(rng), false);
    for (int iteration = 0; iteration < 3000; ++iteration)
    {
        instance.handler.mEvents.clear();
        switch (rng.Below(5))
        {
        case 0:
            plugin.SelectFactoryPreset(rng.Range(-2, kFactoryPresetCount + 1));
            break;
        case 1:
            plugin.SwitchABSlot();
            break;
        case 2:
            plugin.CopyToOtherSlot();
            break;
        case 3:
        {
            test::MemoryStream stream(test::RandomStream(rng, kComponentStateSize));
            plugin.setState(&stream);
            break;
        }
        default:
        {
            // A host edit first, so the next whole change has something to overwrite.
            const auto id = static_cast<ParamID>(rng.Below(kParamCount));
            plugin.setParamNormalized(id, rng.Unit());
            test::MemoryStream stream(valid);
            ASSERT_EQ(plugin.setState(&stream), kResultOk);
            break;
        }
        }
        ASSERT_TRUE(EditsBalance(instance.handler.mEvents)) << "iteration " << iteration;
        for (int i = 0; i < kParamCount; ++i)
        {
            const auto id = static_cast<ParamID>(i);
            ASSERT_EQ(plugin.getParamNormalized(id), plugin.GetParam(i)->GetNormalized())
                << "iteration " << iteration << " param " << i;
        }
        ASSERT_EQ(plugin.getParamNormalized(65536), plugin.GetHostBypass() ? 1.0 : 0.0);
    }
}

} // namespace
} // namespace lumenfall
