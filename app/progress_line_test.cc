#include "app/progress_line.h"

#include <string>
#include <utility>

#include "gtest/gtest.h"
#include "tests/app_test_support.h"
#include "tests/fake_status_terminal.h"

namespace {

// A file of 3 MiB in a katakana folder on a terminal `columns` wide. Each step sets the
// clock (ms) and reports the bytes done, or ends the file (-1); returns what was shown.
std::string Shown(int columns, std::initializer_list<std::pair<uint64_t, int64_t>> steps) {
  CapturedConsole console;
  FakeStatusTerminal terminal;
  terminal.columns = columns;
  ProgressLine line(console.get(), &terminal);
  line.Start("\\SYS\\\x83Q\x81[\x83\x80\\BIG.DAT", 3 << 20);
  for (const auto& [now, done] : steps) {
    terminal.now = now;
    done < 0 ? line.End() : line.Advance(static_cast<uint64_t>(done));
  }
  return console.Error();
}

TEST(ProgressLineTest, ShowsAfterASecondRewritesInPlaceAndErases) {
  EXPECT_EQ("", Shown(80, {{400, 1 << 20}, {999, 2 << 20}, {999, -1}}));
  // At 1000 ms, not at 1249 (too soon), at 2000; erased at 2100.
  EXPECT_EQ(
      "\r\\SYS\\\x83Q\x81[\x83\x80\\BIG.DAT  1.0 MiB of 3.0 MiB  1.0 MiB/s"
      "\r\\SYS\\\x83Q\x81[\x83\x80\\BIG.DAT  3.0 MiB of 3.0 MiB  1.5 MiB/s\r" +
          std::string(50, ' ') + "\r",
      Shown(80, {{1000, 1 << 20}, {1249, 2 << 20}, {2000, 3 << 20}, {2100, -1}}));
  // 43 usable columns: the path's tail fills what the figures leave, never from the middle
  // of the katakana; spaces cover what the longer line left. Too narrow: the figures alone.
  EXPECT_EQ(
      "\r...BIG.DAT  1.0 MiB of 3.0 MiB  512.0 KiB/s"
      "\r...\\BIG.DAT  3.0 MiB of 3.0 MiB  1.0 MiB/s \r" +
          std::string(42, ' ') + "\r",
      Shown(44, {{2000, 1 << 20}, {3000, 3 << 20}, {3000, -1}}));
  EXPECT_EQ("\r1.0 MiB of 3.0 MiB  1.0 MiB/s", Shown(30, {{1000, 1 << 20}}));
}

}  // namespace
