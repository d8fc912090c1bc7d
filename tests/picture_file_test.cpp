#include "picture/picture_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

constexpr LONG kNoBlock = -1;
// Stands for a block from an earlier load; never dereferenced or freed.
void* const kEarlierBlock = reinterpret_cast<void*>(uintptr_t{0x5EED0});

void Add16(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value));
  out->push_back(static_cast<char>(value >> 8));
}

void Add32(std::string* out, uint32_t value) {
  Add16(out, value);
  Add16(out, value >> 16);
}

// The 54 header bytes as they lie in a file, little-endian.
std::string HeaderBytes(const BITMAPFILEHEADER& file, const BITMAPINFOHEADER& info) {
  std::string out;
  Add16(&out, file.bfType);
  Add32(&out, file.bfSize);
  Add16(&out, file.bfReserved1);
  Add16(&out, file.bfReserved2);
  Add32(&out, file.bfOffBits);
  for (uint32_t field : {uint32_t(info.biSize), uint32_t(info.biWidth), uint32_t(info.biHeight)}) {
    Add32(&out, field);
  }
  Add16(&out, info.biPlanes);
  Add16(&out, info.biBitCount);
  for (uint32_t field : {uint32_t(info.biCompression), uint32_t(info.biSizeImage),
                         uint32_t(info.biXPelsPerMeter), uint32_t(info.biYPelsPerMeter),
                         uint32_t(info.biClrUsed), uint32_t(info.biClrImportant)}) {
    Add32(&out, field);
  }
  return out;
}

// Non-zero bytes that differ from their neighbours, so a zero-filled or
// shifted read shows.
std::string Pattern(size_t size, int seed = 1) {
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 7 + seed) % 251 + 1);
  return out;
}

// A BMP file: headers, what follows the 40-byte header (colour masks, the
// tail of a larger header), palette and pixel bytes, each open to change.
struct BmpFile {
  BITMAPFILEHEADER file;
  BITMAPINFOHEADER info;
  std::string afterHeader;
  std::string palette;
  std::string pixels;

  std::string Bytes() const { return HeaderBytes(file, info) + afterHeader + palette + pixels; }
};

// A well-formed file with a full palette for bit counts up to 8 and 24
// bytes of rows, enough for every small picture here.
BmpFile Bmp(LONG width, LONG height, WORD bitCount) {
  return {{0x4D42, 0, 0, 0, 54},
          {40, width, height, 1, bitCount, 0, 0, 0, 0, 0, 0},
          "",
          Pattern(bitCount <= 8 ? 4u << bitCount : 0, 3),
          Pattern(24, 5)};
}

void Keep(BmpFile*) {}

// Run-length compression `kind`, biSizeImage `stored` and `bytes` of rows.
void RunLength(BmpFile* bmp, DWORD kind, DWORD stored, size_t bytes) {
  bmp->info.biCompression = kind;
  bmp->info.biSizeImage = stored;
  bmp->pixels = Pattern(bytes, 9);
}

void AddMasks(BmpFile* bmp) {
  bmp->info.biCompression = 3;
  for (uint32_t mask : {0xF800u, 0x07E0u, 0x001Fu}) Add32(&bmp->afterHeader, mask);
}

// A record as an earlier load may have left it; nothing in it is zero.
PictureRecord EarlierRecord() {
  PictureRecord record;
  memset(&record, 0xA5, sizeof record);
  record.pixels = kEarlierBlock;
  return record;
}

