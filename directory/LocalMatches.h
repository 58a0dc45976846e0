#pragma once

// The stations already here whose name contains a search text: the first
// results of a search, found at once and offline.
//
// Threads: any; pure.

#include <tinyxml.h>

#include <string>
#include <vector>

struct TNamedUrl
{
    std::string name;
    std::string url;
};

// Whether `name` contains `text`, ASCII letters compared without regard to
// case (bytes of multibyte characters compared as they are). An empty text
// is contained in every name.
bool NameContains(const std::string& name, const std::string& text);

// The catalogue's stations (region by region, in document order), then the
// user's `own` stations, whose name contains `text`; each stream address
// once, the first kept. An empty text matches nothing: there is nothing to
// search for.
std::vector<TNamedUrl> LocalMatches(const TiXmlDocument& catalogue, const std::vector<TNamedUrl>& own,
                                    const std::string& text);
