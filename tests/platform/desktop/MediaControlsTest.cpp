// The media controls on a private session bus, driven by playerctl as a
// desktop would: what it reads, what its commands reach, and the signals
// that tell it of changes.

#include "support/DesktopSession.h"
#include "platform/desktop/MediaControls.h"
#include "platform/win/WinApplication.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdlib>
#include <vector>

using namespace desktoptest;

namespace {

class MediaControlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.Started()) << "dbus-daemon did not start";
        // The process's own connection goes to the test's bus.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
        ASSERT_TRUE(CWinApplication::Ensure());
    }

    std::unique_ptr<CMediaControls> Connect(const TMediaState& state = {})
    {
        TMediaActions actions;
        actions.play = [this] { calls.push_back("play"); };
        actions.pause = [this] { calls.push_back("pause"); };
        actions.playPause = [this] { calls.push_back("playpause"); };
        actions.stop = [this] { calls.push_back("stop"); };
        actions.next = [this] { calls.push_back("next"); };
        actions.previous = [this] { calls.push_back("previous"); };
        actions.raise = [this] { calls.push_back("raise"); };
        actions.quit = [this] { calls.push_back("quit"); };
        actions.setVolume = [this](int volume) { volumes.push_back(volume); };
        return CMediaControls::Connect(std::move(actions), state);
    }

    // playerctl against our player, the Qt loop answering meanwhile.
    TToolResult Playerctl(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {"playerctl", "--player=orvane_radio"});
        return RunTool(arguments, {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}}, 10s, PumpQt);
    }

    CPrivateSessionBus bus;
    std::vector<std::string> calls;
    std::vector<int> volumes;
};

} // namespace

TEST_F(MediaControlsTest, DesktopReadsStatusStationAndVolume)
{
    TMediaState state;
    state.status = MediaPlaybackStatus::Playing;
    state.stationName = "中国之声";
    state.stationUrl = "http://127.0.0.1:9/cnr1";
    state.volume = 35;
    auto controls = Connect(state);
    ASSERT_NE(controls, nullptr);

    EXPECT_EQ(Playerctl({"status"}).output, "Playing");
    EXPECT_EQ(Playerctl({"metadata", "xesam:title"}).output, "中国之声");
    EXPECT_EQ(Playerctl({"metadata", "xesam:url"}).output, "http://127.0.0.1:9/cnr1");
    EXPECT_EQ(Playerctl({"volume"}).output, "0.350000");
    // playerctl prints an object path quoted.
    EXPECT_EQ(Playerctl({"metadata", "mpris:trackid"}).output.rfind("'/org/orvane/Radio/track/", 0), 0u);

    state.status = MediaPlaybackStatus::Paused;
    state.streamTitle = "歌手 - 歌名";
    controls->Update(state);
    EXPECT_EQ(Playerctl({"status"}).output, "Paused");
    EXPECT_EQ(Playerctl({"metadata", "xesam:artist"}).output, "歌手 - 歌名");
}

TEST_F(MediaControlsTest, NoStationIsNoTrack)
{
    auto controls = Connect();
    ASSERT_NE(controls, nullptr);
    EXPECT_EQ(Playerctl({"status"}).output, "Stopped");
    EXPECT_EQ(Playerctl({"metadata", "mpris:trackid"}).output, "'/org/mpris/MediaPlayer2/TrackList/NoTrack'");
    const TToolResult title = Playerctl({"metadata", "xesam:title"});
    EXPECT_NE(title.exitCode, 0) << title.output;
}

TEST_F(MediaControlsTest, CommandsReachTheirActions)
{
    auto controls = Connect();
    ASSERT_NE(controls, nullptr);
    for (const char* command : {"play", "pause", "play-pause", "stop", "next", "previous"})
        EXPECT_EQ(Playerctl({command}).exitCode, 0) << command;
    EXPECT_EQ(calls, (std::vector<std::string>{"play", "pause", "playpause", "stop", "next", "previous"}));
}

