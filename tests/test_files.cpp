#include "test_files.h"

#include <cstdio>

#include "settings/sjis_path.h"

#ifdef _WIN32
#include <direct.h>
#else
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

std::string ScratchDir() {
#ifdef _WIN32
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof temp, temp);
  std::string dir = std::string(temp) + "vistrel-tests\\";
#else
  // Lowercase on purpose: the settings path is lowercased, and Linux file
  // names are case-sensitive.
  std::string dir = "/tmp/vistrel-tests-" + std::to_string(getpid()) + "/";
#endif
  MakeDir(dir);
  return dir;
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
