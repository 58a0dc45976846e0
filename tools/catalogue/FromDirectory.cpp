#include "FromDirectory.h"

#include "directory/DirectoryAnswers.h"
#include "directory/DirectoryRequests.h"
#include "platform/shell/SafeFile.h"

#include <tinyxml.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

namespace {

// A country's answer is a few megabytes; the bound is far above the largest.
constexpr std::size_t kMaxAnswerBytes = 64 * 1024 * 1024;
constexpr std::size_t kStyles = 12;
const char* const kOther = "其他";

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> Tags(const std::string& list)
{
    std::vector<std::string> tags;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        std::string tag = Trimmed(list.substr(start, end - start));
        std::transform(tag.begin(), tag.end(), tag.begin(), [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        });
        if (!tag.empty())
            tags.push_back(tag);
        start = end + 1;
    }
    return tags;
}

std::string TodaysVersion()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday);
    return text;
}

} // namespace

int CatalogueFromDirectory(const char* inputPath, const char* outputPath, const char* version)
{
    std::ifstream input(inputPath, std::ios::binary);
    if (!input) {
        std::cerr << "orvane-catalogue: cannot read " << inputPath << "\n";
        return 1;
    }
    std::string body;
    body.assign(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
    TDirectoryLimits limits;
    limits.maxBodyBytes = kMaxAnswerBytes;
    limits.maxStations = 200000;
    const TStationList list = ReadStationList(body, limits);
    if (list.status != EAnswerStatus::Ok) {
        std::cerr << "orvane-catalogue: " << inputPath << " is not a station list of the directory\n";
        return 1;
    }
    std::string versionText = version != nullptr ? version : TodaysVersion();
    std::int32_t versionNumber = 0;
    const auto [end, error] = std::from_chars(versionText.data(), versionText.data() + versionText.size(), versionNumber);
    if (error != std::errc() || end != versionText.data() + versionText.size() || versionNumber <= 0) {
        std::cerr << "orvane-catalogue: the version must be a positive whole number\n";
        return 2;
    }

    std::vector<TDirectoryStation> taken;
    for (const TDirectoryStation& station : list.stations) {
        if (station.lastCheckOk && !Trimmed(station.name).empty())
            taken.push_back(station);
    }
    taken = DedupeByStreamAddress(std::move(taken));
    if (taken.empty()) {
        std::cerr << "orvane-catalogue: " << inputPath << " holds no working station\n";
        return 1;
    }

    const std::vector<std::string> styles = CommonTags(taken, kStyles);
    bool otherStyle = false;
    std::map<std::string, std::vector<const TDirectoryStation*>> regions;
    std::map<const TDirectoryStation*, std::string> styleOf;
    for (const TDirectoryStation& station : taken) {
        std::string region = Trimmed(station.state);
        regions[region.empty() ? kOther : region].push_back(&station);
        std::string style = kOther;
        for (const std::string& tag : Tags(station.tags)) {
            if (std::find(styles.begin(), styles.end(), tag) != styles.end()) {
                style = tag;
                break;
            }
        }
        otherStyle = otherStyle || style == kOther;
        styleOf[&station] = style;
    }
    std::vector<std::pair<std::string, std::vector<const TDirectoryStation*>>> order(regions.begin(), regions.end());
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        const bool aOther = a.first == kOther, bOther = b.first == kOther;
        if (aOther != bOther)
            return bOther;
        return a.second.size() > b.second.size();
    });

    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    document.LinkEndChild(new TiXmlComment(
        " Made by orvane-catalogue from-directory from a station directory answer: checked stations, "
        "regions from their states, styles from their tags. "));
    auto* root = new TiXmlElement("catalogue");
    document.LinkEndChild(root);
    for (const auto& [name, stations] : order) {
        auto* city = new TiXmlElement("city");
        city->SetAttribute("name", name);
        for (const TDirectoryStation* station : stations) {
            auto* element = new TiXmlElement("station");
            element->SetAttribute("name", Trimmed(station->name));
            element->SetAttribute("url", station->StreamAddress());
            element->SetAttribute("style", styleOf[station]);
            city->LinkEndChild(element);
        }
        root->LinkEndChild(city);
    }
    auto* styleList = new TiXmlElement("styles");
    for (const std::string& style : styles) {
        auto* element = new TiXmlElement("style");
        element->SetAttribute("name", style);
        styleList->LinkEndChild(element);
    }
    if (otherStyle) {
        auto* element = new TiXmlElement("style");
        element->SetAttribute("name", kOther);
        styleList->LinkEndChild(element);
    }
    root->LinkEndChild(styleList);
    auto* versionElement = new TiXmlElement("version");
    versionElement->LinkEndChild(new TiXmlText(std::to_string(versionNumber)));
    document.LinkEndChild(versionElement);

    TiXmlPrinter printer;
    printer.SetIndent("  ");
    document.Accept(&printer);
    const TReplaceResult replaced = ReplaceFileContents(outputPath, printer.Str());
    if (!replaced) {
        std::cerr << "orvane-catalogue: cannot write " << outputPath << " (" << replaced.step << ": "
                  << std::strerror(replaced.error) << ")\n";
        return 1;
    }
    std::cout << "regions\t" << order.size() << "\tstyles\t" << styles.size() + (otherStyle ? 1 : 0) << "\tstations\t"
              << taken.size() << "\tleft out\t" << list.received - taken.size() << "\tversion\t" << versionNumber
              << "\n";
    return 0;
}
