#include "platform/win/MessageQueue.h"

#include "platform/win/WinApplication.h"

#include <algorithm>

CMessageQueue& CMessageQueue::Instance()
{
    // Never destroyed: worker threads may still post while static objects are
    // torn down at exit.
    static CMessageQueue* queue = new CMessageQueue;
    return *queue;
}

void CMessageQueue::AddWindow(HWND window)
{
    std::lock_guard lock(mutex);
    liveWindows.insert(window);
}

void CMessageQueue::RemoveWindow(HWND window)
{
    std::lock_guard lock(mutex);
    liveWindows.erase(window);
    std::erase_if(messages, [window](const MSG& message) { return message.hwnd == window; });
}

bool CMessageQueue::IsLive(HWND window)
{
    std::lock_guard lock(mutex);
    return liveWindows.count(window) != 0;
}

bool CMessageQueue::Post(const MSG& message)
{
    {
        std::lock_guard lock(mutex);
        if (message.hwnd != nullptr && liveWindows.count(message.hwnd) == 0)
            return false;
        messages.push_back(message);
    }
    CWinApplication::WakeUp();
    return true;
}

void CMessageQueue::PostInput(const MSG& message)
{
    {
        std::lock_guard lock(mutex);
        if (liveWindows.count(message.hwnd) == 0)
            return;
        if (message.message == WM_MOUSEMOVE && !messages.empty() && messages.back().message == WM_MOUSEMOVE &&
            messages.back().hwnd == message.hwnd)
            messages.back() = message;
        else
            messages.push_back(message);
    }
    CWinApplication::WakeUp();
}

void CMessageQueue::PostFront(const MSG& message)
{
    {
        std::lock_guard lock(mutex);
        if (message.hwnd != nullptr && liveWindows.count(message.hwnd) == 0)
            return;
        messages.push_front(message);
    }
    CWinApplication::WakeUp();
}

void CMessageQueue::PostQuit(int exitCode)
{
    {
        std::lock_guard lock(mutex);
        quitRequested = true;
        quitCode = exitCode;
    }
    CWinApplication::WakeUp();
}

bool CMessageQueue::Matches(const MSG& message, HWND window, UINT filterMin, UINT filterMax)
{
    if (window != nullptr && message.hwnd != window)
        return false;
    if (filterMin == 0 && filterMax == 0)
        return true;
    return message.message >= filterMin && message.message <= filterMax;
}

bool CMessageQueue::Take(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove)
{
    std::lock_guard lock(mutex);
    auto found = std::find_if(messages.begin(), messages.end(), [&](const MSG& queued) {
        return Matches(queued, window, filterMin, filterMax);
    });
    if (found != messages.end())
    {
        *message = *found;
        if (remove)
            messages.erase(found);
        return true;
    }
    bool quitInRange = (filterMin == 0 && filterMax == 0) || (WM_QUIT >= filterMin && WM_QUIT <= filterMax);
    if (quitRequested && quitInRange)
    {
        *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(static_cast<std::intptr_t>(quitCode)), 0, GetTickCount(), {0, 0}};
        if (remove)
            quitRequested = false;
        return true;
    }
    return false;
}

size_t CMessageQueue::Size()
{
    std::lock_guard lock(mutex);
    return messages.size();
}
