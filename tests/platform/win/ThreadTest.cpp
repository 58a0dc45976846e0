#include "platform/win/Win.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace
{
// Generous bounds for "promptly" and for "kept waiting": wide enough for a
// loaded CI machine, far from the 60 s and INFINITE waits they measure.
constexpr auto promptly = 5s;

struct CWaitProbe
{
    HANDLE event = nullptr;
    std::atomic<DWORD> result{0xDEAD};
    std::atomic<bool> entered{false};
    std::atomic<bool> laterWaitReturned{false};
    DWORD laterResult = 0xDEAD;
};

DWORD WaitForever(void* parameter)
{
    auto* probe = static_cast<CWaitProbe*>(parameter);
    probe->entered = true;
    probe->result = WaitForSingleObject(probe->event, INFINITE);
    // Once asked to stop, every further wait of the thread returns at once.
    probe->laterResult = WaitForSingleObject(probe->event, INFINITE);
    probe->laterWaitReturned = true;
    return 0;
}

DWORD SleepLong(void* parameter)
{
    auto* probe = static_cast<CWaitProbe*>(parameter);
    probe->entered = true;
    probe->result = Sleep(60000);
    probe->laterResult = Sleep(60000);
    probe->laterWaitReturned = true;
    return 0;
}

void WaitUntilEntered(const CWaitProbe& probe)
{
    auto deadline = std::chrono::steady_clock::now() + promptly;
    while (!probe.entered && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    // Give the thread time to block inside the wait proper.
    std::this_thread::sleep_for(30ms);
}
}

TEST(Threads, StopThreadWakesAThreadBlockedInAnInfiniteWait)
{
    CWaitProbe probe;
    probe.event = CreateEvent(FALSE, FALSE);
    HANDLE thread = CreateThread(WaitForever, &probe);
    ASSERT_NE(thread, nullptr);
    WaitUntilEntered(probe);
    auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(StopThread(thread));
    EXPECT_LT(std::chrono::steady_clock::now() - started, promptly);
    EXPECT_EQ(probe.result.load(), WAIT_STOPPED);
    EXPECT_TRUE(probe.laterWaitReturned);
    EXPECT_EQ(probe.laterResult, WAIT_STOPPED);
    // The handle is gone with the thread.
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
    EXPECT_FALSE(StopThread(thread));
    EXPECT_TRUE(CloseHandle(probe.event));
}

TEST(Threads, StopThreadWakesAThreadInALongSleep)
{
    CWaitProbe probe;
    HANDLE thread = CreateThread(SleepLong, &probe);
    WaitUntilEntered(probe);
    auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(StopThread(thread));
    EXPECT_LT(std::chrono::steady_clock::now() - started, promptly);
    EXPECT_EQ(probe.result.load(), static_cast<DWORD>(FALSE));
    EXPECT_EQ(probe.laterResult, static_cast<DWORD>(FALSE));
}

TEST(Threads, StopRequestIsSeenOnlyByTheStoppedThread)
{
    std::atomic<bool> seen{false};
    std::atomic<bool> others{false};
    auto routine = [](void* parameter) -> DWORD {
        auto* flag = static_cast<std::atomic<bool>*>(parameter);
        while (!IsStopRequested())
            std::this_thread::sleep_for(1ms);
        *flag = true;
        return 0;
    };
    HANDLE stopped = CreateThread(routine, &seen);
    HANDLE running = CreateThread(routine, &others);
    EXPECT_TRUE(StopThread(stopped));
    EXPECT_TRUE(seen);
    EXPECT_FALSE(others);
    EXPECT_FALSE(IsStopRequested()) << "the caller itself was not asked";
    EXPECT_TRUE(StopThread(running));
}

TEST(Threads, AutoResetEventReleasesExactlyOneWaiterPerSet)
{
    HANDLE event = CreateEvent(FALSE, FALSE);
    std::atomic<int> released{0};
    struct CArgs
    {
        HANDLE event;
        std::atomic<int>* released;
    } args{event, &released};
    auto waiter = [](void* parameter) -> DWORD {
        auto* waitArgs = static_cast<CArgs*>(parameter);
        if (WaitForSingleObject(waitArgs->event, INFINITE) == WAIT_OBJECT_0)
            ++*waitArgs->released;
        return 0;
    };
    HANDLE threads[3];
    for (HANDLE& thread : threads)
        thread = CreateThread(waiter, &args);
    std::this_thread::sleep_for(50ms);
    SetEvent(event);
    auto deadline = std::chrono::steady_clock::now() + promptly;
    while (released < 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(released.load(), 1);
    // The event reset itself on release: a later wait times out.
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    SetEvent(event);
    deadline = std::chrono::steady_clock::now() + promptly;
    while (released < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(released.load(), 2);
    for (HANDLE thread : threads)
        StopThread(thread);
    EXPECT_EQ(released.load(), 2) << "stopped waiters must not count as released";
    CloseHandle(event);
}

TEST(Threads, ManualResetEventStaysSetUntilReset)
{
    HANDLE event = CreateEvent(TRUE, FALSE);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 30), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 25ms);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    ResetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    HANDLE initiallySet = CreateEvent(FALSE, TRUE);
    EXPECT_EQ(WaitForSingleObject(initiallySet, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(initiallySet, 0), WAIT_TIMEOUT);
    CloseHandle(event);
    CloseHandle(initiallySet);
}

TEST(Threads, WaitingOnAThreadEndsWhenItsRoutineReturns)
{
    auto quick = [](void*) -> DWORD {
        std::this_thread::sleep_for(20ms);
        return 3;
    };
    HANDLE thread = CreateThread(quick, nullptr);
    EXPECT_FALSE(CloseHandle(thread)) << "a running thread is ended by StopThread only";
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
}

TEST(Threads, BadHandlesAreRefused)
{
    int notAHandle = 0;
    EXPECT_EQ(WaitForSingleObject(&notAHandle, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(&notAHandle));
    EXPECT_FALSE(CloseHandle(&notAHandle));
    EXPECT_FALSE(StopThread(nullptr));
    HANDLE event = CreateEvent(FALSE, FALSE);
    EXPECT_FALSE(StopThread(event)) << "an event is not a thread";
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event)) << "closed twice";
    EXPECT_EQ(CreateThread(nullptr, nullptr), nullptr);
}

TEST(Threads, AThreadStoppingItselfDoesNotDeadlock)
{
    struct CSelf
    {
        std::atomic<HANDLE> handle{nullptr};
        std::atomic<BOOL> result{TRUE};
        std::atomic<bool> sawStop{false};
    } self;
    auto routine = [](void* parameter) -> DWORD {
        auto* state = static_cast<CSelf*>(parameter);
        while (state->handle.load() == nullptr)
            std::this_thread::sleep_for(1ms);
        state->result = StopThread(state->handle.load());
        state->sawStop = IsStopRequested();
        return 0;
    };
    HANDLE thread = CreateThread(routine, &self);
    self.handle = thread;
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(self.result);
    EXPECT_TRUE(self.sawStop);
    EXPECT_TRUE(StopThread(thread));
}

namespace
{
// Threads of StopAllThreads cases: each waits on the shared event until it
// is stopped, then writes its number to the end order.
struct CStopOrder
{
    HANDLE event = nullptr;
    std::mutex mutex;
    std::vector<int> ended;
};

struct CNumberedThread
{
    CStopOrder* order;
    int number;
};

DWORD WaitThenRecord(void* parameter)
{
    auto* thread = static_cast<CNumberedThread*>(parameter);
    while (WaitForSingleObject(thread->order->event, INFINITE) != WAIT_STOPPED)
    {
    }
    std::lock_guard lock(thread->order->mutex);
    thread->order->ended.push_back(thread->number);
    return 0;
}
}

TEST(Threads, StopAllThreadsStopsTheLatestStartedFirstAndInvalidatesTheirHandles)
{
    for (int count : {1, 3, 5})
    {
        CStopOrder order;
        order.event = CreateEvent(FALSE, FALSE);
        std::vector<CNumberedThread> threads;
        threads.reserve(count);
        std::vector<HANDLE> handles;
        std::vector<int> expected;
        for (int number = 1; number <= count; ++number)
        {
            threads.push_back({&order, number});
            handles.push_back(CreateThread(&WaitThenRecord, &threads.back()));
            expected.insert(expected.begin(), number);
        }
        EXPECT_EQ(StopAllThreads(5000), TRUE) << count;
        EXPECT_EQ(order.ended, expected) << count;
        for (HANDLE handle : handles)
            EXPECT_EQ(StopThread(handle), FALSE) << "a handle stayed valid";
        CloseHandle(order.event);
    }
}

// The process's exit handlers run while a thread still waits: the regression
// of a player that hung for ever in its exit handlers once the display went.
TEST(Threads, ExitWithAThreadStillWaitingEndsAndStopsTheThreadFirst)
{
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        ::close(report[0]);
        static int reportFd = report[1];
        HANDLE event = CreateEvent(FALSE, FALSE);
        CreateThread(
            [](void* parameter) -> DWORD {
                if (WaitForSingleObject(parameter, INFINITE) == WAIT_STOPPED)
                    [[maybe_unused]] const ssize_t written = ::write(reportFd, "stopped", 7);
                return 0;
            },
            event);
        std::this_thread::sleep_for(50ms);
        std::exit(3);
    }
    ::close(report[1]);
    int status = 0;
    pid_t ended = 0;
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         ended == 0 && std::chrono::steady_clock::now() < deadline;)
    {
        ended = ::waitpid(child, &status, WNOHANG);
        std::this_thread::sleep_for(20ms);
    }
    if (ended == 0)
    {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    char text[16] = {};
    [[maybe_unused]] const ssize_t got = ::read(report[0], text, sizeof text - 1);
    ::close(report[0]);
    ASSERT_NE(ended, 0) << "the process hung in its exit handlers";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
    EXPECT_STREQ(text, "stopped");
}
