// The catalogue in the real main window: the category page, the station list
// page, stepping, reloading.

#include "app/RadioWndFixture.h"

#include <string>

using namespace apptest;

namespace {

class CataloguePages : public CRadioWndTest
{
protected:
    // The rows of regions and styles: the page less the directory's entry
    // (gap, heading, entry) at its end, which is checked to be there.
    std::vector<CControlUI*> CategoryRows()
    {
        std::vector<CControlUI*> rows = Children(window->sortsPanel);
        constexpr std::size_t kDirectoryEntryRows = 3;
        EXPECT_GE(rows.size(), kDirectoryEntryRows);
        if (rows.size() < kDirectoryEntryRows)
            return rows;
        const auto entryRow = AsContainer(rows.back());
        EXPECT_TRUE(entryRow != nullptr && entryRow->GetCount() == 1 && entryRow->GetItemAt(0)->GetName() == "dirbrowse");
        rows.resize(rows.size() - kDirectoryEntryRows);
        return rows;
    }
    std::vector<CControlUI*> StationRows() { return Children(window->radiosContent); }

    static std::vector<std::string> Classes(CControlUI* row)
    {
        std::vector<std::string> classes;
        for (CControlUI* child : Children(AsContainer(row)))
            classes.emplace_back(child->GetClass());
        return classes;
    }

    // Region and style option texts in page order, as "R0,R1|S0" style text.
    std::string CategoryTexts()
    {
        std::string texts;
        for (CControlUI* row : CategoryRows()) {
            for (CControlUI* child : Children(AsContainer(row))) {
                if (std::string(child->GetClass()) != "OptionUI")
                    continue;
                texts += (child->GetName() == "citys" ? "c:" : "s:") + std::string(child->GetText()) + " ";
            }
        }
        return texts;
    }

    COptionUI* StationOption(int index)
    {
        CStdPtrArray* group = Manager().GetOptionGroup("radios");
        if (group == nullptr || index >= group->GetSize())
            return nullptr;
        return static_cast<COptionUI*>(static_cast<CControlUI*>(group->GetAt(index))->GetInterface("Option"));
    }
};

using Strings = std::vector<std::string>;

} // namespace

TEST_F(CataloguePages, RegionsElevenToARowAndStylesEightToARow)
{
    struct Row
    {
        int regions;
        int styles;
        int regionRows;
        int styleRows;
        int lastRegionRow;
        int lastStyleRow;
    } rows[] = {
        {11, 8, 1, 1, 11, 8},
        {12, 9, 2, 2, 1, 1},
        {0, 17, 0, 3, 0, 1},
    };
    for (const Row& row : rows) {
        WriteCatalogue(MakeCatalogue(row.regions, 1, row.styles));
        Start();
        const auto all = CategoryRows();
        // heading, region rows, gap, heading, style rows
        ASSERT_EQ(all.size(), static_cast<size_t>(1 + row.regionRows + 1 + 1 + row.styleRows)) << row.regions;
        EXPECT_EQ(Classes(all[0]), Strings{"LabelUI"});
        if (row.regionRows > 0) {
            EXPECT_EQ(Children(AsContainer(all[row.regionRows])).size(), static_cast<size_t>(row.lastRegionRow));
        }
        EXPECT_EQ(AsContainer(all[1 + row.regionRows])->GetCount(), 0) << "the gap row";
        EXPECT_EQ(all[1 + row.regionRows]->GetFixedHeight(), 5);
        EXPECT_EQ(Children(AsContainer(all.back())).size(), static_cast<size_t>(row.lastStyleRow));
        // The headings use the list font.
        auto* heading = static_cast<CLabelUI*>(AsContainer(all[0])->GetItemAt(0)->GetInterface("Label"));
        EXPECT_EQ(heading->GetText(), "地区电台");
        EXPECT_EQ(heading->GetFont(), Manager().GetFontIndex(window->listFont));
        ::DestroyWindow(Hwnd());
        window = nullptr;
    }
}

