// The directory client against local imitations of the directory: what it
// sends, the change of server, every server down, a newer query cancelling
// an older one, clicks, the byuuid refresh, the moved-station lookup, the
// browse pages and discovery; and the HTTP stand-in's in-memory GET under it.

#include "directory/DirectoryClient.h"
#include "directory/DirectoryRequests.h"
#include "platform/inet/HostNames.h"
#include "platform/inet/HttpGet.h"
#include "support/DirectoryImitation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>

using namespace orvane::test;
using namespace std::chrono_literals;

namespace {

// Longest wait for a result; a watchdog, far above what any request takes.
constexpr auto kResultWatchdog = 20s;

const char* const kSearch = "/json/stations/search";

// A client whose notifier records each finished serial.
class CClientUnderTest
{
public:
    explicit CClientUnderTest(TDirectoryConfiguration configuration)
    {
        configuration.userAgent = DirectoryUserAgent();
        client = std::make_unique<CDirectoryClient>(std::move(configuration), [this](unsigned serial) {
            {
                std::lock_guard lock(mutex);
                notified.push_back(serial);
            }
            changed.notify_all();
        });
    }

    std::unique_ptr<TDirectoryResult> Await(unsigned serial)
    {
        std::unique_lock lock(mutex);
        const bool arrived = changed.wait_for(lock, kResultWatchdog, [&] {
            return std::find(notified.begin(), notified.end(), serial) != notified.end();
        });
        lock.unlock();
        return arrived ? client->TakeResult(serial) : nullptr;
    }

    std::vector<unsigned> Notified()
    {
        std::lock_guard lock(mutex);
        return notified;
    }

    CDirectoryClient& operator*() { return *client; }
    CDirectoryClient* operator->() { return client.get(); }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<unsigned> notified;
    std::unique_ptr<CDirectoryClient> client;
};

TDirectoryConfiguration ServersConfiguration(const std::vector<const CDirectoryImitation*>& imitations)
{
    TDirectoryConfiguration configuration;
    for (const CDirectoryImitation* imitation : imitations)
        configuration.servers.push_back(imitation->BaseUrl());
    configuration.connectTimeout = 2000ms;
    configuration.stallTimeout = 5000ms;
    configuration.totalTimeout = 8000ms;
    return configuration;
}

std::vector<std::string> Names(const TDirectoryResult& result)
{
    std::vector<std::string> names;
    for (const TDirectoryStation& station : result.stations)
        names.push_back(station.name.substr(0, 30));
    return names;
}

const TDirectoryEntry& SampleNamed(const std::vector<TDirectoryEntry>& sample, const std::string& name)
{
    return *std::find_if(sample.begin(), sample.end(), [&](const TDirectoryEntry& e) { return e.name == name; });
}

TEST(DirectoryClient, SearchFindsWorkingStationsMostClickedFirstEachStreamOnceAskedAsTheDirectoryWants)
{
    CDirectoryImitation directory;
    CClientUnderTest client(ServersConfiguration({&directory}));
    const auto result = client.Await(client->Search("音乐", 0));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, EDirectoryStatus::Ok);
    EXPECT_EQ(result->server, directory.BaseUrl());
    // The broken station (the most clicked) is hidden, the second entry of
    // 音乐之声's stream left out.
    const std::vector<std::string> expected = {"音乐之声", "经典音乐广播", "广东音乐之声", "Hit FM 台湾流行音乐",
                                               std::string("音乐长长长长长长长长").substr(0, 30)};
    EXPECT_EQ(Names(*result), expected);
    EXPECT_FALSE(result->morePages);
    EXPECT_EQ(result->stations[2].state, "") << "a null read as an empty text";

