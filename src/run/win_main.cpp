// The program's entry: one copy at a time; hide the other windows and the
// cursor, run the viewer, then show the windows again. Always exits with 0.
#include <windows.h>

#include <cstdlib>

#include "run/pointer_list.h"
#include "run/window_hiding.h"
#include "viewer/viewer_window.h"

namespace {

// The windows this run hid, for the crash filter below.
PtrList* gHiddenWindows = nullptr;

// A crash must not leave other applications' windows hidden for good: show
// them again, then let the process end.
LONG WINAPI RestoreOnCrash(EXCEPTION_POINTERS* /*exception*/) {
  PtrList* hidden = gHiddenWindows;
  gHiddenWindows = nullptr;  // a fault while restoring must not restore twice
  if (hidden != nullptr) RestoreWindows(hidden);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
  HANDLE mutex = AcquireSingleInstance(kSingleInstanceName);
  if (mutex == nullptr) return 0;

  PtrList* hidden = HideOtherWindows();
  if (hidden != nullptr) {
    gHiddenWindows = hidden;
    SetUnhandledExceptionFilter(RestoreOnCrash);
  }
  ShowCursor(FALSE);

  RunViewer(__argc, __argv);

  if (hidden != nullptr) {
    SetUnhandledExceptionFilter(nullptr);
    gHiddenWindows = nullptr;
    RestoreWindows(hidden);
    PtrListDelete(hidden);
  }
  CloseHandle(mutex);
  return 0;
}