TEST_F(CataloguePages, StationRowsAreCompletedToOptionGapOptionGapOption)
{
    // Gaps and fillers are plain controls.
    const Strings full{"OptionUI", "ControlUI", "OptionUI", "ControlUI", "OptionUI"};
    const Strings oneStation{"OptionUI", "ControlUI", "ControlUI", "ControlUI", "ControlUI"};
    const Strings twoStations{"OptionUI", "ControlUI", "OptionUI", "ControlUI", "ControlUI"};
    WriteCatalogue("<c><city n=\"one\"><s a=\"a\" b=\"u\"/></city>"
                   "<city n=\"three\"><s a=\"a\" b=\"u\"/><s a=\"b\" b=\"u\"/><s a=\"c\" b=\"u\"/></city>"
                   "<city n=\"four\"><s a=\"a\" b=\"u\"/><s a=\"b\" b=\"u\"/><s a=\"c\" b=\"u\"/><s a=\"d\" b=\"u\"/></city>"
                   "<city n=\"two\"><s a=\"a\" b=\"u\"/><s a=\"b\" b=\"u\"/></city>"
                   "<city n=\"none\"/></c>");
    Start();

    window->ShowRegionStations("one");
    auto rows = StationRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Classes(rows[0]), (Strings{"ButtonUI", "LabelUI"}));
    EXPECT_EQ(Classes(rows[1]), oneStation);
    EXPECT_EQ(AsContainer(rows[1])->GetItemAt(1)->GetFixedWidth(), 5);  // gap
    EXPECT_EQ(AsContainer(rows[1])->GetItemAt(2)->GetFixedWidth(), 0);  // filler
    EXPECT_EQ(AsContainer(rows[1])->GetItemAt(3)->GetFixedWidth(), 5);  // gap

    window->ShowRegionStations("three");
    rows = StationRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Classes(rows[1]), full);
    EXPECT_EQ(std::string(AsContainer(rows[1])->GetItemAt(4)->GetClass()), "OptionUI");

    window->ShowRegionStations("four");
    rows = StationRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(Classes(rows[1]), full);
    EXPECT_EQ(Classes(rows[2]), oneStation);
    EXPECT_EQ(std::string(AsContainer(rows[2])->GetItemAt(2)->GetText()), ""); // filler, not an option

    window->ShowRegionStations("two");
    rows = StationRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Classes(rows[1]), twoStations);
    EXPECT_EQ(AsContainer(rows[1])->GetItemAt(2)->GetText(), "b");

    window->ShowRegionStations("none");
    EXPECT_EQ(StationRows().size(), 1u);
    window->ShowRegionStations("nowhere");
    EXPECT_EQ(StationRows().size(), 1u);

    // An option carries the station's name and URL; the group holds this
    // page's options only, in order.
    window->ShowRegionStations("FOUR");
    ASSERT_EQ(Manager().GetOptionGroup("radios")->GetSize(), 4);
    EXPECT_EQ(StationOption(3)->GetText(), "d");
    EXPECT_EQ(StationOption(3)->GetUserData(), "u");
    EXPECT_EQ(StationOption(3)->GetName(), "fmradio");
}

TEST_F(CataloguePages, ThreeColumnsShareTheRowWidthEqually)
{
    WriteCatalogue(MakeCatalogue(1, 2, 0));
    Start();
    Notify(AsContainer(CategoryRows().at(1))->GetItemAt(0), "click");
    PumpFor(std::chrono::milliseconds(30)); // layout happens before the next paint
    ::UpdateWindow(Hwnd());
    CContainerUI* row = AsContainer(StationRows().at(1));
    const RECT first = row->GetItemAt(0)->GetPos();
    const RECT second = row->GetItemAt(2)->GetPos();
    const RECT filler = row->GetItemAt(4)->GetPos();
    const int width = first.right - first.left;
    EXPECT_GT(width, 50);
    EXPECT_NEAR(second.right - second.left, width, 1);
    EXPECT_NEAR(filler.right - filler.left, width, 1);
    EXPECT_EQ(second.left - first.right, 5);
}

