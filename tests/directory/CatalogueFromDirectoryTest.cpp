// `orvane-catalogue from-directory`: a directory answer into a catalogue
// source that the player's own model reads back.

#include "catalogue/CatalogueModel.h"
#include "catalogue/XmlFile.h"
#include "support/DirectoryFixtures.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace orvane::test;

namespace {

class CatalogueFromDirectory : public testing::Test
{
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() / ("orvane-from-directory-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // Runs the tool on `answer`; its exit status, what it printed in `printed`.
    int Run(const std::string& answer, const std::string& version = "")
    {
        std::ofstream(folder / "stations.json", std::ios::binary) << answer;
        const std::string command = std::string(ORVANE_CATALOGUE_TOOL) + " from-directory " +
                                    (folder / "stations.json").string() + " " + Out().string() + " " + version +
                                    " >" + (folder / "printed.txt").string() + " 2>/dev/null";
        const int status = std::system(command.c_str());
        std::ifstream in(folder / "printed.txt");
        printed.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::filesystem::path Out() const { return folder / "out.xml"; }

    std::filesystem::path folder;
    std::string printed;
};

std::vector<std::string> Names(const std::vector<TStation>& stations)
{
    std::vector<std::string> names;
    for (const TStation& station : stations)
        names.push_back(station.name.GetData());
    return names;
}

TEST_F(CatalogueFromDirectory, RegionsFromStatesStylesFromTagsCheckedStationsOnce)
{
    const std::vector<TDirectoryEntry> sample = SampleDirectory("http://127.0.0.1:9");
    ASSERT_EQ(Run(StationListJson(sample), "2026120801"), 0);
    EXPECT_EQ(printed, "regions\t7\tstyles\t6\tstations\t11\tleft out\t2\tversion\t2026120801\n");

    TiXmlDocument document;
    ReadXmlFile(&document, Out().c_str(), false);
    ASSERT_FALSE(document.Error());
    CStdPtrArray regions, styles;
    std::int32_t version = 0;
    ParseCatalogueDocument(document, regions, styles, version);
    EXPECT_EQ(version, 2026120801);
    std::vector<std::string> regionNames, styleNames;
    for (int i = 0; i < regions.GetSize(); ++i)
        regionNames.push_back(static_cast<const char*>(regions.GetAt(i)));
    for (int i = 0; i < styles.GetSize(); ++i)
        styleNames.push_back(static_cast<const char*>(styles.GetAt(i)));
    EXPECT_EQ(regionNames, (std::vector<std::string>{"Beijing", "Taipei", "Bern", "Hong Kong", "Macau", "Shanghai", "其他"}));
    // Most common tag first; "其他" for the station without tags.
    EXPECT_EQ(styleNames, (std::vector<std::string>{"music", "pop", "news", "classical", "talk", "其他"}));

    // The broken station and the second entry of a stream are left out;
    // the resolved address is the one written; entities are decoded (and
    // escaped again by the writer).
    const std::vector<TStation> beijing = RegionStations(document, "Beijing");
    EXPECT_EQ(Names(beijing), (std::vector<std::string>{"中国之声", "音乐之声", "经典音乐广播"}));
    EXPECT_EQ(std::string(beijing[1].url.GetData()), "http://127.0.0.1:9/yyzs.mp3");
    EXPECT_EQ(Names(RegionStations(document, "Taipei")),
              (std::vector<std::string>{"飛碟電台 UFO Radio & Music", "Hit FM 台湾流行音乐"}));
    EXPECT_EQ(Names(RegionStations(document, "其他")), (std::vector<std::string>{"新城知訊台", "广东音乐之声"}));
    // Each station's style is the first of its tags among the styles.
    EXPECT_EQ(Names(StyleStations(document, "pop")),
              (std::vector<std::string>{"飛碟電台 UFO Radio & Music", "Hit FM 台湾流行音乐", "香港電台第二台"}));
    EXPECT_EQ(Names(StyleStations(document, "其他")), (std::vector<std::string>{"广东音乐之声"}));
    FreeNameList(regions);
    FreeNameList(styles);
}

struct TRefusalRow
{
    const char* what;
    std::string answer;
    int status;
};

class CatalogueFromDirectoryRefuses : public CatalogueFromDirectory, public testing::WithParamInterface<TRefusalRow>
{
};

TEST_P(CatalogueFromDirectoryRefuses, NothingWritten)
{
    std::ofstream(Out()) << "<catalogue/>";
    EXPECT_EQ(Run(GetParam().answer), GetParam().status) << GetParam().what;
    std::ifstream in(Out());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "<catalogue/>")
        << GetParam().what << ": the old file stays";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CatalogueFromDirectoryRefuses,
    testing::Values(TRefusalRow{"proxy page", "<html><title>503 Service Unavailable</title></html>", 1},
                    TRefusalRow{"cut off", StationListJson(SampleDirectory("http://a")).substr(0, 500), 1},
                    TRefusalRow{"no working station", "[" + StationJson([] {
                        TDirectoryEntry broken = MakeEntry(1, "坏", "http://a/b");
                        broken.lastCheckOk = 0;
                        return broken;
                    }()) + "]", 1},
                    TRefusalRow{"empty list", "[]", 1}),
    [](const testing::TestParamInfo<TRefusalRow>& info) { return "Row" + std::to_string(info.index); });

} // namespace
