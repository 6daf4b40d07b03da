#pragma once

#include "plugin/Maker.h"
#include "plugin/engine/Parameters.h"

#include <array>

namespace lumenfall::editor
{

/// The font identifier of every editor text, bound to kFontFile when the editor opens.
inline constexpr const char* kFontId = "TESSALINE";
inline constexpr const char* kFontFile = "Roboto-Regular.ttf";
inline constexpr const char* kLogoFile = "tessaline_logo.svg";

using ::lumenfall::kMakerName;
using ::lumenfall::kMakerUrl;
using ::lumenfall::kSupportEmail;
inline constexpr auto kSupportLinkText = JoinLiterals("mailto:", kSupportEmail);
inline constexpr const char* kSupportLink = kSupportLinkText.data();

/// Upper-case captions by ParamId: a knob's caption and help title, a toggle button's label.
extern const std::array<const char*, engine::kParamCount> KnobCaptions;
/// One help sentence per ParamId: tooltip and help body.
extern const std::array<const char*, engine::kParamCount> ParamHelpTexts;
/// One sentence per ReverbModel, shown beside the model menu.
extern const std::array<const char*, engine::kReverbModelCount> ModelDescriptions;

/// The help panel for a page: BASIC for section 0, the advanced note for every other.
const char* SectionHelpTitle(int section);
const char* SectionHelpBody(int section);

/// The group note of an advanced section from TAIL / MOTION on; null for the others.
const char* GroupNoteTitle(int section);
const char* GroupNoteBody(int section);

/// Shown in the help panel when typed text is rejected.
inline constexpr const char* kTypedEntryRejected =
    "Enter a finite number with its displayed unit. Time controls accept ms or s; frequency "
    "controls accept Hz or kHz. Invalid text leaves the value unchanged.";

/// Names and help of the controls that carry no parameter.
inline constexpr const char* kPresetTooltip =
    "Twenty-six factory starting points. Edits and host automation display Custom when values "
    "no longer match.";
inline constexpr const char* kPresetHelpTitle = "FACTORY PRESETS";
inline constexpr const char* kPresetHelpBody =
    "Choose a starting point for the current source. Custom means your live controls differ "
    "from a factory preset.";
inline constexpr const char* kCustomPresetName = "Custom";
inline constexpr const char* kABHelpTitle = "A/B COMPARISON";
inline constexpr const char* kABHelpBody =
    "Switch between two complete settings slots. Edits remain in the current slot; COPY clones "
    "it to the other slot.";
inline constexpr const char* kCopyHelpTitle = "COPY CURRENT SETTINGS";
inline constexpr const char* kCopyHelpBody =
    "Copy the complete current settings to the other A/B slot, then switch slots and explore a "
    "change.";
inline constexpr auto kSupportHelpTitleText = JoinLiterals(kMakerName, " SUPPORT");
inline constexpr const char* kSupportHelpTitle = kSupportHelpTitleText.data();
inline constexpr auto kSupportHelpBodyText =
    JoinLiterals("Contact ",
                 kSupportEmail,
                 " with your Windows version, DAW version and a clear description of the issue.");
inline constexpr const char* kSupportHelpBody = kSupportHelpBodyText.data();
inline constexpr auto kBrandTooltipText =
    JoinLiterals("Open ", kMakerName, " plugins and support.");
inline constexpr const char* kBrandTooltip = kBrandTooltipText.data();
inline constexpr const char* kBrandHelpTitle = kMakerName;
inline constexpr auto kBrandHelpBodyText = JoinLiterals(
    "Independent audio tools. Open ", kMakerUrl, " for plugins, downloads and support.");
inline constexpr const char* kBrandHelpBody = kBrandHelpBodyText.data();

} // namespace lumenfall::editor
