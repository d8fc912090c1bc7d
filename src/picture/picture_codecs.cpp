// Decoding pictures with the Windows Imaging Component: of the first frame,
// only the stored pixels that the window shows once the picture is turned
// upright, converted to 32-bit BGRA, copied row by row into the record and
// with their alpha premultiplied, as AlphaBlend wants it. Every interface
// is held by an owner that releases it, so each early return cleans up.
#include "picture/picture_codecs.h"

#include <wincodec.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "picture/colour_management.h"
#include "picture/exif_orientation.h"
#include "picture/icc_profile.h"

namespace {

constexpr WORD kBmType = 0x4D42;  // "BM" read as a little-endian word
constexpr UINT kPixelBytes = 4;   // blue, green, red, alpha

template <typename Interface>
class ScopedRelease {
 public:
  ScopedRelease() = default;
  ~ScopedRelease() {
    if (held != nullptr) held->Release();
  }
  ScopedRelease(const ScopedRelease&) = delete;
  ScopedRelease& operator=(const ScopedRelease&) = delete;
  Interface* operator->() const { return held; }
  Interface* Get() const { return held; }
  // For the call that hands out the interface.
  Interface** Out() { return &held; }

 private:
  Interface* held = nullptr;
};

size_t ReadFileAt(void* context, uint32_t offset, unsigned char* buffer, size_t size) {
  FILE* file = static_cast<FILE*>(context);
  // NOTE: fseek takes a 32-bit long on Windows; a directory past 2 GiB is
  // not read, and the picture shows as stored.
  if (offset > LONG_MAX || fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return 0;
  return fread(buffer, 1, size, file);
}

// Where stored pixel (x, y) goes in the shown, top-down picture: at
// origin + x * stepX + y * stepY pixels. EXIF orientations 5 to 8 swap rows
// and columns; the rest mirror the result as the tag says.
struct Placement {
  int64_t origin;
  int64_t stepX;
  int64_t stepY;
};

// What an EXIF orientation does to the stored picture: swap rows and
// columns first, then mirror the shown picture's x and y.
struct Turn {
  bool swap;
  bool flipX;
  bool flipY;
};

Turn TurnFor(int orientation) {
  return {orientation >= 5,
          orientation == 2 || orientation == 3 || orientation == 6 || orientation == 7,
          orientation == 3 || orientation == 4 || orientation == 7 || orientation == 8};
}

Placement PlacementFor(int orientation, int64_t shownWidth, int64_t shownHeight) {
  const Turn turn = TurnFor(orientation);
  const auto offset = [&](int64_t x, int64_t y) {
    int64_t shownX = turn.swap ? y : x;
    int64_t shownY = turn.swap ? x : y;
    if (turn.flipX) shownX = shownWidth - 1 - shownX;
    if (turn.flipY) shownY = shownHeight - 1 - shownY;
    return shownY * shownWidth + shownX;
  };
  const int64_t origin = offset(0, 0);
  return {origin, offset(1, 0) - origin, offset(0, 1) - origin};
}

// Premultiplies a row's colours by their alpha; true when any pixel is not
// opaque.
bool Premultiply(unsigned char* row, UINT width) {
  bool translucent = false;
  for (UINT x = 0; x < width; ++x) {
    unsigned char* pixel = row + x * kPixelBytes;
    const unsigned alpha = pixel[3];
    if (alpha == 255) continue;
    translucent = true;
    for (int i = 0; i < 3; ++i) {
      pixel[i] = static_cast<unsigned char>((pixel[i] * alpha + 127) / 255);
    }
  }
  return translucent;
}

// The stored pixels that land in the kept, shown top-left corner of
// `keptWidth` x `keptHeight`: WICRect's origin and size in the stored frame.
// A flip moves that corner to the far end of the flipped axis, so for
// orientation 6 it comes from the stored frame's bottom-left.
WICRect StoredPart(int orientation, UINT width, UINT height, UINT keptWidth, UINT keptHeight) {
  const Turn turn = TurnFor(orientation);
  const UINT shownWidth = turn.swap ? height : width;
  const UINT shownHeight = turn.swap ? width : height;
  const UINT shownX = turn.flipX ? shownWidth - keptWidth : 0;
  const UINT shownY = turn.flipY ? shownHeight - keptHeight : 0;
  if (turn.swap) {
    return {static_cast<INT>(shownY), static_cast<INT>(shownX), static_cast<INT>(keptHeight),
            static_cast<INT>(keptWidth)};
  }
  return {static_cast<INT>(shownX), static_cast<INT>(shownY), static_cast<INT>(keptWidth),
          static_cast<INT>(keptHeight)};
}

// Copies the `part` of the converted frame into `block`, turned as
// `orientation` says and its colours through `colours` when there is a
// table; false when WIC fails on a row. Sets *translucent when
// any copied pixel is not opaque.
bool CopyTurned(IWICBitmapSource* source, const WICRect& part, int orientation,
                const ColourTable* colours, uint32_t* block, bool* translucent) {
  const bool swap = orientation >= 5;
  const UINT width = static_cast<UINT>(part.Width);
  const UINT height = static_cast<UINT>(part.Height);
  const Placement place = PlacementFor(orientation, swap ? height : width, swap ? width : height);
  const UINT stride = width * kPixelBytes;
  auto* row = static_cast<unsigned char*>(malloc(stride));
  if (row == nullptr) return false;
  bool copied = true;
  for (UINT y = 0; y < height; ++y) {
    const WICRect line = {part.X, part.Y + static_cast<INT>(y), part.Width, 1};
    if (FAILED(source->CopyPixels(&line, stride, stride, row))) {
      copied = false;
      break;
    }
    // Colours are turned as stored, before alpha weighs them.
    if (colours != nullptr) ApplyColourTable(*colours, row, width);
    if (Premultiply(row, width)) *translucent = true;
    const int64_t rowAt = place.origin + int64_t{y} * place.stepY;
    if (place.stepX == 1) {
      memcpy(block + rowAt, row, stride);
      continue;
    }
    for (UINT x = 0; x < width; ++x) {
      memcpy(block + rowAt + x * place.stepX, row + x * kPixelBytes, kPixelBytes);
    }
  }
  free(row);
  return copied;
}

// The ICC profile that WIC finds for the frame, malloc'd; null when it finds
// none.
// NOTE: Windows' PNG codec keeps a colour context in the iCCP chunk (with
// gAMA and cHRM), its TIFF codec in tag 34675 (0x8773), as their encoders
// document; Wine's answers for both. A context of the other kind, an EXIF
// colour space, holds no profile and is passed over.
unsigned char* FrameProfile(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame,
                            size_t* size) {
  constexpr UINT kMostContexts = 4;
  UINT count = 0;
  if (FAILED(frame->GetColorContexts(0, nullptr, &count)) || count == 0) return nullptr;
  count = std::min(count, kMostContexts);
  ScopedRelease<IWICColorContext> owned[kMostContexts];
  IWICColorContext* contexts[kMostContexts] = {};
  for (UINT i = 0; i < count; ++i) {
    if (FAILED(factory->CreateColorContext(owned[i].Out()))) return nullptr;
    contexts[i] = owned[i].Get();
  }
  if (FAILED(frame->GetColorContexts(count, contexts, &count))) return nullptr;
  for (UINT i = 0; i < std::min(count, kMostContexts); ++i) {
    WICColorContextType type = WICColorContextUninitialized;
    UINT bytes = 0;
    if (FAILED(contexts[i]->GetType(&type)) || type != WICColorContextProfile ||
        FAILED(contexts[i]->GetProfileBytes(0, nullptr, &bytes)) || bytes == 0) {
      continue;
    }
    auto* profile = static_cast<unsigned char*>(malloc(bytes));
    if (profile != nullptr && SUCCEEDED(contexts[i]->GetProfileBytes(bytes, profile, &bytes))) {
      *size = bytes;
      return profile;
    }
    free(profile);
  }
  return nullptr;
}

// What LoadAnyPicture reads from the file itself before WIC opens it.
struct Stored {
  int orientation;        // EXIF, 1 to 8
  unsigned char* profile;  // a JPEG's ICC profile, malloc'd; null for none
  size_t profileBytes;
};

// The table that turns the frame's colours into the screen's, where it
// has a profile that needs it.
ColourTable* FrameColours(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame,
                          const Stored& stored, HWND shownIn) {
  size_t bytes = stored.profileBytes;
  unsigned char* profile =
      stored.profile != nullptr ? stored.profile : FrameProfile(factory, frame, &bytes);
  if (profile == nullptr) return nullptr;
  HDC hdc = GetDC(shownIn);
  ColourTable* table = ScreenColourTable(profile, bytes, hdc);
  ReleaseDC(shownIn, hdc);
  if (profile != stored.profile) free(profile);
  return table;
}

// Decodes the part of `path` that a window of `keepWidth` x `keepHeight`
// shows into `record`; the record is changed only when all of it came in.
void* DecodePicture(const wchar_t* path, const Stored& stored, LONG keepWidth, LONG keepHeight,
                    HWND shownIn, PictureRecord* record) {
  const int orientation = stored.orientation;
  // NOTE: the first factory's class: Windows 8 and later also have a second
  // one, which Windows 7 lacks.
  ScopedRelease<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Out())))) {
    return record->pixels;
  }
  ScopedRelease<IWICBitmapDecoder> decoder;
  ScopedRelease<IWICBitmapFrameDecode> frame;
  UINT width = 0;
  UINT height = 0;
  if (FAILED(factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.Out())) ||
      FAILED(decoder->GetFrame(0, frame.Out())) ||
      FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
      width > INT32_MAX || height > INT32_MAX) {  // WIC's rectangles count in INT
    return record->pixels;
  }
  // Only what the window shows is kept, and its size is checked before WIC
  // is asked for a single pixel.
  const bool swap = orientation >= 5;
  const UINT keptWidth =
      std::min(swap ? height : width, static_cast<UINT>(std::max(keepWidth, 1L)));
  const UINT keptHeight =
      std::min(swap ? width : height, static_cast<UINT>(std::max(keepHeight, 1L)));
  BITMAPINFOHEADER header;
  void* block = DecodedPictureBlock(keptWidth, keptHeight, &header);
  if (block == nullptr) return record->pixels;
  ScopedRelease<IWICFormatConverter> converter;
  ColourTable* colours = FrameColours(factory.Get(), frame.Get(), stored, shownIn);
  bool translucent = false;
  const bool copied =
      SUCCEEDED(factory->CreateFormatConverter(converter.Out())) &&
      SUCCEEDED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                      WICBitmapDitherTypeNone, nullptr, 0.0,
                                      WICBitmapPaletteTypeCustom)) &&
      CopyTurned(converter.Get(), StoredPart(orientation, width, height, keptWidth, keptHeight),
                 orientation, colours, static_cast<uint32_t*>(block), &translucent);
  free(colours);
  if (!copied) {
    free(block);
    return record->pixels;
  }
  record->infoHeader = header;
  record->premultipliedAlpha = translucent ? TRUE : FALSE;
  record->pixels = block;
  return block;
}

}  // namespace

