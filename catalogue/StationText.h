#pragma once

// Small text helpers shared by the user's stations and the station-file
// readers. Text is UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

// Longest station name kept, in bytes; a longer one is cut at a character
// boundary.
constexpr std::size_t kMaxStationNameBytes = 512;

// `text` without leading and trailing blanks (space, tab, CR, LF, FF, VT).
std::string_view TrimmedText(std::string_view text);

// A name as it is kept: made valid UTF-8 (by the data-file encoding rule),
// every control character turned into a space, the ends trimmed, cut to
// kMaxStationNameBytes.
std::string CleanStationName(std::string_view name);

// The name a station is kept under: `name` cleaned, or when that is empty the
// address's host, cleaned the same way.
std::string StationNameFor(std::string_view name, std::string_view url);
