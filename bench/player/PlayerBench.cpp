// Playing the mounts of a real Icecast server on 127.0.0.1 (MP3, Ogg Vorbis,
// AAC, and an HLS stream of ffmpeg's hls muxer), the program beside
// `gst-launch-1.0 playbin` on the same mount in the same run. Both sides are
// made alike: the same sink (a fakesink that keeps real time, sync=true), the
// same playbin flags (audio and software volume) and the same element ranks
// (gst-launch is given the ranks this process's player runs with: libcurl's
// HTTP source, mpg123 and faad first).
//
// Audio counts as continuous once the sink has rendered buffers for one
// second with no gap longer than kRenderGap between two of them; the figure
// is the time of the first buffer of that second. The sink tells each buffer
// it renders (after its clock wait): in this process the fakesink's
// "handoff" signal, in gst-launch (-v, silent=false) its "last-message =
// chain" lines.
//
//   ChoiceToContinuousAudio   a warm main window in this process: from a
//                             station's "dbclick" to continuous audio
//   StartToContinuousAudio    a fresh process: the program (this executable
//                             in its child mode, the real window offscreen)
//                             from its station choice, and gst-launch from
//                             its start, each to continuous audio
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
#include "bench/support/RenderWatch.h"
#include "support/IcecastServer.h"

#include <benchmark/benchmark.h>
#include <gst/gst.h>

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
#include <mutex>
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
using orvane::bench::CContinuity;
using orvane::bench::CRenderWatch;
using orvane::bench::kContinuousSpell;

// How long each process is measured while it plays.
constexpr auto kPlayingSpell = 30s;
// Watchdog of one wait for continuous audio.
constexpr auto kPlayingTimeout = 20s;

// The sink both sides play into: real time, and a signal per rendered buffer
// (with no handler connected it costs a check per buffer, on both sides).
const char* const kTimedSink = "fakesink sync=true signal-handoffs=true";

const char* const kChildFlag = "--play-child";
const char* const kChildAgainFlag = "--play-child-again";

// The rest between two timed starts grows by this much each time. A server
// starts a new listener of an Ogg stream at a page, and ffmpeg writes pages
// of about a second: starts a fixed time apart would meet the stream at the
// same point of its page each time and measure one phase only.
constexpr auto kRest = 300ms;
constexpr auto kRestStep = 230ms;

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

// Pumps until the sink of the window's player has rendered continuous audio
// (the watch armed before the choice); what it rendered, with a default
// Continuous() after the watchdog.
CContinuity WaitForContinuousAudio()
{
    PumpUntil([] { return CRenderWatch::Instance().Now().Continuous() != Clock::time_point(); }, kPlayingTimeout);
    return CRenderWatch::Instance().Now();
}

// A station's double click and what its sink then rendered, timed from the
// click; the watch is disarmed again afterwards, so that nothing of the
// benchmark's is left in the buffers' way while it plays.
struct TChoice
{
    Clock::time_point chosen;
    CContinuity rendered;
};

TChoice ChooseStation(CRadioWnd* window, CControlUI* station)
{
    CRenderWatch::Instance().Arm();
    TChoice choice{Clock::now(), {}};
    window->paintManager.SendNotify(station, "dbclick", 0, 0, false);
    choice.rendered = WaitForContinuousAudio();
    CRenderWatch::Instance().Disarm();
    return choice;
}

// Chooses `station` in `window` and pumps until its audio is continuous;
// prints `tag`, the steady clock at continuous audio (nanoseconds, the clock
// the parent reads too), and milliseconds from the choice to continuous audio
// and to the first rendered buffer. False when it did not play.
bool ChooseAndReport(CRadioWnd* window, CControlUI* station, const char* tag)
{
    const auto [chosen, rendered] = ChooseStation(window, station);
    if (rendered.Continuous() == Clock::time_point())
        return false;
    std::printf("%s %lld %.3f %.3f\n", tag,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(rendered.Continuous().time_since_epoch())
                        .count()),
                Milliseconds(rendered.Continuous() - chosen), Milliseconds(rendered.First() - chosen));
    std::fflush(stdout);
    return true;
}

