// File helpers shared by the tests: whole-file reads and writes, and the
// settings file the code under test uses in this build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
void RemoveFile(const std::string& path);
bool FileExists(const std::string& path);
void MakeDir(const std::string& path);
// Read-only as Windows sees it; on Linux, no write bits (the profile
// stand-in then refuses to write, as Windows does even for an administrator).
void MakeReadOnly(const std::string& path);

// A reader (ReadAtProc) that serves the std::string `context` as a file. The
// rest of the buffer is zeroed, so a routine that ignores a short count sees
// a plausible value there.
size_t ReadFromString(void* context, uint32_t offset, unsigned char* buffer, size_t size);
// A JPEG segment: the marker, the length and `data`.
std::string JpegSegmentBytes(char marker, const std::string& data);

// Removes a folder and everything in it.
void RemoveTree(const std::string& path);

#ifdef _WIN32
// Text in the system's code page (or, with `codePage`, another), as Unicode.
std::wstring Wide(const std::string& text, unsigned codePage = 0);
#endif

// A writable scratch folder for this test program, with a trailing separator;
// it is removed when the program ends.
std::string ScratchDir();

// Points the settings code at a fresh, absent settings file and returns its
// path. On Linux the executable path is set to "<scratch>view.exe"; on Windows
// the file lies beside the test program, as it does beside vistrel.exe.
std::string FreshSettingsFile();
