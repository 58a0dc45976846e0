#include "platform/wmp/StreamResolver.h"

#include "platform/wmp/MediaLocation.h"
#include "platform/wmp/Playlist.h"

#include <curl/curl.h>

#include <fstream>
#include <iterator>
#include <mutex>

namespace {

// Bytes of a playlist that are read; the first entry of any real playlist
// comes long before.
constexpr std::size_t kPlaylistBytes = 16 * 1024;
// Seconds to get a connection, and seconds in which at least one byte must
// arrive, while fetching a playlist.
constexpr long kConnectTimeoutSeconds = 15;
constexpr long kLowSpeedSeconds = 15;
// Seconds a whole playlist fetch may take.
constexpr long kFetchTimeoutSeconds = 30;
// Redirects followed per fetch.
constexpr long kMaxRedirects = 5;
// Playlists followed through playlists before giving up.
constexpr int kMaxPlaylistDepth = 4;

std::once_flag curlStarted;

struct Fetch
{
    CURL* curl = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    std::string body;
    bool firstWrite = true;
    bool stream = false;    // the answer's type said audio or video: stopped at its first bytes
    bool truncated = false; // stopped at kPlaylistBytes
};

std::string Lower(std::string text)
{
    for (char& ch : text)
        ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    return text;
}

size_t OnBody(char* data, size_t size, size_t count, void* user)
{
    auto& fetch = *static_cast<Fetch*>(user);
    const size_t bytes = size * count;
    if (fetch.firstWrite) {
        fetch.firstWrite = false;
        const char* contentType = nullptr;
        curl_easy_getinfo(fetch.curl, CURLINFO_CONTENT_TYPE, &contentType);
        if (IsStreamMediaType(MediaTypeOf(contentType != nullptr ? contentType : ""))) {
            fetch.stream = true;
            return 0; // ends the transfer: playbin opens the stream itself
        }
    }
    const size_t room = kPlaylistBytes - fetch.body.size();
    fetch.body.append(data, bytes < room ? bytes : room);
    if (fetch.body.size() >= kPlaylistBytes) {
        fetch.truncated = true;
        return 0;
    }
    return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Fetch*>(user)->cancel->load() ? 1 : 0;
}

std::string HostOf(const std::string& url)
{
    const std::size_t begin = url.find("://");
    if (begin == std::string::npos)
        return url;
    const std::size_t end = url.find_first_of("/?#", begin + 3);
    return url.substr(begin + 3, end == std::string::npos ? std::string::npos : end - begin - 3);
}

std::string CurlFailureText(CURLcode code, const std::string& url)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "打开失败: 找不到服务器 " + HostOf(url);
    case CURLE_COULDNT_CONNECT:
        return "连接失败: 无法连接到服务器 " + HostOf(url);
    case CURLE_OPERATION_TIMEDOUT:
        return "连接超时: 服务器没有回答 " + HostOf(url);
    case CURLE_TOO_MANY_REDIRECTS:
        return "打开失败: 转向次数太多";
    case CURLE_UNSUPPORTED_PROTOCOL:
        return "打开失败: 不支持的地址 " + url;
    case CURLE_ABORTED_BY_CALLBACK:
        return "已取消";
    default:
        return std::string("读取播放列表失败: ") + curl_easy_strerror(code);
    }
}

// Playlist text without a line the size cap cut in two.
std::string CompleteLines(const std::string& body, bool truncated)
{
    if (!truncated)
        return body;
    const std::size_t end = body.find_last_of("\r\n");
    return end == std::string::npos ? std::string() : body.substr(0, end + 1);
}

bool IsNetworkUrl(const std::string& url)
{
    const std::string scheme = UrlScheme(url);
    return !scheme.empty() && scheme != "file";
}

StreamResolution Failure(std::string text)
{
    StreamResolution resolution;
    resolution.error = std::move(text);
    return resolution;
}

StreamResolution Success(std::string uri)
{
    StreamResolution resolution;
    resolution.ok = true;
    resolution.uri = std::move(uri);
    return resolution;
}

} // namespace

// "audio/x-scpls; charset=..." -> "audio/x-scpls"
std::string MediaTypeOf(const std::string& contentType)
{
    std::string type = Lower(contentType);
    const std::size_t semicolon = type.find(';');
    if (semicolon != std::string::npos)
        type.erase(semicolon);
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
        type.pop_back();
    return type;
}

bool IsPlaylistMediaType(const std::string& type)
{
    return type == "audio/x-scpls" || type == "audio/scpls" || type == "application/pls+xml" ||
           type == "audio/x-mpegurl" || type == "audio/mpegurl" || type == "application/x-mpegurl" ||
           type == "application/vnd.apple.mpegurl" || type == "text/uri-list";
}

