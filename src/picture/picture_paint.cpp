// Draws the run's PictureRecord: everything GDI makes here is made and
// deleted within the one paint, in reverse order of creation, and no bitmap
// holds more of the picture than one band of what the window shows.
#include "picture_paint.h"

#include <algorithm>
#include <cstdint>
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

namespace {

// Bytes of one row of a band bitmap `width` pixels wide: the device's own
// format for a device-dependent bitmap (rows of whole 16-bit words), or
// 32 bits a pixel for a picture with alpha.
int64_t BandRowBytes(HDC hdc, bool section, LONG width) {
  const int64_t bits =
      section ? 32 : int64_t{GetDeviceCaps(hdc, BITSPIXEL)} * GetDeviceCaps(hdc, PLANES);
  return (width * bits + 15) / 16 * 2;
}

}  // namespace

HBITMAP CreatePictureBitmap(HDC hdc, PictureRecord record, const RECT& part) {
  // Without pixel data the headers may be anything (a file that is not a
  // BMP), and a bitmap made from them would show uninitialised memory.
  LONG blockBytes = 0;
  if (record.pixels == nullptr || !PictureBlockSize(record.infoHeader, &blockBytes)) {
    return nullptr;
  }
  if (part.right <= 0 || part.bottom <= 0) return nullptr;
  if (!record.premultipliedAlpha) return CreateCompatibleBitmap(hdc, part.right, part.bottom);
  // A device-dependent bitmap may drop the alpha; a DIB section keeps it.
  const BITMAPINFOHEADER& header = record.infoHeader;
  if (header.biBitCount != 32 || part.left < 0 || part.top < 0 ||
      int64_t{part.left} + part.right > header.biWidth ||
      int64_t{part.top} + part.bottom > PictureHeight(header)) {
    return nullptr;
  }
  BITMAPINFO info;
  memset(&info, 0, sizeof info);
  info.bmiHeader = GdiHeader(header, blockBytes);
  info.bmiHeader.biWidth = part.right;
  info.bmiHeader.biHeight = -part.bottom;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(hdc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section == nullptr) return nullptr;
  const auto* from = static_cast<const uint32_t*>(record.pixels);
  const size_t rowBytes = static_cast<size_t>(part.right) * sizeof(uint32_t);
  for (LONG y = 0; y < part.bottom; ++y) {
    const int64_t row =
        header.biHeight < 0 ? part.top + y : PictureHeight(header) - 1 - part.top - y;
    const int64_t at = row * header.biWidth + part.left;
    memcpy(static_cast<unsigned char*>(bits) + y * rowBytes, from + at, rowBytes);
  }
  return section;
}

bool FillPictureBitmap(HDC memoryDc, const PictureRecord& record, const RECT& part) {
  LONG blockBytes = 0;
  const BITMAPINFOHEADER& header = record.infoHeader;
  const LONG height = PictureHeight(header);
  if (record.pixels == nullptr || !PictureBlockSize(header, &blockBytes) || part.left < 0 ||
      part.top < 0 || part.right <= 0 || part.bottom <= 0 ||
      int64_t{part.left} + part.right > header.biWidth ||
      int64_t{part.top} + part.bottom > height) {
    return false;
  }
  auto* info = static_cast<PictureInfo*>(malloc(sizeof(PictureInfo)));
  if (info == nullptr) return false;
  info->bmiHeader = GdiHeader(header, blockBytes);
  memcpy(info->bmiColors, record.palette, sizeof info->bmiColors);
  // NOTE: GDI's source rectangle is where versions differ: Wine counts its y
  // from the bottom of a top-down DIB too, as for a bottom-up one, and
  // Windows versions are reported to differ on a top-down source. Neither
  // way below hands GDI a source rectangle other than all the rows its header
  // describes, so how it counts y cannot matter.
  int drawn = 0;
  if (IsRunLength(header)) {
    // Runs may skip pixels, and a new bitmap holds whatever GDI left in it:
    // start from black, as a BMP that ends early shows. Runs cannot be
    // pointed into: the whole picture goes in, offset so that the band's rows
    // land in the bitmap, whose edges clip the rest.
    PatBlt(memoryDc, 0, 0, part.right, part.bottom, BLACKNESS);
    drawn = StretchDIBits(memoryDc, -part.left, -part.top, header.biWidth, height, 0, 0,
                          header.biWidth, height, record.pixels,
                          reinterpret_cast<BITMAPINFO*>(info), DIB_RGB_COLORS, SRCCOPY);
  } else {
    // A header for the band's rows alone, its bits the first of them in the
    // block: bottom-up, the band's last row is stored first.
    const int64_t rowBytes = RowBytes(header);
    const int64_t first = header.biHeight < 0 ? part.top : height - part.top - part.bottom;
    info->bmiHeader.biHeight = header.biHeight < 0 ? -part.bottom : part.bottom;
    info->bmiHeader.biSizeImage = static_cast<DWORD>(rowBytes * part.bottom);
    const unsigned char* rows = static_cast<const unsigned char*>(record.pixels) + first * rowBytes;
    drawn = StretchDIBits(memoryDc, 0, 0, part.right, part.bottom, part.left, 0, part.right,
                          part.bottom, rows, reinterpret_cast<BITMAPINFO*>(info), DIB_RGB_COLORS,
                          SRCCOPY);
  }
  free(info);
  return drawn != 0 && drawn != static_cast<int>(GDI_ERROR);
}

