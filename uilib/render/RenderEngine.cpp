#include "uilib/render/RenderEngine.h"

#include "uilib/core/ImageCache.h"
#include "uilib/core/ImageInfo.h"
#include "uilib/core/StdString.h"
#include "uilib/render/RenderEngineQt.h"
#include "uilib/window/PaintManagerUI.h"
#include "uilib/window/UIDefines.h"

#include <QBrush>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <deque>
#include <utility>

namespace {

// Whole pictures stretched to a size (a background to its window), kept so
// that a repaint copies pixels instead of scaling the picture again. A
// window shows one background at a time; a few entries cover a skin change.
class CStretchedPictures
{
public:
    // The picture scaled to `size` device pixels exactly as a smooth-scaling
    // painter draws it, made once per picture, size and ratio; it carries
    // `ratio`, the device pixel ratio of the window it is for.
    const QImage& Get(const QImage& picture, const QSize& size, qreal ratio)
    {
        for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
            if (entry->pictureKey == picture.cacheKey() && entry->image.size() == size &&
                entry->image.devicePixelRatio() == ratio) {
                if (entry != entries.begin()) {
                    entries.push_front(std::move(*entry));
                    entries.erase(entry);
                }
                return entries.front().image;
            }
        }
        QImage stretched(size, QImage::Format_ARGB32_Premultiplied);
        stretched.fill(Qt::transparent);
        {
            // The same drawing call as a direct draw, so the pixels match it.
            QPainter painter(&stretched);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(QRect(QPoint(0, 0), size), picture);
        }
        stretched.setDevicePixelRatio(ratio);
        entries.push_front(TEntry{picture.cacheKey(), std::move(stretched)});
        if (entries.size() > kMaxEntries) {
            entries.pop_back();
        }
        return entries.front().image;
    }

private:
    // Pictures kept; one background at 600 x 640 takes 1.5 MB (6 MB at 2x).
    static constexpr std::size_t kMaxEntries = 2;

    struct TEntry
    {
        qint64 pictureKey;
        QImage image;
    };
    std::deque<TEntry> entries;
};

CStretchedPictures& StretchedPictures()
{
    static CStretchedPictures pictures;
    return pictures;
}

// How a picture covers the drawing area along one axis.
enum class EAxisFit
{
    Stretch,   // scaled to the whole length
    Tile,      // repeated at natural size from the start
    Centre,    // natural size, centred
    Start,     // natural size, at the start (the other axis is centred)
};

EAxisFit AxisFit(bool tiled, bool centred, bool otherCentred)
{
    if (centred) {
        return EAxisFit::Centre;
    }
    if (tiled) {
        return EAxisFit::Tile;
    }
    // Centring one axis asks for the picture at its natural size: stretching
    // the other axis would smear a small mark such as a list dot across the
    // whole control.
    return otherCentred ? EAxisFit::Start : EAxisFit::Stretch;
}

// The span [start, start + length) that a picture of `natural` pixels takes
// inside the area span [areaStart, areaStart + areaLength).
void PlaceOnAxis(EAxisFit fit, int natural, int areaStart, int areaLength, int* start, int* length)
{
    switch (fit) {
    case EAxisFit::Centre:
        *start = areaStart + (areaLength - natural) / 2;
        *length = natural;
        break;
    case EAxisFit::Start:
        *start = areaStart;
        *length = natural;
        break;
    case EAxisFit::Stretch:
    case EAxisFit::Tile:
        *start = areaStart;
        *length = areaLength;
        break;
    }
}

// The painter's device pixels per logical pixel: the window's scale.
qreal DeviceScale(const QPainter* painter)
{
    if (painter == nullptr || painter->device() == nullptr) {
        return 1.0;
    }
    return painter->device()->devicePixelRatioF();
}

// Device pixels of the picture per logical pixel: 2 for an "@2x" variant.
qreal ScaleOf(const QImage& picture)
{
    return picture.devicePixelRatio();
}

// A length of the picture, device pixels, in logical pixels, rounded: exact
// for a variant whose pixel size is its scale times the 1x size.
int ToLogical(int devicePixels, qreal scale)
{
    return qRound(devicePixels / scale);
}

