// The SVG parser under mutated documents: byte-level damage and SVG-shaped insertions into
// a small corpus of valid documents and the logo. Every result must keep the document's
// promises (finite values, well-formed paths, sane paints); AddressSanitizer watches for
// reads past the input and leaks. CI runs a short form; LUMENFALL_FUZZ_FULL=1 runs the full
// 100,000 inputs.
#include "canvas/svg/SvgParser.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/SvgTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
using namespace plugkit::canvas::svg;
using lumenfall::test::FuzzRng;

constexpr int kShortRuns = 4000;
constexpr int kFullRuns = 100000;

int Runs()
{
    const char* full = std::getenv("LUMENFALL_FUZZ_FULL");
    return full != nullptr && std::strcmp(full, "0") != 0 ? kFullRuns : kShortRuns;
}

const char* const kCorpus[] = {
    R"~(<svg xmlns="http://www.w3.org/2000/svg" width="100" height="50" viewBox="0 0 200 100">
  <defs>
    <linearGradient id="a" x1="0" y1="0" x2="1" y2="1" spreadMethod="reflect">
      <stop offset="0" stop-color="#f00"/><stop offset=".5" style="stop-color:rgb(0,50%,0);stop-opacity:.5"/>
      <stop offset="1" stop-color="navy"/>
    </linearGradient>
    <radialGradient id="b" href="#a" cx="30%" r=".4" fx=".2" gradientTransform="rotate(20 .5 .5)"/>
  </defs>
  <g transform="translate(10 5) scale(1.5)" opacity=".8" fill="url(#a) red" stroke="#123">
    <rect x="1" y="2" width="30" height="20" rx="4"/>
    <circle cx="50" cy="20" r="10" style="fill:url(#b);stroke-width:2;stroke-dasharray:2 1 3"/>
    <ellipse cx="80" cy="20" rx="12" ry="6" transform="skewX(10) rotate(30, 80, 20)"/>
  </g>
</svg>)~",
    R"~(<svg width="64" height="64"><path d="M1.5.5L10-2e1l3 4h-5v5H10V20zM0 0C0 10 10 10 10 0S20-10 20 0Q30 10 40 0T60 0A10 5 30 1 0 30 30a5 5 0 0010 10z" fill-rule="evenodd" stroke="red" stroke-linecap="round" stroke-linejoin="bevel" stroke-miterlimit="8"/>
<polyline points="0,0 10,5 20,0 30 5" fill="none" stroke="blue" stroke-width="3"/><polygon points="5 5 15 5 10 15"/><line x1="0" y1="60" x2="60" y2="0" stroke="currentColor" color="olive"/></svg>)~",
    R"~(<?xml version="1.0"?><!DOCTYPE svg [<!ENTITY x "y">]><!-- c --><svg viewBox="0 0 10 10" width="1in" height="10mm" preserveAspectRatio="xMaxYMin slice">
<style><![CDATA[ .a{fill:red} ]]></style><switch><foreignObject/><g display="inline"><rect width="5" height="5" class="a" style="fill:#abc;opacity:0.5" visibility="hidden"/><rect x="5" width="5" height="5" visibility="visible" fill-opacity="50%"/></g></switch>
<text>hi</text><g style="display:none"><circle r="3"/></g><a><path d="m1 1 2 2" stroke="black"/></a></svg>)~",
};

// Pieces of SVG that a mutation splices in, to reach the parser's deeper branches.
const char* const kTokens[] = {
    "<g>",
    "</g>",
    "<path d=\"",
    "\"/>",
    "<rect width=\"5\" height=\"5\"/>",
    "M",
    "m",
    "a",
    "A",
    "z",
    "1e39",
    "-1e-39",
    "1e",
    ".",
    "-",
    ",",
    "0",
    "1",
    "99999999999999999999999",
    "NaN",
    "inf",
    "url(#",
    "url(#a)",
    "#",
    "href=\"#a\"",
    "<linearGradient id=\"a\">",
    "<radialGradient id=\"b\" href=\"#b\">",
    "<stop offset=\"",
    "<!--",
    "-->",
    "<![CDATA[",
    "]]>",
    "<!DOCTYPE [",
    "transform=\"",
    "rotate(",
    "scale(0)",
    "matrix(",
    ")",
    "(",
    "style=\"",
    ";",
    ":",
    "%",
    "mm",
    "in",
    "em",
    "viewBox=\"",
    "0 0 0 0",
    "width=\"",
    "\"",
    "'",
    "<",
    ">",
    "/",
    "=",
    " ",
    "<svg>",
    "</svg>",
    "rgb(",
    "currentColor",
    "none",
    "stroke-dasharray=\"",
    "stroke-width=\"",
};

