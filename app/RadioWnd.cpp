#include "app/RadioWnd.h"

#include "app/WindowFrame.h"
#include "platform/com/Com.h"
#include "platform/desktop/MediaControls.h"
#include "platform/wmp/Wmp.h"
#include "platform/shell/Shell.h"
#include "platform/win/WinDrop.h"
#include "update/AdList.h"
#include "update/UpdateWorker.h"
#include "catalogue/CatalogueModel.h"
#include "uilib/controls/EditUI.h"

#include <cstring>

TUpdateParams UpdateParams;

TFileLayout CurrentFileLayout()
{
    return FileLayoutFor(CPaintManagerUI::GetInstancePath().GetData());
}

namespace {

// Resource of the embedded TrueType font and the face it registers.
constexpr int kFontResourceId = 122;
constexpr const char* kFontResourceType = "UFONT";
constexpr const char* kEmbeddedFace = "迷你简幼线";
constexpr int kLargeFontPixels = 24;
constexpr int kListFontPixels = 18;

constexpr const char* kWindowTitle = "Orvane网络收音机";
constexpr const char* kWelcomeText = "听音乐,用Orvane网络收音机";

template <typename T>
T* FindAs(CPaintManagerUI& manager, const char* name, const char* interfaceName)
{
    CControlUI* control = manager.FindControl(name);
    return control != nullptr ? static_cast<T*>(control->GetInterface(interfaceName)) : nullptr;
}

template <typename T>
void Release(T*& pointer)
{
    if (pointer != nullptr) {
        pointer->Release();
        pointer = nullptr;
    }
}

} // namespace

CRadioWnd::CRadioWnd() = default;

CRadioWnd::~CRadioWnd()
{
    // The player goes last, after everything that could still reach it.
    Release(eventConnection);
    Release(playerControls);
    Release(playerSettings);
    Release(player);
}

const char* CRadioWnd::GetWindowClassName() const
{
    return "UIRadioFrame";
}

UINT CRadioWnd::GetClassStyle() const
{
    return CS_SAVEBITS | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW; // 0x80B
}

LRESULT CRadioWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    bool handled = true;
    LRESULT result = 0;
    switch (message) {
    case WM_CREATE:
        result = OnCreate();
        break;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE)
            HideToTray();
        else
            handled = false;
        break;
    case WM_TIMER:
        if (wParam == kStatusTimer)
            RefreshStatusLine();
        else if (wParam == kAdTimer)
            ShowNextAd();
        else if (wParam == kRestartTimer)
            PlayCurrentStation();
        else if (wParam == kVolumeSaveTimer)
            RememberVolume();
        else if (wParam == kSearchTimer)
            OnSearchTimer();
        else if (wParam == kDirectoryRefreshTimer)
            RefreshKeptDirectoryStations();
        handled = false;
        break;
    case WM_TRAYICON:
        OnTrayIcon(wParam, lParam);
        break;
    case WM_ADS_REPLACED:
        LoadAdList(CurrentFileLayout().adsFile.c_str(), adLinks, adTexts);
        break;
    case WM_CATALOGUE_REPLACED:
        ReloadCatalogue();
        break;
    case WM_PLAY_REQUEST:
        result = PlayCurrentStation();
        UpdateFavouriteToggle();
        PublishMediaState();
        break;
    case WM_DIRECTORY_RESULT:
        OnDirectoryResult(static_cast<unsigned>(wParam));
        break;
    case WM_MYSTATIONS_CHANGED:
        RefreshMyStations();
        break;
    case WM_DROPFILES:
        OnDropFiles(wParam);
        break;
    case WM_PLAYER_STATUS: {
        CControlUI* keyboardFocus = paintManager.IsFocusVisible() ? paintManager.GetFocus() : nullptr;
        result = HandlePlayerStatus();
        KeepTransportFocus(keyboardFocus);
        PublishMediaState();
        break;
    }
    case WM_PLAYER_MEDIA:
        result = HandleMediaChange();
        PublishMediaState();
        break;
    default:
        // The frame rows all windows share, or default processing.
        if (!WindowFrame::HandleFrameMessage(hWnd, paintManager, message, wParam, lParam, result, handled))
            handled = false;
        break;
    }
    if (handled)
        return result;
    if (paintManager.MessageHandler(message, wParam, lParam, result))
        return result;
    return CWindowWnd::HandleMessage(message, wParam, lParam);
}

