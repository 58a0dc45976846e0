#pragma once

#include <string>
#include <string_view>

// Data files are UTF-8. Files written in the format's historical code page
// (GBK, read as its superset GB18030) are converted to UTF-8 before they are
// parsed; everything past the reader sees UTF-8 only.

// Whether the bytes are well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no truncated sequence at the end.
bool IsValidUtf8(std::string_view bytes);

// The bytes as UTF-8: unchanged when they already are, otherwise converted from
// GB18030. Bytes that are not GB18030 either become U+FFFD, so the result is
// always valid UTF-8.
std::string ToUtf8(std::string_view bytes);
