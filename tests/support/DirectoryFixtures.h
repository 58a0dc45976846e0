#pragma once

// Stations as the public station directory writes them, for the tests, the
// directory imitation and the benchmarks: one entry per station, written
// out as the directory's JSON (its field order, "" for a missing string,
// bit rate in kbit/s).

#include <string>
#include <vector>

namespace orvane::test {

struct TDirectoryEntry
{
    std::string uuid;
    std::string name;
    std::string url;
    std::string urlResolved;
    std::string homepage;
    std::string favicon;
    std::string tags;        // "news,music"
    std::string country;
    std::string countryCode; // "HK"
    std::string state;
    std::string language;    // "chinese,cantonese"
    std::string languageCodes;
    int votes = 0;
    std::string codec;       // "MP3"
    int bitrate = 0;         // kbit/s
    int hls = 0;
    int lastCheckOk = 1;
    int clickCount = 0;
    int clickTrend = 0;
    // Writes null instead of "" for homepage, favicon, state and tags, as a
    // newer or a broken server might.
    bool nullStrings = false;
};

// A JSON string literal of `text`, quotes included.
std::string JsonQuoted(const std::string& text);
// One station object, fields in the directory's order.
std::string StationJson(const TDirectoryEntry& entry);
// A JSON array of the stations.
std::string StationListJson(const std::vector<TDirectoryEntry>& entries);

// A station with a made-up uuid derived from `number`; the rest is filled
// in like a working Hong Kong MP3 station.
TDirectoryEntry MakeEntry(int number, const std::string& name, const std::string& url);

// The real-looking station set of the imitation: mainland, Hong Kong,
// Taiwan and Macao stations, duplicates of one stream, entities in names, a
// 400-byte name, empty resolved addresses, nulls, a broken station. Their
// stream addresses start with `streamBase` ("http://127.0.0.1:8000").
std::vector<TDirectoryEntry> SampleDirectory(const std::string& streamBase);

// `count` stations of varied names, countries and codecs, for the benchmarks.
std::vector<TDirectoryEntry> ManyEntries(int count);

} // namespace orvane::test
