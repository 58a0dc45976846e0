#pragma once

// CConnectionProbe: one fresh connection to the server of a stream that
// failed without telling why, to learn it. GStreamer's HTTP source reports a
// name that does not resolve, a refused port and no route alike, and hands
// over the answer's headers only with the first data, so a server that
// answered and then sent nothing looks like one that never answered.
//
// A probe either only connects (it sends nothing: the server sees no
// request), or also asks for the headers (HEAD) and reads the status line.
//
// Threads: made, answered and destroyed on the GUI thread; the connection is
// GLib's asynchronous one on the default main context.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

using GError = struct _GError;

struct ProbeAnswer
{
    const GError* error = nullptr; // why the connection or the question failed; null when it did not
    bool answered = false;         // a status line came back (asking probes)
    unsigned status = 0;           // its status code
};

enum class ProbeKind
{
    ConnectOnly,
    AskHeaders,
};

class CConnectionProbe
{
public:
    using Done = std::function<void(const ProbeAnswer& answer)>;

    // Starts with the host and port of the http(s) `uri` (an https probe
    // only connects); `done` is called once, later, unless the probe is
    // destroyed first. `timeout` bounds every step.
    CConnectionProbe(const std::string& uri, ProbeKind kind, std::chrono::seconds timeout, Done done);
    ~CConnectionProbe();
    CConnectionProbe(const CConnectionProbe&) = delete;
    CConnectionProbe& operator=(const CConnectionProbe&) = delete;

    // What the connection's callbacks hold until GLib answers.
    struct Pending;

private:
    std::shared_ptr<Pending> pending;
};
