#ifndef APP_CONSOLE_H_
#define APP_CONSOLE_H_

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/host_text.h"

#if defined(__GNUC__)
#define PEEK_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define PEEK_PRINTF_FORMAT(format_index, first_arg)
#endif

// The two output streams of the programs. Everything is composed as code page 932 text,
// as the disks and the messages hold it, and converted to the host's text only on the
// way out, so padding widths count code page 932 bytes.
//
// The streams and the converter are not owned and must outlive the Console.
class Console {
 public:
  Console(std::FILE* out, std::FILE* error, const platform::HostText* text)
      : out(out), error(error), text(text) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // printf-style output of code page 932 text to standard output / standard error.
  void Out(const char* format, ...) PEEK_PRINTF_FORMAT(2, 3);
  void Error(const char* format, ...) PEEK_PRINTF_FORMAT(2, 3);
  // Writes code page 932 text as it is (no format).
  void OutText(std::string_view diskText);
  void ErrorText(std::string_view diskText);

  // A host-text argument as code page 932 text.
  std::string ArgumentText(std::string_view hostText) const { return text->ToDisk(hostText); }
  // A code page 932 name as host text (for names created on the host).
  std::string HostName(std::string_view diskText) const { return text->FromDisk(diskText); }

 private:
  void Write(std::FILE* stream, std::string_view diskText);

  std::FILE* out;
  std::FILE* error;
  const platform::HostText* text;
};

#endif  // APP_CONSOLE_H_
