// Pixel checks of the render engine: pictures made here, drawn on a white
// canvas, and the pixels compared with what the image rules promise.

#include "uilib/core/ImageInfo.h"
#include "uilib/render/RenderEngine.h"
#include "uilib/render/RenderEngineQt.h"
#include "uilib/window/UIDefines.h"
#include "uilib/PixelCanvas.h"

#include <gtest/gtest.h>

#include <QPainter>

using pixel::CountColour;
using pixel::CountNotWhite;
using pixel::Rect;
using pixel::Same;

namespace {

const QColor red(255, 0, 0);
const QColor green(0, 255, 0);
const QColor blue(0, 0, 255);
const QColor yellow(255, 255, 0);
const QColor black(0, 0, 0);
const QColor grey(128, 128, 128);

// A 4 x 4 picture of four 2 x 2 blocks: red, green / blue, yellow.
QImage Quadrants()
{
    return pixel::Picture(4, 4, [](int x, int y) {
        if (y < 2) {
            return x < 2 ? red : green;
        }
        return x < 2 ? blue : yellow;
    });
}

QColor QuadrantColour(int x, int y)
{
    x %= 4;
    y %= 4;
    if (y < 2) {
        return x < 2 ? red : green;
    }
    return x < 2 ? blue : yellow;
}

QImage Draw(const QImage& picture, const RECT& item, const TImageInfo& info, QSize canvasSize = QSize(80, 60),
            RECT paint = Rect(0, 0, 80, 60), bool* drew = nullptr)
{
    QImage canvas = pixel::WhiteCanvas(canvasSize.width(), canvasSize.height());
    QPainter painter(&canvas);
    const bool result = CRenderEngineQt::DrawImage(&painter, picture, item, paint, info);
    painter.end();
    if (drew != nullptr) {
        *drew = result;
    }
    return canvas;
}

} // namespace

TEST(RenderImage, TiledPictureRepeatsFromTheControlsCornerAndStaysInside)
{
    TImageInfo info;
    info.file = "quadrants.png";
    info.xtiled = true;
    info.ytiled = true;
    const RECT item = Rect(3, 5, 25, 19);   // 22 x 14: the last tiles are cut
    const QImage canvas = Draw(Quadrants(), item, info);

    for (int y = item.top; y < item.bottom; ++y) {
        for (int x = item.left; x < item.right; ++x) {
            ASSERT_TRUE(Same(canvas.pixelColor(x, y), QuadrantColour(x - item.left, y - item.top)))
                << "at " << x << "," << y;
        }
    }
    EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), 22 * 14);
}

TEST(RenderImage, NineSliceKeepsCornersAtNaturalSizeAndStretchesTheRest)
{
    // 12 x 12: 3-pixel corners red, green, blue, yellow (clockwise from the
    // top left), grey edges, a black middle.
    const QImage picture = pixel::Picture(12, 12, [](int x, int y) {
        const bool left = x < 3;
        const bool right = x >= 9;
        const bool top = y < 3;
        const bool bottom = y >= 9;
        if (top && left) return red;
        if (top && right) return green;
        if (bottom && right) return blue;
        if (bottom && left) return yellow;
        if (top || bottom || left || right) return grey;
        return black;
    });
    TImageInfo info;
    info.file = "frame.png";
    info.corner = RECT{3, 3, 3, 3};

    struct Row
    {
        const char* what;
        RECT item;
    };
    const Row rows[] = {
        {"wide", Rect(10, 10, 70, 30)},
        {"tall", Rect(20, 2, 32, 58)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QImage canvas = Draw(picture, row.item, info);
        const RECT& r = row.item;
        EXPECT_EQ(CountColour(canvas, QRect(r.left, r.top, 3, 3), red), 9);
        EXPECT_EQ(CountColour(canvas, QRect(r.right - 3, r.top, 3, 3), green), 9);
        EXPECT_EQ(CountColour(canvas, QRect(r.right - 3, r.bottom - 3, 3, 3), blue), 9);
        EXPECT_EQ(CountColour(canvas, QRect(r.left, r.bottom - 3, 3, 3), yellow), 9);
        // Corners not scaled: each corner colour appears exactly 9 times.
        EXPECT_EQ(CountColour(canvas, canvas.rect(), red), 9);
        EXPECT_EQ(CountColour(canvas, canvas.rect(), blue), 9);
        // The edge right beside a corner is edge, and the middle fills the rest.
        EXPECT_TRUE(Same(canvas.pixelColor(r.left + 3, r.top), grey));
        EXPECT_TRUE(Same(canvas.pixelColor(r.left, r.top + 3), grey));
        EXPECT_TRUE(Same(canvas.pixelColor((r.left + r.right) / 2, (r.top + r.bottom) / 2), black));
        EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), (r.right - r.left) * (r.bottom - r.top));
    }
}

