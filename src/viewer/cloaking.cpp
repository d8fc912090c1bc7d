// Cloaked windows, as the desktop window manager tells of them: dwmapi.dll
// is asked once, from the system folder only.
#include "cloaking.h"

#include <dwmapi.h>

#include "picture/colour_management.h"

namespace {

using DwmGetWindowAttributeProc = decltype(&DwmGetWindowAttribute);

// DwmGetWindowAttribute from dwmapi.dll in the system folder, null where
// there is none. Looked up on the first question; the DLL stays for the run.
DwmGetWindowAttributeProc gDwmGetWindowAttribute = nullptr;
bool gLookedUp = false;

void LookUpDwm() {
  gLookedUp = true;
  HMODULE dwm = LoadSystemDll("dwmapi.dll");
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
