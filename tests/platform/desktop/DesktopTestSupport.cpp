#include "platform/desktop/DesktopTestSupport.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace desktoptest {

namespace {

std::vector<std::string> MergedEnvironment(const Environment& changes)
{
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : changes) {
        if (value)
            merged[name] = *value;
        else
            merged.erase(name);
    }
    std::vector<std::string> result;
    for (const auto& [name, value] : merged)
        result.push_back(name + "=" + value);
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

CChildProcess::CChildProcess(const std::vector<std::string>& argv, const Environment& environment,
                             const std::string& user)
{
    static int counter = 0;
    outputPath = (std::filesystem::temp_directory_path() /
                  ("orvane-child-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".log"))
                     .string();
    std::vector<std::string> arguments;
    std::vector<std::string> variables = MergedEnvironment(environment);
    if (!user.empty()) {
        // runuser keeps the environment it is given apart from the account's
        // own names; the variables go through env(1) so they reach the child.
        arguments = {"/usr/sbin/runuser", "-u", user, "--", "/usr/bin/env", "-i"};
        arguments.insert(arguments.end(), variables.begin(), variables.end());
    }
    arguments.insert(arguments.end(), argv.begin(), argv.end());
    std::vector<char*> argumentPointers = Pointers(arguments);
    std::vector<char*> variablePointers = Pointers(variables);

    const pid_t parent = ::getpid();
    pid = ::fork();
    if (pid == 0) {
        // The watchdog of last resort: the child goes with the test.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::setpgid(0, 0);
        const int output = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (output >= 0) {
            ::dup2(output, STDOUT_FILENO);
            ::dup2(output, STDERR_FILENO);
            ::close(output);
        }
        const int nothing = ::open("/dev/null", O_RDONLY);
        if (nothing >= 0)
            ::dup2(nothing, STDIN_FILENO);
        ::execve(argumentPointers[0], argumentPointers.data(), variablePointers.data());
        ::execvpe(argumentPointers[0], argumentPointers.data(), variablePointers.data());
        ::_exit(127);
    }
}

CChildProcess::~CChildProcess()
{
    Stop();
    std::remove(outputPath.c_str());
}

bool CChildProcess::Running()
{
    if (ended || pid <= 0)
        return false;
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
        ended = true;
        if (WIFEXITED(status))
            exitCode = WEXITSTATUS(status);
        return false;
    }
    return done == 0;
}

std::optional<int> CChildProcess::Wait(std::chrono::milliseconds timeout, const std::function<void()>& pump)
{
    WaitUntil([this] { return !Running(); }, timeout, pump);
    return ended ? exitCode : std::nullopt;
}

void CChildProcess::Stop()
{
    if (!Running())
        return;
    ::kill(-pid, SIGTERM);
    ::kill(pid, SIGTERM);
    if (Wait(3s))
        return;
    if (!ended) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ended = true;
    }
}

std::string CChildProcess::Output() const
{
    return ReadFile(outputPath);
}

TToolResult RunTool(const std::vector<std::string>& argv, const Environment& environment,
                    std::chrono::milliseconds timeout, const std::function<void()>& pump, const std::string& user)
{
    CChildProcess tool(argv, environment, user);
    TToolResult result;
    result.exitCode = tool.Wait(timeout, pump);
    tool.Stop();
    result.output = tool.Output();
    while (!result.output.empty() && result.output.back() == '\n')
        result.output.pop_back();
    return result;
}

CPrivateSessionBus::CPrivateSessionBus(const std::string& user)
{
    folder = MakeTemporaryFolder("orvane-bus");
    if (!user.empty())
        std::filesystem::permissions(folder, std::filesystem::perms::all);
    const std::string socket = folder + "/bus";
    daemon.emplace(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile",
                                            "--nosyslog", "--address=unix:path=" + socket},
                   Environment{}, user);
    if (WaitUntil([&] { return std::filesystem::exists(socket); }, 10s))
        address = "unix:path=" + socket;
}