TEST(RenderImage, TiledNineSliceRepeatsItsMiddleAtNaturalSize)
{
    // 12 x 12 with 3-pixel grey borders; the 6 x 6 middle is red on its left
    // half and green on its right half.
    const QImage picture = pixel::Picture(12, 12, [](int x, int y) {
        if (x < 3 || x >= 9 || y < 3 || y >= 9) {
            return grey;
        }
        return x < 6 ? red : green;
    });
    TImageInfo info;
    info.file = "bk_white_rd.png";
    info.corner = RECT{3, 3, 3, 3};
    info.xtiled = true;
    info.ytiled = true;
    const RECT item = Rect(10, 10, 40, 30);   // middle 24 x 14: four tiles across
    const QImage canvas = Draw(picture, item, info);
    const int middleY = 20;
    // Stretched, columns 3..14 of the item would all be red; tiled, the
    // colours alternate every 3 pixels from the middle's start.
    for (int column = 3; column < 27; ++column) {
        const QColor expected = ((column - 3) / 3) % 2 == 0 ? red : green;
        EXPECT_TRUE(Same(canvas.pixelColor(item.left + column, middleY), expected)) << "column " << column;
    }
    EXPECT_TRUE(Same(canvas.pixelColor(item.left + 1, middleY), grey));
    EXPECT_TRUE(Same(canvas.pixelColor(item.right - 1, middleY), grey));
}

TEST(RenderImage, NineSliceSmallerThanItsCornersShrinksThemInsteadOfOverflowing)
{
    const QImage picture = pixel::Solid(12, 12, red);
    TImageInfo info;
    info.file = "frame.png";
    info.corner = RECT{5, 5, 5, 5};
    const RECT item = Rect(10, 10, 16, 14);   // 6 x 4, less than 5 + 5 both ways
    const QImage canvas = Draw(picture, item, info);
    EXPECT_EQ(CountColour(canvas, canvas.rect(), red), 6 * 4);
}

TEST(RenderImage, CentredPictureKeepsItsNaturalSizeInTheMiddle)
{
    TImageInfo info;
    info.file = "back.png";
    info.xcentered = true;
    info.ycentered = true;
    const RECT item = Rect(10, 10, 40, 40);   // 30 x 30
    const QImage canvas = Draw(pixel::Solid(6, 4, red), item, info);

    EXPECT_EQ(CountColour(canvas, canvas.rect(), red), 24);
    EXPECT_EQ(CountColour(canvas, QRect(10 + 12, 10 + 13, 6, 4), red), 24);
}

TEST(RenderImage, CentredPictureLargerThanTheControlIsCutToIt)
{
    TImageInfo info;
    info.file = "lovebk.jpg";
    info.xcentered = true;
    info.ycentered = true;
    const RECT item = Rect(10, 10, 30, 20);
    // Larger than the control both ways: its middle shows, nothing spills.
    const QImage canvas = Draw(Quadrants().scaled(40, 40), item, info);
    EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), 20 * 10);
    EXPECT_EQ(CountNotWhite(canvas, QRect(10, 10, 20, 10)), 20 * 10);
}

