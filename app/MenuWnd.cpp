#include "app/MenuWnd.h"

#include "app/WindowFrame.h"

const char* CMenuWnd::GetWindowClassName() const
{
    return "UIMenuFrame";
}

UINT CMenuWnd::GetClassStyle() const
{
    return CS_SAVEBITS | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
}

void CMenuWnd::Popup(CControlUI* owner, int x, int y, const char* layout)
{
    if (owner == nullptr || owner->GetManager() == nullptr)
        return;
    menuPoint = {x, y};
    ownerControl = owner;
    layoutFile = layout;

    Create(owner->GetManager()->GetPaintWindow(), "", WS_POPUP, WS_EX_TOOLWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
           CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
    HWND top = hWnd;
    while (HWND parent = ::GetParent(top))
        top = parent;
    ::ShowWindow(hWnd, SW_SHOW);
    ::SendMessage(top, WM_NCACTIVATE, TRUE, 0);
    ::SetForegroundWindow(hWnd);
}

void CMenuWnd::FitToScreen()
{
    RECT bounds = {};
    ::GetWindowRect(hWnd, &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    const int left = menuPoint.x + width <= screenWidth ? menuPoint.x : menuPoint.x - width;
    const int top = menuPoint.y + height <= screenHeight ? menuPoint.y : menuPoint.y - height;
    ::SetWindowPos(hWnd, HWND_TOPMOST, left, top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void CMenuWnd::HideEntries()
{
    int removed = 0;
    for (const CStdString& name : hiddenEntries) {
        CControlUI* entry = paintManager.FindControl(name);
        if (entry == nullptr || !entry->IsVisible())
            continue;
        removed += entry->GetFixedHeight();
        entry->SetVisible(false);
    }
    if (removed == 0)
        return;
    RECT bounds = {};
    ::GetWindowRect(hWnd, &bounds);
    ::SetWindowPos(hWnd, nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top - removed,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CMenuWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    bool handled = true;
    LRESULT result = 0;
    switch (message) {
    case WM_CREATE: {
        WindowFrame::BuildWindow(hWnd, paintManager, this, this, layoutFile, WindowFrame::MaximizeBox::Keep);
        // The layout has sized the window by now (AttachDialog gives a
        // window without a size the layout's size).
        HideEntries();
        FitToScreen();
        break;
    }
    case WM_KILLFOCUS:
        if (reinterpret_cast<HWND>(wParam) != hWnd)
            ::PostMessage(hWnd, WM_CLOSE, 0, 0);
        break;
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

void CMenuWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType != "click" || msg.pSender == nullptr)
        return;
    ::ShowWindow(hWnd, SW_HIDE);
    if (ownerControl != nullptr && ownerControl->GetManager() != nullptr)
        ownerControl->GetManager()->SendNotify(ownerControl, msg.pSender->GetName(), 0, 0, true);
    // A hidden window does not lose the focus on every desktop (a window
    // system without a window manager keeps it there), so the menu does not
    // wait for WM_KILLFOCUS: it closes behind the queued report. A second
    // WM_CLOSE from a focus change that does follow finds no window.
    ::PostMessage(hWnd, WM_CLOSE, 0, 0);
}

LRESULT CMenuWnd::MessageHandler(UINT message, WPARAM wParam, LPARAM /*lParam*/, bool& handled)
{
    // Up and Down walk the entries, round and round, as in any menu; Enter
    // or Space then runs the entry that has the focus.
    if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN)) {
        paintManager.GetFocusManager().MoveFocus(wParam == VK_DOWN ? EFocusMove::Next : EFocusMove::Previous);
        handled = true;
        return 1;
    }
    return WindowFrame::FilterKeys(*this, paintManager, message, wParam);
}

void CMenuWnd::OnFinalMessage(HWND /*window*/)
{
    paintManager.RemovePreMessageFilter(this);
    delete this;
}
