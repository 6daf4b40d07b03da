#include "tests/support/CanvasTestHelpers.h"

#include "canvas/ResourceCache.h"
#include "plugkit/HeapBuffer.h"

#include <filesystem>
#include <fstream>

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::RecordingBitmap;
namespace fs = std::filesystem;

TEST(ResourceCache, HashKeyIsFnv1a)
{
    // Published 64-bit FNV-1a vectors.
    EXPECT_EQ(HashKey(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(HashKey(nullptr), 0xcbf29ce484222325ull);
    EXPECT_EQ(HashKey("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(HashKey("foobar"), 0x85944171f73967e8ull);
    // A cache key is the name followed by its scale, "-%.1fx".
    EXPECT_EQ(HashKey("knob.png", 2.0), HashKey("knob.png-2.0x"));
    EXPECT_EQ(HashKey("knob.png", 1.5), HashKey("knob.png-1.5x"));
}

TEST(ResourceCache, FindAddRemoveClear)
{
    struct Item
    {
        Item(std::vector<int>* log, int itemId)
            : deleted(log)
            , id(itemId)
        {
        }
        ~Item() { deleted->push_back(id); }
        std::vector<int>* deleted;
        int id;
    };
    std::vector<int> deleted;
    const auto item = [&](int id) { return std::make_unique<Item>(&deleted, id); };
    ResourceCache<Item> cache;

    Item* one = cache.Add(item(1), "logo.svg", 1.0);
    Item* two = cache.Add(item(2), "knob.png", 2.0);
    Item* three = cache.Add(item(3), "knob.png", 2.0); // no duplicate check: the first wins
    EXPECT_EQ(cache.Add(nullptr, "none", 1.0), nullptr);
    EXPECT_EQ(cache.Find("logo.svg", 1.0), one);
    EXPECT_EQ(cache.Find("logo.svg", 2.0), nullptr);
    EXPECT_EQ(cache.Find("LOGO.SVG", 1.0), nullptr);
    EXPECT_EQ(cache.Find("knob.png", 2.0), two);

    EXPECT_TRUE(cache.Remove(two));
    EXPECT_EQ(deleted, std::vector<int>{2});
    EXPECT_EQ(cache.Find("knob.png", 2.0), three);
    EXPECT_FALSE(cache.Remove(two));

    cache.Add(item(4), "last", 1.0);
    cache.Clear();
    EXPECT_EQ(deleted, (std::vector<int>{2, 4, 3, 1})); // last to first
    EXPECT_EQ(cache.NEntries(), 0);

    // The last user's departure clears it.
    cache.AddUser();
    cache.AddUser();
    cache.Add(item(5), "x", 1.0);
    cache.RemoveUser();
    EXPECT_EQ(cache.NEntries(), 1);
    cache.RemoveUser();
    EXPECT_EQ(cache.NEntries(), 0);
    cache.RemoveUser(); // one too many changes nothing
    EXPECT_EQ(cache.NUsers(), 0);
}

/// A canvas over a scratch folder of resource files (natively resources are files).
class ResourceTest : public lumenfall::test::CanvasFixture
{
protected:
    ResourceTest()
    {
        fs::remove_all(kFolder);
        fs::create_directories(kFolder);
    }
    ~ResourceTest() override { fs::remove_all(kFolder); }

    static std::string Path(const char* leaf) { return std::string(kFolder) + "/" + leaf; }
    static void Write(const char* leaf, const std::string& bytes)
    {
        std::ofstream(Path(leaf), std::ios::binary) << bytes;
    }

    static constexpr const char* kFolder = "canvas_resources";
};

TEST_F(ResourceTest, LoadResourceReadsWholeFilesOnly)
{
    Write("data.bin", "twelve bytes");
    Write("empty.bin", "");
    fs::create_directories(Path("folder.bin"));
    const std::string big = Path("big.bin");
    std::ofstream(big, std::ios::binary) << 'x';
    fs::resize_file(big, ICanvas::kMaxResourceBytes + 1);

    plugkit::HeapBuffer data;
    ASSERT_TRUE(g.LoadResource(Path("data.bin").c_str(), "bin", data));
    EXPECT_EQ(std::string(static_cast<const char*>(data.Get()), size_t(data.Size())),
              "twelve bytes");
    for (const char* leaf : {"empty.bin", "folder.bin", "big.bin", "missing.bin"})
    {
        EXPECT_FALSE(g.LoadResource(Path(leaf).c_str(), "bin", data)) << leaf;
        EXPECT_EQ(data.Size(), 0) << leaf;
    }
    EXPECT_FALSE(g.LoadResource(nullptr, "bin", data));
}

TEST_F(ResourceTest, ScaleVariantsAreSearchedTargetFirstThenDownFromThree)
{
    struct Case
    {
        std::vector<int> present; ///< scales whose file exists
        int target;
        int found; ///< 0: none
    };
    const Case cases[] = {
        {{1, 2, 3}, 2, 2},
        {{1, 3}, 2, 3},
        {{1}, 2, 1},
        {{2}, 1, 2},
        {{1, 2}, 3, 2},
        {{}, 1, 0},
    };
    const std::string name = Path("knob.png");
    for (const Case& c : cases)
    {
        fs::remove_all(kFolder);
        fs::create_directories(kFolder);
        for (int scale : c.present)
            Write(scale == 1 ? "knob.png" : ("knob@" + std::to_string(scale) + "x.png").c_str(),
                  "4 4");
        plugkit::HeapString location;
        int sourceScale = 0;
        const auto kind =
            g.SearchImageResource(name.c_str(), "png", location, c.target, sourceScale);
        if (c.found == 0)
        {
            EXPECT_EQ(kind, platform::ResourceLocation::NotFound);
            continue;
        }
        EXPECT_EQ(kind, platform::ResourceLocation::FilePath) << c.target;
        EXPECT_EQ(sourceScale, c.found) << c.target;
        const std::string variant =
            c.found == 1 ? name : Path(("knob@" + std::to_string(c.found) + "x.png").c_str());
        EXPECT_STREQ(location.Get(), variant.c_str());
    }
}

TEST_F(ResourceTest, BitmapOfAnotherScaleIsRescaledAndOnlyTheCopyIsKept)
{
    const int liveBefore = RecordingBitmap::LiveCount();
    Write("knob@2x.png", "40 20"); // only the scale-2 variant exists
    const std::string name = Path("knob.png");

    const IBitmapHandle handle = g.LoadBitmap(name.c_str(), 3, true, 1);
    ASSERT_TRUE(handle.IsValid());
    EXPECT_EQ(handle.GetScale(), 1);
    EXPECT_EQ(handle.W(), 20);
    EXPECT_EQ(handle.H(), 10);
    EXPECT_EQ(handle.N(), 3);
    EXPECT_TRUE(handle.GetFramesAreHorizontal());
    EXPECT_STREQ(handle.GetResourceName(), name.c_str());
    // Decoded at 2, drawn into a 20 x 10 layer at scale 1; the scale-2 bitmap is not kept.
    EXPECT_EQ(g.Count("LoadApiBitmap " + Path("knob@2x.png") + " 2"), 1);
    EXPECT_EQ(g.Count("CreateApiBitmap 20 10 1 1"), 1);
    EXPECT_EQ(g.Count("DrawBitmap " + Path("knob@2x.png") + " 0 0 0 0 20 10"), 1);
    EXPECT_EQ(g.NCachedBitmaps(), 1);
    EXPECT_EQ(RecordingBitmap::LiveCount(), liveBefore + 1);
    // The screen and draw scales the copy was drawn at are undone.
    EXPECT_EQ(g.GetScreenScale(), 1.f);

    // Again: from the cache.
    g.ClearLog();
    const IBitmapHandle again = g.LoadBitmap(name.c_str(), 3, true, 1);
    EXPECT_EQ(again.GetAPIBitmap(), handle.GetAPIBitmap());
    EXPECT_EQ(g.Count("LoadApiBitmap"), 0);

    // At its own scale the variant is kept as it is.
    const IBitmapHandle atTwo = g.LoadBitmap(name.c_str(), 1, false, 2);
    EXPECT_EQ(atTwo.W(), 20);
    EXPECT_EQ(atTwo.GetScale(), 2);
    EXPECT_EQ(g.NCachedBitmaps(), 2);

    g.ReleaseBitmap(handle);
    EXPECT_EQ(g.NCachedBitmaps(), 1);
    EXPECT_EQ(RecordingBitmap::LiveCount(), liveBefore + 1);
}

TEST_F(ResourceTest, BitmapsThatCannotLoadGiveEmptyHandles)
{
    Write("knob.gif", "4 4");
    Write("broken.png", "not an image");
    struct Case
    {
        std::string name;
        bool loads;
    };
    const Case cases[] = {
        {Path("knob.gif"), false},
        {Path("missing.png"), false},
        {Path("broken.png"), false},
        {"knob", false}, // no dot: the whole name is taken as the extension
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(g.LoadBitmap(c.name.c_str(), 1, false, 1).IsValid(), c.loads) << c.name;
    EXPECT_FALSE(g.LoadBitmap(nullptr).IsValid());
    const IBitmapHandle empty;
    EXPECT_EQ(empty.W(), 0);
    EXPECT_STREQ(empty.GetResourceName(), "");
    EXPECT_EQ(g.NCachedBitmaps(), 0);
}

TEST_F(ResourceTest, BitmapFromDataIsTakenAsScaleOne)
{
    const IBitmapHandle atTwo = g.LoadBitmapFromData("meter.png", "8 4", 3, 1, false, 2);
    ASSERT_TRUE(atTwo.IsValid());
    EXPECT_EQ(atTwo.GetScale(), 2);
    EXPECT_EQ(atTwo.W(), 8);
    EXPECT_EQ(g.Count("LoadApiBitmapFromData meter.png 1"), 1);
    EXPECT_EQ(g.Count("CreateApiBitmap 16 8 2 1"), 1);

    // Cached under its name: other data under the same name is not decoded again, and another
    // scale is made from the cached copy.
    g.ClearLog();
    EXPECT_EQ(g.LoadBitmapFromData("meter.png", "junk", 4, 1, false, 2).GetAPIBitmap(),
              atTwo.GetAPIBitmap());
    const IBitmapHandle atOne = g.LoadBitmapFromData("meter.png", "junk", 4, 1, false, 1);
    EXPECT_EQ(atOne.W(), 8);
    EXPECT_EQ(g.Count("LoadApiBitmapFromData"), 0);
    EXPECT_EQ(g.Count("CreateApiBitmap 8 4 1 1"), 1);

    EXPECT_FALSE(g.LoadBitmapFromData("other.png", "junk", 4).IsValid());
    EXPECT_FALSE(g.LoadBitmapFromData("other.png", nullptr, 4).IsValid());
}

TEST_F(ResourceTest, FontsPassFromThePlatformToTheBackEnd)
{
    Write("good.ttf", "font bytes");
    Write("bad.ttf", "bad font bytes");
    EXPECT_TRUE(g.LoadFont("Roboto-Regular", Path("good.ttf").c_str()));
    EXPECT_EQ(g.Count("CachePlatformFont Roboto-Regular"), 1);

    g.ClearLog();
    EXPECT_FALSE(g.LoadFont("Bad", Path("bad.ttf").c_str())); // the back end refuses it
    EXPECT_FALSE(g.LoadFont("Missing", Path("missing.ttf").c_str()));
    EXPECT_EQ(g.Count("CachePlatformFont"), 0);

    EXPECT_TRUE(g.LoadFontFromMemory("Memory", "font bytes", 10));
    EXPECT_FALSE(g.LoadFontFromMemory("Empty", nullptr, 0));
}

TEST_F(ResourceTest, LayersStackAndHandBackTheirBitmaps)
{
    g.SetScreenScale(2.f);
    g.ClearLog();
    // Bounds snap outward to device pixels; the bitmap covers them at the total scale.
    g.BeginLayer(nullptr, {10.2f, 10.f, 20.f, 15.3f});
    EXPECT_EQ(g.Log(),
              (std::vector<std::string>{"CreateApiBitmap 20 12 2 1",
                                        "UpdateLayer 10 10 20 15.5",
                                        "Transform 1 0 0 1 0 0",
                                        "Transform 1 0 0 1 0 0",
                                        "Clip 10 10 20 15.5",
                                        "Transform 1 0 0 1 0 0",
                                        "PathClear"}));
    ASSERT_NE(g.GetTopLayer(), nullptr);

    g.ClearLog();
    ILayerPtr layer = g.FinishLayer();
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->GetBounds(), IBounds(10.f, 10.f, 20.f, 15.5f));
    EXPECT_EQ(layer->GetAPIBitmap()->GetWidth(), 20);
    EXPECT_EQ(g.GetTopLayer(), nullptr);
    EXPECT_EQ(g.LinesStartingWith("UpdateLayer"), std::vector<std::string>{"UpdateLayer window"});

    // Popping an empty stack gives nothing, yet still resets the transform and the clip.
    g.ClearLog();
    EXPECT_EQ(g.PopLayer(), nullptr);
    EXPECT_EQ(g.Count("Transform 1 0 0 1 0 0"), 3);
    EXPECT_EQ(g.Count("Clip"), 1);
    EXPECT_EQ(g.Count("PathClear"), 1);
}

const std::string kSmallSvg = "<svg xmlns='http://www.w3.org/2000/svg' width='20' height='10'>"
                              "<rect width='20' height='10' fill='#102030'/></svg>";
const std::string kOtherSvg = "<svg xmlns='http://www.w3.org/2000/svg' width='8' "
                              "height='8'><circle r='4' cx='4' cy='4'/></svg>";

TEST_F(ResourceTest, SvgDocumentsAreParsedOncePerProcess)
{
    Write("shape.svg", kSmallSvg);
    const std::string file = Path("shape.svg");
    // From a file: the loader holds the cache's lock while it reads and parses (the lock is
    // taken again inside).
    const ISvgHandle first = g.LoadSvg(file.c_str());
    ASSERT_TRUE(first.IsValid());
    EXPECT_EQ(first.W(), 20.f);
    EXPECT_EQ(first.H(), 10.f);

    // Another editor of the process gets the same document, whatever bytes it brings.
    {
        lumenfall::test::FakeEditorDelegate otherDelegate;
        lumenfall::test::RecordingCanvas other(otherDelegate);
        EXPECT_EQ(other.LoadSvgFromData(file.c_str(), kOtherSvg.data(), int(kOtherSvg.size()))
                      .GetDocument(),
                  first.GetDocument());
        EXPECT_EQ(other.LoadSvg(file.c_str()).GetDocument(), first.GetDocument());
    }
    EXPECT_EQ(g.LoadSvg(file.c_str()).GetDocument(), first.GetDocument());
}

TEST(SvgCache, TheLastEditorTakesItWithIt)
{
    using lumenfall::test::FakeEditorDelegate;
    using lumenfall::test::RecordingCanvas;
    ISvgHandle kept;
    {
        FakeEditorDelegate firstDelegate;
        RecordingCanvas first(firstDelegate);
        {
            FakeEditorDelegate secondDelegate;
            RecordingCanvas second(secondDelegate);
            kept = second.LoadSvgFromData("kept.svg", kSmallSvg.data(), int(kSmallSvg.size()));
        }
        // The first editor still uses the cache.
        EXPECT_EQ(first.LoadSvgFromData("kept.svg", kOtherSvg.data(), int(kOtherSvg.size())).W(),
                  20.f);
    }
    // Every editor left: the name is parsed anew. The handle kept its document all along.
    FakeEditorDelegate thirdDelegate;
    RecordingCanvas third(thirdDelegate);
    EXPECT_EQ(third.LoadSvgFromData("kept.svg", kOtherSvg.data(), int(kOtherSvg.size())).W(), 8.f);
    EXPECT_EQ(kept.W(), 20.f);
}

TEST_F(ResourceTest, SvgThatCannotLoadGivesAnEmptyHandle)
{
    Write("broken.svg", "<svg width='0' height='10'><rect width='5' height='5'/></svg>");
    const std::string noRoot = "<html><rect width='5' height='5'/></html>";
    EXPECT_FALSE(g.LoadSvg(Path("broken.svg").c_str()).IsValid());
    EXPECT_FALSE(g.LoadSvg(Path("missing.svg").c_str()).IsValid());
    EXPECT_FALSE(g.LoadSvgFromData("html.svg", noRoot.data(), int(noRoot.size())).IsValid());
    EXPECT_FALSE(g.LoadSvgFromData("none.svg", nullptr, 10).IsValid());
    EXPECT_FALSE(g.LoadSvgFromData("", kSmallSvg.data(), int(kSmallSvg.size())).IsValid());
    const ISvgHandle empty;
    EXPECT_EQ(empty.W(), 0.f);
    // A failure is not cached: good bytes under the same name load.
    EXPECT_TRUE(g.LoadSvgFromData("html.svg", kSmallSvg.data(), int(kSmallSvg.size())).IsValid());
}

TEST_F(ResourceTest, TheMakersLogoLoadsAndDraws)
{
    const ISvgHandle logo = g.LoadSvg(LUMENFALL_LOGO_SVG);
    ASSERT_TRUE(logo.IsValid());
    EXPECT_EQ(logo.W(), 210.f);
    EXPECT_EQ(logo.H(), 42.f);
    g.ClearLog();
    g.DrawSvg(logo, {0, 0, 420, 84});
    EXPECT_EQ(g.LinesStartingWith("Transform")[0], "Transform 2 0 0 2 0 0");
    EXPECT_GE(g.Count("PathFill"), 2);
}

} // namespace
