#include <iconv.h>
#include <langinfo.h>
#include <strings.h>

#include <clocale>
#include <cstring>

#include "platform/host_text.h"

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

// One iconv descriptor, reset before each use so no shift state carries over.
class Converter {
 public:
  Converter(const char* to, const char* from) : descriptor(iconv_open(to, from)) {}
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (Valid()) iconv_close(descriptor);
  }
  bool Valid() const { return descriptor != reinterpret_cast<iconv_t>(-1); }

  // Converts one whole character; false when iconv refuses any part of it.
  bool Convert(std::string_view in, std::string* out) {
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    char source[8];
    char target[16];
    if (in.size() > sizeof(source)) return false;
    std::memcpy(source, in.data(), in.size());
    char* inPointer = source;
    size_t inLeft = in.size();
    char* outPointer = target;
    size_t outLeft = sizeof(target);
    if (iconv(descriptor, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1) ||
        inLeft != 0) {
      return false;
    }
    out->assign(target, outPointer);
    return true;
  }

 private:
  iconv_t descriptor;
};

class PassThroughText final : public HostText {
 public:
  bool Converts() const override { return false; }
  std::string FromDisk(std::string_view diskText) const override {
    return std::string(diskText);
  }
  std::string ToDisk(std::string_view hostText) const override { return std::string(hostText); }
};

class Utf8Text final : public HostText {
 public:
  Utf8Text() : toUtf8("UTF-8", "CP932"), toDisk("CP932", "UTF-8") {}
  bool Valid() const { return toUtf8.Valid() && toDisk.Valid(); }

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
      if (toUtf8.Convert(character, &converted) && toDisk.Convert(converted, &back) &&
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
      if (toDisk.Convert(character, &converted)) {
        out += converted;
      } else {
        out += character;
      }
      at += length;
    }
    return out;
  }

 private:
  mutable Converter toUtf8;
  mutable Converter toDisk;
};

bool IsUtf8Name(const std::string& charset) {
  return strcasecmp(charset.c_str(), "UTF-8") == 0 || strcasecmp(charset.c_str(), "UTF8") == 0;
}

}  // namespace

std::unique_ptr<HostText> NewHostTextFor(const std::string& charset) {
  if (IsUtf8Name(charset)) {
    auto text = std::make_unique<Utf8Text>();
    // Without the system's code page 932 tables nothing can be converted, and passing
    // bytes unchanged loses nothing.
    if (text->Valid()) return text;
  }
  return std::make_unique<PassThroughText>();
}

std::unique_ptr<HostText> NewHostText() {
  std::setlocale(LC_ALL, "");
  const char* charset = nl_langinfo(CODESET);
  return NewHostTextFor(charset != nullptr ? charset : "");
}

}  // namespace platform
