#pragma once

// Drives a window from inside a message loop the test does not own (the
// modal run of a dialog, or a dispatch that opens one): steps are posted to a
// hidden window of the driver, so whatever loop runs next dispatches them in
// the order they were posted, behind every message posted before them. A
// watchdog timer ends the loop if the steps never finish it: it posts the
// quit message (which ends a modal run and every loop around it) and
// destroys the windows the test named, so no test can hang on a dialog.

#include "uilib/UIlib.h"

#include <chrono>
#include <deque>
#include <functional>

namespace apptest {

// The window object behind a handle, as the window base keeps it.
template <typename T>
T* WindowObject(HWND window)
{
    if (window == nullptr || !::IsWindow(window))
        return nullptr;
    return dynamic_cast<T*>(reinterpret_cast<CWindowWnd*>(::GetWindowLongPtr(window, GWLP_USERDATA)));
}

// The centre of a control, in client coordinates of its window.
inline LPARAM ControlCentre(CControlUI* control)
{
    const RECT pos = control->GetPos();
    return MAKELPARAM((pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2);
}

// Queues a left click on the control as the mouse would make it.
inline void PostClick(CControlUI* control)
{
    HWND window = control->GetManager()->GetPaintWindow();
    ::PostMessage(window, WM_MOUSEMOVE, 0, ControlCentre(control));
    ::PostMessage(window, WM_LBUTTONDOWN, MK_LBUTTON, ControlCentre(control));
    ::PostMessage(window, WM_LBUTTONUP, 0, ControlCentre(control));
}

// Delivers a left click on the control at once.
inline void SendClick(CControlUI* control)
{
    HWND window = control->GetManager()->GetPaintWindow();
    ::SendMessage(window, WM_MOUSEMOVE, 0, ControlCentre(control));
    ::SendMessage(window, WM_LBUTTONDOWN, MK_LBUTTON, ControlCentre(control));
    ::SendMessage(window, WM_LBUTTONUP, 0, ControlCentre(control));
}

class CModalDriver : public CWindowWnd
{
public:
    // Exit code of the quit message the watchdog posts.
    static constexpr int kWatchdogExitCode = 77;

    explicit CModalDriver(std::chrono::milliseconds watchdog = std::chrono::seconds(10))
    {
        Create(nullptr, "modal driver", WS_POPUP, 0, 0, 0, 1, 1);
        ::SetTimer(GetHWND(), kWatchdogTimer, static_cast<UINT>(watchdog.count()), nullptr);
    }

    ~CModalDriver() override
    {
        if (::IsWindow(GetHWND()))
            ::DestroyWindow(GetHWND());
    }

    // Runs `step` from the next loop, after everything posted so far.
    void Post(std::function<void()> step)
    {
        steps.push_back(std::move(step));
        ::PostMessage(GetHWND(), kStepMessage, 0, 0);
    }

    // Runs `step` from the next loop once `ready` holds, looking again on
    // every round of the loop (for a window that another loop opens).
    void PostWhen(std::function<bool()> ready, std::function<void()> step)
    {
        Post([this, ready = std::move(ready), step = std::move(step)]() mutable {
            if (ready())
                step();
            else
                PostWhen(std::move(ready), std::move(step));
        });
    }

    // A window the watchdog destroys when it fires.
    void Guard(HWND window) { guarded.push_back(window); }

    bool TimedOut() const { return timedOut; }

protected:
    const char* GetWindowClassName() const override { return "UITestModalDriver"; }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == kStepMessage && !steps.empty()) {
            auto step = std::move(steps.front());
            steps.pop_front();
            step();
            return 0;
        }
        if (message == WM_TIMER && wParam == kWatchdogTimer) {
            ::KillTimer(GetHWND(), kWatchdogTimer);
            timedOut = true;
            steps.clear();
            for (HWND window : guarded)
                if (::IsWindow(window))
                    ::DestroyWindow(window);
            ::PostQuitMessage(kWatchdogExitCode);
            return 0;
        }
        return CWindowWnd::HandleMessage(message, wParam, lParam);
    }

private:
    static constexpr UINT kStepMessage = WM_APP + 0x0E01;
    static constexpr UINT_PTR kWatchdogTimer = 1;

    std::deque<std::function<void()>> steps;
    std::deque<HWND> guarded;
    bool timedOut = false;
};

} // namespace apptest
