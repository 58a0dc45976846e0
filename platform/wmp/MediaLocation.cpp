#include "platform/wmp/MediaLocation.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex baseFolderMutex;
std::string baseFolderOverride; // set by SetPlayerBaseFolder; empty for the executable's folder

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return text;
}

std::string Trimmed(const std::string& text)
{
    const auto isSpace = [](unsigned char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && isSpace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::string ExecutableFolder()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    std::string executable(path, static_cast<std::size_t>(length));
    const std::size_t slash = executable.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : executable.substr(0, slash);
}

// Offset of the path in an absolute URL ("scheme://authority/path"), or the
// string's end when the URL has no path.
std::size_t PathOffset(const std::string& url)
{
    const std::size_t authority = url.find("://");
    if (authority == std::string::npos)
        return 0;
    const std::size_t path = url.find_first_of("/?#", authority + 3);
    return path == std::string::npos ? url.size() : path;
}

} // namespace

void SetPlayerBaseFolder(const char* folder)
{
    std::lock_guard<std::mutex> lock(baseFolderMutex);
    baseFolderOverride = folder != nullptr ? folder : "";
}

std::string PlayerBaseFolder()
{
    {
        std::lock_guard<std::mutex> lock(baseFolderMutex);
        if (!baseFolderOverride.empty())
            return baseFolderOverride;
    }
    return ExecutableFolder();
}

std::string UrlScheme(const std::string& url)
{
    const std::size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(url[0])))
        return "";
    for (std::size_t i = 1; i < colon; ++i) {
        const unsigned char ch = static_cast<unsigned char>(url[i]);
        if (!std::isalnum(ch) && ch != '+' && ch != '-' && ch != '.')
            return "";
    }
    // "C:" alone is no scheme; every URL the player takes has "scheme://".
    if (url.compare(colon, 3, "://") != 0)
        return "";
    return Lower(url.substr(0, colon));
}

std::string UrlExtension(const std::string& url)
{
    const std::size_t begin = PathOffset(url);
    std::size_t end = url.find_first_of("?#", begin);
    if (end == std::string::npos)
        end = url.size();
    const std::string path = url.substr(begin, end - begin);
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == path.size())
        return "";
    return Lower(path.substr(dot + 1));
}

bool IsPlaylistExtension(const std::string& extension)
{
    return extension == "pls" || extension == "m3u";
}

std::string ResolveUrlReference(const std::string& base, const std::string& reference)
{
    if (!UrlScheme(reference).empty())
        return reference;
    if (reference.compare(0, 2, "//") == 0) {
        const std::string scheme = UrlScheme(base);
        return (scheme.empty() ? std::string("http") : scheme) + ":" + reference;
    }
    const std::size_t pathOffset = PathOffset(base);
    if (!reference.empty() && reference[0] == '/')
        return base.substr(0, pathOffset) + reference;
    std::size_t pathEnd = base.find_first_of("?#", pathOffset);
    if (pathEnd == std::string::npos)
        pathEnd = base.size();
    const std::size_t slash = base.rfind('/', pathEnd == 0 ? 0 : pathEnd - 1);
    if (slash == std::string::npos || slash < pathOffset)
        return base.substr(0, pathOffset) + "/" + reference;
    return base.substr(0, slash + 1) + reference;
}

std::string FileUriFromPath(const std::string& absolutePath)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char byte : absolutePath) {
        const unsigned char ch = static_cast<unsigned char>(byte);
        if (std::isalnum(ch) || ch == '/' || ch == '-' || ch == '_' || ch == '.' || ch == '~') {
            uri += byte;
        } else {
            uri += '%';
            uri += hex[ch >> 4];
            uri += hex[ch & 0x0F];
        }
    }
    return uri;
}

MediaLocation LocateMedia(const std::string& url, const std::string& baseFolder)
{
    MediaLocation location;
    const std::string text = Trimmed(url);
    if (text.empty()) {
        location.error = "打开失败: 地址是空的";
        return location;
    }
    const std::string scheme = UrlScheme(text);
    const std::string extension = UrlExtension(text);
    if (scheme == "http" || scheme == "https") {
        location.uri = text;
        if (IsPlaylistExtension(extension))
            location.kind = MediaKind::HttpPlaylist;
        else if (extension.empty() || extension == "php" || extension == "asp" || extension == "aspx" ||
                 extension == "cgi" || extension == "jsp" || extension == "html" || extension == "htm")
            location.kind = MediaKind::HttpUnknown;
        else
            location.kind = MediaKind::Stream;
        return location;
    }
    if (scheme == "file") {
        // file:///a/b -> /a/b; a host other than localhost is not ours to open.
        std::string rest = text.substr(7);
        if (rest.compare(0, 9, "localhost") == 0)
            rest = rest.substr(9);
        if (rest.empty() || rest[0] != '/') {
            location.error = "打开失败: 不是本机的文件地址";
            return location;
        }
        std::string decoded;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == '%' && i + 2 < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
                decoded += static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                decoded += rest[i];
            }
        }
        location.path = decoded;
        location.uri = FileUriFromPath(decoded);
        location.kind = IsPlaylistExtension(UrlExtension("file://" + decoded)) ? MediaKind::LocalPlaylist
                                                                               : MediaKind::Stream;
        return location;
    }
    if (!scheme.empty()) {
        // mms://, rtsp://, icy:// ...: playbin knows what it can open.
        location.uri = text;
        location.kind = MediaKind::Stream;
        return location;
    }
    std::string path = text;
    if (path[0] != '/') {
        std::string base = baseFolder.empty() ? std::string(".") : baseFolder;
        if (base.back() != '/')
            base += '/';
        path = base + path;
    }
    location.path = path;
    location.uri = FileUriFromPath(path);
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool playlist = dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
                          IsPlaylistExtension(Lower(path.substr(dot + 1)));
    location.kind = playlist ? MediaKind::LocalPlaylist : MediaKind::Stream;
    return location;
}
