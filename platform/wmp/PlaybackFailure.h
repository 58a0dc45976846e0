#pragma once

// Why a station cannot be played: every failure of an opening is made here,
// from what GStreamer, the HTTP answer, the stall watchdog or the connection
// probe said, and every status text of a failure is worded here.
//
// Threads: the GUI thread (the engine's bus watch and watchdog); the
// functions keep no state.

#include "platform/wmp/ConnectionProbe.h"
#include "platform/wmp/Wmp.h"

#include <string>

using GstMessage = struct _GstMessage;

struct PlaybackFailure
{
    WMPFailure reason = wmpfNone;
    unsigned httpStatus = 0; // wmpfServerError
    std::string format;      // wmpfUnsupportedFormat: the format's name, when known
    std::string package;     // wmpfUnsupportedFormat: the Debian package with its decoder, when known
    std::string detail;      // wmpfOther: GStreamer's own words
};

// What the engine knew of the opening when it failed.
struct FailureContext
{
    bool network = true;         // not a local file
    bool answered = false;       // the HTTP headers arrived
    bool delivered = false;      // the source gave data
    PlaybackFailure missingPlugin; // what a missing-plugin message named, if one came
};

// "无法播放：连接被拒绝" and the like; "" for wmpfNone.
std::string FailureText(const PlaybackFailure& failure);
// Whether opening the stream again may play it: not for an HTTP 4xx answer
// (but 408 and 429, which ask to come back), a format no decoder reads, an
// answer that is not audio, a playlist with no playable entry, a local file.
bool ReopeningMayMend(const PlaybackFailure& failure);

// A format named by the caps of a missing-plugin message ("audio/x-opus,
// channel-mapping-family=(int)0"), with the Debian package whose plugin
// reads it; `description` (GStreamer's own name of the plugin) is the fall-back.
PlaybackFailure MissingFormat(const std::string& caps, const std::string& description);

// A GStreamer error message of the opening.
PlaybackFailure FailureOfError(GstMessage* error, const FailureContext& context);
// A missing-plugin element message; reason wmpfNone when `message` is not one.
PlaybackFailure FailureOfMissingPlugin(GstMessage* message);
// The stall watchdog gave up: nothing came within its time.
PlaybackFailure FailureOfStall(const FailureContext& context);
// Whether the stall of a network stream that gave no data needs the server
// asked whether it answers at all (the source does not say).
bool StallNeedsProbe(const FailureContext& context);
// What a fresh connection to the server ran into, or what it answered.
PlaybackFailure FailureOfProbe(const ProbeAnswer& answer);
// A playlist body without a playable entry: a web page is not audio.
PlaybackFailure FailureOfEmptyPlaylist(const std::string& body);
// The flow error of an HTTP source that failed without an answer: the probe
// must tell why.
bool NeedsConnectionProbe(GstMessage* error, const FailureContext& context);
