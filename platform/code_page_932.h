#ifndef PLATFORM_CODE_PAGE_932_H_
#define PLATFORM_CODE_PAGE_932_H_

#include <cstdint>

namespace platform {

// True for a byte that starts a double-byte character of code page 932 (Shift_JIS):
// 0x81-0x9F and 0xE0-0xFC. The byte after it belongs to the same character.
inline bool IsCodePage932Lead(uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace platform

#endif  // PLATFORM_CODE_PAGE_932_H_
