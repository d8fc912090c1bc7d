// The colour profile reader on arbitrary bytes: as a JPEG file, whose APP2
// segments JpegIccProfile joins, and as a profile itself, which IsSrgbProfile
// judges. Every read stays within the input, and a joined profile is as long
// as its header says.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "picture/icc_profile.h"

namespace {

size_t ReadInput(void* context, uint32_t offset, unsigned char* buffer, size_t size) {
  const std::string& file = *static_cast<const std::string*>(context);
  if (size == 0 || uint64_t{offset} + size > UINT32_MAX) abort();
  return offset < file.size() ? file.copy(reinterpret_cast<char*>(buffer), size, offset) : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  size_t bytes = 0;
  unsigned char* profile = JpegIccProfile(ReadInput, &file, &bytes);
  if (profile != nullptr) {
    const uint32_t says = uint32_t{profile[0]} << 24 | uint32_t{profile[1]} << 16 |
                          uint32_t{profile[2]} << 8 | profile[3];
    if (bytes < 132 || says != bytes) abort();
    (void)IsSrgbProfile(profile, bytes);
    free(profile);
  }
  (void)IsSrgbProfile(data, size);
  return 0;
}
