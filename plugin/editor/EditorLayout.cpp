#include "plugin/editor/EditorLayout.h"

namespace lumenfall::editor
{

int ColumnDividers(int section, std::array<float, 3>& xs)
{
    const int columns = section == kSectionBasic ? 4 : 3;
    int count = 0;
    for (int i = 1; i < columns; ++i)
    {
        // From TAIL / MOTION on, the group note fills the third column.
        if (i == 2 && section >= kSectionTailMotion)
            continue;
        xs[count++] = 36.f + static_cast<float>(i) * kKnobPanelWidth / static_cast<float>(columns);
    }
    return count;
}

float RowDividerRight(int section)
{
    // The rule stays 18 units inside the grid's outer edge, as it does at the panel's edges.
    constexpr float kInset = 18.f;
    if (section < kSectionTailMotion)
        return kKnobPanelBounds.R - kInset;
    return 36.f + 2.f * kAdvancedCellWidth - kInset;
}

} // namespace lumenfall::editor
