// The data files shipped in config/, read with the player's own reader and
// catalogue model: the catalogue (every region and style reachable, names
// that fit their buffers and attribute lists), the advertisement list, the
// settings file, and the offline station that must play without a network.

#include "catalogue/CatalogueModel.h"
#include "catalogue/XmlFile.h"
#include "uilib/core/StdPtrArray.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <tinyxml.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

namespace {

constexpr const char* kSourceDir = ORVANE_SOURCE_DIR;
constexpr const char* kRunDir = ORVANE_RUN_DIR;
// Longest name, in bytes, that the catalogue's 50-byte name buffers hold.
constexpr std::size_t kLongestName = kCatalogueNameBytes - 1;
// Bounds of the offline station's length, seconds.
constexpr double kShortestOfflineSeconds = 10.0;
constexpr double kLongestOfflineSeconds = 15.0;

std::string SourcePath(const char* relative)
{
    return std::string(kSourceDir) + "/" + relative;
}

const char* Attribute(const TiXmlElement& element, int position)
{
    const TiXmlAttribute* attribute = element.FirstAttribute();
    for (int i = 0; attribute != nullptr && i < position; ++i)
        attribute = attribute->Next();
    return attribute != nullptr ? attribute->Value() : nullptr;
}

int AttributeCount(const TiXmlElement& element)
{
    int count = 0;
    for (const TiXmlAttribute* attribute = element.FirstAttribute(); attribute != nullptr; attribute = attribute->Next())
        ++count;
    return count;
}

// A name goes between double quotes into an attribute list and into a
// 50-byte buffer.
void ExpectUsableName(const char* name)
{
    ASSERT_NE(name, nullptr);
    EXPECT_GT(std::strlen(name), 0u);
    EXPECT_LE(std::strlen(name), kLongestName) << name;
    EXPECT_EQ(std::strchr(name, '"'), nullptr) << name;
}

struct TCatalogue
{
    TiXmlDocument document;
    CStdPtrArray regions;
    CStdPtrArray styles;
    std::int32_t version = 0;

    TCatalogue()
    {
        ReadXmlFile(&document, SourcePath("config/fmradios.xml").c_str(), false);
        ParseCatalogueDocument(document, regions, styles, version);
    }
    ~TCatalogue()
    {
        FreeNameList(regions);
        FreeNameList(styles);
    }
    const char* Region(int i) const { return static_cast<const char*>(regions.GetAt(i)); }
    const char* Style(int i) const { return static_cast<const char*>(styles.GetAt(i)); }
};

} // namespace

TEST(ShippedCatalogue, ListsTheRegionsAndStylesOfChina)
{
    TCatalogue catalogue;
    EXPECT_EQ(catalogue.version, 1);
    ASSERT_GE(catalogue.regions.GetSize(), 31);
    EXPECT_STREQ(catalogue.Region(0), "中央");
    ASSERT_GE(catalogue.styles.GetSize(), 10);

    std::set<std::string> regionNames;
    for (int i = 0; i < catalogue.regions.GetSize(); ++i)
    {
        ExpectUsableName(catalogue.Region(i));
        EXPECT_TRUE(regionNames.insert(catalogue.Region(i)).second) << "region twice: " << catalogue.Region(i);
        // A region without stations opens an empty page.
        EXPECT_FALSE(RegionStations(catalogue.document, catalogue.Region(i)).empty()) << catalogue.Region(i);
    }
    std::set<std::string> styleNames;
    for (int i = 0; i < catalogue.styles.GetSize(); ++i)
    {
        ExpectUsableName(catalogue.Style(i));
        EXPECT_TRUE(styleNames.insert(catalogue.Style(i)).second) << "style twice: " << catalogue.Style(i);
        EXPECT_FALSE(StyleStations(catalogue.document, catalogue.Style(i)).empty()) << catalogue.Style(i);
    }
}

TEST(ShippedCatalogue, EveryStationHasANameAnAddressAndAListedStyle)
{
    TCatalogue catalogue;
    std::set<std::string> styleNames;
    for (int i = 0; i < catalogue.styles.GetSize(); ++i)
        styleNames.insert(catalogue.Style(i));

    const TiXmlElement* root = catalogue.document.RootElement();
    ASSERT_NE(root, nullptr);
    int stations = 0;
    for (const TiXmlElement* region = root->FirstChildElement(); region != nullptr;
         region = region->NextSiblingElement())
    {
        if (!IsRegionElement(*region))
            continue;
        std::set<std::string> namesInRegion;
        for (const TiXmlElement* station = region->FirstChildElement(); station != nullptr;
             station = station->NextSiblingElement())
        {
            SCOPED_TRACE(Attribute(*station, 0) != nullptr ? Attribute(*station, 0) : "(no name)");
            ASSERT_EQ(AttributeCount(*station), 3);
            ExpectUsableName(Attribute(*station, 0));
            // Two stations of one name on a page would both show as chosen.
            EXPECT_TRUE(namesInRegion.insert(Attribute(*station, 0)).second);
            std::string url = Attribute(*station, 1);
            EXPECT_TRUE(url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0 ||
                        url.rfind("config/offline/", 0) == 0)
                << url;
            EXPECT_EQ(url.find_first_of(" \"'<>"), std::string::npos) << url;
            // A style the styles element does not list makes the station
            // unreachable from the category page's style options.
            EXPECT_EQ(styleNames.count(Attribute(*station, 2)), 1u) << Attribute(*station, 2);
            ++stations;
        }
    }
    EXPECT_GE(stations, 100);
}

