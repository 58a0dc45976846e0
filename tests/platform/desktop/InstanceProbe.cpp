// A process that claims the instance as the player does and reports what
// happens on standard output: "first <holder>", "handed-over" or
// "unguarded", then "raised" for every later start that asks it to come to
// the front, and "opened <item>|<item>..." for every later start that hands
// over items (the arguments after the number of seconds). It stays the
// number of seconds given, then ends; a quit message before that (a player
// that lost the instance to a later start gets one) ends it early with
// "ended early". With ORVANE_PROBE_OPEN_SECONDS set, handling handed-over
// items takes that long, as importing a large playlist may.

#include "platform/desktop/InstanceGuard.h"
#include "platform/win/Win.h"

#include <QTimer>

#include <chrono>
#include <thread>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 0;
    CInstanceGuard guard;
    guard.SetItemsToForward(std::vector<std::string>(argv + (argc > 2 ? 2 : argc), argv + argc));
    const InstanceClaim claim = guard.Claim();
    if (claim == InstanceClaim::HandedOver) {
        std::printf("handed-over\n");
        return 0;
    }
    std::printf(claim == InstanceClaim::First ? "first %s\n" : "unguarded\n", guard.Holder().c_str());
    std::fflush(stdout);
    guard.SetRaiseHandler([] {
        std::printf("raised\n");
        std::fflush(stdout);
    });
    const char* openSeconds = std::getenv("ORVANE_PROBE_OPEN_SECONDS");
    const int openTakes = openSeconds != nullptr ? std::atoi(openSeconds) : 0;
    guard.SetOpenHandler([openTakes](const std::vector<std::string>& items) {
        std::this_thread::sleep_for(std::chrono::seconds(openTakes));
        std::string line = "opened";
        for (std::size_t i = 0; i < items.size(); ++i)
            line += (i == 0 ? " " : "|") + items[i];
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    static bool timeUp = false;
    QTimer::singleShot(seconds * 1000, [] {
        timeUp = true;
        PostQuitMessage(0);
    });
    MSG message = {};
    while (GetMessage(&message, nullptr, 0, 0))
        DispatchMessage(&message);
    if (!timeUp) {
        std::printf("ended early\n");
        std::fflush(stdout);
    }
    return 0;
}
