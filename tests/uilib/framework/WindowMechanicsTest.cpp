// The window base and the message loop through real (offscreen) windows:
// posted messages from other threads, timers, the modal run and its
// interplay with WM_QUIT, the final-message hook, centring and sizing from
// the layout, the pre-message filters, and painting with clipping. Every
// blocking loop runs under a watchdog.

#include "uilib/framework/FrameworkTestSupport.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace frameworktest;
using namespace std::chrono_literals;

namespace
{
constexpr UINT WM_TEST_PING = WM_APP + 21;
constexpr UINT WM_TEST_ACT = WM_APP + 22;

// A heap window that frees itself in its final-message hook, as the
// dialogs and menus of the system do.
class CSelfDeletingWindow : public CTestWindow
{
public:
    static inline std::vector<std::string> journal;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_NCDESTROY) {
            journal.push_back("WM_NCDESTROY");
        }
        return CTestWindow::HandleMessage(message, wParam, lParam);
    }
    void OnFinalMessage(HWND window) override
    {
        // The hook runs inside WM_NCDESTROY: the object has let go of its
        // handle, which the window layer frees right after.
        journal.push_back(GetHWND() == nullptr && window != nullptr ? "final, handle gone" : "final, handle kept");
        delete this;
    }
};

struct TFilter : IMessageFilterUI
{
    std::function<LRESULT(UINT, WPARAM, LPARAM, bool&)> action;
    std::vector<std::pair<UINT, WPARAM>> seen;
    LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override
    {
        seen.emplace_back(message, wParam);
        return action ? action(message, wParam, lParam, handled) : 0;
    }
};
}  // namespace

TEST(WindowLoop, AMessagePostedFromAnotherThreadArrivesInTheMessageLoop)
{
    CTestWindow window;
    ASSERT_NE(window.Open(100, 50), nullptr);
    std::thread::id handledOn;
    window.onMessage = [&](UINT message, WPARAM wParam, LPARAM, LRESULT&) {
        if (message == WM_TEST_PING) {
            handledOn = std::this_thread::get_id();
            ::PostQuitMessage(static_cast<int>(wParam));
            return true;
        }
        return false;
    };
    CWatchdog watchdog(window.GetHWND(), 5s);
    std::thread worker([&window] {
        std::this_thread::sleep_for(30ms);
        ::PostMessage(window.GetHWND(), WM_TEST_PING, 42, 0);
    });
    const int code = CPaintManagerUI::MessageLoop();
    worker.join();
    EXPECT_FALSE(window.watchdogFired);
    EXPECT_EQ(code, 42);
    EXPECT_EQ(handledOn, std::this_thread::get_id()) << "handled on the GUI thread";
}

TEST(WindowLoop, ATimerOfElapseZeroFires)
{
    CTestWindow window;
    ASSERT_NE(window.Open(100, 50), nullptr);
    int fired = 0;
    window.onMessage = [&](UINT message, WPARAM wParam, LPARAM, LRESULT&) {
        if (message == WM_TIMER && wParam == 505) {
            ++fired;
            ::KillTimer(window.GetHWND(), 505);
            ::PostQuitMessage(0);
            return true;
        }
        return false;
    };
    ASSERT_NE(::SetTimer(window.GetHWND(), 505, 0, nullptr), 0u);
    CWatchdog watchdog(window.GetHWND(), 5s);
    EXPECT_EQ(CPaintManagerUI::MessageLoop(), 0);
    EXPECT_FALSE(window.watchdogFired);
    EXPECT_EQ(fired, 1);
}