TEST(RenderImage, InsetDestLeavesTheInsetStripsUntouched)
{
    // The heading band: 10 px in from both sides, full height.
    TImageInfo band;
    band.file = "bk_white_rd.png";
    band.dest = RECT{10, 0, 10, 0};
    const RECT row = Rect(0, 0, 80, 30);
    QImage canvas = Draw(pixel::Solid(8, 8, blue), row, band);
    EXPECT_EQ(CountNotWhite(canvas, QRect(0, 0, 10, 30)), 0);
    EXPECT_EQ(CountNotWhite(canvas, QRect(70, 0, 10, 30)), 0);
    EXPECT_EQ(CountColour(canvas, QRect(10, 0, 60, 30), blue), 60 * 30);

    // The station dot: 10 px from the left, vertically centred, natural size.
    TImageInfo dot;
    dot.file = "dot.png";
    dot.dest = RECT{10, 0, 0, 0};
    dot.ycentered = true;
    const RECT option = Rect(0, 20, 80, 50);   // 30 high
    canvas = Draw(pixel::Solid(4, 6, red), option, dot);
    EXPECT_EQ(CountColour(canvas, canvas.rect(), red), 24);
    EXPECT_EQ(CountColour(canvas, QRect(10, 20 + 12, 4, 6), red), 24);
}

TEST(RenderImage, SourcePartAndPaintRectangleLimitWhatIsDrawn)
{
    // The source picks the green block only; stretched over the control.
    TImageInfo info;
    info.file = "quadrants.png";
    info.source = RECT{2, 0, 4, 2};
    const RECT item = Rect(0, 0, 20, 20);
    QImage canvas = Draw(Quadrants(), item, info);
    EXPECT_EQ(CountColour(canvas, QRect(0, 0, 20, 20), green), 400);

    // Only the part of the control inside the paint rectangle changes.
    bool drew = false;
    canvas = Draw(pixel::Solid(4, 4, red), item, TImageInfo{.file = "red.png"}, QSize(80, 60), Rect(0, 0, 10, 60),
                  &drew);
    EXPECT_TRUE(drew);
    EXPECT_EQ(CountColour(canvas, QRect(0, 0, 10, 20), red), 200);
    EXPECT_EQ(CountNotWhite(canvas, QRect(10, 0, 70, 60)), 0);

    // A control wholly outside the paint rectangle draws nothing at all.
    canvas = Draw(pixel::Solid(4, 4, red), item, TImageInfo{.file = "red.png"}, QSize(80, 60), Rect(40, 40, 80, 60),
                  &drew);
    EXPECT_FALSE(drew);
    EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), 0);
}

