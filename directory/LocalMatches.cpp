#include "directory/LocalMatches.h"

#include "catalogue/CatalogueModel.h"

#include <unordered_set>

namespace {

char FoldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

const char* AttributeAt(const TiXmlElement& element, int position)
{
    const TiXmlAttribute* attribute = element.FirstAttribute();
    for (int i = 0; attribute != nullptr && i < position; ++i)
        attribute = attribute->Next();
    return attribute != nullptr ? attribute->Value() : nullptr;
}

} // namespace

bool NameContains(const std::string& name, const std::string& text)
{
    if (text.size() > name.size())
        return false;
    for (std::size_t start = 0; start + text.size() <= name.size(); ++start) {
        std::size_t i = 0;
        while (i < text.size() && FoldAscii(name[start + i]) == FoldAscii(text[i]))
            ++i;
        if (i == text.size())
            return true;
    }
    return false;
}

std::vector<TNamedUrl> LocalMatches(const TiXmlDocument& catalogue, const std::vector<TNamedUrl>& own,
                                    const std::string& text)
{
    std::vector<TNamedUrl> matches;
    if (text.empty())
        return matches;
    std::unordered_set<std::string> addresses;
    const auto consider = [&](const char* name, const char* url) {
        if (name != nullptr && url != nullptr && *url != '\0' && NameContains(name, text) && addresses.insert(url).second)
            matches.push_back({name, url});
    };
    // Stations are read as the catalogue's pages read them: a region's
    // child elements, name and address by position.
    if (const TiXmlElement* root = catalogue.RootElement()) {
        for (const TiXmlElement* region = root->FirstChildElement(); region; region = region->NextSiblingElement()) {
            if (!IsRegionElement(*region))
                continue;
            for (const TiXmlElement* station = region->FirstChildElement(); station;
                 station = station->NextSiblingElement())
                consider(AttributeAt(*station, 0), AttributeAt(*station, 1));
        }
    }
    for (const TNamedUrl& station : own)
        consider(station.name.c_str(), station.url.c_str());
    return matches;
}
