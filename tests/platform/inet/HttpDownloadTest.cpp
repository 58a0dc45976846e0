#include "platform/inet/HttpDownload.h"

#include "support/LocalHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using orvane::test::BodyFraming;
using orvane::test::LocalHttpServer;
using orvane::test::StallPoint;
namespace fs = std::filesystem;

namespace {

// Seconds after which a test's own watchdog cancels a download that should
// long have ended, so a broken time-out fails the test instead of hanging it.
constexpr auto kWatchdog = 15s;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// Every byte value, so that a text-mode or NUL-terminated write shows.
std::string BinaryBody(std::size_t size)
{
    std::string body(size, '\0');
    for (std::size_t index = 0; index < size; ++index)
        body[index] = static_cast<char>((index * 7 + index / 251) & 0xFF);
    return body;
}

// A port on 127.0.0.1 with nothing listening: bound, then released.
std::uint16_t ClosedPort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

class HttpDownload : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Nothing may leave the machine through a proxy a developer has set.
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
        ::setenv("no_proxy", "*", 1);

        char pattern[] = "/tmp/orvane-inet-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        target = folder / "fmradios_tmp.dll";

        options.connectTimeout = 2s;
        options.stallTimeout = 2s;
        // curl's own clock as a second line of defence behind the watchdog.
        options.totalTimeout = 30s;
    }

    void TearDown() override
    {
        server.Stop();
        fs::remove_all(folder);
    }

    // Downloads on another thread; a watchdog cancels it after kWatchdog.
    DownloadResult Download(const std::string& url, const fs::path& path, DownloadOptions downloadOptions)
    {
        std::atomic<bool> watchdogFired{false};
        std::atomic<bool> cancel{false};
        const std::atomic<bool>* callerCancel = downloadOptions.cancel;
        downloadOptions.cancel = &cancel;
        auto download = std::async(std::launch::async, [&] { return DownloadToFile(url, path.string(), downloadOptions); });
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        while (download.wait_for(5ms) != std::future_status::ready) {
            if (callerCancel && callerCancel->load())
                cancel = true;
            if (std::chrono::steady_clock::now() > deadline && !watchdogFired) {
                watchdogFired = true;
                cancel = true;
            }
        }
        EXPECT_FALSE(watchdogFired) << "download of " << url << " ran into the test's watchdog";
        return download.get();
    }

    DownloadResult Download(const std::string& url) { return Download(url, target, options); }

    // Files in the folder other than `target`: a leftover part file shows here.
    std::vector<std::string> StrayFiles() const
    {
        std::vector<std::string> stray;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path() != target)
                stray.push_back(entry.path().filename().string());
        return stray;
    }

    void ExpectFailedWithoutFile(const DownloadResult& result, DownloadStatus expected, const std::string& what)
    {
        EXPECT_EQ(DownloadStatusName(result.status), std::string(DownloadStatusName(expected)))
            << what << ": " << result.message;
        EXPECT_FALSE(result.message.empty()) << what;
        EXPECT_FALSE(fs::exists(target)) << what << ": a failed download must leave no file";
        EXPECT_TRUE(StrayFiles().empty()) << what << ": part file left behind";
    }

    LocalHttpServer server;
    fs::path folder;
    fs::path target;
    DownloadOptions options;
};

} // namespace

TEST_F(HttpDownload, WholeBodyLandsAndEveryCacheIsBypassed)
{
    const std::string body = BinaryBody(300 * 1024);
    server.AddRoute("/update/fmradios.dll", 200, body);
    // An older, longer file at the destination must be replaced, not overwritten in part.
    WriteFile(target, std::string(400 * 1024, 'o'));

    const DownloadResult result = Download(server.Url("/update/fmradios.dll"));
    ASSERT_TRUE(result.Succeeded()) << result.message;
    EXPECT_EQ(result.httpStatus, 200);
    EXPECT_EQ(result.bodyBytes, static_cast<std::int64_t>(body.size()));
    EXPECT_TRUE(result.message.empty());
    EXPECT_EQ(ReadFile(target), body);
    EXPECT_TRUE(StrayFiles().empty());

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/update/fmradios.dll");
    EXPECT_EQ(requests[0].Header("Cache-Control"), "no-cache");
    EXPECT_EQ(requests[0].Header("Pragma"), "no-cache");
    EXPECT_FALSE(requests[0].HasHeader("If-Modified-Since"));
    EXPECT_FALSE(requests[0].HasHeader("If-None-Match"));
}

