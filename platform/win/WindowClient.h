#pragma once

// IWindowClient: what the widget of a window asks its window's owner (the
// paint manager) and needs answered at once, outside the message queue. The
// input method asks where the caret is and what text surrounds it while it
// handles a key, so the answer cannot wait for a posted message. GUI thread.
//
// Further synchronous questions (the next focus stop for Tab, the root of the
// accessibility tree) belong here as well.

#include <QVariant>

class IWindowClient
{
public:
    // The answer to an input method's query; ImEnabled false while nothing
    // of the window takes text.
    virtual QVariant InputMethodQuery(Qt::InputMethodQuery query) const = 0;

protected:
    ~IWindowClient() = default;
};
