#include "uilib/controls/ProgressUI.h"

#include "uilib/controls/BadAttributeValue.h"
#include "uilib/core/ValueParsers.h"
#include "uilib/render/RenderEngine.h"
#include "uilib/window/PaintManagerUI.h"

#include <algorithm>
#include <cmath>
#include <cstring>

CProgressUI::CProgressUI()
{
    textStyle = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;
}

const char* CProgressUI::GetClass() const
{
    return "ProgressUI";
}

void* CProgressUI::GetInterface(const char* name)
{
    if (name != nullptr && std::strcmp(name, "Progress") == 0) {
        return this;
    }
    if (name != nullptr && slider && std::strcmp(name, "Slider") == 0) {
        return this;
    }
    return CLabelUI::GetInterface(name);
}

int CProgressUI::GetMinValue() const
{
    return minValue;
}

void CProgressUI::SetMinValue(int newValue)
{
    minValue = newValue;
    if (maxValue < minValue) {
        maxValue = minValue;
    }
    SetValue(value);
    Invalidate();
}

int CProgressUI::GetMaxValue() const
{
    return maxValue;
}

void CProgressUI::SetMaxValue(int newValue)
{
    maxValue = newValue;
    if (minValue > maxValue) {
        minValue = maxValue;
    }
    SetValue(value);
    Invalidate();
}

int CProgressUI::GetValue() const
{
    return value;
}

void CProgressUI::SetValue(int newValue)
{
    newValue = std::clamp(newValue, minValue, maxValue);
    if (newValue != value) {
        value = newValue;
        Invalidate();
        if (manager != nullptr) {
            manager->NotifyControlChanged(this, EControlChange::Value);
        }
    }
}

void CProgressUI::SetValueByUser(int newValue)
{
    if (!IsEnabled()) {
        return;
    }
    ChangeByUser(SnapToStep(std::clamp(newValue, minValue, maxValue)), EChangeEnd::Ends);
}

bool CProgressUI::IsHorizontal() const
{
    return horizontal;
}

void CProgressUI::SetHorizontal(bool newHorizontal)
{
    horizontal = newHorizontal;
    Invalidate();
}

bool CProgressUI::IsSlider() const
{
    return slider;
}

void CProgressUI::SetSlider(bool newSlider)
{
    slider = newSlider;
    dragging = false;
    thumbHot = false;
    Invalidate();
}

int CProgressUI::GetStep() const
{
    return step;
}

void CProgressUI::SetStep(int newStep)
{
    step = std::max(1, newStep);
}

void CProgressUI::SetThumbPicture(CStdString& text, TImageInfo& info, const char* attributeList)
{
    text = attributeList;
    if (!ParseImageInfo(text, &info)) {
        ReportBadAttributeValue(GetClass(), "thumb image", attributeList);
    }
    Invalidate();
}

CStdString CProgressUI::GetThumbImage() const
{
    return thumbImage;
}

void CProgressUI::SetThumbImage(const char* attributeList)
{
    SetThumbPicture(thumbImage, thumbImageInfo, attributeList);
}

CStdString CProgressUI::GetThumbHotImage() const
{
    return thumbHotImage;
}

void CProgressUI::SetThumbHotImage(const char* attributeList)
{
    SetThumbPicture(thumbHotImage, thumbHotImageInfo, attributeList);
}

CStdString CProgressUI::GetThumbPushedImage() const
{
    return thumbPushedImage;
}

void CProgressUI::SetThumbPushedImage(const char* attributeList)
{
    SetThumbPicture(thumbPushedImage, thumbPushedImageInfo, attributeList);
}

SIZE CProgressUI::GetThumbSize() const
{
    return thumbSize;
}

void CProgressUI::SetThumbSize(SIZE size)
{
    thumbSize = SIZE{std::max<LONG>(0, size.cx), std::max<LONG>(0, size.cy)};
    Invalidate();
}

