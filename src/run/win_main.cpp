// The program's entry: one copy at a time; hide the other windows and the
// cursor, run the viewer, then show the windows again. Always exits with 0.
#include <windows.h>

#include <cstdlib>

#include "run/pointer_list.h"
#include "run/window_hiding.h"
#include "viewer/viewer_window.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
  HANDLE mutex = AcquireSingleInstance(kSingleInstanceName);
  if (mutex == nullptr) return 0;

  // Without a list nothing could be shown again, so nothing is hidden.
  PtrList* hidden = PtrListNew();
  if (hidden != nullptr) EnumWindows(HideWindowProc, reinterpret_cast<LPARAM>(hidden));
  ShowCursor(FALSE);

  RunViewer(__argc, __argv);

  if (hidden != nullptr) {
    RestoreWindows(hidden);
    PtrListDelete(hidden);
  }
  CloseHandle(mutex);
  return 0;
}
