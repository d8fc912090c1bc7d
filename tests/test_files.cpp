#include "test_files.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "settings/sjis_path.h"

#ifdef _WIN32
#include <direct.h>
#else
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[4096];
  size_t got = 0;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  fclose(file);
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}

size_t ReadFromString(void* context, uint32_t offset, unsigned char* buffer, size_t size) {
  const std::string& file = *static_cast<const std::string*>(context);
  memset(buffer, 0, size);
  return offset < file.size() ? file.copy(reinterpret_cast<char*>(buffer), size, offset) : 0;
}

std::string JpegSegmentBytes(char marker, const std::string& data) {
  const size_t length = data.size() + 2;
  return std::string("\xFF") + marker + static_cast<char>(length >> 8) +
         static_cast<char>(length & 0xFF) + data;
}

void RemoveFile(const std::string& path) {
#ifndef _WIN32
  chmod(path.c_str(), 0644);
#else
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
  remove(path.c_str());
}

bool FileExists(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  fclose(file);
  return true;
}

void MakeReadOnly(const std::string& path) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
#else
  chmod(path.c_str(), 0444);
#endif
}

void MakeDir(const std::string& path) {
#ifdef _WIN32
  _mkdir(path.c_str());
#else
  mkdir(path.c_str(), 0755);
#endif
}

#ifdef _WIN32
namespace {

// Wide calls with the \\?\ prefix: a test may leave a path longer than the
// ANSI calls take.
void RemoveLongTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring path = folder + L"\\" + found.cFileName;
      if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveLongTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

std::wstring Wide(const std::string& text, unsigned codePage) {
  std::wstring wide(text.size(), L'\0');
  const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                         &wide[0], static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(length));
  return wide;
}

void RemoveTree(const std::string& path) {
  std::string full = path;
  while (!full.empty() && full.back() == '\\') full.pop_back();
  if (!full.empty()) RemoveLongTree(L"\\\\?\\" + Wide(full));
}
#else
void RemoveTree(const std::string& path) {
  nftw(
      path.c_str(),
      [](const char* name, const struct stat*, int type, struct FTW*) {
        return type == FTW_DP ? rmdir(name) : unlink(name);
      },
      16, FTW_DEPTH | FTW_PHYS);
}
#endif

namespace {

// The scratch folder, made on first use and removed with all it holds when
// the test program ends.
class ScratchFolder {
 public:
  ScratchFolder() : path(Name()) { MakeDir(path); }
  ~ScratchFolder() { RemoveTree(path); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string path;

 private:
  static std::string Name() {
#ifdef _WIN32
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + "vistrel-tests\\";
#else
    // Lowercase on purpose: the settings path is lowercased, and Linux file
    // names are case-sensitive.
    return "/tmp/vistrel-tests-" + std::to_string(getpid()) + "/";
#endif
  }
};

}  // namespace

std::string ScratchDir() {
  static const ScratchFolder folder;
  MakeDir(folder.path);
  return folder.path;
}

std::string FreshSettingsFile() {
#ifndef _WIN32
  CompatSetModuleFileName((ScratchDir() + "VIEW.EXE").c_str());
#endif
  char path[MAX_PATH + 8] = {};
  BuildModulePath(path, MAX_PATH + 1, ".ini");
  RemoveFile(path);
  return path;
}
