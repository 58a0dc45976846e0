// Playback: the player object, choosing a station, the station-switch thread
// that stops the old stream before the new one opens, the "play" and "pause"
// buttons, the volume slider, the automatic restart (on a timer that waits
// longer each time, and none for a failure a reopening cannot mend) and the
// stream title under the station name; while the network is away (or the
// machine sleeps) the station waits for it instead of spending reopenings.

#include "app/RadioWnd.h"
#include "platform/com/Com.h"
#include "platform/wmp/Wmp.h"

#include <string>

namespace {

// Automatic reopenings allowed after one station choice.
constexpr int kMaxAutomaticRestarts = 3;
// Milliseconds before the first automatic reopening; each later one waits
// twice as long as the one before (1 s, 2 s, 4 s), so that a server that is
// back within a few seconds is reached.
constexpr UINT kFirstRestartDelayMilliseconds = 1000;
// Milliseconds the station-switch thread waits before it asks a player that
// has not let go of the old stream once more.
constexpr DWORD kStopRetryMilliseconds = 10;

const char* const kWaitingForNetwork = "等待网络...";

// Whether the URL needs the network: a stream on a server, not a file.
bool NeedsNetwork(const CStdString& url)
{
    std::string scheme;
    const std::string text = url.GetData();
    const std::size_t colon = text.find("://");
    if (colon == std::string::npos)
        return false;
    for (char ch : text.substr(0, colon))
        scheme += static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    return scheme != "file";
}

// The failure of the player's last opening: its words, and whether opening
// the stream again may mend it. False when the player reports none.
bool ReadFailure(IWMPPlayer* player, std::string& description, bool& mendable)
{
    IWMPError* error = nullptr;
    if (player == nullptr || FAILED(player->get_error(&error)) || error == nullptr)
        return false;
    COM_LONG count = 0;
    IWMPErrorItem* item = nullptr;
    bool found = false;
    if (SUCCEEDED(error->get_errorCount(&count)) && count > 0 && SUCCEEDED(error->get_item(0, &item)) &&
        item != nullptr) {
        BSTR text = nullptr;
        COM_LONG remedy = wmpRemedyReopen;
        if (SUCCEEDED(item->get_errorDescription(&text))) {
            description = BstrToUtf8(text);
            found = !description.empty();
        }
        SysFreeString(text);
        item->get_remedy(&remedy);
        mendable = remedy != wmpRemedyNone;
        item->Release();
    }
    error->Release();
    return found;
}

bool IsPlayingOrBuffering(IWMPPlayer* player)
{
    WMPPlayState state = wmppsUndefined;
    if (FAILED(player->get_playState(&state)))
        return false;
    return state == wmppsPlaying || state == wmppsBuffering;
}

} // namespace

void CRadioWnd::CreatePlayer()
{
    IWMPPlayer* created = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer,
                                  reinterpret_cast<void**>(&created))) ||
        created == nullptr)
        return; // no player: the playback actions leave out their player calls
    player = created;
    player->get_settings(&playerSettings);
    player->get_controls(&playerControls);
    CNetworkState::Callbacks callbacks;
    callbacks.onlineChanged = [this](bool online) { OnNetworkChanged(online); };
    callbacks.sleepChanged = [this](bool sleeping) { OnSleep(sleeping); };
    networkState = std::make_unique<CNetworkState>(std::move(callbacks));
}

void CRadioWnd::OnNetworkChanged(bool online)
{
    if (!online || !waitingForNetwork || asleep)
        return;
    // Back: the station that waited opens now, with the reopenings it had.
    waitingForNetwork = false;
    PlayCurrentStation();
}

void CRadioWnd::OnSleep(bool sleeping)
{
    WMPPlayState state = wmppsUndefined;
    if (player != nullptr)
        player->get_playState(&state);
    if (sleeping) {
        asleep = true;
        playingBeforeSleep = !stoppedByUser && (state == wmppsPlaying || state == wmppsBuffering ||
                                                state == wmppsTransitioning || restartQueued || waitingForNetwork);
        return;
    }
    asleep = false;
    if (!playingBeforeSleep || stoppedByUser)
        return;
    playingBeforeSleep = false;
    // A stream that lived through the sleep goes on; one that did not (or
    // that waited for the machine to wake) is opened again afresh.
    if (state == wmppsPlaying && !waitingForNetwork)
        return;
    CancelRestart();
    restartCount = 0;
    waitingForNetwork = false;
    PlayCurrentStation();
}

void CRadioWnd::ChooseStation(CControlUI* option)
{
    if (option == nullptr)
        return;
    currentStationName = option->GetText();
    currentStationUrl = option->GetUserData();
    if (fmName != nullptr)
        fmName->SetText(currentStationName);
    stoppedByUser = false;
    failureText.Empty();
    waitingForNetwork = false;
    DropMovedStationOffer();
    CancelRestart();
    ::SetEvent(switchEvent);
    restartCount = 0;
}

void CRadioWnd::CancelRestart()
{
    ::KillTimer(hWnd, kRestartTimer);
    restartQueued = false;
}

