#include "run/window_hiding.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

void* FailingAlloc(size_t) { return nullptr; }

// The list is allocated first, then each window's record just before that
// window is hidden: the second record stands for a fault in the middle of
// the enumeration.
int gAllocations = 0;
bool gArmedAtEveryRecord = true;
bool gFirstHiddenIsBack = false;
HWND gTestWindows[2] = {};

LPTOP_LEVEL_EXCEPTION_FILTER CurrentFilter() {
  LPTOP_LEVEL_EXCEPTION_FILTER filter = SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(filter);
  return filter;
}

void* FaultOnSecondRecord(size_t size) {
  const LPTOP_LEVEL_EXCEPTION_FILTER filter = CurrentFilter();
  if (++gAllocations == 1) return malloc(size);
  gArmedAtEveryRecord = gArmedAtEveryRecord && filter == RestoreOnCrash;
  if (gAllocations == 3 && filter == RestoreOnCrash) {
    EXCEPTION_POINTERS fault = {};
    EXPECT_EQ(RestoreOnCrash(&fault), EXCEPTION_EXECUTE_HANDLER);
    gFirstHiddenIsBack = IsWindowVisible(gTestWindows[0]) && IsWindowVisible(gTestWindows[1]);
  }
  return malloc(size);
}

// Waits for `handle` while handling this thread's own messages, so that a
// show or hide queued for one of our windows cannot be what holds it up.
bool WaitPumping(HANDLE handle, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  bool signalled = false;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if (signalled) return true;
    const DWORD waited = GetTickCount() - start;
    if (waited >= timeoutMs) return false;
    signalled = MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - waited, QS_ALLINPUT) ==
                WAIT_OBJECT_0;
  }
}

