// Loading big pictures into the PictureRecord, each figure taken in a fresh
// process: a photo's load (LoadAnyPicture keeping a screenful) against a
// floor, a bare WIC decode of only the stored rectangle the screen shows;
// and a large BMP's load with its first paint, against its pixel block.
// Each then checks that the part the window shows is ImageMagick's decode.
// Usage (Windows paths; run under Wine on a virtual display):
//   decode_bench.exe jpeg picture.jpg orientation decode.ppm  the load against the floor
//   decode_bench.exe bmp picture.bmp decode.ppm               a BMP's load and first paint
//   decode_bench.exe profile tagged.jpg untagged.jpg decode.ppm  a colour profile's cost
// Each runs this program again for every figure, in one of the modes
//   decode_bench.exe load picture                  one load and first paint
//   decode_bench.exe floor picture orientation     one bare decode
// which print their figures on one line.
#include <windows.h>

#include <objbase.h>
#include <psapi.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "picture/picture_codecs.h"
#include "picture/picture_file.h"
#include "viewer/viewer_window.h"
#include "wall_clock.h"
#include "windows/pixels.h"

namespace {

constexpr int kRounds = 5;        // fresh processes of each kind per photo
constexpr int kBmpRounds = 3;     // fresh processes for the BMP
constexpr int kProfileRounds = 9;  // for a difference of a tenth
constexpr double kTimeTarget = 1.10;
constexpr double kMegabyte = 1e6;
constexpr char kFiguresTag[] = "figures";

// What one fresh process measured. Memory is the working set.
// NOTE: under Wine the working set is the Linux resident set (VmRSS) and its
// peak is VmHWM, a true peak; PeakPagefileUsage there is only the current
// private resident memory, so a block freed before the reading is missed.
struct Figures {
  double seconds = 0;         // around the load or the bare decode alone
  double paintSeconds = 0;    // the first paint; 0 for the floor
  double baseBytes = 0;       // working set just before the load or decode
  double peakBytes = 0;       // peak working set just after it
  double paintPeakBytes = 0;  // peak working set after the first paint
  double blockBytes = 0;      // the record's pixel block, or the floor's buffer
  double width = 0;           // of the record, or of the decoded rectangle
  double height = 0;
};

template <typename Interface>
void Release(Interface* held) {
  if (held != nullptr) held->Release();
}

PROCESS_MEMORY_COUNTERS MemoryNow() {
  PROCESS_MEMORY_COUNTERS counters;
  memset(&counters, 0, sizeof counters);
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters;
}

void PrintFigures(const Figures& figures) {
  printf("%s %.6f %.6f %.0f %.0f %.0f %.0f %.0f %.0f\n", kFiguresTag, figures.seconds,
         figures.paintSeconds, figures.baseBytes, figures.peakBytes, figures.paintPeakBytes,
         figures.blockBytes, figures.width, figures.height);
}

bool ParseFigures(const std::string& text, Figures* figures) {
  const size_t at = text.find(kFiguresTag);
  if (at == std::string::npos) return false;
  Figures read;
  const int fields = sscanf(text.c_str() + at + sizeof kFiguresTag - 1,
                            "%lf %lf %lf %lf %lf %lf %lf %lf", &read.seconds, &read.paintSeconds,
                            &read.baseBytes, &read.peakBytes, &read.paintPeakBytes,
                            &read.blockBytes, &read.width, &read.height);
  if (fields != 8) return false;
  *figures = read;
  return true;
}

// A path in the system's code page, as the program takes names: in Unicode.
std::wstring WidePath(const char* path) {
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  return wide;
}

// The stored rectangle that lands in the screen's top-left corner once the
// picture is turned. Orientation 6 is turned clockwise to show, so the shown
// left edge is the stored bottom row: the corner comes from the stored
// frame's bottom-left.
WICRect ShownStoredPart(int orientation, UINT width, UINT height, UINT screenWidth,
                        UINT screenHeight) {
  if (orientation == 6) {
    const UINT rows = std::min(height, screenWidth);
    return {0, static_cast<INT>(height - rows), static_cast<INT>(std::min(width, screenHeight)),
            static_cast<INT>(rows)};
  }
  return {0, 0, static_cast<INT>(std::min(width, screenWidth)),
          static_cast<INT>(std::min(height, screenHeight))};
}

// The floor: COM, the decoder, a converter to 32-bit BGRA and one CopyPixels
// of the shown stored rectangle into one buffer, nothing more.
int MeasureFloor(const char* path, int orientation) {
  const std::wstring widePath = WidePath(path);
  const UINT screenWidth = static_cast<UINT>(GetSystemMetrics(SM_CXSCREEN));
  const UINT screenHeight = static_cast<UINT>(GetSystemMetrics(SM_CYSCREEN));
  Figures figures;
  figures.baseBytes = static_cast<double>(MemoryNow().WorkingSetSize);

  const double start = WallSeconds();
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) return 1;
  IWICImagingFactory* factory = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* converter = nullptr;
  UINT width = 0;
  UINT height = 0;
  bool decoded =
      SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) &&
      SUCCEEDED(factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                                   WICDecodeMetadataCacheOnDemand, &decoder)) &&
      SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height)) &&
      SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
      SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                      nullptr, 0.0, WICBitmapPaletteTypeCustom));
  WICRect part = {};
  void* pixels = nullptr;
  if (decoded) {
    part = ShownStoredPart(orientation, width, height, screenWidth, screenHeight);
    const UINT stride = static_cast<UINT>(part.Width) * 4;
    const UINT bytes = stride * static_cast<UINT>(part.Height);
    pixels = malloc(bytes);
    decoded = pixels != nullptr &&
              SUCCEEDED(converter->CopyPixels(&part, stride, bytes, static_cast<BYTE*>(pixels)));
  }
  Release(converter);
  Release(frame);
  Release(decoder);
  Release(factory);
  figures.seconds = WallSeconds() - start;

  const PROCESS_MEMORY_COUNTERS after = MemoryNow();
  free(pixels);
  CoUninitialize();
  if (!decoded) return 1;
  figures.peakBytes = static_cast<double>(after.PeakWorkingSetSize);
  figures.paintPeakBytes = figures.peakBytes;
  figures.width = part.Width;
  figures.height = part.Height;
  figures.blockBytes = 4.0 * part.Width * part.Height;
  PrintFigures(figures);
  return 0;
}

