// The viewer window, its class, its message loop and the exit policy.
#include "viewer_window.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "picture/picture_codecs.h"
#include "picture/picture_file.h"
#include "picture/picture_paint.h"
#include "viewer/cloaking.h"

const char kViewerClassName[] = "VistrelView";
ViewerSettings gSettings;

namespace {

constexpr DWORD kViewerExStyle = WS_EX_TOPMOST | WS_EX_TRANSPARENT;
constexpr DWORD kViewerStyle = WS_POPUP | WS_VISIBLE | WS_MAXIMIZE;
constexpr UINT kTopmostFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOACTIVATE |
                               SWP_NOCOPYBITS | SWP_NOSENDCHANGING;
// How often the window checks that nothing lies above it: a window that
// comes over it is gone again within two periods, and a program that raises
// its own window over and over gets ours put back at most this often.
constexpr UINT_PTR kCoverTimer = 1;
constexpr UINT kCoverCheckMs = 100;
// Windows above ours that one check looks at, visible or not.
constexpr int kMostAbove = 4096;
static_assert(kViewerExStyle == 0x28 && kViewerStyle == 0x91000000 && kTopmostFlags == 0x051B,
              "window styles and flags as the viewer has always used them");

LRESULT OnDestroy() {
  ShowCursor(TRUE);
  PostQuitMessage(0);
  return 0;
}

// The class brush is the null brush; the icon-erase default paints the
// desktop background instead.
LRESULT OnEraseBackground(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  DefWindowProcA(hwnd, WM_ICONERASEBKGND, wParam, lParam);
  return 1;
}

// Another application is being activated: take the activation back.
LRESULT OnActivateApp(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  if (wParam != 0) return DefWindowProcA(hwnd, WM_ACTIVATEAPP, wParam, lParam);
  SetActiveWindow(hwnd);
  return 0;
}

// Keys never get the default processing, so Alt+F4 and the like do nothing
// unless keys end the run anyway.
LRESULT OnKey(HWND hwnd) {
  if (gSettings.quitByKeyboard != 0) DestroyWindow(hwnd);
  return 0;
}

LRESULT OnButtonDown(HWND hwnd) {
  if (gSettings.quitByMouse != 0) DestroyWindow(hwnd);
  return 0;
}

// With keys not allowed to end the run, a double-click always can.
LRESULT OnButtonDoubleClick(HWND hwnd) {
  if (gSettings.quitByKeyboard == 0) DestroyWindow(hwnd);
  return 0;
}

LRESULT OnPaletteChange(HWND hwnd) {
  InvalidateRect(hwnd, nullptr, TRUE);
  return 0;
}

ViewerRun* RunOf(HWND hwnd) {
  return reinterpret_cast<ViewerRun*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// Text in the system's code page as Unicode, into `name` of MAX_PATH
// characters; false when it does not fit.
bool FromCodePage(const char* text, wchar_t* name) {
  return MultiByteToWideChar(CP_ACP, 0, text, -1, name, MAX_PATH) != 0;
}

// The chosen picture's name into `name` (MAX_PATH characters); false for
// none, or one too long to hold. One argument names the picture for this run
// only; it never falls back to the stored one, which is in the code page.
bool ChosenPicture(int argc, char** argv, wchar_t* name) {
  if (argc != 2) {
    return gSettings.displayFile[0] != '\0' && FromCodePage(gSettings.displayFile, name);
  }
  // Windows passes the command line in Unicode; argv has it in the code
  // page, with "?" for every character the code page lacks. argc still
  // decides how many arguments there are.
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr || count != 2) {
    if (wide != nullptr) LocalFree(wide);
    return FromCodePage(argv[1], name);
  }
  const size_t length = wcslen(wide[1]);
  if (length < MAX_PATH) memcpy(name, wide[1], (length + 1) * sizeof(wchar_t));
  LocalFree(wide);
  return length < MAX_PATH;
}

// A decoded picture keeps only the part that a window of run->keptWidth x
// run->keptHeight shows.
void LoadChosenPicture(HWND hwnd, int argc, char** argv, wchar_t* name, ViewerRun* run) {
  if (ChosenPicture(argc, argv, name)) run->picture = name;
  gPicture.pixels = run->picture == nullptr
                        ? nullptr
                        : LoadAnyPicture(run->picture, run->keptWidth, run->keptHeight, hwnd,
                                         &gPicture, &run->comStarted);
}

// A window that another program shows, creates topmost or raises after ours
// goes above it in the topmost band. Ours goes back on top without being
// activated, and the other window is never touched. A cloaked window is on no
// screen, whatever its band.
// NOTE: out-of-context WinEvent hooks (EVENT_OBJECT_SHOW, EVENT_OBJECT_REORDER)
// would tell of such a window at once on Windows, but Wine delivers none of
// them for another program's windows. What lies above ours (GW_HWNDPREV) is
// right on both, and the timer that looks at it puts the cover back within
// its period, at most that often, never waiting on another program.
LRESULT OnTimer(HWND hwnd) {
  // Bounded: windows that come and go while this walks could make it circle.
  int steps = 0;
  for (HWND above = GetWindow(hwnd, GW_HWNDPREV); above != nullptr && steps++ < kMostAbove;
       above = GetWindow(above, GW_HWNDPREV)) {
    if (IsWindowVisible(above) && !IsCloaked(above)) {
      SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      break;
    }
  }
  return 0;
}

// The primary screen changed size (a new resolution, a remote session from
// another screen, another monitor made the primary one): cover it again from
// 0,0. A decoded picture that kept less than the larger screen shows is read
// once more; a BMP file's block is whole already. A change of DPI alone
// changes nothing: the window and the picture are in physical pixels.
LRESULT OnDisplayChange(HWND hwnd) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, width, height, SWP_NOACTIVATE);
  ViewerRun* run = RunOf(hwnd);
  if (run != nullptr && run->comStarted && gPicture.pixels != nullptr &&
      (width > run->keptWidth || height > run->keptHeight)) {
    void* kept = gPicture.pixels;
    bool comStarted = false;
    LoadAnyPicture(run->picture, width, height, hwnd, &gPicture, &comStarted);
    if (comStarted) CoUninitialize();  // the first load's start keeps COM up for the run
    // The record is left alone when the file can no longer be read.
    if (gPicture.pixels != kept) {
      free(kept);
      run->keptWidth = width;
      run->keptHeight = height;
    }
  }
  InvalidateRect(hwnd, nullptr, TRUE);
  return 0;
}

