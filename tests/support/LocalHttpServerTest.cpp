#include "support/LocalHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using orvane::test::BodyFraming;
using orvane::test::HttpResponse;
using orvane::test::LocalHttpServer;
using orvane::test::StallPoint;

namespace {

// Seconds a test client waits for the next byte before it gives up; the
// watchdog that keeps a broken server from hanging the suite.
constexpr int kClientWatchdogSeconds = 5;
// Longest any Stop() may take before it counts as hung.
constexpr auto kStopWatchdog = 5s;

// A raw client: the test sees exactly the bytes the server sends.
class RawClient
{
public:
    explicit RawClient(std::uint16_t port, int receiveTimeoutSeconds = kClientWatchdogSeconds)
    {
        socket = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval timeout{receiveTimeoutSeconds, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected = ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { Close(); }

    bool Send(const std::string& text)
    {
        return ::send(socket, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }

    // Reads until the server closes, `limit` bytes arrived or the watchdog fired.
    std::string ReadAll(std::size_t limit = 64 * 1024 * 1024)
    {
        std::string received;
        char block[4096];
        timedOut = false;
        while (received.size() < limit) {
            const ssize_t got = ::recv(socket, block, std::min(sizeof block, limit - received.size()), 0);
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                timedOut = true;
            if (got <= 0)
                break;
            received.append(block, static_cast<std::size_t>(got));
        }
        return received;
    }

    void Close()
    {
        if (socket >= 0)
            ::close(socket);
        socket = -1;
    }

    bool connected = false;
    bool timedOut = false;

private:
    int socket = -1;
};

std::string Get(std::uint16_t port, const std::string& target, const std::string& extraHeaders = "",
    const std::string& method = "GET")
{
    RawClient client(port);
    EXPECT_TRUE(client.connected);
    client.Send(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n");
    std::string response = client.ReadAll();
    EXPECT_FALSE(client.timedOut) << "no end of answer for " << target;
    return response;
}

std::string BodyOf(const std::string& response)
{
    const auto end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

std::string HeadOf(const std::string& response)
{
    return response.substr(0, response.find("\r\n\r\n") + 2);
}

// Runs Stop() on another thread; false when it did not return within the watchdog.
bool StopsPromptly(LocalHttpServer& server)
{
    auto stopped = std::async(std::launch::async, [&] { server.Stop(); });
    return stopped.wait_for(kStopWatchdog) == std::future_status::ready;
}

} // namespace

TEST(LocalHttpServer, FixedRoutesAnswerWholeAndUnknownPathsAnswer404)
{
    LocalHttpServer server;
    EXPECT_NE(server.Port(), 0);
    EXPECT_EQ(server.Url("/a"), "http://127.0.0.1:" + std::to_string(server.Port()) + "/a");

    server.AddRoute("/update/fmradios.dll", 200, std::string("\x00\x01xml\xff", 6), "application/x-msdownload");
    const std::string ok = Get(server.Port(), "/update/fmradios.dll");
    EXPECT_EQ(ok.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(HeadOf(ok).find("Content-Type: application/x-msdownload\r\n"), std::string::npos);
    EXPECT_NE(HeadOf(ok).find("Content-Length: 6\r\n"), std::string::npos);
    EXPECT_NE(HeadOf(ok).find("Connection: close\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(ok), std::string("\x00\x01xml\xff", 6)) << "binary body must pass unchanged";

    // A query string still finds the route of its path.
    EXPECT_EQ(BodyOf(Get(server.Port(), "/update/fmradios.dll?t=1")), std::string("\x00\x01xml\xff", 6));

    const std::string missing = Get(server.Port(), "/update/nothing.dll");
    EXPECT_EQ(missing.rfind("HTTP/1.1 404 ", 0), 0u);

    server.AddRoute("/error", 500, "boom");
    EXPECT_EQ(Get(server.Port(), "/error").rfind("HTTP/1.1 500 ", 0), 0u);

    // Replacing and removing routes while running.
    server.AddRoute("/update/fmradios.dll", 200, "v2");
    EXPECT_EQ(BodyOf(Get(server.Port(), "/update/fmradios.dll")), "v2");
    server.RemoveRoute("/update/fmradios.dll");
    EXPECT_EQ(Get(server.Port(), "/update/fmradios.dll").rfind("HTTP/1.1 404 ", 0), 0u);
}

TEST(LocalHttpServer, HeadGetsHeadersOnlyAndRangeIsIgnored)
{
    LocalHttpServer server;
    server.AddRoute("/file", 200, "0123456789", "text/plain");

    const std::string head = Get(server.Port(), "/file", "", "HEAD");
    EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(head.find("Content-Length: 10\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(head), "");

    const std::string ranged = Get(server.Port(), "/file", "Range: bytes=5-\r\n");
    EXPECT_EQ(ranged.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(BodyOf(ranged), "0123456789");
}

TEST(LocalHttpServer, RequestLogKeepsMethodPathAndHeadersInOrder)
{
    LocalHttpServer server;
    server.AddRoute("/a", 200, "a");
    Get(server.Port(), "/a?x=1", "Cache-Control: no-cache\r\nPragma: no-cache\r\nX-Empty:\r\n");
    Get(server.Port(), "/b", "", "HEAD");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/a?x=1");
    EXPECT_EQ(requests[0].path, "/a");
    EXPECT_EQ(requests[0].version, "HTTP/1.1");
    EXPECT_EQ(requests[0].Header("cache-control"), "no-cache") << "header names compare without case";
    EXPECT_EQ(requests[0].Header("PRAGMA"), "no-cache");
    EXPECT_TRUE(requests[0].HasHeader("X-Empty"));
    EXPECT_EQ(requests[0].Header("X-Empty"), "");
    EXPECT_FALSE(requests[0].HasHeader("Range"));
    EXPECT_EQ(requests[1].method, "HEAD");
    EXPECT_EQ(requests[1].path, "/b");

    EXPECT_EQ(server.RequestCount("/a"), 1u);
    EXPECT_EQ(server.RequestCount("/b"), 1u);
    EXPECT_EQ(server.RequestCount("/c"), 0u);
    EXPECT_TRUE(server.WaitForRequests("/a", 1, 1s));
    EXPECT_FALSE(server.WaitForRequests("/a", 2, 50ms));
}

TEST(LocalHttpServer, MalformedRequestsGet400AndAreNotLogged)
{
    LocalHttpServer server;
    for (const std::string bad : {"GARBAGE\r\n\r\n", "GET /x\r\n\r\n", "GET /x FTP/1.0\r\n\r\n",
             "GET /x HTTP/1.1\r\nno colon here\r\n\r\n"}) {
        RawClient client(server.Port());
        client.Send(bad);
        const std::string response = client.ReadAll();
        EXPECT_EQ(response.rfind("HTTP/1.1 400 ", 0), 0u) << bad;
    }
    EXPECT_TRUE(server.Requests().empty());
}

TEST(LocalHttpServer, RedirectSendsStatusAndLocation)
{
    LocalHttpServer server;
    server.AddRedirect("/old", server.Url("/new"));
    server.AddRedirect("/moved", "/new", 301);

    const std::string found = Get(server.Port(), "/old");
    EXPECT_EQ(found.rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
    EXPECT_NE(HeadOf(found).find("Location: " + server.Url("/new") + "\r\n"), std::string::npos);
    const std::string moved = Get(server.Port(), "/moved");
    EXPECT_EQ(moved.rfind("HTTP/1.1 301 ", 0), 0u);
    EXPECT_NE(HeadOf(moved).find("Location: /new\r\n"), std::string::npos);
}

TEST(LocalHttpServer, HandlerAnswersPerRequestWithChosenFraming)
{
    LocalHttpServer server;
    server.AddHandler("/echo", [](const orvane::test::HttpRequest& request) {
        HttpResponse response;
        response.contentType = "text/plain";
        response.body = request.method + " " + request.target;
        response.framing = BodyFraming::Chunked;
        return response;
    });
    const std::string response = Get(server.Port(), "/echo?q=2");
    EXPECT_NE(HeadOf(response).find("Transfer-Encoding: chunked\r\n"), std::string::npos);
    EXPECT_EQ(HeadOf(response).find("Content-Length"), std::string::npos);
    EXPECT_EQ(BodyOf(response), "d\r\nGET /echo?q=2\r\n0\r\n\r\n");
}

TEST(LocalHttpServer, StreamingRouteSendsPiecesPerConnectionUntilSourceEnds)
{
    LocalHttpServer server;
    server.AddStreamingRoute("/three", "audio/mpeg",
        [](std::size_t index) { return index < 3 ? "piece" + std::to_string(index) + ";" : std::string(); });
    server.AddStreamingRoute("/three-chunked", "audio/mpeg",
        [](std::size_t index) { return index < 2 ? std::string(index + 1, 'x') : std::string(); }, 1ms,
        BodyFraming::Chunked);

    // Each connection counts its pieces from 0.
    for (int round = 0; round < 2; ++round) {
        const std::string response = Get(server.Port(), "/three");
        EXPECT_NE(HeadOf(response).find("Content-Type: audio/mpeg\r\n"), std::string::npos);
        EXPECT_EQ(HeadOf(response).find("Content-Length"), std::string::npos);
        EXPECT_EQ(BodyOf(response), "piece0;piece1;piece2;");
    }
    EXPECT_EQ(BodyOf(Get(server.Port(), "/three-chunked")), "1\r\nx\r\n2\r\nxx\r\n0\r\n\r\n");
    EXPECT_EQ(BodyOf(Get(server.Port(), "/three", "", "HEAD")), "");
}

TEST(LocalHttpServer, EndlessStreamEndsWhenClientHangsUp)
{
    LocalHttpServer server;
    const std::string piece(4096, 'a');
    server.AddStreamingRoute("/live", "audio/mpeg", [piece](std::size_t) { return piece; }, 1ms);

    {
        RawClient client(server.Port());
        client.Send("GET /live HTTP/1.1\r\n\r\n");
        const std::string start = client.ReadAll(100 * 1024);
        EXPECT_EQ(start.size(), 100u * 1024u);
        EXPECT_FALSE(client.timedOut);
        EXPECT_EQ(server.OpenConnections(), 1u);
    }
    // The server notices the hang-up at its next send; poll with a watchdog.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (server.OpenConnections() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(server.OpenConnections(), 0u);
}

TEST(LocalHttpServer, StallingRoutesSendOnlyWhatTheyAnnounce)
{
    LocalHttpServer server;
    server.AddStallingRoute("/silent", StallPoint::BeforeHeaders);
    server.AddStallingRoute("/headers", StallPoint::AfterHeaders);
    server.AddStallingRoute("/half", StallPoint::AfterHeaders, "abc", 1000);

    // A one-second client watchdog stands for a client's stall time-out.
    RawClient silent(server.Port(), 1);
    silent.Send("GET /silent HTTP/1.1\r\n\r\n");
    EXPECT_EQ(silent.ReadAll(), "");
    EXPECT_TRUE(silent.timedOut);

    RawClient headers(server.Port(), 1);
    headers.Send("GET /headers HTTP/1.1\r\n\r\n");
    const std::string headersOnly = headers.ReadAll();
    EXPECT_TRUE(headers.timedOut);
    EXPECT_EQ(headersOnly.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(BodyOf(headersOnly), "");

    RawClient half(server.Port(), 1);
    half.Send("GET /half HTTP/1.1\r\n\r\n");
    const std::string halfBody = half.ReadAll();
    EXPECT_TRUE(half.timedOut);
    EXPECT_NE(HeadOf(halfBody).find("Content-Length: 1000\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(halfBody), "abc");

    EXPECT_EQ(server.OpenConnections(), 3u) << "stalled connections stay open until the client leaves";
    EXPECT_TRUE(StopsPromptly(server));
}

TEST(LocalHttpServer, DroppingRouteCutsTheBodyAfterGivenBytes)
{
    LocalHttpServer server;
    const std::string body(1000, 'z');
    server.AddDroppingRoute("/cut", body, 100);
    server.AddDroppingRoute("/cut-chunked", body, 10, BodyFraming::Chunked);
    server.AddDroppingRoute("/cut-unframed", body, 10, BodyFraming::CloseDelimited);

    const std::string cut = Get(server.Port(), "/cut");
    EXPECT_NE(HeadOf(cut).find("Content-Length: 1000\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(cut), std::string(100, 'z'));

    const std::string chunked = Get(server.Port(), "/cut-chunked");
    EXPECT_EQ(BodyOf(chunked), "3e8\r\n" + std::string(10, 'z')) << "the last chunk never comes";

    const std::string unframed = Get(server.Port(), "/cut-unframed");
    EXPECT_EQ(HeadOf(unframed).find("Content-Length"), std::string::npos);
    EXPECT_EQ(BodyOf(unframed), std::string(10, 'z'));
}

TEST(LocalHttpServer, StopIsPromptWithStalledClientsAndStalledRoutes)
{
    LocalHttpServer server;
    server.AddStallingRoute("/stall", StallPoint::AfterHeaders);
    const std::string piece(64 * 1024, 'p');
    server.AddStreamingRoute("/flood", "audio/mpeg", [piece](std::size_t) { return piece; });

    // A client that connects and never sends its request.
    RawClient mute(server.Port());
    // A client whose request stalls the route.
    RawClient waiting(server.Port());
    waiting.Send("GET /stall HTTP/1.1\r\n\r\n");
    // A client that never reads, so the server blocks in send once buffers fill.
    RawClient deaf(server.Port());
    deaf.Send("GET /flood HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(server.WaitForRequests("/stall", 1, 5s));
    ASSERT_TRUE(server.WaitForRequests("/flood", 1, 5s));
    std::this_thread::sleep_for(100ms); // let the flood fill the socket buffers

    EXPECT_TRUE(StopsPromptly(server));
    EXPECT_EQ(server.OpenConnections(), 0u);
    EXPECT_TRUE(StopsPromptly(server)) << "a second Stop() is harmless";

    // The stalled client sees the connection end rather than hang.
    const std::string rest = waiting.ReadAll();
    EXPECT_FALSE(waiting.timedOut);
}

TEST(LocalHttpServer, ServesConcurrentClientsWithoutMixingBodies)
{
    LocalHttpServer server;
    constexpr int kClients = 16;
    for (int index = 0; index < kClients; ++index)
        server.AddRoute("/file" + std::to_string(index), 200, std::string(50000 + index, static_cast<char>('a' + index)));
    server.AddStallingRoute("/stall", StallPoint::BeforeHeaders);

    // A stalled connection must not hold up the others.
    RawClient stalled(server.Port());
    stalled.Send("GET /stall HTTP/1.1\r\n\r\n");

    std::vector<std::future<std::string>> answers;
    for (int index = 0; index < kClients; ++index)
        answers.push_back(std::async(std::launch::async,
            [&, index] { return BodyOf(Get(server.Port(), "/file" + std::to_string(index))); }));
    for (int index = 0; index < kClients; ++index)
        EXPECT_EQ(answers[index].get(), std::string(50000 + index, static_cast<char>('a' + index))) << index;
    EXPECT_EQ(server.Requests().size(), static_cast<std::size_t>(kClients + 1));
}
