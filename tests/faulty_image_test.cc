// Serves an image through faulty_image_fs and reads it through the kernel: reads that touch
// the failing range fail with EIO, the others return the image's bytes, also through the
// project's own raw drive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/raw_drive.h"
#include "tests/support_faulty_image.h"
#include "tests/support_loop_device.h"

namespace {

constexpr uint64_t kImageSize = 8192;
constexpr uint64_t kBad = 4096;  // One bad 512-byte sector from here.

class FaultyImageTest : public testing::Test {
 protected:
  void SetUp() override {
    // 251 is prime, so no two sectors hold the same bytes.
    for (uint64_t i = 0; i < kImageSize; ++i) bytes.push_back(static_cast<char>(i % 251));
    std::ofstream(image, std::ios::binary).write(bytes.data(), bytes.size());
  }

  std::string Bytes(uint64_t offset, uint64_t length) const {
    return std::string(bytes.data() + offset, length);
  }

  ScratchDirectory scratch;
  std::string image = scratch.File("disk.hds");
  std::vector<char> bytes;
};

struct ReadCase {
  uint64_t offset;
  uint64_t length;
  bool fails;
};

TEST_F(FaultyImageTest, ReadsTouchingTheBadRangeFailWithEio) {
  const ReadCase cases[] = {
      {0, kBad, false},
      {kBad - 512, 512, false},
      {kBad - 1, 2, true},
      {kBad, 512, true},
      {kBad + 511, 1, true},
      {kBad + 512, 512, false},
      {kBad + 512, kImageSize - kBad - 512, false},
      {0, kImageSize, true},
  };
  std::string mountPoint;
  {
    FaultyImageMount mount(image, {{kBad, 512}});
    ASSERT_EQ("", mount.Start());
    mountPoint = mount.MountPoint();
    EXPECT_TRUE(IsMountPoint(mountPoint));
    const int fd = ::open(mount.ImagePath().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct stat attributes;
    ASSERT_EQ(0, ::fstat(fd, &attributes));
    EXPECT_EQ(static_cast<off_t>(kImageSize), attributes.st_size);
    EXPECT_EQ(static_cast<mode_t>(S_IFREG | 0444), attributes.st_mode);
    for (const ReadCase& c : cases) {
      SCOPED_TRACE(std::to_string(c.offset) + ":" + std::to_string(c.length));
      std::string buffer(c.length, '\0');
      errno = 0;
      const ssize_t n = ::pread(fd, buffer.data(), c.length, static_cast<off_t>(c.offset));
      if (c.fails) {
        EXPECT_EQ(-1, n);
        EXPECT_EQ(EIO, errno);
      } else {
        EXPECT_EQ(static_cast<ssize_t>(c.length), n);
        EXPECT_EQ(Bytes(c.offset, c.length), buffer);
      }
    }
    char past = 0;
    EXPECT_EQ(0, ::pread(fd, &past, 1, static_cast<off_t>(kImageSize)));
    ::close(fd);
    EXPECT_EQ("", mount.Stop());
  }
  EXPECT_FALSE(IsMountPoint(mountPoint));
}

TEST_F(FaultyImageTest, RawDriveReadSeesEio) {
  FaultyImageMount mount(image, {{kBad, 512}});
  ASSERT_EQ("", mount.Start());
  int error = 0;
  std::unique_ptr<platform::RawDrive> drive =
      platform::NewSystemRawDriveService()->Open(mount.ImagePath().c_str(), &error);
  ASSERT_TRUE(drive) << error;
  uint64_t position = 0;
  std::string buffer(1024, '\0');
  uint32_t got = 0;
  ASSERT_TRUE(drive->Seek(kBad - 1024, platform::MoveMethod::kBegin, &position));
  ASSERT_TRUE(drive->Read(buffer.data(), 1024, &got));
  EXPECT_EQ(Bytes(kBad - 1024, 1024), buffer);
  EXPECT_FALSE(drive->Read(buffer.data(), 1024, &got));
  EXPECT_EQ(0u, got);
  EXPECT_EQ(EIO, drive->LastError());
}

}  // namespace
