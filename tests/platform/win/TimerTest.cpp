#include "WinTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;
using namespace wintest;

namespace
{
class Timers : public ::testing::Test
{
protected:
    void SetUp() override { Reset(); }
};

size_t TicksOf(HWND window, UINT_PTR id)
{
    size_t count = 0;
    for (const CRecorded& entry : Messages(WM_TIMER, window))
        if (entry.wParam == id)
            ++count;
    return count;
}
}

TEST_F(Timers, ElapseZeroFiresWhenTheLoopIsIdle)
{
    HWND window = MakeWindow();
    ASSERT_NE(SetTimer(window, 3, 0, nullptr), 0u);
    ASSERT_TRUE(PumpUntil([&] { return TicksOf(window, 3) >= 1; }, 2s));
    KillTimer(window, 3);
}

TEST_F(Timers, ThirtyMillisecondTimerRepeatsAndKillTimerStopsIt)
{
    HWND window = MakeWindow();
    ASSERT_NE(SetTimer(window, 500, 30, nullptr), 0u);
    ASSERT_TRUE(PumpUntil([&] { return TicksOf(window, 500) >= 3; }, 5s));
    EXPECT_TRUE(KillTimer(window, 500));
    size_t atKill = TicksOf(window, 500);
    PumpFor(120ms);
    EXPECT_EQ(TicksOf(window, 500), atKill) << "a tick arrived after KillTimer";
    EXPECT_FALSE(KillTimer(window, 500));
}

TEST_F(Timers, BusyLoopGetsOneTimerMessageNotABacklog)
{
    HWND window = MakeWindow();
    SetTimer(window, 1, 10, nullptr);
    // The loop does not run for several periods: the ticks merge.
    std::this_thread::sleep_for(80ms);
    PumpFor(5ms);
    EXPECT_LE(TicksOf(window, 1), 2u);
    KillTimer(window, 1);
}

TEST_F(Timers, KillTimerRemovesAPendingTick)
{
    HWND window = MakeWindow();
    SetTimer(window, 9, 10, nullptr);
    std::this_thread::sleep_for(30ms);
    // Only peeks without removing, so the tick stays due and undispatched.
    MSG message{};
    auto deadline = std::chrono::steady_clock::now() + 2s;
    bool due = false;
    while (!due && std::chrono::steady_clock::now() < deadline)
    {
        due = PeekMessage(&message, window, WM_TIMER, WM_TIMER, PM_NOREMOVE) != FALSE;
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(due);
    EXPECT_EQ(message.wParam, 9u);
    KillTimer(window, 9);
    EXPECT_FALSE(PeekMessage(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE));
}

TEST_F(Timers, PostedMessagesComeBeforeDueTimers)
{
    HWND window = MakeWindow();
    SetTimer(window, 4, 0, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return TicksOf(window, 4) >= 1; }, 2s));
    Log().clear();
    PostMessage(window, WM_USER, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return TicksOf(window, 4) >= 1; }, 2s));
    int posted = IndexOf(WM_USER);
    ASSERT_GE(posted, 0);
    EXPECT_LT(posted, IndexOf(WM_TIMER));
    KillTimer(window, 4);
}

TEST_F(Timers, TimersDieWithTheirWindow)
{
    HWND window = MakeWindow();
    HWND other = MakeWindow();
    SetTimer(window, 1, 10, nullptr);
    SetTimer(other, 1, 10, nullptr);
    DestroyWindow(window);
    Log().clear();
    ASSERT_TRUE(PumpUntil([&] { return TicksOf(other, 1) >= 2; }, 5s));
    EXPECT_EQ(Messages(WM_TIMER, window).size(), 0u);
    EXPECT_FALSE(KillTimer(window, 1));
    EXPECT_EQ(SetTimer(window, 2, 10, nullptr), 0u);
}

TEST_F(Timers, SettingAnIdAgainRestartsInsteadOfAddingASecondTimer)
{
    HWND window = MakeWindow();
    SetTimer(window, 5, 1000, nullptr);
    SetTimer(window, 5, 20, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return TicksOf(window, 5) >= 2; }, 5s));
    EXPECT_TRUE(KillTimer(window, 5));
    EXPECT_FALSE(KillTimer(window, 5));
}
