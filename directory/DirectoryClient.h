#pragma once

// The station directory client: finds a working directory server and runs
// every request on a worker thread of its own, so the GUI thread never waits
// for the network. A request returns a serial at once; its result is handed
// to the notifier (normally a message posted to a window, DirectoryNotifyWindow)
// and taken by the GUI thread with TakeResult.
//
//     CDirectoryClient directory(DirectoryConfigurationFromSettings(settingsDoc.get()),
//                                DirectoryNotifyWindow(hWnd));
//     searchSerial = directory.Search("音乐", 0);
//     ...
//     case WM_DIRECTORY_RESULT:
//         if (auto result = directory.TakeResult(static_cast<unsigned>(wParam))) ...
//
// Requests come in two lanes. Pages (Search, Browse) are what the user looks
// at: a newer page request cancels the one running and drops one waiting,
// and a cancelled page request reports nothing. Errands (CountClick,
// Refresh, FindMovedStation) are done one after another, in order, after
// any waiting page.
//
// Servers: a configured server (`<directory server="..."/>`) is the only
// one; otherwise the addresses of all.api.radio-browser.info are looked up
// once, turned into names, shuffled, and each candidate is probed with
// /json/stats before use. A request that fails on a server (no answer, an
// error page, an answer that is not JSON) moves on to the next one, which
// is probed first; when every server failed the result says Unreachable and
// the next request starts over from the first. The list is kept for the
// client's life.
//
// Threads: construct, call and destroy on one thread (the GUI thread); the
// notifier runs on the worker. The destructor stops the worker, cancelling
// what it is doing.

#include "directory/DirectoryAnswers.h"
#include "platform/win/Win.h"

#include <tinyxml.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Posted to the window that DirectoryNotifyWindow names when a result is
// ready: wParam is the request's serial, lParam 0.
constexpr UINT WM_DIRECTORY_RESULT = WM_USER + 85; // 1109

// The host whose addresses are the directory's servers.
constexpr const char* kDirectoryLookupHost = "all.api.radio-browser.info";

struct TDirectoryConfiguration
{
    // Base addresses ("http://127.0.0.1:8080") tried in this order; empty
    // means discovery.
    std::vector<std::string> servers;
    // Discovery: the host looked up, how a found name becomes a base address
    // (scheme, and a ":port" for tests), and the ending a name must have to
    // count (a stray host once appeared in the pool); an empty ending takes
    // every name.
    std::string lookupHost = kDirectoryLookupHost;
    std::string scheme = "https";
    std::string port;
    std::string requiredNameEnding = ".radio-browser.info";
    // Sent with every request.
    std::string userAgent;
    std::chrono::milliseconds connectTimeout{5000};
    std::chrono::milliseconds stallTimeout{10000};
    std::chrono::milliseconds totalTimeout{20000};
    TDirectoryLimits limits;
};

// "orvane-radio/<version>"
std::string DirectoryUserAgent();

// The server the settings name: the "server" attribute of the root's first
// "directory" element, an http or https address with a host, trailing '/'
// dropped; "" when there is none (discovery).
std::string ReadDirectoryServer(const TiXmlDocument* settings);

// Most servers the settings may name.
constexpr std::size_t kMostDirectoryServers = 8;

// Every server the settings name, in order: one per "directory" element of
// the root, as ReadDirectoryServer reads one; elements naming none are
// skipped, a server named twice counts once, at most kMostDirectoryServers.
std::vector<std::string> ReadDirectoryServers(const TiXmlDocument* settings);

// The configuration of the program: the settings' servers if named, else
// discovery; our User-Agent.
TDirectoryConfiguration DirectoryConfigurationFromSettings(const TiXmlDocument* settings);

// The base addresses discovery finds: the names of the host's addresses
// (trailing dot removed), each once, in random order, those without the
// required ending and the host's own name left out. When none is left, the
// host itself, the last resort.
std::vector<std::string> DiscoverDirectoryServers(const TDirectoryConfiguration& configuration);

enum class EDirectoryRequest
{
    Search,
    Browse,
    Refresh,
    CountClick,
    FindMovedStation,
};

