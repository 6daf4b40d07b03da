#include "plugin/editor/EditorDrawing.h"

#include "canvas/ICanvas.h"
#include "plugin/editor/EditorTexts.h"

#include <cstring>

namespace lumenfall::editor
{
namespace
{

constexpr float kButtonRadius = 5.f;
constexpr IArgbColor kLitTealFace{255, 37, 65, 65};
constexpr IArgbColor kLitAmberFace{255, 70, 54, 38};

} // namespace

bool InDrawArea(const ICanvas& g, const IBounds& bounds, float pad)
{
    return g.GetDrawArea().Intersects(bounds.GetPadded(pad));
}

ITextStyle EditorTextStyle(float size, const IArgbColor& color, EAlign align)
{
    ITextStyle style;
    std::strncpy(style.font, kFontId, sizeof(style.font) - 1);
    style.size = size;
    style.color = color;
    style.entryBackgroundColor = kColorEntryBackground;
    style.entryTextColor = kColorText;
    style.angle = 0.f;
    style.align = align;
    style.valign = plugkit::canvas::EVAlign::Middle;
    return style;
}

void DrawLabel(ICanvas& g,
               const char* text,
               const IBounds& bounds,
               float size,
               const IArgbColor& color,
               EAlign align)
{
    g.DrawText(EditorTextStyle(size, color, align), text, bounds, nullptr);
}

void DrawButtonFace(
    ICanvas& g, const IBounds& bounds, bool lit, bool hovered, bool teal, const IBlendSpec* blend)
{
    const IArgbColor& face = !lit ? kColorPanel : teal ? kLitTealFace : kLitAmberFace;
    g.FillRoundRect(face, bounds, kButtonRadius, blend);
    const IArgbColor& outline = !hovered ? kColorLine : teal ? kColorTeal : kColorAmber;
    g.DrawRoundRect(outline, bounds.GetPadded(-0.5f), kButtonRadius, blend, 1.f);
}

void DrawMenuFace(ICanvas& g,
                  const IBounds& bounds,
                  const IArgbColor& outline,
                  const IBlendSpec* blend)
{
    g.FillRoundRect(kColorPanel, bounds, kButtonRadius, blend);
    g.DrawRoundRect(outline, bounds.GetPadded(-0.5f), kButtonRadius, blend, 1.f);
}

void DrawChevron(ICanvas& g, float x, float y, const IArgbColor& color, const IBlendSpec* blend)
{
    g.DrawLine(color, x - 5.f, y, x, y + 5.f, blend, 1.f);
    g.DrawLine(color, x, y + 5.f, x + 5.f, y, blend, 1.f);
}

} // namespace lumenfall::editor
