#pragma once

// CRadioWnd: the main window and the hub of the player. It owns the player,
// the documents, the catalogue and advertisement lists, the chosen station
// and the two worker threads, and it is the only window the workers post to.
//
// The operations are defined beside the subsystem they belong to:
//   app/RadioWnd.cpp            start-up, message table, frame, teardown
//   app/RadioWndNotify.cpp      the notification dispatch, tray icon callback
//   catalogue/CataloguePages.cpp  LoadCatalogue, ReloadCatalogue, ParseCatalogue,
//                               BuildCategoryPage, the station pages, stepping
//   update/UpdateWorker.cpp     UpdateProc, DownloadCatalogue, DownloadAdList
//   update/AdButton.cpp         LoadAdList, ShowNextAd, OpenAdLink
//   player/Playback.cpp         CreatePlayer, ChooseStation, StationSwitchProc,
//                               PlayCurrentStation, ResumePlayback, StopPlayback,
//                               ApplyVolume, AutoRestart, CancelRestart,
//                               HandleMediaChange, OnNetworkChanged, OnSleep
//   player/PlayerStatus.cpp     ConnectPlayerEvents, HandlePlayerStatus,
//                               RefreshStatusLine
//   appearance/Settings.cpp     LoadSettings, SaveSkinChoice, SetBackground,
//                               the remembered station and volume
//   app/RadioWndDesktop.cpp     the keys, media controls, coming to the front
//   catalogue/MyStationsPage.cpp  the user's own stations: their page and its
//                               entry, the now-playing toggle, the station
//                               context menu, import, export and drops
//   app/StationDlg.cpp          the dialog that adds or changes one of them
//   app/RadioWndHeal.cpp        a station that moved: the directory asked,
//                               the new address offered in the card
//
// The members are the hub's state: the subsystems read and write them on the
// GUI thread, except where a worker's comment says otherwise.

#include "catalogue/MyStations.h"
#include "directory/DirectoryClient.h"
#include "platform/desktop/FileLayout.h"
#include "platform/desktop/NetworkState.h"
#include "uilib/UIlib.h"

#include <tinyxml.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct IWMPPlayer;
struct IWMPSettings;
struct IWMPControls;
struct IConnectionPoint;

class CRadioWnd;
class CMediaControls;
class CEditUI;

// Messages of the main window beyond the system's own.
constexpr UINT WM_TRAYICON = WM_USER + 50;            // 1074, the notification-area icon
constexpr UINT WM_ADS_REPLACED = WM_USER + 55;        // 1079, update worker installed an ad list
constexpr UINT WM_CATALOGUE_REPLACED = WM_USER + 60;  // 1084, update worker installed a catalogue
constexpr UINT WM_PLAY_REQUEST = WM_USER + 65;        // 1089, station-switch thread; automatic restart
constexpr UINT WM_PLAYER_STATUS = WM_USER + 70;       // 1094, player event sink
constexpr UINT WM_PLAYER_MEDIA = WM_USER + 75;        // 1099, player event sink: the stream's title changed
constexpr UINT WM_MYSTATIONS_CHANGED = WM_USER + 80;  // 1104, the user's own stations changed: pages follow
// WM_DIRECTORY_RESULT (WM_USER + 85) is the station directory's, in directory/DirectoryClient.h.

// Timers of the main window.
constexpr UINT_PTR kStatusTimer = 500;                // status line refresh
constexpr UINT_PTR kAdTimer = 505;                    // advertisement rotation
constexpr UINT_PTR kRestartTimer = 510;               // a pending automatic reopening
constexpr UINT_PTR kVolumeSaveTimer = 515;            // writes the remembered volume
constexpr UINT_PTR kSearchTimer = 520;                // a search (or page change) waiting to run
constexpr UINT_PTR kDirectoryRefreshTimer = 525;      // hourly: are my directory stations a day old
constexpr UINT kDirectoryRefreshCheckMilliseconds = 60 * 60 * 1000;
constexpr UINT kAdRotationMilliseconds = 15000;       // milliseconds between two advertisements
constexpr UINT kVolumeSaveDelayMilliseconds = 1000;   // milliseconds the volume rests before it is written

