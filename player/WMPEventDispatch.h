#pragma once

// The player's event sink. Of all the player's events it acts on two: a change
// of status, which it turns into WM_PLAYER_STATUS posted to the main window,
// where the status line and the buttons are brought up to date, and a change
// of the current media (the stream's title), which it turns into
// WM_PLAYER_MEDIA. It is reached through the event interface, or through the
// dispatch interface by DISPID.

#include "platform/win/Win.h"
#include "platform/wmp/WmpEventsBase.h"

#include <atomic>

class CWMPEventDispatch final : public CWMPEventsBase, public IDispatch
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

    // IWMPEvents: the change of status, and the change of the current
    // media (its title), are acted on.
    void StatusChange() override;
    void MediaChange(IDispatch* item) override;

private:
    // Atomic although the player raises its events on the GUI thread: a
    // reference taken on another thread must not corrupt the count.
    std::atomic<std::int32_t> referenceCount{0};
    HWND notifyWindow = nullptr;
};
