// One player per user: a later start hands over to the running one, on the
// session bus and, without one, through a socket in the runtime folder.

#include "support/DesktopSession.h"
#include "platform/desktop/InstanceGuard.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

using namespace desktoptest;

namespace {

const std::string kProbe = ORVANE_INSTANCE_PROBE;

// The last line of `output` (Qt may warn on the lines before).
std::string LastLine(const std::string& output)
{
    const auto newline = output.rfind('\n');
    return newline == std::string::npos ? output : output.substr(newline + 1);
}

// How many lines of `output` are exactly `line`.
int CountLines(const std::string& output, const std::string& line)
{
    int count = 0;
    std::size_t start = 0;
    while (start <= output.size()) {
        const std::size_t end = output.find('\n', start);
        const std::string current = output.substr(start, end == std::string::npos ? std::string::npos : end - start);
        count += current == line ? 1 : 0;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return count;
}

class InstanceGuardTest : public ::testing::Test
{
protected:
    void SetUp() override { runtime = MakeTemporaryFolder("orvane-runtime"); }
    void TearDown() override { RemoveFolder(runtime); }

    Environment WithBus(const CPrivateSessionBus& bus) const
    {
        return {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}, {"XDG_RUNTIME_DIR", runtime}, {"DISPLAY", {}},
                {"QT_QPA_PLATFORM", "offscreen"}};
    }
    Environment WithoutBus() const
    {
        return {{"DBUS_SESSION_BUS_ADDRESS", {}}, {"XDG_RUNTIME_DIR", runtime}, {"DISPLAY", {}},
                {"QT_QPA_PLATFORM", "offscreen"}};
    }

    // The first probe, once it holds the instance.
    void StartFirst(std::optional<CChildProcess>& first, const Environment& environment, const std::string& holder)
    {
        first.emplace(std::vector<std::string>{kProbe, "30"}, environment);
        ASSERT_TRUE(WaitUntil([&] { return first->Output().find("first " + holder) != std::string::npos; }, 10s))
            << first->Output();
    }

    std::string runtime;
};

} // namespace

TEST_F(InstanceGuardTest, LaterStartsRaiseTheFirstOnTheSessionBus)
{
    CPrivateSessionBus bus;
    ASSERT_TRUE(bus.Started());
    std::optional<CChildProcess> first;
    StartFirst(first, WithBus(bus), "bus");

    for (int start = 1; start <= 2; ++start) {
        const TToolResult later = RunTool({kProbe, "0"}, WithBus(bus));
        EXPECT_EQ(later.exitCode, 0);
        EXPECT_EQ(LastLine(later.output), "handed-over");
        EXPECT_TRUE(WaitUntil([&] { return CountLines(first->Output(), "raised") == start; }, 10s))
            << first->Output();
    }
    EXPECT_TRUE(first->Running());
}

TEST_F(InstanceGuardTest, WithoutBusASocketInTheRuntimeFolderDoesTheSame)
{
    std::optional<CChildProcess> first;
    StartFirst(first, WithoutBus(), "socket");
    EXPECT_TRUE(std::filesystem::exists(runtime + "/" + kInstanceSocketName));

    const TToolResult later = RunTool({kProbe, "0"}, WithoutBus());
    EXPECT_EQ(later.exitCode, 0);
    EXPECT_EQ(LastLine(later.output), "handed-over");
    EXPECT_TRUE(WaitUntil([&] { return CountLines(first->Output(), "raised") == 1; }, 10s)) << first->Output();
}

TEST_F(InstanceGuardTest, LaterStartsHandOverTheirItemsWholeOnBusAndSocket)
{
    // Paths may hold blanks, tabs, percent signs and any script.
    const std::vector<std::string> items = {"/home/u/My Music/列表 1.pls", "http://a.example:8000/s?x=1&y=%20",
                                            "/tmp/tab\there", "file:///tmp/100%25.m3u"};
    std::optional<CPrivateSessionBus> bus;
    bus.emplace();
    ASSERT_TRUE(bus->Started());
    for (const bool onBus : {true, false}) {
        std::optional<CChildProcess> first;
        Environment environment = onBus ? WithBus(*bus) : WithoutBus();
        // The first takes longer over the items than a later start waits for
        // an answer: the answer must not wait for them, or the later start
        // would take the first for frozen and take its place.
        environment["ORVANE_PROBE_OPEN_SECONDS"] = "2";
        StartFirst(first, environment, onBus ? "bus" : "socket");
        std::vector<std::string> argv = {kProbe, "0"};
        argv.insert(argv.end(), items.begin(), items.end());
        const TToolResult later = RunTool(argv, environment);
        EXPECT_EQ(LastLine(later.output), "handed-over") << onBus;
        const std::string expected = "opened " + items[0] + "|" + items[1] + "|" + items[2] + "|" + items[3];
        EXPECT_TRUE(WaitUntil([&] { return CountLines(first->Output(), expected) == 1; }, 10s))
            << onBus << ": " << first->Output();
        // Handing over items brings the player to the front as well.
        EXPECT_EQ(CountLines(first->Output(), "raised"), 1) << first->Output();
        EXPECT_TRUE(first->Running()) << first->Output();
        EXPECT_EQ(CountLines(first->Output(), "ended early"), 0) << first->Output();
        first->Stop();
    }
}

