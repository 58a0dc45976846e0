#pragma once

// The whole player on a private X desktop: a copy of the build's run folder
// per case (so data files can be broken or removed without harm), the real
// `orvane-radio` started from it under Xvfb, with trayer as the notification
// area where the case asks for one, and the points of the shipped layouts
// that a user clicks. A watchdog ends the player when a case runs too long.
//
// Nothing the player does reaches beyond 127.0.0.1: its downloads go through
// a proxy address on 127.0.0.1 where nothing answers, it has a home and
// runtime folder of its own, and its D-Bus session address leads nowhere.

#include "catalogue/XorScramble.h"
#include "support/DesktopSession.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace e2e {

using namespace orvane::test;
using namespace std::chrono_literals;

// Title of the main window.
inline const char kMainTitle[] = "Orvane网络收音机";

// The shipped layouts' sizes (Window size="…") and the centres of what a
// user clicks, in window coordinates; the layouts are built from these.
struct TLayoutPoint
{
    int x;
    int y;
};
// Corvela.xml: 600 by 640, caption band 40 px high.
constexpr int kMainWidth = 600;
constexpr int kMainHeight = 640;
// The close button: the 24-px column 10 px in from the right edge, 8 px
// below the top; the skin button the same column 6 px further left.
constexpr TLayoutPoint kMainCloseButton{kMainWidth - 10 - 12, 20};
constexpr TLayoutPoint kMainSkinButton{kMainWidth - 10 - 24 - 6 - 12, 20};
// A point of the caption band over the title label, which drags the window.
constexpr TLayoutPoint kMainCaptionLabel{kMainWidth / 2, 20};
// The pages start 182 px down, 20 px in; their rows are 30 px high: the
// category page's first region (no own stations) or my stations' entry, and
// the first option of a station page (rows with a second line keep it there).
constexpr TLayoutPoint kFirstRegionAlone{45, 229};
constexpr TLayoutPoint kMyStationsEntry{90, 229};
constexpr TLayoutPoint kFirstStation{111, 229};
// menustation.xml: 160 wide, 32-px entries inside a 4-px inset; the menu
// opens with its top-left corner at the pointer.
constexpr int kStationMenuWidth = 160;
constexpr int MenuHeight(int entries) { return 8 + 32 * entries; }
constexpr TLayoutPoint MenuEntry(int index) { return {kStationMenuWidth / 2, 4 + 32 * index + 16}; }
// menutray.xml: 136 by 72, two entries of 32 px inside a 4-px inset.
constexpr int kMenuWidth = 136;
constexpr int kMenuHeight = 72;
constexpr TLayoutPoint kMenuAbout{kMenuWidth / 2, 4 + 16};
constexpr TLayoutPoint kMenuExit{kMenuWidth / 2, 4 + 32 + 16};
// aboutDlg.xml: 360 by 220; its close button 8 px in from the right edge.
constexpr int kAboutWidth = 360;
constexpr int kAboutHeight = 262;
constexpr TLayoutPoint kAboutCloseButton{kAboutWidth - 8 - 12, 18};
// skinDlg.xml: 360 by 200; the three pictures are 96 by 120 with 16 px
// between them, 20 px in from the left and 16 px below the 36-px caption.
constexpr int kSkinWidth = 360;
constexpr int kSkinHeight = 200;
constexpr TLayoutPoint kSkinBluePicture{20 + 96 + 16 + 48, 36 + 16 + 60};
constexpr TLayoutPoint kSkinCloseButton{kSkinWidth - 8 - 12, 18};

// Seconds a whole case may take before the watchdog ends the player.
constexpr auto kCaseLimit = 90s;
// How long the player gets to end after it was told to.
constexpr auto kExitWait = 30s;

inline std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream input(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << input.rdbuf();
    return bytes.str();
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream output(path, std::ios::binary | std::ios::trunc);
    output << bytes;
}

