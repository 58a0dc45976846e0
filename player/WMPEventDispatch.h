#pragma once

// The player's event sink. Of all the player's events it acts on one: a change
// of status, which it turns into WM_PLAYER_STATUS posted to the main window,
// where the status line and the buttons are brought up to date. It is reached
// through the event interface, or through the dispatch interface by DISPID.

#include "platform/win/Win.h"
#include "platform/wmp/Wmp.h"

#include <atomic>

class CWMPEventDispatch final : public IWMPEvents, public IDispatch
{
public:
    CWMPEventDispatch() = default;
    virtual ~CWMPEventDispatch() = default;

    void SetNotifyWindow(HWND window) { notifyWindow = window; }

    // IUnknown: IUnknown, IDispatch and the dispatch event interface answer
    // the dispatch side, IWMPEvents the event side.
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch: no type information; Invoke calls the event method of the
    // DISPID with its arguments and answers DISP_E_MEMBERNOTFOUND.
    HRESULT GetTypeInfoCount(unsigned int* count) override;
    HRESULT GetTypeInfo(unsigned int index, LCID locale, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, OLECHAR** names, unsigned int count, LCID locale, DISPID* ids) override;
    HRESULT Invoke(DISPID member, REFIID iid, LCID locale, std::uint16_t flags, DISPPARAMS* parameters,
                   VARIANT* result, EXCEPINFO* exception, unsigned int* argumentError) override;

    // IWMPEvents: all but StatusChange do nothing.
    void OpenStateChange(COM_LONG) override {}
    void PlayStateChange(COM_LONG) override {}
    void AudioLanguageChange(COM_LONG) override {}
    void StatusChange() override;
    void ScriptCommand(BSTR, BSTR) override {}
    void NewStream() override {}
    void Disconnect(COM_LONG) override {}
    void Buffering(VARIANT_BOOL) override {}
    void Error() override {}
    void Warning(COM_LONG, COM_LONG, BSTR) override {}
    void EndOfStream(COM_LONG) override {}
    void PositionChange(double, double) override {}
    void MarkerHit(COM_LONG) override {}
    void DurationUnitChange(COM_LONG) override {}
    void CdromMediaChange(COM_LONG) override {}
    void PlaylistChange(IDispatch*, COM_LONG) override {}
    void CurrentPlaylistChange(COM_LONG) override {}
    void CurrentPlaylistItemAvailable(BSTR) override {}
    void MediaChange(IDispatch*) override {}
    void CurrentMediaItemAvailable(BSTR) override {}
    void CurrentItemChange(IDispatch*) override {}
    void MediaCollectionChange() override {}
    void MediaCollectionAttributeStringAdded(BSTR, BSTR) override {}
    void MediaCollectionAttributeStringRemoved(BSTR, BSTR) override {}
    void MediaCollectionAttributeStringChanged(BSTR, BSTR, BSTR) override {}
    void PlaylistCollectionChange() override {}
    void PlaylistCollectionPlaylistAdded(BSTR) override {}
    void PlaylistCollectionPlaylistRemoved(BSTR) override {}
    void PlaylistCollectionPlaylistSetAsDeleted(BSTR, VARIANT_BOOL) override {}
    void ModeChange(BSTR, VARIANT_BOOL) override {}
    void MediaError(IDispatch*) override {}
    void OpenPlaylistSwitch(IDispatch*) override {}
    void DomainChange(BSTR) override {}
    void SwitchedToPlayerApplication() override {}
    void SwitchedToControl() override {}
    void PlayerDockedStateChange() override {}
    void PlayerReconnect() override {}
    void Click(std::int16_t, std::int16_t, COM_LONG, COM_LONG) override {}
    void DoubleClick(std::int16_t, std::int16_t, COM_LONG, COM_LONG) override {}
    void KeyDown(std::int16_t, std::int16_t) override {}
    void KeyPress(std::int16_t) override {}
    void KeyUp(std::int16_t, std::int16_t) override {}
    void MouseDown(std::int16_t, std::int16_t, COM_LONG, COM_LONG) override {}
    void MouseMove(std::int16_t, std::int16_t, COM_LONG, COM_LONG) override {}
    void MouseUp(std::int16_t, std::int16_t, COM_LONG, COM_LONG) override {}

private:
    // Atomic although the player raises its events on the GUI thread: a
    // reference taken on another thread must not corrupt the count.
    std::atomic<std::int32_t> referenceCount{0};
    HWND notifyWindow = nullptr;
};
