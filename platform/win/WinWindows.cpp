// The window calls of Win.h, in this order: classes; creation, destruction and
// default processing; window longs, owner and text; showing, enabling and
// focus; geometry; painting; mouse capture; and last the WinQt.h lookups
// between handles and widgets. The state itself lives in CNativeWindow.

#include "platform/win/Win.h"
#include "platform/win/WinQt.h"

#include "platform/win/MessageQueue.h"
#include "platform/win/NativeWindow.h"
#include "platform/win/WinApplication.h"
#include "platform/win/WinHandles.h"
#include "platform/win/WindowWidget.h"

#include <QPainter>
#include <QWindow>
#include <QScreen>
#include <QGuiApplication>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace
{
// Default size of an overlapped window created with CW_USEDEFAULT, in pixels;
// popups get 0 by 0 as in Win32.
constexpr int defaultWindowWidth = 640;
constexpr int defaultWindowHeight = 480;
// First atom handed to a registered class, as Win32 numbers them.
constexpr ATOM firstClassAtom = 0xC000;

struct CRegisteredClass
{
    WNDCLASS windowClass;
    std::string name;
    ATOM atom;
};

std::string FoldCase(const char* text)
{
    std::string folded = text != nullptr ? text : "";
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::map<std::string, CRegisteredClass>& Classes()
{
    static std::map<std::string, CRegisteredClass> classes;
    return classes;
}

RECT ToRect(const QRect& rect) { return RECT{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()}; }

// Copies UTF-8 text with a bound, never cutting a character in two.
int CopyText(const std::string& text, char* buffer, int size)
{
    if (buffer == nullptr || size <= 0)
        return 0;
    size_t length = std::min(text.size(), static_cast<size_t>(size - 1));
    while (length > 0 && length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}
}

ATOM RegisterClass(const WNDCLASS* windowClass)
{
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr || windowClass->lpszClassName[0] == '\0' ||
        IS_INTRESOURCE(windowClass->lpszClassName))
        return 0;
    auto& classes = Classes();
    std::string key = FoldCase(windowClass->lpszClassName);
    auto found = classes.find(key);
    if (found != classes.end())
    {
        // Registering the same class again is harmless (window bases register
        // on every Create); a different procedure or style under a taken name
        // is refused, as Win32 refuses any second registration.
        const WNDCLASS& known = found->second.windowClass;
        bool same = known.lpfnWndProc == windowClass->lpfnWndProc && known.style == windowClass->style;
        return same ? found->second.atom : 0;
    }
    ATOM atom = static_cast<ATOM>(firstClassAtom + classes.size());
    CRegisteredClass registered{*windowClass, windowClass->lpszClassName, atom};
    registered.windowClass.lpszClassName = nullptr;
    classes.emplace(key, registered);
    return atom;
}

UINT GetClassStyle(const char* className)
{
    if (className == nullptr || IS_INTRESOURCE(className))
        return 0;
    auto found = Classes().find(FoldCase(className));
    return found == Classes().end() ? 0 : found->second.windowClass.style;
}

HWND CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, void* menu, HINSTANCE instance, void* param)
{
    (void)menu;
    if (!CWinApplication::Ensure() || className == nullptr || IS_INTRESOURCE(className))
        return nullptr;
    auto found = Classes().find(FoldCase(className));
    if (found == Classes().end())
        return nullptr;
    if (parent != nullptr && CNativeWindow::Find(parent) == nullptr)
        return nullptr;
    const CRegisteredClass& registered = found->second;

    auto* window = new CNativeWindow(registered.windowClass, exStyle, style, parent);
    HWND handle = window->Handle();
    window->text = windowName != nullptr ? windowName : "";
    window->Widget()->setWindowTitle(QString::fromStdString(window->text));

    bool popup = (style & WS_POPUP) != 0;
    bool defaultPosition = x == CW_USEDEFAULT;
    if (defaultPosition)
        x = y = 0;
    if (width == CW_USEDEFAULT)
    {
        width = popup ? 0 : defaultWindowWidth;
        height = popup ? 0 : defaultWindowHeight;
    }
    // WM_SIZE and WM_MOVE wait until the window procedure has seen WM_CREATE.
    window->SetGeometry(QRect(x, y, std::max(0, width), std::max(0, height)), !defaultPosition, true, false);

    CREATESTRUCT create{param,         instance, parent, height, width, y, x, static_cast<LONG>(style),
                        windowName,    registered.name.c_str(), exStyle};
    LPARAM createParam = reinterpret_cast<LPARAM>(&create);
    if (window->Send(WM_NCCREATE, 0, createParam) == FALSE)
    {
        DestroyWindow(handle);
        return nullptr;
    }
    if (CNativeWindow::Find(handle) == nullptr)
        return nullptr;
    if (window->Send(WM_CREATE, 0, createParam) == -1)
    {
        DestroyWindow(handle);
        return nullptr;
    }
    if (CNativeWindow::Find(handle) == nullptr)
        return nullptr;
    window->ReportGeometry();
    if (CNativeWindow::Find(handle) == nullptr)
        return nullptr;
    if (style & WS_VISIBLE)
        window->ShowWhenIdle();
    return handle;
}

