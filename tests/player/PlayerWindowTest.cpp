// Playback through the real main window with a scripted player: the status
// line of every play state, the status timer's pace, the "play" and "pause"
// buttons, the automatic restarts, the station-switch thread and the
// playback actions. Every wait has a watchdog.

#include "ScriptedPlayer.h"
#include "app/RadioWndFixture.h"

#include <algorithm>
#include <memory>

using namespace apptest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Watchdog of a single wait.
constexpr auto kStepTimeout = 5s;
// How long nothing must happen before a test believes it will not.
constexpr auto kQuietSpell = 1500ms;

long long MillisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// The middle value of the gaps between consecutive times.
long long MedianGap(const std::vector<Clock::time_point>& times)
{
    std::vector<long long> gaps;
    for (std::size_t i = 1; i < times.size(); ++i)
        gaps.push_back(MillisecondsBetween(times[i - 1], times[i]));
    if (gaps.empty())
        return -1;
    std::sort(gaps.begin(), gaps.end());
    return gaps[gaps.size() / 2];
}

// A text the status line took, and when.
struct Shown
{
    std::string text;
    Clock::time_point at;
};

} // namespace

class PlayerWindow : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        playerClass = std::make_unique<CScriptedPlayerClass>();
    }

    void TearDown() override
    {
        CRadioWndTest::TearDown();
        playerClass.reset();
    }

    CScriptedPlayer& Player() { return playerClass->Player(); }

    // The window on the station page of region R0, with `stations` stations.
    void StartOnStationPage(int stations)
    {
        WriteCatalogue(MakeCatalogue(1, stations, 1));
        Start();
        ASSERT_TRUE(Player().Advised()) << "the window connects its sink to the player it made";
        ShowFirstRegion();
    }

    void ShowFirstRegion()
    {
        CContainerUI* firstRow = AsContainer(Children(window->sortsPanel).at(1));
        ASSERT_NE(firstRow, nullptr);
        Notify(firstRow->GetItemAt(0), "click");
        ASSERT_TRUE(window->radiosPanel->IsVisible());
    }

    // The station options of the page shown, in order.
    std::vector<COptionUI*> Stations() const
    {
        std::vector<COptionUI*> options;
        CStdPtrArray* group = Manager().GetOptionGroup("radios");
        for (int i = 0; group != nullptr && i < group->GetSize(); ++i)
            options.push_back(static_cast<COptionUI*>(group->GetAt(i)));
        return options;
    }

    std::string StatusLine() const { return window->statusLabel->GetText().GetData(); }

    // Pumps until the player was given `count` URLs in all.
    bool WaitForUrls(std::size_t count)
    {
        // Reopenings wait up to 4 s on their timer.
        return PumpUntil([&] { return Player().Urls().size() >= count; }, kStepTimeout + 2s);
    }

    // Double-clicks a station and waits until its URL reached the player.
    void Choose(COptionUI* station)
    {
        const std::size_t before = Player().Urls().size();
        Notify(station, "dbclick");
        ASSERT_TRUE(WaitForUrls(before + 1));
        ASSERT_EQ(Player().Urls().back(), station->GetUserData().GetData());
    }

    // Raises one status change and lets the window handle it.
    void Raise(WMPPlayState state, const std::string& status = "")
    {
        Player().Change(state, status);
        ASSERT_TRUE(PumpUntil([&] { return window->playState == state; }, kStepTimeout));
        PumpFor(30ms);
    }

    // Pumps until the status line shows `text`; when it did, the time.
    bool WaitForStatusLine(const std::string& text, Clock::time_point* at = nullptr,
                           std::chrono::milliseconds timeout = kStepTimeout)
    {
        const bool shown = PumpUntil([&] { return StatusLine() == text; }, timeout);
        if (at != nullptr)
            *at = Clock::now();
        return shown;
    }

    // Every change of the status line until `count` were seen or time ran out.
    std::vector<Shown> WatchStatusLine(std::size_t count, std::chrono::milliseconds timeout)
    {
        std::vector<Shown> seen;
        std::string last = StatusLine();
        PumpUntil(
            [&] {
                const std::string now = StatusLine();
                if (now != last) {
                    seen.push_back({now, Clock::now()});
                    last = now;
                }
                return seen.size() >= count;
            },
            timeout);
        return seen;
    }

    bool PlayShown() const { return window->playButton->IsVisible() && !window->pauseButton->IsVisible(); }
    bool PauseShown() const { return !window->playButton->IsVisible() && window->pauseButton->IsVisible(); }

    std::unique_ptr<CScriptedPlayerClass> playerClass;
};

