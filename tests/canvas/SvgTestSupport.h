// Small helpers shared by the SVG parser's tests.
#pragma once

#include "canvas/svg/SvgParser.h"

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

} // namespace plugkit::canvas::svg::test
