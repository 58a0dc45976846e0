// CPlaybinEngine: the play-state machine over playbin.
//
// In this file: status texts (a failure's words are PlaybackFailure's); the session and its link to
// the pipeline's threads; construction and teardown; the calls of the player
// (Open, Play, Pause, Stop, Close, volume); the session start (local file,
// playlist body, pipeline); the bus messages with the live buffering policy;
// the stall and underrun watchdog.

#include "platform/wmp/PlaybinEngine.h"

#include "platform/wmp/ConnectionProbe.h"
#include "platform/wmp/DecoderRanking.h"
#include "platform/wmp/GuiThread.h"
#include "platform/wmp/MediaLocation.h"
#include "platform/wmp/PipelineWorker.h"
#include "platform/wmp/PlaybackFailure.h"
#include "platform/wmp/Playlist.h"
#include "platform/wmp/StreamResolver.h"
#include "platform/wmp/StreamTap.h"

#include <gst/audio/streamvolume.h>
#include <gst/gst.h>

#include <cstdlib>
#include <vector>
#include <utility>

namespace {

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

// Milliseconds between two looks of the stall watchdog.
constexpr guint kWatchdogTickMilliseconds = 500;
// Default milliseconds without data, while connecting or buffering, before a
// stream counts as failed.
constexpr std::int64_t kDefaultStallMilliseconds = 15000;
std::atomic<std::int64_t> stallMilliseconds{kDefaultStallMilliseconds};

// playbin's flags: audio only, with its own software volume; no video or
// subtitle decoding for streams that carry them.
constexpr guint kPlaybinFlagAudio = 0x02;
constexpr guint kPlaybinFlagSoftVolume = 0x10;

// A change of the measured (not nominal) bit rate is shown only when it moves
// the figure by more than one part in this many, so that a VBR stream's
// bitrate tag, which changes about once a second, does not raise a status
// change every second.
constexpr unsigned kBitrateHysteresisParts = 10;

std::once_flag gstreamerStarted;

// playbin takes the HTTP source of the highest rank. The libsoup one of
// GStreamer 1.22 with libsoup 3 crashes now and then when a stream is closed
// while a read is under way (its session thread closes a body stream whose
// message is already gone), which a quick change of station does; libcurl's
// source has no such thread. It is put first when it is there.
void PreferCurlHttpSource()
{
    GstPluginFeature* curl = gst_registry_lookup_feature(gst_registry_get(), "curlhttpsrc");
    if (curl == nullptr)
        return;
    GstPluginFeature* soup = gst_registry_lookup_feature(gst_registry_get(), "souphttpsrc");
    const guint soupRank = soup != nullptr ? gst_plugin_feature_get_rank(soup) : static_cast<guint>(GST_RANK_PRIMARY);
    if (gst_plugin_feature_get_rank(curl) <= soupRank)
        gst_plugin_feature_set_rank(curl, soupRank + 1);
    if (soup != nullptr)
        gst_object_unref(soup);
    gst_object_unref(curl);
}

// Tags that carry no charset (ICY titles GStreamer reads itself, ID3v1,
// Vorbis comments that are not UTF-8): Chinese stations mostly send GBK.
// Set on the thread that prepares the player, before any other thread of
// the program could read the environment at the same time.
void SetTagEncodings()
{
    static std::once_flag set;
    std::call_once(set, [] {
        setenv("GST_ICY_TAG_ENCODING", "GB18030", 0);
        setenv("GST_TAG_ENCODING", "GB18030", 0);
    });
}

void StartGStreamer()
{
    std::call_once(gstreamerStarted, [] {
        SetTagEncodings();
        gst_init(nullptr, nullptr);
        PreferCurlHttpSource();
        PreferLeanDecoders();
        LeaveOutLibavTypeFinders();
    });
}

// Whether GStreamer has playbin, asked once in the process. The first asker
// waits for GStreamer's start if it is still under way (PreparePlayer runs
// it from the process start), and nobody asks before a player is made.
bool PlaybinInstalled()
{
    static const bool installed = [] {
        StartGStreamer();
        GstElementFactory* factory = gst_element_factory_find("playbin");
        if (factory != nullptr)
            gst_object_unref(factory);
        return factory != nullptr;
    }();
    return installed;
}

// Plugins the first station of the usual kinds uses: the HTTP source, the
// queues, the parsers and decoders of MP3, Ogg Vorbis and AAC
// that go first (mpg123, faad), and the output. libav (libavcodec and
// libavformat, some ten megabytes resident) is loaded only when a stream
// needs one of its decoders, never to find a stream's format; HLS and its
// demuxers are loaded when a stream needs them.
const char* const kPlaybackPlugins[] = {
    "coreelements", "playback", "curl",          "audioparsers", "mpg123",     "faad",
    "ogg",          "vorbis",   "audioconvert", "audioresample", "volume", "autodetect",
    "pulseaudio",
};

// Finding a stream's format asks every type finder there is (libav's left
// out), so the plugins that hold them (typefindfunctions, subparse) are
// loaded before the first station too.
void LoadTypeFinders()
{
    GList* finders = gst_type_find_factory_get_list();
    for (GList* item = finders; item != nullptr; item = item->next) {
        if (GstPluginFeature* loaded = gst_plugin_feature_load(GST_PLUGIN_FEATURE(item->data)))
            gst_object_unref(loaded);
    }
    gst_plugin_feature_list_free(finders);
}

// playbin chooses a stream's parser and decoder, and pairs decoders with
// sinks, by comparing the formats their pads accept, and the first look at
// each of those formats in the process reads it out of the registry's text:
// some 40 ms the first station would wait for. Read here, as playbin reads
// them, before the user chooses.
void ReadElementFormats()
{
    GList* factories = g_list_concat(
        gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODABLE, GST_RANK_MARGINAL),
        gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_AUDIOVIDEO_SINKS, GST_RANK_MARGINAL));
    for (GList* item = factories; item != nullptr; item = item->next) {
        const GList* templates = gst_element_factory_get_static_pad_templates(GST_ELEMENT_FACTORY(item->data));
        for (const GList* pad = templates; pad != nullptr; pad = pad->next)
            gst_caps_unref(gst_static_pad_template_get_caps(static_cast<GstStaticPadTemplate*>(pad->data)));
    }
    gst_plugin_feature_list_free(factories);
}

