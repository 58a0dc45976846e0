#include "uilib/accessibility/AccessibleControl.h"

#include "platform/win/WinQt.h"
#include "uilib/accessibility/AccessibleRegistry.h"
#include "uilib/accessibility/AccessibleTree.h"
#include "uilib/controls/ControlUI.h"
#include "uilib/controls/OptionUI.h"
#include "uilib/window/PaintManagerUI.h"

#include <QWidget>

#include <algorithm>

namespace
{
QString FromUtf8(const CStdString& text)
{
    return QString::fromUtf8(text.GetData(), text.GetLength());
}

bool Takes(EAccessibleKind kind, std::initializer_list<EAccessibleKind> kinds)
{
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}
} // namespace

CAccessibleControl::CAccessibleControl(HWND window, CControlUI* control)
    : hwnd(window)
    , control(control)
{
}

void CAccessibleControl::SetId(QAccessible::Id id)
{
    ownId = id;
    announcedText = ControlText();
}

CAccessibleRegistry* CAccessibleControl::Registry() const
{
    return CAccessibleRegistry::OfWindow(hwnd);
}

CControlUI* CAccessibleControl::Control() const
{
    CAccessibleRegistry* registry = Registry();
    return registry != nullptr && registry->Holds(control, ownId) ? control : nullptr;
}

bool CAccessibleControl::isValid() const
{
    return Control() != nullptr;
}

QObject* CAccessibleControl::object() const
{
    return nullptr;
}

QWindow* CAccessibleControl::window() const
{
    QWidget* widget = WidgetFromHwnd(hwnd);
    return widget != nullptr ? widget->windowHandle() : nullptr;
}

QAccessibleInterface* CAccessibleControl::childAt(int x, int y) const
{
    return ChildAtPoint(*this, x, y);
}

QAccessibleInterface* CAccessibleControl::parent() const
{
    CControlUI* own = Control();
    return own != nullptr ? Registry()->ParentInterface(own) : nullptr;
}

QAccessibleInterface* CAccessibleControl::child(int index) const
{
    CControlUI* own = Control();
    if (own == nullptr || index < 0) {
        return nullptr;
    }
    const auto children = ExposedChildren(Registry()->Manager(), own);
    return index < static_cast<int>(children.size()) ? Registry()->Interface(children[static_cast<size_t>(index)])
                                                      : nullptr;
}

int CAccessibleControl::childCount() const
{
    CControlUI* own = Control();
    return own != nullptr ? static_cast<int>(ExposedChildren(Registry()->Manager(), own).size()) : 0;
}

int CAccessibleControl::indexOfChild(const QAccessibleInterface* child) const
{
    CControlUI* own = Control();
    const auto* item = dynamic_cast<const CAccessibleControl*>(child);
    if (own == nullptr || item == nullptr || item->Control() == nullptr) {
        return -1;
    }
    const auto children = ExposedChildren(Registry()->Manager(), own);
    const auto found = std::find(children.begin(), children.end(), item->control);
    return found == children.end() ? -1 : static_cast<int>(found - children.begin());
}

QString CAccessibleControl::text(QAccessible::Text type) const
{
    CControlUI* own = Control();
    if (own == nullptr) {
        return QString();
    }
    switch (type) {
    case QAccessible::Name:
        return FromUtf8(AccessibleName(own));
    case QAccessible::Description:
        return FromUtf8(AccessibleDescription(own));
    case QAccessible::Help:
        return FromUtf8(own->GetToolTip());
    default:
        return QString();
    }
}

void CAccessibleControl::setText(QAccessible::Text /*type*/, const QString& /*text*/)
{
    // Names come from the skin and the program; a reader does not set them.
}

QRect CAccessibleControl::rect() const
{
    CControlUI* own = Control();
    if (own == nullptr) {
        return QRect();
    }
    const RECT pos = own->GetPos();
    POINT topLeft = {pos.left, pos.top};
    ::ClientToScreen(hwnd, &topLeft);
    return QRect(topLeft.x, topLeft.y, pos.right - pos.left, pos.bottom - pos.top);
}

QAccessible::Role CAccessibleControl::role() const
{
    switch (AccessibleKindOf(Control())) {
    case EAccessibleKind::Button:
        return QAccessible::PushButton;
    case EAccessibleKind::RadioButton:
        return QAccessible::RadioButton;
    case EAccessibleKind::CheckBox:
        return QAccessible::CheckBox;
    case EAccessibleKind::Slider:
        return QAccessible::Slider;
    case EAccessibleKind::ProgressBar:
        return QAccessible::ProgressBar;
    case EAccessibleKind::Edit:
        return QAccessible::EditableText;
    case EAccessibleKind::Label:
        return QAccessible::StaticText;
    case EAccessibleKind::Group:
        return QAccessible::Grouping;
    case EAccessibleKind::Other:
        break;
    }
    return QAccessible::NoRole;
}