TEST_F(CataloguePages, StylesMatchWithoutCaseAndGroupByRegion)
{
    WriteCatalogue("<c><city n=\"A\"><s a=\"a1\" b=\"u\" c=\"News\"/><s a=\"a2\" b=\"u\" c=\"music\"/></city>"
                   "<city n=\"B\"><s a=\"b1\" b=\"u\" c=\"NEWS\"/><s a=\"b2\"  b=\"u\"/></city>"
                   "<styles><x n=\"news\"/><x n=\"jazz\"/></styles></c>");
    Start();
    window->ShowStyleStations("news");
    ASSERT_EQ(Manager().GetOptionGroup("radios")->GetSize(), 2);
    EXPECT_EQ(StationOption(0)->GetText(), "a1");
    EXPECT_EQ(StationOption(1)->GetText(), "b1");
    window->ShowStyleStations("jazz");
    EXPECT_EQ(StationRows().size(), 1u);
}

TEST_F(CataloguePages, TheCurrentStationIsSelectedOnARebuiltPageTheLaterOfTwoStays)
{
    WriteCatalogue("<c><city n=\"A\"><s a=\"x\" b=\"u1\"/><s a=\"y\" b=\"u2\"/><s a=\"x\" b=\"u3\"/></city></c>");
    Start();
    window->currentStationName = "x";
    window->ShowRegionStations("A");
    EXPECT_FALSE(StationOption(0)->IsSelected());
    EXPECT_TRUE(StationOption(2)->IsSelected());
    EXPECT_EQ(Manager().GetGroupSelectedIndex("radios"), 2);
}

TEST_F(CataloguePages, SteppingStopsAtBothEndsAndNeedsASelection)
{
    WriteCatalogue(MakeCatalogue(1, 3, 0));
    Start();
    window->ShowRegionStations("R0");

    // Nothing selected: next and prev do nothing.
    window->SelectNextStation();
    window->SelectPreviousStation();
    EXPECT_LT(Manager().GetGroupSelectedIndex("radios"), 0);
    EXPECT_TRUE(window->currentStationName.IsEmpty());

    StationOption(0)->Selected(true);
    window->SelectPreviousStation(); // first: nothing
    EXPECT_EQ(Manager().GetGroupSelectedIndex("radios"), 0);
    EXPECT_TRUE(window->currentStationName.IsEmpty());

    window->SelectNextStation(); // sends "dbclick": the station is chosen
    EXPECT_EQ(Manager().GetGroupSelectedIndex("radios"), 1);
    EXPECT_EQ(window->currentStationName, "R0-1");
    EXPECT_EQ(window->currentStationUrl, "http://127.0.0.1:9/0/1");
    EXPECT_EQ(window->fmName->GetText(), "R0-1");

    window->SelectNextStation();
    window->SelectNextStation(); // last: nothing
    EXPECT_EQ(Manager().GetGroupSelectedIndex("radios"), 2);
    EXPECT_EQ(window->currentStationName, "R0-2");

    // Back on the category page, stepping goes on through the station page.
    Notify(Manager().FindControl("mainpage"), "click");
    window->SelectPreviousStation();
    EXPECT_EQ(window->currentStationName, "R0-1");
}

TEST_F(CataloguePages, ReloadReplacesTheCategoryPageAndLeavesTheStationPage)
{
    WriteCatalogue(MakeCatalogue(2, 2, 1, 3));
    Start();
    EXPECT_EQ(window->catalogueVersion.load(), 3);
    Notify(AsContainer(CategoryRows().at(1))->GetItemAt(0), "click");
    const auto stationRows = StationRows();

    WriteCatalogue("<c><city n=\"新一\"/><city n=\"新二\"/><styles><s n=\"新闻\"/></styles></c><version>12</version>");
    ::SendMessage(Hwnd(), WM_CATALOGUE_REPLACED, 0, 0);
    EXPECT_EQ(window->catalogueVersion.load(), 12);
    EXPECT_EQ(CategoryTexts(), "c:新一 c:新二 s:新闻 ");
    EXPECT_LT(Manager().GetGroupSelectedIndex("sorts"), 0);
    EXPECT_EQ(StationRows(), stationRows) << "the open station page stays as it was";
    EXPECT_TRUE(window->radiosPanel->IsVisible());
}

