// The station directory in the main window: the search box (Ctrl+F, Enter or
// a pause in typing searches, an emptied box goes back), the search page
// (the stations already here first, then the directory's, page by page), the
// directory's page of Chinese-language stations with its tag row, what a
// chosen directory station brings along (its click, its other address),
// keeping one in my stations with its id, and the daily refresh of those.
// GUI thread; the directory's requests run on its own worker.
//
// Pages are rebuilt only from a timer or a posted result, never inside the
// notification of a control the rebuild removes.

#include "app/RadioWnd.h"
#include "catalogue/StationPages.h"
#include "directory/LocalMatches.h"
#include "platform/shell/SafeFile.h"
#include "uilib/controls/EditUI.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace {

// Milliseconds without typing before the box's text is searched.
constexpr UINT kSearchDelayMilliseconds = 750;
// Milliseconds before a deferred page change runs: at once, after the
// notification that asked for it has returned.
constexpr UINT kDeferredMilliseconds = 1;
// Seconds between two refreshes of my directory stations.
constexpr std::time_t kRefreshIntervalSeconds = 24 * 60 * 60;
// Directory stations remembered by address for playing and keeping.
constexpr std::size_t kMostRememberedStations = 5000;
// Tag options to a row of the directory's page, and tags shown.
constexpr std::size_t kTagsPerRow = 8;
constexpr std::size_t kMostTags = 16;

constexpr const char* kSearchTitlePrefix = "搜索: ";
constexpr const char* kDirectoryTitle = "电台目录";
constexpr const char* kSearching = "正在搜索...";
constexpr const char* kUnreachable = "无法连接电台目录";
constexpr const char* kNothingFound = "没有找到电台";

const char* const kStatusRowList = "name=\"dirstatus\" height=\"36\" inset=\"0,6,10,0\"";
const char* const kStatusLabelList =
    "name=\"dirstatustext\" width=\"170\" textpadding=\"10,0,0,0\" textcolor=\"#FF6B5A5E\"";
const char* const kStatusButtonList =
    "name=\"dirmore\" width=\"80\" textcolor=\"#FF990225\" normalimage=\"file='bk_gray2.png' xtiled='true' "
    "ytiled='true'\" hotimage=\"file='bk_light.png' xtiled='true' ytiled='true'\" pushedimage=\"file='bk_gray.png' "
    "xtiled='true' ytiled='true'\"";
const char* const kTagRowList = "height=\"30\" inset=\"0,5,10,0\"";
const char* const kTagOptionList =
    "width=\"70\" group=\"dirtags\" name=\"dirtag\" textcolor=\"#FF990225\" hotimage=\"file='bk_light.png' "
    "xtiled='true' ytiled='true'\" selectedimage=\"file='bk_gray.png' xtiled='true' ytiled='true'\"";

const char* const kEntryButtonList =
    "width=\"160\" name=\"dirbrowse\" text=\"浏览中文电台\" align=\"left\" textpadding=\"10,0,0,0\" "
    "textcolor=\"#FF990225\" hotimage=\"file='bk_light.png' xtiled='true' ytiled='true'\" "
    "tooltip=\"公共电台目录中的中文电台，按收听次数排列\"";

std::string Trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The index of a child of the container, or -1.
int IndexOf(CContainerUI* container, CControlUI* child)
{
    for (int i = 0; container != nullptr && i < container->GetCount(); ++i)
        if (container->GetItemAt(i) == child)
            return i;
    return -1;
}

// Where the time of the last refresh of my directory stations is kept:
// beside my stations' file.
std::string RefreshStampPath()
{
    return (std::filesystem::path(CurrentFileLayout().myStationsFile).parent_path() / "directory-refresh.txt").string();
}

