// The main window's media controls on a private session bus, with playerctl
// as the desktop's client and the real player on a live stream served on
// 127.0.0.1: status and station as the desktop reads them, its commands
// reaching the window's own actions, the volume both ways, coming to the
// front, quitting.

#include "app/RadioWndFixture.h"
#include "support/DesktopSession.h"
#include "platform/desktop/MediaControls.h"
#include "platform/shell/ShellTesting.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "platform/wmp/Wmp.h"
#include "support/LocalHttpServer.h"

#include <cstdlib>

using namespace apptest;
using namespace std::chrono_literals;

namespace {

// Watchdog of one step that involves the network and the decoder.
constexpr auto kStreamTimeout = 15s;

} // namespace

class MediaWindow : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
        CRadioWndTest::SetUp();
        ASSERT_TRUE(bus.Started());
        AddLiveMp3Route(server, "/a.mp3", orvane::test::MakeMp3(2.0, 128));
        AddLiveMp3Route(server, "/b.mp3", orvane::test::MakeMp3(2.0, 128));
    }

    // The window with its media controls on the station page of two live
    // stations, the first selected.
    void StartOnStationPage()
    {
        WriteCatalogue("<catalogue><city name=\"R0\"><station name=\"甲台\" url=\"" + server.Url("/a.mp3") +
                       "\" style=\"S0\"/><station name=\"乙台\" url=\"" + server.Url("/b.mp3") +
                       "\" style=\"S0\"/></city><styles><style name=\"S0\"/></styles></catalogue>"
                       "<version>1</version>");
        Start();
        window->ConnectMediaControls();
        ASSERT_NE(window->mediaControls, nullptr);
        CContainerUI* firstRow = AsContainer(Children(window->sortsPanel).at(1));
        ASSERT_NE(firstRow, nullptr);
        Notify(firstRow->GetItemAt(0), "click");
        static_cast<COptionUI*>(Manager().GetOptionGroup("radios")->GetAt(0))->Selected(true);
    }

    desktoptest::TToolResult Playerctl(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {"playerctl", "--player=orvane_radio"});
        return desktoptest::RunTool(arguments, {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}}, 10s,
                                    [] { PumpFor(5ms); });
    }

    // Pumps until playerctl reads `expected` for `arguments`.
    bool WaitForPlayerctl(const std::vector<std::string>& arguments, const std::string& expected)
    {
        return PumpUntil([&] { return Playerctl(arguments).output == expected; }, kStreamTimeout);
    }

    WMPPlayState State() const
    {
        WMPPlayState state = wmppsUndefined;
        window->player->get_playState(&state);
        return state;
    }

    desktoptest::CPrivateSessionBus bus;
    orvane::test::LocalHttpServer server;
};

TEST_F(MediaWindow, PlayPauseAndPlayPauseReachTheButtonsActions)
{
    StartOnStationPage();
    EXPECT_EQ(Playerctl({"status"}).output, "Stopped");

    EXPECT_EQ(Playerctl({"play"}).exitCode, 0);
    ASSERT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout));
    EXPECT_TRUE(WaitForPlayerctl({"status"}, "Playing"));
    EXPECT_EQ(Playerctl({"metadata", "xesam:title"}).output, "甲台");
    EXPECT_EQ(Playerctl({"metadata", "xesam:url"}).output, server.Url("/a.mp3"));

    // "pause" on a live stream stops it, as the window's button does.
    EXPECT_EQ(Playerctl({"pause"}).exitCode, 0);
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsStopped; }, kStreamTimeout));
    EXPECT_TRUE(window->stoppedByUser);
    EXPECT_TRUE(WaitForPlayerctl({"status"}, "Stopped"));

    EXPECT_EQ(Playerctl({"play-pause"}).exitCode, 0);
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout));
    EXPECT_EQ(Playerctl({"play-pause"}).exitCode, 0);
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsStopped; }, kStreamTimeout));

    EXPECT_EQ(Playerctl({"play"}).exitCode, 0);
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout));
    EXPECT_EQ(Playerctl({"stop"}).exitCode, 0);
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsStopped; }, kStreamTimeout));
}

TEST_F(MediaWindow, NextAndPreviousStepThroughTheStations)
{
    StartOnStationPage();
    EXPECT_EQ(Playerctl({"next"}).exitCode, 0);
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout));
    EXPECT_EQ(window->currentStationName, "乙台");
    EXPECT_TRUE(WaitForPlayerctl({"metadata", "xesam:title"}, "乙台"));
    const std::string secondTrack = Playerctl({"metadata", "mpris:trackid"}).output;

    EXPECT_EQ(Playerctl({"previous"}).exitCode, 0);
    EXPECT_TRUE(WaitForPlayerctl({"metadata", "xesam:title"}, "甲台"));
    EXPECT_EQ(window->currentStationName, "甲台");
    EXPECT_NE(Playerctl({"metadata", "mpris:trackid"}).output, secondTrack);
}

TEST_F(MediaWindow, VolumeBothWays)
{
    StartOnStationPage();
    window->volumeSlider->SetValue(40);
    Notify(window->volumeSlider, "valuechanging");
    EXPECT_EQ(Playerctl({"volume"}).output, "0.400000");

    EXPECT_EQ(Playerctl({"volume", "0.25"}).exitCode, 0);
    EXPECT_TRUE(PumpUntil([&] { return window->volumeSlider->GetValue() == 25; }, 5s));
    COM_LONG volume = -1;
    window->playerSettings->get_volume(&volume);
    EXPECT_EQ(volume, 25);
    EXPECT_TRUE(window->volumeSavePending) << "the desktop's volume is remembered like the slider's";
}

TEST_F(MediaWindow, RaiseShowsTheHiddenWindowAndQuitEndsTheLoop)
{
    StartOnStationPage();
    ::ShowWindow(Hwnd(), SW_HIDE);
    const desktoptest::TToolResult raise =
        desktoptest::RunTool({"dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.orvane_radio",
                              "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Raise"},
                             {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}}, 10s, [] { PumpFor(5ms); });
    EXPECT_EQ(raise.exitCode, 0) << raise.output;
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(Hwnd()) != FALSE; }, 5s));

    // Quit is "menuexit": the icon goes, then the quit message.
    desktoptest::CChildProcess quit({"dbus-send", "--session", "--print-reply",
                                     "--dest=org.mpris.MediaPlayer2.orvane_radio", "/org/mpris/MediaPlayer2",
                                     "org.mpris.MediaPlayer2.Quit"},
                                    {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}});
    bool quitSeen = false;
    EXPECT_TRUE(desktoptest::WaitUntil([&] { return quitSeen; }, 10s, [&] { quitSeen = quitSeen || QuitPosted(); }));
    EXPECT_FALSE(HasNotifyIcon(Hwnd(), kTrayIconId));
}

TEST_F(MediaWindow, WindowGoingTakesTheNameOffTheBus)
{
    StartOnStationPage();
    EXPECT_EQ(Playerctl({"status"}).exitCode, 0);
    ::DestroyWindow(Hwnd());
    window = nullptr;
    EXPECT_NE(Playerctl({"status"}).exitCode, 0);
}
