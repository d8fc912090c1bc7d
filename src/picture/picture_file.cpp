// Reading a BMP file into the PictureRecord. The headers are decoded from
// their little-endian bytes field by field, so the record is right whatever
// the host's byte order; the sizes are worked out in 64 bits and checked.
#include "picture/picture_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

PictureRecord gPicture = {};

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;
constexpr WORD kBmType = 0x4D42;  // "BM" read as a little-endian word
constexpr DWORD kBitFields = 3;   // BI_BITFIELDS
constexpr size_t kMaskBytes = 12;  // red, green and blue masks, 32 bits each
constexpr int64_t kLongMin = INT32_MIN;
constexpr int64_t kLongMax = INT32_MAX;
// Sizes are multiples of 4 (a negative width rounds toward zero, still in
// words), so -1 never is a real size.
constexpr LONG kNoSize = -1;

uint32_t Get16(const unsigned char* bytes) { return bytes[0] | uint32_t{bytes[1]} << 8; }

uint32_t Get32(const unsigned char* bytes) {
  return Get16(bytes) | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

void Put16(unsigned char* bytes, uint32_t value) {
  bytes[0] = static_cast<unsigned char>(value);
  bytes[1] = static_cast<unsigned char>(value >> 8);
}

void Put32(unsigned char* bytes, uint32_t value) {
  Put16(bytes, value);
  Put16(bytes + 2, value >> 16);
}

void EncodeFileHeader(const BITMAPFILEHEADER& header, unsigned char* bytes) {
  Put16(bytes + 0, header.bfType);
  Put32(bytes + 2, header.bfSize);
  Put16(bytes + 6, header.bfReserved1);
  Put16(bytes + 8, header.bfReserved2);
  Put32(bytes + 10, header.bfOffBits);
}

void DecodeFileHeader(const unsigned char* bytes, BITMAPFILEHEADER* header) {
  header->bfType = static_cast<WORD>(Get16(bytes + 0));
  header->bfSize = Get32(bytes + 2);
  header->bfReserved1 = static_cast<WORD>(Get16(bytes + 6));
  header->bfReserved2 = static_cast<WORD>(Get16(bytes + 8));
  header->bfOffBits = Get32(bytes + 10);
}

void EncodeInfoHeader(const BITMAPINFOHEADER& header, unsigned char* bytes) {
  Put32(bytes + 0, header.biSize);
  Put32(bytes + 4, static_cast<uint32_t>(header.biWidth));
  Put32(bytes + 8, static_cast<uint32_t>(header.biHeight));
  Put16(bytes + 12, header.biPlanes);
  Put16(bytes + 14, header.biBitCount);
  Put32(bytes + 16, header.biCompression);
  Put32(bytes + 20, header.biSizeImage);
  Put32(bytes + 24, static_cast<uint32_t>(header.biXPelsPerMeter));
  Put32(bytes + 28, static_cast<uint32_t>(header.biYPelsPerMeter));
  Put32(bytes + 32, header.biClrUsed);
  Put32(bytes + 36, header.biClrImportant);
}

void DecodeInfoHeader(const unsigned char* bytes, BITMAPINFOHEADER* header) {
  header->biSize = Get32(bytes + 0);
  header->biWidth = static_cast<LONG>(Get32(bytes + 4));
  header->biHeight = static_cast<LONG>(Get32(bytes + 8));
  header->biPlanes = static_cast<WORD>(Get16(bytes + 12));
  header->biBitCount = static_cast<WORD>(Get16(bytes + 14));
  header->biCompression = Get32(bytes + 16);
  header->biSizeImage = Get32(bytes + 20);
  header->biXPelsPerMeter = static_cast<LONG>(Get32(bytes + 24));
  header->biYPelsPerMeter = static_cast<LONG>(Get32(bytes + 28));
  header->biClrUsed = Get32(bytes + 32);
  header->biClrImportant = Get32(bytes + 36);
}

// The row size in 64 bits, or kNoSize when width x bit count leaves the
// signed 32-bit range. The row is about an eighth of that product, so it
// fits whenever the product does; only the rounding step may pass INT32_MAX.
int64_t RowSize(const BITMAPINFOHEADER& header) {
  const int64_t bits = int64_t{header.biWidth} * header.biBitCount;
  if (bits < kLongMin || bits > kLongMax) return kNoSize;
  return (bits + 31) / 32 * 4;
}

// The colour-table entries stored after the header: biClrUsed when it names
// fewer than the bit count allows, as writers of short tables set it; any
// other value, true or not, means the full table.
int StoredEntries(const BITMAPINFOHEADER& header) {
  const int full = PaletteEntries(header);
  if (full > 0 && header.biClrUsed >= 1 && header.biClrUsed < static_cast<DWORD>(full)) {
    return static_cast<int>(header.biClrUsed);
  }
  return full;
}

// 16- and 32-bit pictures may keep their colour masks after a 40-byte header.
bool HasColourMasks(const BITMAPINFOHEADER& header) {
  return header.biCompression == kBitFields &&
         (header.biBitCount == 16 || header.biBitCount == 32);
}

// Reads and drops the bytes between `at` and `offset`, as far as the file
// goes: writers may leave the full table, or a gap, before the rows that
// bfOffBits points at. Reading, not seeking, keeps the one forward pass.
void SkipTo(FILE* file, uint64_t at, uint64_t offset) {
  unsigned char scratch[512];
  while (at < offset) {
    const uint64_t want = offset - at < sizeof scratch ? offset - at : sizeof scratch;
    const size_t got = fread(scratch, 1, static_cast<size_t>(want), file);
    if (got == 0) return;
    at += got;
  }
}

}  // namespace

