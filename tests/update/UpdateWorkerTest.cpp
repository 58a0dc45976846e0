// The update worker through the real main window, against a server on
// 127.0.0.1 that each test starts: what it fetches and when, what it
// installs, what it posts to the window, and how it ends.

#include "UpdateWorkerFixture.h"

using namespace apptest;
using namespace updatetest;
using namespace std::chrono_literals;
using orvane::test::BodyFraming;
using orvane::test::HttpRequest;
using orvane::test::HttpResponse;
using orvane::test::StallPoint;
namespace fs = std::filesystem;

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

TEST_F(UpdateWorker, DeeplyNestedCatalogueFromTheServerIsRefusedAndNothingIsInstalled)
{
    // 50,000 nested elements, about 1.2 MB, claiming a version above the
    // installed one: the parser alone overflows the stack on such a file.
    std::string deep = "<catalogue>";
    for (int i = 0; i < 50000; ++i)
        deep += "<city name=\"deep\">";
    for (int i = 0; i < 50000; ++i)
        deep += "</city>";
    deep += "</catalogue><version>99</version>";
    ASSERT_GT(deep.size(), 1200000u);

    const std::string installed = OneRegionCatalogue("本地", "<version>3</version>");
    WriteCatalogue(installed);
    ServeBehindGate(kCataloguePath, Ok(Scrambled(deep)));
    ServeBehindGate(kAdsPath, Ok(Scrambled(kAdsXml)));
    PointAtServer();
    UseTiming(600000);

    Start();
    ASSERT_EQ(window->catalogueVersion.load(), 3);
    gate.Open();
    const auto catalogueRequests = [&] {
        const std::vector<HttpRequest> requests = server.Requests();
        return std::count_if(requests.begin(), requests.end(),
                             [](const HttpRequest& request) { return request.path == kCataloguePath; });
    };
    // Each copy is refused as broken, so the worker keeps asking for the
    // catalogue while the ad list arrives as usual.
    ASSERT_TRUE(PumpNoting([&] { return Arrived(WM_ADS_REPLACED) == 1 && catalogueRequests() >= 3; }));
    EXPECT_EQ(Arrived(WM_CATALOGUE_REPLACED), 0);
    EXPECT_EQ(ReadFile(config / "fmradios.dll"), Scrambled(installed));
    EXPECT_FALSE(fs::exists(cache / "fmradios_tmp.dll")) << "a refused copy is deleted";
    EXPECT_EQ(window->catalogueVersion.load(), 3);
    EXPECT_EQ(RegionNames(), std::vector<std::string>({"本地"}));
    EXPECT_TRUE(::IsWindow(Hwnd()));
}
