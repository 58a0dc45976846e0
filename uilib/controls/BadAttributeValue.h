#pragma once

// Internal to the leaf controls: an attribute value that does not parse is
// reported through the layout diagnostics (which name the layout file and
// line being built), and the attribute keeps its previous value, so a bad
// skin never stops a window.

#include "uilib/layout/LayoutDiagnostics.h"

inline void ReportBadAttributeValue(const char* className, const char* name, const char* value)
{
    CLayoutDiagnostics::Report("%s: bad value \"%s\" for attribute \"%s\"", className, value, name);
}
