#pragma once

// The process's Qt application and the GUI thread. The application is made on
// the first window or message-loop call, on the calling thread, which from
// then on is the GUI thread; a QApplication that a test or tool made first is
// adopted as it is.

class QAbstractEventDispatcher;
class QObject;

class CWinApplication
{
public:
    // Makes (or adopts) the application; returns false on any thread other
    // than the GUI thread once one exists.
    static bool Ensure();
    // Whether the calling thread is the GUI thread; false before Ensure ran.
    static bool OnGuiThread();
    // Wakes the GUI thread from a blocking wait for Qt events; any thread.
    static void WakeUp();
    // Turns the end of the session into the quit message: SIGTERM, SIGHUP,
    // SIGINT and the session manager's quit. GUI thread, once.
    static void QuitAtEndOfSession();
    // Destroys every window still open, then the owner of the layer's own
    // QObjects, then the application this layer made. GUI thread; the
    // process is ending.
    static void Shutdown();
    // The parent of every QObject the window layer and the shell make for
    // themselves (icons, notifiers, filters). Not a child of the application:
    // QApplication's destructor has torn down the widget machinery before
    // its QObject base deletes children, too late for a tray icon. Null
    // before Ensure and after Shutdown.
    static QObject* Owner();

private:
    static void ConnectFocusTracking();
    static void OnEndOfSessionSignal(int signalNumber);
};