LRESULT CRadioWnd::OnCreate()
{
    WindowFrame::BuildWindow(hWnd, paintManager, this, this, "Corvela.xml", WindowFrame::MaximizeBox::Clear);

    InitialiseWindow();
    return 0;
}

void CRadioWnd::InitialiseWindow()
{
    HINSTANCE instance = CPaintManagerUI::GetInstance();
    fmName = FindAs<CLabelUI>(paintManager, "fmName", "Label");
    fmTitle = FindAs<CLabelUI>(paintManager, "fmTitle", "Label");

    if (HRSRC resource = ::FindResource(instance, MAKEINTRESOURCE(kFontResourceId), kFontResourceType)) {
        HGLOBAL loaded = ::LoadResource(instance, resource);
        const void* data = ::LockResource(loaded);
        const DWORD size = ::SizeofResource(instance, resource);
        DWORD fontsAdded = 0;
        if (data != nullptr && size > 0)
            fontResource = ::AddFontMemResourceEx(data, size, nullptr, &fontsAdded);
    }

    largeFont = paintManager.AddFont(kEmbeddedFace, kLargeFontPixels, false, false, false);
    listFont = paintManager.AddFont(kEmbeddedFace, kListFontPixels, false, false, false);
    // The layout must provide the title line; without it there is nothing to
    // dress, but nothing breaks either.
    if (fmName != nullptr)
        fmName->SetFont(paintManager.GetFontIndex(largeFont));

    volumeSlider = FindAs<CProgressUI>(paintManager, "VolumeSlider", "Progress");
    playButton = FindAs<CButtonUI>(paintManager, "play", "Button");
    pauseButton = FindAs<CButtonUI>(paintManager, "pause", "Button");
    prevButton = FindAs<CButtonUI>(paintManager, "prev", "Button");
    nextButton = FindAs<CButtonUI>(paintManager, "next", "Button");
    adButton = FindAs<CButtonUI>(paintManager, "adbtn", "Button");
    sortsPanel = FindAs<CContainerUI>(paintManager, "sortspanel", "Container");
    radiosPanel = FindAs<CContainerUI>(paintManager, "radiospanel", "Container");
    radiosContent = FindAs<CContainerUI>(paintManager, "radioscontent", "Container");
    mainFrame = paintManager.FindControl("mainframe");
    statusLabel = FindAs<CLabelUI>(paintManager, "status", "Label");
    favouriteButton = FindAs<CButtonUI>(paintManager, "favbtn", "Button");
    searchEdit = FindAs<CEditUI>(paintManager, "searchedit", "Edit");

    if (mainFrame != nullptr) {
        backgroundImage = mainFrame->GetBkImage();
        foreImage = mainFrame->GetForeImage();
    }

    CreatePlayer();
    ConnectPlayerEvents();

    if (sortsPanel != nullptr)
        sortsPanel->SetVisible(true);
    if (radiosPanel != nullptr)
        radiosPanel->SetVisible(false);

    ::SetWindowText(hWnd, kWindowTitle);
    if (fmName != nullptr)
        fmName->SetText(kWelcomeText);

    HICON smallIcon = ::LoadIcon(instance, MAKEINTRESOURCE(kTrayIconId));
    NOTIFYICONDATA icon = {};
    icon.cbSize = kNotifyIconDataSize;
    icon.hWnd = hWnd;
    icon.uID = kTrayIconId;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = WM_TRAYICON;
    icon.hIcon = smallIcon;
    std::strncpy(icon.szTip, kWindowTitle, sizeof(icon.szTip) - 1);
    ::Shell_NotifyIcon(NIM_ADD, &icon);

    ::SendMessage(hWnd, WM_SETICON, ICON_BIG,
                  reinterpret_cast<LPARAM>(::LoadIcon(instance, MAKEINTRESOURCE(kLargeIconId))));
    ::SendMessage(hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));

    ::SetTimer(hWnd, kAdTimer, kAdRotationMilliseconds, nullptr);

    LoadSettings();
    StartDirectory();
    ApplyRememberedChoices();
    LoadAdList(CurrentFileLayout().adsFile.c_str(), adLinks, adTexts);
    // Before the category page is built: it shows their entry.
    LoadMyStations();
    LoadCatalogue();
    // At start, and then every hour for a player left running for days; the
    // refresh itself goes out at most once a day.
    RefreshKeptDirectoryStations();
    ::SetTimer(hWnd, kDirectoryRefreshTimer, kDirectoryRefreshCheckMilliseconds, nullptr);
    UpdateFavouriteToggle();
    ::DragAcceptFiles(hWnd, TRUE);

    const TFileLayout layout = CurrentFileLayout();
    const CStdString server = ReadUpdateServer(settingsDoc.get());
    UpdateParams = TUpdateParams();
    UpdateParams.owner = this;
    UpdateParams.catalogueUrl = server + "/update/fmradios.dll";
    UpdateParams.adsUrl = server + "/update/fmads.dll";
    UpdateParams.cacheDir = layout.cacheFolder.c_str();
    UpdateParams.catalogueFile = layout.catalogueFile.c_str();
    UpdateParams.adsFile = layout.adsFile.c_str();

    switchEvent = ::CreateEvent(FALSE, FALSE);

    updateThread = ::CreateThread(&CRadioWnd::UpdateProc, &UpdateParams);
    switchTarget = hWnd;
    switchThread = ::CreateThread(&CRadioWnd::StationSwitchProc, this);
}

