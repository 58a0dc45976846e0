// The player's COM face: its interfaces, its two connection points, Advise
// and Unadvise, events by method and by DISPID, sinks that change the
// connections from inside their own callback.

#include "platform/wmp/PlayerTestSupport.h"

#include <gtest/gtest.h>

using namespace orvane::test;
using namespace std::chrono_literals;

namespace {

// Watchdog of one step.
constexpr auto kStepTimeout = 10s;

struct Mp3File
{
    explicit Mp3File(double seconds)
    {
        folder = MakeTemporaryFolder();
        path = folder + "/tone.mp3";
        WriteFile(path, MakeMp3(seconds, 128));
    }
    ~Mp3File() { RemoveFolder(folder); }
    std::string folder;
    std::string path;
};

IConnectionPoint* FindPoint(IWMPPlayer* player, const IID& iid, HRESULT* result = nullptr)
{
    IConnectionPointContainer* container = nullptr;
    EXPECT_EQ(player->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)), S_OK);
    IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(0x1);
    const HRESULT found = container->FindConnectionPoint(iid, &point);
    container->Release();
    if (result != nullptr)
        *result = found;
    return point;
}

// The events with their values, leaving out StatusChange: how many of those
// come depends on when the stream's bit-rate tag arrives.
std::vector<std::string> Names(const std::vector<RecordedEvent>& events)
{
    std::vector<std::string> names;
    for (const RecordedEvent& event : events)
        if (event.name != "StatusChange")
            names.push_back(event.name + "(" + std::to_string(event.value) + ")");
    return names;
}

} // namespace

TEST(PlayerEvents, PlayerAnswersItsInterfacesAsOneObject)
{
    PlayerFixture fixture;
    IUnknown* identity = nullptr;
    ASSERT_EQ(fixture.player->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    for (const IID* iid : {&IID_IDispatch, &IID_IWMPCore, &IID_IWMPPlayer, &IID_IConnectionPointContainer}) {
        IUnknown* answer = nullptr;
        ASSERT_EQ(fixture.player->QueryInterface(*iid, reinterpret_cast<void**>(&answer)), S_OK)
            << GuidToString(*iid);
        IUnknown* again = nullptr;
        answer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again));
        EXPECT_EQ(again, identity) << GuidToString(*iid); // COM identity holds
        again->Release();
        answer->Release();
    }
    identity->Release();
    void* none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(fixture.player->QueryInterface(IID_IWMPEvents, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(fixture.player->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    // Controls and settings answer their own interfaces and no one else's.
    IWMPControls* controls = nullptr;
    EXPECT_EQ(fixture.controls->QueryInterface(IID_IWMPControls, reinterpret_cast<void**>(&controls)), S_OK);
    controls->Release();
    EXPECT_EQ(fixture.controls->QueryInterface(IID_IWMPSettings, &none), E_NOINTERFACE);
    EXPECT_EQ(fixture.settings->QueryInterface(IID_IWMPControls, &none), E_NOINTERFACE);
    EXPECT_EQ(fixture.player->get_controls(nullptr), E_POINTER);
    EXPECT_EQ(fixture.player->get_status(nullptr), E_POINTER);
    EXPECT_EQ(fixture.player->get_playState(nullptr), E_POINTER);
}

TEST(PlayerEvents, ConnectionPointsAreFoundByTheirInterface)
{
    PlayerFixture fixture;
    for (const IID* iid : {&IID_IWMPEvents, &DIID__WMPOCXEvents}) {
        HRESULT result = E_FAIL;
        IConnectionPoint* point = FindPoint(fixture.player, *iid, &result);
        ASSERT_EQ(result, S_OK);
        IID told{};
        EXPECT_EQ(point->GetConnectionInterface(&told), S_OK);
        EXPECT_TRUE(IsEqualGUID(told, *iid));
        IConnectionPointContainer* container = nullptr;
        EXPECT_EQ(point->GetConnectionPointContainer(&container), S_OK);
        IConnectionPointContainer* expected = nullptr;
        fixture.player->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&expected));
        EXPECT_EQ(container, expected);
        expected->Release();
        container->Release();
        point->Release();
    }
    HRESULT result = S_OK;
    IConnectionPoint* none = FindPoint(fixture.player, IID_IDispatch, &result);
    EXPECT_EQ(result, CONNECT_E_NOCONNECTION);
    EXPECT_EQ(none, nullptr);
}

