#pragma once

// CFocusManager: the keyboard half of a window's focus, owned by its paint
// manager. The focused control itself stays the manager's, and every move
// goes through CPaintManagerUI::SetFocus; this class decides where the keys
// move it and whether the focus ring shows.
//
// Keys it takes before the focused control (unless that control claims them
// through GetKeyClaims):
//   Tab / Shift+Tab  the next / previous tab stop, wrapping inside the window;
//   arrows           on an option of a group: the neighbouring option of the
//                    group, by rectangles (a page of stations is a grid); the
//                    focus moves, the selection stays (Space or Enter choose);
//   Page Up / Down,  on an option or a button inside a scrolling layout: about
//   Home / End       a page up or down, or the first / last of the page.
// The focused control is then scrolled into view.
//
// The ring: drawn around the focused control only after the keyboard moved
// the focus (its source), hidden again by a mouse press, as desktops do.
//
// Runs on the GUI thread.

#include "platform/win/Win.h"
#include "uilib/window/FocusNavigation.h"

class CControlUI;
class CPaintManagerUI;

class CFocusManager
{
public:
    explicit CFocusManager(CPaintManagerUI& manager);

    // A WM_KEYDOWN for the window; true when it moved the focus (or would
    // have, with nowhere to go) and the control must not see the key.
    bool HandleKeyDown(WPARAM key, LPARAM lParam);

    // Moves the focus to the next or previous tab stop, as Tab does; false
    // when the window has none.
    bool MoveFocus(EFocusMove move);
    // Gives the control the focus as the keyboard does: the ring shows and
    // the control is scrolled into view.
    void FocusByKeyboard(CControlUI* control);

    // The ring shows while the focus came from the keyboard and a control
    // has it.
    bool IsFocusVisible() const;
    // A mouse press: the ring goes until the keyboard moves the focus again.
    void HideRing();

    // 0xAARRGGBB, and the ring's width in pixels.
    DWORD GetRingColor() const;
    void SetRingColor(DWORD argb);
    int GetRingSize() const;
    void SetRingSize(int size);

    // Draws the ring over the painted tree (last of a paint), clipped to
    // what the focused control's ancestors show of it.
    void PaintRing(HDC painter, const RECT& paintRect) const;

    // Scrolls every scrolling layout around the control so that it shows.
    static void ScrollIntoView(CControlUI* control);

private:
    bool MoveInGroup(CControlUI* focus, WPARAM key);
    bool MoveInPage(CControlUI* focus, WPARAM key);
    void InvalidateRing() const;
    // The part of the focused control that its ancestors show.
    RECT ShownPart(CControlUI* control) const;

    CPaintManagerUI& manager;
    bool ringShown = false;
    DWORD ringColor;
    int ringSize;
};
