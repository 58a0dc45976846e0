// Every way out of the real player, on a desktop with a notification area:
// each ends the process with exit code 0 (no crash on the way out) and takes
// the icon off the notification area. Closing the main window is no way out:
// it only hides it (MainWindowTest).

#include "PlayerDesktop.h"

#include <signal.h>

using namespace e2e;

namespace {

// The window that is open when the user leaves.
enum class Where { MainWindow, MainWindowBackFromTheIcon, TrayMenu, AboutDialog, SkinDialog };

// How the user (or the session) leaves.
enum class How { Escape, SystemClose, MenuExitEntry, Terminate, HangUp };

struct TExitPath
{
    const char* name;
    Where where;
    How how;
};

void PrintTo(const TExitPath& path, std::ostream* stream)
{
    *stream << path.name;
}

class CExitPathTest : public CPlayerDesktopTest, public ::testing::WithParamInterface<TExitPath>
{
protected:
    // Opens the window the row names; its X window (the main window's for
    // the main window).
    unsigned long Open(Where where)
    {
        switch (where) {
        case Where::MainWindow:
            return mainWindow;
        case Where::MainWindowBackFromTheIcon: {
            if (!ClickIn(mainWindow, kMainCloseButton))
                return 0;
            const auto icon = IconCentre();
            if (!icon || !session.Click(icon->first, icon->second, 1))
                return 0;
            return session.WaitForWindow(kMainTitle, player->Pid());
        }
        case Where::TrayMenu:
            return OpenTrayMenu();
        case Where::AboutDialog: {
            const unsigned long menu = OpenTrayMenu();
            if (menu == 0 || !ClickIn(menu, kMenuAbout))
                return 0;
            return WaitForPlayerWindows(kAboutWidth, kAboutHeight);
        }
        case Where::SkinDialog:
            if (!ClickIn(mainWindow, kMainSkinButton))
                return 0;
            return WaitForPlayerWindows(kSkinWidth, kSkinHeight);
        }
        return 0;
    }

    bool Leave(unsigned long window, How how)
    {
        switch (how) {
        case How::Escape:
            return session.Key(window, "Escape");
        case How::SystemClose:
            return session.Key(window, "alt+F4");
        case How::MenuExitEntry: {
            // The menu works while a dialog runs, too.
            const unsigned long menu = OpenTrayMenu();
            return menu != 0 && ClickIn(menu, kMenuExit);
        }
        case How::Terminate:
            player->Signal(SIGTERM);
            return true;
        case How::HangUp:
            player->Signal(SIGHUP);
            return true;
        }
        return false;
    }
};

} // namespace

TEST_P(CExitPathTest, EndsWithExitCodeZeroAndTakesTheIconAway)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    ASSERT_TRUE(session.WaitForNotificationIcons(1)) << "no icon in the notification area";
    const unsigned long window = Open(GetParam().where);
    ASSERT_NE(window, 0u) << "the window to leave from did not open";
    ASSERT_TRUE(Leave(window, GetParam().how));

    const ProgramExit exit = WaitForExit();
    EXPECT_EQ(exit.Describe(), "exit 0") << player->Log();
    EXPECT_TRUE(session.WaitForNotificationIcons(0)) << "the icon stayed in the notification area";
}

INSTANTIATE_TEST_SUITE_P(
    EveryWayOut, CExitPathTest,
    ::testing::Values(TExitPath{"EscapeInTheMainWindow", Where::MainWindow, How::Escape},
                      TExitPath{"EscapeInTheMainWindowBackFromTheIcon", Where::MainWindowBackFromTheIcon, How::Escape},
                      TExitPath{"EscapeInTheTrayMenu", Where::TrayMenu, How::Escape},
                      TExitPath{"SystemCloseOfTheTrayMenu", Where::TrayMenu, How::SystemClose},
                      TExitPath{"ExitEntryOfTheTrayMenu", Where::MainWindow, How::MenuExitEntry},
                      TExitPath{"ExitEntryWhileTheSkinDialogRuns", Where::SkinDialog, How::MenuExitEntry},
                      TExitPath{"EscapeInTheAboutDialog", Where::AboutDialog, How::Escape},
                      TExitPath{"SystemCloseOfTheAboutDialog", Where::AboutDialog, How::SystemClose},
                      TExitPath{"EscapeInTheSkinDialog", Where::SkinDialog, How::Escape},
                      TExitPath{"SystemCloseOfTheSkinDialog", Where::SkinDialog, How::SystemClose},
                      TExitPath{"EndOfSessionSignal", Where::MainWindow, How::Terminate},
                      TExitPath{"HangUpWhileTheAboutDialogRuns", Where::AboutDialog, How::HangUp}),
    [](const ::testing::TestParamInfo<TExitPath>& info) { return std::string(info.param.name); });

TEST_F(CPlayerWithoutTrayTest, EscapeEndsThePlayerWithoutANotificationArea)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    ASSERT_TRUE(session.Key(mainWindow, "Escape"));
    EXPECT_EQ(WaitForExit().Describe(), "exit 0") << player->Log();
}
