// Test only: a DLL that, when a process loads it, leaves an empty file named
// after itself with ".loaded" added, so that a test can tell it was loaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  char path[MAX_PATH + 8] = {};
  if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(instance, path, MAX_PATH) > 0) {
    lstrcatA(path, ".loaded");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return TRUE;
}
