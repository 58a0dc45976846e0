#pragma once

// CWmpConnectionPoint: one of the player's two event connection points —
// IWMPEvents, whose sinks are called method by method, or the dispatch
// interface _WMPOCXEvents, whose sinks get IDispatch::Invoke with the
// event's DISPID and its arguments last first. It lives inside the player
// and counts its references on the player.

#include "platform/wmp/PlayerEvent.h"
#include "platform/wmp/Wmp.h"

#include <cstdint>
#include <mutex>
#include <vector>

class CWmpConnectionPoint final : public IConnectionPoint
{
public:
    CWmpConnectionPoint(IConnectionPointContainer& container, const IID& iid);
    ~CWmpConnectionPoint();
    CWmpConnectionPoint(const CWmpConnectionPoint&) = delete;
    CWmpConnectionPoint& operator=(const CWmpConnectionPoint&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) override;
    HRESULT Unadvise(std::uint32_t cookie) override;

    const IID& Interface() const { return iid; }
    // Calls every sink advised when the call starts; a sink may advise or
    // unadvise (itself or others) from inside its callback.
    void Raise(const PlayerEvent& event);
    // Releases every sink.
    void Clear();

private:
    struct Connection
    {
        std::uint32_t cookie;
        IUnknown* sink; // the IWMPEvents or IDispatch pointer, one reference held
    };

    static void RaiseOnEvents(IWMPEvents& sink, const PlayerEvent& event);
    static void RaiseOnDispatch(IDispatch& sink, const PlayerEvent& event);

    IConnectionPointContainer& container;
    const IID iid;
    std::mutex mutex;
    std::vector<Connection> connections;
    std::uint32_t nextCookie = 1;
};
