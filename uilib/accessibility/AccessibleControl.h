#pragma once

// CAccessibleControl: the accessibility interface of one control of a
// window (buttons, options, labels, containers; sliders and edits extend
// it). It holds the window and the control, and reaches the control only
// after its registry said that the control is still in the tree, so an
// interface that outlived its control answers isValid() false and nothing
// else. object() is null: the control is no QObject, and the window's widget
// has its own interface.
//
// Roles: push button, radio button (an option of a group), check box (an
// option without one), static text, grouping. Actions: Press (as Enter does:
// CPaintManagerUI::PressControl) for buttons and options, SetFocus for what
// takes the focus. Labels, and edits, answer the text interface.
//
// GUI thread only.

#include "platform/win/Win.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QString>

class CAccessibleRegistry;
class CControlUI;

class CAccessibleControl : public QAccessibleInterface,
                           public QAccessibleActionInterface,
                           public QAccessibleTextInterface
{
public:
    CAccessibleControl(HWND window, CControlUI* control);

    // Set once, by the registry, after it registered the interface; the
    // text then is what text changes are told against.
    void SetId(QAccessible::Id id);
    // The control while it is in its window's tree, null after.
    CControlUI* Control() const;
    // Sends the text events for what changed since the text was last
    // announced (or first read).
    void AnnounceTextChange();

    bool isValid() const override;
    QObject* object() const override;
    QWindow* window() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text type, const QString& text) override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // Actions.
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

    // Text: read-only here, the control's text.
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

protected:
    CAccessibleRegistry* Registry() const;
    // The control's text as Qt counts it (UTF-16).
    QString ControlText() const;
    bool HasText() const;

    HWND hwnd;
    CControlUI* control;
    QAccessible::Id ownId = 0;
    // The text as last announced; the next change is told against it.
    QString announcedText;
};
