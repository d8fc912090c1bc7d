#include "picture/exif_orientation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "test_files.h"

namespace {

std::string Field(bool big, uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> 8 * (big ? bytes - 1 - i : i));
  return out;
}

// A TIFF structure whose IFD0, `gap` bytes after the header, holds an image
// width and then the orientation.
std::string Tiff(bool big, uint32_t value, uint32_t gap = 0) {
  const auto entry = [big](uint32_t tag, uint32_t v) {
    return Field(big, tag, 2) + Field(big, 3, 2) + Field(big, 1, 4) + Field(big, v, 2) +
           Field(big, 0, 2);
  };
  return (big ? "MM" : "II") + Field(big, 42, 2) + Field(big, 8 + gap, 4) + std::string(gap, '\0') +
         Field(big, 2, 2) + entry(0x100, 640) + entry(0x112, value) + Field(big, 0, 4);
}

std::string ExifJpeg(const std::string& before, const std::string& tiff) {
  return "\xFF\xD8" + before + JpegSegmentBytes('\xE1', std::string("Exif\0\0", 6) + tiff);
}

}  // namespace

TEST(ExifOrientation, ReadsTheTagFromJpegAndTiffInBothByteOrders) {
  const std::string jfif = JpegSegmentBytes('\xE0', std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
  const std::string xmp =
      JpegSegmentBytes('\xE1', std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 34));
  const std::string ii6 = Tiff(false, 6);
  const std::string whole = ExifJpeg("", ii6);
  struct Case {
    const char* name;
    std::string file;
    int expected;
  } cases[] = {
      {"JFIF, then Exif little-endian", ExifJpeg(jfif, ii6), 6},
      {"Exif big-endian", ExifJpeg("", Tiff(true, 8)), 8},
      {"TIFF file, IFD after 70000 bytes of image", Tiff(true, 7, 70000), 7},
      {"XMP and a fill byte before Exif", ExifJpeg(xmp + "\xFF", ii6), 6},
      {"IFD just past the APP1 segment", ExifJpeg("", ii6.substr(0, 8)) + ii6.substr(8), 1},
      {"cut after the value's first byte", whole.substr(0, whole.size() - 7), 1},
      {"BMP: BM in place of II", "BM" + ii6.substr(2), 1},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExifOrientation(ReadFromString, &c.file), c.expected);
  }
}
