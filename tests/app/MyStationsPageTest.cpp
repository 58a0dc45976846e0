// The user's own stations through the real main window: their entry and page,
// the station context menu, the now-playing toggle, the add dialog, import,
// export and drops, each change checked in the saved file.

#include "ModalDriver.h"
#include "RadioWndFixture.h"

#include "app/MenuWnd.h"
#include "app/StationDlg.h"
#include "catalogue/MyStations.h"
#include "catalogue/StationImport.h"
#include "platform/shell/Shell.h"
#include "platform/win/WinQt.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <fstream>
#include <iterator>
#include <utility>

using namespace apptest;

namespace {

using TPairs = std::vector<std::pair<std::string, std::string>>; // name, address

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The file dialogs answer with these paths (empty: cancelled).
std::string openAnswer;
std::string saveAnswer;

BOOL AnswerWith(const std::string& answer, OPENFILENAME* description)
{
    if (answer.empty() || answer.size() + 1 > description->nMaxFile)
        return FALSE;
    std::copy(answer.c_str(), answer.c_str() + answer.size() + 1, description->lpstrFile);
    return TRUE;
}
BOOL AnswerOpen(OPENFILENAME* description) { return AnswerWith(openAnswer, description); }
BOOL AnswerSave(OPENFILENAME* description) { return AnswerWith(saveAnswer, description); }

const TPairs kThree = {
    {"甲台", "http://127.0.0.1:9/a"},
    {"Second & <Two>", "http://127.0.0.1:9/b"},
    {"丙台", "https://127.0.0.1:9/c.pls"},
};

class CMyStationsTest : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        WriteCatalogue(MakeCatalogue(2, 3, 1));
        SetOpenFileNameHook(&AnswerOpen);
        SetSaveFileNameHook(&AnswerSave);
        openAnswer.clear();
        saveAnswer.clear();
    }

    void TearDown() override
    {
        SetOpenFileNameHook(nullptr);
        SetSaveFileNameHook(nullptr);
        CRadioWndTest::TearDown();
    }

    std::filesystem::path MinePath() const { return folder / "config" / "mystations.xml"; }

    void WriteMine(const TPairs& stations)
    {
        CMyStations list;
        list.Load(MinePath().string());
        for (const auto& [name, url] : stations)
            ASSERT_TRUE(list.Add({name, url, "", false})) << url;
        ASSERT_TRUE(list.Save());
    }

    // What a fresh load of the saved file holds.
    TPairs SavedMine() const
    {
        CMyStations list;
        list.Load(MinePath().string());
        TPairs pairs;
        for (const TMyStation& station : list.Stations())
            pairs.emplace_back(station.name, station.url);
        return pairs;
    }

    // The station options of the page shown, in order.
    std::vector<COptionUI*> StationOptions() const
    {
        std::vector<COptionUI*> options;
        for (CControlUI* row : Children(window->radiosContent))
            for (CControlUI* child : Children(AsContainer(row)))
                if (child->GetName() == "fmradio")
                    options.push_back(static_cast<COptionUI*>(child->GetInterface("Option")));
        return options;
    }

    TPairs PageStations() const
    {
        TPairs pairs;
        for (COptionUI* option : StationOptions())
            pairs.emplace_back(option->GetText().GetData(), option->GetUserData().GetData());
        return pairs;
    }

    // Lets the posted page rebuild run.
    static void Settle() { PumpFor(std::chrono::milliseconds(30)); }

    void OpenMyPage()
    {
        CControlUI* entry = Manager().FindControl("mystations");
        ASSERT_NE(entry, nullptr);
        Notify(entry, "click");
        ASSERT_TRUE(window->radiosPanel->IsVisible());
        ASSERT_TRUE(window->myStationsPageShown);
    }

    void OpenRegion(const char* region)
    {
        CControlUI* option = nullptr;
        for (CControlUI* row : Children(window->sortsPanel))
            for (CControlUI* child : Children(AsContainer(row)))
                if (child->GetName() == "citys" && child->GetText() == region)
                    option = child;
        ASSERT_NE(option, nullptr) << region;
        Notify(option, "click");
    }

    COptionUI* OptionFor(const std::string& url) const
    {
        for (COptionUI* option : StationOptions())
            if (option->GetUserData() == url.c_str())
                return option;
        return nullptr;
    }

    // Right-clicks the option's station and waits for its menu.
    CMenuWnd* OpenMenuOn(COptionUI* option)
    {
        EXPECT_NE(option, nullptr);
        if (option == nullptr)
            return nullptr;
        Notify(option, "menu");
        CMenuWnd* menu = nullptr;
        PumpUntil([&] {
            menu = WindowObject<CMenuWnd>(::GetForegroundWindow());
            return menu != nullptr;
        });
        return menu;
    }

    static std::vector<std::string> VisibleEntries(CMenuWnd* menu)
    {
        std::vector<std::string> names;
        auto* frame = static_cast<CContainerUI*>(menu->paintManager.FindControl("menuframe")->GetInterface("Container"));
        for (CControlUI* entry : Children(frame))
            if (entry->IsVisible())
                names.emplace_back(entry->GetName().GetData());
        return names;
    }

    // Clicks a menu entry as the mouse does and lets its report arrive.
    void ChooseEntry(COptionUI* option, const char* entry)
    {
        CMenuWnd* menu = OpenMenuOn(option);
        ASSERT_NE(menu, nullptr);
        HWND menuWindow = menu->GetHWND();
        CControlUI* control = menu->paintManager.FindControl(entry);
        ASSERT_NE(control, nullptr) << entry;
        ASSERT_TRUE(control->IsVisible()) << entry;
        SendClick(control);
        ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(menuWindow); }));
        Settle();
    }
};

} // namespace

