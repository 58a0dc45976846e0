#pragma once

// CLabelUI: a control that shows one text. The text is drawn in a font of
// the paint manager's font list, inside the control's rectangle less its text
// padding; by default on one line, at the left, vertically centred, and cut
// with "…" when it does not fit.
//
// Attributes (beside CControlUI's): font (index into the window's font list),
// textcolor, disabledtextcolor (#AARRGGBB or #RRGGBB; the window's defaults
// when absent), align (left, center, right), valign (top, vcenter, bottom),
// textpadding "l,t,r,b", endellipsis (true/false), multiline (true/false:
// word-wrapped lines instead of one line).

#include "uilib/controls/ControlUI.h"

class CLabelUI : public CControlUI
{
public:
    CLabelUI();

    const char* GetClass() const override;
    void* GetInterface(const char* name) override;

    // DT_* flags (uilib/window/UIDefines.h) of the text.
    UINT GetTextStyle() const;
    void SetTextStyle(UINT style);
    // -1 is the window's default font.
    int GetFont() const;
    void SetFont(int index);
    // 0 (alpha 0) means "the window's default colour".
    DWORD GetTextColor() const;
    void SetTextColor(DWORD argb);
    DWORD GetDisabledTextColor() const;
    void SetDisabledTextColor(DWORD argb);
    RECT GetTextPadding() const;
    void SetTextPadding(RECT padding);

    void SetAttribute(const char* name, const char* value) override;
    void PaintText(HDC painter) override;

protected:
    // The colour the text is drawn in right now; buttons choose by state.
    virtual DWORD GetCurrentTextColor() const;
    // The rectangle the text is laid out in: the control less its padding.
    RECT GetTextRect() const;

    UINT textStyle;
    int fontIndex = -1;
    DWORD textColor = 0;
    DWORD disabledTextColor = 0;
    RECT textPadding = {0, 0, 0, 0};
};
