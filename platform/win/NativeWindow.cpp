#include "platform/win/NativeWindow.h"

#include "platform/win/MessageQueue.h"
#include "platform/win/TimerTable.h"
#include "platform/win/WinApplication.h"
#include "platform/win/WinHandles.h"
#include "platform/win/WinQt.h"
#include "platform/win/WindowWidget.h"

#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

HWND CNativeWindow::focusWindow = nullptr;
HWND CNativeWindow::captureWindow = nullptr;

namespace
{
// Handles are multiples of 16 from here on, far from null and from the
// special insert-after values -1 and -2, and never reused.
constexpr std::uintptr_t firstHandle = 0x10000;
constexpr std::uintptr_t handleStep = 0x10;
std::uintptr_t nextHandle = firstHandle;

QSize AtLeastOnePixel(const QSize& size) { return QSize(std::max(1, size.width()), std::max(1, size.height())); }
}

std::map<std::uintptr_t, CNativeWindow*>& CNativeWindow::Registry()
{
    static std::map<std::uintptr_t, CNativeWindow*> registry;
    return registry;
}

CNativeWindow::CNativeWindow(const WNDCLASS& windowClass, DWORD exStyle, DWORD style, HWND parent)
    : classStyle(windowClass.style), parent(parent), procedure(windowClass.lpfnWndProc), style(style & ~WS_VISIBLE),
      exStyle(exStyle)
{
    handle = reinterpret_cast<HWND>(nextHandle);
    nextHandle += handleStep;
    Registry()[reinterpret_cast<std::uintptr_t>(handle)] = this;
    CMessageQueue::Instance().AddWindow(handle);

    Qt::WindowFlags flags = (exStyle & WS_EX_TOOLWINDOW) ? Qt::Tool : Qt::Window;
    flags |= Qt::FramelessWindowHint;
    if (exStyle & WS_EX_TOPMOST)
        flags |= Qt::WindowStaysOnTopHint;
    widget = new CWindowWidget(this, flags);
    if (CNativeWindow* owner = Find(parent))
    {
        // Owned, not a Qt child: disabling the owner for a modal run must not
        // disable the dialog with it.
        widget->winId();
        owner->widget->winId();
        widget->windowHandle()->setTransientParent(owner->widget->windowHandle());
    }
    if (style & WS_DISABLED)
        widget->setEnabled(false);
}

CNativeWindow::~CNativeWindow()
{
    if (widget != nullptr)
        widget->Detach();
    if (region != nullptr)
    {
        region->ownedByWindow = false;
        DeleteObject(region);
    }
}

CNativeWindow* CNativeWindow::Find(HWND window)
{
    if (window == nullptr || !CWinApplication::OnGuiThread())
        return nullptr;
    auto& registry = Registry();
    auto found = registry.find(reinterpret_cast<std::uintptr_t>(window));
    return found == registry.end() ? nullptr : found->second;
}

CNativeWindow* CNativeWindow::FromQWindow(const QWindow* window)
{
    if (window == nullptr)
        return nullptr;
    for (auto& [id, native] : Registry())
        if (native->widget != nullptr && native->widget->windowHandle() == window)
            return native;
    return nullptr;
}

std::vector<CNativeWindow*> CNativeWindow::All()
{
    std::vector<CNativeWindow*> all;
    for (auto& [id, native] : Registry())
        all.push_back(native);
    return all;
}

LRESULT CNativeWindow::Send(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (procedure == nullptr)
        return DefWindowProc(handle, message, wParam, lParam);
    return procedure(handle, message, wParam, lParam);
}

DWORD CNativeWindow::Style() const
{
    DWORD current = style & ~(WS_VISIBLE | WS_DISABLED | WS_MINIMIZE);
    if (widget != nullptr && IsVisible())
        current |= WS_VISIBLE;
    if (widget != nullptr && !widget->isEnabled())
        current |= WS_DISABLED;
    if (minimised)
        current |= WS_MINIMIZE;
    return current;
}

