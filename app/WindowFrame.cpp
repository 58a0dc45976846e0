#include "app/WindowFrame.h"

#include <cstring>

namespace WindowFrame {

void StripCaption(HWND window, MaximizeBox maximizeBox)
{
    // Window styles are 32-bit masks; LONG is signed, so go through DWORD.
    auto style = static_cast<DWORD>(::GetWindowLong(window, GWL_STYLE));
    style &= ~WS_CAPTION;
    if (maximizeBox == MaximizeBox::Clear)
        style &= ~WS_MAXIMIZEBOX;
    style |= WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    ::SetWindowLong(window, GWL_STYLE, static_cast<LONG>(style));
}

void BuildWindow(HWND window, CPaintManagerUI& manager, IMessageFilterUI* filter, INotifyUI* notifier,
                 const char* layout, MaximizeBox maximizeBox)
{
    StripCaption(window, maximizeBox);
    manager.Init(window);
    manager.AddPreMessageFilter(filter);
    CDialogBuilder builder;
    manager.AttachDialog(builder.Create(layout, nullptr, nullptr, &manager, nullptr));
    manager.AddNotifier(notifier);
}

LRESULT CaptionHitTest(HWND window, CPaintManagerUI& manager, LPARAM lParam)
{
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ScreenToClient(window, &point);

    RECT client = {};
    ::GetClientRect(window, &client);
    const RECT caption = manager.GetCaptionRect();

    if (point.x < client.left + caption.left || point.x >= client.right - caption.right ||
        point.y < caption.top || point.y >= caption.bottom)
        return HTCLIENT;

    CControlUI* control = manager.FindControl(point);
    // Buttons and text entries in the caption band take their clicks.
    if (control != nullptr && std::strcmp(control->GetClass(), "ButtonUI") != 0 &&
        std::strcmp(control->GetClass(), "EditUI") != 0)
        return HTCAPTION;
    return HTCLIENT;
}

void ApplyRoundRegion(HWND window, CPaintManagerUI& manager)
{
    const SIZE corner = manager.GetRoundCorner();
    if (::IsIconic(window) || (corner.cx == 0 && corner.cy == 0))
        return;
    RECT bounds = {};
    ::GetWindowRect(window, &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    HRGN region = ::CreateRoundRectRgn(0, 0, width + 1, height + 1, corner.cx, corner.cy);
    ::SetWindowRgn(window, region, TRUE); // the window owns the region now
}

LRESULT OnNcActivate(HWND window, WPARAM wParam, bool& handled)
{
    if (::IsIconic(window)) {
        handled = false;
        return 0;
    }
    return wParam == FALSE ? TRUE : FALSE;
}

bool HandleFrameMessage(HWND window, CPaintManagerUI& manager, UINT message, WPARAM wParam, LPARAM lParam,
                        LRESULT& result, bool& handled)
{
    handled = true;
    result = 0;
    switch (message) {
    case WM_SIZE:
        ApplyRoundRegion(window, manager);
        handled = false;
        return true;
    case WM_NCCALCSIZE:
    case WM_NCPAINT:
        return true;
    case WM_NCHITTEST:
        result = CaptionHitTest(window, manager, lParam);
        return true;
    case WM_NCACTIVATE:
        result = OnNcActivate(window, wParam, handled);
        return true;
    default:
        return false;
    }
}

LRESULT FilterKeys(CWindowWnd& window, CPaintManagerUI& manager, UINT message, WPARAM wParam)
{
    if (message != WM_KEYDOWN)
        return 0;
    if (wParam == VK_ESCAPE) {
        // A focused entry takes Escape itself (it ends a composition, clears
        // its text, or gives the focus back); the key claims of the message
        // loop hand it there first. Only with nothing of the kind focused
        // does Escape quit.
        CControlUI* focus = manager.GetFocus();
        if (focus != nullptr && (focus->GetKeyClaims() & DLGC_WANTALLKEYS) != 0)
            return 0;
        ::PostQuitMessage(0);
        return 1;
    }
    if (wParam == VK_RETURN) {
        CControlUI* account = manager.FindControl("accountedit");
        CControlUI* password = manager.FindControl("pwdedit");
        if (account == nullptr || password == nullptr)
            return 0; // no account form: Enter goes on to the controls
        if (account->GetText().IsEmpty())
            account->SetFocus();
        else if (password->GetText().IsEmpty())
            password->SetFocus();
        else
            window.Close(IDOK);
        return 1;
    }
    return 0;
}

} // namespace WindowFrame