TEST(WindowModal, DoModalDisablesTheOwnerAndAnswersTheCodeGivenToClose)
{
    CTestWindow owner;
    ASSERT_NE(owner.Open(300, 200), nullptr);
    ::ShowWindow(owner.GetHWND(), SW_SHOW);
    auto* dialog = new CSelfDeletingWindow();
    CSelfDeletingWindow::journal.clear();
    ASSERT_NE(dialog->Open(100, 80, owner.GetHWND()), nullptr);
    HWND dialogWindow = dialog->GetHWND();
    bool ownerEnabledDuringRun = true;
    dialog->onMessage = [&, dialog](UINT message, WPARAM, LPARAM, LRESULT&) {
        if (message == WM_TEST_ACT) {
            ownerEnabledDuringRun = ::IsWindowEnabled(owner.GetHWND()) != FALSE;
            dialog->Close(5);
            return true;
        }
        return false;
    };
    ::PostMessage(dialogWindow, WM_TEST_ACT, 0, 0);
    CWatchdog watchdog(owner.GetHWND(), 5s);
    const UINT code = dialog->DoModal();   // the dialog is freed inside
    EXPECT_EQ(code, 5u);
    EXPECT_FALSE(owner.watchdogFired);
    EXPECT_FALSE(ownerEnabledDuringRun);
    EXPECT_TRUE(::IsWindowEnabled(owner.GetHWND()));
    EXPECT_FALSE(::IsWindow(dialogWindow));
    EXPECT_EQ(CSelfDeletingWindow::journal, (std::vector<std::string>{"WM_NCDESTROY", "final, handle gone"}));
    EXPECT_FALSE(DrainQueue()) << "a normal end leaves no quit message behind";
}

TEST(WindowModal, AQuitInsideTheModalLoopEndsTheOuterLoopToo)
{
    CTestWindow owner;
    ASSERT_NE(owner.Open(300, 200), nullptr);
    CTestWindow dialog;
    ASSERT_NE(dialog.Open(100, 80, owner.GetHWND()), nullptr);
    dialog.onMessage = [](UINT message, WPARAM, LPARAM, LRESULT&) {
        if (message == WM_TEST_ACT) {
            ::PostQuitMessage(3);   // Escape in a dialog does this
            return true;
        }
        return false;
    };
    ::PostMessage(dialog.GetHWND(), WM_TEST_ACT, 0, 0);
    {
        CWatchdog watchdog(owner.GetHWND(), 5s);
        EXPECT_EQ(dialog.DoModal(), 0u) << "no Close, no code";
    }
    EXPECT_TRUE(::IsWindow(dialog.GetHWND())) << "the quit ends the run, it does not destroy the dialog";
    EXPECT_TRUE(::IsWindowEnabled(owner.GetHWND()));
    CWatchdog watchdog(owner.GetHWND(), 5s);
    EXPECT_EQ(CPaintManagerUI::MessageLoop(), 3) << "the outer loop got the quit message again";
    EXPECT_FALSE(owner.watchdogFired);
}

TEST(WindowModal, CloseBeforeTheRunAndNestedRunsKeepTheirOwnCodes)
{
    CTestWindow owner;
    ASSERT_NE(owner.Open(300, 200), nullptr);
    auto* outer = new CSelfDeletingWindow();
    ASSERT_NE(outer->Open(100, 80, owner.GetHWND()), nullptr);
    UINT innerCode = 0;
    outer->onMessage = [&, outer](UINT message, WPARAM, LPARAM, LRESULT&) {
        if (message != WM_TEST_ACT) {
            return false;
        }
        auto* inner = new CSelfDeletingWindow();
        inner->Open(50, 40, outer->GetHWND());
        inner->Close(9);   // queued before the inner run starts
        innerCode = inner->DoModal();
        outer->Close(4);
        return true;
    };
    ::PostMessage(outer->GetHWND(), WM_TEST_ACT, 0, 0);
    CWatchdog watchdog(owner.GetHWND(), 5s);
    EXPECT_EQ(outer->DoModal(), 4u);
    EXPECT_EQ(innerCode, 9u) << "a Close made before the run still gives the run its code";
    EXPECT_FALSE(owner.watchdogFired);
}

