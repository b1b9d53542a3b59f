#ifndef APP_PROGRESS_LINE_H_
#define APP_PROGRESS_LINE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/console.h"
#include "platform/status_terminal.h"

// A file that takes longer than this shows its progress line.
constexpr uint64_t ProgressDelayMilliseconds = 1000;
// The shortest time between two redraws of the line.
constexpr uint64_t ProgressRedrawMilliseconds = 250;

// The one line on the terminal of the error stream that shows the file being copied:
// "PATH  DONE of SIZE  RATE/s", rewritten in place. It appears once a file has taken
// ProgressDelayMilliseconds and is erased (spaces over it, the cursor back at the start
// of the line) when the file ends. The console and the terminal are not owned and must
// outlive the line; without a terminal nothing is ever written.
class ProgressLine {
 public:
  ProgressLine(Console* console, platform::StatusTerminal* terminal)
      : console(console), terminal(terminal) {}
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // True when a line can be shown: the caller needs to compute a path only then.
  bool Shows() const { return terminal != nullptr; }
  // A file starts: `path` is its full path (code page 932), `size` its stored size.
  void Start(const std::string& path, uint32_t size);
  // `done` bytes of the file have been copied; redraws the line when it is due.
  void Advance(uint64_t done);
  // The file ended: erases the line if it is shown. Call it before any message of the file.
  void End();

 private:
  // The line for `done` bytes, cut to fit `columns` less one, so the cursor never wraps.
  std::string Compose(uint64_t done, uint64_t now) const;

  Console* console;
  platform::StatusTerminal* terminal;
  std::string path;
  uint32_t size = 0;
  uint64_t started = 0;
  uint64_t drawn = 0;
  bool shown = false;
  // Columns the shown line takes: its code page 932 bytes.
  size_t shownWidth = 0;
};

#endif  // APP_PROGRESS_LINE_H_
