// The single-instance guard and the hiding and showing again of the other
// applications' windows around the viewer run.
#pragma once

#include <windows.h>

#include "run/pointer_list.h"

extern const char kSingleInstanceName[];

// The mutex handle when this is the first copy, otherwise null.
HANDLE AcquireSingleInstance(const char* name);
// Records and hides each visible, non-minimised top-level window that the
// desktop window manager has not cloaked; the `lParam` is the PtrList.
// Always TRUE, so the enumeration goes on.
BOOL CALLBACK HideWindowProc(HWND hwnd, LPARAM lParam);
// Makes the hidden-window list, arms RestoreOnCrash for it and hides the
// other windows into it; null, with nothing hidden, when the list cannot be
// allocated.
PtrList* HideOtherWindows();
// The crash filter: a crash must not leave other applications' windows
// hidden for good, so it shows the listed ones again and lets the process end.
LONG WINAPI RestoreOnCrash(EXCEPTION_POINTERS* exception);
// Disarms the crash filter once the run restores the windows itself.
void StopRestoringOnCrash();
// Shows every recorded window again, the last recorded first; returns 1.
int RestoreWindows(PtrList* list);
// Gives the keyboard back to the window that had it before the run, as Show
// Desktop does; nothing happens when there was none or it has been closed.
void ReturnForeground(HWND hwnd);
BOOL ShowOrHide(HWND hwnd, int show);
