#pragma once

#include "canvas/CanvasTypes.h"
#include "plugin/editor/EditorPalette.h"

namespace plugkit::canvas
{
class ICanvas;
} // namespace plugkit::canvas

namespace lumenfall::editor
{

using plugkit::canvas::EAlign;
using plugkit::canvas::IBlendSpec;
using plugkit::canvas::IBounds;
using plugkit::canvas::ICanvas;
using plugkit::canvas::ITextStyle;

/// Whether anything drawn within `bounds` grown by `pad` on every side can show in the area `g`
/// is drawing now. Controls that span much of the editor leave out what a small dirty area
/// cannot show, so a meters-only frame does not rebuild the whole backdrop. The default pad
/// covers lines up to 4 units thick on the edges; a text box may pass -1, since a centred line
/// of text never reaches the last unit of its box.
bool InDrawArea(const ICanvas& g, const IBounds& bounds, float pad = 2.f);

/// The style of every editor text: the editor font, the entry colours of the palette,
/// vertically centred; size, colour and horizontal alignment as given.
ITextStyle EditorTextStyle(float size, const IArgbColor& color, EAlign align = EAlign::Near);

/// One line of text in `bounds`, vertically centred. An empty text draws nothing. Labels take
/// no blend: a disabled control's label is dimmed by its colour alone, and the control's
/// blend on top of that would leave it barely legible.
void DrawLabel(ICanvas& g,
               const char* text,
               const IBounds& bounds,
               float size,
               const IArgbColor& color,
               EAlign align = EAlign::Near);

/// The face of every button: a lit face (teal or amber) or the panel colour, outlined in the
/// accent while hovered, else in the line colour.
void DrawButtonFace(ICanvas& g,
                    const IBounds& bounds,
                    bool lit,
                    bool hovered,
                    bool teal,
                    const IBlendSpec* blend = nullptr);

/// The face of the model, division and preset menus: the panel colour with a 5-unit corner,
/// outlined in `outline`.
void DrawMenuFace(ICanvas& g,
                  const IBounds& bounds,
                  const IArgbColor& outline,
                  const IBlendSpec* blend = nullptr);

/// A drop-down chevron 10 units wide whose tip is 5 units below (x, y)'s level, centred on x.
void DrawChevron(
    ICanvas& g, float x, float y, const IArgbColor& color, const IBlendSpec* blend = nullptr);

} // namespace lumenfall::editor
