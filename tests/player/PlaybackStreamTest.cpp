// Playback through the real main window and the real player, against streams
// served on 127.0.0.1: from a double click to the bit rate in the status
// line, the end of a stream, quick changes of station, and "pause" on a live
// stream; then against a real Icecast server: titles under the station name,
// a server restart ridden out, a server gone for good, and a connection that
// stalls while the window stays responsive. Audio goes to the silent sink the
// test environment names.

#include "app/RadioWndFixture.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "platform/wmp/Wmp.h"
#include "support/IcecastServer.h"
#include "support/LocalHttpServer.h"

#include <glib.h>

#include <algorithm>
#include <memory>

using namespace apptest;
using namespace std::chrono_literals;
using orvane::test::AddLiveMp3Route;
using orvane::test::HttpRequest;
using orvane::test::HttpResponse;
using orvane::test::LocalHttpServer;
using orvane::test::MakeMp3;

namespace {

// Watchdog of one step that involves the network and the decoder.
constexpr auto kStreamTimeout = 15s;
// Bit rate of the test tone, in kbit/s, as the status line must show it.
constexpr int kToneKbps = 128;

std::string StationXml(const std::string& name, const std::string& url)
{
    return "<station name=\"" + name + "\" url=\"" + url + "\" style=\"S0\"/>";
}

// A catalogue of one region R0 holding the given stations.
std::string OneRegion(const std::string& stations)
{
    return "<catalogue><city name=\"R0\">" + stations +
           "</city><styles><style name=\"S0\"/></styles></catalogue><version>1</version>";
}

} // namespace

class PlaybackStream : public CRadioWndTest
{
protected:
    void StartOnStationPage(const std::string& catalogue)
    {
        WriteCatalogue(catalogue);
        Start();
        ASSERT_NE(window->player, nullptr);
        CContainerUI* firstRow = AsContainer(Children(window->sortsPanel).at(1));
        ASSERT_NE(firstRow, nullptr);
        Notify(firstRow->GetItemAt(0), "click");
    }

    std::vector<CControlUI*> Stations() const
    {
        std::vector<CControlUI*> options;
        CStdPtrArray* group = Manager().GetOptionGroup("radios");
        for (int i = 0; group != nullptr && i < group->GetSize(); ++i)
            options.push_back(static_cast<CControlUI*>(group->GetAt(i)));
        return options;
    }

    WMPPlayState State() const
    {
        WMPPlayState state = wmppsUndefined;
        window->player->get_playState(&state);
        return state;
    }

    std::string PlayerUrl() const
    {
        BSTR url = nullptr;
        window->player->get_URL(&url);
        std::string text = BstrToUtf8(url);
        SysFreeString(url);
        return text;
    }

    std::string StatusLine() const { return window->statusLabel->GetText().GetData(); }

    // Every text the status line took while pumping, until `done` held.
    bool WatchUntil(const std::function<bool()>& done, std::vector<std::string>& seen,
                    std::chrono::milliseconds timeout = kStreamTimeout)
    {
        return PumpUntil(
            [&] {
                if (seen.empty() || seen.back() != StatusLine())
                    seen.push_back(StatusLine());
                return done();
            },
            timeout);
    }

    bool WaitForPlayingLine()
    {
        const std::string playing = "播放中 " + std::to_string(kToneKbps) + "KB/S";
        return PumpUntil([&] { return State() == wmppsPlaying && StatusLine() == playing; }, kStreamTimeout);
    }
};

TEST_F(PlaybackStream, DoubleClickConnectsBuffersAndShowsTheBitRate)
{
    const std::string mp3 = MakeMp3(6, kToneKbps);
    LocalHttpServer server;
    // The server takes a while to answer, so that the connecting texts show.
    server.AddHandler("/slow.mp3", [mp3](const HttpRequest&) {
        std::this_thread::sleep_for(2500ms);
        HttpResponse response;
        response.contentType = "audio/mpeg";
        response.body = mp3;
        return response;
    });
    StartOnStationPage(OneRegion(StationXml("慢台", server.Url("/slow.mp3"))));

    Notify(Stations().at(0), "dbclick");
    EXPECT_EQ(window->fmName->GetText(), "慢台");
    std::vector<std::string> seen;
    ASSERT_TRUE(WatchUntil([&] { return State() == wmppsPlaying && window->pauseButton->IsVisible(); }, seen))
        << StatusLine();
    ASSERT_TRUE(WaitForPlayingLine()) << StatusLine();
    EXPECT_FALSE(window->playButton->IsVisible());

    // While the server keeps it waiting, the dots turn in order.
    const auto first = std::find(seen.begin(), seen.end(), "正在连接.  ");
    ASSERT_NE(first, seen.end()) << "no connecting text";
    ASSERT_LT(first + 1, seen.end());
    EXPECT_EQ(*(first + 1), "正在连接.. ");
    // Whatever came after connecting is buffering or playing.
    for (auto text = first + 1; text != seen.end(); ++text)
        EXPECT_TRUE(text->rfind("正在连接", 0) == 0 || text->rfind("缓冲中 ", 0) == 0 ||
                    text->rfind("播放中 ", 0) == 0)
            << *text;
    EXPECT_EQ(server.RequestCount("/slow.mp3"), 1u);
}

