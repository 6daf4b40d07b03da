#include "canvas/svg/SvgXml.h"

#include "canvas/svg/SvgScan.h"

#include <cstring>

namespace plugkit::canvas::svg
{
namespace
{

bool IsNameEnd(char c)
{
    return IsSpace(c) || c == '/' || c == '>' || c == '=' || c == '<' || c == '"' || c == '\'';
}

} // namespace

bool XmlReader::ReadName(std::string_view& out)
{
    const char* start = mP;
    while (mP < mEnd && !IsNameEnd(*mP))
        ++mP;
    out = std::string_view(start, static_cast<size_t>(mP - start));
    return !out.empty();
}

void XmlReader::SkipPast(std::string_view marker)
{
    const size_t left = static_cast<size_t>(mEnd - mP);
    const size_t at = std::string_view(mP, left).find(marker);
    mP = at == std::string_view::npos ? mEnd : mP + at + marker.size();
}

void XmlReader::SkipDoctype()
{
    // The internal subset sits in brackets and may hold '>' inside its declarations and
    // quoted literals; a depth count (no recursion) finds the closing '>'.
    int depth = 0;
    char quote = 0;
    for (; mP < mEnd; ++mP)
    {
        const char c = *mP;
        if (quote != 0)
        {
            if (c == quote)
                quote = 0;
        }
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '[')
            ++depth;
        else if (c == ']' && depth > 0)
            --depth;
        else if (c == '>' && depth == 0)
        {
            ++mP;
            return;
        }
    }
}

XmlEvent XmlReader::Fail()
{
    mMalformed = true;
    mP = mEnd;
    return XmlEvent::End;
}

XmlEvent XmlReader::ReadStartTag()
{
    mAttributes.clear();
    mSelfClosing = false;
    if (!ReadName(mName))
        return Fail();
    for (;;)
    {
        SkipSpace(mP, mEnd);
        if (mP >= mEnd)
            return Fail();
        if (*mP == '>')
        {
            ++mP;
            return XmlEvent::StartTag;
        }
        if (*mP == '/')
        {
            if (mEnd - mP < 2 || mP[1] != '>')
                return Fail();
            mP += 2;
            mSelfClosing = true;
            return XmlEvent::StartTag;
        }
        XmlAttribute attribute;
        if (!ReadName(attribute.name))
            return Fail();
        SkipSpace(mP, mEnd);
        if (mP >= mEnd || *mP != '=')
            return Fail();
        ++mP;
        SkipSpace(mP, mEnd);
        if (mP >= mEnd || (*mP != '"' && *mP != '\''))
            return Fail();
        const char quote = *mP++;
        const char* start = mP;
        const void* close = std::memchr(mP, quote, static_cast<size_t>(mEnd - mP));
        if (close == nullptr)
            return Fail();
        mP = static_cast<const char*>(close);
        attribute.value = std::string_view(start, static_cast<size_t>(mP - start));
        ++mP;
        mAttributes.push_back(attribute);
    }
}

XmlEvent XmlReader::ReadEndTag()
{
    if (!ReadName(mName))
        return Fail();
    SkipSpace(mP, mEnd);
    if (mP >= mEnd || *mP != '>')
        return Fail();
    ++mP;
    return XmlEvent::EndTag;
}

XmlEvent XmlReader::Next()
{
    for (;;)
    {
        const void* open =
            mP < mEnd ? std::memchr(mP, '<', static_cast<size_t>(mEnd - mP)) : nullptr;
        if (open == nullptr)
        {
            mP = mEnd;
            return XmlEvent::End;
        }
        mP = static_cast<const char*>(open) + 1;
        const std::string_view rest(mP, static_cast<size_t>(mEnd - mP));
        if (rest.starts_with("!--"))
            SkipPast("-->");
        else if (rest.starts_with("![CDATA["))
            SkipPast("]]>");
        else if (rest.starts_with("!"))
            SkipDoctype();
        else if (rest.starts_with("?"))
            SkipPast("?>");
        else if (rest.starts_with("/"))
        {
            ++mP;
            return ReadEndTag();
        }
        else
            return ReadStartTag();
    }
}

} // namespace plugkit::canvas::svg
