#pragma once

// A private X desktop for whole-program tests: an Xvfb server on a display
// number the server picks itself (no clash with another display of the
// machine), a notification area (trayer) where a case needs one, the X tools
// that drive and inspect it (xdotool, xwininfo, xprop, import), and programs
// started on it.
//
// Every process is started in a process group of its own; ending one ends its
// whole group, and the destructors end everything that is still running, so a
// failed or aborted case leaves no stray server behind. Every wait is bounded.
// A watchdog ends everything a case started when the case runs too long.
//
// Plain POSIX (posix_spawn, poll); no Qt, so any test can link it.
//
// Below it, in namespace desktoptest, what the desktop stand-in's tests and
// the session cases share: child processes with an environment of their own
// (and another account, through runuser), a private session bus, and an X
// server of their own, which is a DesktopSession's.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace orvane::test {

using namespace std::chrono_literals;

// What a finished tool printed and how it ended.
struct ToolResult
{
    bool finished = false;   // false: it was ended at its time-out
    int exitCode = -1;       // valid when it exited normally
    std::string output;      // standard output
};

// How a program ended, as waitpid tells it.
struct ProgramExit
{
    bool exited = false;     // false while it runs, or when the wait timed out
    int exitCode = -1;       // for a normal exit
    int signal = 0;          // for an end by a signal (SIGSEGV is 11)

    // "exit 0", "signal 11" or "running", for failure messages.
    std::string Describe() const;
};

// A window as xwininfo reports it, in root coordinates.
struct WindowGeometry
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool viewable = false;   // mapped and all its ancestors mapped
};

// A program started on a desktop, in a process group of its own, with its
// standard output and error written to a file. Ending the object ends the
// group (SIGKILL) if the program still runs.
class DesktopProgram
{
public:
    DesktopProgram(pid_t pid, std::string logPath);
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    pid_t Pid() const { return pid; }
    bool Running();
    // Waits at most `timeout` for the program to end.
    ProgramExit WaitForExit(std::chrono::milliseconds timeout);
    // Sends the signal to the program alone (not its group).
    void Signal(int signalNumber);
    // Ends the whole group at once; the exit is then that of SIGKILL.
    void Kill();
    // Sends SIGKILL to the group and nothing more: the one call that another
    // thread (a watchdog) may make while the owner waits.
    void KillFromAnotherThread();
    // What the program wrote to its standard output and error so far.
    std::string Log() const;

private:
    const pid_t pid;
    std::string logPath;
    std::optional<ProgramExit> ended;
    std::atomic<bool> reaped{false};
};

class DesktopSession
{
public:
    struct Options
    {
        int width = 1024;
        int height = 768;
        bool notificationArea = false;   // start trayer as the notification area
        bool blackRoot = false;          // a black root window (Xvfb -br)
        bool everyLocalUser = false;     // no access control (Xvfb -ac): other accounts may connect
    };

    explicit DesktopSession(Options options);
    DesktopSession() : DesktopSession(Options{}) {}
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Whether the server (and the notification area, when asked for) is up;
    // otherwise Error() says why.
    bool Ready() const { return ready; }
    const std::string& Error() const { return error; }
    // ":N", for DISPLAY.
    const std::string& Display() const { return display; }
    int Width() const { return options.width; }
    int Height() const { return options.height; }

    // Kills the X server at once (SIGKILL), as a crash or a lost remote
    // display would end it; the programs on it lose their connection.
    void KillServer();

    // Runs an X tool on this display and waits at most `timeout` for it.
    ToolResult Run(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout = 10s) const;

    // Starts a program on this display in `workingFolder`. `environment`
    // entries ("NAME=value") replace or add to the test's own environment;
    // "NAME=" with nothing after the sign removes the variable. Null when it
    // could not be started.
    std::unique_ptr<DesktopProgram> Start(const std::string& program, const std::vector<std::string>& arguments,
                                          const std::string& workingFolder,
                                          const std::vector<std::string>& environment) const;

