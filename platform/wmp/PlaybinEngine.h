#pragma once

// CPlaybinEngine: the player's working part over one GStreamer playbin — the
// play states, the status text, buffering, the stall watchdog, playlists —
// behind plain C++ calls. CWmpPlayer puts the COM face on it.
//
// Threads: the engine belongs to the thread that created it (the GUI thread);
// its bus watch, watchdog and playlist results run there, from the default
// GLib main context. Stop, PlayState, OpenState, Status and Url may be called
// from any thread. Every change is reported through the EventQueue callback
// at the moment it happens (from whichever thread made it, with the state
// lock held: the callback must only queue).
//
// Locks: `pipelineMutex` orders every change of the pipeline's state (a stop
// from the station-switch thread against the GUI thread's work), and is
// always taken before `stateMutex`, which guards the fields. GStreamer's
// streaming threads take neither: set_state(NULL) waits for them.

#include "platform/wmp/PlayerEvent.h"
#include "platform/wmp/Wmp.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

using GstElement = struct _GstElement;
using GstMessage = struct _GstMessage;
using GstBus = struct _GstBus;
using GSource = struct _GSource;
struct StreamResolution;

class CPlaybinEngine
{
public:
    using EventQueue = std::function<void(const PlayerEvent&)>;

    // `owner` is referenced while work is in flight (playlist fetches, their
    // results), so that the engine outlives it.
    CPlaybinEngine(IUnknown* owner, EventQueue queue);
    ~CPlaybinEngine();
    CPlaybinEngine(const CPlaybinEngine&) = delete;
    CPlaybinEngine& operator=(const CPlaybinEngine&) = delete;

    // False when GStreamer has no playbin: the player cannot be made.
    bool Usable() const { return playbin != nullptr; }

    // GUI thread. Open starts the URL at once (an empty one closes the media).
    void Open(const std::string& url);
    void Play();
    void Pause();
    void Close();
    void SetVolume(int volume);
    int Volume() const { return volume.load(); }

    // Any thread.
    void Stop();
    WMPPlayState PlayState() const { return static_cast<WMPPlayState>(playState.load()); }
    WMPOpenState OpenState() const;
    std::string Status() const;
    std::string Url() const;

    // Time without any data, while Transitioning or Buffering, after which
    // the stream counts as failed. Tests shorten it; it applies from the
    // next watchdog tick.
    static void SetStallTimeout(std::chrono::milliseconds timeout);
    static std::chrono::milliseconds StallTimeout();

private:
    struct Session;

    static int OnBusMessage(GstBus* bus, GstMessage* message, void* self);
    static int OnWatchdogTick(void* self);
    static void OnSourceSetup(GstElement* playbin, GstElement* source, void* self);

    void HandleBusMessage(GstMessage* message);
    void HandleWatchdogTick();
    void HandleResolution(std::uint64_t sessionId, const StreamResolution& resolution);
    void HandleStartFailure(std::uint64_t sessionId);

    // Callers hold pipelineMutex.
    void StartSessionLocked();
    void StartPipelineLocked(const std::string& uri);
    void StartResolverLocked(const std::string& uri, bool knownPlaylist);
    void TeardownLocked();
    void FailLocked(const std::string& status);
    void SetPipelineState(int state);

    // Callers hold stateMutex.
    void ChangeLocked(WMPPlayState state, const std::string& status);
    void ChangeOpenStateLocked(WMPOpenState state);
    std::string PlayingStatusLocked() const;
    bool SessionIs(std::uint64_t sessionId) const;

    void EnsureWatchdog();
    void NoteProgress();

    IUnknown* owner;
    EventQueue queue;
    std::thread::id guiThread;

    GstElement* playbin = nullptr;
    GSource* busWatch = nullptr;
    GSource* watchdog = nullptr; // GUI thread only

    std::mutex pipelineMutex;
    mutable std::mutex stateMutex;
    std::atomic<int> playState{wmppsUndefined}; // written under stateMutex, read without it
    WMPOpenState openState = wmposUndefined;
    std::string status;
    std::string url;
    std::unique_ptr<Session> session;
    std::uint64_t sessionCounter = 0;
    std::atomic<std::int64_t> lastProgress{0}; // monotonic microseconds of the last sign of data
    std::atomic<bool> sourceDelivered{false};  // the session's source has given data
    std::atomic<int> volume{100};
};