TEST_F(HttpDownload, BodyEndingsTheServerMarksAllArriveWhole)
{
    const std::string body = BinaryBody(100 * 1000 + 3);
    server.AddStreamingRoute("/chunked", "application/octet-stream",
        [body](std::size_t index) { return index * 1000 < body.size() ? body.substr(index * 1000, 1000) : std::string(); },
        0ms, BodyFraming::Chunked);
    server.AddStreamingRoute("/unframed", "application/octet-stream",
        [body](std::size_t index) { return index * 4096 < body.size() ? body.substr(index * 4096, 4096) : std::string(); });

    for (const std::string path : {"/chunked", "/unframed"}) {
        const DownloadResult result = Download(server.Url(path));
        ASSERT_TRUE(result.Succeeded()) << path << ": " << result.message;
        EXPECT_EQ(ReadFile(target), body) << path;
    }
}

TEST_F(HttpDownload, EmptyBodyIsReportedAsEmptyNotAsFailure)
{
    server.AddRoute("/empty", 200, "");
    server.AddRoute("/nocontent", 204, "");
    for (const std::string path : {"/empty", "/nocontent"}) {
        const DownloadResult result = Download(server.Url(path));
        EXPECT_TRUE(result.Succeeded()) << path << ": " << result.message;
        EXPECT_EQ(result.bodyBytes, 0) << path;
        ASSERT_TRUE(fs::exists(target)) << path;
        EXPECT_EQ(fs::file_size(target), 0u) << path;
    }
}

TEST_F(HttpDownload, RedirectsAreFollowedWithinBoundsAndOnlyToHttp)
{
    server.AddRoute("/update/fmradios.dll", 200, "the catalogue");
    server.AddRedirect("/first", "/second");                             // relative
    server.AddRedirect("/second", server.Url("/update/fmradios.dll"), 301); // absolute
    const DownloadResult followed = Download(server.Url("/first"));
    ASSERT_TRUE(followed.Succeeded()) << followed.message;
    EXPECT_EQ(ReadFile(target), "the catalogue") << "the redirect pages' own bodies must not be written";
    EXPECT_EQ(server.RequestCount("/update/fmradios.dll"), 1u);
    // The no-cache request holds on every hop.
    for (const auto& request : server.Requests())
        EXPECT_EQ(request.Header("Pragma"), "no-cache") << request.path;

    server.AddRedirect("/loop", "/loop");
    ExpectFailedWithoutFile(Download(server.Url("/loop")), DownloadStatus::NetworkError, "redirect loop");
    EXPECT_LE(server.RequestCount("/loop"), static_cast<std::size_t>(options.maxRedirects + 1));

    // A fetched redirect must not read local files.
    server.AddRedirect("/local", "file:///etc/hostname");
    ExpectFailedWithoutFile(Download(server.Url("/local")), DownloadStatus::NetworkError, "redirect to file:");

    // A 3xx without Location is no answer.
    server.AddRoute("/nowhere", 302, "no location");
    const DownloadResult nowhere = Download(server.Url("/nowhere"));
    ExpectFailedWithoutFile(nowhere, DownloadStatus::HttpError, "302 without Location");
    EXPECT_EQ(nowhere.httpStatus, 302);
}

