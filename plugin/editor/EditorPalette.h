#pragma once

#include "canvas/CanvasTypes.h"

namespace lumenfall::editor
{

using plugkit::canvas::IArgbColor;

// The editor's palette: dark slate with amber and teal accents.

/// Main text and lit labels.
inline constexpr IArgbColor kColorText{255, 240, 236, 226};
/// Secondary text and unlit labels.
inline constexpr IArgbColor kColorTextMuted{255, 151, 163, 169};
/// Decay and Mix arcs, hover outlines, help titles, the guide curve.
inline constexpr IArgbColor kColorAmber{255, 215, 165, 109};
/// The other arcs, the meters, lit indicators.
inline constexpr IArgbColor kColorTeal{255, 113, 197, 191};
/// Outlines, tracks and dividers.
inline constexpr IArgbColor kColorLine{255, 57, 69, 74};
/// Faces of menus and unlit buttons.
inline constexpr IArgbColor kColorPanel{255, 29, 37, 41};
/// Background of every editor text entry.
inline constexpr IArgbColor kColorEntryBackground{255, 19, 26, 29};

/// The same colour with another alpha.
constexpr IArgbColor WithAlpha(const IArgbColor& color, int alpha)
{
    return {alpha, color.R, color.G, color.B};
}

} // namespace lumenfall::editor