bool IsStreamMediaType(const std::string& type)
{
    if (IsPlaylistMediaType(type))
        return false;
    return type.compare(0, 6, "audio/") == 0 || type.compare(0, 6, "video/") == 0 || type == "application/ogg" ||
           type == "application/x-ogg" || type == "application/aacp";
}

std::string HttpFailureText(long code)
{
    std::string text = "打开失败: 服务器回答 " + std::to_string(code);
    if (code == 404 || code == 410)
        text += " (找不到该地址)";
    else if (code == 401 || code == 403)
        text += " (拒绝访问)";
    else if (code >= 500)
        text += " (服务器出错)";
    return text;
}

StreamResolution ResolveStream(const std::string& url, bool knownPlaylist, const std::atomic<bool>& cancel)
{
    std::call_once(curlStarted, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    std::string current = url;
    bool playlistExpected = knownPlaylist;
    for (int depth = 0; depth < kMaxPlaylistDepth; ++depth) {
        Fetch fetch;
        fetch.cancel = &cancel;
        fetch.curl = curl_easy_init();
        if (fetch.curl == nullptr)
            return Failure("读取播放列表失败: 无法建立连接");
        curl_easy_setopt(fetch.curl, CURLOPT_URL, current.c_str());
        curl_easy_setopt(fetch.curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(fetch.curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(fetch.curl, CURLOPT_MAXREDIRS, kMaxRedirects);
        curl_easy_setopt(fetch.curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(fetch.curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(fetch.curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
        curl_easy_setopt(fetch.curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(fetch.curl, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
        curl_easy_setopt(fetch.curl, CURLOPT_TIMEOUT, kFetchTimeoutSeconds);
        curl_easy_setopt(fetch.curl, CURLOPT_USERAGENT, "OrvaneRadio/1.0");
        curl_easy_setopt(fetch.curl, CURLOPT_WRITEFUNCTION, &OnBody);
        curl_easy_setopt(fetch.curl, CURLOPT_WRITEDATA, &fetch);
        curl_easy_setopt(fetch.curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(fetch.curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
        curl_easy_setopt(fetch.curl, CURLOPT_XFERINFODATA, &fetch);
        const CURLcode code = curl_easy_perform(fetch.curl);
        long httpCode = 0;
        curl_easy_getinfo(fetch.curl, CURLINFO_RESPONSE_CODE, &httpCode);
        const char* effective = nullptr;
        curl_easy_getinfo(fetch.curl, CURLINFO_EFFECTIVE_URL, &effective);
        const std::string base = effective != nullptr ? effective : current;
        const char* contentType = nullptr;
        curl_easy_getinfo(fetch.curl, CURLINFO_CONTENT_TYPE, &contentType);
        const std::string type = MediaTypeOf(contentType != nullptr ? contentType : "");
        curl_easy_cleanup(fetch.curl);

        if (cancel.load())
            return Failure("已取消");
        if (httpCode >= 400)
            return Failure(HttpFailureText(httpCode));
        const bool stoppedByUs = code == CURLE_WRITE_ERROR && (fetch.stream || fetch.truncated);
        if (code != CURLE_OK && !stoppedByUs && fetch.body.empty())
            return Failure(CurlFailureText(code, current));
        if (fetch.stream)
            return Success(current);
        const std::string text = CompleteLines(fetch.body, fetch.truncated);
        if (IsHlsPlaylist(text))
            return Success(current); // playbin's HLS demuxer reads it itself
        const bool binary = fetch.body.find('\0') != std::string::npos;
        const std::vector<std::string> entries = binary ? std::vector<std::string>() : ParsePlaylist(text, base);
        std::string next;
        for (const std::string& entry : entries) {
            if (IsNetworkUrl(entry)) {
                next = entry;
                break;
            }
        }
        if (next.empty()) {
            if (playlistExpected || IsPlaylistMediaType(type) || !entries.empty())
                return Failure("打开失败: 播放列表里没有可播放的地址");
            return Success(current); // not a playlist after all: let playbin try it
        }
        const std::string scheme = UrlScheme(next);
        if ((scheme == "http" || scheme == "https") && IsPlaylistExtension(UrlExtension(next))) {
            current = next;
            playlistExpected = true;
            continue;
        }
        return Success(next);
    }
    return Failure("打开失败: 播放列表一层套一层, 找不到流");
}

StreamResolution ResolveLocalPlaylist(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return Failure("打开失败: 找不到播放列表文件");
    std::string text(kPlaylistBytes, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    const bool truncated = text.size() >= kPlaylistBytes;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    for (const std::string& entry : ParsePlaylist(CompleteLines(text, truncated), "")) {
        if (!UrlScheme(entry).empty())
            return Success(entry);
        const MediaLocation location = LocateMedia(entry, folder);
        if (location.kind == MediaKind::Stream)
            return Success(location.uri);
    }
    return Failure("打开失败: 播放列表里没有可播放的地址");
}
