#pragma once

// The requests our client sends to a directory server: each a path with its
// query string, to be appended to the server's base address. Values are
// percent-encoded; uuids go out in lower case, which is how the directory
// compares them.
//
// Threads: any; the functions keep no state.

#include "directory/DirectoryAnswers.h"

#include <string>
#include <vector>

// Stations to a page of search results and of the browse lists.
constexpr int kDirectoryPageSize = 100;

// `text` with every byte outside A-Z a-z 0-9 - . _ ~ written as %XX.
std::string PercentEncode(const std::string& text);

// Working stations whose name contains `text`, most clicked first, page
// `page` (from 0) of kDirectoryPageSize.
std::string SearchPath(const std::string& text, int page);

// The Chinese-language browse: one request per country code (CN, HK, TW,
// MO) and per language (chinese, mandarin, cantonese), each for the same
// page, working stations only, most clicked first, narrowed to the tag when
// one is given. The server cannot join them in one query; MergeBrowsePages
// does.
std::vector<std::string> BrowsePaths(int page, const std::string& tag);

// The answers of BrowsePaths as one page: each station once (by uuid and by
// stream address), most clicked first, order of the answers kept among
// equals.
std::vector<TDirectoryStation> MergeBrowsePages(const std::vector<std::vector<TDirectoryStation>>& answers);

// The most common tags of the stations, most common first, at most `count`:
// the tag row of the browse page. The directory's own tag list counts the
// stations of every country and cannot be narrowed to these.
std::vector<std::string> CommonTags(const std::vector<TDirectoryStation>& stations, std::size_t count);

// The stations of several uuids in one request.
std::string ByUuidPath(const std::vector<std::string>& uuids);

// Counts a play of the station.
std::string ClickPath(const std::string& uuid);

// Working stations named exactly `name` (the directory ignores case),
// most clicked first.
std::string ExactNamePath(const std::string& name);

// Of the stations found under a station's name, one that passed its last
// check: the first on the host of `currentUrl`, else the first; null when
// there is none, or when one of them plays from `currentUrl` (entered or
// resolved): then the address did not move.
const TDirectoryStation* PickMovedStation(const std::vector<TDirectoryStation>& found, const std::string& currentUrl);