TEST(WindowBase, OnFinalMessageRunsAfterTheLastMessageAndLaterPostsAreDropped)
{
    auto* window = new CSelfDeletingWindow();
    CSelfDeletingWindow::journal.clear();
    ASSERT_NE(window->Open(100, 50), nullptr);
    HWND handle = window->GetHWND();
    EXPECT_EQ(static_cast<HWND>(*window), handle);
    EXPECT_EQ(reinterpret_cast<CWindowWnd*>(::GetWindowLongPtr(handle, GWLP_USERDATA)), window);
    ::DestroyWindow(handle);   // frees the object
    EXPECT_FALSE(::IsWindow(handle));
    EXPECT_EQ(CSelfDeletingWindow::journal, (std::vector<std::string>{"WM_NCDESTROY", "final, handle gone"}));
    EXPECT_FALSE(::PostMessage(handle, WM_TEST_PING, 0, 0));
    PumpFor(20ms);
}

TEST(WindowBase, InstancePathIsTheExecutablesFolderWithATrailingSlash)
{
    CPaintManagerUI::SetInstance(::GetModuleHandle(nullptr));
    const CStdString path = CPaintManagerUI::GetInstancePath();
    ASSERT_FALSE(path.IsEmpty());
    EXPECT_EQ(path.GetAt(path.GetLength() - 1), '/');
    char executable[4096] = {};
    ASSERT_GT(::GetModuleFileName(nullptr, executable, sizeof(executable)), 0u);
    EXPECT_EQ(CStdString(executable).Left(path.GetLength()), path);
    EXPECT_EQ(CStdString(executable).Mid(path.GetLength()).Find('/'), -1) << "the folder, not a parent of it";

    CPaintManagerUI::SetInstancePath("/opt/radio");
    EXPECT_EQ(CPaintManagerUI::GetInstancePath(), "/opt/radio/");
    CPaintManagerUI::SetInstancePath("/opt/radio/");
    EXPECT_EQ(CPaintManagerUI::GetInstancePath() + "config/config.xml", "/opt/radio/config/config.xml");
    CPaintManagerUI::SetResourcePath("/opt/radio/skin");
    EXPECT_EQ(CPaintManagerUI::GetResourcePath(), "/opt/radio/skin/");
}

