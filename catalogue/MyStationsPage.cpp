// The user's own stations in the main window: loading them at start, the
// entry on the category page, their station page with its add, import and
// export buttons, the now-playing card's toggle, the context menu of every
// station option, and files and links dropped on the window. GUI thread.

#include "app/MenuWnd.h"
#include "app/RadioWnd.h"
#include "app/StationDlg.h"
#include "catalogue/StationImport.h"
#include "catalogue/StationPages.h"
#include "platform/shell/SafeFile.h"
#include "platform/shell/Shell.h"
#include "platform/win/WinDrop.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kMyStationsTitle = "我的电台";
// The second line of a kept directory station the directory no longer lists.
constexpr const char* kGoneMark = "目录中已无此电台";

// Largest station file read, in bytes: far beyond any real playlist.
constexpr std::streamsize kMostStationFileBytes = 8 * 1024 * 1024;
// Room for a chosen file's path, in bytes; paths are never cut.
constexpr DWORD kPathBufferBytes = 4096;

// Display text and patterns, each ended by a NUL, the list by a second one.
const char kImportFilter[] =
    "电台列表(*.m3u,*.m3u8,*.pls,*.xspf,stations.xml,bookmarks.json)\0"
    "*.m3u;*.m3u8;*.pls;*.xspf;stations.xml;bookmarks.json\0"
    "所有文件(*)\0*\0";
const char kExportFilter[] = "M3U 播放列表(*.m3u)\0*.m3u\0";

const char* const kEntryButtonList =
    "width=\"140\" name=\"mystations\" align=\"left\" textpadding=\"10,0,0,0\" textcolor=\"#FF990225\" "
    "hotimage=\"file='bk_light.png' xtiled='true' ytiled='true'\" tooltip=\"打开我的电台\"";

// The buttons the title row of the page gains, after the title.
const char* const kPageButtonList =
    "width=\"52\" name=\"%s\" text=\"%s\" tooltip=\"%s\" textcolor=\"#FF990225\" "
    "hotimage=\"file='bk_light.png' xtiled='true' ytiled='true'\" "
    "pushedimage=\"file='bk_gray.png' xtiled='true' ytiled='true'\"";

struct TPageButton
{
    const char* name;
    const char* text;
    const char* tip;
};
constexpr TPageButton kPageButtons[] = {
    {"mineadd", "添加", "按地址添加电台"},
    {"mineimport", "导入…", "从播放列表或其他播放器的电台列表导入"},
    {"mineexport", "导出…", "把我的电台存为 M3U 播放列表"},
};

// Entries of the station context menu ("menustation.xml").
constexpr const char* kMenuAddMine = "menuaddmine";
constexpr const char* kMenuRemoveMine = "menuremovemine";
constexpr const char* kMenuMoveUp = "menumoveup";
constexpr const char* kMenuMoveDown = "menumovedown";
constexpr const char* kMenuRename = "menurename";
constexpr const char* kMenuCopyUrl = "menucopyurl";
constexpr const char* kMenuAddStation = "menuaddstation";

// The toggle's looks.
const char* const kToggleOffNormal = "file='btn_fav_nor.png'";
const char* const kToggleOffHot = "file='btn_fav_hot.png'";
const char* const kToggleOnNormal = "file='btn_faved_nor.png'";
const char* const kToggleOnHot = "file='btn_faved_hot.png'";

std::vector<TStation> AsStations(const std::vector<TMyStation>& mine)
{
    std::vector<TStation> stations;
    stations.reserve(mine.size());
    for (const TMyStation& station : mine)
        stations.push_back({station.name.c_str(), station.url.c_str(), station.goneFromDirectory ? kGoneMark : ""});
    return stations;
}

// The whole file, or false when it cannot be read or is beyond the bound.
bool ReadStationFileBytes(const std::string& path, std::string& bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes.assign(static_cast<std::size_t>(kMostStationFileBytes) + 1, '\0');
    file.read(bytes.data(), kMostStationFileBytes + 1);
    const std::streamsize read = file.gcount();
    if (read > kMostStationFileBytes || file.bad())
        return false;
    bytes.resize(static_cast<std::size_t>(read));
    return true;
}

