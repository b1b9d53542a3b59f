#include "volume/shift_jis.h"

#include <string>

#include "gtest/gtest.h"

namespace {

struct FoldCase {
  std::string text;
  uint32_t folded;
  size_t length;
};

TEST(ShiftJisTest, FoldsAsciiAndFullWidthLatinLettersOnly) {
  const FoldCase cases[] = {
      {"A", 'a', 1},           {"Z", 'z', 1}, {"a", 'a', 1}, {"@", '@', 1},  // just below A
      {"[", '[', 1},                                                         // just above Z
      {"\xB1", 0xB1, 1},        // half-width katakana: single byte, no case
      {"\x82\x81", 0x8260, 2},  // full-width a -> A
      {"\x82\x9A", 0x8279, 2},  // full-width z -> Z
      {"\x82\x60", 0x8260, 2},  // full-width A stays
      {"\x82\x80", 0x8280, 2},  // just below full-width a
      {"\x82\x9B", 0x829B, 2},  // just above full-width z
      {"\x83\x5C", 0x835C, 2},  // second byte 0x5C is part of the character
      {"\x83", 0x83, 1},        // a lone lead byte at the end is one byte
  };
  for (const FoldCase& c : cases) {
    size_t length = 0;
    EXPECT_EQ(c.folded, FoldShiftJisChar(c.text.c_str(), &length)) << c.text;
    EXPECT_EQ(c.length, length) << c.text;
  }
}

struct EqualCase {
  std::string a;
  std::string b;
  bool equal;
};

TEST(ShiftJisTest, ComparesWholeCharactersIgnoringCase) {
  const EqualCase cases[] = {
      {"readme.doc", "README.DOC", true},
      {"bin", "BIN", true},
      {"BIN", "BIN2", false},
      {"", "", true},
      {"\x82\x81\x82\x82", "\x82\x60\x82\x61", true},  // full-width ab = AB
      {"\x82\x81", "a", false},                        // full-width a is not ASCII a
      {"\x83\x5C"
       "A",
       "\x83\x5C"
       "a",
       true},
      // "\x83" + "a" is one character (0x8361); it must not fold its second byte.
      {"\x83"
       "a",
       "\x83"
       "A",
       false},
      {"X\x83", "x\x83", true},
      {"X\x83", "x", false},
  };
  for (const EqualCase& c : cases) {
    EXPECT_EQ(c.equal, ShiftJisEqualIgnoringCase(c.a.c_str(), c.b.c_str())) << c.a << " / " << c.b;
    EXPECT_EQ(c.equal, ShiftJisEqualIgnoringCase(c.b.c_str(), c.a.c_str())) << c.b << " / " << c.a;
  }
}

}  // namespace
