#pragma once

// CRenderEngine: every pixel that uilib puts on a window goes through here.
// Controls never touch QPainter themselves; they hand this class a rectangle
// in the window's client coordinates, a colour, an image description or a
// text, and it draws through the painter that WM_PAINT / WM_PRINTCLIENT gave
// the paint manager (HDC is a QPainter*).
//
// Colours are 0xAARRGGBB. An alpha of 0 means "no colour": nothing is drawn,
// which is how an unset bkcolor or bordercolor stays invisible.
//
// Image semantics (TImageInfo, parsed once from an image attribute list):
//   file       picture loaded through the paint manager's image cache; a
//              missing or undecodable file draws nothing.
//   source     the sub-rectangle of the picture to use (all of it when empty).
//   dest       an INSET rectangle: left, top, right, bottom distances from the
//              control's edges; the picture is drawn inside what remains.
//   corner     nine-slice borders (left, top, right, bottom, in picture pixels):
//              corners keep their natural size, edges stretch along one axis,
//              the middle stretches along both.
//   xtiled/ytiled  repeat the picture (or, with a corner, the edges and the
//              middle) at natural size instead of stretching it.
//   xcentered/ycentered  place the picture at natural size, centred inside
//              the inset rectangle along that axis.
// Everything is clipped to the control's rectangle and the paint rectangle.
//
// Text: UTF-8, drawn in the font of an index of the paint manager's font list
// (the default font for -1 or an unknown index), with DT_* style flags of
// uilib/window/UIDefines.h (Win32 values): DT_LEFT / DT_CENTER / DT_RIGHT,
// DT_TOP / DT_VCENTER / DT_BOTTOM, DT_SINGLELINE, DT_WORDBREAK and
// DT_END_ELLIPSIS (a single line too long for the rectangle ends in "…").
// The caller applies text padding by shrinking the rectangle.

#include "platform/win/Win.h"

class CPaintManagerUI;
class CStdString;
struct TImageInfo;

class CRenderEngine
{
public:
    // Fills the rectangle; semi-transparent colours blend over what is there.
    static void DrawColor(HDC painter, const RECT& rect, DWORD argb);

    // Draws the image of `image` for a control occupying `item`, touching
    // only pixels inside both `item` and `paint`. Answers whether anything
    // was drawn (false for a missing file, an empty inset rectangle, or an
    // item outside the paint rectangle).
    static bool DrawImage(HDC painter, CPaintManagerUI* manager, const RECT& item, const RECT& paint,
                          const TImageInfo& image);

    // Natural size in pixels of the picture `image` draws (its source part
    // when it has one); 0,0 when the file is missing.
    static SIZE GetImageSize(CPaintManagerUI* manager, const TImageInfo& image);

    static void DrawText(HDC painter, CPaintManagerUI* manager, const RECT& rect, const CStdString& text,
                         DWORD argb, int fontIndex, UINT style);

    // A frame of `size` pixels drawn inside the rectangle's edges.
    static void DrawBorder(HDC painter, const RECT& rect, int size, DWORD argb);

    // The keyboard focus ring: a frame of `size` pixels inside the item's
    // edges, touching only pixels inside `clip`.
    static void DrawFocusRing(HDC painter, const RECT& item, const RECT& clip, int size, DWORD argb);
};
