#ifndef PLATFORM_TABLE_HOST_TEXT_H_
#define PLATFORM_TABLE_HOST_TEXT_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/host_text.h"
#include "platform/utf8_host_text.h"

namespace platform {

// The UTF-8 converter of platform/code_page_932_table.h's tables: character for character
// what glibc's iconv gives, so names convert exactly as on Linux where the C library has
// no code page 932 (the web build). Holds no state beyond Utf8HostText's.
class TableHostText final : public Utf8HostText {
 protected:
  bool DiskCharToUtf8(std::string_view character, std::string* out) const override;
  bool Utf8CharToDisk(std::string_view character, std::string* out) const override;
};

// A new TableHostText; it always converts.
std::unique_ptr<HostText> NewTableHostText();

}  // namespace platform

#endif  // PLATFORM_TABLE_HOST_TEXT_H_
