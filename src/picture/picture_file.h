// The BMP reader: fills the PictureRecord from a Windows or OS/2 BMP file in
// one sequential pass (file header, info header of any size, the colour table
// or the colour masks, pixel rows from bfOffBits or right after them).
// It makes no platform call, and it never allocates a pixel block smaller
// than the rows the header describes.
#pragma once

#include <cstdio>

#include "win32_compat.h"

struct PictureRecord {
  void* pixels;                 // the pixel rows as stored in the file; null when none
  RGBQUAD palette[256];         // the colour table, or the three colour masks of a 16- or
                                // 32-bit picture; entries past them keep their earlier content
  BITMAPFILEHEADER fileHeader;  // as read, whatever it says
  BITMAPINFOHEADER infoHeader;  // as read (an OS/2 header as its 40-byte equivalent)
  BOOL premultipliedAlpha;      // a decoded 32-bit picture whose alpha counts: its colours are
                                // premultiplied and it is blended over the background
};

// The run's one picture, zero until a picture is loaded into it.
extern PictureRecord gPicture;

// Reads `path` into `record` and returns record->pixels afterwards: a new
// block (zero-filled where the file ended early; for a run-length picture,
// every stored run, with biSizeImage set to their bytes), null when the header
// gives no block, or the earlier value when the file does not start with "BM".
// When the file cannot be opened (a folder cannot) it returns null and leaves
// the record alone.
// An earlier block in the record is not freed: the record's owner frees it.
void* LoadPicture(const char* path, PictureRecord* record);
// The same from a file the caller has opened for reading in binary mode (on
// Windows, by a name in Unicode), from where it stands; the caller closes it.
void* ReadPicture(FILE* file, PictureRecord* record);

// Palette entries stored for the bit count: 2, 4, 16, 256, 0 for 16, 24 and
// 32 bits, and -1 for any other bit count.
int PaletteEntries(const BITMAPINFOHEADER& infoHeader);

// Bytes of one stored row, biWidth x biBitCount bits rounded up to 32-bit
// words; -1 when biWidth x biBitCount does not fit a signed 32-bit value.
LONG RowBytes(const BITMAPINFOHEADER& infoHeader);

// RowBytes x biHeight (negative for a top-down picture); -1 when the row
// size has no value or the product does not fit a signed 32-bit value. A real
// size is a multiple of 4, so -1 never is one.
LONG PixelBytes(const BITMAPINFOHEADER& infoHeader);

// The picture's rows: |biHeight| (a negative height stores them top-down),
// and 0 for INT32_MIN, which has no absolute value.
LONG PictureHeight(const BITMAPINFOHEADER& infoHeader);

// BI_RLE8 or BI_RLE4: the block holds the stored runs, biSizeImage bytes
// once the reader has counted them, and rows run bottom-up.
bool IsRunLength(const BITMAPINFOHEADER& infoHeader);

// True, with the pixel block's size in `bytes`, when the header describes a
// block the reader makes: a bit count with a palette size, a positive width,
// rows (top-down only when uncompressed), and every size within the signed
// 32-bit range. For a run-length picture the size is biSizeImage. `bytes` is
// left alone otherwise.
bool PictureBlockSize(const BITMAPINFOHEADER& infoHeader, LONG* bytes);