    const std::vector<TDirectoryRequestLog> log = directory.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].path, "/json/stats") << "the server is probed before its first use";
    EXPECT_EQ(log[1].path, kSearch);
    const std::map<std::string, std::string> parameters = {{"name", "音乐"},       {"hidebroken", "true"},
                                                           {"order", "clickcount"}, {"reverse", "true"},
                                                           {"limit", "100"},        {"offset", "0"}};
    EXPECT_EQ(log[1].parameters, parameters);
    for (const TDirectoryRequestLog& request : log) {
        EXPECT_EQ(request.userAgent, std::string("orvane-radio/") + ORVANE_TEST_VERSION);
        EXPECT_NE(request.acceptEncoding.find("gzip"), std::string::npos);
    }

    // The next page; the probed server is not probed again.
    const auto next = client.Await(client->Search("音乐", 1));
    ASSERT_TRUE(next);
    EXPECT_TRUE(next->stations.empty());
    EXPECT_EQ(directory.Count("/json/stats"), 1u);
    EXPECT_EQ(directory.Log().back().parameters.at("offset"), "100");
}

struct TFaultRow
{
    const char* what;
    EDirectoryFault fault;
    const char* onlyPath;
};

class DirectoryServerChange : public testing::TestWithParam<TFaultRow>
{
};

TEST_P(DirectoryServerChange, TheNextServerAnswers)
{
    CDirectoryImitation first, second, third;
    first.SetSlowDelay(5000ms);
    first.SetFault(GetParam().fault, GetParam().onlyPath);
    TDirectoryConfiguration configuration = ServersConfiguration({&first, &second, &third});
    configuration.totalTimeout = 1000ms; // a slow answer counts as none
    CClientUnderTest client(configuration);

    const auto result = client.Await(client->Search("香港", 0));
    ASSERT_TRUE(result) << GetParam().what;
    ASSERT_EQ(result->status, EDirectoryStatus::Ok) << GetParam().what;
    EXPECT_EQ(result->server, second.BaseUrl()) << GetParam().what;
    EXPECT_EQ(Names(*result), (std::vector<std::string>{"香港電台第二台"})) << GetParam().what;
    EXPECT_EQ(third.Log().size(), 0u);

    // The server that answered stays in use.
    ASSERT_TRUE(client.Await(client->Search("之声", 0)));
    EXPECT_EQ(second.Count(kSearch), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DirectoryServerChange,
    testing::Values(TFaultRow{"empty 404", EDirectoryFault::EmptyNotFound, ""},
                    TFaultRow{"plain-text 500", EDirectoryFault::PlainTextError, ""},
                    TFaultRow{"proxy's HTML 503", EDirectoryFault::HtmlUnavailable, ""},
                    TFaultRow{"slow answer", EDirectoryFault::Slow, ""},
                    TFaultRow{"refused connection", EDirectoryFault::Refused, ""},
                    TFaultRow{"cut-off JSON", EDirectoryFault::CutJson, ""},
                    // The probe passes; the search itself fails.
                    TFaultRow{"search answers a 503 page", EDirectoryFault::HtmlUnavailable, "/json/stations/search"},
                    TFaultRow{"search answers cut-off JSON", EDirectoryFault::CutJson, "/json/stations/search"},
                    TFaultRow{"search answers an empty 404", EDirectoryFault::EmptyNotFound, "/json/stations/search"}),
    [](const testing::TestParamInfo<TFaultRow>& info) { return "Row" + std::to_string(info.index); });

TEST(DirectoryClient, EveryServerDownIsUnreachableAndTheNextRequestStartsOver)
{
    CDirectoryImitation first, second;
    first.SetFault(EDirectoryFault::HtmlUnavailable);
    second.SetFault(EDirectoryFault::PlainTextError);
    CClientUnderTest client(ServersConfiguration({&first, &second}));

    const auto down = client.Await(client->Search("音乐", 0));
    ASSERT_TRUE(down);
    EXPECT_EQ(down->status, EDirectoryStatus::Unreachable);
    EXPECT_TRUE(down->stations.empty());

    first.SetFault(EDirectoryFault::None);
    const auto back = client.Await(client->Search("音乐", 0));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->status, EDirectoryStatus::Ok);
    EXPECT_EQ(back->server, first.BaseUrl());
}

