#pragma once

// CDialogWnd: what the skin and about dialogs share. A frameless window built
// from one layout, dressed in the main window's background, with a caption
// band, rounded corners, the keyboard filter, the system close command
// posting the quit message, and self-deletion after its last message. A
// dialog lives on the heap; the opener creates it, runs it modally and never
// touches it again.
//
// One dialog at a time: the notification-area menu stays usable while a
// dialog runs modally, so an opener asks BringRunningDialogForward first and
// opens nothing when a dialog is already up. Two nested modal runs would
// otherwise leave the main window enabled (the inner run enables its owner
// when it ends) while the outer dialog is still open.

#include "uilib/UIlib.h"

class CDialogWnd : public CWindowWnd, public INotifyUI, public IMessageFilterUI
{
public:
    CDialogWnd(const char* layout, const char* background, const char* foreground);

    LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

    // The window of the dialog that is open now, or null.
    static HWND OpenDialog();
    // Shows the open dialog in front and gives it the keyboard; false when
    // no dialog is open.
    static bool BringRunningDialogForward();

    CPaintManagerUI paintManager;
    CStdString background;
    CStdString foreground;
    CControlUI* mainFrame = nullptr;

protected:
    UINT GetClassStyle() const override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND window) override;
    // Runs at the end of WM_CREATE, after the layout is attached.
    virtual void InitialiseDialog();

private:
    CStdString layoutFile;
};
