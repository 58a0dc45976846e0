// What is where: socket helpers, request parsing and response heads first
// (anonymous namespace); then the route setters and the request log; then
// Stop(), the accept loop and, last, Answer(), which serves one request by
// its route's kind.

#include "support/LocalHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace orvane::test {

namespace {

// Bytes of request line and headers accepted before the request is refused;
// far more than any client under test sends.
constexpr std::size_t kMaxRequestHeadBytes = 64 * 1024;
// Bytes of a request body read and thrown away; tests send GETs and HEADs.
constexpr std::size_t kMaxRequestBodyBytes = 1024 * 1024;
// Connections the kernel queues before accept.
constexpr int kListenBacklog = 64;

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

const char* ReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

// Sends all of `data`; false when the peer went away or the socket was shut down.
bool SendAll(int socket, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool SendAll(int socket, const std::string& data)
{
    return SendAll(socket, data.data(), data.size());
}

bool SendChunk(int socket, const std::string& data)
{
    char sizeLine[32];
    std::snprintf(sizeLine, sizeof sizeLine, "%zx\r\n", data.size());
    return SendAll(socket, sizeLine) && SendAll(socket, data) && SendAll(socket, "\r\n");
}

std::string ResponseHead(int status, const std::string& contentType, const HttpHeaders& headers,
    BodyFraming framing, long long contentLength)
{
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    if (!contentType.empty())
        head += "Content-Type: " + contentType + "\r\n";
    if (framing == BodyFraming::ContentLength && contentLength >= 0)
        head += "Content-Length: " + std::to_string(contentLength) + "\r\n";
    else if (framing == BodyFraming::Chunked)
        head += "Transfer-Encoding: chunked\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "Connection: close\r\n\r\n";
    return head;
}

// Reads until the blank line that ends the request head. Returns false when
// the client closed first, the socket was shut down or the head is too long;
// bytes after the head stay in `rest`.
bool ReadRequestHead(int socket, std::string& head, std::string& rest)
{
    std::string buffer;
    char block[4096];
    for (;;) {
        const auto end = buffer.find("\r\n\r\n");
        if (end != std::string::npos) {
            head = buffer.substr(0, end + 2);
            rest = buffer.substr(end + 4);
            return true;
        }
        if (buffer.size() > kMaxRequestHeadBytes)
            return false;
        const ssize_t got = ::recv(socket, block, sizeof block, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        buffer.append(block, static_cast<std::size_t>(got));
    }
}

bool ParseRequestHead(const std::string& head, HttpRequest& request)
{
    const auto lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const auto firstSpace = requestLine.find(' ');
    const auto secondSpace = requestLine.find(' ', firstSpace == std::string::npos ? firstSpace : firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos)
        return false;
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    request.version = requestLine.substr(secondSpace + 1);
    if (request.method.empty() || request.target.empty() || request.version.rfind("HTTP/", 0) != 0)
        return false;
    request.path = request.target.substr(0, request.target.find('?'));

    std::size_t position = lineEnd + 2;
    while (position < head.size()) {
        const auto next = head.find("\r\n", position);
        const std::string line = head.substr(position, next - position);
        position = next == std::string::npos ? head.size() : next + 2;
        if (line.empty())
            continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            return false;
        request.headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
    }
    return true;
}

// Reads and drops the request body announced by Content-Length, so that
// closing the socket afterwards does not reset the connection under the answer.
bool DiscardRequestBody(int socket, const HttpRequest& request, std::size_t alreadyRead)
{
    const std::string lengthText = request.Header("Content-Length");
    if (lengthText.empty())
        return true;
    char* end = nullptr;
    const unsigned long long length = std::strtoull(lengthText.c_str(), &end, 10);
    if (end == lengthText.c_str() || length > kMaxRequestBodyBytes)
        return false;
    std::size_t remaining = alreadyRead >= length ? 0 : static_cast<std::size_t>(length) - alreadyRead;
    char block[4096];
    while (remaining > 0) {
        const ssize_t got = ::recv(socket, block, std::min(remaining, sizeof block), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        remaining -= static_cast<std::size_t>(got);
    }
    return true;
}

// Blocks until the client closes or Stop() shuts the socket down.
void HoldUntilClosed(int socket)
{
    char block[1024];
    for (;;) {
        const ssize_t got = ::recv(socket, block, sizeof block, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
    }
}

} // namespace

std::string HttpRequest::Header(const std::string& name) const
{
    for (const auto& [headerName, value] : headers)
        if (EqualsIgnoringCase(headerName, name))
            return value;
    return {};
}

bool HttpRequest::HasHeader(const std::string& name) const
{
    return std::any_of(headers.begin(), headers.end(),
        [&](const auto& header) { return EqualsIgnoringCase(header.first, name); });
}

struct LocalHttpServer::Route
{
    enum class Kind { Fixed, Handler, Streaming, Stalling, Dropping };
    Kind kind = Kind::Fixed;
    HttpResponse response;  // Fixed; status, type, headers and framing of the others
    Handler handler;        // Handler
    ChunkSource source;     // Streaming
    std::chrono::milliseconds pause{0}; // Streaming: between two pieces
    StallPoint stallPoint = StallPoint::BeforeHeaders; // Stalling
    long long announcedLength = -1;     // Stalling
    std::size_t bytesBeforeDrop = 0;    // Dropping
};

struct LocalHttpServer::Connection
{
    int socket = -1; // -1 once its thread closed it; guarded by the server's mutex
    bool finished = false;
    std::thread thread;
};

LocalHttpServer::LocalHttpServer()
{
    listenSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenSocket < 0)
        throw std::runtime_error(std::string("LocalHttpServer: socket: ") + std::strerror(errno));
    const int yes = 1;
    ::setsockopt(listenSocket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listenSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listenSocket, kListenBacklog) != 0
        || ::getsockname(listenSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(listenSocket);
        throw std::runtime_error("LocalHttpServer: cannot listen on 127.0.0.1: " + reason);
    }
    port = ntohs(address.sin_port);
    acceptThread = std::thread([this] { AcceptLoop(); });
}

LocalHttpServer::~LocalHttpServer()
{
    Stop();
}

std::string LocalHttpServer::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(port);
}

std::string LocalHttpServer::Url(const std::string& path) const
{
    return BaseUrl() + path;
}

void LocalHttpServer::SetRoute(const std::string& path, Route route)
{
    std::lock_guard lock(mutex);
    routes[path] = std::make_shared<const Route>(std::move(route));
}

void LocalHttpServer::AddRoute(const std::string& path, HttpResponse response)
{
    Route route;
    route.kind = Route::Kind::Fixed;
    route.response = std::move(response);
    SetRoute(path, std::move(route));
}

void LocalHttpServer::AddRoute(const std::string& path, int status, std::string body, std::string contentType)
{
    HttpResponse response;
    response.status = status;
    response.body = std::move(body);
    response.contentType = std::move(contentType);
    AddRoute(path, std::move(response));
}

void LocalHttpServer::AddHandler(const std::string& path, Handler handler)
{
    Route route;
    route.kind = Route::Kind::Handler;
    route.handler = std::move(handler);
    SetRoute(path, std::move(route));
}

void LocalHttpServer::AddStreamingRoute(const std::string& path, std::string contentType, ChunkSource source,
    std::chrono::milliseconds pause, BodyFraming framing, HttpHeaders headers)
{
    Route route;
    route.kind = Route::Kind::Streaming;
    route.response.contentType = std::move(contentType);
    route.response.headers = std::move(headers);
    route.response.framing = framing;
    route.source = std::move(source);
    route.pause = pause;
    SetRoute(path, std::move(route));
}

void LocalHttpServer::AddStallingRoute(const std::string& path, StallPoint point, std::string partialBody,
    long long announcedLength)
{
    Route route;
    route.kind = Route::Kind::Stalling;
    route.stallPoint = point;
    route.response.body = std::move(partialBody);
    route.response.framing = announcedLength >= 0 ? BodyFraming::ContentLength : BodyFraming::CloseDelimited;
    route.announcedLength = announcedLength;
    SetRoute(path, std::move(route));
}

void LocalHttpServer::AddDroppingRoute(const std::string& path, std::string body, std::size_t bytesBeforeDrop,
    BodyFraming framing)
{
    Route route;
    route.kind = Route::Kind::Dropping;
    route.response.body = std::move(body);
    route.response.framing = framing;
    route.bytesBeforeDrop = std::min(bytesBeforeDrop, route.response.body.size());
    SetRoute(path, std::move(route));
}

void LocalHttpServer::AddRedirect(const std::string& path, std::string location, int status)
{
    HttpResponse response;
    response.status = status;
    response.contentType = "text/plain";
    response.headers.emplace_back("Location", location);
    response.body = "moved to " + location + "\n";
    AddRoute(path, std::move(response));
}

void LocalHttpServer::RemoveRoute(const std::string& path)
{
    std::lock_guard lock(mutex);
    routes.erase(path);
}

std::vector<HttpRequest> LocalHttpServer::Requests() const
{
    std::lock_guard lock(mutex);
    return requests;
}

std::size_t LocalHttpServer::RequestCount(const std::string& path) const
{
    std::lock_guard lock(mutex);
    return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(),
        [&](const HttpRequest& request) { return request.path == path; }));
}

