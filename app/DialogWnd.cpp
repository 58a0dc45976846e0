#include "app/DialogWnd.h"

#include "app/WindowFrame.h"

#include <algorithm>
#include <vector>

namespace {

// Windows of the dialogs that exist, oldest first: from WM_CREATE to the
// last message.
std::vector<HWND>& OpenDialogs()
{
    static std::vector<HWND> dialogs;
    return dialogs;
}

} // namespace

CDialogWnd::CDialogWnd(const char* layout, const char* backgroundImage, const char* foreImage)
    : background(backgroundImage)
    , foreground(foreImage)
    , layoutFile(layout)
{
}

UINT CDialogWnd::GetClassStyle() const
{
    return CS_SAVEBITS | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW; // 2059
}

LRESULT CDialogWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    bool handled = true;
    LRESULT result = 0;
    switch (message) {
    case WM_CREATE: {
        OpenDialogs().push_back(hWnd);
        WindowFrame::BuildWindow(hWnd, paintManager, this, this, layoutFile, WindowFrame::MaximizeBox::Clear);
        InitialiseDialog();
        break;
    }
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE)
            ::PostQuitMessage(0);
        handled = false;
        break;
    default:
        // The frame rows all windows share, or default processing.
        if (!WindowFrame::HandleFrameMessage(hWnd, paintManager, message, wParam, lParam, result, handled))
            handled = false;
        break;
    }
    if (handled)
        return result;
    if (paintManager.MessageHandler(message, wParam, lParam, result))
        return result;
    return CWindowWnd::HandleMessage(message, wParam, lParam);
}

void CDialogWnd::InitialiseDialog()
{
    mainFrame = paintManager.FindControl("mainframe");
    if (mainFrame != nullptr) {
        mainFrame->SetBkImage(background);
        mainFrame->SetForeImage(foreground);
    }
}

LRESULT CDialogWnd::MessageHandler(UINT message, WPARAM wParam, LPARAM /*lParam*/, bool& /*handled*/)
{
    return WindowFrame::FilterKeys(*this, paintManager, message, wParam);
}

HWND CDialogWnd::OpenDialog()
{
    const auto& dialogs = OpenDialogs();
    return dialogs.empty() ? nullptr : dialogs.back();
}

bool CDialogWnd::BringRunningDialogForward()
{
    HWND dialog = OpenDialog();
    if (dialog == nullptr)
        return false;
    ::ShowWindow(dialog, SW_SHOWNORMAL);
    ::SetForegroundWindow(dialog);
    ::SetFocus(dialog);
    return true;
}

void CDialogWnd::OnFinalMessage(HWND window)
{
    auto& dialogs = OpenDialogs();
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), window), dialogs.end());
    paintManager.RemovePreMessageFilter(this);
    delete this;
}
