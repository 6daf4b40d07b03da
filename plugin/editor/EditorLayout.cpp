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

} // namespace lumenfall::editor
