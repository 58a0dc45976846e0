// The player's controls and settings as the system calls them: put URL and
// play, pause, stop, volume; stop and playState from the station-switch
// thread while the GUI thread plays; releasing the player while it plays.

#include "platform/wmp/PlayerTestSupport.h"
#include "support/LocalHttpServer.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace orvane::test;
using namespace std::chrono_literals;

namespace {

// Watchdog of one step.
constexpr auto kStepTimeout = 10s;

std::vector<long> StatesAfter(const std::vector<long>& states, std::size_t count)
{
    return std::vector<long>(states.begin() + static_cast<std::ptrdiff_t>(std::min(count, states.size())),
                             states.end());
}

struct LiveServer
{
    LiveServer()
    {
        AddLiveMp3Route(server, "/live.mp3", MakeMp3(3, 128));
        server.AddRoute("/file.mp3", 200, MakeMp3(2, 96), "audio/mpeg");
    }
    LocalHttpServer server;
};

} // namespace

TEST(PlayerControl, PutUrlOpensAtOnceAndGetUrlGivesItBack)
{
    LiveServer live;
    PlayerFixture fixture;
    EXPECT_EQ(fixture.State(), wmppsUndefined);
    EXPECT_EQ(fixture.Url(), "");
    const std::string url = live.server.Url("/live.mp3?station=中文");
    fixture.Open(url);
    EXPECT_EQ(fixture.State(), wmppsTransitioning); // no need to wait for the loop
    EXPECT_EQ(fixture.Url(), url);
    fixture.controls->play(); // the system's play right after put: no second opening
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
    EXPECT_EQ(live.server.RequestCount("/live.mp3"), 1u);
    fixture.controls->play(); // while playing: nothing
    fixture.Settle();
    EXPECT_EQ(live.server.RequestCount("/live.mp3"), 1u);
    EXPECT_EQ(fixture.State(), wmppsPlaying);
}

TEST(PlayerControl, PausingALocalFileHoldsItAndPlayGoesOn)
{
    const std::string folder = MakeTemporaryFolder();
    WriteFile(folder + "/tone.mp3", MakeMp3(4, 128));
    PlayerFixture fixture;
    fixture.Open(folder + "/tone.mp3");
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    fixture.Settle(); // the state changes at once; its event comes from the loop
    const std::size_t before = fixture.sink->PlayStates().size();
    fixture.controls->pause();
    EXPECT_EQ(fixture.State(), wmppsPaused);
    EXPECT_EQ(fixture.Status(), "已暂停");
    PumpFor(1500ms);
    EXPECT_EQ(fixture.State(), wmppsPaused); // a held file neither ends nor fails
    fixture.controls->play();
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    fixture.Settle();
    const std::vector<long> expected = {wmppsPaused, wmppsPlaying};
    EXPECT_EQ(StatesAfter(fixture.sink->PlayStates(), before), expected);
    // Four seconds of audio with at least one and a half held: the end comes
    // later than it would have without the pause.
    ASSERT_TRUE(fixture.WaitForState(wmppsStopped, kStepTimeout));
    RemoveFolder(folder);
}

TEST(PlayerControl, PausingANetworkStreamEndsItAndPlayReopensIt)
{
    LiveServer live;
    PlayerFixture fixture;
    fixture.Open(live.server.Url("/live.mp3"));
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    fixture.controls->pause();
    EXPECT_EQ(fixture.State(), wmppsPaused);
    // The connection is closed rather than left to fill up.
    EXPECT_TRUE(PumpUntil([&] { return live.server.OpenConnections() == 0; }, kStepTimeout));
    PumpFor(500ms);
    EXPECT_EQ(fixture.State(), wmppsPaused);
    const std::size_t before = fixture.sink->PlayStates().size();
    fixture.controls->play();
    EXPECT_EQ(fixture.State(), wmppsTransitioning);
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    fixture.Settle();
    EXPECT_EQ(live.server.RequestCount("/live.mp3"), 2u);
    const std::vector<long> states = StatesAfter(fixture.sink->PlayStates(), before);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), wmppsTransitioning);
    EXPECT_EQ(states.back(), wmppsPlaying);
}

