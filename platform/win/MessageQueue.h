#pragma once

// The process-wide queue of posted and input messages, and the set of live
// window handles that posting checks against. Any thread may post; only the
// GUI thread takes. The quit request is a flag beside the queue, as in Win32:
// it is handed out once every queued message before it is gone, and it never
// overtakes a posted message.

#include "platform/win/Win.h"

#include <deque>
#include <mutex>
#include <unordered_set>

class CMessageQueue
{
public:
    static CMessageQueue& Instance();

    void AddWindow(HWND window);
    // Forgets the window and drops every message still queued for it.
    void RemoveWindow(HWND window);
    bool IsLive(HWND window);

    // FALSE when the window is not live; a null window queues a message for
    // the loop itself (DispatchMessage then has no window to call).
    bool Post(const MSG& message);
    // Input from Qt events: consecutive mouse moves of one window collapse
    // into the newest, so a slow handler never works through a backlog.
    void PostInput(const MSG& message);
    // Puts a message at the head of the queue (characters that TranslateMessage
    // makes must come before anything that was queued after their key).
    void PostFront(const MSG& message);
    void PostQuit(int exitCode);

    // Takes (or with remove false, copies) the first message that matches the
    // filter: window null means any, range 0..0 means all. WM_QUIT comes only
    // when no queued message matches.
    bool Take(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove);
    size_t Size();

private:
    CMessageQueue() = default;
    static bool Matches(const MSG& message, HWND window, UINT filterMin, UINT filterMax);

    std::mutex mutex;
    std::deque<MSG> messages;
    std::unordered_set<HWND> liveWindows;
    bool quitRequested = false;
    int quitCode = 0;
};
