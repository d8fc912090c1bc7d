// End-to-end tests: the built vistrel.exe started as its own process, from a
// folder of its own with its own vistrel.ini, driven through real input
// (SendInput) and checked by what a user would see and keep.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "../test_files.h"
#include "../windows/pixels.h"

namespace {

constexpr DWORD kStartTimeoutMs = 15000;
constexpr DWORD kExitTimeoutMs = 5000;
// How long a run must go on to count as "not ended" by an input.
constexpr DWORD kStillRunningMs = 1200;

std::string OwnFolder() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.rfind('\\') + 1);
}

// A 24-bit bottom-up BMP whose pixel (x, y from the top) has colour(x, y).
template <typename ColourAt>
std::string Bmp24(int width, int height, ColourAt colour) {
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  std::string file(54 + static_cast<size_t>(rowBytes) * height, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  file[26] = 1;
  file[28] = 24;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const COLORREF c = colour(x, y);
      const size_t at = 54 + static_cast<size_t>(height - 1 - y) * rowBytes + x * 3;
      file[at] = static_cast<char>(GetBValue(c));
      file[at + 1] = static_cast<char>(GetGValue(c));
      file[at + 2] = static_cast<char>(GetRValue(c));
    }
  }
  return file;
}

// Quadrants in four colours, so upside-down or mirrored drawing shows.
COLORREF Quadrants(int x, int y, int width, int height) {
  const bool right = x >= width / 2;
  const bool bottom = y >= height / 2;
  if (!right && !bottom) return RGB(255, 0, 0);
  if (right && !bottom) return RGB(0, 255, 0);
  if (!right && bottom) return RGB(0, 0, 255);
  return RGB(255, 255, 0);
}

void SendKey(WORD vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, sizeof input);
}

void MoveMouse(int x, int y) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

void SendButton(DWORD flag) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flag;
  SendInput(1, &input, sizeof input);
}

void Click() {
  SendButton(MOUSEEVENTF_LEFTDOWN);
  SendButton(MOUSEEVENTF_LEFTUP);
}

// A press is of the left button unless it says otherwise.
enum class Input { kKey, kPress, kRightPress, kMiddlePress, kDoubleClick, kRightDoubleClick };

const char* Name(Input input) {
  switch (input) {
    case Input::kKey: return "key";
    case Input::kPress: return "press";
    case Input::kRightPress: return "right press";
    case Input::kMiddlePress: return "middle press";
    case Input::kRightDoubleClick: return "right double-click";
    default: return "double-click";
  }
}

// One of Wine's settings for one program (under the key AppDefaults of
// Software\Wine, in HKEY_CURRENT_USER), for as long as the holder lives.
// Windows has no such key.
class WineAppSetting {
 public:
  WineAppSetting(const char* program, const char* key, const char* name, const char* value)
      : app(std::string("Software\\Wine\\AppDefaults\\") + program), path(app + "\\" + key) {
    HKEY held = nullptr;
    set = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &held, nullptr) == ERROR_SUCCESS &&
          RegSetValueExA(held, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                         static_cast<DWORD>(strlen(value) + 1)) == ERROR_SUCCESS;
    if (held != nullptr) RegCloseKey(held);
  }
  ~WineAppSetting() {
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, app.c_str());  // refused while other settings remain
  }
  WineAppSetting(const WineAppSetting&) = delete;
  WineAppSetting& operator=(const WineAppSetting&) = delete;
  bool set = false;  // the value is in place

 private:
  const std::string app;
  const std::string path;
};