TEST(PlayerControl, StopEndsTheStreamOnceAndPlayStartsItAgain)
{
    LiveServer live;
    PlayerFixture fixture;
    fixture.Open(live.server.Url("/live.mp3"));
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    fixture.controls->stop();
    EXPECT_EQ(fixture.State(), wmppsStopped);
    EXPECT_EQ(fixture.Status(), "已停止");
    EXPECT_TRUE(PumpUntil([&] { return live.server.OpenConnections() == 0; }, kStepTimeout));
    fixture.Settle();
    const std::size_t events = fixture.sink->Events().size();
    fixture.controls->stop(); // stopped already: no event
    fixture.controls->pause(); // nothing to pause
    fixture.Settle();
    EXPECT_EQ(fixture.sink->Events().size(), events);
    EXPECT_EQ(fixture.Url(), live.server.Url("/live.mp3")); // the URL stays for "play"
    fixture.controls->play();
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    EXPECT_EQ(live.server.RequestCount("/live.mp3"), 2u);
}

TEST(PlayerControl, StopWhileConnectingOrBufferingWins)
{
    LocalHttpServer server;
    server.AddStallingRoute("/slow.mp3", StallPoint::AfterHeaders);
    server.AddStallingRoute("/slow.pls", StallPoint::BeforeHeaders);
    for (const char* path : {"/slow.mp3", "/slow.pls"}) {
        SCOPED_TRACE(path);
        PlayerFixture fixture;
        fixture.Open(server.Url(path));
        ASSERT_TRUE(server.WaitForRequests(path, 1, kStepTimeout));
        PumpFor(200ms);
        fixture.controls->stop();
        EXPECT_EQ(fixture.State(), wmppsStopped);
        PumpFor(500ms); // a late result of the abandoned opening must not revive it
        EXPECT_EQ(fixture.State(), wmppsStopped);
        EXPECT_EQ(fixture.sink->Count("Error"), 0u);
    }
}

TEST(PlayerControl, EmptyUrlClosesWhatPlaysAndPlayThenDoesNothing)
{
    LiveServer live;
    PlayerFixture fixture;
    fixture.controls->play(); // nothing held: nothing happens
    fixture.Settle();
    EXPECT_EQ(fixture.State(), wmppsUndefined);
    EXPECT_TRUE(fixture.sink->Events().empty());
    fixture.Open(live.server.Url("/live.mp3"));
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    fixture.Open("");
    EXPECT_EQ(fixture.State(), wmppsStopped);
    EXPECT_EQ(fixture.Url(), "");
    fixture.Settle();
    const std::size_t events = fixture.sink->Events().size();
    fixture.controls->play();
    fixture.Settle();
    EXPECT_EQ(fixture.State(), wmppsStopped);
    EXPECT_EQ(fixture.sink->Events().size(), events);
}

TEST(PlayerControl, NewUrlReplacesTheOneThatPlays)
{
    LiveServer live;
    AddLiveMp3Route(live.server, "/other.mp3", MakeMp3(2, 64));
    PlayerFixture fixture;
    fixture.Open(live.server.Url("/live.mp3"));
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    fixture.Open(live.server.Url("/other.mp3"));
    EXPECT_EQ(fixture.State(), wmppsTransitioning);
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    fixture.Settle();
    EXPECT_NE(fixture.Status().find(": 64Kbps"), std::string::npos) << fixture.Status();
    EXPECT_TRUE(PumpUntil([&] { return live.server.OpenConnections() == 1; }, kStepTimeout));
}

