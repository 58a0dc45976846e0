#include "catalogue/CatalogueModel.h"

#include "catalogue/XmlFile.h"

#include <algorithm>
#include <cstring>

namespace {

// The value of the element's attribute at `position` (0-based), null when it
// has fewer attributes.
const char* AttributeAt(const TiXmlElement& element, int position)
{
    const TiXmlAttribute* attribute = element.FirstAttribute();
    for (int i = 0; attribute != nullptr && i < position; ++i)
        attribute = attribute->Next();
    return attribute != nullptr ? attribute->Value() : nullptr;
}

bool EqualsNoCase(const char* left, const char* right)
{
    return CStdString(left).CompareNoCase(right) == 0;
}

void AppendStation(const TiXmlElement& station, std::vector<TStation>& stations)
{
    const char* name = AttributeAt(station, 0);
    const char* url = AttributeAt(station, 1);
    if (name == nullptr || url == nullptr)
        return;
    stations.push_back({name, url, ""});
}

} // namespace

void FreeNameList(CStdPtrArray& list)
{
    for (int i = 0; i < list.GetSize(); ++i)
        delete[] static_cast<char*>(list.GetAt(i));
    list.Empty();
}

char* NewNameBuffer(const char* text)
{
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    char* buffer = new char[std::max<std::size_t>(kCatalogueNameBytes, length + 1)]();
    if (length > 0)
        std::memcpy(buffer, text, length);
    return buffer;
}

bool IsRegionElement(const TiXmlElement& element)
{
    return EqualsNoCase(element.Value(), "city");
}

void ParseCatalogueDocument(const TiXmlDocument& document, CStdPtrArray& regionList, CStdPtrArray& styleList,
                            std::int32_t& catalogueVersion)
{
    FreeNameList(regionList);
    FreeNameList(styleList);

    const TiXmlElement* root = document.RootElement();
    if (root == nullptr)
        return;

    for (const TiXmlElement* child = root->FirstChildElement(); child; child = child->NextSiblingElement()) {
        if (!IsRegionElement(*child))
            continue;
        const char* name = AttributeAt(*child, 0);
        if (name != nullptr)
            regionList.Add(NewNameBuffer(name));
    }

    for (const TiXmlElement* child = root->FirstChildElement(); child; child = child->NextSiblingElement()) {
        if (!EqualsNoCase(child->Value(), "styles"))
            continue;
        for (const TiXmlElement* style = child->FirstChildElement(); style; style = style->NextSiblingElement()) {
            const char* name = AttributeAt(*style, 0);
            if (name != nullptr)
                styleList.Add(NewNameBuffer(name));
        }
        break; // only the first styles element counts
    }

    const TiXmlElement* version = FindVersionElement(document);
    if (version != nullptr && version->FirstChild() != nullptr)
        catalogueVersion = ParseVersionNumber(version->FirstChild()->Value());
}

const TiXmlElement* FindRegionElement(const TiXmlDocument& document, const char* regionName)
{
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr)
        return nullptr;
    for (const TiXmlElement* child = root->FirstChildElement(); child; child = child->NextSiblingElement()) {
        if (!IsRegionElement(*child))
            continue;
        const char* name = AttributeAt(*child, 0);
        if (name != nullptr && EqualsNoCase(name, regionName))
            return child;
    }
    return nullptr;
}

std::vector<TStation> RegionStations(const TiXmlDocument& document, const char* regionName)
{
    std::vector<TStation> stations;
    const TiXmlElement* region = FindRegionElement(document, regionName);
    if (region == nullptr)
        return stations;
    for (const TiXmlElement* station = region->FirstChildElement(); station;
         station = station->NextSiblingElement())
        AppendStation(*station, stations);
    return stations;
}

std::vector<TStation> StyleStations(const TiXmlDocument& document, const char* styleName)
{
    std::vector<TStation> stations;
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr)
        return stations;
    for (const TiXmlElement* region = root->FirstChildElement(); region; region = region->NextSiblingElement()) {
        if (!IsRegionElement(*region))
            continue;
        for (const TiXmlElement* station = region->FirstChildElement(); station;
             station = station->NextSiblingElement()) {
            const char* style = AttributeAt(*station, 2);
            if (style != nullptr && EqualsNoCase(style, styleName))
                AppendStation(*station, stations);
        }
    }
    return stations;
}