// One run of vistrel.exe in a folder of its own.
class Vistrel : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof temp, temp);
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    folder = std::string(temp) + "vistrel-e2e-" + info->name() + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    exe = folder + "vistrel.exe";
    ini = folder + "vistrel.ini";
    DeleteFileA(ini.c_str());
    ASSERT_TRUE(CopyFileA((OwnFolder() + "..\\vistrel.exe").c_str(), exe.c_str(), FALSE));
    MoveMouse(400, 300);
  }

  void TearDown() override {
    for (PROCESS_INFORMATION& p : started) {
      if (WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(p.hProcess, 1);
      WaitForSingleObject(p.hProcess, kExitTimeoutMs);
      CloseHandle(p.hThread);
      CloseHandle(p.hProcess);
    }
    RemoveTree(folder);
  }

  void WriteSettings(int keyboard, int mouse, const std::string& picture) {
    ASSERT_TRUE(WriteFileBytes(ini, "[Vistrel]\r\n" + std::string(kMouseKey) + "=" +
                                        std::to_string(mouse) + "\r\n" + kKeyboardKey + "=" +
                                        std::to_string(keyboard) + "\r\n" + kDisplayFileKey +
                                        "=\"" + picture + "\"\r\n"));
  }

  // The arguments are UTF-8, and go on the command line in Unicode, as
  // Explorer passes a file dropped on the program.
  HANDLE Start(const std::string& arguments = "") {
    const std::string command = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::wstring line = Wide(command, CP_UTF8);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(Wide(exe).c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        Wide(folder).c_str(), &startup, &process)) {
      ADD_FAILURE() << "cannot start " << exe;
      return nullptr;
    }
    started.push_back(process);
    return process.hProcess;
  }

  // The viewer window of `process`, once it is shown and painted.
  HWND WaitForViewer(HANDLE process) {
    const DWORD id = GetProcessId(process);
    for (DWORD waited = 0; waited < kStartTimeoutMs; waited += 50) {
      HWND hwnd = nullptr;
      while ((hwnd = FindWindowExA(nullptr, hwnd, "VistrelView", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == id && IsWindowVisible(hwnd)) {
          // The picture is loaded once the window is up and before its
          // messages are read; then the first paint lands.
          DWORD_PTR unused = 0;
          SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kStartTimeoutMs, &unused);
          Sleep(400);
          return hwnd;
        }
      }
      if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
    }
    ADD_FAILURE() << "no viewer window appeared";
    return nullptr;
  }

  static bool Ended(HANDLE process, DWORD timeoutMs) {
    return WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
  }

  static DWORD ExitCode(HANDLE process) {
    DWORD code = 0xFFFF;
    GetExitCodeProcess(process, &code);
    return code;
  }

  static void Give(Input input) {
    switch (input) {
      case Input::kKey:
        SendKey('A', false);
        SendKey('A', true);
        break;
      case Input::kPress: Click(); break;
      case Input::kRightPress:
        SendButton(MOUSEEVENTF_RIGHTDOWN);
        SendButton(MOUSEEVENTF_RIGHTUP);
        break;
      case Input::kMiddlePress:
        SendButton(MOUSEEVENTF_MIDDLEDOWN);
        SendButton(MOUSEEVENTF_MIDDLEUP);
        break;
      case Input::kDoubleClick:
        Click();
        Click();
        break;
      case Input::kRightDoubleClick:
        for (int i = 0; i < 2; ++i) Give(Input::kRightPress);
        break;
    }
  }

  // A show queued for another application's window lands once that
  // application next reads its messages.
  static bool ShownSoon(HWND hwnd) {
    for (int i = 0; i < 40 && !IsWindowVisible(hwnd); ++i) Sleep(50);
    return IsWindowVisible(hwnd) != FALSE;
  }

  static bool PointerShowing() {
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    return GetCursorInfo(&info) && (info.flags & CURSOR_SHOWING) != 0;
  }

  static COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
  }

  // Starts vistrel.exe with each picture that the list in shown-pictures
  // names (by its Linux path, in UTF-8), and holds the screen against the
  // decode beside it. Returns how many it showed.
  int ShowEachAsDecoded(const std::string& listName) {
    const std::string decodes = OwnFolder() + "shown-pictures\\";
    const std::string list = ReadFileBytes(decodes + listName);
    int shown = 0;
    for (size_t at = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1) {
      const std::string line = list.substr(at, end - at);
      const size_t tab = line.find('\t');
      std::string picture = "Z:" + line.substr(0, tab);  // Wine's drive for the Linux root
      for (char& c : picture) c = c == '/' ? '\\' : c;
      SCOPED_TRACE(picture);
      const Pixels decoded = ReadPpm(decodes + line.substr(tab + 1));
      HANDLE process = Start("\"" + picture + "\"");
      if (WaitForViewer(process) == nullptr) break;
      HDC screen = GetDC(nullptr);
      double mean = 0;
      EXPECT_EQ(DifferenceFrom(ReadBack(screen, decoded.width, decoded.height), decoded, &mean),
                "");
      ReleaseDC(nullptr, screen);
      printf("%s, %dx%d shown: a mean difference of %.3f levels\n", picture.c_str(),
             decoded.width, decoded.height, mean);
      Give(Input::kKey);
      EXPECT_TRUE(Ended(process, kExitTimeoutMs));
      EXPECT_EQ(ExitCode(process), 0u);
      ++shown;
    }
    return shown;
  }

  // Starts the other application and waits for its windows.
  void StartHelper(const std::string& log) {
    DeleteFileA(log.c_str());
    const std::string helperExe = OwnFolder() + "window_helper.exe";
    std::string line = "\"" + helperExe + "\" \"" + log + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION helper = {};
    ASSERT_TRUE(CreateProcessA(helperExe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &helper));
    started.push_back(helper);
    for (int i = 0; i < 200 && ReadFileBytes(log).find("ready") == std::string::npos; ++i) Sleep(50);
    ASSERT_NE(ReadFileBytes(log).find("ready"), std::string::npos);
    for (int i = 0; i < 3; ++i) {
      visible[i] = FindWindowA("VistrelTestHelper", ("visible " + std::to_string(i + 1)).c_str());
      ASSERT_TRUE(IsWindowVisible(visible[i]));
    }
  }

  HWND visible[3] = {};
  std::string folder;
  std::string exe;
  std::string ini;
  std::vector<PROCESS_INFORMATION> started;
};

