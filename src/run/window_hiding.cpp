// Single instance, hiding and restoring windows.
#include "window_hiding.h"

const char kSingleInstanceName[] = "This project name is SOLVANE.";

namespace {

// The windows this run hid, for the crash filter, and the filter it replaced.
PtrList* gHiddenWindows = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER gPreviousFilter = nullptr;

}  // namespace

HANDLE AcquireSingleInstance(const char* name) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
  if (mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) return mutex;
  if (mutex != nullptr) CloseHandle(mutex);
  return nullptr;
}

// ShowWindow on another thread's window waits for that thread, so one
// application that has stopped responding would hold up the whole run and
// get its hide after we are gone. The asynchronous call queues the change in
// the window's own thread, in order, and acts at once on our own windows.
BOOL ShowOrHide(HWND hwnd, int show) {
  return ShowWindowAsync(hwnd, show != 0 ? SW_SHOWNA : SW_HIDE);
}

BOOL CALLBACK HideWindowProc(HWND hwnd, LPARAM lParam) {
  auto* list = reinterpret_cast<PtrList*>(lParam);
  if (!IsWindowVisible(hwnd) || IsIconic(hwnd)) return TRUE;
  // Only a window that is on the list can be shown again, so one whose
  // record could not be allocated stays visible.
  if (PtrListAddUnique(list, hwnd) != -1) ShowOrHide(hwnd, 0);
  return TRUE;
}

PtrList* HideOtherWindows() {
  // Without a list nothing could be shown again, so nothing is hidden.
  PtrList* list = PtrListNew();
  if (list == nullptr) return nullptr;
  // Armed before the first window is hidden: a fault during the enumeration
  // must still show the windows hidden so far.
  gHiddenWindows = list;
  gPreviousFilter = SetUnhandledExceptionFilter(RestoreOnCrash);
  EnumWindows(HideWindowProc, reinterpret_cast<LPARAM>(list));
  return list;
}

LONG WINAPI RestoreOnCrash(EXCEPTION_POINTERS* /*exception*/) {
  PtrList* hidden = gHiddenWindows;
  gHiddenWindows = nullptr;  // a fault while restoring must not restore twice
  if (hidden != nullptr) RestoreWindows(hidden);
  return EXCEPTION_EXECUTE_HANDLER;
}

void StopRestoringOnCrash() {
  SetUnhandledExceptionFilter(gPreviousFilter);
  gPreviousFilter = nullptr;
  gHiddenWindows = nullptr;
}

int RestoreWindows(PtrList* list) {
  const int32_t count = PtrListCount(list);
  for (int32_t index = 0; index < count; ++index) {
    ShowOrHide(static_cast<HWND>(PtrListAt(list, index)), 1);
  }
  return 1;
}
