// The real player on a desktop with a notification area: its main window's
// start and shape, hiding and bringing back, the icon's menu, the dialogs
// (one at a time), dragging by the caption band, and the remembered skin.

#include "PlayerDesktop.h"

#include <thread>

using namespace e2e;

namespace {

// A pixel of the screen as ImageMagick prints it ("#RRGGBB").
std::string ScreenPixel(const DesktopSession& session, int x, int y)
{
    const ToolResult result = session.Run({"import", "-window", "root", "-crop",
                                           "1x1+" + std::to_string(x) + "+" + std::to_string(y), "-depth", "8",
                                           "txt:-"});
    // "# ImageMagick pixel enumeration: …" and then "0,0: (r,g,b)  #RRGGBB  …".
    const auto pixel = result.output.find("0,0:");
    const auto hash = pixel == std::string::npos ? pixel : result.output.find('#', pixel);
    return hash == std::string::npos ? "" : result.output.substr(hash, 7);
}

} // namespace

TEST_F(CPlayerDesktopTest, StartsMappedCentredAtTheLayoutsSizeWithRoundedCornersAndAnIcon)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    const auto geometry = session.Geometry(mainWindow);
    ASSERT_TRUE(geometry);
    EXPECT_TRUE(geometry->viewable);
    EXPECT_EQ(geometry->width, kMainWidth);
    EXPECT_EQ(geometry->height, kMainHeight);
    EXPECT_EQ(geometry->x, (session.Width() - kMainWidth) / 2);
    EXPECT_EQ(geometry->y, (session.Height() - kMainHeight) / 2);
    // The rounded region is one pixel wider and higher than the window.
    const ToolResult shape = session.Run({"xwininfo", "-shape", "-id", std::to_string(mainWindow)});
    EXPECT_NE(shape.output.find("Window shape extents:  601x641+0+0"), std::string::npos) << shape.output;
    EXPECT_TRUE(session.WaitForNotificationIcons(1));
    EXPECT_TRUE(player->Running());
}

// Hiding the main window and bringing it back with the notification-area icon.
class CHideToTrayTest : public CPlayerDesktopTest
{
protected:
    bool MainWindowViewable() const
    {
        const auto geometry = session.Geometry(mainWindow);
        return geometry && geometry->viewable;
    }

    bool WaitUntilHidden()
    {
        return DesktopSession::WaitUntil([this] { return !MainWindowViewable(); }, 10s);
    }

    // Clicks the icon, then waits for the window; false when either failed.
    bool ClickTheIconAndWaitForTheWindow()
    {
        const auto icon = IconCentre();
        return icon && session.Click(icon->first, icon->second, 1) &&
               DesktopSession::WaitUntil([this] { return MainWindowViewable(); }, 10s);
    }
};

TEST_F(CHideToTrayTest, CloseButtonAndAltF4HideAndALeftClickOnTheIconBringsTheWindowBack)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    ASSERT_TRUE(session.WaitForNotificationIcons(1));

    ASSERT_TRUE(ClickIn(mainWindow, kMainCloseButton));
    EXPECT_TRUE(WaitUntilHidden()) << "the close button did not hide";
    EXPECT_TRUE(ClickTheIconAndWaitForTheWindow()) << "the icon did not bring the window back";

    ASSERT_TRUE(session.Key(mainWindow, "alt+F4"));
    EXPECT_TRUE(WaitUntilHidden()) << "Alt+F4 did not hide";
    EXPECT_TRUE(player->Running()) << "closing the main window only hides it";
}

// The second click on the icon comes within the double-click time of the
// first, so the notification area reports it as a double click.
TEST_F(CHideToTrayTest, TheIconBringsBackAWindowThatAltF4HidAtOnce)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    ASSERT_TRUE(session.WaitForNotificationIcons(1));
    ASSERT_TRUE(ClickIn(mainWindow, kMainCloseButton));
    ASSERT_TRUE(WaitUntilHidden());
    ASSERT_TRUE(ClickTheIconAndWaitForTheWindow());

    ASSERT_TRUE(session.Key(mainWindow, "alt+F4"));
    ASSERT_TRUE(WaitUntilHidden()) << "Alt+F4 did not hide";
    EXPECT_TRUE(ClickTheIconAndWaitForTheWindow());
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(MainWindowViewable()) << "the window was hidden again";
    EXPECT_TRUE(player->Running());
}

TEST_F(CPlayerDesktopTest, RightClickOnTheIconOpensTheMenuAtThePointer)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    ASSERT_TRUE(session.WaitForNotificationIcons(1));
    const unsigned long menu = OpenTrayMenu();
    ASSERT_NE(menu, 0u) << "no menu";
    const auto geometry = session.Geometry(menu);
    const auto pointer = session.Pointer();
    ASSERT_TRUE(geometry && pointer);
    // The icon sits at the top-right corner of the screen: the menu opens to
    // the left of the pointer (it would cross the right edge) and below it.
    EXPECT_EQ(geometry->x + geometry->width, pointer->first);
    EXPECT_EQ(geometry->y, pointer->second);

    // Switching to another window closes it without any action (with no
    // window manager, the keyboard focus moves only when it is given).
    ASSERT_TRUE(session.Focus(mainWindow));
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return PlayerWindowsOfSize(kMenuWidth, kMenuHeight).empty(); }, 10s));
    EXPECT_TRUE(player->Running());
}