TEST_F(Vistrel, FirstRunCoversTheScreenEndsOnAKeyAndCreatesTheSettings) {
  HANDLE process = Start();
  HWND hwnd = WaitForViewer(process);
  ASSERT_NE(hwnd, nullptr);

  RECT rect = {};
  GetWindowRect(hwnd, &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(rect.bottom, GetSystemMetrics(SM_CYSCREEN));
  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), WS_POPUP);
  EXPECT_NE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_EQ(GetClassLongA(hwnd, GCL_STYLE), static_cast<DWORD>(CS_NOCLOSE | CS_DBLCLKS));
  EXPECT_EQ(GetForegroundWindow(), hwnd);
  EXPECT_FALSE(PointerShowing());

  Give(Input::kKey);
  ASSERT_TRUE(Ended(process, kExitTimeoutMs));
  EXPECT_EQ(ExitCode(process), 0u);
  EXPECT_TRUE(PointerShowing());
  EXPECT_EQ(ReadFileBytes(ini), "[Vistrel]\r\n" + std::string(kMouseKey) + "=1\r\n" + kKeyboardKey +
                              "=1\r\n" + kDisplayFileKey + "=\"\"\r\n");
}

TEST_F(Vistrel, ExitPolicyFollowsBothSwitches) {
  struct Case {
    int keyboard;
    int mouse;
    Input input;
    bool ends;
  } const cases[] = {
      {1, 1, Input::kKey, true},   {1, 1, Input::kPress, true},  {1, 1, Input::kDoubleClick, true},
      {1, 0, Input::kKey, true},   {1, 0, Input::kPress, false}, {1, 0, Input::kDoubleClick, false},
      {0, 1, Input::kKey, false},  {0, 1, Input::kPress, true},  {0, 1, Input::kDoubleClick, true},
      {0, 0, Input::kKey, false},  {0, 0, Input::kPress, false}, {0, 0, Input::kDoubleClick, true},
      {0, 1, Input::kRightPress, true}, {0, 1, Input::kMiddlePress, true},
      // With swapped buttons, the physical left button's double-click.
      {0, 0, Input::kRightDoubleClick, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "keyboard " << c.keyboard << ", mouse " << c.mouse
                                    << ", " << Name(c.input));
    WriteSettings(c.keyboard, c.mouse, "");
    HANDLE process = Start();
    ASSERT_NE(WaitForViewer(process), nullptr);
    Give(c.input);
    EXPECT_EQ(Ended(process, c.ends ? kExitTimeoutMs : kStillRunningMs), c.ends);
    if (!Ended(process, 0)) {
      // End it the way this policy allows, so the next case starts clean.
      Give(c.keyboard != 0 ? Input::kKey : c.mouse != 0 ? Input::kPress : Input::kDoubleClick);
      ASSERT_TRUE(Ended(process, kExitTimeoutMs));
    }
    EXPECT_EQ(ExitCode(process), 0u);
    Sleep(600);  // keep the next run's clicks from pairing with these
  }
}