// Id of the notification-area icon and of the small window icon resource.
constexpr UINT kTrayIconId = 108;
constexpr UINT kLargeIconId = 107;

// What the update worker is given: written once before it starts, then only
// read. Texts are kept whole, whatever the length of the instance path.
struct TUpdateParams
{
    CRadioWnd* owner = nullptr;
    CStdString catalogueUrl;   // <server>/update/fmradios.dll
    CStdString adsUrl;         // <server>/update/fmads.dll
    CStdString cacheDir;       // the layout's cache folder, no trailing separator
    CStdString catalogueFile;  // the layout's catalogue file
    CStdString adsFile;        // the layout's advertisement list
};

class CRadioWnd : public CWindowWnd, public INotifyUI, public IMessageFilterUI
{
public:
    CRadioWnd();
    ~CRadioWnd() override;

    // ------------------------------------------------ app/RadioWnd.cpp
    void InitialiseWindow();
    LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

    // ------------------------------------------------ app/RadioWndNotify.cpp
    void Notify(TNotifyUI& msg) override;
    void OnTrayIcon(WPARAM wParam, LPARAM lParam);
    void Quit();

    // ------------------------------------------------ catalogue
    void LoadCatalogue();
    void ReloadCatalogue();
    void ParseCatalogue(const TiXmlDocument* document, CStdPtrArray& regions, CStdPtrArray& styles);
    void BuildCategoryPage();
    // Rows of the category page, appended: a heading, the gap between two
    // groups, and an entry (a heading and one button under it, returned).
    void AddCategoryHeading(const char* text);
    void AddCategoryGap();
    CButtonUI* AddCategoryEntry(const char* heading, const char* buttonAttributes);
    void ShowRegionStations(const char* regionName);
    void ShowStyleStations(const char* styleName);
    void SelectPreviousStation();
    void SelectNextStation();

    // ------------------------------------------------ update
    static DWORD UpdateProc(void* parameter);
    bool DownloadCatalogue(const char* url, const char* cacheDir, const char* target);
    bool DownloadAdList(const char* url, const char* cacheDir, const char* target);
    void LoadAdList(const char* path, CStdStringPtrMap& links, CStdPtrArray& texts);
    void ShowNextAd();
    void OpenAdLink(CControlUI* button);

    // ------------------------------------------------ player
    void CreatePlayer();
    void ChooseStation(CControlUI* option);
    static DWORD StationSwitchProc(void* window);
    LRESULT PlayCurrentStation();
    void ResumePlayback();
    void StopPlayback();
    void ApplyVolume(CControlUI* sender);
    void AutoRestart();
    // Drops an automatic reopening that waits on its timer.
    void CancelRestart();
    // WM_PLAYER_MEDIA: the stream's title into "fmTitle".
    LRESULT HandleMediaChange();
    // The network came or went; the machine goes to sleep or woke.
    void OnNetworkChanged(bool online);
    void OnSleep(bool sleeping);
    void ConnectPlayerEvents();
    LRESULT HandlePlayerStatus();
    void RefreshStatusLine();

    // ------------------------------------------------ appearance
    void LoadSettings();
    void SaveSkinChoice(const char* name, const char* path);
    void SetBackground(const char* description);
    void ApplyRememberedChoices();
    void RememberStation();
    void RememberVolume();
    void ScheduleVolumeSave();

    // ------------------------------------------------ app/RadioWndDesktop.cpp
    // Keys of the main window; true for a key that was used.
    bool HandlePlayerKey(WPARAM key);
    // The actions the keys and the desktop's media controls share.
    void PlayOrPause();
    void SetVolumeLevel(int volume);
    void BringToFront();
    void ConnectMediaControls();
    void PublishMediaState();

