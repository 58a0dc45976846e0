#pragma once

// The shell stand-in: the notification-area icon, opening a link, the
// open-file dialog and file existence, with the Win32 shell's names and
// numbers, built on Qt (QSystemTrayIcon, QDesktopServices, QFileDialog) and
// std::filesystem. GUI thread only.

#include "platform/win/Win.h"

#include <string>

// ------------------------------------------------------ notification area

constexpr DWORD NIM_ADD = 0x00000000;
constexpr DWORD NIM_MODIFY = 0x00000001;
constexpr DWORD NIM_DELETE = 0x00000002;

// The icon's middle click arrives as WM_MBUTTONUP (Win.h).

constexpr UINT NIF_MESSAGE = 0x00000001;
constexpr UINT NIF_ICON = 0x00000002;
constexpr UINT NIF_TIP = 0x00000004;

// Size of the notification-icon description as the player fills it in.
constexpr DWORD kNotifyIconDataSize = 488;

struct NOTIFYICONDATA
{
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    char szTip[128];   // UTF-8, NUL-terminated
};

// Adds, changes or removes the icon (window, id) of the description. Mouse
// actions on an icon reach its window as the callback message, with the id in
// wParam and the mouse message in lParam: a left press is WM_LBUTTONDOWN, a
// right click ends with WM_RBUTTONUP, a double click is WM_LBUTTONDBLCLK.
// FALSE when the desktop has no notification area (the icon is kept and shown
// should one appear), or for NIM_MODIFY / NIM_DELETE of an unknown icon.
BOOL Shell_NotifyIcon(DWORD message, NOTIFYICONDATA* data);

// Whether the desktop has a notification area to put icons in right now.
bool IsNotificationAreaAvailable();

// --------------------------------------------------------------- links

// Opens `file` (a URL) with the desktop's handler for the verb "open".
// Characters a URL may not hold as they are (a space, '|', …) are sent
// percent-encoded; a link that is still not a valid URL with a scheme, or
// that holds a control character, is refused.
// Answers a value above 32 on success, as Win32 does; 2 when it failed.
std::intptr_t ShellExecute(HWND window, const char* verb, const char* file, const char* parameters,
                           const char* directory, int showCommand);

// ------------------------------------------------------------- files

// Whether a file or folder exists at the path.
BOOL PathFileExists(const char* path);

constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_EXPLORER = 0x00080000;

// Size of the open-file description as the player fills it in.
constexpr DWORD kOpenFileNameSize = 88;

struct OPENFILENAME
{
    DWORD lStructSize;
    HWND hwndOwner;
    // Pairs of display text and pattern list ("*.bmp;*.jpg"), each ended by a
    // NUL, the whole ended by a second NUL: as Win32 writes filters.
    const char* lpstrFilter;
    char* lpstrFile;     // in: initial name (may be empty); out: the chosen absolute path, UTF-8
    DWORD nMaxFile;      // size of lpstrFile in bytes
    const char* lpstrTitle;
    const char* lpstrInitialDir;
    DWORD Flags;
    // The ending a saved name gets when the user typed none ("m3u", no dot);
    // null for none.
    const char* lpstrDefExt;
};

// Runs the desktop's open-file dialog modally over the owner. TRUE with the
// chosen path in lpstrFile; FALSE when the user cancelled, the path does not
// fit, or the dialog failed.
BOOL GetOpenFileName(OPENFILENAME* description);

// Runs the desktop's save dialog modally over the owner; with
// OFN_OVERWRITEPROMPT the user confirms replacing an existing file. TRUE with
// the chosen path in lpstrFile; FALSE when the user cancelled, the path does
// not fit, or the dialog failed.
BOOL GetSaveFileName(OPENFILENAME* description);

// Tests replace the dialog with an answer of their own: the hook receives the
// description and answers like GetOpenFileName. Null restores the real dialog.
using OpenFileNameHook = BOOL (*)(OPENFILENAME* description);
void SetOpenFileNameHook(OpenFileNameHook hook);
// The same for the save dialog.
void SetSaveFileNameHook(OpenFileNameHook hook);

// ------------------------------------------------------------- clipboard

// Puts UTF-8 text on the desktop's clipboard; FALSE without one.
BOOL SetClipboardText(const char* text);
// The clipboard's text, UTF-8; empty when it holds none.
std::string GetClipboardText();

// Tests replace the desktop's link handler likewise; the hook answers whether
// the link was opened.
using OpenLinkHook = bool (*)(const char* verb, const char* link);
void SetOpenLinkHook(OpenLinkHook hook);
