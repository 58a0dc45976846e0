#pragma once

// CAccessibleEdit: a text entry (CEditUI) with the text interface (caret,
// selection) and the editable text interface. A reader's edit is the
// user's: the text changes, the caret follows the edit, and the entry
// notifies "textchanged" as typing does. Offsets count UTF-16 units.

#include "uilib/accessibility/AccessibleControl.h"

class CEditUI;

class CAccessibleEdit : public CAccessibleControl, public QAccessibleEditableTextInterface
{
public:
    CAccessibleEdit(HWND window, CControlUI* control);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;

    // Sends the caret event when the caret moved since it was last told.
    void AnnounceCaret();

    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString& text) override;
    void replaceText(int startOffset, int endOffset, const QString& text) override;

private:
    CEditUI* Edit() const;
    // Puts the text with the caret at `caret` and notifies as typing does.
    void Change(const QString& text, int caret);

    int announcedCaret = -1;
};
