#include "platform/console_writer.h"

#include <string>
#include <string_view>
#include <vector>

#include "gtest/gtest.h"
#include "platform/console_window.h"

namespace {

// A console window that keeps each write, as the UTF-16 it was given, in order.
class FakeConsoleWindow final : public platform::ConsoleWindow {
 public:
  bool Write(std::u16string_view text) override {
    writes.emplace_back(text);
    return true;
  }
  std::vector<std::u16string> writes;
};

// Each step is a Write of its text, or a Flush when it is empty; the writer is destroyed
// after the last.
struct Case {
  const char* name;
  std::vector<std::string> steps;
  std::vector<std::u16string> writes;
};

TEST(ConsoleWriterTest, WritesEachLineAsUtf16WithDoubleByteCharactersWhole) {
  const Case cases[] = {
      {"a line per call", {"A\x93\xFA\n\x95\x5C\n"}, {u"A\u65E5\r\n", u"\u8868\r\n"}},
      {"a character split across writes", {"\x93", "\xFA\x96", "\x7B\n"}, {u"\u65E5\u672C\r\n"}},
      {"a flush keeps a first byte back", {"ab\x93", "", "\xFA\n"}, {u"ab", u"\u65E5\r\n"}},
      // 0x93 0x88 is one character: the last 0x88 of "\x93\x88\x88" starts the next.
      {"a second byte like a first", {"\x93\x88\x88", "", "\x9F"}, {u"\u5D8B", u"\u4E9C"}},
      {"what has no round trip reads %XX", {"\x81\x7F%41\n"}, {u"%81\x7F%2541\r\n"}},
      {"the end writes a lone first byte", {"x\x93"}, {u"x%93"}},
      {"a flush with nothing whole writes nothing", {"\x93", ""}, {u"%93"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeConsoleWindow window;
    {
      platform::ConsoleWriter writer(&window);
      for (const std::string& step : c.steps) {
        if (step.empty()) {
          writer.Flush();
        } else {
          writer.Write(step);
        }
      }
    }
    EXPECT_EQ(c.writes, window.writes);
  }
}

}  // namespace
