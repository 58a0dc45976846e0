// Reading station lists of other programs and servers, writing M3U, and
// judging station addresses.
//
// What is where: addresses (IsStationAddress, HostOf) first, then the text
// helpers, then one reader per kind (M3U, PLS, XSPF, Goodvibes, Radiotray-NG),
// then the kind detection and the M3U writer.

#include "catalogue/StationImport.h"

#include "catalogue/StationText.h"
#include "catalogue/TextEncoding.h"
#include "catalogue/XmlFile.h"

#include <nlohmann/json.hpp>
#include <tinyxml.h>

#include <map>
#include <unordered_set>

namespace {

// Largest station file read, in bytes. Real playlists and bookmark files are
// a few kilobytes; anything near this is not a list of stations.
constexpr std::size_t kMaxStationFileBytes = 4 * 1024 * 1024;
// Longest address taken, in bytes.
constexpr std::size_t kMaxAddressBytes = 8 * 1024;

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' || ch == '\v';
}

char LowerAscii(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

std::string LowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& ch : lower)
        ch = LowerAscii(ch);
    return lower;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && LowerAscii(text.substr(0, prefix.size())) == LowerAscii(prefix);
}

// The parts of "scheme://userinfo@host:port/path" an address is judged by.
struct TAddressParts
{
    std::string_view scheme;
    std::string_view host; // without brackets of an IPv6 literal
    std::string_view port; // digits as written, maybe empty
    bool hasPort = false;
    bool bracketed = false; // an IPv6 literal
    bool bracketsClosed = true;
};

bool SplitAddress(std::string_view url, TAddressParts* parts)
{
    const std::size_t separator = url.find("://");
    if (separator == std::string_view::npos || separator == 0)
        return false;
    parts->scheme = url.substr(0, separator);
    std::string_view authority = url.substr(separator + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == '[') {
        parts->bracketed = true;
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            parts->bracketsClosed = false;
            parts->host = authority.substr(1);
            return true;
        }
        parts->host = authority.substr(1, close - 1);
        authority.remove_prefix(close + 1);
        if (!authority.empty()) {
            parts->hasPort = true;
            // Text after the bracket that does not start a port is no port.
            parts->port = authority.front() == ':' ? authority.substr(1) : std::string_view("x");
        }
        return true;
    }
    const std::size_t colon = authority.find(':');
    parts->host = authority.substr(0, colon);
    if (colon != std::string_view::npos) {
        parts->hasPort = true;
        parts->port = authority.substr(colon + 1);
    }
    return true;
}

bool IsValidPort(std::string_view port)
{
    if (port.empty())
        return true; // "http://host:/" names the scheme's own port
    if (port.size() > 5)
        return false;
    int value = 0;
    for (const char ch : port) {
        if (ch < '0' || ch > '9')
            return false;
        value = value * 10 + (ch - '0');
    }
    return value >= 1 && value <= 65535;
}

bool IsHostCharacter(char ch)
{
    const auto byte = static_cast<unsigned char>(ch);
    return byte >= 0x80 || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           ch == '-' || ch == '.' || ch == '_' || ch == '%' || ch == '~';
}

bool IsIpv6Character(char ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F') || ch == ':' ||
           ch == '.' || ch == '%' || ch == '_' || (ch >= 'g' && ch <= 'z'); // zone ids: "fe80::1%eth0"
}

bool Fail(std::string* whyNot, const char* reason)
{
    if (whyNot != nullptr)
        *whyNot = reason;
    return false;
}

} // namespace

std::string_view TrimmedText(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string CleanStationName(std::string_view name)
{
    std::string text = ToUtf8(name.substr(0, 4 * kMaxStationNameBytes));
    for (char& ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F)
            ch = ' ';
    }
    std::string_view trimmed = TrimmedText(text);
    if (trimmed.size() > kMaxStationNameBytes) {
        std::size_t end = kMaxStationNameBytes;
        while (end > 0 && (static_cast<unsigned char>(trimmed[end]) & 0xC0) == 0x80)
            --end; // never half a character
        trimmed = TrimmedText(trimmed.substr(0, end));
    }
    return std::string(trimmed);
}

