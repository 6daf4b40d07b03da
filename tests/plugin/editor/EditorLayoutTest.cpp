#include "plugin/editor/EditorLayout.h"

#include <gtest/gtest.h>

namespace lumenfall::editor
{
namespace
{

void ExpectBounds(const IBounds& actual, const IBounds& expected)
{
    EXPECT_NEAR(actual.L, expected.L, 0.01f);
    EXPECT_NEAR(actual.T, expected.T, 0.01f);
    EXPECT_NEAR(actual.R, expected.R, 0.01f);
    EXPECT_NEAR(actual.B, expected.B, 0.01f);
}

const KnobGroup& Group(int section)
{
    return kKnobGroups[static_cast<std::size_t>(section)];
}

TEST(EditorGeometry, KnobCellsFollowTheGrid)
{
    const KnobGroup& basic = Group(kSectionBasic);
    ExpectBounds(KnobBounds(0, basic.perRow, basic.cellWidth), {55.f, 369.f, 274.f, 503.f});
    ExpectBounds(KnobBounds(3, basic.perRow, basic.cellWidth), {826.f, 369.f, 1045.f, 503.f});
    ExpectBounds(KnobBounds(4, basic.perRow, basic.cellWidth), {55.f, 515.f, 274.f, 649.f});
    const KnobGroup& special = Group(kSectionSpecial);
    ExpectBounds(KnobBounds(3, special.perRow, special.cellWidth),
                 {397.67f, 515.f, 702.33f, 649.f});
    const KnobGroup& space = Group(kSectionSpace);
    ExpectBounds(KnobBounds(2, space.perRow, space.cellWidth), {740.33f, 369.f, 1045.f, 503.f});
    ExpectBounds(ValueZone({826.f, 369.f, 1045.f, 503.f}), {876.5f, 476.f, 994.5f, 501.f});
}

// Every page's knobs sit inside the knob panel, clear of one another, of the row divider and,
// on the pages that have one, of the group note.
TEST(EditorGeometry, KnobsOfAPageNeverOverlap)
{
    for (const KnobGroup& group : kKnobGroups)
    {
        const int n = static_cast<int>(group.params.size());
        for (int j = 0; j < n; ++j)
        {
            const IBounds knob = KnobBounds(j, group.perRow, group.cellWidth);
            EXPECT_TRUE(kKnobPanelBounds.Contains(knob)) << group.section << "/" << j;
            EXPECT_FALSE(knob.T < kRowDividerY && knob.B > kRowDividerY);
            EXPECT_TRUE(knob.Contains(ValueZone(knob)));
            if (group.section >= kSectionTailMotion)
            {
                EXPECT_FALSE(knob.Intersects(kGroupNoteBounds)) << group.section << "/" << j;
            }
            for (int k = j + 1; k < n; ++k)
                EXPECT_FALSE(knob.Intersects(KnobBounds(k, group.perRow, group.cellWidth)));
        }
    }
}

TEST(EditorGeometry, DividersPerSection)
{
    struct Case
    {
        int section;
        int count;
        float first;
        float second;
        float third;
        float rowEnd; // the row divider stops where the knob grid ends, short of the note
    };
    const Case cases[] = {
        {kSectionBasic, 3, 293.f, 550.f, 807.f, 1046.f},
        {kSectionSpace, 2, 378.67f, 721.33f, 0.f, 1046.f},
        {kSectionTailMotion, 1, 378.67f, 0.f, 0.f, 703.33f},
        {kSectionLevelDuck, 1, 378.67f, 0.f, 0.f, 703.33f},
        {kSectionSpecial, 1, 378.67f, 0.f, 0.f, 703.33f},
    };
    for (const Case& c : cases)
    {
        std::array<float, 3> xs{};
        ASSERT_EQ(ColumnDividers(c.section, xs), c.count) << c.section;
        const float expected[] = {c.first, c.second, c.third};
        for (int i = 0; i < c.count; ++i)
            EXPECT_NEAR(xs[i], expected[i], 0.01f) << c.section << "/" << i;
        EXPECT_NEAR(RowDividerRight(c.section), c.rowEnd, 0.01f) << c.section;
        if (c.section >= kSectionTailMotion)
        {
            EXPECT_LT(RowDividerRight(c.section), kGroupNoteBounds.L) << c.section;
        }
    }
}

TEST(EditorGeometry, SectionVisibility)
{
    // BASIC hides every advanced control; an advanced page shows its own group and the
    // controls of every advanced page.
    EXPECT_FALSE(IsHiddenInSection(kSectionBasic, kSectionBasic));
    EXPECT_TRUE(IsHiddenInSection(kAllAdvancedSections, kSectionBasic));
    EXPECT_TRUE(IsHiddenInSection(kSectionSpace, kSectionBasic));
    EXPECT_FALSE(IsHiddenInSection(kAllAdvancedSections, kSectionLevelDuck));
    EXPECT_FALSE(IsHiddenInSection(kSectionLevelDuck, kSectionLevelDuck));
    EXPECT_TRUE(IsHiddenInSection(kSectionSpace, kSectionLevelDuck));
    EXPECT_TRUE(IsHiddenInSection(kSectionBasic, kSectionSpecial));
}

} // namespace
} // namespace lumenfall::editor
