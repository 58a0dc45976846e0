// Process entry point: points the DirectUI library at the skin, starts COM on
// the GUI thread, shows the main window and runs the message loop until the
// quit message. Every way out (Escape, the menu's exit entry, the end of the
// session) comes back here and leaves the same way, with exit code 0.

#include "app/RadioWnd.h"
#include "platform/com/Com.h"
#include "platform/wmp/Wmp.h"

int main()
{
    // GStreamer's start and its plugins load while the window is built.
    PreparePlayer();
    HINSTANCE instance = ::GetModuleHandle(nullptr);
    CPaintManagerUI::SetInstance(instance);
    CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + "skin/");
    CPaintManagerUI::SetResourceZip("DefaultSkin.dll", true);

    if (FAILED(::CoInitialize(nullptr)))
        return 0;

    auto* window = new CRadioWnd();
    window->Create(nullptr, "", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
    window->CenterWindow();
    ::ShowWindow(window->GetHWND(), SW_SHOWNORMAL);

    // A desktop that ends its session (or a plain SIGTERM) gets the same
    // orderly way out as the program's own quit.
    ::PostQuitMessageAtEndOfSession();
    CPaintManagerUI::MessageLoop();

    // The workers are ended cooperatively before the process goes, so no
    // download or stream is cut off mid-write: destroying the window runs its
    // teardown, which stops both threads and frees the window.
    if (::IsWindow(window->GetHWND()))
        ::DestroyWindow(window->GetHWND());

    ::CoUninitialize();
    // Every window and every Qt object goes before main returns: left to the
    // exit handlers, a notification-area icon would outlive Qt's own data.
    ::EndWindowLayer();
    return 0;
}
