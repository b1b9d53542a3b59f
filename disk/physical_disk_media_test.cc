// Real files and block devices read through PhysicalDisk with the system's services, and
// mounted through the volume layer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "disk/physical_disk.h"
#include "tests/support_loop_device.h"
#include "tools/image_builder.h"
#include "volume/x68k_scsi_volume.h"

namespace {

namespace ib = imagebuilder;

const std::string kContents = "X68000 contents read through a real device\r\n";

ib::Image BuildImage(uint32_t deviceSectorSize, uint16_t partitionSectorSize) {
  ib::PartitionLayout partition;
  partition.sectorSize = partitionSectorSize;
  partition.root = {ib::File("HELLO.TXT", kContents),
                    ib::Dir("SUB", {ib::File("DEEP.DAT", std::string(5000, 'q'))})};
  ib::X68kImageLayout layout;
  layout.deviceSectorSize = deviceSectorSize;
  layout.partitions = {partition};
  return ib::BuildX68k(layout);
}

// Writes `bytes` at `offset` of an existing file.
bool WriteAt(const std::string& path, uint64_t offset, const uint8_t* bytes, size_t size) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  file.close();
  return !file.fail();
}

class PhysicalDiskMediaTest : public ::testing::Test {
 protected:
  PhysicalDiskMediaTest()
      : drives(platform::NewSystemRawDriveService()),
        aspi(platform::NewSystemAspiLibrary()),
        vwin32(platform::NewSystemVwin32Service()),
        family(platform::NewSystemPlatformFamilyQuery()),
        disk(drives.get(), aspi.get(), vwin32.get(), family.get()) {}

  // Recognises the media behind `disk`, mounts its first partition, finds HELLO.TXT in the
  // root directory and reads the clusters of both files.
  void ExpectMountsAndReads(const ib::Image& image, int32_t sectorSize) {
    EXPECT_EQ(disk.GetGeometry().bytesPerSector, sectorSize);
    ASSERT_EQ(X68kScsiVolume().Recognize(&disk), 1);
    std::unique_ptr<HumanVolume> volume = X68kScsiVolume().Create(&disk);
    ASSERT_TRUE(volume);
    PartitionInfo table[15];
    ASSERT_EQ(volume->ReadPartitionTable(table, 15), 1);
    ASSERT_EQ(volume->SelectPartition(table[0]), 0);

    std::unique_ptr<LoadedChain> root = volume->LoadChain(0);
    ASSERT_TRUE(root);
    bool found = false;
    for (size_t at = 0; at + 32 <= root->entryBytes; at += 32) {
      found = found || std::memcmp(root->bytes.data() + at, "HELLO   TXT", 11) == 0;
    }
    EXPECT_TRUE(found);

    const size_t clusterBytes =
        static_cast<size_t>(table[0].sectorsPerCluster) * table[0].sectorSize;
    std::vector<uint8_t> cluster(clusterBytes);
    const ib::PartitionPlacement& placed = image.partitions.at(0);
    ASSERT_EQ(volume->ReadCluster(cluster.data(), placed.nodes.at("\\HELLO.TXT").clusters.at(0)),
              0);
    EXPECT_EQ(std::string(cluster.begin(), cluster.begin() + kContents.size()), kContents);
    const std::vector<uint16_t>& deep = placed.nodes.at("\\SUB\\DEEP.DAT").clusters;
    ASSERT_FALSE(deep.empty());
    size_t left = 5000;
    for (uint16_t c : deep) {
      ASSERT_EQ(volume->ReadCluster(cluster.data(), c), 0);
      const size_t n = left < clusterBytes ? left : clusterBytes;
      EXPECT_EQ(std::string(cluster.begin(), cluster.begin() + n), std::string(n, 'q'));
      left -= n;
    }
    EXPECT_EQ(left, 0u);
  }

  ScratchDirectory scratch;
  std::unique_ptr<platform::RawDriveService> drives;
  std::unique_ptr<platform::AspiLibrary> aspi;
  std::unique_ptr<platform::Vwin32Service> vwin32;
  std::unique_ptr<platform::PlatformFamilyQuery> family;
  PhysicalDisk disk;
};

