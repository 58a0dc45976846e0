// The station directory in the real player on a private desktop, against
// directory imitations on 127.0.0.1 whose streams the Icecast fixture plays:
// Ctrl+F, "音乐" typed and Enter list the directory's stations most clicked
// first (the first server refusing, the second answering); a double-click
// plays the first from Icecast and the directory hears one click with our
// name; kept from its menu, it is there after a restart. With every server
// down the page says so, the local match plays, "重试" asks again and the
// window's timers keep running.

#include "MyStationsDesktop.h"

#include "support/DirectoryImitation.h"
#include "support/IcecastServer.h"

#include <thread>

using namespace e2e;

namespace {

// Points of the shipped layouts, in window coordinates: the "重试" button
// after one row of local matches.
constexpr TLayoutPoint kRetryAfterOneRow{230, 265};
// The directory's entry at the end of the category page, under my stations'
// entry, one row of regions and one of styles.
constexpr TLayoutPoint kDirectoryEntryAfterMine{110, 421};
// The volume slider: its 130-px column starts 152 px from the right edge.
constexpr TLayoutPoint kVolumeQuiet{kMainWidth - 152 + 30, 40 + 8 + 6 + 30 + 16 + 26};

// A catalogue without any station whose name holds "音乐".
const char* const kPlainCatalogue =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><catalogue><city name=\"北京\">"
    "<station name=\"新闻台\" url=\"http://127.0.0.1:9/news\" style=\"新闻\"/></city>"
    "<styles><style name=\"新闻\"/></styles></catalogue><version>1</version>";

class CDirectoryDesktopTest : public CMyStationsDesktopTest
{
protected:
    void WriteSettings(const std::vector<std::string>& servers)
    {
        std::string settings = "<config><skin name=\"minLove\" path=\"#\"/><update server=\"http://127.0.0.1:9\"/>";
        for (const std::string& server : servers)
            settings += "<directory server=\"" + server + "\"/>";
        WriteBytes(runFolder.File("config/config.xml"), settings + "</config>");
        WriteCatalogue(kPlainCatalogue);
    }

    // Ctrl+F, the text typed as a keyboard does, Enter.
    bool SearchFor(const std::string& text)
    {
        if (!session.Focus(mainWindow) || !session.Key(mainWindow, "ctrl+f"))
            return false;
        const ToolResult typed = session.Run({"xdotool", "type", "--delay", "60", text});
        return typed.finished && typed.exitCode == 0 && session.Key(mainWindow, "Return");
    }


    // The main window as a picture in the temporary folder, to look at.
    void Picture(const std::string& name)
    {
        const auto path = std::filesystem::temp_directory_path() / ("orvane-directory-" + name);
        session.Run({"import", "-window", std::to_string(mainWindow), path.string()});
    }

    std::string Mine() const { return ReadBytes(MyStationsPath()); }
};

} // namespace

