#include "platform/win/Win.h"
#include "platform/win/WinQt.h"

#include <gtest/gtest.h>

namespace
{
HWND MakePlainWindow(int width, int height)
{
    WNDCLASS windowClass{0, DefWindowProc, GetModuleHandle(nullptr), "RegionTest"};
    RegisterClass(&windowClass);
    return CreateWindowEx(0, "RegionTest", "", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
}
}

TEST(Regions, RoundRegionOnePixelLargerReportsThatBox)
{
    HWND window = MakePlainWindow(300, 200);
    RECT box{};
    EXPECT_EQ(GetWindowRgnBox(window, &box), ERROR) << "no region yet";
    RECT rect{};
    GetWindowRect(window, &rect);
    HRGN region = CreateRoundRectRgn(0, 0, rect.right - rect.left + 1, rect.bottom - rect.top + 1, 6, 6);
    ASSERT_NE(SetWindowRgn(window, region, TRUE), 0);
    ASSERT_EQ(GetWindowRgnBox(window, &box), COMPLEXREGION);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 301);
    EXPECT_EQ(box.bottom, 201);
    // The window owns it: deleting it is refused, replacing it frees it.
    EXPECT_FALSE(DeleteObject(region));
    HRGN square = CreateRectRgn(0, 0, 50, 40);
    ASSERT_NE(SetWindowRgn(window, square, FALSE), 0);
    EXPECT_EQ(GetWindowRgnBox(window, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 50);
    EXPECT_EQ(box.bottom, 40);
    EXPECT_TRUE(RegionFromHrgn(region).isEmpty()) << "the replaced region was freed";
    ASSERT_NE(SetWindowRgn(window, nullptr, TRUE), 0);
    EXPECT_EQ(GetWindowRgnBox(window, &box), ERROR);
}

TEST(Regions, RoundCornersCutTheCornersAndKeepTheEdges)
{
    HRGN region = CreateRoundRectRgn(0, 0, 100, 60, 20, 20);
    QRegion area = RegionFromHrgn(region);
    // Right and bottom are exclusive.
    EXPECT_EQ(area.boundingRect(), QRect(0, 0, 100, 60));
    for (QPoint corner : {QPoint(0, 0), QPoint(99, 0), QPoint(0, 59), QPoint(99, 59), QPoint(1, 1), QPoint(98, 58)})
        EXPECT_FALSE(area.contains(corner)) << corner.x() << "," << corner.y();
    for (QPoint edge : {QPoint(50, 0), QPoint(50, 59), QPoint(0, 30), QPoint(99, 30), QPoint(10, 10), QPoint(89, 49)})
        EXPECT_TRUE(area.contains(edge)) << edge.x() << "," << edge.y();
    EXPECT_FALSE(area.contains(QPoint(100, 30)));
    EXPECT_FALSE(area.contains(QPoint(50, 60)));
    // Mirror images: what is cut on the left is cut on the right.
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(area.contains(QPoint(x, y)), area.contains(QPoint(99 - x, y))) << x << "," << y;
    EXPECT_TRUE(DeleteObject(region));
    EXPECT_FALSE(DeleteObject(region)) << "deleted twice";
}

TEST(Regions, DegenerateRectanglesAndCornersAreSafe)
{
    HRGN empty = CreateRoundRectRgn(10, 10, 10, 30, 4, 4);
    EXPECT_TRUE(RegionFromHrgn(empty).isEmpty());
    HRGN square = CreateRoundRectRgn(0, 0, 20, 10, 0, 0);
    EXPECT_EQ(RegionFromHrgn(square), QRegion(0, 0, 20, 10));
    // Corners larger than the rectangle make an ellipse, not a crash.
    HRGN huge = CreateRoundRectRgn(0, 0, 40, 20, 500, 500);
    QRegion ellipse = RegionFromHrgn(huge);
    EXPECT_EQ(ellipse.boundingRect(), QRect(0, 0, 40, 20));
    EXPECT_TRUE(ellipse.contains(QPoint(20, 10)));
    EXPECT_FALSE(ellipse.contains(QPoint(2, 2)));
    HRGN swapped = CreateRectRgn(30, 20, 10, 5);
    EXPECT_EQ(RegionFromHrgn(swapped).boundingRect(), QRect(10, 5, 20, 15));
    int notARegion = 0;
    EXPECT_FALSE(DeleteObject(reinterpret_cast<HRGN>(&notARegion)));
    HWND window = MakePlainWindow(10, 10);
    EXPECT_EQ(SetWindowRgn(window, reinterpret_cast<HRGN>(&notARegion), TRUE), 0);
    for (HRGN region : {empty, square, huge, swapped})
        DeleteObject(region);
}
