#pragma once

// Telling the user that the program cannot start, where the program's own
// skin is not there to draw a window with: a line on standard error and,
// on a desktop, a plain message box of the toolkit's own look.

#include <string>

// Writes `message` to standard error and, when there is a display to show it
// on (not the offscreen platform, not a session without DISPLAY or
// WAYLAND_DISPLAY), shows it in a modal message box and waits until the user
// closes it. GUI thread, before any window of the program exists.
void ReportStartFailure(const std::string& message);
