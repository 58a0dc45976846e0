#pragma once

// What the GDI-like handles of the window layer point to. Internal to
// platform/win; Qt-side code outside it uses WinQt.h.

#include "platform/win/Win.h"

#include <QByteArray>
#include <QIcon>
#include <QRegion>
#include <QString>

struct HRGN__
{
    QRegion region;
    // A region handed to SetWindowRgn belongs to the window; DeleteObject
    // refuses it so that the window never paints through a freed region.
    bool ownedByWindow = false;
};

struct HICON__
{
    QIcon icon;
    // Icons from LoadIcon are shared for the life of the process, as Win32's
    // are; DestroyIcon leaves them alone.
    bool shared = false;
};

// A found resource; loading it keeps its bytes for the life of the process,
// as the resources of a mapped executable stay put. An uncompressed resource
// is not copied: `bytes` then refers to where the resource system keeps it.
struct HRSRC__
{
    QString path;
    QByteArray bytes;
    bool loaded = false;
};

// Regions and icons are validated against these before use, so that a stale
// or foreign handle is refused instead of followed.
bool IsLiveRegion(HRGN region);
bool IsLiveIcon(HICON icon);
