// Loading the picture file, whatever its format: BMP files through the BMP
// reader, every other picture (PNG, JPEG, GIF, TIFF) through Windows' own
// codecs (WIC), into the same PictureRecord as an upright 32-bit picture.
// Windows only.
#pragma once

#include <windows.h>

#include "picture/picture_file.h"

// Loads `path` into `record` and returns record->pixels. A file that does not
// start with "BM" is decoded by WIC: of its first frame, turned as its EXIF
// orientation says, only the top-left part that a window of `keepWidth` x
// `keepHeight` shows, with premultiplied alpha when any pixel of that part is
// not opaque; the record's header describes that part. A BMP file is read
// whole.
// COM is initialised only for such a file; *comStarted is then set, and the
// caller ends COM with CoUninitialize on this thread when the run is over.
// A file that cannot be opened or decoded leaves the record alone.
// The colours of a decoded picture with an embedded colour profile are
// turned into those of the screen that `shownIn` (null: the whole screen)
// shows on, before alpha is premultiplied; if they cannot be, it shows as
// stored.
// The name is in Unicode, so that a picture shows whatever characters its
// name holds, not only those of the system's code page.
void* LoadAnyPicture(const wchar_t* path, LONG keepWidth, LONG keepHeight, HWND shownIn,
                     PictureRecord* record, bool* comStarted);

// A zero-filled block for a decoded, top-down 32-bit picture of `width` x
// `height`, with `header` set for it; null, with nothing allocated, when the
// block would pass the bound the BMP reader keeps to.
void* DecodedPictureBlock(UINT width, UINT height, BITMAPINFOHEADER* header);
