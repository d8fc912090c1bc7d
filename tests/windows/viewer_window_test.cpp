#include "viewer/viewer_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "picture/picture_codecs.h"
#include "picture/picture_file.h"
#include "picture/picture_paint.h"
#include "../test_files.h"
#include "pattern_picture.h"
#include "wic_picture.h"

namespace {

// An icon's width, from its mask.
int IconWidth(HICON icon) {
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return 0;
  BITMAP mask = {};
  GetObjectA(info.hbmMask, sizeof mask, &mask);
  DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  return mask.bmWidth;
}

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
  EXPECT_EQ(IconWidth(wc.hIcon), 32);
  EXPECT_EQ(IconWidth(wc.hIconSm), 16);
  UnregisterClassA("VistrelTestClass", instance);
}

// A cut own path names some other file, or on XP is not even terminated.
TEST(ViewerClass, IconsOnlyFromTheWholeOwnPath) {
  const struct {
    ModulePathFetch fetch;
    bool icon;
  } cases[] = {
      {ModulePathFetch::kWhole, true},
      {ModulePathFetch::kCutTerminated, false},
      {ModulePathFetch::kCutUnterminated, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fetch));
    CheckedModulePathFetch(c.fetch);
    for (int small : {0, 1}) EXPECT_EQ(ModuleIcon(GetModuleHandleA(nullptr), small) != nullptr, c.icon);
  }
  CheckedModulePathFetch(ModulePathFetch::kWhole);
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