TEST_F(Vistrel, KeyReleasedAfterStartEndsTheRunButAButtonReleaseDoesNot) {
  WriteSettings(1, 1, "");
  SendKey(VK_SHIFT, false);
  HANDLE process = Start();
  ASSERT_NE(WaitForViewer(process), nullptr);
  SendKey(VK_SHIFT, true);
  EXPECT_TRUE(Ended(process, kExitTimeoutMs));

  SendButton(MOUSEEVENTF_LEFTDOWN);
  process = Start();
  ASSERT_NE(WaitForViewer(process), nullptr);
  SendButton(MOUSEEVENTF_LEFTUP);
  EXPECT_FALSE(Ended(process, kStillRunningMs));
  Give(Input::kKey);
  EXPECT_TRUE(Ended(process, kExitTimeoutMs));
}

TEST_F(Vistrel, CloseMessageEndsTheRunAndSavesNormalisedSettings) {
  ASSERT_TRUE(WriteFileBytes(ini, "[Vistrel]\r\n" + std::string(kMouseKey) + "=0\r\n" +
                                      kKeyboardKey + "=5\r\n" + kDisplayFileKey + "=none.bmp\r\n"));
  HANDLE process = Start();
  HWND hwnd = WaitForViewer(process);
  ASSERT_NE(hwnd, nullptr);
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  ASSERT_TRUE(Ended(process, kExitTimeoutMs));
  EXPECT_EQ(ExitCode(process), 0u);
  EXPECT_EQ(ReadFileBytes(ini), "[Vistrel]\r\n" + std::string(kMouseKey) + "=0\r\n" + kKeyboardKey +
                              "=1\r\n" + kDisplayFileKey + "=\"none.bmp\"\r\n");
}

TEST_F(Vistrel, PictureIsDrawnUprightAtNaturalSizeInTheTopLeftCorner) {
  const int w = 120;
  const int h = 80;
  ASSERT_TRUE(WriteFileBytes(folder + "quad.bmp",
                             Bmp24(w, h, [&](int x, int y) { return Quadrants(x, y, w, h); })));
  HANDLE process = Start("quad.bmp");
  ASSERT_NE(WaitForViewer(process), nullptr);
  const struct {
    int x, y;
  } points[] = {{0, 0}, {w / 2 - 1, h / 2 - 1}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {w / 2, h / 2}};
  for (const auto& p : points) {
    EXPECT_EQ(ScreenPixel(p.x, p.y), Quadrants(p.x, p.y, w, h)) << "at " << p.x << "," << p.y;
  }
  // Just outside the picture, nothing of it is drawn.
  EXPECT_NE(ScreenPixel(w, 0), Quadrants(w - 1, 0, w, h));
  EXPECT_NE(ScreenPixel(0, h), Quadrants(0, h - 1, w, h));
  Give(Input::kKey);
  EXPECT_TRUE(Ended(process, kExitTimeoutMs));
}

