#include "uilib/controls/LabelUI.h"

#include "uilib/controls/BadAttributeValue.h"
#include "uilib/core/ValueParsers.h"
#include "uilib/render/RenderEngine.h"
#include "uilib/window/PaintManagerUI.h"

#include <cstring>

CLabelUI::CLabelUI()
    : textStyle(DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS)
{
}

const char* CLabelUI::GetClass() const
{
    return "LabelUI";
}

void* CLabelUI::GetInterface(const char* name)
{
    if (name != nullptr && std::strcmp(name, "Label") == 0) {
        return this;
    }
    return CControlUI::GetInterface(name);
}

UINT CLabelUI::GetTextStyle() const
{
    return textStyle;
}

void CLabelUI::SetTextStyle(UINT style)
{
    textStyle = style;
    Invalidate();
}

int CLabelUI::GetFont() const
{
    return fontIndex;
}

void CLabelUI::SetFont(int index)
{
    fontIndex = index;
    Invalidate();
}

DWORD CLabelUI::GetTextColor() const
{
    return textColor;
}

void CLabelUI::SetTextColor(DWORD argb)
{
    textColor = argb;
    Invalidate();
}

DWORD CLabelUI::GetDisabledTextColor() const
{
    return disabledTextColor;
}

void CLabelUI::SetDisabledTextColor(DWORD argb)
{
    disabledTextColor = argb;
    Invalidate();
}

RECT CLabelUI::GetTextPadding() const
{
    return textPadding;
}

void CLabelUI::SetTextPadding(RECT padding)
{
    textPadding = padding;
    Invalidate();
}

void CLabelUI::SetAttribute(const char* name, const char* value)
{
    constexpr UINT horizontalFlags = DT_LEFT | DT_CENTER | DT_RIGHT;
    constexpr UINT verticalFlags = DT_TOP | DT_VCENTER | DT_BOTTOM;
    if (std::strcmp(name, "font") == 0) {
        LONG index = 0;
        if (ParseInt(value, &index)) {
            SetFont(index);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else if (std::strcmp(name, "textcolor") == 0) {
        DWORD argb = 0;
        if (ParseColor(value, &argb)) {
            SetTextColor(argb);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else if (std::strcmp(name, "disabledtextcolor") == 0) {
        DWORD argb = 0;
        if (ParseColor(value, &argb)) {
            SetDisabledTextColor(argb);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else if (std::strcmp(name, "align") == 0) {
        UINT flag = 0;
        if (std::strcmp(value, "left") == 0) {
            flag = DT_LEFT;
        } else if (std::strcmp(value, "center") == 0) {
            flag = DT_CENTER;
        } else if (std::strcmp(value, "right") == 0) {
            flag = DT_RIGHT;
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
            return;
        }
        SetTextStyle((textStyle & ~horizontalFlags) | flag);
    } else if (std::strcmp(name, "valign") == 0) {
        UINT flag = 0;
        if (std::strcmp(value, "top") == 0) {
            flag = DT_TOP;
        } else if (std::strcmp(value, "vcenter") == 0 || std::strcmp(value, "center") == 0) {
            flag = DT_VCENTER;
        } else if (std::strcmp(value, "bottom") == 0) {
            flag = DT_BOTTOM;
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
            return;
        }
        SetTextStyle((textStyle & ~verticalFlags) | flag);
    } else if (std::strcmp(name, "textpadding") == 0) {
        RECT padding = {0, 0, 0, 0};
        if (ParseRect(value, &padding)) {
            SetTextPadding(padding);
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else if (std::strcmp(name, "endellipsis") == 0) {
        bool on = false;
        if (ParseBool(value, &on)) {
            SetTextStyle(on ? (textStyle | DT_END_ELLIPSIS) : (textStyle & ~DT_END_ELLIPSIS));
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else if (std::strcmp(name, "multiline") == 0) {
        bool on = false;
        if (ParseBool(value, &on)) {
            SetTextStyle(on ? ((textStyle & ~DT_SINGLELINE) | DT_WORDBREAK)
                            : ((textStyle & ~DT_WORDBREAK) | DT_SINGLELINE));
        } else {
            ReportBadAttributeValue(GetClass(), name, value);
        }
    } else {
        CControlUI::SetAttribute(name, value);
    }
}

DWORD CLabelUI::GetCurrentTextColor() const
{
    // Opaque black and grey stand in for the window's defaults while the
    // label has no window yet.
    constexpr DWORD fallbackColor = 0xFF000000;
    constexpr DWORD fallbackDisabledColor = 0xFF808080;
    if (!IsEnabled()) {
        if ((disabledTextColor >> 24) != 0) {
            return disabledTextColor;
        }
        return manager != nullptr ? manager->GetDefaultDisabledColor() : fallbackDisabledColor;
    }
    if ((textColor >> 24) != 0) {
        return textColor;
    }
    return manager != nullptr ? manager->GetDefaultFontColor() : fallbackColor;
}

RECT CLabelUI::GetTextRect() const
{
    return RECT{pos.left + textPadding.left, pos.top + textPadding.top, pos.right - textPadding.right,
                pos.bottom - textPadding.bottom};
}

void CLabelUI::PaintText(HDC painter)
{
    if (text.IsEmpty()) {
        return;
    }
    CRenderEngine::DrawText(painter, manager, GetTextRect(), text, GetCurrentTextColor(), fontIndex, textStyle);
}
