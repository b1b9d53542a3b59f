#include "volume/human_volume.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "tests/fake_sector_device.h"
#include "tests/hand_media.h"
#include "volume/pc_fat_volume.h"
#include "volume/x68k_scsi_volume.h"

namespace {

using namespace handmedia;

// Exposes the fields the tests check.
class InspectableX68kVolume : public X68kScsiVolume {
 public:
  using HumanVolume::currentCluster;
  using HumanVolume::expectedCluster;
  using HumanVolume::fat;
  using HumanVolume::rootDirectory;
  using HumanVolume::sectorMultiplier;
  using X68kScsiVolume::X68kScsiVolume;
};

// A medium of 512-byte device sectors with one partition at 32 KiB of 1024-byte
// sectors, 2 sectors per cluster, 2 FATs of 16 sectors after 1 KiB, 512 root entries.
constexpr size_t kPartition = 32 * 1024;
constexpr size_t kFat = kPartition + 1024;
constexpr size_t kRoot = kPartition + 33 * 1024;
constexpr size_t kData = kRoot + 16384;
constexpr size_t kClusterBytes = 2048;

class OnePartitionOf1024ByteSectors : public ::testing::Test {
 protected:
  OnePartitionOf1024ByteSectors() : media(kData + 64 * kClusterBytes) {
    media.AddPartition(0, 0x20, BootFields());
  }

  // A FAT entry of the first copy, stored big-endian.
  void SetFatEntry(uint16_t cluster, uint16_t value) {
    PutBe16(&media.image, kFat + 2 * static_cast<size_t>(cluster), value);
  }
  void FillCluster(uint16_t cluster, uint8_t value) {
    std::memset(media.image.data() + kData + (cluster - 2) * kClusterBytes, value, kClusterBytes);
  }

  // Reads the table and mounts partition 0; the device log is cleared afterwards.
  void Mount() {
    device = std::make_unique<FakeSectorDevice>(media.image, 512);
    volume = std::make_unique<InspectableX68kVolume>(device.get());
    ASSERT_EQ(volume->ReadPartitionTable(table, 15), 1);
    ASSERT_EQ(volume->SelectPartition(table[0]), 0);
    device->ClearLog();
  }

