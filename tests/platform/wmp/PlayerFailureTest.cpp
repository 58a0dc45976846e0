// Streams that fail: what the player's state and status say afterwards, and
// that it says so in time.

#include "platform/wmp/PlaybinEngine.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace orvane::test;
using namespace std::chrono_literals;

namespace {

// Watchdog of one step.
constexpr auto kStepTimeout = 10s;

// A port on 127.0.0.1 on which nothing listens: bound and closed again.
std::uint16_t UnusedPort()
{
    const int socketFd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(socketFd, reinterpret_cast<sockaddr*>(&address), &length);
    close(socketFd);
    return ntohs(address.sin_port);
}

// The failure's shape: Ready, the Error event before the Ready state, and
// the given words in the status.
void ExpectFailure(PlayerFixture& fixture, const std::string& words)
{
    fixture.Settle();
    EXPECT_EQ(fixture.State(), wmppsReady);
    EXPECT_NE(fixture.Status().find(words), std::string::npos) << fixture.Status();
    const std::vector<RecordedEvent> events = fixture.sink->Events();
    std::size_t error = events.size();
    std::size_t ready = events.size();
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].name == "Error" && error == events.size())
            error = i;
        if (events[i].name == "PlayStateChange" && events[i].value == wmppsReady)
            ready = i;
    }
    ASSERT_LT(error, events.size());
    ASSERT_LT(ready, events.size());
    EXPECT_LT(error, ready);
    // Exactly one failure per opening, and no Playing before it.
    EXPECT_EQ(fixture.sink->Count("Error"), 1u);
    for (const long state : fixture.sink->PlayStates())
        EXPECT_NE(state, wmppsPlaying);
}

} // namespace

TEST(PlayerFailure, NotFoundAnswersReachReadyWithTheStatusCode)
{
    LocalHttpServer server;
    server.AddRoute("/gone.mp3", 404, "no such station", "text/html");
    server.AddRoute("/gone.pls", 404, "no such playlist", "text/html");
    for (const char* path : {"/gone.mp3", "/gone.pls", "/nothing-registered"}) {
        SCOPED_TRACE(path);
        PlayerFixture fixture;
        fixture.Open(server.Url(path));
        ASSERT_TRUE(fixture.WaitForState(wmppsReady, kStepTimeout)) << fixture.Status();
        ExpectFailure(fixture, "404");
    }
}

TEST(PlayerFailure, UnreachablePortReachesReadySayingTheConnectionWasRefused)
{
    const std::string base = "http://127.0.0.1:" + std::to_string(UnusedPort());
    for (const char* path : {"/live.mp3", "/listen.pls", "/stream"}) {
        SCOPED_TRACE(path);
        PlayerFixture fixture;
        fixture.Open(base + path);
        ASSERT_TRUE(fixture.WaitForState(wmppsReady, kStepTimeout)) << fixture.Status();
        ExpectFailure(fixture, "无法播放：连接被拒绝");
    }
}

TEST(PlayerFailure, MissingLocalFileAndUndecodableDataReachReady)
{
    const std::string folder = MakeTemporaryFolder();
    WriteFile(folder + "/noise.mp3", std::string(64 * 1024, '\x5A'));
    {
        PlayerFixture fixture;
        fixture.Open(folder + "/absent.mp3");
        ASSERT_TRUE(fixture.WaitForState(wmppsReady, kStepTimeout)) << fixture.Status();
        ExpectFailure(fixture, "无法播放：找不到文件");
    }
    {
        PlayerFixture fixture;
        fixture.Open(folder + "/noise.mp3");
        ASSERT_TRUE(fixture.WaitForState(wmppsReady, kStepTimeout)) << fixture.Status();
        ExpectFailure(fixture, "无法播放");
    }
    RemoveFolder(folder);
}

TEST(PlayerFailure, ServerDroppingTheConnectionMidStreamEndsThePlaying)
{
    const std::string mp3 = MakeMp3(4, 128);
    LocalHttpServer server;
    // Half the file is sent, then the connection closes: announced with a
    // length (a visible cut) and without one (looks like an end).
    server.AddDroppingRoute("/cut.mp3", mp3, mp3.size() / 2, BodyFraming::ContentLength);
    server.AddDroppingRoute("/ends.mp3", mp3, mp3.size() / 2, BodyFraming::CloseDelimited);
    for (const char* path : {"/cut.mp3", "/ends.mp3"}) {
        SCOPED_TRACE(path);
        PlayerFixture fixture;
        fixture.Open(server.Url(path));
        ASSERT_TRUE(fixture.WaitForAnyState({wmppsPlaying, wmppsStopped, wmppsReady}, kStepTimeout));
        ASSERT_TRUE(fixture.WaitForAnyState({wmppsStopped, wmppsReady}, kStepTimeout)) << fixture.Status();
        fixture.Settle();
        // Either an end of stream (MediaEnded, then Stopped) or a failure
        // (Ready); never stuck in Playing or Buffering.
        const std::vector<long> states = fixture.sink->PlayStates();
        ASSERT_FALSE(states.empty());
        if (states.back() == wmppsStopped) {
            ASSERT_GE(states.size(), 2u);
            EXPECT_EQ(states[states.size() - 2], wmppsMediaEnded);
        } else {
            EXPECT_EQ(states.back(), wmppsReady);
            EXPECT_FALSE(fixture.Status().empty());
        }
    }
}

