// Reading a BMP file into the PictureRecord. The headers are decoded from
// their little-endian bytes field by field, so the record is right whatever
// the host's byte order; the sizes are worked out in 64 bits and checked.
// Every header size is read in the same forward pass: the OS/2 core header
// is turned into its 40-byte equivalent, a longer header's tail is read past.
#include "picture/picture_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

PictureRecord gPicture = {};

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;
constexpr size_t kSizeFieldBytes = 4;   // biSize, which says what follows it
constexpr DWORD kCoreHeaderBytes = 12;  // the OS/2 BITMAPCOREHEADER
constexpr size_t kCoreEntryBytes = 3;   // blue, green, red
constexpr WORD kBmType = 0x4D42;  // "BM" read as a little-endian word
constexpr DWORD kRgb = 0;        // BI_RGB
constexpr DWORD kBitFields = 3;   // BI_BITFIELDS
constexpr DWORD kRle8 = 1;        // BI_RLE8
constexpr DWORD kRle4 = 2;        // BI_RLE4
constexpr size_t kMaskBytes = 12;  // red, green and blue masks, 32 bits each
constexpr int64_t kLongMin = INT32_MIN;
constexpr int64_t kLongMax = INT32_MAX;
// Sizes are multiples of 4 (a negative width rounds toward zero, still in
// words), so -1 never is a real size.
constexpr LONG kNoSize = -1;
// The first step of a run-length read; each further step doubles the block.
constexpr size_t kFirstRunBytes = size_t{1} << 20;
// The escape that ends a row: the least a run-length block holds.
constexpr size_t kEndOfLineBytes = 2;

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

