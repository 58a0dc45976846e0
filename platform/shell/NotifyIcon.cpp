// The notification-area icon over QSystemTrayIcon. Qt speaks both the
// StatusNotifierItem protocol and the older XEmbed tray; where the desktop has
// neither, the icon is kept and shown as soon as a notification area appears.
//
// Every icon is a child of one registry object, itself a child of the window
// layer's owner: the icons go when the window layer ends, before the Qt
// application, and never live on into the process's exit handlers (Qt's
// per-thread data is gone by then, and a tray icon destroyed there crashes).

#include "platform/shell/Shell.h"
#include "platform/shell/ShellTesting.h"
#include "platform/win/WinQt.h"

#include <QSystemTrayIcon>
#include <QTimer>

#include <cstring>
#include <map>
#include <utility>

namespace {

// Milliseconds between two looks for a notification area that was missing.
constexpr int kTrayRecheckMilliseconds = 2000;

struct TNotifyIcon
{
    HWND window = nullptr;
    UINT id = 0;
    UINT callbackMessage = 0;
    QSystemTrayIcon* trayIcon = nullptr;   // a child of the registry
};

using TIconKey = std::pair<HWND, UINT>;

class CIconRegistry;
// The one registry; null before the first icon and after the application went.
CIconRegistry* registry = nullptr;

class CIconRegistry : public QObject
{
public:
    explicit CIconRegistry(QObject* owner)
        : QObject(owner)
    {
    }
    // The icons themselves are children and go with the QObject base.
    ~CIconRegistry() override { registry = nullptr; }

    std::map<TIconKey, TNotifyIcon> icons;
};

// The registry of the live window layer, made on first use. GUI thread, with
// the application made.
CIconRegistry& Registry()
{
    if (registry == nullptr)
        registry = new CIconRegistry(WinLayerOwner());
    return *registry;
}

TNotifyIcon* FindIcon(const TIconKey& key)
{
    if (registry == nullptr)
        return nullptr;
    auto found = registry->icons.find(key);
    return found != registry->icons.end() ? &found->second : nullptr;
}

// Takes the icon off the desktop at once and frees it once control is back in
// the event loop: the removal may come from the icon's own signal.
void Remove(const TIconKey& key)
{
    TNotifyIcon* icon = FindIcon(key);
    if (icon == nullptr)
        return;
    QSystemTrayIcon* trayIcon = icon->trayIcon;
    registry->icons.erase(key);
    trayIcon->hide();
    trayIcon->deleteLater();
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
    TNotifyIcon* found = FindIcon(key);
    if (found == nullptr)
        return false;
    const TNotifyIcon icon = *found;
    if (!::IsWindow(icon.window)) {
        Remove(key);
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
    QTimer::singleShot(kTrayRecheckMilliseconds, icon.trayIcon, [key] {
        if (TNotifyIcon* found = FindIcon(key))
            ShowWhenPossible(*found);
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
    TNotifyIcon* found = FindIcon(key);

    switch (message) {
    case NIM_ADD: {
        if (found != nullptr || !::IsWindow(data->hWnd))
            return FALSE;
        TNotifyIcon icon;
        icon.window = data->hWnd;
        icon.id = data->uID;
        icon.trayIcon = new QSystemTrayIcon(&Registry());
        QObject::connect(icon.trayIcon, &QSystemTrayIcon::activated, icon.trayIcon,
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
        Apply(icon, *data);
        TNotifyIcon& added = Registry().icons.emplace(key, icon).first->second;
        ShowWhenPossible(added);
        return QSystemTrayIcon::isSystemTrayAvailable() ? TRUE : FALSE;
    }
    case NIM_MODIFY:
        if (found == nullptr)
            return FALSE;
        Apply(*found, *data);
        return TRUE;
    case NIM_DELETE:
        if (found == nullptr)
            return FALSE;
        Remove(key);
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
    const TNotifyIcon* found = FindIcon({window, id});
    return found != nullptr && ::IsWindow(found->window);
}
