// Stations that cannot be played, through the real main window and the real
// player: what the status line says once the player gives up, and how many
// automatic reopenings it spent on the way. Streams come from the local HTTP
// server and a real Icecast server on 127.0.0.1.

#include "app/RadioWndFixture.h"
#include "platform/wmp/PlaybinEngine.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "platform/wmp/Wmp.h"
#include "support/IcecastServer.h"
#include "support/LocalHttpServer.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

using namespace apptest;
using namespace std::chrono_literals;
using orvane::test::CRecordingSink;
using orvane::test::HttpResponse;
using orvane::test::IcecastServer;
using orvane::test::LocalHttpServer;
using orvane::test::StallPoint;

namespace {

// Watchdog of one row: three reopenings wait 1 + 2 + 4 s, and each opening
// of a silent stream waits for the stall timeout and the probe.
constexpr auto kRowTimeout = 40s;
// Stall timeout of the rows, instead of the player's 15 s.
constexpr auto kStallTimeout = 1500ms;

// A port on 127.0.0.1 on which nothing listens: a server started and ended.
std::uint16_t ClosedPort()
{
    std::uint16_t port = 0;
    {
        LocalHttpServer gone;
        port = gone.Port();
    }
    return port;
}

// A RealMedia file made by ffmpeg: the format Debian 12's GStreamer has no
// demuxer for unless gstreamer1.0-plugins-ugly is installed. "" without ffmpeg.
std::string MakeRealMedia()
{
    const std::string folder = orvane::test::MakeTemporaryFolder();
    const std::string file = folder + "/tone.rm";
    const std::string command = "ffmpeg -v error -y -f lavfi -i sine=d=3 -ar 8000 -ac 1 -c:a real_144 '" + file +
                                "' </dev/null >/dev/null 2>&1";
    std::string bytes;
    if (std::system(command.c_str()) == 0)
        bytes = orvane::test::ReadFile(file);
    orvane::test::RemoveFolder(folder);
    return bytes;
}

bool RealMediaDemuxerInstalled()
{
    return std::system("gst-inspect-1.0 rmdemux >/dev/null 2>&1") == 0;
}

struct FaultRow
{
    const char* name;
    std::string url;
    std::string statusLine;
    std::size_t reopenings;
};

} // namespace

class PlayerFaults : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        CPlaybinEngine::SetStallTimeout(kStallTimeout);
    }

    void TearDown() override
    {
        StopRecording();
        CRadioWndTest::TearDown();
        CPlaybinEngine::SetStallTimeout(0ms);
    }

    // One station per row, on the page of region R0.
    void StartWithStations(const std::vector<FaultRow>& rows)
    {
        std::string stations;
        for (const FaultRow& row : rows)
            stations += "<station name=\"" + std::string(row.name) + "\" url=\"" + row.url + "\" style=\"S0\"/>";
        WriteCatalogue("<catalogue><city name=\"R0\">" + stations +
                       "</city><styles><style name=\"S0\"/></styles></catalogue><version>1</version>");
        Start();
        ASSERT_NE(window->player, nullptr);
        CContainerUI* firstRow = AsContainer(Children(window->sortsPanel).at(1));
        ASSERT_NE(firstRow, nullptr);
        Notify(firstRow->GetItemAt(0), "click");
        recorder = new CRecordingSink();
        IConnectionPointContainer* container = nullptr;
        ASSERT_TRUE(SUCCEEDED(
            window->player->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))));
        ASSERT_TRUE(SUCCEEDED(container->FindConnectionPoint(IID_IWMPEvents, &point)));
        container->Release();
        ASSERT_TRUE(SUCCEEDED(point->Advise(static_cast<IWMPEvents*>(recorder), &cookie)));
    }

    void StopRecording()
    {
        if (point != nullptr) {
            point->Unadvise(cookie);
            point->Release();
            point = nullptr;
        }
        if (recorder != nullptr)
            recorder->Release();
        recorder = nullptr;
    }

    CControlUI* Station(int index) const
    {
        CStdPtrArray* group = Manager().GetOptionGroup("radios");
        return group != nullptr && index < group->GetSize() ? static_cast<CControlUI*>(group->GetAt(index)) : nullptr;
    }

    std::size_t Openings() const
    {
        const std::vector<long> states = recorder->PlayStates();
        return static_cast<std::size_t>(std::count(states.begin(), states.end(), wmppsTransitioning));
    }

    std::string StatusLine() const { return window->statusLabel->GetText().GetData(); }

    // Chooses the row's station and waits until the status line says why it
    // cannot be played; then checks the reopenings and that nothing else
    // took the reason in.
    void ExpectRow(int index, const FaultRow& row)
    {
        SCOPED_TRACE(row.name);
        const std::size_t before = Openings();
        Notify(Station(index), "dbclick");
        const bool said = apptest::PumpUntil([&] { return StatusLine() == row.statusLine; }, kRowTimeout);
        ASSERT_TRUE(said) << StatusLine();
        // Time for a reopening that should not come.
        apptest::PumpFor(1500ms);
        EXPECT_EQ(StatusLine(), row.statusLine);
        EXPECT_EQ(Openings() - before, row.reopenings + 1);
        EXPECT_EQ(std::string(window->fmName->GetText().GetData()), row.name);
        EXPECT_EQ(std::string(window->fmTitle->GetText().GetData()), "");
        WMPPlayState state = wmppsUndefined;
        window->player->get_playState(&state);
        EXPECT_EQ(state, wmppsReady);
    }

    CRecordingSink* recorder = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
};