void InsertToken(std::string& text, FuzzRng& rng)
{
    const std::string token = kTokens[rng.Below(static_cast<int>(std::size(kTokens)))];
    const int at = rng.Below(static_cast<int>(text.size()) + 1);
    if (rng.OneIn(8))
    {
        // Many copies at once: deep nesting, long lists, long numbers.
        std::string run;
        for (int i = rng.Range(2, 200); i > 0; --i)
            run += token;
        text.insert(static_cast<size_t>(at), run);
    }
    else
        text.insert(static_cast<size_t>(at), token);
}

bool Finite(float v)
{
    return std::isfinite(v);
}

// The promises of a parsed document; the first one broken, or an empty text.
std::string Broken(const Document& doc)
{
    if (!(Finite(doc.width) && Finite(doc.height) && doc.width > 0.f && doc.height > 0.f))
        return "size";
    bool anyVisible = false;
    size_t points = 0;
    if (doc.shapes.size() > static_cast<size_t>(kMaxShapes))
        return "shape count";
    for (const Shape& s : doc.shapes)
    {
        anyVisible = anyVisible || s.visible;
        if (s.paths.empty())
            return "shape without paths";
        if (!(s.opacity >= 0.f && s.opacity <= 1.f) || !(s.strokeWidth >= 0.f) ||
            !Finite(s.strokeWidth) || !Finite(s.strokeDashOffset) || !(s.miterLimit >= 1.f) ||
            !Finite(s.miterLimit))
            return "stroke or opacity";
        if (s.strokeDashArray.size() > 8)
            return "dash count";
        for (float d : s.strokeDashArray)
            if (!(d > 0.f) || !Finite(d))
                return "dash value";
        if (s.fill.kind == PaintKind::None && s.stroke.kind == PaintKind::None)
            return "shape without paint";
        for (const Paint* p : {&s.fill, &s.stroke})
        {
            if (p->kind != PaintKind::LinearGradient && p->kind != PaintKind::RadialGradient)
                continue;
            const Gradient& g = p->gradient;
            if (g.stops.size() < 2 || g.stops.size() > static_cast<size_t>(kMaxGradientStops))
                return "stop count";
            for (float v : g.xform)
                if (!Finite(v))
                    return "gradient transform";
            if (!Finite(g.fx) || !Finite(g.fy) || std::hypot(g.fx, g.fy) > 1.0001f)
                return "focal point";
            float last = 0.f;
            for (const GradientStop& stop : g.stops)
            {
                if (!(stop.offset >= last && stop.offset <= 1.f))
                    return "stop offsets";
                last = stop.offset;
            }
        }
        for (const Path& path : s.paths)
        {
            const size_t n = path.pts.size() / 2;
            if (path.pts.size() % 2 != 0 || n < 4 || (n - 1) % 3 != 0)
                return "path point count";
            points += n;
            for (size_t i = 0; i < path.pts.size(); ++i)
            {
                const float v = path.pts[i];
                const size_t axis = i % 2;
                if (!Finite(v) || v < path.bounds[axis] || v > path.bounds[2 + axis])
                    return "path point outside its bounds";
            }
            for (int k = 0; k < 2; ++k)
                if (path.bounds[k] < s.bounds[k] || path.bounds[2 + k] > s.bounds[2 + k])
                    return "path bounds outside the shape's";
        }
    }
    if (points > static_cast<size_t>(kMaxPoints))
        return "point count";
    return anyVisible ? std::string() : "no visible shape";
}

TEST(SvgFuzz, MutatedDocumentsKeepTheDocumentPromises)
{
    std::vector<std::string> seeds(std::begin(kCorpus), std::end(kCorpus));
    seeds.push_back(plugkit::canvas::svg::test::ReadFile(LUMENFALL_LOGO_SVG));
    for (const std::string& seed : seeds)
        ASSERT_NE(plugkit::canvas::svg::test::Parse(seed), nullptr) << seed.substr(0, 60);

    FuzzRng rng(0x5e6f1a7b);
    const int runs = Runs();
    int parsed = 0;
    double slowest = 0.0;
    size_t slowestSize = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int run = 0; run < runs; ++run)
    {
        const std::string& seed =
            seeds[static_cast<size_t>(rng.Below(static_cast<int>(seeds.size())))];
        std::string text = seed;
        for (int m = rng.Range(1, 4); m > 0; --m)
        {
            if (rng.OneIn(2))
                InsertToken(text, rng);
            else
            {
                std::vector<std::uint8_t> bytes(text.begin(), text.end());
                const std::vector<std::uint8_t> donor(seeds[0].begin(), seeds[0].end());
                lumenfall::test::Mutate(bytes, donor, rng);
                text.assign(bytes.begin(), bytes.end());
            }
        }
        // An exactly sized copy, so that a read past the end is a heap overflow.
        const std::vector<char> input(text.begin(), text.end());
        const char* units = rng.OneIn(8) ? "mm" : "px";
        static constexpr float kDpis[] = {96.f, 72.f, 0.f, -96.f, NAN, INFINITY, 1e-30f, 1e30f};
        const float dpi =
            rng.OneIn(8) ? kDpis[rng.Below(static_cast<int>(std::size(kDpis)))] : 96.f;
        const auto before = std::chrono::steady_clock::now();
        const auto doc = ParseSvg(input.data(), input.size(), units, dpi);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
        if (seconds > slowest)
        {
            slowest = seconds;
            slowestSize = input.size();
        }
        if (doc == nullptr)
            continue;
        ++parsed;
        const std::string broken = Broken(*doc);
        ASSERT_EQ(broken, "") << "run " << run << ": " << text;
    }
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("svg fuzz: %d inputs, %d parsed, %.1f s, slowest %.2f ms (%zu bytes)\n",
                runs,
                parsed,
                total,
                slowest * 1000.0,
                slowestSize);
}

