#include "uilib/controls/VerticalLayoutUI.h"

#include "uilib/core/ValueParsers.h"
#include "uilib/layout/LayoutDiagnostics.h"
#include "uilib/render/RenderEngineQt.h"
#include "uilib/window/PaintManagerUI.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
// Pixels of the inner width that a shown scroll bar takes.
constexpr int SCROLLBAR_WIDTH = 8;
// Pixels: the thumb is this wide, centred in the bar, with round ends.
constexpr int THUMB_WIDTH = 6;
// Pixels: the shortest thumb, so a long list still has something to grab.
constexpr int THUMB_MIN_LENGTH = 20;
// Pixels scrolled per wheel notch (WHEEL_DELTA).
constexpr int WHEEL_STEP = 40;
// Thumb colours, 0xAARRGGBB: at rest, and under the mouse or dragged.
constexpr DWORD THUMB_COLOR = 0x66000000;
constexpr DWORD THUMB_HOT_COLOR = 0xA0000000;
}  // namespace

const char* CVerticalLayoutUI::GetClass() const
{
    return "VerticalLayoutUI";
}

void* CVerticalLayoutUI::GetInterface(const char* interfaceName)
{
    if (interfaceName != nullptr && std::strcmp(interfaceName, "VerticalLayout") == 0) {
        return this;
    }
    return CContainerUI::GetInterface(interfaceName);
}

void CVerticalLayoutUI::EnableScrollBar(bool enable)
{
    if (scrollBarEnabled == enable) {
        return;
    }
    scrollBarEnabled = enable;
    if (!enable) {
        scrollPos = 0;
    }
    NeedUpdate();
}

bool CVerticalLayoutUI::IsScrollBarEnabled() const
{
    return scrollBarEnabled;
}

bool CVerticalLayoutUI::IsScrollBarVisible() const
{
    return scrollBarVisible;
}

int CVerticalLayoutUI::GetScrollPos() const
{
    return scrollPos;
}

int CVerticalLayoutUI::GetScrollRange() const
{
    return scrollRange;
}

void CVerticalLayoutUI::SetScrollPos(int position)
{
    position = std::clamp(position, 0, scrollRange);
    if (position == scrollPos) {
        return;
    }
    scrollPos = position;
    PlaceChildren();
    Invalidate();
}

void CVerticalLayoutUI::EnsureVisible(const RECT& rect)
{
    if (!scrollBarVisible) {
        return;
    }
    const RECT inner = GetInnerRect();
    if (rect.top < inner.top || rect.bottom - rect.top > inner.bottom - inner.top) {
        SetScrollPos(scrollPos - (inner.top - rect.top));
    } else if (rect.bottom > inner.bottom) {
        SetScrollPos(scrollPos + (rect.bottom - inner.bottom));
    }
}

RECT CVerticalLayoutUI::GetInnerRect() const
{
    RECT inner = CContainerUI::GetInnerRect();
    if (scrollBarVisible) {
        inner.right = std::max(inner.left, inner.right - SCROLLBAR_WIDTH);
    }
    return inner;
}

RECT CVerticalLayoutUI::GetScrollBarRect() const
{
    if (!scrollBarVisible) {
        return RECT{0, 0, 0, 0};
    }
    const RECT inner = CContainerUI::GetInnerRect();
    return RECT{std::max(inner.left, inner.right - SCROLLBAR_WIDTH), inner.top, inner.right, inner.bottom};
}

RECT CVerticalLayoutUI::GetThumbRect() const
{
    const RECT track = GetScrollBarRect();
    const int trackHeight = track.bottom - track.top;
    if (!scrollBarVisible || trackHeight <= 0) {
        return RECT{0, 0, 0, 0};
    }
    // The thumb is to the track what the view is to the content.
    const int viewHeight = trackHeight;
    int length = static_cast<int>(static_cast<long long>(trackHeight) * viewHeight / (viewHeight + scrollRange));
    length = std::min(trackHeight, std::max(length, THUMB_MIN_LENGTH));
    const int travel = trackHeight - length;
    const int top =
        track.top + (scrollRange > 0 ? static_cast<int>(static_cast<long long>(travel) * scrollPos / scrollRange) : 0);
    const int left = track.left + (SCROLLBAR_WIDTH - THUMB_WIDTH) / 2;
    return RECT{left, top, left + THUMB_WIDTH, top + length};
}

