#pragma once

// What the player does with a URL it is given: hand it to playbin as it is,
// read a playlist first, or look at what the server sends before deciding.
// Local paths become file:// URIs; a relative path is taken from the player's
// base folder (the executable's folder unless SetPlayerBaseFolder chose one).

#include <string>

enum class MediaKind
{
    Stream,        // `uri` goes to playbin as it is
    LocalPlaylist, // `path` is a .pls or .m3u file on this machine
    HttpPlaylist,  // `uri` names a .pls or .m3u playlist on a server
    HttpUnknown,   // `uri` is http(s) without a telling extension: probe it
    Invalid,       // nothing playable; `error` says why
};

struct MediaLocation
{
    MediaKind kind = MediaKind::Invalid;
    std::string uri;  // http(s) or file:// URI
    std::string path; // local file path, for local files and playlists
    std::string error;
};

MediaLocation LocateMedia(const std::string& url, const std::string& baseFolder);

// The base folder relative paths start from: SetPlayerBaseFolder's, or the
// folder of the running executable.
std::string PlayerBaseFolder();

// "http", "https", "file" ... in lower case; "" when `url` has no scheme.
std::string UrlScheme(const std::string& url);
// The lower-case extension of the URL's path without query and fragment:
// "pls" for "http://h/a.PLS?x=1"; "" when there is none.
std::string UrlExtension(const std::string& url);
// True for extensions whose files are playlists the player reads itself.
bool IsPlaylistExtension(const std::string& extension);
// `reference` taken relative to the URL `base` (an absolute URL stays as it
// is; "/x" keeps the scheme and host; "x" replaces the last path segment).
std::string ResolveUrlReference(const std::string& base, const std::string& reference);
// file:// URI of an absolute path, with the bytes a URI cannot carry
// percent-encoded.
std::string FileUriFromPath(const std::string& absolutePath);
