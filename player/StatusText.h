#pragma once

// The status line's texts made from the player's own status text. The player
// writes the buffering percentage as digits right before the first '%', and
// the bit rate as digits starting two characters after the first ':'.

#include <string>

// Longest part of a player status that is looked at, in bytes.
constexpr std::size_t kStatusBytes = 259;

// "缓冲中 45%": the at most three digits right before the first '%', with the
// '%'; "0%" when there is no '%' or no digit right before it.
std::string BufferingText(const std::string& status);

// "播放中 128KB/S": at most five digits starting two characters after the
// first ':' (none when there is no colon or no digit there).
std::string PlayingText(const std::string& status);