TEST_F(InstanceGuardTest, SocketLeftByAKilledPlayerIsTakenOver)
{
    {
        std::optional<CChildProcess> killed;
        StartFirst(killed, WithoutBus(), "socket");
        ::kill(killed->Pid(), SIGKILL);
        killed->Wait(10s);
    }
    ASSERT_TRUE(std::filesystem::exists(runtime + "/" + kInstanceSocketName));
    std::optional<CChildProcess> next;
    StartFirst(next, WithoutBus(), "socket");
}

TEST_F(InstanceGuardTest, NameIsFreeAgainOnceTheFirstHasEnded)
{
    CPrivateSessionBus bus;
    ASSERT_TRUE(bus.Started());
    const TToolResult first = RunTool({kProbe, "0"}, WithBus(bus));
    EXPECT_EQ(LastLine(first.output), "first bus");
    const TToolResult second = RunTool({kProbe, "0"}, WithBus(bus));
    EXPECT_EQ(LastLine(second.output), "first bus");
}

TEST_F(InstanceGuardTest, NeitherBusNorRuntimeFolderRunsUnguarded)
{
    Environment environment = WithoutBus();
    environment["XDG_RUNTIME_DIR"] = std::nullopt;
    const TToolResult alone = RunTool({kProbe, "0"}, environment);
    EXPECT_EQ(alone.exitCode, 0);
    EXPECT_EQ(LastLine(alone.output), "unguarded");
}

namespace {

// A first player that stops answering (SIGSTOP) and the later start that
// takes its place, on each way of holding the instance.
struct TTakeover
{
    const char* name;
    bool sessionBus;
    // What the first does once it runs again (SIGCONT): a player that lost
    // the bus name ends at once; one behind the socket has no word of it and
    // ends at the end of its own time.
    const char* firstSeconds;
    bool firstEndsOnResume;
};

void PrintTo(const TTakeover& row, std::ostream* stream)
{
    *stream << row.name;
}

class InstanceTakeoverTest : public InstanceGuardTest, public ::testing::WithParamInterface<TTakeover>
{
};

} // namespace

TEST_P(InstanceTakeoverTest, AStoppedFirstIsTakenOverAndLeavesTheNewHolderAlone)
{
    const TTakeover& row = GetParam();
    std::optional<CPrivateSessionBus> bus;
    if (row.sessionBus) {
        bus.emplace();
        ASSERT_TRUE(bus->Started());
    }
    const Environment environment = row.sessionBus ? WithBus(*bus) : WithoutBus();
    const std::string holder = row.sessionBus ? "bus" : "socket";

    std::optional<CChildProcess> first(std::in_place, std::vector<std::string>{kProbe, row.firstSeconds}, environment);
    ASSERT_TRUE(WaitUntil([&] { return first->Output().find("first " + holder) != std::string::npos; }, 10s))
        << first->Output();
    ::kill(first->Pid(), SIGSTOP);

    std::optional<CChildProcess> second;
    StartFirst(second, environment, holder);

    ::kill(first->Pid(), SIGCONT);
    if (row.firstEndsOnResume) {
        EXPECT_EQ(first->Wait(10s), 0) << first->Output();
        EXPECT_EQ(CountLines(first->Output(), "ended early"), 1) << first->Output();
    } else {
        EXPECT_EQ(first->Wait(15s), 0) << first->Output();
        EXPECT_EQ(CountLines(first->Output(), "ended early"), 0) << first->Output();
    }
    // The one taken over left the new holder's claim as it was: a third
    // start hands over to the second.
    const TToolResult third = RunTool({kProbe, "0"}, environment);
    EXPECT_EQ(LastLine(third.output), "handed-over") << third.output;
    EXPECT_TRUE(WaitUntil([&] { return CountLines(second->Output(), "raised") == 1; }, 10s)) << second->Output();
}

INSTANTIATE_TEST_SUITE_P(
    EachHolder, InstanceTakeoverTest,
    ::testing::Values(TTakeover{"SessionBus", true, "60", true}, TTakeover{"RuntimeFolderSocket", false, "4", false}),
    [](const ::testing::TestParamInfo<TTakeover>& info) { return std::string(info.param.name); });
