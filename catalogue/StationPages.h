#pragma once

// The station list page as every source of stations builds it (the regions
// and styles of the catalogue, the user's own stations): a title row with the
// back button, then the stations three to a row as options of the group
// "radios", each carrying its name as text and its address as user data.

#include "catalogue/CatalogueModel.h"

#include <vector>

class CRadioWnd;

// Fills "radioscontent" with the page; the option of the station playing now
// is selected.
void BuildStationPage(CRadioWnd& window, const char* title, const std::vector<TStation>& stations);

// Adds rows of stations to "radioscontent" (at child index `at`, or at the
// end for -1), as BuildStationPage lays them out: the first station starts a
// new row. The options join "radios" in the order they are attached.
void AppendStationRows(CRadioWnd& window, const std::vector<TStation>& stations, int at = -1);
