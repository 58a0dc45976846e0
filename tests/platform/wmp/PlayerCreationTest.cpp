// Making the player the way the system does, from a program that links only
// the umbrella `platform` target: the class must be registered for
// CoCreateInstance without anyone naming the player's implementation, and
// its events must come through the window layer's message loop.

#include "platform/win/Win.h"
#include "platform/wmp/Wmp.h"
#include "platform/wmp/WmpEventsBase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(PlayerCreation, CoCreateInstanceMakesAWorkingPlayer)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IWMPPlayer* player = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer,
                               reinterpret_cast<void**>(&player)),
              S_OK);
    ASSERT_NE(player, nullptr);
    IWMPSettings* settings = nullptr;
    IWMPControls* controls = nullptr;
    ASSERT_EQ(player->get_settings(&settings), S_OK);
    ASSERT_EQ(player->get_controls(&controls), S_OK);
    // No main loop runs here: what is checked is what the calls change at once.
    BSTR url = Utf8ToBstr("/no/such/folder/tone.mp3");
    EXPECT_EQ(player->put_URL(url), S_OK);
    SysFreeString(url);
    WMPPlayState state = wmppsUndefined;
    player->get_playState(&state);
    EXPECT_TRUE(state == wmppsTransitioning || state == wmppsReady) << state;
    EXPECT_EQ(controls->stop(), S_OK);
    player->get_playState(&state);
    EXPECT_EQ(state, wmppsStopped);
    controls->Release();
    settings->Release();
    player->Release();
    CoUninitialize();
}

TEST(PlayerCreation, PlayerMadeWhilePreparationRunsWorks)
{
    // Preparation runs on its own thread; a player made at once waits for
    // what it needs and works, and a second preparation is no new start.
    PreparePlayer();
    PreparePlayer();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IWMPPlayer* player = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer,
                               reinterpret_cast<void**>(&player)),
              S_OK);
    ASSERT_NE(player, nullptr);
    BSTR url = Utf8ToBstr("/no/such/folder/tone.mp3");
    EXPECT_EQ(player->put_URL(url), S_OK);
    SysFreeString(url);
    WMPPlayState state = wmppsUndefined;
    player->get_playState(&state);
    EXPECT_TRUE(state == wmppsTransitioning || state == wmppsReady) << state;
    player->Release();
    CoUninitialize();
}

TEST(PlayerCreation, RefusedWithoutAnApartmentOrForAnotherInterface)
{
    std::thread([] {
        IWMPPlayer* player = reinterpret_cast<IWMPPlayer*>(0x1);
        EXPECT_EQ(CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer,
                                   reinterpret_cast<void**>(&player)),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(player, nullptr);
    }).join();
    CoInitialize(nullptr);
    void* object = nullptr;
    // The player object is not its own controls.
    EXPECT_EQ(CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPControls, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    // The same object through the interface a dispatch client would ask for.
    ASSERT_EQ(CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &object),
              S_OK);
    static_cast<IDispatch*>(object)->Release();
    CoUninitialize();
}

// ------------------------------------------------- through the message loop

namespace {

// The message the system's event sink posts for every status change.
constexpr UINT kPlayerStatusMessage = WM_USER + 70;
// Timer id and milliseconds of the watchdog that ends a loop that waits too long.
constexpr UINT_PTR kWatchdogTimer = 1;
constexpr UINT kWatchdogMilliseconds = 10000;

std::atomic<int> statusMessages{0};
std::atomic<bool> watchdogFired{false};
IWMPPlayer* loopPlayer = nullptr;

// A sink that does what the system's does: post a message from StatusChange.
class CPostingSink final : public CWMPEventsBase
{
public:
    explicit CPostingSink(HWND window) : window(window) {}
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IWMPEvents)) {
            *object = static_cast<IWMPEvents*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override
    {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }
    void StatusChange() override
    {
        if (IsWindow(window))
            PostMessage(window, kPlayerStatusMessage, 0, 0);
    }

private:
    HWND window;
    ULONG references = 1;
};

LRESULT LoopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kPlayerStatusMessage) {
        ++statusMessages;
        WMPPlayState state = wmppsUndefined;
        loopPlayer->get_playState(&state);
        if (state == wmppsReady)
            PostQuitMessage(0);
        return 0;
    }
    if (message == WM_TIMER && wParam == kWatchdogTimer) {
        watchdogFired = true;
        PostQuitMessage(1);
        return 0;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

} // namespace

TEST(PlayerCreation, EventsReachTheWindowThroughTheMessageLoop)
{
    WNDCLASS windowClass{};
    windowClass.lpfnWndProc = &LoopWindowProc;
    windowClass.hInstance = GetModuleHandle(nullptr);
    windowClass.lpszClassName = "UIPlayerLoopTest";
    ASSERT_NE(RegisterClass(&windowClass), 0);
    HWND window = CreateWindowEx(0, "UIPlayerLoopTest", "player loop", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandle(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    CoInitialize(nullptr);
    ASSERT_EQ(CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer,
                               reinterpret_cast<void**>(&loopPlayer)),
              S_OK);
    IConnectionPointContainer* container = nullptr;
    loopPlayer->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(container->FindConnectionPoint(IID_IWMPEvents, &point), S_OK);
    auto* sink = new CPostingSink(window);
    std::uint32_t cookie = 0;
    ASSERT_EQ(point->Advise(sink, &cookie), S_OK);
    sink->Release();
    container->Release();

    // A missing file fails on the bus, which only a running main loop reads.
    BSTR url = Utf8ToBstr("/no/such/folder/tone.mp3");
    loopPlayer->put_URL(url);
    SysFreeString(url);
    SetTimer(window, kWatchdogTimer, kWatchdogMilliseconds, nullptr);
    MSG message{};
    while (GetMessage(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessage(&message);
    }
    KillTimer(window, kWatchdogTimer);
    EXPECT_FALSE(watchdogFired.load());
    EXPECT_GE(statusMessages.load(), 2); // connecting, then the failure
    WMPPlayState state = wmppsUndefined;
    loopPlayer->get_playState(&state);
    EXPECT_EQ(state, wmppsReady);

    point->Release();
    loopPlayer->Release();
    loopPlayer = nullptr;
    DestroyWindow(window);
    CoUninitialize();
}