// The rectangle when its edges are whole logical pixels, for the integer
// drawing calls that every 1x picture has always been drawn with.
bool IsWhole(const QRectF& rect)
{
    return rect.left() == std::floor(rect.left()) && rect.top() == std::floor(rect.top()) &&
           rect.width() == std::floor(rect.width()) && rect.height() == std::floor(rect.height());
}

// Whether the painter maps logical point `at` onto a whole device pixel
// with nothing but a shift: a copy of ready-scaled pixels then lands
// exactly as a scaled draw would.
bool LandsOnWholePixels(const QPainter* painter, const QPointF& at, qreal scale)
{
    const QTransform& transform = painter->transform();
    if (transform.type() > QTransform::TxTranslate) {
        return false;
    }
    const qreal x = (transform.dx() + at.x()) * scale;
    const qreal y = (transform.dy() + at.y()) * scale;
    return x == std::floor(x) && y == std::floor(y);
}

// Draws the `source` part (device pixels of the picture) into `target`
// (logical pixels), repeating it at natural size along a tiled axis and
// scaling it along the others.
void DrawPiece(QPainter* painter, const QImage& picture, const QRect& source, const QRectF& target, bool tileX,
               bool tileY)
{
    if (source.isEmpty() || target.isEmpty()) {
        return;
    }
    const qreal scale = ScaleOf(picture);
    const bool whole = scale == 1.0 && IsWhole(target);
    const QRect wholeTarget = target.toRect();
    if (!tileX && !tileY) {
        const QSizeF deviceSize = target.size() * scale;
        if (QSizeF(source.size()) == deviceSize) {
            if (whole) {
                painter->drawImage(wholeTarget.topLeft(), picture, source);
            } else {
                painter->drawImage(target, picture, QRectF(source));
            }
        } else if (source == picture.rect()) {
            // Scaling a whole picture is what a stretched background does at
            // every repaint: done once, a repaint is a copy. It is scaled to
            // the window's device pixels, whatever the picture's own scale.
            const qreal windowScale = DeviceScale(painter);
            const QSizeF windowSize = target.size() * windowScale;
            const QSize stretchedSize = windowSize.toSize();
            if (QSizeF(stretchedSize) == windowSize && LandsOnWholePixels(painter, target.topLeft(), windowScale) &&
                painter->testRenderHint(QPainter::SmoothPixmapTransform)) {
                const QImage& stretched = StretchedPictures().Get(picture, stretchedSize, windowScale);
                if (whole) {
                    painter->drawImage(wholeTarget.topLeft(), stretched);
                } else {
                    painter->drawImage(target.topLeft(), stretched);
                }
            } else if (whole) {
                painter->drawImage(wholeTarget, picture);
            } else {
                painter->drawImage(target, picture);
            }
        } else {
            // Scaling a part in place lets the filter sample pixels beyond
            // the part's edge (the neighbouring slice); a copy has none.
            if (whole) {
                painter->drawImage(wholeTarget, picture.copy(source));
            } else {
                painter->drawImage(target, picture.copy(source));
            }
        }
        return;
    }
    QImage tile = picture.copy(source);
    const QSize tileSize(tileX ? source.width() : qRound(target.width() * scale),
                         tileY ? source.height() : qRound(target.height() * scale));
    if (tile.size() != tileSize) {
        tile = tile.scaled(tileSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (whole) {
        QBrush brush(tile);
        // The pattern starts at the target's corner, not at the window's origin.
        brush.setTransform(QTransform::fromTranslate(wholeTarget.left(), wholeTarget.top()));
        painter->fillRect(wholeTarget, brush);
        return;
    }
    // The pattern's pixels are device pixels: the brush maps them onto
    // logical ones, so a tile of a 2x picture repeats at its 1x size.
    tile.setDevicePixelRatio(1.0);
    QBrush brush(tile);
    QTransform transform = QTransform::fromTranslate(target.left(), target.top());
    transform.scale(1.0 / scale, 1.0 / scale);
    brush.setTransform(transform);
    painter->fillRect(target, brush);
}

// Splits `length` target pixels into the two border lengths of a nine-slice
// axis: natural when they fit, shrunk in proportion when the area is smaller
// than both borders together.
void FitBorders(int first, int second, int length, int* firstOut, int* secondOut)
{
    if (first + second <= length) {
        *firstOut = first;
        *secondOut = second;
        return;
    }
    *firstOut = first + second > 0 ? first * length / (first + second) : 0;
    *secondOut = length - *firstOut;
}

// A nine-slice border of `logical` pixels in device pixels of a picture of
// `scale`: rounded up, so that at 1.5 a 5-pixel rounded corner keeps all of
// its 7.5 pixels and the middle starts where the picture is uniform.
int BorderInPicture(LONG logical, qreal scale)
{
    return static_cast<int>(std::ceil(static_cast<qreal>(logical) * scale - 1e-6));
}

void DrawNineSlice(QPainter* painter, const QImage& picture, const QRect& source, const QRect& area,
                   const TImageInfo& image)
{
    // The slicing is worked out in device pixels of the picture, so that at
    // any scale each piece is copied 1:1 where it keeps its natural size.
    const qreal scale = ScaleOf(picture);
    // Borders wider than the picture part are cut to what it has.
    int sourceLeft = std::clamp(BorderInPicture(image.corner.left, scale), 0, source.width());
    int sourceRight = std::clamp(BorderInPicture(image.corner.right, scale), 0, source.width() - sourceLeft);
    int sourceTop = std::clamp(BorderInPicture(image.corner.top, scale), 0, source.height());
    int sourceBottom = std::clamp(BorderInPicture(image.corner.bottom, scale), 0, source.height() - sourceTop);

    const int areaWidth = qRound(area.width() * scale);
    const int areaHeight = qRound(area.height() * scale);
    int targetLeft = 0;
    int targetRight = 0;
    int targetTop = 0;
    int targetBottom = 0;
    FitBorders(sourceLeft, sourceRight, areaWidth, &targetLeft, &targetRight);
    FitBorders(sourceTop, sourceBottom, areaHeight, &targetTop, &targetBottom);

    const int sourceX[4] = {source.left(), source.left() + sourceLeft, source.left() + source.width() - sourceRight,
                            source.left() + source.width()};
    const int sourceY[4] = {source.top(), source.top() + sourceTop, source.top() + source.height() - sourceBottom,
                            source.top() + source.height()};
    // Offsets from the area's corner, device pixels.
    const int targetX[4] = {0, targetLeft, areaWidth - targetRight, areaWidth};
    const int targetY[4] = {0, targetTop, areaHeight - targetBottom, areaHeight};

    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRect sourcePart(QPoint(sourceX[column], sourceY[row]),
                                   QSize(sourceX[column + 1] - sourceX[column], sourceY[row + 1] - sourceY[row]));
            const QRectF targetPart(QPointF(area.left() + targetX[column] / scale, area.top() + targetY[row] / scale),
                                    QSizeF((targetX[column + 1] - targetX[column]) / scale,
                                           (targetY[row + 1] - targetY[row]) / scale));
            // Corners never repeat; the middle column and row follow the
            // tiling flags of their axis.
            const bool tileX = column == 1 && image.xtiled;
            const bool tileY = row == 1 && image.ytiled;
            DrawPiece(painter, picture, sourcePart, targetPart, tileX, tileY);
        }
    }
}