// The child mode: start the program's window, choose the station and say
// when its audio is continuous ("playing ..."). With `again`, the user then
// stops, rests and chooses the same stream once more (a second station of
// the page), so that a later choice in the same process is timed too
// ("again ..."). Then it plays until killed.
int RunChild(const std::string& url, const std::filesystem::path& folder, bool again)
{
    PrepareRunFolder(folder, {url, url});
    // As the program starts: GStreamer and its plugins load while the window
    // is built.
    PreparePlayer();
    ::CoInitialize(nullptr);
    CRadioWnd* window = apptest::StartRadioWindow(folder);
    const std::vector<CControlUI*> stations = OpenStationPage(window);
    if (stations.size() != 2)
        return 2;
    if (!ChooseAndReport(window, stations[0], "playing"))
        return 3;
    if (again) {
        window->paintManager.SendNotify(window->pauseButton, "click", 0, 0, false);
        PumpUntil([&] { return window->playState == wmppsStopped; }, 5s);
        PumpUntil([] { return false; }, kRest);
        if (!ChooseAndReport(window, stations[1], "again"))
            return 3;
    }
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

std::unique_ptr<CChildProcess> StartProgram(const std::string& url, bool again = false)
{
    return std::make_unique<CChildProcess>(
        std::vector<std::string>{SelfPath(), again ? kChildAgainFlag : kChildFlag, url, ChildFolder().string()},
        std::map<std::string, std::string>{{"ORVANE_AUDIO_SINK", kTimedSink}});
}

// The ranks this process's player gives the elements it prefers, as
// GST_PLUGIN_FEATURE_RANK says them, so that gst-launch picks the same HTTP
// source and decoders. Read once a player has started GStreamer.
std::string& PlayerRanks()
{
    static std::string ranks;
    return ranks;
}

void ReadPlayerRanks()
{
    std::string ranks;
    for (const char* name : {"curlhttpsrc", "souphttpsrc", "mpg123audiodec", "avdec_mp3", "faad", "avdec_aac"}) {
        GstPluginFeature* feature = gst_registry_lookup_feature(gst_registry_get(), name);
        if (feature == nullptr)
            continue;
        ranks += (ranks.empty() ? "" : ",") + std::string(name) + ":" +
                 std::to_string(gst_plugin_feature_get_rank(feature));
        gst_object_unref(feature);
    }
    PlayerRanks() = ranks;
}

// gst-launch playbin on `url` into `sink`; with `verbose`, it prints what
// its elements' properties become (the sink's last-message included). Made
// like the program's pipeline unless `asInstalled`: then GStreamer's own
// ranks (libsoup's HTTP source, which takes ICY metadata out with icydemux;
// libav's MP3 decoder) and playbin's default flags.
std::unique_ptr<CChildProcess> StartGstLaunch(const std::string& url, const std::string& sink, bool verbose,
                                              bool asInstalled = false)
{
    std::vector<std::string> arguments{"gst-launch-1.0"};
    if (verbose)
        arguments.push_back("-v");
    arguments.push_back("playbin");
    arguments.push_back("uri=" + url);
    if (!asInstalled)
        arguments.push_back("flags=audio+soft-volume");
    arguments.push_back("audio-sink=" + sink);
    return std::make_unique<CChildProcess>(
        arguments, std::map<std::string, std::string>{{"GST_PLUGIN_FEATURE_RANK", asInstalled ? "" : PlayerRanks()}});
}

const char* const kProgramPlaying = "playing ";

// Reads the lines of a gst-launch started verbose into a sink with
// silent=false until its sink has rendered continuous audio.
CContinuity WaitForGstRendering(CChildProcess& child)
{
    CContinuity rendered;
    const auto deadline = Clock::now() + kPlayingTimeout;
    while (Clock::now() < deadline && rendered.Continuous() == Clock::time_point()) {
        bool timedOut = false;
        const std::string line = child.NextLine(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()), timedOut);
        if (child.Ended())
            break;
        if (line.find("last-message = chain") != std::string::npos)
            rendered.Rendered(Clock::now());
    }
    return rendered;
}

