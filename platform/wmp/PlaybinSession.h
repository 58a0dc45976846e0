#pragma once

// What the engine's files share: the session of one opening and its link to
// the pipeline's threads, the status texts, and small helpers. Private to
// platform/wmp.
//
// Threads: as each field's comment says; Session belongs to the engine's
// stateMutex, Link is shared with the streaming threads through atomics.

#include "platform/wmp/ConnectionProbe.h"
#include "platform/wmp/PlaybackFailure.h"
#include "platform/wmp/PlaybinEngine.h"

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace playbin {

// Status texts. The system reads two shapes: while buffering the percentage
// as digits right before the first '%', while playing the bit rate as digits
// two characters after the first ':' ("播放: 128Kbps").
const char* const kStatusConnecting = "正在连接";
const char* const kStatusReadingPlaylist = "正在读取播放列表";
const char* const kStatusBufferingPrefix = "缓冲: ";
const char* const kStatusPlayingPrefix = "播放: ";
const char* const kStatusPlayingSuffix = "Kbps";
const char* const kStatusPaused = "已暂停";
const char* const kStatusStopped = "已停止";
const char* const kStatusEnded = "播放结束";

inline std::int64_t Now()
{
    return g_get_monotonic_time();
}

inline bool IsIdleState(WMPPlayState state)
{
    return state == wmppsUndefined || state == wmppsStopped || state == wmppsReady || state == wmppsMediaEnded;
}

inline bool IsOpeningOrPlaying(WMPPlayState state)
{
    return state == wmppsTransitioning || state == wmppsBuffering || state == wmppsPlaying;
}

// GStreamer's start (GStreamerStart.cpp): once per process, on whichever
// thread asks first.
void StartGStreamer();
bool PlaybinInstalled();
// The audio output; null, with what it was to be in `problem`, when it
// cannot be made.
GstElement* MakeAudioSink(std::string& problem);

} // namespace playbin

struct CPlaybinEngine::Link
{
    explicit Link(CPlaybinEngine* engine, std::uint64_t sessionId) : engine(engine), sessionId(sessionId) {}

    // Cleared when the pipeline is ended (on any thread); read on the GUI
    // thread, where every posted result runs and where the engine is
    // destroyed, so that a pointer read there stays good while it is used.
    std::atomic<CPlaybinEngine*> engine;
    const std::uint64_t sessionId;
    std::atomic<std::int64_t> lastProgress{0}; // monotonic microseconds of the last sign of data
    std::atomic<bool> delivered{false};        // the source has given data
    std::atomic<std::int64_t> lastRendered{0}; // monotonic microseconds of the last buffer to the audio sink
    std::atomic<int> answer{kAnswerUnknown};   // what the HTTP headers said

    static constexpr int kAnswerUnknown = 0;
    static constexpr int kAnswerLive = 1;
    static constexpr int kAnswerFinite = 2;
};

struct CPlaybinEngine::Session
{
    std::uint64_t id = 0;
    bool active = true;          // bus messages and results still concern it
    bool network = true;         // not a local file: a pause ends the stream and play reopens it
    bool resumeByReopen = false; // paused by ending the stream
    bool noPreroll = false;      // the pipeline answered NO_PREROLL: no pausing for buffering
    bool prerolled = false;
    bool buffering = false;
    bool underrun = false; // a live stream ran dry and waits for its queue to fill
    bool wantPlaying = true;
    int percent = -1;
    int playlistDepth = 0;
    bool played = false; // reached Playing once
    // The playable entries of the playlist being followed, and the one tried
    // now: a failed entry hands over to the next before the opening fails.
    std::vector<std::string> entries;
    std::size_t entryIndex = 0;
    PlaybackFailure missingPlugin;            // named by a missing-plugin message
    std::unique_ptr<CConnectionProbe> probe; // asks the server why its source failed
    unsigned nominalKbps = 0;
    unsigned measuredKbps = 0;
    std::string uri;
    GstElement* playbin = nullptr; // one reference, handed to the worker at the end
    GSource* busWatch = nullptr;
    std::shared_ptr<Link> link;
};

namespace playbin {

using LinkPointer = std::shared_ptr<CPlaybinEngine::Link>;

inline LinkPointer* BoxLink(const LinkPointer& link)
{
    return new LinkPointer(link);
}

inline void FreeBoxedLink(gpointer box, GClosure* = nullptr)
{
    delete static_cast<LinkPointer*>(box);
}

} // namespace playbin
