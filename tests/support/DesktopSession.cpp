#include "support/DesktopSession.h"

#include <sys/prctl.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace orvane::test {

namespace fs = std::filesystem;

namespace {

// Milliseconds a server gets to end on SIGTERM before its group is killed.
constexpr auto kTerminateGrace = 2000ms;
// Milliseconds between two looks while polling.
constexpr auto kPollInterval = 50ms;

using Clock = std::chrono::steady_clock;

std::vector<char*> PointersTo(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The test's environment with the given entries put in ("NAME=value") or
// taken out ("NAME=").
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes)
{
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const auto sign = text.find('=');
        if (sign != std::string::npos)
            variables[text.substr(0, sign)] = text.substr(sign + 1);
    }
    for (const std::string& change : changes) {
        const auto sign = change.find('=');
        if (sign == std::string::npos)
            continue;
        const std::string name = change.substr(0, sign);
        if (sign + 1 == change.size())
            variables.erase(name);
        else
            variables[name] = change.substr(sign + 1);
    }
    std::vector<std::string> merged;
    for (const auto& [name, value] : variables)
        merged.push_back(name + "=" + value);
    return merged;
}

// Starts `arguments` in a process group of its own. Standard output goes to
// `outputFd` (or /dev/null for -1), standard error to `errorFd` likewise;
// `keepFd` stays open in the child under its own number.
pid_t Spawn(std::vector<std::string> arguments, const std::vector<std::string>& environment, int outputFd,
            int errorFd, const std::string& workingFolder = "")
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outputFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (errorFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, and the default dispositions of every signal
    // (the test runner may ignore some, which children would inherit).
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> environmentCopy = environment;
    std::vector<char*> argv = PointersTo(arguments);
    std::vector<char*> envp = PointersTo(environmentCopy);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

// Reads everything from `fd` until its end or the deadline.
bool ReadAll(int fd, std::string& text, Clock::time_point deadline)
{
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd poller{fd, POLLIN, 0};
        const int ready = ::poll(&poller, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

// The window ids of xwininfo -tree output one level below the shallowest
// window lines (the children of the children of the window asked about).
std::vector<unsigned long> GrandChildren(const std::string& tree)
{
    struct TLine
    {
        std::size_t indent;
        unsigned long window;
    };
    std::vector<TLine> lines;
    std::istringstream input(tree);
    std::string line;
    while (std::getline(input, line)) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos || line.compare(start, 2, "0x") != 0)
            continue;
        lines.push_back({start, std::strtoul(line.c_str() + start, nullptr, 16)});
    }
    std::size_t shallowest = std::string::npos;
    for (const TLine& entry : lines)
        shallowest = std::min(shallowest, entry.indent);
    std::size_t next = std::string::npos;
    for (const TLine& entry : lines)
        if (entry.indent > shallowest)
            next = std::min(next, entry.indent);
    std::vector<unsigned long> windows;
    for (const TLine& entry : lines)
        if (entry.indent == next)
            windows.push_back(entry.window);
    return windows;
}

int FieldAfter(const std::string& text, const std::string& label, bool& found)
{
    const auto at = text.find(label);
    if (at == std::string::npos) {
        found = false;
        return 0;
    }
    return std::atoi(text.c_str() + at + label.size());
}

} // namespace

// ------------------------------------------------------------ ProgramExit

std::string ProgramExit::Describe() const
{
    if (!exited)
        return "running";
    if (signal != 0)
        return "signal " + std::to_string(signal);
    return "exit " + std::to_string(exitCode);
}

// --------------------------------------------------------- DesktopProgram

DesktopProgram::DesktopProgram(pid_t pid, std::string logPath)
    : pid(pid)
    , logPath(std::move(logPath))
{
}

DesktopProgram::~DesktopProgram()
{
    if (!ended)
        Kill();
}

bool DesktopProgram::Running()
{
    return !WaitForExit(0ms).exited;
}