TEST(DirectoryClient, NewerQueryCancelsTheOlderOneWhichReportsNothing)
{
    CDirectoryImitation directory;
    directory.SetSlowDelay(1500ms);
    directory.SetFault(EDirectoryFault::Slow, kSearch);
    CClientUnderTest client(ServersConfiguration({&directory}));

    const unsigned older = client->Search("音", 0);
    ASSERT_TRUE(directory.WaitFor(kSearch, 1, kResultWatchdog));
    const unsigned dropped = client->Search("音乐", 0); // waits, then is replaced before it starts
    const unsigned newer = client->Search("之声", 0);
    const auto result = client.Await(newer);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "之声");
    EXPECT_EQ(Names(*result), (std::vector<std::string>{"中国之声", "音乐之声", "广东音乐之声"}));
    EXPECT_EQ(client.Notified(), std::vector<unsigned>{newer});
    EXPECT_EQ(client->TakeResult(older), nullptr);
    EXPECT_EQ(client->TakeResult(dropped), nullptr);
    EXPECT_EQ(client->TakeResult(newer), nullptr) << "a result is handed over once";
    EXPECT_EQ(directory.Count(kSearch), 2u) << "the replaced query was never sent";
}

TEST(DirectoryClient, ClickCountedWithOurUserAgentAndAnUnknownStationIsNotFound)
{
    const std::vector<TDirectoryEntry> sample = SampleDirectory("http://127.0.0.1:9");
    CDirectoryImitation first, second;
    CClientUnderTest client(ServersConfiguration({&first, &second}));
    std::string upper = SampleNamed(sample, "香港電台第二台").uuid;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });

    const auto counted = client.Await(client->CountClick(upper));
    ASSERT_TRUE(counted);
    EXPECT_EQ(counted->status, EDirectoryStatus::Ok);
    EXPECT_TRUE(counted->lastCheckOk);
    const std::string path = "/json/url/" + SampleNamed(sample, "香港電台第二台").uuid;
    ASSERT_EQ(first.Count(path), 1u) << "uuids go out in lower case";
    EXPECT_EQ(first.Log().back().userAgent, DirectoryUserAgent());

    const auto unknown = client.Await(client->CountClick("00000000-0000-0000-0000-000000000000"));
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, EDirectoryStatus::NotFound);
    EXPECT_EQ(second.Log().size(), 0u) << "an unknown station is an answer, not a server's failure";
}

TEST(DirectoryClient, RefreshAsksForEveryUuidInOneRequestAndNamesTheMissing)
{
    const std::vector<TDirectoryEntry> sample = SampleDirectory("http://127.0.0.1:9");
    CDirectoryImitation directory;
    CClientUnderTest client(ServersConfiguration({&directory}));
    const std::string gone = "DEADBEEF-0000-0000-0000-000000000000";
    const std::string rthk = SampleNamed(sample, "香港電台第二台").uuid;
    const std::string china = SampleNamed(sample, "中国之声").uuid;

    const auto result = client.Await(client->Refresh({rthk, gone, china}));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, EDirectoryStatus::Ok);
    std::set<std::string> uuids;
    for (const TDirectoryStation& station : result->stations)
        uuids.insert(station.uuid);
    EXPECT_EQ(uuids, (std::set<std::string>{rthk, china}));
    EXPECT_EQ(result->missingUuids, std::vector<std::string>{gone});
    ASSERT_EQ(directory.Count("/json/stations/byuuid"), 1u);
    EXPECT_EQ(directory.Log().back().parameters.at("uuids"), rthk + ",deadbeef-0000-0000-0000-000000000000," + china);
}

