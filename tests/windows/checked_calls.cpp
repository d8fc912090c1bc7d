// The checker behind checked_calls.h. It keeps, for every device context it
// has seen, the object of each kind selected into it, and the objects made
// through it, tagged with the paint that was open when they were made.
#include "checked_calls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include <dwmapi.h>
#include <objbase.h>

namespace {

enum Slot { kBitmapSlot, kBrushSlot, kPenSlot, kFontSlot, kPaletteSlot, kSlotCount };

struct DcRecord {
  HDC dc;
  HGDIOBJ selected[kSlotCount];
};

struct Made {
  HGDIOBJ object;
  const char* maker;
  int paint;  // the paint open when it was made, 0 for none
};

struct Paint {
  HWND hwnd;
  HDC dc;
  int id;
};

std::vector<DcRecord> gDcs;
std::vector<Made> gLive;
std::vector<Paint> gPaints;
int gNextPaint = 1;
int gMadeCount = 0;
bool gFailNext[2] = {};
constexpr long long kWindowsBitmapLimit = 48LL * 1024 * 1024;
long long gBitmapLimit = kWindowsBitmapLimit;
long long gLargestBitmap = 0;
ModulePathFetch gFetch = ModulePathFetch::kWhole;
int gComStarts = 0;
HWND gCloaked = nullptr;
SIZE gScreen = {};
const char* gDisplayProfile = nullptr;

int SlotOf(HGDIOBJ object) {
  switch (GetObjectType(object)) {
    case OBJ_BITMAP: return kBitmapSlot;
    case OBJ_BRUSH: return kBrushSlot;
    case OBJ_PEN:
    case OBJ_EXTPEN: return kPenSlot;
    case OBJ_FONT: return kFontSlot;
    case OBJ_PAL: return kPaletteSlot;
    default: return -1;  // a region is copied into the DC, not selected
  }
}

const char* KindOf(HGDIOBJ object) {
  switch (GetObjectType(object)) {
    case OBJ_BITMAP: return "bitmap";
    case OBJ_BRUSH: return "brush";
    case OBJ_PEN:
    case OBJ_EXTPEN: return "pen";
    case OBJ_FONT: return "font";
    case OBJ_PAL: return "palette";
    case OBJ_MEMDC: return "memory DC";
    case OBJ_DC: return "DC";
    default: return "object";
  }
}

template <typename T, typename Predicate>
void EraseIf(std::vector<T>& items, Predicate predicate) {
  items.erase(std::remove_if(items.begin(), items.end(), predicate), items.end());
}

void Forget(HDC hdc) {
  EraseIf(gDcs, [hdc](const DcRecord& record) { return record.dc == hdc; });
}

// A DC starts with only stock objects selected.
DcRecord& Fresh(HDC hdc) {
  Forget(hdc);
  gDcs.push_back(DcRecord{hdc, {}});
  return gDcs.back();
}

DcRecord& RecordOf(HDC hdc) {
  for (DcRecord& record : gDcs) {
    if (record.dc == hdc) return record;
  }
  return Fresh(hdc);
}

void Remember(HGDIOBJ object, const char* maker) {
  if (object == nullptr) return;
  ++gMadeCount;
  gLive.push_back(Made{object, maker, gPaints.empty() ? 0 : gPaints.back().id});
}

void Released(HGDIOBJ object) {
  EraseIf(gLive, [object](const Made& made) { return made.object == object; });
}

bool TakeFailure(CheckedCreate call) {
  bool& flag = gFailNext[static_cast<int>(call)];
  const bool fail = flag;
  flag = false;
  return fail;
}

bool IsStock(HGDIOBJ object) {
  for (int i = WHITE_BRUSH; i <= DC_PEN; ++i) {
    if (GetStockObject(i) == object) return true;
  }
  // The 1x1 bitmap every memory DC starts with is a stock object too.
  static HGDIOBJ stockBitmap = [] {
    HDC probe = CreateCompatibleDC(nullptr);
    HGDIOBJ bitmap = GetCurrentObject(probe, OBJ_BITMAP);
    DeleteDC(probe);
    return bitmap;
  }();
  return object == stockBitmap;
}

// Bytes of a device-dependent bitmap: rows of whole 16-bit words.
long long BitmapBytes(long long width, long long height, long long bits) {
  return (width * bits + 15) / 16 * 2 * (height < 0 ? -height : height);
}

long long DeviceBits(HDC hdc) {
  return hdc == nullptr ? 1 : GetDeviceCaps(hdc, BITSPIXEL) * GetDeviceCaps(hdc, PLANES);
}

// NOTE: Windows makes device-dependent bitmaps from a small kernel pool and
// refuses them past about 48 MiB; Wine makes them at any size.
bool RefusedBitmap(long long bytes) {
  if (bytes <= gBitmapLimit) return false;
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return true;
}

void Largest(HBITMAP made, long long bytes) {
  if (made != nullptr && bytes > gLargestBitmap) gLargestBitmap = bytes;
}

// `bytes` copied to the very end of a readable page that a no-access page
// follows, so that GDI reading one byte more than it was given faults.
class GuardedCopy {
 public:
  GuardedCopy(const void* source, size_t bytes) {
    if (source == nullptr) return;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    const size_t readable = (bytes + page - 1) / page * page;
    base = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, readable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (base == nullptr) return;
    DWORD old = 0;
    VirtualProtect(base + readable, page, PAGE_NOACCESS, &old);
    copy = base + readable - bytes;
    memcpy(copy, source, bytes);
  }
  ~GuardedCopy() {
    if (base != nullptr) VirtualFree(base, 0, MEM_RELEASE);
  }
  GuardedCopy(const GuardedCopy&) = delete;
  GuardedCopy& operator=(const GuardedCopy&) = delete;
  const void* Get() const { return copy; }

