#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/code_page_932.h"
#include "platform/host_text.h"
#include "platform/table_host_text.h"

namespace {

// The tables must give what glibc's iconv, the Linux converter, gives for every text.

TEST(TableHostTextTest, FromDiskMatchesIconvOnEveryOneAndTwoByteText) {
  const auto table = platform::NewTableHostText();
  const auto iconv = platform::NewHostTextFor("UTF-8");
  ASSERT_TRUE(iconv->Converts());
  for (int first = 0; first < 256; ++first) {
    const std::string one(1, static_cast<char>(first));
    ASSERT_EQ(iconv->FromDisk(one), table->FromDisk(one)) << first;
    for (int second = 0; second < 256 && platform::IsCodePage932Lead(first); ++second) {
      const std::string two = one + static_cast<char>(second);
      ASSERT_EQ(iconv->FromDisk(two), table->FromDisk(two)) << first << " " << second;
    }
  }
}

TEST(TableHostTextTest, ToDiskMatchesIconvOnEveryBasicPlaneCharacter) {
  const auto table = platform::NewTableHostText();
  const auto iconv = platform::NewHostTextFor("UTF-8");
  // %XX escapes, bytes that start no sequence, overlong forms, a byte order mark, a character
  // code page 932 lacks, the first and last tag characters (iconv writes nothing for them)
  // and a sequence past U+10FFFF.
  // clang-format off
  std::vector<std::string> texts = {
      "%41", "%2541", "%E3%81%82", "100%", "%4\xC3", "\xFF\xFE", "A\x80" "B",
      "\xC0\xAF", "\xF0\x80\x80\x80", "\xEF\xBB\xBF", "\xF0\x9F\x98\x80",
      "\xF3\xA0\x80\x80", "\xF3\xA0\x81\xBF", "\xF4\x90\x80\x80"};
  // clang-format on
  for (int byte = 1; byte < 0x80; ++byte) texts.emplace_back(1, static_cast<char>(byte));
  // Every two- and three-byte sequence, overlong and surrogate forms among them.
  for (int lead = 0xC2; lead <= 0xEF; ++lead) {
    for (int second = 0x80; second <= 0xBF; ++second) {
      const std::string two = {static_cast<char>(lead), static_cast<char>(second)};
      if (lead < 0xE0) texts.push_back(two);
      for (int third = 0x80; third <= 0xBF && lead >= 0xE0; ++third) {
        texts.push_back(two + static_cast<char>(third));
      }
    }
  }
  for (const std::string& text : texts) {
    ASSERT_EQ(iconv->ToDisk(text), table->ToDisk(text)) << text;
  }
}

}  // namespace
