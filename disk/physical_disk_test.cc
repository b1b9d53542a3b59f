#include "disk/physical_disk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "tests/fake_aspi.h"
#include "tests/fake_platform_family.h"
#include "tests/fake_raw_drive.h"
#include "tests/fake_vwin32.h"

namespace {

using platform::PlatformFamily;

constexpr char kNtDrive[] = "\\\\.\\PHYSICALDRIVE3";

// The three back ends' platforms, each serving a disk whose first byte tells them apart.
class PhysicalDiskTest : public ::testing::Test {
 protected:
  PhysicalDiskTest() : vwin32(Bytes(0x95, 4096), FakeVwin32Geometry()) {
    drives.AddDrive(kNtDrive, Bytes(0x17, 4096), 512);
    aspi.SetImage(Bytes(0xA5, 4096));
  }

  static std::vector<uint8_t> Bytes(uint8_t value, size_t size) {
    return std::vector<uint8_t>(size, value);
  }

  std::unique_ptr<PhysicalDisk> Make(PlatformFamily family) {
    families.push_back(std::make_unique<FakePlatformFamily>(family));
    return std::make_unique<PhysicalDisk>(&drives, &aspi, &vwin32, families.back().get());
  }

  // The first byte of sector 0 read through `disk`, or -1.
  static int FirstByte(PhysicalDisk* disk) {
    uint8_t buffer[512] = {};
    if (disk->Seek(0, 0) < 0 || disk->Read(buffer, 1) < 0) return -1;
    return buffer[0];
  }

