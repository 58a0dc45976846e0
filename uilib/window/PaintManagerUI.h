#pragma once

// CPaintManagerUI: one per window. It owns the window's control tree (the
// root given to AttachDialog), paints it on WM_PAINT / WM_PRINTCLIENT, lays it
// out on WM_SIZE, turns mouse, keyboard, focus and timer messages into
// control events, and delivers the controls' notifications to the window's
// notifiers. Its static half holds what belongs to the process: the instance,
// the instance path, the resource folder and archive, the message loop and
// the list of every live manager (for the pre-message filters).
//
// Everything here belongs to the GUI thread.

#include "platform/win/Win.h"
#include "uilib/core/StdPtrArray.h"
#include "uilib/core/StdString.h"
#include "uilib/window/ControlObserver.h"
#include "uilib/window/UIDefines.h"
#include "uilib/window/UIInterfaces.h"

#include <memory>

class CControlUI;
class CFocusManager;

// A font of a manager's font list, as the layout or AddFont described it.
// HFONT is its handle; the render engine makes the real font from it.
struct TFontInfo
{
    CStdString face;
    int size = 12;          // pixels
    bool bold = false;
    bool underline = false;
    bool italic = false;
};
using HFONT = TFontInfo*;

// Private message that carries the asynchronous notification queue; windows
// must not use this id for their own messages.
constexpr UINT UIMSG_ASYNCNOTIFY = WM_APP + 0x0DA1;

class CPaintManagerUI
{
public:
    CPaintManagerUI();
    ~CPaintManagerUI();
    CPaintManagerUI(const CPaintManagerUI&) = delete;
    CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

    // ---------------------------------------------------------- process
    static void SetInstance(HINSTANCE instance);
    static HINSTANCE GetInstance();
    // Folder of the executable, with a trailing '/'.
    static CStdString GetInstancePath();
    // Overrides the instance path (tests and tools run from other folders).
    static void SetInstancePath(const char* path);
    // Folder of layouts and images; a trailing '/' is added when missing.
    static void SetResourcePath(const char* path);
    static CStdString GetResourcePath();
    // Archive (a zip file inside the resource folder) tried when a resource
    // is not in the folder; `cache` keeps its directory in memory.
    static void SetResourceZip(const char* name, bool cache);
    static CStdString GetResourceZip();
    // Reads a resource, folder first, then the archive. False when absent.
    static bool ReadResource(const char* name, CStdString& data);

    // Runs GetMessage / TranslateMessage / DispatchMessage until WM_QUIT and
    // answers the exit code WM_QUIT carried.
    static int MessageLoop();
    // Offers the message to the pre-message filters of every manager whose
    // window is the message's window or one of its ancestors; true when one
    // of them handled it (the loop then skips dispatching it).
    static bool TranslateMessage(const MSG* message);

    // The manager of a window, null when none is attached to it.
    static CPaintManagerUI* FromWindow(HWND window);

    // ---------------------------------------------------------- window
    // Attaches the manager to its window; it then answers the window's input
    // method queries for the focused control (uilib/window/InputMethodBridge.h).
    void Init(HWND window);
    HWND GetPaintWindow() const;

    void AddPreMessageFilter(IMessageFilterUI* filter);
    void RemovePreMessageFilter(IMessageFilterUI* filter);
    void AddNotifier(INotifyUI* notifier);
    void RemoveNotifier(INotifyUI* notifier);

    // Takes ownership of the tree, attaches every control to this manager,
    // and sizes the window to the initial size when it has no size yet.
    // Answers false for a null root (the window stays empty).
    bool AttachDialog(CControlUI* root);
    CControlUI* GetRoot() const;

    // The window's messages, before default processing: answers true when
    // the manager took the message, with its result in `result`.
    bool MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Whether a message of this manager is being handled or a notification
    // delivered right now (removed controls are then deleted afterwards).
    bool IsDispatching() const;

    // ---------------------------------------------------------- controls
    // The control of that name, null when absent.
    CControlUI* FindControl(const char* name) const;
    // The topmost visible, mouse-enabled control at the point (client
    // coordinates), null when none.
    CControlUI* FindControl(POINT point) const;

    // A control leaves the tree: forget it as focus, hot, pressed and
    // captured control, drop its queued notifications, timers and option
    // group memberships. Called for every control of a removed subtree.
    void ReapObjects(CControlUI* control);
    // Deletes the control once no message or notification is being handled
    // (at once when none is). The control must already be out of the tree.
    void DelayedDelete(CControlUI* control);

