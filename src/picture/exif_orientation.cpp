// Finding the EXIF orientation tag. Offsets are summed in 64 bits and each
// read is checked against the stretch it must lie in (the APP1 segment, or
// what 32-bit offsets reach) before it is asked for; a short read ends the search.
#include "picture/exif_orientation.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr int kNone = 1;  // the orientation as stored
constexpr unsigned char kSoi = 0xD8;
constexpr unsigned char kApp1 = 0xE1;
constexpr unsigned char kExifName[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint32_t kTiffMagic = 42;
constexpr uint32_t kOrientationTag = 0x0112;
constexpr uint32_t kShortType = 3;
constexpr size_t kEntryBytes = 12;

struct Reader {
  ReadAtProc readAt;
  void* context;
};

// A stretch of the file: TIFF offsets count from `start`, and reads end by `end`.
struct Span {
  uint64_t start;
  uint64_t end;
};

constexpr Span kWholeFile = {0, kFileEnd};

// Reads `size` bytes `at` bytes past the span's start; false unless they lie
// in the span and all of them came back.
bool ReadIn(const Reader& reader, const Span& span, uint64_t at, unsigned char* buffer,
            size_t size) {
  const uint64_t offset = span.start + at;  // both far below 2^63
  if (offset + size > span.end) return false;
  return ReadAt(reader.readAt, reader.context, offset, buffer, size);
}

uint32_t Get16(const unsigned char* bytes, bool bigEndian) {
  return bigEndian ? uint32_t{bytes[0]} << 8 | bytes[1] : uint32_t{bytes[1]} << 8 | bytes[0];
}

uint32_t Get32(const unsigned char* bytes, bool bigEndian) {
  const uint32_t first = Get16(bytes, bigEndian);
  const uint32_t second = Get16(bytes + 2, bigEndian);
  return bigEndian ? first << 16 | second : second << 16 | first;
}

// The orientation in IFD0 of the TIFF structure at the span's start.
int OrientationInTiff(const Reader& reader, const Span& tiff) {
  unsigned char header[8];
  if (!ReadIn(reader, tiff, 0, header, sizeof header)) return kNone;
  bool bigEndian = false;
  if (header[0] == 'M' && header[1] == 'M') {
    bigEndian = true;
  } else if (header[0] != 'I' || header[1] != 'I') {
    return kNone;
  }
  if (Get16(header + 2, bigEndian) != kTiffMagic) return kNone;
  const uint64_t ifd = Get32(header + 4, bigEndian);
  unsigned char countBytes[2];
  if (!ReadIn(reader, tiff, ifd, countBytes, sizeof countBytes)) return kNone;
  const uint32_t count = Get16(countBytes, bigEndian);
  for (uint32_t i = 0; i < count; ++i) {
    unsigned char entry[kEntryBytes];
    if (!ReadIn(reader, tiff, ifd + 2 + uint64_t{i} * kEntryBytes, entry, sizeof entry)) {
      return kNone;
    }
    if (Get16(entry, bigEndian) != kOrientationTag) continue;
    // A directory holds a tag once: this entry decides.
    if (Get16(entry + 2, bigEndian) != kShortType || Get32(entry + 4, bigEndian) != 1) return kNone;
    const uint32_t value = Get16(entry + 8, bigEndian);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : kNone;
  }
  return kNone;
}

// The first APP1 segment named "Exif" decides.
struct ExifSearch {
  const Reader* reader;
  int orientation;
};

bool FindExif(void* context, const JpegSegment& segment) {
  auto* search = static_cast<ExifSearch*>(context);
  unsigned char name[sizeof kExifName];
  if (segment.marker != kApp1 || segment.dataBytes < sizeof name ||
      !ReadIn(*search->reader, kWholeFile, segment.dataAt, name, sizeof name) ||
      memcmp(name, kExifName, sizeof name) != 0) {
    return true;
  }
  search->orientation = OrientationInTiff(
      *search->reader, {segment.dataAt + sizeof name, segment.dataAt + segment.dataBytes});
  return false;
}

}  // namespace

int ExifOrientation(ReadAtProc readAt, void* context) {
  const Reader reader = {readAt, context};
  unsigned char start[2];
  if (!ReadIn(reader, kWholeFile, 0, start, sizeof start)) return kNone;
  if (start[0] != 0xFF || start[1] != kSoi) return OrientationInTiff(reader, kWholeFile);
  ExifSearch search = {&reader, kNone};
  WalkJpegSegments(readAt, context, FindExif, &search);
  return search.orientation;
}