void* DecodedPictureBlock(UINT width, UINT height, BITMAPINFOHEADER* header) {
  if (width > INT32_MAX || height > INT32_MAX) return nullptr;
  BITMAPINFOHEADER made = {};
  made.biSize = sizeof made;
  made.biWidth = static_cast<LONG>(width);
  made.biHeight = -static_cast<LONG>(height);  // rows top-down, as WIC hands them out
  made.biPlanes = 1;
  made.biBitCount = 32;
  made.biCompression = BI_RGB;
  LONG bytes = 0;
  if (!PictureBlockSize(made, &bytes)) return nullptr;
  *header = made;
  return calloc(static_cast<size_t>(bytes), 1);
}

void* LoadAnyPicture(const wchar_t* path, LONG keepWidth, LONG keepHeight, HWND shownIn,
                     PictureRecord* record, bool* comStarted) {
  FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return nullptr;
  unsigned char start[2] = {};
  const size_t got = fread(start, 1, sizeof start, file);
  const bool bmp = got == sizeof start && (start[0] | start[1] << 8) == kBmType;
  void* bmpPixels = nullptr;
  // Read before WIC opens the file: WIC does not turn pictures itself.
  // NOTE: nor does Wine's WIC find a JPEG file's colour profile; this reader
  // does, on Windows too, so that both show a JPEG alike.
  Stored stored = {1, nullptr, 0};
  if (bmp) {
    rewind(file);
    bmpPixels = ReadPicture(file, record);
  } else if (got != 0) {
    stored.orientation = ExifOrientation(ReadFileAt, file);
    stored.profile = JpegIccProfile(ReadFileAt, file, &stored.profileBytes);
  }
  (void)fclose(file);  // opened for reading: closing cannot lose data
  if (bmp) return bmpPixels;
  if (got == 0) return record->pixels;  // empty: nothing for any codec

  const HRESULT started =
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // S_FALSE: COM was running here already; it still wants its CoUninitialize.
  *comStarted = SUCCEEDED(started);
  // RPC_E_CHANGED_MODE: COM runs here in another apartment, which serves all the same.
  void* pixels = FAILED(started) && started != RPC_E_CHANGED_MODE
                     ? record->pixels
                     : DecodePicture(path, stored, keepWidth, keepHeight, shownIn, record);
  free(stored.profile);
  return pixels;
}
