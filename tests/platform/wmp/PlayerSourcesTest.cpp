// What the player plays from: paths relative to its base folder, playlists
// on a server and on disk, HLS, chained Ogg streams.

#include "platform/wmp/PlayerTestSupport.h"
#include "support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace orvane::test;
using namespace std::chrono_literals;

namespace {

// Watchdog of one step.
constexpr auto kStepTimeout = 10s;

struct Folder
{
    Folder() : path(MakeTemporaryFolder()) {}
    ~Folder()
    {
        SetPlayerBaseFolder(nullptr);
        RemoveFolder(path);
    }
    std::string path;
};

} // namespace

TEST(PlayerSources, RelativePathIsTakenFromTheBaseFolder)
{
    Folder folder;
    std::filesystem::create_directories(folder.path + "/config/offline");
    WriteFile(folder.path + "/config/offline/tone.mp3", MakeMp3(1, 128));
    {
        // Not under the executable's folder: the file is not found there.
        PlayerFixture fixture;
        fixture.Open("config/offline/tone.mp3");
        ASSERT_TRUE(fixture.WaitForState(wmppsReady, kStepTimeout)) << fixture.Status();
        EXPECT_NE(fixture.Status().find("找不到文件"), std::string::npos) << fixture.Status();
    }
    SetPlayerBaseFolder(folder.path.c_str());
    PlayerFixture fixture;
    fixture.Open("config/offline/tone.mp3");
    EXPECT_EQ(fixture.Url(), "config/offline/tone.mp3"); // given back as it was put
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
    ASSERT_TRUE(fixture.WaitForState(wmppsStopped, kStepTimeout)) << fixture.Status();
    EXPECT_EQ(fixture.sink->Count("EndOfStream"), 1u);
}

TEST(PlayerSources, PlsServedAsHtmlWithCrEndingsPlaysItsFirstStreamAgainAndAgain)
{
    LocalHttpServer server;
    AddLiveMp3Route(server, "/live.mp3", MakeMp3(3, 128));
    server.AddRoute("/tunein.pls", 200,
                    "[playlist]\rNumberOfEntries=2\rFile1=\rFile2=" + server.Url("/live.mp3") +
                        " sid=8\rTitle2=Live\rLength2=-1\rVersion=2\r",
                    "text/html");
    PlayerFixture fixture;
    std::vector<std::string> statuses;
    fixture.sink->onEvent = [&](const RecordedEvent& event) {
        if (event.name == "StatusChange")
            statuses.push_back(fixture.Status());
    };
    fixture.Open(server.Url("/tunein.pls"));
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
    EXPECT_EQ(fixture.Url(), server.Url("/tunein.pls")); // the playlist, not the stream it led to
    // Texts are read when the event arrives, so quick changes may show the
    // later text twice; the first is the playlist's.
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), "正在读取播放列表");
    EXPECT_EQ(server.RequestCount("/live.mp3"), 1u);
    // A retry (what the automatic restart does) reads the playlist again, so
    // that it can never run out of streams to try.
    for (int round = 0; round < 2; ++round) {
        fixture.controls->stop();
        fixture.controls->play();
        ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
    }
    EXPECT_EQ(server.RequestCount("/tunein.pls"), 3u);
    EXPECT_EQ(server.RequestCount("/live.mp3"), 3u);
}

TEST(PlayerSources, LocalPlaylistPlaysTheFileItNames)
{
    Folder folder;
    WriteFile(folder.path + "/tone.mp3", MakeMp3(1, 128));
    WriteFile(folder.path + "/list.m3u", "#EXTM3U\r#EXTINF:-1,Tone\rtone.mp3\r");
    PlayerFixture fixture;
    fixture.Open("file://" + folder.path + "/list.m3u");
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
    ASSERT_TRUE(fixture.WaitForState(wmppsStopped, kStepTimeout)) << fixture.Status();
}

TEST(PlayerSources, HlsPlaysItsSegmentsToTheEnd)
{
    Folder folder;
    const std::vector<std::string> files = MakeHls(folder.path, 3);
    ASSERT_GE(files.size(), 3u);
    LocalHttpServer server;
    for (const std::string& name : files) {
        const bool playlist = name == "index.m3u8";
        server.AddRoute("/hls/" + name, 200, ReadFile(folder.path + "/" + name),
                        playlist ? "application/vnd.apple.mpegurl" : "video/mp2t");
    }
    PlayerFixture fixture;
    fixture.Open(server.Url("/hls/index.m3u8"));
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
    ASSERT_TRUE(fixture.WaitForState(wmppsStopped, kStepTimeout)) << fixture.Status();
    const std::vector<long> states = fixture.sink->PlayStates();
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ(states[states.size() - 2], wmppsMediaEnded);
    // Every segment was fetched, each once.
    for (std::size_t i = 1; i < files.size(); ++i)
        EXPECT_EQ(server.RequestCount("/hls/" + files[i]), 1u) << files[i];
}

TEST(PlayerSources, ChainedOggGoesOnFromOneLogicalStreamToTheNext)
{
    LocalHttpServer server;
    // Three songs of a second each, sent as one close-delimited stream.
    const std::string ogg = MakeChainedOgg(3, 1);
    const std::size_t third = ogg.size() / 3 + 1;
    server.AddStreamingRoute(
        "/chain.ogg", "application/ogg",
        [ogg, third](std::size_t index) { return index * third < ogg.size() ? ogg.substr(index * third, third) : ""; },
        100ms);
    PlayerFixture fixture;
    fixture.Open(server.Url("/chain.ogg"));
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
    const auto playing = std::chrono::steady_clock::now();
    ASSERT_TRUE(fixture.WaitForAnyState({wmppsStopped, wmppsReady}, kStepTimeout)) << fixture.Status();
    // Played all three songs in real time (sync=true), not just the first.
    EXPECT_GE(std::chrono::steady_clock::now() - playing, 2s);
    const std::vector<long> states = fixture.sink->PlayStates();
    EXPECT_EQ(states.back(), wmppsStopped);
    EXPECT_EQ(fixture.sink->Count("Error"), 0u);
    EXPECT_EQ(fixture.sink->Count("EndOfStream"), 1u);
}
