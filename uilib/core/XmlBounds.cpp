#include "uilib/core/XmlBounds.h"

#include <tinyxml.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Zero bytes placed after the text handed to the parser: it reads at most
// eight bytes past the end of an unterminated construct.
constexpr std::size_t kParserPadding = 16;

// A position in the text, or kNone where the parser's pointer would be null
// (its way of saying that the parse failed).
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Byte lengths of the UTF-8 sequences by lead byte, as the parser steps over
// characters of attribute values and texts (continuation bytes and bytes that
// cannot start a sequence count as one).
int SequenceLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 1;
}

bool IsWhiteSpace(unsigned char ch)
{
    return std::isspace(ch) != 0 || ch == '\n' || ch == '\r';
}

bool IsNameStart(unsigned char ch)
{
    return ch >= 127 ? true : (std::isalpha(ch) != 0 || ch == '_');
}

bool IsNameChar(unsigned char ch)
{
    return ch >= 127 ? true : (std::isalnum(ch) != 0 || ch == '_' || ch == '-' || ch == '.' || ch == ':');
}

// The walk itself. Every step mirrors one of the parser's: where the parser
// gives up on the whole document, the walk ends; where it would carry on, the
// walk carries on, so the walk never sees less than the parser builds.
class CXmlWalker
{
public:
    CXmlWalker(std::string_view text, const TXmlLimits& limits)
        : text(text.substr(0, text.find('\0'))), limits(limits)
    {
    }

    TXmlShape Walk();

private:
    unsigned char At(std::size_t position) const
    {
        return position < text.size() ? static_cast<unsigned char>(text[position]) : 0;
    }

    bool Equal(std::size_t position, std::string_view tag, bool ignoreCase = false) const
    {
        if (At(position) == 0)
            return false;
        for (std::size_t i = 0; i < tag.size(); ++i) {
            const unsigned char ch = At(position + i);
            if (ch == 0)
                return false;
            const auto expected = static_cast<unsigned char>(tag[i]);
            const bool same = ignoreCase ? ch < 128 && std::tolower(ch) == std::tolower(expected) : ch == expected;
            if (!same)
                return false;
        }
        return true;
    }

    std::size_t SkipWhiteSpace(std::size_t position) const;
    std::size_t ReadName(std::size_t position) const;
    std::size_t GetEntity(std::size_t position) const;
    std::size_t GetChar(std::size_t position) const;
    std::size_t ReadQuoted(std::size_t position, unsigned char quote) const;
    std::size_t ReadText(std::size_t position) const;
    std::size_t ReadAttribute(std::size_t position);
    std::size_t ReadDeclaration(std::size_t position);
    std::size_t ReadUntil(std::size_t position, std::string_view end) const;

    bool Count(std::size_t nodes = 1)
    {
        shape.nodes += nodes;
        return shape.nodes <= limits.maxNodes;
    }

    std::string_view text;
    const TXmlLimits& limits;
    TXmlShape shape;
};

std::size_t CXmlWalker::SkipWhiteSpace(std::size_t position) const
{
    if (position == kNone || At(position) == 0)
        return kNone;
    while (At(position) != 0) {
        // Byte-order marks and the two non-characters U+FFFE and U+FFFF
        // count as white space.
        if (At(position) == 0xEF && ((At(position + 1) == 0xBB && At(position + 2) == 0xBF)
                                     || (At(position + 1) == 0xBF && (At(position + 2) == 0xBE
                                                                      || At(position + 2) == 0xBF)))) {
            position += 3;
            continue;
        }
        if (!IsWhiteSpace(At(position)))
            break;
        ++position;
    }
    return position;
}

std::size_t CXmlWalker::ReadName(std::size_t position) const
{
    if (At(position) == 0 || !IsNameStart(At(position)))
        return kNone;
    while (At(position) != 0 && IsNameChar(At(position)))
        ++position;
    return position;
}

