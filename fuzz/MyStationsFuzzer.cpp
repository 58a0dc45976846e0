// The user's own stations file: read as a start reads it, then written as a
// save writes it, and the written text must read back as the same list.

#include "catalogue/MyStations.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool Same(const std::vector<TMyStation>& a, const std::vector<TMyStation>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].url != b[i].url || a[i].uuid != b[i].uuid ||
            a[i].goneFromDirectory != b[i].goneFromDirectory)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<TMyStation> stations;
    if (!ParseMyStations(std::string_view(reinterpret_cast<const char*>(data), size), &stations))
        return 0; // set aside, never saved over
    std::vector<TMyStation> again;
    if (!ParseMyStations(FormatMyStations(stations), &again) || !Same(stations, again))
        std::abort(); // a save that does not read back would lose the user's list
    return 0;
}
