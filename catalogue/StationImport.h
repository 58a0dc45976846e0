#pragma once

// Station lists written by other programs and servers, read into the user's
// own stations, and the list written back out as an M3U playlist.
//
// Every reader is bounded and never throws: a damaged or hostile file yields
// what could be read of it, possibly nothing. Only http and https addresses
// are kept; an address met twice in one file is kept once, at its first
// place. Names are UTF-8 (GBK text of old playlists converted); an entry
// without a name is named after its host.

#include "catalogue/MyStations.h"

#include <string>
#include <string_view>
#include <vector>

enum class StationFileKind
{
    Unknown,
    M3u,
    Pls,
    Xspf,
    GoodvibesXml,
    RadiotrayBookmarksJson,
};

// The kind of a file, by its contents first and its name's ending second.
StationFileKind DetectStationFile(std::string_view fileName, std::string_view bytes);

// The stations of a file of any kind above; empty for Unknown.
std::vector<TMyStation> ReadStationFile(std::string_view fileName, std::string_view bytes);

// "#EXTM3U", then "#EXTINF:-1,name" and the address for each station, UTF-8,
// "\n" line ends.
std::string WriteM3u(const std::vector<TMyStation>& stations);

// Whether `url` is an http or https address with a host. When it is not and
// whyNot is given, whyNot receives the reason in Chinese, for the dialog.
bool IsStationAddress(std::string_view url, std::string* whyNot);

// The host of an address (lower case, without port or user), the name an
// unnamed station takes; "" when there is none.
std::string HostOf(std::string_view url);