SIZE CProgressUI::EffectiveThumbSize() const
{
    SIZE size = thumbSize;
    if (size.cx <= 0 || size.cy <= 0) {
        const SIZE picture = CRenderEngine::GetImageSize(manager, thumbImageInfo);
        if (picture.cx > 0 && picture.cy > 0) {
            size = picture;
        } else {
            const LONG side = horizontal ? pos.bottom - pos.top : pos.right - pos.left;
            size = SIZE{side, side};
        }
    }
    // A thumb never outgrows its control.
    size.cx = std::clamp<LONG>(size.cx, 0, std::max<LONG>(0, pos.right - pos.left));
    size.cy = std::clamp<LONG>(size.cy, 0, std::max<LONG>(0, pos.bottom - pos.top));
    return size;
}

double CProgressUI::Fraction() const
{
    if (maxValue <= minValue) {
        return 0.0;
    }
    return static_cast<double>(static_cast<long long>(value) - minValue) /
           static_cast<double>(static_cast<long long>(maxValue) - minValue);
}

RECT CProgressUI::GetThumbRect() const
{
    const SIZE size = EffectiveThumbSize();
    const LONG width = pos.right - pos.left;
    const LONG height = pos.bottom - pos.top;
    if (horizontal) {
        const LONG travel = std::max<LONG>(0, width - size.cx);
        const LONG left = pos.left + static_cast<LONG>(std::lround(Fraction() * travel));
        const LONG top = pos.top + (height - size.cy) / 2;
        return RECT{left, top, left + size.cx, top + size.cy};
    }
    const LONG travel = std::max<LONG>(0, height - size.cy);
    const LONG top = pos.bottom - size.cy - static_cast<LONG>(std::lround(Fraction() * travel));
    const LONG left = pos.left + (width - size.cx) / 2;
    return RECT{left, top, left + size.cx, top + size.cy};
}

int CProgressUI::SnapToStep(int candidate) const
{
    const long long steps = std::llround(static_cast<double>(static_cast<long long>(candidate) - minValue) / step);
    const long long snapped = minValue + steps * step;
    return static_cast<int>(std::clamp<long long>(snapped, minValue, maxValue));
}

int CProgressUI::StepFrom(int from, EDirection direction) const
{
    // The neighbouring mark of the step grid, so a value off the grid (the
    // maximum, or one set from code) steps onto it rather than past it.
    const long long offset = static_cast<long long>(from) - minValue;
    const long long marks = offset / step;
    const bool onMark = offset % step == 0;
    long long target = 0;
    if (direction == EDirection::Up) {
        target = minValue + (marks + 1) * step;
    } else {
        target = minValue + (onMark ? marks - 1 : marks) * step;
    }
    return static_cast<int>(std::clamp<long long>(target, minValue, maxValue));
}

int CProgressUI::ValueAtPoint(POINT point) const
{
    const SIZE size = EffectiveThumbSize();
    double along = 0.0;
    double travel = 0.0;
    if (horizontal) {
        travel = (pos.right - pos.left) - size.cx;
        along = static_cast<double>(point.x - grabOffset.x - pos.left);
    } else {
        travel = (pos.bottom - pos.top) - size.cy;
        along = static_cast<double>((pos.bottom - size.cy) - (point.y - grabOffset.y));
    }
    if (travel <= 0.0) {
        return minValue;
    }
    const double fraction = std::clamp(along / travel, 0.0, 1.0);
    const double range = static_cast<double>(static_cast<long long>(maxValue) - minValue);
    const long long candidate = minValue + std::llround(fraction * range);
    return SnapToStep(static_cast<int>(std::clamp<long long>(candidate, minValue, maxValue)));
}

int CProgressUI::PageFrom(int from, EDirection direction) const
{
    // Values per page: a tenth of the range (PAGE_PARTS), on the step grid.
    constexpr long long PAGE_PARTS = 10;
    const long long range = static_cast<long long>(maxValue) - minValue;
    const long long page = std::max<long long>(step, range / PAGE_PARTS / step * step);
    const long long target = direction == EDirection::Up ? from + page : from - page;
    return SnapToStep(static_cast<int>(std::clamp<long long>(target, minValue, maxValue)));
}

