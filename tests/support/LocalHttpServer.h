#pragma once

// A small HTTP/1.1 server for tests, listening on 127.0.0.1 at a port the
// system picks, so that network tests never reach beyond the machine.
//
// Every connection gets its own thread, reads one request, answers it and
// closes ("Connection: close"): no keep-alive, so a client always sees where
// a body ends. HEAD is answered with the headers a GET would get. Range and
// conditional headers are ignored: every answer is the whole resource.
//
// Routes are matched by the request target exactly, then by its path without
// the query string; an unknown path answers 404. Routes may be added or
// replaced while the server runs.
//
// Stop() (and the destructor) ends promptly even while a client or a route
// stalls: every blocking socket call is woken by shutting the socket down and
// every pause waits on a condition that Stop() signals.
//
// Plain POSIX sockets and std::thread; no Qt, so any test can link it.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orvane::test {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// One request as the server received it, for tests to assert on.
struct HttpRequest
{
    std::string method;  // "GET", "HEAD", ...
    std::string target;  // as sent: path and query string
    std::string path;    // target without the query string
    std::string version; // "HTTP/1.1"
    HttpHeaders headers; // in the order sent, names as sent

    // The first value of the header `name` (case-insensitive), or "" when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

// How the end of a body is shown to the client.
enum class BodyFraming
{
    ContentLength,  // "Content-Length" announced; the client can tell a short body
    Chunked,        // "Transfer-Encoding: chunked"; a missing last chunk shows a cut
    CloseDelimited, // no length at all: the body ends when the connection closes
};

// Where a stalling route stops sending, then holds the connection open
// until the client gives up or the server stops.
enum class StallPoint
{
    BeforeHeaders, // nothing at all is sent
    AfterHeaders,  // the status line and headers, then the optional partial body
};

// A complete answer. Content-Type, Content-Length (or the chunked or
// close-delimited framing), "Connection: close" are added by the server.
struct HttpResponse
{
    int status = 200;
    std::string contentType = "application/octet-stream";
    HttpHeaders headers; // extra headers, sent as given
    std::string body;
    BodyFraming framing = BodyFraming::ContentLength;
};

class LocalHttpServer
{
public:
    // Gives the next piece of a streamed body; called on the connection's own
    // thread with 0, 1, 2, ... counted per connection, so a stateless
    // generator serves every client from its start. Several connections may
    // call it at the same time. An empty string ends the body.
    // A stream goes on after its client has gone until a send fails, and
    // until Stop() at the latest: let the source own (capture by value)
    // what it reads, or stop the server before that goes away.
    using ChunkSource = std::function<std::string(std::size_t chunkIndex)>;
    // Builds the answer from the request, on the connection's thread.
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    // Binds 127.0.0.1 on an ephemeral port and starts accepting;
    // throws std::runtime_error when the socket cannot be set up.
    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    std::uint16_t Port() const { return port; }
    // "http://127.0.0.1:<port>"
    std::string BaseUrl() const;
    // BaseUrl() + path; path starts with "/".
    std::string Url(const std::string& path) const;

    // A fixed answer.
    void AddRoute(const std::string& path, HttpResponse response);
    // Shorthand for a fixed answer with a status, a content type and a body.
    void AddRoute(const std::string& path, int status, std::string body,
        std::string contentType = "application/octet-stream");
    // An answer computed per request.
    void AddHandler(const std::string& path, Handler handler);
    // A body sent piece by piece from `source`, with `pause` between two
    // pieces: an endless or long live-style stream ends only when the source
    // returns "", the client hangs up or the server stops.
    void AddStreamingRoute(const std::string& path, std::string contentType, ChunkSource source,
        std::chrono::milliseconds pause = std::chrono::milliseconds(0),
        BodyFraming framing = BodyFraming::CloseDelimited, HttpHeaders headers = {});
    // Sends nothing (BeforeHeaders), or a 200 with the headers, the given
    // Content-Length when not negative and `partialBody` (AfterHeaders); then
    // holds the connection without sending anything more.
    void AddStallingRoute(const std::string& path, StallPoint point, std::string partialBody = "",
        long long announcedLength = -1);
    // Announces `body` with the given framing, sends its first
    // `bytesBeforeDrop` bytes and closes the connection.
    void AddDroppingRoute(const std::string& path, std::string body, std::size_t bytesBeforeDrop,
        BodyFraming framing = BodyFraming::ContentLength);
    // Answers with `status` (a 3xx) and "Location: <location>".
    void AddRedirect(const std::string& path, std::string location, int status = 302);
    void RemoveRoute(const std::string& path);

    // Every request received so far, in arrival order.
    std::vector<HttpRequest> Requests() const;
    // How many requests asked for `path` (without the query string).
    std::size_t RequestCount(const std::string& path) const;
    // Waits until at least `count` requests for `path` arrived; false when
    // `timeout` passed first or the server stopped.
    bool WaitForRequests(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) const;
    // How many connections are being served at this moment.
    std::size_t OpenConnections() const;

    // Stops accepting, wakes and closes every connection, joins every thread.
    // Safe to call twice; the destructor calls it.
    void Stop();

private:
    struct Route;
    struct Connection;

    void AcceptLoop();
    void Serve(Connection& connection);
    // Reads one request from `socket` and answers it as its route says.
    void Answer(int socket);
    void ReapFinishedConnections();
    std::shared_ptr<const Route> FindRoute(const HttpRequest& request) const;
    void SetRoute(const std::string& path, Route route);
    // Waits up to `duration`; false when the server is stopping.
    bool PauseUnlessStopping(std::chrono::milliseconds duration);
    bool Stopping() const;

    int listenSocket = -1;
    std::uint16_t port = 0;
    std::thread acceptThread;

    mutable std::mutex mutex;
    mutable std::condition_variable changed; // stop, a new request, a closed connection
    bool stopping = false;
    std::map<std::string, std::shared_ptr<const Route>> routes;
    std::vector<HttpRequest> requests;
    std::list<Connection> connections;
};

} // namespace orvane::test
