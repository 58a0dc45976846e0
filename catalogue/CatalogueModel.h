#pragma once

// The catalogue as the player reads it: a root element whose "city" children
// (any letter case) are the regions, each region's child elements its
// stations (attributes: name, stream URL, style), the first "styles" child
// (any letter case) listing the styles, and a "version" element after the
// root. Element names the format does not fix, and every attribute name, are
// never looked at: attributes are taken by position. Order is document order.

#include "uilib/core/StdPtrArray.h"
#include "uilib/core/StdString.h"

#include <tinyxml.h>

#include <cstdint>
#include <vector>

// Smallest size of a region or style name buffer in bytes, the terminating NUL
// included: the names of real catalogues fit in it.
constexpr int kCatalogueNameBytes = 50;

// Frees every name buffer of the list and empties it.
void FreeNameList(CStdPtrArray& list);

// A new zero-filled name buffer holding the whole of `text`: at least
// kCatalogueNameBytes long, longer for a longer name. Names are never cut, so
// two names that differ only after the 49th byte stay two names; a page cuts
// a name only where it draws it.
char* NewNameBuffer(const char* text);

// Rebuilds both lists from the document and sets `catalogueVersion` when the
// document has a version element with a first child; without a root element
// the lists stay empty and the version keeps its value.
void ParseCatalogueDocument(const TiXmlDocument& document, CStdPtrArray& regionList, CStdPtrArray& styleList,
                            std::int32_t& catalogueVersion);

// Whether an element name marks a region ("city" in any letter case).
bool IsRegionElement(const TiXmlElement& element);

// The first region element whose name attribute equals the whole of
// `regionName` without regard to ASCII case; null when there is none.
const TiXmlElement* FindRegionElement(const TiXmlDocument& document, const char* regionName);

struct TStation
{
    CStdString name;
    CStdString url;
    // A smaller second line under the name ("MP3 · 128k · 香港"); empty for
    // none. A row with such a line is taller.
    CStdString subtitle;
};

// Stations of the region, in order. Station elements without a URL are
// outside the format and skipped.
std::vector<TStation> RegionStations(const TiXmlDocument& document, const char* regionName);

// Stations whose style attribute equals the whole of `styleName` without
// regard to ASCII case, region by region in document order; a station two regions list comes
// twice. Station elements without a style are skipped.
std::vector<TStation> StyleStations(const TiXmlDocument& document, const char* styleName);