int CVerticalLayoutUI::ContentHeight(int innerWidth)
{
    int total = 0;
    int shown = 0;
    for (CControlUI* child : items) {
        if (!child->IsVisible()) {
            continue;
        }
        ++shown;
        const RECT margin = child->GetPadding();
        const SIZE estimate = child->EstimateSize(SIZE{innerWidth, 0});
        const int height = estimate.cy > 0 ? Clamp(estimate.cy, child->GetMinHeight(), child->GetMaxHeight())
                                           : child->GetMinHeight();
        total += margin.top + height + margin.bottom;
    }
    if (shown > 1) {
        total += childPadding * (shown - 1);
    }
    return total;
}

void CVerticalLayoutUI::SetPos(RECT value)
{
    CControlUI::SetPos(value);
    const RECT full = CContainerUI::GetInnerRect();
    const int viewHeight = full.bottom - full.top;
    scrollBarVisible = false;
    scrollRange = 0;
    if (scrollBarEnabled) {
        int needed = ContentHeight(full.right - full.left);
        if (needed > viewHeight) {
            scrollBarVisible = true;
            // Narrower children may need a different height.
            needed = ContentHeight(full.right - full.left - SCROLLBAR_WIDTH);
            scrollRange = std::max(0, needed - viewHeight);
        }
    }
    scrollPos = std::clamp(scrollPos, 0, scrollRange);
    if (!scrollBarVisible) {
        draggingThumb = false;
        thumbHot = false;
    }
    PlaceChildren();
}

void CVerticalLayoutUI::PlaceChildren()
{
    const RECT inner = GetInnerRect();
    const int innerWidth = inner.right - inner.left;
    const int innerHeight = inner.bottom - inner.top;

    std::vector<CControlUI*> shown;
    for (CControlUI* child : items) {
        if (child->IsVisible()) {
            shown.push_back(child);
        }
    }
    if (shown.empty()) {
        return;
    }

    std::vector<SIZE> estimates(shown.size());
    int taken = childPadding * static_cast<int>(shown.size() - 1);
    int sharing = 0;
    for (size_t index = 0; index < shown.size(); ++index) {
        CControlUI* child = shown[index];
        const RECT margin = child->GetPadding();
        estimates[index] = child->EstimateSize(SIZE{innerWidth, innerHeight});
        taken += margin.top + margin.bottom;
        if (estimates[index].cy > 0) {
            taken += Clamp(estimates[index].cy, child->GetMinHeight(), child->GetMaxHeight());
        } else {
            ++sharing;
        }
    }
    // Scrolling content has no free height to share.
    const int free = scrollBarVisible ? 0 : innerHeight - taken;

    int y = inner.top - scrollPos;
    int ordinal = 0;
    for (size_t index = 0; index < shown.size(); ++index) {
        CControlUI* child = shown[index];
        const RECT margin = child->GetPadding();
        int height = estimates[index].cy;
        if (height > 0) {
            height = Clamp(height, child->GetMinHeight(), child->GetMaxHeight());
        } else {
            height = Clamp(ShareOf(free, sharing, ordinal++), child->GetMinHeight(), child->GetMaxHeight());
        }
        int width = estimates[index].cx > 0 ? estimates[index].cx : innerWidth - margin.left - margin.right;
        width = Clamp(width, child->GetMinWidth(), child->GetMaxWidth());
        y += margin.top;
        const int left = inner.left + margin.left;
        child->SetPos(RECT{left, y, left + width, y + height});
        y += height + margin.bottom + childPadding;
    }
}