TEST(PlayerEvents, AdviseHoldsTheSinkUntilUnadvise)
{
    PlayerFixture fixture;
    IConnectionPoint* point = FindPoint(fixture.player, IID_IWMPEvents);
    auto* sink = new CRecordingSink;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    ASSERT_EQ(point->Advise(static_cast<IWMPEvents*>(sink), &first), S_OK);
    EXPECT_EQ(sink->References(), 2u);
    ASSERT_EQ(point->Advise(static_cast<IWMPEvents*>(sink), &second), S_OK); // twice is two connections
    EXPECT_NE(first, second);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(sink->References(), 3u);
    EXPECT_EQ(point->Unadvise(first), S_OK);
    EXPECT_EQ(point->Unadvise(first), CONNECT_E_NOCONNECTION); // once only
    EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(second), S_OK);
    EXPECT_EQ(sink->References(), 1u);

    std::uint32_t cookie = 7;
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(point->Advise(static_cast<IWMPEvents*>(sink), nullptr), E_POINTER);
    // A sink that answers neither interface cannot be connected.
    auto* dispatchOnly = new CRecordingSink(CRecordingSink::Answers::DispatchOnly);
    EXPECT_EQ(point->Advise(static_cast<IDispatch*>(dispatchOnly), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(dispatchOnly->References(), 1u);
    // Connections are bounded.
    std::vector<std::uint32_t> cookies;
    HRESULT result = S_OK;
    for (int i = 0; i < 1000 && result == S_OK; ++i) {
        result = point->Advise(static_cast<IWMPEvents*>(sink), &cookie);
        if (result == S_OK)
            cookies.push_back(cookie);
    }
    EXPECT_EQ(result, CONNECT_E_ADVISELIMIT);
    EXPECT_GE(cookies.size(), 1u);
    for (const std::uint32_t each : cookies)
        EXPECT_EQ(point->Unadvise(each), S_OK);
    EXPECT_EQ(sink->References(), 1u);
    point->Release();
    sink->Release();
    dispatchOnly->Release();
}

TEST(PlayerEvents, DispatchSinkGetsTheSameEventsByDispidWithTheirArguments)
{
    Mp3File file(1);
    PlayerFixture byMethod(PlayerFixture::Connection::Events);
    PlayerFixture byDispid(PlayerFixture::Connection::Dispatch);
    for (PlayerFixture* fixture : {&byMethod, &byDispid}) {
        fixture->Open(file.path);
        ASSERT_TRUE(fixture->WaitForState(wmppsStopped, kStepTimeout)) << fixture->Status();
        fixture->Settle();
    }
    const std::vector<std::string> methods = Names(byMethod.sink->Events());
    EXPECT_EQ(Names(byDispid.sink->Events()), methods);
    EXPECT_GE(byDispid.sink->Count("StatusChange"), byDispid.sink->PlayStates().size());
    // The arguments came through: the play states of a file played to its end.
    const std::vector<long> expected = {wmppsTransitioning, wmppsPlaying, wmppsMediaEnded, wmppsStopped};
    EXPECT_EQ(byDispid.sink->PlayStates(), expected);
    EXPECT_EQ(byDispid.sink->Count("Unknown"), 0u);
}

TEST(PlayerEvents, EveryPlayStateChangeIsFollowedByAStatusChange)
{
    // The system listens to StatusChange alone and reads the play state
    // then: a change of state without one would go unseen.
    Mp3File file(1);
    PlayerFixture fixture;
    fixture.Open(file.path);
    ASSERT_TRUE(fixture.WaitForState(wmppsStopped, kStepTimeout));
    fixture.Settle();
    const std::vector<RecordedEvent> events = fixture.sink->Events();
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].name != "PlayStateChange")
            continue;
        bool statusFollows = false;
        for (std::size_t j = i + 1; j < events.size() && events[j].name != "PlayStateChange"; ++j)
            statusFollows = statusFollows || events[j].name == "StatusChange";
        EXPECT_TRUE(statusFollows) << "after PlayStateChange(" << events[i].value << ")";
    }
    // The open states went the usual way.
    std::vector<long> openStates;
    for (const RecordedEvent& event : events)
        if (event.name == "OpenStateChange")
            openStates.push_back(event.value);
    ASSERT_GE(openStates.size(), 2u);
    EXPECT_EQ(openStates[0], wmposMediaOpening);
    EXPECT_EQ(openStates[1], wmposMediaOpen);
}

TEST(PlayerEvents, SinkMayUnadviseItselfOrAdviseAnotherInsideItsCallback)
{
    Mp3File file(1);
    PlayerFixture fixture;
    IConnectionPoint* point = FindPoint(fixture.player, IID_IWMPEvents);
    auto* quitter = new CRecordingSink;
    auto* latecomer = new CRecordingSink;
    std::uint32_t quitterCookie = 0;
    std::uint32_t latecomerCookie = 0;
    point->Advise(static_cast<IWMPEvents*>(quitter), &quitterCookie);
    // At its first event the quitter leaves and brings the latecomer in.
    quitter->onEvent = [&](const RecordedEvent&) {
        if (quitterCookie == 0)
            return;
        EXPECT_EQ(point->Unadvise(quitterCookie), S_OK);
        quitterCookie = 0;
        EXPECT_EQ(point->Advise(static_cast<IWMPEvents*>(latecomer), &latecomerCookie), S_OK);
    };
    fixture.Open(file.path);
    ASSERT_TRUE(fixture.WaitForState(wmppsStopped, kStepTimeout));
    fixture.Settle();
    EXPECT_EQ(quitter->Events().size(), 1u); // nothing after it left
    EXPECT_EQ(quitter->References(), 1u);
    // The latecomer missed the event that brought it in, and got the rest.
    const std::size_t all = fixture.sink->Events().size();
    EXPECT_EQ(latecomer->Events().size(), all - 1);
    EXPECT_EQ(point->Unadvise(latecomerCookie), S_OK);
    point->Release();
    quitter->Release();
    latecomer->Release();
}

TEST(PlayerEvents, NoEventBeforeASinkIsAdvisedIsReplayedToIt)
{
    Mp3File file(1);
    PlayerFixture fixture;
    fixture.Open(file.path);
    ASSERT_TRUE(fixture.WaitForState(wmppsPlaying, kStepTimeout));
    IConnectionPoint* point = FindPoint(fixture.player, IID_IWMPEvents);
    auto* late = new CRecordingSink;
    std::uint32_t cookie = 0;
    point->Advise(static_cast<IWMPEvents*>(late), &cookie);
    ASSERT_TRUE(fixture.WaitForState(wmppsStopped, kStepTimeout));
    fixture.Settle();
    const std::vector<long> expected = {wmppsMediaEnded, wmppsStopped};
    EXPECT_EQ(late->PlayStates(), expected);
    point->Unadvise(cookie);
    point->Release();
    late->Release();
}
