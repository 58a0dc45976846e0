#include "uilib/render/RenderEngine.h"

#include "uilib/core/ImageCache.h"
#include "uilib/core/ImageInfo.h"
#include "uilib/core/StdString.h"
#include "uilib/render/RenderEngineQt.h"
#include "uilib/window/PaintManagerUI.h"
#include "uilib/window/UIDefines.h"

#include <QBrush>
#include <QFontMetrics>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <deque>
#include <utility>

namespace {

// Whole pictures stretched to a size (a background to its window), kept so
// that a repaint copies pixels instead of scaling the picture again. A
// window shows one background at a time; a few entries cover a skin change.
class CStretchedPictures
{
public:
    // The picture scaled to `size` exactly as a smooth-scaling painter draws
    // it, made once per picture and size.
    const QImage& Get(const QImage& picture, const QSize& size)
    {
        for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
            if (entry->pictureKey == picture.cacheKey() && entry->image.size() == size) {
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
        entries.push_front(TEntry{picture.cacheKey(), std::move(stretched)});
        if (entries.size() > kMaxEntries) {
            entries.pop_back();
        }
        return entries.front().image;
    }

private:
    // Pictures kept; one background at 600 x 640 takes 1.5 MB.
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

// Draws the `source` part of the picture into `target`, repeating it at
// natural size along a tiled axis and scaling it along the others.
void DrawPiece(QPainter* painter, const QImage& picture, const QRect& source, const QRect& target, bool tileX,
               bool tileY)
{
    if (source.isEmpty() || target.isEmpty()) {
        return;
    }
    if (!tileX && !tileY) {
        if (source.size() == target.size()) {
            painter->drawImage(target.topLeft(), picture, source);
        } else if (source == picture.rect()) {
            // Scaling a whole picture is what a stretched background does at
            // every repaint: done once, a repaint is a copy.
            const QTransform& transform = painter->transform();
            const bool wholePixels = transform.type() <= QTransform::TxTranslate &&
                                     transform.dx() == static_cast<int>(transform.dx()) &&
                                     transform.dy() == static_cast<int>(transform.dy());
            if (wholePixels && painter->testRenderHint(QPainter::SmoothPixmapTransform)) {
                painter->drawImage(target.topLeft(), StretchedPictures().Get(picture, target.size()));
            } else {
                painter->drawImage(target, picture);
            }
        } else {
            // Scaling a part in place lets the filter sample pixels beyond
            // the part's edge (the neighbouring slice); a copy has none.
            painter->drawImage(target, picture.copy(source));
        }
        return;
    }
    QImage tile = picture.copy(source);
    const QSize tileSize(tileX ? source.width() : target.width(), tileY ? source.height() : target.height());
    if (tile.size() != tileSize) {
        tile = tile.scaled(tileSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    QBrush brush(tile);
    // The pattern starts at the target's corner, not at the window's origin.
    brush.setTransform(QTransform::fromTranslate(target.left(), target.top()));
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

void DrawNineSlice(QPainter* painter, const QImage& picture, const QRect& source, const QRect& area,
                   const TImageInfo& image)
{
    // Borders wider than the picture part are cut to what it has.
    int sourceLeft = std::clamp(static_cast<int>(image.corner.left), 0, source.width());
    int sourceRight = std::clamp(static_cast<int>(image.corner.right), 0, source.width() - sourceLeft);
    int sourceTop = std::clamp(static_cast<int>(image.corner.top), 0, source.height());
    int sourceBottom = std::clamp(static_cast<int>(image.corner.bottom), 0, source.height() - sourceTop);

    int targetLeft = 0;
    int targetRight = 0;
    int targetTop = 0;
    int targetBottom = 0;
    FitBorders(sourceLeft, sourceRight, area.width(), &targetLeft, &targetRight);
    FitBorders(sourceTop, sourceBottom, area.height(), &targetTop, &targetBottom);

    const int sourceX[4] = {source.left(), source.left() + sourceLeft, source.left() + source.width() - sourceRight,
                            source.left() + source.width()};
    const int sourceY[4] = {source.top(), source.top() + sourceTop, source.top() + source.height() - sourceBottom,
                            source.top() + source.height()};
    const int targetX[4] = {area.left(), area.left() + targetLeft, area.left() + area.width() - targetRight,
                            area.left() + area.width()};
    const int targetY[4] = {area.top(), area.top() + targetTop, area.top() + area.height() - targetBottom,
                            area.top() + area.height()};

    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRect sourcePart(QPoint(sourceX[column], sourceY[row]),
                                   QSize(sourceX[column + 1] - sourceX[column], sourceY[row + 1] - sourceY[row]));
            const QRect targetPart(QPoint(targetX[column], targetY[row]),
                                   QSize(targetX[column + 1] - targetX[column], targetY[row + 1] - targetY[row]));
            // Corners never repeat; the middle column and row follow the
            // tiling flags of their axis.
            const bool tileX = column == 1 && image.xtiled;
            const bool tileY = row == 1 && image.ytiled;
            DrawPiece(painter, picture, sourcePart, targetPart, tileX, tileY);
        }
    }
}

QRect SourceRect(const QImage& picture, const TImageInfo& image)
{
    if (!image.HasSource()) {
        return picture.rect();
    }
    return CRenderEngineQt::ToQRect(image.source).intersected(picture.rect());
}

const QImage* FindPicture(CPaintManagerUI* manager, const TImageInfo& image)
{
    if (image.IsEmpty()) {
        return nullptr;
    }
    (void)manager; // pictures are per process, not per window
    return ImageCache::Find(image.file);
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
        int left = 0;
        int width = 0;
        int top = 0;
        int height = 0;
        PlaceOnAxis(fitX, source.width(), area.left(), area.width(), &left, &width);
        PlaceOnAxis(fitY, source.height(), area.top(), area.height(), &top, &height);
        DrawPiece(painter, picture, source, QRect(left, top, width, height), fitX == EAxisFit::Tile,
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
    const QImage* picture = FindPicture(manager, image);
    if (picture == nullptr) {
        return false;
    }
    return CRenderEngineQt::DrawImage(painter, *picture, item, paint, image);
}

SIZE CRenderEngine::GetImageSize(CPaintManagerUI* manager, const TImageInfo& image)
{
    const QImage* picture = FindPicture(manager, image);
    if (picture == nullptr) {
        return SIZE{0, 0};
    }
    const QRect source = SourceRect(*picture, image);
    return SIZE{source.width(), source.height()};
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
