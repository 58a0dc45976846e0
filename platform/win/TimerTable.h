#pragma once

// Window timers. A tick only marks its timer due; GetMessage hands out
// WM_TIMER for due timers when no posted or input message waits, as Win32
// does, so a timer never floods the queue and never has two WM_TIMER
// pending. GUI thread only.

#include "platform/win/Win.h"

#include <deque>
#include <map>
#include <memory>
#include <utility>

class QTimer;

class CTimerTable
{
public:
    static CTimerTable& Instance();

    UINT_PTR Set(HWND window, UINT_PTR id, UINT elapse);
    bool Kill(HWND window, UINT_PTR id);
    void KillAll(HWND window);
    // The first due timer that matches the filter, as a WM_TIMER message;
    // taking it (remove true) clears its due mark.
    bool TakeDue(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove);
    bool IsDue(HWND window, UINT_PTR id) const;

private:
    using Key = std::pair<HWND, UINT_PTR>;
    struct Entry
    {
        std::unique_ptr<QTimer> timer;
        bool due = false;
    };

    CTimerTable() = default;
    void OnTick(const Key& key);

    std::map<Key, Entry> timers;
    // Due timers in the order they fell due.
    std::deque<Key> dueOrder;
    // Ids handed out for timers without a window.
    UINT_PTR nextThreadTimerId = 1;
};
