#pragma once

// A notifier for the controls' tests: records every notification a paint
// manager delivers (type and sender), and can run an action on one of them,
// the way a window reacts to its controls.

#include "uilib/controls/ControlUI.h"
#include "uilib/window/PaintManagerUI.h"
#include "uilib/window/UIInterfaces.h"

#include <functional>
#include <string>
#include <vector>

class CNotifyRecorder : public INotifyUI
{
public:
    struct TEntry
    {
        std::string type;
        CControlUI* sender;
    };

    explicit CNotifyRecorder(CPaintManagerUI& manager)
        : manager(manager)
    {
        manager.AddNotifier(this);
    }
    ~CNotifyRecorder() { manager.RemoveNotifier(this); }
    CNotifyRecorder(const CNotifyRecorder&) = delete;
    CNotifyRecorder& operator=(const CNotifyRecorder&) = delete;

    void Notify(TNotifyUI& msg) override
    {
        entries.push_back(TEntry{msg.sType.GetData(), msg.pSender});
        if (onNotify) {
            onNotify(msg);
        }
    }

    // The types of all notifications, in the order they came.
    std::vector<std::string> Types() const
    {
        std::vector<std::string> types;
        for (const TEntry& entry : entries) {
            types.push_back(entry.type);
        }
        return types;
    }

    // How many notifications of that type came from that sender.
    int Count(const char* type, CControlUI* sender = nullptr) const
    {
        int count = 0;
        for (const TEntry& entry : entries) {
            if (entry.type == type && (sender == nullptr || entry.sender == sender)) {
                ++count;
            }
        }
        return count;
    }

    void Clear() { entries.clear(); }

    std::vector<TEntry> entries;
    std::function<void(TNotifyUI&)> onNotify;

private:
    CPaintManagerUI& manager;
};
