#include "platform/wmp/ConnectionProbe.h"

#include <gio/gio.h>

#include <array>
#include <cstdlib>

namespace {

// Bytes of the answer read for its status line.
constexpr std::size_t kAnswerBytes = 512;

} // namespace

struct CConnectionProbe::Pending
{
    Done done;
    GCancellable* cancellable = g_cancellable_new();
    GSocketConnection* connection = nullptr;
    bool dropped = false; // the probe is gone: nobody is told
    std::string request;  // the HEAD request of an asking probe; "" for connect-only
    std::array<char, kAnswerBytes> answer{};

    ~Pending()
    {
        if (connection != nullptr)
            g_object_unref(connection);
        g_object_unref(cancellable);
    }

    void Finish(const GError* error, bool answered = false, unsigned status = 0)
    {
        if (dropped || !done)
            return;
        dropped = true;
        ProbeAnswer result;
        result.error = error;
        result.answered = answered;
        result.status = status;
        const Done call = std::move(done); // the call may destroy the probe
        call(result);
    }
};

namespace {

using PendingPointer = std::shared_ptr<CConnectionProbe::Pending>;

// Takes the box a callback was given, leaving the state alive for the call.
PendingPointer Unbox(gpointer box)
{
    auto* held = static_cast<PendingPointer*>(box);
    PendingPointer state = *held;
    delete held;
    return state;
}

void OnRead(GObject* source, GAsyncResult* result, gpointer box)
{
    const PendingPointer state = Unbox(box);
    GError* error = nullptr;
    const gssize read = g_input_stream_read_finish(G_INPUT_STREAM(source), result, &error);
    if (read <= 0) {
        // A server that takes the question and closes without a word, or
        // one that says nothing in time.
        state->Finish(error);
    } else {
        const std::string line(state->answer.data(), static_cast<std::size_t>(read));
        unsigned status = 0;
        if (line.compare(0, 5, "HTTP/") == 0 || line.compare(0, 4, "ICY ") == 0) {
            const std::size_t space = line.find(' ');
            if (space != std::string::npos)
                status = static_cast<unsigned>(std::strtoul(line.c_str() + space + 1, nullptr, 10));
        }
        state->Finish(nullptr, true, status);
    }
    if (error != nullptr)
        g_error_free(error);
}

void OnWritten(GObject* source, GAsyncResult* result, gpointer box)
{
    const PendingPointer state = Unbox(box);
    GError* error = nullptr;
    if (!g_output_stream_write_all_finish(G_OUTPUT_STREAM(source), result, nullptr, &error)) {
        state->Finish(error);
        g_error_free(error);
        return;
    }
    GInputStream* input = g_io_stream_get_input_stream(G_IO_STREAM(state->connection));
    g_input_stream_read_async(input, state->answer.data(), state->answer.size(), G_PRIORITY_DEFAULT,
                              state->cancellable, &OnRead, new PendingPointer(state));
}

void OnConnected(GObject* source, GAsyncResult* result, gpointer box)
{
    const PendingPointer state = Unbox(box);
    GError* error = nullptr;
    state->connection = g_socket_client_connect_to_uri_finish(G_SOCKET_CLIENT(source), result, &error);
    if (state->connection == nullptr || state->request.empty()) {
        state->Finish(error);
        if (error != nullptr)
            g_error_free(error);
        return;
    }
    GOutputStream* output = g_io_stream_get_output_stream(G_IO_STREAM(state->connection));
    g_output_stream_write_all_async(output, state->request.data(), state->request.size(), G_PRIORITY_DEFAULT,
                                    state->cancellable, &OnWritten, new PendingPointer(state));
}

// "HEAD /path?query HTTP/1.0" with the Host header; "" when the URI is not
// plain http.
std::string HeadRequest(const std::string& uri)
{
    GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (parsed == nullptr)
        return "";
    std::string request;
    const char* scheme = g_uri_get_scheme(parsed);
    if (scheme != nullptr && g_ascii_strcasecmp(scheme, "http") == 0 && g_uri_get_host(parsed) != nullptr) {
        std::string target = g_uri_get_path(parsed);
        if (target.empty())
            target = "/";
        if (const char* query = g_uri_get_query(parsed))
            target += std::string("?") + query;
        std::string host = g_uri_get_host(parsed);
        if (g_uri_get_port(parsed) > 0)
            host += ":" + std::to_string(g_uri_get_port(parsed));
        request = "HEAD " + target + " HTTP/1.0\r\nHost: " + host + "\r\nIcy-MetaData: 1\r\n\r\n";
    }
    g_uri_unref(parsed);
    return request;
}

} // namespace

CConnectionProbe::CConnectionProbe(const std::string& uri, ProbeKind kind, std::chrono::seconds timeout, Done done)
    : pending(std::make_shared<Pending>())
{
    pending->done = std::move(done);
    if (kind == ProbeKind::AskHeaders)
        pending->request = HeadRequest(uri);
    GSocketClient* client = g_socket_client_new();
    g_socket_client_set_timeout(client, static_cast<guint>(timeout.count()));
    const guint16 defaultPort = g_ascii_strncasecmp(uri.c_str(), "https:", 6) == 0 ? 443 : 80;
    // Every callback's box keeps the state alive until GLib answers, which
    // it does for a cancelled step too.
    g_socket_client_connect_to_uri_async(client, uri.c_str(), defaultPort, pending->cancellable, &OnConnected,
                                         new PendingPointer(pending));
    g_object_unref(client); // the connection in flight holds it
}

CConnectionProbe::~CConnectionProbe()
{
    pending->dropped = true;
    g_cancellable_cancel(pending->cancellable);
}