TEST_F(PlayerWindow, ConnectingTextsTurnEverySecondAndRestartOnEachStatusChange)
{
    StartOnStationPage(1);
    const auto changed = Clock::now();
    Player().Change(wmppsTransitioning, "正在连接");
    const std::vector<Shown> seen = WatchStatusLine(4, 8s);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].text, "正在连接.  ");
    EXPECT_EQ(seen[1].text, "正在连接.. ");
    EXPECT_EQ(seen[2].text, "正在连接...");
    EXPECT_EQ(seen[3].text, "正在连接.  ");
    // The first text comes at once, the next ones a second apart.
    EXPECT_LT(MillisecondsBetween(changed, seen[0].at), 600);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_GE(MillisecondsBetween(seen[i - 1].at, seen[i].at), 900) << i;
    std::vector<Clock::time_point> times;
    for (const Shown& shown : seen)
        times.push_back(shown.at);
    EXPECT_LT(MedianGap(times), 1600);
    EXPECT_TRUE(PlayShown());

    // A status change while connecting starts the dots again from one.
    ASSERT_TRUE(WaitForStatusLine("正在连接.. ", nullptr, 3s));
    Player().Change(wmppsTransitioning, "正在连接");
    const std::vector<Shown> again = WatchStatusLine(1, 3s);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].text, "正在连接.  ");
}

TEST_F(PlayerWindow, BufferingPollsThePlayersPercentageEveryHalfSecond)
{
    StartOnStationPage(1);
    Player().Change(wmppsBuffering, "缓冲: 45%");
    ASSERT_TRUE(WaitForStatusLine("缓冲中 45%"));
    EXPECT_TRUE(PlayShown());

    // No status change is needed: each tick reads the status again.
    struct Row
    {
        const char* status;
        const char* line;
    } rows[] = {
        {"缓冲: 100%", "缓冲中 100%"},
        {"缓冲: 1245%", "缓冲中 245%"}, // the last three of four digits
        {"缓冲中", "缓冲中 0%"},         // no '%'
        {"缓冲: 7%", "缓冲中 7%"},
        {"缓冲: -%", "缓冲中 0%"},       // no digit right before the '%'
    };
    for (const Row& row : rows) {
        Player().SetStatus(row.status);
        EXPECT_TRUE(WaitForStatusLine(row.line, nullptr, 3s)) << row.status << " shows " << StatusLine();
    }

    // One read of the status per tick, half a second apart.
    const std::size_t before = Player().StatusReads().size();
    PumpUntil([&] { return Player().StatusReads().size() >= before + 5; }, 6s);
    std::vector<Clock::time_point> reads = Player().StatusReads();
    ASSERT_GE(reads.size(), before + 5);
    reads.erase(reads.begin(), reads.begin() + static_cast<std::ptrdiff_t>(before));
    for (std::size_t i = 1; i < reads.size(); ++i)
        EXPECT_GE(MillisecondsBetween(reads[i - 1], reads[i]), 450) << i;
    EXPECT_LT(MedianGap(reads), 850);

    // A status the player cannot give leaves the line as it was.
    Player().FailStatus(true);
    Player().SetStatus("缓冲: 99%");
    PumpFor(1200ms);
    EXPECT_EQ(StatusLine(), "缓冲中 0%");
}