LRESULT CRadioWnd::MessageHandler(UINT message, WPARAM wParam, LPARAM /*lParam*/, bool& handled)
{
    // The player's own keys stop here, so a focused control never acts on
    // them a second time.
    if (message == WM_KEYDOWN && (HandleSearchKey(wParam) || HandlePlayerKey(wParam))) {
        handled = true;
        return 1;
    }
    return WindowFrame::FilterKeys(*this, paintManager, message, wParam);
}

void CRadioWnd::KeepTransportFocus(CControlUI* keyboardFocus)
{
    // "play" and "pause" take turns in one place: the keyboard that pressed
    // one finds the other there, rather than losing the focus with it.
    if (keyboardFocus == nullptr || paintManager.GetFocus() != nullptr ||
        (keyboardFocus != playButton && keyboardFocus != pauseButton))
        return;
    CButtonUI* shown = playButton != nullptr && playButton->IsVisible() ? playButton : pauseButton;
    if (shown != nullptr && shown->IsVisible())
        paintManager.GetFocusManager().FocusByKeyboard(shown);
}

void CRadioWnd::HideToTray()
{
    // Without a notification area a hidden window could never come back:
    // there the window only goes down to the task bar.
    ::ShowWindow(hWnd, IsNotificationAreaAvailable() ? SW_HIDE : SW_MINIMIZE);
}

void CRadioWnd::OnFinalMessage(HWND /*window*/)
{
    if (volumeSavePending)
        RememberVolume();
    mediaControls.reset();
    // Stops the directory's worker, cancelling a request in flight.
    directory.reset();
    catalogueDoc.reset();
    FreeNameList(regionList);
    FreeNameList(styleList);
    FreeAdList(adLinks, adTexts);

    // The workers end cooperatively: a download in progress is cancelled and
    // nothing is cut off mid-write.
    if (switchThread != nullptr) {
        ::StopThread(switchThread);
        switchThread = nullptr;
    }
    if (updateThread != nullptr) {
        ::StopThread(updateThread);
        updateThread = nullptr;
    }
    if (switchEvent != nullptr) {
        ::CloseHandle(switchEvent);
        switchEvent = nullptr;
    }
    if (fontResource != nullptr) {
        ::RemoveFontMemResourceEx(fontResource);
        fontResource = nullptr;
    }
    paintManager.RemovePreMessageFilter(this);
    delete this;
}
