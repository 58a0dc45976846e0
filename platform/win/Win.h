#pragma once

// The window layer: the subset of the Win32 window, message, timer, region,
// resource and thread interface that the player and its DirectUI library use,
// with Win32's names, numbers and meanings, built on Qt.
//
// Every window is a frameless top-level native window. Qt's input and window
// events become the Win32 messages below and reach the window procedure that
// the window's class names; posted messages, input and timers go through one
// message queue per process that GetMessage reads, so a message loop, a modal
// loop and the pre-message filters of the DirectUI library work as designed.
//
// Threads: every window call belongs to the GUI thread, except PostMessage
// and the thread and event calls, which any thread may use.

#include <cstdint>

class QPainter;

// ---------------------------------------------------------------- base types

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using BOOL = int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using ATOM = WORD;
using UINT_PTR = std::uintptr_t;

// Macros as in Win32, so that GLib's identical ones can sit beside them.
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct HWND__;
using HWND = HWND__*;            // a window; null is "no window"
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;  // the executable
struct HICON__;
using HICON = HICON__*;          // an icon loaded from the executable's resources
struct HRGN__;
using HRGN = HRGN__*;            // a window region
struct HRSRC__;
using HRSRC = HRSRC__*;          // a resource of the executable
struct HGLOBAL__;
using HGLOBAL = HGLOBAL__*;      // a loaded resource
using HANDLE = void*;            // an event or a thread
using HDC = QPainter*;           // what BeginPaint hands to a painter

struct POINT
{
    LONG x;
    LONG y;
};

struct SIZE
{
    LONG cx;
    LONG cy;
};

