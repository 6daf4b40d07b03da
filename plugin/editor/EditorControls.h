#pragma once

#include "canvas/CanvasTypes.h"
#include "canvas/IControl.h"
#include "plugin/editor/EditorPlugin.h"
#include "plugin/editor/ViewState.h"
#include "plugin/engine/Parameters.h"

#include <memory>

namespace plugkit::canvas
{
class ICanvas;
class ISvgHandle;
} // namespace plugkit::canvas

namespace lumenfall::editor
{

// The product's controls. Each class lives in its own source file; the layout builds them
// through these functions. Every control reads the plug-in's values when the toolkit asks
// whether it is dirty or draws it, so it follows host automation, presets and A/B switches
// without notifications: parameter values through the editor delegate, presets, slots and
// meters through `EditorPlugin`, which must outlive the controls. The canvas owns every control
// made here. UI thread only.

using plugkit::canvas::ICanvas;
using plugkit::canvas::IControl;
using ViewStatePtr = std::shared_ptr<ViewState>;

/// What a Button does when pressed.
enum class ButtonMode : int
{
    ParamToggle,  ///< flips its on/off parameter
    ABSwitch,     ///< switches the A/B slots; reads "B" while slot B is current
    CopySettings, ///< copies the current settings to the other slot
    Section,      ///< shows its section
    Advanced,     ///< shows the advanced section shown last
    SupportLink,  ///< opens a mail to support
    Count
};

/// The editor's background: gradient, scan lines, title, panels and dividers.
IControl* MakeBackdrop(ViewStatePtr state);
/// The maker's logo (a text when `logo` is empty); opens the maker's web page.
IControl* MakeBrand(const plugkit::canvas::ISvgHandle& logo, ViewStatePtr state);
/// A drop-down of an enumerated parameter ("Reverb Type", "Note Division").
IControl* MakeEnumMenu(const IBounds& bounds, ParamId param, ViewStatePtr state);
/// The factory preset menu, naming the preset the current values match or "Custom".
IControl* MakePresetMenu(EditorPlugin& plug, ViewStatePtr state);
/// A button; `param` only for ParamToggle, `section` only for Section.
IControl* MakeButton(const IBounds& bounds,
                     const char* label,
                     EditorPlugin& plug,
                     ViewStatePtr state,
                     ButtonMode mode,
                     int param = plugkit::canvas::kNoParameter,
                     int section = kSectionBasic);
/// Creates the knob of `param` with its caption and attaches it to `g`, then its typed-entry
/// partner; returns the knob.
IControl* AttachKnob(ICanvas& g, const IBounds& bounds, ParamId param, ViewStatePtr state);
/// The model description, schematic and decay or envelope guide.
IControl* MakeSpatialDisplay();
/// Input, wet and output levels and the ducking readout.
IControl* MakeMeters(EditorPlugin& plug);
/// The help panel: the view state's help title and body.
IControl* MakeContextHelp(ViewStatePtr state);
/// The explanatory panel of the advanced groups from TAIL / MOTION on.
IControl* MakeGroupNote(ViewStatePtr state);

/// The current value of `param` in `control`'s editor delegate, in its unit; the parameter's
/// default before the control is attached.
double CurrentValue(const IControl& control, ParamId param);

} // namespace lumenfall::editor
