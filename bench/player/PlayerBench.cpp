// Playing a live MP3 stream served on 127.0.0.1, the program beside
// `gst-launch-1.0 playbin` on the same stream in the same run, both into a
// fakesink that keeps real time (sync=true):
//
//   DoubleClickToPlaying   a warm main window in this process: from a
//                          station's "dbclick" until the window handled the
//                          Playing state (the "pause" button is shown)
//   StartToPlaying         a fresh process: the program (this executable in
//                          its child mode, the real window offscreen) until
//                          Playing, gst-launch until "Setting pipeline to
//                          PLAYING"
//   PlayingFor30Seconds    CPU time, resident and peak memory of each process
//                          over 30 s of playing, read from /proc
//
// Run: build/bench/bench_player. The stream is a 128 kbit/s tone, sent as a
// radio server sends: a 64 KiB burst, then at the rate it plays.

#include "app/RadioWndRun.h"
#include "platform/com/Com.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "platform/wmp/Wmp.h"
#include "support/LocalHttpServer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Bit rate of the tone, in kbit/s.
constexpr int kToneKbps = 128;
// Seconds of tone the stream repeats.
constexpr double kToneSeconds = 5;
// What a radio server sends at once to a new listener, in bytes.
constexpr std::size_t kBurstBytes = 64 * 1024;
// After the burst: 4000 bytes every 250 ms, which is 128 kbit/s.
constexpr std::size_t kPieceBytes = 4000;
constexpr auto kPiecePause = 250ms;
// How long each process is measured while it plays.
constexpr auto kPlayingSpell = 30s;
// Watchdog of one wait for Playing.
constexpr auto kPlayingTimeout = 20s;

const char* const kChildFlag = "--play-child";

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// --------------------------------------------------------------- the stream

std::string& Tone()
{
    static std::string mp3 = orvane::test::MakeMp3(kToneSeconds, kToneKbps);
    return mp3;
}

orvane::test::LocalHttpServer& Server()
{
    static orvane::test::LocalHttpServer server;
    static const bool routed = [] {
        const std::string mp3 = Tone();
        server.AddStreamingRoute(
            "/live.mp3", "audio/mpeg",
            [mp3](std::size_t index) {
                // Piece 0 is the burst; piece n starts where the ones before ended.
                const std::size_t size = index == 0 ? kBurstBytes : kPieceBytes;
                const std::size_t start = index == 0 ? 0 : kBurstBytes + (index - 1) * kPieceBytes;
                std::string piece;
                while (piece.size() < size) {
                    const std::size_t offset = (start + piece.size()) % mp3.size();
                    piece += mp3.substr(offset, size - piece.size());
                }
                return piece;
            },
            kPiecePause);
        return true;
    }();
    (void)routed;
    return server;
}

std::string StreamUrl() { return Server().Url("/live.mp3"); }

// --------------------------------------------------------------- the window

// A run folder with the real skin, quiet settings and one station at `url`.
void PrepareRunFolder(const std::filesystem::path& folder, const std::string& url)
{
    apptest::PrepareRunFolder(folder);
    apptest::WriteScrambled(folder / "config" / "fmradios.dll",
                            "<catalogue><city name=\"R0\"><station name=\"bench\" url=\"" + url +
                                "\" style=\"S0\"/></city><styles><style name=\"S0\"/></styles></catalogue>"
                                "<version>1</version>");
}

using apptest::PumpUntil;

// The station option of the only region, its page shown as a user opens it.
CControlUI* OpenStationPage(CRadioWnd* window)
{
    auto* firstRow = static_cast<CContainerUI*>(
        static_cast<CContainerUI*>(window->sortsPanel)->GetItemAt(1)->GetInterface("Container"));
    if (firstRow == nullptr)
        return nullptr;
    window->paintManager.SendNotify(firstRow->GetItemAt(0), "click", 0, 0, false);
    CStdPtrArray* group = window->paintManager.GetOptionGroup("radios");
    return group != nullptr && group->GetSize() > 0 ? static_cast<CControlUI*>(group->GetAt(0)) : nullptr;
}

// Playing as the window saw it: the status handled, the "pause" button up.
bool WindowPlays(const CRadioWnd* window)
{
    return window->playState == wmppsPlaying && window->pauseButton != nullptr && window->pauseButton->IsVisible();
}

