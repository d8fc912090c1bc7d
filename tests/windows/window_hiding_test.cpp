#include "run/window_hiding.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

void* FailingAlloc(size_t) { return nullptr; }

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

TEST_F(WindowHiding, NothingIsHiddenWithoutAList) {
  PtrListSetAllocHooks(FailingAlloc, nullptr);
  EXPECT_EQ(HideOtherWindows(), nullptr);
  PtrListSetAllocHooks(nullptr, nullptr);
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

}  // namespace
