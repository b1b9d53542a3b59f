#ifndef PLATFORM_UTF8_HOST_TEXT_H_
#define PLATFORM_UTF8_HOST_TEXT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/host_text.h"

namespace platform {

// The conversion between code page 932 and UTF-8 with the %XX escape, the same on every
// platform; each platform supplies only the conversion of one character.
class Utf8HostText : public HostText {
 public:
  bool Converts() const override { return true; }
  std::string FromDisk(std::string_view text) const override;
  std::string ToDisk(std::string_view text) const override;

 protected:
  // One code page 932 character (one or two bytes) to UTF-8; false when the platform's
  // tables refuse it.
  virtual bool DiskCharToUtf8(std::string_view character, std::string* out) const = 0;
  // One well-formed UTF-8 sequence to code page 932; false when code page 932 lacks it.
  virtual bool Utf8CharToDisk(std::string_view character, std::string* out) const = 0;

 private:
  // FromDisk's answer for each code page 932 character met so far (by its bytes): its
  // UTF-8 text, or empty when it is written escaped. Listings repeat the same few
  // characters on every line; asking the platform twice for each is most of their cost.
  mutable std::unordered_map<uint16_t, std::string> converted;
};

// Bytes pass unchanged both ways.
std::unique_ptr<HostText> NewPassThroughText();

// True for "UTF-8" and "UTF8" in any case.
bool IsUtf8CharsetName(const std::string& charset);

// UTF-8 text as UTF-16. A byte that starts no well-formed sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace platform

#endif  // PLATFORM_UTF8_HOST_TEXT_H_