bool CProgressUI::IsFocusable() const
{
    return slider && IsKeyboardEnabled();
}

void CProgressUI::ChangeByUser(int newValue, EChangeEnd end)
{
    newValue = std::clamp(newValue, minValue, maxValue);
    if (newValue == value) {
        return;
    }
    SetValue(newValue);
    if (manager != nullptr) {
        manager->SendNotify(this, "valuechanging");
    }
    if (end == EChangeEnd::Ends && manager != nullptr) {
        manager->SendNotify(this, "valuechanged");
    }
}

void CProgressUI::SetEnabled(bool enabled)
{
    if (!enabled) {
        dragging = false;
        thumbHot = false;
    }
    CLabelUI::SetEnabled(enabled);
}

void CProgressUI::DoEvent(TEventUI& event)
{
    if (!slider || !IsEnabled()) {
        CLabelUI::DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK: {
        if (!IsPointInside(event.ptMouse)) {
            break;
        }
        const RECT thumb = GetThumbRect();
        const bool onThumb = UIPointInRect(thumb, event.ptMouse);
        if (onThumb) {
            grabOffset = POINT{event.ptMouse.x - thumb.left, event.ptMouse.y - thumb.top};
        } else {
            // A press on the track brings the thumb's middle under the mouse.
            const SIZE size = EffectiveThumbSize();
            grabOffset = POINT{size.cx / 2, size.cy / 2};
        }
        dragging = true;
        valueAtPress = value;
        Invalidate();
        if (!onThumb) {
            ChangeByUser(ValueAtPoint(event.ptMouse), EChangeEnd::Continues);
        }
        break;
    }
    case UIEVENT_MOUSEMOVE:
        if (dragging) {
            ChangeByUser(ValueAtPoint(event.ptMouse), EChangeEnd::Continues);
        } else {
            const bool overThumb = UIPointInRect(GetThumbRect(), event.ptMouse);
            if (overThumb != thumbHot) {
                thumbHot = overThumb;
                Invalidate();
            }
        }
        break;
    case UIEVENT_BUTTONUP:
        if (dragging) {
            ChangeByUser(ValueAtPoint(event.ptMouse), EChangeEnd::Continues);
            dragging = false;
            thumbHot = UIPointInRect(GetThumbRect(), event.ptMouse);
            Invalidate();
            if (value != valueAtPress && manager != nullptr) {
                manager->SendNotify(this, "valuechanged");
            }
        }
        break;
    case UIEVENT_MOUSELEAVE:
        if (thumbHot) {
            thumbHot = false;
            Invalidate();
        }
        break;
    case UIEVENT_SCROLLWHEEL: {
        const int delta = static_cast<short>(HIWORD(event.wParam));
        if (delta > 0) {
            ChangeByUser(StepFrom(value, EDirection::Up), EChangeEnd::Ends);
        } else if (delta < 0) {
            ChangeByUser(StepFrom(value, EDirection::Down), EChangeEnd::Ends);
        }
        break;
    }
    case UIEVENT_KEYDOWN: {
        const WPARAM key = event.wParam;
        if (key == VK_RIGHT || key == VK_UP) {
            ChangeByUser(StepFrom(value, EDirection::Up), EChangeEnd::Ends);
        } else if (key == VK_LEFT || key == VK_DOWN) {
            ChangeByUser(StepFrom(value, EDirection::Down), EChangeEnd::Ends);
        } else if (key == VK_PRIOR || key == VK_NEXT) {
            ChangeByUser(PageFrom(value, key == VK_PRIOR ? EDirection::Up : EDirection::Down), EChangeEnd::Ends);
        } else if (key == VK_HOME) {
            ChangeByUser(minValue, EChangeEnd::Ends);
        } else if (key == VK_END) {
            ChangeByUser(maxValue, EChangeEnd::Ends);
        } else {
            CLabelUI::DoEvent(event);
        }
        break;
    }
    default:
        CLabelUI::DoEvent(event);
        break;
    }
}

