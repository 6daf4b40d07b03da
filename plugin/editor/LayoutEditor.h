#pragma once

#include "plugin/editor/EditorPlugin.h"
#include "plugin/editor/ViewState.h"

namespace plugkit::canvas
{
class ICanvas;
} // namespace plugkit::canvas

namespace lumenfall::editor
{

/// [ui-thread] Fills a new, empty editor with the product's controls for `plug` and shows the
/// BASIC page. Called once per editor opening, by the plug-in's layout callback.
void LayoutEditor(plugkit::canvas::ICanvas& g, EditorPlugin& plug);

/// [ui-thread] Shows page `section` (0 BASIC, 1..4 the advanced groups): hides the controls of
/// every other page, remembers an advanced group for ADVANCED, sets the page's help text and
/// redraws everything.
void SelectSection(ViewState& state, int section, plugkit::canvas::ICanvas& g);

} // namespace lumenfall::editor
