// Colour profiles: the ICC profile that a JPEG file embeds in its APP2
// segments, what a profile describes, and a colour table that turns pixels
// from one profile to another by tetrahedral interpolation. It makes no
// platform call: Windows' colour management fills the table.
#pragma once

#include <cstddef>

#include "picture/jpeg_segments.h"

// The profile that a JPEG file's APP2 "ICC_PROFILE" segments hold, joined in
// their sequence order, read through `readAt`: a malloc'd block of *size
// bytes, as long as the profile's header says. Null, with nothing allocated,
// when there is none or the segments do not make one whole: numbered 1 to a
// count they all agree on, each number once, and as long as the profile
// says at least.
unsigned char* JpegIccProfile(ReadAtProc readAt, void* context, size_t* size);

// An RGB profile with a whole header and tag table.
bool IsRgbProfile(const unsigned char* profile, size_t size);
// An RGB profile with sRGB's primaries and tone curves: its pictures need no
// conversion for an sRGB screen.
bool IsSrgbProfile(const unsigned char* profile, size_t size);

// Grid points along each channel: the table holds what each of the
// kTableSteps^3 colours (TableLevel(r), TableLevel(g), TableLevel(b))
// becomes, as red, green, blue. 17 keeps the smooth transforms between RGB
// profiles within about a level of the whole transform; 33 came closer by a
// fifth of a level, for six times the colours to turn.
constexpr int kTableSteps = 17;
struct ColourTable {
  unsigned char rgb[kTableSteps][kTableSteps][kTableSteps][3];
};
// The level, 0 to 255, of grid step 0 to kTableSteps - 1.
constexpr int TableLevel(int step) {
  return (step * 255 + (kTableSteps - 1) / 2) / (kTableSteps - 1);
}
// Turns `count` 32-bit BGRA pixels in place; their alpha is kept.
void ApplyColourTable(const ColourTable& table, unsigned char* bgra, size_t count);
