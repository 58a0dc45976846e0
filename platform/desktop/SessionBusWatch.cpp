#include "platform/desktop/SessionBusWatch.h"

#include "platform/win/Win.h"
#include "platform/win/WinApplication.h"

#include <QDBusConnection>
#include <QTimer>

namespace {

// Milliseconds between two looks at the connection. Qt tells of a closed
// connection only through it; a look costs a flag read.
constexpr int kLookMilliseconds = 200;

} // namespace

void QuitWhenSessionBusCloses()
{
    if (!CWinApplication::Ensure() || CWinApplication::Owner() == nullptr)
        return;
    if (!QDBusConnection::sessionBus().isConnected())
        return;
    auto* timer = new QTimer(CWinApplication::Owner());
    timer->setInterval(kLookMilliseconds);
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        if (QDBusConnection::sessionBus().isConnected())
            return;
        timer->stop();
        PostQuitMessage(0);
    });
    timer->start();
}