TEST_F(CataloguePages, ANameWithADoubleQuoteIsShownAsItIsAndInjectsNothing)
{
    WriteCatalogue("<c><city n=\"R\"><s a='x\" name=\"mainpage' b=\"u\"/></city></c>");
    Start();
    window->ShowRegionStations("R");
    COptionUI* option = StationOption(0);
    ASSERT_NE(option, nullptr);
    EXPECT_EQ(option->GetName(), "fmradio");
    EXPECT_EQ(option->GetText(), "x\" name=\"mainpage");
    // The only "mainpage" is the back button.
    EXPECT_EQ(std::string(Manager().FindControl("mainpage")->GetClass()), "ButtonUI");
}

TEST_F(CataloguePages, AMissingCatalogueGivesBothHeadingsAndNoOption)
{
    Start();
    const auto rows = CategoryRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(CategoryTexts(), "");
    EXPECT_EQ(window->catalogueVersion.load(), 0);
}

namespace {

std::string DeeplyNested(int depth)
{
    std::string text = "<catalogue>";
    for (int i = 0; i < depth; ++i)
        text += "<city name=\"deep\">";
    return text + "</catalogue><version>99</version>";
}

} // namespace

TEST_F(CataloguePages, LongRegionAndStyleNamesOpenTheirOwnStationsOnly)
{
    const std::string x49(49, 'X');
    const std::string s49(49, 'S');
    WriteCatalogue("<c><city n=\"" + x49 + "\"><s a='short' b='u1' c='" + s49 + "'/></city><city n=\"" + x49 +
                   "Y\"><s a='long' b='u2' c='" + s49 + "Z'/></city><styles><t n='" + s49 + "'/><t n='" + s49 +
                   "Z'/></styles></c>");
    Start();
    EXPECT_EQ(CategoryTexts(), "c:" + x49 + " c:" + x49 + "Y s:" + s49 + " s:" + s49 + "Z ");

    std::vector<CControlUI*> options;
    for (CControlUI* row : CategoryRows()) {
        for (CControlUI* child : Children(AsContainer(row))) {
            if (std::string(child->GetClass()) == "OptionUI")
                options.push_back(child);
        }
    }
    ASSERT_EQ(options.size(), 4u);
    const std::vector<std::pair<int, std::string>> clicks = {{1, "long"}, {0, "short"}, {3, "long"}, {2, "short"}};
    for (const auto& [index, station] : clicks) {
        Notify(options[static_cast<std::size_t>(index)], "click");
        ASSERT_NE(StationOption(0), nullptr) << index;
        EXPECT_EQ(std::string(StationOption(0)->GetText()), station) << index;
        EXPECT_EQ(StationOption(1), nullptr) << index;
    }
}

TEST_F(CataloguePages, DeeplyNestedCatalogueLoadsAsABrokenOneAtStartAndOnReload)
{
    WriteCatalogue(DeeplyNested(50000));
    Start();
    EXPECT_EQ(CategoryTexts(), "");
    EXPECT_EQ(window->catalogueVersion.load(), 0);

    WriteCatalogue(MakeCatalogue(2, 1, 1, 5));
    window->ReloadCatalogue();
    EXPECT_EQ(CategoryTexts(), "c:R0 c:R1 s:S0 ");
    EXPECT_EQ(window->catalogueVersion.load(), 5);

    WriteCatalogue(DeeplyNested(50000));
    window->ReloadCatalogue();
    EXPECT_EQ(CategoryTexts(), "");
    EXPECT_EQ(window->catalogueVersion.load(), 5) << "a refused file has no version";
    EXPECT_TRUE(::IsWindow(Hwnd()));
}