// The OS/2 core header after its size field: 16-bit width, height, planes and
// bit count, always uncompressed. The record gets the equivalent 40-byte header.
void DecodeCoreHeader(const unsigned char* bytes, BITMAPINFOHEADER* header) {
  *header = BITMAPINFOHEADER{};
  header->biSize = kInfoHeaderBytes;
  header->biWidth = static_cast<LONG>(Get16(bytes + 0));
  header->biHeight = static_cast<LONG>(Get16(bytes + 2));
  header->biPlanes = static_cast<WORD>(Get16(bytes + 4));
  header->biBitCount = static_cast<WORD>(Get16(bytes + 6));
  header->biCompression = kRgb;
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

// An OS/2 table holds one entry per colour of the bit count, or fewer when the
// rows start sooner: the rows' offset is all that tells.
int CoreEntries(const BITMAPFILEHEADER& file, const BITMAPINFOHEADER& header) {
  const int full = PaletteEntries(header);
  const uint64_t tableAt = kFileHeaderBytes + kCoreHeaderBytes;
  if (full > 0 && file.bfOffBits > tableAt) {
    const uint64_t room = (file.bfOffBits - tableAt) / kCoreEntryBytes;
    if (room < static_cast<uint64_t>(full)) return static_cast<int>(room);
  }
  return full;
}

// Reads `entries` 3-byte OS/2 entries as RGBQUADs; a partial last entry is
// dropped. Returns the bytes read.
size_t ReadCoreTable(FILE* file, int entries, RGBQUAD* palette) {
  unsigned char triples[256 * kCoreEntryBytes];
  if (entries <= 0) return 0;
  const size_t got = fread(triples, 1, static_cast<size_t>(entries) * kCoreEntryBytes, file);
  for (size_t i = 0; i + kCoreEntryBytes <= got; i += kCoreEntryBytes) {
    palette[i / kCoreEntryBytes] = RGBQUAD{triples[i], triples[i + 1], triples[i + 2], 0};
  }
  return got;
}

// 16- and 32-bit pictures may keep their colour masks right after the first
// 40 bytes of the header: after a 40-byte header, or inside a longer one.
bool HasColourMasks(const BITMAPINFOHEADER& header) {
  return header.biCompression == kBitFields &&
         (header.biBitCount == 16 || header.biBitCount == 32);
}

// Reads and drops the bytes between `at` and `offset`, as far as the file
// goes: the rest of a longer header, or the full table or a gap that writers
// may leave before the rows that bfOffBits points at. Reading, not seeking,
// keeps the one forward pass. Returns where the reader now is.
uint64_t SkipTo(FILE* file, uint64_t at, uint64_t offset) {
  unsigned char scratch[512];
  while (at < offset) {
    const uint64_t want = offset - at < sizeof scratch ? offset - at : sizeof scratch;
    const size_t got = fread(scratch, 1, static_cast<size_t>(want), file);
    if (got == 0) break;
    at += got;
  }
  return at;
}

// The bytes of the rows the header describes, uncompressed, or kNoSize when
// it describes none the reader keeps: a bit count without a palette size, an
// empty picture, a compressed top-down one, or a size past the 32-bit range.
// Decided here, not by malloc failing.
int64_t RowsSize(const BITMAPINFOHEADER& header) {
  const bool topDown = header.biHeight < 0;
  if (PaletteEntries(header) < 0 || header.biWidth <= 0 || PictureHeight(header) == 0) {
    return kNoSize;
  }
  if (topDown && header.biCompression != kRgb && header.biCompression != kBitFields) {
    return kNoSize;
  }
  const int64_t row = RowSize(header);
  const int64_t size = row * PictureHeight(header);
  return row == kNoSize || size > kLongMax ? kNoSize : size;
}

// The stored runs of a run-length picture: `stored` bytes (biSizeImage), or
// up to the end of the file when that is 0 or more than the file holds, never
// past the 32-bit bound. Runs that grow the data take more bytes than the
// rows would uncompressed, so their size is the file's word alone. The block
// grows as the bytes come in, so a size the file does not back costs no more
// than the file holds. Null when memory runs out; *count gets the bytes kept,
// at least an end-of-line escape, so a file cut at the rows shows black.
void* ReadRuns(FILE* file, DWORD stored, DWORD* count) {
  const size_t wanted = stored != 0 && stored <= kLongMax ? stored : static_cast<size_t>(kLongMax);
  unsigned char* block = nullptr;
  size_t capacity = 0;
  size_t got = 0;
  while (got == capacity && capacity < wanted) {
    capacity = capacity == 0 ? kFirstRunBytes : capacity * 2;
    if (capacity > wanted) capacity = wanted;
    auto* grown = static_cast<unsigned char*>(realloc(block, capacity));
    if (grown == nullptr) {
      free(block);
      return nullptr;
    }
    block = grown;
    got += fread(block + got, 1, capacity - got, file);
  }
  const size_t kept = got < kEndOfLineBytes ? kEndOfLineBytes : got;
  auto* fitted = static_cast<unsigned char*>(realloc(block, kept));
  if (fitted == nullptr) {
    free(block);
    return nullptr;
  }
  memset(fitted + got, 0, kept - got);
  *count = static_cast<DWORD>(kept);
  return fitted;
}

// The pixel block `header` describes, read from where the rows start; null
// when it describes none or memory runs out.
void* ReadRows(FILE* file, BITMAPINFOHEADER* header) {
  const int64_t rows = RowsSize(*header);
  if (rows == kNoSize) return nullptr;
  if (IsRunLength(*header)) return ReadRuns(file, header->biSizeImage, &header->biSizeImage);
  // Zero-filled, so rows missing from a short file show black.
  void* block = calloc(static_cast<size_t>(rows), 1);
  if (block != nullptr) (void)fread(block, 1, static_cast<size_t>(rows), file);
  return block;
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

LONG PictureHeight(const BITMAPINFOHEADER& infoHeader) {
  const LONG height = infoHeader.biHeight;
  if (height >= 0) return height;
  return height == INT32_MIN ? 0 : -height;
}

bool IsRunLength(const BITMAPINFOHEADER& infoHeader) {
  return infoHeader.biCompression == kRle8 || infoHeader.biCompression == kRle4;
}

bool PictureBlockSize(const BITMAPINFOHEADER& infoHeader, LONG* bytes) {
  const int64_t rows = RowsSize(infoHeader);
  // The runs, however long, are the block: the reader counts them into biSizeImage.
  const int64_t size = IsRunLength(infoHeader) ? int64_t{infoHeader.biSizeImage} : rows;
  if (rows == kNoSize || size <= 0 || size > kLongMax) return false;
  *bytes = static_cast<LONG>(size);
  return true;
}

void* LoadPicture(const char* path, PictureRecord* record) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return nullptr;
  void* const pixels = ReadPicture(file, record);
  (void)fclose(file);  // opened for reading: closing cannot lose data
  return pixels;
}

void* ReadPicture(FILE* file, PictureRecord* record) {
  // The header bytes start as the record's current headers, so a file that
  // ends inside them changes only the bytes that came in.
  unsigned char fileBytes[kFileHeaderBytes];
  unsigned char infoBytes[kInfoHeaderBytes];
  EncodeFileHeader(record->fileHeader, fileBytes);
  EncodeInfoHeader(record->infoHeader, infoBytes);
  size_t got = fread(fileBytes, 1, sizeof fileBytes, file);
  got += fread(infoBytes, 1, kSizeFieldBytes, file);
  const bool core = got == kFileHeaderBytes + kSizeFieldBytes && Get16(fileBytes) == kBmType &&
                    Get32(infoBytes) == kCoreHeaderBytes;
  unsigned char coreBytes[kCoreHeaderBytes - kSizeFieldBytes] = {};
  got += core ? fread(coreBytes, 1, sizeof coreBytes, file)
              : fread(infoBytes + kSizeFieldBytes, 1, sizeof infoBytes - kSizeFieldBytes, file);
  // NOTE: on Linux fopen opens a folder and only reading fails; Windows
  // refuses to open it. Both count as a file that cannot be opened.
  if (got == 0 && ferror(file) != 0) return nullptr;
  DecodeFileHeader(fileBytes, &record->fileHeader);
  if (core) {
    DecodeCoreHeader(coreBytes, &record->infoHeader);
  } else {
    DecodeInfoHeader(infoBytes, &record->infoHeader);
  }

  if (record->fileHeader.bfType == kBmType) {
    // A short read keeps what came in; the rest of the palette and block
    // keeps its earlier or zero content. The counts only tell how far in the
    // file the reader has come.
    const BITMAPINFOHEADER& info = record->infoHeader;
    record->premultipliedAlpha = FALSE;  // a BMP file's fourth byte is never alpha here
    uint64_t at = got;
    if (core) {
      const int entries = CoreEntries(record->fileHeader, info);
      if (entries < PaletteEntries(info)) record->infoHeader.biClrUsed = entries;
      at += ReadCoreTable(file, entries, record->palette);
    } else {
      // Where GDI looks for the masks when it is handed a 40-byte header.
      if (HasColourMasks(info)) at += fread(record->palette, 1, kMaskBytes, file);
      // The table follows the whole header, however long.
      at = SkipTo(file, at, kFileHeaderBytes + uint64_t{info.biSize});
      const int entries = StoredEntries(info);
      if (entries > 0) {
        at += fread(record->palette, 1, static_cast<size_t>(entries) * sizeof(RGBQUAD), file);
      }
    }
    // Rows start at bfOffBits when that lies further on, else right here.
    SkipTo(file, at, record->fileHeader.bfOffBits);
    record->pixels = ReadRows(file, &record->infoHeader);
  }
  return record->pixels;
}
