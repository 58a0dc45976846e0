#pragma once

// Bounded XML parsing for every reader of outside data (layouts, settings,
// the catalogue, the advertisement list, downloaded copies).
//
// TinyXML's parser, its copy and its destructor recurse once per nesting
// level: some 50,000 nested elements (150 KB of text) overflow the stack. So
// text goes to the parser only after a scan that walks it as the parser would
// (the same rules for tags, attribute values in quotes or without, comments,
// CDATA, declarations and other "<!"/"<?" constructs, and the same stop at the
// first fault) and measures the deepest nesting and the number of nodes the
// parser would build. Text beyond the limits is refused whole, as a file that
// does not parse: the document gets no node.
//
// The text is handed to the parser with zero bytes after its end, because the
// parser steps up to three bytes past the end of an unterminated comment or
// character sequence.

#include <cstddef>
#include <string_view>

class TiXmlDocument;

// Far above anything a real data file or layout holds: the shipped catalogue
// nests four levels and holds a few thousand nodes in some 20 KB.
struct TXmlLimits
{
    std::size_t maxBytes = 8 * 1024 * 1024; // bytes of text
    int maxDepth = 64;                      // elements nested in one another
    std::size_t maxNodes = 250000;          // elements, attributes, texts, comments, ...
};

// What the parser would build from the text, as far as the scan went.
struct TXmlShape
{
    int depth = 0;          // deepest nesting of elements
    std::size_t nodes = 0;  // nodes and attributes
};

// Walks `text` (which ends at its first zero byte, as the parser's input does)
// the way TinyXML's parser does with UTF-8 encoding. The scan stops early once
// `limits` are passed; the answer then exceeds them.
TXmlShape MeasureXml(std::string_view text, const TXmlLimits& limits = {});

enum class EXmlRefusal
{
    None,
    TooLarge,
    TooDeep,
    TooManyNodes,
};

// Why the text is refused, or None when it is within the limits.
EXmlRefusal CheckXmlBounds(std::string_view text, const TXmlLimits& limits = {});

// A short English description of the refusal, for tools and diagnostics.
const char* DescribeXmlRefusal(EXmlRefusal refusal);

// Parses `text` (UTF-8) into `document` when it is within `limits`, as
// TiXmlDocument::Parse does; otherwise leaves the document's nodes as they
// were, marks it with a parse error and answers why it refused.
EXmlRefusal ParseBoundedXml(TiXmlDocument& document, std::string_view text, const TXmlLimits& limits = {});
