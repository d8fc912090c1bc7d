#include "pattern_picture.h"

#include <cstdio>
#include <cstring>

#include "picture/picture_codecs.h"

namespace {

constexpr uint32_t kSeeThrough = 0xFF000000;

uint32_t Hash(int x, int y) {
  uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  return h ^ h >> 12;
}

// Red steps with x, green with y, blue is noise.
uint32_t DirectColour(int x, int y) {
  return static_cast<uint32_t>(x & 255) << 16 | static_cast<uint32_t>(y & 255) << 8 |
         (Hash(x, y) & 255);
}

// Palette entry i: never black, which stands for pixels no run wrote.
uint32_t EntryColour(int i) {
  return static_cast<uint32_t>(i) << 16 | static_cast<uint32_t>(255 - i) << 8 |
         ((i * 37 + 101) & 255);
}

// The low two bits tell neighbours apart, the rest is noise.
int Index(int x, int y, int bits) {
  if (bits == 1) return static_cast<int>(Hash(x, y) & 1);
  return (x & 1) | (y & 1) << 1 | static_cast<int>(Hash(x, y) % (1u << (bits - 2))) << 2;
}

uint32_t Expand(uint32_t value, int bits) { return value << (8 - bits) | value >> (2 * bits - 8); }

}  // namespace

// Row y of a run-length picture at least 8 wide: on some rows an encoded run
// of four, a delta skip of three and an end of line three short; absolute
// runs for the rest. Pixels that no run writes stay black in `colours`.
void PatternPicture::AddRuns(int y, int bits, bool last) {
  const auto put = [this](std::initializer_list<unsigned char> bytes) {
    block.insert(block.end(), bytes);
  };
  const auto show = [&](int x, int index) {
    colours[static_cast<size_t>(y) * rowPixels + x] = EntryColour(index);
  };
  int x = 0;
  if (y % 5 == 1) {
    const int first = Index(0, y, bits);
    const int second = bits == 4 ? Index(1, y, bits) : first;  // RLE4 runs alternate
    put({4, static_cast<unsigned char>(bits == 4 ? first << 4 | second : first)});
    for (; x < 4; ++x) show(x, x % 2 == 0 ? first : second);
  }
  if (y % 7 == 3 && rowPixels >= x + 6) {
    put({0, 2, 3, 0});
    x += 3;
  }
  const int end = y % 4 == 2 && rowPixels >= x + 6 ? rowPixels - 3 : rowPixels;
  while (x < end) {
    // Absolute runs hold 3 to 255 pixels and end on a word.
    const int count = end - x <= 254 ? end - x : end - x - 254 < 3 ? 250 : 254;
    put({0, static_cast<unsigned char>(count)});
    const size_t start = block.size();
    for (int i = 0; i < count; ++i, ++x) {
      const int index = Index(x, y, bits);
      show(x, index);
      if (bits == 8 || i % 2 == 0) {
        block.push_back(static_cast<unsigned char>(bits == 8 ? index : index << 4));
      } else {
        block.back() = static_cast<unsigned char>(block.back() | index);
      }
    }
    if ((block.size() - start) % 2 != 0) block.push_back(0);
  }
  put({0, static_cast<unsigned char>(last ? 1 : 0)});
}

PatternPicture::PatternPicture(int width, int height, Layout layout, bool topDown)
    : rowPixels(width), colours(static_cast<size_t>(width) * height, 0) {
  static const int kBits[] = {1, 4, 8, 16, 24, 32, 4, 8, 32, 32};
  const int bits = kBits[static_cast<int>(layout)];
  BITMAPINFOHEADER& h = record.infoHeader;
  h = {sizeof(BITMAPINFOHEADER), width, topDown ? -height : height, 1, static_cast<WORD>(bits),
       BI_RGB, 0, 0, 0, 0, 0};
  for (int i = 0; i < 256; ++i) {
    const uint32_t c = EntryColour(i);
    record.palette[i] = {static_cast<BYTE>(c), static_cast<BYTE>(c >> 8),
                         static_cast<BYTE>(c >> 16), 0};
  }
  if (layout == Layout::kDecoded) {
    free(DecodedPictureBlock(static_cast<UINT>(width), static_cast<UINT>(height), &h));
    topDown = true;
  }
  if (layout == Layout::kRle4 || layout == Layout::kRle8) {
    h.biCompression = bits == 8 ? BI_RLE8 : BI_RLE4;
    for (int row = 0; row < height; ++row) AddRuns(height - 1 - row, bits, row == height - 1);
    h.biSizeImage = static_cast<DWORD>(block.size());
    record.pixels = block.data();
    return;
  }
  if (layout == Layout::k16BitFields) {
    h.biCompression = BI_BITFIELDS;
    const DWORD masks[] = {0xF800, 0x07E0, 0x001F};
    memcpy(record.palette, masks, sizeof masks);
  }
  record.premultipliedAlpha = layout == Layout::kPremultiplied;
  const size_t rowBytes = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  block.assign(rowBytes * height, 0);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = block.data() + rowBytes * (topDown ? y : height - 1 - y);
    for (int x = 0; x < width; ++x) {
      uint32_t& shown = colours[static_cast<size_t>(y) * width + x];
      shown = DirectColour(x, y);
      if (bits <= 8) {
        const int index = Index(x, y, bits);
        row[x * bits / 8] |= static_cast<unsigned char>(index << (8 - bits - x * bits % 8));
        shown = EntryColour(index);
      } else if (bits == 16) {
        const uint32_t r = shown >> 19 & 31;
        const uint32_t g = shown >> 10 & 63;
        const uint32_t b = shown >> 3 & 31;
        row[x * 2] = static_cast<unsigned char>(g << 5 | b);
        row[x * 2 + 1] = static_cast<unsigned char>(r << 3 | g >> 3);
        shown = Expand(r, 5) << 16 | Expand(g, 6) << 8 | Expand(b, 5);
      } else {
        const bool clear = record.premultipliedAlpha && (Hash(x, y) >> 8 & 1) != 0;
        const uint32_t stored = clear ? 0 : shown;
        if (clear) shown = kSeeThrough;
        memcpy(row + x * bits / 8, &stored, 3);  // blue, green, red
        if (bits == 32) row[x * 4 + 3] = clear ? 0 : 255;
      }
    }
  }
  record.pixels = block.data();
}

uint32_t PatternPicture::Shows(int x, int y, uint32_t under) const {
  const uint32_t shown = colours[static_cast<size_t>(y) * rowPixels + x];
  return shown == kSeeThrough ? under : shown;
}

testing::AssertionResult SamePixels(const Pixels& got,
                                    const std::function<uint32_t(int x, int y)>& expected) {
  if (got.rgb.empty()) return testing::AssertionFailure() << "nothing was read back";
  long long wrong = 0;
  testing::Message first;
  for (int y = 0; y < got.height; ++y) {
    for (int x = 0; x < got.width; ++x) {
      const uint32_t want = expected(x, y);
      const uint32_t have = got.rgb[static_cast<size_t>(y) * got.width + x];
      if (have == want || wrong++ > 0) continue;
      char colours[40];
      snprintf(colours, sizeof colours, "#%06X instead of #%06X", have, want);
      first << "the first at " << x << "," << y << ", in row " << y << ": " << colours;
    }
  }
  if (wrong == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << wrong << " of " << got.width << "x" << got.height
                                     << " pixels differ; " << first;
}
