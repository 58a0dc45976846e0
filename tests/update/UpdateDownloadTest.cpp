// The two download operations of the update worker called by hand, each
// answer of a server on 127.0.0.1 meeting them alone: what is refused, what is
// installed, and what the window is told.

#include "UpdateWorkerFixture.h"

#include <limits>

using namespace apptest;
using namespace updatetest;
using namespace std::chrono_literals;
using orvane::test::BodyFraming;
using orvane::test::HttpRequest;
using orvane::test::HttpResponse;
using orvane::test::StallPoint;
namespace fs = std::filesystem;

namespace {

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

} // namespace

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
