// The station directory's answers, measured. Run: build/bench/bench_directory
//
// JsonLibrary*: the two JSON libraries of Debian we weighed for the reader,
// each parsing a 1,000-station answer and copying out the fields a result
// row needs, the same work on both sides.
// ReadDirectoryAnswer beside ReadCatalogueStations: our reader on that
// answer, with what a result page does with it (each stream once, each
// row's second line), beside parsing a catalogue of as many stations and
// listing them, the floor a page of the catalogue costs.
// DirectoryAnswerPage beside CataloguePage: the same two reads, each with
// its station page built in the real main window (drawn offscreen) and
// painted once, which lays out every row.
// LocalMatches beside StylePageWalk: the local matches of a search over a
// catalogue of 10,000 stations, beside the walk over every station that a
// style page makes.
// TimerGaps: the longest wait between two ticks of a 20 ms timer of the real
// main window over three seconds while the user searches every 400 ms,
// against directory servers that refuse, answer with an error page or cut
// JSON (EveryServerDown), or answer after two seconds (SlowServer), beside
// the same window searching nothing (Idle): the GUI thread never waits for
// the network.

#include "app/RadioWndRun.h"
#include "catalogue/CatalogueModel.h"
#include "catalogue/StationPages.h"
#include "platform/com/Com.h"
#include "catalogue/XmlFile.h"
#include "directory/DirectoryAnswers.h"
#include "directory/LocalMatches.h"
#include "support/DirectoryFixtures.h"
#include "support/DirectoryImitation.h"
#include "uilib/controls/EditUI.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kAnswerStations = 1000;

struct TRow
{
    std::string name, url, codec, countryCode;
    long long bitrate = 0, clicks = 0;
};

const std::string& Answer()
{
    static const std::string answer = orvane::test::StationListJson(orvane::test::ManyEntries(kAnswerStations));
    return answer;
}

void JsonLibraryNlohmann(benchmark::State& state)
{
    const std::string& answer = Answer();
    for (auto _ : state) {
        std::vector<TRow> rows;
        const nlohmann::json document = nlohmann::json::parse(answer, nullptr, false);
        for (const auto& station : document) {
            TRow row;
            row.name = station.value("name", "");
            row.url = station.value("url_resolved", "");
            row.codec = station.value("codec", "");
            row.countryCode = station.value("countrycode", "");
            row.bitrate = station.value("bitrate", 0LL);
            row.clicks = station.value("clickcount", 0LL);
            rows.push_back(std::move(row));
        }
        benchmark::DoNotOptimize(rows.data());
        if (rows.size() != kAnswerStations)
            state.SkipWithError("wrong station count");
    }
    state.counters["bytes"] = static_cast<double>(answer.size());
}
BENCHMARK(JsonLibraryNlohmann)->Unit(benchmark::kMillisecond);

void JsonLibrarySimdjson(benchmark::State& state)
{
    const simdjson::padded_string answer(Answer());
    simdjson::dom::parser parser;
    for (auto _ : state) {
        std::vector<TRow> rows;
        simdjson::dom::element document;
        if (parser.parse(answer).get(document) != simdjson::SUCCESS)
            state.SkipWithError("parse failed");
        simdjson::dom::array stations;
        if (document.get_array().get(stations) != simdjson::SUCCESS)
            state.SkipWithError("not an array");
        for (simdjson::dom::element station : stations) {
            TRow row;
            std::string_view text;
            if (station["name"].get_string().get(text) == simdjson::SUCCESS)
                row.name = text;
            if (station["url_resolved"].get_string().get(text) == simdjson::SUCCESS)
                row.url = text;
            if (station["codec"].get_string().get(text) == simdjson::SUCCESS)
                row.codec = text;
            if (station["countrycode"].get_string().get(text) == simdjson::SUCCESS)
                row.countryCode = text;
            std::int64_t number = 0;
            if (station["bitrate"].get_int64().get(number) == simdjson::SUCCESS)
                row.bitrate = number;
            if (station["clickcount"].get_int64().get(number) == simdjson::SUCCESS)
                row.clicks = number;
            rows.push_back(std::move(row));
        }
        benchmark::DoNotOptimize(rows.data());
        if (rows.size() != kAnswerStations)
            state.SkipWithError("wrong station count");
    }
    state.counters["bytes"] = static_cast<double>(answer.size());
}
BENCHMARK(JsonLibrarySimdjson)->Unit(benchmark::kMillisecond);

// A catalogue source of `stations` stations in regions of 50, styles in turn.
std::string Catalogue(int stations)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalogue>\n";
    for (int i = 0; i < stations; ++i) {
        if (i % 50 == 0)
            xml += std::string(i > 0 ? "</city>\n" : "") + "<city name=\"地区" + std::to_string(i / 50) + "\">\n";
        xml += "  <station name=\"电台 Radio " + std::to_string(i) + (i % 97 == 0 ? " 音乐" : "") +
               "\" url=\"http://127.0.0.1:9/" + std::to_string(i) + ".mp3\" style=\"S" + std::to_string(i % 24) +
               "\"/>\n";
    }
    xml += "</city>\n<styles>";
    for (int s = 0; s < 24; ++s)
        xml += "<style name=\"S" + std::to_string(s) + "\"/>";
    return xml + "</styles>\n</catalogue>\n<version>1</version>\n";
}

