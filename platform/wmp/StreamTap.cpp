// What is where: the text rule of titles; header and body reading (the
// parsing, testable without GStreamer); the pad probe that feeds it.

#include "platform/wmp/StreamTap.h"

#include "platform/wmp/Playlist.h"
#include "platform/wmp/StreamResolver.h"

#include <gst/gst.h>

#include <cstdlib>
#include <cstring>

namespace {

// Bytes of a playlist that are kept; the first entry of any real playlist
// comes long before.
constexpr std::size_t kPlaylistCapBytes = 16 * 1024;
// Bytes of an ICY metadata block: its length byte counts units of 16 bytes.
constexpr std::size_t kMetadataUnitBytes = 16;

std::string Lower(std::string text)
{
    for (char& ch : text)
        ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    return text;
}

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return "";
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Whether the first bytes of a body whose type said nothing read as a
// playlist a player should resolve (not HLS: playbin plays that itself).
bool LooksLikePlaylist(const std::string& start)
{
    std::string text = start;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    text = Lower(Trim(text));
    if (text.find('\0') != std::string::npos)
        return false;
    return text.compare(0, 10, "[playlist]") == 0 || text.compare(0, 7, "#extm3u") == 0 ||
           text.compare(0, 7, "http://") == 0 || text.compare(0, 8, "https://") == 0;
}

} // namespace

std::string TitleToUtf8(const std::string& bytes)
{
    if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr))
        return bytes;
    gchar* converted = g_convert_with_fallback(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8", "GB18030",
                                               "\xEF\xBF\xBD", nullptr, nullptr, nullptr);
    if (converted == nullptr)
        return std::string(g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size())));
    std::string text(converted);
    g_free(converted);
    return text;
}

// ---------------------------------------------------------------- parsing

CStreamTap::CStreamTap(StreamTapCallbacks callbacks) : callbacks(std::move(callbacks)) {}

StreamAnswer CStreamTap::ReadHeaders(const std::string& headerLines, const std::string& answerUrl, bool hasLength)
{
    headersRead = true;
    url = answerUrl;
    std::string type;
    bool icy = false;
    std::size_t start = 0;
    while (start < headerLines.size()) {
        std::size_t end = headerLines.find('\n', start);
        if (end == std::string::npos)
            end = headerLines.size();
        const std::string line = headerLines.substr(start, end - start);
        start = end + 1;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = Lower(Trim(line.substr(0, colon)));
        const std::string value = Trim(line.substr(colon + 1));
        if (name == "content-type")
            type = MediaTypeOf(value);
        else if (name == "icy-metaint")
            metaInterval = static_cast<std::size_t>(std::strtoul(value.c_str(), nullptr, 10));
        if (name.compare(0, 4, "icy-") == 0)
            icy = true;
    }
    audioLeft = metaInterval;
    if (IsPlaylistMediaType(type) || type.compare(0, 5, "text/") == 0)
        collecting = true; // unless its first bytes say HLS
    else if (!IsStreamMediaType(type))
        sniffing = true;
    if (callbacks.headers)
        callbacks.headers(!hasLength || icy);
    return collecting ? StreamAnswer::Playlist : StreamAnswer::Audio;
}

std::string CStreamTap::ReadBody(const std::string& bytes)
{
    if (callbacks.data)
        callbacks.data();
    if (delivered)
        return "";
    if (!bodyStarted) {
        bodyStarted = true;
        const bool hls = IsHlsPlaylist(bytes);
        if (sniffing)
            collecting = !hls && LooksLikePlaylist(bytes);
        else if (hls)
            collecting = false;
        sniffing = false;
        // An HLS playlist without an end is a live presentation: new
        // segments come at the rate it plays.
        if (hls && callbacks.headers)
            callbacks.headers(bytes.find("#EXT-X-ENDLIST") == std::string::npos);
    }
    if (collecting) {
        const std::size_t room = kPlaylistCapBytes - collected.size();
        collected.append(bytes, 0, bytes.size() < room ? bytes.size() : room);
        if (collected.size() >= kPlaylistCapBytes)
            DeliverPlaylist();
        return "";
    }
    if (metaInterval == 0)
        return bytes;

    // Audio and metadata blocks, split anywhere by the transport.
    std::string audio;
    audio.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (metaLeft > 0) {
            const std::size_t take = std::min(metaLeft, bytes.size() - at);
            metadata.append(bytes, at, take);
            metaLeft -= take;
            at += take;
            if (metaLeft == 0) {
                ParseMetadata(metadata);
                metadata.clear();
                audioLeft = metaInterval;
            }
        } else if (lengthNext) {
            metaLeft = static_cast<unsigned char>(bytes[at]) * kMetadataUnitBytes;
            lengthNext = false;
            ++at;
            if (metaLeft == 0)
                audioLeft = metaInterval;
        } else {
            const std::size_t take = std::min(audioLeft, bytes.size() - at);
            audio.append(bytes, at, take);
            audioLeft -= take;
            at += take;
            if (audioLeft == 0)
                lengthNext = true;
        }
    }
    return audio;
}

bool CStreamTap::ReadEnd()
{
    if (collecting && !delivered)
        DeliverPlaylist();
    return collecting;
}

void CStreamTap::DeliverPlaylist()
{
    delivered = true;
    if (callbacks.playlist)
        callbacks.playlist(collected, url);
}