TEST(PlayerControl, VolumeIsClampedToZeroToHundred)
{
    PlayerFixture fixture;
    COM_LONG volume = -1;
    ASSERT_EQ(fixture.settings->get_volume(&volume), S_OK);
    EXPECT_EQ(volume, 100); // the player's own volume before anyone sets one
    const struct
    {
        COM_LONG put;
        COM_LONG got;
    } rows[] = {{50, 50}, {0, 0}, {100, 100}, {101, 100}, {150, 100}, {-1, 0}, {-1000, 0}, {37, 37},
                {2147483647, 100}, {-2147483647 - 1, 0}};
    for (const auto& row : rows) {
        ASSERT_EQ(fixture.settings->put_volume(row.put), S_OK);
        ASSERT_EQ(fixture.settings->get_volume(&volume), S_OK);
        EXPECT_EQ(volume, row.got) << row.put;
    }
    EXPECT_EQ(fixture.settings->get_volume(nullptr), E_POINTER);
}

namespace {

// Peak absolute sample of the data chunk of a 16-bit PCM WAV file (its
// 44-byte header ends with the chunk's length; tag chunks may follow it).
int PeakSample(const std::string& wav)
{
    if (wav.size() < 44 || wav.compare(36, 4, "data") != 0)
        return -1;
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i)
        length = (length << 8) | static_cast<unsigned char>(wav[40 + i]);
    const std::size_t end = std::min<std::size_t>(wav.size(), 44 + static_cast<std::size_t>(length));
    int peak = 0;
    for (std::size_t i = 44; i + 1 < end; i += 2) {
        const int sample = static_cast<std::int16_t>(static_cast<unsigned char>(wav[i]) |
                                                     (static_cast<unsigned char>(wav[i + 1]) << 8));
        peak = std::max(peak, std::abs(sample));
    }
    return peak;
}

} // namespace

TEST(PlayerControl, VolumeReachesTheAudioAndASinkPipelineCanBeConfigured)
{
    const std::string folder = MakeTemporaryFolder();
    WriteFile(folder + "/tone.mp3", MakeMp3(1, 128));
    int peaks[3] = {};
    const COM_LONG volumes[3] = {100, 30, 0};
    for (int i = 0; i < 3; ++i) {
        const std::string wav = folder + "/out" + std::to_string(i) + ".wav";
        const std::string sink = "audioconvert ! audio/x-raw,format=S16LE ! wavenc ! filesink location=" + wav;
        setenv("ORVANE_AUDIO_SINK", sink.c_str(), 1);
        PlayerFixture fixture;
        fixture.settings->put_volume(volumes[i]);
        fixture.Open(folder + "/tone.mp3");
        ASSERT_TRUE(fixture.WaitForState(wmppsStopped, kStepTimeout)) << fixture.Status();
        peaks[i] = PeakSample(ReadFile(wav));
    }
    setenv("ORVANE_AUDIO_SINK", "fakesink", 1);
    EXPECT_GT(peaks[0], 5000);
    EXPECT_LT(peaks[1], peaks[0] / 4); // the volume curve is cubic: 0.3 is 2.7 % of full
    EXPECT_GT(peaks[1], 0);
    EXPECT_EQ(peaks[2], 0);
    RemoveFolder(folder);
}

TEST(PlayerControl, UnknownAudioSinkFailsWithAStatusInsteadOfPlayingSomewhereElse)
{
    setenv("ORVANE_AUDIO_SINK", "no-such-sink-element", 1);
    const std::string folder = MakeTemporaryFolder();
    WriteFile(folder + "/tone.mp3", MakeMp3(1, 128));
    PlayerFixture fixture;
    fixture.Open(folder + "/tone.mp3");
    ASSERT_TRUE(fixture.WaitForState(wmppsReady, kStepTimeout));
    EXPECT_NE(fixture.Status().find("no-such-sink-element"), std::string::npos) << fixture.Status();
    setenv("ORVANE_AUDIO_SINK", "fakesink", 1);
    RemoveFolder(folder);
}

