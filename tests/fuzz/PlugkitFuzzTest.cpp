// The framework's readers and parsers under random input: state chunks against a plain byte
// vector as the model, parameter and state restoring from random bytes, parameter text
// parsing and display round trips, channel-I/O strings against the grammar, and block
// processing of the layouts those strings make.
#include "plugkit/IParam.h"
#include "plugkit/IPluginBase.h"
#include "plugkit/IPluginProcessor.h"
#include "plugkit/IStateChunk.h"
#include "tests/fuzz/FuzzSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace plugkit
{
namespace
{

using lumenfall::test::FuzzRng;
using Bytes = std::vector<std::uint8_t>;

template <typename T>
void AppendLittleEndian(Bytes& bytes, T value)
{
    std::uint8_t raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T)); // the test machines are little-endian
    bytes.insert(bytes.end(), raw, raw + sizeof(T));
}

/// The result a read of `size` bytes at `pos` must give from `used` bytes.
std::int32_t ExpectedRead(std::int64_t used, std::int64_t pos, std::int64_t size)
{
    if (pos < 0 || pos > used || size < 0 || pos + size > used)
        return -1;
    return static_cast<std::int32_t>(pos + size);
}

std::int32_t RandomPosition(FuzzRng& rng, std::int32_t used)
{
    switch (rng.Below(4))
    {
    case 0:
        return rng.NastyInt();
    case 1:
        return used + rng.Range(-9, 9);
    default:
        return rng.Range(0, used);
    }
}

::testing::AssertionResult Matches(const IStateChunk& chunk, const Bytes& model)
{
    if (chunk.Size() != static_cast<std::int32_t>(model.size()))
        return ::testing::AssertionFailure()
               << "size " << chunk.Size() << ", model " << model.size();
    if (!model.empty() && std::memcmp(chunk.GetData(), model.data(), model.size()) != 0)
        return ::testing::AssertionFailure() << "bytes differ from the model";
    if (model.empty() && chunk.GetData() != nullptr)
        return ::testing::AssertionFailure() << "an empty chunk has data";
    return ::testing::AssertionSuccess();
}

