// The program's main window playing one station, for the memory and CPU
// figures: the real window (offscreen), a run folder whose catalogue holds
// that station, the station chosen as a user does. Prints "playing" once the
// window shows the Playing state, then runs the program's message loop until
// it is killed.
//
//   bench_playing_window URL RUN-FOLDER

#include "app/RadioWndRun.h"
#include "platform/com/Com.h"
#include "platform/wmp/Wmp.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Watchdog of the wait for Playing.
constexpr auto kPlayingTimeout = std::chrono::seconds(20);

CControlUI* OpenStationPage(CRadioWnd* window)
{
    if (window->sortsPanel == nullptr)
        return nullptr;
    auto* rows = static_cast<CContainerUI*>(window->sortsPanel);
    CControlUI* firstRowItem = rows->GetItemAt(1);
    auto* firstRow = firstRowItem != nullptr ? static_cast<CContainerUI*>(firstRowItem->GetInterface("Container"))
                                             : nullptr;
    if (firstRow == nullptr)
        return nullptr;
    window->paintManager.SendNotify(firstRow->GetItemAt(0), "click", 0, 0, false);
    CStdPtrArray* group = window->paintManager.GetOptionGroup("radios");
    return group != nullptr && group->GetSize() > 0 ? static_cast<CControlUI*>(group->GetAt(0)) : nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 1;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("ORVANE_AUDIO_SINK", "fakesink", 0);
    const std::string url = argv[1];
    const std::filesystem::path folder = argv[2];
    apptest::PrepareRunFolder(folder);
    apptest::WriteScrambled(folder / "config" / "fmradios.dll",
                            "<catalogue><city name=\"R0\"><station name=\"bench\" url=\"" + url +
                                "\" style=\"S0\"/></city><styles><style name=\"S0\"/></styles></catalogue>"
                                "<version>1</version>");
    ::CoInitialize(nullptr);
    CRadioWnd* window = apptest::StartRadioWindow(folder);
    CControlUI* station = OpenStationPage(window);
    if (station == nullptr)
        return 2;
    window->paintManager.SendNotify(station, "dbclick", 0, 0, false);
    const bool playing = apptest::PumpUntil(
        [&] {
            return window->playState == wmppsPlaying && window->pauseButton != nullptr &&
                   window->pauseButton->IsVisible();
        },
        kPlayingTimeout);
    if (!playing)
        return 3;
    std::printf("playing\n");
    std::fflush(stdout);
    CPaintManagerUI::MessageLoop();
    return 0;
}
