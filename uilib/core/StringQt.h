#pragma once

// Crossing between CStdString (UTF-8 bytes) and QString, for the Qt side of
// uilib only: public uilib headers never include this file.
//
// Bytes that are not valid UTF-8 become U+FFFD on the way into Qt; text read
// from outside is converted to UTF-8 before it reaches a CStdString.

#include "uilib/core/StdString.h"

#include <QByteArray>
#include <QString>

inline QString ToQString(const CStdString& text)
{
    return QString::fromUtf8(text.GetData(), text.GetLength());
}

inline CStdString FromQString(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return CStdString(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
}