// A window of another thread that stops reading messages once it is shown,
// as an application that is not responding, until Resume.
class HungWindow {
 public:
  HungWindow()
      : created(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        resume(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        drained(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        thread(CreateThread(nullptr, 0, Run, this, 0, &threadId)) {
    WaitForSingleObject(created, 10000);
  }
  ~HungWindow() {
    SetEvent(resume);
    PostThreadMessageA(threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, 10000);
    for (HANDLE h : {thread, drained, resume, created}) CloseHandle(h);
  }
  HungWindow(const HungWindow&) = delete;
  HungWindow& operator=(const HungWindow&) = delete;

  void Resume() { SetEvent(resume); }
  // True once the thread has handled everything queued for it before Resume.
  bool Drained() { return WaitForSingleObject(drained, 10000) == WAIT_OBJECT_0; }

  HWND hwnd = nullptr;

 private:
  static DWORD WINAPI Run(void* context) {
    auto* self = static_cast<HungWindow*>(context);
    self->hwnd = CreateWindowExA(0, "VistrelHidingTest", "", WS_POPUP | WS_VISIBLE, 120, 0, 50,
                                 50, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(self->hwnd);  // the keyboard's window, when it stops responding
    SetEvent(self->created);
    WaitForSingleObject(self->resume, INFINITE);  // not responding
    MSG msg;
    bool quit = false;
    while (!quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      quit = msg.message == WM_QUIT;
      if (!quit) DispatchMessageA(&msg);
    }
    SetEvent(self->drained);
    while (!quit && GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    DestroyWindow(self->hwnd);
    return 0;
  }

  HANDLE created;
  HANDLE resume;
  HANDLE drained;
  DWORD threadId = 0;
  HANDLE thread;
};

// What WinMain does around the viewer run.
DWORD WINAPI HideAndRestore(void*) {
  HWND foreground = GetForegroundWindow();
  PtrList* list = HideOtherWindows();
  StopRestoringOnCrash();
  if (list != nullptr) {
    RestoreWindows(list);
    PtrListDelete(list);
  }
  ReturnForeground(foreground);
  return 0;
}

class WindowHiding : public testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VistrelHidingTest";
    RegisterClassA(&wc);
    hwnd = CreateWindowExA(0, "VistrelHidingTest", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                           nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(IsWindowVisible(hwnd));
  }
  void TearDown() override {
    PtrListSetAllocHooks(nullptr, nullptr);
    DestroyWindow(hwnd);
  }
  HWND hwnd = nullptr;
};

int32_t Differs(void* item, int32_t, void* context) { return item != context; }

bool Recorded(PtrList* list, HWND hwnd) { return PtrListFind(list, 1, Differs, hwnd) == hwnd; }

// A cloaked window is on no screen, so it is neither hidden nor recorded.
TEST_F(WindowHiding, RecordsAndHidesAVisibleWindowOnceAndNoCloakedOne) {
  HWND cloaked = CreateWindowExA(0, "VistrelHidingTest", "", WS_POPUP | WS_VISIBLE, 60, 0, 50,
                                 50, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  CheckedCloak(cloaked);
  PtrList* list = HideOtherWindows();
  StopRestoringOnCrash();
  CheckedCloak(nullptr);
  ASSERT_NE(list, nullptr);
  const int32_t count = PtrListCount(list);
  EXPECT_TRUE(HideWindowProc(hwnd, reinterpret_cast<LPARAM>(list)));  // reported twice
  EXPECT_EQ(PtrListCount(list), count);
  EXPECT_TRUE(Recorded(list, hwnd));
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_FALSE(Recorded(list, cloaked));
  EXPECT_TRUE(IsWindowVisible(cloaked));
  RestoreWindows(list);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  PtrListDelete(list);
  DestroyWindow(cloaked);
}

// A window that could not be recorded could never be shown again.
TEST_F(WindowHiding, WindowWhoseRecordCannotBeAllocatedStaysVisible) {
  PtrList* list = PtrListNew();
  ASSERT_NE(list, nullptr);
  PtrListSetAllocHooks(FailingAlloc, nullptr);
  EXPECT_TRUE(HideWindowProc(hwnd, reinterpret_cast<LPARAM>(list)));
  PtrListSetAllocHooks(nullptr, nullptr);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(PtrListCount(list), 0);
  PtrListDelete(list);
}

TEST_F(WindowHiding, CrashDuringTheEnumerationShowsTheWindowsHiddenSoFar) {
  gTestWindows[0] = hwnd;
  gTestWindows[1] = CreateWindowExA(0, "VistrelHidingTest", "", WS_POPUP | WS_VISIBLE, 60, 0, 50,
                                    50, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  const LPTOP_LEVEL_EXCEPTION_FILTER before = CurrentFilter();
  PtrListSetAllocHooks(FaultOnSecondRecord, nullptr);
  PtrList* list = HideOtherWindows();
  PtrListSetAllocHooks(nullptr, nullptr);
  ASSERT_NE(list, nullptr);
  EXPECT_GE(gAllocations, 3);
  EXPECT_TRUE(gArmedAtEveryRecord);
  EXPECT_TRUE(gFirstHiddenIsBack);
  StopRestoringOnCrash();
  EXPECT_EQ(CurrentFilter(), before);
  RestoreWindows(list);
  PtrListDelete(list);
  EXPECT_TRUE(IsWindowVisible(gTestWindows[1]));
  DestroyWindow(gTestWindows[1]);
}

// An application that has stopped reading messages holds up neither the
// hiding nor the restoring, and its window is visible once it reads again.
TEST_F(WindowHiding, HungApplicationHoldsNothingUpAndEndsVisible) {
  HungWindow hung;
  ASSERT_NE(hung.hwnd, nullptr);
  ASSERT_EQ(GetForegroundWindow(), hung.hwnd);
  HANDLE worker = CreateThread(nullptr, 0, HideAndRestore, nullptr, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  EXPECT_TRUE(WaitPumping(worker, 2000))
      << "hiding and restoring the windows waited for a thread that reads no messages";
  hung.Resume();
  ASSERT_TRUE(WaitPumping(worker, 10000));
  CloseHandle(worker);
  ASSERT_TRUE(hung.Drained());
  EXPECT_TRUE(IsWindowVisible(hung.hwnd));
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

TEST_F(WindowHiding, NothingIsHiddenWithoutAList) {
  PtrListSetAllocHooks(FailingAlloc, nullptr);
  EXPECT_EQ(HideOtherWindows(), nullptr);
  PtrListSetAllocHooks(nullptr, nullptr);
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

}  // namespace
