#include "uilib/window/FocusManager.h"

#include "platform/win/KeyMapping.h"
#include "uilib/controls/ControlUI.h"
#include "uilib/controls/VerticalLayoutUI.h"
#include "uilib/render/RenderEngine.h"
#include "uilib/window/KeyClaims.h"
#include "uilib/window/PaintManagerUI.h"

#include <algorithm>
#include <vector>

namespace {
// The ring's look when the skin gives none: a clear blue, 2 px wide, that
// reads on the light cards and on the dark pictures alike.
constexpr DWORD DEFAULT_RING_COLOR = 0xFF1F6FE0;
constexpr int DEFAULT_RING_SIZE = 2;

bool IsArrow(WPARAM key)
{
    return key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN;
}

bool IsPageKey(WPARAM key)
{
    return key == VK_PRIOR || key == VK_NEXT || key == VK_HOME || key == VK_END;
}

CVerticalLayoutUI* AsScroller(CControlUI* control)
{
    auto* layout = static_cast<CVerticalLayoutUI*>(control->GetInterface("VerticalLayout"));
    return layout != nullptr && layout->IsScrollBarEnabled() ? layout : nullptr;
}

bool IsInside(CControlUI* control, CControlUI* ancestor)
{
    for (CControlUI* up = control; up != nullptr; up = up->GetParent()) {
        if (up == ancestor) {
            return true;
        }
    }
    return false;
}

std::vector<RECT> RectsOf(const std::vector<CControlUI*>& controls)
{
    std::vector<RECT> rects;
    rects.reserve(controls.size());
    for (CControlUI* control : controls) {
        rects.push_back(control->GetPos());
    }
    return rects;
}

int IndexOf(const std::vector<CControlUI*>& controls, CControlUI* control)
{
    const auto found = std::find(controls.begin(), controls.end(), control);
    return found == controls.end() ? -1 : static_cast<int>(found - controls.begin());
}
} // namespace

CFocusManager::CFocusManager(CPaintManagerUI& owner)
    : manager(owner), ringColor(DEFAULT_RING_COLOR), ringSize(DEFAULT_RING_SIZE)
{
}

bool CFocusManager::HandleKeyDown(WPARAM key, LPARAM lParam)
{
    CControlUI* focus = manager.GetFocus();
    const MSG message{manager.GetPaintWindow(), WM_KEYDOWN, key, lParam, 0, {0, 0}};
    if (focus != nullptr && ControlClaimsKey(focus->GetKeyClaims(), message)) {
        return false;
    }
    // Ctrl combinations stay the window's and the control's (Ctrl+arrows
    // step through the stations of the main window).
    if (KeyMessageHasControl(lParam)) {
        return false;
    }
    if (key == VK_TAB) {
        MoveFocus(KeyMessageHasShift(lParam) ? EFocusMove::Previous : EFocusMove::Next);
        return true;
    }
    if (focus == nullptr || KeyMessageHasShift(lParam)) {
        return false;
    }
    if (IsArrow(key)) {
        return MoveInGroup(focus, key);
    }
    if (IsPageKey(key)) {
        return MoveInPage(focus, key);
    }
    return false;
}

bool CFocusManager::MoveFocus(EFocusMove move)
{
    manager.UpdateLayout();
    CControlUI* target = FocusNavigation::NextTabStop(manager.GetRoot(), manager.GetFocus(), move);
    if (target == nullptr) {
        return false;
    }
    FocusByKeyboard(target);
    return true;
}

void CFocusManager::FocusByKeyboard(CControlUI* control)
{
    ringShown = true;
    // The focus handlers may close the window, and its manager (and this
    // object with it) goes: only locals are looked at until that is known.
    CPaintManagerUI* owner = &manager;
    HWND window = owner->GetPaintWindow();
    owner->SetFocus(control);
    if (window != nullptr && CPaintManagerUI::FromWindow(window) != owner) {
        return;
    }
    // They may also have moved the focus elsewhere or removed it.
    CControlUI* focus = manager.GetFocus();
    if (focus != nullptr) {
        manager.UpdateLayout();
        ScrollIntoView(focus);
    }
    InvalidateRing();
}

