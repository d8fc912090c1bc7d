#include "picture/picture_paint.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "picture/picture_codecs.h"
#include "picture/picture_file.h"
#include "../test_files.h"
#include "wic_picture.h"

namespace {

constexpr int kTargetWidth = 64;
constexpr int kTargetHeight = 48;
constexpr COLORREF kUntouched = RGB(0x12, 0x34, 0x56);

// A 32-bit top-down DIB section in a memory DC: a target we can read back.
class PaintTarget : public testing::Test {
 protected:
  void SetUp() override {
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kTargetWidth;
    info.bmiHeader.biHeight = -kTargetHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc = CreateCompatibleDC(nullptr);
    section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    ASSERT_NE(section, nullptr);
    previous = SelectObject(dc, section);
    Clear();
  }
  void Clear() {
    GdiFlush();
    for (int i = 0; i < kTargetWidth * kTargetHeight; ++i) bits[i] = 0x123456;
  }
  void TearDown() override {
    SelectObject(dc, previous);
    DeleteObject(section);
    DeleteDC(dc);
  }

  COLORREF At(int x, int y) const {
    const DWORD v = bits[y * kTargetWidth + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }

  void Draw(const PictureRecord& record) {
    GdiFlush();
    HPALETTE palette = CreateHalftonePalette(dc);
    auto* previousPalette = static_cast<HPALETTE>(GetCurrentObject(dc, OBJ_PAL));
    const RECT rect = ShownPart(record.infoHeader, kTargetWidth, kTargetHeight);
    DrawPicture(dc, palette, record, rect, rect);
    SelectPalette(dc, previousPalette, FALSE);
    DeleteObject(palette);
    GdiFlush();
  }

  HDC dc = nullptr;
  HBITMAP section = nullptr;
  HGDIOBJ previous = nullptr;
  DWORD* bits = nullptr;
};

// Colour of picture pixel (x, y), y counted from the top.
COLORREF Expected(int x, int y) {
  static const COLORREF colours[] = {RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(0, 0, 255),
                                     RGB(255, 255, 0), RGB(0, 255, 255), RGB(255, 0, 255),
                                     RGB(255, 255, 255), RGB(0, 0, 0)};
  return colours[(x + 2 * y) % 8];
}

// A bottom-up picture of `width` x `height` in the given bit count, using the
// eight colours above through a palette where the format has one.
struct TestPicture {
  PictureRecord record;
  std::vector<unsigned char> pixels;

  TestPicture(int width, int height, int bitCount) {
    memset(&record, 0, sizeof record);
    BITMAPINFOHEADER& h = record.infoHeader;
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bitCount);
    const int colourCount = bitCount == 1 ? 2 : 8;
    for (int i = 0; i < colourCount; ++i) {
      const COLORREF c = Expected(i, 0);
      record.palette[i] = RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
    }
    const int rowBytes = (width * bitCount + 31) / 32 * 4;
    pixels.assign(static_cast<size_t>(rowBytes) * height, 0);
    for (int y = 0; y < height; ++y) {
      unsigned char* row = pixels.data() + static_cast<size_t>(height - 1 - y) * rowBytes;
      for (int x = 0; x < width; ++x) {
        const COLORREF c = Colour(x, y);
        const int index = bitCount == 1 ? (x + 2 * y) % 2 : (x + 2 * y) % 8;
        switch (bitCount) {
          case 1: row[x / 8] |= static_cast<unsigned char>(index << (7 - x % 8)); break;
          case 4: row[x / 2] |= static_cast<unsigned char>(index << (x % 2 == 0 ? 4 : 0)); break;
          case 8: row[x] = static_cast<unsigned char>(index); break;
          default: {
            unsigned char* p = row + x * (bitCount / 8);
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
          }
        }
      }
    }
    record.pixels = pixels.data();
  }

  COLORREF Colour(int x, int y) const {
    if (record.infoHeader.biBitCount == 1) return Expected((x + 2 * y) % 2, 0);
    return Expected(x, y);
  }
};

TEST_F(PaintTarget, DrawsUprightAtNaturalSizeFromTheTopLeft) {
  for (int bitCount : {1, 4, 8, 24, 32}) {
    SCOPED_TRACE(testing::Message() << bitCount << "-bit");
    Clear();
    TestPicture picture(5, 3, bitCount);
    Draw(picture.record);
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 8; ++x) {
        const COLORREF want = x < 5 && y < 3 ? picture.Colour(x, y) : kUntouched;
        ASSERT_EQ(At(x, y), want) << "at " << x << "," << y;
      }
    }
  }
}

