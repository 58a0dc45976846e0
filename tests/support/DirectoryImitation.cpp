#include "support/DirectoryImitation.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace orvane::test {

namespace {

const char* const kSearchPath = "/json/stations/search";
const char* const kByUuidPath = "/json/stations/byuuid";

std::string Fold(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> SplitList(const std::string& list)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= list.size() && !list.empty()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            items.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

std::string Get(const std::map<std::string, std::string>& parameters, const std::string& key)
{
    const auto found = parameters.find(key);
    return found != parameters.end() ? found->second : std::string();
}

// Only the lower-case word counts; anything else is false, silently.
bool Flag(const std::map<std::string, std::string>& parameters, const std::string& key)
{
    return Get(parameters, key) == "true";
}

// Unsigned 32-bit or the default, silently.
std::size_t Number(const std::map<std::string, std::string>& parameters, const std::string& key, std::size_t fallback)
{
    const std::string text = Get(parameters, key);
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() ? value : fallback;
}

bool Contains(const std::string& haystack, const std::string& needle, bool foldCase)
{
    return foldCase ? Fold(haystack).find(Fold(needle)) != std::string::npos : haystack.find(needle) != std::string::npos;
}

bool ListHas(const std::string& list, const std::string& item, bool foldCase)
{
    for (const std::string& element : SplitList(list)) {
        if (foldCase ? Fold(element) == Fold(item) : element == item)
            return true;
    }
    return false;
}

HttpResponse Json(std::string body)
{
    HttpResponse response;
    response.contentType = "application/json";
    response.headers.push_back({"Access-Control-Allow-Origin", "*"});
    response.body = std::move(body);
    return response;
}

std::string Gzip(const std::string& body)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return body;
    std::string packed(deflateBound(&stream, body.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    stream.avail_in = static_cast<uInt>(body.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return packed;
}

} // namespace

CDirectoryImitation::CDirectoryImitation(std::vector<TDirectoryEntry> entries) : stations(std::move(entries))
{
    const auto handler = [this](const HttpRequest& request) { return Answer(request); };
    for (const char* path : {"/json/stats", kSearchPath, kByUuidPath, "/json/countries", "/json/languages", "/json/tags"})
        server.AddHandler(path, handler);
    for (const TDirectoryEntry& station : stations)
        server.AddHandler("/json/url/" + station.uuid, handler);
}

CDirectoryImitation::~CDirectoryImitation()
{
    {
        std::lock_guard lock(mutex);
        stopped = true;
    }
    stopping.notify_all();
    server.Stop();
}

std::string CDirectoryImitation::BaseUrl() const { return server.BaseUrl(); }
std::uint16_t CDirectoryImitation::Port() const { return server.Port(); }

void CDirectoryImitation::SetFault(EDirectoryFault newFault, const std::string& onlyPath)
{
    {
        std::lock_guard lock(mutex);
        fault = newFault;
        faultPath = onlyPath;
    }
    if (newFault == EDirectoryFault::Refused)
        server.Stop();
}

void CDirectoryImitation::SetSlowDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(mutex);
    slowDelay = delay;
}

std::vector<TDirectoryRequestLog> CDirectoryImitation::Log() const
{
    std::vector<TDirectoryRequestLog> log;
    for (const HttpRequest& request : server.Requests())
        log.push_back({request.path, ParseQuery(request.target), request.Header("User-Agent"),
                       request.Header("Accept-Encoding")});
    return log;
}

std::size_t CDirectoryImitation::Count(const std::string& path) const { return server.RequestCount(path); }

bool CDirectoryImitation::WaitFor(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) const
{
    return server.WaitForRequests(path, count, timeout);
}

std::map<std::string, std::string> CDirectoryImitation::ParseQuery(const std::string& target)
{
    std::map<std::string, std::string> parameters;
    const std::size_t question = target.find('?');
    if (question == std::string::npos)
        return parameters;
    const auto decode = [](const std::string& text) {
        std::string decoded;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '+') {
                decoded += ' ';
            } else if (text[i] == '%' && i + 2 < text.size() &&
                       std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                       std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                decoded += text[i];
            }
        }
        return decoded;
    };
    std::size_t start = question + 1;
    while (start < target.size()) {
        std::size_t end = target.find('&', start);
        if (end == std::string::npos)
            end = target.size();
        const std::string pair = target.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (!pair.empty())
            parameters[decode(pair.substr(0, equals))] = equals == std::string::npos ? "" : decode(pair.substr(equals + 1));
        start = end + 1;
    }
    return parameters;
}

