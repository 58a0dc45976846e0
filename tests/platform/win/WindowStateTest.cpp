#include "WinTestSupport.h"

#include "platform/win/WinQt.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace wintest;

namespace
{
class WindowState : public ::testing::Test
{
protected:
    void SetUp() override { Reset(); }
};
}

TEST_F(WindowState, CreationSendsNcCreateThenCreateAndShowsVisibleWindowsAfterwards)
{
    RegisterTestClass();
    bool visibleDuringCreate = true;
    DWORD styleDuringCreate = 0;
    int parameter = 5;
    void* seenParameter = nullptr;
    Hook() = [&](HWND window, UINT message, WPARAM, LPARAM lParam) {
        if (message == WM_CREATE)
        {
            visibleDuringCreate = IsWindowVisible(window) != FALSE;
            styleDuringCreate = static_cast<DWORD>(GetWindowLong(window, GWL_STYLE));
            seenParameter = reinterpret_cast<CREATESTRUCT*>(lParam)->lpCreateParams;
        }
    };
    HWND window = CreateWindowEx(0, "wintest", "title", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                 nullptr, GetModuleHandle(nullptr), &parameter);
    ASSERT_NE(window, nullptr) << "class names match without regard to case";
    int ncCreate = IndexOf(WM_NCCREATE);
    ASSERT_EQ(ncCreate, 0);
    ASSERT_GT(IndexOf(WM_CREATE), ncCreate);
    EXPECT_EQ(seenParameter, &parameter);
    EXPECT_FALSE(visibleDuringCreate);
    EXPECT_EQ(styleDuringCreate & WS_VISIBLE, 0u);
    EXPECT_EQ(styleDuringCreate & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_GT(IndexOf(WM_SHOWWINDOW), IndexOf(WM_CREATE));
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 0) << "a window may be created 0 by 0 and sized later";
    char text[8];
    EXPECT_EQ(GetWindowText(window, text, sizeof text), 5);
    EXPECT_STREQ(text, "title");
}

