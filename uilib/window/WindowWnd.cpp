#include "uilib/window/WindowWnd.h"

#include "uilib/window/PaintManagerUI.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace
{
// One entry per running DoModal: Close finds the code's destination here,
// because the window object may already be deleted when the loop ends.
struct TModalFrame
{
    HWND window;
    UINT code;
};
std::vector<TModalFrame*> modalFrames;

TModalFrame* FindModalFrame(HWND window)
{
    for (auto it = modalFrames.rbegin(); it != modalFrames.rend(); ++it) {
        if ((*it)->window == window) {
            return *it;
        }
    }
    return nullptr;
}

std::set<std::string>& RegisteredClasses()
{
    static std::set<std::string> classes;
    return classes;
}

HWND OwnerOf(HWND window)
{
    HWND owner = ::GetWindow(window, GW_OWNER);
    return owner != nullptr ? owner : ::GetParent(window);
}
}  // namespace

CWindowWnd::CWindowWnd() = default;

CWindowWnd::~CWindowWnd()
{
    // An object that goes while its window stays must not be found by the
    // window procedure any more: the window falls back to default handling.
    if (hWnd != nullptr && ::IsWindow(hWnd) &&
        ::GetWindowLongPtr(hWnd, GWLP_USERDATA) == reinterpret_cast<std::intptr_t>(this)) {
        ::SetWindowLongPtr(hWnd, GWLP_USERDATA, 0);
    }
}

HWND CWindowWnd::GetHWND() const
{
    return hWnd;
}

CWindowWnd::operator HWND() const
{
    return hWnd;
}

const char* CWindowWnd::GetSuperClassName() const
{
    return nullptr;
}

UINT CWindowWnd::GetClassStyle() const
{
    return 0;
}

bool CWindowWnd::RegisterWindowClass()
{
    const char* className = GetWindowClassName();
    if (className == nullptr || *className == '\0') {
        return false;
    }
    if (RegisteredClasses().count(className) != 0) {
        return true;
    }
    WNDCLASS windowClass = {};
    windowClass.style = GetClassStyle();
    windowClass.lpfnWndProc = &CWindowWnd::WindowProc;
    windowClass.hInstance = CPaintManagerUI::GetInstance();
    windowClass.lpszClassName = className;
    if (::RegisterClass(&windowClass) == 0) {
        return false;
    }
    RegisteredClasses().insert(className);
    return true;
}

HWND CWindowWnd::Create(HWND parent, const char* name, DWORD style, DWORD exStyle, const RECT& rect, void* menu)
{
    return Create(parent, name, style, exStyle, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                  menu);
}

HWND CWindowWnd::Create(HWND parent, const char* name, DWORD style, DWORD exStyle, int x, int y, int cx, int cy,
                        void* menu)
{
    if (hWnd != nullptr || !RegisterWindowClass()) {
        return nullptr;
    }
    // WM_NCCREATE stores hWnd before CreateWindowEx returns.
    HWND created = ::CreateWindowEx(exStyle, GetWindowClassName(), name != nullptr ? name : "", style, x, y, cx, cy,
                                    parent, menu, CPaintManagerUI::GetInstance(), this);
    return created;
}

