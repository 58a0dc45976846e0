// The real player read and driven as a screen reader does: a private session
// bus, the accessibility bus of at-spi2-core on it, the player under Xvfb
// (the xcb platform, the only one that makes Qt's AT-SPI bridge), a station
// of a real Icecast server in the catalogue, and the pyatspi probe
// tests/e2e/atspi_probe.py run with Debian's Python. The probe prints the
// main window's tree and one RESULT line per finding.

#include "PlayerDesktop.h"
#include "support/IcecastServer.h"

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <set>

namespace e2e {
namespace {

constexpr char kProbe[] = ORVANE_SOURCE_DIR "/tests/e2e/atspi_probe.py";
constexpr char kBusLauncher[] = "/usr/libexec/at-spi-bus-launcher";
// Seconds the probe may take for all of its steps.
constexpr int kProbeSeconds = 70;

// The RESULT lines of the probe's output: key, then every value in order.
std::multimap<std::string, std::string> Results(const std::string& output)
{
    std::multimap<std::string, std::string> results;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("RESULT ", 0) != 0)
            continue;
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            results.emplace(line.substr(7, equals - 7), line.substr(equals + 1));
    }
    return results;
}

std::string First(const std::multimap<std::string, std::string>& results, const std::string& key)
{
    const auto found = results.find(key);
    return found == results.end() ? std::string("(none)") : found->second;
}

class CScreenReaderTest : public CPlayerWithoutTrayTest
{
};

