#include "platform/table_host_text.h"

#include <algorithm>
#include <cstdint>

#include "platform/code_page_932.h"
#include "platform/code_page_932_table.h"

namespace platform {
namespace {

constexpr uint8_t kFirstLowLead = 0x81;
constexpr uint8_t kFirstHighLead = 0xE0;
constexpr size_t kLowLeads = 0x9F - kFirstLowLead + 1;

// The index of kCodePage932ToUnicode for one character of one or two bytes.
bool CharacterIndex(std::string_view character, size_t* index) {
  const uint8_t lead = static_cast<uint8_t>(character[0]);
  if (character.size() == 1) {
    *index = lead;
    return true;
  }
  if (character.size() != 2 || !IsCodePage932Lead(lead)) return false;
  const size_t row =
      lead < kFirstHighLead ? lead - kFirstLowLead : kLowLeads + lead - kFirstHighLead;
  *index = 256 + row * 256 + static_cast<uint8_t>(character[1]);
  return true;
}

// The code point of `character` when it is one whole UTF-8 sequence of the shortest form.
// iconv refuses the longer forms; surrogates and code points past U+10FFFF are in no table.
bool DecodeUtf8(std::string_view character, uint32_t* codePoint) {
  // The least code point each length may carry.
  static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  const uint8_t lead = static_cast<uint8_t>(character[0]);
  const size_t length = lead < 0x80   ? 1
                        : lead < 0xC0 ? 0
                        : lead < 0xE0 ? 2
                        : lead < 0xF0 ? 3
                        : lead < 0xF8 ? 4
                                      : 0;
  if (length == 0 || character.size() != length) return false;
  uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const uint8_t byte = static_cast<uint8_t>(character[i]);
    if ((byte & 0xC0) != 0x80) return false;
    code = code << 6 | (byte & 0x3F);
  }
  if (code < kLeast[length]) return false;
  *codePoint = code;
  return true;
}

void AppendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | code >> 6));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | code >> 12));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

bool TableHostText::DiskCharToUtf8(std::string_view character, std::string* out) const {
  size_t index = 0;
  if (character.empty() || !CharacterIndex(character, &index) ||
      (kCodePage932Converts[index / 8] >> (index % 8) & 1) == 0) {
    return false;
  }
  out->clear();
  AppendUtf8(kCodePage932ToUnicode[index], out);
  return true;
}

bool TableHostText::Utf8CharToDisk(std::string_view character, std::string* out) const {
  uint32_t code = 0;
  if (character.empty() || !DecodeUtf8(character, &code)) return false;
  for (size_t i = 0; i < kCodePage932DroppedCount; ++i) {
    if (code >= kCodePage932Dropped[i].first && code <= kCodePage932Dropped[i].last) {
      out->clear();
      return true;
    }
  }
  const UnicodeToCodePage932* end = kUnicodeToCodePage932 + kUnicodeToCodePage932Count;
  const UnicodeToCodePage932* found = std::lower_bound(
      kUnicodeToCodePage932, end, code,
      [](const UnicodeToCodePage932& entry, uint32_t wanted) { return entry.codePoint < wanted; });
  if (found == end || found->codePoint != code) return false;
  out->clear();
  if (found->bytes >= 0x100) out->push_back(static_cast<char>(found->bytes >> 8));
  out->push_back(static_cast<char>(found->bytes & 0xFF));
  return true;
}

std::unique_ptr<HostText> NewTableHostText() { return std::make_unique<TableHostText>(); }

}  // namespace platform
