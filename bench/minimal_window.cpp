// The smallest program that opens a full-screen topmost window: the baseline
// for vistrel.exe's start-up time. Ends on WM_CLOSE or a key.
#include <windows.h>

namespace {

LRESULT CALLBACK MinimalProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  if (msg == WM_KEYDOWN) {
    DestroyWindow(hwnd);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = MinimalProc;
  wc.hInstance = instance;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = "MinimalFullScreen";
  RegisterClassA(&wc);
  CreateWindowExA(WS_EX_TOPMOST, "MinimalFullScreen", "", WS_POPUP | WS_VISIBLE, 0, 0,
                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                  instance, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
