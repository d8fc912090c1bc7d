// Test pictures in which no two neighbouring pixels are alike, across or
// down, and no row or column repeats another, in every layout the painting
// takes; and the comparison of what a target shows with them, pixel by
// pixel, which names the first pixel that differs and its row.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "picture/picture_file.h"
#include "pixels.h"

enum class Layout {
  k1, k4, k8, k16BitFields, k24, k32,
  kRle4, kRle8,        // encoded and absolute runs, delta skips and early ends of line
  kPremultiplied,      // 32 bits, alpha 0 or 255
  kDecoded,            // the top-down 32-bit record the codecs make
};

struct PatternPicture {
  PatternPicture(int width, int height, Layout layout, bool topDown = false);
  // 0x00RRGGBB that pixel (x, y from the top) shows over `under`.
  uint32_t Shows(int x, int y, uint32_t under) const;

  PictureRecord record = {};
  std::vector<unsigned char> block;

 private:
  void AddRuns(int y, int bits, bool last);

  int rowPixels;
  std::vector<uint32_t> colours;  // what each pixel shows; kSeeThrough where alpha is 0
};

// Every pixel of `got` against expected(x, y).
testing::AssertionResult SamePixels(const Pixels& got,
                                    const std::function<uint32_t(int x, int y)>& expected);
