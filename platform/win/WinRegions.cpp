// Window regions.

#include "platform/win/Win.h"
#include "platform/win/WinQt.h"

#include "platform/win/NativeWindow.h"
#include "platform/win/WinHandles.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_set>

namespace
{
// Regions may be made and deleted on any thread (they are plain data), so
// the set of live ones is locked.
std::mutex regionMutex;
std::unordered_set<HRGN> liveRegions;

HRGN NewRegion(const QRegion& area)
{
    auto* region = new HRGN__{area, false};
    std::lock_guard lock(regionMutex);
    liveRegions.insert(region);
    return region;
}
}

bool IsLiveRegion(HRGN region)
{
    std::lock_guard lock(regionMutex);
    return liveRegions.count(region) != 0;
}

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    QRect area(QPoint(std::min(left, right), std::min(top, bottom)),
               QPoint(std::max(left, right) - 1, std::max(top, bottom) - 1));
    return NewRegion(area.isValid() ? QRegion(area) : QRegion());
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight)
{
    if (right < left)
        std::swap(left, right);
    if (bottom < top)
        std::swap(top, bottom);
    int width = right - left;
    int height = bottom - top;
    if (width <= 0 || height <= 0)
        return NewRegion(QRegion());
    // Corner ellipses larger than the rectangle are clipped to it, as GDI does.
    double radiusX = std::clamp(ellipseWidth, 0, width) / 2.0;
    double radiusY = std::clamp(ellipseHeight, 0, height) / 2.0;
    if (radiusX < 0.5 || radiusY < 0.5)
        return NewRegion(QRegion(left, top, width, height));
    // Row by row: each row is the rectangle's width less the part that lies
    // outside the corner ellipse at that row's centre.
    QRegion area;
    int runStart = 0;
    int runInset = -1;
    for (int row = 0; row <= height; ++row)
    {
        int inset = -1;
        if (row < height)
        {
            double centre = row + 0.5;
            double fromEdge = std::min(centre, height - centre);
            inset = 0;
            if (fromEdge < radiusY)
            {
                double dy = (radiusY - fromEdge) / radiusY;
                double dx = radiusX * (1.0 - std::sqrt(std::max(0.0, 1.0 - dy * dy)));
                inset = static_cast<int>(std::lround(dx));
            }
        }
        if (inset != runInset)
        {
            if (runInset >= 0 && width - 2 * runInset > 0)
                area += QRect(left + runInset, top + runStart, width - 2 * runInset, row - runStart);
            runStart = row;
            runInset = inset;
        }
    }
    return NewRegion(area);
}

BOOL DeleteObject(HRGN region)
{
    std::lock_guard lock(regionMutex);
    if (liveRegions.count(region) == 0 || region->ownedByWindow)
        return FALSE;
    liveRegions.erase(region);
    delete region;
    return TRUE;
}

int SetWindowRgn(HWND window, HRGN region, BOOL redraw)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr || (region != nullptr && !IsLiveRegion(region)))
        return 0;
    if (region != nullptr && region->ownedByWindow && region != native->Region())
        return 0;
    return native->SetRegion(region, redraw != FALSE);
}

int GetWindowRgnBox(HWND window, RECT* box)
{
    CNativeWindow* native = CNativeWindow::Find(window);
    if (native == nullptr || box == nullptr || native->Region() == nullptr)
        return ERROR;
    const QRegion& area = native->Region()->region;
    if (area.isEmpty())
    {
        *box = RECT{0, 0, 0, 0};
        return NULLREGION;
    }
    QRect bounds = area.boundingRect();
    *box = RECT{bounds.left(), bounds.top(), bounds.left() + bounds.width(), bounds.top() + bounds.height()};
    return area.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

QRegion RegionFromHrgn(HRGN region)
{
    return IsLiveRegion(region) ? region->region : QRegion();
}
