// The update worker through the real main window, against a server on
// 127.0.0.1 that each test starts: what it fetches and when, what it
// installs, what it posts to the window, and how it ends.

#include "app/RadioWndFixture.h"
#include "support/LocalHttpServer.h"
#include "update/UpdateWorker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace apptest;
using namespace std::chrono_literals;
using orvane::test::BodyFraming;
using orvane::test::HttpRequest;
using orvane::test::HttpResponse;
using orvane::test::LocalHttpServer;
using orvane::test::StallPoint;
namespace fs = std::filesystem;

namespace {

// Longest wait for anything that should happen at once; only a fault makes a
// test wait this long.
constexpr auto kWatchdog = 10s;

constexpr const char* kCataloguePath = "/update/fmradios.dll";
constexpr const char* kAdsPath = "/update/fmads.dll";

std::string Scrambled(std::string text)
{
    auto* data = reinterpret_cast<unsigned char*>(text.data());
    XorScramble(data, static_cast<std::int32_t>(text.size()), data, kFileKey);
    return text;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A catalogue with one region of one station, named after `region`.
std::string OneRegionCatalogue(const std::string& region, const std::string& versionElement)
{
    return "<catalogue><city name=\"" + region + "\"><station name=\"" + region +
           "-0\" url=\"http://127.0.0.1:9/s\" style=\"S0\"/></city><styles><style name=\"S0\"/></styles>"
           "</catalogue>" + versionElement;
}

const std::string kAdsXml = "<ads><ad t=\"新广告\" l=\"http://127.0.0.1:9/new\"/><ad t=\"第二条\" l=\"#\"/></ads>"
                            "<version>7</version>";

// Names of the files in a folder, sorted, so that a left-over partial
// download shows; none for a missing folder.
std::vector<std::string> FilesIn(const fs::path& path)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(path, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs `work` on a thread of its own. When it has not returned within
// `limit` the test fails and the process ends: waiting on would hang it.
void FinishWithin(const std::function<void()>& work, std::chrono::milliseconds limit, const char* what)
{
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    std::thread worker([work, finished] {
        work();
        finished->set_value();
    });
    if (done.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not return within %lld ms\n", what, static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }
    worker.join();
}

// Holds the server's answers back until the test opens it, so that nothing
// arrives while the window is still starting and its first messages are
// seen by the test's own pump.
class CGate
{
public:
    void Open()
    {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
    void Wait()
    {
        std::unique_lock lock(mutex);
        opened.wait_for(lock, kWatchdog, [this] { return open; });
    }

private:
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
};

class UpdateWorker : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        // Nothing may leave the machine through a proxy a developer has set.
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
        ::setenv("no_proxy", "*", 1);
        CRadioWndTest::SetUp();
        config = folder / "config";
        cache = folder / "cache";
    }

    void TearDown() override
    {
        StopWorker();
        CRadioWndTest::TearDown();
        gate.Open();
        server.Stop();
        SetUpdateTiming(TUpdateTiming());
    }

    void PointAtServer()
    {
        WriteFile(config / "config.xml",
                  "<config><skin name=\"minLove\" path=\"#\"/><update server=\"" + server.BaseUrl() + "\"/></config>");
    }

    // Short waits, so that a test sees several passes within a second or two.
    static void UseTiming(std::uint32_t roundPause, std::uint32_t stallTimeout = 30000)
    {
        TUpdateTiming timing;
        timing.roundPause = roundPause;
        timing.firstRetry = 10;
        timing.longestRetry = 40;
        timing.connectTimeout = 2000;
        timing.stallTimeout = stallTimeout;
        SetUpdateTiming(timing);
    }

    // Serves `response` at `path` once the gate is open.
    void ServeBehindGate(const std::string& path, HttpResponse response)
    {
        server.AddHandler(path, [this, response](const HttpRequest&) {
            gate.Wait();
            return response;
        });
    }

    static HttpResponse Ok(std::string body)
    {
        HttpResponse response;
        response.body = std::move(body);
        return response;
    }

    // Pumps the window's messages until done() holds, noting every update
    // message that reaches the main window; false on time-out.
    bool PumpNoting(const std::function<bool()>& done, std::chrono::milliseconds timeout = kWatchdog)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        MSG message{};
        for (;;) {
            while (::PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT)
                    return done();
                if (message.message == WM_CATALOGUE_REPLACED || message.message == WM_ADS_REPLACED) {
                    EXPECT_EQ(message.hwnd, Hwnd());
                    EXPECT_EQ(message.wParam, 0u);
                    EXPECT_EQ(message.lParam, 0);
                    arrived.push_back(message.message);
                }
                if (!CPaintManagerUI::TranslateMessage(&message)) {
                    ::TranslateMessage(&message);
                    ::DispatchMessage(&message);
                }
                if (done())
                    return true;
            }
            if (done())
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(1ms);
        }
    }

    void PumpNotingFor(std::chrono::milliseconds duration)
    {
        PumpNoting([] { return false; }, duration);
    }

    int Arrived(UINT message) const
    {
        return static_cast<int>(std::count(arrived.begin(), arrived.end(), message));
    }

    // Ends the window's own worker, behind a watchdog.
    void StopWorker()
    {
        if (window == nullptr || window->updateThread == nullptr)
            return;
        HANDLE thread = window->updateThread;
        window->updateThread = nullptr;
        FinishWithin([thread] { ::StopThread(thread); }, 5s, "StopThread of the update worker");
    }

    // Names of the region options on the category page, in order.
    std::vector<std::string> RegionNames() const
    {
        std::vector<std::string> names;
        std::function<void(CControlUI*)> walk = [&](CControlUI* control) {
            if (control->GetName() == "citys")
                names.emplace_back(control->GetText().GetData());
            for (CControlUI* child : Children(AsContainer(control)))
                walk(child);
        };
        if (window->sortsPanel != nullptr)
            walk(window->sortsPanel);
        return names;
    }

    // Declared before the server, whose handlers wait on it.
    CGate gate;
    LocalHttpServer server;
    std::vector<UINT> arrived;
    fs::path config;
    fs::path cache;
};

} // namespace

