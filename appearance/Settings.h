#pragma once

// The settings file config/config.xml: a root element whose first "skin"
// child remembers the main window's background, as
//   <skin name="minLove|minBlue|minDefine" path="#|/absolute/picture/path"/>
// and, beside it, the last station chosen and the volume:
//   <station name="..." url="..."/>
//   <volume value="0..100"/>
// Everything else in the file is kept as it is and written back with it.

#include "uilib/core/StdString.h"

#include <tinyxml.h>

// The three background choices, named after the skin dialog's options.
constexpr const char* kChoiceLove = "minLove";
constexpr const char* kChoiceBlue = "minBlue";
constexpr const char* kChoiceCustom = "minDefine";

// The image attribute list a choice stands for; `path` is used for
// kChoiceCustom only, verbatim.
CStdString BackgroundDescription(const char* choice, const char* path = nullptr);

// The root's first "skin" element, null when there is none.
TiXmlElement* FindSkinElement(TiXmlDocument* settings);

// The remembered station; false when the file names none (no element, or
// an empty name or URL).
bool ReadRememberedStation(const TiXmlDocument* settings, CStdString& name, CStdString& url);
// The remembered volume, clamped to 0..100; -1 when the file holds none.
int ReadRememberedVolume(const TiXmlDocument* settings);
// Sets the elements, adding them after "skin" (or at the root's end) when
// missing. False, with nothing changed, for a document without a root.
bool SetRememberedStation(TiXmlDocument* settings, const char* name, const char* url);
bool SetRememberedVolume(TiXmlDocument* settings, int volume);

// Writes the whole document to `path` through a file beside it that is
// renamed over it (platform/shell/SafeFile.h), so a crash or a full disk
// never leaves a torn or empty settings file; a symbolic link stays a link,
// the file keeps its permissions, and a byte-order mark that the loaded file
// began with is written again. False, with the old file untouched, when the
// folder is missing or the file cannot be written.
bool SaveSettingsFile(const TiXmlDocument& settings, const char* path);