TEST_F(CMyStationsTest, WithoutOwnStationsNoEntryNoToggleAndTheCategoryPageAsBefore)
{
    struct TRow
    {
        const char* what;
        const char* file; // null: no file
    };
    const TRow rows[] = {
        {"no file", nullptr},
        {"broken file", "<mystations><station name=\"x\""},
        {"not XML at all", "\x01\x02garbage"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.file != nullptr)
            WriteFile(MinePath(), row.file);
        Start();
        ASSERT_TRUE(::IsWindow(Hwnd()));
        EXPECT_EQ(Manager().FindControl("mystations"), nullptr);
        EXPECT_TRUE(window->myStations.Empty());
        ASSERT_NE(window->favouriteButton, nullptr);
        EXPECT_FALSE(window->favouriteButton->IsVisible());
        // Heading, one row of regions, gap, heading, one row of styles, and
        // the directory's entry (gap, heading, entry).
        ASSERT_EQ(Children(window->sortsPanel).size(), 8u);
        EXPECT_EQ(Children(AsContainer(Children(window->sortsPanel)[0]))[0]->GetText(), "地区电台");
        // A broken file is never written over: it was moved aside whole.
        if (row.file != nullptr) {
            EXPECT_FALSE(window->myStations.SetAsidePath().empty());
            EXPECT_EQ(ReadText(window->myStations.SetAsidePath()), row.file);
        }
        ::DestroyWindow(Hwnd());
        window = nullptr;
        PumpFor(std::chrono::milliseconds(10));
        std::filesystem::remove(MinePath());
    }
}

TEST_F(CMyStationsTest, PageRowsMatchTheListAndPlayStepAsOnEveryPage)
{
    WriteMine(kThree);
    Start();
    CControlUI* entry = Manager().FindControl("mystations");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->GetText(), "我的电台 (3)");
    // The entry comes before the catalogue's headings.
    EXPECT_EQ(Children(AsContainer(Children(window->sortsPanel)[0]))[0]->GetText(), "我的电台");

    OpenMyPage();
    EXPECT_FALSE(window->sortsPanel->IsVisible());
    EXPECT_EQ(PageStations(), kThree);
    for (const char* button : {"mineadd", "mineimport", "mineexport", "mainpage"})
        EXPECT_NE(Manager().FindControl(button), nullptr) << button;

    std::vector<COptionUI*> options = StationOptions();
    ASSERT_EQ(options.size(), 3u);
    options[1]->Selected(true);
    Notify(options[1], "dbclick");
    EXPECT_EQ(window->currentStationUrl, kThree[1].second.c_str());
    EXPECT_EQ(window->currentStationName, kThree[1].first.c_str());
    EXPECT_TRUE(window->favouriteButton->IsVisible());
    EXPECT_EQ(window->favouriteButton->GetText(), "已收藏");

    Notify(Manager().FindControl("next"), "click");
    EXPECT_EQ(window->currentStationUrl, kThree[2].second.c_str());
    Notify(Manager().FindControl("next"), "click"); // the last stays
    EXPECT_EQ(window->currentStationUrl, kThree[2].second.c_str());
    Notify(Manager().FindControl("prev"), "click");
    Notify(Manager().FindControl("prev"), "click");
    EXPECT_EQ(window->currentStationUrl, kThree[0].second.c_str());

    Notify(Manager().FindControl("mainpage"), "click");
    EXPECT_TRUE(window->sortsPanel->IsVisible());
}

