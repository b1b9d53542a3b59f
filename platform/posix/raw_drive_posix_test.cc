#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/platform_family.h"
#include "platform/raw_drive.h"
#include "platform/vwin32_port.h"

namespace platform {
namespace {

// A 6 GiB sparse file whose bytes at 5 GiB and near its end are written.
class RawDrivePosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/peek_raw_drive_XXXXXX";
    const int fd = ::mkstemp(pattern);
    ASSERT_GE(fd, 0);
    path = pattern;
    ASSERT_EQ(::ftruncate(fd, kSize), 0);
    ASSERT_EQ(::pwrite(fd, "far", 3, kFar), 3);
    ASSERT_EQ(::pwrite(fd, "end", 3, kSize - 3), 3);
    ::close(fd);
  }
  void TearDown() override {
    if (!path.empty()) ::unlink(path.c_str());
  }

  static constexpr off_t kFar = 5LL << 30;
  static constexpr off_t kSize = 6LL << 30;
  std::string path;
  std::unique_ptr<RawDriveService> service = NewSystemRawDriveService();
};

TEST_F(RawDrivePosixTest, RegularFileReadsBeyond4GiB) {
  int error = 0;
  std::unique_ptr<RawDrive> drive = service->Open(path.c_str(), &error);
  ASSERT_TRUE(drive);
  uint64_t position = 0;
  ASSERT_TRUE(drive->Seek(0, MoveMethod::kEnd, &position));
  EXPECT_EQ(position, static_cast<uint64_t>(kSize));
  ASSERT_TRUE(drive->Seek(kFar, MoveMethod::kBegin, &position));
  EXPECT_EQ(position, static_cast<uint64_t>(kFar));
  char buffer[8] = {};
  uint32_t got = 0;
  ASSERT_TRUE(drive->Read(buffer, 3, &got));
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(std::string(buffer, 3), "far");
  ASSERT_TRUE(drive->Seek(-3, MoveMethod::kCurrent, &position));
  EXPECT_EQ(position, static_cast<uint64_t>(kFar));
}

TEST_F(RawDrivePosixTest, ReadAtTheEndComesBackShort) {
  int error = 0;
  std::unique_ptr<RawDrive> drive = service->Open(path.c_str(), &error);
  ASSERT_TRUE(drive);
  uint64_t position = 0;
  ASSERT_TRUE(drive->Seek(-3, MoveMethod::kEnd, &position));
  char buffer[512] = {};
  uint32_t got = 0;
  ASSERT_TRUE(drive->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(std::string(buffer, 3), "end");
  ASSERT_TRUE(drive->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 0u);
}

TEST_F(RawDrivePosixTest, FileHasNoSectorSize) {
  int error = 0;
  std::unique_ptr<RawDrive> drive = service->Open(path.c_str(), &error);
  ASSERT_TRUE(drive);
  uint32_t size = 0;
  EXPECT_FALSE(drive->GetSectorSize(&size));
  EXPECT_EQ(drive->LastError(), ENOTTY);
}

TEST_F(RawDrivePosixTest, FailuresCarryErrno) {
  int error = 0;
  EXPECT_FALSE(service->Open((path + ".absent").c_str(), &error));
  EXPECT_EQ(error, ENOENT);

  std::unique_ptr<RawDrive> drive = service->Open(path.c_str(), &error);
  ASSERT_TRUE(drive);
  uint64_t position = 7;
  EXPECT_FALSE(drive->Seek(-1, MoveMethod::kBegin, &position));
  EXPECT_EQ(drive->LastError(), EINVAL);
  EXPECT_EQ(position, 7u);

  std::unique_ptr<RawDrive> directory = service->Open("/tmp", &error);
  ASSERT_TRUE(directory);
  char buffer[16];
  uint32_t got = 99;
  EXPECT_FALSE(directory->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(directory->LastError(), EISDIR);
  EXPECT_EQ(got, 0u);
}

TEST(PlatformFamilyPosixTest, PosixReadsDrivesAsWindowsNtDoes) {
  EXPECT_EQ(NewSystemPlatformFamilyQuery()->Family(), PlatformFamily::kNt);
}

TEST(Vwin32PosixTest, OpeningFailsWithASystemError) {
  int error = 0;
  EXPECT_FALSE(NewSystemVwin32Service()->Open(&error));
  EXPECT_EQ(error, ENOSYS);
}

}  // namespace
}  // namespace platform
