#ifndef APP_CONSOLE_H_
#define APP_CONSOLE_H_

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/console_window.h"
#include "platform/console_writer.h"
#include "platform/host_text.h"

#if defined(__GNUC__)
#define PEEK_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define PEEK_PRINTF_FORMAT(format_index, first_arg)
#endif

// Where a Console writes and how it converts. Nothing is owned; all must outlive the
// Console.
struct ConsoleStreams {
  std::FILE* out = nullptr;
  std::FILE* error = nullptr;
  // Converts what goes to `out` and `error` and the names created on the host.
  const platform::HostText* text = nullptr;
  // Converts the command-line arguments; null: `text` does.
  const platform::HostText* arguments = nullptr;
  // The console window a stream shows in, or null: the stream's text then goes there as
  // UTF-16 (platform::ConsoleWriter) instead of to its FILE.
  platform::ConsoleWindow* outWindow = nullptr;
  platform::ConsoleWindow* errorWindow = nullptr;
};

// The two output streams of the programs. Everything is composed as code page 932 text,
// as the disks and the messages hold it, and converted to the host's text only on the
// way out, so padding widths count code page 932 bytes.
class Console {
 public:
  explicit Console(const ConsoleStreams& streams);
  // Both streams as FILEs, `text` converting for them, the host names and the arguments.
  Console(std::FILE* out, std::FILE* error, const platform::HostText* text)
      : Console(ConsoleStreams{out, error, text}) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  // Writes what a console window is still owed.
  ~Console();

  // printf-style output of code page 932 text to standard output / standard error.
  void Out(const char* format, ...) PEEK_PRINTF_FORMAT(2, 3);
  void Error(const char* format, ...) PEEK_PRINTF_FORMAT(2, 3);
  // Writes code page 932 text as it is (no format).
  void OutText(std::string_view diskText);
  void ErrorText(std::string_view diskText);

  // A host-text argument as code page 932 text.
  std::string ArgumentText(std::string_view hostText) const { return arguments->ToDisk(hostText); }
  // A code page 932 name as host text (for names created on the host).
  std::string HostName(std::string_view diskText) const { return text->FromDisk(diskText); }

 private:
  void Write(std::FILE* stream, std::string_view diskText);

  std::FILE* out;
  std::FILE* error;
  const platform::HostText* text;
  const platform::HostText* arguments;
  std::unique_ptr<platform::ConsoleWriter> outWindow;
  std::unique_ptr<platform::ConsoleWriter> errorWindow;
};

#endif  // APP_CONSOLE_H_
