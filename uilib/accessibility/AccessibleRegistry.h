#pragma once

// CAccessibleRegistry: the accessibility tree of one paint manager's window,
// as Qt's accessibility (and through its bridge AT-SPI, which screen readers
// read) sees it. One per manager, made by CPaintManagerUI::Init.
//
// It keeps one interface per exposed control (uilib/accessibility/
// AccessibleTree.h), made on first use, registered once with Qt and keyed by
// the control itself, so a control keeps its interface (and its D-Bus path)
// while rows around it come and go. An interface holds the window and the
// control, never a pointer that outlives them: it asks this registry whether
// its control is still in the tree. When a control leaves the tree
// (ReapObjects), the registry announces ObjectDestroyed while the interface
// is still valid, then deletes it through Qt and forgets it.
//
// As the manager's control observer it turns the controls' changes into
// Qt's accessibility events, only while an assistive technology listens
// (QAccessible::isActive): without one nothing is made and nothing is sent.
//
// Actions (press, focus) run from the event loop after the request returned:
// a press may open a modal dialog or rebuild the page of the pressed control.
//
// GUI thread only.

#include "platform/win/Win.h"
#include "uilib/window/ControlObserver.h"

#include <QAccessible>

#include <functional>
#include <unordered_map>

class CControlUI;
class CPaintManagerUI;
class QAccessibleInterface;

class CAccessibleRegistry : public IControlObserverUI
{
public:
    explicit CAccessibleRegistry(CPaintManagerUI& manager);
    ~CAccessibleRegistry();
    CAccessibleRegistry(const CAccessibleRegistry&) = delete;
    CAccessibleRegistry& operator=(const CAccessibleRegistry&) = delete;

    // Installs, once per process and once the application exists, the
    // factory that gives a window's widget the interface of its control tree.
    static void InstallFactory();
    // The registry of a window's manager; null when it has none.
    static CAccessibleRegistry* OfWindow(HWND window);

    CPaintManagerUI& Manager() const { return manager; }
    HWND Window() const { return window; }

    // The interface of an exposed control of the tree, made and registered
    // on first use; null for a control that is not exposed or not in the tree.
    QAccessibleInterface* Interface(CControlUI* control);
    // The interface of the window's widget.
    QAccessibleInterface* WindowInterface() const;
    // The interface above a control: its nearest exposed ancestor, or the
    // window; null for a control outside the tree.
    QAccessibleInterface* ParentInterface(CControlUI* control);
    // Whether the interface of this id still stands for the control: the
    // control is in the tree (or is being announced as leaving it).
    bool Holds(const CControlUI* control, QAccessible::Id id) const;
    // Whether an interface has been made for the control.
    bool HasInterface(const CControlUI* control) const;

    // Runs the action from the event loop, if the control is then still in
    // the tree under the same interface.
    void Later(CControlUI* control, QAccessible::Id id, std::function<void(CPaintManagerUI&, CControlUI*)> action);

    void ControlChanged(CControlUI* control, EControlChange change) override;
    void ControlReaped(CControlUI* control) override;

private:
    void Send(QAccessibleInterface* target, QAccessible::Event type);
    // Announces that the control's interface goes, and deletes it.
    void Forget(CControlUI* control);

    CPaintManagerUI& manager;
    HWND window;
    std::unordered_map<const CControlUI*, QAccessible::Id> ids;
    // The control whose ObjectDestroyed goes out right now: still valid.
    const CControlUI* leaving = nullptr;
};

// The child of `parent` whose rectangle (screen coordinates) holds the
// point; null when none does.
QAccessibleInterface* ChildAtPoint(const QAccessibleInterface& parent, int x, int y);

