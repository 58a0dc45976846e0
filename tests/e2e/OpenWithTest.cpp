// `orvane-radio list.pls` while the player runs: the running window adds the
// playlist's stations to the user's own and plays the first; they are still
// there after a restart.

#include "e2e/MyStationsDesktop.h"
#include "support/IcecastServer.h"

namespace e2e {
namespace {

using OpenWith = CMyStationsDesktopTest;

TEST_F(OpenWith, PlaylistGivenToALaterStartPlaysInTheRunningWindowAndIsKept)
{
    if (!IcecastServer::Available())
        GTEST_SKIP() << "icecast2 or ffmpeg missing";
    IcecastServer icecast;
    icecast.AddMount("/radio.mp3", MountFormat::Mp3);

    // As a station's web page serves it: CR-only line ends, an empty entry,
    // a Shoutcast suffix, a GBK title.
    const std::string second = "http://127.0.0.1:" + std::to_string(refusingPort.Port()) + "/second";
    WriteBytes(runFolder.File("list.pls"), "[playlist]\rNumberOfEntries=3\rFile1=" + icecast.Url("/radio.mp3") +
                                               " sid=1\rTitle1=Fixture FM\rFile2=\rFile3=" + second +
                                               "\rTitle3=\xD6\xD0\xB9\xFA\rVersion=2\r");

    ASSERT_TRUE(StartOwnPlayer());
    EXPECT_EQ(icecast.Listeners("/radio.mp3"), 0);

    // A relative name: the later start is in the run folder, the running
    // player may be anywhere.
    auto later = StartForwarder({"list.pls"});
    ASSERT_NE(later, nullptr);
    const ProgramExit ended = later->WaitForExit(20s);
    EXPECT_TRUE(ended.exited && ended.exitCode == 0) << ended.Describe() << later->Log();
    EXPECT_TRUE(session.FindWindows(kMainTitle, later->Pid()).empty()); // it opened no window of its own

    // The running window plays the first entry.
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return icecast.Listeners("/radio.mp3") >= 1; }, 30s))
        << player->Log();
    std::vector<TMyStation> stations;
    ASSERT_TRUE(DesktopSession::WaitUntil([&] { return ReadMyStations(&stations) && stations.size() == 2; }, 10s));
    EXPECT_EQ(stations[0].name, "Fixture FM");
    EXPECT_EQ(stations[0].url, icecast.Url("/radio.mp3"));
    EXPECT_EQ(stations[1].name, "中国");
    EXPECT_EQ(stations[1].url, second);

    // The same list given again adds nothing; a stream address adds one.
    later = StartForwarder({runFolder.File("list.pls"), "http://127.0.0.1:9/third.m3u"});
    EXPECT_TRUE(later->WaitForExit(20s).exited);
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return ReadMyStations(&stations) && stations.size() == 3; }, 10s));
    EXPECT_EQ(stations.back().name, "127.0.0.1");

    // Still there after a restart, and the restarted player keeps them.
    player->Kill();
    ASSERT_TRUE(StartOwnPlayer());
    EXPECT_TRUE(ReadMyStations(&stations));
    EXPECT_EQ(stations.size(), 3u);
    player->Kill();
    EXPECT_TRUE(ReadMyStations(&stations));
    EXPECT_EQ(stations.size(), 3u);
}

TEST_F(OpenWith, FirstStartGivenAnAddressOpensItsWindowAndKeepsTheStation)
{
    ASSERT_NE(refusingPort.Port(), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(refusingPort.Port()) + "/live";
    player = session.Start(runFolder.File("orvane-radio"), {url}, runFolder.Path(), Environment());
    ASSERT_NE(player, nullptr);
    mainWindow = session.WaitForWindow(kMainTitle, player->Pid());
    ASSERT_NE(mainWindow, 0u) << player->Log();
    std::vector<TMyStation> stations;
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return ReadMyStations(&stations) && stations.size() == 1; }, 10s));
    EXPECT_TRUE(SettingsWhole());
}

} // namespace
} // namespace e2e
