// The few Win32 types and KERNEL calls that the portable core uses.
// On Windows this is <windows.h>; on Linux it declares a small stand-in
// whose profile-file calls behave as Windows' own do, so the same tests run
// against both.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HMODULE;

#define WINAPI
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

static_assert(sizeof(BITMAPFILEHEADER) == 14, "file header is 14 bytes on disk");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "info header is 40 bytes on disk");
static_assert(sizeof(RGBQUAD) == 4, "palette entries are 4 bytes");

HMODULE GetModuleHandleA(LPCSTR moduleName);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                               LPSTR buffer, DWORD size, LPCSTR file);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);

// Test hooks. `path` replaces the executable path that GetModuleFileNameA
// reports (null restores the real one, an empty text makes the call fail).
// With `unterminatedWhenCut`, a path that does not fit is cut without a
// terminator, as Windows XP does; otherwise it is cut and terminated.
void CompatSetModuleFileName(const char* path, bool unterminatedWhenCut = false);
#endif
