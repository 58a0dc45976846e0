#pragma once

// What the two transfers of the HTTP stand-in (into a file, into memory)
// share: libcurl's one start for the process, and the thread stop they obey.
// Internal to platform/inet.

// Starts libcurl once for the whole process, from whichever transfer comes
// first on any thread. curl_global_init is not thread-safe itself, so every
// transfer goes through this one flag. It is never undone.
void InitialiseCurlOnce();

// Whether the calling thread was asked to stop through the window layer;
// false where that layer is not built.
bool ThreadAskedToStop();