// Seconds since the epoch of the last refresh; 0 when never (or unreadable).
std::time_t ReadRefreshStamp()
{
    std::ifstream file(RefreshStampPath());
    char text[32] = {};
    file.read(text, sizeof text - 1);
    char* end = nullptr;
    const long long seconds = std::strtoll(text, &end, 10);
    return end != text && seconds > 0 ? static_cast<std::time_t>(seconds) : 0;
}

} // namespace

bool CRadioWnd::HandleSearchKey(WPARAM key)
{
    if (key != 'F' || ::GetKeyState(VK_CONTROL) >= 0 || !::IsWindowEnabled(hWnd))
        return false;
    FocusSearchBox();
    return true;
}

void CRadioWnd::FocusSearchBox()
{
    if (searchEdit == nullptr || !searchEdit->IsVisible())
        return;
    paintManager.SetFocus(searchEdit);
    searchEdit->SelectAll();
}

bool CRadioWnd::HandleSearchNotify(TNotifyUI& msg)
{
    CControlUI* sender = msg.pSender;
    const CStdString& type = msg.sType;
    const CStdString name = sender != nullptr ? sender->GetName() : CStdString();

    if (sender != nullptr && sender == searchEdit) {
        const std::string text = Trimmed(searchEdit->GetText().GetData());
        if (type == "textchanged") {
            ::KillTimer(hWnd, kSearchTimer);
            pendingSearch = EPendingSearch::None;
            if (text.empty()) {
                ReturnFromSearch();
            } else {
                pendingSearch = EPendingSearch::Search;
                ::SetTimer(hWnd, kSearchTimer, kSearchDelayMilliseconds, nullptr);
            }
        } else if (type == "return") {
            ::KillTimer(hWnd, kSearchTimer);
            pendingSearch = EPendingSearch::None;
            if (text.empty())
                ReturnFromSearch();
            else
                StartSearch(text);
        }
        return true;
    }

    if (type == "click") {
        // The pages of the catalogue and of my stations: remembered, so that
        // an emptied search box comes back to them; the usual dispatch builds them.
        if (name == "citys" || name == "styles" || name == "mystations") {
            contentPage = name == "citys" ? EPreviousPage::Region
                          : name == "styles" ? EPreviousPage::Style
                                             : EPreviousPage::MyStations;
            contentPageName = name == "mystations" ? std::string() : std::string(sender->GetText().GetData());
            stationView = EStationView::Other;
            viewSerial = 0;
            return false;
        }
        if (name == "dirbrowse") {
            ShowDirectoryPage("");
            return true;
        }
        if (name == "dirtag") {
            pendingTag = sender->GetUserData().GetData();
            pendingSearch = EPendingSearch::Tag;
            ::SetTimer(hWnd, kSearchTimer, kDeferredMilliseconds, nullptr);
            return true;
        }
        if (name == "dirmore") {
            // "更多" and "重试" both ask for the page that is missing.
            if (directory == nullptr || stationView == EStationView::Other)
                return true;
            viewSerial = stationView == EStationView::Search ? directory->Search(viewText, viewNextPage)
                                                             : directory->Browse(viewNextPage, viewText);
            directoryWait = EDirectoryWait::Waiting;
            UpdateDirectoryStatus();
            return true;
        }
        if (name == "favbtn" && !currentStationUuid.empty() && currentStationFallbackFor == currentStationUrl.GetData() &&
            myStations.Find(currentStationUrl.GetData()) < 0) {
            if (myStations.Add({currentStationName.GetData(), currentStationUrl.GetData(), currentStationUuid, false}))
                MyStationsChanged();
            return true;
        }
        return false;
    }

    if ((type == "dbclick" || type == "itemactivate") && name == "fmradio") {
        // Seen here, chosen by the usual dispatch: what a directory station
        // brings along, and its click for the directory.
        NoteChosenStation(sender->GetUserData().GetData());
        return false;
    }

    if (type == "menuaddmine") {
        const auto found = directoryStations.find(menuStationUrl.GetData());
        if (found == directoryStations.end())
            return false;
        if (myStations.Add({menuStationName.GetData(), found->first, found->second.uuid, false}))
            MyStationsChanged();
        return true;
    }
    return false;
}

