#include "platform/win/WindowWidget.h"

#include "platform/win/KeyMapping.h"
#include "platform/win/MessageQueue.h"
#include "platform/win/NativeWindow.h"
#include "platform/win/WindowClient.h"

#include <QCloseEvent>
#include <QCursor>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>

namespace
{
// lParam bits of key messages, as Win32 lays them out.
constexpr LPARAM keyRepeatCountOne = 1;
constexpr int keyTokenShift = 16;
// Bits 25 and 26 are reserved in Win32; here they carry Ctrl and Shift
// to GetKeyState.
constexpr LPARAM keyControlDown = LPARAM{1} << 25;
constexpr LPARAM keyShiftDown = LPARAM{1} << 26;
constexpr LPARAM keyAltDown = LPARAM{1} << 29;
constexpr LPARAM keyWasDown = LPARAM{1} << 30;
constexpr LPARAM keyReleased = LPARAM{1} << 31;
constexpr WPARAM VK_F10 = 0x79;

// Keeps a count of running event handlers so that a widget whose window was
// destroyed inside one of them is deleted only after they all returned.
class CDepthGuard
{
public:
    explicit CDepthGuard(int& depth) : depth(depth) { ++depth; }
    ~CDepthGuard() { --depth; }
    CDepthGuard(const CDepthGuard&) = delete;
    CDepthGuard& operator=(const CDepthGuard&) = delete;

private:
    int& depth;
};

QPoint GlobalPoint(const QMouseEvent* event) { return event->globalPosition().toPoint(); }

bool IsUserInput(QEvent::Type type)
{
    switch (type)
    {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}
}

CWindowWidget::CWindowWidget(CNativeWindow* owner, Qt::WindowFlags flags) : QWidget(nullptr, flags), owner(owner)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
}

std::vector<CWindowWidget*>& CWindowWidget::Detached()
{
    static std::vector<CWindowWidget*> detached;
    return detached;
}

void CWindowWidget::Detach()
{
    owner = nullptr;
    dragging = false;
    hide();
    Detached().push_back(this);
    DeleteDetached();
}

void CWindowWidget::DeleteDetached()
{
    auto& detached = Detached();
    std::vector<CWindowWidget*> busy;
    std::vector<CWindowWidget*> idle;
    for (CWindowWidget* widget : detached)
        (widget->eventDepth == 0 ? idle : busy).push_back(widget);
    detached = busy;
    for (CWindowWidget* widget : idle)
        delete widget;
}

WPARAM CWindowWidget::MouseKeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) const
{
    WPARAM state = 0;
    if (buttons & Qt::LeftButton)
        state |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        state |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        state |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier)
        state |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        state |= MK_CONTROL;
    return state;
}

void CWindowWidget::QueueInput(UINT message, WPARAM wParam, LPARAM lParam, const QPoint& screenPoint)
{
    if (owner == nullptr)
        return;
    CMessageQueue::Instance().PostInput(
        MSG{owner->Handle(), message, wParam, lParam, GetTickCount(), {screenPoint.x(), screenPoint.y()}});
}

