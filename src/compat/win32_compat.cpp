// Linux stand-in for GetModuleHandleA, GetModuleFileNameA and the two
// profile-file calls, written to behave as Windows does for what the settings
// code asks of them: keys and sections compared without regard to ASCII case,
// quotes around a value removed, other lines kept byte for byte on write.
#include "win32_compat.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "settings/sjis_path.h"

namespace {

bool gModulePathSet = false;
bool gUnterminatedWhenCut = false;
std::string gModulePath;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; }

// Case-insensitive for ASCII letters that start a character; trail bytes of
// double-byte characters are compared exactly.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  // The walk below stops at a NUL, so a name read from a file with a NUL
  // byte in it would match any name of the same length; it matches none.
  if (a.find('\0') != std::string::npos || b.find('\0') != std::string::npos) return false;
  const char* pa = a.c_str();
  const char* pb = b.c_str();
  while (*pa != '\0') {
    const char* na = SjisNext(pa);
    const char* nb = SjisNext(pb);
    if (na - pa != nb - pb) return false;
    if (FoldAscii(*pa) != FoldAscii(*pb)) return false;
    if (na - pa == 2 && pa[1] != pb[1]) return false;
    pa = na;
    pb = nb;
  }
  return true;
}

// One line of a profile file, without its line end; `ending` is kept so that
// lines the caller does not touch are written back byte for byte.
struct Line {
  std::string text;
  std::string ending;
};

bool ReadLines(const char* file, std::vector<Line>* lines) {
  FILE* stream = fopen(file, "rb");
  if (stream == nullptr) return false;
  std::string content;
  char chunk[4096];
  size_t got = 0;
  while ((got = fread(chunk, 1, sizeof chunk, stream)) > 0) content.append(chunk, got);
  (void)fclose(stream);  // read only
  size_t start = 0;
  while (start < content.size()) {
    size_t end = start;
    while (end < content.size() && content[end] != '\r' && content[end] != '\n') ++end;
    Line line{content.substr(start, end - start), ""};
    if (end < content.size()) {
      const bool crlf = content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n';
      line.ending = content.substr(end, crlf ? 2 : 1);
      end += crlf ? 2 : 1;
    }
    lines->push_back(line);
    start = end;
  }
  return true;
}

bool IsComment(const std::string& text) {
  const std::string trimmed = Trim(text);
  return !trimmed.empty() && trimmed[0] == ';';
}

// The section name when `text` is a section header line.
bool SectionName(const std::string& text, std::string* name) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty() || trimmed[0] != '[') return false;
  const size_t close = trimmed.find(']');
  *name = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

// The key name and value when `text` is a key line.
bool KeyValue(const std::string& text, std::string* key, std::string* value) {
  if (IsComment(text)) return false;
  const size_t equals = text.find('=');
  if (equals == std::string::npos) return false;
  *key = Trim(text.substr(0, equals));
  *value = Trim(text.substr(equals + 1));
  return true;
}

// Index of the first header line of `section`, or -1.
long FindSection(const std::vector<Line>& lines, const char* section) {
  std::string name;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (SectionName(lines[i].text, &name) && SameName(name, section)) return static_cast<long>(i);
  }
  return -1;
}

// Index of the line that ends the section starting at `header` (exclusive).
size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
  std::string name;
  size_t i = header + 1;
  while (i < lines.size() && !SectionName(lines[i].text, &name)) ++i;
  return i;
}

long FindKey(const std::vector<Line>& lines, size_t header, const char* key, std::string* value) {
  std::string name;
  const size_t end = SectionEnd(lines, header);
  for (size_t i = header + 1; i < end; ++i) {
    if (KeyValue(lines[i].text, &name, value) && SameName(name, key)) return static_cast<long>(i);
  }
  return -1;
}

DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
  const size_t count = text.size() < size - 1 ? text.size() : size - 1;
  memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<DWORD>(count);
}

}  // namespace

void CompatSetModuleFileName(const char* path, bool unterminatedWhenCut) {
  gModulePathSet = path != nullptr;
  gModulePath = path != nullptr ? path : "";
  gUnterminatedWhenCut = unterminatedWhenCut;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  static char self;
  return moduleName == nullptr ? &self : nullptr;
}

DWORD GetModuleFileNameA(HMODULE /*module*/, LPSTR buffer, DWORD size) {
  std::string path = gModulePath;
  if (!gModulePathSet) {
    char real[4096];
    const ssize_t got = readlink("/proc/self/exe", real, sizeof real - 1);
    path.assign(real, got > 0 ? static_cast<size_t>(got) : 0);
  }
  if (path.empty() || size == 0) return 0;
  if (path.size() < size) {
    memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
  }
  // Cut: Windows XP fills the buffer without a terminator, later versions
  // terminate it; both return the full size.
  if (gUnterminatedWhenCut) {
    memcpy(buffer, path.data(), size);
  } else {
    memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = '\0';
  }
  return size;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                               LPSTR buffer, DWORD size, LPCSTR file) {
  if (buffer == nullptr || size == 0) return 0;
  // Only single-value look-ups are provided; listing names is never asked for.
  std::vector<Line> lines;
  std::string value;
  const long header = section != nullptr && key != nullptr && ReadLines(file, &lines)
                          ? FindSection(lines, section)
                          : -1;
  if (header < 0 || FindKey(lines, static_cast<size_t>(header), key, &value) < 0) {
    std::string fallback = defaultValue != nullptr ? defaultValue : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
    return CopyOut(fallback, buffer, size);
  }
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  return CopyOut(value, buffer, size);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  if (section == nullptr && key == nullptr && value == nullptr) {
    return FALSE;  // a flush; there is no cache to flush, and Windows answers 0
  }
  // Deleting keys or sections is never asked for.
  if (section == nullptr || key == nullptr || value == nullptr || file == nullptr) return FALSE;

  // NOTE: Windows refuses to write a file with the read-only attribute even
  // for an administrator; root on Linux could, so the mode bits decide here.
  struct stat status {};
  if (stat(file, &status) == 0 && (status.st_mode & 0222) == 0) return FALSE;

  std::vector<Line> lines;
  ReadLines(file, &lines);
  const std::string entry = std::string(key) + "=" + value;
  const long header = FindSection(lines, section);
  std::string old;
  if (header < 0) {
    if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = "\r\n";
    lines.push_back({std::string("[") + section + "]", "\r\n"});
    lines.push_back({entry, "\r\n"});
  } else if (const long at = FindKey(lines, static_cast<size_t>(header), key, &old); at >= 0) {
    std::string name;
    KeyValue(lines[at].text, &name, &old);
    lines[at].text = name + "=" + value;
    if (lines[at].ending.empty()) lines[at].ending = "\r\n";
  } else {
    // A new key goes after the section's last non-blank line.
    size_t last = static_cast<size_t>(header);
    const size_t end = SectionEnd(lines, last);
    for (size_t i = last + 1; i < end; ++i) {
      if (!Trim(lines[i].text).empty()) last = i;
    }
    if (lines[last].ending.empty()) lines[last].ending = "\r\n";
    lines.insert(lines.begin() + static_cast<long>(last) + 1, Line{entry, "\r\n"});
  }

  std::string content;
  for (const Line& line : lines) content += line.text + line.ending;
  FILE* stream = fopen(file, "wb");
  if (stream == nullptr) return FALSE;
  const bool written = fwrite(content.data(), 1, content.size(), stream) == content.size();
  return fclose(stream) == 0 && written ? TRUE : FALSE;
}
