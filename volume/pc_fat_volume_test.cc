#include "volume/pc_fat_volume.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "tests/fake_sector_device.h"
#include "tests/hand_media.h"

namespace {

class InspectablePcVolume : public PcFatVolume {
 public:
  using HumanVolume::fatBits;
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

// A FAT12 medium of 128 sectors of 512 bytes: 1 reserved, 2 FATs of 2 sectors (682
// entries each), 16 root entries, 122 clusters of one sector.
constexpr size_t kFat12 = 512;

std::vector<uint8_t> Fat12Media() {
  auto image = handmedia::PcMedia(128 * 512, 512, 1, 1, 2, 16, 2);
  handmedia::PutLe16(&image, 19, 128);
  return image;
}

// Entry n in the MS-DOS packing, in both FAT copies.
void PutFat12(std::vector<uint8_t>* image, uint32_t n, uint16_t value) {
  for (size_t copy : {kFat12, kFat12 + 1024}) {
    const size_t at = copy + n * 3 / 2;
    const uint16_t word = static_cast<uint16_t>((*image)[at] | ((*image)[at + 1] << 8));
    handmedia::PutLe16(image, at,
                       n % 2 != 0 ? (word & 0x000F) | (value << 4) : (word & 0xF000) | value);
  }
}

TEST(PcFatWidth, FewerThan4085ClustersMakeA12BitFat) {
  // Total sectors, and the width: the data area starts at sector 6.
  const std::pair<uint16_t, int> cases[] = {{128, 12}, {4084 + 6, 12}, {4085 + 6, 16}, {0, 16}};
  for (const auto& [total, bits] : cases) {
    auto image = Fat12Media();
    handmedia::PutLe16(&image, 19, total);
    FakeSectorDevice device(image, 512);
    InspectablePcVolume volume(&device);
    PartitionInfo table[1];
    ASSERT_EQ(volume.ReadPartitionTable(table, 1), 1);
    ASSERT_EQ(volume.SelectPartition(table[0]), 0);
    EXPECT_EQ(volume.fatBits, bits) << total;
  }
}

TEST(PcFatWidth, Fat32MediaAreNotRecognised) {
  auto image = Fat12Media();
  FakeSectorDevice device(image, 512);
  EXPECT_EQ(PcFatVolume().Recognize(&device), 1);
  device.Image()[22] = 0;
  EXPECT_EQ(PcFatVolume().Recognize(&device), 0);
}

TEST(Fat12, EntriesOfEvenAndOddClustersAndTheirMarks) {
  // Cluster, stored entry, end of chain. Entry 341 straddles the two FAT sectors.
  const std::tuple<uint32_t, uint16_t, int> cases[] = {
      {2, 0x345, 0}, {3, 0xABC, 0}, {4, 0xFF7, 0},   {5, 0xFF8, 1},
      {6, 0xFFF, 1}, {7, 0x000, 0}, {341, 0x9D1, 0}, {681, 0xFFE, 1}};
  auto image = Fat12Media();
  for (const auto& [cluster, value, end] : cases) PutFat12(&image, cluster, value);
  FakeSectorDevice device(image, 512);
  PcFatVolume volume(&device);
  PartitionInfo table[1];
  ASSERT_EQ(volume.ReadPartitionTable(table, 1), 1);
  ASSERT_EQ(volume.SelectPartition(table[0]), 0);
  EXPECT_EQ(volume.FatEntryCount(), 682u);
  for (const auto& [cluster, value, end] : cases) {
    EXPECT_EQ(volume.NextCluster(cluster), value) << cluster;
    EXPECT_EQ(volume.IsEndOfChain(volume.NextCluster(cluster)), end) << cluster;
  }
  EXPECT_EQ(volume.NextCluster(682), 0);
  EXPECT_EQ(volume.IsEndOfChain(0xFFF8), 0);
  // A chain into a bad cluster mark is broken; one that returns to itself loops.
  const std::tuple<uint16_t, ChainStep, size_t> chains[] = {
      {8, ChainStep::kLoop, 2}, {4, ChainStep::kBroken, 1}, {5, ChainStep::kEnd, 1}};
  PutFat12(&device.Image(), 8, 9);
  PutFat12(&device.Image(), 9, 8);
  ASSERT_EQ(volume.SelectPartition(table[0]), 0);
  for (const auto& [first, stop, length] : chains) {
    ChainCursor chain(first);
    while (volume.FollowChain(&chain) == ChainStep::kCluster) {
    }
    EXPECT_EQ(chain.stop, stop) << first;
    EXPECT_EQ(chain.clusters.size(), length) << first;
  }
}

TEST(Fat12, AnEntryStraddlingAnUnreadFatSectorIsUnknown) {
  // The FAT sector no copy gives, and the clusters whose entries become unknown: entry 341
  // (bytes 511 and 512) with either sector.
  const std::pair<int64_t, uint32_t> cases[] = {{0, 340}, {1, 341}};
  for (const auto& [bad, unknown] : cases) {
    FakeSectorDevice device(Fat12Media(), 512);
    device.FailSectors(1 + bad, 1);
    device.FailSectors(3 + bad, 1);
    PcFatVolume volume(&device);
    volume.SetRescue(1);
    PartitionInfo table[1];
    ASSERT_EQ(volume.ReadPartitionTable(table, 1), 1);
    ASSERT_EQ(volume.SelectPartition(table[0]), 0);
    EXPECT_EQ(volume.UnknownFatEntries(), unknown) << bad;
  }
}

}  // namespace
