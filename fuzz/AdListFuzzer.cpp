// The advertisement list: bytes of the file (unscrambled here, as for the
// catalogue) through the reader into the texts and their links.

#include "catalogue/XmlFile.h"
#include "update/AdList.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The reader's first step undoes the byte-wise scrambling; the input is
    // taken as the text after it.
    TiXmlDocument document;
    ParseXmlBytes(&document, std::string(reinterpret_cast<const char*>(data), size), false);
    CStdStringPtrMap links(83);
    CStdPtrArray texts;
    FillAdList(document, links, texts);
    FreeAdList(links, texts);
    return 0;
}