TEST(WindowBase, CenterWindowUsesAVisibleOwnerElseThePrimaryScreen)
{
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(screenWidth, 400);
    CTestWindow alone;
    alone.Open(200, 100);
    alone.CenterWindow();
    RECT rect = {};
    ::GetWindowRect(alone.GetHWND(), &rect);
    EXPECT_EQ(rect.left, (screenWidth - 200) / 2);
    EXPECT_EQ(rect.top, (screenHeight - 100) / 2);

    CTestWindow owner;
    owner.Open(300, 200);
    ::SetWindowPos(owner.GetHWND(), nullptr, 20, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    CTestWindow owned;
    owned.Open(100, 50, owner.GetHWND());
    owned.CenterWindow();   // owner hidden: the screen
    ::GetWindowRect(owned.GetHWND(), &rect);
    EXPECT_EQ(rect.left, (screenWidth - 100) / 2);
    ::ShowWindow(owner.GetHWND(), SW_SHOWNA);
    owned.CenterWindow();
    ::GetWindowRect(owned.GetHWND(), &rect);
    EXPECT_EQ(rect.left, 20 + 100);
    EXPECT_EQ(rect.top, 30 + 75);
    ::ShowWindow(owner.GetHWND(), SW_HIDE);
}

TEST(WindowBase, AttachDialogSizesAnUnsizedWindowFromTheLayoutAndWmSizeRelaysOut)
{
    CTestWindow window;
    ASSERT_NE(window.Open(0, 0), nullptr);
    CControlUI* root = window.Build(R"(<Window size="320,240"><VerticalLayout><Label height="40"/><Label/></VerticalLayout></Window>)");
    ASSERT_NE(root, nullptr);
    RECT client = {};
    ::GetClientRect(window.GetHWND(), &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    EXPECT_EQ(root->GetPos().right, 320);
    auto* column = static_cast<CContainerUI*>(root->GetInterface("Container"));
    EXPECT_EQ(column->GetItemAt(1)->GetPos().bottom, 240);

    window.ResizeClient(400, -1);
    ::GetClientRect(window.GetHWND(), &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 240) << "-1 keeps the height";
    window.Manager().UpdateLayout();
    EXPECT_EQ(root->GetPos().right, 400);
    EXPECT_EQ(column->GetItemAt(1)->GetPos().right, 400);

    // A window that has a size keeps it.
    CTestWindow sized;
    sized.Open(150, 90);
    sized.Build(R"(<Window size="320,240"><Label/></Window>)");
    ::GetClientRect(sized.GetHWND(), &client);
    EXPECT_EQ(client.right, 150);
}

TEST(PreMessageFilter, SeesKeysBeforeTheControlsAndMaySwallowThem)
{
    CTestWindow window;
    ASSERT_NE(window.Open(100, 50), nullptr);
    auto* control = new CRecordingControl();
    window.Manager().AttachDialog(control);
    control->SetFocus();
    std::vector<std::string> order;
    TFilter filter;
    filter.action = [&](UINT message, WPARAM wParam, LPARAM, bool& handled) -> LRESULT {
        if (message == WM_KEYDOWN) {
            order.push_back("filter " + std::to_string(wParam));
            handled = wParam == VK_ESCAPE;
        }
        if (message == WM_TEST_ACT) {
            ::PostQuitMessage(0);
        }
        return 0;
    };
    control->onEvent = [&](TEventUI& event) {
        if (event.Type == UIEVENT_KEYDOWN) {
            order.push_back("control " + std::to_string(event.wParam));
        }
    };
    window.Manager().AddPreMessageFilter(&filter);
    ::PostMessage(window.GetHWND(), WM_KEYDOWN, VK_RETURN, 0);
    ::PostMessage(window.GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0);
    ::PostMessage(window.GetHWND(), WM_KEYDOWN, 'A', 0);
    ::PostMessage(window.GetHWND(), WM_TEST_ACT, 0, 0);
    CWatchdog watchdog(window.GetHWND(), 5s);
    EXPECT_EQ(CPaintManagerUI::MessageLoop(), 0);
    EXPECT_EQ(order, (std::vector<std::string>{"filter 13", "control 13", "filter 27", "filter 65", "control 65"}));
    window.Manager().RemovePreMessageFilter(&filter);
}

TEST(PreMessageFilter, AnOwnersFilterSeesThePopupsMessagesAndFiltersMayGoAway)
{
    CTestWindow owner;
    ASSERT_NE(owner.Open(300, 200), nullptr);
    auto* popup = new CSelfDeletingWindow();
    ASSERT_NE(popup->Open(100, 50, owner.GetHWND(), WS_POPUP), nullptr);
    HWND popupWindow = popup->GetHWND();
    TFilter ownerFilter;
    TFilter popupFilter;
    TFilter unrelatedFilter;
    CTestWindow unrelated;
    unrelated.Open(50, 50);
    unrelated.Manager().AddPreMessageFilter(&unrelatedFilter);
    owner.Manager().AddPreMessageFilter(&ownerFilter);
    popup->Manager().AddPreMessageFilter(&popupFilter);
    // Escape in the popup destroys it (and with it its manager and filter
    // list) from inside the filter, as a menu closing itself would.
    popupFilter.action = [popupWindow](UINT message, WPARAM wParam, LPARAM, bool&) -> LRESULT {
        if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
            ::DestroyWindow(popupWindow);
            return 1;
        }
        return 0;
    };
    ::PostMessage(popupWindow, WM_KEYDOWN, 'B', 0);
    ::PostMessage(popupWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(popupWindow); }));
    PumpFor(20ms);
    const auto keys = [](const TFilter& filter) {
        std::vector<WPARAM> found;
        for (const auto& [message, wParam] : filter.seen) {
            if (message == WM_KEYDOWN) {
                found.push_back(wParam);
            }
        }
        return found;
    };
    EXPECT_EQ(keys(popupFilter), (std::vector<WPARAM>{'B', VK_ESCAPE}));
    EXPECT_EQ(keys(ownerFilter), (std::vector<WPARAM>{'B', VK_ESCAPE}));
    EXPECT_TRUE(keys(unrelatedFilter).empty());
    owner.Manager().RemovePreMessageFilter(&ownerFilter);
    unrelated.Manager().RemovePreMessageFilter(&unrelatedFilter);
}

