#pragma once

// The whole player with the user's own stations: started as the e2e cases
// start it, but with 127.0.0.1 reached directly (the Icecast fixture), and
// later starts of the same program forwarding files and addresses to it.

#include "catalogue/MyStations.h"
#include "e2e/PlayerDesktop.h"

#include <tinyxml.h>

namespace e2e {

class CMyStationsDesktopTest : public CPlayerWithoutTrayTest
{
protected:
    std::vector<std::string> Environment() const
    {
        const std::string proxy = "http://127.0.0.1:" + std::to_string(refusingPort.Port());
        const std::string home = runFolder.File("home");
        return {"QT_QPA_PLATFORM=xcb", "http_proxy=" + proxy, "https_proxy=" + proxy, "HTTP_PROXY=" + proxy,
                "HTTPS_PROXY=" + proxy, "ALL_PROXY=", "all_proxy=", "no_proxy=127.0.0.1,localhost",
                "NO_PROXY=127.0.0.1,localhost", "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                "XDG_DATA_HOME=" + home + "/.local/share", "XDG_CACHE_HOME=" + home + "/.cache",
                "XDG_RUNTIME_DIR=" + runFolder.File("runtime"),
                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + runFolder.File("runtime") + "/no-bus", "SESSION_MANAGER="};
    }

    // The player, with a watchdog of `limit`; false when no window showed.
    bool StartOwnPlayer(std::chrono::milliseconds limit = kCaseLimit)
    {
        watchdog.reset();
        player = session.Start(runFolder.File("orvane-radio"), {}, runFolder.Path(), Environment());
        if (player == nullptr)
            return false;
        DesktopProgram* started = player.get();
        watchdog = std::make_unique<Watchdog>(limit, [started] { started->KillFromAnotherThread(); });
        mainWindow = session.WaitForWindow(kMainTitle, player->Pid());
        return mainWindow != 0;
    }

    // A later start of the program with these arguments, from the run folder.
    std::unique_ptr<DesktopProgram> StartForwarder(const std::vector<std::string>& arguments) const
    {
        return session.Start(runFolder.File("orvane-radio"), arguments, runFolder.Path(), Environment());
    }

    std::string MyStationsPath() const { return runFolder.File("config/mystations.xml"); }

    // The list in the file; false when the file is missing or not a list.
    bool ReadMyStations(std::vector<TMyStation>* stations) const
    {
        return std::filesystem::exists(MyStationsPath()) && ParseMyStations(ReadBytes(MyStationsPath()), stations);
    }

    // Whether the settings file is whole: it parses and has its skin element.
    bool SettingsWhole() const
    {
        TiXmlDocument settings;
        const std::string bytes = ReadBytes(runFolder.File("config/config.xml"));
        settings.Parse(bytes.c_str());
        return !settings.Error() && settings.RootElement() != nullptr &&
               settings.RootElement()->FirstChildElement("skin") != nullptr;
    }
};

} // namespace e2e