TEST_F(UpdateWorker, FirstRoundCreatesTheCacheAndInstallsANewerCatalogueAndTheAdList)
{
    // The local catalogue has no version element: version 0.
    WriteCatalogue(OneRegionCatalogue("旧地区", ""));
    const std::string catalogue = Scrambled(MakeCatalogue(4, 1, 1, 1));
    const std::string ads = Scrambled(kAdsXml);
    ServeBehindGate(kCataloguePath, Ok(catalogue));
    ServeBehindGate(kAdsPath, Ok(ads));
    PointAtServer();
    UseTiming(600000);
    ASSERT_FALSE(fs::exists(cache));

    Start();
    EXPECT_EQ(window->catalogueVersion.load(), 0);
    EXPECT_EQ(RegionNames(), std::vector<std::string>({"旧地区"}));
    gate.Open();
    ASSERT_TRUE(PumpNoting([&] { return Arrived(WM_CATALOGUE_REPLACED) == 1 && Arrived(WM_ADS_REPLACED) == 1; }));

    EXPECT_TRUE(fs::is_directory(cache));
    EXPECT_EQ(ReadFile(config / "fmradios.dll"), catalogue);
    EXPECT_EQ(ReadFile(config / "fmads.dll"), ads);
    // Both checked copies stay in the cache folder.
    EXPECT_EQ(ReadFile(cache / "fmradios_tmp.dll"), catalogue);
    EXPECT_EQ(ReadFile(cache / "fmads_tmp.dll"), ads);
    EXPECT_EQ(FilesIn(config), std::vector<std::string>({"config.xml", "fmads.dll", "fmradios.dll"}));

    // The window reloaded both without a restart.
    EXPECT_EQ(window->catalogueVersion.load(), 1);
    EXPECT_EQ(RegionNames(), std::vector<std::string>({"R0", "R1", "R2", "R3"}));
    ASSERT_EQ(window->adTexts.GetSize(), 2);
    EXPECT_EQ(*static_cast<CStdString*>(window->adTexts.GetAt(0)), "新广告");

    // Catalogue first, then the ad list, each a GET that bypasses every cache.
    const std::vector<HttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, kCataloguePath);
    EXPECT_EQ(requests[1].path, kAdsPath);
    for (const HttpRequest& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_NE(request.Header("Cache-Control").find("no-cache"), std::string::npos);
        EXPECT_EQ(request.Header("Pragma"), "no-cache");
    }

    // Nothing more inside the round's pause.
    PumpNotingFor(300ms);
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(arrived.size(), 2u);
}