std::string StationNameFor(std::string_view name, std::string_view url)
{
    std::string cleaned = CleanStationName(name);
    if (cleaned.empty())
        cleaned = CleanStationName(HostOf(url));
    return cleaned.empty() ? CleanStationName(url) : cleaned; // a host of dots alone names nothing
}

bool IsStationAddress(std::string_view input, std::string* whyNot)
{
    const std::string_view url = TrimmedText(input);
    if (url.empty())
        return Fail(whyNot, "请输入电台地址。");
    if (url.size() > kMaxAddressBytes)
        return Fail(whyNot, "地址太长。");
    if (!IsValidUtf8(url))
        return Fail(whyNot, "地址中有无法识别的字符。");
    for (const char ch : url) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte <= 0x20 || byte == 0x7F)
            return Fail(whyNot, "地址中不能有空格或控制字符。");
    }
    TAddressParts parts;
    if (!SplitAddress(url, &parts) || (LowerAscii(parts.scheme) != "http" && LowerAscii(parts.scheme) != "https"))
        return Fail(whyNot, "地址须以 http:// 或 https:// 开头。");
    for (const char ch : url) {
        // Characters a real address always escapes; a quote would also end
        // the attribute value the pages put the address in.
        if (ch == '"' || ch == '<' || ch == '>' || ch == '\\' || ch == '^' || ch == '`' || ch == '{' ||
            ch == '|' || ch == '}')
            return Fail(whyNot, "地址中有不允许的字符（如引号、尖括号或反斜杠）。");
    }
    if (!parts.bracketsClosed)
        return Fail(whyNot, "地址中的 IPv6 主机名缺少“]”。");
    if (parts.host.empty())
        return Fail(whyNot, "地址中缺少主机名。");
    bool named = false;
    for (const char ch : parts.host) {
        if (parts.bracketed ? !IsIpv6Character(ch) : !IsHostCharacter(ch))
            return Fail(whyNot, "主机名中有不允许的字符。");
        named = named || ch != '.';
    }
    if (!named)
        return Fail(whyNot, "地址中缺少主机名。");
    if (parts.hasPort && !IsValidPort(parts.port))
        return Fail(whyNot, "端口号无效（应为 1 到 65535）。");
    if (whyNot != nullptr)
        whyNot->clear();
    return true;
}

std::string HostOf(std::string_view input)
{
    const std::string_view url = TrimmedText(input);
    TAddressParts parts;
    if (url.size() > kMaxAddressBytes || !SplitAddress(url, &parts) || !parts.bracketsClosed)
        return {};
    std::string_view host = parts.host;
    while (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    for (const char ch : host) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte <= 0x20 || byte == 0x7F)
            return {};
    }
    return LowerAscii(host);
}

namespace {

// The stations of one file: addresses checked, each taken once, at most
// kMaxMyStations of them.
class CStationCollector
{
public:
    void Add(std::string_view name, std::string_view url)
    {
        TMyStation station;
        station.url = std::string(TrimmedText(url));
        if (stations.size() >= kMaxMyStations || !IsStationAddress(station.url, nullptr) ||
            !seen.insert(station.url).second)
            return;
        station.name = StationNameFor(name, station.url);
        stations.push_back(std::move(station));
    }
    bool Full() const { return stations.size() >= kMaxMyStations; }
    std::vector<TMyStation> Take() { return std::move(stations); }

private:
    std::vector<TMyStation> stations;
    std::unordered_set<std::string> seen;
};

// UTF-16 text (a playlist saved as "Unicode" by a Windows editor) as UTF-8;
// a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::string text;
    auto unit = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? static_cast<char32_t>(first << 8 | second) : static_cast<char32_t>(second << 8 | first);
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t code = unit(i);
        if (code >= 0xD800 && code <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            text += static_cast<char>(0xE0 | (code >> 12));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (code >> 18));
            text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

// A text file's bytes as UTF-8 without a byte-order mark: UTF-16 by its mark,
// otherwise the data-file rule (valid UTF-8 stays, anything else is GBK).
std::string TextAsUtf8(std::string_view bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        return Utf16ToUtf8(bytes.substr(2), false);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF)
        return Utf16ToUtf8(bytes.substr(2), true);
    std::string text = ToUtf8(bytes);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    return text;
}

// Lines ended by CR, LF or CRLF.
template <typename Visit> void ForEachLine(std::string_view text, Visit visit)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        visit(TrimmedText(text.substr(start, end - start)));
        start = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
            ++start;
    }
}