// The station-switch thread's loop: stop until neither Playing nor
// Buffering, then hand the next opening to the GUI thread; the GUI thread
// meanwhile plays and delivers events.
TEST(PlayerControl, StopAndPlayStateFromASecondThreadWhileTheGuiThreadPlays)
{
    LiveServer live;
    PlayerFixture fixture;
    const std::thread::id guiThread = std::this_thread::get_id();
    IWMPControls* switchControls = nullptr;
    fixture.player->get_controls(&switchControls);
    std::atomic<int> requests{0};   // posted "play requests" not yet handled
    std::atomic<bool> switchWanted{false};
    std::atomic<bool> quit{false};
    std::atomic<long> stopsCalled{0};
    std::thread switcher([&] {
        while (!quit) {
            if (!switchWanted.exchange(false)) {
                // Meanwhile the play state is read over and over, as the
                // switch thread does while it waits for the stream to go.
                WMPPlayState state = wmppsUndefined;
                fixture.player->get_playState(&state);
                std::this_thread::sleep_for(1ms);
                continue;
            }
            for (;;) {
                WMPPlayState state = wmppsUndefined;
                fixture.player->get_playState(&state);
                if (state != wmppsPlaying && state != wmppsBuffering)
                    break;
                switchControls->stop();
                ++stopsCalled;
            }
            ++requests;
        }
    });
    const int kRounds = 4;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        fixture.Open(live.server.Url("/live.mp3"));
        ASSERT_TRUE(fixture.WaitForAnyState({wmppsPlaying, wmppsBuffering}, kStepTimeout)) << fixture.Status();
        switchWanted = true;
        ASSERT_TRUE(PumpUntil([&] { return requests.load() > 0; }, kStepTimeout));
        --requests;
        EXPECT_EQ(fixture.State(), wmppsStopped);
    }
    quit = true;
    switcher.join();
    switchControls->Release();
    EXPECT_GE(stopsCalled.load(), kRounds);
    EXPECT_LE(stopsCalled.load(), 2 * kRounds); // one stop is enough: the state changes at once
    EXPECT_TRUE(PumpUntil([&] { return live.server.OpenConnections() == 0; }, kStepTimeout));
    fixture.Settle();
    for (const RecordedEvent& event : fixture.sink->Events())
        ASSERT_EQ(event.thread, guiThread) << event.name;
    EXPECT_EQ(fixture.State(), wmppsStopped);
    EXPECT_EQ(fixture.sink->PlayStates().back(), wmppsStopped);
}

TEST(PlayerControl, EventsComeOnTheGuiThreadEvenWhenAnotherThreadStops)
{
    LiveServer live;
    PlayerFixture fixture;
    const std::thread::id guiThread = std::this_thread::get_id();
    fixture.Open(live.server.Url("/live.mp3"));
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    const std::size_t before = fixture.sink->Events().size();
    std::thread([&] { fixture.controls->stop(); }).join();
    EXPECT_EQ(fixture.State(), wmppsStopped);
    EXPECT_EQ(fixture.sink->Events().size(), before); // nothing delivered on the stopping thread
    ASSERT_TRUE(PumpUntil([&] { return fixture.sink->Events().size() > before; }, kStepTimeout));
    for (const RecordedEvent& event : fixture.sink->Events())
        EXPECT_EQ(event.thread, guiThread) << event.name;
}