  X68kMedia media;
  PartitionInfo table[15];
  std::unique_ptr<FakeSectorDevice> device;
  std::unique_ptr<InspectableX68kVolume> volume;
};

TEST_F(OnePartitionOf1024ByteSectors, PartitionTableGivesTheBootSectorsGeometry) {
  device = std::make_unique<FakeSectorDevice>(media.image, 512);
  InspectableX68kVolume scan(device.get());
  ASSERT_EQ(scan.ReadPartitionTable(table, 15), 1);
  const PartitionInfo& p = table[0];
  EXPECT_EQ(p.sectorSize, 1024);
  EXPECT_EQ(p.sectorsPerCluster, 2);
  EXPECT_EQ(p.startSector, 32);
  EXPECT_EQ(p.partitionSectors, 0);
  EXPECT_EQ(p.fatStart, 1);
  EXPECT_EQ(p.fatSectors, 16);
  EXPECT_EQ(p.fatCount, 2);
  EXPECT_EQ(p.rootStart, 33);
  EXPECT_EQ(p.rootBytes, 16384);
  EXPECT_EQ(p.reserved, 0);
  EXPECT_EQ(scan.sectorMultiplier, 2);
  // The head, then the boot sector at device sector 64, 4096 bytes each.
  EXPECT_EQ(device->LogText(), "seek 0\nread 0+8\nseek 64\nread 64+8\n");
}

TEST_F(OnePartitionOf1024ByteSectors, MountReadsFatAndRootWhereTheGeometrySays) {
  device = std::make_unique<FakeSectorDevice>(media.image, 512);
  InspectableX68kVolume v(device.get());
  ASSERT_EQ(v.ReadPartitionTable(table, 15), 1);
  device->ClearLog();
  ASSERT_EQ(v.SelectPartition(table[0]), 0);
  EXPECT_EQ(device->BaseSector(), 64);
  // FAT: 32 device sectors from partition sector 2 into a 32768-byte buffer; root
  // directory once (the root is the current directory), 34 device sectors from 66.
  EXPECT_EQ(device->LogText(),
            "seek 2\nread 66+32\n"
            "seek 66\nread 130+34\n");
  EXPECT_EQ(v.fat.size(), 32768u);
  ASSERT_NE(v.rootDirectory, nullptr);
  EXPECT_EQ(v.rootDirectory->bytes.size(), 17408u);
  EXPECT_EQ(v.rootDirectory->entryBytes, 16384u);
  EXPECT_EQ(v.currentCluster, 0);
}

TEST_F(OnePartitionOf1024ByteSectors,
       ClustersStartWhereTheGeometrySaysAndConsecutiveOnesSkipTheSeek) {
  for (uint16_t c = 2; c <= 10; ++c) FillCluster(c, static_cast<uint8_t>(c));
  Mount();
  std::vector<uint8_t> buffer(kClusterBytes);
  volume->InvalidateCluster();
  ASSERT_EQ(volume->ReadCluster(buffer.data(), 2), 0);
  EXPECT_EQ(buffer, std::vector<uint8_t>(kClusterBytes, 2));
  ASSERT_EQ(volume->ReadCluster(buffer.data(), 3), 0);
  EXPECT_EQ(buffer, std::vector<uint8_t>(kClusterBytes, 3));
  ASSERT_EQ(volume->ReadCluster(buffer.data(), 10), 0);
  EXPECT_EQ(buffer, std::vector<uint8_t>(kClusterBytes, 10));
  // Partition-relative device sectors 98, 102 and 130; cluster 3 follows 2 without a seek.
  EXPECT_EQ(device->LogText(), "seek 98\nread 162+4\nread 166+4\nseek 130\nread 194+4\n");
}

TEST_F(OnePartitionOf1024ByteSectors, SeeksOnlyWhenTheClusterIsNotTheNextOnDisk) {
  Mount();
  std::vector<uint8_t> buffer(kClusterBytes);
  volume->InvalidateCluster();
  for (uint16_t c : {5, 6, 7, 9, 5}) ASSERT_EQ(volume->ReadCluster(buffer.data(), c), 0);
  ASSERT_NE(volume->LoadChain(0), nullptr);  // reading the root moves the device too
  ASSERT_EQ(volume->ReadCluster(buffer.data(), 6), 0);
  EXPECT_EQ(device->LogText(),
            "seek 110\nread 174+4\nread 178+4\nread 182+4\n"
            "seek 126\nread 190+4\n"
            "seek 110\nread 174+4\n"
            "seek 66\nread 130+34\nseek 114\nread 178+4\n");
}

TEST_F(OnePartitionOf1024ByteSectors, OneClusterChainLoadsAsOneClusterAndAnEndEntry) {
  SetFatEntry(4, 0xFFFF);
  FillCluster(4, 0x41);
  Mount();
  auto chain = volume->LoadChain(4);
  ASSERT_NE(chain, nullptr);
  std::vector<uint8_t> expected(kClusterBytes, 0x41);
  expected.resize(kClusterBytes + 32, 0);
  EXPECT_EQ(chain->bytes, expected);
  EXPECT_EQ(chain->entryBytes, expected.size());
}

TEST_F(OnePartitionOf1024ByteSectors, FragmentedChainLoadsInChainOrder) {
  SetFatEntry(7, 3);
  SetFatEntry(3, 4);
  SetFatEntry(4, 0xFFF8);
  FillCluster(7, 'a');
  FillCluster(3, 'b');
  FillCluster(4, 'c');
  Mount();
  auto chain = volume->LoadChain(7);
  ASSERT_NE(chain, nullptr);
  ASSERT_EQ(chain->bytes.size(), 3 * kClusterBytes + 32);
  EXPECT_EQ(chain->bytes[0], 'a');
  EXPECT_EQ(chain->bytes[kClusterBytes], 'b');
  EXPECT_EQ(chain->bytes[2 * kClusterBytes + kClusterBytes - 1], 'c');
  EXPECT_EQ(device->LogText(), "seek 118\nread 182+4\nseek 102\nread 166+4\nread 170+4\n");
}

// Damaged chains are unreadable, never a walk outside the FAT or a walk without end.
struct BrokenChain {
  const char* name;
  std::vector<std::pair<uint16_t, uint16_t>> links;
  uint16_t first;
};

class BrokenChains : public OnePartitionOf1024ByteSectors,
                     public ::testing::WithParamInterface<BrokenChain> {};

TEST_P(BrokenChains, LoadAsUnreadable) {
  for (const auto& link : GetParam().links) SetFatEntry(link.first, link.second);
  Mount();
  EXPECT_EQ(volume->LoadChain(GetParam().first), nullptr);
}

// The FAT holds 16 x 1024 / 2 = 8192 entries.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Volume, BrokenChains,
    ::testing::Values(BrokenChain{"Circular", {{2, 3}, {3, 4}, {4, 2}}, 2},
                      BrokenChain{"PointsToItself", {{5, 5}}, 5},
                      BrokenChain{"IntoClusterZero", {{2, 0}}, 2},
                      BrokenChain{"IntoClusterOne", {{2, 1}}, 2},
                      BrokenChain{"PastTheFat", {{2, 8192}}, 2},
                      BrokenChain{"FarPastTheFat", {{2, 0xFFF0}}, 2},
                      BrokenChain{"StartsAtClusterOne", {}, 1},
                      BrokenChain{"StartsPastTheFat", {}, 9000}),
    [](const ::testing::TestParamInfo<BrokenChain>& info) { return info.param.name; });