// What a smooth-scaling painter draws of the whole picture stretched over
// `target`, limited to `clip`, at `opacity`: the drawing the render engine
// must match pixel for pixel however it gets there.
QImage ScaledByPainter(const QImage& picture, const QRect& target, const QRect& clip, double opacity)
{
    QImage canvas = pixel::WhiteCanvas(80, 60);
    QPainter painter(&canvas);
    painter.setClipRect(clip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setOpacity(opacity);
    painter.drawImage(target, picture);
    painter.end();
    return canvas;
}

TEST(RenderImage, StretchedPictureDrawsAsAScaledDrawAtEveryRepaint)
{
    // A gradient with translucent pixels, so that every pixel of the result
    // depends on the filtering and on the blending.
    const QImage picture = pixel::Picture(13, 7, [](int x, int y) {
        return QColor(x * 19, y * 36, 255 - x * 9, 255 - ((x + y) % 3) * 60);
    });
    TImageInfo info;
    info.file = "gradient.png";
    const RECT item = Rect(5, 3, 66, 50);
    const QRect target(5, 3, 61, 47);

    const QImage whole = ScaledByPainter(picture, target, QRect(0, 0, 80, 60), 1.0);
    EXPECT_EQ(Draw(picture, item, info), whole) << "first paint";
    EXPECT_EQ(Draw(picture, item, info), whole) << "a repaint";

    // A repaint of a part of the window: the same pixels there, none elsewhere.
    EXPECT_EQ(Draw(picture, item, info, QSize(80, 60), Rect(20, 10, 40, 30)),
              ScaledByPainter(picture, target, QRect(20, 10, 20, 20), 1.0));

    // At another size the picture is scaled to that size, not to the last one.
    const RECT smaller = Rect(0, 0, 30, 20);
    EXPECT_EQ(Draw(picture, smaller, info), ScaledByPainter(picture, QRect(0, 0, 30, 20), QRect(0, 0, 80, 60), 1.0));
    EXPECT_EQ(Draw(picture, item, info), whole) << "back at the first size";

    // Faded, it blends as a faded scaled draw does.
    info.fade = 128;
    EXPECT_EQ(Draw(picture, item, info), ScaledByPainter(picture, target, QRect(0, 0, 80, 60), 128 / 255.0));
}

TEST(RenderImage, NothingToDrawAnswersFalseAndLeavesTheCanvas)
{
    TImageInfo info;
    info.file = "missing.png";
    bool drew = true;
    QImage canvas = Draw(QImage(), Rect(0, 0, 20, 20), info, QSize(80, 60), Rect(0, 0, 80, 60), &drew);
    EXPECT_FALSE(drew);
    EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), 0);

    // An inset that swallows the whole control.
    info.dest = RECT{15, 0, 15, 0};
    canvas = Draw(pixel::Solid(4, 4, red), Rect(0, 0, 20, 20), info, QSize(80, 60), Rect(0, 0, 80, 60), &drew);
    EXPECT_FALSE(drew);
    EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), 0);

    // Through the public call, with no manager and so no image cache.
    QImage publicCanvas = pixel::WhiteCanvas(40, 40);
    QPainter painter(&publicCanvas);
    EXPECT_FALSE(CRenderEngine::DrawImage(&painter, nullptr, Rect(0, 0, 20, 20), Rect(0, 0, 40, 40), info));
    EXPECT_EQ(CRenderEngine::GetImageSize(nullptr, info).cx, 0);
}

TEST(RenderText, TextInkStaysInsideItsRectangleAndFollowsTheAlignment)
{
    const QFont font = CRenderEngineQt::ToQFont(nullptr);
    const RECT box = Rect(20, 10, 180, 40);
    struct Row
    {
        const char* what;
        UINT style;
    };
    const Row rows[] = {
        {"left", DT_LEFT | DT_VCENTER | DT_SINGLELINE},
        {"center", DT_CENTER | DT_VCENTER | DT_SINGLELINE},
        {"right", DT_RIGHT | DT_VCENTER | DT_SINGLELINE},
    };
    int firstInkColumn[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(rows[i].what);
        QImage canvas = pixel::WhiteCanvas(200, 50);
        QPainter painter(&canvas);
        CRenderEngineQt::DrawText(&painter, font, box, QString::fromUtf8("Orvane 收音机"), 0xFFFF0000, rows[i].style);
        painter.end();
        EXPECT_GT(pixel::Count(canvas, QRect(20, 10, 160, 30), pixel::Reddish), 20);
        EXPECT_EQ(CountNotWhite(canvas, QRect(0, 0, 20, 50)), 0);
        EXPECT_EQ(CountNotWhite(canvas, QRect(180, 0, 20, 50)), 0);
        EXPECT_EQ(CountNotWhite(canvas, QRect(0, 0, 200, 10)), 0);
        EXPECT_EQ(CountNotWhite(canvas, QRect(0, 40, 200, 10)), 0);
        for (int x = 0; x < 200 && firstInkColumn[i] == 0; ++x) {
            if (CountNotWhite(canvas, QRect(x, 0, 1, 50)) > 0) {
                firstInkColumn[i] = x;
            }
        }
    }
    EXPECT_LT(firstInkColumn[0], 25);
    EXPECT_LT(firstInkColumn[0], firstInkColumn[1]);
    EXPECT_LT(firstInkColumn[1], firstInkColumn[2]);
}

