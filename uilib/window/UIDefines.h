#pragma once

// Constants and plain structs shared by the paint manager and every control:
// text style flags (Win32 DT_* values), control events (UIEVENT_*), tree
// search flags (UIFIND_*), the event a control receives and the notification
// a window receives.

#include "platform/win/Win.h"
#include "uilib/core/StdString.h"

class CControlUI;

// ------------------------------------------------------------ rectangles
// Right and bottom edges are exclusive, as everywhere in the window layer.
inline bool UIIsRectEmpty(const RECT& rect)
{
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

inline bool UIPointInRect(const RECT& rect, POINT point)
{
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

// The common part of two rectangles; false (and an empty result) when they
// do not overlap.
inline bool UIIntersectRect(RECT& result, const RECT& first, const RECT& second)
{
    result.left = first.left > second.left ? first.left : second.left;
    result.top = first.top > second.top ? first.top : second.top;
    result.right = first.right < second.right ? first.right : second.right;
    result.bottom = first.bottom < second.bottom ? first.bottom : second.bottom;
    if (UIIsRectEmpty(result)) {
        result = RECT{0, 0, 0, 0};
        return false;
    }
    return true;
}

// ------------------------------------------------------------ text style
// DrawText flags with their Win32 values, so attribute code reads like the
// classic API. DT_TOP and DT_LEFT are 0: they are the defaults.
constexpr UINT DT_TOP = 0x00000000;
constexpr UINT DT_LEFT = 0x00000000;
constexpr UINT DT_CENTER = 0x00000001;
constexpr UINT DT_RIGHT = 0x00000002;
constexpr UINT DT_VCENTER = 0x00000004;
constexpr UINT DT_BOTTOM = 0x00000008;
constexpr UINT DT_WORDBREAK = 0x00000010;
constexpr UINT DT_SINGLELINE = 0x00000020;
constexpr UINT DT_NOPREFIX = 0x00000800;
constexpr UINT DT_END_ELLIPSIS = 0x00008000;

// ------------------------------------------------------------ control events
// What the paint manager hands to CControlUI::DoEvent. Mouse positions are
// client coordinates of the window.
enum
{
    UIEVENT__FIRST = 0,
    UIEVENT_MOUSEMOVE,      // the mouse moved over the control (or anywhere, while it holds the capture)
    UIEVENT_MOUSELEAVE,     // the mouse left the control (hot tracking ends)
    UIEVENT_MOUSEENTER,     // the mouse entered the control (hot tracking starts)
    UIEVENT_BUTTONDOWN,     // left button pressed on the control; the manager captures for it
    UIEVENT_BUTTONUP,       // left button released; sent to the control that took the press
    UIEVENT_DBLCLICK,       // second press of a double click, instead of BUTTONDOWN
    UIEVENT_RBUTTONDOWN,    // right button pressed on the control
    UIEVENT_CONTEXTMENU,    // right button released on the control that took the right press
    UIEVENT_SCROLLWHEEL,    // wheel over the control; wParam's high word is the signed delta
    UIEVENT_KEYDOWN,        // to the focused control; chKey and wParam are the virtual key
    UIEVENT_KEYUP,
    UIEVENT_CHAR,           // to the focused control; character (and wParam) is the code point,
                            // chKey its low byte
    UIEVENT_SETFOCUS,       // wParam UIFOCUS_WINDOW: only the window got the focus back
    UIEVENT_KILLFOCUS,      // wParam UIFOCUS_WINDOW: only the window lost the focus
    UIEVENT_TIMER,          // a timer of the control (CPaintManagerUI::SetTimer); wParam is its id
    UIEVENT_SETCURSOR,      // the control under the mouse may choose the cursor
    UIEVENT_MBUTTONUP,      // middle button released over the control (X11 paste)
    UIEVENT__LAST,
};

// wParam of UIEVENT_SETFOCUS / UIEVENT_KILLFOCUS: the control keeps the focus
// of its window, and the window itself gained or lost the keyboard focus.
constexpr WPARAM UIFOCUS_WINDOW = 1;

// Whether a key message is the auto-repeat of a key held down (bit 30 of
// its lParam, the key's previous state, as Win32 sets it).
constexpr bool IsKeyRepeat(LPARAM lParam)
{
    return (lParam & (LPARAM{1} << 30)) != 0;
}

// ------------------------------------------------------------ key claims
// What a focused control answers to CControlUI::GetKeyClaims, with the values
// of Win32's dialog codes: the keys it wants before the windows' pre-message
// filters see them (Space, Ctrl+arrows and Escape mean something else to the
// main window while nothing edits text).
constexpr UINT DLGC_WANTARROWS = 0x0001;   // arrows, Home, End, Page Up/Down, with or without Ctrl
constexpr UINT DLGC_WANTTAB = 0x0002;
constexpr UINT DLGC_WANTALLKEYS = 0x0004;  // every other key: Escape, Backspace, Delete, Ctrl+letter
constexpr UINT DLGC_WANTCHARS = 0x0080;    // keys that type text, and their WM_CHAR
// Enter, a class of its own (no Win32 value): a dialog's filter may act on it
// first (move through a form, press the default button); an edit that does
// not claim it still gets it afterwards and notifies "return".
constexpr UINT DLGC_WANTRETURN = 0x1000;

// ------------------------------------------------------------ tree search
// Flags of CControlUI::FindControl. UIFIND_ALL visits everything; the others
// narrow the search. UIFIND_TOP_FIRST visits children last-to-first, which is
// the topmost-first order for hit testing; UIFIND_ME_FIRST asks a container
// to offer itself before its children.
constexpr UINT UIFIND_ALL = 0x00000000;
constexpr UINT UIFIND_VISIBLE = 0x00000001;
constexpr UINT UIFIND_ENABLED = 0x00000002;
constexpr UINT UIFIND_HITTEST = 0x00000004;   // data is a POINT*; only controls containing it
constexpr UINT UIFIND_TOP_FIRST = 0x00000008;
constexpr UINT UIFIND_ME_FIRST = 0x80000000;

// Called for every candidate control; answers the control when it matches,
// null to go on searching.
using FINDCONTROLPROC = CControlUI* (*)(CControlUI* control, void* data);

// ------------------------------------------------------------ events
struct TEventUI
{
    int Type = 0;                 // UIEVENT_*
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;        // GetTickCount() in milliseconds when the event was made
    POINT ptMouse = {0, 0};       // client coordinates
    char chKey = 0;               // the design's byte: a virtual key or the character's low byte
    char32_t character = 0;       // UIEVENT_CHAR: the whole Unicode code point
    WORD wKeyState = 0;           // MK_* bits at the time of the event
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// ------------------------------------------------------------ notifications
// Notification types the controls send; windows compare sType with them.
// "click"          a button was pressed and released on itself
// "selectchanged"  an option became selected or unselected
// "dbclick"        a control was double-clicked
// "valuechanging"  a slider's value is being dragged
// "valuechanged"   a slider's value was set by the user
// "menu"           context menu requested (right button released on the
//                  control that took the right press)
// "textchanged"    the user changed an edit's text (typing, deleting,
//                  pasting, undo, an input method's commit); SetText does not
//                  notify
// "return"         Enter was pressed in an edit
// Focus changes reach the controls as UIEVENT_SETFOCUS / UIEVENT_KILLFOCUS
// only; they are not notified.
struct TNotifyUI
{
    CStdString sType;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;        // GetTickCount() in milliseconds when the notification was made
    POINT ptMouse = {0, 0};       // client coordinates of the mouse at that time
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