// clang-format on

TEST_F(OnePartitionOf1024ByteSectors, DeviceFailureInsideAChainFailsTheLoadAndForgetsThePosition) {
  SetFatEntry(2, 3);
  SetFatEntry(3, 4);
  SetFatEntry(4, 0xFFFF);
  Mount();
  // Cluster 4 lies at partition sectors 106..109, absolute 170..173.
  device->FailSectors(170, 4);
  EXPECT_EQ(volume->LoadChain(2), nullptr);
  EXPECT_EQ(volume->expectedCluster, -1);
  device->ClearFailures();
  device->ClearLog();
  std::vector<uint8_t> buffer(kClusterBytes);
  ASSERT_EQ(volume->ReadCluster(buffer.data(), 5), 0);
  EXPECT_EQ(device->LogText(), "seek 110\nread 174+4\n");
}

TEST_F(OnePartitionOf1024ByteSectors, ReadClusterRefusesClustersOutsideTheDataArea) {
  Mount();
  std::vector<uint8_t> buffer(kClusterBytes);
  for (uint32_t c : {0u, 1u, 8192u, 0xFFFFu}) {
    EXPECT_EQ(volume->ReadCluster(buffer.data(), c), -1) << c;
  }
  EXPECT_EQ(device->LogText(), "");
}

TEST_F(OnePartitionOf1024ByteSectors, FatSectorsComeFromTheNextCopyThatCanGiveThem) {
  // Only the second copy holds entries 5 and 300, in the two device sectors (66 and 67 of
  // the first copy, 98 and 99 of the second) of FAT sector 0: each is taken from whichever
  // copy gives it, also when each copy gives one half.
  PutBe16(&media.image, kFat + 16 * 1024 + 2 * 5, 0xFFFE);
  PutBe16(&media.image, kFat + 16 * 1024 + 2 * 300, 0xFFF9);
  const std::tuple<std::vector<int64_t>, uint16_t, uint16_t> cases[] = {
      {{66}, 0xFFFE, 0}, {{67}, 0, 0xFFF9}, {{66, 99}, 0xFFFE, 0}, {{67, 98}, 0, 0xFFF9}};
  for (const auto& [bad, entry5, entry300] : cases) {
    device = std::make_unique<FakeSectorDevice>(media.image, 512);
    volume = std::make_unique<InspectableX68kVolume>(device.get());
    ASSERT_EQ(volume->ReadPartitionTable(table, 15), 1);
    for (int64_t sector : bad) device->FailSectors(sector, 1);
    ASSERT_EQ(volume->SelectPartition(table[0]), 0);
    EXPECT_EQ(volume->NextCluster(5), entry5) << bad[0];
    EXPECT_EQ(volume->NextCluster(300), entry300) << bad[0];
  }
}

