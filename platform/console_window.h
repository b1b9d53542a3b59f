#ifndef PLATFORM_CONSOLE_WINDOW_H_
#define PLATFORM_CONSOLE_WINDOW_H_

#include <memory>
#include <string_view>

namespace platform {

// A console window that one of the program's standard streams shows in. It takes UTF-16
// text, so every character reads right whatever code page the console is set to.
// Abstract so that tests can record what reaches it; the real one writes with
// WriteConsoleW.
class ConsoleWindow {
 public:
  ConsoleWindow() = default;
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;
  virtual ~ConsoleWindow() = default;

  // Writes all of `text`. False when the console refuses; the rest is then dropped.
  virtual bool Write(std::u16string_view text) = 0;
};

enum class StandardStream { kOutput, kError };

// The console window `stream` shows in. Null when the stream goes to a file, a pipe or
// nowhere, and always on POSIX, whose terminals take the bytes of the locale.
std::unique_ptr<ConsoleWindow> NewStandardConsoleWindow(StandardStream stream);

}  // namespace platform

#endif  // PLATFORM_CONSOLE_WINDOW_H_