// The part of the picture to draw, in its device pixels; `source` of the
// attribute counts 1x pixels, as every other length of a layout does.
QRect SourceRect(const QImage& picture, const TImageInfo& image)
{
    if (!image.HasSource()) {
        return picture.rect();
    }
    const qreal scale = ScaleOf(picture);
    const QRect logical = CRenderEngineQt::ToQRect(image.source);
    if (scale == 1.0) {
        return logical.intersected(picture.rect());
    }
    const QRect device(QPoint(qRound(logical.left() * scale), qRound(logical.top() * scale)),
                       QPoint(qRound((logical.left() + logical.width()) * scale) - 1,
                              qRound((logical.top() + logical.height()) * scale) - 1));
    return device.intersected(picture.rect());
}

// Pictures are per process, not per window; the variant is the one that
// fits the scale of the painter's device.
const QImage* FindPicture(const TImageInfo& image, double scale)
{
    if (image.IsEmpty()) {
        return nullptr;
    }
    return ImageCache::Find(image.file, scale);
}

} // namespace

// ---------------------------------------------------------------- Qt side

QRect CRenderEngineQt::ToQRect(const RECT& rect)
{
    return QRect(QPoint(rect.left, rect.top), QSize(rect.right - rect.left, rect.bottom - rect.top));
}