bool IsWebLink(const std::string& item)
{
    auto startsWith = [&](const char* prefix) {
        const std::size_t length = std::char_traits<char>::length(prefix);
        if (item.size() < length)
            return false;
        for (std::size_t i = 0; i < length; ++i)
            if (std::tolower(static_cast<unsigned char>(item[i])) != prefix[i])
                return false;
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

// A file:// URL as the path it names (percent escapes decoded); other items
// stay as they are.
std::string LocalPath(const std::string& item)
{
    const std::string scheme = "file://";
    if (item.compare(0, scheme.size(), scheme) != 0)
        return item;
    std::string path;
    for (std::size_t i = scheme.size(); i < item.size(); ++i) {
        if (item[i] == '%' && i + 2 < item.size() && std::isxdigit(static_cast<unsigned char>(item[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(item[i + 2]))) {
            path += static_cast<char>(std::stoi(item.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += item[i];
        }
    }
    // "file://host/path": the path starts at its first slash.
    const std::size_t slash = path.find('/');
    return slash == std::string::npos ? std::string() : path.substr(slash);
}

} // namespace

void CRadioWnd::LoadMyStations()
{
    // A missing file is an empty list; a broken one has been set aside by the
    // load, and the user starts empty: neither stops the start.
    myStations.Load(CurrentFileLayout().myStationsFile);
}

void CRadioWnd::AddMyStationsEntry()
{
    if (sortsPanel == nullptr || myStations.Empty())
        return;
    CButtonUI* entry = AddCategoryEntry(kMyStationsTitle, kEntryButtonList);
    CStdString text;
    text.Format("%s (%d)", kMyStationsTitle, static_cast<int>(myStations.Stations().size()));
    entry->SetText(text);
    AddCategoryGap();
}

void CRadioWnd::ShowMyStations()
{
    if (radiosContent == nullptr)
        return;
    if (myStations.Empty()) {
        if (sortsPanel != nullptr)
            sortsPanel->SetVisible(true);
        if (radiosPanel != nullptr)
            radiosPanel->SetVisible(false);
        myStationsPageShown = false;
        return;
    }
    if (sortsPanel != nullptr)
        sortsPanel->SetVisible(false);
    if (radiosPanel != nullptr)
        radiosPanel->SetVisible(true);
    BuildStationPage(*this, kMyStationsTitle, AsStations(myStations.Stations()));
    myStationsPageShown = true;

    // The title row is the page's first child: title, then the buttons.
    auto* titleRow = static_cast<CContainerUI*>(radiosContent->GetItemAt(0)->GetInterface("Container"));
    if (titleRow == nullptr)
        return;
    for (const TPageButton& button : kPageButtons) {
        auto* control = new CButtonUI();
        CStdString list;
        list.Format(kPageButtonList, button.name, button.text, button.tip);
        control->ApplyAttributeList(list);
        titleRow->Add(control);
    }
    auto* margin = new CControlUI();
    margin->ApplyAttributeList("width=\"10\"");
    titleRow->Add(margin);
}

bool CRadioWnd::HandleMyStationsNotify(TNotifyUI& msg)
{
    CControlUI* sender = msg.pSender;
    const CStdString& type = msg.sType;
    const CStdString name = sender != nullptr ? sender->GetName() : CStdString();

    if (type == "click") {
        if (name == "mystations") {
            ShowMyStations();
        } else if (name == "favbtn") {
            ToggleFavourite();
        } else if (name == "mineadd") {
            OpenStationDialog(-1);
        } else if (name == "mineimport") {
            ImportStations();
        } else if (name == "mineexport") {
            ExportStations();
        } else {
            return false;
        }
        return true;
    }
    if (type == "menu" && name == "fmradio") {
        OpenStationMenu(sender);
        return true;
    }
    if (type == kMenuAddMine || type == kMenuRemoveMine || type == kMenuMoveUp || type == kMenuMoveDown ||
        type == kMenuRename || type == kMenuCopyUrl || type == kMenuAddStation) {
        RunStationMenuEntry(type);
        return true;
    }
    return false;
}

bool CRadioWnd::MyStationsChanged()
{
    const bool saved = myStations.Save();
    if (!saved && statusLabel != nullptr)
        statusLabel->SetText("我的电台未能保存");
    // The pages are rebuilt from the queue: the change may come from a
    // control of the page, inside its own notification.
    if (!myStationsRefreshQueued && hWnd != nullptr) {
        myStationsRefreshQueued = true;
        ::PostMessage(hWnd, WM_MYSTATIONS_CHANGED, 0, 0);
    }
    UpdateFavouriteToggle();
    return saved;
}

void CRadioWnd::RefreshMyStations()
{
    myStationsRefreshQueued = false;
    // The category page keeps the region or style chosen on it unless the
    // entry comes or goes; only its count changes otherwise.
    const bool entryShown = paintManager.FindControl("mystations") != nullptr;
    if (entryShown == myStations.Empty()) {
        BuildCategoryPage();
    } else if (CControlUI* entry = paintManager.FindControl("mystations")) {
        CStdString text;
        text.Format("%s (%d)", kMyStationsTitle, static_cast<int>(myStations.Stations().size()));
        entry->SetText(text);
    }
    if (myStationsPageShown && radiosPanel != nullptr && radiosPanel->IsVisible())
        ShowMyStations();
    UpdateFavouriteToggle();
}

void CRadioWnd::UpdateFavouriteToggle()
{
    if (favouriteButton == nullptr)
        return;
    if (currentStationUrl.IsEmpty()) {
        favouriteButton->SetVisible(false);
        return;
    }
    const bool mine = myStations.Find(currentStationUrl.GetData()) >= 0;
    favouriteButton->SetText(mine ? "已收藏" : "收藏");
    favouriteButton->SetToolTip(mine ? "从我的电台移除" : "加入我的电台");
    favouriteButton->SetNormalImage(mine ? kToggleOnNormal : kToggleOffNormal);
    favouriteButton->SetHotImage(mine ? kToggleOnHot : kToggleOffHot);
    favouriteButton->SetVisible(true);
}

void CRadioWnd::ToggleFavourite()
{
    if (currentStationUrl.IsEmpty())
        return;
    const int index = myStations.Find(currentStationUrl.GetData());
    if (index >= 0)
        myStations.Remove(index);
    else if (!myStations.Add({currentStationName.GetData(), currentStationUrl.GetData(), "", false}))
        return;
    MyStationsChanged();
}

void CRadioWnd::OpenStationMenu(CControlUI* option)
{
    if (option == nullptr || radiosPanel == nullptr)
        return;
    menuStationName = option->GetText();
    menuStationUrl = option->GetUserData();
    const int index = myStations.Find(menuStationUrl.GetData());

    std::vector<CStdString> hidden;
    hidden.emplace_back(index >= 0 ? kMenuAddMine : kMenuRemoveMine);
    const bool onMyPage = myStationsPageShown && index >= 0;
    if (!onMyPage || index == 0)
        hidden.emplace_back(kMenuMoveUp);
    if (!onMyPage || index + 1 >= static_cast<int>(myStations.Stations().size()))
        hidden.emplace_back(kMenuMoveDown);
    if (index < 0)
        hidden.emplace_back(kMenuRename);

    POINT cursor = {0, 0};
    ::GetCursorPos(&cursor);
    // The menu reports through the station panel, which outlives every page
    // rebuild; the station is kept here, not as the sender.
    auto* menu = new CMenuWnd();
    menu->hiddenEntries = hidden;
    menu->Popup(radiosPanel, cursor.x, cursor.y, "menustation.xml");
}

void CRadioWnd::RunStationMenuEntry(const CStdString& entry)
{
    const std::string url = menuStationUrl.GetData();
    const int index = myStations.Find(url);
    if (entry == kMenuAddMine) {
        if (myStations.Add({menuStationName.GetData(), url, "", false}))
            MyStationsChanged();
    } else if (entry == kMenuRemoveMine) {
        if (myStations.Remove(index))
            MyStationsChanged();
    } else if (entry == kMenuMoveUp) {
        if (myStations.MoveUp(index))
            MyStationsChanged();
    } else if (entry == kMenuMoveDown) {
        if (myStations.MoveDown(index))
            MyStationsChanged();
    } else if (entry == kMenuRename) {
        if (index >= 0) {
            const TMyStation& station = myStations.Stations()[static_cast<std::size_t>(index)];
            OpenStationDialog(index, station.name.c_str(), station.url.c_str());
        }
    } else if (entry == kMenuCopyUrl) {
        ::SetClipboardText(url.c_str());
    } else if (entry == kMenuAddStation) {
        OpenStationDialog(-1);
    }
}

std::string CRadioWnd::StoreStation(int index, std::string name, std::string url)
{
    auto trim = [](std::string& text) {
        const char* blanks = " \t\r\n";
        const std::size_t first = text.find_first_not_of(blanks);
        text = first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(blanks) - first + 1);
    };
    trim(name);
    trim(url);
    std::string whyNot;
    if (!IsStationAddress(url, &whyNot))
        return whyNot.empty() ? std::string("这不是可以收听的地址") : whyNot;
    if (name.empty())
        name = HostOf(url);

    const int existing = myStations.Find(url);
    if (index < 0) {
        if (existing >= 0)
            return "这个地址已在我的电台中：" + myStations.Stations()[static_cast<std::size_t>(existing)].name;
        if (!myStations.Add({name, url, "", false}))
            return "这个地址已在我的电台中";
        if (!MyStationsChanged()) {
            myStations.Remove(myStations.Find(url));
            MyStationsChanged();
            return "无法保存我的电台";
        }
        return std::string();
    }

    if (index >= static_cast<int>(myStations.Stations().size()))
        return "这个电台已不在我的电台中";
    if (existing >= 0 && existing != index)
        return "另一个电台已用这个地址：" + myStations.Stations()[static_cast<std::size_t>(existing)].name;
    const TMyStation before = myStations.Stations()[static_cast<std::size_t>(index)];
    myStations.Rename(index, name);
    myStations.SetUrl(index, url);
    if (!MyStationsChanged()) {
        myStations.Rename(index, before.name);
        myStations.SetUrl(index, before.url);
        MyStationsChanged();
        return "无法保存我的电台";
    }
    return std::string();
}

void CRadioWnd::OpenStationDialog(int index, const char* name, const char* url)
{
    if (CDialogWnd::BringRunningDialogForward())
        return;
    auto* dialog = new CStationDlg(backgroundImage, foreImage);
    dialog->owner = this;
    dialog->stationIndex = index;
    dialog->initialName = name != nullptr ? name : "";
    dialog->initialUrl = url != nullptr ? url : "";
    dialog->Create(hWnd, index < 0 ? "添加电台" : "修改电台", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
    dialog->CenterWindow();
    dialog->DoModal(); // the dialog deletes itself after its last message
}

int CRadioWnd::AddStationItems(const std::vector<std::string>& items)
{
    std::vector<TMyStation> found;
    for (const std::string& item : items) {
        if (IsWebLink(item)) {
            // A link to a playlist is an address too: the player resolves it.
            if (IsStationAddress(item, nullptr))
                found.push_back({HostOf(item), item, "", false});
            continue;
        }
        const std::string path = LocalPath(item);
        std::string bytes;
        if (path.empty() || !ReadStationFileBytes(path, bytes))
            continue;
        for (TMyStation& station : ReadStationFile(path, bytes))
            found.push_back(std::move(station));
    }
    const int added = myStations.AddAll(found);
    if (added > 0)
        MyStationsChanged();
    return added;
}

void CRadioWnd::ImportStations()
{
    std::vector<char> file(kPathBufferBytes, '\0');
    OPENFILENAME request = {};
    request.lStructSize = kOpenFileNameSize;
    request.hwndOwner = hWnd;
    request.lpstrFilter = kImportFilter;
    request.lpstrFile = file.data();
    request.nMaxFile = kPathBufferBytes;
    request.lpstrTitle = "导入电台";
    request.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!::GetOpenFileName(&request))
        return;
    const int added = AddStationItems({std::string(file.data())});
    if (statusLabel != nullptr) {
        CStdString text;
        text.Format("导入了 %d 个电台", added);
        statusLabel->SetText(text);
    }
    if (added > 0 && !myStationsPageShown)
        ShowMyStations();
}

void CRadioWnd::ExportStations()
{
    std::vector<char> file(kPathBufferBytes, '\0');
    const std::string suggested = "我的电台.m3u";
    std::copy(suggested.begin(), suggested.end(), file.begin());
    OPENFILENAME request = {};
    request.lStructSize = kOpenFileNameSize;
    request.hwndOwner = hWnd;
    request.lpstrFilter = kExportFilter;
    request.lpstrFile = file.data();
    request.nMaxFile = kPathBufferBytes;
    request.lpstrTitle = "导出电台";
    request.lpstrDefExt = "m3u";
    request.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!::GetSaveFileName(&request))
        return;
    const bool written = static_cast<bool>(ReplaceFileContents(file.data(), WriteM3u(myStations.Stations())));
    if (statusLabel != nullptr)
        statusLabel->SetText(written ? "我的电台已导出" : "导出失败");
}

void CRadioWnd::OnDropFiles(WPARAM drop)
{
    auto* handle = reinterpret_cast<HDROP>(drop);
    const std::vector<std::string> items = DroppedItems(handle);
    ::DragFinish(handle);
    if (AddStationItems(items) > 0 || !items.empty())
        ShowMyStations();
}