// Pictures that other people's tools made show as ImageMagick decodes them,
// over all of the part the screen shows, those with a colour profile turned
// into sRGB, the screen's under Wine. shown-pictures.sh, which runs before
// this program, lists them with those decodes.
TEST_F(Vistrel, PicturesOtherToolsMadeShowAsImageMagickDecodesThem) {
  EXPECT_GE(ShowEachAsDecoded("list.txt"), 16);
}

// A picture shows whatever characters its name holds, the one argument
// being taken in Unicode: run once under a Japanese and once under an
// English code page (VISTREL_TEST_CODE_PAGE names it).
// NOTE: Wine takes the code page from the locale that it starts in, and a
// program it starts inherits that; Windows has one for the whole system.
TEST_F(Vistrel, PicturesNamedInAnyCharactersShow) {
  const char* codePage = getenv("VISTREL_TEST_CODE_PAGE");
  if (codePage == nullptr) GTEST_SKIP() << "run under a chosen code page only";
  ASSERT_EQ(GetACP(), static_cast<UINT>(atoi(codePage)));
  EXPECT_EQ(ShowEachAsDecoded("names.txt"), 4);
}

TEST_F(Vistrel, OneArgumentWinsOverTheSettingAndIsNeverSaved) {
  const std::string red = Bmp24(16, 16, [](int, int) { return RGB(255, 0, 0); });
  ASSERT_TRUE(WriteFileBytes(folder + "red.bmp", red));
  ASSERT_TRUE(WriteFileBytes(folder + "green.bmp", Bmp24(16, 16, [](int, int) { return RGB(0, 255, 0); })));
  // A stored path whose first 259 bytes name red.bmp in a folder of its own.
  const std::string deep = folder + std::string(259 - folder.size() - 8, 'd');
  CreateDirectoryA(deep.c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(deep + "\\red.bmp", red));
  ASSERT_TRUE(CopyFileA((OwnFolder() + "pictures\\quad.png").c_str(), (folder + "quad.png").c_str(),
                        FALSE));
  struct Case {
    const char* arguments;
    std::string stored;
    COLORREF expected;  // at 0,0; black-ish background when neither picture
    bool picture;
  } const cases[] = {
      {"red.bmp", "green.bmp", RGB(255, 0, 0), true},
      {"missing.bmp", "green.bmp", RGB(0, 255, 0), false},  // no fall back to the setting
      {"red.bmp red.bmp", "green.bmp", RGB(0, 255, 0), true},  // two arguments: the setting decides
      {"", "green.bmp", RGB(0, 255, 0), true},
      {"", deep + "\\red.bmp.bmp", RGB(255, 0, 0), false},  // too long: never cut
      {"quad.png", "green.bmp", RGB(255, 0, 0), true},        // through Windows' codecs
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments + c.stored);
    WriteSettings(1, 1, c.stored);
    const std::string before = ReadFileBytes(ini);
    HANDLE process = Start(c.arguments);
    ASSERT_NE(WaitForViewer(process), nullptr);
    if (c.picture) {
      EXPECT_EQ(ScreenPixel(0, 0), c.expected);
    } else {
      EXPECT_NE(ScreenPixel(0, 0), c.expected);
    }
    Give(Input::kKey);
    ASSERT_TRUE(Ended(process, kExitTimeoutMs));
    EXPECT_EQ(ExitCode(process), 0u);
    EXPECT_EQ(ReadFileBytes(ini), before);  // already normalised: the save changes nothing
  }
}