BOOL DestroyWindow(HWND window)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return FALSE;
    native->Destroy();
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    if (window == nullptr)
        return FALSE;
    return CMessageQueue::Instance().IsLive(window) ? TRUE : FALSE;
}

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return 0;
    switch (message)
    {
    case WM_NCCREATE:
        return TRUE;
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_NCACTIVATE:
        return TRUE;
    case WM_ERASEBKGND:
        return 1;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0)
        {
        case SC_CLOSE: native->Send(WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: native->Show(SW_MINIMIZE); break;
        case SC_RESTORE: native->Show(SW_RESTORE); break;
        case SC_MAXIMIZE: native->Show(SW_SHOWMAXIMIZED); break;
        case SC_MOVE:
            if (QWindow* handle = native->Widget()->windowHandle())
                handle->startSystemMove();
            break;
        default: break;
        }
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4)
            native->Send(WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SETTEXT:
    {
        const char* text = reinterpret_cast<const char*>(lParam);
        native->text = text != nullptr ? text : "";
        native->Widget()->setWindowTitle(QString::fromStdString(native->text));
        return TRUE;
    }
    case WM_SETICON:
    {
        HICON icon = reinterpret_cast<HICON>(lParam);
        if (icon != nullptr && !IsLiveIcon(icon))
            return 0;
        HICON& slot = wParam == ICON_BIG ? native->bigIcon : native->smallIcon;
        HICON previous = slot;
        slot = icon;
        native->ApplyIcons();
        return reinterpret_cast<LRESULT>(previous);
    }
    default:
        return 0;
    }
}

LRESULT CallWindowProc(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (procedure == nullptr)
        return 0;
    return procedure(window, message, wParam, lParam);
}

LONG GetWindowLong(HWND window, int index)
{
    return static_cast<LONG>(GetWindowLongPtr(window, index));
}

LONG SetWindowLong(HWND window, int index, LONG value)
{
    if (index == GWL_STYLE || index == GWL_EXSTYLE)
        return static_cast<LONG>(SetWindowLongPtr(window, index, static_cast<std::intptr_t>(static_cast<DWORD>(value))));
    return static_cast<LONG>(SetWindowLongPtr(window, index, value));
}

std::intptr_t GetWindowLongPtr(HWND window, int index)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return 0;
    switch (index)
    {
    case GWL_STYLE: return static_cast<std::intptr_t>(native->Style());
    case GWL_EXSTYLE: return static_cast<std::intptr_t>(native->ExStyle());
    case GWLP_USERDATA: return native->userData;
    default: return 0;
    }
}

std::intptr_t SetWindowLongPtr(HWND window, int index, std::intptr_t value)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return 0;
    std::intptr_t previous = GetWindowLongPtr(window, index);
    switch (index)
    {
    case GWL_STYLE: native->SetStyle(static_cast<DWORD>(value)); break;
    case GWL_EXSTYLE: native->SetExStyle(static_cast<DWORD>(value)); break;
    case GWLP_USERDATA: native->userData = value; break;
    default: return 0;
    }
    return previous;
}

HWND GetParent(HWND window)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return nullptr;
    // As in Win32: a popup reports its owner, an overlapped window none.
    return (native->Style() & WS_POPUP) ? native->parent : nullptr;
}

HWND GetWindow(HWND window, UINT relation)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr || relation != GW_OWNER)
        return nullptr;
    return native->parent;
}

BOOL SetWindowText(HWND window, const char* text)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return FALSE;
    return native->Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

int GetWindowText(HWND window, char* buffer, int size)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
    {
        if (buffer != nullptr && size > 0)
            buffer[0] = '\0';
        return 0;
    }
    return CopyText(native->text, buffer, size);
}

BOOL ShowWindow(HWND window, int command)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    return native != nullptr ? native->Show(command) : FALSE;
}

BOOL IsWindowVisible(HWND window)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    return native != nullptr && native->IsVisible() ? TRUE : FALSE;
}

BOOL IsIconic(HWND window)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    return native != nullptr && native->IsMinimised() ? TRUE : FALSE;
}

BOOL EnableWindow(HWND window, BOOL enable)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    return native != nullptr ? native->Enable(enable != FALSE) : FALSE;
}

BOOL IsWindowEnabled(HWND window)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    return native != nullptr && native->Widget()->isEnabled() ? TRUE : FALSE;
}