// Bands of rows, each its own bitmap of at most kBandBytes.
// NOTE: on Windows NT a device-dependent bitmap comes from a small kernel
// pool: past about 48 MB (less on a machine with little memory) none is made
// at all, which a whole photo at screen depth easily passes. Wine makes them
// at any size. When GDI still refuses a band, the band is halved.
void DrawPicture(HDC hdc, HPALETTE palette, PictureRecord record, const RECT& source,
                 const RECT& destination) {
  HDC memoryDc = CreateCompatibleDC(hdc);
  if (memoryDc == nullptr) return;
  ScopedDeleteDC deleteMemoryDc(memoryDc);
  // The palettes these replace are not put back: the paint DC is released by
  // EndPaint and the memory DC is deleted.
  SelectRealize(hdc, palette, FALSE);
  SelectRealize(memoryDc, palette, FALSE);
  LONG blockBytes = 0;
  if (record.pixels == nullptr || !PictureBlockSize(record.infoHeader, &blockBytes)) return;
  const bool blended = record.premultipliedAlpha != FALSE;
  const int64_t rowBytes = BandRowBytes(hdc, blended, source.right);
  if (rowBytes <= 0) return;
  LONG rows = static_cast<LONG>(
      std::min<int64_t>(source.bottom, std::max<int64_t>(1, kBandBytes / rowBytes)));
  for (LONG done = 0; done < source.bottom;) {
    rows = std::min(rows, source.bottom - done);
    const RECT part = {source.left, source.top + done, source.right, rows};
    HBITMAP bitmap = CreatePictureBitmap(hdc, record, part);
    if (bitmap == nullptr) {
      if (rows == 1) return;
      rows /= 2;
      continue;
    }
    ScopedDeleteObject deleteBitmap(bitmap);
    ScopedReselect reselect(memoryDc, bitmap);
    const RECT from = {0, 0, part.right, rows};
    const RECT to = {destination.left, destination.top + done, part.right, rows};
    if (blended) {
      BlendDraw(memoryDc, from, hdc, to);
    } else if (FillPictureBitmap(memoryDc, record, part)) {
      StretchDraw(memoryDc, from, hdc, to, HALFTONE);
    }
    done += rows;
  }
}

RECT ShownPart(const BITMAPINFOHEADER& header, LONG width, LONG height) {
  RECT part;
  SetRect(&part, 0, 0, std::max<LONG>(0, std::min(header.biWidth, width)),
          std::max<LONG>(0, std::min(PictureHeight(header), height)));
  return part;
}

LRESULT OnPaint(HWND hwnd) {
  // Natural size: never scaled, clipped by the window. GDI turns top-down
  // rows upright itself.
  RECT client = {};
  GetClientRect(hwnd, &client);
  const RECT part = ShownPart(gPicture.infoHeader, client.right, client.bottom);
  ScopedEndPaint paint(hwnd);
  HPALETTE palette = CreateHalftonePalette(paint.Dc());
  ScopedDeleteObject deletePalette(palette);
  DrawPicture(paint.Dc(), palette, gPicture, part, part);
  // NOTE: Windows will not delete a palette that is still selected into a DC
  // (Wine does), so the paint DC gets its own palette back first. A paint DC
  // of a class without a DC of its own starts with the default palette.
  if (palette != nullptr) {
    SelectPalette(paint.Dc(), static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
  }
  return 0;
}