void CRadioWnd::NoteChosenStation(const std::string& url)
{
    currentStationUuid.clear();
    currentStationFallback.clear();
    currentStationFallbackFor = url;
    const auto found = directoryStations.find(url);
    if (found != directoryStations.end()) {
        const TDirectoryStation& station = found->second;
        currentStationUuid = station.uuid;
        if (!station.url.empty() && station.url != url)
            currentStationFallback = station.url;
    } else if (const int index = myStations.Find(url); index >= 0) {
        currentStationUuid = myStations.Stations()[static_cast<std::size_t>(index)].uuid;
    }
    if (!currentStationUuid.empty() && directory != nullptr)
        directory->CountClick(currentStationUuid);
}

bool CRadioWnd::PlayStationFallback()
{
    if (currentStationFallback.empty() || currentStationFallbackFor != currentStationUrl.GetData())
        return false;
    currentStationUrl = currentStationFallback.c_str();
    currentStationFallbackFor = currentStationFallback;
    currentStationFallback.clear();
    failureText.Empty();
    CancelRestart();
    restartCount = 0;
    ::SetEvent(switchEvent);
    return true;
}

void CRadioWnd::OnSearchTimer()
{
    ::KillTimer(hWnd, kSearchTimer);
    const EPendingSearch pending = pendingSearch;
    pendingSearch = EPendingSearch::None;
    if (pending == EPendingSearch::Search && searchEdit != nullptr) {
        const std::string text = Trimmed(searchEdit->GetText().GetData());
        if (!text.empty())
            StartSearch(text);
    } else if (pending == EPendingSearch::Tag) {
        ShowDirectoryPage(pendingTag);
    }
}

void CRadioWnd::ShowStationPanel()
{
    if (sortsPanel != nullptr)
        sortsPanel->SetVisible(false);
    if (radiosPanel != nullptr)
        radiosPanel->SetVisible(true);
}

void CRadioWnd::StartSearch(const std::string& text)
{
    if (radiosContent == nullptr)
        return;
    // A new search from another page remembers that page; one search after
    // another keeps the page before the first.
    const bool searchShown = stationView == EStationView::Search && radiosPanel != nullptr && radiosPanel->IsVisible();
    if (!searchShown) {
        const bool categoryShown = radiosPanel == nullptr || !radiosPanel->IsVisible();
        previousPage = categoryShown ? EPreviousPage::Category : contentPage;
        previousPageName = categoryShown ? std::string() : contentPageName;
    }
    ShowStationPanel();

    std::vector<TNamedUrl> own;
    for (const TMyStation& station : myStations.Stations())
        own.push_back({station.name, station.url});
    const TiXmlDocument empty;
    const std::vector<TNamedUrl> local = LocalMatches(catalogueDoc ? *catalogueDoc : empty, own, text);
    std::vector<TStation> stations;
    viewAddresses.clear();
    for (const TNamedUrl& match : local) {
        stations.push_back({match.name.c_str(), match.url.c_str(), ""});
        viewAddresses.insert(match.url);
    }
    const std::string title = kSearchTitlePrefix + text;
    BuildStationPage(*this, title.c_str(), stations);
    stationView = EStationView::Search;
    viewText = text;
    viewNextPage = 0;
    viewMorePages = false;
    viewFoundAny = !stations.empty();
    AddDirectoryStatus();
    RequestFirstPage();
}

void CRadioWnd::ShowDirectoryPage(const std::string& tag)
{
    if (radiosContent == nullptr)
        return;
    ShowStationPanel();
    BuildStationPage(*this, kDirectoryTitle, {});
    stationView = EStationView::Directory;
    contentPage = EPreviousPage::Directory;
    contentPageName = tag;
    viewText = tag;
    viewNextPage = 0;
    viewMorePages = false;
    viewFoundAny = false;
    viewAddresses.clear();
    AddTagRows();
    AddDirectoryStatus();
    RequestFirstPage();
}

