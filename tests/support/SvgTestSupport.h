// Small helpers shared by the SVG parser's tests.
#pragma once

#include "canvas/svg/SvgParser.h"

#include <cstdio>
#include <memory>
#include <string>

namespace plugkit::canvas::svg::test
{

inline std::unique_ptr<Document>
Parse(const std::string& text, const char* units = "px", float dpi = 96.f)
{
    return ParseSvg(text.data(), text.size(), units, dpi);
}

/// `body` inside an <svg> root with `rootAttributes`.
inline std::string Svg(const std::string& body,
                       const std::string& rootAttributes = R"(width="100" height="100")")
{
    return R"(<svg xmlns="http://www.w3.org/2000/svg" )" + rootAttributes + ">" + body + "</svg>";
}

/// The whole file at `path`; empty when it cannot be read.
inline std::string ReadFile(const char* path)
{
    std::string text;
    if (FILE* f = std::fopen(path, "rb"))
    {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

} // namespace plugkit::canvas::svg::test