TEST(ChunkFuzz, RandomAppendsAndReadsFollowAByteVector)
{
    FuzzRng rng(0xC40C0001);
    IStateChunk chunk;
    IStateChunk other;
    Bytes model;
    Bytes otherModel;
    for (int op = 0; op < 40000; ++op)
    {
        const std::int32_t used = chunk.Size();
        switch (rng.Below(11))
        {
        case 0: // bytes from outside, sometimes a size that must be refused
        {
            std::int32_t size = rng.Range(0, 48);
            Bytes source(static_cast<std::size_t>(size));
            for (auto& b : source)
                b = static_cast<std::uint8_t>(rng.Next32());
            const bool refused = rng.OneIn(6);
            if (refused)
            {
                // Negative, or one that would take the size past INT32_MAX.
                const std::int64_t past =
                    std::int64_t{std::numeric_limits<std::int32_t>::max()} - used + rng.Range(1, 8);
                size = rng.OneIn(2) || past > std::numeric_limits<std::int32_t>::max()
                           ? -rng.Range(1, 1 << 20)
                           : static_cast<std::int32_t>(past);
            }
            const bool ok = chunk.PutBytes(source.empty() ? nullptr : source.data(), size);
            ASSERT_EQ(ok, !refused) << "op " << op;
            if (ok)
                model.insert(model.end(), source.begin(), source.end());
            break;
        }
        case 1: // bytes from the chunk itself, some running past its end
        {
            if (used == 0)
                break;
            const std::int32_t at = rng.Below(used);
            const std::int32_t size = rng.Range(0, used - at + 4);
            const bool ok = chunk.PutBytes(chunk.GetData() + at, size);
            ASSERT_EQ(ok, size <= used - at) << "op " << op;
            if (ok)
            {
                const Bytes copy(model.begin() + at, model.begin() + at + size);
                model.insert(model.end(), copy.begin(), copy.end());
            }
            break;
        }
        case 2:
        {
            const auto v = static_cast<std::int32_t>(rng.Next32());
            ASSERT_TRUE(chunk.PutInt32(v));
            AppendLittleEndian(model, v);
            break;
        }
        case 3:
        {
            const double v = rng.NastyDouble();
            ASSERT_TRUE(chunk.PutDouble(v));
            AppendLittleEndian(model, v);
            break;
        }
        case 4:
        {
            const auto v = static_cast<float>(rng.Uniform(-1e6, 1e6));
            ASSERT_TRUE(chunk.PutFloat(v));
            AppendLittleEndian(model, v);
            break;
        }
        case 5: // another chunk, or the chunk itself
        {
            if (rng.OneIn(2))
            {
                const Bytes self = model;
                ASSERT_EQ(chunk.PutChunk(chunk), static_cast<std::int32_t>(2 * self.size()));
                model.insert(model.end(), self.begin(), self.end());
            }
            else
            {
                otherModel.push_back(static_cast<std::uint8_t>(op));
                ASSERT_TRUE(other.PutBytes(&otherModel.back(), 1));
                chunk.PutChunk(other);
                model.insert(model.end(), otherModel.begin(), otherModel.end());
            }
            break;
        }
        case 6: // a raw read into a buffer of exactly the requested size
        {
            const std::int32_t pos = RandomPosition(rng, used);
            std::int32_t size = rng.Range(0, 40);
            if (rng.OneIn(5))
                size = rng.NastyInt();
            const std::int32_t expected = ExpectedRead(used, pos, size);
            Bytes out(expected >= 0 ? static_cast<std::size_t>(size) : 1, 0xEE);
            ASSERT_EQ(chunk.GetBytes(out.data(), size, pos), expected)
                << "op " << op << " pos " << pos << " size " << size << " used " << used;
            if (expected >= 0)
            {
                ASSERT_TRUE(std::equal(out.begin(), out.end(), model.begin() + pos));
            }
            else
            {
                ASSERT_EQ(out[0], 0xEE);
            }
            break;
        }
        case 7: // typed reads leave the output alone when they fail
        {
            const std::int32_t pos = RandomPosition(rng, used);
            double d = 1234.5;
            const std::int32_t expected = ExpectedRead(used, pos, sizeof(double));
            ASSERT_EQ(chunk.GetDouble(d, pos), expected);
            if (expected >= 0)
            {
                ASSERT_EQ(std::memcmp(&d, model.data() + pos, sizeof d), 0);
            }
            else
            {
                ASSERT_EQ(d, 1234.5);
            }
            std::int32_t i = 77;
            const std::int32_t expected32 = ExpectedRead(used, pos, 4);
            ASSERT_EQ(chunk.GetInt32(i, pos), expected32);
            if (expected32 < 0)
            {
                ASSERT_EQ(i, 77);
            }
            break;
        }
        case 8: // resizing: the new bytes are undefined, so the test defines them
        {
            std::int32_t size = rng.Range(-4, used + 64);
            if (rng.OneIn(4))
                size = rng.Range(0, used);
            const std::int32_t got = chunk.Resize(size);
            const auto wanted = static_cast<std::size_t>(std::max(size, 0));
            ASSERT_EQ(got, static_cast<std::int32_t>(wanted));
            if (wanted > model.size())
                std::memset(chunk.GetData() + model.size(), 0x3C, wanted - model.size());
            model.resize(wanted, 0x3C);
            break;
        }
        case 9:
            if (rng.OneIn(20))
            {
                chunk.Clear();
                model.clear();
            }
            break;
        default: // keep the chunk from growing without bound
            if (model.size() > 8192)
            {
                chunk.Resize(64);
                model.resize(64);
            }
            break;
        }
        ASSERT_TRUE(Matches(chunk, model)) << "op " << op;
    }
}

/// Parameters of every kind, for the state readers and the text tests.
class FuzzPlugin : public IPluginBase
{
public:
    static constexpr int kParams = 6;