// Loads `bytes` from a file by its path into *record, and from a stream
// opened on the same file into a copy of *record: both must read the same.
void Load(const std::string& bytes, PictureRecord* record,
          const std::string& path = ScratchDir() + "picture.bmp") {
  ASSERT_TRUE(WriteFileBytes(path, bytes));
  PictureRecord streamed = *record;
  FILE* file = fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadPicture(file, &streamed), streamed.pixels);
  fclose(file);
  void* const loaded = LoadPicture(path.c_str(), record);
  EXPECT_EQ(loaded, record->pixels);
  RemoveFile(path);
  EXPECT_EQ(HeaderBytes(streamed.fileHeader, streamed.infoHeader),
            HeaderBytes(record->fileHeader, record->infoHeader));
  EXPECT_EQ(memcmp(streamed.palette, record->palette, sizeof record->palette), 0);
  LONG blockBytes = 0;
  if (streamed.pixels == record->pixels) return;  // none, or the earlier block kept
  ASSERT_TRUE(streamed.pixels != nullptr && record->pixels != nullptr &&
              PictureBlockSize(record->infoHeader, &blockBytes));
  EXPECT_EQ(memcmp(streamed.pixels, record->pixels, static_cast<size_t>(blockBytes)), 0);
  free(streamed.pixels);
}

// Checks that `after` holds `file` read in one pass from offset 0 over
// `before`: 54 header bytes, `entries` palette entries from `tableAt` (0: 54),
// then `pixelBytes` bytes from `rowsAt` (0: right after the palette) into a
// zero-filled block (kNoBlock: no block). Frees the block.
void ExpectRead(const std::string& file, const PictureRecord& before, PictureRecord* after,
                int entries, LONG pixelBytes, uint64_t rowsAt = 0, uint64_t tableAt = 0) {
  const std::string headerRead = file.substr(0, 54);
  std::string headers = HeaderBytes(before.fileHeader, before.infoHeader);
  EXPECT_EQ(HeaderBytes(after->fileHeader, after->infoHeader),
            headers.replace(0, headerRead.size(), headerRead));

  if (tableAt == 0) tableAt = 54;
  const std::string paletteRead =
      file.size() > tableAt ? file.substr(static_cast<size_t>(tableAt), entries * 4u) : "";
  std::string palette(reinterpret_cast<const char*>(before.palette), sizeof before.palette);
  palette.replace(0, paletteRead.size(), paletteRead);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(after->palette), sizeof after->palette),
            palette);

  if (pixelBytes == kNoBlock) {
    EXPECT_EQ(after->pixels, nullptr);
    return;
  }
  ASSERT_NE(after->pixels, nullptr);
  if (rowsAt == 0) rowsAt = tableAt + entries * 4u;
  std::string pixels =
      file.size() > rowsAt ? file.substr(static_cast<size_t>(rowsAt), pixelBytes) : "";
  pixels.resize(pixelBytes, '\0');
  EXPECT_EQ(std::string(static_cast<const char*>(after->pixels), pixelBytes), pixels);
  free(after->pixels);
}

