// Turning playlist URLs and URLs that do not say what they are into streams,
// against a local server that answers the way real station servers do.

#include "platform/wmp/StreamResolver.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace orvane::test;
using namespace std::chrono_literals;

namespace {

// Watchdog of one resolution: it is cancelled after this, which ends it.
constexpr auto kResolveTimeout = 10s;

struct Outcome
{
    StreamResolution resolution;
    std::chrono::steady_clock::duration took{};
    bool timedOut = false;
};

// Runs ResolveStream on a thread of its own, as the player does, and
// cancels it when the watchdog runs out.
Outcome Resolve(const std::string& url, bool knownPlaylist, std::chrono::milliseconds cancelAfter = kResolveTimeout)
{
    Outcome outcome;
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    const auto start = std::chrono::steady_clock::now();
    std::thread worker([&] {
        StreamResolution resolution = ResolveStream(url, knownPlaylist, cancel);
        std::lock_guard<std::mutex> lock(mutex);
        outcome.resolution = std::move(resolution);
        done = true;
        finished.notify_all();
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!finished.wait_for(lock, cancelAfter, [&] { return done; })) {
            outcome.timedOut = true;
            cancel = true;
        }
    }
    worker.join();
    outcome.took = std::chrono::steady_clock::now() - start;
    return outcome;
}

} // namespace

TEST(StreamResolver, PlsWithCrOnlyEndingsServedAsHtmlGivesItsFirstStream)
{
    LocalHttpServer server;
    const std::string stream = server.Url("/live.mp3");
    server.AddRoute("/tunein.pls", 200,
                    "[playlist]\rNumberOfEntries=2\rFile1=\rFile2=" + stream + " sid=8\rFile3=http://x.example/\r",
                    "text/html");
    const Outcome outcome = Resolve(server.Url("/tunein.pls"), true);
    ASSERT_TRUE(outcome.resolution.ok) << outcome.resolution.error;
    EXPECT_EQ(outcome.resolution.uri, stream);
    EXPECT_EQ(server.RequestCount("/tunein.pls"), 1u);
    EXPECT_EQ(server.RequestCount("/live.mp3"), 0u); // the stream is left to playbin
}

