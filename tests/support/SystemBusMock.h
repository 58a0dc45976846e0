#pragma once

// A private system bus for tests: a dbus-daemon of its own on a socket in a
// temporary folder, with python3-dbusmock imitating NetworkManager and
// logind on it. Point a process at it with DBUS_SYSTEM_BUS_ADDRESS=Address().
//
// Every process is started in a process group of its own, killed with its
// group when the mock is destroyed, and killed by the kernel if the test
// process dies first (parent-death signal).

#include <string>
#include <sys/types.h>
#include <vector>

namespace orvane::test {

class SystemBusMock
{
public:
    // True when dbus-daemon, gdbus and Debian's python3-dbusmock are there.
    static bool Available();

    // Starts the bus and both imitations, and waits until their names are
    // on the bus; throws std::runtime_error when they do not come up.
    SystemBusMock();
    ~SystemBusMock();
    SystemBusMock(const SystemBusMock&) = delete;
    SystemBusMock& operator=(const SystemBusMock&) = delete;

    std::string Address() const { return address; }

    // NetworkManager's global state: connected (70) or disconnected (20),
    // announced the way NetworkManager does; false when the call failed.
    bool SetOnline(bool online) const;
    // logind's PrepareForSleep(sleeping); false when the call failed.
    bool PrepareForSleep(bool sleeping) const;

private:
    void Stop();
    pid_t Spawn(const std::vector<std::string>& arguments) const;
    // Runs gdbus on the private bus; true when it succeeded, with its output.
    bool Gdbus(const std::string& arguments, std::string* output = nullptr) const;
    bool WaitForName(const std::string& name) const;

    std::string folder;
    std::string address;
    std::vector<pid_t> processes;
};

} // namespace orvane::test
