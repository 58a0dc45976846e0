#pragma once

// CScriptedPlayer: a media player whose play state and status text the test
// sets, for driving the main window through states a real stream reaches
// only by chance (four-digit percentages, six-digit bit rates, a status call
// that fails). It records every call the window makes on it.
//
// While a CScriptedPlayerClass is alive, CoCreateInstance of the media
// player's class id makes the scripted player instead of the real one.
//
// Threads: the state, the status text and the records may be read and
// written from any thread (the station-switch thread calls get_playState and
// stop); RaiseStatusChange belongs to the GUI thread, where the real player
// raises its events.

#include "platform/wmp/Wmp.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

class CScriptedPlayer final : public CEarlyBound<IWMPPlayer>, public IConnectionPointContainer, public IConnectionPoint
{
public:
    CScriptedPlayer();

    // ---------------------------------------------------------- scripting
    void SetState(WMPPlayState state);
    void SetStatus(const std::string& status);
    // The state and the status at once, then one status-change event.
    void Change(WMPPlayState state, const std::string& status = "");
    // One status-change event to the advised sink.
    void RaiseStatusChange();
    // get_status answers E_FAIL while this is set.
    void FailStatus(bool fail) { statusFails = fail; }
    // How many stop calls it takes to leave Playing or Buffering (1: the first).
    void SetStopsToEnd(int stops) { stopsToEnd = stops; }

    // ---------------------------------------------------------- records
    std::vector<std::string> Urls() const; // every URL put, in order
    int PlayCalls() const { return playCalls; }
    int PauseCalls() const { return pauseCalls; }
    int StopCalls() const { return stopCalls; }
    // The stop calls counted when the last URL was put.
    int StopCallsBeforeLastUrl() const { return stopCallsAtLastUrl; }
    std::vector<COM_LONG> Volumes() const;
    // put_URL, play, pause and stop, in the order they came (stop from
    // either thread).
    std::vector<std::string> Calls() const;
    // When get_status was called, failed calls included.
    std::vector<std::chrono::steady_clock::time_point> StatusReads() const;
    bool Advised() const;

    // ---------------------------------------------------------- IUnknown
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return ++references; }
    ULONG Release() override;

    // ---------------------------------------------------------- IWMPPlayer
    HRESULT close() override { return S_OK; }
    HRESULT get_URL(BSTR* url) override;
    HRESULT put_URL(BSTR url) override;
    HRESULT get_openState(WMPOpenState* state) override;
    HRESULT get_playState(WMPPlayState* state) override;
    HRESULT get_controls(IWMPControls** controls) override;
    HRESULT get_settings(IWMPSettings** settings) override;
    HRESULT get_status(BSTR* status) override;
    HRESULT get_currentMedia(IWMPMedia** media) override;
    HRESULT get_error(IWMPError** error) override;

    // ---------------------------------------------------------- connection point
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;
    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) override;
    HRESULT Unadvise(std::uint32_t cookie) override;

private:
    class CControls final : public CEarlyBound<IWMPControls>
    {
    public:
        explicit CControls(CScriptedPlayer& owner) : owner(owner) {}
        HRESULT QueryInterface(REFIID iid, void** object) override { return owner.QueryInterface(iid, object); }
        ULONG AddRef() override { return owner.AddRef(); }
        ULONG Release() override { return owner.Release(); }
        HRESULT play() override;
        HRESULT pause() override;
        HRESULT stop() override;

    private:
        CScriptedPlayer& owner;
    };

    class CSettings final : public CEarlyBound<IWMPSettings>
    {
    public:
        explicit CSettings(CScriptedPlayer& owner) : owner(owner) {}
        HRESULT QueryInterface(REFIID iid, void** object) override { return owner.QueryInterface(iid, object); }
        ULONG AddRef() override { return owner.AddRef(); }
        ULONG Release() override { return owner.Release(); }
        HRESULT get_volume(COM_LONG* volume) override;
        HRESULT put_volume(COM_LONG volume) override;

    private:
        CScriptedPlayer& owner;
    };

    ~CScriptedPlayer();
    void Record(const char* call);

    std::atomic<ULONG> references{1};
    std::atomic<int> playState{wmppsUndefined};
    std::atomic<bool> statusFails{false};
    std::atomic<int> stopsToEnd{1};
    std::atomic<int> stopsSinceStart{0};
    std::atomic<int> playCalls{0};
    std::atomic<int> pauseCalls{0};
    std::atomic<int> stopCalls{0};
    std::atomic<int> stopCallsAtLastUrl{0};

    mutable std::mutex mutex;
    std::string status;
    std::string url;
    std::vector<std::string> urls;
    std::vector<COM_LONG> volumes;
    std::vector<std::string> calls;
    std::vector<std::chrono::steady_clock::time_point> statusReads;
    COM_LONG volume = 50;
    IWMPEvents* sink = nullptr;

    CControls controls{*this};
    CSettings settings{*this};
};

// Makes the scripted player the media player's class while it lives; the
// real class comes back when it goes.
class CScriptedPlayerClass
{
public:
    CScriptedPlayerClass();
    ~CScriptedPlayerClass();
    CScriptedPlayerClass(const CScriptedPlayerClass&) = delete;
    CScriptedPlayerClass& operator=(const CScriptedPlayerClass&) = delete;

    // The one player handed out (made with the class, one reference held here).
    CScriptedPlayer& Player() { return *player; }

private:
    CScriptedPlayer* player;
};