RECT CRenderEngineQt::ToRect(const QRect& rect)
{
    return RECT{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QColor CRenderEngineQt::ToQColor(DWORD argb)
{
    return QColor(static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                  static_cast<int>(argb & 0xFF), static_cast<int>((argb >> 24) & 0xFF));
}

QFont CRenderEngineQt::ToQFont(const TFontInfo* font)
{
    // Pixels, the size of the default font when a manager has none.
    constexpr int defaultPixelSize = 12;
    QFont result;
    if (font == nullptr) {
        result.setPixelSize(defaultPixelSize);
        return result;
    }
    if (!font->face.IsEmpty()) {
        result.setFamily(QString::fromUtf8(font->face.GetData()));
    }
    result.setPixelSize(font->size > 0 ? font->size : defaultPixelSize);
    result.setBold(font->bold);
    result.setUnderline(font->underline);
    result.setItalic(font->italic);
    return result;
}

bool CRenderEngineQt::DrawImage(QPainter* painter, const QImage& picture, const RECT& item, const RECT& paint,
                                const TImageInfo& image)
{
    if (painter == nullptr || picture.isNull() || image.fade == 0) {
        return false;
    }
    const QRect source = SourceRect(picture, image);
    const QRect itemRect = ToQRect(item);
    const QRect area(QPoint(item.left + image.dest.left, item.top + image.dest.top),
                     QPoint(item.right - image.dest.right - 1, item.bottom - image.dest.bottom - 1));
    const QRect clip = itemRect.intersected(ToQRect(paint)).intersected(area);
    if (source.isEmpty() || area.isEmpty() || clip.isEmpty()) {
        return false;
    }

    painter->save();
    painter->setClipRect(clip, Qt::IntersectClip);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (image.fade < 255) {
        painter->setOpacity(painter->opacity() * image.fade / 255.0);
    }

    const bool centred = image.xcentered || image.ycentered;
    if (image.HasCorner() && !centred) {
        DrawNineSlice(painter, picture, source, area, image);
    } else {
        const EAxisFit fitX = AxisFit(image.xtiled, image.xcentered, image.ycentered);
        const EAxisFit fitY = AxisFit(image.ytiled, image.ycentered, image.xcentered);
        const qreal scale = ScaleOf(picture);
        int left = 0;
        int width = 0;
        int top = 0;
        int height = 0;
        PlaceOnAxis(fitX, ToLogical(source.width(), scale), area.left(), area.width(), &left, &width);
        PlaceOnAxis(fitY, ToLogical(source.height(), scale), area.top(), area.height(), &top, &height);
        DrawPiece(painter, picture, source, QRectF(left, top, width, height), fitX == EAxisFit::Tile,
                  fitY == EAxisFit::Tile);
    }
    painter->restore();
    return true;
}

void CRenderEngineQt::DrawText(QPainter* painter, const QFont& font, const RECT& rect, const QString& text,
                               DWORD argb, UINT style)
{
    const QRect box = ToQRect(rect);
    if (painter == nullptr || text.isEmpty() || box.isEmpty() || (argb >> 24) == 0) {
        return;
    }
    int flags = 0;
    if ((style & DT_RIGHT) != 0) {
        flags |= Qt::AlignRight;
    } else if ((style & DT_CENTER) != 0) {
        flags |= Qt::AlignHCenter;
    } else {
        flags |= Qt::AlignLeft;
    }
    if ((style & DT_VCENTER) != 0) {
        flags |= Qt::AlignVCenter;
    } else if ((style & DT_BOTTOM) != 0) {
        flags |= Qt::AlignBottom;
    } else {
        flags |= Qt::AlignTop;
    }

    QString shown = text;
    if ((style & DT_SINGLELINE) != 0) {
        // One line: line breaks in the text read as blanks.
        shown.replace(QLatin1String("\r\n"), QLatin1String(" "));
        shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
        shown.replace(QLatin1Char('\r'), QLatin1Char(' '));
        flags |= Qt::TextSingleLine;
        if ((style & DT_END_ELLIPSIS) != 0) {
            shown = QFontMetrics(font).elidedText(shown, Qt::ElideRight, box.width());
        }
    } else if ((style & DT_WORDBREAK) != 0) {
        flags |= Qt::TextWordWrap;
    }
    // '&' is never a mnemonic prefix here: a station called "A&B" shows as
    // it is written.

    painter->save();
    painter->setClipRect(box, Qt::IntersectClip);
    painter->setFont(font);
    painter->setPen(ToQColor(argb));
    painter->drawText(box, flags, shown);
    painter->restore();
}

void CRenderEngineQt::DrawEditLine(QPainter* painter, const TEditLinePaint& line)
{
    if (painter == nullptr || line.layout == nullptr || line.box.isEmpty()) {
        return;
    }
    painter->save();
    painter->setClipRect(line.box, Qt::IntersectClip);
    // The layout draws its glyphs in the pen's colour.
    painter->setPen(line.textColor);
    line.layout->draw(painter, line.origin, line.selections, QRectF(line.box));
    if (line.caretPosition >= 0) {
        painter->setPen(line.caretColor);
        line.layout->drawCursor(painter, line.origin, line.caretPosition, 1);
    }
    painter->restore();
}

// ---------------------------------------------------------------- public side

void CRenderEngine::DrawColor(HDC painter, const RECT& rect, DWORD argb)
{
    const QRect box = CRenderEngineQt::ToQRect(rect);
    if (painter == nullptr || box.isEmpty() || (argb >> 24) == 0) {
        return;
    }
    painter->fillRect(box, CRenderEngineQt::ToQColor(argb));
}

bool CRenderEngine::DrawImage(HDC painter, CPaintManagerUI* manager, const RECT& item, const RECT& paint,
                              const TImageInfo& image)
{
    (void)manager;
    const QImage* picture = FindPicture(image, DeviceScale(painter));
    if (picture == nullptr) {
        return false;
    }
    return CRenderEngineQt::DrawImage(painter, *picture, item, paint, image);
}

SIZE CRenderEngine::GetImageSize(CPaintManagerUI* manager, const TImageInfo& image)
{
    (void)manager;
    // Any variant gives the same logical size; the 1x picture is the one
    // every window has.
    const QImage* picture = FindPicture(image, 1.0);
    if (picture == nullptr) {
        return SIZE{0, 0};
    }
    const QRect source = SourceRect(*picture, image);
    const qreal scale = ScaleOf(*picture);
    return SIZE{ToLogical(source.width(), scale), ToLogical(source.height(), scale)};
}

void CRenderEngine::DrawText(HDC painter, CPaintManagerUI* manager, const RECT& rect, const CStdString& text,
                             DWORD argb, int fontIndex, UINT style)
{
    const TFontInfo* font = manager != nullptr ? manager->GetFont(fontIndex) : nullptr;
    CRenderEngineQt::DrawText(painter, CRenderEngineQt::ToQFont(font), rect,
                              QString::fromUtf8(text.GetData(), text.GetLength()), argb, style);
}

void CRenderEngine::DrawBorder(HDC painter, const RECT& rect, int size, DWORD argb)
{
    const QRect box = CRenderEngineQt::ToQRect(rect);
    if (painter == nullptr || size <= 0 || box.isEmpty() || (argb >> 24) == 0) {
        return;
    }
    const QColor colour = CRenderEngineQt::ToQColor(argb);
    // Strips wider than the rectangle are cut to what it has; the four do
    // not overlap, so a translucent frame blends once at the corners too.
    const int top = std::min(size, box.height());
    const int bottom = std::min(size, box.height() - top);
    const int left = std::min(size, box.width());
    const int right = std::min(size, box.width() - left);
    const int middleHeight = box.height() - top - bottom;
    painter->fillRect(QRect(box.left(), box.top(), box.width(), top), colour);
    if (bottom > 0) {
        painter->fillRect(QRect(box.left(), box.top() + box.height() - bottom, box.width(), bottom), colour);
    }
    if (middleHeight > 0) {
        painter->fillRect(QRect(box.left(), box.top() + top, left, middleHeight), colour);
        if (right > 0) {
            painter->fillRect(QRect(box.left() + box.width() - right, box.top() + top, right, middleHeight), colour);
        }
    }
}

void CRenderEngine::DrawFocusRing(HDC painter, const RECT& item, const RECT& clip, int size, DWORD argb)
{
    const QRect shown = CRenderEngineQt::ToQRect(clip);
    if (painter == nullptr || shown.isEmpty()) {
        return;
    }
    painter->save();
    painter->setClipRect(shown, Qt::IntersectClip);
    DrawBorder(painter, item, size, argb);
    painter->restore();
}
