#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "test_files.h"

namespace {

const std::string kMouse = kMouseKey;
const std::string kKeyboard = kKeyboardKey;
const std::string kDisplay = kDisplayFileKey;
// The keyboard key misspelt with a second prolonged sound mark (81 5B).
const std::string kKeyboardMisspelt =
    "\x83\x4C\x81\x5B\x83\x7B\x81\x5B\x83\x68\x82\xC5\x8F\x49\x97\xB9";

class SettingsFile : public testing::Test {
 protected:
  void SetUp() override { path = FreshSettingsFile(); }
  void TearDown() override { RemoveFile(path); }

  std::string Stored(const std::string& key) {
    char value[1024] = {};
    GetPrivateProfileStringA(kSettingsSection, key.c_str(), "<missing>", value, sizeof value,
                             path.c_str());
    return value;
  }

  ViewerSettings Load() {
    ViewerSettings settings;
    memset(&settings, 0x55, sizeof settings);  // no field may keep this
    EXPECT_EQ(LoadSettings(&settings), 1);
    return settings;
  }

  std::string path;
};

TEST_F(SettingsFile, FirstRunReadsDefaultsAndCreatesTheFile) {
  const ViewerSettings settings = Load();
  EXPECT_EQ(settings.quitByMouse, 1);
  EXPECT_EQ(settings.quitByKeyboard, 1);
  EXPECT_STREQ(settings.displayFile, "");

  ASSERT_EQ(SaveSettings(&settings), 1);
  EXPECT_EQ(ReadFileBytes(path), "[Vistrel]\r\n" + kMouse + "=1\r\n" + kKeyboard + "=1\r\n" +
                                     kDisplay + "=\"\"\r\n");
}

TEST_F(SettingsFile, SwitchValuesReadAsStoredAndSaveNormalised) {
  struct Case {
    const char* stored;
    int32_t read;
    const char* saved;
  } const cases[] = {
      {"0", 0, "0"},
      {"1", 1, "1"},
      {"5", 5, "1"},
      {"-1", -1, "1"},
      {" 7abc", 7, "1"},
      {"abc", 1, "1"},  // not a number: the default
      {"", 1, "1"},
      {"+0", 0, "0"},
      {"2147483647", INT32_MAX, "1"},
      {"-2147483648", INT32_MIN, "1"},
      // Out of range: clamped, never wrapped (4294967296 must not read as 0
      // and silently turn a switch off).
      {"2147483648", INT32_MAX, "1"},
      {"4294967296", INT32_MAX, "1"},
      {"99999999999", INT32_MAX, "1"},
      {"-99999999999", INT32_MIN, "1"},
      {"18446744073709551616", INT32_MAX, "1"},  // 2^64: past 64 bits too
      {"- 5", 1, "1"},  // a sign must touch its digits
      {"+", 1, "1"},
      {"0x10", 0, "0"},  // decimal only: the 0 counts, the rest is ignored
      {"000000000000042", 42, "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    ASSERT_TRUE(WriteFileBytes(path, "[Vistrel]\r\n" + kMouse + "=" + c.stored + "\r\n" +
                                         kKeyboard + "=" + c.stored + "\r\n"));
    const ViewerSettings settings = Load();
    EXPECT_EQ(settings.quitByMouse, c.read);
    EXPECT_EQ(settings.quitByKeyboard, c.read);
    SaveSettings(&settings);
    EXPECT_EQ(Stored(kMouse), c.saved);
    EXPECT_EQ(Stored(kKeyboard), c.saved);
  }
}

// The profile calls strip the blanks around a value, so ParseProfileInt's
// own blank skipping is checked here, against the C library's "%d".
TEST(ProfileInt, ParsesAsScanfDecimalDoes) {
  for (const char* text : {" \t\n\v\f\r-12x", "  +7 8", "\t", " - 1", "x1", "-0", "0009"}) {
    SCOPED_TRACE(text);
    int expected = 0;
    int32_t value = 0;
    const int parsed = ParseProfileInt(text, &value);
    ASSERT_EQ(parsed, sscanf(text, "%d", &expected) == 1 ? 1 : 0);
    if (parsed) {
      EXPECT_EQ(value, expected);
    }
  }
}

