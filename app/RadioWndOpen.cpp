// Opening what a start was given: station files and addresses from the
// command line, or forwarded by a later start to the running player. GUI
// thread.

#include "app/RadioWndOpen.h"

#include "app/RadioWnd.h"
#include "catalogue/StationImport.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// Largest station file read, in bytes; the reader refuses anything larger.
constexpr std::streamsize kMostOpenedFileBytes = 4 * 1024 * 1024;

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

// The path a "file://[localhost]/path" address names, percent escapes
// decoded; "" for a file address of another host.
std::string PathOfFileAddress(const std::string& item)
{
    std::string rest = item.substr(7);
    const std::size_t slash = rest.find('/');
    if (slash == std::string::npos)
        return {};
    const std::string host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost")
        return {};
    std::string path;
    for (std::size_t i = slash; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
            path += static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

// The stations of one item: an http(s) address is one station named by its
// host (an address of a playlist too: the player resolves playlists); a path
// or a file:// address is a station file.
std::vector<TMyStation> StationsOfItem(const std::string& item)
{
    if (StartsWithNoCase(item, "http://") || StartsWithNoCase(item, "https://")) {
        if (!IsStationAddress(item, nullptr))
            return {};
        return {{HostOf(item), item, "", false}};
    }
    const std::string path = StartsWithNoCase(item, "file://") ? PathOfFileAddress(item) : item;
    if (path.empty())
        return {};
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    std::string bytes(static_cast<std::size_t>(kMostOpenedFileBytes) + 1, '\0');
    file.read(bytes.data(), kMostOpenedFileBytes + 1);
    if (file.bad() || file.gcount() > kMostOpenedFileBytes)
        return {};
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return ReadStationFile(path, bytes);
}

} // namespace

std::vector<std::string> OpenItemsFromArguments(int argc, const char* const* argv)
{
    std::vector<std::string> items;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i] != nullptr ? argv[i] : "";
        if (argument.empty())
            continue;
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument[0] == '-')
            continue;
        if (argument.find("://") != std::string::npos || argument[0] == '/') {
            items.push_back(argument);
            continue;
        }
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(argument, error);
        items.push_back(error ? argument : absolute.lexically_normal().string());
    }
    return items;
}

void CRadioWnd::OpenStationItems(const std::vector<std::string>& items)
{
    std::vector<TMyStation> found;
    for (const std::string& item : items) {
        for (TMyStation& station : StationsOfItem(item))
            found.push_back(std::move(station));
    }
    if (found.empty())
        return;
    if (myStations.AddAll(found) > 0)
        MyStationsChanged();

    // The first station plays as if double-clicked on the page of the
    // user's stations, so "prev" and "next" step through that page. Its
    // name is the one kept in the list: a station already there keeps the
    // name the user gave it.
    const int index = myStations.Find(found.front().url);
    if (index < 0)
        return; // the list is full
    const TMyStation& first = myStations.Stations()[static_cast<std::size_t>(index)];
    ShowMyStations();
    if (CStdPtrArray* group = paintManager.GetOptionGroup("radios")) {
        for (int i = 0; i < group->GetSize(); ++i) {
            auto* option = static_cast<CControlUI*>(group->GetAt(i));
            if (option->GetUserData() == first.url.c_str()) {
                if (auto* selectable = static_cast<COptionUI*>(option->GetInterface("Option")))
                    selectable->Selected(true);
                paintManager.SendNotify(option, "dbclick", 0, 0, false);
                return;
            }
        }
    }
    // A window without the page's controls still plays the station.
    CControlUI stand;
    stand.SetText(first.name.c_str());
    stand.SetUserData(first.url.c_str());
    ChooseStation(&stand);
    RememberStation();
    PublishMediaState();
}
