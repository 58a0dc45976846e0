#pragma once

// Hands work to the GUI thread: the thread that runs the default GLib main
// context (Qt's event loop on Linux does, and with it the window layer's
// message loop).

#include <functional>

enum class GuiPriority
{
    Normal, // beside bus messages, in the order posted
    Idle,   // after every event already waiting
};

// Always queued, never run in the caller's own thread, even when the caller
// is the GUI thread.
void PostToGuiThread(std::function<void()> work, GuiPriority priority = GuiPriority::Normal);
