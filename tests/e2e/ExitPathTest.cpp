// Every way out of the real player, on a desktop with a notification area:
// each ends the process with exit code 0 (no crash on the way out) and takes
// the icon off the notification area. Closing the main window is no way out:
// it only hides it.

#include "PlayerDesktop.h"

#include <signal.h>

using namespace e2e;

namespace {

class CExitPathTest : public CPlayerDesktopTest
{
protected:
    void ExpectCleanExit()
    {
        const ProgramExit exit = WaitForExit();
        EXPECT_EQ(exit.Describe(), "exit 0") << player->Log();
        EXPECT_TRUE(session.WaitForNotificationIcons(0)) << "the icon stayed in the notification area";
    }

    void StartWithIcon()
    {
        ASSERT_TRUE(StartPlayer()) << player->Log();
        ASSERT_TRUE(session.WaitForNotificationIcons(1)) << "no icon in the notification area";
    }

    // Opens the skin dialog (from the main window) or the about dialog (from
    // the icon's menu) and answers its window.
    unsigned long OpenDialog(bool skin)
    {
        if (skin) {
            if (!ClickIn(mainWindow, kMainSkinButton))
                return 0;
            return WaitForPlayerWindows(kSkinWidth, kSkinHeight);
        }
        const unsigned long menu = OpenTrayMenu();
        if (menu == 0 || !ClickIn(menu, kMenuAbout))
            return 0;
        return WaitForPlayerWindows(kAboutWidth, kAboutHeight);
    }
};

} // namespace

TEST_F(CExitPathTest, EscapeInTheMainWindow)
{
    StartWithIcon();
    ASSERT_TRUE(session.Key(mainWindow, "Escape"));
    ExpectCleanExit();
}

TEST_F(CExitPathTest, EscapeInTheMainWindowAfterItCameBackFromTheIcon)
{
    StartWithIcon();
    ASSERT_TRUE(ClickIn(mainWindow, kMainCloseButton));
    auto icon = IconCentre();
    ASSERT_TRUE(icon);
    ASSERT_TRUE(session.Click(icon->first, icon->second, 1));
    ASSERT_NE(session.WaitForWindow(kMainTitle, player->Pid()), 0u);
    ASSERT_TRUE(session.Key(mainWindow, "Escape"));
    ExpectCleanExit();
}

TEST_F(CExitPathTest, EscapeInTheTrayMenu)
{
    StartWithIcon();
    const unsigned long menu = OpenTrayMenu();
    ASSERT_NE(menu, 0u);
    ASSERT_TRUE(session.Key(menu, "Escape"));
    ExpectCleanExit();
}

TEST_F(CExitPathTest, SystemCloseCommandOfTheTrayMenu)
{
    StartWithIcon();
    const unsigned long menu = OpenTrayMenu();
    ASSERT_NE(menu, 0u);
    ASSERT_TRUE(session.Key(menu, "alt+F4"));
    ExpectCleanExit();
}

TEST_F(CExitPathTest, ExitEntryOfTheTrayMenu)
{
    StartWithIcon();
    const unsigned long menu = OpenTrayMenu();
    ASSERT_NE(menu, 0u);
    ASSERT_TRUE(ClickIn(menu, kMenuExit));
    ExpectCleanExit();
}

TEST_F(CExitPathTest, ExitEntryOfTheTrayMenuWhileADialogRuns)
{
    StartWithIcon();
    ASSERT_NE(OpenDialog(true), 0u);
    const unsigned long menu = OpenTrayMenu();
    ASSERT_NE(menu, 0u);
    ASSERT_TRUE(ClickIn(menu, kMenuExit));
    ExpectCleanExit();
}

TEST_F(CExitPathTest, EscapeInTheAboutDialog)
{
    StartWithIcon();
    const unsigned long about = OpenDialog(false);
    ASSERT_NE(about, 0u);
    ASSERT_TRUE(session.Key(about, "Escape"));
    ExpectCleanExit();
}

TEST_F(CExitPathTest, SystemCloseCommandOfTheAboutDialog)
{
    StartWithIcon();
    const unsigned long about = OpenDialog(false);
    ASSERT_NE(about, 0u);
    ASSERT_TRUE(session.Key(about, "alt+F4"));
    ExpectCleanExit();
}

TEST_F(CExitPathTest, EscapeInTheSkinDialog)
{
    StartWithIcon();
    const unsigned long skin = OpenDialog(true);
    ASSERT_NE(skin, 0u);
    ASSERT_TRUE(session.Key(skin, "Escape"));
    ExpectCleanExit();
}

TEST_F(CExitPathTest, SystemCloseCommandOfTheSkinDialog)
{
    StartWithIcon();
    const unsigned long skin = OpenDialog(true);
    ASSERT_NE(skin, 0u);
    ASSERT_TRUE(session.Key(skin, "alt+F4"));
    ExpectCleanExit();
}

TEST_F(CExitPathTest, EndOfSessionSignal)
{
    StartWithIcon();
    player->Signal(SIGTERM);
    ExpectCleanExit();
}

TEST_F(CExitPathTest, EndOfSessionSignalWhileADialogRuns)
{
    StartWithIcon();
    ASSERT_NE(OpenDialog(false), 0u);
    player->Signal(SIGHUP);
    ExpectCleanExit();
}

TEST_F(CPlayerWithoutTrayTest, EscapeEndsThePlayerWithoutANotificationArea)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    ASSERT_TRUE(session.Key(mainWindow, "Escape"));
    EXPECT_EQ(WaitForExit().Describe(), "exit 0") << player->Log();
}
