// The colour table from Windows' colour management: the picture's profile
// and the screen's, a transform between them, and the grid pushed through
// it in one call. Everything it opens it closes again.
#include "picture/colour_management.h"

#include <icm.h>

#include <cstdlib>

namespace {

using OpenProfileProc = decltype(&OpenColorProfileA);
using CloseProfileProc = decltype(&CloseColorProfile);
using CreateTransformProc = decltype(&CreateMultiProfileTransform);
using DeleteTransformProc = decltype(&DeleteColorTransform);
using TranslateProc = decltype(&TranslateBitmapBits);
using StandardProfileProc = decltype(&GetStandardColorSpaceProfileA);

// LCS_sRGB, 'sRGB' as the headers spell it: a multi-character constant.
constexpr DWORD kSrgbSpace = 0x73524742;
constexpr DWORD kGridColours = DWORD{kTableSteps} * kTableSteps * kTableSteps;

template <typename Proc>
Proc Find(HMODULE module, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

struct Mscms {
  OpenProfileProc open;
  CloseProfileProc close;
  CreateTransformProc create;
  DeleteTransformProc destroy;
  TranslateProc translate;
  StandardProfileProc standard;
};

HPROFILE OpenProfile(const Mscms& mscms, DWORD type, const void* data, DWORD size) {
  PROFILE profile = {type, const_cast<void*>(data), size};
  return mscms.open(&profile, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

// The screen's profile: the one Windows names for the display, else sRGB's.
HPROFILE OpenScreenProfile(const Mscms& mscms, HDC hdc) {
  char path[MAX_PATH] = {};
  DWORD size = sizeof path;
  if (GetICMProfileA(hdc, &size, path)) {
    HPROFILE named = OpenProfile(mscms, PROFILE_FILENAME, path, lstrlenA(path) + 1);
    if (named != nullptr) return named;
  }
  size = sizeof path;
  if (!mscms.standard(nullptr, kSrgbSpace, path, &size)) return nullptr;
  return OpenProfile(mscms, PROFILE_FILENAME, path, lstrlenA(path) + 1);
}

// The grid pushed through the transform, as BGRx pixels.
bool FillTable(const Mscms& mscms, HTRANSFORM transform, ColourTable* table) {
  auto* grid = static_cast<unsigned char*>(malloc(size_t{kGridColours} * 4));
  if (grid == nullptr) return false;
  unsigned char* pixel = grid;
  for (int r = 0; r < kTableSteps; ++r) {
    for (int g = 0; g < kTableSteps; ++g) {
      for (int b = 0; b < kTableSteps; ++b, pixel += 4) {
        pixel[0] = static_cast<unsigned char>(TableLevel(b));
        pixel[1] = static_cast<unsigned char>(TableLevel(g));
        pixel[2] = static_cast<unsigned char>(TableLevel(r));
        pixel[3] = 0;
      }
    }
  }
  const bool turned = mscms.translate(transform, grid, BM_xRGBQUADS, kGridColours, 1, 0, grid,
                                      BM_xRGBQUADS, 0, nullptr, 0) != FALSE;
  unsigned char* entry = &table->rgb[0][0][0][0];
  for (DWORD i = 0; turned && i < kGridColours; ++i, entry += 3) {
    entry[0] = grid[4 * i + 2];
    entry[1] = grid[4 * i + 1];
    entry[2] = grid[4 * i];
  }
  free(grid);
  return turned;
}

ColourTable* TableFrom(const Mscms& mscms, const unsigned char* profile, size_t size, HDC hdc) {
  HPROFILE profiles[2] = {OpenProfile(mscms, PROFILE_MEMBUFFER, profile, static_cast<DWORD>(size)),
                          OpenScreenProfile(mscms, hdc)};
  DWORD intent = INTENT_PERCEPTUAL;
  HTRANSFORM transform = profiles[0] != nullptr && profiles[1] != nullptr
                             ? mscms.create(profiles, 2, &intent, 1, BEST_MODE, INDEX_DONT_CARE)
                             : nullptr;
  auto* table = transform != nullptr ? static_cast<ColourTable*>(malloc(sizeof(ColourTable)))
                                     : nullptr;
  if (table != nullptr && !FillTable(mscms, transform, table)) {
    free(table);
    table = nullptr;
  }
  if (transform != nullptr) mscms.destroy(transform);
  for (HPROFILE opened : profiles) {
    if (opened != nullptr) mscms.close(opened);
  }
  return table;
}

}  // namespace

HMODULE LoadSystemDll(const char* name) {
  // The documented test for the LOAD_LIBRARY_SEARCH_* flags: older systems
  // may ignore an unknown flag and search the program's folder.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr || GetProcAddress(kernel, "AddDllDirectory") == nullptr) return nullptr;
  return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// NOTE: TranslateBitmapBits takes about a second for one 1920x1080 screen
// under 32-bit Wine, too long to run on every pixel. So the grid alone goes
// through Windows' colour management, once, in a few milliseconds, and each
// pixel is interpolated in the table. mscms.dll is not a KnownDLL: it is
// looked up at run time, and only in the system folder.
ColourTable* ScreenColourTable(const unsigned char* profile, size_t size, HDC hdc) {
  if (!IsRgbProfile(profile, size) || IsSrgbProfile(profile, size)) return nullptr;
  HMODULE module = LoadSystemDll("mscms.dll");
  if (module == nullptr) return nullptr;
  const Mscms mscms = {Find<OpenProfileProc>(module, "OpenColorProfileA"),
                       Find<CloseProfileProc>(module, "CloseColorProfile"),
                       Find<CreateTransformProc>(module, "CreateMultiProfileTransform"),
                       Find<DeleteTransformProc>(module, "DeleteColorTransform"),
                       Find<TranslateProc>(module, "TranslateBitmapBits"),
                       Find<StandardProfileProc>(module, "GetStandardColorSpaceProfileA")};
  const bool whole = mscms.open != nullptr && mscms.close != nullptr && mscms.create != nullptr &&
                     mscms.destroy != nullptr && mscms.translate != nullptr &&
                     mscms.standard != nullptr;
  ColourTable* table = whole ? TableFrom(mscms, profile, size, hdc) : nullptr;
  FreeLibrary(module);
  return table;
}
