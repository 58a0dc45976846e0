// Playing finite files and streams: the play states in order, the status
// texts the system reads, pause, stop, the end of a stream.

#include "platform/wmp/PlayerTestSupport.h"
#include "support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orvane::test;
using namespace std::chrono_literals;

namespace {

// Watchdogs: how long a test waits for one step before it fails.
constexpr auto kStepTimeout = 10s;

// The digits two characters after the first ':' (the way the system reads
// the bit rate).
std::string BitrateFigure(const std::string& status)
{
    const std::size_t colon = status.find(':');
    if (colon == std::string::npos || colon + 2 > status.size())
        return "";
    std::string digits;
    for (std::size_t i = colon + 2; i < status.size() && std::isdigit(static_cast<unsigned char>(status[i])); ++i)
        digits += status[i];
    return digits;
}

struct Mp3File
{
    Mp3File(double seconds, int kbps)
    {
        folder = MakeTemporaryFolder();
        path = folder + "/tone.mp3";
        WriteFile(path, MakeMp3(seconds, kbps));
    }
    ~Mp3File() { RemoveFolder(folder); }
    std::string folder;
    std::string path;
};

} // namespace

TEST(PlayerPlayback, LocalFilePlaysToTheEndThenStops)
{
    Mp3File file(1.5, 128);
    PlayerFixture fixture;
    fixture.Open(file.path);
    EXPECT_EQ(fixture.State(), wmppsTransitioning);
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
    fixture.Settle();
    EXPECT_EQ(BitrateFigure(fixture.Status()), "128") << fixture.Status();
    ASSERT_TRUE(fixture.WaitForState(wmppsStopped, kStepTimeout)) << fixture.Status();
    fixture.Settle();
    const std::vector<long> states = fixture.sink->PlayStates();
    const std::vector<long> expected = {wmppsTransitioning, wmppsPlaying, wmppsMediaEnded, wmppsStopped};
    EXPECT_EQ(states, expected);
    EXPECT_EQ(fixture.sink->Count("EndOfStream"), 1u);
}

TEST(PlayerPlayback, LiveHttpStreamPlaysAsSoonAsItPrerollsWithItsBitrate)
{
    // A station's answer has no length: it is live, starts at preroll and
    // never waits for its queue to fill at the rate the station sends.
    const std::string mp3 = MakeMp3(3, 128);
    LocalHttpServer server;
    AddLiveMp3Route(server, "/live.mp3", mp3);
    PlayerFixture fixture;
    fixture.Open(server.Url("/live.mp3"));
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
    fixture.Settle();
    EXPECT_EQ(BitrateFigure(fixture.Status()), "128") << fixture.Status();
    const std::vector<long> expected = {wmppsTransitioning, wmppsPlaying};
    EXPECT_EQ(fixture.sink->PlayStates(), expected);
    EXPECT_EQ(fixture.sink->Count("Buffering"), 0u);
}
