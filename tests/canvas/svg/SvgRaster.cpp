#include "tests/canvas/svg/SvgRaster.h"

#include <algorithm>
#include <cmath>

// The one place in the tests that compiles the PNG writer; its own code is not held to our
// warning flags.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace plugkit::canvas::svg::test
{
namespace
{

constexpr int kSamples = 4;        // per axis
constexpr int kCurveSegments = 16; // lines per cubic

struct Edge
{
    float x0, y0, x1, y1;
    int direction; // +1 downwards, -1 upwards
};

void AddEdge(std::vector<Edge>& edges, float x0, float y0, float x1, float y1)
{
    if (y0 != y1)
        edges.push_back({x0, y0, x1, y1, y1 > y0 ? 1 : -1});
}

// Every path flattened and closed, in pixels.
std::vector<Edge> Flatten(const Shape& shape, float scale)
{
    std::vector<Edge> edges;
    for (const Path& path : shape.paths)
    {
        const std::vector<float>& p = path.pts;
        float px = p[0] * scale;
        float py = p[1] * scale;
        for (size_t i = 2; i + 5 < p.size(); i += 6)
        {
            const float* c = &p[i - 2];
            for (int k = 1; k <= kCurveSegments; ++k)
            {
                const float t = static_cast<float>(k) / kCurveSegments;
                const float u = 1.f - t;
                const float x = u * u * u * c[0] + 3 * u * u * t * c[2] + 3 * u * t * t * c[4] +
                                t * t * t * c[6];
                const float y = u * u * u * c[1] + 3 * u * u * t * c[3] + 3 * u * t * t * c[5] +
                                t * t * t * c[7];
                AddEdge(edges, px, py, x * scale, y * scale);
                px = x * scale;
                py = y * scale;
            }
        }
        AddEdge(edges, px, py, p[0] * scale, p[1] * scale);
    }
    return edges;
}

// 16-bit coverage (0 to kSamples squared) of every pixel.
std::vector<int> Coverage(const std::vector<Edge>& edges, FillRule rule, int width, int height)
{
    std::vector<int> cover(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    std::vector<std::pair<float, int>> crossings;
    for (int row = 0; row < height * kSamples; ++row)
    {
        const float y = (static_cast<float>(row) + 0.5f) / kSamples;
        crossings.clear();
        for (const Edge& e : edges)
        {
            const float top = std::min(e.y0, e.y1);
            const float bottom = std::max(e.y0, e.y1);
            if (y < top || y >= bottom)
                continue;
            crossings.emplace_back(e.x0 + (y - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0), e.direction);
        }
        std::sort(crossings.begin(), crossings.end());
        int winding = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i)
        {
            winding += crossings[i].second;
            const bool inside = rule == FillRule::EvenOdd ? (i % 2 == 0) : winding != 0;
            if (!inside)
                continue;
            // Sample columns whose centres lie in [a, b), held to the image.
            const float limit = static_cast<float>(width * kSamples);
            const float a = std::clamp(crossings[i].first * kSamples - 0.5f, 0.f, limit);
            const float b = std::clamp(crossings[i + 1].first * kSamples - 0.5f, 0.f, limit);
            const int first = static_cast<int>(std::ceil(a));
            const int last = static_cast<int>(std::ceil(b));
            for (int column = first; column < last; ++column)
                ++cover[static_cast<size_t>(row / kSamples) * static_cast<size_t>(width) +
                        static_cast<size_t>(column / kSamples)];
        }
    }
    return cover;
}

float Spread(float t, svg::Spread spread)
{
    switch (spread)
    {
    case svg::Spread::Reflect:
    {
        const float m = std::fmod(std::fabs(t), 2.f);
        return m > 1.f ? 2.f - m : m;
    }
    case svg::Spread::Repeat:
        return t - std::floor(t);
    default:
        return std::clamp(t, 0.f, 1.f);
    }
}

// The paint's colour at a document point, straight alpha 0..1 in [3].
void PaintAt(const Paint& paint, float x, float y, float out[4])
{
    if (paint.kind == PaintKind::Color)
    {
        const Color& c = paint.color;
        out[0] = c.r, out[1] = c.g, out[2] = c.b, out[3] = c.a / 255.f;
        return;
    }
    const Gradient& g = paint.gradient;
    const float u = g.xform[0] * x + g.xform[2] * y + g.xform[4];
    const float v = g.xform[1] * x + g.xform[3] * y + g.xform[5];
    const float t =
        Spread(paint.kind == PaintKind::LinearGradient ? v : std::hypot(u, v), g.spread);
    const std::vector<GradientStop>& stops = g.stops;
    size_t i = 0;
    while (i + 1 < stops.size() && stops[i + 1].offset < t)
        ++i;
    const GradientStop& a = stops[i];
    const GradientStop& b = stops[std::min(i + 1, stops.size() - 1)];
    const float span = b.offset - a.offset;
    const float f = span > 0.f ? std::clamp((t - a.offset) / span, 0.f, 1.f) : 0.f;
    out[0] = a.color.r + f * (b.color.r - a.color.r);
    out[1] = a.color.g + f * (b.color.g - a.color.g);
    out[2] = a.color.b + f * (b.color.b - a.color.b);
    out[3] = (a.color.a + f * (b.color.a - a.color.a)) / 255.f;
}

} // namespace

Image Rasterise(const Document& doc, float scale, uint32_t background)
{
    Image image;
    image.width = static_cast<int>(std::ceil(doc.width * scale));
    image.height = static_cast<int>(std::ceil(doc.height * scale));
    image.rgba.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
    for (size_t i = 0; i < image.rgba.size(); i += 4)
    {
        image.rgba[i] = static_cast<uint8_t>(background >> 16);
        image.rgba[i + 1] = static_cast<uint8_t>(background >> 8);
        image.rgba[i + 2] = static_cast<uint8_t>(background);
        image.rgba[i + 3] = 255;
    }
    for (const Shape& shape : doc.shapes)
    {
        if (!shape.visible || shape.fill.kind == PaintKind::None)
            continue;
        const std::vector<int> cover =
            Coverage(Flatten(shape, scale), shape.fillRule, image.width, image.height);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
            {
                const int c = cover[static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                                    static_cast<size_t>(x)];
                if (c == 0)
                    continue;
                float color[4];
                PaintAt(shape.fill, (x + 0.5f) / scale, (y + 0.5f) / scale, color);
                const float alpha =
                    color[3] * shape.opacity * static_cast<float>(c) / (kSamples * kSamples);
                uint8_t* px = image.rgba.data() +
                              4 * (static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                                   static_cast<size_t>(x));
                for (int k = 0; k < 3; ++k)
                    px[k] =
                        static_cast<uint8_t>(std::lround(color[k] * alpha + px[k] * (1.f - alpha)));
            }
    }
    return image;
}

bool WritePng(const Image& image, const std::string& path)
{
    return stbi_write_png(
               path.c_str(), image.width, image.height, 4, image.rgba.data(), image.width * 4) != 0;
}

} // namespace plugkit::canvas::svg::test
