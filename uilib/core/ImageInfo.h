#pragma once

// TImageInfo: an image attribute (bkimage, foreimage, normalimage, ...)
// parsed once, when the attribute is set, so that painting never parses.
//
// The attribute text is either a bare file name ("lovebk.jpg") or a list of
// key='value' pairs, for example
//   file='bk_white_rd.png' dest='10,0,10,0' corner='5,5,5,5' xtiled='true' ytiled='true'
// Keys:
//   file       picture name, looked up in the resource folder, then the
//              resource archive (uilib/core/ResourceStore.h).
//   source     "l,t,r,b": the part of the picture to use, in picture pixels
//              (right and bottom exclusive); the whole picture when absent.
//   dest       "l,t,r,b": an INSET rectangle: distances of the drawing area
//              from the control's left, top, right and bottom edges. "10,0,10,0"
//              draws 10 px in from both sides; "10,0,0,0" starts 10 px from
//              the left.
//   corner     "l,t,r,b": nine-slice borders in picture pixels: the corners
//              keep their size, the edges stretch along one axis, the middle
//              along both.
//   xtiled / ytiled        "true": repeat at natural size along that axis
//              (with a corner: the edges and the middle repeat).
//   xcentered / ycentered  "true": natural size, centred along that axis
//              inside the drawing area.
//   fade       0..255: opacity of the whole picture (255, opaque, when absent).
// The numbers of source, dest and corner are never negative; a negative one
// makes that value bad. Unknown keys are ignored (a line on stderr in debug
// builds). Keys are case-sensitive, as the layouts write them.

#include "platform/win/Win.h"
#include "uilib/core/StdString.h"

struct TImageInfo
{
    CStdString file;
    RECT source = {0, 0, 0, 0};   // all zero: the whole picture
    RECT dest = {0, 0, 0, 0};     // inset from the control's edges, pixels
    RECT corner = {0, 0, 0, 0};   // nine-slice borders, picture pixels
    bool xtiled = false;
    bool ytiled = false;
    bool xcentered = false;
    bool ycentered = false;
    BYTE fade = 255;              // opacity, 0 transparent .. 255 opaque

    // No picture to draw.
    bool IsEmpty() const { return file.IsEmpty(); }
    bool HasSource() const { return source.right > source.left && source.bottom > source.top; }
    bool HasCorner() const { return corner.left > 0 || corner.top > 0 || corner.right > 0 || corner.bottom > 0; }
};

// Parses an image attribute text into `info`, which is first reset. An
// empty text gives an empty info and true. A malformed text keeps what
// parsed before the fault and answers false; a bad value of one key leaves
// that field at its default and answers false, the other keys still apply.
bool ParseImageInfo(const CStdString& text, TImageInfo* info);
