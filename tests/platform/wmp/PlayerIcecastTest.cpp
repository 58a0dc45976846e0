// The player against a real Icecast server fed by ffmpeg, the way stations
// really send: steady play without buffering flaps, titles in UTF-8 and GBK
// from ICY metadata and Vorbis comments, one request per opening of a mount
// that does not say what it is, and AAC and HLS streams that play.

#include "platform/wmp/PlayerTestSupport.h"
#include "platform/wmp/StreamTap.h"
#include "support/IcecastServer.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>

using namespace orvane::test;
using namespace std::chrono_literals;

namespace {

// Watchdog of one step that involves the network and the decoder.
constexpr auto kStepTimeout = 15s;
// Seconds of steady play that must pass without a buffering flap.
constexpr auto kSteadyPlay = 60s;

// "你好世界" in GBK, the way many Chinese stations send their titles.
const std::string kGbkTitle = "\xC4\xE3\xBA\xC3\xCA\xC0\xBD\xE7";
const std::string kGbkTitleAsUtf8 = "你好世界";
const std::string kUtf8Title = "晚间新闻 - 夜色 (Live)";

std::string MediaTitle(IWMPPlayer* player)
{
    IWMPMedia* media = nullptr;
    if (FAILED(player->get_currentMedia(&media)) || media == nullptr)
        return "<no media>";
    BSTR item = Utf8ToBstr("Title");
    BSTR value = nullptr;
    media->getItemInfo(item, &value);
    std::string title = BstrToUtf8(value);
    SysFreeString(value);
    SysFreeString(item);
    media->Release();
    return title;
}

// Play states from the first Playing on.
std::vector<long> StatesAfterPlaying(const std::vector<long>& states)
{
    const auto playing = std::find(states.begin(), states.end(), static_cast<long>(wmppsPlaying));
    return std::vector<long>(playing, states.end());
}

class PlayerIcecast : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!IcecastServer::Available())
            GTEST_SKIP() << "icecast2 and ffmpeg are not installed (scripts/install-deps installs them)";
        server = std::make_unique<IcecastServer>();
    }

    std::unique_ptr<IcecastServer> server;
};

} // namespace

TEST(StreamTitle, TitleBytesFollowTheTextRule)
{
    EXPECT_EQ(TitleToUtf8(kUtf8Title), kUtf8Title);
    EXPECT_EQ(TitleToUtf8(kGbkTitle), kGbkTitleAsUtf8);
    EXPECT_EQ(TitleToUtf8("plain ASCII"), "plain ASCII");
    const std::string broken = TitleToUtf8("\xFF\xFE title");
    EXPECT_TRUE(g_utf8_validate(broken.data(), static_cast<gssize>(broken.size()), nullptr));
}

TEST(StreamTitle, IcyMetadataIsTakenOutOfTheAudioWhereverTheTransportSplitsIt)
{
    std::vector<std::string> titles;
    StreamTapCallbacks callbacks;
    callbacks.title = [&](const std::string& title) { titles.push_back(title); };
    CStreamTap tap(callbacks);
    ASSERT_EQ(tap.ReadHeaders("Content-Type: audio/mpeg\nicy-metaint:8\n", "http://h/s", false),
              StreamAnswer::Audio);
    // 8 audio bytes, a block of 2 x 16 bytes, 8 audio bytes, an empty block,
    // 8 audio bytes, a block with an apostrophe in the title.
    auto block = [](const std::string& text) {
        std::string padded = text;
        padded.resize((text.size() + 15) / 16 * 16, '\0');
        return std::string(1, static_cast<char>(padded.size() / 16)) + padded;
    };
    const std::string stream = "AAAAAAAA" + block("StreamTitle='" + kGbkTitle + "';") + "BBBBBBBB" +
                               std::string(1, '\0') + "CCCCCCCC" + block("StreamTitle='Rock 'n' Roll';StreamUrl='';") +
                               "DDDD";
    for (std::size_t piece : {1u, 3u, 7u, 64u}) {
        titles.clear();
        CStreamTap split(callbacks);
        split.ReadHeaders("content-type: audio/mpeg\nicy-metaint: 8\n", "http://h/s", false);
        std::string audio;
        for (std::size_t at = 0; at < stream.size(); at += piece)
            audio += split.ReadBody(stream.substr(at, piece));
        EXPECT_EQ(audio, "AAAAAAAABBBBBBBBCCCCCCCCDDDD") << piece;
        EXPECT_EQ(titles, (std::vector<std::string>{kGbkTitleAsUtf8, "Rock 'n' Roll"})) << piece;
    }
}

