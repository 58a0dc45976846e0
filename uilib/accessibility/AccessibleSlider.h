#pragma once

// CAccessibleSlider: a progress bar or slider (CProgressUI) with the value
// interface. A reader's new value is set as the user's hand sets it
// (CProgressUI::SetValueByUser), so the window applies and keeps it as it
// does a drag; a progress bar's value is read only.

#include "uilib/accessibility/AccessibleControl.h"

class CProgressUI;

class CAccessibleSlider : public CAccessibleControl, public QAccessibleValueInterface
{
public:
    CAccessibleSlider(HWND window, CControlUI* control);

    void* interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    CProgressUI* Progress() const;
};
