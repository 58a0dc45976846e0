#include "uilib/controls/ButtonUI.h"

#include "uilib/controls/BadAttributeValue.h"
#include "uilib/core/ValueParsers.h"
#include "uilib/window/PaintManagerUI.h"

#include <cstring>

CButtonUI::CButtonUI()
{
    textStyle = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;
}

const char* CButtonUI::GetClass() const
{
    return "ButtonUI";
}

void* CButtonUI::GetInterface(const char* name)
{
    if (name != nullptr && std::strcmp(name, "Button") == 0) {
        return this;
    }
    return CLabelUI::GetInterface(name);
}

void CButtonUI::SetImage(CStdString& text, TImageInfo& info, const char* attributeList)
{
    text = attributeList;
    if (!ParseImageInfo(text, &info)) {
        ReportBadAttributeValue(GetClass(), "image", attributeList);
    }
    Invalidate();
}

CStdString CButtonUI::GetNormalImage() const
{
    return normalImage;
}

void CButtonUI::SetNormalImage(const char* attributeList)
{
    SetImage(normalImage, normalImageInfo, attributeList);
}

CStdString CButtonUI::GetHotImage() const
{
    return hotImage;
}

void CButtonUI::SetHotImage(const char* attributeList)
{
    SetImage(hotImage, hotImageInfo, attributeList);
}

CStdString CButtonUI::GetPushedImage() const
{
    return pushedImage;
}

void CButtonUI::SetPushedImage(const char* attributeList)
{
    SetImage(pushedImage, pushedImageInfo, attributeList);
}

CStdString CButtonUI::GetFocusedImage() const
{
    return focusedImage;
}

void CButtonUI::SetFocusedImage(const char* attributeList)
{
    SetImage(focusedImage, focusedImageInfo, attributeList);
}

CStdString CButtonUI::GetDisabledImage() const
{
    return disabledImage;
}

void CButtonUI::SetDisabledImage(const char* attributeList)
{
    SetImage(disabledImage, disabledImageInfo, attributeList);
}

DWORD CButtonUI::GetHotTextColor() const
{
    return hotTextColor;
}

void CButtonUI::SetHotTextColor(DWORD argb)
{
    hotTextColor = argb;
    Invalidate();
}

DWORD CButtonUI::GetPushedTextColor() const
{
    return pushedTextColor;
}

void CButtonUI::SetPushedTextColor(DWORD argb)
{
    pushedTextColor = argb;
    Invalidate();
}

DWORD CButtonUI::GetFocusedTextColor() const
{
    return focusedTextColor;
}

void CButtonUI::SetFocusedTextColor(DWORD argb)
{
    focusedTextColor = argb;
    Invalidate();
}

bool CButtonUI::IsHot() const
{
    return hot;
}

bool CButtonUI::IsPushed() const
{
    return pushed;
}

void CButtonUI::ResetMouseState()
{
    if (hot || pressing || pushed) {
        hot = false;
        pressing = false;
        pushed = false;
        Invalidate();
    }
}

void CButtonUI::SetEnabled(bool enabled)
{
    if (!enabled) {
        ResetMouseState();
    }
    CLabelUI::SetEnabled(enabled);
}

void CButtonUI::SetVisible(bool visible)
{
    if (!visible) {
        ResetMouseState();
    }
    CLabelUI::SetVisible(visible);
}

bool CButtonUI::Activate()
{
    if (!CLabelUI::Activate()) {
        return false;
    }
    if (manager != nullptr) {
        manager->SendNotify(this, "click");
    }
    return true;
}

bool CButtonUI::IsFocusable() const
{
    return IsKeyboardEnabled();
}

UINT CButtonUI::GetKeyClaims() const
{
    if (manager == nullptr || !IsFocused() || !manager->IsFocusVisible()) {
        return 0;
    }
    return DLGC_WANTCHARS | DLGC_WANTRETURN;
}

