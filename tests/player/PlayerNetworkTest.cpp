// The network and the machine's sleep under a playing station, through the
// real main window and the real player against a real Icecast server, with
// NetworkManager and logind imitated by python3-dbusmock on a private system
// bus: no reopening is spent while the network is away or the machine
// sleeps, and the station comes back by itself.

#include "app/RadioWndFixture.h"
#include "platform/wmp/PlayerTestSupport.h"
#include "platform/wmp/Wmp.h"
#include "support/IcecastServer.h"
#include "support/SystemBusMock.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

using namespace apptest;
using namespace std::chrono_literals;
using orvane::test::CRecordingSink;
using orvane::test::IcecastServer;
using orvane::test::MountFormat;
using orvane::test::SystemBusMock;

namespace {

// Watchdog of one step that involves the network and the decoder.
constexpr auto kStreamTimeout = 20s;
// Longer than the three reopenings (1 + 2 + 4 s) would take.
constexpr auto kAwayLongerThanTheReopenings = 9s;

// One bus for the whole process: Qt keeps its system bus connection and its
// network information for the process's lifetime.
std::unique_ptr<SystemBusMock> bus;

} // namespace

class PlayerNetwork : public CRadioWndTest
{
protected:
    static void SetUpTestSuite()
    {
        if (!SystemBusMock::Available() || !IcecastServer::Available())
            return;
        bus = std::make_unique<SystemBusMock>();
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus->Address().c_str(), 1);
    }

    static void TearDownTestSuite() { bus.reset(); }

    void SetUp() override
    {
        if (bus == nullptr)
            GTEST_SKIP() << "dbus-daemon, python3-dbusmock, icecast2 or ffmpeg is not installed";
        icecast = std::make_unique<IcecastServer>();
        icecast->AddMount("/radio.mp3", MountFormat::Mp3);
        ASSERT_TRUE(bus->SetOnline(true));
        CRadioWndTest::SetUp();
        WriteCatalogue("<catalogue><city name=\"R0\"><station name=\"电台\" url=\"" + icecast->Url("/radio.mp3") +
                       "\" style=\"S0\"/></city><styles><style name=\"S0\"/></styles></catalogue><version>1</version>");
        Start();
        ASSERT_NE(window->player, nullptr);
        ASSERT_NE(window->networkState, nullptr);
        ASSERT_TRUE(window->networkState->KnowsNetwork()) << "NetworkManager's state did not reach the player";
        CContainerUI* firstRow = AsContainer(Children(window->sortsPanel).at(1));
        ASSERT_NE(firstRow, nullptr);
        Notify(firstRow->GetItemAt(0), "click");
        recorder = new CRecordingSink();
        IConnectionPointContainer* container = nullptr;
        ASSERT_TRUE(SUCCEEDED(
            window->player->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))));
        ASSERT_TRUE(SUCCEEDED(container->FindConnectionPoint(IID_IWMPEvents, &point)));
        container->Release();
        ASSERT_TRUE(SUCCEEDED(point->Advise(static_cast<IWMPEvents*>(recorder), &cookie)));
    }

    void TearDown() override
    {
        if (point != nullptr) {
            point->Unadvise(cookie);
            point->Release();
        }
        if (recorder != nullptr)
            recorder->Release();
        if (bus != nullptr) {
            bus->PrepareForSleep(false);
            bus->SetOnline(true);
        }
        CRadioWndTest::TearDown();
        icecast.reset();
    }

    void PlayTheStation()
    {
        CStdPtrArray* group = Manager().GetOptionGroup("radios");
        ASSERT_NE(group, nullptr);
        Notify(static_cast<CControlUI*>(group->GetAt(0)), "dbclick");
        ASSERT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout)) << StatusLine();
    }

    WMPPlayState State() const
    {
        WMPPlayState state = wmppsUndefined;
        window->player->get_playState(&state);
        return state;
    }

    std::size_t Openings() const
    {
        const std::vector<long> states = recorder->PlayStates();
        return static_cast<std::size_t>(std::count(states.begin(), states.end(), wmppsTransitioning));
    }

    std::string StatusLine() const { return window->statusLabel->GetText().GetData(); }

    std::unique_ptr<IcecastServer> icecast;
    CRecordingSink* recorder = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
};

TEST_F(PlayerNetwork, OfflineSpendsNoReopeningAndTheStationComesBackWithTheNetwork)
{
    PlayTheStation();
    const std::size_t before = Openings();
    // Offline while the stream still flows (it is on this machine): it plays on.
    ASSERT_TRUE(bus->SetOnline(false));
    ASSERT_TRUE(PumpUntil([&] { return !window->networkState->Online(); }, 5s));
    PumpFor(1s);
    EXPECT_EQ(State(), wmppsPlaying);
    // The stream breaks while offline: the station waits, and spends nothing.
    icecast->StopServer();
    ASSERT_TRUE(PumpUntil([&] { return StatusLine() == "等待网络..."; }, kStreamTimeout)) << StatusLine();
    PumpFor(kAwayLongerThanTheReopenings);
    EXPECT_EQ(StatusLine(), "等待网络...");
    EXPECT_EQ(Openings(), before);
    EXPECT_EQ(window->restartCount, 0);
    // The server and the network back: the station opens by itself.
    icecast->StartServer();
    ASSERT_TRUE(bus->SetOnline(true));
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsPlaying && StatusLine().rfind("播放中", 0) == 0; },
                          kStreamTimeout))
        << StatusLine();
    EXPECT_EQ(Openings(), before + 1);
}

TEST_F(PlayerNetwork, AStationChosenOfflineWaitsForTheNetwork)
{
    ASSERT_TRUE(bus->SetOnline(false));
    ASSERT_TRUE(PumpUntil([&] { return !window->networkState->Online(); }, 5s));
    CStdPtrArray* group = Manager().GetOptionGroup("radios");
    ASSERT_NE(group, nullptr);
    Notify(static_cast<CControlUI*>(group->GetAt(0)), "dbclick");
    ASSERT_TRUE(PumpUntil([&] { return StatusLine() == "等待网络..."; }, 5s)) << StatusLine();
    PumpFor(2s);
    EXPECT_EQ(Openings(), 0u);
    EXPECT_EQ(icecast->Listeners("/radio.mp3"), 0);
    ASSERT_TRUE(bus->SetOnline(true));
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout)) << StatusLine();
}

TEST_F(PlayerNetwork, AfterSleepAStreamThatDidNotSurviveIsOpenedAgain)
{
    PlayTheStation();
    const std::size_t before = Openings();
    ASSERT_TRUE(bus->PrepareForSleep(true));
    ASSERT_TRUE(PumpUntil([&] { return window->asleep; }, 5s));
    // The server goes away and comes back while the machine sleeps: the
    // stream does not survive, and no reopening is spent meanwhile.
    icecast->StopServer();
    ASSERT_TRUE(PumpUntil([&] { return State() != wmppsPlaying; }, kStreamTimeout)) << StatusLine();
    PumpFor(kAwayLongerThanTheReopenings);
    EXPECT_EQ(Openings(), before);
    icecast->StartServer();
    ASSERT_TRUE(bus->PrepareForSleep(false));
    EXPECT_TRUE(PumpUntil([&] { return State() == wmppsPlaying; }, kStreamTimeout)) << StatusLine();
    EXPECT_EQ(Openings(), before + 1);
    EXPECT_FALSE(window->asleep);
}