TEST(ManagerPaint, ChildrenAreClippedToAScrolledLayoutAndTheThumbIsDrawn)
{
    CTestWindow window;
    ASSERT_NE(window.Open(100, 100), nullptr);
    ASSERT_NE(window.Build(R"(<VerticalLayout bkcolor="#FFFFFFFF">
        <VerticalLayout name="list" height="50" vscrollbar="true">
          <Control height="30" bkcolor="#FFFF0000"/><Control height="30" bkcolor="#FF00FF00"/>
          <Control height="30" bkcolor="#FF0000FF"/>
        </VerticalLayout>
        <Control bkcolor="#FFFFFFFF"/>
      </VerticalLayout>)"),
              nullptr);
    auto* list = static_cast<CVerticalLayoutUI*>(window.Manager().FindControl("list"));
    ASSERT_TRUE(list->IsScrollBarVisible());
    list->SetScrollPos(20);
    QImage picture(100, 100, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::black);
    {
        QPainter painter(&picture);
        ::PrintWindow(window.GetHWND(), &painter, 0);
    }
    EXPECT_EQ(picture.pixel(10, 5), qRgb(255, 0, 0)) << "the first row, scrolled up by 20";
    EXPECT_EQ(picture.pixel(10, 15), qRgb(0, 255, 0));
    EXPECT_EQ(picture.pixel(10, 45), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(10, 55), qRgb(255, 255, 255)) << "the third row must not spill out of the list";
    const RECT thumb = list->GetThumbRect();
    const QRgb thumbPixel = picture.pixel((thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2);
    EXPECT_LT(qGray(thumbPixel), 200) << "a visible thumb over the white";
    EXPECT_EQ(picture.pixel(97, 75), qRgb(255, 255, 255)) << "no bar outside the list";
}

TEST(ManagerWheel, TheWheelOverAChildScrollsTheListAndDragsMoveTheThumb)
{
    CTestWindow window;
    ASSERT_NE(window.Open(100, 60), nullptr);
    ASSERT_NE(window.Build(R"(<VerticalLayout name="list" vscrollbar="true">
        <Option height="40" group="g"/><Option height="40" group="g"/><Option height="40" group="g"/>
      </VerticalLayout>)"),
              nullptr);
    auto* list = static_cast<CVerticalLayoutUI*>(window.Manager().GetRoot());
    ASSERT_EQ(list->GetScrollRange(), 60);
    POINT point = {20, 20};
    ::ClientToScreen(window.GetHWND(), &point);
    ::SendMessage(window.GetHWND(), WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<WORD>(-WHEEL_DELTA)) << 16,
                  MAKELPARAM(point.x, point.y));
    EXPECT_EQ(list->GetScrollPos(), 40);
    ::SendMessage(window.GetHWND(), WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<WORD>(-WHEEL_DELTA)) << 16,
                  MAKELPARAM(point.x, point.y));
    EXPECT_EQ(list->GetScrollPos(), 60) << "stops at the end";

    // Drag the thumb back to the top.
    const RECT thumb = list->GetThumbRect();
    const int x = (thumb.left + thumb.right) / 2;
    window.MouseMove(x, thumb.top + 2);
    window.Press(x, thumb.top + 2);
    window.MouseMove(x, thumb.top - 100);
    window.Release(x, thumb.top - 100);
    EXPECT_EQ(list->GetScrollPos(), 0);
    EXPECT_TRUE(window.notifications.empty()) << "scrolling selects nothing";
}
