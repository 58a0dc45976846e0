#pragma once

// What the desktop tests share: child processes with an environment of
// their own and a deadline (the real executable, playerctl, dbus-daemon,
// Xvfb), a private session bus, and waiting while the caller's Qt loop runs.
// Every child is killed when its object goes, and with the test process
// should that die first.

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace desktoptest {

using namespace std::chrono_literals;

// Variables set for a child; an empty optional removes the variable.
using Environment = std::map<std::string, std::optional<std::string>>;

class CChildProcess
{
public:
    // Starts `argv` with this process's environment changed by `environment`,
    // its standard output and error going to a file. `user`, when given, is
    // the account the child runs as (through runuser).
    CChildProcess(const std::vector<std::string>& argv, const Environment& environment = {},
                  const std::string& user = {});
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool Running();
    // The exit code, or nullopt when the child still runs at the deadline (or
    // ended by a signal). `pump` runs between two looks.
    std::optional<int> Wait(std::chrono::milliseconds timeout, const std::function<void()>& pump = {});
    // SIGTERM, then SIGKILL after a grace period.
    void Stop();
    std::string Output() const;
    int Pid() const { return pid; }

private:
    int pid = -1;
    std::optional<int> exitCode;
    bool ended = false;
    std::string outputPath;
};

struct TToolResult
{
    std::optional<int> exitCode;
    std::string output; // standard output and error, trailing newline removed
};

// Runs a tool to its end (bounded by `timeout`), pumping meanwhile.
TToolResult RunTool(const std::vector<std::string>& argv, const Environment& environment = {},
                    std::chrono::milliseconds timeout = 10s, const std::function<void()>& pump = {},
                    const std::string& user = {});

// A dbus-daemon --session of the test's own, listening on a socket in a
// fresh folder (so the address is free by construction).
class CPrivateSessionBus
{
public:
    // `user`, when given, is the account the daemon runs as: a bus admits
    // only its own user.
    explicit CPrivateSessionBus(const std::string& user = {});
    ~CPrivateSessionBus();
    const std::string& Address() const { return address; }
    bool Started() const { return !address.empty(); }

private:
    std::string folder;
    std::string address;
    std::optional<CChildProcess> daemon;
};

// An X server of the test's own (Xvfb on a display it picks itself, open to
// every local user), with a notification area (trayer) when asked.
class CVirtualDisplay
{
public:
    enum class Tray { None, Trayer };
    explicit CVirtualDisplay(Tray tray = Tray::None);
    ~CVirtualDisplay();
    // ":<number>", or empty when the server did not start.
    const std::string& Name() const { return name; }
    // Whether the notification area asked for is up and waiting for icons.
    bool TrayReady() const { return trayReady; }

    // Runs xdotool with the arguments on this display; its output.
    TToolResult Xdotool(const std::vector<std::string>& arguments) const;
    // The id of the visible window whose name is `title`; empty when none.
    std::string VisibleWindow(const std::string& title) const;
    // The window's position and size on the screen; false when unknown.
    bool Geometry(const std::string& window, int& x, int& y, int& width, int& height) const;
    // A left click at a point of the screen: moves the pointer there and
    // clicks the first button in one run of xdotool, so that a slow machine
    // cannot part the move from the click; false when xdotool failed or did
    // not finish.
    bool Click(int x, int y) const;
    // The colour of a screen pixel as "r,g,b" (0..255); empty on failure.
    std::string Pixel(int x, int y) const;
    // Writes the whole screen as a PNG.
    bool Screenshot(const std::string& path) const;

private:
    std::optional<CChildProcess> server;
    std::optional<CChildProcess> trayer;
    std::string name;
    bool trayReady = false;
};

// Runs `pump` until `done` holds or `timeout` passed; whether `done` held.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& pump = {});

// Qt's events of the calling thread, processed once (the GUI loop's share).
void PumpQt();

std::string MakeTemporaryFolder(const std::string& prefix);
void RemoveFolder(const std::string& folder);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

} // namespace desktoptest
