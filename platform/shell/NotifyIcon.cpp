// The notification-area icon over QSystemTrayIcon. Qt speaks both the
// StatusNotifierItem protocol and the older XEmbed tray; where the desktop has
// neither, the icon is kept and shown as soon as a notification area appears.

#include "platform/shell/Shell.h"
#include "platform/shell/ShellTesting.h"
#include "platform/win/WinQt.h"

#include <QSystemTrayIcon>
#include <QTimer>

#include <cstring>
#include <map>
#include <memory>
#include <utility>

namespace {

// Milliseconds between two looks for a notification area that was missing.
constexpr int kTrayRecheckMilliseconds = 2000;

struct TNotifyIcon
{
    HWND window = nullptr;
    UINT id = 0;
    UINT callbackMessage = 0;
    std::unique_ptr<QSystemTrayIcon> trayIcon;
};

using TIconKey = std::pair<HWND, UINT>;

std::map<TIconKey, std::unique_ptr<TNotifyIcon>>& Icons()
{
    static std::map<TIconKey, std::unique_ptr<TNotifyIcon>> icons;
    return icons;
}

UINT MouseMessageFor(NotifyIconActivation reason)
{
    switch (reason) {
    case NotifyIconActivation::Trigger:
        return WM_LBUTTONDOWN;
    case NotifyIconActivation::Context:
        return WM_RBUTTONUP;
    case NotifyIconActivation::DoubleClick:
        return WM_LBUTTONDBLCLK;
    case NotifyIconActivation::MiddleClick:
        return WM_MBUTTONUP;
    }
    return WM_NULL;
}

// Posts the icon's callback message; an icon whose window is gone goes too.
bool Deliver(const TIconKey& key, NotifyIconActivation reason)
{
    auto found = Icons().find(key);
    if (found == Icons().end())
        return false;
    TNotifyIcon& icon = *found->second;
    if (!::IsWindow(icon.window)) {
        Icons().erase(found);
        return false;
    }
    if (icon.callbackMessage == 0)
        return true;
    return ::PostMessage(icon.window, icon.callbackMessage, icon.id, MouseMessageFor(reason)) != FALSE;
}

void ShowWhenPossible(TNotifyIcon& icon)
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        icon.trayIcon->show();
        return;
    }
    // No notification area yet: look again later, while the icon exists.
    const TIconKey key{icon.window, icon.id};
    QTimer::singleShot(kTrayRecheckMilliseconds, icon.trayIcon.get(), [key] {
        auto found = Icons().find(key);
        if (found != Icons().end())
            ShowWhenPossible(*found->second);
    });
}

void Apply(TNotifyIcon& icon, const NOTIFYICONDATA& data)
{
    if (data.uFlags & NIF_MESSAGE)
        icon.callbackMessage = data.uCallbackMessage;
    if (data.uFlags & NIF_ICON)
        icon.trayIcon->setIcon(IconFromHicon(data.hIcon));
    if (data.uFlags & NIF_TIP)
        icon.trayIcon->setToolTip(QString::fromUtf8(data.szTip, static_cast<int>(strnlen(data.szTip, sizeof data.szTip))));
}

} // namespace

BOOL Shell_NotifyIcon(DWORD message, NOTIFYICONDATA* data)
{
    if (data == nullptr || !EnsureWinApplication())
        return FALSE;
    const TIconKey key{data->hWnd, data->uID};
    auto found = Icons().find(key);

    switch (message) {
    case NIM_ADD: {
        if (found != Icons().end() || !::IsWindow(data->hWnd))
            return FALSE;
        auto icon = std::make_unique<TNotifyIcon>();
        icon->window = data->hWnd;
        icon->id = data->uID;
        icon->trayIcon = std::make_unique<QSystemTrayIcon>();
        QObject::connect(icon->trayIcon.get(), &QSystemTrayIcon::activated, icon->trayIcon.get(),
                         [key](QSystemTrayIcon::ActivationReason reason) {
                             switch (reason) {
                             case QSystemTrayIcon::Trigger:
                                 Deliver(key, NotifyIconActivation::Trigger);
                                 break;
                             case QSystemTrayIcon::Context:
                                 Deliver(key, NotifyIconActivation::Context);
                                 break;
                             case QSystemTrayIcon::DoubleClick:
                                 Deliver(key, NotifyIconActivation::DoubleClick);
                                 break;
                             case QSystemTrayIcon::MiddleClick:
                                 Deliver(key, NotifyIconActivation::MiddleClick);
                                 break;
                             default:
                                 break;
                             }
                         });
        Apply(*icon, *data);
        TNotifyIcon& added = *icon;
        Icons().emplace(key, std::move(icon));
        ShowWhenPossible(added);
        return QSystemTrayIcon::isSystemTrayAvailable() ? TRUE : FALSE;
    }
    case NIM_MODIFY:
        if (found == Icons().end())
            return FALSE;
        Apply(*found->second, *data);
        return TRUE;
    case NIM_DELETE:
        if (found == Icons().end())
            return FALSE;
        Icons().erase(found);
        return TRUE;
    default:
        return FALSE;
    }
}

bool IsNotificationAreaAvailable()
{
    return EnsureWinApplication() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool SimulateNotifyIconActivation(HWND window, UINT id, NotifyIconActivation reason)
{
    return Deliver({window, id}, reason);
}

bool HasNotifyIcon(HWND window, UINT id)
{
    auto found = Icons().find({window, id});
    return found != Icons().end() && ::IsWindow(found->second->window);
}