TEST_F(CMyStationsTest, ContextMenuOffersWhatFitsTheStationAndThePage)
{
    WriteMine({kThree[0], kThree[1], kThree[2], {"R0-1", "http://127.0.0.1:9/0/1"}});
    Start();
    struct TRow
    {
        const char* what;
        bool myPage;
        const char* url;
        std::vector<std::string> entries;
    };
    const std::vector<TRow> rows = {
        {"catalogue station", false, "http://127.0.0.1:9/0/0",
         {"menuaddmine", "menucopyurl", "menuaddstation"}},
        {"catalogue station that is mine too", false, "http://127.0.0.1:9/0/1",
         {"menuremovemine", "menurename", "menucopyurl", "menuaddstation"}},
        {"first on my page", true, kThree[0].second.c_str(),
         {"menuremovemine", "menumovedown", "menurename", "menucopyurl", "menuaddstation"}},
        {"middle of my page", true, kThree[1].second.c_str(),
         {"menuremovemine", "menumoveup", "menumovedown", "menurename", "menucopyurl", "menuaddstation"}},
        {"last on my page", true, "http://127.0.0.1:9/0/1",
         {"menuremovemine", "menumoveup", "menurename", "menucopyurl", "menuaddstation"}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.myPage)
            OpenMyPage();
        else
            OpenRegion("R0");
        CMenuWnd* menu = OpenMenuOn(OptionFor(row.url));
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(VisibleEntries(menu), row.entries);
        // The menu is as tall as its entries: 32 px each within a 4-px inset.
        RECT bounds = {};
        ::GetWindowRect(menu->GetHWND(), &bounds);
        EXPECT_EQ(bounds.bottom - bounds.top, 8 + 32 * static_cast<int>(row.entries.size()));
        HWND menuWindow = menu->GetHWND();
        ::PostMessage(menuWindow, WM_CLOSE, 0, 0);
        ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(menuWindow); }));
    }
}

