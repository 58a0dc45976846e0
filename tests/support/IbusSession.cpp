#include "support/IbusSession.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <stdlib.h>
#include <unistd.h>

namespace orvane::test {

namespace {

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

} // namespace

IbusSession::IbusSession(const DesktopSession& desktop, Options options)
    : desktop(desktop)
    , options(std::move(options))
{
    if (!desktop.Ready()) {
        error = "the X server is not up: " + desktop.Error();
        return;
    }
    ready = Start();
    if (!ready)
        Stop();
}

IbusSession::~IbusSession()
{
    Stop();
}

bool IbusSession::EnsureMachineId(std::string& why)
{
    std::ifstream existing("/etc/machine-id");
    std::string id;
    if (existing >> id && id.size() == 32)
        return true;
    // Containers often come without one; dbus makes a valid id.
    const int made = std::system("dbus-uuidgen --ensure=/etc/machine-id >/dev/null 2>&1");
    std::ifstream again("/etc/machine-id");
    if (made == 0 && again >> id && id.size() == 32)
        return true;
    why = "/etc/machine-id is missing and could not be made (IBus names its address file after it)";
    return false;
}

std::vector<std::string> IbusSession::Environment() const
{
    return {"QT_IM_MODULE=ibus",
            "HOME=" + home,
            "XDG_CONFIG_HOME=" + home + "/.config",
            "XDG_CACHE_HOME=" + home + "/.cache",
            "XDG_DATA_HOME=" + home + "/.local/share",
            "DISPLAY=" + desktop.Display(),
            "DBUS_SESSION_BUS_ADDRESS=" + busAddress,
            // No dconf service on the private bus: settings live in memory.
            "GSETTINGS_BACKEND=memory",
            // A stale address of the machine's own IBus must not be followed
            // (an entry with nothing after "=" removes the variable).
            "IBUS_ADDRESS=",
            "IBUS_ADDRESS_FILE=",
            "XMODIFIERS=@im=ibus"};
}

ToolResult IbusSession::Ibus(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout) const
{
    // env(1) gives the tool the session's environment; a "NAME=" entry
    // means the variable is removed. Its options must come before the first
    // assignment.
    std::vector<std::string> command{"env"};
    std::vector<std::string> assignments;
    for (const std::string& entry : Environment()) {
        if (entry.back() == '=') {
            command.push_back("-u");
            command.push_back(entry.substr(0, entry.size() - 1));
        } else {
            assignments.push_back(entry);
        }
    }
    command.insert(command.end(), assignments.begin(), assignments.end());
    // Its complaints (on stderr) are part of the answer.
    command.insert(command.end(), {"sh", "-c", "exec ibus \"$@\" 2>&1", "ibus"});
    command.insert(command.end(), arguments.begin(), arguments.end());
    return desktop.Run(command, timeout);
}

std::string IbusSession::CurrentEngine() const
{
    // Its exit code is no guide (ibus answers 1 after a success now and
    // then); it prints the engine's name, and complaints go to stderr.
    const ToolResult result = Ibus({"engine"});
    return result.finished ? Trimmed(result.output) : std::string();
}

bool IbusSession::Start()
{
    if (!EnsureMachineId(error))
        return false;
    char pattern[] = "/tmp/orvane-ibus-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        error = "no temporary folder";
        return false;
    }
    home = pattern;
    for (const char* folder : {"/.config", "/.cache", "/.local/share"})
        std::filesystem::create_directories(home + folder);

    // A session bus of our own, at a socket whose address we know up front.
    const std::string socket = home + "/session-bus";
    busAddress = "unix:path=" + socket;
    bus = desktop.Start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--address=" + busAddress}, home,
                        Environment());
    if (bus == nullptr) {
        error = "dbus-daemon could not be started (is it installed?)";
        return false;
    }
    if (!DesktopSession::WaitUntil([&] { return std::filesystem::exists(socket) || !bus->Running(); },
                                   options.startTimeout) ||
        !bus->Running()) {
        error = "the session bus did not come up: " + bus->Log();
        return false;
    }

    // In the foreground, so that it stays in its process group with the
    // engines it starts, and ending the group ends them all.
    daemon = desktop.Start("ibus-daemon", {"--replace", "--panel=disable", "--xim"}, home, Environment());
    if (daemon == nullptr) {
        error = "ibus-daemon could not be started (is ibus installed?)";
        return false;
    }
    DesktopProgram* daemonProgram = daemon.get();
    DesktopProgram* busProgram = bus.get();
    watchdog = std::make_unique<Watchdog>(options.watchdog, [daemonProgram, busProgram] {
        daemonProgram->KillFromAnotherThread();
        busProgram->KillFromAnotherThread();
    });

    // Until the daemon answers, choosing the engine fails; `ibus engine
    // NAME` may answer failure even when it took, so what counts is the
    // engine the daemon names afterwards.
    std::string lastAnswer;
    const bool chosen = DesktopSession::WaitUntil(
        [&] {
            if (!daemon->Running())
                return true;
            lastAnswer = Ibus({"engine", options.engine}).output;
            return CurrentEngine() == options.engine;
        },
        options.startTimeout);
    if (!chosen || !daemon->Running()) {
        error = "ibus-daemon did not take the engine " + options.engine + " (is ibus-" + options.engine +
                " installed?); the daemon: " + daemon->WaitForExit(std::chrono::milliseconds(0)).Describe() + ": " +
                lastAnswer + daemon->Log();
        return false;
    }
    // Qt's IBus plugin finds the daemon through this file.
    const std::string busFiles = home + "/.config/ibus/bus";
    if (!DesktopSession::WaitUntil(
            [&] { return std::filesystem::exists(busFiles) && !std::filesystem::is_empty(busFiles); },
            options.startTimeout)) {
        error = "ibus-daemon wrote no address file in " + busFiles;
        return false;
    }
    return true;
}

void IbusSession::Stop()
{
    // The watchdog holds pointers to the daemons: it goes first.
    watchdog.reset();
    if (daemon != nullptr) {
        daemon->Kill();
        daemon.reset();
    }
    if (bus != nullptr) {
        bus->Kill();
        bus.reset();
    }
    if (!home.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
        home.clear();
    }
    ready = false;
}

} // namespace orvane::test
