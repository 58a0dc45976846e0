#include "platform/wmp/Playlist.h"

#include "platform/wmp/MediaLocation.h"

#include <cctype>
#include <cstdlib>
#include <map>

namespace {

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\r' || ch == '\n') {
            lines.push_back(line);
            line.clear();
            if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += ch;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string Trimmed(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.substr(begin, end - begin);
}

std::string Lower(std::string text)
{
    for (char& ch : text)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

// An entry a playlist may really hold: no control characters and nothing of
// HTML markup, which an error page served in place of a playlist is made of.
bool IsPlausibleEntry(const std::string& entry)
{
    if (entry.empty() || entry.size() > kMaxPlaylistEntryBytes)
        return false;
    for (const char ch : entry) {
        const unsigned char byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F || ch == '<' || ch == '>' || ch == '"')
            return false;
    }
    return true;
}

// "File1=http://a:8000/ sid=8" and the like: a URL holds no blank, so the
// entry ends at the first one.
std::string CutAtBlank(const std::string& entry)
{
    const std::size_t blank = entry.find_first_of(" \t");
    return blank == std::string::npos ? entry : entry.substr(0, blank);
}

std::string Resolved(const std::string& entry, const std::string& playlistUrl)
{
    return playlistUrl.empty() ? entry : ResolveUrlReference(playlistUrl, entry);
}

} // namespace

bool IsHlsPlaylist(const std::string& text)
{
    return text.find("#EXT-X-") != std::string::npos;
}

std::vector<std::string> ParsePlaylist(const std::string& input, const std::string& playlistUrl)
{
    if (input.size() > kMaxPlaylistTextBytes)
        return {};
    std::string text = input;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    const std::vector<std::string> lines = SplitLines(text);

    // .pls: "[playlist]" and "FileN=" keys, in the order of N.
    std::map<long, std::string> numbered;
    bool pls = false;
    for (const std::string& raw : lines) {
        const std::string line = Trimmed(raw);
        if (Lower(line) == "[playlist]") {
            pls = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = Lower(Trimmed(line.substr(0, equals)));
        if (key.size() <= 4 || key.compare(0, 4, "file") != 0)
            continue;
        char* end = nullptr;
        const long number = std::strtol(key.c_str() + 4, &end, 10);
        if (end == nullptr || *end != 0 || !std::isdigit(static_cast<unsigned char>(key[4])))
            continue;
        pls = true;
        const std::string value = CutAtBlank(Trimmed(line.substr(equals + 1)));
        if (IsPlausibleEntry(value) && numbered.size() < kMaxPlaylistEntries && numbered.find(number) == numbered.end())
            numbered[number] = value;
    }
    std::vector<std::string> entries;
    if (pls) {
        for (const auto& [number, value] : numbered)
            entries.push_back(Resolved(value, playlistUrl));
        return entries;
    }

    // .m3u: one entry a line; '#' lines are comments or #EXTINF titles.
    for (const std::string& raw : lines) {
        std::string line = Trimmed(raw);
        if (line.empty() || line[0] == '#')
            continue;
        if (!UrlScheme(line).empty())
            line = CutAtBlank(line);
        if (IsPlausibleEntry(line) && entries.size() < kMaxPlaylistEntries)
            entries.push_back(Resolved(line, playlistUrl));
    }
    return entries;
}
