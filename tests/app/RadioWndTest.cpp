// The main window through its real window: start-up, the message table, the
// frame and the notification dispatch.

#include "RadioWndFixture.h"

#include "platform/shell/ShellTesting.h"

#include "platform/shell/Shell.h"

#include <QFontDatabase>
#include <QStringList>

using namespace apptest;

namespace {

LPARAM ScreenPoint(HWND window, int clientX, int clientY)
{
    POINT point = {clientX, clientY};
    ::ClientToScreen(window, &point);
    return MAKELPARAM(point.x, point.y);
}

} // namespace

TEST_F(CRadioWndTest, StartUpShowsTheCategoryPageTitleAndWelcome)
{
    WriteCatalogue(MakeCatalogue(2, 1, 1));
    Start();
    ASSERT_TRUE(::IsWindow(Hwnd()));
    EXPECT_TRUE(::IsWindowVisible(Hwnd()));

    char title[128] = {};
    ::GetWindowText(Hwnd(), title, sizeof title);
    EXPECT_STREQ(title, "Orvane网络收音机");
    ASSERT_NE(window->fmName, nullptr);
    EXPECT_EQ(window->fmName->GetText(), "听音乐,用Orvane网络收音机");

    ASSERT_NE(window->sortsPanel, nullptr);
    ASSERT_NE(window->radiosPanel, nullptr);
    EXPECT_TRUE(window->sortsPanel->IsVisible());
    EXPECT_FALSE(window->radiosPanel->IsVisible());

    // Every control the window looks up is in the layout.
    EXPECT_NE(window->playButton, nullptr);
    EXPECT_NE(window->pauseButton, nullptr);
    EXPECT_NE(window->prevButton, nullptr);
    EXPECT_NE(window->nextButton, nullptr);
    EXPECT_NE(window->adButton, nullptr);
    EXPECT_NE(window->statusLabel, nullptr);
    EXPECT_NE(window->volumeSlider, nullptr);
    EXPECT_NE(window->radiosContent, nullptr);
    EXPECT_NE(window->mainFrame, nullptr);
    EXPECT_NE(Manager().FindControl("closebtn"), nullptr);
    EXPECT_NE(Manager().FindControl("skinbtn"), nullptr);

    // The embedded font registered its family, and both fonts use it.
    EXPECT_NE(window->fontResource, nullptr);
    EXPECT_TRUE(QFontDatabase::families().contains(QString::fromUtf8("迷你简幼线")));
    ASSERT_NE(window->largeFont, nullptr);
    EXPECT_EQ(window->largeFont->size, 24);
    EXPECT_EQ(window->listFont->size, 18);
    EXPECT_EQ(window->fmName->GetFont(), Manager().GetFontIndex(window->largeFont));

    // The update block names the two fixed paths on the configured server.
    EXPECT_EQ(UpdateParams.owner, window);
    EXPECT_EQ(UpdateParams.catalogueUrl, "http://127.0.0.1:9/update/fmradios.dll");
    EXPECT_EQ(UpdateParams.adsUrl, "http://127.0.0.1:9/update/fmads.dll");
    EXPECT_EQ(UpdateParams.cacheDir, (folder.string() + "/cache").c_str());
    EXPECT_NE(window->switchThread, nullptr);
    EXPECT_NE(window->updateThread, nullptr);
}