bool CWindowWidget::event(QEvent* event)
{
    CDepthGuard guard(eventDepth);
    if (owner == nullptr)
    {
        // A destroyed window takes no input and is not closed by the user.
        switch (event->type())
        {
        case QEvent::Close: event->ignore(); return true;
        case QEvent::Paint: return true;
        default: return QWidget::event(event);
        }
    }
    if (!isEnabled() && IsUserInput(event->type()))
    {
        // A disabled window (the owner of a modal dialog) takes no mouse or
        // keyboard input at all, as in Win32; a drag it was in ends here.
        dragging = false;
        return true;
    }
    switch (event->type())
    {
    case QEvent::MouseButtonPress:
        HandleMousePress(static_cast<QMouseEvent*>(event), false);
        return true;
    case QEvent::MouseButtonDblClick:
        HandleMousePress(static_cast<QMouseEvent*>(event), true);
        return true;
    case QEvent::MouseButtonRelease:
        HandleMouseRelease(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseMove:
        HandleMouseMove(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::Leave:
        QueueInput(WM_MOUSELEAVE, 0, 0, QCursor::pos());
        return true;
    case QEvent::Wheel:
    {
        auto* wheel = static_cast<QWheelEvent*>(event);
        QPoint global = wheel->globalPosition().toPoint();
        int delta = wheel->angleDelta().y();
        if (delta != 0)
        {
            WPARAM keys = MouseKeyState(wheel->buttons(), wheel->modifiers());
            // The wheel's position is in screen coordinates, unlike the other
            // mouse messages.
            QueueInput(WM_MOUSEWHEEL, keys | (static_cast<WPARAM>(static_cast<WORD>(static_cast<short>(delta))) << 16),
                       MAKELPARAM(global.x(), global.y()), global);
        }
        return true;
    }
    case QEvent::KeyPress:
        HandleKey(static_cast<QKeyEvent*>(event), true);
        return true;
    case QEvent::KeyRelease:
        HandleKey(static_cast<QKeyEvent*>(event), false);
        return true;
    case QEvent::InputMethod:
    {
        // Pre-edit and commit travel in order with the keys around them; the
        // manager hands the copy to the focused text entry.
        auto* input = static_cast<QInputMethodEvent*>(event);
        QueueInput(WM_IME_COMPOSITION, StoreInputMethodEvent(*input), 0, QCursor::pos());
        event->accept();
        return true;
    }
    case QEvent::ShortcutOverride:
    {
        // Typing and editing keys are the window's own: no application-wide
        // shortcut may take them first.
        auto* key = static_cast<QKeyEvent*>(event);
        const bool typing = !key->text().isEmpty() && key->text().at(0).unicode() >= 0x20 &&
                            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
        if (typing || key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste) ||
            key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Undo) ||
            key->matches(QKeySequence::Redo) || key->matches(QKeySequence::SelectAll))
            event->accept();
        return true;
    }
    case QEvent::Close:
        // The window manager's close button and Alt+F4 ask; the window
        // procedure decides (DefWindowProc closes, the main window hides).
        event->ignore();
        owner->Send(WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    case QEvent::WindowStateChange:
    {
        bool result = QWidget::event(event);
        if (owner != nullptr)
            owner->OnPlatformMinimised(windowState() & Qt::WindowMinimized);
        return result;
    }
    case QEvent::Resize:
    case QEvent::Move:
    {
        bool result = QWidget::event(event);
        if (owner != nullptr)
            owner->ReportGeometry();
        return result;
    }
    default:
        return QWidget::event(event);
    }
}

void CWindowWidget::HandleMousePress(QMouseEvent* event, bool doubleClick)
{
    QPoint local = event->position().toPoint();
    QPoint global = GlobalPoint(event);
    WPARAM keys = MouseKeyState(event->buttons(), event->modifiers());
    LPARAM clientPoint = MAKELPARAM(local.x(), local.y());
    bool wantsDoubleClicks = (owner->classStyle & CS_DBLCLKS) != 0;
    if (event->button() == Qt::LeftButton)
    {
        LRESULT hit = owner->Send(WM_NCHITTEST, 0, MAKELPARAM(global.x(), global.y()));
        if (owner == nullptr)
            return;
        if (hit == HTCAPTION)
        {
            // A double click on a caption is a non-client message that the
            // windows here do not act on; only a single press drags.
            if (doubleClick && wantsDoubleClicks)
                return;
            QWindow* window = windowHandle();
            if (window != nullptr && window->startSystemMove())
                return;
            dragging = true;
            dragStartCursor = global;
            dragStartWindow = owner->Geometry().topLeft();
            return;
        }
        if (hit != HTCLIENT)
            return;
        QueueInput(doubleClick && wantsDoubleClicks ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, keys, clientPoint, global);
    }
    else if (event->button() == Qt::RightButton)
    {
        QueueInput(doubleClick && wantsDoubleClicks ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN, keys, clientPoint, global);
    }
    else if (event->button() == Qt::MiddleButton)
    {
        QueueInput(WM_MBUTTONDOWN, keys, clientPoint, global);
    }
}

void CWindowWidget::HandleMouseRelease(QMouseEvent* event)
{
    QPoint local = event->position().toPoint();
    WPARAM keys = MouseKeyState(event->buttons(), event->modifiers());
    if (event->button() == Qt::LeftButton)
    {
        if (dragging)
        {
            dragging = false;
            return;
        }
        QueueInput(WM_LBUTTONUP, keys, MAKELPARAM(local.x(), local.y()), GlobalPoint(event));
    }
    else if (event->button() == Qt::RightButton)
    {
        QueueInput(WM_RBUTTONUP, keys, MAKELPARAM(local.x(), local.y()), GlobalPoint(event));
    }
    else if (event->button() == Qt::MiddleButton)
    {
        QueueInput(WM_MBUTTONUP, keys, MAKELPARAM(local.x(), local.y()), GlobalPoint(event));
    }
}

void CWindowWidget::HandleMouseMove(QMouseEvent* event)
{
    QPoint global = GlobalPoint(event);
    if (dragging)
    {
        if (!(event->buttons() & Qt::LeftButton))
        {
            dragging = false;
        }
        else
        {
            QPoint target = dragStartWindow + (global - dragStartCursor);
            QRect geometry = owner->Geometry();
            owner->SetGeometry(QRect(target, geometry.size()), true, false);
            return;
        }
    }
    QPoint local = event->position().toPoint();
    QueueInput(WM_MOUSEMOVE, MouseKeyState(event->buttons(), event->modifiers()), MAKELPARAM(local.x(), local.y()),
               global);
}

void CWindowWidget::HandleKey(QKeyEvent* event, bool press)
{
    WPARAM key = VirtualKeyFromQtKey(event->key());
    QString text = press ? event->text() : QString();
    // Control characters other than the editing keys are not text.
    if (!text.isEmpty() && text.at(0).unicode() < 0x20 && key != VK_BACK && key != VK_TAB && key != VK_RETURN &&
        key != VK_ESCAPE)
        text.clear();
    if (key == 0)
    {
        if (text.isEmpty())
            return;
        key = VK_PACKET;
    }
    bool alt = (event->modifiers() & Qt::AltModifier) != 0;
    bool system = alt || key == VK_F10;
    LPARAM lParam = keyRepeatCountOne;
    if (alt)
        lParam |= keyAltDown;
    if ((event->modifiers() & Qt::ControlModifier) != 0)
        lParam |= keyControlDown;
    if ((event->modifiers() & Qt::ShiftModifier) != 0)
        lParam |= keyShiftDown;
    if (!press)
        lParam |= keyWasDown | keyReleased;
    else if (event->isAutoRepeat())
        lParam |= keyWasDown;
    if (press && !system)
        lParam |= static_cast<LPARAM>(StoreKeyText(text)) << keyTokenShift;
    UINT message = press ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    QueueInput(message, key, lParam, QCursor::pos());
}

QVariant CWindowWidget::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (owner != nullptr && owner->client != nullptr)
        return owner->client->InputMethodQuery(query);
    // Nothing here takes text: an input method stays off instead of
    // composing over the window.
    if (query == Qt::ImEnabled)
        return false;
    return QWidget::inputMethodQuery(query);
}

void CWindowWidget::paintEvent(QPaintEvent* event)
{
    if (owner == nullptr)
        return;
    QPainter painter(this);
    // Text and scaled images as a skinned window wants them; shapes stay
    // crisp unless a painter asks for antialiasing itself.
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    owner->BeginPaintScope(&painter, event->rect());
    owner->Send(WM_PAINT, 0, 0);
    if (owner != nullptr)
        owner->EndPaintScope();
}
