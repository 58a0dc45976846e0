#include "WinTestSupport.h"

#include "platform/win/WinQt.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace wintest;

namespace
{
class WindowInput : public ::testing::Test
{
protected:
    void SetUp() override { Reset(); }

    // A mouse event at a client point of the window, with its true screen point.
    static void SendMouse(HWND window, QEvent::Type type, QPoint local, Qt::MouseButton button,
                          Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        RECT rect{};
        GetWindowRect(window, &rect);
        QPoint global = local + QPoint(rect.left, rect.top);
        QMouseEvent event(type, QPointF(local), QPointF(local), QPointF(global), button, buttons, modifiers);
        QCoreApplication::sendEvent(WidgetFromHwnd(window), &event);
    }

    static void SendKey(HWND window, QEvent::Type type, int key, const QString& text = {},
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(type, key, modifiers, text);
        QCoreApplication::sendEvent(WidgetFromHwnd(window), &event);
    }

    // Dispatches what is queued now, without waiting for more.
    static void Drain() { PumpFor(20ms); }
};
}

TEST_F(WindowInput, MouseButtonsArriveQueuedWithClientCoordinatesAndKeyState)
{
    HWND window = MakeWindow(200, 100);
    ASSERT_NE(window, nullptr);
    Answers()[WM_NCHITTEST] = HTCLIENT;
    SendMouse(window, QEvent::MouseButtonPress, {12, 34}, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    // Queued, not sent: nothing reached the procedure but the hit test.
    EXPECT_EQ(IndexOf(WM_LBUTTONDOWN), -1);
    SendMouse(window, QEvent::MouseButtonRelease, {13, 35}, Qt::LeftButton, Qt::NoButton);
    SendMouse(window, QEvent::MouseButtonPress, {150, 90}, Qt::RightButton, Qt::RightButton);
    SendMouse(window, QEvent::MouseButtonRelease, {150, 90}, Qt::RightButton, Qt::NoButton);
    Drain();

    auto down = Messages(WM_LBUTTONDOWN);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(down[0].lParam), 12);
    EXPECT_EQ(GET_Y_LPARAM(down[0].lParam), 34);
    EXPECT_EQ(down[0].wParam, MK_LBUTTON | MK_SHIFT);
    auto up = Messages(WM_LBUTTONUP);
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(up[0].lParam), 13);
    EXPECT_EQ(up[0].wParam, 0u) << "the released button is no longer down";
    ASSERT_EQ(Messages(WM_RBUTTONDOWN).size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(Messages(WM_RBUTTONUP)[0].lParam), 150);
    EXPECT_LT(IndexOf(WM_LBUTTONDOWN), IndexOf(WM_LBUTTONUP));
    EXPECT_LT(IndexOf(WM_LBUTTONUP), IndexOf(WM_RBUTTONDOWN));

    // The hit test got screen coordinates.
    auto hits = Messages(WM_NCHITTEST);
    ASSERT_FALSE(hits.empty());
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(GET_X_LPARAM(hits[0].lParam), rect.left + 12);
    EXPECT_EQ(GET_Y_LPARAM(hits[0].lParam), rect.top + 34);
}

TEST_F(WindowInput, DoubleClickNeedsTheClassStyle)
{
    RegisterTestClass("WinTestDbl", CS_DBLCLKS);
    RegisterTestClass("WinTestNoDbl", 0);
    HWND withStyle = MakeWindow(200, 100, WS_POPUP, 0, nullptr, "WinTestDbl");
    HWND withoutStyle = MakeWindow(200, 100, WS_POPUP, 0, nullptr, "WinTestNoDbl");
    for (HWND window : {withStyle, withoutStyle})
    {
        SendMouse(window, QEvent::MouseButtonPress, {5, 6}, Qt::LeftButton, Qt::LeftButton);
        SendMouse(window, QEvent::MouseButtonRelease, {5, 6}, Qt::LeftButton, Qt::NoButton);
        SendMouse(window, QEvent::MouseButtonDblClick, {5, 6}, Qt::LeftButton, Qt::LeftButton);
        SendMouse(window, QEvent::MouseButtonRelease, {5, 6}, Qt::LeftButton, Qt::NoButton);
    }
    Drain();
    auto doubleClicks = Messages(WM_LBUTTONDBLCLK, withStyle);
    ASSERT_EQ(doubleClicks.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(doubleClicks[0].lParam), 5);
    EXPECT_EQ(GET_Y_LPARAM(doubleClicks[0].lParam), 6);
    EXPECT_EQ(Messages(WM_LBUTTONDOWN, withStyle).size(), 1u);
    EXPECT_EQ(Messages(WM_LBUTTONDBLCLK, withoutStyle).size(), 0u);
    EXPECT_EQ(Messages(WM_LBUTTONDOWN, withoutStyle).size(), 2u);
    EXPECT_EQ(Messages(WM_LBUTTONUP, withoutStyle).size(), 2u);
}

