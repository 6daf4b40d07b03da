#include "plugin/editor/EditorTexts.h"

#include "plugin/editor/EditorLayout.h"

namespace lumenfall::editor
{

namespace
{

using engine::ParamId;
using Text = const char*;

// The texts of each parameter, one row per ParamId in ParamId order.
struct ParamTexts
{
    ParamId id;
    const char* caption;
    const char* help;
};

constexpr ParamTexts kParamTexts[] = {
    {ParamId::ReverbType,
     "TYPE",
     "Choose one of thirteen original algorithmic characters. These are not measured spaces or "
     "replicas of named hardware."},
    {ParamId::Decay,
     "DECAY",
     "Set the main decay time. Bass and Treble Decay scale the tail independently; gated and "
     "reverse models use their envelope controls."},
    {ParamId::PreDelay,
     "PRE-DELAY",
     "Delay only the wet sound, preserving a zero-latency dry path. Turn Sync off to enter "
     "milliseconds; with Sync on, choose a note division."},
    {ParamId::Size,
     "SIZE",
     "Change the spatial scale and internal time relationships. Decay separately controls how "
     "long energy remains."},
    {ParamId::Mix,
     "MIX",
     "Blend the unchanged dry reference and reverb. Use 100% on an effect send. Wet Solo also "
     "outputs the wet signal alone."},
    {ParamId::Width,
     "WIDTH",
     "Set the wet stereo width: 0% is mono, 100% is normal stereo, 200% enhances the sides. Mono "
     "output is normalized."},
    {ParamId::Tone,
     "TONE",
     "Gently colour the wet output. Negative settings are darker and positive settings are "
     "brighter."},
    {ParamId::InputTrim,
     "INPUT TRIM",
     "Trim the signal exciting the reverb. The dry reference is unchanged by Input Trim."},
    {ParamId::OutputTrim,
     "OUTPUT TRIM",
     "Trim the complete output after the blend. Full Bypass retains the original dry signal."},
    {ParamId::EarlyReflections,
     "EARLY",
     "Set the early reflection contribution. Use it to establish the space and keep the source "
     "connected to it."},
    {ParamId::LateTail,
     "TAIL",
     "Set the diffuse late tail contribution. Balance it against Early Reflections for depth and "
     "definition."},
    {ParamId::Diffusion,
     "DIFFUSION",
     "Spread reflections and echoes into a smoother texture. Lower settings retain more audible "
     "definition."},
    {ParamId::Density,
     "DENSITY",
     "Adjust the density of the reverb structure. Higher settings make the tail feel more closely "
     "packed."},
    {ParamId::LowCut,
     "LOW CUT",
     "Remove low-frequency energy from the wet path. Enter Hz or kHz. The dry reference remains "
     "unchanged."},
    {ParamId::HighCut,
     "HIGH CUT",
     "Filter the top of the wet sound. Enter Hz or kHz. Use HF Damping separately to shape "
     "high-frequency decay."},
    {ParamId::BassDecay,
     "BASS DECAY",
     "Scale the decay of low-frequency energy relative to the main Decay time. 1.0x means the "
     "same nominal decay."},
    {ParamId::TrebleDecay,
     "TREBLE DECAY",
     "Scale the high-frequency decay relative to the main Decay time. Lower values shorten the "
     "bright part of the tail."},
    {ParamId::BassCrossover,
     "BASS CROSSOVER",
     "Set the frequency separating the low-frequency decay region. Works with Bass Decay."},
    {ParamId::HFDamping,
     "HF DAMPING",
     "Set the high-frequency damping region. Use it with Treble Decay to soften the tail over "
     "time."},
    {ParamId::ModulationDepth,
     "MOD DEPTH",
     "Add gentle internal delay modulation. Small amounts can smooth resonances; larger amounts "
     "create more movement."},
    {ParamId::ModulationRate,
     "MOD RATE",
     "Set the modulation speed in Hz. Enter a numeric frequency; this control is separate from "
     "pre-delay note sync."},
    {ParamId::Ducking,
     "DUCK AMOUNT",
     "Reduce the wet signal while the input is active. The dry signal is not ducked. The live "
     "DUCK meter shows the reduction."},
    {ParamId::DuckRelease,
     "DUCK RELEASE",
     "Set how quickly wet ducking recovers after the input falls. Enter milliseconds or seconds."},
    {ParamId::GateLength,
     "GATE LENGTH",
     "Set the envelope duration for Gated and Reverse. This control is active only for those two "
     "models."},
    {ParamId::EnvelopeShape,
     "ENVELOPE SHAPE",
     "Change the Gated or Reverse envelope contour. This control is active only for those two "
     "models."},
    {ParamId::ShimmerAmount,
     "SHIMMER",
     "Set the pitch-shifted energy contribution in Shimmer. This control is active only for the "
     "Shimmer model."},
    {ParamId::Freeze,
     "FREEZE",
     "Stop new excitation and sustain the existing finite wet energy. Release Freeze to let the "
     "tail decay normally."},
    {ParamId::Bypass,
     "BYPASS",
     "Fade into the original dry reference. Reverb excitation stops and the tail fades naturally; "
     "the settled dry output is unchanged."},
    {ParamId::PreDelaySync,
     "SYNC",
     "Sync the wet pre-delay to the host tempo. Choose a note division; the engine clamps the "
     "delay to its 2000 ms buffer."},
    {ParamId::NoteDivision,
     "DIVISION",
     "Choose the tempo-synced wet pre-delay division. Dotted and triplet choices use the host "
     "tempo. Enable Sync to apply it."},
    {ParamId::GateRelease,
     "GATE RELEASE",
     "Set the ending transition for Gated and Reverse. Enter milliseconds or seconds; active only "
     "in those models."},
    {ParamId::WetSolo,
     "WET SOLO",
     "Listen to the wet signal alone, independently of Mix. Useful for adjusting a send or "
     "checking the tail."},
};
static_assert(engine::RowsFollowParamIds(kParamTexts), "one row per ParamId, in ParamId order");

template <typename Field>
constexpr std::array<const char*, engine::kParamCount> TextColumn(Field field)
{
    std::array<const char*, engine::kParamCount> column{};
    for (int i = 0; i < engine::kParamCount; ++i)
        column[i] = field(kParamTexts[i]);
    return column;
}

} // namespace

const std::array<const char*, engine::kParamCount> KnobCaptions =
    TextColumn([](const ParamTexts& t) { return t.caption; });
const std::array<const char*, engine::kParamCount> ParamHelpTexts =
    TextColumn([](const ParamTexts& t) { return t.help; });

const std::array<const char*, engine::kReverbModelCount> ModelDescriptions = std::to_array<Text>({
    "A short, diffuse sense of air. Keep the original sound close and add a little space around "
    "it.",
    "Compact early reflections and a short tail. Useful when a sound needs a believable place in "
    "a mix.",
    "A controlled room character with balanced reflections. Shape the space around vocals and "
    "instruments.",
    "A resonant chamber character with a denser, spreading tail. Balance definition with a "
    "little richness.",
    "A broad, diffuse hall. Early reflections establish the space; the late tail gives it depth.",
    "A large, lingering space. Use pre-delay and damping to keep long decays clear.",
    "A distinct plate tank with a smooth, dense tail. An expressive alternative to a "
    "room-shaped space.",
    "A dispersive spring character. Its frequency-dependent propagation gives the tail a "
    "different texture.",
    "An original vintage digital character. Diffusion and modulation shape a deliberately "
    "coloured tail.",
    "A modern diffuse network for spacious, smooth tails. Control motion and frequency-dependent "
    "decay.",
    "A shaped tail with a controlled ending. Gate Length, Shape and Gate Release define its "
    "envelope.",
    "A rising, reverse-style envelope. Shape and Gate Length control its buildup and release.",
    "A diffuse tail with pitch-shifted energy. Shimmer Amount controls that additional layer.",
});

const char* SectionHelpTitle(int section)
{
    return section == kSectionBasic ? "BASIC / YOUR MAIN CONTROLS"
                                    : "ADVANCED / REFINE THE CHARACTER";
}

const char* SectionHelpBody(int section)
{
    return section == kSectionBasic
               ? "Start with Decay, Pre-delay and Mix. Balance Early and Tail, then adjust the "
                 "width and tone."
               : "Choose an Advanced section. Dimmed special controls become active when their "
                 "matching reverb model is selected.";
}

const char* GroupNoteTitle(int section)
{
    switch (section)
    {
    case kSectionTailMotion:
        return "TAIL, NOT JUST TONE";
    case kSectionLevelDuck:
        return "KEEP THE SOURCE CLEAR";
    case kSectionSpecial:
        return "SPECIAL ENVELOPES";
    default:
        return nullptr;
    }
}

const char* GroupNoteBody(int section)
{
    switch (section)
    {
    case kSectionTailMotion:
        return "Bass and Treble Decay set how long their bands remain.\n\nModulation adds "
               "internal movement. Start gently for a smooth tail, then increase it for a more "
               "animated texture.";
    case kSectionLevelDuck:
        return "Input Trim changes reverb excitation; the dry reference stays unchanged.\n\n"
               "Ducking reduces wet sound during active input. Release controls its return. "
               "Output Trim affects the full mix.";
    case kSectionSpecial:
        return "Gated and Reverse use Gate Length, Shape and Gate Release. Shimmer uses its "
               "pitch-shifted energy control.\n\nSelect the matching model to edit a dimmed "
               "control. Freeze and Wet Solo are below.";
    default:
        return nullptr;
    }
}

} // namespace lumenfall::editor
