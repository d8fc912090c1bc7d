// Loading a large JPEG into the PictureRecord (LoadAnyPicture: the EXIF
// look-up, WIC's decode and conversion, the copy, alpha check and turn)
// against a bare WIC decode of the same file to 32-bit BGRA in one block.
// Prints the median of interleaved rounds of each, their ratio, and the
// first paint of the loaded picture in the viewer's window.
// Usage: decode_bench.exe picture.jpg (a Windows path). Run under Wine.
#include <windows.h>

#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "picture/picture_codecs.h"
#include "picture/picture_file.h"
#include "viewer/viewer_window.h"
#include "wall_clock.h"

namespace {

constexpr int kRounds = 7;

template <typename Interface>
void Release(Interface* held) {
  if (held != nullptr) held->Release();
}

// Decode, convert and copy the whole first frame, as a program that only
// wants the pixels would; false when WIC fails.
bool BareDecode(const wchar_t* path) {
  IWICImagingFactory* factory = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* converter = nullptr;
  UINT width = 0;
  UINT height = 0;
  bool decoded =
      SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) &&
      SUCCEEDED(factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ,
                                                   WICDecodeMetadataCacheOnDemand, &decoder)) &&
      SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height)) &&
      SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
      SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                      nullptr, 0.0, WICBitmapPaletteTypeCustom));
  if (decoded) {
    const UINT stride = width * 4;
    void* pixels = malloc(static_cast<size_t>(stride) * height);
    decoded = pixels != nullptr &&
              SUCCEEDED(converter->CopyPixels(nullptr, stride, stride * height,
                                              static_cast<BYTE*>(pixels)));
    free(pixels);
  }
  Release(converter);
  Release(frame);
  Release(decoder);
  Release(factory);
  return decoded;
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: decode_bench.exe picture.jpg\n");
    return 2;
  }
  wchar_t widePath[MAX_PATH + 1];
  if (MultiByteToWideChar(CP_ACP, 0, argv[1], -1, widePath, MAX_PATH + 1) == 0) return 1;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;

  std::vector<double> bare;
  std::vector<double> load;
  PictureRecord record = {};
  for (int i = 0; i < kRounds; ++i) {
    double start = WallSeconds();
    if (!BareDecode(widePath)) return 1;
    bare.push_back(WallSeconds() - start);

    record = PictureRecord{};
    bool comStarted = false;
    start = WallSeconds();
    const void* pixels = LoadAnyPicture(argv[1], GetSystemMetrics(SM_CXSCREEN),
                                        GetSystemMetrics(SM_CYSCREEN), &record, &comStarted);
    load.push_back(WallSeconds() - start);
    if (comStarted) CoUninitialize();
    if (pixels == nullptr) return 1;
    if (i + 1 < kRounds) free(record.pixels);
  }

  // The first paint of the loaded picture, as the viewer's window gets it.
  gPicture = record;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterViewerClass(instance, kViewerClassName, ViewerWindowProc, CS_NOCLOSE, "", NULL_BRUSH);
  HWND hwnd = CreateWindowExA(0, kViewerClassName, "", WS_POPUP, 0, 0,
                              GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                              nullptr, nullptr, instance, nullptr);
  if (hwnd == nullptr) return 1;
  ShowWindow(hwnd, SW_SHOW);
  const double start = WallSeconds();
  UpdateWindow(hwnd);
  GdiFlush();
  const double paint = WallSeconds() - start;
  DestroyWindow(hwnd);
  free(gPicture.pixels);
  gPicture = PictureRecord{};
  CoUninitialize();

  printf("%ldx%ld JPEG into the record: %.1f ms; bare WIC decode to 32-bit BGRA: %.1f ms; "
         "ratio %.2f (median of %d rounds each)\n",
         static_cast<long>(record.infoHeader.biWidth),
         static_cast<long>(PictureHeight(record.infoHeader)), Median(load) * 1000,
         Median(bare) * 1000, Median(load) / Median(bare), kRounds);
  printf("first paint of that picture on a %dx%d screen: %.1f ms\n", GetSystemMetrics(SM_CXSCREEN),
         GetSystemMetrics(SM_CYSCREEN), paint * 1000);
  return 0;
}