TEST_F(PlayerWindow, PlayingShowsTheBitRateOnceAndThePauseButton)
{
    StartOnStationPage(1);
    struct Row
    {
        const char* status;
        const char* line;
    } rows[] = {
        {"播放: 128Kbps", "播放中 128KB/S"},
        {"播放: 1234567Kbps", "播放中 12345KB/S"}, // more than five digits: the first five
        {"播放: Kbps", "播放中 KB/S"},             // no digit: an empty figure
        {"播放中", "播放中 KB/S"},                 // no colon
    };
    for (const Row& row : rows) {
        Raise(wmppsBuffering, "缓冲: 10%"); // "play" shown again in between
        ASSERT_TRUE(PlayShown());
        Raise(wmppsPlaying, row.status);
        EXPECT_EQ(StatusLine(), row.line) << row.status;
        EXPECT_TRUE(PauseShown()) << row.status;
    }

    // While playing nothing refreshes the line until the next status change.
    Raise(wmppsPlaying, "播放: 128Kbps");
    Player().SetStatus("播放: 64Kbps");
    PumpFor(kQuietSpell);
    EXPECT_EQ(StatusLine(), "播放中 128KB/S");
    Player().RaiseStatusChange();
    EXPECT_TRUE(WaitForStatusLine("播放中 64KB/S"));

    // A status the player cannot give: the line stays, the buttons switch.
    Raise(wmppsPaused);
    ASSERT_TRUE(PlayShown());
    Player().FailStatus(true);
    Raise(wmppsPlaying);
    EXPECT_EQ(StatusLine(), "播放中 64KB/S");
    EXPECT_TRUE(PauseShown());
}

TEST_F(PlayerWindow, IdleStatesShowTheirTextOnTheSecondsTimer)
{
    StartOnStationPage(1);
    Raise(wmppsPlaying, "播放: 128Kbps");

    struct Row
    {
        WMPPlayState state;
        const char* line;
    } rows[] = {
        {wmppsPaused, "暂停播放"},
        {wmppsStopped, "暂停播放"},
        {wmppsReady, "准备就绪"},
    };
    for (const Row& row : rows) {
        window->statusLabel->SetText("-");
        const auto changed = Clock::now();
        Raise(row.state);
        EXPECT_TRUE(PlayShown()) << row.state;
        // Not at once: the first tick is a second away, and so is each next.
        EXPECT_EQ(StatusLine(), "-") << row.state;
        Clock::time_point first;
        ASSERT_TRUE(WaitForStatusLine(row.line, &first, 3s)) << row.state;
        EXPECT_GE(MillisecondsBetween(changed, first), 900) << row.state;
        window->statusLabel->SetText("-");
        const auto cleared = Clock::now();
        Clock::time_point second;
        ASSERT_TRUE(WaitForStatusLine(row.line, &second, 3s)) << row.state;
        EXPECT_GE(MillisecondsBetween(cleared, second), 300) << row.state;
        EXPECT_GE(MillisecondsBetween(first, second), 900) << row.state;
        EXPECT_LT(MillisecondsBetween(first, second), 1600) << row.state;
    }
}

TEST_F(PlayerWindow, StatesOutsideTheTableStopTheTimerAndKeepTheLine)
{
    StartOnStationPage(1);
    for (WMPPlayState state : {wmppsWaiting, wmppsMediaEnded, wmppsUndefined, wmppsReconnecting}) {
        Raise(wmppsTransitioning);
        ASSERT_TRUE(WaitForStatusLine("正在连接.  ")) << state;
        Raise(state);
        EXPECT_TRUE(PlayShown()) << state;
        PumpFor(kQuietSpell);
        EXPECT_EQ(StatusLine(), "正在连接.  ") << state;
    }
    EXPECT_EQ(Player().Urls().size(), 0u) << "none of them asks for a restart";
}