void CRadioWnd::RequestFirstPage()
{
    if (directory == nullptr) {
        viewSerial = 0;
        directoryWait = EDirectoryWait::Unreachable;
    } else {
        viewSerial = stationView == EStationView::Search ? directory->Search(viewText, 0) : directory->Browse(0, viewText);
        directoryWait = EDirectoryWait::Waiting;
    }
    UpdateDirectoryStatus();
}

void CRadioWnd::ReturnFromSearch()
{
    if (stationView != EStationView::Search || radiosPanel == nullptr || !radiosPanel->IsVisible())
        return;
    viewSerial = 0;
    const std::string name = previousPageName;
    switch (previousPage) {
    case EPreviousPage::Category:
        if (sortsPanel != nullptr)
            sortsPanel->SetVisible(true);
        radiosPanel->SetVisible(false);
        break;
    case EPreviousPage::Region:
        stationView = EStationView::Other;
        ShowRegionStations(name.c_str());
        break;
    case EPreviousPage::Style:
        stationView = EStationView::Other;
        ShowStyleStations(name.c_str());
        break;
    case EPreviousPage::MyStations:
        stationView = EStationView::Other;
        ShowMyStations();
        break;
    case EPreviousPage::Directory:
        ShowDirectoryPage(name);
        break;
    }
    contentPage = previousPage;
    contentPageName = name;
}

void CRadioWnd::AddDirectoryStatus()
{
    auto* row = new CHorizontalLayoutUI();
    row->ApplyAttributeList(kStatusRowList);
    radiosContent->Add(row);
    auto* label = new CLabelUI();
    label->ApplyAttributeList(kStatusLabelList);
    row->Add(label);
    auto* button = new CButtonUI();
    button->ApplyAttributeList(kStatusButtonList);
    row->Add(button);
    row->Add(new CControlUI());
}

void CRadioWnd::UpdateDirectoryStatus()
{
    CControlUI* label = paintManager.FindControl("dirstatustext");
    CControlUI* button = paintManager.FindControl("dirmore");
    if (label == nullptr || button == nullptr)
        return;
    switch (directoryWait) {
    case EDirectoryWait::Waiting:
        label->SetText(kSearching);
        button->SetVisible(false);
        break;
    case EDirectoryWait::Unreachable:
        label->SetText(kUnreachable);
        button->SetText("重试");
        button->SetToolTip("再问一次电台目录");
        button->SetVisible(directory != nullptr);
        break;
    case EDirectoryWait::None:
        label->SetText(viewFoundAny ? "" : kNothingFound);
        button->SetText("更多");
        button->SetToolTip("再列出 100 个电台");
        button->SetVisible(viewMorePages);
        break;
    }
}

void CRadioWnd::AddTagRows()
{
    if (viewTags.empty())
        return;
    std::vector<std::pair<std::string, std::string>> choices = {{"全部", ""}};
    for (const std::string& tag : viewTags)
        choices.emplace_back(tag, tag);
    CHorizontalLayoutUI* row = nullptr;
    int at = 1; // after the title row
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (i % kTagsPerRow == 0) {
            row = new CHorizontalLayoutUI();
            row->ApplyAttributeList(kTagRowList);
            radiosContent->AddAt(row, at++);
        }
        auto* option = new COptionUI();
        option->ApplyAttributeList(kTagOptionList);
        option->SetText(choices[i].first.c_str());
        option->SetToolTip(choices[i].first.c_str());
        option->SetUserData(choices[i].second.c_str());
        row->Add(option);
        if (choices[i].second == viewText)
            option->Selected(true);
    }
}

