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

TEST_F(WindowHiding, RecordsAndHidesAVisibleWindowOnce) {
  PtrList* list = PtrListNew();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(HideWindowProc(hwnd, reinterpret_cast<LPARAM>(list)));
  EXPECT_TRUE(HideWindowProc(hwnd, reinterpret_cast<LPARAM>(list)));  // reported twice
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_EQ(PtrListCount(list), 1);
  RestoreWindows(list);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  PtrListDelete(list);
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

TEST_F(WindowHiding, NothingIsHiddenWithoutAList) {
  PtrListSetAllocHooks(FailingAlloc, nullptr);
  EXPECT_EQ(HideOtherWindows(), nullptr);
  PtrListSetAllocHooks(nullptr, nullptr);
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

}  // namespace