void CNativeWindow::SetStyle(DWORD newStyle)
{
    DWORD old = Style();
    style = newStyle;
    if ((old ^ newStyle) & WS_DISABLED)
        Enable((newStyle & WS_DISABLED) == 0);
    if ((old ^ newStyle) & WS_VISIBLE)
        Show((newStyle & WS_VISIBLE) ? SW_SHOWNA : SW_HIDE);
}

void CNativeWindow::SetExStyle(DWORD newExStyle)
{
    bool topmostChanged = ((exStyle ^ newExStyle) & WS_EX_TOPMOST) != 0;
    exStyle = newExStyle;
    if (topmostChanged)
        SetTopmost((newExStyle & WS_EX_TOPMOST) != 0);
}

void CNativeWindow::SetTopmost(bool topmost)
{
    if (topmost)
        exStyle |= WS_EX_TOPMOST;
    else
        exStyle &= ~WS_EX_TOPMOST;
    if (widget->testAttribute(Qt::WA_WState_Created) && widget->windowHandle() != nullptr)
    {
        // Changing a hint through the native window keeps a shown window on
        // screen; QWidget::setWindowFlag would hide it first.
        QWindow* window = widget->windowHandle();
        window->setFlag(Qt::WindowStaysOnTopHint, topmost);
        widget->overrideWindowFlags(window->flags());
    }
    else
    {
        widget->setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    }
    if (topmost && widget->isVisible())
        Raise();
}

bool CNativeWindow::IsVisible() const
{
    return showPending || widget->isVisible();
}

void CNativeWindow::ShowWhenIdle()
{
    if (IsVisible())
        return;
    Send(WM_SHOWWINDOW, TRUE, 0);
    showPending = true;
    // By handle: handles are never reused, and the window may be gone.
    QTimer::singleShot(0, widget, [window = handle] {
        CNativeWindow* native = Find(window);
        if (native != nullptr && native->showPending)
            native->Show(SW_SHOW);
    });
}

BOOL CNativeWindow::Show(int command)
{
    BOOL wasVisible = IsVisible() ? TRUE : FALSE;
    // A pending show ends here, either way; WM_SHOWWINDOW was sent for it.
    showPending = false;
    switch (command)
    {
    case SW_HIDE:
        if (wasVisible)
        {
            Send(WM_SHOWWINDOW, FALSE, 0);
            widget->hide();
        }
        return wasVisible;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        if (!wasVisible)
            Send(WM_SHOWWINDOW, TRUE, 0);
        if (!minimised)
        {
            minimised = true;
            widget->showMinimized();
            Send(WM_SIZE, SIZE_MINIMIZED, 0);
        }
        return wasVisible;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWMAXIMIZED:
    case SW_SHOW:
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE:
    default:
    {
        bool activate = command != SW_SHOWNA && command != SW_SHOWNOACTIVATE;
        if (!wasVisible)
            Send(WM_SHOWWINDOW, TRUE, 0);
        widget->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
        bool restore = command == SW_SHOWNORMAL || command == SW_RESTORE || command == SW_SHOWNOACTIVATE;
        if (command == SW_SHOWMAXIMIZED)
        {
            widget->showMaximized();
        }
        else if (minimised && restore)
        {
            minimised = false;
            widget->showNormal();
            QSize current = size;
            Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(current.width(), current.height()));
        }
        else
        {
            widget->show();
        }
        if (activate)
        {
            Raise();
            widget->activateWindow();
        }
        return wasVisible;
    }
    }
}

void CNativeWindow::Raise()
{
    // The offscreen platform of the tests cannot stack windows and warns on
    // every attempt.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        widget->raise();
}

void CNativeWindow::OnPlatformMinimised(bool nowMinimised)
{
    if (nowMinimised == minimised)
        return;
    minimised = nowMinimised;
    if (minimised)
        Send(WM_SIZE, SIZE_MINIMIZED, 0);
    else
        Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(size.width(), size.height()));
}

