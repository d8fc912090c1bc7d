// Test builds only: forced into every source of the Windows test program, it
// routes the painting's drawing-object calls through a checker that holds
// them to Windows' own rules, which Wine does not enforce. A test fails,
// naming the call and the object, when code deletes an object still
// selected into a device context (the call then answers 0 and keeps the
// object, as Windows does), deletes a stock object, or ends a paint with an
// object made during that paint still allocated, or loads a DLL from
// anywhere but the system folder. Creation calls can be made to fail, the
// own-path fetch can be made to come back cut, and the desktop window
// manager can be made to call a window cloaked. COM initialisations are
// counted, the screen can be given another size and the display a colour
// profile. Device-dependent
// bitmaps past a size are refused, as Windows refuses them and Wine does
// not, and the largest bitmap made is kept; a new compatible bitmap comes
// filled with a colour of its own, as nothing promises it black. The default
// handling of WM_ICONERASEBKGND paints the desktop as Windows does, in a
// colour of its own, where Wine would paint the class brush.
#pragma once

#include <windows.h>

#include <objbase.h>  // declared before the macros below rename its calls

enum class CheckedCreate { kCompatibleDc, kHalftonePalette };
// The next call of that kind fails, as when GDI is out of memory.
void CheckedFailNext(CheckedCreate call);
// Forgets what was made so far; the counts below start again from 0, and
// the bitmap limit is 48 MiB again.
void CheckedReset();
// Device-dependent bitmaps (CreateBitmap, CreateCompatibleBitmap,
// CreateDIBitmap) of more bytes than this are refused from now on: null, with
// ERROR_NOT_ENOUGH_MEMORY, as Windows refuses those past about 48 MiB.
void CheckedBitmapLimit(long long bytes);
// The bytes of the largest bitmap, device-dependent or DIB section, made
// since the last reset.
long long CheckedLargestBitmap();
// Objects made through the checked creation calls since the last reset...
int CheckedMadeCount();
// ...and how many of them are still allocated.
int CheckedLiveCount();

enum class ModulePathFetch {
  kWhole,
  kCutTerminated,    // Vista and later: a cut, terminated path and the full size
  kCutUnterminated,  // XP: the buffer filled to the end, no terminator
};
// How GetModuleFileNameA answers from now on.
void CheckedModulePathFetch(ModulePathFetch fetch);

HDC WINAPI CheckedBeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL WINAPI CheckedEndPaint(HWND hwnd, const PAINTSTRUCT* ps);
HDC WINAPI CheckedCreateCompatibleDC(HDC hdc);
HPALETTE WINAPI CheckedCreateHalftonePalette(HDC hdc);
HBITMAP WINAPI CheckedCreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init,
                                     const void* bits, const BITMAPINFO* info, UINT usage);
HBITMAP WINAPI CheckedCreateCompatibleBitmap(HDC hdc, int width, int height);
HBITMAP WINAPI CheckedCreateBitmap(int width, int height, UINT planes, UINT bitCount,
                                   const void* bits);
int WINAPI CheckedStretchDIBits(HDC hdc, int x, int y, int width, int height, int sourceX,
                                int sourceY, int sourceWidth, int sourceHeight, const void* bits,
                                const BITMAPINFO* info, UINT usage, DWORD rop);
HBITMAP WINAPI CheckedCreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits,
                                       HANDLE section, DWORD offset);
HGDIOBJ WINAPI CheckedSelectObject(HDC hdc, HGDIOBJ object);
HPALETTE WINAPI CheckedSelectPalette(HDC hdc, HPALETTE palette, BOOL forceBackground);
BOOL WINAPI CheckedDeleteObject(HGDIOBJ object);
BOOL WINAPI CheckedDeleteDC(HDC hdc);
DWORD WINAPI CheckedGetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

// DwmGetWindowAttribute, as GetProcAddress hands it out, calls this window
// cloaked (null for none) and every other window on the screen, as Windows 8
// and later do.
void CheckedCloak(HWND hwnd);
FARPROC WINAPI CheckedGetProcAddress(HMODULE module, LPCSTR name);
HMODULE WINAPI CheckedLoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags);

// GetSystemMetrics answers this primary screen size from now on, as after a
// change of display mode; 0, 0 for the real one.
void CheckedScreenSize(int width, int height);
int WINAPI CheckedGetSystemMetrics(int index);

// GetICMProfileA names this file as every display's colour profile from now
// on, as Windows does for a display that has one; null for the real answer.
void CheckedDisplayProfile(const char* path);
BOOL WINAPI CheckedGetICMProfileA(HDC hdc, LPDWORD size, LPSTR name);

// How many times COM has been initialised through CoInitializeEx so far.
int CheckedComStarts();
HRESULT WINAPI CheckedCoInitializeEx(LPVOID reserved, DWORD flags);

// What a new compatible bitmap holds before anything is drawn into it.
constexpr COLORREF kCheckedNewBitmapColour = RGB(0xC0, 0x15, 0xE0);
// The colour that stands for the desktop background, which Windows' default
// WM_ICONERASEBKGND handling paints into a top-level window's update area.
constexpr COLORREF kCheckedDesktopColour = RGB(0x3A, 0x6E, 0xA5);
LRESULT WINAPI CheckedDefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

#ifndef VISTREL_REAL_CALLS
#define BeginPaint CheckedBeginPaint
#define EndPaint CheckedEndPaint
#define CreateCompatibleDC CheckedCreateCompatibleDC
#define CreateHalftonePalette CheckedCreateHalftonePalette
#define CreateDIBitmap CheckedCreateDIBitmap
#define CreateDIBSection CheckedCreateDIBSection
#define CreateCompatibleBitmap CheckedCreateCompatibleBitmap
#define CreateBitmap CheckedCreateBitmap
#define StretchDIBits CheckedStretchDIBits
#define SelectObject CheckedSelectObject
#define SelectPalette CheckedSelectPalette
#define DeleteObject CheckedDeleteObject
#define DeleteDC CheckedDeleteDC
#define GetModuleFileNameA CheckedGetModuleFileNameA
#define DefWindowProcA CheckedDefWindowProcA
#define GetProcAddress CheckedGetProcAddress
#define LoadLibraryExA CheckedLoadLibraryExA
#define LoadLibraryA(name) CheckedLoadLibraryExA(name, nullptr, 0)
#define CoInitializeEx CheckedCoInitializeEx
#define GetSystemMetrics CheckedGetSystemMetrics
#define GetICMProfileA CheckedGetICMProfileA
#endif