struct RECT
{
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASS
{
    UINT style;
    WNDPROC lpfnWndProc;
    HINSTANCE hInstance;
    const char* lpszClassName;
};

struct CREATESTRUCT
{
    void* lpCreateParams;
    HINSTANCE hInstance;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    const char* lpszName;
    const char* lpszClass;
    DWORD dwExStyle;
};

struct PAINTSTRUCT
{
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

constexpr WORD LOWORD(std::uintptr_t value) { return static_cast<WORD>(value & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t value) { return static_cast<WORD>((value >> 16) & 0xFFFF); }
constexpr int GET_X_LPARAM(LPARAM value) { return static_cast<short>(LOWORD(static_cast<std::uintptr_t>(value))); }
constexpr int GET_Y_LPARAM(LPARAM value) { return static_cast<short>(HIWORD(static_cast<std::uintptr_t>(value))); }
constexpr LPARAM MAKELPARAM(int low, int high)
{
    return static_cast<LPARAM>(static_cast<DWORD>((static_cast<WORD>(low)) | (static_cast<DWORD>(static_cast<WORD>(high)) << 16)));
}
// A resource id given where a name is expected, as Win32 writes it.
inline const char* MAKEINTRESOURCE(int id) { return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(static_cast<WORD>(id))); }
inline bool IS_INTRESOURCE(const char* name) { return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0; }

// ------------------------------------------------------------------ messages

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCCALCSIZE = 0x0083;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_IME_COMPOSITION = 0x010F;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_MOUSEHOVER = 0x02A1;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_PRINTCLIENT = 0x0318;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// wParam of WM_SIZE
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// wParam of WM_ACTIVATE
constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;

// wParam of WM_SYSCOMMAND (the low four bits are the system's own)
constexpr WPARAM SC_SIZE = 0xF000;
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

// Results of WM_NCHITTEST
constexpr LRESULT HTERROR = -2;
constexpr LRESULT HTTRANSPARENT = -1;
constexpr LRESULT HTNOWHERE = 0;
constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;

// wParam of WM_SETICON
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

// Mouse-key state in wParam of mouse messages
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_MBUTTON = 0x0010;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr int WHEEL_DELTA = 120;

// Virtual keys
constexpr WPARAM VK_BACK = 0x08;
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_SHIFT = 0x10;
constexpr WPARAM VK_CONTROL = 0x11;
constexpr WPARAM VK_MENU = 0x12;
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_SPACE = 0x20;
constexpr WPARAM VK_PRIOR = 0x21;
constexpr WPARAM VK_NEXT = 0x22;
constexpr WPARAM VK_END = 0x23;
constexpr WPARAM VK_HOME = 0x24;
constexpr WPARAM VK_LEFT = 0x25;
constexpr WPARAM VK_UP = 0x26;
constexpr WPARAM VK_RIGHT = 0x27;
constexpr WPARAM VK_DOWN = 0x28;
constexpr WPARAM VK_DELETE = 0x2E;
constexpr WPARAM VK_F4 = 0x73;
// A key press that carries only text (no key of its own); its WM_CHAR follows.
constexpr WPARAM VK_PACKET = 0xE7;
// Letters and digits are their upper-case ASCII codes, as in Win32.
//
// Input messages: mouse messages carry client coordinates in lParam and the
// MK_* state in wParam, except WM_MOUSEWHEEL, whose lParam is the screen point
// and whose high word of wParam is the signed wheel delta (WHEEL_DELTA a
// notch). A left press first asks WM_NCHITTEST (screen point in lParam);
// HTCAPTION drags the window and makes no button message. Key messages carry
// the virtual key; TranslateMessage makes the WM_CHAR of a WM_KEYDOWN, whose
// wParam is the character's Unicode code point (not a code-page byte).
// An input method's pre-edit and commit arrive as WM_IME_COMPOSITION, queued
// in order with the keys; wParam is a token that finds a copy of the input
// method's event (platform/win/KeyMapping.h, TakeInputMethodEvent).

// ----------------------------------------------------------- styles and flags

constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr UINT CS_SAVEBITS = 0x0800;

constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

// ShowWindow
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;

// SetWindowPos
inline const HWND HWND_TOP = reinterpret_cast<HWND>(0);
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(-1);
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(-2);
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

// GetSystemMetrics
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

// GetWindowRgnBox
constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

// GetWindow
constexpr UINT GW_OWNER = 4;

// ----------------------------------------------------------------- instances

// The executable's instance; argv[0]'s folder is its folder.
HINSTANCE GetModuleHandle(const char* moduleName);
// Writes the executable's full path (UTF-8) and returns its length, 0 on failure.
DWORD GetModuleFileName(HINSTANCE instance, char* buffer, DWORD size);

// ------------------------------------------------------------------- windows

// Registering a name again with the same procedure and style answers the same
// atom (window bases register on every Create); with a different procedure or
// style it fails with 0.
ATOM RegisterClass(const WNDCLASS* windowClass);
// Class style of a registered class (CS_DBLCLKS decides whether double clicks
// arrive as WM_LBUTTONDBLCLK); 0 for an unknown class.
UINT GetClassStyle(const char* className);

// Creates a frameless top-level window of a registered class: WM_NCCREATE and
// WM_CREATE (lParam a CREATESTRUCT*) are sent before it returns; a window
// created with WS_VISIBLE is shown after WM_CREATE. A parent makes the window
// transient for it. Null when the class is unknown or WM_NCCREATE answers
// FALSE or WM_CREATE answers -1.
HWND CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, void* menu, HINSTANCE instance, void* param);
// Sends WM_DESTROY and then WM_NCDESTROY, the window's last message; the
// handle is invalid afterwards and messages still queued for it are dropped.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProc(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

LONG GetWindowLong(HWND window, int index);
LONG SetWindowLong(HWND window, int index, LONG value);
std::intptr_t GetWindowLongPtr(HWND window, int index);
std::intptr_t SetWindowLongPtr(HWND window, int index, std::intptr_t value);

// As in Win32: the owner of a WS_POPUP window, null for an overlapped one
// even when owned (GetWindow with GW_OWNER answers the owner of either).
HWND GetParent(HWND window);
HWND GetWindow(HWND window, UINT relation);
BOOL SetWindowText(HWND window, const char* text);
int GetWindowText(HWND window, char* buffer, int size);

BOOL ShowWindow(HWND window, int command);
BOOL IsWindowVisible(HWND window);
BOOL IsIconic(HWND window);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow();
HWND SetFocus(HWND window);
HWND GetFocus();
HWND GetActiveWindow();

BOOL GetWindowRect(HWND window, RECT* rect);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL ScreenToClient(HWND window, POINT* point);
BOOL ClientToScreen(HWND window, POINT* point);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL UpdateWindow(HWND window);
// Valid only while the window handles WM_PAINT: hands out the painter of the
// window's surface and the rectangle to repaint.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
// Paints the window's client area into the painter by sending WM_PRINTCLIENT
// with the painter as wParam; for tests and thumbnails.
BOOL PrintWindow(HWND window, HDC target, UINT flags);

HWND SetCapture(HWND window);
BOOL ReleaseCapture();
HWND GetCapture();

// ----------------------------------------------------------------- regions

HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight);
BOOL DeleteObject(HRGN region);
// The window owns the region from then on; null removes it.
int SetWindowRgn(HWND window, HRGN region, BOOL redraw);
// Bounding box of the window's region: SIMPLEREGION or COMPLEXREGION with the
// box, ERROR when the window has no region.
int GetWindowRgnBox(HWND window, RECT* box);

// -------------------------------------------------------- screen and cursor

int GetSystemMetrics(int index);
BOOL GetCursorPos(POINT* point);
BOOL SetCursorPos(int x, int y);

// ------------------------------------------------------- messages and loop

