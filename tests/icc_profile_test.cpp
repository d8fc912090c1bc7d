#include "picture/icc_profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_files.h"

namespace {

// A profile of `bytes` bytes whose header says `says`.
std::string Profile(size_t bytes, uint32_t says) {
  std::string profile(bytes, '\0');
  for (size_t i = 4; i < bytes; ++i) profile[i] = static_cast<char>(i * 7 + 1);
  for (int i = 0; i < 4; ++i) profile[i] = static_cast<char>(says >> (24 - 8 * i));
  return profile;
}

std::string Chunk(int number, int count, const std::string& data) {
  return JpegSegmentBytes('\xE2', std::string("ICC_PROFILE", 12) + static_cast<char>(number) +
                                      static_cast<char>(count) + data);
}

}  // namespace

// The APP2 segments are joined by their numbers, whatever their order; any
// doubt about how they join gives no profile rather than a wrong one.
TEST(IccProfile, JoinsTheSegmentsOfAJpegFileInTheirOrder) {
  const std::string profile = Profile(300, 300);
  const std::string first = Chunk(1, 2, profile.substr(0, 100));
  const std::string second = Chunk(2, 2, profile.substr(100));
  const std::string jfif = JpegSegmentBytes('\xE0', std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
  const std::string image = "\xFF\xDA" + std::string("\0\2", 2);
  std::string oversized = second;
  oversized[3] = static_cast<char>(oversized[3] + 50);  // its length, past the end of the file
  const struct {
    const char* name;
    std::string file;
    bool whole;
  } cases[] = {
      {"one segment", Chunk(1, 1, profile), true},
      {"two, in order, after JFIF and a fill byte", jfif + "\xFF" + first + second, true},
      {"two, the second first", second + first, true},
      {"padding after the profile", Chunk(1, 1, profile + "pad"), true},
      {"none", jfif, false},
      {"one of two", first, false},
      {"a number twice", first + first + second, false},
      {"counts that differ", first + Chunk(2, 3, profile.substr(100)), false},
      {"number 0", Chunk(0, 1, profile), false},
      {"longer than its segments", Chunk(1, 1, Profile(300, 301)), false},
      {"cut inside the second", (first + second).substr(0, 250), false},
      {"a segment longer than the file", first + oversized, false},
      {"after the image data", image + Chunk(1, 1, profile), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = "\xFF\xD8" + c.file;
    size_t size = 0;
    unsigned char* read = JpegIccProfile(ReadFromString, &file, &size);
    EXPECT_EQ(read != nullptr, c.whole);
    if (read != nullptr) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(read), size), profile);
    }
    free(read);
  }
}

// Only a profile that is sRGB in its primaries and its tone curves needs no
// conversion; Rec. 709 has the primaries, not the curves.
TEST(IccProfile, KnowsSrgbByItsPrimariesAndCurves) {
#ifdef _WIN32
  const std::string folder = "Z:\\usr\\share\\color\\icc\\colord\\";
#else
  const std::string folder = "/usr/share/color/icc/colord/";
#endif
  const struct {
    const char* name;
    bool srgb;
  } cases[] = {{"sRGB.icc", true},
               {"Rec709.icc", false},
               {"AdobeRGB1998.icc", false},
               {"SwappedRedAndGreen.icc", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string profile = ReadFileBytes(folder + c.name);
    const auto* bytes = reinterpret_cast<const unsigned char*>(profile.data());
    ASSERT_TRUE(IsRgbProfile(bytes, profile.size()));
    EXPECT_EQ(IsSrgbProfile(bytes, profile.size()), c.srgb);
  }
}

// Every level falls between two grid points: a table that keeps colours
// keeps every one, and one that swaps red and green swaps them exactly.
TEST(IccProfile, ColourTableTurnsEveryLevelExactly) {
  auto* table = static_cast<ColourTable*>(malloc(sizeof(ColourTable)));
  ASSERT_NE(table, nullptr);
  for (bool swap : {false, true}) {
    SCOPED_TRACE(swap);
    for (int r = 0; r < kTableSteps; ++r) {
      for (int g = 0; g < kTableSteps; ++g) {
        for (int b = 0; b < kTableSteps; ++b) {
          unsigned char* entry = table->rgb[r][g][b];
          entry[0] = static_cast<unsigned char>(TableLevel(swap ? g : r));
          entry[1] = static_cast<unsigned char>(TableLevel(swap ? r : g));
          entry[2] = static_cast<unsigned char>(TableLevel(b));
        }
      }
    }
    std::string pixels;
    for (int i = 0; i < 256 * 256; ++i) {
      pixels += {static_cast<char>(i * 7), static_cast<char>(i >> 8), static_cast<char>(i), 'a'};
    }
    std::string turned = pixels;
    ApplyColourTable(*table, reinterpret_cast<unsigned char*>(&turned[0]), 256 * 256);
    if (swap) {
      for (size_t i = 0; i < pixels.size(); i += 4) std::swap(pixels[i + 1], pixels[i + 2]);
    }
    EXPECT_TRUE(turned == pixels);
  }
  free(table);
}
