#include "platform/console_writer.h"

#include <cstdint>

#include "platform/code_page_932.h"
#include "platform/utf8_host_text.h"

namespace platform {

ConsoleWriter::ConsoleWriter(ConsoleWindow* window)
    : window(window), text(NewHostTextFor("UTF-8")) {}

ConsoleWriter::~ConsoleWriter() {
  if (!pending.empty()) Send(pending);
}

void ConsoleWriter::Write(std::string_view diskText) {
  pending.append(diskText);
  // A line feed is never the second byte of a character, so a line always ends whole.
  size_t start = 0;
  for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n', start)) {
    Send(std::string_view(pending).substr(start, end + 1 - start));
    start = end + 1;
  }
  pending.erase(0, start);
}

void ConsoleWriter::Flush() {
  size_t whole = 0;
  while (whole < pending.size()) {
    const size_t length = IsCodePage932Lead(static_cast<uint8_t>(pending[whole])) ? 2 : 1;
    if (whole + length > pending.size()) break;
    whole += length;
  }
  if (whole == 0) return;
  Send(std::string_view(pending).substr(0, whole));
  pending.erase(0, whole);
}

void ConsoleWriter::Send(std::string_view diskText) {
  const bool line = !diskText.empty() && diskText.back() == '\n';
  if (line) diskText.remove_suffix(1);
  std::u16string wide = Utf8ToUtf16(text->FromDisk(diskText));
  if (line) wide += u"\r\n";
  window->Write(wide);
}

}  // namespace platform
