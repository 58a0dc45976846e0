#pragma once

// The update worker's own pieces besides the CRadioWnd operations: where the
// update server is, how long the worker waits, and how a checked download is
// put in place.

#include "uilib/core/StdString.h"

#include <tinyxml.h>

#include <cstdint>

// The server used when the settings name none.
constexpr const char* kDefaultUpdateServer = "http://update.orvane.example";

// The update server's base address from the settings file: the "server"
// attribute of the root's first "update" element, e.g.
//   <update server="http://127.0.0.1:8080"/>
// Only http and https addresses that name a host (of any length) count; a
// trailing '/' is dropped. Anything else, or no such element, gives
// kDefaultUpdateServer.
CStdString ReadUpdateServer(const TiXmlDocument* settings);

// How long the worker waits, in milliseconds. A failed download is retried
// after `firstRetry`, doubling up to `longestRetry`, and the pause returns to
// `firstRetry` once a download succeeds; after a round in which both files
// arrived it rests `roundPause`. The time-outs bound one download.
struct TUpdateTiming
{
    std::uint32_t roundPause = 300000;   // five minutes between two full rounds
    std::uint32_t firstRetry = 2000;     // first pause after a failure
    std::uint32_t longestRetry = 300000; // longest pause between two failures
    std::uint32_t connectTimeout = 15000;
    std::uint32_t stallTimeout = 30000;  // no byte for this long ends a download
};

// Tests shorten the waits; call before the worker starts.
void SetUpdateTiming(const TUpdateTiming& timing);
TUpdateTiming GetUpdateTiming();

// Puts a copy of `source` at `target` without ever leaving `target` torn
// (platform/shell/SafeFile.h): a symbolic link stays a link to the replaced
// file, and the target keeps its permissions. False (and `target` untouched)
// when any step fails.
bool InstallFile(const char* source, const char* target);