std::size_t CXmlWalker::GetEntity(std::size_t position) const
{
    // A numeric reference runs to the next ';' wherever it is, as long as
    // the bytes just before that ';' back to the nearest '#' (or 'x') are
    // digits: so "&#" can swallow markup, and the walk must step over the
    // same bytes. Where the parser refuses a reference and gives up, the walk
    // goes on byte by byte, which never sees less than the parser.
    if (At(position + 1) == '#' && At(position + 2) != 0) {
        const bool hex = At(position + 2) == 'x';
        std::size_t end = position + (hex ? 3 : 2);
        while (At(end) != 0 && At(end) != ';')
            ++end;
        if (At(end) != ';' || (hex && At(position + 3) == 0))
            return position + 1;
        for (std::size_t digit = end - 1; At(digit) != (hex ? 'x' : '#'); --digit) {
            if (!(hex ? std::isxdigit(At(digit)) : (At(digit) >= '0' && At(digit) <= '9')))
                return position + 1;
        }
        return end + 1;
    }
    // Named entities hold no markup; stepping over them byte by byte ends
    // in the same place.
    return position + 1;
}

std::size_t CXmlWalker::GetChar(std::size_t position) const
{
    const int length = SequenceLength(At(position));
    if (length == 1)
        return At(position) == '&' ? GetEntity(position) : position + 1;
    return position + static_cast<std::size_t>(length);
}

std::size_t CXmlWalker::ReadQuoted(std::size_t position, unsigned char quote) const
{
    while (position != kNone && At(position) != 0 && At(position) != quote)
        position = GetChar(position);
    return position == kNone ? kNone : position + 1;
}

std::size_t CXmlWalker::ReadText(std::size_t position) const
{
    position = SkipWhiteSpace(position);
    while (position != kNone && At(position) != 0 && At(position) != '<')
        position = IsWhiteSpace(At(position)) ? position + 1 : GetChar(position);
    return position; // the parser steps past the '<' and back again
}

std::size_t CXmlWalker::ReadUntil(std::size_t position, std::string_view end) const
{
    while (At(position) != 0 && !Equal(position, end))
        ++position;
    return position + end.size();
}

std::size_t CXmlWalker::ReadAttribute(std::size_t position)
{
    position = SkipWhiteSpace(position);
    if (position == kNone)
        return kNone;
    position = ReadName(position);
    if (position == kNone || At(position) == 0)
        return kNone;
    position = SkipWhiteSpace(position);
    if (position == kNone || At(position) != '=')
        return kNone;
    position = SkipWhiteSpace(position + 1);
    if (position == kNone)
        return kNone;
    if (At(position) == '\'' || At(position) == '"')
        return ReadQuoted(position + 1, At(position));
    while (At(position) != 0 && !IsWhiteSpace(At(position)) && At(position) != '/' && At(position) != '>') {
        if (At(position) == '\'' || At(position) == '"')
            return kNone;
        ++position;
    }
    return position;
}

std::size_t CXmlWalker::ReadDeclaration(std::size_t position)
{
    position += 5; // "<?xml"
    while (position != kNone && At(position) != 0) {
        if (At(position) == '>')
            return position + 1;
        position = SkipWhiteSpace(position);
        if (Equal(position, "version", true) || Equal(position, "encoding", true)
            || Equal(position, "standalone", true)) {
            position = ReadAttribute(position);
        } else {
            while (At(position) != 0 && At(position) != '>' && !IsWhiteSpace(At(position)))
                ++position;
        }
    }
    return kNone;
}