    // Windows whose title is exactly `title`, of the process `pid` when given
    // (0: of any process), as xdotool finds them.
    std::vector<unsigned long> FindWindows(const std::string& title, pid_t pid = 0) const;
    // Waits for one such window to be viewable; 0 when none was within the time.
    unsigned long WaitForWindow(const std::string& title, pid_t pid, std::chrono::milliseconds timeout = 30s) const;
    std::optional<WindowGeometry> Geometry(unsigned long window) const;
    // A property of the window as xprop prints it ("" when it has none).
    std::string Property(unsigned long window, const std::string& name) const;

    // The icons docked in the notification area: their windows, viewable or
    // not, as children of trayer's panel.
    std::vector<unsigned long> NotificationIcons() const;
    // Waits until the number of viewable icons in the notification area is `count`.
    bool WaitForNotificationIcons(std::size_t count, std::chrono::milliseconds timeout = 15s) const;

    // Input through the XTEST extension, as a user's mouse and keyboard.
    bool MoveMouse(int x, int y) const;
    bool Click(int x, int y, int button = 1) const;
    bool Drag(int fromX, int fromY, int toX, int toY) const;
    // Gives the window the keyboard focus (there is no window manager to do
    // it on a click).
    bool Focus(unsigned long window) const;
    // Gives the window the keyboard focus and presses the keys ("Escape",
    // "alt+F4") in it.
    bool Key(unsigned long window, const std::string& keys) const;
    // The mouse pointer, in root coordinates.
    std::optional<std::pair<int, int>> Pointer() const;

    // Polls `condition` every 50 ms for at most `timeout`.
    static bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

private:
    bool StartServer();
    bool StartNotificationArea();
    unsigned long NotificationPanel() const;

    Options options;
    bool ready = false;
    std::string error;
    std::string display;
    std::string runtimeFolder;
    std::unique_ptr<DesktopProgram> server;
    std::unique_ptr<DesktopProgram> notificationArea;
};

// Ends what a case started when the case runs longer than its limit: the
// action runs on the watchdog's own thread (typically killing the program
// under test, which makes the case's waits return and fail).
class Watchdog
{
public:
    Watchdog(std::chrono::milliseconds limit, std::function<void()> action);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    bool Fired() const;

private:
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool fired = false;
    std::thread thread;
};

// A copy of a run folder in a temporary folder of its own, removed with the
// object, so that a case may break or remove data files without harm.
class RunFolderCopy
{
public:
    explicit RunFolderCopy(const std::string& runFolder);
    ~RunFolderCopy();
    RunFolderCopy(const RunFolderCopy&) = delete;
    RunFolderCopy& operator=(const RunFolderCopy&) = delete;

    const std::string& Path() const { return path; }
    // The path of a file inside the copy ("config/config.xml").
    std::string File(const std::string& relative) const { return path + "/" + relative; }

private:
    std::string path;
};

} // namespace orvane::test

// ------------------------------------------------------------- desktoptest

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
    // Ends the daemon, as the end of a desktop session does; its clients see
    // their connection close.
    void End() { daemon.reset(); }

private:
    std::string folder;
    std::string address;
    std::optional<CChildProcess> daemon;
};

// An X server of the test's own (a DesktopSession's Xvfb, open to every
// local user), with a notification area (trayer) when asked.
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
    std::unique_ptr<orvane::test::DesktopSession> session;
    std::string name;
    bool trayReady = false;
};

// Runs `pump` until `done` holds or `timeout` passed; whether `done` held.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& pump = {});

// Qt's events of the calling thread, processed once (the GUI loop's share);
// in support/QtPump.cpp, so that this header asks no Qt of its users.
void PumpQt();

std::string MakeTemporaryFolder(const std::string& prefix);
void RemoveFolder(const std::string& folder);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

} // namespace desktoptest
