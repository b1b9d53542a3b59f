#ifndef PLATFORM_CODE_PAGE_932_TABLE_H_
#define PLATFORM_CODE_PAGE_932_TABLE_H_

#include <cstddef>
#include <cstdint>

namespace platform {

// Code page 932 and Unicode as glibc's iconv converts them ("CP932" and "UTF-8"), one
// character at a time. tools/code_page_932_table.py writes the definitions at build time
// from the build machine's iconv; TableHostText reads them.

// The code page 932 characters by index: each single byte at its own value, then a row of
// 256 for each lead byte (0x81-0x9F, then 0xE0-0xFC) indexed by the byte after it.
constexpr size_t kCodePage932Characters = 256 + 60 * 256;

// Each character's Unicode code point where kCodePage932Converts has its bit, 0 elsewhere.
// Every character iconv converts is one code point of the Basic Multilingual Plane.
extern const uint16_t kCodePage932ToUnicode[kCodePage932Characters];
// Bit (index % 8) of byte (index / 8) is set when iconv converts the character of that
// index. A lead byte alone, 0x80, 0xA0, 0xFD-0xFF and the unassigned pairs have none.
extern const uint8_t kCodePage932Converts[kCodePage932Characters / 8];

// One code point of the Basic Multilingual Plane and its code page 932 bytes as a number:
// a single byte below 0x100, else lead byte << 8 | second byte (a lead byte is >= 0x81).
struct UnicodeToCodePage932 {
  uint16_t codePoint;
  uint16_t bytes;
};
// Every code point iconv converts to code page 932 bytes, by ascending code point. Several
// code points share bytes (U+00A5 and U+005C give 0x5C).
extern const UnicodeToCodePage932 kUnicodeToCodePage932[];
extern const size_t kUnicodeToCodePage932Count;

// Code points first-last, both included.
struct CodePointRange {
  uint32_t first;
  uint32_t last;
};
// The code points iconv accepts and writes nothing for (the Unicode tag characters).
extern const CodePointRange kCodePage932Dropped[];
extern const size_t kCodePage932DroppedCount;

}  // namespace platform

#endif  // PLATFORM_CODE_PAGE_932_TABLE_H_
