// One repaint of a 1920x1080 24-bit picture in the viewer's window, as the
// palette messages ask for it (invalidate, then update), against a plain
// BitBlt of an already made bitmap of the same size. Prints time per
// repaint and the ratio. Run under Wine on a virtual display.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "picture/picture_file.h"
#include "wall_clock.h"
#include "viewer/viewer_window.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kRounds = 40;

}  // namespace

int main() {
  const LONG rowBytes = (kWidth * 3 + 3) / 4 * 4;
  std::vector<unsigned char> pixels(static_cast<size_t>(rowBytes) * kHeight);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 7 % 251);
  gPicture.pixels = pixels.data();
  gPicture.infoHeader.biSize = 40;
  gPicture.infoHeader.biWidth = kWidth;
  gPicture.infoHeader.biHeight = kHeight;
  gPicture.infoHeader.biPlanes = 1;
  gPicture.infoHeader.biBitCount = 24;

  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterViewerClass(instance, kViewerClassName, ViewerWindowProc, CS_NOCLOSE, "", NULL_BRUSH);
  HWND hwnd = CreateWindowExA(0, kViewerClassName, "", WS_POPUP | WS_VISIBLE, 0, 0,
                              GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                              nullptr, nullptr, instance, nullptr);
  if (hwnd == nullptr) return 1;
  UpdateWindow(hwnd);

  double start = WallSeconds();
  for (int i = 0; i < kRounds; ++i) {
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    GdiFlush();
  }
  const double repaint = (WallSeconds() - start) / kRounds;

  HDC window = GetDC(hwnd);
  HDC memory = CreateCompatibleDC(window);
  HBITMAP bitmap = CreateCompatibleBitmap(window, kWidth, kHeight);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  start = WallSeconds();
  for (int i = 0; i < kRounds; ++i) {
    BitBlt(window, 0, 0, kWidth, kHeight, memory, 0, 0, SRCCOPY);
    GdiFlush();
  }
  const double blit = (WallSeconds() - start) / kRounds;
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(hwnd, window);

  gPicture.pixels = nullptr;
  DestroyWindow(hwnd);
  printf("repaint of a %dx%d 24-bit picture: %.2f ms; BitBlt of a made bitmap: %.2f ms; "
         "ratio %.1f\n",
         kWidth, kHeight, repaint * 1000, blit * 1000, repaint / blit);
  return 0;
}