// Files as other programs write them, each a 30x20 picture of four coloured
// quadrants (tests/pictures/README.md says how each was made), loaded and
// drawn as the viewer does: short colour tables, colour masks, rows where
// bfOffBits says, longer and OS/2 headers, top-down rows and run-length
// compression; and, through Windows' codecs, the first frame or page of
// other formats, turned as the EXIF orientation says, with a transparent
// half that leaves the target as it was. COM starts only for those.
TEST_F(PaintTarget, FilesThatOtherProgramsWriteShowAsTheyAre) {
  char exe[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string folder = exe;
  folder = folder.substr(0, folder.rfind('\\') + 1) + "pictures\\";
  const auto quadrant = [](int x, int y) {
    static const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255),
                                       RGB(255, 255, 0)};
    return colours[(x >= 15 ? 1 : 0) + (y >= 10 ? 2 : 0)];
  };
  const auto within = [](COLORREF a, COLORREF b, int levels) {
    return abs(GetRValue(a) - GetRValue(b)) <= levels &&
           abs(GetGValue(a) - GetGValue(b)) <= levels && abs(GetBValue(a) - GetBValue(b)) <= levels;
  };
  for (const std::string name :
       {"gimp-indexed-4bit.bmp", "gimp-indexed-8bit.bmp", "full-table-8bit.bmp",
        "bitfields16.bmp", "bitfields32.bmp", "gimp-rgb565.bmp", "table-24bit.bmp",
        "magick-24bit-v5.bmp", "gimp-rle-4bit.bmp", "gimp-rle-8bit.bmp", "magick-4bit-v5.bmp",
        "magick-bmp2.bmp", "topdown-24bit.bmp", "topdown-8bit.bmp", "quad.png", "quad.jpg",
        "quad.gif", "quad.tif", "turned-6.jpg", "turned-8-mm.jpg", "alpha-left.png"}) {
    SCOPED_TRACE(name);
    const bool bmp = name.find(".bmp") != std::string::npos;
    const int levels = name.find(".jpg") != std::string::npos ? 3 : 0;  // JPEG is lossy
    const bool clearLeft = name.rfind("alpha-", 0) == 0;
    Clear();
    PictureRecord record = {};
    const int comStarts = CheckedComStarts();
    bool comStarted = false;
    ASSERT_NE(LoadAnyPicture((folder + name).c_str(), kTargetWidth, kTargetHeight, &record,
                             &comStarted),
              nullptr);
    EXPECT_EQ(CheckedComStarts() - comStarts, bmp ? 0 : 1);
    EXPECT_EQ(comStarted, !bmp);
    if (comStarted) CoUninitialize();
    Draw(record);
    free(record.pixels);
    int wrong = 0;
    for (int y = 0; y < 21; ++y) {
      for (int x = 0; x < 31; ++x) {
        const bool shown = x < 30 && y < 20 && !(clearLeft && x < 15);
        const COLORREF want = shown ? quadrant(x, y) : kUntouched;
        if (!within(At(x, y), want, shown ? levels : 0) && wrong++ == 0) {
          ADD_FAILURE() << "at " << x << "," << y << ": " << std::hex << At(x, y)
                        << " instead of " << want;
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(PaintTarget, LargerPictureShowsItsTopLeftPart) {
  TestPicture picture(kTargetWidth + 20, kTargetHeight + 10, 24);
  Draw(picture.record);
  for (int y : {0, 1, kTargetHeight - 1}) {
    for (int x : {0, 3, kTargetWidth - 1}) {
      ASSERT_EQ(At(x, y), picture.Colour(x, y)) << "at " << x << "," << y;
    }
  }
}

TEST_F(PaintTarget, RecordWithoutPixelsDrawsNothing) {
  TestPicture picture(5, 3, 24);
  picture.record.pixels = nullptr;
  Draw(picture.record);
  for (int y = 0; y < kTargetHeight; ++y) {
    for (int x = 0; x < kTargetWidth; ++x) ASSERT_EQ(At(x, y), kUntouched);
  }
  EXPECT_EQ(CreatePictureBitmap(dc, picture.record, RECT{0, 0, 5, 3}), nullptr);
}

// Header fields from the file must not make GDI read past what it is given.
// The pixel block ends at an inaccessible page, and the checked calls hand
// GDI the header and the colour table the same way, so any over-read faults.
TEST_F(PaintTarget, HostileHeaderFieldsStayWithinTheGivenMemory) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const DWORD page = system.dwPageSize;
  auto* base = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(base, nullptr);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));

  struct Case {
    const char* name;
    DWORD size;
    DWORD clrUsed;
    DWORD compression;
    DWORD sizeImage;
  } const cases[] = {
      {"V5 header", 124, 0, BI_RGB, 0},
      {"absurd colour count", 40, 305402420, BI_RGB, 0},
      {"RLE8 size past the block", 40, 0, BI_RLE8, 0x7FFFFFF0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestPicture picture(8, 8, 8);
    picture.record.infoHeader.biSize = c.size;
    picture.record.infoHeader.biClrUsed = c.clrUsed;
    picture.record.infoHeader.biCompression = c.compression;
    picture.record.infoHeader.biSizeImage = c.sizeImage;
    unsigned char* block = base + page - picture.pixels.size();
    memcpy(block, picture.pixels.data(), picture.pixels.size());
    picture.record.pixels = block;
    Draw(picture.record);
  }
  VirtualFree(base, 0, MEM_RELEASE);
}

// A photo far bigger than the window keeps only the window's top-left part,
// from the stored corner that its EXIF orientation turns there: the stored
// top-left when upright, the bottom-left for 6 and the top-right for 8.
TEST(DecodedPicture, KeepsOnlyTheCornerTheWindowShows) {
  const std::string made = ScratchDir() + "photo.jpg";
  ASSERT_TRUE(WriteQuadrants(made, 6000, 4000, GUID_ContainerFormatJpeg));
  const std::string jpeg = ReadFileBytes(made);
  const struct {
    char orientation;
    COLORREF corner;
  } cases[] = {{1, RGB(255, 0, 0)}, {6, RGB(0, 0, 255)}, {8, RGB(0, 255, 0)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.orientation));
    // An EXIF block of one entry, tag 274, right after the start of image.
    const std::string exif = std::string("\xFF\xE1\0\x22" "Exif\0\0II*\0\x08\0\0\0\x01\0"
                                         "\x12\x01\x03\0\x01\0\0\0",
                                         28) +
                             c.orientation + std::string(7, '\0');
    const std::string path = ScratchDir() + "turned.jpg";
    ASSERT_TRUE(WriteFileBytes(path, jpeg.substr(0, 2) + exif + jpeg.substr(2)));
    PictureRecord record = {};
    bool comStarted = false;
    const auto* pixels = static_cast<const DWORD*>(
        LoadAnyPicture(path.c_str(), kTargetWidth, kTargetHeight, &record, &comStarted));
    if (comStarted) CoUninitialize();
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(record.infoHeader.biWidth, kTargetWidth);
    EXPECT_EQ(record.infoHeader.biHeight, -kTargetHeight);
    for (int at : {0, kTargetWidth * kTargetHeight - 1}) {
      const DWORD v = pixels[at];
      const COLORREF got = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
      const int off = abs(GetRValue(got) - GetRValue(c.corner)) +
                      abs(GetGValue(got) - GetGValue(c.corner)) +
                      abs(GetBValue(got) - GetBValue(c.corner));
      EXPECT_LE(off, 9) << "at pixel " << at << ": 0x" << std::hex << got;
    }
    free(record.pixels);
  }
}

// Checked before WIC is asked for a single pixel; nothing is allocated past it.
TEST(DecodedPictureBlock, KeepsToTheReadersBound) {
  for (UINT height : {2u, 32768u, 60000u}) {  // 16384 wide: 2^31 bytes for 32768 rows
    BITMAPINFOHEADER header = {};
    void* block = DecodedPictureBlock(height == 2 ? 3 : 16384, height, &header);
    EXPECT_EQ(block != nullptr, height == 2) << height;
    EXPECT_EQ(header.biHeight, height == 2 ? -2 : 0);
    free(block);
  }
}

TEST(GdiHeader, BoundsWhatGdiReadsAndKeepsTheRest) {
  BITMAPINFOHEADER header = {};
  header.biSize = 124;
  header.biWidth = 7;
  header.biHeight = 5;
  header.biPlanes = 1;
  header.biBitCount = 8;
  header.biCompression = BI_RLE8;
  header.biSizeImage = 0x7FFFFFF0;
  header.biClrUsed = 305402420;
  header.biClrImportant = 3;
  const BITMAPINFOHEADER safe = GdiHeader(header, 40);
  EXPECT_EQ(safe.biSize, 40u);
  EXPECT_EQ(safe.biClrUsed, 0u);
  EXPECT_EQ(safe.biSizeImage, 40u);
  EXPECT_EQ(safe.biWidth, 7);
  EXPECT_EQ(safe.biHeight, 5);
  EXPECT_EQ(safe.biCompression, static_cast<DWORD>(BI_RLE8));
  EXPECT_EQ(safe.biClrImportant, 3u);

  header.biClrUsed = 256;
  header.biSizeImage = 12;
  EXPECT_EQ(GdiHeader(header, 40).biClrUsed, 256u);   // a real count is kept
  EXPECT_EQ(GdiHeader(header, 40).biSizeImage, 12u);  // so is a size within the block
  header.biCompression = BI_RGB;
  header.biSizeImage = 0x7FFFFFF0;
  EXPECT_EQ(GdiHeader(header, 40).biSizeImage, 0x7FFFFFF0u);  // unused for BI_RGB
}

}  // namespace