// Reads gst-launch's output until its pipeline has been PLAYING for
// kContinuousSpell with no drop back to PAUSED: the start of the spell it is
// measured in while it plays, where nothing prints its buffers.
bool WaitForGstPlaying(CChildProcess& child)
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
            return true;
        if (child.Ended())
            break;
        if (line.find("PLAYING") != std::string::npos && line.find("etting pipeline to") != std::string::npos)
            playing = Clock::now();
        else if (line.find("PAUSED") != std::string::npos && playing != Clock::time_point())
            playing = Clock::time_point();
    }
    return false;
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
    double programFreshMs[kMountCount] = {};   // from the choice
    double programStartMs[kMountCount] = {};   // from the process's start
    double programAgainMs[kMountCount] = {};   // a later choice in that process
    double gstFreshMs[kMountCount] = {};       // from the process's start
} figures;

void ChoiceToContinuousAudio(benchmark::State& state)
{
    const int mount = static_cast<int>(state.range(0));
    state.SetLabel(kMountNames[mount]);
    const std::filesystem::path folder = ChildFolder().string() + "-warm";
    PrepareRunFolder(folder, MountUrls());
    ::setenv("ORVANE_AUDIO_SINK", kTimedSink, 1);
    CRadioWnd* window = apptest::StartRadioWindow(folder);
    const std::vector<CControlUI*> stations = OpenStationPage(window);
    if (stations.size() != MountUrls().size()) {
        state.SkipWithError("no stations on the page");
        return;
    }
    std::vector<double> times, firstAudio;
    int pauses = 0;
    int round = 0;
    for (auto _ : state) {
        const auto [chosen, rendered] = ChooseStation(window, stations[static_cast<std::size_t>(mount)]);
        if (rendered.Continuous() == Clock::time_point()) {
            state.SkipWithError("the stream did not play");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(rendered.Continuous() - chosen).count());
        times.push_back(Milliseconds(rendered.Continuous() - chosen));
        firstAudio.push_back(Milliseconds(rendered.First() - chosen));
        pauses += rendered.Pauses();
        // The user's stop, out of the timing: the next choice starts from a
        // player that holds no stream.
        window->paintManager.SendNotify(window->pauseButton, "click", 0, 0, false);
        PumpUntil([&] { return window->playState == wmppsStopped; }, 5s);
        PumpUntil([] { return false; }, kRest + kRestStep * ++round);
    }
    figures.warmMs[mount] = Median(times);
    state.counters["first_audio_ms"] = Median(firstAudio);
    state.counters["pauses"] = pauses;
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
    std::vector<double> times, chooseTimes, againTimes, firstAudio;
    int pauses = 0;
    int round = 0;
    for (auto _ : state) {
        std::unique_ptr<CChildProcess> child =
            program ? StartProgram(url, true) : StartGstLaunch(url, std::string(kTimedSink) + " silent=false", true);
        Clock::time_point continuous;
        if (program) {
            const std::string line = child->WaitForLine(kProgramPlaying, kPlayingTimeout + 10s);
            long long steadyNs = 0;
            double sinceChoice = 0, firstSinceChoice = 0;
            if (std::sscanf(line.c_str(), "playing %lld %lf %lf", &steadyNs, &sinceChoice, &firstSinceChoice) == 3) {
                continuous = Clock::time_point(std::chrono::nanoseconds(steadyNs));
                chooseTimes.push_back(sinceChoice);
                firstAudio.push_back(firstSinceChoice);
            }
            // Out of the timing: the same stream chosen again in that process.
            const std::string again = child->WaitForLine("again ", kPlayingTimeout + 10s);
            if (std::sscanf(again.c_str(), "again %lld %lf", &steadyNs, &sinceChoice) == 2)
                againTimes.push_back(sinceChoice);
        } else {
            const CContinuity rendered = WaitForGstRendering(*child);
            continuous = rendered.Continuous();
            if (continuous != Clock::time_point()) {
                firstAudio.push_back(Milliseconds(rendered.First() - child->Started()));
                pauses += rendered.Pauses();
            }
        }
        if (continuous == Clock::time_point()) {
            state.SkipWithError("the process did not play");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(continuous - child->Started()).count());
        times.push_back(Milliseconds(continuous - child->Started()));
        child.reset();
        std::this_thread::sleep_for(kRest + kRestStep * ++round);
    }
    std::filesystem::remove_all(ChildFolder());
    if (times.empty())
        return;
    state.counters["first_audio_ms"] = Median(firstAudio);
    if (program) {
        // From the choice in a window just made, as the warm figure counts.
        figures.programFreshMs[mount] = Median(chooseTimes);
        figures.programStartMs[mount] = Median(times);
        figures.programAgainMs[mount] = Median(againTimes);
        state.counters["choice_to_continuous_ms"] = Median(chooseTimes);
        state.counters["again_to_continuous_ms"] = Median(againTimes);
    } else {
        figures.gstFreshMs[mount] = Median(times);
        state.counters["pauses"] = pauses;
    }
}
BENCHMARK(StartToContinuousAudio)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

