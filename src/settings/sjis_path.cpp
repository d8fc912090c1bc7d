// Shift-JIS aware path text: byte classes, extensions, lowercasing and the
// executable's own path with another extension.
#include "sjis_path.h"

#include <cstring>

bool IsSjisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsSjisTrailByte(unsigned char byte) {
  return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

int SjisByteClass(const char* text, int index) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  if (index < 0 || bytes[0] == 0) {
    return kSjisSingle;
  }
  int state = kSjisSingle;
  for (int i = 0;; ++i) {
    if (state == kSjisLead) {
      // Every lead byte is also in the trail range, so a byte that fails the
      // trail test cannot start a character either.
      state = IsSjisTrailByte(bytes[i]) ? kSjisTrail : kSjisSingle;
    } else {
      state = IsSjisLeadByte(bytes[i]) ? kSjisLead : kSjisSingle;
    }
    if (i == index) {
      return state;
    }
    if (bytes[i + 1] == 0) {
      return kSjisSingle;
    }
  }
}

int IsSeparatorAt(const char* text, int index) {
  return text[index] == '\\' && SjisByteClass(text, index) == kSjisSingle ? 1 : 0;
}

const char* FindExtension(const char* text) {
  const int end = static_cast<int>(strlen(text));
  for (int p = end - 1; p >= 0; --p) {
    if (IsSeparatorAt(text, p)) {
      return text + end;
    }
    if (text[p] == '.') {
      return text + p;
    }
  }
  return text + end;
}

char* StripExtension(char* text) {
  char* dot = text + (FindExtension(text) - text);
  if (*dot == '\0') {
    return dot;
  }
  *dot = '\0';
  return dot + 1;
}

const char* SjisNext(const char* position) {
  const auto byte = static_cast<unsigned char>(*position);
  if (byte == 0) {
    return position;
  }
  if (IsSjisLeadByte(byte) && position[1] != '\0') {
    return position + 2;
  }
  return position + 1;
}

void LowerAscii(char* text) {
  for (char* p = text; *p != '\0'; p = text + (SjisNext(p) - text)) {
    if (*p >= 'A' && *p <= 'Z') {
      *p = static_cast<char>(*p + 0x20);
    }
  }
}

int BuildModulePath(char* buffer, DWORD size, const char* extension) {
  if (buffer == nullptr || size == 0) {
    return 0;
  }
  const DWORD got = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, size);
  // A fetch that filled the whole buffer was cut (and may be unterminated):
  // a shortened name would point at some other file.
  if (got == 0 || got >= size || memchr(buffer, '\0', size) == nullptr) {
    return 0;
  }
  if (extension != nullptr) {
    StripExtension(buffer);
    const size_t stem = strlen(buffer);
    const size_t suffix = strlen(extension);
    if (stem + suffix >= size) {
      return 0;
    }
    memcpy(buffer + stem, extension, suffix + 1);
  }
  LowerAscii(buffer);
  return 1;
}