TEST(PictureFile, ReadsHeadersPaletteAndRowsInOneSequentialPass) {
  struct Case {
    const char* name;
    BmpFile bmp;
    void (*change)(BmpFile*);
    int entries;  // palette entries, or 3 for the colour masks
    LONG pixelBytes;
    uint64_t rowsAt;  // 0: right after the palette
    uint64_t tableAt = 0;  // 0: right after a 40-byte header
  } const cases[] = {
      {"24-bit 3x2: rows of 12 bytes from offset 54", Bmp(3, 2, 24), Keep, 0, 24, 0},
      {"bfOffBits past the end: no rows", Bmp(3, 2, 24),
       [](BmpFile* b) { b->file.bfOffBits = 1000; }, 0, 24, 1000},
      {"8-bit using 16 colours stores 16 entries", Bmp(4, 2, 8),
       [](BmpFile* b) {
         b->info.biClrUsed = 16;
         b->palette.resize(64);
       },
       16, 8, 0},
      {"absurd colour count: the full table", Bmp(4, 2, 8),
       [](BmpFile* b) { b->info.biClrUsed = 0xFFFFFFFF; }, 256, 8, 0},
      {"1-bit 33 wide: rows of 8 bytes", Bmp(33, 3, 1), Keep, 2, 24, 0},
      {"2-bit 17 wide", Bmp(17, 2, 2), Keep, 4, 16, 0},
      {"4-bit 5 wide", Bmp(5, 2, 4), Keep, 16, 8, 0},
      {"124-byte header, then a 4-entry table", Bmp(4, 2, 8),
       [](BmpFile* b) {
         b->info.biSize = 124;
         b->info.biClrUsed = 4;
         b->afterHeader = Pattern(84, 7);
         b->palette.resize(16);
       },
       4, 8, 0, 138},
      {"biSize past the end of the file", Bmp(4, 2, 8),
       [](BmpFile* b) { b->info.biSize = 0xFFFFFFF0; }, 256, 8, 0, 0xFFFFFFFE},
      {"top-down: rows as stored", Bmp(3, -2, 24), Keep, 0, 24, 0},
      {"top-down RLE8: no block", Bmp(4, -4, 8), [](BmpFile* b) { b->info.biCompression = 1; },
       256, kNoBlock, 0},
      {"16-bit colour masks go to the palette", Bmp(4, 3, 16), AddMasks, 3, 24, 0},
      {"32-bit colour masks go to the palette", Bmp(2, 2, 32), AddMasks, 3, 16, 0},
      // Run-length rows: biSizeImage bytes of runs, or up to the end of the file.
      {"RLE8 runs as biSizeImage counts them", Bmp(4, 4, 8),
       [](BmpFile* b) { RunLength(b, 1, 6, 10); }, 256, 6, 0},
      {"RLE8 runs longer than the rows uncompressed", Bmp(2, 2, 8),
       [](BmpFile* b) { RunLength(b, 1, 20, 20); }, 256, 20, 0},
      {"RLE4 runs up to the end: biSizeImage 0", Bmp(5, 3, 4),
       [](BmpFile* b) { RunLength(b, 2, 0, 30); }, 16, 30, 0},
      {"RLE8 runs up to the end: biSizeImage past it", Bmp(4, 4, 8),
       [](BmpFile* b) { RunLength(b, 1, 1000, 9); }, 256, 9, 0},
      {"RLE8 cut at its rows: an end of line", Bmp(4, 4, 8),
       [](BmpFile* b) { RunLength(b, 1, 40, 0); }, 256, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpFile bmp = c.bmp;
    c.change(&bmp);
    const std::string bytes = bmp.Bytes();
    PictureRecord before = EarlierRecord();
    before.pixels = nullptr;
    PictureRecord after = before;
    Load(bytes, &after);
    if (IsRunLength(bmp.info) && c.pixelBytes != kNoBlock) {  // the runs' size as read
      EXPECT_EQ(after.infoHeader.biSizeImage, static_cast<DWORD>(c.pixelBytes));
      after.infoHeader.biSizeImage = bmp.info.biSizeImage;
    }
    ExpectRead(bytes, before, &after, c.entries, c.pixelBytes, c.rowsAt, c.tableAt);
  }
}

// 3-byte table entries after a 12-byte header, as many as fit before the rows.
TEST(PictureFile, Os2CoreHeaderReadsAsItsWindowsEquivalent) {
  for (uint32_t entries : {16u, 4u}) {
    BmpFile bmp = Bmp(5, 2, 4);
    std::string os2;
    Add16(&os2, 0x4D42);
    for (uint32_t field : {0u, 0u, 26 + 3 * entries, 12u}) Add32(&os2, field);
    for (uint32_t field : {5u, 2u, 1u, 4u}) Add16(&os2, field);
    for (uint32_t i = 0; i < entries; ++i) os2 += bmp.palette.substr(i * 4, 3);
    for (uint32_t i = 0; i < entries; ++i) bmp.palette[i * 4 + 3] = '\0';
    bmp.palette.resize(entries * 4);
    bmp.info.biClrUsed = entries == 16 ? 0 : entries;
    PictureRecord windows = EarlierRecord();
    PictureRecord core = EarlierRecord();
    Load(bmp.Bytes(), &windows);
    Load(os2 + bmp.pixels, &core);
    EXPECT_EQ(HeaderBytes({}, core.infoHeader), HeaderBytes({}, windows.infoHeader));
    EXPECT_EQ(memcmp(core.palette, windows.palette, sizeof core.palette), 0) << entries;
    EXPECT_EQ(memcmp(core.pixels, windows.pixels, 8), 0);
    free(core.pixels);
    free(windows.pixels);
  }
}

TEST(PictureFile, ShortFileKeepsWhatCameInAndLeavesZeroRows) {
  const std::string full = Bmp(4, 2, 8).Bytes();  // 54 + 1024 + 24 bytes
  struct Case {
    std::string name;
    std::string bytes;
    int entries;
    LONG pixelBytes;
  };
  std::vector<Case> cases = {
      {"inside the rows", full.substr(0, 1082), 256, 8},
      {"at the rows' start", full.substr(0, 1078), 256, 8},
      {"inside the palette", full.substr(0, 600), 256, 8},
      {"one byte short of the info header", full.substr(0, 53), 256, 8},
      {"inside the info header after the bit count", full.substr(0, 40), 256, 8},
      // The earlier record's bit count has no palette size: no block.
      {"the file header alone", full.substr(0, 14), 0, kNoBlock},
      {"one byte short of the file header", full.substr(0, 13), 0, kNoBlock},
      {"BM alone", "BM", 0, kNoBlock},
  };
  BmpFile rows = Bmp(3, 4, 24);  // 4 rows of 12 bytes
  rows.pixels = Pattern(48, 5);
  for (size_t kept = 0; kept <= 4; ++kept) {
    cases.push_back({std::to_string(kept) + " of 4 rows", rows.Bytes().substr(0, 54 + kept * 12),
                     0, 48});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PictureRecord before = EarlierRecord();
    before.pixels = nullptr;
    PictureRecord after = before;
    Load(c.bytes, &after);
    ExpectRead(c.bytes, before, &after, c.entries, c.pixelBytes);
  }
}

TEST(PictureFile, FileNotStartingWithBmKeepsEarlierPixels) {
  const auto typed = [](WORD type) {
    BmpFile bmp = Bmp(4, 2, 8);
    bmp.file.bfType = type;
    return bmp.Bytes();
  };
  struct Case {
    const char* name;
    std::string bytes;
  } const cases[] = {
      {"BA", typed(0x4142)},
      {"bm", typed(0x6D62)},
      {"MB", typed(0x424D)},
      {"one byte B", "B"},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PictureRecord before = EarlierRecord();
    PictureRecord after = before;
    Load(c.bytes, &after);
    EXPECT_EQ(after.pixels, kEarlierBlock);
    after.pixels = nullptr;
    ExpectRead(c.bytes, before, &after, 0, kNoBlock);
  }
}

TEST(PictureFile, UnopenableFileLeavesRecordUntouched) {
  // A folder cannot be opened as a file on Windows; on Linux fopen opens it
  // and only the read fails, which must count the same.
  const std::string folder = ScratchDir();
  for (const std::string& path : {ScratchDir() + "missing.bmp", ScratchDir() + "none/x.bmp",
                                  folder, folder.substr(0, folder.size() - 1)}) {
    SCOPED_TRACE(path);
    const PictureRecord before = EarlierRecord();
    PictureRecord after;
    memcpy(&after, &before, sizeof after);  // padding included, for memcmp
    EXPECT_EQ(LoadPicture(path.c_str(), &after), nullptr);
    EXPECT_EQ(memcmp(&after, &before, sizeof before), 0);
  }
}

TEST(PictureFile, OpensLongAndShiftJisPathsAsGiven) {
  const char separator = ScratchDir().back();
  const std::string deep = ScratchDir() + std::string(120, 'd') + separator;
  MakeDir(deep);
  const auto ofLength = [&](size_t size) {
    return deep + std::string(size - deep.size() - 4, 'f') + ".bmp";
  };
  const std::string table = ScratchDir() + "\x95\x5C";  // its trail byte is 0x5C
  MakeDir(table);
  struct Case {
    std::string path;
    bool opens;  // else Windows may refuse it as longer than MAX_PATH allows
  } const cases[] = {
      {ofLength(259), true},
      {ofLength(260), false},
      {ofLength(300), false},
      {table + separator + "a.bmp", true},
      {table + ".bmp", true},
  };
  const std::string bytes = Bmp(3, 2, 24).Bytes();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path.size() << " bytes: " << c.path);
    const bool written = WriteFileBytes(c.path, bytes);
    EXPECT_TRUE(written || !c.opens);
    PictureRecord before = EarlierRecord();
    before.pixels = nullptr;
    PictureRecord after;
    memcpy(&after, &before, sizeof after);
    if (written) {
      Load(bytes, &after, c.path);
      ExpectRead(bytes, before, &after, 0, 24);
    } else {
      EXPECT_EQ(LoadPicture(c.path.c_str(), &after), nullptr);
      EXPECT_EQ(memcmp(&after, &before, sizeof before), 0);
    }
  }
}

