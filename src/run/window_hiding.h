// The single-instance guard and the hiding and showing again of the other
// applications' windows around the viewer run.
#pragma once

#include <windows.h>

#include "run/pointer_list.h"

extern const char kSingleInstanceName[];

// The mutex handle when this is the first copy, otherwise null.
HANDLE AcquireSingleInstance(const char* name);
// Records and hides each visible, non-minimised top-level window; the
// `lParam` is the PtrList. Always TRUE, so the enumeration goes on.
BOOL CALLBACK HideWindowProc(HWND hwnd, LPARAM lParam);
// Makes the hidden-window list and hides the other windows into it; null,
// with nothing hidden, when the list cannot be allocated.
PtrList* HideOtherWindows();
// Shows every recorded window again, the last recorded first; returns 1.
int RestoreWindows(PtrList* list);
BOOL ShowOrHide(HWND hwnd, int show);