// "http://host:8000/ sid=8" and the like: an address holds no blank.
std::string_view CutAtBlank(std::string_view entry)
{
    const std::size_t blank = entry.find_first_of(" \t");
    return blank == std::string_view::npos ? entry : entry.substr(0, blank);
}

// The title of "#EXTINF:-1 tvg-name="a,b" group-title="x",Title": the text
// after the first comma outside quotes.
std::string_view ExtinfTitle(std::string_view line)
{
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ',' && !quoted)
            return TrimmedText(line.substr(i + 1));
    }
    return {};
}

std::vector<TMyStation> ReadM3u(std::string_view bytes)
{
    const std::string text = TextAsUtf8(bytes);
    CStationCollector stations;
    std::string pendingName;
    bool mediaPlaylist = false;
    ForEachLine(text, [&](std::string_view line) {
        if (line.empty())
            return;
        if (line.front() == '#') {
            if (StartsWithNoCase(line, "#EXT-X-TARGETDURATION"))
                mediaPlaylist = true;
            else if (StartsWithNoCase(line, "#EXTINF:"))
                pendingName = std::string(ExtinfTitle(line));
            return; // other directives (#EXTM3U, #EXTVLCOPT...) keep the pending title
        }
        stations.Add(pendingName, CutAtBlank(line));
        pendingName.clear();
    });
    // A media playlist of HLS segments lists pieces of one stream, not
    // stations: the address of the playlist itself is the station.
    if (mediaPlaylist)
        return {};
    return stations.Take();
}

// The number N of a "FileN" or "TitleN" key, or -1.
long KeyNumber(std::string_view key, std::string_view stem)
{
    if (key.size() <= stem.size() || key.size() > stem.size() + 9 || LowerAscii(key.substr(0, stem.size())) != stem)
        return -1;
    long number = 0;
    for (const char ch : key.substr(stem.size())) {
        if (ch < '0' || ch > '9')
            return -1;
        number = number * 10 + (ch - '0');
    }
    return number;
}

// Shoutcast directories title their playlists "(#1 - 41/500) Station": the
// rank and listener count are no part of the station's name.
std::string_view WithoutListenerCount(std::string_view title)
{
    if (title.size() < 4 || title.substr(0, 2) != "(#")
        return title;
    const std::size_t close = title.find(')');
    if (close == std::string_view::npos || close > 40)
        return title;
    for (const char ch : title.substr(2, close - 2)) {
        if (!((ch >= '0' && ch <= '9') || ch == ' ' || ch == '-' || ch == '/'))
            return title;
    }
    return TrimmedText(title.substr(close + 1));
}

std::vector<TMyStation> ReadPls(std::string_view bytes)
{
    const std::string text = TextAsUtf8(bytes);
    std::map<long, std::string_view> files;
    std::map<long, std::string_view> titles;
    ForEachLine(text, [&](std::string_view line) {
        const std::size_t equals = line.find('=');
        if (line.empty() || line.front() == '[' || equals == std::string_view::npos)
            return;
        const std::string_view key = TrimmedText(line.substr(0, equals));
        const std::string_view value = TrimmedText(line.substr(equals + 1));
        if (const long number = KeyNumber(key, "file"); number >= 0 && files.size() < kMaxMyStations)
            files.emplace(number, CutAtBlank(value)); // the first of two equal keys wins
        else if (const long title = KeyNumber(key, "title"); title >= 0 && titles.size() < kMaxMyStations)
            titles.emplace(title, value);
    });
    CStationCollector stations;
    for (const auto& [number, url] : files) {
        const auto title = titles.find(number);
        stations.Add(title != titles.end() ? WithoutListenerCount(title->second) : std::string_view(), url);
    }
    return stations.Take();
}