int PaletteEntries(const BITMAPINFOHEADER& infoHeader) {
  switch (infoHeader.biBitCount) {
    case 1: return 2;
    case 2: return 4;
    case 4: return 16;
    case 8: return 256;
    case 16:
    case 24:
    case 32: return 0;
    default: return -1;
  }
}

LONG RowBytes(const BITMAPINFOHEADER& infoHeader) {
  return static_cast<LONG>(RowSize(infoHeader));
}

LONG PixelBytes(const BITMAPINFOHEADER& infoHeader) {
  const int64_t row = RowSize(infoHeader);
  if (row == kNoSize) return kNoSize;
  const int64_t bytes = row * infoHeader.biHeight;
  return bytes < kLongMin || bytes > kLongMax ? kNoSize : static_cast<LONG>(bytes);
}

bool PictureBlockSize(const BITMAPINFOHEADER& infoHeader, LONG* bytes) {
  // A bit count without a palette size, a top-down or empty picture, or a size
  // past the 32-bit range has no block: decided here, not by malloc failing.
  if (PaletteEntries(infoHeader) < 0 || infoHeader.biWidth <= 0 || infoHeader.biHeight <= 0) {
    return false;
  }
  const LONG size = PixelBytes(infoHeader);
  if (size == kNoSize) return false;
  *bytes = size;
  return true;
}

void* LoadPicture(const char* path, PictureRecord* record) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return nullptr;

  // The header bytes start as the record's current headers, so a file that
  // ends inside them changes only the bytes that came in.
  unsigned char fileBytes[kFileHeaderBytes];
  unsigned char infoBytes[kInfoHeaderBytes];
  EncodeFileHeader(record->fileHeader, fileBytes);
  EncodeInfoHeader(record->infoHeader, infoBytes);
  const size_t got = fread(fileBytes, 1, sizeof fileBytes, file) +
                     fread(infoBytes, 1, sizeof infoBytes, file);
  // NOTE: on Linux fopen opens a folder and only reading fails; Windows
  // refuses to open it. Both count as a file that cannot be opened.
  if (got == 0 && ferror(file) != 0) {
    (void)fclose(file);
    return nullptr;
  }
  DecodeFileHeader(fileBytes, &record->fileHeader);
  DecodeInfoHeader(infoBytes, &record->infoHeader);

  if (record->fileHeader.bfType == kBmType) {
    // A short read keeps what came in; the rest of the palette and block
    // keeps its earlier or zero content. The counts only tell how far in the
    // file the reader has come.
    uint64_t at = got;
    if (HasColourMasks(record->infoHeader)) {
      // Where GDI looks for the masks when it is handed a 40-byte header.
      at += fread(record->palette, 1, kMaskBytes, file);
    } else {
      const int entries = StoredEntries(record->infoHeader);
      if (entries > 0) {
        at += fread(record->palette, 1, static_cast<size_t>(entries) * sizeof(RGBQUAD), file);
      }
    }
    // Rows start at bfOffBits when that lies further on, else right here.
    SkipTo(file, at, record->fileHeader.bfOffBits);
    LONG bytes = 0;
    // Zero-filled, so rows missing from a short file show black.
    record->pixels = PictureBlockSize(record->infoHeader, &bytes)
                         ? calloc(static_cast<size_t>(bytes), 1)
                         : nullptr;
    if (record->pixels != nullptr) {
      (void)fread(record->pixels, 1, static_cast<size_t>(bytes), file);
    }
  }
  (void)fclose(file);  // opened for reading: closing cannot lose data
  return record->pixels;
}
