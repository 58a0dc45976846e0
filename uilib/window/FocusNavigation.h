#pragma once

// Where the keyboard focus goes next: pure functions over a window's control
// tree, asked on every key, because pages are rebuilt wholesale and a kept
// focus chain would go stale with them.
//
// The focus chain is every control that IsFocusable() answers true for, in
// reading order (the tree's order, parents before children), skipping hidden
// and disabled controls and everything inside a hidden or disabled
// container. The tab stops are the chain with each option group folded into
// one stop: the option of the group that has the focus, else its selected
// option, else its first one, standing where the group's first option stands.
// Arrows then move between the options of one group by their rectangles, as
// in a grid.
//
// Runs on the GUI thread.

#include "platform/win/Win.h"

#include <vector>

class CControlUI;

enum class EFocusMove
{
    Next,
    Previous,
};

enum class EGridDirection
{
    Left,
    Right,
    Up,
    Down,
};

namespace FocusNavigation {
// The focus chain under (and including) root.
std::vector<CControlUI*> FocusChain(CControlUI* root);

// The tab stops of a chain, for a window whose focus is `current`.
std::vector<CControlUI*> TabStops(const std::vector<CControlUI*>& chain, CControlUI* current);

// The tab stop after (Next) or before (Previous) `current`, wrapping at the
// ends. A current that is no tab stop (null, a label a click focused) counts
// from its place in the tree: Next from null is the first stop, Previous
// from null the last. Null when the window has no stop at all.
CControlUI* NextTabStop(CControlUI* root, CControlUI* current, EFocusMove move);

// The first tab stop under root, null when there is none.
CControlUI* FirstTabStop(CControlUI* root);

// The focusable options of current's option group, in reading order; empty
// when current is no option of a group.
std::vector<CControlUI*> GroupMembers(CControlUI* root, CControlUI* current);

// Grid neighbour by rectangles. Two rectangles are in one row when they
// overlap vertically. Left and Right move within the row and, at its end, to
// the last of the row above or the first of the row below (reading order);
// Up and Down move to the nearest row above or below, to the rectangle whose
// middle is nearest to the current one's (so Down into a short last row
// lands on its last rectangle). -1 when there is none that way.
int GridNeighbour(const std::vector<RECT>& rects, int current, EGridDirection direction);

// Page Up / Page Down: the rectangle about `page` pixels above or below the
// current one, in the column nearest to it: the farthest row that still
// starts within one page, or the next row when even that is farther. -1 when
// there is no row that way.
int PageNeighbour(const std::vector<RECT>& rects, int current, int page, EFocusMove move);
} // namespace FocusNavigation
