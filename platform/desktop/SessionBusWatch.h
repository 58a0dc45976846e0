#pragma once

// The end of the desktop session as the session bus tells it: when the
// program's connection to the bus closes (the bus daemon went with the
// session), the program gets the quit message and leaves the way it leaves
// on the user's own quit. No Qt here.

// Starts watching, when the program is connected to a session bus; without
// one there is nothing to watch. GUI thread, once the window layer runs.
void QuitWhenSessionBusCloses();
