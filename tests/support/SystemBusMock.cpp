#include "support/SystemBusMock.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::test {

namespace {

// Milliseconds the imitations get to put their names on the bus.
constexpr auto kStartTimeout = std::chrono::milliseconds(15000);
// Milliseconds an ended process gets before it is killed.
constexpr auto kEndTimeout = std::chrono::milliseconds(2000);

const char* const kPython = "/usr/bin/python3";

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char ch : text)
        quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return quoted + "'";
}

} // namespace

bool SystemBusMock::Available()
{
    return std::system("command -v dbus-daemon >/dev/null 2>&1 && command -v gdbus >/dev/null 2>&1 && "
                       "/usr/bin/python3 -c 'import dbusmock' >/dev/null 2>&1") == 0;
}

SystemBusMock::SystemBusMock()
{
    char pattern[] = "/tmp/orvane-sysbus-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        throw std::runtime_error("no temporary folder for the system bus");
    folder = pattern;
    const std::string socket = folder + "/system_bus_socket";
    address = "unix:path=" + socket;
    std::ofstream(folder + "/system.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n  <type>system</type>\n  <listen>unix:path=" << socket << "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n    <allow eavesdrop=\"true\"/>\n"
           "  </policy>\n</busconfig>\n";
    processes.push_back(Spawn({"dbus-daemon", "--nofork", "--config-file=" + folder + "/system.conf"}));
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (!std::filesystem::exists(socket) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    processes.push_back(Spawn({kPython, "-m", "dbusmock", "--system", "--template", "networkmanager"}));
    processes.push_back(Spawn({kPython, "-m", "dbusmock", "--system", "--template", "logind"}));
    if (!WaitForName("org.freedesktop.NetworkManager") || !WaitForName("org.freedesktop.login1")) {
        Stop();
        throw std::runtime_error("the system bus imitations did not come up");
    }
}

SystemBusMock::~SystemBusMock()
{
    Stop();
}

void SystemBusMock::Stop()
{
    // The imitations first, the bus last.
    for (auto it = processes.rbegin(); it != processes.rend(); ++it) {
        if (*it <= 0)
            continue;
        ::kill(-*it, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kEndTimeout;
        while (::waitpid(*it, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(-*it, SIGKILL);
                ::waitpid(*it, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        *it = -1;
    }
    processes.clear();
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        folder.clear();
    }
}

pid_t SystemBusMock::Spawn(const std::vector<std::string>& arguments) const
{
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        std::freopen("/dev/null", "w", stdout);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::setpgid(child, child);
    return child;
}

bool SystemBusMock::Gdbus(const std::string& arguments, std::string* output) const
{
    const std::string command =
        "DBUS_SYSTEM_BUS_ADDRESS=" + Quoted(address) + " timeout 10 gdbus call --system " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        text += buffer;
    const int status = ::pclose(pipe);
    if (output != nullptr)
        *output = text;
    return status == 0;
}

bool SystemBusMock::WaitForName(const std::string& name) const
{
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::string answer;
        if (Gdbus("--dest org.freedesktop.DBus --object-path /org/freedesktop/DBus "
                  "--method org.freedesktop.DBus.NameHasOwner " + name,
                  &answer) &&
            answer.find("true") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool SystemBusMock::SetOnline(bool online) const
{
    // NetworkManager's own PropertiesChanged signal (the imitation's
    // method), and the standard one of its properties interface.
    const std::string state = online ? "70" : "20";
    const bool own = Gdbus("--dest org.freedesktop.NetworkManager --object-path /org/freedesktop/NetworkManager "
                           "--method org.freedesktop.DBus.Mock.SetGlobalConnectionState " + state);
    const bool standard = Gdbus("--dest org.freedesktop.NetworkManager --object-path /org/freedesktop/NetworkManager "
                                "--method org.freedesktop.DBus.Properties.Set org.freedesktop.NetworkManager State "
                                "'<uint32 " + state + ">'");
    return own && standard;
}

bool SystemBusMock::PrepareForSleep(bool sleeping) const
{
    return Gdbus(std::string("--dest org.freedesktop.login1 --object-path /org/freedesktop/login1 "
                             "--method org.freedesktop.DBus.Mock.EmitSignal org.freedesktop.login1.Manager "
                             "PrepareForSleep b ") +
                 (sleeping ? "'[<true>]'" : "'[<false>]'"));
}

} // namespace orvane::test
