// The words of every failure, which failures a reopening may mend, and the
// formats a missing-plugin message names.

#include "platform/wmp/PlaybackFailure.h"

#include <gtest/gtest.h>

namespace {

PlaybackFailure Make(WMPFailure reason, unsigned httpStatus = 0, std::string format = "", std::string package = "",
                     std::string detail = "")
{
    PlaybackFailure failure;
    failure.reason = reason;
    failure.httpStatus = httpStatus;
    failure.format = std::move(format);
    failure.package = std::move(package);
    failure.detail = std::move(detail);
    return failure;
}

} // namespace

TEST(PlaybackFailure, EveryReasonHasItsWordsAndItsRemedy)
{
    const struct
    {
        PlaybackFailure failure;
        const char* text;
        bool mendable;
    } rows[] = {
        {Make(wmpfNone), "", true},
        {Make(wmpfHostNotFound), "无法播放：找不到服务器", true},
        {Make(wmpfConnectionRefused), "无法播放：连接被拒绝", true},
        {Make(wmpfTimedOut), "无法播放：连接超时", true},
        {Make(wmpfServerError, 404), "无法播放：服务器错误 404", false},
        {Make(wmpfServerError, 403), "无法播放：服务器错误 403", false},
        {Make(wmpfServerError, 408), "无法播放：服务器错误 408", true},
        {Make(wmpfServerError, 429), "无法播放：服务器错误 429", true},
        {Make(wmpfServerError, 499), "无法播放：服务器错误 499", false},
        {Make(wmpfServerError, 500), "无法播放：服务器错误 500", true},
        {Make(wmpfServerError, 503), "无法播放：服务器错误 503", true},
        {Make(wmpfNotAudio), "无法播放：不是音频流", false},
        {Make(wmpfUnsupportedFormat, 0, "Opus"), "无法播放：不支持的格式 (Opus)", false},
        {Make(wmpfUnsupportedFormat, 0, "RealMedia", "gstreamer1.0-plugins-ugly"),
         "无法播放：不支持的格式 (RealMedia)，安装 gstreamer1.0-plugins-ugly 后可以播放", false},
        {Make(wmpfUnsupportedFormat), "无法播放：不支持的格式", false},
        {Make(wmpfNoData), "无法播放：电台没有数据", true},
        {Make(wmpfNetworkDown), "无法播放：网络不可用", true},
        {Make(wmpfNoPlayableEntry), "无法播放：播放列表中没有可播放的地址", false},
        {Make(wmpfConnectionLost), "无法播放：连接中断", true},
        {Make(wmpfFileNotFound), "无法播放：找不到文件", false},
        {Make(wmpfFileUnreadable), "无法播放：无法读取文件", false},
        {Make(wmpfNoAudioOutput), "无法播放：无法打开音频输出", true},
        {Make(wmpfNoAudioOutput, 0, "", "", "pulsesink"), "无法播放：无法打开音频输出 pulsesink", true},
        {Make(wmpfOther, 0, "", "", "地址是空的"), "无法播放：地址是空的", true},
        {Make(wmpfOther), "无法播放：播放出错", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(FailureText(row.failure), row.text);
        EXPECT_EQ(ReopeningMayMend(row.failure), row.mendable);
    }
}

TEST(PlaybackFailure, MissingPluginCapsNameTheFormatAndItsPackage)
{
    const struct
    {
        const char* caps;
        const char* description;
        const char* format;
        const char* package;
    } rows[] = {
        {"application/vnd.rn-realmedia", "Realmedia demuxer", "RealMedia", "gstreamer1.0-plugins-ugly"},
        {"audio/x-opus, channel-mapping-family=(int)0", "Opus decoder", "Opus", "gstreamer1.0-plugins-base"},
        {"audio/x-flac, framed=(boolean)true", "", "FLAC", "gstreamer1.0-plugins-good"},
        {"audio/mpeg, mpegversion=(int)1, layer=(int)3", "", "MP3", "gstreamer1.0-plugins-good"},
        {"audio/mpeg, mpegversion=(int)4, stream-format=(string)adts", "", "AAC", "gstreamer1.0-plugins-bad"},
        {"audio/mpeg, mpegversion=(int)2", "", "AAC", "gstreamer1.0-plugins-bad"},
        {"audio/x-wma, wmaversion=(int)2", "", "WMA", "gstreamer1.0-libav"},
        {"AUDIO/X-AC3", "", "AC-3", "gstreamer1.0-libav"},
        // Unknown to the table: GStreamer's own name, or the media type.
        {"audio/x-something-new, rate=(int)8000", "Something New decoder", "Something New decoder", ""},
        {"audio/x-something-new", "", "audio/x-something-new", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caps);
        const PlaybackFailure failure = MissingFormat(row.caps, row.description);
        EXPECT_EQ(failure.reason, wmpfUnsupportedFormat);
        EXPECT_EQ(failure.format, row.format);
        EXPECT_EQ(failure.package, row.package);
    }
}

TEST(PlaybackFailure, AnEmptyPlaylistIsNoPlayableEntryAndAPageIsNotAudio)
{
    const struct
    {
        const char* body;
        WMPFailure reason;
    } rows[] = {
        {"[playlist]\r\nNumberOfEntries=0\r\n", wmpfNoPlayableEntry},
        {"\xEF\xBB\xBF  [Playlist]\rFile1=\r", wmpfNoPlayableEntry},
        {"#EXTM3U\n#EXTINF:-1,Nothing\n", wmpfNoPlayableEntry},
        {"<!DOCTYPE html><html><body>Radio</body></html>", wmpfNotAudio},
        {"\n\n<html>", wmpfNotAudio},
        {"Not Found", wmpfNotAudio},
        {"", wmpfNotAudio},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.body);
        EXPECT_EQ(FailureOfEmptyPlaylist(row.body).reason, row.reason);
    }
}

TEST(PlaybackFailure, AStallIsATimeOutWithoutAnAnswerAndNoDataWithOne)
{
    const struct
    {
        bool network;
        bool answered;
        bool delivered;
        bool probe;
        WMPFailure reason;
    } rows[] = {
        {true, false, false, true, wmpfTimedOut},
        {true, true, false, false, wmpfNoData},
        {true, false, true, false, wmpfNoData},
        {true, true, true, false, wmpfNoData},
        {false, false, false, false, wmpfFileUnreadable},
    };
    for (const auto& row : rows) {
        FailureContext context;
        context.network = row.network;
        context.answered = row.answered;
        context.delivered = row.delivered;
        EXPECT_EQ(StallNeedsProbe(context), row.probe);
        EXPECT_EQ(FailureOfStall(context).reason, row.reason);
    }
    // What the probe's question was answered with.
    ProbeAnswer answer;
    answer.answered = true;
    answer.status = 200;
    EXPECT_EQ(FailureOfProbe(answer).reason, wmpfNoData);
    answer.status = 503;
    EXPECT_EQ(FailureOfProbe(answer).reason, wmpfServerError);
    EXPECT_EQ(FailureOfProbe(answer).httpStatus, 503u);
    EXPECT_EQ(FailureOfProbe(ProbeAnswer{}).reason, wmpfNoData);
}
