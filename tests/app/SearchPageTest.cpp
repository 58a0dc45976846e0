// The station directory through the real main window and a directory
// imitation on 127.0.0.1: the search page (local matches first, then the
// directory's, each address once, "更多", a stale answer dropped, an emptied
// box going back), every server down, the directory's page with its tags,
// playing and keeping a directory station, and the daily refresh.

#include "RadioWndFixture.h"

#include "support/DirectoryImitation.h"
#include "uilib/controls/EditUI.h"

#include <ctime>
#include <fstream>
#include <iterator>

using namespace apptest;
using namespace orvane::test;
using namespace std::chrono_literals;

namespace {

constexpr auto kAnswerWait = 10s;

class CSearchPageTest : public CRadioWndTest
{
protected:
    // Settings naming these servers, in order.
    void UseServers(const std::vector<std::string>& servers)
    {
        std::string settings = "<config><skin name=\"minLove\" path=\"#\"/><update server=\"http://127.0.0.1:9\"/>";
        for (const std::string& server : servers)
            settings += "<directory server=\"" + server + "\"/>";
        WriteFile(folder / "config" / "config.xml", settings + "</config>");
    }

    CEditUI* Box() const { return static_cast<CEditUI*>(Manager().FindControl("searchedit")->GetInterface("Edit")); }

    // Types `text` as the user would and presses Enter.
    void Search(const std::string& text)
    {
        Box()->SetText(text.c_str());
        Notify(Box(), "textchanged");
        Notify(Box(), "return");
    }

    std::string Status() const
    {
        CControlUI* label = Manager().FindControl("dirstatustext");
        return label != nullptr ? label->GetText().GetData() : "(no status row)";
    }

    bool WaitForAnswer()
    {
        return PumpUntil([&] { return Status() != "正在搜索..."; }, kAnswerWait);
    }

    // The station options of the page, in the order of "radios".
    std::vector<COptionUI*> Options() const
    {
        std::vector<COptionUI*> options;
        CStdPtrArray* group = Manager().GetOptionGroup("radios");
        for (int i = 0; group != nullptr && i < group->GetSize(); ++i)
            options.push_back(static_cast<COptionUI*>(static_cast<CControlUI*>(group->GetAt(i))->GetInterface("Option")));
        return options;
    }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (COptionUI* option : Options())
            names.emplace_back(option->GetText().GetData());
        return names;
    }

    std::string Title() const
    {
        auto* row = AsContainer(window->radiosContent->GetItemAt(0));
        return row != nullptr ? row->GetItemAt(1)->GetText().GetData() : "";
    }

    // The second line under an option; "" for none.
    static std::string Subtitle(COptionUI* option)
    {
        auto* column = AsContainer(option->GetParent());
        if (column == nullptr || std::string(column->GetClass()) != "VerticalLayoutUI" || column->GetCount() < 2)
            return "";
        return column->GetItemAt(1)->GetText().GetData();
    }

    std::string ReadText(const std::filesystem::path& path) const
    {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
};

const char* const kLocalCatalogue =
    "<catalogue><city name=\"北京\">"
    "<station name=\"本地音乐台\" url=\"http://127.0.0.1:9/local\" style=\"流行\"/>"
    "<station name=\"新闻台\" url=\"http://127.0.0.1:9/news\" style=\"新闻\"/>"
    // The directory lists this stream too: it is shown once, here.
    "<station name=\"音乐之声(本地)\" url=\"http://127.0.0.1:8000/yyzs.mp3\" style=\"流行\"/>"
    "</city><styles><style name=\"流行\"/><style name=\"新闻\"/></styles></catalogue><version>1</version>";

} // namespace

