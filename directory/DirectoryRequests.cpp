#include "directory/DirectoryRequests.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <unordered_set>

namespace {

// Query parameters every station list shares: broken stations hidden, most
// clicked first, one page.
std::string PageParameters(int page)
{
    return "&hidebroken=true&order=clickcount&reverse=true&limit=" + std::to_string(kDirectoryPageSize) +
           "&offset=" + std::to_string(std::max(page, 0) * kDirectoryPageSize);
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The host of an address with its port, in lower case ("radio.example:8000");
// "" when the address names none.
std::string HostOf(const std::string& url)
{
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return "";
    const std::size_t start = scheme + 3;
    std::size_t end = url.find_first_of("/?#", start);
    if (end == std::string::npos)
        end = url.size();
    std::string host = url.substr(start, end - start);
    // Credentials are no part of where a stream lives.
    if (const std::size_t at = host.rfind('@'); at != std::string::npos)
        host.erase(0, at + 1);
    return Lower(host);
}

} // namespace

std::string PercentEncode(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

std::string SearchPath(const std::string& text, int page)
{
    return "/json/stations/search?name=" + PercentEncode(text) + PageParameters(page);
}

std::vector<std::string> BrowsePaths(int page, const std::string& tag)
{
    static const char* const kCountryCodes[] = {"CN", "HK", "TW", "MO"};
    static const char* const kLanguages[] = {"chinese", "mandarin", "cantonese"};
    // Tags are stored in lower case and compared exactly.
    const std::string tagParameters = tag.empty() ? "" : "&tag=" + PercentEncode(Lower(tag)) + "&tagExact=true";
    std::vector<std::string> paths;
    for (const char* code : kCountryCodes)
        paths.push_back(std::string("/json/stations/search?countrycode=") + code + tagParameters + PageParameters(page));
    for (const char* language : kLanguages)
        paths.push_back(std::string("/json/stations/search?language=") + language + tagParameters + PageParameters(page));
    return paths;
}

std::vector<TDirectoryStation> MergeBrowsePages(const std::vector<std::vector<TDirectoryStation>>& answers)
{
    std::vector<TDirectoryStation> merged;
    std::unordered_set<std::string> uuids;
    for (const auto& answer : answers) {
        for (const TDirectoryStation& station : answer) {
            if (station.uuid.empty() || uuids.insert(station.uuid).second)
                merged.push_back(station);
        }
    }
    std::stable_sort(merged.begin(), merged.end(), [](const TDirectoryStation& a, const TDirectoryStation& b) {
        return a.clickCount > b.clickCount;
    });
    return DedupeByStreamAddress(std::move(merged));
}

std::vector<std::string> CommonTags(const std::vector<TDirectoryStation>& stations, std::size_t count)
{
    std::map<std::string, std::size_t> counts;
    std::vector<std::string> order; // first appearance breaks ties
    for (const TDirectoryStation& station : stations) {
        std::size_t start = 0;
        while (start <= station.tags.size()) {
            std::size_t end = station.tags.find(',', start);
            if (end == std::string::npos)
                end = station.tags.size();
            std::string tag = Lower(station.tags.substr(start, end - start));
            tag.erase(0, tag.find_first_not_of(' '));
            tag.erase(tag.find_last_not_of(' ') + 1);
            if (!tag.empty() && counts[tag]++ == 0)
                order.push_back(tag);
            start = end + 1;
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](const std::string& a, const std::string& b) { return counts[a] > counts[b]; });
    if (order.size() > count)
        order.resize(count);
    return order;
}

std::string ByUuidPath(const std::vector<std::string>& uuids)
{
    std::string list;
    for (const std::string& uuid : uuids) {
        if (!list.empty())
            list += ',';
        list += PercentEncode(Lower(uuid));
    }
    return "/json/stations/byuuid?uuids=" + list;
}

std::string ClickPath(const std::string& uuid)
{
    return "/json/url/" + PercentEncode(Lower(uuid));
}

std::string ExactNamePath(const std::string& name)
{
    return "/json/stations/search?name=" + PercentEncode(name) + "&nameExact=true&hidebroken=true"
           "&order=clickcount&reverse=true&limit=20";
}

const TDirectoryStation* PickMovedStation(const std::vector<TDirectoryStation>& found, const std::string& currentUrl)
{
    // The directory still lists our address as a working station: the
    // station did not move, it failed here (a blocked or a busy stream), and
    // another station of the same name is not what the user chose.
    for (const TDirectoryStation& station : found) {
        if (station.url == currentUrl || station.urlResolved == currentUrl)
            return nullptr;
    }
    // A common name ("音乐台", "交通广播") is listed by several broadcasters.
    // A station that moved within its own server (a new mount, a new path)
    // is the likeliest to be ours, so one on our host comes first; otherwise
    // the most clicked, as the answer is ordered.
    const std::string currentHost = HostOf(currentUrl);
    const TDirectoryStation* first = nullptr;
    for (const TDirectoryStation& station : found) {
        if (!station.lastCheckOk || station.StreamAddress().empty())
            continue;
        if (!currentHost.empty() && (HostOf(station.url) == currentHost || HostOf(station.urlResolved) == currentHost))
            return &station;
        if (first == nullptr)
            first = &station;
    }
    return first;
}
