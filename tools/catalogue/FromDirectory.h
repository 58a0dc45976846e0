#pragma once

// `orvane-catalogue from-directory STATIONS.json OUT.xml [VERSION]`: a
// directory answer (the stations of a country, as /json/stations/search or
// /json/stations/bycountrycodeexact give them) turned into a catalogue
// source in the format of config/fmradios.xml.
//
// - Only stations whose last check passed are taken, each stream once, at
//   the address the directory last heard it (the resolved one when known).
// - Regions are the stations' states, the region with most stations first
//   (ties by name), stations without a state in "其他" at the end.
// - Styles are the twelve tags most common among the taken stations; a
//   station's style is the first of its tags among them, "其他" when none is.
// - The version is VERSION, or today's date (UTC) as YYYYMMDD, so a newer
//   catalogue has the greater version.
// - OUT is replaced whole or not at all; nothing is written when the answer
//   cannot be read or holds no station to take.
//
// Prints what it made, one line, and answers the exit status.
int CatalogueFromDirectory(const char* inputPath, const char* outputPath, const char* version);
