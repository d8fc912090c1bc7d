// What a device context shows, read back pixel by pixel, and how close it
// comes to another program's decode of the same picture: the end-to-end
// tests and the bench hold the screen against ImageMagick with it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Pixels as 0x00RRGGBB, rows top-down.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> rgb;
};

// What `hdc` shows in its top-left `width` x `height`; empty when GDI fails.
Pixels ReadBack(HDC hdc, int width, int height);
// A binary PPM (P6, 8 bits) as ImageMagick writes it; empty when it is not one.
Pixels ReadPpm(const std::string& path);
// Empty when `shown` is `decoded` within a mean difference of 2 levels (of 255,
// over every channel of every pixel) and of 8 on every row; otherwise what
// differs, naming the first row past that. The mean goes to *meanLevels.
std::string DifferenceFrom(const Pixels& shown, const Pixels& decoded,
                           double* meanLevels = nullptr);
