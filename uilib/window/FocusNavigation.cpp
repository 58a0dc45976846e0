#include "uilib/window/FocusNavigation.h"

#include "uilib/controls/ContainerUI.h"
#include "uilib/controls/OptionUI.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {
CControlUI* CollectAll(CControlUI* control, void* data)
{
    static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
    return nullptr;
}

// Visible, enabled controls in reading order (hidden or disabled containers
// are skipped with everything inside them).
std::vector<CControlUI*> ShownControls(CControlUI* root)
{
    std::vector<CControlUI*> controls;
    if (root != nullptr) {
        root->FindControl(CollectAll, &controls, UIFIND_VISIBLE | UIFIND_ENABLED | UIFIND_ME_FIRST);
    }
    return controls;
}

// The group an option belongs to; empty for anything else.
CStdString GroupOf(CControlUI* control)
{
    auto* option = control != nullptr ? static_cast<COptionUI*>(control->GetInterface("Option")) : nullptr;
    return option != nullptr ? option->GetGroup() : CStdString();
}

bool IsSelectedOption(CControlUI* control)
{
    auto* option = static_cast<COptionUI*>(control->GetInterface("Option"));
    return option != nullptr && option->IsSelected();
}

// A tab stop and the place in the shown controls it stands for.
struct TStop
{
    CControlUI* control;
    size_t place;
};

std::vector<TStop> StopsWithPlaces(const std::vector<CControlUI*>& shown, CControlUI* current)
{
    std::vector<CControlUI*> chain;
    std::vector<size_t> places;
    for (size_t index = 0; index < shown.size(); ++index) {
        if (shown[index]->IsFocusable()) {
            chain.push_back(shown[index]);
            places.push_back(index);
        }
    }
    std::vector<TStop> stops;
    std::vector<CStdString> groupsDone;
    for (size_t index = 0; index < chain.size(); ++index) {
        const CStdString group = GroupOf(chain[index]);
        if (group.IsEmpty()) {
            stops.push_back({chain[index], places[index]});
            continue;
        }
        if (std::find(groupsDone.begin(), groupsDone.end(), group) != groupsDone.end()) {
            continue;
        }
        groupsDone.push_back(group);
        CControlUI* chosen = nullptr;
        CControlUI* selected = nullptr;
        for (size_t member = index; member < chain.size(); ++member) {
            if (GroupOf(chain[member]) != group) {
                continue;
            }
            if (chain[member] == current) {
                chosen = current;
                break;
            }
            if (selected == nullptr && IsSelectedOption(chain[member])) {
                selected = chain[member];
            }
        }
        if (chosen == nullptr) {
            chosen = selected != nullptr ? selected : chain[index];
        }
        stops.push_back({chosen, places[index]});
    }
    return stops;
}

LONG MiddleX(const RECT& rect)
{
    return (rect.left + rect.right) / 2;
}

LONG MiddleY(const RECT& rect)
{
    return (rect.top + rect.bottom) / 2;
}

bool SameRow(const RECT& a, const RECT& b)
{
    return a.top < b.bottom && b.top < a.bottom;
}

enum class ESide
{
    Above,
    Below,
};

bool OnSide(const RECT& candidate, const RECT& from, ESide side)
{
    if (SameRow(candidate, from)) {
        return false;
    }
    return side == ESide::Below ? MiddleY(candidate) > MiddleY(from) : MiddleY(candidate) < MiddleY(from);
}

// In the row of rects[anchor] (among those on `side` of `from`), the one
// whose middle is nearest to x; on a tie the left one.
int NearestInRow(const std::vector<RECT>& rects, int anchor, const RECT& from, ESide side, LONG x)
{
    int best = -1;
    LONG bestDistance = std::numeric_limits<LONG>::max();
    for (int index = 0; index < static_cast<int>(rects.size()); ++index) {
        const RECT& candidate = rects[static_cast<size_t>(index)];
        if (!OnSide(candidate, from, side) || !SameRow(candidate, rects[static_cast<size_t>(anchor)])) {
            continue;
        }
        const LONG distance = std::labs(MiddleX(candidate) - x);
        if (distance < bestDistance ||
            (distance == bestDistance && MiddleX(candidate) < MiddleX(rects[static_cast<size_t>(best)]))) {
            best = index;
            bestDistance = distance;
        }
    }
    return best;
}

// The rectangle on `side` of `from` that starts the nearest row there.
int NearestRowAnchor(const std::vector<RECT>& rects, const RECT& from, ESide side)
{
    int best = -1;
    for (int index = 0; index < static_cast<int>(rects.size()); ++index) {
        const RECT& candidate = rects[static_cast<size_t>(index)];
        if (!OnSide(candidate, from, side)) {
            continue;
        }
        if (best < 0) {
            best = index;
            continue;
        }
        const RECT& held = rects[static_cast<size_t>(best)];
        if (side == ESide::Below ? candidate.top < held.top : candidate.bottom > held.bottom) {
            best = index;
        }
    }
    return best;
}
} // namespace

