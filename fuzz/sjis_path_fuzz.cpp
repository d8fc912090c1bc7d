// The Shift-JIS path routines on arbitrary text, checked against a plain
// model of the same rules: every byte's class from one forward scan, and
// the character starts from one forward walk.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/sjis_path.h"

namespace {

bool Lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool Trail(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// Class of each byte: a byte after a lead byte is a trail byte if it can be
// one; otherwise it is a lead byte if it can be one, else single.
std::vector<int> Classes(const std::string& text) {
  std::vector<int> classes;
  int previous = 0;
  for (unsigned char c : text) {
    const int current = previous == 1 ? (Trail(c) ? 2 : 0) : (Lead(c) ? 1 : 0);
    classes.push_back(current);
    previous = current;
  }
  return classes;
}

// Where each character starts when walking: a lead byte takes the next byte
// with it, whatever that byte is, unless the text ends there.
std::vector<bool> Starts(const std::string& text) {
  std::vector<bool> starts(text.size(), false);
  for (size_t i = 0; i < text.size(); ++i) {
    starts[i] = true;
    if (Lead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
  }
  return starts;
}

// The dot of the extension: the last dot after the last real backslash.
size_t ModelExtension(const std::string& text, const std::vector<int>& classes) {
  size_t dot = text.size();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && classes[i] == 0) dot = text.size();
    if (text[i] == '.') dot = i;
  }
  return dot;
}

void Check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The routines see NUL-terminated text: the input up to its first NUL.
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string text = input.substr(0, input.find('\0'));
  const char* c = text.c_str();
  const int length = static_cast<int>(text.size());
  const std::vector<int> classes = Classes(text);
  const std::vector<bool> starts = Starts(text);

  for (int i = -1; i <= length + 1; ++i) {
    const int expected = i >= 0 && i < length ? classes[i] : 0;
    Check(SjisByteClass(c, i) == expected);
  }
  for (int i = 0; i <= length; ++i) {
    Check(IsSeparatorAt(c, i) == (i < length && c[i] == '\\' && classes[i] == 0 ? 1 : 0));
  }

  const size_t dot = ModelExtension(text, classes);
  Check(FindExtension(c) == c + dot);
  std::string stripped = text;
  char* after = StripExtension(&stripped[0]);
  Check(after == &stripped[0] + (dot < text.size() ? dot + 1 : dot));
  Check(strlen(stripped.c_str()) == dot);
  Check(stripped.compare(0, dot, text, 0, dot) == 0);

  for (int i = 0; i < length; ++i) {
    if (!starts[i]) continue;
    int next = i + 1;
    while (next < length && !starts[next]) ++next;
    Check(SjisNext(c + i) == c + next);
  }
  Check(SjisNext(c + length) == c + length);

  std::string lowered = text;
  LowerAscii(&lowered[0]);
  for (int i = 0; i < length; ++i) {
    const char original = text[i];
    const bool capital = starts[i] && original >= 'A' && original <= 'Z';
    Check(lowered[i] == (capital ? static_cast<char>(original + 32) : original));
  }

  // The settings file's name: the same rules through the executable's path.
  CompatSetModuleFileName(c);
  char path[MAX_PATH + 1 + 16];
  memset(path, 'G', sizeof path);
  const int built = BuildModulePath(path, MAX_PATH + 1, ".ini");
  const bool fits = length > 0 && length < MAX_PATH + 1 && dot + 4 < MAX_PATH + 1;
  Check(built == (fits ? 1 : 0));
  for (size_t i = MAX_PATH + 1; i < sizeof path; ++i) Check(path[i] == 'G');
  if (built) {
    std::string expected = text.substr(0, dot) + ".ini";
    const std::vector<bool> nameStarts = Starts(expected);
    for (size_t i = 0; i < expected.size(); ++i) {
      if (nameStarts[i] && expected[i] >= 'A' && expected[i] <= 'Z') expected[i] += 32;
    }
    Check(expected == path);
  }
  return 0;
}
