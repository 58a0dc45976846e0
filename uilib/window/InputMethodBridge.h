#pragma once

// CInputMethodBridge: the input method's way into a window's controls. One
// per paint manager, registered as the window's client (platform/win
// IWindowClient) so that the widget's input method queries are answered at
// once by the focused control; pre-edit and commit events come through the
// message queue (WM_IME_COMPOSITION) and are handed to the same control.
//
// A control that takes text answers GetInterface(kInputMethodClientUI) with
// an IInputMethodClientUI. ImEnabled is true only while such a control has
// the focus, so the input method composes nowhere else.
//
// GUI thread only.

#include "platform/win/Win.h"
#include "platform/win/WindowClient.h"

#include <QVariant>

class CControlUI;
class CPaintManagerUI;
class QInputMethodEvent;

constexpr const char* kInputMethodClientUI = "InputMethodClient";

class IInputMethodClientUI
{
public:
    virtual QVariant InputMethodQuery(Qt::InputMethodQuery query) const = 0;
    virtual void InputMethodEvent(const QInputMethodEvent& event) = 0;

protected:
    ~IInputMethodClientUI() = default;
};

class CInputMethodBridge : public IWindowClient
{
public:
    explicit CInputMethodBridge(CPaintManagerUI& manager);
    ~CInputMethodBridge();
    CInputMethodBridge(const CInputMethodBridge&) = delete;
    CInputMethodBridge& operator=(const CInputMethodBridge&) = delete;

    QVariant InputMethodQuery(Qt::InputMethodQuery query) const override;

    // WM_IME_COMPOSITION: hands the stored event to the focused control; a
    // control that takes no input method events gets the committed text as
    // characters.
    void Deliver(WPARAM token);
    // The control focus moved inside the window: the input method forgets a
    // composition of the old control and asks again whether text is taken.
    void FocusMoved(bool previousTookText);

    // The input-method client of a control, null when it takes no text.
    static IInputMethodClientUI* ClientOf(CControlUI* control);
    // Whether the control has the focus of a window that has the keyboard
    // focus of the application, so that the input method talks to it.
    static bool HasInputFocus(const CControlUI* control);
    // QInputMethod::update, commit and reset on behalf of a control; they do
    // nothing while the control does not have the input focus.
    static void Update(const CControlUI* control, Qt::InputMethodQueries queries);
    static void Commit(const CControlUI* control);
    static void Reset(const CControlUI* control);

private:
    CPaintManagerUI& manager;
    HWND window;
};
