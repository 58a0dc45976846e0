#pragma once

// CWindowWnd: the base of every window of the system. It registers the
// window class its subclass names, creates the native window, routes the
// window's messages to HandleMessage through one static window procedure
// (the object is found through GWLP_USERDATA, stored at WM_NCCREATE), and
// calls OnFinalMessage after WM_NCDESTROY, the window's last message, so a
// window object can delete itself there.
//
// Modal run: DoModal disables the owner, runs a message loop until the
// window is destroyed, re-enables and re-activates the owner and answers the
// code given to Close. A WM_QUIT met inside the modal loop ends the modal
// loop and is posted again, so the outer message loop ends as well.
//
// An object deleted while its window still exists lets go of the window,
// which then gets default processing only.

#include "platform/win/Win.h"

// Codes for Close, as dialogs use them.
constexpr UINT IDOK = 1;
constexpr UINT IDCANCEL = 2;

class CWindowWnd
{
public:
    CWindowWnd();
    virtual ~CWindowWnd();
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    HWND GetHWND() const;
    operator HWND() const;   // NOLINT: a window object stands for its handle

    // Registers the class of GetWindowClassName with GetClassStyle once per
    // process; true when the class is (or already was) registered.
    bool RegisterWindowClass();

    HWND Create(HWND parent, const char* name, DWORD style, DWORD exStyle, const RECT& rect, void* menu = nullptr);
    HWND Create(HWND parent, const char* name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT, void* menu = nullptr);

    void ShowWindow(bool show = true, bool takeFocus = true);
    // Runs the window modally; answers the code given to Close (0 when the
    // window was destroyed without Close).
    UINT DoModal();
    // Posts WM_CLOSE and records the code for DoModal.
    void Close(UINT code = IDOK);
    // Centres the window on `reference`, else on its owner, else (no owner,
    // or the owner hidden or minimised) on the primary screen; the window is
    // kept on the screen.
    void CenterWindow(HWND reference = nullptr);
    // Big and small window icon from the executable's icon resource `id`.
    void SetIcon(UINT id);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Gives the client area this size; -1 keeps that dimension.
    void ResizeClient(int cx = -1, int cy = -1);

protected:
    virtual const char* GetWindowClassName() const = 0;
    // Windows here are never built on a system class; answers null, and a
    // non-null answer is ignored.
    virtual const char* GetSuperClassName() const;
    virtual UINT GetClassStyle() const;
    // The window's messages; the base does the default processing.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs after WM_NCDESTROY; the handle is already invalid.
    virtual void OnFinalMessage(HWND window);

    static LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hWnd = nullptr;
};