TEST_F(CDirectoryDesktopTest, SearchPlaysTheMostClickedCountsOneClickAndKeepsItOverARestart)
{
    if (!IcecastServer::Available())
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed";
    IcecastServer icecast;
    icecast.AddMount("/yyzs.mp3", MountFormat::Mp3);
    CDirectoryImitation directory(SampleDirectory(icecast.Url("")));
    // The first server refuses every connection: the second answers.
    CRefusingPort down;
    WriteSettings({"http://127.0.0.1:" + std::to_string(down.Port()), directory.BaseUrl()});

    ASSERT_TRUE(StartOwnPlayer()) << player->Log();
    ASSERT_TRUE(SearchFor("音乐"));
    ASSERT_TRUE(directory.WaitFor("/json/stations/search", 1, 20s)) << player->Log();
    const auto search = directory.Log();
    std::this_thread::sleep_for(800ms);
    Picture("search-page.png");

    // The most clicked working match is 音乐之声 (已停播音乐台 has more
    // clicks, but its last check failed): the first row plays it.
    ASSERT_TRUE(DoubleClickIn(mainWindow, kFirstStation));
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return icecast.Listeners("/yyzs.mp3") >= 1; }, 20s))
        << "the first result did not play from Icecast\n" << player->Log();
    const std::string uuid = "9617a958-0601-11e8-ae97-000000000002";
    ASSERT_TRUE(directory.WaitFor("/json/url/" + uuid, 1, 10s));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(directory.Count("/json/url/" + uuid), 1u);
    for (const TDirectoryRequestLog& request : directory.Log()) {
        if (request.path == "/json/url/" + uuid) {
            EXPECT_EQ(request.userAgent.rfind("orvane-radio/", 0), 0u) << request.userAgent;
        }
    }

    // Kept from its context menu (加入我的电台, 复制地址, 添加电台…).
    ASSERT_TRUE(ClickIn(mainWindow, kFirstStation, 3));
    const unsigned long menu = WaitForPlayerWindows(kStationMenuWidth, MenuHeight(3));
    ASSERT_NE(menu, 0u) << player->Log();
    ASSERT_TRUE(ClickIn(menu, MenuEntry(0)));
    ASSERT_TRUE(DesktopSession::WaitUntil([&] { return Mine().find(uuid) != std::string::npos; }, 10s)) << Mine();

    // After a restart it is among my stations and plays from there.
    watchdog.reset();
    player->Kill();
    player.reset();
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(StartOwnPlayer()) << player->Log();
    std::vector<TMyStation> mine;
    ASSERT_TRUE(ReadMyStations(&mine));
    ASSERT_EQ(mine.size(), 1u);
    EXPECT_EQ(mine[0].name, "音乐之声");
    EXPECT_EQ(mine[0].uuid, uuid);
    ASSERT_TRUE(ClickIn(mainWindow, kMyStationsEntry));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(DoubleClickIn(mainWindow, kFirstStation));
    EXPECT_TRUE(directory.WaitFor("/json/url/" + uuid, 2, 20s)) << "a kept station's play is a click too";

    // The directory's page, from its entry at the end of the category page.
    ASSERT_TRUE(ClickIn(mainWindow, {35, 197})); // the back button of my page
    std::this_thread::sleep_for(300ms);
    const std::size_t searches = directory.Count("/json/stations/search");
    ASSERT_TRUE(ClickIn(mainWindow, kDirectoryEntryAfterMine));
    EXPECT_TRUE(directory.WaitFor("/json/stations/search", searches + 7, 20s)) << "no browse\n" << player->Log();
    std::this_thread::sleep_for(800ms);
    Picture("directory-page.png");
    EXPECT_TRUE(player->Running());
}

TEST_F(CDirectoryDesktopTest, EveryServerDownSaysSoPlaysTheLocalMatchAndKeepsAnswering)
{
    if (!IcecastServer::Available())
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed";
    IcecastServer icecast;
    icecast.AddMount("/local.mp3", MountFormat::Mp3);
    CDirectoryImitation directory;
    directory.SetFault(EDirectoryFault::HtmlUnavailable);
    CRefusingPort down;
    WriteSettings({"http://127.0.0.1:" + std::to_string(down.Port()), directory.BaseUrl()});
    WriteBytes(MyStationsPath(), "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<mystations version=\"1\">\n"
                                 "  <station name=\"本机音乐\" url=\"" + icecast.Url("/local.mp3") + "\" />\n</mystations>\n");

    ASSERT_TRUE(StartOwnPlayer()) << player->Log();
    ASSERT_TRUE(SearchFor("音乐"));
    // The server that answers with a proxy's error page is probed and left.
    ASSERT_TRUE(directory.WaitFor("/json/stats", 1, 20s)) << player->Log();
    std::this_thread::sleep_for(800ms);
    Picture("search-unreachable.png");

    // "重试" asks the directory again; the server list starts over.
    const std::size_t asked = directory.Count("/json/stats");
    ASSERT_TRUE(ClickIn(mainWindow, kRetryAfterOneRow));
    EXPECT_TRUE(directory.WaitFor("/json/stats", asked + 1, 20s)) << "no retry\n" << player->Log();

    // The window answers: the local match plays, and a volume change is
    // written by the window's own timer a second later.
    ASSERT_TRUE(DoubleClickIn(mainWindow, kFirstStation));
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return icecast.Listeners("/local.mp3") >= 1; }, 20s))
        << "the local match did not play\n" << player->Log();
    const std::string before = ReadBytes(runFolder.File("config/config.xml"));
    ASSERT_TRUE(ClickIn(mainWindow, kVolumeQuiet));
    EXPECT_TRUE(DesktopSession::WaitUntil(
        [&] {
            const std::string now = ReadBytes(runFolder.File("config/config.xml"));
            return now != before && now.find("<volume") != std::string::npos;
        },
        10s))
        << ReadBytes(runFolder.File("config/config.xml"));
    EXPECT_TRUE(player->Running());
}
