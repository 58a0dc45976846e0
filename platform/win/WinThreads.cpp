// Threads and events. A thread ends only by a cooperative stop: StopThread
// sets the thread's stop request and wakes every wait, and the thread's own
// waits answer WAIT_STOPPED (Sleep FALSE) from then on.
//
// All objects share one lock and one condition variable. The program has a
// handful of threads and events, so waking every waiter on each change costs
// nothing worth measuring and keeps every wake-up (event, end of a thread,
// stop request) in one place where none can be missed.
//
// The lock, the condition variable and the object set are made on first use
// and never destroyed. A library that ends the process with exit() (Qt's X11
// plugin when the display goes) runs the exit handlers while our threads may
// still wait here; a destructor of a condition variable with waiters blocks
// for ever, and one of a lock or a set under a running thread is a crash.
// What is never destroyed can do neither. On top of that the first thread
// made registers an exit handler that stops every thread still running, so
// no thread of ours runs on past the exit handlers that come after it.

#include "platform/win/Win.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

namespace
{
enum class CObjectKind
{
    Event,
    Thread
};

struct CKernelObject
{
    explicit CKernelObject(CObjectKind kind) : kind(kind) {}
    virtual ~CKernelObject() = default;
    CObjectKind kind;
    // Waits in progress on this object; a closed object is freed by the
    // last of them.
    int waiters = 0;
    bool closed = false;
};

struct CEventObject : CKernelObject
{
    CEventObject(bool manualReset, bool signalled)
        : CKernelObject(CObjectKind::Event), manualReset(manualReset), signalled(signalled)
    {
    }
    bool manualReset;
    bool signalled;
};

struct CThreadObject : CKernelObject
{
    explicit CThreadObject(std::uint64_t startNumber) : CKernelObject(CObjectKind::Thread), startNumber(startNumber) {}
    // Which start this was: StopAllThreads stops the latest first.
    std::uint64_t startNumber;
    std::thread thread;
    bool stopRequested = false;
    bool finished = false;
    DWORD exitCode = 0;
};

// Never destroyed (see the top of the file).
struct CThreadLayer
{
    std::mutex mutex;
    std::condition_variable changed;
    std::unordered_set<CKernelObject*> live;
    std::uint64_t startsSoFar = 0;
};

CThreadLayer& Layer()
{
    static CThreadLayer* layer = new CThreadLayer;
    return *layer;
}

// Milliseconds the exit handler waits, in all, for the threads still running.
constexpr DWORD kExitStopMilliseconds = 1000;

std::mutex& objectMutex = Layer().mutex;
std::condition_variable& objectChanged = Layer().changed;
std::unordered_set<CKernelObject*>& liveObjects = Layer().live;
thread_local CThreadObject* currentThread = nullptr;

void StopThreadsAtExit()
{
    StopAllThreads(kExitStopMilliseconds);
}

CKernelObject* FindObject(HANDLE handle)
{
    auto* object = static_cast<CKernelObject*>(handle);
    return liveObjects.count(object) != 0 ? object : nullptr;
}

bool StopRequestedLocked()
{
    return currentThread != nullptr && currentThread->stopRequested;
}

void FreeIfUnused(CKernelObject* object)
{
    if (object->closed && object->waiters == 0)
        delete object;
}

// Milliseconds to a deadline; INFINITE has none.
template <typename Predicate>
bool WaitLocked(std::unique_lock<std::mutex>& lock, DWORD milliseconds, Predicate done)
{
    if (milliseconds == INFINITE)
    {
        objectChanged.wait(lock, done);
        return true;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    return objectChanged.wait_until(lock, deadline, done);
}
}

HANDLE CreateThread(LPTHREAD_START_ROUTINE routine, void* parameter)
{
    if (routine == nullptr)
        return nullptr;
    static std::once_flag exitHandler;
    std::call_once(exitHandler, [] { std::atexit(&StopThreadsAtExit); });
    CThreadObject* object = nullptr;
    {
        std::lock_guard lock(objectMutex);
        object = new CThreadObject(++Layer().startsSoFar);
        liveObjects.insert(object);
    }
    try
    {
        object->thread = std::thread([object, routine, parameter] {
            currentThread = object;
            DWORD exitCode = routine(parameter);
            std::lock_guard lock(objectMutex);
            object->exitCode = exitCode;
            object->finished = true;
            objectChanged.notify_all();
        });
    }
    catch (const std::system_error&)
    {
        std::lock_guard lock(objectMutex);
        liveObjects.erase(object);
        delete object;
        return nullptr;
    }
    return object;
}

BOOL StopThread(HANDLE thread)
{
    CThreadObject* object = nullptr;
    {
        std::lock_guard lock(objectMutex);
        CKernelObject* found = FindObject(thread);
        if (found == nullptr || found->kind != CObjectKind::Thread)
            return FALSE;
        object = static_cast<CThreadObject*>(found);
        object->stopRequested = true;
        objectChanged.notify_all();
        // A thread cannot wait for its own end; it has been asked, and its
        // waits now return at once.
        if (object == currentThread)
            return FALSE;
        // Only one StopThread may join; a second caller finds it gone.
        liveObjects.erase(object);
    }
    if (object->thread.joinable())
        object->thread.join();
    std::lock_guard lock(objectMutex);
    object->closed = true;
    FreeIfUnused(object);
    return TRUE;
}

BOOL StopAllThreads(DWORD milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::vector<CThreadObject*> running;
    {
        std::lock_guard lock(objectMutex);
        for (CKernelObject* object : liveObjects)
        {
            if (object->kind != CObjectKind::Thread)
                continue;
            auto* thread = static_cast<CThreadObject*>(object);
            if (thread != currentThread && !thread->stopRequested)
                running.push_back(thread);
        }
        // Only one caller stops a thread; StopThread and CloseHandle find it gone.
        for (CThreadObject* thread : running)
            liveObjects.erase(thread);
    }
    // The latest first: a thread may use what an earlier one serves, never
    // the other way round (the station-switch thread goes before the update
    // worker, as in the main window's teardown).
    std::sort(running.begin(), running.end(),
              [](const CThreadObject* a, const CThreadObject* b) { return a->startNumber > b->startNumber; });
    bool allEnded = true;
    for (CThreadObject* thread : running)
    {
        std::unique_lock lock(objectMutex);
        thread->stopRequested = true;
        objectChanged.notify_all();
        if (!objectChanged.wait_until(lock, deadline, [thread] { return thread->finished; }))
        {
            // Left as it is: its std::thread is never destroyed, so the
            // process can still end around it.
            allEnded = false;
            continue;
        }
        lock.unlock();
        if (thread->thread.joinable())
            thread->thread.join();
        lock.lock();
        thread->closed = true;
        FreeIfUnused(thread);
    }
    return allEnded ? TRUE : FALSE;
}

bool IsStopRequested()
{
    std::lock_guard lock(objectMutex);
    return StopRequestedLocked();
}

HANDLE CreateEvent(BOOL manualReset, BOOL initialState)
{
    auto* object = new CEventObject(manualReset != FALSE, initialState != FALSE);
    std::lock_guard lock(objectMutex);
    liveObjects.insert(object);
    return object;
}

BOOL SetEvent(HANDLE event)
{
    std::lock_guard lock(objectMutex);
    CKernelObject* found = FindObject(event);
    if (found == nullptr || found->kind != CObjectKind::Event)
        return FALSE;
    static_cast<CEventObject*>(found)->signalled = true;
    objectChanged.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE event)
{
    std::lock_guard lock(objectMutex);
    CKernelObject* found = FindObject(event);
    if (found == nullptr || found->kind != CObjectKind::Event)
        return FALSE;
    static_cast<CEventObject*>(found)->signalled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    std::unique_lock lock(objectMutex);
    CKernelObject* object = FindObject(handle);
    if (object == nullptr)
        return WAIT_FAILED;
    if (StopRequestedLocked())
        return WAIT_STOPPED;
    auto isSignalled = [object] {
        if (object->kind == CObjectKind::Event)
            return static_cast<CEventObject*>(object)->signalled;
        return static_cast<CThreadObject*>(object)->finished;
    };
    ++object->waiters;
    bool woken = WaitLocked(lock, milliseconds, [&] { return isSignalled() || object->closed || StopRequestedLocked(); });
    --object->waiters;
    DWORD result = WAIT_TIMEOUT;
    if (StopRequestedLocked())
    {
        result = WAIT_STOPPED;
    }
    else if (woken && isSignalled())
    {
        result = WAIT_OBJECT_0;
        if (object->kind == CObjectKind::Event && !static_cast<CEventObject*>(object)->manualReset)
            static_cast<CEventObject*>(object)->signalled = false;
    }
    else if (object->closed)
    {
        result = WAIT_FAILED;
    }
    FreeIfUnused(object);
    return result;
}

BOOL Sleep(DWORD milliseconds)
{
    if (milliseconds == 0)
    {
        std::this_thread::yield();
        return IsStopRequested() ? FALSE : TRUE;
    }
    std::unique_lock lock(objectMutex);
    if (currentThread == nullptr)
    {
        // The GUI thread and threads of others are never asked to stop.
        lock.unlock();
        if (milliseconds != INFINITE)
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        else
            for (;;)
                std::this_thread::sleep_for(std::chrono::hours(1));
        return TRUE;
    }
    WaitLocked(lock, milliseconds, [] { return StopRequestedLocked(); });
    return StopRequestedLocked() ? FALSE : TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    std::lock_guard lock(objectMutex);
    CKernelObject* object = FindObject(handle);
    if (object == nullptr)
        return FALSE;
    if (object->kind == CObjectKind::Thread)
    {
        auto* thread = static_cast<CThreadObject*>(object);
        if (!thread->finished || thread == currentThread)
            return FALSE;
        // Finished: the join returns at once.
        if (thread->thread.joinable())
            thread->thread.join();
    }
    liveObjects.erase(object);
    object->closed = true;
    objectChanged.notify_all();
    FreeIfUnused(object);
    return TRUE;
}