DWORD CRadioWnd::StationSwitchProc(void* parameter)
{
    auto* window = static_cast<CRadioWnd*>(parameter);
    if (window == nullptr || window->player == nullptr)
        return 0;
    // The window's own handle is cleared on the GUI thread when the window
    // is destroyed; the thread posts to the copy made before it started.
    const HWND target = window->switchTarget;
    IWMPControls* controls = nullptr;
    window->player->get_controls(&controls);

    while (::WaitForSingleObject(window->switchEvent, INFINITE) == WAIT_OBJECT_0) {
        // The old stream must be gone before the new URL is put. A player
        // that lets go later is asked again after a short wait, not in a loop
        // that holds a core; the wait ends at once when the thread is stopped.
        while (IsPlayingOrBuffering(window->player) && !::IsStopRequested()) {
            if (controls != nullptr)
                controls->stop();
            if (IsPlayingOrBuffering(window->player))
                ::Sleep(kStopRetryMilliseconds);
        }
        if (::IsStopRequested())
            break;
        ::PostMessage(target, WM_PLAY_REQUEST, 0, 0);
    }
    if (controls != nullptr)
        controls->Release();
    return 0;
}

LRESULT CRadioWnd::PlayCurrentStation()
{
    // Whichever request this is, none is waiting any more: the next stop may
    // ask for a restart of its own.
    CancelRestart();
    if (player == nullptr || radiosPanel == nullptr)
        return 0;
    // An automatic restart queued before the user pressed "pause" must not
    // bring the stream back.
    if (stoppedByUser)
        return 0;
    // Without a network (or while the machine sleeps) the station waits for
    // it rather than failing.
    if ((asleep || (networkState != nullptr && !networkState->Online())) && NeedsNetwork(currentStationUrl)) {
        waitingForNetwork = true;
        if (fmName != nullptr)
            fmName->SetText(currentStationName);
        if (statusLabel != nullptr)
            statusLabel->SetText(kWaitingForNetwork);
        return 0;
    }
    waitingForNetwork = false;
    BSTR url = Utf8ToBstr(currentStationUrl);
    player->put_URL(url);
    SysFreeString(url);
    if (fmName != nullptr)
        fmName->SetText(currentStationName);
    if (playerControls != nullptr)
        playerControls->play();
    return 0;
}

void CRadioWnd::ResumePlayback()
{
    CancelRestart();
    failureText.Empty();
    DropMovedStationOffer();
    waitingForNetwork = false;
    BSTR url = nullptr;
    const bool holdsUrl = player != nullptr && SUCCEEDED(player->get_URL(&url)) && SysStringLen(url) > 0;
    const std::string held = holdsUrl ? BstrToUtf8(url) : std::string();
    SysFreeString(url);
    if (holdsUrl && playerControls != nullptr) {
        stoppedByUser = false;
        // A station chosen while "pause" ended the switch to it was never
        // put: the choice is what "play" plays, not the stream held before.
        if (!currentStationUrl.IsEmpty() && held != currentStationUrl.GetData()) {
            PlayCurrentStation();
            return;
        }
        playerControls->play();
        return;
    }

    const int index = paintManager.GetGroupSelectedIndex("radios");
    CStdPtrArray* group = paintManager.GetOptionGroup("radios");
    if (index >= 0 && group != nullptr && index < group->GetSize())
        paintManager.SendNotify(static_cast<CControlUI*>(group->GetAt(index)), "dbclick", 0, 0, false);
}

void CRadioWnd::StopPlayback()
{
    DropMovedStationOffer();
    if (playerControls == nullptr)
        return;
    stoppedByUser = true;
    failureText.Empty();
    waitingForNetwork = false;
    CancelRestart();
    playerControls->pause();
    playerControls->stop();
}

void CRadioWnd::ApplyVolume(CControlUI* sender)
{
    if (sender == nullptr || sender != volumeSlider || playerSettings == nullptr)
        return;
    playerSettings->put_volume(volumeSlider->GetValue());
}

void CRadioWnd::AutoRestart()
{
    // A stop the user asked for stays a stop.
    if (stoppedByUser)
        return;
    // One stop raises several status changes (the end of a stream is
    // MediaEnded, then Stopped; "pause" is Paused, then Stopped), and each of
    // them reads the state only when the window gets to it, so each sees the
    // final Stopped. The request already on its way reopens the stream for
    // all of them and spends one restart, not one per status change.
    if (restartQueued)
        return;
    // The network is away or the machine sleeps: the station waits for them
    // and spends nothing.
    if ((asleep || (networkState != nullptr && !networkState->Online())) && NeedsNetwork(currentStationUrl)) {
        waitingForNetwork = true;
        return;
    }
    // A failure that no reopening can mend (an HTTP 4xx answer, a format
    // without a decoder, a page instead of a stream) is said at once; any
    // other once the reopenings are spent.
    std::string reason;
    bool mendable = true;
    const bool failed = ReadFailure(player, reason, mendable);
    if (mendable && restartCount < kMaxAutomaticRestarts &&
        ::SetTimer(hWnd, kRestartTimer, kFirstRestartDelayMilliseconds << restartCount, nullptr) != 0)
        restartQueued = true;
    else {
        if (failed)
            failureText = reason.c_str();
        // Nothing opens the station again by itself now: the directory may
        // know where it went.
        LookUpMovedStation();
    }
    ++restartCount;
}

LRESULT CRadioWnd::HandleMediaChange()
{
    if (fmTitle == nullptr || player == nullptr)
        return 0;
    IWMPMedia* media = nullptr;
    std::string title;
    if (SUCCEEDED(player->get_currentMedia(&media)) && media != nullptr) {
        BSTR item = Utf8ToBstr("Title");
        BSTR value = nullptr;
        if (SUCCEEDED(media->getItemInfo(item, &value)))
            title = BstrToUtf8(value);
        SysFreeString(value);
        SysFreeString(item);
        media->Release();
    }
    fmTitle->SetText(title.c_str());
    return 0;
}