// A shown, screen-sized viewer window, painted once without a picture: the
// viewer has its window before it loads the picture.
HWND ShowViewerWindow() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterViewerClass(instance, kViewerClassName, ViewerWindowProc, CS_NOCLOSE, "", NULL_BRUSH);
  HWND hwnd = CreateWindowExA(0, kViewerClassName, "", WS_POPUP, 0, 0,
                              GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                              nullptr, nullptr, instance, nullptr);
  if (hwnd == nullptr) return nullptr;
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  // NOTE: on Windows the erase paints the desktop into the whole window;
  // Wine paints the null brush, and leaves the window's pixels untouched
  // until the picture is drawn. Touched here, they count before the load.
  HDC hdc = GetDC(hwnd);
  PatBlt(hdc, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), BLACKNESS);
  ReleaseDC(hwnd, hdc);
  GdiFlush();
  return hwnd;
}

// The viewer's first paint of the loaded record.
double FirstPaintSeconds(HWND hwnd, const PictureRecord& record) {
  gPicture = record;
  InvalidateRect(hwnd, nullptr, TRUE);
  const double start = WallSeconds();
  UpdateWindow(hwnd);
  GdiFlush();
  const double paint = WallSeconds() - start;
  gPicture = PictureRecord{};
  return paint;
}

// The program's own load: LoadAnyPicture keeping what the screen shows, into
// a viewer whose window is up, then its first paint.
int MeasureLoad(const char* path) {
  Figures figures;
  const LONG screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const LONG screenHeight = GetSystemMetrics(SM_CYSCREEN);
  HWND hwnd = ShowViewerWindow();
  if (hwnd == nullptr) return 1;
  figures.baseBytes = static_cast<double>(MemoryNow().WorkingSetSize);

  PictureRecord record = {};
  bool comStarted = false;
  const double start = WallSeconds();
  const void* pixels =
      LoadAnyPicture(WidePath(path).c_str(), screenWidth, screenHeight, hwnd, &record, &comStarted);
  figures.seconds = WallSeconds() - start;

  const PROCESS_MEMORY_COUNTERS after = MemoryNow();
  LONG blockBytes = 0;
  if (pixels == nullptr || !PictureBlockSize(record.infoHeader, &blockBytes)) return 1;
  figures.paintSeconds = FirstPaintSeconds(hwnd, record);
  figures.paintPeakBytes = static_cast<double>(MemoryNow().PeakWorkingSetSize);
  DestroyWindow(hwnd);
  free(record.pixels);
  if (comStarted) CoUninitialize();
  figures.peakBytes = static_cast<double>(after.PeakWorkingSetSize);
  figures.blockBytes = blockBytes;
  figures.width = record.infoHeader.biWidth;
  figures.height = PictureHeight(record.infoHeader);
  PrintFigures(figures);
  return 0;
}

