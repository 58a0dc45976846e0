// Posting, sending and the message loop; timers and the tick count.

#include "platform/win/Win.h"

#include "platform/win/KeyMapping.h"
#include "platform/win/MessageQueue.h"
#include "platform/win/NativeWindow.h"
#include "platform/win/TimerTable.h"
#include "platform/win/WinApplication.h"
#include "platform/win/WindowWidget.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>

namespace
{
constexpr int keyTokenShift = 16;
constexpr LPARAM keyTokenMask = 0xFF;
constexpr LPARAM keyControlDown = LPARAM{1} << 25;
constexpr LPARAM keyShiftDown = LPARAM{1} << 26;

// The modifier bits of the key message last taken out of the queue.
LPARAM lastKeyModifiers = 0;

bool IsKeyMessage(UINT message)
{
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN || message == WM_SYSKEYUP;
}

// Posted and input messages first, then the quit request, then due timers:
// the order in which Win32 hands them out.
bool TakeNext(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove)
{
    CWindowWidget::DeleteDetached();
    if (CMessageQueue::Instance().Take(message, window, filterMin, filterMax, remove)) {
        if (remove && IsKeyMessage(message->message))
            lastKeyModifiers = message->lParam & (keyControlDown | keyShiftDown);
        return true;
    }
    return CTimerTable::Instance().TakeDue(message, window, filterMin, filterMax, remove);
}
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    return native != nullptr ? native->Send(message, wParam, lParam) : 0;
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG queued{window, message, wParam, lParam, GetTickCount(), {0, 0}};
    return CMessageQueue::Instance().Post(queued) ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode)
{
    CMessageQueue::Instance().PostQuit(exitCode);
}

BOOL GetMessage(MSG* message, HWND window, UINT filterMin, UINT filterMax)
{
    if (message == nullptr || !CWinApplication::Ensure())
        return FALSE;
    // Qt's own events (paint, input, activation) are taken in before every
    // message, so a stream of posted messages cannot starve the screen.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    while (!TakeNext(message, window, filterMin, filterMax, true))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return message->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessage(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (message == nullptr || !CWinApplication::Ensure())
        return FALSE;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return TakeNext(message, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

std::int16_t GetKeyState(int virtualKey)
{
    constexpr std::int16_t held = INT16_MIN;
    if (virtualKey == static_cast<int>(VK_CONTROL))
        return (lastKeyModifiers & keyControlDown) != 0 ? held : 0;
    if (virtualKey == static_cast<int>(VK_SHIFT))
        return (lastKeyModifiers & keyShiftDown) != 0 ? held : 0;
    return 0;
}

BOOL TranslateMessage(const MSG* message)
{
    if (message == nullptr)
        return FALSE;
    // Every key message counts as translated, as Win32 answers; only a key
    // press makes characters (Alt combinations stay keys).
    UINT kind = message->message;
    if (kind == WM_KEYUP || kind == WM_SYSKEYDOWN || kind == WM_SYSKEYUP)
        return TRUE;
    if (kind != WM_KEYDOWN)
        return FALSE;
    int token = static_cast<int>((message->lParam >> keyTokenShift) & keyTokenMask);
    QString text = KeyTextForToken(token);
    std::u32string characters;
    if (!text.isEmpty())
    {
        for (char32_t character : text.toUcs4())
            characters.push_back(character);
    }
    else if (char32_t character = CharacterForVirtualKey(message->wParam))
    {
        characters.push_back(character);
    }
    // Pushed to the front in reverse so that the characters come next, in order.
    for (auto character = characters.rbegin(); character != characters.rend(); ++character)
        CMessageQueue::Instance().PostFront(
            MSG{message->hwnd, WM_CHAR, *character, message->lParam & 0xFFFF, message->time, message->pt});
    return TRUE;
}

LRESULT DispatchMessage(const MSG* message)
{
    if (message == nullptr)
        return 0;
    return SendMessage(message->hwnd, message->message, message->wParam, message->lParam);
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, void* timerProc)
{
    (void)timerProc;
    if (!CWinApplication::Ensure())
        return 0;
    if (window != nullptr && CNativeWindow::Find(window) == nullptr)
        return 0;
    UINT_PTR result = CTimerTable::Instance().Set(window, id, elapse);
    // Win32 answers a window timer's id as "non-zero"; an id of 0 still works.
    return window != nullptr && result == 0 ? 1 : result;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    if (!CWinApplication::OnGuiThread())
        return FALSE;
    return CTimerTable::Instance().Kill(window, id) ? TRUE : FALSE;
}

DWORD GetTickCount()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
