// orvane-catalogue: makes and checks the player's scrambled data files.
//
//   orvane-catalogue scramble IN OUT     plain XML -> scrambled file
//   orvane-catalogue unscramble IN OUT   scrambled file -> plain XML
//   orvane-catalogue check FILE          what the player reads from a scrambled
//                                        catalogue or advertisement list
//   orvane-catalogue from-directory STATIONS.json OUT.xml [VERSION]
//                                        a station directory answer -> a plain
//                                        catalogue source (FromDirectory.h)
//
// `check` goes through the player's own reader and model, so what it prints is
// what the player will show: one tab-separated line per item, the version
// first (when the file has one), then the regions with their station counts
// and the styles with theirs, or the advertisements with their links. It exits
// 1 when the file has no root element or lies beyond the bounds the player
// sets on outside data (size, nesting depth, number of nodes).

#include "FromDirectory.h"

#include "catalogue/CatalogueModel.h"
#include "catalogue/XmlFile.h"
#include "catalogue/XorScramble.h"
#include "platform/shell/SafeFile.h"
#include "update/AdList.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

int Usage()
{
    std::cerr << "usage: orvane-catalogue scramble IN OUT\n"
                 "       orvane-catalogue unscramble IN OUT\n"
                 "       orvane-catalogue check FILE\n"
                 "       orvane-catalogue from-directory STATIONS.json OUT.xml [VERSION]\n";
    return 2;
}

// Writes IN XORed with the file key to OUT, replaced whole
// (platform/shell/SafeFile.h), so OUT is never left half-written.
int Transform(const char* inputPath, const char* outputPath)
{
    std::ifstream input(inputPath, std::ios::binary);
    if (!input) {
        std::cerr << "orvane-catalogue: cannot read " << inputPath << "\n";
        return 1;
    }
    std::string bytes((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    if (bytes.size() > static_cast<std::size_t>(kMaxXmlFileBytes)) {
        std::cerr << "orvane-catalogue: " << inputPath << " is too large\n";
        return 1;
    }
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    XorScramble(data, static_cast<std::int32_t>(bytes.size()), data, kFileKey);

    const TReplaceResult replaced = ReplaceFileContents(outputPath, bytes);
    if (!replaced) {
        std::cerr << "orvane-catalogue: cannot write " << outputPath << " (" << replaced.step << ": "
                  << std::strerror(replaced.error) << ")\n";
        return 1;
    }
    return 0;
}

bool LooksLikeCatalogue(const TiXmlElement& root)
{
    for (const TiXmlElement* child = root.FirstChildElement(); child; child = child->NextSiblingElement()) {
        if (IsRegionElement(*child) || CStdString(child->Value()).CompareNoCase("styles") == 0)
            return true;
    }
    return false;
}

int Check(const char* path)
{
    TiXmlDocument document;
    const TXmlFileResult read = ReadXmlFile(document, path);
    if (read.status == EXmlFileStatus::Refused) {
        std::cerr << "orvane-catalogue: " << path << " is refused: " << DescribeXmlRefusal(read.refusal)
                  << " (the player reads it as a broken file)\n";
        return 1;
    }
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr) {
        std::cerr << "orvane-catalogue: " << path << " has no root element (missing, not scrambled, or not XML)\n";
        return 1;
    }

    const TiXmlElement* version = FindVersionElement(document);
    if (version != nullptr && version->FirstChild() != nullptr)
        std::cout << "version\t" << ParseVersionNumber(version->FirstChild()->Value()) << "\n";

    if (LooksLikeCatalogue(*root)) {
        CStdPtrArray regionList, styleList;
        std::int32_t catalogueVersion = 0;
        ParseCatalogueDocument(document, regionList, styleList, catalogueVersion);
        for (int i = 0; i < regionList.GetSize(); ++i) {
            const char* name = static_cast<const char*>(regionList.GetAt(i));
            std::cout << "region\t" << name << "\t" << RegionStations(document, name).size() << "\n";
        }
        for (int i = 0; i < styleList.GetSize(); ++i) {
            const char* name = static_cast<const char*>(styleList.GetAt(i));
            std::cout << "style\t" << name << "\t" << StyleStations(document, name).size() << "\n";
        }
        FreeNameList(regionList);
        FreeNameList(styleList);
    } else {
        CStdStringPtrMap adLinks(83);
        CStdPtrArray adTexts;
        ReadAdList(path, adLinks, adTexts);
        for (int i = 0; i < adTexts.GetSize(); ++i) {
            const auto* text = static_cast<const CStdString*>(adTexts.GetAt(i));
            const auto* link = static_cast<const CStdString*>(adLinks.Find(*text));
            std::cout << "ad\t" << text->GetData() << "\t" << (link ? link->GetData() : "") << "\n";
        }
        FreeAdList(adLinks, adTexts);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && (std::strcmp(argv[1], "scramble") == 0 || std::strcmp(argv[1], "unscramble") == 0))
        return Transform(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "check") == 0)
        return Check(argv[2]);
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "from-directory") == 0)
        return CatalogueFromDirectory(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    return Usage();
}
