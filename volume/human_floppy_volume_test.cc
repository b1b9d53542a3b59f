#include "volume/human_floppy_volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/fake_sector_device.h"
#include "tests/file_system_test_support.h"
#include "tests/hand_media.h"
#include "tools/image_builder.h"
#include "volume/media_recognition.h"

namespace {

using fstest::Dir;
using fstest::File;
using fstest::Pattern;

constexpr size_t kCylinder = 16 * 1024;

// The whole file at `path`, read through FileOpen and FileRead in pieces of 3000 bytes.
std::string Contents(HumanVolume* volume, const char* path) {
  std::unique_ptr<FileHandle> handle = volume->FileOpen(path, 0);
  if (!handle) return "<none>";
  std::string text;
  char block[3000];
  int count;
  while ((count = volume->FileRead(handle.get(), block, sizeof(block))) > 0)
    text.append(block, static_cast<size_t>(count));
  volume->FileClose(handle.get());
  return count < 0 ? "<error>" : text;
}

TEST(FloppyVolume, ScatteredChainsAcrossBothParitiesAndCluster0x100ReadByteForByte) {
  std::vector<imagebuilder::Node> many;
  for (int i = 0; i < 40; ++i)
    many.push_back(File("F" + std::to_string(i) + ".TXT", Pattern(1500, i)));
  fstest::MountedImage m(fstest::Partition({File("BIG.DAT", Pattern(300 * 1024 + 5, 1)),
                                            File("EMPTY.TXT", ""), Dir("MANY", many)}),
                         fstest::Media::kFloppy);
  m.Mount();
  const std::vector<uint16_t>& big = m.Node("\\BIG.DAT").clusters;
  EXPECT_LT(*std::min_element(big.begin(), big.end()), 0x100);
  EXPECT_GT(*std::max_element(big.begin(), big.end()), 0x100);
  EXPECT_EQ(big.end(), std::adjacent_find(big.begin(), big.end(),
                                          [](uint16_t a, uint16_t b) { return b == a + 1; }));
  EXPECT_EQ(m.List("\\"), (std::vector<std::string>{"BIG.DAT", "EMPTY.TXT", "MANY"}));
  EXPECT_EQ(m.List("\\MANY").size(), 42u);
  EXPECT_TRUE(Contents(m.volume.get(), "\\BIG.DAT") == Pattern(300 * 1024 + 5, 1));
  EXPECT_EQ(Contents(m.volume.get(), "\\EMPTY.TXT"), "");
  for (int i = 0; i < 40; ++i) {
    const std::string path = "\\MANY\\F" + std::to_string(i) + ".TXT";
    EXPECT_TRUE(Contents(m.volume.get(), path.c_str()) == Pattern(1500, i)) << path;
  }
}

// How a disk is recognised: the builder's image, changed; the device sector size; then
// the records ReadPartitionTable gives, and the root size and total of the first.
struct RecognitionCase {
  const char* name;
  imagebuilder::FloppyOptions options;
  std::function<void(std::vector<uint8_t>*)> change;
  int32_t deviceSector;
  int records;
  int32_t rootBytes;
  int32_t total;
};

imagebuilder::FloppyOptions Inconsistent(uint32_t cylinders = 77) {
  imagebuilder::FloppyOptions options;
  options.inconsistentBpb = true;
  options.cylinders = cylinders;
  return options;
}

TEST(FloppyVolume, TheBpbWhenConsistentElseTheStandardLayoutOnA2hdSizeElseNothing) {
  const auto none = [](std::vector<uint8_t>*) {};
  const RecognitionCase cases[] = {
      {"consistent", {}, none, 512, 1, 6144, 1232},
      {"consistent, 1024-byte sectors", {}, none, 1024, 1, 6144, 1232},
      {"224 root entries", {}, [](auto* i) { handmedia::PutBe16(i, 24, 224); }, 512, 1, 7168, 1232},
      {"half a disk",
       {},
       [](auto* i) { handmedia::PutBe16(i, 26, 616), i->resize(39 * kCylinder); },
       512,
       1,
       6144,
       616},
      {"inconsistent", Inconsistent(), none, 512, 1, 6144, 1232},
      {"78 cylinders", Inconsistent(78), none, 512, 1, 6144, 1232},
      {"media byte not the FAT's", {}, [](auto* i) { (*i)[28] = 0xF9; }, 512, 1, 6144, 1232},
      {"76 cylinders", Inconsistent(), [](auto* i) { i->resize(76 * kCylinder); }, 512, 0, 0, 0},
      {"86 cylinders", {}, [](auto* i) { i->resize(86 * kCylinder); }, 512, 0, 0, 0},
      {"a sector past a track", {}, [](auto* i) { i->resize(i->size() + 1024); }, 512, 0, 0, 0},
      {"FAT of another media", Inconsistent(), [](auto* i) { (*i)[1024] = 0xF0; }, 512, 0, 0, 0},
      {"no branch", {}, [](auto* i) { (*i)[0] = 0x4E; }, 512, 0, 0, 0},
  };
  for (const RecognitionCase& c : cases) {
    SCOPED_TRACE(c.name);
    imagebuilder::PartitionLayout layout;
    layout.root = {File("A.TXT", Pattern(5000, 7))};
    imagebuilder::Image image = imagebuilder::BuildHumanFloppy(layout, c.options);
    ASSERT_EQ("", image.error);
    c.change(&image.bytes);
    FakeSectorDevice device(image.bytes, c.deviceSector);
    bool recognized = false;
    std::unique_ptr<HumanVolume> volume = RecognizeMedia(&device, false, &recognized);
    EXPECT_EQ(recognized, c.records > 0);
    EXPECT_EQ(dynamic_cast<HumanFloppyVolume*>(volume.get()) != nullptr, c.records > 0);
    PartitionInfo table[15];
    EXPECT_EQ(HumanFloppyVolume(&device).ReadPartitionTable(table, 15), c.records);
    if (c.records == 0 || !volume) continue;
    EXPECT_EQ(table[0].rootBytes, c.rootBytes);
    EXPECT_EQ(table[0].partitionSectors, c.total);
    ASSERT_EQ(volume->ReadPartitionTable(table, 15), 1);
    ASSERT_EQ(volume->SelectPartition(table[0]), 0);
    if (c.rootBytes == 6144) {
      EXPECT_TRUE(Contents(volume.get(), "A.TXT") == Pattern(5000, 7));
    }
  }
}

TEST(FloppyVolume, EachDiskOfAContainerIsAPartition) {
  imagebuilder::PartitionLayout first, third;
  first.root = {File("A.TXT", "first disk")};
  third.root = {File("B.TXT", Pattern(4000, 3))};
  FakeSectorDevice device(imagebuilder::BuildHumanFloppy(first).bytes, 512);
  device.AddDisk(std::vector<uint8_t>(1232 * 1024, 0), 1024);
  device.AddDisk(imagebuilder::BuildHumanFloppy(third, Inconsistent()).bytes, 1024);
  std::unique_ptr<HumanVolume> volume = RecognizeMedia(&device, false);
  ASSERT_NE(volume, nullptr);
  PartitionInfo table[15];
  ASSERT_EQ(volume->ReadPartitionTable(table, 15), 3);
  const PartitionInfo& p = table[0];
  EXPECT_EQ(std::vector<int32_t>({p.sectorSize, p.sectorsPerCluster, p.startSector,
                                  p.partitionSectors, p.fatStart, p.fatSectors, p.fatCount,
                                  p.rootStart, p.rootBytes, p.disk}),
            std::vector<int32_t>({1024, 1, 0, 1232, 1, 2, 2, 5, 6144, 0}));
  EXPECT_TRUE(table[1].bootUnreadable);
  EXPECT_EQ(table[2].disk, 2);
  ASSERT_EQ(volume->SelectPartition(table[2]), 0);
  EXPECT_TRUE(Contents(volume.get(), "B.TXT") == Pattern(4000, 3));
  EXPECT_EQ(Contents(volume.get(), "A.TXT"), "<none>");
  ASSERT_EQ(volume->SelectPartition(table[0]), 0);
  EXPECT_EQ(Contents(volume.get(), "A.TXT"), "first disk");
  EXPECT_EQ(volume->SelectPartition(table[1]), -1);
}

}  // namespace