TEST_F(UpdateWorker, FailingCatalogueIsRetriedAloneAndTheAdListWaitsForTheNextRound)
{
    WriteCatalogue(MakeCatalogue(1, 1, 1, 1));
    const std::string oldCatalogue = ReadFile(config / "fmradios.dll");
    const std::string newCatalogue = Scrambled(MakeCatalogue(3, 1, 1, 2));
    auto catalogueBroken = std::make_shared<std::atomic<bool>>(true);
    server.AddHandler(kCataloguePath, [this, catalogueBroken, newCatalogue](const HttpRequest&) {
        gate.Wait();
        HttpResponse response;
        response.status = catalogueBroken->load() ? 500 : 200;
        response.body = catalogueBroken->load() ? "<html>Internal Server Error</html>" : newCatalogue;
        return response;
    });
    ServeBehindGate(kAdsPath, Ok(Scrambled(kAdsXml)));
    PointAtServer();
    UseTiming(600000);

    Start();
    gate.Open();
    ASSERT_TRUE(PumpNoting([&] { return server.RequestCount(kCataloguePath) >= 5 && Arrived(WM_ADS_REPLACED) == 1; }));
    EXPECT_EQ(server.RequestCount(kAdsPath), 1u);
    EXPECT_EQ(Arrived(WM_CATALOGUE_REPLACED), 0);
    EXPECT_EQ(ReadFile(config / "fmradios.dll"), oldCatalogue);
    EXPECT_FALSE(fs::exists(cache / "fmradios_tmp.dll"));
    EXPECT_EQ(window->catalogueVersion.load(), 1);

    catalogueBroken->store(false);
    ASSERT_TRUE(PumpNoting([&] { return Arrived(WM_CATALOGUE_REPLACED) == 1; }));
    const std::size_t catalogueRequests = server.RequestCount(kCataloguePath);
    EXPECT_EQ(window->catalogueVersion.load(), 2);
    EXPECT_EQ(RegionNames(), std::vector<std::string>({"R0", "R1", "R2"}));

    // Both are done now: neither is asked for again before the pause is over.
    PumpNotingFor(300ms);
    EXPECT_EQ(server.RequestCount(kCataloguePath), catalogueRequests);
    EXPECT_EQ(server.RequestCount(kAdsPath), 1u);
    EXPECT_EQ(Arrived(WM_ADS_REPLACED), 1);
}

TEST_F(UpdateWorker, NextRoundComesAfterTheLongPauseAndInstallsOnlyTheAdListAgain)
{
    WriteCatalogue(MakeCatalogue(1, 1, 1, 1));
    const std::string catalogue = Scrambled(MakeCatalogue(2, 1, 1, 5));
    ServeBehindGate(kCataloguePath, Ok(catalogue));
    ServeBehindGate(kAdsPath, Ok(Scrambled(kAdsXml)));
    PointAtServer();
    // Milliseconds of the round's pause: far longer than a round on this
    // machine, short enough to wait for.
    constexpr std::uint32_t kPause = 3000;
    UseTiming(kPause);

    Start();
    gate.Open();
    ASSERT_TRUE(PumpNoting([&] { return Arrived(WM_CATALOGUE_REPLACED) == 1 && Arrived(WM_ADS_REPLACED) == 1; }));
    EXPECT_EQ(window->catalogueVersion.load(), 5);

    // The pause began when the ad list was posted: no request within it.
    PumpNotingFor(500ms);
    EXPECT_EQ(server.RequestCount(kCataloguePath), 1u);
    EXPECT_EQ(server.RequestCount(kAdsPath), 1u);

    // Then both again; the catalogue is now the loaded version, so only the
    // ad list is installed and posted a second time.
    ASSERT_TRUE(PumpNoting([&] { return Arrived(WM_ADS_REPLACED) == 2; }, kWatchdog + std::chrono::milliseconds(kPause)));
    EXPECT_EQ(server.RequestCount(kCataloguePath), 2u);
    EXPECT_EQ(server.RequestCount(kAdsPath), 2u);
    EXPECT_EQ(Arrived(WM_CATALOGUE_REPLACED), 1);
    EXPECT_EQ(ReadFile(config / "fmradios.dll"), catalogue);

    // The worker now rests in its next pause; a stop wakes it at once.
    StopWorker();
    PumpNotingFor(50ms);
    EXPECT_EQ(arrived.size(), 3u);
}

