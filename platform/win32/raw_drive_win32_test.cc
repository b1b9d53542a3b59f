#include <cstdint>
#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "platform/raw_drive.h"
#include "platform/system_error.h"
#include "platform/win32/win32_support.h"
#include "tests/windows/windows_process.h"

namespace {

using platform::MoveMethod;
using platform::RawDrive;

constexpr uint64_t kFourGiB = uint64_t{1} << 32;

class RawDriveTest : public testing::Test {
 protected:
  void SetUp() override {
    // 4 GiB + 4 KiB, sparse on the Linux side: a sector beyond the 32-bit range carries a
    // marker, and so does the last, shorter piece.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    WriteAt(file, 0, "FIRST");
    WriteAt(file, kFourGiB + 512, "BEYOND 4 GiB");
    WriteAt(file, kFourGiB + 4096 - 4, "TAIL");
    CloseHandle(file);
  }

  static void WriteAt(HANDLE file, uint64_t offset, const std::string& text) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    ASSERT_TRUE(SetFilePointerEx(file, position, nullptr, FILE_BEGIN));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
  }

  std::unique_ptr<RawDrive> Open() {
    int error = -1;
    std::unique_ptr<RawDrive> drive =
        platform::NewSystemRawDriveService()->Open(path.c_str(), &error);
    EXPECT_NE(nullptr, drive) << "error " << error;
    return drive;
  }

  windowstest::ScratchFolder scratch{"scratch_raw_drive"};
  const std::string path = scratch.File("disk.hds");
};

TEST_F(RawDriveTest, SeeksWith64BitPositionsFromEachOrigin) {
  std::unique_ptr<RawDrive> drive = Open();
  ASSERT_NE(nullptr, drive);
  uint64_t position = 0;
  ASSERT_TRUE(drive->Seek(0, MoveMethod::kEnd, &position));
  EXPECT_EQ(kFourGiB + 4096, position);
  ASSERT_TRUE(drive->Seek(static_cast<int64_t>(kFourGiB + 512), MoveMethod::kBegin, &position));
  EXPECT_EQ(kFourGiB + 512, position);
  char buffer[512] = {};
  uint32_t got = 0;
  ASSERT_TRUE(drive->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(512u, got);
  EXPECT_EQ("BEYOND 4 GiB", std::string(buffer, 12));
  ASSERT_TRUE(drive->Seek(-1024, MoveMethod::kCurrent, &position));
  EXPECT_EQ(kFourGiB, position);
  ASSERT_TRUE(drive->Seek(-4, MoveMethod::kEnd, &position));
  EXPECT_EQ(kFourGiB + 4092, position);
}

TEST_F(RawDriveTest, SeekBeforeTheStartFailsAndKeepsThePosition) {
  std::unique_ptr<RawDrive> drive = Open();
  ASSERT_NE(nullptr, drive);
  uint64_t position = 0;
  ASSERT_TRUE(drive->Seek(100, MoveMethod::kBegin, &position));
  EXPECT_FALSE(drive->Seek(-101, MoveMethod::kCurrent, &position));
  EXPECT_EQ(ERROR_NEGATIVE_SEEK, drive->LastError());
  char buffer[5] = {};
  ASSERT_TRUE(drive->Seek(0, MoveMethod::kCurrent, &position));
  EXPECT_EQ(100u, position);
  ASSERT_TRUE(drive->Seek(0, MoveMethod::kBegin, &position));
  uint32_t got = 0;
  ASSERT_TRUE(drive->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ("FIRST", std::string(buffer, got));
}

TEST_F(RawDriveTest, ReadAtTheEndComesBackShort) {
  std::unique_ptr<RawDrive> drive = Open();
  ASSERT_NE(nullptr, drive);
  uint64_t position = 0;
  ASSERT_TRUE(drive->Seek(-4, MoveMethod::kEnd, &position));
  char buffer[512] = {};
  uint32_t got = 99;
  ASSERT_TRUE(drive->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(4u, got);
  EXPECT_EQ("TAIL", std::string(buffer, got));
  ASSERT_TRUE(drive->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(0u, got);
}

TEST_F(RawDriveTest, ImageFileHasNoDriveGeometry) {
  std::unique_ptr<RawDrive> drive = Open();
  ASSERT_NE(nullptr, drive);
  uint32_t sectorSize = 1234;
  EXPECT_FALSE(drive->GetSectorSize(&sectorSize));
  EXPECT_EQ(1234u, sectorSize);
  EXPECT_NE(0, drive->LastError());
}

TEST_F(RawDriveTest, OpenSharesWritingButNotReading) {
  std::unique_ptr<RawDrive> drive = Open();
  ASSERT_NE(nullptr, drive);
  struct Case {
    DWORD access;
    DWORD share;
    bool opens;
  };
  // The drive was opened for reading, sharing write access only.
  const Case cases[] = {
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_WRITE, FILE_SHARE_WRITE, false},
  };
  for (const Case& c : cases) {
    HANDLE other = CreateFileA(path.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(c.opens, other != INVALID_HANDLE_VALUE) << c.access << " " << c.share;
    if (other != INVALID_HANDLE_VALUE) {
      CloseHandle(other);
    } else {
      EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    }
  }
}

TEST(RawDriveServiceTest, OpenFailureGivesTheWindowsError) {
  struct Case {
    const char* name;
    int error;
  };
  const Case cases[] = {
      {"Z:\\no\\such\\folder\\disk.hds", ERROR_PATH_NOT_FOUND},
      {"C:\\no-such-disk.hds", ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    int error = 0;
    EXPECT_EQ(nullptr, platform::NewSystemRawDriveService()->Open(c.name, &error));
    EXPECT_EQ(c.error, error) << c.name;
  }
}

}  // namespace
