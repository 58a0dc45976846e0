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
#include <memory>

struct IWMPPlayer;
struct IWMPSettings;
struct IWMPControls;
struct IConnectionPoint;

class CRadioWnd;
class CMediaControls;

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
