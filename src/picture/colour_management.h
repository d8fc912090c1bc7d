// Turning a picture's colours into the screen's with Windows' own colour
// management (mscms.dll): once, for the grid of a colour table, which the
// codecs then apply to each pixel they keep. Windows only.
#pragma once

#include <windows.h>

#include "picture/icc_profile.h"

// A DLL from the system folder only, never one planted beside the program;
// null where the system cannot promise that (XP, Vista and 7 without the
// update that brought the search flags) or has no such DLL.
HMODULE LoadSystemDll(const char* name);

// A malloc'd table that turns colours described by `profile` into those of
// the screen `hdc` shows on: the profile Windows names for that display,
// else sRGB. Null when the picture needs no turning (its profile is sRGB's)
// or cannot be turned (not an RGB profile, one Windows refuses, no colour
// management), and it then shows as stored.
ColourTable* ScreenColourTable(const unsigned char* profile, size_t size, HDC hdc);