TEST(ShippedCatalogue, OfflineStationPlaysFromTheRunFolder)
{
    TCatalogue catalogue;
    std::vector<TStation> local = RegionStations(catalogue.document, "本地测试");
    ASSERT_EQ(local.size(), 1u);
    const std::string relative = local[0].url.GetData();
    ASSERT_FALSE(std::filesystem::path(relative).is_absolute()) << relative;
    // The path is relative to the instance path, the run folder, where the
    // build installs the file.
    const std::filesystem::path installed = std::filesystem::path(kRunDir) / relative;
    ASSERT_TRUE(std::filesystem::exists(installed)) << installed;
    EXPECT_EQ(std::filesystem::file_size(installed), std::filesystem::file_size(SourcePath(relative.c_str())));

    gst_init(nullptr, nullptr);
    GError* error = nullptr;
    // Nanoseconds the discoverer may take for one local file.
    constexpr GstClockTime kDiscoverTimeout = 20 * GST_SECOND;
    GstDiscoverer* discoverer = gst_discoverer_new(kDiscoverTimeout, &error);
    ASSERT_NE(discoverer, nullptr) << (error != nullptr ? error->message : "");
    gchar* uri = gst_filename_to_uri(installed.c_str(), nullptr);
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &error);
    ASSERT_NE(info, nullptr) << (error != nullptr ? error->message : "");
    EXPECT_EQ(gst_discoverer_info_get_result(info), GST_DISCOVERER_OK);
    GList* audio = gst_discoverer_info_get_audio_streams(info);
    EXPECT_NE(audio, nullptr);
    const double seconds = static_cast<double>(gst_discoverer_info_get_duration(info)) / GST_SECOND;
    EXPECT_GE(seconds, kShortestOfflineSeconds);
    EXPECT_LE(seconds, kLongestOfflineSeconds);
    gst_discoverer_stream_info_list_free(audio);
    gst_discoverer_info_unref(info);
    g_free(uri);
    g_object_unref(discoverer);
    if (error != nullptr)
        g_error_free(error);
}

TEST(ShippedAdList, HasAFewEntriesWithTextsAndSafeLinks)
{
    TiXmlDocument document;
    ReadXmlFile(&document, SourcePath("config/fmads.xml").c_str(), false);
    const TiXmlElement* root = document.RootElement();
    ASSERT_NE(root, nullptr);
    // The update worker takes an advertisement list only with a version.
    const TiXmlElement* version = FindVersionElement(document);
    ASSERT_NE(version, nullptr);
    ASSERT_NE(version->GetText(), nullptr);

    std::set<std::string> texts;
    int entries = 0;
    for (const TiXmlElement* ad = root->FirstChildElement(); ad != nullptr; ad = ad->NextSiblingElement())
    {
        ASSERT_EQ(AttributeCount(*ad), 2);
        std::string text = Attribute(*ad, 0);
        std::string link = Attribute(*ad, 1);
        EXPECT_FALSE(text.empty());
        // A repeated text would be dropped by the reader.
        EXPECT_TRUE(texts.insert(text).second) << text;
        EXPECT_TRUE(link == "#" || link.rfind("https://", 0) == 0) << link;
        ++entries;
    }
    EXPECT_GE(entries, 3);
    EXPECT_LE(entries, 4);
}

TEST(ShippedSettings, RemembersTheWarmBackgroundByDefault)
{
    TiXmlDocument document;
    ReadXmlFile(&document, SourcePath("config/config.xml").c_str(), false);
    const TiXmlElement* root = document.RootElement();
    ASSERT_NE(root, nullptr);
    // A choice is remembered only when the installed file has this element.
    const TiXmlElement* skin = root->FirstChildElement("skin");
    ASSERT_NE(skin, nullptr);
    ASSERT_NE(skin->Attribute("name"), nullptr);
    ASSERT_NE(skin->Attribute("path"), nullptr);
    EXPECT_STREQ(skin->Attribute("name"), "minLove");
    EXPECT_STREQ(skin->Attribute("path"), "#");
}
