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
// entries each), 16 root entries, 122 clusters. `entries` are set in both FAT copies,
// packed as MS-DOS packs them.
std::vector<uint8_t> Fat12Media(const std::vector<std::pair<uint32_t, uint16_t>>& entries = {}) {
  auto image = handmedia::PcMedia(128 * 512, 512, 1, 1, 2, 16, 2);
  handmedia::PutLe16(&image, 19, 128);
  for (const auto& [n, value] : entries) {
    for (size_t at : {512 + n * 3 / 2, 1536 + n * 3 / 2}) {
      const uint16_t word = static_cast<uint16_t>(image[at] | (image[at + 1] << 8));
      handmedia::PutLe16(&image, at,
                         n % 2 != 0 ? (word & 0x000F) | (value << 4) : (word & 0xF000) | value);
    }
  }
  return image;
}

// Mounts the medium's one partition: the FAT width, or 0.
int MountedWidth(InspectablePcVolume* volume) {
  PartitionInfo table[1];
  if (volume->ReadPartitionTable(table, 1) != 1 || volume->SelectPartition(table[0]) != 0) return 0;
  return volume->fatBits;
}

TEST(Fat12, FewerThan4085ClustersMakeA12BitFat) {
  // Total sectors (the data area starts at sector 6), and the width.
  const std::pair<uint16_t, int> cases[] = {{128, 12}, {4084 + 6, 12}, {4085 + 6, 16}, {0, 16}};
  for (const auto& [total, bits] : cases) {
    FakeSectorDevice device(Fat12Media(), 512);
    handmedia::PutLe16(&device.Image(), 19, total);
    InspectablePcVolume volume(&device);
    EXPECT_EQ(MountedWidth(&volume), bits) << total;
  }
}

TEST(Fat12, EntriesOfEvenAndOddClustersTheirMarksAndLoops) {
  // Cluster, stored entry, end of chain. Entry 341 straddles the two FAT sectors.
  const std::tuple<uint32_t, uint16_t, int> cases[] = {
      {2, 0x345, 0}, {3, 0xABC, 0}, {4, 0xFF7, 0}, {5, 0xFF8, 1},   {6, 0xFFF, 1},
      {7, 0x000, 0}, {8, 9, 0},     {9, 8, 0},     {341, 0x9D1, 0}, {681, 0xFFE, 1}};
  std::vector<std::pair<uint32_t, uint16_t>> entries;
  for (const auto& [cluster, value, end] : cases) entries.emplace_back(cluster, value);
  FakeSectorDevice device(Fat12Media(entries), 512);
  InspectablePcVolume volume(&device);
  ASSERT_EQ(MountedWidth(&volume), 12);
  EXPECT_EQ(volume.FatEntryCount(), 682u);
  for (const auto& [cluster, value, end] : cases) {
    EXPECT_EQ(volume.NextCluster(cluster), value) << cluster;
    EXPECT_EQ(volume.IsEndOfChain(volume.NextCluster(cluster)), end) << cluster;
  }
  EXPECT_EQ(volume.NextCluster(682), 0);
  // 8 and 9 link to each other: a loop, which cannot be loaded, as with 16-bit entries.
  EXPECT_EQ(volume.ChainLength(8), 2u);
  EXPECT_EQ(volume.LoadChain(8), nullptr);
  EXPECT_NE(volume.LoadChain(5), nullptr);
}

TEST(Fat12, AnEntryStraddlingAnUnreadFatSectorIsUnknown) {
  // The FAT sector no copy gives, and the clusters whose entries become unknown: entry 341
  // (bytes 511 and 512) with either sector.
  const std::pair<int64_t, uint32_t> cases[] = {{0, 340}, {1, 341}};
  for (const auto& [bad, unknown] : cases) {
    FakeSectorDevice device(Fat12Media(), 512);
    device.FailSectors(1 + bad, 1);
    device.FailSectors(3 + bad, 1);
    InspectablePcVolume volume(&device);
    volume.SetRescue(1);
    ASSERT_EQ(MountedWidth(&volume), 12);
    EXPECT_EQ(volume.UnknownFatEntries(), unknown) << bad;
  }
}

}  // namespace
