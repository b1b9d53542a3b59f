#include "app/progress_line.h"

#include <string>

#include "gtest/gtest.h"
#include "tests/app_test_support.h"
#include "tests/fake_status_terminal.h"

namespace {

const char kPath[] = "\\SYS\\\x83Q\x81[\x83\x80\\BIG.DAT";  // a katakana folder

// One file of 3 MiB: each step sets the clock, then reports the bytes done (or ends the
// file, done < 0), and the error stream shows what the steps wrote.
struct Step {
  uint64_t now;
  int64_t done;
};

std::string Shown(std::initializer_list<Step> steps, int columns = 80) {
  CapturedConsole console;
  FakeStatusTerminal terminal;
  terminal.columns = columns;
  ProgressLine line(console.get(), &terminal);
  line.Start(kPath, 3 << 20);
  for (const Step& step : steps) {
    terminal.now = step.now;
    if (step.done < 0) {
      line.End();
    } else {
      line.Advance(static_cast<uint64_t>(step.done));
    }
  }
  return console.Error();
}

TEST(ProgressLineTest, AppearsAfterASecondIsRewrittenAndErased) {
  EXPECT_EQ("", Shown({{400, 1 << 20}, {999, 2 << 20}, {999, -1}}));
  // The line at 1000 ms, none at 1249 (too soon), the line at 2000, the erasure at 2100.
  EXPECT_EQ(
      "\r\\SYS\\\x83Q\x81[\x83\x80\\BIG.DAT  1.0 MiB of 3.0 MiB  1.0 MiB/s"
      "\r\\SYS\\\x83Q\x81[\x83\x80\\BIG.DAT  3.0 MiB of 3.0 MiB  1.5 MiB/s\r" +
          std::string(50, ' ') + "\r",
      Shown({{1000, 1 << 20}, {1249, 2 << 20}, {2000, 3 << 20}, {2100, -1}}));
}

TEST(ProgressLineTest, NarrowTerminalCutsThePathAtACharacterAndPadsAShorterLine) {
  // 44 columns leave 43: the path's tail after "..." fills what the figures leave, cut
  // before the katakana's second byte, and spaces cover what the longer line left.
  EXPECT_EQ(
      "\r...BIG.DAT  1.0 MiB of 3.0 MiB  512.0 KiB/s"
      "\r...\\BIG.DAT  3.0 MiB of 3.0 MiB  1.0 MiB/s \r" +
          std::string(42, ' ') + "\r",
      Shown({{2000, 1 << 20}, {3000, 3 << 20}, {3000, -1}}, 44));
  EXPECT_EQ("\r1.0 MiB of 3.0 MiB  1.0 MiB/s", Shown({{1000, 1 << 20}}, 30));
}

}  // namespace
