#include "support/DirectoryFixtures.h"

#include <cstdio>

namespace orvane::test {

std::string JsonQuoted(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string StationJson(const TDirectoryEntry& e)
{
    const auto text = [](const std::string& value) { return JsonQuoted(value); };
    const auto maybeNull = [&](const std::string& value) { return e.nullStrings ? std::string("null") : text(value); };
    const auto number = [](int value) { return std::to_string(value); };
    std::string json = "{";
    json += "\"changeuuid\":" + text("c" + e.uuid.substr(1));
    json += ",\"stationuuid\":" + text(e.uuid);
    json += ",\"serveruuid\":null";
    json += ",\"name\":" + text(e.name);
    json += ",\"url\":" + text(e.url);
    json += ",\"url_resolved\":" + text(e.urlResolved);
    json += ",\"homepage\":" + maybeNull(e.homepage);
    json += ",\"favicon\":" + maybeNull(e.favicon);
    json += ",\"tags\":" + maybeNull(e.tags);
    json += ",\"country\":" + text(e.country);
    json += ",\"countrycode\":" + text(e.countryCode);
    json += ",\"iso_3166_2\":null";
    json += ",\"state\":" + maybeNull(e.state);
    json += ",\"language\":" + text(e.language);
    json += ",\"languagecodes\":" + text(e.languageCodes);
    json += ",\"votes\":" + number(e.votes);
    json += ",\"lastchangetime\":\"2025-11-02 08:14:55\",\"lastchangetime_iso8601\":\"2025-11-02T08:14:55Z\"";
    json += ",\"codec\":" + text(e.codec);
    json += ",\"bitrate\":" + number(e.bitrate);
    json += ",\"hls\":" + number(e.hls);
    json += ",\"lastcheckok\":" + number(e.lastCheckOk);
    json += ",\"lastchecktime\":\"2026-12-07 21:03:11\",\"lastchecktime_iso8601\":\"2026-12-07T21:03:11Z\"";
    json += ",\"lastcheckoktime\":\"2026-12-07 21:03:11\",\"lastcheckoktime_iso8601\":\"2026-12-07T21:03:11Z\"";
    json += ",\"lastlocalchecktime\":\"\",\"lastlocalchecktime_iso8601\":null";
    json += ",\"clicktimestamp\":\"2026-12-08 06:40:02\",\"clicktimestamp_iso8601\":\"2026-12-08T06:40:02Z\"";
    json += ",\"clickcount\":" + number(e.clickCount);
    json += ",\"clicktrend\":" + number(e.clickTrend);
    json += ",\"ssl_error\":0,\"geo_lat\":null,\"geo_long\":null,\"has_extended_info\":false}";
    return json;
}

std::string StationListJson(const std::vector<TDirectoryEntry>& entries)
{
    std::string json = "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0)
            json += ",";
        json += StationJson(entries[i]);
    }
    return json + "]";
}

TDirectoryEntry MakeEntry(int number, const std::string& name, const std::string& url)
{
    char uuid[40];
    std::snprintf(uuid, sizeof uuid, "9617a958-0601-11e8-ae97-%012x", number);
    TDirectoryEntry entry;
    entry.uuid = uuid;
    entry.name = name;
    entry.url = url;
    entry.urlResolved = url;
    entry.homepage = "https://www.example.hk/";
    entry.favicon = "https://www.example.hk/favicon.ico";
    entry.tags = "music";
    entry.country = "Hong Kong";
    entry.countryCode = "HK";
    entry.state = "Hong Kong";
    entry.language = "cantonese";
    entry.languageCodes = "yue";
    entry.codec = "MP3";
    entry.bitrate = 128;
    entry.clickCount = 10;
    return entry;
}

std::vector<TDirectoryEntry> SampleDirectory(const std::string& streamBase)
{
    std::vector<TDirectoryEntry> all;
    int number = 1;
    const auto add = [&](const std::string& name, const std::string& mount, const std::string& countryCode,
                         const std::string& country, const std::string& state, const std::string& language,
                         const std::string& tags, const std::string& codec, int bitrate, int clicks) -> TDirectoryEntry& {
        TDirectoryEntry entry = MakeEntry(number++, name, streamBase + "/" + mount);
        entry.countryCode = countryCode;
        entry.country = country;
        entry.state = state;
        entry.language = language;
        entry.tags = tags;
        entry.codec = codec;
        entry.bitrate = bitrate;
        entry.clickCount = clicks;
        all.push_back(entry);
        return all.back();
    };
    add("中国之声", "zgzs.mp3", "CN", "China", "Beijing", "chinese,mandarin", "news", "AAC", 64, 1200);
    add("音乐之声", "yyzs.mp3", "CN", "China", "Beijing", "mandarin", "music,pop", "MP3", 128, 800);
    // The same stream entered again under a second uuid.
    add("音乐之声", "yyzs-dup.pls", "CN", "China", "Beijing", "mandarin", "music", "MP3", 128, 30).urlResolved =
        streamBase + "/yyzs.mp3";
    add("经典音乐广播", "jdyy.aac", "CN", "China", "Beijing", "chinese", "classical,music", "AAC", 48, 500);
    add("香港電台第二台", "rthk2.mp3", "HK", "Hong Kong", "Hong Kong", "cantonese", "pop", "MP3", 128, 950);
    // Never checked: no resolved address yet.
    add("新城知訊台", "metro.mp3", "HK", "Hong Kong", "", "cantonese", "news,talk", "", 0, 120).urlResolved = "";
    add("飛碟電台 UFO Radio &amp; Music", "ufo.mp3", "TW", "Taiwan Province Of China", "Taipei", "mandarin",
        "pop,music", "MP3", 192, 300);
    add("澳門電台 R&aacute;dio Macau", "tdm.aac", "MO", "Macao", "Macau", "portuguese,chinese", "news", "AAC+", 64, 60);
    // A name at the directory's 400-byte limit: 音乐 and 131 more characters of three bytes, and one letter.
    std::string longName = "音乐";
    for (int i = 0; i < 131; ++i)
        longName += "长";
    longName += "a";
    add(longName, "long.mp3", "CN", "China", "Shanghai", "chinese", "music", "MP3", 96, 5);
    add("广东音乐之声", "gdyy.mp3", "CN", "China", "Guangdong", "cantonese", "music", "MP3", 128, 400).nullStrings = true;
    add("已停播音乐台", "gone.mp3", "CN", "China", "Beijing", "chinese", "music", "MP3", 128, 2000).lastCheckOk = 0;
    add("Hit FM 台湾流行音乐", "hitfm.mp3", "TW", "Taiwan Province Of China", "Taipei", "mandarin", "pop,music",
        "MP3", 128, 250);
    add("Radio Swiss Classic", "rsc.mp3", "CH", "Switzerland", "Bern", "german", "classical", "MP3", 128, 700);
    return all;
}

std::vector<TDirectoryEntry> ManyEntries(int count)
{
    static const char* const kCodes[] = {"CN", "HK", "TW", "MO", "US", "DE"};
    static const char* const kCodecs[] = {"MP3", "AAC", "AAC+", "OGG"};
    std::vector<TDirectoryEntry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        TDirectoryEntry entry = MakeEntry(i, "电台 Radio &amp; " + std::to_string(i),
                                          "http://127.0.0.1:9/stream/" + std::to_string(i) + ".mp3");
        entry.countryCode = kCodes[i % 6];
        entry.codec = kCodecs[i % 4];
        entry.bitrate = 32 * (1 + i % 8);
        entry.clickCount = count - i;
        entry.tags = "music,pop,tag" + std::to_string(i % 50);
        entries.push_back(entry);
    }
    return entries;
}

} // namespace orvane::test
