#include "uilib/window/InputMethodBridge.h"

#include "platform/win/KeyMapping.h"
#include "platform/win/WinQt.h"
#include "uilib/controls/ControlUI.h"
#include "uilib/window/PaintManagerUI.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QWidget>

namespace
{
// Whether the widget of the window is what the application's keyboard input
// (and so the input method) goes to.
bool WindowHasInputFocus(HWND window)
{
    QWidget* widget = WidgetFromHwnd(window);
    return widget != nullptr && QGuiApplication::focusObject() == widget;
}
} // namespace

CInputMethodBridge::CInputMethodBridge(CPaintManagerUI& manager)
    : manager(manager)
    , window(manager.GetPaintWindow())
{
    SetWindowClient(window, this);
}

CInputMethodBridge::~CInputMethodBridge()
{
    if (GetWindowClient(window) == this) {
        SetWindowClient(window, nullptr);
    }
}

IInputMethodClientUI* CInputMethodBridge::ClientOf(CControlUI* control)
{
    if (control == nullptr) {
        return nullptr;
    }
    return static_cast<IInputMethodClientUI*>(control->GetInterface(kInputMethodClientUI));
}

QVariant CInputMethodBridge::InputMethodQuery(Qt::InputMethodQuery query) const
{
    IInputMethodClientUI* client = ClientOf(manager.GetFocus());
    if (client == nullptr) {
        if (query == Qt::ImEnabled) {
            return false;
        }
        return {};
    }
    return client->InputMethodQuery(query);
}

void CInputMethodBridge::Deliver(WPARAM token)
{
    const std::unique_ptr<QInputMethodEvent> event = TakeInputMethodEvent(token);
    CControlUI* focus = manager.GetFocus();
    if (event == nullptr || focus == nullptr) {
        return;
    }
    if (IInputMethodClientUI* client = ClientOf(focus)) {
        client->InputMethodEvent(*event);
        return;
    }
    for (char32_t character : event->commitString().toUcs4()) {
        TEventUI charEvent;
        charEvent.Type = UIEVENT_CHAR;
        charEvent.pSender = focus;
        charEvent.dwTimestamp = ::GetTickCount();
        charEvent.chKey = static_cast<char>(character);
        charEvent.character = character;
        charEvent.wParam = character;
        focus->DoEvent(charEvent);
        // The character's handler may have moved the focus or removed the control.
        if (manager.GetFocus() != focus) {
            return;
        }
    }
}

void CInputMethodBridge::FocusMoved(bool previousTookText)
{
    if (!WindowHasInputFocus(window)) {
        return;
    }
    QInputMethod* inputMethod = QGuiApplication::inputMethod();
    if (previousTookText) {
        inputMethod->reset();
    }
    inputMethod->update(Qt::ImQueryAll);
}

bool CInputMethodBridge::HasInputFocus(const CControlUI* control)
{
    if (control == nullptr || control->GetManager() == nullptr || control->GetManager()->GetFocus() != control) {
        return false;
    }
    return WindowHasInputFocus(control->GetManager()->GetPaintWindow());
}

void CInputMethodBridge::Update(const CControlUI* control, Qt::InputMethodQueries queries)
{
    if (HasInputFocus(control)) {
        QGuiApplication::inputMethod()->update(queries);
    }
}

void CInputMethodBridge::Commit(const CControlUI* control)
{
    if (HasInputFocus(control)) {
        QGuiApplication::inputMethod()->commit();
    }
}

void CInputMethodBridge::Reset(const CControlUI* control)
{
    if (HasInputFocus(control)) {
        QGuiApplication::inputMethod()->reset();
    }
}
