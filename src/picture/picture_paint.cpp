// Draws the run's PictureRecord: everything GDI makes here is made and
// deleted within the one paint, in reverse order of creation.
#include "picture_paint.h"

#include <cstdlib>
#include <cstring>

namespace {

// Each holder is named after the call that releases what it holds.
class ScopedEndPaint {
 public:
  explicit ScopedEndPaint(HWND hwnd) : window(hwnd), paintDc(BeginPaint(hwnd, &ps)) {}
  ~ScopedEndPaint() { EndPaint(window, &ps); }
  ScopedEndPaint(const ScopedEndPaint&) = delete;
  ScopedEndPaint& operator=(const ScopedEndPaint&) = delete;
  HDC Dc() const { return paintDc; }

 private:
  HWND window;
  PAINTSTRUCT ps{};
  HDC paintDc;
};

class ScopedDeleteObject {
 public:
  explicit ScopedDeleteObject(HGDIOBJ object) : held(object) {}
  ~ScopedDeleteObject() {
    if (held != nullptr) DeleteObject(held);
  }
  ScopedDeleteObject(const ScopedDeleteObject&) = delete;
  ScopedDeleteObject& operator=(const ScopedDeleteObject&) = delete;

 private:
  HGDIOBJ held;
};

class ScopedDeleteDC {
 public:
  explicit ScopedDeleteDC(HDC hdc) : held(hdc) {}
  ~ScopedDeleteDC() {
    if (held != nullptr) DeleteDC(held);
  }
  ScopedDeleteDC(const ScopedDeleteDC&) = delete;
  ScopedDeleteDC& operator=(const ScopedDeleteDC&) = delete;

 private:
  HDC held;
};

// Puts the object that a selection replaced back into its DC.
class ScopedReselect {
 public:
  ScopedReselect(HDC hdc, HGDIOBJ object) : target(hdc), previous(SelectObject(hdc, object)) {}
  ~ScopedReselect() {
    if (previous != nullptr && previous != HGDI_ERROR) SelectObject(target, previous);
  }
  ScopedReselect(const ScopedReselect&) = delete;
  ScopedReselect& operator=(const ScopedReselect&) = delete;

 private:
  HDC target;
  HGDIOBJ previous;
};

struct PictureInfo {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];
};
static_assert(sizeof(PictureInfo) == 1064, "header and a full colour table");

}  // namespace

BITMAPINFOHEADER GdiHeader(const BITMAPINFOHEADER& header, LONG blockBytes) {
  BITMAPINFOHEADER safe = header;
  safe.biSize = sizeof(BITMAPINFOHEADER);
  if (safe.biClrUsed > 256) safe.biClrUsed = 0;
  const bool compressed = safe.biCompression != BI_RGB && safe.biCompression != BI_BITFIELDS;
  if (compressed && safe.biSizeImage > static_cast<DWORD>(blockBytes)) {
    safe.biSizeImage = static_cast<DWORD>(blockBytes);
  }
  return safe;
}

HPALETTE SelectRealize(HDC hdc, HPALETTE palette, BOOL forceBackground) {
  HPALETTE previous = SelectPalette(hdc, palette, forceBackground);
  if (previous != nullptr) RealizePalette(hdc);
  return previous;
}

BOOL StretchDraw(HDC sourceDc, const RECT& source, HDC destinationDc, const RECT& destination,
                 int mode) {
  const int previousMode = SetStretchBltMode(destinationDc, mode);
  const BOOL drawn =
      StretchBlt(destinationDc, destination.left, destination.top, destination.right,
                 destination.bottom, sourceDc, source.left, source.top, source.right,
                 source.bottom, SRCCOPY);
  SetStretchBltMode(destinationDc, previousMode);
  return drawn;
}

BOOL BlendDraw(HDC sourceDc, const RECT& source, HDC destinationDc, const RECT& destination) {
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  // NOTE: AlphaBlend lives in msimg32.dll, which is not a KnownDLL and would
  // be looked for beside the program first; gdi32 exports the same call.
  return GdiAlphaBlend(destinationDc, destination.left, destination.top, destination.right,
                       destination.bottom, sourceDc, source.left, source.top, source.right,
                       source.bottom, blend);
}

HBITMAP CreatePictureBitmap(HDC hdc, PictureRecord record) {
  // Without pixel data the headers may be anything (a file that is not a
  // BMP), and a bitmap made from them would show uninitialised memory.
  LONG blockBytes = 0;
  if (record.pixels == nullptr || !PictureBlockSize(record.infoHeader, &blockBytes)) {
    return nullptr;
  }
  if (record.premultipliedAlpha) {
    // A device-dependent bitmap may drop the alpha; a DIB section keeps it.
    if (record.infoHeader.biBitCount != 32) return nullptr;
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader = GdiHeader(record.infoHeader, blockBytes);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(hdc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section != nullptr) memcpy(bits, record.pixels, static_cast<size_t>(blockBytes));
    return section;
  }
  auto* info = static_cast<PictureInfo*>(malloc(sizeof(PictureInfo)));
  if (info == nullptr) return nullptr;
  const BITMAPINFOHEADER header = GdiHeader(record.infoHeader, blockBytes);
  info->bmiHeader = header;
  memcpy(info->bmiColors, record.palette, sizeof info->bmiColors);
  HBITMAP bitmap = CreateDIBitmap(hdc, &header, CBM_INIT, record.pixels,
                                  reinterpret_cast<BITMAPINFO*>(info), DIB_RGB_COLORS);
  free(info);
  return bitmap;
}

void DrawPicture(HDC hdc, HPALETTE palette, PictureRecord record, const RECT& source,
                 const RECT& destination) {
  HDC memoryDc = CreateCompatibleDC(hdc);
  if (memoryDc == nullptr) return;
  ScopedDeleteDC deleteMemoryDc(memoryDc);
  // The palettes these replace are not put back: the paint DC is released by
  // EndPaint and the memory DC is deleted.
  SelectRealize(hdc, palette, FALSE);
  SelectRealize(memoryDc, palette, FALSE);
  HBITMAP bitmap = CreatePictureBitmap(hdc, record);
  if (bitmap == nullptr) return;
  ScopedDeleteObject deleteBitmap(bitmap);
  ScopedReselect reselect(memoryDc, bitmap);
  if (record.premultipliedAlpha) {
    BlendDraw(memoryDc, source, hdc, destination);
  } else {
    StretchDraw(memoryDc, source, hdc, destination, HALFTONE);
  }
}

LRESULT OnPaint(HWND hwnd) {
  RECT destination;
  RECT source;
  // Natural size: never scaled, clipped by the window. GDI turns top-down
  // rows upright itself, so both rectangles take the rows' count.
  const LONG height = PictureHeight(gPicture.infoHeader);
  SetRect(&destination, 0, 0, gPicture.infoHeader.biWidth, height);
  SetRect(&source, 0, 0, gPicture.infoHeader.biWidth, height);
  ScopedEndPaint paint(hwnd);
  HPALETTE palette = CreateHalftonePalette(paint.Dc());
  ScopedDeleteObject deletePalette(palette);
  DrawPicture(paint.Dc(), palette, gPicture, source, destination);
  // NOTE: Windows will not delete a palette that is still selected into a DC
  // (Wine does), so the paint DC gets its own palette back first. A paint DC
  // of a class without a DC of its own starts with the default palette.
  if (palette != nullptr) {
    SelectPalette(paint.Dc(), static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
  }
  return 0;
}