TEST(RenderText, TooLongSingleLineEndsInAnEllipsisWithinTheRectangle)
{
    const QFont font = CRenderEngineQt::ToQFont(nullptr);
    const RECT box = Rect(0, 0, 60, 20);
    const QString longText = QString::fromUtf8("一个很长很长很长很长很长的电台名字");

    QImage cut = pixel::WhiteCanvas(100, 20);
    QPainter painter(&cut);
    CRenderEngineQt::DrawText(&painter, font, box, longText, 0xFF000000, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS);
    painter.end();
    QImage plain = pixel::WhiteCanvas(100, 20);
    painter.begin(&plain);
    CRenderEngineQt::DrawText(&painter, font, box, longText, 0xFF000000, DT_LEFT | DT_SINGLELINE);
    painter.end();

    EXPECT_EQ(CountNotWhite(cut, QRect(60, 0, 40, 20)), 0);
    // The elided text differs from the merely clipped one in its last column.
    EXPECT_NE(cut, plain);
}

TEST(RenderColour, BorderIsDrawnInsideOnceAndColourFillsExactly)
{
    QImage canvas = pixel::WhiteCanvas(40, 40);
    QPainter painter(&canvas);
    // Half-transparent black: a corner blended twice would be darker.
    CRenderEngine::DrawBorder(&painter, Rect(5, 5, 35, 25), 2, 0x80000000);
    painter.end();
    const QColor edge = canvas.pixelColor(20, 5);
    EXPECT_NE(edge.rgba(), QColor(Qt::white).rgba());
    EXPECT_EQ(canvas.pixelColor(5, 5).rgba(), edge.rgba());
    EXPECT_EQ(canvas.pixelColor(34, 24).rgba(), edge.rgba());
    EXPECT_EQ(canvas.pixelColor(6, 23).rgba(), edge.rgba());
    EXPECT_TRUE(Same(canvas.pixelColor(7, 7), Qt::white));
    EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), 30 * 20 - 26 * 16);

    canvas = pixel::WhiteCanvas(40, 40);
    painter.begin(&canvas);
    CRenderEngine::DrawColor(&painter, Rect(1, 2, 11, 7), 0xFF0000FF);
    CRenderEngine::DrawColor(&painter, Rect(20, 20, 30, 30), 0x000000FF);
    painter.end();
    EXPECT_EQ(CountColour(canvas, canvas.rect(), blue), 10 * 5);
    EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), 10 * 5);
}

// ---------------------------------------------------------------- dense screens
//
// A picture of scale s (an "@2x" or "@1.5x" variant: s device pixels per
// logical pixel, tagged with setDevicePixelRatio) drawn on a canvas of the
// same scale, at the geometry a 1x layout gives. Every length of the image
// rules stays logical; each piece lands 1:1 on the canvas's device pixels.

namespace {

struct TScaleRow
{
    double scale;
    int cornerPixels;   // a 3-pixel nine-slice border, in the picture's pixels
};
// At 1.5 a 3-pixel border is 4.5 picture pixels: rounded up, so that it holds
// the whole corner drawing.
const TScaleRow kScaleRows[] = {{1.0, 3}, {1.5, 5}, {2.0, 6}};

int Device(int logical, double scale)
{
    return static_cast<int>(logical * scale);
}

QImage Tagged(QImage picture, double scale)
{
    picture.setDevicePixelRatio(scale);
    return picture;
}

// The canvas is 80 x 60 logical pixels at `scale`; pixels are read in device
// pixels.
QImage DrawScaled(const QImage& picture, double scale, const RECT& item, const TImageInfo& info)
{
    QImage canvas = pixel::WhiteCanvas(Device(80, scale), Device(60, scale));
    canvas.setDevicePixelRatio(scale);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    CRenderEngineQt::DrawImage(&painter, picture, item, Rect(0, 0, 80, 60), info);
    painter.end();
    return canvas;
}

// Pixel (x, y) of a picture of two-by-two blocks of `block` pixels: red,
// green / blue, yellow.
QColor BlockColour(int x, int y, int block)
{
    return QuadrantColour((x / block) % 2 * 2, (y / block) % 2 * 2);
}

} // namespace

