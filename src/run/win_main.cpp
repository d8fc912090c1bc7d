// The program's entry: DLLs from the system folder only; one copy at a time;
// hide the other windows and the cursor, run the viewer, then show the
// windows again and give the keyboard back to the window that had it.
// Always exits with 0.
#include <windows.h>

#include <cstdlib>  // __argc and __argv

#include "run/pointer_list.h"
#include "run/window_hiding.h"
#include "viewer/viewer_window.h"

namespace {

using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryProc = BOOL(WINAPI*)(LPCSTR);

FARPROC KernelProc(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
}

// Windows searches the program's own folder first for a DLL that is not a
// KnownDLL, also when a system DLL loads one while the program runs. People
// start this program where the browser saved it, among other downloads, so
// from here on every DLL comes from the system folder.
// NOTE: SetDefaultDllDirectories came with Windows 8, and with an update
// (KB2533623) for Windows 7 and Vista; both calls are looked up at run time so
// that the program starts where they are missing. SetDllDirectoryA("") at
// least takes the current folder out of the search. Under Wine the DLLs in
// question (version, shcore, comctl32) are loaded before WinMain runs.
void RestrictDllSearch() {
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesProc>(
      reinterpret_cast<void (*)()>(KernelProc("SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  const auto setDirectory = reinterpret_cast<SetDllDirectoryProc>(
      reinterpret_cast<void (*)()>(KernelProc("SetDllDirectoryA")));
  if (setDirectory != nullptr) setDirectory("");
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
  RestrictDllSearch();
  HANDLE mutex = AcquireSingleInstance(kSingleInstanceName);
  if (mutex == nullptr) return 0;

  // Taken before the first hide, which may hand the activation elsewhere.
  HWND foreground = GetForegroundWindow();
  PtrList* hidden = HideOtherWindows();
  ShowCursor(FALSE);

  RunViewer(__argc, __argv);

  if (hidden != nullptr) {
    StopRestoringOnCrash();
    RestoreWindows(hidden);
    PtrListDelete(hidden);
  }
  ReturnForeground(foreground);
  CloseHandle(mutex);
  return 0;
}