ProgramExit DesktopProgram::WaitForExit(std::chrono::milliseconds timeout)
{
    if (ended)
        return *ended;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got == pid) {
            ProgramExit exit;
            exit.exited = true;
            if (WIFEXITED(status))
                exit.exitCode = WEXITSTATUS(status);
            else if (WIFSIGNALED(status))
                exit.signal = WTERMSIG(status);
            // Whatever the program left behind in its group goes with it.
            ::kill(-pid, SIGKILL);
            reaped = true;
            ended = exit;
            return exit;
        }
        if (got < 0 && errno != EINTR) {
            reaped = true;
            ended = ProgramExit{};
            ended->exited = true;
            return *ended;
        }
        if (Clock::now() >= deadline)
            return ProgramExit{};
        std::this_thread::sleep_for(kPollInterval / 5);
    }
}

void DesktopProgram::Signal(int signalNumber)
{
    if (!ended)
        ::kill(pid, signalNumber);
}

void DesktopProgram::Kill()
{
    if (ended)
        return;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    WaitForExit(10s);
}

void DesktopProgram::KillFromAnotherThread()
{
    // Until the owner reaps it the pid cannot be reused, so this never hits
    // a stranger.
    if (!reaped)
        ::kill(-pid, SIGKILL);
}

std::string DesktopProgram::Log() const
{
    std::ifstream input(logPath, std::ios::binary);
    std::ostringstream text;
    text << input.rdbuf();
    return text.str();
}

// --------------------------------------------------------- DesktopSession

DesktopSession::DesktopSession(Options options)
    : options(options)
{
    char pattern[] = "/tmp/orvane-desktop-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        error = "no temporary folder";
        return;
    }
    runtimeFolder = pattern;
    ready = StartServer() && (!options.notificationArea || StartNotificationArea());
}

DesktopSession::~DesktopSession()
{
    // The notification area first: it is a client of the server.
    for (auto* process : {&notificationArea, &server}) {
        if (*process == nullptr)
            continue;
        (*process)->Signal(SIGTERM);
        if (!(*process)->WaitForExit(kTerminateGrace).exited)
            (*process)->Kill();
        process->reset();
    }
    if (!runtimeFolder.empty()) {
        std::error_code ignored;
        fs::remove_all(runtimeFolder, ignored);
    }
}

