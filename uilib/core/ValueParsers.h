#pragma once

// Parsers of the attribute values that layouts and attribute lists carry.
// Each answers true and writes its result only when the WHOLE text is a
// valid value; otherwise it answers false and leaves the result untouched,
// so a caller can keep its default. Blanks (space, tab, CR, LF) around the
// value and around each number are allowed; nothing else is.
//
//   ParseInt    "-12", "+3", "40"      decimal, within the range of LONG
//   ParseRect   "10,0,10,0"            left, top, right, bottom
//   ParseSize   "50,30"                cx, cy
//   ParseColor  "#FF990225"            0xAARRGGBB; "#RRGGBB" is opaque (alpha FF);
//                                      hex digits in either case
//   ParseBool   "true" / "false"       ASCII letters in any case

#include "platform/win/Win.h"

bool ParseInt(const char* text, LONG* value);
bool ParseRect(const char* text, RECT* rect);
bool ParseSize(const char* text, SIZE* size);
bool ParseColor(const char* text, DWORD* argb);
bool ParseBool(const char* text, bool* value);
