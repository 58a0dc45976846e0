// Station files of every kind other programs and servers write, read as an
// import reads them; what is read must be an export that reads back whole.

#include "catalogue/StationImport.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first byte picks the name the file came with, so every reader is
    // reached whatever the contents look like.
    static const char* const names[] = {"list.m3u", "list.pls", "list.xspf", "stations.xml", "bookmarks.json", "x"};
    const char* name = names[size > 0 ? data[0] % 6 : 5];
    const std::vector<TMyStation> stations = ReadStationFile(name, bytes.substr(size > 0 ? 1 : 0));
    for (const TMyStation& station : stations) {
        if (!IsStationAddress(station.url, nullptr) || station.name.empty())
            std::abort();
    }
    const std::vector<TMyStation> again = ReadStationFile("export.m3u", WriteM3u(stations));
    if (again.size() != stations.size())
        std::abort();
    for (std::size_t i = 0; i < again.size(); ++i) {
        if (again[i].url != stations[i].url || again[i].name != stations[i].name)
            std::abort();
    }
    return 0;
}
