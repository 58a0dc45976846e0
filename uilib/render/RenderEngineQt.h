#pragma once

// The Qt half of CRenderEngine, for uilib's own .cpp files only: the drawing
// itself on a QPainter with a decoded QImage and a QFont, and the small
// conversions between the Win32-shaped types of the library and Qt's.
// CRenderEngine's public calls look the picture and the font up through the
// paint manager and land here; tests call these directly too.

#include "platform/win/Win.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QList>
#include <QPointF>
#include <QString>
#include <QTextLayout>

class QPainter;
struct TFontInfo;
struct TImageInfo;

// One line of an edit as laid out by the edit: the layout (text, pre-edit
// area and its formats), where its line starts (origin: x of the text's
// start, which lies left of the box when the line is scrolled, and the
// line's top), the box it is clipped to, the selection ranges, and the
// caret's position in the layout's text (-1: no caret).
struct TEditLinePaint
{
    const QTextLayout* layout = nullptr;
    QRect box;
    QPointF origin;
    QColor textColor;
    QList<QTextLayout::FormatRange> selections;
    int caretPosition = -1;
    QColor caretColor;
};

class CRenderEngineQt
{
public:
    // RECT's right and bottom are exclusive, as in Win32.
    static QRect ToQRect(const RECT& rect);
    static RECT ToRect(const QRect& rect);
    static QColor ToQColor(DWORD argb);
    // A null font description gives Qt's default family at 12 px.
    static QFont ToQFont(const TFontInfo* font);

    // Draws `picture` as `image` describes for a control at `item`, clipped
    // to `item` and `paint` (and to whatever clip the painter already has).
    static bool DrawImage(QPainter* painter, const QImage& picture, const RECT& item, const RECT& paint,
                          const TImageInfo& image);
    static void DrawText(QPainter* painter, const QFont& font, const RECT& rect, const QString& text,
                         DWORD argb, UINT style);
    static void DrawEditLine(QPainter* painter, const TEditLinePaint& line);
};