void CButtonUI::DoEvent(TEventUI& event)
{
    switch (event.Type) {
    case UIEVENT_MOUSEENTER:
        if (IsEnabled() && !hot) {
            hot = true;
            Invalidate();
        }
        break;
    case UIEVENT_MOUSELEAVE:
        if (hot) {
            hot = false;
            Invalidate();
        }
        break;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        // A double click's second press is a press like the first; the base
        // then notifies "dbclick" for it.
        if (IsEnabled() && IsPointInside(event.ptMouse)) {
            pressing = true;
            pushed = true;
            Invalidate();
        }
        if (event.Type == UIEVENT_DBLCLICK) {
            CLabelUI::DoEvent(event);
        }
        break;
    case UIEVENT_MOUSEMOVE:
        if (pressing) {
            // While pressed, the look follows whether a release here would
            // click: pushed inside, raised outside.
            const bool inside = IsPointInside(event.ptMouse);
            if (inside != pushed) {
                pushed = inside;
                Invalidate();
            }
        }
        break;
    case UIEVENT_BUTTONUP:
        if (pressing) {
            pressing = false;
            pushed = false;
            Invalidate();
            if (IsPointInside(event.ptMouse)) {
                // Last: the click's receiver may remove this button.
                Activate();
            }
        }
        break;
    case UIEVENT_KILLFOCUS:
        Invalidate();
        CLabelUI::DoEvent(event);
        break;
    case UIEVENT_SETFOCUS:
        Invalidate();
        CLabelUI::DoEvent(event);
        break;
    default:
        CLabelUI::DoEvent(event);
        break;
    }
}

void CButtonUI::SetAttribute(const char* name, const char* value)
{
    if (std::strcmp(name, "normalimage") == 0) {
        SetNormalImage(value);
    } else if (std::strcmp(name, "hotimage") == 0) {
        SetHotImage(value);
    } else if (std::strcmp(name, "pushedimage") == 0) {
        SetPushedImage(value);
    } else if (std::strcmp(name, "focusedimage") == 0) {
        SetFocusedImage(value);
    } else if (std::strcmp(name, "disabledimage") == 0) {
        SetDisabledImage(value);
    } else if (std::strcmp(name, "hottextcolor") == 0) {
        DWORD argb = 0;
        if (ParseColor(value, &argb)) {
            SetHotTextColor(argb);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else if (std::strcmp(name, "pushedtextcolor") == 0) {
        DWORD argb = 0;
        if (ParseColor(value, &argb)) {
            SetPushedTextColor(argb);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else if (std::strcmp(name, "focusedtextcolor") == 0) {
        DWORD argb = 0;
        if (ParseColor(value, &argb)) {
            SetFocusedTextColor(argb);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else {
        CLabelUI::SetAttribute(name, value);
    }
}

void CButtonUI::PaintStatusImage(HDC painter)
{
    const TImageInfo* image = &normalImageInfo;
    if (!IsEnabled()) {
        if (!disabledImageInfo.IsEmpty()) {
            image = &disabledImageInfo;
        }
    } else if (pushed && !pushedImageInfo.IsEmpty()) {
        image = &pushedImageInfo;
    } else if (hot && !hotImageInfo.IsEmpty()) {
        image = &hotImageInfo;
    } else if (IsFocused() && !focusedImageInfo.IsEmpty()) {
        image = &focusedImageInfo;
    }
    if (!image->IsEmpty()) {
        DrawImage(painter, *image);
    }
}

DWORD CButtonUI::GetCurrentTextColor() const
{
    if (IsEnabled()) {
        if (pushed && (pushedTextColor >> 24) != 0) {
            return pushedTextColor;
        }
        if (hot && (hotTextColor >> 24) != 0) {
            return hotTextColor;
        }
        if (IsFocused() && (focusedTextColor >> 24) != 0) {
            return focusedTextColor;
        }
    }
    return CLabelUI::GetCurrentTextColor();
}