TEST_F(PlaybackStream, EndOfAStreamReopensItOncePerEndThreeTimesInAll)
{
    const std::string mp3 = MakeMp3(1, kToneKbps);
    LocalHttpServer server;
    server.AddRoute("/short.mp3", 200, mp3, "audio/mpeg");
    StartOnStationPage(OneRegion(StationXml("短台", server.Url("/short.mp3"))));

    Notify(Stations().at(0), "dbclick");
    ASSERT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout)) << StatusLine();
    const std::size_t perOpening = server.RequestCount("/short.mp3");
    ASSERT_GE(perOpening, 1u);

    // Each end raises two status changes; each end reopens the stream once.
    ASSERT_TRUE(PumpUntil([&] { return server.RequestCount("/short.mp3") >= 4 * perOpening; }, 4 * kStreamTimeout))
        << server.RequestCount("/short.mp3");
    ASSERT_TRUE(PumpUntil([&] { return State() == wmppsStopped && !window->restartQueued; }, kStreamTimeout));
    PumpFor(3s);
    EXPECT_EQ(server.RequestCount("/short.mp3"), 4 * perOpening) << "one choice, three restarts";
    EXPECT_EQ(State(), wmppsStopped);
    EXPECT_EQ(StatusLine(), "暂停播放");
    EXPECT_TRUE(window->playButton->IsVisible());
}

TEST_F(PlaybackStream, SeveralStationsChosenQuicklyEndOnTheLastOne)
{
    const std::string mp3 = MakeMp3(3, kToneKbps);
    LocalHttpServer server;
    std::string stations;
    for (const char* name : {"a", "b", "c"}) {
        AddLiveMp3Route(server, std::string("/") + name + ".mp3", mp3);
        stations += StationXml(std::string("台") + name, server.Url(std::string("/") + name + ".mp3"));
    }
    StartOnStationPage(OneRegion(stations));
    const std::vector<CControlUI*> options = Stations();
    ASSERT_EQ(options.size(), 3u);

    // The first plays; then three choices in one go.
    Notify(options[0], "dbclick");
    ASSERT_TRUE(WaitForPlayingLine()) << StatusLine();
    Notify(options[1], "dbclick");
    Notify(options[2], "dbclick");
    Notify(options[1], "dbclick");
    Notify(options[2], "dbclick");
    EXPECT_EQ(window->fmName->GetText(), "台c");

    ASSERT_TRUE(PumpUntil([&] { return PlayerUrl() == server.Url("/c.mp3") && State() == wmppsPlaying; },
                          kStreamTimeout))
        << PlayerUrl() << " " << StatusLine();
    PumpFor(1500ms);
    EXPECT_EQ(PlayerUrl(), server.Url("/c.mp3"));
    EXPECT_EQ(State(), wmppsPlaying);
    EXPECT_EQ(window->currentStationName, "台c");
    EXPECT_EQ(window->fmName->GetText(), "台c");
    // Only the last station's stream is still being fetched.
    EXPECT_TRUE(PumpUntil([&] { return server.OpenConnections() == 1; }, kStreamTimeout))
        << server.OpenConnections();
}

TEST_F(PlaybackStream, PauseEndsALiveStreamUntilPlayIsPressed)
{
    const std::string mp3 = MakeMp3(3, kToneKbps);
    LocalHttpServer server;
    AddLiveMp3Route(server, "/live.mp3", mp3);
    StartOnStationPage(OneRegion(StationXml("直播", server.Url("/live.mp3"))));

    Notify(Stations().at(0), "dbclick");
    ASSERT_TRUE(WaitForPlayingLine()) << StatusLine();
    const std::size_t perOpening = server.RequestCount("/live.mp3");

    Notify(window->pauseButton, "click");
    ASSERT_TRUE(PumpUntil([&] { return State() == wmppsStopped && StatusLine() == "暂停播放"; }, kStreamTimeout))
        << StatusLine();
    EXPECT_TRUE(window->playButton->IsVisible());
    EXPECT_FALSE(window->pauseButton->IsVisible());
    EXPECT_TRUE(PumpUntil([&] { return server.OpenConnections() == 0; }, kStreamTimeout)) << "the stream is let go";
    PumpFor(3s);
    EXPECT_EQ(State(), wmppsStopped) << "a stop the user asked for is not undone";
    EXPECT_EQ(server.RequestCount("/live.mp3"), perOpening);
    EXPECT_EQ(window->restartCount, 0);

    // "play": the held URL is opened again.
    Notify(window->playButton, "click");
    ASSERT_TRUE(WaitForPlayingLine()) << StatusLine();
    EXPECT_EQ(server.RequestCount("/live.mp3"), 2 * perOpening);
    EXPECT_EQ(window->restartCount, 0);
}

