// The directory's answers read with simdjson's DOM parser, chosen by
// measurement (bench/README.md): it reads a 1,000-station answer several
// times faster than nlohmann-json, and bounds the nesting depth and the
// document size itself, without a recursion of its own.

#include "directory/DirectoryAnswers.h"

#include <simdjson.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <unordered_set>

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// The longest prefix of `text` of at most `bytes` bytes that does not end
// inside a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return std::string(text);
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end));
}

// A string field: "" for null or any other type; cut to `bytes`.
std::string Text(const element& value, std::size_t bytes)
{
    std::string_view text;
    if (value.get_string().get(text) != simdjson::SUCCESS)
        return {};
    return CutUtf8(text, bytes);
}

// A whole-number field written as a number, a bool or a numeric string;
// `fallback` otherwise.
std::int64_t Number(const element& value, std::int64_t fallback = 0)
{
    switch (value.type()) {
    case element_type::INT64:
        return value.get_int64().value_unsafe();
    case element_type::UINT64: {
        const std::uint64_t number = value.get_uint64().value_unsafe();
        return number > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(number);
    }
    case element_type::DOUBLE: {
        const double number = value.get_double().value_unsafe();
        if (!(number > -9.0e18 && number < 9.0e18))
            return fallback;
        return static_cast<std::int64_t>(number);
    }
    case element_type::BOOL:
        return value.get_bool().value_unsafe() ? 1 : 0;
    case element_type::STRING: {
        const std::string_view text = value.get_string().value_unsafe();
        std::int64_t number = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        return error == std::errc() && end == text.data() + text.size() ? number : fallback;
    }
    default:
        return fallback;
    }
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Parses `body` within the limits into `document`, owned by `parser`.
EAnswerStatus Parse(simdjson::dom::parser& parser, const std::string& body, const TDirectoryLimits& limits,
                    element& document)
{
    if (body.size() > limits.maxBodyBytes)
        return EAnswerStatus::TooLarge;
    if (parser.allocate(std::max<std::size_t>(body.size(), 64), limits.maxDepth) != simdjson::SUCCESS)
        return EAnswerStatus::TooLarge;
    if (parser.parse(body.data(), body.size(), true).get(document) != simdjson::SUCCESS)
        return EAnswerStatus::NotJson;
    return EAnswerStatus::Ok;
}

// Reads one station; false when it has no stream address or an address
// longer than the field bound (cut, it would name another stream).
bool ReadStation(const simdjson::dom::object& object, const TDirectoryLimits& limits, TDirectoryStation& station)
{
    bool addressTooLong = false;
    const auto address = [&](const element& value) {
        std::string_view text;
        if (value.get_string().get(text) != simdjson::SUCCESS)
            return std::string();
        if (text.size() > limits.maxFieldBytes) {
            addressTooLong = true;
            return std::string();
        }
        return std::string(text);
    };
    const std::size_t field = limits.maxFieldBytes;
    for (const simdjson::dom::key_value_pair pair : object) {
        const std::string_view key = pair.key;
        const element& value = pair.value;
        if (key == "stationuuid")
            station.uuid = Lower(Text(value, 64));
        else if (key == "name")
            // Cut to the field bound before decoding, to bound the work, and to
            // the directory's name limit after, where the text is what is shown.
            station.name = CutUtf8(DecodeHtmlEntities(Text(value, field)), limits.maxNameBytes);
        else if (key == "url")
            station.url = address(value);
        else if (key == "url_resolved")
            station.urlResolved = address(value);
        else if (key == "homepage")
            station.homepage = Text(value, field);
        else if (key == "favicon")
            station.favicon = Text(value, field);
        else if (key == "tags")
            station.tags = Text(value, field);
        else if (key == "country")
            station.country = Text(value, 200);
        else if (key == "countrycode")
            station.countryCode = Text(value, 8);
        else if (key == "state")
            station.state = DecodeHtmlEntities(Text(value, 200));
        else if (key == "language")
            station.language = Text(value, field);
        else if (key == "codec")
            station.codec = Text(value, 32);
        else if (key == "bitrate")
            station.bitrate = static_cast<int>(std::clamp<std::int64_t>(Number(value), 0, 100000));
        else if (key == "hls")
            station.hls = Number(value) == 1;
        else if (key == "lastcheckok")
            station.lastCheckOk = Number(value) == 1;
        else if (key == "clickcount")
            station.clickCount = std::max<std::int64_t>(Number(value), 0);
        else if (key == "votes")
            station.votes = std::max<std::int64_t>(Number(value), 0);
    }
    if (addressTooLong)
        return false;
    return !station.StreamAddress().empty();
}

struct TEntity
{
    const char* name;
    const char* text;
};

// Named references seen in station names, and the Latin letters of the
// languages the directory lists most.
constexpr TEntity kEntities[] = {
    {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"},
    {"middot", "\xC2\xB7"}, {"ndash", "\xE2\x80\x93"}, {"mdash", "\xE2\x80\x94"}, {"hellip", "\xE2\x80\xA6"},
    {"copy", "\xC2\xA9"}, {"reg", "\xC2\xAE"}, {"aacute", "\xC3\xA1"}, {"eacute", "\xC3\xA9"},
    {"iacute", "\xC3\xAD"}, {"oacute", "\xC3\xB3"}, {"uacute", "\xC3\xBA"}, {"agrave", "\xC3\xA0"},
    {"egrave", "\xC3\xA8"}, {"atilde", "\xC3\xA3"}, {"otilde", "\xC3\xB5"}, {"ntilde", "\xC3\xB1"},
    {"ccedil", "\xC3\xA7"}, {"auml", "\xC3\xA4"}, {"ouml", "\xC3\xB6"}, {"uuml", "\xC3\xBC"},
    {"Auml", "\xC3\x84"}, {"Ouml", "\xC3\x96"}, {"Uuml", "\xC3\x9C"}, {"szlig", "\xC3\x9F"},
};

void AppendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character a reference body ("amp", "#38", "#x26") stands for,
// appended to `out`; false when it stands for none.
bool DecodeReference(std::string_view body, std::string& out)
{
    if (body.size() >= 2 && body[0] == '#') {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        std::uint32_t code = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
            return false;
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        AppendUtf8(out, code);
        return true;
    }
    for (const TEntity& entity : kEntities) {
        if (body == entity.name) {
            out += entity.text;
            return true;
        }
    }
    return false;
}

} // namespace

TStationList ReadStationList(const std::string& body, const TDirectoryLimits& limits)
{
    TStationList list;
    simdjson::dom::parser parser;
    element document;
    list.status = Parse(parser, body, limits, document);
    if (list.status != EAnswerStatus::Ok)
        return list;
    simdjson::dom::array stations;
    if (document.get_array().get(stations) != simdjson::SUCCESS) {
        list.status = EAnswerStatus::WrongShape;
        return list;
    }
    list.received = stations.size();
    for (const element item : stations) {
        simdjson::dom::object object;
        if (item.get_object().get(object) != simdjson::SUCCESS)
            continue;
        if (list.stations.size() == limits.maxStations) {
            list.truncated = true;
            break;
        }
        TDirectoryStation station;
        if (ReadStation(object, limits, station))
            list.stations.push_back(std::move(station));
    }
    return list;
}

TNameCountList ReadNameCountList(const std::string& body, const TDirectoryLimits& limits)
{
    TNameCountList list;
    simdjson::dom::parser parser;
    element document;
    list.status = Parse(parser, body, limits, document);
    if (list.status != EAnswerStatus::Ok)
        return list;
    simdjson::dom::array entries;
    if (document.get_array().get(entries) != simdjson::SUCCESS) {
        list.status = EAnswerStatus::WrongShape;
        return list;
    }
    for (const element item : entries) {
        simdjson::dom::object object;
        if (item.get_object().get(object) != simdjson::SUCCESS || list.entries.size() == limits.maxStations)
            continue;
        TNameCount entry;
        for (const simdjson::dom::key_value_pair pair : object) {
            if (pair.key == "name")
                entry.name = Text(pair.value, 200);
            else if (pair.key == "stationcount")
                entry.stationCount = std::max<std::int64_t>(Number(pair.value), 0);
        }
        if (!entry.name.empty())
            list.entries.push_back(std::move(entry));
    }
    return list;
}

bool ReadStatsAnswer(const std::string& body)
{
    TDirectoryLimits limits;
    limits.maxBodyBytes = 64 * 1024;
    simdjson::dom::parser parser;
    element document;
    if (Parse(parser, body, limits, document) != EAnswerStatus::Ok)
        return false;
    simdjson::dom::object object;
    if (document.get_object().get(object) != simdjson::SUCCESS)
        return false;
    element status;
    if (object["status"].get(status) != simdjson::SUCCESS)
        return true;
    std::string_view text;
    return status.get_string().get(text) == simdjson::SUCCESS && text == "OK";
}

TClickAnswer ReadClickAnswer(const std::string& body)
{
    TClickAnswer answer;
    TDirectoryLimits limits;
    limits.maxBodyBytes = 64 * 1024;
    simdjson::dom::parser parser;
    element document;
    if (Parse(parser, body, limits, document) != EAnswerStatus::Ok)
        return answer;
    simdjson::dom::object object;
    if (document.get_object().get(object) != simdjson::SUCCESS)
        return answer;
    element uuid;
    answer.counted = object["stationuuid"].get(uuid) == simdjson::SUCCESS && uuid.is_string();
    element ok;
    if (object["ok"].get(ok) == simdjson::SUCCESS) {
        std::string_view text;
        answer.ok = ok.is_bool() ? ok.get_bool().value_unsafe()
                                 : (ok.get_string().get(text) == simdjson::SUCCESS && text == "true");
    }
    return answer;
}

std::string DecodeHtmlEntities(const std::string& text)
{
    // The longest reference body we decode: "#x10FFFF" or "hellip".
    constexpr std::size_t kLongestReference = 10;
    std::string decoded;
    decoded.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '&') {
            const std::size_t semicolon = text.find(';', i + 1);
            if (semicolon != std::string::npos && semicolon - i - 1 <= kLongestReference &&
                DecodeReference(std::string_view(text).substr(i + 1, semicolon - i - 1), decoded)) {
                i = semicolon + 1;
                continue;
            }
        }
        decoded += text[i++];
    }
    return decoded;
}