enum class EDirectoryStatus
{
    Ok,
    Unreachable, // no server answered as a directory server does
    NotFound,    // CountClick: the directory does not know the station
};

struct TDirectoryResult
{
    unsigned serial = 0;
    EDirectoryRequest request = EDirectoryRequest::Search;
    EDirectoryStatus status = EDirectoryStatus::Unreachable;
    // What was asked: the search text or the browse tag, the page.
    std::string text;
    int page = 0;
    // The server that answered.
    std::string server;

    // Search, Browse, Refresh: the stations (for pages deduplicated by
    // stream address, most clicked first).
    std::vector<TDirectoryStation> stations;
    // Search, Browse: a further page may follow.
    bool morePages = false;
    // Browse: the tag row.
    std::vector<std::string> tags;
    // Refresh: the uuids asked for that the directory no longer has.
    std::vector<std::string> missingUuids;
    // FindMovedStation: set when a working station of that name plays from
    // another address (moved.StreamAddress() is the new address).
    bool found = false;
    TDirectoryStation moved;
    // CountClick: the directory's last check of the station passed.
    bool lastCheckOk = false;
};

class CDirectoryClient
{
public:
    // Called on the worker with the serial of a finished request.
    using Notifier = std::function<void(unsigned serial)>;

    CDirectoryClient(TDirectoryConfiguration configuration, Notifier notifier);
    ~CDirectoryClient();
    CDirectoryClient(const CDirectoryClient&) = delete;
    CDirectoryClient& operator=(const CDirectoryClient&) = delete;

    unsigned Search(const std::string& text, int page);
    // The Chinese-language stations, narrowed to `tag` when not empty.
    unsigned Browse(int page, const std::string& tag = "");
    // The stations of these uuids as the directory has them now.
    unsigned Refresh(const std::vector<std::string>& uuids);
    // Tells the directory the user plays the station.
    unsigned CountClick(const std::string& uuid);
    // Looks the station's name up for a working address other than `currentUrl`.
    unsigned FindMovedStation(const std::string& name, const std::string& currentUrl);

    // The finished result of `serial`, handed over once; null when it is not
    // finished, was cancelled, or was taken already.
    std::unique_ptr<TDirectoryResult> TakeResult(unsigned serial);

    // The servers known so far (after discovery), in the order tried.
    std::vector<std::string> KnownServers() const;

private:
    struct TJob
    {
        unsigned serial = 0;
        EDirectoryRequest request = EDirectoryRequest::Search;
        std::string text;
        std::string url;
        int page = 0;
        std::vector<std::string> uuids;
        std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    };
    struct TAnswer;

    unsigned Submit(TJob job);
    static DWORD WorkerProc(void* parameter);
    void Work();
    std::unique_ptr<TDirectoryResult> Run(const TJob& job);
    // GET `path` from the current server, moving on to the next after a
    // failure; false when every server failed or the job was cancelled.
    // `accept` judges the body (and keeps what it read); a body it refuses
    // counts as the server's failure.
    bool Get(const TJob& job, const std::string& path, bool notFoundIsAnswer, TAnswer& answer,
             const std::function<bool(const std::string& body)>& accept);
    bool Probe(const std::string& server, const TJob& job);

    const TDirectoryConfiguration configuration;
    const Notifier notifier;
    HANDLE wake = nullptr;
    HANDLE worker = nullptr;

    mutable std::mutex mutex;
    unsigned nextSerial = 1;
    std::unique_ptr<TJob> waitingPage;
    std::deque<TJob> errands;
    std::shared_ptr<std::atomic<bool>> runningPageCancel;
    std::map<unsigned, std::unique_ptr<TDirectoryResult>> finished;
    // The worker's server list and the one in use; read by KnownServers.
    std::vector<std::string> servers;
    bool discovered = false;
    std::size_t current = 0;
    bool currentProbed = false;
};

// A notifier that posts WM_DIRECTORY_RESULT to `window`.
CDirectoryClient::Notifier DirectoryNotifyWindow(HWND window);
