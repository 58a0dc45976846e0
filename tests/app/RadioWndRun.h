#pragma once

// The real main window in a run folder of its own, as the program runs it,
// for tests and benchmarks alike: the folder with the real skin and quiet
// settings, scrambled data files, the window created and shown, and a message
// pump with a time limit.

#include "app/RadioWnd.h"
#include "catalogue/XorScramble.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

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

// Makes `folder` afresh with the real skin and the quiet settings; the data
// files are the caller's.
inline void PrepareRunFolder(const std::filesystem::path& folder)
{
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "config");
    std::filesystem::copy(ORVANE_SOURCE_DIR "/skin/files", folder / "skin", std::filesystem::copy_options::recursive);
    WriteFile(folder / "config" / "config.xml", kQuietSettings);
}

// Peeks, filters, translates and dispatches until done() holds or the time
// runs out; false on time-out. `seen`, when given, is shown every message
// before it is dispatched.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5),
                      const std::function<void(const MSG&)>& seen = {})
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    MSG message{};
    for (;;) {
        while (::PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return done();
            if (seen)
                seen(message);
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

// Creates the main window as the program does, with `folder` as the
// instance path; destroying its handle deletes it.
inline CRadioWnd* StartRadioWindow(const std::filesystem::path& folder)
{
    const std::string instancePath = folder.string() + "/";
    CPaintManagerUI::SetInstancePath(instancePath.c_str());
    CPaintManagerUI::SetResourcePath((instancePath + "skin/").c_str());
    CPaintManagerUI::SetResourceZip("DefaultSkin.dll", true);
    auto* window = new CRadioWnd();
    window->Create(nullptr, "", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0, nullptr);
    window->CenterWindow();
    ::ShowWindow(window->GetHWND(), SW_SHOWNORMAL);
    PumpFor(std::chrono::milliseconds(20));
    return window;
}

} // namespace apptest
