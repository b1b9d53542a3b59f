#include "volume/shift_jis.h"

uint32_t FoldShiftJisChar(const char* text, size_t* length) {
  const uint8_t lead = static_cast<uint8_t>(text[0]);
  *length = ShiftJisCharLength(text);
  if (*length == 1) {
    if (lead >= 'A' && lead <= 'Z') return lead + ('a' - 'A');
    return lead;
  }
  const uint8_t second = static_cast<uint8_t>(text[1]);
  // Full-width a-z sit 0x21 above full-width A-Z in the 0x82 row of code page 932.
  if (lead == 0x82 && second >= 0x81 && second <= 0x9A) return 0x8200u + (second - 0x21u);
  return static_cast<uint32_t>(lead) << 8 | second;
}

bool ShiftJisEqualIgnoringCase(const char* a, const char* b) {
  while (*a != '\0' && *b != '\0') {
    size_t lengthA = 0;
    size_t lengthB = 0;
    if (FoldShiftJisChar(a, &lengthA) != FoldShiftJisChar(b, &lengthB)) return false;
    a += lengthA;
    b += lengthB;
  }
  return *a == '\0' && *b == '\0';
}
