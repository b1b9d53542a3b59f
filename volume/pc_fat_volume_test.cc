#include "volume/pc_fat_volume.h"

#include <gtest/gtest.h>

#include "tests/fake_sector_device.h"
#include "tests/hand_media.h"

namespace {

class InspectablePcVolume : public PcFatVolume {
 public:
  using HumanVolume::sectorMultiplier;
  using PcFatVolume::PcFatVolume;
};

TEST(PcPartitionTable, TheMediumIsOnePartition) {
  auto image = handmedia::PcMedia(64 * 1024, 512, 4, 1, 2, 512, 9);
  handmedia::PutLe16(&image, 19, 20000);
  FakeSectorDevice device(image, 512);
  InspectablePcVolume volume(&device);
  PartitionInfo table[15];
  ASSERT_EQ(volume.ReadPartitionTable(table, 15), 1);
  const PartitionInfo& p = table[0];
  EXPECT_EQ(p.sectorSize, 512);
  EXPECT_EQ(p.sectorsPerCluster, 4);
  EXPECT_EQ(p.startSector, 0);
  EXPECT_EQ(p.partitionSectors, 20000);
  EXPECT_EQ(p.fatStart, 1);
  EXPECT_EQ(p.fatSectors, 9);
  EXPECT_EQ(p.fatCount, 2);
  EXPECT_EQ(p.rootStart, 19);
  EXPECT_EQ(p.rootBytes, 16384);
  EXPECT_EQ(p.reserved, 0);
  EXPECT_EQ(volume.sectorMultiplier, 1);
}

TEST(PcPartitionTable, TotalSectorsComeFromTheLongFieldWhenTheShortOneIsZero) {
  auto image = handmedia::PcMedia(64 * 1024, 512, 4, 1, 2, 512, 9);
  image[32] = 0x40;
  image[33] = 0x42;
  image[34] = 0x0F;
  FakeSectorDevice device(image, 512);
  PcFatVolume volume(&device);
  PartitionInfo table[1];
  ASSERT_EQ(volume.ReadPartitionTable(table, 1), 1);
  EXPECT_EQ(table[0].partitionSectors, 1000000);
}

TEST(PcPartitionTable, SectorSizeComparedWithTheDevice) {
  struct Case {
    uint16_t sectorSize;
    int32_t deviceSector;
    int records;
    int multiplier;
  };
  // The low byte of the field is not used: 0x0201 reads as 512.
  const Case cases[] = {{512, 512, 1, 1},  {2048, 512, 1, 4},   {256, 512, 0, 1},
                        {512, 2048, 0, 1}, {0x0201, 512, 1, 1}, {0, 512, 0, 1}};
  for (const Case& c : cases) {
    auto image = handmedia::PcMedia(64 * 1024, c.sectorSize, 4, 1, 2, 512, 9);
    FakeSectorDevice device(image, c.deviceSector);
    InspectablePcVolume volume(&device);
    PartitionInfo table[1];
    EXPECT_EQ(volume.ReadPartitionTable(table, 1), c.records) << c.sectorSize;
    EXPECT_EQ(volume.sectorMultiplier, c.multiplier) << c.sectorSize;
  }
}

TEST(PcPartitionTable, CapacityZeroFillsNothing) {
  auto image = handmedia::PcMedia(64 * 1024, 512, 4, 1, 2, 512, 9);
  FakeSectorDevice device(image, 512);
  PcFatVolume volume(&device);
  PartitionInfo untouched;
  untouched.sectorSize = 77;
  EXPECT_EQ(volume.ReadPartitionTable(&untouched, 0), 0);
  EXPECT_EQ(untouched.sectorSize, 77);
}

}  // namespace