TEST_F(CPlayerDesktopTest, AboutDialogOpensFromTheMenuAndItsCloseButtonClosesIt)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    ASSERT_TRUE(session.WaitForNotificationIcons(1));
    const unsigned long menu = OpenTrayMenu();
    ASSERT_NE(menu, 0u);
    ASSERT_TRUE(ClickIn(menu, kMenuAbout));
    const unsigned long about = WaitForPlayerWindows(kAboutWidth, kAboutHeight);
    ASSERT_NE(about, 0u) << "no about dialog";
    EXPECT_TRUE(PlayerWindowsOfSize(kMenuWidth, kMenuHeight).empty()) << "the menu stayed open";

    ASSERT_TRUE(ClickIn(about, kAboutCloseButton));
    EXPECT_TRUE(
        DesktopSession::WaitUntil([&] { return PlayerWindowsOfSize(kAboutWidth, kAboutHeight).empty(); }, 10s));
    EXPECT_TRUE(player->Running());
}

TEST_F(CPlayerDesktopTest, OnlyOneDialogRunsAtATimeAndTheMainWindowStaysDisabledUntilItCloses)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    ASSERT_TRUE(session.WaitForNotificationIcons(1));
    // The skin dialog from the main window, then "about" twice from the
    // menu, which stays usable while the dialog runs.
    ASSERT_TRUE(ClickIn(mainWindow, kMainSkinButton));
    const unsigned long skin = WaitForPlayerWindows(kSkinWidth, kSkinHeight);
    ASSERT_NE(skin, 0u) << "no skin dialog";
    for (int round = 0; round < 2; ++round) {
        const unsigned long menu = OpenTrayMenu();
        ASSERT_NE(menu, 0u) << "round " << round;
        ASSERT_TRUE(ClickIn(menu, kMenuAbout));
        ASSERT_TRUE(DesktopSession::WaitUntil(
            [&] { return PlayerWindowsOfSize(kMenuWidth, kMenuHeight).empty(); }, 10s));
    }
    EXPECT_TRUE(PlayerWindowsOfSize(kAboutWidth, kAboutHeight).empty()) << "a second dialog opened";
    ASSERT_EQ(PlayerWindowsOfSize(kSkinWidth, kSkinHeight).size(), 1u);

    // While the dialog runs, the main window takes no clicks: its close
    // button does not hide it.
    ASSERT_TRUE(ClickIn(mainWindow, kMainCloseButton));
    ASSERT_TRUE(ClickIn(skin, kSkinCloseButton));
    ASSERT_TRUE(
        DesktopSession::WaitUntil([&] { return PlayerWindowsOfSize(kSkinWidth, kSkinHeight).empty(); }, 10s));
    auto geometry = session.Geometry(mainWindow);
    ASSERT_TRUE(geometry);
    EXPECT_TRUE(geometry->viewable) << "the disabled main window took the click";

    // Once the dialog is gone the main window answers again, and "about"
    // opens a dialog as before.
    const unsigned long menu = OpenTrayMenu();
    ASSERT_NE(menu, 0u);
    ASSERT_TRUE(ClickIn(menu, kMenuAbout));
    EXPECT_NE(WaitForPlayerWindows(kAboutWidth, kAboutHeight), 0u);
    EXPECT_TRUE(player->Running());
}

TEST_F(CPlayerDesktopTest, DraggingTheCaptionBandMovesTheWindow)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    const auto before = session.Geometry(mainWindow);
    ASSERT_TRUE(before);
    const int fromX = before->x + kMainCaptionLabel.x;
    const int fromY = before->y + kMainCaptionLabel.y;
    ASSERT_TRUE(session.Drag(fromX, fromY, fromX - 120, fromY + 90));
    std::optional<WindowGeometry> after;
    EXPECT_TRUE(DesktopSession::WaitUntil(
        [&] {
            after = session.Geometry(mainWindow);
            return after && after->x == before->x - 120 && after->y == before->y + 90;
        },
        10s))
        << "now at " << (after ? after->x : -1) << "," << (after ? after->y : -1);
    EXPECT_EQ(after->width, kMainWidth);
    EXPECT_EQ(after->height, kMainHeight);
}

TEST_F(CPlayerDesktopTest, SkinChoiceIsRememberedOverARestart)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    // A point of the main window where the background picture shows: the
    // margin left of the station list.
    const auto geometry = session.Geometry(mainWindow);
    ASSERT_TRUE(geometry);
    const int sampleX = geometry->x + 5;
    const int sampleY = geometry->y + 300;
    const std::string warm = ScreenPixel(session, sampleX, sampleY);
    ASSERT_FALSE(warm.empty());

    ASSERT_TRUE(ClickIn(mainWindow, kMainSkinButton));
    const unsigned long skin = WaitForPlayerWindows(kSkinWidth, kSkinHeight);
    ASSERT_NE(skin, 0u);
    ASSERT_TRUE(ClickIn(skin, kSkinBluePicture));
    ASSERT_TRUE(DesktopSession::WaitUntil(
        [&] { return ReadBytes(runFolder.File("config/config.xml")).find("minBlue") != std::string::npos; }, 10s))
        << ReadBytes(runFolder.File("config/config.xml"));
    std::string blue;
    ASSERT_TRUE(DesktopSession::WaitUntil(
        [&] {
            blue = ScreenPixel(session, sampleX, sampleY);
            return blue != warm;
        },
        10s))
        << "the background did not change";
    ASSERT_TRUE(ClickIn(skin, kSkinCloseButton));
    ASSERT_TRUE(session.Key(mainWindow, "Escape"));
    ASSERT_EQ(WaitForExit().Describe(), "exit 0") << player->Log();

    ASSERT_TRUE(StartPlayer()) << player->Log();
    std::string again;
    EXPECT_TRUE(DesktopSession::WaitUntil(
        [&] {
            again = ScreenPixel(session, sampleX, sampleY);
            return again == blue;
        },
        10s))
        << "warm " << warm << ", blue " << blue << ", after the restart " << again;
}
