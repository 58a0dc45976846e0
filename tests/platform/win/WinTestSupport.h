#pragma once

// Shared pieces of the window-layer tests: a window procedure that records
// what it gets, a loop that pumps messages until a condition holds (always
// under a time-out), and a watchdog that unblocks a waiting GetMessage.

#include "platform/win/Win.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace wintest
{
struct CRecorded
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Everything the recording procedure saw, in order.
std::vector<CRecorded>& Log();
// Answers the recording procedure gives instead of DefWindowProc's.
std::map<UINT, LRESULT>& Answers();
// Called for each message before it is recorded; may act on it.
std::function<void(HWND, UINT, WPARAM, LPARAM)>& Hook();
void Reset();

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers "WinTest" (or another name) with the recording procedure.
void RegisterTestClass(const char* name = "WinTest", UINT style = CS_DBLCLKS);
HWND MakeWindow(int width = 200, int height = 100, DWORD style = WS_POPUP, DWORD exStyle = 0,
                HWND parent = nullptr, const char* className = "WinTest");

// Messages of one kind (optionally for one window) in the log.
std::vector<CRecorded> Messages(UINT message, HWND window = nullptr);
// Index of the first logged message of that kind, -1 when absent.
int IndexOf(UINT message, HWND window = nullptr);

// Peeks, translates and dispatches until done() holds or the time-out runs
// out; false on time-out.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Pumps for a while regardless, for "nothing more arrives" checks.
void PumpFor(std::chrono::milliseconds duration);

// Posts `message` to the loop after the time-out unless cancelled first, so
// a blocking GetMessage in a test always returns.
class CWatchdog
{
public:
    explicit CWatchdog(std::chrono::milliseconds timeout, UINT message = WM_APP + 0x3FF);
    ~CWatchdog();
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;
    UINT Message() const { return message; }

private:
    UINT message;
    std::mutex mutex;
    std::condition_variable cancelled;
    bool done = false;
    std::thread thread;
};
}