TEST_F(PlayerWindow, AtMostThreeAutomaticRestartsPerStationChoiceEachWaitingLonger)
{
    StartOnStationPage(2);
    const std::vector<COptionUI*> stations = Stations();
    ASSERT_EQ(stations.size(), 2u);
    Choose(stations[0]);
    Raise(wmppsPlaying, "播放: 128Kbps");

    // Each failure is reopened once, after a wait longer than the one
    // before; a second status change of the same failure spends nothing.
    std::vector<long long> waits;
    for (int failure = 0; failure < 3; ++failure) {
        const std::size_t before = Player().Urls().size();
        const Clock::time_point failed = Clock::now();
        Raise(failure % 2 == 0 ? wmppsStopped : wmppsReady);
        Raise(wmppsStopped);
        ASSERT_TRUE(PumpUntil([&] { return Player().Urls().size() > before; }, kStepTimeout + 2s)) << failure;
        waits.push_back(MillisecondsBetween(failed, Clock::now()));
        EXPECT_EQ(Player().Urls().size(), before + 1) << failure;
    }
    EXPECT_LT(waits[0], waits[1]);
    EXPECT_LT(waits[1], waits[2]);
    Raise(wmppsReady);
    PumpFor(kQuietSpell);
    EXPECT_EQ(Player().Urls().size(), 1u + 3u) << "the player stays stopped";

    // A new choice gives three more, and a pending reopening of the old
    // station is dropped by it.
    Choose(stations[1]);
    Raise(wmppsStopped);
    Choose(stations[0]);
    PumpFor(kQuietSpell);
    const std::vector<std::string> urls = Player().Urls();
    ASSERT_EQ(urls.size(), 4u + 2u) << "the choice cancelled the pending reopening";
    EXPECT_EQ(urls.back(), stations[0]->GetUserData().GetData());
}

TEST_F(PlayerWindow, PauseCancelsAPendingReopening)
{
    StartOnStationPage(1);
    Choose(Stations().at(0));
    Raise(wmppsPlaying, "播放: 128Kbps");
    Raise(wmppsReady);
    Notify(window->pauseButton, "click");
    PumpFor(kQuietSpell);
    EXPECT_EQ(Player().Urls().size(), 1u);
}

TEST_F(PlayerWindow, EndOfStreamRaisingTwoStatusChangesReopensOnce)
{
    StartOnStationPage(1);
    Choose(Stations().at(0));

    // Each end raises MediaEnded, then Stopped, before the window reads
    // either: both read Stopped. One reopening per end, three in all.
    for (int end = 0; end < 4; ++end) {
        Raise(wmppsPlaying, "播放: 128Kbps");
        Player().SetState(wmppsMediaEnded);
        Player().RaiseStatusChange();
        Player().SetState(wmppsStopped);
        Player().RaiseStatusChange();
        const std::size_t expected = 1u + static_cast<std::size_t>(std::min(end + 1, 3));
        if (end < 3) {
            EXPECT_TRUE(WaitForUrls(expected)) << "end " << end;
        }
        PumpFor(300ms);
        EXPECT_EQ(Player().Urls().size(), expected) << "end " << end;
    }
    PumpFor(kQuietSpell);
    EXPECT_EQ(Player().Urls().size(), 4u);
    EXPECT_EQ(StatusLine(), "暂停播放");
}

