#include "WinTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using namespace wintest;

namespace
{
constexpr UINT WM_TEST_PING = WM_USER + 7;

class MessageLoop : public ::testing::Test
{
protected:
    void SetUp() override { Reset(); }
};
}

TEST_F(MessageLoop, MessagePostedFromAnotherThreadWakesBlockingGetMessage)
{
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    CWatchdog watchdog(5s);
    // The worker posts only once the GUI thread is (very likely) blocked.
    std::thread worker([window] {
        std::this_thread::sleep_for(50ms);
        PostMessage(window, WM_TEST_PING, 11, 22);
    });
    MSG message{};
    BOOL result = GetMessage(&message, nullptr, 0, 0);
    worker.join();
    EXPECT_EQ(result, TRUE);
    EXPECT_EQ(message.message, WM_TEST_PING) << "the watchdog fired first: the post did not wake the loop";
    EXPECT_EQ(message.hwnd, window);
    EXPECT_EQ(message.wParam, 11u);
    EXPECT_EQ(message.lParam, 22);
    DispatchMessage(&message);
    ASSERT_EQ(Messages(WM_TEST_PING).size(), 1u);
}

TEST_F(MessageLoop, ManyThreadsPostingLoseNothingAndKeepEachThreadsOrder)
{
    HWND window = MakeWindow();
    constexpr int threads = 4;
    constexpr int perThread = 250;
    std::vector<std::thread> workers;
    for (int worker = 0; worker < threads; ++worker)
        workers.emplace_back([window, worker] {
            for (int sequence = 0; sequence < perThread; ++sequence)
                PostMessage(window, WM_TEST_PING, static_cast<WPARAM>(worker), sequence);
        });
    for (auto& worker : workers)
        worker.join();
    ASSERT_TRUE(PumpUntil([] { return Messages(WM_TEST_PING).size() == threads * perThread; }));
    std::vector<LPARAM> last(threads, -1);
    for (const CRecorded& entry : Messages(WM_TEST_PING))
    {
        EXPECT_EQ(entry.lParam, last[entry.wParam] + 1) << "thread " << entry.wParam << " out of order";
        last[entry.wParam] = entry.lParam;
    }
}

TEST_F(MessageLoop, PostToDestroyedWindowIsRefusedAndQueuedOnesAreDropped)
{
    HWND window = MakeWindow();
    HWND other = MakeWindow();
    ASSERT_TRUE(PostMessage(window, WM_TEST_PING, 1, 0));
    ASSERT_TRUE(PostMessage(other, WM_TEST_PING, 2, 0));
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(PostMessage(window, WM_TEST_PING, 3, 0));
    // From another thread too: the liveness check is the queue's own.
    std::atomic<BOOL> fromWorker{TRUE};
    std::thread([&] { fromWorker = PostMessage(window, WM_TEST_PING, 4, 0); }).join();
    EXPECT_FALSE(fromWorker.load());
    PumpFor(30ms);
    auto pings = Messages(WM_TEST_PING);
    ASSERT_EQ(pings.size(), 1u);
    EXPECT_EQ(pings[0].hwnd, other);
    EXPECT_EQ(SendMessage(window, WM_TEST_PING, 5, 0), 0);
    EXPECT_EQ(Messages(WM_TEST_PING).size(), 1u);
}