    FuzzPlugin()
        : IPluginBase(kParams, 3)
    {
        GetParam(0)->InitDouble("Gain", 0.0, -60.0, 12.0, 0.1, "dB");
        GetParam(1)->InitDouble(
            "Freq", 1000.0, 20.0, 20000.0, 1.0, "Hz", 0, "", IParam::ShapePowCurve(3.0));
        GetParam(2)->InitDouble("Steps", 0.0, 0.0, 10.0, 0.5, "", IParam::kFlagStepped);
        GetParam(3)->InitDouble("Pan",
                                0.0,
                                -1.0,
                                1.0,
                                0.001,
                                "",
                                IParam::kFlagNegateDisplay | IParam::kFlagSignDisplay);
        GetParam(4)->InitEnum("Mode", 1, {"Alpha", "Beta", "Gamma"});
        GetParam(5)->InitBool("Power", true);
    }

    std::vector<double> Values() const
    {
        std::vector<double> values;
        for (int i = 0; i < NParams(); ++i)
            values.push_back(GetParam(i)->Value());
        return values;
    }
};

/// Eight bytes of a double a hostile stream might hold.
double RandomStoredDouble(FuzzRng& rng)
{
    if (rng.OneIn(3))
        return rng.NastyDouble();
    if (rng.OneIn(6))
    {
        const std::uint64_t bits = rng.Next();
        double d = 0.0;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    return rng.Uniform(-200.0, 25000.0);
}

TEST(ParamStateFuzz, RandomBytesRestoreOnlyFiniteConstrainedValues)
{
    FuzzRng rng(0xC40C0002);
    for (int iteration = 0; iteration < 5000; ++iteration)
    {
        FuzzPlugin plugin;
        IStateChunk chunk;
        const int prefix = rng.Below(5);
        for (int i = 0; i < prefix; ++i)
            chunk.PutInt32(static_cast<std::int32_t>(rng.Next32()));
        std::vector<double> stored;
        const int nValues = rng.Range(0, FuzzPlugin::kParams + 2);
        for (int i = 0; i < nValues; ++i)
        {
            stored.push_back(RandomStoredDouble(rng));
            chunk.PutDouble(stored.back());
        }
        if (rng.OneIn(4))
            chunk.Resize(chunk.Size() - rng.Range(1, 7)); // a torn last value

        const std::int32_t start = rng.OneIn(8) ? rng.NastyInt() : 4 * prefix;
        const std::vector<double> before = plugin.Values();
        const int end = rng.OneIn(2) ? plugin.UnserializeParams(chunk, start)
                                     : plugin.UnserializeState(chunk, start);

        // The documented outcome: values apply in order up to the first missing or
        // non-finite one; only a complete run of finite values succeeds.
        int applied = 0;
        std::vector<double> read(FuzzPlugin::kParams);
        for (std::int64_t pos = start; applied < FuzzPlugin::kParams; pos += 8, ++applied)
        {
            if (pos < 0 || pos + 8 > chunk.Size())
                break;
            double v = 0.0;
            std::memcpy(&v, chunk.GetData() + pos, sizeof v);
            if (!std::isfinite(v))
                break;
            read[static_cast<std::size_t>(applied)] = v;
        }
        const bool complete = applied == FuzzPlugin::kParams;
        if (complete)
        {
            ASSERT_EQ(end, start + 8 * FuzzPlugin::kParams) << "iteration " << iteration;
        }
        else
        {
            ASSERT_EQ(end, -1) << "iteration " << iteration;
        }
        const std::vector<double> after = plugin.Values();
        for (int i = 0; i < FuzzPlugin::kParams; ++i)
        {
            const IParam& param = *plugin.GetParam(i);
            const double v = after[static_cast<std::size_t>(i)];
            ASSERT_TRUE(std::isfinite(v));
            ASSERT_GE(v, param.GetMin());
            ASSERT_LE(v, param.GetMax());
            const double want = i < applied ? param.Constrain(read[static_cast<std::size_t>(i)])
                                            : before[static_cast<std::size_t>(i)];
            ASSERT_EQ(v, want) << "iteration " << iteration << " param " << i;
        }
    }
}

TEST(ParamStateFuzz, NegativeStartReadsAsFailure)
{
    FuzzPlugin plugin;
    IStateChunk chunk;
    for (int i = 0; i < FuzzPlugin::kParams; ++i)
        chunk.PutDouble(0.0);
    EXPECT_EQ(plugin.UnserializeParams(chunk, -2), -1);
    EXPECT_EQ(plugin.UnserializeParams(chunk, std::numeric_limits<std::int32_t>::min()), -1);
}

TEST(ParamStateFuzz, PresetsOfRandomBytesRestoreOrChangeNothing)
{
    FuzzRng rng(0xC40C0003);
    for (int iteration = 0; iteration < 2000; ++iteration)
    {
        FuzzPlugin plugin;
        IStateChunk chunk;
        const int n = rng.Range(0, 8 * FuzzPlugin::kParams + 4);
        for (int i = 0; i < n; ++i)
        {
            const auto b = static_cast<std::uint8_t>(rng.Next32());
            chunk.PutBytes(&b, 1);
        }
        ASSERT_TRUE(plugin.MakePresetFromChunk("random", chunk));
        const int index = plugin.GetCurrentPresetIdx();
        const bool restored = plugin.RestorePreset(0);
        // A failed restore leaves the current preset as it was.
        if (!restored)
        {
            ASSERT_EQ(plugin.GetCurrentPresetIdx(), index);
        }
        for (int i = 0; i < FuzzPlugin::kParams; ++i)
            ASSERT_TRUE(std::isfinite(plugin.GetParam(i)->Value()));
        // Slots without state fill with the current one.
        ASSERT_TRUE(plugin.RestorePreset(1 + rng.Below(2)));
        ASSERT_FALSE(plugin.RestorePreset(rng.OneIn(2) ? -1 : 3));
    }
}

constexpr char kNumberAlphabet[] = "0123456789.-+eExXpPnNaAiIfFtTyY ,";

TEST(ParamTextFuzz, ParsedTextIsAlwaysAValueTheParameterCanHold)
{
    FuzzPlugin plugin;
    FuzzRng rng(0xC40C0004);
    for (int iteration = 0; iteration < 40000; ++iteration)
    {
        const IParam& param = *plugin.GetParam(rng.Below(FuzzPlugin::kParams));
        std::string text = lumenfall::test::RandomText(rng, kNumberAlphabet, 24);
        if (rng.OneIn(10) && param.NDisplayTexts() > 0)
            text = param.GetDisplayTextAtIdx(rng.Below(param.NDisplayTexts()));
        const double v = param.StringToValue(text.c_str());
        ASSERT_TRUE(std::isfinite(v)) << param.GetName() << " \"" << text << "\"";
        ASSERT_GE(v, param.GetMin()) << param.GetName() << " \"" << text << "\"";
        ASSERT_LE(v, param.GetMax()) << param.GetName() << " \"" << text << "\"";
        if (param.GetStepped())
        {
            ASSERT_EQ(param.Constrain(v), v) << param.GetName() << " \"" << text << "\"";
        }
    }
}

TEST(ParamTextFuzz, NormalizedValuesStayInRangeForAnyInput)
{
    FuzzPlugin plugin;
    FuzzRng rng(0xC40C0005);
    for (int iteration = 0; iteration < 40000; ++iteration)
    {
        IParam& param = *plugin.GetParam(rng.Below(FuzzPlugin::kParams));
        const double input = rng.NastyDouble();
        const double value = param.FromNormalized(input);
        ASSERT_TRUE(std::isfinite(value)) << param.GetName() << " " << input;
        ASSERT_GE(value, param.GetMin());
        ASSERT_LE(value, param.GetMax());
        const double normalized = param.ToNormalized(input);
        ASSERT_TRUE(normalized >= 0.0 && normalized <= 1.0) << param.GetName() << " " << input;
        const double before = param.Value();
        const bool taken = rng.OneIn(2) ? param.SetNormalized(input) : param.Set(input);
        ASSERT_EQ(taken, std::isfinite(input));
        ASSERT_TRUE(std::isfinite(param.Value()));
        ASSERT_GE(param.Value(), param.GetMin());
        ASSERT_LE(param.Value(), param.GetMax());
        if (!taken)
        {
            ASSERT_EQ(param.Value(), before);
        }
    }
}

/// What a user sees for a value must read back as a value that shows the same text, and
/// lie within half a display step of it.
TEST(ParamTextFuzz, DisplayedTextReadsBackAsTheSameDisplay)
{
    FuzzPlugin plugin;
    FuzzRng rng(0xC40C0006);
    for (int iteration = 0; iteration < 40000; ++iteration)
    {
        const IParam& param = *plugin.GetParam(rng.Below(FuzzPlugin::kParams));
        const double value = param.FromNormalized(rng.Unit());
        HeapString shown;
        param.GetDisplay(value, false, shown);
        const double back = param.StringToValue(shown.Get());
        HeapString again;
        param.GetDisplay(back, false, again);
        ASSERT_STREQ(again.Get(), shown.Get()) << param.GetName() << " value " << value;
        const double halfStep = 0.5 * std::pow(10.0, -param.GetPrecision());
        ASSERT_LE(std::fabs(back - param.Constrain(value)), halfStep * (1.0 + 1e-9))
            << param.GetName() << " \"" << shown.Get() << "\"";
    }
}

// A gain of -0.01 dB shows as "-0.0", while zero itself shows as "0.0": the sign of a value
// that rounds to zero at the display precision must go too.
TEST(ParamTextFuzz, NegativeValuesThatRoundToZeroShowNoSign)
{
    FuzzPlugin plugin;
    HeapString text;
    plugin.GetParam(0)->GetDisplay(-0.01, false, text);
    EXPECT_STREQ(text.Get(), "0.0");
    plugin.GetParam(3)->GetDisplay(0.0001, false, text); // negated display, forced sign
    EXPECT_STREQ(text.Get(), "0.000");
}

// ---- Channel-I/O strings.

struct BusList
{
    std::vector<int> ins;
    std::vector<int> outs;
};

/// The grammar, written out plainly: configurations separated by spaces, inputs and outputs
/// by the first "-", buses by "."; "*" is any number (-1); a bus is read as its leading
/// decimal digits and kept only for 1 .. kMaxBusChannels.
std::vector<BusList> ReferenceParse(const std::string& text)
{
    auto buses = [](const std::string& side)
    {
        std::vector<int> result;
        std::size_t p = 0;
        while (p < side.size())
        {
            std::size_t stop = side.find('.', p);
            if (stop == std::string::npos)
                stop = side.size();
            const std::string part = side.substr(p, stop - p);
            if (part == "*")
                result.push_back(-1);
            else
            {
                long long n = 0;
                for (std::size_t i = 0; i < part.size() && part[i] >= '0' && part[i] <= '9' &&
                                        n <= IPluginProcessor::kMaxBusChannels;
                     ++i)
                    n = n * 10 + (part[i] - '0');
                if (n >= 1 && n <= IPluginProcessor::kMaxBusChannels)
                    result.push_back(static_cast<int>(n));
            }
            p = stop + 1;
        }
        return result;
    };
    std::vector<BusList> configs;
    std::size_t p = 0;
    while (p < text.size())
    {
        if (text[p] == ' ')
        {
            ++p;
            continue;
        }
        std::size_t stop = text.find(' ', p);
        if (stop == std::string::npos)
            stop = text.size();
        const std::string token = text.substr(p, stop - p);
        const std::size_t dash = token.find('-');
        BusList config;
        config.ins = buses(token.substr(0, dash));
        if (dash != std::string::npos)
            config.outs = buses(token.substr(dash + 1));
        configs.push_back(config);
        p = stop;
    }
    return configs;
}

int Total(const std::vector<int>& buses)
{
    int total = 0;
    for (int n : buses)
        total += n < 0 ? ChannelIOConfig::kWildcardChannels : n;
    return total;
}

constexpr char kChannelAlphabet[] = "0123456789-.* ";

TEST(ChannelIOFuzz, RandomStringsParseAsTheGrammarSays)
{
    FuzzRng rng(0xC40C0007);
    for (int iteration = 0; iteration < 20000; ++iteration)
    {
        std::string text = lumenfall::test::RandomText(rng, kChannelAlphabet, 32);
        text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
        PointerList<ChannelIOConfig> configs;
        int maxIn = -99, maxOut = -99, maxInBuses = -99, maxOutBuses = -99;
        const int n = IPluginProcessor::ParseChannelIO(
            text.c_str(), configs, maxIn, maxOut, maxInBuses, maxOutBuses);
        const std::vector<BusList> expected = ReferenceParse(text);
        ASSERT_EQ(n, static_cast<int>(expected.size())) << "\"" << text << "\"";
        ASSERT_EQ(configs.Size(), n);
        int wantIn = 0, wantOut = 0, wantInBuses = 0, wantOutBuses = 0;
        for (int c = 0; c < n; ++c)
        {
            const ChannelIOConfig& config = *configs.Get(c);
            const BusList& want = expected[static_cast<std::size_t>(c)];
            ASSERT_EQ(config.NBuses(kInput), static_cast<int>(want.ins.size()))
                << "\"" << text << "\"";
            ASSERT_EQ(config.NBuses(kOutput), static_cast<int>(want.outs.size()))
                << "\"" << text << "\"";
            for (int b = 0; b < config.NBuses(kInput); ++b)
                ASSERT_EQ(config.NChansOnBus(kInput, b), want.ins[static_cast<std::size_t>(b)]);
            for (int b = 0; b < config.NBuses(kOutput); ++b)
                ASSERT_EQ(config.NChansOnBus(kOutput, b), want.outs[static_cast<std::size_t>(b)]);
            wantIn = c == 0 ? Total(want.ins) : std::max(wantIn, Total(want.ins));
            wantOut = c == 0 ? Total(want.outs) : std::max(wantOut, Total(want.outs));
            wantInBuses = std::max(wantInBuses, static_cast<int>(want.ins.size()));
            wantOutBuses = std::max(wantOutBuses, static_cast<int>(want.outs.size()));
        }
        ASSERT_EQ(maxIn, wantIn) << "\"" << text << "\"";
        ASSERT_EQ(maxOut, wantOut) << "\"" << text << "\"";
        ASSERT_EQ(maxInBuses, wantInBuses) << "\"" << text << "\"";
        ASSERT_EQ(maxOutBuses, wantOutBuses) << "\"" << text << "\"";
    }
}

/// A processor of a random layout whose default block processing copies input c to output c.
class LayoutProcessor : public IPluginProcessor
{
public:
    explicit LayoutProcessor(const PluginConfig& config)
        : IPluginProcessor(config)
    {
    }
    bool SendMidiMsg(const MidiMessage&) override { return true; }
};

/// Any layout a channel string makes, any connection pattern, block size and host block
/// length: a connected output shows its input channel's samples (host buffers go to the
/// connected channels in order; a disconnected input reads silence) or silence, and nothing
/// is read or written outside the host's buffers (each is allocated at its exact length).
TEST(ChannelIOFuzz, LayoutsProcessHostBlocksOfAnyLengthWithinTheirBuffers)
{
    FuzzRng rng(0xC40C0008);
    for (int iteration = 0; iteration < 1500; ++iteration)
    {
        std::string text;
        for (int c = rng.Range(1, 3); c > 0; --c)
            text += std::to_string(rng.Range(0, 5)) + (rng.OneIn(4) ? ".1" : "") + "-" +
                    std::to_string(rng.Range(0, 5)) + (rng.OneIn(6) ? ".*" : "") + " ";
        PluginConfig config;
        config.mChannelIO = text.c_str();
        LayoutProcessor processor(config);
        const int nIn = processor.NChannels(kInput);
        const int nOut = processor.NChannels(kOutput);

        std::vector<bool> inConnected(static_cast<std::size_t>(nIn));
        std::vector<bool> outConnected(static_cast<std::size_t>(nOut));
        for (int dir = kInput; dir <= kOutput; ++dir)
        {
            auto& flags = dir == kInput ? inConnected : outConnected;
            // Any pattern: an adapter may connect channels one by one, leaving gaps.
            for (std::size_t c = 0; c < flags.size(); ++c)
            {
                flags[c] = !rng.OneIn(3);
                processor.SetChannelConnections(
                    static_cast<ChannelDirection>(dir), static_cast<int>(c), 1, flags[c]);
            }
        }
        const int blockSize = rng.OneIn(10) ? 0 : rng.Range(1, 96);
        processor.SetBlockSize(blockSize);
        const bool doubles = rng.OneIn(3);
        const int frames = rng.Range(0, 300);

        // Host buffers go to the connected channels in order.
        std::vector<int> inHost(static_cast<std::size_t>(nIn), -1);
        std::vector<int> outHost;
        int k = 0;
        for (int c = 0; c < nIn; ++c)
            if (inConnected[static_cast<std::size_t>(c)])
                inHost[static_cast<std::size_t>(c)] = k++;
        const int nInHost = k;
        for (int c = 0; c < nOut; ++c)
            if (outConnected[static_cast<std::size_t>(c)])
                outHost.push_back(c);
        const int nOutHost = static_cast<int>(outHost.size());

        std::vector<std::unique_ptr<float[]>> inF, outF;
        std::vector<std::unique_ptr<double[]>> inD, outD;
        std::vector<float*> inPtrF, outPtrF;
        std::vector<double*> inPtrD, outPtrD;
        auto sample = [](int channel, int s)
        { return static_cast<float>(channel + 1) + static_cast<float>(s) / 1024.0f; };
        for (int h = 0; h < nInHost; ++h)
        {
            inF.emplace_back(new float[static_cast<std::size_t>(std::max(frames, 1))]);
            inD.emplace_back(new double[static_cast<std::size_t>(std::max(frames, 1))]);
            for (int s = 0; s < frames; ++s)
                inF.back()[static_cast<std::size_t>(s)] = sample(h, s),
                inD.back()[static_cast<std::size_t>(s)] = sample(h, s);
            inPtrF.push_back(inF.back().get());
            inPtrD.push_back(inD.back().get());
        }
        for (int h = 0; h < nOutHost; ++h)
        {
            outF.emplace_back(new float[static_cast<std::size_t>(std::max(frames, 1))]);
            outD.emplace_back(new double[static_cast<std::size_t>(std::max(frames, 1))]);
            std::fill_n(outF.back().get(), frames, -7.0f);
            std::fill_n(outD.back().get(), frames, -7.0);
            outPtrF.push_back(outF.back().get());
            outPtrD.push_back(outD.back().get());
        }
        if (doubles)
        {
            processor.AttachDoubleBuffers(kInput, 0, nInHost, inPtrD.data(), frames);
            processor.AttachDoubleBuffers(kOutput, 0, nOutHost, outPtrD.data(), frames);
            processor.ProcessDoubleBuffers(frames);
        }
        else
        {
            processor.AttachBuffers(kInput, 0, nInHost, inPtrF.data());
            processor.AttachBuffers(kOutput, 0, nOutHost, outPtrF.data());
            processor.ProcessBuffers(frames);
        }

        for (int h = 0; h < nOutHost; ++h)
        {
            const int channel = outHost[static_cast<std::size_t>(h)];
            const int source = channel < nIn ? inHost[static_cast<std::size_t>(channel)] : -1;
            for (int s = 0; s < frames; ++s)
            {
                const double want = blockSize == 0 || source < 0 ? 0.0 : sample(source, s);
                const double got =
                    doubles ? outD[static_cast<std::size_t>(h)][static_cast<std::size_t>(s)]
                            : outF[static_cast<std::size_t>(h)][static_cast<std::size_t>(s)];
                ASSERT_EQ(got, want) << "\"" << text << "\" block " << blockSize << " frames "
                                     << frames << " output " << channel << " sample " << s;
            }
        }
    }
}

// "1-2" with output 0 disconnected and one host buffer attached from channel 0: the
// connected channel 1 must take it, as "the connected channels from `first` on take
// `buffers` in order" says, rather than the buffer being dropped and the host's output left
// holding whatever it held.
TEST(ChannelIOFuzz, AttachSkipsDisconnectedChannelsInsideTheRange)
{
    PluginConfig config;
    config.mChannelIO = "1-2";
    LayoutProcessor processor(config);
    processor.SetChannelConnections(kInput, 0, 1, true);
    processor.SetChannelConnections(kOutput, 1, 1, true);
    processor.SetBlockSize(8);
    float in[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    float out[4] = {-7.0f, -7.0f, -7.0f, -7.0f};
    float* ins[] = {in};
    float* outs[] = {out};
    processor.AttachBuffers(kInput, 0, 1, ins);
    processor.AttachBuffers(kOutput, 0, 1, outs);
    processor.ProcessBuffers(4);
    for (float v : out)
        EXPECT_EQ(v, 0.0f); // output 1 has no input of its own: silence
}

} // namespace
} // namespace plugkit