// ------------------------------------------------------ against Icecast

namespace {

using orvane::test::CRecordingSink;
using orvane::test::IcecastServer;
using orvane::test::MountFormat;
using orvane::test::StallPoint;

// "你好世界" in GBK, the way many Chinese stations send their titles.
const std::string kGbkTitle = "\xC4\xE3\xBA\xC3\xCA\xC0\xBD\xE7";
// Milliseconds between two ticks of the responsiveness probe.
constexpr guint kProbeTickMilliseconds = 10;

// Records the time of every tick of a GLib timer on the GUI thread's loop,
// the way the window's own timers are dispatched.
class TickRecorder
{
public:
    TickRecorder()
    {
        source = g_timeout_source_new(kProbeTickMilliseconds);
        g_source_set_callback(
            source,
            [](gpointer self) -> gboolean {
                static_cast<TickRecorder*>(self)->ticks.push_back(std::chrono::steady_clock::now());
                return G_SOURCE_CONTINUE;
            },
            this, nullptr);
        g_source_attach(source, nullptr);
    }
    ~TickRecorder()
    {
        g_source_destroy(source);
        g_source_unref(source);
    }
    long long LongestGapMilliseconds() const
    {
        long long longest = 0;
        for (std::size_t i = 1; i < ticks.size(); ++i)
            longest = std::max<long long>(
                longest, std::chrono::duration_cast<std::chrono::milliseconds>(ticks[i] - ticks[i - 1]).count());
        return longest;
    }
    std::size_t Count() const { return ticks.size(); }

private:
    GSource* source = nullptr;
    std::vector<std::chrono::steady_clock::time_point> ticks;
};

} // namespace

class PlaybackIcecast : public PlaybackStream
{
protected:
    void SetUp() override
    {
        if (!IcecastServer::Available())
            GTEST_SKIP() << "icecast2 and ffmpeg are not installed (scripts/install-deps installs them)";
        server = std::make_unique<IcecastServer>();
        PlaybackStream::SetUp();
    }

    void TearDown() override
    {
        if (recorder != nullptr) {
            if (point != nullptr) {
                point->Unadvise(cookie);
                point->Release();
            }
            recorder->Release();
        }
        PlaybackStream::TearDown();
        server.reset();
    }

    // A second sink on the window's player, to count its play states.
    void Record()
    {
        recorder = new CRecordingSink();
        IConnectionPointContainer* container = nullptr;
        ASSERT_TRUE(SUCCEEDED(
            window->player->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))));
        ASSERT_TRUE(SUCCEEDED(container->FindConnectionPoint(IID_IWMPEvents, &point)));
        container->Release();
        ASSERT_TRUE(SUCCEEDED(point->Advise(static_cast<IWMPEvents*>(recorder), &cookie)));
    }

    std::size_t Openings() const
    {
        const std::vector<long> states = recorder->PlayStates();
        return static_cast<std::size_t>(std::count(states.begin(), states.end(), wmppsTransitioning));
    }

    std::string TitleLine() const { return window->fmTitle->GetText().GetData(); }

    std::unique_ptr<IcecastServer> server;
    CRecordingSink* recorder = nullptr;
    IConnectionPoint* point = nullptr;
    std::uint32_t cookie = 0;
};