std::int64_t Now()
{
    return g_get_monotonic_time();
}

bool IsIdleState(WMPPlayState state)
{
    return state == wmppsUndefined || state == wmppsStopped || state == wmppsReady || state == wmppsMediaEnded;
}

bool IsOpeningOrPlaying(WMPPlayState state)
{
    return state == wmppsTransitioning || state == wmppsBuffering || state == wmppsPlaying;
}

unsigned Kbps(guint bitsPerSecond)
{
    return (bitsPerSecond + 500) / 1000;
}

// The audio output: ORVANE_AUDIO_SINK names an element ("fakesink") or a
// pipeline description ("wavenc ! filesink location=out.wav"); the
// desktop's default output otherwise. A single element is made to play in
// real time, so that a silent sink takes as long as a loudspeaker.
GstElement* MakeAudioSink(std::string& problem)
{
    const char* configured = std::getenv("ORVANE_AUDIO_SINK");
    const std::string description = configured != nullptr && *configured != 0 ? configured : "autoaudiosink";
    GstElement* sink = nullptr;
    if (description.find_first_of(" !") == std::string::npos) {
        sink = gst_element_factory_make(description.c_str(), nullptr);
        if (sink != nullptr && g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "sync") != nullptr)
            g_object_set(sink, "sync", TRUE, nullptr);
    } else {
        GError* error = nullptr;
        sink = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
        if (error != nullptr) {
            if (sink != nullptr)
                gst_object_unref(sink);
            sink = nullptr;
            g_error_free(error);
        }
    }
    if (sink == nullptr)
        problem = description;
    return sink;
}

} // namespace

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

namespace {

// A live stream counts as run dry when no buffer has reached the audio sink
// for this many milliseconds while playing and its queue is at or below the
// low mark (percent); it stays paused, showing the percentage, until the
// queue is back at the high mark. A sink that waits while the queue still
// holds data is a busy machine, not an underrun.
constexpr std::int64_t kUnderrunQuietMilliseconds = 1000;
constexpr int kUnderrunLowPercent = 10;
constexpr int kUnderrunHighPercent = 100;
// Playlists followed through playlists before giving up.
constexpr int kMaxPlaylistDepth = 4;
// Entries of one playlist tried in turn before the opening fails.
constexpr std::size_t kMaxEntriesTried = 8;
// Seconds each step of the connection probe waits for the server.
constexpr std::chrono::seconds kProbeTimeout{3};

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

using LinkPointer = std::shared_ptr<CPlaybinEngine::Link>;

LinkPointer* BoxLink(const LinkPointer& link)
{
    return new LinkPointer(link);
}

void FreeBoxedLink(gpointer box, GClosure* = nullptr)
{
    delete static_cast<LinkPointer*>(box);
}

bool IsHttpSource(GstElement* source)
{
    GObjectClass* type = G_OBJECT_GET_CLASS(source);
    return g_object_class_find_property(type, "extra-headers") != nullptr ||
           g_object_class_find_property(type, "iradio-mode") != nullptr;
}

} // namespace

// ------------------------------------------------------------ construction

void PreparePlayer()
{
    static std::once_flag prepared;
    std::call_once(prepared, [] {
        SetTagEncodings();
        // Detached: it holds nothing of the program's, and a player made
        // meanwhile waits only for gst_init (StartGStreamer's once-flag),
        // while a plugin still loading here is loaded once for both.
        std::thread([] {
            StartGStreamer();
            for (const char* name : kPlaybackPlugins) {
                if (GstPlugin* plugin = gst_plugin_load_by_name(name))
                    gst_object_unref(plugin);
            }
            LoadTypeFinders();
            ReadElementFormats();
        }).detach();
    });
}

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

