// The directory client's worker: server discovery and probing, the requests
// and their results. The public calls run on the GUI thread and only queue;
// Work() and everything it calls run on the worker.

#include "directory/DirectoryClient.h"

#include "directory/DirectoryRequests.h"
#include "platform/inet/HostNames.h"
#include "platform/inet/HttpGet.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <set>

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "0"
#endif

namespace {

// Results kept for the GUI thread to take; past this the oldest go (a
// click's result nobody asks for must not pile up).
constexpr std::size_t kKeptResults = 64;
// Uuids asked for in one byuuid request: a longer address than this makes
// (about 3.7 KB) is refused by some servers' proxies.
constexpr std::size_t kUuidsPerRequest = 100;

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    const std::size_t length = std::char_traits<char>::length(prefix);
    if (text.size() < length)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

bool EndsWithNoCase(const std::string& text, const std::string& ending)
{
    if (text.size() < ending.size())
        return false;
    for (std::size_t i = 0; i < ending.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[text.size() - ending.size() + i])) !=
            std::tolower(static_cast<unsigned char>(ending[i])))
            return false;
    }
    return true;
}

bool IsPageRequest(EDirectoryRequest request)
{
    return request == EDirectoryRequest::Search || request == EDirectoryRequest::Browse;
}

bool LooksLikeJson(const HttpGetResult& answer)
{
    return answer.contentType.empty() || answer.contentType.find("json") != std::string::npos;
}

} // namespace

struct CDirectoryClient::TAnswer
{
    long httpStatus = 0;
    std::string server;
};

std::string DirectoryUserAgent()
{
    return std::string("orvane-radio/") + ORVANE_VERSION;
}

namespace {

// The element's server as a base address, or "" when it names none.
std::string ServerOf(const TiXmlElement* directory)
{
    const char* server = directory != nullptr ? directory->Attribute("server") : nullptr;
    std::string address = server != nullptr ? server : "";
    while (!address.empty() && address.back() == '/')
        address.pop_back();
    std::size_t scheme = 0;
    if (StartsWithNoCase(address, "http://"))
        scheme = 7;
    else if (StartsWithNoCase(address, "https://"))
        scheme = 8;
    if (scheme == 0)
        return {};
    // A host: something before the first ':' or '/' after the scheme and any user part.
    std::string authority = address.substr(scheme, address.find_first_of("/?#", scheme) - scheme);
    authority = authority.substr(authority.rfind('@') == std::string::npos ? 0 : authority.rfind('@') + 1);
    if (authority.empty() || authority[0] == ':')
        return {};
    return address;
}

} // namespace

std::string ReadDirectoryServer(const TiXmlDocument* settings)
{
    const TiXmlElement* root = settings != nullptr ? settings->RootElement() : nullptr;
    return ServerOf(root != nullptr ? root->FirstChildElement("directory") : nullptr);
}

std::vector<std::string> ReadDirectoryServers(const TiXmlDocument* settings)
{
    std::vector<std::string> servers;
    const TiXmlElement* root = settings != nullptr ? settings->RootElement() : nullptr;
    for (const TiXmlElement* directory = root != nullptr ? root->FirstChildElement("directory") : nullptr;
         directory != nullptr && servers.size() < kMostDirectoryServers;
         directory = directory->NextSiblingElement("directory")) {
        const std::string server = ServerOf(directory);
        if (!server.empty() && std::find(servers.begin(), servers.end(), server) == servers.end())
            servers.push_back(server);
    }
    return servers;
}

TDirectoryConfiguration DirectoryConfigurationFromSettings(const TiXmlDocument* settings)
{
    TDirectoryConfiguration configuration;
    configuration.servers = ReadDirectoryServers(settings);
    configuration.userAgent = DirectoryUserAgent();
    return configuration;
}

std::vector<std::string> DiscoverDirectoryServers(const TDirectoryConfiguration& configuration)
{
    const std::string portPart = configuration.port.empty() ? "" : ":" + configuration.port;
    std::vector<std::string> addresses = LookUpHostAddresses(configuration.lookupHost);
    std::shuffle(addresses.begin(), addresses.end(), std::mt19937(std::random_device()()));
    std::vector<std::string> servers;
    std::set<std::string> names;
    for (const std::string& address : addresses) {
        std::string name = LookUpAddressName(address);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        // The pool's own name would bring a certificate of one of its members.
        if (name.empty() || EndsWithNoCase(name, configuration.lookupHost) ||
            !EndsWithNoCase(name, configuration.requiredNameEnding) || !names.insert(name).second)
            continue;
        servers.push_back(configuration.scheme + "://" + name + portPart);
    }
    if (servers.empty())
        servers.push_back(configuration.scheme + "://" + configuration.lookupHost + portPart);
    return servers;
}

