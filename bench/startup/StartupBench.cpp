// Start-up and memory of the program, each figure beside its floor in the
// same run:
//
//   StartToFirstContent   under Xvfb, from fork to the moment the window's
//                         pixels (read back with XGetImage) first show what
//                         the window shows once settled: orvane-radio (the
//                         real executable, in a run folder of its own with
//                         the shipped catalogue) beside bench_bare_window, a
//                         bare Qt Widgets window of the same size, and
//                         bench_bare_player_window, that window with
//                         GStreamer started and a playbin made before it
//                         shows. Rounds alternate; medians. Also the resident
//                         memory of each, idle, two seconds after its first
//                         content.
//   PlayingFor30Seconds   resident memory (one sample a second) and CPU time
//                         of the program playing a local 128 kbit/s MP3
//                         stream (bench_playing_window: the real window,
//                         offscreen) beside gst-launch-1.0 playbin on the
//                         same stream, both into a fakesink that keeps time;
//                         gst-launch once as installed (libav's MP3 decoder)
//                         and once with mpg123 ranked first, as the program
//                         ranks it.
//   Decoders/mp3, /aac    gst-launch-1.0 playbin on a local file with the
//                         lean decoder put first (mpg123, faad) beside
//                         libav's (avdec_mp3, avdec_aac): resident memory and
//                         CPU over 15 s each.
//
// Run: make bench && build/bench/bench_startup. ORVANE_BENCH_PROGRAM names
// another build's orvane-radio to start instead (to compare two builds).
// Needs Xvfb and gst-launch-1.0; it starts its own X server on a free display and ends
// every process it started. A summary table is printed at the end.
//
// File layout: processes; the X server and reading a window's pixels; the
// run folder; the benchmarks; main.

#include "app/RadioWndRun.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "support/DesktopSession.h"
#include "support/LocalHttpServer.h"
#include "bench/support/ChildProcess.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

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
#include <map>
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
namespace fs = std::filesystem;

// Size of the main window, pixels, as its layout gives it.
constexpr int kWindowWidth = 600;
constexpr int kWindowHeight = 640;
// Timed rounds of each start-up, after one untimed round of each.
constexpr int kStartRounds = 7;
// How long a started window is watched: its first content must come within
// it; the content it settles to is the one it shows at the end.
constexpr auto kStartWatch = 3s;
// How long after its first content a window's idle memory is read.
constexpr auto kIdleSettle = 2s;
// Pause between two readings of a window's pixels.
constexpr auto kPixelPoll = 1ms;
// Bit rate of the played stream, kbit/s, and the seconds of tone it repeats.
constexpr int kToneKbps = 128;
constexpr double kToneSeconds = 5;
// What a radio server sends at once to a new listener, bytes; then 4000
// bytes every 250 ms, which is 128 kbit/s.
constexpr std::size_t kBurstBytes = 64 * 1024;
constexpr std::size_t kPieceBytes = 4000;
constexpr auto kPiecePause = 250ms;
// How long the program and gst-launch are measured while they play.
constexpr auto kPlayingSpell = 30s;
// How long each decoder is measured.
constexpr auto kDecoderSpell = 15s;
// Watchdog of a wait for Playing.
constexpr auto kPlayingTimeout = 20s;

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// ---------------------------------------------------------------- processes

using CProcess = orvane::bench::CChildProcess;

fs::path BenchFolder()
{
    return fs::read_symlink("/proc/self/exe").parent_path();
}

fs::path WorkFolder()
{
    return fs::temp_directory_path() / ("orvane-bench-startup-" + std::to_string(::getpid()));
}

// ------------------------------------------------------- X server and pixels

class CXServer
{
public:
    CXServer()
    {
        // The tests' own X server: a display number Xvfb picks itself, and
        // -noreset, so the server does not start over between two windows.
        // -br: a black root, so a window that has not painted reads black.
        server = std::make_unique<orvane::test::DesktopSession>(
            orvane::test::DesktopSession::Options{1280, 1024, false, true, false});
        if (!server->Ready())
            return;
        name = server->Display();
        const auto deadline = Clock::now() + 10s;
        while (display == nullptr && Clock::now() < deadline) {
            display = ::XOpenDisplay(name.c_str());
            if (display == nullptr)
                std::this_thread::sleep_for(20ms);
        }
    }