// Keeps the run for the window's handlers.
LRESULT OnNcCreate(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  return DefWindowProcA(hwnd, WM_NCCREATE, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK ViewerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
#ifdef VISTREL_FAULT_ON_F12
  // Test builds only: F12 faults inside the window procedure.
  if (msg == WM_KEYDOWN && wParam == VK_F12) *static_cast<volatile int*>(nullptr) = 0;
#endif
  switch (msg) {
    case WM_NCCREATE: return OnNcCreate(hwnd, wParam, lParam);
    case WM_DESTROY: return OnDestroy();
    case WM_PAINT: return OnPaint(hwnd);
    case WM_ERASEBKGND: return OnEraseBackground(hwnd, wParam, lParam);
    case WM_ACTIVATEAPP: return OnActivateApp(hwnd, wParam, lParam);
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: return OnKey(hwnd);
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: return OnButtonDown(hwnd);
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: return OnButtonDoubleClick(hwnd);
    case WM_QUERYNEWPALETTE:
    case WM_PALETTEISCHANGING: return OnPaletteChange(hwnd);
    case WM_TIMER: return OnTimer(hwnd);
    case WM_DISPLAYCHANGE: return OnDisplayChange(hwnd);
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

HICON ModuleIcon(HINSTANCE instance, int small) {
  char path[MAX_PATH + 1] = {};
  // A fetch that filled the whole buffer was cut: the text names some other
  // file, and on XP it is not even terminated.
  const DWORD got = GetModuleFileNameA(instance, path, sizeof path);
  if (got == 0 || got >= sizeof path) return nullptr;
  SHFILEINFOA info;
  memset(&info, 0, sizeof info);
  const UINT flags = SHGFI_ICON | (small != 0 ? SHGFI_SMALLICON : SHGFI_LARGEICON);
  if (SHGetFileInfoA(path, 0, &info, sizeof info, flags) == 0) return nullptr;
  return info.hIcon;
}

BOOL MakeTopmost(HWND hwnd) {
  return SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, kTopmostFlags);
}

ATOM RegisterViewerClass(HINSTANCE instance, const char* className, WNDPROC windowProc,
                         UINT style, const char* menuName, int stockBrush) {
  WNDCLASSEXA wc;
  memset(&wc, 0, sizeof wc);
  wc.cbSize = sizeof wc;
  wc.style = style | CS_DBLCLKS;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance;
  wc.hIcon = ModuleIcon(instance, 0);
  wc.hIconSm = ModuleIcon(instance, 1);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(stockBrush));
  wc.lpszMenuName = menuName;
  wc.lpszClassName = className;
  return RegisterClassExA(&wc);
}

int RunViewer(int argc, char** argv) {
  LoadSettings(&gSettings);
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterViewerClass(instance, kViewerClassName, ViewerWindowProc, CS_NOCLOSE, "", NULL_BRUSH);
  wchar_t picture[MAX_PATH] = {};
  ViewerRun run = {nullptr, width, height, false};
  HWND hwnd = CreateWindowExA(kViewerExStyle, kViewerClassName, kViewerClassName, kViewerStyle,
                              0, 0, width, height, nullptr, nullptr, instance, &run);
  if (hwnd == nullptr) return 0;
  MakeTopmost(hwnd);
  LoadChosenPicture(hwnd, argc, argv, picture, &run);
  SetTimer(hwnd, kCoverTimer, kCoverCheckMs, nullptr);

  MSG msg;
  memset(&msg, 0, sizeof msg);
  BOOL got = 0;
  // -1 is an error, not the end: keep going, but never dispatch a message
  // that was not filled in.
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
    if (got != -1) DispatchMessageA(&msg);
  }

  free(gPicture.pixels);
  gPicture.pixels = nullptr;
  if (run.comStarted) CoUninitialize();
  SaveSettings(&gSettings);
  return 1;
}
