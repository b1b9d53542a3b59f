#include "app/listing.h"

#include <string>

#include "gtest/gtest.h"
#include "tests/app_test_support.h"

namespace {

using imagebuilder::Dir;
using imagebuilder::DosDate;
using imagebuilder::DosTime;
using imagebuilder::File;

struct StampCase {
  uint16_t date;
  uint16_t time;
  const char* dateText;  // null: invalid
  const char* timeText;
};

TEST(FormatDateTest, DecodesValidStampsAndRefusesInvalidOnes) {
  const StampCase cases[] = {
      {DosDate(1998, 3, 14), DosTime(12, 34, 56), "1998/03/14(\x93\x79)", "12:34:56"},
      {DosDate(1998, 3, 15), DosTime(0, 0, 0), "1998/03/15(\x93\xFA)", "00:00:00"},
      {DosDate(1980, 1, 1), DosTime(23, 59, 58), "1980/01/01(\x89\xCE)", "23:59:58"},
      {DosDate(2000, 2, 29), DosTime(1, 2, 4), "2000/02/29(\x89\xCE)", "01:02:04"},
      {DosDate(2024, 2, 29), DosTime(9, 8, 6), "2024/02/29(\x96\xD8)", "09:08:06"},
      {DosDate(2001, 1, 1), DosTime(10, 20, 30), "2001/01/01(\x8C\x8E)", "10:20:30"},
      {DosDate(2107, 12, 31), DosTime(0, 0, 2), "2107/12/31(\x93\x79)", "00:00:02"},
      {0, 0, nullptr, nullptr},                     // day 0, month 0
      {DosDate(1999, 2, 29), 0, nullptr, nullptr},  // not a leap year
      {DosDate(2100, 2, 29), 0, nullptr, nullptr},  // century, not a leap year
      {DosDate(1998, 4, 31), 0, nullptr, nullptr},  // April has 30 days
      {DosDate(1998, 13, 1), 0, nullptr, nullptr},  // month 13
      {DosDate(1998, 0, 1), 0, nullptr, nullptr},   // month 0
      {DosDate(1998, 3, 0), 0, nullptr, nullptr},   // day 0
      {DosDate(1998, 3, 14), DosTime(24, 0, 0), nullptr, nullptr},
      {DosDate(1998, 3, 14), DosTime(0, 60, 0), nullptr, nullptr},
      {DosDate(1998, 3, 14), DosTime(0, 0, 60), nullptr, nullptr},  // seconds field 30
      {DosDate(1998, 3, 14), DosTime(0, 0, 62), nullptr, nullptr},  // seconds field 31
  };
  for (const StampCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.date << " " << c.time);
    CalendarRecord calendar;
    const bool valid = DecodeDosDateTime(c.date, c.time, &calendar);
    ASSERT_EQ(c.dateText != nullptr, valid);
    if (valid) {
      EXPECT_EQ(c.dateText, std::string(FormatDate(calendar)));
      EXPECT_EQ(c.timeText, std::string(FormatTime(calendar)));
    }
  }
}

TEST(FormatDateTest, DateAndTimeTextsLiveInSeparateBuffers) {
  CalendarRecord calendar;
  ASSERT_TRUE(DecodeDosDateTime(DosDate(1998, 3, 14), DosTime(12, 34, 56), &calendar));
  const char* date = FormatDate(calendar);
  const char* time = FormatTime(calendar);
  EXPECT_EQ("1998/03/14(\x93\x79) 12:34:56", std::string(date) + " " + time);
}

struct LineCase {
  const char* name;
  int16_t attributes;
  uint32_t size;
  uint16_t date;
  uint16_t time;
  const char* line;
};