namespace FocusNavigation {
std::vector<CControlUI*> FocusChain(CControlUI* root)
{
    std::vector<CControlUI*> chain = ShownControls(root);
    chain.erase(std::remove_if(chain.begin(), chain.end(),
                               [](CControlUI* control) { return !control->IsFocusable(); }),
                chain.end());
    return chain;
}

std::vector<CControlUI*> TabStops(const std::vector<CControlUI*>& chain, CControlUI* current)
{
    std::vector<CControlUI*> stops;
    for (const TStop& stop : StopsWithPlaces(chain, current)) {
        stops.push_back(stop.control);
    }
    return stops;
}

CControlUI* NextTabStop(CControlUI* root, CControlUI* current, EFocusMove move)
{
    const std::vector<CControlUI*> shown = ShownControls(root);
    std::vector<TStop> stops = StopsWithPlaces(shown, current);
    if (stops.empty()) {
        return nullptr;
    }
    const auto isCurrent = [current](const TStop& stop) { return stop.control == current; };
    const auto found = std::find_if(stops.begin(), stops.end(), isCurrent);
    if (current != nullptr && found != stops.end()) {
        const size_t index = static_cast<size_t>(found - stops.begin());
        const size_t count = stops.size();
        return stops[move == EFocusMove::Next ? (index + 1) % count : (index + count - 1) % count].control;
    }
    // Not a stop: count from where the current control stands in the whole
    // tree, so that one just disabled or hidden is left for its neighbour.
    std::vector<CControlUI*> all;
    if (root != nullptr) {
        root->FindControl(CollectAll, &all, UIFIND_ME_FIRST);
    }
    const auto place = std::find(all.begin(), all.end(), current);
    if (current == nullptr || place == all.end()) {
        return move == EFocusMove::Next ? stops.front().control : stops.back().control;
    }
    const size_t at = static_cast<size_t>(place - all.begin());
    // The shown controls and the stops come in the tree's order too: one
    // walk renumbers the stops' places in the whole tree.
    size_t treeIndex = 0;
    for (TStop& stop : stops) {
        while (treeIndex < all.size() && all[treeIndex] != shown[stop.place]) {
            ++treeIndex;
        }
        stop.place = treeIndex;
    }
    if (move == EFocusMove::Next) {
        for (const TStop& stop : stops) {
            if (stop.place > at) {
                return stop.control;
            }
        }
        return stops.front().control;
    }
    for (auto it = stops.rbegin(); it != stops.rend(); ++it) {
        if (it->place < at) {
            return it->control;
        }
    }
    return stops.back().control;
}

CControlUI* FirstTabStop(CControlUI* root)
{
    const std::vector<TStop> stops = StopsWithPlaces(ShownControls(root), nullptr);
    return stops.empty() ? nullptr : stops.front().control;
}

std::vector<CControlUI*> GroupMembers(CControlUI* root, CControlUI* current)
{
    const CStdString group = GroupOf(current);
    std::vector<CControlUI*> members;
    if (group.IsEmpty()) {
        return members;
    }
    for (CControlUI* control : FocusChain(root)) {
        if (GroupOf(control) == group) {
            members.push_back(control);
        }
    }
    return members;
}

int GridNeighbour(const std::vector<RECT>& rects, int current, EGridDirection direction)
{
    if (current < 0 || current >= static_cast<int>(rects.size())) {
        return -1;
    }
    const RECT from = rects[static_cast<size_t>(current)];
    if (direction == EGridDirection::Up || direction == EGridDirection::Down) {
        const ESide side = direction == EGridDirection::Down ? ESide::Below : ESide::Above;
        const int anchor = NearestRowAnchor(rects, from, side);
        return anchor < 0 ? -1 : NearestInRow(rects, anchor, from, side, MiddleX(from));
    }
    const bool right = direction == EGridDirection::Right;
    int best = -1;
    for (int index = 0; index < static_cast<int>(rects.size()); ++index) {
        const RECT& candidate = rects[static_cast<size_t>(index)];
        if (index == current || !SameRow(candidate, from)) {
            continue;
        }
        const LONG x = MiddleX(candidate);
        if (right ? x <= MiddleX(from) : x >= MiddleX(from)) {
            continue;
        }
        if (best < 0 || (right ? x < MiddleX(rects[static_cast<size_t>(best)])
                               : x > MiddleX(rects[static_cast<size_t>(best)]))) {
            best = index;
        }
    }
    if (best >= 0) {
        return best;
    }
    // At the row's end: on to the start of the next row, or back to the end
    // of the previous one.
    const ESide side = right ? ESide::Below : ESide::Above;
    const int anchor = NearestRowAnchor(rects, from, side);
    if (anchor < 0) {
        return -1;
    }
    return NearestInRow(rects, anchor, from, side,
                        right ? std::numeric_limits<LONG>::min() / 2 : std::numeric_limits<LONG>::max() / 2);
}

int PageNeighbour(const std::vector<RECT>& rects, int current, int page, EFocusMove move)
{
    if (current < 0 || current >= static_cast<int>(rects.size())) {
        return -1;
    }
    const RECT from = rects[static_cast<size_t>(current)];
    const ESide side = move == EFocusMove::Next ? ESide::Below : ESide::Above;
    const LONG limit = move == EFocusMove::Next ? from.top + page : from.top - page;
    int anchor = -1;
    for (int index = 0; index < static_cast<int>(rects.size()); ++index) {
        const RECT& candidate = rects[static_cast<size_t>(index)];
        if (!OnSide(candidate, from, side)) {
            continue;
        }
        const bool withinPage = side == ESide::Below ? candidate.top <= limit : candidate.top >= limit;
        if (!withinPage) {
            continue;
        }
        if (anchor < 0 || (side == ESide::Below ? candidate.top > rects[static_cast<size_t>(anchor)].top
                                                : candidate.top < rects[static_cast<size_t>(anchor)].top)) {
            anchor = index;
        }
    }
    if (anchor < 0) {
        anchor = NearestRowAnchor(rects, from, side);
    }
    return anchor < 0 ? -1 : NearestInRow(rects, anchor, from, side, MiddleX(from));
}
} // namespace FocusNavigation
