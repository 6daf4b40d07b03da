#include "plugkit/app/StandaloneProgramInfo.h"

namespace plugkit::app
{

void FormatAboutText(HeapString& out, const char* ownerLine, const char* buildDate)
{
    static constexpr int32_t kMaxBytes = 1024;
    HeapString date;
    for (const char* p = buildDate ? buildDate : ""; *p; ++p)
    {
        // Blanks collapse, so "Mar  7 2026" reads "Mar 7 2026".
        if (*p == ' ' && (date.IsEmpty() || p[1] == ' '))
            continue;
        date.InsertRaw(date.GetLength(), p, 1, 0);
    }
    out.SetFormatted(kMaxBytes, "%s\nBuilt on %s", ownerLine ? ownerLine : "", date.Get());
}

} // namespace plugkit::app
