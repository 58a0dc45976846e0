// The notification-area icon's menu through the real main window: where it
// opens, what a click on an entry reports, how it closes and frees itself,
// and the ways out of the program it offers.

#include "ModalDriver.h"
#include "RadioWndFixture.h"

#include "app/MenuWnd.h"
#include "platform/shell/ShellTesting.h"
#include "uilib/NotifyRecorder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace apptest;

namespace {

// Live menu objects of the counting kind below.
int liveMenus = 0;

// A menu whose construction and destruction the tests can count.
class CCountedMenu : public CMenuWnd
{
public:
    CCountedMenu() { ++liveMenus; }
    ~CCountedMenu() override { --liveMenus; }
};

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class CMenuWndTest : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        liveMenus = 0;
    }

    // The menu that has the keyboard, once the desktop gave it the focus.
    CMenuWnd* WaitForMenu(HWND previous = nullptr)
    {
        CMenuWnd* menu = nullptr;
        PumpUntil([&] {
            HWND focus = ::GetForegroundWindow();
            menu = focus != previous ? WindowObject<CMenuWnd>(focus) : nullptr;
            return menu != nullptr;
        });
        return menu;
    }

    // A right release on the icon, with the pointer at (x, y).
    void RightReleaseAt(int x, int y)
    {
        ::SetCursorPos(x, y);
        ::SendMessage(Hwnd(), WM_TRAYICON, kTrayIconId, WM_RBUTTONUP);
    }

    // Opens a counted menu at (x, y) and waits until its window exists.
    CCountedMenu* OpenCounted(int x, int y, const char* layout = "menutray.xml")
    {
        auto* menu = new CCountedMenu();
        menu->Popup(window->sortsPanel, x, y, layout);
        return menu;
    }

    static RECT Bounds(HWND menu)
    {
        RECT bounds = {};
        ::GetWindowRect(menu, &bounds);
        return bounds;
    }
};

} // namespace

TEST_F(CMenuWndTest, OpensBesideThePointerAndNeverCrossesTheScreenEdge)
{
    Start();
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(screenWidth, 300);
    ASSERT_GT(screenHeight, 300);

    struct TRow
    {
        const char* where;
        int x, y;
        bool toTheLeft, above;
    };
    // The layout's menu is 136 by 72; a point exactly one menu size from an
    // edge still fits, one pixel more does not.
    const TRow rows[] = {
        {"free space", 100, 100, false, false},
        {"flush against the right edge", screenWidth - 136, 100, false, false},
        {"right edge", screenWidth - 135, 100, true, false},
        {"flush against the bottom edge", 100, screenHeight - 72, false, false},
        {"bottom edge", 100, screenHeight - 71, false, true},
        {"bottom-right corner", screenWidth - 5, screenHeight - 5, true, true},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.where);
        CCountedMenu* menu = OpenCounted(row.x, row.y);
        ASSERT_TRUE(::IsWindow(menu->GetHWND()));
        const RECT bounds = Bounds(menu->GetHWND());
        EXPECT_EQ(bounds.right - bounds.left, 136);
        EXPECT_EQ(bounds.bottom - bounds.top, 72);
        EXPECT_EQ(bounds.left, row.toTheLeft ? row.x - 136 : row.x);
        EXPECT_EQ(bounds.top, row.above ? row.y - 72 : row.y);
        EXPECT_EQ(menu->menuPoint.x, row.x);
        EXPECT_EQ(menu->menuPoint.y, row.y);
        EXPECT_TRUE(::IsWindowVisible(menu->GetHWND()));
        EXPECT_TRUE(static_cast<DWORD>(::GetWindowLong(menu->GetHWND(), GWL_EXSTYLE)) & WS_EX_TOPMOST);
        ::DestroyWindow(menu->GetHWND());
        EXPECT_EQ(liveMenus, 0);
    }
}