TEST_F(CScreenReaderTest, ThroughAtSpiTheWindowReadsAndPlaysAndTakesTheVolume)
{
    if (!std::filesystem::exists(kBusLauncher) || !std::filesystem::exists("/usr/lib/python3/dist-packages/pyatspi"))
        GTEST_SKIP() << "at-spi2-core or python3-pyatspi is not installed";
    if (!IcecastServer::Available())
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed";
    IcecastServer icecast;
    icecast.AddMount("/beijing.mp3", MountFormat::Mp3);
    const std::string url = icecast.Url("/beijing.mp3");

    // A catalogue of two regions, the first with the Icecast station, and
    // an update server where nothing answers.
    WriteBytes(runFolder.File("catalogue.xml"),
               "<catalogue><city name=\"北京\"><station name=\"北京音乐台\" url=\"" + url +
                   "\" style=\"音乐\"/></city><city name=\"上海\"><station name=\"上海新闻\" "
                   "url=\"http://127.0.0.1:9/sh\" style=\"新闻\"/></city><styles><style name=\"音乐\"/>"
                   "<style name=\"新闻\"/></styles></catalogue><version>9</version>");
    const ToolResult scrambled = session.Run({ORVANE_CATALOGUE_TOOL, "scramble", runFolder.File("catalogue.xml"),
                                              runFolder.File("config/fmradios.dll")});
    ASSERT_EQ(scrambled.exitCode, 0) << scrambled.output;
    WriteBytes(runFolder.File("config/config.xml"),
               "<config><skin name=\"minLove\" path=\"#\"/><update server=\"http://127.0.0.1:" +
                   std::to_string(refusingPort.Port()) + "\"/></config>");

    // The session bus, then the accessibility bus, before the player starts:
    // Qt reads the accessibility status once, at start.
    desktoptest::CPrivateSessionBus bus;
    ASSERT_TRUE(bus.Started());
    const std::vector<std::string> busEnvironment = {
        "DBUS_SESSION_BUS_ADDRESS=" + bus.Address(), "XDG_RUNTIME_DIR=" + runFolder.File("runtime"),
        "HOME=" + runFolder.File("home"), "GSETTINGS_BACKEND=memory"};
    const auto launcher =
        session.Start(kBusLauncher, {"--launch-immediately", "--a11y=1"}, runFolder.Path(), busEnvironment);
    ASSERT_NE(launcher, nullptr);
    const auto waited = session.Start("/usr/bin/gdbus", {"wait", "--session", "--timeout", "10", "org.a11y.Bus"},
                                      runFolder.Path(), busEnvironment);
    ASSERT_NE(waited, nullptr);
    ASSERT_EQ(waited->WaitForExit(15s).exitCode, 0) << waited->Log() << launcher->Log();

    std::vector<std::string> playerEnvironment = busEnvironment;
    playerEnvironment.push_back("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1");
    ASSERT_TRUE(StartPlayer(playerEnvironment)) << player->Log();

    const auto probe = session.Start("/usr/bin/python3", {kProbe, "orvane-radio", std::to_string(kProbeSeconds)},
                                     runFolder.Path(), busEnvironment);
    ASSERT_NE(probe, nullptr);
    DesktopProgram* probing = probe.get();
    Watchdog probeWatchdog(std::chrono::seconds(kProbeSeconds + 20), [probing] { probing->KillFromAnotherThread(); });
    const ProgramExit probeExit = probe->WaitForExit(std::chrono::seconds(kProbeSeconds + 30));
    const std::string output = probe->Log();
    // The tree as a screen reader reads it, for whoever reads this run.
    std::cout << output << std::endl;
    EXPECT_TRUE(probeExit.exited && probeExit.exitCode == 0) << probeExit.Describe() << "\n" << player->Log();

    const auto results = Results(output);
    EXPECT_EQ(results.count("timeout"), 0u) << First(results, "timeout");
    // The category page lists its headings, the regions and the styles.
    const std::string page = First(results, "category_page");
    for (const char* name : {"地区电台", "北京", "上海", "精选频道", "音乐", "新闻"})
        EXPECT_NE(page.find(name), std::string::npos) << name << " missing from " << page;
    EXPECT_LT(page.find("北京"), page.find("上海"));
    std::set<std::string> buttons;
    for (auto [it, end] = results.equal_range("button"); it != end; ++it)
        buttons.insert(it->second);
    for (const char* name : {"关闭", "换肤", "上一台", "播放", "下一台"})
        EXPECT_EQ(buttons.count(name), 1u) << name;
    EXPECT_EQ(First(results, "slider"), "True");

    // 北京 pressed by its action opens its page; its station plays.
    EXPECT_EQ(First(results, "beijing_checked"), "True");
    EXPECT_EQ(First(results, "station"), "北京音乐台");
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return icecast.Listeners("/beijing.mp3") >= 1; }, 20s))
        << "the station pressed through AT-SPI did not play\n" << player->Log();
    // The status line is read out, by name and as text, and follows the player.
    EXPECT_NE(First(results, "status_name"), "(none)");
    EXPECT_EQ(First(results, "status_playing").rfind("播放中", 0), 0u) << First(results, "status_playing");
    EXPECT_FALSE(First(results, "status_text").empty());

    // The volume set through the value interface is the slider's and is kept.
    EXPECT_EQ(First(results, "volume"), "33");
    EXPECT_TRUE(DesktopSession::WaitUntil(
        [&] { return ReadBytes(runFolder.File("config/config.xml")).find("<volume value=\"33\"") != std::string::npos; },
        10s))
        << ReadBytes(runFolder.File("config/config.xml"));

    // The focus action moves the window's focus to the slider.
    EXPECT_EQ(First(results, "slider_focused"), "True");
    // A rebuilt page: the other region's station, and nothing left of the old one.
    const std::string second = First(results, "second_page");
    EXPECT_NE(second.find("上海新闻"), std::string::npos) << second;
    EXPECT_EQ(second.find("北京音乐台"), std::string::npos) << second;
    const std::string old = First(results, "old_station");
    EXPECT_TRUE(old.rfind("refused", 0) == 0 || old.find("defunct") != std::string::npos) << old;

    // What the reader heard: the region checked, the volume's value, the
    // status line's name, the focus.
    bool checked = false, value = false, named = false, focused = false;
    for (auto [it, end] = results.equal_range("event"); it != end; ++it) {
        checked |= it->second.find("object:state-changed:checked 北京") == 0;
        value |= it->second.find("object:property-change:accessible-value 音量") == 0;
        named |= it->second.find("object:property-change:accessible-name") == 0 &&
                 it->second.find("播放中") != std::string::npos;
        focused |= it->second.find("object:state-changed:focused 音量") == 0 || it->second.find("focus: 音量") == 0;
    }
    EXPECT_TRUE(checked);
    EXPECT_TRUE(value);
    EXPECT_TRUE(named);
    EXPECT_TRUE(focused);
    EXPECT_TRUE(player->Running());
}

} // namespace
} // namespace e2e
