#ifndef PLATFORM_CONSOLE_WRITER_H_
#define PLATFORM_CONSOLE_WRITER_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/console_window.h"
#include "platform/host_text.h"

namespace platform {

// Writes code page 932 text to a console window as UTF-16, one call per line, each line
// ending in "\r\n". The text is converted by the rules of the UTF-8 host text, so a byte
// with no exact round trip reads %XX, as a name would be typed back as an argument.
//
// The window is not owned and must outlive the writer.
class ConsoleWriter {
 public:
  explicit ConsoleWriter(ConsoleWindow* window);
  ConsoleWriter(const ConsoleWriter&) = delete;
  ConsoleWriter& operator=(const ConsoleWriter&) = delete;
  // Writes what is still kept, a lone first byte of a double-byte character included.
  ~ConsoleWriter();

  // Takes `diskText` in; every line it completes is written.
  void Write(std::string_view diskText);
  // Writes the unfinished line as well, except the first byte of a double-byte character
  // whose second byte has not come yet: it waits for the next Write.
  void Flush();

 private:
  void Send(std::string_view diskText);

  ConsoleWindow* window;
  std::unique_ptr<HostText> text;
  std::string pending;
};

}  // namespace platform

#endif  // PLATFORM_CONSOLE_WRITER_H_
