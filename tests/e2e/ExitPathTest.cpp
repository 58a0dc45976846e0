// Every way out of the real player, on a desktop with a notification area:
// each ends the process with exit code 0 (no crash on the way out) and takes
// the icon off the notification area. Closing the main window is no way out:
// it only hides it (MainWindowTest). The ways out that are no choice of the
// user's end the process too: the X server going away, a first player that
// stopped answering (a later start takes its place), and a program without
// its data folder (it says so and exits 1).

#include "PlayerDesktop.h"

#include <signal.h>

#include <chrono>
#include <cstdio>

using namespace e2e;

namespace {

// The window that is open when the user leaves.
enum class Where { MainWindow, MainWindowBackFromTheIcon, TrayMenu, AboutDialog, SkinDialog };

// How the user (or the session) leaves.
enum class How { Escape, SystemClose, MenuExitEntry, Terminate, HangUp, Interrupt };

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
        case How::Interrupt:
            player->Signal(SIGINT);
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
                      TExitPath{"HangUpWhileTheAboutDialogRuns", Where::AboutDialog, How::HangUp},
                      TExitPath{"HangUpInTheMainWindow", Where::MainWindow, How::HangUp},
                      TExitPath{"InterruptInTheMainWindow", Where::MainWindow, How::Interrupt},
                      TExitPath{"InterruptWhileTheTrayMenuIsOpen", Where::TrayMenu, How::Interrupt},
                      TExitPath{"TerminateWhileTheSkinDialogRuns", Where::SkinDialog, How::Terminate}),
    [](const ::testing::TestParamInfo<TExitPath>& info) { return std::string(info.param.name); });

TEST_F(CPlayerWithoutTrayTest, EscapeEndsThePlayerWithoutANotificationArea)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    ASSERT_TRUE(session.Key(mainWindow, "Escape"));
    EXPECT_EQ(WaitForExit().Describe(), "exit 0") << player->Log();
}

namespace {

// The X server killed under a running player, with and without a
// notification area (with one, the icon's window goes with the server too).
class CLostDisplayTest : public CPlayerDesktopTest, public ::testing::WithParamInterface<bool>
{
protected:
    CLostDisplayTest()
        : CPlayerDesktopTest(GetParam())
    {
    }
};

// How long the lost display may take to end the program.
constexpr auto kLostDisplayBound = 2s;

} // namespace

TEST_P(CLostDisplayTest, TheProgramEndsAndANewStartOnANewServerShowsItsWindow)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    if (GetParam()) {
        ASSERT_TRUE(session.WaitForNotificationIcons(1)) << "no icon in the notification area";
    }

    const auto killed = std::chrono::steady_clock::now();
    session.KillServer();
    const ProgramExit exit = player->WaitForExit(kLostDisplayBound);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - killed);
    std::printf("[ measured ] the player ended %lld ms after its X server\n", static_cast<long long>(took.count()));
    ASSERT_TRUE(exit.exited) << "still running " << kLostDisplayBound.count() << " s after its X server went\n"
                             << player->Log();
    EXPECT_EQ(exit.signal, 0) << exit.Describe() << "\n" << player->Log();

    DesktopSession next(DesktopSession::Options{1024, 768, GetParam()});
    ASSERT_TRUE(next.Ready()) << next.Error();
    auto again = StartPlayerOn(next);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(next.WaitForWindow(kMainTitle, again->Pid()), 0u) << again->Log();
    again->Signal(SIGTERM);
    EXPECT_EQ(again->WaitForExit(kExitWait).Describe(), "exit 0") << again->Log();
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutTray, CLostDisplayTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WithNotificationArea" : "WithoutNotificationArea");
                         });

TEST_F(CPlayerWithoutTrayTest, AFrozenFirstPlayerIsTakenOverByTheNextStart)
{
    ASSERT_TRUE(StartPlayer()) << player->Log();
    player->Signal(SIGSTOP);
    auto next = StartPlayerOn(session);
    ASSERT_NE(next, nullptr);
    const unsigned long window = session.WaitForWindow(kMainTitle, next->Pid());
    EXPECT_NE(window, 0u) << "the next start did not take over\n" << next->Log();
    EXPECT_TRUE(next->Running()) << next->Log();
    player->Signal(SIGCONT);
    next->Signal(SIGTERM);
    EXPECT_EQ(next->WaitForExit(kExitWait).Describe(), "exit 0") << next->Log();
}

TEST_F(CPlayerWithoutTrayTest, AnExecutableCopiedAloneSaysWhatIsMissingAndExitsOne)
{
    const std::string alone = runFolder.File("alone");
    std::filesystem::create_directories(alone);
    std::filesystem::copy_file(runFolder.File("orvane-radio"), alone + "/orvane-radio");
    player = StartPlayerOn(session, alone + "/orvane-radio");
    ASSERT_NE(player, nullptr);
    // The plain message box, in the toolkit's own look: Enter closes it.
    const unsigned long box = session.WaitForWindow(kMainTitle, player->Pid());
    ASSERT_NE(box, 0u) << "no message box\n" << player->Log();
    ASSERT_TRUE(session.Key(box, "Return"));
    EXPECT_EQ(WaitForExit().Describe(), "exit 1") << player->Log();
    EXPECT_NE(player->Log().find("找不到界面文件 " + alone + "/skin/Corvela.xml"), std::string::npos) << player->Log();
}