    // ------------------------------------------------ catalogue/MyStationsPage.cpp
    // Reads the user's own stations from the layout's file; a broken file is
    // set aside and the list starts empty.
    void LoadMyStations();
    // The heading and the entry of the category page; nothing while the list
    // is empty.
    void AddMyStationsEntry();
    // Shows the page of the user's own stations (the category page when the
    // list is empty).
    void ShowMyStations();
    // Notifications of the user's own stations; true for one that was used.
    bool HandleMyStationsNotify(TNotifyUI& msg);
    // Saves the list and brings the pages, the entry and the toggle up to
    // date (the rebuild is posted, so a control may cause it from its own
    // notification); false when the file could not be written.
    bool MyStationsChanged();
    // WM_MYSTATIONS_CHANGED.
    void RefreshMyStations();
    // The now-playing card's toggle: shown while a station is chosen, telling
    // whether it is one of the user's own.
    void UpdateFavouriteToggle();
    void ToggleFavourite();
    // The context menu of a station option, at the pointer.
    void OpenStationMenu(CControlUI* option);
    // Runs a context menu entry for the station the menu was opened on.
    void RunStationMenuEntry(const CStdString& entry);
    // The add dialog (index -1) or the dialog changing station `index`.
    void OpenStationDialog(int index, const char* name = "", const char* url = "");
    // Adds (index -1) or changes one of the user's stations and saves the
    // list; "" on success, otherwise the reason in Chinese, nothing changed.
    std::string StoreStation(int index, std::string name, std::string url);
    // Imports a station file the user picks; exports the list as M3U.
    void ImportStations();
    void ExportStations();
    // Reads station files and adds links (dropped ones, or named on the
    // command line); the number of stations added.
    int AddStationItems(const std::vector<std::string>& items);
    // WM_DROPFILES: the dropped files and links become stations.
    void OnDropFiles(WPARAM drop);

    // ------------------------------------------------ app/RadioWndOpen.cpp
    // Station files and addresses a start was given (its own, or a later
    // start's, forwarded): added to the user's stations, the first played.
    void OpenStationItems(const std::vector<std::string>& items);

    // ------------------------------------------------ app/RadioWndDirectory.cpp
    // The station directory's client, for this window's settings; made
    // after the settings are read.
    void StartDirectory();
    // WM_DIRECTORY_RESULT: the result of request `serial`, handed on by kind.
    void OnDirectoryResult(unsigned serial);

    // ------------------------------------------------ app/RadioWndHeal.cpp
    // The chosen station will not be opened again by itself: asks the
    // directory, once per choice, whether it plays from a new address.
    void LookUpMovedStation();
    // The lookup's answer: the offer in the now-playing card, when it is for
    // the station still chosen and names another working address.
    void OnMovedStationFound(const TDirectoryResult& result);
    // "healbtn": plays the new address as a choice does, counts the play,
    // and keeps the address for one of the user's own stations.
    void TakeMovedStation();
    // Hides the offer and forgets a lookup on its way: the user chose,
    // played or paused.
    void DropMovedStationOffer();
    // A moved station: the lookup on its way (0 for none) and the station
    // it asks for, whether one was made since the last choice, and the
    // directory's station that the now-playing card offers ("healbtn").
    unsigned movedLookupSerial = 0;
    CStdString movedLookupName;
    CStdString movedLookupUrl;
    bool movedLookupMade = false;
    bool movedOfferShown = false;
    TDirectoryStation movedStation;

