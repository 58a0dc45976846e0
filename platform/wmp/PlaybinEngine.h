#pragma once

// CPlaybinEngine: the player's working part over one GStreamer playbin — the
// play states, the status text, buffering, the stall watchdog, playlists —
// behind plain C++ calls. CWmpPlayer puts the COM face on it.
//
// Threads: the engine belongs to the thread that created it (the GUI thread);
// its bus watches, watchdog, titles and playlist bodies run there, from the
// default GLib main context. Stop, PlayState, OpenState, Status, Title and
// Url may be called from any thread. Every change is reported through the
// EventQueue callback at the moment it happens (from whichever thread made
// it, with the state lock held: the callback must only queue).
//
// No call waits for GStreamer: every opening makes a playbin of its own, and
// its state changes (the start, PLAYING, and NULL at its end, which may wait
// for a streaming thread stuck in the network) are carried out by a worker
// thread. Only the engine's own bookkeeping is done by the caller.
//
// Locks: `pipelineMutex` orders the sessions' starts and ends (a stop from
// the station-switch thread against the GUI thread's work), and is always
// taken before `stateMutex`, which guards the fields. GStreamer's streaming
// threads take neither.
//
// Live streams: an HTTP answer without a length (a station) is live. Once it
// plays it keeps playing while data arrives; buffering messages are not
// acted on then. Only a real underrun (the queue nearly empty and the source
// quiet) pauses it and shows the buffering percentage, until the queue is
// full again.

#include "platform/wmp/PlaybackFailure.h"
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
class CPipelineWorker;

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

    // False when GStreamer has no playbin: the player cannot be made. The
    // first call waits for GStreamer's start if it is not done yet; the
    // engine itself is made without it.
    bool Usable() const;

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
    // The current stream's title (ICY StreamTitle, Vorbis comment or ID3
    // tag), UTF-8; "" when it sent none.
    std::string Title() const;
    // Why the last opening failed; reason wmpfNone while it has not.
    PlaybackFailure Failure() const;
    void ClearFailure();

    // Time without any data, while Transitioning or Buffering, after which
    // the stream counts as failed. Tests shorten it; it applies from the
    // next watchdog tick.
    static void SetStallTimeout(std::chrono::milliseconds timeout);
    static std::chrono::milliseconds StallTimeout();

    // What an opening's playbin and its source share with the engine; it
    // outlives both, and the engine can go before them.
    struct Link;

private:
    struct Session;

    static int OnBusMessage(GstBus* bus, GstMessage* message, void* link);
    static int OnWatchdogTick(void* self);
    static void OnSourceSetup(GstElement* playbin, GstElement* source, void* link);

    void HandleBusMessage(std::uint64_t sessionId, GstMessage* message);
    void HandleWatchdogTick();
    void HandlePlaylistBody(std::uint64_t sessionId, const std::string& body, const std::string& baseUrl);
    void HandleTitle(std::uint64_t sessionId, const std::string& title);
    void HandleStartFailure(std::uint64_t sessionId);
    void HandleProbeAnswer(std::uint64_t sessionId, const PlaybackFailure& answer);
    // Asks the server why the opening failed; its answer ends the opening.
    void StartProbeLocked(ProbeKind kind);

    // Callers hold pipelineMutex.
    void StartSessionLocked();
    void StartPipelineLocked(const std::string& uri);
    // Opens the next playlist entry in the current session.
    void StartEntryLocked(const std::string& entry);
    void TeardownLocked();
    // Ends the opening in Ready with the failure's words, unless a playlist
    // entry is left to try.
    void FailLocked(const PlaybackFailure& cause);
    void SetPipelineState(int state);

    // Callers hold stateMutex.
    // Cuts the session's pipeline off from the engine (its bus watch, its
    // link) and hands it back, to be retired.
    GstElement* DetachPipelineLocked();
    void ChangeLocked(WMPPlayState state, const std::string& status);
    void ChangeOpenStateLocked(WMPOpenState state);
    void ChangeTitleLocked(const std::string& title);
    std::string PlayingStatusLocked() const;
    FailureContext ContextLocked() const;
    bool SessionIs(std::uint64_t sessionId) const;
    bool LiveLocked() const;
    // A live stream that plays has run dry: pause it and show the percentage.
    void CheckUnderrunLocked(std::unique_lock<std::mutex>& lock);

    void EnsureWatchdog();
    void NoteProgress();

    IUnknown* owner;
    EventQueue queue;
    std::thread::id guiThread;

    std::unique_ptr<CPipelineWorker> worker;
    GSource* watchdog = nullptr; // GUI thread only

    std::mutex pipelineMutex;
    mutable std::mutex stateMutex;
    std::atomic<int> playState{wmppsUndefined}; // written under stateMutex, read without it
    WMPOpenState openState = wmposUndefined;
    std::string status;
    std::string url;
    std::unique_ptr<Session> session;
    std::string title;
    PlaybackFailure failure;
    std::uint64_t sessionCounter = 0;
    std::atomic<int> volume{100};
};
