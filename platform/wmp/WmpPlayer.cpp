#include "platform/wmp/WmpPlayer.h"

#include "platform/wmp/GuiThread.h"

#include <atomic>
#include <new>
#include <utility>

namespace {

HRESULT GiveString(const std::string& text, BSTR* result)
{
    if (result == nullptr)
        return E_POINTER;
    *result = Utf8ToBstr(text.c_str());
    return *result != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The current media item: a snapshot of the URL and the title, taken when it
// is asked for.
class CWmpMedia final : public CSingleInterfaceObject<IWMPMedia, IID_IWMPMedia>
{
public:
    CWmpMedia(std::string url, std::string title) : url(std::move(url)), title(std::move(title)) {}

    HRESULT get_sourceURL(BSTR* result) override { return GiveString(url, result); }
    HRESULT get_name(BSTR* result) override { return GiveString(title, result); }
    HRESULT getItemInfo(BSTR item, BSTR* result) override
    {
        const std::string name = BstrToUtf8(item);
        if (name == "Title")
            return GiveString(title, result);
        if (name == "SourceURL")
            return GiveString(url, result);
        return GiveString("", result);
    }

private:
    const std::string url;
    const std::string title;
};

// One failure, as the error object hands it out.
class CWmpErrorItem final : public CSingleInterfaceObject<IWMPErrorItem, IID_IWMPErrorItem>
{
public:
    explicit CWmpErrorItem(PlaybackFailure failure) : failure(std::move(failure)) {}

    HRESULT get_errorCode(COM_LONG* code) override { return Give(failure.reason, code); }
    HRESULT get_errorDescription(BSTR* description) override
    {
        return GiveString(FailureText(failure), description);
    }
    HRESULT get_condition(COM_LONG* condition) override
    {
        return Give(static_cast<COM_LONG>(failure.httpStatus), condition);
    }
    HRESULT get_remedy(COM_LONG* remedy) override
    {
        return Give(ReopeningMayMend(failure) ? wmpRemedyReopen : wmpRemedyNone, remedy);
    }

private:
    static HRESULT Give(COM_LONG value, COM_LONG* result)
    {
        if (result == nullptr)
            return E_POINTER;
        *result = value;
        return S_OK;
    }

    const PlaybackFailure failure;
};

// The error object: a snapshot of the failure of the last opening, taken
// when it is asked for; clearing it clears the player's as well.
class CWmpError final : public CSingleInterfaceObject<IWMPError, IID_IWMPError>
{
public:
    CWmpError(IWMPPlayer* owner, CPlaybinEngine& engine, PlaybackFailure failure)
        : owner(owner), engine(engine), failure(std::move(failure))
    {
        owner->AddRef();
    }
    ~CWmpError() override { owner->Release(); }

    HRESULT clearErrorQueue() override
    {
        failure = PlaybackFailure();
        engine.ClearFailure();
        return S_OK;
    }
    HRESULT get_errorCount(COM_LONG* count) override
    {
        if (count == nullptr)
            return E_POINTER;
        *count = failure.reason != wmpfNone ? 1 : 0;
        return S_OK;
    }
    HRESULT get_item(COM_LONG index, IWMPErrorItem** item) override
    {
        if (item == nullptr)
            return E_POINTER;
        *item = nullptr;
        if (index != 0 || failure.reason == wmpfNone)
            return E_INVALIDARG;
        *item = new (std::nothrow) CWmpErrorItem(failure);
        return *item != nullptr ? S_OK : E_OUTOFMEMORY;
    }

private:
    IWMPPlayer* owner; // keeps the engine alive
    CPlaybinEngine& engine;
    PlaybackFailure failure;
};

} // namespace

HRESULT CWmpPlayer::Create(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    auto* player = new (std::nothrow) CWmpPlayer();
    if (player == nullptr)
        return E_OUTOFMEMORY;
    HRESULT result = E_FAIL;
    if (player->engine != nullptr && player->engine->Usable())
        result = player->QueryInterface(iid, object);
    player->Release(); // the creation's own reference
    return result;
}

CWmpPlayer::CWmpPlayer()
    : guiThread(std::this_thread::get_id()),
      controls(*this),
      settings(*this),
      eventsPoint(*this, IID_IWMPEvents),
      dispatchPoint(*this, DIID__WMPOCXEvents)
{
    engine = std::make_unique<CPlaybinEngine>(static_cast<IWMPPlayer*>(this),
                                              [this](const PlayerEvent& event) { QueueEvent(event); });
}

CWmpPlayer::~CWmpPlayer()
{
    engine.reset();
    eventsPoint.Clear();
    dispatchPoint.Clear();
}

// ----------------------------------------------------------------- IUnknown

HRESULT CWmpPlayer::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, IID_IWMPCore) ||
        IsEqualGUID(iid, IID_IWMPPlayer)) {
        *object = static_cast<IWMPPlayer*>(this);
    } else if (IsEqualGUID(iid, IID_IConnectionPointContainer)) {
        *object = static_cast<IConnectionPointContainer*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CWmpPlayer::AddRef()
{
    return ++references;
}

ULONG CWmpPlayer::Release()
{
    const ULONG left = --references;
    if (left != 0)
        return left;
    if (std::this_thread::get_id() == guiThread)
        delete this;
    else
        PostToGuiThread([this] { delete this; });
    return 0;
}

// --------------------------------------------------------------- IWMPPlayer

HRESULT CWmpPlayer::close()
{
    engine->Close();
    return S_OK;
}

HRESULT CWmpPlayer::get_URL(BSTR* url)
{
    return GiveString(engine->Url(), url);
}

HRESULT CWmpPlayer::put_URL(BSTR url)
{
    engine->Open(BstrToUtf8(url));
    return S_OK;
}

HRESULT CWmpPlayer::get_openState(WMPOpenState* state)
{
    if (state == nullptr)
        return E_POINTER;
    *state = engine->OpenState();
    return S_OK;
}

HRESULT CWmpPlayer::get_playState(WMPPlayState* state)
{
    if (state == nullptr)
        return E_POINTER;
    *state = engine->PlayState();
    return S_OK;
}

HRESULT CWmpPlayer::get_controls(IWMPControls** result)
{
    if (result == nullptr)
        return E_POINTER;
    AddRef();
    *result = &controls;
    return S_OK;
}

HRESULT CWmpPlayer::get_settings(IWMPSettings** result)
{
    if (result == nullptr)
        return E_POINTER;
    AddRef();
    *result = &settings;
    return S_OK;
}

HRESULT CWmpPlayer::get_status(BSTR* status)
{
    return GiveString(engine->Status(), status);
}

HRESULT CWmpPlayer::get_currentMedia(IWMPMedia** media)
{
    if (media == nullptr)
        return E_POINTER;
    *media = new (std::nothrow) CWmpMedia(engine->Url(), engine->Title());
    return *media != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CWmpPlayer::get_error(IWMPError** error)
{
    if (error == nullptr)
        return E_POINTER;
    *error = new (std::nothrow) CWmpError(this, *engine, engine->Failure());
    return *error != nullptr ? S_OK : E_OUTOFMEMORY;
}

// ------------------------------------------------ IConnectionPointContainer

HRESULT CWmpPlayer::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (point == nullptr)
        return E_POINTER;
    CWmpConnectionPoint* found = nullptr;
    if (IsEqualGUID(iid, IID_IWMPEvents))
        found = &eventsPoint;
    else if (IsEqualGUID(iid, DIID__WMPOCXEvents))
        found = &dispatchPoint;
    if (found == nullptr) {
        *point = nullptr;
        return CONNECT_E_NOCONNECTION;
    }
    found->AddRef();
    *point = found;
    return S_OK;
}

// ------------------------------------------------------------------- events

void CWmpPlayer::QueueEvent(const PlayerEvent& event)
{
    std::lock_guard<std::mutex> lock(eventMutex);
    events.push_back(event);
    if (deliveryPosted)
        return;
    deliveryPosted = true;
    AddRef();
    PostToGuiThread([this] { DeliverEvents(); });
}

void CWmpPlayer::DeliverEvents()
{
    for (;;) {
        std::deque<PlayerEvent> batch;
        {
            std::lock_guard<std::mutex> lock(eventMutex);
            if (events.empty()) {
                deliveryPosted = false;
                break;
            }
            batch.swap(events);
        }
        // No lock is held while sinks run: they may call the player back.
        for (const PlayerEvent& event : batch) {
            eventsPoint.Raise(event);
            dispatchPoint.Raise(event);
        }
    }
    Release();
}

// ----------------------------------------------------------------- controls

HRESULT CWmpPlayer::CControls::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, IID_IWMPControls)) {
        *object = static_cast<IWMPControls*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT CWmpPlayer::CControls::play()
{
    player.engine->Play();
    return S_OK;
}

HRESULT CWmpPlayer::CControls::pause()
{
    player.engine->Pause();
    return S_OK;
}

HRESULT CWmpPlayer::CControls::stop()
{
    player.engine->Stop();
    return S_OK;
}

// ----------------------------------------------------------------- settings

HRESULT CWmpPlayer::CSettings::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, IID_IWMPSettings)) {
        *object = static_cast<IWMPSettings*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT CWmpPlayer::CSettings::get_volume(COM_LONG* volume)
{
    if (volume == nullptr)
        return E_POINTER;
    *volume = player.engine->Volume();
    return S_OK;
}

HRESULT CWmpPlayer::CSettings::put_volume(COM_LONG volume)
{
    player.engine->SetVolume(volume);
    return S_OK;
}
