// The user's own stations: the list, its file, and setting a broken file aside.

#include "catalogue/MyStations.h"

#include "catalogue/StationImport.h"
#include "catalogue/StationText.h"
#include "catalogue/XmlFile.h"
#include "platform/shell/SafeFile.h"

#include <tinyxml.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

constexpr const char* kRootName = "mystations";
constexpr const char* kStationName = "station";
// The format's version, written on the root; a reader of this version reads
// every file of a lower one.
constexpr int kFormatVersion = 1;

enum class EReadFile
{
    Read,
    Missing,
    Unreadable, // there, but it could not be read whole, or it is far too big
};

// Reads at most kMaxXmlFileBytes + 1 bytes, so that an oversized file is
// recognised without reading all of it.
EReadFile ReadBounded(const std::string& path, std::string* bytes)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR ? EReadFile::Missing : EReadFile::Unreadable;
    if (!S_ISREG(status.st_mode))
        return EReadFile::Unreadable;
    std::ifstream input(path, std::ios::binary);
    if (!input)
        return EReadFile::Unreadable;
    bytes->resize(static_cast<std::size_t>(kMaxXmlFileBytes) + 1);
    input.read(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    if (input.bad())
        return EReadFile::Unreadable;
    bytes->resize(static_cast<std::size_t>(input.gcount()));
    return EReadFile::Read;
}

// "<path>.broken-YYYYMMDD-HHMMSS" in local time, with "-2", "-3"... when a
// file of that name is already there (two broken files in one second).
std::string FreeSetAsideName(const std::string& path)
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = path + ".broken-" + stamp;
    std::string candidate = base;
    std::error_code error;
    for (int number = 2; std::filesystem::symlink_status(candidate, error).type() != std::filesystem::file_type::not_found &&
                         number < 1000;
         ++number)
        candidate = base + "-" + std::to_string(number);
    return candidate;
}

bool IsTrue(const char* text)
{
    return text != nullptr && (std::string_view(text) == "true" || std::string_view(text) == "1");
}

// ` name="value"`, the value escaped for a double-quoted attribute.
void AppendAttribute(std::string* text, const char* name, std::string_view value)
{
    *text += ' ';
    *text += name;
    *text += "=\"";
    for (const char ch : value) {
        switch (ch) {
        case '&': *text += "&amp;"; break;
        case '<': *text += "&lt;"; break;
        case '>': *text += "&gt;"; break;
        case '"': *text += "&quot;"; break;
        case '\'': *text += "&apos;"; break;
        default:
            if (static_cast<unsigned char>(ch) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "&#x%02X;", static_cast<unsigned char>(ch));
                *text += escaped;
            } else {
                *text += ch;
            }
        }
    }
    *text += '"';
}

} // namespace

bool ParseMyStations(std::string_view bytes, std::vector<TMyStation>* stations)
{
    stations->clear();
    TiXmlDocument document;
    const TXmlFileResult result = ParseXmlBytes(&document, std::string(bytes), false);
    if (result.status != EXmlFileStatus::Parsed || document.Error())
        return false;
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr || std::string_view(root->Value()) != kRootName)
        return false;

    CMyStations list;
    for (const TiXmlElement* element = root->FirstChildElement(kStationName); element != nullptr;
         element = element->NextSiblingElement(kStationName)) {
        TMyStation station;
        station.url = element->Attribute("url") != nullptr ? element->Attribute("url") : "";
        station.name = element->Attribute("name") != nullptr ? element->Attribute("name") : "";
        station.uuid = element->Attribute("uuid") != nullptr ? element->Attribute("uuid") : "";
        station.goneFromDirectory = IsTrue(element->Attribute("gone"));
        // An entry edited by hand into something that is no station, or met
        // twice, is dropped; the rest of the list is kept.
        list.Add(std::move(station));
    }
    *stations = list.Stations();
    return true;
}

// The file is printed here rather than by TinyXML's printer: that one passes
// a "&#x" already in a value through unescaped, so a name holding that text
// would read back as another name.
std::string FormatMyStations(const std::vector<TMyStation>& stations)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<";
    text += kRootName;
    text += " version=\"" + std::to_string(kFormatVersion) + "\">\n";
    for (const TMyStation& station : stations) {
        text += "  <";
        text += kStationName;
        AppendAttribute(&text, "name", station.name);
        AppendAttribute(&text, "url", station.url);
        if (!station.uuid.empty())
            AppendAttribute(&text, "uuid", station.uuid);
        if (station.goneFromDirectory)
            AppendAttribute(&text, "gone", "true");
        text += " />\n";
    }
    text += "</";
    text += kRootName;
    text += ">\n";
    return text;
}

