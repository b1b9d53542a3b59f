#include <cstdint>
#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "platform/target_file_system.h"
#include "platform/win32/win32_support.h"
#include "tests/windows/windows_process.h"

namespace {

using platform::DosDateTime;
using platform::TargetFile;
using platform::TargetFileSystem;

DosDateTime Stamp(int year, int month, int day, int hour, int minute, int second) {
  DosDateTime stamp;
  stamp.date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  stamp.time = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
  return stamp;
}

struct Times {
  uint64_t creation = 0;
  uint64_t access = 0;
  uint64_t write = 0;
};

Times ReadTimes(const std::string& path) {
  Times times;
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return times;
  FILETIME creation, access, write;
  if (GetFileTime(handle, &creation, &access, &write)) {
    auto ticks = [](const FILETIME& t) {
      return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
    };
    times = {ticks(creation), ticks(access), ticks(write)};
  }
  CloseHandle(handle);
  return times;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

class TargetFileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    TIME_ZONE_INFORMATION zone;
    GetTimeZoneInformation(&zone);
    ASSERT_EQ(-540, zone.Bias) << "the test runs with TZ=Asia/Tokyo";
  }

  // Makes `relative` with `contents` through the file system under test.
  void Make(const std::string& relative, const std::string& contents) {
    std::unique_ptr<TargetFile> file = target->CreateFile(scratch.File(relative));
    ASSERT_NE(nullptr, file) << target->LastError();
    ASSERT_TRUE(file->Write(contents.data(), contents.size()));
    ASSERT_TRUE(file->Close());
    EXPECT_TRUE(file->Close()) << "a second close does nothing";
  }

  windowstest::ScratchFolder scratch{"scratch_target"};
  std::unique_ptr<TargetFileSystem> target = platform::NewTargetFileSystem();
};

TEST_F(TargetFileSystemTest, CreatesAndReplacesArchiveFiles) {
  Make("A.TXT", "first contents");
  Make("A.TXT", "second");
  EXPECT_EQ("second", windowstest::ReadWhole(Wide(scratch.File("A.TXT"))));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE),
            GetFileAttributesA(scratch.File("A.TXT").c_str()));
}

TEST_F(TargetFileSystemTest, OpenFileIsSharedForReadingOnly) {
  std::unique_ptr<TargetFile> file = target->CreateFile(scratch.File("OPEN.TXT"));
  ASSERT_NE(nullptr, file);
  const std::string path = scratch.File("OPEN.TXT");
  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, reader);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
}

TEST_F(TargetFileSystemTest, NamesAreCodePage932WhateverTheAnsiCodePage) {
  // "日本語" and "表" (whose second byte is 0x5C, the backslash) in code page 932.
  ASSERT_TRUE(target->MakeDirectory(scratch.File("\x93\xFA\x96\x7B\x8C\xEA")));
  Make("\x93\xFA\x96\x7B\x8C\xEA\\\x95\x5C.TXT", "hyou");
  EXPECT_EQ("hyou",
            windowstest::ReadWhole(Wide(scratch.Path()) + L"\\\u65E5\u672C\u8A9E\\\u8868.TXT"));
}

TEST_F(TargetFileSystemTest, BytesThatAreNoCodePage932TextAreRefused) {
  // A lead byte with no second byte, and a byte code page 932 leaves undefined.
  for (const char* name : {"END\x81", "\xA0X.TXT"}) {
    EXPECT_EQ(nullptr, target->CreateFile(scratch.File(name)));
    EXPECT_EQ(ERROR_NO_UNICODE_TRANSLATION, target->LastError());
    EXPECT_FALSE(target->MakeDirectory(scratch.File(name)));
    EXPECT_EQ(ERROR_NO_UNICODE_TRANSLATION, target->LastError());
  }
}

TEST_F(TargetFileSystemTest, FailuresRecordTheWindowsError) {
  ASSERT_TRUE(target->MakeDirectory(scratch.File("D")));
  EXPECT_FALSE(target->MakeDirectory(scratch.File("D")));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, target->LastError());
  EXPECT_EQ(nullptr, target->CreateFile(scratch.File("NO\\SUCH\\FILE")));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, target->LastError());
  EXPECT_FALSE(target->SetAttributes(scratch.File("MISSING"), 0x01));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, target->LastError());
  EXPECT_FALSE(target->SetFileTimes(scratch.File("MISSING"), Stamp(2001, 1, 1, 9, 0, 0)));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, target->LastError());
}

