#ifndef TESTS_FAKE_STATUS_TERMINAL_H_
#define TESTS_FAKE_STATUS_TERMINAL_H_

#include "platform/status_terminal.h"

// A terminal whose clock and width the test sets.
class FakeStatusTerminal final : public platform::StatusTerminal {
 public:
  uint64_t NowMilliseconds() override { return now; }
  int Columns() override { return columns; }
  uint64_t now = 0;
  int columns = 80;
};

#endif  // TESTS_FAKE_STATUS_TERMINAL_H_
