// Loading and saving ViewerSettings through the platform's profile calls.
#include "settings_file.h"

#include <cstdlib>
#include <cstring>

#include "settings/sjis_path.h"

const char kSettingsSection[] = "Vistrel";
// "end with the mouse"
const char kMouseKey[] = "\x83\x7D\x83\x45\x83\x58\x82\xC5\x8F\x49\x97\xB9";
// "end with the keyboard"; its fourth character is the full-width minus 81 7C.
const char kKeyboardKey[] = "\x83\x4C\x81\x5B\x83\x7B\x81\x7C\x83\x68\x82\xC5\x8F\x49\x97\xB9";
// "file to show"
const char kDisplayFileKey[] =
    "\x95\x5C\x8E\xA6\x82\xB7\x82\xE9\x83\x74\x83\x40\x83\x43\x83\x8B";

namespace {

constexpr DWORD kValueSize = 260;
// The module path is fetched with 261 bytes; the buffer has room for ".ini".
constexpr DWORD kModulePathFetch = MAX_PATH + 1;
constexpr char kSettingsExtension[] = ".ini";

// NOTE: when a quoted value just fills the buffer, Wine's profile read drops
// its last character as if it were the closing quote. Read with one spare
// byte, a 259-byte path would come back as 258 bytes and lose a byte at every
// save; with two, it reads whole and a longer path reads as 260 bytes or more.
constexpr DWORD kStoredPathBuffer = sizeof(ViewerSettings::displayFile) + 2;

// The stored picture path and its length, cut to kStoredPathBuffer - 1.
DWORD ReadStoredPath(const char* file, char (&value)[kStoredPathBuffer]) {
  return GetPrivateProfileStringA(kSettingsSection, kDisplayFileKey, "", value,
                                  kStoredPathBuffer, file);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int ParseProfileInt(const char* text, int32_t* value) {
  const char* p = text;
  while (IsBlank(*p)) {
    ++p;
  }
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  if (*p < '0' || *p > '9') {
    return 0;
  }
  // Accumulate in 64 bits and stop growing once past the 32-bit range, so a
  // huge number clamps instead of wrapping into some other value.
  constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;
  int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (magnitude <= kLimit) {
      magnitude = magnitude * 10 + (*p - '0');
    }
  }
  if (negative) {
    *value = magnitude >= kLimit ? INT32_MIN : static_cast<int32_t>(-magnitude);
  } else {
    *value = magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
  }
  return 1;
}

int32_t ReadProfileInt(const char* file, const char* section, const char* key,
                       int32_t defaultValue) {
  char text[kValueSize] = {};
  GetPrivateProfileStringA(section, key, "", text, kValueSize, file);
  int32_t value = 0;
  return ParseProfileInt(text, &value) ? value : defaultValue;
}

BOOL WriteProfileFlag(const char* file, const char* section, const char* key, int32_t flag) {
  const char text[] = {flag != 0 ? '1' : '0', '\0'};
  return WritePrivateProfileStringA(section, key, text, file);
}

BOOL WriteProfileQuoted(const char* file, const char* section, const char* key,
                        const char* text) {
  const size_t size = strlen(text) + 3;
  auto* quoted = static_cast<char*>(malloc(size));
  if (quoted == nullptr) {
    return FALSE;
  }
  quoted[0] = '"';
  memcpy(quoted + 1, text, size - 3);
  quoted[size - 2] = '"';
  quoted[size - 1] = '\0';
  const BOOL written = WritePrivateProfileStringA(section, key, quoted, file);
  free(quoted);
  return written;
}

int LoadSettings(ViewerSettings* settings) {
  char path[kModulePathFetch + sizeof kSettingsExtension] = {};
  // Cleared first: a value cut inside a double-byte character must not leave
  // a stray byte from an earlier read behind it.
  memset(settings->displayFile, 0, sizeof settings->displayFile);
  if (!BuildModulePath(path, kModulePathFetch, kSettingsExtension)) {
    // No file name to read from: run with the defaults.
    settings->quitByMouse = 1;
    settings->quitByKeyboard = 1;
    return 1;
  }
  settings->quitByMouse = ReadProfileInt(path, kSettingsSection, kMouseKey, 1);
  settings->quitByKeyboard = ReadProfileInt(path, kSettingsSection, kKeyboardKey, 1);
  char stored[kStoredPathBuffer] = {};
  const DWORD length = ReadStoredPath(path, stored);
  // A longer stored path is not cut: its first bytes may name some other
  // picture. Without it only the background shows; the save keeps it stored.
  if (length < sizeof settings->displayFile) memcpy(settings->displayFile, stored, length);
  return 1;
}

int SaveSettings(const ViewerSettings* settings) {
  char path[kModulePathFetch + sizeof kSettingsExtension] = {};
  if (!BuildModulePath(path, kModulePathFetch, kSettingsExtension)) {
    return 1;  // no file name: nothing is written anywhere else either
  }
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);
  WriteProfileFlag(path, kSettingsSection, kMouseKey, settings->quitByMouse);
  WriteProfileFlag(path, kSettingsSection, kKeyboardKey, settings->quitByKeyboard);
  // A stored path longer than displayFile holds was read cut; writing it
  // back would lose the user's path, so that key is left as it is stored.
  char stored[kStoredPathBuffer] = {};
  if (ReadStoredPath(path, stored) < sizeof settings->displayFile) {
    WriteProfileQuoted(path, kSettingsSection, kDisplayFileKey, settings->displayFile);
  }
  return 1;
}