TEST_F(TargetFileSystemTest, AttributesCarryReadOnlyHiddenSystemAndArchive) {
  struct Case {
    uint32_t given;
    DWORD reported;
  };
  const Case cases[] = {
      {0x01 | 0x20, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
      {0x02 | 0x04 | 0x20, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
      {0x07 | 0x20 | 0x10 | 0x08, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
  };
  int index = 0;
  for (const Case& c : cases) {
    const std::string name = "F" + std::to_string(index++);
    Make(name, "x");
    EXPECT_TRUE(target->SetAttributes(scratch.File(name), c.given));
    EXPECT_EQ(c.reported, GetFileAttributesA(scratch.File(name).c_str())) << name;
  }
}

TEST_F(TargetFileSystemTest, FileTimesTakeTheStampAsLocalTimeAndNowForTheRest) {
  Make("T.TXT", "t");
  const uint64_t before = Now();
  ASSERT_TRUE(target->SetFileTimes(scratch.File("T.TXT"), Stamp(1998, 3, 14, 12, 34, 56)));
  const Times times = ReadTimes(scratch.File("T.TXT"));
  EXPECT_EQ(windowstest::UtcTicks(1998, 3, 14, 3, 34, 56), times.write);
  // GetSystemTime counts milliseconds.
  EXPECT_GE(times.access, before - before % 10000);
  // A read-only copy keeps its times settable by path as long as times come first.
  ASSERT_TRUE(target->SetAttributes(scratch.File("T.TXT"), 0x21));
}

TEST_F(TargetFileSystemTest, DirectoryTimesAllTakeTheStamp) {
  ASSERT_TRUE(target->MakeDirectory(scratch.File("D")));
  ASSERT_TRUE(target->SetDirectoryTimes(scratch.File("D"), Stamp(2001, 1, 1, 9, 0, 0)));
  const Times times = ReadTimes(scratch.File("D"));
  EXPECT_EQ(windowstest::UtcTicks(2001, 1, 1, 0, 0, 0), times.write);
  EXPECT_EQ(windowstest::UtcTicks(2001, 1, 1, 0, 0, 0), times.access);
}

TEST_F(TargetFileSystemTest, InvalidStampsChangeNothing) {
  Make("T.TXT", "t");
  ASSERT_TRUE(target->MakeDirectory(scratch.File("D")));
  const Times fileBefore = ReadTimes(scratch.File("T.TXT"));
  const Times directoryBefore = ReadTimes(scratch.File("D"));
  // 29 February of a common year, month 13, day 0, hour 24, minute 60, second 60.
  const DosDateTime bad[] = {Stamp(1999, 2, 29, 0, 0, 0), Stamp(2000, 13, 1, 0, 0, 0),
                             Stamp(2000, 1, 0, 0, 0, 0),  Stamp(2000, 1, 1, 24, 0, 0),
                             Stamp(2000, 1, 1, 0, 60, 0), Stamp(2000, 1, 1, 0, 0, 60)};
  for (DosDateTime stamp : bad) {
    EXPECT_FALSE(target->SetFileTimes(scratch.File("T.TXT"), stamp));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, target->LastError());
    EXPECT_FALSE(target->SetDirectoryTimes(scratch.File("D"), stamp));
  }
  EXPECT_EQ(fileBefore.write, ReadTimes(scratch.File("T.TXT")).write);
  EXPECT_EQ(directoryBefore.write, ReadTimes(scratch.File("D")).write);
}

TEST_F(TargetFileSystemTest, HostStampIsTheLocalModificationTime) {
  Make("S.TXT", "s");
  ASSERT_TRUE(target->SetFileTimes(scratch.File("S.TXT"), Stamp(2001, 1, 1, 9, 0, 2)));
  ASSERT_TRUE(target->SetAttributes(scratch.File("S.TXT"), 0x21));
  DosDateTime stamp;
  bool readOnly = false;
  ASSERT_TRUE(platform::ReadHostStamp(scratch.File("S.TXT"), &stamp, &readOnly));
  EXPECT_EQ(Stamp(2001, 1, 1, 9, 0, 2).date, stamp.date);
  EXPECT_EQ(Stamp(2001, 1, 1, 9, 0, 2).time, stamp.time);
  EXPECT_TRUE(readOnly);
  EXPECT_FALSE(platform::ReadHostStamp(scratch.File("MISSING"), &stamp, &readOnly));
}

}  // namespace
