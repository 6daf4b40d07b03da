#include "plugin/editor/EditorTexts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace lumenfall::editor
{
namespace
{

using engine::ParamId;

TEST(EditorTexts, EachParameterHasItsCaptionAndHelp)
{
    for (int i = 0; i < engine::kParamCount; ++i)
    {
        SCOPED_TRACE(engine::ParamName(i));
        ASSERT_NE(KnobCaptions[i], nullptr);
        ASSERT_NE(ParamHelpTexts[i], nullptr);
        EXPECT_GT(std::strlen(KnobCaptions[i]), 0u);
        EXPECT_GT(std::strlen(ParamHelpTexts[i]), std::strlen(KnobCaptions[i]));
    }
    const struct
    {
        ParamId id;
        const char* caption;
        const char* helpStart;
    } rows[] = {
        {ParamId::ReverbType, "TYPE", "Choose one of thirteen"},
        {ParamId::EarlyReflections, "EARLY", "Set the early reflection"},
        {ParamId::Ducking, "DUCK AMOUNT", "Reduce the wet signal"},
        {ParamId::NoteDivision, "DIVISION", "Choose the tempo-synced"},
        {ParamId::WetSolo, "WET SOLO", "Listen to the wet signal alone"},
    };
    for (const auto& row : rows)
    {
        const auto i = static_cast<std::size_t>(row.id);
        EXPECT_STREQ(KnobCaptions[i], row.caption);
        EXPECT_EQ(std::string(ParamHelpTexts[i]).rfind(row.helpStart, 0), 0u) << row.caption;
    }
}

// The texts that quote the maker's name, link or address take them from one place.
TEST(EditorTexts, MakerTextsQuoteTheMakersConstants)
{
    EXPECT_STREQ(kSupportLink, "mailto:support@tessaline.example");
    EXPECT_STREQ(kSupportHelpTitle, "TESSALINE SUPPORT");
    EXPECT_STREQ(kSupportHelpBody,
                 "Contact support@tessaline.example with your Windows version, DAW version and a "
                 "clear description of the issue.");
    EXPECT_STREQ(kBrandTooltip, "Open TESSALINE plugins and support.");
    EXPECT_STREQ(kBrandHelpTitle, "TESSALINE");
    EXPECT_STREQ(kBrandHelpBody,
                 "Independent audio tools. Open https://tessaline.example for plugins, downloads "
                 "and support.");

    constexpr auto joined = JoinLiterals("", "ab", "", "c");
    static_assert(joined.size() == 4);
    EXPECT_STREQ(joined.data(), "abc");
}

} // namespace
} // namespace lumenfall::editor