TEST_F(Vistrel, BrokenPicturesShowTheBackgroundAndEndNormally) {
  std::string cut = Bmp24(40, 40, [](int, int) { return RGB(255, 0, 0); });
  cut.resize(54 + 120 * 10);
  std::string absurd = Bmp24(4, 4, [](int, int) { return RGB(255, 0, 0); });
  absurd[18] = absurd[19] = absurd[20] = '\xFF';
  absurd[21] = '\x7F';  // width 0x7FFFFFFF
  std::string topDownRle = Bmp24(4, 4, [](int, int) { return RGB(255, 0, 0); });
  topDownRle[22] = topDownRle[23] = topDownRle[24] = topDownRle[25] = '\xFF';  // height -1
  topDownRle[30] = 1;                                                          // BI_RLE8
  const std::string pictures = OwnFolder() + "pictures\\";
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"notbmp.bmp", "GIF89a this is not a bitmap at all, but long enough for the headers...."},
      {"empty.bmp", ""},
      {"cut.bmp", cut},
      {"absurd.bmp", absurd},
      {"topdown-rle.bmp", topDownRle},
      {"corrupt.png", ReadFileBytes(pictures + "bad-corrupt.png")},
      {"random.jpg", ReadFileBytes(pictures + "bad-random.jpg")},
      {"huge.png", ReadFileBytes(pictures + "bad-60000x60000.png")},
      {"cut.jpg", ReadFileBytes(pictures + "quad.jpg").substr(0, 400)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteFileBytes(folder + c.name, c.bytes));
    HANDLE process = Start(c.name);
    ASSERT_NE(WaitForViewer(process), nullptr);
    Give(Input::kKey);
    ASSERT_TRUE(Ended(process, kExitTimeoutMs));
    EXPECT_EQ(ExitCode(process), 0u);
  }
}

TEST_F(Vistrel, SecondCopyEndsAtOnceAndChangesNothing) {
  WriteSettings(1, 1, "");
  HANDLE first = Start();
  HWND hwnd = WaitForViewer(first);
  ASSERT_NE(hwnd, nullptr);
  DeleteFileA(ini.c_str());
  HANDLE second = Start();
  ASSERT_TRUE(Ended(second, kExitTimeoutMs));
  EXPECT_EQ(ExitCode(second), 0u);
  EXPECT_FALSE(Ended(first, 0));
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetFileAttributesA(ini.c_str()), INVALID_FILE_ATTRIBUTES);  // nothing saved
  Give(Input::kKey);
  EXPECT_TRUE(Ended(first, kExitTimeoutMs));
}

// Beside them, one window of the same application has stopped responding: it
// holds nothing up, and once it responds it is hidden and shown again.
TEST_F(Vistrel, OtherWindowsAreHiddenAndShownAgainInReverseOrder) {
  const std::string log = folder + "helper.log";
  ASSERT_NO_FATAL_FAILURE(StartHelper(log));
  HWND minimised = FindWindowA("VistrelTestHelper", "minimised");
  HWND neverShown = FindWindowA("VistrelTestHelper", "never shown");
  HWND notResponding = FindWindowA("VistrelTestHelper", "not responding");
  ASSERT_TRUE(IsWindowVisible(notResponding));
  const size_t logStart = ReadFileBytes(log).size();

  WriteSettings(1, 1, "");
  ASSERT_EQ(GetForegroundWindow(), visible[1]);
  HANDLE process = Start();
  ASSERT_NE(WaitForViewer(process), nullptr);
  for (HWND hwnd : visible) EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_TRUE(IsIconic(minimised));
  Give(Input::kKey);
  ASSERT_TRUE(Ended(process, kExitTimeoutMs));
  EXPECT_EQ(ExitCode(process), 0u);

  for (HWND hwnd : visible) EXPECT_TRUE(ShownSoon(hwnd));
  // The window the user was typing in has the keyboard again.
  for (int i = 0; i < 40 && GetForegroundWindow() != visible[1]; ++i) Sleep(50);
  EXPECT_EQ(GetForegroundWindow(), visible[1]);
  EXPECT_TRUE(IsIconic(minimised));
  EXPECT_TRUE(IsWindowVisible(minimised));
  EXPECT_FALSE(IsWindowVisible(neverShown));

  // The helper logged each show and hide in the order it happened, then the
  // one activation: no window shown again took the focus on the way.
  std::vector<std::string> events;
  const std::string text = ReadFileBytes(log).substr(logStart);
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    events.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  ASSERT_EQ(events.size(), 7u) << text;
  EXPECT_EQ(events[6], "visible 2 active") << text;
  for (int i = 0; i < 3; ++i) {
    const std::string title = events[i].substr(0, events[i].size() - 2);
    EXPECT_EQ(events[i].substr(events[i].size() - 1), "0");
    EXPECT_EQ(events[5 - i], title + " 1");
  }

  // The hide and the show that were queued for it arrive once it responds.
  // It was the one window left when the viewer closed, so it may also have
  // been given the focus meanwhile.
  PostMessageA(visible[0], WM_APP, 0, 0);
  std::string late;
  for (int i = 0; i < 100 && late.find("not responding 1") == std::string::npos; ++i) {
    Sleep(50);
    late = ReadFileBytes(log).substr(logStart + text.size());
  }
  const std::string focused = "not responding active\n";
  for (size_t at; (at = late.find(focused)) != std::string::npos;) late.erase(at, focused.size());
  EXPECT_EQ(late, "not responding 0\nnot responding 1\n");
  EXPECT_TRUE(IsWindowVisible(notResponding));
  PostMessageA(visible[0], WM_CLOSE, 0, 0);
}

