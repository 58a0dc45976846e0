#pragma once

// CButtonUI: a label that can be clicked. It shows a picture for its state
// (normal, under the mouse, pressed, focused, disabled) and notifies "click"
// when the left button is pressed and released over it, or when it has the
// keyboard focus and Enter or Space is pressed. A double click notifies
// "dbclick" as well (and, being a second press, a second "click" on release).
//
// Attributes (beside CLabelUI's): normalimage, hotimage, pushedimage,
// focusedimage, disabledimage (image attribute lists), hottextcolor,
// pushedtextcolor, focusedtextcolor. The text is centred unless align says
// otherwise. A state without a picture of its own shows normalimage.

#include "uilib/controls/LabelUI.h"

class CButtonUI : public CLabelUI
{
public:
    CButtonUI();

    const char* GetClass() const override;
    void* GetInterface(const char* name) override;

    // The image attribute lists as given.
    CStdString GetNormalImage() const;
    void SetNormalImage(const char* attributeList);
    CStdString GetHotImage() const;
    void SetHotImage(const char* attributeList);
    CStdString GetPushedImage() const;
    void SetPushedImage(const char* attributeList);
    CStdString GetFocusedImage() const;
    void SetFocusedImage(const char* attributeList);
    CStdString GetDisabledImage() const;
    void SetDisabledImage(const char* attributeList);

    // 0 (alpha 0): the state uses the text colour.
    DWORD GetHotTextColor() const;
    void SetHotTextColor(DWORD argb);
    DWORD GetPushedTextColor() const;
    void SetPushedTextColor(DWORD argb);
    DWORD GetFocusedTextColor() const;
    void SetFocusedTextColor(DWORD argb);

    // The mouse is over the button.
    bool IsHot() const;
    // The left button was pressed on the button and the mouse is over it.
    bool IsPushed() const;

    void SetEnabled(bool enabled) override;
    void SetVisible(bool visible) override;
    bool Activate() override;
    bool IsFocusable() const override;
    // Space and Enter, while the keyboard put the focus here (the ring
    // shows): they press the button rather than act for the window. After a
    // click they stay the window's (Space plays and pauses in the main
    // window).
    UINT GetKeyClaims() const override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const char* name, const char* value) override;
    void PaintStatusImage(HDC painter) override;

protected:
    DWORD GetCurrentTextColor() const override;
    // Forgets the hot and pressed states (the button went away or off).
    void ResetMouseState();
    // Parses an image attribute list into `info`, keeping the text in `text`.
    void SetImage(CStdString& text, TImageInfo& info, const char* attributeList);

    bool hot = false;
    // The left button went down on this button and is not yet released.
    bool pressing = false;
    bool pushed = false;

    CStdString normalImage;
    TImageInfo normalImageInfo;
    CStdString hotImage;
    TImageInfo hotImageInfo;
    CStdString pushedImage;
    TImageInfo pushedImageInfo;
    CStdString focusedImage;
    TImageInfo focusedImageInfo;
    CStdString disabledImage;
    TImageInfo disabledImageInfo;

    DWORD hotTextColor = 0;
    DWORD pushedTextColor = 0;
    DWORD focusedTextColor = 0;
};