// What the bench timed, checked: the picture loaded and painted as in the
// program, every pixel of the part the window shows against ImageMagick's
// decode of it. 1 when they differ.
int CheckShown(const char* path, const char* decodePath) {
  const Pixels decoded = ReadPpm(decodePath);
  HWND hwnd = ShowViewerWindow();
  if (hwnd == nullptr) return 1;
  PictureRecord record = {};
  bool comStarted = false;
  LoadAnyPicture(WidePath(path).c_str(), GetSystemMetrics(SM_CXSCREEN),
                 GetSystemMetrics(SM_CYSCREEN), hwnd, &record, &comStarted);
  FirstPaintSeconds(hwnd, record);
  HDC hdc = GetDC(hwnd);
  double mean = 0;
  const std::string difference =
      DifferenceFrom(ReadBack(hdc, decoded.width, decoded.height), decoded, &mean);
  ReleaseDC(hwnd, hdc);
  DestroyWindow(hwnd);
  free(record.pixels);
  if (comStarted) CoUninitialize();
  if (!difference.empty()) {
    printf("  the shown %dx%d part is NOT ImageMagick's decode: %s\n", decoded.width,
           decoded.height, difference.c_str());
    return 1;
  }
  printf("  the shown %dx%d part is ImageMagick's decode within a mean of %.3f levels\n",
         decoded.width, decoded.height, mean);
  return 0;
}

// Runs this program again with `arguments` and reads the figures it prints;
// false when it cannot be started, fails or prints none.
bool RunFresh(const std::string& arguments, Figures* figures) {
  char self[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self) return false;
  // A fresh process: its peak and its caches owe nothing to earlier runs.
  std::string command = "\"" + std::string(self) + "\" " + arguments;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  // Only the child holds the write end now, so the read ends when it exits.
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return false;
  }
  std::string output;
  char buffer[512];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    output.append(buffer, got);
  }
  CloseHandle(readEnd);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (exitCode == 0 && ParseFigures(output, figures)) return true;
  fprintf(stderr, "decode_bench: %s gave no figures (exit code %lu)\n", arguments.c_str(),
          static_cast<unsigned long>(exitCode));
  return false;
}