TEST_F(HttpDownload, HttpErrorsFailAndLeaveNoFile)
{
    const struct
    {
        int status;
        const char* body;
    } rows[] = {
        {404, "<html>Not Found</html>"},
        {500, "<html>Internal Server Error</html>"},
        {403, ""},
        {503, "busy"},
    };
    for (const auto& row : rows) {
        const std::string path = "/status" + std::to_string(row.status);
        server.AddRoute(path, row.status, row.body, "text/html");
        // A good file from an earlier round must not pass for this answer.
        WriteFile(target, "an earlier download");
        const DownloadResult result = Download(server.Url(path));
        ExpectFailedWithoutFile(result, DownloadStatus::HttpError, path);
        EXPECT_EQ(result.httpStatus, row.status);
    }
    // An unrouted path through a redirect is an error too.
    server.AddRedirect("/gone", "/missing");
    const DownloadResult viaRedirect = Download(server.Url("/gone"));
    ExpectFailedWithoutFile(viaRedirect, DownloadStatus::HttpError, "redirect to 404");
    EXPECT_EQ(viaRedirect.httpStatus, 404);
}

TEST_F(HttpDownload, StalledServerFailsAfterStallTimeout)
{
    options.stallTimeout = 1s;
    server.AddStallingRoute("/silent", StallPoint::BeforeHeaders);
    server.AddStallingRoute("/headers-only", StallPoint::AfterHeaders);
    server.AddStallingRoute("/half", StallPoint::AfterHeaders, BinaryBody(5000), 10000);

    for (const std::string path : {"/silent", "/headers-only", "/half"}) {
        const auto started = std::chrono::steady_clock::now();
        const DownloadResult result = Download(server.Url(path));
        const auto elapsed = std::chrono::steady_clock::now() - started;
        ExpectFailedWithoutFile(result, DownloadStatus::Timeout, path);
        // Not before the stall time-out; the watchdog bounds the other side.
        EXPECT_GE(elapsed, 900ms) << path;
    }
}

TEST_F(HttpDownload, SlowButSteadyBodyIsNoStall)
{
    // A byte every 100 ms for 2 s: never silent for the 1 s stall time-out,
    // though the whole takes twice as long.
    options.stallTimeout = 1s;
    server.AddStreamingRoute("/drip", "text/plain",
        [](std::size_t index) { return index < 20 ? std::string(1, static_cast<char>('a' + index)) : std::string(); },
        100ms);
    const DownloadResult result = Download(server.Url("/drip"));
    ASSERT_TRUE(result.Succeeded()) << result.message;
    EXPECT_EQ(ReadFile(target), "abcdefghijklmnopqrst");

    // The overall limit still ends it.
    options.totalTimeout = 700ms;
    ExpectFailedWithoutFile(Download(server.Url("/drip")), DownloadStatus::Timeout, "total time-out");
}

TEST_F(HttpDownload, BodyOverTheCapFailsWithAndWithoutContentLength)
{
    options.maxBodyBytes = 64 * 1024;
    const std::string atCap = BinaryBody(64 * 1024);
    const std::string overCap = BinaryBody(64 * 1024 + 1);
    server.AddRoute("/at-cap", 200, atCap);
    server.AddRoute("/over-cap", 200, overCap);
    server.AddStreamingRoute("/over-cap-chunked", "application/octet-stream",
        [overCap](std::size_t index) { return index == 0 ? overCap : std::string(); }, 0ms, BodyFraming::Chunked);
    // An endless body with no length: only the running total can stop it.
    const std::string piece(8192, 'e');
    server.AddStreamingRoute("/endless", "audio/mpeg", [piece](std::size_t) { return piece; });

    const DownloadResult exact = Download(server.Url("/at-cap"));
    ASSERT_TRUE(exact.Succeeded()) << "a body of exactly the cap is allowed: " << exact.message;
    EXPECT_EQ(ReadFile(target), atCap);

    for (const std::string path : {"/over-cap", "/over-cap-chunked", "/endless"}) {
        WriteFile(target, "an earlier download");
        const DownloadResult result = Download(server.Url(path));
        ExpectFailedWithoutFile(result, DownloadStatus::TooLarge, path);
        EXPECT_LE(result.bodyBytes, options.maxBodyBytes) << path;
    }
}