TEST_F(PhysicalDiskMediaTest, ImageFileOpensWith512ByteSectorsAndMounts) {
  const ib::Image image = BuildImage(512, 1024);
  const std::string path = scratch.File("disk.hds");
  ASSERT_TRUE(image.WriteTo(path));
  EXPECT_EQ(disk.Mode(), DeviceModeNt);
  ASSERT_EQ(disk.SetName(path.c_str()), 0);
  ASSERT_EQ(disk.Open(0), 0);
  EXPECT_EQ(disk.GetGeometry().capacity, static_cast<int32_t>(image.bytes.size()));
  ExpectMountsAndReads(image, 512);
}

TEST_F(PhysicalDiskMediaTest, MissingFileRecordsTheSystemError) {
  const std::string path = scratch.File("absent.hds");
  NtDisk nt(drives.get());
  nt.SetName(path.c_str());
  EXPECT_EQ(nt.Open(0), -1);
  EXPECT_EQ(nt.GetError(), ENOENT);
  EXPECT_EQ(nt.GetSystemError(), ENOENT);
}

TEST_F(PhysicalDiskMediaTest, PartitionBeyond4GiBOfASparseImageMounts) {
  const ib::Image image = BuildImage(512, 1024);
  ASSERT_EQ(image.partitions.size(), 1u);
  const uint64_t start = image.partitions[0].start;
  // Move the partition 4 GiB + 1 MiB into a 5 GiB sparse file: every offset into it needs
  // more than 32 bits.
  const uint64_t farStart = (4ull << 30) + (1ull << 20);
  std::vector<uint8_t> head(image.bytes.begin(), image.bytes.begin() + start);
  const uint32_t kb = static_cast<uint32_t>(farStart / 1024);
  head[2064 + 8] = static_cast<uint8_t>(kb >> 24);
  head[2064 + 9] = static_cast<uint8_t>(kb >> 16);
  head[2064 + 10] = static_cast<uint8_t>(kb >> 8);
  head[2064 + 11] = static_cast<uint8_t>(kb);

  const std::string path = scratch.File("big.hds");
  { std::ofstream create(path, std::ios::binary); }
  std::filesystem::resize_file(path, 5ull << 30);
  ASSERT_TRUE(WriteAt(path, 0, head.data(), head.size()));
  ASSERT_TRUE(WriteAt(path, farStart, image.bytes.data() + start, image.bytes.size() - start));

  ASSERT_EQ(disk.SetName(path.c_str()), 0);
  ASSERT_EQ(disk.Open(0), 0);
  EXPECT_EQ(disk.GetGeometry().capacity, 1 << 30);  // the low 32 bits of 5 GiB
  ExpectMountsAndReads(image, 512);
}

#if !defined(_WIN32)
// Windows reads a loop device as Z:\dev\loopN, in the Windows suite's own test.
TEST_F(PhysicalDiskMediaTest, LoopDeviceWith2048ByteSectorsMounts) {
  const std::string unavailable = LoopDevicesUnavailable();
  if (!unavailable.empty()) FAIL() << unavailable;
  const ib::Image image = BuildImage(2048, 2048);
  const std::string path = scratch.File("mo.img");
  ASSERT_TRUE(image.WriteTo(path));
  LoopDevice loop(path, 2048);
  ASSERT_FALSE(loop.Path().empty()) << loop.Error();

  ASSERT_EQ(disk.SetName(loop.Path().c_str()), 0);
  ASSERT_EQ(disk.Open(0), 0);
  EXPECT_EQ(disk.GetGeometry().capacity, static_cast<int32_t>(image.bytes.size()));
  ExpectMountsAndReads(image, 2048);
  // Rescue reads go past the page cache (O_DIRECT) and give the same bytes.
  std::vector<uint8_t> sector(2048);
  disk.SetGeometry({2048, disk.GetGeometry().capacity, 0});
  ASSERT_GE(disk.Seek(3, 0), 0);
  ASSERT_EQ(disk.ReadRescue(sector.data(), 1), 0);
  EXPECT_TRUE(std::equal(sector.begin(), sector.end(), image.bytes.begin() + 3 * 2048));
  EXPECT_EQ(disk.Close(), 0);
}
#endif

}  // namespace