// A topmost window that another program shows, or keeps raising, over the
// cover goes under it again within a few tenths of a second. The viewer never
// hides, shows or activates it, and putting the cover back never takes the
// activation from it: here it comes up active, as a program's own
// always-on-top window does, and keeps the keyboard until its program hands
// it back.
TEST_F(Vistrel, WindowsShownOverTheCoverGoUnderItUntouched) {
  constexpr COLORREF kPopupWhite = RGB(255, 255, 255);
  // NOTE: Wine leaves the stacking of the windows that the window manager
  // manages to the window manager, and an activated window is always one of
  // them; the window manager keeps all of them under every popup that it
  // does not manage, whatever their order in Windows. Windows has one order
  // for all windows. Told to keep the windows of both programs from the
  // window manager, Wine stacks them on the screen in that order.
  const WineAppSetting viewerStacking("vistrel.exe", "X11 Driver", "Managed", "N");
  const WineAppSetting helperStacking("window_helper.exe", "X11 Driver", "Managed", "N");
  const std::string log = folder + "helper.log";
  ASSERT_NO_FATAL_FAILURE(StartHelper(log));
  WriteSettings(1, 1, "");
  HANDLE process = Start();
  HWND viewer = WaitForViewer(process);
  ASSERT_NE(viewer, nullptr);
  const size_t logStart = ReadFileBytes(log).size();
  PostMessageA(visible[0], WM_APP + 1, 1, 0);  // activated
  Sleep(500);
  EXPECT_NE(ScreenPixel(380, 260), kPopupWhite) << "the popup shows over the cover";
  HWND popup = FindWindowA("VistrelTestHelper", "topmost");
  FILETIME unused;
  FILETIME cpu[2][2] = {};  // kernel and user time, before and after the raising
  GetProcessTimes(process, &unused, &unused, &cpu[0][0], &cpu[0][1]);
  PostMessageA(visible[0], WM_APP + 2, 0, 0);
  Sleep(3200);
  GetProcessTimes(process, &unused, &unused, &cpu[1][0], &cpu[1][1]);
  EXPECT_NE(ScreenPixel(380, 260), kPopupWhite) << "the popup shows over the cover";
  EXPECT_EQ(GetForegroundWindow(), popup);
  const auto ms = [](const FILETIME& t) {
    return static_cast<int>((ULONGLONG{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 10000);
  };
  const int cpuMs = ms(cpu[1][0]) + ms(cpu[1][1]) - ms(cpu[0][0]) - ms(cpu[0][1]);
  printf("viewer CPU time while a window was raised over it every 20 ms for 3 s: %d ms\n", cpuMs);
  EXPECT_LT(cpuMs, 300);
  EXPECT_EQ(ReadFileBytes(log).substr(logStart), "topmost 1\ntopmost active\n");
  PostMessageA(visible[0], WM_APP + 3, reinterpret_cast<WPARAM>(viewer), 0);
  Sleep(300);
  Give(Input::kKey);
  ASSERT_TRUE(Ended(process, kExitTimeoutMs));
  EXPECT_EQ(ExitCode(process), 0u);
  EXPECT_TRUE(IsWindowVisible(popup));
  PostMessageA(visible[0], WM_CLOSE, 0, 0);
}

TEST_F(Vistrel, WindowsComeBackAfterACrashInTheViewer) {
  ASSERT_NO_FATAL_FAILURE(StartHelper(folder + "helper.log"));
  exe = folder + "vistrel_fault_on_f12.exe";
  ASSERT_TRUE(CopyFileA((OwnFolder() + "vistrel_fault_on_f12.exe").c_str(), exe.c_str(), FALSE));
  HANDLE process = Start();
  ASSERT_NE(WaitForViewer(process), nullptr);
  for (HWND hwnd : visible) EXPECT_FALSE(IsWindowVisible(hwnd));
  SendKey(VK_F12, false);
  SendKey(VK_F12, true);
  ASSERT_TRUE(Ended(process, kExitTimeoutMs));
  EXPECT_NE(ExitCode(process), 0u);  // it did crash
  for (HWND hwnd : visible) EXPECT_TRUE(ShownSoon(hwnd));
  PostMessageA(visible[0], WM_CLOSE, 0, 0);
}

// Windows looks for a DLL that is not a KnownDLL beside the program first,
// also when a system DLL loads it later; the program restricts the search to
// the system folder, so a DLL planted there is never loaded: not one that a
// system DLL loads, nor the colour management that a photo with a colour
// profile needs.
// NOTE: Wine prefers its own builtin DLL unless its registry says otherwise
// for the program, as here; Windows ignores that key.
TEST_F(Vistrel, NoDllIsLoadedFromTheProgramsFolder) {
  const std::string marker = OwnFolder() + "planted_marker.dll";
  FreeLibrary(LoadLibraryA(marker.c_str()));  // the marker works: loaded, it says so
  ASSERT_TRUE(DeleteFileA((marker + ".loaded").c_str()));
  const struct {
    const char* dll;
    std::string picture;
  } cases[] = {
      {"uxtheme", ""},
      {"mscms", "\"" + OwnFolder() + "shown-pictures\\adobe-rgb.jpg\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dll);
    const std::string planted = folder + c.dll + ".dll";
    ASSERT_TRUE(CopyFileA(marker.c_str(), planted.c_str(), FALSE));
    const WineAppSetting preferPlanted("vistrel.exe", "DllOverrides", c.dll, "native,builtin");
    ASSERT_TRUE(preferPlanted.set);
    HANDLE process = Start(c.picture);
    const bool shown = WaitForViewer(process) != nullptr;
    Give(Input::kKey);
    EXPECT_TRUE(shown && Ended(process, kExitTimeoutMs));
    EXPECT_FALSE(FileExists(planted + ".loaded"));
  }
}

// The icon group that the shell shows for vistrel.exe: 32x32 and 16x16, 16 colours.
TEST_F(Vistrel, CarriesItsIconGroup) {
  HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC found = FindResourceA(module, "IDI_ICON", MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
  ASSERT_NE(found, nullptr);
  const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(group, nullptr);
  const int count = group[4] | group[5] << 8;
  ASSERT_EQ(count, 2);
  for (int i = 0; i < count; ++i) {
    const BYTE* entry = group + 6 + 14 * i;  // width, height, colours, ..., bit count at 6
    SCOPED_TRACE(i);
    EXPECT_EQ(entry[0], i == 0 ? 32 : 16);
    EXPECT_EQ(entry[1], i == 0 ? 32 : 16);
    EXPECT_EQ(entry[2], 16);
    EXPECT_EQ(entry[6] | entry[7] << 8, 4);
  }
  FreeLibrary(module);
}

}  // namespace