TEST_F(HttpDownload, ConnectionDroppedMidBodyFails)
{
    const std::string body = BinaryBody(50000);
    server.AddDroppingRoute("/cut", body, 20000);
    server.AddDroppingRoute("/cut-chunked", body, 20000, BodyFraming::Chunked);
    server.AddDroppingRoute("/cut-before-body", body, 0);
    for (const std::string path : {"/cut", "/cut-chunked", "/cut-before-body"})
        ExpectFailedWithoutFile(Download(server.Url(path)), DownloadStatus::NetworkError, path);
}

TEST_F(HttpDownload, UnreachableServerFailsFast)
{
    const auto started = std::chrono::steady_clock::now();
    const DownloadResult refused = Download("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/update/fmradios.dll");
    ExpectFailedWithoutFile(refused, DownloadStatus::NetworkError, "refused");
    EXPECT_EQ(refused.httpStatus, 0);
    // A refused connection must not wait for the connect time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - started, options.connectTimeout);

    ExpectFailedWithoutFile(Download("not a url"), DownloadStatus::NetworkError, "malformed URL");
    ExpectFailedWithoutFile(Download("ftp://127.0.0.1/x"), DownloadStatus::NetworkError, "scheme other than http");
}

TEST_F(HttpDownload, CancelFromAnotherThreadEndsPromptly)
{
    // A live stream that never ends and never stalls: only the cancel can end it.
    options.stallTimeout = 20s;
    // Far beyond the expected end, so that a cancel that goes unnoticed
    // fails the test instead of hanging it.
    options.totalTimeout = 10s;
    const std::string piece(1024, 's');
    server.AddStreamingRoute("/live", "audio/mpeg", [piece](std::size_t) { return piece; }, 20ms);
    server.AddStallingRoute("/stall", StallPoint::AfterHeaders);

    for (const std::string path : {"/live", "/stall"}) {
        std::atomic<bool> cancel{false};
        DownloadOptions cancellable = options;
        cancellable.cancel = &cancel;
        auto download = std::async(std::launch::async,
            [&] { return DownloadToFile(server.Url(path), target.string(), cancellable); });
        ASSERT_TRUE(server.WaitForRequests(path, 1, 5s)) << path;
        std::this_thread::sleep_for(200ms); // well inside the transfer

        const auto cancelled = std::chrono::steady_clock::now();
        cancel = true;
        ASSERT_EQ(download.wait_for(3s), std::future_status::ready) << path << ": cancel not noticed";
        EXPECT_LT(std::chrono::steady_clock::now() - cancelled, 3s);
        ExpectFailedWithoutFile(download.get(), DownloadStatus::Cancelled, path);
    }

    // Set before the start: nothing is kept either.
    std::atomic<bool> early{true};
    DownloadOptions cancelledBefore = options;
    cancelledBefore.cancel = &early;
    ExpectFailedWithoutFile(DownloadToFile(server.Url("/live"), target.string(), cancelledBefore),
        DownloadStatus::Cancelled, "cancelled before start");
}

TEST_F(HttpDownload, LongUrlsAndLongPathsAreNotCut)
{
    // Both well past 259 bytes, where a fixed buffer would cut them.
    const std::string longPath = "/update/" + std::string(320, 'u') + "/fmradios.dll";
    const std::string query = "?key=" + std::string(200, 'q');
    server.AddRoute(longPath, 200, "long way");

    fs::path deep = folder;
    for (int level = 0; level < 4; ++level)
        deep /= std::string(90, static_cast<char>('a' + level));
    fs::create_directories(deep);
    const fs::path deepTarget = deep / "fmradios_tmp.dll";
    ASSERT_GT(deepTarget.string().size(), 300u);

    const DownloadResult result = Download(server.Url(longPath) + query, deepTarget, options);
    ASSERT_TRUE(result.Succeeded()) << result.message;
    EXPECT_EQ(ReadFile(deepTarget), "long way");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, longPath + query);
}

