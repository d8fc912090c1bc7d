// The program's entry: one copy at a time; hide the other windows and the
// cursor, run the viewer, then show the windows again and give the keyboard
// back to the window that had it. Always exits with 0.
#include <windows.h>

#include <cstdlib>  // __argc and __argv

#include "run/pointer_list.h"
#include "run/window_hiding.h"
#include "viewer/viewer_window.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
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