// Calls the window procedure at once. GUI thread only: from another thread
// it answers 0 without calling anything (post instead).
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues a message for the window; safe from any thread. FALSE when the
// window does not exist.
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues WM_QUIT: GetMessage then answers FALSE with the exit code in wParam.
void PostQuitMessage(int exitCode);
// Waits for the next queued message (input, posted, timer); FALSE for WM_QUIT.
// Order: posted and input messages, then WM_QUIT, then due timers. GUI thread
// only; on another thread it answers FALSE at once.
BOOL GetMessage(MSG* message, HWND window, UINT filterMin, UINT filterMax);
// PM_REMOVE takes the message out of the queue; answers FALSE when none waits.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
BOOL PeekMessage(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessage(const MSG* message);
// Our own: the end of the session (SIGTERM, SIGHUP, SIGINT, or the desktop's
// session manager ending it) posts the quit message with code 0, so the
// message loop ends as it does for the program's own quit. For the process
// entry point, once; a second such signal ends the process at once.
void PostQuitMessageAtEndOfSession();
// Our own: what runs when the connection to the display is lost. Qt's X11
// plugin then ends the process with exit(1) on the GUI thread as soon as the
// handler returns, and the exit handlers start; the handler is the last
// chance to stop every thread of the program in order. GUI thread; null
// clears it. It runs at most once.
void SetDisplayLostHandler(void (*handler)(void* context), void* context);
// Our own: the bound on a way out that something holds up. Unless the process
// has ended by then, it ends `milliseconds` from now with `exitCode`, without
// running the exit handlers, after a line on standard error. Any thread; the
// earliest deadline set wins.
void EndProcessWithin(DWORD milliseconds, int exitCode);
// Our own: ends the window layer before the entry point returns. Destroys
// every window still open, then frees the Qt application with everything it
// owns (notification-area icons among them), so nothing of Qt is left to the
// process's exit handlers. GUI thread; no window call may follow.
void EndWindowLayer();
// The state of VK_CONTROL or VK_SHIFT when the key message last taken out of
// the queue was made: the high bit (a negative answer) while the key is held.
// Other keys answer 0.
std::int16_t GetKeyState(int virtualKey);

// Timers post WM_TIMER with the id in wParam; an elapse of 0 fires as soon as
// the loop is idle. Setting an existing id restarts it. A timer has at most one
// WM_TIMER waiting, and repeats no faster than every 10 ms (as Win32's
// minimum). The timer procedure is not supported: pass null.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, void* timerProc);
BOOL KillTimer(HWND window, UINT_PTR id);

DWORD GetTickCount();

// ---------------------------------------------------------------- resources

// Resources of the executable live in the Qt resource system as
// ":/<type>/<id>" (":/UFONT/122", ":/ICON/107"). Names may be MAKEINTRESOURCE.
HRSRC FindResource(HINSTANCE instance, const char* name, const char* type);
HGLOBAL LoadResource(HINSTANCE instance, HRSRC resource);
void* LockResource(HGLOBAL loaded);
DWORD SizeofResource(HINSTANCE instance, HRSRC resource);
HICON LoadIcon(HINSTANCE instance, const char* name);
BOOL DestroyIcon(HICON icon);

// Registers a TrueType font from memory for this process; the handle removes it.
HANDLE AddFontMemResourceEx(const void* data, DWORD size, void* reserved, DWORD* fontsAdded);
BOOL RemoveFontMemResourceEx(HANDLE font);

// ----------------------------------------------------- threads and events

// Threads end by a cooperative stop, never by force: StopThread asks the
// thread to stop, wakes any wait it is in (WaitForSingleObject and Sleep then
// return WAIT_STOPPED / FALSE at once) and waits until its routine returned.
using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
// Our own: the waiting thread was asked to stop.
constexpr DWORD WAIT_STOPPED = 0x0000FFFE;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

HANDLE CreateThread(LPTHREAD_START_ROUTINE routine, void* parameter);
// Asks the thread to stop and waits for it; TRUE once it has ended.
BOOL StopThread(HANDLE thread);
// Our own: asks every thread that CreateThread made and that still runs
// (other than the caller) to stop, the latest started first, waiting for each
// to end before the next; at most `milliseconds` in all. TRUE when every one
// ended; a thread that did not is left running, its handle no longer valid.
// The way out of the process calls it; an exit handler of the thread layer
// calls it too, so a library that ends the process with exit() leaves no
// thread of ours running past the exit handlers registered before it.
BOOL StopAllThreads(DWORD milliseconds);
// Whether the calling thread was asked to stop (always false on the GUI thread).
bool IsStopRequested();

HANDLE CreateEvent(BOOL manualReset, BOOL initialState);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// Auto-reset events release one waiter and reset; manual ones stay set.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Sleeps; FALSE when the calling thread was asked to stop meanwhile.
BOOL Sleep(DWORD milliseconds);
// Events and finished threads; a running thread's handle is closed by StopThread.
BOOL CloseHandle(HANDLE handle);