bool CFocusManager::MoveInGroup(CControlUI* focus, WPARAM key)
{
    const std::vector<CControlUI*> members = FocusNavigation::GroupMembers(manager.GetRoot(), focus);
    if (members.empty()) {
        return false;
    }
    manager.UpdateLayout();
    const EGridDirection direction = key == VK_LEFT    ? EGridDirection::Left
                                     : key == VK_RIGHT ? EGridDirection::Right
                                     : key == VK_UP    ? EGridDirection::Up
                                                       : EGridDirection::Down;
    const int next = FocusNavigation::GridNeighbour(RectsOf(members), IndexOf(members, focus), direction);
    // At the edge of the grid the focus stays, and shows where it is.
    FocusByKeyboard(next >= 0 ? members[static_cast<size_t>(next)] : focus);
    return true;
}

bool CFocusManager::MoveInPage(CControlUI* focus, WPARAM key)
{
    // Only where a list of choices scrolls; a slider or an entry uses the
    // keys itself.
    if (focus->GetInterface("Button") == nullptr) {
        return false;
    }
    CVerticalLayoutUI* scroller = nullptr;
    for (CControlUI* up = focus->GetParent(); up != nullptr && scroller == nullptr; up = up->GetParent()) {
        scroller = AsScroller(up);
    }
    if (scroller == nullptr) {
        return false;
    }
    std::vector<CControlUI*> candidates = FocusNavigation::GroupMembers(manager.GetRoot(), focus);
    if (candidates.empty()) {
        candidates = FocusNavigation::FocusChain(scroller);
    }
    candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                    [scroller](CControlUI* control) { return !IsInside(control, scroller); }),
                     candidates.end());
    const int current = IndexOf(candidates, focus);
    if (current < 0) {
        return false;
    }
    manager.UpdateLayout();
    int target = current;
    if (key == VK_HOME) {
        target = 0;
    } else if (key == VK_END) {
        target = static_cast<int>(candidates.size()) - 1;
    } else {
        const RECT shown = scroller->GetPos();
        const int page = std::max<int>(1, shown.bottom - shown.top);
        const int found = FocusNavigation::PageNeighbour(
            RectsOf(candidates), current, page, key == VK_NEXT ? EFocusMove::Next : EFocusMove::Previous);
        target = found >= 0 ? found : current;
    }
    FocusByKeyboard(candidates[static_cast<size_t>(target)]);
    return true;
}

bool CFocusManager::IsFocusVisible() const
{
    return ringShown && manager.GetFocus() != nullptr;
}

void CFocusManager::HideRing()
{
    if (ringShown) {
        InvalidateRing();
        ringShown = false;
    }
}

DWORD CFocusManager::GetRingColor() const
{
    return ringColor;
}

void CFocusManager::SetRingColor(DWORD argb)
{
    ringColor = argb;
}

int CFocusManager::GetRingSize() const
{
    return ringSize;
}

void CFocusManager::SetRingSize(int size)
{
    ringSize = std::max(0, size);
}

RECT CFocusManager::ShownPart(CControlUI* control) const
{
    RECT shown = control->GetPos();
    for (CControlUI* up = control->GetParent(); up != nullptr; up = up->GetParent()) {
        RECT clipped = {};
        if (!UIIntersectRect(clipped, shown, up->GetPos())) {
            return RECT{0, 0, 0, 0};
        }
        shown = clipped;
    }
    return shown;
}

void CFocusManager::PaintRing(HDC painter, const RECT& paintRect) const
{
    CControlUI* focus = manager.GetFocus();
    if (!IsFocusVisible() || focus == nullptr) {
        return;
    }
    RECT clip = {};
    if (!UIIntersectRect(clip, ShownPart(focus), paintRect)) {
        return;
    }
    CRenderEngine::DrawFocusRing(painter, focus->GetPos(), clip, ringSize, ringColor);
}

void CFocusManager::InvalidateRing() const
{
    if (CControlUI* focus = manager.GetFocus()) {
        manager.Invalidate(focus->GetPos());
    }
}

void CFocusManager::ScrollIntoView(CControlUI* control)
{
    if (control == nullptr) {
        return;
    }
    // Nearest layout first: scrolling it moves the control, and the outer
    // ones then see where it is now.
    for (CControlUI* up = control->GetParent(); up != nullptr; up = up->GetParent()) {
        if (CVerticalLayoutUI* scroller = AsScroller(up)) {
            scroller->EnsureVisible(control->GetPos());
        }
    }
}
