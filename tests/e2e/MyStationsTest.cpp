// The user's own stations in the real player on a private desktop: stations
// typed into the add dialog (ASCII and Chinese names) kept over a restart,
// played, reordered and removed through the station context menu; a playlist
// with CR-only line ends imported through the file dialog; Escape while
// typing in the dialog does not end the program.

#include "PlayerDesktop.h"

#include "support/IbusSession.h"
#include "support/IcecastServer.h"

#include <thread>

using namespace e2e;

namespace {

// "导入…" in the title row of my page, in window coordinates; the page and
// menu points the cases share are in PlayerDesktop.h.
constexpr TLayoutPoint kImportButton{502, 197};
// stationDlg.xml: 400 by 262.
constexpr int kStationDlgWidth = 400;
constexpr int kStationDlgHeight = 262;
constexpr TLayoutPoint kNameEdit{224, 75};
constexpr TLayoutPoint kUrlEdit{224, 117};
constexpr TLayoutPoint kOkButton{234, 222};

class CMyStationsDesktopTest : public CPlayerWithoutTrayTest
{
protected:
    std::string MinePath() const { return runFolder.File("config/mystations.xml"); }
    std::string Mine() const { return ReadBytes(MinePath()); }

    bool WaitForMine(const std::function<bool(const std::string&)>& holds)
    {
        return DesktopSession::WaitUntil([&] { return holds(Mine()); }, 10s);
    }


    // Right-clicks a station option and waits for a menu of `entries` entries.
    unsigned long OpenStationMenu(TLayoutPoint option, int entries)
    {
        if (!ClickIn(mainWindow, option, 3))
            return 0;
        return WaitForPlayerWindows(kStationMenuWidth, MenuHeight(entries));
    }

    // Types into the focused control of the window, as a keyboard does.
    bool Type(unsigned long window, const std::string& text)
    {
        if (!session.Focus(window))
            return false;
        const ToolResult result = session.Run({"xdotool", "type", "--delay", "40", text});
        return result.finished && result.exitCode == 0;
    }

    // Fills the open add dialog and confirms it; false when a step failed.
    bool AddThroughDialog(unsigned long dialog, const std::string& name, const std::string& url)
    {
        return ClickIn(dialog, kNameEdit) && Type(dialog, name) && ClickIn(dialog, kUrlEdit) && Type(dialog, url) &&
               ClickIn(dialog, kOkButton) &&
               DesktopSession::WaitUntil([&] { return !session.Geometry(dialog) || !session.Geometry(dialog)->viewable; },
                                         10s);
    }

    void RestartPlayer()
    {
        watchdog.reset();
        player->Kill();
        player.reset();
        ASSERT_TRUE(StartPlayer());
    }
};

} // namespace

TEST_F(CMyStationsDesktopTest, TypedStationsSurviveARestartPlayMoveAndGo)
{
    // The dialog's name and address are Edit controls of the layout.
    if (!std::filesystem::exists(ORVANE_SOURCE_DIR "/uilib/controls/EditUI.h"))
        GTEST_SKIP() << "this tree has no Edit control yet";
    if (!IcecastServer::Available())
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed";
    IcecastServer icecast;
    icecast.AddMount("/one.mp3", MountFormat::Mp3);
    const std::string one = icecast.Url("/one.mp3");
    const std::string two = icecast.Url("/two.mp3");
    const std::string ascii = "Icecast One";
    const std::string chinese = "中文电台";

    ASSERT_TRUE(StartPlayer()) << player->Log();
    EXPECT_FALSE(std::filesystem::exists(MinePath()));

    // A catalogue station's menu: 加入我的电台, 复制地址, 添加电台….
    ASSERT_TRUE(ClickIn(mainWindow, kFirstRegionAlone));
    for (const auto& [name, url] : {std::pair{ascii, one}, std::pair{chinese, two}}) {
        SCOPED_TRACE(name);
        const unsigned long menu = OpenStationMenu(kFirstStation, 3);
        ASSERT_NE(menu, 0u) << player->Log();
        ASSERT_TRUE(ClickIn(menu, MenuEntry(2)));
        const unsigned long dialog = WaitForPlayerWindows(kStationDlgWidth, kStationDlgHeight);
        ASSERT_NE(dialog, 0u);
        if (name == ascii) {
            // Escape while typing clears the edit; the program stays.
            ASSERT_TRUE(ClickIn(dialog, kUrlEdit));
            ASSERT_TRUE(Type(dialog, "ftp://wrong"));
            ASSERT_TRUE(session.Key(dialog, "Escape"));
            std::this_thread::sleep_for(500ms);
            ASSERT_TRUE(player->Running()) << "Escape in the dialog's edit ended the program";
            ASSERT_TRUE(session.Geometry(dialog) && session.Geometry(dialog)->viewable);
        }
        ASSERT_TRUE(AddThroughDialog(dialog, name, url)) << player->Log();
        EXPECT_TRUE(WaitForMine([&](const std::string& text) {
            return text.find(name) != std::string::npos && text.find(url) != std::string::npos;
        })) << Mine();
    }
    EXPECT_EQ(Mine().find("ftp://wrong"), std::string::npos);

    // After a restart both are there; the first plays on a double click.
    RestartPlayer();
    ASSERT_TRUE(ClickIn(mainWindow, kMyStationsEntry));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(DoubleClickIn(mainWindow, kFirstStation));
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return icecast.Listeners("/one.mp3") >= 1; }, 20s))
        << "the first of my stations did not play\n" << player->Log();

    // First on my page: 移除, 下移, 重命名…, 复制地址, 添加电台….
    unsigned long menu = OpenStationMenu(kFirstStation, 5);
    ASSERT_NE(menu, 0u);
    ASSERT_TRUE(ClickIn(menu, MenuEntry(1)));
    EXPECT_TRUE(WaitForMine([&](const std::string& text) {
        const auto first = text.find(chinese), second = text.find(ascii);
        return first != std::string::npos && second != std::string::npos && first < second;
    })) << Mine();

    menu = OpenStationMenu(kFirstStation, 5);
    ASSERT_NE(menu, 0u);
    ASSERT_TRUE(ClickIn(menu, MenuEntry(0)));
    EXPECT_TRUE(WaitForMine([&](const std::string& text) {
        return text.find(chinese) == std::string::npos && text.find(ascii) != std::string::npos;
    })) << Mine();
    EXPECT_TRUE(player->Running());
}