TEST_F(WindowInput, KeysArriveAsVirtualKeysAndFiltersSeeThemBeforeDispatch)
{
    HWND window = MakeWindow();
    SendKey(window, QEvent::KeyPress, Qt::Key_Escape, QStringLiteral("\x1b"));
    SendKey(window, QEvent::KeyRelease, Qt::Key_Escape);
    SendKey(window, QEvent::KeyPress, Qt::Key_Return, QStringLiteral("\r"));
    SendKey(window, QEvent::KeyPress, Qt::Key_A, QStringLiteral("a"));
    SendKey(window, QEvent::KeyPress, Qt::Key_F4, {}, Qt::AltModifier);
    EXPECT_TRUE(Log().empty() || IndexOf(WM_KEYDOWN) == -1) << "keys must be queued, not sent";

    // A loop's filter sees the key before the window does and may eat it.
    std::vector<WPARAM> filtered;
    std::vector<WPARAM> dispatchedKeys;
    std::vector<WPARAM> characters;
    MSG message{};
    while (PeekMessage(&message, nullptr, 0, 0, PM_REMOVE))
    {
        if (message.message == WM_KEYDOWN)
            filtered.push_back(message.wParam);
        if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE)
            continue;
        TranslateMessage(&message);
        if (message.message == WM_CHAR)
            characters.push_back(message.wParam);
        DispatchMessage(&message);
    }
    EXPECT_EQ(filtered, (std::vector<WPARAM>{VK_ESCAPE, VK_RETURN, 'A'}));
    // The eaten Escape was never translated, so it made no character.
    EXPECT_EQ(characters, (std::vector<WPARAM>{'\r', 'a'}));
    for (const CRecorded& entry : Messages(WM_KEYDOWN))
        dispatchedKeys.push_back(entry.wParam);
    EXPECT_EQ(dispatchedKeys, (std::vector<WPARAM>{VK_RETURN, 'A'}));
    auto releases = Messages(WM_KEYUP);
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0].wParam, VK_ESCAPE);
    EXPECT_NE(releases[0].lParam & (LPARAM{1} << 31), 0) << "a release sets the transition bit";
    // Alt+F4 is a system key whose default processing asks to close.
    ASSERT_EQ(Messages(WM_SYSKEYDOWN).size(), 1u);
    EXPECT_EQ(Messages(WM_SYSKEYDOWN)[0].wParam, VK_F4);
    ASSERT_EQ(Messages(WM_SYSCOMMAND).size(), 1u);
    EXPECT_EQ(Messages(WM_SYSCOMMAND)[0].wParam, SC_CLOSE);
}