bool LocalHttpServer::WaitForRequests(const std::string& path, std::size_t count,
    std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex);
    auto arrived = [&] {
        return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(),
                   [&](const HttpRequest& request) { return request.path == path; }))
            >= count;
    };
    changed.wait_for(lock, timeout, [&] { return stopping || arrived(); });
    return arrived();
}

std::size_t LocalHttpServer::OpenConnections() const
{
    std::lock_guard lock(mutex);
    return static_cast<std::size_t>(std::count_if(connections.begin(), connections.end(),
        [](const Connection& connection) { return !connection.finished; }));
}

bool LocalHttpServer::Stopping() const
{
    std::lock_guard lock(mutex);
    return stopping;
}

bool LocalHttpServer::PauseUnlessStopping(std::chrono::milliseconds duration)
{
    std::unique_lock lock(mutex);
    return !changed.wait_for(lock, duration, [this] { return stopping; });
}

void LocalHttpServer::Stop()
{
    {
        std::lock_guard lock(mutex);
        if (stopping && !acceptThread.joinable() && connections.empty())
            return;
        stopping = true;
    }
    changed.notify_all();

    // Shutting the listening socket down wakes the blocked accept().
    if (acceptThread.joinable()) {
        ::shutdown(listenSocket, SHUT_RDWR);
        acceptThread.join();
    }
    if (listenSocket >= 0) {
        ::close(listenSocket);
        listenSocket = -1;
    }

    // No new connection can appear now. A socket still open belongs to a
    // thread that has not closed it yet (that takes the mutex), so shutting it
    // down here never touches a reused descriptor.
    {
        std::lock_guard lock(mutex);
        for (auto& connection : connections)
            if (connection.socket >= 0)
                ::shutdown(connection.socket, SHUT_RDWR);
    }
    for (auto& connection : connections)
        if (connection.thread.joinable())
            connection.thread.join();
    std::lock_guard lock(mutex);
    connections.clear();
}

