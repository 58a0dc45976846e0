#pragma once

// A program started by a benchmark with its standard output on a pipe: its
// output read line by line, its CPU time and memory read from /proc, and the
// process killed and reaped at the end. Shared by the benchmarks that measure
// our program beside gst-launch-1.0.

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::bench {

inline std::string ReadProcFile(const std::string& path)
{
    std::ifstream file(path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The CPU seconds (user and system) in a /proc stat line of a process or
// thread; -1 when the line is not one.
inline double StatCpuSeconds(const std::string& stat)
{
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 > stat.size())
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    // Fields 3 to 13 come before utime (14) and stime (15).
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14)
            user = std::stoull(field);
        if (index == 15)
            system = std::stoull(field);
    }
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A process started with its standard output on a pipe, killed at the end.
class CChildProcess
{
public:
    // `environment` sets variables for the child; an empty value unsets one.
    explicit CChildProcess(std::vector<std::string> arguments,
                           const std::map<std::string, std::string>& environment = {})
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        started = std::chrono::steady_clock::now();
        pid = ::fork();
        if (pid == 0) {
            for (const auto& [name, value] : environment) {
                if (value.empty())
                    ::unsetenv(name.c_str());
                else
                    ::setenv(name.c_str(), value.c_str(), 1);
            }
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0)
                ::dup2(null, STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        output = fds[0];
    }

    ~CChildProcess()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (output >= 0)
            ::close(output);
    }

    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Reads its output until a line holds `text`; that line, or "" when the
    // process ended or `timeout` passed first.
    std::string WaitForLine(const std::string& text, std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            bool timedOut = false;
            const std::string line = NextLine(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()), timedOut);
            if (line.find(text) != std::string::npos)
                return line;
            if (timedOut || ended)
                return "";
        }
        return "";
    }

    // The next line of its output; "" when the process ended or `timeout`
    // passed first (`timedOut` tells which).
    std::string NextLine(std::chrono::milliseconds timeout, bool& timedOut)
    {
        timedOut = false;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const std::size_t end = pending.find_first_of("\n\r");
            if (end != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (output < 0)
                return "";
            if (left.count() <= 0) {
                timedOut = true;
                return "";
            }
            pollfd wait{output, POLLIN, 0};
            if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(output, buffer, sizeof buffer);
            if (got <= 0) {
                ended = true;
                return "";
            }
            pending.append(buffer, static_cast<std::size_t>(got));
        }
    }
    bool Ended() const { return ended; }

    // CPU seconds (user and system) the process has used so far.
    double CpuSeconds() const { return StatCpuSeconds(ReadProcFile("/proc/" + std::to_string(pid) + "/stat")); }

    // A line of /proc/<pid>/status in KiB ("VmRSS", "VmHWM"); -1 when absent.
    double StatusKiB(const std::string& key) const
    {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind(key + ":", 0) == 0)
                return std::stod(line.substr(key.size() + 1));
        return -1;
    }

    // Resident memory now, MiB; -1 when the process is gone.
    double ResidentMiB() const
    {
        const double kib = StatusKiB("VmRSS");
        return kib < 0 ? -1 : kib / 1024.0;
    }

    std::chrono::steady_clock::time_point Started() const { return started; }
    bool Running() const { return pid > 0; }
    pid_t Pid() const { return pid; }

private:
    pid_t pid = -1;
    int output = -1;
    std::string pending;
    bool ended = false;
    std::chrono::steady_clock::time_point started;
};

} // namespace orvane::bench
