#include "settings/sjis_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(SjisPath, ByteClassFollowsLeadAndTrailBytes) {
  struct Case {
    const char* text;
    int index;
    int expected;
  } const cases[] = {
      {"\x81\x40", 1, kSjisTrail},
      {"\x81\x7F", 1, kSjisSingle},  // 0x7F is never a trail byte
      {"\x81\x40", 2, kSjisSingle},  // at the terminator
      {"\x81\x40", 9, kSjisSingle},  // past it
      {"", 0, kSjisSingle},
      {"\x95\x5C\x5C", 1, kSjisTrail},
      {"\x95\x5C\x5C", 2, kSjisSingle},
      {"\x81\x81\x81", 2, kSjisLead},  // lead, trail, then a new lead
      {"a\x83", 1, kSjisLead},
      // The edges of both lead-byte ranges, 0x81-0x9F and 0xE0-0xFC.
      {"\x80\x40", 1, kSjisSingle},
      {"\x9F\x40", 1, kSjisTrail},
      {"\xA0\x40", 1, kSjisSingle},
      {"\xE0\x40", 1, kSjisTrail},
      {"\xFC\x40", 1, kSjisTrail},
      {"\xFD\x40", 1, kSjisSingle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "index " << c.index << " of \"" << c.text << "\"");
    EXPECT_EQ(SjisByteClass(c.text, c.index), c.expected);
  }
}

TEST(SjisPath, TrailByte5CIsNotASeparator) {
  const char* text = "C:\\\x95\x5C\\";  // C:\表\ .
  EXPECT_EQ(IsSeparatorAt(text, 2), 1);
  EXPECT_EQ(IsSeparatorAt(text, 4), 0);
  EXPECT_EQ(IsSeparatorAt(text, 5), 1);
}