    // ------------------------------------------------ app/RadioWndSearch.cpp
    // The search box, the search results and the directory's page, playing
    // and keeping directory stations, the daily refresh of the kept ones.
    // Notifications of the search box and the directory's pages; true for
    // one that was used (a station's double-click is seen and passed on).
    bool HandleSearchNotify(TNotifyUI& msg);
    // Ctrl+F; true when the key was used.
    bool HandleSearchKey(WPARAM key);
    void FocusSearchBox();
    // kSearchTimer: runs what waits (a search, a retry, a tag of the
    // directory's page); deferred so no page control is removed during its
    // own notification.
    void OnSearchTimer();
    // The search page for `text`: local matches at once, then the directory's.
    void StartSearch(const std::string& text);
    // Back to the page shown before the search began.
    void ReturnFromSearch();
    // The directory's Chinese-language stations, narrowed to `tag`.
    void ShowDirectoryPage(const std::string& tag);
    // A page of the directory (Search or Browse) arrived.
    void OnDirectoryPage(const TDirectoryResult& result);
    // The answer of the refresh of my directory stations.
    void OnDirectoryRefresh(const TDirectoryResult& result);
    // The refresh of my directory stations, when the last one is a day old.
    void RefreshKeptDirectoryStations();
    // The heading and entry of the directory's page on the category page.
    void AddDirectoryEntry();
    // After the chosen station's reopenings are spent: its other address
    // (the one its maker entered) once; false when there is none.
    bool PlayStationFallback();
    // A station option is chosen: its directory id and other address, and
    // the click the directory counts.
    void NoteChosenStation(const std::string& url);
    void ShowStationPanel();
    // Page 0 of the search or directory page shown.
    void RequestFirstPage();
    // The row at the end of a directory page: "正在搜索...", "无法连接电台目录"
    // with "重试", or "更多"; its texts follow directoryWait.
    void AddDirectoryStatus();
    void UpdateDirectoryStatus();
    // The directory's tags as a row of choices under the title.
    void AddTagRows();

    // What the search box and the directory's pages show and wait for.
    enum class EStationView
    {
        Other,     // a page of the catalogue or of my stations
        Search,
        Directory,
    };
    enum class EDirectoryWait
    {
        None,
        Waiting,     // "正在搜索..."
        Unreachable, // "无法连接电台目录" and "重试"
    };
    enum class EPendingSearch
    {
        None,
        Search,    // the box's text
        Retry,     // the page shown, its next page again
        Tag,       // the directory's page, pendingTag
    };
    // The page the user came from, for an emptied search box.
    enum class EPreviousPage
    {
        Category,
        Region,
        Style,
        MyStations,
        Directory,
    };
    CEditUI* searchEdit = nullptr;
    EStationView stationView = EStationView::Other;
    EDirectoryWait directoryWait = EDirectoryWait::None;
    EPendingSearch pendingSearch = EPendingSearch::None;
    std::string pendingTag;
    EPreviousPage previousPage = EPreviousPage::Category;
    std::string previousPageName;
    // What "radioscontent" holds when it is not the search page.
    EPreviousPage contentPage = EPreviousPage::Category;
    std::string contentPageName;
    // The search text or the directory page's tag shown; the serial of its
    // page request waited for (0 for none) and the next page to ask for.
    std::string viewText;
    unsigned viewSerial = 0;
    int viewNextPage = 0;
    bool viewMorePages = false;
    bool viewFoundAny = false;
    std::vector<std::string> viewTags;
    // Stream addresses on the page shown, each listed once.
    std::set<std::string> viewAddresses;
    // The directory stations shown this session, by the address their
    // option plays (bounded: the oldest are forgotten first).
    std::map<std::string, TDirectoryStation> directoryStations;
    std::deque<std::string> directoryStationOrder;
    // The chosen station's directory id and its other address, if any; both
    // hold only while the station plays from currentStationFallbackFor (a
    // station chosen by another road, an opened file, has neither).
    std::string currentStationUuid;
    std::string currentStationFallback;
    std::string currentStationFallbackFor;
    unsigned refreshSerial = 0;

