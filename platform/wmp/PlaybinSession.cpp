// The opening of a station: what the URL is (local file, playlist, stream
// whose server tells), the playlist's entries tried in turn, the playbin and
// its audio output, the HTTP source and what its answer tells, and the end
// of a pipeline.
//
// Threads: the GUI thread, with pipelineMutex held (the sessions' starts and
// ends); OnSourceSetup runs on a streaming thread or the pipeline worker and
// only posts to the GUI thread.

#include "platform/wmp/PlaybinEngine.h"

#include "platform/wmp/GuiThread.h"
#include "platform/wmp/MediaLocation.h"
#include "platform/wmp/PipelineWorker.h"
#include "platform/wmp/PlaybinSession.h"
#include "platform/wmp/Playlist.h"
#include "platform/wmp/StreamResolver.h"
#include "platform/wmp/StreamTap.h"

#include <gst/audio/streamvolume.h>
#include <gst/gst.h>

#include <utility>

using namespace playbin;

namespace {

// playbin's flags: audio only, with its own software volume; no video or
// subtitle decoding for streams that carry them.
constexpr guint kPlaybinFlagAudio = 0x02;
constexpr guint kPlaybinFlagSoftVolume = 0x10;

// Playlists followed through playlists before giving up.
constexpr int kMaxPlaylistDepth = 4;
// Entries of one playlist tried in turn before the opening fails.
constexpr std::size_t kMaxEntriesTried = 8;

PlaybackFailure OtherFailure(std::string text)
{
    const std::string prefix = "打开失败: ";
    if (text.compare(0, prefix.size(), prefix) == 0)
        text.erase(0, prefix.size());
    PlaybackFailure failure;
    failure.reason = wmpfOther;
    failure.detail = std::move(text);
    return failure;
}

bool IsHttpSource(GstElement* source)
{
    GObjectClass* type = G_OBJECT_GET_CLASS(source);
    return g_object_class_find_property(type, "extra-headers") != nullptr ||
           g_object_class_find_property(type, "iradio-mode") != nullptr;
}

} // namespace

void CPlaybinEngine::StartSessionLocked()
{
    TeardownLocked();
    std::string target;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        target = url;
    }
    const MediaLocation location = LocateMedia(target, PlayerBaseFolder());
    // The first status already says what the opening starts with, so that
    // the status line does not flicker through a text that is at once out of
    // date.
    const bool readsPlaylist = location.kind == MediaKind::HttpPlaylist;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        session = std::make_unique<Session>();
        session->id = ++sessionCounter;
        failure = PlaybackFailure();
        session->link = std::make_shared<Link>(this, session->id);
        ChangeOpenStateLocked(readsPlaylist ? wmposPlaylistOpening : wmposMediaOpening);
        ChangeLocked(wmppsTransitioning, readsPlaylist ? kStatusReadingPlaylist : kStatusConnecting);
        NoteProgress();
    }
    EnsureWatchdog();
    if (!PlaybinInstalled()) {
        FailLocked(OtherFailure("缺少 GStreamer 的 playbin"));
        return;
    }
    switch (location.kind) {
    case MediaKind::Invalid:
        FailLocked(OtherFailure(location.error));
        break;
    case MediaKind::Stream:
    case MediaKind::HttpPlaylist:
    case MediaKind::HttpUnknown:
        // A server's answer says itself whether it is a playlist: the
        // connection that plays reads it (one request per opening).
        StartPipelineLocked(location.uri);
        break;
    case MediaKind::LocalPlaylist: {
        const StreamResolution resolution = ResolveLocalPlaylist(location.path);
        if (resolution.ok)
            StartPipelineLocked(resolution.uri);
        else
            FailLocked(OtherFailure(resolution.error));
        break;
    }
    }
}

