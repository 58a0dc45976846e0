// Attribute lists and image attribute lists, as a layout, a catalogue name
// inside a page's list, or a settings path hands them over.

#include "uilib/core/AttributeList.h"
#include "uilib/core/ImageInfo.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    bool complete = false;
    int faultOffset = 0;
    ParseAttributeList(text.c_str(), &complete, &faultOffset);
    TImageInfo info;
    ParseImageInfo(CStdString(text.c_str()), &info);
    return 0;
}
