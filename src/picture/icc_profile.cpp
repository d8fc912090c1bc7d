// Reading and judging ICC profiles, and the colour table. Every field of a
// profile is checked against the profile's own size before it is read.
#include "picture/icc_profile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned char kApp2 = 0xE2;
constexpr unsigned char kIccName[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr size_t kChunkHead = sizeof kIccName + 2;  // the name, its number and the count
constexpr size_t kHeaderBytes = 128;
constexpr size_t kTagBytes = 12;
constexpr int kMaxChunks = 255;

uint32_t Get32(const unsigned char* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// The APP2 segments seen so far, by their number.
struct Chunks {
  ReadAtProc readAt;
  void* context;
  int count;
  bool broken;
  JpegSegment found[kMaxChunks + 1];
};

bool CollectChunk(void* context, const JpegSegment& segment) {
  auto* chunks = static_cast<Chunks*>(context);
  unsigned char head[kChunkHead];
  if (segment.marker != kApp2 || segment.dataBytes < kChunkHead ||
      !ReadAt(chunks->readAt, chunks->context, segment.dataAt, head, sizeof head) ||
      memcmp(head, kIccName, sizeof kIccName) != 0) {
    return true;
  }
  const int number = head[sizeof kIccName];
  const int count = head[sizeof kIccName + 1];
  // A number twice, or counts that differ, leave no one way to join them.
  if (number == 0 || number > count || (chunks->count != 0 && count != chunks->count) ||
      chunks->found[number].dataBytes != 0) {
    chunks->broken = true;
    return false;
  }
  chunks->count = count;
  chunks->found[number] = {kApp2, segment.dataAt + kChunkHead,
                           static_cast<uint32_t>(segment.dataBytes - kChunkHead)};
  return true;
}

// The tag's data, or null when the table has none or it lies past the end.
const unsigned char* FindTag(const unsigned char* profile, size_t size, const char* signature,
                             uint32_t* bytes) {
  const uint32_t count = Get32(profile + kHeaderBytes);
  const unsigned char* tag = profile + kHeaderBytes + 4;
  for (uint32_t i = 0; i < count; ++i, tag += kTagBytes) {
    const uint64_t at = Get32(tag + 4);
    *bytes = Get32(tag + 8);
    if (memcmp(tag, signature, 4) == 0 && at + *bytes <= size) return profile + at;
  }
  return nullptr;
}

// s15Fixed16 or u16Fixed16 numbers, as whole 65536ths.
int32_t Fixed(const unsigned char* bytes) { return static_cast<int32_t>(Get32(bytes)); }

bool Near(int32_t value, int32_t wanted, int32_t tolerance) {
  return value >= wanted - tolerance && value <= wanted + tolerance;
}

// A tone curve that is sRGB's, or near enough that turning it would change
// no level: sRGB's own parametric curve, a table whose middle entry is
// sRGB's middle (0.214), or a gamma between 2.15 and 2.3, which comes as
// close there. Worked in whole numbers, so that nothing of the floating-point
// library is needed.
bool IsSrgbCurve(const unsigned char* tag, uint32_t bytes) {
  if (bytes >= 12 && memcmp(tag, "curv", 4) == 0) {
    const uint32_t count = Get32(tag + 8);
    if (count == 0 || count > (bytes - 12) / 2) return false;
    const auto entry = [tag](uint32_t i) {
      return static_cast<int32_t>(uint32_t{tag[12 + 2 * i]} << 8 | tag[13 + 2 * i]);
    };
    if (count == 1) return Near(entry(0), 571, 20);  // 2.23, in 256ths
    return Near(entry((count - 1) / 2), 14025, 655);  // 0.214, in 65535ths
  }
  if (bytes < 16 || memcmp(tag, "para", 4) != 0) return false;
  const int type = tag[8] << 8 | tag[9];
  if (type == 0) return Near(Fixed(tag + 12), 146145, 4915);  // 2.23
  // g, a, b, c and d of sRGB's own curve: 2.4, 1/1.055, 0.055/1.055,
  // 1/12.92 and 0.04045.
  static const int32_t kSrgb[5] = {157286, 62119, 3417, 5072, 2651};
  if (type != 3 || bytes < 12 + 4 * 5) return false;
  for (size_t i = 0; i < 5; ++i) {
    if (!Near(Fixed(tag + 12 + 4 * i), kSrgb[i], 66)) return false;
  }
  return true;
}

}  // namespace

unsigned char* JpegIccProfile(ReadAtProc readAt, void* context, size_t* size) {
  auto* chunks = static_cast<Chunks*>(calloc(1, sizeof(Chunks)));
  if (chunks == nullptr) return nullptr;
  chunks->readAt = readAt;
  chunks->context = context;
  WalkJpegSegments(readAt, context, CollectChunk, chunks);
  uint64_t total = 0;
  for (int number = 1; number <= chunks->count; ++number) {
    if (chunks->found[number].dataBytes == 0) chunks->broken = true;
    total += chunks->found[number].dataBytes;
  }
  unsigned char header[4];
  uint32_t length = 0;
  if (!chunks->broken && total >= kHeaderBytes + 4 &&
      ReadAt(readAt, context, chunks->found[1].dataAt, header, sizeof header)) {
    length = Get32(header);
  }
  unsigned char* profile = length >= kHeaderBytes + 4 && length <= total
                               ? static_cast<unsigned char*>(malloc(length))
                               : nullptr;
  size_t got = 0;
  for (int number = 1; profile != nullptr && got < length; ++number) {
    const JpegSegment& chunk = chunks->found[number];
    const size_t part = chunk.dataBytes < length - got ? chunk.dataBytes : length - got;
    if (!ReadAt(readAt, context, chunk.dataAt, profile + got, part)) {
      free(profile);
      profile = nullptr;
    }
    got += part;
  }
  free(chunks);
  if (profile != nullptr) *size = length;
  return profile;
}

bool IsRgbProfile(const unsigned char* profile, size_t size) {
  if (size < kHeaderBytes + 4 || Get32(profile) != size) return false;
  const bool pcs = memcmp(profile + 20, "XYZ ", 4) == 0 || memcmp(profile + 20, "Lab ", 4) == 0;
  return memcmp(profile + 16, "RGB ", 4) == 0 && pcs &&
         Get32(profile + kHeaderBytes) <= (size - kHeaderBytes - 4) / kTagBytes;
}

bool IsSrgbProfile(const unsigned char* profile, size_t size) {
  if (!IsRgbProfile(profile, size)) return false;
  // sRGB's primaries as a profile holds them, adapted to D50, in 65536ths,
  // within what rounding and other writers leave.
  static const char* const kColourants[] = {"rXYZ", "gXYZ", "bXYZ"};
  static const char* const kCurves[] = {"rTRC", "gTRC", "bTRC"};
  static const int32_t kSrgb[3][3] = {
      {28578, 14581, 911}, {25239, 46981, 6362}, {9378, 3972, 46799}};
  for (int c = 0; c < 3; ++c) {
    uint32_t bytes = 0;
    const unsigned char* xyz = FindTag(profile, size, kColourants[c], &bytes);
    if (xyz == nullptr || bytes < 20 || memcmp(xyz, "XYZ ", 4) != 0) return false;
    for (size_t i = 0; i < 3; ++i) {
      if (!Near(Fixed(xyz + 8 + 4 * i), kSrgb[c][i], 328)) return false;
    }
    const unsigned char* curve = FindTag(profile, size, kCurves[c], &bytes);
    if (curve == nullptr || !IsSrgbCurve(curve, bytes)) return false;
  }
  return true;
}

namespace {

// Each level's place on the grid: the step below it, and how far on to the
// next step, in 256ths. Worked out when the program is compiled.
struct GridPlaces {
  unsigned char steps[256];
  uint16_t fractions[256];
};

constexpr GridPlaces MakeGridPlaces() {
  GridPlaces places = {};
  for (int step = 0; step < kTableSteps - 1; ++step) {
    const int low = TableLevel(step);
    const int high = TableLevel(step + 1);
    for (int level = low; level <= high; ++level) {
      places.steps[level] = static_cast<unsigned char>(step);
      places.fractions[level] =
          static_cast<uint16_t>(((level - low) * 256 + (high - low) / 2) / (high - low));
    }
  }
  return places;
}

constexpr GridPlaces kPlaces = MakeGridPlaces();

}  // namespace

void ApplyColourTable(const ColourTable& table, unsigned char* bgra, size_t count) {
  constexpr size_t kSteps = kTableSteps;
  constexpr size_t kAlong[3] = {kSteps * kSteps * 3, kSteps * 3, 3};
  const unsigned char* entries = &table.rgb[0][0][0][0];
  const GridPlaces& places = kPlaces;
  for (unsigned char* pixel = bgra; pixel < bgra + 4 * count; pixel += 4) {
    const int red = pixel[2];
    const int green = pixel[1];
    const int blue = pixel[0];
    // The tetrahedron of the grid's cube that holds the colour: from its low
    // corner along the channels in the order of their fractions, largest
    // first. The order is looked up, not branched on: photos make the
    // branches unpredictable.
    static constexpr unsigned char kOrders[8][3] = {{0, 1, 2}, {1, 0, 2}, {0, 2, 1}, {0, 1, 2},
                                                    {0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    const int fraction[3] = {places.fractions[red], places.fractions[green],
                             places.fractions[blue]};
    const unsigned char* order =
        kOrders[(fraction[0] < fraction[1]) | (fraction[1] < fraction[2]) << 1 |
                (fraction[0] < fraction[2]) << 2];
    const int f[3] = {fraction[order[0]], fraction[order[1]], fraction[order[2]]};
    const size_t corner = places.steps[red] * kAlong[0] + places.steps[green] * kAlong[1] +
                          places.steps[blue] * kAlong[2];
    const unsigned char* c0 = entries + corner;
    const unsigned char* c1 = c0 + kAlong[order[0]];
    const unsigned char* c2 = c1 + kAlong[order[1]];
    const unsigned char* c3 = c2 + kAlong[order[2]];
    const int w0 = 256 - f[0];
    const int w1 = f[0] - f[1];
    const int w2 = f[1] - f[2];
    const int w3 = f[2];
    for (int channel = 0; channel < 3; ++channel) {
      const int sum = w0 * c0[channel] + w1 * c1[channel] + w2 * c2[channel] + w3 * c3[channel];
      pixel[2 - channel] = static_cast<unsigned char>((sum + 128) >> 8);
    }
  }
}