CPrivateSessionBus::~CPrivateSessionBus()
{
    daemon.reset();
    RemoveFolder(folder);
}

CVirtualDisplay::CVirtualDisplay(Tray tray)
{
    // Xvfb picks a free display itself and writes its number to the
    // descriptor given, here its standard output. -noreset: by default the
    // server starts over whenever its last client leaves, and drops whoever
    // is connecting at that moment; between two runs of xdotool that was
    // trayer or the program under test.
    server.emplace(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-ac", "-nolisten", "tcp",
                                            "-noreset", "-screen", "0", "1024x768x24"});
    // Its warnings share the file: the number is the line of digits alone.
    std::string number;
    WaitUntil(
        [&] {
            std::istringstream lines(server->Output());
            for (std::string line; std::getline(lines, line);) {
                if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
                    number = line;
                    return true;
                }
            }
            return !server->Running();
        },
        20s);
    if (number.empty())
        return;
    name = ":" + number;
    if (tray == Tray::Trayer) {
        trayer.emplace(std::vector<std::string>{"/usr/bin/trayer", "--edge", "top", "--align", "right",
                                                "--widthtype", "request", "--height", "24"},
                       Environment{{"DISPLAY", name}});
        trayReady = WaitUntil([&] { return Xdotool({"search", "--name", "panel"}).exitCode == 0; }, 10s);
    }
}

CVirtualDisplay::~CVirtualDisplay()
{
    trayer.reset();
    server.reset();
}

TToolResult CVirtualDisplay::Xdotool(const std::vector<std::string>& arguments) const
{
    std::vector<std::string> argv{"/usr/bin/xdotool"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunTool(argv, {{"DISPLAY", name}}, 10s);
}

std::string CVirtualDisplay::VisibleWindow(const std::string& title) const
{
    const TToolResult found = Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"});
    if (found.exitCode != 0)
        return {};
    return found.output.substr(0, found.output.find('\n'));
}

bool CVirtualDisplay::Geometry(const std::string& window, int& x, int& y, int& width, int& height) const
{
    const TToolResult geometry = Xdotool({"getwindowgeometry", "--shell", window});
    if (geometry.exitCode != 0)
        return false;
    std::map<std::string, int> values;
    std::istringstream lines(geometry.output);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos && line.find_first_not_of("0123456789-", equals + 1) == std::string::npos)
            values[line.substr(0, equals)] = std::stoi(line.substr(equals + 1));
    }
    if (values.count("X") == 0 || values.count("WIDTH") == 0)
        return false;
    x = values["X"];
    y = values["Y"];
    width = values["WIDTH"];
    height = values["HEIGHT"];
    return true;
}

// "mousemove --sync" waits until the pointer has moved, which never happens
// when it is there already; a short pause lets the program see the pointer
// arrive before the button instead.
bool CVirtualDisplay::Click(int x, int y) const
{
    const TToolResult result =
        Xdotool({"mousemove", std::to_string(x), std::to_string(y), "sleep", "0.1", "click", "1"});
    return result.exitCode == 0;
}

std::string CVirtualDisplay::Pixel(int x, int y) const
{
    const TToolResult pixel =
        RunTool({"/usr/bin/convert", "x:root[1x1+" + std::to_string(x) + "+" + std::to_string(y) + "]", "-format",
                 "%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]", "info:"},
                {{"DISPLAY", name}}, 20s);
    return pixel.exitCode == 0 ? pixel.output : std::string();
}

bool CVirtualDisplay::Screenshot(const std::string& path) const
{
    return RunTool({"/usr/bin/import", "-window", "root", path}, {{"DISPLAY", name}}, 20s).exitCode == 0;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& pump)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (pump)
            pump();
        std::this_thread::sleep_for(5ms);
    }
}

void PumpQt()
{
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::processEvents();
}

std::string MakeTemporaryFolder(const std::string& prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    const char* made = ::mkdtemp(pattern.data());
    return made != nullptr ? std::string(made) : std::string();
}

void RemoveFolder(const std::string& folder)
{
    if (folder.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream input(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << input.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace desktoptest
