// The real executable in a desktop session of the test's own: an X server
// with a notification area, a private session bus, playerctl as the media
// client. One player per user (a second start brings the first to the
// front and ends with 0, over the bus or, without one, through the runtime
// folder's socket), and the media controls reaching the running program.

#include "support/DesktopSession.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "support/IcecastServer.h"
#include "support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

using namespace desktoptest;
namespace fs = std::filesystem;

namespace {

constexpr const char* kTitle = "Orvane网络收音机";
// Main window: 600 by 640 px; the close button sits 10 px in from the right
// of the 40 px caption band, 24 px wide.
constexpr int kCloseX = 600 - 10 - 12;
constexpr int kCloseY = 20;
// The first region option of the category page, in main-window pixels.
constexpr int kFirstRegionX = 45;
constexpr int kFirstRegionY = 230;

class DesktopSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = MakeTemporaryFolder("orvane-session");
        run = root + "/run";
        fs::create_directories(run);
        fs::copy_file(ORVANE_RUN_DIR "/orvane-radio", run + "/orvane-radio");
        fs::copy(ORVANE_RUN_DIR "/skin", run + "/skin", fs::copy_options::recursive);
        fs::copy(ORVANE_RUN_DIR "/config", run + "/config", fs::copy_options::recursive);
        // The update server at a port where nothing listens.
        WriteFile(run + "/config/config.xml",
                  "<config><skin name=\"minLove\" path=\"#\"/><update server=\"http://127.0.0.1:9\"/></config>");
        runtime = root + "/runtime";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";
        // Without one, hiding to the tray only minimises.
        ASSERT_TRUE(display.TrayReady()) << "trayer did not come up";
    }

    void TearDown() override { RemoveFolder(root); }

    Environment Session(const std::optional<std::string>& busAddress) const
    {
        return {{"DISPLAY", display.Name()},
                {"QT_QPA_PLATFORM", "xcb"},
                {"ORVANE_AUDIO_SINK", "fakesink"},
                {"HOME", root},
                {"XDG_RUNTIME_DIR", runtime},
                {"XDG_CONFIG_HOME", {}},
                {"XDG_DATA_HOME", {}},
                {"XDG_CACHE_HOME", {}},
                {"DBUS_SESSION_BUS_ADDRESS", busAddress}};
    }

    // A catalogue of one region with the one station "直播" at `url`, and
    // settings that remember it; false when the catalogue tool failed.
    bool RememberOneStation(const std::string& url) const
    {
        WriteFile(root + "/catalogue.xml", "<catalogue><city name=\"R0\"><station name=\"直播\" url=\"" + url +
                                               "\" style=\"S0\"/></city><styles><style name=\"S0\"/></styles>"
                                               "</catalogue><version>9</version>");
        const TToolResult scrambled =
            RunTool({ORVANE_CATALOGUE_TOOL, "scramble", root + "/catalogue.xml", run + "/config/fmradios.dll"});
        EXPECT_EQ(scrambled.exitCode, 0) << scrambled.output;
        WriteFile(run + "/config/config.xml", "<config><skin name=\"minLove\" path=\"#\"/><station name=\"直播\" url=\"" +
                                                  url + "\"/><update server=\"http://127.0.0.1:9\"/></config>");
        return scrambled.exitCode == 0;
    }

    std::string WaitForWindow() const
    {
        std::string window;
        WaitUntil([&] { return !(window = display.VisibleWindow(kTitle)).empty(); }, 20s);
        return window;
    }

    // Hides the window with its close button (into the notification area).
    // The wait is generous for the sanitizer build on a busy machine.
    bool HideWithCloseButton(const std::string& window) const
    {
        int x = 0, y = 0, width = 0, height = 0;
        if (!display.Geometry(window, x, y, width, height))
            return false;
        if (!display.Click(x + kCloseX, y + kCloseY))
            return false;
        return WaitUntil([&] { return display.VisibleWindow(kTitle).empty(); }, 30s);
    }

    void SecondStartBringsTheFirstBack(const Environment& environment)
    {
        CChildProcess first({run + "/orvane-radio"}, environment);
        const std::string window = WaitForWindow();
        ASSERT_FALSE(window.empty()) << first.Output();
        ASSERT_TRUE(HideWithCloseButton(window)) << first.Output();
        ASSERT_TRUE(first.Running());

        CChildProcess second({run + "/orvane-radio"}, environment);
        EXPECT_EQ(second.Wait(20s), 0) << second.Output();
        EXPECT_FALSE(WaitForWindow().empty()) << "the first window came back";
        EXPECT_TRUE(first.Running());
        // Still one window of that name.
        EXPECT_EQ(display.Xdotool({"search", "--name", std::string("^") + kTitle + "$"}).output, window);
    }

    CVirtualDisplay display{CVirtualDisplay::Tray::Trayer};
    std::string root;
    std::string run;
    std::string runtime;
};

} // namespace

TEST_F(DesktopSession, SecondStartBringsTheFirstBackOverTheSessionBus)
{
    CPrivateSessionBus bus;
    ASSERT_TRUE(bus.Started());
    SecondStartBringsTheFirstBack(Session(bus.Address()));
}

TEST_F(DesktopSession, WithoutABusTheRuntimeFolderSocketGuardsTheInstance)
{
    SecondStartBringsTheFirstBack(Session(std::nullopt));
}

