#pragma once

// CNetworkState: whether the machine is online, and when it goes to sleep and
// wakes, for a player that should not spend its reopenings while the network
// is away. Online state comes from NetworkManager (through Qt's network
// information), sleep from logind's PrepareForSleep on the system bus.
//
// Without a system bus, NetworkManager or logind it says "online" for ever
// and never reports sleep: the player behaves as if nothing changed.
//
// Threads: made, asked and destroyed on the GUI thread; the callbacks run
// there, from the event loop.

#include <functional>
#include <memory>

class CNetworkState
{
public:
    struct Callbacks
    {
        std::function<void(bool online)> onlineChanged;
        // true before the machine sleeps, false after it woke.
        std::function<void(bool sleeping)> sleepChanged;
    };

    explicit CNetworkState(Callbacks callbacks);
    ~CNetworkState();
    CNetworkState(const CNetworkState&) = delete;
    CNetworkState& operator=(const CNetworkState&) = delete;

    // False only while NetworkManager says the machine has no connection.
    bool Online() const;
    // Whether NetworkManager's state is known at all.
    bool KnowsNetwork() const;

    class CWatcher;

private:
    std::unique_ptr<CWatcher> watcher;
};
