#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/host_text.h"
#include "platform/win32/win32_support.h"

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

bool IsCodePage932Lead(uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
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

// One character from code page 932 to UTF-8, or back; false when the system's tables
// refuse it.
bool Cp932ToUtf8(std::string_view character, std::string* out) {
  // Windows maps the single bytes 0x80, 0xA0 and 0xFD-0xFF to a control character and to
  // private-use characters; they stand for no text and are escaped, as on other systems.
  if (character.size() == 1) {
    const uint8_t byte = static_cast<uint8_t>(character[0]);
    if (byte == 0x80 || byte == 0xA0 || byte >= 0xFD) return false;
  }
  std::wstring wide;
  if (!win32::Cp932ToWide(character, &wide) || wide.empty()) return false;
  const int length = static_cast<int>(wide.size());
  char buffer[16];
  const int written =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, buffer, sizeof buffer, nullptr, nullptr);
  if (written <= 0) return false;
  out->assign(buffer, static_cast<size_t>(written));
  return true;
}

bool Utf8ToCp932(std::string_view character, std::string* out) {
  wchar_t wide[4];
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, character.data(),
                                         static_cast<int>(character.size()), wide, 4);
  if (length <= 0) return false;
  return win32::WideToCp932(std::wstring_view(wide, static_cast<size_t>(length)), out);
}

// Windows programs see their arguments, the console and the ANSI file calls in the
// system's ANSI code page, code page 932 on the systems the disks come from: bytes pass
// unchanged.
class PassThroughText final : public HostText {
 public:
  bool Converts() const override { return false; }
  std::string FromDisk(std::string_view diskText) const override { return std::string(diskText); }
  std::string ToDisk(std::string_view hostText) const override { return std::string(hostText); }
};

class Utf8Text final : public HostText {
 public:
  bool Converts() const override { return true; }

  std::string FromDisk(std::string_view text) const override {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    std::string converted;
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
      // Code page 932 maps a few characters twice (NEC and IBM rows); only a character
      // that comes back as the same bytes is written converted, the others escaped.
      if (Cp932ToUtf8(character, &converted) && Utf8ToCp932(converted, &back) &&
          back == character) {
        out += converted;
        at += length;
      } else {
        AppendEscape(&out, byte);
        ++at;
      }
    }
    return out;
  }

  std::string ToDisk(std::string_view text) const override {
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
      if (Utf8ToCp932(character, &converted)) {
        out += converted;
      } else {
        out += character;
      }
      at += length;
    }
    return out;
  }
};

bool IsUtf8Name(const std::string& charset) {
  return _stricmp(charset.c_str(), "UTF-8") == 0 || _stricmp(charset.c_str(), "UTF8") == 0;
}

}  // namespace

std::unique_ptr<HostText> NewHostTextFor(const std::string& charset) {
  if (IsUtf8Name(charset)) return std::make_unique<Utf8Text>();
  return std::make_unique<PassThroughText>();
}

std::unique_ptr<HostText> NewHostText() { return std::make_unique<PassThroughText>(); }

}  // namespace platform
