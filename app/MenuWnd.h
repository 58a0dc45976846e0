#pragma once

// CMenuWnd: the skinned popup menu of the notification-area icon. It opens at
// the pointer (to the left of it, or above it, where it would leave the
// primary screen), stays above other windows, closes itself as soon as it
// loses the keyboard focus, and reports a click on an entry to the main
// window as a notification whose type is the entry's name. Each menu object
// lives from the right-click that makes it until its window is gone.

#include "uilib/UIlib.h"

#include <vector>

class CMenuWnd : public CWindowWnd, public INotifyUI, public IMessageFilterUI
{
public:
    CMenuWnd() = default;

    // Opens the menu for `owner`, a control of the main window through whose
    // paint manager clicks are reported, at the screen point (x, y), built
    // from `layout`. The object must live on the heap: its window frees it.
    // Without an owner (or an owner outside any window) no window is made and
    // the object stays the caller's.
    void Popup(CControlUI* owner, int x, int y, const char* layout);

    // Places the menu window at menuPoint, topmost and without activating it:
    // its top-left corner at the point, or its right edge there where it would
    // cross the primary screen's right edge, and its bottom edge there where
    // it would cross the bottom edge.
    void FitToScreen();
    // Hides hiddenEntries and shortens the window by their heights.
    void HideEntries();

    void Notify(TNotifyUI& msg) override;
    LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

    CPaintManagerUI paintManager;
    POINT menuPoint = {0, 0};
    CControlUI* ownerControl = nullptr;
    CStdString layoutFile;
    // Entries of the layout left out of this menu (set before Popup); the
    // window loses their height.
    std::vector<CStdString> hiddenEntries;

protected:
    const char* GetWindowClassName() const override;
    UINT GetClassStyle() const override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND window) override;
};
