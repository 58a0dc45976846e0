// Playing the mounts of a real Icecast server on 127.0.0.1 (MP3, Ogg Vorbis,
// AAC, and an HLS stream of ffmpeg's hls muxer), the program beside
// `gst-launch-1.0 playbin` on the same mount in the same run, both into a
// fakesink that keeps real time (sync=true):
//
//   ChoiceToContinuousAudio   a warm main window in this process: from a
//                             station's "dbclick" until the stream has
//                             played one second on end (Playing, and no
//                             drop back to Buffering or Paused for 1 s)
//   StartToContinuousAudio    a fresh process: the program (this executable
//                             in its child mode, the real window offscreen)
//                             and gst-launch, each until one second of
//                             uninterrupted PLAYING
//   PlayingFor30Seconds       CPU time, resident and peak memory of each
//                             process over 30 s of playing the MP3 mount,
//                             read from /proc, and the program's Buffering
//                             transitions in that time
//
// Run: build/bench/bench_player (needs icecast2 and ffmpeg). Icecast sends as
// stations do: a 64 KiB burst, then at the rate the stream plays.

#include "app/RadioWndRun.h"
#include "platform/com/Com.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "platform/wmp/Wmp.h"
#include "bench/support/ChildProcess.h"
#include "support/IcecastServer.h"

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

// How long each process is measured while it plays.
constexpr auto kPlayingSpell = 30s;
// Watchdog of one wait for continuous audio.
constexpr auto kPlayingTimeout = 20s;
// Playing on end for this long counts as continuous audio.
constexpr auto kContinuousSpell = 1s;

const char* const kChildFlag = "--play-child";

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// --------------------------------------------------------------- the server

const char* const kMountNames[] = {"mp3", "ogg", "aac", "hls"};
constexpr int kMountCount = 4;

orvane::test::IcecastServer& Server()
{
    static orvane::test::IcecastServer server;
    return server;
}

std::vector<std::string>& MountUrls()
{
    static std::vector<std::string> urls;
    return urls;
}

void StartMounts()
{
    using orvane::test::MountFormat;
    Server().AddMount("/bench.mp3", MountFormat::Mp3);
    Server().AddMount("/bench.ogg", MountFormat::OggVorbis);
    Server().AddMount("/bench.aac", MountFormat::Aac);
    MountUrls() = {Server().Url("/bench.mp3"), Server().Url("/bench.ogg"), Server().Url("/bench.aac"),
                   Server().StartHls()};
}

// --------------------------------------------------------------- the window

// A run folder with the real skin, quiet settings and one station per URL.
void PrepareRunFolder(const std::filesystem::path& folder, const std::vector<std::string>& urls)
{
    apptest::PrepareRunFolder(folder);
    std::string stations;
    for (std::size_t i = 0; i < urls.size(); ++i)
        stations += "<station name=\"bench" + std::to_string(i) + "\" url=\"" + urls[i] + "\" style=\"S0\"/>";
    apptest::WriteScrambled(folder / "config" / "fmradios.dll",
                            "<catalogue><city name=\"R0\">" + stations +
                                "</city><styles><style name=\"S0\"/></styles></catalogue><version>1</version>");
}

using apptest::PumpUntil;

// The station options of the only region, its page shown as a user opens it.
std::vector<CControlUI*> OpenStationPage(CRadioWnd* window)
{
    std::vector<CControlUI*> stations;
    auto* firstRow = static_cast<CContainerUI*>(
        static_cast<CContainerUI*>(window->sortsPanel)->GetItemAt(1)->GetInterface("Container"));
    if (firstRow == nullptr)
        return stations;
    window->paintManager.SendNotify(firstRow->GetItemAt(0), "click", 0, 0, false);
    CStdPtrArray* group = window->paintManager.GetOptionGroup("radios");
    for (int i = 0; group != nullptr && i < group->GetSize(); ++i)
        stations.push_back(static_cast<CControlUI*>(group->GetAt(i)));
    return stations;
}

// Playing as the window saw it: the status handled, the "pause" button up.
bool WindowPlays(const CRadioWnd* window)
{
    return window->playState == wmppsPlaying && window->pauseButton != nullptr && window->pauseButton->IsVisible();
}

// Pumps until the window has played for kContinuousSpell on end; the time
// the last such spell began, or a default time point after the watchdog.
Clock::time_point WaitForContinuousAudio(CRadioWnd* window)
{
    const auto deadline = Clock::now() + kPlayingTimeout;
    while (Clock::now() < deadline) {
        if (!PumpUntil([&] { return WindowPlays(window); }, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                                  deadline - Clock::now())))
            break;
        const auto playing = Clock::now();
        const bool held = !PumpUntil([&] { return !WindowPlays(window); }, kContinuousSpell);
        if (held)
            return playing;
    }
    return Clock::time_point();
}

