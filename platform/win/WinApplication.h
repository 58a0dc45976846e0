#pragma once

// The process's Qt application and the GUI thread. The application is made on
// the first window or message-loop call, on the calling thread, which from
// then on is the GUI thread; a QApplication that a test or tool made first is
// adopted as it is.

class QAbstractEventDispatcher;

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

private:
    static void ConnectFocusTracking();
};