HttpResponse CDirectoryImitation::Answer(const HttpRequest& request)
{
    EDirectoryFault shown = EDirectoryFault::None;
    std::chrono::milliseconds delay{0};
    {
        std::lock_guard lock(mutex);
        if (faultPath.empty() || faultPath == request.path)
            shown = fault;
        delay = slowDelay;
    }
    switch (shown) {
    case EDirectoryFault::EmptyNotFound: {
        HttpResponse response;
        response.status = 404;
        response.contentType = "text/plain";
        return response;
    }
    case EDirectoryFault::PlainTextError: {
        HttpResponse response;
        response.status = 500;
        response.contentType = "text/plain; charset=utf-8";
        response.body = "Database error: Too many connections";
        return response;
    }
    case EDirectoryFault::HtmlUnavailable: {
        HttpResponse response;
        response.status = 503;
        response.contentType = "text/html; charset=iso-8859-1";
        response.body = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head>\n"
                        "<title>503 Service Unavailable</title>\n</head><body>\n<h1>Service Unavailable</h1>\n"
                        "<p>The server is temporarily unable to service your\nrequest due to maintenance downtime "
                        "or capacity\nproblems. Please try again later.</p>\n</body></html>\n";
        return response;
    }
    case EDirectoryFault::Slow: {
        std::unique_lock lock(mutex);
        if (stopping.wait_for(lock, delay, [this] { return stopped; }))
            return HttpResponse{};
        break;
    }
    default:
        break;
    }

    const std::map<std::string, std::string> parameters = ParseQuery(request.target);
    HttpResponse response;
    if (request.path == "/json/stats")
        response = Stats();
    else if (request.path == kSearchPath)
        response = Search(parameters);
    else if (request.path == kByUuidPath)
        response = ByUuid(parameters);
    else if (request.path.rfind("/json/url/", 0) == 0)
        response = Click(request.path.substr(10));
    else
        response = CountList(request.path);

    if (shown == EDirectoryFault::CutJson && response.status == 200)
        response.body.resize(response.body.size() / 2);
    if (response.status == 200 && request.Header("Accept-Encoding").find("gzip") != std::string::npos) {
        response.body = Gzip(response.body);
        response.headers.push_back({"Content-Encoding", "gzip"});
    }
    return response;
}

HttpResponse CDirectoryImitation::Stats() const
{
    std::size_t broken = 0;
    for (const TDirectoryEntry& station : stations)
        broken += station.lastCheckOk == 0;
    return Json("{\"supported_version\":1,\"software_version\":\"0.7.24\",\"status\":\"OK\",\"stations\":" +
                std::to_string(stations.size() - broken) + ",\"stations_broken\":" + std::to_string(broken) +
                ",\"tags\":40,\"clicks_last_hour\":12,\"clicks_last_day\":300,\"languages\":9,\"countries\":5}");
}

