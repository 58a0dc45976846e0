#pragma once

// Reading .pls and .m3u playlists as servers really send them: CR, LF or
// CRLF line endings, a UTF-8 byte-order mark, empty "FileN=" entries, entries
// numbered out of order, "File1=url sid=8" suffixes, comments and blank
// lines. Relative entries are taken relative to the playlist's own URL.

#include <cstddef>
#include <string>
#include <vector>

// Bounds on a playlist from outside, far above any real one (a few entries in
// a few hundred bytes; the player reads at most 16 KB of one): a longer text
// is refused whole, and entries past the last one counted are dropped.
constexpr std::size_t kMaxPlaylistTextBytes = 1024 * 1024;
constexpr std::size_t kMaxPlaylistEntries = 1000;
// Longest entry taken, in bytes; a longer line is not a URL of a station.
constexpr std::size_t kMaxPlaylistEntryBytes = 8 * 1024;

// The playlist's stream URLs in playing order; empty when there is none or
// the text is beyond the bounds above.
std::vector<std::string> ParsePlaylist(const std::string& text, const std::string& playlistUrl);
// True when `text` is an HLS playlist (playbin plays those itself).
bool IsHlsPlaylist(const std::string& text);
