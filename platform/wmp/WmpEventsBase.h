#pragma once

// CWMPEventsBase: an event sink that ignores every event. A sink derives from
// it, implements IUnknown and overrides only the events it acts on.

#include "platform/wmp/Wmp.h"

class CWMPEventsBase : public IWMPEvents
{
public:
    void OpenStateChange(COM_LONG) override {}
    void PlayStateChange(COM_LONG) override {}
    void AudioLanguageChange(COM_LONG) override {}
    void StatusChange() override {}
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

protected:
    ~CWMPEventsBase() = default;
};