 private:
  unsigned char* base = nullptr;
  void* copy = nullptr;
};

}  // namespace

void CheckedFailNext(CheckedCreate call) { gFailNext[static_cast<int>(call)] = true; }

void CheckedReset() {
  gLive.clear();
  gMadeCount = 0;
  gBitmapLimit = kWindowsBitmapLimit;
  gLargestBitmap = 0;
}

void CheckedBitmapLimit(long long bytes) { gBitmapLimit = bytes; }

long long CheckedLargestBitmap() { return gLargestBitmap; }

int CheckedMadeCount() { return gMadeCount; }

int CheckedLiveCount() { return static_cast<int>(gLive.size()); }

void CheckedModulePathFetch(ModulePathFetch fetch) { gFetch = fetch; }

HDC WINAPI CheckedBeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  HDC hdc = BeginPaint(hwnd, ps);
  if (hdc != nullptr) Fresh(hdc);
  gPaints.push_back(Paint{hwnd, hdc, gNextPaint++});
  return hdc;
}

BOOL WINAPI CheckedEndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
  for (size_t i = gPaints.size(); i-- > 0;) {
    if (gPaints[i].hwnd != hwnd) continue;
    const Paint paint = gPaints[i];
    gPaints.erase(gPaints.begin() + static_cast<std::ptrdiff_t>(i));
    const auto madeInPaint = [&paint](const Made& made) { return made.paint == paint.id; };
    for (const Made& made : gLive) {
      if (!madeInPaint(made)) continue;
      ADD_FAILURE() << "EndPaint(" << hwnd << "): the " << KindOf(made.object) << " "
                    << made.object << " made by " << made.maker
                    << " during this paint is still allocated";
    }
    EraseIf(gLive, madeInPaint);  // reported once; the object is lost, as on Windows
    Forget(paint.dc);
    break;
  }
  return EndPaint(hwnd, ps);
}

HDC WINAPI CheckedCreateCompatibleDC(HDC hdc) {
  if (TakeFailure(CheckedCreate::kCompatibleDc)) return nullptr;
  HDC made = CreateCompatibleDC(hdc);
  if (made != nullptr) Fresh(made);
  Remember(made, "CreateCompatibleDC");
  return made;
}

HPALETTE WINAPI CheckedCreateHalftonePalette(HDC hdc) {
  if (TakeFailure(CheckedCreate::kHalftonePalette)) return nullptr;
  HPALETTE made = CreateHalftonePalette(hdc);
  Remember(made, "CreateHalftonePalette");
  return made;
}

