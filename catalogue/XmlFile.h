#pragma once

#include "uilib/core/XmlBounds.h"

#include <tinyxml.h>

#include <cstdint>
#include <string>

// The one reader of every XML file of the player: the settings file (plain),
// the catalogue, the advertisement list and their downloaded copies
// (scrambled with the file key).
//
// The file is read whole with a single read, unscrambled when asked, converted
// to UTF-8 by the encoding rule (catalogue/TextEncoding.h), and parsed. A zero
// byte ends the text. A file that is missing or unreadable leaves the document
// as it was. A file beyond the bounds of outside data (kMaxXmlFileBytes, and
// the nesting and node limits of uilib/core/XmlBounds.h) is never parsed: the
// document keeps no node of it and reports a parse error, like a file that is
// not XML. Otherwise the parse status is not examined, so whatever the parser
// kept of a damaged file is what the caller sees.

// Largest data file the reader accepts, in bytes. The biggest real catalogue is
// a few hundred kilobytes; anything near this is not one of ours.
constexpr std::int64_t kMaxXmlFileBytes = static_cast<std::int64_t>(TXmlLimits().maxBytes);

enum class EXmlFileStatus
{
    Parsed,  // handed to the parser (which may still have found faults)
    Missing, // missing or unreadable: the document is as it was
    Refused, // beyond the bounds: nothing of it was parsed
};

struct TXmlFileResult
{
    EXmlFileStatus status = EXmlFileStatus::Missing;
    EXmlRefusal refusal = EXmlRefusal::None; // why, when Refused
};

TXmlFileResult ReadXmlFile(TiXmlDocument* document, const char* path, bool unscramble);

// What ReadXmlFile does with the bytes of a file it has read: unscramble when
// asked, cut at the first zero byte, convert to UTF-8, parse within bounds.
TXmlFileResult ParseXmlBytes(TiXmlDocument* document, std::string bytes, bool unscramble);

// The form used for files that are always stored scrambled (the advertisement
// list and the update worker's downloads), parsed into the caller's own
// document.
TXmlFileResult ReadXmlFile(TiXmlDocument& document, const char* path);

// A version text read as a decimal integer: leading white space skipped, an
// optional sign, then digits up to the first other character; 0 when there are
// no digits. Values beyond the 32-bit range saturate instead of overflowing.
std::int32_t ParseVersionNumber(const char* text);

// The version element of a data file: the first later sibling of the root
// element named exactly "version". Null when there is none.
const TiXmlElement* FindVersionElement(const TiXmlDocument& document);