// The first server refuses: the second answers, and the page is as if it had
// been the only one.
TEST_F(CSearchPageTest, LocalMatchesFirstThenTheDirectorysMostClickedFirstEachAddressOnce)
{
    CDirectoryImitation directory(SampleDirectory("http://127.0.0.1:8000"));
    UseServers({"http://127.0.0.1:1", directory.BaseUrl()});
    WriteCatalogue(kLocalCatalogue);
    Start();

    Search("音乐");
    EXPECT_EQ(Title(), "搜索: 音乐");
    EXPECT_EQ(Names(), (std::vector<std::string>{"本地音乐台", "音乐之声(本地)"})) << "local matches at once";
    EXPECT_EQ(Status(), "正在搜索...");
    ASSERT_TRUE(WaitForAnswer());

    const std::vector<std::string> names = Names();
    ASSERT_EQ(names.size(), 6u) << Status();
    // The broken 已停播音乐台 (most clicked of all) is hidden; 音乐之声 and its
    // duplicate play what the catalogue's station plays.
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 5),
              (std::vector<std::string>{"本地音乐台", "音乐之声(本地)", "经典音乐广播", "广东音乐之声", "Hit FM 台湾流行音乐"}));
    EXPECT_EQ(names[5].substr(0, 6), "音乐");
    EXPECT_EQ(Subtitle(Options()[0]), "");
    EXPECT_EQ(Subtitle(Options()[2]), "AAC · 48k · 中国");
    EXPECT_EQ(Status(), "");
    EXPECT_FALSE(Manager().FindControl("dirmore")->IsVisible());
    EXPECT_EQ(directory.Count("/json/stations/search"), 1u);

    // Double-clicked: chosen as any station, its click counted with our name.
    COptionUI* chosen = Options()[2];
    Notify(chosen, "dbclick");
    EXPECT_EQ(window->currentStationName, "经典音乐广播");
    EXPECT_EQ(window->currentStationUrl, "http://127.0.0.1:8000/jdyy.aac");
    ASSERT_TRUE(directory.WaitFor("/json/url/9617a958-0601-11e8-ae97-000000000004", 1, kAnswerWait));
    EXPECT_EQ(directory.Log().back().userAgent.rfind("orvane-radio/", 0), 0u);

    // Kept from its context menu with its id; the catalogue's station without one.
    for (COptionUI* option : {chosen, Options()[0]}) {
        window->menuStationName = option->GetText();
        window->menuStationUrl = option->GetUserData();
        Notify(window->radiosPanel, "menuaddmine");
    }
    ASSERT_EQ(window->myStations.Stations().size(), 2u);
    EXPECT_EQ(window->myStations.Stations()[0].uuid, "9617a958-0601-11e8-ae97-000000000004");
    EXPECT_EQ(window->myStations.Stations()[1].uuid, "");
    EXPECT_NE(ReadText(folder / "config" / "mystations.xml").find("uuid=\"9617a958-0601-11e8-ae97-000000000004\""),
              std::string::npos);
}

TEST_F(CSearchPageTest, MoreAppendsTheNextPageAndAStaleAnswerIsDropped)
{
    CDirectoryImitation directory(ManyEntries(150));
    UseServers({directory.BaseUrl()});
    Start();

    Search("Radio");
    ASSERT_TRUE(WaitForAnswer());
    ASSERT_EQ(Options().size(), 100u);
    COptionUI* first = Options()[0];
    CControlUI* more = Manager().FindControl("dirmore");
    ASSERT_TRUE(more->IsVisible());
    EXPECT_EQ(more->GetText(), "更多");

    Notify(more, "click");
    EXPECT_EQ(Status(), "正在搜索...");
    ASSERT_TRUE(WaitForAnswer());
    const std::vector<COptionUI*> options = Options();
    ASSERT_EQ(options.size(), 150u);
    EXPECT_EQ(options[0], first) << "the first page stays as it was";
    // Most clicked first across both pages: ManyEntries counts down.
    EXPECT_EQ(options[99]->GetText(), "电台 Radio & 99");
    EXPECT_EQ(options[100]->GetText(), "电台 Radio & 100");
    EXPECT_FALSE(more->IsVisible());
    // The status row stays last.
    EXPECT_EQ(window->radiosContent->GetItemAt(window->radiosContent->GetCount() - 1)->GetName(), "dirstatus");

    // An answer for an earlier search that arrives after a newer one began
    // changes nothing.
    Search("Radio & 1");
    TDirectoryResult stale;
    stale.serial = window->viewSerial - 1;
    stale.request = EDirectoryRequest::Search;
    stale.status = EDirectoryStatus::Ok;
    stale.stations.push_back({});
    stale.stations.back().name = "过时的结果";
    stale.stations.back().url = "http://127.0.0.1:9/stale";
    window->OnDirectoryPage(stale);
    EXPECT_EQ(Status(), "正在搜索...");
    ASSERT_TRUE(WaitForAnswer());
    for (const std::string& name : Names())
        EXPECT_EQ(name.find("过时"), std::string::npos);
    EXPECT_EQ(Title(), "搜索: Radio & 1");
}

TEST_F(CSearchPageTest, EveryServerDownSaysSoKeepsTheLocalMatchesAndRetries)
{
    CDirectoryImitation directory(SampleDirectory("http://127.0.0.1:8000"));
    directory.SetFault(EDirectoryFault::HtmlUnavailable);
    UseServers({"http://127.0.0.1:1", directory.BaseUrl()});
    WriteCatalogue(kLocalCatalogue);
    Start();

    Search("音乐");
    ASSERT_TRUE(WaitForAnswer());
    EXPECT_EQ(Status(), "无法连接电台目录");
    CControlUI* retry = Manager().FindControl("dirmore");
    EXPECT_TRUE(retry->IsVisible());
    EXPECT_EQ(retry->GetText(), "重试");
    EXPECT_EQ(Names(), (std::vector<std::string>{"本地音乐台", "音乐之声(本地)"}));

    directory.SetFault(EDirectoryFault::None);
    Notify(retry, "click");
    ASSERT_TRUE(WaitForAnswer());
    EXPECT_EQ(Names().size(), 6u) << Status();
}

