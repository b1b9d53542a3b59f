#include "disk/nt_disk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fake_raw_drive.h"

namespace {

using ::testing::ElementsAre;

constexpr char kDrive[] = "\\\\.\\PHYSICALDRIVE3";

class NtDiskTest : public ::testing::Test {
 protected:
  // A drive of `sectors` sectors whose byte i is i % 251.
  void AddDrive(size_t bytes, uint32_t sectorSize = 0) {
    std::vector<uint8_t> image(bytes);
    for (size_t i = 0; i < bytes; ++i) image[i] = static_cast<uint8_t>(i % 251);
    drives.AddDrive(kDrive, image, sectorSize);
  }
  int OpenDrive() {
    disk.SetName(kDrive);
    return disk.Open(0);
  }

  FakeRawDriveService drives;
  NtDisk disk{&drives};
};

TEST_F(NtDiskTest, OpenFindsSizeAndSectorSize) {
  AddDrive(40960, 2048);
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(disk.GetGeometry().bytesPerSector, 2048);
  EXPECT_EQ(disk.GetGeometry().capacity, 40960);
  EXPECT_EQ(disk.GetError(), 0);
  EXPECT_THAT(drives.Log(), ElementsAre(std::string("open ") + kDrive, "seek 0 end", "seek 0 begin",
                                        "sectorsize"));
  EXPECT_STREQ(disk.Describe(), "Physical Disk for WindowsNT(HDD/MO/...)");
}

TEST_F(NtDiskTest, DriveWithoutSectorSizeIsReadIn512ByteSectors) {
  AddDrive(4096);
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(disk.GetGeometry().bytesPerSector, 512);
  EXPECT_EQ(disk.GetError(), 0);
}

TEST_F(NtDiskTest, FailedSizeQueryLeavesCapacityAllOnes) {
  AddDrive(4096);
  drives.FailSeek(87);
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(disk.GetGeometry().capacity, -1);
}

TEST_F(NtDiskTest, SeekCountsFromTheChosenOriginInSectors) {
  AddDrive(1 << 20);
  ASSERT_EQ(OpenDrive(), 0);
  disk.SetGeometry({512, 0, 2});
  EXPECT_EQ(disk.Seek(0, 0), 1024);
  EXPECT_EQ(disk.Seek(3, 1), 2560);
  EXPECT_EQ(disk.Seek(-2, 2), (1 << 20) - 1024);
  EXPECT_THAT(std::vector<std::string>(drives.Log().begin() + 4, drives.Log().end()),
              ElementsAre("seek 1024 begin", "seek 1536 current", "seek -1024 end"));
}

TEST_F(NtDiskTest, PositionsBeyond2GiBAreFormedIn64Bits) {
  AddDrive(512);
  ASSERT_EQ(OpenDrive(), 0);
  disk.SetGeometry({2048, 0, 0x200000});   // 4 GiB
  EXPECT_EQ(disk.Seek(1, 0), 0x7FFFFFFF);  // beyond what the result can show
  EXPECT_EQ(drives.Log().back(), "seek 4294969344 begin");
  EXPECT_EQ(drives.Position(), 4294969344u);
}

TEST_F(NtDiskTest, SeekFailureRecordsTheSystemError) {
  AddDrive(4096);
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(disk.Seek(-1, 0), -1);
  EXPECT_EQ(disk.GetError(), 22);
  EXPECT_EQ(disk.GetSystemError(), 22);
  EXPECT_EQ(disk.Seek(0, 3), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorUnsupported);
}

TEST_F(NtDiskTest, ReadIsOneTransferAndAdvances) {
  AddDrive(8192);
  ASSERT_EQ(OpenDrive(), 0);
  disk.Seek(2, 0);
  std::vector<uint8_t> buffer(1024);
  ASSERT_EQ(disk.Read(buffer.data(), 2), 0);
  EXPECT_EQ(drives.Log().back(), "read 1024");
  EXPECT_EQ(buffer[0], 1024 % 251);
  EXPECT_EQ(buffer[1023], 2047 % 251);
  EXPECT_EQ(drives.Position(), 2048u);
}

TEST_F(NtDiskTest, CountZeroReadsNothingAndSucceeds) {
  AddDrive(4096);
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(disk.Read(nullptr, 0), 0);
  EXPECT_EQ(drives.Log().back(), "sectorsize");
}

TEST_F(NtDiskTest, ShortReadAtTheEndFails) {
  AddDrive(4096 + 100);
  ASSERT_EQ(OpenDrive(), 0);
  disk.Seek(8, 0);
  std::vector<uint8_t> buffer(512);
  EXPECT_EQ(disk.Read(buffer.data(), 1), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorRead);
  EXPECT_EQ(drives.Position(), 4196u);  // moved by what was read
}

TEST_F(NtDiskTest, FailedReadKeepsTheSystemError) {
  AddDrive(4096);
  ASSERT_EQ(OpenDrive(), 0);
  drives.FailRead(5);
  std::vector<uint8_t> buffer(512);
  EXPECT_EQ(disk.Read(buffer.data(), 1), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorRead);
  EXPECT_EQ(disk.GetSystemError(), 5);
}

TEST_F(NtDiskTest, OpenFailures) {
  struct Case {
    const char* what;
    std::string name;
    int openError;
    int expected;
    bool platformAsked;
  };
  const Case cases[] = {
      {"empty name", "", 0, DeviceErrorOpen, false},
      {"name of 260 bytes", std::string(260, 'x'), 0, DeviceErrorOpen, false},
      {"no such drive", "\\\\.\\PHYSICALDRIVE9", 0, FakeRawDriveService::kNoSuchDrive, true},
      {"access denied", kDrive, 5, 5, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeRawDriveService service;
    service.AddDrive(kDrive, std::vector<uint8_t>(512));
    service.FailOpen(c.openError);
    NtDisk d(&service);
    d.SetName(c.name.c_str());
    EXPECT_EQ(d.Open(0), -1);
    EXPECT_EQ(d.GetError(), c.expected);
    EXPECT_EQ(service.Log().empty(), !c.platformAsked);
    EXPECT_EQ(service.OpenDrives(), 0);
    EXPECT_EQ(d.Close(), -1);
  }
}

TEST_F(NtDiskTest, NameOf259BytesIsKept) {
  const std::string name(259, 'y');
  drives.AddDrive(name, std::vector<uint8_t>(512));
  disk.SetName(name.c_str());
  EXPECT_EQ(disk.GetName(), name);
  EXPECT_EQ(disk.Open(0), 0);
}

TEST_F(NtDiskTest, WriteAccessAndWritesAreRefused) {
  AddDrive(4096);
  disk.SetName(kDrive);
  EXPECT_EQ(disk.Open(1), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorUnsupported);
  EXPECT_TRUE(drives.Log().empty());
  EXPECT_EQ(disk.Write("x", 1), -1);
  EXPECT_EQ(disk.Reserved(), -1);
}

TEST_F(NtDiskTest, CloseTwiceRecordsNothingTheSecondTime) {
  AddDrive(4096);
  ASSERT_EQ(OpenDrive(), 0);
  EXPECT_EQ(disk.Close(), 0);
  EXPECT_EQ(drives.OpenDrives(), 0);
  EXPECT_EQ(disk.Close(), -1);
  EXPECT_EQ(disk.GetError(), 0);
}

TEST_F(NtDiskTest, SecondOpenReplacesTheFirstHandle) {
  AddDrive(4096);
  ASSERT_EQ(OpenDrive(), 0);
  ASSERT_EQ(disk.Open(0), 0);
  EXPECT_EQ(drives.OpenDrives(), 1);
}

TEST_F(NtDiskTest, ReadAndSeekWhenClosedFail) {
  uint8_t buffer[512];
  EXPECT_EQ(disk.Read(buffer, 1), -1);
  EXPECT_EQ(disk.Seek(0, 0), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorRead);
}

}  // namespace
