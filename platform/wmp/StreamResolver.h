#pragma once

// Turns a playlist URL, or an http(s) URL that does not say what it is, into
// the URL of a stream playbin can open. Blocking: the player runs it on a
// worker thread of its own, never on the GUI thread.
//
// Only the first few kilobytes are fetched (redirects followed). The answer's
// content type decides first: an audio or video type is a stream, whatever
// the extension said; HLS is handed to playbin as it is. Anything else (text/html,
// text/plain, audio/x-scpls, audio/x-mpegurl ...) is read as a .pls or .m3u
// playlist and its first entry is the stream; an entry that names another
// playlist is followed a few levels deep.

#include <atomic>
#include <string>

struct StreamResolution
{
    bool ok = false;
    std::string uri;   // what to hand to playbin
    std::string error; // status text when !ok
};

// `knownPlaylist`: the URL's extension said .pls or .m3u, so an answer that
// holds no entry is an error rather than a stream to try.
StreamResolution ResolveStream(const std::string& url, bool knownPlaylist, const std::atomic<bool>& cancel);
// "audio/x-scpls; charset=..." -> "audio/x-scpls", in lower case.
std::string MediaTypeOf(const std::string& contentType);
// Types of playlists the player reads itself (not HLS's own types' bodies,
// which playbin plays: the body tells those apart).
bool IsPlaylistMediaType(const std::string& type);
// Types whose body is the stream itself, whatever the URL's extension said.
bool IsStreamMediaType(const std::string& type);
// The status text of an HTTP answer of 400 or more.
std::string HttpFailureText(long code);
// A .pls or .m3u file on this machine (relative entries are taken from its folder).
StreamResolution ResolveLocalPlaylist(const std::string& path);