TEST_F(PlayerWindow, UserStopStaysStoppedAndPlayGoesOnWithTheHeldStream)
{
    StartOnStationPage(1);
    Choose(Stations().at(0));
    Raise(wmppsPlaying, "播放: 128Kbps");
    ASSERT_TRUE(PauseShown());

    const std::size_t callsBefore = Player().Calls().size();
    Notify(window->pauseButton, "click");
    const std::vector<std::string> calls = Player().Calls();
    const std::vector<std::string> stopCalls(calls.begin() + static_cast<std::ptrdiff_t>(callsBefore), calls.end());
    EXPECT_EQ(stopCalls, (std::vector<std::string>{"pause", "stop"}));

    // Paused then Stopped: the player stays stopped, with "play" to press.
    Player().SetState(wmppsPaused);
    Player().RaiseStatusChange();
    Player().SetState(wmppsStopped);
    Player().RaiseStatusChange();
    PumpFor(kQuietSpell);
    EXPECT_EQ(Player().Urls().size(), 1u);
    EXPECT_EQ(StatusLine(), "暂停播放");
    EXPECT_TRUE(PlayShown());

    // "play" with a URL held: play that stream, nothing reopened, no restart
    // spent or given back.
    const int restarts = window->restartCount;
    const int plays = Player().PlayCalls();
    Notify(window->playButton, "click");
    PumpFor(200ms);
    EXPECT_EQ(Player().PlayCalls(), plays + 1);
    EXPECT_EQ(Player().Urls().size(), 1u);
    EXPECT_EQ(window->restartCount, restarts);

    // Playing again, a failure is restarted as after any choice.
    Raise(wmppsPlaying, "播放: 128Kbps");
    Raise(wmppsStopped);
    EXPECT_TRUE(WaitForUrls(2));
}

TEST_F(PlayerWindow, PlayWithoutAUrlDoubleClicksTheSelectedStation)
{
    StartOnStationPage(3);
    const std::vector<COptionUI*> stations = Stations();
    ASSERT_EQ(stations.size(), 3u);
    const CStdString welcome = window->fmName->GetText();

    // Nothing selected: nothing happens.
    Notify(window->playButton, "click");
    PumpFor(500ms);
    EXPECT_TRUE(Player().Urls().empty());
    EXPECT_EQ(window->fmName->GetText(), welcome);

    stations[1]->Selected(true);
    Notify(window->playButton, "click");
    EXPECT_EQ(window->fmName->GetText(), stations[1]->GetText()) << "the choice is made at once";
    ASSERT_TRUE(WaitForUrls(1));
    EXPECT_EQ(Player().Urls().front(), stations[1]->GetUserData().GetData());
    EXPECT_EQ(window->currentStationName, stations[1]->GetText());
}

TEST_F(PlayerWindow, AStationWithoutAUrlHandsTheEmptyUrlToThePlayer)
{
    WriteCatalogue("<catalogue><city name=\"R0\"><station name=\"无地址\" url=\"\" style=\"S0\"/></city>"
                   "<styles><style name=\"S0\"/></styles></catalogue><version>1</version>");
    Start();
    ShowFirstRegion();
    ASSERT_EQ(Stations().size(), 1u);
    const int plays = Player().PlayCalls();
    Notify(Stations()[0], "dbclick");
    ASSERT_TRUE(WaitForUrls(1));
    EXPECT_EQ(Player().Urls().front(), "");
    PumpFor(50ms);
    EXPECT_EQ(Player().PlayCalls(), plays + 1);
    EXPECT_EQ(window->fmName->GetText(), "无地址");
}

TEST_F(PlayerWindow, SwitchThreadStopsUntilTheOldStreamLetsGo)
{
    StartOnStationPage(2);
    const std::vector<COptionUI*> stations = Stations();
    Choose(stations[0]);

    for (WMPPlayState old : {wmppsPlaying, wmppsBuffering}) {
        Raise(old, "播放: 128Kbps");
        Player().SetStopsToEnd(3);
        const int stopsBefore = Player().StopCalls();
        const std::size_t urlsBefore = Player().Urls().size();
        Notify(stations[1], "dbclick");
        EXPECT_EQ(window->fmName->GetText(), stations[1]->GetText()) << "the new name shows at once";
        ASSERT_TRUE(WaitForUrls(urlsBefore + 1));
        EXPECT_EQ(Player().StopCallsBeforeLastUrl() - stopsBefore, 3) << old;
        EXPECT_EQ(Player().Urls().back(), stations[1]->GetUserData().GetData());
    }

    // From a state that needs no stop, no stop is made.
    Raise(wmppsPaused);
    const int stopsBefore = Player().StopCalls();
    const std::size_t urlsBefore = Player().Urls().size();
    Notify(stations[0], "dbclick");
    ASSERT_TRUE(WaitForUrls(urlsBefore + 1));
    EXPECT_EQ(Player().StopCallsBeforeLastUrl(), stopsBefore);
}