TEST(SvgFuzz, HostileDocumentsAtTheSizeLimit)
{
    // Documents just under the input limit, each built to stress one part of the parser; the
    // times printed show that parsing stays linear in the input.
    auto fill = [](std::string head, const std::string& unit, const std::string& tail)
    {
        while (head.size() + unit.size() + tail.size() < kMaxInputBytes)
            head += unit;
        return head + tail;
    };
    const std::string svg = R"~(<svg width="10" height="10">)~";
    const std::string rect = R"~(<rect width="5" height="5"/>)~";
    std::string deep;
    std::string undeep;
    for (int i = 0; i < kMaxElementDepth - 3; ++i)
    {
        deep += "<g>";
        undeep += "</g>";
    }
    // Sixteen gradients linked by hrefs with 100 kB ids, the first one the fill of a group
    // of shapes that all inherit it.
    const std::string longIds = [&]
    {
        const std::string id(100000, 'i');
        std::string text = svg;
        for (int i = 0; i < 16; ++i)
            text += "<linearGradient id=\"" + id + std::to_string(i) + "\" href=\"#" + id +
                    std::to_string(i + 1) + "\"/>";
        text += "<linearGradient id=\"" + id + "16\">" + R"~(<stop/><stop offset="1"/>)~" +
                "</linearGradient><g fill=\"url(#" + id + "0)\">";
        for (int i = 1; i < kMaxShapes; ++i)
            text += rect;
        return text + "</g></svg>";
    }();
    const std::string shaded = R"~(<rect width="5" height="5" fill="url(#g)"/>)~";
    const std::string stops = []
    {
        std::string s = R"~(<linearGradient id="g">)~";
        for (int i = 0; i < kMaxGradientStops; ++i)
            s += R"~(<stop offset="0.5" stop-color="red"/>)~";
        return s + "</linearGradient>";
    }();
    struct Case
    {
        const char* name;
        std::string text;
        bool parses;
    };
    const Case cases[] = {
        {"one long path", fill(svg + R"~(<path d="M0 0)~", " l1 1", R"~("/></svg>)~"), false},
        {"a million groups, 61 deep", fill(svg + deep, "<g></g>", rect + undeep + "</svg>"), true},
        {"one element with every attribute",
         fill(svg + "<rect width=\"5\" height=\"5\"", " a=\"1\"", "/></svg>"),
         true},
        {"one style of many declarations",
         fill(svg + "<rect width=\"5\" height=\"5\" style=\"", "fill:red;", "\"/></svg>"),
         true},
        {"a comment never closed", fill(svg + rect + "<!--", "-- ", ""), true},
        {"long numbers",
         fill(svg + R"~(<rect height="5" width="5)~", "0", R"~("/></svg>)~"),
         false},
        {"shapes sharing a gradient", fill(svg + stops, shaded, "</svg>"), false},
        {"a chain of gradients",
         fill(svg + rect + stops, R"~(<linearGradient id="g" href="#g"/>)~", "</svg>"),
         false},
        {"long ids shared by every shape", longIds, true},
    };
    for (const Case& c : cases)
    {
        ASSERT_LE(c.text.size(), kMaxInputBytes) << c.name;
        const auto start = std::chrono::steady_clock::now();
        const auto doc = ParseSvg(c.text.data(), c.text.size(), "px", 96.f);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        std::printf(
            "svg at the limit: %-36s %7.1f ms, %s\n", c.name, ms, doc ? "parsed" : "refused");
        EXPECT_EQ(doc != nullptr, c.parses) << c.name;
        if (doc != nullptr)
        {
            EXPECT_EQ(Broken(*doc), "") << c.name;
        }
    }
}

} // namespace