TEST_F(CMyStationsTest, MenuEntriesChangeTheListAndSaveAtOnce)
{
    WriteMine(kThree);
    Start();
    const auto& [a, b, c] = std::tie(kThree[0], kThree[1], kThree[2]);
    const std::pair<std::string, std::string> caught = {"R1-2", "http://127.0.0.1:9/1/2"};
    struct TRow
    {
        const char* entry;
        const char* region; // null: on my page
        std::string url;
        TPairs after;
    };
    const std::vector<TRow> rows = {
        {"menumovedown", nullptr, a.second, {b, a, c}},
        {"menumovedown", nullptr, a.second, {b, c, a}},
        {"menumoveup", nullptr, c.second, {c, b, a}},
        {"menuremovemine", nullptr, b.second, {c, a}},
        {"menuaddmine", "R1", caught.second, {c, a, caught}},
        {"menuremovemine", "R1", caught.second, {c, a}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(std::string(row.entry) + " " + row.url);
        if (row.region != nullptr)
            OpenRegion(row.region);
        else
            OpenMyPage();
        ChooseEntry(OptionFor(row.url), row.entry);
        EXPECT_EQ(SavedMine(), row.after);
        if (row.region == nullptr) {
            EXPECT_EQ(PageStations(), row.after); // the page follows at once
        }
    }

    OpenMyPage();
    ChooseEntry(OptionFor(a.second), "menucopyurl");
    EXPECT_EQ(::GetClipboardText(), a.second);

    // Removing the last station leaves the page and the entry goes.
    ChooseEntry(OptionFor(c.second), "menuremovemine");
    OpenMyPage();
    ChooseEntry(OptionFor(a.second), "menuremovemine");
    EXPECT_TRUE(SavedMine().empty());
    EXPECT_TRUE(window->sortsPanel->IsVisible());
    EXPECT_EQ(Manager().FindControl("mystations"), nullptr);
}

TEST_F(CMyStationsTest, ToggleAddsAndRemovesThePlayingStation)
{
    Start();
    OpenRegion("R1");
    COptionUI* option = OptionFor("http://127.0.0.1:9/1/0");
    ASSERT_NE(option, nullptr);
    Notify(option, "dbclick");
    CButtonUI* toggle = window->favouriteButton;
    ASSERT_TRUE(toggle->IsVisible());
    EXPECT_EQ(toggle->GetText(), "收藏");
    EXPECT_EQ(toggle->GetToolTip(), "加入我的电台");

    Notify(toggle, "click");
    Settle();
    EXPECT_EQ(toggle->GetText(), "已收藏");
    EXPECT_EQ(toggle->GetToolTip(), "从我的电台移除");
    EXPECT_EQ(SavedMine(), (TPairs{{"R1-0", "http://127.0.0.1:9/1/0"}}));
    EXPECT_NE(Manager().FindControl("mystations"), nullptr);

    Notify(toggle, "click");
    Settle();
    EXPECT_EQ(toggle->GetText(), "收藏");
    EXPECT_TRUE(SavedMine().empty());
    EXPECT_EQ(Manager().FindControl("mystations"), nullptr);
}

TEST_F(CMyStationsTest, AddDialogRefusesBadAddressesWithTheReasonAndAddsAGoodOne)
{
    // The dialog's name and address are Edit controls of the layout.
    if (!std::filesystem::exists(ORVANE_SOURCE_DIR "/uilib/controls/EditUI.h"))
        GTEST_SKIP() << "this tree has no Edit control yet";
    WriteMine({kThree[0]});
    Start();
    OpenMyPage();

    struct TAttempt
    {
        const char* name;
        const char* url;
    };
    const TAttempt refused[] = {
        {"空地址", ""},
        {"ftp", "ftp://127.0.0.1/radio"},
        {"无主机", "http://"},
        {"文字", "不是地址"},
        {"已有", kThree[0].second.c_str()},
    };
    std::vector<std::string> reasons;
    bool closedOnGood = false;
    CModalDriver driver;
    auto dialog = [] { return WindowObject<CStationDlg>(CDialogWnd::OpenDialog()); };
    driver.PostWhen([&] { return dialog() != nullptr; }, [&] {
        CStationDlg* open = dialog();
        driver.Guard(open->GetHWND());
        ASSERT_NE(open->nameEdit, nullptr);
        ASSERT_NE(open->urlEdit, nullptr);
        ASSERT_NE(open->whyNotLabel, nullptr);
        for (const TAttempt& attempt : refused) {
            open->nameEdit->SetText(attempt.name);
            open->urlEdit->SetText(attempt.url);
            SendClick(open->paintManager.FindControl("okbtn"));
            EXPECT_TRUE(::IsWindow(open->GetHWND())) << attempt.url;
            reasons.emplace_back(open->whyNotLabel->GetText().GetData());
        }
        // An empty name takes the address's host.
        open->nameEdit->SetText("  ");
        open->urlEdit->SetText(" http://127.0.0.1:8000/live ");
        HWND handle = open->GetHWND();
        SendClick(open->paintManager.FindControl("okbtn"));
        driver.PostWhen([&, handle] { return !::IsWindow(handle); }, [&] { closedOnGood = true; });
    });
    Notify(Manager().FindControl("mineadd"), "click"); // runs the dialog modally
    ASSERT_FALSE(driver.TimedOut());
    PumpUntil([&] { return closedOnGood; });
    EXPECT_TRUE(closedOnGood);

    ASSERT_EQ(reasons.size(), std::size(refused));
    for (std::size_t i = 0; i + 1 < reasons.size(); ++i) {
        std::string expected;
        EXPECT_FALSE(IsStationAddress(refused[i].url, &expected));
        EXPECT_FALSE(reasons[i].empty()) << refused[i].url;
        if (!expected.empty()) {
            EXPECT_EQ(reasons[i], expected) << refused[i].url;
        }
    }
    EXPECT_EQ(reasons.back(), "这个地址已在我的电台中：" + kThree[0].first);

    Settle();
    const TPairs expected = {kThree[0], {HostOf("http://127.0.0.1:8000/live"), "http://127.0.0.1:8000/live"}};
    EXPECT_EQ(SavedMine(), expected);
    EXPECT_EQ(PageStations(), expected);
}

TEST_F(CMyStationsTest, ImportSkipsDuplicatesAndExportWritesM3u)
{
    WriteMine({kThree[0]});
    Start();
    OpenMyPage();
    // A playlist as a broadcaster's server writes one: CR-only line ends, an
    // empty entry, a "sid" suffix, and an address the list already has.
    const std::filesystem::path pls = folder / "list.pls";
    WriteFile(pls, "[playlist]\rNumberOfEntries=3\rFile1=http://127.0.0.1:9/p1\rTitle1=P One\rFile2=\r"
                   "File3=" + kThree[0].second + "\rTitle3=Again\rVersion=2\r");
    openAnswer = pls.string();
    for (int round = 0; round < 2; ++round) {
        Notify(Manager().FindControl("mineimport"), "click");
        Settle();
    }
    const std::vector<TMyStation> read = ReadStationFile(pls.string(), ReadText(pls));
    ASSERT_FALSE(read.empty());
    TPairs expected = {kThree[0]};
    for (const TMyStation& station : read)
        if (station.url != kThree[0].second)
            expected.emplace_back(station.name, station.url);
    EXPECT_EQ(SavedMine(), expected);
    EXPECT_EQ(PageStations(), expected);

    const std::filesystem::path out = folder / "out" / "mine.m3u";
    std::filesystem::create_directories(out.parent_path());
    saveAnswer = out.string();
    Notify(Manager().FindControl("mineexport"), "click");
    EXPECT_EQ(ReadText(out), WriteM3u(window->myStations.Stations()));

    // A cancelled dialog changes nothing.
    openAnswer.clear();
    Notify(Manager().FindControl("mineimport"), "click");
    Settle();
    EXPECT_EQ(SavedMine(), expected);
}

TEST_F(CMyStationsTest, DroppedPlaylistAndLinkBecomeStations)
{
    Start();
    const std::filesystem::path pls = folder / "drop.pls";
    WriteFile(pls, "[playlist]\rFile1=http://127.0.0.1:9/d1 sid=8\rTitle1=Dropped\rNumberOfEntries=1\r");
    QWidget* widget = WidgetFromHwnd(Hwnd());
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->acceptDrops());

    struct TRow
    {
        const char* what;
        QList<QUrl> urls;
        QString text;
        bool taken;
    };
    const TRow rows[] = {
        {"a text that is no link", {}, QStringLiteral("hello"), false},
        {"a ftp link", {QUrl(QStringLiteral("ftp://127.0.0.1/x"))}, QString(), false},
        {"playlist file and a link",
         {QUrl::fromLocalFile(QString::fromStdString(pls.string())), QUrl(QStringLiteral("http://127.0.0.1:9/live"))},
         QString(),
         true},
        {"a link as plain text", {}, QStringLiteral("https://127.0.0.1:9/text\n"), true},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        QMimeData data;
        if (!row.urls.isEmpty())
            data.setUrls(row.urls);
        if (!row.text.isEmpty())
            data.setText(row.text);
        QDragEnterEvent enter(QPoint(100, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &enter);
        EXPECT_EQ(enter.isAccepted(), row.taken);
        QDropEvent drop(QPointF(100, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &drop);
        EXPECT_EQ(drop.isAccepted(), row.taken);
        Settle();
    }
    const TPairs expected = {{"Dropped", "http://127.0.0.1:9/d1"},
                             {HostOf("http://127.0.0.1:9/live"), "http://127.0.0.1:9/live"},
                             {HostOf("https://127.0.0.1:9/text"), "https://127.0.0.1:9/text"}};
    EXPECT_EQ(SavedMine(), expected);
    EXPECT_TRUE(window->myStationsPageShown);
    EXPECT_EQ(PageStations(), expected);
}
