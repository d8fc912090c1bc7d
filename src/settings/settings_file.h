// The viewer's three settings, kept in "<exe name>.ini" beside the executable
// under the section "Vistrel" with Shift-JIS keys. Read once at the start of
// a run and written back once, normalised, at its end.
#pragma once

#include <cstdint>

#include "win32_compat.h"

struct ViewerSettings {
  int32_t quitByKeyboard;  // non-zero: a key ends the run; zero: a double-click does
  int32_t quitByMouse;     // non-zero: a mouse-button press ends the run
  char displayFile[260];   // picture to show; empty means none
};

extern const char kSettingsSection[];
extern const char kMouseKey[];
extern const char kKeyboardKey[];
extern const char kDisplayFileKey[];

int LoadSettings(ViewerSettings* settings);
int SaveSettings(const ViewerSettings* settings);

// Reads a decimal integer the way "%d" does (leading blanks, optional sign,
// digits, rest ignored); out-of-range numbers clamp to the 32-bit limits.
int32_t ReadProfileInt(const char* file, const char* section, const char* key,
                       int32_t defaultValue);
BOOL WriteProfileFlag(const char* file, const char* section, const char* key, int32_t flag);
BOOL WriteProfileQuoted(const char* file, const char* section, const char* key,
                        const char* text);

// Parses `text` as ReadProfileInt does; 1 when a number was found.
int ParseProfileInt(const char* text, int32_t* value);