struct PlayingFigures
{
    double cpuSeconds = -1;
    double residentMiB = -1; // mean of one sample a second
    double peakMiB = -1;     // high-water mark of the resident set
    std::map<std::string, double> threadCpuSeconds; // by thread name
    std::string plugins;                            // GStreamer plugins mapped
};

// CPU seconds of each thread of `pid` so far, summed by thread name.
std::map<std::string, double> ThreadCpuSeconds(pid_t pid)
{
    std::map<std::string, double> seconds;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        const std::string text = orvane::bench::ReadProcFile((task.path() / "stat").string());
        const std::size_t open = text.find('('), close = text.rfind(')');
        const double cpu = orvane::bench::StatCpuSeconds(text);
        if (open == std::string::npos || close == std::string::npos || cpu < 0)
            continue;
        seconds[text.substr(open + 1, close - open - 1)] += cpu;
    }
    return seconds;
}

// The GStreamer plugins `pid` has mapped, by library name.
std::string MappedPlugins(pid_t pid)
{
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::vector<std::string> names;
    for (std::string line; std::getline(maps, line);) {
        const std::size_t at = line.find("gstreamer-1.0/libgst");
        if (at == std::string::npos)
            continue;
        std::string name = line.substr(at + 20);
        name = name.substr(0, name.find(".so"));
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

PlayingFigures MeasurePlaying(CChildProcess& child, bool program)
{
    PlayingFigures result;
    const bool playing =
        program ? !child.WaitForLine(kProgramPlaying, kPlayingTimeout + 10s).empty() : WaitForGstPlaying(child);
    if (!playing)
        return result;
    const double cpuAtStart = child.CpuSeconds();
    const std::map<std::string, double> threadsAtStart = ThreadCpuSeconds(child.Pid());
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
    result.threadCpuSeconds = ThreadCpuSeconds(child.Pid());
    for (auto& [name, seconds] : result.threadCpuSeconds) {
        const auto before = threadsAtStart.find(name);
        if (before != threadsAtStart.end())
            seconds -= before->second;
    }
    result.plugins = MappedPlugins(child.Pid());
    return result;
}

PlayingFigures playingProgram, playingGst, playingGstAsInstalled;
int steadyBufferings = -1;

void PlayingFor30Seconds(benchmark::State& state)
{
    PlayingFigures program, gst, asInstalled;
    int bufferings = 0;
    for (auto _ : state) {
        {
            std::unique_ptr<CChildProcess> child = StartProgram(MountUrls()[0]);
            program = MeasurePlaying(*child, true);
        }
        {
            std::unique_ptr<CChildProcess> child = StartGstLaunch(MountUrls()[0], kTimedSink, false);
            gst = MeasurePlaying(*child, false);
        }
        {
            std::unique_ptr<CChildProcess> child = StartGstLaunch(MountUrls()[0], kTimedSink, false, true);
            asInstalled = MeasurePlaying(*child, false);
        }
        // Buffering transitions in 30 s of steady play, in a window of this
        // process (its play state read as it changes).
        const std::filesystem::path folder = ChildFolder().string() + "-steady";
        PrepareRunFolder(folder, {MountUrls()[0]});
        ::setenv("ORVANE_AUDIO_SINK", kTimedSink, 1);
        CRadioWnd* window = apptest::StartRadioWindow(folder);
        const std::vector<CControlUI*> stations = OpenStationPage(window);
        if (!stations.empty()) {
            const bool continuous = ChooseStation(window, stations[0]).rendered.Continuous() != Clock::time_point();
            if (continuous) {
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
    playingProgram = program;
    playingGst = gst;
    playingGstAsInstalled = asInstalled;
    steadyBufferings = bufferings;
    const double spell = std::chrono::duration<double>(kPlayingSpell).count();
    state.counters["orvane_cpu_pct"] = 100.0 * program.cpuSeconds / spell;
    state.counters["gst_cpu_pct"] = 100.0 * gst.cpuSeconds / spell;
    state.counters["cpu_ratio"] = gst.cpuSeconds > 0 ? program.cpuSeconds / gst.cpuSeconds : 0;
    state.counters["gst_as_installed_cpu_pct"] = 100.0 * asInstalled.cpuSeconds / spell;
    state.counters["gst_as_installed_rss_MiB"] = asInstalled.residentMiB;
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
    ::setenv("ORVANE_AUDIO_SINK", kTimedSink, 0);
    if (argc == 4 && std::strcmp(argv[1], kChildFlag) == 0)
        return RunChild(argv[2], argv[3], false);
    if (argc == 4 && std::strcmp(argv[1], kChildAgainFlag) == 0)
        return RunChild(argv[2], argv[3], true);

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
    {
        // A player starts GStreamer with the ranks it plays with.
        orvane::test::PlayerFixture player;
        ReadPlayerRanks();
    }
    std::printf("element ranks on both sides: %s\n", PlayerRanks().c_str());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::CoUninitialize();
    std::printf("\nchoice to continuous audio (ratio to gst-launch's start to continuous audio):\n");
    for (int mount = 0; mount < kMountCount; ++mount) {
        const double gst = figures.gstFreshMs[mount];
        if (gst <= 0)
            continue;
        std::printf("%s: warm %.0f ms (%.2f x), fresh process %.0f ms (%.2f x; %.0f ms from its start; "
                    "its second choice %.0f ms); gst-launch %.0f ms\n",
                    kMountNames[mount], figures.warmMs[mount], figures.warmMs[mount] / gst,
                    figures.programFreshMs[mount], figures.programFreshMs[mount] / gst,
                    figures.programStartMs[mount], figures.programAgainMs[mount], gst);
    }
    if (playingGst.cpuSeconds > 0) {
        const double spell = std::chrono::duration<double>(kPlayingSpell).count();
        std::printf("playing 30 s: CPU %.2f %% against %.2f %% (%.2f x), resident %.1f MiB against %.1f MiB "
                    "(%.2f x), peak %.1f MiB against %.1f MiB; Buffering transitions %d\n",
                    100 * playingProgram.cpuSeconds / spell, 100 * playingGst.cpuSeconds / spell,
                    playingProgram.cpuSeconds / playingGst.cpuSeconds, playingProgram.residentMiB,
                    playingGst.residentMiB, playingProgram.residentMiB / playingGst.residentMiB,
                    playingProgram.peakMiB, playingGst.peakMiB, steadyBufferings);
        if (playingGstAsInstalled.cpuSeconds > 0)
            std::printf("  gst-launch as installed: CPU %.2f %% (program %.2f x), resident %.1f MiB\n",
                        100 * playingGstAsInstalled.cpuSeconds / spell,
                        playingProgram.cpuSeconds / playingGstAsInstalled.cpuSeconds,
                        playingGstAsInstalled.residentMiB);
        for (const auto* side : {&playingProgram, &playingGst, &playingGstAsInstalled}) {
            std::printf("  %s: plugins %s\n  CPU by thread:",
                        side == &playingProgram ? "orvane-radio"
                        : side == &playingGst   ? "gst-launch"
                                                : "gst-launch as installed",
                        side->plugins.c_str());
            for (const auto& [name, seconds] : side->threadCpuSeconds)
                if (seconds > 0)
                    std::printf(" %s %.2f s", name.c_str(), seconds);
            std::printf("\n");
        }
    }
    return 0;
}
