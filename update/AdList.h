#pragma once

// The advertisement list: a scrambled XML file whose root's child elements
// each carry an advertisement text (attribute 1) and its link (attribute 2,
// "#" or empty for none), read by position. The text is the key: a repeated
// text keeps the first one's link, and an empty text is skipped.

#include "uilib/core/StdPtrArray.h"
#include "uilib/core/StdStringPtrMap.h"

class TiXmlDocument;

// Frees every text of `adTexts` and every link of `adLinks`, and empties both.
void FreeAdList(CStdStringPtrMap& adLinks, CStdPtrArray& adTexts);

// Refills the containers from the file at `path`: `adTexts` holds the texts
// (owned CStdString*) in file order, `adLinks` maps each text to its link
// (owned CStdString*). A missing or unparsable file leaves both empty.
void ReadAdList(const char* path, CStdStringPtrMap& adLinks, CStdPtrArray& adTexts);

// The same from a document already read.
void FillAdList(const TiXmlDocument& document, CStdStringPtrMap& adLinks, CStdPtrArray& adTexts);