TEST(SjisPath, FindExtensionIgnoresDotsInFolders) {
  struct Case {
    const char* text;
    const char* extension;  // expected text from the position found
  } const cases[] = {
      {"C:\\Tools\\VIEW.EXE", ".EXE"},
      {"C:\\My.Dir\\VIEW", ""},
      {"C:\\A.B\\", ""},  // ends in a separator: no extension
      {"C:\\Dir\\A.B.EXE", ".EXE"},
      {"C:\\Dir\\A.\x95\x5C", ".\x95\x5C"},
      {"C:\\Dir\\A.\xF0\x5C", ".\xF0\x5C"},  // the upper lead range too
      {"C:\\Dir\\A.\xFC\x5C", ".\xFC\x5C"},
      {"C:\\Dir.\x95\x5C\\X", ""},  // the real backslash stops the scan
      {"noext", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_STREQ(FindExtension(c.text), c.extension);
  }
}

TEST(SjisPath, StripExtensionReturnsWhatFollowsTheDot) {
  char text[] = ".EXE";
  EXPECT_EQ(StripExtension(text), text + 1);
  EXPECT_STREQ(text, "");

  char empty[] = "";
  EXPECT_EQ(StripExtension(empty), empty);

  char none[] = "C:\\A.B\\C";
  EXPECT_EQ(StripExtension(none), none + strlen(none));
  EXPECT_STREQ(none, "C:\\A.B\\C");
}

TEST(SjisPath, NextTreatsALoneLeadByteAsOneCharacter) {
  const char text[] = "\x83\x41" "a\x83";
  EXPECT_EQ(SjisNext(text), text + 2);
  EXPECT_EQ(SjisNext(text + 2), text + 3);
  EXPECT_EQ(SjisNext(text + 3), text + 4);  // lead byte before the terminator
  EXPECT_EQ(SjisNext(text + 4), text + 4);
}

TEST(SjisPath, LowerAsciiLeavesTrailBytesAlone) {
  char text[] = "\x83\x41" "B\x83\x5A" "CD\x81";  // アB ャ CD, then a lone lead byte
  LowerAscii(text);
  EXPECT_STREQ(text, "\x83\x41" "b\x83\x5A" "cd\x81");
}

#ifndef _WIN32
// The executable path can be chosen only with the Linux stand-in.
class ModulePath : public testing::Test {
 protected:
  void TearDown() override { CompatSetModuleFileName(nullptr); }
};

TEST_F(ModulePath, SettingsNameFollowsShiftJisRules) {
  struct Case {
    const char* exe;
    const char* ini;
  } const cases[] = {
      {"C:\\Tools\\VIEW.EXE", "c:\\tools\\view.ini"},
      {"C:\\My.Dir\\VIEW", "c:\\my.dir\\view.ini"},
      {"C:\\Dir\\A.\x95\x5C", "c:\\dir\\a.ini"},
      {"C:\\Dir\\A.B.EXE", "c:\\dir\\a.b.ini"},
      {"C:\\Dir\\.CFG", "c:\\dir\\.ini"},
      {"C:\\Dir\\A.", "c:\\dir\\a.ini"},
      {"C:\\\x95\x5C\\VIEW", "c:\\\x95\x5C\\view.ini"},
      {"C:\\\x83\x41" "B\\X.EXE", "c:\\\x83\x41" "b\\x.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exe);
    CompatSetModuleFileName(c.exe);
    char buffer[MAX_PATH + 8] = {};
    ASSERT_EQ(BuildModulePath(buffer, MAX_PATH + 1, ".ini"), 1);
    EXPECT_STREQ(buffer, c.ini);
  }
}

TEST_F(ModulePath, WithoutExtensionOnlyLowercases) {
  CompatSetModuleFileName("C:\\Tools\\VIEW.EXE");
  char buffer[MAX_PATH + 1] = {};
  ASSERT_EQ(BuildModulePath(buffer, sizeof buffer, nullptr), 1);
  EXPECT_STREQ(buffer, "c:\\tools\\view.exe");
}

TEST_F(ModulePath, CutOrOverlongPathsFailWithoutWritingPastTheBuffer) {
  const std::string folder = "C:\\" + std::string(240, 'D') + "\\";
  struct Case {
    std::string exe;
    bool unterminated;
    int expected;
  } const cases[] = {
      {folder + std::string(11, 'F') + ".EXE", false, 1},  // 259 bytes: fits
      {folder + std::string(13, 'F') + ".EXE", false, 0},  // 261 bytes fill the whole fetch
      {folder + std::string(30, 'F') + ".EXE", false, 0},  // cut and terminated
      {folder + std::string(30, 'F') + ".EXE", true, 0},   // cut and unterminated
      {folder + std::string(12, 'F'), false, 1},           // 256 + ".ini" just fits
      {folder + std::string(13, 'F'), false, 0},           // 257 + ".ini" is one byte over
      {folder + std::string(14, 'F'), false, 0},           // 258 + ".ini" does not fit
      {"", false, 0},                                      // the platform gives no path
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.exe.size() << " bytes, unterminated " << c.unterminated);
    CompatSetModuleFileName(c.exe.c_str(), c.unterminated);
    char buffer[MAX_PATH + 1 + 16];
    memset(buffer, 'G', sizeof buffer);
    EXPECT_EQ(BuildModulePath(buffer, MAX_PATH + 1, ".ini"), c.expected);
    for (size_t i = MAX_PATH + 1; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 'G') << i;
  }
}
#else
TEST(ModulePath, SettingsFileLiesBesideTheProgram) {
  char exe[MAX_PATH + 1] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, exe, sizeof exe), 0u);
  std::string expected = exe;
  expected = expected.substr(0, expected.rfind('.')) + ".ini";
  for (char& c : expected) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  char buffer[MAX_PATH + 8] = {};
  ASSERT_EQ(BuildModulePath(buffer, MAX_PATH + 1, ".ini"), 1);
  EXPECT_EQ(buffer, expected);
}
#endif

}  // namespace