TXmlShape CXmlWalker::Walk()
{
    // Names of the elements open around the position, for their end tags.
    std::vector<std::string_view> open;
    std::size_t position = SkipWhiteSpace(0);

    while (position != kNone && At(position) != 0) {
        if (At(position) != '<') {
            if (open.empty())
                break; // text beside the root ends the document
            if (!Count())
                break;
            position = ReadText(position);
        } else if (!open.empty() && Equal(position, "</")) {
            // "</name" with blanks allowed before the '>'; a wrong end tag
            // ends the parse.
            const std::string_view name = open.back();
            if (!Equal(position + 2, name))
                break;
            position = SkipWhiteSpace(position + 2 + name.size());
            if (position == kNone || At(position) != '>')
                break;
            ++position;
            open.pop_back();
        } else if (Equal(position, "<?xml", true)) {
            if (!Count())
                break;
            position = ReadDeclaration(position);
        } else if (Equal(position, "<!--")) {
            if (!Count())
                break;
            position = ReadUntil(position + 4, "-->");
        } else if (Equal(position, "<![CDATA[")) {
            if (!Count())
                break;
            position = ReadUntil(position + 9, "]]>");
        } else if (At(position + 1) == '!' || !IsNameStart(At(position + 1))) {
            if (!Count())
                break;
            ++position;
            while (At(position) != 0 && At(position) != '>')
                ++position;
            if (At(position) == '>')
                ++position;
        } else {
            // An element: its name, its attributes, then "/>" or '>' and
            // its content.
            if (!Count())
                break;
            const int depth = static_cast<int>(open.size()) + 1;
            if (depth > shape.depth)
                shape.depth = depth;
            if (depth > limits.maxDepth)
                break;
            const std::size_t nameBegin = SkipWhiteSpace(position + 1);
            position = ReadName(nameBegin);
            if (position == kNone || At(position) == 0)
                break;
            const std::string_view name = text.substr(nameBegin, position - nameBegin);
            bool opened = false;
            while (position != kNone && At(position) != 0) {
                position = SkipWhiteSpace(position);
                if (position == kNone)
                    break;
                if (At(position) == '/') {
                    position = At(position + 1) == '>' ? position + 2 : kNone;
                    break;
                }
                if (At(position) == '>') {
                    ++position;
                    opened = true;
                    break;
                }
                if (!Count())
                    return shape;
                position = ReadAttribute(position);
                if (position == kNone || At(position) == 0)
                    position = kNone;
            }
            if (position == kNone)
                break;
            if (opened)
                open.push_back(name);
        }
        position = SkipWhiteSpace(position);
    }
    return shape;
}

} // namespace

TXmlShape MeasureXml(std::string_view text, const TXmlLimits& limits)
{
    return CXmlWalker(text, limits).Walk();
}

EXmlRefusal CheckXmlBounds(std::string_view text, const TXmlLimits& limits)
{
    if (text.size() > limits.maxBytes)
        return EXmlRefusal::TooLarge;
    const TXmlShape shape = MeasureXml(text, limits);
    if (shape.depth > limits.maxDepth)
        return EXmlRefusal::TooDeep;
    if (shape.nodes > limits.maxNodes)
        return EXmlRefusal::TooManyNodes;
    return EXmlRefusal::None;
}

const char* DescribeXmlRefusal(EXmlRefusal refusal)
{
    switch (refusal) {
    case EXmlRefusal::None:
        return "within bounds";
    case EXmlRefusal::TooLarge:
        return "too large";
    case EXmlRefusal::TooDeep:
        return "elements nested too deeply";
    case EXmlRefusal::TooManyNodes:
        return "too many elements and attributes";
    }
    return "refused";
}

EXmlRefusal ParseBoundedXml(TiXmlDocument& document, std::string_view text, const TXmlLimits& limits)
{
    const EXmlRefusal refusal = CheckXmlBounds(text, limits);
    if (refusal != EXmlRefusal::None) {
        // Marked like a file that did not parse, so that no caller writes
        // the empty document back over it.
        document.ClearError();
        document.SetError(TiXmlBase::TIXML_ERROR, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return refusal;
    }
    std::string padded(text.substr(0, text.find('\0')));
    padded.append(kParserPadding, '\0');
    // Text that opens with a byte-order mark is parsed with the encoding left
    // to the parser: it then takes the text as UTF-8 exactly as when told so,
    // and also notes the mark, which a document saved later writes again.
    const bool byteOrderMark = padded.compare(0, 3, "\xEF\xBB\xBF") == 0;
    document.Parse(padded.c_str(), nullptr, byteOrderMark ? TIXML_ENCODING_UNKNOWN : TIXML_ENCODING_UTF8);
    return EXmlRefusal::None;
}