void CPlaybinEngine::HandlePlaylistBody(std::uint64_t sessionId, const std::string& body, const std::string& baseUrl)
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    bool tooDeep = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (!SessionIs(sessionId))
            return;
        std::vector<std::string> entries;
        for (const std::string& entry : ParsePlaylist(body, baseUrl.empty() ? session->uri : baseUrl)) {
            const std::string scheme = UrlScheme(entry);
            if (!scheme.empty() && scheme != "file" && entries.size() < kMaxEntriesTried)
                entries.push_back(entry);
        }
        if (!entries.empty() && ++session->playlistDepth >= kMaxPlaylistDepth) {
            entries.clear();
            tooDeep = true;
        }
        session->entries = std::move(entries);
        session->entryIndex = 0;
    }
    if (tooDeep) {
        PlaybackFailure deep;
        deep.reason = wmpfNoPlayableEntry;
        FailLocked(deep);
        return;
    }
    if (session->entries.empty()) {
        FailLocked(FailureOfEmptyPlaylist(body));
        return;
    }
    StartEntryLocked(session->entries.front());
}

void CPlaybinEngine::StartEntryLocked(const std::string& entry)
{
    // The connection before is done with; the entry gets one of its own.
    GstElement* spent = nullptr;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        spent = DetachPipelineLocked();
        session->link = std::make_shared<Link>(this, session->id);
        session->prerolled = false;
        session->buffering = false;
        session->percent = -1;
        session->missingPlugin = PlaybackFailure();
        session->probe.reset();
        ChangeOpenStateLocked(wmposMediaOpening);
        ChangeLocked(wmppsTransitioning, kStatusConnecting);
    }
    if (spent != nullptr)
        worker->Retire(spent);
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        NoteProgress();
    }
    StartPipelineLocked(entry);
}

void CPlaybinEngine::StartPipelineLocked(const std::string& uri)
{
    std::string problem;
    GstElement* sink = MakeAudioSink(problem);
    if (sink == nullptr) {
        PlaybackFailure noOutput;
        noOutput.reason = wmpfNoAudioOutput;
        noOutput.detail = problem;
        FailLocked(noOutput);
        return;
    }
    LinkPointer sessionLink;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        sessionLink = session->link;
    }
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (playbin == nullptr) {
        gst_object_unref(gst_object_ref_sink(sink));
        FailLocked(OtherFailure("缺少 GStreamer 的 playbin"));
        return;
    }
    gst_object_ref_sink(playbin);
    if (GstPad* sinkPad = gst_element_get_static_pad(sink, "sink")) {
        // Streaming thread: only the atomic stamp of the link is touched.
        gst_pad_add_probe(
            sinkPad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
            [](GstPad*, GstPadProbeInfo*, gpointer box) -> GstPadProbeReturn {
                (*static_cast<LinkPointer*>(box))->lastRendered = Now();
                return GST_PAD_PROBE_OK;
            },
            BoxLink(sessionLink), [](gpointer box) { FreeBoxedLink(box); });
        gst_object_unref(sinkPad);
    }
    g_object_set(playbin, "flags", kPlaybinFlagAudio | kPlaybinFlagSoftVolume, "audio-sink", sink, "uri",
                 uri.c_str(), nullptr);
    gst_stream_volume_set_volume(GST_STREAM_VOLUME(playbin), GST_STREAM_VOLUME_FORMAT_CUBIC, volume.load() / 100.0);

    LinkPointer link;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        session->uri = uri;
        session->network = UrlScheme(uri) != "file";
        session->playbin = playbin;
        link = session->link;
        g_signal_connect_data(playbin, "source-setup", G_CALLBACK(OnSourceSetup), BoxLink(link), &FreeBoxedLink,
                              GConnectFlags(0));
        GstBus* bus = gst_element_get_bus(playbin);
        session->busWatch = gst_bus_create_watch(bus);
        gst_object_unref(bus);
        g_source_set_callback(session->busWatch,
                              reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(&OnBusMessage)),
                              BoxLink(link), [](gpointer box) { FreeBoxedLink(box); });
        g_source_attach(session->busWatch, nullptr);
    }
    // Prerolled first, then PLAYING once prerolled (and, for a stream that is
    // not live, buffered), the way GStreamer's own player does it.
    IUnknown* engineOwner = owner;
    engineOwner->AddRef();
    worker->Change(playbin, GST_STATE_PAUSED, [link, engineOwner](int result) {
        // The element that failed has posted its error; let the bus deliver
        // it first, and fail with a plain text only if it said nothing.
        const GuiPriority priority = result == GST_STATE_CHANGE_FAILURE ? GuiPriority::Idle : GuiPriority::Normal;
        PostToGuiThread(
            [link, engineOwner, result] {
                CPlaybinEngine* engine = link->engine;
                if (engine != nullptr && result == GST_STATE_CHANGE_FAILURE) {
                    engine->HandleStartFailure(link->sessionId);
                } else if (engine != nullptr && result == GST_STATE_CHANGE_NO_PREROLL) {
                    std::lock_guard<std::mutex> pipelineLock(engine->pipelineMutex);
                    bool start = false;
                    {
                        std::lock_guard<std::mutex> lock(engine->stateMutex);
                        if (engine->SessionIs(link->sessionId)) {
                            engine->session->noPreroll = true;
                            start = engine->session->wantPlaying;
                        }
                    }
                    if (start)
                        engine->SetPipelineState(GST_STATE_PLAYING);
                }
                engineOwner->Release();
            },
            priority);
    });
}

