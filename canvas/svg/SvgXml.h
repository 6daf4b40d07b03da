// A pull reader for the XML of an SVG document, internal to plugkit_canvas_svg. It reports
// start and end tags with their attributes and skips everything else: the XML declaration,
// processing instructions, comments, CDATA sections, text and the DOCTYPE with its internal
// subset (entities are never expanded, and references in attribute values stay as written).
// It works in one pass without recursion over [text, text + size), never reading past it.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace plugkit::canvas::svg
{

struct XmlAttribute
{
    std::string_view name;
    std::string_view value;
};

enum class XmlEvent
{
    StartTag, // Name() and Attributes() hold the tag; SelfClosing() tells if it ends too
    EndTag,   // Name() holds the name
    End,      // the text is used up, or a tag was malformed (Malformed() tells)
    kNumXmlEvents
};

class XmlReader
{
public:
    XmlReader(const char* text, size_t size)
        : mP(text)
        , mEnd(text + size)
    {
    }

    XmlEvent Next();

    std::string_view Name() const { return mName; }
    const std::vector<XmlAttribute>& Attributes() const { return mAttributes; }
    bool SelfClosing() const { return mSelfClosing; }
    // True once a tag could not be read; the reader then stays at End.
    bool Malformed() const { return mMalformed; }

private:
    // Moves past the first occurrence of `marker`, or to the end.
    void SkipPast(std::string_view marker);
    void SkipDoctype();
    bool ReadName(std::string_view& out);
    XmlEvent ReadStartTag();
    XmlEvent ReadEndTag();
    XmlEvent Fail();

    const char* mP;
    const char* mEnd;
    std::string_view mName;
    std::vector<XmlAttribute> mAttributes;
    bool mSelfClosing = false;
    bool mMalformed = false;
};

} // namespace plugkit::canvas::svg
