#include "app/progress_line.h"

#include <cstdio>

#include "volume/shift_jis.h"

namespace {

// A terminal that does not tell its width is taken as the classic 80 columns.
constexpr int kDefaultColumns = 80;
const char kEllipsis[] = "...";

std::string Amount(double bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB"};
  size_t unit = 0;
  while (bytes >= 1024 && unit + 1 < sizeof(kUnits) / sizeof(kUnits[0])) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof(text), "%.0f B", bytes);
  } else {
    std::snprintf(text, sizeof(text), "%.1f %s", bytes, kUnits[unit]);
  }
  return text;
}

// The end of the code page 932 text `path` in at most `width` bytes after "...", cut at
// a character boundary, which only a scan from the start finds.
std::string PathTail(const std::string& path, size_t width) {
  if (path.size() <= width) return path;
  const size_t room = width > sizeof(kEllipsis) - 1 ? width - (sizeof(kEllipsis) - 1) : 0;
  size_t at = 0;
  while (at < path.size() && path.size() - at > room) at += ShiftJisCharLength(path.c_str() + at);
  return kEllipsis + path.substr(at);
}

}  // namespace

void ProgressLine::Start(const std::string& filePath, uint32_t fileSize) {
  if (terminal == nullptr) return;
  path = filePath;
  size = fileSize;
  started = terminal->NowMilliseconds();
  shown = false;
}

void ProgressLine::Advance(uint64_t done) {
  if (terminal == nullptr) return;
  const uint64_t now = terminal->NowMilliseconds();
  if (now - started < ProgressDelayMilliseconds) return;
  if (shown && now - drawn < ProgressRedrawMilliseconds) return;
  std::string line = Compose(done, now);
  const size_t width = line.size();
  // Spaces over what a longer line before left.
  if (shown && width < shownWidth) line.append(shownWidth - width, ' ');
  console->ErrorText("\r" + line);
  shown = true;
  shownWidth = width;
  drawn = now;
}

void ProgressLine::End() {
  if (!shown) return;
  console->ErrorText("\r" + std::string(shownWidth, ' ') + "\r");
  shown = false;
}

std::string ProgressLine::Compose(uint64_t done, uint64_t now) const {
  const double seconds = static_cast<double>(now - started) / 1000;
  const std::string figures = "  " + Amount(static_cast<double>(done)) + " of " + Amount(size) +
                              "  " + Amount(static_cast<double>(done) / seconds) + "/s";
  const int columns = terminal->Columns();
  const size_t width = static_cast<size_t>((columns > 0 ? columns : kDefaultColumns) - 1);
  if (figures.size() + sizeof(kEllipsis) > width) return figures.substr(2, width);
  return PathTail(path, width - figures.size()) + figures;
}
