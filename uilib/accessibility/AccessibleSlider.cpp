#include "uilib/accessibility/AccessibleSlider.h"

#include "uilib/controls/ProgressUI.h"

CAccessibleSlider::CAccessibleSlider(HWND window, CControlUI* control)
    : CAccessibleControl(window, control)
{
}

CProgressUI* CAccessibleSlider::Progress() const
{
    CControlUI* own = Control();
    return own != nullptr ? static_cast<CProgressUI*>(own->GetInterface("Progress")) : nullptr;
}

void* CAccessibleSlider::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface) {
        return static_cast<QAccessibleValueInterface*>(this);
    }
    return CAccessibleControl::interface_cast(type);
}

QVariant CAccessibleSlider::currentValue() const
{
    CProgressUI* progress = Progress();
    return progress != nullptr ? QVariant(progress->GetValue()) : QVariant();
}

void CAccessibleSlider::setCurrentValue(const QVariant& value)
{
    CProgressUI* progress = Progress();
    bool isNumber = false;
    const double wanted = value.toDouble(&isNumber);
    if (progress == nullptr || !isNumber || !progress->IsSlider()) {
        return;
    }
    // Out-of-range numbers (and NaN) land on an end of the range.
    const double clamped = wanted >= progress->GetMaxValue()   ? progress->GetMaxValue()
                           : wanted >= progress->GetMinValue() ? wanted
                                                               : progress->GetMinValue();
    // Last: the window's handler of the change may do anything.
    progress->SetValueByUser(static_cast<int>(clamped + 0.5));
}

QVariant CAccessibleSlider::maximumValue() const
{
    CProgressUI* progress = Progress();
    return progress != nullptr ? QVariant(progress->GetMaxValue()) : QVariant();
}

QVariant CAccessibleSlider::minimumValue() const
{
    CProgressUI* progress = Progress();
    return progress != nullptr ? QVariant(progress->GetMinValue()) : QVariant();
}

QVariant CAccessibleSlider::minimumStepSize() const
{
    CProgressUI* progress = Progress();
    return progress != nullptr ? QVariant(progress->GetStep()) : QVariant();
}
