// How long a large catalogue takes: reading and parsing a file of 10,000
// stations in 300 regions, building the category page from it, and building
// the station page of a region with 2,000 stations, in the real main window
// drawn offscreen. Run: build/bench/bench_catalogue

#include "app/RadioWndRun.h"
#include "catalogue/CatalogueModel.h"
#include "catalogue/XmlFile.h"
#include "platform/com/Com.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kRegions = 300;
constexpr int kStations = 10000;
// The first region holds this many stations; the others share the rest.
constexpr int kLargestRegionStations = 2000;
constexpr int kStyles = 24;

const char* const kLargestRegion = "R0";

std::filesystem::path RunFolder()
{
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvane-bench-catalogue-" + std::to_string(::getpid()));
    return folder;
}

std::string MakeLargeCatalogue()
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalogue>\n";
    const int othersEach = (kStations - kLargestRegionStations) / (kRegions - 1);
    int made = 0;
    for (int r = 0; r < kRegions; ++r) {
        int count = r == 0 ? kLargestRegionStations : othersEach;
        if (r == kRegions - 1)
            count = kStations - made;
        xml += "<city name=\"R" + std::to_string(r) + "\">\n";
        for (int s = 0; s < count; ++s, ++made) {
            xml += "  <station name=\"电台 " + std::to_string(r) + "-" + std::to_string(s) +
                   "\" url=\"http://127.0.0.1:9/" + std::to_string(r) + "/" + std::to_string(s) +
                   ".mp3\" style=\"S" + std::to_string(made % kStyles) + "\"/>\n";
        }
        xml += "</city>\n";
    }
    xml += "<styles>";
    for (int s = 0; s < kStyles; ++s)
        xml += "<style name=\"S" + std::to_string(s) + "\"/>";
    xml += "</styles>\n</catalogue>\n<version>1</version>\n";
    return xml;
}

// A run folder with the real skin, quiet settings and the large catalogue.
void PrepareLargeCatalogueFolder()
{
    apptest::PrepareRunFolder(RunFolder());
    apptest::WriteScrambled(RunFolder() / "config" / "fmradios.dll", MakeLargeCatalogue());
}

std::string CataloguePath() { return (RunFolder() / "config" / "fmradios.dll").string(); }

void Pump() { apptest::PumpFor(std::chrono::milliseconds(0)); }

CRadioWnd* StartWindow() { return apptest::StartRadioWindow(RunFolder()); }

// Paints the window once, which lays out every control of the shown page.
void LayOutAndPaint(CRadioWnd* window)
{
    ::InvalidateRect(window->GetHWND(), nullptr, FALSE);
    ::UpdateWindow(window->GetHWND());
}

void ReadAndParseCatalogue(benchmark::State& state)
{
    const std::string path = CataloguePath();
    CStdPtrArray regions;
    CStdPtrArray styles;
    std::int32_t version = 0;
    for (auto _ : state) {
        TiXmlDocument document;
        ReadXmlFile(&document, path.c_str(), true);
        ParseCatalogueDocument(document, regions, styles, version);
        benchmark::DoNotOptimize(regions.GetSize());
    }
    if (regions.GetSize() != kRegions || styles.GetSize() != kStyles)
        state.SkipWithError("the catalogue did not parse");
    state.counters["stations"] = kStations;
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    FreeNameList(regions);
    FreeNameList(styles);
}
BENCHMARK(ReadAndParseCatalogue)->Unit(benchmark::kMillisecond);

void BuildCategoryPage(benchmark::State& state)
{
    CRadioWnd* window = StartWindow();
    for (auto _ : state)
        window->BuildCategoryPage();
    if (window->sortsPanel->GetCount() < kRegions / 11)
        state.SkipWithError("the category page holds too few rows");
    ::DestroyWindow(window->GetHWND());
    Pump();
}
BENCHMARK(BuildCategoryPage)->Unit(benchmark::kMillisecond);

void BuildAndPaintCategoryPage(benchmark::State& state)
{
    CRadioWnd* window = StartWindow();
    for (auto _ : state) {
        window->BuildCategoryPage();
        LayOutAndPaint(window);
    }
    ::DestroyWindow(window->GetHWND());
    Pump();
}
BENCHMARK(BuildAndPaintCategoryPage)->Unit(benchmark::kMillisecond);

void BuildRegionPage(benchmark::State& state)
{
    CRadioWnd* window = StartWindow();
    for (auto _ : state)
        window->ShowRegionStations(kLargestRegion);
    // The title row and one row per three stations.
    if (window->radiosContent->GetCount() != 1 + (kLargestRegionStations + 2) / 3)
        state.SkipWithError("the region page has the wrong number of rows");
    state.counters["stations"] = kLargestRegionStations;
    ::DestroyWindow(window->GetHWND());
    Pump();
}
BENCHMARK(BuildRegionPage)->Unit(benchmark::kMillisecond);

void BuildAndPaintRegionPage(benchmark::State& state)
{
    CRadioWnd* window = StartWindow();
    window->sortsPanel->SetVisible(false);
    window->radiosPanel->SetVisible(true);
    for (auto _ : state) {
        window->ShowRegionStations(kLargestRegion);
        LayOutAndPaint(window);
    }
    ::DestroyWindow(window->GetHWND());
    Pump();
}
BENCHMARK(BuildAndPaintRegionPage)->Unit(benchmark::kMillisecond);

// A style page looks through every station of the catalogue.
void BuildStylePage(benchmark::State& state)
{
    CRadioWnd* window = StartWindow();
    for (auto _ : state)
        window->ShowStyleStations("s3");
    ::DestroyWindow(window->GetHWND());
    Pump();
}
BENCHMARK(BuildStylePage)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("ORVANE_AUDIO_SINK", "fakesink", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    PrepareLargeCatalogueFolder();
    ::CoInitialize(nullptr);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::CoUninitialize();
    std::filesystem::remove_all(RunFolder());
    return 0;
}
