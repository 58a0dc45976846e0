#pragma once

// The frameless top-level widget behind a window. It turns Qt's input into
// queued Win32 input messages (so a loop's filters and TranslateMessage see
// them before DispatchMessage) and Qt's paint, geometry, state and close
// events into sent messages.

#include "platform/win/Win.h"

#include <QPoint>
#include <QWidget>

#include <string>
#include <vector>

class CNativeWindow;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMimeData;
class QMouseEvent;

class CWindowWidget : public QWidget
{
public:
    CWindowWidget(CNativeWindow* owner, Qt::WindowFlags flags);

    // The window dies before its widget: from then on events are ignored and
    // the widget is deleted as soon as no event handler of it is running.
    void Detach();
    CNativeWindow* Owner() const { return owner; }
    static void DeleteDetached();

    // Answered by the window's client (the paint manager): the focused
    // text entry, or "no text input" when none has the focus.
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Drops (platform/win/WinDrop.cpp): files and links dropped on a window
    // that accepts them become one posted WM_DROPFILES.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void HandleMousePress(QMouseEvent* event, bool doubleClick);
    void HandleMouseRelease(QMouseEvent* event);
    void HandleMouseMove(QMouseEvent* event);
    void HandleKey(QKeyEvent* event, bool press);
    void QueueInput(UINT message, WPARAM wParam, LPARAM lParam, const QPoint& screenPoint);
    static std::vector<std::string> DropItems(const QMimeData* data);
    bool TakesDrop(const QMimeData* data) const;
    WPARAM MouseKeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) const;

    CNativeWindow* owner;
    int eventDepth = 0;
    // A caption drag we run ourselves where the platform cannot move the
    // window (offscreen, X11 without a window manager).
    bool dragging = false;
    QPoint dragStartCursor;
    QPoint dragStartWindow;

    static std::vector<CWindowWidget*>& Detached();
};
