#pragma once

// A main window in a run folder of its own: the real skin, a catalogue, an
// advertisement list and a settings file that the test writes, and the real
// CRadioWnd created, shown and pumped headless.

#include "app/RadioWndRun.h"
#include "platform/com/Com.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace apptest {

// Whether WM_QUIT is waiting in the queue (taken out when it is).
inline bool QuitPosted()
{
    MSG message{};
    while (::PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return true;
        if (!CPaintManagerUI::TranslateMessage(&message)) {
            ::TranslateMessage(&message);
            ::DispatchMessage(&message);
        }
    }
    return false;
}

class CRadioWndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() /
                 ("orvane-app-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        PrepareRunFolder(folder);
        ::CoInitialize(nullptr);
    }

    void TearDown() override
    {
        if (window != nullptr && ::IsWindow(window->GetHWND()))
            ::DestroyWindow(window->GetHWND()); // runs the teardown, which deletes the window
        window = nullptr;
        PumpFor(std::chrono::milliseconds(10));
        ::CoUninitialize();
        std::filesystem::remove_all(folder);
    }

    void WriteCatalogue(const std::string& xml) { WriteScrambled(folder / "config" / "fmradios.dll", xml); }
    void WriteAds(const std::string& xml) { WriteScrambled(folder / "config" / "fmads.dll", xml); }

    // Creates the main window as the program does, in this test's run folder.
    CRadioWnd* Start()
    {
        window = StartRadioWindow(folder);
        return window;
    }

    HWND Hwnd() const { return window->GetHWND(); }
    CPaintManagerUI& Manager() const { return window->paintManager; }

    // Sends a notification as a control of the main window would.
    void Notify(CControlUI* sender, const char* type)
    {
        ASSERT_NE(sender, nullptr) << type;
        Manager().SendNotify(sender, type, 0, 0, false);
    }

    // The child controls of a container, in order.
    static std::vector<CControlUI*> Children(CContainerUI* container)
    {
        std::vector<CControlUI*> children;
        for (int i = 0; container != nullptr && i < container->GetCount(); ++i)
            children.push_back(container->GetItemAt(i));
        return children;
    }

    static CContainerUI* AsContainer(CControlUI* control)
    {
        return control != nullptr ? static_cast<CContainerUI*>(control->GetInterface("Container")) : nullptr;
    }

    std::filesystem::path folder;
    CRadioWnd* window = nullptr;
};

// A catalogue with `regions` regions named R0, R1, ... (each with `stations`
// stations) and `styles` styles S0, S1, ...
inline std::string MakeCatalogue(int regions, int stations, int styles, int version = 1)
{
    std::string xml = "<catalogue>";
    for (int r = 0; r < regions; ++r) {
        xml += "<city name=\"R" + std::to_string(r) + "\">";
        for (int s = 0; s < stations; ++s)
            xml += "<station name=\"R" + std::to_string(r) + "-" + std::to_string(s) + "\" url=\"http://127.0.0.1:9/" +
                   std::to_string(r) + "/" + std::to_string(s) + "\" style=\"S" + std::to_string(s % 2) + "\"/>";
        xml += "</city>";
    }
    xml += "<styles>";
    for (int s = 0; s < styles; ++s)
        xml += "<style name=\"S" + std::to_string(s) + "\"/>";
    xml += "</styles></catalogue><version>" + std::to_string(version) + "</version>";
    return xml;
}

} // namespace apptest
