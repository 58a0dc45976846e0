// CPlaybinEngine: the play-state machine over playbin — construction and
// teardown, the calls of the player (Open, Play, Pause, Stop, Close, volume)
// and the changes of state, status, open state and title that raise events.
//
// The engine's other concerns are in files of their own:
//   PlaybinSession.cpp   the opening: source and playlist choice, the pipeline
//   PlaybinBus.cpp       the pipeline's messages and the buffering policy
//   PlaybinWatchdog.cpp  the stall watchdog and the end of a failed opening
//   GStreamerStart.cpp   GStreamer's start and the audio output
//
// Threads: the GUI thread makes and destroys the engine and calls Open,
// Play, Pause, Close and SetVolume; Stop and the accessors come from any
// thread. The locks are the header's.

#include "platform/wmp/PlaybinEngine.h"

#include "platform/wmp/PipelineWorker.h"
#include "platform/wmp/PlaybinSession.h"

#include <gst/audio/streamvolume.h>
#include <gst/gst.h>

using namespace playbin;

// ------------------------------------------------------------ construction

CPlaybinEngine::CPlaybinEngine(IUnknown* owner, EventQueue queue)
    : owner(owner), queue(std::move(queue)), guiThread(std::this_thread::get_id())
{
    worker = std::make_unique<CPipelineWorker>();
}

bool CPlaybinEngine::Usable() const
{
    return PlaybinInstalled();
}

CPlaybinEngine::~CPlaybinEngine()
{
    {
        std::lock_guard<std::mutex> lock(pipelineMutex);
        TeardownLocked();
    }
    // Every pipeline handed over is at NULL when the worker has ended.
    worker.reset();
    if (watchdog != nullptr)
        g_source_destroy(watchdog);
}

// ------------------------------------------------------------------- calls

void CPlaybinEngine::Open(const std::string& newUrl)
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    TeardownLocked();
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        url = newUrl;
        failure = PlaybackFailure();
        ChangeTitleLocked("");
        if (newUrl.empty()) {
            if (!IsIdleState(PlayState()))
                ChangeLocked(wmppsStopped, kStatusStopped);
            ChangeOpenStateLocked(wmposUndefined);
            return;
        }
    }
    StartSessionLocked();
}

void CPlaybinEngine::Play()
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    bool resume = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        const WMPPlayState state = PlayState();
        if (IsOpeningOrPlaying(state))
            return;
        if (state == wmppsPaused && session != nullptr && session->active && !session->resumeByReopen) {
            session->wantPlaying = true;
            resume = true;
        } else if (url.empty()) {
            return;
        }
    }
    if (resume)
        SetPipelineState(GST_STATE_PLAYING);
    else
        StartSessionLocked();
}

void CPlaybinEngine::Pause()
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    bool endStream = true;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (!IsOpeningOrPlaying(PlayState()) || session == nullptr)
            return;
        endStream = session->network;
    }
    if (endStream) {
        // A live stream cannot be held: the server goes on sending, or gives
        // up on us. Pausing ends it; play opens it again.
        TeardownLocked();
        std::lock_guard<std::mutex> lock(stateMutex);
        session->resumeByReopen = true;
        ChangeLocked(wmppsPaused, kStatusPaused);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        session->wantPlaying = false;
    }
    SetPipelineState(GST_STATE_PAUSED);
    std::lock_guard<std::mutex> lock(stateMutex);
    ChangeLocked(wmppsPaused, kStatusPaused);
}

void CPlaybinEngine::Stop()
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (IsIdleState(PlayState()) && (session == nullptr || !session->active))
            return;
    }
    TeardownLocked();
    std::lock_guard<std::mutex> lock(stateMutex);
    ChangeLocked(wmppsStopped, kStatusStopped);
}

void CPlaybinEngine::Close()
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    TeardownLocked();
    std::lock_guard<std::mutex> lock(stateMutex);
    url.clear();
    failure = PlaybackFailure();
    session.reset();
    ChangeTitleLocked("");
    ChangeOpenStateLocked(wmposUndefined);
    ChangeLocked(wmppsUndefined, "");
}

void CPlaybinEngine::SetVolume(int newVolume)
{
    if (newVolume < 0)
        newVolume = 0;
    if (newVolume > 100)
        newVolume = 100;
    volume = newVolume;
    std::lock_guard<std::mutex> lock(stateMutex);
    if (session != nullptr && session->playbin != nullptr)
        gst_stream_volume_set_volume(GST_STREAM_VOLUME(session->playbin), GST_STREAM_VOLUME_FORMAT_CUBIC,
                                     newVolume / 100.0);
}

WMPOpenState CPlaybinEngine::OpenState() const
{
    std::lock_guard<std::mutex> lock(stateMutex);
    return openState;
}

std::string CPlaybinEngine::Status() const
{
    std::lock_guard<std::mutex> lock(stateMutex);
    return status;
}

std::string CPlaybinEngine::Url() const
{
    std::lock_guard<std::mutex> lock(stateMutex);
    return url;
}

std::string CPlaybinEngine::Title() const
{
    std::lock_guard<std::mutex> lock(stateMutex);
    return title;
}

PlaybackFailure CPlaybinEngine::Failure() const
{
    std::lock_guard<std::mutex> lock(stateMutex);
    return failure;
}

void CPlaybinEngine::ClearFailure()
{
    std::lock_guard<std::mutex> lock(stateMutex);
    failure = PlaybackFailure();
}

// ----------------------------------------------------------- state changes

void CPlaybinEngine::ChangeLocked(WMPPlayState state, const std::string& newStatus)
{
    const WMPPlayState old = PlayState();
    if (old == state && status == newStatus)
        return;
    status = newStatus;
    if (old != state) {
        playState = state;
        NoteProgress();
        if (old == wmppsBuffering)
            queue(PlayerEvent{PlayerEventKind::Buffering, VARIANT_FALSE});
        queue(PlayerEvent{PlayerEventKind::PlayStateChange, state});
        if (state == wmppsBuffering)
            queue(PlayerEvent{PlayerEventKind::Buffering, VARIANT_TRUE});
    }
    queue(PlayerEvent{PlayerEventKind::StatusChange});
}

void CPlaybinEngine::ChangeOpenStateLocked(WMPOpenState state)
{
    if (openState == state)
        return;
    openState = state;
    queue(PlayerEvent{PlayerEventKind::OpenStateChange, state});
}

void CPlaybinEngine::ChangeTitleLocked(const std::string& newTitle)
{
    if (title == newTitle)
        return;
    title = newTitle;
    queue(PlayerEvent{PlayerEventKind::MediaChange});
}

std::string CPlaybinEngine::PlayingStatusLocked() const
{
    const unsigned kbps = session == nullptr ? 0 : session->nominalKbps != 0 ? session->nominalKbps
                                                                            : session->measuredKbps;
    return std::string(kStatusPlayingPrefix) + (kbps != 0 ? std::to_string(kbps) : std::string()) +
           kStatusPlayingSuffix;
}

bool CPlaybinEngine::SessionIs(std::uint64_t sessionId) const
{
    return session != nullptr && session->id == sessionId && session->active;
}

void CPlaybinEngine::NoteProgress()
{
    if (session != nullptr)
        session->link->lastProgress = Now();
}
