#pragma once

// One window of the window layer: its Win32 state (class, procedure, styles,
// user data, text, region, icons, minimised state) and the frameless Qt
// widget that shows it. Handles are numbers handed out once and never reused,
// so a handle kept after DestroyWindow can never reach a newer window.
// Everything here runs on the GUI thread.

#include "platform/win/Win.h"

#include <QPoint>
#include <QRect>
#include <QSize>

#include <map>
#include <string>
#include <vector>

class CWindowWidget;
class IWindowClient;
class QPainter;
class QWindow;

class CNativeWindow
{
public:
    CNativeWindow(const WNDCLASS& windowClass, DWORD exStyle, DWORD style, HWND parent);
    ~CNativeWindow();
    CNativeWindow(const CNativeWindow&) = delete;
    CNativeWindow& operator=(const CNativeWindow&) = delete;

    // The window behind a handle; null for a destroyed or foreign handle and
    // on any thread but the GUI thread.
    static CNativeWindow* Find(HWND window);
    static CNativeWindow* FromQWindow(const QWindow* window);
    static std::vector<CNativeWindow*> All();

    HWND Handle() const { return handle; }
    CWindowWidget* Widget() const { return widget; }
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);

    // Styles as Win32 reports them: WS_VISIBLE, WS_DISABLED and WS_MINIMIZE
    // follow the window's real state.
    DWORD Style() const;
    void SetStyle(DWORD newStyle);
    DWORD ExStyle() const { return exStyle; }
    void SetExStyle(DWORD newExStyle);
    void SetTopmost(bool topmost);
    std::intptr_t userData = 0;
    UINT classStyle = 0;
    HWND parent = nullptr;
    std::string text;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    // Answers the widget's synchronous questions (SetWindowClient); null
    // when nobody registered.
    IWindowClient* client = nullptr;

    BOOL Show(int command);
    // WS_VISIBLE at creation: the window counts as shown at once (it has had
    // WM_SHOWWINDOW, IsWindowVisible answers TRUE), but reaches the screen
    // only at the next ShowWindow or when the thread next takes its events.
    // A window placed in between (CenterWindow) is then mapped where it
    // belongs, instead of being mapped at the origin and moved, which makes
    // the X server copy its whole area.
    void ShowWhenIdle();
    bool IsVisible() const;
    bool IsMinimised() const { return minimised; }
    // Called when the platform minimises or restores the window by itself.
    void OnPlatformMinimised(bool nowMinimised);
    BOOL Enable(bool enable);

    QRect Geometry() const;
    void SetGeometry(const QRect& geometry, bool move, bool resize, bool report = true);
    // Brings the window to the top of the stacking order where the platform can.
    void Raise();
    // Sends WM_SIZE and WM_MOVE for what changed since they were last sent;
    // geometry changes from our calls and from the platform both land here.
    void ReportGeometry();

    // WM_PAINT: the painter and rectangle of the paint event in progress.
    void BeginPaintScope(QPainter* painter, const QRect& rect);
    void EndPaintScope();
    QPainter* PaintPainter() const { return paintPainter; }
    QRect PaintRect() const { return paintRect; }
    void Invalidate(const QRect* rect);
    void Update();

    int SetRegion(HRGN region, bool redraw);
    HRGN Region() const { return region; }
    void ApplyIcons();

    // Destroys owned windows first, then sends WM_DESTROY and WM_NCDESTROY
    // and frees this object.
    void Destroy();

    static HWND focusWindow;
    static HWND captureWindow;
    static void OnFocusWindowChanged(QWindow* window);
    // Moves the keyboard focus as Win32 does: the old window is deactivated
    // and loses the focus to the new one, then the new one is activated and
    // gains it from the old one.
    static void MoveFocus(HWND newFocus);

private:
    HWND handle = nullptr;
    WNDPROC procedure = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    CWindowWidget* widget = nullptr;
    HRGN region = nullptr;
    bool minimised = false;
    bool showPending = false;
    bool destroying = false;
    bool geometryReported = false;
    QPoint reportedPosition;
    QSize reportedSize;
    // Our own idea of the size: Qt will not keep a top-level widget at 0x0,
    // which is the size windows are created with before their layout sizes them.
    QSize size;
    QPainter* paintPainter = nullptr;
    QRect paintRect;

    static std::map<std::uintptr_t, CNativeWindow*>& Registry();
};