    ~CXServer()
    {
        if (display != nullptr)
            ::XCloseDisplay(display);
    }

    CXServer(const CXServer&) = delete;
    CXServer& operator=(const CXServer&) = delete;

    bool IsUp() const { return display != nullptr; }
    const std::string& Name() const { return name; }

    // A shown top-level window of the size given; 0 when there is none yet.
    Window FindShownWindow(int width, int height)
    {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (::XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0)
            return 0;
        Window found = 0;
        for (unsigned index = 0; index < count && found == 0; ++index) {
            XWindowAttributes attributes{};
            if (::XGetWindowAttributes(display, children[index], &attributes) != 0 &&
                attributes.map_state == IsViewable && attributes.width == width && attributes.height == height)
                found = children[index];
        }
        if (children != nullptr)
            ::XFree(children);
        return found;
    }

    // Three rows of the window's pixels (at a quarter, half and three
    // quarters of its height), as one string of bytes.
    std::string Rows(Window window, int width, int height)
    {
        std::string rows;
        for (int row = 1; row <= 3; ++row) {
            XImage* image = ::XGetImage(display, window, 0, height * row / 4, static_cast<unsigned>(width), 1,
                                        AllPlanes, ZPixmap);
            if (image == nullptr)
                return {};
            for (int x = 0; x < width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, 0);
                rows.append(reinterpret_cast<const char*>(&pixel), 3);
            }
            XDestroyImage(image);
        }
        return rows;
    }

private:
    std::string name;
    std::unique_ptr<orvane::test::DesktopSession> server;
    Display* display = nullptr;
};

struct TStartFigures
{
    double firstContentMs = -1;
    double idleMiB = -1;
};

// Starts a window process, watches its pixels until it settles and returns
// when its settled content first showed, and its idle memory.
TStartFigures WatchStart(CXServer& x, std::vector<std::string> command, const fs::path& workingFolder)
{
    std::map<std::string, std::string> environment = {
        {"DISPLAY", x.Name()},
        {"QT_QPA_PLATFORM", "xcb"},
        {"ORVANE_AUDIO_SINK", "fakesink"},
        // No session bus: nothing is started for one on the fly.
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"},
    };
    const std::string command0 = fs::path(command.front()).filename().string();
    const fs::path previous = fs::current_path();
    fs::current_path(workingFolder);
    CProcess process(std::move(command), environment);
    fs::current_path(previous);

    std::vector<std::pair<Clock::time_point, std::string>> seen;
    Window window = 0;
    const auto end = process.Started() + kStartWatch;
    while (Clock::now() < end) {
        if (window == 0)
            window = x.FindShownWindow(kWindowWidth, kWindowHeight);
        if (window != 0) {
            std::string rows = x.Rows(window, kWindowWidth, kWindowHeight);
            const auto now = Clock::now();
            if (seen.empty() || seen.back().second != rows)
                seen.emplace_back(now, std::move(rows));
        }
        std::this_thread::sleep_for(kPixelPoll);
    }
    TStartFigures figures;
    if (std::getenv("ORVANE_BENCH_VERBOSE") != nullptr) {
        // Every change of the watched rows, for finding what a start waits on.
        for (const auto& [when, rows] : seen) {
            const auto black = static_cast<std::size_t>(std::count(rows.begin(), rows.end(), '\0'));
            std::fprintf(stderr, "  %s +%.0f ms: %zu of %zu bytes black\n", command0.c_str(),
                         Milliseconds(when - process.Started()), black, rows.size());
        }
    }
    if (seen.empty() || seen.back().second.empty())
        return figures;
    // The first reading that already shows the settled content.
    const std::string& settled = seen.back().second;
    auto first = std::find_if(seen.begin(), seen.end(), [&](const auto& entry) { return entry.second == settled; });
    figures.firstContentMs = Milliseconds(first->first - process.Started());
    std::this_thread::sleep_until(first->first + kIdleSettle);
    figures.idleMiB = process.ResidentMiB();
    return figures;
}

// ------------------------------------------------------------- run folder