TEST_F(OnePartitionOf1024ByteSectors, FailedFatReadLeavesAVolumeThatRefusesClusterWork) {
  device = std::make_unique<FakeSectorDevice>(media.image, 512);
  volume = std::make_unique<InspectableX68kVolume>(device.get());
  ASSERT_EQ(volume->ReadPartitionTable(table, 15), 1);
  device->FailSectors(66, 1);  // the first FAT sector, in both copies
  device->FailSectors(98, 1);
  EXPECT_EQ(volume->SelectPartition(table[0]), -1);
  EXPECT_TRUE(volume->fat.empty());
  EXPECT_EQ(volume->currentCluster, 0xFFFF);
  device->ClearFailures();
  device->ClearLog();
  std::vector<uint8_t> buffer(kClusterBytes);
  EXPECT_EQ(volume->LoadChain(0), nullptr);
  EXPECT_EQ(volume->LoadChain(2), nullptr);
  EXPECT_EQ(volume->ReadCluster(buffer.data(), 2), -1);
  EXPECT_EQ(volume->NextCluster(2), 0);
  EXPECT_EQ(device->LogText(), "");
}

TEST(ChainValues, EndOfChainCountsOnlyTheLow16Bits) {
  X68kScsiVolume v;
  const std::pair<uint32_t, int> cases[] = {{0xFFF7, 0}, {0xFFF8, 1},  {0xFFFF, 1},
                                            {0, 0},      {0x1FFF8, 1}, {0x10002, 0}};
  for (const auto& c : cases) EXPECT_EQ(v.IsEndOfChain(c.first), c.second) << std::hex << c.first;
}

TEST(ChainValues, SwapsReverseTheBytes) {
  X68kScsiVolume v;
  EXPECT_EQ(v.Swap16(0x1234), 0x3412);
  EXPECT_EQ(v.Swap32(0x12345678u), 0x78563412u);
}

TEST(ChainValues, EachVariantReadsItsFatInItsOwnByteOrder) {
  // One FAT sector after the boot area, entry 2 stored as bytes F8 FF (PC) or FF F8 (X68000).
  std::vector<uint8_t> pc(8 * 512, 0);
  pc[0] = 0xEB;
  pc[510] = 0x55;
  pc[511] = 0xAA;
  pc[12] = 2;   // 512 bytes per sector
  pc[13] = 1;   // sectors per cluster
  pc[14] = 1;   // reserved sectors
  pc[16] = 1;   // FATs
  pc[17] = 16;  // root entries
  pc[22] = 1;   // sectors per FAT
  pc[512 + 4] = 0xF8;
  pc[512 + 5] = 0xFF;
  pc[512 + 6] = 0x34;
  pc[512 + 7] = 0x12;
  FakeSectorDevice pcDevice(pc, 512);
  PcFatVolume pcVolume(&pcDevice);
  PartitionInfo info[1];
  ASSERT_EQ(pcVolume.ReadPartitionTable(info, 1), 1);
  ASSERT_EQ(pcVolume.SelectPartition(info[0]), 0);
  EXPECT_EQ(pcVolume.NextCluster(2), 0xFFF8);
  EXPECT_EQ(pcVolume.IsEndOfChain(pcVolume.NextCluster(2)), 1);
  EXPECT_EQ(pcVolume.NextCluster(3), 0x1234);

  X68kMedia x68k(kData + 16 * kClusterBytes);
  x68k.AddPartition(0, 0x20, BootFields());
  x68k.image[kFat + 4] = 0xFF;
  x68k.image[kFat + 5] = 0xF8;
  x68k.image[kFat + 6] = 0x12;
  x68k.image[kFat + 7] = 0x34;
  FakeSectorDevice xDevice(x68k.image, 512);
  X68kScsiVolume xVolume(&xDevice);
  PartitionInfo table[15];
  ASSERT_EQ(xVolume.ReadPartitionTable(table, 15), 1);
  ASSERT_EQ(xVolume.SelectPartition(table[0]), 0);
  EXPECT_EQ(xVolume.NextCluster(2), 0xFFF8);
  EXPECT_EQ(xVolume.NextCluster(3), 0x1234);
}

// Boot values that would divide by zero or make no progress make the partition
// unreadable: Mount fails and nothing is read past the boot records.
struct BadBoot {
  const char* name;
  BootFields boot;
};

class BadBootValues : public ::testing::TestWithParam<BadBoot> {};

TEST_P(BadBootValues, MakeThePartitionUnreadable) {
  X68kMedia media(kData + 16 * kClusterBytes);
  media.AddPartition(0, 0x20, GetParam().boot);
  FakeSectorDevice device(media.image, 512);
  InspectableX68kVolume volume(&device);
  PartitionInfo table[15];
  const int count = volume.ReadPartitionTable(table, 15);
  if (count == 1) {
    EXPECT_EQ(volume.SelectPartition(table[0]), -1);
    EXPECT_EQ(volume.LoadChain(0), nullptr);
  } else {
    EXPECT_EQ(count, 0);
  }
}