TEST_F(MessageLoop, QuitEndsGetMessageWithItsExitCodeAfterEarlierPosts)
{
    HWND window = MakeWindow();
    PostMessage(window, WM_TEST_PING, 1, 0);
    PostQuitMessage(42);
    PostMessage(window, WM_TEST_PING, 2, 0);
    CWatchdog watchdog(5s);
    MSG message{};
    std::vector<WPARAM> seen;
    while (GetMessage(&message, nullptr, 0, 0))
    {
        ASSERT_NE(message.message, watchdog.Message()) << "WM_QUIT never came";
        seen.push_back(message.wParam);
    }
    EXPECT_EQ(message.message, WM_QUIT);
    EXPECT_EQ(static_cast<int>(message.wParam), 42);
    // The quit request waits for every posted message, as in Win32.
    EXPECT_EQ(seen, (std::vector<WPARAM>{1, 2}));
    // It is handed out once.
    EXPECT_FALSE(PeekMessage(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(MessageLoop, NestedLoopThatMeetsQuitCanRepostItForTheOuterLoop)
{
    MakeWindow();
    PostQuitMessage(7);
    CWatchdog watchdog(5s);
    MSG message{};
    ASSERT_FALSE(GetMessage(&message, nullptr, 0, 0));
    PostQuitMessage(static_cast<int>(message.wParam));
    MSG outer{};
    ASSERT_FALSE(GetMessage(&outer, nullptr, 0, 0));
    EXPECT_EQ(static_cast<int>(outer.wParam), 7);
}

TEST_F(MessageLoop, PeekMessageFiltersAndNoRemoveLeavesTheMessage)
{
    HWND first = MakeWindow();
    HWND second = MakeWindow();
    PostMessage(first, WM_TEST_PING, 1, 0);
    PostMessage(second, WM_TEST_PING + 1, 2, 0);
    MSG message{};
    ASSERT_TRUE(PeekMessage(&message, second, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.wParam, 2u);
    ASSERT_TRUE(PeekMessage(&message, nullptr, WM_TEST_PING + 1, WM_TEST_PING + 1, PM_REMOVE));
    EXPECT_EQ(message.hwnd, second);
    EXPECT_FALSE(PeekMessage(&message, second, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessage(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.hwnd, first);
    EXPECT_FALSE(PeekMessage(&message, nullptr, WM_TEST_PING, WM_TEST_PING, PM_REMOVE));
}

TEST_F(MessageLoop, TranslateMessageQueuesCharactersRightAfterTheirKey)
{
    HWND window = MakeWindow();
    PostMessage(window, WM_KEYDOWN, VK_RETURN, 1);
    PostMessage(window, WM_TEST_PING, 0, 0);
    MSG message{};
    ASSERT_TRUE(PeekMessage(&message, nullptr, 0, 0, PM_REMOVE));
    ASSERT_EQ(message.message, WM_KEYDOWN);
    EXPECT_TRUE(TranslateMessage(&message));
    ASSERT_TRUE(PeekMessage(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_CHAR) << "the character must come before later messages";
    EXPECT_EQ(message.wParam, static_cast<WPARAM>('\r'));
    ASSERT_TRUE(PeekMessage(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_TEST_PING);
    // Keys without a character, and releases, make none.
    PostMessage(window, WM_KEYDOWN, VK_LEFT, 1);
    PostMessage(window, WM_KEYUP, VK_RETURN, 1);
    for (int index = 0; index < 2; ++index)
    {
        ASSERT_TRUE(PeekMessage(&message, nullptr, 0, 0, PM_REMOVE));
        TranslateMessage(&message);
    }
    EXPECT_FALSE(PeekMessage(&message, nullptr, WM_CHAR, WM_CHAR, PM_REMOVE));
}

TEST_F(MessageLoop, ThreadMessagesWithoutWindowArriveAndDispatchToNothing)
{
    MakeWindow();
    ASSERT_TRUE(PostMessage(nullptr, WM_TEST_PING, 9, 0));
    MSG message{};
    ASSERT_TRUE(PeekMessage(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.hwnd, nullptr);
    EXPECT_EQ(message.wParam, 9u);
    EXPECT_EQ(DispatchMessage(&message), 0);
    EXPECT_TRUE(Log().empty() || Messages(WM_TEST_PING).empty());
}

TEST_F(MessageLoop, SendMessageFromAnotherThreadCallsNothing)
{
    HWND window = MakeWindow();
    Log().clear();
    LRESULT result = -5;
    BOOL visible = TRUE;
    std::thread([&] {
        result = SendMessage(window, WM_TEST_PING, 0, 0);
        visible = IsWindowVisible(window);
    }).join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(visible);
    EXPECT_TRUE(Log().empty()) << "the window procedure ran on a worker thread";
}