TEST_F(CMenuWndTest, RightReleaseOpensTheSkinnedMenuAtThePointer)
{
    Start();
    RightReleaseAt(200, 150);
    CMenuWnd* menu = WaitForMenu();
    ASSERT_NE(menu, nullptr);
    HWND menuWindow = menu->GetHWND();

    EXPECT_EQ(menu->ownerControl, window->sortsPanel);
    EXPECT_EQ(menu->layoutFile, "menutray.xml");
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    EXPECT_EQ(menu->menuPoint.x, cursor.x);
    EXPECT_EQ(menu->menuPoint.y, cursor.y);
    EXPECT_EQ(Bounds(menuWindow).left, cursor.x);
    EXPECT_EQ(Bounds(menuWindow).top, cursor.y);

    // A borderless tool popup of the main window with the shared class style.
    EXPECT_EQ(::GetClassStyle("UIMenuFrame"), 0x80Bu);
    const auto style = static_cast<DWORD>(::GetWindowLong(menuWindow, GWL_STYLE));
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_CAPTION);
    EXPECT_EQ(style & (WS_CLIPSIBLINGS | WS_CLIPCHILDREN), WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    EXPECT_TRUE(static_cast<DWORD>(::GetWindowLong(menuWindow, GWL_EXSTYLE)) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(::GetParent(menuWindow), Hwnd());

    // Both entries, and corners rounded as the layout says.
    EXPECT_NE(menu->paintManager.FindControl("menuabout"), nullptr);
    EXPECT_NE(menu->paintManager.FindControl("menuexit"), nullptr);
    RECT box = {};
    ASSERT_NE(::GetWindowRgnBox(menuWindow, &box), ERROR);
    EXPECT_EQ(box.right - box.left, 137);
    EXPECT_EQ(box.bottom - box.top, 73);

    // No frame: nothing to compute or paint, and no caption band to drag.
    EXPECT_EQ(::SendMessage(menuWindow, WM_NCCALCSIZE, 0, 0), 0);
    EXPECT_EQ(::SendMessage(menuWindow, WM_NCPAINT, 0, 0), 0);
    EXPECT_EQ(::SendMessage(menuWindow, WM_NCHITTEST, 0, MAKELPARAM(cursor.x + 20, cursor.y + 10)), HTCLIENT);
    EXPECT_EQ(::SendMessage(menuWindow, WM_NCACTIVATE, FALSE, 0), TRUE);
    EXPECT_EQ(::SendMessage(menuWindow, WM_NCACTIVATE, TRUE, 0), FALSE);
}

TEST_F(CMenuWndTest, EntryClickHidesTheMenuThenTellsTheMainWindowItsName)
{
    // A menu with an entry the main window does not know beside "menuexit".
    Start();
    WriteFile(folder / "skin" / "menuextra.xml",
              "<Window size=\"120,64\"><VerticalLayout>"
              "<Button name=\"menuother\" height=\"32\" text=\"x\"/>"
              "<Button name=\"menuexit\" height=\"32\" text=\"y\"/>"
              "</VerticalLayout></Window>");
    CNotifyRecorder recorder(Manager());
    CCountedMenu* menu = OpenCounted(300, 200, "menuextra.xml");
    HWND menuWindow = menu->GetHWND();
    ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == menuWindow; }));

    CControlUI* other = menu->paintManager.FindControl("menuother");
    ASSERT_NE(other, nullptr);
    SendClick(other);
    // Hidden at once; the report comes later, from the message loop.
    EXPECT_FALSE(::IsWindowVisible(menuWindow));
    EXPECT_TRUE(recorder.entries.empty());
    ASSERT_TRUE(PumpUntil([&] { return !recorder.entries.empty() && !::IsWindow(menuWindow); }));
    ASSERT_EQ(recorder.entries.size(), 1u);
    EXPECT_EQ(recorder.entries[0].type, "menuother");
    EXPECT_EQ(recorder.entries[0].sender, window->sortsPanel);
    // An entry of any other name only closes the menu.
    EXPECT_EQ(liveMenus, 0);
    EXPECT_TRUE(::IsWindowVisible(Hwnd()));
    EXPECT_TRUE(HasNotifyIcon(Hwnd(), kTrayIconId));
    EXPECT_FALSE(QuitPosted());
}

TEST_F(CMenuWndTest, ExitEntryRemovesTheIconAndEndsTheProgram)
{
    Start();
    RightReleaseAt(120, 120);
    CMenuWnd* menu = WaitForMenu();
    ASSERT_NE(menu, nullptr);
    HWND menuWindow = menu->GetHWND();
    CControlUI* exitEntry = menu->paintManager.FindControl("menuexit");
    ASSERT_NE(exitEntry, nullptr);
    EXPECT_EQ(exitEntry->GetText(), "退出");

    SendClick(exitEntry);
    EXPECT_TRUE(HasNotifyIcon(Hwnd(), kTrayIconId)) << "the main window hears of it only from the loop";
    // The loop delivers the report, the main window quits, and the menu has
    // closed by the time the quit message is read.
    EXPECT_TRUE(QuitPosted());
    EXPECT_FALSE(HasNotifyIcon(Hwnd(), kTrayIconId));
    EXPECT_FALSE(::IsWindow(menuWindow));
}

