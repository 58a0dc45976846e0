#pragma once

// A local imitation of a station directory server, on 127.0.0.1, for the
// tests: the directory's answers to /json/stats, /json/stations/search,
// /json/stations/byuuid, /json/url/{uuid} and the country, language and tag
// lists, with the directory's matching rules and quirks (camelCase
// parameters, only lower-case "true" is true, bad numbers and orders fall
// back to defaults silently, tags compared with case, uuids in lower case,
// byuuid answers in the directory's order, not the request's), gzip when the
// client takes it, and the faults of real servers on request.
//
// Written in C++ over LocalHttpServer rather than as a Python script: the
// tests start two or three of them in their own process, in microseconds,
// read the request log without parsing a file, and switch faults between
// two requests without a control channel.
//
// Threads: the answers are made on the server's connection threads; every
// call here may come from any thread.

#include "support/DirectoryFixtures.h"
#include "support/LocalHttpServer.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace orvane::test {

enum class EDirectoryFault
{
    None,
    EmptyNotFound,   // 404 with an empty body, as for an unknown route
    PlainTextError,  // 500 with the error's text, as the directory's own failures
    HtmlUnavailable, // 503 with a proxy's HTML page, the application behind it down
    Slow,            // the right answer, after the configured delay
    CutJson,         // 200 and a JSON body that stops in its middle
    Refused,         // the port no longer takes connections (cannot be undone)
};

// One request as the imitation saw it.
struct TDirectoryRequestLog
{
    std::string path;                              // without the query string
    std::map<std::string, std::string> parameters; // decoded query parameters
    std::string userAgent;
    std::string acceptEncoding;
};

class CDirectoryImitation
{
public:
    explicit CDirectoryImitation(std::vector<TDirectoryEntry> stations = SampleDirectory("http://127.0.0.1:9"));
    ~CDirectoryImitation();
    CDirectoryImitation(const CDirectoryImitation&) = delete;
    CDirectoryImitation& operator=(const CDirectoryImitation&) = delete;

    // "http://127.0.0.1:<port>"
    std::string BaseUrl() const;
    std::uint16_t Port() const;

    // Every later answer (of `onlyPath` alone, when given) shows the fault.
    void SetFault(EDirectoryFault fault, const std::string& onlyPath = "");
    // How long a Slow answer waits.
    void SetSlowDelay(std::chrono::milliseconds delay);

    std::vector<TDirectoryRequestLog> Log() const;
    // Requests of `path` logged so far.
    std::size_t Count(const std::string& path) const;
    bool WaitFor(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) const;

    // The decoded parameters of a request target ("/a?b=c%20d" -> b: "c d").
    static std::map<std::string, std::string> ParseQuery(const std::string& target);

private:
    HttpResponse Answer(const HttpRequest& request);
    HttpResponse Search(const std::map<std::string, std::string>& parameters) const;
    HttpResponse ByUuid(const std::map<std::string, std::string>& parameters) const;
    HttpResponse Click(const std::string& uuid) const;
    HttpResponse CountList(const std::string& path) const;
    HttpResponse Stats() const;

    const std::vector<TDirectoryEntry> stations;
    LocalHttpServer server;

    mutable std::mutex mutex;
    std::condition_variable stopping;
    bool stopped = false;
    EDirectoryFault fault = EDirectoryFault::None;
    std::string faultPath;
    std::chrono::milliseconds slowDelay{3000};
};

} // namespace orvane::test