BOOL CNativeWindow::Enable(bool enable)
{
    bool wasDisabled = !widget->isEnabled();
    if (wasDisabled == !enable)
        return wasDisabled ? TRUE : FALSE;
    widget->setEnabled(enable);
    if (!enable && captureWindow == handle)
        ReleaseCapture();
    Send(WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

QRect CNativeWindow::Geometry() const
{
    QRect geometry = widget->geometry();
    return QRect(geometry.topLeft(), size);
}

void CNativeWindow::SetGeometry(const QRect& geometry, bool move, bool resize, bool report)
{
    if (resize)
        size = QSize(std::max(0, geometry.width()), std::max(0, geometry.height()));
    if (move && resize)
        widget->setGeometry(QRect(geometry.topLeft(), AtLeastOnePixel(size)));
    else if (move)
        widget->move(geometry.topLeft());
    else if (resize)
        widget->resize(AtLeastOnePixel(size));
    if (report)
        ReportGeometry();
}

void CNativeWindow::ReportGeometry()
{
    if (widget == nullptr || destroying)
        return;
    QRect actual = widget->geometry();
    // The platform (a window manager, a maximise) changed the size: believe it.
    if (actual.size() != AtLeastOnePixel(size))
        size = actual.size();
    bool sizeChanged = !geometryReported || size != reportedSize;
    bool positionChanged = !geometryReported || actual.topLeft() != reportedPosition;
    geometryReported = true;
    reportedSize = size;
    reportedPosition = actual.topLeft();
    if (sizeChanged && !minimised)
    {
        WPARAM kind = (widget->windowState() & Qt::WindowMaximized) ? SIZE_MAXIMIZED : SIZE_RESTORED;
        Send(WM_SIZE, kind, MAKELPARAM(size.width(), size.height()));
    }
    if (positionChanged && Find(handle) == this)
        Send(WM_MOVE, 0, MAKELPARAM(actual.x(), actual.y()));
}

void CNativeWindow::BeginPaintScope(QPainter* painter, const QRect& rect)
{
    paintPainter = painter;
    paintRect = rect;
}

void CNativeWindow::EndPaintScope()
{
    paintPainter = nullptr;
    paintRect = QRect();
}

void CNativeWindow::Invalidate(const QRect* rect)
{
    if (rect == nullptr)
        widget->update();
    else
        widget->update(*rect);
}

void CNativeWindow::Update()
{
    // A repaint from inside WM_PAINT would recurse into the paint event.
    if (paintPainter == nullptr && widget->isVisible())
        widget->repaint();
}

int CNativeWindow::SetRegion(HRGN newRegion, bool redraw)
{
    if (region != nullptr && region != newRegion)
    {
        region->ownedByWindow = false;
        DeleteObject(region);
    }
    region = newRegion;
    if (region == nullptr)
    {
        widget->clearMask();
    }
    else
    {
        region->ownedByWindow = true;
        widget->setMask(region->region);
    }
    if (redraw)
        widget->update();
    return 1;
}

void CNativeWindow::ApplyIcons()
{
    // A desktop draws a window's icon (title bar, task bar, window switcher)
    // at 16 to 48 pixels, times its scale on a dense screen, and takes larger
    // ones from the icon theme. Every picture given here travels to the X
    // server with the window: a 256-pixel one is a quarter of a megabyte at
    // every start, so the largest sent is 48 pixels per whole step of scale.
    constexpr int largestPixelsAtOne = 48;
    const int largestPixels =
        largestPixelsAtOne * std::max(1, static_cast<int>(std::ceil(widget->devicePixelRatioF() - 1e-3)));
    QIcon icon;
    // One picture per size: the large icon's comes first, the small icon's
    // of the same size would only repeat it.
    std::set<std::pair<int, int>> given;
    auto add = [&icon, &given](const QPixmap& pixmap) {
        if (pixmap.isNull() || !given.insert({pixmap.width(), pixmap.height()}).second)
            return false;
        icon.addPixmap(pixmap);
        return true;
    };
    for (HICON source : {bigIcon, smallIcon})
    {
        if (source == nullptr || !IsLiveIcon(source))
            continue;
        bool added = false;
        for (const QSize& available : source->icon.availableSizes())
        {
            if (available.width() > largestPixels || available.height() > largestPixels)
                continue;
            // At the picture's own size: on a dense screen a QIcon's pixmap(size)
            // would answer a larger picture, and the sizes would collide.
            added = add(source->icon.pixmap(available, 1.0)) || added;
        }
        // Only larger pictures, or a scalable icon: one made at the largest
        // size of one step of scale (as at every scale before).
        if (!added)
            add(source->icon.pixmap(QSize(largestPixelsAtOne, largestPixelsAtOne), 1.0));
    }
    widget->setWindowIcon(icon);
}

void CNativeWindow::Destroy()
{
    if (destroying)
        return;
    destroying = true;
    // Owned windows go first, as their owner's handle is still valid then.
    std::vector<HWND> owned;
    for (CNativeWindow* other : All())
        if (other != this && other->parent == handle)
            owned.push_back(other->handle);
    for (HWND ownedWindow : owned)
        if (CNativeWindow* other = Find(ownedWindow))
            other->Destroy();

    CTimerTable::Instance().KillAll(handle);
    if (captureWindow == handle)
        ReleaseCapture();
    // A handler that pumps events during the teardown must not map it now.
    showPending = false;
    if (widget->isVisible())
        widget->hide();
    if (focusWindow == handle)
    {
        focusWindow = nullptr;
        Send(WM_NCACTIVATE, FALSE, 0);
        Send(WM_ACTIVATE, WA_INACTIVE, 0);
        Send(WM_KILLFOCUS, 0, 0);
    }
    Send(WM_DESTROY, 0, 0);
    Send(WM_NCDESTROY, 0, 0);

    // Messages posted while it was dying go with it.
    CTimerTable::Instance().KillAll(handle);
    CMessageQueue::Instance().RemoveWindow(handle);
    Registry().erase(reinterpret_cast<std::uintptr_t>(handle));
    for (CNativeWindow* other : All())
        if (other->parent == handle)
            other->parent = nullptr;
    delete this;
}

void CNativeWindow::OnFocusWindowChanged(QWindow* window)
{
    CNativeWindow* native = FromQWindow(window);
    MoveFocus(native != nullptr ? native->handle : nullptr);
}

void CNativeWindow::MoveFocus(HWND newFocus)
{
    HWND oldFocus = focusWindow;
    if (oldFocus == newFocus)
        return;
    focusWindow = newFocus;
    LPARAM oldParam = reinterpret_cast<LPARAM>(oldFocus);
    LPARAM newParam = reinterpret_cast<LPARAM>(newFocus);
    if (CNativeWindow* old = Find(oldFocus))
    {
        old->Send(WM_NCACTIVATE, FALSE, 0);
        if (CNativeWindow* still = Find(oldFocus))
            still->Send(WM_ACTIVATE, WA_INACTIVE | (still->minimised ? 0x10000 : 0), newParam);
    }
    if (CNativeWindow* next = Find(newFocus))
    {
        next->Send(WM_NCACTIVATE, TRUE, 0);
        if (CNativeWindow* still = Find(newFocus))
            still->Send(WM_ACTIVATE, WA_ACTIVE | (still->minimised ? 0x10000 : 0), oldParam);
    }
    if (CNativeWindow* old = Find(oldFocus))
        old->Send(WM_KILLFOCUS, reinterpret_cast<WPARAM>(Find(newFocus) != nullptr ? newFocus : nullptr), 0);
    if (focusWindow != newFocus)
        return;
    if (CNativeWindow* next = Find(newFocus))
        next->Send(WM_SETFOCUS, reinterpret_cast<WPARAM>(Find(oldFocus) != nullptr ? oldFocus : nullptr), 0);
}

void SetWindowClient(HWND window, IWindowClient* client)
{
    if (CNativeWindow* native = CNativeWindow::Find(window))
        native->client = client;
}

IWindowClient* GetWindowClient(HWND window)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    return native != nullptr ? native->client : nullptr;
}