void CPlaybinEngine::SetStallTimeout(std::chrono::milliseconds timeout)
{
    stallMilliseconds = timeout.count() > 0 ? timeout.count() : kDefaultStallMilliseconds;
}

std::chrono::milliseconds CPlaybinEngine::StallTimeout()
{
    return std::chrono::milliseconds(stallMilliseconds.load());
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

// ----------------------------------------------------------- session start

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

void CPlaybinEngine::FailLocked(const PlaybackFailure& cause)
{
    PlaybackFailure final = cause;
    std::string next;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (session != nullptr && session->active && !session->entries.empty() && !session->played) {
            // A playlist's entry that never played hands over to the next;
            // when none is left, none of them plays.
            if (session->entryIndex + 1 < session->entries.size())
                next = session->entries[++session->entryIndex];
            else
                final = PlaybackFailure{wmpfNoPlayableEntry, 0, "", "", ""};
        }
    }
    if (!next.empty()) {
        StartEntryLocked(next);
        return;
    }
    TeardownLocked();
    std::lock_guard<std::mutex> lock(stateMutex);
    failure = final;
    queue(PlayerEvent{PlayerEventKind::Error});
    ChangeOpenStateLocked(wmposUndefined);
    ChangeLocked(wmppsReady, FailureText(final));
}

FailureContext CPlaybinEngine::ContextLocked() const
{
    FailureContext context;
    if (session == nullptr)
        return context;
    context.network = session->network;
    context.answered = session->link->answer.load() != Link::kAnswerUnknown;
    context.delivered = session->link->delivered.load();
    context.missingPlugin = session->missingPlugin;
    return context;
}

void CPlaybinEngine::StartProbeLocked(ProbeKind kind)
{
    const std::uint64_t id = session->id;
    session->probe = std::make_unique<CConnectionProbe>(session->uri, kind, kProbeTimeout,
                                                        [this, id](const ProbeAnswer& answer) {
                                                            HandleProbeAnswer(id, FailureOfProbe(answer));
                                                        });
}

void CPlaybinEngine::HandleProbeAnswer(std::uint64_t sessionId, const PlaybackFailure& answer)
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (!SessionIs(sessionId))
            return;
    }
    FailLocked(answer);
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

bool CPlaybinEngine::LiveLocked() const
{
    return session != nullptr &&
           (session->noPreroll || session->link->answer.load() == Link::kAnswerLive);
}

void CPlaybinEngine::NoteProgress()
{
    if (session != nullptr)
        session->link->lastProgress = Now();
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

// ------------------------------------------------------------ bus messages

int CPlaybinEngine::OnBusMessage(GstBus*, GstMessage* message, void* box)
{
    const LinkPointer& link = *static_cast<LinkPointer*>(box);
    CPlaybinEngine* engine = link->engine;
    if (engine == nullptr)
        return G_SOURCE_REMOVE;
    engine->HandleBusMessage(link->sessionId, message);
    return G_SOURCE_CONTINUE;
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

// ------------------------------------------------------------ stall watchdog

void CPlaybinEngine::EnsureWatchdog()
{
    if (watchdog != nullptr || std::this_thread::get_id() != guiThread)
        return;
    watchdog = g_timeout_source_new(kWatchdogTickMilliseconds);
    g_source_set_callback(watchdog, &OnWatchdogTick, this, nullptr);
    g_source_attach(watchdog, nullptr);
    g_source_unref(watchdog); // the context holds it until it is removed
}

int CPlaybinEngine::OnWatchdogTick(void* self)
{
    auto* engine = static_cast<CPlaybinEngine*>(self);
    engine->HandleWatchdogTick();
    if (engine->watchdog == nullptr)
        return G_SOURCE_REMOVE;
    return G_SOURCE_CONTINUE;
}

void CPlaybinEngine::HandleWatchdogTick()
{
    std::lock_guard<std::mutex> pipelineLock(pipelineMutex);
    std::unique_lock<std::mutex> lock(stateMutex);
    if (session == nullptr || !session->active) {
        watchdog = nullptr; // removed by the tick's return; the next session makes a new one
        return;
    }
    if (session->probe != nullptr)
        return; // the opening has failed: the probe's answer says why
    CheckUnderrunLocked(lock);
    const WMPPlayState state = PlayState();
    if (state != wmppsTransitioning && state != wmppsBuffering)
        return;
    const std::int64_t quietMicroseconds = Now() - session->link->lastProgress.load();
    if (quietMicroseconds < stallMilliseconds.load() * 1000)
        return;
    const FailureContext context = ContextLocked();
    if (StallNeedsProbe(context)) {
        StartProbeLocked(ProbeKind::AskHeaders);
        return;
    }
    lock.unlock();
    FailLocked(FailureOfStall(context));
}
