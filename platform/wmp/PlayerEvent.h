#pragma once

// One event the player raises to its sinks, queued where it happens and
// delivered later on the GUI thread in the order it was queued.

#include "platform/com/Com.h"

enum class PlayerEventKind
{
    OpenStateChange, // value: the new WMPOpenState
    PlayStateChange, // value: the new WMPPlayState
    StatusChange,
    Buffering,   // value: VARIANT_TRUE when buffering starts, VARIANT_FALSE when it ends
    Error,
    EndOfStream, // value: 0
    MediaChange, // the current media's title changed
};

struct PlayerEvent
{
    PlayerEventKind kind;
    COM_LONG value = 0;
};