TEST(PictureFile, HeaderWithoutUsableSizeGetsNoBlock) {
  struct Case {
    const char* name;
    LONG width;
    LONG height;
    WORD bitCount;
    int entries;  // palette entries still read
  } const cases[] = {
      {"bit count 0", 4, 2, 0, 0},
      {"bit count 3", 4, 2, 3, 0},
      {"bit count 7", 4, 2, 7, 0},
      {"bit count 64", 4, 2, 64, 0},
      {"bit count 65535", 4, 2, 65535, 0},
      {"width 0", 0, 2, 8, 256},
      {"negative width", -4, 2, 8, 256},
      {"height 0", 4, 0, 8, 256},
      {"height INT32_MIN", 4, INT32_MIN, 8, 256},
      {"width 0x7FFFFFFF", 0x7FFFFFFF, 2, 24, 0},
      {"height 0x7FFFFFFF", 4, 0x7FFFFFFF, 8, 256},
      {"width x bit count just past INT32_MAX", 0x4000000, 1, 32, 0},
      {"block just past INT32_MAX", 0x7FFFFFFF, 8, 1, 2},
      {"24-bit block just past INT32_MAX", 3, 178956971, 24, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = Bmp(c.width, c.height, c.bitCount).Bytes();
    const PictureRecord before = EarlierRecord();
    PictureRecord after = before;
    Load(bytes, &after);
    ExpectRead(bytes, before, &after, c.entries, kNoBlock);
  }
}

TEST(PictureFile, SizesStayWithinSignedThirtyTwoBits) {
  struct Case {
    LONG width;
    LONG height;
    WORD bitCount;
    LONG row;
    LONG pixels;
    bool block;
  } const cases[] = {
      {3, 2, 24, 12, 24, true},
      {33, 1, 1, 8, 8, true},
      {3, -2, 24, 12, -24, true},  // top-down: the block holds |height| rows
      {0x7FFFFFFF, 7, 1, 268435456, 1879048192, true},  // rounding passes INT32_MAX
      {0x7FFFFFFF, 8, 1, 268435456, -1, false},         // block just past
      {0x3FFFFFF, 1, 32, 268435452, 268435452, true},   // row bits just fit
      {0x4000000, 1, 32, -1, -1, false},                // row bits just past
      {0x7FFFFFFF, 1, 65535, -1, -1, false},
      {3, 178956970, 24, 12, 2147483640, true},
      {3, 178956971, 24, 12, -1, false},
      {3, -178956970, 24, 12, -2147483640, true},
      {3, -178956971, 24, 12, -1, false},  // past INT32_MIN
      {1, INT32_MIN, 32, 4, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " x " << c.bitCount);
    BITMAPINFOHEADER info{40, c.width, c.height, 1, c.bitCount, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(RowBytes(info), c.row);
    EXPECT_EQ(PixelBytes(info), c.pixels);
    LONG bytes = 12345;
    EXPECT_EQ(PictureBlockSize(info, &bytes), c.block);
    EXPECT_EQ(bytes, c.block ? std::abs(c.pixels) : 12345);
  }
}

}  // namespace