LRESULT CWindowWnd::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindowWnd* self = nullptr;
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCT*>(lParam);
        self = static_cast<CWindowWnd*>(create->lpCreateParams);
        if (self != nullptr) {
            self->hWnd = window;
            ::SetWindowLongPtr(window, GWLP_USERDATA, reinterpret_cast<std::intptr_t>(self));
        }
    } else {
        self = reinterpret_cast<CWindowWnd*>(::GetWindowLongPtr(window, GWLP_USERDATA));
    }
    if (self == nullptr) {
        return ::DefWindowProc(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        LRESULT result = self->HandleMessage(message, wParam, lParam);
        ::SetWindowLongPtr(window, GWLP_USERDATA, 0);
        self->hWnd = nullptr;
        // May delete the object: nothing of it is touched afterwards.
        self->OnFinalMessage(window);
        return result;
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProc(hWnd, message, wParam, lParam);
}

void CWindowWnd::OnFinalMessage(HWND /*window*/)
{
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus)
{
    if (hWnd == nullptr) {
        return;
    }
    ::ShowWindow(hWnd, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowWnd::DoModal()
{
    if (hWnd == nullptr || !::IsWindow(hWnd)) {
        return 0;
    }
    // The object may delete itself in OnFinalMessage while the loop runs:
    // from here on only locals are used.
    const HWND window = hWnd;
    const HWND owner = OwnerOf(window);
    TModalFrame frame{window, 0};
    modalFrames.push_back(&frame);

    ::ShowWindow(window, SW_SHOWNORMAL);
    if (owner != nullptr) {
        ::EnableWindow(owner, FALSE);
    }
    bool quit = false;
    int quitCode = 0;
    MSG msg = {};
    while (::IsWindow(window)) {
        if (!::GetMessage(&msg, nullptr, 0, 0)) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (msg.message == WM_CLOSE && msg.hwnd == window) {
            // Close posts its code along; a Close made before the run
            // started has no frame to write it to.
            frame.code = static_cast<UINT>(msg.wParam);
            if (owner != nullptr) {
                // The owner must be enabled before the window goes, or the
                // activation would pass to some unrelated window.
                ::EnableWindow(owner, TRUE);
                ::SetFocus(owner);
            }
        }
        if (!CPaintManagerUI::TranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessage(&msg);
        }
    }
    modalFrames.erase(std::find(modalFrames.begin(), modalFrames.end(), &frame));
    if (owner != nullptr && ::IsWindow(owner)) {
        ::EnableWindow(owner, TRUE);
        ::SetForegroundWindow(owner);
        ::SetFocus(owner);
    }
    if (quit) {
        ::PostQuitMessage(quitCode);
    }
    return frame.code;
}

void CWindowWnd::Close(UINT code)
{
    if (hWnd == nullptr) {
        return;
    }
    if (TModalFrame* frame = FindModalFrame(hWnd)) {
        frame->code = code;
    }
    ::PostMessage(hWnd, WM_CLOSE, static_cast<WPARAM>(code), 0);
}

void CWindowWnd::CenterWindow(HWND reference)
{
    if (hWnd == nullptr) {
        return;
    }
    RECT window = {};
    ::GetWindowRect(hWnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const RECT screen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};

    if (reference == nullptr) {
        reference = OwnerOf(hWnd);
    }
    RECT area = screen;
    if (reference != nullptr && ::IsWindowVisible(reference) && !::IsIconic(reference)) {
        ::GetWindowRect(reference, &area);
    }
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    // Keep the whole window reachable even when the reference hangs off the
    // screen edge; the top-left corner wins when the window is larger.
    x = std::max<int>(screen.left, std::min<int>(x, screen.right - width));
    y = std::max<int>(screen.top, std::min<int>(y, screen.bottom - height));
    ::SetWindowPos(hWnd, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT id)
{
    if (hWnd == nullptr) {
        return;
    }
    HICON icon = ::LoadIcon(CPaintManagerUI::GetInstance(), MAKEINTRESOURCE(static_cast<int>(id)));
    if (icon == nullptr) {
        return;
    }
    ::SendMessage(hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessage(hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

LRESULT CWindowWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessage(hWnd, message, wParam, lParam);
}

LRESULT CWindowWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessage(hWnd, message, wParam, lParam);
}

void CWindowWnd::ResizeClient(int cx, int cy)
{
    if (hWnd == nullptr) {
        return;
    }
    RECT client = {};
    ::GetClientRect(hWnd, &client);
    RECT window = {};
    ::GetWindowRect(hWnd, &window);
    // Windows here are frameless, but keep whatever frame there is.
    const int frameWidth = (window.right - window.left) - (client.right - client.left);
    const int frameHeight = (window.bottom - window.top) - (client.bottom - client.top);
    const int width = (cx != -1 ? cx : client.right - client.left) + frameWidth;
    const int height = (cy != -1 ? cy : client.bottom - client.top) + frameHeight;
    ::SetWindowPos(hWnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
