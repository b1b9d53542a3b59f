#include "platform/utf8_host_text.h"

#include <cctype>
#include <cstdint>

#include "platform/code_page_932.h"

namespace platform {
namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return c - 'a' + 10;
}

// A '%' followed by two hex digits would read back as an escape, so it is escaped itself.
bool PercentNeedsEscape(std::string_view text, size_t at) {
  return text[at] == '%' && at + 2 < text.size() && IsHexDigit(text[at + 1]) &&
         IsHexDigit(text[at + 2]);
}

void AppendEscape(std::string* out, uint8_t byte) {
  static const char kDigits[] = "0123456789ABCDEF";
  out->push_back('%');
  out->push_back(kDigits[byte >> 4]);
  out->push_back(kDigits[byte & 0x0F]);
}

// Length of the UTF-8 sequence at text[at], or 0 when it is not a well-formed one.
size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const uint8_t lead = static_cast<uint8_t>(text[at]);
  size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<uint8_t>(text[at + i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

class PassThroughText final : public HostText {
 public:
  bool Converts() const override { return false; }
  std::string FromDisk(std::string_view diskText) const override { return std::string(diskText); }
  std::string ToDisk(std::string_view hostText) const override { return std::string(hostText); }
};

}  // namespace

std::string Utf8HostText::FromDisk(std::string_view text) const {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  std::string back;
  size_t at = 0;
  while (at < text.size()) {
    const uint8_t byte = static_cast<uint8_t>(text[at]);
    if (byte < 0x80) {
      if (PercentNeedsEscape(text, at)) {
        AppendEscape(&out, byte);
      } else {
        out.push_back(static_cast<char>(byte));
      }
      ++at;
      continue;
    }
    const size_t length = IsCodePage932Lead(byte) && at + 1 < text.size() ? 2 : 1;
    const std::string_view character = text.substr(at, length);
    const uint16_t key =
        static_cast<uint16_t>(length == 2 ? byte << 8 | static_cast<uint8_t>(text[at + 1]) : byte);
    auto known = converted.find(key);
    if (known == converted.end()) {
      // Code page 932 maps a few characters twice (NEC and IBM rows); only a character
      // that comes back as the same bytes is written converted, the others escaped.
      std::string utf8;
      if (!DiskCharToUtf8(character, &utf8) || !Utf8CharToDisk(utf8, &back) || back != character) {
        utf8.clear();
      }
      known = converted.emplace(key, std::move(utf8)).first;
    }
    if (!known->second.empty()) {
      out += known->second;
      at += length;
    } else {
      AppendEscape(&out, byte);
      ++at;
    }
  }
  return out;
}

std::string Utf8HostText::ToDisk(std::string_view text) const {
  std::string out;
  out.reserve(text.size());
  std::string converted;
  size_t at = 0;
  while (at < text.size()) {
    const uint8_t byte = static_cast<uint8_t>(text[at]);
    if (byte == '%' && PercentNeedsEscape(text, at)) {
      out.push_back(static_cast<char>(HexValue(text[at + 1]) * 16 + HexValue(text[at + 2])));
      at += 3;
      continue;
    }
    if (byte < 0x80) {
      out.push_back(static_cast<char>(byte));
      ++at;
      continue;
    }
    const size_t length = Utf8SequenceLength(text, at);
    if (length == 0) {
      out.push_back(static_cast<char>(byte));
      ++at;
      continue;
    }
    const std::string_view character = text.substr(at, length);
    if (Utf8CharToDisk(character, &converted)) {
      out += converted;
    } else {
      out += character;
    }
    at += length;
  }
  return out;
}

std::unique_ptr<HostText> NewPassThroughText() { return std::make_unique<PassThroughText>(); }

bool IsUtf8CharsetName(const std::string& charset) {
  std::string upper;
  for (char c : charset)
    upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  return upper == "UTF-8" || upper == "UTF8";
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const uint8_t lead = static_cast<uint8_t>(text[at]);
    const size_t length = lead < 0x80 ? 1 : Utf8SequenceLength(text, at);
    if (length == 0) {
      out.push_back(u'\uFFFD');
      ++at;
      continue;
    }
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) code = code << 6 | (text[at + i] & 0x3F);
    at += length;
    if (code > 0x10FFFF) {
      out.push_back(u'\uFFFD');
    } else if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

}  // namespace platform