CDirectoryClient::CDirectoryClient(TDirectoryConfiguration configuration, Notifier notifier)
    : configuration(std::move(configuration)), notifier(std::move(notifier))
{
    wake = ::CreateEvent(FALSE, FALSE);
    worker = ::CreateThread(&CDirectoryClient::WorkerProc, this);
}

CDirectoryClient::~CDirectoryClient()
{
    ::StopThread(worker);
    ::CloseHandle(wake);
}

unsigned CDirectoryClient::Search(const std::string& text, int page)
{
    TJob job;
    job.request = EDirectoryRequest::Search;
    job.text = text;
    job.page = page;
    return Submit(std::move(job));
}

unsigned CDirectoryClient::Browse(int page, const std::string& tag)
{
    TJob job;
    job.request = EDirectoryRequest::Browse;
    job.text = tag;
    job.page = page;
    return Submit(std::move(job));
}

unsigned CDirectoryClient::Refresh(const std::vector<std::string>& uuids)
{
    TJob job;
    job.request = EDirectoryRequest::Refresh;
    job.uuids = uuids;
    return Submit(std::move(job));
}

unsigned CDirectoryClient::CountClick(const std::string& uuid)
{
    TJob job;
    job.request = EDirectoryRequest::CountClick;
    job.text = uuid;
    return Submit(std::move(job));
}

unsigned CDirectoryClient::FindMovedStation(const std::string& name, const std::string& currentUrl)
{
    TJob job;
    job.request = EDirectoryRequest::FindMovedStation;
    job.text = name;
    job.url = currentUrl;
    return Submit(std::move(job));
}

std::unique_ptr<TDirectoryResult> CDirectoryClient::TakeResult(unsigned serial)
{
    std::lock_guard lock(mutex);
    const auto found = finished.find(serial);
    if (found == finished.end())
        return nullptr;
    std::unique_ptr<TDirectoryResult> result = std::move(found->second);
    finished.erase(found);
    return result;
}

std::vector<std::string> CDirectoryClient::KnownServers() const
{
    std::lock_guard lock(mutex);
    return servers;
}

unsigned CDirectoryClient::Submit(TJob job)
{
    unsigned serial = 0;
    {
        std::lock_guard lock(mutex);
        serial = job.serial = nextSerial++;
        if (IsPageRequest(job.request)) {
            // The user asked for another page: the one being fetched and the
            // one waiting are no longer wanted.
            if (runningPageCancel)
                runningPageCancel->store(true);
            waitingPage = std::make_unique<TJob>(std::move(job));
        } else {
            errands.push_back(std::move(job));
        }
    }
    ::SetEvent(wake);
    return serial;
}

DWORD CDirectoryClient::WorkerProc(void* parameter)
{
    static_cast<CDirectoryClient*>(parameter)->Work();
    return 0;
}

void CDirectoryClient::Work()
{
    while (::WaitForSingleObject(wake, INFINITE) == WAIT_OBJECT_0) {
        for (;;) {
            TJob job;
            {
                std::lock_guard lock(mutex);
                if (waitingPage) {
                    job = std::move(*waitingPage);
                    waitingPage.reset();
                    runningPageCancel = job.cancel;
                } else if (!errands.empty()) {
                    job = std::move(errands.front());
                    errands.pop_front();
                } else {
                    break;
                }
            }
            std::unique_ptr<TDirectoryResult> result = Run(job);
            if (::IsStopRequested())
                return;
            {
                std::lock_guard lock(mutex);
                if (runningPageCancel == job.cancel)
                    runningPageCancel.reset();
                if (job.cancel->load() || !result)
                    continue;
                finished[job.serial] = std::move(result);
                while (finished.size() > kKeptResults)
                    finished.erase(finished.begin());
            }
            if (notifier)
                notifier(job.serial);
        }
    }
}

bool CDirectoryClient::Probe(const std::string& server, const TJob& job)
{
    HttpGetOptions options;
    options.userAgent = configuration.userAgent;
    options.connectTimeout = configuration.connectTimeout;
    options.stallTimeout = configuration.stallTimeout;
    options.totalTimeout = configuration.totalTimeout;
    options.maxBodyBytes = 64 * 1024;
    options.cancel = job.cancel.get();
    const HttpGetResult answer = HttpGet(server + "/json/stats", options);
    return answer.Succeeded() && LooksLikeJson(answer) && ReadStatsAnswer(answer.body);
}