void ReadDirectoryAnswer(benchmark::State& state)
{
    const std::string& answer = Answer();
    std::size_t rows = 0;
    for (auto _ : state) {
        const TStationList list = ReadStationList(answer);
        const std::vector<TDirectoryStation> page = DedupeByStreamAddress(list.stations);
        std::size_t lineBytes = 0;
        for (const TDirectoryStation& station : page)
            lineBytes += StationSubtitle(station).size();
        benchmark::DoNotOptimize(lineBytes);
        rows = page.size();
    }
    if (rows != kAnswerStations)
        state.SkipWithError("wrong station count");
    state.counters["stations"] = static_cast<double>(rows);
}
BENCHMARK(ReadDirectoryAnswer)->Unit(benchmark::kMillisecond);

void ReadCatalogueStations(benchmark::State& state)
{
    const std::string source = Catalogue(kAnswerStations);
    std::size_t stations = 0;
    for (auto _ : state) {
        TiXmlDocument document;
        ParseXmlBytes(&document, source, false);
        CStdPtrArray regions, styles;
        std::int32_t version = 0;
        ParseCatalogueDocument(document, regions, styles, version);
        stations = 0;
        for (int i = 0; i < regions.GetSize(); ++i)
            stations += RegionStations(document, static_cast<const char*>(regions.GetAt(i))).size();
        FreeNameList(regions);
        FreeNameList(styles);
    }
    if (stations != kAnswerStations)
        state.SkipWithError("wrong station count");
    state.counters["stations"] = static_cast<double>(stations);
}
BENCHMARK(ReadCatalogueStations)->Unit(benchmark::kMillisecond);

std::filesystem::path PageRunFolder()
{
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvane-bench-directory-" + std::to_string(::getpid()));
    return folder;
}

// The main window of the run folder, for building pages in.
CRadioWnd* PageWindow()
{
    static CRadioWnd* window = apptest::StartRadioWindow(PageRunFolder());
    return window;
}

void BuildAndPaint(CRadioWnd* window, const char* title, const std::vector<TStation>& stations)
{
    BuildStationPage(*window, title, stations);
    ::InvalidateRect(window->GetHWND(), nullptr, FALSE);
    ::UpdateWindow(window->GetHWND());
}

void DirectoryAnswerPage(benchmark::State& state)
{
    const std::string& answer = Answer();
    CRadioWnd* window = PageWindow();
    std::size_t rows = 0;
    for (auto _ : state) {
        const TStationList list = ReadStationList(answer);
        std::vector<TStation> stations;
        for (const TDirectoryStation& station : DedupeByStreamAddress(list.stations))
            stations.push_back({station.name.c_str(), station.StreamAddress().c_str(), StationSubtitle(station).c_str()});
        BuildAndPaint(window, "搜索: Radio", stations);
        rows = stations.size();
    }
    CStdPtrArray* group = window->paintManager.GetOptionGroup("radios");
    if (rows != kAnswerStations || group == nullptr || group->GetSize() != kAnswerStations)
        state.SkipWithError("wrong station count");
    state.counters["stations"] = static_cast<double>(rows);
}
BENCHMARK(DirectoryAnswerPage)->Unit(benchmark::kMillisecond);

void CataloguePage(benchmark::State& state)
{
    const std::string source = Catalogue(kAnswerStations);
    CRadioWnd* window = PageWindow();
    std::size_t rows = 0;
    for (auto _ : state) {
        TiXmlDocument document;
        ParseXmlBytes(&document, source, false);
        CStdPtrArray regions, styles;
        std::int32_t version = 0;
        ParseCatalogueDocument(document, regions, styles, version);
        std::vector<TStation> stations;
        for (int i = 0; i < regions.GetSize(); ++i)
            for (TStation& station : RegionStations(document, static_cast<const char*>(regions.GetAt(i))))
                stations.push_back(std::move(station));
        FreeNameList(regions);
        FreeNameList(styles);
        BuildAndPaint(window, "地区", stations);
        rows = stations.size();
    }
    if (rows != kAnswerStations)
        state.SkipWithError("wrong station count");
    state.counters["stations"] = static_cast<double>(rows);
}
BENCHMARK(CataloguePage)->Unit(benchmark::kMillisecond);

constexpr int kCatalogueStations = 10000;

const TiXmlDocument& LargeCatalogue()
{
    static const TiXmlDocument document = [] {
        TiXmlDocument parsed;
        ParseXmlBytes(&parsed, Catalogue(kCatalogueStations), false);
        return parsed;
    }();
    return document;
}

