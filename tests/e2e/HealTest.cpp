// The healing road of the real player on a private desktop: a catalogue
// station, and then one of the user's own, whose address is dead (a closed
// port on 127.0.0.1); the directory imitation lists the name with a live
// Icecast address. After the automatic reopenings the now-playing card
// offers the new address; a click plays it from Icecast, the imitation logs
// the lookup and the click with our User-Agent, and the user's own station
// keeps the new address in mystations.xml.

#include "MyStationsDesktop.h"

#include "support/DirectoryImitation.h"
#include "support/IcecastServer.h"

#include <thread>

using namespace e2e;

namespace {

// The offer, in window coordinates: the 200-px button centred in the card's
// title line (y 84 to 100), its pill coloured as btn_ok_nor.png.
constexpr TLayoutPoint kOffer{300, 92};
constexpr TLayoutPoint kOfferPill{205, 92};
const char* const kPillColour = "#990225";

const char* const kCatalogueName = "香港电台第一台";
const char* const kMineName = "澳门电台";

class CHealDesktopTest : public CMyStationsDesktopTest
{
protected:
    void WriteSettings(const std::string& directoryServer)
    {
        WriteBytes(runFolder.File("config/config.xml"),
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config><skin name=\"minLove\" path=\"#\"/>"
                   "<update server=\"http://127.0.0.1:" + std::to_string(refusingPort.Port()) + "\"/>"
                   "<directory server=\"" + directoryServer + "\"/></config>\n");
    }


    // The colour of a point of the main window ("#RRGGBB").
    std::string PixelIn(TLayoutPoint point)
    {
        const auto geometry = session.Geometry(mainWindow);
        if (!geometry)
            return "";
        const ToolResult result =
            session.Run({"import", "-window", "root", "-crop",
                         "1x1+" + std::to_string(geometry->x + point.x) + "+" + std::to_string(geometry->y + point.y),
                         "-depth", "8", "txt:-"});
        const auto pixel = result.output.find("0,0:");
        const auto hash = pixel == std::string::npos ? pixel : result.output.find('#', pixel);
        return hash == std::string::npos ? "" : result.output.substr(hash, 7);
    }

    bool OfferShown() { return PixelIn(kOfferPill) == kPillColour; }

    // The chosen station fails through its reopenings (1, 2 and 4 s apart),
    // the offer appears, and a click plays the live address from Icecast.
    void TakeOffer(IcecastServer& icecast, const std::string& mount)
    {
        ASSERT_TRUE(DesktopSession::WaitUntil([&] { return OfferShown(); }, 40s))
            << "no offer after the reopenings\n" << player->Log();
        EXPECT_EQ(icecast.Listeners(mount), 0);
        ASSERT_TRUE(ClickIn(mainWindow, kOffer));
        EXPECT_TRUE(DesktopSession::WaitUntil([&] { return icecast.Listeners(mount) >= 1; }, 20s))
            << "the offered address did not play\n" << player->Log();
        EXPECT_TRUE(DesktopSession::WaitUntil([&] { return !OfferShown(); }, 5s)) << "the offer stayed";
    }
};

TEST_F(CHealDesktopTest, MovedStationsAreOfferedAndPlayAndMineKeepTheNewAddress)
{
    if (!IcecastServer::Available())
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed";
    IcecastServer icecast;
    icecast.AddMount("/live.mp3", MountFormat::Mp3);
    const std::string live = icecast.Url("/live.mp3");
    CRefusingPort deadPort;
    ASSERT_NE(deadPort.Port(), 0);
    const std::string dead = "http://127.0.0.1:" + std::to_string(deadPort.Port());

    // The catalogue station's name is listed twice: broken at one address,
    // working at the live one; the user's own station is listed at the live
    // one too.
    TDirectoryEntry broken = MakeEntry(1, kCatalogueName, "http://127.0.0.1:9/old.mp3");
    broken.lastCheckOk = 0;
    const TDirectoryEntry moved = MakeEntry(2, kCatalogueName, live);
    const TDirectoryEntry mineMoved = MakeEntry(3, kMineName, live);
    CDirectoryImitation directory({broken, moved, mineMoved});
    WriteSettings(directory.BaseUrl());
    WriteCatalogue(std::string("<catalogue><city name=\"香港\"><station name=\"") + kCatalogueName + "\" url=\"" +
                   dead + "/hk.mp3\" style=\"新闻\"/></city><styles><style name=\"新闻\"/></styles></catalogue>"
                   "<version>1</version>");

    // A catalogue station.
    ASSERT_TRUE(StartOwnPlayer()) << player->Log();
    ASSERT_TRUE(ClickIn(mainWindow, kFirstRegionAlone));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(DoubleClickIn(mainWindow, kFirstStation));
    EXPECT_FALSE(OfferShown()) << "an offer before the station failed";
    TakeOffer(icecast, "/live.mp3");
    ASSERT_TRUE(directory.WaitFor("/json/url/" + moved.uuid, 1, 10s));
    EXPECT_FALSE(std::filesystem::exists(MyStationsPath())) << "a catalogue station is not kept by a heal";

    // One of the user's own, after a restart.
    watchdog.reset();
    player->Kill();
    player.reset();
    ASSERT_TRUE(DesktopSession::WaitUntil([&] { return icecast.Listeners("/live.mp3") == 0; }, 20s));
    const std::string mineDead = dead + "/mine.mp3";
    WriteBytes(MyStationsPath(), "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<mystations version=\"1\">\n"
                                 "  <station name=\"" + std::string(kMineName) + "\" url=\"" + mineDead +
                                 "\" />\n</mystations>\n");
    ASSERT_TRUE(StartOwnPlayer()) << player->Log();
    ASSERT_TRUE(ClickIn(mainWindow, kMyStationsEntry));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(DoubleClickIn(mainWindow, kFirstStation));
    EXPECT_FALSE(OfferShown());
    ASSERT_TRUE(DesktopSession::WaitUntil([&] { return OfferShown(); }, 40s)) << player->Log();
    std::vector<TMyStation> mine;
    ASSERT_TRUE(ReadMyStations(&mine));
    ASSERT_EQ(mine.size(), 1u);
    EXPECT_EQ(mine[0].url, mineDead) << "the address changed before the click";
    TakeOffer(icecast, "/live.mp3");
    EXPECT_TRUE(DesktopSession::WaitUntil(
        [&] { return ReadMyStations(&mine) && mine.size() == 1 && mine[0].url == live; }, 10s))
        << ReadBytes(MyStationsPath());
    EXPECT_EQ(mine[0].name, kMineName);
    ASSERT_TRUE(directory.WaitFor("/json/url/" + mineMoved.uuid, 1, 10s));

    // Each lookup asked by the exact name once; each click counted once;
    // every request carried our User-Agent.
    std::vector<std::string> names;
    for (const TDirectoryRequestLog& request : directory.Log())
        if (request.path == "/json/stations/search")
            names.push_back(request.parameters.at("name") + "|" + request.parameters.at("nameExact"));
    EXPECT_EQ(names, (std::vector<std::string>{std::string(kCatalogueName) + "|true", std::string(kMineName) + "|true"}));
    EXPECT_EQ(directory.Count("/json/url/" + moved.uuid), 1u);
    EXPECT_EQ(directory.Count("/json/url/" + mineMoved.uuid), 1u);
    for (const TDirectoryRequestLog& request : directory.Log())
        EXPECT_EQ(request.userAgent.rfind("orvane-radio/", 0), 0u) << request.path << ": " << request.userAgent;
    EXPECT_TRUE(player->Running());
}

} // namespace