// The name of an element without a namespace prefix.
std::string_view LocalName(const TiXmlElement* element)
{
    std::string_view name = element->Value();
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool IsNamed(const TiXmlElement* element, std::string_view name)
{
    return element != nullptr && LowerAscii(LocalName(element)) == LowerAscii(name);
}

const TiXmlElement* ChildNamed(const TiXmlElement* parent, std::string_view name)
{
    for (const TiXmlElement* child = parent->FirstChildElement(); child != nullptr; child = child->NextSiblingElement()) {
        if (IsNamed(child, name))
            return child;
    }
    return nullptr;
}

// The text directly inside an element (its text and CDATA children).
std::string ElementText(const TiXmlElement* element)
{
    std::string text;
    if (element == nullptr)
        return text;
    for (const TiXmlNode* child = element->FirstChild(); child != nullptr; child = child->NextSibling()) {
        if (const TiXmlText* part = child->ToText())
            text += part->Value();
    }
    return text;
}

// The root of an XML station file, parsed within the bounds of outside data
// by the data-file encoding rule. What the parser kept of a damaged file is
// read, so an import takes what it can.
const TiXmlElement* ParseStationXml(TiXmlDocument& document, std::string_view bytes)
{
    if (bytes.size() >= 2 && (static_cast<unsigned char>(bytes[0]) == 0xFF || static_cast<unsigned char>(bytes[0]) == 0xFE))
        ParseXmlBytes(&document, TextAsUtf8(bytes), false);
    else
        ParseXmlBytes(&document, std::string(bytes), false);
    return document.RootElement();
}

std::vector<TMyStation> ReadXspf(std::string_view bytes)
{
    TiXmlDocument document;
    const TiXmlElement* root = ParseStationXml(document, bytes);
    const TiXmlElement* tracks = root != nullptr && IsNamed(root, "playlist") ? ChildNamed(root, "trackList") : nullptr;
    CStationCollector stations;
    for (const TiXmlElement* track = tracks != nullptr ? tracks->FirstChildElement() : nullptr;
         track != nullptr && !stations.Full(); track = track->NextSiblingElement()) {
        if (!IsNamed(track, "track"))
            continue;
        std::string name = ElementText(ChildNamed(track, "title"));
        if (TrimmedText(name).empty())
            name = ElementText(ChildNamed(track, "annotation"));
        // A track may list several locations of one stream: the first
        // station address among them is taken.
        for (const TiXmlElement* location = track->FirstChildElement(); location != nullptr;
             location = location->NextSiblingElement()) {
            if (IsNamed(location, "location") && IsStationAddress(ElementText(location), nullptr)) {
                stations.Add(name, ElementText(location));
                break;
            }
        }
    }
    return stations.Take();
}

std::vector<TMyStation> ReadGoodvibes(std::string_view bytes)
{
    TiXmlDocument document;
    const TiXmlElement* root = ParseStationXml(document, bytes);
    CStationCollector stations;
    if (root == nullptr || !IsNamed(root, "Stations"))
        return {};
    for (const TiXmlElement* station = root->FirstChildElement(); station != nullptr && !stations.Full();
         station = station->NextSiblingElement()) {
        if (IsNamed(station, "Station"))
            stations.Add(ElementText(ChildNamed(station, "name")), ElementText(ChildNamed(station, "uri")));
    }
    return stations.Take();
}

std::string JsonText(const nlohmann::json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// Radiotray-NG's bookmarks: an array of groups {"group", "stations": [{"name",
// "url", ...}]}. Our list has no groups, so a station of a named group is
// named "group - name", which keeps a group's stations recognisable and
// apart from a same-named station of another group.
std::vector<TMyStation> ReadRadiotrayBookmarks(std::string_view bytes)
{
    const std::string text = TextAsUtf8(bytes);
    const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    if (document.is_discarded())
        return {};
    std::vector<const nlohmann::json*> groups;
    if (document.is_array()) {
        for (const nlohmann::json& group : document)
            groups.push_back(&group);
    } else if (document.is_object()) {
        groups.push_back(&document); // a single group saved on its own
    }
    CStationCollector stations;
    for (const nlohmann::json* group : groups) {
        if (!group->is_object())
            continue;
        const std::string groupName = CleanStationName(JsonText(*group, "group"));
        const auto list = group->find("stations");
        if (list == group->end() || !list->is_array())
            continue;
        for (const nlohmann::json& station : *list) {
            if (!station.is_object() || stations.Full())
                continue;
            const std::string name = CleanStationName(JsonText(station, "name"));
            const std::string fullName = groupName.empty() || name.empty() ? name : groupName + " - " + name;
            stations.Add(fullName, JsonText(station, "url"));
        }
    }
    return stations.Take();
}

// The extension of the last part of a file name or address, lower case,
// without its query.
std::string ExtensionOf(std::string_view fileName)
{
    fileName = fileName.substr(0, fileName.find_first_of("?#"));
    const std::size_t slash = fileName.find_last_of('/');
    if (slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos ? std::string() : LowerAscii(fileName.substr(dot + 1));
}

// The local name of the first element of an XML text ("" when there is none
// in its first kilobytes): declarations, comments and doctypes are skipped.
std::string FirstElementName(std::string_view text)
{
    text = text.substr(0, 64 * 1024);
    std::size_t at = 0;
    while ((at = text.find('<', at)) != std::string_view::npos) {
        if (text.substr(at, 4) == "<!--") {
            at = text.find("-->", at + 4);
            if (at == std::string_view::npos)
                return {};
            continue;
        }
        if (at + 1 < text.size() && (text[at + 1] == '?' || text[at + 1] == '!')) {
            ++at;
            continue;
        }
        std::size_t end = at + 1;
        while (end < text.size() && !IsBlank(text[end]) && text[end] != '>' && text[end] != '/')
            ++end;
        std::string_view name = text.substr(at + 1, end - at - 1);
        const std::size_t colon = name.find(':');
        if (colon != std::string_view::npos)
            name.remove_prefix(colon + 1);
        return LowerAscii(name);
    }
    return {};
}

} // namespace

StationFileKind DetectStationFile(std::string_view fileName, std::string_view bytes)
{
    const std::string extension = ExtensionOf(fileName);
    const std::string text = TextAsUtf8(bytes.substr(0, 64 * 1024));
    const std::string_view start = TrimmedText(text);

    if (!start.empty() && start.front() == '<') {
        const std::string root = FirstElementName(start);
        if (root == "playlist")
            return StationFileKind::Xspf;
        if (root == "stations")
            return StationFileKind::GoodvibesXml;
        return StationFileKind::Unknown;
    }
    if (!start.empty() && (start.front() == '[' || start.front() == '{') && !StartsWithNoCase(start, "[playlist]"))
        return start.find("\"stations\"") != std::string_view::npos || extension == "json"
                   ? StationFileKind::RadiotrayBookmarksJson
                   : StationFileKind::Unknown;
    if (StartsWithNoCase(start, "[playlist]"))
        return StationFileKind::Pls;
    if (StartsWithNoCase(start, "#EXTM3U"))
        return StationFileKind::M3u;

    bool plsKeys = false;
    bool addressLines = false;
    ForEachLine(start.substr(0, 8 * 1024), [&](std::string_view line) {
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos && KeyNumber(TrimmedText(line.substr(0, equals)), "file") >= 0)
            plsKeys = true;
        if (StartsWithNoCase(line, "http://") || StartsWithNoCase(line, "https://"))
            addressLines = true;
    });
    if (extension == "pls" || plsKeys)
        return StationFileKind::Pls;
    if (extension == "m3u" || extension == "m3u8" || addressLines)
        return StationFileKind::M3u;
    return StationFileKind::Unknown;
}

std::vector<TMyStation> ReadStationFile(std::string_view fileName, std::string_view bytes)
{
    if (bytes.size() > kMaxStationFileBytes)
        return {};
    try {
        switch (DetectStationFile(fileName, bytes)) {
        case StationFileKind::M3u:
            return ReadM3u(bytes);
        case StationFileKind::Pls:
            return ReadPls(bytes);
        case StationFileKind::Xspf:
            return ReadXspf(bytes);
        case StationFileKind::GoodvibesXml:
            return ReadGoodvibes(bytes);
        case StationFileKind::RadiotrayBookmarksJson:
            return ReadRadiotrayBookmarks(bytes);
        case StationFileKind::Unknown:
            break;
        }
    } catch (...) {
        // Out of memory or a library's own exception: nothing is imported.
    }
    return {};
}

std::string WriteM3u(const std::vector<TMyStation>& stations)
{
    std::string text = "#EXTM3U\n";
    for (const TMyStation& station : stations) {
        if (!IsStationAddress(station.url, nullptr))
            continue;
        text += "#EXTINF:-1,";
        text += CleanStationName(station.name);
        text += '\n';
        text += TrimmedText(station.url);
        text += '\n';
    }
    return text;
}
