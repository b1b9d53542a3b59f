#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <memory>

#include "platform/status_terminal.h"

namespace platform {
namespace {

class PosixStatusTerminal final : public StatusTerminal {
 public:
  uint64_t NowMilliseconds() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
  }

  // Asked each time: the window may be resized while a file copies.
  int Columns() override {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
  }
};

}  // namespace

std::unique_ptr<StatusTerminal> NewErrorStatusTerminal() {
  if (!isatty(STDERR_FILENO)) return nullptr;
  return std::make_unique<PosixStatusTerminal>();
}

}  // namespace platform