std::vector<TDirectoryStation> DedupeByStreamAddress(std::vector<TDirectoryStation> stations)
{
    std::unordered_set<std::string> seen;
    std::vector<TDirectoryStation> kept;
    kept.reserve(stations.size());
    for (TDirectoryStation& station : stations) {
        if (seen.insert(station.StreamAddress()).second)
            kept.push_back(std::move(station));
    }
    return kept;
}

std::string ChineseRegionName(const std::string& countryCode)
{
    static const TEntity kRegions[] = {
        {"CN", "中国"}, {"HK", "香港"}, {"TW", "台湾"}, {"MO", "澳门"}, {"SG", "新加坡"}, {"MY", "马来西亚"},
        {"JP", "日本"}, {"KR", "韩国"}, {"TH", "泰国"}, {"VN", "越南"}, {"PH", "菲律宾"}, {"ID", "印度尼西亚"},
        {"IN", "印度"}, {"US", "美国"}, {"CA", "加拿大"}, {"GB", "英国"}, {"FR", "法国"}, {"DE", "德国"},
        {"IT", "意大利"}, {"ES", "西班牙"}, {"NL", "荷兰"}, {"CH", "瑞士"}, {"AT", "奥地利"}, {"RU", "俄罗斯"},
        {"AU", "澳大利亚"}, {"NZ", "新西兰"}, {"BR", "巴西"},
    };
    std::string code = countryCode;
    for (char& c : code)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const TEntity& region : kRegions) {
        if (code == region.name)
            return region.text;
    }
    return {};
}

std::string StationSubtitle(const TDirectoryStation& station)
{
    std::vector<std::string> parts;
    if (!station.codec.empty())
        parts.push_back(station.codec);
    if (station.bitrate > 0)
        parts.push_back(std::to_string(station.bitrate) + "k");
    std::string region = ChineseRegionName(station.countryCode);
    if (region.empty())
        region = !station.country.empty() ? station.country : station.countryCode;
    if (!region.empty())
        parts.push_back(region);
    std::string line;
    for (const std::string& part : parts) {
        if (!line.empty())
            line += " \xC2\xB7 ";
        line += part;
    }
    return line;
}
