// Time from starting a program to its window covering the screen, for
// vistrel.exe against a program that only opens a full-screen window; the
// median of several runs each. Usage: startup_bench <vistrel.exe> <minimal.exe>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "wall_clock.h"

namespace {

constexpr int kRuns = 11;

// A visible window of `process` that covers the primary screen.
HWND CoveringWindow(DWORD processId) {
  HWND found = nullptr;
  for (HWND hwnd = GetTopWindow(nullptr); hwnd != nullptr && found == nullptr;
       hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    RECT rect;
    if (owner == processId && IsWindowVisible(hwnd) && GetWindowRect(hwnd, &rect) &&
        rect.left <= 0 && rect.top <= 0 && rect.right >= GetSystemMetrics(SM_CXSCREEN) &&
        rect.bottom >= GetSystemMetrics(SM_CYSCREEN)) {
      found = hwnd;
    }
  }
  return found;
}

// Seconds to a covering window, or a negative value when none came.
double TimeOne(const std::string& exe) {
  std::string line = "\"" + exe + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const double start = WallSeconds();
  if (!CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  double elapsed = -1;
  HWND hwnd = nullptr;
  while (WallSeconds() - start < 20) {
    hwnd = CoveringWindow(process.dwProcessId);
    if (hwnd != nullptr) {
      elapsed = WallSeconds() - start;
      break;
    }
    Sleep(1);
  }
  if (hwnd != nullptr) PostMessageA(hwnd, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return elapsed;
}

double Median(const std::string& exe) {
  std::vector<double> times;
  for (int i = 0; i < kRuns; ++i) {
    const double t = TimeOne(exe);
    if (t < 0) return -1;
    times.push_back(t);
    Sleep(200);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const double vistrel = Median(argv[1]);
  const double minimal = Median(argv[2]);
  if (vistrel < 0 || minimal < 0) {
    printf("start-up: a program did not cover the screen\n");
    return 1;
  }
  printf("start-up to a covering window, median of %d: vistrel.exe %.0f ms, minimal window "
         "%.0f ms, ratio %.2f\n",
         kRuns, vistrel * 1000, minimal * 1000, vistrel / minimal);
  return 0;
}