void LocalMatchesOverTenThousand(benchmark::State& state)
{
    const TiXmlDocument& catalogue = LargeCatalogue();
    const std::vector<TNamedUrl> own = {{"我的音乐台", "http://127.0.0.1:9/mine"}};
    std::size_t found = 0;
    for (auto _ : state)
        found = LocalMatches(catalogue, own, "音乐").size();
    if (found != (kCatalogueStations + 96) / 97 + 1)
        state.SkipWithError("wrong number of matches");
    state.counters["matches"] = static_cast<double>(found);
}
BENCHMARK(LocalMatchesOverTenThousand)->Unit(benchmark::kMillisecond);

void StylePageWalk(benchmark::State& state)
{
    const TiXmlDocument& catalogue = LargeCatalogue();
    std::size_t found = 0;
    for (auto _ : state)
        found = StyleStations(catalogue, "S3").size();
    if (found == 0)
        state.SkipWithError("no station of the style");
    state.counters["matches"] = static_cast<double>(found);
}
BENCHMARK(StylePageWalk)->Unit(benchmark::kMillisecond);

enum class EServers
{
    Idle,
    EveryServerDown,
    SlowServer,
};

void TimerGaps(benchmark::State& state)
{
    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;
    const auto servers = static_cast<EServers>(state.range(0));
    std::vector<std::unique_ptr<orvane::test::CDirectoryImitation>> imitations;
    auto add = [&](orvane::test::EDirectoryFault fault) {
        imitations.push_back(std::make_unique<orvane::test::CDirectoryImitation>());
        imitations.back()->SetSlowDelay(2s);
        imitations.back()->SetFault(fault);
    };
    if (servers == EServers::EveryServerDown) {
        add(orvane::test::EDirectoryFault::Refused);
        add(orvane::test::EDirectoryFault::HtmlUnavailable);
        add(orvane::test::EDirectoryFault::CutJson);
    } else if (servers == EServers::SlowServer) {
        add(orvane::test::EDirectoryFault::Slow);
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvane-bench-gaps-" + std::to_string(::getpid()));
    apptest::PrepareRunFolder(folder);
    std::string settings = "<config><skin name=\"minLove\" path=\"#\"/><update server=\"http://127.0.0.1:9\"/>";
    for (const auto& imitation : imitations)
        settings += "<directory server=\"" + imitation->BaseUrl() + "\"/>";
    apptest::WriteFile(folder / "config" / "config.xml", settings + "</config>");
    CRadioWnd* window = apptest::StartRadioWindow(folder);
    const HWND hwnd = window->GetHWND();

    constexpr UINT_PTR kProbeTimer = 0x7E57;
    double longest = 0;
    int searches = 0;
    for (auto _ : state) {
        ::SetTimer(hwnd, kProbeTimer, 20, nullptr);
        const auto start = Clock::now();
        auto lastTick = start;
        auto nextSearch = start;
        apptest::PumpUntil(
            [&] {
                const auto now = Clock::now();
                if (servers != EServers::Idle && now >= nextSearch && window->searchEdit != nullptr) {
                    // A new text each time, typed and sent with Enter: the
                    // newer query cancels the older one.
                    window->searchEdit->SetText(searches % 2 == 0 ? "音乐" : "新闻");
                    window->paintManager.SendNotify(window->searchEdit, "textchanged");
                    window->paintManager.SendNotify(window->searchEdit, "return");
                    ++searches;
                    nextSearch += 400ms;
                }
                return now - start >= 3s;
            },
            5s,
            [&](const MSG& message) {
                if (message.message != WM_TIMER || message.wParam != kProbeTimer)
                    return;
                const auto now = Clock::now();
                longest = std::max(longest, std::chrono::duration<double, std::milli>(now - lastTick).count());
                lastTick = now;
            });
        ::KillTimer(hwnd, kProbeTimer);
    }
    std::size_t requests = 0;
    for (const auto& imitation : imitations)
        requests += imitation->Log().size();
    ::DestroyWindow(hwnd);
    apptest::PumpFor(20ms);
    std::filesystem::remove_all(folder);
    if (servers != EServers::Idle && searches == 0)
        state.SkipWithError("no search was made");
    state.counters["longest_gap_ms"] = longest;
    state.counters["searches"] = searches;
    // What reached the servers (a refused connection reaches nothing).
    state.counters["requests_seen"] = static_cast<double>(requests);
}
BENCHMARK(TimerGaps)
    ->Arg(static_cast<int>(EServers::Idle))
    ->Arg(static_cast<int>(EServers::EveryServerDown))
    ->Arg(static_cast<int>(EServers::SlowServer))
    ->ArgName("servers")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    apptest::PrepareRunFolder(PageRunFolder());
    ::CoInitialize(nullptr);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::CoUninitialize();
    std::filesystem::remove_all(PageRunFolder());
    return 0;
}