TEST(RenderImageScaled, NineSliceCornersKeepTheirLogicalSizeAndLandOneToOne)
{
    for (const TScaleRow& row : kScaleRows) {
        SCOPED_TRACE(row.scale);
        // 12 x 12 logical, corners red, green, blue, yellow from the top left,
        // grey edges, a black middle: drawn at the picture's own density.
        const int size = Device(12, row.scale);
        const int corner = row.cornerPixels;
        const QImage picture = Tagged(pixel::Picture(size, size, [size, corner](int x, int y) {
                                          const bool left = x < corner;
                                          const bool right = x >= size - corner;
                                          const bool top = y < corner;
                                          const bool bottom = y >= size - corner;
                                          if (top && left) return red;
                                          if (top && right) return green;
                                          if (bottom && right) return blue;
                                          if (bottom && left) return yellow;
                                          if (top || bottom || left || right) return grey;
                                          return black;
                                      }),
                                      row.scale);
        TImageInfo info;
        info.file = "frame.png";
        info.corner = RECT{3, 3, 3, 3};
        const RECT item = Rect(10, 10, 70, 30);
        const QImage canvas = DrawScaled(picture, row.scale, item, info);

        const int left = Device(item.left, row.scale);
        const int top = Device(item.top, row.scale);
        const int right = Device(item.right, row.scale);
        const int bottom = Device(item.bottom, row.scale);
        EXPECT_EQ(CountColour(canvas, QRect(left, top, corner, corner), red), corner * corner);
        EXPECT_EQ(CountColour(canvas, QRect(right - corner, top, corner, corner), green), corner * corner);
        EXPECT_EQ(CountColour(canvas, QRect(right - corner, bottom - corner, corner, corner), blue),
                  corner * corner);
        EXPECT_EQ(CountColour(canvas, QRect(left, bottom - corner, corner, corner), yellow), corner * corner);
        // Not scaled, not smeared: each corner colour exactly once.
        EXPECT_EQ(CountColour(canvas, canvas.rect(), red), corner * corner);
        EXPECT_EQ(CountColour(canvas, canvas.rect(), blue), corner * corner);
        EXPECT_TRUE(Same(canvas.pixelColor(left + corner, top), grey));
        EXPECT_TRUE(Same(canvas.pixelColor(left, top + corner), grey));
        EXPECT_TRUE(Same(canvas.pixelColor((left + right) / 2, (top + bottom) / 2), black));
        // The control's logical rectangle, all of it and nothing beyond.
        EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), (right - left) * (bottom - top));
    }
}

TEST(RenderImageScaled, CentredPictureTakesItsLogicalSizeInTheMiddle)
{
    for (const TScaleRow& row : kScaleRows) {
        SCOPED_TRACE(row.scale);
        // 6 x 4 logical; its device pixels are the scale times as many.
        const QImage picture = Tagged(pixel::Solid(Device(6, row.scale), Device(4, row.scale), red), row.scale);
        TImageInfo info;
        info.file = "back.png";
        info.xcentered = true;
        info.ycentered = true;
        // 30 x 32: the picture's corner is at 22,24, a whole device pixel at 1.5 too.
        const QImage canvas = DrawScaled(picture, row.scale, Rect(10, 10, 40, 42), info);
        const int pixels = Device(6, row.scale) * Device(4, row.scale);
        EXPECT_EQ(CountColour(canvas, canvas.rect(), red), pixels);
        EXPECT_EQ(CountColour(canvas, QRect(Device(22, row.scale), Device(24, row.scale), Device(6, row.scale),
                                            Device(4, row.scale)),
                              red),
                  pixels);
        // What the layout asks for the picture's size is logical too.
        EXPECT_EQ(picture.deviceIndependentSize().toSize(), QSize(6, 4));
    }
}