  FakeRawDriveService drives;
  FakeAspiLibrary aspi;
  FakeVwin32Service vwin32;
  std::vector<std::unique_ptr<FakePlatformFamily>> families;
};

TEST_F(PhysicalDiskTest, ModeFollowsFamilyAndName) {
  struct Case {
    PlatformFamily family;
    const char* name;
    DeviceMode mode;
    int setName;
    int firstByte;
  };
  const Case cases[] = {
      {PlatformFamily::kNt, kNtDrive, DeviceModeNt, 0, 0x17},
      {PlatformFamily::kNt, "0:3:0", DeviceModeAspi, 0, 0xA5},
      {PlatformFamily::kWin95, "A:", DeviceModeWin95, 0, 0x95},
      {PlatformFamily::kWin95, "0:3:0", DeviceModeAspi, 0, 0xA5},
      {PlatformFamily::kOther, "A:", DeviceModeNone, -1, -1},
      {PlatformFamily::kOther, "0:3:0", DeviceModeAspi, 0, 0xA5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto disk = Make(c.family);
    EXPECT_EQ(disk->SetName(c.name), c.setName);
    EXPECT_EQ(disk->Mode(), c.mode);
    EXPECT_EQ(disk->Open(0), c.setName);
    EXPECT_EQ(FirstByte(disk.get()), c.firstByte);
  }
}

TEST_F(PhysicalDiskTest, AspiIsKeptForLaterLetterNames) {
  auto disk = Make(PlatformFamily::kNt);
  disk->SetName("0:3:0");
  disk->SetName(kNtDrive);
  EXPECT_EQ(disk->Mode(), DeviceModeAspi);
  EXPECT_STREQ(disk->GetName(), kNtDrive);
  EXPECT_EQ(disk->Open(0), -1);  // AspiDisk reads no number from it
}

TEST_F(PhysicalDiskTest, ForwardsToTheActiveBackEnd) {
  auto disk = Make(PlatformFamily::kNt);
  EXPECT_EQ(disk->SetName(kNtDrive), 0);
  EXPECT_STREQ(disk->GetName(), kNtDrive);
  EXPECT_STREQ(disk->Describe(), "Physical Disk for WindowsNT(HDD/MO/...)");
  ASSERT_EQ(disk->Open(0), 0);
  disk->SetGeometry({512, 4096, 2});
  const DeviceGeometry g = disk->GetGeometry();
  EXPECT_EQ(g.bytesPerSector, 512);
  EXPECT_EQ(g.capacity, 4096);
  EXPECT_EQ(g.baseSector, 2);
  EXPECT_EQ(disk->Seek(1, 0), 1536);
  EXPECT_EQ(disk->DiskCount(), 1);
  uint8_t buffer[1024];
  EXPECT_EQ(disk->Read(buffer, 2), 0);
  EXPECT_EQ(buffer[1023], 0x17);
  EXPECT_EQ(disk->Seek(5, 0), 3584);
  EXPECT_EQ(disk->Read(buffer, 2), -1);  // runs off the end of the 4096-byte drive
  // The back end's error stays in the back end.
  EXPECT_EQ(disk->GetError(), 0);
  EXPECT_EQ(disk->Close(), 0);
  EXPECT_EQ(disk->Close(), -1);
  EXPECT_EQ(drives.OpenDrives(), 0);

  auto win95 = Make(PlatformFamily::kWin95);
  EXPECT_STREQ(win95->Describe(), "Physical Disk for Windows95(HDD/MO/...)");
}

TEST_F(PhysicalDiskTest, WriteAndReservedAreNeverForwarded) {
  for (PlatformFamily family : {PlatformFamily::kNt, PlatformFamily::kOther}) {
    auto disk = Make(family);
    EXPECT_EQ(disk->Write("x", 1), -1);
    EXPECT_EQ(disk->GetError(), DeviceErrorUnsupported);
    EXPECT_EQ(disk->Reserved(), -1);
  }
}

TEST_F(PhysicalDiskTest, ModeNoneAnswers) {
  auto disk = Make(PlatformFamily::kOther);
  EXPECT_EQ(disk->GetError(), 0);
  EXPECT_STREQ(disk->Describe(), "Physical Disk(HDD/MO/...)");
  EXPECT_EQ(disk->GetError(), 0);
  EXPECT_STREQ(disk->GetName(), "Unknown Physical Disk Mode");
  EXPECT_EQ(disk->GetError(), DeviceErrorUnsupported);

  auto fresh = Make(PlatformFamily::kOther);
  const DeviceGeometry g = fresh->GetGeometry();
  EXPECT_EQ(g.bytesPerSector, 0);
  EXPECT_EQ(g.capacity, 0);
  EXPECT_EQ(g.baseSector, 0);
  EXPECT_EQ(fresh->GetError(), DeviceErrorUnsupported);

  fresh->SetGeometry({512, 1, 2});
  EXPECT_EQ(fresh->GetGeometry().baseSector, 0);
  uint8_t buffer[512];
  EXPECT_EQ(fresh->Open(0), -1);
  EXPECT_EQ(fresh->Close(), -1);
  EXPECT_EQ(fresh->Read(buffer, 1), -1);
  EXPECT_EQ(fresh->Seek(0, 0), -1);
  EXPECT_EQ(fresh->SetName("A:"), -1);
  EXPECT_EQ(fresh->DiskCount(), 0);
  EXPECT_EQ(fresh->SelectDisk(0), -1);
  EXPECT_EQ(fresh->GetError(), DeviceErrorUnsupported);
  EXPECT_TRUE(drives.Log().empty());
  EXPECT_EQ(vwin32.PortsOpened(), 0);
}

TEST_F(PhysicalDiskTest, DestructionClosesTheBackEnd) {
  {
    auto disk = Make(PlatformFamily::kNt);
    disk->SetName(kNtDrive);
    ASSERT_EQ(disk->Open(0), 0);
    EXPECT_EQ(drives.OpenDrives(), 1);
  }
  EXPECT_EQ(drives.OpenDrives(), 0);
  {
    auto disk = Make(PlatformFamily::kWin95);
    disk->SetName("A:");
    ASSERT_EQ(disk->Open(0), 0);
  }
  EXPECT_EQ(vwin32.OpenPorts(), 0);
  EXPECT_EQ(aspi.EventsAlive(), 0);
}

}  // namespace