// NOTE: the painting hands GDI a 40-byte header and a BITMAPINFO with a full
// 256-entry colour table, nothing more; GDI gets copies of exactly those.
// Windows refuses a bitmap past its limit whatever the header says.
HBITMAP WINAPI CheckedCreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init,
                                     const void* bits, const BITMAPINFO* info, UINT usage) {
  const long long bytes = BitmapBytes(header->biWidth, header->biHeight, DeviceBits(hdc));
  if (RefusedBitmap(bytes)) return nullptr;
  const GuardedCopy guardedHeader(header, sizeof(BITMAPINFOHEADER));
  const GuardedCopy guardedInfo(info, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  HBITMAP made = CreateDIBitmap(hdc, static_cast<const BITMAPINFOHEADER*>(guardedHeader.Get()),
                                init, bits, static_cast<const BITMAPINFO*>(guardedInfo.Get()),
                                usage);
  Remember(made, "CreateDIBitmap");
  Largest(made, bytes);
  return made;
}

// NOTE: nothing promises what a new bitmap holds, and Wine's come black; so
// here they come in a colour of their own, and a pixel a paint leaves out shows.
void FillNewBitmap(HDC hdc, HBITMAP bitmap, int width, int height) {
  HDC memoryDc = CreateCompatibleDC(hdc);
  HGDIOBJ previous = SelectObject(memoryDc, bitmap);
  HBRUSH brush = CreateSolidBrush(kCheckedNewBitmapColour);
  const RECT all = {0, 0, width, height};
  FillRect(memoryDc, &all, brush);
  SelectObject(memoryDc, previous);
  DeleteObject(brush);
  DeleteDC(memoryDc);
}

HBITMAP WINAPI CheckedCreateCompatibleBitmap(HDC hdc, int width, int height) {
  const long long bytes = BitmapBytes(width, height, DeviceBits(hdc));
  if (RefusedBitmap(bytes)) return nullptr;
  HBITMAP made = CreateCompatibleBitmap(hdc, width, height);
  if (made != nullptr) FillNewBitmap(hdc, made, width, height);
  Remember(made, "CreateCompatibleBitmap");
  Largest(made, bytes);
  return made;
}

HBITMAP WINAPI CheckedCreateBitmap(int width, int height, UINT planes, UINT bitCount,
                                   const void* bits) {
  const long long bytes = BitmapBytes(width, height, bitCount) * planes;
  if (RefusedBitmap(bytes)) return nullptr;
  HBITMAP made = CreateBitmap(width, height, planes, bitCount, bits);
  Remember(made, "CreateBitmap");
  Largest(made, bytes);
  return made;
}

// The header and the full colour table at the end of a guarded page, as for
// CreateDIBitmap.
int WINAPI CheckedStretchDIBits(HDC hdc, int x, int y, int width, int height, int sourceX,
                                int sourceY, int sourceWidth, int sourceHeight, const void* bits,
                                const BITMAPINFO* info, UINT usage, DWORD rop) {
  const GuardedCopy guardedInfo(info, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  return StretchDIBits(hdc, x, y, width, height, sourceX, sourceY, sourceWidth, sourceHeight,
                       bits, static_cast<const BITMAPINFO*>(guardedInfo.Get()), usage, rop);
}

HBITMAP WINAPI CheckedCreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits,
                                       HANDLE section, DWORD offset) {
  HBITMAP made = CreateDIBSection(hdc, info, usage, bits, section, offset);
  Remember(made, "CreateDIBSection");
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const long long height = header.biHeight < 0 ? -static_cast<long long>(header.biHeight)
                                               : header.biHeight;
  Largest(made,
          (static_cast<long long>(header.biWidth) * header.biBitCount + 31) / 32 * 4 * height);
  return made;
}

HGDIOBJ WINAPI CheckedSelectObject(HDC hdc, HGDIOBJ object) {
  HGDIOBJ previous = SelectObject(hdc, object);
  const int slot = SlotOf(object);
  if (previous != nullptr && previous != HGDI_ERROR && slot >= 0) {
    RecordOf(hdc).selected[slot] = object;
  }
  return previous;
}

HPALETTE WINAPI CheckedSelectPalette(HDC hdc, HPALETTE palette, BOOL forceBackground) {
  HPALETTE previous = SelectPalette(hdc, palette, forceBackground);
  if (previous != nullptr) RecordOf(hdc).selected[kPaletteSlot] = palette;
  return previous;
}

BOOL WINAPI CheckedDeleteObject(HGDIOBJ object) {
  if (object != nullptr && IsStock(object)) {
    ADD_FAILURE() << "DeleteObject(" << object << "): the " << KindOf(object)
                  << " is a stock object, which no program may delete";
    return TRUE;
  }
  for (const DcRecord& record : gDcs) {
    for (HGDIOBJ selected : record.selected) {
      if (object != nullptr && selected == object) {
        ADD_FAILURE() << "DeleteObject(" << object << "): the " << KindOf(object)
                      << " is still selected into device context " << record.dc
                      << "; Windows refuses to delete it: the call returns 0 and the object "
                         "stays allocated";
        return FALSE;
      }
    }
  }
  const BOOL deleted = DeleteObject(object);
  if (deleted) Released(object);
  return deleted;
}

BOOL WINAPI CheckedDeleteDC(HDC hdc) {
  const BOOL deleted = DeleteDC(hdc);
  if (deleted) {
    Forget(hdc);
    Released(hdc);
  }
  return deleted;
}

DWORD WINAPI CheckedGetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  const DWORD got = GetModuleFileNameA(module, buffer, size);
  if (gFetch == ModulePathFetch::kWhole || got == 0 || got >= size) return got;
  // The text names a real file, as a cut path may name some other file.
  if (gFetch == ModulePathFetch::kCutUnterminated) memset(buffer + got, 'x', size - got);
  return size;
}