void CProgressUI::SetAttribute(const char* name, const char* attributeValue)
{
    LONG number = 0;
    bool flag = false;
    if (std::strcmp(name, "min") == 0) {
        if (ParseInt(attributeValue, &number)) {
            SetMinValue(number);
        } else {
            ReportBadAttributeValue(GetClass(), name, attributeValue);
        }
    } else if (std::strcmp(name, "max") == 0) {
        if (ParseInt(attributeValue, &number)) {
            SetMaxValue(number);
        } else {
            ReportBadAttributeValue(GetClass(), name, attributeValue);
        }
    } else if (std::strcmp(name, "value") == 0) {
        if (ParseInt(attributeValue, &number)) {
            SetValue(number);
        } else {
            ReportBadAttributeValue(GetClass(), name, attributeValue);
        }
    } else if (std::strcmp(name, "step") == 0) {
        if (ParseInt(attributeValue, &number)) {
            SetStep(number);
        } else {
            ReportBadAttributeValue(GetClass(), name, attributeValue);
        }
    } else if (std::strcmp(name, "horizontal") == 0) {
        if (ParseBool(attributeValue, &flag)) {
            SetHorizontal(flag);
        } else {
            ReportBadAttributeValue(GetClass(), name, attributeValue);
        }
    } else if (std::strcmp(name, "slider") == 0) {
        if (ParseBool(attributeValue, &flag)) {
            SetSlider(flag);
        } else {
            ReportBadAttributeValue(GetClass(), name, attributeValue);
        }
    } else if (std::strcmp(name, "thumbimage") == 0) {
        SetThumbImage(attributeValue);
    } else if (std::strcmp(name, "thumbhotimage") == 0) {
        SetThumbHotImage(attributeValue);
    } else if (std::strcmp(name, "thumbpushedimage") == 0) {
        SetThumbPushedImage(attributeValue);
    } else if (std::strcmp(name, "thumbsize") == 0) {
        SIZE size = {0, 0};
        if (ParseSize(attributeValue, &size)) {
            SetThumbSize(size);
        } else {
            ReportBadAttributeValue(GetClass(), name, attributeValue);
        }
    } else {
        CLabelUI::SetAttribute(name, attributeValue);
    }
}

void CProgressUI::PaintForeImage(HDC painter)
{
    RECT filled = pos;
    if (slider) {
        const RECT thumb = GetThumbRect();
        if (horizontal) {
            filled.right = (thumb.left + thumb.right) / 2;
        } else {
            filled.top = (thumb.top + thumb.bottom) / 2;
        }
    } else if (horizontal) {
        filled.right = pos.left + static_cast<LONG>(std::lround(Fraction() * (pos.right - pos.left)));
    } else {
        filled.top = pos.bottom - static_cast<LONG>(std::lround(Fraction() * (pos.bottom - pos.top)));
    }

    RECT clip = {0, 0, 0, 0};
    if (!foreImageInfo.IsEmpty() && UIIntersectRect(clip, filled, paintRect)) {
        CRenderEngine::DrawImage(painter, manager, pos, clip, foreImageInfo);
    }

    if (!slider) {
        return;
    }
    const TImageInfo* thumbPicture = &thumbImageInfo;
    if (dragging && !thumbPushedImageInfo.IsEmpty()) {
        thumbPicture = &thumbPushedImageInfo;
    } else if ((dragging || thumbHot) && !thumbHotImageInfo.IsEmpty()) {
        thumbPicture = &thumbHotImageInfo;
    }
    if (!thumbPicture->IsEmpty()) {
        // The thumb is its own little control: dest insets and centring
        // apply to its rectangle.
        CRenderEngine::DrawImage(painter, manager, GetThumbRect(), paintRect, *thumbPicture);
    }
}