// The child mode: start the program's window, choose the station, say when it
// plays, then play until killed.
int RunChild(const std::string& url, const std::filesystem::path& folder)
{
    const auto started = Clock::now();
    PrepareRunFolder(folder, url);
    ::CoInitialize(nullptr);
    CRadioWnd* window = apptest::StartRadioWindow(folder);
    CControlUI* station = OpenStationPage(window);
    if (station == nullptr)
        return 2;
    const auto chosen = Clock::now();
    window->paintManager.SendNotify(station, "dbclick", 0, 0, false);
    if (!PumpUntil([&] { return WindowPlays(window); }, kPlayingTimeout))
        return 3;
    const auto playing = Clock::now();
    std::printf("playing %.3f %.3f\n", Milliseconds(playing - started), Milliseconds(playing - chosen));
    std::fflush(stdout);
    // From here on the program's own message loop, which sleeps while no
    // message waits, as the program does while it plays.
    CPaintManagerUI::MessageLoop();
    return 0;
}

// -------------------------------------------------------------- processes

// A process started with its standard output on a pipe, killed at the end.
class CChildProcess
{
public:
    explicit CChildProcess(std::vector<std::string> arguments)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        started = Clock::now();
        pid = ::fork();
        if (pid == 0) {
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
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (line.find(text) != std::string::npos)
                    return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (output < 0 || left.count() <= 0)
                return "";
            pollfd wait{output, POLLIN, 0};
            if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(output, buffer, sizeof buffer);
            if (got <= 0)
                return "";
            pending.append(buffer, static_cast<std::size_t>(got));
        }
    }

    // CPU seconds (user and system) the process has used so far.
    double CpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos)
            return -1;
        std::istringstream fields(text.substr(close + 2));
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

    // A line of /proc/<pid>/status in KiB ("VmRSS", "VmHWM"); -1 when absent.
    double StatusKiB(const std::string& key) const
    {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind(key + ":", 0) == 0)
                return std::stod(line.substr(key.size() + 1));
        return -1;
    }

    Clock::time_point Started() const { return started; }
    bool Running() const { return pid > 0; }

private:
    pid_t pid = -1;
    int output = -1;
    std::string pending;
    Clock::time_point started;
};

std::string SelfPath()
{
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

std::filesystem::path ChildFolder()
{
    return std::filesystem::temp_directory_path() / ("orvane-bench-player-" + std::to_string(::getpid()));
}

std::unique_ptr<CChildProcess> StartProgram()
{
    return std::make_unique<CChildProcess>(
        std::vector<std::string>{SelfPath(), kChildFlag, StreamUrl(), ChildFolder().string()});
}

std::unique_ptr<CChildProcess> StartGstLaunch()
{
    return std::make_unique<CChildProcess>(std::vector<std::string>{
        "gst-launch-1.0", "playbin", "uri=" + StreamUrl(), "audio-sink=\"fakesink sync=true\"",
        "video-sink=fakesink"});
}

const char* const kProgramPlaying = "playing ";
const char* const kGstPlaying = "to PLAYING";

// ------------------------------------------------------------- benchmarks

// Medians of the runs, for the summary that puts the two side by side.
struct Figures
{
    double programStartMs = 0;
    double programChooseMs = 0;
    double gstStartMs = 0;
} figures;

void DoubleClickToPlaying(benchmark::State& state)
{
    const std::filesystem::path folder = ChildFolder().string() + "-warm";
    PrepareRunFolder(folder, StreamUrl());
    CRadioWnd* window = apptest::StartRadioWindow(folder);
    CControlUI* station = OpenStationPage(window);
    if (station == nullptr) {
        state.SkipWithError("no station on the page");
        return;
    }
    std::vector<double> times;
    for (auto _ : state) {
        const auto chosen = Clock::now();
        window->paintManager.SendNotify(station, "dbclick", 0, 0, false);
        if (!PumpUntil([&] { return WindowPlays(window); }, kPlayingTimeout)) {
            state.SkipWithError("the stream did not play");
            break;
        }
        const auto playing = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(playing - chosen).count());
        times.push_back(Milliseconds(playing - chosen));
        // The user's stop, out of the timing: the next choice starts from a
        // player that holds no stream.
        window->paintManager.SendNotify(window->pauseButton, "click", 0, 0, false);
        PumpUntil([&] { return window->playState == wmppsStopped && Server().OpenConnections() == 0; }, 5s);
    }
    std::sort(times.begin(), times.end());
    if (!times.empty())
        figures.programChooseMs = times[times.size() / 2];
    ::DestroyWindow(window->GetHWND());
    PumpUntil([] { return false; }, 20ms);
    std::filesystem::remove_all(folder);
}
BENCHMARK(DoubleClickToPlaying)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

