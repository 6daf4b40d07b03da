#pragma once

#include "plugin/editor/EditorLayout.h"
#include "plugin/editor/EditorTexts.h"

#include <string>
#include <vector>

namespace plugkit::canvas
{
class IControl;
} // namespace plugkit::canvas

namespace lumenfall::editor
{

/// A control that shows on some pages only.
struct SectionControl
{
    plugkit::canvas::IControl* control = nullptr; ///< not owned: the canvas owns it
    int section = kSectionBasic;                  ///< its page, or kAllAdvancedSections
};

/// What the controls of one open editor share: the page shown and the help panel's text.
/// Created by the layout and shared by the controls that read or write it; it lives until the
/// last of them is destroyed. UI thread only.
struct ViewState
{
    int section = kSectionBasic;
    /// The advanced group ADVANCED returns to.
    int lastAdvancedSection = kSectionSpace;
    std::string helpTitle = SectionHelpTitle(kSectionBasic);
    std::string helpBody = SectionHelpBody(kSectionBasic);
    /// In registration order.
    std::vector<SectionControl> sectionControls;
};

} // namespace lumenfall::editor
