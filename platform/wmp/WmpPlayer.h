#pragma once

// CWmpPlayer: the player object that CoCreateInstance(CLSID_WindowsMediaPlayer)
// makes — IWMPPlayer with its controls and settings objects and its two
// event connection points — over CPlaybinEngine.
//
// Its controls, settings and connection points live inside it and count
// their references on it. Events are queued as the engine reports them and
// delivered on the GUI thread; a delivery holds a reference, so the player
// outlives its own callbacks. When the last reference goes on another thread,
// the player is destroyed on the GUI thread, where its GLib sources live.

#include "platform/wmp/PlaybinEngine.h"
#include "platform/wmp/WmpConnectionPoint.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

class CWmpPlayer final : public CEarlyBound<IWMPPlayer>, public IConnectionPointContainer
{
public:
    // The class factory that Wmp.cpp registers for CLSID_WindowsMediaPlayer.
    static HRESULT Create(REFIID iid, void** object);

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT close() override;
    HRESULT get_URL(BSTR* url) override;
    HRESULT put_URL(BSTR url) override;
    HRESULT get_openState(WMPOpenState* state) override;
    HRESULT get_playState(WMPPlayState* state) override;
    HRESULT get_controls(IWMPControls** controls) override;
    HRESULT get_settings(IWMPSettings** settings) override;
    HRESULT get_status(BSTR* status) override;
    HRESULT get_currentMedia(IWMPMedia** media) override;
    HRESULT get_error(IWMPError** error) override;

    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

private:
    class CControls final : public CEarlyBound<IWMPControls>
    {
    public:
        explicit CControls(CWmpPlayer& player) : player(player) {}
        HRESULT QueryInterface(REFIID iid, void** object) override;
        ULONG AddRef() override { return player.AddRef(); }
        ULONG Release() override { return player.Release(); }
        HRESULT play() override;
        HRESULT pause() override;
        HRESULT stop() override;

    private:
        CWmpPlayer& player;
    };

    class CSettings final : public CEarlyBound<IWMPSettings>
    {
    public:
        explicit CSettings(CWmpPlayer& player) : player(player) {}
        HRESULT QueryInterface(REFIID iid, void** object) override;
        ULONG AddRef() override { return player.AddRef(); }
        ULONG Release() override { return player.Release(); }
        HRESULT get_volume(COM_LONG* volume) override;
        HRESULT put_volume(COM_LONG volume) override;

    private:
        CWmpPlayer& player;
    };

    CWmpPlayer();
    ~CWmpPlayer();

    // Any thread, with the engine's state lock held: queue only.
    void QueueEvent(const PlayerEvent& event);
    // GUI thread: delivers every queued event, then drops the delivery's reference.
    void DeliverEvents();

    std::atomic<ULONG> references{1};
    std::thread::id guiThread;
    CControls controls;
    CSettings settings;
    CWmpConnectionPoint eventsPoint;
    CWmpConnectionPoint dispatchPoint;

    std::mutex eventMutex;
    std::deque<PlayerEvent> events;
    bool deliveryPosted = false;

    // Last: made after, and destroyed before, everything its events reach.
    std::unique_ptr<CPlaybinEngine> engine;
};
