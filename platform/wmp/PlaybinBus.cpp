// The pipeline's messages: errors, the end of a stream, buffering, the
// preroll and PLAYING, tags (bit rate, titles), a lost clock; and the
// buffering policy: a stream that is not live is paused while its queue
// fills, a live one plays on and is paused only when it really ran dry.
//
// Threads: the GUI thread (the bus watch on the default main context), with
// pipelineMutex and stateMutex taken in that order.

#include "platform/wmp/PlaybinEngine.h"

#include "platform/wmp/PlaybinSession.h"
#include "platform/wmp/StreamTap.h"

#include <gst/gst.h>

using namespace playbin;

namespace {

// A live stream counts as run dry when no buffer has reached the audio sink
// for this many milliseconds while playing and its queue is at or below the
// low mark (percent); it stays paused, showing the percentage, until the
// queue is back at the high mark. A sink that waits while the queue still
// holds data is a busy machine, not an underrun.
constexpr std::int64_t kUnderrunQuietMilliseconds = 1000;
constexpr int kUnderrunLowPercent = 10;
constexpr int kUnderrunHighPercent = 100;

// A change of the measured (not nominal) bit rate is shown only when it moves
// the figure by more than one part in this many, so that a VBR stream's
// bitrate tag, which changes about once a second, does not raise a status
// change every second.
constexpr unsigned kBitrateHysteresisParts = 10;

unsigned Kbps(guint bitsPerSecond)
{
    return (bitsPerSecond + 500) / 1000;
}

} // namespace

bool CPlaybinEngine::LiveLocked() const
{
    return session != nullptr &&
           (session->noPreroll || session->link->answer.load() == Link::kAnswerLive);
}

void CPlaybinEngine::CheckUnderrunLocked(std::unique_lock<std::mutex>& lock)
{
    if (session == nullptr || !session->active || !LiveLocked() || session->underrun ||
        PlayState() != wmppsPlaying || session->percent < 0 || session->percent > kUnderrunLowPercent)
        return;
    const std::int64_t starvedMicroseconds = Now() - session->link->lastRendered.load();
    if (starvedMicroseconds < kUnderrunQuietMilliseconds * 1000)
        return;
    session->underrun = true;
    ChangeLocked(wmppsBuffering, kStatusBufferingPrefix + std::to_string(session->percent) + "%");
    lock.unlock();
    SetPipelineState(GST_STATE_PAUSED);
    lock.lock();
}

int CPlaybinEngine::OnBusMessage(GstBus*, GstMessage* message, void* box)
{
    const LinkPointer& link = *static_cast<LinkPointer*>(box);
    CPlaybinEngine* engine = link->engine;
    if (engine == nullptr)
        return G_SOURCE_REMOVE;
    engine->HandleBusMessage(link->sessionId, message);
    return G_SOURCE_CONTINUE;
}

