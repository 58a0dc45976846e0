// The about dialog: opened from the tray menu over the real main window, in
// the background applied last; its close button, its keyboard filter and its
// frame. Modal runs are driven by posted steps behind a watchdog.

#include "ModalDriver.h"
#include "RadioWndFixture.h"

#include "app/AboutDlg.h"
#include "app/MenuWnd.h"
#include "appearance/SkinDlg.h"

using namespace apptest;

namespace {

const char kBlue[] = "file='bluebk.jpg' xcentered='true' ycentered='true'";

int liveDialogs = 0;

class CCountedAboutDlg : public CAboutDlg
{
public:
    CCountedAboutDlg(const char* background, const char* foreground)
        : CAboutDlg(background, foreground)
    {
        ++liveDialogs;
    }
    ~CCountedAboutDlg() override { --liveDialogs; }
};

class CAboutDlgTest : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        liveDialogs = 0;
    }

    // Opens the dialog as the main window's "menuabout" does, up to the modal run.
    CAboutDlg* Open()
    {
        auto* dialog = new CCountedAboutDlg(window->backgroundImage, window->foreImage);
        dialog->Create(Hwnd(), "", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
        dialog->CenterWindow();
        return dialog;
    }

    UINT RunModal(CAboutDlg* dialog, CModalDriver& driver)
    {
        driver.Guard(dialog->GetHWND());
        const UINT code = dialog->DoModal();
        EXPECT_FALSE(driver.TimedOut()) << "the watchdog ended the dialog";
        return code;
    }
};

} // namespace

TEST_F(CAboutDlgTest, WearsTheBackgroundAppliedLastAlsoWhileTheMainWindowIsHidden)
{
    Start();
    // The user applies the blue picture in the skin dialog first.
    {
        auto* skin = new CSkinDlg(window->backgroundImage, window->foreImage);
        skin->owner = window;
        skin->Create(Hwnd(), "", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
        CModalDriver driver;
        driver.Guard(skin->GetHWND());
        PostClick(skin->blueOption);
        PostClick(skin->paintManager.FindControl("closebtn"));
        skin->DoModal();
        ASSERT_FALSE(driver.TimedOut());
        ASSERT_EQ(window->backgroundImage, kBlue);
    }
    // Then hides the main window to the notification area and opens the
    // about dialog from the icon's menu.
    ::ShowWindow(Hwnd(), SW_HIDE);
    ::SetCursorPos(200, 200);
    ::SendMessage(Hwnd(), WM_TRAYICON, kTrayIconId, WM_RBUTTONUP);
    CMenuWnd* menu = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (menu = WindowObject<CMenuWnd>(::GetForegroundWindow())) != nullptr; }));

    CModalDriver driver;
    CAboutDlg* seen = nullptr;
    HWND about = nullptr;
    bool checked = false;
    driver.PostWhen([&] { return WindowObject<CAboutDlg>(::GetForegroundWindow()) != nullptr; },
                    [&] {
                        seen = WindowObject<CAboutDlg>(::GetForegroundWindow());
                        about = seen->GetHWND();
                        driver.Guard(about);
                        EXPECT_TRUE(::IsWindowVisible(about));
                        EXPECT_FALSE(::IsWindowVisible(Hwnd())) << "the main window stays hidden";
                        EXPECT_EQ(::GetWindow(about, GW_OWNER), Hwnd());
                        ASSERT_NE(seen->mainFrame, nullptr);
                        EXPECT_EQ(seen->mainFrame->GetBkImage(), kBlue);
                        EXPECT_EQ(seen->mainFrame->GetForeImage(), window->foreImage);
                        checked = true;
                        PostClick(seen->paintManager.FindControl("closebtn"));
                    });
    SendClick(menu->paintManager.FindControl("menuabout"));
    // The main window hears of the entry from the loop, and runs the dialog
    // inside that loop until the steps above close it.
    ASSERT_TRUE(PumpUntil([&] { return checked && !::IsWindow(about); }));
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_FALSE(::IsWindowVisible(Hwnd()));
    EXPECT_FALSE(QuitPosted());
}

TEST_F(CAboutDlgTest, OnlyTheCloseButtonClosesItAndTheDialogFreesItself)
{
    Start();
    CAboutDlg* dialog = Open();
    CModalDriver driver;
    driver.Post([&] {
        dialog->paintManager.SendNotify(dialog->mainFrame, "click");
        dialog->paintManager.SendNotify(dialog->paintManager.FindControl("abouttext"), "click");
        dialog->paintManager.SendNotify(dialog->paintManager.FindControl("closebtn"), "menu");
        dialog->paintManager.SendNotify(dialog->paintManager.FindControl("closebtn"), "dbclick");
    });
    driver.Post([&] {
        EXPECT_TRUE(::IsWindow(dialog->GetHWND()));
        EXPECT_EQ(liveDialogs, 1);
        PostClick(dialog->paintManager.FindControl("closebtn"));
    });
    EXPECT_EQ(RunModal(dialog, driver), IDCANCEL);
    EXPECT_EQ(liveDialogs, 0);
    EXPECT_TRUE(::IsWindowEnabled(Hwnd()));
    // The main window's picture is the dialog's copy, not shared with it.
    EXPECT_EQ(window->mainFrame->GetBkImage(), window->backgroundImage);
}

