#include "pixels.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kMostMeanLevels = 2;
constexpr double kMostRowLevels = 8;

int Channel(uint32_t rgb, int shift) { return static_cast<int>(rgb >> shift & 0xFF); }

}  // namespace

Pixels ReadBack(HDC hdc, int width, int height) {
  Pixels read;
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC memoryDc = CreateCompatibleDC(hdc);
  HBITMAP section = CreateDIBSection(hdc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (memoryDc != nullptr && section != nullptr) {
    HGDIOBJ previous = SelectObject(memoryDc, section);
    if (BitBlt(memoryDc, 0, 0, width, height, hdc, 0, 0, SRCCOPY)) {
      GdiFlush();
      read = {width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
      const auto* from = static_cast<const uint32_t*>(bits);
      for (size_t i = 0; i < read.rgb.size(); ++i) read.rgb[i] = from[i] & 0xFFFFFF;
    }
    SelectObject(memoryDc, previous);
  }
  if (section != nullptr) DeleteObject(section);
  if (memoryDc != nullptr) DeleteDC(memoryDc);
  return read;
}

Pixels ReadPpm(const std::string& path) {
  Pixels read;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return read;
  int width = 0;
  int height = 0;
  int most = 0;
  // The header ends with one blank after the largest value.
  if (fscanf(file, "P6 %d %d %d", &width, &height, &most) == 3 && most == 255 && width > 0 &&
      height > 0 && fgetc(file) != EOF) {
    std::vector<unsigned char> bytes(size_t{3} * width * height);
    if (fread(bytes.data(), 1, bytes.size(), file) == bytes.size()) {
      read = {width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
      for (size_t i = 0; i < read.rgb.size(); ++i) {
        const unsigned char* pixel = &bytes[3 * i];
        read.rgb[i] = uint32_t{pixel[0]} << 16 | uint32_t{pixel[1]} << 8 | pixel[2];
      }
    }
  }
  fclose(file);
  return read;
}

std::string DifferenceFrom(const Pixels& shown, const Pixels& decoded, double* meanLevels) {
  char text[200];
  if (shown.rgb.empty() || decoded.rgb.empty() || shown.width != decoded.width ||
      shown.height != decoded.height) {
    snprintf(text, sizeof text, "%dx%d shown against a %dx%d decode", shown.width, shown.height,
             decoded.width, decoded.height);
    return text;
  }
  double total = 0;
  int firstRow = -1;
  double firstRowLevels = 0;
  for (int y = 0; y < shown.height; ++y) {
    long long row = 0;
    for (int x = 0; x < shown.width; ++x) {
      const size_t at = static_cast<size_t>(y) * shown.width + x;
      for (int shift : {16, 8, 0}) {
        row += abs(Channel(shown.rgb[at], shift) - Channel(decoded.rgb[at], shift));
      }
    }
    const double levels = static_cast<double>(row) / (3.0 * shown.width);
    total += levels;
    if (levels > kMostRowLevels && firstRow < 0) {
      firstRow = y;
      firstRowLevels = levels;
    }
  }
  const double mean = total / shown.height;
  if (meanLevels != nullptr) *meanLevels = mean;
  if (mean <= kMostMeanLevels && firstRow < 0) return "";
  int written = snprintf(text, sizeof text, "a mean difference of %.2f levels", mean);
  if (firstRow >= 0) {
    snprintf(text + written, sizeof text - written, "; row %d differs by %.2f", firstRow,
             firstRowLevels);
  }
  return text;
}
