// Byte-level path routines that read text as Shift-JIS (code page 932)
// whatever the ANSI code page is: a 0x5C or ASCII letter that is the second
// byte of a double-byte character is never taken for a backslash or a capital.
#pragma once

#include "win32_compat.h"

enum SjisClass { kSjisSingle = 0, kSjisLead = 1, kSjisTrail = 2 };

bool IsSjisLeadByte(unsigned char byte);
bool IsSjisTrailByte(unsigned char byte);

// 0 single-byte character (also at or past the terminator), 1 lead, 2 trail.
int SjisByteClass(const char* text, int index);
// 1 when the byte at `index` is a real backslash, else 0.
int IsSeparatorAt(const char* text, int index);
// The dot that starts the file name's extension, or the terminator.
const char* FindExtension(const char* text);
// Cuts the extension off; returns the extension's first character, or the
// terminator when there was none.
char* StripExtension(char* text);
const char* SjisNext(const char* position);
// Lowercases the ASCII capitals that start a character.
void LowerAscii(char* text);
// The executable's path, with its extension replaced by `extension` when that
// is not null, lowercased. `size` bounds both the fetch and the result
// (terminator included); a path that was cut or would not fit gives 0.
int BuildModulePath(char* buffer, DWORD size, const char* extension);
