// The station directory's answers, measured. Run: build/bench/bench_directory
//
// JsonLibrary/*: the two JSON libraries of Debian we weighed for the reader,
// each parsing a 1,000-station answer and copying out the fields a result
// row needs, the same work on both sides.

#include "support/DirectoryFixtures.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <string>
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

} // namespace

BENCHMARK_MAIN();
