#include "plugkit/app/StandaloneCommandLine.h"

#include <cstring>
#include <string_view>

namespace plugkit::app
{

namespace
{

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

/// The word at `p` (blanks before it skipped), its quotes removed, into `word`; `p` moves past
/// it. False at the end of the text.
bool NextWord(const char*& p, HeapString& word)
{
    while (*p && IsBlank(*p))
        ++p;
    if (!*p)
        return false;
    word.Set("");
    bool quoted = false;
    const char* run = p;
    for (; *p && (quoted || !IsBlank(*p)); ++p)
    {
        if (*p != '"')
            continue;
        word.InsertRaw(word.GetLength(), run, static_cast<int32_t>(p - run), 0);
        quoted = !quoted;
        run = p + 1;
    }
    word.InsertRaw(word.GetLength(), run, static_cast<int32_t>(p - run), 0);
    return true;
}

} // namespace

StandaloneCommandLine ParseCommandLine(const char* arguments)
{
    StandaloneCommandLine result;
    if (!arguments)
        return result;
    const char* p = arguments;
    HeapString word;
    while (NextWord(p, word))
    {
        const std::string_view text(word.Get());
        if (text == StandaloneCommandLine::kNoIOOption)
            result.noIO = true;
        else if (text == StandaloneCommandLine::kScreenshotOption)
        {
            if (NextWord(p, word))
                result.screenshotPath = word;
            else
                result.screenshotPath.Set("");
        }
    }
    return result;
}

} // namespace plugkit::app
