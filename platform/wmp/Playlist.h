#pragma once

// Reading .pls and .m3u playlists as servers really send them: CR, LF or
// CRLF line endings, a UTF-8 byte-order mark, empty "FileN=" entries, entries
// numbered out of order, "File1=url sid=8" suffixes, comments and blank
// lines. Relative entries are taken relative to the playlist's own URL.

#include <string>
#include <vector>

// The playlist's stream URLs in playing order; empty when there is none.
std::vector<std::string> ParsePlaylist(const std::string& text, const std::string& playlistUrl);
// True when `text` is an HLS playlist (playbin plays those itself).
bool IsHlsPlaylist(const std::string& text);