TEST(StreamTitle, AnswersReadAsPlaylistsByTypeOrFirstBytes)
{
    struct Row
    {
        const char* headers;
        const char* body;
        bool playlist;
    };
    const Row rows[] = {
        {"Content-Type: audio/x-scpls\n", "[playlist]\nFile1=http://h/a\n", true},
        {"Content-Type: text/html\n", "#EXTM3U\nhttp://h/a\n", true},
        {"Content-Type: application/octet-stream\n", "[playlist]\r\nFile1=http://h/a\r\n", true},
        {"", "http://h/a\n", true},
        {"Content-Type: application/vnd.apple.mpegurl\n", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n", false},
        {"Content-Type: application/octet-stream\n", "\xFF\xFB\x90\x64 mp3 frames", false},
        {"Content-Type: audio/mpeg\n", "[playlist] in an mp3 body", false},
    };
    for (const Row& row : rows) {
        std::string body;
        StreamTapCallbacks callbacks;
        callbacks.playlist = [&](const std::string& text, const std::string&) { body = text; };
        CStreamTap tap(callbacks);
        tap.ReadHeaders(row.headers, "http://h/s", true);
        const std::string passed = tap.ReadBody(row.body);
        tap.ReadEnd();
        EXPECT_EQ(!body.empty(), row.playlist) << row.headers << row.body;
        EXPECT_EQ(passed.empty(), row.playlist) << row.headers << row.body;
    }
}

TEST_F(PlayerIcecast, SteadyMp3AndOggPlayForAMinuteWithoutBuffering)
{
    server->AddMount("/steady.mp3", MountFormat::Mp3);
    server->AddMount("/steady.ogg", MountFormat::OggVorbis);
    PlayerFixture mp3;
    PlayerFixture ogg;
    mp3.Open(server->Url("/steady.mp3"));
    ogg.Open(server->Url("/steady.ogg"));
    ASSERT_TRUE(mp3.WaitForState(wmppsPlaying, kStepTimeout)) << mp3.Status();
    ASSERT_TRUE(ogg.WaitForState(wmppsPlaying, kStepTimeout)) << ogg.Status();
    EXPECT_EQ(mp3.sink->Count("Buffering"), 0u) << "a live stream starts without waiting for its queue";
    EXPECT_EQ(ogg.sink->Count("Buffering"), 0u);

    PumpFor(kSteadyPlay);
    for (PlayerFixture* fixture : {&mp3, &ogg}) {
        EXPECT_EQ(fixture->State(), wmppsPlaying) << fixture->Status();
        EXPECT_EQ(StatesAfterPlaying(fixture->sink->PlayStates()), std::vector<long>{wmppsPlaying});
        EXPECT_EQ(fixture->sink->Count("Buffering"), 0u);
    }
    EXPECT_EQ(server->Listeners("/steady.mp3"), 1);
    EXPECT_EQ(server->Listeners("/steady.ogg"), 1);
}

TEST_F(PlayerIcecast, TitlesArriveInUtf8AndGbkAndFromVorbisComments)
{
    server->AddMount("/titles.mp3", MountFormat::Mp3);
    server->AddMount("/titles.ogg", MountFormat::OggVorbis);
    ASSERT_TRUE(server->SetTitle("/titles.mp3", kUtf8Title));

    {
        PlayerFixture mp3;
        mp3.Open(server->Url("/titles.mp3"));
        ASSERT_TRUE(mp3.WaitForState(wmppsPlaying, kStepTimeout)) << mp3.Status();
        ASSERT_TRUE(PumpUntil([&] { return MediaTitle(mp3.player) == kUtf8Title; }, kStepTimeout))
            << MediaTitle(mp3.player);
        mp3.Settle();
        EXPECT_GE(mp3.sink->Count("MediaChange"), 1u);
        const std::size_t changes = mp3.sink->Count("MediaChange");

        ASSERT_TRUE(server->SetTitle("/titles.mp3", kGbkTitle));
        ASSERT_TRUE(PumpUntil([&] { return MediaTitle(mp3.player) == kGbkTitleAsUtf8; }, kStepTimeout))
            << MediaTitle(mp3.player);
        mp3.Settle();
        EXPECT_GT(mp3.sink->Count("MediaChange"), changes);
        EXPECT_EQ(mp3.State(), wmppsPlaying) << "the metadata never reaches the decoder";

        // A new opening starts without the old stream's title.
        mp3.Open(server->Url("/titles.mp3?again"));
        EXPECT_EQ(MediaTitle(mp3.player), "");
        mp3.controls->stop();
        mp3.Settle();
    }

    // Icecast writes an Ogg stream's title into a new comment header, the
    // way a station starts a new logical stream per song.
    PlayerFixture ogg;
    ogg.Open(server->Url("/titles.ogg"));
    ASSERT_TRUE(ogg.WaitForState(wmppsPlaying, kStepTimeout)) << ogg.Status();
    ASSERT_TRUE(server->SetTitle("/titles.ogg", kUtf8Title));
    ASSERT_TRUE(PumpUntil([&] { return MediaTitle(ogg.player) == kUtf8Title; }, kStepTimeout))
        << MediaTitle(ogg.player);
    // The new logical stream plays on.
    EXPECT_TRUE(ogg.WaitForState(wmppsPlaying, kStepTimeout)) << ogg.Status();
    PumpFor(2s);
    EXPECT_EQ(ogg.State(), wmppsPlaying) << ogg.Status();
}

TEST_F(PlayerIcecast, MountWithoutExtensionIsRequestedOncePerOpening)
{
    server->AddMount("/live", MountFormat::Mp3);
    PlayerFixture fixture;
    for (std::size_t opening = 1; opening <= 2; ++opening) {
        fixture.Open(server->Url("/live"));
        ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
        fixture.controls->stop();
        // Icecast logs a request when its connection ends.
        ASSERT_TRUE(server->WaitForLoggedRequests("/live", opening, kStepTimeout));
        PumpFor(500ms);
        EXPECT_EQ(server->LoggedRequests("/live"), opening);
    }
}

TEST_F(PlayerIcecast, AacAndHlsStreamsPlay)
{
    server->AddMount("/radio.aac", MountFormat::Aac);
    const std::string hls = server->StartHls();
    PlayerFixture aac;
    aac.Open(server->Url("/radio.aac"));
    ASSERT_TRUE(aac.WaitForState(wmppsPlaying, kStepTimeout)) << aac.Status();
    PlayerFixture segments;
    segments.Open(hls);
    ASSERT_TRUE(segments.WaitForState(wmppsPlaying, kStepTimeout)) << segments.Status();
    PumpFor(2s);
    EXPECT_EQ(aac.State(), wmppsPlaying) << aac.Status();
    EXPECT_EQ(segments.State(), wmppsPlaying) << segments.Status();
}