bool CDirectoryClient::Get(const TJob& job, const std::string& path, bool notFoundIsAnswer, TAnswer& answer,
                           const std::function<bool(const std::string& body)>& accept)
{
    if (!discovered) {
        std::vector<std::string> found =
            configuration.servers.empty() ? DiscoverDirectoryServers(configuration) : configuration.servers;
        std::lock_guard lock(mutex);
        servers = std::move(found);
        discovered = true;
        current = 0;
        currentProbed = false;
    }
    HttpGetOptions options;
    options.userAgent = configuration.userAgent;
    options.connectTimeout = configuration.connectTimeout;
    options.stallTimeout = configuration.stallTimeout;
    options.totalTimeout = configuration.totalTimeout;
    options.maxBodyBytes = static_cast<std::int64_t>(configuration.limits.maxBodyBytes);
    options.cancel = job.cancel.get();

    const std::size_t count = servers.size();
    for (std::size_t tried = 0; tried < count; ++tried) {
        if (job.cancel->load() || ::IsStopRequested())
            return false;
        const std::string& server = servers[current];
        bool usable = currentProbed || Probe(server, job);
        if (usable) {
            currentProbed = true;
            const HttpGetResult got = HttpGet(server + path, options);
            if (got.status == DownloadStatus::Cancelled)
                return false;
            answer.httpStatus = got.httpStatus;
            answer.server = server;
            if (notFoundIsAnswer && got.status == DownloadStatus::HttpError && got.httpStatus == 404)
                return true;
            if (got.Succeeded() && LooksLikeJson(got) && accept(got.body))
                return true;
        }
        // A cancelled probe says nothing about the server.
        if (job.cancel->load() || ::IsStopRequested())
            return false;
        current = (current + 1) % count;
        currentProbed = false;
    }
    // Every server failed: the next request begins again with the first.
    current = 0;
    currentProbed = false;
    return false;
}

std::unique_ptr<TDirectoryResult> CDirectoryClient::Run(const TJob& job)
{
    auto result = std::make_unique<TDirectoryResult>();
    result->serial = job.serial;
    result->request = job.request;
    result->text = job.text;
    result->page = job.page;
    TAnswer answer;
    TStationList list;
    const auto acceptList = [&](const std::string& body) {
        list = ReadStationList(body, configuration.limits);
        return list.status == EAnswerStatus::Ok;
    };

    switch (job.request) {
    case EDirectoryRequest::Search:
        if (!Get(job, SearchPath(job.text, job.page), false, answer, acceptList))
            return job.cancel->load() ? nullptr : std::move(result);
        result->stations = DedupeByStreamAddress(std::move(list.stations));
        result->morePages = list.received >= static_cast<std::size_t>(kDirectoryPageSize);
        break;
    case EDirectoryRequest::Browse: {
        std::vector<std::vector<TDirectoryStation>> answers;
        for (const std::string& path : BrowsePaths(job.page, job.text)) {
            if (!Get(job, path, false, answer, acceptList))
                return job.cancel->load() ? nullptr : std::move(result);
            result->morePages = result->morePages || list.received >= static_cast<std::size_t>(kDirectoryPageSize);
            answers.push_back(std::move(list.stations));
        }
        result->stations = MergeBrowsePages(answers);
        result->tags = CommonTags(result->stations, 16);
        break;
    }
    case EDirectoryRequest::Refresh: {
        std::set<std::string> present;
        for (std::size_t start = 0; start < job.uuids.size(); start += kUuidsPerRequest) {
            const std::vector<std::string> chunk(
                job.uuids.begin() + static_cast<std::ptrdiff_t>(start),
                job.uuids.begin() + static_cast<std::ptrdiff_t>(std::min(job.uuids.size(), start + kUuidsPerRequest)));
            if (!Get(job, ByUuidPath(chunk), false, answer, acceptList))
                return result;
            for (TDirectoryStation& station : list.stations) {
                present.insert(station.uuid);
                result->stations.push_back(std::move(station));
            }
        }
        for (const std::string& uuid : job.uuids) {
            std::string lower = uuid;
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (!present.count(lower))
                result->missingUuids.push_back(uuid);
        }
        break;
    }
    case EDirectoryRequest::CountClick: {
        TClickAnswer click;
        const auto acceptClick = [&](const std::string& body) {
            click = ReadClickAnswer(body);
            return click.counted;
        };
        if (!Get(job, ClickPath(job.text), true, answer, acceptClick))
            return result;
        if (answer.httpStatus == 404) {
            result->server = answer.server;
            result->status = EDirectoryStatus::NotFound;
            return result;
        }
        result->lastCheckOk = click.ok;
        break;
    }
    case EDirectoryRequest::FindMovedStation:
        if (!Get(job, ExactNamePath(job.text), false, answer, acceptList))
            return result;
        if (const TDirectoryStation* moved = PickMovedStation(list.stations, job.url)) {
            result->found = true;
            result->moved = *moved;
        }
        break;
    }
    result->server = answer.server;
    result->status = EDirectoryStatus::Ok;
    return result;
}

CDirectoryClient::Notifier DirectoryNotifyWindow(HWND window)
{
    return [window](unsigned serial) { ::PostMessage(window, WM_DIRECTORY_RESULT, serial, 0); };
}
