#include "picture/picture_paint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "picture/picture_codecs.h"
#include "picture/picture_file.h"
#include "../test_files.h"
#include "pattern_picture.h"
#include "wic_picture.h"

namespace {

constexpr int kTargetWidth = 64;
constexpr int kTargetHeight = 48;
constexpr COLORREF kUntouched = RGB(0x12, 0x34, 0x56);
constexpr uint32_t kUntouchedRgb = 0x123456;

// A 32-bit top-down DIB section in a memory DC: a target we can read back.
class PaintTarget : public testing::Test {
 protected:
  void SetUp() override { MakeTarget(kTargetWidth, kTargetHeight); }
  void MakeTarget(int width, int height) {
    TearDown();
    targetWidth = width;
    targetHeight = height;
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    dc = CreateCompatibleDC(nullptr);
    section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    ASSERT_NE(section, nullptr);
    previous = SelectObject(dc, section);
    Clear();
  }
  void Clear() {
    GdiFlush();
    for (int i = 0; i < targetWidth * targetHeight; ++i) bits[i] = kUntouchedRgb;
  }
  void TearDown() override {
    if (dc == nullptr) return;
    SelectObject(dc, previous);
    DeleteObject(section);
    DeleteDC(dc);
    dc = nullptr;
  }

  COLORREF At(int x, int y) const {
    const DWORD v = bits[y * targetWidth + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }

  void Draw(const PictureRecord& record) {
    GdiFlush();
    HPALETTE palette = CreateHalftonePalette(dc);
    auto* previousPalette = static_cast<HPALETTE>(GetCurrentObject(dc, OBJ_PAL));
    const RECT rect = ShownPart(record.infoHeader, targetWidth, targetHeight);
    DrawPicture(dc, palette, record, rect, rect);
    SelectPalette(dc, previousPalette, FALSE);
    DeleteObject(palette);
    GdiFlush();
  }

  // Every pixel of the target: the picture where it lies, untouched around it.
  testing::AssertionResult ShowsOnlyThePicture(const PatternPicture& picture, int width,
                                               int height) {
    return SamePixels(ReadBack(dc, targetWidth, targetHeight), [&](int x, int y) {
      return x < width && y < height ? picture.Shows(x, y, kUntouchedRgb) : kUntouchedRgb;
    });
  }

  int targetWidth = 0;
  int targetHeight = 0;
  HDC dc = nullptr;
  HBITMAP section = nullptr;
  HGDIOBJ previous = nullptr;
  DWORD* bits = nullptr;
};

// Each layout the painting takes, every row and column from its own place in
// the picture, larger and smaller than the target. Big targets take two or
// three bands, the last one shorter; a lowered limit makes GDI refuse bands
// until they are halved.
TEST_F(PaintTarget, EveryPixelShowsInItsPlaceWhateverTheLayoutAndBands) {
  constexpr long long kWindows = 48LL << 20;
  const struct {
    const char* name;
    Layout layout;
    bool topDown;
    int width, height;
    int targetWidth = kTargetWidth, targetHeight = kTargetHeight;
    long long limit = kWindows;
  } cases[] = {
      {"1-bit", Layout::k1, false, 37, 21},
      {"4-bit", Layout::k4, false, 70, 50},
      {"8-bit with a colour table", Layout::k8, false, 37, 21},
      {"16-bit bit fields", Layout::k16BitFields, false, 70, 50},
      {"24-bit bottom-up, rows padded", Layout::k24, false, 37, 21},
      {"24-bit top-down", Layout::k24, true, 70, 50},
      {"32-bit bottom-up", Layout::k32, false, 70, 50},
      {"32-bit top-down", Layout::k32, true, 37, 21},
      {"RLE8", Layout::kRle8, false, 70, 50},
      {"RLE4", Layout::kRle4, false, 37, 21},
      {"premultiplied alpha", Layout::kPremultiplied, true, 70, 50},
      {"decoded", Layout::kDecoded, true, 70, 50},
      {"two bands, bottom-up", Layout::k24, false, 1100, 800, 1024, 700},
      {"three bands, top-down", Layout::k24, true, 1030, 1400, 1024, 1300},
      {"three bands, RLE8", Layout::kRle8, false, 1030, 1400, 1024, 1300},
      {"three bands, premultiplied", Layout::kPremultiplied, true, 1030, 1400, 1024, 1300},
      {"halved bands, bottom-up", Layout::k8, false, 70, 50, 64, 47, 64 * 4 * 10},
      {"halved bands, top-down", Layout::k32, true, 70, 50, 64, 47, 64 * 4 * 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MakeTarget(c.targetWidth, c.targetHeight);
    const PatternPicture picture(c.width, c.height, c.layout, c.topDown);
    CheckedReset();
    CheckedBitmapLimit(c.limit);
    Draw(picture.record);
    EXPECT_TRUE(ShowsOnlyThePicture(picture, c.width, c.height));
    EXPECT_LE(CheckedLargestBitmap(), std::min<long long>(c.limit, kBandBytes));
  }
  CheckedReset();
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
    ASSERT_NE(LoadAnyPicture(Wide(folder + name).c_str(), kTargetWidth, kTargetHeight, nullptr,
                             &record, &comStarted),
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

TEST_F(PaintTarget, RecordWithoutPixelsDrawsNothing) {
  PatternPicture picture(5, 3, Layout::k24);
  picture.record.pixels = nullptr;
  Draw(picture.record);
  EXPECT_TRUE(ShowsOnlyThePicture(picture, 0, 0));
  EXPECT_EQ(CreatePictureBitmap(dc, picture.record, RECT{0, 0, 5, 3}), nullptr);
}

// Header fields from the file must not make GDI read past what it is given.
// The pixel block ends at an inaccessible page, and the checked calls hand
// GDI the header and the colour table the same way, so any over-read faults.
// Runs that never end, under a size far past the end of their file, come
// through the reader, which keeps what the file holds.
TEST_F(PaintTarget, HostileHeaderFieldsStayWithinTheGivenMemory) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const DWORD page = system.dwPageSize;
  auto* base = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(base, nullptr);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));

  const PatternPicture runs(8, 8, Layout::kRle8);
  const BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, 14 + 40 + sizeof runs.record.palette};
  BITMAPINFOHEADER header = runs.record.infoHeader;
  header.biSizeImage = 0x7FFFFFF0;
  const auto bytes = [](const void* from, size_t size) {
    return std::string(static_cast<const char*>(from), size);
  };
  const std::string path = ScratchDir() + "endless.bmp";
  ASSERT_TRUE(WriteFileBytes(path, bytes(&file, 14) + bytes(&header, 40) +
                                       bytes(runs.record.palette, sizeof runs.record.palette) +
                                       bytes(runs.block.data(), runs.block.size() - 2)));
  PictureRecord endless = {};
  ASSERT_NE(LoadPicture(path.c_str(), &endless), nullptr);
  RemoveFile(path);
  PatternPicture v5(8, 8, Layout::k8);
  v5.record.infoHeader.biSize = 124;
  PatternPicture colours(8, 8, Layout::k8);
  colours.record.infoHeader.biClrUsed = 305402420;
  const struct {
    const char* name;
    PictureRecord record;
  } cases[] = {
      {"V5 header", v5.record},
      {"absurd colour count", colours.record},
      {"RLE8 without an end, its size past the file's", endless},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LONG blockBytes = 0;
    ASSERT_TRUE(PictureBlockSize(c.record.infoHeader, &blockBytes));
    PictureRecord record = c.record;
    record.pixels = base + page - blockBytes;
    memcpy(record.pixels, c.record.pixels, static_cast<size_t>(blockBytes));
    Draw(record);
  }
  free(endless.pixels);
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
        LoadAnyPicture(Wide(path).c_str(), kTargetWidth, kTargetHeight, nullptr, &record,
                       &comStarted));
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

// A photo's colour profile turns its colours into the screen's: towards a
// display profile whose red and green are sRGB's swapped, red and green come
// out swapped from what they are on an sRGB screen.
TEST(DecodedPicture, TurnsColoursIntoTheScreensProfile) {
  const std::string colord = "Z:\\usr\\share\\color\\icc\\colord\\";
  const std::string profile = ReadFileBytes(colord + "AdobeRGB1998.icc");
  ASSERT_FALSE(profile.empty());
  const std::string made = ScratchDir() + "quadrants.jpg";
  ASSERT_TRUE(WriteQuadrants(made, 64, 48, GUID_ContainerFormatJpeg));
  const std::string jpeg = ReadFileBytes(made);
  const size_t length = 2 + 14 + profile.size();
  const std::string app2 = std::string("\xFF\xE2") + static_cast<char>(length >> 8) +
                           static_cast<char>(length) + std::string("ICC_PROFILE\0\1\1", 14) +
                           profile;
  ASSERT_TRUE(WriteFileBytes(made, jpeg.substr(0, 2) + app2 + jpeg.substr(2)));
  const std::string swapped = colord + "SwappedRedAndGreen.icc";
  std::vector<uint32_t> shown[2];
  for (const char* display : {static_cast<const char*>(nullptr), swapped.c_str()}) {
    CheckedDisplayProfile(display);
    PictureRecord record = {};
    bool comStarted = false;
    const auto* pixels = static_cast<const uint32_t*>(LoadAnyPicture(
        Wide(made).c_str(), kTargetWidth, kTargetHeight, nullptr, &record, &comStarted));
    if (comStarted) CoUninitialize();
    ASSERT_NE(pixels, nullptr);
    shown[display != nullptr].assign(pixels, pixels + kTargetWidth * kTargetHeight);
    free(record.pixels);
  }
  CheckedDisplayProfile(nullptr);
  int wrong = 0;
  for (size_t i = 0; i < shown[0].size(); ++i) {
    const uint32_t s = shown[0][i];
    const uint32_t swappedBack = (s & 0xFF0000FF) | (s >> 8 & 0xFF00) | (s & 0xFF00) << 8;
    for (int shift : {0, 8, 16}) {
      if (abs(static_cast<int>(shown[1][i] >> shift & 0xFF) -
              static_cast<int>(swappedBack >> shift & 0xFF)) > 6 && wrong++ == 0) {
        ADD_FAILURE() << "pixel " << i << ": 0x" << std::hex << shown[1][i] << " towards the "
                      << "swapped display, 0x" << s << " towards sRGB";
      }
    }
  }
  EXPECT_EQ(wrong, 0);
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