TEST_F(PlayerFaults, EachFailureSaysWhyAfterTheReopeningsItDeserves)
{
    LocalHttpServer server;
    server.AddRoute("/gone.mp3", 404, "<html><body>no such station</body></html>", "text/html");
    server.AddRoute("/broken.mp3", 500, "Internal Server Error", "text/plain");
    server.AddRoute("/page", 200, "<!DOCTYPE html><html><head><title>Radio</title></head><body>Listen!</body></html>",
                    "text/html");
    server.AddStallingRoute("/silent.mp3", StallPoint::AfterHeaders);
    const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort());
    server.AddRoute("/dead.pls",
                    200,
                    "[playlist]\r\nNumberOfEntries=2\r\nFile1=" + refused + "/one.mp3\r\nFile2=" +
                        server.Url("/gone.mp3") + "\r\nVersion=2\r\n",
                    "audio/x-scpls");
    const std::string realMedia = MakeRealMedia();
    const bool realMediaRow = !realMedia.empty() && !RealMediaDemuxerInstalled();
    if (realMediaRow)
        server.AddRoute("/tone.rm", 200, realMedia, "audio/x-pn-realaudio");

    std::vector<FaultRow> rows = {
        {"refused", refused + "/live.mp3", "无法播放：连接被拒绝", 3},
        {"unknown-name", "http://station.invalid/live.mp3", "无法播放：找不到服务器", 3},
        {"not-found", server.Url("/gone.mp3"), "无法播放：服务器错误 404", 0},
        {"server-error", server.Url("/broken.mp3"), "无法播放：服务器错误 500", 3},
        {"web-page", server.Url("/page"), "无法播放：不是音频流", 0},
        {"headers-only", server.Url("/silent.mp3"), "无法播放：电台没有数据", 3},
        {"dead-playlist", server.Url("/dead.pls"), "无法播放：播放列表中没有可播放的地址", 0},
    };
    if (realMediaRow)
        rows.push_back({"real-media", server.Url("/tone.rm"),
                        "无法播放：不支持的格式 (RealMedia)，安装 gstreamer1.0-plugins-ugly 后可以播放", 0});
    else
        ADD_FAILURE() << "no RealMedia row: ffmpeg is missing or rmdemux is installed";
    StartWithStations(rows);
    for (std::size_t i = 0; i < rows.size(); ++i)
        ExpectRow(static_cast<int>(i), rows[i]);
    // The playlist's entries were each tried once, in one opening.
    EXPECT_EQ(server.RequestCount("/dead.pls"), 1u);
    EXPECT_EQ(server.RequestCount("/gone.mp3"), 2u); // its own row, and the playlist's second entry
}

TEST_F(PlayerFaults, TheReasonStaysUntilPauseOrPlayAndAReadyPlayerSaysReady)
{
    LocalHttpServer server;
    server.AddRoute("/gone.mp3", 404, "gone", "text/html");
    StartWithStations({{"gone", server.Url("/gone.mp3"), "", 0}});
    ASSERT_EQ(StatusLine() == "无法播放：服务器错误 404", false);
    Notify(Station(0), "dbclick");
    ASSERT_TRUE(apptest::PumpUntil([&] { return StatusLine() == "无法播放：服务器错误 404"; }, kRowTimeout))
        << StatusLine();
    // The status timer goes on ticking: the reason stays.
    apptest::PumpFor(2500ms);
    EXPECT_EQ(StatusLine(), "无法播放：服务器错误 404");
    // "pause": the player stays Ready, and says so once more.
    Notify(window->pauseButton, "click");
    EXPECT_TRUE(apptest::PumpUntil([&] { return StatusLine() == "准备就绪"; }, 5s)) << StatusLine();
    // "play" reopens the held URL, which fails the same way and says so.
    Notify(window->playButton, "click");
    EXPECT_TRUE(apptest::PumpUntil([&] { return StatusLine() == "无法播放：服务器错误 404"; }, kRowTimeout))
        << StatusLine();
}

TEST_F(PlayerFaults, IcecastMountThatIsNotThereIsAnsweredNotFoundWithoutReopening)
{
    if (!IcecastServer::Available())
        GTEST_SKIP() << "icecast2 and ffmpeg are not installed (scripts/install-deps installs them)";
    IcecastServer icecast;
    icecast.AddMount("/radio.mp3", orvane::test::MountFormat::Mp3);
    StartWithStations({{"no-mount", icecast.Url("/nothing.mp3"), "无法播放：服务器错误 404", 0},
                       {"radio", icecast.Url("/radio.mp3"), "", 0}});
    ExpectRow(0, {"no-mount", icecast.Url("/nothing.mp3"), "无法播放：服务器错误 404", 0});
    EXPECT_TRUE(icecast.WaitForLoggedRequests("/nothing.mp3", 1, 5s));
    EXPECT_EQ(icecast.LoggedRequests("/nothing.mp3"), 1u);
    // The next choice plays, and its status line is the playing one.
    Notify(Station(1), "dbclick");
    EXPECT_TRUE(apptest::PumpUntil([&] { return StatusLine().rfind("播放中", 0) == 0; }, kRowTimeout))
        << StatusLine();
}