TEST_F(WindowInput, ADisabledWindowTakesNoMouseOrKeyboardInputUntilEnabledAgain)
{
    // The owner of a modal dialog: clicks and keys on it must not act.
    HWND window = MakeWindow(200, 100);
    ASSERT_NE(window, nullptr);
    Answers()[WM_NCHITTEST] = HTCLIENT;
    EnableWindow(window, FALSE);
    Reset();
    SendMouse(window, QEvent::MouseButtonPress, {12, 34}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(window, QEvent::MouseMove, {20, 40}, Qt::NoButton, Qt::LeftButton);
    SendMouse(window, QEvent::MouseButtonRelease, {20, 40}, Qt::LeftButton, Qt::NoButton);
    SendMouse(window, QEvent::MouseButtonDblClick, {20, 40}, Qt::LeftButton, Qt::LeftButton);
    SendKey(window, QEvent::KeyPress, Qt::Key_Escape, QStringLiteral("\x1b"));
    SendKey(window, QEvent::KeyPress, Qt::Key_F4, {}, Qt::AltModifier);
    Drain();
    for (UINT message : {WM_NCHITTEST, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEMOVE, WM_KEYDOWN,
                         WM_SYSKEYDOWN, WM_SYSCOMMAND})
        EXPECT_EQ(IndexOf(message, window), -1) << "message " << message;

    EnableWindow(window, TRUE);
    Reset();
    SendMouse(window, QEvent::MouseButtonPress, {12, 34}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(window, QEvent::MouseButtonRelease, {12, 34}, Qt::LeftButton, Qt::NoButton);
    Drain();
    EXPECT_EQ(Messages(WM_LBUTTONDOWN, window).size(), 1u);
    EXPECT_EQ(Messages(WM_LBUTTONUP, window).size(), 1u);
}

TEST_F(WindowInput, CaptionHitDragsTheWindowInsteadOfClicking)
{
    HWND window = MakeWindow(200, 100);
    ShowWindow(window, SW_SHOWNA);
    PumpFor(20ms);
    MoveWindow(window, 100, 50, 200, 100, TRUE);
    Answers()[WM_NCHITTEST] = HTCAPTION;
    RECT before{};
    GetWindowRect(window, &before);
    SendMouse(window, QEvent::MouseButtonPress, {20, 10}, Qt::LeftButton, Qt::LeftButton);
    // The window follows the cursor: 30 right, 15 down from the press.
    QPoint pressScreen(before.left + 20, before.top + 10);
    QPoint moveScreen = pressScreen + QPoint(30, 15);
    QPoint local = moveScreen - QPoint(before.left, before.top);
    QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(local), QPointF(moveScreen), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(WidgetFromHwnd(window), &move);
    SendMouse(window, QEvent::MouseButtonRelease, {20, 10}, Qt::LeftButton, Qt::NoButton);
    Drain();
    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_EQ(after.left - before.left, 30);
    EXPECT_EQ(after.top - before.top, 15);
    EXPECT_EQ(after.right - after.left, 200);
    EXPECT_EQ(Messages(WM_LBUTTONDOWN).size(), 0u) << "a caption press is not a click";
    EXPECT_EQ(Messages(WM_LBUTTONUP).size(), 0u);
    auto moves = Messages(WM_MOVE);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(GET_X_LPARAM(moves.back().lParam), after.left);
}

TEST_F(WindowInput, CloseRequestArrivesAsSystemCloseCommand)
{
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOWNA);
    // The window procedure hides instead of closing, as the main window does.
    Hook() = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
        if (message == WM_SYSCOMMAND && wParam == SC_CLOSE)
            ShowWindow(hwnd, SW_HIDE);
    };
    Answers()[WM_SYSCOMMAND] = 0;
    QCloseEvent close;
    QCoreApplication::sendEvent(WidgetFromHwnd(window), &close);
    EXPECT_FALSE(close.isAccepted()) << "Qt must not close the window itself";
    auto commands = Messages(WM_SYSCOMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, SC_CLOSE);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(IndexOf(WM_CLOSE), -1);

    // Left to default processing, SC_CLOSE closes and WM_CLOSE destroys.
    Reset();
    HWND plain = MakeWindow();
    QCloseEvent closePlain;
    QCoreApplication::sendEvent(WidgetFromHwnd(plain), &closePlain);
    EXPECT_FALSE(IsWindow(plain));
    int closeIndex = IndexOf(WM_CLOSE);
    ASSERT_GE(closeIndex, 0);
    EXPECT_LT(IndexOf(WM_SYSCOMMAND), closeIndex);
    EXPECT_LT(closeIndex, IndexOf(WM_DESTROY));
    PumpFor(10ms);
}
