// The catalogue as the player reads it: bytes of a downloaded or installed
// file (unscrambled here, so that the seeds stay readable and the fuzzer's
// changes reach the text), through the reader, the model and both kinds of
// station list.

#include "catalogue/CatalogueModel.h"
#include "catalogue/XmlFile.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The reader's first step undoes the byte-wise scrambling; the input is
    // taken as the text after it.
    TiXmlDocument document;
    ParseXmlBytes(&document, std::string(reinterpret_cast<const char*>(data), size), false);
    CStdPtrArray regions, styles;
    std::int32_t version = 0;
    ParseCatalogueDocument(document, regions, styles, version);
    for (int i = 0; i < regions.GetSize(); ++i)
        RegionStations(document, static_cast<const char*>(regions.GetAt(i)));
    for (int i = 0; i < styles.GetSize(); ++i)
        StyleStations(document, static_cast<const char*>(styles.GetAt(i)));
    FreeNameList(regions);
    FreeNameList(styles);
    return 0;
}
