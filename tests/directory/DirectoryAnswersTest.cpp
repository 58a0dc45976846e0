// Reading the directory's answers: station lists as the servers write them,
// their bounds, entities, the second line of a row, and the small answers.

#include "directory/DirectoryAnswers.h"
#include "directory/DirectoryRequests.h"
#include "support/DirectoryFixtures.h"

#include <gtest/gtest.h>

using namespace orvane::test;

namespace {

// A station as a 0.7.x server writes it (field order, "" strings, nulls
// only where the server has them), with the fields a row needs in front.
const char* const kServedStation =
    R"({"changeuuid":"01234567-89ab-cdef-0123-456789abcdef","stationuuid":"9617A958-0601-11E8-AE97-52543BE04C81",)"
    R"("serveruuid":null,"name":"香港電台第二台 RTHK Radio 2 &amp; More","url":"http://stm.rthk.hk/radio2.pls",)"
    R"("url_resolved":"http://stm.rthk.hk/radio2","homepage":"https://www.rthk.hk/","favicon":"",)"
    R"("tags":"pop,cantonese","country":"Hong Kong","countrycode":"HK","iso_3166_2":null,"state":"",)"
    R"("language":"cantonese","languagecodes":"yue","votes":612,"lastchangetime":"2024-01-02 03:04:05",)"
    R"("lastchangetime_iso8601":"2024-01-02T03:04:05Z","codec":"MP3","bitrate":128,"hls":0,"lastcheckok":1,)"
    R"("clickcount":431,"clicktrend":-7,"ssl_error":0,"geo_lat":null,"geo_long":null,"has_extended_info":false,)"
    R"("geo_distance":12.5})";

struct TListRow
{
    const char* what;
    std::string body;
    EAnswerStatus status;
    std::size_t stations;
};

class ReadStationListRows : public testing::TestWithParam<TListRow>
{
};

TEST_P(ReadStationListRows, StatusAndCount)
{
    const TStationList list = ReadStationList(GetParam().body);
    EXPECT_EQ(list.status, GetParam().status) << GetParam().what;
    EXPECT_EQ(list.stations.size(), GetParam().stations) << GetParam().what;
}

std::string Nested(int depth)
{
    return std::string(static_cast<std::size_t>(depth), '[') + std::string(static_cast<std::size_t>(depth), ']');
}

INSTANTIATE_TEST_SUITE_P(
    AsServed, ReadStationListRows,
    testing::Values(
        TListRow{"one served station", std::string("[") + kServedStation + "]", EAnswerStatus::Ok, 1},
        TListRow{"empty list", "[]", EAnswerStatus::Ok, 0},
        TListRow{"the sample directory", StationListJson(SampleDirectory("http://127.0.0.1:9")), EAnswerStatus::Ok, 13},
        TListRow{"cut off in the middle", std::string("[") + kServedStation + "," + std::string(kServedStation).substr(0, 90),
                 EAnswerStatus::NotJson, 0},
        TListRow{"proxy's HTML page", "<html><head><title>503 Service Unavailable</title></head></html>",
                 EAnswerStatus::NotJson, 0},
        TListRow{"plain-text error", "Database error: Too many connections", EAnswerStatus::NotJson, 0},
        TListRow{"empty body", "", EAnswerStatus::NotJson, 0},
        TListRow{"an object, not a list", R"({"ok":false,"message":"x"})", EAnswerStatus::WrongShape, 0},
        TListRow{"entries that are not objects skipped", std::string("[1,\"x\",null,") + kServedStation + "]",
                 EAnswerStatus::Ok, 1},
        TListRow{"station without any address dropped", R"([{"name":"无地址","url":"","url_resolved":""}])",
                 EAnswerStatus::Ok, 0},
        TListRow{"nesting within the bound", "[" + Nested(6) + "]", EAnswerStatus::Ok, 0},
        TListRow{"nesting beyond the bound", Nested(5000), EAnswerStatus::NotJson, 0}),
    [](const testing::TestParamInfo<TListRow>& info) { return "Row" + std::to_string(info.index); });

TEST(ReadStationList, ServedStationFieldsReadAndEntitiesDecoded)
{
    const TStationList list = ReadStationList(std::string("[") + kServedStation + "]");
    ASSERT_EQ(list.stations.size(), 1u);
    const TDirectoryStation& station = list.stations[0];
    EXPECT_EQ(station.uuid, "9617a958-0601-11e8-ae97-52543be04c81"); // lower case, as requests send it
    EXPECT_EQ(station.name, "香港電台第二台 RTHK Radio 2 & More");
    EXPECT_EQ(station.StreamAddress(), "http://stm.rthk.hk/radio2");
    EXPECT_EQ(station.url, "http://stm.rthk.hk/radio2.pls");
    EXPECT_EQ(station.codec, "MP3");
    EXPECT_EQ(station.bitrate, 128);
    EXPECT_EQ(station.countryCode, "HK");
    EXPECT_TRUE(station.lastCheckOk);
    EXPECT_EQ(station.clickCount, 431);
    EXPECT_EQ(StationSubtitle(station), "MP3 · 128k · 香港");
}

TEST(ReadStationList, NullsAndOddTypesReadLeniently)
{
    const std::string body =
        R"([{"stationuuid":null,"name":null,"url":"http://a/1","url_resolved":null,"codec":7,)"
        R"("bitrate":"64","lastcheckok":true,"clickcount":-3,"votes":1e3,"countrycode":"TW","tags":null}])";
    const TStationList list = ReadStationList(body);
    ASSERT_EQ(list.stations.size(), 1u);
    const TDirectoryStation& station = list.stations[0];
    EXPECT_EQ(station.uuid, "");
    EXPECT_EQ(station.name, "");
    EXPECT_EQ(station.StreamAddress(), "http://a/1"); // no resolved address: the entered one
    EXPECT_EQ(station.codec, "");
    EXPECT_EQ(station.bitrate, 64);
    EXPECT_TRUE(station.lastCheckOk);
    EXPECT_EQ(station.clickCount, 0);
    EXPECT_EQ(station.votes, 1000);
    EXPECT_EQ(StationSubtitle(station), "64k · 台湾");
}

TEST(ReadStationList, BoundsOnBodyStationsNamesAndAddresses)
{
    TDirectoryLimits limits;
    limits.maxStations = 5;
    const TStationList many = ReadStationList(StationListJson(ManyEntries(8)), limits);
    EXPECT_EQ(many.stations.size(), 5u);
    EXPECT_TRUE(many.truncated);
    EXPECT_EQ(many.received, 8u);

    limits = TDirectoryLimits();
    limits.maxBodyBytes = 100;
    EXPECT_EQ(ReadStationList(StationListJson(ManyEntries(3)), limits).status, EAnswerStatus::TooLarge);

    // A name of 200 three-byte characters is cut at the 400-byte limit on a
    // character's boundary, never inside one.
    std::string longName;
    for (int i = 0; i < 200; ++i)
        longName += "长";
    TDirectoryEntry entry = MakeEntry(1, longName, "http://127.0.0.1:9/a.mp3");
    TDirectoryEntry longUrl = MakeEntry(2, "地址太长", "http://127.0.0.1:9/" + std::string(3000, 'a'));
    const TStationList cut = ReadStationList(StationListJson({entry, longUrl}));
    ASSERT_EQ(cut.stations.size(), 1u) << "a station whose address is over the bound is dropped, not cut";
    EXPECT_EQ(cut.stations[0].name.size(), 399u);
    EXPECT_EQ(cut.stations[0].name, longName.substr(0, 399));
}

struct TEntityRow
{
    const char* written;
    const char* shown;
};

class DecodeHtmlEntitiesRows : public testing::TestWithParam<TEntityRow>
{
};

TEST_P(DecodeHtmlEntitiesRows, Decoded)
{
    EXPECT_EQ(DecodeHtmlEntities(GetParam().written), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DecodeHtmlEntitiesRows,
    testing::Values(TEntityRow{"Radio Caroline 259 Gold [ Happy Rock &amp; Album Station ]",
                               "Radio Caroline 259 Gold [ Happy Rock & Album Station ]"},
                    TEntityRow{"R&aacute;dio Macau", "Rádio Macau"}, TEntityRow{"&#39;Hit&#x27;", "'Hit'"},
                    TEntityRow{"&#x4E2D;&#22269;", "中国"}, TEntityRow{"&amp;amp;", "&amp;"},
                    TEntityRow{"Rock & Roll", "Rock & Roll"}, TEntityRow{"&nosuch;", "&nosuch;"},
                    TEntityRow{"&#0; &#xD800; &#x110000;", "&#0; &#xD800; &#x110000;"},
                    TEntityRow{"&amp", "&amp"}, TEntityRow{"&lt;b&gt;", "<b>"}));

struct TSubtitleRow
{
    const char* codec;
    int bitrate;
    const char* code;
    const char* country;
    const char* line;
};

class StationSubtitleRows : public testing::TestWithParam<TSubtitleRow>
{
};

TEST_P(StationSubtitleRows, Line)
{
    TDirectoryStation station;
    station.codec = GetParam().codec;
    station.bitrate = GetParam().bitrate;
    station.countryCode = GetParam().code;
    station.country = GetParam().country;
    EXPECT_EQ(StationSubtitle(station), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StationSubtitleRows,
    testing::Values(TSubtitleRow{"MP3", 128, "HK", "Hong Kong", "MP3 · 128k · 香港"},
                    TSubtitleRow{"AAC+", 64, "cn", "China", "AAC+ · 64k · 中国"},
                    TSubtitleRow{"AAC", 0, "TW", "Taiwan Province Of China", "AAC · 台湾"},
                    TSubtitleRow{"", 0, "MO", "Macao", "澳门"},
                    TSubtitleRow{"OGG", 96, "IS", "Iceland", "OGG · 96k · Iceland"},
                    TSubtitleRow{"MP3", 320, "", "", "MP3 · 320k"}, TSubtitleRow{"", 0, "", "", ""}));

TEST(DedupeByStreamAddress, FirstOfEachStreamKeptInOrder)
{
    const TStationList list = ReadStationList(StationListJson(SampleDirectory("http://127.0.0.1:9")));
    std::vector<TDirectoryStation> stations = list.stations;
    const std::vector<TDirectoryStation> kept = DedupeByStreamAddress(stations);
    ASSERT_EQ(kept.size(), stations.size() - 1);
    // The second "音乐之声" is a playlist resolving to the first one's stream.
    EXPECT_EQ(kept[1].name, "音乐之声");
    EXPECT_EQ(kept[1].clickCount, 800);
    EXPECT_EQ(kept[2].name, "经典音乐广播");
}

TEST(MergeBrowsePages, EachStationOnceMostClickedFirst)
{
    const auto station = [](const char* uuid, const char* url, int clicks) {
        TDirectoryStation s;
        s.uuid = uuid;
        s.url = url;
        s.clickCount = clicks;
        return s;
    };
    // The same station comes under its country and its language; two uuids share a stream.
    const std::vector<TDirectoryStation> merged = MergeBrowsePages(
        {{station("a", "http://x/a", 50), station("b", "http://x/b", 10)},
         {station("a", "http://x/a", 50), station("c", "http://x/c", 70), station("d", "http://x/b", 90)}});
    std::vector<std::string> uuids;
    for (const TDirectoryStation& s : merged)
        uuids.push_back(s.uuid);
    EXPECT_EQ(uuids, (std::vector<std::string>{"d", "c", "a"}));
}

TEST(CommonTags, MostCommonFirstTiesInOrderOfAppearance)
{
    TDirectoryStation a, b, c;
    a.tags = "news,Music";
    b.tags = "music,pop";
    c.tags = "pop,,talk";
    EXPECT_EQ(CommonTags({a, b, c}, 3), (std::vector<std::string>{"music", "pop", "news"}));
}

struct TPathRow
{
    std::string path;
    std::string expected;
};

class RequestPathRows : public testing::TestWithParam<TPathRow>
{
};

TEST_P(RequestPathRows, Written) { EXPECT_EQ(GetParam().path, GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestPathRows,
    testing::Values(
        TPathRow{SearchPath("音乐 FM&1", 2), "/json/stations/search?name=%E9%9F%B3%E4%B9%90%20FM%261&hidebroken=true"
                                            "&order=clickcount&reverse=true&limit=100&offset=200"},
        TPathRow{BrowsePaths(0, "").front(), "/json/stations/search?countrycode=CN&hidebroken=true&order=clickcount"
                                             "&reverse=true&limit=100&offset=0"},
        TPathRow{BrowsePaths(1, "Pop").back(), "/json/stations/search?language=cantonese&tag=pop&tagExact=true"
                                               "&hidebroken=true&order=clickcount&reverse=true&limit=100&offset=100"},
        TPathRow{std::to_string(BrowsePaths(0, "").size()), "7"},
        TPathRow{ByUuidPath({"AB-1", "cd-2"}), "/json/stations/byuuid?uuids=ab-1,cd-2"},
        TPathRow{ClickPath("9617A958-X"), "/json/url/9617a958-x"},
        TPathRow{ExactNamePath("中国之声"), "/json/stations/search?name=%E4%B8%AD%E5%9B%BD%E4%B9%8B%E5%A3%B0"
                                          "&nameExact=true&hidebroken=true&order=clickcount&reverse=true&limit=20"}));

TEST(PickMovedStation, WorkingOtherAddressUnlessOursIsListed)
{
    const auto station = [](const char* url, const char* resolved, bool ok) {
        TDirectoryStation s;
        s.url = url;
        s.urlResolved = resolved;
        s.lastCheckOk = ok;
        return s;
    };
    const std::vector<TDirectoryStation> moved = {station("http://new/a.pls", "", false),
                                                  station("http://new/b.pls", "http://new/b", true)};
    ASSERT_NE(PickMovedStation(moved, "http://old/a"), nullptr);
    EXPECT_EQ(PickMovedStation(moved, "http://old/a")->StreamAddress(), "http://new/b");
    EXPECT_EQ(PickMovedStation(moved, "http://new/b"), nullptr) << "our address is still listed: it did not move";
    EXPECT_EQ(PickMovedStation(moved, "http://new/a.pls"), nullptr);
    EXPECT_EQ(PickMovedStation({station("http://new/a", "", false)}, "http://old/a"), nullptr);

    // One name, three broadcasters: the one on our host (port included,
    // case and credentials aside) is ours, even when it is clicked least.
    const std::vector<TDirectoryStation> common = {station("http://big:8000/fm", "", true),
                                                   station("http://Old:8000/new.pls", "http://cdn/new", true),
                                                   station("http://old:8001/other", "", true)};
    EXPECT_EQ(PickMovedStation(common, "http://user@old:8000/dead")->url, "http://Old:8000/new.pls");
    EXPECT_EQ(PickMovedStation(common, "http://old:9000/dead")->url, "http://big:8000/fm");
    EXPECT_EQ(PickMovedStation(common, "not an address")->url, "http://big:8000/fm");
}

TEST(SmallAnswers, StatsClickAndCountLists)
{
    EXPECT_TRUE(ReadStatsAnswer(R"({"supported_version":1,"software_version":"0.7.24","status":"OK","stations":5})"));
    EXPECT_TRUE(ReadStatsAnswer(R"({"stations":5})"));
    EXPECT_FALSE(ReadStatsAnswer(R"({"status":"DOWN"})"));
    EXPECT_FALSE(ReadStatsAnswer("<html>503</html>"));
    EXPECT_FALSE(ReadStatsAnswer("[]"));

    const TClickAnswer click = ReadClickAnswer(R"({"ok":true,"message":"retrieved station url","stationuuid":"a","name":"n","url":"u"})");
    EXPECT_TRUE(click.counted);
    EXPECT_TRUE(click.ok);
    const TClickAnswer docs = ReadClickAnswer(R"({"ok":"true","stationuuid":"a"})"); // as the docs' example writes it
    EXPECT_TRUE(docs.ok);
    EXPECT_FALSE(ReadClickAnswer(R"({"ok":false,"message":"VoteError"})").counted);

    const TNameCountList tags = ReadNameCountList(R"([{"name":"pop","stationcount":12},{"name":"news","stationcount":"3"},{"stationcount":1}])");
    ASSERT_EQ(tags.entries.size(), 2u);
    EXPECT_EQ(tags.entries[1].name, "news");
    EXPECT_EQ(tags.entries[1].stationCount, 3);
}

} // namespace