TEST(PlayerFailure, StreamWithoutDataCountsAsFailedAfterTheStallTimeout)
{
    CPlaybinEngine::SetStallTimeout(1500ms);
    LocalHttpServer server;
    // Headers and nothing else: the station sends nothing; a server that
    // never answers at all: the connection timed out.
    server.AddStallingRoute("/silent.mp3", StallPoint::AfterHeaders);
    server.AddStallingRoute("/mute.mp3", StallPoint::BeforeHeaders);
    server.AddStallingRoute("/silent.pls", StallPoint::BeforeHeaders);
    const struct
    {
        const char* path;
        const char* words;
    } rows[] = {
        {"/silent.mp3", "无法播放：电台没有数据"},
        {"/mute.mp3", "无法播放：连接超时"},
        {"/silent.pls", "无法播放：连接超时"},
    };
    for (const auto& row : rows) {
        const char* path = row.path;
        SCOPED_TRACE(path);
        PlayerFixture fixture;
        const auto start = std::chrono::steady_clock::now();
        fixture.Open(server.Url(path));
        ASSERT_TRUE(fixture.WaitForState(wmppsReady, kStepTimeout)) << fixture.Status();
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, 1500ms);
        ExpectFailure(fixture, row.words);
    }
    CPlaybinEngine::SetStallTimeout(0ms);
    EXPECT_EQ(CPlaybinEngine::StallTimeout(), 15000ms);
}

TEST(PlayerFailure, StreamThatStallsWhilePlayingFailsAfterTheStallTimeout)
{
    CPlaybinEngine::SetStallTimeout(2000ms);
    const std::string mp3 = MakeMp3(10, 128);
    LocalHttpServer server;
    // Ten seconds of audio fast, then the connection stays open and silent.
    server.AddStallingRoute("/stuck.mp3", StallPoint::AfterHeaders, mp3);
    PlayerFixture fixture;
    fixture.Open(server.Url("/stuck.mp3"));
    // What was received plays out (on a loaded machine the HTTP source may
    // hand it over too late to start), then the stall timeout runs: the
    // stream fails instead of hanging.
    ASSERT_TRUE(fixture.WaitForState(wmppsReady, kStepTimeout + 20s)) << fixture.Status();
    fixture.Settle();
    EXPECT_EQ(fixture.Status(), "无法播放：电台没有数据");
    const std::vector<long> states = fixture.sink->PlayStates();
    ASSERT_GE(states.size(), 2u);
    EXPECT_TRUE(states[states.size() - 2] == wmppsBuffering || states[states.size() - 2] == wmppsTransitioning)
        << states[states.size() - 2]; // ran dry or never started, waited, gave up
    EXPECT_EQ(server.RequestCount("/stuck.mp3"), 1u);
    CPlaybinEngine::SetStallTimeout(0ms);
}

TEST(PlayerFailure, TheErrorObjectHoldsTheLastOpeningsFailureUntilTheNextOpening)
{
    LocalHttpServer server;
    server.AddRoute("/gone.mp3", 404, "gone", "text/html");
    server.AddRoute("/busy.mp3", 503, "busy", "text/plain");
    const struct
    {
        std::string url;
        COM_LONG code;
        COM_LONG condition;
        COM_LONG remedy;
        const char* description;
    } rows[] = {
        {server.Url("/gone.mp3"), wmpfServerError, 404, wmpRemedyNone, "无法播放：服务器错误 404"},
        {server.Url("/busy.mp3"), wmpfServerError, 503, wmpRemedyReopen, "无法播放：服务器错误 503"},
        {"http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x.mp3", wmpfConnectionRefused, 0, wmpRemedyReopen,
         "无法播放：连接被拒绝"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        PlayerFixture fixture;
        fixture.Open(row.url);
        ASSERT_TRUE(fixture.WaitForState(wmppsReady, kStepTimeout)) << fixture.Status();
        EXPECT_EQ(fixture.Status(), row.description);
        IWMPError* error = nullptr;
        ASSERT_EQ(fixture.player->get_error(&error), S_OK);
        COM_LONG count = 0;
        EXPECT_EQ(error->get_errorCount(&count), S_OK);
        ASSERT_EQ(count, 1);
        IWMPErrorItem* item = nullptr;
        EXPECT_EQ(error->get_item(1, &item), E_INVALIDARG);
        ASSERT_EQ(error->get_item(0, &item), S_OK);
        COM_LONG value = -1;
        item->get_errorCode(&value);
        EXPECT_EQ(value, row.code);
        item->get_condition(&value);
        EXPECT_EQ(value, row.condition);
        item->get_remedy(&value);
        EXPECT_EQ(value, row.remedy);
        BSTR text = nullptr;
        item->get_errorDescription(&text);
        EXPECT_EQ(BstrToUtf8(text), row.description);
        SysFreeString(text);
        item->Release();
        // Cleared by hand, and by the next opening.
        EXPECT_EQ(error->clearErrorQueue(), S_OK);
        error->get_errorCount(&count);
        EXPECT_EQ(count, 0);
        error->Release();
        fixture.Open(row.url);
        ASSERT_TRUE(fixture.WaitForState(wmppsReady, kStepTimeout)) << fixture.Status();
        ASSERT_EQ(fixture.player->get_error(&error), S_OK);
        error->get_errorCount(&count);
        EXPECT_EQ(count, 1);
        error->Release();
        fixture.Open("");
        ASSERT_EQ(fixture.player->get_error(&error), S_OK);
        error->get_errorCount(&count);
        EXPECT_EQ(count, 0);
        error->Release();
    }
}