TEST(StreamResolver, ContentTypeDecidesWhenTheUrlDoesNotSay)
{
    LocalHttpServer server;
    const std::string mp3 = MakeMp3(1, 64);
    // An endless stream behind a URL without an extension: the probe stops
    // at its first bytes instead of reading it for ever.
    server.AddStreamingRoute("/stream", "audio/mpeg", [mp3](std::size_t) { return mp3; }, 50ms);
    server.AddStreamingRoute("/ogg", "application/ogg", [](std::size_t) { return std::string(4096, 'O'); }, 50ms);
    // A playlist behind a script URL, sent as plain text.
    server.AddRoute("/listen.php", 200, "http://a.example:8000/live\n", "text/plain; charset=utf-8");
    // HLS behind a script URL: playbin reads it itself.
    server.AddRoute("/hls.php", 200, "#EXTM3U\n#EXT-X-TARGETDURATION:2\nseg0.ts\n", "application/vnd.apple.mpegurl");
    // Something that is neither: playbin gets to try it.
    server.AddRoute("/page", 200, "<html><body>Welcome</body></html>", "text/html");
    // An audio type wins over a playlist extension.
    server.AddStreamingRoute("/really-a-stream.pls", "audio/aacp", [](std::size_t) { return std::string(4096, 'A'); },
                             50ms);
    const struct
    {
        const char* path;
        bool knownPlaylist;
        std::string uri;
    } rows[] = {
        {"/stream", false, server.Url("/stream")},
        {"/ogg", false, server.Url("/ogg")},
        {"/listen.php", false, "http://a.example:8000/live"},
        {"/hls.php", false, server.Url("/hls.php")},
        {"/page", false, server.Url("/page")},
        {"/really-a-stream.pls", true, server.Url("/really-a-stream.pls")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const Outcome outcome = Resolve(server.Url(row.path), row.knownPlaylist);
        EXPECT_FALSE(outcome.timedOut);
        ASSERT_TRUE(outcome.resolution.ok) << outcome.resolution.error;
        EXPECT_EQ(outcome.resolution.uri, row.uri);
    }
    // The probes have hung up; nothing is left reading the endless streams.
    EXPECT_TRUE(PumpUntil([&] { return server.OpenConnections() == 0; }, 5s));
}

TEST(StreamResolver, RedirectsAndPlaylistsInPlaylistsAreFollowed)
{
    LocalHttpServer server;
    server.AddRedirect("/tunein.pls", server.Url("/lists/real.pls"));
    // Relative entries count from where the redirect led, not from the URL asked.
    server.AddRoute("/lists/real.pls", 200, "[playlist]\nFile1=inner.m3u\n", "audio/x-scpls");
    server.AddRoute("/lists/inner.m3u", 200, "#EXTM3U\n#EXTINF:-1,x\nlive.mp3\n", "audio/x-mpegurl");
    const Outcome outcome = Resolve(server.Url("/tunein.pls"), true);
    ASSERT_TRUE(outcome.resolution.ok) << outcome.resolution.error;
    EXPECT_EQ(outcome.resolution.uri, server.Url("/lists/live.mp3"));
    EXPECT_EQ(server.RequestCount("/lists/inner.m3u"), 1u);
}

TEST(StreamResolver, PlaylistsThatLeadNowhereFailWithAReason)
{
    LocalHttpServer server;
    server.AddRoute("/gone.pls", 404, "<html>Not Found</html>", "text/html");
    server.AddRoute("/broken.pls", 500, "oops", "text/plain");
    server.AddRoute("/empty.pls", 200, "[playlist]\rNumberOfEntries=0\r", "audio/x-scpls");
    server.AddRoute("/error-page.m3u", 200, "<html><body><h1>Station offline</h1></body></html>", "text/html");
    server.AddRoute("/local-only.m3u", 200, "file:///home/someone/music.mp3\n", "audio/x-mpegurl");
    server.AddRoute("/loop.pls", 200, "[playlist]\nFile1=" + server.Url("/loop.pls") + "\n", "audio/x-scpls");
    // The first entry comes only after the few kilobytes that are read.
    server.AddRoute("/huge.m3u", 200, std::string(64 * 1024, '#') + "\nhttp://a.example/late\n", "audio/x-mpegurl");
    // An endless text answer: the size cap ends the fetch.
    std::string advert;
    for (int i = 0; i < 100; ++i)
        advert += "<p>ad</p>\n";
    server.AddStreamingRoute("/endless.pls", "text/html", [advert](std::size_t) { return advert; }, 1ms);
    server.AddRedirect("/r1.pls", server.Url("/r2.pls"));
    server.AddRedirect("/r2.pls", server.Url("/r1.pls"));
    const struct
    {
        const char* path;
        const char* words;
    } rows[] = {
        {"/gone.pls", "404"},
        {"/broken.pls", "500"},
        {"/empty.pls", "没有可播放的地址"},
        {"/error-page.m3u", "没有可播放的地址"},
        {"/local-only.m3u", "没有可播放的地址"}, // a server's playlist never opens a file of ours
        {"/loop.pls", "找不到流"},
        {"/huge.m3u", "没有可播放的地址"},
        {"/endless.pls", "没有可播放的地址"},
        {"/r1.pls", "转向次数太多"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const Outcome outcome = Resolve(server.Url(row.path), true);
        EXPECT_FALSE(outcome.timedOut);
        EXPECT_FALSE(outcome.resolution.ok) << outcome.resolution.uri;
        EXPECT_NE(outcome.resolution.error.find(row.words), std::string::npos) << outcome.resolution.error;
    }
}

TEST(StreamResolver, CancellingEndsAFetchThatHangs)
{
    LocalHttpServer server;
    server.AddStallingRoute("/hang.pls", StallPoint::BeforeHeaders);
    server.AddStallingRoute("/half.pls", StallPoint::AfterHeaders, "[playlist]\nFi", 4096);
    for (const char* path : {"/hang.pls", "/half.pls"}) {
        SCOPED_TRACE(path);
        const Outcome outcome = Resolve(server.Url(path), true, 300ms);
        EXPECT_TRUE(outcome.timedOut);
        EXPECT_FALSE(outcome.resolution.ok);
        EXPECT_EQ(outcome.resolution.error, "已取消");
        EXPECT_LT(outcome.took, 5s); // the cancel reached curl, not one of its time-outs
    }
}

TEST(StreamResolver, LocalPlaylistEntriesAreTakenFromItsFolder)
{
    const std::string folder = MakeTemporaryFolder();
    WriteFile(folder + "/tone.mp3", "not really audio; only its name matters here");
    WriteFile(folder + "/relative.pls", "[playlist]\r\nFile1=\r\nFile2=tone.mp3\r\n");
    WriteFile(folder + "/remote.m3u", "#EXTM3U\rhttp://a.example/live\r");
    WriteFile(folder + "/empty.m3u", "#EXTM3U\n");
    const StreamResolution relative = ResolveLocalPlaylist(folder + "/relative.pls");
    ASSERT_TRUE(relative.ok) << relative.error;
    EXPECT_EQ(relative.uri, "file://" + folder + "/tone.mp3");
    const StreamResolution remote = ResolveLocalPlaylist(folder + "/remote.m3u");
    ASSERT_TRUE(remote.ok) << remote.error;
    EXPECT_EQ(remote.uri, "http://a.example/live");
    EXPECT_FALSE(ResolveLocalPlaylist(folder + "/empty.m3u").ok);
    const StreamResolution missing = ResolveLocalPlaylist(folder + "/absent.pls");
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("找不到"), std::string::npos) << missing.error;
    RemoveFolder(folder);
}

TEST(StreamResolver, HttpFailureTextsNameTheCode)
{
    EXPECT_EQ(HttpFailureText(404), "打开失败: 服务器回答 404 (找不到该地址)");
    EXPECT_EQ(HttpFailureText(403), "打开失败: 服务器回答 403 (拒绝访问)");
    EXPECT_EQ(HttpFailureText(503), "打开失败: 服务器回答 503 (服务器出错)");
    EXPECT_EQ(HttpFailureText(418), "打开失败: 服务器回答 418");
}
