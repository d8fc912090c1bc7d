// Cloaked windows, as the desktop window manager tells of them: dwmapi.dll
// is asked once, from the system folder only.
#include "cloaking.h"

#include <dwmapi.h>

namespace {

using DwmGetWindowAttributeProc = decltype(&DwmGetWindowAttribute);

// DwmGetWindowAttribute from dwmapi.dll in the system folder only, never one
// planted beside the program; null where the system cannot promise that
// (XP, Vista and 7 without the update that brought the search flags) or has
// no such DLL. Looked up on the first question; the DLL stays for the run.
DwmGetWindowAttributeProc gDwmGetWindowAttribute = nullptr;
bool gLookedUp = false;

void LookUpDwm() {
  gLookedUp = true;
  // The documented test for the LOAD_LIBRARY_SEARCH_* flags: older systems
  // may ignore an unknown flag and search the program's folder.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr || GetProcAddress(kernel, "AddDllDirectory") == nullptr) return;
  HMODULE dwm = LoadLibraryExA("dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (dwm == nullptr) return;
  gDwmGetWindowAttribute = reinterpret_cast<DwmGetWindowAttributeProc>(
      reinterpret_cast<void (*)()>(GetProcAddress(dwm, "DwmGetWindowAttribute")));
}

}  // namespace

// NOTE: Windows 8 and later answer S_OK for every window, with 0 for one
// that is on the screen. Windows 7 fails the call, and so does Wine
// (E_NOTIMPL), so there no window counts as cloaked.
bool IsCloaked(HWND hwnd) {
  if (!gLookedUp) LookUpDwm();
  DWORD cloaked = 0;
  return gDwmGetWindowAttribute != nullptr &&
         SUCCEEDED(gDwmGetWindowAttribute(hwnd, DWMWA_CLOAKED, &cloaked, sizeof cloaked)) &&
         cloaked != 0;
}
