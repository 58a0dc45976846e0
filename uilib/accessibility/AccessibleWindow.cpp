#include "uilib/accessibility/AccessibleWindow.h"

#include "platform/win/WinQt.h"
#include "uilib/accessibility/AccessibleControl.h"
#include "uilib/accessibility/AccessibleRegistry.h"
#include "uilib/accessibility/AccessibleTree.h"
#include "uilib/window/PaintManagerUI.h"

#include <QWidget>

#include <algorithm>

CAccessibleWindow::CAccessibleWindow(QWidget* widget)
    : QAccessibleWidget(widget, QAccessible::Window)
{
}

CAccessibleRegistry* CAccessibleWindow::Registry() const
{
    return CAccessibleRegistry::OfWindow(HwndFromWidget(widget()));
}

QAccessible::Role CAccessibleWindow::role() const
{
    return QAccessible::Window;
}

QString CAccessibleWindow::text(QAccessible::Text type) const
{
    if (type == QAccessible::Name) {
        return widget()->windowTitle();
    }
    return QAccessibleWidget::text(type);
}

int CAccessibleWindow::childCount() const
{
    CAccessibleRegistry* registry = Registry();
    return registry != nullptr ? static_cast<int>(ExposedChildren(registry->Manager(), nullptr).size()) : 0;
}

QAccessibleInterface* CAccessibleWindow::child(int index) const
{
    CAccessibleRegistry* registry = Registry();
    if (registry == nullptr || index < 0) {
        return nullptr;
    }
    const auto children = ExposedChildren(registry->Manager(), nullptr);
    return index < static_cast<int>(children.size()) ? registry->Interface(children[static_cast<size_t>(index)])
                                                      : nullptr;
}

int CAccessibleWindow::indexOfChild(const QAccessibleInterface* child) const
{
    CAccessibleRegistry* registry = Registry();
    const auto* item = dynamic_cast<const CAccessibleControl*>(child);
    if (registry == nullptr || item == nullptr) {
        return -1;
    }
    CControlUI* control = item->Control();
    const auto children = ExposedChildren(registry->Manager(), nullptr);
    const auto found = std::find(children.begin(), children.end(), control);
    return control == nullptr || found == children.end() ? -1 : static_cast<int>(found - children.begin());
}

QAccessibleInterface* CAccessibleWindow::childAt(int x, int y) const
{
    return ChildAtPoint(*this, x, y);
}

QAccessibleInterface* CAccessibleWindow::focusChild() const
{
    CAccessibleRegistry* registry = Registry();
    if (registry == nullptr) {
        return nullptr;
    }
    QAccessibleInterface* focused = registry->Interface(registry->Manager().GetFocus());
    return focused != nullptr ? focused : QAccessibleWidget::focusChild();
}
