#pragma once

// Reading the station directory's answers: station lists (search, browse,
// byuuid), the name/count lists (tags, languages, countries), the health
// probe and the click answer; and what a result row shows of a station.
//
// The answers come from servers we do not run, so the reader is bounded and
// lenient: a body, a nesting depth, a number of stations and a field length
// it will not go beyond; unknown keys are ignored, a null or a number where
// a string belongs reads as "", a string where a number belongs is read
// when it is one, HTML entities in names are decoded. A station without
// any stream address is dropped; so is anything in the list that is not an
// object.
//
// Threads: any; the functions keep no state.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TDirectoryStation
{
    std::string uuid;        // lower case, as requests must send it back
    std::string name;        // entities decoded, at most maxNameBytes
    std::string url;         // as the station's maker entered it
    std::string urlResolved; // playlist and redirects resolved; may be ""
    std::string homepage;
    std::string favicon;
    std::string tags;        // "news,music"
    std::string country;
    std::string countryCode; // "HK"
    std::string state;
    std::string language;
    std::string codec;       // "MP3"
    int bitrate = 0;         // kbit/s, 0 when unknown
    bool hls = false;
    bool lastCheckOk = false;
    std::int64_t clickCount = 0;
    std::int64_t votes = 0;

    // What to play first: the resolved address when there is one.
    const std::string& StreamAddress() const { return urlResolved.empty() ? url : urlResolved; }
};

struct TDirectoryLimits
{
    std::size_t maxBodyBytes = 4 * 1024 * 1024;
    std::size_t maxDepth = 8;           // a station list is two levels deep
    std::size_t maxStations = 1000;     // stations kept; the rest are set aside
    std::size_t maxNameBytes = 400;     // the directory's own limit on names
    std::size_t maxFieldBytes = 2048;   // any other string; a longer address drops its station
};

enum class EAnswerStatus
{
    Ok,
    TooLarge,  // the body is over maxBodyBytes
    NotJson,   // does not parse (cut off, an HTML page, too deep)
    WrongShape // parses, but is not what the request answers with
};

struct TStationList
{
    EAnswerStatus status = EAnswerStatus::NotJson;
    std::vector<TDirectoryStation> stations;
    std::size_t received = 0; // entries in the answer, those dropped included
    bool truncated = false;   // more than maxStations were sent
};

TStationList ReadStationList(const std::string& body, const TDirectoryLimits& limits = TDirectoryLimits());

// An entry of the tag, language or country list.
struct TNameCount
{
    std::string name;
    std::int64_t stationCount = 0;
};

struct TNameCountList
{
    EAnswerStatus status = EAnswerStatus::NotJson;
    std::vector<TNameCount> entries;
};

TNameCountList ReadNameCountList(const std::string& body, const TDirectoryLimits& limits = TDirectoryLimits());

// Whether a /json/stats answer says the server works: a JSON object whose
// "status", when present, is "OK".
bool ReadStatsAnswer(const std::string& body);

// The /json/url/{uuid} answer: whether the directory counted the play (an
// object with a "stationuuid"); `ok` mirrors its last check.
struct TClickAnswer
{
    bool counted = false;
    bool ok = false;
};

TClickAnswer ReadClickAnswer(const std::string& body);

// HTML character references decoded once: named ones of common use
// (&amp; &lt; &gt; &quot; &apos; &nbsp; and Latin letters with accents) and
// numeric ones (&#38; &#x26;). Anything else, or a reference to no
// character, stays as written.
std::string DecodeHtmlEntities(const std::string& text);

// The stations with each stream address once, the first of each kept, order
// kept.
std::vector<TDirectoryStation> DedupeByStreamAddress(std::vector<TDirectoryStation> stations);

// The row's second line: codec, bit rate, country or region, those known,
// joined by " · " ("MP3 · 128k · 香港").
std::string StationSubtitle(const TDirectoryStation& station);

// The Chinese name of a country or region code ("HK" -> "香港"); empty for a
// code outside the common ones.
std::string ChineseRegionName(const std::string& countryCode);