double Median(const std::vector<Figures>& runs, double Figures::*field) {
  std::vector<double> values;
  for (const Figures& run : runs) values.push_back(run.*field);
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The median of a peak less the baseline that run started from.
double MedianRise(std::vector<Figures> runs, double Figures::*peak) {
  for (Figures& run : runs) run.*peak -= run.baseBytes;
  return Median(runs, peak);
}

// The file's name without its folder, for the printed lines.
const char* BaseName(const char* path) {
  const char* slash = strrchr(path, '\\');
  return slash != nullptr ? slash + 1 : path;
}

double ScreenBlockBytes() {
  return 4.0 * GetSystemMetrics(SM_CXSCREEN) * GetSystemMetrics(SM_CYSCREEN);
}

const char* Verdict(bool met) { return met ? "meets" : "misses"; }

// `rounds` fresh processes of each, interleaved, the order swapped every
// round so that a slow spell of the machine falls on both.
bool RunInterleaved(int rounds, const std::string& one, const std::string& other,
                    std::vector<Figures>* ones, std::vector<Figures>* others) {
  for (int round = 0; round < rounds; ++round) {
    Figures oneRun;
    Figures otherRun;
    const bool oneFirst = round % 2 == 0;
    if (oneFirst && !RunFresh(one, &oneRun)) return false;
    if (!RunFresh(other, &otherRun)) return false;
    if (!oneFirst && !RunFresh(one, &oneRun)) return false;
    ones->push_back(oneRun);
    others->push_back(otherRun);
  }
  return true;
}

std::string Quoted(const char* path) { return std::string("\"") + path + "\""; }

// The load against the floor.
int ComparePhoto(const char* path, int orientation, const char* decodePath) {
  std::vector<Figures> loads;
  std::vector<Figures> floors;
  if (!RunInterleaved(kRounds, "load " + Quoted(path),
                      "floor " + Quoted(path) + " " + std::to_string(orientation), &loads,
                      &floors)) {
    return 1;
  }
  const double loadSeconds = Median(loads, &Figures::seconds);
  const double floorSeconds = Median(floors, &Figures::seconds);
  const double ratio = loadSeconds / floorSeconds;
  const double loadPeak = Median(loads, &Figures::peakBytes);
  const double floorPeak = Median(floors, &Figures::peakBytes);
  const double loadUp = MedianRise(loads, &Figures::peakBytes);
  const double floorUp = MedianRise(floors, &Figures::peakBytes);
  const double allowance = 2 * ScreenBlockBytes();
  const Figures& shown = loads.front();
  printf("%s, orientation %d, kept %.0fx%.0f: load %.1f ms, floor %.1f ms, ratio %.2f "
         "(target <= %.2f: %s); peak load %.1f MB (+%.1f), floor %.1f MB (+%.1f), "
         "load - floor %+.1f MB (target <= +%.1f: %s)\n",
         BaseName(path), orientation, shown.width, shown.height, loadSeconds * 1000,
         floorSeconds * 1000, ratio, kTimeTarget, Verdict(ratio <= kTimeTarget),
         loadPeak / kMegabyte, loadUp / kMegabyte, floorPeak / kMegabyte, floorUp / kMegabyte,
         (loadUp - floorUp) / kMegabyte, allowance / kMegabyte,
         Verdict(loadUp - floorUp <= allowance));
  printf("  first paint of that %.0fx%.0f record: %.1f ms (medians of %d fresh processes each)\n",
         shown.width, shown.height, Median(loads, &Figures::paintSeconds) * 1000, kRounds);
  return CheckShown(path, decodePath);
}

// The time to the picture, load and first paint, of a photo with a colour
// profile against the same photo without one.
int CompareProfile(const char* tagged, const char* untagged, const char* decodePath) {
  constexpr double kProfileTarget = 1.15;
  std::vector<Figures> taggedRuns;
  std::vector<Figures> untaggedRuns;
  if (!RunInterleaved(kProfileRounds, "load " + Quoted(tagged), "load " + Quoted(untagged),
                      &taggedRuns, &untaggedRuns)) {
    return 1;
  }
  const auto toPicture = [](std::vector<Figures> runs) {
    for (Figures& run : runs) run.seconds += run.paintSeconds;
    return Median(runs, &Figures::seconds);
  };
  const double ratio = toPicture(taggedRuns) / toPicture(untaggedRuns);
  printf("%s against %s, kept %.0fx%.0f: to the picture %.1f ms against %.1f ms, ratio %.2f "
         "(target <= %.2f: %s); medians of %d fresh processes each\n",
         BaseName(tagged), BaseName(untagged), taggedRuns.front().width,
         taggedRuns.front().height, toPicture(taggedRuns) * 1000, toPicture(untaggedRuns) * 1000,
         ratio, kProfileTarget, Verdict(ratio <= kProfileTarget), kProfileRounds);
  return CheckShown(tagged, decodePath);
}

// A BMP is read whole: its peak, paint included, should be its pixel block
// and little more.
int MeasureBmp(const char* path, const char* decodePath) {
  const std::string arguments = std::string("load \"") + path + "\"";
  std::vector<Figures> runs;
  for (int round = 0; round < kBmpRounds; ++round) {
    Figures run;
    if (!RunFresh(arguments, &run)) return 1;
    runs.push_back(run);
  }
  const double block = runs.front().blockBytes;
  const double up = MedianRise(runs, &Figures::paintPeakBytes);
  const double screenBlock = ScreenBlockBytes();
  printf("%s, %.0fx%.0f: load %.1f ms, first paint %.1f ms; peak %.1f MB, +%.1f above the "
         "baseline (+%.1f after the load alone); pixel block %.1f MB; peak - block %+.1f MB "
         "(target <= +%.1f, one screen block: %s); medians of %d fresh processes\n",
         BaseName(path), runs.front().width, runs.front().height,
         Median(runs, &Figures::seconds) * 1000, Median(runs, &Figures::paintSeconds) * 1000,
         Median(runs, &Figures::paintPeakBytes) / kMegabyte, up / kMegabyte,
         MedianRise(runs, &Figures::peakBytes) / kMegabyte, block / kMegabyte,
         (up - block) / kMegabyte, screenBlock / kMegabyte, Verdict(up - block <= screenBlock),
         kBmpRounds);
  return CheckShown(path, decodePath);
}

int Usage() {
  fprintf(stderr,
          "usage: decode_bench.exe jpeg picture.jpg orientation decode.ppm |\n"
          "       bmp picture.bmp decode.ppm | profile tagged.jpg untagged.jpg decode.ppm |\n"
          "       load picture | floor picture orientation\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  const char* path = argv[2];
  const int orientation = argc > 3 ? atoi(argv[3]) : 0;
  // The floor knows only the turns the bench's photos have.
  const bool turnKnown = orientation == 1 || orientation == 6;
  if (mode == "load" && argc == 3) return MeasureLoad(path);
  if (mode == "floor" && argc == 4 && turnKnown) return MeasureFloor(path, orientation);
  if (mode == "jpeg" && argc == 5 && turnKnown) return ComparePhoto(path, orientation, argv[4]);
  if (mode == "bmp" && argc == 4) return MeasureBmp(path, argv[3]);
  if (mode == "profile" && argc == 5) return CompareProfile(path, argv[3], argv[4]);
  return Usage();
}
