#include "wic_picture.h"

#include <objbase.h>
#include <wincodec.h>

#include <vector>

namespace {

template <typename Interface>
struct Owned {
  Interface* held = nullptr;
  ~Owned() {
    if (held != nullptr) held->Release();
  }
  Interface* operator->() const { return held; }
};

bool Encode(const std::string& path, UINT width, UINT height, REFGUID container) {
  std::wstring wide(path.begin(), path.end());
  Owned<IWICImagingFactory> factory;
  Owned<IWICStream> stream;
  Owned<IWICBitmapEncoder> encoder;
  Owned<IWICBitmapFrameEncode> frame;
  Owned<IPropertyBag2> options;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(&factory.held))) ||
      FAILED(factory->CreateStream(&stream.held)) ||
      FAILED(stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE)) ||
      FAILED(factory->CreateEncoder(container, nullptr, &encoder.held)) ||
      FAILED(encoder->Initialize(stream.held, WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(&frame.held, &options.held)) ||
      FAILED(frame->Initialize(options.held)) || FAILED(frame->SetSize(width, height)) ||
      FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR) {
    return false;
  }
  const UINT stride = (width * 3 + 3) / 4 * 4;
  std::vector<BYTE> row(stride);
  for (UINT y = 0; y < height; ++y) {
    for (UINT x = 0; x < width; ++x) {
      const bool right = x >= width / 2;
      const bool bottom = y >= height / 2;
      row[x * 3] = bottom && !right ? 255 : 0;  // blue
      row[x * 3 + 1] = right ? 255 : 0;         // green
      row[x * 3 + 2] = right == bottom ? 255 : 0;  // red
    }
    if (FAILED(frame->WritePixels(1, stride, stride, row.data()))) return false;
  }
  return SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace

bool WriteQuadrants(const std::string& path, UINT width, UINT height, REFGUID container) {
  const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const bool written = Encode(path, width, height, container);
  if (SUCCEEDED(started)) CoUninitialize();
  return written;
}
