#include "app/AboutDlg.h"

CAboutDlg::CAboutDlg(const char* background, const char* foreground)
    : CDialogWnd("aboutDlg.xml", background, foreground)
{
}

const char* CAboutDlg::GetWindowClassName() const
{
    return "UIAbout";
}

void CAboutDlg::Notify(TNotifyUI& msg)
{
    if (msg.sType == "click" && msg.pSender != nullptr && msg.pSender->GetName() == "closebtn")
        Close(IDCANCEL);
}
