#ifndef TESTS_FAKE_CONSOLE_WINDOW_H_
#define TESTS_FAKE_CONSOLE_WINDOW_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/console_window.h"

// A console window that keeps each write, as the UTF-16 it was given, in order.
class FakeConsoleWindow final : public platform::ConsoleWindow {
 public:
  bool Write(std::u16string_view text) override {
    writes.emplace_back(text);
    return true;
  }

  std::vector<std::u16string> writes;
};

#endif  // TESTS_FAKE_CONSOLE_WINDOW_H_