void LocalHttpServer::ReapFinishedConnections()
{
    // A finished thread has nothing left to do but return, so joining it here is brief.
    std::lock_guard lock(mutex);
    for (auto it = connections.begin(); it != connections.end();) {
        if (it->finished) {
            if (it->thread.joinable())
                it->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
}

void LocalHttpServer::AcceptLoop()
{
    for (;;) {
        const int client = ::accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (Stopping())
                return;
            // EMFILE and the like: give the system a moment rather than spin.
            if (!PauseUnlessStopping(std::chrono::milliseconds(10)))
                return;
            continue;
        }
        ReapFinishedConnections();
        std::lock_guard lock(mutex);
        if (stopping) {
            ::close(client);
            return;
        }
        Connection& connection = connections.emplace_back();
        connection.socket = client;
        connection.thread = std::thread([this, &connection] { Serve(connection); });
    }
}

std::shared_ptr<const LocalHttpServer::Route> LocalHttpServer::FindRoute(const HttpRequest& request) const
{
    std::lock_guard lock(mutex);
    auto found = routes.find(request.target);
    if (found == routes.end())
        found = routes.find(request.path);
    return found == routes.end() ? nullptr : found->second;
}

void LocalHttpServer::Serve(Connection& connection)
{
    const int socket = connection.socket;
    Answer(socket);

    {
        std::lock_guard lock(mutex);
        connection.socket = -1;
    }
    ::close(socket);
    {
        std::lock_guard lock(mutex);
        connection.finished = true;
    }
    changed.notify_all();
}

void LocalHttpServer::Answer(int socket)
{
    std::string head;
    std::string rest;
    if (!ReadRequestHead(socket, head, rest))
        return;

    HttpRequest request;
    if (!ParseRequestHead(head, request)) {
        const std::string body = "bad request\n";
        SendAll(socket, ResponseHead(400, "text/plain", {}, BodyFraming::ContentLength,
                            static_cast<long long>(body.size()))
                + body);
        return;
    }
    if (!DiscardRequestBody(socket, request, rest.size()))
        return;
    {
        std::lock_guard lock(mutex);
        requests.push_back(request);
    }
    changed.notify_all();

    const bool headOnly = request.method == "HEAD";
    const auto route = FindRoute(request);
    if (!route) {
        const std::string body = "not found\n";
        SendAll(socket, ResponseHead(404, "text/plain", {}, BodyFraming::ContentLength,
                            static_cast<long long>(body.size()))
                + (headOnly ? "" : body));
        return;
    }

    switch (route->kind) {
    case Route::Kind::Fixed:
    case Route::Kind::Handler: {
        const HttpResponse response = route->kind == Route::Kind::Fixed ? route->response : route->handler(request);
        std::string message = ResponseHead(response.status, response.contentType, response.headers,
            response.framing, static_cast<long long>(response.body.size()));
        if (!headOnly) {
            if (response.framing == BodyFraming::Chunked) {
                if (!SendAll(socket, message) || (!response.body.empty() && !SendChunk(socket, response.body)))
                    return;
                message = "0\r\n\r\n";
            } else {
                message += response.body;
            }
        }
        SendAll(socket, message);
        return;
    }
    case Route::Kind::Streaming: {
        const auto& response = route->response;
        if (!SendAll(socket, ResponseHead(response.status, response.contentType, response.headers,
                                 response.framing, -1))
            || headOnly)
            return;
        for (std::size_t index = 0; !Stopping(); ++index) {
            const std::string piece = route->source(index);
            if (piece.empty()) {
                if (response.framing == BodyFraming::Chunked)
                    SendAll(socket, "0\r\n\r\n");
                break;
            }
            const bool sent = response.framing == BodyFraming::Chunked ? SendChunk(socket, piece)
                                                                       : SendAll(socket, piece);
            if (!sent)
                break;
            if (route->pause.count() > 0 && !PauseUnlessStopping(route->pause))
                break;
        }
        return;
    }
    case Route::Kind::Stalling: {
        if (route->stallPoint == StallPoint::AfterHeaders) {
            const auto& response = route->response;
            if (!SendAll(socket, ResponseHead(200, response.contentType, response.headers, response.framing,
                                     route->announcedLength)))
                return;
            if (!headOnly && !response.body.empty() && !SendAll(socket, response.body))
                return;
        }
        HoldUntilClosed(socket);
        return;
    }
    case Route::Kind::Dropping: {
        const auto& response = route->response;
        std::string message = ResponseHead(response.status, response.contentType, response.headers,
            response.framing, static_cast<long long>(response.body.size()));
        if (!SendAll(socket, message) || headOnly)
            return;
        const std::string sentPart = response.body.substr(0, route->bytesBeforeDrop);
        if (response.framing == BodyFraming::Chunked) {
            // Announce the whole body as one chunk, then cut it short.
            char sizeLine[32];
            std::snprintf(sizeLine, sizeof sizeLine, "%zx\r\n", response.body.size());
            SendAll(socket, std::string(sizeLine) + sentPart);
        } else {
            SendAll(socket, sentPart);
        }
        return;
    }
    }
}

} // namespace orvane::test
