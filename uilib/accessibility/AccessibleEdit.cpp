#include "uilib/accessibility/AccessibleEdit.h"

#include "uilib/controls/EditUI.h"
#include "uilib/window/PaintManagerUI.h"

#include <algorithm>

CAccessibleEdit::CAccessibleEdit(HWND window, CControlUI* control)
    : CAccessibleControl(window, control)
{
}

CEditUI* CAccessibleEdit::Edit() const
{
    CControlUI* own = Control();
    return own != nullptr ? static_cast<CEditUI*>(own->GetInterface("Edit")) : nullptr;
}

void* CAccessibleEdit::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::EditableTextInterface) {
        return static_cast<QAccessibleEditableTextInterface*>(this);
    }
    return CAccessibleControl::interface_cast(type);
}

QAccessible::State CAccessibleEdit::state() const
{
    QAccessible::State state = CAccessibleControl::state();
    if (CEditUI* edit = Edit()) {
        state.editable = !edit->IsReadOnly();
        state.readOnly = edit->IsReadOnly();
    }
    return state;
}

void CAccessibleEdit::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
    CEditUI* edit = Edit();
    if (edit != nullptr && selectionIndex == 0 && edit->GetAnchorPosition() != edit->GetCaretPosition()) {
        *startOffset = std::min(edit->GetAnchorPosition(), edit->GetCaretPosition());
        *endOffset = std::max(edit->GetAnchorPosition(), edit->GetCaretPosition());
    }
}

int CAccessibleEdit::selectionCount() const
{
    CEditUI* edit = Edit();
    return edit != nullptr && edit->GetAnchorPosition() != edit->GetCaretPosition() ? 1 : 0;
}

void CAccessibleEdit::addSelection(int startOffset, int endOffset)
{
    // One selection at most: adding one replaces it.
    setSelection(0, startOffset, endOffset);
}

void CAccessibleEdit::removeSelection(int selectionIndex)
{
    if (CEditUI* edit = Edit(); edit != nullptr && selectionIndex == 0) {
        edit->SetSelection(edit->GetCaretPosition(), edit->GetCaretPosition());
    }
}

void CAccessibleEdit::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    CEditUI* edit = Edit();
    if (edit == nullptr || selectionIndex != 0) {
        return;
    }
    const int length = characterCount();
    edit->SetSelection(std::clamp(startOffset, 0, length), std::clamp(endOffset, 0, length));
}

int CAccessibleEdit::cursorPosition() const
{
    CEditUI* edit = Edit();
    return edit != nullptr ? edit->GetCaretPosition() : 0;
}

void CAccessibleEdit::setCursorPosition(int position)
{
    if (CEditUI* edit = Edit()) {
        const int caret = std::clamp(position, 0, characterCount());
        edit->SetSelection(caret, caret);
    }
}

void CAccessibleEdit::AnnounceCaret()
{
    CEditUI* edit = Edit();
    if (edit == nullptr || edit->GetCaretPosition() == announcedCaret) {
        return;
    }
    announcedCaret = edit->GetCaretPosition();
    QAccessibleTextCursorEvent event(this, announcedCaret);
    QAccessible::updateAccessibility(&event);
}

void CAccessibleEdit::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, QString());
}

void CAccessibleEdit::insertText(int offset, const QString& text)
{
    replaceText(offset, offset, text);
}

void CAccessibleEdit::replaceText(int startOffset, int endOffset, const QString& text)
{
    CEditUI* edit = Edit();
    if (edit == nullptr || edit->IsReadOnly() || !edit->IsEnabled()) {
        return;
    }
    const QString before = ControlText();
    const int length = static_cast<int>(before.size());
    const int start = std::clamp(startOffset, 0, length);
    const int end = std::clamp(endOffset, start, length);
    QString inserted = text;
    // The entry's limit holds for a reader's text as for typing.
    if (edit->GetMaxChar() > 0) {
        const int room = std::max(0, edit->GetMaxChar() - (length - (end - start)));
        inserted.truncate(room);
    }
    const QString after = before.left(start) + inserted + before.mid(end);
    if (after == before) {
        // Nothing to change (an empty range, or no room left): no edit to tell.
        return;
    }
    Change(after, start + static_cast<int>(inserted.size()));
}

void CAccessibleEdit::Change(const QString& text, int caret)
{
    CEditUI* edit = Edit();
    const QByteArray bytes = text.toUtf8();
    edit->SetText(bytes.constData());
    edit->SetSelection(caret, caret);
    // Last: the receiver of the notification may remove the entry.
    if (CPaintManagerUI* manager = edit->GetManager()) {
        manager->SendNotify(edit, "textchanged");
    }
}
