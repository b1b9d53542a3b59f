#include "disk/sector_device.h"

#include <gtest/gtest.h>

#include "platform/system_error.h"
#include "tests/fake_sector_device.h"

namespace {

TEST(SectorDevice, SetErrorRecordsTheCodeAndTheSystemValueOfTheMoment) {
  FakeSectorDevice device(std::vector<uint8_t>(512), 512);
  EXPECT_EQ(device.GetError(), 0);
  EXPECT_EQ(device.GetSystemError(), 0);
  platform::SetLastSystemError(2);  // ENOENT, ERROR_FILE_NOT_FOUND
  device.SetError(DeviceErrorOpen);
  EXPECT_EQ(device.GetError(), DeviceErrorOpen);
  EXPECT_EQ(device.GetSystemError(), 2);
  platform::SetLastSystemError(0);
  device.SetError(DeviceErrorRead);
  EXPECT_EQ(device.GetError(), DeviceErrorRead);
  EXPECT_EQ(device.GetSystemError(), 0);
}

TEST(SectorDevice, GeometryTravelsWhole) {
  FakeSectorDevice device(std::vector<uint8_t>(512), 512);
  device.SetGeometry({2048, -1, 0x7FFFFFFF});
  const DeviceGeometry g = device.GetGeometry();
  EXPECT_EQ(g.bytesPerSector, 2048);
  EXPECT_EQ(g.capacity, -1);
  EXPECT_EQ(g.baseSector, 0x7FFFFFFF);
}

}  // namespace
