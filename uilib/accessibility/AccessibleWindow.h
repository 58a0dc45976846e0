#pragma once

// CAccessibleWindow: the interface of a window's widget (role Window, which
// AT-SPI shows as a frame). Its children are the exposed controls at the top
// of the window's control tree (uilib/accessibility/AccessibleTree.h); the
// focus child is the control that has the window's focus. It finds the tree
// through the window's paint manager each time it is asked, so a window
// without one (or whose manager is gone) has no children.

#include <QAccessibleWidget>

class CAccessibleRegistry;

class CAccessibleWindow : public QAccessibleWidget
{
public:
    explicit CAccessibleWindow(QWidget* widget);

    QAccessible::Role role() const override;
    QString text(QAccessible::Text type) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    CAccessibleRegistry* Registry() const;
};
