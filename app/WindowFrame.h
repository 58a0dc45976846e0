#pragma once

// The frame treatment every window of the player shares (main window, tray
// menu, skin and about dialogs): no system frame, a band of the layout that
// drags the window, rounded corners, activation that paints nothing, and the
// keyboard filter (Escape ends the program; Enter moves through an account
// form or closes the window).

#include "uilib/UIlib.h"

namespace WindowFrame {

// Style of a window once it is created: no caption, clipping on.
// Only the tray menu keeps its maximise-box bit.
enum class MaximizeBox { Clear, Keep };
void StripCaption(HWND window, MaximizeBox maximizeBox);

// WM_CREATE of every window: the style change, the paint manager on the
// window with `filter` as its key filter, the layout built and attached, and
// `notifier` hearing the controls.
void BuildWindow(HWND window, CPaintManagerUI& manager, IMessageFilterUI* filter, INotifyUI* notifier,
                 const char* layout, MaximizeBox maximizeBox);

// WM_NCHITTEST: HTCAPTION inside the layout's caption band over anything but a
// plain button, HTCLIENT everywhere else.
LRESULT CaptionHitTest(HWND window, CPaintManagerUI& manager, LPARAM lParam);

// WM_SIZE: gives the window a region rounded with the layout's corner size,
// one pixel wider and higher than the window; nothing while minimised or for
// a 0 by 0 corner. The message is always passed on.
void ApplyRoundRegion(HWND window, CPaintManagerUI& manager);

// WM_NCACTIVATE: default processing while minimised (handled = false);
// otherwise handled, TRUE for wParam FALSE and FALSE for TRUE.
LRESULT OnNcActivate(HWND window, WPARAM wParam, bool& handled);

// The frame rows every window answers alike: WM_SIZE (rounded region, then
// passed on), WM_NCCALCSIZE and WM_NCPAINT (0: no frame), WM_NCHITTEST (the
// caption test) and WM_NCACTIVATE. False for any other message; otherwise
// `result` holds the answer and `handled` says whether it is final.
bool HandleFrameMessage(HWND window, CPaintManagerUI& manager, UINT message, WPARAM wParam, LPARAM lParam,
                        LRESULT& result, bool& handled);

// The pre-message filter: looks at WM_KEYDOWN only and never marks the
// message handled. Answers 1 for Escape (after posting the quit message) and
// for Enter in a layout with "accountedit" and "pwdedit"; 0 otherwise.
LRESULT FilterKeys(CWindowWnd& window, CPaintManagerUI& manager, UINT message, WPARAM wParam);

} // namespace WindowFrame
