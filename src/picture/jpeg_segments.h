// Reading pictures through the caller's reader, and walking the segments of
// a JPEG file up to its image data: the EXIF orientation and the embedded
// colour profile are both found there.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads up to `size` bytes at `offset` of the file into `buffer`; returns how many it read.
using ReadAtProc = size_t (*)(void* context, uint32_t offset, unsigned char* buffer, size_t size);

// The largest offset + size a read may reach, so that offsets never wrap.
constexpr uint64_t kFileEnd = UINT32_MAX;

// Reads `size` bytes at `offset`; false unless all of them lie before kFileEnd
// and came back.
bool ReadAt(ReadAtProc readAt, void* context, uint64_t offset, unsigned char* buffer,
            size_t size);

// One segment: its marker, and where its data (past the two length bytes) lies.
struct JpegSegment {
  unsigned char marker;
  uint64_t dataAt;
  uint32_t dataBytes;
};

// Returns false to end the walk.
using JpegSegmentProc = bool (*)(void* context, const JpegSegment& segment);

// Calls `visit` with each segment of a JPEG file, in file order, from the
// start up to the image data; nothing when the file does not start as a
// JPEG file does. A walk that meets anything but a marker ends there.
void WalkJpegSegments(ReadAtProc readAt, void* readContext, JpegSegmentProc visit,
                      void* visitContext);