    // ------------------------------------------------ state, in declaration order
    CStdString backgroundImage;
    CStdString foreImage;
    std::unique_ptr<TiXmlDocument> settingsDoc;
    IWMPPlayer* player = nullptr;
    IWMPSettings* playerSettings = nullptr;
    IWMPControls* playerControls = nullptr;
    HANDLE switchEvent = nullptr;
    CStdStringPtrMap adLinks{83};
    IConnectionPoint* eventConnection = nullptr;
    DWORD adviseCookie = 0;
    CPaintManagerUI paintManager;
    CButtonUI* playButton = nullptr;
    CButtonUI* pauseButton = nullptr;
    CButtonUI* prevButton = nullptr;
    CButtonUI* nextButton = nullptr;
    CButtonUI* adButton = nullptr;
    CLabelUI* fmName = nullptr;
    CLabelUI* fmTitle = nullptr; // the stream's title, under the station name
    CLabelUI* statusLabel = nullptr;
    CProgressUI* volumeSlider = nullptr;
    CContainerUI* radiosPanel = nullptr;
    CContainerUI* radiosContent = nullptr;
    CContainerUI* sortsPanel = nullptr;
    CControlUI* mainFrame = nullptr;
    CStdString currentStationName;
    CStdString currentStationUrl;
    std::int32_t statusDots = 0;
    std::int32_t playState = 0;
    std::int32_t restartCount = 0;
    // Written on the GUI thread, read by the update worker.
    std::atomic<std::int32_t> catalogueVersion{0};
    HANDLE updateThread = nullptr;
    HANDLE switchThread = nullptr;
    // The window the station-switch thread posts to: copied before it starts,
    // since the window's own handle is cleared on destruction.
    HWND switchTarget = nullptr;
    std::int32_t adIndex = 0;
    CStdPtrArray regionList;
    CStdPtrArray styleList;
    CStdPtrArray adTexts;
    std::unique_ptr<TiXmlDocument> catalogueDoc;
    HFONT largeFont = nullptr;
    HFONT listFont = nullptr;
    HANDLE fontResource = nullptr;

    // Set when playback was stopped by the user ("pause"): the Stopped state
    // that follows must not restart the stream by itself.
    bool stoppedByUser = false;
    // Set while an automatic restart's WM_PLAY_REQUEST waits in the queue.
    bool restartQueued = false;
    // Why the station chosen last cannot be played, once its reopenings are
    // spent or none can help; shown instead of "准备就绪" until the next
    // choice, "play" or "pause".
    CStdString failureText;
    // The network and sleep of the machine; made with the player.
    std::unique_ptr<CNetworkState> networkState;
    // Set while the chosen station waits for the network (or the machine's
    // waking) to be opened again, instead of spending its reopenings.
    bool waitingForNetwork = false;
    // Between logind's "going to sleep" and "woke".
    bool asleep = false;
    // The station was playing, or opening, when the machine went to sleep.
    bool playingBeforeSleep = false;
    // Set while a volume change waits for kVolumeSaveTimer to be written.
    bool volumeSavePending = false;
    // The desktop's media controls; null without a session bus.
    std::unique_ptr<CMediaControls> mediaControls;

    // The user's own stations, loaded at start, saved after every change.
    CMyStations myStations;
    // Whether "radioscontent" holds the page of the user's own stations.
    bool myStationsPageShown = false;
    // Whether a WM_MYSTATIONS_CHANGED waits in the queue.
    bool myStationsRefreshQueued = false;
    // The now-playing card's toggle ("favbtn"); null when the layout lacks it.
    CButtonUI* favouriteButton = nullptr;
    // The station whose context menu is open (or was opened last).
    CStdString menuStationName;
    CStdString menuStationUrl;
    // Every request to the station directory goes through it; its worker
    // posts WM_DIRECTORY_RESULT here. Null before StartDirectory.
    std::unique_ptr<CDirectoryClient> directory;

protected:
    const char* GetWindowClassName() const override;
    UINT GetClassStyle() const override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND window) override;

private:
    // WM_CREATE: style, paint manager, layout, notifier, InitialiseWindow.
    LRESULT OnCreate();
    // "closebtn" and the system close command.
    void HideToTray();
    // After a status change swapped "play" and "pause": the keyboard's focus
    // on the one that went moves to the one that came.
    void KeepTransportFocus(CControlUI* keyboardFocus);
    // The rows of the dispatch (app/RadioWndNotify.cpp).
    void DispatchNotify(TNotifyUI& msg);
    // A page that the keyboard left (hidden, or rebuilt) hands the focus to
    // the page shown now: its selected choice, else its first one.
    void KeepKeyboardFocus();
};

// The update worker's block; one per process.
extern TUpdateParams UpdateParams;

// Where the settings, the data files and the cache of this run are.
TFileLayout CurrentFileLayout();
