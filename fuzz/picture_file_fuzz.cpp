// LoadPicture on arbitrary file contents. Whatever the header says, a block
// the reader returns must hold every row the header describes, or for a
// run-length picture every stored run the file holds: the last byte of that
// many bytes is read, so AddressSanitizer reports a short block.
// NOTE: a block of hundreds of megabytes costs a second under ASan, so for a
// header that describes one only the size the reader would allocate is checked.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "picture/picture_file.h"

namespace {

// Removed when the fuzzer ends.
const std::string& ScratchFile() {
  static const std::string path = "/tmp/vistrel-fuzz-" + std::to_string(getpid()) + ".bmp";
  static const int removed = atexit([] { remove(path.c_str()); });
  (void)removed;
  return path;
}

// Palette entries stored for a bit count; -1 for a bit count BMP lacks.
int64_t Entries(int bitCount) {
  switch (bitCount) {
    case 1: case 2: case 4: case 8: return int64_t{1} << bitCount;
    case 16: case 24: case 32: return 0;
    default: return -1;
  }
}

// The rows the header describes, worked out in 64 bits without the reader's
// helpers; -1 when the header describes no block the reader may make.
int64_t DescribedBytes(const BITMAPINFOHEADER& info) {
  if (Entries(info.biBitCount) < 0) return -1;
  if (info.biWidth <= 0 || info.biHeight == 0 || info.biHeight == INT32_MIN) return -1;
  // Top-down rows only when uncompressed.
  if (info.biHeight < 0 && info.biCompression != 0 && info.biCompression != 3) return -1;
  const int64_t rowBits = int64_t{info.biWidth} * info.biBitCount;
  if (rowBits > INT32_MAX) return -1;
  const int64_t bytes = (rowBits + 31) / 32 * 4 * std::abs(int64_t{info.biHeight});
  return bytes > INT32_MAX ? -1 : bytes;
}

uint32_t Field(const uint8_t* data, size_t size, size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | (at + i < size ? data[at + i] : 0);
  return value;
}

bool IsCore(const uint8_t* data, size_t size) {
  return size >= 18 && data[0] == 'B' && data[1] == 'M' && Field(data, size, 14, 4) == 12;
}

// The header fields that decide the block: a 12-byte OS/2 header holds 16-bit
// width, height and bit count and no compression.
BITMAPINFOHEADER SizeFields(const uint8_t* data, size_t size) {
  BITMAPINFOHEADER header = {};
  const bool core = IsCore(data, size);
  header.biWidth = static_cast<LONG>(Field(data, size, 18, core ? 2 : 4));
  header.biHeight = static_cast<LONG>(Field(data, size, core ? 20 : 22, core ? 2 : 4));
  header.biBitCount = static_cast<WORD>(Field(data, size, core ? 24 : 28, 2));
  header.biCompression = core ? 0 : Field(data, size, 30, 4);
  return header;
}

// Where the rows start: after the OS/2 table of 3-byte entries (as many as fit
// before bfOffBits), or after the three colour masks of a 16- or 32-bit
// BI_BITFIELDS picture, the rest of the header and the stored colour table
// (biClrUsed entries when that is fewer than the full count); or at bfOffBits
// when further on.
int64_t RowsAt(const BITMAPFILEHEADER& file, const BITMAPINFOHEADER& info, bool core) {
  const int64_t full = Entries(info.biBitCount) > 0 ? Entries(info.biBitCount) : 0;
  int64_t tableEnd = 0;
  if (core) {
    int64_t entries = full;
    const int64_t room = (int64_t{file.bfOffBits} - 26) / 3;
    if (file.bfOffBits > 26 && room < entries) entries = room;
    tableEnd = 26 + 3 * entries;
  } else {
    int64_t table = 4 * full;
    const int64_t used = 4 * int64_t{info.biClrUsed};
    if (used >= 4 && used < table) table = used;
    const bool masks = info.biCompression == 3 && (info.biBitCount == 16 || info.biBitCount == 32);
    const int64_t headerEnd = 14 + int64_t{info.biSize};
    tableEnd = std::max<int64_t>(masks ? 66 : 54, headerEnd) + table;
  }
  return std::max<int64_t>(tableEnd, file.bfOffBits);
}

constexpr int64_t kLargestLoad = int64_t{4} << 20;

bool RunLength(const BITMAPINFOHEADER& info) {
  return info.biCompression == 1 || info.biCompression == 2;
}

// The runs a run-length block holds from where the rows start: biSizeImage
// bytes, or up to the end of the file when that is 0 or further. The block
// itself is at least two bytes, zero past the runs.
int64_t RunBytes(uint32_t stored, int64_t rowsAt, size_t size) {
  const int64_t rest = std::max<int64_t>(0, static_cast<int64_t>(size) - rowsAt);
  return stored != 0 && stored <= INT32_MAX ? std::min<int64_t>(stored, rest) : rest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const BITMAPINFOHEADER header = SizeFields(data, size);
  // The runs of a run-length picture are never more than the file holds.
  if (DescribedBytes(header) > kLargestLoad && !RunLength(header)) {
    LONG bytes = 0;
    if (!PictureBlockSize(header, &bytes) || bytes != DescribedBytes(header)) abort();
    return 0;
  }

  FILE* file = fopen(ScratchFile().c_str(), "wb");
  if (file == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, file) != size) abort();
  fclose(file);

  PictureRecord record;
  memset(&record, 0, sizeof record);
  void* const pixels = LoadPicture(ScratchFile().c_str(), &record);
  if (pixels != record.pixels) abort();
  const int64_t described = DescribedBytes(record.infoHeader);
  const bool isBmp = size >= 2 && data[0] == 'B' && data[1] == 'M';
  if (pixels == nullptr) {
    if (isBmp && described > 0) abort();  // a usable header must get its block
    return 0;
  }
  if (!isBmp || described <= 0 || std::abs(int64_t{PixelBytes(record.infoHeader)}) != described) {
    abort();
  }
  // Rows past the end of the file are zero-filled.
  const int64_t rowsAt = RowsAt(record.fileHeader, record.infoHeader, IsCore(data, size));
  const uint32_t stored = static_cast<uint32_t>(Field(data, size, 34, 4));
  const int64_t read = RunLength(record.infoHeader) ? RunBytes(stored, rowsAt, size) : described;
  const int64_t kept = RunLength(record.infoHeader) ? std::max<int64_t>(read, 2) : described;
  if (RunLength(record.infoHeader) && record.infoHeader.biSizeImage != kept) abort();
  const int64_t last = rowsAt + kept - 1;
  const unsigned char expected =
      kept <= read && last < static_cast<int64_t>(size) ? data[last] : 0;
  if (static_cast<const unsigned char*>(pixels)[kept - 1] != expected) abort();
  free(pixels);
  return 0;
}