MyStationsLoad CMyStations::Load(const std::string& filePath)
{
    path = filePath;
    setAsidePath.clear();
    stations.clear();
    saveRefused = false;

    std::string bytes;
    const EReadFile read = ReadBounded(path, &bytes);
    if (read == EReadFile::Missing)
        return MyStationsLoad::Missing;
    std::vector<TMyStation> loaded;
    if (read == EReadFile::Read && ParseMyStations(bytes, &loaded)) {
        stations = std::move(loaded);
        return MyStationsLoad::Loaded;
    }

    // Never written over: the file goes aside and the user starts empty. When
    // it cannot even be renamed, saving stays refused for this run, so the
    // file is still there for the user to mend.
    const std::string aside = FreeSetAsideName(path);
    if (std::rename(path.c_str(), aside.c_str()) == 0)
        setAsidePath = aside;
    else
        saveRefused = true;
    return MyStationsLoad::SetAside;
}

bool CMyStations::Save()
{
    if (path.empty() || saveRefused)
        return false;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, error);
    return static_cast<bool>(ReplaceFileContents(path.c_str(), FormatMyStations(stations)));
}

std::string CMyStations::SetAsidePath() const
{
    return setAsidePath;
}

const std::vector<TMyStation>& CMyStations::Stations() const
{
    return stations;
}

bool CMyStations::Empty() const
{
    return stations.empty();
}

int CMyStations::Find(std::string_view url) const
{
    const std::string_view wanted = TrimmedText(url);
    for (std::size_t i = 0; i < stations.size(); ++i) {
        if (stations[i].url == wanted)
            return static_cast<int>(i);
    }
    return -1;
}

bool CMyStations::Add(TMyStation station)
{
    station.url = std::string(TrimmedText(station.url));
    if (!IsStationAddress(station.url, nullptr) || Find(station.url) >= 0 ||
        stations.size() >= kMaxMyStations)
        return false;
    station.name = StationNameFor(station.name, station.url);
    station.uuid = CleanStationName(station.uuid);
    stations.push_back(std::move(station));
    return true;
}

int CMyStations::AddAll(const std::vector<TMyStation>& more)
{
    int added = 0;
    for (const TMyStation& station : more)
        added += Add(station) ? 1 : 0;
    return added;
}

bool CMyStations::Remove(int index)
{
    if (index < 0 || index >= static_cast<int>(stations.size()))
        return false;
    stations.erase(stations.begin() + index);
    return true;
}

bool CMyStations::MoveUp(int index)
{
    if (index <= 0 || index >= static_cast<int>(stations.size()))
        return false;
    std::swap(stations[static_cast<std::size_t>(index)], stations[static_cast<std::size_t>(index) - 1]);
    return true;
}

bool CMyStations::MoveDown(int index)
{
    if (index < 0 || index + 1 >= static_cast<int>(stations.size()))
        return false;
    std::swap(stations[static_cast<std::size_t>(index)], stations[static_cast<std::size_t>(index) + 1]);
    return true;
}

bool CMyStations::Rename(int index, std::string name)
{
    if (index < 0 || index >= static_cast<int>(stations.size()))
        return false;
    TMyStation& station = stations[static_cast<std::size_t>(index)];
    station.name = StationNameFor(name, station.url);
    return true;
}

bool CMyStations::SetUrl(int index, std::string url)
{
    if (index < 0 || index >= static_cast<int>(stations.size()))
        return false;
    url = std::string(TrimmedText(url));
    const int holder = Find(url);
    if (!IsStationAddress(url, nullptr) || (holder >= 0 && holder != index))
        return false;
    stations[static_cast<std::size_t>(index)].url = std::move(url);
    return true;
}

bool CMyStations::SetMovedAddress(int index, std::string url, const std::string& uuid)
{
    if (!SetUrl(index, std::move(url)))
        return false;
    TMyStation& station = stations[static_cast<std::size_t>(index)];
    const std::string cleaned = CleanStationName(uuid);
    if (!station.uuid.empty() && !cleaned.empty()) {
        station.uuid = cleaned;
        station.goneFromDirectory = false;
    }
    return true;
}