// Every path of a real paint, through the drawing-object checker: what a
// paint makes it deletes, nothing is deleted while still selected, and the
// window around the picture shows the desktop.
TEST_F(ViewerProc, PaintShowsTheDesktopAndDeletesWhatItMakesOnEveryPath) {
  unsigned char pixels[2 * 8] = {};  // 2x2: two rows of 8 bytes at 24 or 32 bits
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = 2;
  header.biHeight = 2;
  header.biPlanes = 1;
  header.biBitCount = 24;
  struct Case {
    const char* name;
    bool picture;
    unsigned char* pixels;
    std::optional<CheckedCreate> failing;
    int made;  // of palette, memory DC and bitmap
    bool blended = false;  // 2x2 at 32 bits with premultiplied alpha: a DIB section
    bool refused = false;  // GDI makes no device-dependent bitmap at all
  } const cases[] = {
      {"picture", true, pixels, std::nullopt, 3},
      {"no picture", false, nullptr, std::nullopt, 2},
      {"record without pixels", true, nullptr, std::nullopt, 2},
      {"no halftone palette", true, pixels, CheckedCreate::kHalftonePalette, 2},
      {"no memory DC", true, pixels, CheckedCreate::kCompatibleDc, 1},
      {"no bitmap", true, pixels, std::nullopt, 2, false, true},
      {"blended picture", true, pixels, std::nullopt, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gPicture = PictureRecord{};
    if (c.picture) gPicture.infoHeader = header;
    if (c.blended) gPicture.infoHeader.biBitCount = 32;
    gPicture.premultipliedAlpha = c.blended;
    gPicture.pixels = c.pixels;
    CheckedReset();
    if (c.failing) CheckedFailNext(*c.failing);
    if (c.refused) CheckedBitmapLimit(0);
    HDC window = GetDC(hwnd);
    const RECT whole = {0, 0, 200, 100};
    FillRect(window, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    EXPECT_EQ(CheckedMadeCount(), c.made);
    EXPECT_EQ(CheckedLiveCount(), 0);
    EXPECT_EQ(GetPixel(window, 100, 50), kCheckedDesktopColour);
    ReleaseDC(hwnd, window);
  }
  gPicture = PictureRecord{};
}

// The cover's check passes over windows above it that show nothing, hidden
// or cloaked, and puts the cover back over the first one that shows.
TEST_F(ViewerProc, CoverGoesBackOverTheFirstWindowAboveItThatShows) {
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const struct {
    const char* name;
    bool shownOnTop;
    bool cloaked;
  } cases[] = {
      {"a shown window above a hidden one", true, false},
      {"a hidden window alone", false, false},
      {"a cloaked window above a hidden one", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto topmost = [](DWORD style) {
      return CreateWindowExA(WS_EX_TOPMOST | WS_EX_NOACTIVATE, "STATIC", "", WS_POPUP | style, 0,
                             0, 10, 10, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    };
    HWND hidden = topmost(0);
    HWND shown = c.shownOnTop ? topmost(WS_VISIBLE) : nullptr;
    CheckedCloak(c.cloaked ? shown : nullptr);
    ASSERT_EQ(GetWindow(hwnd, GW_HWNDPREV), hidden);
    SendMessageA(hwnd, WM_TIMER, 1, 0);
    EXPECT_EQ(GetWindow(hwnd, GW_HWNDPREV) == nullptr, c.shownOnTop && !c.cloaked);
    CheckedCloak(nullptr);
    if (shown != nullptr) DestroyWindow(shown);
    DestroyWindow(hidden);
  }
}

// Whatever the picture's size, a paint converts only what the window shows,
// in bitmaps no larger than a band, and in smaller ones when GDI refuses;
// every pixel of the window shows its own pixel of the picture.
TEST_F(ViewerProc, PictureLargerThanTheWindowShowsItsTopLeftPartFromSmallBitmaps) {
  constexpr long long kWindows = 48LL << 20;
  const struct {
    const char* name;
    int width, height;
    Layout layout;
    bool topDown;
    long long limit;
    int windowWidth = 200, windowHeight = 100;
  } cases[] = {
      {"24-bit", 5000, 4000, Layout::k24, false, kWindows},
      {"top-down", 400, 300, Layout::k24, true, kWindows},
      {"RLE8", 400, 300, Layout::kRle8, false, kWindows},
      {"premultiplied", 400, 300, Layout::kPremultiplied, true, kWindows},
      {"limit below the window", 5000, 4000, Layout::k24, false, 200 * 100 * 4 / 3},
      {"window past one band", 5000, 4000, Layout::k24, true, kWindows, 1000, 700},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const PatternPicture picture(c.width, c.height, c.layout, c.topDown);
    gPicture = picture.record;
    CheckedReset();
    CheckedBitmapLimit(c.limit);
    SetWindowPos(hwnd, nullptr, 0, 0, c.windowWidth, c.windowHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    EXPECT_LE(CheckedLargestBitmap(),
              std::min({4LL * c.windowWidth * c.windowHeight, c.limit, LONGLONG{kBandBytes}}));
    EXPECT_EQ(CheckedLiveCount(), 0);
    HDC window = GetDC(hwnd);
    const uint32_t desktop = GetRValue(kCheckedDesktopColour) << 16 |
                             GetGValue(kCheckedDesktopColour) << 8 | GetBValue(kCheckedDesktopColour);
    // What lies off the screen is never drawn.
    const int seenWidth = std::min(c.windowWidth, GetSystemMetrics(SM_CXSCREEN));
    const int seenHeight = std::min(c.windowHeight, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_TRUE(SamePixels(ReadBack(window, seenWidth, seenHeight),
                           [&](int x, int y) { return picture.Shows(x, y, desktop); }));
    ReleaseDC(hwnd, window);
  }
  gPicture = PictureRecord{};
  CheckedReset();
}

// The screen changes size while the cover is up: the window covers it again
// from 0,0, and a decoded picture that kept less than the larger screen shows,
// in either direction, is read again for it into a block of its own, the old
// one freed. A block that large comes straight from the system, and is gone
// from the address space once freed.
TEST(ViewerWindow, CoversTheScreenAgainWhenItChangesSize) {
  const std::wstring path = Wide(ScratchDir() + "changes.png");
  ASSERT_TRUE(WriteQuadrants(ScratchDir() + "changes.png", 1200, 900, GUID_ContainerFormatPng));
  ViewerRun run = {path.c_str(), 10, 5, false};
  gPicture = PictureRecord{};
  gPicture.pixels = LoadAnyPicture(run.picture, 10, 5, nullptr, &gPicture, &run.comStarted);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterViewerClass(instance, kViewerClassName, ViewerWindowProc, CS_NOCLOSE, "", NULL_BRUSH);
  HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, kViewerClassName, "", WS_POPUP | WS_VISIBLE, 5, 5,
                              10, 5, nullptr, nullptr, instance, &run);
  // Taller only, then wider too, then smaller: the picture is taken again twice.
  for (const SIZE screen : {SIZE{10, 48}, SIZE{1300, 1000}, SIZE{32, 16}}) {
    SCOPED_TRACE(screen.cx);
    CheckedScreenSize(screen.cx, screen.cy);
    SendMessageA(hwnd, WM_DISPLAYCHANGE, 32, MAKELPARAM(screen.cx, screen.cy));
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, screen.cx);
    EXPECT_EQ(rect.bottom, screen.cy);
    const bool first = screen.cx == 10;
    EXPECT_EQ(gPicture.infoHeader.biWidth, first ? 10 : 1200);
    EXPECT_EQ(gPicture.infoHeader.biHeight, first ? -48 : -900);
    MEMORY_BASIC_INFORMATION block = {};
    VirtualQuery(gPicture.pixels, &block, sizeof block);
    EXPECT_EQ(block.State, static_cast<DWORD>(MEM_COMMIT)) << "the record's block was freed";
  }
  CheckedScreenSize(0, 0);
  DestroyWindow(hwnd);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  free(gPicture.pixels);
  gPicture = PictureRecord{};
  if (run.comStarted) CoUninitialize();
}

TEST_F(ViewerProc, DestroyPostsQuit) {
  DestroyWindow(hwnd);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0u);
}

}  // namespace