    void Invalidate(const RECT& rect);
    void Invalidate();
    // Lays the tree out again before the next paint or hit test, and
    // repaints the whole window.
    void NeedUpdate();
    // Lays the tree out again before the next paint or hit test; only `area`
    // (the container whose children change) is repainted at once, and the
    // layout repaints whatever it moves.
    void NeedUpdate(const RECT& area);
    // Lays the tree out now when something asked for it (NeedUpdate) or the
    // client area changed size.
    void UpdateLayout();

    CControlUI* GetFocus() const;
    // Moves keyboard focus to the control (null clears it), sending
    // UIEVENT_KILLFOCUS / UIEVENT_SETFOCUS and "killfocus" / "setfocus".
    void SetFocus(CControlUI* control);
    // Whether the focus ring shows: a control has the focus and the keyboard
    // put it there (uilib/window/FocusManager.h).
    bool IsFocusVisible() const;
    // Where the keys move the focus, and the ring's look.
    CFocusManager& GetFocusManager();
    void SetCapture();
    void ReleaseCapture();
    bool IsCaptured() const;
    CControlUI* GetHotControl() const;

    // Timers of a control: WM_TIMER of the window becomes UIEVENT_TIMER with
    // the id in wParam. Elapse in milliseconds.
    bool SetTimer(CControlUI* control, UINT timerId, UINT elapse);
    bool KillTimer(CControlUI* control, UINT timerId);
    void KillTimer(CControlUI* control);

    // ---------------------------------------------------------- notifications
    // Synchronous: every notifier is called before this returns. Asynchronous:
    // queued and delivered from the message loop; dropped when the control is
    // destroyed or removed before that.
    void SendNotify(CControlUI* control, const char* type, WPARAM wParam = 0, LPARAM lParam = 0,
                    bool async = false);
    void SendNotify(TNotifyUI& msg, bool async = false);
    // Presses the control as the keyboard (Enter, Space) and a screen
    // reader's press action do: Activate() as a click would (a button
    // notifies "click", an option is chosen), then "itemactivate", which
    // asks for what a double-click on it does (a station option plays).
    // False when the control is hidden, disabled or not in this window.
    bool PressControl(CControlUI* control);

    // ---------------------------------------------------------- observers
    // Observers of the controls' changes (uilib/window/ControlObserver.h);
    // the window's accessibility tree is one, made by Init.
    void AddControlObserver(IControlObserverUI* observer);
    void RemoveControlObserver(IControlObserverUI* observer);
    // Called by a control attached to this manager when it changed.
    void NotifyControlChanged(CControlUI* control, EControlChange change);

    // ---------------------------------------------------------- window look
    // Caption band: left/right are insets from the client's sides, top/bottom
    // client y coordinates.
    RECT GetCaptionRect() const;
    void SetCaptionRect(const RECT& rect);
    // Corner ellipse of the rounded window region in pixels; 0,0 is square.
    SIZE GetRoundCorner() const;
    void SetRoundCorner(int width, int height);
    SIZE GetInitSize() const;
    void SetInitSize(int width, int height);
    SIZE GetMinInfo() const;
    void SetMinInfo(int width, int height);
    SIZE GetMaxInfo() const;
    void SetMaxInfo(int width, int height);

    // ---------------------------------------------------------- fonts
    // Appends a font to the list; the handle stays valid as long as the manager.
    HFONT AddFont(const char* face, int size, bool bold, bool underline, bool italic);
    // Index of the font in this manager's list, -1 when it is not there.
    int GetFontIndex(HFONT font) const;
    // The font of an index; the default font for -1 or an index out of range.
    HFONT GetFont(int index) const;
    int GetFontCount() const;
    HFONT GetDefaultFont() const;
    void SetDefaultFont(const char* face, int size, bool bold, bool underline, bool italic);

    // Colours (0xAARRGGBB) controls use when their layout gives none.
    DWORD GetDefaultFontColor() const;
    void SetDefaultFontColor(DWORD argb);
    DWORD GetDefaultDisabledColor() const;
    void SetDefaultDisabledColor(DWORD argb);

    // ---------------------------------------------------------- option groups
    // Options of a group in insertion order; adding one twice keeps one entry.
    bool AddOptionGroup(const char* group, CControlUI* control);
    void RemoveOptionGroup(const char* group, CControlUI* control);
    // The options of the group, null when the group has none.
    CStdPtrArray* GetOptionGroup(const char* group);
    // Position of the selected option in its group, negative when none is.
    int GetGroupSelectedIndex(const char* group);
    void RemoveAllOptionGroups();

private:
    void SendEvent(CControlUI* control, int type, POINT point, WPARAM wParam, LPARAM lParam);

    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};
