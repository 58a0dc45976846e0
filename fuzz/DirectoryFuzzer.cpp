// The station directory's answers: the input read as a station list, a
// name/count list, a health probe and a click answer, with the default
// bounds and with tight ones; the stations then go through everything a
// page does with them. The bounds must hold whatever the input.

#include "directory/DirectoryAnswers.h"
#include "directory/DirectoryRequests.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool EndsOnCharacter(const std::string& text)
{
    // A cut never leaves a lead byte without its continuation bytes.
    std::size_t i = text.size();
    std::size_t continuation = 0;
    while (i > 0 && (static_cast<unsigned char>(text[i - 1]) & 0xC0) == 0x80) {
        --i;
        ++continuation;
    }
    if (i == 0)
        return true;
    const auto lead = static_cast<unsigned char>(text[i - 1]);
    const std::size_t wanted = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    return lead < 0xC0 || continuation >= wanted;
}

void Use(const TStationList& list, const TDirectoryLimits& limits)
{
    Check(list.stations.size() <= limits.maxStations);
    for (const TDirectoryStation& station : list.stations) {
        Check(station.name.size() <= limits.maxNameBytes);
        Check(station.url.size() <= limits.maxFieldBytes && station.urlResolved.size() <= limits.maxFieldBytes);
        Check(!station.StreamAddress().empty());
        Check(station.bitrate >= 0 && station.clickCount >= 0);
        Check(EndsOnCharacter(station.name));
        const std::string line = StationSubtitle(station);
        (void)line;
    }
    const std::vector<TDirectoryStation> once = DedupeByStreamAddress(list.stations);
    Check(once.size() <= list.stations.size());
    const std::vector<TDirectoryStation> merged = MergeBrowsePages({list.stations, once});
    Check(merged.size() <= list.stations.size());
    (void)CommonTags(merged, 16);
    if (!list.stations.empty())
        (void)PickMovedStation(list.stations, list.stations.front().url);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);

    const TDirectoryLimits defaults;
    Use(ReadStationList(body, defaults), defaults);

    TDirectoryLimits tight;
    tight.maxBodyBytes = 2048;
    tight.maxDepth = 3;
    tight.maxStations = 3;
    tight.maxNameBytes = 7;
    tight.maxFieldBytes = 40;
    Use(ReadStationList(body, tight), tight);

    const TNameCountList counts = ReadNameCountList(body, defaults);
    for (const TNameCount& entry : counts.entries)
        Check(!entry.name.empty() && entry.stationCount >= 0);
    (void)ReadStatsAnswer(body);
    (void)ReadClickAnswer(body);

    const std::string decoded = DecodeHtmlEntities(body);
    Check(decoded.size() <= body.size()); // every reference is longer than its character
    return 0;
}
