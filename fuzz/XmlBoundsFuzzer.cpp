// The bounded parse against the parser itself: whatever the parser builds
// from text that passed the scan is never deeper and never holds more nodes
// than the scan measured, so the limits really hold the parser's recursion.

#include "uilib/core/XmlBounds.h"

#include <tinyxml.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// Deepest element and number of nodes and attributes, walked without
// recursion.
std::pair<int, std::size_t> ShapeOf(const TiXmlNode& document)
{
    int depth = 0;
    std::size_t nodes = 0;
    std::vector<std::pair<const TiXmlNode*, int>> pending{{&document, 0}};
    while (!pending.empty()) {
        const auto [node, level] = pending.back();
        pending.pop_back();
        if (node != &document)
            ++nodes;
        const int elementLevel = node->ToElement() != nullptr ? level + 1 : level;
        if (node->ToElement() != nullptr) {
            depth = std::max(depth, elementLevel);
            for (const TiXmlAttribute* attribute = node->ToElement()->FirstAttribute(); attribute;
                 attribute = attribute->Next())
                ++nodes;
        }
        for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling())
            pending.push_back({child, elementLevel});
    }
    return {depth, nodes};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TXmlLimits limits;
    limits.maxDepth = 8; // small limits make the fuzzer reach them
    limits.maxNodes = 64;
    const TXmlShape measured = MeasureXml(text, limits);
    TiXmlDocument document;
    if (ParseBoundedXml(document, text, limits) != EXmlRefusal::None)
        return 0;
    const auto [depth, nodes] = ShapeOf(document);
    if (depth > measured.depth || nodes > measured.nodes)
        std::abort();
    return 0;
}