TEST(PlayerControl, ReleasingThePlayerWhilePlayingEndsTheStream)
{
    LiveServer live;
    CoInitialize(nullptr);
    for (const bool releaseOnOtherThread : {false, true}) {
        SCOPED_TRACE(releaseOnOtherThread);
        IWMPPlayer* player = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer,
                                   reinterpret_cast<void**>(&player)),
                  S_OK);
        auto* sink = new CRecordingSink;
        IConnectionPointContainer* container = nullptr;
        player->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
        IConnectionPoint* point = nullptr;
        container->FindConnectionPoint(IID_IWMPEvents, &point);
        std::uint32_t cookie = 0;
        point->Advise(static_cast<IWMPEvents*>(sink), &cookie);
        point->Release();
        container->Release();
        BSTR url = Utf8ToBstr(live.server.Url("/live.mp3").c_str());
        player->put_URL(url);
        SysFreeString(url);
        ASSERT_TRUE(PumpUntil(
            [&] {
                WMPPlayState state = wmppsUndefined;
                player->get_playState(&state);
                return state == wmppsPlaying;
            },
            kStepTimeout));
        // Never unadvised, as the system leaves it: the player lets go of the sink.
        if (releaseOnOtherThread)
            std::thread([player] { player->Release(); }).join();
        else
            player->Release();
        EXPECT_TRUE(PumpUntil([&] { return sink->References() == 1; }, kStepTimeout));
        EXPECT_TRUE(PumpUntil([&] { return live.server.OpenConnections() == 0; }, kStepTimeout));
        sink->Release();
    }
    CoUninitialize();
}

TEST(PlayerControl, HttpStreamsAreReadByLibcurlsSource)
{
    // The libsoup source crashes now and then when stations change quickly;
    // the player puts libcurl's first, and the streams it opens use it.
    LiveServer live;
    PlayerFixture fixture;
    GstPluginFeature* curl = gst_registry_lookup_feature(gst_registry_get(), "curlhttpsrc");
    ASSERT_NE(curl, nullptr) << "GStreamer's curl plugin is missing";
    GstPluginFeature* soup = gst_registry_lookup_feature(gst_registry_get(), "souphttpsrc");
    if (soup != nullptr) {
        EXPECT_GT(gst_plugin_feature_get_rank(curl), gst_plugin_feature_get_rank(soup));
        gst_object_unref(soup);
    }
    gst_object_unref(curl);
    GstElement* source = gst_element_make_from_uri(GST_URI_SRC, live.server.Url("/live.mp3").c_str(), nullptr, nullptr);
    ASSERT_NE(source, nullptr);
    EXPECT_STREQ(GST_OBJECT_NAME(gst_element_get_factory(source)), "curlhttpsrc");
    gst_object_unref(source);
    fixture.Open(live.server.Url("/live.mp3"));
    EXPECT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
}

TEST(PlayerControl, ChoosingManyStationsQuicklyEndsOnTheLastOne)
{
    // Streams and playlists in turn, so that late playlist results of
    // abandoned openings arrive while later ones are under way.
    LiveServer live;
    AddLiveMp3Route(live.server, "/last.mp3", MakeMp3(2, 64));
    live.server.AddRoute("/live.pls", 200, "[playlist]\rFile1=" + live.server.Url("/live.mp3") + "\r", "text/html");
    PlayerFixture fixture;
    const int kChoices = 12;
    for (int choice = 0; choice < kChoices; ++choice) {
        fixture.Open(live.server.Url(choice % 2 == 0 ? "/live.mp3" : "/live.pls"));
        PumpFor(std::chrono::milliseconds(choice * 7 % 40)); // some openings get further than others
    }
    fixture.Open(live.server.Url("/last.mp3"));
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout)) << fixture.Status();
    PumpFor(500ms); // room for a stale result to do harm
    EXPECT_EQ(fixture.State(), wmppsPlaying);
    EXPECT_EQ(fixture.Url(), live.server.Url("/last.mp3"));
    EXPECT_NE(fixture.Status().find(": 64Kbps"), std::string::npos) << fixture.Status();
    EXPECT_EQ(fixture.sink->Count("Error"), 0u);
    // Only the last stream is still being received.
    EXPECT_TRUE(PumpUntil([&] { return live.server.OpenConnections() == 1; }, kStepTimeout));
    EXPECT_EQ(live.server.RequestCount("/last.mp3"), 1u);
}