TEST_F(DesktopSession, MediaClientReadsAndDrivesTheRunningProgram)
{
    CPrivateSessionBus bus;
    ASSERT_TRUE(bus.Started());
    const Environment environment = Session(bus.Address());
    CChildProcess program({run + "/orvane-radio"}, environment);
    const std::string window = WaitForWindow();
    ASSERT_FALSE(window.empty()) << program.Output();

    auto playerctl = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"/usr/bin/playerctl", "--player=orvane_radio"});
        return RunTool(arguments, {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}});
    };
    ASSERT_TRUE(WaitUntil([&] { return playerctl({"status"}).output == "Stopped"; }, 10s));
    // The class the desktop entry's StartupWMClass names.
    EXPECT_NE(RunTool({"/usr/bin/xprop", "-id", window, "WM_CLASS"}, {{"DISPLAY", display.Name()}})
                  .output.find("\"orvane-radio\""),
              std::string::npos);
    EXPECT_EQ(playerctl({"metadata", "mpris:trackid"}).output, "'/org/mpris/MediaPlayer2/TrackList/NoTrack'");
    EXPECT_EQ(playerctl({"volume"}).output, "0.800000") << "the layout's volume";
    EXPECT_EQ(playerctl({"volume", "0.45"}).exitCode, 0);
    EXPECT_TRUE(WaitUntil([&] { return playerctl({"volume"}).output == "0.450000"; }, 10s));

    ASSERT_TRUE(HideWithCloseButton(window)) << program.Output();
    const TToolResult raise = RunTool({"/usr/bin/dbus-send", "--session", "--print-reply",
                                       "--dest=org.mpris.MediaPlayer2.orvane_radio", "/org/mpris/MediaPlayer2",
                                       "org.mpris.MediaPlayer2.Raise"},
                                      {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}});
    EXPECT_EQ(raise.exitCode, 0) << raise.output;
    EXPECT_FALSE(WaitForWindow().empty());

    // Quit as the tray menu's exit does; the volume was written on the way.
    const TToolResult quit = RunTool({"/usr/bin/dbus-send", "--session", "--print-reply",
                                      "--dest=org.mpris.MediaPlayer2.orvane_radio", "/org/mpris/MediaPlayer2",
                                      "org.mpris.MediaPlayer2.Quit"},
                                     {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}});
    EXPECT_EQ(quit.exitCode, 0) << quit.output;
    EXPECT_EQ(program.Wait(20s), 0) << program.Output();
    EXPECT_NE(ReadFile(run + "/config/config.xml").find("<volume value=\"45\""), std::string::npos)
        << ReadFile(run + "/config/config.xml");
    EXPECT_FALSE(fs::exists(root + "/.config/orvane-radio")) << "a writable run folder keeps its files";
}

TEST_F(DesktopSession, WithoutABusTheProgramStartsAndPlaysTheRememberedStation)
{
    orvane::test::LocalHttpServer server;
    orvane::test::AddLiveMp3Route(server, "/live.mp3", orvane::test::MakeMp3(2.0, 128));
    const std::string url = server.Url("/live.mp3");
    ASSERT_TRUE(RememberOneStation(url));

    CChildProcess program({run + "/orvane-radio"}, Session(std::nullopt));
    const std::string window = WaitForWindow();
    ASSERT_FALSE(window.empty()) << program.Output();
    int x = 0, y = 0, width = 0, height = 0;
    ASSERT_TRUE(display.Geometry(window, x, y, width, height));
    EXPECT_FALSE(server.WaitForRequests("/live.mp3", 1, 1s)) << "nothing plays by itself";

    // The region's page selects the remembered station; Space plays it.
    display.Click(x + kFirstRegionX, y + kFirstRegionY);
    EXPECT_TRUE(WaitUntil(
        [&] {
            display.Xdotool({"key", "space"});
            return server.WaitForRequests("/live.mp3", 1, 1s);
        },
        20s))
        << program.Output();
    EXPECT_TRUE(program.Running());
}

// The end of the session while a station plays from a real streaming server:
// the orderly way out, exit code 0, and the stream's connection let go.
TEST_F(DesktopSession, TerminatedWhileAStationPlaysEndsWithZero)
{
    if (!orvane::test::IcecastServer::Available())
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed";
    orvane::test::IcecastServer icecast;
    icecast.AddMount("/radio.mp3", orvane::test::MountFormat::Mp3);
    const std::string url = icecast.Url("/radio.mp3");
    ASSERT_TRUE(RememberOneStation(url));

    CChildProcess program({run + "/orvane-radio"}, Session(std::nullopt));
    const std::string window = WaitForWindow();
    ASSERT_FALSE(window.empty()) << program.Output();
    int x = 0, y = 0, width = 0, height = 0;
    ASSERT_TRUE(display.Geometry(window, x, y, width, height));
    display.Click(x + kFirstRegionX, y + kFirstRegionY);
    ASSERT_TRUE(WaitUntil(
        [&] {
            display.Xdotool({"key", "space"});
            return WaitUntil([&] { return icecast.Listeners("/radio.mp3") >= 1; }, 1s);
        },
        20s))
        << program.Output();

    ::kill(program.Pid(), SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << program.Output();
    EXPECT_TRUE(WaitUntil([&] { return icecast.Listeners("/radio.mp3") == 0; }, 10s)) << "the stream stayed open";
}

// The session bus going away is the end of the desktop session: the program
// leaves the orderly way, exit code 0.
TEST_F(DesktopSession, TheEndOfTheSessionBusEndsTheProgramWithZero)
{
    CPrivateSessionBus bus;
    ASSERT_TRUE(bus.Started());
    CChildProcess program({run + "/orvane-radio"}, Session(bus.Address()));
    ASSERT_FALSE(WaitForWindow().empty()) << program.Output();
    bus.End();
    EXPECT_EQ(program.Wait(10s), 0) << program.Output();
}
