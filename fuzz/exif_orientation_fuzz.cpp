// ExifOrientation on arbitrary file contents: every read it asks for is a
// field or an entry whose end fits a 32-bit offset, and the result is 1 to 8.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "picture/exif_orientation.h"

namespace {

constexpr size_t kLargestRead = 16;  // a directory entry is 12 bytes

size_t ReadInput(void* context, uint32_t offset, unsigned char* buffer, size_t size) {
  const std::string& file = *static_cast<const std::string*>(context);
  if (size == 0 || size > kLargestRead || uint64_t{offset} + size > UINT32_MAX) abort();
  return offset < file.size() ? file.copy(reinterpret_cast<char*>(buffer), size, offset) : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  const int orientation = ExifOrientation(ReadInput, &file);
  if (orientation < 1 || orientation > 8) abort();
  return 0;
}