TEST_F(HttpDownload, UnwritableDestinationFailsWithoutTouchingTheNetwork)
{
    server.AddRoute("/update/fmradios.dll", 200, "body");
    const fs::path missingFolder = folder / "cache" / "fmradios_tmp.dll";
    const DownloadResult result = Download(server.Url("/update/fmradios.dll"), missingFolder, options);
    EXPECT_EQ(result.status, DownloadStatus::FileError) << result.message;
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(server.RequestCount("/update/fmradios.dll"), 0u);

    // A folder standing at the destination cannot be replaced by the body.
    fs::create_directory(target);
    const DownloadResult onFolder = Download(server.Url("/update/fmradios.dll"));
    EXPECT_EQ(onFolder.status, DownloadStatus::FileError) << onFolder.message;
    EXPECT_TRUE(fs::is_directory(target));
    fs::remove(target);
    EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(HttpDownload, ConcurrentDownloadsToOnePathLeaveOneWholeBody)
{
    // Each body is uniform, so a file mixing two of them shows at once.
    constexpr int kDownloads = 6;
    for (int index = 0; index < kDownloads; ++index)
        server.AddRoute("/body" + std::to_string(index), 200, std::string(200 * 1024, static_cast<char>('A' + index)));

    std::vector<std::future<DownloadResult>> downloads;
    for (int index = 0; index < kDownloads; ++index)
        downloads.push_back(std::async(std::launch::async, [&, index] {
            return DownloadToFile(server.Url("/body" + std::to_string(index)), target.string(), options);
        }));
    for (auto& download : downloads) {
        ASSERT_EQ(download.wait_for(kWatchdog), std::future_status::ready);
        EXPECT_TRUE(download.get().Succeeded());
    }
    const std::string content = ReadFile(target);
    ASSERT_EQ(content.size(), 200u * 1024u);
    EXPECT_EQ(content, std::string(content.size(), content[0])) << "bodies of two downloads mixed";
    EXPECT_TRUE(StrayFiles().empty());
}

#if ORVANE_INET_HAS_WINDOW_LAYER
#include "platform/win/Win.h"

namespace {

struct DownloadJob
{
    std::string url;
    std::string path;
    DownloadOptions options;
    DownloadResult result;
};

DWORD RunDownloadJob(void* parameter)
{
    auto* job = static_cast<DownloadJob*>(parameter);
    job->result = DownloadToFile(job->url, job->path, job->options);
    return 0;
}

} // namespace

TEST_F(HttpDownload, StopOfTheDownloadingThreadEndsTheDownloadPromptly)
{
    // The update worker is stopped cooperatively; a download it is in must
    // notice without any flag of its own.
    options.stallTimeout = 20s;
    // Far beyond the expected end, so that a cancel that goes unnoticed
    // fails the test instead of hanging it.
    options.totalTimeout = 10s;
    const std::string piece(1024, 's');
    server.AddStreamingRoute("/live", "audio/mpeg", [piece](std::size_t) { return piece; }, 20ms);

    DownloadJob job{server.Url("/live"), target.string(), options, {}};
    HANDLE thread = CreateThread(&RunDownloadJob, &job);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(server.WaitForRequests("/live", 1, 5s));
    std::this_thread::sleep_for(200ms);

    auto stopped = std::async(std::launch::async, [&] { return StopThread(thread); });
    ASSERT_EQ(stopped.wait_for(3s), std::future_status::ready) << "the download did not notice the stop";
    EXPECT_TRUE(stopped.get());
    ExpectFailedWithoutFile(job.result, DownloadStatus::Cancelled, "thread stopped");
}
#endif
