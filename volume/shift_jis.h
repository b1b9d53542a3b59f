#ifndef VOLUME_SHIFT_JIS_H_
#define VOLUME_SHIFT_JIS_H_

#include <cstddef>
#include <cstdint>

#include "platform/code_page_932.h"

// Names and paths on the disks are Shift_JIS (code page 932) byte strings. A lead byte
// (platform::IsCodePage932Lead) forms one character with the byte after it, so every scan
// steps over whole characters: a second byte of 0x5C is never a backslash.

// Length in bytes of the character at `text` (1 or 2). A lead byte at the end of the text
// (followed by the terminator) counts as one byte, so no scan steps past the end.
inline size_t ShiftJisCharLength(const char* text) {
  const uint8_t lead = static_cast<uint8_t>(text[0]);
  return platform::IsCodePage932Lead(lead) && text[1] != '\0' ? 2 : 1;
}

inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// The character at `text` (zero-terminated) as a number with case folded away: a
// single-byte character is its byte with A-Z taken to a-z; a double-byte character is
// lead * 256 + second byte with the full-width small Latin letters (0x8281-0x829A) taken
// to their capitals (0x8260-0x8279). Other characters are returned unchanged. Stores the
// character's length in `*length`.
uint32_t FoldShiftJisChar(const char* text, size_t* length);

// True when the two zero-terminated texts hold the same characters once case is folded
// as FoldShiftJisChar does. Texts are scanned character by character, so a second byte
// never pairs with the next character's first.
bool ShiftJisEqualIgnoringCase(const char* a, const char* b);

#endif  // VOLUME_SHIFT_JIS_H_
