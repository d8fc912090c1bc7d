// Single instance, hiding and restoring windows.
#include "window_hiding.h"

const char kSingleInstanceName[] = "This project name is SOLVANE.";

HANDLE AcquireSingleInstance(const char* name) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
  if (mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) return mutex;
  if (mutex != nullptr) CloseHandle(mutex);
  return nullptr;
}

BOOL ShowOrHide(HWND hwnd, int show) {
  return ShowWindow(hwnd, show != 0 ? SW_SHOWNA : SW_HIDE);
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
  if (list != nullptr) EnumWindows(HideWindowProc, reinterpret_cast<LPARAM>(list));
  return list;
}

int RestoreWindows(PtrList* list) {
  const int32_t count = PtrListCount(list);
  for (int32_t index = 0; index < count; ++index) {
    ShowOrHide(static_cast<HWND>(PtrListAt(list, index)), 1);
  }
  return 1;
}