void CStreamTap::ParseMetadata(const std::string& block)
{
    // StreamTitle='Artist - Song';StreamUrl='';  with zero padding. A title
    // may hold an apostrophe: it ends at the first "';" after it.
    const std::string key = "StreamTitle='";
    const std::size_t begin = block.find(key);
    if (begin == std::string::npos)
        return;
    const std::size_t from = begin + key.size();
    std::size_t end = block.find("';", from);
    if (end == std::string::npos) {
        end = block.find_last_of('\'');
        if (end == std::string::npos || end < from)
            end = block.find('\0', from);
    }
    std::string raw = block.substr(from, end == std::string::npos ? std::string::npos : end - from);
    const std::string title = Trim(TitleToUtf8(raw));
    if (titleSeen && title == lastTitle)
        return;
    titleSeen = true;
    lastTitle = title;
    if (callbacks.title)
        callbacks.title(title);
}

// ------------------------------------------------------------------ probe

namespace {

struct ProbeState
{
    std::mutex mutex; // the streaming thread; taken against a second thread's teardown
    CStreamTap tap;
    explicit ProbeState(StreamTapCallbacks callbacks) : tap(std::move(callbacks)) {}
};

// "name: value" lines from an http-headers event's response headers. The
// libcurl source keeps the line ends in its values, and files a header sent
// without a space after the colon under a name that holds the whole line.
std::string HeaderLines(const GstStructure* headers, bool& hasLength)
{
    std::string lines;
    hasLength = false;
    const gint fields = gst_structure_n_fields(headers);
    for (gint i = 0; i < fields; ++i) {
        const gchar* name = gst_structure_nth_field_name(headers, i);
        const GValue* value = gst_structure_get_value(headers, name);
        std::string text;
        if (value != nullptr && G_VALUE_HOLDS_STRING(value) && g_value_get_string(value) != nullptr)
            text = g_value_get_string(value);
        else if (value != nullptr && G_VALUE_HOLDS(value, G_TYPE_STRV) && g_value_get_boxed(value) != nullptr)
            text = static_cast<gchar**>(g_value_get_boxed(value))[0] != nullptr
                       ? static_cast<gchar**>(g_value_get_boxed(value))[0]
                       : "";
        const std::string line = std::strchr(name, ':') != nullptr && text.empty() ? std::string(name)
                                                                                  : std::string(name) + ": " + text;
        const std::string trimmed = Trim(line);
        if (Lower(trimmed).compare(0, 15, "content-length:") == 0 &&
            std::strtoll(trimmed.c_str() + 15, nullptr, 10) > 0)
            hasLength = true;
        lines += trimmed + "\n";
    }
    return lines;
}

GstPadProbeReturn OnSourceData(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* state = static_cast<ProbeState*>(data);
    std::lock_guard<std::mutex> lock(state->mutex);
    if ((info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) != 0) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_CUSTOM_DOWNSTREAM_STICKY &&
            gst_event_has_name(event, "http-headers")) {
            const GstStructure* structure = gst_event_get_structure(event);
            const GstStructure* response = nullptr;
            const GValue* value = gst_structure_get_value(structure, "response-headers");
            if (value != nullptr && GST_VALUE_HOLDS_STRUCTURE(value))
                response = gst_value_get_structure(value);
            const gchar* uri = gst_structure_get_string(structure, "redirection-uri");
            if (uri == nullptr)
                uri = gst_structure_get_string(structure, "uri");
            bool hasLength = false;
            const std::string lines = response != nullptr ? HeaderLines(response, hasLength) : std::string();
            state->tap.ReadHeaders(lines, uri != nullptr ? uri : "", hasLength);
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS && state->tap.ReadEnd()) {
            // The decoder never saw the playlist: its end is none of its
            // business either (type finding would fail on it).
            return GST_PAD_PROBE_DROP;
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstMapInfo map;
    if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_PAD_PROBE_OK;
    const std::string in(reinterpret_cast<const char*>(map.data), map.size);
    gst_buffer_unmap(buffer, &map);
    std::string out = state->tap.ReadBody(in);
    if (out.size() == in.size())
        return GST_PAD_PROBE_OK;
    if (out.empty())
        return GST_PAD_PROBE_DROP;
    const gsize size = out.size();
    auto* kept = new std::string(std::move(out));
    GstBuffer* replaced = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, kept->data(), size, 0, size, kept,
                                                      [](gpointer text) { delete static_cast<std::string*>(text); });
    GST_BUFFER_PTS(replaced) = GST_BUFFER_PTS(buffer);
    GST_BUFFER_DTS(replaced) = GST_BUFFER_DTS(buffer);
    gst_buffer_unref(buffer);
    GST_PAD_PROBE_INFO_DATA(info) = replaced;
    return GST_PAD_PROBE_OK;
}

} // namespace

void CStreamTap::Attach(GstElement* source, StreamTapCallbacks callbacks)
{
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(source), "extra-headers") != nullptr) {
        GstStructure* headers = gst_structure_new("extra-headers", "Icy-MetaData", G_TYPE_STRING, "1", nullptr);
        g_object_set(source, "extra-headers", headers, nullptr);
        gst_structure_free(headers);
    } else if (g_object_class_find_property(G_OBJECT_GET_CLASS(source), "iradio-mode") != nullptr) {
        g_object_set(source, "iradio-mode", FALSE, nullptr); // its own ICY handling would hide the titles
    }
    GstPad* pad = gst_element_get_static_pad(source, "src");
    if (pad == nullptr)
        return;
    gst_pad_add_probe(pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      &OnSourceData, new ProbeState(std::move(callbacks)),
                      [](gpointer state) { delete static_cast<ProbeState*>(state); });
    gst_object_unref(pad);
}
