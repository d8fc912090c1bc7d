// The viewer: one borderless, topmost window covering the primary screen
// that shows the desktop background with the picture on it, and ends on the
// input the settings allow.
#pragma once

#include <windows.h>

#include "settings/settings_file.h"

extern const char kViewerClassName[];
// The run's settings, read when the viewer starts and saved when it ends.
extern ViewerSettings gSettings;

// Runs the viewer from settings to saved settings; 0 when no window could be
// made (then nothing is loaded or saved).
int RunViewer(int argc, char** argv);
// What the window needs to take a decoded picture again for a larger screen;
// RunViewer hands it to the window as its creation parameter.
struct ViewerRun {
  const wchar_t* picture;  // the chosen file's name, null for none
  int keptWidth;           // the screen size its decoded part was kept for
  int keptHeight;
  bool comStarted;  // it went through Windows' codecs, and COM is to be ended
};
LRESULT CALLBACK ViewerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The shell's icon for the executable file; null when there is none.
HICON ModuleIcon(HINSTANCE instance, int small);
BOOL MakeTopmost(HWND hwnd);
// Registers a class that always gets double-clicks; returns the class atom or 0.
ATOM RegisterViewerClass(HINSTANCE instance, const char* className, WNDPROC windowProc,
                         UINT style, const char* menuName, int stockBrush);
