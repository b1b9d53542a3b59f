#include <string>

#include "gtest/gtest.h"
#include "platform/host_text.h"

namespace {

struct TextCase {
  std::string disk;
  std::string host;
};

TEST(HostTextTest, Utf8ConvertsAndEscapesWhatHasNoRoundTrip) {
  const auto text = platform::NewHostTextFor("UTF-8");
  ASSERT_TRUE(text->Converts());
  const TextCase cases[] = {
      {"CONFIG.SYS", "CONFIG.SYS"},
      {"\\SYS", "\\SYS"},  // 0x5C stays a backslash, 0x7E a tilde
      {"~", "~"},
      {"\x93\xFA\x96\x7B\x8C\xEA", "日本語"},
      {"\x95\x5C.TXT", "表.TXT"},
      {"\xB1\xB2", "ｱｲ"},  // half-width katakana
      // clang-format off
      {"A\x80" "B", "A%80B"},  // no character at 0x80
      // clang-format on
      {"\xFD\xFE\xFF", "%FD%FE%FF"},
      {"\x85\x40", "%85@"},   // an unassigned row: the lead byte alone escaped
      {"END\x93", "END%93"},  // a lead byte at the end
      {"100%", "100%"},       // a '%' not before two hex digits stays
      {"%41", "%2541"},
      {"%%41", "%%2541"},
      {"%4\x80", "%4%80"},
      // Code page 932 holds some characters twice; the copy that does not come back as
      // itself is escaped byte by byte.
      {"\x81\xE0", "≒"},
      {"\x87\x90", "%87%90"},  // NEC row 13's copy of 0x81E0
      {"\xFA\x5C", "纊"},
      {"\xED\x40", "%ED@"},  // NEC's copy of the IBM extension 0xFA5C
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(c.host, text->FromDisk(c.disk));
    EXPECT_EQ(c.disk, text->ToDisk(text->FromDisk(c.disk)));
  }
}

TEST(HostTextTest, EveryOneAndTwoByteStringComesBack) {
  const auto text = platform::NewHostTextFor("UTF-8");
  for (int first = 1; first < 256; ++first) {
    for (int second = 1; second < 256; second += 3) {
      const std::string disk = {static_cast<char>(first), static_cast<char>(second), '%', 'A',
                                static_cast<char>(first)};
      ASSERT_EQ(disk, text->ToDisk(text->FromDisk(disk))) << first << " " << second;
    }
  }
}

TEST(HostTextTest, ArgumentsConvertToCodePage932) {
  const auto text = platform::NewHostTextFor("UTF-8");
  EXPECT_EQ("\\\x83Q\x81[\x83\x80\\\x83\x81\x83\x82.TXT", text->ToDisk("\\ゲーム\\メモ.TXT"));
  EXPECT_EQ("\xF0\x9F\x98\x80", text->ToDisk("😀"));  // no code page 932 form: bytes kept
  EXPECT_EQ("\xC3", text->ToDisk("\xC3"));           // not UTF-8: kept
}

TEST(HostTextTest, OtherCharsetsPassBytesUnchanged) {
  for (const char* charset : {"ANSI_X3.4-1968", "SHIFT_JIS", ""}) {
    const auto text = platform::NewHostTextFor(charset);
    EXPECT_FALSE(text->Converts());
    EXPECT_EQ("\x93\xFA%41\x80", text->FromDisk("\x93\xFA%41\x80"));
    EXPECT_EQ("日%41", text->ToDisk("日%41"));
  }
}

}  // namespace
