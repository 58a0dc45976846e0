#include "player/WMPEventDispatch.h"

#include "app/RadioWnd.h"

namespace {

// Argument `position` counted from the first argument; the array holds them
// last argument first. Missing or mistyped arguments read as 0 / null.
const VARIANT* Argument(const DISPPARAMS& parameters, unsigned int position)
{
    if (position >= parameters.cArgs || parameters.rgvarg == nullptr)
        return nullptr;
    return &parameters.rgvarg[parameters.cArgs - 1 - position];
}

COM_LONG LongArgument(const DISPPARAMS& parameters, unsigned int position)
{
    const VARIANT* argument = Argument(parameters, position);
    if (argument == nullptr)
        return 0;
    if (argument->vt == VT_I4)
        return argument->lVal;
    if (argument->vt == VT_BOOL)
        return argument->boolVal;
    return 0;
}

std::int16_t ShortArgument(const DISPPARAMS& parameters, unsigned int position)
{
    return static_cast<std::int16_t>(LongArgument(parameters, position));
}

double DoubleArgument(const DISPPARAMS& parameters, unsigned int position)
{
    const VARIANT* argument = Argument(parameters, position);
    return argument != nullptr && argument->vt == VT_R8 ? argument->dblVal : 0.0;
}

BSTR StringArgument(const DISPPARAMS& parameters, unsigned int position)
{
    const VARIANT* argument = Argument(parameters, position);
    return argument != nullptr && argument->vt == VT_BSTR ? argument->bstrVal : nullptr;
}

} // namespace

HRESULT CWMPEventDispatch::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID__WMPOCXEvents) {
        *object = static_cast<IDispatch*>(this);
    } else if (iid == IID_IWMPEvents) {
        *object = static_cast<IWMPEvents*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CWMPEventDispatch::AddRef()
{
    return static_cast<ULONG>(++referenceCount);
}

ULONG CWMPEventDispatch::Release()
{
    const std::int32_t count = --referenceCount;
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

HRESULT CWMPEventDispatch::GetTypeInfoCount(unsigned int*)
{
    return E_NOTIMPL;
}

HRESULT CWMPEventDispatch::GetTypeInfo(unsigned int, LCID, ITypeInfo**)
{
    return E_NOTIMPL;
}

HRESULT CWMPEventDispatch::GetIDsOfNames(REFIID, OLECHAR**, unsigned int, LCID, DISPID*)
{
    return E_NOTIMPL;
}

void CWMPEventDispatch::StatusChange()
{
    if (::IsWindow(notifyWindow))
        ::PostMessage(notifyWindow, WM_PLAYER_STATUS, 0, 0);
}

void CWMPEventDispatch::MediaChange(IDispatch*)
{
    if (::IsWindow(notifyWindow))
        ::PostMessage(notifyWindow, WM_PLAYER_MEDIA, 0, 0);
}

HRESULT CWMPEventDispatch::Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS* parameters, VARIANT*,
                                  EXCEPINFO*, unsigned int*)
{
    if (parameters == nullptr)
        return E_POINTER;
    if (parameters->cNamedArgs > 0)
        return DISP_E_NONAMEDARGS;
    const DISPPARAMS& p = *parameters;
    // Media items and playlists are not carried by our variants; the sink
    // does nothing with them anyway.
    IDispatch* const noItem = nullptr;

    // The published DISPIDs of the player's event dispatch interface.
    switch (member) {
    case 5001: OpenStateChange(LongArgument(p, 0)); break;
    case 5101: PlayStateChange(LongArgument(p, 0)); break;
    case 5102: AudioLanguageChange(LongArgument(p, 0)); break;
    case 5002: StatusChange(); break;
    case 5301: ScriptCommand(StringArgument(p, 0), StringArgument(p, 1)); break;
    case 5403: NewStream(); break;
    case 5401: Disconnect(LongArgument(p, 0)); break;
    case 5402: Buffering(static_cast<VARIANT_BOOL>(LongArgument(p, 0))); break;
    case 5501: Error(); break;
    case 5601: Warning(LongArgument(p, 0), LongArgument(p, 1), StringArgument(p, 2)); break;
    case 5201: EndOfStream(LongArgument(p, 0)); break;
    case 5202: PositionChange(DoubleArgument(p, 0), DoubleArgument(p, 1)); break;
    case 5203: MarkerHit(LongArgument(p, 0)); break;
    case 5204: DurationUnitChange(LongArgument(p, 0)); break;
    case 5701: CdromMediaChange(LongArgument(p, 0)); break;
    case 5801: PlaylistChange(noItem, LongArgument(p, 1)); break;
    case 5804: CurrentPlaylistChange(LongArgument(p, 0)); break;
    case 5805: CurrentPlaylistItemAvailable(StringArgument(p, 0)); break;
    case 5802: MediaChange(noItem); break;
    case 5803: CurrentMediaItemAvailable(StringArgument(p, 0)); break;
    case 5806: CurrentItemChange(noItem); break;
    case 5807: MediaCollectionChange(); break;
    case 5808: MediaCollectionAttributeStringAdded(StringArgument(p, 0), StringArgument(p, 1)); break;
    case 5809: MediaCollectionAttributeStringRemoved(StringArgument(p, 0), StringArgument(p, 1)); break;
    case 5820:
        MediaCollectionAttributeStringChanged(StringArgument(p, 0), StringArgument(p, 1), StringArgument(p, 2));
        break;
    case 5810: PlaylistCollectionChange(); break;
    case 5811: PlaylistCollectionPlaylistAdded(StringArgument(p, 0)); break;
    case 5812: PlaylistCollectionPlaylistRemoved(StringArgument(p, 0)); break;
    case 5818:
        PlaylistCollectionPlaylistSetAsDeleted(StringArgument(p, 0), static_cast<VARIANT_BOOL>(LongArgument(p, 1)));
        break;
    case 5819: ModeChange(StringArgument(p, 0), static_cast<VARIANT_BOOL>(LongArgument(p, 1))); break;
    case 5821: MediaError(noItem); break;
    case 5823: OpenPlaylistSwitch(noItem); break;
    case 5822: DomainChange(StringArgument(p, 0)); break;
    case 6501: SwitchedToPlayerApplication(); break;
    case 6502: SwitchedToControl(); break;
    case 6503: PlayerDockedStateChange(); break;
    case 6504: PlayerReconnect(); break;
    case 6505: Click(ShortArgument(p, 0), ShortArgument(p, 1), LongArgument(p, 2), LongArgument(p, 3)); break;
    case 6506: DoubleClick(ShortArgument(p, 0), ShortArgument(p, 1), LongArgument(p, 2), LongArgument(p, 3)); break;
    case 6507: KeyDown(ShortArgument(p, 0), ShortArgument(p, 1)); break;
    case 6508: KeyPress(ShortArgument(p, 0)); break;
    case 6509: KeyUp(ShortArgument(p, 0), ShortArgument(p, 1)); break;
    case 6510: MouseDown(ShortArgument(p, 0), ShortArgument(p, 1), LongArgument(p, 2), LongArgument(p, 3)); break;
    case 6511: MouseMove(ShortArgument(p, 0), ShortArgument(p, 1), LongArgument(p, 2), LongArgument(p, 3)); break;
    case 6512: MouseUp(ShortArgument(p, 0), ShortArgument(p, 1), LongArgument(p, 2), LongArgument(p, 3)); break;
    default: break;
    }
    return DISP_E_MEMBERNOTFOUND;
}
