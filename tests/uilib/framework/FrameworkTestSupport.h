#pragma once

// Pieces the framework's tests share: a real (offscreen) window built on
// CWindowWnd with its own paint manager, hooks to watch its messages and its
// last one, message pumps that always end (a time-out, and a watchdog that
// ends a blocking message loop), and a recording control.

#include "uilib/UIlib.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace frameworktest
{
// Posted by the watchdog to the window it guards.
constexpr UINT WM_WATCHDOG = WM_APP + 0x3F0;

class CTestWindow : public CWindowWnd, public INotifyUI
{
public:
    CTestWindow() = default;
    ~CTestWindow() override;

    // Creates a popup window of the given client size (0,0: no size yet).
    HWND Open(int width, int height, HWND owner = nullptr, DWORD style = WS_POPUP);
    CPaintManagerUI& Manager() { return manager; }
    // Builds the layout (XML or a resource name) and attaches it.
    CControlUI* Build(const char* layout);

    void MouseMove(int x, int y);
    void Press(int x, int y);
    void Release(int x, int y);
    void Click(int x, int y);
    void DoubleClick(int x, int y);

    void Notify(TNotifyUI& msg) override;

    // Every message HandleMessage saw, in order.
    std::vector<UINT> messages;
    // Notifications that reached Notify: type and sender.
    std::vector<std::pair<std::string, CControlUI*>> notifications;
    std::function<void(TNotifyUI&)> onNotify;
    // Runs first for every message; answers true when it handled it.
    std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)> onMessage;
    std::function<void(HWND)> onFinalMessage;
    bool watchdogFired = false;

protected:
    const char* GetWindowClassName() const override { return "UIFrameworkTest"; }
    UINT GetClassStyle() const override { return CS_DBLCLKS; }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND window) override;

    CPaintManagerUI manager;
};

// Peeks and dispatches (through the pre-message filters, as the loop does)
// until done() holds; false when the time-out ran out first.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5));
void PumpFor(std::chrono::milliseconds duration);
// Takes every waiting message out of the queue without dispatching, WM_QUIT
// included; answers whether a WM_QUIT was among them.
bool DrainQueue();

// Posts WM_WATCHDOG to the window after the time-out unless destroyed first;
// CTestWindow answers it by ending every loop (PostQuitMessage) and noting it.
class CWatchdog
{
public:
    CWatchdog(HWND window, std::chrono::milliseconds timeout);
    ~CWatchdog();
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

private:
    std::mutex mutex;
    std::condition_variable cancelled;
    bool done = false;
    std::thread thread;
};

// A control that writes down what happens to it.
class CRecordingControl : public CControlUI
{
public:
    const char* GetClass() const override { return "RecordingControl"; }
    void SetAttribute(const char* name, const char* value) override;
    void DoEvent(TEventUI& event) override;
    void DoInit() override { ++initCount; }

    std::vector<std::string> attributes;   // "name=value" in the order applied
    std::vector<int> events;               // UIEVENT_* in the order received
    std::vector<POINT> eventPoints;
    std::vector<WPARAM> timerIds;
    int initCount = 0;
    std::function<void(TEventUI&)> onEvent;
};
}  // namespace frameworktest