TEST_F(UpdateWorker, StopDuringADownloadReturnsPromptlyAndLeavesNoPartOfIt)
{
    WriteCatalogue(MakeCatalogue(1, 1, 1, 1));
    const std::string oldCatalogue = ReadFile(config / "fmradios.dll");
    const std::string catalogue = Scrambled(MakeCatalogue(30, 5, 2, 9));
    // Half the body, then silence far longer than the test: only the stop
    // can end this download.
    server.AddStallingRoute(kCataloguePath, StallPoint::AfterHeaders, catalogue.substr(0, catalogue.size() / 2),
                            static_cast<long long>(catalogue.size()));
    server.AddRoute(kAdsPath, 200, Scrambled(kAdsXml));
    PointAtServer();
    UseTiming(600000, 600000);

    Start();
    ASSERT_TRUE(server.WaitForRequests(kCataloguePath, 1, kWatchdog));
    PumpNotingFor(100ms);
    StopWorker();

    PumpNotingFor(50ms);
    EXPECT_TRUE(arrived.empty());
    EXPECT_EQ(server.RequestCount(kAdsPath), 0u);
    EXPECT_EQ(ReadFile(config / "fmradios.dll"), oldCatalogue);
    EXPECT_EQ(FilesIn(cache), std::vector<std::string>());
    EXPECT_EQ(FilesIn(config), std::vector<std::string>({"config.xml", "fmradios.dll"}));
}

// The two download operations called by hand, with the window's own worker
// stopped, so each answer meets them alone.
class UpdateDownload : public UpdateWorker
{
protected:
    void StartAlone()
    {
        UseTiming(600000, 300);
        Start();
        StopWorker();
        std::error_code ignored;
        fs::remove_all(cache, ignored);
    }

    bool Download(bool catalogue, const std::string& url)
    {
        const std::string cacheDir = cache.string();
        if (catalogue)
            return window->DownloadCatalogue(url.c_str(), cacheDir.c_str(), (config / "fmradios.dll").c_str());
        return window->DownloadAdList(url.c_str(), cacheDir.c_str(), (config / "fmads.dll").c_str());
    }
};

