#pragma once

#include <tinyxml.h>

#include <cstdint>

// The one reader of every XML file of the player: the settings file (plain),
// the catalogue, the advertisement list and their downloaded copies
// (scrambled with the file key).
//
// The file is read whole with a single read, unscrambled when asked, converted
// to UTF-8 when its bytes are in the historical code page, and parsed. A zero
// byte ends the text. A file that is missing, unreadable or larger than
// kMaxXmlFileBytes leaves the document as it was; the parse status is not
// examined, so whatever the parser kept of a damaged file is what the caller
// sees.

// Largest data file the reader accepts, in bytes. The biggest real catalogue is
// a few hundred kilobytes; anything near this is not one of ours.
constexpr std::int64_t kMaxXmlFileBytes = 64 * 1024 * 1024;

void ReadXmlFile(TiXmlDocument* document, const char* path, bool unscramble);

// The form used for files that are always stored scrambled (the advertisement
// list and the update worker's downloads), parsed into the caller's own
// document.
void ReadXmlFile(TiXmlDocument& document, const char* path);

// A version text read as a decimal integer: leading white space skipped, an
// optional sign, then digits up to the first other character; 0 when there are
// no digits. Values beyond the 32-bit range saturate instead of overflowing.
std::int32_t ParseVersionNumber(const char* text);

// The version element of a data file: the first later sibling of the root
// element named exactly "version". Null when there is none.
const TiXmlElement* FindVersionElement(const TiXmlDocument& document);
