#pragma once

#include <string>
#include <string_view>

// Data files are UTF-8. Files written in the format's historical code page
// (GBK, read as its superset GB18030) are converted to UTF-8 before they are
// parsed; everything past the reader sees UTF-8 only.
//
// Which one a file is follows one rule:
//   1. An XML declaration at the start that names an encoding decides:
//      "UTF-8" or "UTF8" means UTF-8, "GBK", "GB2312" or "GB18030" means
//      GB18030, in any letter case.
//   2. Otherwise (no declaration, no encoding in it, or one not named above)
//      a UTF-8 byte-order mark means UTF-8.
//   3. Otherwise bytes that are valid UTF-8 as a whole are UTF-8, and any
//      other bytes are GB18030.
// In a UTF-8 file a byte that is not part of a valid sequence becomes U+FFFD
// on its own; the rest of the file keeps its text.

// Whether the bytes are well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no truncated sequence at the end.
bool IsValidUtf8(std::string_view bytes);

enum class ETextEncoding
{
    Utf8,
    Gb18030,
};

// The encoding named by the XML declaration that opens `bytes` (after an
// optional byte-order mark and white space), or an empty text when there is
// no declaration or it names none. The name is returned as written.
std::string DeclaredEncoding(std::string_view bytes);

// The encoding of a data file by the rule above.
ETextEncoding DetectEncoding(std::string_view bytes);

// The bytes as UTF-8, read in the encoding the rule gives. The result is
// always valid UTF-8: bytes that fit neither become U+FFFD.
std::string ToUtf8(std::string_view bytes);