// NOTE: Windows paints the desktop wallpaper here for a top-level window;
// Wine paints the class brush, which for the viewer is the null brush.
LRESULT WINAPI CheckedDefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_ICONERASEBKGND || (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD) != 0) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  HDC hdc = reinterpret_cast<HDC>(wParam);
  RECT area;
  GetClipBox(hdc, &area);
  HBRUSH desktop = CreateSolidBrush(kCheckedDesktopColour);
  FillRect(hdc, &area, desktop);
  DeleteObject(desktop);
  return 1;
}

void CheckedCloak(HWND hwnd) { gCloaked = hwnd; }

namespace {

// Answers as Windows 8 and later do: S_OK for every window, with 0 for one
// that is on the screen and a reason for the cloaked one.
// NOTE: Wine's own answers E_NOTIMPL for every window and writes nothing, as
// Windows 7 fails the call; the end-to-end tests run that path.
HRESULT WINAPI CheckedDwmGetWindowAttribute(HWND hwnd, DWORD attribute, void* value,
                                            DWORD size) {
  if (!IsWindow(hwnd)) return E_HANDLE;
  if (attribute != DWMWA_CLOAKED || size != sizeof(DWORD)) return E_INVALIDARG;
  *static_cast<DWORD*>(value) = hwnd == gCloaked ? DWM_CLOAKED_SHELL : 0;
  return S_OK;
}

}  // namespace

FARPROC WINAPI CheckedGetProcAddress(HMODULE module, LPCSTR name) {
  const FARPROC proc = GetProcAddress(module, name);
  if (proc == nullptr || IS_INTRESOURCE(name) || strcmp(name, "DwmGetWindowAttribute") != 0) {
    return proc;
  }
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(CheckedDwmGetWindowAttribute));
}

// Any other search may find a DLL planted beside the program.
HMODULE WINAPI CheckedLoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags) {
  EXPECT_EQ(flags, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32)) << "loading " << name;
  return LoadLibraryExA(name, file, flags);
}

void CheckedScreenSize(int width, int height) { gScreen = SIZE{width, height}; }

int WINAPI CheckedGetSystemMetrics(int index) {
  if (gScreen.cx != 0 && index == SM_CXSCREEN) return gScreen.cx;
  if (gScreen.cy != 0 && index == SM_CYSCREEN) return gScreen.cy;
  return GetSystemMetrics(index);
}

void CheckedDisplayProfile(const char* path) { gDisplayProfile = path; }

BOOL WINAPI CheckedGetICMProfileA(HDC hdc, LPDWORD size, LPSTR name) {
  if (gDisplayProfile == nullptr) return GetICMProfileA(hdc, size, name);
  const DWORD needed = static_cast<DWORD>(strlen(gDisplayProfile) + 1);
  if (*size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(name, gDisplayProfile, needed);
  return TRUE;
}

int CheckedComStarts() { return gComStarts; }

HRESULT WINAPI CheckedCoInitializeEx(LPVOID reserved, DWORD flags) {
  ++gComStarts;
  return CoInitializeEx(reserved, flags);
}
