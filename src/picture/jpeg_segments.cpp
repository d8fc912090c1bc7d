// The JPEG segment walk: markers, fill bytes and the markers that stand
// alone, every length checked before the walk moves on by it.
#include "picture/jpeg_segments.h"

namespace {

constexpr int kMaxMarkers = 1000;  // segments and fill bytes, before the walk gives up
constexpr unsigned char kSoi = 0xD8;
constexpr unsigned char kEoi = 0xD9;
constexpr unsigned char kSos = 0xDA;

}  // namespace

bool ReadAt(ReadAtProc readAt, void* context, uint64_t offset, unsigned char* buffer,
            size_t size) {
  if (offset > kFileEnd || size > kFileEnd - offset) return false;
  return readAt(context, static_cast<uint32_t>(offset), buffer, size) == size;
}

void WalkJpegSegments(ReadAtProc readAt, void* readContext, JpegSegmentProc visit,
                      void* visitContext) {
  unsigned char start[2];
  if (!ReadAt(readAt, readContext, 0, start, sizeof start) || start[0] != 0xFF ||
      start[1] != kSoi) {
    return;
  }
  uint64_t at = 2;
  for (int marker = 0; marker < kMaxMarkers; ++marker) {
    // FF, the marker, and its length when it has one. A marker without one
    // needs no 4 bytes, but nothing that short is worth a visit.
    unsigned char head[4];
    if (!ReadAt(readAt, readContext, at, head, sizeof head) || head[0] != 0xFF) return;
    const unsigned char code = head[1];
    if (code == 0xFF) {  // a fill byte
      ++at;
      continue;
    }
    if (code == kSos || code == kEoi) return;
    if (code == 0x01 || (code >= 0xD0 && code <= kSoi)) {  // TEM, RSTn and SOI stand alone
      at += 2;
      continue;
    }
    const uint32_t length = uint32_t{head[2]} << 8 | head[3];  // counts itself, not the marker
    if (length < 2 || !visit(visitContext, {code, at + 4, length - 2})) return;
    at += 2 + length;
  }
}
