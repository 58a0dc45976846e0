#include "WinTestSupport.h"

#include <algorithm>

namespace wintest
{
std::vector<CRecorded>& Log()
{
    static std::vector<CRecorded> log;
    return log;
}

std::map<UINT, LRESULT>& Answers()
{
    static std::map<UINT, LRESULT> answers;
    return answers;
}

std::function<void(HWND, UINT, WPARAM, LPARAM)>& Hook()
{
    static std::function<void(HWND, UINT, WPARAM, LPARAM)> hook;
    return hook;
}

void Reset()
{
    Log().clear();
    Answers().clear();
    Hook() = nullptr;
}

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Log().push_back(CRecorded{window, message, wParam, lParam});
    if (Hook())
        Hook()(window, message, wParam, lParam);
    auto answer = Answers().find(message);
    if (answer != Answers().end())
        return answer->second;
    return DefWindowProc(window, message, wParam, lParam);
}

void RegisterTestClass(const char* name, UINT style)
{
    WNDCLASS windowClass{style, RecordingProc, GetModuleHandle(nullptr), name};
    RegisterClass(&windowClass);
}

HWND MakeWindow(int width, int height, DWORD style, DWORD exStyle, HWND parent, const char* className)
{
    RegisterTestClass(className);
    return CreateWindowEx(exStyle, className, "test", style, 100, 50, width, height, parent, nullptr,
                          GetModuleHandle(nullptr), nullptr);
}

std::vector<CRecorded> Messages(UINT message, HWND window)
{
    std::vector<CRecorded> found;
    for (const CRecorded& entry : Log())
        if (entry.message == message && (window == nullptr || entry.hwnd == window))
            found.push_back(entry);
    return found;
}

int IndexOf(UINT message, HWND window)
{
    const auto& log = Log();
    for (size_t index = 0; index < log.size(); ++index)
        if (log[index].message == message && (window == nullptr || log[index].hwnd == window))
            return static_cast<int>(index);
    return -1;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    MSG message{};
    for (;;)
    {
        while (PeekMessage(&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&message);
            DispatchMessage(&message);
            if (done())
                return true;
        }
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PumpFor(std::chrono::milliseconds duration)
{
    PumpUntil([] { return false; }, duration);
}

CWatchdog::CWatchdog(std::chrono::milliseconds timeout, UINT message) : message(message)
{
    thread = std::thread([this, timeout] {
        std::unique_lock lock(mutex);
        if (!cancelled.wait_for(lock, timeout, [this] { return done; }))
            PostMessage(nullptr, this->message, 0, 0);
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
}