TEST_F(CMyStationsDesktopTest, PlaylistWithCrLineEndsImportsThroughTheFileDialog)
{
    // One station of the user's own, so that the page and its buttons are there.
    WriteBytes(MinePath(), "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<mystations version=\"1\">\n"
                           "  <station name=\"Kept\" url=\"http://127.0.0.1:9/kept\" />\n</mystations>\n");
    const std::string pls = runFolder.File("home/station list.pls");
    WriteBytes(pls, "[playlist]\rnumberofentries=3\rFile1=http://127.0.0.1:9/jazz sid=1\r"
                    "Title1=(#1 - 12/500) Jazz Lounge\rLength1=-1\rFile2=\rTitle2=Empty\r"
                    "File3=http://127.0.0.1:9/kept\rTitle3=Again\rVersion=2\r");

    ASSERT_TRUE(StartPlayer()) << player->Log();
    ASSERT_TRUE(ClickIn(mainWindow, kMyStationsEntry));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(ClickIn(mainWindow, kImportButton));
    const unsigned long chooser = session.WaitForWindow("导入电台", player->Pid(), 15s);
    ASSERT_NE(chooser, 0u) << player->Log();
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(Type(chooser, pls));
    ASSERT_TRUE(session.Key(chooser, "Return"));

    EXPECT_TRUE(WaitForMine([&](const std::string& text) {
        return text.find("Jazz Lounge") != std::string::npos && text.find("http://127.0.0.1:9/jazz\"") != std::string::npos;
    })) << Mine();
    const std::string text = Mine();
    // The address already kept is not added twice, the empty entry not at all.
    EXPECT_EQ(text.find("http://127.0.0.1:9/kept"), text.rfind("http://127.0.0.1:9/kept"));
    EXPECT_EQ(text.find("Empty"), std::string::npos);
    EXPECT_TRUE(player->Running());
}

// Pinyin through a real input method (IBus with libpinyin): "nihao" composed
// in the name edit and committed with Space names the station "你好".
// xdotool types Latin keys only, so Chinese in the saved name can only come
// from the input method's commit; plain keys would have left "nihao ".
TEST_F(CMyStationsDesktopTest, PinyinComposedInTheNameEditIsCommittedAsChinese)
{
    if (!std::filesystem::exists("/usr/bin/ibus-daemon"))
        GTEST_SKIP() << "ibus is not installed";
    IbusSession ibus(session);
    ASSERT_TRUE(ibus.Ready()) << ibus.Error();
    ASSERT_TRUE(StartPlayer(ibus.Environment())) << player->Log();
    ASSERT_TRUE(ClickIn(mainWindow, kFirstRegionAlone));
    const unsigned long menu = OpenStationMenu(kFirstStation, 3);
    ASSERT_NE(menu, 0u) << player->Log();
    ASSERT_TRUE(ClickIn(menu, MenuEntry(2)));
    const unsigned long dialog = WaitForPlayerWindows(kStationDlgWidth, kStationDlgHeight);
    ASSERT_NE(dialog, 0u);

    // The address is typed with the plain keyboard engine: pinyin would
    // compose its letters too.
    const std::string url = "http://127.0.0.1:" + std::to_string(refusingPort.Port()) + "/nihao";
    ASSERT_TRUE(ibus.Ibus({"engine", "xkb:us::eng"}).finished);
    ASSERT_TRUE(ClickIn(dialog, kUrlEdit));
    ASSERT_TRUE(Type(dialog, url));
    ASSERT_TRUE(ibus.Ibus({"engine", "libpinyin"}).finished);
    ASSERT_EQ(ibus.CurrentEngine(), "libpinyin");
    ASSERT_TRUE(ClickIn(dialog, kNameEdit));
    ASSERT_TRUE(session.Focus(dialog));
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(session.Run({"xdotool", "type", "--delay", "80", "nihao"}).finished);
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(session.Run({"xdotool", "key", "space"}).finished);
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(ClickIn(dialog, kOkButton));
    EXPECT_TRUE(WaitForMine([&](const std::string& text) { return text.find(url) != std::string::npos; }))
        << Mine() << player->Log();
    EXPECT_NE(Mine().find("name=\"你好\""), std::string::npos) << Mine();
    EXPECT_EQ(Mine().find("nihao\" url"), std::string::npos) << "the keys were typed without the input method";
}