TEST_F(UpdateDownload, BadAnswersInstallNothingLeaveNoTemporaryFileAndPostNothing)
{
    WriteCatalogue(MakeCatalogue(2, 1, 1, 0));
    WriteAds("<ads><ad t=\"旧\" l=\"#\"/></ads><version>1</version>");
    const std::string oldCatalogue = ReadFile(config / "fmradios.dll");
    const std::string oldAds = ReadFile(config / "fmads.dll");
    StartAlone();

    const std::string valid = Scrambled(MakeCatalogue(3, 2, 1, 8));
    const std::string versionCut = Scrambled("<catalogue><city name=\"X\"/></catalogue><version>12</version>");
    struct TRow
    {
        const char* name;
        std::function<void(const std::string& path)> serve;
    };
    const std::vector<TRow> rows = {
        {"404 page", [&](const std::string& path) { server.AddRoute(path, 404, "<html>Not Found</html>", "text/html"); }},
        {"500 with a valid body", [&](const std::string& path) { server.AddRoute(path, 500, valid); }},
        {"empty body", [&](const std::string& path) { server.AddRoute(path, 200, ""); }},
        {"unscrambled body", [&](const std::string& path) { server.AddRoute(path, 200, MakeCatalogue(3, 2, 1, 8)); }},
        {"no version element",
         [&](const std::string& path) { server.AddRoute(path, 200, Scrambled("<catalogue><city name=\"X\"/></catalogue>")); }},
        {"version without a child",
         [&](const std::string& path) { server.AddRoute(path, 200, Scrambled("<catalogue/><version/>")); }},
        {"version only as the root",
         [&](const std::string& path) { server.AddRoute(path, 200, Scrambled("<version>9</version><catalogue/>")); }},
        {"version in other letters",
         [&](const std::string& path) { server.AddRoute(path, 200, Scrambled("<catalogue/><Version>9</Version>")); }},
        {"stall before the headers",
         [&](const std::string& path) { server.AddStallingRoute(path, StallPoint::BeforeHeaders); }},
        {"stall inside the body",
         [&](const std::string& path) {
             server.AddStallingRoute(path, StallPoint::AfterHeaders, valid.substr(0, valid.size() / 2),
                                     static_cast<long long>(valid.size()));
         }},
        {"cut with its length announced",
         [&](const std::string& path) { server.AddDroppingRoute(path, valid, valid.size() / 2); }},
        {"cut chunked",
         [&](const std::string& path) { server.AddDroppingRoute(path, valid, valid.size() / 2, BodyFraming::Chunked); }},
        {"cut inside the version where no end is marked",
         [&](const std::string& path) {
             server.AddDroppingRoute(path, versionCut, versionCut.size() - std::string("2</version>").size(),
                                     BodyFraming::CloseDelimited);
         }},
        {"over the size cap by its length",
         [&](const std::string& path) { server.AddStallingRoute(path, StallPoint::AfterHeaders, "", 17LL << 20); }},
        {"over the size cap by what arrives",
         [&](const std::string& path) {
             // 64 KiB pieces, 17 MiB in all, with no length announced.
             server.AddStreamingRoute(path, "application/octet-stream", [](std::size_t index) {
                 return index < 17 * 16 ? std::string(64 * 1024, 'x') : std::string();
             });
         }},
    };

    for (std::size_t index = 0; index < rows.size(); ++index) {
        for (const bool catalogue : {true, false}) {
            SCOPED_TRACE(std::string(rows[index].name) + (catalogue ? ", catalogue" : ", ad list"));
            const std::string path = "/" + std::to_string(index) + (catalogue ? "/fmradios.dll" : "/fmads.dll");
            rows[index].serve(path);
            EXPECT_FALSE(Download(catalogue, server.Url(path)));
            EXPECT_EQ(server.RequestCount(path), 1u);
            EXPECT_EQ(FilesIn(cache), std::vector<std::string>());
            EXPECT_EQ(FilesIn(config), std::vector<std::string>({"config.xml", "fmads.dll", "fmradios.dll"}));
            EXPECT_EQ(ReadFile(config / "fmradios.dll"), oldCatalogue);
            EXPECT_EQ(ReadFile(config / "fmads.dll"), oldAds);
        }
    }

    // A server that is not there at all.
    server.Stop();
    const std::string unreachable = server.Url("/update/fmradios.dll");
    EXPECT_FALSE(Download(true, unreachable));
    EXPECT_FALSE(Download(false, unreachable));
    EXPECT_EQ(FilesIn(cache), std::vector<std::string>());

    PumpNotingFor(50ms);
    EXPECT_TRUE(arrived.empty());
    EXPECT_EQ(window->catalogueVersion.load(), 0);
}

TEST_F(UpdateDownload, UncreatableTemporaryFileFailsWithoutTouchingTheNetwork)
{
    WriteCatalogue(MakeCatalogue(2, 1, 1, 0));
    const std::string oldCatalogue = ReadFile(config / "fmradios.dll");
    StartAlone();
    server.AddRoute("/c/fmradios.dll", 200, Scrambled(MakeCatalogue(3, 1, 1, 4)));
    server.AddRoute("/c/fmads.dll", 200, Scrambled(kAdsXml));
    // A file where the cache folder should be.
    WriteFile(cache, "not a folder");

    EXPECT_FALSE(Download(true, server.Url("/c/fmradios.dll")));
    EXPECT_FALSE(Download(false, server.Url("/c/fmads.dll")));
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(ReadFile(config / "fmradios.dll"), oldCatalogue);
    EXPECT_FALSE(fs::exists(config / "fmads.dll"));
    PumpNotingFor(50ms);
    EXPECT_TRUE(arrived.empty());
}

