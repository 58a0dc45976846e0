// The player killed (SIGKILL) again and again while it saves the user's
// stations and its settings never leaves either file torn, empty or missing.
// Saves are driven the real way: later starts forward new addresses, each one
// added to the user's stations (a save of mystations.xml) and played (a save
// of the remembered station in config.xml).

#include "e2e/MyStationsDesktop.h"

#include <cstdio>
#include <random>
#include <thread>

namespace e2e {
namespace {

using SaveUnderKill = CMyStationsDesktopTest;

// Forwarded addresses, each making one save of each file.
constexpr int kForwards = 200;
// A kill falls on every this many forwards, at a random moment of the save.
constexpr int kForwardsPerKill = 5;

TEST_F(SaveUnderKill, KilledDuringSavesLeavesBothFilesWhole)
{
    ASSERT_TRUE(StartOwnPlayer(300s));
    std::mt19937 random(20261208);
    int forwarded = 0;
    int kills = 0;
    int checks = 0;
    std::size_t lastCount = 0;
    auto checkFiles = [&] {
        std::vector<TMyStation> stations;
        ++checks;
        EXPECT_TRUE(ReadMyStations(&stations)) << "mystations.xml torn, empty or missing after " << forwarded;
        EXPECT_GE(stations.size(), lastCount) << "stations lost";
        EXPECT_TRUE(SettingsWhole()) << "config.xml torn, empty or missing after " << forwarded;
        lastCount = stations.size();
    };

    for (int i = 0; i < kForwards; ++i) {
        const std::string url = "http://127.0.0.1:" + std::to_string(refusingPort.Port()) + "/s" + std::to_string(i);
        auto later = StartForwarder({url});
        ASSERT_NE(later, nullptr);
        if ((i + 1) % kForwardsPerKill != 0) {
            ASSERT_TRUE(later->WaitForExit(20s).exited) << later->Log();
            ++forwarded;
            continue;
        }
        // The kill lands while the running player reads the request, adds
        // the station and writes the files.
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 150)(random)));
        player->Kill();
        ++kills;
        ++forwarded;
        // A forwarder that found no player left became the player itself.
        if (!later->WaitForExit(5s).exited)
            later->Kill();
        checkFiles();
        ASSERT_TRUE(StartOwnPlayer(300s)) << player->Log();
    }
    // Every forwarded address that was not cut off by its kill is kept.
    std::vector<TMyStation> stations;
    ASSERT_TRUE(DesktopSession::WaitUntil([&] { return ReadMyStations(&stations) &&
                                                       stations.size() >= static_cast<std::size_t>(kForwards - kills); },
                                          10s));
    checkFiles();
    std::printf("save-under-kill: %d forwards, %d saves of mystations.xml and config.xml each at most, %d kills, "
                "%d checks of both files, %zu stations kept\n",
                forwarded, forwarded, kills, checks, stations.size());
    player->Kill();
}

} // namespace
} // namespace e2e