void CVerticalLayoutUI::DoEvent(TEventUI& event)
{
    if (!scrollBarVisible) {
        CContainerUI::DoEvent(event);
        return;
    }
    const RECT track = GetScrollBarRect();
    const RECT thumb = GetThumbRect();
    switch (event.Type) {
    case UIEVENT_SCROLLWHEEL: {
        const int delta = static_cast<short>(HIWORD(event.wParam));
        SetScrollPos(scrollPos - delta * WHEEL_STEP / WHEEL_DELTA);
        return;
    }
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (UIPointInRect(thumb, event.ptMouse)) {
            draggingThumb = true;
            dragOffset = event.ptMouse.y - thumb.top;
            Invalidate();
            return;
        }
        if (UIPointInRect(track, event.ptMouse)) {
            const int page = track.bottom - track.top;
            SetScrollPos(event.ptMouse.y < thumb.top ? scrollPos - page : scrollPos + page);
            return;
        }
        break;
    case UIEVENT_MOUSEMOVE:
        if (draggingThumb) {
            const int length = thumb.bottom - thumb.top;
            const int travel = (track.bottom - track.top) - length;
            if (travel > 0) {
                const int top = event.ptMouse.y - dragOffset - track.top;
                SetScrollPos(static_cast<int>(static_cast<long long>(top) * scrollRange / travel));
            }
            return;
        } else {
            const bool overThumb = UIPointInRect(thumb, event.ptMouse);
            if (overThumb != thumbHot) {
                thumbHot = overThumb;
                Invalidate();
            }
        }
        break;
    case UIEVENT_BUTTONUP:
        if (draggingThumb) {
            draggingThumb = false;
            Invalidate();
            return;
        }
        break;
    case UIEVENT_MOUSELEAVE:
        if (thumbHot) {
            thumbHot = false;
            Invalidate();
        }
        break;
    default:
        break;
    }
    CContainerUI::DoEvent(event);
}

CControlUI* CVerticalLayoutUI::FindControl(FINDCONTROLPROC proc, void* data, UINT flags)
{
    // The scroll bar belongs to the layout even when the layout itself does
    // not take the mouse: there is nothing else to press there.
    if ((flags & UIFIND_HITTEST) != 0 && scrollBarVisible && (IsVisible() || (flags & UIFIND_VISIBLE) == 0) &&
        (IsEnabled() || (flags & UIFIND_ENABLED) == 0) &&
        UIPointInRect(GetScrollBarRect(), *static_cast<const POINT*>(data))) {
        return proc(this, data);
    }
    return CContainerUI::FindControl(proc, data, flags);
}

void CVerticalLayoutUI::DoPaint(HDC painter, const RECT& area)
{
    CContainerUI::DoPaint(painter, area);
    RECT visible = {};
    if (scrollBarVisible && UIIntersectRect(visible, area, GetScrollBarRect())) {
        PaintScrollBar(painter);
    }
}

void CVerticalLayoutUI::PaintScrollBar(HDC painter)
{
    if (painter == nullptr) {
        return;
    }
    const QRect thumb = CRenderEngineQt::ToQRect(GetThumbRect());
    if (thumb.isEmpty()) {
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    painter->setBrush(CRenderEngineQt::ToQColor(thumbHot || draggingThumb ? THUMB_HOT_COLOR : THUMB_COLOR));
    const qreal radius = thumb.width() / 2.0;
    painter->drawRoundedRect(QRectF(thumb), radius, radius);
    painter->restore();
}

void CVerticalLayoutUI::SetAttribute(const char* attributeName, const char* value)
{
    if (attributeName != nullptr && std::strcmp(attributeName, "vscrollbar") == 0) {
        bool flag = false;
        if (value != nullptr && ParseBool(value, &flag)) {
            EnableScrollBar(flag);
        } else {
            CLayoutDiagnostics::Report("%s: bad value \"%s\" for attribute \"%s\"", GetClass(),
                                       value != nullptr ? value : "", attributeName);
        }
        return;
    }
    CContainerUI::SetAttribute(attributeName, value);
}
