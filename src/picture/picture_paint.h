// Painting the run's picture into the viewer window: a fresh halftone
// palette, memory DC and bitmaps for every paint, copied (or, for a picture
// with alpha, blended) at natural size into the window's top-left corner and
// deleted again. Only the part the window shows is converted, in bands of
// rows whose bitmaps stay small whatever the picture's size.
#pragma once

#include <windows.h>

#include "picture/picture_file.h"

// No bitmap a paint makes holds more than this: a few hundred rows of a
// screen. GDI converts a band at a time, so small bands keep a paint's
// memory small too.
constexpr LONG kBandBytes = 2 * 1024 * 1024;

LRESULT OnPaint(HWND hwnd);
// The part of the picture that a client area of `width` x `height` shows at
// natural size from its top-left corner: origin 0,0, with right and bottom
// standing for width and height.
RECT ShownPart(const BITMAPINFOHEADER& header, LONG width, LONG height);
// Rectangles are origins with right and bottom standing for width and height;
// `source` is counted from the picture's top-left corner.
void DrawPicture(HDC hdc, HPALETTE palette, PictureRecord record, const RECT& source,
                 const RECT& destination);
// A bitmap for `part` of the picture (origin, width and height as above):
// for a picture with premultiplied alpha a 32-bit DIB section holding those
// pixels, for the rest an empty bitmap of the device's own format that
// FillPictureBitmap fills. Null when the record holds no pixel block or GDI
// makes no bitmap.
HBITMAP CreatePictureBitmap(HDC hdc, PictureRecord record, const RECT& part);
// Draws `part` of the record into the bitmap selected into `memoryDc`, black
// where the rows leave pixels out; false when GDI draws nothing.
bool FillPictureBitmap(HDC memoryDc, const PictureRecord& record, const RECT& part);
BOOL StretchDraw(HDC sourceDc, const RECT& source, HDC destinationDc, const RECT& destination,
                 int mode);
// Blends a premultiplied 32-bit source over what the destination shows.
BOOL BlendDraw(HDC sourceDc, const RECT& source, HDC destinationDc, const RECT& destination);
HPALETTE SelectRealize(HDC hdc, HPALETTE palette, BOOL forceBackground);
// The header as GDI may see it. GDI finds the colour table biSize bytes past
// the header, reads biClrUsed colours and, for a compressed picture,
// biSizeImage bytes of data; those come from the file, so they are bounded
// here by the 40-byte header, the 256-entry table and the pixel block.
BITMAPINFOHEADER GdiHeader(const BITMAPINFOHEADER& header, LONG blockBytes);