void CRadioWnd::OnDirectoryPage(const TDirectoryResult& result)
{
    // A result for a page no longer shown (a newer search, another page
    // chosen meanwhile) is dropped.
    CControlUI* status = paintManager.FindControl("dirstatus");
    if (result.serial != viewSerial || viewSerial == 0 || status == nullptr)
        return;
    viewSerial = 0;
    if (result.status != EDirectoryStatus::Ok) {
        directoryWait = EDirectoryWait::Unreachable;
        UpdateDirectoryStatus();
        return;
    }
    std::vector<TStation> stations;
    for (const TDirectoryStation& station : result.stations) {
        const std::string& address = station.StreamAddress();
        if (address.empty() || !viewAddresses.insert(address).second)
            continue;
        if (directoryStations.find(address) == directoryStations.end()) {
            directoryStationOrder.push_back(address);
            if (directoryStationOrder.size() > kMostRememberedStations) {
                directoryStations.erase(directoryStationOrder.front());
                directoryStationOrder.pop_front();
            }
        }
        directoryStations[address] = station;
        stations.push_back({station.name.c_str(), address.c_str(), StationSubtitle(station).c_str()});
    }
    AppendStationRows(*this, stations, IndexOf(radiosContent, status));
    viewFoundAny = viewFoundAny || !stations.empty();
    viewNextPage = result.page + 1;
    viewMorePages = result.morePages;
    directoryWait = EDirectoryWait::None;
    if (result.request == EDirectoryRequest::Browse && viewTags.empty() && !result.tags.empty()) {
        viewTags.assign(result.tags.begin(), result.tags.begin() + std::min(result.tags.size(), kMostTags));
        AddTagRows();
    }
    UpdateDirectoryStatus();
}

void CRadioWnd::AddDirectoryEntry()
{
    if (sortsPanel == nullptr)
        return;
    AddCategoryGap();
    AddCategoryEntry("电台目录", kEntryButtonList);
}

void CRadioWnd::RefreshKeptDirectoryStations()
{
    // One refresh at a time: the hourly check finds the one on its way.
    if (directory == nullptr || refreshSerial != 0)
        return;
    std::vector<std::string> uuids;
    for (const TMyStation& station : myStations.Stations())
        if (!station.uuid.empty())
            uuids.push_back(Lower(station.uuid));
    if (uuids.empty())
        return;
    const std::time_t now = std::time(nullptr);
    const std::time_t last = ReadRefreshStamp();
    // A stamp from the future (a clock set back) does not hold the refresh off.
    if (last != 0 && last <= now && now - last < kRefreshIntervalSeconds)
        return;
    refreshSerial = directory->Refresh(uuids);
}

void CRadioWnd::OnDirectoryRefresh(const TDirectoryResult& result)
{
    if (result.serial != refreshSerial)
        return;
    refreshSerial = 0;
    // Without an answer nothing is known: the next start asks again.
    if (result.status != EDirectoryStatus::Ok)
        return;
    auto indexOf = [&](const std::string& uuid) {
        const std::vector<TMyStation>& mine = myStations.Stations();
        for (std::size_t i = 0; i < mine.size(); ++i)
            if (!mine[i].uuid.empty() && Lower(mine[i].uuid) == Lower(uuid))
                return static_cast<int>(i);
        return -1;
    };
    bool changed = false;
    for (const TDirectoryStation& station : result.stations) {
        const int index = indexOf(station.uuid);
        if (index < 0)
            continue;
        const std::string& address = station.StreamAddress();
        if (!address.empty() && address != myStations.Stations()[static_cast<std::size_t>(index)].url)
            changed = myStations.SetUrl(index, address) || changed;
        changed = myStations.SetGoneFromDirectory(index, false) || changed;
    }
    for (const std::string& uuid : result.missingUuids)
        changed = myStations.SetGoneFromDirectory(indexOf(uuid), true) || changed;
    if (changed)
        MyStationsChanged();
    ReplaceFileContents(RefreshStampPath().c_str(), std::to_string(static_cast<long long>(std::time(nullptr))) + "\n");
}
