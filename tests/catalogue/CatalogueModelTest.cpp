#include "catalogue/CatalogueModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Names(const CStdPtrArray& list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list.GetSize(); ++i)
        names.emplace_back(static_cast<const char*>(list.GetAt(i)));
    return names;
}

struct TParsed
{
    std::vector<std::string> regions;
    std::vector<std::string> styles;
    std::int32_t version;
};

TParsed Parse(const char* xml, std::int32_t versionBefore = 0)
{
    TiXmlDocument document;
    document.Parse(xml, nullptr, TIXML_ENCODING_UTF8);
    CStdPtrArray regions, styles;
    std::int32_t version = versionBefore;
    ParseCatalogueDocument(document, regions, styles, version);
    TParsed parsed{Names(regions), Names(styles), version};
    FreeNameList(regions);
    FreeNameList(styles);
    return parsed;
}

} // namespace

TEST(CatalogueModel, RegionsAndStylesInDocumentOrderWhateverTheirNamesAndCase)
{
    const TParsed parsed = Parse("<anything>"
                                 "<CITY n=\"上海\"/><note x=\"skip\"/><city a=\"北京\"/><City b=\"广东\"/>"
                                 "<STYLES><s q=\"新闻\"/><t r=\"音乐\"/></STYLES>"
                                 "<styles><s q=\"ignored\"/></styles>"
                                 "<cityhall name=\"not a region\"/>"
                                 "</anything>");
    EXPECT_EQ(parsed.regions, (std::vector<std::string>{"上海", "北京", "广东"}));
    EXPECT_EQ(parsed.styles, (std::vector<std::string>{"新闻", "音乐"}));
}

TEST(CatalogueModel, VersionOnlyAfterTheRootAndOnlyWithText)
{
    EXPECT_EQ(Parse("<r/><version>12</version>").version, 12);
    EXPECT_EQ(Parse("<r><version>12</version></r>", 3).version, 3);
    EXPECT_EQ(Parse("<r/><VERSION>12</VERSION>", 3).version, 3);
    EXPECT_EQ(Parse("<r/><version/>", 5).version, 5);          // no child: unchanged
    EXPECT_EQ(Parse("<r/><version>beta</version>", 5).version, 0);
    EXPECT_EQ(Parse("", 4).version, 4);                        // no root at all
    EXPECT_TRUE(Parse("").regions.empty());
}

TEST(CatalogueModel, NamesAreKeptWholeHoweverLong)
{
    const std::string fortyNine(49, 'a');
    const std::string fifty(50, 'b');
    std::string chinese;
    for (int i = 0; i < 17; ++i)
        chinese += "电"; // 51 bytes
    const std::string xml = "<r><city n=\"" + fortyNine + "\"/><city n=\"" + fifty + "\"/><city n=\"" + chinese +
                            "\"/><styles><s n=\"" + fifty + fifty + "\"/></styles></r>";
    const TParsed parsed = Parse(xml.c_str());
    EXPECT_EQ(parsed.regions, std::vector<std::string>({fortyNine, fifty, chinese}));
    EXPECT_EQ(parsed.styles, std::vector<std::string>({fifty + fifty}));
}

TEST(CatalogueModel, LongNamesThatShareTheirFirst49BytesStayApart)
{
    const std::string x49(49, 'X');
    const std::string s49(49, 'S');
    const std::string xml = "<r><city n=\"" + x49 + "\"><st a=\"short\" b=\"http://a/1\" c=\"" + s49 +
                            "\"/></city><city n=\"" + x49 + "Y\"><st a=\"long\" b=\"http://a/2\" c=\"" + s49 +
                            "Z\"/><st a=\"long2\" b=\"http://a/3\" c=\"" + s49 + "z\"/></city></r>";
    TiXmlDocument document;
    document.Parse(xml.c_str(), nullptr, TIXML_ENCODING_UTF8);
    auto names = [](const std::vector<TStation>& stations) {
        std::vector<std::string> result;
        for (const TStation& station : stations)
            result.emplace_back(station.name.GetData());
        return result;
    };
    EXPECT_EQ(names(RegionStations(document, (x49 + "Y").c_str())), std::vector<std::string>({"long", "long2"}));
    EXPECT_EQ(names(RegionStations(document, x49.c_str())), std::vector<std::string>({"short"}));
    EXPECT_TRUE(RegionStations(document, (x49 + "YY").c_str()).empty());
    // Styles compare whole, still without regard to ASCII case.
    EXPECT_EQ(names(StyleStations(document, (s49 + "Z").c_str())), std::vector<std::string>({"long", "long2"}));
    EXPECT_EQ(names(StyleStations(document, s49.c_str())), std::vector<std::string>({"short"}));
    EXPECT_EQ(names(StyleStations(document, (std::string(49, 's') + "z").c_str())),
              std::vector<std::string>({"long", "long2"}));
}

TEST(CatalogueModel, ElementsWithoutANameAttributeAreSkipped)
{
    const TParsed parsed = Parse("<r><city/><city n=\"甲\"/><styles><s/><s n=\"乙\"/></styles></r>");
    EXPECT_EQ(parsed.regions, std::vector<std::string>{"甲"});
    EXPECT_EQ(parsed.styles, std::vector<std::string>{"乙"});
}

TEST(CatalogueModel, StationsOfARegionAndOfAStyle)
{
    TiXmlDocument document;
    document.Parse("<r>"
                   "<city n=\"Beijing\"><a x=\"one\" y=\"u1\" z=\"News\"/><b x=\"two\" y=\"u2\" z=\"music\"/>"
                   "<c x=\"no url\"/></city>"
                   "<city n=\"Tianjin\"><a x=\"three\" y=\"u3\" z=\"NEWS\"/><a x=\"four\" y=\"u4\"/></city>"
                   "<city n=\"Again\"><a x=\"one\" y=\"u1\" z=\"news\"/></city>"
                   "</r>",
                   nullptr, TIXML_ENCODING_UTF8);

    const auto region = RegionStations(document, "BEIJING");
    ASSERT_EQ(region.size(), 2u);
    EXPECT_EQ(region[0].name, "one");
    EXPECT_EQ(region[1].url, "u2");
    EXPECT_TRUE(RegionStations(document, "Nowhere").empty());

    const auto style = StyleStations(document, "news");
    ASSERT_EQ(style.size(), 3u);
    EXPECT_EQ(style[0].name, "one");
    EXPECT_EQ(style[1].name, "three");
    EXPECT_EQ(style[2].name, "one"); // listed again by the second region
    EXPECT_TRUE(StyleStations(document, "jazz").empty());
}
