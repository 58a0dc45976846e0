#include "platform/win/WinApplication.h"

#include "platform/win/NativeWindow.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QThread>
#include <QWindow>

#include <atomic>

namespace
{
// Set once the application exists; WakeUp reads it from any thread.
std::atomic<QAbstractEventDispatcher*> guiDispatcher{nullptr};
std::atomic<QThread*> guiThread{nullptr};

// QApplication keeps references to argc and argv for its whole life.
int applicationArgc = 1;
char applicationName[] = "orvane-radio";
char* applicationArgv[] = {applicationName, nullptr};
}

bool CWinApplication::Ensure()
{
    QThread* known = guiThread.load();
    if (known != nullptr)
        return QThread::currentThread() == known;
    if (QCoreApplication::instance() == nullptr)
    {
        // Never deleted: windows may outlive main's locals, and destroying
        // the application before them at exit would crash in their teardown.
        auto* application = new QApplication(applicationArgc, applicationArgv);
        application->setApplicationName(QString::fromLatin1(applicationName));
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (QThread::currentThread() != application->thread())
        return false;
    if (auto* gui = qobject_cast<QGuiApplication*>(application))
        gui->setQuitOnLastWindowClosed(false);
    guiDispatcher.store(QAbstractEventDispatcher::instance(application->thread()));
    guiThread.store(application->thread());
    ConnectFocusTracking();
    return true;
}

bool CWinApplication::OnGuiThread()
{
    // Never makes the application: a worker asking first must not become
    // the GUI thread.
    QThread* known = guiThread.load();
    return known != nullptr && QThread::currentThread() == known;
}

void CWinApplication::WakeUp()
{
    if (QAbstractEventDispatcher* dispatcher = guiDispatcher.load())
        dispatcher->wakeUp();
}

void CWinApplication::ConnectFocusTracking()
{
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (gui == nullptr)
        return;
    QObject::connect(gui, &QGuiApplication::focusWindowChanged, gui,
                     [](QWindow* window) { CNativeWindow::OnFocusWindowChanged(window); });
}
