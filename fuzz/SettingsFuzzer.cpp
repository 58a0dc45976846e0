// The settings file: read plain, its "skin" element looked up as start-up
// does, then printed as the save prints it, and the printed text read back.

#include "catalogue/XmlFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TiXmlDocument settings;
    ParseXmlBytes(&settings, std::string(reinterpret_cast<const char*>(data), size), false);
    if (settings.Error())
        return 0; // never saved over
    if (const TiXmlElement* root = settings.RootElement()) {
        if (TiXmlElement* skin = const_cast<TiXmlElement*>(root->FirstChildElement("skin"))) {
            const char* name = skin->Attribute("name");
            const char* path = skin->Attribute("path");
            skin->SetAttribute("name", name != nullptr && std::strcmp(name, "minBlue") == 0 ? "minLove" : "minBlue");
            skin->SetAttribute("path", path != nullptr ? path : "#");
        }
    }
    char* printed = nullptr;
    std::size_t length = 0;
    FILE* memory = ::open_memstream(&printed, &length);
    if (memory == nullptr)
        return 0;
    settings.SaveFile(memory);
    std::fclose(memory);
    TiXmlDocument again;
    ParseXmlBytes(&again, std::string(printed, length), false);
    std::free(printed);
    return 0;
}
