#pragma once

// CEditUI: a single-line text entry, self-drawn like every control. It keeps
// its text in a CLineEditModel (text, caret, selection, undo) and handles
// the keys, the mouse and the input method around it:
//   keys    typing (any Unicode text), Left/Right by whole characters,
//           Ctrl+Left/Right by words, Home/End, Shift with any of them to
//           select, Backspace/Delete (Ctrl: a word), Ctrl+A/C/X/V/Z,
//           Ctrl+Shift+Z or Ctrl+Y to redo; Enter notifies "return"; Escape
//           clears the text, or in an empty entry gives the focus back.
//   mouse   a click places the caret (Shift: extends the selection), a drag
//           selects, a double click selects a word, a third click all; on
//           X11 a selection is offered as the primary selection and a middle
//           click pastes it.
//   input   the input method's pre-edit text is drawn at the caret,
//   method  underlined, and never enters the text or the undo history until
//           it is committed; the candidate window is placed at the caret.
// While it has the focus the entry claims its keys (Space, Ctrl+arrows,
// Escape ...) before the windows' own key filters see them; Enter and Tab
// pass the filters first (a dialog's form), then reach the entry.
//
// It notifies "textchanged" when the user changed the text and "return" on
// Enter; SetText does not notify. The caret blinks at the desktop's cursor
// flash rate on a timer of the paint manager.
//
// Attributes (beside CLabelUI's: font, textcolor, disabledtextcolor,
// textpadding, align is ignored): text, placeholder (shown while empty),
// placeholdercolor, maxchar (maximum length, 0 for none), readonly,
// selectedbkcolor, selectedtextcolor, caretcolor, and the state pictures
// normalimage, hotimage, focusedimage, disabledimage.
//
// Its model and drawing state live in EditUI.cpp, so this header stays free
// of Qt for the system's code.

#include "uilib/controls/LabelUI.h"

#include <memory>

class CEditUI : public CLabelUI
{
public:
    CEditUI();
    ~CEditUI() override;

    const char* GetClass() const override;
    void* GetInterface(const char* name) override;

    // The text as UTF-8; SetText puts the caret at the end, forgets the undo
    // history and any composition, and does not notify.
    CStdString GetText() const override;
    void SetText(const char* text) override;

    CStdString GetPlaceholder() const;
    void SetPlaceholder(const char* text);
    DWORD GetPlaceholderColor() const;
    void SetPlaceholderColor(DWORD argb);
    // UTF-16 units as the input method counts them; 0 for no limit.
    int GetMaxChar() const;
    void SetMaxChar(int length);
    bool IsReadOnly() const;
    void SetReadOnly(bool readOnly);

    // Byte offsets into GetText() would split characters: these count
    // UTF-16 units, as the input method does.
    int GetCaretPosition() const;
    // The other end of the selection; the caret position when none.
    int GetAnchorPosition() const;
    void SetSelection(int anchor, int caret);
    CStdString GetSelectedText() const;
    void SelectAll();

    DWORD GetSelectedBkColor() const;
    void SetSelectedBkColor(DWORD argb);
    DWORD GetSelectedTextColor() const;
    void SetSelectedTextColor(DWORD argb);

    CStdString GetNormalImage() const;
    void SetNormalImage(const char* attributeList);
    CStdString GetHotImage() const;
    void SetHotImage(const char* attributeList);
    CStdString GetFocusedImage() const;
    void SetFocusedImage(const char* attributeList);
    CStdString GetDisabledImage() const;
    void SetDisabledImage(const char* attributeList);

    // The input method's pre-edit text shown at the caret, as UTF-8.
    CStdString GetPreeditText() const;

    UINT GetKeyClaims() const override;
    bool IsFocusable() const override;
    void SetEnabled(bool enabled) override;
    void SetVisible(bool visible) override;
    bool Activate() override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const char* name, const char* value) override;
    void PaintStatusImage(HDC painter) override;
    void PaintText(HDC painter) override;

private:
    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};