TEST(EntryLineTest, PrintsNameKindOrSizeDateAndTimeInFixedFields) {
  const uint16_t saturday = DosDate(1998, 3, 14);
  const uint16_t noon = DosTime(12, 34, 56);
  const LineCase cases[] = {
      {"CONFIG.SYS", 0x20, 12, saturday, noon,
       "             CONFIG.SYS       12  1998/03/14(\x93\x79) 12:34:56\n"},
      {"EMPTY", 0x00, 0, saturday, noon,
       "                  EMPTY        0  1998/03/14(\x93\x79) 12:34:56\n"},
      {"SYS", 0x10, 999, saturday, noon,
       "                    SYS    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"},
      {"LABEL", 0x08, 0, saturday, noon,
       "                  LABEL    <VOL>  1998/03/14(\x93\x79) 12:34:56\n"},
      {"LINK", 0x40, 5, saturday, noon,
       "                   LINK    <LNK>  1998/03/14(\x93\x79) 12:34:56\n"},
      {"DIRVOL", 0x18, 0, saturday, noon,
       "                 DIRVOL    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"},
      {"VOLLNK", 0x48, 0, saturday, noon,
       "                 VOLLNK    <VOL>  1998/03/14(\x93\x79) 12:34:56\n"},
      // Bit 7 sign-extends the attributes; only the low byte counts.
      {"HIGH.BIT", static_cast<int16_t>(0xFF81), 7, saturday, noon,
       "               HIGH.BIT        7  1998/03/14(\x93\x79) 12:34:56\n"},
      // The size prints as a signed 32-bit number, and a long one widens its field.
      {"HUGE", 0x20, 0xFFFFFFFF, saturday, noon,
       "                   HUGE       -1  1998/03/14(\x93\x79) 12:34:56\n"},
      {"BIG", 0x20, 123456789, saturday, noon,
       "                    BIG 123456789  1998/03/14(\x93\x79) 12:34:56\n"},
      {"NODATE", 0x20, 1, 0, 0, "                 NODATE        1  ----/--/--(--) --:--:--\n"},
      // A double-byte name counts two bytes a character in the padding.
      {"\x93\xFA\x96\x7B\x8C\xEA", 0x10, 0, saturday, noon,
       "                 \x93\xFA\x96\x7B\x8C\xEA    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"},
      {"ABCDEFGHIJKLMNOPQR.TXT", 0x20, 1, saturday, noon,
       " ABCDEFGHIJKLMNOPQR.TXT        1  1998/03/14(\x93\x79) 12:34:56\n"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    FindResult entry;
    std::snprintf(entry.fileName, sizeof(entry.fileName), "%s", c.name);
    entry.attributes = c.attributes;
    entry.fileSize = c.size;
    entry.modifyDate = c.date;
    entry.modifyTime = c.time;
    CapturedConsole console;
    EntryLine(console.get(), entry);
    EXPECT_EQ(c.line, console.Out());
    EXPECT_EQ("", console.Error());
  }
}

class ListDirectoryTest : public testing::Test {
 protected:
  ListDirectoryTest()
      : mounted(OnePartition(
            {Stamped(File("CONFIG.SYS", "FILES = 30\r\n"), DosDate(1998, 3, 14),
                     DosTime(12, 34, 56)),
             Stamped(Dir("SYS", {Stamped(File("COMMAND.X", std::string(1000, 'x')),
                                         DosDate(1998, 3, 15), DosTime(9, 0, 0))}),
                     DosDate(1998, 3, 15), DosTime(9, 0, 0)),
             File("EMPTY.TXT", "")},
            {MakeRawEntry("\\", "VOLUME1", 0x08, DosTime(0, 0, 0), DosDate(1998, 3, 14)),
             MakeRawEntry("\\", "LINK    LNK", 0x40, DosTime(10, 20, 30), DosDate(2001, 1, 1)),
             MakeRawEntry("\\", "DIRVOL", 0x18, DosTime(0, 0, 60), DosDate(2001, 1, 1)),
             MakeRawEntry("\\", "VOLLNK", 0x48, DosTime(0, 0, 0), DosDate(2001, 1, 1))})) {}

  void SetUp() override { ASSERT_NO_FATAL_FAILURE(mounted.Mount()); }

  MountedImage mounted;
  CapturedConsole console;
};

TEST_F(ListDirectoryTest, ListsTheRootWithLabelLinksAndInvalidStamps) {
  ListDirectory(mounted.volume.get(), console.get(), "\\");
  EXPECT_EQ(
      "             CONFIG.SYS       12  1998/03/14(\x93\x79) 12:34:56\n"
      "                    SYS    <DIR>  1998/03/15(\x93\xFA) 09:00:00\n"
      "              EMPTY.TXT        0  ----/--/--(--) --:--:--\n"
      "                VOLUME1    <VOL>  1998/03/14(\x93\x79) 00:00:00\n"
      "               LINK.LNK    <LNK>  2001/01/01(\x8C\x8E) 10:20:30\n"
      "                 DIRVOL    <DIR>  ----/--/--(--) --:--:--\n"
      "                 VOLLNK    <VOL>  2001/01/01(\x8C\x8E) 00:00:00\n"
      "\n",
      console.Out());
  EXPECT_EQ("", console.Error());
}

TEST_F(ListDirectoryTest, ListsSubdirectoriesWithDotEntriesAndEachPathClosedByAnEmptyLine) {
  ListDirectory(mounted.volume.get(), console.get(), "/SYS");
  ListDirectory(mounted.volume.get(), console.get(), "SYS");
  const std::string sys =
      "                      .    <DIR>  1998/03/15(\x93\xFA) 09:00:00\n"
      "                     ..    <DIR>  1998/03/15(\x93\xFA) 09:00:00\n"
      "              COMMAND.X     1000  1998/03/15(\x93\xFA) 09:00:00\n"
      "\n";
  EXPECT_EQ(sys + sys, console.Out());
}

TEST_F(ListDirectoryTest, MissingPathsAndFilesGiveTheEmptyLineAlone) {
  ListDirectory(mounted.volume.get(), console.get(), "\\NOWHERE");
  ListDirectory(mounted.volume.get(), console.get(), "\\CONFIG.SYS");
  ListDirectory(mounted.volume.get(), console.get(), "\\SYS\\NOWHERE\\X");
  EXPECT_EQ("\n\n\n", console.Out());
  EXPECT_EQ("", console.Error());
}

TEST_F(ListDirectoryTest, ConvertsWholeLinesUnderUtf8) {
  CapturedConsole utf8("UTF-8");
  ListDirectory(mounted.volume.get(), utf8.get(), "SYS");
  EXPECT_EQ(
      "                      .    <DIR>  1998/03/15(日) 09:00:00\n"
      "                     ..    <DIR>  1998/03/15(日) 09:00:00\n"
      "              COMMAND.X     1000  1998/03/15(日) 09:00:00\n"
      "\n",
      utf8.Out());
}

}  // namespace
