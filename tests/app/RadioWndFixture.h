#pragma once

// A main window in a run folder of its own: the real skin, a catalogue, an
// advertisement list and a settings file that the test writes, and the real
// CRadioWnd created, shown and pumped headless.

#include "app/RadioWnd.h"
#include "catalogue/XorScramble.h"
#include "platform/com/Com.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace apptest {

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

inline void WriteScrambled(const std::filesystem::path& path, std::string text)
{
    auto* data = reinterpret_cast<unsigned char*>(text.data());
    XorScramble(data, static_cast<std::int32_t>(text.size()), data, kFileKey);
    WriteFile(path, text);
}

// Settings that point the update worker at a port where nothing listens, so
// it never reaches beyond this machine.
inline const char* kQuietSettings =
    "<config><skin name=\"minLove\" path=\"#\"/><update server=\"http://127.0.0.1:9\"/></config>";

// Peeks, filters, translates and dispatches until done() holds or the time
// runs out; false on time-out.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    MSG message{};
    for (;;) {
        while (::PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return done();
            if (!CPaintManagerUI::TranslateMessage(&message)) {
                ::TranslateMessage(&message);
                ::DispatchMessage(&message);
            }
            if (done())
                return true;
        }
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

inline void PumpFor(std::chrono::milliseconds duration)
{
    PumpUntil([] { return false; }, duration);
}

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
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "config");
        std::filesystem::copy(ORVANE_SOURCE_DIR "/skin/files", folder / "skin",
                              std::filesystem::copy_options::recursive);
        WriteFile(folder / "config" / "config.xml", kQuietSettings);
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
        const std::string instancePath = folder.string() + "/";
        CPaintManagerUI::SetInstancePath(instancePath.c_str());
        CPaintManagerUI::SetResourcePath((instancePath + "skin/").c_str());
        CPaintManagerUI::SetResourceZip("DefaultSkin.dll", true);
        window = new CRadioWnd();
        window->Create(nullptr, "", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0, nullptr);
        window->CenterWindow();
        ::ShowWindow(window->GetHWND(), SW_SHOWNORMAL);
        PumpFor(std::chrono::milliseconds(20));
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