TEST_F(WindowState, AVisibleWindowPlacedBeforeTheLoopRunsReachesTheScreenWhereItWasPlaced)
{
    RegisterTestClass();
    HWND window = CreateWindowEx(0, "WinTest", "", WS_VISIBLE | WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                 GetModuleHandle(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    QWidget* widget = WidgetFromHwnd(window);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_NE(GetWindowLong(window, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(Messages(WM_SHOWWINDOW, window).size(), 1u);
    EXPECT_FALSE(widget->isVisible()) << "not on screen before the thread takes its events";

    // Placed, then shown as a program's start does: on screen at once, where
    // it was placed, and told it is shown only once.
    SetWindowPos(window, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_FALSE(widget->isVisible());
    ShowWindow(window, SW_SHOWNORMAL);
    EXPECT_TRUE(widget->isVisible());
    EXPECT_EQ(widget->pos(), QPoint(40, 30));
    PumpFor(50ms);
    EXPECT_EQ(Messages(WM_SHOWWINDOW, window).size(), 1u);

    // Left alone, it reaches the screen when the thread takes its events.
    HWND alone = CreateWindowEx(0, "WinTest", "", WS_VISIBLE | WS_POPUP, 10, 10, 50, 50, nullptr, nullptr,
                                GetModuleHandle(nullptr), nullptr);
    ASSERT_NE(alone, nullptr);
    EXPECT_FALSE(WidgetFromHwnd(alone)->isVisible());
    EXPECT_TRUE(PumpUntil([&] { return WidgetFromHwnd(alone)->isVisible(); }));
    EXPECT_EQ(Messages(WM_SHOWWINDOW, alone).size(), 1u);

    // Hidden or destroyed before then, it never shows.
    HWND hidden = CreateWindowEx(0, "WinTest", "", WS_VISIBLE | WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandle(nullptr), nullptr);
    HWND destroyed = CreateWindowEx(0, "WinTest", "", WS_VISIBLE | WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                    GetModuleHandle(nullptr), nullptr);
    ASSERT_NE(hidden, nullptr);
    ASSERT_NE(destroyed, nullptr);
    ShowWindow(hidden, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(hidden));
    EXPECT_EQ(Messages(WM_SHOWWINDOW, hidden).size(), 2u) << "shown, then hidden";
    DestroyWindow(destroyed);
    PumpFor(50ms);
    EXPECT_FALSE(WidgetFromHwnd(hidden)->isVisible());
    EXPECT_FALSE(IsWindow(destroyed));
    for (HWND each : {window, alone, hidden})
        DestroyWindow(each);
}

TEST_F(WindowState, RefusedCreationYieldsNullAndCleansUp)
{
    RegisterTestClass();
    Answers()[WM_CREATE] = -1;
    EXPECT_EQ(CreateWindowEx(0, "WinTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    ASSERT_GE(IndexOf(WM_NCDESTROY), 0);
    HWND dead = Messages(WM_NCDESTROY)[0].hwnd;
    EXPECT_FALSE(IsWindow(dead));
    Reset();
    Answers()[WM_NCCREATE] = FALSE;
    EXPECT_EQ(CreateWindowEx(0, "WinTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(IndexOf(WM_CREATE), -1);
    EXPECT_EQ(CreateWindowEx(0, "NoSuchClass", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
              nullptr);
}

TEST_F(WindowState, DestroyWindowSendsDestroyThenNcDestroyLastAndOwnedWindowsGoFirst)
{
    HWND owner = MakeWindow();
    HWND owned = MakeWindow(50, 50, WS_POPUP, WS_EX_TOOLWINDOW, owner);
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(GetParent(owned), owner) << "a popup reports its owner";
    EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
    bool ownerValidInDestroy = false;
    Hook() = [&](HWND window, UINT message, WPARAM, LPARAM) {
        if (message == WM_DESTROY && window == owner)
            ownerValidInDestroy = IsWindow(owner) != FALSE;
        // Posting to oneself while dying is accepted and then dropped.
        if (message == WM_DESTROY)
            PostMessage(window, WM_USER, 0, 0);
    };
    Log().clear();
    ASSERT_TRUE(DestroyWindow(owner));
    std::vector<std::pair<HWND, UINT>> order;
    for (const CRecorded& entry : Log())
        if (entry.message == WM_DESTROY || entry.message == WM_NCDESTROY)
            order.emplace_back(entry.hwnd, entry.message);
    std::vector<std::pair<HWND, UINT>> expected{
        {owned, WM_DESTROY}, {owned, WM_NCDESTROY}, {owner, WM_DESTROY}, {owner, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(Log().back().message, WM_NCDESTROY);
    EXPECT_EQ(Log().back().hwnd, owner);
    EXPECT_TRUE(ownerValidInDestroy);
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(DestroyWindow(owner));
    Log().clear();
    PumpFor(20ms);
    EXPECT_EQ(IndexOf(WM_USER), -1);
    // A new window never gets a handle of a destroyed one.
    HWND fresh = MakeWindow();
    EXPECT_NE(fresh, owner);
    EXPECT_NE(fresh, owned);
}

TEST_F(WindowState, ResizeSendsSizeAndMinimiseSendsSizeMinimized)
{
    HWND window = MakeWindow(200, 100);
    ShowWindow(window, SW_SHOWNA);
    Log().clear();
    MoveWindow(window, 10, 20, 320, 240, TRUE);
    auto sizes = Messages(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].wParam, SIZE_RESTORED);
    EXPECT_EQ(LOWORD(static_cast<std::uintptr_t>(sizes[0].lParam)), 320);
    EXPECT_EQ(HIWORD(static_cast<std::uintptr_t>(sizes[0].lParam)), 240);
    // The same geometry again, and Qt's own later events, send nothing new.
    MoveWindow(window, 10, 20, 320, 240, TRUE);
    PumpFor(20ms);
    EXPECT_EQ(Messages(WM_SIZE).size(), 1u);
    SetWindowPos(window, nullptr, 0, 0, 100, 60, SWP_NOMOVE | SWP_NOZORDER);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 10) << "SWP_NOMOVE keeps the position";
    EXPECT_EQ(rect.right - rect.left, 100);

    Log().clear();
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(window));
    EXPECT_NE(GetWindowLong(window, GWL_STYLE) & WS_MINIMIZE, 0);
    sizes = Messages(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].wParam, SIZE_MINIMIZED);
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_EQ(Messages(WM_SIZE).size(), 1u) << "minimising twice is one change";
    PumpFor(20ms);
    ShowWindow(window, SW_RESTORE);
    EXPECT_FALSE(IsIconic(window));
    sizes = Messages(WM_SIZE);
    ASSERT_GE(sizes.size(), 2u);
    EXPECT_EQ(sizes.back().wParam, SIZE_RESTORED);
    EXPECT_EQ(LOWORD(static_cast<std::uintptr_t>(sizes.back().lParam)), 100);
}

TEST_F(WindowState, KillFocusCarriesTheWindowThatGetsTheFocus)
{
    HWND first = MakeWindow();
    HWND second = MakeWindow();
    ShowWindow(first, SW_SHOW);
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == first; }, 3s));
    Log().clear();
    ShowWindow(second, SW_SHOW);
    SetForegroundWindow(second);
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == second; }, 3s));
    auto kills = Messages(WM_KILLFOCUS, first);
    ASSERT_EQ(kills.size(), 1u);
    EXPECT_EQ(reinterpret_cast<HWND>(kills[0].wParam), second);
    auto sets = Messages(WM_SETFOCUS, second);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(reinterpret_cast<HWND>(sets[0].wParam), first);
    // Deactivation of the old window comes before activation of the new one.
    auto oldActivate = Messages(WM_NCACTIVATE, first);
    auto newActivate = Messages(WM_NCACTIVATE, second);
    ASSERT_EQ(oldActivate.size(), 1u);
    ASSERT_EQ(newActivate.size(), 1u);
    EXPECT_EQ(oldActivate[0].wParam, static_cast<WPARAM>(FALSE));
    EXPECT_EQ(newActivate[0].wParam, static_cast<WPARAM>(TRUE));
    EXPECT_LT(IndexOf(WM_NCACTIVATE, first), IndexOf(WM_NCACTIVATE, second));
    EXPECT_LT(IndexOf(WM_KILLFOCUS, first), IndexOf(WM_SETFOCUS, second));
    auto activate = Messages(WM_ACTIVATE, second);
    ASSERT_EQ(activate.size(), 1u);
    EXPECT_EQ(LOWORD(activate[0].wParam), WA_ACTIVE);
    EXPECT_EQ(reinterpret_cast<HWND>(activate[0].lParam), first);
}

TEST_F(WindowState, StylesKeepTheirBitsAndVisibleAndDisabledActOnTheWindow)
{
    HWND window = MakeWindow(100, 100, WS_POPUP | WS_CAPTION);
    LONG style = GetWindowLong(window, GWL_STYLE);
    EXPECT_EQ(static_cast<DWORD>(style) & WS_POPUP, WS_POPUP);
    SetWindowLong(window, GWL_STYLE, static_cast<LONG>((static_cast<DWORD>(style) & 0xFF3FFFFF) | 0x06000000));
    DWORD changed = static_cast<DWORD>(GetWindowLong(window, GWL_STYLE));
    EXPECT_EQ(changed & WS_CAPTION, 0u);
    EXPECT_EQ(changed & (WS_CLIPSIBLINGS | WS_CLIPCHILDREN), WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    SetWindowLong(window, GWL_STYLE, static_cast<LONG>(changed | WS_VISIBLE));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(EnableWindow(window, FALSE)) << "answers whether it was disabled before";
    EXPECT_FALSE(IsWindowEnabled(window));
    EXPECT_NE(GetWindowLong(window, GWL_STYLE) & WS_DISABLED, 0);
    EXPECT_TRUE(EnableWindow(window, TRUE));
    EXPECT_TRUE(IsWindowEnabled(window));
    SetWindowLongPtr(window, GWLP_USERDATA, 0x1234);
    EXPECT_EQ(GetWindowLongPtr(window, GWLP_USERDATA), 0x1234);
    EXPECT_EQ(GetWindowLong(nullptr, GWL_STYLE), 0);
    // Overlapped windows report no parent even when owned, as Win32 does.
    HWND dialog = MakeWindow(50, 50, WS_OVERLAPPEDWINDOW, 0, window);
    EXPECT_EQ(GetParent(dialog), nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), window);
    // Disabling the owner for a modal run leaves the owned window enabled.
    EnableWindow(window, FALSE);
    EXPECT_TRUE(IsWindowEnabled(dialog));
}

TEST_F(WindowState, TopmostToolWindowKeepsItsSizeWhenPlacedWithoutSize)
{
    HWND menu = MakeWindow(120, 80, WS_POPUP, WS_EX_TOOLWINDOW);
    ShowWindow(menu, SW_SHOW);
    ASSERT_TRUE(SetWindowPos(menu, HWND_TOPMOST, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE));
    EXPECT_NE(GetWindowLong(menu, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_TRUE(WidgetFromHwnd(menu)->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(IsWindowVisible(menu)) << "becoming topmost must not hide a shown window";
    RECT rect{};
    GetWindowRect(menu, &rect);
    EXPECT_EQ(rect.left, 300);
    EXPECT_EQ(rect.top, 200);
    EXPECT_EQ(rect.right - rect.left, 120);
    EXPECT_EQ(rect.bottom - rect.top, 80);
    POINT point{310, 205};
    ScreenToClient(menu, &point);
    EXPECT_EQ(point.x, 10);
    EXPECT_EQ(point.y, 5);
    ClientToScreen(menu, &point);
    EXPECT_EQ(point.x, 310);
}

TEST_F(WindowState, PaintHandsOutThePainterOnlyDuringWmPaint)
{
    HWND window = MakeWindow(40, 30);
    PAINTSTRUCT outside{};
    EXPECT_EQ(BeginPaint(window, &outside), nullptr);
    RECT seenRect{};
    bool painted = false;
    Hook() = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
        if (message == WM_PAINT)
        {
            PAINTSTRUCT paint{};
            HDC painter = BeginPaint(hwnd, &paint);
            if (painter != nullptr)
            {
                painter->fillRect(0, 0, 40, 30, Qt::red);
                seenRect = paint.rcPaint;
                painted = true;
            }
            EndPaint(hwnd, &paint);
        }
        if (message == WM_PRINTCLIENT)
            reinterpret_cast<QPainter*>(wParam)->fillRect(5, 5, 10, 10, Qt::blue);
    };
    ShowWindow(window, SW_SHOWNA);
    QImage grabbed = WidgetFromHwnd(window)->grab().toImage();
    EXPECT_TRUE(painted);
    EXPECT_EQ(seenRect.right - seenRect.left, 40);
    EXPECT_EQ(grabbed.pixelColor(20, 20), QColor(Qt::red));

    QImage image(40, 30, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        EXPECT_TRUE(PrintWindow(window, &painter, 0));
    }
    EXPECT_EQ(image.pixelColor(7, 7), QColor(Qt::blue));
    EXPECT_EQ(image.pixelColor(20, 20), QColor(Qt::white));
}