TEST_F(PlaybackIcecast, TitlesInUtf8AndGbkShowUnderTheStationName)
{
    server->AddMount("/news.mp3", MountFormat::Mp3);
    server->AddMount("/quiet.mp3", MountFormat::Mp3);
    ASSERT_TRUE(server->SetTitle("/news.mp3", "晚间新闻"));
    StartOnStationPage(OneRegion(StationXml("新闻台", server->Url("/news.mp3")) +
                                 StationXml("安静台", server->Url("/quiet.mp3"))));
    ASSERT_NE(window->fmTitle, nullptr);
    EXPECT_EQ(TitleLine(), "");

    Notify(Stations().at(0), "dbclick");
    ASSERT_TRUE(PumpUntil([&] { return TitleLine() == "晚间新闻"; }, kStreamTimeout)) << TitleLine();
    EXPECT_EQ(window->fmName->GetText(), "新闻台") << "the station name keeps its own line";

    ASSERT_TRUE(server->SetTitle("/news.mp3", kGbkTitle));
    ASSERT_TRUE(PumpUntil([&] { return TitleLine() == "你好世界"; }, kStreamTimeout)) << TitleLine();

    // A long title is kept whole and cut with an ellipsis where it is drawn.
    const std::string longTitle = "一首名字很长很长的歌 - 一位名字也很长的歌手 (现场录音, 二〇二六年十二月七日)";
    ASSERT_TRUE(server->SetTitle("/news.mp3", longTitle));
    ASSERT_TRUE(PumpUntil([&] { return TitleLine() == longTitle; }, kStreamTimeout)) << TitleLine();
    EXPECT_NE(window->fmTitle->GetTextStyle() & DT_END_ELLIPSIS, 0u);

    // A station that sends no title leaves the line empty.
    Notify(Stations().at(1), "dbclick");
    ASSERT_TRUE(PumpUntil([&] { return PlayerUrl() == server->Url("/quiet.mp3") && State() == wmppsPlaying; },
                          kStreamTimeout));
    PumpFor(1500ms);
    EXPECT_EQ(TitleLine(), "");
    EXPECT_EQ(window->fmName->GetText(), "安静台");
}

TEST_F(PlaybackIcecast, ServerBackAfterThreeSecondsIsReachedByItself)
{
    server->AddMount("/blip.mp3", MountFormat::Mp3);
    StartOnStationPage(OneRegion(StationXml("断线台", server->Url("/blip.mp3"))));
    Notify(Stations().at(0), "dbclick");
    ASSERT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout)) << StatusLine();

    server->StopServer();
    ASSERT_TRUE(PumpUntil([&] { return State() != wmppsPlaying; }, kStreamTimeout)) << StatusLine();
    PumpFor(3s);
    server->StartServer();
    // Playback comes back within 15 s of the restart, without the user.
    ASSERT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, 15s)) << StatusLine();
    EXPECT_LE(window->restartCount, 3);
}

TEST_F(PlaybackIcecast, ServerGoneForGoodIsReopenedThreeTimesThenSaysWhy)
{
    server->AddMount("/gone.mp3", MountFormat::Mp3);
    StartOnStationPage(OneRegion(StationXml("停播台", server->Url("/gone.mp3"))));
    Record();
    Notify(Stations().at(0), "dbclick");
    ASSERT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout)) << StatusLine();
    const std::size_t before = Openings();

    server->StopServer();
    // Reopenings after 1, 2 and 4 s, each refused at once.
    ASSERT_TRUE(PumpUntil([&] { return Openings() >= before + 3 && State() == wmppsReady; }, 30s))
        << Openings() - before << " " << StatusLine();
    PumpFor(5s);
    EXPECT_EQ(Openings(), before + 3);
    EXPECT_EQ(State(), wmppsReady);
    // The reopenings spent, the status line says why, not "准备就绪".
    EXPECT_EQ(StatusLine(), "无法播放：连接被拒绝");
}

TEST_F(PlaybackIcecast, StalledConnectionNeverHoldsTheWindow)
{
    server->AddMount("/after.mp3", MountFormat::Mp3);
    LocalHttpServer stalling;
    stalling.AddStallingRoute("/stuck.mp3", StallPoint::AfterHeaders);
    StartOnStationPage(OneRegion(StationXml("卡住台", stalling.Url("/stuck.mp3")) +
                                 StationXml("正常台", server->Url("/after.mp3"))));
    Notify(Stations().at(0), "dbclick");
    ASSERT_TRUE(PumpUntil([&] { return stalling.RequestCount("/stuck.mp3") >= 1; }, kStreamTimeout));
    PumpFor(500ms);

    // The stuck opening is ended and the next one started while the GUI
    // thread's timers keep coming.
    TickRecorder ticks;
    Notify(Stations().at(1), "dbclick");
    ASSERT_TRUE(PumpUntil([&] { return PlayerUrl() == server->Url("/after.mp3") && State() == wmppsPlaying; },
                          kStreamTimeout))
        << StatusLine();
    PumpFor(300ms);
    ASSERT_GT(ticks.Count(), 10u);
    EXPECT_LT(ticks.LongestGapMilliseconds(), 100) << "the GUI thread was held";
    EXPECT_TRUE(PumpUntil([&] { return stalling.OpenConnections() == 0; }, kStreamTimeout))
        << "the stuck connection is let go";
}