void StartToPlaying(benchmark::State& state)
{
    const bool program = state.range(0) == 0;
    state.SetLabel(program ? "orvane-radio" : "gst-launch-1.0 playbin");
    std::vector<double> times;
    std::vector<double> chooseTimes;
    for (auto _ : state) {
        std::unique_ptr<CChildProcess> child = program ? StartProgram() : StartGstLaunch();
        const std::string line = child->WaitForLine(program ? kProgramPlaying : kGstPlaying, kPlayingTimeout);
        const auto playing = Clock::now();
        if (line.empty()) {
            state.SkipWithError("the process did not play");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(playing - child->Started()).count());
        times.push_back(Milliseconds(playing - child->Started()));
        if (program) {
            double sinceStart = 0, sinceChoice = 0;
            std::sscanf(line.c_str(), "playing %lf %lf", &sinceStart, &sinceChoice);
            chooseTimes.push_back(sinceChoice);
        }
        child.reset();
        PumpUntil([] { return Server().OpenConnections() == 0; }, 5s);
    }
    std::filesystem::remove_all(ChildFolder());
    std::sort(times.begin(), times.end());
    std::sort(chooseTimes.begin(), chooseTimes.end());
    if (times.empty())
        return;
    (program ? figures.programStartMs : figures.gstStartMs) = times[times.size() / 2];
    // The program's own part of it: from the choice in a window just made.
    if (!chooseTimes.empty())
        state.counters["choice_to_playing_ms"] = chooseTimes[chooseTimes.size() / 2];
}
BENCHMARK(StartToPlaying)->Arg(0)->Arg(1)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

struct PlayingFigures
{
    double cpuSeconds = -1;
    double residentMiB = -1; // mean of one sample a second
    double peakMiB = -1;     // high-water mark of the resident set
};

PlayingFigures MeasurePlaying(CChildProcess& child, const char* playingLine)
{
    PlayingFigures result;
    if (child.WaitForLine(playingLine, kPlayingTimeout).empty())
        return result;
    const double cpuAtStart = child.CpuSeconds();
    const auto end = Clock::now() + kPlayingSpell;
    double residentSum = 0;
    int samples = 0;
    while (Clock::now() < end) {
        std::this_thread::sleep_for(1s);
        residentSum += child.StatusKiB("VmRSS");
        ++samples;
    }
    result.cpuSeconds = child.CpuSeconds() - cpuAtStart;
    result.residentMiB = residentSum / samples / 1024.0;
    result.peakMiB = child.StatusKiB("VmHWM") / 1024.0;
    return result;
}

void PlayingFor30Seconds(benchmark::State& state)
{
    PlayingFigures program, gst;
    for (auto _ : state) {
        {
            std::unique_ptr<CChildProcess> child = StartProgram();
            program = MeasurePlaying(*child, kProgramPlaying);
        }
        PumpUntil([] { return Server().OpenConnections() == 0; }, 5s);
        {
            std::unique_ptr<CChildProcess> child = StartGstLaunch();
            gst = MeasurePlaying(*child, kGstPlaying);
        }
        PumpUntil([] { return Server().OpenConnections() == 0; }, 5s);
    }
    std::filesystem::remove_all(ChildFolder());
    if (program.cpuSeconds < 0 || gst.cpuSeconds < 0) {
        state.SkipWithError("a process did not play");
        return;
    }
    const double spell = std::chrono::duration<double>(kPlayingSpell).count();
    state.counters["orvane_cpu_pct"] = 100.0 * program.cpuSeconds / spell;
    state.counters["gst_cpu_pct"] = 100.0 * gst.cpuSeconds / spell;
    state.counters["cpu_ratio"] = gst.cpuSeconds > 0 ? program.cpuSeconds / gst.cpuSeconds : 0;
    state.counters["orvane_rss_MiB"] = program.residentMiB;
    state.counters["gst_rss_MiB"] = gst.residentMiB;
    state.counters["rss_ratio"] = program.residentMiB / gst.residentMiB;
    state.counters["orvane_peak_MiB"] = program.peakMiB;
    state.counters["gst_peak_MiB"] = gst.peakMiB;
    state.counters["peak_ratio"] = program.peakMiB / gst.peakMiB;
}
BENCHMARK(PlayingFor30Seconds)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("ORVANE_AUDIO_SINK", "fakesink", 0);
    if (argc == 4 && std::strcmp(argv[1], kChildFlag) == 0)
        return RunChild(argv[2], argv[3]);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Server(); // the tone is made, and the server up, before anything is timed
    ::CoInitialize(nullptr);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::CoUninitialize();
    if (figures.programStartMs > 0 && figures.gstStartMs > 0)
        std::printf("start to Playing (median): orvane-radio %.0f ms, gst-launch %.0f ms, ratio %.2f\n",
                    figures.programStartMs, figures.gstStartMs, figures.programStartMs / figures.gstStartMs);
    if (figures.programChooseMs > 0 && figures.gstStartMs > 0)
        std::printf("station choice to Playing (median, warm window) %.0f ms; gst-launch start to PLAYING %.0f ms, "
                    "ratio %.2f\n",
                    figures.programChooseMs, figures.gstStartMs, figures.programChooseMs / figures.gstStartMs);
    return 0;
}
