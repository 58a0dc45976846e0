// Failure reasons and their words. What is where: the status texts; the
// formats GStreamer may lack a plugin for, with their Debian packages; the
// reading of GStreamer errors, stalls and connection probes.

#include "platform/wmp/PlaybackFailure.h"

#include <gio/gio.h>
#include <gst/gst.h>
#include <gst/pbutils/missing-plugins.h>

#include <cctype>

namespace {

const char* const kCannotPlay = "无法播放：";

// Formats a station may send that a Debian 12 system may lack the decoder or
// demuxer of, by the caps' media type, with the package that adds it.
struct KnownFormat
{
    const char* mediaType;
    const char* name;
    const char* package;
};

const KnownFormat kKnownFormats[] = {
    {"application/vnd.rn-realmedia", "RealMedia", "gstreamer1.0-plugins-ugly"},
    {"audio/x-pn-realaudio", "RealAudio", "gstreamer1.0-libav"},
    {"audio/x-opus", "Opus", "gstreamer1.0-plugins-base"},
    {"audio/x-vorbis", "Vorbis", "gstreamer1.0-plugins-base"},
    {"application/ogg", "Ogg", "gstreamer1.0-plugins-base"},
    {"audio/x-flac", "FLAC", "gstreamer1.0-plugins-good"},
    {"audio/x-speex", "Speex", "gstreamer1.0-plugins-good"},
    {"audio/x-wavpack", "WavPack", "gstreamer1.0-plugins-good"},
    {"audio/x-wma", "WMA", "gstreamer1.0-libav"},
    {"video/x-ms-asf", "ASF", "gstreamer1.0-plugins-ugly"},
    {"audio/x-ac3", "AC-3", "gstreamer1.0-libav"},
    {"audio/x-eac3", "E-AC-3", "gstreamer1.0-libav"},
    {"audio/x-dts", "DTS", "gstreamer1.0-libav"},
    {"audio/x-alac", "ALAC", "gstreamer1.0-libav"},
    {"audio/x-ape", "APE", "gstreamer1.0-libav"},
    {"audio/x-musepack", "Musepack", "gstreamer1.0-libav"},
    {"application/x-hls", "HLS", "gstreamer1.0-plugins-bad"},
    {"audio/x-matroska", "Matroska", "gstreamer1.0-plugins-good"},
    {"video/x-matroska", "Matroska", "gstreamer1.0-plugins-good"},
    {"video/quicktime", "MP4", "gstreamer1.0-plugins-good"},
    {"audio/x-m4a", "MP4", "gstreamer1.0-plugins-good"},
};

std::string MediaTypeOfCaps(const std::string& caps)
{
    const std::size_t end = caps.find_first_of(", ;");
    std::string type = caps.substr(0, end);
    for (char& ch : type)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return type;
}

// "mpegversion=(int)4" -> 4; 0 when the field is not there.
int IntField(const std::string& caps, const std::string& field)
{
    const std::size_t at = caps.find(field + "=");
    if (at == std::string::npos)
        return 0;
    std::size_t digit = caps.find_first_of("0123456789", at + field.size() + 1);
    if (digit == std::string::npos)
        return 0;
    int value = 0;
    while (digit < caps.size() && std::isdigit(static_cast<unsigned char>(caps[digit])) != 0 && value < 1000)
        value = value * 10 + (caps[digit++] - '0');
    return value;
}

PlaybackFailure Reason(WMPFailure reason)
{
    PlaybackFailure failure;
    failure.reason = reason;
    return failure;
}

std::string Lower(std::string text)
{
    for (char& ch : text)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

} // namespace

std::string FailureText(const PlaybackFailure& failure)
{
    switch (failure.reason) {
    case wmpfNone:
        return "";
    case wmpfHostNotFound:
        return std::string(kCannotPlay) + "找不到服务器";
    case wmpfConnectionRefused:
        return std::string(kCannotPlay) + "连接被拒绝";
    case wmpfTimedOut:
        return std::string(kCannotPlay) + "连接超时";
    case wmpfServerError:
        return std::string(kCannotPlay) + "服务器错误 " + std::to_string(failure.httpStatus);
    case wmpfNotAudio:
        return std::string(kCannotPlay) + "不是音频流";
    case wmpfUnsupportedFormat: {
        std::string text = std::string(kCannotPlay) + "不支持的格式";
        if (!failure.format.empty())
            text += " (" + failure.format + ")";
        if (!failure.package.empty())
            text += "，安装 " + failure.package + " 后可以播放";
        return text;
    }
    case wmpfNoData:
        return std::string(kCannotPlay) + "电台没有数据";
    case wmpfNetworkDown:
        return std::string(kCannotPlay) + "网络不可用";
    case wmpfNoPlayableEntry:
        return std::string(kCannotPlay) + "播放列表中没有可播放的地址";
    case wmpfConnectionLost:
        return std::string(kCannotPlay) + "连接中断";
    case wmpfFileNotFound:
        return std::string(kCannotPlay) + "找不到文件";
    case wmpfFileUnreadable:
        return std::string(kCannotPlay) + "无法读取文件";
    case wmpfNoAudioOutput:
        return std::string(kCannotPlay) + "无法打开音频输出" + (failure.detail.empty() ? "" : " " + failure.detail);
    case wmpfOther:
        return std::string(kCannotPlay) + (failure.detail.empty() ? "播放出错" : failure.detail);
    }
    return std::string(kCannotPlay) + "播放出错";
}

bool ReopeningMayMend(const PlaybackFailure& failure)
{
    switch (failure.reason) {
    case wmpfServerError:
        // 408 Request Timeout and 429 Too Many Requests ask to come back.
        return failure.httpStatus >= 500 || failure.httpStatus == 408 || failure.httpStatus == 429;
    case wmpfNotAudio:
    case wmpfUnsupportedFormat:
    case wmpfNoPlayableEntry:
    case wmpfFileNotFound:
    case wmpfFileUnreadable:
        return false;
    default:
        return true;
    }
}

PlaybackFailure MissingFormat(const std::string& caps, const std::string& description)
{
    PlaybackFailure failure = Reason(wmpfUnsupportedFormat);
    const std::string type = MediaTypeOfCaps(caps);
    if (type == "audio/mpeg") {
        // MPEG-1/2 audio is MP3 (or MP2); MPEG-2/4 with a stream format is AAC.
        const int version = IntField(caps, "mpegversion");
        if (version == 2 || version == 4) {
            failure.format = "AAC";
            failure.package = "gstreamer1.0-plugins-bad";
        } else {
            failure.format = "MP3";
            failure.package = "gstreamer1.0-plugins-good";
        }
        return failure;
    }
    for (const KnownFormat& known : kKnownFormats) {
        if (type == known.mediaType) {
            failure.format = known.name;
            failure.package = known.package;
            return failure;
        }
    }
    failure.format = !description.empty() ? description : type;
    return failure;
}

PlaybackFailure FailureOfMissingPlugin(GstMessage* message)
{
    if (message == nullptr || !gst_is_missing_plugin_message(message))
        return {};
    std::string caps;
    if (const GstStructure* structure = gst_message_get_structure(message)) {
        GstCaps* detail = nullptr;
        if (gst_structure_get(structure, "detail", GST_TYPE_CAPS, &detail, nullptr) && detail != nullptr) {
            gchar* text = gst_caps_to_string(detail);
            caps = text != nullptr ? text : "";
            g_free(text);
            gst_caps_unref(detail);
        }
    }
    gchar* description = gst_missing_plugin_message_get_description(message);
    PlaybackFailure failure = MissingFormat(caps, description != nullptr ? description : "");
    g_free(description);
    return failure;
}

PlaybackFailure FailureOfError(GstMessage* message, const FailureContext& context)
{
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    guint httpCode = 0;
    if (details != nullptr)
        gst_structure_get_uint(details, "http-status-code", &httpCode);
    PlaybackFailure failure;
    if (httpCode >= 400) {
        failure = Reason(wmpfServerError);
        failure.httpStatus = httpCode;
    } else if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_FOUND:
            failure = Reason(context.network ? wmpfHostNotFound : wmpfFileNotFound);
            break;
        case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
            failure = Reason(context.network ? wmpfServerError : wmpfFileUnreadable);
            failure.httpStatus = context.network ? 403 : 0;
            break;
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
            failure = Reason(context.network ? wmpfConnectionRefused : wmpfFileUnreadable);
            break;
        case GST_RESOURCE_ERROR_READ:
            failure = Reason(context.network ? (context.delivered ? wmpfConnectionLost : wmpfNoData)
                                             : wmpfFileUnreadable);
            break;
        default:
            failure = Reason(wmpfOther);
            failure.detail = error->message;
            break;
        }
    } else if ((error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN) ||
               (error->domain == GST_STREAM_ERROR && error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND)) {
        failure = context.missingPlugin.reason == wmpfUnsupportedFormat ? context.missingPlugin
                                                                         : Reason(wmpfUnsupportedFormat);
    } else if (error->domain == GST_STREAM_ERROR &&
               (error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND || error->code == GST_STREAM_ERROR_WRONG_TYPE)) {
        // Not a stream GStreamer knows at all: a page, a text, random bytes.
        failure = Reason(wmpfNotAudio);
    } else if (error->domain == GST_STREAM_ERROR &&
               (error->code == GST_STREAM_ERROR_DEMUX || error->code == GST_STREAM_ERROR_DECODE ||
                error->code == GST_STREAM_ERROR_FORMAT)) {
        failure = context.missingPlugin.reason == wmpfUnsupportedFormat ? context.missingPlugin
                                                                         : Reason(wmpfUnsupportedFormat);
    } else if (context.network && error->domain == GST_STREAM_ERROR && error->code == GST_STREAM_ERROR_FAILED) {
        // The HTTP source reports a refused or broken connection only as a
        // flow error of its streaming thread; without an answer the
        // connection probe tells more (NeedsConnectionProbe).
        failure = Reason(context.delivered ? wmpfConnectionLost : context.answered ? wmpfNoData : wmpfConnectionRefused);
    } else {
        failure = Reason(wmpfOther);
        failure.detail = error->message;
    }
    g_error_free(error);
    g_free(debug);
    return failure;
}

