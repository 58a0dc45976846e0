// GStreamer's start and the preparation of the player: the plugins and
// formats the first station needs, loaded before the user chooses; and the
// audio output each opening makes.
//
// Threads: PreparePlayer's own thread, and whichever thread asks first
// (StartGStreamer's once-flag orders them); MakeAudioSink runs on the GUI
// thread.

#include "platform/win/Win.h"
#include "platform/wmp/DecoderRanking.h"
#include "platform/wmp/PlaybinSession.h"

#include <gst/gst.h>

#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

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

} // namespace

void playbin::StartGStreamer()
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
bool playbin::PlaybinInstalled()
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
namespace {

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

} // namespace

// The audio output: ORVANE_AUDIO_SINK names an element ("fakesink") or a
// pipeline description ("wavenc ! filesink location=out.wav"); the
// desktop's default output otherwise. A single element is made to play in
// real time, so that a silent sink takes as long as a loudspeaker.
GstElement* playbin::MakeAudioSink(std::string& problem)
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

namespace {

// GStreamer's start and the plugins of the usual stations, on a thread of the
// window layer's: every way out of the process stops the layer's threads
// before the exit handlers run, and between two plugins this one ends at
// the first word.
DWORD PrepareProc(void*)
{
    playbin::StartGStreamer();
    for (const char* name : kPlaybackPlugins) {
        if (::IsStopRequested())
            return 0;
        if (GstPlugin* plugin = gst_plugin_load_by_name(name))
            gst_object_unref(plugin);
    }
    if (::IsStopRequested())
        return 0;
    LoadTypeFinders();
    ReadElementFormats();
    return 0;
}

} // namespace

void PreparePlayer()
{
    static std::once_flag prepared;
    std::call_once(prepared, [] {
        SetTagEncodings();
        // A player made meanwhile waits only for gst_init (StartGStreamer's
        // once-flag), while a plugin still loading here is loaded once for
        // both. The thread layer keeps the handle until its stop.
        ::CreateThread(&PrepareProc, nullptr);
    });
}