TEST_F(CRadioWndTest, FrameMessagesAnswerAsTheTableSays)
{
    Start();
    EXPECT_EQ(::SendMessage(Hwnd(), WM_NCCALCSIZE, 0, 0), 0);
    EXPECT_EQ(::SendMessage(Hwnd(), WM_NCPAINT, 0, 0), 0);
    EXPECT_EQ(::SendMessage(Hwnd(), WM_NCACTIVATE, FALSE, 0), TRUE);
    EXPECT_EQ(::SendMessage(Hwnd(), WM_NCACTIVATE, TRUE, 0), FALSE);

    // Other system commands pass on; SC_CLOSE hides (headless there is no
    // notification area, so the window goes down to the task bar instead).
    ::SendMessage(Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(::IsIconic(Hwnd()) || !::IsWindowVisible(Hwnd()));
    EXPECT_TRUE(::IsWindow(Hwnd()));
}

TEST_F(CRadioWndTest, WithoutANotificationAreaCloseMinimisesInsteadOfLosingTheWindow)
{
    Start();
    ASSERT_FALSE(IsNotificationAreaAvailable());
    Notify(Manager().FindControl("closebtn"), "click");
    EXPECT_TRUE(::IsIconic(Hwnd()));
    // The icon's left press brings it back.
    ASSERT_TRUE(SimulateNotifyIconActivation(Hwnd(), kTrayIconId, NotifyIconActivation::Trigger));
    ASSERT_TRUE(PumpUntil([&] { return !::IsIconic(Hwnd()); }));
    EXPECT_TRUE(::IsWindowVisible(Hwnd()));
}

TEST_F(CRadioWndTest, CaptionBandDragsExceptOverButtons)
{
    Start();
    const RECT caption = Manager().GetCaptionRect();
    ASSERT_GT(caption.bottom, caption.top);
    RECT client = {};
    ::GetClientRect(Hwnd(), &client);

    // Over a button of the band: a click, not a drag.
    CControlUI* close = Manager().FindControl("closebtn");
    ASSERT_NE(close, nullptr);
    const RECT closePos = close->GetPos();
    const int midX = (closePos.left + closePos.right) / 2, midY = (closePos.top + closePos.bottom) / 2;
    EXPECT_EQ(::SendMessage(Hwnd(), WM_NCHITTEST, 0, ScreenPoint(Hwnd(), midX, midY)), HTCLIENT);

    // Over the title label in the band: a drag.
    EXPECT_EQ(::SendMessage(Hwnd(), WM_NCHITTEST, 0, ScreenPoint(Hwnd(), client.right / 2, caption.bottom / 2)),
              HTCAPTION);
    // Below the band: never a drag.
    EXPECT_EQ(::SendMessage(Hwnd(), WM_NCHITTEST, 0, ScreenPoint(Hwnd(), client.right / 2, caption.bottom + 30)),
              HTCLIENT);
}

TEST_F(CRadioWndTest, RoundedRegionIsOnePixelLargerAndAbsentWhileMinimised)
{
    Start();
    const SIZE corner = Manager().GetRoundCorner();
    ASSERT_TRUE(corner.cx != 0 || corner.cy != 0) << "the layout rounds its corners";
    RECT bounds = {};
    ::GetWindowRect(Hwnd(), &bounds);
    RECT box = {};
    ASSERT_NE(::GetWindowRgnBox(Hwnd(), &box), ERROR);
    EXPECT_EQ(box.right - box.left, bounds.right - bounds.left + 1);
    EXPECT_EQ(box.bottom - box.top, bounds.bottom - bounds.top + 1);

    // With a square layout no region is set.
    ::SetWindowRgn(Hwnd(), nullptr, TRUE);
    Manager().SetRoundCorner(0, 0);
    ::SendMessage(Hwnd(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(bounds.right - bounds.left, bounds.bottom - bounds.top));
    EXPECT_EQ(::GetWindowRgnBox(Hwnd(), &box), ERROR);

    // While minimised neither WM_SIZE sets one nor WM_NCACTIVATE is answered.
    Manager().SetRoundCorner(10, 10);
    ::ShowWindow(Hwnd(), SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(Hwnd()));
    ::SetWindowRgn(Hwnd(), nullptr, TRUE);
    ::SendMessage(Hwnd(), WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(::GetWindowRgnBox(Hwnd(), &box), ERROR);
}

TEST_F(CRadioWndTest, EscapePostsTheQuitMessage)
{
    Start();
    ASSERT_FALSE(QuitPosted());
    bool handled = false;
    EXPECT_EQ(window->MessageHandler(WM_KEYDOWN, VK_ESCAPE, 0, handled), 1);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(QuitPosted());
    // Other keys and Enter without an account form go on unchanged.
    EXPECT_EQ(window->MessageHandler(WM_KEYDOWN, VK_RETURN, 0, handled), 0);
    EXPECT_EQ(window->MessageHandler(WM_KEYUP, VK_ESCAPE, 0, handled), 0);
    EXPECT_FALSE(QuitPosted());
}

TEST_F(CRadioWndTest, PageRowsSwitchPanelsAndMainPageKeepsTheStationPage)
{
    WriteCatalogue(MakeCatalogue(3, 4, 2));
    Start();
    CContainerUI* firstRow = AsContainer(Children(window->sortsPanel).at(1));
    ASSERT_NE(firstRow, nullptr);
    CControlUI* region = firstRow->GetItemAt(1); // R1
    ASSERT_EQ(region->GetName(), "citys");

    Notify(region, "click");
    EXPECT_FALSE(window->sortsPanel->IsVisible());
    EXPECT_TRUE(window->radiosPanel->IsVisible());
    const int stationRows = window->radiosContent->GetCount();
    EXPECT_EQ(stationRows, 1 + 2); // title row, then 4 stations in rows of 3

    Notify(Manager().FindControl("mainpage"), "click");
    EXPECT_TRUE(window->sortsPanel->IsVisible());
    EXPECT_FALSE(window->radiosPanel->IsVisible());
    EXPECT_EQ(window->radiosContent->GetCount(), stationRows);

    // selectchanged on a region rebuilds the station page without a page switch.
    CControlUI* other = firstRow->GetItemAt(2); // R2
    Notify(other, "selectchanged");
    EXPECT_TRUE(window->sortsPanel->IsVisible());
    CLabelUI* title = static_cast<CLabelUI*>(
        AsContainer(window->radiosContent->GetItemAt(0))->GetItemAt(1)->GetInterface("Label"));
    EXPECT_EQ(title->GetText(), "R2");
}

TEST_F(CRadioWndTest, CloseHidesWithoutStoppingAndMenuAndForeignSlidersDoNothing)
{
    WriteCatalogue(MakeCatalogue(1, 1, 1));
    Start();
    window->currentStationName = "kept";
    Notify(Manager().FindControl("closebtn"), "click");
    EXPECT_EQ(window->currentStationName, "kept");
    EXPECT_TRUE(::IsWindow(Hwnd()));

    // "menu" from any control, and "valuechanging" from anything but the
    // stored slider, change nothing.
    const CStdString statusBefore = window->statusLabel->GetText();
    Notify(window->playButton, "menu");
    Notify(window->statusLabel, "valuechanging");
    EXPECT_EQ(window->statusLabel->GetText(), statusBefore);
    EXPECT_TRUE(window->sortsPanel->IsVisible());
}

TEST_F(CRadioWndTest, MenuExitRemovesTheIconBeforeTheQuitMessage)
{
    Start();
    ASSERT_TRUE(HasNotifyIcon(Hwnd(), kTrayIconId));
    Notify(window->sortsPanel, "menuexit");
    EXPECT_FALSE(HasNotifyIcon(Hwnd(), kTrayIconId));
    EXPECT_TRUE(QuitPosted());
}

TEST_F(CRadioWndTest, TrayLeftPressOrDoubleClickShowsAHiddenWindow)
{
    Start();
    ::ShowWindow(Hwnd(), SW_HIDE);
    ASSERT_FALSE(::IsWindowVisible(Hwnd()));
    ::SendMessage(Hwnd(), WM_TRAYICON, kTrayIconId, WM_LBUTTONDOWN);
    EXPECT_TRUE(::IsWindowVisible(Hwnd()));
    ::ShowWindow(Hwnd(), SW_HIDE);
    ::SendMessage(Hwnd(), WM_TRAYICON, kTrayIconId, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(::IsWindowVisible(Hwnd()));
    // Other mouse messages on the icon do nothing.
    ::ShowWindow(Hwnd(), SW_HIDE);
    EXPECT_EQ(::SendMessage(Hwnd(), WM_TRAYICON, kTrayIconId, WM_MOUSEMOVE), 0);
    EXPECT_FALSE(::IsWindowVisible(Hwnd()));
}