bool NeedsConnectionProbe(GstMessage* message, const FailureContext& context)
{
    if (!context.network || context.answered || context.delivered)
        return false;
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    guint httpCode = 0;
    if (details != nullptr)
        gst_structure_get_uint(details, "http-status-code", &httpCode);
    const bool flowError = error->domain == GST_STREAM_ERROR && error->code == GST_STREAM_ERROR_FAILED;
    const bool openError = error->domain == GST_RESOURCE_ERROR &&
                           (error->code == GST_RESOURCE_ERROR_OPEN_READ || error->code == GST_RESOURCE_ERROR_READ ||
                            error->code == GST_RESOURCE_ERROR_NOT_FOUND);
    g_error_free(error);
    return httpCode == 0 && (flowError || openError);
}

PlaybackFailure FailureOfStall(const FailureContext& context)
{
    if (!context.network)
        return Reason(wmpfFileUnreadable);
    // Headers, and then no audio (or no more), is a station that sends
    // nothing; no headers at all is a server that never answered.
    return Reason(context.answered || context.delivered ? wmpfNoData : wmpfTimedOut);
}

bool StallNeedsProbe(const FailureContext& context)
{
    return context.network && !context.answered && !context.delivered;
}

PlaybackFailure FailureOfProbe(const ProbeAnswer& answer)
{
    const GError* error = answer.error;
    if (error == nullptr && answer.answered && answer.status >= 400) {
        PlaybackFailure failure = Reason(wmpfServerError);
        failure.httpStatus = answer.status;
        return failure;
    }
    // It takes connections (and answers, when asked), but sends no stream.
    if (error == nullptr)
        return Reason(wmpfNoData);
    if (error->domain == G_RESOLVER_ERROR)
        return Reason(wmpfHostNotFound);
    if (error->domain == G_IO_ERROR) {
        switch (error->code) {
        case G_IO_ERROR_CONNECTION_REFUSED:
            return Reason(wmpfConnectionRefused);
        case G_IO_ERROR_TIMED_OUT:
            return Reason(wmpfTimedOut);
        case G_IO_ERROR_NETWORK_UNREACHABLE:
        case G_IO_ERROR_HOST_UNREACHABLE:
            return Reason(wmpfNetworkDown);
        case G_IO_ERROR_HOST_NOT_FOUND:
            return Reason(wmpfHostNotFound);
        default:
            break;
        }
    }
    PlaybackFailure failure = Reason(wmpfOther);
    failure.detail = error->message != nullptr ? error->message : "";
    return failure;
}

PlaybackFailure FailureOfEmptyPlaylist(const std::string& body)
{
    std::string start = Lower(body.substr(0, 512));
    if (start.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start.erase(0, 3);
    const std::size_t first = start.find_first_not_of(" \t\r\n");
    start = first == std::string::npos ? std::string() : start.substr(first);
    const bool playlist = start.compare(0, 10, "[playlist]") == 0 || start.compare(0, 7, "#extm3u") == 0;
    return Reason(playlist ? wmpfNoPlayableEntry : wmpfNotAudio);
}
