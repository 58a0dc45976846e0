#pragma once

// One player per user. The first start claims the instance: the name
// org.orvane.Radio on the session bus or, where there is no session bus, a
// local socket in $XDG_RUNTIME_DIR. A later start finds it claimed, asks the
// running player to come to the front and ends; a start given stations to
// open (files or addresses) hands them over with the request. Requests arrive
// on the GUI thread from its event loop. No Qt here.

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The name the running player holds on the session bus.
constexpr const char* kInstanceBusName = "org.orvane.Radio";
// The socket's file name inside $XDG_RUNTIME_DIR.
constexpr const char* kInstanceSocketName = "orvane-radio.socket";

enum class InstanceClaim
{
    First,       // this process is the player; it answers later starts
    HandedOver,  // another player runs and was asked to come to the front
    Unguarded,   // neither a session bus nor a runtime folder: run as before
};

class CInstanceGuard
{
public:
    CInstanceGuard();
    ~CInstanceGuard();

    CInstanceGuard(const CInstanceGuard&) = delete;
    CInstanceGuard& operator=(const CInstanceGuard&) = delete;

    // What this start was asked to open, handed to the running player when
    // there is one. Set before Claim. Items cross as they are: a path must
    // already be absolute, since the running player has another folder.
    void SetItemsToForward(std::vector<std::string> items);

    // Makes the process's Qt application when there is none yet.
    InstanceClaim Claim();

    // What a later start's request does. A request that came before a
    // handler was set is kept and handed to the first handler. Null stops
    // answering (the window is going).
    void SetRaiseHandler(std::function<void()> handler);

    // What a later start's items do (after the raise handler has run), in
    // the order the starts came. Items that came before a handler was set
    // are kept and handed to the first handler. Null stops answering.
    void SetOpenHandler(std::function<void(const std::vector<std::string>&)> handler);

    // How the claim is held, for tests: "bus", "socket" or "".
    std::string Holder() const;

    struct TPrivate;

private:
    std::unique_ptr<TPrivate> d;
};