TEST_F(MediaControlsTest, VolumeFromTheDesktopIsBoundedAndRounded)
{
    auto controls = Connect();
    ASSERT_NE(controls, nullptr);
    for (const char* volume : {"0.5", "0.333", "1.7", "0"})
        EXPECT_EQ(Playerctl({"volume", volume}).exitCode, 0) << volume;
    EXPECT_EQ(volumes, (std::vector<int>{50, 33, 100, 0}));
}

TEST_F(MediaControlsTest, ChangesAreSignalled)
{
    TMediaState state;
    state.stationName = "A";
    state.volume = 20;
    auto controls = Connect(state);
    ASSERT_NE(controls, nullptr);

    CChildProcess follower({"playerctl", "--player=orvane_radio", "--follow", "metadata", "--format",
                            "{{status}}|{{xesam:title}}|{{volume}}"},
                           {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}});
    ASSERT_TRUE(WaitUntil([&] { return follower.Output().find("Stopped|A|0.2") != std::string::npos; }, 10s,
                          PumpQt))
        << follower.Output();

    state.status = MediaPlaybackStatus::Playing;
    controls->Update(state);
    EXPECT_TRUE(WaitUntil([&] { return follower.Output().find("Playing|A|0.2") != std::string::npos; }, 10s,
                          PumpQt))
        << follower.Output();
    state.stationName = "B";
    controls->Update(state);
    EXPECT_TRUE(WaitUntil([&] { return follower.Output().find("Playing|B|0.2") != std::string::npos; }, 10s,
                          PumpQt))
        << follower.Output();
    state.volume = 70;
    controls->Update(state);
    // The follower prints the volume with every digit of the double 0.7.
    EXPECT_TRUE(WaitUntil([&] { return follower.Output().find("Playing|B|0.69999") != std::string::npos; }, 10s,
                          PumpQt))
        << follower.Output();
}

TEST_F(MediaControlsTest, RootInterfaceNamesTheProgramAndRaisesAndQuits)
{
    auto controls = Connect();
    ASSERT_NE(controls, nullptr);
    const Environment environment{{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}};
    auto property = [&](const char* name) {
        return RunTool({"dbus-send", "--session", "--print-reply=literal", "--dest=org.mpris.MediaPlayer2.orvane_radio",
                        "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties.Get",
                        "string:org.mpris.MediaPlayer2", std::string("string:") + name},
                       environment, 10s, PumpQt)
            .output;
    };
    EXPECT_NE(property("Identity").find("Orvane网络收音机"), std::string::npos);
    EXPECT_NE(property("DesktopEntry").find("org.orvane.Radio"), std::string::npos);
    EXPECT_NE(property("CanRaise").find("true"), std::string::npos);
    EXPECT_NE(property("CanQuit").find("true"), std::string::npos);
    for (const char* method : {"Raise", "Quit"}) {
        const TToolResult call = RunTool({"dbus-send", "--session", "--print-reply",
                                          "--dest=org.mpris.MediaPlayer2.orvane_radio", "/org/mpris/MediaPlayer2",
                                          std::string("org.mpris.MediaPlayer2.") + method},
                                         environment, 10s, PumpQt);
        EXPECT_EQ(call.exitCode, 0) << call.output;
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"raise", "quit"}));
}

TEST_F(MediaControlsTest, NameLeavesTheBusWithTheControls)
{
    Connect().reset();
    const TToolResult status = Playerctl({"status"});
    EXPECT_NE(status.exitCode, 0) << status.output;
    // And may be taken again.
    EXPECT_NE(Connect(), nullptr);
}

TEST(MediaControlsWithoutBus, WindowsBelongToTheDesktopEntry)
{
    ASSERT_TRUE(CWinApplication::Ensure());
    DeclareDesktopEntry();
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("org.orvane.Radio"));
}

TEST(MediaControlsWithoutBus, ConnectAnswersNull)
{
    const std::string runtime = MakeTemporaryFolder("orvane-nobus");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("DISPLAY");
    // Without an address, libdbus looks for $XDG_RUNTIME_DIR/bus.
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ASSERT_TRUE(CWinApplication::Ensure());
    EXPECT_EQ(CMediaControls::Connect({}, {}), nullptr);
    RemoveFolder(runtime);
}
