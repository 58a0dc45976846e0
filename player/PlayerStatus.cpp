// The player's events in the main window: connecting the event sink, and the
// status line and buttons that follow the play state.

#include "app/RadioWnd.h"
#include "platform/com/Com.h"
#include "platform/wmp/Wmp.h"
#include "player/StatusText.h"
#include "player/WMPEventDispatch.h"

namespace {

// Milliseconds between two ticks of the status timer.
constexpr UINT kConnectingTickMilliseconds = 1000;
constexpr UINT kBufferingTickMilliseconds = 500;
constexpr UINT kIdleTickMilliseconds = 1000;

const char* const kConnectingTexts[] = {"正在连接.  ", "正在连接.. ", "正在连接..."};

// The player's status text as UTF-8; false when the player gave none.
bool ReadStatus(IWMPPlayer* player, std::string& status)
{
    if (player == nullptr)
        return false;
    BSTR text = nullptr;
    if (FAILED(player->get_status(&text)))
        return false;
    status = BstrToUtf8(text);
    SysFreeString(text);
    return true;
}

} // namespace

void CRadioWnd::ConnectPlayerEvents()
{
    auto* sink = new CWMPEventDispatch();
    sink->AddRef();
    sink->SetNotifyWindow(hWnd);

    IConnectionPointContainer* container = nullptr;
    if (player != nullptr &&
        SUCCEEDED(player->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))) &&
        container != nullptr) {
        IUnknown* advised = nullptr;
        if (SUCCEEDED(container->FindConnectionPoint(IID_IWMPEvents, &eventConnection)) &&
            eventConnection != nullptr) {
            advised = static_cast<IWMPEvents*>(sink);
        } else if (SUCCEEDED(container->FindConnectionPoint(DIID__WMPOCXEvents, &eventConnection)) &&
                   eventConnection != nullptr) {
            advised = static_cast<IDispatch*>(sink);
        }
        if (advised != nullptr)
            eventConnection->Advise(advised, &adviseCookie);
        container->Release();
    }
    // The connection point holds the sink from here on.
    sink->Release();
}

LRESULT CRadioWnd::HandlePlayerStatus()
{
    statusDots = 0;
    ::KillTimer(hWnd, kStatusTimer);

    WMPPlayState state = wmppsUndefined;
    if (player != nullptr)
        player->get_playState(&state);
    playState = state;

    switch (playState) {
    case wmppsTransitioning:
    case wmppsBuffering:
        ::SetTimer(hWnd, kStatusTimer, 0, nullptr);
        break;
    case wmppsPlaying: {
        std::string status;
        if (ReadStatus(player, status) && statusLabel != nullptr)
            statusLabel->SetText(PlayingText(status).c_str());
        if (playButton != nullptr)
            playButton->SetVisible(false);
        if (pauseButton != nullptr)
            pauseButton->SetVisible(true);
        return 0;
    }
    case wmppsPaused:
        ::SetTimer(hWnd, kStatusTimer, kIdleTickMilliseconds, nullptr);
        break;
    case wmppsStopped:
    case wmppsReady:
        ::SetTimer(hWnd, kStatusTimer, kIdleTickMilliseconds, nullptr);
        AutoRestart();
        // A station that cannot be played says why at once; one that waits
        // for the network says so.
        if (waitingForNetwork && statusLabel != nullptr)
            statusLabel->SetText("等待网络...");
        else if (playState == wmppsReady && !failureText.IsEmpty() && statusLabel != nullptr)
            statusLabel->SetText(failureText);
        break;
    default:
        break;
    }
    if (playButton != nullptr)
        playButton->SetVisible(true);
    if (pauseButton != nullptr)
        pauseButton->SetVisible(false);
    return 0;
}

void CRadioWnd::RefreshStatusLine()
{
    std::string text;
    switch (playState) {
    case wmppsTransitioning:
        ::KillTimer(hWnd, kStatusTimer);
        ::SetTimer(hWnd, kStatusTimer, kConnectingTickMilliseconds, nullptr);
        text = kConnectingTexts[statusDots % 3];
        statusDots = (statusDots + 1) % 3;
        break;
    case wmppsBuffering: {
        ::KillTimer(hWnd, kStatusTimer);
        ::SetTimer(hWnd, kStatusTimer, kBufferingTickMilliseconds, nullptr);
        std::string status;
        if (!ReadStatus(player, status))
            return;
        text = BufferingText(status);
        break;
    }
    case wmppsReady:
        text = waitingForNetwork ? "等待网络..." : failureText.IsEmpty() ? "准备就绪" : failureText.GetData();
        break;
    case wmppsPaused:
    case wmppsStopped:
        text = waitingForNetwork ? "等待网络..." : "暂停播放";
        break;
    default:
        return;
    }
    if (statusLabel != nullptr)
        statusLabel->SetText(text.c_str());
}
