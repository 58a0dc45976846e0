#pragma once

// The user's own stations: the list of the "my stations" page, kept in
// mystations.xml (format in docs/data-formats.md). Loaded once at start,
// saved whole after every change through the one safe file replacement, so a
// save cut short leaves the previous file in place.
//
// A file that cannot be read as the list (not XML, wrong root, beyond the
// bounds of outside data) is never written over: it is renamed aside with a
// time suffix and the user starts with an empty list.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Most stations the list holds; far above any real list, it bounds what a
// hostile file or import can make the program keep and draw.
constexpr std::size_t kMaxMyStations = 10000;

struct TMyStation
{
    std::string name;               // UTF-8
    std::string url;                // http or https
    std::string uuid;               // the station directory's id, empty for stations added by hand
    bool goneFromDirectory = false; // kept, but the directory no longer lists it
};

enum class MyStationsLoad
{
    Loaded,   // read (an empty list is a list too)
    Missing,  // no file yet: the list is empty
    SetAside, // broken file renamed (SetAsidePath), list empty
};

class CMyStations
{
public:
    MyStationsLoad Load(const std::string& path); // remembers the path for Save
    bool Save();                                  // the one safe replacement; false on failure
    std::string SetAsidePath() const;             // where a broken file went ("" if none)
    const std::vector<TMyStation>& Stations() const;
    bool Empty() const;
    int Find(std::string_view url) const;                // index or -1 (addresses compared exactly, after trimming)
    // False (and nothing added) when the address is there, is no station
    // address (IsStationAddress), or the list is full. The name is cleaned of
    // control characters; an empty one takes the address's host.
    bool Add(TMyStation station);
    int AddAll(const std::vector<TMyStation>& stations); // number added, duplicates skipped
    bool Remove(int index);
    bool MoveUp(int index);
    bool MoveDown(int index);
    bool Rename(int index, std::string name);
    bool SetUrl(int index, std::string url); // false when another entry has that address, or it is no station address
    // The station moved to `url`, found in the directory as `uuid`: the new
    // address as SetUrl takes it, and a station kept from the directory
    // follows the record it moved to (not marked gone any more), so that a
    // later refresh of the old record does not bring the dead address back.
    // A station added by hand stays one. False as SetUrl, nothing changed.
    bool SetMovedAddress(int index, std::string url, const std::string& uuid);

private:
    std::string path;
    std::string setAsidePath;
    bool saveRefused = false; // a broken file that could not be set aside is never written over
    std::vector<TMyStation> stations;
};

// The file's text as Load reads it: false when it is not a list of ours (not
// XML, another root, beyond the bounds). Entries that are no station address,
// or repeat one, are dropped.
bool ParseMyStations(std::string_view bytes, std::vector<TMyStation>* stations);
// The text Save writes: UTF-8 XML, every name and address escaped, that
// ParseMyStations reads back as the same list.
std::string FormatMyStations(const std::vector<TMyStation>& stations);