TEST_F(UpdateDownload, OnlyAGreaterVersionReplacesTheCatalogue)
{
    StartAlone();
    struct TRow
    {
        std::int32_t localVersion;
        const char* servedVersion;
        bool installed;
        std::int32_t versionAfter;
    };
    const TRow rows[] = {
        {0, "1", true, 1},
        {0, "abc", false, 0}, // not a number: 0
        {0, "0", false, 0},
        {3, "3", false, 3},
        {3, " +4th", true, 4},
        {3, "-7", false, 3},
        {-5, "0", true, 0},
        {3, "99999999999", true, std::numeric_limits<std::int32_t>::max()},
    };
    for (std::size_t index = 0; index < std::size(rows); ++index) {
        const TRow& row = rows[index];
        SCOPED_TRACE("local " + std::to_string(row.localVersion) + ", served '" + row.servedVersion + "'");
        WriteCatalogue(OneRegionCatalogue("本地", "<version>" + std::to_string(row.localVersion) + "</version>"));
        window->ReloadCatalogue();
        ASSERT_EQ(window->catalogueVersion.load(), row.localVersion);
        const std::string local = ReadFile(config / "fmradios.dll");
        const std::string region = "新" + std::to_string(index);
        const std::string served =
            Scrambled(OneRegionCatalogue(region, std::string("<version>") + row.servedVersion + "</version>"));
        const std::string path = "/" + std::to_string(index) + "/fmradios.dll";
        server.AddRoute(path, 200, served);
        const int before = Arrived(WM_CATALOGUE_REPLACED);

        EXPECT_TRUE(Download(true, server.Url(path)));
        EXPECT_EQ(ReadFile(cache / "fmradios_tmp.dll"), served);
        if (row.installed) {
            EXPECT_EQ(ReadFile(config / "fmradios.dll"), served);
            EXPECT_TRUE(PumpNoting([&] { return Arrived(WM_CATALOGUE_REPLACED) == before + 1; }));
            EXPECT_EQ(RegionNames(), std::vector<std::string>({region}));
        } else {
            EXPECT_EQ(ReadFile(config / "fmradios.dll"), local);
            PumpNotingFor(30ms);
            EXPECT_EQ(Arrived(WM_CATALOGUE_REPLACED), before);
            EXPECT_EQ(RegionNames(), std::vector<std::string>({"本地"}));
        }
        EXPECT_EQ(window->catalogueVersion.load(), row.versionAfter);
    }
    EXPECT_EQ(Arrived(WM_ADS_REPLACED), 0);
}

TEST(UpdateServer, ComesFromTheSettingsAndFallsBackForAnythingButAWebAddress)
{
    struct TRow
    {
        const char* settings;
        const char* server;
    };
    const TRow rows[] = {
        {"<config><update server=\"http://127.0.0.1:8750\"/></config>", "http://127.0.0.1:8750"},
        {"<config><update server=\"https://example.org/radio//\"/></config>", "https://example.org/radio"},
        {"<config><skin/><update server=\"HTTP://Host\"/></config>", "HTTP://Host"},
        {"<config><update server=\"file:///etc\"/></config>", kDefaultUpdateServer},
        {"<config><update server=\"http://\"/></config>", kDefaultUpdateServer},
        {"<config><update/></config>", kDefaultUpdateServer},
        {"<config/>", kDefaultUpdateServer},
        {"", kDefaultUpdateServer},
    };
    for (const TRow& row : rows) {
        TiXmlDocument settings;
        settings.Parse(row.settings);
        EXPECT_EQ(ReadUpdateServer(&settings), row.server) << row.settings;
    }
    EXPECT_EQ(ReadUpdateServer(nullptr), kDefaultUpdateServer);
}

TEST(InstallFile, ReplacesTheTargetWholeOrNotAtAll)
{
    const fs::path folder = fs::temp_directory_path() / ("orvane-install-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path source = folder / "new.dll";
    const fs::path target = folder / "installed.dll";
    std::string body(200000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i * 31 % 251);
    WriteFile(source, body);
    WriteFile(target, "old");

    EXPECT_TRUE(InstallFile(source.c_str(), target.c_str()));
    EXPECT_EQ(ReadFile(target), body);
    EXPECT_EQ(ReadFile(source), body);

    // A missing source, or a target where no file can be written, leaves the
    // target as it was and nothing beside it.
    EXPECT_FALSE(InstallFile((folder / "missing.dll").c_str(), target.c_str()));
    EXPECT_EQ(ReadFile(target), body);
    EXPECT_FALSE(InstallFile(source.c_str(), (folder / "no-folder" / "x.dll").c_str()));
    fs::create_directories(folder / "a-folder");
    EXPECT_FALSE(InstallFile(source.c_str(), (folder / "a-folder").c_str()));
    EXPECT_TRUE(fs::is_directory(folder / "a-folder"));
    EXPECT_FALSE(fs::exists(folder / "a-folder.part"));
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>({"a-folder", "installed.dll", "new.dll"}));
    fs::remove_all(folder);
}
