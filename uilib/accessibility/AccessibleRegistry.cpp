#include "uilib/accessibility/AccessibleRegistry.h"

#include "platform/win/WinQt.h"
#include "platform/win/WindowWidget.h"
#include "uilib/accessibility/AccessibleControl.h"
#include "uilib/accessibility/AccessibleEdit.h"
#include "uilib/accessibility/AccessibleSlider.h"
#include "uilib/accessibility/AccessibleTree.h"
#include "uilib/accessibility/AccessibleWindow.h"
#include "uilib/controls/ContainerUI.h"
#include "uilib/controls/ProgressUI.h"
#include "uilib/window/PaintManagerUI.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace
{
std::vector<CAccessibleRegistry*>& LiveRegistries()
{
    static std::vector<CAccessibleRegistry*> registries;
    return registries;
}

// Qt asks every factory for each object, with the names of its classes;
// this one answers only for the top-level widget of a window. The widget
// may be asked for while its window is still being made, before its handle
// is known: the interface finds the window each time it is asked.
QAccessibleInterface* WindowFactory(const QString& /*className*/, QObject* object)
{
    auto* widget = dynamic_cast<CWindowWidget*>(object);
    return widget != nullptr ? new CAccessibleWindow(widget) : nullptr;
}

// The control and everything below it, children before their parent.
void CollectPostOrder(CControlUI* control, std::vector<CControlUI*>& out)
{
    if (auto* container = static_cast<CContainerUI*>(control->GetInterface("Container"))) {
        for (int index = 0; index < container->GetCount(); ++index) {
            CollectPostOrder(container->GetItemAt(index), out);
        }
    }
    out.push_back(control);
}

// The interface made for a control: the kind decides the class.
CAccessibleControl* MakeInterface(HWND window, CControlUI* control)
{
    switch (AccessibleKindOf(control)) {
    case EAccessibleKind::Slider:
    case EAccessibleKind::ProgressBar:
        return new CAccessibleSlider(window, control);
    case EAccessibleKind::Edit:
        return new CAccessibleEdit(window, control);
    default:
        return new CAccessibleControl(window, control);
    }
}
} // namespace

CAccessibleRegistry::CAccessibleRegistry(CPaintManagerUI& manager)
    : manager(manager)
    , window(manager.GetPaintWindow())
{
    InstallFactory();
    LiveRegistries().push_back(this);
    manager.AddControlObserver(this);
    // An interface Qt made for the widget before the factory could answer
    // (while the widget itself was being constructed) is dropped, so the
    // next query makes the window's own.
    if (QWidget* widget = WidgetFromHwnd(window)) {
        QAccessibleInterface* existing = QAccessible::queryAccessibleInterface(widget);
        if (existing != nullptr && dynamic_cast<CAccessibleWindow*>(existing) == nullptr) {
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
        }
    }
}

CAccessibleRegistry::~CAccessibleRegistry()
{
    manager.RemoveControlObserver(this);
    auto& live = LiveRegistries();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    // Qt's cache deletes what is left when the application ends; before
    // that, the interfaces of a closed window go now.
    if (QCoreApplication::instance() != nullptr) {
        for (const auto& [control, id] : ids) {
            if (QAccessible::accessibleInterface(id) != nullptr) {
                QAccessible::deleteAccessibleInterface(id);
            }
        }
    }
    ids.clear();
}

void CAccessibleRegistry::InstallFactory()
{
    // The factory installed last is asked first; the widgets' own factory
    // comes with the application, so ours goes in after it exists.
    static bool installed = false;
    if (!installed && QCoreApplication::instance() != nullptr) {
        installed = true;
        QAccessible::installFactory(WindowFactory);
    }
}

CAccessibleRegistry* CAccessibleRegistry::OfWindow(HWND window)
{
    if (window == nullptr) {
        return nullptr;
    }
    for (CAccessibleRegistry* registry : LiveRegistries()) {
        if (registry->window == window) {
            return registry;
        }
    }
    return nullptr;
}

QAccessibleInterface* CAccessibleRegistry::Interface(CControlUI* control)
{
    if (control == nullptr) {
        return nullptr;
    }
    const auto found = ids.find(control);
    if (found != ids.end()) {
        if (QAccessibleInterface* existing = QAccessible::accessibleInterface(found->second)) {
            return existing;
        }
        // Qt's cache let it go (the application is ending): make it anew.
        ids.erase(found);
    }
    if (control != leaving && (!IsInTree(manager, control) || !IsExposed(control))) {
        return nullptr;
    }
    CAccessibleControl* created = MakeInterface(window, control);
    const QAccessible::Id id = QAccessible::registerAccessibleInterface(created);
    ids.emplace(control, id);
    created->SetId(id);
    return created;
}

QAccessibleInterface* CAccessibleRegistry::WindowInterface() const
{
    QWidget* widget = WidgetFromHwnd(window);
    return widget != nullptr ? QAccessible::queryAccessibleInterface(widget) : nullptr;
}

