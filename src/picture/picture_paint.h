// Painting the run's picture into the viewer window: a fresh halftone
// palette, memory DC and bitmap for every paint, copied (or, for a picture
// with alpha, blended) at natural size into the window's top-left corner and
// deleted again.
#pragma once

#include <windows.h>

#include "picture/picture_file.h"

LRESULT OnPaint(HWND hwnd);
// Rectangles are origin 0,0 with right and bottom standing for width and height.
void DrawPicture(HDC hdc, HPALETTE palette, PictureRecord record, const RECT& source,
                 const RECT& destination);
// Null when the record holds no pixel block or GDI makes no bitmap. A picture
// with premultiplied alpha gets a 32-bit DIB section, the rest a bitmap of the
// device's own format.
HBITMAP CreatePictureBitmap(HDC hdc, PictureRecord record);
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