TEST_F(CSearchPageTest, AnEmptiedBoxGoesBackToThePageBeforeTheSearch)
{
    WriteCatalogue(kLocalCatalogue);
    UseServers({"http://127.0.0.1:1"});
    Start();

    // From the category page.
    Search("音乐");
    ASSERT_TRUE(window->radiosPanel->IsVisible());
    Search("新闻"); // a second search keeps the page before the first
    Box()->SetText("");
    Notify(Box(), "textchanged");
    EXPECT_TRUE(window->sortsPanel->IsVisible());
    EXPECT_FALSE(window->radiosPanel->IsVisible());

    // From a region's page.
    CControlUI* region = Manager().FindControl("citys");
    Notify(region, "click");
    ASSERT_EQ(Title(), "北京");
    Search("新闻");
    EXPECT_EQ(Names(), std::vector<std::string>{"新闻台"});
    Box()->SetText("  ");
    Notify(Box(), "return");
    EXPECT_EQ(Title(), "北京");
    EXPECT_EQ(Names().size(), 3u);
    EXPECT_TRUE(window->radiosPanel->IsVisible());
}

TEST_F(CSearchPageTest, TheDirectoryPageListsChineseStationsWithATagRow)
{
    CDirectoryImitation directory(SampleDirectory("http://127.0.0.1:8000"));
    UseServers({directory.BaseUrl()});
    Start();

    Notify(Manager().FindControl("dirbrowse"), "click");
    EXPECT_TRUE(window->radiosPanel->IsVisible());
    EXPECT_EQ(Title(), "电台目录");
    ASSERT_TRUE(WaitForAnswer());
    const std::vector<std::string> names = Names();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "中国之声");
    EXPECT_EQ(std::find(names.begin(), names.end(), "Radio Swiss Classic"), names.end());
    CStdPtrArray* tags = Manager().GetOptionGroup("dirtags");
    ASSERT_NE(tags, nullptr);
    ASSERT_GT(tags->GetSize(), 2);
    auto* all = static_cast<COptionUI*>(static_cast<CControlUI*>(tags->GetAt(0))->GetInterface("Option"));
    EXPECT_EQ(all->GetText(), "全部");
    EXPECT_TRUE(all->IsSelected());

    // A tag narrows the page; the rebuild waits for the click to return.
    CStdPtrArray* group = Manager().GetOptionGroup("dirtags");
    CControlUI* news = nullptr;
    for (int i = 0; i < group->GetSize(); ++i)
        if (static_cast<CControlUI*>(group->GetAt(i))->GetUserData() == "news")
            news = static_cast<CControlUI*>(group->GetAt(i));
    ASSERT_NE(news, nullptr);
    Notify(news, "click");
    ASSERT_TRUE(PumpUntil([&] { return Status() == "正在搜索..."; }, kAnswerWait));
    ASSERT_TRUE(WaitForAnswer());
    for (const TDirectoryRequestLog& request : directory.Log()) {
        if (request.path == "/json/stations/search" && request.parameters.count("tag") != 0) {
            EXPECT_EQ(request.parameters.at("tag"), "news");
        }
    }
    const std::vector<std::string> narrowed = Names();
    ASSERT_FALSE(narrowed.empty());
    EXPECT_EQ(narrowed.front(), "中国之声");
    EXPECT_EQ(std::find(narrowed.begin(), narrowed.end(), "香港電台第二台"), narrowed.end()) << "pop, not news";
}

// A station whose resolved address fails gets its entered one once.
TEST_F(CSearchPageTest, AFailedResolvedAddressFallsBackToTheEnteredOneOnce)
{
    std::vector<TDirectoryEntry> entries = {MakeEntry(1, "播放列表电台", "http://127.0.0.1:9/list.pls")};
    entries[0].urlResolved = "http://127.0.0.1:9/resolved.mp3";
    CDirectoryImitation directory(entries);
    UseServers({directory.BaseUrl()});
    Start();
    Search("播放");
    ASSERT_TRUE(WaitForAnswer());
    ASSERT_EQ(Options().size(), 1u);
    Notify(Options()[0], "dbclick");
    EXPECT_EQ(window->currentStationUrl, "http://127.0.0.1:9/resolved.mp3");
    EXPECT_TRUE(window->PlayStationFallback());
    EXPECT_EQ(window->currentStationUrl, "http://127.0.0.1:9/list.pls");
    EXPECT_FALSE(window->PlayStationFallback());

    // A station chosen by another road (a file opened) has no other address.
    Notify(Options()[0], "dbclick");
    window->currentStationUrl = "http://127.0.0.1:9/opened.mp3";
    EXPECT_FALSE(window->PlayStationFallback());
    EXPECT_EQ(window->currentStationUrl, "http://127.0.0.1:9/opened.mp3");
    window->currentStationName = "打开的文件";
    Notify(window->favouriteButton, "click");
    ASSERT_EQ(window->myStations.Stations().size(), 1u);
    EXPECT_EQ(window->myStations.Stations()[0].uuid, "") << "kept without the earlier station's id";
    window->myStations.Remove(0);
    Notify(Options()[0], "dbclick");

    // The now-playing toggle keeps it with its id too.
    ASSERT_NE(window->favouriteButton, nullptr);
    Notify(window->favouriteButton, "click");
    ASSERT_EQ(window->myStations.Stations().size(), 1u);
    EXPECT_EQ(window->myStations.Stations()[0].uuid, entries[0].uuid);
}