QAccessible::State CAccessibleControl::state() const
{
    QAccessible::State state;
    CControlUI* own = Control();
    if (own == nullptr) {
        state.invalid = true;
        return state;
    }
    state.invisible = !IsShownInTree(own) || !::IsWindowVisible(hwnd);
    state.offscreen = !state.invisible && !IsOnScreen(own);
    state.disabled = !own->IsEnabled();
    state.focusable = IsAccessibleFocusable(own);
    state.focused = Registry()->Manager().GetFocus() == own;
    if (auto* option = static_cast<COptionUI*>(own->GetInterface("Option"))) {
        state.checkable = true;
        state.checked = option->IsSelected();
    }
    return state;
}

void* CAccessibleControl::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ActionInterface) {
        return static_cast<QAccessibleActionInterface*>(this);
    }
    if (type == QAccessible::TextInterface && HasText()) {
        return static_cast<QAccessibleTextInterface*>(this);
    }
    return nullptr;
}

bool CAccessibleControl::HasText() const
{
    const EAccessibleKind kind = AccessibleKindOf(Control());
    return kind == EAccessibleKind::Label || kind == EAccessibleKind::Edit;
}

QString CAccessibleControl::ControlText() const
{
    CControlUI* own = Control();
    return own != nullptr ? FromUtf8(own->GetText()) : QString();
}

void CAccessibleControl::AnnounceTextChange()
{
    if (!HasText()) {
        return;
    }
    const QString now = ControlText();
    if (now == announcedText) {
        return;
    }
    // The changed middle between the common start and the common end.
    const int oldLength = static_cast<int>(announcedText.size());
    const int newLength = static_cast<int>(now.size());
    int head = 0;
    while (head < oldLength && head < newLength && announcedText[head] == now[head]) {
        ++head;
    }
    int tail = 0;
    while (tail < oldLength - head && tail < newLength - head &&
           announcedText[oldLength - 1 - tail] == now[newLength - 1 - tail]) {
        ++tail;
    }
    const QString removed = announcedText.mid(head, oldLength - head - tail);
    const QString inserted = now.mid(head, newLength - head - tail);
    announcedText = now;
    QAccessibleTextUpdateEvent event(this, head, removed, inserted);
    QAccessible::updateAccessibility(&event);
}

QStringList CAccessibleControl::actionNames() const
{
    CControlUI* own = Control();
    QStringList names;
    if (own == nullptr) {
        return names;
    }
    const EAccessibleKind kind = AccessibleKindOf(own);
    if (Takes(kind, {EAccessibleKind::Button, EAccessibleKind::RadioButton, EAccessibleKind::CheckBox})) {
        names << pressAction();
    }
    if (IsAccessibleFocusable(own)) {
        names << setFocusAction();
    }
    return names;
}

void CAccessibleControl::doAction(const QString& actionName)
{
    CControlUI* own = Control();
    if (own == nullptr || !actionNames().contains(actionName)) {
        return;
    }
    if (actionName == pressAction()) {
        Registry()->Later(own, ownId, [](CPaintManagerUI& manager, CControlUI* pressed) {
            manager.PressControl(pressed);
        });
    } else if (actionName == setFocusAction()) {
        Registry()->Later(own, ownId, [](CPaintManagerUI& manager, CControlUI* focused) {
            manager.SetFocus(focused);
        });
    }
}

QStringList CAccessibleControl::keyBindingsForAction(const QString& /*actionName*/) const
{
    return QStringList();
}

void CAccessibleControl::selection(int /*selectionIndex*/, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
}

int CAccessibleControl::selectionCount() const
{
    return 0;
}

void CAccessibleControl::addSelection(int /*startOffset*/, int /*endOffset*/) {}

void CAccessibleControl::removeSelection(int /*selectionIndex*/) {}

void CAccessibleControl::setSelection(int /*selectionIndex*/, int /*startOffset*/, int /*endOffset*/) {}

int CAccessibleControl::cursorPosition() const
{
    return 0;
}

void CAccessibleControl::setCursorPosition(int /*position*/) {}

QString CAccessibleControl::text(int startOffset, int endOffset) const
{
    const QString all = ControlText();
    startOffset = std::clamp(startOffset, 0, static_cast<int>(all.size()));
    endOffset = endOffset < 0 ? static_cast<int>(all.size()) : std::clamp(endOffset, startOffset, static_cast<int>(all.size()));
    return all.mid(startOffset, endOffset - startOffset);
}

int CAccessibleControl::characterCount() const
{
    return static_cast<int>(ControlText().size());
}

QRect CAccessibleControl::characterRect(int /*offset*/) const
{
    return QRect();
}

int CAccessibleControl::offsetAtPoint(const QPoint& /*point*/) const
{
    return -1;
}

void CAccessibleControl::scrollToSubstring(int /*startIndex*/, int /*endIndex*/) {}

QString CAccessibleControl::attributes(int offset, int* startOffset, int* endOffset) const
{
    // One run without attributes over the whole text.
    *startOffset = offset < 0 ? -1 : 0;
    *endOffset = offset < 0 ? -1 : characterCount();
    return QString();
}
