#pragma once

// The two interfaces a window implements to hear from its paint manager.

#include "platform/win/Win.h"
#include "uilib/window/UIDefines.h"

// Receives the notifications of the controls of a paint manager.
class INotifyUI
{
public:
    virtual void Notify(TNotifyUI& msg) = 0;

protected:
    ~INotifyUI() = default;
};

// Sees every message of its window (and of the window's descendants) in the
// message loop before it is translated and dispatched. Setting `handled`
// swallows the message; the result is then ignored by the loop.
class IMessageFilterUI
{
public:
    virtual LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;

protected:
    ~IMessageFilterUI() = default;
};
