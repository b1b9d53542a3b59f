#include "volume/entry_names.h"

#include "gtest/gtest.h"

namespace {

struct UnsafeNameCase {
  const char* name;
  bool isFile;
  bool unsafe;
};

TEST(EntryNamesTest, RefusesNamesWithSeparatorsDotsOrNothing) {
  const UnsafeNameCase cases[] = {
    {"", true, true},
    {"", false, true},
    {".", true, true},
    {"..", true, true},
    {"A/B", false, true},
    {"/", true, true},
    {".", false, false},  // directories' dot entries are never created
    {"...", true, false},
    {"\x95\x5C.TXT", true, false},  // 0x5C as a trail byte is no separator
#if defined(_WIN32)
    {"A:B", true, true},
    {"A\\B", true, true},
#else
    {"A:B", true, false},  // ':' and '\\' are ordinary on POSIX
    {"A\\B", true, false},
#endif
  };
  for (const UnsafeNameCase& c : cases)
    EXPECT_EQ(c.unsafe, IsUnsafeName(c.name, c.isFile)) << c.name << " " << c.isFile;
}

}  // namespace
