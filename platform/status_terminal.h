#ifndef PLATFORM_STATUS_TERMINAL_H_
#define PLATFORM_STATUS_TERMINAL_H_

#include <cstdint>
#include <memory>

namespace platform {

// The terminal the standard error stream shows in, where a status line can be rewritten
// in place with a carriage return. Abstract so that tests set the clock and the width;
// the real one is NewErrorStatusTerminal().
class StatusTerminal {
 public:
  StatusTerminal() = default;
  StatusTerminal(const StatusTerminal&) = delete;
  StatusTerminal& operator=(const StatusTerminal&) = delete;
  virtual ~StatusTerminal() = default;

  // Milliseconds from an unspecified start on a clock that never goes back.
  virtual uint64_t NowMilliseconds() = 0;
  // The width of the terminal in columns; 0 when it cannot be learned.
  virtual int Columns() = 0;
};

// The terminal the standard error stream shows in. Null when the stream goes to a file,
// a pipe or nowhere, and always on Windows, whose console writer writes whole lines.
std::unique_ptr<StatusTerminal> NewErrorStatusTerminal();

}  // namespace platform

#endif  // PLATFORM_STATUS_TERMINAL_H_