TEST_F(CAboutDlgTest, TellsTheProgramsNameVersionAndLicences)
{
    Start();
    CAboutDlg* dialog = Open();
    CControlUI* title = dialog->paintManager.FindControl("abouttitle");
    CControlUI* version = dialog->paintManager.FindControl("aboutversion");
    CControlUI* text = dialog->paintManager.FindControl("abouttext");
    ASSERT_NE(title, nullptr);
    ASSERT_NE(version, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(title->GetText(), "Orvane网络收音机");
    EXPECT_NE(version->GetText().Find("1.0.0"), -1);
    for (const char* licence : {"Droid Sans Fallback", "Apache-2.0", "Qt 6", "LGPLv3", "GStreamer", "LGPL",
                                "libcurl", "TinyXML", "zlib", "libzip", "BSD-3"})
        EXPECT_NE(text->GetText().Find(licence), -1) << licence;
    ::DestroyWindow(dialog->GetHWND());
    EXPECT_EQ(liveDialogs, 0);
}

TEST_F(CAboutDlgTest, SharesTheDialogFrame)
{
    Start();
    CAboutDlg* dialog = Open();
    HWND about = dialog->GetHWND();
    EXPECT_EQ(::GetClassStyle("UIAbout"), 2059u);
    const auto style = static_cast<DWORD>(::GetWindowLong(about, GWL_STYLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_MAXIMIZEBOX), 0u);
    EXPECT_EQ(style & (WS_CLIPSIBLINGS | WS_CLIPCHILDREN), WS_CLIPSIBLINGS | WS_CLIPCHILDREN);

    RECT bounds = {};
    ::GetWindowRect(about, &bounds);
    EXPECT_EQ(bounds.right - bounds.left, 360);
    EXPECT_EQ(bounds.bottom - bounds.top, 262);
    RECT box = {};
    ASSERT_NE(::GetWindowRgnBox(about, &box), ERROR);
    EXPECT_EQ(box.right - box.left, 361);

    auto screen = [&](CControlUI* control) {
        const RECT pos = control->GetPos();
        POINT point = {(pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2};
        ::ClientToScreen(about, &point);
        return MAKELPARAM(point.x, point.y);
    };
    EXPECT_EQ(::SendMessage(about, WM_NCHITTEST, 0, screen(dialog->paintManager.FindControl("closebtn"))), HTCLIENT);
    EXPECT_EQ(::SendMessage(about, WM_NCHITTEST, 0, screen(dialog->paintManager.FindControl("abouttext"))), HTCLIENT);
    POINT title = {40, 18};
    ::ClientToScreen(about, &title);
    EXPECT_EQ(::SendMessage(about, WM_NCHITTEST, 0, MAKELPARAM(title.x, title.y)), HTCAPTION);

    // The window has no frame, and while it is minimised activation gets the
    // default processing.
    EXPECT_EQ(::SendMessage(about, WM_NCCALCSIZE, 0, 0), 0);
    EXPECT_EQ(::SendMessage(about, WM_NCACTIVATE, FALSE, 0), TRUE);
    ::ShowWindow(about, SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return ::IsIconic(about) != FALSE; }));
    ::SetWindowRgn(about, nullptr, TRUE);
    ::SendMessage(about, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(::GetWindowRgnBox(about, &box), ERROR) << "no region while minimised";
    ::DestroyWindow(about);
}

TEST_F(CAboutDlgTest, KeyboardFilterEscapeQuitsAndEnterMovesThroughAnAccountForm)
{
    // Escape posts the quit message; the modal run hands it on.
    Start();
    {
        CAboutDlg* dialog = Open();
        HWND about = dialog->GetHWND();
        CModalDriver driver;
        ::PostMessage(about, WM_KEYDOWN, VK_RETURN, 0); // no account form: nothing
        ::PostMessage(about, WM_KEYDOWN, VK_ESCAPE, 0);
        RunModal(dialog, driver);
        MSG message{};
        EXPECT_TRUE(::PeekMessage(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        ASSERT_TRUE(::IsWindow(about)) << "Escape ends the program, it does not close the dialog";
        ::DestroyWindow(about);
    }

    // A layout with an account form: Enter fills it in order, then closes
    // the dialog with code 1.
    WriteFile(folder / "skin" / "aboutDlg.xml",
              "<Window size=\"200,100\"><VerticalLayout name=\"mainframe\">"
              "<Label name=\"accountedit\" height=\"30\"/><Label name=\"pwdedit\" height=\"30\"/>"
              "</VerticalLayout></Window>");
    CAboutDlg* dialog = Open();
    CControlUI* account = dialog->paintManager.FindControl("accountedit");
    CControlUI* password = dialog->paintManager.FindControl("pwdedit");
    ASSERT_NE(account, nullptr);
    ASSERT_NE(password, nullptr);
    HWND about = dialog->GetHWND();
    CModalDriver driver;
    ::PostMessage(about, WM_KEYDOWN, VK_RETURN, 0);
    driver.Post([&] {
        EXPECT_EQ(dialog->paintManager.GetFocus(), account);
        account->SetText("user");
        ::PostMessage(about, WM_KEYDOWN, VK_RETURN, 0);
        driver.Post([&] {
            EXPECT_EQ(dialog->paintManager.GetFocus(), password);
            password->SetText("secret");
            ::PostMessage(about, WM_KEYDOWN, VK_RETURN, 0);
        });
    });
    EXPECT_EQ(RunModal(dialog, driver), IDOK);
    EXPECT_EQ(liveDialogs, 0);
}

TEST_F(CAboutDlgTest, WhileADialogRunsTheMenuAndTheSkinButtonOpenNoSecondOne)
{
    Start();
    CControlUI* skinButton = Manager().FindControl("skinbtn");
    ASSERT_NE(skinButton, nullptr);

    CModalDriver driver;
    HWND skin = nullptr;
    bool checked = false;
    driver.PostWhen([&] { return WindowObject<CSkinDlg>(CDialogWnd::OpenDialog()) != nullptr; },
                    [&] {
                        skin = CDialogWnd::OpenDialog();
                        driver.Guard(skin);
                        // "about" twice from the menu and the skin button once
                        // more: each only brings the running dialog forward.
                        Notify(window->sortsPanel, "menuabout");
                        Notify(window->sortsPanel, "menuabout");
                        Notify(skinButton, "click");
                        EXPECT_EQ(CDialogWnd::OpenDialog(), skin);
                        EXPECT_EQ(::GetForegroundWindow(), skin);
                        EXPECT_FALSE(::IsWindowEnabled(Hwnd())) << "the main window must wait for the dialog";
                        checked = true;
                        PostClick(WindowObject<CSkinDlg>(skin)->paintManager.FindControl("closebtn"));
                    });
    // The skin button runs its dialog inside this dispatch until the steps close it.
    Notify(skinButton, "click");
    EXPECT_TRUE(checked);
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_FALSE(::IsWindow(skin));
    EXPECT_EQ(CDialogWnd::OpenDialog(), nullptr);
    EXPECT_TRUE(::IsWindowEnabled(Hwnd()));

    // With no dialog up, "about" opens one as before.
    CModalDriver again;
    bool opened = false;
    again.PostWhen([&] { return WindowObject<CAboutDlg>(CDialogWnd::OpenDialog()) != nullptr; },
                   [&] {
                       opened = true;
                       auto* about = WindowObject<CAboutDlg>(CDialogWnd::OpenDialog());
                       again.Guard(about->GetHWND());
                       PostClick(about->paintManager.FindControl("closebtn"));
                   });
    Notify(window->sortsPanel, "menuabout");
    EXPECT_TRUE(opened);
    EXPECT_FALSE(again.TimedOut());
    EXPECT_EQ(CDialogWnd::OpenDialog(), nullptr);
    EXPECT_FALSE(QuitPosted());
}

TEST_F(CAboutDlgTest, DialogsByKeyboardTabToAChoiceArrowsAndSpaceApplyItEnterOnCloseCloses)
{
    // Keys posted as the platform queues them, through the modal run's
    // claims and filters.
    const auto postKey = [](HWND target, WPARAM key, LPARAM flags = 0) {
        ::PostMessage(target, WM_KEYDOWN, key, flags);
        ::PostMessage(target, WM_KEYUP, key, flags | (LPARAM{1} << 30) | (LPARAM{1} << 31));
    };
    const LPARAM shift = LPARAM{1} << 26;
    Start();
    {
        // The skin dialog: Tab passes the close button and enters the
        // pictures on the one chosen; Right and Space apply the blue one;
        // Shift+Tab back to the close button, and Enter closes.
        auto* skin = new CSkinDlg(window->backgroundImage, window->foreImage);
        skin->owner = window;
        skin->Create(Hwnd(), "", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
        HWND dialog = skin->GetHWND();
        CModalDriver driver;
        driver.Guard(dialog);
        for (WPARAM key : {WPARAM{VK_TAB}, WPARAM{VK_TAB}, WPARAM{VK_RIGHT}, WPARAM{VK_SPACE}})
            postKey(dialog, key);
        driver.Post([&] {
            EXPECT_EQ(skin->paintManager.GetFocus(), skin->blueOption);
            EXPECT_EQ(window->backgroundImage, kBlue);
            postKey(dialog, VK_TAB, shift);
            postKey(dialog, VK_RETURN);
        });
        EXPECT_EQ(skin->DoModal(), static_cast<UINT>(IDCANCEL));
        ASSERT_FALSE(driver.TimedOut());
    }
    // The about dialog's one stop is its close button.
    CAboutDlg* dialog = Open();
    CModalDriver driver;
    postKey(dialog->GetHWND(), VK_TAB);
    postKey(dialog->GetHWND(), VK_RETURN);
    EXPECT_EQ(RunModal(dialog, driver), static_cast<UINT>(IDCANCEL));
    EXPECT_EQ(liveDialogs, 0);
    EXPECT_FALSE(QuitPosted());
}
