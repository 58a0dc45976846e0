#pragma once

// CAboutDlg: the modal about dialog, opened from the tray menu. Its texts are
// in its layout; it wears the main window's current background.

#include "app/DialogWnd.h"

class CAboutDlg : public CDialogWnd
{
public:
    CAboutDlg(const char* background, const char* foreground);
    void Notify(TNotifyUI& msg) override;

protected:
    const char* GetWindowClassName() const override;
};