TEST_F(CMenuWndTest, FocusLossClosesAndFreesTheMenuButItsOwnFocusDoesNot)
{
    Start();
    CCountedMenu* menu = OpenCounted(150, 150);
    HWND menuWindow = menu->GetHWND();
    ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == menuWindow; }));

    // Focus that stays inside the menu window closes nothing.
    ::SendMessage(menuWindow, WM_KILLFOCUS, reinterpret_cast<WPARAM>(menuWindow), 0);
    PumpFor(std::chrono::milliseconds(30));
    ASSERT_TRUE(::IsWindow(menuWindow));
    EXPECT_EQ(liveMenus, 1);

    // Clicking elsewhere (here: the main window takes the focus).
    ::SetForegroundWindow(Hwnd());
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(menuWindow); }));
    EXPECT_EQ(liveMenus, 0);
    EXPECT_FALSE(QuitPosted());

    // Focus lost to no window at all closes it as well.
    menu = OpenCounted(150, 150);
    menuWindow = menu->GetHWND();
    ::SendMessage(menuWindow, WM_KILLFOCUS, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(menuWindow); }));
    EXPECT_EQ(liveMenus, 0);
}

TEST_F(CMenuWndTest, RepeatedRightReleasesLeaveOnlyTheNewestMenu)
{
    Start();
    std::vector<HWND> menus;
    for (int i = 0; i < 5; ++i) {
        RightReleaseAt(100 + 10 * i, 100);
        CMenuWnd* menu = WaitForMenu(menus.empty() ? nullptr : menus.back());
        ASSERT_NE(menu, nullptr) << i;
        menus.push_back(menu->GetHWND());
        PumpFor(std::chrono::milliseconds(20));
    }
    // Each new menu took the focus, and so closed the one before it.
    for (size_t i = 0; i + 1 < menus.size(); ++i)
        EXPECT_FALSE(::IsWindow(menus[i])) << i;
    EXPECT_TRUE(::IsWindow(menus.back()));

    // The last one goes with the focus like the others.
    ::SetForegroundWindow(Hwnd());
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(menus.back()); }));
}

TEST_F(CMenuWndTest, NoOwnerControlMeansNoMenu)
{
    // A main layout whose category panel has another name.
    std::string layout = ReadText(folder / "skin" / "Corvela.xml");
    const std::string name = "name=\"sortspanel\"";
    ASSERT_NE(layout.find(name), std::string::npos);
    layout.replace(layout.find(name), name.size(), "name=\"categories\"");
    WriteFile(folder / "skin" / "Corvela.xml", layout);
    Start();
    ASSERT_EQ(window->sortsPanel, nullptr);
    ::SetForegroundWindow(Hwnd());
    PumpUntil([&] { return ::GetForegroundWindow() == Hwnd(); });

    RightReleaseAt(100, 100);
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(WindowObject<CMenuWnd>(::GetForegroundWindow()), nullptr);

    // Popup itself makes no window without an owner, or with an owner
    // that belongs to no window.
    CMenuWnd menu;
    menu.Popup(nullptr, 10, 10, "menutray.xml");
    EXPECT_EQ(menu.GetHWND(), nullptr);
    EXPECT_EQ(menu.ownerControl, nullptr);
    CControlUI loose;
    menu.Popup(&loose, 10, 10, "menutray.xml");
    EXPECT_EQ(menu.GetHWND(), nullptr);
}

TEST_F(CMenuWndTest, EscapeAndTheSystemCloseCommandEndTheProgram)
{
    Start();
    CCountedMenu* menu = OpenCounted(150, 150);
    HWND menuWindow = menu->GetHWND();
    ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == menuWindow; }));

    // Enter without an account form goes on unchanged; Escape ends the program.
    ::PostMessage(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_FALSE(QuitPosted());
    ::PostMessage(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(QuitPosted());
    EXPECT_TRUE(HasNotifyIcon(Hwnd(), kTrayIconId)) << "only the exit entry removes the icon";

    // The system close command ends the program too, not only the menu.
    ASSERT_TRUE(::IsWindow(menuWindow));
    ::SendMessage(menuWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(QuitPosted());
}

TEST_F(CMenuWndTest, LeftPressRestoresAMinimisedWindow)
{
    Start();
    ::ShowWindow(Hwnd(), SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return ::IsIconic(Hwnd()) != FALSE; }));
    EXPECT_EQ(::SendMessage(Hwnd(), WM_TRAYICON, kTrayIconId, WM_LBUTTONDOWN), 0);
    EXPECT_TRUE(PumpUntil([&] { return !::IsIconic(Hwnd()); }));
    EXPECT_TRUE(::IsWindowVisible(Hwnd()));
    // A right press or a double click makes no menu; only the release does.
    EXPECT_EQ(::SendMessage(Hwnd(), WM_TRAYICON, kTrayIconId, WM_RBUTTONDOWN), 0);
    EXPECT_EQ(::SendMessage(Hwnd(), WM_TRAYICON, kTrayIconId, WM_LBUTTONDBLCLK), 0);
    PumpFor(std::chrono::milliseconds(30));
    EXPECT_EQ(WindowObject<CMenuWnd>(::GetForegroundWindow()), nullptr);
}