TEST_F(SettingsFile, PathReadsBackUnchangedAndIsSavedQuoted) {
  struct Case {
    const char* stored;
    const char* read;
  } const cases[] = {
      {"C:\\Pictures\\a b.bmp", "C:\\Pictures\\a b.bmp"},  // unquoted
      {"\"  C:\\x.bmp  \"", "  C:\\x.bmp  "},              // blanks kept inside quotes
      {"\"C:\\\x95\x5C\\x.bmp\"", "C:\\\x95\x5C\\x.bmp"},
      {"\"\"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    ASSERT_TRUE(WriteFileBytes(path, "[Vistrel]\r\n" + kDisplay + "=" + c.stored + "\r\n"));
    const ViewerSettings settings = Load();
    EXPECT_STREQ(settings.displayFile, c.read);
    SaveSettings(&settings);
    EXPECT_NE(ReadFileBytes(path).find(kDisplay + "=\"" + c.read + "\"\r\n"), std::string::npos);
    EXPECT_EQ(Load().displayFile, std::string(c.read));
  }
}

TEST_F(SettingsFile, MisspeltKeyboardKeyIsAnotherKey) {
  ASSERT_TRUE(WriteFileBytes(path, "[Vistrel]\r\n" + kKeyboardMisspelt + "=0\r\n"));
  const ViewerSettings settings = Load();
  EXPECT_EQ(settings.quitByKeyboard, 1);
  SaveSettings(&settings);
  EXPECT_EQ(Stored(kKeyboard), "1");
  EXPECT_EQ(Stored(kKeyboardMisspelt), "0");
}

// Cut, its first 259 bytes could name some other picture: none is shown.
TEST_F(SettingsFile, OverlongStoredPathIsNotShownAndIsKeptWhenSaving) {
  for (const size_t size : {260u, 400u}) {
    SCOPED_TRACE(size);
    const std::string longPath = "C:\\" + std::string(size - 7, 'p') + ".bmp";
    ASSERT_TRUE(WriteFileBytes(path, "[Vistrel]\r\n" + kMouse + "=1\r\n" + kKeyboard + "=1\r\n" +
                                         kDisplay + "=\"" + longPath + "\"\r\n"));
    ViewerSettings settings = Load();
    EXPECT_STREQ(settings.displayFile, "");
    settings.quitByMouse = 0;
    SaveSettings(&settings);
    EXPECT_EQ(Stored(kDisplay), longPath);  // not cut to 259 bytes
    EXPECT_EQ(Stored(kMouse), "0");         // the switches are still saved
  }
}

TEST_F(SettingsFile, FileLayoutsReadAsWindowsReadsThemAndSurviveASave) {
  const std::string keys = kMouse + "=0\n" + kKeyboard + "=0\n" + kDisplay + "=\"C:\\a b.bmp\"\n";
  const auto withEnds = [](const std::string& text, const char* end) {
    std::string out;
    for (const char c : text) out += c == '\n' ? std::string(end) : std::string(1, c);
    return out;
  };
  struct Case {
    const char* name;
    std::string file;
    int32_t mouse;
    int32_t keyboard;
    const char* display;
  } const cases[] = {
      {"empty file", "", 1, 1, ""},
      {"no section", withEnds(keys, "\r\n"), 1, 1, ""},
      {"another section only", withEnds("[Other]\n" + keys, "\r\n"), 1, 1, ""},
      {"CR+LF", withEnds("[Vistrel]\n" + keys, "\r\n"), 0, 0, "C:\\a b.bmp"},
      {"CR only", withEnds("[Vistrel]\n" + keys, "\r"), 0, 0, "C:\\a b.bmp"},
      {"LF only", "[Vistrel]\n" + keys, 0, 0, "C:\\a b.bmp"},
      {"section in capitals, blanks around", "[VISTREL]\r\n  " + kMouse + "  =  0  \r\n", 0, 1, ""},
      {"section twice: the first counts",
       "[Vistrel]\r\n" + kMouse + "=0\r\n[Vistrel]\r\n" + kMouse + "=1\r\n", 0, 1, ""},
      {"key twice: the first counts", "[Vistrel]\r\n" + kMouse + "=0\r\n" + kMouse + "=1\r\n", 0,
       1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveFile(path);
    if (!c.file.empty()) {
      ASSERT_TRUE(WriteFileBytes(path, c.file));
    }
    const ViewerSettings settings = Load();
    EXPECT_EQ(settings.quitByMouse, c.mouse);
    EXPECT_EQ(settings.quitByKeyboard, c.keyboard);
    EXPECT_STREQ(settings.displayFile, c.display);
    SaveSettings(&settings);
    const ViewerSettings again = Load();
    EXPECT_EQ(again.quitByMouse, c.mouse);
    EXPECT_EQ(again.quitByKeyboard, c.keyboard);
    EXPECT_STREQ(again.displayFile, c.display);
  }
}

TEST_F(SettingsFile, ReadOnlyFileIsLeftAsItIs) {
  const std::string before = "[Vistrel]\r\n" + kMouse + "=5\r\n";
  ASSERT_TRUE(WriteFileBytes(path, before));
  MakeReadOnly(path);
  // NOTE: Wine run as root writes a read-only file all the same, so there
  // only the quiet save can be checked. The Linux stand-in always refuses.
  bool writesReadOnly = false;
#ifdef _WIN32
  if (FILE* file = fopen(path.c_str(), "r+b")) {
    writesReadOnly = true;
    fclose(file);
  }
#endif
  ViewerSettings settings = Load();
  EXPECT_EQ(settings.quitByMouse, 5);
  settings.quitByKeyboard = 0;
  EXPECT_EQ(SaveSettings(&settings), 1);  // the failed writes are not reported
  if (!writesReadOnly) {
    EXPECT_EQ(ReadFileBytes(path), before);
  }
}

TEST_F(SettingsFile, PathOfExactly259BytesSurvivesRunAfterRun) {
  const std::string full = "C:\\" + std::string(252, 'p') + ".bmp";
  ASSERT_EQ(full.size(), 259u);
  ASSERT_TRUE(WriteFileBytes(path, "[Vistrel]\r\n" + kDisplay + "=" + full + "\r\n"));
  // The first run reads it unquoted, later runs quoted as the save left it.
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE(run);
    const ViewerSettings settings = Load();
    EXPECT_EQ(settings.displayFile, full);
    SaveSettings(&settings);
    EXPECT_NE(ReadFileBytes(path).find(kDisplay + "=\"" + full + "\"\r\n"), std::string::npos);
  }
}

TEST_F(SettingsFile, QuotedWriteStoresTextBetweenQuotes) {
  EXPECT_TRUE(WriteProfileQuoted(path.c_str(), "S", "k", "a \"b\""));
  EXPECT_NE(ReadFileBytes(path).find("k=\"a \"b\"\"\r\n"), std::string::npos);
}

#ifndef _WIN32
// Only the Linux stand-in can make the executable path unavailable, and only
// it keeps unrelated lines byte for byte (Wine rewrites the whole file).
TEST_F(SettingsFile, NoSettingsPathGivesDefaultsAndWritesNothing) {
  CompatSetModuleFileName("");
  const ViewerSettings settings = Load();
  EXPECT_EQ(settings.quitByMouse, 1);
  EXPECT_EQ(settings.quitByKeyboard, 1);
  EXPECT_STREQ(settings.displayFile, "");
  EXPECT_EQ(SaveSettings(&settings), 1);
  CompatSetModuleFileName(nullptr);
  EXPECT_FALSE(FileExists(path));
}

TEST_F(SettingsFile, SaveKeepsEveryOtherLineByteForByte) {
  const std::string before = "; my viewer\n[Other]\nkey = v \n\n[vistrel]\n" + kMouse +
                             " = 0\n\n[Last]\r\nx=1";
  ASSERT_TRUE(WriteFileBytes(path, before));
  const ViewerSettings settings = Load();
  EXPECT_EQ(settings.quitByMouse, 0);
  SaveSettings(&settings);
  EXPECT_EQ(ReadFileBytes(path), "; my viewer\n[Other]\nkey = v \n\n[vistrel]\n" + kMouse +
                                     "=0\n" + kKeyboard + "=1\r\n" + kDisplay +
                                     "=\"\"\r\n\n[Last]\r\nx=1");
}

TEST_F(SettingsFile, ProfileReadFollowsWindowsRules) {
  // A name with a NUL byte in it is no other name of its length.
  const std::string nul(1, '\0');
  ASSERT_TRUE(WriteFileBytes(path, "[" + nul + "]\rk=nul\r[A]\r" + nul + "=nul\r;k=comment\r"
                                   "k=first\rK=second\rq='x'\rr=\"\r[a]\rk=third\r"));
  char value[8] = {};
  EXPECT_EQ(GetPrivateProfileStringA("a", "k", "", value, sizeof value, path.c_str()), 5u);
  EXPECT_STREQ(value, "first");  // CR-only lines; the first section and key win
  EXPECT_EQ(GetPrivateProfileStringA("A", "q", "", value, sizeof value, path.c_str()), 1u);
  EXPECT_STREQ(value, "x");
  EXPECT_EQ(GetPrivateProfileStringA("A", "r", "", value, sizeof value, path.c_str()), 1u);
  EXPECT_STREQ(value, "\"");  // a lone quote is kept
  EXPECT_EQ(GetPrivateProfileStringA("A", "none", "dflt  ", value, sizeof value, path.c_str()),
            4u);
  EXPECT_STREQ(value, "dflt");
  EXPECT_EQ(GetPrivateProfileStringA("A", "k", "", value, 3, path.c_str()), 2u);
  EXPECT_STREQ(value, "fi");
}
#endif

}  // namespace
