// An arbitrary settings file, read, saved and read again through the Linux
// stand-in: the second read must give what the save wrote, switches
// normalised to 0 or 1 and the path unchanged. A stored path too long to
// keep must be left in the file exactly as it was.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/settings_file.h"

namespace {

// The executable's name is lowercase, so the settings file is "view.ini"
// beside it whatever case folding the path gets. The folder goes when the
// fuzzer ends.
std::string ScratchDir() {
  static const std::string dir = [] {
    std::string path = "/tmp/vistrel-fuzz-" + std::to_string(getpid());
    mkdir(path.c_str(), 0755);
    CompatSetModuleFileName((path + "/view.exe").c_str());
    return path + "/";
  }();
  static const int removed = atexit([] {
    remove((dir + "view.ini").c_str());
    rmdir(dir.c_str());
  });
  (void)removed;
  return dir;
}

// The display key's value as stored, read with room to spare.
std::string StoredPath(const std::string& file) {
  static char value[1 << 16];
  const DWORD got = GetPrivateProfileStringA(kSettingsSection, kDisplayFileKey, "<none>", value,
                                             sizeof value, file.c_str());
  return std::string(value, got);
}

bool SameSwitch(int32_t read, int32_t reread) { return (read != 0 ? 1 : 0) == reread; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = ScratchDir() + "view.ini";
  FILE* stream = fopen(file.c_str(), "wb");
  if (stream == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, stream) != size) abort();
  fclose(stream);

  ViewerSettings first;
  memset(&first, 0x55, sizeof first);
  if (LoadSettings(&first) != 1) abort();
  if (memchr(first.displayFile, '\0', sizeof first.displayFile) == nullptr) abort();
  const std::string before = StoredPath(file);

  if (SaveSettings(&first) != 1) abort();
  ViewerSettings second;
  memset(&second, 0xAA, sizeof second);
  if (LoadSettings(&second) != 1) abort();

  if (!SameSwitch(first.quitByMouse, second.quitByMouse)) abort();
  if (!SameSwitch(first.quitByKeyboard, second.quitByKeyboard)) abort();
  if (before.size() >= sizeof first.displayFile) {
    // Read cut: the save must not have replaced the user's longer path.
    if (StoredPath(file) != before) abort();
  } else if (strcmp(first.displayFile, second.displayFile) != 0) {
    abort();
  }
  return 0;
}
