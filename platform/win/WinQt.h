#pragma once

// The Qt side of the window layer, for uilib/ and platform/ only: the system's
// own code keeps to Win.h. GUI thread only.
//
// Painting: the HDC of BeginPaint is the QPainter of the window's paint event,
// with text antialiasing and smooth image scaling on and shape antialiasing
// off (turn it on per drawing where wanted). It is valid until EndPaint.

#include "platform/win/Win.h"

#include <QIcon>
#include <QImage>
#include <QRegion>

#include <cstddef>

class IWindowClient;
class QObject;
class QWidget;

// The frameless top-level widget of a window; null for a destroyed handle.
QWidget* WidgetFromHwnd(HWND window);
// The window whose widget is, or contains, this widget; null for other widgets.
HWND HwndFromWidget(QWidget* widget);
// Registers who answers the widget's synchronous questions (input method
// queries); null unregisters. Ignored for a destroyed handle.
void SetWindowClient(HWND window, IWindowClient* client);
IWindowClient* GetWindowClient(HWND window);
// The picture of an icon handle; a null icon for a null or destroyed handle.
QIcon IconFromHicon(HICON icon);
// A new icon handle holding a copy of the icon; free it with DestroyIcon.
HICON HiconFromIcon(const QIcon& icon);
// The area of a region handle; empty for a null or deleted handle.
QRegion RegionFromHrgn(HRGN region);
// Makes the Qt application if no window did yet; false on any thread but the
// GUI thread.
bool EnsureWinApplication();
// The parent for the layer's own QObjects: it is deleted before the Qt
// application when the window layer ends (EndWindowLayer). Null before the
// application exists.
QObject* WinLayerOwner();
// The image format ("png", "jpeg", "gif", "bmp", "ico") that a picture's
// first bytes announce; null for anything else. Decoding with the format
// named loads that one image plugin, where a guess would load every plugin
// installed to ask each whether it can read the picture.
const char* PictureFormat(const void* bytes, std::size_t size);
// Decodes a picture held in memory: with the one plugin of the format its
// bytes announce, or (another format, or bytes that do not decode as the
// format they announce) by asking every reader. Null when nothing decodes it.
QImage DecodePicture(const void* bytes, std::size_t size);