void CPlaybinEngine::HandleBusMessage(std::uint64_t sessionId, GstMessage* message)
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    std::unique_lock<std::mutex> lock(stateMutex);
    if (!SessionIs(sessionId))
        return;
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        if (session->probe != nullptr)
            break; // the opening has failed already: the probe tells why
        const FailureContext context = ContextLocked();
        if (NeedsConnectionProbe(message, context)) {
            StartProbeLocked(ProbeKind::ConnectOnly);
            break;
        }
        const PlaybackFailure cause = FailureOfError(message, context);
        lock.unlock();
        FailLocked(cause);
        break;
    }
    case GST_MESSAGE_ELEMENT: {
        const PlaybackFailure missing = FailureOfMissingPlugin(message);
        if (missing.reason != wmpfNone && session->missingPlugin.reason == wmpfNone)
            session->missingPlugin = missing;
        break;
    }
    case GST_MESSAGE_EOS:
        lock.unlock();
        TeardownLocked();
        lock.lock();
        ChangeLocked(wmppsMediaEnded, kStatusEnded);
        queue(PlayerEvent{PlayerEventKind::EndOfStream, 0});
        ChangeLocked(wmppsStopped, kStatusStopped);
        break;
    case GST_MESSAGE_BUFFERING: {
        gint percent = 0;
        gst_message_parse_buffering(message, &percent);
        if (percent != session->percent)
            NoteProgress();
        session->percent = percent;
        if (LiveLocked()) {
            // A live stream is fed at the rate it plays: its queue runs low
            // and fills again all the time. Only a real underrun is acted on.
            if (!session->underrun) {
                CheckUnderrunLocked(lock);
                break;
            }
            ChangeLocked(wmppsBuffering, kStatusBufferingPrefix + std::to_string(percent) + "%");
            if (percent >= kUnderrunHighPercent && session->wantPlaying) {
                session->underrun = false;
                lock.unlock();
                SetPipelineState(GST_STATE_PLAYING);
            }
            break;
        }
        const bool wasBuffering = session->buffering;
        session->buffering = percent < 100;
        if (session->wantPlaying &&
            (percent < 100 || PlayState() == wmppsBuffering || PlayState() == wmppsTransitioning))
            ChangeLocked(wmppsBuffering, kStatusBufferingPrefix + std::to_string(percent) + "%");
        const bool wantPlaying = session->wantPlaying;
        const bool prerolled = session->prerolled;
        lock.unlock();
        if (percent < 100 && !wasBuffering && wantPlaying)
            SetPipelineState(GST_STATE_PAUSED);
        else if (percent >= 100 && wantPlaying && prerolled)
            SetPipelineState(GST_STATE_PLAYING);
        break;
    }
    case GST_MESSAGE_ASYNC_DONE: {
        if (session->prerolled && session->underrun)
            break; // paused for an underrun: the queue's filling starts it
        session->prerolled = true;
        // A live stream starts as soon as it can play: waiting for its queue
        // to fill would wait at the rate the station sends.
        const bool start = session->wantPlaying && (LiveLocked() || !session->buffering);
        lock.unlock();
        if (start)
            SetPipelineState(GST_STATE_PLAYING);
        break;
    }
    case GST_MESSAGE_STATE_CHANGED: {
        if (GST_MESSAGE_SRC(message) != GST_OBJECT(session->playbin))
            break;
        GstState oldState = GST_STATE_NULL;
        GstState newState = GST_STATE_NULL;
        gst_message_parse_state_changed(message, &oldState, &newState, nullptr);
        if (newState == GST_STATE_PLAYING && session->wantPlaying && !session->underrun) {
            session->played = true;
            session->link->lastRendered = Now(); // the sink's wait for data starts here
            ChangeOpenStateLocked(wmposMediaOpen);
            ChangeLocked(wmppsPlaying, PlayingStatusLocked());
        }
        break;
    }
    case GST_MESSAGE_TAG: {
        GstTagList* tags = nullptr;
        gst_message_parse_tag(message, &tags);
        guint bitsPerSecond = 0;
        if (gst_tag_list_get_uint(tags, GST_TAG_NOMINAL_BITRATE, &bitsPerSecond) && bitsPerSecond > 0)
            session->nominalKbps = Kbps(bitsPerSecond);
        if (gst_tag_list_get_uint(tags, GST_TAG_BITRATE, &bitsPerSecond) && bitsPerSecond > 0) {
            const unsigned measured = Kbps(bitsPerSecond);
            const unsigned shown = session->measuredKbps;
            const unsigned difference = measured > shown ? measured - shown : shown - measured;
            if (shown == 0 || difference * kBitrateHysteresisParts > shown)
                session->measuredKbps = measured;
        }
        // Titles of Vorbis comments and ID3 tags; GStreamer has made them
        // UTF-8 (GST_TAG_ENCODING names the fall-back).
        gchar* tagTitle = nullptr;
        if (gst_tag_list_get_string(tags, GST_TAG_TITLE, &tagTitle) && tagTitle != nullptr) {
            std::string text = TitleToUtf8(tagTitle);
            gchar* artist = nullptr;
            if (gst_tag_list_get_string(tags, GST_TAG_ARTIST, &artist) && artist != nullptr && *artist != 0)
                text = TitleToUtf8(artist) + " - " + text;
            g_free(artist);
            ChangeTitleLocked(text);
        }
        g_free(tagTitle);
        gst_tag_list_unref(tags);
        if (PlayState() == wmppsPlaying)
            ChangeLocked(wmppsPlaying, PlayingStatusLocked());
        break;
    }
    case GST_MESSAGE_CLOCK_LOST: {
        const bool wantPlaying = session->wantPlaying;
        lock.unlock();
        if (wantPlaying) {
            SetPipelineState(GST_STATE_PAUSED);
            SetPipelineState(GST_STATE_PLAYING);
        }
        break;
    }
    default:
        break;
    }
}
