#include "uilib/controls/ContainerUI.h"

#include "uilib/core/ValueParsers.h"
#include "uilib/layout/LayoutDiagnostics.h"
#include "uilib/render/RenderEngineQt.h"
#include "uilib/window/PaintManagerUI.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI()
{
    // The children go with the container; each forgets itself in its
    // manager as it is deleted.
    std::vector<CControlUI*> children;
    children.swap(items);
    for (CControlUI* child : children) {
        delete child;
    }
}

const char* CContainerUI::GetClass() const
{
    return "ContainerUI";
}

void* CContainerUI::GetInterface(const char* interfaceName)
{
    if (interfaceName != nullptr && std::strcmp(interfaceName, "Container") == 0) {
        return this;
    }
    return CControlUI::GetInterface(interfaceName);
}

CControlUI* CContainerUI::GetItemAt(int index) const
{
    if (index < 0 || index >= static_cast<int>(items.size())) {
        return nullptr;
    }
    return items[static_cast<size_t>(index)];
}

int CContainerUI::GetItemIndex(CControlUI* control) const
{
    const auto it = std::find(items.begin(), items.end(), control);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

int CContainerUI::GetCount() const
{
    return static_cast<int>(items.size());
}

bool CContainerUI::Add(CControlUI* control)
{
    return AddAt(control, GetCount());
}

bool CContainerUI::AddAt(CControlUI* control, int index)
{
    if (control == nullptr || control == this || control->GetParent() != nullptr || index < 0 ||
        index > GetCount() || GetItemIndex(control) >= 0) {
        return false;
    }
    items.insert(items.begin() + index, control);
    // Attached before the parent exists in a window, a child gets its
    // manager (and its DoInit) when the parent does.
    control->SetManager(manager, this, manager != nullptr);
    NeedUpdate();
    ChildrenChanged();
    return true;
}

bool CContainerUI::Remove(CControlUI* control)
{
    return RemoveAt(GetItemIndex(control));
}

bool CContainerUI::RemoveAt(int index)
{
    CControlUI* control = GetItemAt(index);
    if (control == nullptr) {
        return false;
    }
    items.erase(items.begin() + index);
    ReleaseChild(control);
    NeedUpdate();
    ChildrenChanged();
    return true;
}

void CContainerUI::RemoveAll()
{
    // Take the list first: a child's teardown must never see a half-walked
    // list of its siblings.
    std::vector<CControlUI*> children;
    children.swap(items);
    for (CControlUI* child : children) {
        ReleaseChild(child);
    }
    NeedUpdate();
    if (!children.empty()) {
        ChildrenChanged();
    }
}

void CContainerUI::ChildrenChanged()
{
    if (manager != nullptr) {
        manager->NotifyControlChanged(this, EControlChange::Children);
    }
}

void CContainerUI::ReleaseChild(CControlUI* control)
{
    CPaintManagerUI* owner = manager;
    control->SetManager(nullptr, nullptr, false);
    if (owner != nullptr) {
        owner->DelayedDelete(control);
    } else {
        delete control;
    }
}

int CContainerUI::ShareOf(int free, int count, int ordinal)
{
    if (free <= 0 || count <= 0) {
        return 0;
    }
    return free / count + (ordinal < free % count ? 1 : 0);
}

int CContainerUI::Clamp(int size, int minimum, int maximum)
{
    if (maximum > 0 && size > maximum) {
        size = maximum;
    }
    return size < minimum ? minimum : size;
}

RECT CContainerUI::GetInset() const
{
    return inset;
}

void CContainerUI::SetInset(RECT value)
{
    inset = value;
    NeedUpdate();
}

int CContainerUI::GetChildPadding() const
{
    return childPadding;
}

void CContainerUI::SetChildPadding(int padding)
{
    childPadding = padding < 0 ? 0 : padding;
    NeedUpdate();
}

bool CContainerUI::IsMouseChildEnabled() const
{
    return mouseChildEnabled;
}

void CContainerUI::SetMouseChildEnabled(bool enabled)
{
    mouseChildEnabled = enabled;
}

void CContainerUI::SetManager(CPaintManagerUI* newManager, CControlUI* newParent, bool init)
{
    CControlUI::SetManager(newManager, newParent, init);
    for (CControlUI* child : items) {
        child->SetManager(newManager, this, init);
    }
}

RECT CContainerUI::GetInnerRect() const
{
    RECT inner = {pos.left + inset.left, pos.top + inset.top, pos.right - inset.right, pos.bottom - inset.bottom};
    if (inner.right < inner.left) {
        inner.right = inner.left;
    }
    if (inner.bottom < inner.top) {
        inner.bottom = inner.top;
    }
    return inner;
}

void CContainerUI::SetPos(RECT value)
{
    CControlUI::SetPos(value);
    const RECT inner = GetInnerRect();
    for (CControlUI* child : items) {
        if (!child->IsVisible()) {
            continue;
        }
        RECT place = {};
        if (child->HasFixedPos()) {
            const RECT fixed = child->GetFixedPos();
            place = RECT{inner.left + fixed.left, inner.top + fixed.top, inner.left + fixed.right,
                         inner.top + fixed.bottom};
        } else {
            const RECT margin = child->GetPadding();
            place = RECT{inner.left + margin.left, inner.top + margin.top, inner.right - margin.right,
                         inner.bottom - margin.bottom};
        }
        child->SetPos(place);
    }
}

void CContainerUI::SetVisible(bool value)
{
    if (!value && manager != nullptr) {
        // Keyboard focus inside a hidden container would type into nothing.
        CControlUI* focus = manager->GetFocus();
        for (CControlUI* up = focus; up != nullptr; up = up->GetParent()) {
            if (up == this) {
                manager->SetFocus(nullptr);
                break;
            }
        }
    }
    CControlUI::SetVisible(value);
}

CControlUI* CContainerUI::FindControl(FINDCONTROLPROC proc, void* data, UINT flags)
{
    if ((flags & UIFIND_VISIBLE) != 0 && !IsVisible()) {
        return nullptr;
    }
    if ((flags & UIFIND_ENABLED) != 0 && !IsEnabled()) {
        return nullptr;
    }
    const bool hitTest = (flags & UIFIND_HITTEST) != 0;
    if (hitTest && !IsPointInside(*static_cast<const POINT*>(data))) {
        return nullptr;
    }
    // In a hit test the container answers for itself only when it takes the
    // mouse; a container without mouse lets the point fall through.
    const bool selfCandidate = !hitTest || IsMouseEnabled();
    if ((flags & UIFIND_ME_FIRST) != 0 && selfCandidate) {
        if (CControlUI* found = proc(this, data)) {
            return found;
        }
    }
    const bool searchChildren =
        !hitTest || (mouseChildEnabled && UIPointInRect(GetInnerRect(), *static_cast<const POINT*>(data)));
    if (searchChildren) {
        if ((flags & UIFIND_TOP_FIRST) != 0) {
            for (auto it = items.rbegin(); it != items.rend(); ++it) {
                if (CControlUI* found = (*it)->FindControl(proc, data, flags)) {
                    return found;
                }
            }
        } else {
            for (CControlUI* child : items) {
                if (CControlUI* found = child->FindControl(proc, data, flags)) {
                    return found;
                }
            }
        }
    }
    if ((flags & UIFIND_ME_FIRST) == 0 && selfCandidate) {
        return proc(this, data);
    }
    return nullptr;
}

void CContainerUI::DoPaint(HDC painter, const RECT& area)
{
    if (!UIIntersectRect(paintRect, area, pos)) {
        return;
    }
    const RECT ownArea = paintRect;
    PaintBkColor(painter);
    PaintBkImage(painter);
    PaintStatusImage(painter);
    PaintChildren(painter, ownArea, GetInnerRect());
    // A child's DoPaint does not touch this control's paint rectangle, but
    // restore it anyway: the fore image and border clip to it.
    paintRect = ownArea;
    PaintForeImage(painter);
    PaintText(painter);
    PaintBorder(painter);
}

void CContainerUI::PaintChildren(HDC painter, const RECT& area, const RECT& clip)
{
    RECT visibleArea = {};
    if (!UIIntersectRect(visibleArea, area, clip)) {
        return;
    }
    if (painter != nullptr) {
        painter->save();
        painter->setClipRect(CRenderEngineQt::ToQRect(visibleArea), Qt::IntersectClip);
    }
    for (CControlUI* child : items) {
        if (!child->IsVisible()) {
            continue;
        }
        RECT childArea = {};
        if (UIIntersectRect(childArea, visibleArea, child->GetPos())) {
            child->DoPaint(painter, childArea);
        }
    }
    if (painter != nullptr) {
        painter->restore();
    }
}

void CContainerUI::SetAttribute(const char* attributeName, const char* value)
{
    if (attributeName == nullptr) {
        return;
    }
    if (value == nullptr) {
        value = "";
    }
    RECT rect = {};
    LONG number = 0;
    bool flag = false;
    if (std::strcmp(attributeName, "inset") == 0) {
        if (ParseRect(value, &rect)) {
            SetInset(rect);
        } else {
            CLayoutDiagnostics::Report("%s: bad value \"%s\" for attribute \"%s\"", GetClass(), value, attributeName);
        }
    } else if (std::strcmp(attributeName, "childpadding") == 0) {
        if (ParseInt(value, &number) && number >= 0) {
            SetChildPadding(number);
        } else {
            CLayoutDiagnostics::Report("%s: bad value \"%s\" for attribute \"%s\"", GetClass(), value, attributeName);
        }
    } else if (std::strcmp(attributeName, "mousechild") == 0) {
        if (ParseBool(value, &flag)) {
            SetMouseChildEnabled(flag);
        } else {
            CLayoutDiagnostics::Report("%s: bad value \"%s\" for attribute \"%s\"", GetClass(), value, attributeName);
        }
    } else {
        CControlUI::SetAttribute(attributeName, value);
    }
}
