#include "ScriptedPlayer.h"

#include "platform/wmp/WmpPlayer.h"

namespace {

// The player CoCreateInstance hands out while a CScriptedPlayerClass lives.
CScriptedPlayer* scriptedPlayer = nullptr;

HRESULT CreateScriptedPlayer(REFIID iid, void** object)
{
    if (scriptedPlayer == nullptr)
        return CLASS_E_CLASSNOTAVAILABLE;
    return scriptedPlayer->QueryInterface(iid, object);
}

bool IsPlayingOrBuffering(int state)
{
    return state == wmppsPlaying || state == wmppsBuffering;
}

} // namespace

CScriptedPlayer::CScriptedPlayer() = default;

CScriptedPlayer::~CScriptedPlayer()
{
    if (sink != nullptr)
        sink->Release();
}

void CScriptedPlayer::SetState(WMPPlayState state)
{
    stopsSinceStart = 0;
    playState = state;
}

void CScriptedPlayer::SetStatus(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex);
    status = text;
}

void CScriptedPlayer::Change(WMPPlayState state, const std::string& text)
{
    SetStatus(text);
    SetState(state);
    RaiseStatusChange();
}

void CScriptedPlayer::RaiseStatusChange()
{
    IWMPEvents* target = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        target = sink;
        if (target != nullptr)
            target->AddRef();
    }
    if (target == nullptr)
        return;
    target->StatusChange();
    target->Release();
}

std::vector<std::string> CScriptedPlayer::Urls() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return urls;
}

std::vector<COM_LONG> CScriptedPlayer::Volumes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return volumes;
}

std::vector<std::string> CScriptedPlayer::Calls() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
}

std::vector<std::chrono::steady_clock::time_point> CScriptedPlayer::StatusReads() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return statusReads;
}

void CScriptedPlayer::Record(const char* call)
{
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(call);
}

bool CScriptedPlayer::Advised() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return sink != nullptr;
}

HRESULT CScriptedPlayer::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWMPPlayer || iid == IID_IWMPCore)
        *object = static_cast<IWMPPlayer*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *object = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IConnectionPoint)
        *object = static_cast<IConnectionPoint*>(this);
    else if (iid == IID_IWMPControls)
        *object = static_cast<IWMPControls*>(&controls);
    else if (iid == IID_IWMPSettings)
        *object = static_cast<IWMPSettings*>(&settings);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CScriptedPlayer::Release()
{
    const ULONG left = --references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CScriptedPlayer::get_URL(BSTR* result)
{
    if (result == nullptr)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex);
    *result = Utf8ToBstr(url.c_str());
    return S_OK;
}

HRESULT CScriptedPlayer::put_URL(BSTR newUrl)
{
    std::lock_guard<std::mutex> lock(mutex);
    url = BstrToUtf8(newUrl);
    urls.push_back(url);
    calls.push_back("put_URL");
    stopCallsAtLastUrl = stopCalls.load();
    return S_OK;
}

HRESULT CScriptedPlayer::get_openState(WMPOpenState* state)
{
    if (state == nullptr)
        return E_POINTER;
    *state = wmposUndefined;
    return S_OK;
}

HRESULT CScriptedPlayer::get_playState(WMPPlayState* state)
{
    if (state == nullptr)
        return E_POINTER;
    *state = static_cast<WMPPlayState>(playState.load());
    return S_OK;
}

HRESULT CScriptedPlayer::get_controls(IWMPControls** result)
{
    return QueryInterface(IID_IWMPControls, reinterpret_cast<void**>(result));
}

HRESULT CScriptedPlayer::get_settings(IWMPSettings** result)
{
    return QueryInterface(IID_IWMPSettings, reinterpret_cast<void**>(result));
}

HRESULT CScriptedPlayer::get_currentMedia(IWMPMedia** media)
{
    if (media == nullptr)
        return E_POINTER;
    *media = nullptr; // the scripted player has no titles
    return E_NOTIMPL;
}

