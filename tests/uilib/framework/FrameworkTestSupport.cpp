#include "uilib/framework/FrameworkTestSupport.h"

namespace frameworktest
{
CTestWindow::~CTestWindow()
{
    if (::IsWindow(GetHWND())) {
        ::DestroyWindow(GetHWND());
    }
}

HWND CTestWindow::Open(int width, int height, HWND owner, DWORD style)
{
    return Create(owner, "framework test", style, 0, 0, 0, width, height);
}

CControlUI* CTestWindow::Build(const char* layout)
{
    CDialogBuilder builder;
    CControlUI* root = builder.Create(layout, nullptr, nullptr, &manager, nullptr);
    if (root != nullptr) {
        manager.AttachDialog(root);
    }
    return root;
}

void CTestWindow::MouseMove(int x, int y)
{
    ::SendMessage(GetHWND(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

void CTestWindow::Press(int x, int y)
{
    ::SendMessage(GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
}

void CTestWindow::Release(int x, int y)
{
    ::SendMessage(GetHWND(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void CTestWindow::Click(int x, int y)
{
    MouseMove(x, y);
    Press(x, y);
    Release(x, y);
}

void CTestWindow::DoubleClick(int x, int y)
{
    Click(x, y);
    ::SendMessage(GetHWND(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
    Release(x, y);
}

void CTestWindow::Notify(TNotifyUI& msg)
{
    notifications.emplace_back(msg.sType.GetData(), msg.pSender);
    if (onNotify) {
        onNotify(msg);
    }
}

LRESULT CTestWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    messages.push_back(message);
    LRESULT result = 0;
    if (onMessage && onMessage(message, wParam, lParam, result)) {
        return result;
    }
    switch (message) {
    case WM_CREATE:
        manager.Init(GetHWND());
        manager.AddNotifier(this);
        return 0;
    case WM_WATCHDOG:
        watchdogFired = true;
        ::PostQuitMessage(-1);
        return 0;
    default:
        break;
    }
    if (manager.MessageHandler(message, wParam, lParam, result)) {
        return result;
    }
    return CWindowWnd::HandleMessage(message, wParam, lParam);
}

void CTestWindow::OnFinalMessage(HWND window)
{
    if (onFinalMessage) {
        onFinalMessage(window);
    }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    MSG message = {};
    for (;;) {
        while (::PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Not ours to swallow: put it back for the test to see.
                ::PostQuitMessage(static_cast<int>(message.wParam));
                return done();
            }
            if (!CPaintManagerUI::TranslateMessage(&message)) {
                ::TranslateMessage(&message);
                ::DispatchMessage(&message);
            }
            if (done()) {
                return true;
            }
        }
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PumpFor(std::chrono::milliseconds duration)
{
    PumpUntil([] { return false; }, duration);
}

bool DrainQueue()
{
    bool quit = false;
    MSG message = {};
    while (::PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
        quit = quit || message.message == WM_QUIT;
    }
    return quit;
}

CWatchdog::CWatchdog(HWND window, std::chrono::milliseconds timeout)
{
    thread = std::thread([this, window, timeout] {
        std::unique_lock lock(mutex);
        if (!cancelled.wait_for(lock, timeout, [this] { return done; })) {
            ::PostMessage(window, WM_WATCHDOG, 0, 0);
        }
    });
}

CWatchdog::~CWatchdog()
{
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    cancelled.notify_all();
    thread.join();
}

void CRecordingControl::SetAttribute(const char* name, const char* value)
{
    attributes.push_back(std::string(name) + "=" + value);
    CControlUI::SetAttribute(name, value);
}

void CRecordingControl::DoEvent(TEventUI& event)
{
    events.push_back(event.Type);
    eventPoints.push_back(event.ptMouse);
    if (event.Type == UIEVENT_TIMER) {
        timerIds.push_back(event.wParam);
    }
    if (onEvent) {
        onEvent(event);
    }
    CControlUI::DoEvent(event);
}
}  // namespace frameworktest
