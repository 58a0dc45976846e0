#include "uilib/controls/HorizontalLayoutUI.h"

#include <cstring>
#include <vector>

const char* CHorizontalLayoutUI::GetClass() const
{
    return "HorizontalLayoutUI";
}

void* CHorizontalLayoutUI::GetInterface(const char* interfaceName)
{
    if (interfaceName != nullptr && std::strcmp(interfaceName, "HorizontalLayout") == 0) {
        return this;
    }
    return CContainerUI::GetInterface(interfaceName);
}

void CHorizontalLayoutUI::SetPos(RECT value)
{
    CControlUI::SetPos(value);
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

    // First pass: what the fixed children and all margins and gaps take.
    std::vector<SIZE> estimates(shown.size());
    int taken = childPadding * static_cast<int>(shown.size() - 1);
    int sharing = 0;
    for (size_t index = 0; index < shown.size(); ++index) {
        CControlUI* child = shown[index];
        const RECT margin = child->GetPadding();
        estimates[index] = child->EstimateSize(SIZE{innerWidth, innerHeight});
        taken += margin.left + margin.right;
        if (estimates[index].cx > 0) {
            taken += Clamp(estimates[index].cx, child->GetMinWidth(), child->GetMaxWidth());
        } else {
            ++sharing;
        }
    }
    const int free = innerWidth - taken;

    int x = inner.left;
    int ordinal = 0;
    for (size_t index = 0; index < shown.size(); ++index) {
        CControlUI* child = shown[index];
        const RECT margin = child->GetPadding();
        int width = estimates[index].cx;
        if (width > 0) {
            width = Clamp(width, child->GetMinWidth(), child->GetMaxWidth());
        } else {
            width = Clamp(ShareOf(free, sharing, ordinal++), child->GetMinWidth(), child->GetMaxWidth());
        }
        int height = estimates[index].cy > 0 ? estimates[index].cy : innerHeight - margin.top - margin.bottom;
        height = Clamp(height, child->GetMinHeight(), child->GetMaxHeight());
        x += margin.left;
        const int top = inner.top + margin.top;
        child->SetPos(RECT{x, top, x + width, top + height});
        x += width + margin.right + childPadding;
    }
}