// A run folder of the program as an install has it: the executable (a hard
// link, so that its folder is the instance path), the skin, the shipped
// catalogue and ad list, and settings that keep the update worker on this
// machine.
fs::path PrepareProgramFolder()
{
    const fs::path folder = WorkFolder() / "run";
    apptest::PrepareRunFolder(folder);
    fs::create_directories(folder / "cache");
    const fs::path run = ORVANE_RUN_DIR;
    for (const char* data : {"config/fmradios.dll", "config/fmads.dll"})
        if (fs::exists(run / data))
            fs::copy_file(run / data, folder / data, fs::copy_options::overwrite_existing);
    const char* other = std::getenv("ORVANE_BENCH_PROGRAM");
    const fs::path program = other != nullptr && other[0] != '\0' ? fs::path(other) : run / "orvane-radio";
    std::error_code error;
    fs::create_hard_link(program, folder / "orvane-radio", error);
    if (error)
        fs::copy_file(program, folder / "orvane-radio");
    return folder;
}

// ------------------------------------------------------------- streams

orvane::test::LocalHttpServer& Server()
{
    static orvane::test::LocalHttpServer server;
    static const bool routed = [] {
        const std::string mp3 = orvane::test::MakeMp3(kToneSeconds, kToneKbps);
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

// A minute of broadband sound (pink noise, which keeps every sub-band of
// the encoder busy as music does) encoded at 128 kbit/s by GStreamer's
// `encoder` description; the file's path, or "" when encoding failed.
std::string MakeAudioFile(const std::string& encoder, const std::string& extension)
{
    const fs::path path = WorkFolder() / ("sound." + extension);
    fs::create_directories(path.parent_path());
    // 60 s of 1024-sample buffers at 44.1 kHz.
    const std::string command = "gst-launch-1.0 -q audiotestsrc wave=pink-noise volume=0.3 num-buffers=2584 ! "
                                "audio/x-raw,rate=44100,channels=2 ! audioconvert ! " +
                                encoder + " ! filesink location=\"" + path.string() + "\" >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 && fs::file_size(path) > 0 ? path.string() : std::string();
}

struct TPlayingFigures
{
    double cpuPercent = -1;
    double residentMiB = -1; // mean of one sample a second
};

TPlayingFigures MeasurePlaying(CProcess& process, const char* playingLine, Clock::duration spell)
{
    TPlayingFigures figures;
    if (process.WaitForLine(playingLine, kPlayingTimeout).empty())
        return figures;
    const double cpuAtStart = process.CpuSeconds();
    const auto start = Clock::now();
    const auto end = start + spell;
    double residentSum = 0;
    int samples = 0;
    while (Clock::now() < end) {
        std::this_thread::sleep_for(1s);
        residentSum += process.ResidentMiB();
        ++samples;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.cpuPercent = 100.0 * (process.CpuSeconds() - cpuAtStart) / seconds;
    figures.residentMiB = residentSum / samples;
    return figures;
}

std::unique_ptr<CProcess> StartGstPlaybin(const std::string& uri, const std::string& rankOverride)
{
    std::map<std::string, std::string> environment;
    if (!rankOverride.empty())
        environment["GST_PLUGIN_FEATURE_RANK"] = rankOverride;
    return std::make_unique<CProcess>(std::vector<std::string>{"gst-launch-1.0", "playbin", "uri=" + uri,
                                                               "audio-sink=\"fakesink sync=true\"",
                                                               "video-sink=fakesink"},
                                      environment);
}

const char* const kGstPlaying = "to PLAYING";

// ------------------------------------------------------------- benchmarks

// The figures of the summary table.
struct TSummary
{
    double programStartMs = -1, bareStartMs = -1;
    double programIdleMiB = -1, bareIdleMiB = -1;
    double barePlayerStartMs = -1, barePlayerIdleMiB = -1;
    TPlayingFigures program, gst, gstLean;
    std::map<std::string, TPlayingFigures> decoders;
} summary;

void StartToFirstContent(benchmark::State& state)
{
    CXServer x;
    if (!x.IsUp()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    const fs::path folder = PrepareProgramFolder();
    // One window's starts: its command, then what each start measured.
    struct TSeries
    {
        std::vector<std::string> command;
        std::vector<double> times, idle;
    };
    auto bareWindow = [](const char* name) {
        TSeries series;
        series.command = {(BenchFolder() / name).string(), std::to_string(kWindowWidth),
                          std::to_string(kWindowHeight)};
        return series;
    };
    TSeries program;
    program.command = {(folder / "orvane-radio").string()};
    TSeries bare = bareWindow("bench_bare_window");
    TSeries barePlayer = bareWindow("bench_bare_player_window");
    for (auto _ : state) {
        // One untimed round of each: the dynamic linker's and fonts' caches.
        for (TSeries* series : {&program, &bare, &barePlayer})
            WatchStart(x, series->command, folder);
        for (int round = 0; round < kStartRounds; ++round) {
            for (TSeries* series : {&program, &bare, &barePlayer}) {
                const TStartFigures figures = WatchStart(x, series->command, folder);
                if (figures.firstContentMs < 0) {
                    state.SkipWithError("a window showed no content");
                    return;
                }
                series->times.push_back(figures.firstContentMs);
                series->idle.push_back(figures.idleMiB);
            }
        }
    }
    summary.programStartMs = Median(program.times);
    summary.bareStartMs = Median(bare.times);
    summary.barePlayerStartMs = Median(barePlayer.times);
    summary.programIdleMiB = Median(program.idle);
    summary.bareIdleMiB = Median(bare.idle);
    summary.barePlayerIdleMiB = Median(barePlayer.idle);
    state.counters["orvane_ms"] = summary.programStartMs;
    state.counters["bare_qt_ms"] = summary.bareStartMs;
    state.counters["start_ratio"] = summary.programStartMs / summary.bareStartMs;
    state.counters["orvane_idle_MiB"] = summary.programIdleMiB;
    state.counters["bare_qt_idle_MiB"] = summary.bareIdleMiB;
    state.counters["bare_player_ms"] = summary.barePlayerStartMs;
    state.counters["bare_player_idle_MiB"] = summary.barePlayerIdleMiB;
}
BENCHMARK(StartToFirstContent)->Iterations(1)->Unit(benchmark::kSecond);

void PlayingFor30Seconds(benchmark::State& state)
{
    const std::string url = Server().Url("/live.mp3");
    for (auto _ : state) {
        {
            CProcess child({(BenchFolder() / "bench_playing_window").string(), url, (WorkFolder() / "playing").string()},
                           {});
            summary.program = MeasurePlaying(child, "playing", kPlayingSpell);
        }
        {
            std::unique_ptr<CProcess> gst = StartGstPlaybin(url, "");
            summary.gst = MeasurePlaying(*gst, kGstPlaying, kPlayingSpell);
        }
        {
            std::unique_ptr<CProcess> gst = StartGstPlaybin(url, "mpg123audiodec:MAX");
            summary.gstLean = MeasurePlaying(*gst, kGstPlaying, kPlayingSpell);
        }
    }
    if (summary.program.cpuPercent < 0 || summary.gst.cpuPercent < 0 || summary.gstLean.cpuPercent < 0) {
        state.SkipWithError("a process did not play");
        return;
    }
    state.counters["orvane_rss_MiB"] = summary.program.residentMiB;
    state.counters["gst_rss_MiB"] = summary.gst.residentMiB;
    state.counters["rss_ratio"] = summary.program.residentMiB / summary.gst.residentMiB;
    state.counters["orvane_cpu_pct"] = summary.program.cpuPercent;
    state.counters["gst_cpu_pct"] = summary.gst.cpuPercent;
    state.counters["cpu_ratio"] = summary.program.cpuPercent / summary.gst.cpuPercent;
    state.counters["gst_mpg123_rss_MiB"] = summary.gstLean.residentMiB;
    state.counters["rss_ratio_mpg123"] = summary.program.residentMiB / summary.gstLean.residentMiB;
    state.counters["gst_mpg123_cpu_pct"] = summary.gstLean.cpuPercent;
    state.counters["cpu_ratio_mpg123"] = summary.program.cpuPercent / summary.gstLean.cpuPercent;
}
BENCHMARK(PlayingFor30Seconds)->Iterations(1)->Unit(benchmark::kSecond);

// One format, its lean decoder against libav's, each put first in turn.
void Decoders(benchmark::State& state, std::string encoder, std::string extension, std::string lean,
              std::string libav)
{
    const std::string file = MakeAudioFile(encoder, extension);
    if (file.empty()) {
        state.SkipWithError("ffmpeg made no file");
        return;
    }
    TPlayingFigures leanFigures, libavFigures;
    for (auto _ : state) {
        for (const std::string& decoder : {lean, libav}) {
            std::unique_ptr<CProcess> gst = StartGstPlaybin("file://" + file, decoder + ":MAX");
            (decoder == lean ? leanFigures : libavFigures) = MeasurePlaying(*gst, kGstPlaying, kDecoderSpell);
        }
    }
    if (leanFigures.cpuPercent < 0 || libavFigures.cpuPercent < 0) {
        state.SkipWithError("a decoder did not play");
        return;
    }
    summary.decoders[lean] = leanFigures;
    summary.decoders[libav] = libavFigures;
    state.counters[lean + "_rss_MiB"] = leanFigures.residentMiB;
    state.counters[libav + "_rss_MiB"] = libavFigures.residentMiB;
    state.counters["rss_ratio"] = leanFigures.residentMiB / libavFigures.residentMiB;
    state.counters[lean + "_cpu_pct"] = leanFigures.cpuPercent;
    state.counters[libav + "_cpu_pct"] = libavFigures.cpuPercent;
    state.counters["cpu_ratio"] = leanFigures.cpuPercent / libavFigures.cpuPercent;
}
BENCHMARK_CAPTURE(Decoders, mp3, "lamemp3enc target=bitrate cbr=true bitrate=128", "mp3", "mpg123audiodec",
                  "avdec_mp3")
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Decoders, aac, "avenc_aac bitrate=128000 ! mp4mux", "m4a", "faad", "avdec_aac")->Iterations(1)->Unit(benchmark::kSecond);

void PrintSummary()
{
    auto ratio = [](double ours, double floor) { return ours > 0 && floor > 0 ? ours / floor : -1.0; };
    std::printf("\n| figure | orvane-radio | floor | ratio | goal |\n|---|---|---|---|---|\n");
    std::printf("| start to first content (median of %d) | %.0f ms | %.0f ms (bare Qt window) | %.2f | <= 1.10 |\n",
                kStartRounds, summary.programStartMs, summary.bareStartMs,
                ratio(summary.programStartMs, summary.bareStartMs));
    std::printf("| start to first content (median of %d) | %.0f ms | %.0f ms (bare Qt window with GStreamer) | %.2f | |\n",
                kStartRounds, summary.programStartMs, summary.barePlayerStartMs,
                ratio(summary.programStartMs, summary.barePlayerStartMs));
    std::printf("| idle window, resident | %.1f MiB | %.1f MiB (bare Qt window) | %.2f | <= 45 MiB |\n",
                summary.programIdleMiB, summary.bareIdleMiB, ratio(summary.programIdleMiB, summary.bareIdleMiB));
    std::printf("| idle window, resident | %.1f MiB | %.1f MiB (bare Qt window with GStreamer) | %.2f | |\n",
                summary.programIdleMiB, summary.barePlayerIdleMiB,
                ratio(summary.programIdleMiB, summary.barePlayerIdleMiB));
    std::printf("| playing, resident (mean of 30 s) | %.1f MiB | %.1f MiB (gst-launch playbin) | %.2f | <= 1.00 |\n",
                summary.program.residentMiB, summary.gst.residentMiB,
                ratio(summary.program.residentMiB, summary.gst.residentMiB));
    std::printf("| playing, resident (mean of 30 s) | %.1f MiB | %.1f MiB (gst-launch playbin, mpg123 first) | %.2f | |\n",
                summary.program.residentMiB, summary.gstLean.residentMiB,
                ratio(summary.program.residentMiB, summary.gstLean.residentMiB));
    std::printf("| playing, CPU over 30 s | %.2f %% | %.2f %% (gst-launch playbin) | %.2f | <= 1.10 |\n",
                summary.program.cpuPercent, summary.gst.cpuPercent,
                ratio(summary.program.cpuPercent, summary.gst.cpuPercent));
    std::printf("| playing, CPU over 30 s | %.2f %% | %.2f %% (gst-launch playbin, mpg123 first) | %.2f | |\n",
                summary.program.cpuPercent, summary.gstLean.cpuPercent,
                ratio(summary.program.cpuPercent, summary.gstLean.cpuPercent));
    for (const auto& [decoder, figures] : summary.decoders)
        std::printf("| decoder %s (gst-launch playbin, 15 s) | | %.1f MiB, %.2f %% CPU | | |\n", decoder.c_str(),
                    figures.residentMiB, figures.cpuPercent);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Server(); // the tone is made, and the server up, before anything is timed
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    std::error_code error;
    fs::remove_all(WorkFolder(), error);
    return 0;
}