void CPlaybinEngine::HandleStartFailure(std::uint64_t sessionId)
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    FailureContext context;
    std::string uri;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        // A probe under way tells why; its answer ends the opening.
        if (!SessionIs(sessionId) || session->probe != nullptr)
            return;
        context = ContextLocked();
        uri = session->uri;
    }
    FailLocked(context.network ? FailureOfStall(context) : OtherFailure("无法打开 " + uri));
}

void CPlaybinEngine::TeardownLocked()
{
    GstElement* spent = nullptr;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (session == nullptr)
            return;
        session->active = false;
        session->underrun = false;
        spent = DetachPipelineLocked();
    }
    // The worker ends the pipeline; nobody here waits for its threads.
    if (spent != nullptr)
        worker->Retire(spent);
}

GstElement* CPlaybinEngine::DetachPipelineLocked()
{
    session->link->engine = nullptr;
    if (session->busWatch != nullptr) {
        g_source_destroy(session->busWatch);
        g_source_unref(session->busWatch);
        session->busWatch = nullptr;
    }
    GstElement* spent = session->playbin;
    session->playbin = nullptr;
    return spent;
}

void CPlaybinEngine::SetPipelineState(int state)
{
    GstElement* playbin = nullptr;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (session != nullptr)
            playbin = session->playbin;
    }
    if (playbin != nullptr)
        worker->Change(playbin, state);
}

void CPlaybinEngine::OnSourceSetup(GstElement*, GstElement* source, void* box)
{
    // Streaming thread or the worker: what the source tells is kept in the
    // link, or posted to the GUI thread.
    const LinkPointer link = *static_cast<LinkPointer*>(box);
    StreamTapCallbacks callbacks;
    callbacks.data = [link] {
        link->delivered = true;
        link->lastProgress = Now();
    };
    if (!IsHttpSource(source)) {
        CStreamTap::Attach(source, std::move(callbacks));
        return;
    }
    callbacks.headers = [link](bool live) {
        link->answer = live ? Link::kAnswerLive : Link::kAnswerFinite;
    };
    callbacks.playlist = [link](const std::string& body, const std::string& baseUrl) {
        PostToGuiThread([link, body, baseUrl] {
            if (CPlaybinEngine* engine = link->engine)
                engine->HandlePlaylistBody(link->sessionId, body, baseUrl);
        });
    };
    callbacks.title = [link](const std::string& title) {
        PostToGuiThread([link, title] {
            if (CPlaybinEngine* engine = link->engine)
                engine->HandleTitle(link->sessionId, title);
        });
    };
    CStreamTap::Attach(source, std::move(callbacks));
}

void CPlaybinEngine::HandleTitle(std::uint64_t sessionId, const std::string& newTitle)
{
    std::lock_guard<std::mutex> lock(stateMutex);
    if (SessionIs(sessionId))
        ChangeTitleLocked(newTitle);
}
