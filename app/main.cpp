// Process entry point: points the DirectUI library at the skin, starts COM on
// the GUI thread, shows the main window and runs the message loop until the
// quit message.

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

    CPaintManagerUI::MessageLoop();

    // The workers are ended cooperatively before the process goes, so no
    // download or stream is cut off mid-write: destroying the window runs its
    // teardown, which stops both threads and frees the window.
    if (::IsWindow(window->GetHWND()))
        ::DestroyWindow(window->GetHWND());

    ::CoUninitialize();
    return 0;
}