TEST_F(PlayerWindow, VolumeSliderValueReachesThePlayerUnchanged)
{
    StartOnStationPage(1);
    for (int value : {0, 37, 100}) {
        window->volumeSlider->SetValue(value);
        Notify(window->volumeSlider, "valuechanging");
    }
    Notify(window->volumeSlider, "valuechanged"); // only a move in progress counts
    EXPECT_EQ(Player().Volumes(), (std::vector<COM_LONG>{0, 37, 100}));
}

TEST_F(PlayerWindow, SwitchThreadWaitingForAStopDoesNotSpin)
{
    StartOnStationPage(2);
    const std::vector<COptionUI*> stations = Stations();
    Choose(stations[0]);
    Raise(wmppsPlaying, "播放: 128Kbps");
    Player().SetStopsToEnd(1 << 30); // lets go only when the test says so
    const int stopsBefore = Player().StopCalls();
    Notify(stations[1], "dbclick");
    PumpFor(300ms);
    // A loop that asks without pause makes hundreds of thousands of calls
    // in that time; one that waits between its calls makes a few dozen.
    EXPECT_LT(Player().StopCalls() - stopsBefore, 200);
    Player().SetState(wmppsStopped);
    ASSERT_TRUE(WaitForUrls(2));
    EXPECT_EQ(Player().Urls().back(), stations[1]->GetUserData().GetData());
}

TEST_F(PlayerWindow, PauseDuringASwitchDoesNotDropTheChoice)
{
    StartOnStationPage(2);
    const std::vector<COptionUI*> stations = Stations();
    Choose(stations[0]);
    Raise(wmppsPlaying, "播放: 128Kbps");

    // The switch thread still waits for the old stream when "pause" comes.
    Player().SetStopsToEnd(1 << 30);
    Notify(stations[1], "dbclick");
    Notify(window->pauseButton, "click");
    Player().SetState(wmppsStopped);
    PumpFor(kQuietSpell);
    EXPECT_EQ(Player().Urls().size(), 1u) << "the paused switch opens nothing";
    EXPECT_EQ(window->fmName->GetText(), stations[1]->GetText());

    // "play" plays the station shown, not the stream held before.
    const int plays = Player().PlayCalls();
    Notify(window->playButton, "click");
    ASSERT_TRUE(WaitForUrls(2));
    EXPECT_EQ(Player().Urls().back(), stations[1]->GetUserData().GetData());
    PumpFor(50ms);
    EXPECT_EQ(Player().PlayCalls(), plays + 1);
}

TEST_F(PlayerWindow, WindowDestroyedWhileTheSwitchWaitsEndsTheThread)
{
    StartOnStationPage(2);
    const std::vector<COptionUI*> stations = Stations();
    Choose(stations[0]);
    Raise(wmppsPlaying, "播放: 128Kbps");
    Player().SetStopsToEnd(1 << 30);
    Notify(stations[1], "dbclick");
    PumpFor(50ms);
    // The teardown stops the thread in its wait; it posts nothing to the
    // window that is gone, and the player is still there to be released.
    ::DestroyWindow(window->GetHWND());
    window = nullptr;
    PumpFor(100ms);
    EXPECT_EQ(Player().Urls().size(), 1u);
}
