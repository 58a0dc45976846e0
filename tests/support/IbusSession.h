#pragma once

// A real input method for tests that type Chinese through pinyin: IBus with
// its libpinyin engine, running headless on a DesktopSession's X server
// with a private session bus and a private home, so nothing of the machine's
// own desktop is touched or reached.
//
// The session starts, in order: a session dbus-daemon (its socket in the
// private home), ibus-daemon (no panel, XIM for X clients), waits until
// `ibus engine` answers, and selects the engine. A program that should type
// through it gets Environment(): QT_IM_MODULE=ibus, HOME, XDG_CONFIG_HOME
// (where ibus-daemon writes the address file that Qt's IBus plugin reads),
// DISPLAY and DBUS_SESSION_BUS_ADDRESS.
//
// Both daemons run in process groups of their own, ended (with every engine
// they started) by the destructor or by Stop; a Watchdog ends them when a
// case hangs. The machine needs /etc/machine-id (the address file is named
// after it); the session makes one when it is missing and it may.
//
// Plain POSIX like DesktopSession; no Qt.

#include "support/DesktopSession.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace orvane::test {

class IbusSession
{
public:
    struct Options
    {
        std::string engine = "libpinyin";
        // Longest wait for the daemon to answer and the engine to be chosen.
        std::chrono::milliseconds startTimeout = std::chrono::seconds(30);
        // The whole session's life: a case that runs longer has its daemons ended.
        std::chrono::milliseconds watchdog = std::chrono::minutes(3);
    };

    IbusSession(const DesktopSession& desktop, Options options);
    explicit IbusSession(const DesktopSession& desktop) : IbusSession(desktop, Options{}) {}
    ~IbusSession();
    IbusSession(const IbusSession&) = delete;
    IbusSession& operator=(const IbusSession&) = delete;

    bool Ready() const { return ready; }
    const std::string& Error() const { return error; }
    // "NAME=value" entries for a program that types through the input method.
    std::vector<std::string> Environment() const;
    const std::string& Home() const { return home; }
    const std::string& BusAddress() const { return busAddress; }
    // Runs `ibus` with the arguments in the session's environment.
    ToolResult Ibus(const std::vector<std::string>& arguments,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // The engine `ibus engine` names now ("" when it does not answer).
    std::string CurrentEngine() const;
    // Ends the daemons and their engines, and removes the private home.
    void Stop();

private:
    bool Start();
    static bool EnsureMachineId(std::string& why);

    const DesktopSession& desktop;
    Options options;
    bool ready = false;
    std::string error;
    std::string home;
    std::string busAddress;
    std::unique_ptr<DesktopProgram> bus;
    std::unique_ptr<DesktopProgram> daemon;
    std::unique_ptr<Watchdog> watchdog;
};

} // namespace orvane::test
