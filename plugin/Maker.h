#pragma once

#include <array>
#include <cstddef>

namespace lumenfall
{

/// Who makes the product and where to reach them, written once: the plug-in's configuration,
/// the module's factory and the editor's brand and support controls read these.
inline constexpr char kMakerName[] = "TESSALINE";
inline constexpr char kMakerUrl[] = "https://tessaline.example";
inline constexpr char kSupportEmail[] = "support@tessaline.example";

/// The given string literals end to end, null-terminated, built at compile time: texts that
/// quote one of the constants above take it from there (`JoinLiterals(...).data()`).
template <std::size_t... N>
constexpr std::array<char, (N + ...) - sizeof...(N) + 1> JoinLiterals(const char (&... parts)[N])
{
    std::array<char, (N + ...) - sizeof...(N) + 1> joined{};
    std::size_t at = 0;
    const auto append = [&](const char* part, std::size_t size)
    {
        for (std::size_t i = 0; i + 1 < size; ++i)
            joined[at++] = part[i];
    };
    (append(parts, N), ...);
    return joined;
}

} // namespace lumenfall