// The child mode: start the program's window, choose the station, say when
// its audio is continuous, then play until killed.
int RunChild(const std::string& url, const std::filesystem::path& folder)
{
    const auto started = Clock::now();
    PrepareRunFolder(folder, {url});
    ::CoInitialize(nullptr);
    CRadioWnd* window = apptest::StartRadioWindow(folder);
    const std::vector<CControlUI*> stations = OpenStationPage(window);
    if (stations.empty())
        return 2;
    const auto chosen = Clock::now();
    window->paintManager.SendNotify(stations[0], "dbclick", 0, 0, false);
    const auto continuous = WaitForContinuousAudio(window);
    if (continuous == Clock::time_point())
        return 3;
    std::printf("playing %.3f %.3f\n", Milliseconds(continuous - started), Milliseconds(continuous - chosen));
    std::fflush(stdout);
    // From here on the program's own message loop, which sleeps while no
    // message waits, as the program does while it plays.
    CPaintManagerUI::MessageLoop();
    return 0;
}

using orvane::bench::CChildProcess;

std::string SelfPath()
{
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

std::filesystem::path ChildFolder()
{
    return std::filesystem::temp_directory_path() / ("orvane-bench-player-" + std::to_string(::getpid()));
}

std::unique_ptr<CChildProcess> StartProgram(const std::string& url)
{
    return std::make_unique<CChildProcess>(
        std::vector<std::string>{SelfPath(), kChildFlag, url, ChildFolder().string()});
}

std::unique_ptr<CChildProcess> StartGstLaunch(const std::string& url)
{
    return std::make_unique<CChildProcess>(std::vector<std::string>{
        "gst-launch-1.0", "playbin", "uri=" + url, "audio-sink=fakesink sync=true", "video-sink=fakesink"});
}

const char* const kProgramPlaying = "playing ";

// Reads gst-launch's output until its pipeline has been PLAYING for
// kContinuousSpell with no drop back to PAUSED (its buffering pauses it);
// the time that spell began, or a default time point.
Clock::time_point WaitForGstContinuous(CChildProcess& child)
{
    const auto deadline = Clock::now() + kPlayingTimeout;
    Clock::time_point playing;
    while (Clock::now() < deadline) {
        bool timedOut = false;
        const auto wait = playing == Clock::time_point()
                              ? std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                              : std::chrono::duration_cast<std::chrono::milliseconds>(playing + kContinuousSpell -
                                                                                      Clock::now());
        const std::string line = child.NextLine(std::max(wait, std::chrono::milliseconds(1)), timedOut);
        if (timedOut && playing != Clock::time_point())
            return playing;
        if (child.Ended())
            break;
        if (line.find("PLAYING") != std::string::npos && line.find("etting pipeline to") != std::string::npos)
            playing = Clock::now();
        else if (line.find("PAUSED") != std::string::npos && playing != Clock::time_point())
            playing = Clock::time_point();
    }
    return Clock::time_point();
}

// ------------------------------------------------------------- benchmarks

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Medians per mount, for the summary that puts the two side by side.
struct Figures
{
    double warmMs[kMountCount] = {};
    double programFreshMs[kMountCount] = {};
    double gstFreshMs[kMountCount] = {};
} figures;

void ChoiceToContinuousAudio(benchmark::State& state)
{
    const int mount = static_cast<int>(state.range(0));
    state.SetLabel(kMountNames[mount]);
    const std::filesystem::path folder = ChildFolder().string() + "-warm";
    PrepareRunFolder(folder, MountUrls());
    CRadioWnd* window = apptest::StartRadioWindow(folder);
    const std::vector<CControlUI*> stations = OpenStationPage(window);
    if (stations.size() != MountUrls().size()) {
        state.SkipWithError("no stations on the page");
        return;
    }
    std::vector<double> times;
    for (auto _ : state) {
        const auto chosen = Clock::now();
        window->paintManager.SendNotify(stations[static_cast<std::size_t>(mount)], "dbclick", 0, 0, false);
        const auto continuous = WaitForContinuousAudio(window);
        if (continuous == Clock::time_point()) {
            state.SkipWithError("the stream did not play");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(continuous - chosen).count());
        times.push_back(Milliseconds(continuous - chosen));
        // The user's stop, out of the timing: the next choice starts from a
        // player that holds no stream.
        window->paintManager.SendNotify(window->pauseButton, "click", 0, 0, false);
        PumpUntil([&] { return window->playState == wmppsStopped; }, 5s);
        PumpUntil([] { return false; }, 300ms);
    }
    figures.warmMs[mount] = Median(times);
    ::DestroyWindow(window->GetHWND());
    PumpUntil([] { return false; }, 20ms);
    std::filesystem::remove_all(folder);
}
BENCHMARK(ChoiceToContinuousAudio)
    ->DenseRange(0, kMountCount - 1)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

void StartToContinuousAudio(benchmark::State& state)
{
    const int mount = static_cast<int>(state.range(0));
    const bool program = state.range(1) == 0;
    state.SetLabel(std::string(kMountNames[mount]) + (program ? " orvane-radio" : " gst-launch-1.0 playbin"));
    const std::string url = MountUrls()[static_cast<std::size_t>(mount)];
    std::vector<double> times;
    std::vector<double> chooseTimes;
    for (auto _ : state) {
        std::unique_ptr<CChildProcess> child = program ? StartProgram(url) : StartGstLaunch(url);
        Clock::time_point continuous;
        std::string line;
        if (program) {
            line = child->WaitForLine(kProgramPlaying, kPlayingTimeout + 5s);
            continuous = line.empty() ? Clock::time_point() : Clock::now() - kContinuousSpell;
        } else {
            continuous = WaitForGstContinuous(*child);
        }
        if (continuous == Clock::time_point()) {
            state.SkipWithError("the process did not play");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(continuous - child->Started()).count());
        times.push_back(Milliseconds(continuous - child->Started()));
        if (program) {
            double sinceStart = 0, sinceChoice = 0;
            std::sscanf(line.c_str(), "playing %lf %lf", &sinceStart, &sinceChoice);
            chooseTimes.push_back(sinceChoice);
        }
        child.reset();
        std::this_thread::sleep_for(300ms);
    }
    std::filesystem::remove_all(ChildFolder());
    if (times.empty())
        return;
    if (program) {
        // From the choice in a window just made, as the warm figure counts.
        figures.programFreshMs[mount] = Median(chooseTimes);
        state.counters["choice_to_continuous_ms"] = Median(chooseTimes);
    } else {
        figures.gstFreshMs[mount] = Median(times);
    }
}
BENCHMARK(StartToContinuousAudio)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

struct PlayingFigures
{
    double cpuSeconds = -1;
    double residentMiB = -1; // mean of one sample a second
    double peakMiB = -1;     // high-water mark of the resident set
};

PlayingFigures MeasurePlaying(CChildProcess& child, bool program)
{
    PlayingFigures result;
    const bool playing = program ? !child.WaitForLine(kProgramPlaying, kPlayingTimeout + 5s).empty()
                                 : WaitForGstContinuous(child) != Clock::time_point();
    if (!playing)
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
    int bufferings = 0;
    for (auto _ : state) {
        {
            std::unique_ptr<CChildProcess> child = StartProgram(MountUrls()[0]);
            program = MeasurePlaying(*child, true);
        }
        {
            std::unique_ptr<CChildProcess> child = StartGstLaunch(MountUrls()[0]);
            gst = MeasurePlaying(*child, false);
        }
        // Buffering transitions in 30 s of steady play, in a window of this
        // process (its play state read as it changes).
        const std::filesystem::path folder = ChildFolder().string() + "-steady";
        PrepareRunFolder(folder, {MountUrls()[0]});
        CRadioWnd* window = apptest::StartRadioWindow(folder);
        const std::vector<CControlUI*> stations = OpenStationPage(window);
        if (!stations.empty()) {
            window->paintManager.SendNotify(stations[0], "dbclick", 0, 0, false);
            if (WaitForContinuousAudio(window) != Clock::time_point()) {
                const auto end = Clock::now() + kPlayingSpell;
                bool buffering = false;
                PumpUntil(
                    [&] {
                        const bool now = window->playState == wmppsBuffering;
                        if (now && !buffering)
                            ++bufferings;
                        buffering = now;
                        return Clock::now() >= end;
                    },
                    kPlayingSpell + 5s);
            }
        }
        ::DestroyWindow(window->GetHWND());
        PumpUntil([] { return false; }, 20ms);
        std::filesystem::remove_all(folder);
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
    state.counters["buffering_transitions"] = bufferings;
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
    if (!orvane::test::IcecastServer::Available()) {
        std::fprintf(stderr, "bench_player needs icecast2 and ffmpeg (scripts/install-deps)\n");
        return 1;
    }
    PreparePlayer();
    StartMounts(); // the server and its mounts are up before anything is timed
    ::CoInitialize(nullptr);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::CoUninitialize();
    for (int mount = 0; mount < kMountCount; ++mount) {
        const double gst = figures.gstFreshMs[mount];
        if (gst <= 0)
            continue;
        std::printf("%s: choice to continuous audio, warm %.0f ms (%.2f x gst-launch), fresh process %.0f ms "
                    "(%.2f x); gst-launch start to continuous %.0f ms\n",
                    kMountNames[mount], figures.warmMs[mount], figures.warmMs[mount] / gst,
                    figures.programFreshMs[mount], figures.programFreshMs[mount] / gst, gst);
    }
    return 0;
}