bool DesktopSession::StartServer()
{
    // -displayfd: the server picks a free display number and writes it here
    // once it accepts connections, which is the readiness signal too.
    int numberPipe[2];
    if (::pipe(numberPipe) != 0) {
        error = "no pipe";
        return false;
    }
    ::fcntl(numberPipe[0], F_SETFD, FD_CLOEXEC);
    const std::string logPath = runtimeFolder + "/Xvfb.log";
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const std::string screen =
        std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
    // -noreset: by default the server starts over whenever its last client
    // leaves, and drops whoever is connecting at that moment.
    std::vector<std::string> command{"Xvfb", "-displayfd", std::to_string(numberPipe[1]), "-screen", "0", screen,
                                     "-nolisten", "tcp", "-noreset"};
    if (options.blackRoot)
        command.push_back("-br");
    if (options.everyLocalUser)
        command.push_back("-ac");
    const pid_t pid = Spawn(command, MergedEnvironment({}), log, log);
    ::close(numberPipe[1]);
    if (log >= 0)
        ::close(log);
    if (pid < 0) {
        ::close(numberPipe[0]);
        error = "Xvfb could not be started (is it installed?)";
        return false;
    }
    server = std::make_unique<DesktopProgram>(pid, logPath);

    std::string number;
    const auto deadline = Clock::now() + 15s;
    while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd poller{numberPipe[0], POLLIN, 0};
        if (::poll(&poller, 1, 100) > 0) {
            char buffer[32];
            const ssize_t got = ::read(numberPipe[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            number.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(numberPipe[0]);
    if (number.find('\n') == std::string::npos) {
        error = "Xvfb did not come up: " + server->Log();
        return false;
    }
    display = ":" + number.substr(0, number.find('\n'));
    return true;
}

bool DesktopSession::StartNotificationArea()
{
    const std::string logPath = runtimeFolder + "/trayer.log";
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t pid = Spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                             "24", "--SetDockType", "false", "--SetPartialStrut", "false"},
                            MergedEnvironment({"DISPLAY=" + display}), log, log);
    if (log >= 0)
        ::close(log);
    if (pid < 0) {
        error = "trayer could not be started (is it installed?)";
        return false;
    }
    notificationArea = std::make_unique<DesktopProgram>(pid, logPath);
    // The panel is there once trayer owns the tray selection and waits for icons.
    if (!WaitUntil([this] { return NotificationPanel() != 0; }, 15s)) {
        error = "trayer did not come up: " + notificationArea->Log();
        return false;
    }
    return true;
}

void DesktopSession::KillServer()
{
    if (server != nullptr)
        server->Kill();
}

ToolResult DesktopSession::Run(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout) const
{
    ToolResult result;
    int outputPipe[2];
    if (::pipe2(outputPipe, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = Spawn(arguments, MergedEnvironment({"DISPLAY=" + display}), outputPipe[1], -1);
    ::close(outputPipe[1]);
    if (pid < 0) {
        ::close(outputPipe[0]);
        return result;
    }
    DesktopProgram tool(pid, "/dev/null");
    const auto deadline = Clock::now() + timeout;
    ReadAll(outputPipe[0], result.output, deadline);
    ::close(outputPipe[0]);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const ProgramExit exit = tool.WaitForExit(std::max(left, 0ms));
    result.finished = exit.exited && exit.signal == 0;
    result.exitCode = exit.exitCode;
    return result;
}

std::unique_ptr<DesktopProgram> DesktopSession::Start(const std::string& program,
                                                      const std::vector<std::string>& arguments,
                                                      const std::string& workingFolder,
                                                      const std::vector<std::string>& environment) const
{
    static int started = 0;
    const std::string logPath = runtimeFolder + "/program-" + std::to_string(++started) + ".log";
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::vector<std::string> command{program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<std::string> changes{"DISPLAY=" + display};
    changes.insert(changes.end(), environment.begin(), environment.end());
    const pid_t pid = Spawn(command, MergedEnvironment(changes), log, log, workingFolder);
    if (log >= 0)
        ::close(log);
    if (pid < 0)
        return nullptr;
    return std::make_unique<DesktopProgram>(pid, logPath);
}

std::vector<unsigned long> DesktopSession::FindWindows(const std::string& title, pid_t pid) const
{
    std::vector<std::string> command{"xdotool", "search", "--all"};
    if (pid > 0) {
        command.push_back("--pid");
        command.push_back(std::to_string(pid));
    }
    command.push_back("--name");
    command.push_back("^" + title + "$");
    const ToolResult result = Run(command);
    std::vector<unsigned long> windows;
    std::istringstream input(result.output);
    unsigned long window = 0;
    while (input >> window)
        windows.push_back(window);
    return windows;
}

unsigned long DesktopSession::WaitForWindow(const std::string& title, pid_t pid,
                                            std::chrono::milliseconds timeout) const
{
    unsigned long found = 0;
    WaitUntil(
        [&] {
            for (unsigned long window : FindWindows(title, pid)) {
                const auto geometry = Geometry(window);
                if (geometry && geometry->viewable) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

std::optional<WindowGeometry> DesktopSession::Geometry(unsigned long window) const
{
    const ToolResult result = Run({"xwininfo", "-id", std::to_string(window)});
    if (!result.finished || result.exitCode != 0)
        return std::nullopt;
    bool found = true;
    WindowGeometry geometry;
    geometry.x = FieldAfter(result.output, "Absolute upper-left X:", found);
    geometry.y = FieldAfter(result.output, "Absolute upper-left Y:", found);
    geometry.width = FieldAfter(result.output, "Width:", found);
    geometry.height = FieldAfter(result.output, "Height:", found);
    geometry.viewable = result.output.find("Map State: IsViewable") != std::string::npos;
    if (!found)
        return std::nullopt;
    return geometry;
}

std::string DesktopSession::Property(unsigned long window, const std::string& name) const
{
    const ToolResult result = Run({"xprop", "-id", std::to_string(window), name});
    if (!result.finished || result.exitCode != 0 || result.output.find("not found") != std::string::npos)
        return "";
    return result.output;
}

unsigned long DesktopSession::NotificationPanel() const
{
    if (notificationArea == nullptr)
        return 0;
    // trayer's panel is the top-level window named and classed "panel".
    const ToolResult result = Run({"xdotool", "search", "--all", "--pid",
                                   std::to_string(notificationArea->Pid()), "--name", "^panel$"});
    std::istringstream input(result.output);
    unsigned long window = 0;
    return input >> window ? window : 0;
}

std::vector<unsigned long> DesktopSession::NotificationIcons() const
{
    const unsigned long panel = NotificationPanel();
    if (panel == 0)
        return {};
    // The panel holds one socket window per docked icon, and the icon's own
    // window sits inside its socket.
    const ToolResult result = Run({"xwininfo", "-tree", "-id", std::to_string(panel)});
    return GrandChildren(result.output);
}

bool DesktopSession::WaitForNotificationIcons(std::size_t count, std::chrono::milliseconds timeout) const
{
    return WaitUntil(
        [&] {
            std::size_t viewable = 0;
            for (unsigned long icon : NotificationIcons()) {
                const auto geometry = Geometry(icon);
                if (geometry && geometry->viewable)
                    ++viewable;
            }
            return viewable == count;
        },
        timeout);
}

// xdotool's "mousemove --sync" waits for the pointer to move, which never
// happens when it is already there: the moves here pause briefly instead, so
// the program under test sees the pointer arrive before the buttons.
bool DesktopSession::MoveMouse(int x, int y) const
{
    const ToolResult result = Run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "sleep", "0.1"});
    return result.finished && result.exitCode == 0;
}

bool DesktopSession::Click(int x, int y, int button) const
{
    const ToolResult result = Run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "sleep", "0.1",
                                   "click", std::to_string(button)});
    return result.finished && result.exitCode == 0;
}

bool DesktopSession::Drag(int fromX, int fromY, int toX, int toY) const
{
    // In steps, as a hand moves: a window system that drags in response to
    // motion needs motion to follow.
    std::vector<std::string> command{"xdotool", "mousemove", std::to_string(fromX), std::to_string(fromY),
                                     "sleep", "0.1", "mousedown", "1", "sleep", "0.2"};
    constexpr int kSteps = 8;
    for (int step = 1; step <= kSteps; ++step) {
        command.insert(command.end(), {"mousemove", std::to_string(fromX + (toX - fromX) * step / kSteps),
                                       std::to_string(fromY + (toY - fromY) * step / kSteps), "sleep", "0.05"});
    }
    command.insert(command.end(), {"sleep", "0.2", "mouseup", "1"});
    const ToolResult result = Run(command);
    return result.finished && result.exitCode == 0;
}

bool DesktopSession::Focus(unsigned long window) const
{
    const ToolResult focus = Run({"xdotool", "windowfocus", "--sync", std::to_string(window)});
    return focus.finished && focus.exitCode == 0;
}

bool DesktopSession::Key(unsigned long window, const std::string& keys) const
{
    if (!Focus(window))
        return false;
    const ToolResult result = Run({"xdotool", "key", "--clearmodifiers", keys});
    return result.finished && result.exitCode == 0;
}

std::optional<std::pair<int, int>> DesktopSession::Pointer() const
{
    const ToolResult result = Run({"xdotool", "getmouselocation", "--shell"});
    bool found = true;
    const int x = FieldAfter(result.output, "X=", found);
    const int y = FieldAfter(result.output, "Y=", found);
    if (!result.finished || !found)
        return std::nullopt;
    return std::make_pair(x, y);
}

bool DesktopSession::WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

// --------------------------------------------------------------- Watchdog

Watchdog::Watchdog(std::chrono::milliseconds limit, std::function<void()> action)
{
    thread = std::thread([this, limit, action = std::move(action)] {
        std::unique_lock lock(mutex);
        if (wake.wait_for(lock, limit, [this] { return stopping; }))
            return;
        fired = true;
        lock.unlock();
        action();
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
}

bool Watchdog::Fired() const
{
    std::lock_guard lock(mutex);
    return fired;
}

// ----------------------------------------------------------- RunFolderCopy

RunFolderCopy::RunFolderCopy(const std::string& runFolder)
{
    char pattern[] = "/tmp/orvane-run-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return;
    path = pattern;
    std::error_code ignored;
    fs::copy(runFolder, path, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ignored);
}

RunFolderCopy::~RunFolderCopy()
{
    if (path.empty())
        return;
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

} // namespace orvane::test

// ------------------------------------------------------------- desktoptest

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
    : session(std::make_unique<orvane::test::DesktopSession>(
          orvane::test::DesktopSession::Options{1024, 768, tray == Tray::Trayer, false, true}))
{
    name = session->Display();
    trayReady = tray == Tray::Trayer && session->Ready();
}

CVirtualDisplay::~CVirtualDisplay()
{
    session.reset();
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
