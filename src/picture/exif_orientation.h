// The EXIF orientation of a JPEG or TIFF file. The file is read through the
// caller's reader, a few bytes at a time, so a directory may lie anywhere in
// it; every offset the file gives is checked first, so hostile bytes give 1.
#pragma once

#include "picture/jpeg_segments.h"

// The EXIF orientation, 1 to 8, of a JPEG file (from its APP1 "Exif" block) or
// a TIFF file (from its own first directory), read through `readAt`; 1 (as
// stored) when the file has none, it is not a JPEG or TIFF file, or the value is
// not 1 to 8.
int ExifOrientation(ReadAtProc readAt, void* context);