TEST(DirectoryClient, MovedStationFoundUnderItsExactNameOnlyWhenItsAddressDiffers)
{
    const std::vector<TDirectoryEntry> sample = SampleDirectory("http://127.0.0.1:9");
    CDirectoryImitation directory;
    CClientUnderTest client(ServersConfiguration({&directory}));

    const auto moved = client.Await(client->FindMovedStation("中国之声", "https://ngcdn001.cnr.cn/live/zgzs/index.m3u8"));
    ASSERT_TRUE(moved);
    ASSERT_TRUE(moved->found);
    EXPECT_EQ(moved->moved.StreamAddress(), SampleNamed(sample, "中国之声").urlResolved);
    EXPECT_EQ(directory.Log().back().parameters.at("nameExact"), "true");

    const auto same = client.Await(client->FindMovedStation("中国之声", SampleNamed(sample, "中国之声").url));
    ASSERT_TRUE(same);
    EXPECT_EQ(same->status, EDirectoryStatus::Ok);
    EXPECT_FALSE(same->found);
    // Only broken stations of that name: nothing to offer.
    const auto broken = client.Await(client->FindMovedStation("已停播音乐台", "http://old.invalid/a"));
    ASSERT_TRUE(broken);
    EXPECT_FALSE(broken->found);
}

TEST(DirectoryClient, BrowseJoinsTheChineseCountriesAndLanguagesWithTheirTags)
{
    CDirectoryImitation directory;
    CClientUnderTest client(ServersConfiguration({&directory}));
    const auto result = client.Await(client->Browse(0));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, EDirectoryStatus::Ok);
    EXPECT_EQ(directory.Count(kSearch), 7u);
    const std::vector<std::string> names = Names(*result);
    ASSERT_EQ(names.size(), 10u);
    EXPECT_EQ(names.front(), "中国之声");
    EXPECT_EQ(names[1], "香港電台第二台");
    EXPECT_EQ(std::count(names.begin(), names.end(), "Radio Swiss Classic"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "音乐之声"), 1);
    ASSERT_FALSE(result->tags.empty());
    EXPECT_EQ(result->tags.front(), "music");

    const auto pop = client.Await(client->Browse(0, "pop"));
    ASSERT_TRUE(pop);
    EXPECT_EQ(Names(*pop), (std::vector<std::string>{"香港電台第二台", "音乐之声", "飛碟電台 UFO Radio & Music",
                                                     "Hit FM 台湾流行音乐"}));
}

TEST(DirectoryClient, DiscoveryTurnsTheHostsAddressesIntoServers)
{
    CDirectoryImitation directory;
    TDirectoryConfiguration configuration;
    configuration.lookupHost = "localhost";
    configuration.scheme = "http";
    configuration.port = std::to_string(directory.Port());
    configuration.requiredNameEnding = "";
    CClientUnderTest client(configuration);
    const auto result = client.Await(client->Search("之声", 0));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, EDirectoryStatus::Ok);
    EXPECT_EQ(client->KnownServers(), std::vector<std::string>{"http://localhost:" + configuration.port});
}

TEST(DirectoryClient, DestroyedWhileARequestWaitsOnASlowServer)
{
    CDirectoryImitation directory;
    directory.SetSlowDelay(10000ms);
    directory.SetFault(EDirectoryFault::Slow);
    {
        CClientUnderTest client(ServersConfiguration({&directory}));
        client->Search("音乐", 0);
        client->CountClick("abc");
        ASSERT_TRUE(directory.WaitFor("/json/stats", 1, kResultWatchdog));
    } // the worker stops, its request cancelled; nothing is reported
    SUCCEED();
}

struct TSettingsRow
{
    const char* settings;
    const char* server;
};

class ReadDirectoryServerRows : public testing::TestWithParam<TSettingsRow>
{
};

