#include "viewer/viewer_window.h"

#include <gtest/gtest.h>

namespace {

TEST(ViewerClass, AlwaysGetsDoubleClicksAndTheShellIcons) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  ASSERT_NE(RegisterViewerClass(instance, "VistrelTestClass", DefWindowProcA, CS_NOCLOSE, "",
                                NULL_BRUSH),
            0);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  ASSERT_TRUE(GetClassInfoExA(instance, "VistrelTestClass", &wc));
  EXPECT_EQ(wc.style, static_cast<UINT>(CS_NOCLOSE | CS_DBLCLKS));
  EXPECT_EQ(wc.hbrBackground, GetStockObject(NULL_BRUSH));
  EXPECT_EQ(wc.hCursor, nullptr);
  EXPECT_NE(wc.hIcon, nullptr);
  EXPECT_NE(wc.hIconSm, nullptr);
  UnregisterClassA("VistrelTestClass", instance);
}

class ViewerProc : public testing::Test {
 protected:
  void SetUp() override {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewerClass(instance, kViewerClassName, ViewerWindowProc, CS_NOCLOSE, "", NULL_BRUSH);
    hwnd = CreateWindowExA(0, kViewerClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                           nullptr, nullptr, instance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    UpdateWindow(hwnd);
  }
  void TearDown() override {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    // Drop the quit message that the destruction posted.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  HWND hwnd = nullptr;
};

TEST_F(ViewerProc, PaletteMessagesRepaintTheWholeWindow) {
  for (UINT msg : {WM_QUERYNEWPALETTE, WM_PALETTEISCHANGING}) {
    SCOPED_TRACE(msg);
    ValidateRect(hwnd, nullptr);
    EXPECT_EQ(SendMessageA(hwnd, msg, 0, 0), 0);
    RECT update = {};
    EXPECT_TRUE(GetUpdateRect(hwnd, &update, FALSE));
    EXPECT_EQ(update.left, 0);
    EXPECT_EQ(update.top, 0);
    EXPECT_EQ(update.right, 200);
    EXPECT_EQ(update.bottom, 100);
  }
}

// System keys get no default processing: Alt+F4 must not close the viewer
// when keys are not allowed to end the run.
TEST_F(ViewerProc, AltF4DoesNothingWhenKeysDoNotEndTheRun) {
  gSettings.quitByKeyboard = 0;
  gSettings.quitByMouse = 0;
  EXPECT_EQ(SendMessageA(hwnd, WM_SYSKEYDOWN, VK_F4, 1 << 29), 0);
  EXPECT_EQ(SendMessageA(hwnd, WM_SYSKEYUP, VK_F4, 1 << 29 | 1u << 31 | 1 << 30), 0);
  EXPECT_TRUE(IsWindow(hwnd));
  gSettings.quitByKeyboard = 1;
  EXPECT_EQ(SendMessageA(hwnd, WM_SYSKEYUP, VK_F4, 1 << 29 | 1u << 31 | 1 << 30), 0);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(ViewerProc, DestroyPostsQuit) {
  DestroyWindow(hwnd);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0u);
}

}  // namespace
