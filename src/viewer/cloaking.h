// Whether the desktop window manager has cloaked a window: kept WS_VISIBLE
// but put on no screen (another virtual desktop, a suspended store app, parts
// of the shell). The hiding of other windows and the viewer's cover both ask.
#pragma once

#include <windows.h>

// False where the system has no such manager, or one that cannot tell.
bool IsCloaked(HWND hwnd);
