#pragma once

// Helpers of the pixel checks: a white canvas to paint on, pictures made of
// flat coloured blocks, and counting of the pixels of a colour in a region.
// Pictures are made by the tests themselves, so every expected pixel follows
// from the picture and the drawing rule alone.

#include "platform/win/Win.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <functional>

namespace pixel {

inline QImage WhiteCanvas(int width, int height)
{
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    return canvas;
}

// A picture whose pixel (x, y) has the colour colourAt(x, y).
inline QImage Picture(int width, int height, const std::function<QColor(int, int)>& colourAt)
{
    QImage picture(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.setPixelColor(x, y, colourAt(x, y));
        }
    }
    return picture;
}

inline QImage Solid(int width, int height, QColor colour)
{
    return Picture(width, height, [colour](int, int) { return colour; });
}

inline bool Same(QColor a, QColor b)
{
    return a.rgba() == b.rgba();
}

// Pixels of `image` inside `region` that satisfy `test`.
inline int Count(const QImage& image, const QRect& region, const std::function<bool(QColor)>& test)
{
    int count = 0;
    const QRect inside = region.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (test(image.pixelColor(x, y))) {
                ++count;
            }
        }
    }
    return count;
}

inline int CountColour(const QImage& image, const QRect& region, QColor colour)
{
    return Count(image, region, [colour](QColor pixel) { return Same(pixel, colour); });
}

inline int CountNotWhite(const QImage& image, const QRect& region)
{
    return Count(image, region, [](QColor pixel) { return !Same(pixel, Qt::white); });
}

// Antialiased text blends its colour with the white ground: a pixel "of the
// text colour" is one clearly tinted towards it.
inline bool Reddish(QColor pixel)
{
    return pixel.red() > 150 && pixel.green() < 150 && pixel.blue() < 150;
}

inline RECT Rect(int left, int top, int right, int bottom)
{
    return RECT{left, top, right, bottom};
}

} // namespace pixel