HRESULT CScriptedPlayer::get_status(BSTR* result)
{
    if (result == nullptr)
        return E_POINTER;
    if (statusFails) {
        std::lock_guard<std::mutex> lock(mutex);
        statusReads.push_back(std::chrono::steady_clock::now());
        *result = nullptr;
        return E_FAIL;
    }
    std::lock_guard<std::mutex> lock(mutex);
    statusReads.push_back(std::chrono::steady_clock::now());
    *result = Utf8ToBstr(status.c_str());
    return S_OK;
}

HRESULT CScriptedPlayer::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (point == nullptr)
        return E_POINTER;
    *point = nullptr;
    if (!(iid == IID_IWMPEvents))
        return CONNECT_E_NOCONNECTION;
    return QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(point));
}

HRESULT CScriptedPlayer::GetConnectionInterface(IID* iid)
{
    if (iid == nullptr)
        return E_POINTER;
    *iid = IID_IWMPEvents;
    return S_OK;
}

HRESULT CScriptedPlayer::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    return QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container));
}

HRESULT CScriptedPlayer::Advise(IUnknown* newSink, std::uint32_t* cookie)
{
    if (newSink == nullptr || cookie == nullptr)
        return E_POINTER;
    IWMPEvents* events = nullptr;
    if (FAILED(newSink->QueryInterface(IID_IWMPEvents, reinterpret_cast<void**>(&events))) || events == nullptr)
        return CONNECT_E_CANNOTCONNECT;
    std::lock_guard<std::mutex> lock(mutex);
    if (sink != nullptr) {
        events->Release();
        return CONNECT_E_ADVISELIMIT;
    }
    sink = events;
    *cookie = 1;
    return S_OK;
}

HRESULT CScriptedPlayer::Unadvise(std::uint32_t cookie)
{
    IWMPEvents* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (cookie != 1 || sink == nullptr)
            return CONNECT_E_NOCONNECTION;
        old = sink;
        sink = nullptr;
    }
    old->Release();
    return S_OK;
}

HRESULT CScriptedPlayer::CControls::play()
{
    ++owner.playCalls;
    owner.Record("play");
    return S_OK;
}

HRESULT CScriptedPlayer::CControls::pause()
{
    ++owner.pauseCalls;
    owner.Record("pause");
    return S_OK;
}

HRESULT CScriptedPlayer::CControls::stop()
{
    ++owner.stopCalls;
    owner.Record("stop");
    // A player that needs several stops to let go of its stream, so that the
    // switch thread's repeated stop shows.
    if (IsPlayingOrBuffering(owner.playState) && ++owner.stopsSinceStart >= owner.stopsToEnd) {
        owner.stopsSinceStart = 0;
        owner.playState = wmppsStopped;
    }
    return S_OK;
}

HRESULT CScriptedPlayer::CSettings::get_volume(COM_LONG* result)
{
    if (result == nullptr)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(owner.mutex);
    *result = owner.volume;
    return S_OK;
}

HRESULT CScriptedPlayer::CSettings::put_volume(COM_LONG newVolume)
{
    std::lock_guard<std::mutex> lock(owner.mutex);
    owner.volume = newVolume;
    owner.volumes.push_back(newVolume);
    return S_OK;
}

CScriptedPlayerClass::CScriptedPlayerClass() : player(new CScriptedPlayer())
{
    scriptedPlayer = player;
    RegisterClassFactory(CLSID_WindowsMediaPlayer, &CreateScriptedPlayer);
}

CScriptedPlayerClass::~CScriptedPlayerClass()
{
    RegisterClassFactory(CLSID_WindowsMediaPlayer, &CWmpPlayer::Create);
    scriptedPlayer = nullptr;
    player->Release();
}

HRESULT CScriptedPlayer::get_error(IWMPError** error)
{
    // A scripted player reports no failures of its own: the window falls
    // back to the play states alone.
    if (error != nullptr)
        *error = nullptr;
    return E_NOTIMPL;
}