// Four blocks of `block` device pixels each, in BlockColour's colours, tagged
// with the scale.
QImage Quadrants(int block, double scale)
{
    return Tagged(pixel::Picture(2 * block, 2 * block, [block](int x, int y) { return BlockColour(x, y, block); }),
                  scale);
}

TEST(RenderImageScaled, TilesRepeatAtTheirLogicalSizeFromTheControlsCorner)
{
    for (const TScaleRow& row : kScaleRows) {
        SCOPED_TRACE(row.scale);
        // Four 2 x 2 logical blocks; a block is `block` device pixels.
        const int block = Device(2, row.scale);
        const QImage picture = Quadrants(block, row.scale);
        TImageInfo info;
        info.file = "quadrants.png";
        info.xtiled = true;
        info.ytiled = true;
        const RECT item = Rect(4, 6, 26, 20);   // 22 x 14: the last tiles are cut
        const QImage canvas = DrawScaled(picture, row.scale, item, info);
        const QRect device(Device(item.left, row.scale), Device(item.top, row.scale),
                           Device(item.right - item.left, row.scale), Device(item.bottom - item.top, row.scale));
        for (int y = device.top(); y <= device.bottom(); ++y) {
            for (int x = device.left(); x <= device.right(); ++x) {
                ASSERT_TRUE(Same(canvas.pixelColor(x, y), BlockColour(x - device.left(), y - device.top(), block)))
                    << "at " << x << "," << y;
            }
        }
        EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), device.width() * device.height());
    }
}

TEST(RenderImageScaled, SourcePartCountsLogicalPixels)
{
    // source='2,0,4,2' is the green block of the 1x picture and of its variant.
    for (const TScaleRow& row : kScaleRows) {
        SCOPED_TRACE(row.scale);
        const int block = Device(2, row.scale);
        const QImage picture = Quadrants(block, row.scale);
        TImageInfo info;
        info.file = "quadrants.png";
        info.source = RECT{2, 0, 4, 2};
        info.xcentered = true;
        info.ycentered = true;
        const QImage canvas = DrawScaled(picture, row.scale, Rect(0, 0, 20, 20), info);
        EXPECT_EQ(CountColour(canvas, canvas.rect(), green), block * block);
        EXPECT_EQ(CountNotWhite(canvas, canvas.rect()), block * block);
    }
}

TEST(RenderImageScaled, StretchedPictureDrawsAsAScaledDrawOnTheDenseCanvas)
{
    // A whole picture stretched over its control (a background) is scaled
    // once to the canvas's device pixels; every repaint gives what a direct
    // smooth draw gives there.
    const double scale = 2.0;
    const QImage picture = Tagged(pixel::Picture(26, 14,
                                                 [](int x, int y) {
                                                     return QColor(x * 9, y * 18, 255 - x * 4,
                                                                   255 - ((x + y) % 3) * 60);
                                                 }),
                                  scale);
    TImageInfo info;
    info.file = "gradient.png";
    const RECT item = Rect(5, 3, 66, 50);
    QImage direct = pixel::WhiteCanvas(160, 120);
    direct.setDevicePixelRatio(scale);
    QPainter painter(&direct);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRect(5, 3, 61, 47), picture);
    painter.end();
    EXPECT_EQ(DrawScaled(picture, scale, item, info), direct) << "first paint";
    EXPECT_EQ(DrawScaled(picture, scale, item, info), direct) << "a repaint";
}