BootFields WithSectorSize(uint16_t size) {
  BootFields b;
  b.sectorSize = size;
  return b;
}
BootFields WithSectorsPerCluster(uint8_t spc) {
  BootFields b;
  b.sectorsPerCluster = spc;
  return b;
}
BootFields WithFatSectors(uint8_t sectors) {
  BootFields b;
  b.fatSectors = sectors;
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Volume, BadBootValues,
    ::testing::Values(BadBoot{"ZeroSectorSize", WithSectorSize(0)},
                      BadBoot{"SectorSizeBetweenDeviceSectors", WithSectorSize(768)},
                      BadBoot{"ZeroSectorsPerCluster", WithSectorsPerCluster(0)},
                      BadBoot{"ZeroFatSectors", WithFatSectors(0)}),
    [](const ::testing::TestParamInfo<BadBoot>& info) { return info.param.name; });

TEST(Mount, EachPartitionIsReadWithItsOwnSectorSize) {
  // Partition 0 has 1024-byte sectors, partition 1 2048-byte sectors, on a 512-byte device.
  // The scan leaves the multiplier of the last one; mounting partition 0 must not use it.
  X68kMedia media(kData + 16 * kClusterBytes + 512 * 1024);
  media.AddPartition(0, 0x20, BootFields());
  BootFields second;
  second.sectorSize = 2048;
  second.unitsBeforeFat = 2;
  media.AddPartition(1, 0x100, second);
  std::memset(media.image.data() + kData, 'x', kClusterBytes);
  PutBe16(&media.image, kFat + 4, 0xFFFF);
  FakeSectorDevice device(media.image, 512);
  InspectableX68kVolume volume(&device);
  PartitionInfo table[15];
  ASSERT_EQ(volume.ReadPartitionTable(table, 15), 2);
  EXPECT_EQ(volume.sectorMultiplier, 4);
  ASSERT_EQ(volume.SelectPartition(table[0]), 0);
  EXPECT_EQ(volume.sectorMultiplier, 2);
  auto chain = volume.LoadChain(2);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->bytes[0], 'x');
  EXPECT_EQ(chain->bytes[kClusterBytes - 1], 'x');
}

TEST(Mount, OversizedFatIsReadOnlyAsFarAsSixteenBitClustersReach) {
  // A PC boot record claiming 65535 sectors per FAT: the volume reads 128 KiB of it.
  std::vector<uint8_t> pc(512 * 1024, 0);
  pc[0] = 0xEB;
  pc[510] = 0x55;
  pc[511] = 0xAA;
  pc[12] = 2;
  pc[13] = 4;
  pc[14] = 1;
  pc[16] = 2;
  pc[17] = 16;
  PutLe16(&pc, 22, 0xFFFF);
  FakeSectorDevice device(pc, 512);
  PcFatVolume volume(&device);
  PartitionInfo info[1];
  ASSERT_EQ(volume.ReadPartitionTable(info, 1), 1);
  device.ClearLog();
  volume.SelectPartition(info[0]);
  ASSERT_GE(device.Log().size(), 2u);
  EXPECT_EQ(device.Log()[1],
            (FakeSectorDevice::Operation{FakeSectorDevice::Operation::kRead, 1, 256}));
}

TEST(Construction, FreshVolumeState) {
  X68kScsiVolume x;
  PcFatVolume pc;
  char text[4] = {'?', '?', '?', '?'};
  EXPECT_EQ(x.GetCurrentDir(text, 4), 1);
  EXPECT_EQ(std::string(text, 4), std::string("\\\0\0\0", 4));
  EXPECT_EQ(x.SetOptions(3), 7);
  EXPECT_EQ(x.SetOptions(0), 3);
  EXPECT_EQ(pc.SetOptions(1), 7);
  EXPECT_EQ(x.FileWrite(nullptr, nullptr, 0), VolumeErrorIo);
  FileHandle untagged;
  EXPECT_EQ(pc.FileWrite(&untagged, "x", 1), VolumeErrorIo);
}

}  // namespace
