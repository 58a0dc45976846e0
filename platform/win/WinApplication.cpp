#include "platform/win/WinApplication.h"

#include "platform/win/NativeWindow.h"
#include "platform/win/WinQt.h"
#include "platform/win/WindowWidget.h"

#include <QAbstractEventDispatcher>
#include <QString>
#include <QApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QWindow>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
// Set once the application exists; WakeUp reads it from any thread.
std::atomic<QAbstractEventDispatcher*> guiDispatcher{nullptr};
std::atomic<QThread*> guiThread{nullptr};

// Whether Ensure made the application (rather than adopting a test's).
bool madeApplication = false;

// See Owner(); never left to the exit handlers: Shutdown deletes it, and a
// process that does not call Shutdown never deletes it.
QObject* layerOwner = nullptr;

// The signal handler writes one byte here; the GUI thread reads the other end.
int endOfSessionPipe[2] = {-1, -1};

// Turns the session manager's quit (a QEvent::Quit sent to the application)
// into the quit message, before Qt would close the windows on its own.
class CQuitEventFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
        {
            PostQuitMessage(0);
            return true;
        }
        return false;
    }
};

// The handler for a lost display and its context; GUI thread only.
void (*displayLostHandler)(void*) = nullptr;
void* displayLostContext = nullptr;
bool displayLostHandled = false;
QtMessageHandler earlierMessageHandler = nullptr;

// What Qt's X11 plugin says just before it calls exit(1) because the
// connection to the server broke. Qt gives no other word of it.
constexpr char kDisplayLostWarning[] = "The X11 connection broke";

void WatchForLostDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (earlierMessageHandler != nullptr)
        earlierMessageHandler(type, context, message);
    if (type != QtWarningMsg || !message.startsWith(QLatin1String(kDisplayLostWarning)))
        return;
    if (!CWinApplication::OnGuiThread() || displayLostHandled || displayLostHandler == nullptr)
        return;
    displayLostHandled = true;
    displayLostHandler(displayLostContext);
}

// The earliest deadline of EndProcessWithin and its watcher. Never
// destroyed: the watcher waits through the exit handlers it bounds, and a
// condition variable destroyed under a waiter blocks for ever.
struct CProcessDeadline
{
    std::mutex mutex;
    std::condition_variable changed;
    std::chrono::steady_clock::time_point at = std::chrono::steady_clock::time_point::max();
    int exitCode = 0;
    bool watching = false;
};

CProcessDeadline& ProcessDeadline()
{
    static auto* deadline = new CProcessDeadline;
    return *deadline;
}

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
        // Deleted only by Shutdown, after every window: a process that never
        // calls it leaves the application and its children to the end.
        auto* application = new QApplication(applicationArgc, applicationArgv);
        application->setApplicationName(QString::fromLatin1(applicationName));
        madeApplication = true;
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (QThread::currentThread() != application->thread())
        return false;
    if (auto* gui = qobject_cast<QGuiApplication*>(application))
        gui->setQuitOnLastWindowClosed(false);
    if (layerOwner == nullptr)
        layerOwner = new QObject;
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

void CWinApplication::OnEndOfSessionSignal(int /*signalNumber*/)
{
    // Only async-signal-safe calls here; errno belongs to the interrupted code.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(endOfSessionPipe[1], &byte, 1);
    errno = savedErrno;
}

void CWinApplication::QuitAtEndOfSession()
{
    if (!Ensure() || endOfSessionPipe[0] >= 0)
        return;
    if (::pipe2(endOfSessionPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    QCoreApplication* application = QCoreApplication::instance();
    auto* notifier = new QSocketNotifier(endOfSessionPipe[0], QSocketNotifier::Read, layerOwner);
    QObject::connect(notifier, &QSocketNotifier::activated, layerOwner, [] {
        char bytes[16];
        while (::read(endOfSessionPipe[0], bytes, sizeof bytes) > 0)
        {
        }
        PostQuitMessage(0);
    });
    application->installEventFilter(new CQuitEventFilter(layerOwner));

    // A second signal of the same kind ends the process at once, as if no
    // handler were there: a program stuck on its way out can still be ended.
    struct sigaction action = {};
    action.sa_handler = &CWinApplication::OnEndOfSessionSignal;
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signalNumber, &action, nullptr);
}

void CWinApplication::Shutdown()
{
    if (!OnGuiThread())
        return;
    // Owners destroy their owned windows first; a handle gone meanwhile is
    // skipped.
    std::vector<HWND> open;
    for (CNativeWindow* window : CNativeWindow::All())
        open.push_back(window->Handle());
    for (HWND window : open)
        if (CNativeWindow* native = CNativeWindow::Find(window))
            native->Destroy();
    CWindowWidget::DeleteDetached();
    delete layerOwner;
    layerOwner = nullptr;
    if (!madeApplication)
        return;
    // Workers may still look for the dispatcher to wake: they find none.
    guiDispatcher.store(nullptr);
    guiThread.store(nullptr);
    madeApplication = false;
    delete QCoreApplication::instance();
}

QObject* CWinApplication::Owner()
{
    return layerOwner;
}

QObject* WinLayerOwner()
{
    return CWinApplication::Owner();
}

void SetDisplayLostHandler(void (*handler)(void* context), void* context)
{
    if (!CWinApplication::Ensure())
        return;
    static bool installed = false;
    if (!installed)
    {
        installed = true;
        earlierMessageHandler = qInstallMessageHandler(&WatchForLostDisplay);
    }
    displayLostHandler = handler;
    displayLostContext = context;
}

void EndProcessWithin(DWORD milliseconds, int exitCode)
{
    CProcessDeadline& deadline = ProcessDeadline();
    const auto at = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::lock_guard lock(deadline.mutex);
    if (at >= deadline.at)
        return;
    deadline.at = at;
    deadline.exitCode = exitCode;
    deadline.changed.notify_all();
    if (deadline.watching)
        return;
    deadline.watching = true;
    std::thread([&deadline] {
        std::unique_lock wait(deadline.mutex);
        while (std::chrono::steady_clock::now() < deadline.at)
            deadline.changed.wait_until(wait, deadline.at);
        std::fputs("orvane-radio: the way out took too long; ending now\n", stderr);
        std::fflush(stderr);
        ::_exit(deadline.exitCode);
    }).detach();
}

void PostQuitMessageAtEndOfSession()
{
    CWinApplication::QuitAtEndOfSession();
}

void EndWindowLayer()
{
    CWinApplication::Shutdown();
}
