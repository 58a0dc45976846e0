#pragma once

// IControlObserverUI: hears, from a paint manager, that one of its controls
// changed in a way that someone outside the drawing (a screen reader) has to
// know: it took the focus, its selection, name, value, text, caret,
// visibility, enabled state or children changed, or it left the tree. The controls say
// so through CPaintManagerUI::NotifyControlChanged; the manager calls
// ControlReaped from ReapObjects, while the control is still whole.
//
// GUI thread only. An observer must not remove controls from inside a call.

class CControlUI;

enum class EControlChange
{
    Focus,
    Selection,
    Name,
    Value,
    Text,
    Caret,          // an edit's caret or selection moved
    Visibility,
    Enabled,
    Children,
};

class IControlObserverUI
{
public:
    virtual void ControlChanged(CControlUI* control, EControlChange change) = 0;
    virtual void ControlReaped(CControlUI* control) = 0;

protected:
    ~IControlObserverUI() = default;
};