// A port on 127.0.0.1 that is bound but never listens: a connection there is
// refused at once, for as long as the object lives.
class CRefusingPort
{
public:
    CRefusingPort()
    {
        socketFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socketFd >= 0 && ::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(socketFd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~CRefusingPort()
    {
        if (socketFd >= 0)
            ::close(socketFd);
    }
    CRefusingPort(const CRefusingPort&) = delete;
    CRefusingPort& operator=(const CRefusingPort&) = delete;

    int Port() const { return port; }

private:
    int socketFd = -1;
    int port = 0;
};

class CPlayerDesktopTest : public ::testing::Test
{
protected:
    // Cases that need a notification area say so before SetUp runs.
    explicit CPlayerDesktopTest(bool withNotificationArea = true)
        : session(DesktopSession::Options{1024, 768, withNotificationArea})
        , runFolder(ORVANE_RUN_DIR)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(session.Ready()) << session.Error();
        ASSERT_FALSE(runFolder.Path().empty());
        ASSERT_TRUE(std::filesystem::exists(runFolder.File("orvane-radio")));
        ASSERT_NE(refusingPort.Port(), 0);
        // The settings as shipped, whatever a run of the build folder left.
        std::filesystem::copy_file(std::string(ORVANE_SOURCE_DIR) + "/config/config.xml",
                                   runFolder.File("config/config.xml"),
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::create_directories(runFolder.File("home"));
        std::filesystem::create_directories(runFolder.File("runtime"));
        std::filesystem::permissions(runFolder.File("runtime"), std::filesystem::perms::owner_all);
    }

    void TearDown() override
    {
        watchdog.reset();
        if (player != nullptr)
            player->Kill();
        player.reset();
    }

    // The player of the run folder copy started on `desktop`, with the
    // environment that keeps it on 127.0.0.1 and in folders of its own: every
    // address but the loopback goes to a proxy that refuses.
    // `extra` entries are added last and win over those above.
    std::unique_ptr<DesktopProgram> StartPlayerOn(const DesktopSession& desktop, const std::string& executable = "",
                                                  const std::vector<std::string>& extra = {}) const
    {
        const std::string proxy = "http://127.0.0.1:" + std::to_string(refusingPort.Port());
        const std::string home = runFolder.File("home");
        std::vector<std::string> environment = {
            "QT_QPA_PLATFORM=xcb", "http_proxy=" + proxy, "https_proxy=" + proxy, "HTTP_PROXY=" + proxy,
            "HTTPS_PROXY=" + proxy, "ALL_PROXY=", "all_proxy=", "no_proxy=127.0.0.1,localhost",
            "NO_PROXY=127.0.0.1,localhost", "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
            "XDG_DATA_HOME=" + home + "/.local/share", "XDG_CACHE_HOME=" + home + "/.cache",
            "XDG_RUNTIME_DIR=" + runFolder.File("runtime"),
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + runFolder.File("runtime") + "/no-bus", "SESSION_MANAGER="};
        environment.insert(environment.end(), extra.begin(), extra.end());
        return desktop.Start(executable.empty() ? runFolder.File("orvane-radio") : executable, {}, runFolder.Path(),
                             environment);
    }

    // Starts the player from the run folder copy and waits for its main
    // window; false when it never showed.
    bool StartPlayer(const std::vector<std::string>& extraEnvironment = {})
    {
        player = StartPlayerOn(session, "", extraEnvironment);
        if (player == nullptr)
            return false;
        DesktopProgram* started = player.get();
        watchdog = std::make_unique<Watchdog>(kCaseLimit, [started] { started->KillFromAnotherThread(); });
        mainWindow = session.WaitForWindow(kMainTitle, player->Pid());
        return mainWindow != 0;
    }

    // The player's windows that are viewable now, other than the main window
    // and the notification-area icon, of the given size.
    std::vector<unsigned long> PlayerWindowsOfSize(int width, int height) const
    {
        std::vector<unsigned long> found;
        const ToolResult result =
            session.Run({"xdotool", "search", "--all", "--onlyvisible", "--pid", std::to_string(player->Pid()),
                         "--name", ""});
        std::istringstream input(result.output);
        unsigned long window = 0;
        while (input >> window) {
            const auto geometry = session.Geometry(window);
            if (window != mainWindow && geometry && geometry->viewable && geometry->width == width &&
                geometry->height == height)
                found.push_back(window);
        }
        return found;
    }

    // Waits for exactly `count` such windows; the first of them, or 0.
    unsigned long WaitForPlayerWindows(int width, int height, std::size_t count = 1)
    {
        unsigned long first = 0;
        DesktopSession::WaitUntil(
            [&] {
                const auto windows = PlayerWindowsOfSize(width, height);
                first = windows.size() == count && count > 0 ? windows.front() : 0;
                return windows.size() == count;
            },
            10s);
        return first;
    }

    // Clicks a point of a window given in the window's own coordinates.
    bool ClickIn(unsigned long window, TLayoutPoint point, int button = 1)
    {
        const auto geometry = session.Geometry(window);
        return geometry && session.Click(geometry->x + point.x, geometry->y + point.y, button);
    }

    // The run folder's catalogue, scrambled as the program stores it.
    void WriteCatalogue(std::string xml) const
    {
        auto* data = reinterpret_cast<unsigned char*>(xml.data());
        XorScramble(data, static_cast<std::int32_t>(xml.size()), data, kFileKey);
        WriteBytes(runFolder.File("config/fmradios.dll"), xml);
    }

    // Double-clicks a point of a window given in the window's own coordinates.
    bool DoubleClickIn(unsigned long window, TLayoutPoint point)
    {
        const auto geometry = session.Geometry(window);
        if (!geometry)
            return false;
        const ToolResult result = session.Run({"xdotool", "mousemove", std::to_string(geometry->x + point.x),
                                               std::to_string(geometry->y + point.y), "sleep", "0.1", "click",
                                               "--repeat", "2", "--delay", "80", "1"});
        return result.finished && result.exitCode == 0;
    }

    // The centre of the player's icon in the notification area.
    std::optional<std::pair<int, int>> IconCentre() const
    {
        const auto icons = session.NotificationIcons();
        if (icons.size() != 1)
            return std::nullopt;
        const auto geometry = session.Geometry(icons.front());
        if (!geometry || !geometry->viewable)
            return std::nullopt;
        return std::make_pair(geometry->x + geometry->width / 2, geometry->y + geometry->height / 2);
    }

    // Right-clicks the icon and waits for the menu; its window, or 0.
    unsigned long OpenTrayMenu()
    {
        const auto icon = IconCentre();
        if (!icon || !session.Click(icon->first, icon->second, 3))
            return 0;
        return WaitForPlayerWindows(kMenuWidth, kMenuHeight);
    }

    // Waits for the player to end; its exit.
    ProgramExit WaitForExit() { return player->WaitForExit(kExitWait); }

    DesktopSession session;
    RunFolderCopy runFolder;
    CRefusingPort refusingPort;
    std::unique_ptr<DesktopProgram> player;
    std::unique_ptr<Watchdog> watchdog;
    unsigned long mainWindow = 0;
};

// Cases that need no notification area (a hidden window then only minimises).
class CPlayerWithoutTrayTest : public CPlayerDesktopTest
{
protected:
    CPlayerWithoutTrayTest()
        : CPlayerDesktopTest(false)
    {
    }
};

} // namespace e2e