// A pause in typing searches by itself; typing on restarts the wait, so the
// directory hears only the text the user stopped at.
TEST_F(CSearchPageTest, APauseInTypingSearchesTheLastTextOnce)
{
    CDirectoryImitation directory(SampleDirectory("http://127.0.0.1:8000"));
    UseServers({directory.BaseUrl()});
    Start();
    for (const char* text : {"音", "音乐"}) {
        Box()->SetText(text);
        Notify(Box(), "textchanged");
    }
    ASSERT_TRUE(PumpUntil([&] { return Title() == "搜索: 音乐"; }, kAnswerWait));
    ASSERT_TRUE(WaitForAnswer());
    PumpFor(200ms);
    ASSERT_EQ(directory.Count("/json/stations/search"), 1u);
    for (const TDirectoryRequestLog& request : directory.Log()) {
        if (request.path == "/json/stations/search") {
            EXPECT_EQ(request.parameters.at("name"), "音乐");
        }
    }
}

// At most once a day: a moved station takes its new address, one the
// directory no longer has is kept and marked, in the file and on the page.
TEST_F(CSearchPageTest, KeptDirectoryStationsAreRefreshedOnceADayNeverDeleted)
{
    std::vector<TDirectoryEntry> entries = {MakeEntry(1, "搬家电台", "http://127.0.0.1:9/new.mp3")};
    CDirectoryImitation directory(entries);
    UseServers({directory.BaseUrl()});
    WriteFile(folder / "config" / "mystations.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<mystations version=\"1\">\n"
              "<station name=\"搬家电台\" url=\"http://127.0.0.1:9/old.mp3\" uuid=\"" + entries[0].uuid + "\"/>\n"
              "<station name=\"停播电台\" url=\"http://127.0.0.1:9/gone.mp3\" uuid=\"9617a958-0601-11e8-ae97-0000000000ff\"/>\n"
              "<station name=\"手加电台\" url=\"http://127.0.0.1:9/mine.mp3\"/>\n</mystations>\n");
    Start();
    ASSERT_TRUE(directory.WaitFor("/json/stations/byuuid", 1, kAnswerWait));
    const auto stamp = folder / "config" / "directory-refresh.txt";
    ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(stamp); }, kAnswerWait));
    PumpFor(50ms);
    const std::vector<TMyStation>& mine = window->myStations.Stations();
    ASSERT_EQ(mine.size(), 3u);
    EXPECT_EQ(mine[0].url, "http://127.0.0.1:9/new.mp3");
    EXPECT_FALSE(mine[0].goneFromDirectory);
    EXPECT_TRUE(mine[1].goneFromDirectory);
    EXPECT_FALSE(mine[2].goneFromDirectory);
    const std::string file = ReadText(folder / "config" / "mystations.xml");
    EXPECT_NE(file.find("gone=\"true\""), std::string::npos) << file;
    EXPECT_NE(file.find("new.mp3"), std::string::npos) << file;

    window->ShowMyStations();
    std::vector<std::string> subtitles;
    for (COptionUI* option : Options())
        subtitles.push_back(Subtitle(option));
    EXPECT_EQ(subtitles, (std::vector<std::string>{"", "目录中已无此电台", ""}));

    // A second start the same day asks nothing, nor does the hourly check;
    // once the last refresh is a day old, the hourly check of a player left
    // running asks again.
    ::DestroyWindow(Hwnd());
    window = nullptr;
    Start();
    ::SendMessage(Hwnd(), WM_TIMER, kDirectoryRefreshTimer, 0);
    PumpFor(500ms);
    EXPECT_EQ(directory.Count("/json/stations/byuuid"), 1u);
    WriteFile(stamp, std::to_string(std::time(nullptr) - 25 * 60 * 60) + "\n");
    ::SendMessage(Hwnd(), WM_TIMER, kDirectoryRefreshTimer, 0);
    EXPECT_TRUE(directory.WaitFor("/json/stations/byuuid", 2, kAnswerWait));
}
