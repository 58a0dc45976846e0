#include "platform/wmp/WmpConnectionPoint.h"

namespace {

// Sinks one connection point takes before Advise answers
// CONNECT_E_ADVISELIMIT; the system advises one.
constexpr std::size_t kMaxConnections = 64;

// IDispatch::Invoke's interface argument is reserved and must be the null id.
const IID kNullInterface = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

} // namespace

CWmpConnectionPoint::CWmpConnectionPoint(IConnectionPointContainer& container, const IID& iid)
    : container(container), iid(iid)
{
}

CWmpConnectionPoint::~CWmpConnectionPoint()
{
    Clear();
}

HRESULT CWmpConnectionPoint::QueryInterface(REFIID requested, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualGUID(requested, IID_IUnknown) || IsEqualGUID(requested, IID_IConnectionPoint)) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CWmpConnectionPoint::AddRef()
{
    return container.AddRef();
}

ULONG CWmpConnectionPoint::Release()
{
    return container.Release();
}

HRESULT CWmpConnectionPoint::GetConnectionInterface(IID* result)
{
    if (result == nullptr)
        return E_POINTER;
    *result = iid;
    return S_OK;
}

HRESULT CWmpConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** result)
{
    if (result == nullptr)
        return E_POINTER;
    container.AddRef();
    *result = &container;
    return S_OK;
}

HRESULT CWmpConnectionPoint::Advise(IUnknown* sink, std::uint32_t* cookie)
{
    if (cookie != nullptr)
        *cookie = 0;
    if (sink == nullptr || cookie == nullptr)
        return E_POINTER;
    void* pointer = nullptr;
    if (FAILED(sink->QueryInterface(iid, &pointer)) || pointer == nullptr) {
        // A dispatch sink may answer only IDispatch for the event interface.
        if (!IsEqualGUID(iid, DIID__WMPOCXEvents) || FAILED(sink->QueryInterface(IID_IDispatch, &pointer)) ||
            pointer == nullptr)
            return CONNECT_E_CANNOTCONNECT;
    }
    // Kept as IUnknown* of the right interface, so that Raise can cast back.
    IUnknown* held = IsEqualGUID(iid, IID_IWMPEvents) ? static_cast<IUnknown*>(static_cast<IWMPEvents*>(pointer))
                                                      : static_cast<IUnknown*>(static_cast<IDispatch*>(pointer));
    std::lock_guard<std::mutex> lock(mutex);
    if (connections.size() >= kMaxConnections) {
        held->Release();
        return CONNECT_E_ADVISELIMIT;
    }
    const std::uint32_t given = nextCookie++;
    if (nextCookie == 0)
        nextCookie = 1;
    connections.push_back({given, held});
    *cookie = given;
    return S_OK;
}

HRESULT CWmpConnectionPoint::Unadvise(std::uint32_t cookie)
{
    IUnknown* sink = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = connections.begin(); it != connections.end(); ++it) {
            if (it->cookie == cookie) {
                sink = it->sink;
                connections.erase(it);
                break;
            }
        }
    }
    if (sink == nullptr)
        return CONNECT_E_NOCONNECTION;
    sink->Release(); // outside the lock: the sink may call back into us as it goes
    return S_OK;
}

void CWmpConnectionPoint::Clear()
{
    std::vector<Connection> released;
    {
        std::lock_guard<std::mutex> lock(mutex);
        released.swap(connections);
    }
    for (const Connection& connection : released)
        connection.sink->Release();
}

void CWmpConnectionPoint::Raise(const PlayerEvent& event)
{
    std::vector<IUnknown*> sinks;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const Connection& connection : connections) {
            connection.sink->AddRef();
            sinks.push_back(connection.sink);
        }
    }
    const bool direct = IsEqualGUID(iid, IID_IWMPEvents);
    for (IUnknown* sink : sinks) {
        if (direct)
            RaiseOnEvents(*static_cast<IWMPEvents*>(sink), event);
        else
            RaiseOnDispatch(*static_cast<IDispatch*>(sink), event);
        sink->Release();
    }
}

void CWmpConnectionPoint::RaiseOnEvents(IWMPEvents& sink, const PlayerEvent& event)
{
    switch (event.kind) {
    case PlayerEventKind::OpenStateChange:
        sink.OpenStateChange(event.value);
        break;
    case PlayerEventKind::PlayStateChange:
        sink.PlayStateChange(event.value);
        break;
    case PlayerEventKind::StatusChange:
        sink.StatusChange();
        break;
    case PlayerEventKind::Buffering:
        sink.Buffering(static_cast<VARIANT_BOOL>(event.value));
        break;
    case PlayerEventKind::Error:
        sink.Error();
        break;
    case PlayerEventKind::EndOfStream:
        sink.EndOfStream(event.value);
        break;
    case PlayerEventKind::MediaChange:
        sink.MediaChange(nullptr); // the sink reads currentMedia
        break;
    }
}

void CWmpConnectionPoint::RaiseOnDispatch(IDispatch& sink, const PlayerEvent& event)
{
    DISPID member = 0;
    VARIANT argument;
    bool hasArgument = true;
    switch (event.kind) {
    case PlayerEventKind::OpenStateChange:
        member = DISPID_WMPCOREEVENT_OPENSTATECHANGE;
        argument.vt = VT_I4;
        argument.lVal = event.value;
        break;
    case PlayerEventKind::PlayStateChange:
        member = DISPID_WMPCOREEVENT_PLAYSTATECHANGE;
        argument.vt = VT_I4;
        argument.lVal = event.value;
        break;
    case PlayerEventKind::StatusChange:
        member = DISPID_WMPCOREEVENT_STATUSCHANGE;
        hasArgument = false;
        break;
    case PlayerEventKind::Buffering:
        member = DISPID_WMPCOREEVENT_BUFFERING;
        argument.vt = VT_BOOL;
        argument.boolVal = static_cast<VARIANT_BOOL>(event.value);
        break;
    case PlayerEventKind::Error:
        member = DISPID_WMPCOREEVENT_ERROR;
        hasArgument = false;
        break;
    case PlayerEventKind::EndOfStream:
        member = DISPID_WMPCOREEVENT_ENDOFSTREAM;
        argument.vt = VT_I4;
        argument.lVal = event.value;
        break;
    case PlayerEventKind::MediaChange:
        member = DISPID_WMPCOREEVENT_MEDIACHANGE;
        argument.vt = VT_EMPTY; // media items are not carried by our variants
        break;
    }
    DISPPARAMS parameters{hasArgument ? &argument : nullptr, nullptr, hasArgument ? 1u : 0u, 0u};
    sink.Invoke(member, kNullInterface, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
}
