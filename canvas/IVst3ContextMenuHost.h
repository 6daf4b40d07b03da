#pragma once

// Declared, not included: whoever includes this header may not have included the SDK's
// controller headers yet, and those must come through the one header that renames their state
// calls.
namespace Steinberg
{
class IPlugView;
namespace Vst
{
class IComponentHandler;
} // namespace Vst
} // namespace Steinberg

namespace plugkit::canvas
{

/// What the toolkit needs of a VST3 plug-in to show the host's context menu of a parameter (the
/// plug-in module's editor delegate implements it): the host's component handler, asked for
/// `IComponentHandler3`, and the plug-in's open editor view. Either may be null while the host
/// has not set it or the editor is closed; then no menu is shown. [ui-thread]
class IVst3ContextMenuHost
{
public:
    virtual Steinberg::Vst::IComponentHandler* GetHostComponentHandler() = 0;
    virtual Steinberg::IPlugView* GetEditorView() = 0;

protected:
    ~IVst3ContextMenuHost() = default;
};

} // namespace plugkit::canvas