QAccessibleInterface* CAccessibleRegistry::ParentInterface(CControlUI* control)
{
    if (control == nullptr) {
        return nullptr;
    }
    CControlUI* top = control;
    for (CControlUI* up = control->GetParent(); up != nullptr; up = up->GetParent()) {
        if (IsExposed(up)) {
            return Interface(up);
        }
        top = up;
    }
    return top == manager.GetRoot() ? WindowInterface() : nullptr;
}

bool CAccessibleRegistry::Holds(const CControlUI* control, QAccessible::Id id) const
{
    const auto found = ids.find(control);
    if (found == ids.end() || found->second != id) {
        return false;
    }
    return control == leaving || IsInTree(manager, const_cast<CControlUI*>(control));
}

bool CAccessibleRegistry::HasInterface(const CControlUI* control) const
{
    return ids.find(control) != ids.end();
}

void CAccessibleRegistry::Later(CControlUI* control, QAccessible::Id id,
                                std::function<void(CPaintManagerUI&, CControlUI*)> action)
{
    const HWND target = window;
    QTimer::singleShot(0, QCoreApplication::instance(), [target, control, id, action = std::move(action)] {
        CAccessibleRegistry* registry = OfWindow(target);
        if (registry != nullptr && registry->Holds(control, id)) {
            action(registry->manager, control);
        }
    });
}

void CAccessibleRegistry::Send(QAccessibleInterface* target, QAccessible::Event type)
{
    if (target != nullptr) {
        QAccessibleEvent event(target, type);
        QAccessible::updateAccessibility(&event);
    }
}

void CAccessibleRegistry::ControlChanged(CControlUI* control, EControlChange change)
{
    if (!QAccessible::isActive() || !IsInTree(manager, control)) {
        return;
    }
    if (!IsExposed(control)) {
        // A row of a layout shows, hides or changes its children: the
        // list of its nearest exposed ancestor changed.
        if (change == EControlChange::Children || change == EControlChange::Visibility) {
            Send(ParentInterface(control), QAccessible::ObjectReorder);
        }
        return;
    }
    QAccessibleInterface* target = Interface(control);
    if (target == nullptr) {
        return;
    }
    switch (change) {
    case EControlChange::Focus:
        Send(target, QAccessible::Focus);
        break;
    case EControlChange::Selection: {
        // The bridge forwards one state flag per event.
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(target, changed);
        QAccessible::updateAccessibility(&event);
        break;
    }
    case EControlChange::Enabled: {
        QAccessible::State changed;
        changed.disabled = true;
        QAccessibleStateChangeEvent event(target, changed);
        QAccessible::updateAccessibility(&event);
        break;
    }
    case EControlChange::Name:
        Send(target, QAccessible::NameChanged);
        // A label's name is its text: its text changed as well (the
        // status line is read out this way).
        static_cast<CAccessibleControl*>(target)->AnnounceTextChange();
        break;
    case EControlChange::Text:
        static_cast<CAccessibleControl*>(target)->AnnounceTextChange();
        break;
    case EControlChange::Caret:
        if (auto* entry = dynamic_cast<CAccessibleEdit*>(target)) {
            entry->AnnounceCaret();
        }
        break;
    case EControlChange::Value: {
        auto* progress = static_cast<CProgressUI*>(control->GetInterface("Progress"));
        if (progress != nullptr) {
            QAccessibleValueChangeEvent event(target, progress->GetValue());
            QAccessible::updateAccessibility(&event);
        }
        break;
    }
    case EControlChange::Visibility:
        Send(target, control->IsVisible() ? QAccessible::ObjectShow : QAccessible::ObjectHide);
        break;
    case EControlChange::Children:
        Send(target, QAccessible::ObjectReorder);
        break;
    }
}

void CAccessibleRegistry::ControlReaped(CControlUI* control)
{
    if (ids.empty() || control == nullptr) {
        return;
    }
    // The whole subtree goes, deepest first, while its chain of parents is
    // still whole: once a container is detached, its children have no way
    // up to the tree left, and their removal could not be announced.
    std::vector<CControlUI*> leavingControls;
    CollectPostOrder(control, leavingControls);
    for (CControlUI* gone : leavingControls) {
        Forget(gone);
    }
}

void CAccessibleRegistry::Forget(CControlUI* control)
{
    const auto found = ids.find(control);
    if (found == ids.end()) {
        return;
    }
    const QAccessible::Id id = found->second;
    if (QAccessibleInterface* gone = QAccessible::accessibleInterface(id)) {
        // Announced while still valid: the bridge drops events of invalid
        // interfaces.
        leaving = control;
        if (QAccessible::isActive() && ParentInterface(control) != nullptr) {
            Send(gone, QAccessible::ObjectDestroyed);
        }
        leaving = nullptr;
        QAccessible::deleteAccessibleInterface(id);
    }
    ids.erase(control);
}

QAccessibleInterface* ChildAtPoint(const QAccessibleInterface& parent, int x, int y)
{
    const int count = parent.childCount();
    for (int index = 0; index < count; ++index) {
        QAccessibleInterface* candidate = parent.child(index);
        if (candidate != nullptr && candidate->rect().contains(x, y))
            return candidate;
    }
    return nullptr;
}