HttpResponse CDirectoryImitation::Search(const std::map<std::string, std::string>& p) const
{
    std::vector<const TDirectoryEntry*> found;
    for (const TDirectoryEntry& station : stations) {
        if (p.count("name") && !(Flag(p, "nameExact") ? Fold(station.name) == Fold(Get(p, "name"))
                                                      : Contains(station.name, Get(p, "name"), true)))
            continue;
        if (p.count("countrycode") && Fold(station.countryCode) != Fold(Get(p, "countrycode")))
            continue;
        if (p.count("language") && !(Flag(p, "languageExact") ? ListHas(station.language, Get(p, "language"), true)
                                                              : Contains(station.language, Get(p, "language"), true)))
            continue;
        if (p.count("tag") && !(Flag(p, "tagExact") ? ListHas(station.tags, Get(p, "tag"), false)
                                                    : Contains(station.tags, Get(p, "tag"), false)))
            continue;
        if (Flag(p, "hidebroken") && station.lastCheckOk != 1)
            continue;
        found.push_back(&station);
    }
    const std::string order = Get(p, "order");
    const auto key = [&](const TDirectoryEntry* a, const TDirectoryEntry* b) {
        if (order == "clickcount")
            return a->clickCount < b->clickCount;
        if (order == "votes")
            return a->votes < b->votes;
        if (order == "bitrate")
            return a->bitrate < b->bitrate;
        return Fold(a->name) < Fold(b->name); // "name", and any order it does not know
    };
    std::stable_sort(found.begin(), found.end(), key);
    if (Flag(p, "reverse"))
        std::reverse(found.begin(), found.end());
    const std::size_t offset = std::min(Number(p, "offset", 0), found.size());
    const std::size_t limit = Number(p, "limit", 999999);
    std::vector<TDirectoryEntry> page;
    for (std::size_t i = offset; i < found.size() && page.size() < limit; ++i)
        page.push_back(*found[i]);
    return Json(StationListJson(page));
}

HttpResponse CDirectoryImitation::ByUuid(const std::map<std::string, std::string>& p) const
{
    std::vector<std::string> wanted;
    for (const std::string& uuid : SplitList(Get(p, "uuids")))
        wanted.push_back(Fold(uuid));
    std::vector<TDirectoryEntry> page;
    for (const TDirectoryEntry& station : stations) {
        if (std::find(wanted.begin(), wanted.end(), station.uuid) != wanted.end())
            page.push_back(station);
    }
    return Json(StationListJson(page));
}

HttpResponse CDirectoryImitation::Click(const std::string& uuid) const
{
    for (const TDirectoryEntry& station : stations) {
        if (station.uuid == uuid)
            return Json(std::string("{\"ok\":") + (station.lastCheckOk ? "true" : "false") +
                        ",\"message\":\"retrieved station url\",\"stationuuid\":" + JsonQuoted(station.uuid) +
                        ",\"name\":" + JsonQuoted(station.name) + ",\"url\":" + JsonQuoted(station.urlResolved) + "}");
    }
    HttpResponse response;
    response.status = 404;
    return response;
}

HttpResponse CDirectoryImitation::CountList(const std::string& path) const
{
    std::map<std::string, std::pair<std::string, int>> counts; // key -> (second field, count)
    for (const TDirectoryEntry& station : stations) {
        if (path == "/json/countries") {
            if (!station.countryCode.empty())
                counts[station.countryCode] = {station.country, counts[station.countryCode].second + 1};
        } else {
            for (const std::string& item : SplitList(path == "/json/tags" ? station.tags : station.language))
                counts[item].second += 1;
        }
    }
    std::string json = "[";
    for (const auto& [key, value] : counts) {
        if (json.size() > 1)
            json += ",";
        if (path == "/json/countries")
            json += "{\"name\":" + JsonQuoted(value.first) + ",\"iso_3166_1\":" + JsonQuoted(key);
        else if (path == "/json/languages")
            json += "{\"name\":" + JsonQuoted(key) + ",\"iso_639\":null";
        else
            json += "{\"name\":" + JsonQuoted(key);
        json += ",\"stationcount\":" + std::to_string(value.second) + "}";
    }
    return Json(json + "]");
}

} // namespace orvane::test
