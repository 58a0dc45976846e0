// The layout builder: an inline layout through the XML reader, the control
// factory, every control's attribute parser and the tree it builds.

#include "uilib/controls/ControlUI.h"
#include "uilib/layout/DialogBuilder.h"
#include "uilib/layout/LayoutDiagnostics.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    CLayoutDiagnostics::SetSink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Text that does not start with '<' would name a layout file instead.
    std::string layout = "<" + std::string(reinterpret_cast<const char*>(data), size);
    CDialogBuilder builder;
    delete builder.Create(layout.c_str());
    return 0;
}
