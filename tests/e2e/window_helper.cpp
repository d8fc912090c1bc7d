// Another application for the end-to-end tests: opens three visible windows
// ("visible 1" to "visible 3", the second of them active), a minimised one and
// one that is never shown, keeps its message loop running, and appends each
// WM_SHOWWINDOW it gets to the log file named by its argument, one
// "<title> <shown>" line per event, and each activation as "<title> active".
// A second thread shows one more window, "not responding", and then reads no
// messages until WM_APP reaches one of the others. WM_APP + 1 shows a
// topmost popup, "topmost" (activated when wParam is non-zero, as a program
// shows its always-on-top window); WM_APP + 2 then raises it every 20 ms for
// 3 s; WM_APP + 3 activates the window in wParam. Writes "ready" once its
// windows exist; ends on WM_CLOSE to any of the responsive ones.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

FILE* gLog = nullptr;
HANDLE gResume = nullptr;

void Log(const char* text) {
  if (gLog == nullptr) return;
  fprintf(gLog, "%s\n", text);
  fflush(gLog);
}

void LogEvent(HWND hwnd, const char* event) {
  char title[64] = {};
  GetWindowTextA(hwnd, title, sizeof title);
  char line[96];
  snprintf(line, sizeof line, "%s %s", title, event);
  Log(line);
}

LRESULT CALLBACK HelperProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SHOWWINDOW) {
    LogEvent(hwnd, wParam != 0 ? "1" : "0");
  } else if (msg == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
    LogEvent(hwnd, "active");
  } else if (msg == WM_APP) {
    SetEvent(gResume);
    return 0;
  } else if (msg == WM_APP + 1) {
    ShowWindow(CreateWindowExA(WS_EX_TOPMOST, "VistrelTestHelper", "topmost", WS_POPUP, 300, 200,
                               160, 120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr),
               wParam != 0 ? SW_SHOW : SW_SHOWNOACTIVATE);
    return 0;
  } else if (msg == WM_APP + 2) {
    SetTimer(FindWindowA("VistrelTestHelper", "topmost"), 1, 20, nullptr);
    return 0;
  } else if (msg == WM_APP + 3) {
    SetForegroundWindow(reinterpret_cast<HWND>(wParam));
    return 0;
  } else if (msg == WM_TIMER) {
    static int raised = 0;
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (++raised == 150) KillTimer(hwnd, 1);
    return 0;
  } else if (msg == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND Make(HINSTANCE instance, const char* title, int x) {
  return CreateWindowExA(0, "VistrelTestHelper", title, WS_OVERLAPPEDWINDOW, x, 40, 160, 120,
                         nullptr, nullptr, instance, nullptr);
}

// The window of an application that has stopped responding: shown, and then
// no message is read until the test lets the thread go on.
DWORD WINAPI NotResponding(void* shown) {
  ShowWindow(Make(GetModuleHandleA(nullptr), "not responding", 20), SW_SHOWNOACTIVATE);
  SetEvent(shown);
  WaitForSingleObject(gResume, INFINITE);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  gLog = fopen(argv[1], "ab");
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = HelperProc;
  wc.hInstance = instance;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = "VistrelTestHelper";
  RegisterClassA(&wc);

  const char* visible[] = {"visible 1", "visible 2", "visible 3"};
  HWND windows[3] = {};
  int x = 20;
  for (int i = 0; i < 3; ++i) {
    windows[i] = Make(instance, visible[i], x);
    ShowWindow(windows[i], SW_SHOWNOACTIVATE);
    x += 180;
  }
  SetForegroundWindow(windows[1]);  // the user was typing there
  ShowWindow(Make(instance, "minimised", x), SW_SHOWMINNOACTIVE);
  Make(instance, "never shown", x + 180);
  gResume = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE shown = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CreateThread(nullptr, 0, NotResponding, shown, 0, nullptr);
  WaitForSingleObject(shown, INFINITE);
  Log("ready");

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  if (gLog != nullptr) fclose(gLog);
  return 0;
}