TEST_P(ReadDirectoryServerRows, Server)
{
    TiXmlDocument settings;
    settings.Parse(GetParam().settings);
    EXPECT_EQ(ReadDirectoryServer(&settings), GetParam().server) << GetParam().settings;
    const TDirectoryConfiguration configuration = DirectoryConfigurationFromSettings(&settings);
    EXPECT_EQ(configuration.servers.empty(), std::string(GetParam().server).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadDirectoryServerRows,
    testing::Values(
        TSettingsRow{R"(<config><update server="http://u"/><directory server="http://127.0.0.1:8080/"/></config>)",
                     "http://127.0.0.1:8080"},
        TSettingsRow{R"(<config><directory server="HTTPS://de1.api.radio-browser.info"/></config>)",
                     "HTTPS://de1.api.radio-browser.info"},
        TSettingsRow{R"(<config><directory server="ftp://127.0.0.1"/></config>)", ""},
        TSettingsRow{R"(<config><directory server="http://"/></config>)", ""},
        TSettingsRow{R"(<config><directory server="http://:8080/"/></config>)", ""},
        TSettingsRow{R"(<config><directory/></config>)", ""}, TSettingsRow{R"(<config/>)", ""},
        TSettingsRow{"not xml", ""}));

struct TServersRow
{
    const char* settings;
    std::vector<std::string> servers;
};

class ReadDirectoryServersRows : public testing::TestWithParam<TServersRow>
{
};

TEST_P(ReadDirectoryServersRows, ServersInOrder)
{
    TiXmlDocument settings;
    settings.Parse(GetParam().settings);
    EXPECT_EQ(ReadDirectoryServers(&settings), GetParam().servers) << GetParam().settings;
    EXPECT_EQ(DirectoryConfigurationFromSettings(&settings).servers, GetParam().servers);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadDirectoryServersRows,
    testing::Values(
        TServersRow{R"(<config><directory server="http://127.0.0.1:1/"/><update/><directory server="http://127.0.0.1:2"/></config>)",
                    {"http://127.0.0.1:1", "http://127.0.0.1:2"}},
        // One naming none is skipped, a repeated one counts once.
        TServersRow{R"(<config><directory server="ftp://x"/><directory server="http://b"/><directory server="http://b/"/></config>)",
                    {"http://b"}},
        TServersRow{R"(<config><directory/></config>)", {}},
        TServersRow{R"(<config><directory server="http://a1"/><directory server="http://a2"/><directory server="http://a3"/>)"
                    R"(<directory server="http://a4"/><directory server="http://a5"/><directory server="http://a6"/>)"
                    R"(<directory server="http://a7"/><directory server="http://a8"/><directory server="http://a9"/></config>)",
                    {"http://a1", "http://a2", "http://a3", "http://a4", "http://a5", "http://a6", "http://a7", "http://a8"}}));

TEST(HttpGet, GzipDecodedBodyBoundedAfterDecodingErrorPageKept)
{
    CDirectoryImitation directory;
    HttpGetOptions options;
    options.userAgent = "orvane-radio/test";
    const std::string url = directory.BaseUrl() + "/json/stations/search?name=";
    const HttpGetResult whole = HttpGet(url, options);
    ASSERT_TRUE(whole.Succeeded()) << whole.message;
    EXPECT_EQ(whole.contentType, "application/json");
    EXPECT_EQ(ReadStationList(whole.body).stations.size(), 13u);

    // The compressed answer is far smaller than the bound; the decoded one is not.
    options.maxBodyBytes = static_cast<std::int64_t>(whole.body.size() / 2);
    EXPECT_EQ(HttpGet(url, options).status, DownloadStatus::TooLarge);

    directory.SetFault(EDirectoryFault::PlainTextError);
    const HttpGetResult error = HttpGet(url, HttpGetOptions());
    EXPECT_EQ(error.status, DownloadStatus::HttpError);
    EXPECT_EQ(error.httpStatus, 500);
    EXPECT_EQ(error.body, "Database error: Too many connections");

    std::atomic<bool> cancel{true};
    options.cancel = &cancel;
    EXPECT_EQ(HttpGet(url, options).status, DownloadStatus::Cancelled);
}

TEST(HostNames, AddressesOfANameAndTheNameOfAnAddress)
{
    const std::vector<std::string> addresses = LookUpHostAddresses("localhost");
    EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
    EXPECT_EQ(LookUpAddressName("127.0.0.1"), "localhost");
    EXPECT_EQ(LookUpAddressName("localhost"), "") << "only numeric addresses are looked up";
    EXPECT_TRUE(LookUpHostAddresses("").empty());
}

} // namespace