BOOL SetForegroundWindow(HWND window)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return FALSE;
    native->Raise();
    native->Widget()->activateWindow();
    return TRUE;
}

HWND GetForegroundWindow()
{
    return CNativeWindow::Find(CNativeWindow::focusWindow) != nullptr ? CNativeWindow::focusWindow : nullptr;
}

HWND SetFocus(HWND window)
{
    HWND previous = GetFocus();
    if (window == nullptr)
        return previous;
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return nullptr;
    // The platform reports the change back through Qt's focus tracking,
    // which sends WM_KILLFOCUS and WM_SETFOCUS.
    native->Widget()->activateWindow();
    native->Widget()->setFocus(Qt::OtherFocusReason);
    return previous;
}

HWND GetFocus()
{
    return GetForegroundWindow();
}

HWND GetActiveWindow()
{
    return GetForegroundWindow();
}

BOOL GetWindowRect(HWND window, RECT* rect)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr || rect == nullptr)
        return FALSE;
    *rect = ToRect(native->Geometry());
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr || rect == nullptr)
        return FALSE;
    QRect geometry = native->Geometry();
    *rect = RECT{0, 0, geometry.width(), geometry.height()};
    return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr || point == nullptr)
        return FALSE;
    QPoint origin = native->Geometry().topLeft();
    point->x -= origin.x();
    point->y -= origin.y();
    return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr || point == nullptr)
        return FALSE;
    QPoint origin = native->Geometry().topLeft();
    point->x += origin.x();
    point->y += origin.y();
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return FALSE;
    native->SetGeometry(QRect(x, y, width, height), true, true);
    if (repaint)
        native->Invalidate(nullptr);
    return TRUE;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return FALSE;
    if (!(flags & SWP_NOZORDER))
    {
        if (insertAfter == HWND_TOPMOST)
            native->SetTopmost(true);
        else if (insertAfter == HWND_NOTOPMOST)
            native->SetTopmost(false);
        else if (insertAfter == HWND_TOP)
            native->Raise();
    }
    bool move = !(flags & SWP_NOMOVE);
    bool resize = !(flags & SWP_NOSIZE);
    if (move || resize)
        native->SetGeometry(QRect(x, y, width, height), move, resize);
    if (CNativeWindow::Find(window) == nullptr)
        return TRUE;
    if (flags & SWP_SHOWWINDOW)
        native->Show((flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    else if (flags & SWP_HIDEWINDOW)
        native->Show(SW_HIDE);
    return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase)
{
    (void)erase;
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return FALSE;
    if (rect == nullptr)
    {
        native->Invalidate(nullptr);
    }
    else
    {
        QRect area(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
        if (!area.isEmpty())
            native->Invalidate(&area);
    }
    return TRUE;
}

BOOL UpdateWindow(HWND window)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return FALSE;
    native->Update();
    return TRUE;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr || paint == nullptr)
        return nullptr;
    paint->hdc = native->PaintPainter();
    paint->fErase = FALSE;
    paint->rcPaint = paint->hdc != nullptr ? ToRect(native->PaintRect()) : RECT{0, 0, 0, 0};
    return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint)
{
    (void)paint;
    return CNativeWindow::Find(window) != nullptr ? TRUE : FALSE;
}

BOOL PrintWindow(HWND window, HDC target, UINT flags)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr || target == nullptr)
        return FALSE;
    native->Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(target), static_cast<LPARAM>(flags));
    return TRUE;
}

HWND SetCapture(HWND window)
{
    HWND previous = GetCapture();
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr)
        return previous;
    if (previous == window)
        return previous;
    if (CNativeWindow* old = CNativeWindow::Find(previous))
    {
        old->Widget()->releaseMouse();
        old->Send(WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
    }
    CNativeWindow::captureWindow = window;
    native->Widget()->grabMouse();
    return previous;
}

BOOL ReleaseCapture()
{
    HWND previous = GetCapture();
    CNativeWindow::captureWindow = nullptr;
    if (CNativeWindow* old = CNativeWindow::Find(previous))
    {
        old->Widget()->releaseMouse();
        old->Send(WM_CAPTURECHANGED, 0, 0);
    }
    return TRUE;
}

HWND GetCapture()
{
    return CNativeWindow::Find(CNativeWindow::captureWindow) != nullptr ? CNativeWindow::captureWindow : nullptr;
}

QWidget* WidgetFromHwnd(HWND window)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    return native != nullptr ? native->Widget() : nullptr;
}

HWND HwndFromWidget(QWidget* widget)
{
    if (widget == nullptr || !CWinApplication::OnGuiThread())
        return nullptr;
    auto* windowWidget = dynamic_cast<CWindowWidget*>(widget->window());
    if (windowWidget == nullptr || windowWidget->Owner() == nullptr)
        return nullptr;
    return windowWidget->Owner()->Handle();
}
