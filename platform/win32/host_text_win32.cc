#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/host_text.h"
#include "platform/utf8_host_text.h"
#include "platform/win32/win32_support.h"

namespace platform {
namespace {

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

class WindowsUtf8Text final : public Utf8HostText {
 protected:
  bool DiskCharToUtf8(std::string_view character, std::string* out) const override {
    return Cp932ToUtf8(character, out);
  }
  bool Utf8CharToDisk(std::string_view character, std::string* out) const override {
    return Utf8ToCp932(character, out);
  }
};

}  // namespace

std::unique_ptr<HostText> NewHostTextFor(const std::string& charset) {
  if (IsUtf8CharsetName(charset)) return std::make_unique<WindowsUtf8Text>();
  return NewPassThroughText();
}

// What the programs write to a file or a pipe stays code page 932 bytes, as scripts read
// it on the systems the disks come from, and the names they create are made from code
// page 932 by the wide calls: bytes pass unchanged. (A console is written in UTF-16, see
// console_writer.h.)
std::unique_ptr<HostText> NewHostText() { return NewPassThroughText(); }

std::unique_ptr<HostText> NewArgumentText() { return std::make_unique<WindowsUtf8Text>(); }

}  // namespace platform
