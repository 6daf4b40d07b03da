#pragma once

#include "plugin/engine/Parameters.h"

namespace lumenfall::editor
{

/// The plug-in as its editor's controls reach it beyond the editor delegate: factory presets,
/// the A/B slots and the meters. Parameter values and edits go through the editor delegate, as
/// for every toolkit control. `Lumenfall` implements this; the editor is built against it
/// alone, so it is compiled once per toolkit variant, not once per host adapter.
///
/// Threads: the editor calls these on the UI thread only, from its controls' input handlers,
/// dirty checks and drawing; the audio thread never goes through this interface.
class EditorPlugin
{
public:
    /// [ui-thread] Applies factory preset `index` (0..25) with the host informed of every value
    /// and makes it the preset index; any other index is ignored.
    virtual void SelectFactoryPreset(int index) = 0;
    /// [ui-thread] The first factory preset the current values match, or -1 ("Custom").
    virtual int FindMatchingPreset() const = 0;
    /// [ui-thread] The current values become the other slot's.
    virtual void CopyToOtherSlot() = 0;
    /// [ui-thread] Exchanges the current values with the other slot (host informed) and
    /// toggles the active slot.
    virtual void SwitchABSlot() = 0;
    /// [ui-thread] 0 while slot A is active, 1 for slot B.
    virtual int GetActiveSlot() const = 0;
    /// [ui-thread] The meter levels of the last host block.
    virtual engine::MeterLevels GetMeterLevels() const = 0;

protected:
    // Never deleted through this interface: the plug-in's owner deletes the plug-in.
    ~EditorPlugin() = default;
};

} // namespace lumenfall::editor
